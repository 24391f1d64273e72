#include "graph/PowerAnalysis.h"

#include "data/RtdataFile.h"

#include "base/NumberText.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>
#include <vector>

namespace {

using Complex = std::complex<double>;
constexpr double kPi = std::numbers::pi;
constexpr double kDeg = 180.0 / kPi;
constexpr int kMaxFft = 1024;

// Sample k of channel c as a double.
struct Samples {
    std::span<const FloatPair> wave;
    size_t c;
    int Size() const { return int(wave.size()); }
    double operator[](int k) const { return double(wave[size_t(k)][c]); }
    // Straight line between the neighbouring samples.
    double Linear(double t) const {
        const int n = Size();
        const int a = std::clamp(int(std::floor(t)), 0, n - 2);
        const double x = t - a;
        return (*this)[a] * (1.0 - x) + (*this)[a + 1] * x;
    }
    // Four-point Lagrange interpolation (exact for cubics): far below the quantisation
    // of the samples for the low orders that carry the power.
    double Cubic(double t) const {
        const int n = Size();
        const int b = std::clamp(int(std::floor(t)) - 1, 0, n - 4);
        const double x = t - b;
        const double l0 = -(x - 1) * (x - 2) * (x - 3) / 6.0;
        const double l1 = x * (x - 2) * (x - 3) / 2.0;
        const double l2 = -x * (x - 1) * (x - 3) / 2.0;
        const double l3 = x * (x - 1) * (x - 2) / 6.0;
        return l0 * (*this)[b] + l1 * (*this)[b + 1] + l2 * (*this)[b + 2] + l3 * (*this)[b + 3];
    }
};

// Plain complex product: std::complex's operator* checks for infinities through a
// library call on every product, which the FFT's butterflies would pay thousands of times.
inline Complex Mul(Complex a, Complex b) {
    return {a.real() * b.real() - a.imag() * b.imag(), a.real() * b.imag() + a.imag() * b.real()};
}

inline double Magnitude(Complex a) {
    return std::sqrt(a.real() * a.real() + a.imag() * a.imag());
}

double WrapDegrees(double d) {
    d = std::fmod(d, 360.0);
    if (d <= -180.0)
        d += 360.0;
    else if (d > 180.0)
        d -= 360.0;
    return d;
}

// The crossing the RMS analysis put at sample k (the first sample past zero), placed
// between samples: the zero of a least-squares line through the edge around it. A
// fit over a few samples averages the rounding of the samples; any curvature of the
// edge shifts both ends of a window alike and so leaves the period as it is.
double RefineCrossing(const Samples& s, int k, bool falls, double period) {
    const int n = s.Size();
    if (k < 1 || k >= n)
        return k;
    const int half = std::clamp(int(period / 16.0), 1, 4);
    const int lo = std::max(k - half, 0);
    const int hi = std::min(k + half - 1, n - 1);
    double st = 0, sg = 0, stt = 0, stg = 0;
    const double m = hi - lo + 1;
    for (int i = lo; i <= hi; ++i) {
        const double t = i - k;
        const double g = falls ? s[i] : -s[i];
        st += t;
        sg += g;
        stt += t * t;
        stg += t * g;
    }
    const double den = m * stt - st * st;
    if (den > 0) {
        const double slope = (m * stg - st * sg) / den;
        const double icpt = (sg - slope * st) / m;
        if (slope < 0) {
            const double root = k - icpt / slope;
            if (root >= k - 1.5 && root <= k + 0.5)
                return root;
        }
    }
    // A ragged edge: the straight line between the two samples around zero.
    const double a = falls ? s[k - 1] : -s[k - 1];
    const double b = falls ? s[k] : -s[k];
    if (a >= 0 && b < 0)
        return (k - 1) + a / (a - b);
    return k;
}

// Trapezoid rule over [t0, t1] on the sample grid: the end pieces reach from the
// interpolated values at t0 and t1 to the first and last whole samples. Calls
// visit(k, weight) for every whole sample k and ends(weight0, weight1) once.
template <class V, class E> void Trapezoid(double t0, double t1, V visit, E ends) {
    const int a = int(std::ceil(t0));
    const int b = int(std::floor(t1));
    const double head = double(a) - t0, tail = t1 - double(b);
    for (int k = a; k <= b; ++k) {
        double weight = 1.0;
        if (k == a)
            weight = 0.5 + head / 2;
        else if (k == b)
            weight = 0.5 + tail / 2;
        visit(k, weight);
    }
    ends(head / 2, tail / 2);
}

// (2 / W) times the integral of s(t) exp(-j w (t - t0)) over the window: the complex
// amplitude of the fundamental, A exp(j (theta - 90 deg)) for A sin(w t + theta).
Complex Fundamental(const Samples& s, const PeriodWindow& w) {
    const double width = w.end - w.start;
    const double omega = 2 * kPi * w.periods / width;
    const Complex step = std::polar(1.0, -omega);
    Complex turn = std::polar(1.0, -omega * (std::ceil(w.start) - w.start));
    Complex sum;
    Trapezoid(
        w.start, w.end,
        [&](int k, double weight) {
            sum += (weight * s[k]) * turn;
            turn = Mul(turn, step);
        },
        [&](double w0, double w1) {
            sum += w0 * s.Linear(w.start);
            sum += (w1 * s.Linear(w.end)) * std::polar(1.0, -omega * width);
        });
    return sum * (2.0 / width);
}

// Mean of v x i over the window.
double MeanProduct(const Samples& v, const Samples& i, const PeriodWindow& w) {
    double sum = 0;
    Trapezoid(
        w.start, w.end, [&](int k, double weight) { sum += weight * v[k] * i[k]; },
        [&](double w0, double w1) {
            sum += w0 * v.Linear(w.start) * i.Linear(w.start);
            sum += w1 * v.Linear(w.end) * i.Linear(w.end);
        });
    return sum / (w.end - w.start);
}

const std::vector<Complex>& Twiddles() {
    static const std::vector<Complex> table = [] {
        std::vector<Complex> t(kMaxFft / 2);
        for (int k = 0; k < kMaxFft / 2; ++k)
            t[size_t(k)] = std::polar(1.0, -2 * kPi * k / kMaxFft);
        return t;
    }();
    return table;
}

// In-place radix-2 FFT; x.size() is a power of two up to kMaxFft.
void Fft(std::vector<Complex>& x) {
    const size_t n = x.size();
    for (size_t i = 1, j = 0; i < n; ++i) {
        size_t bit = n >> 1;
        for (; j & bit; bit >>= 1)
            j ^= bit;
        j ^= bit;
        if (i < j)
            std::swap(x[i], x[j]);
    }
    const std::vector<Complex>& tw = Twiddles();
    for (size_t len = 2; len <= n; len <<= 1) {
        const size_t step = size_t(kMaxFft) / len;
        for (size_t i = 0; i < n; i += len)
            for (size_t k = 0; k < len / 2; ++k) {
                const Complex u = x[i + k];
                const Complex v = Mul(x[i + k + len / 2], tw[k * step]);
                x[i + k] = u + v;
                x[i + k + len / 2] = u - v;
            }
    }
}

size_t FftSize(int needed) {
    size_t n = 64;
    while (n < size_t(needed) && n < size_t(kMaxFft))
        n <<= 1;
    return n;
}

} // namespace

