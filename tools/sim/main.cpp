// orvex-logger-sim: the logger's side of the serial protocol on a pseudo-terminal,
// for running the application, the command-line tool and the end-to-end tests
// without the hardware. Prints the device path it serves as its first line.

#include "sim/LoggerModel.h"
#include "link/LoggerProtocol.h"
#include "tools/sim/SimConfig.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QStringList>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <functional>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

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

constexpr int64_t kByteNs = int64_t(1'000'000'000) * Logger::kBitsPerByte / Logger::kBaud;

int64_t NowNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return int64_t(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

void SleepUntil(int64_t ns) {
    timespec ts{};
    ts.tv_sec = time_t(ns / 1'000'000'000);
    ts.tv_nsec = long(ns % 1'000'000'000);
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {
    }
}

// Writes what it can; a full buffer (nobody reading the port) loses the rest, as
// bytes sent down a line that nobody listens to.
void WriteAll(int fd, const char* p, size_t n) {
    while (n > 0) {
        const ssize_t w = ::write(fd, p, n);
        if (w < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        p += w;
        n -= size_t(w);
    }
}

// The reply's bytes leave at line speed after the request itself has crossed the
// line: byte j of the reply is complete (requestBytes + j + 1) byte times after
// the request was read.
void WritePaced(int fd, const QByteArray& reply, int64_t readAt, int requestBytes) {
    constexpr int kChunk = 16;
    for (qsizetype at = 0; at < reply.size(); at += kChunk) {
        const qsizetype n = std::min<qsizetype>(kChunk, reply.size() - at);
        SleepUntil(readAt + (requestBytes + at + n) * kByteNs);
        WriteAll(fd, reply.constData() + at, size_t(n));
    }
}

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

// The line faults of a download: 1 when args[i] was one (i moved past its value),
// 0 when it is no line fault, -1 when its value is missing or out of range.
int ParseLineFault(const QStringList& args, int& i, LoggerFaults& f) {
    const QString& a = args[i];
    if (a == "--silent-after-header") {
        f.silentAfterHeader = true;
        return 1;
    }
    struct Numeric {
        const char* name;
        long long min, max;
        std::function<void(long long)> set;
    };
    const Numeric options[] = {
        {"--drop-count", 1, 1024, [&](long long v) { f.dropCount = int(v); }},
        {"--garbage", 0, 100, [&](long long v) { f.garbagePercent = int(v); }},
        {"--garbage-seed", 0, 0xFFFFFFFFLL, [&](long long v) { f.garbageSeed = uint32_t(v); }},
        {"--garbage-block", 1, 1 << 20, [&](long long v) { f.garbageBlock = int(v); }},
        {"--short-block", 1, 1 << 20, [&](long long v) { f.shortBlock = int(v); }},
        {"--double-block", 1, 1 << 20, [&](long long v) { f.doubleBlock = int(v); }},
        {"--late-start", 1, 60000, [&](long long v) { f.lateStartMs = int(v); }},
        {"--late-block", 1, 1 << 20, [&](long long v) { f.lateBlock = int(v); }},
        {"--late-block-ms", 1, 60000, [&](long long v) { f.lateBlockMs = int(v); }},
    };
    for (const Numeric& o : options) {
        if (a != QLatin1String(o.name))
            continue;
        bool ok = false;
        const long long v = i + 1 < args.size() ? args[i + 1].toLongLong(&ok) : 0;
        if (!ok || v < o.min || v > o.max)
            return -1;
        ++i;
        o.set(v);
        return 1;
    }
    return 0;
}

// A logger that takes its time over the first download command: the answer leaves
// late; the host's repeat of the command and later downloads are answered at once.
void DelayLateStart(const LoggerFaults& f, const QByteArray& in) {
    static bool delayed = false;
    if (delayed || f.lateStartMs <= 0 || in.isEmpty() || uint8_t(in[0]) != Logger::kStartDownload)
        return;
    delayed = true;
    SleepUntil(NowNs() + int64_t(f.lateStartMs) * 1'000'000);
}

// A logger busy over one block request: its reply leaves late, and a request that
// came meanwhile (the host's repeat) waits in the line until it has gone.
void DelayLateBlock(const LoggerFaults& f, const LoggerModel& model, const QByteArray& in) {
    if (f.lateBlock <= 0 || in.isEmpty() || uint8_t(in[0]) != Logger::kBlockRequest ||
        model.BlockRequests() != f.lateBlock)
        return;
    SleepUntil(NowNs() + int64_t(f.lateBlockMs) * 1'000'000);
}

int Fail(const char* what) {
    std::fprintf(stderr, "orvex-logger-sim: %s\n", what);
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    SyntheticOptions opt;
    LoggerFaults faults;
    RealTimeStream stream;
    QString file;
    bool paced = false;
    int frameMs = 250;
    bool ch2Given = false;
    QString configLog;

    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        auto value = [&](QString& out) {
            if (i + 1 >= args.size())
                return false;
            out = args[++i];
            return true;
        };
        auto number = [&](long long& out) {
            QString v;
            bool ok = false;
            if (!value(v))
                return false;
            out = v.toLongLong(&ok);
            return ok && out >= 0;
        };
        QString v;
        long long n = 0;
        QString streamError;
        const StreamOption so = ParseStreamOption(args, i, stream, streamError);
        if (so == StreamOption::Bad)
            return Fail(qPrintable(streamError));
        if (so == StreamOption::Taken)
            continue;
        if (a == "--help" || a == "-h") {
            std::fputs(kUsage, stdout);
            std::fputs(kRealTimeStreamUsage, stdout);
            return 0;
        } else if (a == "--channels") {
            if (!number(n) || n < 1 || n > 2)
                return Fail("--channels takes 1 or 2");
            opt.channelCount = uint8_t(n);
        } else if (a == "--ch1") {
            if (!value(v) || !ParseKind(v, opt.ch1Kind))
                return Fail("--ch1 takes V, A or off");
        } else if (a == "--ch2") {
            if (!value(v) || !ParseKind(v, opt.ch2Kind))
                return Fail("--ch2 takes V, A or off");
            ch2Given = true;
        } else if (a == "--interval") {
            if (!number(n) || n < 1 || n > 255)
                return Fail("--interval takes 1 to 255");
            opt.intervalCount = uint8_t(n);
        } else if (a == "--unit") {
            if (!value(v))
                return Fail("--unit takes s, m or h");
            if (v == "s")
                opt.intervalUnit = Logger::kUnitSeconds;
            else if (v == "m")
                opt.intervalUnit = Logger::kUnitMinutes;
            else if (v == "h")
                opt.intervalUnit = Logger::kUnitHours;
            else
                return Fail("--unit takes s, m or h");
        } else if (a == "--samples") {
            if (!number(n))
                return Fail("--samples takes a count");
            opt.samples = n;
        } else if (a == "--tr-every") {
            if (!number(n))
                return Fail("--tr-every takes a count");
            opt.trEvery = n;
        } else if (a == "--start-pos") {
            if (!number(n) || n >= Logger::kMemoryBytes)
                return Fail("--start-pos takes 0 to 524287");
            opt.startPos = uint32_t(n);
        } else if (a == "--start") {
            int y, mo, d, h, mi, s;
            if (!value(v) ||
                std::sscanf(qPrintable(v), "%d-%d-%dT%d:%d:%d", &y, &mo, &d, &h, &mi, &s) != 6)
                return Fail("--start takes YYYY-MM-DDTHH:MM:SS");
            // The header carries two BCD digits a field and the year as 20yy.
            if (y < 2000 || y > 2099 || mo < 1 || mo > 12 || d < 1 || d > 31 || h < 0 || h > 23 ||
                mi < 0 || mi > 59 || s < 0 || s > 59)
                return Fail("--start takes a date from 2000-01-01T00:00:00 to 2099-12-31T23:59:59");
            opt.start = {y, mo, d, h, mi, s};
        } else if (a == "--file") {
            if (!value(file))
                return Fail("--file takes a path");
        } else if (a == "--paced") {
            paced = true;
        } else if (a == "--frame-ms") {
            if (!number(n) || n < 1)
                return Fail("--frame-ms takes milliseconds");
            frameMs = int(n);
        } else if (a == "--silent") {
            faults.silent = true;
        } else if (a == "--silent-start") {
            faults.silentStart = true;
        } else if (a == "--drop-block") {
            if (!number(n) || n < 1)
                return Fail("--drop-block takes a request number from 1");
            faults.dropBlock = int(n);
        } else if (a == "--logging-now") {
            faults.loggingNow = true;
        } else if (a == "--no-data") {
            faults.noData = true;
        } else if (a == "--zero-channels") {
            faults.zeroChannels = true;
        } else if (a == "--channel-change") {
            if (!number(n) || n < 1)
                return Fail("--channel-change takes a frame count");
            faults.channelChangeAfter = int(n);
        } else if (a == "--not-logging") {
            faults.notLogging = true;
        } else if (int lineFault = ParseLineFault(args, i, faults); lineFault != 0) {
            if (lineFault < 0)
                return Fail(qPrintable(QStringLiteral("%1 takes a number (see --help)").arg(a)));
        } else if (a == "--no-ack") {
            faults.noAck = true;
        } else if (a == "--log") {
            if (!value(configLog))
                return Fail("--log takes a file name");
        } else {
            std::fprintf(stderr, "orvex-logger-sim: unknown option %s\n\n%s", qPrintable(a),
                         kUsage);
            return 2;
        }
    }
    if (opt.channelCount == 1 && !ch2Given)
        opt.ch2Kind = kChannelAbsent;

    LoggerModel model;
    if (!file.isEmpty()) {
        QFile f(file);
        if (!f.open(QIODevice::ReadOnly))
            return Fail("cannot read the recording file");
        QString error;
        auto img = ParseRecordingFile(f.readAll(), &error);
        if (!img)
            return Fail(qPrintable(error));
        model.SetRecording(img->header, img->data);
        model.SetRealTimeKinds(img->header.channelCount, img->header.ch1Kind, img->header.ch2Kind);
    } else {
        const char* const tooLarge = "the recording does not fit the logger's 512 KiB memory "
                                     "(at most 131072 two-channel samples, fewer with transients)";
        // Refused before any sample is built: a huge count would not fit in memory here.
        const int64_t sampleBytes = opt.channelCount == 1 ? 2 : 4;
        if (opt.samples > Logger::kMemoryBytes / sampleBytes)
            return Fail(tooLarge);
        const LoggerRecording rec = SyntheticRecording(opt);
        if (EncodeRecordingData(rec).size() > Logger::kMemoryBytes)
            return Fail(tooLarge);
        model.SetRecording(rec);
        model.SetRealTimeKinds(opt.channelCount, opt.ch1Kind, opt.ch2Kind);
    }
    model.SetFaults(faults);
    model.SetRealTimeStream(stream);
    {
        QString error;
        if (!InstallConfigHandling(model, configLog,
                                   file.isEmpty() ? std::optional(opt) : std::nullopt, &error))
            return Fail(qPrintable(error));
    }

    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0)
        return Fail("cannot create a pseudo-terminal");
    const char* name = ptsname(master);
    if (!name)
        return Fail("cannot name the pseudo-terminal");
    const std::string device = name;
    // Our own handle on the device side keeps the terminal alive while the host
    // closes and reopens the port, and puts it in raw mode before the host does.
    const int slave = ::open(device.c_str(), O_RDWR | O_NOCTTY);
    if (slave < 0)
        return Fail("cannot open the pseudo-terminal's device side");
    termios tio{};
    tcgetattr(slave, &tio);
    cfmakeraw(&tio);
    cfsetispeed(&tio, B115200);
    cfsetospeed(&tio, B115200);
    tcsetattr(slave, TCSANOW, &tio);
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);

    // The first line is the device path; ./run.sh reads it from a fifo and closes
    // it, so nothing further goes to stdout.
    std::signal(SIGPIPE, SIG_IGN);
    std::printf("%s\n", device.c_str());
    std::fflush(stdout);
    const int devnull = ::open("/dev/null", O_WRONLY);
    if (devnull >= 0) {
        ::dup2(devnull, STDOUT_FILENO);
        ::close(devnull);
    }

    int64_t nextFrame = 0;
    char buf[4096];
    for (;;) {
        int timeoutMs = -1;
        if (model.Streaming()) {
            const int64_t now = NowNs();
            if (nextFrame <= now) {
                const QByteArray frame = model.NextFrame();
                if (paced)
                    WritePaced(master, frame, now, 0);
                else
                    WriteAll(master, frame.constData(), size_t(frame.size()));
                nextFrame = paced ? NowNs() : now + int64_t(frameMs) * 1'000'000;
            }
            timeoutMs = int(std::max<int64_t>(0, (nextFrame - NowNs()) / 1'000'000));
        }
        pollfd p{master, POLLIN, 0};
        const int r = ::poll(&p, 1, timeoutMs);
        if (r < 0 && errno != EINTR)
            return 1;
        if (r <= 0 || !(p.revents & POLLIN)) {
            if (r > 0 && (p.revents & (POLLHUP | POLLERR)))
                usleep(10000); // no reader on the device side right now
            continue;
        }
        const ssize_t n = ::read(master, buf, sizeof buf);
        if (n <= 0) {
            usleep(10000);
            continue;
        }
        const int64_t readAt = NowNs();
        const bool wasStreaming = model.Streaming();
        const QByteArray reply = model.Feed(QByteArray(buf, int(n)));
        if (!wasStreaming && model.Streaming())
            nextFrame = readAt;
        if (reply.isEmpty())
            continue;
        DelayLateStart(faults, QByteArray(buf, int(n)));
        DelayLateBlock(faults, model, QByteArray(buf, int(n)));
        if (paced)
            WritePaced(master, reply, readAt, int(n));
        else
            WriteAll(master, reply.constData(), size_t(reply.size()));
    }
}
