// The benchmarks run the game's code with its layers started as the game
// executable starts them (the hooks installed, the console rows registered).
#include "game/GameStart.h"

namespace {
const bool g_Started = (StartGameLayers(), true);
} // namespace
