#include "app/RealTimeCommands.h"

#include "app/CMainFrame.h"
#include "app/CSplashWnd.h"
#include "app/LinkCommands.h"
#include "shell/AppShell.h"
#include "shell/LinkSession.h"
#include "shell/RealTimeSession.h"
#include "ui/CDTView.h"
#include "ui/CInstrumentView.h"
#include "ui/CPowerAnalysisDlg.h"
#include "ui/CRealTimeDlg.h"

#include <QAction>
#include <QMenuBar>
#include <QStyle>
#include <QTimer>
#include <QToolBar>

namespace {

class CRealTimeHost : public QObject {
public:
    CRealTimeHost(CMainFrame& frame, AppShell& shell, LinkSession& link)
        : QObject(&frame), m_frame(frame), m_shell(shell), m_session(shell, link.Link()) {
        setObjectName(QStringLiteral("realTimeHost"));
        GraphController& graph = frame.GraphView()->Graph();
        m_session.AttachGraph(&graph);
        m_panel = new CPowerAnalysisDlg(graph, frame.GraphView(), &frame);

        connect(&m_session, &RealTimeSession::runDialogRequested, this, [this] {
            CRealTimeDlg dlg(m_session, m_shell.UserPrompts(), m_shell.Settings().m_rtInterval,
                             m_shell.Settings().m_rtPointsRequested, &m_frame);
            dlg.exec();
            m_frame.UpdateCommandUI();
        });
        connect(&m_session, &RealTimeSession::runEnded, this,
                [this] { m_frame.UpdateCommandUI(); });
        connect(&m_session, &RealTimeSession::panelTextsChanged, m_panel,
                &CPowerAnalysisDlg::Refresh);
        connect(&graph, &GraphController::panelTextsChanged, m_panel, &CPowerAnalysisDlg::Refresh);

        // The panel comes with the waveform graph and goes with every other mode.
        connect(&graph, &GraphController::modeWindowsChanged, this, [this](GraphMode mode) {
            if (mode == GraphMode::RealTimeEpa) {
                CInstrumentView* pane = m_frame.InstrumentView();
                QRect r(pane->mapToGlobal(QPoint(0, 0)), pane->size());
                if (!pane->isVisible() || pane->width() == 0)
                    r.setWidth(0);
                m_panel->Show(r);
            } else {
                m_panel->Close();
            }
        });
        AddCommands();
        // Said once the window is up, not in the middle of building it.
        QTimer::singleShot(0, this, [this] { RecoverOnceSplashIsGone(); });
    }

    RealTimeSession& Session() { return m_session; }

private:
    // Showing the splash runs the event loop, so this may come while the splash is
    // being shown: a message box then ran its own loop inside the splash's show, the
    // splash closed and went away under it, and the program crashed once the box was
    // answered. The message waits until the splash has gone.
    void RecoverOnceSplashIsGone() {
        if (auto* splash = m_frame.findChild<CSplashWnd*>()) {
            connect(
                splash, &QObject::destroyed, this, [this] { m_session.RecoverJournal(); },
                Qt::QueuedConnection);
            return;
        }
        m_session.RecoverJournal();
    }

    void AddCommands() {
        QStyle* s = m_frame.style();
        m_frame.Action(Cmd::Run)->setIcon(s->standardIcon(QStyle::SP_MediaPlay));
        m_frame.Action(Cmd::Stop)->setIcon(s->standardIcon(QStyle::SP_MediaStop));
        struct Mode {
            int command;
            const char* text;
            const char* prompt;
        };
        const Mode modes[] = {
            {Cmd::RealTimeEpa, "EPA", "Show the real time waveform and the power analysis\nEPA"},
            {Cmd::RealTimeRms, "RMS", "Show the real time RMS graph\nRMS"},
            {Cmd::RealTimeFrequency, "F(Hz)", "Show the real time frequency graph\nF(Hz)"},
            {Cmd::RealTimeApparentPower, "S(VA)", "Show the real time apparent power graph\nS(VA)"},
            {Cmd::RealTimeActivePower, "P(W)", "Show the real time active power graph\nP(W)"},
            {Cmd::RealTimePowerFactor, "PF", "Show the real time power factor graph\nPF"},
        };
        for (const Mode& m : modes)
            m_frame.AddCommand(m.command, QString::fromLatin1(m.text), m.prompt)
                ->setCheckable(true);

        QToolBar* bar = m_frame.addToolBar(QStringLiteral("Real Time"));
        bar->setObjectName(QStringLiteral("realTimeBar"));
        bar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        bar->addAction(m_frame.Action(Cmd::Run));
        bar->addAction(m_frame.Action(Cmd::Stop));
        bar->addSeparator();
        for (const Mode& m : modes)
            bar->addAction(m_frame.Action(m.command));

        for (QAction* a : m_frame.menuBar()->actions()) {
            if (!a->menu() || a->text() != QLatin1String("&Instrument(I)"))
                continue;
            QMenu* menu = a->menu();
            menu->addSeparator();
            menu->addAction(m_frame.Action(Cmd::Run));
            menu->addSeparator();
            menu->addAction(m_frame.Action(Cmd::Stop));
            for (const Mode& m : modes) {
                menu->addSeparator();
                menu->addAction(m_frame.Action(m.command));
            }
        }
        m_frame.UpdateCommandUI();
    }

    CMainFrame& m_frame;
    AppShell& m_shell;
    RealTimeSession m_session;
    CPowerAnalysisDlg* m_panel = nullptr;
};

} // namespace

void InstallRealTimeCommands(CMainFrame& frame, AppShell& shell) {
    LinkSession* link = FrameLinkSession(frame);
    if (!link || FrameRealTimeSession(frame))
        return;
    new CRealTimeHost(frame, shell, *link);
}

RealTimeSession* FrameRealTimeSession(CMainFrame& frame) {
    auto* host =
        frame.findChild<QObject*>(QStringLiteral("realTimeHost"), Qt::FindDirectChildrenOnly);
    return host ? &static_cast<CRealTimeHost*>(host)->Session() : nullptr;
}
