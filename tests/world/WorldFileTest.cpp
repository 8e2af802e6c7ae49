#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "app/Console.h"
#include "app/Options.h"
#include "app/TextMgr.h"
#include "render/EnvironmentSettings.h"
#include "render/Mesh.h"
#include "render/PostProcess.h"
#include "render/SkyShadowMap.h"
#include "skinmesh/SkinMesh.h"
#include "tests/world/WorldFileFixture.h"
#include "world/BezierMgr.h"
#include "world/Camera.h"
#include "world/DeathParams.h"
#include "world/ObjectAction.h"
#include "world/ObjectApi.h"
#include "world/VisBlockers.h"
#include "world/WorldMgr.h"

using namespace wftest;

namespace {

// ---- Line splitting ------------------------------------------------------------

std::vector<std::string> SplitLines(const std::string& data) {
    std::vector<std::string> lines;
    std::vector<char> line(EWorldMgr::LINE_BUFFER);
    for (size_t pos = 0; pos < data.size();) {
        size_t next = EWorldMgr::NextLine(data.data(), data.size(), pos, line.data());
        EXPECT_GT(next, pos) << "no progress at " << pos;
        if (next <= pos) break;
        pos = next;
        lines.emplace_back(line.data());
    }
    return lines;
}

struct SplitCase {
    const char* what;
    std::string data;
    std::vector<std::string> lines;
};

const std::string k2999(2999, 'a');

const std::vector<SplitCase> kSplitCases = {
    {"CR LF", "one\r\ntwo\r\n", {"one", "two"}},
    {"lone LF", "one\ntwo\n", {"one", "two"}},
    {"lone CR keeps the next byte", "one\rtwo\rthree", {"one", "two", "three"}},
    {"mixed ends", "a\r\nb\nc\rd", {"a", "b", "c", "d"}},
    {"LF CR is two line ends", "a\n\rb", {"a", "", "b"}},
    {"empty lines stay", "\r\n\r\nx\r\n", {"", "", "x"}},
    {"the end of the file ends the last line", "last", {"last"}},
    {"a trailing CR at the very end", "x\r", {"x"}},
    {"tabs become blanks", "\tname\tcrate\t", {" name crate "}},
    {"2999 characters fit with their CR LF", k2999 + "\r\nb", {k2999, "b"}},
    {"2999 characters fit with their CR", k2999 + "\rb", {k2999, "b"}},
    {"the 3000th character starts the next line", k2999 + "xyz\r\nb", {k2999, "xyz", "b"}},
    {"a full line at the end of the file", k2999, {k2999}},
    {"6000 characters make three lines", k2999 + k2999 + "cc", {k2999, k2999, "cc"}},
};

TEST(WorldFileLines, SplitsAtEveryLineEndAndAt2999Characters) {
    for (const SplitCase& c : kSplitCases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(SplitLines(c.data), c.lines);
    }
}

struct ParamCase {
    const char* line;
    int n;
    const char* param; // GetLineParam(line, n)
    const char* rest;  // GetLineRest(line)
};

const std::vector<ParamCase> kParamCases = {
    {"xpos 12.5", 1, "12.5", "12.5"},
    {"  fog   1  2 3  ", 0, "fog", "1  2 3"},
    {"  fog   1  2 3  ", 2, "2", "1  2 3"},
    {"  fog   1  2 3  ", 3, "3", "1  2 3"},
    {"  fog   1  2 3  ", 4, "", "1  2 3"},
    {"name", 1, "", ""},
    {"", 0, "", ""},
    {"   ", 1, "", ""},
    {"action_ifset a b  c", 2, "b", "a b  c"},
};

TEST(WorldFileLines, ParametersAndTheRestOfALine) {
    for (const ParamCase& c : kParamCases) {
        SCOPED_TRACE(std::string("line '") + c.line + "'");
        EXPECT_STREQ(g_WorldMgr.GetLineParam(c.line, c.n), c.param);
        EXPECT_STREQ(g_WorldMgr.GetLineRest(c.line), c.rest);
    }
    // A line longer than the parameter buffer is cut, never overrun.
    std::string huge = "name " + std::string(5000, 'q');
    EXPECT_EQ(std::strlen(g_WorldMgr.GetLineRest(huge.c_str())), size_t(EWorldMgr::PARAM_BUFFER - 1 - 5));
}

// ---- Loading ------------------------------------------------------------------

class WorldFile : public ::testing::Test {
  protected:
    void SetUp() override {
        ClearWorld();
        m_Dir.Write("models/box.x", BoxX());
        m_Dir.Write("models/plane.x", BoxX(64.0f));
    }
    void TearDown() override { ClearWorld(); }

