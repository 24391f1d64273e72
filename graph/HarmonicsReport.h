#pragma once
// The harmonic orders of one captured sample as the user reads them: the cells of an
// order (the Harmonics window, its copied text and `orvex-dl harmonics` print the
// same figures), the table of a channel, the bar chart of its orders in % of the
// fundamental, and the printed pages (one per present channel).

#include "data/StatisticsText.h"
#include "graph/PowerAnalysis.h"
#include "graph/Report.h"

#include <QRect>
#include <QString>

#include <array>
#include <memory>
#include <optional>
#include <span>
#include <vector>

class QPainter;

// One present channel of a sample.
struct HarmonicsChannel {
    int ch = 0; // 0 CH1, 1 CH2
    QString unit;
    std::optional<HarmonicSpectrum> spectrum; // none without a usable window
};

// What the Harmonics window and its printed pages show.
struct SampleHarmonics {
    QString heading;                        // which sample it is, "" when unknown
    bool captured = false;                  // a waveform was there to analyse
    std::vector<HarmonicsChannel> channels; // the present channels, CH1 first
};

// The spectra of every present channel of `wave` (kRtWavePoints pairs); `wave` empty
// means no capture.
SampleHarmonics AnalyseHarmonics(std::span<const FloatPair> wave, std::array<ChannelKind, 2> kinds,
                                 const std::array<QString, 2>& units, const QString& heading);

// The figures of one order: amplitude and percent with two decimals, phase with one.
struct HarmonicCells {
    QString amplitude, percent, phase;
};
HarmonicCells OrderCells(const HarmonicOrder& order);
// "5.83", or "--" without a usable window.
QString ThdText(const std::optional<HarmonicSpectrum>& spectrum);
// "CH1 (V)".
QString ChannelTitle(const HarmonicsChannel& c);

// "Order", "Amplitude (V)", "%", "Phase (°)" and a row per order; no rows without a
// usable window.
TextTable OrdersTable(const HarmonicsChannel& c);
// The copied text: per channel its title and THD, then its table, tab-separated; a
// blank line between channels.
QString HarmonicsText(const SampleHarmonics& h);

// The bar chart of a spectrum's orders in % of the fundamental inside `area`. The
// scale follows the largest order above the fundamental, so that a few per cent stay
// readable; the fundamental's bar is cut at the top and carries its value.
void PaintHarmonicsChart(QPainter& p, const QRect& area, const HarmonicSpectrum& s,
                         const QColor& bar);

// The printed report: a page per present channel with its chart and table (one page
// saying there is nothing to show without any).
ReportPages HarmonicsReport(const std::shared_ptr<const SampleHarmonics>& h);
