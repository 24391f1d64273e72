// The P(W) and PF graphs of a run and the run's energy: entering the modes, their
// enable rules, axis ranges and settings keys, read-out, list rows and printed
// texts; a sample without a power figure is a gap ("LO"), never a 0. A run read back
// from its file gets its power figures again from the kept waveforms.

#include "base/IniFile.h"
#include "base/LocalTime.h"
#include "base/Settings.h"
#include "data/RealTimeCsv.h"
#include "data/RtdataFile.h"
#include "data/RunEnergy.h"
#include "graph/DataList.h"
#include "graph/RealTimeSampler.h"
#include "graph/Report.h"
#include "graph/Zoom.h"
#include "shell/FileCommands.h"
#include "shell/GraphController.h"
#include "support/RunSamples.h"
#include "support/ShellFixture.h"

#include <QBuffer>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>

namespace {

constexpr TimeValue kStart = 1265202300; // 3 February 2010 14:05:00 in Berlin

RtPowerRow PowerRow(float p, float pf) {
    RtPowerRow r;
    r.p = p;
    r.pf = pf;
    return r;
}

class PowerModes : public ShellFixture {
protected:
    PowerModes() : graph(shell) {
        setenv("TZ", "Europe/Berlin", 1);
        tzset();
    }
    // Three samples half an hour apart: 1000 W at PF 0.87, none, 2000 W at PF -0.5.
    void ThreeSamples() {
        RealTimeRun& run = shell.Set().Run();
        runs::BeginRun(run, 10, kStart, 1800, "V", "A");
        runs::AddSample(run, {230, 5}, {50, 50}, PowerRow(1000, 0.87f));
        runs::AddSample(run, {230, 1}, {50, 50}, RtPowerRow{});
        runs::AddSample(run, {230, 10}, {50, 50}, PowerRow(2000, -0.5f));
        shell.SizeWorkBuffers(WorkBufferOccasion::AfterFileRead);
    }
    GraphModel& G() { return shell.Graph(); }
    DataListView List() { return DataListViewOf(G(), graph.Inputs()); }

