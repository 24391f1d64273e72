#pragma once
// RMS value and frequency of one channel of a captured waveform (590 samples at
// 54.71 us), and the per-channel texts of the power analysis panel.

#include "data/MeasurementSet.h"

#include <QString>

#include <span>

inline constexpr double kWaveSampleSeconds = 0.00005471;
inline constexpr double kWaveSampleMs = 0.05471;
// Frequency value that marks a sample without a valid frequency.
inline constexpr float kNoFrequency = 400.0f;

// Per-channel texts of the analysis panel: F(Hz), T(ms), RMS, Vp-p, Am and the
// unlabelled one. Only the texts a step changes are written.
struct EpaTexts {
    QString f, t, rms, vpp, am, x;
    bool operator==(const EpaTexts&) const = default;
};

struct WaveformResult {
    float rms = 0;                  // stored RMS output (0 without a signal)
    float frequency = kNoFrequency; // stored frequency output, to the nearest tenth
    bool signal = false;            // extremes passed the no-signal rule
    bool valid = false;             // at least two crossings inside the capture
    int maximum = 0, minimum = 0;   // truncated extremes
    int minDistance = 0;            // o = 410 / maximum
    int crossings = 0;              // crossings counted
    int first = -1, last = 0;       // first and last counted crossing
    double rmsExact = 0;            // unrounded RMS over first..last
    double frequencyExact = 0;      // unrounded frequency
    double peakToPeak = 0;          // P / count
};

// Analyses samples [start, end) of channel `ch` of the capture. With `texts`, the
// panel texts are updated as the rules say (an RMS of exactly 7 leaves them).
WaveformResult AnalyseWaveform(std::span<const FloatPair> wave, int start, int end, int ch,
                               EpaTexts* texts = nullptr);

// Analyses the run's captured waveform for channel `ch` and keeps RMS and frequency
// as the values of the sample being taken. Returns the result.
WaveformResult AnalyseWaveformInto(MeasurementSet& set, int ch, EpaTexts* texts = nullptr);

// Apparent-power text of the panel from the two RMS texts: "%.0f" of their
// product when both are above 7, else "LO".
QString ApparentPowerText(const QString& ch1RmsText, const QString& ch2RmsText);