ChannelKind RtChannelKind(const MeasurementSet& set, int ch) {
    if (!set.RtChannelPresent(ch))
        return ChannelKind::Absent;
    const QString& unit = set.RtChannelUnit(ch);
    if (unit == QLatin1String("V"))
        return ChannelKind::Volts;
    if (unit == QLatin1String("A"))
        return ChannelKind::Amps;
    return ChannelKind::Other;
}

PowerAnalysis::PowerAnalysis(std::span<const FloatPair> wave, std::array<ChannelKind, 2> kinds)
    : m_wave(wave), m_kind(kinds) {
    const int n = int(wave.size());
    for (int ch = 0; ch < 2; ++ch)
        if (m_kind[Index(ch)] != ChannelKind::Absent)
            m_result[Index(ch)] = AnalyseWaveform(wave, 0, n, ch);
    Refine();
}

PowerAnalysis::PowerAnalysis(std::span<const FloatPair> wave, std::array<ChannelKind, 2> kinds,
                             const std::array<WaveformResult, 2>& known)
    : m_wave(wave), m_kind(kinds), m_result(known) {
    Refine();
}

bool PowerAnalysis::Usable(int ch) const {
    const WaveformResult& r = m_result[Index(ch)];
    // An RMS below the analysis's noise floor is stored as 0: nothing to measure.
    return m_kind[Index(ch)] != ChannelKind::Absent && r.valid && r.rms > 0;
}

