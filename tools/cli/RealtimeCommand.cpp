// orvex-dl realtime: live samples of the logger as CSV lines, with the same link,
// real-time transfer and waveform analysis as the desktop application.

#include "tools/cli/CliCommand.h"
#include "tools/cli/CliSupport.h"

#include "base/Prompts.h"
#include "base/Timers.h"
#include "data/RealTimeCsv.h"
#include "graph/RealTimeSampler.h"
#include "link/HeadlessLink.h"

#include <QElapsedTimer>

#include <csignal>
#include <cstdio>
#include <memory>
#include <optional>

namespace {

const char* const kUsage =
    "Usage: orvex-dl realtime --port DEVICE --interval S --count N [-o FILE.csv]\n\n"
    "Connects to the logger on DEVICE, starts its real-time stream and takes a sample\n"
    "every S seconds (2 to 3600) until N samples (1 to 100000) were taken. Prints the\n"
    "CSV header and then one line per sample as it is taken, to stdout, or writes them\n"
    "all to FILE.csv at the end. SIGINT or SIGTERM stops the logger and ends with the\n"
    "samples taken so far.\n"
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

struct RealtimeArgs {
    QString device;
    int interval = 0;
    int count = 0;
    QString output; // empty: stdout
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
        if (d.title == QLatin1String(LinkText::kConnected) &&
            link.ActionAllowed(LinkDialog::RealTime))
            break;
        if (d.title == QLatin1String(LinkText::kNotConnected) || search.elapsed() > kSearchMs) {
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
RealTimeEnd TakeSamples(HeadlessLink& headless, MeasurementSet& set, const RealtimeArgs& a) {
    LinkController& link = headless.Link();
    RealTimeTransfer& transfer = link.RealTime();
    // The application's previous measurement is the desktop's business.
    transfer.m_writePreviousMeasurement = false;
    RealTimeSampler sampler;
    bool ended = false;
    RealTimeEnd end = RealTimeEnd::Stopped;
    transfer.onSample = [&] { return sampler.Sample(set, a.interval); };
    transfer.onSampleTaken = [&] {
        if (a.output.isEmpty()) {
            std::printf("%s\n", qPrintable(RealTimeCsvLine(set, set.m_rtCount - 1, a.interval)));
            std::fflush(stdout);
        }
    };
    transfer.onEnded = [&](RealTimeEnd e) {
        ended = true;
        end = e;
    };
    if (a.output.isEmpty()) {
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
    const RealTimeEnd end = TakeSamples(*headless, set, *a);
    channel.Close();

    if (!a->output.isEmpty() && set.m_rtCount > 0) {
        QString error;
        if (!WriteRealTimeCsv(a->output, set, a->interval, &error)) {
            std::fprintf(stderr, "orvex-dl: cannot write %s: %s\n", qPrintable(a->output),
                         qPrintable(error));
            return CliExit::Failure;
        }
    }
    std::fprintf(stderr, "%d samples taken\n", set.m_rtCount);
    return ExitCodeOf(end);
}

CliRegistration reg({"realtime", "print live samples of the logger as CSV lines", RunRealtime});

} // namespace
