// One real-time sample tick as the main window does it (waveform analysis of both
// channels, extremes, the RMS mode's refresh, AppendRealTimePoint and the newest
// segment drawn onto a 1600 x 900 image) from 1,000 and from 90,000 samples taken,
// up to 10,000 more: the tick must not grow with the count. Then a full repaint of
// a 100,000-sample real-time RMS graph beside QCustomPlot's replot of the same data.

#include "base/Prompts.h"
#include "base/Timers.h"
#include "bench/support/QcpBaseline.h"
#include "graph/GraphRenderer.h"
#include "graph/RealTimeSampler.h"
#include "shell/AppShell.h"
#include "shell/GraphController.h"
#include "sim/RealTimeStream.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <string>

namespace {

const QSize kSize(1600, 900);
constexpr int kCapacity = 100000;

// The shell's view of a run that is on, without a link.
class RunOn final : public RealTimeRunState {
public:
    bool RealTimeRunning() const override { return true; }
};

struct Window {
    QTemporaryDir dir;
    ManualClock clock;
    ManualTimerTable timers{clock};
    FakePrompts prompts;
    FixedClock now{1765199100};
    AppShell shell{timers, prompts, now, dir.filePath("x.ini")};
    GraphController graph{shell};
    RunOn run;
    RealTimeSampler sampler;
    QImage image{kSize, QImage::Format_RGB32};

    // A run with `taken` samples of a slowly drifting 230 V / 10 A, in the RMS graph.
    explicit Window(int taken, GraphMode mode = GraphMode::RealTimeRms) {
        MeasurementSet& s = shell.Set();
        shell.Settings().m_rtPointsRequested = kCapacity;
        shell.SetRealTimeRunState(&run);
        RealTimeRun& rt = s.Run();
        rt.SetChannel(0, true, "V");
        rt.SetChannel(1, true, "A");
        rt.Begin(now.Now(), 2, kCapacity);
        const RealTimeStream stream;
        RealTimeRun::Wave wave{};
        for (int i = 0; i < kRtWavePoints; ++i)
            wave[size_t(i)] = {float(stream.Sample(0, i, 0)), float(stream.Sample(1, i, 0))};
        rt.SetCapture(wave);
        for (int n = 0; n < taken; ++n) {
            RtSample sample;
            sample.rms = {float(230 + 5 * std::sin(n / 50.0)), float(10 + std::sin(n / 30.0))};
            sample.freq = {50.0f, 50.0f};
            sample.time = rt.StartTime() + 2 * n;
            rt.Append(sample);
        }
        shell.Graph().SetDisplayContent(GraphModel::kContentGraph);
        shell.Graph().SetClient(kSize.width(), kSize.height());
        shell.SizeWorkBuffers(WorkBufferOccasion::AtRealTimeStart);
        if (mode == GraphMode::RealTimeFrequency)
            graph.OnRealTimeFrequency();
        else if (mode == GraphMode::RealTimeApparentPower)
            graph.OnRealTimeApparentPower();
        else
            graph.OnRealTimeRms();
        QPainter p(&image);
        const GraphInputs in = graph.Inputs();
        shell.Graph().PrepareFrame(kSize.width(), kSize.height(), in);
        shell.Graph().FramePainted(PaintGraph(p, shell.Graph(), in, RenderOptions{}));
    }

