#pragma once
// The main window's state and decisions, without any widget: the settings, the
// measurement set, the graph display state, the frame's flags, the command table
// with its enable rules, the frame's timer dispatch and the close sequence. The
// window classes above show this state and forward the user's actions to it.

#include "base/Clock.h"
#include "base/Ids.h"
#include "base/Prompts.h"
#include "base/Settings.h"
#include "base/Timers.h"
#include "data/MeasurementSet.h"
#include "graph/GraphModel.h"
#include "shell/WorkNotices.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <map>
#include <vector>

struct CommandState {
    bool enabled = false;
    bool checked = false;
};

// Whoever runs the real-time acquisitions answers at once whether one is on, from
// the only record of it. The shell holds it weakly: once it is gone no run is on.
class RealTimeRunState : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    virtual bool RealTimeRunning() const = 0;
};

class AppShell : public QObject {
    Q_OBJECT
public:
    AppShell(TimerTable& timers, Prompts& prompts, const Clock& clock, QString settingsPath,
             QObject* parent = nullptr);

    // --- settings file ---
    void LoadFrameSettings();
    void LoadViewSettings();
    bool SaveSettings() const;
    const QString& SettingsPath() const { return m_settingsPath; }

    // --- commands ---
    // The command table: a handler runs a command, a rule answers at once whether it
    // is enabled and checked (both are asked synchronously, never stored as events).
    using Handler = std::function<void()>;
    using Rule = std::function<CommandState()>;
    // A command without a handler is shown disabled and does nothing.
    void RegisterCommand(int id, Handler handler, Rule rule = {});
    bool HasHandler(int id) const;
    CommandState StateOf(int id) const;
    // Runs the command if it has a handler and its rule enables it.
    bool Execute(int id);
    // Runs the handler whatever the enable rule says (the welcome screen's buttons).
    bool ExecuteDirect(int id);

    // --- timers of the main frame ---
    void RegisterTimer(int id, Handler handler);
    void OnTimer(int id);

    // --- close sequence ---
    // Questions the close sequence and the file commands ask and need answered at
    // once (synchronous seams, filled by the file layer):
    // The Save command; true only when the data were saved. A cancelled file dialog
    // and a failed write both leave the data unsaved, and whoever asked for the save
    // then goes no further. Without it the close sequence saves nothing.
    void SetSaveCommand(std::function<bool()> save) { m_saveCommand = std::move(save); }
    // Closes the data list, stops a running acquisition (stopRealTimeRequested) and
    // asks the window to close 100 ms later (closeWindowRequested).
    void RequestClose();

    // --- documents ---
    // Reads a measurement file into the set, at once (a synchronous seam the file
    // layer fills; without it this build opens no file).
    void SetOpenDocument(std::function<void(const QString& path)> open) {
        m_openDocument = std::move(open);
    }
    // A file named on the command line: handed to the document's open. The window
    // calls it once it is shown, so that a message about the file has a window to
    // stand over; a refused file leaves the welcome screen.
    void OpenFileAtStart(const QString& path);
    bool IsClosing() const { return m_closing; }
    bool ReadyToClose() const { return m_readyToClose; }

    // --- integration points between the layers ---
    // Every view that shows the set repaints (the document's "notify all views").
    void UpdateAllViews() { emit viewsUpdated(); }
    // After a real-time sample was stored: the graph view draws the newest segment
    // (or repaints), the lists follow.
    void AppendRealTimePoint() { emit realTimePointAppended(); }
    // Whoever replaces the data sizes the graph work buffers.
    void SizeWorkBuffers(WorkBufferOccasion occasion);
    // The Download prompt (offer to save the data shown), answered at once: true when
    // the download may go on, false when the user took it back (Cancel, or Yes and
    // then no save). A synchronous seam the file layer fills; without it the download
    // goes on.
    void SetOfferSaveBeforeDownload(std::function<bool()> offer) {
        m_offerSaveBeforeDownload = std::move(offer);
    }
    bool OfferSaveBeforeDownload() {
        return m_offerSaveBeforeDownload ? m_offerSaveBeforeDownload() : true;
    }
    void ShowStatus(const QString& text) { emit statusText(text); }

