// End to end through a real pseudo-terminal: the simulator on one side, the serial
// channel on QSerialPort, real timers and the download on the other.

#include "SimProcess.h"
#include "support/StoredSetBuilder.h"

#include "base/LocalTime.h"
#include "base/Prompts.h"
#include "base/Timers.h"
#include "link/ConfigCommands.h"
#include "link/ConfigJob.h"
#include "link/DownloadJob.h"
#include "link/QtSerialChannel.h"
#include "sim/LoggerImage.h"
#include "support/EventLoop.h"

#include <QCoreApplication>
#include <QProcess>
#include <QSerialPort>
#include <QTemporaryDir>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

struct RealLink {
    explicit RealLink(const QString& device)
        : headless((CoreApp(), HeadlessLink::OnDevice(device, prompts, set))) {}
    FakePrompts prompts;
    MeasurementSet set;
    std::unique_ptr<HeadlessLink> headless;
    LinkController& link = headless->Link();
    SerialChannel& channel = headless->Channel();
};

void ExpectSameAsRecording(const MeasurementSet& s, const LoggerRecording& r) {
    const int n = r.channelCount;
    ASSERT_EQ(s.RmsCount(), int(r.samples.size()));
    ASSERT_EQ(s.TrCount(), int(r.tr.size()));
    ASSERT_TRUE(s.StoredIsConsistent());
    for (size_t i = 0; i < r.samples.size(); ++i) {
        if (n == 2) {
            ASSERT_EQ(s.ChannelRms(0)[i], ScaledRms(r.samples[i][0])) << i;
            ASSERT_EQ(s.ChannelRms(1)[i], ScaledRms(r.samples[i][1])) << i;
        } else {
            const auto& v = s.ChannelPresent(0) ? s.ChannelRms(0) : s.ChannelRms(1);
            ASSERT_EQ(v[i], ScaledRms(r.samples[i][0])) << i;
        }
    }
    for (size_t k = 0; k < r.tr.size(); ++k) {
        ASSERT_EQ(s.TrTimes()[k], FromLocalFields(r.tr[k].time)) << k;
        ASSERT_EQ(s.TrUnitCodes()[k], r.tr[k].quantity);
        ASSERT_EQ(s.TrChannelCodes()[k], r.tr[k].channel);
        for (size_t j = 0; j < 251; ++j)
            ASSERT_EQ(s.TrWave()[k * 251 + j], float(r.tr[k].wave[j])) << k << " " << j;
    }
}

TEST(QtSerialChannel, NotifiesOnceTheThresholdIsBufferedOnAPseudoTerminal) {
    CoreApp();
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    const QString device = QString::fromLocal8Bit(ptsname(master));
    qputenv("DATALOGGER_PORTS", device.toLocal8Bit());

    QtSerialChannel ch;
    int notified = 0;
    ch.SetReceiveHandler([&] { ++notified; });
    EXPECT_FALSE(ch.SelectPort(2)); // only one device in the map
    ASSERT_TRUE(ch.SelectPort(1));
    ASSERT_TRUE(ch.Open()) << ch.LastError().toStdString();
    EXPECT_FALSE(ch.LowLatency()); // a pseudo-terminal has no such mode; opening goes on
    ch.SetThreshold(512);
    // Bytes waiting on the logger's side of the terminal.
    auto atMaster = [&] {
        int n = 0;
        return ::ioctl(master, FIONREAD, &n) == 0 ? n : -1;
    };
    const QByteArray part(300, 'a');
    ASSERT_EQ(::write(master, part.constData(), size_t(part.size())), 300);
    PumpUntil([&] { return ch.BytesAvailable() >= 300; }, 2000);
    EXPECT_EQ(notified, 0);
    EXPECT_EQ(ch.BytesAvailable(), 300);
    ASSERT_EQ(::write(master, part.constData(), size_t(part.size())), 300);
    PumpUntil([&] { return notified > 0 && ch.BytesAvailable() >= 600; }, 2000);
    EXPECT_EQ(notified, 1);
    EXPECT_EQ(ch.ReadAll().size(), 600);
    EXPECT_EQ(ch.BytesAvailable(), 0);

    EXPECT_TRUE(ch.Write(QByteArray::fromHex("d8000001")));
    char in[16] = {};
    PumpUntil([&] { return atMaster() >= 4; }, 2000);
    EXPECT_EQ(::read(master, in, sizeof in), 4);
    EXPECT_EQ(uint8_t(in[0]), 0xD8);
    ch.Close();
    EXPECT_FALSE(ch.Write(QByteArray(1, 'x')));
    ::close(master);
}

