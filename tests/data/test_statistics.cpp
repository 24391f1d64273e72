// Statistics of recordings made for the purpose: every expected figure is a literal
// worked out by hand (or, for the 10-minute RMS values, by a calculator).

#include "SampleSets.h"

#include "data/RecordingStatistics.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>

using namespace samples;

namespace {

class Statistics : public ::testing::Test {
protected:
    void SetUp() override {
        const char* tz = std::getenv("TZ");
        m_savedTz = tz ? tz : "";
        SetTz("Europe/Berlin");
    }
    void TearDown() override { SetTz(m_savedTz.c_str()); }
    static void SetTz(const char* tz) {
        setenv("TZ", tz, 1);
        tzset();
    }

    // A recording of `count` samples of `value` volts on CH1.
    static MeasurementSet Flat(int count, float value, float interval, TimeValue start) {
        MeasurementSet s;
        SetCh1(s, std::vector<float>(size_t(count), value), "V");
        EditStored(s, [&](StoredSet& d) {
            d.SetRmsInterval(interval);
            d.SetStartTime(start);
        });
        return s;
    }
    static RecordingStatistics Of(const MeasurementSet& s, double nominal = 230.0) {
        return ComputeStatistics(StatisticsViewOf(s), nominal);
    }

private:
    std::string m_savedTz;
};

TEST_F(Statistics, FlatWeekAt230VIsAllWithinWithoutEvents) {
    const TimeValue monday = At(2026, 3, 2, 0, 0, 0);
    const MeasurementSet s = Flat(10080, 230.0f, 60.0f, monday);
    const RecordingStatistics r = Of(s);
    ASSERT_EQ(r.channels.size(), 1u);
    const ChannelStatistics& c = r.channels[0];
    EXPECT_EQ(c.channel, 1);
    EXPECT_EQ(c.count, 10080);
    EXPECT_EQ(c.coveredS, 604800.0);
    EXPECT_EQ(c.lost, 0);
    EXPECT_EQ(c.min.value, 230.0);
    EXPECT_EQ(c.min.time, monday); // the first sample that reaches it
    EXPECT_EQ(c.max.time, monday);
    EXPECT_EQ(c.mean, 230.0);
    EXPECT_EQ(c.rmsMean, 230.0);
    EXPECT_EQ(c.std, 0.0);
    for (double p : c.percentiles)
        EXPECT_EQ(p, 230.0);
    ASSERT_TRUE(c.voltage.has_value());
    ASSERT_TRUE(c.voltage->tenMinute.has_value());
    const TenMinuteSummary& t = *c.voltage->tenMinute;
    EXPECT_EQ(t.complete, 1008);
    EXPECT_EQ(t.incomplete, 0);
    EXPECT_EQ(t.withinShare, 1.0);
    EXPECT_TRUE(t.withinLimit);
    EXPECT_EQ(TenMinuteVerdictText(t),
              QStringLiteral("within the ±10 % limit for 95 % of the 10-minute values"));
    EXPECT_TRUE(c.voltage->events.empty());
    EXPECT_FALSE(r.energy.has_value());
}

TEST_F(Statistics, PlantedDipSwellAndInterruptionAreFoundWithStartsAndDurations) {
    const TimeValue start = At(2026, 3, 2, 0, 0, 0);
    MeasurementSet s = Flat(8640, 230.0f, 10.0f, start);
    for (int i = 1000; i < 1012; ++i)
        EditValues(s, 0, [&](std::vector<float>& v) { v[size_t(i)] = 195.0f; });
    for (int i = 3000; i < 3003; ++i)
        EditValues(s, 0, [&](std::vector<float>& v) { v[size_t(i)] = 260.0f; });
    for (int i = 5000; i < 5002; ++i)
        EditValues(s, 0, [&](std::vector<float>& v) { v[size_t(i)] = 5.0f; });
    const VoltageSummary v = *Of(s).channels[0].voltage;
    ASSERT_EQ(v.events.size(), 3u);
    struct Expected {
        EventKind kind;
        TimeValue start;
        double duration;
        double extreme;
        int64_t samples;
    } expected[] = {
        {EventKind::Dip, At(2026, 3, 2, 2, 46, 40), 120.0, 195.0, 12},
        {EventKind::Swell, At(2026, 3, 2, 8, 20, 0), 30.0, 260.0, 3},
        {EventKind::Interruption, At(2026, 3, 2, 13, 53, 20), 20.0, 5.0, 2},
    };
    for (size_t k = 0; k < 3; ++k) {
        SCOPED_TRACE(k);
        EXPECT_EQ(v.events[k].kind, expected[k].kind);
        EXPECT_EQ(v.events[k].start, expected[k].start);
        EXPECT_EQ(v.events[k].durationS, expected[k].duration);
        EXPECT_EQ(v.events[k].extreme, expected[k].extreme);
        EXPECT_EQ(v.events[k].samples, expected[k].samples);
    }
    EXPECT_EQ(v.dips, 1);
    EXPECT_EQ(v.swells, 1);
    EXPECT_EQ(v.interruptions, 1); // and not also a dip

    const TenMinuteSummary& t = *v.tenMinute;
    EXPECT_EQ(t.complete, 144);
    EXPECT_EQ(t.withinShare, 1.0);
    EXPECT_NEAR(t.lowest.value, 223.4390297, 1e-6);
    EXPECT_EQ(t.lowest.time, At(2026, 3, 2, 2, 40, 0));
    EXPECT_NEAR(t.highest.value, 231.5923142, 1e-6);
    EXPECT_EQ(t.highest.time, At(2026, 3, 2, 8, 20, 0));
}

TEST_F(Statistics, AnOutageThroughTheDipBandIsOneInterruption) {
    MeasurementSet s = Flat(20, 230.0f, 1.0f, At(2026, 3, 2, 0, 0, 0));
    const float outage[] = {100.0f, 5.0f, 0.0f, 150.0f};
    for (int i = 0; i < 4; ++i)
        EditValues(s, 0, [&](std::vector<float>& v) { v[size_t(5 + i)] = outage[i]; });
    EditValues(s, 0, [&](std::vector<float>& v) {
        v[9] = 260.0f;
    }); // a swell right after it is an event of its own
    const VoltageSummary v = *Of(s).channels[0].voltage;
    ASSERT_EQ(v.events.size(), 2u);
    EXPECT_EQ(v.events[0].kind, EventKind::Interruption);
    EXPECT_EQ(v.events[0].samples, 4);
    EXPECT_EQ(v.events[0].extreme, 0.0);
    EXPECT_EQ(v.events[1].kind, EventKind::Swell);
    EXPECT_EQ(v.dips, 0);
}

TEST_F(Statistics, LimitsAreExactAtTheirEdges) {
    // 207 V and 253 V are exactly 90 % and 110 % of 230 V: inside, no event.
    MeasurementSet s = Flat(4, 230.0f, 1.0f, At(2026, 3, 2, 0, 0, 0));
    SetValues(s, 0, {207.0f, 253.0f, 206.9f, 253.1f});
    const VoltageSummary v = *Of(s).channels[0].voltage;
    ASSERT_EQ(v.events.size(), 2u);
    EXPECT_EQ(v.events[0].firstIndex, 2);
    EXPECT_EQ(v.events[1].firstIndex, 3);
}

// 20 complete 10-minute values, `low` of them at 200 V.
struct ShareCase {
    int low;
    double share;
    bool withinLimit;
    const char* verdict;
};

class StatisticsShare : public Statistics, public ::testing::WithParamInterface<ShareCase> {};

TEST_P(StatisticsShare, VerdictFollowsTheShareOfCompleteValues) {
    const ShareCase& p = GetParam();
    MeasurementSet s = Flat(200, 230.0f, 60.0f, At(2026, 3, 2, 0, 0, 0));
    for (int i = 0; i < p.low * 10; ++i)
        EditValues(s, 0, [&](std::vector<float>& v) { v[size_t(i)] = 200.0f; });
    const TenMinuteSummary t = *Of(s).channels[0].voltage->tenMinute;
    EXPECT_EQ(t.complete, 20);
    EXPECT_DOUBLE_EQ(t.withinShare, p.share);
    EXPECT_EQ(t.withinLimit, p.withinLimit);
    EXPECT_EQ(TenMinuteVerdictText(t), QString::fromUtf8(p.verdict));
    EXPECT_EQ(t.lowest.value, p.low > 0 ? 200.0 : 230.0);
}

INSTANTIATE_TEST_SUITE_P(
    Shares, StatisticsShare,
    ::testing::Values(ShareCase{1, 0.95, true,
                                "within the ±10 % limit for 95 % of the 10-minute values"},
                      ShareCase{2, 0.9, false, "outside: 90.0 % within"},
                      ShareCase{20, 0.0, false, "outside: 0.0 % within"}));

TEST_F(Statistics, TenMinuteIntervalsAreAlignedToTheLocalClockAndIncompleteOnesLeftOut) {
    // 00:07 to 00:36: 00:00 holds 3 of its 10 samples (incomplete), 00:10 and 00:20
    // all ten, 00:30 seven (complete: at least half).
    const MeasurementSet s = Flat(30, 230.0f, 60.0f, At(2026, 3, 2, 0, 7, 0));
    const TenMinuteSummary t = *Of(s).channels[0].voltage->tenMinute;
    EXPECT_EQ(t.complete, 3);
    EXPECT_EQ(t.incomplete, 1);
    EXPECT_EQ(t.highest.time, At(2026, 3, 2, 0, 10, 0));

    // A zone 5:45 ahead of UTC: local 00:00 to 00:07 is one interval of 8 samples;
    // intervals cut on the UTC clock would split it 5 + 3.
    SetTz("Asia/Kathmandu");
    const MeasurementSet k = Flat(8, 230.0f, 60.0f, At(2026, 3, 2, 0, 0, 0));
    const TenMinuteSummary kt = *Of(k).channels[0].voltage->tenMinute;
    EXPECT_EQ(kt.complete, 1);
    EXPECT_EQ(kt.incomplete, 0);
    EXPECT_EQ(kt.highest.time, At(2026, 3, 2, 0, 0, 0));
}

TEST_F(Statistics, TenMinuteValuesAreNotGivenWhenTheySayNothing) {
    struct Case {
        int count;
        float interval;
        TenMinuteAbsence why;
        const char* text;
    } cases[] = {
        {48, 3600.0f, TenMinuteAbsence::IntervalTooLong,
         "the recording interval (3600 s) is longer than 10 minutes"},
        {4, 60.0f, TenMinuteAbsence::NoCompleteInterval,
         "no 10-minute interval holds half of its samples"},
        {10, 0.0f, TenMinuteAbsence::NoInterval, "the recording has no usable interval"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        MeasurementSet s = Flat(c.count, 230.0f, c.interval, At(2026, 3, 2, 0, 0, 0));
        EditValues(s, 0, [&](std::vector<float>& v) { v[1] = 190.0f; }); // events are still found
        const VoltageSummary v = *Of(s).channels[0].voltage;
        EXPECT_FALSE(v.tenMinute.has_value());
        EXPECT_EQ(v.absence, c.why);
        EXPECT_EQ(TenMinuteAbsenceText(v.absence, double(c.interval)), QString::fromUtf8(c.text));
        ASSERT_EQ(v.events.size(), 1u);
        EXPECT_EQ(v.events[0].durationS, double(c.interval));
    }
}

TEST_F(Statistics, WrappedRecordingReportsItsLostSamplesAndCoveredTime) {
    const MeasurementSet s = Flat(1000, 230.0f, 30.0f, At(2026, 3, 2, 0, 0, 0));
    StatisticsView view = StatisticsViewOf(s);
    EXPECT_EQ(view.lost, 0); // a stored set does not say
    view.lost = 512;
    const ChannelStatistics c = ComputeStatistics(view, 230.0).channels[0];
    EXPECT_EQ(c.lost, 512);
    EXPECT_EQ(c.count, 1000);
    EXPECT_EQ(c.coveredS, 30000.0);
}

TEST_F(Statistics, CurrentOnlyRecordingHasFiguresButNoVoltageSummary) {
    MeasurementSet s;
    // 100 samples 0.1 A to 10.0 A in steps of 0.1 A, then the peak twice.
    std::vector<float> amps;
    for (int i = 1; i <= 100; ++i)
        amps.push_back(float(i) / 10.0f);
    amps.push_back(12.5f);
    amps.push_back(12.5f);
    SetCh2(s, amps, "A");
    EditStored(s, [&](StoredSet& d) {
        d.SetRmsInterval(2.0f);
        d.SetStartTime(At(2026, 3, 2, 12, 0, 0));
    });
    const RecordingStatistics r = Of(s);
    ASSERT_EQ(r.channels.size(), 1u);
    const ChannelStatistics& c = r.channels[0];
    EXPECT_EQ(c.channel, 2);
    EXPECT_EQ(c.unit, QStringLiteral("A"));
    EXPECT_FALSE(c.voltage.has_value());
    EXPECT_FALSE(r.energy.has_value());
    EXPECT_EQ(c.max.value, 12.5);
    EXPECT_EQ(c.max.time, At(2026, 3, 2, 12, 3, 20)); // sample 100, the first of the two
    EXPECT_NEAR(c.mean, (505.0 + 25.0) / 102.0, 1e-5);
    // Nearest rank of 102 values: P95 is the 97th, 9.7 A; P99 the 101st, 12.5 A.
    EXPECT_FLOAT_EQ(float(c.percentiles[3]), 9.7f);
    EXPECT_FLOAT_EQ(float(c.percentiles[4]), 12.5f);
    EXPECT_FLOAT_EQ(float(c.percentiles[0]), 0.2f); // 2nd
    EXPECT_FLOAT_EQ(float(c.percentiles[2]), 5.1f); // 51st
}

TEST_F(Statistics, PercentilesAreNearestRankOverNegativeAndPositiveValues) {
    MeasurementSet s;
    std::vector<float> v;
    for (int i = 0; i < 200; ++i)
        v.push_back(float((i * 73) % 200 - 100)); // -100 to 99, shuffled
    SetCh1(s, v, "A");
    EditStored(s, [&](StoredSet& d) { d.SetRmsInterval(1.0f); });
    const ChannelStatistics c = Of(s).channels[0];
    const double expected[] = {-99.0, -91.0, -1.0, 89.0, 97.0}; // ranks 2, 10, 100, 190, 198
    for (size_t p = 0; p < 5; ++p)
        EXPECT_EQ(c.percentiles[p], expected[p]) << kPercentileRanks[p];
    EXPECT_EQ(c.min.value, -100.0);
    EXPECT_EQ(c.max.value, 99.0);
    EXPECT_NEAR(c.std, std::sqrt((200.0 * 200.0 - 1.0) / 12.0), 1e-9);
}

TEST_F(Statistics, VoltageAndCurrentGiveTheApparentEnergy) {
    MeasurementSet s = Flat(3600, 230.0f, 1.0f, At(2026, 3, 2, 0, 0, 0));
    std::vector<float> amps;
    for (int i = 0; i < 3600; ++i)
        amps.push_back(i % 2 == 0 ? 10.0f : 20.0f);
    SetCh2(s, amps, "A");
    const RecordingStatistics r = Of(s);
    ASSERT_EQ(r.channels.size(), 2u);
    ASSERT_TRUE(r.energy.has_value());
    EXPECT_DOUBLE_EQ(r.energy->apparentVah, 3450.0);
    EXPECT_DOUBLE_EQ(r.energy->meanVa, 3450.0);
    EXPECT_EQ(r.energy->peak.value, 4600.0);
    EXPECT_EQ(r.energy->peak.time, At(2026, 3, 2, 0, 0, 1));
}

TEST_F(Statistics, DamagedValuesAndCountsNeitherCrashNorSpoilTheFigures) {
    MeasurementSet s = Flat(6, 230.0f, 60.0f, At(2026, 3, 2, 0, 0, 0));
    EditValues(s, 0,
               [&](std::vector<float>& v) { v[2] = std::numeric_limits<float>::quiet_NaN(); });
    EditValues(s, 0, [&](std::vector<float>& v) { v[3] = std::numeric_limits<float>::infinity(); });
    EditValues(s, 0, [&](std::vector<float>& v) { v[4] = 240.0f; });
    // A count beyond the channel's values is refused.
    EditStored(s,
               [](StoredSet& d) { EXPECT_FALSE(d.SetChannelValues(0, std::vector<float>(50))); });
    const ChannelStatistics c = Of(s).channels[0];
    EXPECT_EQ(c.count, 6);
    EXPECT_EQ(c.unusable, 2);
    EXPECT_EQ(c.max.value, 240.0);
    EXPECT_DOUBLE_EQ(c.mean, 232.5);
    EXPECT_EQ(c.percentiles[4], 240.0);
    EXPECT_TRUE(c.voltage->events.empty());

    MeasurementSet empty;
    SetCh1(empty, std::vector<float>(3, std::numeric_limits<float>::quiet_NaN()), "V");
    EditStored(empty, [&](StoredSet& d) { d.SetRmsInterval(1.0f); });
    const ChannelStatistics e = Of(empty).channels[0];
    EXPECT_FALSE(e.hasValues);
    EXPECT_EQ(e.unusable, 3);
}

// A long noisy recording with values that are not numbers, infinities, negative
// values and many repeats: every figure equals a plain computation of its
// definition (sorting for the percentiles, one sum after the other for the means).
TEST_F(Statistics, FiguresOfALongNoisyRecordingEqualTheirDefinitions) {
    std::vector<float> v(70001);
    uint32_t h = 99;
    for (size_t i = 0; i < v.size(); ++i) {
        h = h * 1664525u + 1013904223u;
        v[i] = float(int(h >> 20) % 3000 - 700) * 0.1f; // -70.0 to 229.9
        if (h % 1009 == 0)
            v[i] = std::numeric_limits<float>::quiet_NaN();
        if (h % 2003 == 0)
            v[i] = -std::numeric_limits<float>::infinity();
    }
    v[50] = -80.5f;
    v[60] = -80.5f; // the same lowest again: the first keeps it
    v[70000] = 300.25f;
    StatisticsView view;
    view.channels[0] = {v, true, QStringLiteral("A")};
    view.count = int64_t(v.size());
    view.intervalS = 2.0;
    view.start = At(2026, 3, 2, 0, 0, 0);
    const ChannelStatistics c = ComputeStatistics(view, 230.0).channels[0];

    std::vector<float> usable;
    double sum = 0, squares = 0;
    for (const float x : v) {
        if (std::isfinite(x)) {
            usable.push_back(x);
            sum += double(x);
            squares += double(x) * double(x);
        }
    }
    const double n = double(usable.size());
    const double mean = sum / n;
    double deviations = 0;
    for (const float x : usable)
        deviations += (double(x) - mean) * (double(x) - mean);
    EXPECT_EQ(c.unusable, int64_t(v.size() - usable.size()));
    EXPECT_DOUBLE_EQ(c.mean, mean);
    EXPECT_DOUBLE_EQ(c.rmsMean, std::sqrt(squares / n));
    EXPECT_NEAR(c.std, std::sqrt(deviations / n), 1e-9 * std::sqrt(deviations / n));
    EXPECT_EQ(c.min.value, -80.5);
    EXPECT_EQ(c.min.index, 50);
    EXPECT_EQ(c.min.time, view.start + 100);
    EXPECT_EQ(c.max.value, 300.25);
    EXPECT_EQ(c.max.index, 70000);
    std::sort(usable.begin(), usable.end());
    for (size_t p = 0; p < kPercentileRanks.size(); ++p) {
        const size_t rank = (size_t(kPercentileRanks[p]) * usable.size() + 99) / 100;
        EXPECT_EQ(c.percentiles[p], double(usable[rank - 1])) << "P" << kPercentileRanks[p];
    }
}

// A view that announces more samples than its channels hold (a damaged count) is
// read only as far as the values go, the apparent energy too.
TEST_F(Statistics, ViewLongerThanItsValuesIsReadOnlyAsFarAsTheyGo) {
    const std::vector<float> volts(5, 200.0f), amps(5, 2.0f);
    StatisticsView view;
    view.channels[0] = {volts, true, QStringLiteral("V")};
    view.channels[1] = {amps, true, QStringLiteral("A")};
    view.count = 1000;
    view.intervalS = 3600.0;
    const RecordingStatistics r = ComputeStatistics(view, 230.0);
    ASSERT_EQ(r.channels.size(), 2u);
    EXPECT_EQ(r.channels[0].count, 5);
    ASSERT_TRUE(r.energy.has_value());
    EXPECT_EQ(r.energy->apparentVah, 2000.0);
    EXPECT_EQ(r.energy->meanVa, 400.0);
}

TEST_F(Statistics, NominalOutsideItsRangeFallsBackTo230) {
    EXPECT_EQ(AcceptedNominal(120.0), 120.0);
    EXPECT_EQ(AcceptedNominal(99.9), 230.0);
    EXPECT_EQ(AcceptedNominal(1000.1), 230.0);
    EXPECT_EQ(AcceptedNominal(std::numeric_limits<double>::quiet_NaN()), 230.0);
    // 120 V nominal: 230 V is a swell.
    const MeasurementSet s = Flat(3, 230.0f, 1.0f, At(2026, 3, 2, 0, 0, 0));
    EXPECT_EQ(Of(s, 120.0).channels[0].voltage->swells, 1);
}

} // namespace
