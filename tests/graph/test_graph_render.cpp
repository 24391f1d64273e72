// The renderer on QImage: pixels of the plot, the traces and the overpainting,
// and the per-column reduction of dense traces giving the very image of drawing
// every segment.

#include "base/Settings.h"
#include "data/MeasurementSet.h"
#include "graph/GraphRenderer.h"
#include "graph/Zoom.h"
#include "support/RunSamples.h"
#include "support/StoredSetBuilder.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace {

QGuiApplication& App() {
    static int argc = 1;
    static char name[] = "test_graph_render";
    static char* argv[] = {name, nullptr};
    static QGuiApplication* app = new QGuiApplication(argc, argv);
    return *app;
}

const QColor kGrey(240, 240, 240);

class Render : public ::testing::Test {
protected:
    Render() : in{set, st, false} {
        App();
        st.m_bgColor = 8;    // dark blue
        st.m_ch1Color = 0;   // red
        st.m_ch2Color = 1;   // green
        st.m_gridColor = 14; // grey
    }
    // A stored RMS set of n points from f(i) per channel, shown whole.
    void Stored(int n, const std::function<double(int)>& f1,
                const std::function<double(int)>& f2 = nullptr) {
        std::vector<float> ch1(static_cast<size_t>(n)), ch2(static_cast<size_t>(n));
        for (int i = 0; i < n; ++i) {
            ch1[size_t(i)] = float(f1(i));
            if (f2)
                ch2[size_t(i)] = float(f2(i));
        }
        StoredSetBuilder b;
        b.Interval(1).Start(1265202300).Channel(0, ch1);
        if (f2)
            b.Channel(1, ch2);
        // A replacement of the stored data, as a download or a file read makes it.
        set.ReplaceStored(b.Build());
        m.SetMode(GraphMode::StoreRms);
        m.SetPointWindow(1, n);
        m.SetChannelsPresent(1, f2 ? 1 : 0);
        m.SetChannelUnits("V", "A");
        m.SetAxisRange(0, -500, 500);
        m.SetAxisRange(1, -500, 500);
        m.SetDisplayContent(1);
        m.SizeWorkBuffers(n);
    }
    // `clipped`: with a clip as large as the image, so that every pixel goes
    // through the painter (nothing is written into the image directly).
    QImage Paint(QSize size = QSize(1000, 700), bool decimate = true, bool printing = false,
                 bool clipped = false) {
        QImage img(size, QImage::Format_RGB32);
        img.fill(Qt::magenta);
        QPainter p(&img);
        if (clipped)
            p.setClipRect(img.rect());
        RenderOptions o;
        o.panelGrey = kGrey;
        o.decimate = decimate;
        o.printing = printing;
        m.PrepareFrame(size.width(), size.height(), in);
        m.FramePainted(PaintGraph(p, m, in, o));
        return img;
    }
    // The traces alone, before the overpainting hides what lies outside the plot
    // (mark points and segments reaching past its edges are kept).
    // `summarised`: through the series' values and envelopes (as a paint draws
    // them), else by walking every point of a column in the model's pixel arrays
    // (filled in a copy, so that the model itself still computes its rows from the
    // values when next asked).
    QImage Traces(QSize size, bool decimate, bool summarised = false) {
        QImage img(size, QImage::Format_RGB32);
        img.fill(Qt::magenta);
        m.PrepareFrame(size.width(), size.height(), in);
        QPainter p(&img);
        p.setRenderHint(QPainter::Antialiasing, false);
        if (summarised) {
            DrawTraces(p, m, in, decimate);
        } else {
            const GraphModel arrays = m;
            DrawTraces(p, arrays, st, decimate);
        }
        return img;
    }
    int Count(const QImage& img, const QRect& r, const QColor& c) {
        int n = 0;
        for (int y = std::max(r.top(), 0); y <= std::min(r.bottom(), img.height() - 1); ++y)
            for (int x = std::max(r.left(), 0); x <= std::min(r.right(), img.width() - 1); ++x)
                n += img.pixelColor(x, y) == c;
        return n;
    }
    QRect Plot() const {
        const GraphLayout& g = m.Layout();
        return QRect(QPoint(g.plotLeft, g.plotTop), QPoint(g.plotRight, g.plotBottom));
    }

    MeasurementSet set;
    AppSettings st;
    GraphModel m;
    GraphInputs in;
};

