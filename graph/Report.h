#pragma once
// The two printed reports, laid out in device pixels of the page so that they
// scale with the printer's resolution: the graph report (the graph over the whole
// page, recording information over its top) and the list report "Test Report"
// (the rows of the data list, page by page). Both paint onto any QPainter: a
// printer, a PDF file, a preview image. Without a window: the list report reads
// the same rows the data list window shows (graph/DataList.h).

#include "graph/DataList.h"
#include "graph/GraphRenderer.h"

#include <QFont>
#include <QPageSize>
#include <QSize>
#include <QString>

#include <functional>
#include <memory>

class QPainter;

// Recording information printed over both reports.
struct ReportInfo {
    GraphMode mode = GraphMode::None;
    RecInfo texts;
    bool ch1 = false, ch2 = false;
    bool infoShown = true; // the information bar is shown (graph report only)
};
ReportInfo ReportInfoOf(const GraphModel& g);

// Page metrics of a printable area of W x H device pixels.
struct PageMetrics {
    explicit PageMetrics(QSize printable);
    int W, H;
    int L; // line height, H / 70
    int C; // character step, W / 50
    int SecondColumn() const { return int(0.4 * W); }
};
QFont ReportTextFont(int lineHeight);
QFont ReportTitleFont(int lineHeight);

// Rows on page 1 of the list report: 60 for the one-record modes, which print no
// information block, 55 otherwise. Later pages hold 60.
int FirstPageRows(GraphMode mode);
inline constexpr int kRowsPerPage = 60;
int ListReportPageCount(int64_t rows, GraphMode mode);
struct PageRows {
    int64_t first = 0;
    int64_t count = 0;
};
PageRows ListReportRows(int64_t rows, GraphMode mode, int page); // page 1-based
// x of each data list column: 3 C times the heading lengths up to and including it.
std::array<int, kDataListColumns> ListReportColumnX(GraphMode mode, int C);

// One page of the list report; `date` is the footer's "dd/mm/yy".
void PaintListReportPage(QPainter& p, QSize printable, const DataListView& list,
                         const ReportInfo& info, int page, const QString& date);
// The size the graph report lays the graph out at: the printable area's
// proportions, its longer side as long as the window's longer side (empty when
// either size is empty).
QSize GraphReportFrame(QSize printable, QSize screen);
// The graph report: the graph as the screen paints it, laid out at the page's
// proportions (GraphReportFrame) and scaled by one factor to the whole page,
// with the information lines over its top. Paints from a copy of the model, so
// printing never disturbs the view's layout or zoom.
void PaintGraphReportPage(QPainter& p, QSize printable, const GraphModel& model,
                          const GraphInputs& in, QSize screen, const RenderOptions& o,
                          const ReportInfo& info);

// A report as pages: how many, and how to paint page n (1-based) onto a printable
// area. The printer, the preview and the PDF writer all take this.
struct ReportPages {
    int count = 0;
    std::function<void(QPainter&, QSize printable, int page)> paint;
};
// `list` and the set it references must outlive the pages.
ReportPages ListReport(const DataListView& list, const ReportInfo& info, const QString& date);
ReportPages GraphReport(const std::shared_ptr<const GraphModel>& model, const GraphInputs& in,
                        QSize screen, const RenderOptions& o, const ReportInfo& info);

// Writes pages 1..count as a PDF at `dpi`, through a temporary file that replaces
// `path` only when complete.
bool WriteReportPdf(const ReportPages& pages, const QString& path, const QPageSize& size,
                    bool landscape, int dpi, QString* error = nullptr);
