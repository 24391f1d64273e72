// A line that loses or adds bytes during a download, a download stopped by the user,
// and the search's message when no port opens: in virtual time on the fake channel.

#include "LinkTestSupport.h"
#include "support/StoredSetBuilder.h"

namespace {

LoggerRecording Recording(int64_t samples) {
    SyntheticOptions o;
    o.samples = samples;
    return SyntheticRecording(o);
}

void ExpectSameAsRecording(const MeasurementSet& s, const LoggerRecording& r) {
    ASSERT_EQ(s.RmsCount(), int(r.samples.size()));
    ASSERT_EQ(s.TrCount(), int(r.tr.size()));
    for (size_t i = 0; i < r.samples.size(); ++i) {
        ASSERT_EQ(s.ChannelRms(0)[i], ScaledRms(r.samples[i][0])) << i;
        ASSERT_EQ(s.ChannelRms(1)[i], ScaledRms(r.samples[i][1])) << i;
    }
    for (size_t k = 0; k < r.tr.size(); ++k)
        for (size_t j = 0; j < 251; ++j)
            ASSERT_EQ(s.TrWave()[k * 251 + j], float(r.tr[k].wave[j])) << k;
}

// --- the repeat of a block request (timer 10) ---

TEST(BlockRepeat, ALostRequestIsAskedAgainAfter900MsAndTheDownloadCompletes) {
    VirtualLink v;
    const LoggerRecording r = Recording(1000); // 4000 bytes: 7 full blocks and a short one
    v.logger.SetRecording(r);
    v.logger.SetFaults(LoggerFaults{.dropBlock = 3});
    v.ConnectOnPort1();
    const int64_t start = v.clock.NowMs();
    ASSERT_TRUE(v.RunDownload());
    EXPECT_EQ(v.outcomes.back(), DownloadOutcome::Completed);
    EXPECT_TRUE(v.prompts.shown.empty());
    const auto reqs = v.BlockRequests();
    ASSERT_EQ(reqs.size(), 9u);
    EXPECT_EQ(reqs[2], reqs[3]); // the third request, once more
    // One lost request costs the repeat's 900 ms, the wait for the copy that would be
    // owed had the first reply been late (1000 ms) and, at the end, the look for a reply
    // too many (900 ms): seconds, not the download.
    EXPECT_LT(v.clock.NowMs() - start, 3000);
    ExpectSameAsRecording(v.set, r);
}

// A logger that answers the n-th block request `lateMs` late. In order: a logger
// that finishes one reply before it reads the next request sends the repeat's reply
// right behind the late one; otherwise the repeat is answered at once.
struct LateLine {
    VirtualLink& v;
    ManualTimerTable late{v.clock};
    int lateRequest, lateMs;
    bool inOrder;
    int requests = 0;
    std::vector<QByteArray> held; // replies not yet sent, in order
    LateLine(VirtualLink& link, int n, int ms, bool ordered)
        : v(link), lateRequest(n), lateMs(ms), inOrder(ordered) {
        late.SetHandler([this](int id) {
            late.Kill(id);
            const std::vector<QByteArray> now = std::move(held);
            held.clear();
            for (const QByteArray& r : now)
                v.channel.Inject(r);
        });
        v.channel.SetResponder([this](int, const QByteArray& w) {
            QByteArray out = v.logger.Feed(w);
            if (uint8_t(w[0]) != Logger::kBlockRequest)
                return out;
            if (++requests == lateRequest) {
                held.push_back(out);
                late.Start(1, lateMs);
                return QByteArray();
            }
            if (inOrder && !held.empty()) {
                held.push_back(out);
                return QByteArray();
            }
            return out;
        });
    }
};

// A block request repeated (timer 10) because its reply was late is answered twice;
// the second copy used to be taken for the next block, and the download ended with
// success and every later value a block out of place.
TEST(BlockRepeat, ALateReplyAnsweredTwiceIsTakenOnceAndTheDownloadEqualsTheRecording) {
    for (bool inOrder : {false, true}) {
        for (int lateMs : {1000, 1400, 3000}) {
            for (int n : {1, 3, 8}) { // the first, a middle and the short last block
                SCOPED_TRACE(testing::Message() << "in order " << inOrder << ", " << lateMs
                                                << " ms late, request " << n);
                VirtualLink v;
                const LoggerRecording r = Recording(1000); // 7 full blocks and a short one
                v.logger.SetRecording(r);
                LateLine line(v, n, lateMs, inOrder);
                v.ConnectOnPort1();
                ASSERT_TRUE(v.RunDownload());
                ASSERT_EQ(v.outcomes.back(), DownloadOutcome::Completed);
                EXPECT_TRUE(v.prompts.shown.empty());
                ExpectSameAsRecording(v.set, r);
                // Each block asked for once, the late one twice.
                EXPECT_EQ(v.BlockRequests().size(), 9u);
            }
        }
    }
}

// A copy later than the wait for it: given up for lost, it takes a block's place when
// it comes, and the reply too many at the end gives the shift away.
TEST(BlockRepeat, ACopyLaterThanTheWaitForItEndsTheDownloadEqualOrInterrupted) {
    int completed = 0, interrupted = 0;
    for (int lateMs : {950, 1500, 2500, 4000, 5500}) {
        for (int n : {2, 40}) {
            SCOPED_TRACE(testing::Message() << lateMs << " ms late, request " << n);
            VirtualLink v;
            v.channel.SetReplyDelayMs(25); // 80 blocks take 2 s
            const LoggerRecording r = Recording(10000);
            v.logger.SetRecording(r);
            LateLine line(v, n, lateMs, false);
            v.ConnectOnPort1();
            ASSERT_TRUE(v.RunDownload());
            if (v.outcomes.back() == DownloadOutcome::Completed) {
                ++completed;
                ExpectSameAsRecording(v.set, r);
            } else {
                ++interrupted;
                EXPECT_EQ(v.outcomes.back(), DownloadOutcome::Interrupted);
                EXPECT_TRUE(v.prompts.Saw("Communication interruption!"));
            }
        }
    }
    // Within the wait the copy is dropped; past it, the download says it failed.
    EXPECT_GE(completed, 2);
    EXPECT_GE(interrupted, 1);
}

TEST(BlockRepeat, AReplyLaterThanTheWatchdogIsAnInterruptionNotOtherValues) {
    VirtualLink v;
    v.logger.SetRecording(Recording(1000));
    FillShownSet(v.set);
    LateLine line(v, 3, 6000, true);
    v.ConnectOnPort1();
    ASSERT_TRUE(v.RunDownload());
    EXPECT_EQ(v.outcomes.back(), DownloadOutcome::Interrupted);
    EXPECT_TRUE(v.prompts.Saw("Communication interruption!"));
    ExpectShownSetKept(v.set);
}

// --- replies longer than awaited ---

// Stray bytes in front of the n-th block reply.
struct NoisyLine {
    VirtualLink& v;
    std::set<int> noisyReplies; // 1-based block request numbers
    int requests = 0;
    explicit NoisyLine(VirtualLink& link, std::set<int> noisy)
        : v(link), noisyReplies(std::move(noisy)) {
        v.channel.SetResponder([this](int, const QByteArray& w) {
            QByteArray out = v.logger.Feed(w);
            if (uint8_t(w[0]) == Logger::kBlockRequest && noisyReplies.count(++requests))
                out.prepend(QByteArray("\x13\x37\x00", 3));
            return out;
        });
    }
};

TEST(NoiseOnTheLine, StrayBytesBeforeABlockAreNeverCopiedAndTheBlockIsAskedAgain) {
    for (int noisy : {1, 4, 8}) { // first block, a middle one, the short last one
        VirtualLink v;
        const LoggerRecording r = Recording(1000);
        v.logger.SetRecording(r);
        NoisyLine line(v, {noisy});
        v.ConnectOnPort1();
        ASSERT_TRUE(v.RunDownload()) << noisy;
        EXPECT_EQ(v.outcomes.back(), DownloadOutcome::Completed) << noisy;
        EXPECT_TRUE(v.prompts.shown.empty());
        ExpectSameAsRecording(v.set, r);
        // The block after noise is asked again, and the one before it too (its reply
        // may have been cut at the threshold with the stray bytes in it).
        const auto reqs = v.BlockRequests();
        EXPECT_EQ(reqs.size(), noisy == 1 ? 9u : 10u) << noisy;
    }
}

TEST(NoiseOnTheLine, TheSameBlockNoisyTwiceIsAnInterruptionAndTheShownDataStay) {
    VirtualLink v;
    FillShownSet(v.set);
    v.logger.SetRecording(Recording(1000));
    // Request 3 is block 2; after the noise come block 1 again (request 4) and block 2
    // again (request 5), noisy once more.
    NoisyLine line(v, {3, 5});
    v.ConnectOnPort1();
    ASSERT_TRUE(v.RunDownload());
    EXPECT_EQ(v.outcomes.back(), DownloadOutcome::Interrupted);
    EXPECT_EQ(v.prompts.LastText(), "Communication interruption!");
    EXPECT_FALSE(v.link.TransferMode());
    EXPECT_FALSE(v.link.LoadingShown());
    EXPECT_FALSE(v.channel.IsOpen());
    ExpectShownSetKept(v.set);
}

TEST(NoiseOnTheLine, AReplyCutAtTheThresholdWithStrayBytesInItIsFetchedAgain) {
    // The stray bytes and the first 509 bytes of block 2 fill the threshold and are
    // taken; the block's last 3 bytes come before block 3 and make that reply too
    // long. Block 2 is fetched again with block 3.
    VirtualLink v;
    const LoggerRecording r = Recording(1000);
    v.logger.SetRecording(r);
    int requests = 0;
    QByteArray tail;
    v.channel.SetResponder([&](int, const QByteArray& w) {
        QByteArray out = v.logger.Feed(w);
        if (uint8_t(w[0]) != Logger::kBlockRequest)
            return out;
        ++requests;
        if (requests == 2) {
            out.prepend(QByteArray("\x55\x66\x77", 3));
            tail = out.right(3);
            out.chop(3);
        } else if (requests == 3) {
            out.prepend(tail);
        }
        return out;
    });
    v.ConnectOnPort1();
    ASSERT_TRUE(v.RunDownload());
    EXPECT_EQ(v.outcomes.back(), DownloadOutcome::Completed);
    ExpectSameAsRecording(v.set, r);
    const auto reqs = v.BlockRequests();
    ASSERT_GE(reqs.size(), 5u);
    EXPECT_EQ(VirtualLink::Page(reqs[3]), VirtualLink::Page(reqs[1])); // block 2 again
}

TEST(NoiseOnTheLine, AHeaderWithMoreBytesIsNotTakenAndTheStartCommandGoesOutAgain) {
    VirtualLink v;
    const LoggerRecording r = Recording(200);
    v.logger.SetRecording(r);
    bool first = true;
    v.channel.SetResponder([&](int, const QByteArray& w) {
        QByteArray out = v.logger.Feed(w);
        if (uint8_t(w[0]) == Logger::kStartDownload && first) {
            first = false;
            out.append(QByteArray(5, char(0x42)));
        }
        return out;
    });
    v.ConnectOnPort1();
    ASSERT_TRUE(v.RunDownload());
    EXPECT_EQ(v.outcomes.back(), DownloadOutcome::Completed);
    EXPECT_EQ(v.channel.WritesStartingWith(Logger::kStartDownload).size(), 2u);
    ExpectSameAsRecording(v.set, r);
}

TEST(NoiseOnTheLine, StaleBytesBeforeTheHeaderDoNotStopTheStartCommandsRepeat) {
    // The rest of a block of a cancelled download is still on the line when the next
    // download starts: the header behind it is lost, and the repeat 500 ms later
    // fetches a clean one.
    VirtualLink v;
    const LoggerRecording r = Recording(200);
    v.logger.SetRecording(r);
    bool first = true;
    v.channel.SetResponder([&](int, const QByteArray& w) {
        QByteArray out = v.logger.Feed(w);
        if (uint8_t(w[0]) == Logger::kStartDownload && first) {
            first = false;
            out.prepend(QByteArray(300, char(0x21)));
        }
        return out;
    });
    v.ConnectOnPort1();
    ASSERT_TRUE(v.RunDownload());
    EXPECT_EQ(v.outcomes.back(), DownloadOutcome::Completed);
    EXPECT_EQ(v.channel.WritesStartingWith(Logger::kStartDownload).size(), 2u);
    ExpectSameAsRecording(v.set, r);
}

// --- Cancel ---

TEST(CancelDownload, EndsAtOnceWithoutAMessageClosesThePortAndKeepsTheShownData) {
    VirtualLink v;
    FillShownSet(v.set);
    v.logger.SetRecording(Recording(4000)); // 32 blocks
    v.ConnectOnPort1();
    std::vector<QString> texts;
    bool closed = false;
    QObject::connect(&v.link, &LinkController::loadingText,
                     [&](const QString& t) { texts.push_back(t); });
    QObject::connect(&v.link.Download(), &DownloadTransfer::loadingClosed, [&] { closed = true; });
    v.link.StartTransfer(TransferKind::Download);
    v.link.CloseDialog(LinkDialog::Download);
    v.link.KillLinkTimers();
    ASSERT_TRUE(v.clock.AdvanceUntil([&] { return v.link.Download().Received() >= 5120; }, 2000));
    v.link.CancelTransfer();
    ASSERT_EQ(v.outcomes.size(), 1u);
    EXPECT_EQ(v.outcomes.back(), DownloadOutcome::Cancelled);
    EXPECT_TRUE(closed);
    EXPECT_FALSE(v.link.TransferMode());
    EXPECT_FALSE(v.channel.IsOpen());
    EXPECT_EQ(v.channel.Threshold(), 1);
    const size_t requests = v.BlockRequests().size();
    v.clock.Advance(20000); // no timer of the stopped download fires
    EXPECT_EQ(v.BlockRequests().size(), requests);
    EXPECT_TRUE(v.prompts.shown.empty());
    ExpectShownSetKept(v.set);
    ASSERT_FALSE(texts.empty());
    EXPECT_TRUE(texts.front().startsWith("Block 0 of 32, 0 of 16000 bytes"))
        << texts.front().toStdString();
    // The next download runs as usual.
    v.OpenDownloadDialog();
    ASSERT_TRUE(v.clock.AdvanceUntil([&] { return v.Title() == LinkState::Connected; }, 4000));
    ASSERT_TRUE(v.RunDownload());
    EXPECT_EQ(v.outcomes.back(), DownloadOutcome::Completed);
    EXPECT_EQ(v.set.RmsCount(), 4000);
}

TEST(LoadingText, BlocksBytesAndTimeLeftAtTheRateSoFar) {
    VirtualLink v;
    v.logger.SetRecording(Recording(1000)); // 4000 bytes
    v.channel.SetReplyDelayMs(50);          // 50 ms a block
    v.ConnectOnPort1();
    std::vector<QString> texts;
    QObject::connect(&v.link, &LinkController::loadingText,
                     [&](const QString& t) { texts.push_back(t); });
    ASSERT_TRUE(v.RunDownload());
    ASSERT_EQ(texts.size(), 9u);
    EXPECT_EQ(texts[0], "Block 0 of 8, 0 of 4000 bytes\nestimating the time left");
    // 2 blocks (1024 bytes) in 100 ms: 2976 bytes to go take about 291 ms.
    EXPECT_EQ(texts[2], "Block 2 of 8, 1024 of 4000 bytes\nabout 1 s left");
    EXPECT_EQ(texts.back(), "Block 8 of 8, 4000 of 4000 bytes\nabout 0 s left");
    EXPECT_EQ(LinkController::LoadingText({3, 1024, 1536, 524288}, 125000),
              "Block 3 of 1024, 1536 of 524288 bytes\nabout 2 min 5 s left");
}

// --- the search's message when no port opens ---

TEST(NoPortMessage, AfterAScanThatOpenedNothingTheLineSaysWhatWasTriedThenGivesWay) {
    VirtualLink v;
    v.OpenDownloadDialog();
    EXPECT_EQ(v.Dlg().line, LinkLine::AtOpen);
    v.clock.Advance(100); // the first complete scan
    EXPECT_EQ(v.Dlg().noPortText,
              "No serial port could be opened (tried /dev/ttyFAKE1 ... /dev/ttyFAKE16). Plug in "
              "the logger, or set DATALOGGER_PORTS.");
    EXPECT_EQ(v.Dlg().line, LinkLine::NoPort);
    EXPECT_EQ(v.Title(), LinkState::Connecting);
    EXPECT_TRUE(v.timers.IsActive(4)); // the scan goes on
    // The logger is plugged in: the message gives way to the usual ones.
    v.channel.SetOpenable(3);
    v.loggerPort = 3;
    v.clock.Advance(100);
    EXPECT_EQ(v.Dlg().line, LinkLine::AtOpen);
    ASSERT_TRUE(v.clock.AdvanceUntil([&] { return v.Title() == LinkState::Connected; }, 2000));
    EXPECT_EQ(v.Dlg().line, LinkLine::AfterHandshake);
}

TEST(NoPortMessage, PermissionAndBusyPortsAreNamedWithWhatToDo) {
    VirtualLink v;
    for (int n = 3; n <= 16; ++n)
        v.channel.SetMapped(n, false);
    v.channel.SetDenied(1);
    v.channel.SetBusy(2);
    v.OpenDownloadDialog();
    v.clock.Advance(100);
    EXPECT_EQ(v.Dlg().noPortText,
              "Permission denied for /dev/ttyFAKE1 (group dialout): run sudo adduser $USER "
              "dialout, then log in again. /dev/ttyFAKE2 is busy: another program holds it open.");
    v.channel.SetDenied(1, false);
    v.clock.Advance(100);
    EXPECT_EQ(v.Dlg().noPortText, "/dev/ttyFAKE2 is busy: another program holds it open.");
    v.channel.SetMapped(1, false);
    v.channel.SetBusy(2, false);
    v.clock.Advance(100);
    EXPECT_EQ(v.Dlg().noPortText, "No serial port could be opened (tried /dev/ttyFAKE2). Plug in "
                                  "the logger, or set DATALOGGER_PORTS.");
}

} // namespace
