// Zoom, scroll and read-out below the widgets: which boxes zoom, the zoomed
// ticks, zoom within a zoom, the bounds of every scroll action, the vertical
// shift, the nearest point and the read-out texts of every mode.

#include "base/LocalTime.h"
#include "graph/Zoom.h"
#include "shell/AppShell.h"
#include "shell/GraphController.h"
#include "support/RunSamples.h"
#include "support/ShellFixture.h"
#include "support/StoredSetBuilder.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

const TimeValue kStart = FromLocalFields({2010, 2, 3, 14, 5, 0});

class Zoom : public ShellFixture {
protected:
    Zoom() : graph(shell) {}

    // A stored RMS set of `count` points on a 1000 x 700 client: the plot spans
    // x 110 ... 890 (W 780) and y 190 ... 590 (Hp 400).
    void Load(int count, int low = -500, int high = 500) {
        std::vector<float> ch1, ch2;
        for (int i = 0; i < count; ++i) {
            ch1.push_back(float(i % 100));
            ch2.push_back(float(i % 10) * 0.5f);
        }
        const MeasurementSet s = StoredSetBuilder()
                                     .Interval(10)
                                     .Start(kStart)
                                     .ChannelCount(2)
                                     .Channel(0, ch1, "V")
                                     .Channel(1, ch2, "A")
                                     .Set(QString());
        shell.Settings().m_yAxisLow[0] = {low, low};
        shell.Settings().m_yAxisHigh[0] = {high, high};
        shell.Set().ReplaceStored(s.Stored());
        shell.SizeWorkBuffers(WorkBufferOccasion::AfterDownload);
        shell.ExecuteDirect(Cmd::StoreRms);
        shell.Graph().SetDisplayContent(1);
        Paint();
    }
    GraphModel& G() { return shell.Graph(); }
    // What a paint does to the model.
    void Paint() {
        G().PrepareFrame(1000, 700, graph.Inputs());
        const GraphLayout& g = G().Layout();
        G().FramePainted(
            PaintedFrame{QRect(QPoint(g.plotLeft, g.plotTop), QPoint(g.plotRight, g.plotBottom))});
    }
    ZoomVerdict Drag(QPoint a, QPoint b) {
        const ZoomVerdict v = FinishZoomDrag(G(), a, b, false);
        Paint();
        return v;
    }

    GraphController graph;
};

TEST_F(Zoom, RefusedBoxesLeaveTheBaseScale) {
    Load(101, 0, 10); // CH1 spans 10 units over 400 pixels; points 7.8 pixels apart
    const QString top = G().YLabelText(0, 10);
    EXPECT_EQ(FinishZoomDrag(G(), {300, 300}, {400, 400}, true), ZoomVerdict::Unmoved);
    EXPECT_EQ(Drag({300, 300}, {303, 400}), ZoomVerdict::Unmoved);
    // 39 pixels are 0.975 units: a tenth of it is below 0.1.
    EXPECT_EQ(Drag({300, 300}, {400, 339}), ZoomVerdict::TooLow);
    // 7 pixels are less than one point interval.
    EXPECT_EQ(Drag({300, 300}, {307, 500}), ZoomVerdict::TooNarrow);
    EXPECT_FALSE(G().Zoom().Zoomed());
    EXPECT_EQ(G().YLabelText(0, 10), top);
    // 40 pixels and 8 pixels are enough.
    EXPECT_EQ(Drag({300, 300}, {308, 340}), ZoomVerdict::Accepted);
    EXPECT_TRUE(G().Zoom().Zoomed());
}

