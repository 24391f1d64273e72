// orvex-dl realtime against the simulator through a real pseudo-terminal: the CSV
// lines as samples are taken, their values against a computation of our own on the
// waveform the simulator serves, the stop on SIGINT, the silent logger and the
// usage errors. Each run is bounded.

#include "SimProcess.h"

#include "data/RtdataFile.h"
#include "graph/WaveformAnalysis.h"
#include "sim/RealTimeStream.h"

#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace {

struct CliRun {
    int code = -1;
    QString err;
    QStringList lines;
};

CliRun Cli(const QStringList& args, int limitMs = 20000) {
    QProcess p;
    p.start(QStringLiteral(DL_CLI_PATH), args);
    if (!p.waitForFinished(limitMs)) {
        p.kill();
        p.waitForFinished(3000);
        return {};
    }
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            QString::fromLocal8Bit(p.readAllStandardError()),
            QString::fromLocal8Bit(p.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts)};
}

// RMS and frequency of one channel of a served frame, computed directly: the
// samples between the first and the last falling zero crossing, which span whole
// periods.
struct Reading {
    double rms = 0, hz = 0;
};
Reading Expected(const RealTimeStream& s, int ch) {
    std::vector<int> falls;
    for (int i = 1; i < 590; ++i)
        if (s.Sample(ch, i - 1, 0) >= 0 && s.Sample(ch, i, 0) < 0)
            falls.push_back(i);
    if (falls.size() < 2)
        return {};
    double sum = 0;
    for (int i = falls.front(); i <= falls.back(); ++i)
        sum += double(s.Sample(ch, i, 0)) * s.Sample(ch, i, 0);
    const int d = falls.back() - falls.front();
    return {std::sqrt(sum / (d + 1)), double(falls.size() - 1) / (d * kStreamSampleSeconds)};
}

TEST(CliRealtime, PrintsTheHeaderAndOneLinePerSampleWithTheServedValues) {
    SimProcess sim;
    ASSERT_TRUE(sim.Start({"--ch2-wave", "20,60,90"}));
    // The shortest interval and two samples (at 10 ms and 2 s): the spacing of the
    // samples in time is the real-time session's business, checked on the manual
    // clock; here the lines the tool prints from the served frames.
    const CliRun r = Cli({"realtime", "--port", sim.device, "--interval", "2", "--count", "2"});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    ASSERT_EQ(r.lines.size(), 3) << r.lines.join('\n').toStdString();
    EXPECT_EQ(r.lines[0], "time,ch1_rms,ch1_unit,ch1_hz,ch2_rms,ch2_unit,ch2_hz,s_va,p_w,q_var,"
                          "pf,phi_deg,ch1_thd,ch2_thd");
    RealTimeStream served;
    served.waves[1] = WaveSpec{20, 60, 90, 0, 0, {}};
    const Reading ch1 = Expected(served, 0), ch2 = Expected(served, 1);
    for (int n = 1; n <= 2; ++n) {
        const QStringList f = r.lines[n].split(',');
        ASSERT_EQ(f.size(), 14) << r.lines[n].toStdString();
        EXPECT_TRUE(f[0].contains(
            QRegularExpression("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d[+-]\\d\\d:\\d\\d$")))
            << f[0].toStdString();
        EXPECT_NEAR(f[1].toDouble(), ch1.rms, 0.051) << r.lines[n].toStdString();
        EXPECT_EQ(f[2], "V");
        EXPECT_NEAR(f[3].toDouble(), ch1.hz, 0.051);
        EXPECT_NEAR(f[4].toDouble(), ch2.rms, 0.051);
        EXPECT_EQ(f[5], "A");
        EXPECT_NEAR(f[6].toDouble(), ch2.hz, 0.1); // the analysis rounds to a tenth first
        EXPECT_NEAR(f[7].toDouble(), f[1].toDouble() * f[4].toDouble(), 0.6 * 10);
    }
}

