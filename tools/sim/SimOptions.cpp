#include "tools/sim/SimOptions.h"

#include "link/LoggerProtocol.h"

#include <algorithm>
#include <cstdio>

namespace {

const char* const kUsage =
    "Usage: orvex-logger-sim [options]\n"
    "Serves a simulated data logger on a pseudo-terminal and prints its device path\n"
    "as the first line on stdout. Runs until killed.\n\n"
    "Recording (synthetic unless --file is given):\n"
    "  --channels N        recorded channels, 1 or 2 (default 2)\n"
    "  --ch1 V|A|off       kind of CH1 (default V)\n"
    "  --ch2 V|A|off       kind of CH2 (default A; off with one channel)\n"
    "  --interval N        recording interval count (default 1)\n"
    "  --unit s|m|h        recording interval unit (default s)\n"
    "  --samples N         RMS samples (default 1000)\n"
    "  --tr-every N        a transient record after every N samples (default 0: none)\n"
    "  --start-pos P       start position in the 512 KiB ring; non-zero means the\n"
    "                      recording wrapped (default 0)\n"
    "  --start YYYY-MM-DDTHH:MM:SS  recording start (default 2010-02-03T14:05:00)\n"
    "  --file PATH         serve a recording file: 28 header bytes, then the data\n"
    "Line:\n"
    "  --paced             pace replies at 115200 baud, 10 bits a byte\n"
    "  --frame-ms MS       real-time frame period when not paced (default 250)\n"
    "Faults:\n"
    "  --silent            answer nothing\n"
    "  --silent-start      answer the probe, but not the download command\n"
    "  --drop-block N      leave the N-th block request of a download unanswered\n"
    "  --logging-now       answer the download command with \"logging now\"\n"
    "  --no-data           report a data length of 0\n"
    "  --zero-channels     report a channel count of 0\n"
    "  --channel-change N  in real time, switch CH2 off after N frames\n"
    "  --not-logging       acknowledge setup and clock with 0x1E\n"
    "  --drop-count K      with --drop-block: K requests in a row go unanswered\n"
    "  --garbage PERCENT   that share of block replies comes after 1..8 stray bytes\n"
    "  --garbage-seed S    seed of the stray bytes (default 1)\n"
    "  --garbage-block N   the N-th block reply comes after stray bytes\n"
    "  --short-block N     the N-th block reply is cut to half its length\n"
    "  --double-block N    the N-th block is answered twice\n"
    "  --silent-after-header  send the header, then answer no block request\n"
    "  --late-start MS     answer the download command MS milliseconds late\n"
    "  --late-block N      answer the N-th block request of a download late; a repeat\n"
    "                      of it that came meanwhile is answered right after\n"
    "  --late-block-ms MS  how late (default 1000)\n"
    "  --no-ack            take setup and clock commands but acknowledge neither\n"
    "Setup and clock commands (applied to the recording served next):\n"
    "  --log FILE          append each one to FILE as a line of hex bytes\n"
    "                      (default: stderr)\n"
    "  --help              this text\n";

// An option without a value.
struct Switch {
    const char* name;
    void (*set)(SimOptions&);
};

const Switch kSwitches[] = {
    {"--paced", [](SimOptions& o) { o.paced = true; }},
    {"--silent", [](SimOptions& o) { o.faults.silent = true; }},
    {"--silent-start", [](SimOptions& o) { o.faults.silentStart = true; }},
    {"--logging-now", [](SimOptions& o) { o.faults.loggingNow = true; }},
    {"--no-data", [](SimOptions& o) { o.faults.noData = true; }},
    {"--zero-channels", [](SimOptions& o) { o.faults.zeroChannels = true; }},
    {"--not-logging", [](SimOptions& o) { o.faults.notLogging = true; }},
    {"--silent-after-header", [](SimOptions& o) { o.faults.silentAfterHeader = true; }},
    {"--no-ack", [](SimOptions& o) { o.faults.noAck = true; }},
};

// An option with a whole number in [min, max]; `error` names what it takes.
struct Number {
    const char* name;
    long long min, max;
    const char* error; // nullptr: "<name> takes a number (see --help)"
    void (*set)(SimOptions&, long long);
};

constexpr long long kBlocks = 1 << 20;
constexpr long long kNoMax = 0x7FFFFFFFFFFFFFFFLL;

const Number kNumbers[] = {
    {"--channels", 1, 2, "--channels takes 1 or 2",
     [](SimOptions& o, long long v) { o.recording.channelCount = uint8_t(v); }},
    {"--interval", 1, 255, "--interval takes 1 to 255",
     [](SimOptions& o, long long v) { o.recording.intervalCount = uint8_t(v); }},
    {"--samples", 0, kNoMax, "--samples takes a count",
     [](SimOptions& o, long long v) { o.recording.samples = v; }},
    {"--tr-every", 0, kNoMax, "--tr-every takes a count",
     [](SimOptions& o, long long v) { o.recording.trEvery = v; }},
    {"--start-pos", 0, Logger::kMemoryBytes - 1, "--start-pos takes 0 to 524287",
     [](SimOptions& o, long long v) { o.recording.startPos = uint32_t(v); }},
    {"--frame-ms", 1, kNoMax, "--frame-ms takes milliseconds",
     [](SimOptions& o, long long v) { o.frameMs = int(std::min<long long>(v, 0x7FFFFFFF)); }},
    {"--drop-block", 1, kNoMax, "--drop-block takes a request number from 1",
     [](SimOptions& o, long long v) {
         o.faults.dropBlock = int(std::min<long long>(v, 0x7FFFFFFF));
     }},
    {"--channel-change", 1, kNoMax, "--channel-change takes a frame count",
     [](SimOptions& o, long long v) {
         o.faults.channelChangeAfter = int(std::min<long long>(v, 0x7FFFFFFF));
     }},
    {"--drop-count", 1, 1024, nullptr,
     [](SimOptions& o, long long v) { o.faults.dropCount = int(v); }},
    {"--garbage", 0, 100, nullptr,
     [](SimOptions& o, long long v) { o.faults.garbagePercent = int(v); }},
    {"--garbage-seed", 0, 0xFFFFFFFFLL, nullptr,
     [](SimOptions& o, long long v) { o.faults.garbageSeed = uint32_t(v); }},
    {"--garbage-block", 1, kBlocks, nullptr,
     [](SimOptions& o, long long v) { o.faults.garbageBlock = int(v); }},
    {"--short-block", 1, kBlocks, nullptr,
     [](SimOptions& o, long long v) { o.faults.shortBlock = int(v); }},
    {"--double-block", 1, kBlocks, nullptr,
     [](SimOptions& o, long long v) { o.faults.doubleBlock = int(v); }},
    {"--late-start", 1, 60000, nullptr,
     [](SimOptions& o, long long v) { o.faults.lateStartMs = int(v); }},
    {"--late-block", 1, kBlocks, nullptr,
     [](SimOptions& o, long long v) { o.faults.lateBlock = int(v); }},
    {"--late-block-ms", 1, 60000, nullptr,
     [](SimOptions& o, long long v) { o.faults.lateBlockMs = int(v); }},
};

bool ParseKind(const QString& s, uint8_t& kind) {
    if (s.compare("V", Qt::CaseInsensitive) == 0)
        kind = kChannelVolts;
    else if (s.compare("A", Qt::CaseInsensitive) == 0)
        kind = kChannelAmps;
    else if (s.compare("off", Qt::CaseInsensitive) == 0)
        kind = kChannelAbsent;
    else
        return false;
    return true;
}

bool ParseUnit(const QString& s, uint8_t& unit) {
    if (s == "s")
        unit = Logger::kUnitSeconds;
    else if (s == "m")
        unit = Logger::kUnitMinutes;
    else if (s == "h")
        unit = Logger::kUnitHours;
    else
        return false;
    return true;
}

bool ParseStart(const QString& s, CalendarFields& start, QString& error) {
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, sec = 0;
    if (std::sscanf(qPrintable(s), "%d-%d-%dT%d:%d:%d", &y, &mo, &d, &h, &mi, &sec) != 6) {
        error = QStringLiteral("--start takes YYYY-MM-DDTHH:MM:SS");
        return false;
    }
    // The header carries two BCD digits a field and the year as 20yy.
    if (y < 2000 || y > 2099 || mo < 1 || mo > 12 || d < 1 || d > 31 || h < 0 || h > 23 || mi < 0 ||
        mi > 59 || sec < 0 || sec > 59) {
        error = QStringLiteral("--start takes a date from 2000-01-01T00:00:00 to "
                               "2099-12-31T23:59:59");
        return false;
    }
    start = {y, mo, d, h, mi, sec};
    return true;
}

// An option with a text value: false with `error` set when the value is refused.
struct Text {
    const char* name;
    const char* error;
    bool (*take)(SimOptions&, const QString&, QString& error);
};

const Text kTexts[] = {
    {"--ch1", "--ch1 takes V, A or off",
     [](SimOptions& o, const QString& v, QString&) { return ParseKind(v, o.recording.ch1Kind); }},
    {"--ch2", "--ch2 takes V, A or off",
     [](SimOptions& o, const QString& v, QString&) { return ParseKind(v, o.recording.ch2Kind); }},
    {"--unit", "--unit takes s, m or h",
     [](SimOptions& o, const QString& v, QString&) {
         return ParseUnit(v, o.recording.intervalUnit);
     }},
    {"--start", "--start takes YYYY-MM-DDTHH:MM:SS",
     [](SimOptions& o, const QString& v, QString& e) {
         return ParseStart(v, o.recording.start, e);
     }},
    {"--file", "--file takes a path",
     [](SimOptions& o, const QString& v, QString&) {
         o.file = v;
         return true;
     }},
    {"--log", "--log takes a file name",
     [](SimOptions& o, const QString& v, QString&) {
         o.configLog = v;
         return true;
     }},
};

enum class Taken { No, Yes, Bad };

// One option of the tables at args[i]; moves i past its value.
Taken TakeTableOption(const QStringList& args, int& i, SimOptions& out, QString& error) {
    const QString& a = args[i];
    const bool hasValue = i + 1 < args.size();
    for (const Switch& s : kSwitches) {
        if (a == QLatin1String(s.name)) {
            s.set(out);
            return Taken::Yes;
        }
    }
    for (const Number& n : kNumbers) {
        if (a != QLatin1String(n.name))
            continue;
        bool ok = false;
        const long long v = hasValue ? args[i + 1].toLongLong(&ok) : 0;
        if (!ok || v < n.min || v > n.max) {
            error = n.error ? QString::fromLatin1(n.error)
                            : QStringLiteral("%1 takes a number (see --help)").arg(a);
            return Taken::Bad;
        }
        ++i;
        n.set(out, v);
        return Taken::Yes;
    }
    for (const Text& t : kTexts) {
        if (a != QLatin1String(t.name))
            continue;
        error = QString::fromLatin1(t.error);
        if (!hasValue || !t.take(out, args[i + 1], error))
            return Taken::Bad;
        ++i;
        error.clear();
        return Taken::Yes;
    }
    return Taken::No;
}

} // namespace

QString SimUsage() {
    return QString::fromLatin1(kUsage) + QString::fromLatin1(kRealTimeStreamUsage);
}

SimParse ParseSimOptions(const QStringList& args, SimOptions& out, QString& error) {
    bool ch2Given = false;
    for (int i = 0; i < args.size(); ++i) {
        const StreamOption so = ParseStreamOption(args, i, out.stream, error);
        if (so == StreamOption::Bad)
            return SimParse::Bad;
        if (so == StreamOption::Taken)
            continue;
        const QString& a = args[i];
        if (a == "--help" || a == "-h")
            return SimParse::Help;
        ch2Given = ch2Given || a == "--ch2";
        const Taken t = TakeTableOption(args, i, out, error);
        if (t == Taken::Bad)
            return SimParse::Bad;
        if (t == Taken::No) {
            // The usage's own last newline ends the message.
            error = QStringLiteral("unknown option %1\n\n%2")
                        .arg(a, QString::fromLatin1(kUsage).chopped(1));
            return SimParse::Bad;
        }
    }
    // One channel: CH2 is off unless named.
    if (out.recording.channelCount == 1 && !ch2Given)
        out.recording.ch2Kind = kChannelAbsent;
    return SimParse::Run;
}
