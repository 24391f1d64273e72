#include "link/PortSearch.h"

#include "base/Ids.h"
#include "link/LoggerProtocol.h"

#include <QStringList>

namespace {
namespace T = FrameTimer;

constexpr LinkDialog kAllDialogs[] = {LinkDialog::Setup, LinkDialog::Download,
                                      LinkDialog::CorrectTime, LinkDialog::RealTime};

QString Text(const char* s) {
    return QString::fromLatin1(s);
}
} // namespace

const std::array<int, 3> PortSearch::kTimerIds = {T::PortScan, T::Probe, T::Supervision};

PortSearch::PortSearch(SerialChannel& channel, TimerTable& timers, QObject* parent)
    : QObject(parent), m_channel(channel), m_timers(timers) {}

bool PortSearch::OnTimer(int id) {
    switch (id) {
    case T::PortScan:
        OnPortScan();
        return true;
    case T::Probe:
        OnProbe();
        return true;
    case T::Supervision:
        OnSupervision();
        return true;
    default:
        return false;
    }
}

// ---------------------------------------------------------------------------
// Dialogs

void PortSearch::OnDialogCommand() {
    m_state.replySeen = false;
    if (!m_state.loggerFound)
        m_timers.Start(T::PortScan, Logger::kScanAfterCommandMs);
    else
        m_timers.Start(T::Supervision, Logger::kSupervisionMs);
}

void PortSearch::OpenDialog(LinkDialog d) {
    LinkDialogState& s = State(d);
    s.open = true;
    s.state = LinkState::Connecting;
    s.line = LinkLine::AtOpen;
    s.actionEnabled = true;
    if (m_state.loggerFound) {
        // Found before: only check that the port still opens.
        m_channel.Close();
        m_channel.SelectPort(m_state.currentPort);
        if (m_channel.Open()) {
            s.state = LinkState::Connected;
            if (LinesOf(d).readyAtOpen)
                s.line = LinkLine::ReadyAtOpen;
            s.actionEnabled = true;
            m_channel.Close();
        } else {
            s.state = LinkState::NotConnected;
            // Only these two keep their button dead until the dialog is opened again;
            // the others act once supervision finds the port again.
            s.actionEnabled = !(d == LinkDialog::Setup || d == LinkDialog::Download);
        }
    }
    Changed(d);
}

void PortSearch::CloseDialog(LinkDialog d) {
    State(d).open = false;
    Changed(d);
}

bool PortSearch::IsAnyLinkDialogOpen() const {
    for (const LinkDialogState& s : m_dialogs)
        if (s.open)
            return true;
    return false;
}

bool PortSearch::ActionAllowed(LinkDialog d) {
    LinkDialogState& s = State(d);
    if (s.state == LinkState::Connected)
        return s.actionEnabled;
    if (s.state == LinkState::NotConnected) {
        s.line = LinkLine::ConnectFailed;
        Changed(d);
    } else if (m_state.noPortMessage.isEmpty() || s.line != LinkLine::NoPort) {
        // Nothing is sent before the logger answered; a button that does nothing
        // without a word looks dead. The message of ports that do not open says more.
        s.line = LinkLine::Waiting;
        s.waitingOn = WaitingOn();
        Changed(d);
    }
    return false;
}

QString PortSearch::WaitingOn() const {
    const std::vector<int>& ports = m_state.openablePorts;
    QString where = QStringLiteral("the serial ports");
    if (ports.size() == 1)
        where = m_channel.DeviceOf(ports.front());
    else if (!ports.empty())
        where = QStringLiteral("%1 ... %2")
                    .arg(m_channel.DeviceOf(ports.front()), m_channel.DeviceOf(ports.back()));
    return where;
}

void PortSearch::Changed(LinkDialog d) {
    emit dialogChanged(d);
}

