#include "base/Settings.h"
#include "shell/AppShell.h"
#include "support/ShellFixture.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

class Shell : public ShellFixture {
protected:
    Shell() {
        QObject::connect(&shell, &AppShell::closeWindowRequested, [this] {
            closedAt = clock.NowMs();
            settingsExistedAtClose = QFile::exists(shell.SettingsPath());
        });
        shell.SetSaveCommand([this] {
            ++saves;
            return saveSucceeds;
        });
        QObject::connect(&shell, &AppShell::stopRealTimeRequested, [this] {
            ++stops;
            run.SetRunning(false);
        });
    }
    int64_t closedAt = -1;
    bool settingsExistedAtClose = false;
    int saves = 0;
    bool saveSucceeds = true;
    int stops = 0;
    FakeRealTimeRun run{shell, false};
};

TEST_F(Shell, CloseWritesSettingsFirstAndClosesTheWindow100msLater) {
    shell.Settings().m_bgColor = 9;
    shell.RequestClose();
    // Settings are on disk before any prompt or delay.
    EXPECT_EQ(LoadSettingsFile(shell.SettingsPath()).m_bgColor, 9);
    EXPECT_TRUE(prompts.shown.empty());
    clock.Advance(99);
    EXPECT_EQ(closedAt, -1);
    clock.Advance(1);
    EXPECT_EQ(closedAt, 100);
    EXPECT_TRUE(settingsExistedAtClose);
    EXPECT_TRUE(shell.ReadyToClose());
    EXPECT_FALSE(timers.IsActive(FrameTimer::Close));
}

TEST_F(Shell, SaveQuestionOnlyWithMoreThanOnePointAndBothFlags) {
    struct Case {
        int lastPoint;
        uint8_t unsaved, promptOnOpen;
        bool asks;
    };
    const Case cases[] = {
        {2, 1, 1, true}, {1, 1, 1, false}, {0, 1, 1, false}, {5, 0, 1, false}, {5, 1, 0, false}};
    for (const Case& c : cases) {
        FakePrompts p;
        ManualClock ck;
        ManualTimerTable t(ck);
        AppShell s(t, p, now, dir.filePath("x.ini"));
        s.Graph().SetLastPoint(c.lastPoint);
        s.SetDataUnsaved(c.unsaved);
        s.SetPromptOnOpen(c.promptOnOpen);
        s.RequestClose();
        EXPECT_EQ(p.Saw("Do you want to save the data before closing?"), c.asks)
            << c.lastPoint << " " << int(c.unsaved) << " " << int(c.promptOnOpen);
        if (c.asks) {
            EXPECT_EQ(p.shown[0].icon, PromptIcon::Question);
            EXPECT_EQ(p.shown[0].buttons, PromptButtons::YesNoCancel);
        }
    }
}

TEST_F(Shell, YesRunsSaveAndClearsBothFlagsNoKeepsThem) {
    shell.Graph().SetLastPoint(10);
    shell.SetDataUnsaved(true);
    prompts.QueueAnswer(PromptAnswer::Yes);
    shell.RequestClose();
    EXPECT_EQ(saves, 1);
    EXPECT_EQ(shell.DataUnsaved(), 0);
    EXPECT_EQ(shell.PromptOnOpen(), 0);

    FakePrompts p2;
    ManualTimerTable t2(clock);
    AppShell s2(t2, p2, now, dir.filePath("y.ini"));
    int saves2 = 0;
    s2.SetSaveCommand([&] {
        ++saves2;
        return true;
    });
    s2.Graph().SetLastPoint(10);
    s2.SetDataUnsaved(true);
    p2.QueueAnswer(PromptAnswer::No);
    s2.RequestClose();
    EXPECT_EQ(saves2, 0);
    EXPECT_TRUE(s2.DataUnsaved());
    EXPECT_TRUE(t2.IsActive(FrameTimer::Close));
}

