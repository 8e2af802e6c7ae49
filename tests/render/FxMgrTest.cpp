// The particle-effect manager: the .afx reader and its cache, the conflict
// report, the blood-drop lists, spawning, the per-frame step and the
// explosion at spawn.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "actors/player/Player.h"
#include "app/Console.h"
#include "app/Options.h"
#include "game/GameAI.h"
#include "game/MainGame.h"
#include "platform/math/Math.h"
#include "platform/os/Os.h"
#include "render/FxMgr.h"
#include "render/MeshMgr.h"
#include "render/MeshSocketsMgr.h"
#include "render/Renderer.h"
#include "sound/SoundMgr.h"
#include "tests/TestDir.h"
#include "world/Camera.h"
#include "world/Engine.h"
#include "world/ObjectApi.h"
#include "world/ObjectRecord.h"

namespace fs = std::filesystem;

namespace {

class FxMgrTest : public ::testing::Test {
  protected:
    void SetUp() override {
        saved_ = os::StartDirectory();
        dir_ = FreshTestDir("zt_fx_");
        fs::create_directories(dir_ / "afx");
        fs::create_directories(dir_ / "scripts");
        os::SetStartDirectory(dir_.string());
        g_FxMgr.KillAll();
        g_FxMgr.Update(); // the free list: slots 1..32
        g_Engine.m_fFrameTime = 0.1f;
        g_Camera.SetPosition({0, 0, 0});
        savedFarZ_ = g_Camera.GetFarZ();
        g_Camera.SetFarZ(1600.0f);
        g_MainGame.m_iLevelFrame = 0;
        AddFX = DrawFX = UpdateModels = true;
        PlayerHealth = PlayerMaxHealth = 100.0f;
        PlayerDead = 0;
        g_Player.m_vPosition = {10000.0f, 10000.0f, 10000.0f};
        g_Player.m_bCrouched = false;
    }
    void TearDown() override {
        g_FxMgr.Destroy();
        fs::remove_all(dir_ / "afx");
        fs::remove_all(dir_ / "scripts");
        g_FxMgr.LoadAll(); // an empty cache for the next suite
        g_Engine.DeleteWorldObjects(true);
        g_MainGame.m_iLevelFrame = 0;
        AddFX = DrawFX = UpdateModels = true;
        g_Camera.SetFarZ(savedFarZ_);
        os::SetStartDirectory(saved_);
        fs::remove_all(dir_);
    }

    void Write(const std::string& name, const std::string& text) const {
        fs::create_directories((dir_ / name).parent_path());
        std::ofstream(dir_ / name, std::ios::binary) << text;
    }
    void Effect(const std::string& name, const std::string& text) const { Write("afx/" + name + ".afx", text); }
    static FxDescription* Find(const char* name) { return g_FxMgr.FindDescription(name); }
    static void Frames(int n) {
        for (int i = 0; i < n; ++i)
            g_FxMgr.Update();
    }
    static int Live(const char* name) {
        int n = 0;
        for (int i = 1; i < FxMgr::MAX_INSTANCES; ++i)
            if (g_FxMgr.Instance(i)->bInUse && std::strcmp(g_FxMgr.Instance(i)->szName, name) == 0) ++n;
        return n;
    }
    static FxInstance* Dummy() { return g_FxMgr.Instance(0); }

    static void MarkConsole() { g_Console.Print("--- fx test mark ---"); }
    static bool PrintedSinceMark(const char* text) {
        char line[EConsole::LINE_LEN];
        bool marked = false, found = false;
        for (int i = 0; i < EConsole::NUM_LINES; ++i) {
            g_Console.CopyLine(i, line);
            if (std::strcmp(line, "--- fx test mark ---") == 0) {
                marked = true;
                found = false;
            } else if (marked && std::strstr(line, text)) {
                found = true;
            }
        }
        return found;
    }

