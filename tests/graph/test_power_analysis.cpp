// Power figures and harmonics of captured samples. The frames are synthetic, rounded
// to whole counts as the logger sends them; every expected figure is the closed-form
// value of the continuous signals, computed here from their amplitudes and phases.

#include "graph/PowerAnalysis.h"
#include "graph/RealTimeSampler.h"
#include "support/RunSamples.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kRad = kPi / 180.0;

// Voltage 325 sin x + 5 % 3rd + 3 % 5th; current 141 sin(x - phi) + 20 % 3rd.
constexpr double kV1 = 325, kV3 = 0.05 * kV1, kV5 = 0.03 * kV1;
constexpr double kI1 = 141, kI3 = 0.20 * kI1;

struct Load {
    double hz;
    double phiDeg;     // current behind the voltage (negative: leading)
    double startDeg;   // voltage phase at the capture's first sample
    bool thirdInPhase; // the current's 3rd in phase with the voltage's 3rd (else shifted)
    int voltsCh;       // channel of the voltage
    bool harmonics = true;
};

std::vector<FloatPair> Frame(const Load& l) {
    std::vector<FloatPair> w(kRtWavePoints);
    const double phi = l.phiDeg * kRad;
    for (int k = 0; k < kRtWavePoints; ++k) {
        const double x = 2 * kPi * l.hz * k * kWaveSampleSeconds + l.startDeg * kRad;
        double v = kV1 * std::sin(x), i = kI1 * std::sin(x - phi);
        if (l.harmonics) {
            v += kV3 * std::sin(3 * x) + kV5 * std::sin(5 * x);
            i += kI3 * (l.thirdInPhase ? std::sin(3 * x) : std::sin(3 * (x - phi)));
        }
        w[size_t(k)][size_t(l.voltsCh)] = float(std::nearbyint(v));
        w[size_t(k)][size_t(1 - l.voltsCh)] = float(std::nearbyint(i));
    }
    return w;
}

std::array<ChannelKind, 2> Kinds(int voltsCh) {
    return voltsCh == 0 ? std::array{ChannelKind::Volts, ChannelKind::Amps}
                        : std::array{ChannelKind::Amps, ChannelKind::Volts};
}

struct Exact {
    double p, s, pf, phi, q, thdV, thdI;
};

Exact ExactFigures(const Load& l) {
    const double phi = l.phiDeg * kRad;
    Exact e{};
    // Only equal orders carry power: 1st with 1st, 3rd with 3rd.
    const double third = l.thirdInPhase ? 1.0 : std::cos(3 * phi);
    e.p = 0.5 * (kV1 * kI1 * std::cos(phi) + (l.harmonics ? kV3 * kI3 * third : 0.0));
    const double vrms =
        l.harmonics ? std::sqrt((kV1 * kV1 + kV3 * kV3 + kV5 * kV5) / 2) : kV1 / std::sqrt(2.0);
    const double irms = l.harmonics ? std::sqrt((kI1 * kI1 + kI3 * kI3) / 2) : kI1 / std::sqrt(2.0);
    e.s = vrms * irms;
    e.pf = e.p / e.s;
    e.phi = l.phiDeg;
    e.q = (l.phiDeg < 0 ? -1 : 1) * std::sqrt(e.s * e.s - e.p * e.p);
    e.thdV = l.harmonics ? 100 * std::hypot(kV3, kV5) / kV1 : 0;
    e.thdI = l.harmonics ? 100 * kI3 / kI1 : 0;
    return e;
}

std::vector<Load> Loads() {
    std::vector<Load> out;
    for (double hz : {50.0, 60.0, 49.5})
        for (int voltsCh : {0, 1})
            for (double phi : {30.0, -30.0})
                for (double start : {0.0, 73.0, 200.0})
                    for (bool inPhase : {false, true})
                        out.push_back(Load{hz, phi, start, inPhase, voltsCh});
    return out;
}

std::string Name(const Load& l) {
    char b[160];
    std::snprintf(b, sizeof b, "%.1f Hz, V on CH%d, phi %.0f, start %.0f, 3rd %s", l.hz,
                  l.voltsCh + 1, l.phiDeg, l.startDeg, l.thirdInPhase ? "in phase" : "shifted");
    return b;
}

