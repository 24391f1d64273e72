#include "app/CMainFrame.h"
#include "app/CSplashWnd.h"
#include "data/RtJournal.h"
#include "shell/AppShell.h"
#include "support/ShellFixture.h"
#include "support/TestApp.h"
#include "support/WindowFixture.h"
#include "ui/CButtonBar.h"
#include "ui/CDTView.h"
#include "ui/CInstrumentView.h"

#include "shell/WorkNotices.h"
#include "support/EventLoop.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QSplitter>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>

#include <gtest/gtest.h>

#include <set>

namespace {

class MainWindow : public MainWindowFixture {};

TEST_F(MainWindow, FrameHasTitleSplitterAndWelcomeScreen) {
    EXPECT_EQ(frame->windowTitle(), QStringLiteral("Orvex Datalogger"));
    QSplitter* s = frame->Splitter();
    ASSERT_EQ(s->count(), 2);
    EXPECT_EQ(s->widget(0), frame->InstrumentView());
    EXPECT_EQ(s->widget(1), frame->GraphView());
    EXPECT_EQ(s->sizes().at(0), 150);

    const QImage img = frame->GraphView()->grab().toImage();
    // The welcome fill, away from the button bar and the lettering.
    EXPECT_EQ(img.pixelColor(img.width() - 5, 5), QColor(200, 200, 200));
    EXPECT_EQ(img.pixelColor(img.width() - 5, img.height() - 5), QColor(200, 200, 200));
    // Some lettering in the welcome colour right of x = 280.
    int lettering = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 280; x < img.width(); ++x)
            if (img.pixelColor(x, y) == QColor(102, 122, 157))
                ++lettering;
    EXPECT_GT(lettering, 500);
    auto* bar = frame->GraphView()->findChild<CButtonBar*>();
    ASSERT_NE(bar, nullptr);
    // 220 x 380, a little wider where the face needs it for the longest caption.
    EXPECT_GE(bar->width(), 220);
    EXPECT_LE(bar->width(), 260);
    EXPECT_EQ(bar->height(), 380);
    EXPECT_EQ(bar->x(), 0);
    EXPECT_EQ(bar->y(), (frame->GraphView()->height() - 380) / 2);
    EXPECT_EQ(bar->findChildren<QPushButton*>().size(), 5);
}

TEST_F(MainWindow, InstrumentPaneToggleRestores150Pixels) {
    QAction* toggle = frame->Action(Cmd::ToggleInstrument);
    frame->UpdateCommandUI();
    EXPECT_TRUE(toggle->isChecked());
    toggle->trigger();
    EXPECT_EQ(frame->Splitter()->sizes().at(0), 0);
    EXPECT_FALSE(toggle->isChecked());
    toggle->trigger();
    EXPECT_EQ(frame->Splitter()->sizes().at(0), 150);
    EXPECT_TRUE(toggle->isChecked());
}

TEST_F(MainWindow, CommandsWithoutWorkBehindThemAreGreyed) {
    frame->UpdateCommandUI();
    EXPECT_FALSE(frame->Action(Cmd::ImportToList)->isEnabled());
    EXPECT_TRUE(frame->Action(Cmd::About)->isEnabled());
    // Info Dialog needs something shown.
    EXPECT_FALSE(frame->Action(Cmd::ToggleInfoBar)->isEnabled());
    EXPECT_TRUE(frame->Action(Cmd::ToggleInfoBar)->isChecked());
}

TEST_F(MainWindow, ClosingWritesSettingsAndGoesAfterTheDelay) {
    frame->close();
    EXPECT_TRUE(frame->isVisible());
    EXPECT_TRUE(QFile::exists(shell->SettingsPath()));
    clock.Advance(100);
    EXPECT_FALSE(frame->isVisible());
}