TEST_F(Render, BackgroundTraceAndFrameWhereTheyBelong) {
    Stored(
        101, [](int) { return 0.0; }, [](int) { return 250.0; });
    const QImage img = Paint();
    const GraphLayout& g = m.Layout();
    // Plot background between grid lines.
    EXPECT_EQ(img.pixelColor(g.plotLeft + 13, g.plotTop + 17), ColourOf(8));
    // CH1 at 0 V sits on the middle line, CH2 at 250 A three quarters up.
    const int mid = g.plotBottom - g.Hp() / 2;
    EXPECT_EQ(img.pixelColor(g.plotLeft + g.W() / 3, mid), QColor(255, 0, 0));
    const int y2 = int(std::trunc(g.plotBottom - g.Hp() * 0.75));
    EXPECT_EQ(img.pixelColor(g.plotLeft + g.W() / 3, y2), QColor(0, 255, 0));
    // Frame panel grey, black outside it, white frame line.
    EXPECT_EQ(img.pixelColor(g.frameLeft + 3, g.plotTop + 50), kGrey);
    EXPECT_EQ(img.pixelColor(5, g.plotTop + 50), QColor(Qt::black));
    EXPECT_EQ(img.pixelColor(10, g.plotTop + 50), QColor(Qt::white));
    // Nothing of the magenta fill survives: every pixel was painted.
    EXPECT_EQ(Count(img, img.rect(), Qt::magenta), 0);
}

TEST_F(Render, TracesNeverShowOutsideThePlot) {
    // Spikes far above and below the range, and a steep ramp through it.
    Stored(
        300, [](int i) { return i % 37 == 0 ? 1e6 : (i % 41 == 0 ? -1e6 : (i - 150) * 20.0); },
        [](int i) { return i % 2 ? 3000.0 : -3000.0; });
    const QImage img = Paint();
    const QRect plot = Plot();
    const QColor red(255, 0, 0), green(0, 255, 0);
    EXPECT_GT(Count(img, plot, red), 100);
    EXPECT_GT(Count(img, plot, green), 100);
    // Above the plot, and the margins left and right of it.
    const QRect above(0, 0, img.width(), plot.top());
    const QRect left(0, plot.top(), plot.left(), plot.height());
    const QRect right(plot.right() + 1, plot.top(), img.width() - plot.right() - 1, plot.height());
    // Below the plot down to the legends.
    const QRect below(0, plot.bottom() + 1, img.width(), 25);
    for (const QRect& r : {above, left, right, below}) {
        EXPECT_EQ(Count(img, r, red), 0) << r.x() << "," << r.y();
        EXPECT_EQ(Count(img, r, green), 0) << r.x() << "," << r.y();
    }
}

TEST_F(Render, SegmentsOnTheEdgeAreDrawnAndBeyondItAreNot) {
    // Values 500 map exactly onto the top edge, 600 above it.
    Stored(21, [](int i) { return i < 10 ? 500.0 : 600.0; });
    const QImage img = Paint();
    const GraphLayout& g = m.Layout();
    const int xOnEdge = g.plotLeft + g.W() / 4;    // among points 0..9
    const int xAbove = g.plotLeft + 3 * g.W() / 4; // among points 10..20
    EXPECT_EQ(img.pixelColor(xOnEdge, g.plotTop), QColor(255, 0, 0));
    EXPECT_NE(img.pixelColor(xAbove, g.plotTop), QColor(255, 0, 0));
}

TEST_F(Render, ApparentPowerDrawsOneTraceAndOneLegend) {
    runs::BeginRun(set.Run(), 50, 0, 2, "V", "A");
    runs::GrowTo(set.Run(), 50, {10, 20});
    m.SetMode(GraphMode::RealTimeApparentPower);
    m.SetFirstPoint(1);
    m.SetLastPoint(50);
    m.SetChannelsPresent(1, 1);
    m.SetChannelUnits("VA", "VA");
    m.SetAxisRange(0, 0, 400);
    m.SetAxisRange(1, 0, 400);
    m.SetDisplayContent(1);
    m.SizeWorkBuffers(50);
    const QImage img = Paint();
    const GraphLayout& g = m.Layout();
    // The product 200 VA in CH1's colour half way up; no CH2 colour anywhere.
    EXPECT_EQ(img.pixelColor(g.plotLeft + 100, g.plotBottom - g.Hp() / 2), QColor(255, 0, 0));
    EXPECT_EQ(Count(img, img.rect(), QColor(0, 255, 0)), 0);
    // The legend "VA" at L + 60 in CH1's colour.
    int reddish = 0;
    for (int y = g.plotBottom + 28; y < g.plotBottom + 54; ++y)
        for (int x = 55; x < 95; ++x) {
            const QColor c = img.pixelColor(x, y);
            reddish += c.red() > 150 && c.green() < 80;
        }
    EXPECT_GT(reddish, 10);
}

