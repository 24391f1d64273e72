#include "ui/CTrFileListDlg.h"

#include "shell/DataListModel.h"
#include "ui/CDataListDlg.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QTableView>
#include <QVBoxLayout>

CTrFileListDlg::CTrFileListDlg(TrFileListModel& model, QWidget* parent)
    : QDialog(parent), m_model(model) {
    setObjectName(QStringLiteral("trFileListDlg"));
    setWindowTitle(TrFileListCaption());
    setModal(false);
    QFont f(QStringLiteral("Arial"));
    f.setPointSize(11);
    setFont(f);
    resize(340, 530); // 183 x 302 dialog units of that face
    m_table = new QTableView(this);
    m_table->setObjectName(QStringLiteral("trFileList"));
    SetUpVirtualTable(m_table);
    m_table->setFrameShape(QFrame::NoFrame);
    m_table->setModel(&m_model);
    const auto columns = TrFileListColumns();
    for (int c = 0; c < kTrListColumns; ++c)
        m_table->setColumnWidth(c, columns[size_t(c)].width);
    m_table->installEventFilter(this);
    connect(m_table, &QTableView::doubleClicked, this, [this] { PickSelected(); });
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_table);
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

bool CTrFileListDlg::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_table && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Escape || key == Qt::Key_Return || key == Qt::Key_Enter) {
            done(kEndCode);
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void CTrFileListDlg::keyPressEvent(QKeyEvent* e) {
    const int key = e->key();
    if (key == Qt::Key_Escape || key == Qt::Key_Return || key == Qt::Key_Enter) {
        done(kEndCode);
        return;
    }
    QDialog::keyPressEvent(e);
}
