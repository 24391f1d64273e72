#pragma once
// What a download from the simulator must hold: the recording it serves, sample for
// sample, in the set shown or in the file written. A header, like the other fixtures
// here, so that only the binaries that use it link the link and data layers.

#include "data/MeasurementSet.h"
#include "data/StdataFile.h"
#include "support/SimProcess.h"

#include <QString>

// The set's stored values are the recording's, sample for sample, with as many
// transient records; `why` says where they part.
inline bool HoldsRecording(const MeasurementSet& s, const LoggerRecording& r, QString* why) {
    if (s.RmsCount() != int(r.samples.size()) || s.TrCount() != int(r.tr.size())) {
        *why = QStringLiteral("%1 samples, %2 TR records").arg(s.RmsCount()).arg(s.TrCount());
        return false;
    }
    for (size_t i = 0; i < r.samples.size(); ++i)
        if (s.ChannelRms(0)[i] != ScaledRms(r.samples[i][0]) ||
            s.ChannelRms(1)[i] != ScaledRms(r.samples[i][1])) {
            *why = QStringLiteral("sample %1 differs").arg(i);
            return false;
        }
    return true;
}

// The same for a measurement file a download wrote.
inline bool FileHoldsRecording(const QString& path, const LoggerRecording& r, QString* why) {
    MeasurementSet s;
    return LoadStdataFile(path, s, why) && HoldsRecording(s, r, why);
}
