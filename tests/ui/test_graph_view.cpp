// The graph view widget: welcome screen, off-screen composition, child windows,
// its timers, the information bar and the mode commands through the main window.

#include "app/CMainFrame.h"
#include "base/Fonts.h"
#include "base/LocalTime.h"
#include "shell/AppShell.h"
#include "support/RunSamples.h"
#include "support/ShellFixture.h"
#include "support/StoredSetBuilder.h"
#include "support/TestApp.h"
#include "ui/CButtonBar.h"
#include "ui/CDTView.h"
#include "ui/CRecInfoDlg.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QSplitter>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolBar>

#include <set>

#include <gtest/gtest.h>

namespace {

const TimeValue kStart = FromLocalFields({2010, 2, 3, 14, 5, 0});

MeasurementSet SampleSet(int count) {
    std::vector<float> ch1, ch2;
    for (int i = 0; i < count; ++i) {
        ch1.push_back(230.0f + float(i % 7));
        ch2.push_back(5.0f + float(i % 3));
    }
    std::vector<float> wave;
    for (int k = 0; k < kTrPoints; ++k)
        wave.push_back(float(300 * std::sin(k / 20.0)));
    return StoredSetBuilder()
        .Interval(60)
        .Start(kStart)
        .ChannelCount(2)
        .Channel(0, ch1, "V")
        .Channel(1, ch2, "A")
        .TrWave(kStart + 90, kTrChannel2, kTrUnitAmps, wave)
        .Set(QString());
}

class View : public ShellParts {
protected:
    View() : viewTimers(clock) {
        App();
        qputenv("DATALOGGER_DIR", dir.path().toLocal8Bit());
        shell = std::make_unique<AppShell>(timers, prompts, now, SettingsFilePath());
        view = std::make_unique<CDTView>(*shell, nullptr, &viewTimers);
        view->resize(1200, 800);
        view->show();
        QCoreApplication::processEvents();
    }
    ~View() override {
        view.reset();
        shell.reset();
    }
    // What a completed download does.
    void Download(int count) {
        shell->Set().ReplaceStored(SampleSet(count).Stored());
        EditStored(shell->Set(), [](StoredSet& d) { ComputeStoredExtremes(d); });
        shell->Graph().SetFirstPoint(1);
        shell->Graph().SetLastPoint(count);
        shell->SizeWorkBuffers(WorkBufferOccasion::AfterDownload);
        shell->ExecuteDirect(Cmd::StoreRms);
        shell->UpdateAllViews();
        shell->Graph().SetDisplayContent(1);
        timers.Start(FrameTimer::ResetScale, 50);
    }
    QImage Grab() {
        view->repaint();
        return view->grab().toImage();
    }

