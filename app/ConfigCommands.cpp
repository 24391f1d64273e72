#include "app/ConfigCommands.h"

#include "app/CMainFrame.h"
#include "app/LinkCommands.h"
#include "shell/AppShell.h"
#include "shell/ConfigSession.h"
#include "shell/LinkSession.h"
#include "ui/CCorrectTimeDlg.h"
#include "ui/CSetupDlg.h"

namespace {

class CConfigHost : public QObject {
public:
    CConfigHost(CMainFrame& frame, AppShell& shell, LinkController& link)
        : QObject(&frame), m_frame(frame), m_session(shell, link) {
        setObjectName(QStringLiteral("configHost"));
        auto idle = [s = &shell] { return CommandState{!s->RealTimeRunning(), false}; };
        shell.RegisterCommand(
            Cmd::Setup, [this] { RunSetupCommand(); }, idle);
        shell.RegisterCommand(
            Cmd::CorrectTime, [this] { RunCorrectTimeCommand(); }, idle);
    }

    ConfigSession& Session() { return m_session; }

private:
    void RunSetupCommand() {
        if (!m_session.BeginSetupCommand())
            return;
        CSetupDlg dlg(m_session, &m_frame);
        dlg.exec();
    }
    void RunCorrectTimeCommand() {
        if (!m_session.BeginCorrectTimeCommand())
            return;
        CCorrectTimeDlg dlg(m_session, &m_frame);
        dlg.exec();
    }

    CMainFrame& m_frame;
    ConfigSession m_session;
};

} // namespace

void InstallConfigCommands(CMainFrame& frame, AppShell& shell) {
    LinkSession* link = FrameLinkSession(frame);
    if (!link || FrameConfigSession(frame))
        return;
    new CConfigHost(frame, shell, link->Link());
}

ConfigSession* FrameConfigSession(CMainFrame& frame) {
    auto* host =
        frame.findChild<QObject*>(QStringLiteral("configHost"), Qt::FindDirectChildrenOnly);
    return host ? &static_cast<CConfigHost*>(host)->Session() : nullptr;
}
