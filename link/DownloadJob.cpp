#include "link/DownloadJob.h"

DownloadJob::DownloadJob(HeadlessLink& link, QObject* parent)
    : QObject(parent), m_host(link), m_link(link.Link()) {
    const DownloadTransfer* download = &m_link.Download();
    connect(download, &DownloadTransfer::downloadFinished, this, [this](DownloadOutcome o) {
        m_ended = true;
        m_outcome = o;
    });
    connect(download, &DownloadTransfer::loadingOpened, this, [this](int range) {
        m_range = range;
        emit progress(1, range);
    });
    connect(download, &DownloadTransfer::loadingProgress, this,
            [this](int pos) { emit progress(pos, m_range); });
    connect(&m_link, &LinkController::loadingText, this, &DownloadJob::loadingText);
}

bool DownloadJob::PressDownloadWhenConnected() {
    if (m_link.Dialog(LinkDialog::Download).state != LinkState::Connected ||
        !m_link.ActionAllowed(LinkDialog::Download))
        return false;
    m_link.StartTransfer(TransferKind::Download);
    m_link.CloseDialog(LinkDialog::Download);
    m_link.KillLinkTimers();
    return true;
}

DownloadResult DownloadJob::Run(int limitMs, int searchMs) {
    const int64_t begin = m_host.ElapsedMs();
    int64_t startedAt = -1;
    m_ended = false;
    m_link.OnDialogCommand();
    m_link.OpenDialog(LinkDialog::Download);
    // NotConnected after a failed probe cycle is not the end: the search scans
    // again 1000 ms later, as it does behind the dialog.
    while (m_host.ElapsedMs() - begin < limitMs) {
        m_host.Wait();
        if (m_ended)
            break;
        if (startedAt >= 0)
            continue;
        if (m_host.ElapsedMs() - begin > searchMs)
            break;
        if (PressDownloadWhenConnected())
            startedAt = m_host.ElapsedMs();
    }
    if (startedAt >= 0)
        m_transferMs = m_host.ElapsedMs() - startedAt;
    if (m_ended)
        return ResultOf(m_outcome);
    if (startedAt < 0) {
        m_link.CloseDialog(LinkDialog::Download);
        m_link.KillLinkTimers();
        return DownloadResult::NoLogger;
    }
    return DownloadResult::TimedOut;
}

DownloadResult DownloadJob::ResultOf(DownloadOutcome o) const {
    switch (o) {
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
    case DownloadOutcome::Cancelled:
        return DownloadResult::Cancelled;
    }
    return DownloadResult::Interrupted;
}