TEST_F(Shell, CancelAndYesWithoutASaveKeepTheWindowAndEverythingInIt) {
    // The window closed after Yes and a cancelled file dialog, and the measurement
    // went with it; the question had no way back either.
    shell.Graph().SetLastPoint(10);
    shell.SetDataUnsaved(true);
    shell.SetPromptOnDownload(true);
    run.SetRunning(true);
    int dataListCloses = 0;
    QObject::connect(&shell, &AppShell::closeDataListRequested, [&] { ++dataListCloses; });
    saveSucceeds = false; // the file dialog cancelled: nothing saved
    for (PromptAnswer answer : {PromptAnswer::Cancel, PromptAnswer::Yes}) {
        prompts.QueueAnswer(answer);
        shell.RequestClose();
        EXPECT_FALSE(shell.IsClosing());
        EXPECT_FALSE(timers.IsActive(FrameTimer::Close));
        EXPECT_EQ(shell.DataUnsaved(), 1);
        EXPECT_EQ(shell.PromptOnOpen(), 1);
        EXPECT_EQ(shell.PromptOnDownload(), 1);
        // The acquisition runs on and the data list stays open.
        EXPECT_EQ(stops, 0);
        EXPECT_EQ(dataListCloses, 0);
    }
    EXPECT_EQ(saves, 1); // Cancel did not save
    clock.Advance(1000);
    EXPECT_EQ(closedAt, -1);
    EXPECT_EQ(prompts.shown.size(), 2u);

    // The next close asks again, and No closes without a save.
    prompts.QueueAnswer(PromptAnswer::No);
    shell.RequestClose();
    EXPECT_EQ(prompts.shown.size(), 3u);
    EXPECT_EQ(prompts.LastText(), QStringLiteral("Do you want to save the data before closing?"));
    EXPECT_EQ(stops, 1);
    clock.Advance(100);
    EXPECT_EQ(closedAt, 1100);
}

TEST_F(Shell, FailedSaveOnClosingKeepsTheWindowAndTheUnsavedData) {
    shell.Graph().SetLastPoint(10);
    shell.SetDataUnsaved(true);
    shell.Settings().m_bgColor = 4;
    saveSucceeds = false;
    prompts.QueueAnswer(PromptAnswer::Yes);
    shell.RequestClose();
    EXPECT_EQ(saves, 1);
    EXPECT_EQ(shell.DataUnsaved(), 1);
    EXPECT_EQ(shell.PromptOnOpen(), 1);
    EXPECT_FALSE(shell.IsClosing());
    clock.Advance(1000);
    EXPECT_EQ(closedAt, -1);
    // The settings were written all the same, and a later close asks again.
    EXPECT_EQ(LoadSettingsFile(shell.SettingsPath()).m_bgColor, 4);
    saveSucceeds = true;
    prompts.QueueAnswer(PromptAnswer::Yes);
    shell.RequestClose();
    EXPECT_EQ(saves, 2);
    clock.Advance(100);
    EXPECT_EQ(closedAt, 1100);
}

TEST_F(Shell, RunningAcquisitionIsStoppedBeforeTheWindowGoes) {
    run.SetRunning(true);
    shell.RequestClose();
    EXPECT_EQ(stops, 1);
    EXPECT_EQ(closedAt, -1);
    clock.Advance(100);
    EXPECT_EQ(closedAt, 100);

    FakePrompts p2;
    ManualTimerTable t2(clock);
    AppShell idle(t2, p2, now, dir.filePath("z.ini"));
    int idleStops = 0;
    QObject::connect(&idle, &AppShell::stopRealTimeRequested, [&] { ++idleStops; });
    idle.RequestClose();
    EXPECT_EQ(idleStops, 0);
}

// The shell asks whoever runs acquisitions whether one is on; once that one is gone
// (a window's session taken down before the shell) the answer is "no run", never a
// call into freed memory.
TEST_F(Shell, RunStateGoneBeforeTheShellIsNotAskedAgain) {
    {
        FakeRealTimeRun gone(shell);
        EXPECT_TRUE(shell.RealTimeRunning());
    }
    EXPECT_FALSE(shell.RealTimeRunning());
    shell.RequestClose();
    EXPECT_EQ(stops, 0);
}

TEST_F(Shell, SecondCloseRequestDuringTheDelayChangesNothing) {
    shell.Graph().SetLastPoint(10);
    shell.SetDataUnsaved(true);
    prompts.QueueAnswer(PromptAnswer::No);
    shell.RequestClose();
    clock.Advance(50);
    shell.RequestClose();
    EXPECT_EQ(prompts.shown.size(), 1u);
    clock.Advance(50);
    EXPECT_EQ(closedAt, 100);
}

TEST_F(Shell, CommandsWithoutHandlerAreDisabledAndRulesGateExecution) {
    EXPECT_FALSE(shell.StateOf(Cmd::ImportToList).enabled);
    EXPECT_FALSE(shell.Execute(Cmd::ImportToList));
    int runs = 0;
    bool enabled = false;
    shell.RegisterCommand(
        Cmd::Download, [&] { ++runs; },
        [&] {
            return CommandState{enabled, false};
        });
    EXPECT_FALSE(shell.Execute(Cmd::Download));
    EXPECT_TRUE(shell.ExecuteDirect(Cmd::Download)); // the welcome screen's buttons
    enabled = true;
    EXPECT_TRUE(shell.Execute(Cmd::Download));
    EXPECT_EQ(runs, 2);
}

TEST_F(Shell, UnownedTimerIsStoppedInsteadOfTickingForever) {
    timers.Start(77, 10);
    clock.Advance(10);
    EXPECT_FALSE(timers.IsActive(77));
}

} // namespace
