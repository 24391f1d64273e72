// The power analysis of one captured two-channel sample beside the RMS-and-frequency
// analysis of the same sample, which every real-time tick runs anyway: P, Q, PF and
// the phase angle (what a power graph needs per sample) and the full spectrum of both
// channels (orders 1 to 50, asked for on demand). Each is timed from the raw capture,
// the RMS analysis included, as a tick would pay for it.

#include "bench/support/Ratios.h"
#include "graph/PowerAnalysis.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <numbers>
#include <vector>

namespace {

// 230 V with 5 % of the 3rd and 3 % of the 5th order on CH1, a current 30 degrees
// behind with 20 % of the 3rd on CH2, 50 Hz, rounded as the logger sends them.
std::vector<FloatPair> Capture() {
    std::vector<FloatPair> w(kRtWavePoints);
    const double lag = 30 * std::numbers::pi / 180;
    for (int k = 0; k < kRtWavePoints; ++k) {
        const double x = 2 * std::numbers::pi * 50 * k * kWaveSampleSeconds + 0.3;
        w[size_t(k)] = {
            float(std::nearbyint(325 * std::sin(x) + 16.25 * std::sin(3 * x) +
                                 9.75 * std::sin(5 * x))),
            float(std::nearbyint(141 * std::sin(x - lag) + 28.2 * std::sin(3 * (x - lag))))};
    }
    return w;
}

const std::vector<FloatPair>& Wave() {
    static const std::vector<FloatPair> w = Capture();
    return w;
}

constexpr std::array kKinds{ChannelKind::Volts, ChannelKind::Amps};

void BM_RmsAndFrequency(benchmark::State& state) {
    for (auto _ : state) {
        WaveformResult a = AnalyseWaveform(Wave(), 0, kRtWavePoints, 0);
        WaveformResult b = AnalyseWaveform(Wave(), 0, kRtWavePoints, 1);
        benchmark::DoNotOptimize(a);
        benchmark::DoNotOptimize(b);
    }
}
BENCHMARK(BM_RmsAndFrequency)->MinTime(0.5)->Repetitions(5);

void BM_PowerFigures(benchmark::State& state) {
    for (auto _ : state) {
        const PowerAnalysis a(Wave(), kKinds);
        auto f = a.Power();
        benchmark::DoNotOptimize(f);
    }
}
BENCHMARK(BM_PowerFigures)->MinTime(0.5)->Repetitions(5);

void BM_SpectrumOfBothChannels(benchmark::State& state) {
    for (auto _ : state) {
        const PowerAnalysis a(Wave(), kKinds);
        auto both = a.Spectra();
        benchmark::DoNotOptimize(both);
    }
}
BENCHMARK(BM_SpectrumOfBothChannels)->MinTime(0.5)->Repetitions(5);

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    RatioReporter r;
    benchmark::RunSpecifiedBenchmarks(&r);
    r.PrintRatio("P, Q, PF and phi / RMS and frequency", "BM_PowerFigures", "BM_RmsAndFrequency",
                 "(goal <= 2)");
    r.PrintRatio("spectrum of both channels / RMS and frequency", "BM_SpectrumOfBothChannels",
                 "BM_RmsAndFrequency", "(goal <= 10)");
    benchmark::Shutdown();
    return 0;
}