void PortSearch::SetStateAll(LinkState state) {
    for (LinkDialog d : kAllDialogs) {
        LinkDialogState& s = State(d);
        if (!s.open)
            continue;
        s.state = state;
        if (state == LinkState::NotConnected && LinesOf(d).showsConnectFailed)
            s.line = LinkLine::ConnectFailed;
        Changed(d);
    }
}

void PortSearch::ShowNoPortMessage(const QString& text) {
    m_state.noPortMessage = text;
    for (LinkDialog d : kAllDialogs) {
        LinkDialogState& s = State(d);
        if (!s.open || (s.line == LinkLine::NoPort && s.noPortText == text))
            continue;
        s.line = LinkLine::NoPort;
        s.noPortText = text;
        Changed(d);
    }
}

void PortSearch::WithdrawNoPortMessage() {
    if (m_state.noPortMessage.isEmpty())
        return;
    for (LinkDialog d : kAllDialogs) {
        LinkDialogState& s = State(d);
        if (!s.open || s.line != LinkLine::NoPort || s.noPortText != m_state.noPortMessage)
            continue;
        s.line = LinkLine::AtOpen;
        s.noPortText.clear();
        Changed(d);
    }
    m_state.noPortMessage.clear();
}

QString PortSearch::DescribeOpenFailure(const OpenFailure& f) {
    switch (f.error) {
    case SerialChannel::OpenError::Denied:
        return QStringLiteral("%1: permission denied; it belongs to the group %2: run "
                              "sudo adduser $USER %2, then log in again")
            .arg(f.device, f.group.isEmpty() ? QStringLiteral("dialout") : f.group);
    case SerialChannel::OpenError::Busy:
        return QStringLiteral("%1 is busy: another program holds it open").arg(f.device);
    case SerialChannel::OpenError::Missing:
        return QStringLiteral("%1: no such device").arg(f.device);
    case SerialChannel::OpenError::None:
    case SerialChannel::OpenError::Other:
        break;
    }
    return QStringLiteral("%1 could not be opened").arg(f.device);
}

QString PortSearch::NoPortMessage(const std::vector<OpenFailure>& failures) {
    QStringList denied, busy;
    QString group;
    for (const OpenFailure& f : failures) {
        if (f.error == SerialChannel::OpenError::Denied) {
            denied << f.device;
            if (group.isEmpty())
                group = f.group;
        } else if (f.error == SerialChannel::OpenError::Busy) {
            busy << f.device;
        }
    }
    if (group.isEmpty())
        group = QStringLiteral("dialout");
    QStringList parts;
    if (!denied.isEmpty())
        parts << QStringLiteral("Permission denied for %1 (group %2): run sudo adduser $USER "
                                "%2, then log in again.")
                     .arg(denied.join(QStringLiteral(", ")), group);
    if (!busy.isEmpty())
        parts << QStringLiteral("%1 %2 busy: another program holds it open.")
                     .arg(busy.join(QStringLiteral(", ")),
                          busy.size() == 1 ? QStringLiteral("is") : QStringLiteral("are"));
    if (!parts.isEmpty())
        return parts.join(QLatin1Char(' '));
    QString tried;
    if (failures.empty())
        tried = QStringLiteral("no serial device is configured");
    else if (failures.size() == 1)
        tried = QStringLiteral("tried %1").arg(failures.front().device);
    else
        tried =
            QStringLiteral("tried %1 ... %2").arg(failures.front().device, failures.back().device);
    return QStringLiteral("No serial port could be opened (%1). Plug in the logger, or set "
                          "DATALOGGER_PORTS.")
        .arg(tried);
}

// ---------------------------------------------------------------------------
// Scan, probe cycle, handshake, supervision