    ManualTimerTable viewTimers;
    std::unique_ptr<AppShell> shell;
    std::unique_ptr<CDTView> view;
};

TEST_F(View, WelcomeUntilDataThenGraphWithChildWindows) {
    QImage img = Grab();
    EXPECT_EQ(img.pixelColor(img.width() - 5, 5), QColor(200, 200, 200));
    ASSERT_NE(view->findChild<CButtonBar*>(), nullptr);
    EXPECT_EQ(view->InfoBar(), nullptr);

    Download(500);
    img = Grab();
    QCoreApplication::processEvents(); // the button bar goes
    EXPECT_EQ(view->findChild<CButtonBar*>(), nullptr);
    const GraphLayout& g = shell->Graph().Layout();
    EXPECT_EQ(g.plotTop, 120 + 70);
    // The composed image is what the screen shows.
    EXPECT_EQ(view->Composed().size(), view->size());
    EXPECT_EQ(img.pixelColor(g.plotLeft + 7, g.plotTop + 15),
              ColourOf(shell->Settings().m_bgColor));
    ASSERT_NE(view->InfoBar(), nullptr);
    EXPECT_TRUE(view->InfoBar()->isVisible());
    EXPECT_EQ(view->InfoBar()->geometry(), QRect(0, 0, 1200, 120));
    EXPECT_EQ(view->HorizontalBar()->geometry(), g.horizontalBar);
    EXPECT_FALSE(view->HorizontalBar()->isEnabled());
    EXPECT_EQ(view->Ch1Bar()->geometry(), g.ch1Bar);
    EXPECT_EQ(view->Ch2Bar()->geometry(), g.ch2Bar);
    EXPECT_EQ(view->ViewToolBar()->geometry(), g.toolBar);
    // Four buttons, all enabled while a graph is shown: ZoomOut and the three dialogs.
    const QList<QAction*> actions = view->ViewToolBar()->actions();
    ASSERT_EQ(actions.size(), 4);
    EXPECT_EQ(actions[0]->toolTip(), "ZoomOut");
    for (QAction* a : actions)
        EXPECT_TRUE(a->isEnabled()) << a->toolTip().toStdString();
}

TEST_F(View, ExportedImageHadAnEmptyBandWhereTheInfoBarSits) {
    Download(500);
    const QImage shown = Grab().convertToFormat(QImage::Format_RGB32);
    const QImage exported = view->ExportImage();
    ASSERT_EQ(exported.size(), view->size());
    const int bandHeight = view->InfoBar()->height();
    ASSERT_EQ(bandHeight, 120);
    // The band holds the information bar as the window shows it (its scroll bar
    // aside): texts on the bar's fill, not one colour from edge to edge.
    const int width = view->InfoBar()->ClientWidth();
    int differing = 0;
    std::set<QRgb> colours;
    for (int y = 0; y < bandHeight; ++y)
        for (int x = 0; x < width; ++x) {
            colours.insert(exported.pixel(x, y));
            differing += exported.pixel(x, y) != shown.pixel(x, y);
        }
    EXPECT_GT(colours.size(), 2u);
    // The same texts in the same places; a glyph may be hinted a little differently
    // on an image than on the screen.
    EXPECT_LT(differing, width * bandHeight / 100);
    // Below it the graph as composed, without the mouse's read-out.
    const GraphLayout& g = shell->Graph().Layout();
    EXPECT_EQ(exported.pixel(g.plotLeft + 7, g.plotTop + 15),
              view->Composed().pixel(g.plotLeft + 7, g.plotTop + 15));
}

// Columns of a button's picture where its icon and caption show: the button
// grabbed as it is and again with neither, and the columns that differ.
std::pair<int, int> ContentColumns(QPushButton* b) {
    const QImage full = b->grab().toImage();
    const QString text = b->text();
    const QIcon icon = b->icon();
    b->setText(QString());
    b->setIcon(QIcon());
    const QImage bare = b->grab().toImage();
    b->setText(text);
    b->setIcon(icon);
    int first = full.width(), last = -1;
    for (int x = 0; x < full.width(); ++x)
        for (int y = 0; y < full.height(); ++y)
            if (full.pixel(x, y) != bare.pixel(x, y)) {
                first = std::min(first, x);
                last = std::max(last, x);
            }
    return {first, last};
}

TEST_F(View, OpenExistingDocumentRanIntoItsButtonsEdge) {
    Grab(); // the welcome screen makes the bar
    CButtonBar* bar = view->findChild<CButtonBar*>();
    ASSERT_NE(bar, nullptr);
    const QList<QPushButton*> buttons = bar->findChildren<QPushButton*>();
    ASSERT_EQ(buttons.size(), 5);
    for (QPushButton* b : buttons) {
        const auto [first, last] = ContentColumns(b);
        ASSERT_GE(last, first) << b->text().toStdString();
        // The caption ends about as far from the right edge as the icon starts
        // from the left one.
        EXPECT_GE(b->width() - 1 - last, first - 2)
            << b->text().toStdString() << ": " << first << " to " << last << " of " << b->width();
    }
    // Never smaller than the usual bar, and still centred at the left edge.
    EXPECT_GE(bar->width(), CButtonBar::kWidth);
    EXPECT_GE(bar->height(), CButtonBar::kHeight);
    EXPECT_EQ(bar->pos(), QPoint(0, (view->height() - bar->height()) / 2));
}

TEST_F(View, FirstGraphPaintArmsTimer4AndResizeArmsTimer2) {
    Download(50);
    Grab();
    EXPECT_TRUE(viewTimers.IsActive(ViewTimer::FirstPaintReset));
    shell->Graph().Zoom().SetSlot(1);
    clock.Advance(50);
    EXPECT_EQ(shell->Graph().Zoom().Slot(), 0);
    EXPECT_FALSE(viewTimers.IsActive(ViewTimer::FirstPaintReset));
    // Not again on later paints.
    Grab();
    EXPECT_FALSE(viewTimers.IsActive(ViewTimer::FirstPaintReset));

    view->resize(900, 600);
    QCoreApplication::processEvents();
    EXPECT_TRUE(viewTimers.IsActive(ViewTimer::ResizeRepaint));
    clock.Advance(50);
    EXPECT_FALSE(viewTimers.IsActive(ViewTimer::ResizeRepaint));
    Grab();
    EXPECT_EQ(shell->Graph().Layout().plotRight, 900 - 110);
}

TEST_F(View, ZoomOutButtonResetsTheScale) {
    Download(50);
    Grab();
    shell->Graph().Zoom().SetSlot(1);
    shell->Graph().Zoom().SetScrollIndex(-4);
    view->ViewToolBar()->actions()[0]->trigger();
    EXPECT_EQ(shell->Graph().Zoom().Slot(), 0);
    EXPECT_EQ(shell->Graph().Zoom().ScrollIndex(), 0);
    const int half = shell->Graph().Layout().Hp() / 2;
    EXPECT_EQ(view->Ch1Bar()->minimum(), -half);
    EXPECT_EQ(view->Ch2Bar()->maximum(), half);
}

// ZoomOut, Axis Setup, Color Setup and View sat on a tool bar whose buttons take no
// focus: a keyboard user had no way to the axis ranges (the zoom by keys), the colours
// or the mark points.
TEST_F(View, TheGraphButtonsAreOfferedByTheKeyboardsContextMenu) {
    Download(50);
    Grab();
    shell->Graph().Zoom().SetSlot(1);
    QStringList offered;
    QTimer::singleShot(0, [&] {
        if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
            for (QAction* a : menu->actions())
                if (a->isEnabled())
                    offered << a->text();
            menu->setActiveAction(menu->actions().value(0));
            QTest::keyClick(menu, Qt::Key_Return);
        }
    });
    QContextMenuEvent key(QContextMenuEvent::Keyboard, QPoint(600, 400),
                          view->mapToGlobal(QPoint(600, 400)));
    QCoreApplication::sendEvent(view.get(), &key);
    EXPECT_EQ(offered, QStringList({"ZoomOut", "Axis Setup", "Color Setup", "View"}));
    EXPECT_EQ(shell->Graph().Zoom().Slot(), 0); // ZoomOut chosen by Return
}