TEST_F(Zoom, AcceptedBoxGivesTheTruncatedTicksAndZoomWithinZoom) {
    Load(101);
    // Dragged from bottom right to top left: the box is ordered first.
    ASSERT_EQ(Drag({500, 490}, {300, 290}), ZoomVerdict::Accepted);
    // Box bottom 100 pixels above the plot's: -500 + 1000 * 100 / 400 = -250, and a
    // tenth of its 200 pixels higher -200.
    EXPECT_FLOAT_EQ(G().Zoom().ZoomLow(0), -250.0f);
    EXPECT_FLOAT_EQ(G().Ticks(0, 1)[1], -200.0f);
    EXPECT_FLOAT_EQ(G().Ticks(1, 1)[10], 250.0f);
    EXPECT_EQ(G().YLabelText(0, 10), "250.00");
    EXPECT_NEAR(G().PointDistance(), 7.8 * 780 / 200, 1e-4);
    // The point at the box's left edge is now at the plot's left edge.
    const double leftPoint = (300 - 110) / 7.8;
    EXPECT_NEAR(G().FirstX(0) + G().PointDistance() * leftPoint, 110, 1e-3);
    EXPECT_FALSE(G().Zoom().Pending());

    // Inside the zoom: the lower half of the plot, the left half of the width.
    ASSERT_EQ(Drag({110, 390}, {500, 590}), ZoomVerdict::Accepted);
    EXPECT_NEAR(G().PointDistance(), 7.8 * 780 / 200 * 780 / 390, 1e-4);
    EXPECT_FLOAT_EQ(G().Ticks(0, 1)[0], -250.0f);
    EXPECT_FLOAT_EQ(G().Ticks(0, 1)[10], 0.0f);

    graph.ResetScale();
    Paint();
    EXPECT_FALSE(G().Zoom().Zoomed());
    EXPECT_EQ(G().YLabelText(0, 10), "500.00");
    EXPECT_DOUBLE_EQ(G().PointDistance(), 7.8f);
}

TEST_F(Zoom, ZoomWithinAScrolledZoomShowsWhatTheBoxHeld) {
    Load(101);
    ASSERT_EQ(Drag({300, 190}, {500, 590}), ZoomVerdict::Accepted);
    for (int i = 0; i < 5; ++i)
        ScrollHorizontally(G(), ScrollCode::LineRight, 0, 0);
    Paint();
    // The point under x 400 before the second zoom is at the new plot's left edge.
    const int64_t under = NearestPoint(G(), 110);
    ASSERT_EQ(Drag({110, 190}, {500, 590}), ZoomVerdict::Accepted);
    EXPECT_EQ(NearestPoint(G(), 110), under);
}

TEST_F(Zoom, HorizontalScrollStaysWithinTheWindow) {
    Load(101);
    ASSERT_EQ(Drag({300, 190}, {500, 590}), ZoomVerdict::Accepted);
    const HorizontalScroll h = HorizontalScrollOf(G());
    EXPECT_TRUE(h.enabled);
    EXPECT_EQ(h.maximum, 101);
    const int32_t start = h.position;
    EXPECT_EQ(start, G().Zoom().LeftIndex() + 1);
    int32_t p = start;
    for (int i = 0; i < 300; ++i)
        p = ScrollHorizontally(G(), ScrollCode::LineLeft, 0, 0);
    EXPECT_EQ(p, 0);
    for (int i = 0; i < 300; ++i)
        p = ScrollHorizontally(G(), ScrollCode::LineRight, 0, 0);
    EXPECT_EQ(p, 101);

    const int32_t page = HorizontalPage(G());
    EXPECT_EQ(page, int32_t(std::trunc((780 + 120) / G().PointDistance())) + 1);
    p = ScrollHorizontally(G(), ScrollCode::PageLeft, 0, 0);
    EXPECT_EQ(p, 101 - page);
    for (int i = 0; i < 3; ++i)
        p = ScrollHorizontally(G(), ScrollCode::PageLeft, 0, 0);
    EXPECT_EQ(p, 0); // less than a page left: to the start
    p = ScrollHorizontally(G(), ScrollCode::PageRight, 0, 0);
    EXPECT_EQ(p, page);
    for (int i = 0; i < 3; ++i)
        p = ScrollHorizontally(G(), ScrollCode::PageRight, 0, 0);
    EXPECT_EQ(p, 101); // less than a page right: to the end
    p = ScrollHorizontally(G(), ScrollCode::Thumb, 40, 0);
    EXPECT_EQ(p, 40);
    EXPECT_EQ(ScrollHorizontally(G(), ScrollCode::Other, 7, 0), 40);
}