    fs::path dir_;
    std::string saved_;
    float savedFarZ_ = 0.0f;
};

// ---- The reader --------------------------------------------------------------------------

struct ParseCase {
    const char* name;
    const char* text;
    std::function<void(const FxDescription&)> check;
};

class FxParseTest : public FxMgrTest, public ::testing::WithParamInterface<ParseCase> {};

TEST_P(FxParseTest, ReadsTheKeys) {
    Effect("e", GetParam().text);
    g_FxMgr.LoadAll();
    const FxDescription* d = Find("e");
    ASSERT_NE(d, nullptr);
    GetParam().check(*d);
}

std::string Lines(const char* key, int n, const char* value) {
    std::string s;
    for (int i = 0; i < n; ++i)
        s += std::string(key) + " " + value + std::to_string(i) + "\n";
    return s;
}
const std::string kNineAfters = Lines("After", 9, "0.5 sub");
const std::string kEightFiles = Lines("Filename", 8, "textures\\t");

INSTANTIATE_TEST_SUITE_P(
    Keys, FxParseTest,
    ::testing::Values(
        ParseCase{"StartsFromZeroBytes", "Type Sprite\n",
                  [](const FxDescription& d) {
                      EXPECT_EQ(d.vScale, math::Vec3(0, 0, 0));
                      EXPECT_EQ(d.fLifeTime, 0.0f);
                      EXPECT_EQ(d.dwColorCount, 0u);
                      EXPECT_EQ(d.dwRenderFlags, 1u);
                  }},
        ParseCase{"ColourBeforeItsCountIsIgnored", "Color 0 255 128 0\ndwColor 1\n",
                  [](const FxDescription& d) {
                      EXPECT_EQ(d.dwColorCount, 1u);
                      EXPECT_EQ(d.vColors[0], math::Vec3(0, 0, 0));
                  }},
        ParseCase{"ColourKeysAndTimes",
                  "dwColor 2\ndwAlpha 1\nColor 1 255 128 0\nColor_Time 1 0.75\nAlpha 0 99\nAlpha_Time 0 0.5\n",
                  [](const FxDescription& d) {
                      EXPECT_EQ(d.vColors[1], math::Vec3(255, 128, 0));
                      EXPECT_FLOAT_EQ(d.fColorTimes[1], 0.75f);
                      EXPECT_FLOAT_EQ(d.fAlphas[0], 99.0f);
                      EXPECT_FLOAT_EQ(d.fAlphaTimes[0], 0.5f);
                  }},
        ParseCase{"AfterLine", "After 0.5 spark_small 0.2\n",
                  [](const FxDescription& d) {
                      EXPECT_EQ(d.dwAfterCount, 1u);
                      EXPECT_FLOAT_EQ(d.fAfterTimes[0], 0.5f);
                      EXPECT_STREQ(d.szAfterNames[0], "spark_small");
                      EXPECT_FLOAT_EQ(d.fAfterRands[0], 0.2f);
                  }},
        ParseCase{"EveryLine", "Every 0.25 smoke 0.1\n",
                  [](const FxDescription& d) {
                      EXPECT_EQ(d.dwEveryCount, 1u);
                      EXPECT_FLOAT_EQ(d.fEveryIntervals[0], 0.25f);
                      EXPECT_STREQ(d.szEveryNames[0], "smoke");
                      EXPECT_FLOAT_EQ(d.fEveryRands[0], 0.1f);
                  }},
        ParseCase{"SwitchesAreTrueOnlyForTrue", "Move yes\nAdditive TRUE\nSpinning_Sprite 1\n",
                  [](const FxDescription& d) {
                      EXPECT_EQ(d.bMove, 0);
                      EXPECT_EQ(d.bAdditive, 1);
                      EXPECT_EQ(d.bSpinning, 0);
                  }},
        ParseCase{"EighthFilenameIgnored", kEightFiles.c_str(),
                  [](const FxDescription& d) {
                      EXPECT_EQ(d.dwFilenameCount, 7u);
                      EXPECT_STREQ(d.szFilenames[6], "textures\\t6");
                      EXPECT_STREQ(d.szFilenames[7], "");
                  }},
        ParseCase{"NinthAfterIgnored", kNineAfters.c_str(),
                  [](const FxDescription& d) {
                      EXPECT_EQ(d.dwAfterCount, 8u);
                      EXPECT_STREQ(d.szAfterNames[7], "sub7");
                  }},
        ParseCase{"NumbersAndVectors",
                  "Scale 1 2 3\nVel_Rand 4 5 6\nLife_Time 2.5\nGravity 600\nnonsense\nDisappear_Distance abc\n",
                  [](const FxDescription& d) {
                      EXPECT_EQ(d.vScale, math::Vec3(1, 2, 3));
                      EXPECT_EQ(d.vVelRand, math::Vec3(4, 5, 6));
                      EXPECT_FLOAT_EQ(d.fLifeTime, 2.5f);
                      EXPECT_FLOAT_EQ(d.fGravity, 600.0f);
                      EXPECT_EQ(d.fDisappearDistance, 0.0f);
                  }},
        ParseCase{"NegativeHurtAndPowerAreKept", "Hurt_Player -5\nExplosion_Power -2\n",
                  [](const FxDescription& d) {
                      EXPECT_FLOAT_EQ(d.fHurtPlayer, -5.0f);
                      EXPECT_FLOAT_EQ(d.fExplosionPower, -2.0f);
                  }},
        ParseCase{"TypeWords", "Type mesh\nType Streak\n",
                  [](const FxDescription& d) { EXPECT_EQ(d.dwType, uint32_t(FX_MESH)); }},
        ParseCase{"SparkAndBloodDrop", "Type SPARK\nType blooddrop\n",
                  [](const FxDescription& d) { EXPECT_EQ(d.dwType, uint32_t(FX_BLOOD_DROP)); }},
        // The counts are held to the eight keys, and an index must be 0 or more.
        ParseCase{"KeyCountsHeldToEight", "dwColor 20\ndwAlpha -3\nColor 8 1 2 3\nAlpha 0 50\n",
                  [](const FxDescription& d) {
                      EXPECT_EQ(d.dwColorCount, 8u);
                      EXPECT_EQ(d.dwAlphaCount, 0u);
                      EXPECT_EQ(d.fAlphas[0], 0.0f);
                      EXPECT_FLOAT_EQ(d.fKeySpare, 0.0f);
                  }},
        ParseCase{"NegativeKeyIndexIgnored", "dwColor 2\nColor -1 9 9 9\nColor_Time -1 0.5\n",
                  [](const FxDescription& d) {
                      EXPECT_EQ(d.vColors[0], math::Vec3(0, 0, 0));
                      EXPECT_EQ(d.fColorTimes[0], 0.0f);
                      EXPECT_EQ(d.fAlphas[0], 0.0f);
                  }}),
    [](const ::testing::TestParamInfo<ParseCase>& i) { return std::string(i.param.name); });

TEST_F(FxMgrTest, NegativeHurtAndPowerArePrinted) {
    Effect("burn", "Hurt_Player -5\nExplosion_Power -2\n");
    MarkConsole();
    g_FxMgr.LoadAll();
    EXPECT_TRUE(PrintedSinceMark("Ujemny hurt_player dla burn"));
    EXPECT_TRUE(PrintedSinceMark("Ujemny explosion_power dla burn"));
}

TEST_F(FxMgrTest, NameIsTheFileNameCutByFourCharacters) {
    Effect("smoke", "Type Spark\n");
    Write("afx/ab.x", "Type Spark\n");
    Write("afx/dir.afx/x.txt", "Type Spark\n"); // directories are not read
    g_FxMgr.LoadAll();
    g_FxMgr.LoadFxDescription("afx\\ab.x");
    EXPECT_NE(Find("smoke"), nullptr);
    EXPECT_NE(Find("SMOKE"), nullptr);
    EXPECT_NE(Find("ab.x"), nullptr);
    EXPECT_EQ(Find("dir"), nullptr);
    EXPECT_EQ(Find(""), nullptr);
    EXPECT_EQ(Find(nullptr), nullptr);
    g_FxMgr.LoadFxDescription("afx\\missing.afx");
    g_FxMgr.LoadFxDescription(nullptr);
    EXPECT_FALSE(g_FxMgr.Description(2)->InUse());
}

TEST_F(FxMgrTest, SubEffectsLinkForwardAndUnknownNamesStayNull) {
    Effect("a_first", "After 0 z_last 0\nEvery 1 nothing 0\n");
    Effect("z_last", "Type Spark\n");
    g_FxMgr.LoadAll();
    EXPECT_EQ(Find("a_first")->pAfterDescriptions[0], Find("z_last"));
    EXPECT_EQ(Find("a_first")->pEveryDescriptions[0], nullptr);
    EXPECT_EQ(Find("a_first")->pAfterDescriptions[1], nullptr);
}

TEST_F(FxMgrTest, The1025thFileIsRefused) {
    for (int i = 0; i < FxMgr::MAX_FXCACHE + 1; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "e%04d", i);
        Effect(name, "Type Spark\n");
    }
    MarkConsole();
    g_FxMgr.LoadAll();
    EXPECT_TRUE(PrintedSinceMark("MAX_FXCACHE exceeded!"));
    EXPECT_NE(Find("e1023"), nullptr);
    EXPECT_EQ(Find("e1024"), nullptr);
}

