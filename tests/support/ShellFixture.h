#pragma once
// The shell as the tests drive it: timers on a manual clock, scripted prompts, a
// fixed wall clock, and the settings file in a folder of its own that goes with
// the test.

#include "base/Clock.h"
#include "base/Prompts.h"
#include "base/Timers.h"
#include "shell/AppShell.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

// A real-time run as the shell sees it, switched on and off by the test instead of
// a link: the shell asks it from its construction on.
class FakeRealTimeRun final : public RealTimeRunState {
public:
    explicit FakeRealTimeRun(AppShell& shell, bool running = true) : m_running(running) {
        shell.SetRealTimeRunState(this);
    }
    void SetRunning(bool running) { m_running = running; }
    bool RealTimeRunning() const override { return m_running; }

private:
    bool m_running;
};

// What a shell stands on. Widget tests build the shell themselves once the
// application object exists, and take it down before these.
class ShellParts : public ::testing::Test {
protected:
    QString SettingsFilePath() const { return dir.filePath("LumoDATALOGGER.ini"); }

    QTemporaryDir dir;
    ManualClock clock;
    ManualTimerTable timers{clock};
    FakePrompts prompts;
    FixedClock now;
};

// The same with the shell built on them.
class ShellFixture : public ShellParts {
protected:
    AppShell shell{timers, prompts, now, SettingsFilePath()};
};
