#pragma once
// Real-time runs the tests build without a logger: channels, then samples one
// interval apart.

#include "data/MeasurementSet.h"

#include <QString>

#include <vector>

namespace runs {

// Begins a run of room `capacity` at `start`, `interval` seconds apart, with CH1 and
// CH2 as given (an empty unit leaves the channel absent).
inline void BeginRun(RealTimeRun& run, int capacity, TimeValue start = 0, int interval = 2,
                     const QString& ch1 = QStringLiteral("V"), const QString& ch2 = QString()) {
    run.SetChannel(0, !ch1.isEmpty(), ch1);
    run.SetChannel(1, !ch2.isEmpty(), ch2);
    run.Begin(start, interval, capacity);
}

// A capture from a computed waveform (extra points dropped, missing ones zero).
inline RealTimeRun::Wave CaptureOf(const std::vector<FloatPair>& w) {
    RealTimeRun::Wave c{};
    for (size_t i = 0; i < c.size() && i < w.size(); ++i)
        c[i] = w[i];
    return c;
}

// Appends one sample at the next interval's time.
inline bool AddSample(RealTimeRun& run, FloatPair rms, FloatPair freq = {50, 50},
                      const RtPowerRow& power = {}) {
    RtSample s;
    s.rms = rms;
    s.freq = freq;
    s.power = power;
    s.time = run.StartTime() + TimeValue(run.Count()) * run.Interval();
    return run.Append(s);
}

// Appends copies of one sample until the run holds `count`.
inline void GrowTo(RealTimeRun& run, int count, FloatPair rms = {230, 0},
                   FloatPair freq = {50, 50}) {
    while (run.Count() < count && AddSample(run, rms, freq)) {
    }
}

} // namespace runs