void PowerAnalysis::Refine() {
    const int n = int(m_wave.size());
    for (int ch = 0; ch < 2; ++ch) {
        const WaveformResult& r = m_result[Index(ch)];
        if (!Usable(ch) || n < 4 || r.first < 1 || r.last >= n || r.crossings < 2)
            continue;
        const Samples s{m_wave, Index(ch)};
        // The analysis counts falls when the capture starts at or above zero.
        const bool falls = s[0] >= 0;
        const int periods = r.crossings - 1;
        const double period = double(r.last - r.first) / periods;
        PeriodWindow w{RefineCrossing(s, r.first, falls, period),
                       RefineCrossing(s, r.last, falls, period), periods};
        if (w.end - w.start > 2.0 * periods)
            m_own[Index(ch)] = w;
    }
}

std::optional<int> PowerAnalysis::VoltsChannel() const {
    const bool a = m_kind[0] == ChannelKind::Volts && m_kind[1] == ChannelKind::Amps;
    const bool b = m_kind[1] == ChannelKind::Volts && m_kind[0] == ChannelKind::Amps;
    if (a)
        return 0;
    if (b)
        return 1;
    return std::nullopt;
}

std::optional<PeriodWindow> PowerAnalysis::Window(int ch) const {
    if (!Usable(ch))
        return std::nullopt;
    if (const auto v = VoltsChannel(); v && m_own[Index(*v)])
        return m_own[Index(*v)];
    return m_own[Index(ch)];
}

std::optional<PowerFigures> PowerAnalysis::Power() const {
    const auto vch = VoltsChannel();
    if (!vch || !Usable(0) || !Usable(1) || !m_own[Index(*vch)])
        return std::nullopt;
    const PeriodWindow& w = *m_own[Index(*vch)];
    const Samples v{m_wave, Index(*vch)};
    const Samples i{m_wave, Index(1 - *vch)};

    PowerFigures f;
    f.p = MeanProduct(v, i, w);
    f.s = double(m_result[Index(*vch)].rms) * double(m_result[Index(1 - *vch)].rms);
    if (f.s <= 0)
        return std::nullopt;
    const Complex fv = Fundamental(v, w);
    const Complex fi = Fundamental(i, w);
    if (Magnitude(fv) <= 0 || Magnitude(fi) <= 0)
        return std::nullopt;
    f.phiDeg = WrapDegrees((std::arg(fv) - std::arg(fi)) * kDeg);
    // The RMS values come from the analysis's own windows, P from the voltage's: a
    // purely resistive load may come out a hair above 1.
    f.pf = std::clamp(f.p / f.s, -1.0, 1.0);
    const double q = std::sqrt(std::max(0.0, f.s * f.s - f.p * f.p));
    f.q = f.phiDeg < 0 ? -q : q;
    return f;
}

