// Graph model and mode commands: windows, scales, ticks, labels, point times,
// info-bar texts, enable rules, and the sane handling of degenerate axes and plots.

#include "base/LocalTime.h"
#include "shell/AppShell.h"
#include "shell/GraphController.h"
#include "support/RunSamples.h"
#include "support/ShellFixture.h"
#include "support/StoredSetBuilder.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

MeasurementSet SampleSet(int count, float interval, TimeValue start) {
    std::vector<float> ch1, ch2;
    for (int i = 0; i < count; ++i) {
        ch1.push_back(230.0f + float(i % 7));
        ch2.push_back(5.0f + float(i % 3));
    }
    return StoredSetBuilder()
        .Interval(interval)
        .Start(start)
        .ChannelCount(2)
        .Channel(0, ch1, "V")
        .Channel(1, ch2, "A")
        .Set(QString());
}

void AddTransient(MeasurementSet& s, uint8_t channel, uint8_t unit, TimeValue when, float base) {
    std::vector<float> wave;
    for (int k = 0; k < kTrPoints; ++k)
        wave.push_back(base + float(k % 50) - 25.0f);
    EditStored(s, [&](StoredSet& d) { AppendTr(d, when, channel, unit, wave); });
}

class Graph : public ShellFixture {
protected:
    Graph() : graph(shell) {}

    // Replaces the stored set as a download does, and enters StoreRms.
    void Download(MeasurementSet s) {
        shell.Set().ReplaceStored(s.Stored());
        EditStored(shell.Set(), [](StoredSet& d) { ComputeStoredExtremes(d); });
        shell.Graph().SetFirstPoint(1);
        shell.Graph().SetLastPoint(shell.Set().RmsCount());
        shell.SizeWorkBuffers(WorkBufferOccasion::AfterDownload);
        shell.ExecuteDirect(Cmd::StoreRms);
        shell.Graph().SetDisplayContent(1);
    }
    GraphModel& G() { return shell.Graph(); }
    void Scale(int cx = 1600, int cy = 900) {
        G().SetClient(cx, cy);
        G().ComputeScale(graph.Inputs());
        G().ComputeLabels(graph.Inputs());
    }

    GraphController graph;
};

const TimeValue kStart = FromLocalFields({2010, 2, 3, 14, 5, 0});

TEST(GraphModes, NumbersCommandsAndTitles) {
    struct Row {
        GraphMode mode;
        int number, command;
        const char* title;
    };
    const Row rows[] = {
        {GraphMode::StoreRms, 1, 32904, "STORE RMS"},
        {GraphMode::StoreTransient, 2, 32906, "STORE TR"},
        {GraphMode::RealTimeEpa, 3, 32907, "REAL TIME EPA"},
        {GraphMode::RealTimeRms, 4, 32913, "REAL TIME RMS"},
        {GraphMode::RealTimeFrequency, 6, 32908, "REAL TIME F(Hz)"},
        {GraphMode::RealTimeApparentPower, 7, 32911, "REAL TIME S(VA)"},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(ModeNumber(r.mode), r.number);
        EXPECT_EQ(ModeCommandId(r.mode), r.command);
        EXPECT_EQ(ModeTitle(r.mode), r.title);
    }
}

TEST(ColourOf, TableAndRawValues) {
    EXPECT_EQ(ColourOf(0), QColor(255, 0, 0));
    EXPECT_EQ(ColourOf(9), QColor(128, 128, 0));
    EXPECT_EQ(ColourOf(14), QColor(200, 200, 200));
    EXPECT_STREQ(ColourName(14), "Grey");
    // A byte of 255 (no selection stored) is a colour value itself: dark red.
    EXPECT_EQ(ColourOf(255), QColor(255, 0, 0));
    EXPECT_EQ(ColourOf(0x00336699), QColor(0x99, 0x66, 0x33));
}

TEST(Layout, RectanglesFollowTheClientAndInfoBar) {
    const GraphLayout g = ComputeLayout(1000, 700, 120);
    EXPECT_EQ(g.plotLeft, 110);
    EXPECT_EQ(g.plotTop, 190);
    EXPECT_EQ(g.plotRight, 890);
    EXPECT_EQ(g.plotBottom, 590);
    EXPECT_EQ(g.frameTop, 172);
    EXPECT_EQ(g.frameBottom, 645);
    EXPECT_EQ(g.horizontalBar, QRect(110, 625, 780, 20));
    EXPECT_EQ(g.ch1Bar, QRect(20, 190, 20, 400));
    EXPECT_EQ(g.ch2Bar, QRect(960, 190, 20, 400));
    EXPECT_EQ(g.toolBar, QRect(20, 145, 960, 35));
}

