#pragma once
// The previous-measurement files that the application writes by itself: a copy of
// the stored set after every completed download (a .stdata file), and the run after
// every real-time acquisition that took samples (an .rtdata file beside it, which
// leaves the download's copy alone). Instrument > Previous Measurement reads back
// whichever of the two was written last.

#include "data/MeasurementSet.h"

#include <QString>

// "PreMeasureLumo.stdata" in the measurement data folder (base/DataDir.h).
QString PreviousMeasurementPath();

// "PreMeasureLumo.rtdata" beside it.
QString PreviousRunPath();
// The newer of the two files that exist, or empty when neither does.
QString NewestPreviousMeasurement();

// Atomic: a failed write leaves the previous file as it was. Nothing is shown to
// the user; `error` says why for callers that log or show it.
bool WritePreviousMeasurement(const MeasurementSet& set, QString* error = nullptr);