namespace {

// The grid a window's spectrum is taken on: a power of two of points over the whole
// periods, enough for every order asked for to fall on a bin below the grid's Nyquist.
struct Grid {
    double start = 0, width = 0;
    size_t n = 0;
    int periods = 0, orders = 0;
    double At(size_t k) const { return start + width * double(k) / double(n); }
};

std::optional<Grid> GridOf(const PeriodWindow& w) {
    const double width = w.end - w.start;
    // Orders strictly below half the capture's sampling rate.
    const int orders = std::min(kMaxHarmonicOrder, int(std::ceil(w.Period() / 2.0)) - 1);
    if (orders < 1)
        return std::nullopt;
    const size_t n = FftSize(std::max(int(std::ceil(width)), 2 * orders * w.periods + 2));
    return Grid{w.start, width, n, w.periods, orders};
}

// The orders from their bins (bin(h) is the FFT bin of order h), phases against the
// reference fundamental's sine phase theta1.
template <class B> std::optional<HarmonicSpectrum> FromBins(const Grid& g, B bin, double theta1) {
    HarmonicSpectrum out;
    out.orders = g.orders;
    double distortion = 0;
    for (int h = 1; h <= g.orders; ++h) {
        const Complex c = bin(h);
        HarmonicOrder& o = out.order[size_t(h - 1)];
        o.amplitude = 2.0 * Magnitude(c) / double(g.n);
        o.phaseDeg = WrapDegrees((std::arg(c) + kPi / 2 - h * theta1) * kDeg);
        if (h >= 2)
            distortion += o.amplitude * o.amplitude;
    }
    const double a1 = out.order[0].amplitude;
    if (!(a1 > 0))
        return std::nullopt;
    for (int h = 1; h <= g.orders; ++h)
        out.order[size_t(h - 1)].percent = 100.0 * out.order[size_t(h - 1)].amplitude / a1;
    out.thdPercent = 100.0 * std::sqrt(distortion) / a1;
    return out;
}

} // namespace

std::optional<HarmonicSpectrum> PowerAnalysis::Spectrum(int ch) const {
    const auto w = Window(ch);
    const auto g = w ? GridOf(*w) : std::nullopt;
    if (!g)
        return std::nullopt;
    const Samples s{m_wave, Index(ch)};
    std::vector<Complex> x(g->n);
    for (size_t k = 0; k < g->n; ++k)
        x[k] = s.Cubic(g->At(k));
    Fft(x);
    // Phases against the reference's fundamental: the voltage's in a pair, else the
    // channel's own.
    const auto vch = VoltsChannel();
    const Samples ref{m_wave, vch ? Index(*vch) : Index(ch)};
    const double theta1 = std::arg(Fundamental(ref, *w)) + kPi / 2;
    return FromBins(
        *g, [&](int h) { return x[size_t(h) * size_t(g->periods)]; }, theta1);
}

std::array<std::optional<HarmonicSpectrum>, 2> PowerAnalysis::Spectra() const {
    const auto w0 = Window(0), w1 = Window(1);
    const bool shared =
        w0 && w1 && w0->start == w1->start && w0->end == w1->end && w0->periods == w1->periods;
    const auto g = shared ? GridOf(*w0) : std::nullopt;
    if (!g)
        return {Spectrum(0), Spectrum(1)};
    // Both channels of one window in one FFT: CH1 as the real part, CH2 as the
    // imaginary part, taken apart by the symmetry of real signals' spectra.
    const Samples a{m_wave, 0}, b{m_wave, 1};
    std::vector<Complex> x(g->n);
    for (size_t k = 0; k < g->n; ++k) {
        const double t = g->At(k);
        x[k] = Complex(a.Cubic(t), b.Cubic(t));
    }
    Fft(x);
    auto binOf = [&](int ch, int h) {
        const size_t k = size_t(h) * size_t(g->periods);
        const Complex p = x[k], q = std::conj(x[(g->n - k) % g->n]);
        const Complex sum = p + q, diff = p - q;
        return ch == 0 ? sum * 0.5 : Complex(diff.imag(), -diff.real()) * 0.5;
    };
    std::array<std::optional<HarmonicSpectrum>, 2> out;
    const auto vch = VoltsChannel();
    for (int ch = 0; ch < 2; ++ch) {
        const int ref = vch ? *vch : ch;
        const double theta1 = std::arg(binOf(ref, 1)) + kPi / 2;
        out[Index(ch)] = FromBins(
            *g, [&](int h) { return binOf(ch, h); }, theta1);
    }
    return out;
}

