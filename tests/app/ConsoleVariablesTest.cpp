// The console's variables, its dispatcher, the files and lines it runs, and
// the command line.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>

#include "actors/ItemMgr.h"
#include "actors/player/Player.h"
#include "actors/PostacMgr.h"
#include "actors/WeaponMgr.h"
#include "app/Console.h"
#include "app/Debug.h"
#include "app/Options.h"
#include "game/CutScene.h"
#include "game/GameAI.h"
#include "game/Intro.h"
#include "platform/os/Os.h"
#include "render/EnvironmentSettings.h"
#include "render/PostProcess.h"
#include "tests/TestDir.h"
#include "world/BezierCamera.h"
#include "world/Camera.h"
#include "world/Engine.h"
#include "world/EngineObject.h"
#include "world/ObjectApi.h"
#include "world/ObjectRecord.h"

namespace fs = std::filesystem;

class ConsoleVariablesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        saved_ = os::StartDirectory();
        root_ = FreshTestDir("zt_consvar_");
        os::SetStartDirectory(root_.string());
        console_ = std::make_unique<EConsole>();
        std::memcpy(savedWorldFileName_, WorldFileName, sizeof WorldFileName);
    }
    void TearDown() override {
        console_.reset();
        std::memcpy(WorldFileName, savedWorldFileName_, sizeof WorldFileName);
        g_Engine.m_WorldToStart[0] = 0;
        g_Engine.m_bStartingWorld = 0;
        g_Engine.m_bQuit = 0;
        os::SetStartDirectory(saved_);
        fs::remove_all(root_);
    }
    std::string Log() const {
        std::ifstream in(root_ / "!console.txt", std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    void Write(const std::string& relative, const std::string& bytes) {
        std::ofstream(root_ / relative, std::ios::binary) << bytes;
    }
    float Value(const char* name) {
        ConsoleVariable* v = console_->FindVariable(name);
        return v ? v->fValue : -12345.0f;
    }
    void Set(const char* name, const char* value, bool fromConfig = false) {
        console_->SetVariable(name, value, fromConfig);
    }

    std::string saved_;
    fs::path root_;
    std::unique_ptr<EConsole> console_;
    char savedWorldFileName_[128];
};

// ---- The variable list ---------------------------------------------------------

TEST_F(ConsoleVariablesTest, StoreUpdatesByNameIgnoringCaseAndKeepsTheFlag) {
    console_->StoreVariable("BackupConsole", 1.0f, 1);
    console_->StoreVariable("backupconsole", 0.5f, 0);
    ConsoleVariable* v = console_->FindVariable("BACKUPCONSOLE");
    ASSERT_NE(v, nullptr);
    EXPECT_STREQ(v->szName, "BackupConsole");
    EXPECT_FLOAT_EQ(v->fValue, 0.5f);
    EXPECT_EQ(v->bFromConfig, 1);
    EXPECT_EQ(console_->FindVariable("Backup"), nullptr);
    EXPECT_EQ(console_->FindVariable(nullptr), nullptr);
}

TEST_F(ConsoleVariablesTest, NewEntriesGoToTheFrontAndQuitIsStoredAtConstruction) {
    ConsoleVariable* first = console_->Variables();
    ASSERT_NE(first, nullptr);
    EXPECT_STREQ(first->szName, "quit");
    EXPECT_FLOAT_EQ(first->fValue, 0.0f);
    console_->StoreVariable("a", 1, 0);
    console_->StoreVariable("b", 2, 0);
    ConsoleVariable* v = console_->Variables();
    EXPECT_STREQ(v->szName, "b");
    EXPECT_STREQ(v->pNext->szName, "a");
    EXPECT_EQ(v->pNext->pPrev, v);
    EXPECT_STREQ(v->pNext->pNext->szName, "quit");
    console_->FreeVariables();
    EXPECT_EQ(console_->Variables(), nullptr);
}

TEST_F(ConsoleVariablesTest, EntriesAreCountedByTheAllocationTracker) {
    const bool saved = g_bTrackAllocations;
    g_bTrackAllocations = true;
    const uint32_t before = g_Debug.GetAllocationCount("zmienna konsoli");
    console_->StoreVariable("x1", 1, 0);
    console_->StoreVariable("x2", 1, 0);
    console_->StoreVariable("x1", 2, 0);
    EXPECT_EQ(g_Debug.GetAllocationCount("zmienna konsoli"), before + 2);
    g_bTrackAllocations = saved;
}

// ---- The dispatcher: options -------------------------------------------------------

namespace {

enum class Kind { Bool, Int, UInt, Float };
struct OptionCase {
    const char* name;
    Kind kind;
    void* target;
};

// Every "set the option" name of the dispatcher with the global it sets.
const OptionCase kOptionCases[] = {
    {"Profiler", Kind::Int, &g_iProfiler},
    {"Difficulty", Kind::Int, &Difficulty},
    {"developer", Kind::Bool, &developer},
    {"DrawPostprocess", Kind::Bool, &DrawPostprocess},
    {"DrawPhysics", Kind::Bool, &DrawPhysics},
    {"DrawTextures", Kind::Bool, &DrawTextures},
    {"RecalculateOccluders", Kind::Bool, &RecalculateOccluders},
    {"SimpleRender", Kind::Bool, &SimpleRender},
    {"God", Kind::Bool, &God},
    {"mucha", Kind::Bool, &mucha},
    {"AOEnable", Kind::Bool, &AOEnable},
    {"AORenderScene", Kind::Bool, &AORenderScene},
    {"DrawCharacterTextures", Kind::Bool, &DrawCharacterTextures},
    {"DrawGrass", Kind::Bool, &DrawGrass},
    {"RaportUndefinedTextures", Kind::Bool, &RaportUndefinedTextures},
    {"RaportDoubleTextures", Kind::Bool, &RaportDoubleTextures},
    {"DrawAmbientLitObjects", Kind::Bool, &DrawAmbientLitObjects},
    {"DrawSkylightLitObjects", Kind::Bool, &DrawSkylightLitObjects},
    {"SkinmeshLightCoef", Kind::Float, &SkinmeshLightCoef},
    {"PrintShakeScreenDistance", Kind::Bool, &PrintShakeScreenDistance},
    {"DrawStickMarkers", Kind::Bool, &DrawStickMarkers},
    {"DrawNotImportant", Kind::Bool, &DrawNotImportant},
    {"DrawDetail", Kind::Bool, &DrawDetail},
    {"RecalculateSkyLightEveryFrame", Kind::Bool, &RecalculateSkyLightEveryFrame},
    {"Demo", Kind::Bool, &Demo},
    {"RaportVariables", Kind::Bool, &RaportVariables},
    {"LoadOneLevelTextureOnly", Kind::Bool, &LoadOneLevelTextureOnly},
    {"WideScreen", Kind::Bool, &WideScreen},
    {"AddFX", Kind::Bool, &AddFX},
    {"SkyLightPower", Kind::Float, &SkyLightPower},
    {"LightPowerMultiplier", Kind::Float, &LightPowerMultiplier},
    {"UpdateBezier", Kind::Bool, &UpdateBezier},
    {"UpdateModels", Kind::Bool, &UpdateModels},
    {"UpdatePostacMgr", Kind::Bool, &UpdatePostacMgr},
    {"DrawModels", Kind::Bool, &DrawModels},
    {"UpdateObjects", Kind::Bool, &UpdateObjects},
    {"DrawFX", Kind::Bool, &DrawFX},
    {"DrawWorld", Kind::Bool, &DrawWorld},
    {"DebugPerformance", Kind::Bool, &DebugPerformance},
    {"DebugLights", Kind::Int, &DebugLights},
    {"DebugVM", Kind::Bool, &DebugVM},
    {"DebugCharacters", Kind::Bool, &DebugCharacters},
    {"DebugHeroLights", Kind::Bool, &DebugHeroLights},
    {"RecalculateCamera", Kind::Bool, &RecalculateCamera},
    {"RecalculateSkyShadow", Kind::Bool, &RecalculateSkyShadow},
    {"UseSkyLight", Kind::Bool, &UseSkyLight},
    {"NumApprovedLights", Kind::Int, &NumApprovedLights},
    {"SkinMeshSpeed", Kind::Float, &SkinMeshSpeed},
    {"GlobalTimeSpeed", Kind::Float, &GlobalTimeSpeed},
    {"loadmodels", Kind::Bool, &loadmodels},
    {"DrawFPS", Kind::Bool, &DrawFPS},
    {"PrintPolygonCount", Kind::Bool, &PrintPolygonCount},
    {"DrawTransparent", Kind::Bool, &DrawTransparent},
    {"DrawTranslucent", Kind::Bool, &DrawTranslucent},
    {"DrawAnimatedShadows", Kind::Bool, &DrawAnimatedShadows},
    {"DrawShadows", Kind::Bool, &DrawShadows},
    {"DrawSky", Kind::Bool, &DrawSky},
    {"DrawWater", Kind::Bool, &DrawWater},
    {"raportsubsets", Kind::Bool, &raportsubsets},
    {"raporttextures", Kind::Bool, &raporttextures},
    {"sound", Kind::Bool, &sound},
    {"extractusedtextures", Kind::Bool, &extractusedtextures},
    {"raporttechs", Kind::Bool, &raporttechs},
    {"CorpseDisappearTime", Kind::Float, &CorpseDisappearTime},
    {"DrawCharacterPaths", Kind::Bool, &DrawCharacterPaths},
    {"DrawPaths", Kind::Bool, &DrawPaths},
    {"WireFrame", Kind::Bool, &WireFrame},
    {"DrawSprites", Kind::Bool, &DrawSprites},
    {"DrawLights", Kind::Bool, &DrawLights},
    {"StartMenu", Kind::Bool, &StartMenu},
    {"MuchaSpeed", Kind::Float, &MuchaSpeed},
    {"DrawCameraCoordinates", Kind::Bool, &DrawCameraCoordinates},
    {"DrawCompass", Kind::Bool, &DrawCompass},
    {"Debug", Kind::UInt, &Debug},
    {"SystemDebug", Kind::UInt, &SystemDebug},
    {"EnableAntialiasing", Kind::Bool, &EnableAntialiasing},
};

std::string Mangled(const char* name, int i) {
    // Names are matched without regard to case: alternate the spelling.
    std::string s = name;
    for (char& c : s) {
        if (i % 3 == 1) c = char(std::toupper(static_cast<unsigned char>(c)));
        if (i % 3 == 2) c = char(std::tolower(static_cast<unsigned char>(c)));
    }
    return s;
}

} // namespace

TEST_F(ConsoleVariablesTest, EveryOptionNameSetsItsGlobal) {
    int i = 0;
    for (const OptionCase& c : kOptionCases) {
        const std::string name = Mangled(c.name, i++);
        switch (c.kind) {
        case Kind::Bool: {
            bool& b = *static_cast<bool*>(c.target);
            const bool saved = b;
            Set(name.c_str(), saved ? "0" : "7");
            EXPECT_EQ(b, !saved) << name;
            Set(name.c_str(), saved ? "-2" : "0"); // any non-zero integer is on
            EXPECT_EQ(b, saved) << name;
            Set(name.c_str(), "x"); // no digits read as 0
            EXPECT_FALSE(b) << name;
            b = saved;
            break;
        }
        case Kind::Int: {
            int32_t& v = *static_cast<int32_t*>(c.target);
            const int32_t saved = v;
            Set(name.c_str(), "3.9"); // the value truncated to an integer
            EXPECT_EQ(v, 3) << name;
            v = saved;
            break;
        }
        case Kind::UInt: {
            uint32_t& v = *static_cast<uint32_t*>(c.target);
            const uint32_t saved = v;
            Set(name.c_str(), "2junk");
            EXPECT_EQ(v, 2u) << name;
            v = saved;
            break;
        }
        case Kind::Float: {
            float& v = *static_cast<float*>(c.target);
            const float saved = v;
            Set(name.c_str(), "2.75");
            EXPECT_FLOAT_EQ(v, 2.75f) << name;
            v = saved;
            break;
        }
        }
        EXPECT_NE(console_->FindVariable(c.name), nullptr) << name;
    }
    g_bTrackAllocations = SystemDebug != 0;
}

TEST_F(ConsoleVariablesTest, DrawProjectorsSetsBothFlagsOfThatName) {
    const bool a = DrawProjectors, b = DrawProjectors2;
    Set("DrawProjectors", "0");
    EXPECT_FALSE(DrawProjectors);
    EXPECT_FALSE(DrawProjectors2);
    Set("drawprojectors", "1");
    EXPECT_TRUE(DrawProjectors);
    EXPECT_TRUE(DrawProjectors2);
    DrawProjectors = a;
    DrawProjectors2 = b;
}

TEST_F(ConsoleVariablesTest, SystemDebugSwitchesTheAllocationTracker) {
    const bool saved = g_bTrackAllocations;
    const uint32_t savedValue = SystemDebug;
    Set("SystemDebug", "1");
    EXPECT_TRUE(g_bTrackAllocations);
    Set("SystemDebug", "0");
    EXPECT_FALSE(g_bTrackAllocations);
    SystemDebug = savedValue;
    g_bTrackAllocations = saved;
}

// ---- The dispatcher: commands and setters ---------------------------------------------

namespace {
struct HandlerCase {
    const char* name;
    const char* value;
    std::function<void(EConsole&)> before;
    std::function<void(EConsole&)> check;
    bool ends; // the row stores no placeholders
};

ItemSlot g_testWeapon;
} // namespace

TEST_F(ConsoleVariablesTest, EveryCommandRowReachesItsHandler) {
    const float savedHealth = PlayerHealth;
    const uint8_t savedWeapons = WeaponsEnabled;
    const float savedFov = FOV, savedCurrentFov = CurrentFOV;
    const uint32_t savedW = screenwidth, savedH = screenheight;
    const float savedFar = g_Camera.GetFarZ();
    const EPostProcess savedPostProcess = g_PostProcess;
    const Intro savedIntro = g_Intro;
    const CBezierCamera savedBezier = g_BezierCamera;

    const HandlerCase cases[] = {
        {"credits", "1", nullptr,
         [](EConsole& c) { EXPECT_FLOAT_EQ(c.FindVariable("credits")->fValue, 1.0f); }, false},
        {"Intro", "2", [](EConsole&) { g_Intro = Intro(); },
         [](EConsole&) {
             EXPECT_TRUE(g_Intro.m_bActive);
             EXPECT_EQ(g_Intro.m_iScene, 2);
             EXPECT_EQ(g_Intro.m_iStage, 0);
         },
         false},
        {"CombatMode", "0",
         [](EConsole&) {
             WeaponsEnabled = 1;
             g_WeaponMgr.m_pCurrentWeapon = &g_testWeapon;
         },
         [](EConsole&) {
             EXPECT_EQ(WeaponsEnabled, 0);
             EXPECT_EQ(g_WeaponMgr.m_pCurrentWeapon, nullptr); // put away
         },
         false},
        {"CombatMode", "1", [](EConsole&) { WeaponsEnabled = 0; },
         [](EConsole&) { EXPECT_EQ(WeaponsEnabled, 1); }, false},
        {"Gimme", "rifle", nullptr,
         [this](EConsole&) { EXPECT_NE(Log().find("No dsc found for rifle\n"), std::string::npos); }, false},
        {"Health", "55.5", nullptr, [](EConsole&) { EXPECT_FLOAT_EQ(PlayerHealth, 55.5f); }, false},
        {"Health", "1000", nullptr, [](EConsole&) { EXPECT_FLOAT_EQ(PlayerHealth, PlayerMaxHealth); }, false},
        {"SectorHide", "7", [](EConsole&) { SetSectorHidden(7, false); },
         [](EConsole&) { EXPECT_TRUE(IsSectorHidden(7)); }, false},
        {"SectorShow", "7", [](EConsole&) { SetSectorHidden(7, true); },
         [](EConsole&) { EXPECT_FALSE(IsSectorHidden(7)); }, false},
        {"SectorShowAll", "1",
         [](EConsole&) {
             SetSectorHidden(1, true);
             SetSectorHidden(255, true);
         },
         [](EConsole&) {
             EXPECT_FALSE(IsSectorHidden(1));
             EXPECT_FALSE(IsSectorHidden(255));
         },
         false},
        {"AODepth", "12.5", nullptr, [](EConsole&) { EXPECT_FLOAT_EQ(g_PostProcess.m_fAODepth, 12.5f); },
         false},
        {"AOIntensity", "0.25", nullptr,
         [](EConsole&) { EXPECT_FLOAT_EQ(g_PostProcess.m_fAOIntensity, 250.0f); }, false},
        {"HDRTargetLuminance", "0.35", nullptr,
         [](EConsole&) { EXPECT_FLOAT_EQ(g_PostProcess.m_fTargetLuminance, 0.35f); }, false},
        // Either bloom name sets both values from the list (0 when missing).
        {"BloomCone", "3", nullptr,
         [](EConsole&) {
             EXPECT_FLOAT_EQ(g_PostProcess.m_fBloomCone, 3.0f);
             EXPECT_FLOAT_EQ(g_PostProcess.m_fBloomPower, 0.0f);
         },
         false},
        {"BloomPower", "1.5", [](EConsole& c) { c.StoreVariable("BloomCone", 3.0f, 0); },
         [](EConsole&) {
             EXPECT_FLOAT_EQ(g_PostProcess.m_fBloomCone, 3.0f);
             EXPECT_FLOAT_EQ(g_PostProcess.m_fBloomPower, 1.5f);
         },
         false},
        {"CutScene", "bridge_fall", nullptr,
         [](EConsole&) { EXPECT_STREQ(g_CutScene.m_szRequestedScene, "bridge_fall"); }, true},
        {"BezierCamera", "cam_start tgt_start", nullptr,
         [](EConsole&) {
             EXPECT_EQ(g_BezierCamera.m_bActive, 1);
             EXPECT_STREQ(g_BezierCamera.m_szCameraNode, "cam_start");
             EXPECT_STREQ(g_BezierCamera.m_szTargetNode, "tgt_start");
         },
         false},
        {"BezierCamera", "solo", nullptr,
         [](EConsole&) {
             EXPECT_STREQ(g_BezierCamera.m_szCameraNode, "solo");
             EXPECT_STREQ(g_BezierCamera.m_szTargetNode, "");
         },
         false},
        {"DeleteDead", "1",
         [](EConsole&) {
             g_PostacMgr.m_Postacie[3] = {true, true, "dead"};
             g_PostacMgr.m_Postacie[4] = {true, false, "alive"};
         },
         [](EConsole&) {
             EXPECT_FALSE(g_PostacMgr.m_Postacie[3].bUsed);
             EXPECT_TRUE(g_PostacMgr.m_Postacie[4].bUsed);
             g_PostacMgr.m_Postacie[4] = strpostac();
         },
         true},
        {"FOV", "1.3", nullptr,
         [](EConsole&) {
             EXPECT_FLOAT_EQ(FOV, 1.3f);
             EXPECT_FLOAT_EQ(CurrentFOV, 1.3f);
             const float fov = 1.3f * 0.7853982f;
             EXPECT_NEAR(g_Camera.Projection().m[1][1], 1.0f / std::tan(0.5f * fov), 1e-5f);
         },
         false},
        {"screenwidth", "1280", nullptr, [](EConsole&) { EXPECT_EQ(screenwidth, 1280u); }, false},
        {"screenheight", "720", nullptr, [](EConsole&) { EXPECT_EQ(screenheight, 720u); }, false},
        {"DrawFog", "1", [](EConsole&) { g_EnvironmentSettings.DisableFog(); },
         [](EConsole&) { EXPECT_TRUE(g_EnvironmentSettings.FogEnabled()); }, false},
        {"DrawFog", "0", [](EConsole&) { g_EnvironmentSettings.EnableFog(); },
         [](EConsole&) { EXPECT_FALSE(g_EnvironmentSettings.FogEnabled()); }, false},
        {"numconsolelines", "12", nullptr, [](EConsole& c) { EXPECT_EQ(c.NumConsoleLines(), 12u); }, false},
        {"farz", "5000", nullptr, [](EConsole&) { EXPECT_FLOAT_EQ(g_Camera.GetFarZ(), 5000.0f); }, false},
        {"fogfar", "8000", nullptr,
         [](EConsole&) {
             float v = 0;
             g_EnvironmentSettings.GetFogFar(&v, 0);
             EXPECT_FLOAT_EQ(v, 8000.0f);
         },
         false},
        {"fognear", "120", nullptr,
         [](EConsole&) {
             float v = 0;
             g_EnvironmentSettings.GetFogNear(&v, 0);
             EXPECT_FLOAT_EQ(v, 120.0f);
         },
         false},
        {"Gamma", "5", nullptr,
         [](EConsole&) {
             EXPECT_FLOAT_EQ(g_Camera.GetGamma(), 3.0f);
             EXPECT_FLOAT_EQ(g_Camera.GammaG(), 3.0f);
         },
         false},
        {"Gamma", "0.2", nullptr, [](EConsole&) { EXPECT_FLOAT_EQ(g_Camera.GammaB(), 0.5f); }, false},
        {"GammaR", "1.2", nullptr, [](EConsole&) { EXPECT_FLOAT_EQ(g_Camera.GammaR(), 1.2f); }, false},
        {"GammaG", "1.3", nullptr, [](EConsole&) { EXPECT_FLOAT_EQ(g_Camera.GammaG(), 1.3f); }, false},
        {"GammaB", "1.4", nullptr, [](EConsole&) { EXPECT_FLOAT_EQ(g_Camera.GammaB(), 1.4f); }, false},
    };
    for (const HandlerCase& c : cases) {
        console_ = std::make_unique<EConsole>();
        if (c.before) c.before(*console_);
        Set(c.name, c.value);
        c.check(*console_);
        EXPECT_EQ(console_->FindVariable("Fog") != nullptr, !c.ends) << c.name;
        EXPECT_EQ(console_->FindVariable("SkyLight") != nullptr, !c.ends) << c.name;
        if (HasFailure()) {
            ADD_FAILURE() << "row " << c.name << " " << c.value;
            break;
        }
    }
    PlayerHealth = savedHealth;
    WeaponsEnabled = savedWeapons;
    g_WeaponMgr.m_pCurrentWeapon = nullptr;
    FOV = savedFov;
    CurrentFOV = savedCurrentFov;
    screenwidth = savedW;
    screenheight = savedH;
    g_Camera.SetFarZ(savedFar); // also rebuilds the projection
    g_Camera.SetGamma(1.0f);
    g_PostProcess = savedPostProcess;
    g_Intro = savedIntro;
    g_BezierCamera = savedBezier;
}

TEST_F(ConsoleVariablesTest, ColourRowsSetChannelsOfSetZero) {
    struct Case {
        const char* name;
        const char* value;
        uint32_t fog, ambient, sky; // expected packed colours after the line
    } cases[] = {
        {"fogr", "16", 0x100000, 0, 0},
        {"fogg", "32", 0x102000, 0, 0},
        {"fogb", "48", 0x102030, 0, 0},
        {"fogr", "300", 0x2C2030, 0, 0}, // truncated, low 8 bits
        {"Fog", "1 2 3", 0x010203, 0, 0},
        {"Fog", "9", 0x090000, 0, 0}, // missing numbers are 0
        {"ambientr", "255", 0x090000, 0xFF0000, 0},
        {"ambientg", "1.9", 0x090000, 0xFF0100, 0},
        {"ambientb", "2", 0x090000, 0xFF0102, 0},
        {"ambient", "10 20 30", 0x090000, 0x0A141E, 0},
        {"skylightr", "1", 0x090000, 0x0A141E, 0x010000},
        {"skylightg", "2", 0x090000, 0x0A141E, 0x010200},
        {"skylightb", "256", 0x090000, 0x0A141E, 0x010200},
        {"SkyLight", "7 8 9", 0x090000, 0x0A141E, 0x070809},
        // Beyond every integer: cut to the int range, whose low 8 bits are kept.
        {"ambientr", "99999999999999999999999999999999999999999", 0x090000, 0xFF141E, 0x070809},
        {"fogb", "-99999999999999999999999999999999999999999", 0x090000, 0xFF141E, 0x070809},
    };
    g_EnvironmentSettings.SetFogColor(0, 0);
    g_EnvironmentSettings.SetAmbientColor(0, 0);
    g_EnvironmentSettings.SetSkyLightColor(0);
    for (const Case& c : cases) {
        Set(c.name, c.value);
        uint32_t fog = 0, sky = 0;
        g_EnvironmentSettings.GetFogColor(&fog, 0);
        g_EnvironmentSettings.GetSkyLightColor(&sky);
        EXPECT_EQ(fog, c.fog) << c.name << " " << c.value;
        EXPECT_EQ(g_EnvironmentSettings.GetAmbientColor(0), c.ambient) << c.name << " " << c.value;
        EXPECT_EQ(sky, c.sky) << c.name << " " << c.value;
    }
    // The fog setters reach the camera's clear colour and the FogR/G/B
    // variables of the program's console.
    EXPECT_EQ(g_Camera.GetBackgroundColor(), 0x090000u);
    EXPECT_FLOAT_EQ(g_Console.FindVariable("FogR")->fValue, 9.0f);
    EXPECT_FLOAT_EQ(g_Console.FindVariable("FogG")->fValue, 0.0f);
    g_EnvironmentSettings.SetFogColor(0, 0);
    g_EnvironmentSettings.SetAmbientColor(0, 0);
    g_EnvironmentSettings.SetSkyLightColor(0);
}

TEST_F(ConsoleVariablesTest, DirectionRowsBuildTheForwardAxisOfYawAndPitch) {
    struct Case {
        const char* name;
        const char* value;
        bool sky;
        float x, y, z;
    } cases[] = {
        {"SkyLightRotation", "90", true, 1, 0, 0}, // pitch missing: 0
        {"SkyLightPitch", "90", true, 0, -1, 0},
        {"SkyLightRotation", "0", true, 0, -1, 0},
        {"SkyLightPitch", "0", true, 0, 0, 1},
        {"LensFlareRotation", "180", false, 0, 0, -1},
        {"LensFlarePitch", "-45", false, 0, 0.70710677f, -0.70710677f},
    };
    for (const Case& c : cases) {
        Set(c.name, c.value);
        const float* d =
            c.sky ? g_EnvironmentSettings.SkyLightDirection() : g_EnvironmentSettings.LensFlareDirection();
        EXPECT_NEAR(d[0], c.x, 1e-5f) << c.name << " " << c.value;
        EXPECT_NEAR(d[1], c.y, 1e-5f) << c.name << " " << c.value;
        EXPECT_NEAR(d[2], c.z, 1e-5f) << c.name << " " << c.value;
    }
    const float start[3] = {-1.0f, -0.5f, 0.5f};
    g_EnvironmentSettings.SetSkyLightDirection(start);
    g_EnvironmentSettings.SetLensFlareDirection(start);
}

TEST_F(ConsoleVariablesTest, WeaponPlacementRowsNeedACurrentWeapon) {
    struct Case {
        const char* name;
        float* field;
    } cases[] = {
        {"BronX", &g_testWeapon.vCarriedPos[0]},    {"BronY", &g_testWeapon.vCarriedPos[1]},
        {"BronZ", &g_testWeapon.vCarriedPos[2]},    {"BronAX", &g_testWeapon.vAimPos[0]},
        {"BronAY", &g_testWeapon.vAimPos[1]},       {"BronAZ", &g_testWeapon.vAimPos[2]},
        {"BronRY", &g_testWeapon.fHeldRotation[0]}, {"BronRAY", &g_testWeapon.fHeldRotation[1]},
        {"BronRX", &g_testWeapon.fHeldRotation[2]}, {"BronRAX", &g_testWeapon.fHeldRotation[3]},
    };
    g_testWeapon = ItemSlot();
    g_WeaponMgr.m_pCurrentWeapon = nullptr;
    for (const Case& c : cases)
        Set(c.name, "4.5");
    for (const Case& c : cases)
        EXPECT_FLOAT_EQ(*c.field, 0.0f) << c.name;

    g_WeaponMgr.m_pCurrentWeapon = &g_testWeapon;
    float value = 1.0f;
    for (const Case& c : cases) {
        Set(c.name, std::to_string(value).c_str());
        EXPECT_FLOAT_EQ(*c.field, value) << c.name;
        value += 1.0f;
    }
    // Each name set exactly its own field.
    value = 1.0f;
    for (const Case& c : cases) {
        EXPECT_FLOAT_EQ(*c.field, value) << c.name;
        value += 1.0f;
    }
    g_WeaponMgr.m_pCurrentWeapon = nullptr;
}

TEST_F(ConsoleVariablesTest, NamesWithoutAValueDoNothing) {
    const bool saved = DrawShadows;
    Set("DrawShadows", "");
    Set("DrawShadows", nullptr);
    Set("", "1");
    Set(nullptr, "1");
    EXPECT_EQ(DrawShadows, saved);
    EXPECT_EQ(console_->FindVariable("DrawShadows"), nullptr);
    EXPECT_EQ(console_->FindVariable("Fog"), nullptr);
}

TEST_F(ConsoleVariablesTest, UnknownNamesAreStoredAndCostNothingElse) {
    Set("NoSuchThing", "2.5", true);
    EXPECT_FLOAT_EQ(Value("NoSuchThing"), 2.5f);
    EXPECT_EQ(console_->FindVariable("NoSuchThing")->bFromConfig, 1);
    EXPECT_FLOAT_EQ(Value("Fog"), 0.0f);
    EXPECT_FLOAT_EQ(Value("Ambient"), 0.0f);
    EXPECT_FLOAT_EQ(Value("SkyLight"), 0.0f);
}

TEST_F(ConsoleVariablesTest, DropDebugPrintsTheAllocationReport) {
    const bool saved = g_bTrackAllocations;
    g_bTrackAllocations = true;
    Set("DropDebug", nullptr);
    g_bTrackAllocations = saved;
    const std::string log = Log();
    EXPECT_EQ(log.rfind("............\n*** Current memory allocations:\n", 0), 0u) << log;
    EXPECT_EQ(console_->FindVariable("DropDebug"), nullptr);
}

TEST_F(ConsoleVariablesTest, RunworldFromConfigOnlyRecordsTheName) {
    Set("runworld", "worlds\\level_02.w", true);
    EXPECT_STREQ(WorldFileName, "worlds\\level_02.w");
    EXPECT_STREQ(g_Engine.m_WorldToStart, "");
    EXPECT_NE(console_->FindVariable("Fog"), nullptr);

    console_ = std::make_unique<EConsole>();
    Set("runworld", "worlds\\test.w", false);
    EXPECT_STREQ(WorldFileName, "worlds\\test.w");
    EXPECT_STREQ(g_Engine.m_WorldToStart, "worlds\\test.w");
    EXPECT_EQ(g_Engine.m_bStartingWorld, 1);
    EXPECT_EQ(console_->FindVariable("Fog"), nullptr); // the command ends there
}

// ---- Files and lines ----------------------------------------------------------------

TEST_F(ConsoleVariablesTest, ZtCfgLinesSetVariablesFromConfigAndTheScaleFactors) {
    const uint32_t savedW = screenwidth, savedH = screenheight;
    const bool savedShadows = DrawShadows;
    Write("zt.cfg",
          "screenwidth 1280\r\n"
          "screenheight\t960\n"
          "DrawShadows 0   \n"
          "\n"
          "MyOwnSetting 4.25\n"
          " leading blank 1\n"
          "runworld worlds\\test.w\n"
          "BackupConsole 1"); // no line end at the end of the file
    console_->ExecFile("ZT.CFG");
    EXPECT_EQ(screenwidth, 1280u);
    EXPECT_EQ(screenheight, 960u);
    EXPECT_FALSE(DrawShadows);
    EXPECT_FLOAT_EQ(Value("MyOwnSetting"), 4.25f);
    EXPECT_EQ(console_->FindVariable("MyOwnSetting")->bFromConfig, 1);
    EXPECT_FLOAT_EQ(Value("BackupConsole"), 1.0f);
    EXPECT_EQ(console_->FindVariable("leading"), nullptr);
    EXPECT_STREQ(WorldFileName, "worlds\\test.w");
    EXPECT_STREQ(g_Engine.m_WorldToStart, ""); // recorded, not started
    EXPECT_FLOAT_EQ(g_f2DScaleX, 1280.0f / 1024.0f);
    EXPECT_FLOAT_EQ(g_f2DScaleY, 960.0f / 768.0f);

    // Any other file dispatches as the command line does, and also sets the
    // scale factors.
    Write("other.cfg", "screenwidth 512\nrunworld worlds\\b.w\nOther 1\n");
    console_->ExecFile("other.cfg");
    EXPECT_EQ(console_->FindVariable("Other")->bFromConfig, 0);
    EXPECT_STREQ(g_Engine.m_WorldToStart, "worlds\\b.w");
    EXPECT_FLOAT_EQ(g_f2DScaleX, 0.5f);

    screenwidth = savedW;
    screenheight = savedH;
    DrawShadows = savedShadows;
}

// A script of many names: each is stored once and found by any spelling of
// its letters; a name longer than the entry keeps is stored cut and is never
// found by its full spelling, so each line of it adds an entry.
TEST_F(ConsoleVariablesTest, ManyNamesAreEachStoredOnceAndFound) {
    constexpr int kNames = 4000;
    std::string script;
    for (int round = 0; round < 2; ++round)
        for (int i = 0; i < kNames; ++i)
            script += "Name" + std::to_string(i) + " " + std::to_string(i + round) + "\n";
    const std::string longName(200, 'L');
    script += longName + " 1\n" + longName + " 2\n";
    Write("many.cfg", script);
    console_->ExecFile("many.cfg");
    for (int i = 0; i < kNames; i += 397)
        EXPECT_FLOAT_EQ(Value(("NAME" + std::to_string(i)).c_str()), float(i + 1)) << i;
    size_t entries = 0, cut = 0;
    for (const ConsoleVariable* v = console_->Variables(); v; v = v->pNext) {
        ++entries;
        cut += std::string(v->szName) == longName.substr(0, sizeof v->szName - 1);
    }
    EXPECT_EQ(cut, 2u);
    EXPECT_EQ(console_->FindVariable(longName.c_str()), nullptr);
    ASSERT_NE(console_->FindVariable(longName.substr(0, 127).c_str()), nullptr);
    EXPECT_FLOAT_EQ(console_->FindVariable(longName.substr(0, 127).c_str())->fValue, 2.0f);
    EXPECT_GE(entries, size_t(kNames) + 2);
}

TEST_F(ConsoleVariablesTest, MissingFilesAndEmptyNamesRunNothing) {
    const float sx = g_f2DScaleX;
    console_->ExecFile("missing.cfg");
    console_->ExecFileIfNamed("");
    console_->ExecFileIfNamed(nullptr);
    EXPECT_FLOAT_EQ(g_f2DScaleX, sx);
    Write("script.txt", "ScriptValue 3\n");
    console_->ExecFileIfNamed("script.txt");
    EXPECT_FLOAT_EQ(Value("ScriptValue"), 3.0f);
}

TEST_F(ConsoleVariablesTest, ExecLineSplitsAtTheFirstBlankOrTab) {
    struct Case {
        const char* line;
        const char* name;
        float value;
    } cases[] = {
        {"alpha 1.5", "alpha", 1.5f},
        {"beta\t  2", "beta", 2.0f},
        {"gamma  3 4 5", "gamma", 3.0f},
    };
    for (const Case& c : cases) {
        console_->ExecLine(c.line);
        EXPECT_FLOAT_EQ(Value(c.name), c.value) << c.line;
    }
    console_->ExecLine("lonely");
    EXPECT_EQ(console_->FindVariable("lonely"), nullptr);
}

// ---- Re-applying --------------------------------------------------------------------

TEST_F(ConsoleVariablesTest, ReapplyResendsOptionsWithTheirValueAndType) {
    const float savedSpeed = GlobalTimeSpeed;
    const int32_t savedLights = DebugLights;
    const float savedSkin = SkinMeshSpeed;
    const uint32_t savedDebug = Debug;
    const float savedMucha = MuchaSpeed;
    Set("MuchaSpeed", "0.0000001");
    Set("GlobalTimeSpeed", "0.5");
    Set("DebugLights", "2.7");
    Set("SkinMeshSpeed", "0.333");
    Set("Debug", "1000000000");
    GlobalTimeSpeed = 1.0f;
    DebugLights = 0;
    SkinMeshSpeed = 1.0f;
    Debug = 0;
    MuchaSpeed = 1.0f;
    console_->ReapplyVariables();
    EXPECT_FLOAT_EQ(GlobalTimeSpeed, 0.5f);
    EXPECT_EQ(DebugLights, 2);              // an integer row gets the integer it was given
    EXPECT_FLOAT_EQ(SkinMeshSpeed, 0.333f); // every digit kept
    EXPECT_EQ(Debug, 1000000000u);          // never in an exponent form the reader cuts short
    EXPECT_FLOAT_EQ(MuchaSpeed, 1e-7f);     // nor a small number
    GlobalTimeSpeed = savedSpeed;
    DebugLights = savedLights;
    SkinMeshSpeed = savedSkin;
    Debug = savedDebug;
    MuchaSpeed = savedMucha;
}

// The placeholders "Fog", "Ambient" and "SkyLight" hold 0; re-sending them
// would turn fog, ambient and sky light black at every world start.
TEST_F(ConsoleVariablesTest, ReapplyKeepsTheColoursAndNeverRestartsTheWorld) {
    Set("Fog", "10 20 30");
    Set("ambient", "40 50 60");
    Set("SkyLight", "70 80 90");
    Set("runworld", "worlds\\test.w", true);
    std::memcpy(WorldFileName, "kept", 5);
    console_->ReapplyVariables();
    uint32_t fog = 0, sky = 0;
    g_EnvironmentSettings.GetFogColor(&fog, 0);
    g_EnvironmentSettings.GetSkyLightColor(&sky);
    EXPECT_EQ(fog, 0x0A141Eu);
    EXPECT_EQ(g_EnvironmentSettings.GetAmbientColor(0), 0x28323Cu);
    EXPECT_EQ(sky, 0x46505Au);
    EXPECT_STREQ(WorldFileName, "kept");
    EXPECT_STREQ(g_Engine.m_WorldToStart, "");
    g_EnvironmentSettings.SetFogColor(0, 0);
    g_EnvironmentSettings.SetAmbientColor(0, 0);
    g_EnvironmentSettings.SetSkyLightColor(0);
}

// ---- The command line -----------------------------------------------------------------

namespace {
void TypeLine(EConsole& c, const char* text) {
    for (const char* p = text; *p; ++p) {
        char k = *p;
        uint32_t code = (k >= 'a' && k <= 'z') ? uint32_t(k - 'a' + 'A') : uint32_t(k);
        if (k == '.') code = 190;
        if (k == '\\') code = 220;
        c.OnKey(code);
    }
    c.OnKey(13);
}
} // namespace

TEST_F(ConsoleVariablesTest, CommandLineDispatchesAndPrints) {
    const float savedPower = SkyLightPower;
    TypeLine(*console_, "skylightpower 2.5");
    EXPECT_FLOAT_EQ(SkyLightPower, 2.5f);
    EXPECT_STREQ(console_->CommandLine(), "");
    EXPECT_EQ(console_->Cursor(), 0u);
    TypeLine(*console_, "skylightpower");
    TypeLine(*console_, "nothing");
    TypeLine(*console_, "versionfor");
    EXPECT_EQ(Log(), "skylightpower 2.5\nskylightpower == 2.500000\nnothing\n \nFinal release.\n");
    EXPECT_STREQ(console_->HistoryEntry(1), "versionfor");
    SkyLightPower = savedPower;
}

TEST_F(ConsoleVariablesTest, CommandLineQuitExecAndClose) {
    TypeLine(*console_, "quit");
    EXPECT_EQ(g_Engine.m_bQuit, 1);

    Write("more.cfg", "FromExec 6\n");
    TypeLine(*console_, "exec more.cfg");
    EXPECT_FLOAT_EQ(Value("FromExec"), 6.0f);
    EXPECT_EQ(console_->FindVariable("exec"), nullptr);

    console_->Open();
    TypeLine(*console_, "close");
    EXPECT_FALSE(console_->IsOpen());
    EXPECT_EQ(Log(), "");
}

TEST_F(ConsoleVariablesTest, RunworldTypedStartsTheWorldAtTheEndOfTheFrame) {
    TypeLine(*console_, "runworld worlds\\test.w");
    EXPECT_STREQ(g_Engine.m_WorldToStart, "worlds\\test.w");
    EXPECT_STREQ(WorldFileName, "worlds\\test.w");
}

// ---- Rows that reach world objects --------------------------------------------------------

class ConsoleWorldRowsTest : public ConsoleVariablesTest {
  protected:
    void SetUp() override {
        ConsoleVariablesTest::SetUp();
        const math::Vec3 at(100.0f, 20.0f, -300.0f);
        object_ = g_Engine.CreateObject(OT_LIGHT, "", 0, 0, &at.x);
        ASSERT_NE(object_, nullptr);
        SetObjectName(object_, "console_test_door");
    }
    void TearDown() override {
        if (g_Engine.FindObjectByName("console_test_door")) g_Engine.DeleteObject(object_);
        ConsoleVariablesTest::TearDown();
    }
    ObjectRecord* object_ = nullptr;
};

TEST_F(ConsoleWorldRowsTest, TeleportMovesThePlayer64AboveTheObject) {
    Set("Teleport", "CONSOLE_TEST_DOOR");
    EXPECT_FLOAT_EQ(g_Player.m_vPosition.x, 100.0f);
    EXPECT_FLOAT_EQ(g_Player.m_vPosition.y, 84.0f);
    EXPECT_FLOAT_EQ(g_Player.m_vPosition.z, -300.0f);
    EXPECT_NE(console_->FindVariable("Fog"), nullptr);

    g_Player.m_vPosition.x = 7.0f;
    Set("Teleport", "no_such_object");
    EXPECT_FLOAT_EQ(g_Player.m_vPosition.x, 7.0f);
}

TEST_F(ConsoleWorldRowsTest, ActionRunsTheNamedObjectsActionAndEnds) {
    const uint32_t before = g_EngineObject.m_iActionsRun;
    Set("Action", "console_test_door");
    EXPECT_EQ(g_EngineObject.m_iActionsRun, before + 1);
    EXPECT_EQ(g_EngineObject.m_pLastActionObject, object_);
    EXPECT_EQ(console_->FindVariable("Fog"), nullptr);
    Set("Action", "no_such_object");
    EXPECT_EQ(g_EngineObject.m_iActionsRun, before + 1);
}

TEST_F(ConsoleWorldRowsTest, WipeOutDeletesAndEnds) {
    object_->bAlwaysWipe = 1;
    Set("WipeOut", "1000000");
    EXPECT_EQ(g_Engine.FindObjectByName("console_test_door"), nullptr);
    EXPECT_NE(Log().find("WipeOut complete for 1000000\n"), std::string::npos);
    EXPECT_EQ(console_->FindVariable("Fog"), nullptr);
}

// RaportVariables: the script variables' changes go to "!variables.txt".
TEST_F(ConsoleWorldRowsTest, RaportVariablesLogsScriptVariableChanges) {
    const bool saved = RaportVariables;
    Set("RaportVariables", "1");
    g_GameAI.SetVariable("console_test_flag", object_);
    g_GameAI.UnsetVariable("console_test_flag", nullptr);
    Set("RaportVariables", "0");
    g_GameAI.SetVariable("console_test_quiet", nullptr);
    RaportVariables = saved;
    std::ifstream in(root_ / "!variables.txt", std::ios::binary);
    const std::string log((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(log, "zmienna console_test_flag set by console_test_door\nzmienna console_test_flag unset\n");
    g_GameAI.ResetVariables();
}

// One-off commands run once: a world started after them keeps its objects
// and its actions do not fire again.
TEST_F(ConsoleWorldRowsTest, ReapplyRunsNoCommandAgain) {
    object_->bAlwaysWipe = 1;
    Set("Action", "console_test_door");
    const uint32_t actions = g_EngineObject.m_iActionsRun;
    Set("WipeOut", "1000000");
    const math::Vec3 at(0.0f, 0.0f, 0.0f);
    object_ = g_Engine.CreateObject(OT_LIGHT, "", 0, 0, &at.x);
    ASSERT_NE(object_, nullptr);
    SetObjectName(object_, "console_test_door");
    object_->bAlwaysWipe = 1;
    console_->ReapplyVariables();
    EXPECT_NE(g_Engine.FindObjectByName("console_test_door"), nullptr);
    EXPECT_EQ(g_EngineObject.m_iActionsRun, actions);
}
