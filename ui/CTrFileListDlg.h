#pragma once
// The transient-record list ("TR File List"): a modeless window over the
// instrument pane while the graph shows a stored transient record. A double-click
// on a record shows it; Escape, Enter and the close button end the window.

#include "ui/CListDlg.h"

#include <functional>

class TrFileListModel;
class QTableView;

class CTrFileListDlg : public CListDlg {
    Q_OBJECT
public:
    static constexpr int kEndCode = 255;
    CTrFileListDlg(TrFileListModel& model, QWidget* parent = nullptr);

    // Record n (0-based) was double-clicked.
    std::function<void(int record)> onRecordPicked;
    // The double-click: the selected record, if any, is shown.
    void PickSelected();

private:
    TrFileListModel& m_model;
};
