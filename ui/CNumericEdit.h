#pragma once
// The numeric edit of every dialog: a typed character passes only when it is a
// digit, ".", "-" or backspace; everything else typed is dropped. Pasted text is
// not filtered (the dialogs check their values themselves). Keys that type nothing
// (arrows, Home, End, Delete, Tab, shortcuts) behave as in any edit.
//
// CSpinButton is the up-down control attached to the edit before it: it steps the
// edit's integer within its range, writes it as a plain integer without thousands
// separators, and reacts to the Up and Down keys in the edit.

#include <QLineEdit>
#include <QWidget>

class QToolButton;

class CNumericEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit CNumericEdit(QWidget* parent = nullptr);

    // Whether a typed text (one key press) may reach the edit.
    static bool Accepts(const QString& typed);

protected:
    void keyPressEvent(QKeyEvent* e) override;
};

class CSpinButton : public QWidget {
    Q_OBJECT
public:
    CSpinButton(CNumericEdit* buddy, int minimum, int maximum, QWidget* parent = nullptr);

    void SetRange(int minimum, int maximum);
    int Minimum() const { return m_min; }
    int Maximum() const { return m_max; }
    CNumericEdit* Buddy() const { return m_buddy; }
    QToolButton* UpButton() const { return m_up; }
    QToolButton* DownButton() const { return m_down; }

    // One step up (+1) or down (-1) from the edit's value, kept in the range; a text
    // that is no integer steps from the nearer end of the range.
    void Step(int direction);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    CNumericEdit* m_buddy;
    QToolButton* m_up;
    QToolButton* m_down;
    int m_min;
    int m_max;
};
