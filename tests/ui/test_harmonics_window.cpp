// The Harmonics window in the main window: opened from the Window menu for the
// captured waveform, its tables and THD for a distorted voltage, the copied text,
// "--" where there is nothing to analyse, following the samples of a run, and its
// printed pages.

#include "app/CMainFrame.h"
#include "app/HarmonicsWindow.h"
#include "base/LocalTime.h"
#include "base/Settings.h"
#include "shell/AppShell.h"
#include "support/RunSamples.h"
#include "support/ShellFixture.h"
#include "support/TestApp.h"
#include "support/WindowFixture.h"
#include "ui/CHarmonicsDlg.h"

#include <QAction>
#include <QClipboard>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QMenuBar>
#include <QPainter>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QToolBar>

#include <gtest/gtest.h>

#include <cmath>

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kSampleSeconds = 54.71e-6;

// v = 325 sin + 5 % 3rd + 3 % 5th on CH1 and i = 141 sin(x - 30 deg) on CH2, at
// `hz`, rounded to whole counts as the logger sends them; `scale` multiplies both.
RealTimeRun::Wave Distorted(double hz, double scale = 1.0) {
    RealTimeRun::Wave w{};
    for (int k = 0; k < kRtWavePoints; ++k) {
        const double x = 2 * kPi * hz * k * kSampleSeconds;
        const double v = 325 * (std::sin(x) + 0.05 * std::sin(3 * x) + 0.03 * std::sin(5 * x));
        const double i = 141 * std::sin(x - kPi / 6);
        w[size_t(k)] = {float(std::nearbyint(scale * v)), float(std::nearbyint(scale * i))};
    }
    return w;
}

void Capture(MeasurementSet& s, double hz, double scale = 1.0) {
    s.Run().SetCapture(Distorted(hz, scale));
}

void Channels(MeasurementSet& s, bool ch2) {
    s.Run().SetChannel(0, true, QStringLiteral("V"));
    s.Run().SetChannel(1, ch2, QStringLiteral("A"));
}

double Cell(QTableWidget* t, int row, int column) {
    const QTableWidgetItem* item = t->item(row, column);
    return item ? item->text().toDouble() : std::nan("");
}

class HarmonicsWindow : public MainWindowFixture {
protected:
    QAction* OpenAction() const {
        return frame->findChild<QAction*>(QStringLiteral("harmonicsAction"));
    }

    // As a frame arriving tells the views, then Window > Harmonics.
    CHarmonicsDlg* Open() {
        shell->UpdateAllViews();
        QAction* open = OpenAction();
        EXPECT_NE(open, nullptr);
        if (open)
            open->trigger();
        return FrameHarmonicsWindow(*frame);
    }
};

TEST_F(HarmonicsWindow, IsReachedFromTheWindowMenuAndTheRealTimeToolBar) {
    QAction* open = OpenAction();
    ASSERT_NE(open, nullptr);
    EXPECT_EQ(open->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_H));
    bool inMenu = false;
    for (QAction* a : frame->menuBar()->actions())
        if (a->menu() && a->text() == QLatin1String("&Window(W)"))
            inMenu = a->menu()->actions().contains(open);
    EXPECT_TRUE(inMenu);
    auto* bar = frame->findChild<QToolBar*>(QStringLiteral("realTimeBar"));
    ASSERT_NE(bar, nullptr);
    EXPECT_TRUE(bar->actions().contains(open));
}

