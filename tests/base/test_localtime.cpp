#include "base/LocalTime.h"

#include <cstdlib>
#include <ctime>

#include <gtest/gtest.h>

namespace {

class LocalTimeIn : public ::testing::Test {
protected:
    void SetUp() override {
        const char* tz = std::getenv("TZ");
        m_old = tz ? tz : "";
        m_had = tz != nullptr;
        setenv("TZ", "Europe/Berlin", 1);
        tzset();
    }
    void TearDown() override {
        if (m_had)
            setenv("TZ", m_old.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }
    std::string m_old;
    bool m_had = false;
};

TEST_F(LocalTimeIn, RoundTripAcrossTheSpringChange) {
    // 2010-03-28 01:59:59 CET is followed by 03:00:00 CEST, one second later.
    const TimeValue before = FromLocalFields({2010, 3, 28, 1, 59, 59});
    const TimeValue after = FromLocalFields({2010, 3, 28, 3, 0, 0});
    EXPECT_EQ(after - before, 1);
    EXPECT_EQ(ToLocalFields(before + 1), (CalendarFields{2010, 3, 28, 3, 0, 0}));
    EXPECT_EQ(FormatDateTime(before), QStringLiteral("28/03/10 01:59:59"));
}

TEST_F(LocalTimeIn, AutumnHourRepeatsInCalendarFieldsButNotInTimeValues) {
    // 2010-10-31: 02:00-03:00 happens twice. Absolute times stay strictly ordered.
    const TimeValue firstTwo = FromLocalFields({2010, 10, 31, 1, 59, 59}) + 1;
    const TimeValue secondTwo = firstTwo + 3600;
    EXPECT_EQ(ToLocalFields(firstTwo).hour, 2);
    EXPECT_EQ(ToLocalFields(secondTwo).hour, 2);
    EXPECT_EQ(ToLocalFields(secondTwo + 3600).hour, 3);
    EXPECT_EQ(FormatDateTime(firstTwo), FormatDateTime(secondTwo));
}

TEST_F(LocalTimeIn, PastTheEndOfThirtyTwoBitTime) {
    // 2038-01-19 03:14:08 UTC is 2^31; the logger's calendar runs to 2099.
    const TimeValue t = FromLocalFields({2038, 1, 19, 4, 14, 8}); // CET = UTC+1
    EXPECT_EQ(t, TimeValue(2147483648LL));
    const TimeValue late = FromLocalFields({2099, 12, 31, 23, 59, 59});
    EXPECT_GT(late, TimeValue(4102444800LL - 7200));
    EXPECT_EQ(ToLocalFields(late), (CalendarFields{2099, 12, 31, 23, 59, 59}));
    EXPECT_EQ(FormatDateTime(late), QStringLiteral("31/12/99 23:59:59"));
    // Summer time in 2050 still follows the zone's rules.
    const TimeValue july = FromLocalFields({2050, 7, 1, 12, 0, 0});
    const TimeValue jan = FromLocalFields({2050, 1, 1, 12, 0, 0});
    EXPECT_EQ((july - jan) % 86400, 86400 - 3600);
}

TEST_F(LocalTimeIn, FormatsPiecesWithLeadingZeros) {
    const TimeValue t = FromLocalFields({2010, 2, 3, 4, 5, 6});
    EXPECT_EQ(FormatTimeOfDay(t), QStringLiteral("04:05:06"));
    EXPECT_EQ(FormatDate(t), QStringLiteral("03/02/10"));
    EXPECT_EQ(FormatLocal(t, "%y-%m-%d  %H.%M.%S"), QStringLiteral("10-02-03  04.05.06"));
}

} // namespace
