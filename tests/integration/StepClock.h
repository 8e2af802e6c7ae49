// A timer clock the test advances by hand, so that in-process frames run at a
// fixed rate whatever the machine does.
#pragma once

#include <cstdint>

#include "app/Timer.h"

namespace stepclock {

inline uint64_t g_Microseconds = 0;

inline uint64_t Counter() {
    return g_Microseconds;
}
inline uint64_t Frequency() {
    return 1000000;
}
inline uint32_t Milliseconds() {
    return uint32_t(g_Microseconds / 1000);
}

// Puts the engine's timer on this clock, at one second.
inline void Install() {
    const TimerClock clock = {Counter, Frequency, Milliseconds};
    DXUtilTimerSetClock(&clock);
    g_Microseconds = 1000000;
}

// One frame at 30 frames a second.
inline void StepFrame() {
    g_Microseconds += 1000000 / 30;
}

} // namespace stepclock