TEST_F(MainWindow, SplashClosesOnFirstKeyAndSwallowsIt) {
    int ran = 0;
    shell->RegisterCommand(
        Cmd::NextPane, [&] { ++ran; },
        [] {
            return CommandState{true, false};
        });
    frame->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(frame.get()));
    QTest::keyClick(frame.get(), Qt::Key_F6);
    ASSERT_EQ(ran, 1) << "shortcut does not reach the frame at all";
    ran = 0;
    auto* splash = new CSplashWnd(frame.get());
    splash->show();
    QSignalSpy destroyed(splash, &QObject::destroyed);
    QTest::keyClick(frame.get(), Qt::Key_F6);
    EXPECT_EQ(ran, 0);
    EXPECT_TRUE(destroyed.count() == 1 || destroyed.wait(1000));
    ASSERT_TRUE(QTest::qWaitForWindowActive(frame.get()));
    QTest::keyClick(frame.get(), Qt::Key_F6);
    EXPECT_EQ(ran, 1);
}

// "Print Statistics" and "Export" had no access key: with the File menu open, the
// keyboard reached them only by walking the whole menu with the arrows.
TEST_F(MainWindow, EveryEntryOfTheFileMenuHasAnAccessKey) {
    QMenu* file = nullptr;
    for (QAction* top : frame->menuBar()->actions())
        if (top->text() == QStringLiteral("&File(F)"))
            file = top->menu();
    ASSERT_NE(file, nullptr);
    std::vector<QMenu*> menus{file};
    for (size_t i = 0; i < menus.size(); ++i)
        for (QAction* a : menus[i]->actions()) {
            if (a->isSeparator())
                continue;
            EXPECT_TRUE(a->text().contains(QRegularExpression(QStringLiteral("&[^&]"))))
                << a->text().toStdString();
            if (a->menu())
                menus.push_back(a->menu());
        }
    EXPECT_EQ(menus.size(), 4u); // Print Preview, Print... and Export were looked at too
}

// Data List, Store RMS and Store TR were on the tool bar alone, whose buttons take no
// focus: a keyboard user could not reach them.
TEST_F(MainWindow, EveryToolBarCommandIsAlsoInAMenu) {
    std::set<QAction*> inMenus;
    std::vector<QMenu*> menus;
    for (QAction* top : frame->menuBar()->actions())
        if (top->menu())
            menus.push_back(top->menu());
    for (size_t i = 0; i < menus.size(); ++i)
        for (QAction* a : menus[i]->actions()) {
            inMenus.insert(a);
            if (a->menu())
                menus.push_back(a->menu());
        }
    int seen = 0;
    for (QToolBar* bar : frame->findChildren<QToolBar*>(QString(), Qt::FindDirectChildrenOnly))
        for (QAction* a : bar->actions()) {
            if (a->isSeparator())
                continue;
            ++seen;
            EXPECT_TRUE(inMenus.count(a)) << a->text().toStdString();
        }
    EXPECT_GE(seen, 11);
}

TEST_F(MainWindow, NoWordAfterWorkWasDoneAndNoNameForTheDataShown) {
    QStatusBar* bar = frame->statusBar();
    WorkReport clockSet;
    clockSet.what = WorkDone::LoggerClockSet;
    clockSet.clock = {2026, 12, 9, 15, 26, 54};
    shell->Notices().Report(clockSet);
    EXPECT_EQ(bar->currentMessage(), "Logger clock set to 09/12/26 15:26:54.");
    WorkReport downloaded;
    downloaded.samples = 3000;
    downloaded.records = 6;
    shell->Notices().Report(downloaded);
    EXPECT_EQ(bar->currentMessage(), "Downloaded 3000 samples and 6 TR records.");
    shell->Notices().RunProgress(4, 10);
    EXPECT_EQ(bar->currentMessage(), "Sample 4 of 10");
    WorkReport ended;
    ended.what = WorkDone::RunEnded;
    ended.samples = 12;
    ended.records = 3600;
    shell->Notices().Report(ended);
    EXPECT_EQ(bar->currentMessage(), "Real-time run ended after 12 of 3600 samples.");
    ended.loggerSilent = true;
    shell->Notices().Report(ended);
    EXPECT_EQ(bar->currentMessage(),
              "Real-time run ended after 12 of 3600 samples: the logger sent no data for 10 s.");
    EXPECT_EQ(frame->windowTitle(), "Orvex Datalogger");

    // The permanent field: nothing on the welcome screen, then the file or "not saved".
    frame->UpdateCommandUI();
    EXPECT_TRUE(frame->ShownFileField()->text().isEmpty());
    shell->Graph().SetDisplayContent(GraphModel::kContentGraph);
    shell->SetDataUnsaved(true);
    frame->UpdateCommandUI();
    EXPECT_EQ(frame->ShownFileField()->text(), "not saved");
    shell->SetShownFile(dir.filePath("run.stdata"));
    shell->SetDataUnsaved(false);
    frame->UpdateCommandUI();
    EXPECT_EQ(frame->ShownFileField()->text(), "run.stdata");
    shell->SetDataUnsaved(true);
    frame->UpdateCommandUI();
    EXPECT_EQ(frame->ShownFileField()->text(), "run.stdata *");
}

