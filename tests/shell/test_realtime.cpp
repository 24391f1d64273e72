// The real-time acquisition in virtual time: the logger model streams frames
// through the fake channel every 250 ms of the manual clock, the session stores the
// samples, refreshes the graph modes and ends the run on every path.

#include "base/LocalTime.h"
#include "data/PreviousMeasurement.h"
#include "data/RealTimeCsv.h"
#include "data/RtJournal.h"
#include "data/RtdataFile.h"
#include "data/StdataFile.h"
#include "graph/GraphRenderer.h"
#include "shell/AppShell.h"
#include "shell/ConfigSession.h"
#include "shell/FileCommands.h"
#include "shell/GraphController.h"
#include "shell/LinkSession.h"
#include "shell/ListCommands.h"
#include "shell/RealTimeSession.h"
#include "sim/FakeSerialChannel.h"
#include "sim/LoggerModel.h"
#include "support/RunSamples.h"
#include "support/StoredSetBuilder.h"

#include <QFile>
#include <QTemporaryDir>

#include <cmath>
#include <ctime>
#include <optional>
#include <set>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

namespace {

QByteArray FileBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

constexpr int kFrameMs = 250;
// The logger's real-time commands as its protocol has them: start is 0xC8 eight
// times, stop 0xC8 seven times and then 0xC9.
const QByteArray kStartBytes("\xC8\xC8\xC8\xC8\xC8\xC8\xC8\xC8", 8);
const QByteArray kStopBytes("\xC8\xC8\xC8\xC8\xC8\xC8\xC8\xC9", 8);
// The times and offsets below are Berlin's, whatever zone the machine is in.
const bool kBerlin = [] {
    qputenv("TZ", "Europe/Berlin");
    tzset();
    return true;
}();
// 2026-12-08 14:05:00 in Berlin.
const TimeValue kStart = FromLocalFields({2026, 12, 8, 14, 5, 0});

struct RealTime : ::testing::Test {
    RealTime() {
        qputenv("DATALOGGER_DIR", dir.path().toLocal8Bit());
        now.Set(kStart);
        channel.SetOpenable(1);
        channel.SetResponder([this](int, const QByteArray& w) { return logger.Feed(w); });
        logger.SetRealTimeKinds(2, kChannelVolts, kChannelAmps);
        // The logger's line: a frame every 250 ms while it streams.
        line.SetHandler([this](int) {
            if (logger.Streaming() && channel.IsOpen()) {
                const QByteArray f = logger.NextFrame();
                if (!f.isEmpty())
                    channel.Inject(f);
            }
        });
        line.Start(1, kFrameMs);
        session.AttachGraph(&graph);
        session.SetJournalPath(dir.filePath("journal.rtj"));
        QObject::connect(&session, &RealTimeSession::runDialogRequested,
                         [this] { link().OpenDialog(LinkDialog::RealTime); });
        QObject::connect(&session, &RealTimeSession::runEnded,
                         [this](RealTimeEnd e) { ends.push_back(e); });
        shell.Graph().SetClient(1600, 900);
    }
    ~RealTime() override { qunsetenv("DATALOGGER_DIR"); }

    LinkController& link() { return linkSession.Link(); }
    // Run command, search, RUN pressed with `interval` and `count`.
    void Run(int interval, int count) {
        ASSERT_TRUE(shell.Execute(Cmd::Run));
        ASSERT_TRUE(clock.AdvanceUntil(
            [&] { return link().Dialog(LinkDialog::RealTime).state == LinkState::Connected; },
            3000));
        ASSERT_TRUE(session.PressRun(interval, count));
    }
    std::vector<QByteArray> Stops() const {
        std::vector<QByteArray> out;
        for (const auto& w : channel.Writes())
            if (w.bytes == kStopBytes)
                out.push_back(w.bytes);
        return out;
    }
    bool RunUntilEnded(int64_t limitMs) {
        return clock.AdvanceUntil([&] { return !ends.empty(); }, limitMs);
    }

