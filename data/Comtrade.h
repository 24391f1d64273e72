#pragma once
// One captured waveform as an IEEE C37.111-1999 (COMTRADE) record: the
// configuration file (.cfg) and the ASCII data file (.dat), which every protection
// and power-quality tool opens. Analog channels only, one sampling rate.

#include "base/Clock.h"

#include <QByteArray>
#include <QString>

#include <vector>

class MeasurementSet;

// Sample periods of the logger's two waveforms.
inline constexpr double kCapturedSamplePeriodUs = 54.71; // a real-time capture, 590 points
inline constexpr double kTransientSamplePeriodUs = 87.4; // a TR record, 251 points
inline constexpr double kDefaultLineFrequencyHz = 50.0;

struct ComtradeChannel {
    QString id;    // "CH1"
    QString unit;  // "V", "A"
    QString phase; // may stay empty
    std::vector<double> values;
};

struct ComtradeRecord {
    QString stationName;
    QString deviceId;
    TimeValue start = 0; // local time of the first sample, whole seconds
    double lineFrequencyHz = kDefaultLineFrequencyHz;
    double samplePeriodUs = kCapturedSamplePeriodUs;
    std::vector<ComtradeChannel> channels; // each with the same number of values
};

struct ComtradeText {
    QByteArray cfg;
    QByteArray dat;
};

// The two files' contents; empty when the record cannot be written (no channel,
// channels of different lengths, no sample, a period that is not positive).
ComtradeText ComtradeFiles(const ComtradeRecord& record);

// Writes "<base>.cfg" and "<base>.dat" (each atomically). On failure `error` says
// which file and why.
bool WriteComtrade(const QString& base, const ComtradeRecord& record, QString* error);

// Transient record k (0-based, below m_trCount) of the stored set as a one-channel
// record: the channel and unit the record names, its values as the logger gave them.
ComtradeRecord TransientComtrade(const MeasurementSet& set, int k);
