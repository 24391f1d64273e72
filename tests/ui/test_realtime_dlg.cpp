// The real-time dialog, the analysis panel and the instrument pane's menu, driven
// like a user would, with the link in virtual time behind them.

#include "base/Prompts.h"
#include "base/Timers.h"
#include "shell/AppShell.h"
#include "shell/GraphController.h"
#include "shell/LinkSession.h"
#include "shell/RealTimeSession.h"
#include "sim/FakeSerialChannel.h"
#include "sim/LoggerModel.h"
#include "support/TabOrder.h"
#include "ui/CInstrumentView.h"
#include "ui/CNumericEdit.h"
#include "ui/CPowerAnalysisDlg.h"
#include "ui/CRealTimeDlg.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <gtest/gtest.h>

namespace {

QApplication& App() {
    static int argc = 1;
    static char name[] = "test_realtime_dlg";
    static char* argv[] = {name, nullptr};
    static QApplication* app = QApplication::instance()
                                   ? static_cast<QApplication*>(QApplication::instance())
                                   : new QApplication(argc, argv);
    return *app;
}

struct Dialog : ::testing::Test {
    Dialog() {
        App();
        qputenv("DATALOGGER_DIR", dir.path().toLocal8Bit());
        channel.SetOpenable(1);
        channel.SetResponder([this](int, const QByteArray& w) { return logger.Feed(w); });
        session.SetJournalPath(dir.filePath("journal.rtj"));
    }
    ~Dialog() override { qunsetenv("DATALOGGER_DIR"); }
    LinkController& link() { return linkSession.Link(); }

