#include "shell/AppShell.h"

#include "base/IniFile.h"

AppShell::AppShell(TimerTable& timers, Prompts& prompts, const Clock& clock, QString settingsPath,
                   QObject* parent)
    : QObject(parent), m_timers(timers), m_prompts(prompts), m_clock(clock),
      m_settingsPath(std::move(settingsPath)) {
    m_timers.SetHandler([this](int id) { OnTimer(id); });
    RegisterTimer(FrameTimer::Close, [this] {
        m_timers.Kill(FrameTimer::Close);
        m_readyToClose = true;
        emit closeWindowRequested();
    });
    RegisterShellCommands();
}

void AppShell::LoadFrameSettings() {
    IniFile ini;
    ini.Load(m_settingsPath);
    ::LoadFrameSettings(ini, m_settings);
}

void AppShell::LoadViewSettings() {
    IniFile ini;
    ini.Load(m_settingsPath);
    ::LoadViewSettings(ini, m_settings);
}

bool AppShell::SaveSettings() const {
    return SaveSettingsFile(m_settingsPath, m_settings);
}

void AppShell::RegisterCommand(int id, Handler handler, Rule rule) {
    m_commands[id] = Command{std::move(handler), std::move(rule)};
}

bool AppShell::HasHandler(int id) const {
    auto it = m_commands.find(id);
    return it != m_commands.end() && it->second.handler;
}

CommandState AppShell::StateOf(int id) const {
    auto it = m_commands.find(id);
    if (it == m_commands.end() || !it->second.handler)
        return {};
    if (!it->second.rule)
        return {true, false};
    return it->second.rule();
}

bool AppShell::Execute(int id) {
    if (!StateOf(id).enabled)
        return false;
    return ExecuteDirect(id);
}

bool AppShell::ExecuteDirect(int id) {
    auto it = m_commands.find(id);
    if (it == m_commands.end() || !it->second.handler)
        return false;
    // Copy: a handler may re-register commands while it runs.
    Handler h = it->second.handler;
    h();
    return true;
}

void AppShell::RegisterTimer(int id, Handler handler) {
    m_timerHandlers[id] = std::move(handler);
}

void AppShell::OnTimer(int id) {
    auto it = m_timerHandlers.find(id);
    if (it == m_timerHandlers.end()) {
        // Nobody owns this timer any more; stop it rather than let it tick forever.
        m_timers.Kill(id);
        return;
    }
    Handler h = it->second;
    h();
}

void AppShell::RequestClose() {
    // A second close request during the 100 ms delay changes nothing.
    if (m_closing)
        return;
    m_closing = true;
    SaveSettings();
    if (m_graph.LastPoint() > 1 && m_dataUnsaved == 1 && m_promptOnOpen == 1) {
        const PromptAnswer answer =
            m_prompts.Message(QStringLiteral("Do you want to save the data before closing?"),
                              PromptIcon::Question, PromptButtons::YesNoCancel);
        // Cancel takes the close back. So does Yes without a save (the file dialog
        // cancelled, or writing failed and said so): closing then would take the
        // measurement with it, though the user asked to keep it.
        if (answer == PromptAnswer::Cancel ||
            (answer == PromptAnswer::Yes && m_saveCommand && !m_saveCommand())) {
            m_closing = false;
            return;
        }
        if (answer == PromptAnswer::Yes) {
            m_dataUnsaved = 0;
            m_promptOnOpen = 0;
        }
    }
    emit closeDataListRequested();
    if (RealTimeRunning())
        emit stopRealTimeRequested();
    m_timers.Start(FrameTimer::Close, 100);
}

void AppShell::SizeWorkBuffers(WorkBufferOccasion occasion) {
    emit workBuffersSized(WorkBufferPoints(m_set, occasion, m_settings.m_rtPointsRequested));
}

void AppShell::OpenFileAtStart(const QString& path) {
    if (m_openDocument)
        m_openDocument(path);
    else
        m_prompts.Message(QStringLiteral("Measurement files cannot be opened by this build."));
}

void AppShell::RegisterShellCommands() {
    auto always = [] { return CommandState{true, false}; };
    RegisterCommand(
        Cmd::Exit, [this] { RequestClose(); }, always);
}
