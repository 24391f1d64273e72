// The real-time transfer on the headless link in virtual time: frames injected every
// 250 ms by a line timer on the same clock, until the logger falls silent.

#include "LinkTestSupport.h"

#include "link/RealTimeTransfer.h"

#include <optional>

namespace {

constexpr int kFrameMs = 250;

struct RealTimeLink : VirtualLink {
    ManualTimerTable line{clock};
    std::optional<int64_t> firstFrameMs, lastFrameMs, endedMs;
    std::optional<RealTimeEnd> ended;
    // Frames stop this long after the first one; negative: the logger never streams.
    int64_t streamForMs = 0;

    RealTimeLink() {
        logger.SetRealTimeKinds(2, kChannelVolts, kChannelAmps);
        RealTimeTransfer& rt = link.RealTime();
        QObject::connect(&rt, &RealTimeTransfer::sampleDue, [this](int n) {
            RealTimeRun& run = set.Run();
            run.SetPendingValues(0, float(n + 1), 50);
            run.SetPendingValues(1, 0.5f, 50);
        });
        QObject::connect(&rt, &RealTimeTransfer::replyReceived, [this] {
            if (!firstFrameMs)
                firstFrameMs = clock.NowMs();
            lastFrameMs = clock.NowMs();
        });
        QObject::connect(&rt, &RealTimeTransfer::runEnded, [this](RealTimeEnd e) {
            ended = e;
            endedMs = clock.NowMs();
        });
        line.SetHandler([this](int) {
            if (streamForMs < 0 || !logger.Streaming() || !channel.IsOpen())
                return;
            if (firstFrameMs && clock.NowMs() - *firstFrameMs >= streamForMs)
                return; // fallen silent
            channel.Inject(logger.NextFrame());
        });
        line.Start(1, kFrameMs);
    }

    void Run(int interval, int count) {
        ConnectOnPort1();
        link.RealTime().Configure(count, interval);
        link.StartTransfer(TransferKind::RealTime);
        link.CloseDialog(LinkDialog::Download);
        link.KillLinkTimers();
    }
    bool RunUntilEnded(int64_t limitMs) {
        return clock.AdvanceUntil([&] { return ended.has_value(); }, limitMs);
    }
};

// The watchdog looked every 10 s and ended the run at the first look that had seen
// no frame since the one before: 10 to 20 s after the last frame.
TEST(RealTimeSilence, EndsTenSecondsAfterTheLastFrameWhereverItFallsInTheWatchdogPeriod) {
    // How long frames come after the first: none after it, half a second, 9 s into
    // the watchdog's period (armed again at the first frame), and longer runs.
    for (int64_t streamFor :
         {int64_t(0), int64_t(500), int64_t(9000), int64_t(9750), int64_t(23250)}) {
        SCOPED_TRACE(streamFor);
        RealTimeLink v;
        v.streamForMs = streamFor;
        v.Run(2, 1000);
        ASSERT_TRUE(v.RunUntilEnded(60000));
        EXPECT_EQ(*v.ended, RealTimeEnd::Silence);
        ASSERT_TRUE(v.lastFrameMs);
        const int64_t silentMs = *v.endedMs - *v.lastFrameMs;
        EXPECT_GE(silentMs, 10000);
        EXPECT_LE(silentMs, 10000 + Logger::kRealTimeWatchdogCheckMs);
        // Every sample taken stays: one 10 ms after the first frame, then one per
        // interval until the end.
        const int64_t runMs = *v.endedMs - *v.firstFrameMs;
        const int expected = int((runMs - 10) / 2000) + 1;
        EXPECT_EQ(v.set.RtCount(), expected);
        for (int n = 0; n < v.set.RtCount(); ++n)
            EXPECT_EQ(v.set.Run().Rms()[size_t(n)][0], float(n + 1));
        EXPECT_FALSE(v.link.RealTime().Running());
        EXPECT_FALSE(v.channel.IsOpen());
        for (int id : {12, 13, 14, 15})
            EXPECT_FALSE(v.timers.IsActive(id)) << id;
        EXPECT_TRUE(v.prompts.shown.empty());
    }
}

TEST(RealTimeSilence, ALoggerThatNeverStreamsEndsTenSecondsAfterTheStartCommand) {
    RealTimeLink v;
    v.streamForMs = -1;
    v.Run(2, 10);
    const int64_t startMs = v.clock.NowMs();
    ASSERT_TRUE(v.RunUntilEnded(30000));
    EXPECT_EQ(*v.ended, RealTimeEnd::Silence);
    EXPECT_GE(*v.endedMs - startMs, 10000);
    EXPECT_LE(*v.endedMs - startMs, 10000 + Logger::kRealTimeWatchdogCheckMs);
    EXPECT_EQ(v.set.RtCount(), 0);
}

TEST(RealTimeSilence, ASteadyStreamIsNeverTakenForSilence) {
    RealTimeLink v;
    v.streamForMs = 1000000;
    v.Run(2, 20);
    ASSERT_TRUE(v.RunUntilEnded(60000));
    EXPECT_EQ(*v.ended, RealTimeEnd::CountReached);
    EXPECT_EQ(v.set.RtCount(), 20);
}

// The transfer says how a run ended and leaves the words to whoever runs it: a frame
// without channels and a channel switched off end the run with their reason and the
// stop command (0xC8 seven times, then 0xC9), and the link itself shows no message.
TEST(RealTimeOutcome, AFaultEndsTheRunWithItsReasonAndNoMessageOfTheLink) {
    const QByteArray stop("\xC8\xC8\xC8\xC8\xC8\xC8\xC8\xC9", 8);
    for (const RealTimeEnd end : {RealTimeEnd::NoChannel, RealTimeEnd::ChannelChanged}) {
        SCOPED_TRACE(int(end));
        RealTimeLink v;
        v.streamForMs = 1000000;
        if (end == RealTimeEnd::NoChannel)
            v.logger.SetRealTimeKinds(0, kChannelAbsent, kChannelAbsent);
        else
            v.logger.SetFaults(LoggerFaults{.channelChangeAfter = 3});
        v.Run(2, 100);
        ASSERT_TRUE(v.RunUntilEnded(5000));
        EXPECT_EQ(*v.ended, end);
        EXPECT_FALSE(v.link.RealTime().Running());
        bool stopSent = false;
        for (const auto& w : v.channel.Writes())
            stopSent = stopSent || w.bytes == stop;
        EXPECT_TRUE(stopSent);
        EXPECT_TRUE(v.prompts.shown.empty());
    }
}

} // namespace
