#include "app/HarmonicsWindow.h"

#include "app/CMainFrame.h"
#include "base/LocalTime.h"
#include "base/Settings.h"
#include "shell/AppShell.h"
#include "ui/CHarmonicsDlg.h"
#include "ui/ReportPrinter.h"

#include <QAction>
#include <QMenuBar>
#include <QPointer>
#include <QToolBar>

#include <array>

namespace {

class CHarmonicsHost : public QObject {
public:
    CHarmonicsHost(CMainFrame& frame, AppShell& shell)
        : QObject(&frame), m_frame(frame), m_shell(shell) {
        setObjectName(QStringLiteral("harmonicsHost"));
        auto* open = m_open = new QAction(QStringLiteral("&Harmonics"), &frame);
        open->setObjectName(QStringLiteral("harmonicsAction"));
        open->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_H));
        open->setStatusTip(QStringLiteral("Show the harmonic orders of the waveform on show"));
        open->setToolTip(QStringLiteral("Harmonics"));
        connect(open, &QAction::triggered, this, &CHarmonicsHost::Open);
        if (auto* bar = frame.findChild<QToolBar*>(QStringLiteral("realTimeBar"))) {
            bar->addSeparator();
            bar->addAction(open);
        }
        for (QAction* a : frame.menuBar()->actions())
            if (a->menu() && a->text() == QLatin1String("&Window(W)"))
                a->menu()->addAction(open);
        // Every sample of a run replaces the waveform on show; reading a file or
        // starting a new run replaces the run.
        connect(&shell.Notices(), &WorkNotices::runProgress, this, [this] { Follow(true); });
        connect(&shell, &AppShell::viewsUpdated, this, [this] { Follow(false); });
        Follow(false);
    }

    CHarmonicsDlg* Window() const { return m_window; }

private:
    // What tells a new waveform from the one shown: the run, its count, the sample
    // browsed and the samples themselves.
    struct Key {
        int count = 0;
        TimeValue start = 0;
        int points = 0;
        int sample = -1;
        RealTimeRun::Wave wave{};
        bool operator==(const Key&) const = default;
    };
    Key Current() const {
        const RealTimeRun& run = m_shell.Set().Run();
        return {run.Count(), run.StartTime(), run.CapturePoints(), run.CaptureSample(),
                run.Capture()};
    }

    void Open() {
        if (!m_window) {
            m_window = new CHarmonicsDlg(&m_frame);
            connect(m_window, &CHarmonicsDlg::printRequested, this, &CHarmonicsHost::Print);
        }
        Refresh();
        m_window->show();
        m_window->raise();
        m_window->activateWindow();
    }

    bool Captured() const { return m_shell.Set().Run().CapturePoints() == kRtWavePoints; }

    // Greyed without a waveform to analyse; an open window then shows "--".
    void Follow(bool sampleTaken) {
        m_open->setEnabled(Captured());
        if (!m_window || !m_window->isVisible())
            return;
        if (sampleTaken || Current() != m_shownKey)
            Refresh();
    }

    void Refresh() {
        m_shownKey = Current();
        const MeasurementSet& s = m_shell.Set();
        const RealTimeRun& run = s.Run();
        const bool captured = Captured();
        // A browsed sample's number, else the newest sample's.
        const int n = run.CaptureSample() >= 0 ? run.CaptureSample() + 1 : run.Count();
        QString heading;
        if (captured && n > 0)
            heading = QStringLiteral("Sample %1, %2").arg(n).arg(FormatDateTime(run.CaptureTime()));
        else if (captured)
            heading = QStringLiteral("Waveform on show");
        const std::array<QString, 2> units{s.RtChannelUnit(0), s.RtChannelUnit(1)};
        m_window->ShowHarmonics(AnalyseHarmonics(
            captured ? std::span<const FloatPair>(run.Capture()) : std::span<const FloatPair>(),
            {RtChannelKind(s, 0), RtChannelKind(s, 1)}, units, heading));
    }

    void Print() {
        if (!m_window || m_window->Shown().channels.empty())
            return;
        m_frame.Printer().Print(
            m_window, HarmonicsReport(std::make_shared<const SampleHarmonics>(m_window->Shown())));
    }

    CMainFrame& m_frame;
    AppShell& m_shell;
    QAction* m_open = nullptr;
    QPointer<CHarmonicsDlg> m_window;
    Key m_shownKey{};
};

} // namespace

void InstallHarmonicsWindow(CMainFrame& frame, AppShell& shell) {
    if (!frame.findChild<QObject*>(QStringLiteral("harmonicsHost"), Qt::FindDirectChildrenOnly))
        new CHarmonicsHost(frame, shell);
}

CHarmonicsDlg* FrameHarmonicsWindow(CMainFrame& frame) {
    auto* host =
        frame.findChild<QObject*>(QStringLiteral("harmonicsHost"), Qt::FindDirectChildrenOnly);
    return host ? static_cast<CHarmonicsHost*>(host)->Window() : nullptr;
}