// ---- The conflict report -----------------------------------------------------------------

std::vector<std::string> FileLines(const fs::path& p) {
    std::vector<std::string> lines;
    std::ifstream in(p);
    for (std::string l; std::getline(in, l);)
        lines.push_back(l);
    return lines;
}

TEST_F(FxMgrTest, ConflictReportNamesBothUses) {
    Effect("a_glow", "Type Sprite\nFilename textures\\glow.tga\nAdditive true\n");
    Effect("b_puff", "Type Sprite\nFilename TEXTURES\\GLOW.TGA\n");
    Effect("c_mesh", "Type Mesh\nFilename textures\\glow.tga\n"); // not a sprite
    g_FxMgr.LoadAll();
    g_FxMgr.WriteTextureConflictReport();
    const std::vector<std::string> expected = {"*** tekstura textures\\glow.tga uzyta jako Additive i Normal!",
                                               "Jako additive w a_glow", "Jako normal w b_puff"};
    EXPECT_EQ(FileLines(dir_ / "!fx_bugs.txt"), expected);
}

TEST_F(FxMgrTest, NoConflictLeavesNoReport) {
    Write("!fx_bugs.txt", "old\n");
    Effect("a_glow", "Type Sprite\nFilename textures\\glow.tga\nAdditive true\n");
    Effect("b_glow", "Type Sprite\nFilename textures\\glow.tga\nAdditive true\n");
    g_FxMgr.LoadAll();
    g_FxMgr.WriteTextureConflictReport();
    EXPECT_FALSE(fs::exists(dir_ / "!fx_bugs.txt"));
}

// ---- Blood-drop lists --------------------------------------------------------------------

TEST_F(FxMgrTest, BloodListsSkipCommentsAndBlankLinesAndHoldThirtyTwoNames) {
    std::string many = "// drops\n\n";
    for (int i = 0; i < 40; ++i)
        many += "drop" + std::to_string(i) + ".tga  \n";
    Write("scripts/BloodDrops.txt", many);
    Write("scripts/BloodDropsOF.txt", "// floor\n" + std::string(100, 'f') + "\n");
    g_FxMgr.LoadBloodDrops();
    EXPECT_EQ(g_FxMgr.BloodDropCount(), 32u);
    EXPECT_STREQ(g_FxMgr.BloodDrop(0), "drop0.tga");
    EXPECT_STREQ(g_FxMgr.BloodDrop(31), "drop31.tga");
    EXPECT_EQ(g_FxMgr.BloodDropOFCount(), 1u);
    EXPECT_EQ(std::string(g_FxMgr.BloodDropOF(0)), std::string(63, 'f'));
}

