// Starting and closing worlds: the hooks in their order, the empty world,
// names that do not fit, and the screenshot file names.
#include <gtest/gtest.h>

#include <cstring>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "WorldFixture.h"
#include "actors/PostacMgr.h"
#include "app/CommandMgr.h"
#include "game/InputFileRecord.h"
#include "game/MainGame.h"
#include "render/PostProcess.h"
#include "sound/MusicDirector.h"
#include "sound/SoundMgr.h"
#include "world/BezierMgr.h"
#include "world/Camera.h"
#include "world/Engine.h"
#include "world/VisBlockers.h"

namespace {

std::vector<std::string> g_Trace;
void Record(const char* step) {
    g_Trace.push_back(step);
}

const std::vector<std::string> kEndWorld = {
    "PostProcess.Release",
    "RadioMgr.Clear",
    "PaneCrashMgr.Release",
    "PlantMgr.Release",
    "ViewLines.Release",
    "AmbientProbe.Destroy",
    "RenderOccluder.Destroy",
    "ScreenOverlay.Clear",
    "Keyboard.Release",
    "SkyObject.Delete",
    "ForcedLook.End",
    "Panel.StartCutFade",
    "CameraPlaced.Clear",
    "MainGame.Destroy",
    "Light0.Disable",
    "DeleteWorldObjects",
    "SpriteMgr.ReleaseAll",
    "Console.ReleaseBar",
    "BezierMgr.FreeAll",
    "VisBlockers.Clear",
    "EngineObject.OnWorldClose",
    "LaserMgr.Release",
    "Console.Close",
    "Renderer.EndWorld",
    "SoundMgr.DeleteAllSounds",
    "SoundMgr.ClearSoundCache",
    "AutoMap.Release",
    "DepthRender.Destroy",
    "RigidBodySimulation.Destroy",
    "Camera.StopShakes",
};
const std::vector<std::string> kOpenWorld = {
    "WorldTime.Stop",     "Camera.StopShakes",        "RigidBodySimulation.Reset",
    "ApplyPendingTies",   "ViewLines.Create",         "DepthRender.Init",
    "AutoMap.Create",     "RenderOccluder.Init",      "AmbientProbe.Init",
    "Renderer.InitWorld", "EngineObject.OnWorldOpen", "SpriteMgr.Init",
    "PlantMgr.Reset",     "Console.CreateBar",        "LoadRadios",
    "WorldTime.Reset",    "FrameNumber.Reset",        "LaserMgr.Init",
    "MainGame.Init",      "Keyboard.Create",          "VideoMemory.Query",
    "ScreenOverlay.Init", "PaneCrashMgr.Release",     "PostProcess.Create",
    "DeleteNotImportant",
};

std::vector<std::string> Concat(std::initializer_list<std::vector<std::string>> parts) {
    std::vector<std::string> all;
    for (const auto& p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

} // namespace

class WorldStartTest : public WorldTest {
  protected:
    void SetUp() override {
        WorldTest::SetUp();
        std::filesystem::create_directories(dir_ / "worlds");
        g_Trace.clear();
        g_Engine.m_pfnHookTrace = Record;
    }
    void TearDown() override {
        g_Engine.m_pfnHookTrace = nullptr;
        g_Engine.m_WorldToStart[0] = 0;
        g_Engine.m_szCurrentWorld[0] = 0;
        g_Engine.m_bStartingWorld = 0;
        g_BezierMgr.FreeAll();
        WorldTest::TearDown();
    }
    void WriteWorld(const char* name, const std::string& text) {
        std::ofstream(dir_ / "worlds" / name, std::ios::binary) << text;
    }
};

TEST_F(WorldStartTest, AWorldChangeRunsEveryCloseHookThenEveryOpenHookInOrder) {
    WriteWorld("a.w", "mesh models\\box.x\n\tname crate\n");
    ASSERT_TRUE(g_Engine.StartWorld("worlds\\a.w"));
    EXPECT_EQ(g_Trace, Concat({{"ReleaseResources", "BeginLoading", "LoadWorld", "OpenWorld"}, kOpenWorld}));
    EXPECT_TRUE(g_Engine.m_bWorldLoaded);
    EXPECT_STREQ(g_Engine.m_szCurrentWorld, "worlds\\a.w");
    EXPECT_TRUE(g_Engine.FindObjectByName("crate"));

    g_Trace.clear();
    ASSERT_TRUE(g_Engine.StartWorld("worlds\\a.w"));
    EXPECT_EQ(g_Trace, Concat({{"EndWorld"},
                               kEndWorld,
                               {"ReleaseResources", "BeginLoading", "LoadWorld", "OpenWorld"},
                               kOpenWorld}));
    EXPECT_EQ(g_Engine.m_bStartingWorld, 0);
    EXPECT_EQ(g_Engine.m_dwFrameNumber, 0u);
}

TEST_F(WorldStartTest, AStarStartsAnEmptyWorldWithoutReadingAFile) {
    WriteWorld("a.w", "mesh models\\box.x\n\tname crate\n");
    ASSERT_TRUE(g_Engine.StartWorld("worlds\\a.w"));
    g_Trace.clear();
    MarkConsole();
    Debug = 1;
    EXPECT_TRUE(g_Engine.StartWorld("*empty"));
    EXPECT_TRUE(Printed("StartWorld *empty"));
    EXPECT_EQ(
        g_Trace,
        Concat({{"EndWorld"}, kEndWorld, {"ReleaseResources", "BeginLoading", "OpenWorld"}, kOpenWorld}));
    EXPECT_FALSE(g_Engine.FindObjectByName("crate"));
    EXPECT_EQ(g_Engine.m_szCurrentWorld[0], 0);
    EXPECT_EQ(g_Engine.m_bWorldLoaded, 0);
    EXPECT_EQ(g_Engine.m_bWorldRunning, 1);
}

// The empty world's open makes objects of its own (the game's camera box); a
// start after it closes that world before the meshes are released, so no
// object is left holding a released mesh and starts do not pile them up.
TEST_F(WorldStartTest, AStartAfterAnEmptyWorldClosesItFirst) {
    WriteWorld("a.w", "mesh models\\box.x\n\tname crate\n");
    ASSERT_TRUE(g_Engine.StartWorld("*"));
    auto used = [] {
        int n = 0;
        g_Engine.ForEachSlotBelowHighWater([&](int slot) { n += g_Engine.Object(slot)->bUsed; });
        return n;
    };
    const int afterEmpty = used();
    g_Trace.clear();
    ASSERT_TRUE(g_Engine.StartWorld("*"));
    EXPECT_EQ(g_Trace.front(), "EndWorld");
    EXPECT_EQ(used(), afterEmpty);
    g_Trace.clear();
    ASSERT_TRUE(g_Engine.StartWorld("worlds\\a.w"));
    EXPECT_EQ(g_Trace.front(), "EndWorld");
    EXPECT_EQ(g_Engine.m_bEmptyWorldOpen, 0);
    g_Trace.clear();
    ASSERT_TRUE(g_Engine.StartWorld("worlds\\a.w"));
    EXPECT_EQ(g_Trace.front(), "EndWorld");
}

// A world's own background colour outlives the world start: the console's
// fog rows, re-applied after the load, set fog set 0 again but leave the
// clear colour that a later "background_color" line gave.
TEST_F(WorldStartTest, TheWorldsBackgroundColourSurvivesTheConsoleRowsAppliedAtItsStart) {
    struct Case {
        const char* name;
        const char* text;
        uint32_t background;
    } cases[] = {
        {"background after fog", "fog0 16711680 5000 10\nbackground_color 65280\n", 0x00FF00},
        {"fog only", "fog0 16711680 5000 10\n", 0xFF0000},
        {"fog after background", "background_color 65280\nfog0 255 5000 10\n", 0x0000FF},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteWorld("a.w", c.text);
        ASSERT_TRUE(g_Engine.StartWorld("worlds\\a.w"));
        EXPECT_EQ(g_Camera.GetBackgroundColor() & 0xFFFFFF, c.background);
    }
}

TEST_F(WorldStartTest, AFailedLoadLeavesNoWorld) {
    WriteWorld("a.w", "mesh models\\box.x\n\tname crate\n");
    ASSERT_TRUE(g_Engine.StartWorld("worlds\\a.w"));
    EXPECT_FALSE(g_Engine.StartWorld("worlds\\missing.w"));
    EXPECT_EQ(g_Engine.m_bWorldLoaded, 0);
    EXPECT_EQ(g_Engine.m_bStartingWorld, 0);
    EXPECT_FALSE(g_Engine.FindObjectByName("crate"));
}

TEST_F(WorldStartTest, ANameThatDoesNotFitIsRefusedAndTheWorldRuns) {
    WriteWorld("a.w", "mesh models\\box.x\n\tname crate\n");
    ASSERT_TRUE(g_Engine.StartWorld("worlds\\a.w"));
    for (size_t length : {size_t(128), size_t(300)}) {
        const std::string name = "*" + std::string(length - 1, 'x');
        g_Trace.clear();
        std::snprintf(g_Engine.m_WorldToStart, sizeof g_Engine.m_WorldToStart, "%s", "pending");
        MarkConsole();
        EXPECT_FALSE(g_Engine.StartWorld(name.c_str())) << length;
        EXPECT_TRUE(Printed("!!! 1"));
        EXPECT_TRUE(g_Trace.empty());
        EXPECT_STREQ(g_Engine.m_szCurrentWorld, "worlds\\a.w");
        EXPECT_TRUE(g_Engine.FindObjectByName("crate"));
        EXPECT_EQ(g_Engine.m_WorldToStart[0], 0);
    }
    const std::string fits = "*" + std::string(126, 'x');
    EXPECT_TRUE(g_Engine.StartWorld(fits.c_str()));

    // A request that does not fit is refused as well, and nothing is pending.
    const std::string tooLong(128, 'y');
    MarkConsole();
    g_Engine.m_bStartingWorld = 0;
    g_Engine.SetWorldToStart(tooLong.c_str());
    EXPECT_TRUE(Printed("!!! 1"));
    EXPECT_EQ(g_Engine.m_WorldToStart[0], 0);
    EXPECT_EQ(g_Engine.m_bStartingWorld, 0);
    g_Engine.SetWorldToStart(fits.c_str());
    EXPECT_STREQ(g_Engine.m_WorldToStart, fits.c_str());
}

TEST_F(WorldStartTest, WorldCloseFreesPathsAndBlockers) {
    WriteWorld("p.w", "mesh models\\box.x\n\tname crate\n");
    std::ofstream(dir_ / "worlds" / "p.bzr") << "bezier_node a\nnr 1\npos 0 0 0\n";
    ASSERT_TRUE(g_Engine.StartWorld("worlds\\p.w"));
    EXPECT_TRUE(g_BezierMgr.FindNode("a"));
    ObjectRecord* h = g_Engine.FindObjectByName("crate");
    ASSERT_TRUE(h);
    g_VisBlockers.AddBlocker(h);
    g_Engine.EndWorld();
    EXPECT_FALSE(g_BezierMgr.FindNode("a"));
    EXPECT_EQ(g_VisBlockers.Count(), 0);
}

TEST_F(WorldStartTest, ScreenshotsTakeTheFirstFreeNameAndReuseTheLast) {
    namespace fs = std::filesystem;
    auto touch = [&](int n) {
        char name[32];
        std::snprintf(name, sizeof name, "zt_screen%04d.bmp", n);
        std::ofstream(dir_ / name) << "x";
    };
    char name[32];
    EEngine::ScreenshotFileName(name, sizeof name);
    EXPECT_STREQ(name, "zt_screen0000.bmp");
    touch(0);
    touch(1);
    touch(3);
    EEngine::ScreenshotFileName(name, sizeof name);
    EXPECT_STREQ(name, "zt_screen0002.bmp");
    for (int n = 0; n < 1000; ++n)
        touch(n);
    EEngine::ScreenshotFileName(name, sizeof name);
    EXPECT_STREQ(name, "zt_screen0999.bmp");
}

// A world change stops the level's music, the director's action music too
// (which a plain request leaves playing), and gives the game's input record a
// fresh start.
TEST_F(WorldStartTest, AWorldChangeStopsTheDirectorsMusicAndResetsTheInputRecord) {
    WriteWorld("a.w", "mesh models\\box.x\n\tname crate\n");
    std::filesystem::create_directories(dir_ / "music");
    std::filesystem::copy_file(std::filesystem::path(ZT_SOURCE_DIR) / "data" / "music" / "dark1_loop.ogg",
                               dir_ / "music" / "dark1_loop.ogg");
    const bool musicWas = MusicEnabled;
    MusicEnabled = true;
    g_SoundMgr.SetBackend(audio::Backend::Silent);
    ASSERT_TRUE(g_SoundMgr.Init());
    // The director's own choice: a looping action loop.
    g_MusicDirector.PlayMusic("music\\dark1_loop.ogg", true, true);
    g_MusicDirector.m_bActionLoop = 1;
    ASSERT_TRUE(g_SoundMgr.Music_IsPlaying());
    g_InputFileRecord.m_dwIndex = 7;
    g_InputFileRecord.m_dwHits = 3;

    ASSERT_TRUE(g_Engine.StartWorld("worlds\\a.w"));
    EXPECT_FALSE(g_SoundMgr.Music_IsPlaying());
    EXPECT_EQ(g_SoundMgr.m_pMusicThread, nullptr);
    EXPECT_STREQ(g_MusicDirector.m_szCurrentFile, "");
    EXPECT_EQ(g_MusicDirector.m_bPlaying, 0);
    EXPECT_EQ(g_InputFileRecord.m_dwIndex, InputFileRecord::INDEX_AFTER_RESET);
    EXPECT_EQ(g_InputFileRecord.m_dwHits, 0u);
    EXPECT_EQ(g_MainGame.m_szMusic[0], 0);

    // A second change, from a world whose director chose its music in the
    // same way, stops it as well.
    g_MusicDirector.PlayMusic("music\\dark1_loop.ogg", true, true);
    g_MusicDirector.m_bActionLoop = 1;
    ASSERT_TRUE(g_SoundMgr.Music_IsPlaying());
    ASSERT_TRUE(g_Engine.StartWorld("worlds\\a.w"));
    EXPECT_FALSE(g_SoundMgr.Music_IsPlaying());
    EXPECT_EQ(g_SoundMgr.m_pMusicThread, nullptr);

    g_SoundMgr.Release();
    g_SoundMgr.SetBackend(audio::Backend::Auto);
    MusicEnabled = musicWas;
}

// The characters of a world go with it: a guard left in its slot would stand
// beside the player of the next world, and that world's director would play
// its action music for him once its level reached frame 280.
TEST_F(WorldStartTest, AWorldChangeTakesTheOldWorldsCharactersAway) {
    WriteWorld("a.w", "mesh models\\box.x\n\tname crate\n");
    ASSERT_TRUE(g_Engine.StartWorld("worlds\\a.w"));
    ASSERT_TRUE(g_PostacMgr.RespawnCharacter("guard", {0, 0, 0}, orientation(), "", nullptr));
    strpostac* dead = g_PostacMgr.RespawnCharacter("sentry", {0, 0, 0}, orientation(), "", nullptr);
    ASSERT_TRUE(dead);
    dead->bDead = true;
    ASSERT_EQ(g_MusicDirector.CountNearbyEnemies(6000.0f, nullptr), -1);

    ASSERT_TRUE(g_Engine.StartWorld("worlds\\a.w"));
    for (const strpostac& p : g_PostacMgr.m_Postacie)
        EXPECT_FALSE(p.bUsed);
    EXPECT_EQ(g_MusicDirector.CountNearbyEnemies(6000.0f, nullptr), 0);
}
