#include "graph/HarmonicsReport.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {

// 1, 2 or 5 times a power of ten, at least `v`.
double NiceCeiling(double v) {
    const double decade = std::pow(10.0, std::floor(std::log10(v)));
    for (const double step : {1.0, 2.0, 5.0, 10.0})
        if (step * decade >= v * (1 - 1e-9))
            return step * decade;
    return 10 * decade;
}

QString PercentLabel(double v) {
    return QString::number(v, 'g', 3) + QStringLiteral(" %");
}

void TextAt(QPainter& p, int x, int y, const QString& text) {
    p.drawText(QPoint(x, y + p.fontMetrics().ascent()), text);
}

// Orders per column group of a printed table.
constexpr int kPrintedRowsPerGroup = 17;

void PaintChannelPage(QPainter& p, const PageMetrics& m, const SampleHarmonics& h,
                      const HarmonicsChannel& c) {
    p.setFont(ReportTextFont(m.L));
    TextAt(p, 0, 3 * m.L, h.heading);
    TextAt(p, 0, 4 * m.L + m.L / 2,
           QStringLiteral("%1   THD %2 %").arg(ChannelTitle(c), ThdText(c.spectrum)));
    if (!c.spectrum) {
        TextAt(p, 0, 6 * m.L, QStringLiteral("No usable signal in this sample."));
        return;
    }
    PaintHarmonicsChart(p, QRect(0, 6 * m.L, m.W, 20 * m.L), *c.spectrum, Qt::darkGray);
    // Three groups of orders side by side; a smaller face keeps a group's four
    // columns apart on a portrait page too.
    p.setFont(ReportTextFont(m.L * 85 / 100));
    const TextTable t = OrdersTable(c);
    const int groupWidth = m.W / 3;
    const double columns[] = {0.0, 0.16, 0.53, 0.72};
    for (size_t first = 0, group = 0; first < t.rows.size();
         first += kPrintedRowsPerGroup, ++group) {
        const int x0 = int(group) * groupWidth;
        int y = 28 * m.L;
        for (qsizetype k = 0; k < t.header.size(); ++k)
            TextAt(p, x0 + int(columns[k] * groupWidth), y, t.header[k]);
        const size_t end = std::min(t.rows.size(), first + kPrintedRowsPerGroup);
        for (size_t r = first; r < end; ++r) {
            y += m.L;
            for (qsizetype k = 0; k < t.rows[r].size(); ++k)
                TextAt(p, x0 + int(columns[k] * groupWidth), y, t.rows[r][k]);
        }
    }
}

} // namespace

SampleHarmonics AnalyseHarmonics(std::span<const FloatPair> wave, std::array<ChannelKind, 2> kinds,
                                 const std::array<QString, 2>& units, const QString& heading) {
    SampleHarmonics h;
    h.heading = heading;
    h.captured = !wave.empty();
    if (!h.captured)
        return h;
    const auto spectra = PowerAnalysis(wave, kinds).Spectra();
    for (int ch = 0; ch < 2; ++ch)
        if (kinds[size_t(ch)] != ChannelKind::Absent)
            h.channels.push_back({ch, units[size_t(ch)], spectra[size_t(ch)]});
    return h;
}

HarmonicCells OrderCells(const HarmonicOrder& order) {
    return {QString::asprintf("%.2f", order.amplitude), QString::asprintf("%.2f", order.percent),
            QString::asprintf("%.1f", order.phaseDeg)};
}

QString ThdText(const std::optional<HarmonicSpectrum>& spectrum) {
    return spectrum ? QString::asprintf("%.2f", spectrum->thdPercent) : QStringLiteral("--");
}

QString ChannelTitle(const HarmonicsChannel& c) {
    return QStringLiteral("CH%1 (%2)").arg(c.ch + 1).arg(c.unit);
}

TextTable OrdersTable(const HarmonicsChannel& c) {
    TextTable t;
    t.header << QStringLiteral("Order") << QStringLiteral("Amplitude (%1)").arg(c.unit)
             << QStringLiteral("%") << QStringLiteral("Phase (\u00b0)");
    if (!c.spectrum)
        return t;
    for (int k = 0; k < c.spectrum->orders; ++k) {
        const HarmonicCells cells = OrderCells(c.spectrum->order[size_t(k)]);
        t.rows.push_back({QString::number(k + 1), cells.amplitude, cells.percent, cells.phase});
    }
    return t;
}

