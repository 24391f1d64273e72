#pragma once
// The main window's graph-mode commands and the view operations that go with
// them, below the widgets: entering each of the six modes, the enable and check
// rules of their commands, the information-bar texts, the transient record shown,
// the zoom reset (the frame's scale reset timer and the view's ZoomOut button) and the default
// mode after a file load. What touches windows is told by signals.

#include "graph/GraphModel.h"
#include "graph/PowerAnalysis.h"
#include "shell/AppShell.h"

#include <QObject>

#include <array>

class GraphController final : public QObject {
    Q_OBJECT
public:
    // Registers the six mode commands, ZoomOut and the scale reset timer with the
    // shell and sizes the work buffers when it says; the destructor takes the
    // commands back.
    explicit GraphController(AppShell& shell, QObject* parent = nullptr);
    ~GraphController() override;
    GraphController(const GraphController&) = delete;
    GraphController& operator=(const GraphController&) = delete;

    // --- the six mode handlers ---
    void OnStoreRms() { EnterMode(GraphMode::StoreRms); }
    void OnStoreTransient() { EnterMode(GraphMode::StoreTransient); }
    void OnRealTimeEpa() { EnterMode(GraphMode::RealTimeEpa); }
    void OnRealTimeRms() { EnterMode(GraphMode::RealTimeRms); }
    void OnRealTimeFrequency() { EnterMode(GraphMode::RealTimeFrequency); }
    void OnRealTimeApparentPower() { EnterMode(GraphMode::RealTimeApparentPower); }
    void EnterMode(GraphMode mode);
    // Enable and check state of a mode's command.
    CommandState ModeState(GraphMode mode) const;

    // Info-bar texts of transient record `record` (0-based) over the point window.
    void ShowTransientRecord(int record);
    // Picking a record in the transient list: its channel and unit, its window of
    // 251 points, its texts, a repaint and the base scale.
    void SelectTransientRecord(int record);
    // Back to the base scale with no scroll; the view resets its bars and repaints.
    void ResetScale();
    // First paint after a file load: the mode the file's tag asks for.
    void ApplyModeFromFile();
    // Refreshes the info-bar texts of the current mode.
    void FillRecInfo();

    // --- the kept waveforms of a run ---
    // Shows the kept waveform of sample n (0-based) in the EPA graph, with the panel's
    // values computed from it, its time in the information bar and its number in the
    // status bar. False (nothing changes) during a run, whose EPA graph follows the
    // newest frame, or when no waveform of that sample is kept.
    bool OpenSampleWaveform(int n);
    // While a kept waveform is shown: the one `delta` samples on (-1 previous, +1
    // next, clamped to the run).
    bool StepSampleWaveform(int delta);
    // The first or the last sample's.
    bool OpenEdgeSampleWaveform(bool last);
    // The graph shown can open the waveform of a point of it.
    bool CanOpenSampleWaveform() const;

    GraphInputs Inputs() const {
        return GraphInputs{m_shell.Set(), m_shell.Settings(), m_shell.RealTimeRunning()};
    }
    GraphModel& Model() { return m_shell.Graph(); }
    AppShell& Shell() { return m_shell; }

    // Texts of the analysis panel (per channel) and its apparent power; the panel
    // window shows them while it is open.
    std::array<EpaTexts, 2> m_epaTexts;
    QString m_epaApparentPower;
    PowerTexts m_epaPowerTexts; // P, Q, PF, phi and THD per channel, below S(VA)
    bool m_epaPanelOpen = false;

    // The graph and the info bar repaint; the info bar alone.
    void Repaint() { emit repaintRequested(); }
    void RefreshInfoBar() { emit infoBarChanged(); }

signals:
    void repaintRequested();                 // the graph and the info bar
    void modeWindowsChanged(GraphMode mode); // side windows and splitter of a mode
    void scaleReset();                       // bars disabled, plot repainted
    void infoBarChanged();                   // the info bar alone
    void panelTextsChanged();                // the analysis panel's texts changed

private:
    void PrepareMode(GraphMode mode);
    void ApplyModeChannels(GraphMode mode);
    void ApplyModePointWindow(GraphMode mode);
    bool ApplyTransientRecord(int record);

    AppShell& m_shell;
};
