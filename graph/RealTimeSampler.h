#pragma once
// The work of one real-time sample on the captured waveform, shared by the main
// window and the command-line tool: RMS and frequency of each present channel
// (stored at index m_rtCount), the running extremes with their texts, and the
// apparent-power extremes when one channel measures volts and the other amperes.
// The caller increments m_rtCount afterwards.

#include "graph/WaveformAnalysis.h"

#include <array>

enum class ExtremeRule {
    Frequency, // 400 or more reads "OL @", 40 or less "LO @"
    Rms,       // 0 reads "LO @"
};

// One running maximum and minimum (single precision) with their texts. At a count
// of 0 both start at v; a value equal to the maximum (minimum) moves its time to
// the later sample. Times are start + interval x count.
void UpdateExtremes(ExtremeRule rule, float& maximum, float& minimum, float v, QString& maxText,
                    QString& minText, int rtCount, TimeValue rtStart, int rtInterval);

struct RealTimeExtremes {
    std::array<float, 2> freqMax{}, freqMin{};
    std::array<float, 2> rmsMax{}, rmsMin{};
    float powerMax = 0, powerMin = 0;
};

class RealTimeSampler {
public:
    // Analyses and updates the extremes for sample m_rtCount and stores its power
    // figures (m_rtPower). Returns false (and changes nothing) when the real-time
    // arrays have no room for it. With `texts`, the analysis panel's per-channel
    // texts are filled too.
    bool Sample(MeasurementSet& set, int rtInterval, std::array<EpaTexts, 2>* texts = nullptr);

    RealTimeExtremes m_extremes;

private:
    static void StorePower(MeasurementSet& s, int n, const std::array<WaveformResult, 2>& results);
};

// True when both real-time channels are present and their units differ.
bool HasApparentPower(const MeasurementSet& set);
