#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "app/Debug.h"
#include "app/Options.h"
#include "game/MainGame.h"
#include "game/Panel.h"
#include "sound/SoundMgr.h"
#include "sound/SoundWave.h"
#include "tests/platform/AudioChild.h"
#include "tests/sound/SoundTestUtil.h"
#include "world/Engine.h"

using namespace soundtest;

namespace {

template <typename F> bool WaitFor(F condition, int maxMs = 60000) {
    for (int t = 0; t < maxMs; t += 5) {
        if (condition()) return true;
        os::SleepMs(5);
    }
    return condition();
}

int32_t VolumeOf(const strSound* s) {
    int32_t v = 1;
    EXPECT_EQ(s->pBuffer->GetVolume(&v), audio::Result::Ok);
    return v;
}

int CountSounds() {
    int n = 0;
    for (strSound* s = g_SoundMgr.FirstSound(); s; s = s->pNext)
        ++n;
    return n;
}

// Resets what the manager reads of the rest of the game.
void ResetWorld() {
    sound = true;
    WideScreen = false;
    g_Panel.m_bSoftLetterbox = false;
    g_Engine.m_bFastForward = 0;
    g_Engine.m_fWorldTime = 0;
    g_MainGame.m_iLevelFrame = 1000;
}

} // namespace

// ---- The loudness curve and the distance law (hand-computed values) ---------------

TEST(SoundVolumeCurve, LoudnessBecomesHundredthsOfDecibel) {
    struct Case {
        float x;
        int32_t mB;
    } cases[] = {
        {1.0f, 0},      {0.9f, -400},   {0.75f, -1000},  {0.5f, -2000},   {0.375f, -3250},
        {0.3f, -4000},  {0.25f, -4500}, {0.2f, -5500},   {0.125f, -7000}, {0.0625f, -8500},
        {0.0f, -10000}, {1.5f, 0},      {-1.0f, -10000}, {0.95f, -200},   {0.55f, -1800},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CSoundMgr::LoudnessToHundredthsDb(c.x), c.mB) << c.x;
}

TEST(SoundVolumeCurve, DistanceLoudness) {
    struct Case {
        float distance, range, loudness;
    } cases[] = {
        {0, 640, 1.0f},   {640.0f / 11.0f, 640, 1.0f}, // full within 1/11 of the range
        {20, 640, 1.0f},  {320, 640, 0.55f},           {570, 640, 0.1203125f},
        {582, 640, 0.0f}, // beyond 10/11 of the range: silent
        {640, 640, 0.0f}, {5000, 640, 0.0f},           {0.5f, 1, 0.55f},
    };
    for (const Case& c : cases)
        EXPECT_NEAR(CSoundMgr::DistanceLoudness(c.distance, c.range), c.loudness, 1e-6f) << c.distance;
}

TEST(SoundVolumeCurve, MusicStreamVolume) {
    struct Case {
        float setting, stream;
    } cases[] = {{0.0f, 0.0f}, {0.04f, 0.0f},       {0.0625f, 0.5f},
                 {1.0f, 1.0f}, {0.81f, 0.9486833f}, {-1.0f, 0.0f}};
    for (const Case& c : cases)
        EXPECT_NEAR(CSoundMgr::MusicStreamVolume(c.setting), c.stream, 1e-6f) << c.setting;
}

// ---- The manager on the silent back-end ------------------------------------------

class SoundMgrTest : public TempDataDir {
  protected:
    void SetUp() override {
        TempDataDir::SetUp();
        ResetWorld();
        WriteFile(root_ / "sounds" / "mono.wav", Wave16(1, 4410)); // 0.1 s
        WriteFile(root_ / "sounds" / "stereo.wav", Wave16(2, 4410));
        WriteFile(root_ / "sounds" / "long.wav", Wave16(1, 44100 * 5)); // 5 s
        WriteFile(root_ / "voices" / "line.wav", Wave16(1, 44100 * 5));
        g_SoundMgr.SetBackend(audio::Backend::Silent);
        ASSERT_TRUE(g_SoundMgr.Init());
        g_SoundMgr.SetVolume(1.0f);
        TakeLog();
    }
    void TearDown() override {
        g_SoundMgr.Lock().SetActive(false);
        g_SoundMgr.Release();
        g_SoundMgr.SetBackend(audio::Backend::Auto);
        ResetWorld();
        TempDataDir::TearDown();
    }
    strSound* Start3D(const char* file, float distance, float range = 640.0f) {
        const float pos[3] = {distance, 0, 0};
        return g_SoundMgr.StartSound3D(file, pos, range, true, true);
    }
};