TEST_F(HarmonicsWindow, DistortedVoltageReadsItsOrdersAndThdAndCopiesThem) {
    Channels(shell->Set(), true);
    Capture(shell->Set(), 50);
    CHarmonicsDlg* w = Open();
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(w->ChannelBox(0)->title(), QStringLiteral("CH1 (V)"));
    EXPECT_EQ(w->ChannelBox(1)->title(), QStringLiteral("CH2 (A)"));

    QTableWidget* volts = w->Table(0);
    ASSERT_EQ(volts->rowCount(), 50);
    EXPECT_EQ(volts->item(2, 0)->text(), QStringLiteral("3"));
    EXPECT_NEAR(Cell(volts, 0, 1), 325.0, 2.0);
    EXPECT_NEAR(Cell(volts, 0, 2), 100.0, 1e-9);
    EXPECT_NEAR(Cell(volts, 2, 2), 5.0, 0.3);
    EXPECT_NEAR(Cell(volts, 4, 2), 3.0, 0.3);
    EXPECT_NEAR(Cell(volts, 3, 2), 0.0, 0.3);
    // THD of 5 % and 3 %: sqrt(0.05^2 + 0.03^2) = 5.83 %.
    const QString thd = w->ThdLabel(0)->text();
    ASSERT_TRUE(thd.startsWith(QStringLiteral("THD: "))) << thd.toStdString();
    EXPECT_NEAR(thd.mid(5).section(QLatin1Char(' '), 0, 0).toDouble(), 5.83, 0.3);
    // The current is a pure sine 30 degrees behind.
    EXPECT_NEAR(Cell(w->Table(1), 0, 3) - Cell(volts, 0, 3), -30.0, 1.0);
    EXPECT_NEAR(Cell(w->Table(1), 2, 2), 0.0, 0.5);

    // Ctrl+C with a table's cell current copies the whole window, not the cell.
    QApplication::clipboard()->clear();
    volts->setFocus();
    volts->setCurrentCell(4, 2);
    QTest::keyClick(volts, Qt::Key_C, Qt::ControlModifier);
    const QStringList lines = QApplication::clipboard()->text().split(QLatin1Char('\n'));
    ASSERT_GE(lines.size(), 5);
    EXPECT_TRUE(lines[1].startsWith(QStringLiteral("CH1 (V)\tTHD (%)\t5.8")))
        << lines[1].toStdString();
    EXPECT_EQ(lines[2], QStringLiteral("Order\tAmplitude (V)\t%\tPhase (\u00b0)"));
    const QStringList first = lines[3].split(QLatin1Char('\t'));
    ASSERT_EQ(first.size(), 4);
    EXPECT_EQ(first[0], QStringLiteral("1"));
    EXPECT_NEAR(first[1].toDouble(), 325.0, 2.0);
    EXPECT_EQ(first[2], QStringLiteral("100.00"));
    EXPECT_TRUE(lines.contains(QStringLiteral("CH2 (A)\tTHD (%)\t") +
                               w->ThdLabel(1)->text().mid(5).chopped(2)));

    // The button, and Ctrl+C anywhere else in the window, copy the same.
    QApplication::clipboard()->clear();
    w->CopyButton()->click();
    EXPECT_EQ(QApplication::clipboard()->text(), lines.join(QLatin1Char('\n')));
    QApplication::clipboard()->clear();
    w->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w));
    w->CopyButton()->setFocus();
    QTest::keyClick(w->CopyButton(), Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), lines.join(QLatin1Char('\n')));

    QTest::keyClick(w, Qt::Key_Escape);
    EXPECT_FALSE(w->isVisible());
}

