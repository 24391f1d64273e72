// The link in the main frame's state: the hand-over of a completed download, the
// Download Data command and the two dialogs, in virtual time on the fake channel.

#include "base/Clock.h"
#include "base/Prompts.h"
#include "base/Timers.h"
#include "data/PreviousMeasurement.h"
#include "link/FakeSerialChannel.h"
#include "link/LoggerModel.h"
#include "shell/AppShell.h"
#include "shell/LinkSession.h"
#include "support/TestApp.h"
#include "ui/CDownloadDlg.h"
#include "ui/CLoadingDlg.h"

#include <QApplication>
#include <QFileInfo>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest/QTest>

#include <gtest/gtest.h>

namespace {

struct Frame : ::testing::Test {
    Frame() {
        App();
        qputenv("DATALOGGER_DIR", dir.path().toLocal8Bit());
        channel.SetOpenable(1);
        channel.SetResponder([this](int, const QByteArray& w) { return logger.Feed(w); });
        SyntheticOptions o;
        o.samples = 600;
        o.trEvery = 250;
        logger.SetRecording(SyntheticRecording(o));
        shell.RegisterCommand(Cmd::StoreRms, [this] {
            storeRmsRuns++;
            firstPointAtStoreRms = shell.m_graph.FirstPoint();
        });
        shell.onSizeWorkBuffers = [this](int64_t n) { workBufferPoints = n; };
        shell.onOfferSaveBeforeDownload = [this] {
            ++offers;
            return true;
        };
        session.Link().onDownloadEnded = [this](DownloadOutcome o) { outcomes.push_back(o); };
    }
    void Connect() {
        ASSERT_TRUE(session.BeginDownloadCommand());
        session.Link().OpenDialog(LinkDialog::Download);
        ASSERT_TRUE(clock.AdvanceUntil(
            [&] { return session.Link().Dialog(LinkDialog::Download).title == "Connected"; },
            2000));
    }
    bool Download(int64_t limitMs = 20000) {
        if (!session.PressDownload())
            return false;
        return clock.AdvanceUntil([&] { return !outcomes.empty(); }, limitMs);
    }