TEST_F(SoundMgrTest, VolumeAppliesFactorAndMasterVolume) {
    struct Case {
        float setting, factor, volume;
        int32_t mB;
    } cases[] = {
        {1.0f, 1.0f, 1.0f, 0},      {0.25f, 1.0f, 1.0f, -2000},  {1.0f, 0.5f, 1.0f, -2000},
        {1.0f, 7.0f, 0.75f, -1000}, {1.0f, 1.0f, 1.5f, 0},       {0.0f, 1.0f, 1.0f, -10000},
        {0.25f, 1.0f, 0.5f, -4500}, {1.0f, -3.0f, 1.0f, -10000},
    };
    for (const Case& c : cases) {
        g_SoundMgr.SetVolume(c.setting);
        strSound* s = g_SoundMgr.CreateSound("sounds\\stereo.wav");
        ASSERT_NE(s, nullptr);
        EXPECT_EQ(s->fVolume, 1.0f);
        g_SoundMgr.SetSoundVolumeFactor(s, c.factor);
        g_SoundMgr.SetSoundVolume(s, c.volume);
        EXPECT_EQ(VolumeOf(s), c.mB) << c.setting << " " << c.factor << " " << c.volume;
        EXPECT_EQ(s->fVolume, c.volume);
        g_SoundMgr.DeleteSound(s);
    }
}

TEST_F(SoundMgrTest, MasterVolumeReappliesEverySound) {
    strSound* a = g_SoundMgr.CreateSound("sounds\\stereo.wav");
    strSound* b = g_SoundMgr.CreateSound("sounds\\stereo.wav");
    g_SoundMgr.SetSoundVolume(b, 0.5f);
    g_SoundMgr.SetVolume(0.25f);
    EXPECT_EQ(VolumeOf(a), -2000);
    EXPECT_EQ(VolumeOf(b), -4500);
    g_SoundMgr.SetVolume(1.0f);
    EXPECT_EQ(VolumeOf(a), 0);
    EXPECT_EQ(VolumeOf(b), -2000);
}

TEST_F(SoundMgrTest, PanIsClampedAndTruncated) {
    strSound* s = g_SoundMgr.CreateSound("sounds\\mono.wav");
    ASSERT_NE(s, nullptr);
    struct Case {
        float pan;
        int32_t value;
    } cases[] = {{0.5f, 5000}, {-2.0f, -10000}, {3.0f, 10000}, {0.33333f, 3333}, {-0.00009f, 0}};
    for (const Case& c : cases) {
        g_SoundMgr.SetSoundPan(s, c.pan);
        int32_t v = 1;
        ASSERT_EQ(s->pBuffer->GetPan(&v), audio::Result::Ok);
        EXPECT_EQ(v, c.value) << c.pan;
    }
}

TEST_F(SoundMgrTest, DistanceVolumeWithVoiceFloorAndLevelGate) {
    struct Case {
        const char* what;
        const char* file;
        float distance;
        bool wideScreen, letterbox;
        int32_t frame;
        int32_t mB;
    } cases[] = {
        {"near", "sounds\\long.wav", 10, false, false, 1000, 0},
        {"half way", "sounds\\long.wav", 320, false, false, 1000, -1800},
        {"far", "sounds\\long.wav", 600, false, false, 1000, -10000},
        {"far voice, wide screen", "voices\\line.wav", 600, true, false, 1000, -200},
        {"far voice, letterbox", "VOICES\\LINE.WAV", 600, false, true, 1000, -200},
        {"far voice, no cinematic", "voices\\line.wav", 600, false, false, 1000, -10000},
        {"far sound, wide screen", "sounds\\long.wav", 600, true, false, 1000, -10000},
        {"near voice, wide screen", "voices\\line.wav", 10, true, false, 1000, 0},
        {"near, frame 209", "sounds\\long.wav", 10, false, false, 209, -10000},
        {"near, frame 210", "sounds\\long.wav", 10, false, false, 210, 0},
        {"voice, wide screen, frame 100", "voices\\line.wav", 10, true, false, 100, -10000},
    };
    const float listener[3] = {0, 0, 0};
    g_SoundMgr.SetListenerPosition(listener);
    for (const Case& c : cases) {
        WideScreen = c.wideScreen;
        g_Panel.m_bSoftLetterbox = c.letterbox;
        g_MainGame.m_iLevelFrame = c.frame;
        strSound* s = Start3D(c.file, c.distance);
        ASSERT_NE(s, nullptr) << c.what;
        EXPECT_EQ(VolumeOf(s), c.mB) << c.what;
        // The update gives the same answer.
        g_SoundMgr.SetSoundVolume(s, 0.123f);
        g_SoundMgr.Update();
        EXPECT_EQ(VolumeOf(s), c.mB) << c.what;
        g_SoundMgr.DeleteSound(s);
    }
}

