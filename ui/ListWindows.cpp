#include "ui/ListWindows.h"

#include "shell/GraphController.h"
#include "shell/ListCommands.h"
#include "ui/CDataListDlg.h"
#include "ui/CTrFileListDlg.h"

#include <QAction>
#include <QMenuBar>
#include <QShortcut>
#include <QWidget>

namespace {
QRect ScreenRect(const QWidget* w) {
    return QRect(w->mapToGlobal(QPoint(0, 0)), w->size());
}
} // namespace

ListWindows::ListWindows(ListCommands& lists, GraphController& graph, QWidget* graphView,
                         QWidget* leftPane, QWidget* owner)
    : QObject(owner), m_lists(lists), m_graph(graph), m_view(graphView), m_leftPane(leftPane),
      m_owner(owner) {
    connect(&m_lists, &ListCommands::dataListShowRequested, this, &ListWindows::ShowDataList);
    connect(&m_lists, &ListCommands::dataListCloseRequested, this, &ListWindows::CloseDataList);
}

void ListWindows::PassShortcuts(QWidget* owner, QWidget* list) {
    if (!owner || !list)
        return;
    // A window shortcut of an action fires in every window the action was added to.
    for (QAction* a : owner->findChildren<QAction*>(Qt::FindDirectChildrenOnly))
        if (!a->shortcuts().isEmpty())
            list->addAction(a);
    // The menu bar's access keys open their menu over the owner.
    auto* bar = owner->findChild<QMenuBar*>(QString(), Qt::FindDirectChildrenOnly);
    if (!bar)
        return;
    for (QAction* menu : bar->actions()) {
        const QKeySequence key = QKeySequence::mnemonic(menu->text());
        if (key.isEmpty())
            continue;
        auto* shortcut = new QShortcut(key, list);
        connect(shortcut, &QShortcut::activated, bar, [owner, bar, menu] {
            owner->activateWindow();
            owner->raise();
            bar->setActiveAction(menu);
        });
    }
}

ListWindows::~ListWindows() {
    delete m_dataList;
    delete m_trList;
}

void ListWindows::ShowDataList() {
    if (m_dataList)
        return;
    m_lists.DataList().Refresh();
    m_lists.SetDataListOpen(true);
    m_dataList = new CDataListDlg(m_lists.DataList(), m_owner);
    PassShortcuts(m_owner, m_dataList);
    connect(m_dataList, &QDialog::finished, this, [this] {
        m_lists.SetDataListOpen(false);
        if (m_dataList)
            m_dataList->deleteLater();
        m_dataList = nullptr;
    });
    m_dataList->show();
    PlaceDataList();
}

void ListWindows::CloseDataList() {
    if (m_dataList)
        m_dataList->done(CDataListDlg::kEndCode);
    m_lists.SetDataListOpen(false);
}

void ListWindows::PlaceDataList() {
    if (!m_dataList || !m_view)
        return;
    QRect r = ScreenRect(m_view);
    r.setTop(r.top() + m_graph.Model().InfoBarHeight());
    m_dataList->PlaceOnScreen(r);
}

void ListWindows::ShowTrFileList() {
    if (!m_trList) {
        m_lists.TrFileList().Refresh();
        m_trList = new CTrFileListDlg(m_lists.TrFileList(), m_owner);
        PassShortcuts(m_owner, m_trList);
        connect(m_trList, &CTrFileListDlg::recordPicked, this,
                [this](int record) { PickRecord(record); });
        connect(m_trList, &QDialog::finished, this, [this] {
            if (m_trList)
                m_trList->deleteLater();
            m_trList = nullptr;
        });
        QRect r = m_leftPane ? ScreenRect(m_leftPane) : QRect();
        if (r.width() <= 0)
            r.setWidth(210);
        m_trList->show();
        PlaceFrameOnScreen(m_trList, r);
    }
    m_view->update();
}

void ListWindows::CloseTrFileList() {
    if (m_trList)
        m_trList->done(CTrFileListDlg::kEndCode);
}

void ListWindows::OnModeChanged(GraphMode mode) {
    if (mode == GraphMode::StoreTransient)
        ShowTrFileList();
    else
        CloseTrFileList();
    if (m_dataList) {
        m_lists.DataList().Refresh();
        PlaceDataList();
    }
}

void ListWindows::PickRecord(int record) {
    m_graph.SelectTransientRecord(record);
    if (m_dataList) {
        m_lists.DataList().Refresh();
        PlaceDataList();
    }
}

void ListWindows::Refresh() {
    // New stored data (a download, a file): the record list of the old data goes;
    // the mode shown next opens it again if it is stored TR.
    if (m_lists.Refresh())
        CloseTrFileList();
}