    QTemporaryDir dir;
    ManualClock clock;
    ManualTimerTable timers{clock};
    FakeSerialChannel channel{&clock};
    FakePrompts prompts;
    FixedClock now{1765199100};
    LoggerModel logger;
    AppShell shell{timers, prompts, now, dir.filePath("x.ini")};
    LinkSession linkSession{shell, channel};
    RealTimeSession session{shell, linkSession.Link()};
};

TEST_F(Dialog, RunActsOnlyWhenConnectedAndWithValuesInRange) {
    ASSERT_TRUE(session.BeginRunCommand());
    CRealTimeDlg dlg(session, prompts, 2, 3600);
    dlg.show();
    EXPECT_EQ(dlg.windowTitle(), "Connecting...");
    EXPECT_EQ(dlg.IntervalEdit()->text(), "2");
    EXPECT_EQ(dlg.CountEdit()->text(), "3600");
    QTest::mouseClick(dlg.RunButton(), Qt::LeftButton);
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_FALSE(shell.RealTimeRunning());

    ASSERT_TRUE(clock.AdvanceUntil([&] { return dlg.windowTitle() == "Connected"; }, 2000));
    EXPECT_EQ(dlg.MessageLabel()->text(), "Press \"RUN\" to read real time data,");

    // Enter and Escape are swallowed.
    QTest::keyClick(&dlg, Qt::Key_Escape);
    QTest::keyClick(dlg.CountEdit(), Qt::Key_Return);
    EXPECT_TRUE(dlg.isVisible());

    // A value out of range: the range message at once, the last good value kept, and
    // RUN does nothing.
    dlg.IntervalEdit()->clear();
    EXPECT_TRUE(prompts.shown.empty()); // emptied to type anew
    QTest::keyClicks(dlg.IntervalEdit(), "1");
    ASSERT_EQ(prompts.shown.size(), 1u);
    EXPECT_EQ(prompts.LastText(), "Please enter an integer between 2 and 3600.");
    EXPECT_EQ(dlg.Interval(), 2);
    QTest::mouseClick(dlg.RunButton(), Qt::LeftButton);
    EXPECT_FALSE(shell.RealTimeRunning());
    QTest::keyClicks(dlg.IntervalEdit(), "0");
    EXPECT_EQ(dlg.Interval(), 10);
    dlg.CountSpin()->DownButton()->click();
    EXPECT_EQ(dlg.Count(), 3599);
    dlg.CountEdit()->setText("100001");
    EXPECT_EQ(prompts.LastText(), "Please enter an integer between 1 and 100000.");
    dlg.CountEdit()->setText("20");

    QTest::mouseClick(dlg.RunButton(), Qt::LeftButton);
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_TRUE(shell.RealTimeRunning());
    EXPECT_EQ(shell.Settings().m_rtInterval, 10);
    EXPECT_EQ(shell.Settings().m_rtPointsRequested, 20);
    EXPECT_FALSE(link().Dialog(LinkDialog::RealTime).open);
    session.Stop();
}

TEST_F(Dialog, RunWasAwkwardToReachByKeyboard) {
    ASSERT_TRUE(session.BeginRunCommand());
    CRealTimeDlg dlg(session, prompts, 2, 10);
    ASSERT_TRUE(clock.AdvanceUntil([&] { return dlg.windowTitle() == "Connected"; }, 2000));
    // The fields in reading order, then RUN; the spin buttons are no stops.
    EXPECT_EQ(Names(TabStops(&dlg, dlg.IntervalEdit())),
              (std::vector<std::string>{"interval", "count", "run", "cancel"}));
    // Enter in a field and Escape still leave the dialog open; Enter on the button
    // that has the focus presses it.
    QTest::keyClick(dlg.CountEdit(), Qt::Key_Return);
    QTest::keyClick(&dlg, Qt::Key_Escape);
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_FALSE(shell.RealTimeRunning());
    dlg.RunButton()->setFocus(Qt::TabFocusReason);
    QTest::keyClick(dlg.RunButton(), Qt::Key_Return);
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_TRUE(shell.RealTimeRunning());
    session.Stop();
}

TEST_F(Dialog, AFailedPortCheckLeavesRunAliveForWhenTheLinkReturns) {
    // Found once, then the adapter is pulled before the next dialog.
    {
        ASSERT_TRUE(session.BeginRunCommand());
        CRealTimeDlg first(session, prompts, 2, 10);
        ASSERT_TRUE(clock.AdvanceUntil([&] { return first.windowTitle() == "Connected"; }, 2000));
    }
    channel.SetOpenable(1, false);
    linkSession.Link().OnDialogCommand();
    link().OpenDialog(LinkDialog::Download);
    EXPECT_FALSE(link().Dialog(LinkDialog::Download).actionEnabled);
    link().CloseDialog(LinkDialog::Download);

    ASSERT_TRUE(session.BeginRunCommand());
    CRealTimeDlg dlg(session, prompts, 2, 10);
    EXPECT_EQ(dlg.windowTitle(), "Not Connected");
    EXPECT_TRUE(dlg.RunButton()->isEnabled());
    QTest::mouseClick(dlg.RunButton(), Qt::LeftButton);
    EXPECT_EQ(dlg.MessageLabel()->text(),
              "Connecting failed. Ensure logger inserted and try again.");
    channel.SetOpenable(1, true);
    ASSERT_TRUE(clock.AdvanceUntil([&] { return dlg.windowTitle() == "Connected"; }, 4000));
    QTest::mouseClick(dlg.RunButton(), Qt::LeftButton);
    EXPECT_TRUE(shell.RealTimeRunning());
    session.Stop();
}

TEST_F(Dialog, ThePanelCoversTheInstrumentPaneAndForgetsOnlyChannel1WhenClosed) {
    GraphController graph(shell);
    QWidget view;
    CPowerAnalysisDlg panel(graph, &view);
    std::array<EpaTexts, 2> texts{};
    texts[0].rms = "230.0";
    texts[1].rms = "10.0";
    graph.SetEpaPanelTexts(texts);
    graph.SetEpaApparentPower("2300");
    graph.SetEpaPowerTexts(PowerTexts{"1992", "-1150", "0.87", "-30.0", {"5.8", "--"}});
    panel.Show(QRect(40, 60, 0, 500));
    EXPECT_TRUE(panel.isVisible());
    EXPECT_TRUE(graph.EpaPanelOpen());
    EXPECT_EQ(panel.frameGeometry().width(), 385);
    EXPECT_EQ(panel.Ch1Rms()->text(), "230.0");
    EXPECT_EQ(panel.ApparentPower()->text(), "2300");
    EXPECT_EQ(panel.ActivePower()->text(), "1992");
    EXPECT_EQ(panel.ReactivePower()->text(), "-1150");
    EXPECT_EQ(panel.PowerFactor()->text(), "0.87");
    EXPECT_EQ(panel.PhaseAngle()->text(), "-30.0");
    EXPECT_EQ(panel.Thd(0)->text(), "5.8");
    EXPECT_EQ(panel.Thd(1)->text(), "--");
    EXPECT_TRUE(panel.Ch1Rms()->isReadOnly());
    panel.Close();
    EXPECT_FALSE(panel.isVisible());
    EXPECT_FALSE(graph.EpaPanelOpen());
    EXPECT_EQ(graph.EpaPanelTexts()[0].rms, "");
    EXPECT_EQ(graph.EpaPanelTexts()[1].rms, "10.0");
}

TEST(InstrumentView, RightClickOnTheRootOffersTheFourLoggerCommandsElsewhereNothing) {
    App();
    ManualClock clock;
    ManualTimerTable timers(clock);
    FakePrompts prompts;
    FixedClock now;
    QTemporaryDir dir;
    AppShell shell(timers, prompts, now, dir.filePath("x.ini"));
    CInstrumentView view(shell);
    view.resize(150, 400);
    view.show();
    ASSERT_EQ(view.topLevelItemCount(), 1);
    QTreeWidgetItem* root = view.topLevelItem(0);
    EXPECT_EQ(root->text(0), "-INSTRUMENT");

    QStringList seen;
    auto rightClick = [&](QPoint at) {
        seen.clear();
        QTimer::singleShot(0, [&] {
            if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
                for (QAction* a : menu->actions())
                    seen << (a->isSeparator() ? QString("-") : a->text());
                menu->close();
            }
        });
        QContextMenuEvent e(QContextMenuEvent::Mouse, at, view.viewport()->mapToGlobal(at));
        QApplication::sendEvent(view.viewport(), &e);
        QApplication::processEvents();
    };
    rightClick(QPoint(75, 350));
    EXPECT_TRUE(seen.isEmpty());
    view.clearSelection();
    rightClick(view.visualItemRect(root).center());
    EXPECT_EQ(seen, (QStringList{"&Correct Time...", "-", "Datalogger &Setup...", "-",
                                 "&Download Data...", "-", "&Previous Measurement..."}));
    EXPECT_EQ(view.currentItem(), root);
}

} // namespace
