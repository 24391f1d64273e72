#include "bench/support/QcpBaseline.h"

#include <QColor>
#include <QPainter>
#include <QPen>

#ifdef DL_HAVE_QCUSTOMPLOT
#include <qcustomplot.h>
#endif

#include <cstdio>

#ifdef DL_HAVE_QCUSTOMPLOT

bool HaveQcpBaseline() {
    return true;
}

QcpBaseline::QcpBaseline(QSize size, const std::vector<double>& ch1, const std::vector<double>& ch2,
                         double yLow, double yHigh)
    : m_plot(std::make_unique<QCustomPlot>()) {
    QCustomPlot& plot = *m_plot;
    plot.setFixedSize(size);
    plot.setNotAntialiasedElements(QCP::aeAll);
    const int n = int(std::min(ch1.size(), ch2.size()));
    QVector<double> x(n), y1(n), y2(n);
    for (int i = 0; i < n; ++i) {
        x[i] = i;
        y1[i] = ch1[size_t(i)];
        y2[i] = ch2[size_t(i)];
    }
    QCPGraph* g1 = plot.addGraph();
    QCPGraph* g2 = plot.addGraph(plot.xAxis, plot.yAxis2);
    g1->setData(x, y1, true);
    g2->setData(x, y2, true);
    g1->setPen(QPen(Qt::red));
    g2->setPen(QPen(Qt::green));
    g1->setAdaptiveSampling(true);
    g2->setAdaptiveSampling(true);
    plot.xAxis->setRange(0, n - 1);
    plot.yAxis->setRange(yLow, yHigh);
    plot.yAxis2->setRange(yLow, yHigh);
    plot.yAxis2->setVisible(true);
    plot.setBackground(QColor(0, 0, 128));
    plot.replot(QCustomPlot::rpImmediateRefresh);
}

QcpBaseline::~QcpBaseline() = default;

void QcpBaseline::ShowRange(double first, double last) {
    m_plot->xAxis->setRange(first, last);
    m_plot->replot(QCustomPlot::rpImmediateRefresh);
}

void QcpBaseline::Replot(QImage& into) {
    m_plot->replot(QCustomPlot::rpImmediateRefresh);
    QPainter p(&into);
    m_plot->render(&p);
}

void RegisterQcpReplot(const std::string& name, QSize size,
                       std::function<std::unique_ptr<QcpBaseline>()> make, double minTime) {
    benchmark::RegisterBenchmark(name.c_str(),
                                 [size, make](benchmark::State& state) {
                                     const std::unique_ptr<QcpBaseline> plot = make();
                                     QImage img(size, QImage::Format_RGB32);
                                     for (auto _ : state) {
                                         plot->Replot(img);
                                         benchmark::DoNotOptimize(img.constBits());
                                     }
                                 })
        ->Unit(benchmark::kMillisecond)
        ->MinTime(minTime);
}

#else

bool HaveQcpBaseline() {
    return false;
}

QcpBaseline::QcpBaseline(QSize, const std::vector<double>&, const std::vector<double>&, double,
                         double) {}
QcpBaseline::~QcpBaseline() = default;
void QcpBaseline::ShowRange(double, double) {}
void QcpBaseline::Replot(QImage&) {}

void RegisterQcpReplot(const std::string&, QSize, std::function<std::unique_ptr<QcpBaseline>()>,
                       double) {}

#endif
