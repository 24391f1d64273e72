// Opening a long real-time run as File > Open does it (the file read and checked
// whole, its samples put into the run, the newest waveform shown, the extremes),
// beside reading and checking the file alone, and beside the same open followed by
// the power figures of every sample from its kept waveform, which is what opening
// cost while it worked them out at once. The figures now wait for the first view
// that shows them, so opening should cost about what reading the file costs.

#include "base/Prompts.h"
#include "base/Timers.h"
#include "bench/support/Ratios.h"
#include "data/RtdataFile.h"
#include "shell/AppShell.h"
#include "shell/FileCommands.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <memory>
#include <string>

namespace {

constexpr double kPi = 3.14159265358979323846;

// A voltage with some 3rd and 5th and a current that drifts between lagging and
// leading, a little off 50 Hz, different in every sample as a real run is.
class Waves final : public RtWaveformSource {
public:
    explicit Waves(int count) : m_count(count) {}
    int WaveformCount() const override { return m_count; }
    bool ReadWaveform(int index, RtWaveform& out, QString*) const override {
        const double hz = 49.9 + 0.2 * std::sin(index / 300.0);
        const double lag = 40 * std::sin(index / 700.0) * kPi / 180;
        for (size_t i = 0; i < out.size(); ++i) {
            const double a = 2 * kPi * hz * double(i) * 54.71e-6;
            const double v = 325 * std::sin(a) + 16 * std::sin(3 * a) + 10 * std::sin(5 * a);
            const double c = 141 * std::sin(a - lag) + 28 * std::sin(3 * (a - lag));
            out[i] = {int16_t(std::lround(v)), int16_t(std::lround(c))};
        }
        return true;
    }

private:
    int m_count;
};

// The run file of `count` samples, written once into a folder that goes with the
// program.
QString RunFile(int count) {
    static QTemporaryDir dir(qEnvironmentVariableIsEmpty("BENCH_DIR")
                                 ? QDir::tempPath() + QStringLiteral("/bench_open_run-XXXXXX")
                                 : qEnvironmentVariable("BENCH_DIR") +
                                       QStringLiteral("/bench_open_run-XXXXXX"));
    static std::map<int, QString> written;
    if (auto it = written.find(count); it != written.end())
        return it->second;
    RtdataImage r;
    r.interval = 2;
    r.startTime = 1796832000;
    r.kind = {kChannelVolts, kChannelAmps};
    for (int i = 0; i < count; ++i) {
        r.times.push_back(r.startTime + 2 * i);
        r.rms[0].push_back(float(230 + 3 * std::sin(i / 50.0)));
        r.rms[1].push_back(float(100 + 10 * std::sin(i / 30.0)));
        r.freq[0].push_back(50.0f);
        r.freq[1].push_back(50.0f);
    }
    const QString path = dir.filePath(QStringLiteral("run%1.rtdata").arg(count));
    const Waves waves(count);
    QString error;
    if (!SaveRtdataFile(path, r, &waves, &error)) {
        std::fprintf(stderr, "cannot write %s: %s\n", qPrintable(path), qPrintable(error));
        std::abort();
    }
    written[count] = path;
    return path;
}

// The window's shell without a window.
struct Shell {
    QTemporaryDir dir;
    ManualClock clock;
    ManualTimerTable timers{clock};
    FakePrompts prompts;
    FixedClock now{1796832000};
    AppShell shell{timers, prompts, now, dir.filePath("x.ini")};
    FileCommands files{shell};
};

void BM_ReadRunFile(benchmark::State& state) {
    const QString path = RunFile(int(state.range(0)));
    for (auto _ : state) {
        RtdataReader reader;
        if (!reader.Open(path).Ok())
            state.SkipWithError("open failed");
        benchmark::DoNotOptimize(reader.Image().times.data());
    }
}

void Open(benchmark::State& state, bool figures) {
    const QString path = RunFile(int(state.range(0)));
    Shell s;
    for (auto _ : state) {
        if (s.files.LoadFile(path) != FileCommands::LoadResult::Loaded)
            state.SkipWithError("open failed");
        if (figures)
            benchmark::DoNotOptimize(s.shell.Set().Run().Power().data());
        benchmark::DoNotOptimize(s.shell.Set().Run().Rms().data());
    }
}
void BM_OpenRun(benchmark::State& state) {
    Open(state, false);
}
void BM_OpenRunWithPowerFigures(benchmark::State& state) {
    Open(state, true);
}

BENCHMARK(BM_ReadRunFile)->Arg(20000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenRun)->Arg(20000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenRunWithPowerFigures)->Arg(20000)->Arg(100000)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    RatioReporter r;
    benchmark::RunSpecifiedBenchmarks(&r);
    std::printf("\n%-56s %6s %6s\n", "ratios (1: the same cost)", "real", "CPU");
    for (const char* n : {"20000", "100000"}) {
        const std::string arg = std::string("/") + n;
        std::printf("%s samples:\n", n);
        r.PrintRealAndCpuRatio("open / read the file", "BM_OpenRun" + arg, "BM_ReadRunFile" + arg);
        r.PrintRealAndCpuRatio("open + every power figure / read the file",
                               "BM_OpenRunWithPowerFigures" + arg, "BM_ReadRunFile" + arg);
        r.PrintRealAndCpuRatio("open / open + every power figure", "BM_OpenRun" + arg,
                               "BM_OpenRunWithPowerFigures" + arg);
    }
    benchmark::Shutdown();
    return 0;
}
