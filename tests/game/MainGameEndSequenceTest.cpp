// The game frame's end sequence: which names start it, and the world it asks
// for once its second of fading is over, on every frame until it starts.
#include <gtest/gtest.h>

#include <string>

#include "game/MainGame.h"
#include "world/Engine.h"

namespace {

class MainGameEndSequenceTest : public ::testing::Test {
  protected:
    void SetUp() override { Clear(); }
    void TearDown() override { Clear(); }
    static void Clear() {
        g_MainGame.EndSequenceOff();
        g_Engine.m_WorldToStart[0] = 0;
        g_Engine.m_bStartingWorld = 0;
        g_Engine.m_bWorldLoaded = 0;
        g_MainGame.m_iLevelFrame = 0;
    }
};

struct NameCase {
    const char* label;
    std::string name;
    bool starts;
};

class EndSequenceNames : public MainGameEndSequenceTest, public ::testing::WithParamInterface<NameCase> {};

TEST_P(EndSequenceNames, OnlyANameAWorldStartTakesStartsTheSequence) {
    const NameCase& c = GetParam();
    g_MainGame.SetEndSequence(c.name.c_str());
    EXPECT_EQ(g_MainGame.m_bEndSequence, c.starts);
    if (c.starts) {
        EXPECT_EQ(g_MainGame.m_szEndWorld, c.name);
    }
}

INSTANTIATE_TEST_SUITE_P(Names, EndSequenceNames,
                         ::testing::Values(NameCase{"Empty", "", false},
                                           NameCase{"World", "worlds\\next.w", true},
                                           NameCase{"Longest", std::string(127, 'w'), true},
                                           NameCase{"TooLong", std::string(128, 'w'), false},
                                           NameCase{"FarTooLong", std::string(300, 'w'), false}),
                         [](const ::testing::TestParamInfo<NameCase>& info) { return info.param.label; });

TEST_F(MainGameEndSequenceTest, TheWorldIsAskedForAfterTheSecondAndEveryFrameUntilItStarts) {
    g_Engine.m_bWorldLoaded = 1;
    g_MainGame.SetEndSequence("worlds\\next.w");
    g_Engine.m_fFrameTime = 0.25f;
    for (int i = 0; i < 4; ++i) { // exactly 1.0 s: not yet
        g_MainGame.Update();
        EXPECT_EQ(g_Engine.m_WorldToStart[0], 0) << i;
    }
    // The game stands still meanwhile.
    EXPECT_EQ(g_MainGame.m_iLevelFrame, 0);
    g_MainGame.Update();
    EXPECT_STREQ(g_Engine.m_WorldToStart, "worlds\\next.w");
    g_Engine.m_WorldToStart[0] = 0;
    g_MainGame.Update();
    EXPECT_STREQ(g_Engine.m_WorldToStart, "worlds\\next.w");
    // The world's open ends it.
    g_MainGame.Init();
    EXPECT_FALSE(g_MainGame.m_bEndSequence);
}

} // namespace
