// The printed reports: pagination, column positions, and the text of PDF pages
// read back with pdftotext.

#include "ListSamples.h"

#include "base/Settings.h"
#include "graph/Report.h"
#include "graph/ReportSetup.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace lists;

namespace {

QGuiApplication& App() {
    static int argc = 1;
    static char name[] = "test_lists_core";
    static char* argv[] = {name, nullptr};
    static QGuiApplication* app = new QGuiApplication(argc, argv);
    return *app;
}

struct Prepared {
    MeasurementSet set;
    AppSettings settings;
    GraphModel model;
    Prepared(MeasurementSet s, int record = -1) : set(std::move(s)) {
        EXPECT_TRUE(PrepareStoredGraph(model, set, settings, record));
    }
    GraphInputs In() const { return GraphInputs{set, settings, false}; }
    DataListView List() const { return DataListViewOf(model, In()); }
};

QStringList PrintList(const Prepared& p, const QString& path) {
    const ReportPages pages = ListReport(p.List(), ReportInfoOf(p.model), "08/12/26");
    QString error;
    EXPECT_TRUE(WriteReportPdf(pages, path, QPageSize(QPageSize::A4), false, 300, &error))
        << error.toStdString();
    return PdfPages(path);
}

} // namespace

TEST(ListReportLayout, PageCountsAndRowsPerPage) {
    EXPECT_EQ(ListReportPageCount(0, GraphMode::StoreRms), 1);
    EXPECT_EQ(ListReportPageCount(55, GraphMode::StoreRms), 1);
    EXPECT_EQ(ListReportPageCount(56, GraphMode::StoreRms), 2);
    EXPECT_EQ(ListReportPageCount(115, GraphMode::StoreRms), 2);
    EXPECT_EQ(ListReportPageCount(116, GraphMode::StoreRms), 3);
    EXPECT_EQ(ListReportPageCount(251, GraphMode::StoreTransient), 5);
    EXPECT_EQ(ListReportPageCount(262144, GraphMode::StoreRms), 4370);
    EXPECT_EQ(ListReportRows(56, GraphMode::StoreRms, 2).first, 55);
    EXPECT_EQ(ListReportRows(56, GraphMode::StoreRms, 2).count, 1);
    EXPECT_EQ(ListReportRows(251, GraphMode::StoreTransient, 5).first, 240);
    EXPECT_EQ(ListReportRows(251, GraphMode::StoreTransient, 5).count, 11);
    EXPECT_EQ(ListReportRows(251, GraphMode::StoreTransient, 6).count, 0);
    // Column x from the heading lengths: 9 C, 21 C, 30 C, 39 C.
    const auto x = ListReportColumnX(GraphMode::StoreRms, 10);
    EXPECT_EQ(x, (std::array<int, 4>{90, 210, 300, 390}));
    const PageMetrics m(QSize(2400, 3500));
    EXPECT_EQ(m.L, 50);
    EXPECT_EQ(m.C, 48);
    EXPECT_EQ(m.SecondColumn(), 960);
}

TEST(ListReportPdf, FiftyFiveRowsOnOnePageFiftySixOnTwo) {
    App();
    QTemporaryDir dir;
    QStringList pages = PrintList(Prepared(Stored(55)), dir.filePath("a.pdf"));
    ASSERT_EQ(pages.size(), 1);
    EXPECT_EQ(RowLines(pages[0]), 55);

    pages = PrintList(Prepared(Stored(56)), dir.filePath("b.pdf"));
    ASSERT_EQ(pages.size(), 2);
    EXPECT_EQ(RowLines(pages[0]), 55);
    EXPECT_EQ(RowLines(pages[1]), 1);
    // Page 1: title, information block, headings, rows, footer.
    const QString& p1 = pages[0];
    EXPECT_TRUE(p1.contains("Test Report"));
    EXPECT_TRUE(p1.contains("MODE: STORE RMS"));
    EXPECT_TRUE(p1.contains("SAMPLING RATE: 60 s"));
    EXPECT_TRUE(p1.contains("START TIME: 03/02/10 14:05:00"));
    EXPECT_TRUE(p1.contains("DATANO: 56"));
    EXPECT_TRUE(p1.contains("CH1 DATA MAX: "));
    EXPECT_TRUE(p1.contains("CH2 DATA MIN: "));
    EXPECT_TRUE(p1.contains(QRegularExpression("No\\.\\s+Time\\s+CH1\\s+CH2")));
    EXPECT_TRUE(p1.contains(QRegularExpression("1\\s+03/02/10 14:05:00\\s+230\\.0 V\\s+5\\.0 A")));
    EXPECT_TRUE(p1.contains(QRegularExpression("08/12/26 +page1")));
    // Page 2: no information block, the headings again, row 56, its footer.
    EXPECT_FALSE(pages[1].contains("MODE:"));
    EXPECT_TRUE(pages[1].contains(QRegularExpression("No\\.\\s+Time\\s+CH1\\s+CH2")));
    EXPECT_TRUE(pages[1].contains(QRegularExpression("56\\s+03/02/10 15:00:00")));
    EXPECT_TRUE(pages[1].contains(QRegularExpression("08/12/26 +page2")));
}