TEST_F(FxMgrTest, WithoutTheFirstListTheSecondIsNotRead) {
    Write("scripts/BloodDropsOF.txt", "floor.tga\n");
    g_FxMgr.LoadBloodDrops();
    EXPECT_EQ(g_FxMgr.BloodDropCount(), 0u);
    EXPECT_EQ(g_FxMgr.BloodDropOFCount(), 0u);
}

// ---- Spawning ----------------------------------------------------------------------------

TEST_F(FxMgrTest, SpawnCopiesTheDescriptionAndAddsThePosition) {
    Effect("puff", "Type Spark\nPos 1 2 3\nLife_Time 2\ndwColor 1\nColor 0 255 128 300\n");
    g_FxMgr.Init();
    const math::Vec3 at{10, 20, 30};
    FxInstance* fx = g_FxMgr.SpawnFxByName("PUFF", &at, nullptr);
    ASSERT_NE(fx, nullptr);
    ASSERT_NE(fx, Dummy());
    EXPECT_EQ(fx->vPosition, math::Vec3(11, 22, 33));
    EXPECT_EQ(fx->vRenderPosition, fx->vPosition);
    EXPECT_EQ(fx->vHistory[2], fx->vPosition);
    EXPECT_FLOAT_EQ(fx->fLifeTotal, 2.0f);
    EXPECT_EQ(fx->dwColor, 0xFFFF80FFu); // channels held to 255
    // The cached record keeps its own position.
    EXPECT_EQ(Find("puff")->vPos, math::Vec3(1, 2, 3));
    EXPECT_EQ(g_FxMgr.SpawnFxByName("nothing", &at, nullptr), nullptr);
    EXPECT_EQ(g_FxMgr.SpawnFxByName("", &at, nullptr), nullptr);
    EXPECT_EQ(g_FxMgr.SpawnFx(nullptr, nullptr, nullptr, 0), nullptr);
    EXPECT_EQ(g_FxMgr.SpawnFxOnSocket("nothing", nullptr, nullptr, 0), nullptr);
}

TEST_F(FxMgrTest, SpreadStaysWithinHalfOfIt) {
    FxDescription d;
    d.dwType = FX_SPARK;
    d.vPosRand = {100, 100, 100};
    d.vVelRand = {10, 0, 10};
    bool negative = false, positive = false;
    for (int i = 0; i < 200; ++i) {
        FxInstance* fx = g_FxMgr.SpawnFx(&d, nullptr, nullptr, 0);
        for (float v : {fx->vPosition.x, fx->vPosition.y, fx->vPosition.z}) {
            EXPECT_LE(std::abs(v), 50.0f);
            negative = negative || v < 0.0f;
            positive = positive || v > 0.0f;
        }
        EXPECT_EQ(fx->vVelocity.y, 0.0f);
        g_FxMgr.KillFx(fx->dwIndex);
    }
    EXPECT_TRUE(negative && positive);
}

struct RefusalCase {
    const char* name;
    std::function<void(FxDescription*)> prepare;
};
class FxRefusalTest : public FxMgrTest, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(FxRefusalTest, GivesTheDummyAndGivesBackTheLimitedPlace) {
    FxDescription d;
    d.dwType = FX_SPRITE;
    std::strcpy(d.szFilenames[0], "textures\\none.tga");
    d.dwFilenameCount = 1;
    GetParam().prepare(&d);
    const uint32_t limited = g_FxMgr.LimitedCount();
    FxInstance* fx = g_FxMgr.SpawnFx(&d, nullptr, nullptr, 0);
    EXPECT_EQ(fx, Dummy());
    EXPECT_FALSE(Dummy()->bInUse);
    EXPECT_EQ(g_FxMgr.LimitedCount(), limited);
    fx->vVelocity = {1, 2, 3}; // harmless
    Frames(1);
    EXPECT_FALSE(Dummy()->bInUse);
}

INSTANTIATE_TEST_SUITE_P(
    Switches, FxRefusalTest,
    ::testing::Values(RefusalCase{"AddFxOff", [](FxDescription*) { AddFX = false; }},
                      RefusalCase{"DrawFxOff", [](FxDescription*) { DrawFX = false; }},
                      RefusalCase{"SpriteWithoutFile", [](FxDescription* d) { d->szFilenames[0][0] = 0; }},
                      RefusalCase{"MeshWithPhysics",
                                  [](FxDescription* d) {
                                      d->dwType = FX_MESH;
                                      d->bApplyPhysicsToMesh = 1;
                                  }},
                      RefusalCase{"FullTableNothingReplaceable",
                                  [](FxDescription* d) {
                                      FxDescription endless;
                                      endless.dwType = FX_SPARK;
                                      endless.fLifeTime = -1.0f;
                                      for (int i = 1; i < FxMgr::MAX_INSTANCES; ++i)
                                          g_FxMgr.SpawnFx(&endless, nullptr, nullptr, 0);
                                      g_FxMgr.Update();
                                      d->bLimited = 1;
                                  }}),
    [](const ::testing::TestParamInfo<RefusalCase>& i) { return std::string(i.param.name); });

