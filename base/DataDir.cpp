#include "base/DataDir.h"

#include <QDir>

#ifdef _WIN32
#include <windows.h>
#endif

QString DataDirectory() {
    const QString explicitDir = qEnvironmentVariable("DATALOGGER_DIR");
    if (!explicitDir.isEmpty())
        return QDir::cleanPath(explicitDir);
#ifdef _WIN32
    wchar_t buffer[MAX_PATH + 1] = {};
    const UINT n = GetWindowsDirectoryW(buffer, MAX_PATH);
    if (n > 0 && n <= MAX_PATH)
        return QDir::fromNativeSeparators(QString::fromWCharArray(buffer, int(n)));
#endif
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (config.isEmpty())
        config = QDir::homePath() + QStringLiteral("/.config");
    return QDir::cleanPath(config + QStringLiteral("/OrvexDatalogger"));
}

QString DataFilePath(const QString& name) {
    const QString dir = DataDirectory();
    QDir().mkpath(dir);
    return dir + QLatin1Char('/') + name;
}
