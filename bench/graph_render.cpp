// Repaint of a 262,144-point two-channel noisy stored set into a 1600 x 900 image:
// our renderer (reduced and every-segment) against QCustomPlot's replot of the
// same data at the same size. Prints the ratio ours / QCustomPlot at the end.

#include "base/Settings.h"
#include "data/MeasurementSet.h"
#include "graph/GraphRenderer.h"

#include <QApplication>
#include <QImage>
#include <QPainter>

#ifdef DL_HAVE_QCUSTOMPLOT
#include <qcustomplot.h>
#endif

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <random>
#include <string>

namespace {

constexpr int kPoints = 262144;
const QSize kSize(1600, 900);

struct Data {
    MeasurementSet set;
    AppSettings settings;
    Data() {
        std::mt19937 rng(12345);
        std::normal_distribution<float> noise(0.0f, 40.0f);
        set.m_rmsCount = kPoints;
        set.m_rmsInterval = 1;
        set.m_startTime = 1265202300;
        set.m_ch1Present = set.m_ch2Present = 1;
        set.m_ch1Unit = "V";
        set.m_ch2Unit = "A";
        set.m_ch1Rms.resize(kPoints);
        set.m_ch2Rms.resize(kPoints);
        for (int i = 0; i < kPoints; ++i) {
            set.m_ch1Rms[size_t(i)] = 230.0f + noise(rng);
            set.m_ch2Rms[size_t(i)] = -150.0f + noise(rng);
        }
    }
};

Data& TheData() {
    static Data d;
    return d;
}

GraphModel Model() {
    GraphModel m;
    m.SetMode(GraphMode::StoreRms);
    m.SetPointWindow(1, kPoints);
    m.SetChannelsPresent(1, 1);
    m.SetChannelUnits("V", "A");
    m.SetAxisRange(0, -500, 500);
    m.SetAxisRange(1, -500, 500);
    m.SetDisplayContent(1);
    m.SetInfoBarHeight(120);
    m.SizeWorkBuffers(kPoints);
    return m;
}

void Ours(benchmark::State& state, bool decimate, bool rescale) {
    Data& d = TheData();
    GraphModel m = Model();
    GraphInputs in{d.set, d.settings, false};
    QImage img(kSize, QImage::Format_RGB32);
    RenderOptions o;
    o.decimate = decimate;
    for (auto _ : state) {
        if (rescale)
            m.ResetScale(); // as after a zoom reset: every pixel position anew
        QPainter p(&img);
        m.PrepareFrame(kSize.width(), kSize.height(), in);
        m.FramePainted(PaintGraph(p, m, in, o));
        p.end();
        benchmark::DoNotOptimize(img.constBits());
    }
}

void BM_RepaintReduced(benchmark::State& state) {
    Ours(state, true, false);
}
void BM_RepaintRescaled(benchmark::State& state) {
    Ours(state, true, true);
}
void BM_RepaintEverySegment(benchmark::State& state) {
    Ours(state, false, true);
}
BENCHMARK(BM_RepaintReduced)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_RepaintRescaled)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_RepaintEverySegment)->Unit(benchmark::kMillisecond)->MinTime(2.0);
// The same paint with both traces switched off: what the frame, grid and texts cost.
void BM_RepaintNoTraces(benchmark::State& state) {
    TheData().settings.m_showCh1 = TheData().settings.m_showCh2 = 0;
    Ours(state, true, false);
    TheData().settings.m_showCh1 = TheData().settings.m_showCh2 = 1;
}
BENCHMARK(BM_RepaintNoTraces)->Unit(benchmark::kMillisecond)->MinTime(1.0);

#ifdef DL_HAVE_QCUSTOMPLOT
void BM_QCustomPlotReplot(benchmark::State& state) {
    Data& d = TheData();
    QCustomPlot plot;
    plot.setFixedSize(kSize);
    plot.setNotAntialiasedElements(QCP::aeAll);
    QVector<double> x(kPoints), y1(kPoints), y2(kPoints);
    for (int i = 0; i < kPoints; ++i) {
        x[i] = i;
        y1[i] = d.set.m_ch1Rms[size_t(i)];
        y2[i] = d.set.m_ch2Rms[size_t(i)];
    }
    QCPGraph* g1 = plot.addGraph();
    QCPGraph* g2 = plot.addGraph(plot.xAxis, plot.yAxis2);
    g1->setData(x, y1, true);
    g2->setData(x, y2, true);
    g1->setPen(QPen(Qt::red));
    g2->setPen(QPen(Qt::green));
    g1->setAdaptiveSampling(true);
    g2->setAdaptiveSampling(true);
    plot.xAxis->setRange(0, kPoints - 1);
    plot.yAxis->setRange(-500, 500);
    plot.yAxis2->setRange(-500, 500);
    plot.yAxis2->setVisible(true);
    plot.setBackground(QColor(0, 0, 128));
    plot.replot(QCustomPlot::rpImmediateRefresh);
    QImage img(kSize, QImage::Format_RGB32);
    for (auto _ : state) {
        plot.replot(QCustomPlot::rpImmediateRefresh);
        // The replot draws into the plot's buffer; copying it out is what a
        // widget's paint does with it.
        QPainter p(&img);
        plot.render(&p);
        benchmark::DoNotOptimize(img.constBits());
    }
}
BENCHMARK(BM_QCustomPlotReplot)->Unit(benchmark::kMillisecond)->MinTime(2.0);
#endif

class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs)
            if (r.run_type == Run::RT_Iteration) {
                times[r.benchmark_name()] = r.GetAdjustedRealTime();
                cpu[r.benchmark_name()] = r.GetAdjustedCPUTime();
            }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> times;
    std::map<std::string, double> cpu;
};

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const auto ours = reporter.times.find("BM_RepaintReduced/min_time:2.000");
    const auto rescaled = reporter.times.find("BM_RepaintRescaled/min_time:2.000");
    const auto every = reporter.times.find("BM_RepaintEverySegment/min_time:2.000");
    const auto qcp = reporter.times.find("BM_QCustomPlotReplot/min_time:2.000");
    if (ours != reporter.times.end() && qcp != reporter.times.end()) {
        std::printf("ratio repaint / QCustomPlot replot: %.3f (goal <= 1.0)\n",
                    ours->second / qcp->second);
        // On a busy machine the wall time includes waiting for a core.
        std::printf("ratio of CPU times: %.3f\n",
                    reporter.cpu[ours->first] / reporter.cpu[qcp->first]);
    }
    if (rescaled != reporter.times.end() && qcp != reporter.times.end())
        std::printf("ratio repaint with a new scale / QCustomPlot replot: %.3f\n",
                    rescaled->second / qcp->second);
    if (every != reporter.times.end() && qcp != reporter.times.end())
        std::printf("ratio every-segment repaint / QCustomPlot replot: %.3f\n",
                    every->second / qcp->second);
    benchmark::Shutdown();
    return 0;
}
