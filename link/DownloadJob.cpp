#include "link/DownloadJob.h"

#include <QCoreApplication>
#include <QTimer>

namespace {
// The start command is repeated once after 500 ms; a logger that has not answered
// well after that will not.
constexpr int kHeaderWaitMs = 3000;
} // namespace

DownloadJob::DownloadJob(LinkController& link) : m_link(link) {
    m_link.onDownloadEnded = [this](DownloadOutcome o) {
        m_ended = true;
        m_outcome = o;
    };
    m_link.onLoadingOpen = [this](int range) {
        m_range = range;
        if (onProgress)
            onProgress(1, range);
    };
    m_link.onLoadingProgress = [this](int pos) {
        if (onProgress)
            onProgress(pos, m_range);
    };
}

DownloadResult DownloadJob::Run(int limitMs, int searchMs) {
    QElapsedTimer total;
    total.start();
    QElapsedTimer sinceStart;
    bool started = false;
    m_ended = false;
    m_link.OnDialogCommand();
    m_link.OpenDialog(LinkDialog::Download);
    // Sleeps in the event loop until something happens; the tick bounds each wait so
    // that the limits are checked.
    QTimer tick;
    tick.start(20);
    while (total.elapsed() < limitMs) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        if (m_ended)
            break;
        const LinkDialogState& d = m_link.Dialog(LinkDialog::Download);
        if (!started) {
            if (d.title == QLatin1String(LinkText::kNotConnected) || total.elapsed() > searchMs) {
                m_link.CloseDialog(LinkDialog::Download);
                m_link.KillLinkTimers();
                return DownloadResult::NoLogger;
            }
            if (d.title == QLatin1String(LinkText::kConnected) &&
                m_link.ActionAllowed(LinkDialog::Download)) {
                m_link.StartTransfer(TransferKind::Download);
                m_link.CloseDialog(LinkDialog::Download);
                m_link.KillLinkTimers();
                started = true;
                sinceStart.start();
            }
        } else if (m_link.m_receiveState == ReceiveState::ExpectHeader && m_link.m_transferMode &&
                   sinceStart.elapsed() > kHeaderWaitMs) {
            m_link.m_transferMode = false;
            m_link.ConfigureChannel();
            return DownloadResult::NoAnswer;
        }
    }
    if (started)
        m_transferMs = sinceStart.elapsed();
    if (!m_ended) {
        if (m_link.Dialog(LinkDialog::Download).open) {
            m_link.CloseDialog(LinkDialog::Download);
            m_link.KillLinkTimers();
        }
        return DownloadResult::TimedOut;
    }
    switch (m_outcome) {
    case DownloadOutcome::Completed:
        return DownloadResult::Completed;
    case DownloadOutcome::NoData:
        return DownloadResult::NoData;
    case DownloadOutcome::LoggingNow:
        return DownloadResult::LoggingNow;
    case DownloadOutcome::Interrupted:
        return DownloadResult::Interrupted;
    case DownloadOutcome::DamagedHeader:
        return DownloadResult::DamagedHeader;
    }
    return DownloadResult::Interrupted;
}