TEST(QtSerialChannel, ReselectingTheOpenPortKeepsItAndAnotherIsRefused) {
    CoreApp();
    int masters[2];
    QStringList devices;
    for (int& m : masters) {
        m = posix_openpt(O_RDWR | O_NOCTTY);
        ASSERT_GE(m, 0);
        ASSERT_EQ(grantpt(m), 0);
        ASSERT_EQ(unlockpt(m), 0);
        devices << QString::fromLocal8Bit(ptsname(m));
    }
    qputenv("DATALOGGER_PORTS", devices.join(',').toLocal8Bit());
    QtSerialChannel ch;
    ASSERT_TRUE(ch.SelectPort(1));
    ASSERT_TRUE(ch.Open()) << ch.LastError().toStdString();
    // A probe of the port the scan left open selects it again before writing.
    EXPECT_TRUE(ch.SelectPort(1)) << ch.LastError().toStdString();
    EXPECT_TRUE(ch.IsOpen());
    EXPECT_FALSE(ch.SelectPort(2));
    EXPECT_EQ(ch.CurrentPort(), 1);
    ch.Close();
    EXPECT_TRUE(ch.SelectPort(2));
    for (int m : masters)
        ::close(m);
}

TEST(LinkEndToEnd, WrappedRecordingWithTransientsArrivesSampleForSample) {
    SyntheticOptions o;
    o.samples = 5000;
    o.trEvery = 1200;
    o.startPos = 523776 + 100; // in the ring's last block: the download wraps
    o.intervalUnit = 0x20;
    o.intervalCount = 5;
    SimProcess sim;
    ASSERT_TRUE(sim.Start({"--samples", "5000", "--tr-every", "1200", "--start-pos", "523876",
                           "--unit", "m", "--interval", "5"}));
    RealLink rl(sim.device);
    DownloadJob job(*rl.headless);
    ASSERT_EQ(job.Run(20000), DownloadResult::Completed);
    const LoggerRecording r = SyntheticRecording(o);
    ExpectSameAsRecording(rl.set, r);
    EXPECT_EQ(rl.set.RmsInterval(), 300.f);
    EXPECT_EQ(rl.set.StartTime(), FromLocalFields(r.start) + TimeValue(r.overwrittenSamples) * 300);
    EXPECT_EQ(rl.set.DataTag(), "RMSTRDATA");
    EXPECT_TRUE(rl.prompts.shown.empty());
    EXPECT_FALSE(rl.channel.IsOpen());
}

TEST(LinkEndToEnd, RecordingFileOfOneChannelEndingInAShortBlock) {
    SyntheticOptions o;
    o.channelCount = 1;
    o.ch1Kind = kChannelAbsent;
    o.ch2Kind = kChannelAmps;
    o.samples = 777;
    o.trEvery = 250;
    const LoggerRecording r = SyntheticRecording(o);
    QTemporaryDir dir;
    const QString path = dir.filePath("rec.bin");
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(RecordingFileBytes(r));
    }
    SimProcess sim;
    ASSERT_TRUE(sim.Start({"--file", path}));
    RealLink rl(sim.device);
    DownloadJob job(*rl.headless);
    ASSERT_EQ(job.Run(20000), DownloadResult::Completed);
    EXPECT_EQ(rl.set.ChannelPresent(0), 0);
    EXPECT_EQ(rl.set.ChannelUnit(1), "A");
    ExpectSameAsRecording(rl.set, r);
}

