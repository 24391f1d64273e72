#pragma once
// The transient-record list ("TR File List"): a modeless window over the
// instrument pane while the graph shows a stored transient record. A double-click
// on a record shows it; Escape, Enter and the close button end the window.

#include "ui/CListDlg.h"

class TrFileListModel;
class QTableView;

class CTrFileListDlg : public CListDlg {
    Q_OBJECT
public:
    static constexpr int kEndCode = 255;
    CTrFileListDlg(TrFileListModel& model, QWidget* parent = nullptr);

    // The double-click: the selected record, if any, is shown.
    void PickSelected();

signals:
    // Record n (0-based) was double-clicked.
    void recordPicked(int record);

private:
    TrFileListModel& m_model;
};
