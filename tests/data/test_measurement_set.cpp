#include "base/LocalTime.h"
#include "data/MeasurementSet.h"
#include "support/RunSamples.h"

#include <cstdlib>
#include <ctime>

#include <gtest/gtest.h>

namespace {

class Stored : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("TZ", "Europe/Berlin", 1);
        tzset();
        set.m_startTime = FromLocalFields({2010, 2, 3, 14, 5, 0});
        set.m_rmsInterval = 60;
    }
    void Ch1(std::vector<float> v, const char* unit = "V") {
        set.m_ch1Present = 1;
        set.m_ch1Unit = QString::fromLatin1(unit);
        set.m_rmsCount = int(v.size());
        set.m_ch1Rms = std::move(v);
    }
    MeasurementSet set;
};

TEST_F(Stored, ExtremeTextsHaveTheBlankOnlyBeforeTheMaximumUnit) {
    Ch1({229.0f, 231.4f, 228.0f, 230.0f});
    ComputeStoredExtremes(set);
    EXPECT_EQ(set.m_extremeText[0][0], QStringLiteral("231.4 V @03/02/10 14:06:00"));
    EXPECT_EQ(set.m_extremeText[1][0], QStringLiteral("228.0V @03/02/10 14:07:00"));
    EXPECT_TRUE(set.m_extremeText[0][1].isEmpty()); // CH2 absent: untouched
}

TEST_F(Stored, TiesMoveToTheLaterSample) {
    std::vector<float> v(30, 100.0f);
    v[10] = 200.0f;
    v[20] = 200.0f;
    v[5] = 50.0f;
    v[25] = 50.0f;
    Ch1(v, "A");
    ComputeStoredExtremes(set);
    EXPECT_EQ(set.m_extremeText[0][0],
              QStringLiteral("200.0 A @") + FormatDateTime(set.RmsSampleTime(20)));
    EXPECT_EQ(set.m_extremeText[1][0],
              QStringLiteral("50.0A @") + FormatDateTime(set.RmsSampleTime(25)));
}

TEST_F(Stored, TextsAreWrittenWhenNoSampleMovesTheStartValues) {
    Ch1({-2000.0f, -1500.0f});
    set.m_ch2Present = 1;
    set.m_ch2Unit = QStringLiteral("A");
    set.m_ch2Rms = {1500.0f, 2000.0f};
    ComputeStoredExtremes(set);
    EXPECT_EQ(set.m_extremeText[0][0], QStringLiteral("-1000.0 V @"));
    EXPECT_TRUE(set.m_extremeText[1][0].startsWith(QStringLiteral("-2000.0V @03/02/10")));
    EXPECT_EQ(set.m_extremeText[1][1], QStringLiteral("1000.0A @"));
    EXPECT_TRUE(set.m_extremeText[0][1].startsWith(QStringLiteral("2000.0 A @03/02/10 14:06:00")));
}

TEST_F(Stored, EmptyChannelStillGetsTexts) {
    Ch1({});
    ComputeStoredExtremes(set);
    EXPECT_EQ(set.m_extremeText[0][0], QStringLiteral("-1000.0 V @"));
    EXPECT_EQ(set.m_extremeText[1][0], QStringLiteral("1000.0V @"));
}

TEST_F(Stored, SampleTimesTruncateTowardsZeroInDoublePrecision) {
    set.m_rmsInterval = 1.5f;
    EXPECT_EQ(set.RmsSampleTime(3) - set.m_startTime, 4);
    set.m_rmsInterval = 3600.0f;
    EXPECT_EQ(set.RmsSampleTime(262143) - set.m_startTime, 262143LL * 3600);
    set.m_rmsInterval = 0.1f; // 0.1 is not exact in binary: 0.100000001490116...
    EXPECT_EQ(set.RmsSampleTime(262140) - set.m_startTime, 26214);
}

TEST_F(Stored, ConsistencyAndClearing) {
    Ch1({1, 2, 3});
    EXPECT_TRUE(set.StoredIsConsistent());
    set.m_ch2Present = 1; // flag without array
    EXPECT_FALSE(set.StoredIsConsistent());
    set.m_ch2Present = 0;
    set.m_trCount = 1;
    EXPECT_FALSE(set.StoredIsConsistent());
    set.m_trWave.assign(kTrPoints, 0.0f);
    set.m_trTime = {0};
    set.m_trUnitCode = {kTrUnitVolts};
    set.m_trChannelCode = {kTrChannel1};
    EXPECT_TRUE(set.StoredIsConsistent());

    runs::BeginRun(set.Run(), 10);
    runs::GrowTo(set.Run(), 7);
    set.ClearStored();
    EXPECT_TRUE(set.StoredIsConsistent());
    EXPECT_EQ(set.m_rmsCount, 0);
    EXPECT_TRUE(set.m_ch1Rms.empty());
    EXPECT_EQ(set.RtCount(), 7); // the real-time half stays
}

TEST(WorkBuffers, SizedFromTheSetNotTheMode) {
    MeasurementSet s;
    s.m_rmsCount = 10;
    EXPECT_EQ(WorkBufferPoints(s, WorkBufferOccasion::AfterDownload, 3600), 100000);
    EXPECT_EQ(WorkBufferPoints(s, WorkBufferOccasion::AfterFileRead, 3600), 590);
    EXPECT_EQ(WorkBufferPoints(s, WorkBufferOccasion::AtRealTimeStart, 3600), 3600);
    s.m_trCount = 1000;
    EXPECT_EQ(WorkBufferPoints(s, WorkBufferOccasion::AfterDownload, 3600), 251000);
    EXPECT_EQ(WorkBufferPoints(s, WorkBufferOccasion::AfterFileRead, 3600), 251000);
    s.m_rmsCount = 262144;
    EXPECT_EQ(WorkBufferPoints(s, WorkBufferOccasion::AtRealTimeStart, 100), 262144);
}

} // namespace