TEST_F(FxMgrTest, AStreakPassesWithAddFxOff) {
    FxDescription d;
    d.dwType = FX_STREAK;
    AddFX = false;
    EXPECT_NE(g_FxMgr.SpawnFx(&d, nullptr, nullptr, 0), Dummy());
}

TEST_F(FxMgrTest, TheFortyFirstLimitedInstanceWaitsForOneToEnd) {
    FxDescription d;
    d.dwType = FX_SPARK;
    d.bLimited = 1;
    std::vector<FxInstance*> live;
    for (int i = 0; i < 40; ++i)
        live.push_back(g_FxMgr.SpawnFx(&d, nullptr, nullptr, 0));
    EXPECT_NE(live.back(), Dummy());
    EXPECT_EQ(g_FxMgr.LimitedCount(), 40u);
    EXPECT_EQ(g_FxMgr.SpawnFx(&d, nullptr, nullptr, 0), Dummy());
    g_FxMgr.KillFx(live[5]->dwIndex);
    EXPECT_EQ(g_FxMgr.LimitedCount(), 39u);
    EXPECT_NE(g_FxMgr.SpawnFx(&d, nullptr, nullptr, 0), Dummy());
}

TEST_F(FxMgrTest, SlotsComeFromTheFreeListThenAScan) {
    g_FxMgr.Init(); // free list 1..32
    FxDescription d;
    d.dwType = FX_SPARK;
    g_FxMgr.Instance(1)->bInUse = 1; // taken behind the list's back
    EXPECT_EQ(g_FxMgr.SpawnFx(&d, nullptr, nullptr, 0)->dwIndex, 2u);
    EXPECT_EQ(g_FxMgr.m_dwStatFromFreeList, 1u);
    for (int i = 0; i < 30; ++i)
        g_FxMgr.SpawnFx(&d, nullptr, nullptr, 0);
    EXPECT_EQ(g_FxMgr.m_dwStatFromFreeList, 31u);
    g_FxMgr.KillFx(7);
    // The list is empty: the scan finds the first free slot.
    EXPECT_EQ(g_FxMgr.SpawnFx(&d, nullptr, nullptr, 0)->dwIndex, 7u);
    EXPECT_EQ(g_FxMgr.SpawnFx(&d, nullptr, nullptr, 0)->dwIndex, 33u);
    g_FxMgr.Instance(1)->bInUse = 0;
    // The update refills the list with the first 32 free slots.
    g_FxMgr.KillFx(20);
    g_FxMgr.Update();
    EXPECT_EQ(g_FxMgr.FreeListEntry(0), 1u);
    EXPECT_EQ(g_FxMgr.FreeListEntry(1), 20u);
    EXPECT_EQ(g_FxMgr.FreeListEntry(2), 34u);
    EXPECT_EQ(g_FxMgr.FreeListEntry(31), 63u);
    EXPECT_EQ(g_FxMgr.m_dwStatSpawned, 0u);
}

TEST_F(FxMgrTest, AFullTableRecyclesTheReplaceableInstanceWithTheLeastLifeLeft) {
    FxDescription endless;
    endless.dwType = FX_SPARK;
    endless.fLifeTime = -1.0f;
    FxDescription pending = endless; // an After sub-effect pending keeps it
    pending.fLifeTime = 0.5f;
    std::strcpy(pending.szAfterNames[0], "later");
    pending.fAfterTimes[0] = 100.0f;
    FxDescription shortLived = endless;
    shortLived.fLifeTime = 10.0f;
    for (int i = 1; i < FxMgr::MAX_INSTANCES; ++i) {
        FxDescription* d = i == 100 ? &shortLived : i == 200 ? &pending : &endless;
        g_FxMgr.SpawnFx(d, nullptr, nullptr, 0);
    }
    pending.pAfterDescriptions[0] = &endless;
    g_FxMgr.KillFx(200);
    g_FxMgr.SpawnFx(&pending, nullptr, nullptr, 0);
    g_FxMgr.Instance(300)->fLifeTotal = g_FxMgr.Instance(300)->fLifeLeft = 20.0f;
    Frames(1); // fractions: slot 100 0.99, slot 300 0.995
    EXPECT_EQ(g_FxMgr.SpawnFx(&endless, nullptr, nullptr, 0)->dwIndex, 100u);
    EXPECT_EQ(g_FxMgr.m_dwStatRecycled, 1u);
    EXPECT_EQ(g_FxMgr.SpawnFx(&endless, nullptr, nullptr, 0)->dwIndex, 300u);
    EXPECT_EQ(g_FxMgr.SpawnFx(&endless, nullptr, nullptr, 0), Dummy());
    EXPECT_TRUE(g_FxMgr.Instance(200)->bInUse);
}

// ---- The frame ---------------------------------------------------------------------------

TEST_F(FxMgrTest, LifeTimeZeroShowsForThreeSteps) {
    FxDescription d;
    d.dwType = FX_SPARK;
    d.fLifeTime = 0.0f;
    FxInstance* fx = g_FxMgr.SpawnFx(&d, nullptr, nullptr, 0);
    Frames(3);
    EXPECT_TRUE(fx->bInUse);
    EXPECT_EQ(fx->dwStepCount, 3u);
    EXPECT_EQ(fx->fLifeFraction, 0.0f); // not 0 / 0
    Frames(1);
    EXPECT_FALSE(fx->bInUse);
}

