// Setup and set clock through a real pseudo-terminal with the simulator: orvex-dl
// setup and set-clock with their exit codes, and the main window's two dialogs; the
// simulator's command log shows the bytes, and the next download shows the interval
// and the start just set. Each run is bounded to a few seconds.

#include "SimProcess.h"

#include "app/CMainFrame.h"
#include "base/Clock.h"
#include "base/LocalTime.h"
#include "base/Prompts.h"
#include "base/Timers.h"
#include "data/StdataFile.h"
#include "shell/AppShell.h"
#include "support/EventLoop.h"
#include "support/OpenDevices.h"
#include "ui/CCorrectTimeDlg.h"
#include "ui/CNumericEdit.h"
#include "ui/CSetupDlg.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

QApplication& App() {
    static int argc = 1;
    static char name[] = "test_config_e2e";
    static char* argv[] = {name, nullptr};
    static auto* app = new QApplication(argc, argv);
    return *app;
}

struct CliRun {
    int code = -1;
    QString err;
};

CliRun Cli(const QStringList& args) {
    QProcess p;
    p.start(QStringLiteral(DL_CLI_PATH), args);
    if (!p.waitForFinished(20000)) {
        p.kill();
        p.waitForFinished(3000);
        return {};
    }
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            QString::fromLocal8Bit(p.readAllStandardError())};
}

QStringList LogLines(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromLatin1(f.readAll()).split('\n', Qt::SkipEmptyParts);
}

// Downloads from the simulator with orvex-dl and reads the file back.
bool Download(const QString& device, const QString& out, MeasurementSet& set) {
    const CliRun r = Cli({"download", "--port", device, "-o", out});
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    QString error;
    return r.code == 0 && LoadStdataFile(out, set, &error);
}

struct ConfigE2e : ::testing::Test {
    ConfigE2e() { App(); }
    QTemporaryDir dir;
    QString log = dir.filePath("commands.log");
};

TEST_F(ConfigE2e, CliSetupAndSetClockReachTheLoggerAndTheNextDownload) {
    SimProcess sim;
    ASSERT_TRUE(sim.Start({"--samples", "50", "--log", log}));
    CliRun r = Cli(
        {"setup", "--port", sim.device, "--interval", "45", "--unit", "min", "--auto-off", "on"});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    r = Cli({"set-clock", "--port", sim.device, "2026-12-08 01:02:03"});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(LogLines(log), (QStringList{"AA 14 20 2D 01 F4 00 64", "AC 26 12 08 01 02 03 FF"}));

    MeasurementSet set;
    ASSERT_TRUE(Download(sim.device, dir.filePath("run.stdata"), set));
    EXPECT_EQ(set.RmsCount(), 50);
    EXPECT_EQ(set.RmsInterval(), 45 * 60);
    EXPECT_EQ(set.StartTime(), FromLocalFields({2026, 12, 8, 1, 2, 3}));
}

TEST_F(ConfigE2e, CliDefaultsClampAndExitCodes) {
    {
        SimProcess sim;
        ASSERT_TRUE(sim.Start({"--log", log}));
        const CliRun r = Cli({"setup", "--port", sim.device, "--interval", "90", "--unit", "h"});
        EXPECT_EQ(r.code, 0) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains("interval 90 clamped to 24")) << r.err.toStdString();
        EXPECT_EQ(Cli({"setup", "--port", sim.device}).code, 0);
        EXPECT_EQ(LogLines(log),
                  (QStringList{"AA 10 30 18 01 F4 00 64", "AA 10 10 0A 01 F4 00 64"}));
    }
    {
        SimProcess sim;
        ASSERT_TRUE(sim.Start({"--not-logging"}));
        const CliRun r = Cli({"set-clock", "--port", sim.device, "--now"});
        EXPECT_EQ(r.code, 0) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains("press the START button on the DATA LOGGER for three seconds"))
            << r.err.toStdString();
    }
    {
        SimProcess sim;
        ASSERT_TRUE(sim.Start({"--no-ack"}));
        const CliRun r = Cli({"setup", "--port", sim.device});
        EXPECT_EQ(r.code, 6) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains("No acknowledgement from the DATA LOGGER."))
            << r.err.toStdString();
    }
    {
        SimProcess sim;
        ASSERT_TRUE(sim.Start({"--silent"}));
        const CliRun r =
            Cli({"set-clock", "--port", sim.device, "--timeout", "2", "2026-01-01", "00:00:00"});
        EXPECT_EQ(r.code, 3) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains("no logger answered")) << r.err.toStdString();
    }
    // Refused before the port is touched.
    for (const QStringList& args :
         {QStringList{"set-clock", "--port", "/dev/null", "2026-02-30 00:00:00"},
          QStringList{"set-clock", "--port", "/dev/null", "2100-01-01 00:00:00"},
          QStringList{"set-clock", "--port", "/dev/null"},
          QStringList{"setup", "--port", "/dev/null", "--rise", "1001"},
          QStringList{"setup", "--port", "/dev/null", "--unit", "days"},
          QStringList{"setup", "--interval", "5"},
          QStringList{"setup", "--port", "/dev/null", "--timeout", "0"}}) {
        const CliRun r = Cli(args);
        EXPECT_EQ(r.code, 2) << args.join(' ').toStdString() << r.err.toStdString();
        EXPECT_FALSE(r.err.isEmpty());
    }
}

