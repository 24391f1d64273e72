#pragma once
// The look the logger's dialogs share: a light grey background and group titles in
// bold Arial of 14 pixels (or the face installed in its place).

#include "base/Fonts.h"

#include <QColor>
#include <QPalette>
#include <QString>
#include <QWidget>

inline void ApplyDialogLook(QWidget* dialog) {
    QPalette pal = dialog->palette();
    pal.setColor(QPalette::Window, QColor(225, 225, 225));
    dialog->setPalette(pal);
    dialog->setAutoFillBackground(true);
    const QFont title = DescribedFont(QStringLiteral("Arial"), -14, 0, 700);
    // Style-sheet fonts do not pass down to the group's children: only the titles change.
    dialog->setStyleSheet(
        QStringLiteral("QGroupBox { font-family: \"%1\"; font-weight: bold; font-size: 14px; }")
            .arg(title.family()));
}