TEST_F(MainWindow, HelpWithoutAProgramToShowTheGuideSaidSoOnlyOnStderr) {
    // An opener that finds nothing to show the file with, as on a bare system.
    QTemporaryDir bin;
    QFile opener(bin.filePath("xdg-open"));
    ASSERT_TRUE(opener.open(QIODevice::WriteOnly));
    opener.write("#!/bin/sh\nexit 3\n");
    opener.close();
    opener.setPermissions(QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", bin.path().toLocal8Bit() + ":" + path);
    ASSERT_TRUE(shell->Execute(Cmd::Help));
    const bool told = PumpUntil([&] { return !prompts.shown.empty(); }, 10000);
    qputenv("PATH", path);
    ASSERT_TRUE(told);
    EXPECT_TRUE(prompts.LastText().startsWith("No program to show the user guide was found."))
        << prompts.LastText().toStdString();
    EXPECT_TRUE(prompts.LastText().contains("index.html")) << prompts.LastText().toStdString();
}

TEST(HelpFile, SitsBesideTheExecutable) {
    EXPECT_EQ(CMainFrame::HelpFilePath("/opt/orvex/bin/orvex-datalogger"),
              QStringLiteral("/opt/orvex/bin/help.chm"));
    // Where the package installs the user guide.
    EXPECT_EQ(CMainFrame::UserGuidePath("/usr/bin/orvex-datalogger"),
              QStringLiteral("/usr/share/orvex-datalogger/guide/index.html"));
}

} // namespace

namespace {

// Showing the splash runs the event loop, and the message about a run that did not end
// came right then: the splash went away under the message box, and the program crashed
// once the box was answered. The message waits until the splash has gone.
TEST(StartUp, TheUnfinishedRunMessageCameWhileTheSplashWasBeingShown) {
    App();
    QTemporaryDir dir;
    qputenv("DATALOGGER_DIR", dir.path().toLocal8Bit());
    {
        RtJournal journal(RtJournal::DefaultPath());
        RtRunHeader h;
        h.interval = 2;
        h.startTime = 1796880000;
        h.kind = {kChannelVolts, kChannelAbsent};
        ASSERT_TRUE(journal.Begin(h));
        RtWaveform wave{};
        ASSERT_TRUE(journal.Append({h.startTime, {230.0f, 0.0f}, {50.0f, 400.0f}}, wave));
        // Not finished: the run "died" here.
    }
    ManualClock clock;
    ManualTimerTable timers{clock};
    FakePrompts prompts;
    FixedClock now;
    AppShell shell(timers, prompts, now, dir.filePath("LumoDATALOGGER.ini"));
    {
        CMainFrame frame(shell);
        frame.show();
        auto* splash = new CSplashWnd(&frame);
        splash->show();
        EXPECT_TRUE(prompts.shown.empty());
        QCoreApplication::processEvents();
        EXPECT_TRUE(prompts.shown.empty());
        const QPointer<CSplashWnd> alive(splash);
        splash->close();
        ASSERT_TRUE(PumpUntil([&] { return !prompts.shown.empty(); }, 2000));
        EXPECT_TRUE(alive.isNull());
        ASSERT_EQ(prompts.shown.size(), 1u);
        EXPECT_TRUE(prompts.LastText().startsWith(
            QStringLiteral("The last real-time run did not end normally")));
    }
    qunsetenv("DATALOGGER_DIR");
}

} // namespace