TEST_F(FxMgrTest, ALifeEndsWhenItsTimeIsUp) {
    FxDescription d;
    d.dwType = FX_SPARK;
    d.fLifeTime = 0.45f;
    FxInstance* fx = g_FxMgr.SpawnFx(&d, nullptr, nullptr, 0);
    Frames(4);
    EXPECT_TRUE(fx->bInUse);
    EXPECT_EQ(g_FxMgr.LiveCount(), 1u);
    Frames(1);
    EXPECT_FALSE(fx->bInUse);
    EXPECT_EQ(g_FxMgr.LiveCount(), 0u);
}

TEST_F(FxMgrTest, ANegativeLifeNeverEndsAndIsNeverCulled) {
    FxDescription d;
    d.dwType = FX_SPARK;
    d.fLifeTime = -1.0f;
    d.vPos = {5000, 0, 0}; // beyond the far distance
    FxInstance* fx = g_FxMgr.SpawnFx(&d, nullptr, nullptr, 0);
    Frames(100);
    EXPECT_TRUE(fx->bInUse);
    EXPECT_FALSE(fx->bReplaceable);
    g_FxMgr.KillFx(fx->dwIndex);
    EXPECT_FALSE(fx->bInUse);
}

struct CullCase {
    const char* name;
    float x;
    float disappear;
    bool culled;
};
class FxCullTest : public FxMgrTest, public ::testing::WithParamInterface<CullCase> {};

TEST_P(FxCullTest, CullsByFarAndDisappearDistance) {
    FxDescription d;
    d.dwType = FX_SPARK;
    d.fLifeTime = 10.0f;
    d.vPos = {GetParam().x, 0, 0};
    d.fDisappearDistance = GetParam().disappear;
    FxInstance* fx = g_FxMgr.SpawnFx(&d, nullptr, nullptr, 0);
    Frames(1);
    EXPECT_EQ(!fx->bInUse, GetParam().culled);
}

INSTANTIATE_TEST_SUITE_P(Distances, FxCullTest,
                         ::testing::Values(CullCase{"Near", 100, 0, false}, CullCase{"BeyondFar", 2000, 0, true},
                                           CullCase{"BeyondDisappear", 150, 100, true},
                                           CullCase{"WithinDisappear", 50, 100, false},
                                           CullCase{"DisappearOfOneIsNone", 150, 1, false},
                                           CullCase{"DisappearBeyondFarKeepsFar", 2000, 5000, true}),
                         [](const ::testing::TestParamInfo<CullCase>& i) { return std::string(i.param.name); });

TEST_F(FxMgrTest, MovesWithGravityAndGrows) {
    FxDescription d;
    d.dwType = FX_SPARK;
    d.bMove = 1;
    d.vVel = {10, 0, 0};
    d.fGravity = 100.0f;
    d.fGrow = 1.0f;
    FxInstance* fx = g_FxMgr.SpawnFx(&d, nullptr, nullptr, 0);
    Frames(2);
    // velocity.y -10 then -20; position moves by each frame's velocity.
    EXPECT_NEAR(fx->vPosition.x, 2.0f, 1e-5f);
    EXPECT_NEAR(fx->vPosition.y, -3.0f, 1e-5f);
    EXPECT_EQ(fx->vRenderPosition, fx->vPosition);
    EXPECT_NEAR(fx->vSize.x, 1.21f, 1e-5f);
    EXPECT_EQ(fx->vHistory[0], math::Vec3(1, -1, 0));
}

TEST_F(FxMgrTest, AccelerationSlowsForItsTimeThenStops) {
    FxDescription d;
    d.dwType = FX_SPARK;
    d.bMove = 1;
    d.vVel = {100, 0, 0};
    d.fAccelerateAfter = 0.15f;
    d.fAccelerateCoef = 200.0f;
    d.fAccelerateFor = 0.25f;
    FxInstance* fx = g_FxMgr.SpawnFx(&d, nullptr, nullptr, 0);
    Frames(1); // waits
    EXPECT_NEAR(fx->vVelocity.x, 100.0f, 1e-4f);
    Frames(2); // 20 less each frame
    EXPECT_NEAR(fx->vVelocity.x, 60.0f, 1e-3f);
    Frames(3);
    EXPECT_NEAR(fx->vVelocity.x, 60.0f, 1e-3f);
    EXPECT_EQ(fx->fAccelerateCoef, 0.0f);
}

TEST_F(FxMgrTest, FxTimeIsZeroWhileModelsDoNotUpdate) {
    FxDescription d;
    d.dwType = FX_SPARK;
    d.bMove = 1;
    d.vVel = {100, 0, 0};
    FxInstance* fx = g_FxMgr.SpawnFx(&d, nullptr, nullptr, 0);
    UpdateModels = false;
    Frames(10);
    EXPECT_EQ(g_FxMgr.FrameTime(), 0.0f);
    EXPECT_EQ(fx->vPosition.x, 0.0f);
    EXPECT_FLOAT_EQ(fx->fLifeLeft, 1.0f);
    EXPECT_TRUE(fx->bInUse);
}