    // Writes the text as worlds/t.w (line ends as given) and loads it.
    bool Load(const std::string& text, const char* name = "worlds\\t.w") {
        std::string path = name;
        for (char& c : path)
            if (c == '\\') c = '/';
        m_Dir.Write(path, text);
        ClearObjects();
        return g_WorldMgr.LoadWorld(name);
    }
    static ObjectRecord* Find(const char* name) { return g_Engine.FindObjectByName(name); }
    static math::Vec3 Position(ObjectRecord* h) {
        math::Vec3 p;
        GetObjectPosition(h, &p);
        return p;
    }
    static int CountObjects() {
        int n = 0;
        for (int slot = 0; slot < EEngine::MAX_OBJECTS; ++slot)
            n += g_Engine.Object(slot)->bUsed;
        return n;
    }

    TempDataDir m_Dir;
};

// The same world with every kind of line end.
TEST_F(WorldFile, EveryLineEndLoadsTheSameWorld) {
    const std::vector<std::string> lines = {
        "mesh models\\box.x", "name crate_a", "xpos 10", "ypos 20",   "zpos 30",
        "mesh models\\box.x", "name crate_b", "light",   "name lamp", "range 500",
    };
    for (const char* end : {"\r\n", "\n", "\r"}) {
        std::string text;
        for (const std::string& l : lines)
            text += l + end;
        SCOPED_TRACE(end[0] == '\r' && end[1] ? "CR LF" : end[0] == '\n' ? "LF" : "CR");
        ASSERT_TRUE(Load(text));
        EXPECT_EQ(CountObjects(), 3);
        ObjectRecord* a = Find("crate_a");
        ASSERT_TRUE(a);
        EXPECT_EQ(Position(a), math::Vec3(10, 20, 30));
        EXPECT_TRUE(a->bWorldObject);
        EXPECT_TRUE(Find("crate_b"));
        ObjectRecord* lamp = Find("lamp");
        ASSERT_TRUE(lamp);
        EXPECT_EQ(lamp->iRange, 500);
    }
}

TEST_F(WorldFile, TabsAndLabelsAreResolvedBeforeParsing) {
    m_Dir.Write("scripts/text_keys.txt", ">CrateName =labelled_crate\n");
    g_TextMgr.Load();
    bool loaded = Load("mesh\tmodels\\box.x\r\n\tname\t>CrateName\r\n\txpos\t7\r\n");
    ObjectRecord* h = Find("labelled_crate");
    bool found = h != nullptr;
    float x = h ? Position(h).x : 0;
    m_Dir.Write("scripts/text_keys.txt", "");
    g_TextMgr.Load();
    EXPECT_TRUE(loaded);
    EXPECT_TRUE(found);
    EXPECT_FLOAT_EQ(x, 7.0f);
}

TEST_F(WorldFile, AContinuedLongLineActsAsItsOwnLine) {
    std::string filler = "comment " + std::string(EWorldMgr::MAX_LINE - 8, '-');
    ASSERT_TRUE(Load("mesh models\\box.x\r\n" + filler + "name continued\r\n"));
    EXPECT_TRUE(Find("continued"));
}

TEST_F(WorldFile, KeywordsAreCaseSensitive) {
    ASSERT_TRUE(Load(
        "MESH models\\box.x\r\nMesh models\\box.x\r\nmesh models\\box.x\r\nName upper\r\nname lower\r\n"));
    EXPECT_EQ(CountObjects(), 1);
    EXPECT_FALSE(Find("upper"));
    EXPECT_TRUE(Find("lower"));
}

TEST_F(WorldFile, PropertyLinesBeforeAnyCreationChangeNothingWorldKeysWorkAnywhere) {
    g_EnvironmentSettings.DisableFog();
    ASSERT_TRUE(Load("name early\r\npesel 1 2 3\r\nxpos 99\r\nmesh models\\box.x\r\nname crate\r\n"
                     "fog_in_game 1\r\nxpos 5\r\n"));
    ObjectRecord* h = Find("crate");
    ASSERT_TRUE(h);
    EXPECT_FALSE(Find("early"));
    EXPECT_NE(h->Pesel, (PESEL{1, 2, 3}));
    EXPECT_TRUE(g_EnvironmentSettings.FogEnabled());
    // fog_in_game does not end the block, so xpos still acts.
    EXPECT_FLOAT_EQ(Position(h).x, 5.0f);
}

TEST_F(WorldFile, KeysThatClearTheBlockStopItsPropertyLines) {
    ASSERT_TRUE(Load("mesh models\\box.x\r\nname crate\r\nfarz 9000\r\nxpos 5\r\npesel 4 5 6\r\n"));
    ObjectRecord* h = Find("crate");
    ASSERT_TRUE(h);
    EXPECT_FLOAT_EQ(g_Camera.GetFarZ(), 9000.0f);
    EXPECT_FLOAT_EQ(Position(h).x, 0.0f);  // a block key: needs the block
    EXPECT_EQ(h->Pesel, (PESEL{4, 5, 6})); // a current-object key: needs only the object
}

TEST_F(WorldFile, AOneCharacterMeshNameKeepsThePreviousObjectCurrent) {
    ASSERT_TRUE(
        Load("mesh models\\box.x\r\nname first\r\nmesh x\r\npesel 7 8 9\r\nxpos 50\r\nname second\r\n"));
    EXPECT_EQ(CountObjects(), 1);
    ObjectRecord* h = Find("first");
    ASSERT_TRUE(h);
    EXPECT_EQ(h->Pesel, (PESEL{7, 8, 9}));
    EXPECT_FLOAT_EQ(Position(h).x, 0.0f);
    EXPECT_FALSE(g_WorldMgr.m_bLoadError);
}

TEST_F(WorldFile, FailedCreationsAreListedUntilTheErrorLinesAreFull) {
    std::string text = "mesh models\\box.x\r\nname good\r\n";
    for (int i = 0; i < 14; ++i)
        text += "mesh models\\missing_" + std::to_string(i) + ".x\r\nname bad\r\n";
    ASSERT_TRUE(Load(text));
    EXPECT_TRUE(g_WorldMgr.m_bLoadError);
    EXPECT_EQ(CountObjects(), 1);
    EXPECT_TRUE(Find("good"));
    EXPECT_FALSE(Find("bad")); // the block's lines found no current object
    ASSERT_EQ(g_WorldMgr.m_nErrorLines, 36u);
    for (int i = 0; i < 12; ++i) {
        SCOPED_TRACE(i);
        EXPECT_STREQ(g_WorldMgr.m_ErrorLines[i * 3], "Mesh loading failed:");
        EXPECT_EQ(std::string(g_WorldMgr.m_ErrorLines[i * 3 + 1]),
                  "models\\missing_" + std::to_string(i) + ".x");
        EXPECT_STREQ(g_WorldMgr.m_ErrorLines[i * 3 + 2], "");
    }
}

TEST_F(WorldFile, CreationNamesMustFitTheCreationRecord) {
    struct Case {
        std::string name;
        bool created;
    };
    std::string name126 = "models\\" + std::string(117, 'b') + ".x";
    m_Dir.Write("models/" + std::string(117, 'b') + ".x", BoxX());
    const std::vector<Case> cases = {
        {name126, true},
        {"models\\" + std::string(118, 'b') + ".x", false}, // 127: refused by the engine
        {"models\\" + std::string(119, 'b') + ".x", false}, // 128: refused by the loader
        {"models\\" + std::string(300, 'b') + ".x", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name.size());
        MarkConsole();
        ASSERT_TRUE(Load("mesh " + c.name + "\r\nname made\r\n"));
        EXPECT_EQ(Find("made") != nullptr, c.created);
        EXPECT_EQ(g_WorldMgr.m_bLoadError, !c.created);
        if (c.name.size() >= 128) {
            EXPECT_TRUE(PrintedSinceMark("ERROR: safe_string_copy() Source String Too Long!"));
            EXPECT_TRUE(PrintedSinceMark("mesh file name"));
            EXPECT_STREQ(g_WorldMgr.m_ErrorLines[0], "Mesh loading failed:");
        }
    }
}

TEST_F(WorldFile, SkinnedMeshAndLightFailuresHaveTheirOwnLines) {
    std::string text = "skinmesh models\\nobody\\nobody.x\r\nname ghost\r\n";
    // One light more than the 100 slots of type-2 objects.
    for (int i = 0; i < 101; ++i)
        text += "light\r\n";
    ASSERT_TRUE(Load(text));
    EXPECT_TRUE(g_WorldMgr.m_bLoadError);
    EXPECT_FALSE(Find("ghost"));
    ASSERT_EQ(g_WorldMgr.m_nErrorLines, 5u);
    EXPECT_STREQ(g_WorldMgr.m_ErrorLines[0], "SkinMesh loading failed:");
    EXPECT_STREQ(g_WorldMgr.m_ErrorLines[1], "models\\nobody\\nobody.x");
    EXPECT_STREQ(g_WorldMgr.m_ErrorLines[2], "");
    EXPECT_STREQ(g_WorldMgr.m_ErrorLines[3], "Light failed!");
    EXPECT_STREQ(g_WorldMgr.m_ErrorLines[4], "");
    EXPECT_EQ(CountObjects(), 100);
}

TEST_F(WorldFile, SkinnedMeshBlockKeys) {
    ASSERT_TRUE(
        Load("skinmesh models\\box.x\r\nname guard\r\nxpos 40\r\nrotation_angles 0 90 0\r\n"
             "scaling_axis 2 2 2\r\nflags 5\r\nskinmesh_sound_range_and_filename 700 sounds\\steps.wav\r\n"
             "skinmesh_sound_ifset alarm\r\nskinmesh_sound_range_and_filename 800 sounds\\run.wav\r\n"
             "action_general_opt 1 1\r\naction_kill_delay 2\r\ndeath_params_1 1\r\n"
             "object_light_control_params 1 0\r\nobject_light_control2_light 2 torch\r\n"
             "mesh_light_control_light3 lamp\r\nland_mine 1\r\nsound_for_mesh 5 x.wav\r\n"
             "range 50\r\n"));
    ObjectRecord* h = Find("guard");
    ASSERT_TRUE(h);
    EXPECT_EQ(h->dwType, uint32_t(OT_SKINMESH));
    EXPECT_FLOAT_EQ(Position(h).x, 40.0f);
    EXPECT_EQ(h->SkinMesh()->m_vRotationAngles, math::Vec3(0, 90, 0));
    EXPECT_NEAR(h->BaseOrientation.forward.x, 1.0, 1e-5);
    EXPECT_EQ(h->dwFlags, 5u);
    char file[256] = {};
    char condition[64] = {};
    float range = 0;
    GetObjectSound(h, file, &range, condition);
    EXPECT_STREQ(file, "sounds\\run.wav");
    EXPECT_FLOAT_EQ(range, 800.0f);
    EXPECT_STREQ(condition, "alarm"); // kept by the later file line
    ASSERT_TRUE(h->pAction);
    EXPECT_FLOAT_EQ(h->pAction->fKillDelay, 2.0f);
    EXPECT_TRUE(h->pDeathParams);
    ASSERT_TRUE(h->pLightControl);
    EXPECT_STREQ(h->pLightControl->szNames[2], "torch");
    EXPECT_STREQ(h->pLightControl->szNames[3], ""); // mesh keys are for meshes only
    EXPECT_EQ(h->bLandMine, 0);
}

TEST_F(WorldFile, TiesAndOtherCurrentObjectKeys) {
    uint8_t worldLoaded = g_Engine.m_bWorldLoaded;
    g_Engine.m_bWorldLoaded = 0; // while a world loads, ties wait for its objects
    const std::string name32(32, 'o');
    MarkConsole();
    bool loaded = Load("mesh models\\box.x\r\nname crate\r\nlink_by_socket 1 lamp_post top\r\n"
                       "container_pesel 4000000000 2 3\r\ndisappear_range 1500\r\n"
                       "path_generation 1 48 16 768 500\r\n"
                       "mesh models\\box.x\r\nname crate2\r\nmesh_link_by_socket 1 crate hook\r\n"
                       "light\r\nname lamp\r\nlight_link_by_socket 1 " +
                       name32 + " bulb\r\n");
    g_Engine.m_bWorldLoaded = worldLoaded;
    ASSERT_TRUE(loaded);
    ObjectRecord* crate = Find("crate");
    ASSERT_TRUE(crate);
    ASSERT_TRUE(crate->pPendingTieObject);
    EXPECT_STREQ(crate->pPendingTieObject, "lamp_post");
    EXPECT_STREQ(crate->pPendingTieSocket, "top");
    EXPECT_EQ(crate->ContainerPesel, (PESEL{4000000000u, 2, 3}));
    EXPECT_EQ(crate->iDisappearRange, 1500);
    PathGenerationParams path;
    GetObjectPathGenerationParams(crate, &path);
    EXPECT_EQ(path.dwOn, 1u);
    EXPECT_FLOAT_EQ(path.fValue1, 48.0f);
    EXPECT_FLOAT_EQ(path.fValue2, 16.0f);
    EXPECT_FLOAT_EQ(path.fValue3, 768.0f);
    EXPECT_EQ(path.dwValue4, 500u);
    ObjectRecord* crate2 = Find("crate2");
    ASSERT_TRUE(crate2 && crate2->pPendingTieObject);
    EXPECT_STREQ(crate2->pPendingTieObject, "crate");
    EXPECT_STREQ(crate2->pPendingTieSocket, "hook");
    // A light's tie names hold 31 characters.
    EXPECT_TRUE(PrintedSinceMark("light_link_by_socket_ObjectName"));
}

TEST_F(WorldFile, EachBlockTakesOnlyItsOwnKeys) {
    ASSERT_TRUE(
        Load("light\r\nname lamp\r\nxpos 1\r\nrange 250.6\r\npower 3.5\r\ndiffuse 0.5 0.25 1\r\n"
             "ignore_calculating_player_visibility 1\r\nlight_linear_scatter 1\r\n"
             "scaling_axis 2 2 2\r\nland_mine 1\r\nrotation_angles 0 90 0\r\n"
             "mesh models\\box.x\r\nname crate\r\nrange 900\r\npower 7\r\nland_mine 1\r\nis_it_tree 1\r\n"
             "vertex_color 1\r\nitem_dropped 1\r\ngreen_point 1\r\nred_point 1\r\nis_it_wire 1\r\n"
             "ignore_calculating_player_visibility 1\r\nlight_linear_scatter 1\r\n"));
    ObjectRecord* lamp = Find("lamp");
    ASSERT_TRUE(lamp);
    EXPECT_EQ(lamp->iRange, 251);
    EXPECT_FLOAT_EQ(lamp->fLightPower, 3.5f);
    EXPECT_FLOAT_EQ(lamp->fLightBasePower, 3.5f);
    EXPECT_FLOAT_EQ(lamp->fLightR, 0.5f);
    EXPECT_FLOAT_EQ(lamp->fLightG, 0.25f);
    EXPECT_FLOAT_EQ(lamp->fLightB, 1.0f);
    EXPECT_EQ(lamp->bIgnorePlayerVisibility, 1);
    EXPECT_EQ(lamp->bLightLinearScatter, 1);
    EXPECT_EQ(lamp->bLandMine, 0);
    EXPECT_EQ(lamp->bBaseOrientationGiven, 0);

    ObjectRecord* crate = Find("crate");
    ASSERT_TRUE(crate);
    EXPECT_NE(crate->iRange, 900);
    EXPECT_FLOAT_EQ(crate->fLightPower, 2.0f); // as created
    EXPECT_EQ(crate->bLandMine, 1);
    EXPECT_EQ(crate->bIsItTree, 1);
    EXPECT_EQ(crate->bIsItWire, 1);
    EXPECT_EQ(crate->bVertexColor, 1);
    EXPECT_EQ(crate->bItemDropped, 1);
    EXPECT_EQ(crate->bGreenPoint, 1);
    EXPECT_EQ(crate->bRedPoint, 1);
    EXPECT_EQ(crate->bIgnorePlayerVisibility, 0); // lights only
    EXPECT_EQ(crate->bLightLinearScatter, 0);
}

TEST_F(WorldFile, IndicesAreCappedAtThreeButNotBelow) {
    ASSERT_TRUE(Load("mesh models\\box.x\r\nname a\r\nambient_light_idx 9\r\nfog_idx 2\r\n"
                     "mesh models\\box.x\r\nname b\r\nambient_light_idx -1\r\nfog_idx 4\r\nsector_idx 12\r\n"
                     "env_texture_idx 5\r\n"));
    EXPECT_EQ(Find("a")->iAmbientLightIdx, 3);
    EXPECT_EQ(Find("a")->iFogIdx, 2);
    EXPECT_EQ(Find("b")->iAmbientLightIdx, -1);
    EXPECT_EQ(Find("b")->iFogIdx, 3);
    EXPECT_EQ(Find("b")->iSector, 12);
    EXPECT_EQ(Find("b")->iEnvTextureIdx, 5);
}

TEST_F(WorldFile, PlacementKeysOfAMesh) {
    ASSERT_TRUE(Load("mesh models\\box.x\r\nname crate\r\nxpos 10\r\nzpos -4\r\nxpos 12\r\n"
                     "rotation_angles 30 90 0\r\nscaling_axis 2 3 4\r\nflags 13\r\nflag2 8\r\n"
                     "invisible_in_edytor 1\r\n"));
    ObjectRecord* h = Find("crate");
    ASSERT_TRUE(h);
    EXPECT_EQ(Position(h), math::Vec3(12, 0, -4)); // the later line wins
    EXPECT_EQ(h->vStartPosition, math::Vec3(12, 0, -4));
    EXPECT_EQ(h->Mesh()->m_vRotationAngles, math::Vec3(30, 90, 0));
    EXPECT_EQ(h->vRotationAngles, math::Vec3(0, 0, 0));
    EXPECT_EQ(h->bBaseOrientationGiven, 1);
    // yaw 90 and pitch 30 turn the forward axis to (cos 30, -sin 30, 0), and
    // the placed object has exactly that rotation, not a second turn of it.
    for (const orientation* o : {&h->BaseOrientation, &h->Orientation}) {
        EXPECT_NEAR(o->forward.x, 0.8660254, 1e-5);
        EXPECT_NEAR(o->forward.y, -0.5, 1e-5);
        EXPECT_NEAR(o->forward.z, 0.0, 1e-5);
    }
    math::Vec3 scale;
    GetObjectScale(h, &scale);
    EXPECT_EQ(scale, math::Vec3(2, 3, 4));
    EXPECT_EQ(h->dwFlags, 13u);
    EXPECT_EQ(h->dwFlags2, 8u);
    EXPECT_EQ(h->dwKindFlags, 0x80000u);
}

TEST_F(WorldFile, InvisibleInGameHidesAndMarksTheObject) {
    ASSERT_TRUE(
        Load("mesh models\\box.x\r\nname a\r\nflags 13\r\ninvisible_in_game 1\r\n"
             "mesh models\\box.x\r\nname b\r\nflags 13\r\ninvisible_in_game 1\r\ninvisible_in_game 0\r\n"));
    EXPECT_EQ(Find("a")->dwFlags, 12u);
    EXPECT_EQ(Find("a")->dwKindFlags, 0x20000u);
    EXPECT_EQ(Find("b")->dwFlags, 12u); // zero clears only the kind bit
    EXPECT_EQ(Find("b")->dwKindFlags, 0u);
}

TEST_F(WorldFile, SoundKeysKeepWhatTheOtherKeySet) {
    ASSERT_TRUE(Load("mesh models\\box.x\r\nname hum\r\nsound_for_mesh 800 sounds\\hum.wav\r\n"
                     "sound_for_mes_ifset power_on\r\nbush_sound 2 sounds\\rustle.wav\r\n"));
    ObjectRecord* h = Find("hum");
    ASSERT_TRUE(h);
    char file[256] = {};
    char condition[64] = {};
    float range = 0;
    GetObjectSound(h, file, &range, condition);
    EXPECT_STREQ(file, "sounds\\hum.wav");
    EXPECT_FLOAT_EQ(range, 800.0f);
    EXPECT_STREQ(condition, "power_on");
    EXPECT_STREQ(h->szRepeatSound, "sounds\\rustle.wav");
    EXPECT_FLOAT_EQ(h->fRepeatSoundInterval, 6.0f); // raised to the minimum
}

TEST_F(WorldFile, WorldKeysReachTheirManagers) {
    ASSERT_TRUE(Load("world_general_properties\r\n"
                     "fog 1056816 5000 100\r\n" // no "on" value: fog off
                     "fog1 2105376 7000 200\r\nfog3 3158064 8000 300\r\n"
                     "global_ambient_light 65793\r\nglobal_ambient_light2 131586\r\n"
                     "ambient_occlusion_depth 48\r\nambient_occlusion_intensity 0.5\r\n"
                     "lens_flare_direction 30 90\r\nsky_light_direction 0 180\r\n"
                     "sky_light_color 16711680\r\nsky_light_power 1.25\r\nsky_light_use 0\r\n"
                     "vertex_ambient_brightness 1.5\r\nvertex_ambient_inside_color 0.1 0.2 0.3\r\n"
                     "sky_light_projector 1024 2048 4096 0.002\r\nskinmesh_skylight_coef 0.75\r\n"
                     "bloom_params 0.6 1.4\r\nlensflare_script x\r\n"));
    EnvironmentSettings& env = g_EnvironmentSettings;
    EXPECT_FALSE(env.FogEnabled());
    uint32_t colour = 0;
    env.GetFogColor(&colour, 0);
    EXPECT_EQ(colour, 1056816u);
    env.GetFogColor(&colour, 3);
    EXPECT_EQ(colour, 3158064u);
    float value = 0;
    env.GetFogFar(&value, 1);
    EXPECT_FLOAT_EQ(value, 7000.0f);
    env.GetFogNear(&value, 3);
    EXPECT_FLOAT_EQ(value, 300.0f);
    // The last fog colour set is the camera's clear colour.
    EXPECT_EQ(g_Camera.GetBackgroundColor(), 3158064u);
    EXPECT_EQ(env.GetAmbientColor(0), 65793u);
    EXPECT_EQ(env.GetAmbientColor(2), 131586u);
    EXPECT_FLOAT_EQ(g_PostProcess.m_fAODepth, 48.0f);
    EXPECT_FLOAT_EQ(g_PostProcess.m_fAOIntensity, 500.0f);
    ASSERT_TRUE(g_Console.FindVariable("LensFlarePitch"));
    EXPECT_FLOAT_EQ(g_Console.FindVariable("LensFlarePitch")->fValue, 30.0f);
    EXPECT_FLOAT_EQ(g_Console.FindVariable("LensFlareRotation")->fValue, 90.0f);
    EXPECT_FLOAT_EQ(g_Console.FindVariable("SkyLightRotation")->fValue, 180.0f);
    EXPECT_NEAR(env.LensFlareDirection()[0], 0.8660254, 1e-5);
    EXPECT_NEAR(env.LensFlareDirection()[1], -0.5, 1e-5);
    EXPECT_NEAR(env.LensFlareDirection()[2], 0.0, 1e-5);
    EXPECT_NEAR(env.SkyLightDirection()[2], -1.0, 1e-5);
    uint32_t sky = 0;
    env.GetSkyLightColor(&sky);
    EXPECT_EQ(sky, 16711680u);
    EXPECT_FLOAT_EQ(SkyLightPower, 1.25f);
    EXPECT_FALSE(env.m_bSkyLightInUse);
    EXPECT_FLOAT_EQ(env.m_fVertexAmbientBrightness, 1.5f);
    EXPECT_FLOAT_EQ(env.m_vVertexAmbientInsideColor[2], 0.3f);
    int size = 0, d1 = 0, d2 = 0;
    float bias = 0;
    EnvironmentSettings::GetSkyLightProjector(&size, &d1, &d2, &bias);
    EXPECT_EQ(size, 1024);
    EXPECT_EQ(d1, 2048);
    EXPECT_EQ(d2, 4096);
    EXPECT_FLOAT_EQ(bias, 0.002f);
    EXPECT_FLOAT_EQ(SkinmeshLightCoef, 0.75f);
    EXPECT_FLOAT_EQ(g_PostProcess.m_fBloomCone, 0.6f);
    EXPECT_FLOAT_EQ(g_PostProcess.m_fBloomPower, 1.4f);

    // A background colour after the fog wins; fog_in_game switches fog on.
    ASSERT_TRUE(Load("fog 1 2 3 0\r\nbackground_color 255\r\nfog_in_game 1\r\n"));
    EXPECT_EQ(g_Camera.GetBackgroundColor(), 255u);
    EXPECT_TRUE(env.FogEnabled());
    SkyLightPower = 1.0f;
    SkinmeshLightCoef = 1.0f;
    env.m_bSkyLightInUse = true;
}

TEST_F(WorldFile, ASecondSkyMeshReplacesTheFirst) {
    ASSERT_TRUE(Load("sky_mesh models\\plane.x\r\nsky_mesh models\\box.x\r\n"));
    ObjectRecord* sky = g_EnvironmentSettings.SkyObject();
    ASSERT_TRUE(sky);
    EXPECT_EQ(CountObjects(), 1);
    EXPECT_STREQ(sky->szFileName, "models\\box.x");
    EXPECT_EQ(sky->dwFlags & 1u, 0u); // hidden: only the sky drawer shows it
}

struct BlockerCase {
    const char* file;
    bool blocker;
};

TEST_F(WorldFile, VisibilityBlockerMarkersBecomeBlockersAndLeaveTheTable) {
    m_Dir.Write("markers/hidden/visibility_blocker.x", BoxX());
    m_Dir.Write("blockers/visibility_blocker.x", BoxX());
    m_Dir.Write("visibility_blocker.x", BoxX());
    m_Dir.Write("markers/visibility_blocker_old.x", BoxX());
    const std::vector<BlockerCase> cases = {
        {"markers\\hidden\\visibility_blocker.x", true},
        {"Blockers\\VISIBILITY_BLOCKER.X", true},
        {"visibility_blocker.x", true},
        {"markers\\visibility_blocker_old.x", false},
    };
    for (const BlockerCase& c : cases) {
        SCOPED_TRACE(c.file);
        g_VisBlockers.Clear();
        ASSERT_TRUE(Load(std::string("mesh ") + c.file + "\r\nname marker\r\nzpos 100\r\n"));
        EXPECT_EQ(Find("marker") == nullptr, c.blocker);
        EXPECT_EQ(g_VisBlockers.Count(), c.blocker ? 1 : 0);
        if (c.blocker) {
            // Two faces of the marker box, moved into the world: every corner
            // is a box corner around the marker's position.
            const VisBlockers::Blocker& b = g_VisBlockers.Get(0);
            EXPECT_TRUE(b.bUsed);
            for (const auto& triangle : b.vTriangles)
                for (const math::Vec3& corner : triangle) {
                    math::Vec3 d = corner - math::Vec3(0, 0, 100);
                    EXPECT_NEAR(std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z), 8.0 * std::sqrt(3.0), 1e-3);
                }
        }
    }
}