    QTemporaryDir dir;
    ManualClock clock;
    ManualTimerTable timers{clock};
    ManualTimerTable line{clock};
    FakeSerialChannel channel{&clock};
    FakePrompts prompts;
    FixedClock now;
    LoggerModel logger;
    AppShell shell{timers, prompts, now, dir.filePath("LumoDATALOGGER.ini")};
    GraphController graph{shell};
    LinkSession linkSession{shell, channel};
    RealTimeSession session{shell, linkSession.Link()};
    std::vector<RealTimeEnd> ends;
};

TEST_F(RealTime, TicksAt10msThenAtTheIntervalAndStopsAtTheCount) {
    Run(2, 3);
    EXPECT_TRUE(shell.RealTimeRunning());
    EXPECT_EQ(channel.Writes().back().bytes, kStartBytes);
    EXPECT_EQ(channel.Threshold(), 2365);
    // First frame within 250 ms; the first sample 10 ms later.
    ASSERT_TRUE(clock.AdvanceUntil([&] { return shell.Set().RtCount() == 1; }, 400));
    EXPECT_EQ(timers.PeriodOf(FrameTimer::RealTimeTick), 2000);
    EXPECT_EQ(timers.PeriodOf(FrameTimer::RealTimeWatchdog), 500);
    EXPECT_EQ(timers.PeriodOf(FrameTimer::RealTimeRestart), 5000);
    EXPECT_EQ(shell.Set().RtStartTime(), kStart);
    EXPECT_EQ(shell.Graph().DisplayContent(), GraphModel::kContentGraph);
    // No real-time graph was chosen: the waveform graph is shown.
    EXPECT_EQ(shell.Graph().Mode(), GraphMode::RealTimeEpa);
    ASSERT_TRUE(RunUntilEnded(6000));
    EXPECT_EQ(ends.front(), RealTimeEnd::CountReached);
    EXPECT_EQ(shell.Set().RtCount(), 3);
    EXPECT_FALSE(shell.RealTimeRunning());
    for (int id : {12, 13, 14, 15})
        EXPECT_FALSE(timers.IsActive(id)) << id;
    // The stop command, then once more after the frame that found the count reached.
    EXPECT_EQ(Stops().size(), 2u);
    // 230 V and 10 A at 50 Hz.
    for (int n = 0; n < 3; ++n) {
        EXPECT_NEAR(shell.Set().Run().Rms()[size_t(n)][0], 230.0, 0.6);
        EXPECT_NEAR(shell.Set().Run().Rms()[size_t(n)][1], 10.0, 0.2);
        // Crossings fall on whole samples: 365 or 366 apart, 50.1 or 49.9 Hz.
        EXPECT_NEAR(shell.Set().Run().Freq()[size_t(n)][0], 50.0f, 0.15);
    }
    // The run is kept as the previous measurement in a file of its own, with every
    // sample's time and waveform.
    EXPECT_FALSE(QFile::exists(PreviousMeasurementPath()));
    RtdataImage kept;
    ASSERT_TRUE(LoadRtdataFile(PreviousRunPath(), kept).Ok());
    EXPECT_EQ(kept.times, (std::vector<TimeValue>{kStart, kStart + 2, kStart + 4}));
    ASSERT_EQ(kept.waveforms.size(), 3u);
    EXPECT_EQ(kept.waveforms[0][0][0], logger.Stream().Sample(0, 0, 0));
    EXPECT_EQ(shell.Set().DataTag(), "EPADATA");
    EXPECT_EQ(shell.DataUnsaved(), 1);
}

TEST_F(RealTime, ACountOfOneEndsOnTheNextFrameAndALateTickFindsNoRoom) {
    Run(2, 1);
    ASSERT_TRUE(clock.AdvanceUntil([&] { return shell.Set().RtCount() == 1; }, 400));
    EXPECT_TRUE(shell.RealTimeRunning());
    ASSERT_TRUE(RunUntilEnded(kFrameMs + 10));
    EXPECT_EQ(shell.Set().RtCount(), 1);
    EXPECT_EQ(shell.Set().Run().Rms().size(), 1u);

    // The sampler refuses a sample past the capacity rather than writing it.
    RealTimeSampler sampler;
    EXPECT_FALSE(sampler.Sample(shell.Set()));
    EXPECT_EQ(shell.Set().RtCount(), 1);
}

TEST_F(RealTime, AFrameAfterStopIsAnsweredByTheStopCommandAlone) {
    Run(2, 100);
    ASSERT_TRUE(clock.AdvanceUntil([&] { return shell.Set().RtCount() == 2; }, 3000));
    ASSERT_TRUE(shell.Execute(Cmd::Stop));
    EXPECT_EQ(ends, std::vector<RealTimeEnd>{RealTimeEnd::Stopped});
    EXPECT_FALSE(shell.StateOf(Cmd::Stop).enabled);
    EXPECT_TRUE(shell.StateOf(Cmd::Run).enabled);
    const size_t writes = channel.Writes().size();
    const auto wave = shell.Set().Run().Capture();
    const int count = shell.Set().RtCount();
    QByteArray other = logger.NextFrame();
    other[5] = char(0x12); // a different first sample
    channel.Inject(other);
    ASSERT_EQ(channel.Writes().size(), writes + 1);
    EXPECT_EQ(channel.Writes().back().bytes, kStopBytes);
    EXPECT_EQ(shell.Set().Run().Capture(), wave);
    EXPECT_EQ(shell.Set().RtCount(), count);
    EXPECT_EQ(ends.size(), 1u);
    EXPECT_TRUE(prompts.shown.empty());
}

TEST_F(RealTime, TenSecondsOfSilenceEndTheRunQuietlyAndKeepTheSamples) {
    RealTimeStream s;
    s.silenceAfter = 9; // about 2 s of frames
    logger.SetRealTimeStream(s);
    std::vector<WorkReport> done;
    QObject::connect(&shell.Notices(), &WorkNotices::workDone,
                     [&](const WorkReport& r) { done.push_back(r); });
    Run(2, 100);
    ASSERT_TRUE(RunUntilEnded(25000));
    EXPECT_EQ(ends.front(), RealTimeEnd::Silence);
    // No box, but the status bar must be able to say why the run stopped early.
    ASSERT_EQ(done.size(), 1u);
    EXPECT_TRUE(done[0].loggerSilent);
    // The last frame came at about 2.25 s after RUN; the run ends 10 s after it.
    EXPECT_LE(clock.NowMs(), 13500);
    EXPECT_GE(shell.Set().RtCount(), 2);
    EXPECT_TRUE(prompts.shown.empty());
    EXPECT_FALSE(channel.IsOpen());
    EXPECT_TRUE(Stops().empty());
    EXPECT_TRUE(QFile::exists(PreviousRunPath()));
}

TEST_F(RealTime, ALoggerThatNeverStreamsEndsTheRunToo) {
    logger.SetFaults(LoggerFaults{.silent = false});
    RealTimeStream s;
    s.silenceAfter = 0;
    channel.SetResponder([this](int, const QByteArray& w) {
        const QByteArray r = logger.Feed(w);
        logger.Feed(kStopBytes); // never streams
        return r;
    });
    Run(2, 100);
    ASSERT_TRUE(RunUntilEnded(10500));
    EXPECT_EQ(ends.front(), RealTimeEnd::Silence);
    EXPECT_EQ(shell.Set().RtCount(), 0);
    // Start command once more 500 ms after the first: timer 12.
    EXPECT_EQ(channel.WritesStartingWith(0xC8).size(), 2u);
}

TEST_F(RealTime, AUnitChangedInMidRunStopsTheRunAndKeepsTheSamples) {
    Run(2, 100);
    ASSERT_TRUE(clock.AdvanceUntil([&] { return shell.Set().RtCount() == 2; }, 3000));
    logger.SetRealTimeKinds(2, kChannelVolts, kChannelVolts); // CH2 now measures volts
    ASSERT_TRUE(RunUntilEnded(3000));
    EXPECT_EQ(ends.front(), RealTimeEnd::ChannelChanged);
    EXPECT_TRUE(prompts.Saw("The channel is changed,please restart!"));
    EXPECT_EQ(shell.Set().RtChannelUnit(1), "A");
    EXPECT_EQ(shell.Set().RtCount(), 2);
    EXPECT_TRUE(QFile::exists(PreviousRunPath()));
}

TEST_F(RealTime, AChannelSwitchedOffStopsTheRunAndTheFirstChannelsStay) {
    logger.SetFaults(LoggerFaults{.channelChangeAfter = 3});
    Run(2, 100);
    ASSERT_TRUE(RunUntilEnded(2000));
    EXPECT_EQ(ends.front(), RealTimeEnd::ChannelChanged);
    EXPECT_TRUE(prompts.Saw("The channel is changed,please restart!"));
    EXPECT_TRUE(shell.Set().RtChannelPresent(1));
    EXPECT_EQ(shell.Set().RtChannelUnit(1), "A");
    EXPECT_EQ(shell.Set().RtCount(), 1);
    EXPECT_GE(Stops().size(), 1u);
}

TEST_F(RealTime, AFrameWithoutChannelsStopsWithItsMessage) {
    logger.SetRealTimeKinds(0, kChannelAbsent, kChannelAbsent);
    Run(2, 100);
    ASSERT_TRUE(RunUntilEnded(400));
    EXPECT_EQ(ends.front(), RealTimeEnd::NoChannel);
    EXPECT_TRUE(prompts.Saw("There is no channel!"));
    EXPECT_EQ(prompts.shown.back().icon, PromptIcon::Exclamation);
    EXPECT_EQ(shell.Set().RtCount(), 0);
    EXPECT_FALSE(QFile::exists(PreviousRunPath())); // no samples, no file
}

TEST_F(RealTime, FramesSplitOrReadFromTheirMiddleAreReassembled) {
    Run(2, 100);
    line.Kill(1);
    const QByteArray f = logger.NextFrame();
    // Half a frame of noise, then a frame in two pieces.
    channel.Inject(QByteArray(1000, char(0x55)) + f.left(1365));
    // The notification comes as soon as the rest of the frame is there.
    channel.Inject(f.mid(1365));
    EXPECT_EQ(session.Transfer().FramesHandled(), 1);
    EXPECT_EQ(channel.Threshold(), 2365);
    EXPECT_EQ(shell.Set().Run().CapturePoints(), 590);
    EXPECT_EQ(shell.Set().Run().Capture()[0][0], float(logger.Stream().Sample(0, 0, 0)));
    // Two frames in one read are both handled.
    channel.Inject(f + f);
    EXPECT_EQ(session.Transfer().FramesHandled(), 3);
}

TEST_F(RealTime, TheModeShownGrowsBySamplesAndAppendsTheNewestSegment) {
    int appended = 0;
    QObject::connect(&shell, &AppShell::realTimePointAppended, [&] { ++appended; });
    graph.OnRealTimeRms();                         // nothing to show yet: no mode
    shell.Graph().SetMode(GraphMode::RealTimeRms); // chosen before the run
    Run(2, 100);
    ASSERT_TRUE(clock.AdvanceUntil([&] { return shell.Set().RtCount() == 4; }, 8000));
    EXPECT_EQ(shell.Graph().Mode(), GraphMode::RealTimeRms);
    EXPECT_EQ(shell.Graph().LastPoint(), 4);
    EXPECT_EQ(shell.Graph().Info().count, "4");
    EXPECT_EQ(appended, 3); // every sample after the first
    EXPECT_EQ(shell.Graph().Info().ch1Max, shell.Set().ExtremeText(8, 0));
    EXPECT_TRUE(shell.Graph().Info().ch1Max.contains(" @08/12/26 14:05:0"));
    EXPECT_TRUE(shell.StateOf(Cmd::RealTimeApparentPower).enabled);
    EXPECT_TRUE(shell.StateOf(Cmd::RealTimeRms).checked);
}

TEST_F(RealTime, PassingACompressionLevelRepaintsOnceThenOneSegmentPerSample) {
    RealTimeStream noisy;
    noisy.waves[0].noise = 20; // every frame its own RMS
    logger.SetRealTimeStream(noisy);
    std::vector<std::pair<int, AppendAction>> actions;
    int mismatches = 0;
    QObject::connect(&shell, &AppShell::realTimePointAppended, [&] {
        const int count = shell.Set().RtCount();
        actions.emplace_back(count, shell.Graph().AppendRealTimePoint(graph.Inputs()).action);
        if (count != 145)
            return;
        // The pixels computed sample by sample are those of a computation from scratch.
        GraphModel fresh = shell.Graph();
        fresh.ResetScale(); // a new scale generation: every pixel anew
        fresh.ComputeScale(graph.Inputs());
        for (int64_t k = 0; k < count; ++k)
            for (int ch = 0; ch < 2; ++ch)
                mismatches += fresh.YPix(k, 0, ch) != shell.Graph().YPix(k, 0, ch) ||
                              fresh.XPix(k, 0, ch) != shell.Graph().XPix(k, 0, ch);
    });
    shell.Graph().SetMode(GraphMode::RealTimeRms);
    Run(2, 150);
    ASSERT_TRUE(RunUntilEnded(400000));
    ASSERT_EQ(shell.Set().RtCount(), 150);
    // A level holds about 12/11 as many points as the one below: 100, 109, 118, ...
    std::set<int> passes;
    const RtCapacityTable& levels = shell.Graph().RtCapacity();
    for (int l = 0; l < levels.LevelCount(); ++l)
        passes.insert(levels.Capacity(l) + 1);
    int repaints = 0;
    for (const auto& [count, action] : actions) {
        if (count < 3 || passes.count(count)) {
            EXPECT_EQ(action, AppendAction::RepaintAll) << count;
            repaints += count >= 3;
        } else {
            EXPECT_EQ(action, AppendAction::DrawNewest) << count;
        }
    }
    EXPECT_EQ(repaints, levels.Level());
    EXPECT_GE(levels.Level(), 4);
    EXPECT_EQ(mismatches, 0);
}

// The command table's rules before, during and after a run: what would reach the
// link or replace the data waits for the run's end, Stop only works during it, and
// what reads the data shown follows the data, not the run.
TEST_F(RealTime, EveryCommandFollowsItsRuleBeforeDuringAndAfterARun) {
    FileCommands files(shell);
    ListCommands lists(shell);
    const int idle[] = {Cmd::Open, Cmd::PreviousMeasurement, Cmd::Run, Cmd::FileOpenFramework};
    const int shown[] = {Cmd::Save,        Cmd::PrintSetup, Cmd::PrintPreviewGraph,
                         Cmd::PrintGraph,  Cmd::DataList,   Cmd::FilePrintFramework,
                         Cmd::ExportImage, Cmd::ExportCsv};
    const int list[] = {Cmd::PrintPreviewList, Cmd::PrintList};
    const int always[] = {Cmd::Exit, Cmd::FileNew, Cmd::FileSaveFramework};
    const int live[] = {Cmd::RealTimeEpa, Cmd::RealTimeRms, Cmd::RealTimeFrequency,
                        Cmd::RealTimeApparentPower};
    auto expect = [&](bool running, bool data, const char* when) {
        SCOPED_TRACE(when);
        for (int id : idle)
            EXPECT_EQ(shell.StateOf(id).enabled, !running) << id;
        EXPECT_EQ(shell.StateOf(Cmd::Stop).enabled, running);
        for (int id : shown)
            EXPECT_EQ(shell.StateOf(id).enabled, data) << id;
        for (int id : list)
            EXPECT_EQ(shell.StateOf(id).enabled, data && lists.DataListOpen()) << id;
        for (int id : always)
            EXPECT_TRUE(shell.StateOf(id).enabled) << id;
        for (int id : live)
            EXPECT_EQ(shell.StateOf(id).enabled, data) << id;
        // Nothing stored was read: the stored modes stay off throughout.
        EXPECT_FALSE(shell.StateOf(Cmd::StoreRms).enabled);
        EXPECT_FALSE(shell.StateOf(Cmd::StoreTransient).enabled);
        EXPECT_FALSE(shell.StateOf(Cmd::ImportToList).enabled);
    };
    expect(false, false, "before any data");

    Run(2, 3);
    EXPECT_TRUE(shell.RealTimeRunning());
    expect(true, false, "running, before the first frame");
    ASSERT_TRUE(clock.AdvanceUntil([&] { return shell.Set().RtCount() == 2; }, 5000));
    ASSERT_TRUE(shell.RealTimeRunning());
    expect(true, true, "running, data list closed");
    lists.SetDataListOpen(true);
    expect(true, true, "running, data list open");
    // A refused command runs nothing: no file dialog, no second run.
    const size_t writes = channel.Writes().size();
    EXPECT_FALSE(shell.Execute(Cmd::Open));
    EXPECT_FALSE(shell.Execute(Cmd::PreviousMeasurement));
    EXPECT_FALSE(shell.Execute(Cmd::Run));
    EXPECT_TRUE(prompts.shown.empty());
    EXPECT_EQ(channel.Writes().size(), writes);

    ASSERT_TRUE(RunUntilEnded(10000));
    EXPECT_EQ(shell.Set().RtCount(), 3);
    expect(false, true, "after the run");
    lists.SetDataListOpen(false);
    expect(false, true, "after the run, data list closed");
}

TEST_F(RealTime, ClosingTheWindowStopsTheLoggerFirst) {
    Run(2, 100);
    ASSERT_TRUE(clock.AdvanceUntil([&] { return shell.Set().RtCount() == 1; }, 400));
    shell.Graph().SetLastPoint(1); // no save question
    bool closed = false;
    QObject::connect(&shell, &AppShell::closeWindowRequested, [&] {
        closed = true;
        EXPECT_FALSE(Stops().empty());
    });
    shell.RequestClose();
    EXPECT_EQ(Stops().size(), 1u);
    EXPECT_FALSE(shell.RealTimeRunning());
    clock.Advance(100);
    EXPECT_TRUE(closed);
}

TEST_F(RealTime, PanelTextsFollowEverySample) {
    graph.SetEpaPanelOpen(true);
    RealTimeStream s;
    s.waves[1].amplitude = 7.07; // 5 A: not above 7
    logger.SetRealTimeStream(s);
    Run(2, 100);
    ASSERT_TRUE(clock.AdvanceUntil([&] { return shell.Set().RtCount() == 2; }, 3000));
    EXPECT_NEAR(graph.EpaPanelTexts()[0].rms.toDouble(), 230.0, 0.5);
    EXPECT_EQ(graph.EpaPanelTexts()[1].rms, "LO");
    EXPECT_EQ(graph.EpaApparentPower(), "LO");
    EXPECT_EQ(ApparentPowerText("230.0", "5.0"), "LO");
    EXPECT_EQ(ApparentPowerText("230.0", "10.0"), "2300");
    // 10 A from the next frame on: the panel's S(VA) follows.
    s.waves[1].amplitude = 14.142;
    logger.SetRealTimeStream(s);
    ASSERT_TRUE(clock.AdvanceUntil([&] { return shell.Set().RtCount() == 3; }, 3000));
    EXPECT_NEAR(graph.EpaPanelTexts()[1].rms.toDouble(), 10.0, 0.1);
    EXPECT_EQ(graph.EpaApparentPower(),
              QString::number(std::lround(graph.EpaPanelTexts()[0].rms.toDouble() *
                                          graph.EpaPanelTexts()[1].rms.toDouble())));
}

TEST_F(RealTime, BothChannelsInVoltsKeepThePanelsPowerAndItsExtremes) {
    logger.SetRealTimeKinds(2, kChannelVolts, kChannelVolts);
    graph.SetEpaPanelOpen(true);
    Run(2, 100);
    ASSERT_TRUE(clock.AdvanceUntil([&] { return shell.Set().RtCount() == 2; }, 3000));
    EXPECT_EQ(graph.EpaApparentPower(), "NONE");
    EXPECT_TRUE(shell.Set().PowerExtremeText(0).isEmpty());
    EXPECT_FALSE(shell.StateOf(Cmd::RealTimeApparentPower).enabled);
}

TEST_F(RealTime, TheJournalHoldsEverySampleAndItsWaveformUntilTheRunEnds) {
    const QString journal = dir.filePath("journal.rtj");
    Run(2, 3);
    ASSERT_TRUE(clock.AdvanceUntil([&] { return shell.Set().RtCount() == 2; }, 3000));
    const RtJournalScan scan = ScanRtJournal(journal);
    ASSERT_TRUE(scan.headerOk);
    EXPECT_EQ(scan.values.times, (std::vector<TimeValue>{kStart, kStart + 2}));
    EXPECT_EQ(scan.values.rms[0],
              (std::vector<float>{shell.Set().Run().Rms()[0][0], shell.Set().Run().Rms()[1][0]}));
    EXPECT_EQ(scan.recordsAt.size(), 2u);
    ASSERT_TRUE(RunUntilEnded(3000));
    EXPECT_FALSE(QFile::exists(journal));
    EXPECT_TRUE(session.RecoverJournal().isEmpty());
    // The waveforms stay at hand after the run: the first sample's comes back.
    ASSERT_TRUE(shell.Set().Run().KeepsWaveforms());
    ASSERT_TRUE(shell.Set().Run().ShowSample(0));
    EXPECT_EQ(shell.Set().Run().Capture()[0][0], float(logger.Stream().Sample(0, 0, 0)));
}

// A journal of `samples` CH1 samples two seconds apart that was never finished,
// as a run that died leaves it.
void LeaveUnfinishedJournal(const QString& path, int samples) {
    RtJournal j(path);
    RtRunHeader h;
    h.interval = 2;
    h.startTime = kStart;
    h.kind = {kChannelVolts, kChannelAbsent};
    ASSERT_TRUE(j.Begin(h));
    RtWaveform wave{};
    for (int i = 0; i < samples; ++i)
        ASSERT_TRUE(j.Append({kStart + 2 * i, {230.0f, 0.0f}, {50.0f, 400.0f}}, wave));
}

TEST_F(RealTime, AJournalLeftBehindIsKeptAsARunFileAndReportedOnce) {
    const QString journal = dir.filePath("journal.rtj");
    LeaveUnfinishedJournal(journal, 2); // the process "died" here and the file stays
    const QString text = session.RecoverJournal();
    ASSERT_FALSE(text.isEmpty());
    EXPECT_TRUE(text.startsWith(
        "The last real-time run did not end normally; its 2 samples were kept in "));
    EXPECT_FALSE(QFile::exists(journal));
    const QString kept = text.section(" kept in ", 1).chopped(1);
    EXPECT_TRUE(kept.endsWith(".rtdata"));
    FileCommands files(shell);
    EXPECT_EQ(files.LoadFile(kept), FileCommands::LoadResult::Loaded);
    EXPECT_EQ(shell.Set().RtCount(), 2);
    EXPECT_TRUE(session.RecoverJournal().isEmpty());
    EXPECT_EQ(prompts.shown.size(), 1u);
}

TEST_F(RealTime, SaveWritesTheRunBesideTheTwoFilesAndAsksOnceForAllThree) {
    FileCommands files(shell);
    Run(2, 2);
    ASSERT_TRUE(RunUntilEnded(5000));
    prompts.QueueFile(dir.filePath("run.stdata"));
    ASSERT_TRUE(files.Save());
    RtdataImage saved;
    ASSERT_TRUE(LoadRtdataFile(dir.filePath("run.rtdata"), saved).Ok());
    EXPECT_EQ(saved.Count(), 2);
    EXPECT_EQ(saved.waveforms.size(), 2u);
    EXPECT_TRUE(QFile::exists(dir.filePath("run.xls")));
    EXPECT_FALSE(QFile::exists(dir.filePath("run-realtime.csv")));

    // Again under the same name: one question names every file there.
    const size_t asked = prompts.shown.size();
    prompts.QueueFile(dir.filePath("run.stdata"));
    prompts.QueueAnswer(PromptAnswer::Yes);
    ASSERT_TRUE(files.Save());
    ASSERT_EQ(prompts.shown.size(), asked + 1);
    const QString q = prompts.shown.back().text;
    for (const char* name : {"run.stdata", "run.xls", "run.rtdata"})
        EXPECT_TRUE(q.contains(QLatin1String(name))) << q.toStdString();
}

TEST_F(RealTime, EveryKeptWaveformOpensFromThePointAndStepsThroughTheRun) {
    QStringList status;
    QObject::connect(&shell, &AppShell::statusText, [&](const QString& t) { status << t; });
    RealTimeStream stream;
    Run(2, 3);
    // A different waveform for each sample: the second one at half the voltage.
    ASSERT_TRUE(clock.AdvanceUntil([&] { return shell.Set().RtCount() == 1; }, 400));
    stream.waves[0].amplitude /= 2;
    logger.SetRealTimeStream(stream);
    ASSERT_TRUE(clock.AdvanceUntil([&] { return shell.Set().RtCount() == 2; }, 3000));
    stream.waves[0].amplitude *= 2;
    logger.SetRealTimeStream(stream);
    // During the run the waveform graph follows the newest frame.
    ASSERT_TRUE(shell.ExecuteDirect(Cmd::RealTimeRms));
    EXPECT_FALSE(graph.OpenSampleWaveform(0));
    ASSERT_TRUE(RunUntilEnded(6000));

    graph.SetEpaPanelOpen(true);
    ASSERT_TRUE(shell.ExecuteDirect(Cmd::RealTimeRms));
    ASSERT_TRUE(graph.OpenSampleWaveform(1));
    EXPECT_EQ(shell.Graph().Mode(), GraphMode::RealTimeEpa);
    EXPECT_EQ(shell.Graph().Info().title, "REAL TIME EPA");
    EXPECT_EQ(shell.Graph().Info().start, FormatDateTime(kStart + 2));
    EXPECT_EQ(status.back(), "Sample 2 of 3");
    EXPECT_NEAR(graph.EpaPanelTexts()[0].rms.toDouble(), 115.0, 0.5);
    EXPECT_NEAR(shell.Set().Run().Rms()[1][0], 115.0, 0.5);

    EXPECT_TRUE(graph.StepSampleWaveform(+1));
    EXPECT_EQ(status.back(), "Sample 3 of 3");
    EXPECT_NEAR(graph.EpaPanelTexts()[0].rms.toDouble(), 230.0, 0.6);
    EXPECT_EQ(shell.Graph().Info().start, FormatDateTime(kStart + 4));
    EXPECT_FALSE(graph.StepSampleWaveform(+1)); // already the last
    EXPECT_TRUE(graph.OpenEdgeSampleWaveform(false));
    EXPECT_EQ(shell.Set().Run().CaptureSample(), 0);
    EXPECT_TRUE(graph.StepSampleWaveform(+1));
    EXPECT_EQ(shell.Set().Run().CaptureSample(), 1);
    EXPECT_EQ(status.back(), "Sample 2 of 3");
}

// A stored set of three CH1 values a minute apart from kStart.
StoredSetBuilder ThreeMinutesStored() {
    return StoredSetBuilder().ChannelCount(1).Interval(60).Start(kStart).Channel(
        0, {230.0f, 231.0f, 232.0f}, "V");
}

TEST_F(RealTime, ARunWroteOverTheDownloadsPreviousMeasurementAndCouldNotBeRecalled) {
    FileCommands files(shell);
    const MeasurementSet stored = ThreeMinutesStored().Set();
    ASSERT_TRUE(WritePreviousMeasurement(stored));
    const QByteArray download = FileBytes(PreviousMeasurementPath());

    Run(2, 5);
    ASSERT_TRUE(RunUntilEnded(20000));
    EXPECT_EQ(FileBytes(PreviousMeasurementPath()), download);
    // Previous Measurement recalls the newer of the two: the run.
    shell.Set().Run().Begin(0, 2, 0);
    ASSERT_TRUE(shell.ExecuteDirect(Cmd::PreviousMeasurement));
    EXPECT_EQ(shell.Set().RtCount(), 5);
    graph.ApplyModeFromFile(); // as the view does when it next draws
    EXPECT_EQ(shell.Graph().Mode(), GraphMode::RealTimeRms);
    EXPECT_EQ(shell.Graph().Info().count, "5");
    // The download's copy still opens.
    EXPECT_EQ(files.LoadFile(PreviousMeasurementPath()), FileCommands::LoadResult::Loaded);
    EXPECT_EQ(shell.Set().RmsCount(), 3);
}

// --- what a user met after a run ---

TEST_F(RealTime, SetupAfterARunLostTheStartButtonMessageToTheStoppedTransfer) {
    ConfigSession config(shell, link());
    Run(2, 1);
    ASSERT_TRUE(RunUntilEnded(5000));
    ASSERT_TRUE(link().TransferMode()); // late frames are still answered with a stop
    logger.SetFaults(LoggerFaults{.notLogging = true});
    ASSERT_TRUE(config.BeginSetupCommand());
    EXPECT_FALSE(link().TransferMode());
    config.OpenSetupDialog();
    ASSERT_TRUE(clock.AdvanceUntil(
        [&] { return link().Dialog(LinkDialog::Setup).state == LinkState::Connected; }, 3000));
    const size_t stops = Stops().size();
    ASSERT_TRUE(config.PressSetup(ConfigSession::DefaultSetup()));
    clock.Advance(50);
    EXPECT_EQ(prompts.LastText(),
              "To start logging, press the START button on the DATA LOGGER for three seconds");
    EXPECT_EQ(Stops().size(), stops);
    EXPECT_FALSE(channel.IsOpen());
}

TEST_F(RealTime, ARunArmsTheDownloadPromptAndTellsItsProgressAndItsEnd) {
    std::vector<std::pair<int, int>> progress;
    std::vector<WorkReport> done;
    QObject::connect(&shell.Notices(), &WorkNotices::runProgress,
                     [&](int taken, int asked) { progress.emplace_back(taken, asked); });
    QObject::connect(&shell.Notices(), &WorkNotices::workDone,
                     [&](const WorkReport& r) { done.push_back(r); });
    shell.SetShownFile(dir.filePath("before.stdata"));
    Run(2, 3);
    ASSERT_TRUE(RunUntilEnded(10000));
    EXPECT_EQ(progress, (std::vector<std::pair<int, int>>{{1, 3}, {2, 3}, {3, 3}}));
    ASSERT_EQ(done.size(), 1u);
    EXPECT_EQ(done[0].what, WorkDone::RunEnded);
    EXPECT_EQ(done[0].samples, 3);
    EXPECT_EQ(done[0].records, 3);
    EXPECT_FALSE(done[0].loggerSilent);
    EXPECT_EQ(shell.PromptOnDownload(), 1);
    EXPECT_TRUE(shell.ShownFile().isEmpty()); // the samples are in no file yet
}

TEST_F(RealTime, BackToEpaAfterARunLeftTheCh1RmsBoxBlank) {
    graph.SetEpaPanelOpen(true);
    Run(2, 2);
    ASSERT_TRUE(RunUntilEnded(5000));
    ASSERT_NEAR(graph.EpaPanelTexts()[0].rms.toDouble(), 230.0, 0.5);
    // Another mode: the panel closes and empties CH1's texts.
    ASSERT_TRUE(shell.ExecuteDirect(ModeCommandId(GraphMode::RealTimeRms)));
    graph.SetEpaPanelOpen(false);
    graph.ClearEpaCh1Texts();
    ASSERT_TRUE(shell.ExecuteDirect(ModeCommandId(GraphMode::RealTimeEpa)));
    EXPECT_NEAR(graph.EpaPanelTexts()[0].rms.toDouble(), 230.0, 0.5);
}

TEST_F(RealTime, AFileSavedAfterARunCouldNotBeOpenedAgain) {
    FileCommands files(shell);
    shell.Set().ReplaceStored(ThreeMinutesStored().Build());
    Run(2, 1);
    ASSERT_TRUE(RunUntilEnded(5000));
    ASSERT_EQ(shell.Set().DataTag(), "EPADATA");
    prompts.QueueFile(dir.filePath("saved.stdata"));
    ASSERT_TRUE(files.Save());
    EXPECT_EQ(files.LoadFile(dir.filePath("saved.stdata")), FileCommands::LoadResult::Loaded);
    EXPECT_EQ(shell.Set().RmsCount(), 3);
    // Ctrl+S writes the stored set too, whatever the last run left in the tag.
    shell.Set().SetDataTag("EPADATA");
    prompts.QueueFile(dir.filePath("framework.stdata"));
    ASSERT_TRUE(files.FrameworkSave());
    EXPECT_EQ(files.LoadFile(dir.filePath("framework.stdata")), FileCommands::LoadResult::Loaded);
}

// --- the extremes and the CSV line, without a link ---

TEST(RealTimeExtremes, BoundaryValuesReadLoAndOlAndEqualValuesMoveBothTimes) {
    const TimeValue start = kStart;
    float mx = 0, mn = 0;
    QString tmax, tmin;
    UpdateExtremes(ExtremeRule::Frequency, mx, mn, 40.0f, tmax, tmin, 0, start);
    EXPECT_EQ(tmax, "LO @08/12/26 14:05:00");
    EXPECT_EQ(tmin, "LO @08/12/26 14:05:00");
    UpdateExtremes(ExtremeRule::Frequency, mx, mn, 400.0f, tmax, tmin, 1, start + 2);
    EXPECT_EQ(tmax, "OL @08/12/26 14:05:02");
    EXPECT_EQ(tmin, "LO @08/12/26 14:05:00");
    UpdateExtremes(ExtremeRule::Rms, mx, mn, 0.0f, tmax, tmin, 0, start);
    EXPECT_EQ(tmax, "LO @08/12/26 14:05:00");
    // Equal values: both times move to the later sample.
    UpdateExtremes(ExtremeRule::Rms, mx, mn, 230.24f, tmax, tmin, 0, start);
    UpdateExtremes(ExtremeRule::Rms, mx, mn, 230.24f, tmax, tmin, 5, start + 10);
    EXPECT_EQ(tmax, "230.2 @08/12/26 14:05:10");
    EXPECT_EQ(tmin, "230.2 @08/12/26 14:05:10");
    UpdateExtremes(ExtremeRule::Frequency, mx, mn, 49.96f, tmax, tmin, 0, start);
    EXPECT_EQ(tmax, "50.0 @08/12/26 14:05:00");
}

TEST(RealTimeCsv, LinesCarryTheOffsetADecimalPointAndEmptyFieldsForNoSignal) {
    MeasurementSet s;
    runs::BeginRun(s.Run(), 2, kStart, 2, "V", "A");
    runs::AddSample(s.Run(), {230.04f, 10.0f}, {50.0f, 49.9f});
    runs::AddSample(s.Run(), {229.96f, 0.0f}, {50.1f, 400.0f});
    EXPECT_EQ(RealTimeCsvHeader(), "time,ch1_rms,ch1_unit,ch1_hz,ch2_rms,ch2_unit,ch2_hz,s_va,"
                                   "p_w,q_var,pf,phi_deg,ch1_thd,ch2_thd");
    // Samples without power rows (none stored) leave the power fields empty.
    EXPECT_EQ(RealTimeCsvLine(s, 0),
              "2026-12-08T14:05:00+01:00,230.0,V,50.0,10.0,A,49.9,2300,,,,,,");
    EXPECT_EQ(RealTimeCsvLine(s, 1), "2026-12-08T14:05:02+01:00,230.0,V,50.1,,A,,,,,,,,");
    // The same samples with their power rows.
    RtPowerRow second;
    second.thd[0] = 0.12f;
    runs::BeginRun(s.Run(), 2, kStart, 2, "V", "A");
    runs::AddSample(s.Run(), {230.04f, 10.0f}, {50.0f, 49.9f},
                    RtPowerRow{1992.54f, -1150.4f, 0.86603f, -30.04f, {5.8312f, 20.004f}});
    runs::AddSample(s.Run(), {229.96f, 0.0f}, {50.1f, 400.0f}, second);
    EXPECT_EQ(RealTimeCsvLine(s, 0), "2026-12-08T14:05:00+01:00,230.0,V,50.0,10.0,A,49.9,2300,"
                                     "1993,-1150,0.866,-30.0,5.83,20.00");
    EXPECT_TRUE(RealTimeCsvLine(s, 1).endsWith(",,A,,,,,,,0.12,"));
    s.Run().SetChannel(1, true, "V"); // same units: no S
    EXPECT_TRUE(RealTimeCsvLine(s, 1).endsWith(",,V,,,,,,,0.12,"));
    s.Run().SetChannel(1, false, "V"); // an absent channel has no THD, whatever its row says
    EXPECT_TRUE(RealTimeCsvLine(s, 0).endsWith(",50.0,,,,,1993,-1150,0.866,-30.0,5.83,"));
    // Summer time has its own offset.
    runs::BeginRun(s.Run(), 1, FromLocalFields({2026, 7, 1, 12, 0, 0}));
    runs::AddSample(s.Run(), {230.04f, 10.0f});
    EXPECT_TRUE(RealTimeCsvLine(s, 0).startsWith("2026-07-01T12:00:00+02:00,"));
    EXPECT_EQ(RealTimeCsvPathBeside("/d/x.y/run.stdata"), "/d/x.y/run-realtime.csv");
}

} // namespace

