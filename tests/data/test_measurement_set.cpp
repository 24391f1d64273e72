#include "base/LocalTime.h"
#include "data/MeasurementSet.h"
#include "data/RtdataFile.h"
#include "support/RunSamples.h"
#include "support/StoredSetBuilder.h"

#include <cmath>
#include <cstdlib>
#include <ctime>
#include <functional>

#include <gtest/gtest.h>

namespace {

class Stored : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("TZ", "Europe/Berlin", 1);
        tzset();
        EditStored(set, [&](StoredSet& d) {
            d.SetStartTime(FromLocalFields({2010, 2, 3, 14, 5, 0}));
            d.SetRmsInterval(60);
        });
    }
    void Ch1(std::vector<float> v, const char* unit = "V") {
        EditStored(set, [&](StoredSet& d) { d.SetChannelUnit(0, QString::fromLatin1(unit)); });
        SetValues(set, 0, std::move(v));
    }
    MeasurementSet set;
};

TEST_F(Stored, ExtremeTextsHaveTheBlankOnlyBeforeTheMaximumUnit) {
    Ch1({229.0f, 231.4f, 228.0f, 230.0f});
    EditStored(set, [](StoredSet& d) { ComputeStoredExtremes(d); });
    EXPECT_EQ(set.ExtremeText(0, 0), QStringLiteral("231.4 V @03/02/10 14:06:00"));
    EXPECT_EQ(set.ExtremeText(1, 0), QStringLiteral("228.0V @03/02/10 14:07:00"));
    EXPECT_TRUE(set.ExtremeText(0, 1).isEmpty()); // CH2 absent: untouched
}

TEST_F(Stored, TiesMoveToTheLaterSample) {
    std::vector<float> v(30, 100.0f);
    v[10] = 200.0f;
    v[20] = 200.0f;
    v[5] = 50.0f;
    v[25] = 50.0f;
    Ch1(v, "A");
    EditStored(set, [](StoredSet& d) { ComputeStoredExtremes(d); });
    EXPECT_EQ(set.ExtremeText(0, 0),
              QStringLiteral("200.0 A @") + FormatDateTime(set.RmsSampleTime(20)));
    EXPECT_EQ(set.ExtremeText(1, 0),
              QStringLiteral("50.0A @") + FormatDateTime(set.RmsSampleTime(25)));
}

TEST_F(Stored, TextsAreWrittenWhenNoSampleMovesTheStartValues) {
    Ch1({-2000.0f, -1500.0f});
    EditStored(set, [&](StoredSet& d) { d.SetChannelUnit(1, QStringLiteral("A")); });
    SetValues(set, 1, {1500.0f, 2000.0f});
    EditStored(set, [](StoredSet& d) { ComputeStoredExtremes(d); });
    EXPECT_EQ(set.ExtremeText(0, 0), QStringLiteral("-1000.0 V @"));
    EXPECT_TRUE(set.ExtremeText(1, 0).startsWith(QStringLiteral("-2000.0V @03/02/10")));
    EXPECT_EQ(set.ExtremeText(1, 1), QStringLiteral("1000.0A @"));
    EXPECT_TRUE(set.ExtremeText(0, 1).startsWith(QStringLiteral("2000.0 A @03/02/10 14:06:00")));
}

TEST_F(Stored, EmptyChannelStillGetsTexts) {
    Ch1({});
    EditStored(set, [](StoredSet& d) { ComputeStoredExtremes(d); });
    EXPECT_EQ(set.ExtremeText(0, 0), QStringLiteral("-1000.0 V @"));
    EXPECT_EQ(set.ExtremeText(1, 0), QStringLiteral("1000.0V @"));
}

TEST_F(Stored, SampleTimesTruncateTowardsZeroInDoublePrecision) {
    EditStored(set, [&](StoredSet& d) { d.SetRmsInterval(1.5f); });
    EXPECT_EQ(set.RmsSampleTime(3) - set.StartTime(), 4);
    EditStored(set, [&](StoredSet& d) { d.SetRmsInterval(3600.0f); });
    EXPECT_EQ(set.RmsSampleTime(262143) - set.StartTime(), 262143LL * 3600);
    EditStored(set, [&](StoredSet& d) {
        d.SetRmsInterval(0.1f);
    }); // 0.1 is not exact in binary: 0.100000001490116...
    EXPECT_EQ(set.RmsSampleTime(262140) - set.StartTime(), 26214);
}

