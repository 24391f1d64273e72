#pragma once
// The real-time acquisition on the link: the start command (repeated once by the
// start-repeat timer while no frame came, and every 5 s by the restart timer), the
// 2365-byte frames that overwrite the captured waveform, the sample tick (10 ms after
// the first frame, then the sampling interval), the silence watchdog (every 500 ms it
// compares the time of the last frame with the timer table's clock) and every way a run
// ends. The transfer reports what happened through its signals (a sample's figures are
// computed by whoever takes sampleDue); what is said to the user and what is kept on the
// disk is decided by whoever runs it (the main window's session, the command line).

#include "base/Clock.h"
#include "data/MeasurementSet.h"
#include "data/RtdataFile.h"
#include "link/Transfer.h"

#include <QByteArray>
#include <QObject>

#include <array>

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

// The message a run that ended this way owes the user, or null for an end that
// says nothing (a stop, the count, a silent logger).
const char* RealTimeEndMessage(RealTimeEnd why);

inline constexpr int kRtIntervalMin = 2;
inline constexpr int kRtIntervalMax = 3600;
inline constexpr int kRtPointsMin = 1;

class RealTimeTransfer final : public QObject, public Transfer {
    Q_OBJECT
public:
    RealTimeTransfer(TransferHost& host, MeasurementSet& set, QObject* parent = nullptr);

    // --- Transfer ---
    TransferKind Kind() const override { return TransferKind::RealTime; }
    std::span<const int> TimerIds() const override;
    // Use Configure first; the link's StartTransfer calls this.
    void Start() override;
    void OnReply(const QByteArray& bytes) override;
    void OnTimer(int id) override;

    // The run's request, kept for the next Start (out-of-range values are clamped;
    // the dialog and the command line refuse them before). A run that begins takes
    // the interval along: its samples are read through the set's Run() afterwards.
    void Configure(int pointsRequested, int rtInterval);
    // The Stop command and every internal stop that sends the stop command.
    void StopRealTime();

    // Where the start time of a run comes from (the system clock by default).
    void SetClock(const Clock* clock);

    // From Start until the run ends; the only record of whether a run is on.
    bool Running() const { return m_running; }
    int PointsRequested() const { return m_pointsRequested; }
    int Interval() const { return m_interval; }
    bool FrameReceived() const { return m_frameReceived; }
    // Both channels of the last frame handled, as the logger sent them (an absent
    // channel's values too): the waveform a sample taken now was analysed from.
    const RtWaveform& LastFrameWaveform() const { return m_lastWave; }
    // Frames handled and ignored (no frame mark) since the start.
    int FramesHandled() const { return m_framesHandled; }
    int FramesIgnored() const { return m_framesIgnored; }

    static QByteArray StartCommand();
    static QByteArray StopCommand();

signals:
    // Every reply while the transfer takes the line, as it came.
    void replyReceived(const QByteArray& bytes);
    // The first frame of a run: the run has begun with its channels, start time and
    // room for the samples requested; the window resets its panel, selects its mode and
    // sizes its work buffers.
    void runStarted();
    // Every frame handled (the window shows the graph).
    void frameTaken();
    // The sample tick found room for sample `index`: its figures (analysis and
    // extremes, from the waveform of the last frame) are computed into the set now,
    // by whoever is connected, before the count moves on.
    void sampleDue(int index);
    // Sample `taken - 1` was stored; the set's count is `taken` now.
    void sampleTaken(int taken);
    // The set changed as a whole (a stop): every view repaints.
    void viewsChanged();
    // The run ended, after the stop command went out. The set is tagged as a
    // real-time measurement when it holds samples.
    void runEnded(RealTimeEnd why);

private:
    void HandleFrame(const uint8_t* f);
    bool TakeChannels(const uint8_t* f);
    void BeginRun();
    void OnStartRepeat();
    void OnSampleTick();
    void OnWatchdog();
    void OnRestart();
    void KillTimers();
    void EndRun(RealTimeEnd why, bool sendStop);
    void WriteStop();

    TransferHost& m_host;
    MeasurementSet& m_set;
    const Clock* m_clock;
    bool m_running = false;
    int m_pointsRequested = 1;
    int m_interval = kRtIntervalMin;
    bool m_frameReceived = false;
    int m_framesHandled = 0;
    int m_framesIgnored = 0;
    int64_t m_lastFrameMs = 0; // the start command, then the last frame handled
    int64_t m_firstTickMs = 0;
    QByteArray m_pending; // bytes of a frame not yet complete
    RtWaveform m_lastWave{};
};