void PortSearch::OnPortScan() {
    if (!IsAnyLinkDialogOpen()) {
        m_timers.Kill(T::PortScan);
        return;
    }
    m_state.probeIndex = 1;
    m_state.openablePorts.clear();
    int denied = 0;
    std::vector<OpenFailure> failures;
    for (int n = kFirstPort; n <= kLastPort; ++n) {
        m_channel.Close();
        m_state.currentPort = n;
        if (!m_channel.SelectPort(n))
            continue;
        if (!m_channel.Open()) {
            if (m_channel.LastOpenDenied())
                ++denied;
            failures.push_back({m_channel.DeviceOf(n), m_channel.LastOpenError(),
                                m_channel.LastOpenDenied() ? m_channel.DeniedGroup() : QString()});
            continue;
        }
        m_state.openablePorts.push_back(n);
    }
    if (m_state.openablePorts.empty()) {
        // Devices exist but none may be opened: the one failure a user can fix.
        if (denied > 0 && !m_state.permissionHintShown) {
            m_state.permissionHintShown = true;
            emit statusText(Text(LinkText::kPortsDenied));
        }
        // Connecting alone would read as a wait without end: the message line
        // says what was tried and what to do; the title and the scan go on.
        ShowNoPortMessage(NoPortMessage(failures));
        return; // the scan repeats at the timer's period
    }
    WithdrawNoPortMessage();
    m_timers.Kill(T::PortScan);
    const int last = m_state.openablePorts.back();
    ProbePort(last);
    m_state.currentPort = last;
    m_timers.Start(T::Probe, Logger::kProbePeriodMs);
}

void PortSearch::ProbePort(int n) {
    if (m_channel.IsOpen() && m_channel.CurrentPort() != n)
        m_channel.Close();
    if (!m_channel.SelectPort(n))
        return;
    m_channel.SetThreshold(1);
    if (!m_channel.IsOpen() && !m_channel.Open())
        return;
    m_channel.Write(QByteArray(1, char(Logger::kProbe)));
}

void PortSearch::OnProbe() {
    if (!IsAnyLinkDialogOpen()) {
        m_timers.Kill(T::Probe);
        return;
    }
    if (m_state.replySeen)
        return;
    const int n = int(m_state.openablePorts.size());
    if (m_state.probeIndex > n) {
        // The cycle failed; a new scan follows, for as long as a dialog is open.
        m_timers.Kill(T::Probe);
        m_state.probeIndex = 1;
        m_state.openablePorts.clear();
        SetStateAll(LinkState::NotConnected);
        m_timers.Start(T::PortScan, Logger::kScanAfterFailureMs);
        return;
    }
    m_channel.Close();
    // From the last port found towards the first.
    const int port = m_state.openablePorts[size_t(n - m_state.probeIndex)];
    ProbePort(port);
    m_state.currentPort = port;
    ++m_state.probeIndex;
}

void PortSearch::OnLoggerPresent() {
    m_state.replySeen = true;
    m_state.loggerFound = true;
    for (LinkDialog d : kAllDialogs) {
        LinkDialogState& s = State(d);
        if (!s.open)
            continue;
        m_timers.Kill(T::PortScan);
        m_timers.Kill(T::Probe);
        s.state = LinkState::Connected;
        if (LinesOf(d).afterHandshake)
            s.line = LinkLine::AfterHandshake;
        Changed(d);
        m_timers.Start(T::Supervision, Logger::kSupervisionMs);
    }
    m_channel.Close();
}

void PortSearch::OnSupervision() {
    if (!IsAnyLinkDialogOpen()) {
        m_timers.Kill(T::Supervision);
        return;
    }
    m_channel.Close();
    m_channel.SelectPort(m_state.currentPort);
    if (!m_channel.Open()) {
        SetStateAll(LinkState::NotConnected);
        return;
    }
    SetStateAll(LinkState::Connected);
    m_channel.Close();
}

void PortSearch::KillTimers() {
    m_timers.Kill(T::PortScan);
    m_timers.Kill(T::Probe);
    m_timers.Kill(T::Supervision);
}

void PortSearch::StopSupervision() {
    m_timers.Kill(T::Supervision);
}
