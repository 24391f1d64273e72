#pragma once
// File > Export > Waveform as COMTRADE: the waveform the graph shows, as a
// configuration file and an ASCII data file that protection and power-quality
// tools open. What is on show is a real-time capture in the EPA graph (a browsed
// sample's kept waveform, or the newest frame during and after a run) or the
// transient record in the stored TR graph; anything else greys the command.

#include "data/Comtrade.h"
#include "shell/AppShell.h"

#include <QString>

class GraphModel;

class WaveformExport {
public:
    // Registers the command; it goes with this object.
    explicit WaveformExport(AppShell& shell);
    ~WaveformExport();
    WaveformExport(const WaveformExport&) = delete;
    WaveformExport& operator=(const WaveformExport&) = delete;

    enum class OnShow { Nothing, Capture, TransientRecord };
    OnShow Shown() const;
    CommandState State() const { return {Shown() != OnShow::Nothing, false}; }

    // The record of the waveform on show, named after the file shown or, for data
    // from no file, after `fallbackStation`; no channel when nothing is on show.
    ComtradeRecord RecordOnShow(const QString& fallbackStation) const;
    // What the file chooser proposes: the file shown (or "sample"/"tr") with the
    // sample's or the record's number.
    QString ProposedName() const;

    // Takes the waveform on show, asks for a name, then for leave to replace files
    // already there, and writes NAME.cfg and NAME.dat; the status bar names them. A
    // message says why when they could not be written. False only on failure.
    bool Export();

private:
    const MeasurementSet& Set() const;
    const GraphModel& Graph() const;

    AppShell& m_shell;
    QString m_lastFolder;
};
