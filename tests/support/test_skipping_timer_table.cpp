// The timer table the window fault suite skips a silent logger's time-outs with: a
// skip must leave the handlers the times and the order they would have seen after
// waiting, and a timer killed or restarted meanwhile must not fire on its old time.

#include "support/EventLoop.h"
#include "support/SkippingTimerTable.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace {

TEST(SkippingTimerTable, SkipsFireInDueOrderAtTheirDueTimesOnTheTablesClock) {
    CoreApp();
    SkippingTimerTable timers;
    std::vector<std::pair<int, int64_t>> fired; // id, the table's time
    timers.SetHandler([&](int id) {
        fired.emplace_back(id, timers.NowMs());
        if (id == 2)
            timers.Kill(2);
    });
    const int64_t start = timers.NowMs();
    timers.Start(1, 900);  // a block repeat, periodic
    timers.Start(2, 5000); // a watchdog, once
    timers.Start(3, 700);
    timers.Kill(3); // killed before it was due
    ASSERT_TRUE(PumpUntil(
        [&] {
            if (fired.size() < 7)
                timers.SkipToNextDue();
            return fired.size() >= 7;
        },
        5000));
    const std::vector<int> order = {1, 1, 1, 1, 1, 2, 1};
    const std::vector<int64_t> due = {900, 1800, 2700, 3600, 4500, 5000, 5400};
    for (size_t i = 0; i < order.size(); ++i) {
        EXPECT_EQ(fired[i].first, order[i]) << i;
        // Never before its time; a little after it by the real time the loop took.
        EXPECT_GE(fired[i].second - start, due[i]) << i;
    }
    EXPECT_GE(timers.SkippedMs(), 5000);
    EXPECT_FALSE(timers.IsActive(2));
    EXPECT_TRUE(timers.IsActive(1));
}

TEST(SkippingTimerTable, ARestartedTimerKeepsItsNewPeriodAcrossASkip) {
    CoreApp();
    SkippingTimerTable timers;
    std::vector<int64_t> fired;
    timers.SetHandler([&](int) { fired.push_back(timers.NowMs()); });
    const int64_t start = timers.NowMs();
    timers.Start(7, 100);
    timers.Start(7, 3000); // restarting replaces period and phase
    ASSERT_TRUE(PumpUntil(
        [&] {
            if (fired.empty())
                timers.SkipToNextDue();
            return !fired.empty();
        },
        5000));
    EXPECT_GE(fired[0] - start, 3000);
}

} // namespace