// The run's journal, up to hundreds of megabytes of waveforms, was written beside the
// settings rather than in the data directory. It goes to the data directory now, and a
// journal that a crash under an earlier version left beside the settings is still
// recovered at the next start.
TEST_F(RealTime, TheJournalWentToTheSettingsFolder) {
    struct EnvGuard {
        std::vector<std::pair<const char*, std::optional<QByteArray>>> saved;
        explicit EnvGuard(std::initializer_list<const char*> names) {
            for (const char* n : names)
                saved.emplace_back(n, qEnvironmentVariableIsSet(n)
                                          ? std::optional<QByteArray>(qgetenv(n))
                                          : std::nullopt);
        }
        ~EnvGuard() {
            for (const auto& [n, v] : saved)
                v ? qputenv(n, *v) : qunsetenv(n);
        }
    } guard{"DATALOGGER_DIR", "XDG_CONFIG_HOME", "XDG_DATA_HOME"};
    qunsetenv("DATALOGGER_DIR");
    qputenv("XDG_CONFIG_HOME", dir.filePath("cfg").toLocal8Bit());
    qputenv("XDG_DATA_HOME", dir.filePath("dat").toLocal8Bit());

    EXPECT_EQ(RtJournal::DefaultPath(), dir.filePath("dat/OrvexDatalogger/realtime-journal.rtj"));
    const QString former = dir.filePath("cfg/OrvexDatalogger/realtime-journal.rtj");
    EXPECT_EQ(RtJournal::FormerPath(), former);
    LeaveUnfinishedJournal(former, 3);
    session.SetJournalPath(RtJournal::DefaultPath());
    const QString text = session.RecoverJournal();
    EXPECT_TRUE(text.startsWith(
        "The last real-time run did not end normally; its 3 samples were kept in "));
    EXPECT_FALSE(QFile::exists(former));
    EXPECT_EQ(prompts.shown.size(), 1u);
    EXPECT_TRUE(session.RecoverJournal().isEmpty());
}