TEST_F(Graph, OnePointSpansThePlotWithOneLabelAtTheLeft) {
    Download(SampleSet(1, 60, kStart));
    Scale();
    EXPECT_EQ(G().FirstPoint(), 1);
    EXPECT_EQ(G().LastPoint(), 1);
    EXPECT_FLOAT_EQ(G().XStep(), float(G().Layout().W()));
    EXPECT_DOUBLE_EQ(G().XPix(0, 0, 0), G().Layout().plotLeft);
    EXPECT_EQ(G().XLabelText(0), "14:05:00");
    EXPECT_EQ(G().XLabelDate(0), "03/02/10");
}

TEST_F(Graph, FullWindowEndsAtTheRightEdge) {
    Download(SampleSet(1001, 1, kStart));
    Scale(1220, 800); // W = 1000
    EXPECT_FLOAT_EQ(G().XStep(), 1.0f);
    EXPECT_NEAR(G().XPix(1000, 0, 1), G().Layout().plotRight, 1e-6);
    // Label spacing: q = 1000 intervals, k = 250 points; five labels inside.
    EXPECT_EQ(G().XLabelText(1), "14:09:10");
    EXPECT_EQ(G().XLabelIndex(1), 250);
    EXPECT_EQ(G().XLabelNumber(4), 1001);
    EXPECT_NEAR(G().XLabelX(4), G().Layout().plotRight, 1e-6);
    EXPECT_GT(G().XLabelX(5), G().Layout().plotRight);
}

TEST_F(Graph, TimeLabelsCrossMidnight) {
    Download(SampleSet(121, 60, FromLocalFields({2010, 12, 31, 23, 0, 0})));
    Scale();
    // 120 intervals: a label every 30 points, i.e. every 30 minutes.
    EXPECT_EQ(G().XLabelText(1), "23:30:00");
    EXPECT_EQ(G().XLabelDate(1), "31/12/10");
    EXPECT_EQ(G().XLabelText(2), "00:00:00");
    EXPECT_EQ(G().XLabelDate(2), "01/01/11");
    EXPECT_EQ(G().XLabelText(4), "01:00:00");
}

TEST_F(Graph, TicksLabelsAndPixelY) {
    shell.Settings().m_yAxisLow[0] = {-500, 200};
    shell.Settings().m_yAxisHigh[0] = {500, 250};
    Download(SampleSet(10, 1, kStart));
    Scale();
    EXPECT_FLOAT_EQ(G().Ticks(0, 0)[0], -500);
    EXPECT_FLOAT_EQ(G().Ticks(0, 0)[3], -200);
    EXPECT_FLOAT_EQ(G().Ticks(0, 0)[10], 500);
    EXPECT_FLOAT_EQ(G().Ticks(1, 0)[5], 225);
    EXPECT_EQ(G().YLabelText(0, 0), "-500.00");
    EXPECT_EQ(G().YLabelText(0, 10), "500.00");
    EXPECT_EQ(G().YLabelText(1, 1), "205.00");
    // CH1 point 0 is 230 V: 73 % of the way up from -500 to 500.
    const GraphLayout& g = G().Layout();
    EXPECT_NEAR(G().YPix(0, 0, 0), g.plotBottom - g.Hp() * 0.73, 1e-3);
    // CH2 of 5 A lies below its range 200..250: below the plot.
    EXPECT_GT(G().YPix(0, 0, 1), g.plotBottom);
}

