#include "tools/cli/ConfigCli.h"

#include "base/Prompts.h"
#include "link/ConfigJob.h"
#include "link/HeadlessLink.h"
#include "tools/cli/CliCommand.h"
#include "tools/cli/CliSupport.h"

#include <cstdio>
#include <limits>
#include <memory>

namespace {

constexpr int kAckWaitMs = 2000;
constexpr int kMaxTimeoutS = std::numeric_limits<int>::max() / 1000;

QString Hex(const QByteArray& b) {
    return QString::fromLatin1(b.toHex(' ').toUpper());
}

} // namespace

std::optional<int> ConfigSearchLimitMs(const char* command, const CliArgs& args,
                                       const char* usage) {
    if (!args.Has("--timeout"))
        return kConfigSearchDefaultS * 1000;
    bool ok = false;
    const int s = args.Value("--timeout").toInt(&ok);
    // The limit is counted in milliseconds in an int.
    if (!ok || s < 1 || s > kMaxTimeoutS) {
        CliUsageError(
            command,
            QStringLiteral("--timeout takes a number of seconds from 1 to %1").arg(kMaxTimeoutS),
            usage);
        return std::nullopt;
    }
    return s * 1000;
}

int SendConfigCommand(const char* command, const QString& device, LinkDialog dialog,
                      const QByteArray& bytes, int searchMs) {
    CliPrompts prompts;
    MeasurementSet set;
    // The link of every other command, on a tap that shows the job the acknowledgement.
    ReplyTapChannel* tap = nullptr;
    const std::unique_ptr<HeadlessLink> headless = HeadlessLink::OnChannel(
        device,
        [&tap](SerialChannel& serial) {
            auto t = std::make_unique<ReplyTapChannel>(serial);
            tap = t.get();
            return t;
        },
        prompts, set);
    LinkController& link = headless->Link();
    SerialChannel& serial = headless->Device();
    QObject::connect(&link.Search(), &PortSearch::statusText, [](const QString& text) {
        std::fprintf(stderr, "orvex-dl: %s\n", qPrintable(text));
    });

    std::fprintf(stderr, "Searching the logger on %s (for up to %d s)...\n", qPrintable(device),
                 searchMs / 1000);
    ConfigJob job(
        link, *tap, [&headless] { headless->Wait(); },
        [&headless] { return headless->ElapsedMs(); });
    const ConfigResult result = job.Run(dialog, bytes, searchMs, kAckWaitMs);
    headless->Channel().Close();
    switch (result) {
    case ConfigResult::Acknowledged:
    case ConfigResult::NotLogging:
        // Not logging: the link has said on stderr what to do (press START for three
        // seconds); the command itself was taken either way.
        std::fprintf(stderr, "orvex-dl %s: sent %s; the logger acknowledged it\n", command,
                     qPrintable(Hex(bytes)));
        return CliExit::Ok;
    case ConfigResult::NoAck:
        std::fprintf(stderr, "orvex-dl: No acknowledgement from the DATA LOGGER.\n");
        return CliExit::Interrupted;
    case ConfigResult::WriteFailed:
        std::fprintf(stderr, "orvex-dl: cannot write to %s (%s)\n", qPrintable(device),
                     qPrintable(serial.LastError()));
        return CliExit::Interrupted;
    case ConfigResult::NoLogger: {
        QString why = QStringLiteral("no answer to the probe");
        serial.SelectPort(kFirstPort);
        if (!serial.Open())
            why = serial.LastError();
        serial.Close();
        std::fprintf(stderr, "orvex-dl: no logger answered on %s (%s)\n", qPrintable(device),
                     qPrintable(why));
        return CliExit::NoLogger;
    }
    }
    return CliExit::Failure;
}