TEST_F(Stored, OperationsRefuseWhatWouldBreakTheInvariants) {
    StoredSet s;
    s.SetRmsCount(3);
    EXPECT_FALSE(s.SetChannelValues(0, {1, 2}));
    EXPECT_FALSE(s.ChannelPresent(0));
    ASSERT_TRUE(s.SetChannelValues(0, {1, 2, 3}));
    // A channel switched on gets a value per sample; a new count reaches every
    // present channel, and an absent one holds nothing.
    s.SetChannelPresent(1, true);
    EXPECT_EQ(s.ChannelRms(1), (std::vector<float>{0, 0, 0}));
    s.SetRmsCount(4);
    EXPECT_EQ(s.ChannelRms(0), (std::vector<float>{1, 2, 3, 0}));
    EXPECT_EQ(s.ChannelRms(1).size(), 4u);
    s.SetChannelPresent(1, false);
    EXPECT_TRUE(s.ChannelRms(1).empty());
    s.SetRmsCount(-5);
    EXPECT_EQ(s.RmsCount(), 0);
    EXPECT_TRUE(s.ChannelRms(0).empty());
    EXPECT_TRUE(s.IsConsistent());

    // TR records come whole: kTrPoints values and one code and time each.
    EXPECT_FALSE(s.SetTrRecords({kTrChannel1}, {kTrUnitVolts}, {0}, std::vector<float>(10)));
    EXPECT_FALSE(s.SetTrRecords({kTrChannel1}, {}, {0}, std::vector<float>(kTrPoints)));
    EXPECT_EQ(s.TrCount(), 0);
    ASSERT_TRUE(s.SetTrRecords({kTrChannel1}, {kTrUnitVolts}, {0}, std::vector<float>(kTrPoints)));
    EXPECT_EQ(s.TrCount(), 1);
    EXPECT_TRUE(s.IsConsistent());
}

TEST_F(Stored, ReplacingAndClearingCountGenerationsAndKeepTheRun) {
    Ch1({1, 2, 3});
    EXPECT_TRUE(set.StoredIsConsistent());
    const uint64_t before = set.StoredGeneration();
    // The stored texts belong to the stored half; the real-time rows do not.
    set.SetExtremeText(0, 0, QStringLiteral("not stored"));
    set.SetExtremeText(8, 0, QStringLiteral("230.0 @x"));
    EXPECT_TRUE(set.ExtremeText(0, 0).isEmpty());
    EXPECT_EQ(set.ExtremeText(8, 0), QStringLiteral("230.0 @x"));
    EXPECT_EQ(set.StoredGeneration(), before);

    runs::BeginRun(set.Run(), 10);
    runs::GrowTo(set.Run(), 7);
    set.ClearStored();
    EXPECT_EQ(set.StoredGeneration(), before + 1);
    EXPECT_TRUE(set.StoredIsConsistent());
    EXPECT_EQ(set.RmsCount(), 0);
    EXPECT_TRUE(set.ChannelRms(0).empty());
    EXPECT_EQ(set.RtCount(), 7); // the real-time half stays
    EXPECT_EQ(set.ExtremeText(8, 0), QStringLiteral("230.0 @x"));
    set.ReplaceStored(StoredSetBuilder().Channel(1, {5, 6}).Build());
    EXPECT_EQ(set.StoredGeneration(), before + 2);
    EXPECT_EQ(set.RmsCount(), 2);
}

TEST(WorkBuffers, SizedFromTheSetNotTheMode) {
    MeasurementSet s;
    EditStored(s, [&](StoredSet& d) { d.SetRmsCount(10); });
    EXPECT_EQ(WorkBufferPoints(s, WorkBufferOccasion::AfterDownload, 3600), 100000);
    EXPECT_EQ(WorkBufferPoints(s, WorkBufferOccasion::AfterFileRead, 3600), 590);
    EXPECT_EQ(WorkBufferPoints(s, WorkBufferOccasion::AtRealTimeStart, 3600), 3600);
    EditStored(s, [](StoredSet& d) {
        d.SetTrRecords(std::vector<uint8_t>(1000, kTrChannel1),
                       std::vector<uint8_t>(1000, kTrUnitVolts), std::vector<TimeValue>(1000),
                       std::vector<float>(size_t(1000) * kTrPoints));
    });
    EXPECT_EQ(WorkBufferPoints(s, WorkBufferOccasion::AfterDownload, 3600), 251000);
    EXPECT_EQ(WorkBufferPoints(s, WorkBufferOccasion::AfterFileRead, 3600), 251000);
    EditStored(s, [&](StoredSet& d) { d.SetRmsCount(262144); });
    EXPECT_EQ(WorkBufferPoints(s, WorkBufferOccasion::AtRealTimeStart, 100), 262144);
}

// ------------------------------------------------------------------ figures on first read

