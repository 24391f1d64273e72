// Paced download from the simulator: the measured transfer time as a ratio to what
// the line allows. Each block costs 8 request bytes and 512 reply bytes at 10 bits
// a byte and 115200 baud, so 1024 blocks (512 KiB) take at least 46.2 s; the rest
// is the host's own time per block (notification latency, copying, timers).
// Run: bench_link --benchmark_filter=Blocks/64 for a quick figure. Also: how long a
// cancel takes to end a paced download (--benchmark_filter=Cancel).

#include "SimProcess.h"

#include "base/Prompts.h"
#include "base/Timers.h"
#include "link/DownloadJob.h"
#include "link/LoggerProtocol.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <benchmark/benchmark.h>

namespace {

QCoreApplication* App() {
    static int argc = 1;
    static char name[] = "bench_link";
    static char* argv[] = {name, nullptr};
    static auto* app = new QCoreApplication(argc, argv);
    return app;
}

double LineLimitSeconds(int blocks) {
    return double(blocks) * (Logger::kBlockBytes + Logger::kCommandBytes) * Logger::kBitsPerByte /
           Logger::kBaud;
}

void BM_PacedDownload(benchmark::State& state) {
    App();
    const int blocks = int(state.range(0));
    // Two channels: 128 samples a block.
    const QString samples = QString::number(blocks * Logger::kBlockBytes / 4);
    double ratio = 0;
    double seconds = 0;
    for (auto _ : state) {
        state.PauseTiming();
        SimProcess sim;
        if (!sim.Start({"--paced", "--samples", samples})) {
            state.SkipWithError("simulator did not start");
            return;
        }
        FakePrompts prompts;
        MeasurementSet set;
        const auto link = HeadlessLink::OnDevice(sim.device, prompts, set);
        DownloadJob job(*link);
        state.ResumeTiming();
        const DownloadResult r = job.Run(int(LineLimitSeconds(blocks) * 1000 * 2) + 10000);
        state.PauseTiming();
        if (r != DownloadResult::Completed || set.RmsCount() != samples.toInt()) {
            state.SkipWithError("download failed");
            return;
        }
        seconds = double(job.TransferMs()) / 1000.0;
        ratio = seconds / LineLimitSeconds(blocks);
        state.ResumeTiming();
    }
    state.counters["transfer_s"] = seconds;
    state.counters["line_limit_s"] = LineLimitSeconds(blocks);
    state.counters["ratio"] = ratio;
}

BENCHMARK(BM_PacedDownload)
    ->Name("PacedDownload/Blocks")
    ->Arg(64)
    ->Arg(1024)
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();

// Cancel during a paced download: the time from the cancel to the end of the
// download job, against the goal of well under a second ("at once" for the user).
void BM_CancelDuringPacedDownload(benchmark::State& state) {
    App();
    constexpr double kGoalMs = 1000;
    double cancelToEndMs = 0;
    for (auto _ : state) {
        state.PauseTiming();
        SimProcess sim;
        if (!sim.Start({"--paced", "--samples", "8000"})) {
            state.SkipWithError("simulator did not start");
            return;
        }
        FakePrompts prompts;
        MeasurementSet set;
        const auto link = HeadlessLink::OnDevice(sim.device, prompts, set);
        DownloadJob job(*link);
        QElapsedTimer sinceCancel;
        QObject::connect(&job, &DownloadJob::progress, [&](int pos, int) {
            if (pos == 10 && !sinceCancel.isValid()) {
                sinceCancel.start();
                link->Link().CancelTransfer();
            }
        });
        state.ResumeTiming();
        const DownloadResult r = job.Run(15000);
        state.PauseTiming();
        if (r != DownloadResult::Cancelled || !sinceCancel.isValid()) {
            state.SkipWithError("the download was not cancelled");
            return;
        }
        cancelToEndMs = double(sinceCancel.nsecsElapsed()) / 1e6;
        state.ResumeTiming();
    }
    state.counters["cancel_to_end_ms"] = cancelToEndMs;
    state.counters["goal_ms"] = kGoalMs;
    state.counters["ratio"] = cancelToEndMs / kGoalMs;
}

BENCHMARK(BM_CancelDuringPacedDownload)
    ->Name("PacedDownload/Cancel")
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

} // namespace

BENCHMARK_MAIN();
