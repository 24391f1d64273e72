#pragma once
// The serial channel on QSerialPort. Port n is the n-th device of the port map.
// The receive notification fires once at least the threshold is buffered, on the
// thread that owns the object (the user-interface thread).

#include "link/SerialChannel.h"

#include <QObject>
#include <QSerialPort>

class QtSerialChannel : public QObject, public SerialChannel {
    Q_OBJECT
public:
    explicit QtSerialChannel(QObject* parent = nullptr);
    ~QtSerialChannel() override;

    bool SelectPort(int n) override;
    int CurrentPort() const override { return m_portNumber; }
    bool Open() override;
    void Close() override;
    bool IsOpen() const override { return m_port.isOpen(); }
    void SetThreshold(int bytes) override;
    bool Write(const QByteArray& bytes) override;
    QByteArray ReadAll() override;
    int BytesAvailable() const override;
    void ClearInput() override;
    void ClearOutput() override;
    QString LastError() const override { return m_lastError; }
    OpenError LastOpenError() const override { return m_openError; }
    QString DeviceOf(int n) const override;
    QString DeniedGroup() const override { return m_deniedGroup; }

    // Uses `device` for every port number (the command-line tool's --port).
    void SetFixedDevice(const QString& device) { m_fixedDevice = device; }
    // Whether the driver accepted low-latency mode at the last Open.
    bool LowLatency() const { return m_lowLatency; }

private:
    void OnReadyRead();
    void OnError(QSerialPort::SerialPortError e);
    static bool SetLowLatency(int fd);
    OpenError ClassifyOpenError(QSerialPort::SerialPortError e);

    QSerialPort m_port;
    QString m_fixedDevice;
    QString m_device; // as selected, a full path
    int m_portNumber = 0;
    int m_threshold = 1;
    QString m_lastError;
    OpenError m_openError = OpenError::None;
    QString m_deniedGroup = QStringLiteral("dialout");
    bool m_lowLatency = false;
};
