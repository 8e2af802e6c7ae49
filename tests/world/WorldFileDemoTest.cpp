// The demo world worlds\test.w, loaded from a copy of data/: the table holds
// what the file says, field by field; then thousands of seeded mutations of
// the same file load without a crash.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "app/Console.h"
#include "app/Options.h"
#include "platform/os/Os.h"
#include "render/EnvironmentSettings.h"
#include "render/Mesh.h"
#include "render/PostProcess.h"
#include "tests/world/WorldFileFixture.h"
#include "world/BezierMgr.h"
#include "world/Camera.h"
#include "world/DeathParams.h"
#include "world/ObjectAction.h"
#include "world/ObjectApi.h"
#include "world/ObjectKeys.h"
#include "world/VisBlockers.h"
#include "world/WorldMgr.h"

using namespace wftest;

namespace {

class DemoWorld : public ::testing::Test {
  protected:
    void SetUp() override {
        ClearObjects();
        g_VisBlockers.Clear();
        g_BezierMgr.FreeAll();
        std::filesystem::path data = std::filesystem::path(ZT_SOURCE_DIR) / "data";
        for (const char* folder : {"models", "prefabs", "worlds"})
            std::filesystem::copy(data / folder, m_Dir.Path() / folder,
                                  std::filesystem::copy_options::recursive);
    }
    void TearDown() override {
        ClearObjects();
        g_VisBlockers.Clear();
        g_BezierMgr.FreeAll();
    }
    static ObjectRecord* Find(const char* name) { return g_Engine.FindObjectByName(name); }

