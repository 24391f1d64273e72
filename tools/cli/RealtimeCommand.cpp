// orvex-dl realtime: live samples of the logger as CSV lines, with the same link,
// real-time transfer and waveform analysis as the desktop application.

#include "tools/cli/CliCommand.h"
#include "tools/cli/CliSupport.h"

#include "base/Clock.h"
#include "base/Prompts.h"
#include "base/Timers.h"
#include "data/RealTimeCsv.h"
#include "data/RtJournal.h"
#include "data/RtdataCodec.h"
#include "graph/RealTimeSampler.h"
#include "link/HeadlessLink.h"

#include <QElapsedTimer>

#include <csignal>
#include <cstdio>
#include <memory>
#include <optional>

namespace {

const char* const kUsage =
    "Usage: orvex-dl realtime --port DEVICE --interval S --count N [-o FILE.csv|FILE.rtdata]\n\n"
    "Connects to the logger on DEVICE, starts its real-time stream and takes a sample\n"
    "every S seconds (2 to 3600) until N samples (1 to 100000) were taken. Prints the\n"
    "CSV header and then one line per sample as it is taken, to stdout, or writes them\n"
    "all to FILE.csv at the end. A FILE ending in .rtdata receives the run itself, with\n"
    "every sample's captured waveform (kept on the disk beside it while the run goes\n"
    "on), and the lines still go to stdout. SIGINT or SIGTERM stops the logger and\n"
    "ends with the samples taken so far.\n"
    "Exit codes: 0 done, 1 failure, 2 usage, 3 no logger, 6 communication interruption,\n"
    "no channel or a channel changed.\n";

constexpr int kSearchMs = 10000;

volatile std::sig_atomic_t g_stopRequested = 0;

void OnSignal(int) {
    g_stopRequested = 1;
}

std::optional<int> IntArg(const CliArgs& a, const char* name, int lo, int hi) {
    bool ok = false;
    const int v = a.Value(QString::fromLatin1(name)).toInt(&ok);
    if (!ok || v < lo || v > hi) {
        CliUsageError("realtime",
                      QStringLiteral("%1 takes an integer between %2 and %3")
                          .arg(QString::fromLatin1(name))
                          .arg(lo)
                          .arg(hi),
                      kUsage);
        return std::nullopt;
    }
    return v;
}

// The run file of -o FILE.rtdata: the values from the set, the waveforms from a
// store on the disk beside the target (one per sample, as each was analysed).
class RunFile {
public:
    explicit RunFile(QString path) : m_path(std::move(path)), m_store(m_path + ".journal") {}

    void Begin(const MeasurementSet& set, int interval) {
        RtRunHeader h;
        h.interval = interval;
        h.startTime = set.RtStartTime();
        h.utcOffset = RtLocalUtcOffset(set.RtStartTime());
        h.kind = {set.Run().ChannelKind(0), set.Run().ChannelKind(1)};
        m_values = RtdataImage{};
        m_values.interval = h.interval;
        m_values.startTime = h.startTime;
        m_values.utcOffset = h.utcOffset;
        m_values.kind = h.kind;
        QString error;
        if (!m_store.Begin(h, &error))
            Lost(error);
        // Nothing of the store outlives this process, however it ends.
        m_store.DetachName();
    }

    void Add(const MeasurementSet& set, int n, TimeValue time, const RtWaveform& wave) {
        m_values.times.push_back(time);
        RtJournalSample sample{time, {}, {}};
        for (size_t ch = 0; ch < 2; ++ch) {
            sample.rms[ch] = set.Run().Rms()[size_t(n)][ch];
            sample.freq[ch] = set.Run().Freq()[size_t(n)][ch];
            if (m_values.ChannelPresent(int(ch))) {
                m_values.rms[ch].push_back(sample.rms[ch]);
                m_values.freq[ch].push_back(sample.freq[ch]);
            }
        }
        QString error;
        if (m_store.Writing() && !m_store.Append(sample, wave, &error))
            Lost(error);
    }

