#pragma once
// One measured sample as a line for the tools people already run: a JSON message
// (MQTT payloads, JSON Lines) and a line of the InfluxDB line protocol (Telegraf's
// execd or socket_listener input takes it unchanged). Both are written by hand so
// that the field order is fixed and nothing depends on the locale.

#include "base/Clock.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <optional>
#include <utility>
#include <vector>

class MeasurementSet;
struct RtdataImage;
struct RtPowerRow;

// One channel of a sample. A value that was not measured stays empty and is left out
// of every line; a value that is not a finite number is treated the same way.
struct LineChannel {
    bool present = false;
    QString unit; // "V" or "A"
    std::optional<double> rms;
    std::optional<double> hz;
    std::optional<double> thd; // percent
};

struct LineSample {
    TimeValue time = 0;
    std::optional<double> intervalS;
    std::array<LineChannel, 2> ch;
    std::optional<double> sVa;
    std::optional<double> pW;
    std::optional<double> qVar;
    std::optional<double> pf;
    std::optional<double> phiDeg;
};

// {"time": "2026-12-08T14:05:02+01:00", "interval_s": 2, "ch1": {"rms": 229.8, ...}, ...}
// on one line: an object per present channel, numbers as numbers.
QByteArray SampleJson(const LineSample& s);

// Tags of a line-protocol line, e.g. {"port", "/dev/ttyUSB0"}; written sorted by key
// (what InfluxDB prefers), empty values left out (the protocol has none).
using LineTags = std::vector<std::pair<QString, QString>>;
inline constexpr const char* kLineMeasurement = "orvex";
// orvex,ch1_unit=V,port=/dev/ttyUSB0 ch1_rms=229.8,ch1_hz=50.0,... 1796738702000000000
// Empty when the sample has no value at all (a line needs at least one field).
QByteArray SampleLineProtocol(const LineSample& s, const LineTags& tags);

// Stored RMS sample i of the set (below m_rmsCount) with its time, the interval and
// the RMS of each present channel; S(VA) where one channel reads volts and the other
// amperes.
LineSample StoredRmsSample(const MeasurementSet& set, int i);

// Real-time sample n of the set's run (below its count) with its own time, the run's
// interval and the values its CSV line shows:
// a channel's RMS left out where the analysis found no usable signal, its frequency
// where there was none, S(VA) only for a voltage and current pair with a signal on
// both, the power figures and THDs where the sample's power row holds them.
LineSample RealTimeLineSample(const MeasurementSet& set, int n);
// The same for sample n of a run read from a file, with the power row the caller
// computed again from its waveform.
LineSample RunLineSample(const RtdataImage& run, int n, const RtPowerRow& row);
