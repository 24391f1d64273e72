// The windowless download (command-line tool, benchmark) in virtual time, built by
// the same factory as theirs: it must end as the window's download does.

#include "LinkTestSupport.h"

#include "link/DownloadJob.h"

namespace {

LoggerRecording SmallRecording() {
    SyntheticOptions o;
    o.samples = 300;
    return SyntheticRecording(o);
}

TEST(DownloadJob, SilentStartCommandEndsByTheWatchdogLikeTheWindow) {
    VirtualLink v;
    v.logger.SetRecording(SmallRecording());
    LoggerFaults f;
    f.silentStart = true;
    v.logger.SetFaults(f);
    v.channel.SetOpenable(1);
    v.loggerPort = 1;
    DownloadJob job(*v.headless);
    EXPECT_EQ(job.Run(60000), DownloadResult::Interrupted);
    EXPECT_EQ(v.prompts.LastText(), "Communication interruption!");
    // The 5 s watchdog of the start command, not an earlier rule of its own.
    EXPECT_GE(job.TransferMs(), 5000);
    EXPECT_LE(job.TransferMs(), 5020);
    EXPECT_EQ(v.channel.WritesStartingWith(Logger::kStartDownload).size(), 2u); // one repeat
    EXPECT_FALSE(v.link.TransferMode());
}

TEST(DownloadJob, SearchScansAgainAfterAFailedProbeCycleUntilTheLoggerAnswers) {
    VirtualLink v;
    v.logger.SetRecording(SmallRecording());
    v.channel.SetOpenable(1);
    // The logger misses the probes of the first cycles (plugged in late, say).
    v.channel.SetResponder([&v](int port, const QByteArray& w) {
        return port == 1 && v.clock.NowMs() > 4000 ? v.logger.Feed(w) : QByteArray();
    });
    DownloadJob job(*v.headless);
    ASSERT_EQ(job.Run(60000, 60000), DownloadResult::Completed);
    EXPECT_EQ(v.set.RmsCount(), 300);
    EXPECT_GE(v.channel.WritesStartingWith(Logger::kProbe).size(), 4u);
}

TEST(DownloadJob, NoLoggerOnlyOnceTheSearchLimitHasPassed) {
    VirtualLink v;
    v.channel.SetOpenable(1);
    DownloadJob job(*v.headless);
    EXPECT_EQ(job.Run(60000, 7000), DownloadResult::NoLogger);
    EXPECT_GE(v.clock.NowMs(), 7000);
    EXPECT_LE(v.clock.NowMs(), 7100);
    // A cycle of one port lasts 1000 ms and the next scan follows 1000 ms later.
    EXPECT_GE(v.channel.WritesStartingWith(Logger::kProbe).size(), 6u);
    EXPECT_FALSE(v.link.IsAnyLinkDialogOpen());
}

} // namespace
