#include "ui/CButtonBar.h"

#include "shell/AppShell.h"
#include "ui/Icons.h"

#include <QPushButton>
#include <QVBoxLayout>

CButtonBar::CButtonBar(AppShell& shell, QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("buttonBar"));
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(200, 200, 200));
    setPalette(pal);

    struct Entry {
        int buttonId;
        const char* caption;
        int command;
        CommandIconId icon;
    };
    const Entry entries[] = {
        {1045, "Correct Time", Cmd::CorrectTime, CommandIconId::CorrectTime},
        {1047, "OrvexDatalogger Setup", Cmd::Setup, CommandIconId::Setup},
        {1174, "Download Data", Cmd::Download, CommandIconId::Download},
        {1046, "Open Existing Document", Cmd::Open, CommandIconId::Open},
        {1048, "Help", Cmd::Help, CommandIconId::Help},
    };
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 12, 12, 12);
    layout->setSpacing(10);
    for (const Entry& e : entries) {
        auto* b = new QPushButton(CommandIcon(e.icon), QString::fromLatin1(e.caption), this);
        b->setObjectName(QStringLiteral("button%1").arg(e.buttonId));
        b->setIconSize(QSize(32, 32));
        b->setMinimumHeight(60);
        // Room on both sides: a caption as long as the bar is wide would otherwise
        // run up against the button's right edge.
        b->setStyleSheet(
            QStringLiteral("text-align: left; padding-left: 6px; padding-right: 6px;"));
        // A command whose work is not part of this build stays visibly unavailable.
        b->setEnabled(shell.HasHandler(e.command));
        const int command = e.command;
        connect(b, &QPushButton::clicked, this,
                [&shell, command] { shell.ExecuteDirect(command); });
        layout->addWidget(b);
    }
    // The usual 220 x 380, or wider where the longest caption needs it (a larger
    // font, another style): the bar grows rather than clipping its texts.
    setFixedSize(sizeHint().expandedTo(QSize(kWidth, kHeight)));
}
