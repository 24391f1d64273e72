#pragma once
// What the graph benchmarks compare against: QCustomPlot replotting two channels
// (CH1 on the left axis, CH2 on the right) with the same data at the same size,
// aliased, and the replot copied into an image as a widget's paint does. One set
// of code for every benchmark, so that each ratio has the same denominator.
// Also the reporter that keeps each run's times for the ratios printed at the end.

#include "bench/support/Ratios.h"

#include <benchmark/benchmark.h>

#include <QImage>
#include <QSize>

#include <functional>

#include <map>
#include <memory>
#include <string>
#include <vector>

class QCustomPlot;

// Whether this build has QCustomPlot to compare with.
bool HaveQcpBaseline();

class QcpBaseline {
public:
    // Points 0 .. n-1 of both channels, both Y axes from yLow to yHigh, the whole
    // series shown.
    QcpBaseline(QSize size, const std::vector<double>& ch1, const std::vector<double>& ch2,
                double yLow, double yHigh);
    ~QcpBaseline();
    // Shows points first to last (0-based) only, as a zoom into them would.
    void ShowRange(double first, double last);
    // One replot into the plot's buffer, copied into `into`.
    void Replot(QImage& into);

private:
    std::unique_ptr<QCustomPlot> m_plot;
};

// Registers "<name>" as the baseline's replot of the data (nothing without
// QCustomPlot). `make` is called once, when the benchmark runs.
void RegisterQcpReplot(const std::string& name, QSize size,
                       std::function<std::unique_ptr<QcpBaseline>()> make, double minTime);
