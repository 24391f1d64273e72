#include "shell/DataListModel.h"

#include <limits>

namespace {
// A view counts rows in int; a list longer than that is cut at its limit.
int ClampRows(int64_t rows) {
    return int(std::clamp<int64_t>(rows, 0, std::numeric_limits<int>::max()));
}
} // namespace

DataListModel::DataListModel(std::function<DataListView()> source, QObject* parent)
    : QAbstractTableModel(parent), m_source(std::move(source)) {
    m_view = m_source();
    m_rows = ClampRows(DataListRowCount(m_view));
}

void DataListModel::Refresh() {
    DataListView next = m_source();
    const int rows = ClampRows(DataListRowCount(next));
    const bool sameShape = next.set == m_view.set && next.mode == m_view.mode &&
                           next.firstPoint == m_view.firstPoint && next.ch1 == m_view.ch1 &&
                           next.ch2 == m_view.ch2 && next.ch1Unit == m_view.ch1Unit &&
                           next.ch2Unit == m_view.ch2Unit;
    if (sameShape && IsRealTimeMode(next.mode) && rows >= m_rows) {
        // Live data grow at the end: the rows shown keep their place and selection.
        m_view = std::move(next);
        if (rows > m_rows) {
            beginInsertRows({}, m_rows, rows - 1);
            m_rows = rows;
            endInsertRows();
        }
        // The newest value of the last row may have been rewritten in place.
        if (m_rows > 0)
            emit dataChanged(index(m_rows - 1, 0), index(m_rows - 1, kDataListColumns - 1));
        return;
    }
    beginResetModel();
    const bool headings = next.mode != m_view.mode;
    m_view = std::move(next);
    m_rows = rows;
    endResetModel();
    if (headings)
        emit headerDataChanged(Qt::Horizontal, 0, kDataListColumns - 1);
}

QString DataListModel::Caption() const {
    return m_view.mode == GraphMode::None ? DataListInitialCaption() : DataListCaption(m_view.mode);
}

int DataListModel::ColumnWidth(int column) const {
    if (column < 0 || column >= kDataListColumns)
        return 0;
    return DataListColumnsOf(m_view.mode)[size_t(column)].width;
}

int DataListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_rows;
}

int DataListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kDataListColumns;
}

QVariant DataListModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= m_rows)
        return {};
    return DataListCell(m_view, index.row(), index.column());
}

QVariant DataListModel::headerData(int section, Qt::Orientation o, int role) const {
    if (o != Qt::Horizontal || section < 0 || section >= kDataListColumns)
        return {};
    if (role == Qt::DisplayRole)
        return DataListColumnsOf(m_view.mode)[size_t(section)].heading;
    if (role == Qt::TextAlignmentRole)
        return int(Qt::AlignLeft | Qt::AlignVCenter);
    return {};
}

TrFileListModel::TrFileListModel(const MeasurementSet& set, QObject* parent)
    : QAbstractTableModel(parent), m_set(set), m_rows(TrFileListRowCount(set)) {}

void TrFileListModel::Refresh() {
    beginResetModel();
    m_rows = TrFileListRowCount(m_set);
    endResetModel();
}

int TrFileListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_rows;
}

int TrFileListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kTrListColumns;
}

QVariant TrFileListModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= m_rows)
        return {};
    return TrFileListCell(m_set, index.row(), index.column());
}

QVariant TrFileListModel::headerData(int section, Qt::Orientation o, int role) const {
    if (o != Qt::Horizontal || section < 0 || section >= kTrListColumns)
        return {};
    if (role == Qt::DisplayRole)
        return TrFileListColumns()[size_t(section)].heading;
    if (role == Qt::TextAlignmentRole)
        return int(Qt::AlignLeft | Qt::AlignVCenter);
    return {};
}
