#include "data/PreviousMeasurement.h"

#include "base/DataDir.h"
#include "data/StdataFile.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>

QString PreviousMeasurementPath() {
    return PreviousMeasurementFilePath();
}

QString PreviousRunPath() {
    const QFileInfo stored(PreviousMeasurementPath());
    return stored.dir().filePath(stored.completeBaseName() + QStringLiteral(".rtdata"));
}

QString NewestPreviousMeasurement() {
    const QFileInfo stored(PreviousMeasurementPath());
    const QFileInfo run(PreviousRunPath());
    if (!run.isFile())
        return stored.exists() ? stored.filePath() : QString();
    if (!stored.exists())
        return run.filePath();
    // Written within the same instant, the run came after the download it followed.
    return stored.lastModified() > run.lastModified() ? stored.filePath() : run.filePath();
}

bool WritePreviousMeasurement(const MeasurementSet& set, QString* error) {
    return SaveStdataFile(PreviousMeasurementPath(), set, error);
}
