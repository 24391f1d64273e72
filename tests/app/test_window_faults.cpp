// The main window against a misbehaving logger and line, through real pseudo-terminals
// and the simulator: Download Data with its dialog, the loading, the message the link
// gives (recorded by the prompts seam, never shown). Each case checks that the window
// ends with the message orvex-dl gives for the same fault, that the set shown before
// and the previous-measurement file are exactly as they were (or, where the link
// recovers, hold the recording and nothing else), that no descriptor of the port is
// left open, and that the next download succeeds and equals the recording. One test a
// case, each bounded; each prints its row of the fault table. Where the simulator is
// silent from some point on, the time-outs after it are skipped on the timer table's
// clock instead of waited out (the table's times are the ones reported).

#include "app/CMainFrame.h"
#include "app/LinkCommands.h"
#include "base/Clock.h"
#include "base/Prompts.h"
#include "base/Timers.h"
#include "data/PreviousMeasurement.h"
#include "data/StdataFile.h"
#include "link/Recording.h"
#include "shell/AppShell.h"
#include "shell/LinkSession.h"
#include "sim/LoggerImage.h"
#include "support/EventLoop.h"
#include "support/OpenDevices.h"
#include "support/Simulator.h"
#include "support/SkippingTimerTable.h"
#include "support/TestApp.h"
#include "support/WindowDownload.h"
#include "ui/CDownloadDlg.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QSerialPort>
#include <QTemporaryDir>

#include <algorithm>

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <ostream>
#include <string>

namespace {

constexpr int kSamples = 1000; // the recording every simulator here serves
constexpr const char* kInterruption = "Communication interruption!";
constexpr const char* kConnectFailed = "Connecting failed. Ensure logger inserted and try again.";

QByteArray ReadBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool SameExtremeTexts(const MeasurementSet& a, const MeasurementSet& b) {
    for (int row = 0; row < 10; ++row) {
        for (int ch = 0; ch < 2; ++ch) {
            if (a.ExtremeText(row, ch) != b.ExtremeText(row, ch))
                return false;
        }
    }
    return true;
}

// Every array and description of the stored half, compared value for value.
bool SameStored(const MeasurementSet& a, const MeasurementSet& b) {
    return a.ChannelRms(0) == b.ChannelRms(0) && a.ChannelRms(1) == b.ChannelRms(1) &&
           a.TrWave() == b.TrWave() && a.TrTimes() == b.TrTimes() &&
           a.TrUnitCodes() == b.TrUnitCodes() && a.TrChannelCodes() == b.TrChannelCodes() &&
           a.StartTime() == b.StartTime() && a.RmsInterval() == b.RmsInterval() &&
           a.RmsCount() == b.RmsCount() && a.ChannelCount() == b.ChannelCount() &&
           a.ChannelPresent(0) == b.ChannelPresent(0) &&
           a.ChannelPresent(1) == b.ChannelPresent(1) && a.ChannelUnit(0) == b.ChannelUnit(0) &&
           a.ChannelUnit(1) == b.ChannelUnit(1) && a.TrCount() == b.TrCount() &&
           a.TrLevelHigh() == b.TrLevelHigh() && a.TrLevelLow() == b.TrLevelLow() &&
           SameExtremeTexts(a, b) && a.StoredGeneration() == b.StoredGeneration() &&
           EncodeStdata(a) == EncodeStdata(b);
}

// A second program holding the port (tests/app/port_holder.cpp).
class PortHolder {
public:
    bool Start(const QString& device) {
        m_process.start(QStringLiteral(DL_PORT_HOLDER_PATH), {device});
        if (!m_process.waitForStarted(3000))
            return false;
        QElapsedTimer t;
        t.start();
        while (!m_process.canReadLine() && m_process.state() == QProcess::Running &&
               t.elapsed() < 3000)
            m_process.waitForReadyRead(50);
        return m_process.canReadLine() && m_process.readLine().trimmed() == "held";
    }
    void Release() {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.closeWriteChannel();
        if (!m_process.waitForFinished(3000)) {
            m_process.kill();
            m_process.waitForFinished(3000);
        }
    }
    ~PortHolder() { Release(); }

private:
    QProcess m_process;
};

enum class Ends {
    Interrupted, // "Communication interruption!", the data shown kept
    Recovered,   // the link got over the fault: the recording, nothing else
    NoAnswer,    // the probe: "Not Connected" and the failed-connection line
    PortHeld,    // the scan: the port is busy, named in the message line
};

// From when on the simulator sends nothing more, so that the time-outs that follow
// may be skipped.
enum class Silent {
    Never,
    FromTheStart,   // it answers nothing at all
    AfterTheHeader, // it answers no block request
    AfterTheKill,   // it is killed during the download, its device gone
};

struct Case {
    const char* id;   // the test's name
    const char* name; // its row in the printed table
    QStringList sim;  // fault switches on top of --samples 1000
    Ends ends;
    bool killDuring = false; // the simulator goes away once blocks come in
    bool holdPort = false;   // a second program has the port
    Silent silent = Silent::Never;
};

void PrintTo(const Case& c, std::ostream* os) {
    *os << c.id;
}

class WindowFaults : public ::testing::TestWithParam<Case> {
protected:
    WindowFaults() {
        App();
        qputenv("DATALOGGER_DIR", dir.path().toLocal8Bit());
    }
    ~WindowFaults() override {
        frame.reset();
        shell.reset();
        qunsetenv("DATALOGGER_DIR");
        qunsetenv("DATALOGGER_PORTS");
    }

