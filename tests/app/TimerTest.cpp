#include "app/Timer.h"

#include <gtest/gtest.h>

namespace {

// A hand-driven clock: 1000 counter ticks per second, or the millisecond
// fallback when the frequency is 0.
uint64_t g_ticks = 0;
uint64_t g_frequency = 1000;
uint32_t g_ms = 0;
uint64_t Counter() {
    return g_ticks;
}
uint64_t Frequency() {
    return g_frequency;
}
uint32_t Milliseconds() {
    return g_ms;
}

class Timer : public ::testing::TestWithParam<bool> {
  protected:
    void SetUp() override {
        useCounter_ = GetParam();
        g_frequency = useCounter_ ? 1000 : 0;
        Set(10.0);
        TimerClock clock = {Counter, Frequency, Milliseconds};
        DXUtilTimerSetClock(&clock);
        DXUtilTimer(TIMER_RESET);
    }
    void TearDown() override { DXUtilTimerSetClock(nullptr); }

    // Sets the clock to an absolute time in seconds.
    void Set(double seconds) {
        g_ticks = uint64_t(seconds * 1000.0 + 0.5);
        g_ms = uint32_t(seconds * 1000.0 + 0.5);
    }
    double App() { return DXUtilTimer(TIMER_GETAPPTIME); }
    double Elapsed() { return DXUtilTimer(TIMER_GETELAPSEDTIME); }
    double Absolute() { return DXUtilTimer(TIMER_GETABSOLUTETIME); }

    bool useCounter_ = true;
};

} // namespace

TEST_P(Timer, RunningClockGivesApplicationAndElapsedTime) {
    Set(10.5);
    EXPECT_DOUBLE_EQ(App(), 0.5);
    EXPECT_DOUBLE_EQ(Elapsed(), 0.5);
    Set(10.75);
    EXPECT_DOUBLE_EQ(Elapsed(), 0.25);
    EXPECT_DOUBLE_EQ(App(), 0.75);
    EXPECT_DOUBLE_EQ(Absolute(), 10.75);
}

TEST_P(Timer, StoppedClockHoldsStillButAbsoluteRuns) {
    Set(11.0);
    DXUtilTimer(TIMER_STOP);
    Set(15.0);
    EXPECT_DOUBLE_EQ(App(), 1.0);
    EXPECT_DOUBLE_EQ(Elapsed(), 0.0);
    EXPECT_DOUBLE_EQ(Absolute(), 15.0);
    DXUtilTimer(TIMER_STOP); // a second stop changes nothing
    Set(16.0);
    EXPECT_DOUBLE_EQ(App(), 1.0);
}

TEST_P(Timer, StartAfterStopSkipsTheStoppedTime) {
    Set(11.0);
    DXUtilTimer(TIMER_STOP);
    Set(20.0);
    DXUtilTimer(TIMER_START);
    EXPECT_DOUBLE_EQ(App(), 1.0);
    EXPECT_DOUBLE_EQ(Elapsed(), 0.0);
    Set(20.5);
    EXPECT_DOUBLE_EQ(App(), 1.5);
}

TEST_P(Timer, StartWhileRunningOnlyResetsTheElapsedReference) {
    Set(12.0);
    DXUtilTimer(TIMER_START);
    Set(12.25);
    EXPECT_DOUBLE_EQ(Elapsed(), 0.25);
    EXPECT_DOUBLE_EQ(App(), 2.25);
}

TEST_P(Timer, AdvanceMovesAStoppedClockByATenth) {
    Set(11.0);
    DXUtilTimer(TIMER_STOP);
    DXUtilTimer(TIMER_ADVANCE);
    EXPECT_NEAR(App(), 1.1, 1e-9);
    EXPECT_NEAR(Elapsed(), 0.1, 1e-9);
    DXUtilTimer(TIMER_ADVANCE);
    Set(30.0);
    EXPECT_NEAR(App(), 1.2, 1e-9);
}

// Advancing a running clock moves it ahead and leaves it running.
TEST_P(Timer, AdvanceWhileRunningDoesNotFreezeTheClock) {
    Set(11.0);
    EXPECT_DOUBLE_EQ(Elapsed(), 1.0);
    DXUtilTimer(TIMER_ADVANCE);
    EXPECT_NEAR(App(), 1.1, 1e-9);
    Set(12.0);
    EXPECT_NEAR(App(), 2.1, 1e-9);
    EXPECT_NEAR(Elapsed(), 1.1, 1e-9);
    Set(12.5);
    EXPECT_NEAR(Elapsed(), 0.5, 1e-9);
}

TEST_P(Timer, ResetStartsApplicationTimeAgain) {
    Set(14.0);
    DXUtilTimer(TIMER_RESET);
    EXPECT_DOUBLE_EQ(App(), 0.0);
    Set(14.5);
    EXPECT_DOUBLE_EQ(App(), 0.5);
}

// While stopped, "now" is the stop time for every command but start and
// absolute, so a reset then starts application time at the stop time.
TEST_P(Timer, ResetWhileStoppedCountsFromTheStopTime) {
    Set(11.0);
    DXUtilTimer(TIMER_STOP);
    Set(15.0);
    DXUtilTimer(TIMER_RESET);
    EXPECT_DOUBLE_EQ(App(), 4.0);
    EXPECT_DOUBLE_EQ(Elapsed(), 4.0);
    Set(15.5);
    EXPECT_DOUBLE_EQ(App(), 4.5);
}

TEST_P(Timer, CommandsOtherThanTimesReturnZeroUnknownOnesMinusOne) {
    for (int command : {TIMER_RESET, TIMER_START, TIMER_STOP, TIMER_ADVANCE}) {
        EXPECT_EQ(DXUtilTimer(command), 0.0) << command;
    }
    EXPECT_EQ(DXUtilTimer(7), -1.0);
    EXPECT_EQ(DXUtilTimer(-1), -1.0);
}

INSTANTIATE_TEST_SUITE_P(CounterAndFallback, Timer, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? "PerformanceCounter" : "Milliseconds";
                         });

TEST(SystemTimer, AbsoluteTimeFollowsTheMonotonicClock) {
    DXUtilTimerSetClock(nullptr);
    double a = DXUtilTimer(TIMER_GETABSOLUTETIME);
    double b = DXUtilTimer(TIMER_GETABSOLUTETIME);
    EXPECT_GT(a, 0.0);
    EXPECT_GE(b, a);
}
