// The demo world run in this process, frame by frame (the engine frame, the
// game frame and the camera's placement of the frame driver) on the silent
// audio back-end: the sound manager's update at the end of each game frame
// makes the 3D sounds started in the world's first frames audible from the
// 210th, keeps the machine's hum at the loudness of the riding camera's
// distance, and clears the trigger zone's chime the frame after it ends.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "platform/math/Math.h"
#include "sound/SoundMgr.h"
#include "tests/integration/InProcessWorld.h"
#include "world/ObjectRecord.h"

namespace {

constexpr const char* kChime = "sounds\\zone_chime.wav";
constexpr const char* kHum = "sounds\\machine_hum.wav";

strSound* Find(const char* file) {
    for (strSound* s = g_SoundMgr.FirstSound(); s; s = s->pNext)
        if (std::strcmp(s->szName, file) == 0) return s;
    return nullptr;
}

bool Listed(const strSound* sound) {
    for (strSound* s = g_SoundMgr.FirstSound(); s; s = s->pNext)
        if (s == sound) return true;
    return false;
}

int32_t VoiceVolume(strSound* s) {
    int32_t v = 1;
    s->pBuffer->GetVolume(&v);
    return v;
}

class SoundFrame : public InProcessWorld {
  protected:
    void SetUp() override {
        InProcessWorld::SetUp();
        sound = true;
        g_SoundMgr.SetBackend(audio::Backend::Silent);
        ASSERT_TRUE(g_SoundMgr.Init());
    }
    void TearDown() override {
        g_Engine.StartWorld("*");
        g_SoundMgr.Release();
        g_SoundMgr.SetBackend(audio::Backend::Auto);
        InProcessWorld::TearDown();
    }

    // One frame; the clock moves by a frame at 30 a second unless told otherwise.
    static void RunFrame(uint64_t microseconds = 1000000 / 30) {
        stepclock::g_Microseconds += microseconds;
        ASSERT_TRUE(g_Engine.EngineFrameTiming());
        ASSERT_TRUE(g_Engine.EngineFrame());
        g_MainGame.Update();
        g_Engine.PrepareCamera();
    }
    static void RunFrames(int n) {
        for (int i = 0; i < n; ++i)
            RunFrame();
    }

};

TEST_F(SoundFrame, SoundsOfTheWorldsStartAreHeardFollowTheListenerAndEndWithTheirFrame) {
    ASSERT_TRUE(g_Engine.StartWorld("worlds\\test.w"));
    ObjectRecord* machine = g_Engine.FindObjectByName("machine");
    ASSERT_TRUE(machine);

    // Level frame 205: the machine's hum (from 200) and the chime of the
    // ride's trigger zone (203) play, held silent.
    while (g_MainGame.m_iLevelFrame < 205)
        RunFrame();
    strSound* chime = Find(kChime);
    strSound* hum = Find(kHum);
    ASSERT_TRUE(chime && hum);
    EXPECT_EQ(VoiceVolume(chime), -10000);
    EXPECT_EQ(VoiceVolume(hum), -10000);

    // From 210 they are heard; the hum as loud as the distance of the riding
    // camera gives, frame after frame.
    while (g_MainGame.m_iLevelFrame < 210)
        RunFrame();
    EXPECT_GT(VoiceVolume(chime), -10000);

    // The chime (1.5 s, played by the clock) leaves the list with the first
    // frame after it ends, though no other sound is made meanwhile: the world
    // moves on by 2 ms a frame while it plays.
    while (Listed(chime) && g_SoundMgr.IsSoundPlaying(chime)) {
        os::SleepMs(20);
        RunFrame(2000);
    }
    if (Listed(chime)) {
        RunFrame(2000);
        EXPECT_FALSE(Listed(chime));
    }

    int32_t quietest = 0, loudest = -10000;
    for (int i = 0; i < 150; ++i) {
        RunFrame();
        const float distance = math::Vec3Length(g_SoundMgr.m_vListenerPosition - machine->vPosition);
        const int32_t expected = CSoundMgr::LoudnessToHundredthsDb(
            g_SoundMgr.m_fMasterVolume * CSoundMgr::DistanceLoudness(distance, 600.0f));
        ASSERT_EQ(VoiceVolume(hum), expected)
            << "frame " << g_MainGame.m_iLevelFrame << ", distance " << distance;
        quietest = std::min(quietest, expected);
        loudest = std::max(loudest, expected);
    }
    EXPECT_GT(loudest - quietest, 2000) << "the ride comes near the machine";
}

} // namespace
