#pragma once
// The main window on a test shell, shown at 1200 x 800: built once the
// application object exists, with its data folder the test's own, and taken down
// before the shell it stands on.

#include "app/CMainFrame.h"
#include "shell/AppShell.h"
#include "support/ShellFixture.h"
#include "support/TestApp.h"

#include <QCoreApplication>

#include <memory>

class MainWindowFixture : public ShellParts {
protected:
    MainWindowFixture() {
        App();
        qputenv("DATALOGGER_DIR", dir.path().toLocal8Bit());
        shell = std::make_unique<AppShell>(timers, prompts, now, SettingsFilePath());
        frame = std::make_unique<CMainFrame>(*shell);
        frame->resize(1200, 800);
        frame->show();
        QCoreApplication::processEvents();
    }
    ~MainWindowFixture() override {
        frame.reset();
        shell.reset();
        qunsetenv("DATALOGGER_DIR");
    }

    std::unique_ptr<AppShell> shell;
    std::unique_ptr<CMainFrame> frame;
};