TEST(CliRealtime, PrintsPowerFiguresAndDistortionOfADistortedSupplyAndLoad) {
    // 230 V with 5 % of the 3rd and 3 % of the 5th order; a current 30 degrees behind
    // (or ahead) with 20 % of the 3rd, shaped like its own fundamental.
    struct Case {
        double hz, phiDeg;
    };
    for (const Case c : {Case{50, 30}, Case{60, -30}}) {
        SCOPED_TRACE(c.hz);
        SimProcess sim;
        ASSERT_TRUE(sim.Start({"--ch1-wave", QStringLiteral("325,%1,17").arg(c.hz),
                               "--ch1-harmonics", "3:5,5:3", "--ch2-wave",
                               QStringLiteral("141,%1,%2").arg(c.hz).arg(17 - c.phiDeg),
                               "--ch2-harmonics", "3:20"}));
        const CliRun r = Cli({"realtime", "--port", sim.device, "--interval", "2", "--count", "1"});
        ASSERT_EQ(r.code, 0) << r.err.toStdString();
        ASSERT_EQ(r.lines.size(), 2) << r.lines.join('\n').toStdString();
        const QStringList f = r.lines[1].split(',');
        ASSERT_EQ(f.size(), 14) << r.lines[1].toStdString();
        constexpr double kRad = 3.14159265358979323846 / 180;
        const double v1 = 325, v3 = 16.25, v5 = 9.75, i1 = 141, i3 = 28.2;
        // Only equal orders carry power; the 3rds are 3 phi apart.
        const double p =
            0.5 * (v1 * i1 * std::cos(c.phiDeg * kRad) + v3 * i3 * std::cos(3 * c.phiDeg * kRad));
        const double s =
            std::sqrt((v1 * v1 + v3 * v3 + v5 * v5) / 2) * std::sqrt((i1 * i1 + i3 * i3) / 2);
        const double q = (c.phiDeg < 0 ? -1 : 1) * std::sqrt(s * s - p * p);
        const std::string line = r.lines[1].toStdString();
        EXPECT_NEAR(f[8].toDouble(), p, 0.01 * p) << line;
        EXPECT_NEAR(f[9].toDouble(), q, 0.02 * s) << line;
        EXPECT_NEAR(f[10].toDouble(), p / s, 0.01) << line;
        EXPECT_NEAR(f[11].toDouble(), c.phiDeg, 1.0) << line;
        EXPECT_NEAR(f[12].toDouble(), 100 * std::hypot(v3, v5) / v1, 0.3) << line;
        EXPECT_NEAR(f[13].toDouble(), 20.0, 0.5) << line;
    }
}

TEST(CliRealtime, ARunFileKeepsTheSamplesThePrintedLinesAndTheWaveformsTheyCameFrom) {
    SimProcess sim;
    ASSERT_TRUE(sim.Start({"--ch2-wave", "20,60,90"}));
    QTemporaryDir dir;
    const QString file = dir.filePath("run.rtdata");
    const CliRun r =
        Cli({"realtime", "--port", sim.device, "--interval", "2", "--count", "4", "-o", file});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    ASSERT_EQ(r.lines.size(), 5) << r.lines.join('\n').toStdString();
    // Nothing but the run file is left beside it.
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"run.rtdata"});

    const CliRun info = Cli({"info", file, "--json"});
    ASSERT_EQ(info.code, 0) << info.err.toStdString();
    const QJsonObject o = QJsonDocument::fromJson(info.lines.join('\n').toUtf8()).object();
    EXPECT_EQ(o["count"].toInt(), 4);
    EXPECT_EQ(o["intervalSeconds"].toInt(), 2);
    EXPECT_TRUE(o["waveforms"].toBool());
    EXPECT_EQ(o["channels"].toArray()[0].toObject()["unit"].toString(), "V");
    EXPECT_EQ(o["channels"].toArray()[1].toObject()["unit"].toString(), "A");

    const QString csv = dir.filePath("run.csv");
    ASSERT_EQ(Cli({"export", file, "--csv", "-o", csv}).code, 0);
    QFile f(csv);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts), r.lines);

    // Each kept waveform, analysed again, gives the values stored beside it.
    RtdataImage run;
    const RtdataOutcome loaded = LoadRtdataFile(file, run);
    ASSERT_TRUE(loaded.Ok()) << loaded.message.toStdString();
    ASSERT_EQ(run.waveforms.size(), 4u);
    for (size_t k = 0; k < 4; ++k) {
        std::array<FloatPair, kRtWavePoints> wave{};
        for (size_t i = 0; i < wave.size(); ++i)
            wave[i] = {float(run.waveforms[k][i][0]), float(run.waveforms[k][i][1])};
        for (int ch = 0; ch < 2; ++ch) {
            const WaveformResult again = AnalyseWaveform(wave, 0, kRtWavePoints, ch);
            EXPECT_EQ(again.rms, run.rms[size_t(ch)][k]) << k << ch;
            EXPECT_EQ(again.frequency, run.freq[size_t(ch)][k]) << k << ch;
        }
    }
    const CliRun shown = Cli({"waveform", file, "--sample", "4", "--csv"});
    ASSERT_EQ(shown.code, 0) << shown.err.toStdString();
    ASSERT_EQ(shown.lines.size(), 591);
    EXPECT_EQ(shown.lines[0], "ms,ch1,ch2");
    EXPECT_EQ(shown.lines[590], QStringLiteral("%1,%2,%3")
                                    .arg(QString::asprintf("%.5f", 589 * kWaveSampleMs))
                                    .arg(run.waveforms[3][589][0])
                                    .arg(run.waveforms[3][589][1]));
}

