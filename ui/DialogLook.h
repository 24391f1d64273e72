#pragma once
// The look the logger's dialogs share: a light grey background and group titles in
// bold Arial of 14 pixels.

#include <QColor>
#include <QPalette>
#include <QString>
#include <QWidget>

inline void ApplyDialogLook(QWidget* dialog) {
    QPalette pal = dialog->palette();
    pal.setColor(QPalette::Window, QColor(225, 225, 225));
    dialog->setPalette(pal);
    dialog->setAutoFillBackground(true);
    // Style-sheet fonts do not pass down to the group's children: only the titles change.
    dialog->setStyleSheet(
        QStringLiteral("QGroupBox { font-family: Arial; font-weight: bold; font-size: 14px; }"));
}
