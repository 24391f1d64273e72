#include "shell/LinkSession.h"

#include "data/PreviousMeasurement.h"
#include "shell/AppShell.h"

#include <QDir>

LinkSession::LinkSession(AppShell& shell, SerialChannel& channel, QObject* parent)
    : QObject(parent), m_shell(shell), m_channel(channel),
      m_link(channel, shell.Timers(), shell.UserPrompts(), shell.Set()) {
    for (int id : LinkController::kTimerIds)
        m_shell.RegisterTimer(id, [this, id] { m_link.OnTimer(id); });
    connect(&m_link.Search(), &PortSearch::statusText, this,
            [this](const QString& text) { m_shell.ShowStatus(text); });
    connect(&m_link.Download(), &DownloadTransfer::downloadCompleted, this,
            &LinkSession::HandOverDownload);
    // Connected first, so that the message is up before anyone else hears of the end.
    connect(&m_link.Download(), &DownloadTransfer::downloadFinished, this,
            &LinkSession::OnDownloadFinished);
}

void LinkSession::OnDownloadFinished(DownloadOutcome outcome) {
    const DownloadEndNotice notice = DownloadEndMessage(outcome);
    if (notice.text)
        m_shell.UserPrompts().Message(QString::fromLatin1(notice.text), notice.icon);
}

bool LinkSession::BeginDownloadCommand() {
    if (m_link.LoadingShown())
        return false;
    // The user took the save prompt back: no dialog, nothing searched.
    if (!m_shell.OfferSaveBeforeDownload())
        return false;
    m_link.OnDialogCommand();
    return true;
}

bool LinkSession::PressDownload() {
    if (!m_link.ActionAllowed(LinkDialog::Download))
        return false;
    m_link.StartTransfer(TransferKind::Download);
    m_link.CloseDialog(LinkDialog::Download);
    m_link.KillLinkTimers();
    m_shell.SetDataUnsaved(true);
    return true;
}

void LinkSession::DownloadDialogClosed() {
    if (m_link.Dialog(LinkDialog::Download).open)
        m_link.CloseDialog(LinkDialog::Download);
    m_link.KillLinkTimers();
    // Closed without a download: a probe may have left the port open, and an open
    // port is locked against every other program until the next dialog.
    if (!m_link.TransferMode())
        m_channel.Close();
}

void LinkSession::CancelDownload() {
    m_link.CancelTransfer();
}

void LinkSession::HandOverDownload() {
    MeasurementSet& set = m_shell.Set();
    // The old file stays as it was when this fails; the status bar says why.
    QString keepError;
    if (!WritePreviousMeasurement(set, &keepError))
        m_shell.ShowStatus(
            QStringLiteral("The previous measurement could not be kept in %1: %2")
                .arg(QDir::toNativeSeparators(PreviousMeasurementPath()), keepError));
    m_shell.Graph().SetPointWindow(1, set.RmsCount());
    m_shell.SizeWorkBuffers(WorkBufferOccasion::AfterDownload);
    m_shell.ExecuteDirect(Cmd::StoreRms);
    m_shell.UpdateAllViews();
    emit downloadHandedOver();
    // Data nobody saved yet: a second download, an Open and closing must ask before
    // replacing them (a save before may have cleared what they ask by).
    m_shell.SetDataUnsaved(true);
    m_shell.SetPromptOnDownload(true);
    m_shell.SetPromptOnOpen(true);
    m_shell.Graph().ShowGraphIfWelcome();
    set.SetLoadedFromFile(false);
    m_shell.SetShownFile(QString());
    m_shell.Timers().Start(FrameTimer::ResetScale, 50);
    WorkReport done;
    done.what = WorkDone::Downloaded;
    done.samples = set.RmsCount();
    done.records = set.TrCount();
    m_shell.Notices().Report(done);
}
