#pragma once
// The work of one real-time sample on the captured waveform, shared by the main
// window and the command-line tool: RMS and frequency of each present channel
// (kept as the run's pending sample), the running extremes with their texts, and the
// apparent-power extremes when one channel measures volts and the other amperes.
// The caller appends the pending sample afterwards.

#include "graph/WaveformAnalysis.h"

#include <array>

enum class ExtremeRule {
    Frequency, // 400 or more reads "OL @", 40 or less "LO @"
    Rms,       // 0 reads "LO @"
};

// One running maximum and minimum (single precision) with their texts. At a count
// of 0 both start at v; a value equal to the maximum (minimum) moves its time to
// the later sample. `taken` is the time of the sample.
void UpdateExtremes(ExtremeRule rule, float& maximum, float& minimum, float v, QString& maxText,
                    QString& minText, int rtCount, TimeValue taken);

struct RealTimeExtremes {
    std::array<float, 2> freqMax{}, freqMin{};
    std::array<float, 2> rmsMax{}, rmsMin{};
    float powerMax = 0, powerMin = 0;
};

class RealTimeSampler {
public:
    // Analyses the run's pending sample (taken at its pending time), updates the
    // extremes and stores its power figures. Returns false (and changes nothing) when
    // the run is full. With `texts`, the analysis panel's per-channel texts are
    // filled too.
    bool Sample(MeasurementSet& set, std::array<EpaTexts, 2>* texts = nullptr);

    RealTimeExtremes m_extremes;

private:
    static void StorePower(MeasurementSet& s, const std::array<WaveformResult, 2>& results);
};

// True when both real-time channels are present and their units differ.
bool HasApparentPower(const MeasurementSet& set);

// The extremes and their texts of every sample of the run, as the samples taken one
// by one would have left them (a run read back from a file).
RealTimeExtremes ComputeRunExtremes(MeasurementSet& set);