TEST(CliRealtime, SigintStopsTheLoggerAndKeepsTheLinesTaken) {
    SimProcess sim;
    ASSERT_TRUE(sim.Start({}));
    QTemporaryDir dir;
    const QString out = dir.filePath("live.csv");
    QProcess p;
    p.start(QStringLiteral(DL_CLI_PATH),
            {"realtime", "--port", sim.device, "--interval", "2", "--count", "100", "-o", out});
    ASSERT_TRUE(p.waitForStarted(3000));
    QElapsedTimer t;
    t.start();
    // Connected after a few hundred ms; samples at 0 and 2 s.
    while (t.elapsed() < 3000)
        p.waitForReadyRead(100);
    ::kill(pid_t(p.processId()), SIGINT);
    ASSERT_TRUE(p.waitForFinished(5000));
    EXPECT_EQ(p.exitCode(), 0);
    QFile f(out);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = f.readAll().split('\n');
    EXPECT_GE(lines.size(), 3); // header, two samples (0 and 2 s), the final newline
    // The logger stopped streaming: nothing arrives on the line any more.
    const int fd = ::open(qPrintable(sim.device), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(fd, 0);
    char buf[4096];
    while (::read(fd, buf, sizeof buf) > 0) {
    }
    pollfd pf{fd, POLLIN, 0};
    EXPECT_EQ(::poll(&pf, 1, 700), 0);
    ::close(fd);
}

TEST(CliRealtime, ASilentLoggerEndsTheRunWithCommunicationInterruption) {
    SimProcess sim;
    ASSERT_TRUE(sim.Start({"--silence-after", "4"}));
    // The run ends 10 s after the last frame (when, exactly, is checked in virtual
    // time by RealTimeSilence.*); here the outcome through the real line.
    const CliRun r =
        Cli({"realtime", "--port", sim.device, "--interval", "2", "--count", "50"}, 30000);
    EXPECT_EQ(r.code, 6) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains("Communication interruption!")) << r.err.toStdString();
    // Samples go on from the last waveform until the watchdog ends the run.
    EXPECT_GE(r.lines.size(), 2);
}

TEST(CliRealtime, AChannelSwitchedOffEndsTheRunWithItsMessage) {
    SimProcess sim;
    ASSERT_TRUE(sim.Start({"--channel-change", "3"}));
    const CliRun r = Cli({"realtime", "--port", sim.device, "--interval", "2", "--count", "50"});
    EXPECT_EQ(r.code, 6) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains("The channel is changed,please restart!")) << r.err.toStdString();
}

TEST(CliRealtime, BadArgumentsAndNoLogger) {
    for (const QStringList& a : {QStringList{"--interval", "1", "--count", "3"},
                                 {"--interval", "2", "--count", "0"},
                                 {"--interval", "3601", "--count", "3"},
                                 {"--interval", "2", "--count", "100001"},
                                 {"--interval", "x", "--count", "3"}}) {
        const CliRun r = Cli(QStringList{"realtime", "--port", "/dev/null"} + a);
        EXPECT_EQ(r.code, 2) << a.join(' ').toStdString();
        EXPECT_TRUE(r.err.contains("between")) << r.err.toStdString();
    }
    EXPECT_EQ(Cli({"realtime", "--interval", "2", "--count", "3"}).code, 2);
    SimProcess sim;
    ASSERT_TRUE(sim.Start({"--silent"}));
    const CliRun r = Cli({"realtime", "--port", sim.device, "--interval", "2", "--count", "3"});
    EXPECT_EQ(r.code, 3) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains("no logger answered")) << r.err.toStdString();
}

} // namespace
