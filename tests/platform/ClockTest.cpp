#include <gtest/gtest.h>

#include "platform/Clock.h"

namespace {

TEST(ClockTest, FakeClockMovesOnlyWhenToldAndWraps) {
    TFakeClock fake;
    IClock& clock = fake;
    EXPECT_EQ(clock.NowMs(), 0u);
    EXPECT_EQ(clock.NowMs(), 0u);
    clock.SleepMs(16);
    EXPECT_EQ(clock.NowMs(), 16u);
    fake.Now = 0xFFFFFFF0u;
    clock.SleepMs(0x20);
    EXPECT_EQ(clock.NowMs(), 0x10u);  // 49.7 days on, the count starts again
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
