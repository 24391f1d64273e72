#include "app/LinkCommands.h"

#include "app/CMainFrame.h"
#include "link/QtSerialChannel.h"
#include "shell/AppShell.h"
#include "shell/LinkSession.h"
#include "ui/CDTView.h"
#include "ui/CDownloadDlg.h"
#include "ui/CLoadingDlg.h"

#include <QLabel>
#include <QStatusBar>

namespace {

// Owns the serial channel, the session and the loading dialog for the frame's life.
class CLinkHost : public QObject {
public:
    CLinkHost(CMainFrame& frame, AppShell& shell)
        : QObject(&frame), m_frame(frame), m_session(shell, m_channel) {
        setObjectName(QStringLiteral("linkHost"));
        m_loading = new CLoadingDlg(&frame);
        LinkController& link = m_session.Link();
        const DownloadTransfer* download = &link.Download();
        connect(download, &DownloadTransfer::loadingOpened, m_loading,
                [this](int range) { m_loading->Open(range, m_frame.GraphView()); });
        connect(download, &DownloadTransfer::loadingProgress, m_loading, &CLoadingDlg::SetPosition);
        connect(download, &DownloadTransfer::loadingClosed, m_loading, &QWidget::hide);
        connect(&link, &LinkController::loadingText, m_loading, &CLoadingDlg::SetText);
        connect(m_loading, &CLoadingDlg::cancelRequested, this,
                [this] { m_session.CancelDownload(); });

        shell.RegisterCommand(
            Cmd::Download, [this] { RunDownloadCommand(); },
            [s = &shell] {
                return CommandState{!s->RealTimeRunning(), false};
            });

        if (qEnvironmentVariable("DATALOGGER_SIMULATED") == QLatin1String("1")) {
            auto* label = new QLabel(QStringLiteral("simulated logger"), &frame);
            label->setObjectName(QStringLiteral("simulatedLogger"));
            frame.statusBar()->addPermanentWidget(label);
        }
    }

    LinkSession& Session() { return m_session; }

private:
    void RunDownloadCommand() {
        if (!m_session.BeginDownloadCommand())
            return;
        CDownloadDlg dlg(m_session, &m_frame);
        dlg.exec();
    }

    CMainFrame& m_frame;
    QtSerialChannel m_channel;
    LinkSession m_session;
    CLoadingDlg* m_loading = nullptr;
};

} // namespace

void InstallLinkCommands(CMainFrame& frame, AppShell& shell) {
    if (!FrameLinkSession(frame))
        new CLinkHost(frame, shell);
}

LinkSession* FrameLinkSession(CMainFrame& frame) {
    auto* host = frame.findChild<QObject*>(QStringLiteral("linkHost"), Qt::FindDirectChildrenOnly);
    return host ? &static_cast<CLinkHost*>(host)->Session() : nullptr;
}