TEST_F(Graph, EqualAxisEndsAndNoPlotStaySane) {
    // An edited settings file can give an axis whose ends are equal.
    shell.Settings().m_yAxisLow[0] = {230, 5};
    shell.Settings().m_yAxisHigh[0] = {230, 5};
    Download(SampleSet(50, 1, kStart));
    Scale();
    const GraphLayout& g = G().Layout();
    EXPECT_LT(G().Ticks(0, 0)[0], G().Ticks(0, 0)[10]);
    for (int k = 0; k < 50; ++k) {
        ASSERT_TRUE(std::isfinite(G().YPix(k, 0, 0)));
        ASSERT_TRUE(std::isfinite(G().YPix(k, 0, 1)));
    }
    // 230 V sits on the middle line of the widened axis.
    EXPECT_NEAR(G().YPix(0, 0, 0), g.plotBottom - g.Hp() / 2.0, 1.0);
    // A view too small for a plot: no division by zero, no labels.
    Scale(150, 100);
    EXPECT_LE(G().Layout().W(), 0);
    for (int k = 0; k < 50; ++k)
        ASSERT_TRUE(std::isfinite(G().XPix(k, 0, 0)));
    EXPECT_TRUE(G().XLabelText(0).isEmpty());
    // A window whose ends coincide beyond the first point spans the plot.
    Scale();
    G().SetPointWindow(7, 7);
    Scale();
    EXPECT_FLOAT_EQ(G().XStep(), float(G().Layout().W()));
}

TEST_F(Graph, PointTimesInDoublePrecision) {
    Download(SampleSet(4, 1.5f, kStart));
    EXPECT_EQ(G().PointTimeText(graph.Inputs(), 3), FormatDateTime(kStart + 4));
    // 262,144 samples of 3600 s: the last one is exactly 262,143 hours later.
    MeasurementSet big = SampleSet(262144, 3600, kStart);
    Download(std::move(big));
    const TimeValue expected = kStart + TimeValue(262143) * 3600;
    EXPECT_EQ(G().PointTimeText(graph.Inputs(), 262143), FormatDateTime(expected));
    // Transient points carry their record's time.
    AddTransient(shell.Set(), kTrChannel1, kTrUnitVolts, kStart + 10, 0);
    AddTransient(shell.Set(), kTrChannel1, kTrUnitVolts, kStart + 20, 0);
    shell.ExecuteDirect(Cmd::StoreTransient);
    EXPECT_EQ(G().PointTimeText(graph.Inputs(), 250), FormatDateTime(kStart + 10));
    EXPECT_EQ(G().PointTimeText(graph.Inputs(), 251), FormatDateTime(kStart + 20));
    EXPECT_EQ(G().PointTimeText(graph.Inputs(), 502), QString());
}

TEST_F(Graph, CapacityTableGrowsByAboutTwelveElevenths) {
    G().BuildCapacityTable(1380);
    EXPECT_EQ(G().RtCapacity().Capacity(0), 100);
    ASSERT_GT(G().RtCapacity().LevelCount(), 10);
    for (int i = 1; i < G().RtCapacity().LevelCount(); ++i) {
        const double ratio =
            double(G().RtCapacity().Capacity(i)) / G().RtCapacity().Capacity(i - 1);
        EXPECT_GT(ratio, 1.07) << i;
        EXPECT_LT(ratio, 1.10) << i;
    }
    EXPECT_GE(G().RtCapacity().Capacity(G().RtCapacity().LevelCount() - 1), 100000);
    EXPECT_LT(G().RtCapacity().Capacity(G().RtCapacity().LevelCount() - 2), 100000);
    // Even a plot a few pixels wide gets an increasing table.
    G().BuildCapacityTable(5);
    for (int i = 1; i < G().RtCapacity().LevelCount(); ++i)
        EXPECT_GT(G().RtCapacity().Capacity(i), G().RtCapacity().Capacity(i - 1));
}

TEST_F(Graph, RealTimeCompressionStepsALevelAndFillsElevenTwelfths) {
    MeasurementSet& s = shell.Set();
    runs::BeginRun(s.Run(), 1000);
    FakeRealTimeRun run(shell);
    runs::GrowTo(s.Run(), 1);
    G().SetClient(1600, 900);
    shell.ExecuteDirect(Cmd::RealTimeRms);
    G().ComputeScale(graph.Inputs());
    EXPECT_EQ(G().RtCapacity().Level(), 0);
    const int W = G().Layout().W();
    for (int n = 2; n <= 100; ++n) {
        runs::GrowTo(s.Run(), n);
        shell.ExecuteDirect(Cmd::RealTimeRms);
        G().ComputeScale(graph.Inputs());
    }
    EXPECT_EQ(G().RtCapacity().Level(), 0);
    EXPECT_FALSE(G().FullRepaintRequested());
    runs::GrowTo(s.Run(), 101); // count - first reaches 100
    shell.ExecuteDirect(Cmd::RealTimeRms);
    G().ComputeScale(graph.Inputs());
    EXPECT_EQ(G().RtCapacity().Level(), 1);
    EXPECT_TRUE(G().FullRepaintRequested());
    // The newest point now sits near 11/12 of the width.
    const double newest = G().XPix(100, 0, 0) - G().Layout().plotLeft;
    EXPECT_NEAR(newest / W, 11.0 / 12.0, 0.02);
}