// A sample without a power figure is a gap in the P(W) trace, not a line to 0 or
// to the top of the window.
TEST_F(Render, ActivePowerLeavesAGapWhereASampleHasNoFigure) {
    runs::BeginRun(set.Run(), 4, 0, 2, "V", "A");
    RtPowerRow p;
    p.p = 200;
    runs::AddSample(set.Run(), {230, 1}, {50, 50}, p);
    runs::AddSample(set.Run(), {230, 1}, {50, 50}, RtPowerRow{});
    runs::AddSample(set.Run(), {230, 1}, {50, 50}, p);
    runs::AddSample(set.Run(), {230, 1}, {50, 50}, p);
    m.SetMode(GraphMode::RealTimeActivePower);
    m.SetPointWindow(1, 4);
    m.SetChannelsPresent(1, 1);
    m.SetChannelUnits("W", "W");
    m.SetAxisRange(0, 0, 400);
    m.SetAxisRange(1, 0, 400);
    m.SetDisplayContent(1);
    m.SizeWorkBuffers(4);
    const QImage img = Paint();
    const GraphLayout& g = m.Layout();
    const QColor red(255, 0, 0);
    // Points at thirds of the width: nothing around the sample without a figure...
    EXPECT_EQ(Count(img, QRect(g.plotLeft + 2, g.plotTop + 1, 2 * g.W() / 3 - 4, g.Hp() - 2), red),
              0);
    EXPECT_EQ(Count(img, QRect(g.plotLeft, 0, g.W(), g.plotTop), red), 0);
    // ...and the segment between the last two, half way up.
    EXPECT_EQ(img.pixelColor(g.plotLeft + 5 * g.W() / 6, g.plotBottom - g.Hp() / 2), red);
}

// Far more samples than pixel columns, so that columns are summarised rather than
// drawn segment by segment (walked at 78 samples a column, looked up in the
// envelope at 560): a stretch of samples without a power figure stays empty, and a
// lone one is left out, never drawn at 0 nor as a line to the top of the plot. The
// lone ones fall at or beside the last sample of every seventh column, where the
// next column's first segment starts.
TEST_F(Render, DenseActivePowerKeepsItsGapsWhenColumnsAreSummarised) {
    constexpr int kN = 100000;
    constexpr int kGapFrom = 30000, kGapTo = 42000; // no figures at all
    const QColor red(255, 0, 0);
    for (QSize size : {QSize(1500, 700), QSize(400, 600)}) {
        m.SetMode(GraphMode::RealTimeActivePower);
        m.SetPointWindow(1, kN);
        m.SetChannelsPresent(1, 1);
        m.SetChannelUnits("W", "W");
        m.SetAxisRange(0, -400, 400);
        m.SetAxisRange(1, -400, 400);
        m.SetDisplayContent(1);
        m.SizeWorkBuffers(kN);
        m.PrepareFrame(size.width(), size.height(), in);
        const double perColumn = 1.0 / m.PointDistance();
        std::vector<bool> lone(kN);
        for (int c = 7, k = 0; c * perColumn < kN; c += 7, ++k)
            lone[size_t(std::clamp(int(std::ceil(c * perColumn)) - 1 + k % 5 - 2, 0, kN - 1))] =
                true;
        runs::BeginRun(set.Run(), kN, 0, 2, "V", "A");
        for (int i = 0; i < kN; ++i) {
            RtPowerRow p;
            if ((i < kGapFrom || i >= kGapTo) && !lone[size_t(i)])
                p.p = float(200 + 100 * std::sin(6.283185307 * 7.0 * i / kN));
            runs::AddSample(set.Run(), {230, 1}, {50, 50}, p);
        }
        m.SizeWorkBuffers(kN);
        for (int marks : {0, 1}) {
            SCOPED_TRACE(std::to_string(size.width()) + " marks=" + std::to_string(marks));
            st.m_showMarkPoints = uint8_t(marks);
            const QImage img = Paint(size, true);
            ASSERT_EQ(img, Paint(size, false)); // the reference: every segment drawn
            const GraphLayout& g = m.Layout();
            auto x = [&](int i) { return g.plotLeft + int(double(i) * g.W() / (kN - 1)); };
            const QRect plot(QPoint(g.plotLeft + 1, g.plotTop + 1),
                             QPoint(g.plotRight - 1, g.plotBottom - 1));
            // Nothing where no sample has a figure, nothing near the row of 0, nothing
            // above the trace's highest value (300 of 400)...
            const QRect gap(QPoint(x(kGapFrom) + 2, plot.top()),
                            QPoint(x(kGapTo - 1) - 2, plot.bottom()));
            EXPECT_EQ(Count(img, gap, red), 0);
            const int zero = g.plotBottom - g.Hp() / 2;
            EXPECT_EQ(Count(img, QRect(plot.left(), zero - 5, plot.width(), 11), red), 0);
            EXPECT_EQ(Count(img, QRect(plot.left(), plot.top(), plot.width(), g.Hp() / 10), red),
                      0);
            // ...while the trace is there on both sides of the gap.
            EXPECT_GE(Count(img, QRect(QPoint(plot.left(), plot.top()), gap.bottomLeft()), red),
                      x(kGapFrom) - plot.left());
            EXPECT_GE(Count(img, QRect(gap.topRight(), plot.bottomRight()), red),
                      plot.right() - x(kGapTo));
        }
    }
}

