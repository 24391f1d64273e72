#pragma once
// The serial channel to the logger: the few operations the link needs, behind an
// interface so that the connection, download and real-time state machines run
// against a scripted fake in tests and against QSerialPort in the application.
// A failed operation (a missing or busy port, say) is a false return value.

#include <QByteArray>
#include <QString>

#include <functional>

inline constexpr int kFirstPort = 1;
inline constexpr int kLastPort = 16;

class SerialChannel {
public:
    virtual ~SerialChannel() = default;

    // Selects port n (1..16) for the next Open; fails when n maps to no device.
    virtual bool SelectPort(int n) = 0;
    virtual int CurrentPort() const = 0;
    // Opens the selected port at 115200 baud, 8N1.
    virtual bool Open() = 0;
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;
    // The receive notification fires once at least `bytes` are buffered.
    virtual void SetThreshold(int bytes) = 0;
    virtual bool Write(const QByteArray& bytes) = 0;
    // Everything buffered; empties the receive buffer.
    virtual QByteArray ReadAll() = 0;
    // Bytes buffered but not yet read (fewer than the threshold, or not yet handled).
    virtual int BytesAvailable() const = 0;
    virtual void ClearInput() = 0;
    virtual void ClearOutput() = 0;
    // Why the last operation failed, in words a user can act on.
    virtual QString LastError() const = 0;
    // Why the last Open failed, as far as a user can act on it.
    enum class OpenError {
        None,
        Denied,  // no permission (on Linux the user is not in the device's group)
        Busy,    // another program holds the device
        Missing, // no such device (not plugged in)
        Other,
    };
    virtual OpenError LastOpenError() const { return OpenError::Other; }
    // True when the last failed Open was refused for lack of permission.
    bool LastOpenDenied() const { return LastOpenError() == OpenError::Denied; }
    // The device path port n stands for (empty when n maps to nothing), and the
    // group that owns the device last refused for lack of permission.
    virtual QString DeviceOf(int n) const { return QStringLiteral("port %1").arg(n); }
    virtual QString DeniedGroup() const { return QStringLiteral("dialout"); }

    // Receive notification, delivered on the user-interface thread. Part of the
    // channel seam itself: one receiver (the link, or a tap in front of it) that the
    // channel calls at once, so a scripted channel can deliver inside a test step.
    void SetReceiveHandler(std::function<void()> h) { m_onReceive = std::move(h); }

protected:
    void NotifyReceive() {
        if (m_onReceive)
            m_onReceive();
    }

private:
    std::function<void()> m_onReceive;
};