TEST_F(Graph, ReenteringTheShownModeOnlyRefreshesTexts) {
    Download(SampleSet(100, 1, kStart));
    Scale();
    G().Zoom().SetSlot(1);
    G().Zoom().SetScrollIndex(-5);
    G().SetAxisRange(0, 7, G().AxisHigh(0));
    shell.ExecuteDirect(Cmd::StoreRms);
    EXPECT_EQ(G().Zoom().Slot(), 1);
    EXPECT_EQ(G().Zoom().ScrollIndex(), -5);
    EXPECT_EQ(G().AxisLow(0), 7);
    // New data in the same mode prepare the view afresh (window, channels, scale).
    MeasurementSet only2 = SampleSet(40, 1, kStart);
    EditStored(only2, [&](StoredSet& d) { d.SetChannelPresent(0, false); });
    Download(std::move(only2));
    EXPECT_EQ(G().Zoom().Slot(), 0);
    EXPECT_EQ(G().LastPoint(), 40);
    EXPECT_EQ(G().ChannelPresent(0), 0);
    EXPECT_EQ(G().AxisLow(0), shell.Settings().m_yAxisLow[0][0]);
}

TEST_F(Graph, EnableAndCheckRules) {
    EXPECT_FALSE(shell.StateOf(Cmd::StoreRms).enabled);
    EXPECT_FALSE(shell.StateOf(Cmd::StoreTransient).enabled);
    EXPECT_FALSE(shell.StateOf(Cmd::RealTimeEpa).enabled);
    Download(SampleSet(3, 1, kStart));
    EXPECT_EQ(shell.StateOf(Cmd::StoreRms).enabled, true);
    EXPECT_EQ(shell.StateOf(Cmd::StoreRms).checked, true);
    EXPECT_FALSE(shell.StateOf(Cmd::StoreTransient).enabled);
    AddTransient(shell.Set(), kTrChannel1, kTrUnitVolts, kStart, 0);
    EXPECT_TRUE(shell.StateOf(Cmd::StoreTransient).enabled);
    EXPECT_FALSE(shell.StateOf(Cmd::StoreTransient).checked);

    MeasurementSet& s = shell.Set();
    s.Run().SetCapture(RealTimeRun::Wave{});
    EXPECT_TRUE(shell.StateOf(Cmd::RealTimeEpa).enabled);
    EXPECT_FALSE(shell.StateOf(Cmd::RealTimeRms).enabled);
    runs::BeginRun(s.Run(), 10, kStart, 2, "V", "V");
    runs::GrowTo(s.Run(), 1);
    EXPECT_TRUE(shell.StateOf(Cmd::RealTimeRms).enabled);
    EXPECT_TRUE(shell.StateOf(Cmd::RealTimeFrequency).enabled);
    EXPECT_FALSE(shell.StateOf(Cmd::RealTimeApparentPower).enabled); // same units
    s.Run().SetChannel(1, true, "A");
    EXPECT_TRUE(shell.StateOf(Cmd::RealTimeApparentPower).enabled);
    s.Run().SetChannel(1, false, "A");
    EXPECT_FALSE(shell.StateOf(Cmd::RealTimeApparentPower).enabled);
}

TEST_F(Graph, StoreRmsInfoTextsAndInfoBarHeight) {
    Download(SampleSet(5, 60, kStart));
    const RecInfo& r = G().Info();
    EXPECT_EQ(r.title, "STORE RMS");
    EXPECT_EQ(r.rate, "60 s");
    EXPECT_EQ(r.start, "03/02/10 14:05:00");
    EXPECT_EQ(r.count, "5");
    EXPECT_EQ(r.ch1Max, shell.Set().ExtremeText(0, 0));
    EXPECT_EQ(r.ch2Min, shell.Set().ExtremeText(1, 1));
    EXPECT_EQ(G().InfoBarHeight(), 120);
    // With the info bar switched off the mode keeps it hidden.
    shell.SetInfoBarShown(false);
    G().SetMode(GraphMode::None);
    shell.ExecuteDirect(Cmd::StoreRms);
    EXPECT_EQ(G().InfoBarHeight(), 0);
}

