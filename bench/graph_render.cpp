// Repaints of a 262,144-point two-channel noisy stored set into a 1600 x 900 image:
// our renderer (reduced, with a new scale, every segment, with mark points (also
// alternated paint by paint with the unmarked paint), zoomed)
// against the shared QCustomPlot baseline replotting the same data, or the same
// visible range, at the same size; the envelopes of the full memory built anew,
// and the traces of a narrow plot looked up in them against walked. Prints the
// ratios at the end.

#include "base/Settings.h"
#include "bench/support/QcpBaseline.h"
#include "data/MeasurementSet.h"
#include "graph/Envelope.h"
#include "graph/GraphRenderer.h"
#include "graph/Zoom.h"

#include <QApplication>
#include <QImage>
#include <QPainter>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <ctime>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr int kPoints = 262144;
const QSize kSize(1600, 900);

struct Data {
    MeasurementSet set;
    AppSettings settings;
    Data() {
        std::mt19937 rng(12345);
        std::normal_distribution<float> noise(0.0f, 40.0f);
        StoredSet d;
        d.SetRmsCount(kPoints);
        d.SetRmsInterval(1);
        d.SetStartTime(1265202300);
        d.SetChannelUnit(0, "V");
        d.SetChannelUnit(1, "A");
        std::vector<float> ch1(kPoints), ch2(kPoints);
        for (int i = 0; i < kPoints; ++i) {
            ch1[size_t(i)] = 230.0f + noise(rng);
            ch2[size_t(i)] = -150.0f + noise(rng);
        }
        d.SetChannelValues(0, std::move(ch1));
        d.SetChannelValues(1, std::move(ch2));
        set.ReplaceStored(std::move(d));
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

// Mark points on: the same repaints as the reduced and the rescaled ones.
void Marked(benchmark::State& state, bool rescale) {
    TheData().settings.m_showMarkPoints = 1;
    Ours(state, true, rescale);
    TheData().settings.m_showMarkPoints = 0;
}
void BM_RepaintMarks(benchmark::State& state) {
    Marked(state, false);
}
void BM_RepaintMarksRescaled(benchmark::State& state) {
    Marked(state, true);
}
BENCHMARK(BM_RepaintMarks)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_RepaintMarksRescaled)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// The same two pairs of paints in alternation, paint by paint, each timed by the
// CPU time of this thread: on a machine busy with other work both sides of a
// ratio then meet the same load, where the runs above meet it seconds apart.
// Sets the ratio of the median marked paint to the median unmarked one.
double AlternatingRatio[2] = {0, 0};

double ThreadCpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) * 1e-6;
}

double Median(std::vector<double> v) {
    if (v.empty())
        return 0;
    std::nth_element(v.begin(), v.begin() + std::ptrdiff_t(v.size() / 2), v.end());
    return v[v.size() / 2];
}

void MarksAlternating(benchmark::State& state, bool rescale) {
    Data& d = TheData();
    std::array<GraphModel, 2> models{Model(), Model()};
    QImage img(kSize, QImage::Format_RGB32);
    std::array<std::vector<double>, 2> times;
    auto paint = [&](int marks) {
        GraphModel& m = models[size_t(marks)];
        d.settings.m_showMarkPoints = uint8_t(marks);
        const GraphInputs in{d.set, d.settings, false};
        const double t0 = ThreadCpuMs();
        if (rescale)
            m.ResetScale();
        QPainter p(&img);
        m.PrepareFrame(kSize.width(), kSize.height(), in);
        m.FramePainted(PaintGraph(p, m, in, RenderOptions{}));
        p.end();
        times[size_t(marks)].push_back(ThreadCpuMs() - t0);
        benchmark::DoNotOptimize(img.constBits());
    };
    for (auto _ : state) {
        paint(0);
        paint(1);
    }
    d.settings.m_showMarkPoints = 0;
    const double ratio = Median(times[1]) / Median(times[0]);
    state.counters["marked_over_unmarked"] = ratio;
    AlternatingRatio[rescale ? 1 : 0] = ratio;
}
void BM_MarksAlternating(benchmark::State& state) {
    MarksAlternating(state, false);
}
void BM_MarksAlternatingRescaled(benchmark::State& state) {
    MarksAlternating(state, true);
}
BENCHMARK(BM_MarksAlternating)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_MarksAlternatingRescaled)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// Zoomed into a box a tenth of the plot wide (about 26,000 points) and as high as
// the plot, taken as a rubber band would be; every zoomed paint computes the
// zoomed scale anew.
struct Zoomed {
    GraphModel m = Model();
    QImage img{kSize, QImage::Format_RGB32};
    Zoomed() {
        Paint();
        const GraphLayout& g = m.Layout();
        const int a = g.plotLeft + g.W() * 4 / 10;
        const int b = g.plotLeft + g.W() * 5 / 10;
        if (FinishZoomDrag(m, QPoint(a, g.plotTop), QPoint(b, g.plotBottom), false) !=
            ZoomVerdict::Accepted)
            std::fprintf(stderr, "the benchmark's zoom box was refused\n");
        Paint();
    }
    void Paint() {
        Data& d = TheData();
        GraphInputs in{d.set, d.settings, false};
        QPainter p(&img);
        m.PrepareFrame(kSize.width(), kSize.height(), in);
        m.FramePainted(PaintGraph(p, m, in, RenderOptions{}));
    }
    // The 0-based points the zoomed plot shows.
    std::pair<double, double> Visible() const {
        const GraphLayout& g = m.Layout();
        const int slot = m.Zoom().Slot();
        double first = -1, last = -1;
        for (int64_t k = 0; k < kPoints; ++k) {
            const double x = m.XPix(k, slot, 0);
            if (x >= g.plotLeft && first < 0)
                first = double(k);
            if (x <= g.plotRight)
                last = double(k);
        }
        return {first, last};
    }
};