TEST(ListReportPdf, TransientRecordOnFivePagesWithoutInformationBlock) {
    App();
    QTemporaryDir dir;
    const QStringList pages =
        PrintList(Prepared(Stored(10, true, true, 3), 2), dir.filePath("tr.pdf"));
    ASSERT_EQ(pages.size(), 5);
    const int expected[] = {60, 60, 60, 60, 11};
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(RowLines(pages[i]), expected[i]) << "page " << i + 1;
    EXPECT_FALSE(pages[0].contains("MODE:"));
    // Record 3 is CH1 only in volts; sample 0 of it is 1875.
    EXPECT_TRUE(pages[0].contains(QRegularExpression("1\\s+03/02/10 17:05:00\\s+1875\\.0 V")));
}

TEST(GraphReportPdf, InformationLinesOnlyOutsideTheWaveformModes) {
    App();
    QTemporaryDir dir;
    auto graphPdf = [&](const Prepared& p, const QString& name) {
        auto model = std::make_shared<const GraphModel>(p.model);
        RenderOptions o;
        o.printing = true;
        const ReportPages pages =
            GraphReport(model, p.In(), QSize(1400, 990), o, ReportInfoOf(p.model));
        EXPECT_EQ(pages.count, 1);
        EXPECT_TRUE(WriteReportPdf(pages, dir.filePath(name), QPageSize(QPageSize::A4), true, 300));
        const QStringList text = PdfPages(dir.filePath(name));
        return text.isEmpty() ? QString() : text[0];
    };
    const QString rms = graphPdf(Prepared(Stored(100)), "rms.pdf");
    EXPECT_TRUE(rms.contains("MODE: STORE RMS"));
    EXPECT_TRUE(rms.contains("CH1 DATA MAX: "));
    EXPECT_FALSE(rms.contains("Test Report"));
    EXPECT_FALSE(rms.contains("page1"));

    const QString tr = graphPdf(Prepared(Stored(10, true, true, 2), 1), "tr.pdf");
    EXPECT_FALSE(tr.contains("MODE:"));
    EXPECT_FALSE(tr.contains("MAX:"));

    // Only CH2: the third line names CH2 alone.
    const QString ch2 = graphPdf(Prepared(Stored(100, false, true)), "ch2.pdf");
    EXPECT_TRUE(ch2.contains("CH2 MAX: "));
    EXPECT_TRUE(ch2.contains("CH2 MIN: "));
    EXPECT_FALSE(ch2.contains("CH1"));
    EXPECT_FALSE(ch2.contains("DATA MAX"));
}