    TempDataDir m_Dir;
};

TEST_F(DemoWorld, LoadsEveryObjectAsTheFileSays) {
    ASSERT_TRUE(g_WorldMgr.LoadWorld("worlds\\test.w"));
    EXPECT_FALSE(g_WorldMgr.m_bLoadError);
    EXPECT_EQ(g_WorldMgr.m_nErrorLines, 0u);

    // Eighty-four objects and the sky: the visibility blocker's marker left
    // the table.
    int count = 0;
    for (int slot = 0; slot < EEngine::MAX_OBJECTS; ++slot)
        count += g_Engine.Object(slot)->bUsed;
    EXPECT_EQ(count, 85);
    EXPECT_FALSE(Find("blocker_hall"));
    // The swaying tree and the dropped item of the sky-light pass.
    ASSERT_TRUE(Find("tree"));
    EXPECT_EQ(Find("tree")->bIsItTree, 1);
    ASSERT_TRUE(Find("dropped_item"));
    EXPECT_EQ(Find("dropped_item")->bItemDropped, 1);
    EXPECT_EQ(g_VisBlockers.Count(), 1);
    EXPECT_TRUE(g_VisBlockers.Get(0).bUsed);

    struct Placed {
        const char* name;
        uint32_t type;
        PESEL pesel;
        math::Vec3 position;
        math::Vec3 scale;
        uint32_t flags = 13; // meshes
    };
    const std::vector<Placed> placed = {
        {"floor", OT_MESH, {1001, 1, 1}, {0, 0, 0}, {1, 1, 1}},
        {"wall_north", OT_MESH, {1002, 2, 2}, {0, 0, 512}, {16, 4, 0.25f}},
        {"wall_south", OT_MESH, {1003, 3, 3}, {0, 0, -512}, {16, 4, 0.25f}},
        {"wall_east", OT_MESH, {1004, 4, 4}, {512, 0, 0}, {0.25f, 4, 16}},
        {"wall_west", OT_MESH, {1005, 5, 5}, {-512, 0, 0}, {0.25f, 4, 16}},
        {"crate_explosive", OT_MESH, {1006, 6, 6}, {200, 0, 150}, {1, 1, 1}},
        {"crate_physics", OT_MESH, {1007, 7, 7}, {-200, 0, -100}, {0.5f, 0.5f, 0.5f}},
        {"lift", OT_MESH, {1008, 8, 8}, {0, 0, 300}, {2, 0.25f, 2}},
        {"lamp_hall", OT_LIGHT, {1009, 9, 9}, {0, 220, 0}, {}},
        {"trigger_lift", OT_LIGHT, {1010, 10, 10}, {0, 32, 200}, {}},
        {"shuttle", OT_MESH, {1012, 12, 12}, {-300, 32, -300}, {0.5f, 0.5f, 0.5f}},
        {"pillar", OT_MESH, {1020, 20, 20}, {-350, 0, 250}, {1, 1, 1}},
        {"lamp_base", OT_MESH, {1021, 21, 21}, {150, 0, -300}, {1, 1, 1}, 5},
        {"course_floor", OT_MESH, {1040, 40, 40}, {1100, 0, 0}, {1, 1, 1}},
        {"course_stairs16", OT_MESH, {1041, 41, 41}, {700, 0, -200}, {1, 1, 1}},
        {"course_stairs20", OT_MESH, {1042, 42, 42}, {830, 0, -200}, {1, 1, 1}},
        {"course_ramp40", OT_MESH, {1043, 43, 43}, {960, 0, -200}, {1, 1, 1}},
        {"course_ramp50", OT_MESH, {1044, 44, 44}, {1090, 0, -200}, {1, 1, 1}},
        {"course_corner", OT_MESH, {1045, 45, 45}, {1250, 0, 100}, {1, 1, 1}},
        {"course_ledge", OT_MESH, {1046, 46, 46}, {1420, 0, -200}, {1, 1, 1}},
        {"course_hurt", OT_MESH, {1047, 47, 47}, {1420, 0, 50}, {1, 1, 1}},
        {"course_kill", OT_MESH, {1048, 48, 48}, {1420, 0, 200}, {1, 1, 1}},
        {"course_crate", OT_MESH, {1049, 49, 49}, {1540, 0, 0}, {0.5f, 0.5f, 0.5f}},
        {"grate_crate", OT_MESH, {1022, 22, 22}, {-200, 0, -150}, {1, 1, 1}},
        {"prefab_crate", OT_MESH, {1023, 23, 23}, {300, 16, 300}, {1, 1, 1}},
        {"marker_post", OT_MESH, {1024, 24, 24}, {-300, 0, -350}, {1, 1, 1}},
        {"oil_drum", OT_MESH, {1060, 60, 60}, {-260, 20, -180}, {24, 40, 24}},
        {"ball", OT_MESH, {1061, 61, 61}, {-200, 12, -220}, {24, 24, 24}},
        {"l_prop", OT_MESH, {1062, 62, 62}, {-140, 0, -200}, {1, 1, 1}},
        {"can", OT_MESH, {1063, 63, 63}, {-120, 7, -140}, {8, 14, 8}},
        {"no_collision_pit", OT_MESH, {1064, 64, 64}, {-100, 32, -250}, {64, 64, 64}},
        {"machine", OT_MESH, {1100, 100, 100}, {-200, 340, 0}, {0.5f, 0.5f, 0.5f}},
        {"camera_rider", OT_MESH, {1101, 101, 101}, {0, 400, -450}, {0.25f, 0.25f, 0.25f}, 0},
        {"ride_start", OT_LIGHT, {1102, 102, 102}, {0, 32, -48}, {}},
        {"radio_box", OT_MESH, {1103, 103, 103}, {100, 0, -100}, {0.25f, 0.25f, 0.25f}},
        {"radio_switch", OT_LIGHT, {1104, 104, 104}, {100, 32, -100}, {}},
        {"stack_crate_1", OT_MESH, {1090, 90, 90}, {-280, 12, 30}, {24, 24, 24}},
        {"stack_crate_2", OT_MESH, {1091, 91, 91}, {-280, 36.5f, 30}, {24, 24, 24}},
        {"stack_crate_3", OT_MESH, {1092, 92, 92}, {-280, 61, 30}, {24, 24, 24}},
        {"stack_crate_4", OT_MESH, {1093, 93, 93}, {-280, 85.5f, 30}, {24, 24, 24}},
        {"stack_crate_5", OT_MESH, {1094, 94, 94}, {-280, 110, 30}, {24, 24, 24}},
        {"knock", OT_LIGHT, {1095, 95, 95}, {-280, 32, -30}, {}},
        {"ramp_crate", OT_MESH, {1096, 96, 96}, {996, 48, -160}, {16, 16, 16}},
        {"ramp_drum", OT_MESH, {1097, 97, 97}, {926, 66, -140}, {16, 20, 16}},
        {"no_collision_niche", OT_MESH, {1098, 98, 98}, {-512, 170, -60}, {16, 280, 16}},
        {"niche_crate", OT_MESH, {1099, 99, 99}, {-512, 290, -60}, {12, 12, 12}},
        {"crate_fog_near", OT_MESH, {1070, 70, 70}, {680, 0, 340}, {1, 1, 1}},
        {"crate_fog_mid", OT_MESH, {1071, 71, 71}, {960, 0, 460}, {1, 1, 1}},
        {"crate_fog_far", OT_MESH, {1072, 72, 72}, {1300, 0, 380}, {1, 1, 1}},
        {"crate_fog_off", OT_MESH, {1073, 73, 73}, {1450, 0, 300}, {1, 1, 1}},
        {"crate_hidden", OT_MESH, {1074, 74, 74}, {150, 0, 620}, {1, 1, 1}},
        {"crate_grated", OT_MESH, {1075, 75, 75}, {-470, 0, 0}, {1, 1, 1}},
        {"alcove_floor", OT_MESH, {1110, 110, 110}, {0, 1, 0}, {1, 1, 1}},
        {"dark_plane", OT_MESH, {1121, 121, 121}, {320, 1, -310}, {1, 1, 1}},
        {"probe_box_lit", OT_MESH, {1122, 122, 122}, {180, 0, -420}, {0.5f, 0.5f, 0.5f}},
        {"probe_box_dark", OT_MESH, {1123, 123, 123}, {320, 1, -310}, {0.5f, 0.5f, 0.5f}},
    };
    for (const Placed& p : placed) {
        SCOPED_TRACE(p.name);
        ObjectRecord* h = Find(p.name);
        ASSERT_TRUE(h);
        EXPECT_EQ(h->dwType, p.type);
        EXPECT_EQ(h->Pesel, p.pesel);
        EXPECT_TRUE(h->bWorldObject);
        EXPECT_EQ(h->vPosition, p.position);
        EXPECT_EQ(h->vStartPosition, p.position);
        if (p.type == OT_MESH) {
            math::Vec3 scale;
            GetObjectScale(h, &scale);
            EXPECT_EQ(scale, p.scale);
            EXPECT_EQ(h->dwFlags, p.flags);
        }
    }
    EXPECT_STREQ(Find("floor")->szFileName, "models\\plane.x");
    // The binary crate has its crate and grate subsets; the off-centre prefab
    // is centred, the _nocenter one keeps its authored origin.
    EXPECT_EQ(Find("grate_crate")->Mesh()->m_dwNumSubsets, 2u);
    EXPECT_FLOAT_EQ(Find("prefab_crate")->Mesh()->m_vBoxMin.x, -16.0f);
    EXPECT_FLOAT_EQ(Find("marker_post")->Mesh()->m_vBoxMin.x, 32.0f);
    EXPECT_EQ(Find("floor")->iSector, 1);
    EXPECT_EQ(Find("wall_north")->iAmbientLightIdx, 1);
    // The inside alcove floor with the lamp's light in its vertex colours.
    const ObjectRecord* alcove = Find("alcove_floor");
    EXPECT_EQ(alcove->dwFlags2, 8u);
    EXPECT_EQ(alcove->bVertexColor, 1);
    EXPECT_EQ(Find("wall_east")->iFogIdx, 3); // 9 capped
    // The crate row's fog set, and the one that leaves the capped wall unfogged.
    for (const char* name : {"crate_fog_near", "crate_fog_mid", "crate_fog_far", "crate_fog_off"})
        EXPECT_EQ(Find(name)->iFogIdx, 1) << name;
    EXPECT_EQ(Find("crate_fog_off")->dwFlags2, 0x40000u);
    // The two boxes lit from the ground under them: the lit floor and the
    // dark patch (inside, the darker ambient set).
    for (const char* name : {"probe_box_lit", "probe_box_dark"}) {
        EXPECT_EQ(Find(name)->dwFlags2, 0x20000000u) << name;
        ASSERT_TRUE(Find(name)->pAction) << name << ": the per-object pass updates it";
    }
    EXPECT_EQ(Find("dark_plane")->dwFlags2, 8u);
    EXPECT_EQ(Find("dark_plane")->iAmbientLightIdx, 1);
    EXPECT_EQ(Find("crate_explosive")->Mesh()->m_vRotationAngles, math::Vec3(0, 30, 0));
    EXPECT_TRUE(Find("crate_explosive")->bBaseOrientationGiven);
    EXPECT_NEAR(Find("crate_explosive")->BaseOrientation.forward.x, 0.5, 1e-5);
    EXPECT_FALSE(Find("wall_east")->bBaseOrientationGiven);
    EXPECT_EQ(Find("trigger_lift")->dwFlags, 0u);
    char sound[256] = {}, condition[64] = {};
    float range = 0;
    GetObjectSound(Find("machine"), sound, &range, condition);
    EXPECT_STREQ(sound, "sounds\\machine_hum.wav");
    EXPECT_EQ(range, 600.0f);
    ASSERT_TRUE(Find("radio_box")->pAction);
    EXPECT_STREQ(Find("radio_box")->pAction->szRadioRadio, "radio_demo");

    // The wall's light control.
    ObjectRecord* west = Find("wall_west");
    ASSERT_TRUE(west->pLightControl);
    EXPECT_EQ(west->pLightControl->bOn, 1);
    EXPECT_STREQ(west->pLightControl->szNames[0], "lamp_hall");

    // The light with blinking.
    ObjectRecord* lamp = Find("lamp_hall");
    EXPECT_EQ(lamp->dwFlags, 17u) << "shown, casting cube shadows";
    EXPECT_EQ(lamp->iRange, 600);
    EXPECT_FLOAT_EQ(lamp->fLightPower, 2.5f);
    EXPECT_FLOAT_EQ(lamp->fLightBasePower, 2.5f);
    EXPECT_FLOAT_EQ(lamp->fLightR, 1.0f);
    EXPECT_FLOAT_EQ(lamp->fLightG, 0.9f);
    EXPECT_FLOAT_EQ(lamp->fLightB, 0.7f);
    EXPECT_EQ(lamp->bLightLinearScatter, 1);
    ASSERT_TRUE(lamp->pBlinking);
    EXPECT_EQ(lamp->pBlinking->bOn, 1);
    const float blink[6] = {0.2f, 0.8f, 2.0f, 0.1f, 1.0f, 0.0f};
    for (int i = 0; i < 6; ++i)
        EXPECT_FLOAT_EQ(lamp->pBlinking->fValues[i], blink[i]);

    // The lift: a two-state action fired by the trigger, and its Bezier keys.
    ObjectRecord* lift = Find("lift");
    ASSERT_TRUE(lift->pAction);
    CheckImage(ImageOf(*lift->pAction),
               {U32At(0, 1), U32At(4, 0), TextAt(12, "lift_called"), F32At(724, 0), F32At(728, 1),
                F32At(732, 0), F32At(736, 64), F32At(740, 192), TextAt(172, "sounds\\lift_start.wav"),
                F32At(684, 1200), TextAt(108, "lift_up"), TextAt(76, "lift_up"), TextAt(2340, "ColtM4")},
               "lift action");
    EXPECT_EQ(lift->Bezier.bActive, 1);
    EXPECT_EQ(lift->Bezier.bStartWhenLoaded, 0);
    EXPECT_EQ(lift->Bezier.bLoops, 1);
    EXPECT_EQ(lift->Bezier.bPlaceAtStart, 1);
    EXPECT_DOUBLE_EQ(lift->Bezier.dFirstLapPause, 1.5);
    EXPECT_DOUBLE_EQ(lift->Bezier.dLaterLapPause, 3.0);
    EXPECT_STREQ(lift->Bezier.szStartNode, "lift_bottom");

    // The trigger sets a script variable and passes the action on.
    ObjectRecord* trigger = Find("trigger_lift");
    ASSERT_TRUE(trigger->pAction);
    CheckImage(ImageOf(*trigger->pAction),
               {U32At(0, 1), U32At(4, 1), TextAt(44, "lift_called"), TextAt(760, "lift"), F32At(792, 0.5),
                TextAt(1884, "Lift called"), U8At(6204, 0)},
               "trigger action");

    // The crate with death parameters and a replacement mesh.
    ObjectRecord* crate = Find("crate_explosive");
    ASSERT_TRUE(crate->pDeathParams);
    EXPECT_EQ(crate->pAction, nullptr);
    CheckImage(ImageOf(*crate->pDeathParams),
               {U8At(0, 1), U8At(176, 1), U8At(41, 1), U8At(42, 1), U8At(40, 1), U8At(178, 0), F32At(44, 20),
                TextAt(112, "crate_destroyed"), TextAt(608, "models\\box_broken.x"),
                TextAt(1145, "crate_wreck"), TextAt(1488, "explosion_small"), F32At(604, 1.5), U8At(599, 1),
                U8At(600, 0), F32At(1124, 0), F32At(1128, 96), F32At(1132, 0), U8At(2551, 1),
                F32At(2588, 20.0)},
               "crate death parameters");
    EXPECT_FLOAT_EQ(crate->fHealth, 20.0f);

    // The physics prop's rigid-body record.
    RigidBodyPhysicsParams rigid;
    rigid.Reset();
    GetObjectRigidBodyPhysicsParams(Find("crate_physics"), &rigid);
    CheckImage(ImageOf(rigid),
               {I32At(0, 1), F32At(4, 12), U8At(8, 1), U8At(9, 1), U8At(10, 1), F32At(16, 0.8),
                TextAt(156, "sounds\\crate_hit.wav"), U8At(412, 1), F32At(416, 900), F32At(420, 0.4),
                TextAt(1454, "floor"), TextAt(1454 + 32, "wall_north"), TextAt(1454 + 64, "")},
               "physics prop");
    // The other meshes keep the defaults.
    rigid.iShape = 7;
    GetObjectRigidBodyPhysicsParams(Find("crate_explosive"), &rigid);
    EXPECT_EQ(rigid.iShape, 0);
    EXPECT_FLOAT_EQ(rigid.fMass, 8.0f);

    // The Bezier paths of worlds\test.bzr.
    BezierNode* bottom = g_BezierMgr.FindNode("lift_bottom");
    BezierNode* top = g_BezierMgr.FindNode("lift_top");
    ASSERT_TRUE(bottom);
    ASSERT_TRUE(top);
    EXPECT_EQ(bottom->pNextInPath, top);
    EXPECT_EQ(top->pNextInPath, bottom);
    EXPECT_EQ(top->vPosition, math::Vec3(0, 192, 300));
    EXPECT_STREQ(top->szGameAiSet, "lift_at_top");

    // The general properties.
    EnvironmentSettings& env = g_EnvironmentSettings;
    EXPECT_TRUE(env.FogEnabled());
    uint32_t fog = 0;
    env.GetFogColor(&fog, 0);
    EXPECT_EQ(fog, 3158064u);
    struct FogSet {
        int index;
        uint32_t color;
        float nearDistance, farDistance;
    } sets[] = {{1, 4219040u, 200, 600}, {3, 3158064u, 1500, 6000}};
    for (const FogSet& f : sets) {
        float nearDistance = 0, farDistance = 0;
        env.GetFogColor(&fog, f.index);
        env.GetFogNear(&nearDistance, f.index);
        env.GetFogFar(&farDistance, f.index);
        EXPECT_EQ(fog, f.color) << f.index;
        EXPECT_EQ(nearDistance, f.nearDistance) << f.index;
        EXPECT_EQ(farDistance, f.farDistance) << f.index;
    }
    EXPECT_EQ(env.GetAmbientColor(0), 4210752u);
    EXPECT_EQ(env.GetAmbientColor(1), 2105376u);
    EXPECT_FLOAT_EQ(env.m_fVertexAmbientInsideBrightness, 2.4f);
    EXPECT_FLOAT_EQ(env.m_fVertexAmbientInsideContrast, 2.0f);
    EXPECT_FLOAT_EQ(env.m_vVertexAmbientInsideColor[0], 1.0f);
    EXPECT_FLOAT_EQ(env.m_vVertexAmbientInsideColor[1], 0.97f);
    EXPECT_FLOAT_EQ(env.m_vVertexAmbientInsideColor[2], 0.92f);
    EXPECT_EQ(g_Camera.GetBackgroundColor(), 3158064u);
    EXPECT_FLOAT_EQ(g_Camera.GetFarZ(), 12000.0f);
    EXPECT_FLOAT_EQ(SkyLightPower, 1.2f);
    EXPECT_FLOAT_EQ(SkinmeshLightCoef, 0.8f);
    EXPECT_FLOAT_EQ(g_PostProcess.m_fAODepth, 48.0f);
    EXPECT_FLOAT_EQ(g_Console.FindVariable("SkyLightPitch")->fValue, 45.0f);
    EXPECT_FLOAT_EQ(g_Console.FindVariable("SkyLightRotation")->fValue, 135.0f);
    // The sky: hidden, far away, with its six materials.
    ObjectRecord* sky = env.SkyObject();
    ASSERT_TRUE(sky);
    EXPECT_STREQ(sky->szFileName, "models\\sky.x");
    EXPECT_EQ(sky->dwFlags & 1u, 0u);
    EXPECT_EQ(sky->vPosition, math::Vec3(1.0e11f, 1.0e11f, 1.0e11f));
    ASSERT_TRUE(sky->Mesh());
    EXPECT_EQ(sky->Mesh()->m_dwNumSubsets, 6u);
    SkyLightPower = 1.0f;
    SkinmeshLightCoef = 1.0f;
}

// Every file that the demo data's text files (worlds, scripts, zt.cfg) name is
// there. A word ending in a data file's extension is looked up as the game
// does, through the resolver from the data directory; a texture named without
// a folder, which the texture registry finds anywhere in the data, by its
// name alone.
TEST(DemoData, EveryFileItNamesExists) {
    namespace fs = std::filesystem;
    const fs::path data = fs::path(ZT_SOURCE_DIR) / "data";
    const auto lower = [](std::string t) {
        for (char& c : t)
            c = char(std::tolower(static_cast<unsigned char>(c)));
        return t;
    };
    const auto endsWith = [](const std::string& t, const std::string& end) {
        return t.size() > end.size() && t.compare(t.size() - end.size(), end.size(), end) == 0;
    };
    std::vector<std::string> leaves; // every file's name, lower case
    for (const auto& e : fs::recursive_directory_iterator(data))
        if (e.is_regular_file()) leaves.push_back(lower(e.path().filename().string()));

    const std::string saved = os::StartDirectory();
    os::SetStartDirectory(data.string());
    std::vector<std::string> named;
    for (const auto& e : fs::recursive_directory_iterator(data)) {
        const std::string ext = lower(e.path().extension().string());
        if (!e.is_regular_file() || (ext != ".w" && ext != ".txt" && ext != ".cfg")) continue;
        std::ifstream in(e.path(), std::ios::binary);
        for (std::string word; in >> word;) {
            const std::string w = lower(word);
            bool isFile = false;
            for (const char* end : {".wav", ".ogg", ".x", ".tga", ".dds", ".bmp", ".afx", ".txt", ".w"})
                isFile |= endsWith(w, end);
            if (!isFile) continue;
            named.push_back(word);
            const bool bareTexture =
                w.find_first_of("\\/") == std::string::npos && (endsWith(w, ".tga") || endsWith(w, ".dds"));
            const bool found = bareTexture ? std::find(leaves.begin(), leaves.end(), w) != leaves.end()
                                           : os::FileExists(word);
            EXPECT_TRUE(found) << fs::relative(e.path(), data).string() << " names " << word;
        }
    }
    os::SetStartDirectory(saved);
    // The demo's sounds and music are among the names looked at.
    for (const char* file : {"sounds\\machine_hum.wav", "sounds\\zone_chime.wav", "sounds\\lift_start.wav",
                             "sounds\\radio_tune.wav", "voices\\radio_call.wav"})
        EXPECT_NE(std::find(named.begin(), named.end(), file), named.end()) << file;
}

// Seeded mutations of the demo world: bytes flipped, inserted and deleted,
// lines duplicated, cut or joined, numbers replaced by extremes. Every load
// must finish (the sanitizers catch a bad read or write) and leave records
// whose texts end inside their fields.
TEST_F(DemoWorld, MutatedFilesNeverCrashTheLoader) {
    std::ifstream in(m_Dir.Path() / "worlds" / "test.w", std::ios::binary);
    const std::string original((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_FALSE(original.empty());

    const std::vector<std::string> pieces = {
        "\r",
        "\n",
        "\r\n",
        "\t",
        " ",
        ">",
        ">Label",
        "\0",
        "-",
        "99999999999999999999",
        "-2147483649",
        "1e39",
        "nan",
        "inf",
        "4294967295",
        "mesh ",
        "light\r\n",
        "skinmesh x\r\n",
        "visibility_blocker.x",
        "action_general_opt 1 1\r\n",
        "death_params_1 1\r\n",
        std::string(3100, 'w'),
        "rigid_body_physics_disable_collision_with_list ",
        "death_params_teleport_objects_here_list ",
        "object_light_control2_light ",
        "action_render_params_show_sectors ",
        "sky_mesh models\\box.x\r\n",
    };
    std::mt19937 rng(20240613u);
    auto pick = [&](size_t n) { return n ? std::uniform_int_distribution<size_t>(0, n - 1)(rng) : 0; };

    const int kMutations = 2500;
    for (int round = 0; round < kMutations; ++round) {
        std::string text = original;
        int edits = 1 + static_cast<int>(pick(8));
        for (int e = 0; e < edits && !text.empty(); ++e) {
            size_t at = pick(text.size());
            switch (pick(6)) {
            case 0:
                text[at] = static_cast<char>(pick(256));
                break;
            case 1:
                text.insert(at, pieces[pick(pieces.size())]);
                break;
            case 2:
                text.erase(at, 1 + pick(64));
                break;
            case 3: { // duplicate a run somewhere else
                size_t from = pick(text.size());
                std::string run = text.substr(from, 1 + pick(200));
                text.insert(at, run);
                break;
            }
            case 4:
                text.resize(at);
                break;
            default: { // replace a digit run by an extreme number
                size_t d = text.find_first_of("0123456789", at);
                if (d == std::string::npos) break;
                size_t end = text.find_first_not_of("0123456789.", d);
                text.replace(d, (end == std::string::npos ? text.size() : end) - d, pieces[9 + pick(5)]);
                break;
            }
            }
        }
        m_Dir.Write("worlds/mutant.w", text);
        ClearObjects();
        g_VisBlockers.Clear();
        g_BezierMgr.FreeAll();
        g_WorldMgr.LoadWorld("worlds\\mutant.w");

        for (int slot = 0; slot < EEngine::MAX_OBJECTS; ++slot) {
            ObjectRecord* h = g_Engine.Object(slot);
            if (!h->bUsed) continue;
            ASSERT_TRUE(std::memchr(h->szName, 0, sizeof h->szName)) << "round " << round;
            ASSERT_TRUE(std::memchr(h->szFileName, 0, sizeof h->szFileName)) << "round " << round;
        }
        ASSERT_LE(g_WorldMgr.m_nErrorLines, uint32_t(EWorldMgr::MAX_ERROR_LINES));
    }
}

} // namespace