TEST(PowerAnalysis, MeetsTheAccuracyGoalsOnDistortedVoltageAndCurrent) {
    for (const Load& l : Loads()) {
        SCOPED_TRACE(Name(l));
        const auto wave = Frame(l);
        const PowerAnalysis a(wave, Kinds(l.voltsCh));
        const Exact e = ExactFigures(l);
        const auto f = a.Power();
        ASSERT_TRUE(f.has_value());
        EXPECT_NEAR(f->p, e.p, 0.01 * std::abs(e.p));
        EXPECT_NEAR(f->pf, e.pf, 0.01);
        EXPECT_NEAR(f->phiDeg, e.phi, 1.0);
        EXPECT_NEAR(f->q, e.q, 0.02 * e.s);
        EXPECT_NEAR(f->s, e.s, 0.005 * e.s);
        const auto sv = a.Spectrum(l.voltsCh);
        const auto si = a.Spectrum(1 - l.voltsCh);
        ASSERT_TRUE(sv && si);
        EXPECT_NEAR(sv->thdPercent, e.thdV, 0.3);
        EXPECT_NEAR(si->thdPercent, e.thdI, 0.5);
        // Both channels in one transform give the same orders as one at a time.
        const auto both = a.Spectra();
        ASSERT_TRUE(both[0] && both[1]);
        for (int ch = 0; ch < 2; ++ch) {
            const auto one = a.Spectrum(ch);
            const HarmonicSpectrum& two = *both[size_t(ch)];
            EXPECT_NEAR(two.thdPercent, one->thdPercent, 1e-6);
            for (int h : {1, 3, 5})
                EXPECT_NEAR(two.order[size_t(h - 1)].phaseDeg, one->order[size_t(h - 1)].phaseDeg,
                            0.05);
        }
    }
}

TEST(PowerAnalysis, OrdersCarryAmplitudeAndPhaseAgainstTheVoltageFundamental) {
    // Voltage orders 3 and 5 in phase with its fundamental; the current's fundamental
    // at -phi and its shifted 3rd at -3 phi, all measured against the voltage.
    for (double phi : {30.0, -20.0}) {
        const Load l{50, phi, 41, false, 1};
        SCOPED_TRACE(Name(l));
        const auto wave = Frame(l);
        const PowerAnalysis a(wave, Kinds(l.voltsCh));
        const auto v = a.Spectrum(1);
        const auto i = a.Spectrum(0);
        ASSERT_TRUE(v && i);
        EXPECT_EQ(v->orders, 50);
        EXPECT_NEAR(v->order[0].amplitude, kV1, 1.0);
        EXPECT_NEAR(v->order[0].percent, 100.0, 1e-9);
        EXPECT_NEAR(v->order[2].percent, 5.0, 0.1);
        EXPECT_NEAR(v->order[4].percent, 3.0, 0.1);
        EXPECT_NEAR(v->order[1].percent, 0.0, 0.1);
        EXPECT_NEAR(v->order[2].phaseDeg, 0.0, 2.0);
        EXPECT_NEAR(v->order[4].phaseDeg, 0.0, 3.0);
        EXPECT_NEAR(i->order[0].amplitude, kI1, 1.0);
        EXPECT_NEAR(i->order[0].phaseDeg, -phi, 1.0);
        EXPECT_NEAR(i->order[2].percent, 20.0, 0.3);
        EXPECT_NEAR(i->order[2].phaseDeg, -3 * phi, 2.0);
    }
}

TEST(PowerAnalysis, PureSineHasNoDistortionAndAResistiveLoadAPowerFactorOfOne) {
    for (double hz : {50.0, 60.0, 49.5})
        for (double start : {0.0, 123.0}) {
            const Load l{hz, 0, start, false, 0, false};
            SCOPED_TRACE(Name(l));
            const auto wave = Frame(l);
            const PowerAnalysis a(wave, Kinds(0));
            const auto v = a.Spectrum(0), i = a.Spectrum(1);
            ASSERT_TRUE(v && i);
            EXPECT_LT(v->thdPercent, 0.5);
            EXPECT_LT(i->thdPercent, 0.5);
            const auto f = a.Power();
            ASSERT_TRUE(f);
            EXPECT_LE(f->pf, 1.0);
            EXPECT_GT(f->pf, 0.99);
            EXPECT_NEAR(f->phiDeg, 0.0, 0.5);
            EXPECT_NEAR(f->p, ExactFigures(l).p, 0.01 * ExactFigures(l).p);
        }
}

TEST(PowerAnalysis, SeveralPeriodsAreUsedAndOrdersStopBelowTheNyquistOrder) {
    // 200 Hz: 91.4 samples a period; starting at 100 degrees the first fall is at
    // sample 20.3 and six more whole periods fit before sample 590. Orders above 45
    // would lie beyond half the sampling rate.
    const Load l{200, 45, 100, false, 0};
    const auto wave = Frame(l);
    const PowerAnalysis a(wave, Kinds(0));
    const auto w = a.Window(0);
    ASSERT_TRUE(w);
    EXPECT_EQ(w->periods, 6);
    EXPECT_NEAR(w->Period(), 1.0 / (200 * kWaveSampleSeconds), 0.05);
    const auto v = a.Spectrum(0);
    ASSERT_TRUE(v);
    EXPECT_EQ(v->orders, 45);
    EXPECT_NEAR(v->thdPercent, ExactFigures(l).thdV, 0.3);
    const auto f = a.Power();
    ASSERT_TRUE(f);
    EXPECT_NEAR(f->phiDeg, 45.0, 1.0);
    EXPECT_NEAR(f->p, ExactFigures(l).p, 0.01 * ExactFigures(l).p);
}

