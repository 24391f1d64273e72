#pragma once
// The real-time acquisition attached to the main window's state: the Run and Stop
// commands with their enable rules, the decisions of the real-time dialog's RUN
// button, the transfer's timers in the frame's table, the samples stored in the
// measurement set, the graph modes refreshed per sample, the analysis panel's
// texts, the journal that keeps a running acquisition (and every waveform of it)
// through a crash, the previous-measurement file of a run and the stop when the
// window closes. The messages of a run that ended by a fault and the
// previous-measurement file are the session's business; the transfer only reports.

#include "data/RtJournal.h"
#include "graph/RealTimeSampler.h"
#include "link/LinkController.h"

#include "shell/AppShell.h"

#include <QObject>

class GraphController;

class RealTimeSession final : public RealTimeRunState {
    Q_OBJECT
public:
    // Takes over the link's real-time transfer: its reports come here, and the shell
    // asks this session whether a run is on.
    RealTimeSession(AppShell& shell, LinkController& link, QObject* parent = nullptr);
    ~RealTimeSession() override;
    RealTimeSession(const RealTimeSession&) = delete;
    RealTimeSession& operator=(const RealTimeSession&) = delete;

    // The graph view's controller: its modes are refreshed per sample and its
    // analysis panel texts filled. Null detaches.
    void AttachGraph(GraphController* graph) { m_graph = graph; }
    // Where the journal is kept (the data directory unless a test says otherwise).
    void SetJournalPath(const QString& path) { m_journalPath = path; }
    const QString& JournalPath() const { return m_journalPath; }

    RealTimeTransfer& Transfer() { return m_transfer; }
    const RealTimeTransfer& Transfer() const { return m_transfer; }
    RealTimeSampler& Sampler() { return m_sampler; }
    LinkController& Link() { return m_link; }
    bool Running() const { return m_transfer.Running(); }
    bool RealTimeRunning() const override { return m_transfer.Running(); }

    // --- Run command and its dialog ---
    // Run (32917) up to the dialog: false while the loading dialog is shown (the
    // command then does nothing); otherwise starts the search or supervision.
    bool BeginRunCommand();
    // The dialog's edits: whether a value is in range.
    static bool IntervalValid(int seconds) {
        return seconds >= kRtIntervalMin && seconds <= kRtIntervalMax;
    }
    static bool CountValid(int count) { return count >= kRtPointsMin && count <= kRtMaxPoints; }
    // RUN pressed: true when the dialog closes (the acquisition has started). Nothing
    // happens while Connecting or with a value out of range; when NotConnected the
    // dialog's message says why.
    bool PressRun(int intervalSeconds, int count);
    // The dialog has closed, by any button or its close box.
    void RealTimeDialogClosed();
    // The Stop command (32772) and the close sequence.
    void Stop();

    // At start-up: a journal left by a run that did not end is kept as an .rtdata
    // file and the user told once. Returns the message shown, or empty.
    QString RecoverJournal();

signals:
    // The Run command wants the real-time dialog (the window opens it, modal).
    void runDialogRequested();
    // The run ended; the window refreshes its commands. A fault's message follows.
    void runEnded(RealTimeEnd why);
    // The analysis panel's texts changed.
    void panelTextsChanged();

private:
    QString RecoverJournalAt(const QString& journal);
    void OnFirstFrame();
    void OnSampleDue();
    void OnSampleTaken();
    void OnEnded(RealTimeEnd why);
    void BeginJournal();
    // The previous-measurement file of a run that took samples.
    void WriteRunPrevious();

    AppShell& m_shell;
    LinkController& m_link;
    RealTimeTransfer& m_transfer;
    RealTimeSampler m_sampler;
    QString m_journalPath = RtJournal::DefaultPath();
    // The journal of the newest run; it also keeps that run's waveforms.
    std::shared_ptr<RtJournal> m_journal;
    GraphController* m_graph = nullptr;
};
