// orvex-dl against a misbehaving logger and line, through real pseudo-terminals: each
// fault ends with its message, the files already there stay byte for byte as they
// were, and the next download succeeds. Also the output checks made before a transfer
// and the recording kept when the final write fails. Every case is bounded.

#include "LinkTestSupport.h"

#include "support/EventLoop.h"
#include "support/Simulator.h"

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
#include <memory>
#include <vector>

namespace {

struct CliRun {
    int code = -1; // -1: crashed, or killed at the bound
    QString err;
    qint64 ms = 0;
};

// One orvex-dl run: its arguments, its data directory, and what to do once stderr
// shows `trigger` (for a fault injected mid-transfer).
struct CliJob {
    QStringList args;
    QString dataDir;
    QString trigger = {};
    std::function<void()> during = {};
    // The desktop's own layout: settings and data in two folders under `dataDir`
    // ("config" and "data"), as without DATALOGGER_DIR.
    bool desktopFolders = false;
};

// Runs the jobs side by side, each bounded by `limitMs`, and returns how each ended.
// Each has its own simulator and files, so that none waits out another's time-outs.
std::vector<CliRun> CliRuns(const std::vector<CliJob>& jobs, int limitMs = 20000) {
    CoreApp();
    struct Running {
        QProcess process;
        QByteArray err;
        bool fired = false;
        qint64 endedMs = -1;
    };
    QElapsedTimer t;
    t.start();
    std::vector<std::unique_ptr<Running>> runs;
    for (const CliJob& job : jobs) {
        auto& r = *runs.emplace_back(std::make_unique<Running>());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        if (job.desktopFolders) {
            env.remove("DATALOGGER_DIR");
            env.insert("XDG_CONFIG_HOME", job.dataDir + "/config");
            env.insert("XDG_DATA_HOME", job.dataDir + "/data");
        } else {
            env.insert("DATALOGGER_DIR", job.dataDir);
        }
        r.process.setProcessEnvironment(env);
        r.fired = job.trigger.isEmpty();
        QObject::connect(&r.process, &QProcess::readyReadStandardError, [&r, &job] {
            r.err += r.process.readAllStandardError();
            if (!r.fired && r.err.contains(job.trigger.toLocal8Bit())) {
                r.fired = true;
                job.during();
            }
        });
        QObject::connect(&r.process, &QProcess::finished, [&r, &t] { r.endedMs = t.elapsed(); });
        r.process.start(QStringLiteral(DL_CLI_PATH), job.args);
    }
    PumpUntil(
        [&] {
            return std::all_of(runs.begin(), runs.end(), [](const auto& r) {
                return r->process.state() == QProcess::NotRunning;
            });
        },
        limitMs);
    std::vector<CliRun> ended;
    for (auto& r : runs) {
        if (r->process.state() != QProcess::NotRunning) {
            r->process.kill();
            r->process.waitForFinished(3000);
            ended.push_back({});
            continue;
        }
        r->err += r->process.readAllStandardError();
        ended.push_back(
            {r->process.exitStatus() == QProcess::NormalExit ? r->process.exitCode() : -1,
             QString::fromLocal8Bit(r->err), r->endedMs});
    }
    return ended;
}

CliRun Cli(const QStringList& args, const QString& dataDir, const QString& trigger = {},
           const std::function<void()>& during = {}, int limitMs = 20000) {
    return CliRuns({{args, dataDir, trigger, during}}, limitMs).front();
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

// How downloads that may meet a fault ended: with the recording, or with an
// interruption that left the files as they were. Anything else is wrong.
struct Tally {
    int same = 0;
    int interrupted = 0;
    int wrong = 0;
    std::vector<CliRun> runs;
};

// One simulator for each argument list and a download from each: all side by side,
// or one after the other where the line's timing is what the case is about.
Tally DownloadFromEach(const std::vector<QStringList>& simArgs, bool sideBySide) {
    std::vector<std::unique_ptr<Files>> files;
    std::vector<std::unique_ptr<SimProcess>> sims;
    std::vector<CliJob> jobs;
    for (const QStringList& args : simArgs) {
        const Files& f = *files.emplace_back(std::make_unique<Files>());
        SimProcess& sim = *sims.emplace_back(std::make_unique<SimProcess>());
        EXPECT_TRUE(sim.Start(args)) << args.join(' ').toStdString();
        jobs.push_back({{"download", "--port", sim.device, "-o", f.out}, f.dataDir});
    }
    Tally t;
    if (sideBySide)
        t.runs = CliRuns(jobs);
    else
        for (const CliJob& job : jobs)
            t.runs.push_back(CliRuns({job}).front());
    for (size_t i = 0; i < t.runs.size(); ++i) {
        const CliRun& r = t.runs[i];
        QString why;
        if (r.code == 0 && FileHoldsRecording(files[i]->out, sims[i]->Recording(), &why))
            ++t.same;
        else if (r.code == 6 && r.err.contains("Communication interruption!") && files[i]->Kept())
            ++t.interrupted;
        else
            ADD_FAILURE() << "wrong outcome (" << ++t.wrong << ") with "
                          << simArgs[i].join(' ').toStdString() << ": exit " << r.code << ", "
                          << why.toStdString() << "\n"
                          << r.err.toStdString();
        EXPECT_TRUE(r.code == 0 || r.code == 6) << r.err.toStdString();
    }
    return t;
}

TEST(CliFaultSuite, EveryFaultEndsWithItsMessageKeepsTheFilesAndTheNextDownloadSucceeds) {
    CoreApp();
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
    // Each case has its own simulator, port and files: the faulty downloads run side by
    // side, then the next downloads. None of the faults here hangs on the line's pace.
    struct Setup {
        Files f;
        std::unique_ptr<SimProcess> sim = std::make_unique<SimProcess>();
        std::unique_ptr<QSerialPort> holder;
        LoggerRecording rec; // what the faulty one serves
    };
    std::vector<std::unique_ptr<Setup>> setups;
    std::vector<CliJob> jobs;
    for (const Case& c : cases) {
        Setup& u = *setups.emplace_back(std::make_unique<Setup>());
        ASSERT_TRUE(u.sim->Start(QStringList{"--samples", "1000"} + c.sim)) << c.name;
        u.rec = u.sim->Recording();
        if (c.holdPort) {
            u.holder = std::make_unique<QSerialPort>(u.sim->device);
            ASSERT_TRUE(u.holder->open(QIODevice::ReadWrite)) << c.name;
        }
        jobs.push_back(
            {QStringList{"download", "--port", u.sim->device, "-o", u.f.out} + c.cliExtra,
             u.f.dataDir, c.killDuring ? "Downloading" : QString(), [&u] { u.sim.reset(); }});
    }
    const std::vector<CliRun> runs = CliRuns(jobs);

    std::vector<bool> dataOk;
    std::vector<CliJob> nextJobs;
    for (size_t i = 0; i < std::size(cases); ++i) {
        const Case& c = cases[i];
        Setup& u = *setups[i];
        const CliRun& r = runs[i];
        EXPECT_EQ(r.code, c.code) << c.name << ": " << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(c.text)) << c.name << ": " << r.err.toStdString();
        QString why;
        if (c.code == 0) {
            // Recovered: the file is the recording, never other values.
            dataOk.push_back(FileHoldsRecording(u.f.out, u.rec, &why) &&
                             ReadBytes(u.f.previous) == u.f.oldPrevious);
        } else {
            dataOk.push_back(u.f.Kept());
        }
        EXPECT_TRUE(dataOk.back()) << c.name << ": " << why.toStdString();
        u.holder.reset();
        // The next download: on the same simulator once the port is free, else on a
        // sound one.
        if (!c.holdPort) {
            u.sim = std::make_unique<SimProcess>();
            ASSERT_TRUE(u.sim->Start({"--samples", "1000"}));
        }
        nextJobs.push_back(
            {{"download", "--port", u.sim->device, "-o", u.f.dir.filePath("next.stdata")},
             u.f.dataDir});
    }
    const std::vector<CliRun> nextRuns = CliRuns(nextJobs);

    std::printf("| case | exit | message | time to recover | data kept | next download |\n");
    for (size_t i = 0; i < std::size(cases); ++i) {
        const Setup& u = *setups[i];
        const CliRun& r = runs[i];
        const CliRun& n = nextRuns[i];
        QString why;
        const bool nextOk = n.code == 0 && FileHoldsRecording(u.f.dir.filePath("next.stdata"),
                                                              u.sim->Recording(), &why);
        EXPECT_TRUE(nextOk) << cases[i].name << ": " << why.toStdString() << " "
                            << n.err.toStdString();
        const QString message = r.err.trimmed().split('\n').last();
        std::printf("| %s | %d | %s | %.1f s | %s | %s |\n", cases[i].name, r.code,
                    qPrintable(message), double(r.ms) / 1000.0, dataOk[i] ? "yes" : "NO",
                    nextOk ? "yes" : "NO");
    }
}

TEST(CliNoise, EveryDownloadOverANoisyLineIsTheRecordingOrAnInterruption) {
    CoreApp();
    // 20000 samples: 80000 bytes, 157 blocks.
    std::vector<QStringList> sims;
    for (int seed = 1; seed <= 10; ++seed)
        sims.push_back(
            {"--samples", "20000", "--garbage", "2", "--garbage-seed", QString::number(seed)});
    const auto [same, interrupted, wrong, runs] = DownloadFromEach(sims, true);
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
    CoreApp();
    // 5000 samples: 40 blocks.
    const QStringList late = {"950", "1500", "2500", "6000"};
    std::vector<QStringList> sims;
    for (const QString& ms : late)
        sims.push_back(
            {"--samples", "5000", "--paced", "--late-block", "5", "--late-block-ms", ms});
    // Side by side, so that the load varies when the link reads the two copies off
    // the line.
    const auto [same, interrupted, wrong, runs] = DownloadFromEach(sims, true);
    for (qsizetype i = 0; i < late.size(); ++i)
        std::printf("block 5 answered %s ms late: exit %d, %.1f s\n", qPrintable(late[i]),
                    runs[size_t(i)].code, double(runs[size_t(i)].ms) / 1000.0);
    EXPECT_EQ(wrong, 0);
    EXPECT_GE(same, 1);
}

TEST(CliOutput, AFolderThatCannotTakeTheFileIsRefusedBeforeTheTransfer) {
    CoreApp();
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
        // Refused before the search began, not after it timed out.
        EXPECT_FALSE(r.err.contains("Searching")) << r.err.toStdString();
    }
}

