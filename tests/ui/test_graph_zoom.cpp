// Working with the real graph view by mouse, wheel and keyboard: a dragged box
// zooms and enables the bars, ZoomOut and Escape return to the base scale, the
// cursor line leaves no pixel behind and the read-out follows the mouse.

#include "test_graph_zoom_fixture.h"

#include "graph/DisplaySettings.h"
#include "graph/GraphRenderer.h"
#include "graph/Zoom.h"
#include "shell/GraphController.h"

#include <QAction>
#include <QPainter>
#include <QScreen>
#include <QScrollBar>
#include <QTest>
#include <QToolBar>

#include <gtest/gtest.h>

namespace {

class ViewZoom : public StoredGraphView {
protected:
    ViewZoom() { ShowStoredGraph(); }
    void DragBox(QPoint a, QPoint b) {
        QTest::mousePress(view.get(), Qt::LeftButton, {}, a);
        QTest::mouseMove(view.get(), (a + b) / 2);
        QTest::mouseMove(view.get(), b);
        QTest::mouseRelease(view.get(), Qt::LeftButton, {}, b);
        Grab();
    }
};

TEST_F(ViewZoom, DragZoomsEnablesTheBarsAndZoomOutRestores) {
    const QString baseTop = G().YLabelText(0, 10);
    const QString baseLabel = G().XLabelText(1);
    EXPECT_FALSE(view->HorizontalBar()->isEnabled());
    const GraphLayout& g = G().Layout();
    DragBox({g.plotLeft + 100, g.plotTop + 50}, {g.plotLeft + 300, g.plotTop + 250});
    ASSERT_TRUE(G().Zoom().Zoomed());
    EXPECT_NE(G().YLabelText(0, 10), baseTop);
    EXPECT_NE(G().XLabelText(1), baseLabel);
    EXPECT_TRUE(view->HorizontalBar()->isEnabled());
    EXPECT_TRUE(view->Ch1Bar()->isEnabled());
    EXPECT_TRUE(view->Ch2Bar()->isEnabled());
    EXPECT_EQ(view->HorizontalBar()->maximum(), 500);

    // The bar's line step and the wheel scroll sideways.
    const int before = view->HorizontalBar()->value();
    view->HorizontalBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    EXPECT_EQ(view->HorizontalBar()->value(), before + 1);
    QWheelEvent wheel(QPointF(400, 400), view->mapToGlobal(QPointF(400, 400)), {}, {0, 240},
                      Qt::NoButton, {}, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(view.get(), &wheel);
    EXPECT_EQ(view->HorizontalBar()->value(), before - 1);
    view->Ch1Bar()->triggerAction(QAbstractSlider::SliderPageStepAdd);
    EXPECT_EQ(G().Zoom().Shift(0, 1), G().Layout().Hp() / 2);

    view->ViewToolBar()->actions()[0]->trigger();
    Grab();
    EXPECT_FALSE(G().Zoom().Zoomed());
    EXPECT_EQ(G().YLabelText(0, 10), baseTop);
    EXPECT_EQ(G().XLabelText(1), baseLabel);
    EXPECT_FALSE(view->HorizontalBar()->isEnabled());
    EXPECT_FALSE(view->Ch1Bar()->isEnabled());
}

TEST_F(ViewZoom, ZoomReadoutAndDialogsDiedAfterAListPreview) {
    // Print or Preview > List: the next job is the list report; the screen still
    // shows the graph.
    G().SetDisplayContent(GraphModel::kContentList);
    Grab();
    const GraphLayout& g = G().Layout();
    DragBox({g.plotLeft + 100, g.plotTop + 50}, {g.plotLeft + 300, g.plotTop + 250});
    EXPECT_TRUE(G().Zoom().Zoomed());
    EXPECT_TRUE(shell->StateOf(ViewCmd::ZoomOut).enabled);
    EXPECT_TRUE(DisplayDialogsEnabled(G()));
    ASSERT_TRUE(shell->Execute(ViewCmd::ZoomOut));
    Grab();
    EXPECT_FALSE(G().Zoom().Zoomed());
    QTest::mouseMove(view.get(), {g.plotLeft + 210, g.plotTop + 110});
    QCoreApplication::processEvents();
    EXPECT_TRUE(G().ReadoutText().startsWith("Data Point No.:"));
}

TEST_F(ViewZoom, AStaleReadoutOutlivedItsDataAndWentOnPaper) {
    const GraphLayout& g = G().Layout();
    QTest::mouseMove(view.get(), {g.plotLeft + 220, g.plotTop + 120});
    QCoreApplication::processEvents();
    ASSERT_FALSE(G().ReadoutText().isEmpty());

    // A page carries no read-out: the same graph with and without one prints alike.
    RenderOptions o;
    o.printing = true;
    const GraphInputs in{shell->Set(), shell->Settings(), false};
    auto page = [&](const GraphModel& m) {
        QImage image(1200, 800, QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainter p(&image);
        GraphModel copy = m;
        copy.PrepareFrame(1200, 800, in);
        PaintGraph(p, copy, in, o);
        return image;
    };
    GraphModel without = G();
    without.SetReadoutText(QString());
    EXPECT_EQ(page(G()), page(without));

    // New data in the same mode: the line named a point of the old data.
    G().SetDataReplaced(true);
    ASSERT_TRUE(shell->ExecuteDirect(Cmd::StoreRms));
    EXPECT_TRUE(G().ReadoutText().isEmpty());
}

TEST_F(ViewZoom, DisabledHorizontalBarDrawsNoOldThumbAfterZoomOut) {
    const QImage baseBar = view->HorizontalBar()->grab().toImage();
    const GraphLayout& g = G().Layout();
    DragBox({g.plotLeft + 100, g.plotTop + 50}, {g.plotLeft + 300, g.plotTop + 250});
    ASSERT_TRUE(G().Zoom().Zoomed());
    view->HorizontalBar()->triggerAction(QAbstractSlider::SliderPageStepAdd);
    Grab();
    ASSERT_GT(view->HorizontalBar()->value(), 0);
    view->ViewToolBar()->actions()[0]->trigger();
    Grab();
    EXPECT_EQ(view->HorizontalBar()->maximum(), 0);
    EXPECT_EQ(view->HorizontalBar()->value(), 0);
    // The bar looks as it did before the zoom: no thumb where the zoom left it.
    EXPECT_EQ(view->HorizontalBar()->grab().toImage(), baseBar);
}

TEST_F(ViewZoom, EscapeReturnsToTheBaseScaleAndAClickDoesNotZoom) {
    const GraphLayout& g = G().Layout();
    QTest::mouseClick(view.get(), Qt::LeftButton, {}, {g.plotLeft + 100, g.plotTop + 50});
    Grab();
    EXPECT_FALSE(G().Zoom().Zoomed());
    DragBox({g.plotLeft + 100, g.plotTop + 50}, {g.plotLeft + 300, g.plotTop + 250});
    ASSERT_TRUE(G().Zoom().Zoomed());
    QTest::keyClick(view.get(), Qt::Key_Escape);
    Grab();
    EXPECT_FALSE(G().Zoom().Zoomed());
}

TEST_F(ViewZoom, DragLeavingTheWatchedRegionIsCancelled) {
    const GraphLayout& g = G().Layout();
    QTest::mousePress(view.get(), Qt::LeftButton, {}, {g.plotLeft + 100, g.plotTop + 50});
    QTest::mouseMove(view.get(), {g.plotLeft + 200, g.plotTop + 150});
    EXPECT_TRUE(view->DraggingBand());
    QTest::mouseMove(view.get(), {5, g.plotTop + 150});
    clock.Advance(10);
    EXPECT_FALSE(view->DraggingBand());
    QTest::mouseRelease(view.get(), Qt::LeftButton, {}, {5, g.plotTop + 150});
    Grab();
    EXPECT_FALSE(G().Zoom().Zoomed());
}

TEST_F(ViewZoom, CursorLineLeavesNoPixelBehindAndTheReadoutFollows) {
    const GraphLayout& g = G().Layout();
    Grab();
    // The composed image: a grab would compose the whole graph afresh.
    const QImage before = view->Composed().copy();
    const QPoint inside(g.plotLeft + 200, g.plotTop + 100);
    QTest::mouseMove(view.get(), inside);
    QCoreApplication::processEvents();
    ASSERT_TRUE(view->CursorShown());
    const QImage with = view->Composed().copy();
    // The line is the background inverted: white on the default black.
    int lit = 0;
    for (int y = g.plotTop; y <= g.plotBottom; ++y)
        lit += with.pixelColor(inside.x(), y) != before.pixelColor(inside.x(), y);
    EXPECT_GT(lit, g.Hp() / 3);
    EXPECT_TRUE(G().ReadoutText().startsWith("Data Point No.:")) << G().ReadoutText().toStdString();
    const int64_t nearest = NearestPoint(G(), inside.x());
    EXPECT_TRUE(G().ReadoutText().startsWith(QString("Data Point No.:%1 ").arg(nearest + 1)));

    // Moving below the plot erases the line; the read-out stays.
    const QString text = G().ReadoutText();
    QTest::mouseMove(view.get(), {inside.x(), g.plotBottom + 5});
    QCoreApplication::processEvents();
    EXPECT_FALSE(view->CursorShown());
    const QImage after = view->Composed().copy();
    const QRect plot(QPoint(g.plotLeft, g.plotTop), QPoint(g.plotRight, g.plotBottom));
    EXPECT_EQ(after.copy(plot), before.copy(plot));
    EXPECT_EQ(G().ReadoutText(), text);
}

TEST_F(ViewZoom, ScreenFollowsTheCursorLineAndReadoutOfEachMove) {
    const GraphLayout& g = G().Layout();
    // What the window system shows of the view, as its last flush left it.
    auto screen = [&] {
        QCoreApplication::processEvents();
        return view->screen()
            ->grabWindow(view->winId())
            .toImage()
            .convertToFormat(QImage::Format_RGB32);
    };
    const QRect plot(QPoint(g.plotLeft, g.plotTop), QPoint(g.plotRight, g.plotBottom));
    const QRect strip = ReadoutStrip(g);
    Grab();
    QTest::mouseMove(view.get(), {g.plotLeft + 150, g.plotTop + 100});
    QTest::mouseMove(view.get(), {g.plotLeft + 600, g.plotTop + 200});
    const QString text = G().ReadoutText();
    ASSERT_TRUE(view->CursorShown());
    const QImage shown = screen();
    const QImage composed = view->Composed().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(shown.size(), composed.size());
    // The line moved: the old one is gone from the screen as well, and the strip
    // shows the new text.
    EXPECT_EQ(shown.copy(plot), composed.copy(plot));
    EXPECT_EQ(shown.copy(strip), composed.copy(strip));
    QTest::mouseMove(view.get(), {g.plotLeft + 300, g.plotTop + 50});
    EXPECT_NE(G().ReadoutText(), text);
    const QImage again = screen();
    EXPECT_EQ(again.copy(plot), view->Composed().convertToFormat(QImage::Format_RGB32).copy(plot));
    EXPECT_EQ(again.copy(strip),
              view->Composed().convertToFormat(QImage::Format_RGB32).copy(strip));
}

} // namespace
