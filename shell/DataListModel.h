#pragma once
// The two list windows' models: virtual tables that hold only a row count and
// format each cell from the live data when the view asks for it (graph/DataList.h
// has the texts). Below the widgets; the list windows put a QTableView on them.

#include "graph/DataList.h"

#include <QAbstractTableModel>

#include <functional>

class DataListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    // `source` tells what the graph shows now; it is asked, and answers at once, on
    // every refresh.
    explicit DataListModel(std::function<DataListView()> source, QObject* parent = nullptr);

    // Reads the row count and mode again: a grown real-time series adds rows (the
    // view keeps its place), anything else rebuilds the list.
    void Refresh();
    const DataListView& View() const { return m_view; }
    QString Caption() const;
    int ColumnWidth(int column) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation o, int role = Qt::DisplayRole) const override;

private:
    std::function<DataListView()> m_source;
    DataListView m_view;
    int m_rows = 0;
};

class TrFileListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit TrFileListModel(const MeasurementSet& set, QObject* parent = nullptr);

    // Reads the record count again.
    void Refresh();

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation o, int role = Qt::DisplayRole) const override;

private:
    const MeasurementSet& m_set;
    int m_rows = 0;
};