RtPowerRow MakePowerRow(const PowerAnalysis& a) {
    RtPowerRow row;
    if (const auto f = a.Power()) {
        row.p = float(f->p);
        row.q = float(f->q);
        row.pf = float(f->pf);
        row.phiDeg = float(f->phiDeg);
    }
    const auto spectra = a.Spectra();
    for (size_t ch = 0; ch < 2; ++ch)
        if (spectra[ch])
            row.thd[ch] = float(spectra[ch]->thdPercent);
    return row;
}

std::vector<RtPowerRow> RunPowerRows(const RtWaveformSource& waves, std::array<uint8_t, 2> kinds,
                                     int count) {
    std::vector<RtPowerRow> rows(size_t(std::max(count, 0)));
    std::array<ChannelKind, 2> k{};
    for (size_t ch = 0; ch < 2; ++ch)
        k[ch] = kinds[ch] == kChannelVolts  ? ChannelKind::Volts
                : kinds[ch] == kChannelAmps ? ChannelKind::Amps
                                            : ChannelKind::Absent;
    const bool pair = (k[0] == ChannelKind::Volts && k[1] == ChannelKind::Amps) ||
                      (k[0] == ChannelKind::Amps && k[1] == ChannelKind::Volts);
    if (!pair)
        return rows;
    const int n = std::min(count, waves.WaveformCount());
    RtWaveform raw{};
    std::array<FloatPair, kRtWavePoints> wave{};
    for (int i = 0; i < n; ++i) {
        if (!waves.ReadWaveform(i, raw, nullptr))
            continue;
        for (size_t j = 0; j < wave.size(); ++j)
            wave[j] = {float(raw[j][0]), float(raw[j][1])};
        const auto f = PowerAnalysis(wave, k).Power();
        if (!f)
            continue;
        RtPowerRow& row = rows[size_t(i)];
        row.p = float(f->p);
        row.q = float(f->q);
        row.pf = float(f->pf);
        row.phiDeg = float(f->phiDeg);
    }
    return rows;
}

PowerTexts NonePowerTexts() {
    const QString none = QStringLiteral("NONE");
    return PowerTexts{none, none, none, none, {none, none}};
}

PowerTexts MakePowerTexts(const RtPowerRow& row, std::array<ChannelKind, 2> kinds) {
    const bool pair = (kinds[0] == ChannelKind::Volts && kinds[1] == ChannelKind::Amps) ||
                      (kinds[0] == ChannelKind::Amps && kinds[1] == ChannelKind::Volts);
    auto text = [&](const std::optional<float>& v, QString (*format)(double)) -> QString {
        if (!pair)
            return QStringLiteral("--");
        return v ? format(double(*v)) : QStringLiteral("LO");
    };
    PowerTexts t;
    t.p = text(row.p, Fixed0);
    t.q = text(row.q, Fixed0);
    t.pf = text(row.pf, Fixed2);
    t.phi = text(row.phiDeg, Fixed1);
    for (size_t ch = 0; ch < 2; ++ch) {
        if (kinds[ch] == ChannelKind::Absent)
            t.thd[ch] = QStringLiteral("--");
        else
            t.thd[ch] = row.thd[ch] ? Fixed1(double(*row.thd[ch])) : QStringLiteral("LO");
    }
    return t;
}
