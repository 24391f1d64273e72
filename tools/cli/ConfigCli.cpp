#include "tools/cli/ConfigCli.h"

#include "base/Prompts.h"
#include "base/Timers.h"
#include "link/ConfigJob.h"
#include "link/QtSerialChannel.h"
#include "tools/cli/CliCommand.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <cstdio>
#include <limits>

namespace {

constexpr int kAckWaitMs = 2000;
// The event loop sleeps at most this long before the job checks its limits.
constexpr int kWaitSliceMs = 20;
constexpr int kMaxTimeoutS = std::numeric_limits<int>::max() / 1000;

// The link's messages (the START-button text) go to stderr.
class StderrPrompts : public Prompts {
public:
    PromptAnswer Message(const QString& text, PromptIcon, PromptButtons buttons) override {
        std::fprintf(stderr, "orvex-dl: %s\n", qPrintable(text));
        return buttons == PromptButtons::Ok || buttons == PromptButtons::OkCancel
                   ? PromptAnswer::Ok
                   : PromptAnswer::No;
    }
    QString ChooseOpenFile(const QString&, const QString&) override { return {}; }
    QString ChooseSaveFile(const QString&, const QString&, const QString&) override { return {}; }
    void SetWaitCursor(bool) override {}
};

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
    // The one device is port 1; the link searches it as it would search the map.
    qputenv("DATALOGGER_PORTS", device.toLocal8Bit());
    QtTimerTable timers;
    StderrPrompts prompts;
    MeasurementSet set;
    QtSerialChannel serial;
    ReplyTapChannel channel(serial);
    LinkController link(channel, timers, prompts, set);
    timers.SetHandler([&](int id) { link.OnTimer(id); });
    link.onStatus = [](const QString& text) {
        std::fprintf(stderr, "orvex-dl: %s\n", qPrintable(text));
    };

    std::fprintf(stderr, "Searching the logger on %s (for up to %d s)...\n", qPrintable(device),
                 searchMs / 1000);
    QTimer tick; // bounds each wait of the event loop
    tick.start(kWaitSliceMs);
    QElapsedTimer elapsed;
    elapsed.start();
    ConfigJob job(
        link, channel, [] { QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents); },
        [&elapsed] { return elapsed.elapsed(); });
    const ConfigResult result = job.Run(dialog, bytes, searchMs, kAckWaitMs);
    channel.Close();
    switch (result) {
    case ConfigResult::Acknowledged:
        std::fprintf(stderr, "orvex-dl %s: sent %s; the logger acknowledged it\n", command,
                     qPrintable(Hex(bytes)));
        return CliExit::Ok;
    case ConfigResult::NotLogging:
        // The link has said what to do on stderr (press START for three seconds).
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
