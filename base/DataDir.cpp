#include "base/DataDir.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

const char* const kFolderName = "OrvexDatalogger";

// The folder both files share when one is forced: $DATALOGGER_DIR or, on
// Windows, the Windows directory. Empty when the XDG folders apply.
QString SharedDirectory() {
    const QString explicitDir = qEnvironmentVariable("DATALOGGER_DIR");
    if (!explicitDir.isEmpty())
        return QDir::cleanPath(explicitDir);
#ifdef _WIN32
    wchar_t buffer[MAX_PATH + 1] = {};
    const UINT n = GetWindowsDirectoryW(buffer, MAX_PATH);
    if (n > 0 && n <= MAX_PATH)
        return QDir::fromNativeSeparators(QString::fromWCharArray(buffer, int(n)));
#endif
    return {};
}

QString XdgDirectory(const char* variable, const char* fallbackUnderHome) {
    QString base = qEnvironmentVariable(variable);
    if (base.isEmpty() || QDir::isRelativePath(base))
        base = QDir::homePath() + QLatin1Char('/') + QLatin1String(fallbackUnderHome);
    return QDir::cleanPath(base + QLatin1Char('/') + QLatin1String(kFolderName));
}

QString PathIn(const QString& dir, const QString& name) {
    QDir().mkpath(dir);
    return dir + QLatin1Char('/') + name;
}

} // namespace

QString DataDirectory() {
    const QString shared = SharedDirectory();
    return shared.isEmpty() ? XdgDirectory("XDG_CONFIG_HOME", ".config") : shared;
}

QString MeasurementDataDirectory() {
    const QString shared = SharedDirectory();
    return shared.isEmpty() ? XdgDirectory("XDG_DATA_HOME", ".local/share") : shared;
}

QString DataFilePath(const QString& name) {
    return PathIn(DataDirectory(), name);
}

QString MeasurementFilePath(const QString& name) {
    return PathIn(MeasurementDataDirectory(), name);
}

QString SettingsFilePath() {
    return DataFilePath(QString::fromLatin1(kSettingsFileName));
}

QString PreviousMeasurementFilePath() {
    const QString name = QString::fromLatin1(kPreviousMeasurementFileName);
    QString path = PathIn(MeasurementDataDirectory(), name);
    const QString old = DataDirectory() + QLatin1Char('/') + name;
    if (QFileInfo(old) != QFileInfo(path) && !QFileInfo::exists(path) && QFileInfo::exists(old)) {
        // Across file systems QFile copies, and removes the old file only once
        // the copy is complete. A failed move leaves the old file where it was.
        QFile::rename(old, path);
    }
    return path;
}