void BM_RepaintZoomed(benchmark::State& state) {
    Zoomed z;
    for (auto _ : state) {
        z.Paint();
        benchmark::DoNotOptimize(z.img.constBits());
    }
}
BENCHMARK(BM_RepaintZoomed)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// The min/max envelopes of both channels of the full memory, built anew, and the
// bytes they take beside the series' own.
void BM_EnvelopeBuild(benchmark::State& state) {
    Data& d = TheData();
    size_t bytes = 0;
    for (auto _ : state) {
        bytes = 0;
        for (const std::vector<float>* v : {&d.set.ChannelRms(0), &d.set.ChannelRms(1)}) {
            Envelope e;
            e.Build(GraphModel::Series{v->data(), nullptr, 1, kPoints});
            bytes += e.MemoryBytes();
            benchmark::DoNotOptimize(e.Count());
        }
    }
    state.counters["memory_share"] = double(bytes) / double(2 * kPoints * sizeof(float));
}
BENCHMARK(BM_EnvelopeBuild)->Unit(benchmark::kMillisecond)->MinTime(1.0);

// The traces alone of the full memory in a narrow plot (about 1,450 points a
// column): looked up in the envelopes against walking every point of a column.
void Traces(benchmark::State& state, bool summarised) {
    Data& d = TheData();
    GraphModel m = Model();
    const QSize size(400, 500);
    GraphInputs in{d.set, d.settings, false};
    QImage img(size, QImage::Format_RGB32);
    m.PrepareFrame(size.width(), size.height(), in);
    for (auto _ : state) {
        QPainter p(&img);
        if (summarised)
            DrawTraces(p, m, in, true);
        else
            DrawTraces(p, m, d.settings, true);
        p.end();
        benchmark::DoNotOptimize(img.constBits());
    }
}
void BM_NarrowTracesLookedUp(benchmark::State& state) {
    Traces(state, true);
}
void BM_NarrowTracesWalked(benchmark::State& state) {
    Traces(state, false);
}
BENCHMARK(BM_NarrowTracesLookedUp)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_NarrowTracesWalked)->Unit(benchmark::kMillisecond)->MinTime(1.0);

std::vector<double> Values(int ch) {
    const std::vector<float>& v =
        ch == 0 ? TheData().set.ChannelRms(0) : TheData().set.ChannelRms(1);
    return std::vector<double>(v.begin(), v.end());
}

std::unique_ptr<QcpBaseline> WholeBaseline() {
    return std::make_unique<QcpBaseline>(kSize, Values(0), Values(1), -500, 500);
}

std::unique_ptr<QcpBaseline> ZoomedBaseline() {
    const Zoomed z;
    const std::array<float, kTicks>& t = z.m.Ticks(0, 1);
    auto plot = std::make_unique<QcpBaseline>(kSize, Values(0), Values(1), t[0], t[10]);
    const auto [first, last] = z.Visible();
    static bool told = false;
    if (!told)
        std::printf("zoomed: points %.0f to %.0f shown, CH1 %.2f to %.2f\n", first, last, t[0],
                    t[10]);
    told = true;
    plot->ShowRange(first, last);
    return plot;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    RegisterQcpReplot("BM_QCustomPlotReplot", kSize, WholeBaseline, 2.0);
    RegisterQcpReplot("BM_QCustomPlotZoomedReplot", kSize, ZoomedBaseline, 2.0);
    RatioReporter r;
    benchmark::RunSpecifiedBenchmarks(&r);
    const std::string qcp = "BM_QCustomPlotReplot/min_time:2.000";
    r.PrintRatio("repaint / QCustomPlot replot", "BM_RepaintReduced/min_time:2.000", qcp,
                 "(goal <= 1.0)");
    r.PrintRatio("repaint with a new scale / QCustomPlot replot",
                 "BM_RepaintRescaled/min_time:2.000", qcp, "(goal <= 0.25)");
    r.PrintRatio("every-segment repaint / QCustomPlot replot",
                 "BM_RepaintEverySegment/min_time:2.000", qcp, nullptr);
    r.PrintRatio("zoomed repaint / QCustomPlot replot of the same range",
                 "BM_RepaintZoomed/min_time:2.000", "BM_QCustomPlotZoomedReplot/min_time:2.000",
                 "(goal <= 0.25)");
    // Timed in separate runs, each with its own image and heap, these swing by a
    // third from run to run on one machine; the goal is read from the alternated
    // paints below, which share them.
    const char* const separate = "(separate runs; the goal is the alternated line)";
    r.PrintRatio("repaint with mark points / the same without", "BM_RepaintMarks/min_time:2.000",
                 "BM_RepaintReduced/min_time:2.000", separate);
    r.PrintRatio("repaint with mark points and a new scale / the same without",
                 "BM_RepaintMarksRescaled/min_time:2.000", "BM_RepaintRescaled/min_time:2.000",
                 separate);
    for (int rescaled : {0, 1}) {
        if (AlternatingRatio[rescaled] > 0)
            std::printf("repaint with mark points%s / the same without, alternated paint by paint "
                        "(thread CPU, medians): %.3f (goal <= 1.2)\n",
                        rescaled ? " and a new scale" : "", AlternatingRatio[rescaled]);
    }
    r.PrintRatio("narrow plot: traces looked up / walked", "BM_NarrowTracesLookedUp/min_time:1.000",
                 "BM_NarrowTracesWalked/min_time:1.000", nullptr);
    benchmark::Shutdown();
    return 0;
}
