#include "link/RealTimeTransfer.h"

#include "base/Ids.h"
#include "data/PreviousMeasurement.h"
#include "link/LoggerProtocol.h"

#include <algorithm>

namespace {
namespace T = FrameTimer;

constexpr int kFrameBytes = Logger::kRealTimeFrameBytes;

int16_t Be16(const uint8_t* p) {
    return int16_t(uint16_t((p[0] << 8) | p[1]));
}

// Kind byte of a frame: 0 amperes, 1 volts, 0xFF off; any other value leaves the
// channel as it was.
void TakeKind(uint8_t kind, uint8_t& present, QString& unit) {
    if (kind == kChannelAmps) {
        present = 1;
        unit = QStringLiteral("A");
    } else if (kind == kChannelVolts) {
        present = 1;
        unit = QStringLiteral("V");
    } else if (kind == kChannelAbsent) {
        present = 0;
    }
}

} // namespace

const std::array<int, 3> RealTimeTransfer::kTimerIds = {T::RealTimeWatchdog, T::RealTimeTick,
                                                        T::RealTimeRestart};

RealTimeTransfer::RealTimeTransfer(LinkController& link, SerialChannel& channel, TimerTable& timers,
                                   Prompts& prompts, MeasurementSet& set, const Clock& clock,
                                   uint8_t& realTimeIdle)
    : m_link(link), m_channel(channel), m_timers(timers), m_prompts(prompts), m_set(set),
      m_clock(clock), m_idle(realTimeIdle) {
    m_link.onRealTimeFrame = [this](const QByteArray& r) { OnFrame(r); };
}

RealTimeTransfer::~RealTimeTransfer() {
    m_link.onRealTimeFrame = nullptr;
}

QByteArray RealTimeTransfer::StartCommand() {
    return QByteArray(Logger::kCommandBytes, char(Logger::kStartRealTime));
}

QByteArray RealTimeTransfer::StopCommand() {
    QByteArray c = StartCommand();
    c[Logger::kCommandBytes - 1] = char(Logger::kStopRealTimeEnd);
    return c;
}

bool RealTimeTransfer::OnTimer(int id) {
    switch (id) {
    case T::RealTimeWatchdog:
        OnWatchdog();
        return true;
    case T::RealTimeTick:
        OnSampleTick();
        return true;
    case T::RealTimeRestart:
        OnRestart();
        return true;
    default:
        return false;
    }
}

void RealTimeTransfer::Start(int pointsRequested, int rtInterval) {
    m_pointsRequested = std::clamp(pointsRequested, kRtPointsMin, kRtMaxPoints);
    m_interval = std::clamp(rtInterval, kRtIntervalMin, kRtIntervalMax);
    m_set.m_rtCount = 0;
    m_idle = 0;
    m_pending.clear();
    m_framesHandled = m_framesIgnored = 0;
    m_link.StartTransfer(TransferKind::RealTime);
    // A logger that never sends a first frame would leave the run on for good, with
    // nothing to say so: the silence watchdog covers the first frame too.
    m_timers.Start(T::RealTimeWatchdog, kRtWatchdogMs);
}

