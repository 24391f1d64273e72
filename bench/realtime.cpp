// One real-time sample tick as the main window does it (waveform analysis of both
// channels, extremes, the RMS mode's refresh, AppendRealTimePoint and the newest
// segment drawn onto a 1600 x 900 image) at 1,000 and at 100,000 samples taken: the
// tick must not grow with the count. Then a full repaint of a 100,000-sample
// real-time RMS graph beside QCustomPlot's replot of the same data.

#include "base/Prompts.h"
#include "base/Timers.h"
#include "graph/GraphRenderer.h"
#include "graph/RealTimeSampler.h"
#include "link/RealTimeStream.h"
#include "shell/AppShell.h"
#include "shell/GraphController.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>

#ifdef DL_HAVE_QCUSTOMPLOT
#include <qcustomplot.h>
#endif

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <memory>
#include <string>

namespace {

const QSize kSize(1600, 900);
constexpr int kCapacity = 100000;

struct Window {
    QTemporaryDir dir;
    ManualClock clock;
    ManualTimerTable timers{clock};
    FakePrompts prompts;
    FixedClock now{1765199100};
    AppShell shell{timers, prompts, now, dir.filePath("x.ini")};
    GraphController graph{shell};
    RealTimeSampler sampler;
    QImage image{kSize, QImage::Format_RGB32};

    // A run with `taken` samples of a slowly drifting 230 V / 10 A, in the RMS graph.
    explicit Window(int taken) {
        MeasurementSet& s = shell.m_set;
        shell.m_settings.m_rtPointsRequested = kCapacity;
        shell.m_realTimeIdle = 0;
        s.m_rtCh1Present = s.m_rtCh2Present = 1;
        s.m_rtCh1Unit = "V";
        s.m_rtCh2Unit = "A";
        s.m_rtStartTime = now.Now();
        s.m_rtRms.assign(kCapacity, FloatPair{0, 0});
        s.m_rtFreq.assign(kCapacity, FloatPair{0, 0});
        const RealTimeStream stream;
        for (int i = 0; i < kRtWavePoints; ++i)
            s.m_rtWave[size_t(i)] = {float(stream.Sample(0, i, 0)), float(stream.Sample(1, i, 0))};
        s.m_rtWavePoints = kRtWavePoints;
        for (int n = 0; n < taken; ++n) {
            s.m_rtRms[size_t(n)] = {float(230 + 5 * std::sin(n / 50.0)),
                                    float(10 + std::sin(n / 30.0))};
            s.m_rtFreq[size_t(n)] = {50.0f, 50.0f};
        }
        s.m_rtCount = taken;
        shell.m_graph.SetDisplayContent(GraphModel::kContentGraph);
        shell.m_graph.SetClient(kSize.width(), kSize.height());
        shell.SizeWorkBuffers(WorkBufferOccasion::AtRealTimeStart);
        graph.OnRealTimeRms();
        QPainter p(&image);
        const GraphInputs in = graph.Inputs();
        shell.m_graph.PrepareFrame(kSize.width(), kSize.height(), in);
        shell.m_graph.FramePainted(PaintGraph(p, shell.m_graph, in, RenderOptions{}));
    }

    // The tick's work for the sample at index `n`.
    void Tick(int n) {
        MeasurementSet& s = shell.m_set;
        s.m_rtCount = n;
        sampler.Sample(s, 2, &graph.m_epaTexts);
        ++s.m_rtCount;
        graph.OnRealTimeRms();
        GraphModel& g = shell.m_graph;
        const AppendResult r = g.AppendRealTimePoint(graph.Inputs());
        if (r.action == AppendAction::DrawNewest) {
            QPainter p(&image);
            const AppSettings& st = shell.m_settings;
            for (int ch = 0; ch < 2; ++ch)
                if (g.ChannelDrawn(st, ch))
                    DrawSegment(p, g, ch, r.segment,
                                ColourOf(ch == 0 ? st.m_ch1Color : st.m_ch2Color), false);
        }
        benchmark::DoNotOptimize(r.action);
    }
};

void BM_SampleTick(benchmark::State& state) {
    const int taken = int(state.range(0));
    Window w(taken);
    for (auto _ : state)
        w.Tick(taken);
    benchmark::DoNotOptimize(w.image.constBits());
}
BENCHMARK(BM_SampleTick)->Arg(1000)->Arg(99999)->Unit(benchmark::kMicrosecond)->MinTime(1.0);

void BM_RealTimeRepaint(benchmark::State& state) {
    Window w(kCapacity);
    for (auto _ : state) {
        QPainter p(&w.image);
        const GraphInputs in = w.graph.Inputs();
        w.shell.m_graph.PrepareFrame(kSize.width(), kSize.height(), in);
        w.shell.m_graph.FramePainted(PaintGraph(p, w.shell.m_graph, in, RenderOptions{}));
        p.end();
        benchmark::DoNotOptimize(w.image.constBits());
    }
}
BENCHMARK(BM_RealTimeRepaint)->Unit(benchmark::kMillisecond)->MinTime(2.0);

#ifdef DL_HAVE_QCUSTOMPLOT
void BM_QCustomPlotReplot(benchmark::State& state) {
    Window w(kCapacity);
    const MeasurementSet& s = w.shell.m_set;
    QCustomPlot plot;
    plot.setFixedSize(kSize);
    plot.setNotAntialiasedElements(QCP::aeAll);
    QVector<double> x(kCapacity), y1(kCapacity), y2(kCapacity);
    for (int i = 0; i < kCapacity; ++i) {
        x[i] = i;
        y1[i] = s.m_rtRms[size_t(i)][0];
        y2[i] = s.m_rtRms[size_t(i)][1];
    }
    QCPGraph* g1 = plot.addGraph();
    QCPGraph* g2 = plot.addGraph(plot.xAxis, plot.yAxis2);
    g1->setData(x, y1, true);
    g2->setData(x, y2, true);
    g1->setPen(QPen(Qt::red));
    g2->setPen(QPen(Qt::green));
    g1->setAdaptiveSampling(true);
    g2->setAdaptiveSampling(true);
    plot.xAxis->setRange(0, kCapacity - 1);
    plot.yAxis->setRange(-500, 500);
    plot.yAxis2->setRange(-500, 500);
    plot.yAxis2->setVisible(true);
    plot.replot(QCustomPlot::rpImmediateRefresh);
    QImage img(kSize, QImage::Format_RGB32);
    for (auto _ : state) {
        plot.replot(QCustomPlot::rpImmediateRefresh);
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
    auto cpu = [&](const char* name) {
        auto it = reporter.cpu.find(name);
        return it == reporter.cpu.end() ? -1.0 : it->second;
    };
    const double small = cpu("BM_SampleTick/1000/min_time:1.000");
    const double large = cpu("BM_SampleTick/99999/min_time:1.000");
    if (small > 0 && large > 0)
        std::printf("tick at 100,000 / tick at 1,000 samples (CPU): %.3f (goal <= 1.1)\n",
                    large / small);
    const double ours = cpu("BM_RealTimeRepaint/min_time:2.000");
    const double qcp = cpu("BM_QCustomPlotReplot/min_time:2.000");
    if (ours > 0 && qcp > 0)
        std::printf("100,000-sample repaint / QCustomPlot replot (CPU): %.3f (goal <= 0.5)\n",
                    ours / qcp);
    benchmark::Shutdown();
    return 0;
}
