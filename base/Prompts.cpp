#include "base/Prompts.h"

PromptAnswer FakePrompts::Message(const QString& text, PromptIcon icon, PromptButtons buttons) {
    shown.push_back({text, icon, buttons});
    if (!m_answers.empty()) {
        PromptAnswer a = m_answers.front();
        m_answers.pop_front();
        return a;
    }
    switch (buttons) {
    case PromptButtons::Ok:
        return PromptAnswer::Ok;
    case PromptButtons::OkCancel:
    case PromptButtons::YesNoCancel:
        return PromptAnswer::Cancel;
    case PromptButtons::YesNo:
        return PromptAnswer::No;
    }
    return PromptAnswer::Cancel;
}

QString FakePrompts::ChooseOpenFile(const QString& filter, const QString&) {
    ++fileChoosersShown;
    filters.push_back(filter);
    if (m_files.empty())
        return {};
    QString f = m_files.front();
    m_files.pop_front();
    return f;
}

QString FakePrompts::ChooseSaveFile(const QString& proposedName, const QString& filter,
                                    const QString&) {
    ++fileChoosersShown;
    proposedNames.push_back(proposedName);
    filters.push_back(filter);
    if (m_files.empty())
        return {};
    QString f = m_files.front();
    m_files.pop_front();
    return f;
}

void FakePrompts::SetWaitCursor(bool on) {
    waitCursorDepth += on ? 1 : -1;
}

bool FakePrompts::Saw(const QString& text) const {
    for (const Shown& s : shown)
        if (s.text == text)
            return true;
    return false;
}
