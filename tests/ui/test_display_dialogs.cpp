// The View, Axis Setup and Color Setup dialogs on a shown stored graph: the axis
// edits' rules as typed, the two order messages, what OK stores in the graph and
// the settings file, Fit to Data, the colour combo box, and the view tool bar
// that opens them.

#include "test_graph_zoom_fixture.h"

#include "base/IniFile.h"
#include "base/Settings.h"
#include "graph/DisplaySettings.h"
#include "ui/CAxisSetupDlg.h"
#include "ui/CColorComboBox.h"
#include "ui/CColorSetupDlg.h"
#include "ui/CNumericEdit.h"
#include "ui/CViewOptionsDlg.h"

#include <QAction>
#include <QCheckBox>
#include <QFile>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QWindow>

#include <gtest/gtest.h>

#include <set>

namespace {

class DisplayDialogs : public StoredGraphView {
protected:
    void Type(QWidget* w, const QString& keys) { QTest::keyClicks(w, keys); }
    // Runs a tool-bar command whose dialog `act` handles once it is shown.
    template <class Dlg> void RunFromToolBar(int command, const std::function<void(Dlg&)>& act) {
        bool seen = false;
        QTimer::singleShot(0, [&] {
            auto* d = view->findChild<Dlg*>();
            ASSERT_NE(d, nullptr);
            seen = true;
            act(*d);
        });
        ToolAction(command)->trigger();
        EXPECT_TRUE(seen);
    }
};

TEST_F(DisplayDialogs, AxisEditsKeepAnIntegerAsTyped) {
    ShowStoredGraph();
    CAxisSetupDlg dlg(*shell);
    dlg.show();
    CNumericEdit* from = dlg.Edit(CAxisSetupDlg::Ch1From);
    EXPECT_EQ(from->text(), "-500");
    EXPECT_EQ(dlg.Edit(CAxisSetupDlg::XTo)->text(), "500");

    from->clear();
    Type(from, "x");
    EXPECT_EQ(from->text(), ""); // a letter has no effect
    Type(from, "-");
    EXPECT_EQ(from->text(), "-"); // a negative number is being typed
    Type(from, "4a2");
    EXPECT_EQ(from->text(), "-42");
    from->setText("12.5");
    EXPECT_EQ(from->text(), "12");
    Type(from, ".");
    EXPECT_EQ(from->text(), "12");

    // The X row stays within 1 ... the number of points.
    CNumericEdit* xFrom = dlg.Edit(CAxisSetupDlg::XFrom);
    CNumericEdit* xTo = dlg.Edit(CAxisSetupDlg::XTo);
    xFrom->setText("0");
    EXPECT_EQ(xFrom->text(), "1");
    xFrom->setText("-7");
    EXPECT_EQ(xFrom->text(), "1");
    xTo->setText("9999");
    EXPECT_EQ(xTo->text(), "500");
    // The spin button steps within its range and writes plain integers.
    dlg.Spin(CAxisSetupDlg::XTo)->Step(+1);
    EXPECT_EQ(xTo->text(), "500");
    dlg.Edit(CAxisSetupDlg::Ch2To)->setText("999999");
    dlg.Spin(CAxisSetupDlg::Ch2To)->Step(+1);
    dlg.Spin(CAxisSetupDlg::Ch2To)->Step(+1);
    EXPECT_EQ(dlg.Edit(CAxisSetupDlg::Ch2To)->text(), "1000000");
}

TEST_F(DisplayDialogs, AxisOrderMessagesInOrderAndTheDialogStaysOpen) {
    ShowStoredGraph();
    const QString y = QString::fromLatin1(kYAxisOrderMessage);
    const QString x = QString::fromLatin1(kXAxisOrderMessage);
    CAxisSetupDlg dlg(*shell);
    dlg.show();
    dlg.Edit(CAxisSetupDlg::Ch1From)->setText("100");
    dlg.Edit(CAxisSetupDlg::Ch1To)->setText("100");
    dlg.OkButton()->click();
    ASSERT_EQ(prompts.shown.size(), 1u);
    EXPECT_EQ(prompts.shown[0].text, y);
    EXPECT_EQ(prompts.shown[0].icon, PromptIcon::Exclamation);
    EXPECT_TRUE(dlg.isVisible());

    dlg.Edit(CAxisSetupDlg::Ch1To)->setText("200");
    dlg.Edit(CAxisSetupDlg::XFrom)->setText("5");
    dlg.Edit(CAxisSetupDlg::XTo)->setText("3");
    dlg.OkButton()->click();
    ASSERT_EQ(prompts.shown.size(), 2u);
    EXPECT_EQ(prompts.shown[1].text, x);
    EXPECT_TRUE(dlg.isVisible());

    dlg.Edit(CAxisSetupDlg::Ch2From)->setText("-5");
    dlg.Edit(CAxisSetupDlg::Ch2To)->setText("-9");
    dlg.OkButton()->click();
    ASSERT_EQ(prompts.shown.size(), 4u);
    EXPECT_EQ(prompts.shown[2].text, y);
    EXPECT_EQ(prompts.shown[3].text, x);
    EXPECT_TRUE(dlg.isVisible());
    // The user's texts stay, and nothing was stored.
    EXPECT_EQ(dlg.Edit(CAxisSetupDlg::Ch2To)->text(), "-9");
    EXPECT_EQ(shell->Graph().AxisLow(0), -500);
    EXPECT_EQ(shell->Graph().LastPoint(), 500);
    EXPECT_EQ(shell->Settings().m_yAxisHigh[0][1], 500);
}

TEST_F(DisplayDialogs, AxisOkStoresTheRangesForTheModeAndTheSettingsFile) {
    ShowStoredGraph();
    RunFromToolBar<CAxisSetupDlg>(ViewCmd::AxisSetup, [](CAxisSetupDlg& d) {
        d.Edit(CAxisSetupDlg::Ch1From)->setText("200");
        d.Edit(CAxisSetupDlg::Ch1To)->setText("250");
        d.Edit(CAxisSetupDlg::Ch2From)->setText("0");
        d.Edit(CAxisSetupDlg::Ch2To)->setText("10");
        d.Edit(CAxisSetupDlg::XFrom)->setText("11");
        d.Edit(CAxisSetupDlg::XTo)->setText("110");
        d.OkButton()->click();
    });
    GraphModel& g = shell->Graph();
    EXPECT_EQ(g.AxisLow(0), 200);
    EXPECT_EQ(g.AxisHigh(0), 250);
    EXPECT_EQ(g.AxisHigh(1), 10);
    EXPECT_EQ(g.FirstPoint(), 11);
    EXPECT_EQ(g.LastPoint(), 110);
    EXPECT_FALSE(g.Zoom().Zoomed());
    Grab();
    EXPECT_EQ(g.YLabelText(0, 10), "250.00");
    ASSERT_TRUE(shell->SaveSettings());
    const AppSettings back = LoadSettingsFile(SettingsFilePath());
    EXPECT_EQ(back.m_yAxisLow[0][0], 200);
    EXPECT_EQ(back.m_yAxisHigh[0][0], 250);
    EXPECT_EQ(back.m_yAxisLow[0][1], 0);
    EXPECT_EQ(back.m_yAxisHigh[0][1], 10);
    EXPECT_EQ(back.m_yAxisHigh[1][0], 500); // another mode's ranges stay
}

TEST_F(DisplayDialogs, AxisCancelChangesNothing) {
    ShowStoredGraph();
    RunFromToolBar<CAxisSetupDlg>(ViewCmd::AxisSetup, [](CAxisSetupDlg& d) {
        d.Edit(CAxisSetupDlg::Ch1From)->setText("1");
        d.CancelButton()->click();
    });
    EXPECT_EQ(shell->Graph().AxisLow(0), -500);
    EXPECT_EQ(shell->Settings().m_yAxisLow[0][0], -500);
}

TEST_F(DisplayDialogs, FitToDataProposesRoundedRangesThatOkKeeps) {
    ShowStoredGraph();
    CAxisSetupDlg dlg(*shell);
    dlg.show();
    dlg.FitButton()->click();
    // 230 ... 236 widened by 0.6 each side, on a step of 1; 5 ... 7 likewise.
    EXPECT_EQ(dlg.Edit(CAxisSetupDlg::Ch1From)->text(), "229");
    EXPECT_EQ(dlg.Edit(CAxisSetupDlg::Ch1To)->text(), "237");
    EXPECT_EQ(dlg.Edit(CAxisSetupDlg::Ch2From)->text(), "4");
    EXPECT_EQ(dlg.Edit(CAxisSetupDlg::Ch2To)->text(), "8");
    EXPECT_EQ(dlg.Edit(CAxisSetupDlg::XTo)->text(), "500");
    dlg.OkButton()->click();
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(shell->Graph().AxisLow(0), 229);
    EXPECT_EQ(shell->Settings().m_yAxisHigh[0][1], 8);
}

TEST(FitRange, WidensByATenthAndRoundsOutwardToA125Step) {
    EXPECT_EQ(FitRange(0, 100), std::make_pair(-20, 120));      // step 20
    EXPECT_EQ(FitRange(-310, 320), std::make_pair(-400, 400));  // step 100
    EXPECT_EQ(FitRange(1000, 1000), std::make_pair(900, 1100)); // a flat line
    EXPECT_EQ(FitRange(5, 1), FitRange(1, 5));                  // either order
    const auto tiny = FitRange(0.01, 0.02);
    EXPECT_LT(tiny.first, tiny.second); // integer edits: never an empty range
}

TEST(AxisSetupMessages, WhileARealTimeRunIsOnTheXRangeEndsAtTheNewestPoint) {
    AxisRanges r{0, 10, 0, 10, 5, 3};
    EXPECT_TRUE(AxisSetupMessages(r, GraphMode::RealTimeRms, true, 40).isEmpty());
    EXPECT_EQ(r.xTo, 40);
    AxisRanges w{0, 10, 0, 10, 5, 3};
    EXPECT_EQ(AxisSetupMessages(w, GraphMode::RealTimeEpa, true, 40).size(), 1);
    EXPECT_EQ(w.xTo, 3);
}

TEST_F(DisplayDialogs, ColourComboListsEachColourOnceWithoutText) {
    App();
    CColorComboBox box;
    box.Fill(3);
    box.Fill(5); // filled again
    ASSERT_EQ(box.count(), kColourCount);
    std::set<QRgb> seen;
    for (int i = 0; i < box.count(); ++i) {
        EXPECT_EQ(box.ColourAt(i), ColourOf(uint32_t(i)));
        EXPECT_TRUE(box.itemText(i).isEmpty());
        seen.insert(box.ColourAt(i).rgb());
    }
    EXPECT_EQ(seen.size(), size_t(kColourCount));
    EXPECT_EQ(box.Selected(), 5);
    EXPECT_EQ(box.AddColour("Again", QColor(255, 0, 0)), -1);
    box.Fill(20);
    EXPECT_EQ(box.Selected(), -1);
}

TEST_F(DisplayDialogs, GreyBackgroundIsStoredAs14AndPainted) {
    ShowStoredGraph();
    RunFromToolBar<CColorSetupDlg>(ViewCmd::ColorSetup, [](CColorSetupDlg& d) {
        d.BackgroundCombo()->setCurrentIndex(14);
        d.OkButton()->click();
    });
    EXPECT_EQ(shell->Settings().m_bgColor, 14);
    const QImage img = Grab();
    const GraphLayout& g = shell->Graph().Layout();
    // A point of the plot away from traces and grid lines.
    const QPoint inside(g.plotLeft + 3, g.plotTop + 3);
    EXPECT_EQ(img.pixelColor(inside), QColor(200, 200, 200));
    ASSERT_TRUE(shell->SaveSettings());
    EXPECT_EQ(LoadSettingsFile(SettingsFilePath()).m_bgColor, 14);
}

TEST_F(DisplayDialogs, ColourIndexOutsideTheTableWasDrawnAsARed) {
    {
        QFile f(SettingsFilePath());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("[ColorInfo]\r\nBGColor=255\r\nTColor=7\r\n");
    }
    ShowStoredGraph();
    const AppSettings defaults;
    ASSERT_EQ(shell->Settings().m_bgColor, defaults.m_bgColor); // not a colour of the table
    RunFromToolBar<CColorSetupDlg>(ViewCmd::ColorSetup, [&](CColorSetupDlg& d) {
        EXPECT_EQ(d.BackgroundCombo()->Selected(), defaults.m_bgColor);
        EXPECT_EQ(d.Ch1Combo()->Selected(), 7);
        EXPECT_EQ(d.Ch3Combo()->Selected(), 3); // hidden, carried through
        d.OkButton()->click();
    });
    EXPECT_EQ(shell->Settings().m_ch1Color, 7);
    EXPECT_EQ(shell->Settings().m_ch3Color, 3);
    // The default background (black), not the colour value 255 (a red).
    const QImage img = Grab();
    const GraphLayout& g = shell->Graph().Layout();
    EXPECT_EQ(img.pixelColor(g.plotLeft + 3, g.plotTop + 3), QColor(0, 0, 0));
    ASSERT_TRUE(shell->SaveSettings());
    EXPECT_EQ(LoadSettingsFile(SettingsFilePath()).m_bgColor, defaults.m_bgColor);
}

TEST_F(DisplayDialogs, ViewOptionsStoreTheSwitchesAndCarryTheHiddenOnes) {
    ShowStoredGraph();
    shell->Settings().m_viewOption4 = 1;
    RunFromToolBar<CViewOptionsDlg>(ViewCmd::ViewOptions, [](CViewOptionsDlg& d) {
        EXPECT_TRUE(d.Box(ViewOptions::Ch2)->isChecked());
        EXPECT_FALSE(d.Box(ViewOptions::DetectionLevel)->isVisible());
        d.Box(ViewOptions::Ch2)->setChecked(false);
        d.Box(ViewOptions::MarkPoints)->setChecked(true);
        d.Box(ViewOptions::XGrid)->setChecked(false);
        d.OkButton()->click();
    });
    const AppSettings& s = shell->Settings();
    EXPECT_EQ(s.m_showCh1, 1);
    EXPECT_EQ(s.m_showCh2, 0);
    EXPECT_EQ(s.m_showMarkPoints, 1);
    EXPECT_EQ(s.m_showHorizontalGrid, 0);
    EXPECT_EQ(s.m_showVerticalGrid, 1);
    EXPECT_EQ(s.m_viewOption4, 1);
    EXPECT_FALSE(shell->Graph().ChannelDrawn(s, 1));
    ASSERT_TRUE(shell->SaveSettings());
    const AppSettings back = LoadSettingsFile(SettingsFilePath());
    EXPECT_EQ(back.m_showCh2, 0);
    EXPECT_EQ(back.m_showMarkPoints, 1);
    EXPECT_EQ(back.m_viewOption4, 1);

    RunFromToolBar<CViewOptionsDlg>(ViewCmd::ViewOptions, [](CViewOptionsDlg& d) {
        d.Box(ViewOptions::Ch1)->setChecked(false);
        d.CancelButton()->click();
    });
    EXPECT_EQ(shell->Settings().m_showCh1, 1);
}

// A click as the window system delivers it to the window under the mouse: it reaches
// the widget only when no modal window blocks that window and nothing grabs the mouse.
void ClickOnScreen(QWidget* w) {
    QWidget* top = w->window();
    ASSERT_NE(top->windowHandle(), nullptr);
    QTest::mouseClick(top->windowHandle(), Qt::LeftButton, {}, w->mapTo(top, w->rect().center()));
}

TEST_F(DisplayDialogs, ToolBarClicksOpenTheDialogsAfterColorSetupClosed) {
    ShowStoredGraph();
    auto button = [&](int command) {
        auto* b =
            qobject_cast<QToolButton*>(view->ViewToolBar()->widgetForAction(ToolAction(command)));
        EXPECT_NE(b, nullptr);
        return b;
    };
    // Opens a dialog by clicking its tool button and, once it shows, clicks `close`
    // in it; false when no dialog came up.
    auto openAndClose = [&](int command, auto find, auto close) {
        bool shown = false;
        QTimer poll;
        poll.setSingleShot(true);
        QObject::connect(&poll, &QTimer::timeout, [&] {
            QDialog* d = find();
            if (!d || !d->isVisible())
                return;
            shown = true;
            close(*d);
        });
        poll.start(0);
        ClickOnScreen(button(command));
        QCoreApplication::processEvents();
        return shown;
    };
    auto colour = [&] { return view->findChild<CColorSetupDlg*>(); };
    auto options = [&] { return view->findChild<CViewOptionsDlg*>(); };
    auto axis = [&] { return view->findChild<CAxisSetupDlg*>(); };
    auto clickOk = [](QDialog& d) { ClickOnScreen(d.findChild<QPushButton*>("ok")); };
    auto clickCancel = [](QDialog& d) { ClickOnScreen(d.findChild<QPushButton*>("cancel")); };
    auto escape = [](QDialog& d) { QTest::keyClick(d.windowHandle(), Qt::Key_Escape); };

    // Colour Setup closed by OK (a new colour chosen), by Cancel and by Escape; after
    // each, the other buttons still answer a click.
    ASSERT_TRUE(openAndClose(ViewCmd::ColorSetup, colour, [&](QDialog& d) {
        static_cast<CColorSetupDlg&>(d).BackgroundCombo()->setCurrentIndex(14);
        clickOk(d);
    }));
    EXPECT_EQ(shell->Settings().m_bgColor, 14);
    EXPECT_TRUE(openAndClose(ViewCmd::ViewOptions, options, clickCancel));
    EXPECT_TRUE(openAndClose(ViewCmd::ColorSetup, colour, clickCancel));
    EXPECT_TRUE(openAndClose(ViewCmd::AxisSetup, axis, clickCancel));
    EXPECT_TRUE(openAndClose(ViewCmd::ColorSetup, colour, escape));
    EXPECT_TRUE(openAndClose(ViewCmd::ViewOptions, options, clickOk));
    EXPECT_TRUE(ToolAction(ViewCmd::ViewOptions)->isEnabled());
}

TEST_F(DisplayDialogs, ToolBarOffersTheDialogsOnlyWithAGraph) {
    ShowStoredGraph();
    for (int c : {ViewCmd::AxisSetup, ViewCmd::ColorSetup, ViewCmd::ViewOptions}) {
        ASSERT_NE(ToolAction(c), nullptr);
        EXPECT_TRUE(ToolAction(c)->isEnabled());
    }
    shell->Graph().SetDisplayContent(GraphModel::kContentNone);
    for (int c : {ViewCmd::AxisSetup, ViewCmd::ColorSetup, ViewCmd::ViewOptions})
        EXPECT_FALSE(shell->StateOf(c).enabled);
}

} // namespace