void RealTimeTransfer::OnFrame(const QByteArray& bytes) {
    if (m_idle) {
        // Frames still streaming after a stop: ask once more for silence.
        m_pending.clear();
        WriteStop();
        return;
    }
    m_pending.append(bytes);
    static const QByteArray kMark(2, char(Logger::kFrameMark));
    while (m_pending.size() >= kFrameBytes && !m_idle) {
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
    if (m_idle) {
        m_pending.clear();
        return;
    }
    // Notified again as soon as the rest of a frame begun here has arrived.
    m_channel.SetThreshold(int(kFrameBytes - m_pending.size()));
}

void RealTimeTransfer::HandleFrame(const uint8_t* f) {
    ++m_framesHandled;
    m_link.m_frameReceived = true;
    MeasurementSet& s = m_set;

    if (f[2] == 0) {
        EndRun(RealTimeEnd::NoChannel, true);
        m_prompts.Message(QString::fromLatin1(RealTimeText::kNoChannel));
        return;
    }
    TakeKind(f[3], s.m_rtCh1Present, s.m_rtCh1Unit);
    TakeKind(f[4], s.m_rtCh2Present, s.m_rtCh2Unit);
    if (s.m_rtCount == 0) {
        m_firstCh1Present = s.m_rtCh1Present;
        m_firstCh2Present = s.m_rtCh2Present;
        m_firstCh1Unit = s.m_rtCh1Unit;
        m_firstCh2Unit = s.m_rtCh2Unit;
    } else if (s.m_rtCh1Present != m_firstCh1Present || s.m_rtCh2Present != m_firstCh2Present) {
        // The samples taken keep the channels they were taken with.
        s.m_rtCh1Present = m_firstCh1Present;
        s.m_rtCh2Present = m_firstCh2Present;
        s.m_rtCh1Unit = m_firstCh1Unit;
        s.m_rtCh2Unit = m_firstCh2Unit;
        EndRun(RealTimeEnd::ChannelChanged, true);
        m_prompts.Message(QString::fromLatin1(RealTimeText::kChannelChanged));
        return;
    }

    const uint8_t* p = f + Logger::kRealTimeFrameHeader;
    for (int i = 0; i < kRtWavePoints; ++i, p += 4) {
        if (s.m_rtCh1Present == 1)
            s.m_rtWave[size_t(i)][0] = float(Be16(p));
        if (s.m_rtCh2Present == 1)
            s.m_rtWave[size_t(i)][1] = float(Be16(p + 2));
    }
    s.m_rtWavePoints = kRtWavePoints;

    if (s.m_rtCount == 0) {
        s.m_extremeText[4][0].clear();
        s.m_extremeText[4][1].clear();
        s.m_rtStartTime = m_clock.Now();
        s.m_rtRms.assign(size_t(m_pointsRequested), FloatPair{0, 0});
        s.m_rtFreq.assign(size_t(m_pointsRequested), FloatPair{0, 0});
        if (onFirstFrame)
            onFirstFrame();
        m_timers.Start(T::RealTimeWatchdog, kRtWatchdogMs);
        m_timers.Start(T::RealTimeRestart, kRtRestartMs);
        m_timers.Start(T::RealTimeTick, kRtFirstTickMs);
    }

    if (onFrameTaken)
        onFrameTaken();
    s.m_loadedFromFile = 0;
    if (s.m_rtCount >= m_pointsRequested || s.m_rtCount >= kRtMaxPoints)
        EndRun(RealTimeEnd::CountReached, true);
    if (m_idle) {
        WriteStop();
        UpdateViews();
    }
}

void RealTimeTransfer::OnSampleTick() {
    MeasurementSet& s = m_set;
    if (s.m_rtCount == 0)
        m_timers.Start(T::RealTimeTick, m_interval * 1000);
    if (!onSample || !onSample())
        return; // no room until the frame that ends the run
    ++s.m_rtCount;
    if (onSampleTaken)
        onSampleTaken();
}

void RealTimeTransfer::OnWatchdog() {
    if (m_link.m_frameReceived) {
        m_link.m_frameReceived = false;
        return;
    }
    // Silent logger: end without a word, keeping what was taken.
    if (m_channel.IsOpen())
        m_channel.Close();
    EndRun(RealTimeEnd::Silence, false);
}

void RealTimeTransfer::OnRestart() {
    m_link.SendCommand(StartCommand());
}

void RealTimeTransfer::KillTimers() {
    m_timers.Kill(T::StartRepeat);
    m_timers.Kill(T::RealTimeWatchdog);
    m_timers.Kill(T::RealTimeTick);
    m_timers.Kill(T::RealTimeRestart);
}

void RealTimeTransfer::StopRealTime() {
    EndRun(RealTimeEnd::Stopped, true);
}

void RealTimeTransfer::EndRun(RealTimeEnd why, bool sendStop) {
    KillTimers();
    m_idle = 1;
    m_pending.clear();
    if (m_set.m_rtCount > 0) {
        m_set.m_dataTag = QString::fromLatin1(kTagRealTime);
        if (m_writePreviousMeasurement)
            WritePreviousMeasurement(m_set);
    }
    if (sendStop)
        m_link.SendCommand(StopCommand());
    UpdateViews();
    if (onEnded)
        onEnded(why);
}

void RealTimeTransfer::WriteStop() {
    if (m_channel.IsOpen())
        m_channel.Write(StopCommand());
}
