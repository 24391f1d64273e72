#include "ui/CTrFileListDlg.h"

#include "shell/DataListModel.h"
#include "ui/CDataListDlg.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QTableView>
#include <QVBoxLayout>

CTrFileListDlg::CTrFileListDlg(TrFileListModel& model, QWidget* parent)
    // 340 x 530: 183 x 302 dialog units of the face.
    : CListDlg(model, kEndCode, "trFileListDlg", 11, QSize(340, 530), "trFileList", parent),
      m_model(model) {
    setWindowTitle(TrFileListCaption());
    m_table->setFrameShape(QFrame::NoFrame);
    const auto columns = TrFileListColumns();
    for (int c = 0; c < kTrListColumns; ++c)
        m_table->setColumnWidth(c, columns[size_t(c)].width);
    connect(m_table, &QTableView::doubleClicked, this, [this] { PickSelected(); });
}

void CTrFileListDlg::PickSelected() {
    const QModelIndexList rows =
        m_table->selectionModel() ? m_table->selectionModel()->selectedRows() : QModelIndexList();
    if (rows.isEmpty() || m_model.rowCount() == 0)
        return;
    const int record = rows.first().row();
    if (record < 0 || record >= m_model.rowCount())
        return;
    if (onRecordPicked)
        onRecordPicked(record);
}
