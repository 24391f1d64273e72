#include "link/RealTimeTransfer.h"

#include "base/Ids.h"
#include "link/LoggerProtocol.h"

#include <algorithm>

namespace {
namespace T = FrameTimer;

constexpr int kFrameBytes = Logger::kRealTimeFrameBytes;

int16_t Be16(const uint8_t* p) {
    return int16_t(uint16_t((p[0] << 8) | p[1]));
}

constexpr std::array<int, 4> kTimers = {T::StartRepeat, T::RealTimeWatchdog, T::RealTimeTick,
                                        T::RealTimeRestart};

const SystemClock kSystemClock;

} // namespace

const char* RealTimeEndMessage(RealTimeEnd why) {
    switch (why) {
    case RealTimeEnd::NoChannel:
        return RealTimeText::kNoChannel;
    case RealTimeEnd::ChannelChanged:
        return RealTimeText::kChannelChanged;
    case RealTimeEnd::Stopped:
    case RealTimeEnd::CountReached:
    case RealTimeEnd::Silence:
        break;
    }
    return nullptr;
}

RealTimeTransfer::RealTimeTransfer(TransferHost& host, MeasurementSet& set, QObject* parent)
    : QObject(parent), m_host(host), m_set(set), m_clock(&kSystemClock) {}

void RealTimeTransfer::SetClock(const Clock* clock) {
    m_clock = clock ? clock : &kSystemClock;
}

std::span<const int> RealTimeTransfer::TimerIds() const {
    return kTimers;
}

QByteArray RealTimeTransfer::StartCommand() {
    return Logger::StartCommand(Logger::kStartRealTime);
}

QByteArray RealTimeTransfer::StopCommand() {
    QByteArray c = StartCommand();
    c[Logger::kCommandBytes - 1] = char(Logger::kStopRealTimeEnd);
    return c;
}

void RealTimeTransfer::OnTimer(int id) {
    switch (id) {
    case T::StartRepeat:
        OnStartRepeat();
        break;
    case T::RealTimeWatchdog:
        OnWatchdog();
        break;
    case T::RealTimeTick:
        OnSampleTick();
        break;
    case T::RealTimeRestart:
        OnRestart();
        break;
    default:
        break;
    }
}

void RealTimeTransfer::Configure(int pointsRequested, int rtInterval) {
    m_pointsRequested = std::clamp(pointsRequested, kRtPointsMin, kRtMaxPoints);
    m_interval = std::clamp(rtInterval, kRtIntervalMin, kRtIntervalMax);
}

void RealTimeTransfer::Start() {
    m_set.Run().Begin(m_clock->Now(), m_interval, m_pointsRequested);
    m_running = true;
    m_pending.clear();
    m_framesHandled = m_framesIgnored = 0;
    m_frameReceived = false;
    SerialChannel& channel = m_host.Channel();
    channel.Close();
    channel.SetThreshold(kFrameBytes);
    m_host.SendCommand(StartCommand());
    TimerTable& timers = m_host.Timers();
    timers.Start(T::StartRepeat, Logger::kStartRepeatMs);
    // A logger that never sends a first frame would leave the run on for good, with
    // nothing to say so: the silence watchdog covers the first frame too, counting
    // from the start command.
    m_lastFrameMs = timers.NowMs();
    timers.Start(T::RealTimeWatchdog, Logger::kRealTimeWatchdogCheckMs);
}

void RealTimeTransfer::OnStartRepeat() {
    m_host.Timers().Kill(T::StartRepeat);
    if (!m_frameReceived && m_host.Channel().IsOpen())
        m_host.Channel().Write(StartCommand());
}

void RealTimeTransfer::OnReply(const QByteArray& bytes) {
    emit replyReceived(bytes);
    if (!m_running) {
        // Frames still streaming after a stop: ask once more for silence.
        m_pending.clear();
        WriteStop();
        return;
    }
    m_pending.append(bytes);
    static const QByteArray kMark(2, char(Logger::kFrameMark));
    while (m_pending.size() >= kFrameBytes && m_running) {
        if (!m_pending.startsWith(kMark)) {
            // Not a frame's start (a stream read from its middle): skip to the next
            // frame mark instead of reading every later frame out of step.
            ++m_framesIgnored;
            const qsizetype next = m_pending.indexOf(kMark, 1);
            if (next < 0) {
                const bool lastIsMark = uint8_t(m_pending.back()) == Logger::kFrameMark;
                m_pending = lastIsMark ? m_pending.right(1) : QByteArray();
            } else {
                m_pending.remove(0, next);
            }
            continue;
        }
        const QByteArray frame = m_pending.left(kFrameBytes);
        m_pending.remove(0, kFrameBytes);
        HandleFrame(reinterpret_cast<const uint8_t*>(frame.constData()));
    }
    if (!m_running) {
        m_pending.clear();
        return;
    }
    // Notified again as soon as the rest of a frame begun here has arrived.
    m_host.Channel().SetThreshold(int(kFrameBytes - m_pending.size()));
}