TEST_F(Zoom, ThumbAboveA16BitRangeFollowsTheCursor) {
    Load(40000);
    ASSERT_EQ(Drag({300, 190}, {500, 590}), ZoomVerdict::Accepted);
    const GraphLayout& g = G().Layout();
    EXPECT_EQ(ScrollHorizontally(G(), ScrollCode::Thumb, 123, g.plotLeft + 29), 0);
    EXPECT_EQ(ScrollHorizontally(G(), ScrollCode::Thumb, 123, g.plotRight - 29), 40000);
    const int x = g.plotLeft + 30 + (g.W() - 60) / 4;
    EXPECT_EQ(ScrollHorizontally(G(), ScrollCode::Thumb, 123, x), 10000);
}

TEST_F(Zoom, VerticalShiftMovesTheZoomedTicksOnly) {
    Load(101);
    int32_t shift = ScrollVertically(G(), 0, ScrollCode::LineRight, 0);
    EXPECT_EQ(shift, 0); // the base scale never shifts
    ASSERT_EQ(Drag({300, 290}, {500, 490}), ZoomVerdict::Accepted);
    const float before = G().Ticks(0, 1)[0];
    for (int i = 0; i < 10; ++i)
        shift = ScrollVertically(G(), 0, ScrollCode::LineRight, 0);
    EXPECT_EQ(shift, 10);
    EXPECT_TRUE(G().Zoom().ScrollHeld());
    Paint();
    // A step of 50 units, moved down by 50 * 10 * 10 / 400.
    EXPECT_FLOAT_EQ(G().Ticks(0, 1)[0], before - 12.5f);
    EXPECT_FLOAT_EQ(G().Ticks(1, 1)[0], before); // CH2 kept its range
    EXPECT_EQ(ScrollVertically(G(), 1, ScrollCode::PageRight, 0), 200);
    EXPECT_EQ(ScrollVertically(G(), 1, ScrollCode::LineRight, 0), 200);
    EXPECT_EQ(ScrollVertically(G(), 1, ScrollCode::PageLeft, 0), -200);
    EXPECT_EQ(ScrollVertically(G(), 1, ScrollCode::LineLeft, 0), -200);
    EXPECT_EQ(ScrollVertically(G(), 1, ScrollCode::Thumb, 5000), 200);
}

TEST_F(Zoom, NearestPointIsTheOneASearchFinds) {
    Load(1001);
    auto searched = [&](double x) {
        int64_t best = -1;
        double d = 1e300;
        const double dx = G().PointDistance();
        const double xf = G().FirstX(0);
        for (int64_t k = 0; k < G().PointCount(); ++k) {
            const double px = xf + dx * double(k + G().Zoom().ScrollIndex());
            if (std::fabs(px - x) < d - 1e-9) {
                d = std::fabs(px - x);
                best = k;
            }
        }
        return best;
    };
    auto check = [&] {
        for (int x = 110; x <= 890; x += 7)
            ASSERT_EQ(NearestPoint(G(), x), searched(x)) << x;
    };
    check();
    ASSERT_EQ(Drag({333, 190}, {377, 590}), ZoomVerdict::Accepted);
    check();
    for (int i = 0; i < 17; ++i)
        ScrollHorizontally(G(), ScrollCode::LineRight, 0, 0);
    check();
    // Far outside the plot: the window's ends.
    EXPECT_EQ(NearestPoint(G(), -1e9), 0);
    EXPECT_EQ(NearestPoint(G(), 1e9), 1000);
}