TEST_F(SoundMgrTest, DistanceFollowsListenerAndSoundMoves) {
    strSound* s = Start3D("sounds\\long.wav", 0);
    ASSERT_NE(s, nullptr);
    const float far[3] = {0, 0, 600};
    const float mid[3] = {0, 320, 0};
    g_SoundMgr.SetListenerPosition(far);
    g_SoundMgr.Update();
    EXPECT_EQ(VolumeOf(s), -10000);
    g_SoundMgr.SetSoundPosition(s, far); // applies at once
    EXPECT_EQ(VolumeOf(s), 0);
    EXPECT_EQ(s->vPosition, math::Vec3(0, 0, 600));
    g_SoundMgr.SetListenerPosition(mid);
    g_SoundMgr.Update();
    // |(0,320,0) - (0,0,600)| = 680: beyond the range.
    EXPECT_EQ(VolumeOf(s), -10000);
    g_SoundMgr.SetSoundRange(s, 1360.0f);
    g_SoundMgr.Update();
    EXPECT_EQ(VolumeOf(s), -1800);
}

TEST_F(SoundMgrTest, RangeIsAtLeastOneAndSetsBothDistances) {
    strSound* s = g_SoundMgr.CreateSound3D("sounds\\mono.wav");
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->fRange, 640.0f);
    ASSERT_NE(s->p3DBuffer, nullptr);
    struct Case {
        float given, kept;
    } cases[] = {{0.5f, 1.0f}, {-20.0f, 1.0f}, {69000.0f, 69000.0f}, {1.0f, 1.0f}};
    for (const Case& c : cases) {
        g_SoundMgr.SetSoundRange(s, c.given);
        EXPECT_EQ(s->fRange, c.kept);
        g_SoundMgr.CommitListener();
        EXPECT_EQ(s->p3DBuffer->MaxDistance(), c.kept);
        EXPECT_EQ(s->p3DBuffer->MinDistance(), c.kept);
    }
    // Flat sounds have no range.
    strSound* flat = g_SoundMgr.CreateSound("sounds\\mono.wav");
    g_SoundMgr.SetSoundRange(flat, 50.0f);
    EXPECT_EQ(flat->fRange, 0.0f);
}

TEST_F(SoundMgrTest, ListenerSettingsWaitForTheCommit) {
    const float p[3] = {1, 2, 3};
    const float front[3] = {0, 0, 1}, top[3] = {0, 1, 0};
    g_SoundMgr.SetListenerPosition(p);
    g_SoundMgr.SetListenerOrientation(front, top);
    EXPECT_EQ(g_SoundMgr.m_vListenerPosition, math::Vec3(1, 2, 3));
    EXPECT_EQ(g_SoundMgr.m_pDSListener->Position(), math::Vec3(0, 0, 0));
    g_SoundMgr.CommitListener();
    EXPECT_EQ(g_SoundMgr.m_pDSListener->Position(), math::Vec3(1, 2, 3));
}

TEST_F(SoundMgrTest, OneShotLivesUntilTheUpdateAfterItStops) {
    g_SoundMgr.PlaySoundOnce("sounds\\long.wav", 0.5f, -1.0f);
    ASSERT_EQ(CountSounds(), 1);
    strSound* s = g_SoundMgr.FirstSound();
    EXPECT_TRUE(s->bOneShot);
    EXPECT_FALSE(s->bLoop);
    EXPECT_EQ(VolumeOf(s), -2000);
    EXPECT_TRUE(g_SoundMgr.IsSoundPlaying(s));
    g_SoundMgr.Update();
    EXPECT_EQ(CountSounds(), 1);
    g_SoundMgr.StopSound(s);
    EXPECT_EQ(CountSounds(), 1); // still there until the update
    g_SoundMgr.Update();
    EXPECT_EQ(CountSounds(), 0);

    // A 3D one-shot that plays to its end.
    const float pos[3] = {5, 0, 0};
    g_SoundMgr.PlaySound3DOnce("sounds\\mono.wav", pos, 69000.0f);
    ASSERT_EQ(CountSounds(), 1);
    s = g_SoundMgr.FirstSound();
    EXPECT_TRUE(s->bOneShot && s->b3D);
    EXPECT_EQ(s->fRange, 69000.0f);
    EXPECT_EQ(s->vPosition, math::Vec3(5, 0, 0));
    EXPECT_TRUE(WaitFor([] {
        g_SoundMgr.Update();
        return CountSounds() == 0;
    }));

    // Creating a sound also clears finished one-shots first.
    g_SoundMgr.PlaySoundOnce("sounds\\mono.wav", 1.0f, 0.0f);
    strSound* oneShot = g_SoundMgr.FirstSound();
    g_SoundMgr.StopSound(oneShot);
    strSound* kept = g_SoundMgr.CreateSound("sounds\\mono.wav");
    EXPECT_EQ(CountSounds(), 1);
    EXPECT_EQ(g_SoundMgr.FirstSound(), kept);
}

