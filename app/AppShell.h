#pragma once
// The main window's state and decisions, without any widget: the settings, the
// measurement set, the graph display state, the frame's flags, the command table
// with its enable rules, the frame's timer dispatch and the close sequence. The
// window classes above show this state and forward the user's actions to it.

#include "base/Clock.h"
#include "base/Prompts.h"
#include "base/Settings.h"
#include "base/Timers.h"
#include "data/MeasurementSet.h"
#include "graph/GraphModel.h"

#include <QString>

#include <functional>
#include <map>
#include <vector>

// Command identifiers of the menu, tool bar and accelerators.
namespace Cmd {
inline constexpr int FileNew = 57600;
inline constexpr int FileOpenFramework = 57601;
inline constexpr int FileSaveFramework = 57603;
inline constexpr int FilePrintFramework = 57607;
inline constexpr int Save = 32814;
inline constexpr int Open = 32827;
inline constexpr int PrintSetup = 57606;
inline constexpr int PrintPreviewGraph = 32889;
inline constexpr int PrintPreviewList = 32890;
inline constexpr int PrintGraph = 32891;
inline constexpr int PrintList = 32892;
inline constexpr int Exit = 57665;
inline constexpr int CorrectTime = 32840;
inline constexpr int Setup = 32869;
inline constexpr int Download = 32847;
inline constexpr int ImportToList = 32920;
inline constexpr int PreviousMeasurement = 32882;
inline constexpr int ToggleInstrument = 32884;
inline constexpr int ToggleInfoBar = 32885;
inline constexpr int About = 57664;
inline constexpr int Help = 32779;
inline constexpr int DataList = 32836;
inline constexpr int StoreRms = 32904;
inline constexpr int StoreTransient = 32906;
inline constexpr int RealTimeEpa = 32907;
inline constexpr int RealTimeFrequency = 32908;
inline constexpr int RealTimeApparentPower = 32911;
inline constexpr int RealTimeRms = 32913;
inline constexpr int Run = 32917;
inline constexpr int Stop = 32772;
inline constexpr int NextPane = 57680;
inline constexpr int PreviousPane = 57681;
} // namespace Cmd

// Main-frame timer ids.
namespace FrameTimer {
inline constexpr int Close = 2;
inline constexpr int PortScan = 4;
inline constexpr int Probe = 5;
inline constexpr int Supervision = 6;
inline constexpr int ResetScale = 8;
inline constexpr int DownloadWatchdog = 9;
inline constexpr int BlockRepeat = 10;
inline constexpr int StartRepeat = 12;
inline constexpr int RealTimeWatchdog = 13;
inline constexpr int RealTimeTick = 14;
inline constexpr int RealTimeRestart = 15;
} // namespace FrameTimer

struct CommandState {
    bool enabled = false;
    bool checked = false;
};

class AppShell {
public:
    AppShell(TimerTable& timers, Prompts& prompts, const Clock& clock, QString settingsPath);

    // --- settings file ---
    void LoadFrameSettings();
    void LoadViewSettings();
    bool SaveSettings() const;
    const QString& SettingsPath() const { return m_settingsPath; }

    // --- commands ---
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
    // Hooks that later parts fill: Save command with report, stopping a running
    // acquisition, closing the data list, and the window's own final close.
    // The Save command; returns false only when writing failed (a cancelled file
    // dialog is not a failure).
    std::function<bool()> onSaveCommand;
    Handler onStopRealTime;
    Handler onCloseDataList;
    Handler onCloseWindow;
    void RequestClose();

    // --- documents ---
    // Reads a measurement file into the set (filled by the file layer).
    std::function<void(const QString& path)> onOpenDocument;
    // A file named on the command line: handed to the document's open.
    void OpenFileAtStart(const QString& path);
    bool IsClosing() const { return m_closing; }
    bool ReadyToClose() const { return m_readyToClose; }

    // --- integration points between the layers ---
    // Every view that shows the set registers here; UpdateAllViews repaints them all
    // (the document's "notify all views").
    void AddViewListener(Handler h) { m_viewListeners.push_back(std::move(h)); }
    // After a real-time sample was stored: the graph view draws the newest segment
    // (or repaints). The graph view fills the hook.
    Handler onAppendRealTimePoint;
    void AppendRealTimePoint() {
        if (onAppendRealTimePoint)
            onAppendRealTimePoint();
    }
    void UpdateAllViews();
    // Whoever replaces the data sizes the graph work buffers (the graph layer fills
    // the hook with its allocation).
    std::function<void(int64_t points)> onSizeWorkBuffers;
    void SizeWorkBuffers(WorkBufferOccasion occasion);
    // The Download prompt (offer to save the data shown); true when the download may
    // go on. Filled by the file layer.
    std::function<bool()> onOfferSaveBeforeDownload;
    bool OfferSaveBeforeDownload() {
        return onOfferSaveBeforeDownload ? onOfferSaveBeforeDownload() : true;
    }
    // Status-bar text (the window fills it).
    std::function<void(const QString&)> onStatusText;
    void ShowStatus(const QString& text) {
        if (onStatusText)
            onStatusText(text);
    }

    // --- state ---
    TimerTable& Timers() { return m_timers; }
    Prompts& UserPrompts() { return m_prompts; }
    const Clock& Now() const { return m_clock; }

    AppSettings m_settings;
    MeasurementSet m_set;
    GraphModel m_graph;
    uint8_t m_instrumentPaneShown = 1;
    uint8_t m_infoBarShown = 1;
    uint8_t m_realTimeIdle = 1;
    uint8_t m_promptOnOpen = 1;
    uint8_t m_dataUnsaved = 0;
    uint8_t m_promptOnDownload = 0;

    bool RealTimeRunning() const { return m_realTimeIdle == 0; }

private:
    void RegisterShellCommands();

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
    std::vector<Handler> m_viewListeners;
    bool m_closing = false;
    bool m_readyToClose = false;
};