QString HarmonicsText(const SampleHarmonics& h) {
    QString out;
    if (!h.heading.isEmpty())
        out += h.heading + QLatin1Char('\n');
    if (!h.captured)
        return out + QStringLiteral("No waveform\t--\n");
    for (size_t i = 0; i < h.channels.size(); ++i) {
        const HarmonicsChannel& c = h.channels[i];
        if (i)
            out += QLatin1Char('\n');
        out += ChannelTitle(c) + QStringLiteral("\tTHD (%)\t") + ThdText(c.spectrum) +
               QLatin1Char('\n');
        if (c.spectrum)
            out += OrdersTable(c).ToTabSeparated();
    }
    return out;
}

void PaintHarmonicsChart(QPainter& p, const QRect& area, const HarmonicSpectrum& s,
                         const QColor& bar) {
    const QFontMetrics fm = p.fontMetrics();
    const QRect plot = area.adjusted(fm.horizontalAdvance(QStringLiteral("100 %")) + fm.height(),
                                     fm.height() + 2, -fm.height(), -(fm.height() + 4));
    if (plot.width() < kMaxHarmonicOrder || plot.height() < 10 || s.orders < 1)
        return;
    double highest = 0;
    for (int k = 1; k < s.orders; ++k)
        highest = std::max(highest, s.order[size_t(k)].percent);
    const double top = NiceCeiling(std::max(1.0, highest * 1.1));

    p.save();
    const QPen axisPen(p.pen().color(), 0);
    p.setPen(axisPen);
    for (const double v : {0.0, top / 2, top}) {
        const int y = plot.bottom() - int(std::lround(v / top * plot.height()));
        p.setPen(QPen(Qt::lightGray, 0, v == 0.0 ? Qt::SolidLine : Qt::DotLine));
        p.drawLine(plot.left(), y, plot.right(), y);
        p.setPen(axisPen);
        const QString label = PercentLabel(v);
        p.drawText(QPoint(plot.left() - fm.horizontalAdvance(label) - fm.height() / 3,
                          y + fm.ascent() / 2),
                   label);
    }
    p.drawLine(plot.bottomLeft(), plot.topLeft());

    const double slot = double(plot.width()) / kMaxHarmonicOrder;
    const int width = std::max(1, int(slot * 0.6));
    for (int k = 0; k < s.orders; ++k) {
        const double percent = s.order[size_t(k)].percent;
        const int x = plot.left() + int(std::lround((k + 0.5) * slot)) - width / 2;
        const int height = int(std::lround(std::min(percent, top) / top * plot.height()));
        p.fillRect(QRect(x, plot.bottom() - height, width, height), bar);
        if (percent > top) {
            // The cut bar: a gap near its top and its value above it.
            p.fillRect(QRect(x, plot.top() + height / 12, width, std::max(2, height / 40)),
                       Qt::white);
            p.drawText(QPoint(x + width + fm.height() / 3, plot.top() + fm.ascent()),
                       PercentLabel(percent));
        }
        const int order = k + 1;
        if (order == 1 || order % 5 == 0) {
            const QString label = QString::number(order);
            p.drawText(QPoint(x + width / 2 - fm.horizontalAdvance(label) / 2,
                              plot.bottom() + 2 + fm.ascent()),
                       label);
        }
    }
    p.restore();
}

ReportPages HarmonicsReport(const std::shared_ptr<const SampleHarmonics>& h) {
    ReportPages pages;
    pages.count = std::max(1, int(h->channels.size()));
    pages.paint = [h](QPainter& p, QSize printable, int page) {
        const PageMetrics m(printable);
        p.save();
        p.setBackgroundMode(Qt::TransparentMode);
        p.fillRect(QRect(0, 0, m.W, m.H), Qt::white);
        p.setPen(Qt::black);
        p.setFont(ReportTitleFont(m.L));
        TextAt(p, m.W / 2 - 6 * m.C, 0, QStringLiteral("Harmonics"));
        const size_t k = size_t(page - 1);
        if (k < h->channels.size()) {
            PaintChannelPage(p, m, *h, h->channels[k]);
        } else {
            p.setFont(ReportTextFont(m.L));
            TextAt(p, 0, 3 * m.L, h->heading);
            TextAt(p, 0, 5 * m.L, QStringLiteral("No waveform to analyse."));
        }
        p.restore();
    };
    return pages;
}
