// The main window downloading from the simulator: Instrument > Download Data, the
// dialog turning "Connected", "Download", the loading dialog, and the new stored set
// in the graph. Real timers and a real pseudo-terminal, bounded to a few seconds.

#include "app/CMainFrame.h"
#include "app/LinkCommands.h"
#include "base/Clock.h"
#include "base/Prompts.h"
#include "base/Timers.h"
#include "shell/AppShell.h"
#include "shell/LinkSession.h"
#include "support/EventLoop.h"
#include "support/Simulator.h"
#include "support/TestApp.h"
#include "support/WindowDownload.h"

#include <QLabel>
#include <QStatusBar>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

TEST(LinkWindow, DownloadDataFromTheSimulatorEndsInTheStoredGraph) {
    App();
    SimProcess sim;
    ASSERT_TRUE(sim.Start({"--samples", "4000", "--tr-every", "1500"}));
    QTemporaryDir dir;
    qputenv("DATALOGGER_DIR", dir.path().toLocal8Bit());
    qputenv("DATALOGGER_PORTS", sim.device.toLocal8Bit());
    qputenv("DATALOGGER_SIMULATED", "1");
    QtTimerTable timers;
    FakePrompts prompts;
    SystemClock clock;
    AppShell shell(timers, prompts, clock, dir.filePath("LumoDATALOGGER.ini"));
    CMainFrame frame(shell);
    frame.show();
    auto* simLabel = frame.statusBar()->findChild<QLabel*>("simulatedLogger");
    ASSERT_NE(simLabel, nullptr);
    EXPECT_EQ(simLabel->text(), "simulated logger");

    const QStringList titles = DriveDownloadDialog(shell, PressDownloadWhenConnected, 8000);
    EXPECT_EQ(titles, (QStringList{"Connecting...", "Connected"}));

    PumpUntil([&] { return shell.Set().RmsCount() == 4000; }, 8000);
    EXPECT_EQ(shell.Set().RmsCount(), 4000);
    EXPECT_EQ(shell.Set().TrCount(), 2);
    QString why;
    EXPECT_TRUE(HoldsRecording(shell.Set(), sim.Recording(), &why)) << why.toStdString();
    EXPECT_EQ(shell.Graph().Mode(), GraphMode::StoreRms);
    EXPECT_EQ(shell.Graph().LastPoint(), 4000);
    EXPECT_EQ(shell.DataUnsaved(), 1);
    EXPECT_TRUE(prompts.shown.empty());
    LinkSession* session = FrameLinkSession(frame);
    ASSERT_NE(session, nullptr);
    EXPECT_FALSE(session->Link().LoadingShown());
}

} // namespace
