#include "ui/CInstrumentView.h"

#include "shell/AppShell.h"

#include <QContextMenuEvent>
#include <QMenu>

CInstrumentView::CInstrumentView(AppShell& shell, QWidget* parent)
    : QTreeWidget(parent), m_shell(shell) {
    setObjectName(QStringLiteral("instrumentView"));
    setHeaderHidden(true);
    setRootIsDecorated(false);
    setMinimumWidth(0);
    setIconSize(QSize(28, 50));
    auto* root = new QTreeWidgetItem(this, {QStringLiteral("-INSTRUMENT")});
    root->setIcon(0, style()->standardIcon(QStyle::SP_DriveHDIcon));
}

void CInstrumentView::contextMenuEvent(QContextMenuEvent* e) {
    QTreeWidgetItem* item = itemAt(e->pos());
    if (!item)
        return;
    setCurrentItem(item);
    QMenu menu(this);
    struct Entry {
        const char* text;
        int command;
    };
    const Entry entries[] = {{"&Correct Time...", Cmd::CorrectTime},
                             {"Datalogger &Setup...", Cmd::Setup},
                             {"&Download Data...", Cmd::Download},
                             {"&Previous Measurement...", Cmd::PreviousMeasurement}};
    for (size_t i = 0; i < std::size(entries); ++i) {
        if (i)
            menu.addSeparator();
        const int command = entries[i].command;
        QAction* a = menu.addAction(QString::fromLatin1(entries[i].text));
        a->setEnabled(m_shell.StateOf(command).enabled);
        connect(a, &QAction::triggered, this, [this, command] { m_shell.Execute(command); });
    }
    menu.exec(e->globalPos());
}
