// The work of one mouse move over the plot of the real graph view: the nearest
// point, the read-out text, the read-out strip painted, the cursor line inverted
// and the changed parts copied to the screen. A stored graph of 262,144 points per
// channel against one of 100, side by side; the move must not cost more with more
// points. The mouse moves between two places that name different points, so the
// text and the strip change on every move.

#include "base/Clock.h"
#include "base/Prompts.h"
#include "base/Timers.h"
#include "bench/support/Ratios.h"
#include "data/MeasurementSet.h"
#include "graph/Zoom.h"
#include "shell/AppShell.h"
#include "ui/CDTView.h"

#include <QApplication>
#include <QMouseEvent>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <memory>
#include <random>
#include <string>

namespace {

const QSize kSize(1600, 900);

struct View {
    QTemporaryDir dir;
    ManualClock clock;
    ManualTimerTable timers{clock};
    ManualTimerTable viewTimers{clock};
    FakePrompts prompts;
    FixedClock now{1265202300};
    std::unique_ptr<AppShell> shell;
    std::unique_ptr<CDTView> view;

    explicit View(int points) {
        qputenv("DATALOGGER_DIR", dir.path().toLocal8Bit());
        shell = std::make_unique<AppShell>(timers, prompts, now, dir.filePath("x.ini"));
        view = std::make_unique<CDTView>(*shell, nullptr, &viewTimers);
        view->resize(kSize);
        view->show();
        QCoreApplication::processEvents();
        StoredSet s;
        std::mt19937 rng(12345);
        std::normal_distribution<float> noise(0.0f, 40.0f);
        s.SetRmsCount(points);
        s.SetRmsInterval(1);
        s.SetStartTime(now.Now());
        s.SetChannelCount(2);
        s.SetChannelUnit(0, "V");
        s.SetChannelUnit(1, "A");
        std::vector<float> ch1, ch2;
        for (int i = 0; i < points; ++i) {
            ch1.push_back(230.0f + noise(rng));
            ch2.push_back(10.0f + noise(rng) / 10.0f);
        }
        s.SetChannelValues(0, std::move(ch1));
        s.SetChannelValues(1, std::move(ch2));
        shell->Set().ReplaceStored(std::move(s));
        shell->SizeWorkBuffers(WorkBufferOccasion::AfterDownload);
        shell->ExecuteDirect(Cmd::StoreRms);
        shell->Graph().SetDisplayContent(GraphModel::kContentGraph);
        view->repaint();
        QCoreApplication::processEvents();
    }

    void Move(QPoint at);
};

// One move to client point `at`, and the paint of what it changed (kept out of
// line, so that a profiler can single it out).
[[gnu::noinline]] void View::Move(QPoint at) {
    QMouseEvent e(QEvent::MouseMove, QPointF(at), view->mapToGlobal(QPointF(at)), Qt::NoButton,
                  Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(view.get(), &e);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::UpdateRequest);
}

void BM_ReadoutMove(benchmark::State& state) {
    View v(int(state.range(0)));
    const GraphLayout& g = v.shell->Graph().Layout();
    const QPoint a(g.plotLeft + g.W() / 3, g.plotTop + g.Hp() / 2);
    const QPoint b(g.plotLeft + 2 * g.W() / 3, g.plotTop + g.Hp() / 3);
    v.Move(a);
    if (!v.view->CursorShown() ||
        NearestPoint(v.shell->Graph(), a.x()) == NearestPoint(v.shell->Graph(), b.x())) {
        state.SkipWithError("the move shows no cursor line, or both places name one point");
        return;
    }
    bool there = false;
    for (auto _ : state) {
        v.Move(there ? a : b);
        there = !there;
    }
    benchmark::DoNotOptimize(v.shell->Graph().ReadoutText().size());
}
// A move costs about a tenth of a millisecond, so a busy machine easily moves one
// run by a tenth or more: the ratio is taken between the medians of five runs each.
BENCHMARK(BM_ReadoutMove)
    ->Arg(100)
    ->Arg(262144)
    ->Unit(benchmark::kMicrosecond)
    ->MinTime(0.5)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintRatio("mouse move at 262,144 / at 100 points, medians",
                        "BM_ReadoutMove/262144/min_time:0.500/repeats:5",
                        "BM_ReadoutMove/100/min_time:0.500/repeats:5", "(goal <= 1.1)");
    benchmark::Shutdown();
    return 0;
}
