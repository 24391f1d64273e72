// orvex-dl realtime: live samples of the logger as CSV, JSON or line-protocol lines,
// optionally published to an MQTT broker, with the same link, real-time transfer and
// waveform analysis as the desktop application.

#include "tools/cli/CliCommand.h"
#include "tools/cli/CliSupport.h"

#include "base/Clock.h"
#include "base/DataDir.h"
#include "base/Prompts.h"
#include "base/SafeFile.h"
#include "base/Timers.h"
#include "data/LineFormats.h"
#include "data/RealTimeCsv.h"
#include "data/RtJournal.h"
#include "data/RtdataCodec.h"
#include "graph/RealTimeSampler.h"
#include "link/HeadlessLink.h"
#include "publish/MqttPublisher.h"
#include "publish/PublishSettings.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <memory>
#include <optional>

namespace {

const char* const kUsage =
    "Usage: orvex-dl realtime --port DEVICE --interval S --count N\n"
    "                         [--format csv|jsonl|influx] [-o FILE|FILE.rtdata]\n"
    "                         [--mqtt mqtt[s]://HOST[:PORT] [--topic PREFIX] [--qos N]\n"
    "                          [--ha-discovery] [--ca-file FILE]]\n\n"
    "Connects to the logger on DEVICE, starts its real-time stream and takes a sample\n"
    "every S seconds (2 to 3600) until N samples (1 to 100000) were taken. Prints one\n"
    "line per sample as it is taken, to stdout, or writes them all to FILE at the end:\n"
    "--format csv (the default) with a header line, jsonl one JSON object per sample,\n"
    "influx InfluxDB line protocol (measurement orvex, tag port). A FILE ending in\n"
    ".rtdata receives the run itself, with every sample's captured waveform (kept on\n"
    "the disk beside it while the run goes on), and the lines still go to stdout.\n"
    "With --mqtt, every sample is also published as JSON on PREFIX/sample (default\n"
    "prefix orvex/<device name>, QoS 1), the run's state on PREFIX/state; with\n"
    "--ha-discovery, Home Assistant's discovery configurations too. User, password and\n"
    "CA file come from the settings file's [PUBLISHInfo] section, or from\n"
    "DATALOGGER_MQTT_USER and DATALOGGER_MQTT_PASSWORD. While the broker is unreachable\n"
    "the samples wait in a queue on the disk and go out later, in order; the run goes\n"
    "on. SIGINT or SIGTERM stops the logger and ends with the samples taken so far.\n"
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

enum class LineFormat { Csv, Jsonl, Influx };

struct RealtimeArgs {
    QString device;
    int interval = 0;
    int count = 0;
    LineFormat format = LineFormat::Csv;
    QString output; // empty: stdout
    std::optional<PublishOptions> mqtt;
    // -o names a run file: the lines still go to stdout.
    bool RunFileOut() const {
        return output.endsWith(QLatin1String(".rtdata"), Qt::CaseInsensitive);
    }
    bool PrintLines() const { return output.isEmpty() || RunFileOut(); }
};

std::optional<LineFormat> FormatArg(const CliArgs& a) {
    const QString f = a.Value(QStringLiteral("--format"));
    if (!a.Has(QStringLiteral("--format")) || f == QLatin1String("csv"))
        return LineFormat::Csv;
    if (f == QLatin1String("jsonl"))
        return LineFormat::Jsonl;
    if (f == QLatin1String("influx"))
        return LineFormat::Influx;
    CliUsageError("realtime", QStringLiteral("--format takes csv, jsonl or influx"), kUsage);
    return std::nullopt;
}

// The broker's options: the URL and topic options of the command line over the
// settings file's credentials and CA file, the environment's credentials over both.
std::optional<PublishOptions> MqttArgs(const CliArgs& a, const QString& device) {
    const PublishSettings stored = LoadPublishSettingsFile(SettingsFilePath());
    PublishOptions o;
    o.user = stored.options.user;
    o.password = stored.options.password;
    o.caFile = a.Has(QStringLiteral("--ca-file")) ? a.Value(QStringLiteral("--ca-file"))
                                                  : stored.options.caFile;
    if (const auto why = ParseBrokerUrl(a.Value(QStringLiteral("--mqtt")), o)) {
        CliUsageError("realtime", QStringLiteral("--mqtt: %1").arg(*why), kUsage);
        return std::nullopt;
    }
    o.topicPrefix = a.Value(QStringLiteral("--topic"));
    if (a.Has(QStringLiteral("--qos"))) {
        const auto qos = IntArg(a, "--qos", 0, 2);
        if (!qos)
            return std::nullopt;
        o.qos = *qos;
    }
    o.haDiscovery = a.Has(QStringLiteral("--ha-discovery"));
    ApplyCredentialVariables(o);
    CompleteOptions(o, device, MeasurementDataDirectory());
    if (const auto why = CheckOptions(o)) {
        CliUsageError("realtime", QStringLiteral("--mqtt: %1").arg(*why), kUsage);
        return std::nullopt;
    }
    return o;
}

// Options that only make sense beside --mqtt.
bool BrokerOptionsAlone(const CliArgs& a) {
    if (a.Has(QStringLiteral("--mqtt")))
        return false;
    for (const char* name : {"--topic", "--qos", "--ha-discovery", "--ca-file"}) {
        if (a.Has(QString::fromLatin1(name))) {
            CliUsageError("realtime", QStringLiteral("%1 needs --mqtt").arg(QLatin1String(name)),
                          kUsage);
            return true;
        }
    }
    return false;
}

// The command line, or nothing with `exitCode` set (usage printed).
std::optional<RealtimeArgs> ParseRealtimeArgs(const QStringList& args, int& exitCode) {
    const auto parsed = ParseCliArgs("realtime", args,
                                     {{{"--port", "-p"}, true},
                                      {{"--interval", "-i"}, true},
                                      {{"--count", "-n"}, true},
                                      {{"-o", "--output"}, true},
                                      {{"--format"}, true},
                                      {{"--mqtt"}, true},
                                      {{"--topic"}, true},
                                      {{"--qos"}, true},
                                      {{"--ha-discovery"}, false},
                                      {{"--ca-file"}, true}},
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
    const auto count =
        interval ? IntArg(*parsed, "--count", kRtPointsMin, kRtMaxPoints) : std::nullopt;
    const auto format = count ? FormatArg(*parsed) : std::nullopt;
    if (!format || BrokerOptionsAlone(*parsed))
        return std::nullopt;
    a.interval = *interval;
    a.count = *count;
    a.format = *format;
    if (parsed->Has("--mqtt")) {
        a.mqtt = MqttArgs(*parsed, a.device);
        if (!a.mqtt)
            return std::nullopt;
    }
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

// The lines of the run in the chosen format: printed as each sample is taken, or
// collected for the output file written at the end.
class LineOutput {
public:
    explicit LineOutput(const RealtimeArgs& a)
        : m_format(a.format), m_print(a.PrintLines()),
          m_collect(!a.output.isEmpty() && !a.RunFileOut()), m_tags{{QStringLiteral("port"),
                                                                     a.device}} {}

    void Begin() {
        if (m_format == LineFormat::Csv)
            Put(RealTimeCsvHeader().toUtf8());
    }
    void Sample(const MeasurementSet& set, int n) {
        switch (m_format) {
        case LineFormat::Csv:
            Put(RealTimeCsvLine(set, n).toUtf8());
            break;
        case LineFormat::Jsonl:
            Put(SampleJson(RealTimeLineSample(set, n)));
            break;
        case LineFormat::Influx:
            Put(SampleLineProtocol(RealTimeLineSample(set, n), m_tags));
            break;
        }
    }
    bool Write(const QString& path, QString* error) const {
        return !m_collect || WriteFileAtomically(path, m_collected, error);
    }

private:
    void Put(const QByteArray& line) {
        if (line.isEmpty())
            return;
        if (m_collect)
            m_collected += line + '\n';
        if (m_print) {
            std::printf("%s\n", line.constData());
            std::fflush(stdout);
        }
    }

    LineFormat m_format;
    bool m_print;
    bool m_collect;
    LineTags m_tags;
    QByteArray m_collected;
};

// Says on stderr how the broker is doing: when it becomes unreachable and, while it
// stays so, how many messages wait; when it is back.
class BrokerReport {
public:
    explicit BrokerReport(MqttPublisher& publisher)
        : m_broker(BrokerText(publisher.Options())),
          m_connection(QObject::connect(&publisher, &MqttPublisher::statusChanged,
                                        [this](const PublishStatus& s) { Show(s); })) {}
    // The publisher outlives the report and says "stopped" as it goes.
    ~BrokerReport() { QObject::disconnect(m_connection); }
    BrokerReport(const BrokerReport&) = delete;
    BrokerReport& operator=(const BrokerReport&) = delete;

private:
    void Show(const PublishStatus& s) {
        const bool changed = s.state != m_last.state;
        if (s.state == PublishState::Unreachable && (changed || s.waiting != m_last.waiting))
            std::fprintf(stderr, "orvex-dl: the broker %s is unreachable (%s); %lld %s waiting\n",
                         qPrintable(m_broker), qPrintable(s.error),
                         static_cast<long long>(s.waiting),
                         s.waiting == 1 ? "message" : "messages");
        else if (s.state == PublishState::Connected && changed)
            std::fprintf(stderr, "orvex-dl: publishing to %s\n", qPrintable(m_broker));
        if (s.dropped > m_last.dropped)
            std::fprintf(stderr, "orvex-dl: %llu messages given up (queue full or refused)\n",
                         static_cast<unsigned long long>(s.dropped));
        m_last = s;
    }

    QString m_broker;
    QMetaObject::Connection m_connection;
    PublishStatus m_last;
};

// Sends what is still queued at the end of a run, while the broker takes it, for a
// few seconds at most (a further SIGINT or SIGTERM ends the wait); what is left
// stays on the disk for the next run.
void DrainQueue(MqttPublisher& publisher) {
    constexpr int kDrainMs = 10000;
    constexpr int kTickMs = 50;
    QElapsedTimer t;
    t.start();
    QEventLoop loop;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, &loop, &QEventLoop::quit);
    tick.start(kTickMs);
    g_stopRequested = 0;
    for (;;) {
        const PublishStatus s = publisher.Status();
        if (s.waiting == 0 || s.state == PublishState::Unreachable || t.elapsed() > kDrainMs ||
            g_stopRequested)
            break;
        loop.exec();
    }
    const PublishStatus s = publisher.Status();
    if (s.waiting > 0)
        std::fprintf(stderr,
                     "orvex-dl: %lld messages wait in %s for the broker; they go out with "
                     "the next publishing run\n",
                     static_cast<long long>(s.waiting),
                     qPrintable(publisher.Options().queueFolder));
    publisher.Stop();
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

// Where each sample goes as it is taken.
struct SampleSinks {
    LineOutput* lines = nullptr;
    RunFile* file = nullptr;
    MqttPublisher* publisher = nullptr;
};

std::array<QString, 2> RunUnits(const MeasurementSet& set) {
    std::array<QString, 2> units;
    for (int ch = 0; ch < 2; ++ch)
        if (set.RtChannelPresent(ch))
            units[size_t(ch)] = set.RtChannelUnit(ch);
    return units;
}

// Takes the samples, each handed to the sinks as it comes, until the run ends (the
// count, a fault, or a signal that stops the logger). A fault's message goes to
// `prompts` (stderr).
RealTimeEnd TakeSamples(HeadlessLink& headless, MeasurementSet& set, const RealtimeArgs& a,
                        const SampleSinks& sinks, Prompts& prompts) {
    LinkController& link = headless.Link();
    RealTimeTransfer& transfer = link.RealTime();
    RealTimeSampler sampler;
    bool ended = false;
    RealTimeEnd end = RealTimeEnd::Stopped;
    QObject context;
    QObject::connect(&transfer, &RealTimeTransfer::sampleDue, &context,
                     [&] { sampler.Sample(set); });
    QObject::connect(&transfer, &RealTimeTransfer::runStarted, &context, [&] {
        if (sinks.file)
            sinks.file->Begin(set, a.interval);
        if (sinks.publisher)
            sinks.publisher->RunStarted(RunUnits(set));
    });
    QObject::connect(&transfer, &RealTimeTransfer::sampleTaken, &context, [&](int taken) {
        const int n = taken - 1;
        if (sinks.file)
            sinks.file->Add(set, n, set.Run().SampleTime(n), transfer.LastFrameWaveform());
        if (sinks.publisher)
            sinks.publisher->PublishSample(RealTimeLineSample(set, n));
        sinks.lines->Sample(set, n);
    });
    QObject::connect(&transfer, &RealTimeTransfer::runEnded, &context, [&](RealTimeEnd e) {
        ended = true;
        end = e;
        if (const char* message = RealTimeEndMessage(e))
            prompts.Message(QString::fromLatin1(message));
    });
    sinks.lines->Begin();
    std::fprintf(stderr, "Taking %d sample%s every %d s\n", a.count, a.count == 1 ? "" : "s",
                 a.interval);
    transfer.Configure(a.count, a.interval);
    link.StartTransfer(TransferKind::RealTime);
    while (!ended) {
        headless.Wait();
        if (g_stopRequested && !ended)
            transfer.StopRealTime();
    }
    if (sinks.publisher && set.RtCount() > 0)
        sinks.publisher->RunEnded();
    return end;
}

// The publisher of --mqtt, started before the search so that what an earlier run
// left in the queue goes out at once; nothing without --mqtt.
std::unique_ptr<MqttPublisher> StartPublisher(const RealtimeArgs& a, bool& failed) {
    failed = false;
    if (!a.mqtt)
        return nullptr;
    auto publisher = std::make_unique<MqttPublisher>(*a.mqtt);
    QString error;
    if (!publisher->Start(&error)) {
        std::fprintf(stderr, "orvex-dl realtime: cannot publish to %s: %s\n",
                     qPrintable(BrokerText(*a.mqtt)), qPrintable(error));
        failed = true;
        return nullptr;
    }
    std::fprintf(stderr, "Publishing to %s on %s%s\n", qPrintable(BrokerText(*a.mqtt)),
                 qPrintable(a.mqtt->topicPrefix), kSampleTopicSuffix);
    return publisher;
}

// Writes -o at the end of the run.
bool WriteOutput(const RealtimeArgs& a, const MeasurementSet& set, RunFile* file,
                 const LineOutput& lines) {
    if (a.output.isEmpty() || set.RtCount() == 0)
        return true;
    QString error;
    const bool written = file ? file->Write(&error) : lines.Write(a.output, &error);
    if (!written)
        std::fprintf(stderr, "orvex-dl: cannot write %s: %s\n", qPrintable(a.output),
                     qPrintable(error));
    return written;
}

int RunRealtime(const QStringList& args) {
    int exitCode = CliExit::Ok;
    const std::optional<RealtimeArgs> a = ParseRealtimeArgs(args, exitCode);
    if (!a)
        return exitCode;

    bool publishFailed = false;
    const std::unique_ptr<MqttPublisher> publisher = StartPublisher(*a, publishFailed);
    if (publishFailed)
        return CliExit::Failure;
    std::unique_ptr<BrokerReport> report =
        publisher ? std::make_unique<BrokerReport>(*publisher) : nullptr;

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
        if (publisher)
            DrainQueue(*publisher);
        if (found == Search::Stopped)
            return CliExit::Ok;
        std::fprintf(stderr, "orvex-dl: no logger answered on %s\n", qPrintable(a->device));
        return CliExit::NoLogger;
    }
    std::unique_ptr<RunFile> file =
        a->RunFileOut() ? std::make_unique<RunFile>(a->output) : nullptr;
    LineOutput lines(*a);
    const RealTimeEnd end =
        TakeSamples(*headless, set, *a, SampleSinks{&lines, file.get(), publisher.get()}, prompts);
    channel.Close();
    if (publisher)
        DrainQueue(*publisher);
    if (!WriteOutput(*a, set, file.get(), lines))
        return CliExit::Failure;
    std::fprintf(stderr, "%d samples taken\n", set.RtCount());
    return ExitCodeOf(end);
}

CliRegistration reg({"realtime",
                     "print live samples of the logger as CSV, JSON or line-protocol lines, "
                     "publish them with --mqtt (or -o a .rtdata run)",
                     RunRealtime});

} // namespace
