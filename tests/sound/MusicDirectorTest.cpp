// The music director: counting the characters near the player, the rules of
// PlayMusic, and its state machine over scripted sequences of game frames,
// with the real sound manager and music thread on the silent back-end.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "actors/PostacMgr.h"
#include "app/CommandMgr.h"
#include "app/Options.h"
#include "game/GameAI.h"
#include "game/MainGame.h"
#include "game/Panel.h"
#include "platform/os/Os.h"
#include "sound/MusicDirector.h"
#include "sound/MusicStream.h"
#include "sound/MusicThread.h"
#include "sound/SoundMgr.h"
#include "tests/sound/SoundTestUtil.h"
#include "world/Engine.h"
#include "world/ObjectRecord.h"

using namespace soundtest;

namespace {

constexpr const char* kGong = "music\\gong_02.ogg";
constexpr const char* kDark = "music\\dark1_loop.ogg";
constexpr const char* kLevel01 = "music\\loop\\loopAction04.ogg";
constexpr const char* kAlarm = "music\\loop\\loopAction03.ogg";

enum Near { kNobody, kUnnoticed, kAlerted, kAlarmed };

void ClearCharacters() {
    for (strpostac& p : g_PostacMgr.m_Postacie)
        p = strpostac{};
}

strpostac& Character(int slot, float distance, bool alerted = false, bool alarm = false) {
    strpostac& p = g_PostacMgr.m_Postacie[slot];
    p = strpostac{};
    p.bUsed = true;
    std::snprintf(p.szName, sizeof p.szName, "enemy%d", slot);
    p.fDistanceToPlayer = distance;
    p.bAlerted = alerted;
    p.bAlarm = alarm;
    return p;
}

void SetNear(Near n) {
    ClearCharacters();
    if (n != kNobody) Character(7, 1000.0f, n != kUnnoticed, n == kAlarmed);
}

bool StreamLoops() {
    CMusicThread* t = g_SoundMgr.m_pMusicThread;
    return t && t->Stream() && t->Stream()->bLoop;
}

} // namespace

class MusicDirectorTest : public TempDataDir {
  protected:
    void SetUp() override {
        TempDataDir::SetUp();
        const fs::path demo = fs::path(ZT_SOURCE_DIR) / "data" / "music";
        fs::create_directories(root_ / "music" / "loop");
        fs::copy(demo / "gong_02.ogg", root_ / "music" / "gong_02.ogg");
        fs::copy(demo / "dark1_loop.ogg", root_ / "music" / "dark1_loop.ogg");
        for (int i = 2; i <= 5; ++i)
            fs::copy(demo / "loop" / "loopAction03.ogg",
                     root_ / "music" / "loop" / ("loopAction0" + std::to_string(i) + ".ogg"),
                     fs::copy_options::overwrite_existing);
        sound = true;
        WideScreen = false;
        g_Panel.m_bSoftLetterbox = false;
        IntroWorldRunning = false;
        g_Engine.m_bFastForward = 0;
        g_Engine.m_fFrameTime = 0.25f;
        std::strcpy(g_Engine.m_szCurrentWorld, "worlds\\LEVEL_01.w");
        g_MainGame.m_iLevelFrame = 1000;
        MusicEnabled = true;
        MusicVolume = 1.0f;
        SoundVolume = 1.0f;
        ClearCharacters();
        g_GameAI.ResetVariables();
        g_SoundMgr.SetBackend(audio::Backend::Silent);
        ASSERT_TRUE(g_SoundMgr.Init());
        g_MusicDirector.Init();
    }
    void TearDown() override {
        g_MusicDirector.Init();
        g_SoundMgr.Release();
        g_SoundMgr.SetBackend(audio::Backend::Auto);
        ClearCharacters();
        g_GameAI.ResetVariables();
        g_Engine.m_szCurrentWorld[0] = 0;
        g_Engine.m_fFrameTime = 0;
        g_MainGame.m_iLevelFrame = 0;
        SetControlOptionDefaults();
        sound = true;
        TempDataDir::TearDown();
    }
    // Runs frames until the director starts action music; the file, or "".
    std::string RunUntilActionMusic(int maxFrames = 20) {
        for (int i = 0; i < maxFrames && !g_MusicDirector.m_bActionLoop; ++i)
            g_MusicDirector.Update();
        return g_MusicDirector.m_bActionLoop ? g_MusicDirector.m_szCurrentFile : "";
    }
    void Set(const char* variable) { g_GameAI.SetVariable(variable, nullptr); }
};

