#pragma once
// A scripted serial channel for tests of every layer: ports that open or fail,
// replies queued per command (keyed by the command's first byte) or produced by a
// responder, and a log of every write. With a ManualClock, a reply arrives a few
// virtual milliseconds after the write that provoked it, never inside the write.

#include "base/Timers.h"
#include "link/SerialChannel.h"

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <vector>

class FakeSerialChannel : public SerialChannel {
public:
    // Without a clock, replies wait until Pump().
    explicit FakeSerialChannel(ManualClock* clock = nullptr);
    ~FakeSerialChannel() override;

    // --- script ---
    void SetOpenable(int port, bool openable = true);
    void SetDenied(int port, bool denied = true); // opening fails for lack of permission
    void SetBusy(int port, bool busy = true);     // another program holds the port
    void SetMapped(int port, bool mapped);        // SelectPort fails for unmapped ports
    // Queues a reply to the next write whose first byte is `command` on any port.
    void QueueReply(uint8_t command, const QByteArray& reply);
    // Called for every write (after the queue); returns the reply, or empty for none.
    using Responder = std::function<QByteArray(int port, const QByteArray& written)>;
    void SetResponder(Responder r) { m_responder = std::move(r); }
    void SetReplyDelayMs(int ms) { m_delayMs = ms; }
    // Puts bytes into the receive buffer of the open port at once, as if they had
    // just arrived, and fires the notification if the threshold is reached.
    void Inject(const QByteArray& bytes);
    // Delivers every pending reply now.
    void Pump();

    // --- observation ---
    struct Written {
        int port;
        QByteArray bytes;
    };
    const std::vector<Written>& Writes() const { return m_writes; }
    int Opens() const { return m_opens; }
    int Threshold() const { return m_threshold; }
    std::vector<QByteArray> WritesStartingWith(uint8_t first) const;

    // --- SerialChannel ---
    bool SelectPort(int n) override;
    int CurrentPort() const override { return m_port; }
    bool Open() override;
    void Close() override;
    bool IsOpen() const override { return m_open; }
    void SetThreshold(int bytes) override { m_threshold = bytes < 1 ? 1 : bytes; }
    bool Write(const QByteArray& bytes) override;
    QByteArray ReadAll() override;
    int BytesAvailable() const override { return int(m_input.size()); }
    void ClearInput() override { m_input.clear(); }
    void ClearOutput() override {}
    QString LastError() const override { return m_error; }
    OpenError LastOpenError() const override { return m_openError; }
    QString DeviceOf(int n) const override;

private:
    void Arrive(const QByteArray& bytes);

    std::vector<Written> m_writes;
    int m_opens = 0;
    std::unique_ptr<ManualTimerTable> m_timers;
    int m_nextTimer = 1;
    std::map<int, QByteArray> m_inFlight;
    std::deque<QByteArray> m_pending;
    std::map<uint8_t, std::deque<QByteArray>> m_queued;
    Responder m_responder;
    std::set<int> m_openable;
    std::set<int> m_deniedPorts;
    std::set<int> m_busyPorts;
    std::set<int> m_unmapped;
    int m_port = 0;
    bool m_open = false;
    OpenError m_openError = OpenError::None;
    int m_threshold = 1;
    int m_delayMs = 2;
    QByteArray m_input;
    QString m_error;
};