    // What the status bar says once work is done.
    WorkNotices& Notices() { return m_notices; }
    // The file whose data are shown: empty for data downloaded or gathered live and
    // not saved yet (and before anything is shown).
    const QString& ShownFile() const { return m_shownFile; }
    void SetShownFile(const QString& path) { m_shownFile = path; }

    // --- state ---
    TimerTable& Timers() { return m_timers; }
    Prompts& UserPrompts() { return m_prompts; }
    const Clock& Now() const { return m_clock; }

    // The settings, the measurement set and the graph model the window works on. The
    // set and the model keep their own invariants; callers change them through their
    // operations.
    AppSettings& Settings() { return m_settings; }
    const AppSettings& Settings() const { return m_settings; }
    MeasurementSet& Set() { return m_set; }
    const MeasurementSet& Set() const { return m_set; }
    GraphModel& Graph() { return m_graph; }
    const GraphModel& Graph() const { return m_graph; }

    // The panes the View menu shows or hides.
    bool InstrumentPaneShown() const { return m_instrumentPaneShown == 1; }
    void SetInstrumentPaneShown(bool shown) { m_instrumentPaneShown = shown ? 1 : 0; }
    bool InfoBarShown() const { return m_infoBarShown == 1; }
    void SetInfoBarShown(bool shown) { m_infoBarShown = shown ? 1 : 0; }
    // The Option menu's prompts: offer to save before Open and before Download.
    bool PromptOnOpen() const { return m_promptOnOpen == 1; }
    void SetPromptOnOpen(bool prompt) { m_promptOnOpen = prompt ? 1 : 0; }
    bool PromptOnDownload() const { return m_promptOnDownload == 1; }
    void SetPromptOnDownload(bool prompt) { m_promptOnDownload = prompt ? 1 : 0; }
    // The data shown are held by no file yet (downloaded or gathered live since).
    bool DataUnsaved() const { return m_dataUnsaved == 1; }
    void SetDataUnsaved(bool unsaved) { m_dataUnsaved = unsaved ? 1 : 0; }

    void SetRealTimeRunState(const RealTimeRunState* state) { m_runState = state; }
    bool RealTimeRunning() const { return m_runState && m_runState->RealTimeRunning(); }

signals:
    // Every view that shows the set repaints.
    void viewsUpdated();
    // A real-time sample was stored.
    void realTimePointAppended();
    // The graph work buffers are sized for `points` (the data were replaced).
    void workBuffersSized(int64_t points);
    // A status-bar text.
    void statusText(const QString& text);
    // The close sequence: the data list closes, a running acquisition stops, and
    // 100 ms later the window closes.
    void closeDataListRequested();
    void stopRealTimeRequested();
    void closeWindowRequested();

private:
    void RegisterShellCommands();

    AppSettings m_settings;
    MeasurementSet m_set;
    GraphModel m_graph;
    // The frame's flags as the settings file keeps them (1 on, 0 off).
    uint8_t m_instrumentPaneShown = 1;
    uint8_t m_infoBarShown = 1;
    uint8_t m_promptOnOpen = 1;
    uint8_t m_dataUnsaved = 0;
    uint8_t m_promptOnDownload = 0;
    std::function<bool()> m_saveCommand;
    std::function<void(const QString& path)> m_openDocument;
    std::function<bool()> m_offerSaveBeforeDownload;
    TimerTable& m_timers;
    Prompts& m_prompts;
    const Clock& m_clock;
    QString m_settingsPath;
    struct Command {
        Handler handler;
        Rule rule;
    };
    std::map<int, Command> m_commands;
    std::map<int, Handler> m_timerHandlers;
    bool m_closing = false;
    bool m_readyToClose = false;
    WorkNotices m_notices;
    QString m_shownFile;
    QPointer<const RealTimeRunState> m_runState;
};