TEST_F(Graph, TransientRecordOnCh2InAmperes) {
    Download(SampleSet(5, 60, kStart));
    AddTransient(shell.Set(), kTrChannel2, kTrUnitAmps, kStart + 3661, 10);
    AddTransient(shell.Set(), kTrChannel1, kTrUnitVolts, kStart + 7200, 300);
    EditStored(shell.Set(), [&](StoredSet& d) {
        d.SetTrLevels(500, d.TrLevelLow());
        d.SetTrLevels(d.TrLevelHigh(), 100);
    });
    ASSERT_TRUE(shell.Execute(Cmd::StoreTransient));
    EXPECT_EQ(G().Mode(), GraphMode::StoreTransient);
    EXPECT_EQ(G().InfoBarHeight(), 25);
    EXPECT_EQ(G().ChannelPresent(0), 0);
    EXPECT_EQ(G().ChannelPresent(1), 1);
    EXPECT_EQ(G().ChannelUnit(0), "A");
    EXPECT_EQ(G().ChannelUnit(1), "A");
    EXPECT_EQ(G().FirstPoint(), 1);
    EXPECT_EQ(G().LastPoint(), 251);
    const RecInfo& r = G().Info();
    EXPECT_EQ(r.title, "STORE TR");
    EXPECT_EQ(r.rate, "0.0874 ms");
    EXPECT_EQ(r.count, "251");
    EXPECT_EQ(r.start, FormatDateTime(kStart + 3661));
    EXPECT_EQ(r.ch2Max, "34 A");
    EXPECT_EQ(r.ch2Min, "-15 A");
    EXPECT_EQ(r.levelHigh, "500A");
    EXPECT_EQ(r.levelLow, "100A");
    // Picking the second record: CH1 in volts, its own window and time.
    graph.SelectTransientRecord(1);
    EXPECT_EQ(G().FirstPoint(), 252);
    EXPECT_EQ(G().LastPoint(), 502);
    EXPECT_EQ(G().ChannelPresent(0), 1);
    EXPECT_EQ(G().ChannelPresent(1), 0);
    EXPECT_EQ(r.ch1Max, "324 V");
    EXPECT_EQ(r.start, FormatDateTime(kStart + 7200));
    // A record number beyond the set changes nothing.
    graph.SelectTransientRecord(2);
    EXPECT_EQ(G().FirstPoint(), 252);
}

TEST_F(Graph, RealTimeModesSetUnitsWindowsAndTexts) {
    MeasurementSet& s = shell.Set();
    runs::BeginRun(s.Run(), 10, kStart, 5, "V", "A");
    runs::GrowTo(s.Run(), 3, {230, 2});
    s.Run().SetCapture(RealTimeRun::Wave{});
    s.SetExtremeText(4, 0, "50.1 @x");
    s.SetExtremeText(4, 1, "50.2 @x");
    s.SetPowerExtremeText(0, "460.0 @y");
    s.SetPowerExtremeText(1, "459.0 @y");
    shell.Settings().m_rtInterval = 5;

    shell.ExecuteDirect(Cmd::RealTimeFrequency);
    EXPECT_EQ(G().ChannelUnit(0), "Hz");
    EXPECT_EQ(G().LastPoint(), 3);
    EXPECT_EQ(G().Info().title, "REAL TIME F(Hz)");
    EXPECT_EQ(G().Info().rate, "5");
    EXPECT_EQ(G().Info().count, "3");
    EXPECT_EQ(G().Info().ch2Max, "50.2 @x");
    EXPECT_EQ(G().AxisLow(0), shell.Settings().m_yAxisLow[5][0]);
    // Another sample: the shown mode follows the count.
    runs::GrowTo(s.Run(), 4, {230, 2});
    shell.ExecuteDirect(Cmd::RealTimeFrequency);
    EXPECT_EQ(G().LastPoint(), 4);
    EXPECT_EQ(G().Info().count, "4");

    shell.ExecuteDirect(Cmd::RealTimeApparentPower);
    EXPECT_EQ(G().ChannelUnit(0), "VA");
    EXPECT_FALSE(G().ChannelDrawn(shell.Settings(), 1));
    EXPECT_TRUE(G().ChannelDrawn(shell.Settings(), 0));
    EXPECT_EQ(G().Info().ch1Max, "460.0 @y");
    EXPECT_DOUBLE_EQ(G().ValueOf(graph.Inputs(), 0, 1), 460.0);

    shell.ExecuteDirect(Cmd::RealTimeEpa);
    EXPECT_EQ(G().InfoBarHeight(), 25);
    EXPECT_EQ(G().LastPoint(), 590);
    EXPECT_EQ(G().Info().start, FormatDateTime(kStart + 3 * 5));
}

