#include "graph/Report.h"

#include "data/MeasurementSet.h"

#include <QFontMetrics>
#include <QPageLayout>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>

#include <algorithm>
#include <cmath>

namespace {

// Text whose top (not its baseline) is at y, as the report positions every line.
void TextAt(QPainter& p, int x, int y, const QString& text) {
    p.drawText(QPoint(x, y + p.fontMetrics().ascent()), text);
}

// The P(W) graph's information bar holds the run's energy in its second row; the
// printed lines carry it below the trace's extremes.
bool HasEnergyLine(const ReportInfo& info) {
    return info.mode == GraphMode::RealTimeActivePower && !info.texts.energy.isEmpty() &&
           (info.ch1 != info.ch2);
}

int InfoLineCount(const ReportInfo& info) {
    if (HasEnergyLine(info))
        return 4;
    return info.ch1 && info.ch2 ? 4 : info.ch1 || info.ch2 ? 3 : 2;
}

// The information lines from `top`: mode and rate, start and count, the extremes
// of the channels shown, the run's energy under P(W). Returns the number of lines
// written.
int InfoLines(QPainter& p, const PageMetrics& m, const ReportInfo& info, int top) {
    const RecInfo& t = info.texts;
    const int x2 = m.SecondColumn();
    TextAt(p, 0, top + m.L, QStringLiteral("MODE: ") + t.title);
    TextAt(p, x2, top + m.L, QStringLiteral("SAMPLING RATE: ") + t.rate);
    TextAt(p, 0, top + 2 * m.L, QStringLiteral("START TIME: ") + t.start);
    TextAt(p, x2, top + 2 * m.L, QStringLiteral("DATANO: ") + t.count);
    if (info.ch1 && info.ch2) {
        TextAt(p, 0, top + 3 * m.L, QStringLiteral("CH1 DATA MAX: ") + t.ch1Max);
        TextAt(p, x2, top + 3 * m.L, QStringLiteral("CH1 DATA MIN: ") + t.ch1Min);
        TextAt(p, 0, top + 4 * m.L, QStringLiteral("CH2 DATA MAX: ") + t.ch2Max);
        TextAt(p, x2, top + 4 * m.L, QStringLiteral("CH2 DATA MIN: ") + t.ch2Min);
        return 4;
    }
    if (info.ch1 || info.ch2) {
        const QString name = info.ch1 ? QStringLiteral("CH1") : QStringLiteral("CH2");
        TextAt(p, 0, top + 3 * m.L,
               name + QStringLiteral(" MAX: ") + (info.ch1 ? t.ch1Max : t.ch2Max));
        TextAt(p, x2, top + 3 * m.L,
               name + QStringLiteral(" MIN: ") + (info.ch1 ? t.ch1Min : t.ch2Min));
        if (!HasEnergyLine(info))
            return 3;
        TextAt(p, 0, top + 4 * m.L, QStringLiteral("ENERGY: ") + t.energy);
        return 4;
    }
    return 2;
}

} // namespace

ReportInfo ReportInfoOf(const GraphModel& g) {
    ReportInfo r;
    r.mode = g.Mode();
    r.texts = g.Info();
    r.ch1 = g.ChannelPresent(0) == 1;
    // S(VA), P(W) and PF are one trace, its extremes in the CH1 texts.
    r.ch2 = g.ChannelPresent(1) == 1 && !IsSingleTraceMode(g.Mode());
    r.infoShown = g.InfoBarHeight() != 0;
    return r;
}

PageMetrics::PageMetrics(QSize printable)
    : W(printable.width()), H(printable.height()), L(H / 70), C(W / 50) {}

QFont ReportTextFont(int lineHeight) {
    QFont f(QStringLiteral("Arial"));
    f.setStyleHint(QFont::SansSerif);
    f.setWeight(QFont::Weight(200));
    // The line height is the font's cell height (ascent + descent, about 1.15 em
    // for Arial), so that neighbouring rows never touch.
    f.setPixelSize(std::max(1, lineHeight * 87 / 100));
    return f;
}

QFont ReportTitleFont(int lineHeight) {
    return ReportTextFont(2 * lineHeight);
}

int FirstPageRows(GraphMode mode) {
    return IsWaveformMode(mode) ? kRowsPerPage : 55;
}

int ListReportPageCount(int64_t rows, GraphMode mode) {
    const int d = FirstPageRows(mode);
    if (rows <= d)
        return 1;
    return int(1 + (rows - d + kRowsPerPage - 1) / kRowsPerPage);
}

PageRows ListReportRows(int64_t rows, GraphMode mode, int page) {
    const int d = FirstPageRows(mode);
    PageRows r;
    if (page < 1 || rows <= 0)
        return r;
    r.first = page == 1 ? 0 : d + int64_t(page - 2) * kRowsPerPage;
    const int64_t limit = page == 1 ? d : kRowsPerPage;
    r.count = std::clamp<int64_t>(rows - r.first, 0, limit);
    if (r.count == 0)
        r.first = 0;
    return r;
}

std::array<int, kDataListColumns> ListReportColumnX(GraphMode mode, int C) {
    std::array<int, kDataListColumns> x{};
    int chars = 0;
    const auto columns = DataListColumnsOf(mode);
    for (size_t k = 0; k < columns.size(); ++k) {
        chars += int(columns[k].heading.size());
        x[k] = 3 * C * chars;
    }
    return x;
}

