// orvex-dl against a misbehaving logger and line, through real pseudo-terminals: each
// fault ends with its message, the files already there stay byte for byte as they
// were, and the next download succeeds. Also the output checks made before a transfer
// and the recording kept when the final write fails. Every case is bounded.

#include "SimProcess.h"

#include "data/StdataFile.h"
#include "link/LoggerImage.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSerialPort>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>

namespace {

QCoreApplication* App() {
    static int argc = 1;
    static char name[] = "test_cli_faults";
    static char* argv[] = {name, nullptr};
    static auto* app = new QCoreApplication(argc, argv);
    return app;
}

struct CliRun {
    int code = -1;
    QString err;
    qint64 ms = 0;
};

// Runs orvex-dl with the data directory `dataDir`; `during` runs once stderr shows
// `trigger` (for a fault injected mid-transfer).
CliRun Cli(const QStringList& args, const QString& dataDir, const QString& trigger = {},
           const std::function<void()>& during = {}, int limitMs = 20000) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DATALOGGER_DIR", dataDir);
    p.setProcessEnvironment(env);
    QElapsedTimer t;
    t.start();
    p.start(QStringLiteral(DL_CLI_PATH), args);
    QByteArray err;
    bool fired = trigger.isEmpty();
    while (p.state() != QProcess::NotRunning && t.elapsed() < limitMs) {
        p.waitForReadyRead(20);
        err += p.readAllStandardError();
        if (!fired && err.contains(trigger.toLocal8Bit())) {
            fired = true;
            during();
        }
    }
    if (p.state() != QProcess::NotRunning) {
        p.kill();
        p.waitForFinished(3000);
        return {};
    }
    err += p.readAllStandardError();
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, QString::fromLocal8Bit(err),
            t.elapsed()};
}

QByteArray ReadBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void WriteBytes(const QString& path, const QByteArray& b) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(b);
}

bool SameAsRecording(const QString& path, const LoggerRecording& r, QString* why) {
    MeasurementSet s;
    if (!LoadStdataFile(path, s, why))
        return false;
    if (s.m_rmsCount != int(r.samples.size())) {
        *why = QStringLiteral("%1 samples").arg(s.m_rmsCount);
        return false;
    }
    for (size_t i = 0; i < r.samples.size(); ++i)
        if (s.m_ch1Rms[i] != ScaledRms(r.samples[i][0]) ||
            s.m_ch2Rms[i] != ScaledRms(r.samples[i][1])) {
            *why = QStringLiteral("sample %1 differs").arg(i);
            return false;
        }
    return true;
}

LoggerRecording Synthetic(int samples) {
    SyntheticOptions o;
    o.samples = samples;
    return SyntheticRecording(o);
}

struct Files {
    QTemporaryDir dir;
    QString dataDir = dir.filePath("data");
    QString out = dir.filePath("run.stdata");
    QString previous = dir.filePath("data/PreMeasureLumo.stdata");
    QByteArray oldOut = "an older download, not to be touched";
    QByteArray oldPrevious = "the previous measurement, not to be touched";
    Files() {
        QDir().mkpath(dataDir);
        WriteBytes(out, oldOut);
        WriteBytes(previous, oldPrevious);
    }
    bool Kept() const { return ReadBytes(out) == oldOut && ReadBytes(previous) == oldPrevious; }
};