TEST_F(WorldFile, BlockersBeyondTheLimitAreReportedAndStillDeleted) {
    std::string text;
    for (int i = 0; i < VisBlockers::MAX_VISIBILITY_BLOCKERS + 1; ++i)
        text += "mesh visibility_blocker.x\r\n";
    m_Dir.Write("visibility_blocker.x", BoxX());
    MarkConsole();
    ASSERT_TRUE(Load(text));
    EXPECT_EQ(CountObjects(), 0);
    EXPECT_EQ(g_VisBlockers.Count(), VisBlockers::MAX_VISIBILITY_BLOCKERS);
    EXPECT_TRUE(PrintedSinceMark("* VisBlockers.cpp * AddBlocker() * MAX_VISIBILITY_BLOCKERS exceeded!"));
    EXPECT_TRUE(PrintedSinceMark("visibility blocker FAILED..."));
}

struct BezierNameCase {
    const char* world;
    const char* pathFile; // relative, forward slashes
};

TEST_F(WorldFile, TheBezierFileIsNamedAfterTheWorld) {
    const std::vector<BezierNameCase> cases = {
        {"worlds\\t.w", "worlds/t.bzr"},
        {"worlds\\a.b\\level", "worlds/a.bzr"},
        {"worlds\\two.dots.w", "worlds/two.dots.bzr"},
        {"level", "bzr"},
    };
    for (const BezierNameCase& c : cases) {
        SCOPED_TRACE(c.world);
        m_Dir.Write(c.pathFile,
                    std::string("bezier_node here\r\nnr 3\r\npos 1 2 3\r\nnext_in_path_nr 3\r\n"));
        g_BezierMgr.FreeAll();
        ASSERT_TRUE(Load("mesh models\\box.x\r\n", c.world));
        BezierNode* node = g_BezierMgr.FindNode("here");
        ASSERT_TRUE(node);
        EXPECT_EQ(node->nr, 3u);
        EXPECT_EQ(node->vPosition, math::Vec3(1, 2, 3));
        EXPECT_EQ(node->pNextInPath, node);
        std::filesystem::remove(m_Dir.Path() / c.pathFile);
    }
}

