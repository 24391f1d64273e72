// The block-by-block download in virtual time against the logger model.

#include "LinkTestSupport.h"
#include "support/StoredSetBuilder.h"

#include "base/LocalTime.h"

namespace {

LoggerRecording Recording(int64_t samples, int channels = 2, int64_t trEvery = 0,
                          uint32_t startPos = 0) {
    SyntheticOptions o;
    o.samples = samples;
    o.channelCount = uint8_t(channels);
    if (channels == 1)
        o.ch2Kind = kChannelAbsent;
    o.trEvery = trEvery;
    o.startPos = startPos;
    return SyntheticRecording(o);
}

TEST(LinkDownload, ShortRecordingIsOneRequestWithLastBlockMarker) {
    VirtualLink v;
    v.logger.SetRecording(Recording(75)); // L = 300 with two channels
    v.ConnectOnPort1();
    ASSERT_TRUE(v.RunDownload());
    ASSERT_EQ(v.outcomes.back(), DownloadOutcome::Completed);
    const auto reqs = v.BlockRequests();
    ASSERT_EQ(reqs.size(), 1u);
    EXPECT_EQ(reqs[0], QByteArray::fromHex("d8000001010101010101").left(8));
    EXPECT_EQ(v.set.RmsCount(), 75);
    EXPECT_EQ(v.set.ChannelRms(0).size(), 75u);
    EXPECT_EQ(v.set.ChannelRms(1).size(), 75u);
    EXPECT_EQ(v.set.DataTag(), "RMSTRDATA");
    EXPECT_FALSE(v.link.TransferMode());
    EXPECT_EQ(v.channel.Threshold(), 1);
    EXPECT_FALSE(v.channel.IsOpen());
}

TEST(LinkDownload, BlockSequencesFor1024And1100Bytes) {
    {
        VirtualLink v;
        v.logger.SetRecording(Recording(256)); // L = 1024
        v.ConnectOnPort1();
        std::vector<int> ranges;
        QObject::connect(&v.link.Download(), &DownloadTransfer::loadingOpened,
                         [&](int r) { ranges.push_back(r); });
        ASSERT_TRUE(v.RunDownload());
        const auto reqs = v.BlockRequests();
        ASSERT_EQ(reqs.size(), 2u);
        EXPECT_EQ(VirtualLink::Page(reqs[0]), 0);
        EXPECT_EQ(VirtualLink::Page(reqs[1]), 2);
        EXPECT_EQ(uint8_t(reqs[1][3]), 0xFF);
        EXPECT_EQ(ranges, std::vector<int>{3});
        EXPECT_EQ(v.set.RmsCount(), 256);
        EXPECT_FALSE(v.link.LoadingShown());
    }
    {
        VirtualLink v;
        v.logger.SetRecording(Recording(275)); // L = 1100
        v.ConnectOnPort1();
        int lastProgress = 0;
        QObject::connect(&v.link.Download(), &DownloadTransfer::loadingProgress,
                         [&](int p) { lastProgress = p; });
        ASSERT_TRUE(v.RunDownload());
        const auto reqs = v.BlockRequests();
        ASSERT_EQ(reqs.size(), 3u);
        EXPECT_EQ(uint8_t(reqs[1][3]), 0xFF);
        EXPECT_EQ(uint8_t(reqs[2][3]), 0x01);
        EXPECT_EQ(VirtualLink::Page(reqs[2]), 4);
        EXPECT_EQ(lastProgress, 3);
        EXPECT_EQ(v.set.RmsCount(), 275);
        EXPECT_EQ(v.set.ChannelRms(1)[274], ScaledRms(Recording(275).samples[274][1]));
    }
}

TEST(LinkDownload, RingWrapsToPageZeroAfterTheLastBlock) {
    VirtualLink v;
    const LoggerRecording r = Recording(300, 2, 0, 523776); // starts in block 1023
    v.logger.SetRecording(r);
    v.ConnectOnPort1();
    ASSERT_TRUE(v.RunDownload());
    const auto reqs = v.BlockRequests();
    ASSERT_EQ(reqs.size(), 3u);
    EXPECT_EQ(VirtualLink::Page(reqs[0]), 2046);
    EXPECT_EQ(VirtualLink::Page(reqs[1]), 0);
    EXPECT_EQ(VirtualLink::Page(reqs[2]), 2);
    ASSERT_EQ(v.set.RmsCount(), 300);
    for (size_t i = 0; i < 300; ++i)
        ASSERT_EQ(v.set.ChannelRms(0)[i], ScaledRms(r.samples[i][0])) << i;
    // The wrapped recording's start moves on by the samples it lost.
    const TimeValue t0 = FromLocalFields(r.start);
    EXPECT_EQ(v.set.StartTime(), t0 + TimeValue(r.overwrittenSamples) * 1);
}

TEST(LinkDownload, DroppedBlockEndsInInterruptionAndKeepsTheShownData) {
    VirtualLink v;
    FillShownSet(v.set);
    v.logger.SetRecording(Recording(1000)); // 8 blocks
    // The request and its repeat 900 ms later both go unanswered.
    v.logger.SetFaults(LoggerFaults{.dropBlock = 3, .dropCount = 2});
    v.ConnectOnPort1();
    std::vector<int64_t> closedAt;
    QObject::connect(&v.link.Download(), &DownloadTransfer::loadingClosed,
                     [&] { closedAt.push_back(v.clock.NowMs()); });
    const int64_t start = v.clock.NowMs();
    ASSERT_TRUE(v.RunDownload());
    EXPECT_EQ(v.outcomes.back(), DownloadOutcome::Interrupted);
    EXPECT_EQ(v.prompts.LastText(), "Communication interruption!");
    EXPECT_EQ(v.prompts.shown.size(), 1u);
    EXPECT_EQ(v.prompts.shown.back().icon, PromptIcon::Exclamation);
    // Requests 1, 2, 3 and the one repeat of 3.
    const auto reqs = v.BlockRequests();
    ASSERT_EQ(reqs.size(), 4u);
    EXPECT_EQ(reqs[2], reqs[3]);
    EXPECT_FALSE(v.channel.IsOpen());
    ASSERT_EQ(closedAt.size(), 1u);
    EXPECT_NEAR(double(closedAt[0] - start), 5000.0, 20.0);
    EXPECT_FALSE(v.link.TransferMode());
    EXPECT_FALSE(v.timers.IsActive(9));
    EXPECT_FALSE(v.timers.IsActive(10));
    // Nothing of the failed download reached the shown set.
    ExpectShownSetKept(v.set);
    v.clock.Advance(20000);
    EXPECT_EQ(v.prompts.shown.size(), 1u);
}

TEST(LinkDownload, PortLostDuringDownloadGivesOneInterruptionMessage) {
    VirtualLink v;
    v.logger.SetRecording(Recording(1000));
    v.logger.SetFaults(LoggerFaults{.dropBlock = 2});
    v.ConnectOnPort1();
    bool closed = false;
    QObject::connect(&v.link.Download(), &DownloadTransfer::loadingClosed, [&] { closed = true; });
    v.link.StartTransfer(TransferKind::Download);
    v.clock.Advance(10);             // header, block 1, request 2 unanswered
    v.channel.SetOpenable(1, false); // the adapter is pulled out
    ASSERT_TRUE(v.clock.AdvanceUntil([&] { return !v.outcomes.empty(); }, 2000));
    EXPECT_EQ(v.outcomes.back(), DownloadOutcome::Interrupted);
    EXPECT_TRUE(closed);
    EXPECT_FALSE(v.link.TransferMode());
    EXPECT_EQ(v.channel.Threshold(), 1);
    v.clock.Advance(10000); // the watchdog does not add a second message
    ASSERT_EQ(v.prompts.shown.size(), 1u);
    EXPECT_EQ(v.prompts.shown[0].text, "Communication interruption!");
}

TEST(LinkDownload, PartialBlockIsRequestedOnceMoreThenCompletes) {
    VirtualLink v;
    const LoggerRecording r = Recording(256);
    v.logger.SetRecording(r);
    v.ConnectOnPort1();
    // The first block arrives cut short; the repeat 900 ms later fetches it whole.
    bool cut = false;
    v.channel.SetResponder([&](int, const QByteArray& w) {
        QByteArray out = v.logger.Feed(w);
        if (!cut && uint8_t(w[0]) == Logger::kBlockRequest) {
            cut = true;
            return out.left(100);
        }
        return out;
    });
    ASSERT_TRUE(v.RunDownload());
    EXPECT_EQ(v.outcomes.back(), DownloadOutcome::Completed);
    const auto reqs = v.BlockRequests();
    ASSERT_EQ(reqs.size(), 3u);
    EXPECT_EQ(reqs[0], reqs[1]);
    EXPECT_EQ(v.set.ChannelRms(0)[0], ScaledRms(r.samples[0][0]));
}

TEST(LinkDownload, ShortReplyIsNeverCopiedPastItsEnd) {
    // A reply shorter than the state's copy (a header-sized reply while a full block
    // is expected) is not taken as the block.
    VirtualLink v;
    v.logger.SetRecording(Recording(256));
    v.ConnectOnPort1();
    v.channel.SetReplyDelayMs(50);
    v.link.StartTransfer(TransferKind::Download);
    v.clock.Advance(55); // header in, first request out, its block not yet back
    ASSERT_EQ(v.link.Download().State(), ReceiveState::ExpectFullBlock);
    v.channel.ClearInput();
    v.channel.SetThreshold(1);
    v.channel.Inject(QByteArray(10, char(0x11)));
    EXPECT_EQ(v.link.Download().Received(), 0u);
    v.clock.Advance(10000);
    EXPECT_FALSE(v.outcomes.empty());
}

TEST(LinkDownload, HeaderOutcomes) {
    struct Case {
        LoggerFaults faults;
        DownloadOutcome outcome;
        const char* text;
        PromptIcon icon;
    };
    const Case cases[] = {
        {{.loggingNow = true},
         DownloadOutcome::LoggingNow,
         "The DATA LOGGER is logging now!Please stop logging,and try again!",
         PromptIcon::Information},
        {{.noData = true},
         DownloadOutcome::NoData,
         "There is no data in DATALOGGER!",
         PromptIcon::Exclamation},
        {{.zeroChannels = true},
         DownloadOutcome::NoData,
         "There is no data in DATALOGGER!",
         PromptIcon::Exclamation},
    };
    for (const Case& c : cases) {
        VirtualLink v;
        FillShownSet(v.set);
        v.logger.SetRecording(Recording(100));
        v.logger.SetFaults(c.faults);
        v.ConnectOnPort1();
        ASSERT_TRUE(v.RunDownload(3000));
        EXPECT_EQ(v.outcomes.back(), c.outcome);
        ASSERT_EQ(v.prompts.shown.size(), 1u);
        EXPECT_EQ(v.prompts.shown[0].text, c.text);
        EXPECT_EQ(v.prompts.shown[0].icon, c.icon);
        EXPECT_TRUE(v.BlockRequests().empty());
        EXPECT_EQ(v.set.RmsCount(), 3);
        EXPECT_EQ(v.set.ChannelCount(), 1);
        EXPECT_EQ(v.set.ChannelPresent(1), 0);
        // A channel count of 0 ends the transfer as a length of 0 does.
        if (c.outcome == DownloadOutcome::NoData) {
            EXPECT_FALSE(v.link.TransferMode());
            EXPECT_FALSE(v.channel.IsOpen());
        }
    }
}

TEST(LinkDownload, BareLoggingNowByteIsHeardAtTheStartRepeat) {
    VirtualLink v;
    v.ConnectOnPort1();
    v.channel.QueueReply(Logger::kStartDownload, QByteArray(1, char(Logger::kLoggingNow)));
    ASSERT_TRUE(v.RunDownload(3000));
    EXPECT_EQ(v.outcomes.back(), DownloadOutcome::LoggingNow);
    EXPECT_EQ(v.prompts.shown.size(), 1u);
    EXPECT_EQ(v.channel.WritesStartingWith(Logger::kStartDownload).size(), 1u);
}

TEST(LinkDownload, DamagedHeaderIsRefused) {
    for (auto damage : {0, 1}) {
        VirtualLink v;
        DownloadHeader h = RecordingHeader(Recording(10), 40);
        if (damage == 0)
            h.channelCount = 3;
        else
            h.dataLength = 600000;
        v.logger.SetRecording(h, QByteArray(40, '\0'));
        v.ConnectOnPort1();
        ASSERT_TRUE(v.RunDownload(3000));
        EXPECT_EQ(v.outcomes.back(), DownloadOutcome::DamagedHeader);
        EXPECT_TRUE(v.prompts.LastText().contains("damaged"));
        EXPECT_TRUE(v.BlockRequests().empty());
        EXPECT_FALSE(v.link.TransferMode());
    }
}

TEST(LinkDownload, StartCommandIsRepeatedOnceAndSilenceEndsWithAMessageAfterFiveSeconds) {
    // A logger that never answers the start command used to leave the download
    // waiting for ever, without a word.
    VirtualLink v;
    v.logger.SetRecording(Recording(10));
    FillShownSet(v.set);
    v.ConnectOnPort1();
    v.logger.SetFaults(LoggerFaults{.silent = true});
    const int64_t started = v.clock.NowMs();
    ASSERT_TRUE(v.RunDownload(10000));
    EXPECT_EQ(v.clock.NowMs() - started, 5000);
    EXPECT_EQ(v.outcomes.back(), DownloadOutcome::Interrupted);
    EXPECT_EQ(v.channel.WritesStartingWith(Logger::kStartDownload).size(), 2u);
    ASSERT_EQ(v.prompts.shown.size(), 1u);
    EXPECT_EQ(v.prompts.shown[0].text, "Communication interruption!");
    EXPECT_FALSE(v.link.TransferMode());
    EXPECT_EQ(v.set.ChannelRms(0), (std::vector<float>{1, 2, 3})); // the data shown stay
    v.clock.Advance(20000);
    EXPECT_EQ(v.prompts.shown.size(), 1u); // said once
}

TEST(LinkDownload, AnAnswerToTheStartCommandStopsTheHeaderWatchdog) {
    VirtualLink v;
    v.ConnectOnPort1();
    v.logger.SetFaults(LoggerFaults{.loggingNow = true});
    v.link.StartTransfer(TransferKind::Download);
    v.clock.Advance(20000);
    ASSERT_EQ(v.prompts.shown.size(), 1u);
    EXPECT_EQ(v.prompts.shown[0].text,
              "The DATA LOGGER is logging now!Please stop logging,and try again!");
}

TEST(LinkDownload, StartCommandOnAPortThatNoLongerOpensEndsWithAMessage) {
    VirtualLink v;
    v.logger.SetRecording(Recording(10));
    v.ConnectOnPort1();
    v.channel.SetOpenable(1, false); // pulled out after the last supervision
    v.link.StartTransfer(TransferKind::Download);
    v.clock.Advance(10000);
    ASSERT_EQ(v.outcomes.size(), 1u);
    EXPECT_EQ(v.outcomes.back(), DownloadOutcome::Interrupted);
    ASSERT_EQ(v.prompts.shown.size(), 1u);
    EXPECT_EQ(v.prompts.shown[0].text, "Communication interruption!");
    EXPECT_FALSE(v.link.TransferMode());
    EXPECT_FALSE(v.channel.IsOpen());
    EXPECT_EQ(v.channel.Threshold(), 1);
}

TEST(LinkDownload, LoadingShownBlocksNothingButIsReported) {
    VirtualLink v;
    v.logger.SetRecording(Recording(1000));
    v.ConnectOnPort1();
    ASSERT_TRUE(v.link.ActionAllowed(LinkDialog::Download));
    v.link.StartTransfer(TransferKind::Download);
    v.clock.Advance(5);
    EXPECT_TRUE(v.link.LoadingShown());
    v.clock.AdvanceUntil([&] { return !v.outcomes.empty(); }, 10000);
    EXPECT_FALSE(v.link.LoadingShown());
}

} // namespace