TEST(CliFaultSuite, EveryFaultEndsWithItsMessageKeepsTheFilesAndTheNextDownloadSucceeds) {
    App();
    struct Case {
        const char* name;
        QStringList sim;
        int code;         // expected exit code
        const char* text; // expected on stderr
        bool killDuring;  // the simulator is killed once the transfer runs
        bool holdPort;    // a second program holds the port
        QStringList cliExtra;
    };
    const Case cases[] = {
        {"killed simulator",
         {"--paced", "--samples", "8000"},
         6,
         "Communication interruption!",
         true,
         false,
         {}},
        {"garbage between blocks",
         {"--garbage-block", "3"},
         0,
         "Downloaded 1000 RMS",
         false,
         false,
         {}},
        {"short block", {"--short-block", "3"}, 0, "Downloaded 1000 RMS", false, false, {}},
        {"block answered twice",
         {"--double-block", "3"},
         0,
         "Downloaded 1000 RMS",
         false,
         false,
         {}},
        {"silent after header",
         {"--silent-after-header"},
         6,
         "Communication interruption!",
         false,
         false,
         {}},
        {"late start answer", {"--late-start", "1500"}, 0, "Downloaded 1000 RMS", false, false, {}},
        {"block reply 1000 ms late, answered twice",
         {"--late-block", "3", "--late-block-ms", "1000"},
         0,
         "Downloaded 1000 RMS",
         false,
         false,
         {}},
        {"probe never answered",
         {"--silent"},
         3,
         "(no answer to the probe)",
         false,
         false,
         {"--timeout", "3"}},
        {"port held by a second program",
         {},
         3,
         "is busy: another program holds it open",
         false,
         true,
         {"--timeout", "2"}},
    };
    const LoggerRecording rec = Synthetic(1000);
    std::printf("| case | exit | message | time to recover | data kept | next download |\n");
    for (const Case& c : cases) {
        Files f;
        auto sim = std::make_unique<SimProcess>();
        ASSERT_TRUE(sim->Start(QStringList{"--samples", "1000"} + c.sim)) << c.name;
        std::unique_ptr<QSerialPort> holder;
        if (c.holdPort) {
            holder = std::make_unique<QSerialPort>(sim->device);
            ASSERT_TRUE(holder->open(QIODevice::ReadWrite)) << c.name;
        }
        const QStringList args =
            QStringList{"download", "--port", sim->device, "-o", f.out} + c.cliExtra;
        const CliRun r =
            Cli(args, f.dataDir, c.killDuring ? "Downloading" : QString(), [&] { sim.reset(); });
        EXPECT_EQ(r.code, c.code) << c.name << ": " << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(c.text)) << c.name << ": " << r.err.toStdString();
        QString why;
        bool dataOk = false;
        if (c.code == 0) {
            // Recovered: the file is the recording, never other values.
            dataOk = SameAsRecording(f.out, rec, &why) && ReadBytes(f.previous) == f.oldPrevious;
        } else {
            dataOk = f.Kept();
        }
        EXPECT_TRUE(dataOk) << c.name << ": " << why.toStdString();
        holder.reset();
        // The next download: on the same simulator once the port is free, else on a
        // sound one.
        if (!c.holdPort) {
            sim = std::make_unique<SimProcess>();
            ASSERT_TRUE(sim->Start({"--samples", "1000"}));
        }
        const QString next = f.dir.filePath("next.stdata");
        const CliRun n = Cli({"download", "--port", sim->device, "-o", next}, f.dataDir);
        const bool nextOk = n.code == 0 && SameAsRecording(next, rec, &why);
        EXPECT_TRUE(nextOk) << c.name << ": " << n.err.toStdString();
        const QString message = r.err.trimmed().split('\n').last();
        std::printf("| %s | %d | %s | %.1f s | %s | %s |\n", c.name, r.code, qPrintable(message),
                    double(r.ms) / 1000.0, dataOk ? "yes" : "NO", nextOk ? "yes" : "NO");
    }
}

TEST(CliNoise, EveryDownloadOverANoisyLineIsTheRecordingOrAnInterruption) {
    App();
    const LoggerRecording rec = Synthetic(20000); // 80000 bytes, 157 blocks
    int same = 0, interrupted = 0, wrong = 0;
    for (int seed = 1; seed <= 10; ++seed) {
        Files f;
        SimProcess sim;
        ASSERT_TRUE(sim.Start(
            {"--samples", "20000", "--garbage", "2", "--garbage-seed", QString::number(seed)}));
        const CliRun r = Cli({"download", "--port", sim.device, "-o", f.out}, f.dataDir);
        QString why;
        if (r.code == 0 && SameAsRecording(f.out, rec, &why))
            ++same;
        else if (r.code == 6 && r.err.contains("Communication interruption!") && f.Kept())
            ++interrupted;
        else
            ++wrong;
        EXPECT_TRUE(r.code == 0 || r.code == 6) << r.err.toStdString();
    }
    std::printf("noisy line, 2 %% of block replies after stray bytes: 10 downloads, %d equal "
                "to the recording, %d interrupted, %d wrong\n",
                same, interrupted, wrong);
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(same + interrupted, 10);
}

