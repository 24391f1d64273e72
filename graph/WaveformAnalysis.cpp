#include "graph/WaveformAnalysis.h"

#include "base/NumberText.h"

#include <algorithm>
#include <cmath>

namespace {

void NoSignalTexts(EpaTexts* t) {
    if (!t)
        return;
    t->rms = QStringLiteral("LO");
    t->f = QStringLiteral("OL");
    t->t = QStringLiteral("LO");
}

} // namespace

WaveformResult AnalyseWaveform(std::span<const FloatPair> wave, int start, int end, int ch,
                               EpaTexts* texts) {
    WaveformResult r;
    start = std::max(start, 0);
    end = std::min<int>(end, int(wave.size()));
    const size_t c = ch == 0 ? 0 : 1;
    auto s = [&](int k) { return double(wave[size_t(k)][c]); };

    // 1. Extremes, truncated towards zero.
    int maximum = -10000, minimum = 10000;
    for (int k = start; k < end; ++k) {
        if (s(k) > maximum)
            maximum = int(std::trunc(s(k)));
        if (s(k) < minimum)
            minimum = int(std::trunc(s(k)));
    }
    r.maximum = maximum;
    r.minimum = minimum;

    // 2. Nothing that swings through zero.
    if (end <= start || maximum - minimum <= 10 || maximum <= 0 || minimum >= 0) {
        NoSignalTexts(texts);
        return r;
    }
    r.signal = true;

    // 3. Crossings closer than this are ripple, not periods.
    const int o = 410 / maximum;
    r.minDistance = o;

    // 4. Count crossings of one direction, chosen by the first sample.
    const bool falls = s(start) >= 0;
    auto runBegins = [&](int k) { return falls ? s(k) >= 0 : s(k) < 0; };
    auto crosses = [&](int k) { return falls ? s(k) < 0 : s(k) > 0; };
    int cur = start, count = 0, first = -1, last = end;
    for (int iter = 0; iter < end - start; ++iter) {
        int j = count > 0 ? cur + o : cur;
        while (j < end && !runBegins(j))
            ++j;
        if (j >= end)
            break;
        cur = j;
        int k = cur;
        while (k < end && !crosses(k))
            ++k;
        if (k >= end)
            break;
        if (count == 0) {
            count = 1;
            if (cur == start)
                first = k;
            cur = k;
            last = k;
        } else if (k - cur >= o) {
            ++count;
            cur = k;
            last = k;
        }
    }
    r.crossings = count;
    r.first = first;
    r.last = last;

    // 5. At least one whole period inside the capture.
    r.valid =
        first >= 0 && first <= kRtWavePoints && first < last && last < kRtWavePoints && count >= 2;
    if (!r.valid) {
        if (texts) {
            texts->x = QStringLiteral("--------");
            texts->am = QStringLiteral("LO");
        }
        NoSignalTexts(texts);
        return r;
    }

    // 6. RMS over the whole periods, frequency from their span.
    const int d = last - first;
    double sum = 0;
    for (int k = first; k <= last; ++k)
        sum += s(k) * s(k);
    const double rms = std::sqrt(sum / double(d + 1));
    const double frequency = 1.0 / (double(d) * kWaveSampleSeconds / double(count - 1));
    r.rmsExact = rms;
    r.frequencyExact = frequency;
    r.rms = float(rms);
    r.frequency = float(std::trunc((frequency + 0.05) * 10.0) * 0.1);

    const int w = d / count;
    double p = 0, runMax = -1000, runMin = 1000;
    for (int k = first; k <= last; ++k) {
        runMax = std::max(runMax, s(k));
        runMin = std::min(runMin, s(k));
        if (w > 0 && k > first && (k - first) % w == 0)
            p += runMax - runMin;
    }
    r.peakToPeak = p / count;

    // 7. Below 7 the reading is noise.
    if (rms < 7) {
        r.rms = 0;
        r.frequency = kNoFrequency;
    }

    // 8. Panel texts.
    if (texts) {
        if (rms > 7) {
            texts->vpp = Fixed0(r.peakToPeak);
            texts->rms = Fixed1(rms);
            texts->t = Fixed1(double(d) * kWaveSampleMs / double(count - 1));
            texts->f = Fixed1(frequency);
        } else if (rms < 7) {
            texts->vpp = QStringLiteral("LO");
            NoSignalTexts(texts);
        }
    }
    return r;
}

WaveformResult AnalyseWaveformInto(MeasurementSet& set, int ch, EpaTexts* texts) {
    const WaveformResult r = AnalyseWaveform(set.m_rtWave, 0, kRtWavePoints, ch, texts);
    const int64_t n = set.m_rtCount;
    // The arrays hold the requested number of samples; a result for a sample past
    // that capacity has nowhere to go.
    if (n >= 0 && size_t(n) < set.m_rtRms.size() && size_t(n) < set.m_rtFreq.size()) {
        set.m_rtRms[size_t(n)][size_t(ch == 0 ? 0 : 1)] = r.rms;
        set.m_rtFreq[size_t(n)][size_t(ch == 0 ? 0 : 1)] = r.frequency;
    }
    return r;
}

QString ApparentPowerText(const QString& a, const QString& b) {
    bool okA = false, okB = false;
    const double va = a.toDouble(&okA);
    const double vb = b.toDouble(&okB);
    if (okA && okB && va > 7 && vb > 7)
        return Fixed0(va * vb);
    return QStringLiteral("LO");
}
