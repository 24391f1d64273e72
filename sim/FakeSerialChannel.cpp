#include "sim/FakeSerialChannel.h"

FakeSerialChannel::FakeSerialChannel(ManualClock* clock) {
    if (clock) {
        m_timers = std::make_unique<ManualTimerTable>(*clock);
        m_timers->SetHandler([this](int id) {
            m_timers->Kill(id);
            auto it = m_inFlight.find(id);
            if (it == m_inFlight.end())
                return;
            const QByteArray bytes = it->second;
            m_inFlight.erase(it);
            Arrive(bytes);
        });
    }
}

FakeSerialChannel::~FakeSerialChannel() = default;

void FakeSerialChannel::SetOpenable(int port, bool openable) {
    if (openable)
        m_openable.insert(port);
    else
        m_openable.erase(port);
}

void FakeSerialChannel::SetDenied(int port, bool denied) {
    if (denied)
        m_deniedPorts.insert(port);
    else
        m_deniedPorts.erase(port);
}

void FakeSerialChannel::SetBusy(int port, bool busy) {
    if (busy)
        m_busyPorts.insert(port);
    else
        m_busyPorts.erase(port);
}

QString FakeSerialChannel::DeviceOf(int n) const {
    if (n < kFirstPort || n > kLastPort || m_unmapped.count(n))
        return {};
    return QStringLiteral("/dev/ttyFAKE%1").arg(n);
}

void FakeSerialChannel::SetMapped(int port, bool mapped) {
    if (mapped)
        m_unmapped.erase(port);
    else
        m_unmapped.insert(port);
}

void FakeSerialChannel::QueueReply(uint8_t command, const QByteArray& reply) {
    m_queued[command].push_back(reply);
}

std::vector<QByteArray> FakeSerialChannel::WritesStartingWith(uint8_t first) const {
    std::vector<QByteArray> out;
    for (const Written& w : m_writes)
        if (!w.bytes.isEmpty() && uint8_t(w.bytes[0]) == first)
            out.push_back(w.bytes);
    return out;
}

bool FakeSerialChannel::SelectPort(int n) {
    if (n < kFirstPort || n > kLastPort || m_unmapped.count(n)) {
        m_error = QStringLiteral("Port %1 is not mapped to a serial device.").arg(n);
        return false;
    }
    if (!m_open)
        m_port = n;
    return true;
}

bool FakeSerialChannel::Open() {
    if (m_open)
        return true;
    if (m_deniedPorts.count(m_port)) {
        m_openError = OpenError::Denied;
        m_error = QStringLiteral("Permission denied");
        return false;
    }
    if (m_busyPorts.count(m_port)) {
        m_openError = OpenError::Busy;
        m_error = QStringLiteral("Permission error while locking the device");
        return false;
    }
    if (!m_openable.count(m_port)) {
        m_openError = OpenError::Missing;
        m_error = QStringLiteral("No such file or directory");
        return false;
    }
    m_openError = OpenError::None;
    m_open = true;
    ++m_opens;
    m_input.clear();
    return true;
}

void FakeSerialChannel::Close() {
    m_open = false;
    m_input.clear();
}

bool FakeSerialChannel::Write(const QByteArray& bytes) {
    if (!m_open) {
        m_error = QStringLiteral("The serial port is not open.");
        return false;
    }
    m_writes.push_back({m_port, bytes});
    QByteArray reply;
    if (!bytes.isEmpty()) {
        auto it = m_queued.find(uint8_t(bytes[0]));
        if (it != m_queued.end() && !it->second.empty()) {
            reply = it->second.front();
            it->second.pop_front();
        }
    }
    if (reply.isEmpty() && m_responder)
        reply = m_responder(m_port, bytes);
    if (reply.isEmpty())
        return true;
    if (m_timers) {
        const int id = m_nextTimer++;
        m_inFlight[id] = reply;
        m_timers->Start(id, m_delayMs);
    } else {
        m_pending.push_back(reply);
    }
    return true;
}

void FakeSerialChannel::Pump() {
    while (!m_pending.empty()) {
        QByteArray b = m_pending.front();
        m_pending.pop_front();
        Arrive(b);
    }
}

void FakeSerialChannel::Inject(const QByteArray& bytes) {
    Arrive(bytes);
}

void FakeSerialChannel::Arrive(const QByteArray& bytes) {
    // Bytes sent to a closed port are lost, as on a real line.
    if (!m_open)
        return;
    m_input.append(bytes);
    if (m_input.size() >= m_threshold)
        NotifyReceive();
}

QByteArray FakeSerialChannel::ReadAll() {
    QByteArray b = m_input;
    m_input.clear();
    return b;
}
