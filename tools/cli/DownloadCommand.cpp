// orvex-dl download: fetches the logger's stored recording into a .stdata file,
// running the same link and download code as the desktop application.

#include "tools/cli/CliCommand.h"
#include "tools/cli/CliSupport.h"

#include "base/DataDir.h"
#include "base/Prompts.h"
#include "base/Timers.h"
#include "data/StdataFile.h"
#include "link/DownloadJob.h"
#include "link/PortSearch.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryFile>

#include <cstdio>
#include <limits>
#include <memory>
#include <optional>

#ifndef _WIN32
#include <unistd.h>
#endif

namespace {

const char* const kUsage =
    "Usage: orvex-dl download --port|-p DEVICE -o|--output FILE.stdata [--timeout SECONDS]\n\n"
    "Downloads the recording stored in the logger on DEVICE (e.g. /dev/ttyUSB0) and\n"
    "writes it as a measurement file. Progress goes to stderr. The search for the\n"
    "logger goes on until the timeout (default 600 s).\n"
    "Exit codes: 0 done, 1 failure, 2 usage, 3 no logger, 4 logger busy logging,\n"
    "5 no data in the logger, 6 communication interruption.\n"
    "FILE's folder must exist and be writable: that is checked before the transfer.\n"
    "If FILE cannot be written at the end, the recording is kept in a file beside it\n"
    "or in the data directory, and stderr says where.\n";

constexpr int kMaxTimeoutS = std::numeric_limits<int>::max() / 1000;

// The final write failed: the recording goes beside the target, else into the data
// directory. Returns where it was kept, or empty when nowhere would take it.
QString KeepElsewhere(const QString& output, const MeasurementSet& set) {
    const QFileInfo target(output);
    const QString name = QStringLiteral("%1-%2.stdata")
                             .arg(target.completeBaseName().isEmpty() ? QStringLiteral("download")
                                                                      : target.completeBaseName(),
                                  QDateTime::currentDateTime().toString("yyyyMMdd-HHmmss"));
    for (const QString& candidate :
         {QDir(target.absolutePath()).filePath(name), MeasurementFilePath(name)}) {
        QString ignored;
        if (SaveStdataFile(candidate, set, &ignored))
            return candidate;
    }
    return {};
}

struct DownloadArgs {
    QString device;
    QString output;
    int timeoutS = 600;
};

// The command line, or nothing with `exitCode` set (usage printed).
std::optional<DownloadArgs> ParseDownloadArgs(const QStringList& args, int& exitCode) {
    const auto parsed =
        ParseCliArgs("download", args,
                     {{{"--port", "-p"}, true}, {{"-o", "--output"}, true}, {{"--timeout"}, true}},
                     0, 0, kUsage, exitCode);
    if (!parsed)
        return std::nullopt;
    DownloadArgs a;
    a.device = parsed->Value("--port");
    a.output = parsed->Value("-o");
    exitCode = CliExit::Usage;
    if (parsed->Has("--timeout")) {
        bool ok = false;
        a.timeoutS = parsed->Value("--timeout").toInt(&ok);
        // The limit is counted in milliseconds in an int.
        if (!ok || a.timeoutS < 1 || a.timeoutS > kMaxTimeoutS) {
            CliUsageError("download",
                          QStringLiteral("--timeout takes a number of seconds from 1 to %1")
                              .arg(kMaxTimeoutS),
                          kUsage);
            return std::nullopt;
        }
    }
    if (a.device.isEmpty() || a.output.isEmpty()) {
        CliUsageError("download", QStringLiteral("--port and -o are required"), kUsage);
        return std::nullopt;
    }
    exitCode = CliExit::Ok;
    return a;
}

// Progress on stderr: on a terminal one line rewritten in place with bytes and time
// left, elsewhere a line every ten percent.
void ShowProgress(DownloadJob& job, CliPrompts& prompts) {
#ifndef _WIN32
    const bool tty = ::isatty(2);
#else
    const bool tty = false;
#endif
    QObject::connect(&job, &DownloadJob::progress,
                     [tty, lastShown = -1](int pos, int range) mutable {
                         const int percent = range > 0 ? pos * 100 / range : 0;
                         // On a terminal the line with bytes and time left follows at once
                         // (loadingText).
                         if (!tty && percent / 10 != lastShown / 10)
                             std::fprintf(stderr, "Downloading: %d%%\n", percent);
                         lastShown = percent;
                     });
    QObject::connect(&job, &DownloadJob::loadingText, [tty, &prompts](const QString& text) {
        if (!tty)
            return;
        QString line = text;
        line.replace(QLatin1Char('\n'), QStringLiteral(", "));
        // Padded so that a shorter line covers the previous one.
        std::fprintf(stderr, "\rDownloading: %-60s", qPrintable(line));
        prompts.SetMidLine(true);
    });
}

// No logger answered: says why (the device does not open, or it opens but nothing
// answers).
int ReportNoLogger(SerialChannel& channel, const QString& device) {
    QString why = QStringLiteral("no answer to the probe");
    channel.SelectPort(kFirstPort);
    if (!channel.Open()) {
        why = channel.LastError();
        if (channel.LastOpenError() == SerialChannel::OpenError::Denied ||
            channel.LastOpenError() == SerialChannel::OpenError::Busy)
            why = PortSearch::DescribeOpenFailure(
                {device, channel.LastOpenError(), channel.DeniedGroup()});
    }
    channel.Close();
    std::fprintf(stderr, "orvex-dl: no logger answered on %s (%s)\n", qPrintable(device),
                 qPrintable(why));
    return CliExit::NoLogger;
}

// The exit code of a download that did not complete.
int ExitCodeOf(DownloadResult result, int timeoutS) {
    switch (result) {
    case DownloadResult::Completed:
        return CliExit::Ok;
    case DownloadResult::NoLogger:
        return CliExit::NoLogger;
    case DownloadResult::LoggingNow:
        return CliExit::LoggerBusy;
    case DownloadResult::NoData:
        return CliExit::NoData;
    case DownloadResult::DamagedHeader:
        return CliExit::Failure;
    case DownloadResult::Interrupted:
    case DownloadResult::Cancelled:
        return CliExit::Interrupted;
    case DownloadResult::TimedOut:
        std::fprintf(stderr, "orvex-dl: the download did not finish within %d s\n", timeoutS);
        return CliExit::Interrupted;
    }
    return CliExit::Interrupted;
}

// Writes the recording to `output`, or, when that fails, keeps it elsewhere.
int WriteRecording(const QString& output, const MeasurementSet& set) {
    QString error;
    if (!SaveStdataFile(output, set, &error)) {
        std::fprintf(stderr, "orvex-dl: cannot write %s: %s\n", qPrintable(output),
                     qPrintable(error));
        const QString kept = KeepElsewhere(output, set);
        if (kept.isEmpty())
            std::fprintf(stderr, "orvex-dl: the recording could not be kept anywhere\n");
        else
            std::fprintf(stderr, "orvex-dl: the recording was kept in %s\n", qPrintable(kept));
        return CliExit::Failure;
    }
    std::fprintf(stderr, "Downloaded %d RMS samples per channel and %d transient records to %s\n",
                 set.RmsCount(), set.TrCount(), qPrintable(output));
    return CliExit::Ok;
}

int RunDownload(const QStringList& args) {
    int exitCode = CliExit::Ok;
    const std::optional<DownloadArgs> a = ParseDownloadArgs(args, exitCode);
    if (!a)
        return exitCode;
    if (const QString problem = OutputProblem(a->output); !problem.isEmpty()) {
        std::fprintf(stderr, "orvex-dl: cannot download to %s: %s\n", qPrintable(a->output),
                     qPrintable(problem));
        return CliExit::Failure;
    }

    CliPrompts prompts;
    MeasurementSet set;
    const std::unique_ptr<HeadlessLink> headless = HeadlessLink::OnDevice(a->device, prompts, set);
    QObject::connect(&headless->Link().Search(), &PortSearch::statusText, [](const QString& text) {
        std::fprintf(stderr, "orvex-dl: %s\n", qPrintable(text));
    });
    DownloadJob job(*headless);
    ShowProgress(job, prompts);
    std::fprintf(stderr, "Searching the logger on %s (for up to %d s)...\n", qPrintable(a->device),
                 a->timeoutS);
    // The search, like the dialog's, scans again after every failed probe cycle; the
    // timeout is the only limit on it.
    const DownloadResult result = job.Run(a->timeoutS * 1000, a->timeoutS * 1000);
    if (prompts.MidLine())
        std::fputc('\n', stderr);
    SerialChannel& channel = headless->Channel();
    channel.Close();
    if (result == DownloadResult::NoLogger)
        return ReportNoLogger(channel, a->device);
    if (result != DownloadResult::Completed)
        return ExitCodeOf(result, a->timeoutS);
    return WriteRecording(a->output, set);
}

CliRegistration reg({"download", "download the logger's recording to a .stdata file", RunDownload});

} // namespace