TEST(LinkEndToEnd, DroppedBlockIsACommunicationInterruptionAndKeepsTheData) {
    SimProcess sim;
    ASSERT_TRUE(sim.Start({"--samples", "2000", "--drop-block", "2", "--drop-count", "2"}));
    RealLink rl(sim.device);
    EditStored(rl.set, [&](StoredSet& d) {
        d.SetChannelPresent(0, 1);
        d.SetChannelUnit(0, "V");
        d.SetRmsCount(2);
    });
    SetValues(rl.set, 0, {230.f, 231.f});
    rl.set.SetDataTag("previous");
    DownloadJob job(*rl.headless);
    ASSERT_EQ(job.Run(15000), DownloadResult::Interrupted);
    EXPECT_EQ(rl.prompts.LastText(), "Communication interruption!");
    EXPECT_EQ(rl.set.RmsCount(), 2);
    EXPECT_EQ(rl.set.ChannelRms(0), (std::vector<float>{230.f, 231.f}));
    EXPECT_EQ(rl.set.ChannelPresent(1), 0);
    EXPECT_EQ(rl.set.DataTag(), "previous");
    EXPECT_FALSE(rl.link.LoadingShown());
}

TEST(LinkEndToEnd, LoggerFaultsGetTheirOutcome) {
    struct Case {
        const char* option;
        DownloadResult result;
    };
    for (const Case c :
         {Case{"--logging-now", DownloadResult::LoggingNow},
          Case{"--no-data", DownloadResult::NoData}, Case{"--silent", DownloadResult::NoLogger}}) {
        SimProcess sim;
        ASSERT_TRUE(sim.Start({"--samples", "10", c.option}));
        RealLink rl(sim.device);
        DownloadJob job(*rl.headless);
        // A silent logger is searched for until the search limit.
        EXPECT_EQ(job.Run(10000, 3000), c.result) << c.option;
    }
}

TEST(LinkEndToEnd, CancelDuringAPacedDownloadEndsAtOnceAndThePortIsFreeForTheNext) {
    SimProcess sim;
    ASSERT_TRUE(sim.Start({"--paced", "--samples", "8000"})); // 32000 bytes, about 3 s
    RealLink rl(sim.device);
    EditStored(rl.set, [&](StoredSet& d) {
        d.SetRmsCount(2);
        d.SetChannelPresent(0, 1);
    });
    SetValues(rl.set, 0, {230.f, 231.f});
    rl.set.SetDataTag("previous");
    // "At once" as an order of events: the download has ended, its dialog gone and the
    // port closed when the cancel returns, and no block is taken after it.
    bool cancelled = false;
    bool endedWithTheCancel = false;
    std::vector<int> progressAfterCancel;
    {
        DownloadJob job(*rl.headless);
        QObject::connect(&job, &DownloadJob::progress, [&](int pos, int) {
            if (cancelled) {
                progressAfterCancel.push_back(pos);
                return;
            }
            if (pos == 10) {
                cancelled = true;
                rl.link.CancelTransfer();
                endedWithTheCancel =
                    !rl.link.TransferMode() && !rl.link.LoadingShown() && !rl.channel.IsOpen();
            }
        });
        ASSERT_EQ(job.Run(15000), DownloadResult::Cancelled);
    }
    ASSERT_TRUE(cancelled);
    EXPECT_TRUE(endedWithTheCancel);
    EXPECT_TRUE(progressAfterCancel.empty());
    EXPECT_TRUE(rl.prompts.shown.empty());
    EXPECT_FALSE(rl.channel.IsOpen());
    EXPECT_FALSE(rl.link.LoadingShown());
    EXPECT_EQ(rl.set.RmsCount(), 2);
    EXPECT_EQ(rl.set.ChannelRms(0), (std::vector<float>{230.f, 231.f}));
    EXPECT_EQ(rl.set.DataTag(), "previous");
    // Free for another program...
    {
        QSerialPort other(sim.device);
        EXPECT_TRUE(other.open(QIODevice::ReadWrite)) << other.errorString().toStdString();
    }
    // ...and for the next download, which completes.
    SyntheticOptions o;
    o.samples = 8000;
    DownloadJob next(*rl.headless);
    ASSERT_EQ(next.Run(20000), DownloadResult::Completed);
    ExpectSameAsRecording(rl.set, SyntheticRecording(o));
}