TEST(Readout, ValueRulesPerMode) {
    EXPECT_EQ(ReadoutValue(GraphMode::StoreRms, 0.0, "V"), "LO");
    EXPECT_EQ(ReadoutValue(GraphMode::StoreRms, 0.04, "V"), "LO"); // reads 0.0
    EXPECT_EQ(ReadoutValue(GraphMode::StoreRms, 230.46, "V"), "230.5V");
    EXPECT_EQ(ReadoutValue(GraphMode::StoreTransient, 0.0, "A"), "0A");
    EXPECT_EQ(ReadoutValue(GraphMode::StoreTransient, -12.4, "A"), "-12A");
    EXPECT_EQ(ReadoutValue(GraphMode::RealTimeEpa, 0.0, "V"), "0V");
    EXPECT_EQ(ReadoutValue(GraphMode::RealTimeRms, 0.0, "A"), "LO");
    EXPECT_EQ(ReadoutValue(GraphMode::RealTimeFrequency, 400.0, "Hz"), "OL");
    EXPECT_EQ(ReadoutValue(GraphMode::RealTimeFrequency, 40.0, "Hz"), "LO");
    EXPECT_EQ(ReadoutValue(GraphMode::RealTimeFrequency, 40.1, "Hz"), "40.1Hz");
    EXPECT_EQ(ReadoutValue(GraphMode::RealTimeFrequency, 399.9, "Hz"), "399.9Hz");
    EXPECT_EQ(ReadoutValue(GraphMode::RealTimeApparentPower, 1150.4, "VA"), "1150VA");
    EXPECT_EQ(ReadoutValue(GraphMode::RealTimeApparentPower, 0.4, "VA"), "LO");
}

TEST_F(Zoom, ReadoutLinesOfStoredAndRealTimeModes) {
    Load(101);
    EXPECT_EQ(ReadoutText(G(), graph.Inputs(), 0),
              "Data Point No.:1  Time:03/02/10 14:05:00   CH1: LO   CH2: LO");
    EXPECT_EQ(ReadoutText(G(), graph.Inputs(), 3),
              "Data Point No.:4  Time:03/02/10 14:05:30   CH1: 3.0V   CH2: 1.5A");
    G().SetChannelsPresent(0, 1);
    EXPECT_EQ(ReadoutText(G(), graph.Inputs(), 3),
              "Data Point No.:4  Time:03/02/10 14:05:30   CH2: 1.5A");

    MeasurementSet& s = shell.Set();
    runs::BeginRun(s.Run(), 2, kStart, shell.Settings().m_rtInterval, "V", "A");
    runs::AddSample(s.Run(), {230.0f, 5.0f}, {50.0f, 50.0f});
    runs::AddSample(s.Run(), {0.0f, 0.0f}, {0.0f, 0.0f});
    shell.ExecuteDirect(Cmd::RealTimeApparentPower);
    ASSERT_EQ(G().Mode(), GraphMode::RealTimeApparentPower);
    EXPECT_EQ(ReadoutText(G(), graph.Inputs(), 0),
              "Data Point No.:1  Time:03/02/10 14:05:00   S(VA): 1150VA");
}

TEST_F(Zoom, DragWatchdogRegionAroundThePlot) {
    Load(11);
    const GraphLayout& g = G().Layout();
    EXPECT_TRUE(CursorInDragRegion(g, {g.plotLeft - 49, g.plotTop - 2}));
    EXPECT_FALSE(CursorInDragRegion(g, {g.plotLeft - 50, 300}));
    EXPECT_FALSE(CursorInDragRegion(g, {400, g.plotTop - 3}));
    EXPECT_TRUE(CursorInDragRegion(g, {979, g.plotBottom + 19}));
    EXPECT_FALSE(CursorInDragRegion(g, {980, 300}));
    EXPECT_FALSE(CursorInDragRegion(g, {400, g.plotBottom + 20}));
    EXPECT_EQ(ClampToPlot(g, {0, 1000}), QPoint(g.plotLeft, g.plotBottom));
}

TEST_F(Zoom, ResizeKeepsTheZoomProportional) {
    Load(101);
    ASSERT_EQ(Drag({300, 190}, {500, 590}), ZoomVerdict::Accepted);
    const int64_t atLeft = NearestPoint(G(), 110);
    const int64_t atRight = NearestPoint(G(), 890);
    G().PrepareFrame(1400, 700, graph.Inputs());
    EXPECT_EQ(NearestPoint(G(), G().Layout().plotLeft), atLeft);
    EXPECT_EQ(NearestPoint(G(), G().Layout().plotRight), atRight);
}

} // namespace