TEST_F(Graph, EpaOfTheFirstSampleAnalysesBothChannels) {
    MeasurementSet& s = shell.Set();
    runs::BeginRun(s.Run(), 5, kStart, 2, "V", "A");
    RealTimeRun::Wave wave{};
    for (int k = 0; k < kRtWavePoints; ++k) {
        const double a = 2 * 3.14159265358979 * k / 365.5;
        wave[size_t(k)] = {float(std::round(325 * std::sin(a))),
                           float(std::round(20 * std::sin(a)))};
    }
    s.Run().SetCapture(wave);
    runs::GrowTo(s.Run(), 1, {0, 0});
    graph.SetEpaPanelOpen(true);
    shell.ExecuteDirect(Cmd::RealTimeEpa);
    EXPECT_EQ(graph.EpaPanelTexts()[0].rms, "229.3");
    EXPECT_EQ(graph.EpaPanelTexts()[0].f, "49.9");
    // numpy: 14.153 over crossings 185..550 of the rounded samples.
    EXPECT_EQ(graph.EpaPanelTexts()[1].rms, "14.2");
    EXPECT_EQ(graph.EpaPanelTexts()[1].f, "50.1");
    EXPECT_EQ(graph.EpaApparentPower(), "3256"); // 229.3 x 14.2
}

TEST_F(Graph, ModeFromFileChoosesByTagOnce) {
    Download(SampleSet(10, 1, kStart));
    MeasurementSet& s = shell.Set();
    // A file of another length read while StoreRms is shown.
    s.ReplaceStored(SampleSet(25, 1, kStart).Stored());
    s.SetFileTag(kTagStored);
    s.SetModeFromFile(true);
    shell.SizeWorkBuffers(WorkBufferOccasion::AfterFileRead);
    G().Zoom().SetSlot(1);
    graph.ApplyModeFromFile();
    EXPECT_EQ(s.ModeFromFile(), 0);
    EXPECT_EQ(G().Mode(), GraphMode::StoreRms);
    EXPECT_EQ(G().LastPoint(), 25);
    EXPECT_EQ(G().Zoom().Slot(), 0);

    runs::BeginRun(s.Run(), 2);
    runs::GrowTo(s.Run(), 2, {1, 1});
    s.SetFileTag(kTagRealTime);
    s.SetModeFromFile(true);
    graph.ApplyModeFromFile();
    EXPECT_EQ(G().Mode(), GraphMode::RealTimeRms);
    EXPECT_EQ(G().LastPoint(), 2);
    // A refused file keeps the mode.
    s.SetFileTag("JUNK");
    s.SetModeFromFile(true);
    graph.ApplyModeFromFile();
    EXPECT_EQ(G().Mode(), GraphMode::RealTimeRms);
    EXPECT_EQ(s.ModeFromFile(), 0);
}

TEST_F(Graph, ARefusedFileKeepsTheTransientRecordShown) {
    Download(SampleSet(5, 60, kStart));
    AddTransient(shell.Set(), kTrChannel2, kTrUnitAmps, kStart + 3661, 10);
    AddTransient(shell.Set(), kTrChannel1, kTrUnitVolts, kStart + 7200, 300);
    ASSERT_TRUE(shell.Execute(Cmd::StoreTransient));
    graph.SelectTransientRecord(1);
    shell.Set().SetFileTag("JUNK");
    shell.Set().SetModeFromFile(true);
    graph.ApplyModeFromFile();
    EXPECT_EQ(G().Mode(), GraphMode::StoreTransient);
    EXPECT_EQ(G().FirstPoint(), 252);
    EXPECT_EQ(G().LastPoint(), 502);
}

