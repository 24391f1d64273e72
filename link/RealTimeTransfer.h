#pragma once
// The real-time acquisition on the link: the start command (repeated once by the
// start-repeat timer while no frame came, and every 5 s by the restart timer), the
// 2365-byte frames that overwrite the captured waveform, the sample tick (10 ms after
// the first frame, then the sampling interval), the silence watchdog (every 500 ms it
// compares the time of the last frame with the timer table's clock) and every way a run
// ends. What a sample computes (analysis, extremes) and what the window does with it
// are hooks, so that the main window and the command-line tool run the same transfer.

#include "base/Clock.h"
#include "data/MeasurementSet.h"
#include "data/RtdataFile.h"
#include "link/Transfer.h"

#include <QByteArray>

#include <array>
#include <functional>

namespace RealTimeText {
inline constexpr const char* kNoChannel = "There is no channel!";
inline constexpr const char* kChannelChanged = "The channel is changed,please restart!";
} // namespace RealTimeText

// Why a run ended.
enum class RealTimeEnd {
    Stopped,        // the Stop command (or the window closing)
    CountReached,   // the requested number of samples, or 100000
    NoChannel,      // a frame reported no channel
    ChannelChanged, // a channel was switched on or off
    Silence,        // no frame for 10 s
};

inline constexpr int kRtIntervalMin = 2;
inline constexpr int kRtIntervalMax = 3600;
inline constexpr int kRtPointsMin = 1;

class RealTimeTransfer final : public Transfer {
public:
    RealTimeTransfer(TransferHost& host, MeasurementSet& set);

    // --- Transfer ---
    TransferKind Kind() const override { return TransferKind::RealTime; }
    std::span<const int> TimerIds() const override;
    // Use Configure first; the link's StartTransfer calls this.
    void Start() override;
    void OnReply(const QByteArray& bytes) override;
    void OnTimer(int id) override;

    // The run's request, kept for the next Start (out-of-range values are clamped;
    // the dialog and the command line refuse them before).
    void Configure(int pointsRequested, int rtInterval);
    // The Stop command and every internal stop that sends the stop command.
    void StopRealTime();

    // The window's flag (1 while no run is on) kept by this transfer; without a
    // binding it keeps its own.
    void BindIdleFlag(uint8_t* realTimeIdle) { m_idle = realTimeIdle ? realTimeIdle : &m_ownIdle; }
    // Where the start time of a run comes from (the system clock by default).
    void SetClock(const Clock* clock);

    bool Running() const { return *m_idle == 0; }
    int PointsRequested() const { return m_pointsRequested; }
    int Interval() const { return m_interval; }
    bool FrameReceived() const { return m_frameReceived; }
    // Both channels of the last frame handled, as the logger sent them (an absent
    // channel's values too): the waveform a sample taken now was analysed from.
    const RtWaveform& LastFrameWaveform() const { return m_lastWave; }
    // Frames handled and ignored (no frame mark) since the start.
    int m_framesHandled = 0;
    int m_framesIgnored = 0;

    static QByteArray StartCommand();
    static QByteArray StopCommand();

    // --- hooks ---
    // Every reply, as it came (the link's onRealTimeFrame).
    std::function<void(const QByteArray&)> onReply;
    // First frame of a run: the real-time arrays are allocated and the start time set;
    // the window resets its panel, selects its mode and sizes its work buffers.
    std::function<void()> onFirstFrame;
    // Every frame handled (the window shows the graph).
    std::function<void()> onFrameTaken;
    // The analysis and the extremes of the sample being taken; false when there is no
    // room (the tick is then skipped).
    std::function<bool()> onSample;
    // After the sample was appended: flags, mode handlers, drawing.
    std::function<void()> onSampleTaken;
    // Repaint everything (the document's "update all views").
    std::function<void()> onUpdateViews;
    // The run ended (after the stop command, before the message of a fault).
    std::function<void(RealTimeEnd)> onEnded;

private:
    void HandleFrame(const uint8_t* f);
    void OnStartRepeat();
    void OnSampleTick();
    void OnWatchdog();
    void OnRestart();
    void KillTimers();
    // The channels of the frame differ from those the run began with.
    bool ChannelsChanged() const;
    void EndRun(RealTimeEnd why, bool sendStop);
    void WriteStop();
    void UpdateViews() {
        if (onUpdateViews)
            onUpdateViews();
    }

    TransferHost& m_host;
    MeasurementSet& m_set;
    const Clock* m_clock;
    uint8_t m_ownIdle = 1;
    uint8_t* m_idle = &m_ownIdle;
    int m_pointsRequested = 1;
    int m_interval = kRtIntervalMin;
    bool m_frameReceived = false;
    int64_t m_lastFrameMs = 0; // the start command, then the last frame handled
    std::array<bool, 2> m_firstPresent{};
    std::array<QString, 2> m_firstUnit;
    int64_t m_firstTickMs = 0;
    QByteArray m_pending; // bytes of a frame not yet complete
    RtWaveform m_lastWave{};
};
