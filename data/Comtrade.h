#pragma once
// One captured waveform as an IEEE C37.111-1999 (COMTRADE) record: the
// configuration file (.cfg) and the ASCII data file (.dat), which every protection
// and power-quality tool opens. Analog channels only, one sampling rate.

#include "base/Clock.h"
#include "data/RtdataFile.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <span>
#include <vector>

class MeasurementSet;

// Sample periods of the logger's two waveforms.
inline constexpr double kCapturedSamplePeriodUs = 54.71; // a real-time capture, 590 points
inline constexpr double kTransientSamplePeriodUs = 87.4; // a TR record, 251 points
inline constexpr double kDefaultLineFrequencyHz = 50.0;
// The recording device every record of ours names.
inline const char* const kComtradeDeviceId = "Orvex DATA LOGGER";

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

// The station a record names: the measurement file's name without its folder and
// extension ("site 4.rtdata" gives "site 4"), or `fallback` for data that came from
// no file (a download or a run not saved yet).
QString ComtradeStation(const QString& measurementFile, const QString& fallback);
// The base of the pair a user named: "x.cfg", "x.dat" and "x" all give "x".
QString ComtradeBase(const QString& named);
// Station and recording device of a record about to be written.
void NameComtrade(ComtradeRecord& record, const QString& station);

// What the record of a captured real-time waveform says besides its values.
struct CaptureFacts {
    std::array<uint8_t, 2> kind{kChannelAbsent, kChannelAbsent}; // 0 A, 1 V, 0xFF absent
    TimeValue time = 0;                                          // when its sample was taken
    // Per channel as the sample's analysis found it; outside (0, 400) Hz where it found
    // none.
    FloatPair frequency{};
};

// A captured waveform (590 points, [i][0] CH1) as a record: every present channel
// with its unit, at 54.71 us, starting at the sample's time, at the line frequency
// the analysis found for the voltage channel, else for the other one, else 50 Hz.
// No channel when none is present.
ComtradeRecord CaptureComtrade(std::span<const FloatPair> wave, const CaptureFacts& facts);
// Sample n (0-based) of a run read from its file, with its kept waveform.
ComtradeRecord RunSampleComtrade(const RtdataImage& run, int n, const RtWaveform& wave);
// The capture a run in memory shows: a browsed sample's kept waveform, or the newest
// frame, which is told with the newest sample (its time and its analysis, or the
// run's start before the first sample). No channel without a capture.
ComtradeRecord ShownCaptureComtrade(const RealTimeRun& run);
