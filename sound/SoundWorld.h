// What the sound subsystem reads of the options, the engine world and the
// game layer, gathered in one place so that those reads stay few and visible.
#pragma once

#include <cstdint>

namespace soundworld {

// The `sound` option is on and no cut-scene is being skipped: sounds may be
// made and played.
bool SoundAllowed();
// Either wide-screen (cinematic) flag is set.
bool Cinematic();
// Frames since the level started.
uint32_t LevelFrame();
// Seconds since the world started.
double WorldTime();

// The allocation tracker.
void Track(const char* tag);
void Untrack(const char* tag);

} // namespace soundworld