TEST_F(View, TransientModeShrinksTheInfoBarToItsTime) {
    Download(50);
    Grab();
    ASSERT_TRUE(shell->Execute(Cmd::StoreTransient));
    Grab();
    EXPECT_EQ(view->InfoBar()->height(), 25);
    EXPECT_EQ(shell->Graph().Layout().plotTop, 25 + 70);
    EXPECT_EQ(shell->Graph().Info().start, FormatDateTime(kStart + 90));
    // Numbered X labels in the transient graph.
    EXPECT_EQ(shell->Graph().XLabelText(0), "1");
    // Only CH2 in amperes: CH2's colour in the plot, not CH1's.
    const QImage img = view->Composed();
    const GraphLayout& g = shell->Graph().Layout();
    int ch1 = 0, ch2 = 0;
    for (int y = g.plotTop; y <= g.plotBottom; ++y)
        for (int x = g.plotLeft; x <= g.plotRight; ++x) {
            ch1 += img.pixelColor(x, y) == ColourOf(shell->Settings().m_ch1Color);
            ch2 += img.pixelColor(x, y) == ColourOf(shell->Settings().m_ch2Color);
        }
    EXPECT_EQ(ch1, 0);
    EXPECT_GT(ch2, 200);
}

TEST_F(View, InfoBarOffHidesItAndThePlotMovesUp) {
    shell->SetInfoBarShown(false);
    Download(50);
    Grab();
    EXPECT_FALSE(view->InfoBar()->isVisible());
    EXPECT_EQ(shell->Graph().Layout().plotTop, 70);
}

TEST_F(View, AppendedSampleIsDrawnIntoTheComposedImage) {
    MeasurementSet& s = shell->Set();
    runs::BeginRun(s.Run(), 100);
    shell->SizeWorkBuffers(WorkBufferOccasion::AtRealTimeStart);
    FakeRealTimeRun run(*shell);
    shell->Graph().SetDisplayContent(1);
    runs::AddSample(s.Run(), {0, 0});
    shell->ExecuteDirect(Cmd::RealTimeRms);
    for (int n = 2; n <= 5; ++n) {
        runs::AddSample(s.Run(), {float(n * 50), 0});
        shell->ExecuteDirect(Cmd::RealTimeRms);
        if (n == 4)
            Grab(); // a full paint at 4 points
        if (n == 5)
            shell->AppendRealTimePoint(); // as the real-time sampling calls it
    }
    // The newest segment (points 4 to 5) is in the image without a full paint.
    const GraphModel& g = shell->Graph();
    const int x = int(g.XPix(4, 0, 0));
    const int y = int(g.YPix(4, 0, 0));
    EXPECT_EQ(view->Composed().pixelColor(x, y), ColourOf(shell->Settings().m_ch1Color));
    run.SetRunning(false);
}

