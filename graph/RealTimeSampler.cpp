#include "graph/RealTimeSampler.h"

#include "base/LocalTime.h"
#include "graph/PowerAnalysis.h"

namespace {

QString ExtremeText(ExtremeRule rule, float v, const QString& when) {
    if (rule == ExtremeRule::Frequency) {
        if (v >= 400.0f)
            return QStringLiteral("OL @") + when;
        if (v <= 40.0f)
            return QStringLiteral("LO @") + when;
    } else if (v == 0.0f) {
        return QStringLiteral("LO @") + when;
    }
    return QString::asprintf("%.1f @", double(v)) + when;
}

} // namespace

void UpdateExtremes(ExtremeRule rule, float& maximum, float& minimum, float v, QString& maxText,
                    QString& minText, int rtCount, TimeValue taken) {
    if (rtCount == 0)
        maximum = minimum = v;
    const QString when = FormatDateTime(taken);
    if (v >= maximum) {
        maximum = v;
        maxText = ExtremeText(rule, v, when);
    }
    if (v <= minimum) {
        minimum = v;
        minText = ExtremeText(rule, v, when);
    }
}

namespace {

// UpdateExtremes on the set's texts of a channel: row `maxRow` the maximum, the next
// row the minimum.
void UpdateChannelExtremes(MeasurementSet& s, ExtremeRule rule, float& maximum, float& minimum,
                           float v, int maxRow, size_t c, int n, TimeValue taken) {
    const int ch = int(c);
    QString maxText = s.ExtremeText(maxRow, ch);
    QString minText = s.ExtremeText(maxRow + 1, ch);
    UpdateExtremes(rule, maximum, minimum, v, maxText, minText, n, taken);
    s.SetExtremeText(maxRow, ch, maxText);
    s.SetExtremeText(maxRow + 1, ch, minText);
}

// UpdateExtremes on the set's apparent-power texts.
void UpdatePowerExtremes(MeasurementSet& s, float& maximum, float& minimum, float va, int n,
                         TimeValue taken) {
    QString maxText = s.PowerExtremeText(0);
    QString minText = s.PowerExtremeText(1);
    UpdateExtremes(ExtremeRule::Rms, maximum, minimum, va, maxText, minText, n, taken);
    s.SetPowerExtremeText(0, maxText);
    s.SetPowerExtremeText(1, minText);
}

} // namespace

bool HasApparentPower(const MeasurementSet& s) {
    const RealTimeRun& run = s.Run();
    return run.ChannelPresent(0) && run.ChannelPresent(1) &&
           run.ChannelUnit(0) != run.ChannelUnit(1);
}

void RealTimeSampler::StorePower(MeasurementSet& s, const std::array<WaveformResult, 2>& results) {
    // The capture is gone once the next frame arrives, so the figures are taken now.
    RealTimeRun& run = s.Run();
    const PowerAnalysis a(run.Capture(), {RtChannelKind(s, 0), RtChannelKind(s, 1)}, results);
    run.SetPendingPower(MakePowerRow(a));
}

bool RealTimeSampler::Sample(MeasurementSet& s, std::array<EpaTexts, 2>* texts) {
    RealTimeRun& run = s.Run();
    // A tick after the last sample, before the frame that ends the run, has nowhere
    // to store into.
    if (run.Full())
        return false;
    const int n = run.Count();
    const TimeValue taken = run.Pending().time;
    RealTimeExtremes& e = m_extremes;
    std::array<WaveformResult, 2> results{};
    for (int ch = 0; ch < 2; ++ch) {
        if (!run.ChannelPresent(ch))
            continue;
        results[size_t(ch)] = AnalyseWaveformInto(s, ch, texts ? &(*texts)[size_t(ch)] : nullptr);
        const size_t c = size_t(ch);
        UpdateChannelExtremes(s, ExtremeRule::Frequency, e.freqMax[c], e.freqMin[c],
                              run.Pending().freq[c], 4, c, n, taken);
        UpdateChannelExtremes(s, ExtremeRule::Rms, e.rmsMax[c], e.rmsMin[c], run.Pending().rms[c],
                              8, c, n, taken);
    }
    if (HasApparentPower(s)) {
        const float va = run.Pending().rms[0] * run.Pending().rms[1];
        UpdatePowerExtremes(s, e.powerMax, e.powerMin, va, n, taken);
    }
    StorePower(s, results);
    return true;
}

RealTimeExtremes ComputeRunExtremes(MeasurementSet& s) {
    RealTimeExtremes e;
    const RealTimeRun& run = s.Run();
    const bool power = HasApparentPower(s);
    for (int n = 0; n < run.Count(); ++n) {
        const size_t i = size_t(n);
        const TimeValue taken = run.SampleTime(n);
        for (size_t c = 0; c < 2; ++c) {
            if (!run.ChannelPresent(int(c)))
                continue;
            UpdateChannelExtremes(s, ExtremeRule::Frequency, e.freqMax[c], e.freqMin[c],
                                  run.Freq()[i][c], 4, c, n, taken);
            UpdateChannelExtremes(s, ExtremeRule::Rms, e.rmsMax[c], e.rmsMin[c], run.Rms()[i][c], 8,
                                  c, n, taken);
        }
        if (power)
            UpdatePowerExtremes(s, e.powerMax, e.powerMin, run.Rms()[i][0] * run.Rms()[i][1], n,
                                taken);
    }
    return e;
}
