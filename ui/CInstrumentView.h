#pragma once
// The instrument pane on the left of the main window: one root item whose
// context menu offers the logger commands.

#include <QTreeWidget>

class AppShell;

class CInstrumentView : public QTreeWidget {
    Q_OBJECT
public:
    explicit CInstrumentView(AppShell& shell, QWidget* parent = nullptr);

protected:
    void contextMenuEvent(QContextMenuEvent* e) override;

private:
    AppShell& m_shell;
};