// The folder of `-o` disappears (an unmounted stick, say) while the recording comes
// in, and a regular file takes its name, so nothing can be written beside the target.
// Returns where stderr says the recording was kept (checked to hold it), or empty.
QString KeptAfterAFailedFinalWrite(const QString& dataDir, bool desktopFolders) {
    QTemporaryDir dir;
    const QString folder = dir.filePath("gone");
    EXPECT_TRUE(QDir().mkpath(folder));
    SimProcess sim;
    EXPECT_TRUE(sim.Start({"--paced", "--samples", "8000"}));
    CliJob job{{"download", "--port", sim.device, "-o", folder + "/run.stdata"},
               dataDir,
               "Downloading",
               [&] {
                   QDir(folder).removeRecursively();
                   WriteBytes(folder, "in the way");
               },
               desktopFolders};
    const CliRun r = CliRuns({job}).front();
    EXPECT_EQ(r.code, 1) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains("cannot write")) << r.err.toStdString();
    const QString marker = "the recording was kept in ";
    const int at = int(r.err.indexOf(marker));
    if (at < 0) {
        ADD_FAILURE() << r.err.toStdString();
        return {};
    }
    const QString kept = r.err.mid(at + marker.size()).section('\n', 0, 0).trimmed();
    QString why;
    EXPECT_TRUE(FileHoldsRecording(kept, sim.Recording(), &why)) << why.toStdString();
    return kept;
}

