#pragma once
// The graph view's two list windows, created on demand and destroyed when
// closed: the data list over the view below its information bar, the
// transient-record list over the instrument pane. Follows the graph's mode and
// record: every mode but stored TR closes the record list, stored TR opens it,
// and an open data list is rebuilt and placed again on every mode or record change.

#include "graph/GraphModel.h"
#include "ui/CDataListDlg.h"
#include "ui/CTrFileListDlg.h"

#include <QObject>
#include <QPointer>

class GraphController;
class ListCommands;
class QWidget;

class ListWindows : public QObject {
    Q_OBJECT
public:
    // `graphView` is the view the data list covers, `leftPane` the instrument pane
    // the record list covers, `owner` the main window that owns both windows.
    ListWindows(ListCommands& lists, GraphController& graph, QWidget* graphView, QWidget* leftPane,
                QWidget* owner);
    ~ListWindows() override;

    void ShowDataList();
    void CloseDataList();
    // Covers the view below its information bar.
    void PlaceDataList();
    void ShowTrFileList();
    void CloseTrFileList();

    // After the graph entered `mode` (its side-window step).
    void OnModeChanged(GraphMode mode);
    // The record list's double-click on record n.
    void PickRecord(int record);
    // The data changed (a load, a download, a new real-time point).
    void Refresh();

    // The owner's keyboard shortcuts and menu keys (Alt+F, Ctrl+S, ...) reach it
    // from a list window too: a keyboard user is not stuck in the list.
    static void PassShortcuts(QWidget* owner, QWidget* list);

    CDataListDlg* DataListWindow() const { return m_dataList; }
    CTrFileListDlg* TrFileListWindow() const { return m_trList; }

private:
    ListCommands& m_lists;
    GraphController& m_graph;
    QWidget* m_view;
    QWidget* m_leftPane;
    QWidget* m_owner;
    QPointer<CDataListDlg> m_dataList;
    QPointer<CTrFileListDlg> m_trList;
};
