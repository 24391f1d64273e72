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