    GraphController graph;
};

struct ModeCase {
    GraphMode mode;
    int command;
    int number;
    const char* title;
    const char* heading;
    const char* unit;
    const char* firstCell; // list cell of sample 1
    const char* readout;   // read-out tail of sample 3
    const char* maximum;   // info-bar maximum text's value
};

class PowerModeCases : public PowerModes, public ::testing::WithParamInterface<ModeCase> {};

TEST_P(PowerModeCases, EnterShowsOneTraceWithGapsAndItsOwnRange) {
    const ModeCase& c = GetParam();
    ThreeSamples();
    const size_t m = size_t(c.number - 1);
    shell.Settings().m_yAxisLow[m] = {-7, -8};
    shell.Settings().m_yAxisHigh[m] = {7000, 8000};
    shell.Settings().m_fitActivePowerAxis = false;
    ASSERT_TRUE(shell.Execute(c.command));
    EXPECT_EQ(G().Mode(), c.mode);
    EXPECT_TRUE(shell.StateOf(c.command).checked);
    EXPECT_EQ(ModeNumber(c.mode), c.number);
    EXPECT_EQ(G().Info().title, c.title);
    EXPECT_EQ(G().Info().count, "3");
    EXPECT_TRUE(G().Info().ch1Max.startsWith(c.maximum)) << G().Info().ch1Max.toStdString();
    EXPECT_EQ(G().ChannelUnit(0), c.unit);
    EXPECT_EQ(G().AxisLow(0), -7);
    EXPECT_EQ(G().AxisHigh(0), 7000);
    EXPECT_EQ(G().LastPoint(), 3);
    EXPECT_TRUE(G().ChannelDrawn(shell.Settings(), 0));
    EXPECT_FALSE(G().ChannelDrawn(shell.Settings(), 1));

    // The sample without a figure: no value, a gap in the rows, "LO" in the read-out.
    EXPECT_TRUE(std::isnan(G().ValueOf(graph.Inputs(), 0, 1)));
    G().PrepareFrame(1600, 900, graph.Inputs());
    EXPECT_TRUE(std::isnan(G().YPix(1, 0, 0)));
    EXPECT_FALSE(std::isnan(G().YPix(2, 0, 0)));
    EXPECT_TRUE(ReadoutText(G(), graph.Inputs(), 1).endsWith(QStringLiteral(": LO")));
    EXPECT_TRUE(ReadoutText(G(), graph.Inputs(), 2).endsWith(QString::fromLatin1(c.readout)))
        << ReadoutText(G(), graph.Inputs(), 2).toStdString();

    // The list: one value column, "LO" where the sample has no figure.
    const DataListView v = List();
    EXPECT_EQ(DataListColumnsOf(c.mode)[2].heading, c.heading);
    EXPECT_EQ(DataListRowCount(v), 3);
    EXPECT_EQ(DataListCell(v, 0, 2), c.firstCell);
    EXPECT_EQ(DataListCell(v, 1, 2), "LO");
    EXPECT_EQ(DataListCell(v, 0, 3), "");
    QBuffer csv;
    csv.open(QIODevice::WriteOnly);
    ASSERT_TRUE(WriteDataListCsv(v, csv));
    const QList<QByteArray> lines = csv.data().split('\n');
    ASSERT_GE(lines.size(), 3);
    EXPECT_TRUE(lines[2].endsWith(",,,,\r")) << lines[2].constData(); // no made-up 0

    // Printed: the one trace's extremes, no CH2 line.
    const ReportInfo info = ReportInfoOf(G());
    EXPECT_TRUE(info.ch1);
    EXPECT_FALSE(info.ch2);
}

INSTANTIATE_TEST_SUITE_P(
    Modes, PowerModeCases,
    ::testing::Values(ModeCase{GraphMode::RealTimeActivePower, Cmd::RealTimeActivePower, 10,
                               "REAL TIME P(W)", "P(W)", "W", "1000 W", "P(W): 2000W", "2000 W"},
                      ModeCase{GraphMode::RealTimePowerFactor, Cmd::RealTimePowerFactor, 11,
                               "REAL TIME PF", "PF", "PF", "0.87", "PF: -0.50", "0.87"}));

TEST_F(PowerModes, PAndPfNeedAVoltageAndACurrentChannel) {
    RealTimeRun& run = shell.Set().Run();
    runs::BeginRun(run, 10, kStart, 2, "V", "V");
    for (int id : {Cmd::RealTimeActivePower, Cmd::RealTimePowerFactor})
        EXPECT_FALSE(shell.StateOf(id).enabled) << id; // no sample yet
    runs::GrowTo(run, 1);
    for (int id : {Cmd::RealTimeActivePower, Cmd::RealTimePowerFactor})
        EXPECT_FALSE(shell.StateOf(id).enabled) << id; // same units
    run.SetChannel(1, true, "A");
    for (int id : {Cmd::RealTimeActivePower, Cmd::RealTimePowerFactor})
        EXPECT_TRUE(shell.StateOf(id).enabled) << id;
    run.SetChannel(0, false, "V");
    for (int id : {Cmd::RealTimeActivePower, Cmd::RealTimePowerFactor})
        EXPECT_FALSE(shell.StateOf(id).enabled) << id;
}

TEST_F(PowerModes, EnergyOfTheRunInTheInfoBarAndThePanel) {
    ThreeSamples();
    // Half-hour samples: (1000 + 2000) W x 0.5 h; 230 x (5 + 1 + 10) VA x 0.5 h.
    const std::optional<RunEnergy> e = EnergyOfRun(shell.Set().Run());
    ASSERT_TRUE(e);
    EXPECT_DOUBLE_EQ(*e->activeWh, 1500.0);
    EXPECT_DOUBLE_EQ(e->apparentVah, 1840.0);
    EXPECT_EQ(e->samplesWithPower, 2);
    ASSERT_TRUE(shell.Execute(Cmd::RealTimeActivePower));
    EXPECT_EQ(G().Info().energy, "1500.00 Wh   1840.00 VAh");
    // The panel's rows of the waveform graph.
    shell.Set().Run().SetCapture(RealTimeRun::Wave{});
    ASSERT_TRUE(shell.Execute(Cmd::RealTimeEpa));
    EXPECT_EQ(graph.EpaActiveEnergy(), "1500.00 Wh");
    EXPECT_EQ(graph.EpaApparentEnergy(), "1840.00 VAh");
    // The next sample counts: 500 W and 230 x 2 VA for half an hour more.
    runs::AddSample(shell.Set().Run(), {230, 2}, {50, 50}, PowerRow(500, 0.9f));
    graph.RefreshEnergyTexts();
    EXPECT_EQ(graph.EpaActiveEnergy(), "1750.00 Wh");
    EXPECT_EQ(graph.EpaApparentEnergy(), "2070.00 VAh");
    ASSERT_TRUE(shell.Execute(Cmd::RealTimeActivePower));
    EXPECT_EQ(G().Info().energy, "1750.00 Wh   2070.00 VAh");
}

TEST_F(PowerModes, EnergyNeedsAVoltageAndCurrentPair) {
    RealTimeRun& run = shell.Set().Run();
    runs::BeginRun(run, 10, kStart, 1800, "V", "V");
    runs::AddSample(run, {230, 230}, {50, 50}, PowerRow(1000, 1));
    EXPECT_FALSE(EnergyOfRun(run));
}

// The read-out, the X labels and the list take each sample's own time: samples that
// came late are not placed at start + n x interval.
TEST_F(PowerModes, PointTimeOfALateSampleIsItsOwnTimeNotStartPlusInterval) {
    RealTimeRun& run = shell.Set().Run();
    runs::BeginRun(run, 10, kStart, 2, "V", "A");
    for (TimeValue at : {kStart, kStart + 7, kStart + 20}) {
        RtSample s;
        s.rms = {230, 5};
        s.freq = {50, 50};
        s.power = PowerRow(1000, 0.87f);
        s.time = at;
        ASSERT_TRUE(run.Append(s));
    }
    shell.SizeWorkBuffers(WorkBufferOccasion::AfterFileRead);
    for (int id : {Cmd::RealTimeRms, Cmd::RealTimeActivePower}) {
        ASSERT_TRUE(shell.Execute(id));
        G().PrepareFrame(1600, 900, graph.Inputs());
        EXPECT_EQ(G().PointTime(graph.Inputs(), 2), kStart + 20) << id;
        EXPECT_TRUE(ReadoutText(G(), graph.Inputs(), 2)
                        .contains(QStringLiteral("Time:") + FormatDateTime(kStart + 20)))
            << id;
        EXPECT_EQ(DataListCell(List(), 1, 1), FormatDateTime(kStart + 7)) << id;
    }
}

// ------------------------------------------------------------------ settings

class PowerAxisSettings : public ::testing::Test {
protected:
    QString Path() const { return dir.filePath(QStringLiteral("LumoDATALOGGER.ini")); }
    QTemporaryDir dir;
};

TEST_F(PowerAxisSettings, RangesRoundTripUnderKeysOfTheirOwn) {
    AppSettings s;
    s.m_yAxisLow[9] = {-100, -200};
    s.m_yAxisHigh[9] = {3000, 4000};
    s.m_yAxisLow[10] = {0, 0};
    s.m_yAxisHigh[10] = {1, 2};
    ASSERT_TRUE(SaveSettingsFile(Path(), s));
    IniFile ini;
    ASSERT_TRUE(ini.Load(Path()));
    const QString axis = QStringLiteral("YAXISInfo");
    EXPECT_EQ(ini.ReadInt(axis, QStringLiteral("YAXISLOW10CH1"), 0), -100);
    EXPECT_EQ(ini.ReadInt(axis, QStringLiteral("YAXISHI10CH2"), 0), 4000);
    EXPECT_EQ(ini.ReadInt(axis, QStringLiteral("YAXISHI11CH1"), 0), 1);
    const AppSettings back = LoadSettingsFile(Path());
    EXPECT_EQ(back.m_yAxisLow[9], s.m_yAxisLow[9]);
    EXPECT_EQ(back.m_yAxisHigh[9], s.m_yAxisHigh[9]);
    EXPECT_EQ(back.m_yAxisLow[10], s.m_yAxisLow[10]);
    EXPECT_EQ(back.m_yAxisHigh[10], s.m_yAxisHigh[10]);
    EXPECT_FALSE(back.m_fitActivePowerAxis);
}

TEST_F(PowerAxisSettings, AnOlderFileWithoutThemGetsDefaults) {
    // Written before these graphs: modes 1 to 9 only, 8 and 9 with S(VA)'s range.
    QFile f(Path());
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("[YAXISInfo]\r\nYAXISLOW8CH1=0\r\nYAXISHI8CH1=162500\r\nYAXISLOW9CH1=0\r\n"
            "YAXISHI9CH1=162500\r\nYAXISLOW7CH1=-3\r\n");
    f.close();
    const AppSettings s = LoadSettingsFile(Path());
    EXPECT_EQ(s.m_yAxisLow[6][0], -3);
    EXPECT_EQ(s.m_yAxisLow[9][0], 0);
    EXPECT_EQ(s.m_yAxisHigh[9][0], 162500);
    EXPECT_EQ(s.m_yAxisLow[10], (std::array<int32_t, 2>{-1, -1}));
    EXPECT_EQ(s.m_yAxisHigh[10], (std::array<int32_t, 2>{1, 1}));
    EXPECT_TRUE(s.m_fitActivePowerAxis);
}

TEST_F(PowerModes, AFirstPGraphWithoutAStoredRangeFitsItToTheRun) {
    ThreeSamples();
    ASSERT_TRUE(shell.Settings().m_fitActivePowerAxis);
    ASSERT_TRUE(shell.Execute(Cmd::RealTimeActivePower));
    // 1000 .. 2000 W widened by a tenth each side (900 .. 2100), on steps of 200.
    EXPECT_EQ(G().AxisLow(0), 800);
    EXPECT_EQ(G().AxisHigh(0), 2200);
    EXPECT_EQ(shell.Settings().m_yAxisLow[9][0], 800);
    EXPECT_FALSE(shell.Settings().m_fitActivePowerAxis);
}

// ------------------------------------------------------------------ a run read back

RtWaveform LaggingWave() {
    constexpr double kPi = 3.14159265358979323846;
    RtWaveform w{};
    for (size_t i = 0; i < w.size(); ++i) {
        const double a = 2 * kPi * 50 * double(i) * 54.71e-6;
        w[i][0] = int16_t(std::lround(325 * std::sin(a)));
        w[i][1] = int16_t(std::lround(141 * std::sin(a - kPi / 6)));
    }
    return w;
}

TEST_F(PowerModes, PowerFiguresOfARunReadFromAFileWereEmptyInTheLists) {
    RtdataImage r;
    r.interval = 2;
    r.startTime = kStart;
    r.utcOffset = 3600;
    r.kind = {kChannelVolts, kChannelAmps};
    r.times = {kStart, kStart + 2};
    r.rms[0] = {229.8f, 0.0f};
    r.rms[1] = {99.7f, 0.0f};
    r.freq[0] = {50.0f, 400.0f};
    r.freq[1] = {50.0f, 400.0f};
    r.waveforms = {LaggingWave(), RtWaveform{}};
    const QString path = dir.filePath(QStringLiteral("run.rtdata"));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(EncodeRtdata(r));
    f.close();

    FileCommands files(shell);
    ASSERT_EQ(files.LoadFile(path), FileCommands::LoadResult::Loaded);
    graph.ApplyModeFromFile();
    ASSERT_TRUE(shell.Execute(Cmd::RealTimeActivePower));
    // P = 325 x 141 / 2 x cos 30 deg = 19843 W; the silent second sample has none.
    const DataListView v = List();
    const double p = DataListCell(v, 0, 2).chopped(2).toDouble();
    EXPECT_NEAR(p, 19843, 0.01 * 19843) << DataListCell(v, 0, 2).toStdString();
    EXPECT_EQ(DataListCell(v, 1, 2), "LO");
    ASSERT_TRUE(shell.Execute(Cmd::RealTimePowerFactor));
    EXPECT_NEAR(DataListCell(List(), 0, 2).toDouble(), 0.87, 0.01);
    // The energy of the run read back: one sample of 2 s with power.
    ASSERT_TRUE(shell.Execute(Cmd::RealTimeActivePower));
    EXPECT_TRUE(G().Info().energy.startsWith(QStringLiteral("11.0"))) // 19843 x 2 / 3600
        << G().Info().energy.toStdString();

    // The waveform graph's panel: filled as it opens, THD from the kept waveform
    // (the figures computed on reading leave it out), the energy below.
    int refreshed = 0;
    QObject::connect(&graph, &GraphController::panelTextsChanged, [&] { ++refreshed; });
    graph.SetEpaPanelOpen(true);
    ASSERT_TRUE(shell.Execute(Cmd::RealTimeEpa));
    EXPECT_GE(refreshed, 1);
    ASSERT_TRUE(shell.Execute(Cmd::RealTimeRms));
    ASSERT_TRUE(graph.OpenSampleWaveform(0));
    EXPECT_NEAR(graph.EpaPowerTexts().p.toDouble(), 19843, 0.01 * 19843);
    EXPECT_LT(graph.EpaPowerTexts().thd[0].toDouble(), 0.5); // a pure sine
    EXPECT_NE(graph.EpaPowerTexts().thd[0], "LO");
    EXPECT_TRUE(graph.EpaActiveEnergy().startsWith(QStringLiteral("11.0")));
    EXPECT_TRUE(graph.EpaApparentEnergy().endsWith(QStringLiteral(" VAh")));
}

// ------------------------------------------------------------------ figures on first use

// A capture of 325 V and `amps` A peak at 50 Hz, the current `lagDeg` behind.
RtWaveform Wave(double amps, double lagDeg) {
    constexpr double kPi = 3.14159265358979323846;
    RtWaveform w{};
    for (size_t i = 0; i < w.size(); ++i) {
        const double a = 2 * kPi * 50 * double(i) * 54.71e-6;
        w[i][0] = int16_t(std::lround(325 * std::sin(a)));
        w[i][1] = int16_t(std::lround(amps * std::sin(a - lagDeg * kPi / 180)));
    }
    return w;
}

// What one view of the P/PF figures shows of the run in the shell.
struct FigureProbe {
    const char* name;
    std::function<QString(AppShell&, GraphController&)> show;
};
void PrintTo(const FigureProbe& p, std::ostream* os) {
    *os << p.name;
}

class RunReadBack : public PowerModes {
protected:
    // Takes the samples live, as the sampler does at every tick, and keeps their
    // waveforms for the file.
    void TakeLiveRun() {
        const std::vector<RtWaveform> waves = {Wave(141, 30), Wave(60, -45), Wave(0, 0),
                                               Wave(100, 10), Wave(141, 30)};
        RealTimeRun& run = shell.Set().Run();
        run.SetChannelKind(0, kChannelVolts);
        run.SetChannelKind(1, kChannelAmps);
        run.Begin(kStart, 2, int(waves.size()));
        RealTimeSampler sampler;
        for (size_t i = 0; i < waves.size(); ++i) {
            run.SetCapture(waves[i]);
            run.SetPendingTime(kStart + 2 * TimeValue(i));
            ASSERT_TRUE(sampler.Sample(shell.Set()));
            ASSERT_TRUE(run.Append());
        }
        shell.SizeWorkBuffers(WorkBufferOccasion::AfterFileRead);
        image = RunImage(run);
        image.utcOffset = 3600;
        image.waveforms = waves;
    }
    // The run written to its file and opened as the user opens it.
    void Reopen() {
        const QString path = dir.filePath(QStringLiteral("live.rtdata"));
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(EncodeRtdata(image));
        f.close();
        FileCommands files(shell);
        ASSERT_EQ(files.LoadFile(path), FileCommands::LoadResult::Loaded);
        graph.ApplyModeFromFile();
    }