TEST(RecInfo, PaintsBothFormsAndScrollsOnlyWithinItsRange) {
    App();
    GraphModel m;
    m.SetMode(GraphMode::StoreRms);
    m.SetChannelsPresent(1, 0);
    RecInfo info;
    info.title = "STORE RMS";
    info.start = "03/02/10 14:05:00";
    m.SetInfo(info);
    EXPECT_EQ(CRecInfoDlg::ModeLabel().size(), 6 + 57 + 14);
    EXPECT_EQ(CRecInfoDlg::Ch1Label(GraphMode::RealTimeApparentPower),
              " S MAX:" + QString(57, ' ') + "S MIN:");
    CRecInfoDlg bar(m);
    bar.resize(900, 120);
    QImage full(900, 120, QImage::Format_RGB32);
    full.fill(Qt::magenta);
    {
        QPainter p(&full);
        CRecInfoDlg::Paint(p, m, 880, 120, 0);
    }
    EXPECT_EQ(full.pixelColor(3, 3), CRecInfoDlg::Fill());
    // The lines under the title band and the separator at y = 40.
    EXPECT_EQ(full.pixelColor(5, 19), QColor(Qt::black));
    EXPECT_EQ(full.pixelColor(5, 20), QColor(Qt::black));
    EXPECT_EQ(full.pixelColor(5, 40), QColor(Qt::black));
    // Text of the CH1 line, none on the CH2 line.
    auto dark = [&](const QImage& img, QRect r) {
        int n = 0;
        for (int y = r.top(); y <= r.bottom(); ++y)
            for (int x = r.left(); x <= r.right(); ++x)
                n += img.pixelColor(x, y).lightness() < 120;
        return n;
    };
    EXPECT_GT(dark(full, QRect(50, 65, 60, 16)), 10);
    EXPECT_EQ(dark(full, QRect(50, 86, 400, 16)), 0);

    m.SetMode(GraphMode::StoreTransient);
    QImage slim(900, 25, QImage::Format_RGB32);
    {
        QPainter p(&slim);
        CRecInfoDlg::Paint(p, m, 900, 25, 0);
    }
    // Only the time, centred.
    EXPECT_EQ(dark(slim, QRect(0, 0, 300, 25)), 0);
    EXPECT_GT(dark(slim, QRect(380, 0, 140, 25)), 10);

    // The bar is shown disabled and without range; line down still moves as the
    // rule says, line up only from 20.
    EXPECT_FALSE(bar.VerticalBar()->isEnabled());
    bar.OnVScroll(CRecInfoDlg::Scroll::LineUp);
    EXPECT_EQ(bar.ScrollOffset(), 0);
    bar.OnVScroll(CRecInfoDlg::Scroll::PageDown);
    EXPECT_EQ(bar.ScrollOffset(), 0);
    bar.OnVScroll(CRecInfoDlg::Scroll::LineDown);
    EXPECT_EQ(bar.ScrollOffset(), 20);
    bar.OnVScroll(CRecInfoDlg::Scroll::LineUp);
    EXPECT_EQ(bar.ScrollOffset(), 0);
}

TEST(MainFrame, StoreCommandsOnTheToolBarFollowTheData) {
    App();
    QTemporaryDir dir;
    qputenv("DATALOGGER_DIR", dir.path().toLocal8Bit());
    ManualClock clock;
    ManualTimerTable timers(clock);
    FakePrompts prompts;
    FixedClock now;
    AppShell shell(timers, prompts, now, dir.filePath("LumoDATALOGGER.ini"));
    {
        CMainFrame frame(shell);
        frame.resize(1200, 800);
        frame.show();
        frame.UpdateCommandUI();
        EXPECT_FALSE(frame.Action(Cmd::StoreRms)->isEnabled());
        shell.Set().ReplaceStored(SampleSet(20).Stored());
        shell.SizeWorkBuffers(WorkBufferOccasion::AfterDownload);
        shell.Graph().SetDisplayContent(1);
        frame.UpdateCommandUI();
        EXPECT_TRUE(frame.Action(Cmd::StoreRms)->isEnabled());
        EXPECT_TRUE(frame.Action(Cmd::StoreTransient)->isEnabled());
        frame.Action(Cmd::StoreTransient)->trigger();
        EXPECT_TRUE(frame.Action(Cmd::StoreTransient)->isChecked());
        EXPECT_FALSE(frame.Action(Cmd::StoreRms)->isChecked());
        // The transient mode widens the instrument pane to 210 pixels.
        EXPECT_EQ(frame.Splitter()->sizes().at(0), 210);
        frame.Action(Cmd::StoreRms)->trigger();
        EXPECT_TRUE(frame.Action(Cmd::StoreRms)->isChecked());
        EXPECT_EQ(frame.Splitter()->sizes().at(0), 150);
    }
}

} // namespace

