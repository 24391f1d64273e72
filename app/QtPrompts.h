#pragma once
// Message boxes and file choosers of the desktop application.

#include "base/Prompts.h"

class QWidget;

class QtPrompts : public Prompts {
public:
    explicit QtPrompts(QWidget* parent = nullptr) : m_parent(parent) {}
    void SetParent(QWidget* parent) { m_parent = parent; }
    PromptAnswer Message(const QString& text, PromptIcon icon, PromptButtons buttons) override;
    QString ChooseOpenFile(const QString& filter, const QString& folder) override;
    QString ChooseSaveFile(const QString& proposedName, const QString& filter,
                           const QString& folder) override;
    void SetWaitCursor(bool on) override;

private:
    QWidget* m_parent;
};