// Answers P = 100 x (sample + 1) W at PF 0.5 for every sample but the second, and
// counts how often it was asked; `during` runs while it works.
class CountingPowerSource final : public RtPowerSource {
public:
    std::vector<RtPowerRow> PowerOf(const RtWaveformSource& waves, std::array<uint8_t, 2> kinds,
                                    int count) const override {
        ++asked;
        seenKinds = kinds;
        seenWaveforms = waves.WaveformCount();
        if (during)
            during();
        std::vector<RtPowerRow> rows(static_cast<size_t>(count));
        for (size_t i = 0; i < rows.size(); ++i) {
            if (i == 1)
                continue;
            rows[i].p = 100.0f * float(i + 1);
            rows[i].pf = 0.5f;
        }
        return rows;
    }

    mutable int asked = 0;
    mutable std::array<uint8_t, 2> seenKinds{};
    mutable int seenWaveforms = 0;
    std::function<void()> during;
};

class PendingPower : public ::testing::Test {
protected:
    PendingPower() {
        runs::BeginRun(run, 3, 0, 2, "V", "A");
        for (int i = 0; i < 3; ++i)
            runs::AddSample(run, {230, 1});
        run.SetWaveforms(std::make_shared<RtMemoryWaveforms>(waves));
        run.SetPowerSource(source);
    }
    const std::vector<RtWaveform> waves = std::vector<RtWaveform>(3); // the source reads them
    RealTimeRun run;
    std::shared_ptr<CountingPowerSource> source = std::make_shared<CountingPowerSource>();
};

TEST_F(PendingPower, WorkedOutOnceOnTheFirstReadOfEitherAccessor) {
    EXPECT_TRUE(run.PowerPending());
    EXPECT_EQ(source->asked, 0);
    // The first read, whichever accessor, sees the figures.
    ASSERT_EQ(run.PowerPairs().size(), 3u);
    EXPECT_EQ(source->asked, 1);
    EXPECT_FALSE(run.PowerPending());
    EXPECT_EQ(source->seenKinds, (std::array<uint8_t, 2>{kChannelVolts, kChannelAmps}));
    EXPECT_EQ(source->seenWaveforms, 3);
    EXPECT_EQ(run.PowerPairs()[0][0], 100.0f);
    EXPECT_EQ(run.PowerPairs()[2][1], 0.5f);
    EXPECT_TRUE(std::isnan(run.PowerPairs()[1][0])); // a gap, never a 0
    ASSERT_EQ(run.Power().size(), 3u);
    EXPECT_EQ(run.Power()[2].p, 300.0f);
    EXPECT_FALSE(run.Power()[1].p);
    EXPECT_EQ(source->asked, 1);
}

TEST_F(PendingPower, ANewRunOrNoWaveformsLeaveNothingPending) {
    run.Begin(0, 2, 3);
    EXPECT_FALSE(run.PowerPending());
    runs::AddSample(run, {230, 1}, {50, 50}, RtPowerRow{});
    EXPECT_FALSE(run.Power()[0].p);
    EXPECT_EQ(source->asked, 0);

    run.SetPowerSource(source);
    run.Clear();
    EXPECT_FALSE(run.PowerPending());

    // Pending without the waveforms to work from: empty figures, asked no more.
    runs::BeginRun(run, 3, 0, 2, "V", "A");
    runs::AddSample(run, {230, 1});
    run.SetPowerSource(source);
    EXPECT_FALSE(run.Power()[0].p);
    EXPECT_FALSE(run.PowerPending());
    EXPECT_EQ(source->asked, 0);
}

// The work may let the user's events through: a run begun or cleared meanwhile
// keeps its own samples, and the figures meant for the old one go nowhere.
TEST_F(PendingPower, RunReplacedWhileItsFiguresAreWorkedOutKeepsItsOwn) {
    source->during = [this] {
        run.Begin(0, 2, 5);
        runs::AddSample(run, {230, 1}, {50, 50}, RtPowerRow{});
        runs::AddSample(run, {230, 1}, {50, 50}, RtPowerRow{});
    };
    ASSERT_EQ(run.Power().size(), 2u);
    EXPECT_FALSE(run.Power()[0].p || run.Power()[1].p);
    EXPECT_TRUE(std::isnan(run.PowerPairs()[0][0]));
    EXPECT_EQ(source->asked, 1);

    source->during = [this] { run.Clear(); };
    runs::BeginRun(run, 3, 0, 2, "V", "A");
    runs::AddSample(run, {230, 1});
    run.SetWaveforms(std::make_shared<RtMemoryWaveforms>(waves));
    run.SetPowerSource(source);
    EXPECT_TRUE(run.Power().empty());
    EXPECT_EQ(run.Count(), 0);
    EXPECT_EQ(source->asked, 2);
}

} // namespace