    QTemporaryDir dir;
    ManualClock clock;
    ManualTimerTable timers{clock};
    FakePrompts prompts;
    FixedClock now{1265202300};
    AppShell shell{timers, prompts, now, dir.filePath("LumoDATALOGGER.ini")};
    FakeSerialChannel channel{&clock};
    LinkSession session{shell, channel};
    LoggerModel logger;
    std::vector<DownloadOutcome> outcomes;
    int storeRmsRuns = 0;
    int firstPointAtStoreRms = -1;
    int64_t workBufferPoints = 0;
    int offers = 0;
};

TEST_F(Frame, CompletedDownloadIsHandedOverInOrder) {
    shell.m_set.m_loadedFromFile = 1;
    Connect();
    EXPECT_EQ(offers, 1);
    ASSERT_TRUE(Download());
    ASSERT_EQ(outcomes.back(), DownloadOutcome::Completed);
    EXPECT_EQ(shell.m_set.m_rmsCount, 600);
    EXPECT_EQ(shell.m_set.m_trCount, 2);
    EXPECT_EQ(shell.m_set.m_dataTag, "RMSTRDATA");
    EXPECT_EQ(storeRmsRuns, 1);
    EXPECT_EQ(firstPointAtStoreRms, 1);
    EXPECT_EQ(shell.m_graph.LastPoint(), 600);
    EXPECT_EQ(workBufferPoints, 100000);
    EXPECT_EQ(shell.m_dataUnsaved, 1);
    EXPECT_EQ(shell.m_graph.DisplayContent(), 1);
    EXPECT_EQ(shell.m_set.m_loadedFromFile, 0);
    EXPECT_TRUE(timers.IsActive(FrameTimer::ResetScale));
    EXPECT_EQ(timers.PeriodOf(FrameTimer::ResetScale), 50);
    EXPECT_TRUE(QFileInfo::exists(PreviousMeasurementPath()));
}

TEST_F(Frame, InterruptedDownloadLeavesGraphAndFilesAlone) {
    shell.m_graph.SetFirstPoint(5);
    shell.m_graph.SetLastPoint(9);
    logger.SetFaults(LoggerFaults{.dropBlock = 2});
    Connect();
    ASSERT_TRUE(Download());
    EXPECT_EQ(outcomes.back(), DownloadOutcome::Interrupted);
    EXPECT_EQ(prompts.LastText(), "Communication interruption!");
    EXPECT_EQ(storeRmsRuns, 0);
    EXPECT_EQ(shell.m_graph.FirstPoint(), 5);
    EXPECT_EQ(shell.m_graph.LastPoint(), 9);
    EXPECT_EQ(shell.m_set.m_rmsCount, 0);
    EXPECT_FALSE(QFileInfo::exists(PreviousMeasurementPath()));
}

TEST_F(Frame, DownloadCommandDoesNothingWhileLoading) {
    Connect();
    ASSERT_TRUE(session.PressDownload());
    clock.Advance(5);
    ASSERT_TRUE(session.Link().LoadingShown());
    EXPECT_FALSE(session.BeginDownloadCommand());
    EXPECT_EQ(offers, 1);
}

TEST_F(Frame, DownloadDialogShowsTheLinkAndActsOnlyWhenConnected) {
    ASSERT_TRUE(session.BeginDownloadCommand());
    CDownloadDlg dlg(session);
    dlg.show();
    EXPECT_EQ(dlg.windowTitle(), "Connecting...");
    EXPECT_EQ(dlg.MessageLabel()->text(), "Waiting for connecting...");
    QTest::mouseClick(dlg.DownloadButton(), Qt::LeftButton);
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_FALSE(session.Link().TransferMode());

    clock.Advance(200);
    EXPECT_EQ(dlg.windowTitle(), "Connected");
    EXPECT_EQ(dlg.MessageLabel()->text(),
              "Press \"Download\" to load store data from the logger, or \"Cancel\" to exit.");
    QTest::mouseClick(dlg.DownloadButton(), Qt::LeftButton);
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_TRUE(session.Link().TransferMode());
    EXPECT_EQ(shell.m_dataUnsaved, 1);
    EXPECT_FALSE(session.Link().IsAnyLinkDialogOpen());
    EXPECT_FALSE(timers.IsActive(FrameTimer::Supervision));
}

TEST_F(Frame, CancelStopsTheSearch) {
    ASSERT_TRUE(session.BeginDownloadCommand());
    {
        CDownloadDlg dlg(session);
        dlg.show();
        QTest::mouseClick(dlg.findChild<QPushButton*>("cancel"), Qt::LeftButton);
        EXPECT_FALSE(dlg.isVisible());
    }
    EXPECT_FALSE(timers.IsActive(FrameTimer::PortScan));
    EXPECT_FALSE(session.Link().IsAnyLinkDialogOpen());
    clock.Advance(1000);
    EXPECT_TRUE(channel.writes.empty());
}

TEST_F(Frame, CancelWhileProbingClosesThePort) {
    channel.SetResponder([](int, const QByteArray&) { return QByteArray(); }); // no logger
    ASSERT_TRUE(session.BeginDownloadCommand());
    {
        CDownloadDlg dlg(session);
        dlg.show();
        clock.Advance(150); // scanned, port 1 probed and left open for the answer
        ASSERT_TRUE(channel.IsOpen());
        QTest::mouseClick(dlg.findChild<QPushButton*>("cancel"), Qt::LeftButton);
    }
    EXPECT_FALSE(channel.IsOpen());
    clock.Advance(2000);
    EXPECT_FALSE(channel.IsOpen());
}

TEST(LoadingDialog, RangeAndPosition) {
    App();
    CLoadingDlg dlg;
    dlg.Open(1025, nullptr);
    EXPECT_EQ(dlg.windowTitle(), "Loading...");
    EXPECT_EQ(dlg.Bar()->maximum(), 1025);
    EXPECT_EQ(dlg.Bar()->value(), 1);
    for (int p = 2; p <= 1025; ++p)
        dlg.SetPosition(p);
    EXPECT_EQ(dlg.Bar()->value(), 1025);
    EXPECT_EQ(dlg.Position(), 1025);
}

} // namespace