TEST_F(Render, WithoutGridsOnlyTicksRemain) {
    st.m_showHorizontalGrid = 0;
    st.m_showVerticalGrid = 0;
    st.m_gridColor = 4; // magenta-free: use a colour of its own
    st.m_gridColor = 9;
    Stored(11, [](int) { return -1000.0; }); // trace below the plot
    const QImage img = Paint();
    const QRect plot = Plot();
    const QColor grid = ColourOf(9);
    EXPECT_EQ(Count(img, plot.adjusted(1, 1, -1, -1), grid), 0);
    // Ticks: 5 pixels left of the plot on each of the 11 lines.
    EXPECT_EQ(img.pixelColor(plot.left() - 3, plot.top()), grid);
    EXPECT_EQ(img.pixelColor(plot.right() + 3, plot.bottom()), grid);
    EXPECT_EQ(img.pixelColor(plot.left(), plot.bottom() + 3), grid); // X tick of label 0
    // With both grids on, the dotted lines cross the plot.
    st.m_showHorizontalGrid = 1;
    const QImage withGrid = Paint();
    EXPECT_GT(Count(withGrid, plot.adjusted(1, 1, -1, -1), grid), 200);
}

TEST_F(Render, RepaintFollowsNewDataAndNewRanges) {
    // The pixel positions of stored data are kept between repaints; replaced data
    // (which resize the work buffers) and new axis ranges must still show.
    Stored(101, [](int) { return 0.0; });
    QImage img = Paint();
    const GraphLayout& g = m.Layout();
    const int x = g.plotLeft + g.W() / 3;
    const int mid = g.plotBottom - g.Hp() / 2;
    EXPECT_EQ(img.pixelColor(x, mid), QColor(255, 0, 0));
    EditValues(set, 0, [](std::vector<float>& v) { std::fill(v.begin(), v.end(), 250.0f); });
    m.SizeWorkBuffers(101);
    img = Paint();
    EXPECT_NE(img.pixelColor(x, mid), QColor(255, 0, 0));
    EXPECT_EQ(img.pixelColor(x, g.plotBottom - g.Hp() * 3 / 4), QColor(255, 0, 0));
    m.SetAxisRange(0, 0, 250);
    m.SetAxisRange(1, 0, 250);
    img = Paint();
    EXPECT_EQ(img.pixelColor(x, g.plotTop), QColor(255, 0, 0));
}

// Stored data replaced without the work-buffer sizing that every real replacement
// does: the rows the model still computes from the values at paint time pointed into
// the freed arrays. They follow the values the set holds now instead.
TEST_F(Render, PaintAfterStoredDataReplacedWithoutBufferSizingReadsNoFreedValues) {
    constexpr int kPoints = 200000; // large enough to be handed back to the system when freed
    Stored(kPoints, [](int) { return 0.0; });
    QImage img = Paint();
    const GraphLayout& g = m.Layout();
    const int x = g.plotLeft + g.W() / 3;
    const int mid = g.plotBottom - g.Hp() / 2;
    EXPECT_EQ(img.pixelColor(x, mid), QColor(255, 0, 0));
    set.ReplaceStored(StoredSetBuilder()
                          .Interval(1)
                          .Start(1265202300)
                          .Channel(0, std::vector<float>(kPoints, 250.0f))
                          .Build());
    img = Paint();
    EXPECT_NE(img.pixelColor(x, mid), QColor(255, 0, 0));
    EXPECT_EQ(img.pixelColor(x, g.plotBottom - g.Hp() * 3 / 4), QColor(255, 0, 0));
}

TEST_F(Render, PrintingWhitensAboveTheFrameAndFillsTheReadoutStrip) {
    Stored(20, [](int i) { return i * 10.0; });
    m.SetInfoBarHeight(120);
    const QImage screen = Paint();
    const QImage print = Paint(QSize(1000, 700), true, true);
    const GraphLayout& g = m.Layout();
    // Above the frame: grey on screen, white on paper.
    EXPECT_EQ(screen.pixelColor(500, 60), kGrey);
    EXPECT_EQ(print.pixelColor(500, 60), QColor(Qt::white));
    EXPECT_EQ(print.pixelColor(500, 124), QColor(Qt::white));
    // The read-out strip is black on paper even without a read-out.
    EXPECT_EQ(print.pixelColor(g.plotLeft, g.plotBottom + 80), QColor(Qt::black));
    // The plot itself is the same.
    EXPECT_EQ(print.copy(Plot()), screen.copy(Plot()));
}

TEST_F(Render, WelcomeScreenFill) {
    QImage img(800, 600, QImage::Format_RGB32);
    img.fill(Qt::magenta);
    QPainter p(&img);
    PaintWelcome(p, img.rect());
    p.end();
    EXPECT_EQ(Count(img, img.rect(), Qt::magenta), 0);
    EXPECT_EQ(img.pixelColor(790, 5), QColor(200, 200, 200));
    EXPECT_GT(Count(img, QRect(280, 0, 520, 600), QColor(102, 122, 157)), 500);
    EXPECT_EQ(Count(img, QRect(0, 0, 270, 600), QColor(102, 122, 157)), 0);
}