    bool Write(QString* error) {
        const bool waves = m_store.Count() == m_values.Count();
        return SaveRtdataFile(m_path, m_values, waves ? &m_store : nullptr, error);
    }

private:
    void Lost(const QString& why) {
        if (!m_lost)
            std::fprintf(stderr,
                         "orvex-dl: the waveforms cannot be kept (%s); the file gets "
                         "the values only\n",
                         qPrintable(why));
        m_lost = true;
        m_store.Close();
    }

    QString m_path;
    RtJournal m_store;
    RtdataImage m_values;
    bool m_lost = false;
};

struct RealtimeArgs {
    QString device;
    int interval = 0;
    int count = 0;
    QString output; // empty: stdout
    // -o names a run file: the lines still go to stdout.
    bool RunFileOut() const {
        return output.endsWith(QLatin1String(".rtdata"), Qt::CaseInsensitive);
    }
    bool PrintLines() const { return output.isEmpty() || RunFileOut(); }
};

// The command line, or nothing with `exitCode` set (usage printed).
std::optional<RealtimeArgs> ParseRealtimeArgs(const QStringList& args, int& exitCode) {
    const auto parsed = ParseCliArgs("realtime", args,
                                     {{{"--port", "-p"}, true},
                                      {{"--interval", "-i"}, true},
                                      {{"--count", "-n"}, true},
                                      {{"-o", "--output"}, true}},
                                     0, 0, kUsage, exitCode);
    if (!parsed)
        return std::nullopt;
    exitCode = CliExit::Usage;
    RealtimeArgs a;
    a.device = parsed->Value("--port");
    if (a.device.isEmpty() || !parsed->Has("--interval") || !parsed->Has("--count")) {
        CliUsageError("realtime", QStringLiteral("--port, --interval and --count are required"),
                      kUsage);
        return std::nullopt;
    }
    const auto interval = IntArg(*parsed, "--interval", kRtIntervalMin, kRtIntervalMax);
    if (!interval)
        return std::nullopt;
    const auto count = IntArg(*parsed, "--count", kRtPointsMin, kRtMaxPoints);
    if (!count)
        return std::nullopt;
    a.interval = *interval;
    a.count = *count;
    a.output = parsed->Value("-o");
    if (!a.output.isEmpty()) {
        if (const QString problem = OutputProblem(a.output); !problem.isEmpty()) {
            std::fprintf(stderr, "orvex-dl realtime: %s\n", qPrintable(problem));
            exitCode = CliExit::Failure;
            return std::nullopt;
        }
    }
    exitCode = CliExit::Ok;
    return a;
}

enum class Search { Connected, NoLogger, Stopped };

// Searches the logger as the real-time dialog does, until it is connected, the
// search fails or a signal asks to stop; the dialog is closed again in every case.
Search SearchLogger(HeadlessLink& headless) {
    LinkController& link = headless.Link();
    link.OnDialogCommand();
    link.OpenDialog(LinkDialog::RealTime);
    QElapsedTimer search;
    search.start();
    Search result = Search::Connected;
    for (;;) {
        headless.Wait();
        const LinkDialogState& d = link.Dialog(LinkDialog::RealTime);
        if (g_stopRequested) {
            result = Search::Stopped;
            break;
        }
        if (d.state == LinkState::Connected && link.ActionAllowed(LinkDialog::RealTime))
            break;
        if (d.state == LinkState::NotConnected || search.elapsed() > kSearchMs) {
            result = Search::NoLogger;
            break;
        }
    }
    link.CloseDialog(LinkDialog::RealTime);
    link.KillLinkTimers();
    if (result == Search::Connected && g_stopRequested)
        result = Search::Stopped;
    return result;
}

// The exit code of a run that ended by `end`.
int ExitCodeOf(RealTimeEnd end) {
    switch (end) {
    case RealTimeEnd::Stopped:
    case RealTimeEnd::CountReached:
        return CliExit::Ok;
    case RealTimeEnd::Silence:
        std::fprintf(stderr, "orvex-dl: %s\n", LinkText::kInterrupted);
        return CliExit::Interrupted;
    case RealTimeEnd::NoChannel:
    case RealTimeEnd::ChannelChanged:
        return CliExit::Interrupted; // the message went to stderr already
    }
    return CliExit::Failure;
}

// Takes the samples, each printed as it comes when there is no output file, until
// the run ends (the count, a fault, or a signal that stops the logger).
RealTimeEnd TakeSamples(HeadlessLink& headless, MeasurementSet& set, const RealtimeArgs& a,
                        RunFile* file) {
    LinkController& link = headless.Link();
    RealTimeTransfer& transfer = link.RealTime();
    // The application's previous measurement is the desktop's business.
    RealTimeSampler sampler;
    bool ended = false;
    RealTimeEnd end = RealTimeEnd::Stopped;
    transfer.onSample = [&] { return sampler.Sample(set); };
    if (file)
        transfer.onFirstFrame = [&] { file->Begin(set, a.interval); };
    transfer.onSampleTaken = [&] {
        const int n = set.RtCount() - 1;
        if (file)
            file->Add(set, n, set.Run().SampleTime(n), transfer.LastFrameWaveform());
        if (a.PrintLines()) {
            std::printf("%s\n", qPrintable(RealTimeCsvLine(set, n)));
            std::fflush(stdout);
        }
    };
    transfer.onEnded = [&](RealTimeEnd e) {
        ended = true;
        end = e;
    };
    if (a.PrintLines()) {
        std::printf("%s\n", qPrintable(RealTimeCsvHeader()));
        std::fflush(stdout);
    }
    std::fprintf(stderr, "Taking %d samples every %d s\n", a.count, a.interval);
    transfer.Configure(a.count, a.interval);
    link.StartTransfer(TransferKind::RealTime);
    while (!ended) {
        headless.Wait();
        if (g_stopRequested && !ended)
            transfer.StopRealTime();
    }
    return end;
}

int RunRealtime(const QStringList& args) {
    int exitCode = CliExit::Ok;
    const std::optional<RealtimeArgs> a = ParseRealtimeArgs(args, exitCode);
    if (!a)
        return exitCode;

    CliPrompts prompts;
    MeasurementSet set;
    const std::unique_ptr<HeadlessLink> headless = HeadlessLink::OnDevice(a->device, prompts, set);
    SerialChannel& channel = headless->Channel();
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);

