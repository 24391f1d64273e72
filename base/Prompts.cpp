#include "base/Prompts.h"

#include <QDir>
#include <QFileInfo>

bool ConfirmReplaceFiles(Prompts& prompts, const QStringList& paths) {
    QStringList existing;
    for (const QString& p : paths)
        if (QFileInfo::exists(p))
            existing << QDir::toNativeSeparators(p);
    if (existing.isEmpty())
        return true;
    QString text;
    if (existing.size() == 1) {
        text = QStringLiteral("The file %1 already exists.\nDo you want to replace it?")
                   .arg(existing.front());
    } else {
        const QString& last = existing.back();
        const QString others = existing.mid(0, existing.size() - 1).join(QStringLiteral(", "));
        text = QStringLiteral("The files %1 and %2 already exist.\nDo you want to replace them?")
                   .arg(others, last);
    }
    return prompts.Message(text, PromptIcon::Exclamation, PromptButtons::YesNo) ==
           PromptAnswer::Yes;
}

QString ChooseSavePathAsking(Prompts& prompts, const QString& proposedName, const QString& filter,
                             QString& folder,
                             const std::function<QStringList(const QString& chosen)>& written) {
    for (QString proposed = proposedName;;) {
        QString chosen = prompts.ChooseSaveFile(proposed, filter, folder);
        if (chosen.isEmpty())
            return chosen;
        folder = QFileInfo(chosen).absolutePath();
        if (ConfirmReplaceFiles(prompts, written ? written(chosen) : QStringList{chosen}))
            return chosen;
        proposed = QFileInfo(chosen).fileName();
    }
}

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