TEST_F(HarmonicsWindow, NothingToAnalyseShowsDashesAndCopiesNothing) {
    // Before any capture there is nothing to open.
    EXPECT_FALSE(OpenAction()->isEnabled());

    // A capture without a usable signal (a flat line, no crossing): "--", no rows,
    // never figures made from nothing.
    Channels(shell->Set(), false);
    shell->Set().Run().SetCapture(RealTimeRun::Wave{});
    shell->UpdateAllViews();
    EXPECT_TRUE(OpenAction()->isEnabled());
    CHarmonicsDlg* w = Open();
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(w->ChannelBox(0)->isVisibleTo(w));
    EXPECT_FALSE(w->ChannelBox(1)->isVisibleTo(w));
    EXPECT_EQ(w->ThdLabel(0)->text(), QStringLiteral("THD: -- %"));
    EXPECT_EQ(w->Table(0)->rowCount(), 0);
    EXPECT_EQ(w->Text(), QStringLiteral("Waveform on show\nCH1 (V)\tTHD (%)\t--\n"));

    // The capture goes (a new, empty set): the open window greys and copies nothing.
    shell->Set().Run().ClearCapture();
    shell->UpdateAllViews();
    EXPECT_FALSE(OpenAction()->isEnabled());
    EXPECT_TRUE(w->Heading()->text().contains(QStringLiteral("--")));
    EXPECT_FALSE(w->ChannelBox(0)->isVisibleTo(w));
    EXPECT_FALSE(w->CopyButton()->isEnabled());
    EXPECT_FALSE(w->PrintButton()->isEnabled());
    QApplication::clipboard()->setText(QStringLiteral("kept"));
    QTest::keyClick(w, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("kept"));
}

TEST_F(HarmonicsWindow, FollowsEachSampleOfARun) {
    MeasurementSet& s = shell->Set();
    Channels(s, true);
    Capture(s, 50);
    s.Run().Begin(FromLocalFields({2026, 12, 9, 15, 0, 0}), 2, 10);
    runs::AddSample(s.Run(), {230, 10});
    CHarmonicsDlg* w = Open();
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(w->Heading()->text().startsWith(QStringLiteral("Sample 1, ")));
    EXPECT_NEAR(Cell(w->Table(0), 0, 1), 325.0, 2.0);

    // The next sample: half the voltage.
    Capture(s, 60, 0.5);
    runs::AddSample(s.Run(), {115, 10});
    shell->Notices().RunProgress(2, 10);
    EXPECT_TRUE(w->Heading()->text().startsWith(QStringLiteral("Sample 2, ")));
    EXPECT_NEAR(Cell(w->Table(0), 0, 1), 162.5, 2.0);
    EXPECT_NEAR(Cell(w->Table(0), 2, 2), 5.0, 0.3);

    // Another waveform put on show without a new sample (a browsed sample of an
    // opened run): the views are told, and so is the window.
    Capture(s, 50, 0.8);
    shell->UpdateAllViews();
    EXPECT_NEAR(Cell(w->Table(0), 0, 1), 260.0, 2.0);
}

TEST(HarmonicsReport, PrintsAPagePerPresentChannelAndOneWithoutAny) {
    App(); // the pages' fonts
    const RealTimeRun::Wave wave = Distorted(50);
    const auto both = std::make_shared<const SampleHarmonics>(
        AnalyseHarmonics(wave, {ChannelKind::Volts, ChannelKind::Amps},
                         {QStringLiteral("V"), QStringLiteral("A")}, QStringLiteral("Sample 1")));
    const auto one = std::make_shared<const SampleHarmonics>(
        AnalyseHarmonics(wave, {ChannelKind::Absent, ChannelKind::Amps},
                         {QStringLiteral("V"), QStringLiteral("A")}, QString()));
    const auto none = std::make_shared<const SampleHarmonics>(
        AnalyseHarmonics({}, {ChannelKind::Volts, ChannelKind::Amps}, {}, QString()));
    EXPECT_EQ(HarmonicsReport(both).count, 2);
    EXPECT_EQ(HarmonicsReport(one).count, 1);
    ASSERT_EQ(one->channels.size(), 1u);
    EXPECT_EQ(one->channels[0].ch, 1);
    EXPECT_EQ(HarmonicsReport(none).count, 1);
    // Every page paints, the page after the last channel included.
    QImage page(1100, 780, QImage::Format_RGB32);
    for (const auto& h : {both, none}) {
        const ReportPages pages = HarmonicsReport(h);
        for (int n = 1; n <= pages.count; ++n) {
            QPainter p(&page);
            pages.paint(p, page.size(), n);
        }
    }
}

} // namespace
