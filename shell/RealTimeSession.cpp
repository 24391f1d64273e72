#include "shell/RealTimeSession.h"

#include "data/PreviousMeasurement.h"
#include "data/RtdataCodec.h"
#include "shell/AppShell.h"
#include "shell/GraphController.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

namespace {

const QString kNone = QStringLiteral("NONE");

bool IsLiveMode(GraphMode m) {
    return m == GraphMode::RealTimeEpa || IsRealTimeMode(m);
}

} // namespace

RealTimeSession::RealTimeSession(AppShell& shell, LinkController& link, QObject* parent)
    : RealTimeRunState(parent), m_shell(shell), m_link(link), m_transfer(link.RealTime()) {
    m_transfer.SetClock(&m_shell.Now());
    connect(&m_transfer, &RealTimeTransfer::runStarted, this, &RealTimeSession::OnFirstFrame);
    connect(&m_transfer, &RealTimeTransfer::frameTaken, this,
            [this] { m_shell.Graph().ShowGraphIfWelcome(); });
    connect(&m_transfer, &RealTimeTransfer::sampleDue, this, &RealTimeSession::OnSampleDue);
    connect(&m_transfer, &RealTimeTransfer::sampleTaken, this, &RealTimeSession::OnSampleTaken);
    connect(&m_transfer, &RealTimeTransfer::viewsChanged, this,
            [this] { m_shell.UpdateAllViews(); });
    connect(&m_transfer, &RealTimeTransfer::runEnded, this, &RealTimeSession::OnEnded);
    m_shell.SetRealTimeRunState(this);

    m_shell.RegisterCommand(
        Cmd::Run,
        [this] {
            if (BeginRunCommand())
                emit runDialogRequested();
        },
        [this] {
            return CommandState{!m_shell.RealTimeRunning(), false};
        });
    m_shell.RegisterCommand(
        Cmd::Stop, [this] { Stop(); },
        [this] {
            return CommandState{m_shell.RealTimeRunning(), false};
        });
    connect(&m_shell, &AppShell::stopRealTimeRequested, this, &RealTimeSession::Stop);
}

RealTimeSession::~RealTimeSession() {
    m_shell.RegisterCommand(Cmd::Run, {});
    m_shell.RegisterCommand(Cmd::Stop, {});
    m_transfer.SetClock(nullptr);
}

bool RealTimeSession::BeginRunCommand() {
    if (m_link.LoadingShown())
        return false;
    m_link.OnDialogCommand();
    return true;
}

bool RealTimeSession::PressRun(int intervalSeconds, int count) {
    if (m_link.Dialog(LinkDialog::RealTime).state == LinkState::Connecting)
        return false;
    if (!IntervalValid(intervalSeconds) || !CountValid(count))
        return false;
    if (!m_link.ActionAllowed(LinkDialog::RealTime))
        return false;
    m_shell.Settings().m_rtInterval = intervalSeconds;
    m_shell.Settings().m_rtPointsRequested = count;
    m_transfer.Configure(count, intervalSeconds);
    m_link.StartTransfer(TransferKind::RealTime);
    m_link.CloseDialog(LinkDialog::RealTime);
    m_link.KillLinkTimers();
    return true;
}

void RealTimeSession::RealTimeDialogClosed() {
    if (m_link.Dialog(LinkDialog::RealTime).open)
        m_link.CloseDialog(LinkDialog::RealTime);
}

void RealTimeSession::Stop() {
    if (m_shell.RealTimeRunning())
        m_transfer.StopRealTime();
}

void RealTimeSession::OnFirstFrame() {
    GraphModel& g = m_shell.Graph();
    if (m_graph) {
        const EpaTexts none{kNone, kNone, kNone, kNone, kNone, kNone};
        m_graph->SetEpaPanelTexts({none, none});
        m_graph->SetEpaApparentPower(kNone);
        m_graph->SetEpaPowerTexts(NonePowerTexts());
        m_graph->RefreshEnergyTexts();
        emit panelTextsChanged();
    }
    g.SetFirstPoint(1);
    if (!IsRealTimeMode(g.Mode())) {
        g.SetMode(GraphMode::RealTimeEpa);
        const size_t m = size_t(ModeNo::RealTimeEpa - 1);
        for (int c = 0; c < 2; ++c)
            g.SetAxisRange(c, m_shell.Settings().m_yAxisLow[m][size_t(c)],
                           m_shell.Settings().m_yAxisHigh[m][size_t(c)]);
    }
    m_shell.SizeWorkBuffers(WorkBufferOccasion::AtRealTimeStart);
    BeginJournal();
}

void RealTimeSession::BeginJournal() {
    RealTimeRun& run = m_shell.Set().Run();
    RtRunHeader h;
    h.interval = std::clamp(m_transfer.Interval(), kRtdataIntervalMin, kRtdataIntervalMax);
    h.startTime = run.StartTime();
    h.utcOffset = RtLocalUtcOffset(run.StartTime());
    h.kind = {run.ChannelKind(0), run.ChannelKind(1)};
    // A run whose journal cannot be written still runs; it only keeps no waveforms
    // and nothing of it survives a crash, which the status bar says.
    m_journal = std::make_shared<RtJournal>(m_journalPath);
    QString error;
    if (!m_journal->Begin(h, &error)) {
        m_shell.ShowStatus(QStringLiteral("The run's journal cannot be written: %1").arg(error));
        m_journal.reset();
        return;
    }
    run.SetWaveforms(m_journal);
}

