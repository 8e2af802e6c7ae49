// A world change heard through OpenAL's wave back-end: the demo world runs
// in this process, frame by frame in real time (the engine frame, the game
// frame, the camera's placement and the main loop's start of a pending
// world), until the music director has chosen its loop for the guard the
// camera ride brings and played it a while; then the world is started again.
// The director's action music stops with the change and the new world is
// silent until its own director chooses again (not before its level frame
// 280). OpenAL reads its configuration once per process, so the run is a
// child copy of this executable (tests/platform/AudioChild.h).
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "actors/player/Player.h"
#include "app/FocusMgr.h"
#include "app/Options.h"
#include "app/Timer.h"
#include "game/MainGame.h"
#include "platform/os/Os.h"
#include "render/MeshMgr.h"
#include "render/MeshSocketsMgr.h"
#include "sound/MusicDirector.h"
#include "sound/SoundMgr.h"
#include "tests/platform/AudioChild.h"
#include "world/Engine.h"

namespace fs = std::filesystem;

namespace {

constexpr int kRate = 44100;
constexpr int kBlock = kRate / 10;
constexpr double kMusicHz = 74.0; // the dark loop's drone

double Seconds(uint64_t from) {
    return double(os::PerformanceCounter() - from) / double(os::PerformanceFrequency());
}

// One pass of the main loop without drawing (which would take about as long
// as this pause); false when no frame was due.
bool IdleFrame() {
    os::SleepMs(15);
    if (!g_Engine.EngineFrameTiming()) return false;
    g_Engine.EngineFrame();
    g_MainGame.Update();
    g_Engine.PrepareCamera();
    if (g_Engine.m_WorldToStart[0]) {
        const std::string name = g_Engine.m_WorldToStart;
        g_Engine.StartWorld(name.c_str());
    }
    return true;
}

} // namespace

// Child: plays the demo world on the wave back-end and writes, beside the
// capture, the second of the capture at which the world changed.
TEST(HearWorldChangeChild, DISABLED_ChangeTheWorldWhileTheDirectorsMusicPlays) {
    ASSERT_TRUE(audiotest::InChild());
    const fs::path dir = std::getenv("ZT_SOUND_DIR");
    os::SetStartDirectory(dir.string());
    g_Engine.m_fLastTime = DXUtilTimer(TIMER_GETABSOLUTETIME);
    g_Engine.m_bInitialized = 1;
    g_FocusMgr.m_bOnFocus = true;
    sound = true;
    g_Player.m_vPosition = {};
    ASSERT_EQ(g_MeshSocketsMgr.LoadAll(), 4u); // the demo data's socket files
    g_SoundMgr.SetBackend(audio::Backend::OpenAl);
    ASSERT_TRUE(g_SoundMgr.Init());
    const uint64_t opened = os::PerformanceCounter();
    ASSERT_TRUE(g_Engine.StartWorld("worlds\\test.w"));

    // The bounds only keep a broken run from hanging the test.
    while (!(g_MusicDirector.m_bActionLoop && g_SoundMgr.Music_IsPlaying()) && Seconds(opened) < 60)
        IdleFrame();
    ASSERT_TRUE(g_MusicDirector.m_bActionLoop && g_SoundMgr.Music_IsPlaying());
    const double chosen = Seconds(opened);
    while (Seconds(opened) < chosen + 3)
        IdleFrame();
    const double change = Seconds(opened);
    g_Engine.SetWorldToStart("worlds\\test.w");
    while (g_Engine.m_WorldToStart[0])
        IdleFrame();
    while (Seconds(opened) < change + 3)
        IdleFrame();
    ASSERT_LT(g_MainGame.m_iLevelFrame, 280) << "the new world's director may have chosen again";

    g_Engine.StartWorld("*");
    g_SoundMgr.Release();
    g_SoundMgr.m_pDS.reset(); // closes the device: the capture is complete
    g_MeshMgr.ReleaseAll();
    std::ofstream(dir / "change.txt") << change << '\n';
}

TEST(HearWorldChange, TheDirectorsMusicStopsWithTheWorld) {
    const fs::path dir = fs::temp_directory_path() / ("zt_hear_change_" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::copy(fs::path(ZT_SOURCE_DIR) / "data", dir, fs::copy_options::recursive);
    const fs::path out = dir / "out.wav";
    auto env = audiotest::WaveBackendEnv(dir, out);
    env.push_back("ZT_SOUND_DIR=" + dir.string());
    ASSERT_EQ(
        audiotest::RunChild("HearWorldChangeChild.DISABLED_ChangeTheWorldWhileTheDirectorsMusicPlays", env),
        0);
    double change = 0;
    std::ifstream(dir / "change.txt") >> change;
    const audiotest::WaveOutput w = audiotest::ReadWaveOutput(out);
    fs::remove_all(dir);
    ASSERT_EQ(w.channels, 2);
    ASSERT_GT(change, 2.0);
    const std::vector<double> music = audiotest::BandLevels(w, kMusicHz, kRate, kBlock);
    const size_t at = size_t(change * 10);
    ASSERT_GE(music.size(), at + 25);

    std::ostringstream table;
    for (size_t b = at - 20; b < music.size(); ++b)
        table << double(b) / 10 << " s: " << music[b] << " dB\n";
    // Playing up to the change, silent from half a second after it (the
    // output runs a little behind the game) to the end.
    size_t quietBefore = 0, loudAfter = 0;
    for (size_t b = at - 20; b < at - 3; ++b)
        quietBefore += music[b] <= -35.0;
    for (size_t b = at + 5; b < music.size(); ++b)
        loudAfter += music[b] >= -60.0;
    EXPECT_EQ(quietBefore, 0u) << "change at " << change << " s\n" << table.str();
    EXPECT_EQ(loudAfter, 0u) << "change at " << change << " s\n" << table.str();
}
