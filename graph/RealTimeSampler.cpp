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
                    QString& minText, int rtCount, TimeValue rtStart, int rtInterval) {
    if (rtCount == 0)
        maximum = minimum = v;
    const QString when = FormatDateTime(rtStart + TimeValue(rtInterval) * rtCount);
    if (v >= maximum) {
        maximum = v;
        maxText = ExtremeText(rule, v, when);
    }
    if (v <= minimum) {
        minimum = v;
        minText = ExtremeText(rule, v, when);
    }
}

bool HasApparentPower(const MeasurementSet& s) {
    return s.m_rtCh1Present == 1 && s.m_rtCh2Present == 1 && s.m_rtCh1Unit != s.m_rtCh2Unit;
}

void RealTimeSampler::StorePower(MeasurementSet& s, int n,
                                 const std::array<WaveformResult, 2>& results) {
    // A new run starts with rows of its own; the capture is gone once the next frame
    // arrives, so the figures are taken now.
    if (n == 0 || s.m_rtPower.size() != s.m_rtRms.size())
        s.m_rtPower.assign(s.m_rtRms.size(), RtPowerRow{});
    const PowerAnalysis a(s.m_rtWave, {RtChannelKind(s, 0), RtChannelKind(s, 1)}, results);
    s.m_rtPower[size_t(n)] = MakePowerRow(a);
}

bool RealTimeSampler::Sample(MeasurementSet& s, int rtInterval, std::array<EpaTexts, 2>* texts) {
    const int n = s.m_rtCount;
    // The arrays hold exactly the requested samples: a tick after the last one,
    // before the frame that ends the run, has nowhere to store into.
    if (n < 0 || size_t(n) >= s.m_rtRms.size() || size_t(n) >= s.m_rtFreq.size())
        return false;
    RealTimeExtremes& e = m_extremes;
    std::array<WaveformResult, 2> results{};
    for (int ch = 0; ch < 2; ++ch) {
        if ((ch == 0 ? s.m_rtCh1Present : s.m_rtCh2Present) != 1)
            continue;
        results[size_t(ch)] = AnalyseWaveformInto(s, ch, texts ? &(*texts)[size_t(ch)] : nullptr);
        const size_t c = size_t(ch);
        UpdateExtremes(ExtremeRule::Frequency, e.freqMax[c], e.freqMin[c], s.m_rtFreq[size_t(n)][c],
                       s.m_extremeText[4][c], s.m_extremeText[5][c], n, s.m_rtStartTime,
                       rtInterval);
        UpdateExtremes(ExtremeRule::Rms, e.rmsMax[c], e.rmsMin[c], s.m_rtRms[size_t(n)][c],
                       s.m_extremeText[8][c], s.m_extremeText[9][c], n, s.m_rtStartTime,
                       rtInterval);
    }
    if (HasApparentPower(s)) {
        const float va = s.m_rtRms[size_t(n)][0] * s.m_rtRms[size_t(n)][1];
        UpdateExtremes(ExtremeRule::Rms, e.powerMax, e.powerMin, va, s.m_powerExtremeText[0],
                       s.m_powerExtremeText[1], n, s.m_rtStartTime, rtInterval);
    }
    StorePower(s, n, results);
    return true;
}