TEST(CliOutput, AFailedFinalWriteKeepsTheRecordingAndSaysWhere) {
    CoreApp();
    QTemporaryDir dir;
    const QString dataDir = dir.filePath("data");
    const QString kept = KeptAfterAFailedFinalWrite(dataDir, false);
    EXPECT_TRUE(kept.startsWith(dataDir)) << kept.toStdString();
}

// Without DATALOGGER_DIR the rescued recording went to the settings folder: data
// belong in the data folder, where the previous measurement is.
TEST(CliOutput, ARescuedRecordingWentToTheSettingsFolder) {
    CoreApp();
    QTemporaryDir dir;
    const QString kept = KeptAfterAFailedFinalWrite(dir.path(), true);
    EXPECT_TRUE(kept.startsWith(dir.filePath("data/OrvexDatalogger/"))) << kept.toStdString();
}

} // namespace

// --- what the late block above showed side by side, on the fake channel ---

// A line that carries the logger's replies at its own pace, 16 bytes a millisecond
// (about 115200 baud), and a block request answered late: its reply and the repeat's
// come back to back, as the simulator sends them. `lateReaderBytes`: the host reads
// the first copy only once that many bytes of the second have come after it, as a
// busy machine does.
struct PacedLateLine {
    VirtualLink& v;
    ManualTimerTable pace{v.clock};
    QByteArray line;        // sent by the logger, not yet arrived
    qsizetype burstAt = -1; // where in `line` the first copy ends
    int lateRequest, lateMs, lateReaderBytes;
    int requests = 0;
    int64_t heldUntil = -1;
    QByteArray held;
    PacedLateLine(VirtualLink& link, int request, int ms, int readerBytes)
        : v(link), lateRequest(request), lateMs(ms), lateReaderBytes(readerBytes) {
        pace.SetHandler([this](int) {
            if (heldUntil >= 0 && v.clock.NowMs() >= heldUntil) {
                burstAt = line.size() + held.size() / 2;
                line += held;
                held.clear();
                heldUntil = -1;
            }
            if (line.isEmpty())
                return;
            qsizetype n = std::min<qsizetype>(16, line.size());
            if (burstAt >= 0 && n >= burstAt) {
                n = std::min(line.size(), burstAt + lateReaderBytes);
                burstAt = -1;
            } else if (burstAt >= 0) {
                burstAt -= n;
            }
            const QByteArray chunk = line.left(n);
            line.remove(0, n);
            v.channel.Inject(chunk);
        });
        pace.Start(1, 1);
        v.channel.SetResponder([this](int, const QByteArray& w) {
            const QByteArray out = v.logger.Feed(w);
            if (uint8_t(w[0]) == Logger::kBlockRequest) {
                ++requests;
                if (requests == lateRequest)
                    heldUntil = v.clock.NowMs() + lateMs;
                if (heldUntil >= 0) { // the late one and its repeat
                    held += out;
                    return QByteArray();
                }
            }
            line += out;
            return QByteArray();
        });
    }
};