TEST_F(FxMgrTest, SpinTurnsAboutTheViewAxis) {
    FxDescription d;
    d.dwType = FX_SPARK;
    d.bSpinning = 1;
    d.fSpinSpeed = 1080.0f; // 6 pi per second
    d.vPos = {0, 0, 100};
    FxInstance* fx = g_FxMgr.SpawnFx(&d, nullptr, nullptr, 0);
    Frames(4); // 2.4 pi, one turn back
    EXPECT_NEAR(fx->fSpinAngle, 0.4f * math::kPi, 1e-4f);
    EXPECT_NEAR(fx->vDirection.z, 1.0f, 1e-5f);
    EXPECT_NEAR(std::abs(fx->vQuadUp.y), std::cos(0.4f * math::kPi), 1e-4f);
    EXPECT_NEAR(fx->vQuadUp.z, 0.0f, 1e-5f);
}

struct HurtCase {
    const char* name;
    float distance;
    bool crouched;
    bool hurt;
};
class FxHurtTest : public FxMgrTest, public ::testing::WithParamInterface<HurtCase> {};

TEST_P(FxHurtTest, HurtsThePlayerNearby) {
    FxDescription d;
    d.dwType = FX_SPARK;
    d.fHurtPlayer = 20.0f;
    g_FxMgr.SpawnFx(&d, nullptr, nullptr, 0);
    g_Player.m_vPosition = {GetParam().distance, 0.0f, 0.0f};
    g_Player.m_bCrouched = GetParam().crouched;
    Frames(1);
    EXPECT_FLOAT_EQ(PlayerHealth, GetParam().hurt ? 98.0f : 100.0f);
}

INSTANTIATE_TEST_SUITE_P(Reach, FxHurtTest,
                         ::testing::Values(HurtCase{"Standing70", 70, false, true},
                                           HurtCase{"Standing73", 73, false, false},
                                           HurtCase{"Crouched47", 47, true, true},
                                           HurtCase{"Crouched60", 60, true, false}),
                         [](const ::testing::TestParamInfo<HurtCase>& i) { return std::string(i.param.name); });

// ---- Sub-effects -------------------------------------------------------------------------

TEST_F(FxMgrTest, EveryFiresAtMostEveryFiftiethOfASecond) {
    Effect("emitter", "Type Spark\nLife_Time -1\nEvery 0.001 puff 0\n");
    Effect("puff", "Type Spark\nLife_Time 100\nPos 1 0 0\n");
    g_FxMgr.LoadAll();
    const math::Vec3 at{0, 0, 50};
    FxInstance* e = g_FxMgr.SpawnFxByName("emitter", &at, nullptr);
    EXPECT_FLOAT_EQ(e->fEveryInterval[0], 0.02f);
    g_Engine.m_fFrameTime = 0.01f;
    Frames(10);
    EXPECT_EQ(Live("puff"), 5);
    // Without a parent the sub-effect's offset is added to the position.
    for (int i = 1; i < FxMgr::MAX_INSTANCES; ++i)
        if (std::strcmp(g_FxMgr.Instance(i)->szName, "puff") == 0) {
            EXPECT_EQ(g_FxMgr.Instance(i)->vPosition, math::Vec3(1, 0, 50));
        }
}

TEST_F(FxMgrTest, EveryFirstFiresARandomPartOfItsSpreadLater) {
    Effect("emitter", "Type Spark\nLife_Time -1\nEvery 0.1 puff 0.05\n");
    Effect("puff", "Type Spark\nLife_Time 100\n");
    g_FxMgr.LoadAll();
    g_Engine.m_fFrameTime = 0.01f;
    for (uint32_t seed : {1u, 2u, 3u, 4u}) {
        os::Srand(seed);
        g_FxMgr.KillAll();
        g_FxMgr.SpawnFxByName("emitter", nullptr, nullptr);
        int frames = 0;
        while (Live("puff") == 0 && frames < 100) {
            Frames(1);
            ++frames;
        }
        EXPECT_GE(frames, 10) << seed;
        EXPECT_LE(frames, 16) << seed;
    }
}

TEST_F(FxMgrTest, AfterFiresOnce) {
    Effect("parent", "Type Spark\nLife_Time 5\nAfter 0.25 child 0\n");
    Effect("child", "Type Spark\nLife_Time 100\n");
    g_FxMgr.LoadAll();
    FxInstance* p = g_FxMgr.SpawnFxByName("parent", nullptr, nullptr);
    Frames(2);
    EXPECT_EQ(Live("child"), 0);
    EXPECT_FALSE(p->bReplaceable);
    Frames(1);
    EXPECT_EQ(Live("child"), 1);
    Frames(10);
    EXPECT_EQ(Live("child"), 1);
    EXPECT_TRUE(p->bReplaceable);
}

TEST_F(FxMgrTest, SubEffectsWaitWhileTheInstanceIsBeyondItsDistance) {
    Effect("parent", "Type Spark\nLife_Time -1\nDisappear_Distance 100\nAfter 0 child 0\n");
    Effect("child", "Type Spark\nLife_Time 100\n");
    g_FxMgr.LoadAll();
    const math::Vec3 far{150, 0, 0};
    FxInstance* p = g_FxMgr.SpawnFxByName("parent", &far, nullptr);
    Frames(3);
    EXPECT_EQ(Live("child"), 0);
    p->vRenderPosition = {50, 0, 0};
    Frames(1);
    EXPECT_EQ(Live("child"), 1);
}