// ---- Counting ---------------------------------------------------------------------

TEST_F(MusicDirectorTest, CountingTheCharactersNearThePlayer) {
    ObjectRecord marked, unmarked;
    marked.bMarker = 1;
    struct Case {
        const char* what;
        void (*setup)(ObjectRecord* marked, ObjectRecord* unmarked);
        int result, count;
    } cases[] = {
        {"nobody", [](ObjectRecord*, ObjectRecord*) {}, 0, 0},
        {"one near, unnoticed", [](ObjectRecord*, ObjectRecord*) { Character(0, 100); }, -1, 1},
        {"one near, alerted", [](ObjectRecord*, ObjectRecord*) { Character(0, 100, true); }, 1, 1},
        {"alerted and unnoticed",
         [](ObjectRecord*, ObjectRecord*) {
             Character(0, 100, true);
             Character(5, 200);
         },
         1, 2},
        {"alarm",
         [](ObjectRecord*, ObjectRecord*) {
             Character(0, 100, true);
             Character(9, 100, false, true);
         },
         2, 2},
        {"alarm, nobody alerted", [](ObjectRecord*, ObjectRecord*) { Character(0, 100, false, true); }, -1,
         1},
        {"exactly at the range", [](ObjectRecord*, ObjectRecord*) { Character(255, 6000, true); }, 1, 1},
        {"beyond the range", [](ObjectRecord*, ObjectRecord*) { Character(1, 6000.5f, true); }, 0, 0},
        {"dead", [](ObjectRecord*, ObjectRecord*) { Character(1, 10, true).bDead = true; }, 0, 0},
        {"removed", [](ObjectRecord*, ObjectRecord*) { Character(1, 10, true).bRemoved = 1; }, 0, 0},
        {"suspended", [](ObjectRecord*, ObjectRecord*) { Character(1, 10, true).bSuspended = 1; }, 0, 0},
        {"to be deleted", [](ObjectRecord*, ObjectRecord*) { Character(1, 10, true).bDeleteRequested = 1; },
         0, 0},
        {"slot not in use", [](ObjectRecord*, ObjectRecord*) { Character(1, 10, true).bUsed = false; }, 0, 0},
        {"the fake hero does not count",
         [](ObjectRecord*, ObjectRecord*) { std::strcpy(Character(1, 10).szName, "FAKE_hero"); }, 0, 0},
        {"but his alert counts",
         [](ObjectRecord*, ObjectRecord*) {
             std::strcpy(Character(1, 10, true).szName, "fake_hero");
             Character(2, 10);
         },
         1, 1},
        {"a marked linked object",
         [](ObjectRecord* m, ObjectRecord*) { Character(1, 10, true).hLinkedObject = m; }, 0, 0},
        {"an unmarked linked object",
         [](ObjectRecord*, ObjectRecord* u) { Character(1, 10, true).hLinkedObject = u; }, 1, 1},
    };
    for (const Case& c : cases) {
        ClearCharacters();
        c.setup(&marked, &unmarked);
        int count = -7;
        EXPECT_EQ(g_MusicDirector.CountNearbyEnemies(6000.0f, &count), c.result) << c.what;
        EXPECT_EQ(count, c.count) << c.what;
        EXPECT_EQ(g_MusicDirector.CountNearbyEnemies(6000.0f, nullptr), c.result) << c.what;
    }
}

