// Statistics of a full logger memory: 262,144 RMS samples per channel, a week of
// supply voltage at 2 s on CH1 (with dips, swells and an interruption) and a load
// current on CH2, beside one pass that only sums the values of both channels.

#include "bench/support/Ratios.h"

#include "base/LocalTime.h"
#include "data/MeasurementSet.h"
#include "data/RecordingStatistics.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>

namespace {

constexpr int kSamples = 262144;

const MeasurementSet& FullMemory() {
    static const MeasurementSet set = [] {
        StoredSet d;
        d.SetRmsCount(kSamples);
        d.SetRmsInterval(2.0f);
        d.SetStartTime(FromLocalFields({2026, 3, 2, 0, 0, 0}));
        d.SetChannelUnit(0, QStringLiteral("V"));
        d.SetChannelUnit(1, QStringLiteral("A"));
        std::vector<float> ch1(kSamples), ch2(kSamples);
        uint32_t noise = 12345;
        for (int i = 0; i < kSamples; ++i) {
            noise = noise * 1664525u + 1013904223u;
            const double jitter = double(noise >> 20) / 4096.0 - 0.5; // -0.5 to 0.5
            double v = 230.0 + 6.0 * std::sin(double(i) / 900.0) + 2.0 * jitter;
            if (i % 20000 < 5)
                v = 190.0; // a dip now and then
            if (i % 50000 == 7)
                v = 262.0;
            if (i == 100000)
                v = 3.0;
            ch1[size_t(i)] = float(std::round(v * 10.0) / 10.0);
            ch2[size_t(i)] = float(
                std::round((12.0 + 8.0 * std::sin(double(i) / 400.0) + jitter) * 10.0) / 10.0);
        }
        d.SetChannelValues(0, std::move(ch1));
        d.SetChannelValues(1, std::move(ch2));
        MeasurementSet s;
        s.ReplaceStored(std::move(d));
        return s;
    }();
    return set;
}

void Statistics(benchmark::State& state) {
    const MeasurementSet& s = FullMemory();
    for (auto _ : state) {
        RecordingStatistics r = ComputeStatistics(StatisticsViewOf(s), 230.0);
        benchmark::DoNotOptimize(r);
    }
}
BENCHMARK(Statistics)->Unit(benchmark::kMillisecond)->Repetitions(5);

// The least any statistics must do: read every value once.
void SumOnly(benchmark::State& state) {
    const MeasurementSet& s = FullMemory();
    for (auto _ : state) {
        double sum = 0;
        for (const float v : s.ChannelRms(0))
            sum += double(v);
        for (const float v : s.ChannelRms(1))
            sum += double(v);
        benchmark::DoNotOptimize(sum);
    }
}
BENCHMARK(SumOnly)->Unit(benchmark::kMillisecond)->Repetitions(5);

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintRatio("statistics / sum-only pass, 2 x 262,144 samples", "Statistics", "SumOnly",
                        "(goal <= 10)");
    const double ms = reporter.Of("Statistics").real;
    if (ms > 0)
        std::printf("statistics of a full logger memory: %.2f ms (goal < 50 ms)\n", ms);
    benchmark::Shutdown();
    return 0;
}
