#pragma once
// The statistics page of the graph report: the figures of every channel, the
// supply-voltage summary and the list of voltage events, continued on further pages
// when the events do not fit.

#include "data/RecordingStatistics.h"
#include "graph/Report.h"

#include <memory>

// Pages the statistics take on a printable area of `printable`: at least 1.
int StatisticsPageCount(const RecordingStatistics& s, QSize printable);
// Page `page` (1-based) of the statistics.
void PaintStatisticsPage(QPainter& p, QSize printable, const RecordingStatistics& s, int page);
// `report`'s pages followed by the statistics pages. The page count is that of a
// landscape A4 page at 300 dpi: the printed pages have the proportions of the page,
// and the lines are a fixed share of its height, so any page holds the same lines.
ReportPages WithStatisticsPages(ReportPages report,
                                const std::shared_ptr<const RecordingStatistics>& s);
