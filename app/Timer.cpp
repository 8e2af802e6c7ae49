#include "app/Timer.h"

#include "platform/os/Os.h"

namespace {

constexpr TimerClock SYSTEM_CLOCK = {os::PerformanceCounter, os::PerformanceFrequency, os::TimeGetTimeMs};

// Times are kept in the clock's own unit: counter ticks, or milliseconds on
// the fallback. Differences are taken as signed 64-bit values so that a base
// moved before the clock's zero (an advance) still subtracts correctly.
struct TimerState {
    TimerClock clock = SYSTEM_CLOCK;
    bool initialised = false;
    uint64_t ticksPerSecond = 0; // 1000 on the millisecond fallback
    bool useCounter = false;
    bool stopped = false;
    uint64_t stopTime = 0;
    uint64_t lastElapsedTime = 0;
    uint64_t baseTime = 0;

    uint64_t Read() const { return useCounter ? clock.counter() : uint64_t(clock.milliseconds()); }
    double Seconds(uint64_t from, uint64_t to) const {
        return double(int64_t(to - from)) / double(ticksPerSecond);
    }
};

constinit TimerState g_Timer;

void Initialise() {
    if (g_Timer.initialised) return;
    g_Timer.initialised = true;
    uint64_t frequency = g_Timer.clock.frequency();
    g_Timer.useCounter = frequency != 0;
    g_Timer.ticksPerSecond = frequency != 0 ? frequency : 1000;
}

} // namespace

void DXUtilTimerSetClock(const TimerClock* clock) {
    g_Timer = TimerState();
    if (clock) g_Timer.clock = *clock;
}

double DXUtilTimer(int command) {
    Initialise();
    TimerState& t = g_Timer;
    // While stopped, "now" is the stop time, except for start and absolute.
    uint64_t now =
        (t.stopped && command != TIMER_START && command != TIMER_GETABSOLUTETIME) ? t.stopTime : t.Read();
    uint64_t tenth = t.ticksPerSecond / 10;

    switch (command) {
    case TIMER_RESET:
        t.baseTime = t.lastElapsedTime = now;
        t.stopTime = 0;
        t.stopped = false;
        return 0.0;
    case TIMER_START:
        if (t.stopped) t.baseTime += now - t.stopTime;
        t.stopTime = 0;
        t.lastElapsedTime = now;
        t.stopped = false;
        return 0.0;
    case TIMER_STOP:
        if (!t.stopped) {
            t.stopTime = t.lastElapsedTime = now;
            t.stopped = true;
        }
        return 0.0;
    case TIMER_ADVANCE:
        if (t.stopped) {
            t.stopTime += tenth;
        } else {
            // A running clock jumps ahead instead of freezing at a stop time.
            t.baseTime -= tenth;
            t.lastElapsedTime -= tenth;
        }
        return 0.0;
    case TIMER_GETABSOLUTETIME:
        return double(now) / double(t.ticksPerSecond);
    case TIMER_GETAPPTIME:
        return t.Seconds(t.baseTime, now);
    case TIMER_GETELAPSEDTIME: {
        double elapsed = t.Seconds(t.lastElapsedTime, now);
        t.lastElapsedTime = now;
        return elapsed;
    }
    default:
        return -1.0;
    }
}
