#pragma once
// Download Data through the main window, as the user does it: the command opens the
// modal download dialog, which a timer watches while the command runs. For widget
// tests against the simulator; the dialog's titles are noted as it goes through them.

#include "base/Ids.h"
#include "shell/AppShell.h"
#include "ui/CDownloadDlg.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QStringList>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

// Runs Download Data; `tick` sees the dialog every 10 ms and returns true once it is
// done with it (the dialog is then closed unless the tick closed it). After
// `limitMs` the dialog is closed as Cancel would, so that a test never hangs.
// Returns the dialog's titles in order.
inline QStringList
DriveDownloadDialog(AppShell& shell, const std::function<bool(CDownloadDlg&)>& tick, int limitMs) {
    QStringList titles;
    QTimer watcher;
    watcher.setInterval(10);
    QElapsedTimer t;
    t.start();
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        auto* dlg = qobject_cast<CDownloadDlg*>(QApplication::activeModalWidget());
        if (!dlg)
            return;
        if (titles.isEmpty() || titles.back() != dlg->windowTitle())
            titles << dlg->windowTitle();
        if (tick(*dlg) || t.elapsed() > limitMs)
            if (QApplication::activeModalWidget() == dlg)
                dlg->reject();
    });
    watcher.start();
    EXPECT_TRUE(shell.StateOf(Cmd::Download).enabled);
    shell.Execute(Cmd::Download); // returns when the dialog has closed
    return titles;
}

// The tick that presses "Download" once the logger is connected.
inline bool PressDownloadWhenConnected(CDownloadDlg& dlg) {
    if (dlg.windowTitle() != QLatin1String("Connected"))
        return false;
    QTest::mouseClick(dlg.DownloadButton(), Qt::LeftButton);
    return true;
}