TEST_F(Render, DegenerateAxisAndTinyViewPaintWithoutFaults) {
    Stored(100, [](int i) { return i; });
    m.SetAxisRange(0, 42, 42);
    m.SetAxisRange(1, 42, 42);
    const QImage img = Paint();
    EXPECT_EQ(Count(img, img.rect(), Qt::magenta), 0);
    for (QSize s : {QSize(150, 120), QSize(220, 180), QSize(1, 1)}) {
        const QImage small = Paint(s);
        EXPECT_EQ(small.size(), s);
    }
}

// ---- the reduction of dense traces gives the image of every segment ----

struct Shape {
    const char* name;
    std::function<double(int, int)> f; // (i, n) -> value
};

std::vector<Shape> Shapes() {
    return {
        {"noisy",
         [](int i, int) {
             // Deterministic noise, now and then beyond the range and on its edges.
             uint32_t h = uint32_t(i) * 2654435761u;
             h ^= h >> 13;
             const double u = double(h % 10007) / 10007.0;
             if (h % 97 == 0)
                 return 800.0;
             if (h % 89 == 0)
                 return 500.0;
             if (h % 83 == 0)
                 return -500.0;
             return (u - 0.5) * 900.0;
         }},
        {"smooth", [](int i, int n) { return 450 * std::sin(6.283185307 * 3.0 * i / n); }},
        // Values that are not numbers now and then (a damaged file): their columns
        // are drawn segment by segment.
        {"nan",
         [](int i, int n) {
             return i % 997 == 13 ? std::nan("") : 300 * std::sin(6.283185307 * 5.0 * i / n);
         }},
        {"step", [](int i, int n) { return i < n / 2 ? -300.0 : (i < 3 * n / 4 ? 500.0 : 620.0); }},
        {"spike",
         [](int i, int n) {
             return (i == n / 3 || i == n / 3 + 1) ? 5000.0 : (i == n / 2 ? -480.0 : 10.0);
         }},
    };
}

TEST_F(Render, ReducedTracesEqualEverySegmentDrawn) {
    const QSize size(1000, 700); // W = 780
    for (int marks : {0, 1}) {
        st.m_showMarkPoints = uint8_t(marks);
        for (const Shape& shape : Shapes()) {
            for (int n : {390, 780, 781, 782, 3000, 262144}) {
                SCOPED_TRACE(std::string(shape.name) + " n=" + std::to_string(n) +
                             " marks=" + std::to_string(marks));
                Stored(
                    n, [&](int i) { return shape.f(i, n); },
                    [&](int i) { return -shape.f(n - 1 - i, n) * 0.8; });
                const QImage reduced = Paint(size, true);
                const QImage every = Paint(size, false);
                ASSERT_EQ(reduced, every);
            }
        }
    }
}

// Mark points reduced per pixel column: the union of every point's six mark
// pixels, in the order of the channels, equal to marking every point. Taken
// before the overpainting, so that the columns beside the plot's edges (where the
// first and last points' marks fall) count too; at several plot widths (one to
// several hundred points a column, the points' columns with and without gaps)
// and with both channels crossing each other.
TEST_F(Render, MarkPointsReducedPerColumnEqualMarkingEveryPoint) {
    st.m_showMarkPoints = 1;
    for (QSize size : {QSize(1000, 700), QSize(1601, 901), QSize(333, 260), QSize(260, 240)}) {
        for (const Shape& shape : Shapes()) {
            for (int n : {2000, 65537}) {
                SCOPED_TRACE(std::string(shape.name) + " n=" + std::to_string(n) + " " +
                             std::to_string(size.width()) + "x" + std::to_string(size.height()));
                Stored(
                    n, [&](int i) { return shape.f(i, n); },
                    [&](int i) { return shape.f((i * 7) % n, n) * 0.5; });
                const QImage every = Traces(size, false);
                ASSERT_EQ(Traces(size, true), every);
                ASSERT_EQ(Traces(size, true, true), every);
                ASSERT_EQ(Paint(size, true), Paint(size, false));
            }
        }
    }
    // Marks reach the columns on both sides of the plot.
    Stored(5000, [](int) { return 0.0; });
    const QImage img = Traces(QSize(1000, 700), true);
    const GraphLayout& g = m.Layout();
    const int mid = g.plotBottom - g.Hp() / 2;
    EXPECT_EQ(img.pixelColor(g.plotLeft - 1, mid - 1), QColor(255, 0, 0));
    EXPECT_EQ(img.pixelColor(g.plotRight + 1, mid + 1), QColor(255, 0, 0));
    EXPECT_EQ(img.pixelColor(g.plotRight + 2, mid + 1), Qt::magenta);
}

