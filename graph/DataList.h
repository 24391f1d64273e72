#pragma once
// The rows of the two list windows as text, computed from the live data when a
// cell is asked for: the data list (one row per point of what the graph shows)
// and the transient-record list. The list windows, the printed list report, the
// CSV export and the command-line tool all read these, so every one of them shows
// the same texts. Nothing is copied: a list of a full logger memory costs its row
// count and nothing more.

#include "data/MeasurementSet.h"
#include "data/RealTimeCsv.h"
#include "graph/GraphModel.h"

#include <QString>

#include <array>
#include <cstdint>

class QIODevice;

// What the data list reads from the graph and the set. The set is referenced, not
// copied, and must outlive the view.
struct DataListView {
    const MeasurementSet* set = nullptr;
    GraphMode mode = GraphMode::None;
    int32_t firstPoint = 1; // 1-based first point of the shown window (transient record)
    bool ch1 = false, ch2 = false;
    QString ch1Unit, ch2Unit;
    int rtInterval = 1; // seconds between real-time points
    bool realTimeRunning = false;
};
DataListView DataListViewOf(const GraphModel& g, const GraphInputs& in);

struct ListColumn {
    QString heading;
    int width = 0; // pixels
};
inline constexpr int kDataListColumns = 4;
inline constexpr int kTrListColumns = 3;

// Initial caption of the data list window, before it knows its mode.
QString DataListInitialCaption();
// "<mode title> Data List".
QString DataListCaption(GraphMode mode);
std::array<ListColumn, kDataListColumns> DataListColumnsOf(GraphMode mode);
int64_t DataListRowCount(const DataListView& v);
// Text of row `row` (0-based) in column `col` (0 to 3), as the window shows it.
QString DataListCell(const DataListView& v, int64_t row, int col);
// Whether the list follows the newest point: a real-time series while a run goes on.
bool DataListFollowsNewest(const DataListView& v);

// The transient-record list.
QString TrFileListCaption();
std::array<ListColumn, kTrListColumns> TrFileListColumns();
int TrFileListRowCount(const MeasurementSet& s);
QString TrFileListCell(const MeasurementSet& s, int row, int col);
// Points (1-based, inclusive) that picking record `record` shows.
inline int32_t TrRecordFirstPoint(int record) {
    return kTrPoints * record + 1;
}
inline int32_t TrRecordLastPoint(int record) {
    return kTrPoints * record + kTrPoints;
}

// CSV of the data list's rows for a spreadsheet: a header line
// "no,time,ch1,ch1_unit,ch2,ch2_unit", then one line per row with the local time in
// ISO 8601 with its UTC offset, numbers with a decimal point whatever the locale,
// and empty fields for a channel that is absent. Lines end in CRLF.
bool WriteDataListCsv(const DataListView& v, QIODevice& out);
// Writes the CSV to `path` through a temporary file that replaces it only when
// complete; false with a reason in `error` otherwise.
bool SaveDataListCsv(const DataListView& v, const QString& path, QString* error = nullptr);
// ISO 8601 local time with offset, e.g. "2010-02-03T14:05:00+01:00".
