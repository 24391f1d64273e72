#include "link/ConfigJob.h"

#include "link/LoggerProtocol.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

ReplyTapChannel::ReplyTapChannel(SerialChannel& inner) : m_inner(inner) {
    m_inner.SetReceiveHandler([this] { NotifyReceive(); });
}

QByteArray ReplyTapChannel::ReadAll() {
    QByteArray r = m_inner.ReadAll();
    if (onRead && !r.isEmpty())
        onRead(r);
    return r;
}

ConfigJob::ConfigJob(LinkController& link, ReplyTapChannel& tap) : m_link(link), m_tap(tap) {
    m_tap.onRead = [this](const QByteArray& r) {
        const uint8_t code = uint8_t(r[0]);
        if (m_sent && m_ack < 0 && (code == Logger::kAck || code == Logger::kAckNotLogging))
            m_ack = code;
    };
}

ConfigJob::~ConfigJob() {
    m_tap.onRead = nullptr;
}

ConfigResult ConfigJob::Run(LinkDialog dialog, const QByteArray& command, int searchMs, int ackMs) {
    m_sent = false;
    m_ack = -1;
    QElapsedTimer elapsed;
    elapsed.start();
    m_link.OnDialogCommand();
    m_link.OpenDialog(dialog);
    // Sleeps in the event loop until something happens; the tick bounds each wait so
    // that the limits are checked.
    QTimer tick;
    tick.start(20);
    while (m_link.Dialog(dialog).title != QLatin1String(LinkText::kConnected)) {
        if (m_link.Dialog(dialog).title == QLatin1String(LinkText::kNotConnected) ||
            elapsed.elapsed() > searchMs) {
            m_link.CloseDialog(dialog);
            m_link.KillLinkTimers();
            m_link.ConfigureChannel(); // a probe may have left the port open
            return ConfigResult::NoLogger;
        }
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }

    m_link.ConfigureChannel(); // receive threshold 1 for the one-byte reply
    m_sent = true;
    const bool written = m_link.SendCommand(command);
    m_link.CloseDialog(dialog);
    m_link.KillLinkTimers();
    if (!written)
        return ConfigResult::WriteFailed;
    QElapsedTimer wait;
    wait.start();
    while (m_ack < 0 && wait.elapsed() < ackMs)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    if (m_ack < 0) {
        m_link.ConfigureChannel(); // nobody answered: do not leave the port locked
        return ConfigResult::NoAck;
    }
    return m_ack == Logger::kAck ? ConfigResult::Acknowledged : ConfigResult::NotLogging;
}
