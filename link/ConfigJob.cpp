#include "link/ConfigJob.h"

#include "link/LoggerProtocol.h"

ReplyTapChannel::ReplyTapChannel(SerialChannel& inner, QObject* parent)
    : QObject(parent), m_inner(inner) {
    m_inner.SetReceiveHandler([this] { NotifyReceive(); });
}

QByteArray ReplyTapChannel::ReadAll() {
    QByteArray r = m_inner.ReadAll();
    if (!r.isEmpty())
        emit replyRead(r);
    return r;
}

ConfigJob::ConfigJob(LinkController& link, ReplyTapChannel& tap, Wait wait, Elapsed elapsedMs,
                     QObject* parent)
    : QObject(parent), m_link(link), m_tap(tap), m_wait(std::move(wait)),
      m_elapsed(std::move(elapsedMs)) {
    connect(&m_tap, &ReplyTapChannel::replyRead, this, [this](const QByteArray& r) {
        const uint8_t code = uint8_t(r[0]);
        if (m_sent && m_ack < 0 && (code == Logger::kAck || code == Logger::kAckNotLogging))
            m_ack = code;
    });
}

ConfigResult ConfigJob::Run(LinkDialog dialog, const QByteArray& command, int searchMs, int ackMs) {
    m_sent = false;
    m_ack = -1;
    const int64_t begin = m_elapsed();
    m_link.OnDialogCommand();
    m_link.OpenDialog(dialog);
    // NotConnected after a failed probe cycle is not the end: the search scans
    // again 1000 ms later, as it does behind the dialog.
    while (m_link.Dialog(dialog).state != LinkState::Connected) {
        if (m_elapsed() - begin > searchMs) {
            m_link.CloseDialog(dialog);
            m_link.KillLinkTimers();
            m_link.ConfigureChannel(); // a probe may have left the port open
            return ConfigResult::NoLogger;
        }
        m_wait();
    }

    m_link.ConfigureChannel(); // receive threshold 1 for the one-byte reply
    m_sent = true;
    const bool written = m_link.SendCommand(command);
    m_link.CloseDialog(dialog);
    m_link.KillLinkTimers();
    if (!written)
        return ConfigResult::WriteFailed;
    const int64_t sentAt = m_elapsed();
    while (m_ack < 0 && m_elapsed() - sentAt < ackMs)
        m_wait();
    if (m_ack < 0) {
        m_link.ConfigureChannel(); // nobody answered: do not leave the port locked
        return ConfigResult::NoAck;
    }
    return m_ack == Logger::kAck ? ConfigResult::Acknowledged : ConfigResult::NotLogging;
}