    void Run(const Case& c);

    QTemporaryDir dir;
    // The platform's timers, or, where the simulator falls silent, the same on a
    // clock that skips the silence.
    QtTimerTable platformTimers;
    SkippingTimerTable skippingTimers;
    FakePrompts prompts;
    SystemClock clock;
    std::unique_ptr<AppShell> shell;
    std::unique_ptr<CMainFrame> frame;
};

void WindowFaults::Run(const Case& c) {
    auto sim = std::make_unique<SimProcess>();
    ASSERT_TRUE(sim->Start(QStringList{"--samples", QString::number(kSamples)} + c.sim)) << c.name;
    const LoggerRecording rec = sim->Recording();
    const QString device = sim->device;
    PortHolder holder;
    if (c.holdPort) {
        ASSERT_TRUE(holder.Start(device));
    }
    qputenv("DATALOGGER_PORTS", device.toLocal8Bit());

    // What the user has: a measurement opened from a file, and the previous
    // measurement of an earlier download, both unlike the logger's recording.
    const QString shownFile = dir.filePath("shown.stdata");
    QString error;
    ASSERT_TRUE(
        SaveStdataFile(shownFile,
                       StoredSetOf(SimulatorRecording({"--samples", "600", "--tr-every", "200",
                                                       "--start", "2011-05-06T07:08:09"})),
                       &error))
        << error.toStdString();
    ASSERT_TRUE(WritePreviousMeasurement(
        StoredSetOf(SimulatorRecording({"--samples", "300", "--start", "2009-01-02T03:04:05"})),
        &error))
        << error.toStdString();
    const QString previous = PreviousMeasurementPath();
    ASSERT_TRUE(previous.startsWith(dir.path()));
    const QByteArray previousBefore = ReadBytes(previous);

    TimerTable& timers =
        c.silent == Silent::Never ? static_cast<TimerTable&>(platformTimers) : skippingTimers;
    shell = std::make_unique<AppShell>(timers, prompts, clock, dir.filePath("LumoDATALOGGER.ini"));
    frame = std::make_unique<CMainFrame>(*shell);
    frame->show();
    prompts.QueueFile(shownFile);
    ASSERT_TRUE(shell->Execute(Cmd::Open));
    ASSERT_EQ(shell->Set().RmsCount(), 600);
    const MeasurementSet shownBefore = shell->Set();
    LinkSession* session = FrameLinkSession(*frame);
    ASSERT_NE(session, nullptr);
    const LinkController& link = session->Link();

    // The faulty download (or the search that never gets that far), timed on the
    // timers' clock.
    int64_t caseStartMs = timers.NowMs();
    qint64 endedMs = -1;
    QString message;
    QStringList titles;
    if (c.ends == Ends::NoAnswer || c.ends == Ends::PortHeld) {
        titles = DriveDownloadDialog(
            *shell,
            [&](CDownloadDlg& dlg) {
                const QString line = dlg.MessageLabel()->text();
                const bool done = c.ends == Ends::NoAnswer
                                      ? dlg.windowTitle() == QLatin1String("Not Connected") &&
                                            line == QLatin1String(kConnectFailed)
                                      : line.contains(QLatin1String("busy"));
                if (done && endedMs < 0) {
                    endedMs = timers.NowMs() - caseStartMs;
                    message = dlg.windowTitle() + QStringLiteral(": ") + line;
                }
                if (!done && c.silent == Silent::FromTheStart)
                    skippingTimers.SkipToNextDue();
                return done;
            },
            8000);
        EXPECT_GE(endedMs, 0) << c.name << ": " << titles.join(" / ").toStdString();
        if (c.ends == Ends::NoAnswer) {
            EXPECT_EQ(titles, (QStringList{"Connecting...", "Not Connected"}));
            EXPECT_TRUE(message.endsWith(kConnectFailed)) << message.toStdString();
        } else {
            EXPECT_EQ(titles, QStringList{"Connecting..."});
            EXPECT_TRUE(message.contains(device + " is busy: another program holds it open."))
                << message.toStdString();
        }
        EXPECT_FALSE(link.TransferMode());
    } else {
        titles = DriveDownloadDialog(*shell, PressDownloadWhenConnected, 5000);
        EXPECT_EQ(titles, (QStringList{"Connecting...", "Connected"})) << c.name;
        caseStartMs = timers.NowMs(); // from the press of "Download"
        int quietPasses = 0;
        const bool ended = PumpUntil(
            [&] {
                if (c.killDuring && sim && link.Download().Progress() >= 3)
                    sim.reset(); // the device disappears mid-transfer
                const bool over = !link.TransferMode() && !link.LoadingShown();
                const bool silentNow = (c.silent == Silent::AfterTheHeader &&
                                        link.Download().State() != ReceiveState::ExpectHeader) ||
                                       (c.silent == Silent::AfterTheKill && !sim);
                // What came before the silence is read first, as it would be in the
                // wait: one pass of the event loop before the first skip.
                quietPasses = silentNow ? quietPasses + 1 : 0;
                if (!over && quietPasses > 1)
                    skippingTimers.SkipToNextDue();
                return over;
            },
            12000);
        endedMs = timers.NowMs() - caseStartMs;
        ASSERT_TRUE(ended) << c.name << ": still running after 12 s";
        if (c.killDuring) {
            EXPECT_EQ(sim, nullptr) << "the transfer ended before the simulator was killed";
        }
        message = prompts.LastText();
        if (c.ends == Ends::Interrupted) {
            ASSERT_EQ(prompts.shown.size(), 1u) << c.name;
            EXPECT_EQ(prompts.shown[0].text, kInterruption);
            EXPECT_EQ(prompts.shown[0].icon, PromptIcon::Exclamation);
        } else {
            EXPECT_TRUE(prompts.shown.empty()) << c.name << ": " << message.toStdString();
            message = QStringLiteral("(none, downloaded)");
        }
    }

    // What the user had is there as it was, or, where the link recovered, replaced
    // by the recording and nothing else.
    QString why;
    bool dataKept = false;
    if (c.ends == Ends::Recovered) {
        const bool shown = HoldsRecording(shell->Set(), rec, &why);
        EXPECT_TRUE(shown) << c.name << ": " << why.toStdString();
        const bool kept = FileHoldsRecording(previous, rec, &why);
        EXPECT_TRUE(kept) << c.name << ": previous measurement: " << why.toStdString();
        dataKept = shown && kept;
    } else {
        const bool shown = SameStored(shell->Set(), shownBefore);
        EXPECT_TRUE(shown) << c.name << ": the data shown changed";
        const bool kept = ReadBytes(previous) == previousBefore;
        EXPECT_TRUE(kept) << c.name << ": the previous-measurement file changed";
        EXPECT_EQ(shell->Graph().LastPoint(), 600);
        dataKept = shown && kept;
    }

    // The port is closed: no descriptor of it is left, and (while the device exists)
    // this process can open it again, which the window's lock would refuse.
    const bool fdsFree = !ProcessHolds(device);
    EXPECT_TRUE(fdsFree) << c.name << ": " << device.toStdString() << " still open";
    bool reopened = true;
    holder.Release();
    if (sim) {
        QSerialPort again(device);
        reopened = again.open(QIODevice::ReadWrite);
        EXPECT_TRUE(reopened) << c.name << ": " << again.errorString().toStdString();
    }

    // The next download: on the same simulator once nobody holds it, else on a sound
    // one put where the port map points.
    if (!c.holdPort) {
        sim = std::make_unique<SimProcess>();
        ASSERT_TRUE(sim->Start({"--samples", QString::number(kSamples)}));
        qputenv("DATALOGGER_PORTS", sim->device.toLocal8Bit());
    }
    const LoggerRecording nextRec = sim->Recording();
    prompts.shown.clear();
    // Downloaded data nobody saved: the next download asks first, and No goes on.
    prompts.QueueAnswer(PromptAnswer::No);
    const uint64_t generation = shell->Set().StoredGeneration();
    const QStringList nextTitles = DriveDownloadDialog(*shell, PressDownloadWhenConnected, 8000);
    EXPECT_EQ(nextTitles.value(nextTitles.size() - 1), QStringLiteral("Connected")) << c.name;
    const bool nextEnded = PumpUntil(
        [&] {
            return shell->Set().StoredGeneration() != generation && !link.TransferMode() &&
                   !link.LoadingShown();
        },
        8000);
    const bool onlyAsked =
        std::all_of(prompts.shown.begin(), prompts.shown.end(), [](const FakePrompts::Shown& p) {
            return p.text == QLatin1String("Do you want to save the existing RMS&TR graph data "
                                           "before continuing?");
        });
    bool nextOk = nextEnded && onlyAsked && HoldsRecording(shell->Set(), nextRec, &why) &&
                  FileHoldsRecording(previous, nextRec, &why);
    EXPECT_TRUE(nextOk) << c.name << ": " << why.toStdString() << " "
                        << prompts.LastText().toStdString();
    EXPECT_FALSE(ProcessHolds(sim->device));

    std::printf("| %s | %s | %.2f s | %s | %s |\n", c.name, qPrintable(message),
                double(endedMs) / 1000.0,
                !dataKept                   ? "NO"
                : c.ends == Ends::Recovered ? "replaced by the recording, equal"
                : fdsFree && reopened       ? "yes, byte-identical; port closed"
                                            : "yes, byte-identical; port LEFT OPEN",
                nextOk ? "yes, equals the recording" : "NO");
}

// One test a fault, each named after it.
TEST_P(WindowFaults, EndsAsExpected) {
    Run(GetParam());
}

INSTANTIATE_TEST_SUITE_P(
    Download, WindowFaults,
    ::testing::Values(Case{"SimulatorKilledDuringTheDownload",
                           "killed simulator",
                           {"--paced", "--samples", "8000"},
                           Ends::Interrupted,
                           true,
                           false,
                           Silent::AfterTheKill},
                      Case{"GarbageBetweenBlocks",
                           "garbage between blocks",
                           {"--garbage-block", "3"},
                           Ends::Recovered},
                      Case{"ShortBlock", "short block", {"--short-block", "3"}, Ends::Recovered},
                      Case{"BlockAnsweredTwice",
                           "block answered twice",
                           {"--double-block", "3"},
                           Ends::Recovered},
                      Case{"SilentAfterTheHeader",
                           "silent after header",
                           {"--silent-after-header"},
                           Ends::Interrupted,
                           false,
                           false,
                           Silent::AfterTheHeader},
                      Case{"StartCommandAnsweredLate",
                           "late start answer",
                           {"--late-start", "1500"},
                           Ends::Recovered},
                      Case{"ProbeNeverAnswered",
                           "probe never answered",
                           {"--silent"},
                           Ends::NoAnswer,
                           false,
                           false,
                           Silent::FromTheStart},
                      Case{"PortHeldByASecondProgram",
                           "port held by a second program",
                           {},
                           Ends::PortHeld,
                           false,
                           true}),
    [](const ::testing::TestParamInfo<Case>& p) { return std::string(p.param.id); });

} // namespace
