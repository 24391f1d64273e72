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

namespace {

// Where a series' running maximum and minimum end up: an equal later value moves
// either, as UpdateExtremes does sample by sample.
struct ExtremeAt {
    float maximum = 0, minimum = 0;
    int maxAt = 0, minAt = 0;
};

template <class Value> ExtremeAt ExtremesOf(int count, Value value) {
    ExtremeAt e;
    for (int n = 0; n < count; ++n) {
        const float v = value(size_t(n));
        if (n == 0)
            e.maximum = e.minimum = v;
        if (v >= e.maximum) {
            e.maximum = v;
            e.maxAt = n;
        }
        if (v <= e.minimum) {
            e.minimum = v;
            e.minAt = n;
        }
    }
    return e;
}

} // namespace

RealTimeExtremes ComputeRunExtremes(MeasurementSet& s) {
    // The texts are made once, for the samples that end up holding the extremes: a
    // text a sample, as a live run makes them, cost most of opening a long run.
    RealTimeExtremes e;
    const RealTimeRun& run = s.Run();
    const int count = run.Count();
    if (count == 0)
        return e;
    auto texts = [&](ExtremeRule rule, const ExtremeAt& x, QString& maxText, QString& minText) {
        maxText = ExtremeText(rule, x.maximum, FormatDateTime(run.SampleTime(x.maxAt)));
        minText = ExtremeText(rule, x.minimum, FormatDateTime(run.SampleTime(x.minAt)));
    };
    for (size_t c = 0; c < 2; ++c) {
        const int ch = int(c);
        if (!run.ChannelPresent(ch))
            continue;
        const ExtremeAt f = ExtremesOf(count, [&](size_t i) { return run.Freq()[i][c]; });
        const ExtremeAt r = ExtremesOf(count, [&](size_t i) { return run.Rms()[i][c]; });
        QString maxText, minText;
        texts(ExtremeRule::Frequency, f, maxText, minText);
        s.SetExtremeText(4, ch, maxText);
        s.SetExtremeText(5, ch, minText);
        texts(ExtremeRule::Rms, r, maxText, minText);
        s.SetExtremeText(8, ch, maxText);
        s.SetExtremeText(9, ch, minText);
        e.freqMax[c] = f.maximum;
        e.freqMin[c] = f.minimum;
        e.rmsMax[c] = r.maximum;
        e.rmsMin[c] = r.minimum;
    }
    if (HasApparentPower(s)) {
        const ExtremeAt va =
            ExtremesOf(count, [&](size_t i) { return run.Rms()[i][0] * run.Rms()[i][1]; });
        QString maxText, minText;
        texts(ExtremeRule::Rms, va, maxText, minText);
        s.SetPowerExtremeText(0, maxText);
        s.SetPowerExtremeText(1, minText);
        e.powerMax = va.maximum;
        e.powerMin = va.minimum;
    }
    return e;
}
