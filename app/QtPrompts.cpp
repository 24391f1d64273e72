#include "app/QtPrompts.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>

PromptAnswer QtPrompts::Message(const QString& text, PromptIcon icon, PromptButtons buttons) {
    QMessageBox box(m_parent);
    box.setWindowTitle(QString::fromLatin1(kPromptCaption));
    box.setText(text);
    switch (icon) {
    case PromptIcon::Exclamation:
        box.setIcon(QMessageBox::Warning);
        break;
    case PromptIcon::Question:
        box.setIcon(QMessageBox::Question);
        break;
    case PromptIcon::Information:
        box.setIcon(QMessageBox::Information);
        break;
    case PromptIcon::Error:
        box.setIcon(QMessageBox::Critical);
        break;
    }
    switch (buttons) {
    case PromptButtons::Ok:
        box.setStandardButtons(QMessageBox::Ok);
        break;
    case PromptButtons::OkCancel:
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        break;
    case PromptButtons::YesNo:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        break;
    case PromptButtons::YesNoCancel:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        break;
    }
    // A wait cursor must not hide the box's buttons.
    const bool overridden = QApplication::overrideCursor() != nullptr;
    if (overridden)
        QApplication::setOverrideCursor(Qt::ArrowCursor);
    const int r = box.exec();
    if (overridden)
        QApplication::restoreOverrideCursor();
    switch (r) {
    case QMessageBox::Ok:
        return PromptAnswer::Ok;
    case QMessageBox::Yes:
        return PromptAnswer::Yes;
    case QMessageBox::No:
        return PromptAnswer::No;
    default:
        return PromptAnswer::Cancel;
    }
}

QString QtPrompts::ChooseOpenFile(const QString& filter, const QString& folder) {
    return QFileDialog::getOpenFileName(m_parent, QString(),
                                        folder.isEmpty() ? QDir::currentPath() : folder, filter);
}

QString QtPrompts::ChooseSaveFile(const QString& proposedName, const QString& filter,
                                  const QString& folder) {
    const QString start =
        (folder.isEmpty() ? QDir::currentPath() : folder) + QLatin1Char('/') + proposedName;
    // The caller asks about existing files (see Prompts), so the dialog must not.
    return QFileDialog::getSaveFileName(m_parent, QString(), start, filter, nullptr,
                                        QFileDialog::DontConfirmOverwrite);
}

void QtPrompts::SetWaitCursor(bool on) {
    if (on)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}
