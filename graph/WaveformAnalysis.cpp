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
// Least squares of g(i) = c[0] + c[1] t + c[2] t^2 with t = i - k over a..p, by
// Gauss-Jordan elimination of the normal equations; false when they are singular.
template <class G> bool FitParabola(const G& g, int a, int k, int p, double (&c)[3]) {
    double m[3][4] = {};
    for (int i = a; i <= p; ++i) {
        const double t = double(i - k);
        const double v[3] = {1.0, t, t * t};
        for (int r = 0; r < 3; ++r) {
            for (int col = 0; col < 3; ++col)
                m[r][col] += v[r] * v[col];
            m[r][3] += v[r] * g(i);
        }
    }
    for (int col = 0; col < 3; ++col) {
        int piv = col;
        for (int r = col + 1; r < 3; ++r)
            if (std::fabs(m[r][col]) > std::fabs(m[piv][col]))
                piv = r;
        if (std::fabs(m[piv][col]) < 1e-12)
            return false;
        std::swap(m[col], m[piv]);
        for (int r = 0; r < 3; ++r) {
            if (r == col)
                continue;
            const double f = m[r][col] / m[col][col];
            for (int x = col; x < 4; ++x)
                m[r][x] -= f * m[col][x];
        }
    }
    for (int r = 0; r < 3; ++r)
        c[r] = m[r][3] / m[r][r];
    return true;
}

// Crossing k of a fall of g, between the edge's last sample above the band (a) and
// its first beyond it (p). On a clean edge the first sample below zero is the
// crossing. Noise can move that sample a period's worth of resolution early or late,
// so the crossing is checked against a parabola fitted through the edge: when the
// fitted curve does not fall through zero between k - 1 and k (within a count), the
// crossing becomes the first sample of the edge where the curve is below zero.
template <class G> int LocateCrossing(const G& g, int a, int k, int p) {
    double c[3] = {};
    if (p - a + 1 < 4 || !FitParabola(g, a, k, p, c))
        return k;
    auto curve = [&](int i) {
        const double t = double(i - k);
        return c[0] + c[1] * t + c[2] * t * t;
    };
    constexpr double kTolerance = 1.0; // a count: the rounding of the samples
    if (curve(k) < kTolerance && curve(k - 1) > -kTolerance)
        return k;
    for (int i = a + 1; i <= p; ++i)
        if (curve(i) < 0)
            return i;
    return k;
}

// One channel of a capture, samples start..end-1.
struct Capture {
    std::span<const FloatPair> wave;
    size_t c;
    int start, end;
    double operator()(int k) const { return double(wave[size_t(k)][c]); }
};

// Step 1: the extremes, truncated towards zero.
void FindExtremes(const Capture& s, WaveformResult& r) {
    int maximum = -10000, minimum = 10000;
    for (int k = s.start; k < s.end; ++k) {
        if (s(k) > maximum)
            maximum = int(std::trunc(s(k)));
        if (s(k) < minimum)
            minimum = int(std::trunc(s(k)));
    }
    r.maximum = maximum;
    r.minimum = minimum;
}

// Step 4: counts the crossings of one direction, chosen by the first sample. A
// crossing counts only once the signal has left a small band around zero on the far
// side (for a fall: gone down to -h before coming back up to +h), so that noise near
// zero neither adds crossings nor starts the next period inside the chatter.
class CrossingCounter {
public:
    CrossingCounter(const Capture& s, int maximum, int minimum, int minDistance)
        : m_s(s), m_falls(s(s.start) >= 0), m_h(CrossingBand(maximum, minimum)), m_o(minDistance) {}

