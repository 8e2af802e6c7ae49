// Test executables that link the whole game start its layers as the game
// executable does, before any test runs: the game frame and the other hooks
// are installed and every console row reaches its handler.
#include <gtest/gtest.h>

#include "game/GameStart.h"

namespace {

class GameLayers : public ::testing::Environment {
  public:
    void SetUp() override { StartGameLayers(); }
};

const auto* const g_Environment = ::testing::AddGlobalTestEnvironment(new GameLayers);

} // namespace