void RealTimeSession::OnSampleDue() {
    const bool panel = m_graph && m_graph->EpaPanelOpen();
    std::array<EpaTexts, 2> texts{};
    if (panel)
        texts = m_graph->EpaPanelTexts();
    MeasurementSet& set = m_shell.Set();
    if (!m_sampler.Sample(set, panel ? &texts : nullptr))
        return;
    if (!panel)
        return;
    m_graph->SetEpaPanelTexts(texts);
    m_graph->SetEpaPowerTexts(
        MakePowerTexts(set.Run().Pending().power, {RtChannelKind(set, 0), RtChannelKind(set, 1)}));
    // The panel's S(VA) follows every sample, as its RMS texts do (left at the
    // first sample it would contradict the two values above it).
    if (HasApparentPower(m_shell.Set()))
        m_graph->SetEpaApparentPower(ApparentPowerText(texts[0].rms, texts[1].rms));
    emit panelTextsChanged();
}

void RealTimeSession::OnSampleTaken() {
    AppShell& s = m_shell;
    MeasurementSet& set = s.Set();
    s.SetDataUnsaved(true);
    s.SetPromptOnOpen(true);
    s.SetPromptOnDownload(true);
    if (set.RtCount() == 1)
        s.SetShownFile(QString()); // the samples of this run are in no file yet
    s.Notices().RunProgress(set.RtCount(), m_transfer.PointsRequested());
    if (m_journal) {
        const int n = set.RtCount() - 1;
        const RealTimeRun& run = set.Run();
        const RtJournalSample sample{run.SampleTime(n), run.Rms()[size_t(n)],
                                     run.Freq()[size_t(n)]};
        if (!m_journal->Append(sample, m_transfer.LastFrameWaveform()))
            set.Run().SetWaveforms(nullptr); // the waveforms kept no longer match
    }

    // The run's energy in the panel counts the sample just taken.
    if (m_graph && m_graph->EpaPanelOpen()) {
        m_graph->RefreshEnergyTexts();
        emit panelTextsChanged();
    }

    GraphModel& g = s.Graph();
    const GraphMode mode = g.Mode();
    if (IsLiveMode(mode)) {
        // The first sample prepares the view fully.
        if (set.RtCount() == 1)
            g.SetMode(GraphMode::None);
        s.ExecuteDirect(ModeCommandId(mode));
    }
    if (set.RtCount() == 1) {
        s.UpdateAllViews();
        return;
    }
    if (g.Mode() == GraphMode::StoreRms || g.Mode() == GraphMode::StoreTransient)
        return;
    if (!g.Zoom().Dragging()) {
        if (g.Mode() != GraphMode::RealTimeEpa)
            s.AppendRealTimePoint();
        else if (m_graph)
            m_graph->Repaint();
    }
    if (m_graph)
        m_graph->RefreshInfoBar();
}

void RealTimeSession::OnEnded(RealTimeEnd why) {
    WriteRunPrevious();
    // The file's name goes; the waveforms stay readable for browsing the run.
    if (m_journal)
        m_journal->Finish();
    WorkReport done;
    done.what = WorkDone::RunEnded;
    done.samples = m_shell.Set().RtCount();
    done.records = m_transfer.PointsRequested();
    done.loggerSilent = why == RealTimeEnd::Silence;
    m_shell.Notices().Report(done);
    emit runEnded(why);
    if (const char* message = RealTimeEndMessage(why))
        m_shell.UserPrompts().Message(QString::fromLatin1(message));
}

void RealTimeSession::WriteRunPrevious() {
    // The run goes to a file of its own: the stored set's previous measurement (the
    // last download) stays recallable, and the run can be recalled too.
    const RealTimeRun& run = m_shell.Set().Run();
    if (run.Count() <= 0)
        return;
    const RtWaveformSource* waves = run.KeepsWaveforms() ? run.Waveforms() : nullptr;
    QString error;
    if (!SaveRtdataFile(PreviousRunPath(), RunImage(run), waves, &error))
        m_shell.ShowStatus(QStringLiteral("The run could not be kept as the previous "
                                          "measurement: %1")
                               .arg(error));
}

QString RealTimeSession::RecoverJournal() {
    QString text = RecoverJournalAt(m_journalPath);
    // A crash under an earlier version left its journal beside the settings.
    const QString former = RtJournal::FormerPath();
    if (m_journalPath == RtJournal::DefaultPath() &&
        QFileInfo(former) != QFileInfo(m_journalPath)) {
        const QString more = RecoverJournalAt(former);
        text = text.isEmpty() ? more : more.isEmpty() ? text : text + QLatin1Char('\n') + more;
    }
    return text;
}

QString RealTimeSession::RecoverJournalAt(const QString& journal) {
    RtRecovered r = RecoverRtJournal(journal);
    if (r.path.isEmpty()) {
        if (r.samples > 0 && !r.error.isEmpty())
            m_shell.ShowStatus(r.error);
        return {};
    }
    r.path = QDir::toNativeSeparators(r.path);
    QString text = RtRecoveredMessage(r);
    m_shell.UserPrompts().Message(text, PromptIcon::Information);
    return text;
}
