// Counting of the GL calls the layer makes, a seam for tests that keep the
// layer from sending state GL already holds. With counting on, every entry
// point that Functions::Load fills afterwards goes through a wrapper that
// counts the call and, for a call that sets state, whether that state
// already held the value (a redundant call). The counter keeps its own
// model of the state those calls set, apart from the layer's caches, so it
// judges them rather than repeating them. Off, Load hands out the driver's
// entry points and nothing is counted. Single-threaded, like the layer.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace gfx::gl {

struct GlCallCount {
    const char* name; // "glBindTexture"
    uint64_t calls = 0, redundant = 0;
};

struct GlCallCounts {
    uint64_t calls = 0, redundant = 0;
    std::vector<GlCallCount> byName; // entry points called since the last take
    // "glBindTexture 120 (redundant 40)" lines, most redundant first.
    std::string Describe() const;
};

// Switches counting on or off for the entry points loaded afterwards (make
// the device after switching it on).
void CountGlCalls(bool on);
// The calls since the previous take (or since counting began).
GlCallCounts TakeGlCallCounts();

struct Functions;
// Used by Functions::Load: true while counting is on; Wrap points the
// loaded entry points at the counting wrappers.
bool CountingGlCalls();
void WrapForCounting(Functions* gl);

} // namespace gfx::gl