TEST_F(SoundMgrTest, StopAllSoundsLeavesLoopingSounds) {
    strSound* looping = g_SoundMgr.CreateSound("sounds\\long.wav");
    strSound* once = g_SoundMgr.CreateSound("sounds\\long.wav");
    g_SoundMgr.PlaySound(looping, true);
    g_SoundMgr.PlaySound(once, false);
    g_SoundMgr.StopAllSounds();
    EXPECT_TRUE(g_SoundMgr.IsSoundPlaying(looping));
    EXPECT_FALSE(g_SoundMgr.IsSoundPlaying(once));
    EXPECT_EQ(CountSounds(), 2);
    g_SoundMgr.DeleteAllSounds();
    EXPECT_EQ(CountSounds(), 0);
}

TEST_F(SoundMgrTest, StopKeepsThePlacePlayResumes) {
    strSound* s = g_SoundMgr.CreateSound("sounds\\long.wav");
    g_SoundMgr.PlaySound(s, false);
    uint32_t pos = 0, stopped = 0, resumed = 0;
    ASSERT_TRUE(
        WaitFor([&] { return s->pBuffer->GetCurrentPosition(&pos) == audio::Result::Ok && pos > 0; }));
    g_SoundMgr.StopSound(s);
    s->pBuffer->GetCurrentPosition(&stopped);
    g_SoundMgr.PlaySound(s, false);
    s->pBuffer->GetCurrentPosition(&resumed);
    EXPECT_GE(resumed, stopped);
    EXPECT_GT(stopped, 0u);
}

TEST_F(SoundMgrTest, NothingIsMadeOrPlayedWhileSoundIsOffOrACutSceneIsSkipped) {
    struct Case {
        const char* what;
        std::function<void()> set;
    } cases[] = {
        {"sound option off", [] { sound = false; }},
        {"cut-scene skipped", [] { g_Engine.m_bFastForward = 1; }},
    };
    for (const Case& c : cases) {
        ResetWorld();
        strSound* existing = g_SoundMgr.CreateSound("sounds\\mono.wav");
        ASSERT_NE(existing, nullptr);
        c.set();
        const float pos[3] = {0, 0, 0};
        EXPECT_EQ(g_SoundMgr.CreateSound("sounds\\mono.wav"), nullptr) << c.what;
        EXPECT_EQ(g_SoundMgr.CreateSound3D("sounds\\mono.wav"), nullptr) << c.what;
        EXPECT_EQ(g_SoundMgr.StartSound3D("sounds\\mono.wav", pos, 640, true, false), nullptr) << c.what;
        g_SoundMgr.PlaySoundOnce("sounds\\mono.wav", 1, 0);
        g_SoundMgr.PlaySound3DOnce("sounds\\mono.wav", pos, 640);
        EXPECT_EQ(CountSounds(), 1) << c.what;
        g_SoundMgr.PlaySound(existing, true);
        EXPECT_FALSE(g_SoundMgr.IsSoundPlaying(existing)) << c.what;
        g_SoundMgr.DeleteAllSounds();
    }
}

TEST_F(SoundMgrTest, StartSound3DNeedsNamePositionAndFile) {
    const float pos[3] = {1, 2, 3};
    EXPECT_EQ(g_SoundMgr.StartSound3D(nullptr, pos, 640, true, false), nullptr);
    EXPECT_EQ(g_SoundMgr.StartSound3D("sounds\\mono.wav", nullptr, 640, true, false), nullptr);
    EXPECT_EQ(g_SoundMgr.StartSound3D("sounds\\none.wav", pos, 640, true, false), nullptr);
    EXPECT_EQ(TakeLog(), ""); // a missing file is not an error here
    strSound* quiet = g_SoundMgr.StartSound3D("sounds\\mono.wav", pos, 100, false, false);
    ASSERT_NE(quiet, nullptr);
    EXPECT_FALSE(g_SoundMgr.IsSoundPlaying(quiet));
    EXPECT_EQ(quiet->fRange, 100.0f);
    EXPECT_FALSE(quiet->bVoice);
    strSound* voice = g_SoundMgr.StartSound3D("Voices\\Line.wav", pos, 100, true, true);
    ASSERT_NE(voice, nullptr);
    EXPECT_TRUE(voice->bVoice);
    EXPECT_TRUE(voice->bLoop);
    EXPECT_TRUE(g_SoundMgr.IsSoundPlaying(voice));
    EXPECT_EQ(voice->p3DBuffer->Position(), math::Vec3(1, 2, 3));
}