TEST_F(MusicDirectorTest, NobodyCountsInTheIntroOrInWideScreen) {
    struct Case {
        bool intro, wideScreen, letterbox;
        int result;
    } cases[] = {
        {false, false, false, 1}, {true, false, false, 0}, {false, true, false, 0}, {false, false, true, 0}};
    Character(3, 10, true);
    for (const Case& c : cases) {
        IntroWorldRunning = c.intro;
        WideScreen = c.wideScreen;
        g_Panel.m_bSoftLetterbox = c.letterbox;
        EXPECT_EQ(g_MusicDirector.CountNearbyEnemies(6000.0f, nullptr), c.result)
            << c.intro << c.wideScreen << c.letterbox;
    }
}

// ---- PlayMusic ----------------------------------------------------------------------

TEST_F(MusicDirectorTest, PlayMusicStartsOnlyWhatCanPlay) {
    WriteFile(root_ / "abc", Bytes{1}); // exists, but a name of 3 characters
    struct Case {
        const char* what;
        const char* file;
        bool musicOption;
        bool starts;
    } cases[] = {
        {"a music file", kGong, true, true},
        {"no name", nullptr, true, false},
        {"an empty name", "", true, false},
        {"a missing file", "music\\none.ogg", true, false},
        {"a name under 4 characters", "abc", true, false},
        {"music option off", kGong, false, false},
    };
    for (const Case& c : cases) {
        g_MusicDirector.PlayMusic(kDark, true, true); // something to stop
        ASSERT_TRUE(g_SoundMgr.Music_IsPlaying()) << c.what;
        MusicEnabled = c.musicOption;
        g_MusicDirector.PlayMusic(c.file, false, false);
        EXPECT_EQ(g_MusicDirector.m_bPlaying != 0, c.starts) << c.what;
        EXPECT_EQ(g_SoundMgr.Music_IsPlaying(), c.starts) << c.what;
        EXPECT_EQ(std::string(g_MusicDirector.m_szCurrentFile), c.starts ? c.file : "") << c.what;
        EXPECT_FALSE(g_MusicDirector.m_bActionLoop) << c.what;
        MusicEnabled = true;
    }
    // The loop flag is kept with the file and reaches the stream.
    g_MusicDirector.PlayMusic(kDark, true, false);
    EXPECT_TRUE(g_MusicDirector.m_bLoop);
    EXPECT_TRUE(StreamLoops());
    g_MusicDirector.PlayMusic(kGong, false, false);
    EXPECT_FALSE(g_MusicDirector.m_bLoop);
    EXPECT_FALSE(StreamLoops());
}

TEST_F(MusicDirectorTest, ActionMusicGivesWayOnlyToForceOrToTheForbidVariable) {
    struct Case {
        const char* what;
        bool force, forbid;
        bool replaced;
    } cases[] = {
        {"plain request", false, false, false},
        {"forced request", true, false, true},
        {"zabron_muzyke set", false, true, true},
    };
    for (const Case& c : cases) {
        g_GameAI.ResetVariables();
        g_MusicDirector.Init();
        SetNear(kAlerted);
        ASSERT_EQ(RunUntilActionMusic(), kLevel01) << c.what;
        if (c.forbid) Set("zabron_muzyke");
        g_MusicDirector.PlayMusic(kGong, false, c.force);
        EXPECT_EQ(std::string(g_MusicDirector.m_szCurrentFile), c.replaced ? kGong : kLevel01) << c.what;
        EXPECT_EQ(g_MusicDirector.m_bActionLoop != 0, !c.replaced) << c.what;
        EXPECT_TRUE(g_SoundMgr.Music_IsPlaying()) << c.what;
    }
}

// ---- The state machine ------------------------------------------------------------------