// ---- On an object's socket ---------------------------------------------------------------

TEST_F(FxMgrTest, FollowsTheSocketAfterTheCallersTextChanged) {
    fs::create_directories(dir_ / "models");
    fs::copy_file(fs::path(ZT_SOURCE_DIR) / "data" / "models" / "box.x", dir_ / "models" / "box.x");
    Write("scripts/mesh_sockets/box.txt", "mesh_filename MODELS\\BOX.X\nsocket top 0 0 64\n");
    ASSERT_EQ(g_MeshSocketsMgr.LoadAll(), 1u);
    Effect("glow", "Type Spark\nLife_Time -1\n");
    g_FxMgr.LoadAll();
    const float at[3] = {100, 0, 0};
    ObjectRecord* box = g_Engine.CreateObject(OT_MESH, "models\\box.x", 1, 0, at);
    ASSERT_NE(box, nullptr);
    char socket[16] = "top";
    FxInstance* fx = g_FxMgr.SpawnFxOnSocket("glow", box, socket, 1);
    ASSERT_NE(fx, Dummy());
    EXPECT_NEAR(fx->vPosition.y, 64.0f, 1e-3f);
    std::strcpy(socket, "gone");
    SetObjectPosition(box, {300, 0, 0});
    MarkConsole();
    Frames(1);
    EXPECT_NEAR(fx->vRenderPosition.x, 300.0f, 1e-3f);
    EXPECT_NEAR(fx->vRenderPosition.y, 64.0f, 1e-3f);
    EXPECT_EQ(fx->vPosition.x, 100.0f); // the spawn position stays
    EXPECT_FALSE(PrintedSinceMark("FX nie czyta socketa"));
    g_Engine.DeleteObject(box);
    Frames(1);
    EXPECT_EQ(fx->hParent, nullptr);
    g_MeshMgr.ReleaseAll();
    fs::remove_all(dir_ / "scripts" / "mesh_sockets");
    g_MeshSocketsMgr.LoadAll();
}

// ---- The explosion at spawn --------------------------------------------------------------

class FxExplosionTest : public FxMgrTest {
  protected:
    void SetUp() override {
        FxMgrTest::SetUp();
        fs::create_directories(dir_ / "sounds");
        fs::copy(fs::path(ZT_SOURCE_DIR) / "data" / "sounds" / "weapons", dir_ / "sounds" / "weapons");
        g_SoundMgr.SetBackend(audio::Backend::Silent);
        ASSERT_TRUE(g_SoundMgr.Init());
        Effect("boom", "Type Spark\nExplosion_Power 1.5\nLife_Time 1\n");
        g_FxMgr.LoadAll();
        for (ERenderer::Flash& f : g_Renderer.m_Flashes)
            f.fTime = 0.0f;
        g_MainGame.m_fLastExplosionPower = 0.0f;
    }
    void TearDown() override {
        g_GameAI.UnsetVariable("cicha_eksplozja", nullptr);
        g_SoundMgr.Lock().SetActive(false);
        g_SoundMgr.Release();
        g_SoundMgr.SetBackend(audio::Backend::Auto);
        FxMgrTest::TearDown();
    }
    static int ExplosionSounds() {
        int n = 0;
        for (strSound* s = g_SoundMgr.FirstSound(); s; s = s->pNext)
            if (std::strstr(s->szName, "weapons")) ++n;
        return n;
    }
    static int Flashes() {
        int n = 0;
        for (const ERenderer::Flash& f : g_Renderer.m_Flashes)
            if (f.fTime > 0.0f) ++n;
        return n;
    }
};

TEST_F(FxExplosionTest, NoneUpToLevelFrame200) {
    g_MainGame.m_iLevelFrame = 200;
    const math::Vec3 at{1, 2, 3};
    g_FxMgr.SpawnFxByName("boom", &at, nullptr);
    EXPECT_EQ(g_MainGame.m_fLastExplosionPower, 0.0f);
    EXPECT_EQ(ExplosionSounds(), 0);
    EXPECT_EQ(Flashes(), 0);
}

TEST_F(FxExplosionTest, ForceSoundAndFlashFromLevelFrame201) {
    g_MainGame.m_iLevelFrame = 201;
    const math::Vec3 at{1, 2, 3};
    g_FxMgr.SpawnFxByName("boom", &at, nullptr);
    EXPECT_FLOAT_EQ(g_MainGame.m_fLastExplosionPower, 1.5f);
    EXPECT_EQ(g_MainGame.m_vLastExplosion, at);
    EXPECT_EQ(ExplosionSounds(), 1);
    EXPECT_EQ(Flashes(), 1);
}

TEST_F(FxExplosionTest, AQuietExplosionHasNoSound) {
    g_MainGame.m_iLevelFrame = 201;
    g_GameAI.SetVariable("cicha_eksplozja", nullptr);
    g_FxMgr.SpawnFxByName("boom", nullptr, nullptr);
    EXPECT_FLOAT_EQ(g_MainGame.m_fLastExplosionPower, 1.5f);
    EXPECT_EQ(ExplosionSounds(), 0);
    EXPECT_EQ(Flashes(), 1);
}

} // namespace
