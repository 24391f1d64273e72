#pragma once
// What the four logger dialogs (Download, Real Time, Setup, Correct Time) share:
// the link state as window title, repeated in bold at the top because some window
// managers shorten or hide the titles of small dialogs; the message line under
// it; the action button enabled while the link allows it; and the one goodbye to
// the session however the dialog ends (a button, the close box, destruction).

#include "link/LinkDialogs.h"

#include <QDialog>
#include <QStyle>

#include <functional>
#include <initializer_list>

class LinkController;
class QLabel;
class QPushButton;

class CLinkDlg : public QDialog {
    Q_OBJECT
public:
    ~CLinkDlg() override;

    QLabel* MessageLabel() const { return m_message; }

    void done(int r) override;

protected:
    // The frame's look: the dialogs with bold group titles take the shared dialog
    // look, the others its background alone.
    enum class Look { Background, GroupTitles };
    // A message line `messageWidth` wide with room for `messageLines` lines, so
    // the dialog neither jumps nor clips as the message changes.
    CLinkDlg(LinkController& link, LinkDialog which, const char* objectName, Look look,
             int messageWidth, int messageLines, QWidget* parent);

    // A button of the dialog, with the style's picture `icon` beside its text.
    QPushButton* Button(const QString& text, const char* name);
    QPushButton* Button(const QString& text, const char* name, QStyle::StandardPixmap icon);
    // The dialog's column: the state line, `body`, the message line, and a row of
    // buttons, `left` at its left and `right` at its right.
    void LayOut(std::initializer_list<QWidget*> body, std::initializer_list<QPushButton*> left,
                std::initializer_list<QPushButton*> right);
    // Follows the link's state from now on: `open` opens the dialog's link state,
    // `action` (may be null) is enabled while the link allows it, and `closed`
    // runs once when the dialog ends. `closed` may run from this frame's destructor,
    // when the dialog's own members are gone: it must not touch them (capture what
    // it needs, such as the session, by its own reference).
    void Attach(const std::function<void()>& open, QPushButton* action,
                std::function<void()> closed);

private:
    void Refresh();

    LinkController& m_link;
    LinkDialog m_which;
    QLabel* m_state = nullptr;
    QLabel* m_message = nullptr;
    QPushButton* m_action = nullptr;
    std::function<void()> m_closed;
    bool m_attached = false;
    QMetaObject::Connection m_changes; // the link's dialog states, until done
    bool m_done = false;
};
