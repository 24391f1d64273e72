#pragma once
// The decisions of the two configuration dialogs, Datalogger Setup and Correct
// Time, without a widget: what they show when they open, how their edits are
// clamped as the user types, what "Default" restores, and what "Setup" and "OK" do
// with the link and the main window's settings. The dialogs only show a form and
// forward its changes and buttons here.

#include "base/LocalTime.h"
#include "link/ConfigCommands.h"
#include "link/LinkController.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <array>
#include <cstdint>

class AppShell;

// What the setup dialog's controls hold.
struct SetupForm {
    QString interval;           // the interval count edit
    int unit = Config::kSecond; // 0 "Second", 1 "Minute", 2 "Hour"
    uint8_t autoOff = 0;        // 2 on, 0 off
    uint8_t recMode = 0;        // 3 on, 0 off
    QString riseLevel;          // hidden edits, carried through
    QString dropLevel;
    int riseKind = 1; // hidden lists: 0 "V", 1 "A"
    int dropKind = 1;
    bool operator==(const SetupForm&) const = default;
};

// The six texts of the clock dialog, year to second.
using ClockForm = std::array<QString, 6>;

class ConfigSession : public QObject {
    Q_OBJECT
public:
    ConfigSession(AppShell& shell, LinkController& link, QObject* parent = nullptr);
    ~ConfigSession() override;

    LinkController& Link() { return m_link; }

    // Datalogger Setup and Correct Time up to their dialog: false while the loading
    // dialog of a download is shown (the command then does nothing). Otherwise no
    // transfer runs any more and the search or supervision starts; the caller then
    // opens the dialog.
    bool BeginSetupCommand();
    bool BeginCorrectTimeCommand();

    // --- the setup dialog ---
    // The controls as the main window's settings fill them at opening.
    SetupForm SetupFromSettings() const;
    // The controls after "Default".
    static SetupForm DefaultSetup();
    // The interval edit's text after a change of it, and after a change of the unit.
    static QString IntervalEdited(const QString& text, int unit);
    static QString UnitChanged(const QString& text, int unit);
    // The dialog exists: state Connecting and, once the logger was found, the
    // port check that enables or disables "Setup".
    void OpenSetupDialog();
    // "Setup": true when the command was handed to the link and the dialog closes.
    // While Connecting nothing happens; when NotConnected the message line
    // says why and the dialog stays.
    bool PressSetup(const SetupForm& form);
    // Closed by any button or its close box.
    void SetupDialogClosed();

    // --- the clock dialog ---
    // Today's local date and time, as the dialog opens with them.
    ClockForm ClockFromNow() const;
    static QString ClockFieldEdited(Config::ClockField field, const QString& text);
    void OpenCorrectTimeDialog();
    // The user changed a field: from now on the fields stay as typed.
    void ClockEditedByUser() { m_clockEdited = true; }
    bool ClockEdited() const { return m_clockEdited; }
    // "OK": while no field was edited, the time sent is the computer's at this
    // moment (and clockFollowed shows it); otherwise the form as typed.
    bool PressCorrectTimeOk(const ClockForm& form);
    void CorrectTimeDialogClosed();

    // The setup and set-clock command of a form (what "Setup" and "OK" send).
    static QByteArray SetupCommandOf(const SetupForm& form);
    static QByteArray ClockCommandOf(const ClockForm& form);

signals:
    // Every second while Correct Time is open and no field was edited: the fields
    // the dialog shows now.
    void clockFollowed(const ClockForm& form);

private:
    enum class Pending { None, Setup, Clock };
    void OnClockFollow();
    void OnAcknowledged();
    bool Begin();
    bool MayAct(LinkDialog d);
    void Send(LinkDialog d, const QByteArray& command);
    void Closed(LinkDialog d);

    AppShell& m_shell;
    LinkController& m_link;
    bool m_sent = false;
    bool m_clockEdited = false;
    // The command whose acknowledgement the status bar reports.
    Pending m_pending = Pending::None;
    CalendarFields m_clockSent;
};
