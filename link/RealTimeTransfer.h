#pragma once
// The real-time acquisition on the link, below the widgets: the start command, the
// 2365-byte frames that overwrite the captured waveform, the sample tick (timer
// 14: 10 ms after the first frame, then the sampling interval), the silence
// watchdog (timer 13), the repeat of the start command (timer 15; timer 12 once,
// served by the link controller) and every way a run ends. What a sample computes
// (analysis, extremes) and what the window does with it are hooks, so that the
// main window and the command-line tool run the same transfer.

#include "base/Clock.h"
#include "base/Prompts.h"
#include "base/Timers.h"
#include "data/MeasurementSet.h"
#include "link/LinkController.h"

#include <QByteArray>

#include <array>
#include <functional>

namespace RealTimeText {
inline const char* const kNoChannel = "There is no channel!";
inline const char* const kChannelChanged = "The channel is changed,please restart!";
} // namespace RealTimeText

// Why a run ended.
enum class RealTimeEnd {
    Stopped,        // the Stop command (or the window closing)
    CountReached,   // the requested number of samples, or 100000
    NoChannel,      // a frame reported no channel
    ChannelChanged, // a channel was switched on or off
    Silence,        // no frame for 10 s
};

inline constexpr int kRtWatchdogMs = 10000;
inline constexpr int kRtRestartMs = 5000;
inline constexpr int kRtFirstTickMs = 10;
inline constexpr int kRtIntervalMin = 2;
inline constexpr int kRtIntervalMax = 3600;
inline constexpr int kRtPointsMin = 1;

class RealTimeTransfer {
public:
    // `realTimeIdle` is the window's flag (1 while no run is on); the transfer keeps
    // it. The link's onRealTimeFrame hook is taken over.
    RealTimeTransfer(LinkController& link, SerialChannel& channel, TimerTable& timers,
                     Prompts& prompts, MeasurementSet& set, const Clock& clock,
                     uint8_t& realTimeIdle);
    ~RealTimeTransfer();
    RealTimeTransfer(const RealTimeTransfer&) = delete;
    RealTimeTransfer& operator=(const RealTimeTransfer&) = delete;

    // Timers 13, 14 and 15 (timer 12 stays the link controller's).
    static const std::array<int, 3> kTimerIds;
    bool OnTimer(int id);

    // RUN: the values are already checked by the dialog (or the command line).
    void Start(int pointsRequested, int rtInterval);
    // The Stop command and every internal stop that sends the stop command.
    void StopRealTime();
    // A reply while the link is in a real-time transfer.
    void OnFrame(const QByteArray& bytes);

    bool Running() const { return m_idle == 0; }
    int PointsRequested() const { return m_pointsRequested; }
    int Interval() const { return m_interval; }
    // Whether ending a run writes the previous-measurement file ("EPADATA").
    bool m_writePreviousMeasurement = true;
    // Frames handled and ignored (bad mark) since the start, for tests and tools.
    int m_framesHandled = 0;
    int m_framesIgnored = 0;

    static QByteArray StartCommand();
    static QByteArray StopCommand();

    // --- hooks ---
    // First frame of a run: the real-time arrays are allocated and the start time set;
    // the window resets its panel, selects its mode and sizes its work buffers.
    std::function<void()> onFirstFrame;
    // Every frame handled (the window shows the graph).
    std::function<void()> onFrameTaken;
    // The analysis and the extremes of sample m_rtCount; false when there is no
    // room (the tick is then skipped).
    std::function<bool()> onSample;
    // After m_rtCount was incremented: flags, mode handlers, drawing.
    std::function<void()> onSampleTaken;
    // Repaint everything (the document's "update all views").
    std::function<void()> onUpdateViews;
    // The run ended (after the stop command, before the message of a fault).
    std::function<void(RealTimeEnd)> onEnded;

private:
    void HandleFrame(const uint8_t* f);
    void OnSampleTick();
    void OnWatchdog();
    void OnRestart();
    void KillTimers();
    void EndRun(RealTimeEnd why, bool sendStop);
    void WriteStop();
    void UpdateViews() {
        if (onUpdateViews)
            onUpdateViews();
    }

    LinkController& m_link;
    SerialChannel& m_channel;
    TimerTable& m_timers;
    Prompts& m_prompts;
    MeasurementSet& m_set;
    const Clock& m_clock;
    uint8_t& m_idle;
    int m_pointsRequested = 1;
    int m_interval = kRtIntervalMin;
    uint8_t m_firstCh1Present = 0, m_firstCh2Present = 0;
    QString m_firstCh1Unit, m_firstCh2Unit;
    QByteArray m_pending; // bytes of a frame not yet complete
};
