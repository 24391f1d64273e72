// The statistics page of the graph report, read back from a PDF with pdftotext.

#include "ListSamples.h"
#include "support/StoredSetBuilder.h"

#include "base/LocalTime.h"
#include "graph/StatisticsReport.h"

#include <QGuiApplication>
#include <QPainter>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace lists;

namespace {

QGuiApplication& App() {
    static int argc = 1;
    static char name[] = "test_statistics_page";
    static char* argv[] = {name, nullptr};
    static QGuiApplication* app = new QGuiApplication(argc, argv);
    return *app;
}

// A day at 60 s of 230 V on CH1 with `dips` one-sample dips to 190 V, 10 A on CH2.
MeasurementSet WithDips(int dips) {
    std::vector<float> ch1(1440, 230.0f);
    for (int k = 0; k < dips; ++k)
        ch1[size_t(10 + 10 * k)] = 190.0f;
    return StoredSetBuilder()
        .Interval(60.0f)
        .Start(FromLocalFields({2026, 3, 2, 0, 0, 0}))
        .Channel(0, ch1, QStringLiteral("V"))
        .Channel(1, std::vector<float>(1440, 10.0f), QStringLiteral("A"))
        .Set(QString());
}

// A one-page report whose page says what it is, followed by the statistics.
QStringList PrintedPages(const MeasurementSet& set, const QString& path) {
    ReportPages graph;
    graph.count = 1;
    graph.paint = [](QPainter& p, QSize, int) {
        p.drawText(QPoint(100, 100), QStringLiteral("THE GRAPH PAGE"));
    };
    auto stats =
        std::make_shared<const RecordingStatistics>(ComputeStatistics(StatisticsViewOf(set), 230));
    const ReportPages pages = WithStatisticsPages(graph, stats);
    EXPECT_TRUE(WriteReportPdf(pages, path, QPageSize(QPageSize::A4), true, 300));
    return PdfPages(path);
}

class StatisticsPage : public ::testing::Test {
protected:
    void SetUp() override {
        App();
        setenv("TZ", "Europe/Berlin", 1);
        tzset();
    }
    QTemporaryDir dir;
};

TEST_F(StatisticsPage, FollowsTheGraphWithFiguresVerdictAndEvents) {
    const QStringList pages = PrintedPages(WithDips(2), dir.filePath("s.pdf"));
    ASSERT_EQ(pages.size(), 2);
    EXPECT_TRUE(pages[0].contains("THE GRAPH PAGE"));
    const QString& s = pages[1];
    for (const char* text :
         {"Statistics", "CH1 (V)", "CH2 (A)", "Nominal voltage", "230 V",
          "within the ±10 % limit for 95 % of the 10-minute values", "Apparent energy",
          "Events (2)", "02/03/26 00:10:00", "02/03/26 00:20:00", "190.0 V"})
        EXPECT_TRUE(s.contains(QString::fromUtf8(text))) << text << "\n" << s.toStdString();
}

TEST_F(StatisticsPage, EventsThatDoNotFitGoOnFurtherPages) {
    const QStringList pages = PrintedPages(WithDips(120), dir.filePath("many.pdf"));
    ASSERT_EQ(pages.size(), 4); // graph, figures with the first events, two more
    EXPECT_TRUE(pages[2].contains("Statistics (continued)"));
    // The last dip, sample 1200 (20:00), is printed once, on the last page.
    EXPECT_TRUE(pages[3].contains("02/03/26 20:00:00")) << pages[3].toStdString();
    int seen = 0;
    for (const QString& page : pages)
        seen += int(page.count(QStringLiteral(" dip ")));
    EXPECT_EQ(seen, 120);
}

} // namespace
