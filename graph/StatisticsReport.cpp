#include "graph/StatisticsReport.h"

#include "base/LocalTime.h"
#include "data/StatisticsText.h"

#include <QPainter>

#include <algorithm>

namespace {

void TextAt(QPainter& p, int x, int y, const QString& text) {
    p.drawText(QPoint(x, y + p.fontMetrics().ascent()), text);
}

// Lines of a page below its title, one line step each.
int LinesPerPage(const PageMetrics& m) {
    return std::max(10, (m.H - 3 * m.L) / m.L - 1);
}

// Where the event rows of each page start: page 1 holds the figures first.
struct EventLayout {
    int firstPageEvents = 0; // events that fit under the figures
    int perPage = 0;         // events on each later page
};

EventLayout LayoutOf(const RecordingStatistics& s, const PageMetrics& m) {
    const TextTable figures = FiguresTable(s);
    const int lines = LinesPerPage(m);
    // Figures with their header, a blank line, the events heading and its header.
    const int used = int(figures.rows.size()) + 1 + 1 + 2;
    return {std::max(0, lines - used), lines - 1};
}

void PaintRows(QPainter& p, const TextTable& t, const std::vector<int>& x, int y, int step,
               size_t first, size_t count) {
    for (qsizetype k = 0; k < t.header.size() && size_t(k) < x.size(); ++k)
        TextAt(p, x[size_t(k)], y, t.header[k]);
    for (size_t r = first; r < first + count && r < t.rows.size(); ++r) {
        y += step;
        for (qsizetype k = 0; k < t.rows[r].size() && size_t(k) < x.size(); ++k)
            TextAt(p, x[size_t(k)], y, t.rows[r][k]);
    }
}

} // namespace

int StatisticsPageCount(const RecordingStatistics& s, QSize printable) {
    const PageMetrics m(printable);
    const EventLayout l = LayoutOf(s, m);
    const int events = int(ListedEvents(s).size());
    const int rest = std::max(0, events - l.firstPageEvents);
    return 1 + (rest + l.perPage - 1) / l.perPage;
}

void PaintStatisticsPage(QPainter& p, QSize printable, const RecordingStatistics& s, int page) {
    const PageMetrics m(printable);
    p.save();
    p.setBackgroundMode(Qt::TransparentMode);
    p.setPen(Qt::black);
    p.fillRect(QRect(0, 0, m.W, m.H), Qt::white);
    p.setFont(ReportTitleFont(m.L));
    TextAt(p, m.W / 2 - 6 * m.C, 0,
           page == 1 ? QStringLiteral("Statistics") : QStringLiteral("Statistics (continued)"));
    p.setFont(ReportTextFont(m.L));
    int y = 3 * m.L;
    const EventLayout l = LayoutOf(s, m);
    const TextTable events = EventsTable(ListedEvents(s));
    const std::vector<int> eventX = {0, 4 * m.C, 10 * m.C, 20 * m.C, 26 * m.C};
    if (page == 1) {
        TextAt(p, 0, y,
               QStringLiteral("Recording from %1, interval %2 s, %3 samples")
                   .arg(FormatDateTime(s.start), QString::number(s.intervalS),
                        QString::number(s.count)));
        y += 2 * m.L;
        const TextTable figures = FiguresTable(s);
        PaintRows(p, figures, {0, int(0.3 * m.W), int(0.65 * m.W)}, y, m.L, 0, figures.rows.size());
        y += (int(figures.rows.size()) + 2) * m.L;
        if (events.rows.empty()) {
            TextAt(p, 0, y, s.channels.empty() ? QString() : QStringLiteral("Events: none"));
        } else {
            TextAt(p, 0, y, QStringLiteral("Events (%1)").arg(events.rows.size()));
            PaintRows(p, events, eventX, y + m.L, m.L, 0, size_t(l.firstPageEvents));
        }
    } else {
        const size_t first = size_t(l.firstPageEvents) + size_t(page - 2) * size_t(l.perPage);
        PaintRows(p, events, eventX, y, m.L, first, size_t(l.perPage));
    }
    p.restore();
}

ReportPages WithStatisticsPages(ReportPages report,
                                const std::shared_ptr<const RecordingStatistics>& s) {
    // A4 landscape at 300 dpi, in device pixels; only the proportions and the line
    // count matter, and those follow the page.
    const QSize reference(3508, 2480);
    const int before = report.count;
    const int extra = StatisticsPageCount(*s, reference);
    ReportPages r;
    r.count = before + extra;
    r.paint = [first = std::move(report.paint), s, before](QPainter& p, QSize printable, int page) {
        if (page <= before)
            first(p, printable, page);
        else
            PaintStatisticsPage(p, printable, *s, page - before);
    };
    return r;
}
