#pragma once
// The data list window ("<mode> Data List"): a modeless window over the graph
// view, below its information bar, with a virtual table of what the graph shows.
// Escape, Enter and the close button end it. The rows come from DataListModel.

#include "ui/CListDlg.h"

class DataListModel;
class QTableView;

class CDataListDlg : public CListDlg {
    Q_OBJECT
public:
    static constexpr int kEndCode = 238;
    CDataListDlg(DataListModel& model, QWidget* parent = nullptr);

    // Caption and column widths from the model (after a rebuild).
    void ApplyColumns();
    // Places the window's outer frame on `screenRect` (global coordinates).
    void PlaceOnScreen(const QRect& screenRect);

private:
    DataListModel& m_model;
};

// Shared by both list windows: a table view that never measures its contents
// (fixed row height, no resize to contents), grid lines, whole-row selection.
void SetUpVirtualTable(QTableView* table);
// Moves a top-level window so that its outer frame covers `screenRect`.
void PlaceFrameOnScreen(QWidget* window, const QRect& screenRect);