    RtdataImage image;
};

class ReopenedRun : public RunReadBack, public ::testing::WithParamInterface<FigureProbe> {};

TEST_P(ReopenedRun, ShowsTheFiguresItsLiveRunShowed) {
    const FigureProbe& probe = GetParam();
    TakeLiveRun();
    const std::string live = probe.show(shell, graph).toStdString();
    ASSERT_NE(live.find_first_of("123456789"), std::string::npos) << live;
    Reopen();
    EXPECT_TRUE(shell.Set().Run().PowerPending());
    EXPECT_EQ(probe.show(shell, graph).toStdString(), live);
    EXPECT_FALSE(shell.Set().Run().PowerPending());
}

INSTANTIATE_TEST_SUITE_P(
    Views, ReopenedRun,
    ::testing::Values(
        FigureProbe{"PInfoBar",
                    [](AppShell& shell, GraphController&) {
                        EXPECT_TRUE(shell.Execute(Cmd::RealTimeActivePower));
                        const RecInfo& r = shell.Graph().Info();
                        return r.ch1Max + u'|' + r.ch1Min + u'|' + r.energy;
                    }},
        FigureProbe{"PfInfoBar",
                    [](AppShell& shell, GraphController&) {
                        EXPECT_TRUE(shell.Execute(Cmd::RealTimePowerFactor));
                        return shell.Graph().Info().ch1Max + u'|' + shell.Graph().Info().ch1Min;
                    }},
        FigureProbe{"PListAndItsCsv",
                    [](AppShell& shell, GraphController& graph) {
                        EXPECT_TRUE(shell.Execute(Cmd::RealTimeActivePower));
                        QBuffer csv;
                        csv.open(QIODevice::WriteOnly);
                        EXPECT_TRUE(
                            WriteDataListCsv(DataListViewOf(shell.Graph(), graph.Inputs()), csv));
                        return QString::fromUtf8(csv.data());
                    }},
        FigureProbe{"PanelEnergy",
                    [](AppShell& shell, GraphController& graph) {
                        graph.SetEpaPanelOpen(true);
                        EXPECT_TRUE(shell.Execute(Cmd::RealTimeEpa));
                        return graph.EpaActiveEnergy() + u'|' + graph.EpaApparentEnergy();
                    }},
        FigureProbe{"RunCsvPowerColumns",
                    [](AppShell& shell, GraphController&) {
                        // p_w, q_var, pf and phi_deg; the THD columns come from the
                        // spectrum, which a run read back computes only when asked.
                        QString out;
                        for (int n = 0; n < shell.Set().RtCount(); ++n)
                            out +=
                                RealTimeCsvLine(shell.Set(), n).split(u',').mid(8, 4).join(u',') +
                                u'\n';
                        return out;
                    }}),
    [](const ::testing::TestParamInfo<FigureProbe>& i) { return std::string(i.param.name); });

// Opening reads the samples only; the figures are worked out once, when a view that
// shows them comes up, with the wait cursor and a word for the status bar.
TEST_F(RunReadBack, OpeningLeavesThePowerFiguresForTheFirstViewThatShowsThem) {
    TakeLiveRun();
    std::vector<int> started;
    int finished = 0, cursorWhileWorking = 0;
    QObject::connect(&shell.Notices(), &WorkNotices::workStarted, [&](WorkUnderWay, int n) {
        started.push_back(n);
        cursorWhileWorking = prompts.waitCursorDepth;
    });
    QObject::connect(&shell.Notices(), &WorkNotices::workFinished,
                     [&](WorkUnderWay) { ++finished; });
    Reopen();
    // What an opened run shows first, and the views without P or PF.
    EXPECT_EQ(G().Mode(), GraphMode::RealTimeRms);
    EXPECT_EQ(DataListRowCount(List()), 5);
    for (int id : {Cmd::RealTimeFrequency, Cmd::RealTimeApparentPower, Cmd::RealTimeRms})
        ASSERT_TRUE(shell.Execute(id));
    EXPECT_TRUE(shell.Set().Run().PowerPending());
    EXPECT_TRUE(started.empty());

    ASSERT_TRUE(shell.Execute(Cmd::RealTimeActivePower));
    ASSERT_TRUE(shell.Execute(Cmd::RealTimePowerFactor));
    EXPECT_EQ(started, std::vector<int>{5});
    EXPECT_EQ(finished, 1);
    EXPECT_EQ(cursorWhileWorking, 1);
    EXPECT_EQ(prompts.waitCursorDepth, 0);
}

} // namespace
