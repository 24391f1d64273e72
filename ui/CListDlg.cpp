#include "ui/CListDlg.h"

#include "ui/CDataListDlg.h"

#include <QKeyEvent>
#include <QTableView>
#include <QVBoxLayout>

namespace {

bool EndsTheList(int key) {
    return key == Qt::Key_Escape || key == Qt::Key_Return || key == Qt::Key_Enter;
}

} // namespace

CListDlg::CListDlg(QAbstractItemModel& model, int endCode, const char* objectName, int pointSize,
                   QSize size, const char* tableName, QWidget* parent)
    : QDialog(parent), m_endCode(endCode) {
    setObjectName(QString::fromLatin1(objectName));
    setModal(false);
    QFont f(QStringLiteral("Arial"));
    f.setPointSize(pointSize);
    setFont(f);
    resize(size);
    m_table = new QTableView(this);
    m_table->setObjectName(QString::fromLatin1(tableName));
    SetUpVirtualTable(m_table);
    m_table->setModel(&model);
    m_table->installEventFilter(this);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_table);
}

bool CListDlg::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_table && event->type() == QEvent::KeyPress &&
        EndsTheList(static_cast<QKeyEvent*>(event)->key())) {
        done(m_endCode);
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void CListDlg::keyPressEvent(QKeyEvent* e) {
    if (EndsTheList(e->key())) {
        done(m_endCode);
        return;
    }
    QDialog::keyPressEvent(e);
}
