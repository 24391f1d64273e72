#pragma once
// The main window's graph-mode commands and the view operations that go with
// them, below the widgets: entering each of the eight modes, the enable and check
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
    // Registers the eight mode commands, ZoomOut and the scale reset timer with the
    // shell and sizes the work buffers when it says; the destructor takes the
    // commands back.
    explicit GraphController(AppShell& shell, QObject* parent = nullptr);
    ~GraphController() override;
    GraphController(const GraphController&) = delete;
    GraphController& operator=(const GraphController&) = delete;

    // --- the eight mode handlers ---
    void OnStoreRms() { EnterMode(GraphMode::StoreRms); }
    void OnStoreTransient() { EnterMode(GraphMode::StoreTransient); }
    void OnRealTimeEpa() { EnterMode(GraphMode::RealTimeEpa); }
    void OnRealTimeRms() { EnterMode(GraphMode::RealTimeRms); }
    void OnRealTimeFrequency() { EnterMode(GraphMode::RealTimeFrequency); }
    void OnRealTimeApparentPower() { EnterMode(GraphMode::RealTimeApparentPower); }
    void OnRealTimeActivePower() { EnterMode(GraphMode::RealTimeActivePower); }
    void OnRealTimePowerFactor() { EnterMode(GraphMode::RealTimePowerFactor); }
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

    // --- the analysis panel's texts; the panel window shows them while it is open ---
    // Per channel (frequency, period, RMS, peak to peak).
    const std::array<EpaTexts, 2>& EpaPanelTexts() const { return m_epaTexts; }
    const QString& EpaApparentPower() const { return m_epaApparentPower; }
    // P, Q, PF, phi and THD per channel, below S(VA).
    const PowerTexts& EpaPowerTexts() const { return m_epaPowerTexts; }
    // The run's energy so far, active and apparent, below the power rows.
    const QString& EpaActiveEnergy() const { return m_epaActiveEnergy; }
    const QString& EpaApparentEnergy() const { return m_epaApparentEnergy; }
    bool EpaPanelOpen() const { return m_epaPanelOpen; }
    void SetEpaPanelOpen(bool open) { m_epaPanelOpen = open; }
    // Empties CH1's frequency, period, RMS and peak-to-peak texts (the panel closed
    // with the mode; CH2 keeps its own).
    void ClearEpaCh1Texts();
    void SetEpaPanelTexts(const std::array<EpaTexts, 2>& texts) { m_epaTexts = texts; }
    void SetEpaApparentPower(const QString& text) { m_epaApparentPower = text; }
    void SetEpaPowerTexts(const PowerTexts& texts) { m_epaPowerTexts = texts; }
    // Recomputes the energy texts from the run (after a sample, a file read).
    void RefreshEnergyTexts();

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
    void FitActivePowerAxis();
    // The panel's power texts computed from the capture on show.
    void CapturePowerTexts();

    AppShell& m_shell;
    std::array<EpaTexts, 2> m_epaTexts;
    QString m_epaApparentPower;
    PowerTexts m_epaPowerTexts;
    QString m_epaActiveEnergy;
    QString m_epaApparentEnergy;
    bool m_epaPanelOpen = false;
};
