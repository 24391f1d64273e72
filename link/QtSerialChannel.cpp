#include "link/QtSerialChannel.h"

#include "link/PortMap.h"

#include <QFile>
#include <QFileInfo>

#ifndef _WIN32
#include <unistd.h>
#endif
#ifdef __linux__
#include <linux/serial.h>
#include <sys/ioctl.h>
#endif

QtSerialChannel::QtSerialChannel(QObject* parent) : QObject(parent) {
    connect(&m_port, &QSerialPort::readyRead, this, &QtSerialChannel::OnReadyRead);
    connect(&m_port, &QSerialPort::errorOccurred, this, &QtSerialChannel::OnError);
}

QtSerialChannel::~QtSerialChannel() {
    if (m_port.isOpen())
        m_port.close();
}

bool QtSerialChannel::SelectPort(int n) {
    const QString device = m_fixedDevice.isEmpty() ? PortDevice(n) : m_fixedDevice;
    if (device.isEmpty()) {
        m_lastError = QStringLiteral("Port %1 is not mapped to a serial device.").arg(n);
        m_openError = OpenError::Missing;
        return false;
    }
    // portName() is the short name ("ttyUSB0"), so the open device is compared by
    // the path it was selected with.
    if (m_port.isOpen() && m_device != device) {
        // The port changes only while it is closed.
        m_lastError = QStringLiteral("Close the port before selecting another.");
        return false;
    }
    m_portNumber = n;
    m_device = device;
    m_port.setPortName(device);
    return true;
}

bool QtSerialChannel::Open() {
    if (m_port.isOpen())
        return true;
    if (m_port.portName().isEmpty()) {
        m_lastError = QStringLiteral("No serial port selected.");
        return false;
    }
    m_port.setBaudRate(QSerialPort::Baud115200);
    m_port.setDataBits(QSerialPort::Data8);
    m_port.setParity(QSerialPort::NoParity);
    m_port.setStopBits(QSerialPort::OneStop);
    m_port.setFlowControl(QSerialPort::NoFlowControl);
    if (!m_port.open(QIODevice::ReadWrite)) {
        m_openError = ClassifyOpenError(m_port.error());
        m_lastError = m_port.errorString();
        m_port.clearError();
        return false;
    }
    m_openError = OpenError::None;
    m_lastError.clear();
#ifdef __linux__
    m_lowLatency = SetLowLatency(int(m_port.handle()));
#else
    m_lowLatency = false; // the handle is not a file descriptor here
#endif
    return true;
}

bool QtSerialChannel::SetLowLatency(int fd) {
#ifdef __linux__
    // A USB serial adapter otherwise holds a short reply in its latency timer for up
    // to 16 ms; the download asks block by block, so that would add about a third.
    // Drivers without the request (a pseudo-terminal, say) are left as they are.
    serial_struct ss{};
    if (fd < 0 || ::ioctl(fd, TIOCGSERIAL, &ss) != 0)
        return false;
    if ((unsigned(ss.flags) & unsigned(ASYNC_LOW_LATENCY)) != 0)
        return true;
    ss.flags |= ASYNC_LOW_LATENCY;
    return ::ioctl(fd, TIOCSSERIAL, &ss) == 0;
#else
    (void)fd;
    return false;
#endif
}

SerialChannel::OpenError QtSerialChannel::ClassifyOpenError(QSerialPort::SerialPortError e) {
    switch (e) {
    case QSerialPort::DeviceNotFoundError:
        return OpenError::Missing;
    case QSerialPort::PermissionError: {
        // Qt reports a device locked by another program (its lock file, or an
        // exclusive open) as a permission error too: the file's own access rights
        // tell the two apart.
        const QFileInfo info(m_device);
        if (!info.exists())
            return OpenError::Missing;
#ifndef _WIN32
        if (::access(QFile::encodeName(m_device).constData(), R_OK | W_OK) != 0) {
            const QString group = info.group();
            m_deniedGroup = group.isEmpty() || group == QLatin1String("root")
                                ? QStringLiteral("dialout")
                                : group;
            return OpenError::Denied;
        }
        return OpenError::Busy;
#else
        return OpenError::Busy;
#endif
    }
    default:
        // An input/output error of the device itself (ResourceError) or anything
        // else: the reason text says more.
        return OpenError::Other;
    }
}

QString QtSerialChannel::DeviceOf(int n) const {
    return m_fixedDevice.isEmpty() ? PortDevice(n) : m_fixedDevice;
}

void QtSerialChannel::Close() {
    if (m_port.isOpen())
        m_port.close();
}

void QtSerialChannel::SetThreshold(int bytes) {
    m_threshold = bytes < 1 ? 1 : bytes;
}

bool QtSerialChannel::Write(const QByteArray& bytes) {
    if (!m_port.isOpen()) {
        m_lastError = QStringLiteral("The serial port is not open.");
        return false;
    }
    if (m_port.write(bytes) != bytes.size()) {
        m_lastError = m_port.errorString();
        return false;
    }
    // Hand the bytes to the driver now rather than at the next event-loop pass.
    m_port.flush();
    return true;
}

QByteArray QtSerialChannel::ReadAll() {
    return m_port.isOpen() ? m_port.readAll() : QByteArray();
}

int QtSerialChannel::BytesAvailable() const {
    return m_port.isOpen() ? int(m_port.bytesAvailable()) : 0;
}

void QtSerialChannel::ClearInput() {
    if (m_port.isOpen()) {
        m_port.clear(QSerialPort::Input);
        m_port.readAll();
    }
}

void QtSerialChannel::ClearOutput() {
    if (m_port.isOpen())
        m_port.clear(QSerialPort::Output);
}

void QtSerialChannel::OnReadyRead() {
    if (m_port.bytesAvailable() >= m_threshold)
        NotifyReceive();
}

void QtSerialChannel::OnError(QSerialPort::SerialPortError e) {
    // An adapter pulled out while open: close, so that the next open fails cleanly
    // and supervision reports NotConnected.
    if (e == QSerialPort::ResourceError && m_port.isOpen()) {
        m_lastError = m_port.errorString();
        m_port.close();
    }
}