TEST_F(SoundMgrTest, StereoIsRefusedForA3DSound) {
    EXPECT_EQ(g_SoundMgr.CreateSound3D("sounds\\stereo.wav"), nullptr);
    EXPECT_EQ(CountSounds(), 0);
    const std::string log = TakeLog();
    EXPECT_EQ(log,
              " \nERROR in SoundMgr.cpp:\nWaveFileName: sounds\\stereo.wav\nCreateSoundBuffer() failed...\n"
              "DSERR_INVALIDPARAM\n---> 3D Sound has to be mono!\n \n");
    // The same wave plays flat.
    EXPECT_NE(g_SoundMgr.CreateSound("sounds\\stereo.wav"), nullptr);
}

TEST_F(SoundMgrTest, UnreadableWavesAreLoggedAndRefused) {
    WriteFile(root_ / "sounds" / "float.wav",
              Riff({Chunk("fmt ", FmtBody(1, 32, 44100, 3)), Chunk("data", Bytes(64, 0))}));
    struct Case {
        const char* file;
        const char* log;
    } cases[] = {
        {"sounds\\missing.wav",
         "ERR #1: There's no disk file!\nERROR: SoundMgr.cpp  *** Sound loading problem!\n"
         "WaveFileName: sounds\\missing.wav\n"},
        {"sounds\\float.wav",
         " \nERROR in SoundMgr.cpp:\nWaveFileName: sounds\\float.wav\nCreateSoundBuffer() failed...\n"
         "DSERR_BADFORMAT\n \n"},
        {"", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(g_SoundMgr.CreateSound(c.file), nullptr) << c.file;
        EXPECT_EQ(TakeLog(), c.log) << c.file;
    }
    EXPECT_EQ(g_SoundMgr.CreateSound(nullptr), nullptr);
    EXPECT_EQ(CountSounds(), 0);
}

TEST_F(SoundMgrTest, EveryPathGivesTheLockBack) {
    // While the music thread runs, every device call takes the shared lock; a
    // path that kept it would stop the music thread and every later call.
    g_SoundMgr.PreloadSound("sounds\\stereo.wav");
    g_SoundMgr.Lock().SetActive(true);
    strSound* kept = nullptr;
    struct Case {
        const char* what;
        std::function<void()> call;
    } cases[] = {
        {"load fails at the wave", [] { g_SoundMgr.LoadSound("sounds\\missing.wav", CSoundMgr::FLAGS_2D); }},
        {"voice refused", [] { g_SoundMgr.CreateSound3D("sounds\\stereo.wav"); }},
        {"from disk", [&] { kept = g_SoundMgr.CreateSound("sounds\\mono.wav"); }},
        {"from the cache", [] { g_SoundMgr.CreateSound("sounds\\stereo.wav"); }},
        {"3D", [] { g_SoundMgr.PlaySound3DOnce("sounds\\mono.wav", nullptr, 640); }},
        {"play", [&] { g_SoundMgr.PlaySound(kept, true); }},
        {"lost and refilled",
         [&] {
             kept->pBuffer->SimulateLoss(1);
             g_SoundMgr.PlaySound(kept, true);
         }},
        {"volume, pan, state",
         [&] {
             g_SoundMgr.SetSoundVolume(kept, 0.5f);
             g_SoundMgr.SetSoundPan(kept, 0.5f);
             g_SoundMgr.IsSoundPlaying(kept);
         }},
        {"update", [] { g_SoundMgr.Update(); }},
        {"stop and delete",
         [&] {
             g_SoundMgr.StopSound(kept);
             g_SoundMgr.DeleteSound(kept);
         }},
        {"delete all", [] { g_SoundMgr.DeleteAllSounds(); }},
    };
    for (const Case& c : cases) {
        c.call();
        EXPECT_TRUE(g_SoundMgr.Lock().Semaphore().Wait(0)) << c.what;
        g_SoundMgr.Lock().Semaphore().Release();
    }
}

TEST_F(SoundMgrTest, LostSoundIsRefilledBeforeItPlays) {
    const Bytes file = Wave16(1, 4410);
    const Bytes samples(file.end() - 8820, file.end());
    auto dataOf = [](strSound* s) {
        void* p = nullptr;
        uint32_t n = 0;
        EXPECT_EQ(s->pBuffer->Lock(&p, &n), audio::Result::Ok);
        Bytes b(static_cast<uint8_t*>(p), static_cast<uint8_t*>(p) + n);
        s->pBuffer->Unlock();
        return b;
    };
    struct Case {
        const char* what;
        bool cached;
        bool fileRemains;
        bool refilled;
        int refusedRestores;
    } cases[] = {
        {"from the file", false, true, true, 0},
        {"from the cache", true, false, true, 3},
        {"neither", false, false, false, 1},
    };
    for (const Case& c : cases) {
        WriteFile(root_ / "sounds" / "lost.wav", file);
        if (c.cached) {
            ASSERT_TRUE(g_SoundMgr.PreloadSound("sounds\\lost.wav"));
        }
        strSound* s = g_SoundMgr.CreateSound("sounds\\lost.wav");
        ASSERT_NE(s, nullptr);
        EXPECT_EQ(dataOf(s), samples) << c.what;
        if (!c.fileRemains) fs::remove(root_ / "sounds" / "lost.wav");
        s->pBuffer->SimulateLoss(c.refusedRestores);
        TakeLog();
        g_SoundMgr.PlaySound(s, true);
        EXPECT_TRUE(g_SoundMgr.IsSoundPlaying(s)) << c.what;
        EXPECT_EQ(dataOf(s) == samples, c.refilled) << c.what;
        const std::string log = TakeLog();
        EXPECT_EQ(Has(log, "ERROR in CSoundMgr::PlaySound(): Sound loading problem!"), !c.refilled) << c.what;
        g_SoundMgr.DeleteAllSounds();
        g_SoundMgr.ClearSoundCache();
    }
}

TEST_F(SoundMgrTest, CachedWavesNeedNoDisk) {
    EXPECT_FALSE(g_SoundMgr.PreloadSound(nullptr));
    ASSERT_TRUE(g_SoundMgr.PreloadSound("sounds\\mono.wav"));
    fs::remove(root_ / "sounds" / "mono.wav");
    EXPECT_NE(g_SoundMgr.CreateSound("SOUNDS\\MONO.WAV"), nullptr);
    g_SoundMgr.ClearSoundCache();
    EXPECT_EQ(g_SoundMgr.CreateSound("sounds\\mono.wav"), nullptr);
}

TEST_F(SoundMgrTest, NullRecordsAreIgnored) {
    const float p[3] = {0, 0, 0};
    g_SoundMgr.PlaySound(nullptr, true);
    g_SoundMgr.StopSound(nullptr);
    g_SoundMgr.DeleteSound(nullptr);
    EXPECT_FALSE(g_SoundMgr.IsSoundPlaying(nullptr));
    g_SoundMgr.SetSoundVolume(nullptr, 1);
    g_SoundMgr.SetSoundVolumeFactor(nullptr, 1);
    g_SoundMgr.SetSoundPan(nullptr, 1);
    g_SoundMgr.SetSoundPosition(nullptr, p);
    g_SoundMgr.SetSoundRange(nullptr, 1);
    g_SoundMgr.SetSoundMinDistance(nullptr, 1);
    g_SoundMgr.SetListenerPosition(nullptr);
    g_SoundMgr.SetListenerOrientation(nullptr, p);
    EXPECT_EQ(CountSounds(), 0);
}

TEST_F(SoundMgrTest, RecordsAreTracked) {
    g_bTrackAllocations = true;
    g_Debug.ClearAllocations();
    g_SoundMgr.CreateSound("sounds\\mono.wav");
    g_SoundMgr.CreateSound3D("sounds\\mono.wav");
    g_SoundMgr.PreloadSound("sounds\\mono.wav");
    EXPECT_EQ(g_Debug.GetAllocationCount("strSound"), 2u);
    EXPECT_EQ(g_Debug.GetAllocationCount("CSoundWave"), 1u); // only the cached one lives on
    EXPECT_EQ(g_Debug.GetAllocationCount("m_pReadedWaveData"), 1u);
    g_SoundMgr.DeleteAllSounds();
    g_SoundMgr.ClearSoundCache();
    EXPECT_EQ(g_Debug.GetAllocationCount("strSound"), 0u);
    EXPECT_EQ(g_Debug.GetAllocationCount("CSoundWave"), 0u);
    EXPECT_EQ(g_Debug.GetAllocationCount("m_pReadedWaveData"), 0u);
    g_bTrackAllocations = false;
    g_Debug.ClearAllocations();
}

TEST_F(SoundMgrTest, MusicRequestsAreCheckedAndLogged) {
    g_SoundMgr.Music_SetVolume(0.0625f);
    EXPECT_EQ(g_SoundMgr.m_fMusicVolume, 0.0625f);
    g_SoundMgr.Music_Play(nullptr, true);
    g_SoundMgr.Music_Play("music\\none.ogg", true);
    EXPECT_EQ(
        TakeLog(),
        " \nERROR in CSoundMgr::Music_Play(): Music file doesn't exist!\nMusic File: music\\none.ogg\n \n");
    // Not an Ogg stream: the music cannot be loaded.
    WriteFile(root_ / "music" / "bad.ogg", Wave16(1, 100));
    g_SoundMgr.Music_Play("music\\bad.ogg", false);
    EXPECT_EQ(TakeLog(),
              " \nERROR in rAddOggStreamToMusicStream(): Problems with Ogg file!\nmusic\\bad.ogg\n \n"
              " \nERROR in CSoundMgr::Music_Play(): loading failed...\nMusic File: music\\bad.ogg\n \n");
    EXPECT_EQ(g_SoundMgr.m_pMusicThread, nullptr);
    EXPECT_FALSE(g_SoundMgr.Music_IsPlaying());
    g_SoundMgr.Music_Pause();
    g_SoundMgr.Music_Resume();
    g_SoundMgr.Music_Stop();
}

// ---- Without a device, and on OpenAL's null back-end ------------------------------

class SoundMgrDeviceTest : public TempDataDir {
  protected:
    void SetUp() override {
        TempDataDir::SetUp();
        ResetWorld();
        WriteFile(root_ / "sounds" / "short.wav", Wave16(1, 2205)); // 50 ms
    }
    void TearDown() override {
        g_SoundMgr.Release();
        g_SoundMgr.SetBackend(audio::Backend::Auto);
        g_SoundMgr.m_pDS.reset();
        ResetWorld();
        TempDataDir::TearDown();
    }
};

TEST_F(SoundMgrDeviceTest, WithoutAnyDeviceTheGameRunsSilent) {
    g_SoundMgr.SetBackend(audio::Backend::None);
    EXPECT_FALSE(g_SoundMgr.Init());
    EXPECT_TRUE(Has(TakeLog(), "Sound Initialize Failed... (DirectSoundCreate8)"));
    EXPECT_EQ(g_SoundMgr.Device(), nullptr);
    EXPECT_EQ(g_SoundMgr.m_pDSListener, nullptr);
    const float p[3] = {0, 0, 0};
    EXPECT_EQ(g_SoundMgr.CreateSound("sounds\\short.wav"), nullptr);
    EXPECT_EQ(g_SoundMgr.StartSound3D("sounds\\short.wav", p, 640, true, true), nullptr);
    g_SoundMgr.PlaySoundOnce("sounds\\short.wav", 1, 0);
    EXPECT_TRUE(g_SoundMgr.PreloadSound("sounds\\short.wav"));
    g_SoundMgr.SetListenerPosition(p);
    g_SoundMgr.SetListenerOrientation(p, p);
    g_SoundMgr.CommitListener();
    g_SoundMgr.Update();
    g_SoundMgr.Music_Play("sounds\\short.wav", true);
    EXPECT_EQ(g_SoundMgr.FirstSound(), nullptr);
}

TEST_F(SoundMgrDeviceTest, RunsOnOpenAlsNullBackEnd) {
    g_SoundMgr.SetBackend(audio::Backend::OpenAl);
    ASSERT_TRUE(g_SoundMgr.Init());
    ASSERT_NE(g_SoundMgr.Device(), nullptr);
    EXPECT_FALSE(g_SoundMgr.Device()->IsSilent());
    const float p[3] = {10, 0, 0};
    g_SoundMgr.PlaySound3DOnce("sounds\\short.wav", p, 640);
    g_SoundMgr.PlaySoundOnce("sounds\\short.wav", 1, 0.5f);
    EXPECT_EQ(CountSounds(), 2);
    EXPECT_TRUE(WaitFor([] {
        g_SoundMgr.Update();
        return CountSounds() == 0;
    }));
}

// Child: OpenAL offers no device at all (an unknown driver is asked for).
TEST(SoundMgrChild, DISABLED_NoOutputDevice) {
    ASSERT_TRUE(audiotest::InChild());
    ResetWorld();
    const fs::path dir = std::getenv("ZT_SOUND_DIR");
    os::SetStartDirectory(dir.string());
    ASSERT_TRUE(g_SoundMgr.Init());
    ASSERT_TRUE(g_SoundMgr.Device()->IsSilent());
    g_SoundMgr.PlaySoundOnce("sounds\\short.wav", 1, 0);
    ASSERT_NE(g_SoundMgr.FirstSound(), nullptr);
    ASSERT_TRUE(WaitFor([] {
        g_SoundMgr.Update();
        return CountSounds() == 0;
    }));
    g_SoundMgr.Release();
    g_SoundMgr.m_pDS.reset();
}

TEST_F(SoundMgrDeviceTest, WithNoOutputDeviceSoundsStillKeepTheirTime) {
    ASSERT_EQ(audiotest::RunChild(
                  "SoundMgrChild.DISABLED_NoOutputDevice",
                  {"ALSOFT_DRIVERS=no_such_driver", "ZT_AUDIO_CHILD=1", "ZT_SOUND_DIR=" + root_.string()}),
              0);
    EXPECT_TRUE(Has(TakeLog(), "No audio output device: sounds play silently"));
}

// Child: a known wave played through the manager into OpenAL's wave writer.
TEST(SoundMgrChild, DISABLED_PlayIntoWaveFile) {
    ASSERT_TRUE(audiotest::InChild());
    ResetWorld();
    os::SetStartDirectory(std::getenv("ZT_SOUND_DIR"));
    g_SoundMgr.SetBackend(audio::Backend::OpenAl);
    ASSERT_TRUE(g_SoundMgr.Init());
    strSound* s = g_SoundMgr.CreateSound("sounds\\tone.wav");
    ASSERT_NE(s, nullptr);
    g_SoundMgr.PlaySound(s, false);
    ASSERT_TRUE(WaitFor([&] { return !g_SoundMgr.IsSoundPlaying(s); }));
    os::SleepMs(60);
    g_SoundMgr.Release();
    g_SoundMgr.m_pDS.reset(); // closing the device finishes the file
}

TEST_F(SoundMgrDeviceTest, KnownWavePlaysIntoTheOutput) {
    WriteFile(root_ / "sounds" / "tone.wav", Wave16(2, 44100 / 4, 8000));
    const fs::path out = root_ / "out.wav";
    auto env = audiotest::WaveBackendEnv(root_, out);
    env.push_back("ZT_SOUND_DIR=" + root_.string());
    ASSERT_EQ(audiotest::RunChild("SoundMgrChild.DISABLED_PlayIntoWaveFile", env), 0);
    audiotest::WaveOutput w = audiotest::ReadWaveOutput(out);
    ASSERT_EQ(w.channels, 2);
    // Volume 1.0 is 0 dB: the tone comes out at its own level on both sides.
    for (int ch = 0; ch < 2; ++ch) {
        EXPECT_NEAR(w.Peak(ch), 8000, 80) << ch;
        EXPECT_GT(w.CountAbove(ch, 4000), 44100u / 8) << ch;
    }
}

// ---- The demo data ------------------------------------------------------------------

class SoundDemoData : public TempDataDir {};

TEST_F(SoundDemoData, EveryDemoWaveLoadsAsTheKindItIsFor) {
    // A copy of the demo waves, so that nothing is written into data/.
    for (const char* folder : {"sounds", "voices"})
        fs::copy(fs::path(ZT_SOURCE_DIR) / "data" / folder, root_ / folder, fs::copy_options::recursive);
    ResetWorld();
    g_SoundMgr.SetBackend(audio::Backend::Silent);
    ASSERT_TRUE(g_SoundMgr.Init());
    int checked = 0;
    for (const char* folder : {"sounds", "voices", "voices\\Dialogues"}) {
        for (const os::DirEntry& e : os::ListDirectory(std::string(folder) + "\\*.wav")) {
            const std::string name = std::string(folder) + "\\" + e.name;
            CSoundWave wave;
            ASSERT_TRUE(wave.LoadWaveFromFile(name.c_str())) << name;
            strSound* s = wave.m_Format.channels == 1 ? g_SoundMgr.CreateSound3D(name.c_str())
                                                      : g_SoundMgr.CreateSound(name.c_str());
            EXPECT_NE(s, nullptr) << name;
            ++checked;
        }
    }
    EXPECT_GE(checked, 8);
    g_SoundMgr.Release();
    g_SoundMgr.SetBackend(audio::Backend::Auto);
}