TEST_F(MusicDirectorTest, ASequenceOfFrames) {
    std::strcpy(g_Engine.m_szCurrentWorld, "worlds\\level_01.w");
    struct Frame {
        const char* what;
        int32_t levelFrame;
        float dt;
        Near near;
        bool musicEnds; // the music found finished before this frame
        const char* file;
        bool playing, action, dark;
        float countdown, calm; // below -100: not checked
    } frames[] = {
        {"before frame 280 nothing starts", 200, 0.25f, kUnnoticed, false, "", false, false, false, 1.0f,
         -999},
        {"the countdown runs", 280, 0.25f, kUnnoticed, false, "", false, false, false, 0.75f, -999},
        {"", 281, 0.25f, kUnnoticed, false, "", false, false, false, 0.5f, -999},
        {"nobody near resets it", 282, 0.25f, kNobody, false, "", false, false, false, 1.0f, -999},
        {"", 283, 0.5f, kUnnoticed, false, "", false, false, false, 0.5f, -999},
        {"unnoticed: the dark loop", 284, 0.5f, kUnnoticed, false, kDark, true, true, true, 0.0f, 0.0f},
        {"noticed: the level's loop at once", 285, 0.5f, kAlerted, false, kLevel01, true, true, false, -0.5f,
         0.0f},
        {"an alarm does not change playing music", 286, 0.5f, kAlarmed, false, kLevel01, true, true, false,
         -999, 0.0f},
        {"calm counts", 287, 0.5f, kNobody, false, kLevel01, true, true, false, -999, 0.5f},
        {"", 288, 0.5f, kNobody, false, kLevel01, true, true, false, -999, 1.0f},
        {"an enemy back does not reset calm", 289, 0.5f, kAlerted, false, kLevel01, true, true, false, -999,
         1.0f},
        {"", 290, 0.5f, kNobody, false, kLevel01, true, true, false, -999, 1.5f},
        {"2 s is not yet more than 2 s", 291, 0.5f, kNobody, false, kLevel01, true, true, false, -999, 2.0f},
        {"the gong", 292, 0.5f, kNobody, false, kGong, true, false, false, -999, 0.0f},
        {"the gong plays on", 293, 0.5f, kAlerted, false, kGong, true, false, false, -999, 0.0f},
        {"the gong has ended: quiet", 294, 0.5f, kNobody, true, kGong, false, false, false, 1.0f, -999},
        {"an alarm", 295, 0.5f, kAlarmed, false, kGong, false, false, false, 0.5f, -999},
        {"the alarm loop", 296, 0.5f, kAlarmed, false, kAlarm, true, true, false, 0.0f, 0.0f},
        {"action music that ends is chosen again", 297, 0.5f, kAlerted, true, kLevel01, true, true, false,
         -0.5f, 0.0f},
    };
    for (const Frame& f : frames) {
        const std::string what = std::to_string(f.levelFrame) + " " + f.what;
        g_MainGame.m_iLevelFrame = f.levelFrame;
        g_Engine.m_fFrameTime = f.dt;
        SetNear(f.near);
        if (f.musicEnds) g_SoundMgr.Music_Stop();
        g_MusicDirector.Update();
        EXPECT_EQ(std::string(g_MusicDirector.m_szCurrentFile), f.file) << what;
        EXPECT_EQ(g_MusicDirector.m_bPlaying != 0, f.playing) << what;
        EXPECT_EQ(g_SoundMgr.Music_IsPlaying(), f.playing) << what;
        EXPECT_EQ(g_MusicDirector.m_bActionLoop != 0, f.action) << what;
        EXPECT_EQ(g_MusicDirector.m_bDark != 0, f.dark) << what;
        if (f.countdown > -100) {
            EXPECT_FLOAT_EQ(g_MusicDirector.m_fActionCountdown, f.countdown) << what;
        }
        if (f.calm > -100) {
            EXPECT_FLOAT_EQ(g_MusicDirector.m_fCalmTime, f.calm) << what;
        }
        // The director's loops loop (and the gong does not).
        if (f.playing) {
            EXPECT_EQ(StreamLoops(), f.action) << what;
        }
    }
}

