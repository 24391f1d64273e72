#include "data/PreviousMeasurement.h"

#include "base/DataDir.h"
#include "data/StdataFile.h"

QString PreviousMeasurementPath() {
    return PreviousMeasurementFilePath();
}

bool WritePreviousMeasurement(const MeasurementSet& set, QString* error) {
    return SaveStdataFile(PreviousMeasurementPath(), set, error);
}
