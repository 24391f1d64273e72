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
    Table()->setFrameShape(QFrame::NoFrame);
    const auto columns = TrFileListColumns();
    for (int c = 0; c < kTrListColumns; ++c)
        Table()->setColumnWidth(c, columns[size_t(c)].width);
    connect(Table(), &QTableView::doubleClicked, this, [this] { PickSelected(); });
}

void CTrFileListDlg::PickSelected() {
    const QModelIndexList rows =
        Table()->selectionModel() ? Table()->selectionModel()->selectedRows() : QModelIndexList();
    if (rows.isEmpty() || m_model.rowCount() == 0)
        return;
    const int record = rows.first().row();
    if (record < 0 || record >= m_model.rowCount())
        return;
    emit recordPicked(record);
}