    // The tick's work for the next sample.
    void Tick() {
        MeasurementSet& s = shell.Set();
        std::array<EpaTexts, 2> texts = graph.EpaPanelTexts();
        sampler.Sample(s, &texts);
        graph.SetEpaPanelTexts(texts);
        s.Run().Append();
        graph.OnRealTimeRms();
        GraphModel& g = shell.Graph();
        const AppendResult r = g.AppendRealTimePoint(graph.Inputs());
        if (r.action == AppendAction::DrawNewest) {
            QPainter p(&image);
            const AppSettings& st = shell.Settings();
            for (int ch = 0; ch < 2; ++ch)
                if (g.ChannelDrawn(st, ch))
                    DrawSegment(p, g, ch, r.segment,
                                ColourOf(ch == 0 ? st.m_ch1Color : st.m_ch2Color), false);
        }
        benchmark::DoNotOptimize(r.action);
    }
};

// Ticks from `taken` samples on, at most kTickSpan of them before the run is set
// back to `taken` outside the measured time: a run set back after every tick
// would time each tick just after the copy of the whole run, on cold caches.
constexpr int kTickSpan = 10000;
void BM_SampleTick(benchmark::State& state) {
    const int taken = int(state.range(0));
    Window w(taken);
    const RealTimeRun start = w.shell.Set().Run();
    for (auto _ : state) {
        if (w.shell.Set().Run().Full() || w.shell.Set().Run().Count() >= taken + kTickSpan) {
            state.PauseTiming();
            w.shell.Set().Run() = start;
            state.ResumeTiming();
        }
        w.Tick();
    }
    benchmark::DoNotOptimize(w.image.constBits());
}
BENCHMARK(BM_SampleTick)
    ->Arg(1000)
    ->Arg(kCapacity - kTickSpan)
    ->Unit(benchmark::kMicrosecond)
    ->MinTime(1.0);

void Repaint(benchmark::State& state, GraphMode mode) {
    Window w(kCapacity, mode);
    for (auto _ : state) {
        QPainter p(&w.image);
        const GraphInputs in = w.graph.Inputs();
        w.shell.Graph().PrepareFrame(kSize.width(), kSize.height(), in);
        w.shell.Graph().FramePainted(PaintGraph(p, w.shell.Graph(), in, RenderOptions{}));
        p.end();
        benchmark::DoNotOptimize(w.image.constBits());
    }
}
void BM_RealTimeRepaint(benchmark::State& state) {
    Repaint(state, GraphMode::RealTimeRms);
}
// The frequency graph (two traces at a steady 50 Hz) and the apparent-power graph
// (one trace), beside the RMS graph's repaint.
void BM_RealTimeRepaintFrequency(benchmark::State& state) {
    Repaint(state, GraphMode::RealTimeFrequency);
}
void BM_RealTimeRepaintApparentPower(benchmark::State& state) {
    Repaint(state, GraphMode::RealTimeApparentPower);
}
BENCHMARK(BM_RealTimeRepaint)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_RealTimeRepaintFrequency)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_RealTimeRepaintApparentPower)->Unit(benchmark::kMillisecond)->MinTime(1.0);

std::unique_ptr<QcpBaseline> Baseline() {
    const Window w(kCapacity);
    std::vector<double> ch1(kCapacity), ch2(kCapacity);
    for (int i = 0; i < kCapacity; ++i) {
        ch1[size_t(i)] = w.shell.Set().Run().Rms()[size_t(i)][0];
        ch2[size_t(i)] = w.shell.Set().Run().Rms()[size_t(i)][1];
    }
    return std::make_unique<QcpBaseline>(kSize, ch1, ch2, -500, 500);
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    RegisterQcpReplot("BM_QCustomPlotReplot", kSize, Baseline, 2.0);
    RatioReporter r;
    benchmark::RunSpecifiedBenchmarks(&r);
    r.PrintRatio("ticks at 90,000 to 100,000 / at 1,000 to 11,000 samples",
                 "BM_SampleTick/90000/min_time:1.000", "BM_SampleTick/1000/min_time:1.000",
                 "(goal <= 1.1)");
    r.PrintRatio("100,000-sample repaint / QCustomPlot replot", "BM_RealTimeRepaint/min_time:2.000",
                 "BM_QCustomPlotReplot/min_time:2.000", "(goal <= 0.5)");
    r.PrintRatio("F(Hz) repaint / RMS repaint", "BM_RealTimeRepaintFrequency/min_time:1.000",
                 "BM_RealTimeRepaint/min_time:2.000", nullptr);
    r.PrintRatio("S(VA) repaint / RMS repaint", "BM_RealTimeRepaintApparentPower/min_time:1.000",
                 "BM_RealTimeRepaint/min_time:2.000", nullptr);
    benchmark::Shutdown();
    return 0;
}