    // Sets r.crossings, r.first and r.last.
    void Count(WaveformResult& r) const {
        const int start = m_s.start, end = m_s.end;
        int cur = start, count = 0, first = -1, last = end, resume = start;
        for (int iter = 0; iter < end - start; ++iter) {
            int j = std::max(count > 0 ? cur + m_o : cur, resume);
            while (j < end && !RunBegins(j))
                ++j;
            if (j >= end)
                break;
            cur = j;
            int k = cur, p = cur;
            if (!ConfirmedCrossing(cur, k, p))
                break;
            k = LocateCrossing([this](int i) { return G(i); }, EdgeStart(cur, k), k, p);
            if (count == 0) {
                count = 1;
                if (cur == start)
                    first = k;
                cur = k;
                last = k;
            } else if (k - cur >= m_o) {
                ++count;
                cur = k;
                last = k;
            }
            resume = p;
        }
        r.crossings = count;
        r.first = first;
        r.last = last;
    }

private:
    bool RunBegins(int k) const { return m_falls ? m_s(k) >= 0 : m_s(k) < 0; }
    bool Crosses(int k) const { return m_falls ? m_s(k) < 0 : m_s(k) > 0; }
    // The signal turned so that the counted direction is always a fall.
    double G(int k) const { return m_falls ? m_s(k) : -m_s(k); }
    bool Beyond(int k) const { return G(k) <= -m_h; }
    bool Back(int k) const { return G(k) >= m_h; }
    // The last sample at or above the band before crossing k, not before run start j.
    int EdgeStart(int j, int k) const {
        int a = k - 1;
        while (a > j && !Back(a))
            --a;
        return std::max(a, j);
    }
    bool CleanFall(int a, int b) const {
        for (int i = a; i < b; ++i)
            if (G(i + 1) > G(i))
                return false;
        return true;
    }
    // From run start `cur`, the next crossing k that goes on beyond the band (at p);
    // a return above the band first was noise, and the search goes on from there.
    bool ConfirmedCrossing(int cur, int& k, int& p) const {
        const int end = m_s.end;
        for (;;) {
            while (k < end && !Crosses(k))
                ++k;
            if (k >= end)
                return false;
            p = k;
            while (p < end && !Beyond(p) && !Back(p))
                ++p;
            if (p < end && Beyond(p))
                return true;
            if (p >= end) {
                // The capture ends inside the band: a clean edge still counts.
                const bool clean = CleanFall(EdgeStart(cur, k), end - 1);
                p = end - 1;
                return clean;
            }
            k = p; // back above the band: that was noise, not the crossing
        }
    }

    const Capture& m_s;
    const bool m_falls;
    const int m_h;
    const int m_o;
};

// Step 6: RMS over the whole periods, frequency from their span, and the mean
// peak-to-peak of the periods.
void MeasurePeriods(const Capture& s, WaveformResult& r) {
    const int first = r.first, last = r.last, count = r.crossings;
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
}

// Step 8: the panel texts of a measured capture.
void PanelTexts(const WaveformResult& r, EpaTexts* texts) {
    if (!texts)
        return;
    const double rms = r.rmsExact;
    const int d = r.last - r.first;
    if (rms > 7) {
        texts->vpp = Fixed0(r.peakToPeak);
        texts->rms = Fixed1(rms);
        texts->t = Fixed1(double(d) * kWaveSampleMs / double(r.crossings - 1));
        texts->f = Fixed1(r.frequencyExact);
    } else if (rms < 7) {
        texts->vpp = QStringLiteral("LO");
        NoSignalTexts(texts);
    }
}

} // namespace

WaveformResult AnalyseWaveform(std::span<const FloatPair> wave, int start, int end, int ch,
                               EpaTexts* texts) {
    WaveformResult r;
    const Capture s{wave, size_t(ch == 0 ? 0 : 1), std::max(start, 0),
                    std::min<int>(end, int(wave.size()))};

    FindExtremes(s, r);

    // 2. Nothing that swings through zero.
    if (s.end <= s.start || r.maximum - r.minimum <= 10 || r.maximum <= 0 || r.minimum >= 0) {
        NoSignalTexts(texts);
        return r;
    }
    r.signal = true;

    // 3. Crossings closer than this are ripple, not periods.
    r.minDistance = 410 / r.maximum;

    CrossingCounter(s, r.maximum, r.minimum, r.minDistance).Count(r);

    // 5. At least one whole period inside the capture.
    r.valid = r.first >= 0 && r.first <= kRtWavePoints && r.first < r.last &&
              r.last < kRtWavePoints && r.crossings >= 2;
    if (!r.valid) {
        if (texts) {
            texts->x = QStringLiteral("--------");
            texts->am = QStringLiteral("LO");
        }
        NoSignalTexts(texts);
        return r;
    }

    MeasurePeriods(s, r);

    // 7. Below 7 the reading is noise.
    if (r.rmsExact < 7) {
        r.rms = 0;
        r.frequency = kNoFrequency;
    }

    PanelTexts(r, texts);
    return r;
}

WaveformResult AnalyseWaveformInto(MeasurementSet& set, int ch, EpaTexts* texts) {
    const WaveformResult r = AnalyseWaveform(set.Run().Capture(), 0, kRtWavePoints, ch, texts);
    set.Run().SetPendingValues(ch, r.rms, r.frequency);
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
