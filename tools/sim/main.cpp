// orvex-logger-sim: the logger's side of the serial protocol on a pseudo-terminal,
// for running the application, the command-line tool and the end-to-end tests
// without the hardware. Prints the device path it serves as its first line.

#include "link/LoggerProtocol.h"
#include "sim/LoggerModel.h"
#include "tools/sim/SimConfig.h"
#include "tools/sim/SimOptions.h"

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
#include <optional>
#include <poll.h>
#include <string>
#include <termios.h>
#include <unistd.h>

namespace {

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

// The recording the logger holds: the file's, or a synthetic one. False with `error`
// set when the file cannot be read or the recording would not fit the memory.
bool LoadRecording(const SimOptions& o, LoggerModel& model, QString& error) {
    if (!o.file.isEmpty()) {
        QFile f(o.file);
        if (!f.open(QIODevice::ReadOnly)) {
            error = QStringLiteral("cannot read the recording file");
            return false;
        }
        auto img = ParseRecordingFile(f.readAll(), &error);
        if (!img)
            return false;
        model.SetRecording(img->header, img->data);
        model.SetRealTimeKinds(img->header.channelCount, img->header.ch1Kind, img->header.ch2Kind);
        return true;
    }
    const SyntheticOptions& r = o.recording;
    const QString tooLarge = QStringLiteral("the recording does not fit the logger's 512 KiB "
                                            "memory (at most 131072 two-channel samples, fewer "
                                            "with transients)");
    // Refused before any sample is built: a huge count would not fit in memory here.
    const int64_t sampleBytes = r.channelCount == 1 ? 2 : 4;
    if (r.samples > Logger::kMemoryBytes / sampleBytes) {
        error = tooLarge;
        return false;
    }
    const LoggerRecording rec = SyntheticRecording(r);
    if (EncodeRecordingData(rec).size() > Logger::kMemoryBytes) {
        error = tooLarge;
        return false;
    }
    model.SetRecording(rec);
    model.SetRealTimeKinds(r.channelCount, r.ch1Kind, r.ch2Kind);
    return true;
}

// A pseudo-terminal in raw mode at 115200 baud: its master side, and its device
// path in `device`; -1 with `error` set when it cannot be made.
int OpenTerminal(std::string& device, const char*& error) {
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
        error = "cannot create a pseudo-terminal";
        return -1;
    }
    const char* name = ptsname(master);
    if (!name) {
        error = "cannot name the pseudo-terminal";
        return -1;
    }
    device = name;
    // Our own handle on the device side keeps the terminal alive while the host
    // closes and reopens the port, and puts it in raw mode before the host does.
    // It stays open for the life of the process.
    const int slave = ::open(device.c_str(), O_RDWR | O_NOCTTY);
    if (slave < 0) {
        error = "cannot open the pseudo-terminal's device side";
        return -1;
    }
    termios tio{};
    tcgetattr(slave, &tio);
    cfmakeraw(&tio);
    cfsetispeed(&tio, B115200);
    cfsetospeed(&tio, B115200);
    tcsetattr(slave, TCSANOW, &tio);
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    return master;
}

// The first line is the device path; ./run.sh reads it from a fifo and closes it,
// so nothing further goes to stdout.
void AnnounceDevice(const std::string& device) {
    std::signal(SIGPIPE, SIG_IGN);
    std::printf("%s\n", device.c_str());
    std::fflush(stdout);
    const int devnull = ::open("/dev/null", O_WRONLY);
    if (devnull >= 0) {
        ::dup2(devnull, STDOUT_FILENO);
        ::close(devnull);
    }
}

void Send(int master, const QByteArray& bytes, bool paced, int64_t readAt, int requestBytes) {
    if (paced)
        WritePaced(master, bytes, readAt, requestBytes);
    else
        WriteAll(master, bytes.constData(), size_t(bytes.size()));
}

// While the model streams, sends the frame that is due; returns how long to wait for
// the host before the next one is due (-1: no frame pending).
int SendDueFrame(int master, LoggerModel& model, const SimOptions& o, int64_t& nextFrame) {
    if (!model.Streaming())
        return -1;
    const int64_t now = NowNs();
    if (nextFrame <= now) {
        Send(master, model.NextFrame(), o.paced, now, 0);
        nextFrame = o.paced ? NowNs() : now + int64_t(o.frameMs) * 1'000'000;
    }
    return int(std::max<int64_t>(0, (nextFrame - NowNs()) / 1'000'000));
}

enum class Readable { Yes, No, Failed };

// Waits up to timeoutMs (-1: for ever) for bytes from the host.
Readable WaitForHost(int master, int timeoutMs) {
    pollfd p{master, POLLIN, 0};
    const int r = ::poll(&p, 1, timeoutMs);
    if (r < 0 && errno != EINTR)
        return Readable::Failed;
    if (r > 0 && (p.revents & POLLIN))
        return Readable::Yes;
    if (r > 0 && (p.revents & (POLLHUP | POLLERR)))
        usleep(10000); // no reader on the device side right now
    return Readable::No;
}

// Answers the host until killed: each command read gets the model's reply (late
// where a fault says so), and while the model streams, a frame leaves every frame
// period (back to back when paced). Returns only on a failed poll.
int Serve(int master, LoggerModel& model, const SimOptions& o) {
    int64_t nextFrame = 0;
    char buf[4096];
    for (;;) {
        const Readable readable = WaitForHost(master, SendDueFrame(master, model, o, nextFrame));
        if (readable == Readable::Failed)
            return 1;
        if (readable == Readable::No)
            continue;
        const ssize_t n = ::read(master, buf, sizeof buf);
        if (n <= 0) {
            usleep(10000);
            continue;
        }
        const int64_t readAt = NowNs();
        const QByteArray in(buf, int(n));
        const bool wasStreaming = model.Streaming();
        const QByteArray reply = model.Feed(in);
        if (!wasStreaming && model.Streaming())
            nextFrame = readAt;
        if (reply.isEmpty())
            continue;
        DelayLateStart(o.faults, in);
        DelayLateBlock(o.faults, model, in);
        Send(master, reply, o.paced, readAt, int(n));
    }
}

} // namespace

int main(int argc, char** argv) {
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    SimOptions o;
    QString error;
    switch (ParseSimOptions(args, o, error)) {
    case SimParse::Help:
        std::fputs(qPrintable(SimUsage()), stdout);
        return 0;
    case SimParse::Bad:
        return Fail(qPrintable(error));
    case SimParse::Run:
        break;
    }

    LoggerModel model;
    if (!LoadRecording(o, model, error))
        return Fail(qPrintable(error));
    model.SetFaults(o.faults);
    model.SetRealTimeStream(o.stream);
    if (!InstallConfigHandling(model, o.configLog,
                               o.file.isEmpty() ? std::optional(o.recording) : std::nullopt,
                               &error))
        return Fail(qPrintable(error));

    std::string device;
    const char* openError = nullptr;
    const int master = OpenTerminal(device, openError);
    if (master < 0)
        return Fail(openError);
    AnnounceDevice(device);
    return Serve(master, model, o);
}
