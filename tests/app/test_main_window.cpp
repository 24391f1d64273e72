#include "app/CMainFrame.h"
#include "app/CSplashWnd.h"
#include "shell/AppShell.h"
#include "support/ShellFixture.h"
#include "support/TestApp.h"
#include "ui/CButtonBar.h"
#include "ui/CDTView.h"
#include "ui/CInstrumentView.h"

#include <QAction>
#include <QApplication>
#include <QPushButton>
#include <QSignalSpy>
#include <QSplitter>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace {

class MainWindow : public ShellParts {
protected:
    MainWindow() {
        App();
        qputenv("DATALOGGER_DIR", dir.path().toLocal8Bit());
        shell = std::make_unique<AppShell>(timers, prompts, now, SettingsFilePath());
        frame = std::make_unique<CMainFrame>(*shell);
        frame->resize(1200, 800);
        frame->show();
        QCoreApplication::processEvents();
    }
    std::unique_ptr<AppShell> shell;
    std::unique_ptr<CMainFrame> frame;
};

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
    EXPECT_EQ(bar->size(), QSize(220, 380));
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

TEST(HelpFile, SitsBesideTheExecutable) {
    EXPECT_EQ(CMainFrame::HelpFilePath("/opt/orvex/bin/orvex-datalogger"),
              QStringLiteral("/opt/orvex/bin/help.chm"));
    // Where the package installs the user guide.
    EXPECT_EQ(CMainFrame::UserGuidePath("/usr/bin/orvex-datalogger"),
              QStringLiteral("/usr/share/orvex-datalogger/guide/index.html"));
}

} // namespace