// A block reply late enough for its request to be repeated, so that two copies come:
// within the wait for the second copy the download is the recording; later it says it
// was interrupted. Never a success with other values.
TEST(CliLateReply, EveryDownloadWithALateBlockIsTheRecordingOrAnInterruption) {
    App();
    const LoggerRecording rec = Synthetic(5000); // 40 blocks
    int same = 0, interrupted = 0, wrong = 0;
    for (const char* ms : {"950", "1500", "2500", "6000"}) {
        Files f;
        SimProcess sim;
        ASSERT_TRUE(sim.Start(
            {"--samples", "5000", "--paced", "--late-block", "5", "--late-block-ms", ms}));
        const CliRun r = Cli({"download", "--port", sim.device, "-o", f.out}, f.dataDir);
        QString why;
        if (r.code == 0 && SameAsRecording(f.out, rec, &why))
            ++same;
        else if (r.code == 6 && r.err.contains("Communication interruption!") && f.Kept())
            ++interrupted;
        else
            ++wrong;
        std::printf("block 5 answered %s ms late: exit %d, %.1f s\n", ms, r.code,
                    double(r.ms) / 1000.0);
    }
    EXPECT_EQ(wrong, 0);
    EXPECT_GE(same, 1);
}

TEST(CliOutput, AFolderThatCannotTakeTheFileIsRefusedBeforeTheTransfer) {
    App();
    QTemporaryDir dir;
    WriteBytes(dir.filePath("plain"), "a regular file");
    struct Case {
        QString out;
        const char* text;
    };
    for (const Case& c : {Case{dir.filePath("missing/run.stdata"), "does not exist"},
                          Case{dir.filePath("plain/run.stdata"), "is not a folder"},
                          Case{dir.path(), "is a folder"}}) {
        // No logger needed: the refusal comes before the search.
        const CliRun r =
            Cli({"download", "--port", "/dev/does-not-exist", "-o", c.out, "--timeout", "5"},
                dir.filePath("data"));
        EXPECT_EQ(r.code, 1) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(c.text)) << r.err.toStdString();
        EXPECT_FALSE(r.err.contains("Searching")) << r.err.toStdString();
        EXPECT_LT(r.ms, 3000);
    }
}

TEST(CliOutput, AFailedFinalWriteKeepsTheRecordingAndSaysWhere) {
    App();
    QTemporaryDir dir;
    const QString folder = dir.filePath("gone");
    const QString dataDir = dir.filePath("data");
    ASSERT_TRUE(QDir().mkpath(folder));
    SimProcess sim;
    ASSERT_TRUE(sim.Start({"--paced", "--samples", "8000"}));
    // The folder disappears (an unmounted stick, say) while the recording comes in;
    // a regular file takes its name, so nothing can be written beside the target.
    const CliRun r = Cli({"download", "--port", sim.device, "-o", folder + "/run.stdata"}, dataDir,
                         "Downloading", [&] {
                             QDir(folder).removeRecursively();
                             WriteBytes(folder, "in the way");
                         });
    EXPECT_EQ(r.code, 1) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains("cannot write")) << r.err.toStdString();
    const QString marker = "the recording was kept in ";
    const int at = int(r.err.indexOf(marker));
    ASSERT_GE(at, 0) << r.err.toStdString();
    const QString kept = r.err.mid(at + marker.size()).section('\n', 0, 0).trimmed();
    EXPECT_TRUE(kept.startsWith(dataDir)) << kept.toStdString();
    QString why;
    EXPECT_TRUE(SameAsRecording(kept, Synthetic(8000), &why)) << why.toStdString();
}

} // namespace
