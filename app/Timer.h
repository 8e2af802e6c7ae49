// The program's one clock: a single process-wide timer driven by a command
// number, giving seconds as a double. It runs on the performance counter, or
// on the millisecond clock when the counter reports no frequency.
#pragma once

#include <cstdint>

enum TIMER_COMMAND {
    TIMER_RESET = 0,
    TIMER_START = 1,
    TIMER_STOP = 2,
    TIMER_ADVANCE = 3,
    TIMER_GETABSOLUTETIME = 4,
    TIMER_GETAPPTIME = 5,
    TIMER_GETELAPSEDTIME = 6,
};

// Runs one command; -1.0 for an unknown one. "Advance" moves the clock 0.1 s
// ahead: a stopped clock's stop time, or a running clock's application and
// elapsed time.
double DXUtilTimer(int command);

// The clock's sources. Tests replace them to drive the timer by hand; null
// restores the system clocks. Either way the timer starts afresh.
struct TimerClock {
    uint64_t (*counter)();   // performance counter ticks
    uint64_t (*frequency)(); // ticks per second; 0 selects the millisecond clock
    uint32_t (*milliseconds)();
};
void DXUtilTimerSetClock(const TimerClock* clock);