// "...19:35:23CH1 MIN:": an extreme with its time ran into the next label.
TEST(RecInfo, ValuesNeverTouchTheFollowingLabelWhateverTheFace) {
    App();
    const QString longMax = QStringLiteral("230.5 V @08/12/26 19:35:23");
    const QString longMin = QStringLiteral("0.0V @08/12/26 19:35:23");
    for (const QFont& font : {CRecInfoDlg::TextFont(), DescribedFont("DejaVu Sans", -14),
                              DescribedFont("Arial", -20)}) {
        const QFontMetrics fm(font);
        const int gap = fm.horizontalAdvance(QStringLiteral(" "));
        const CRecInfoDlg::RowPositions r = CRecInfoDlg::LayoutRow(
            font, CRecInfoDlg::Ch1Label(GraphMode::RealTimeRms), 50, longMax, 125, longMin, 400);
        EXPECT_EQ(r.head, " CH1 MAX:");
        EXPECT_EQ(r.tail, "CH1 MIN:");
        EXPECT_GE(r.firstX, 50 + fm.horizontalAdvance(r.head) + gap) << font.family().toStdString();
        EXPECT_GE(r.tailX, r.firstX + fm.horizontalAdvance(longMax) + gap)
            << font.family().toStdString();
        EXPECT_GE(r.secondX, r.tailX + fm.horizontalAdvance(r.tail) + gap)
            << font.family().toStdString();
    }
    // Short values stay where the screen was drawn to have them.
    const CRecInfoDlg::RowPositions r = CRecInfoDlg::LayoutRow(
        CRecInfoDlg::TextFont(), CRecInfoDlg::StartLabel(), 50, "03/02/10", 150, "12", 425);
    EXPECT_EQ(r.firstX, 150);
    EXPECT_EQ(r.secondX, 425);
    EXPECT_LT(r.tailX + QFontMetrics(CRecInfoDlg::TextFont()).horizontalAdvance(r.tail), 425);
}

// Run once as every test is, and again under QT_SCALE_FACTOR 1.5 and 2 (see
// CMakeLists.txt): the graph is composed at the screen's own resolution.
TEST_F(View, ComposedAtTheDevicePixelRatio) {
    Download(500);
    const QImage shown = Grab();
    const qreal dpr = view->devicePixelRatioF();
    const QByteArray forced = qgetenv("QT_SCALE_FACTOR");
    if (!forced.isEmpty()) {
        EXPECT_DOUBLE_EQ(dpr, forced.toDouble());
    }
    const QImage& c = view->Composed();
    EXPECT_DOUBLE_EQ(c.devicePixelRatio(), dpr);
    EXPECT_EQ(c.size(), QSize(int(std::ceil(1200 * dpr)), int(std::ceil(800 * dpr))));
    EXPECT_EQ(c.deviceIndependentSize().toSize(), view->size());
    // The screen shows the composed pixels one to one.
    EXPECT_EQ(shown.size(), c.size());
    const GraphLayout& g = shell->Graph().Layout();
    const QPoint device(int(std::lround(g.plotLeft * dpr + 7 * dpr)),
                        int(std::lround(g.plotTop * dpr + 15 * dpr)));
    EXPECT_EQ(shown.pixelColor(device), ColourOf(shell->Settings().m_bgColor));
    // A trace line is as wide as one pixel of the layout, in device pixels.
    const QColor ch1 = ColourOf(shell->Settings().m_ch1Color);
    const int x = int(std::lround(g.plotLeft * dpr + (g.plotRight - g.plotLeft) * dpr / 2));
    int widest = 0;
    for (int run = 0, y = int(g.plotTop * dpr); y < int(g.plotBottom * dpr); ++y) {
        run = c.pixelColor(x, y) == ch1 ? run + 1 : 0;
        widest = std::max(widest, run);
    }
    EXPECT_GE(widest, int(std::round(dpr)));
}
