// The level start shows the world at its 205th frame: the sky and the rest
// of the world are drawn from then, never for a start without a world.
#include <gtest/gtest.h>

#include <string>

#include "game/MainGame.h"
#include "world/Engine.h"

namespace {

struct ShownCase {
    const char* name;
    bool worldLoaded;
    int frames;
    bool shown;
};

class WorldShown : public ::testing::TestWithParam<ShownCase> {
  protected:
    void TearDown() override {
        g_Engine.m_bWorldLoaded = 0;
        g_Engine.m_bWorldShown = 0;
        g_MainGame.m_iLevelFrame = 0;
    }
};

TEST_P(WorldShown, AfterTheLevelStartsFrames) {
    g_Engine.m_bWorldLoaded = GetParam().worldLoaded;
    g_Engine.m_bWorldShown = 0;
    g_MainGame.m_iLevelFrame = 0;
    for (int i = 0; i < GetParam().frames; ++i)
        g_MainGame.Update();
    EXPECT_EQ(g_Engine.m_bWorldShown != 0, GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(
    LevelStart, WorldShown,
    ::testing::Values(ShownCase{"Frame204", true, 204, false}, ShownCase{"Frame205", true, 205, true},
                      ShownCase{"Frame300", true, 300, true}, ShownCase{"NoWorld", false, 300, false}),
    [](const ::testing::TestParamInfo<ShownCase>& info) { return std::string(info.param.name); });

} // namespace