TEST(QtSerialChannel, APortHeldByAnotherProgramIsBusyAndAMissingOneIsMissing) {
    CoreApp();
    SimProcess sim;
    ASSERT_TRUE(sim.Start({"--samples", "10"}));
    QSerialPort holder(sim.device);
    ASSERT_TRUE(holder.open(QIODevice::ReadWrite));
    QtSerialChannel ch;
    ch.SetFixedDevice(sim.device);
    ASSERT_TRUE(ch.SelectPort(1));
    EXPECT_FALSE(ch.Open());
    EXPECT_EQ(ch.LastOpenError(), SerialChannel::OpenError::Busy);
    holder.close();
    EXPECT_TRUE(ch.Open());
    EXPECT_EQ(ch.LastOpenError(), SerialChannel::OpenError::None);
    ch.Close();
    ch.SetFixedDevice("/dev/ttyDOESNOTEXIST9");
    ASSERT_TRUE(ch.SelectPort(1));
    EXPECT_FALSE(ch.Open());
    EXPECT_EQ(ch.LastOpenError(), SerialChannel::OpenError::Missing);
}

TEST(LoggerSimulator, HugeSampleCountIsRefusedWithoutBuildingIt) {
    for (const char* count : {"131073", "100000000000", "9223372036854775807"}) {
        QProcess p;
        p.start(QStringLiteral(DL_SIM_PATH), {"--samples", count});
        ASSERT_TRUE(p.waitForFinished(10000)) << count;
        EXPECT_EQ(p.exitStatus(), QProcess::NormalExit) << count;
        EXPECT_EQ(p.exitCode(), 2) << count;
        EXPECT_TRUE(p.readAllStandardError().contains("does not fit")) << count;
    }
}

TEST(LoggerSimulator, StartOutsideTheHeadersBcdRangeIsRefused) {
    for (const char* start : {"1999-12-31T23:59:59", "2100-01-01T00:00:00", "2010-13-01T00:00:00",
                              "2010-01-01T24:00:00"}) {
        QProcess p;
        p.start(QStringLiteral(DL_SIM_PATH), {"--start", start});
        ASSERT_TRUE(p.waitForFinished(10000)) << start;
        EXPECT_EQ(p.exitCode(), 2) << start;
        EXPECT_TRUE(p.readAllStandardError().contains("--start")) << start;
    }
}

} // namespace

namespace {

// The configuration commands of the command-line tool run on the headless link with
// a tap between the link and the device; the tap sees each reply, the link still
// handles it (closing the port after the acknowledgement).
TEST(HeadlessOnChannel, AConfigJobThroughATapIsAcknowledgedAndASilentLoggerIsNone) {
    CoreApp();
    for (bool silent : {false, true}) {
        SCOPED_TRACE(silent);
        SimProcess sim;
        ASSERT_TRUE(sim.Start(silent ? QStringList{"--silent"} : QStringList{}));
        FakePrompts prompts;
        MeasurementSet set;
        ReplyTapChannel* tap = nullptr;
        QList<QByteArray> seen;
        const auto headless = HeadlessLink::OnChannel(
            sim.device,
            [&](SerialChannel& device) {
                auto t = std::make_unique<ReplyTapChannel>(device);
                tap = t.get();
                return t;
            },
            prompts, set);
        ASSERT_NE(tap, nullptr);
        EXPECT_EQ(&headless->Channel(), tap);
        ConfigJob job(
            headless->Link(), *tap, [&] { headless->Wait(); },
            [&] { return headless->ElapsedMs(); });
        const int64_t begin = headless->ElapsedMs();
        const ConfigResult r =
            job.Run(LinkDialog::Setup, Config::BuildSetupCommand(Config::SetupValues{}), 2000);
        if (silent) {
            EXPECT_EQ(r, ConfigResult::NoLogger);
            // Given up by the search limit, as the window's dialog would go on scanning.
            EXPECT_LT(headless->ElapsedMs() - begin, 4000);
        } else {
            EXPECT_EQ(r, ConfigResult::Acknowledged);
            EXPECT_FALSE(headless->Device().IsOpen());
        }
    }
}

} // namespace