TEST_F(Graph, FrameTimer8ResetsTheZoomOnce) {
    Download(SampleSet(10, 1, kStart));
    int resets = 0;
    QObject::connect(&graph, &GraphController::scaleReset, [&] { ++resets; });
    G().Zoom().SetSlot(1);
    G().Zoom().SetScrollIndex(3);
    timers.Start(FrameTimer::ResetScale, 50);
    clock.Advance(49);
    EXPECT_EQ(G().Zoom().Slot(), 1);
    clock.Advance(1);
    EXPECT_EQ(G().Zoom().Slot(), 0);
    EXPECT_EQ(G().Zoom().ScrollIndex(), 0);
    clock.Advance(500);
    EXPECT_EQ(resets, 1);
    EXPECT_FALSE(timers.IsActive(FrameTimer::ResetScale));
}

// A stored graph's positions are computed when read: read one by one, as a whole
// plane, and after a zoom within the zoom, they are the positions of the scale, and
// the points past the data lie at value 0.
TEST_F(Graph, PositionsOfAStoredGraphReadOneByOneOrAsAPlane) {
    Download(SampleSet(1000, 1, kStart));
    G().SetLastPoint(1200);
    G().SizeWorkBuffers(1200);
    Scale();
    const GraphLayout& g = G().Layout();
    for (int ch = 0; ch < 2; ++ch) {
        const std::array<float, kTicks>& t = G().Ticks(ch, 0);
        const double perUnit = g.Hp() / (double(t[10]) - double(t[0]));
        for (int64_t k : {0, 1, 6, 999, 1000, 1199}) {
            const double v = k < 1000 ? (ch == 0 ? 230.0 + double(k % 7) : 5.0 + double(k % 3)) : 0;
            EXPECT_DOUBLE_EQ(G().YPix(k, 0, ch), g.plotBottom - (v - double(t[0])) * perUnit) << k;
            EXPECT_NEAR(G().XPix(k, 0, ch), g.plotLeft + double(k) * g.W() / 1199.0, 1e-3) << k;
        }
        std::vector<double> one;
        for (int64_t k = 0; k < 1200; ++k)
            one.push_back(G().YPix(k, 0, ch));
        const double* plane = G().YPlane(0, ch);
        EXPECT_EQ(std::vector<double>(plane, plane + 1200), one);
    }
}

// The data replaced (the buffers sized anew for them) before the next scale: no
// position is taken from the values of the recording that was replaced.
TEST_F(Graph, PositionsAreNotReadFromReplacedData) {
    Download(SampleSet(5000, 1, kStart));
    Scale();
    EXPECT_NE(G().YPix(10, 0, 0), 0.0);
    Download(SampleSet(20, 1, kStart));
    EXPECT_EQ(G().YPix(10, 0, 0), 0.0);
    EXPECT_EQ(G().YPix(10, 0, 1), 0.0);
}

TEST_F(Graph, WindowBeyondTheDataReadsNothingOutside) {
    Download(SampleSet(10, 1, kStart));
    G().SetLastPoint(5000); // stale window larger than the data and the buffers
    G().SizeWorkBuffers(10);
    Scale();
    EXPECT_GE(G().WorkBufferPoints(), 5000);
    EXPECT_DOUBLE_EQ(G().ValueOf(graph.Inputs(), 0, 4999), 0.0);
}

TEST(GraphControllerLifetime, CommandsAreTakenBackOnDestruction) {
    ManualClock clock;
    ManualTimerTable timers(clock);
    FakePrompts prompts;
    FixedClock now;
    QTemporaryDir dir;
    AppShell shell(timers, prompts, now, dir.filePath("x.ini"));
    {
        GraphController graph(shell);
        EXPECT_TRUE(shell.HasHandler(Cmd::StoreRms));
    }
    EXPECT_FALSE(shell.HasHandler(Cmd::StoreRms));
    EXPECT_FALSE(shell.ExecuteDirect(Cmd::StoreTransient));
    timers.Start(FrameTimer::ResetScale, 50);
    clock.Advance(60); // no crash, and the timer is stopped
    EXPECT_FALSE(timers.IsActive(FrameTimer::ResetScale));
    shell.SizeWorkBuffers(WorkBufferOccasion::AfterDownload);
}

} // namespace
