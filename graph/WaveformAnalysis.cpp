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

// Half-width of the band around zero that a crossing must leave: a tenth of the
// amplitude, and no more than half of either swing (a signal with an offset).
int CrossingBand(int maximum, int minimum) {
    return std::max(0, std::min({(maximum - minimum) / 20, maximum / 2, -minimum / 2}));
}

// Crossing k of a fall of g, between the edge's last sample above the band (a) and
// its first beyond it (p). On a clean edge the first sample below zero is the
// crossing. Noise can move that sample a period's worth of resolution early or late,
// so the crossing is checked against a parabola fitted through the edge: when the
// fitted curve does not fall through zero between k - 1 and k (within a count), the
// crossing becomes the first sample of the edge where the curve is below zero.
template <class G> int LocateCrossing(const G& g, int a, int k, int p) {
    if (p - a + 1 < 4)
        return k;
    // Least squares of g(i) = c0 + c1 t + c2 t^2 with t = i - k.
    double m[3][4] = {};
    for (int i = a; i <= p; ++i) {
        const double t = double(i - k);
        const double v[3] = {1.0, t, t * t};
        for (int r = 0; r < 3; ++r) {
            for (int c = 0; c < 3; ++c)
                m[r][c] += v[r] * v[c];
            m[r][3] += v[r] * g(i);
        }
    }
    for (int col = 0; col < 3; ++col) {
        int piv = col;
        for (int r = col + 1; r < 3; ++r)
            if (std::fabs(m[r][col]) > std::fabs(m[piv][col]))
                piv = r;
        if (std::fabs(m[piv][col]) < 1e-12)
            return k;
        std::swap(m[col], m[piv]);
        for (int r = 0; r < 3; ++r) {
            if (r == col)
                continue;
            const double f = m[r][col] / m[col][col];
            for (int c = col; c < 4; ++c)
                m[r][c] -= f * m[col][c];
        }
    }
    const double c0 = m[0][3] / m[0][0], c1 = m[1][3] / m[1][1], c2 = m[2][3] / m[2][2];
    auto curve = [&](int i) {
        const double t = double(i - k);
        return c0 + c1 * t + c2 * t * t;
    };
    constexpr double kTolerance = 1.0; // a count: the rounding of the samples
    if (curve(k) < kTolerance && curve(k - 1) > -kTolerance)
        return k;
    for (int i = a + 1; i <= p; ++i)
        if (curve(i) < 0)
            return i;
    return k;
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

    // 4. Count crossings of one direction, chosen by the first sample. A crossing
    // counts only once the signal has left a small band around zero on the far side
    // (for a fall: gone down to -h before coming back up to +h), so that noise near
    // zero neither adds crossings nor starts the next period inside the chatter.
    const bool falls = s(start) >= 0;
    auto runBegins = [&](int k) { return falls ? s(k) >= 0 : s(k) < 0; };
    auto crosses = [&](int k) { return falls ? s(k) < 0 : s(k) > 0; };
    // The signal turned so that the counted direction is always a fall.
    auto g = [&](int k) { return falls ? s(k) : -s(k); };
    const int h = CrossingBand(maximum, minimum);
    auto beyond = [&](int k) { return g(k) <= -h; };
    auto back = [&](int k) { return g(k) >= h; };
    // The last sample at or above the band before crossing k, not before run start j.
    auto edgeStart = [&](int j, int k) {
        int a = k - 1;
        while (a > j && !back(a))
            --a;
        return std::max(a, j);
    };
    auto cleanFall = [&](int a, int b) {
        for (int i = a; i < b; ++i)
            if (g(i + 1) > g(i))
                return false;
        return true;
    };
    int cur = start, count = 0, first = -1, last = end, resume = start;
    for (int iter = 0; iter < end - start; ++iter) {
        int j = std::max(count > 0 ? cur + o : cur, resume);
        while (j < end && !runBegins(j))
            ++j;
        if (j >= end)
            break;
        cur = j;
        int k = cur, p = cur;
        bool confirmed = false;
        for (;;) {
            while (k < end && !crosses(k))
                ++k;
            if (k >= end)
                break;
            p = k;
            while (p < end && !beyond(p) && !back(p))
                ++p;
            if (p < end && beyond(p)) {
                confirmed = true;
                break;
            }
            if (p >= end) {
                // The capture ends inside the band: a clean edge still counts.
                confirmed = cleanFall(edgeStart(cur, k), end - 1);
                p = end - 1;
                break;
            }
            k = p; // back above the band: that was noise, not the crossing
        }
        if (!confirmed)
            break;
        k = LocateCrossing(g, edgeStart(cur, k), k, p);
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
        resume = p;
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
