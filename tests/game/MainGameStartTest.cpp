// The game's one-time start: the sound listener goes far below any world, so
// that nothing placed in the world is heard before one runs.
#include <gtest/gtest.h>

#include "app/Options.h"
#include "game/MainGame.h"
#include "sound/SoundMgr.h"

TEST(MainGameStart, PutsTheListenerFarBelowAnyWorld) {
    const bool startMenu = StartMenu;
    StartMenu = true; // no world requested
    g_SoundMgr.SetBackend(audio::Backend::Silent);
    ASSERT_TRUE(g_SoundMgr.Init());
    const float near[3] = {10.0f, 20.0f, 30.0f};
    g_SoundMgr.SetListenerPosition(near);
    g_SoundMgr.CommitListener();

    g_MainGame.StartUp();
    g_SoundMgr.CommitListener();
    EXPECT_EQ(g_SoundMgr.m_vListenerPosition, math::Vec3(0, -1e8f, 0));
    EXPECT_EQ(g_SoundMgr.m_pDSListener->Position(), math::Vec3(0, -1e8f, 0));

    g_SoundMgr.Release();
    g_SoundMgr.SetBackend(audio::Backend::Auto);
    g_MainGame.m_bStartedUp = false;
    StartMenu = startMenu;
}
