#include <gtest/gtest.h>

#include "platform/Clock.h"

namespace {

TEST(ClockTest, FakeClockMovesOnlyWhenToldAndWraps) {
    TFakeClock fake;
    Clock::SetCurrent(&fake);
    EXPECT_EQ(&Clock::Current(), &fake);
    EXPECT_EQ(Clock::Current().NowMs(), 0u);
    EXPECT_EQ(Clock::Current().NowMs(), 0u);
    Clock::Current().SleepMs(16);
    EXPECT_EQ(Clock::Current().NowMs(), 16u);
    fake.Now = 0xFFFFFFF0u;
    Clock::Current().SleepMs(0x20);
    EXPECT_EQ(Clock::Current().NowMs(), 0x10u);  // 49.7 days on, the count starts again
    Clock::SetCurrent(nullptr);
    EXPECT_NE(dynamic_cast<TSystemClock*>(&Clock::Current()), nullptr);
}

TEST(ClockTest, SystemClockAdvancesBySleeping) {
    TSystemClock clock;
    uint32_t before = clock.NowMs();
    clock.SleepMs(20);
    uint32_t after = clock.NowMs();
    EXPECT_GE(after - before, 19u);  // both readings are whole milliseconds
    EXPECT_LT(after - before, 5000u);
}

}  // namespace