TEST(PowerAnalysis, NoFiguresWithoutAVoltageAndCurrentPairOrASignal) {
    const Load l{50, 30, 0, false, 0};
    const auto wave = Frame(l);
    struct Case {
        const char* name;
        std::array<ChannelKind, 2> kinds;
        bool power, thd1, thd2;
    };
    const Case cases[] = {
        {"CH2 absent", {ChannelKind::Volts, ChannelKind::Absent}, false, true, false},
        {"CH1 absent", {ChannelKind::Absent, ChannelKind::Amps}, false, false, true},
        {"both volts", {ChannelKind::Volts, ChannelKind::Volts}, false, true, true},
        {"both amperes", {ChannelKind::Amps, ChannelKind::Amps}, false, true, true},
        {"unknown unit", {ChannelKind::Volts, ChannelKind::Other}, false, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const PowerAnalysis a(wave, c.kinds);
        EXPECT_EQ(a.Power().has_value(), c.power);
        EXPECT_EQ(a.Spectrum(0).has_value(), c.thd1);
        EXPECT_EQ(a.Spectrum(1).has_value(), c.thd2);
        // A channel on its own is measured over its own periods.
        if (const auto s = a.Spectrum(0)) {
            EXPECT_NEAR(s->thdPercent, ExactFigures(l).thdV, 0.3);
        }
        if (const auto s = a.Spectrum(1)) {
            EXPECT_NEAR(s->thdPercent, ExactFigures(l).thdI, 0.5);
        }
    }
}

TEST(PowerAnalysis, ASilentOrOneSidedChannelGivesNoneNeverANumber) {
    const Load l{50, 30, 0, false, 0};
    struct Case {
        const char* name;
        float current; // every current sample
        bool voltage;  // voltage kept (else a flat one)
    };
    const Case cases[] = {{"no current", 0.0f, true},
                          {"current all positive", 40.0f, true},
                          {"noise-level current", 3.0f, true},
                          {"no voltage", 0.0f, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto wave = Frame(l);
        for (int k = 0; k < kRtWavePoints; ++k) {
            if (c.voltage)
                wave[size_t(k)][1] = std::string(c.name) == "noise-level current"
                                         ? (k % 2 ? c.current : -c.current)
                                         : c.current;
            else
                wave[size_t(k)][0] = 0.0f;
        }
        const PowerAnalysis a(wave, Kinds(0));
        EXPECT_FALSE(a.Power());
        EXPECT_FALSE(a.Spectrum(c.voltage ? 1 : 0));
        const RtPowerRow row = MakePowerRow(a);
        EXPECT_FALSE(row.p || row.q || row.pf || row.phiDeg);
        const PowerTexts t = MakePowerTexts(row, Kinds(0));
        EXPECT_EQ(t.p, "LO");
        EXPECT_EQ(t.pf, "LO");
        EXPECT_EQ(t.phi, "LO");
        EXPECT_EQ(t.thd[c.voltage ? 1 : 0], "LO");
    }
}

TEST(PowerAnalysis, PanelTextsSayWhatDoesNotApply) {
    RtPowerRow row;
    row.p = 19843.4f;
    row.q = -11456.2f;
    row.pf = 0.8463f;
    row.phiDeg = -30.04f;
    row.thd = {5.83f, std::nullopt};
    const PowerTexts pair = MakePowerTexts(row, Kinds(0));
    EXPECT_EQ(pair, (PowerTexts{"19843", "-11456", "0.85", "-30.0", {"5.8", "LO"}}));
    const PowerTexts single = MakePowerTexts(row, {ChannelKind::Volts, ChannelKind::Absent});
    EXPECT_EQ(single, (PowerTexts{"--", "--", "--", "--", {"5.8", "--"}}));
}

TEST(RealTimeSampler, EachSampleKeepsTheFiguresOfItsOwnCaptureAndANewRunStartsClean) {
    MeasurementSet s;
    RealTimeRun& run = s.Run();
    runs::BeginRun(run, 3, 0, 2, "V", "A");
    auto take = [&](const Load& l) {
        run.SetCapture(runs::CaptureOf(Frame(l)));
        RealTimeSampler sampler;
        ASSERT_TRUE(sampler.Sample(s));
        ASSERT_TRUE(run.Append());
    };
    const Load lagging{50, 30, 0, false, 0}, leading{50, -30, 0, false, 0};
    take(lagging);
    take(leading);
    ASSERT_EQ(run.Power().size(), 2u);
    ASSERT_TRUE(run.Power()[0].phiDeg && run.Power()[1].phiDeg);
    EXPECT_NEAR(*run.Power()[0].phiDeg, 30.0, 1.0);
    EXPECT_NEAR(*run.Power()[1].phiDeg, -30.0, 1.0);

    // The next run with the current gone: none of the last run's figures remain.
    run.Begin(0, 2, 2);
    EXPECT_TRUE(run.Power().empty());
    Load silent = lagging;
    auto wave = Frame(silent);
    for (FloatPair& p : wave)
        p[1] = 0;
    run.SetCapture(runs::CaptureOf(wave));
    RealTimeSampler sampler;
    ASSERT_TRUE(sampler.Sample(s));
    ASSERT_TRUE(run.Append());
    ASSERT_EQ(run.Power().size(), 1u);
    EXPECT_FALSE(run.Power()[0].p || run.Power()[0].pf || run.Power()[0].thd[1]);
    EXPECT_TRUE(run.Power()[0].thd[0]);
}

// A run read back gets its extremes in one pass: the very texts and values that
// taking its samples one by one left (ties move to the later sample, "LO"/"OL"
// where there was no value), whatever sample holds them.
TEST(RealTimeSampler, ExtremesOfARunReadBackEqualThoseLeftSampleBySample) {
    MeasurementSet s;
    RealTimeRun& run = s.Run();
    runs::BeginRun(run, 9, 1265202300, 7, "V", "A");
    const std::vector<FloatPair> rms = {{230, 5},    {231, 5}, {229.5f, 0}, {231, 7},   {0, 7},
                                        {230, 5.5f}, {231, 2}, {228, 7},    {229, 0.5f}};
    const std::vector<FloatPair> hz = {{50, 50},    {400, 50},   {50.1f, 400},
                                       {49.9f, 50}, {400, 50},   {50, 49.9f},
                                       {50.1f, 50}, {49.8f, 51}, {50, 50}};
    for (size_t i = 0; i < rms.size(); ++i)
        ASSERT_TRUE(runs::AddSample(run, rms[i], hz[i]));

    MeasurementSet expected = s;
    RealTimeExtremes want;
    for (int n = 0; n < run.Count(); ++n) {
        const size_t i = size_t(n);
        for (size_t c = 0; c < 2; ++c) {
            const int ch = int(c);
            QString texts[4] = {expected.ExtremeText(4, ch), expected.ExtremeText(5, ch),
                                expected.ExtremeText(8, ch), expected.ExtremeText(9, ch)};
            UpdateExtremes(ExtremeRule::Frequency, want.freqMax[c], want.freqMin[c], hz[i][c],
                           texts[0], texts[1], n, run.SampleTime(n));
            UpdateExtremes(ExtremeRule::Rms, want.rmsMax[c], want.rmsMin[c], rms[i][c], texts[2],
                           texts[3], n, run.SampleTime(n));
            for (int k = 0; k < 4; ++k)
                expected.SetExtremeText(k < 2 ? 4 + k : 6 + k, ch, texts[k]);
        }
        QString va[2] = {expected.PowerExtremeText(0), expected.PowerExtremeText(1)};
        UpdateExtremes(ExtremeRule::Rms, want.powerMax, want.powerMin, rms[i][0] * rms[i][1], va[0],
                       va[1], n, run.SampleTime(n));
        expected.SetPowerExtremeText(0, va[0]);
        expected.SetPowerExtremeText(1, va[1]);
    }

    const RealTimeExtremes got = ComputeRunExtremes(s);
    for (int row : {4, 5, 8, 9})
        for (int ch : {0, 1})
            EXPECT_EQ(s.ExtremeText(row, ch).toStdString(),
                      expected.ExtremeText(row, ch).toStdString())
                << row << " " << ch;
    EXPECT_EQ(s.PowerExtremeText(0).toStdString(), expected.PowerExtremeText(0).toStdString());
    EXPECT_EQ(s.PowerExtremeText(1).toStdString(), expected.PowerExtremeText(1).toStdString());
    EXPECT_EQ(got.freqMax, want.freqMax);
    EXPECT_EQ(got.rmsMin, want.rmsMin);
    EXPECT_EQ(got.powerMax, want.powerMax);
    EXPECT_EQ(got.powerMin, want.powerMin);
}

} // namespace