    std::fprintf(stderr, "Searching the logger on %s...\n", qPrintable(a->device));
    const Search found = SearchLogger(*headless);
    if (found != Search::Connected) {
        channel.Close();
        if (found == Search::Stopped)
            return CliExit::Ok;
        std::fprintf(stderr, "orvex-dl: no logger answered on %s\n", qPrintable(a->device));
        return CliExit::NoLogger;
    }
    std::unique_ptr<RunFile> file =
        a->RunFileOut() ? std::make_unique<RunFile>(a->output) : nullptr;
    const RealTimeEnd end = TakeSamples(*headless, set, *a, file.get());
    channel.Close();

    if (!a->output.isEmpty() && set.RtCount() > 0) {
        QString error;
        const bool written = file ? file->Write(&error) : WriteRealTimeCsv(a->output, set, &error);
        if (!written) {
            std::fprintf(stderr, "orvex-dl: cannot write %s: %s\n", qPrintable(a->output),
                         qPrintable(error));
            return CliExit::Failure;
        }
    }
    std::fprintf(stderr, "%d samples taken\n", set.RtCount());
    return ExitCodeOf(end);
}

CliRegistration reg({"realtime",
                     "print live samples of the logger as CSV lines (or -o a .rtdata run)",
                     RunRealtime});

} // namespace