// The P(W) graph's information bar holds the run's energy in its second row: both
// printed reports carry it under the trace's extremes, clear of the list's headings.
TEST(GraphReportPdf, ActivePowerReportsCarryTheRunsEnergy) {
    App();
    QTemporaryDir dir;
    MeasurementSet set;
    runs::BeginRun(set.Run(), 3, kStart, 1800, "V", "A");
    RtPowerRow row;
    row.p = 1000;
    row.pf = 0.87f;
    for (int i = 0; i < 3; ++i)
        runs::AddSample(set.Run(), {230, 5}, {50, 50}, row);
    const AppSettings settings;
    const GraphInputs in{set, settings, false};
    GraphModel model;
    model.SetMode(GraphMode::RealTimeActivePower);
    model.SetPointWindow(1, 3);
    model.SetChannelsPresent(1, 1);
    model.SetChannelUnits("W", "W");
    model.SizeWorkBuffers(3);
    RecInfo r;
    r.title = QStringLiteral("REAL TIME P(W)");
    r.ch1Max = QStringLiteral("1000 W @03/02/10 15:05:00");
    r.ch1Min = QStringLiteral("1000 W @03/02/10 14:05:00");
    r.energy = QStringLiteral("1500.00 Wh   1725.00 VAh");
    model.SetInfo(r);
    const QRegularExpression energy("ENERGY: 1500\\.00 Wh\\s+1725\\.00 VAh");

    RenderOptions o;
    o.printing = true;
    const ReportPages graph = GraphReport(std::make_shared<const GraphModel>(model), in,
                                          QSize(1400, 990), o, ReportInfoOf(model));
    ASSERT_TRUE(WriteReportPdf(graph, dir.filePath("p.pdf"), QPageSize(QPageSize::A4), true, 300));
    const QStringList g = PdfPages(dir.filePath("p.pdf"));
    ASSERT_EQ(g.size(), 1);
    EXPECT_TRUE(g[0].contains("CH1 MAX: 1000 W")) << g[0].toStdString();
    EXPECT_TRUE(g[0].contains(energy)) << g[0].toStdString();

    DataListView list = ViewOf(set, GraphMode::RealTimeActivePower);
    const ReportPages pages = ListReport(list, ReportInfoOf(model), "08/12/26");
    ASSERT_TRUE(WriteReportPdf(pages, dir.filePath("l.pdf"), QPageSize(QPageSize::A4), false, 300));
    const QStringList l = PdfPages(dir.filePath("l.pdf"));
    ASSERT_EQ(l.size(), 1);
    EXPECT_TRUE(l[0].contains(energy)) << l[0].toStdString();
    EXPECT_TRUE(l[0].contains(QRegularExpression("No\\.\\s+Time\\s+P\\(W\\)")));
    EXPECT_EQ(RowLines(l[0]), 3);
}

TEST(GraphReportPdf, PrintingLeavesTheScreensModelAlone) {
    App();
    Prepared p(Stored(100));
    p.model.SetClient(900, 600);
    const GraphLayout before = p.model.Layout();
    QImage page(1000, 1400, QImage::Format_RGB32);
    QPainter painter(&page);
    PaintGraphReportPage(painter, page.size(), p.model, p.In(), QSize(1400, 990), RenderOptions{},
                         ReportInfoOf(p.model));
    painter.end();
    EXPECT_EQ(p.model.Layout().plotRight, before.plotRight);
    EXPECT_EQ(p.model.Layout().client, before.client);
    // Something was painted across the page.
    int dark = 0;
    for (int y = 0; y < page.height(); y += 7)
        for (int x = 0; x < page.width(); x += 7)
            dark += qGray(page.pixel(x, y)) < 128;
    EXPECT_GT(dark, 50);
}

namespace {

// Page 1 of a PDF as an image (pdftoppm at `dpi`).
QImage RasterPage(const QString& pdf, int dpi) {
    QProcess p;
    const QString stem = pdf + QStringLiteral(".raster");
    p.start(QStringLiteral("pdftoppm"),
            {QStringLiteral("-r"), QString::number(dpi), QStringLiteral("-png"),
             QStringLiteral("-singlefile"), pdf, stem});
    if (!p.waitForFinished(60000) || p.exitCode() != 0)
        return {};
    return QImage(stem + QStringLiteral(".png"));
}

// The longest run of dark pixels along a row or a column, gaps of up to 3 pixels
// (a trace crossing the plot) bridged: the plot's black background.
std::pair<int, int> LongestDarkRun(const QImage& img, bool alongRow, int at) {
    const int n = alongRow ? img.width() : img.height();
    auto dark = [&](int i) {
        const QRgb c = alongRow ? img.pixel(i, at) : img.pixel(at, i);
        return qGray(c) < 80;
    };
    std::pair<int, int> best{0, -1};
    int start = -1, lastDark = -1;
    for (int i = 0; i <= n; ++i) {
        const bool d = i < n && dark(i);
        if (d) {
            if (start < 0 || i - lastDark > 4)
                start = i;
            lastDark = i;
            if (lastDark - start > best.second - best.first)
                best = {start, lastDark};
        }
    }
    return best;
}

} // namespace