// Downloads a 40-block recording over the paced line with block 5 answered `lateMs`
// late: the recording, or an interruption, never a success with other values.
// Returns how many block requests went out.
int ExpectLateCopiesOnAPacedLineTakenOnce(int lateMs, int readerBytes) {
    SCOPED_TRACE(testing::Message()
                 << lateMs << " ms late, the reader " << readerBytes << " bytes behind");
    VirtualLink v;
    const LoggerRecording r = SimulatorRecording({"--samples", "5000"});
    v.logger.SetRecording(r);
    PacedLateLine line(v, 5, lateMs, readerBytes);
    v.ConnectOnPort1();
    if (!v.RunDownload() || v.outcomes.empty()) {
        ADD_FAILURE() << "the download did not end";
        return line.requests;
    }
    QString why;
    if (v.outcomes.back() == DownloadOutcome::Completed)
        EXPECT_TRUE(HoldsRecording(v.set, r, &why)) << "a success with " << why.toStdString();
    else
        EXPECT_EQ(v.outcomes.back(), DownloadOutcome::Interrupted);
    return line.requests;
}

TEST(CliLateReply, TwoCopiesBackToBackOnAPacedLineReadInTimeAreTakenOnce) {
    // Each of the 40 blocks asked for once, the late one twice.
    for (int lateMs : {1000, 1500, 2500})
        EXPECT_EQ(ExpectLateCopiesOnAPacedLineTakenOnce(lateMs, 0), 41);
}

// A host reading late gets the first copy and a part of the second as one reply.
// Before, that was taken for noise and cleared while the rest of the second copy was
// still on its way; the rest came in front of the reply to the next request and filled
// its threshold, so every later block was taken shifted and the download ended as a
// success with other values (seen on the real line with the downloads above side by
// side).
TEST(CliLateReply, TheRestOfASecondCopyAfterAnOverLongReplyIsNeverTakenAsABlock) {
    for (int lateMs : {1000, 1500, 2500})
        for (int readerBytes : {4, 100, 300})
            ExpectLateCopiesOnAPacedLineTakenOnce(lateMs, readerBytes);
}
