#include "ui/CDataListDlg.h"

#include "shell/DataListModel.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QPointer>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

void SetUpVirtualTable(QTableView* table) {
    table->setShowGrid(true);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setWordWrap(false);
    table->setCornerButtonEnabled(false);
    table->verticalHeader()->hide();
    // One fixed row height: the view never asks every row for its size, so a list
    // of any length opens and scrolls as fast as a short one.
    table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table->verticalHeader()->setDefaultSectionSize(table->fontMetrics().height() + 4);
    table->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    table->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    table->horizontalHeader()->setStretchLastSection(false);
    table->horizontalHeader()->setHighlightSections(false);
}

void PlaceFrameOnScreen(QWidget* window, const QRect& screenRect) {
    // The frame's decoration is known once the window manager framed the window;
    // before that (or without one) the client takes the whole rectangle.
    const QRect frame = window->frameGeometry();
    const QRect client = window->geometry();
    const QMargins decoration(client.left() - frame.left(), client.top() - frame.top(),
                              frame.right() - client.right(), frame.bottom() - client.bottom());
    QRect target = screenRect.marginsRemoved(decoration);
    if (target.width() < 50 || target.height() < 50)
        target = screenRect;
    window->setGeometry(target);
    if (decoration.isNull()) {
        // Not framed yet: once the window manager added its frame, place the frame
        // (not the client) on the rectangle.
        const QPointer<QWidget> w = window;
        QTimer::singleShot(150, window, [w, screenRect] {
            if (w && w->frameGeometry() != w->geometry())
                PlaceFrameOnScreen(w, screenRect);
        });
    }
}

CDataListDlg::CDataListDlg(DataListModel& model, QWidget* parent)
    // 677 x 393: 387 x 242 dialog units of the face.
    : CListDlg(model, kEndCode, "dataListDlg", 10, QSize(677, 393), "dataList", parent),
      m_model(model) {
    setWindowTitle(DataListInitialCaption());
    setSizeGripEnabled(false);
    connect(&m_model, &QAbstractItemModel::modelReset, this, &CDataListDlg::ApplyColumns);
    connect(&m_model, &QAbstractItemModel::rowsInserted, this, [this] {
        // During a run the list follows the newest point.
        const int needed =
            Table()->fontMetrics().horizontalAdvance(QString::number(m_model.rowCount())) + 14;
        if (Table()->columnWidth(0) < needed)
            Table()->setColumnWidth(0, needed);
        if (DataListFollowsNewest(m_model.View()))
            Table()->scrollToBottom();
    });
    ApplyColumns();
}

void CDataListDlg::ApplyColumns() {
    setWindowTitle(m_model.Caption());
    for (int c = 0; c < kDataListColumns; ++c) {
        int w = m_model.ColumnWidth(c);
        // 50 pixels hold a number of four digits in this face; a full memory counts
        // six, which would read "2621...": the column grows to its largest number.
        if (c == 0)
            w = std::max(
                w,
                Table()->fontMetrics().horizontalAdvance(QString::number(m_model.rowCount())) + 14);
        Table()->setColumnHidden(c, w == 0);
        if (w > 0)
            Table()->setColumnWidth(c, w);
    }
    if (DataListFollowsNewest(m_model.View()))
        Table()->scrollToBottom();
}

void CDataListDlg::PlaceOnScreen(const QRect& screenRect) {
    PlaceFrameOnScreen(this, screenRect);
}