TEST_F(MusicDirectorTest, KeepVariableHoldsTheActionMusic) {
    SetNear(kAlerted);
    ASSERT_EQ(RunUntilActionMusic(), kLevel01);
    Set("wymus_muzyke");
    SetNear(kNobody);
    for (int i = 0; i < 40; ++i)
        g_MusicDirector.Update();
    EXPECT_EQ(std::string(g_MusicDirector.m_szCurrentFile), kLevel01);
    EXPECT_TRUE(g_MusicDirector.m_bActionLoop);
    EXPECT_EQ(g_MusicDirector.m_fCalmTime, 0.0f);
    // Without it the calm time runs out.
    g_GameAI.UnsetVariable("wymus_muzyke", nullptr);
    for (int i = 0; i < 9; ++i)
        g_MusicDirector.Update();
    EXPECT_EQ(std::string(g_MusicDirector.m_szCurrentFile), kGong);
}

TEST_F(MusicDirectorTest, ForbidVariableKeepsActionMusicFromStarting) {
    Set("zabron_muzyke");
    SetNear(kAlarmed);
    for (int i = 0; i < 40; ++i) {
        g_MusicDirector.Update();
        EXPECT_EQ(g_MusicDirector.m_fActionCountdown, 1.0f);
    }
    EXPECT_FALSE(g_MusicDirector.m_bPlaying);
    EXPECT_STREQ(g_MusicDirector.m_szCurrentFile, "");
}

TEST_F(MusicDirectorTest, AWorldOutsideTheTablePicksARandomLoop) {
    std::strcpy(g_Engine.m_szCurrentWorld, "worlds\\elsewhere.w");
    EXPECT_EQ(MusicDirector::LevelActionLoop("worlds\\elsewhere.w"), nullptr);
    EXPECT_STREQ(MusicDirector::LevelActionLoop("WORLDS\\TEST.W"), "music\\loop\\loopAction03.ogg");
    for (uint32_t seed : {1u, 2u, 77u, 1234u, 99999u}) {
        os::Srand(seed);
        const std::string expected = MusicDirector::ActionLoopRow(os::Rand() % 11);
        os::Srand(seed);
        g_MusicDirector.Init();
        SetNear(kAlerted);
        EXPECT_EQ(RunUntilActionMusic(), expected) << seed;
        g_MusicDirector.PlayMusic(nullptr, false, true);
    }
}

TEST_F(MusicDirectorTest, InitDestroyAndTheMenu) {
    Set("zabron_muzyke");
    Set("wymus_muzyke");
    g_MusicDirector.m_fActionCountdown = 0.1f;
    g_MusicDirector.Init();
    EXPECT_FALSE(g_GameAI.IsSet("zabron_muzyke"));
    EXPECT_FALSE(g_GameAI.IsSet("wymus_muzyke"));
    EXPECT_EQ(g_MusicDirector.m_fActionCountdown, 1.0f);

    // The menu: the music stops, the director keeps its file and resumes it.
    g_MusicDirector.PlayMusic(kDark, true, false);
    g_MusicDirector.StopMusic();
    EXPECT_EQ(g_SoundMgr.m_pMusicThread, nullptr);
    EXPECT_STREQ(g_MusicDirector.m_szCurrentFile, kDark);
    EXPECT_TRUE(g_MusicDirector.m_bPlaying);
    g_MusicDirector.ResumeMusic();
    EXPECT_TRUE(g_SoundMgr.Music_IsPlaying());
    EXPECT_TRUE(StreamLoops());

    Set("wymus_muzyke");
    g_MusicDirector.Destroy();
    EXPECT_EQ(g_SoundMgr.m_pMusicThread, nullptr);
    EXPECT_STREQ(g_MusicDirector.m_szCurrentFile, "");
    EXPECT_FALSE(g_GameAI.IsSet("wymus_muzyke"));

    // With nothing chosen the menu calls do nothing.
    g_MusicDirector.ResumeMusic();
    EXPECT_EQ(g_SoundMgr.m_pMusicThread, nullptr);
}
