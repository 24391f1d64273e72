#pragma once
// Finding the logger and watching the link while a connection dialog is open: the port
// scan, the probe cycle, the handshake and the supervision. The search keeps the four
// dialogs' link states, since the state is how a user (and the action button) learns
// whether the link is usable.

#include "base/Timers.h"
#include "link/LinkDialogs.h"
#include "link/SerialChannel.h"

#include <QObject>

#include <array>
#include <vector>

class PortSearch final : public QObject {
    Q_OBJECT
public:
    PortSearch(SerialChannel& channel, TimerTable& timers, QObject* parent = nullptr);

    // Scan, probe cycle and supervision.
    static const std::array<int, 3> kTimerIds;
    // Returns false for an id that is not the search's.
    bool OnTimer(int id);

    // A command that opens a connection dialog, just before the dialog opens: search
    // anew, or only supervise once the logger was found.
    void OnDialogCommand();
    void OpenDialog(LinkDialog d);
    void CloseDialog(LinkDialog d);
    bool IsAnyLinkDialogOpen() const;
    const LinkDialogState& Dialog(LinkDialog d) const { return m_dialogs[size_t(d)]; }
    bool ActionAllowed(LinkDialog d);
    // The logger answered a probe (reply 0xAF outside a transfer).
    void OnLoggerPresent();
    void ProbePort(int n);
    // The port scan, probe and supervision timers.
    void KillTimers();
    // A command is about to be sent: the supervision must not close the port under it.
    void StopSupervision();

    // One port that did not open in a scan, and why.
    struct OpenFailure {
        QString device;
        SerialChannel::OpenError error = SerialChannel::OpenError::Other;
        QString group; // of a device refused for lack of permission
    };
    // The message line after a scan in which no port opened: what was tried, and what
    // the user can do about it.
    static QString NoPortMessage(const std::vector<OpenFailure>& failures);
    // One device's failure in a sentence (the command-line tool's reason).
    static QString DescribeOpenFailure(const OpenFailure& f);

    int CurrentPort() const { return m_state.currentPort; }
    const std::vector<int>& OpenablePorts() const { return m_state.openablePorts; }
    int ProbeIndex() const { return m_state.probeIndex; }
    bool ReplySeen() const { return m_state.replySeen; }
    bool LoggerFound() const { return m_state.loggerFound; }

signals:
    // A dialog's state, message line or button changed.
    void dialogChanged(LinkDialog dialog);
    // A status-bar text (a permission problem with the serial devices).
    void statusText(const QString& text);

private:
    void OnPortScan();
    void OnProbe();
    void OnSupervision();
    void SetStateAll(LinkState state);
    void ShowNoPortMessage(const QString& text);
    void WithdrawNoPortMessage();
    // Why an action button did nothing while the link is still connecting: the ports asked.
    QString WaitingOn() const;
    void Changed(LinkDialog d);
    LinkDialogState& State(LinkDialog d) { return m_dialogs[size_t(d)]; }

    // Where the logger is and what the search knows of it.
    struct SearchState {
        int currentPort = kFirstPort;   // the port last selected
        std::vector<int> openablePorts; // filled by one scan, ascending
        int probeIndex = 1;             // 1-based, shared by all probe cycles
        bool replySeen = false;         // an answer since the last dialog command
        bool loggerFound = false;       // an answer since start-up: supervise only
        bool permissionHintShown = false;
        QString noPortMessage; // on the dialogs' message lines while no port opens
    };

    SerialChannel& m_channel;
    TimerTable& m_timers;
    SearchState m_state;
    std::array<LinkDialogState, kLinkDialogCount> m_dialogs;
};