// Presses the dialog's action once it reads "Connected"; the dialogs are modal, so a
// timer does it from inside their event loop.
template <class Dlg, class Act> QStringList RunModal(AppShell& shell, int command, Act act) {
    QStringList titles;
    QTimer watcher;
    watcher.setInterval(10);
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        auto* dlg = qobject_cast<Dlg*>(QApplication::activeModalWidget());
        if (!dlg)
            return;
        if (titles.isEmpty() || titles.back() != dlg->windowTitle())
            titles << dlg->windowTitle();
        if (dlg->windowTitle() == "Connected")
            act(*dlg);
    });
    watcher.start();
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [] {
        if (QWidget* w = QApplication::activeModalWidget())
            w->close(); // never hang the test
    });
    guard.start(8000);
    EXPECT_TRUE(shell.StateOf(command).enabled);
    shell.Execute(command); // returns when the dialog closes
    return titles;
}

TEST_F(ConfigE2e, MainWindowSetupAndCorrectTimeReachTheSimulator) {
    SimProcess sim;
    ASSERT_TRUE(sim.Start({"--samples", "30", "--log", log}));
    qputenv("DATALOGGER_DIR", dir.path().toLocal8Bit());
    qputenv("DATALOGGER_PORTS", sim.device.toLocal8Bit());
    QtTimerTable timers;
    FakePrompts prompts;
    FixedClock now(FromLocalFields({2026, 12, 8, 1, 2, 3}));
    AppShell shell(timers, prompts, now, dir.filePath("LumoDATALOGGER.ini"));
    {
        CMainFrame frame(shell);
        frame.show();
        QStringList titles = RunModal<CSetupDlg>(shell, Cmd::Setup, [](CSetupDlg& d) {
            d.IntervalEdit()->setText("15");
            d.UnitList()->setCurrentIndex(1);
            d.CircularOn()->click();
            QTest::mouseClick(d.SetupButton(), Qt::LeftButton);
        });
        EXPECT_EQ(titles, (QStringList{"Connecting...", "Connected"}));
        // The acknowledgement closes the port before the next dialog opens.
        ASSERT_TRUE(PumpUntil([&] { return !ProcessHolds(sim.device); }, 3000));
        titles = RunModal<CCorrectTimeDlg>(shell, Cmd::CorrectTime, [](CCorrectTimeDlg& d) {
            QTest::mouseClick(d.OkButton(), Qt::LeftButton);
        });
        EXPECT_FALSE(titles.isEmpty());
        EXPECT_EQ(titles.back(), "Connected");
        PumpUntil([&] { return LogLines(log).size() >= 2; }, 3000);
        EXPECT_EQ(LogLines(log),
                  (QStringList{"AA 18 20 0F 01 F4 00 64", "AC 26 12 08 01 02 03 FF"}));
        EXPECT_EQ(shell.PromptOnDownload(), 1);
        // The clock's acknowledgement closes the port, without a message.
        EXPECT_TRUE(PumpUntil([&] { return !ProcessHolds(sim.device); }, 3000));
        EXPECT_TRUE(prompts.shown.empty());
    }
    MeasurementSet set;
    ASSERT_TRUE(Download(sim.device, dir.filePath("after.stdata"), set));
    EXPECT_EQ(set.RmsInterval(), 15 * 60);
    EXPECT_EQ(set.StartTime(), FromLocalFields({2026, 12, 8, 1, 2, 3}));
}

} // namespace
