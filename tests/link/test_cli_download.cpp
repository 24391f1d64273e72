// orvex-dl download and ports against the simulator: exit codes, the file written,
// messages on stderr.

#include "SimProcess.h"

#include "data/StdataFile.h"
#include "sim/LoggerImage.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

struct CliRun {
    int code = -1;
    QString err;
    QString out;
};

CliRun Cli(const QStringList& args, const QByteArray& ports = {}) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (!ports.isEmpty())
        env.insert("DATALOGGER_PORTS", QString::fromLocal8Bit(ports));
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(DL_CLI_PATH), args);
    if (!p.waitForFinished(20000)) {
        p.kill();
        p.waitForFinished(3000);
        return {};
    }
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            QString::fromLocal8Bit(p.readAllStandardError()),
            QString::fromLocal8Bit(p.readAllStandardOutput())};
}

TEST(CliDownload, WritesTheRecordingAsAMeasurementFile) {
    SimProcess sim;
    ASSERT_TRUE(sim.Start({"--samples", "3000", "--tr-every", "1000"}));
    QTemporaryDir dir;
    const QString out = dir.filePath("run.stdata");
    const CliRun r = Cli({"download", "--port", sim.device, "-o", out});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains("3000 RMS samples")) << r.err.toStdString();
    MeasurementSet s;
    QString error;
    ASSERT_TRUE(LoadStdataFile(out, s, &error)) << error.toStdString();
    SyntheticOptions o;
    o.samples = 3000;
    o.trEvery = 1000;
    const LoggerRecording rec = SyntheticRecording(o);
    ASSERT_EQ(s.RmsCount(), 3000);
    EXPECT_EQ(s.TrCount(), 3);
    for (size_t i = 0; i < 3000; ++i)
        ASSERT_EQ(s.ChannelRms(1)[i], ScaledRms(rec.samples[i][1])) << i;
}

TEST(CliDownload, EveryFailureHasItsExitCodeAndMessage) {
    QTemporaryDir dir;
    const QString out = dir.filePath("x.stdata");
    struct Case {
        const char* option;
        int code;
        const char* text;
    };
    for (const Case c : {Case{"--logging-now", 4, "logging now"},
                         Case{"--no-data", 5, "There is no data in DATALOGGER!"},
                         Case{"--drop-block", 6, "Communication interruption!"},
                         Case{"--silent", 3, "no logger answered"}}) {
        SimProcess sim;
        QStringList args{"--samples", "1000", c.option};
        if (QString(c.option) == "--drop-block")
            args << "2"
                 << "--drop-count"
                 << "2"; // the request and its repeat
        ASSERT_TRUE(sim.Start(args));
        QStringList cli{"download", "--port", sim.device, "-o", out};
        // The search goes on until the timeout.
        if (QString(c.option) == "--silent")
            cli << "--timeout"
                << "3";
        const CliRun r = Cli(cli);
        EXPECT_EQ(r.code, c.code) << c.option << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(c.text)) << r.err.toStdString();
        EXPECT_FALSE(QFile::exists(out));
    }
    const CliRun missing =
        Cli({"download", "--port", "/dev/does-not-exist", "-o", out, "--timeout", "2"});
    EXPECT_EQ(missing.code, 3);
    EXPECT_TRUE(missing.err.contains("No such file")) << missing.err.toStdString();
    EXPECT_EQ(Cli({"download", "--port", "/dev/null"}).code, 2);
}

TEST(CliDownload, SilentStartIsACommunicationInterruptionAfterFiveSeconds) {
    SimProcess sim;
    ASSERT_TRUE(sim.Start({"--samples", "100", "--silent-start"}));
    QTemporaryDir dir;
    const QString out = dir.filePath("x.stdata");
    // The tool runs the download job whose end by the 5 s watchdog (not the 3 s rule
    // the tool once had) DownloadJob.SilentStartCommandEndsByTheWatchdogLikeTheWindow
    // shows in virtual time; here the outcome through the real line.
    const CliRun r = Cli({"download", "--port", sim.device, "-o", out});
    EXPECT_EQ(r.code, 6) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains("Communication interruption!")) << r.err.toStdString();
    EXPECT_FALSE(QFile::exists(out));
}

TEST(CliDownload, TimeoutTooLargeForTheMillisecondCountIsAUsageError) {
    const CliRun r = Cli(
        {"download", "--port", "/dev/does-not-exist", "-o", "x.stdata", "--timeout", "3000000"});
    EXPECT_EQ(r.code, 2) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains("--timeout")) << r.err.toStdString();
}

TEST(CliExport, NeverWritesTheReportOverItsInput) {
    QTemporaryDir dir;
    SyntheticOptions o;
    o.samples = 20;
    const QByteArray bytes = RecordingFileBytes(SyntheticRecording(o));
    const LoggerImage img = *ParseRecordingFile(bytes, nullptr);
    MeasurementSet set;
    set.ReplaceStored(DecodeRecording(img.header,
                                      reinterpret_cast<const uint8_t*>(img.data.constData()),
                                      size_t(img.data.size()), StoredSet{}));
    set.SetDataTag(QString::fromLatin1(kTagStored));
    for (const char* name : {"m.xls", "m.stdata"}) {
        const QString input = dir.filePath(name);
        ASSERT_TRUE(SaveStdataFile(input, set, nullptr));
        QFile f(input);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        const QByteArray before = f.readAll();
        f.close();
        const CliRun r =
            QString(name) == "m.xls" ? Cli({"export", input}) : Cli({"export", input, "-o", input});
        EXPECT_EQ(r.code, 2) << name << r.err.toStdString();
        EXPECT_TRUE(r.err.contains("would replace")) << r.err.toStdString();
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        EXPECT_EQ(f.readAll(), before) << name;
    }
}

TEST(CliPorts, ListsThePortMap) {
    const CliRun r = Cli({"ports"}, "/dev/null,/dev/does-not-exist");
    ASSERT_EQ(r.code, 0);
    EXPECT_TRUE(r.out.contains(" 1  /dev/null")) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains("missing"));
    EXPECT_EQ(Cli({"ports", "extra"}).code, 2);
}

} // namespace