TEST_F(WorldFile, MissingOrEmptyFilesLoadNothing) {
    g_WorldMgr.m_bLoadError = 0;
    EXPECT_FALSE(g_WorldMgr.LoadWorld("worlds\\nothing_here.w"));
    EXPECT_TRUE(g_WorldMgr.m_bLoadError);
    EXPECT_FALSE(Load(""));
    EXPECT_FALSE(g_WorldMgr.m_bLoadError);
    EXPECT_FALSE(g_WorldMgr.LoadWorld(nullptr));
    EXPECT_EQ(CountObjects(), 0);
}

// Lines with missing words, words that are not numbers and numbers out of
// every range are logged or read as 0, never a crash or a write outside a
// field.
TEST_F(WorldFile, MalformedLinesAreHarmless) {
    const std::vector<std::string> lines = {
        "mesh",
        "skinmesh",
        "mesh models\\box.x",
        "pesel",
        "pesel x y z",
        "container_pesel 99999999999999999999 -1 1e30",
        "xpos 1e999",
        "ypos nan",
        "zpos -inf",
        "rotation_angles x",
        "scaling_axis",
        "flags 99999999999999",
        "name",
        "action_general_opt 1 1",
        "action_respawn_params nan 1e300",
        "action_render_params_show_sectors 4294967296 5",
        "action_render_params_hide_sectors -2147483649 5",
        "action_camera_positioning",
        "death_params_1 1",
        "death_params_teleport_objects_here_list 99999999999 name",
        "death_params_teleport_objects_here_list 4294967295 name",
        "rigid_body_physics_disable_collision_with_list 2147483648 x",
        "object_light_control2_light 4294967327 lamp",
        "mesh_light_control2_light -4294967295 lamp",
        "link_by_socket 1 " + std::string(2000, 'o') + " " + std::string(2000, 's'),
        "mesh_link_by_socket 1",
        "path_generation 1 x",
        "blinking1",
        "set_fx " + std::string(3000, 'f'),
        "bezier_moving_____params0 -1 -1 1e400 -1e400 1 1 1",
        "sound_for_mesh",
        "bush_sound -5",
        "light",
        "power",
        "diffuse a",
        "light_link_by_socket 1 " + std::string(40, 'o') + " x",
        "fog",
        "fog0 a b c",
        "lens_flare_direction",
        "sky_light_projector -1 -1",
        "editor_undo_pesel",
        std::string(">") + std::string(3500, '>'),
        std::string(6000, ' '),
        std::string("\0\0name x", 8),
    };
    std::string text;
    for (const std::string& l : lines)
        text += l + "\r\n";
    ASSERT_TRUE(Load(text));
    ObjectRecord* h = g_Engine.Object(0);
    ASSERT_TRUE(h->bUsed);
    // The out-of-range entries wrote nothing.
    ASSERT_TRUE(h->pAction);
    for (int i = 0; i < ObjectAction::NUM_SECTORS; ++i) {
        EXPECT_EQ(h->pAction->iRenderParamsShowSectors[i], 0);
        EXPECT_EQ(h->pAction->iRenderParamsHideSectors[i], 0);
    }
    // Numbers are read from their leading digits: "1e300" is 1.
    EXPECT_EQ(h->pAction->iRespawnParams2, 1);
    ASSERT_TRUE(h->pDeathParams);
    for (const auto& name : h->pDeathParams->szTeleportObjectsHere)
        EXPECT_STREQ(name, "");
}

} // namespace
