// Music through the sound manager's calls: one music thread per piece, the
// shared lock switched on while it runs, the music volume setting mapped onto
// the stream, and sounds made while the music thread refills.
#include <gtest/gtest.h>

#include "app/Options.h"
#include "game/MainGame.h"
#include "sound/MusicStream.h"
#include "sound/MusicThread.h"
#include "sound/SoundMgr.h"
#include "tests/sound/SoundTestUtil.h"
#include "world/Engine.h"

using namespace soundtest;

class MusicSoundMgrTest : public TempDataDir {
  protected:
    void SetUp() override {
        TempDataDir::SetUp();
        fs::copy(fs::path(ZT_SOURCE_DIR) / "data" / "music", root_ / "music", fs::copy_options::recursive);
        WriteFile(root_ / "sounds" / "mono.wav", Wave16(1, 4410));
        sound = true;
        g_Engine.m_bFastForward = 0;
        g_MainGame.m_iLevelFrame = 1000;
        g_SoundMgr.SetBackend(audio::Backend::Silent);
        ASSERT_TRUE(g_SoundMgr.Init());
        TakeLog();
    }
    void TearDown() override {
        g_SoundMgr.Release();
        g_SoundMgr.SetBackend(audio::Backend::Auto);
        g_MainGame.m_iLevelFrame = 0;
        TempDataDir::TearDown();
    }
    int32_t StreamVolume() {
        int32_t v = 1;
        CSoundLock::Scoped lock(g_SoundMgr.Lock());
        EXPECT_EQ(g_SoundMgr.m_pMusicThread->Stream()->pBuffer->GetVolume(&v), audio::Result::Ok);
        return v;
    }
};

TEST_F(MusicSoundMgrTest, OneMusicThreadPerPiece) {
    EXPECT_FALSE(g_SoundMgr.Lock().IsActive());
    g_SoundMgr.Music_Play("music\\dark1_loop.ogg", true);
    ASSERT_NE(g_SoundMgr.m_pMusicThread, nullptr);
    CMusicThread* first = g_SoundMgr.m_pMusicThread;
    EXPECT_TRUE(first->IsThreadRunning());
    EXPECT_TRUE(g_SoundMgr.Lock().IsActive());
    EXPECT_TRUE(g_SoundMgr.Music_IsPlaying());
    EXPECT_EQ(TakeLog(), "");

    g_SoundMgr.Music_Play("music\\gong_02.ogg", false);
    ASSERT_NE(g_SoundMgr.m_pMusicThread, nullptr);
    EXPECT_TRUE(g_SoundMgr.m_pMusicThread->IsThreadRunning());
    EXPECT_TRUE(g_SoundMgr.Lock().IsActive());
    EXPECT_TRUE(g_SoundMgr.Music_IsPlaying());

    g_SoundMgr.Music_Release();
    EXPECT_EQ(g_SoundMgr.m_pMusicThread, nullptr);
    EXPECT_FALSE(g_SoundMgr.Lock().IsActive());
    EXPECT_FALSE(g_SoundMgr.Music_IsPlaying());
}

TEST_F(MusicSoundMgrTest, TheMusicVolumeSettingReachesTheStream) {
    struct Case {
        float setting;
        int32_t mB; // 10000 x fourth root of the setting - 10000
    } cases[] = {{1.0f, 0}, {0.0625f, -5000}, {0.04f, -10000}, {0.0f, -10000}, {0.81f, -514}};
    g_SoundMgr.Music_Play("music\\dark1_loop.ogg", true);
    ASSERT_NE(g_SoundMgr.m_pMusicThread, nullptr);
    for (const Case& c : cases) {
        g_SoundMgr.Music_SetVolume(c.setting);
        EXPECT_EQ(StreamVolume(), c.mB) << c.setting;
    }
    // A new piece starts at the volume set before it.
    g_SoundMgr.Music_SetVolume(0.0625f);
    g_SoundMgr.Music_Play("music\\gong_02.ogg", true);
    EXPECT_EQ(StreamVolume(), -5000);
}

TEST_F(MusicSoundMgrTest, PauseResumeAndStop) {
    g_SoundMgr.Music_Play("music\\dark1_loop.ogg", true);
    g_SoundMgr.Music_Pause();
    EXPECT_FALSE(g_SoundMgr.Music_IsPlaying());
    g_SoundMgr.Music_Resume();
    EXPECT_TRUE(g_SoundMgr.Music_IsPlaying());
    g_SoundMgr.Music_Stop();
    EXPECT_FALSE(g_SoundMgr.Music_IsPlaying());
    EXPECT_NE(g_SoundMgr.m_pMusicThread, nullptr); // stopped, not released
}

TEST_F(MusicSoundMgrTest, SoundsWorkWhileTheMusicThreadRuns) {
    g_SoundMgr.Music_Play("music\\dark1_loop.ogg", true);
    ASSERT_TRUE(g_SoundMgr.Lock().IsActive());
    for (int i = 0; i < 50; ++i) {
        strSound* s = g_SoundMgr.CreateSound("sounds\\mono.wav");
        ASSERT_NE(s, nullptr);
        g_SoundMgr.PlaySound(s, false);
        g_SoundMgr.SetSoundVolume(s, 0.5f);
        EXPECT_TRUE(g_SoundMgr.IsSoundPlaying(s));
        g_SoundMgr.Update();
        g_SoundMgr.DeleteSound(s);
    }
    EXPECT_TRUE(g_SoundMgr.Music_IsPlaying());
    // Release takes the music with it, and the lock is off again.
    g_SoundMgr.Release();
    EXPECT_EQ(g_SoundMgr.m_pMusicThread, nullptr);
    EXPECT_FALSE(g_SoundMgr.Lock().IsActive());
}
