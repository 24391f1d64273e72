// The link in the main frame's state: the hand-over of a completed download, the
// Download Data command and the two dialogs, in virtual time on the fake channel.

#include "base/Clock.h"
#include "base/Prompts.h"
#include "base/Timers.h"
#include "data/PreviousMeasurement.h"
#include "shell/AppShell.h"
#include "shell/FileCommands.h"
#include "shell/LinkSession.h"
#include "sim/FakeSerialChannel.h"
#include "sim/LoggerModel.h"
#include "support/StoredSetBuilder.h"
#include "support/TestApp.h"
#include "ui/CDownloadDlg.h"
#include "ui/CLoadingDlg.h"

#include <QApplication>
#include <QDir>
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
            firstPointAtStoreRms = shell.Graph().FirstPoint();
        });
        QObject::connect(&shell, &AppShell::workBuffersSized,
                         [this](int64_t n) { workBufferPoints = n; });
        shell.SetOfferSaveBeforeDownload([this] {
            ++offers;
            return true;
        });
        QObject::connect(&session.Link().Download(), &DownloadTransfer::downloadFinished,
                         [this](DownloadOutcome outcome) { outcomes.push_back(outcome); });
    }
    void Connect() {
        ASSERT_TRUE(session.BeginDownloadCommand());
        session.Link().OpenDialog(LinkDialog::Download);
        ASSERT_TRUE(clock.AdvanceUntil(
            [&] {
                return session.Link().Dialog(LinkDialog::Download).state == LinkState::Connected;
            },
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
    shell.Set().SetLoadedFromFile(true);
    Connect();
    EXPECT_EQ(offers, 1);
    ASSERT_TRUE(Download());
    ASSERT_EQ(outcomes.back(), DownloadOutcome::Completed);
    EXPECT_EQ(shell.Set().RmsCount(), 600);
    EXPECT_EQ(shell.Set().TrCount(), 2);
    EXPECT_EQ(shell.Set().DataTag(), "RMSTRDATA");
    EXPECT_EQ(storeRmsRuns, 1);
    EXPECT_EQ(firstPointAtStoreRms, 1);
    EXPECT_EQ(shell.Graph().LastPoint(), 600);
    EXPECT_EQ(workBufferPoints, 100000);
    EXPECT_EQ(shell.DataUnsaved(), 1);
    EXPECT_EQ(shell.Graph().DisplayContent(), 1);
    EXPECT_EQ(shell.Set().LoadedFromFile(), 0);
    EXPECT_TRUE(timers.IsActive(FrameTimer::ResetScale));
    EXPECT_EQ(timers.PeriodOf(FrameTimer::ResetScale), 50);
    EXPECT_TRUE(QFileInfo::exists(PreviousMeasurementPath()));
}

TEST_F(Frame, ASecondDownloadReplacedUnsavedDataWithoutAsking) {
    std::vector<WorkReport> done;
    QObject::connect(&shell.Notices(), &WorkNotices::workDone,
                     [&](const WorkReport& r) { done.push_back(r); });
    Connect();
    ASSERT_TRUE(Download());
    ASSERT_EQ(outcomes.back(), DownloadOutcome::Completed);
    // The status bar is told what came; the data are in no file yet.
    ASSERT_EQ(done.size(), 1u);
    EXPECT_EQ(done[0].what, WorkDone::Downloaded);
    EXPECT_EQ(done[0].samples, 600);
    EXPECT_EQ(done[0].records, 2);
    EXPECT_TRUE(shell.ShownFile().isEmpty());

    shell.SetOfferSaveBeforeDownload(nullptr);
    FileCommands files(shell); // the real prompt
    prompts.QueueAnswer(PromptAnswer::No);
    const size_t before = prompts.shown.size();
    ASSERT_TRUE(session.BeginDownloadCommand());
    ASSERT_EQ(prompts.shown.size(), before + 1);
    EXPECT_EQ(prompts.LastText(),
              "Do you want to save the existing RMS&TR graph data before continuing?");
    EXPECT_EQ(prompts.shown.back().icon, PromptIcon::Question);
}

// After one download was saved, a second one left Open and closing without a
// question: the save had cleared the flag they ask by, and only a real-time
// sample or a new setup set it again. Opening a file then replaced the new
// measurement, and closing dropped it.
TEST_F(Frame, OpenReplacedAnUnsavedSecondDownloadWithoutAsking) {
    shell.SetOfferSaveBeforeDownload(nullptr);
    FileCommands files(shell); // the real prompts
    Connect();
    ASSERT_TRUE(Download());
    prompts.QueueFile(dir.filePath("first.stdata"));
    ASSERT_TRUE(shell.Execute(Cmd::Save));
    ASSERT_TRUE(QFileInfo::exists(dir.filePath("first.stdata")));
    ASSERT_FALSE(shell.DataUnsaved());

    outcomes.clear();
    Connect();
    ASSERT_TRUE(Download());
    ASSERT_EQ(outcomes.back(), DownloadOutcome::Completed);
    EXPECT_TRUE(shell.DataUnsaved());
    EXPECT_TRUE(shell.PromptOnOpen()); // closing asks too

    const size_t before = prompts.shown.size();
    prompts.QueueAnswer(PromptAnswer::No);
    prompts.QueueFile(dir.filePath("first.stdata"));
    ASSERT_TRUE(shell.Execute(Cmd::Open));
    ASSERT_EQ(prompts.shown.size(), before + 1);
    EXPECT_EQ(prompts.LastText(), "Do you want to save the existing graph data before continuing?");
}

TEST_F(Frame, APreviousMeasurementThatCannotBeWrittenIsReportedAndTheDataShown) {
    // A folder in the file's place (with something in it) cannot be replaced, not even
    // by root.
    ASSERT_TRUE(QDir().mkpath(PreviousMeasurementPath() + "/inside"));
    std::vector<QString> status;
    QObject::connect(&shell, &AppShell::statusText, [&](const QString& t) { status.push_back(t); });
    Connect();
    ASSERT_TRUE(Download());
    ASSERT_EQ(outcomes.back(), DownloadOutcome::Completed);
    EXPECT_EQ(shell.Set().RmsCount(), 600);
    EXPECT_EQ(storeRmsRuns, 1);
    const QString expected = QStringLiteral("The previous measurement could not be kept in %1: a "
                                            "folder of that name is in the way")
                                 .arg(PreviousMeasurementPath());
    ASSERT_FALSE(status.empty());
    EXPECT_EQ(status.back(), expected); // what the status bar is left showing
    EXPECT_TRUE(QFileInfo(PreviousMeasurementPath() + "/inside").isDir());
}

TEST_F(Frame, InterruptedDownloadLeavesGraphAndFilesAlone) {
    shell.Graph().SetFirstPoint(5);
    shell.Graph().SetLastPoint(9);
    logger.SetFaults(LoggerFaults{.dropBlock = 2, .dropCount = 2});
    Connect();
    ASSERT_TRUE(Download());
    EXPECT_EQ(outcomes.back(), DownloadOutcome::Interrupted);
    EXPECT_EQ(prompts.LastText(), "Communication interruption!");
    EXPECT_EQ(storeRmsRuns, 0);
    EXPECT_EQ(shell.Graph().FirstPoint(), 5);
    EXPECT_EQ(shell.Graph().LastPoint(), 9);
    EXPECT_EQ(shell.Set().RmsCount(), 0);
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
    // The button did nothing: the message line says why.
    EXPECT_EQ(dlg.MessageLabel()->text(),
              "Waiting for the logger: no reply on the serial ports yet.");

    clock.Advance(200);
    EXPECT_EQ(dlg.windowTitle(), "Connected");
    EXPECT_EQ(dlg.MessageLabel()->text(),
              "Press \"Download\" to load store data from the logger, or \"Cancel\" to exit.");
    QTest::mouseClick(dlg.DownloadButton(), Qt::LeftButton);
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_TRUE(session.Link().TransferMode());
    EXPECT_EQ(shell.DataUnsaved(), 1);
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
    EXPECT_TRUE(channel.Writes().empty());
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

// The loading dialog wired as the main frame wires it: it shows what the link says
// and forwards Cancel.
struct LoadingWiring {
    CLoadingDlg dlg;
    explicit LoadingWiring(LinkSession& session) {
        LinkController& link = session.Link();
        QObject::connect(&link.Download(), &DownloadTransfer::loadingOpened,
                         [this](int range) { dlg.Open(range, nullptr); });
        QObject::connect(&link.Download(), &DownloadTransfer::loadingProgress,
                         [this](int pos) { dlg.SetPosition(pos); });
        QObject::connect(&link, &LinkController::loadingText,
                         [this](const QString& t) { dlg.SetText(t); });
        QObject::connect(&link.Download(), &DownloadTransfer::loadingClosed,
                         [this] { dlg.hide(); });
        QObject::connect(&dlg, &CLoadingDlg::cancelRequested, &dlg,
                         [&session] { session.CancelDownload(); });
    }
};

TEST_F(Frame, CancelOrEscapeInTheLoadingDialogStopsTheDownloadAndKeepsDataAndFiles) {
    for (const bool escape : {false, true}) {
        outcomes.clear();
        const QByteArray previous = "previous measurement bytes";
        {
            QFile f(PreviousMeasurementPath());
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(previous);
        }
        EditStored(shell.Set(), [&](StoredSet& d) {
            d.SetChannelPresent(0, 1);
            d.SetRmsCount(3);
        });
        SetValues(shell.Set(), 0, {1, 2, 3});
        shell.Set().SetDataTag("shown");
        shell.Graph().SetFirstPoint(2);
        shell.Graph().SetLastPoint(3);
        LoadingWiring w(session);
        Connect();
        ASSERT_TRUE(session.PressDownload());
        ASSERT_TRUE(
            clock.AdvanceUntil([&] { return session.Link().Download().Received() >= 1024; }, 2000));
        ASSERT_TRUE(w.dlg.isVisible());
        EXPECT_TRUE(w.dlg.Label()->text().startsWith("Block 2 of 7, 1024 of 3424 bytes"))
            << w.dlg.Label()->text().toStdString();
        EXPECT_EQ(w.dlg.CancelButton()->text(), "Cancel");
        if (escape)
            QTest::keyClick(&w.dlg, Qt::Key_Escape);
        else
            QTest::mouseClick(w.dlg.CancelButton(), Qt::LeftButton);
        ASSERT_EQ(outcomes.size(), 1u) << escape;
        EXPECT_EQ(outcomes.back(), DownloadOutcome::Cancelled);
        EXPECT_FALSE(w.dlg.isVisible());
        EXPECT_FALSE(channel.IsOpen());
        clock.Advance(10000);
        EXPECT_TRUE(prompts.shown.empty()) << prompts.LastText().toStdString();
        EXPECT_EQ(storeRmsRuns, 0);
        EXPECT_EQ(shell.Set().RmsCount(), 3);
        EXPECT_EQ(shell.Set().ChannelRms(0), (std::vector<float>{1, 2, 3}));
        EXPECT_EQ(shell.Set().DataTag(), "shown");
        EXPECT_EQ(shell.Graph().FirstPoint(), 2);
        EXPECT_EQ(shell.Graph().LastPoint(), 3);
        QFile f(PreviousMeasurementPath());
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        EXPECT_EQ(f.readAll(), previous);
        // The Download Data command works again.
        EXPECT_TRUE(session.BeginDownloadCommand());
        session.DownloadDialogClosed();
    }
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
