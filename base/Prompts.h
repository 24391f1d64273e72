#pragma once
// User prompts: every message box and file chooser goes through this seam so that
// the decisions below the widgets can be tested with scripted answers.

#include <QString>
#include <QStringList>

#include <deque>
#include <functional>
#include <vector>

enum class PromptIcon { Exclamation, Question, Information, Error };
enum class PromptButtons { Ok, OkCancel, YesNo, YesNoCancel };
enum class PromptAnswer { Ok, Cancel, Yes, No };

// Caption of every message box of the application.
inline const char* const kPromptCaption = "OrvexDatalogger";

class Prompts {
public:
    virtual ~Prompts() = default;
    virtual PromptAnswer Message(const QString& text, PromptIcon icon = PromptIcon::Exclamation,
                                 PromptButtons buttons = PromptButtons::Ok) = 0;
    // Empty result: the user cancelled. `filter` is a Qt name filter ("Name (*.ext)").
    // The save chooser never asks about replacing a file itself: the caller knows
    // which files a name stands for (Save writes two) and asks once, naming them.
    virtual QString ChooseOpenFile(const QString& filter, const QString& folder) = 0;
    virtual QString ChooseSaveFile(const QString& proposedName, const QString& filter,
                                   const QString& folder) = 0;
    virtual void SetWaitCursor(bool on) = 0;
};

// Asks once before those of `paths` that exist are replaced, naming them. True when
// none exists or the answer was Yes.
bool ConfirmReplaceFiles(Prompts& prompts, const QStringList& paths);

// The save chooser followed by the question about replacing: `written` gives the files
// a chosen name stands for (the name itself when not given). No to the question goes
// back to the chooser with the name just chosen, as a file dialog's own question would.
// Empty when the user cancelled; `folder` follows every choice.
QString ChooseSavePathAsking(Prompts& prompts, const QString& proposedName, const QString& filter,
                             QString& folder,
                             const std::function<QStringList(const QString& chosen)>& written = {});

// What a scripted prompt seam was asked, in order: plain data the tests read.
struct PromptRecord {
    struct Shown {
        QString text;
        PromptIcon icon;
        PromptButtons buttons;
    };

    std::vector<Shown> shown;
    std::vector<QString> proposedNames;
    std::vector<QString> filters;
    int waitCursorDepth = 0;
    int fileChoosersShown = 0;
};

// Records every prompt and answers from a script; an unscripted question is answered
// with the button that changes nothing (No, Cancel, an empty file name).
class FakePrompts : public Prompts, public PromptRecord {
public:
    PromptAnswer Message(const QString& text, PromptIcon icon, PromptButtons buttons) override;
    QString ChooseOpenFile(const QString& filter, const QString& folder) override;
    QString ChooseSaveFile(const QString& proposedName, const QString& filter,
                           const QString& folder) override;
    void SetWaitCursor(bool on) override;

    void QueueAnswer(PromptAnswer a) { m_answers.push_back(a); }
    void QueueFile(const QString& path) { m_files.push_back(path); }

    bool Saw(const QString& text) const;
    QString LastText() const { return shown.empty() ? QString() : shown.back().text; }

private:
    std::deque<PromptAnswer> m_answers;
    std::deque<QString> m_files;
};
