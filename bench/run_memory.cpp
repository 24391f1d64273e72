// Resident memory of a long real-time run: 100,000 frames fed through the real-time
// session (the transfer, the sampler, the journal and the graph's mode refresh) in
// virtual time, one frame per sampling tick. Each sample's waveform (2,360 bytes,
// 236 MB for the run) goes to the journal on the disk; what stays in memory is the
// values of each sample. The counters give the growth of the resident set from the
// first sample to the last, the share the values account for and the rest, which
// must stay under 30 MB.
//
// The journal and the data folder are put on /dev/shm when it exists, so that the
// run is not bound by the disk's flushes; tmpfs pages are not part of the process's
// resident set.

#include "base/Prompts.h"
#include "base/Timers.h"
#include "shell/AppShell.h"
#include "shell/GraphController.h"
#include "shell/LinkSession.h"
#include "shell/RealTimeSession.h"
#include "sim/FakeSerialChannel.h"
#include "sim/LoggerModel.h"

#include <QDir>
#include <QGuiApplication>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <memory>

namespace {

constexpr int kSamples = 100000;
constexpr int kIntervalSeconds = 2;

int64_t ResidentBytes() {
    long pages = 0, resident = 0;
    std::FILE* f = std::fopen("/proc/self/statm", "r");
    if (!f)
        return 0;
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
        resident = 0;
    std::fclose(f);
    return int64_t(resident) * sysconf(_SC_PAGESIZE);
}

QString ScratchFolder() {
    return QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm")
                                                     : QDir::tempPath();
}

struct Run {
    QTemporaryDir dir{ScratchFolder() + QStringLiteral("/run-memory-XXXXXX")};
    ManualClock clock;
    ManualTimerTable timers{clock};
    FakeSerialChannel channel{&clock};
    FakePrompts prompts;
    FixedClock now{1765199100};
    LoggerModel logger;
    std::unique_ptr<AppShell> shell;
    std::unique_ptr<GraphController> graph;
    std::unique_ptr<LinkSession> link;
    std::unique_ptr<RealTimeSession> session;

    Run() {
        qputenv("DATALOGGER_DIR", dir.path().toLocal8Bit());
        shell = std::make_unique<AppShell>(timers, prompts, now,
                                           dir.filePath(QStringLiteral("LumoDATALOGGER.ini")));
        graph = std::make_unique<GraphController>(*shell);
        link = std::make_unique<LinkSession>(*shell, channel);
        session = std::make_unique<RealTimeSession>(*shell, link->Link());
        session->AttachGraph(graph.get());
        session->SetJournalPath(dir.filePath(QStringLiteral("journal.rtj")));
        QObject::connect(session.get(), &RealTimeSession::runDialogRequested,
                         [this] { link->Link().OpenDialog(LinkDialog::RealTime); });
        channel.SetOpenable(1);
        channel.SetResponder([this](int, const QByteArray& w) { return logger.Feed(w); });
        logger.SetRealTimeKinds(2, kChannelVolts, kChannelAmps);
        shell->Graph().SetClient(1600, 900);
    }
    ~Run() { qunsetenv("DATALOGGER_DIR"); }

    bool Start() {
        LinkController& l = link->Link();
        if (!shell->Execute(Cmd::Run))
            return false;
        if (!clock.AdvanceUntil(
                [&] { return l.Dialog(LinkDialog::RealTime).state == LinkState::Connected; }, 3000))
            return false;
        return session->PressRun(kIntervalSeconds, kSamples);
    }
    // One frame, then the time to the next tick.
    void Feed() {
        const QByteArray f = logger.NextFrame();
        if (!f.isEmpty() && channel.IsOpen())
            channel.Inject(f);
        clock.Advance(kIntervalSeconds * 1000);
    }
};

void BM_RunResidentMemory(benchmark::State& state) {
    for (auto _ : state) {
        Run run;
        if (!run.Start()) {
            state.SkipWithError("the run did not start");
            return;
        }
        const MeasurementSet& set = run.shell->Set();
        while (set.RtCount() < 1)
            run.Feed();
        const int64_t before = ResidentBytes();
        while (set.RtCount() < kSamples && run.shell->RealTimeRunning())
            run.Feed();
        const int64_t after = ResidentBytes();
        const RealTimeRun& r = set.Run();
        const double values = double(
            r.Rms().capacity() * sizeof(FloatPair) + r.Freq().capacity() * sizeof(FloatPair) +
            r.Power().capacity() * sizeof(RtPowerRow) + r.Times().capacity() * sizeof(TimeValue));
        const double mb = 1024.0 * 1024.0;
        state.counters["samples"] = double(set.RtCount());
        state.counters["rss_growth_MB"] = double(after - before) / mb;
        state.counters["values_MB"] = values / mb;
        state.counters["beyond_values_MB"] = (double(after - before) - values) / mb;
        state.counters["waveforms_kept"] = r.KeepsWaveforms() ? 1 : 0;
    }
}
BENCHMARK(BM_RunResidentMemory)->Iterations(1)->Unit(benchmark::kSecond);

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