// Zoomed through the rubber band as a user would (boxes at the plot's left edge,
// in the middle and at its right edge, some as high as the plot, some lower so that
// traces leave it), then scrolled and shifted: the reduced traces, with and without
// mark points, equal every segment drawn, before and after the overpainting.
TEST_F(Render, ReducedTracesEqualEverySegmentWhenZoomed) {
    const QSize size(1000, 700);
    for (int marks : {0, 1}) {
        st.m_showMarkPoints = uint8_t(marks);
        for (const Shape& shape : Shapes()) {
            for (int n : {3000, 65536}) {
                Stored(
                    n, [&](int i) { return shape.f(i, n) * 0.4; },
                    [&](int i) { return shape.f((i * 7) % n, n) * 0.3; });
                // Left edge to 1/8, 3/8 to 5/8, 7/8 to the right edge; full height
                // or the middle half.
                for (int box = 0; box < 6; ++box) {
                    SCOPED_TRACE(std::string(shape.name) + " n=" + std::to_string(n) +
                                 " box=" + std::to_string(box) + " marks=" + std::to_string(marks));
                    m.ResetScale();
                    Paint(size, true);
                    const GraphLayout& g = m.Layout();
                    const int W = g.W(), Hp = g.Hp();
                    const int x0 = g.plotLeft + W * (box % 3 == 0 ? 0 : box % 3 == 1 ? 3 : 7) / 8;
                    const int y0 = box < 3 ? g.plotTop : g.plotTop + Hp / 4;
                    const int y1 = box < 3 ? g.plotBottom : g.plotBottom - Hp / 4;
                    ASSERT_EQ(FinishZoomDrag(m, QPoint(x0, y0), QPoint(x0 + W / 8, y1), false),
                              ZoomVerdict::Accepted);
                    for (int move = 0; move < 3; ++move) {
                        if (move == 1)
                            ScrollHorizontally(m, ScrollCode::PageRight, 0, 0);
                        if (move == 2)
                            ScrollVertically(m, 1, ScrollCode::PageLeft, 0);
                        const QImage reduced = Paint(size, true);
                        const QImage every = Paint(size, false);
                        ASSERT_EQ(reduced, every) << "move " << move;
                        const QImage walked = Traces(size, false);
                        ASSERT_EQ(Traces(size, true), walked) << "move " << move;
                        ASSERT_EQ(Traces(size, true, true), walked) << "move " << move;
                    }
                }
            }
        }
    }
}

// What is written straight into a plain image (dense columns, their head lines
// and mark points, the dotted grid) equals what the painter draws: every shape,
// with and without marks, at sizes whose grid lines fall on every phase of the dots.
TEST_F(Render, PixelsWrittenDirectlyEqualWhatThePainterDraws) {
    for (int marks : {0, 1}) {
        st.m_showMarkPoints = uint8_t(marks);
        for (QSize size : {QSize(1000, 700), QSize(1001, 703), QSize(1602, 905), QSize(300, 250)}) {
            for (const Shape& shape : Shapes()) {
                for (int n : {500, 40000}) {
                    SCOPED_TRACE(std::string(shape.name) + " n=" + std::to_string(n) + " " +
                                 std::to_string(size.width()) + "x" +
                                 std::to_string(size.height()) + " marks=" + std::to_string(marks));
                    Stored(
                        n, [&](int i) { return shape.f(i, n); },
                        [&](int i) { return shape.f((i * 7) % n, n) * 0.5; });
                    ASSERT_EQ(Paint(size, true, false, false), Paint(size, true, false, true));
                }
            }
        }
    }
}

// Columns long enough to be looked up in the envelopes (a full memory in a narrow
// plot, and zoomed into boxes whose edges fall anywhere between the envelope's
// leaves): the same image as walking every point of a column, and as drawing
// every segment.
TEST_F(Render, ColumnsLookedUpEqualColumnsWalked) {
    for (int marks : {0, 1}) {
        st.m_showMarkPoints = uint8_t(marks);
        for (const Shape& shape : Shapes()) {
            const int n = 262144;
            Stored(
                n, [&](int i) { return shape.f(i, n); },
                [&](int i) { return shape.f((i * 7) % n, n) * 0.5; });
            for (QSize size : {QSize(400, 500)}) {
                SCOPED_TRACE(std::string(shape.name) + " " + std::to_string(size.width()) +
                             " marks=" + std::to_string(marks));
                m.ResetScale();
                const QImage walked = Traces(size, true);
                ASSERT_EQ(Traces(size, true, true), walked);
                ASSERT_EQ(Traces(size, false), walked);
                // Zoomed into two thirds of the plot from an odd pixel on.
                const GraphLayout& g = m.Layout();
                ASSERT_EQ(FinishZoomDrag(m, QPoint(g.plotLeft + 7, g.plotTop),
                                         QPoint(g.plotLeft + 7 + g.W() * 2 / 3, g.plotBottom),
                                         false),
                          ZoomVerdict::Accepted);
                ASSERT_EQ(Traces(size, true, true), Traces(size, true));
            }
        }
    }
}