void RealTimeTransfer::HandleFrame(const uint8_t* f) {
    ++m_framesHandled;
    m_frameReceived = true;
    m_lastFrameMs = m_host.Timers().NowMs();
    MeasurementSet& s = m_set;

    if (f[2] == 0) {
        EndRun(RealTimeEnd::NoChannel, true);
        return;
    }
    RealTimeRun& run = s.Run();
    if (!TakeChannels(f)) {
        EndRun(RealTimeEnd::ChannelChanged, true);
        return;
    }

    const uint8_t* p = f + Logger::kRealTimeFrameHeader;
    for (int i = 0; i < kRtWavePoints; ++i, p += 4)
        m_lastWave[size_t(i)] = {Be16(p), Be16(p + 2)};
    run.SetCapture(m_lastWave);

    if (run.Count() == 0)
        BeginRun();

    emit frameTaken();
    s.SetLoadedFromFile(false);
    if (run.Count() >= m_pointsRequested || run.Count() >= kRtMaxPoints)
        EndRun(RealTimeEnd::CountReached, true);
    if (!m_running) {
        WriteStop();
        emit viewsChanged();
    }
}

// The channels of a frame go into the run until the first sample is taken; from
// then on the samples keep the channels they were taken with, and a frame that
// switches one on or off, or measures another quantity on it (V to A), is refused
// (false) without touching the run, so the series does not go on mixing units.
bool RealTimeTransfer::TakeChannels(const uint8_t* f) {
    RealTimeRun& run = m_set.Run();
    if (run.Count() == 0) {
        run.SetChannelKind(0, f[3]);
        run.SetChannelKind(1, f[4]);
        return true;
    }
    for (int ch = 0; ch < 2; ++ch) {
        const bool wasPresent = run.ChannelPresent(ch);
        uint8_t present = wasPresent ? 1 : 0;
        QString unit = run.ChannelUnit(ch);
        ApplyChannelKind(f[3 + ch], present, unit);
        if ((present == 1) != wasPresent || (wasPresent && unit != run.ChannelUnit(ch)))
            return false;
    }
    return true;
}

void RealTimeTransfer::BeginRun() {
    MeasurementSet& s = m_set;
    s.SetExtremeText(4, 0, {});
    s.SetExtremeText(4, 1, {});
    s.Run().Begin(m_clock->Now(), m_interval, m_pointsRequested);
    emit runStarted();
    TimerTable& timers = m_host.Timers();
    timers.Start(T::RealTimeWatchdog, Logger::kRealTimeWatchdogCheckMs);
    timers.Start(T::RealTimeRestart, Logger::kRealTimeRestartMs);
    timers.Start(T::RealTimeTick, Logger::kRealTimeFirstTickMs);
}

void RealTimeTransfer::OnSampleTick() {
    RealTimeRun& run = m_set.Run();
    const int64_t nowMs = m_host.Timers().NowMs();
    if (run.Count() == 0) {
        m_host.Timers().Start(T::RealTimeTick, m_interval * 1000);
        m_firstTickMs = nowMs;
    }
    // Each sample carries the time it was taken, counted from the first tick: a tick
    // the event loop let slip by leaves a gap instead of shifting every later time.
    const int64_t elapsedMs = std::max<int64_t>(nowMs - m_firstTickMs, 0);
    run.SetPendingTime(run.StartTime() + (elapsedMs + 500) / 1000);
    // The run holds exactly the requested samples: a tick after the last one, before
    // the frame that ends the run, has nowhere to store into.
    if (run.Full())
        return;
    emit sampleDue(run.Count());
    if (!run.Append())
        return;
    emit sampleTaken(run.Count());
}

void RealTimeTransfer::OnWatchdog() {
    // Measured from the last frame rather than from the watchdog's last look, so that
    // a run ends 10 s after its last frame, not 10 to 20 s.
    if (m_host.Timers().NowMs() - m_lastFrameMs < Logger::kRealTimeWatchdogMs)
        return;
    // Silent logger: end without a word, keeping what was taken.
    if (m_host.Channel().IsOpen())
        m_host.Channel().Close();
    EndRun(RealTimeEnd::Silence, false);
}

void RealTimeTransfer::OnRestart() {
    m_host.SendCommand(StartCommand());
}

void RealTimeTransfer::KillTimers() {
    for (int id : kTimers)
        m_host.Timers().Kill(id);
}

void RealTimeTransfer::StopRealTime() {
    EndRun(RealTimeEnd::Stopped, true);
}

void RealTimeTransfer::EndRun(RealTimeEnd why, bool sendStop) {
    KillTimers();
    m_running = false;
    m_pending.clear();
    if (m_set.RtCount() > 0)
        m_set.SetDataTag(QString::fromLatin1(kTagRealTime));
    if (sendStop)
        m_host.SendCommand(StopCommand());
    emit viewsChanged();
    emit runEnded(why);
}

void RealTimeTransfer::WriteStop() {
    if (m_host.Channel().IsOpen())
        m_host.Channel().Write(StopCommand());
}