void PaintListReportPage(QPainter& p, QSize printable, const DataListView& list,
                         const ReportInfo& info, int page, const QString& date) {
    const PageMetrics m(printable);
    p.save();
    p.setBackgroundMode(Qt::TransparentMode);
    p.setPen(Qt::black);
    // Only the list's texts: the screen's graph is not copied under them, where
    // the rows would be written over its traces.
    p.fillRect(QRect(0, 0, m.W, m.H), Qt::white);

    const auto columns = DataListColumnsOf(list.mode);
    const auto x = ListReportColumnX(list.mode, m.C);

    p.setFont(ReportTitleFont(m.L));
    TextAt(p, m.W / 2 - 6 * m.C, 0, QStringLiteral("Test Report"));

    p.setFont(ReportTextFont(m.L));
    const int T = 2 * m.C;
    int headingY = T + m.L;
    int firstRowLine = 2;
    if (page == 1 && !IsWaveformMode(info.mode)) {
        InfoLines(p, m, info, T);
        const int y = int(5.5 * m.L + T);
        p.drawLine(0, y, m.W, y);
        headingY = T + 6 * m.L;
        firstRowLine = 7;
    }
    for (size_t k = 0; k < columns.size(); ++k)
        TextAt(p, x[k], headingY, columns[k].heading);

    const int64_t rows = DataListRowCount(list);
    const PageRows r = ListReportRows(rows, list.mode, page);
    for (int64_t i = 0; i < r.count; ++i) {
        const int y = T + int(i + firstRowLine) * m.L;
        for (int k = 0; k < kDataListColumns; ++k) {
            const QString text = DataListCell(list, r.first + i, k);
            if (!text.isEmpty())
                TextAt(p, x[size_t(k)], y, text);
        }
    }

    TextAt(p, m.W / 2 - 5 * m.C, m.H - m.L,
           date + QStringLiteral("  page") + QString::number(page));
    p.restore();
}

QSize GraphReportFrame(QSize printable, QSize screen) {
    if (screen.isEmpty() || printable.isEmpty())
        return {};
    // The window's longer side along the page's longer side: text and lines come
    // out the same size on paper whichever way the page is turned.
    const int64_t along = std::max(screen.width(), screen.height());
    const int64_t W = printable.width(), H = printable.height();
    auto across = [](int64_t n, int64_t num, int64_t den) {
        return int(std::clamp<int64_t>((n * num + den / 2) / den, 1, 1 << 20));
    };
    if (W >= H)
        return QSize(int(along), across(along, H, W));
    return QSize(across(along, W, H), int(along));
}

void PaintGraphReportPage(QPainter& p, QSize printable, const GraphModel& model,
                          const GraphInputs& in, QSize screen, const RenderOptions& o,
                          const ReportInfo& info) {
    const PageMetrics m(printable);
    p.save();
    const bool lines = info.infoShown && !IsWaveformMode(info.mode);
    const QSize frame = GraphReportFrame(printable, screen);
    if (!frame.isEmpty()) {
        // The screen's paint routine at the page's proportions, scaled by one
        // factor: circles stay round and text keeps its shape in portrait and in
        // landscape.
        GraphModel copy = model;
        const double k = double(m.W) / frame.width();
        if (lines) {
            // The lines go over the information bar's place: on a tall page its
            // 120 window pixels are shorter than the lines, so it grows to hold them.
            const int needed = int(std::ceil((InfoLineCount(info) + 1.5) * m.L / k));
            copy.SetInfoBarHeight(std::max(copy.InfoBarHeight(), needed));
        }
        copy.PrepareFrame(frame.width(), frame.height(), in);
        p.save();
        p.scale(k, k);
        PaintGraph(p, copy, in, o);
        p.restore();
    }
    if (lines) {
        p.setBackgroundMode(Qt::TransparentMode);
        p.setPen(Qt::black);
        p.setFont(ReportTextFont(m.L));
        InfoLines(p, m, info, 0);
    }
    p.restore();
}

ReportPages ListReport(const DataListView& list, const ReportInfo& info, const QString& date) {
    ReportPages r;
    r.count = ListReportPageCount(DataListRowCount(list), list.mode);
    r.paint = [list, info, date](QPainter& p, QSize printable, int page) {
        PaintListReportPage(p, printable, list, info, page, date);
    };
    return r;
}

ReportPages GraphReport(const std::shared_ptr<const GraphModel>& model, const GraphInputs& in,
                        QSize screen, const RenderOptions& o, const ReportInfo& info) {
    ReportPages r;
    r.count = 1;
    const MeasurementSet* set = &in.set;
    const AppSettings* settings = &in.settings;
    const bool running = in.realTimeRunning;
    r.paint = [model, set, settings, running, screen, o, info](QPainter& p, QSize printable, int) {
        const GraphInputs inputs{*set, *settings, running};
        PaintGraphReportPage(p, printable, *model, inputs, screen, o, info);
    };
    return r;
}

bool WriteReportPdf(const ReportPages& pages, const QString& path, const QPageSize& size,
                    bool landscape, int dpi, QString* error) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    {
        QPdfWriter pdf(&file);
        pdf.setResolution(dpi);
        pdf.setPageLayout(QPageLayout(size,
                                      landscape ? QPageLayout::Landscape : QPageLayout::Portrait,
                                      QMarginsF(10, 10, 10, 10), QPageLayout::Millimeter));
        pdf.setCreator(QStringLiteral("Orvex Datalogger"));
        QPainter p;
        if (!p.begin(&pdf)) {
            if (error)
                *error = QStringLiteral("cannot start the PDF");
            file.cancelWriting();
            return false;
        }
        const QSize printable = pdf.pageLayout().paintRectPixels(dpi).size();
        for (int page = 1; page <= pages.count; ++page) {
            if (page > 1)
                pdf.newPage();
            pages.paint(p, printable, page);
        }
        p.end();
    }
    if (!file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}