// One to three points a column (where a column is a single segment, two, or the
// first with a stroke), with and without marks, both channels crossing.
TEST_F(Render, FewPointsPerColumnEqualEverySegment) {
    const QSize size(1000, 700); // W = 780
    for (int marks : {0, 1}) {
        st.m_showMarkPoints = uint8_t(marks);
        for (const Shape& shape : Shapes()) {
            for (int n : {780 + 390, 2 * 780, 2 * 780 + 1, 3 * 780 - 1, 3 * 780, 3 * 780 + 7}) {
                SCOPED_TRACE(std::string(shape.name) + " n=" + std::to_string(n) +
                             " marks=" + std::to_string(marks));
                Stored(
                    n, [&](int i) { return shape.f(i, n); },
                    [&](int i) { return shape.f((i * 7) % n, n) * 0.5; });
                ASSERT_EQ(Traces(size, true, true), Traces(size, false));
            }
        }
    }
}

// Zoomed into narrow boxes (one to three points a column, box edges between the
// envelope's leaves), then zoomed again inside the zoom, where the zoomed scale
// becomes the base the next box is measured on: the rows the paint computes from
// the values give the image of the model's own rows, and of every segment.
TEST_F(Render, ZoomWithinAZoomAndFewPointsPerColumnEqualEverySegment) {
    const QSize size(1000, 700); // W = 780
    for (int marks : {0, 1}) {
        st.m_showMarkPoints = uint8_t(marks);
        for (const Shape& shape : Shapes()) {
            const int n = 40000;
            Stored(
                n, [&](int i) { return shape.f(i, n) * 0.5; },
                [&](int i) { return shape.f((i * 7) % n, n) * 0.4; });
            m.ResetScale();
            Paint(size, true);
            const GraphLayout& g = m.Layout();
            // About 780 * 2.5 points in a box of 1/20 of the plot from an odd pixel.
            const int x0 = g.plotLeft + 333;
            ASSERT_EQ(FinishZoomDrag(m, QPoint(x0, g.plotTop),
                                     QPoint(x0 + g.W() / 20, g.plotBottom), false),
                      ZoomVerdict::Accepted);
            for (int level = 0; level < 2; ++level) {
                SCOPED_TRACE(std::string(shape.name) + " level=" + std::to_string(level) +
                             " marks=" + std::to_string(marks));
                const QImage reduced = Paint(size, true);
                ASSERT_EQ(reduced, Paint(size, false));
                const QImage walked = Traces(size, false);
                ASSERT_EQ(Traces(size, true, true), walked);
                ASSERT_EQ(Traces(size, true), walked);
                // Within the zoom: a box of the middle half, lower than the plot.
                const int a = g.plotLeft + g.W() / 4 + 3;
                ASSERT_EQ(FinishZoomDrag(m, QPoint(a, g.plotTop + g.Hp() / 5),
                                         QPoint(a + g.W() / 2, g.plotBottom - g.Hp() / 5), false),
                          ZoomVerdict::Accepted);
            }
        }
    }
}

// Marks of dense columns with the channels apart (each column's neighbours cover
// most of its rows, so only its points beyond them are marked one by one):
// where the rows run the other way (an axis from a high value at the bottom to
// a low one at the top) and where the values crowd into a tenth of the plot's
// rows (many points a row, columns reaching just one row past their
// neighbours), the same image as drawing every segment.
TEST_F(Render, MarksOfDenseColumnsOnAnyAxisEqualEverySegment) {
    st.m_showMarkPoints = 1;
    const QSize size(1000, 700);
    for (const Shape& shape : Shapes()) {
        for (int n : {3000, 262144}) {
            Stored(
                n, [&](int i) { return 250 + 0.4 * shape.f(i, n); },
                [&](int i) { return -250 + 0.4 * shape.f((i * 7) % n, n); });
            for (auto [low, high] : {std::pair{500, -500}, std::pair{-5000, 5000}}) {
                SCOPED_TRACE(std::string(shape.name) + " n=" + std::to_string(n) +
                             " axis=" + std::to_string(low) + ".." + std::to_string(high));
                m.SetAxisRange(0, low, high);
                m.SetAxisRange(1, low, high);
                m.ResetScale();
                // Through the values first: the every-segment paint fills the
                // model's rows, which later paints then read.
                const QImage traces = Traces(size, true, true);
                ASSERT_EQ(traces, Traces(size, false));
                const QImage reduced = Paint(size, true);
                ASSERT_EQ(reduced, Paint(size, false));
            }
        }
    }
}

