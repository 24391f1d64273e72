// Data list at 262,144 rows against 100 rows (open the window, scroll to the end,
// paint), the time to the first preview page of the full list report with our
// preview and with Qt's QPrintPreviewWidget, and the whole report written as a
// PDF. Prints the ratios at the end.

#include "base/Settings.h"
#include "bench/support/Ratios.h"
#include "data/MeasurementSet.h"
#include "graph/Report.h"
#include "graph/ReportSetup.h"
#include "shell/DataListModel.h"
#include "ui/CDataListDlg.h"
#include "ui/CPrintPreviewDlg.h"

#include <QApplication>
#include <QDir>
#include <QPainter>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QTableView>

#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <cstdio>
#include <map>
#include <string>

namespace {

struct Stored {
    MeasurementSet set;
    AppSettings settings;
    GraphModel model;
    explicit Stored(int n) {
        StoredSet d;
        d.SetRmsCount(n);
        d.SetRmsInterval(1);
        d.SetStartTime(1265202300);
        d.SetChannelUnit(0, "V");
        d.SetChannelUnit(1, "A");
        std::vector<float> ch1, ch2;
        for (int i = 0; i < n; ++i) {
            ch1.push_back(230.0f + float(i % 17) * 0.3f);
            ch2.push_back(5.0f + float(i % 5));
        }
        d.SetChannelValues(0, std::move(ch1));
        d.SetChannelValues(1, std::move(ch2));
        ComputeStoredExtremes(d);
        set.ReplaceStored(std::move(d));
        PrepareStoredGraph(model, set, settings, -1);
    }
    DataListView View() const { return DataListViewOf(model, GraphInputs{set, settings, false}); }
    ReportPages Pages() const { return ListReport(View(), ReportInfoOf(model), "08/12/26"); }
};

Stored& Data(int n) {
    static std::map<int, Stored*> sets;
    auto& s = sets[n];
    if (!s)
        s = new Stored(n);
    return *s;
}

void DataListOpenAndScroll(benchmark::State& state) {
    Stored& d = Data(int(state.range(0)));
    for (auto _ : state) {
        DataListModel model([&d] { return d.View(); });
        CDataListDlg dlg(model);
        dlg.resize(700, 600);
        dlg.show();
        QCoreApplication::processEvents();
        dlg.Table()->scrollToBottom();
        dlg.Table()->viewport()->repaint();
        QCoreApplication::processEvents();
        benchmark::DoNotOptimize(dlg.Table()->indexAt(QPoint(10, 10)).row());
    }
}
BENCHMARK(DataListOpenAndScroll)->Arg(100)->Arg(262144)->Unit(benchmark::kMillisecond);

void FirstPreviewPageOurs(benchmark::State& state) {
    Stored& d = Data(262144);
    QPrinter printer(QPrinter::HighResolution);
    for (auto _ : state) {
        CPrintPreviewDlg dlg(printer, d.Pages());
        dlg.show();
        QCoreApplication::processEvents();
        benchmark::DoNotOptimize(dlg.PageImage().bits());
    }
}
BENCHMARK(FirstPreviewPageOurs)->Unit(benchmark::kMillisecond);

// Qt's preview paints every page of the job into pictures before it shows one.
void FirstPreviewPageQt(benchmark::State& state) {
    Stored& d = Data(262144);
    const ReportPages pages = d.Pages();
    QPrinter printer(QPrinter::HighResolution);
    for (auto _ : state) {
        QPrintPreviewWidget preview(&printer);
        QObject::connect(&preview, &QPrintPreviewWidget::paintRequested, [&](QPrinter* p) {
            QPainter painter(p);
            const QSize printable = p->pageLayout().paintRectPixels(p->resolution()).size();
            for (int page = 1; page <= pages.count; ++page) {
                if (page > 1)
                    p->newPage();
                pages.paint(painter, printable, page);
            }
        });
        preview.resize(800, 1000);
        preview.show();
        preview.updatePreview();
        QCoreApplication::processEvents();
        benchmark::DoNotOptimize(preview.pageCount());
    }
}
BENCHMARK(FirstPreviewPageQt)->Unit(benchmark::kMillisecond)->Iterations(1);

void ListReportPdf(benchmark::State& state) {
    Stored& d = Data(262144);
    const QString path = QDir::temp().filePath("bench_lists_report.pdf");
    for (auto _ : state) {
        const bool ok = WriteReportPdf(d.Pages(), path, QPageSize(QPageSize::A4), false, 600);
        benchmark::DoNotOptimize(ok);
    }
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    state.counters["peak_MB"] = double(u.ru_maxrss) / 1024.0;
    QFile::remove(path);
}
BENCHMARK(ListReportPdf)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    auto t = [&](const char* name) { return reporter.Of(name).real; };
    const double small = t("DataListOpenAndScroll/100");
    const double large = t("DataListOpenAndScroll/262144");
    if (small > 0 && large > 0)
        std::printf("data list 262,144 / 100 rows: %.2f (goal <= 1.5)\n", large / small);
    const double ours = t("FirstPreviewPageOurs"), qt = t("FirstPreviewPageQt/iterations:1");
    if (ours > 0 && qt > 0)
        std::printf("first preview page, 4,370 pages: ours %.0f ms, Qt's preview %.0f ms\n", ours,
                    qt);
    benchmark::Shutdown();
    return 0;
}