// The plot's side margins and its bottom margin are equal on the screen; on a page
// scaled alike in x and y they stay equal, in portrait as in landscape.
TEST(GraphReportPdf, PortraitAndLandscapeKeepTheScreensProportions) {
    App();
    QTemporaryDir dir;
    Prepared p(Stored(100));
    auto model = std::make_shared<const GraphModel>(p.model);
    RenderOptions o;
    o.printing = true;
    const int dpi = 60;
    const double marginPx = 10.0 / 25.4 * dpi; // the 10 mm page margins
    for (bool landscape : {false, true}) {
        SCOPED_TRACE(landscape ? "landscape" : "portrait");
        const QString pdf = dir.filePath(landscape ? "l.pdf" : "p.pdf");
        const ReportPages pages =
            GraphReport(model, p.In(), QSize(1400, 990), o, ReportInfoOf(p.model));
        ASSERT_TRUE(WriteReportPdf(pages, pdf, QPageSize(QPageSize::A4), landscape, 300));
        const QImage page = RasterPage(pdf, dpi);
        ASSERT_FALSE(page.isNull());
        EXPECT_EQ(page.width() > page.height(), landscape);
        const auto [left, right] = LongestDarkRun(page, true, page.height() * 2 / 3);
        const auto [top, bottom] = LongestDarkRun(page, false, page.width() / 2);
        const double printableLong = std::max(page.width(), page.height()) - 2 * marginPx;
        const double sideMargin = left - marginPx;
        const double rightMargin = page.width() - marginPx - 1 - right;
        const double bottomMargin = page.height() - marginPx - 1 - bottom;
        // The screen's 110 pixels at the page's one scale factor, the window's
        // 1400 pixels along the page's longer side in either orientation.
        const double expected = GraphGeometry::kPlotSideMargin * printableLong / 1400;
        EXPECT_NEAR(sideMargin, expected, 3);
        EXPECT_NEAR(rightMargin, expected, 3);
        EXPECT_NEAR(bottomMargin, expected, 3);
        EXPECT_GT(bottom - top, page.height() / 3);
        // The information lines stand clear above the graph's dark frame.
        auto darkIn = [&](int y, int below = 80) {
            int n = 0;
            for (int x = 0; x < page.width(); ++x)
                n += qGray(page.pixel(x, y)) < below;
            return n;
        };
        int frameTop = 0;
        while (frameTop < page.height() && darkIn(frameTop) < page.width() / 2)
            ++frameTop;
        int text = 0;
        for (int y = 0; y < frameTop - 2; ++y)
            text += darkIn(y, 200) > 0;
        EXPECT_GT(text, 4);
        EXPECT_EQ(darkIn(frameTop - 1, 200) + darkIn(frameTop - 2, 200), 0) << "at " << frameTop;
    }
    // The frame the graph is laid out at: the page's shape, the window's longer side.
    EXPECT_EQ(GraphReportFrame(QSize(2000, 2800), QSize(1400, 990)), QSize(1000, 1400));
    EXPECT_EQ(GraphReportFrame(QSize(2800, 2000), QSize(1400, 990)), QSize(1400, 1000));
    EXPECT_TRUE(GraphReportFrame(QSize(2800, 2000), QSize()).isEmpty());
}

TEST(ReportSetup, NoSuchDataIsRefused) {
    GraphModel g;
    AppSettings st;
    const MeasurementSet empty;
    EXPECT_FALSE(PrepareStoredGraph(g, empty, st, -1));
    const MeasurementSet two = Stored(5, true, true, 2);
    EXPECT_FALSE(PrepareStoredGraph(g, two, st, 2));
    EXPECT_TRUE(PrepareStoredGraph(g, two, st, 1));
    EXPECT_EQ(g.FirstPoint(), 252);
    EXPECT_EQ(g.ChannelPresent(0), 0); // record 2 is CH2 in amperes
    EXPECT_EQ(g.ChannelUnit(1), "A");
}