// Marks of dense columns of noise with the channels apart, as recordings look:
// a leaf of the envelope that reaches past a column's neighbours with one point
// names that point, and a leaf shared with the next column may name one of the
// next column's points, which is no mark of this column. At plot widths that
// split the leaves over the columns differently, the same image as drawing
// every segment.
TEST_F(Render, MarksOfANoisyRecordingEqualEverySegment) {
    st.m_showMarkPoints = 1;
    const int n = 262144;
    std::mt19937 rng(5);
    std::normal_distribution<double> noise(0.0, 40.0);
    std::vector<double> values(size_t(n) * 2);
    for (double& v : values)
        v = noise(rng);
    Stored(
        n, [&](int i) { return 230 + values[size_t(i)]; },
        [&](int i) { return -150 + values[size_t(n + i)]; });
    for (QSize size : {QSize(1600, 900), QSize(1333, 800), QSize(1001, 700)}) {
        SCOPED_TRACE(std::to_string(size.width()) + "x" + std::to_string(size.height()));
        m.ResetScale();
        const QImage reduced = Paint(size, true);
        ASSERT_EQ(reduced, Paint(size, false));
    }
    // Far from zero on a narrow axis, values lie a few hundredths of a row apart
    // in single precision: a point just past a neighbour's rows must still be
    // told from one just inside.
    Stored(
        n, [&](int i) { return 100000 + values[size_t(i)]; },
        [&](int i) { return 100000 - values[size_t(n + i)]; });
    m.SetAxisRange(0, 99900, 100100);
    m.SetAxisRange(1, 99900, 100100);
    m.ResetScale();
    EXPECT_EQ(Paint(QSize(1600, 900), true), Paint(QSize(1600, 900), false));
}

// A new recording of the same size read into the same place (as a replacement
// does, with a new generation of the stored data): the picture follows the new
// values, not the envelope of the old ones.
TEST_F(Render, StaleEnvelopeAfterDataReplacedInPlace) {
    const QSize size(400, 500);
    Stored(262144, [](int i) { return (i % 1000) * 0.1; });
    const QImage before = Paint(size, true);
    // a spike, somewhere inside a column
    EditValues(set, 0, [](std::vector<float>& v) { v[100000] = 450.0f; });
    m.SizeWorkBuffers(262144);
    const QImage after = Paint(size, true);
    EXPECT_NE(after, before);
    EXPECT_EQ(after, Paint(size, false));
}

TEST_F(Render, DrawSegmentMarksPoints) {
    st.m_showMarkPoints = 1;
    Stored(3, [](int) { return 0.0; });
    const QImage img = Paint();
    const GraphLayout& g = m.Layout();
    const int mid = g.plotBottom - g.Hp() / 2;
    const int x = g.plotLeft + g.W() / 2; // the middle point
    EXPECT_EQ(img.pixelColor(x, mid - 1), QColor(255, 0, 0));
    EXPECT_EQ(img.pixelColor(x + 1, mid + 1), QColor(255, 0, 0));
    EXPECT_EQ(img.pixelColor(x - 1, mid - 1), QColor(255, 0, 0));
    // Mark points never change the reduced / every-segment identity.
    Stored(5000, [](int i) { return (i * 37 % 101) * 4.0 - 200; });
    EXPECT_EQ(Paint(QSize(900, 600), true), Paint(QSize(900, 600), false));
}

TEST_F(Render, AppendDrawsOnlyTheNewestSegmentInsideThePlot) {
    runs::BeginRun(set.Run(), 200);
    m.SetMode(GraphMode::RealTimeRms);
    m.SetFirstPoint(1);
    m.SetChannelsPresent(1, 0);
    m.SetAxisRange(0, -500, 500);
    m.SetAxisRange(1, -500, 500);
    m.SizeWorkBuffers(200);
    in.realTimeRunning = true;
    m.SetClient(1000, 700);
    runs::GrowTo(set.Run(), 2, {0, 0});
    m.SetLastPoint(2);
    EXPECT_EQ(m.AppendRealTimePoint(in).action, AppendAction::RepaintAll);
    runs::GrowTo(set.Run(), 3, {0, 0});
    m.SetLastPoint(3);
    AppendResult r = m.AppendRealTimePoint(in);
    EXPECT_EQ(r.action, AppendAction::DrawNewest);
    EXPECT_EQ(r.segment, 2);
    runs::AddSample(set.Run(), {9999, 0}); // the newest point leaves the plot
    m.SetLastPoint(4);
    EXPECT_EQ(m.AppendRealTimePoint(in).action, AppendAction::RepaintFrame);
    // Reaching the capacity of the level: a full repaint, once.
    runs::GrowTo(set.Run(), 101, {0, 0});
    m.SetLastPoint(101);
    EXPECT_EQ(m.AppendRealTimePoint(in).action, AppendAction::RepaintAll);
    EXPECT_EQ(m.RtCapacity().Level(), 1);
    runs::GrowTo(set.Run(), 102, {0, 0});
    m.SetLastPoint(102);
    EXPECT_EQ(m.AppendRealTimePoint(in).action, AppendAction::DrawNewest);
    m.Zoom().SetDragging(1);
    EXPECT_EQ(m.AppendRealTimePoint(in).action, AppendAction::Nothing);
}

} // namespace
