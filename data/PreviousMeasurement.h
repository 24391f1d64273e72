#pragma once
// The previous-measurement file: a copy of the stored set that the application
// writes by itself after every completed download and after every real-time
// acquisition that took samples, and that Instrument > Previous Measurement reads
// back. Its layout is that of a .stdata file; its tag is the set's m_dataTag at the
// time of writing ("EPADATA" after a real-time acquisition, which the reader then
// refuses with "Invalid Format!").

#include "data/MeasurementSet.h"

#include <QString>

// "PreMeasureLumo.stdata" in the measurement data folder (base/DataDir.h).
QString PreviousMeasurementPath();

// Atomic: a failed write leaves the previous file as it was. Nothing is shown to
// the user; `error` says why for callers that log or show it.
bool WritePreviousMeasurement(const MeasurementSet& set, QString* error = nullptr);
