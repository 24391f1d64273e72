#include "base/Prompts.h"
#include "base/Timers.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct Fired {
    int64_t at;
    int table;
    int id;
    bool operator==(const Fired&) const = default;
};

TEST(ManualClock, FiresDueTimersOfAllTablesInTimeOrder) {
    ManualClock clock;
    ManualTimerTable a(clock), b(clock);
    std::vector<Fired> log;
    a.SetHandler([&](int id) { log.push_back({clock.NowMs(), 0, id}); });
    b.SetHandler([&](int id) { log.push_back({clock.NowMs(), 1, id}); });
    a.Start(5, 500);
    b.Start(9, 300);
    a.Start(4, 100);
    clock.Advance(600);
    const std::vector<Fired> expected = {{100, 0, 4}, {200, 0, 4}, {300, 1, 9},
                                         {300, 0, 4}, {400, 0, 4}, {500, 0, 5},
                                         {500, 0, 4}, {600, 1, 9}, {600, 0, 4}};
    EXPECT_EQ(log, expected);
    EXPECT_EQ(clock.NowMs(), 600);
}

TEST(ManualClock, HandlersThatKillOrRestartTimersAreHonouredAtOnce) {
    ManualClock clock;
    ManualTimerTable t(clock);
    std::vector<Fired> log;
    t.SetHandler([&](int id) {
        log.push_back({clock.NowMs(), 0, id});
        if (id == 1) {
            t.Kill(1);
            t.Kill(2); // due at the same instant: must not fire
            t.Start(3, 50);
        }
    });
    t.Start(1, 100);
    t.Start(2, 100);
    clock.Advance(1000);
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log[0], (Fired{100, 0, 1}));
    EXPECT_EQ(log[1], (Fired{150, 0, 3}));
    EXPECT_FALSE(t.IsActive(1));
    EXPECT_FALSE(t.IsActive(2));
    EXPECT_EQ(log.size(), 1u + 18u); // timer 3 every 50 ms from 150 to 1000
}

TEST(ManualClock, RestartReplacesPhaseAndPeriod) {
    ManualClock clock;
    ManualTimerTable t(clock);
    std::vector<int64_t> at;
    t.SetHandler([&](int) { at.push_back(clock.NowMs()); });
    t.Start(4, 100);
    clock.Advance(50);
    t.Start(4, 1000); // a failed probe cycle restarts the scan slower
    clock.Advance(1100);
    EXPECT_EQ(at, (std::vector<int64_t>{1050}));
    EXPECT_EQ(t.PeriodOf(4), 1000);
}

TEST(ManualClock, AdvanceUntilStopsAtTheCondition) {
    ManualClock clock;
    ManualTimerTable t(clock);
    int ticks = 0;
    t.SetHandler([&](int) { ++ticks; });
    t.Start(6, 3000);
    EXPECT_TRUE(clock.AdvanceUntil([&] { return ticks == 2; }, 60000));
    EXPECT_EQ(clock.NowMs(), 6000);
    EXPECT_FALSE(clock.AdvanceUntil([&] { return ticks == 100; }, 4000));
    EXPECT_EQ(clock.NowMs(), 10000);
}

TEST(ManualClock, DestroyedTableNoLongerFires) {
    ManualClock clock;
    int ticks = 0;
    {
        ManualTimerTable t(clock);
        t.SetHandler([&](int) { ++ticks; });
        t.Start(1, 10);
    }
    clock.Advance(100);
    EXPECT_EQ(ticks, 0);
}

TEST(FakePrompts, RecordsAndAnswersFromTheScriptThenSafely) {
    FakePrompts p;
    p.QueueAnswer(PromptAnswer::Yes);
    EXPECT_EQ(p.Message("a", PromptIcon::Question, PromptButtons::YesNo), PromptAnswer::Yes);
    EXPECT_EQ(p.Message("b", PromptIcon::Question, PromptButtons::YesNo), PromptAnswer::No);
    EXPECT_EQ(p.Message("c", PromptIcon::Question, PromptButtons::YesNoCancel),
              PromptAnswer::Cancel);
    EXPECT_EQ(p.Message("d", PromptIcon::Information, PromptButtons::Ok), PromptAnswer::Ok);
    ASSERT_EQ(p.shown.size(), 4u);
    EXPECT_EQ(p.shown[3].icon, PromptIcon::Information);
    EXPECT_TRUE(p.Saw("b"));
    EXPECT_FALSE(p.Saw("e"));
    EXPECT_TRUE(p.ChooseOpenFile("f", "").isEmpty());
    p.QueueFile("/tmp/x.stdata");
    EXPECT_EQ(p.ChooseSaveFile("name", "f", ""), QStringLiteral("/tmp/x.stdata"));
    EXPECT_EQ(p.proposedNames.back(), QStringLiteral("name"));
    EXPECT_EQ(p.fileChoosersShown, 2);
}

} // namespace
