#pragma once
// The real graph view on a shown stored graph, as the zoom and the display dialog
// tests drive it: the shell with its settings file in the test's folder, the view
// at 1200 x 800 on manual timers, and a stored RMS graph of 500 points (CH1 230 ...
// 236 V, CH2 5 ... 7 A, one a minute from 03/02/10 14:05).

#include "base/LocalTime.h"
#include "shell/AppShell.h"
#include "support/ShellFixture.h"
#include "support/StoredSetBuilder.h"
#include "support/TestApp.h"
#include "ui/CDTView.h"

#include <QAction>
#include <QCoreApplication>
#include <QImage>
#include <QToolBar>

#include <memory>

class StoredGraphView : public ShellParts {
protected:
    StoredGraphView() : viewTimers(clock) {
        App();
        qputenv("DATALOGGER_DIR", dir.path().toLocal8Bit());
    }
    ~StoredGraphView() override {
        view.reset();
        shell.reset();
        qunsetenv("DATALOGGER_DIR");
    }

    // Builds the shell from the settings file as it is now, the view, and the graph.
    void ShowStoredGraph() {
        shell = std::make_unique<AppShell>(timers, prompts, now, SettingsFilePath());
        shell->LoadFrameSettings();
        shell->LoadViewSettings();
        view = std::make_unique<CDTView>(*shell, nullptr, &viewTimers);
        view->resize(1200, 800);
        view->show();
        QCoreApplication::processEvents();
        std::vector<float> ch1, ch2;
        for (int i = 0; i < 500; ++i) {
            ch1.push_back(230.0f + float(i % 7));
            ch2.push_back(5.0f + float(i % 3));
        }
        shell->Set().ReplaceStored(StoredSetBuilder()
                                       .Interval(60)
                                       .Start(FromLocalFields({2010, 2, 3, 14, 5, 0}))
                                       .ChannelCount(2)
                                       .Channel(0, ch1, "V")
                                       .Channel(1, ch2, "A")
                                       .Build());
        shell->SizeWorkBuffers(WorkBufferOccasion::AfterDownload);
        shell->ExecuteDirect(Cmd::StoreRms);
        shell->Graph().SetDisplayContent(GraphModel::kContentGraph);
        Grab();
    }

    // Composes the graph afresh and returns what the screen would show.
    QImage Grab() {
        view->repaint();
        return view->grab().toImage();
    }
    GraphModel& G() { return shell->Graph(); }
    QAction* ToolAction(int command) {
        for (QAction* a : view->ViewToolBar()->actions())
            if (a->objectName() == QStringLiteral("cmd%1").arg(command))
                return a;
        return nullptr;
    }

    ManualTimerTable viewTimers;
    std::unique_ptr<AppShell> shell;
    std::unique_ptr<CDTView> view;
};
