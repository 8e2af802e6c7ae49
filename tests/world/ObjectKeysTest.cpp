#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "app/Records.h"
#include "tests/world/WorldFileFixture.h"
#include "world/ObjectApi.h"
#include "world/ObjectKeys.h"
#include "world/WorldMgr.h"

using namespace wftest;

namespace {

// ---- The rigid-body record ---------------------------------------------------

const std::vector<std::pair<int, int>> kRigidPadding = {{14, 2}, {117, 3}, {413, 3}, {2382, 2}};

TEST(RigidBodyRecord, ResetGivesTheDefaultsAndZeroElsewhere) {
    RigidBodyPhysicsParams params;
    std::memset(&params, 0x5A, sizeof params);
    params.Reset();
    std::vector<uint8_t> image = ImageOf(params);
    ASSERT_EQ(image.size(), 2384u);
    const std::vector<Expect> defaults = {F32At(4, 8.0), U8At(8, 1),     U8At(9, 1),
                                          U8At(10, 1),   F32At(16, 1.0), F32At(120, 1.0)};
    CheckImage(image, defaults, "reset");
    std::vector<bool> covered(image.size());
    for (const Expect& e : defaults)
        for (int i = 0; i < (e.type == Expect::U8 ? 1 : 4); ++i)
            covered[e.offset + i] = true;
    for (size_t i = 0; i < image.size(); ++i) {
        if (!covered[i]) {
            ASSERT_EQ(image[i], 0) << "byte " << i;
        }
    }
}

TEST(RigidBodyRecord, ImageRoundTripKeepsEveryFieldAndZeroesPadding) {
    std::vector<uint8_t> noise(RigidBodyPhysicsParams::IMAGE_SIZE);
    for (size_t i = 0; i < noise.size(); ++i)
        noise[i] = static_cast<uint8_t>(i * 53 + 1);
    RigidBodyPhysicsParams params;
    params.Reset();
    params.ReadImage(noise.data());
    std::vector<uint8_t> image = ImageOf(params);
    for (size_t i = 0; i < image.size(); ++i) {
        bool pad = false;
        for (auto [start, count] : kRigidPadding)
            pad |= i >= size_t(start) && i < size_t(start + count);
        ASSERT_EQ(image[i], pad ? 0 : noise[i]) << "byte " << i;
    }
}

// ---- Object keys -----------------------------------------------------------------

class ObjectKeys : public ::testing::Test {
  protected:
    void SetUp() override {
        m_Dir.Write("models/box.x", BoxX());
        Recreate();
    }
    void TearDown() override { ClearObjects(); }
    void Recreate() {
        ClearObjects();
        AddObjectParams p;
        std::strcpy(p.szFileName, "models\\box.x");
        m_Mesh = g_Engine.AddObject(p);
        ASSERT_TRUE(m_Mesh);
        p.Reset();
        p.dwType = OT_LIGHT;
        m_Light = g_Engine.AddObject(p);
        ASSERT_TRUE(m_Light);
    }
    std::vector<uint8_t> RigidImage(ObjectRecord* h) {
        RigidBodyPhysicsParams p;
        p.Reset();
        GetObjectRigidBodyPhysicsParams(h, &p);
        return ImageOf(p);
    }
    LightControlList NameList(ObjectRecord* h) {
        LightControlList list;
        GetObjectNameList(h, &list);
        return list;
    }

    TempDataDir m_Dir;
    ObjectRecord* m_Mesh = nullptr;
    ObjectRecord* m_Light = nullptr;
};

struct RigidCase {
    const char* what;
    std::vector<std::string> lines;
    std::vector<Expect> expects;
};

const std::string k30(30, 'n');
const std::string k31(31, 'n');
const std::string k126(126, 'p');
const std::string k127(127, 'p');

const std::vector<RigidCase> kRigidCases = {
    {"general with one value writes 0 over the defaults",
     {"rigid_body_physics_general 1"},
     {I32At(0, 1), F32At(4, 0), U8At(8, 0), U8At(9, 1), F32At(16, 1)}},
    {"general with three values",
     {"rigid_body_physics_general 3 12.5 1"},
     {I32At(0, 3), F32At(4, 12.5), U8At(8, 1)}},
    {"each switch has its own byte",
     {"rigid_body_physics_react_after_bullet_hit 0", "rigid_body_physics_react_after_explosion 0",
      "rigid_body_physics_not_important 2", "rigid_body_physics_disable_all_collisions 1",
      "rigid_body_physics_disable_collisions_with_other_physics 1"},
     {U8At(9, 0), U8At(10, 0), U8At(11, 1), U8At(1452, 1), U8At(1453, 1), U8At(12, 0), U8At(13, 0)}},
    {"joint values and names",
     {"rigid_body_physics_joint_general 1 0.25", "rigid_body_physics_joint_my_socket " + k30,
      "rigid_body_physics_joint_to_object " + k31, "rigid_body_physics_joint_object_socket hinge"},
     {U8At(20, 1), F32At(120, 0.25), TextAt(21, k30.c_str()), TextAt(53, ""), TextAt(85, "hinge")}},
    {"sounds",
     {"rigid_body_physics_sound_filename sounds\\hit.wav", "rigid_body_physics_sound_params 1 900",
      "rigid_body_physics_silence_between_sounds 0.5",
      "rigid_body_physics_collision_sound 2.5 sounds\\bump.wav"},
     {TextAt(156, "sounds\\hit.wav"), U8At(412, 1), F32At(416, 900), F32At(420, 0.5), F32At(1448, 2.5),
      TextAt(424, "sounds\\bump.wav")}},
    {"the disable list: entry 0 by its own key, others by number",
     {"rigid_body_physics_disable_collision_with_1 wall",
      "rigid_body_physics_disable_collision_with_list 24 door",
      "rigid_body_physics_disable_collision_with_list 25 roof",
      "rigid_body_physics_disable_collision_with_list -1 roof"},
     {TextAt(1454, "wall"), TextAt(1454 + 24 * 32, "door"), TextAt(1454 + 23 * 32, ""), TextAt(2254, "")}},
    {"prefab names hold 126 characters",
     {"rigid_body_physics_construction_prefab_filename " + k126, "rigid_body_physics_give_action_to lever"},
     {TextAt(2254, k126.c_str()), TextAt(124, "lever")}},
    {"a longer prefab name empties the field",
     {"rigid_body_physics_construction_prefab_filename x",
      "rigid_body_physics_construction_prefab_filename " + k127},
     {TextAt(2254, "")}},
    {"a later line changes only its own fields",
     {"rigid_body_physics_general 2 5 1", "rigid_body_physics_friction_coef 0.5"},
     {I32At(0, 2), F32At(4, 5), F32At(16, 0.5)}},
};

TEST_F(ObjectKeys, RigidBodyKeysWriteTheMeshRecord) {
    for (const RigidCase& c : kRigidCases) {
        SCOPED_TRACE(c.what);
        Recreate();
        for (const std::string& line : c.lines)
            g_WorldMgr.ParseRigidBodyKeys(line.c_str(), m_Mesh);
        CheckImage(RigidImage(m_Mesh), c.expects, c.what);
    }
}

// Each numeric rigid-body key with values a body cannot work with: the text
// "nan" and "inf" read as 0, the largest floats, -1 and 0. A value outside
// the key's range is logged with the file, key and value, and the default
// is taken; one inside is kept.
struct RangeCase {
    const char* line; // %s: the value
    int offset;
    bool isInt;
    bool zeroKept, minusOneKept;
    double fallback;
};

class RigidBodyKeyRanges : public ObjectKeys, public ::testing::WithParamInterface<RangeCase> {};

TEST_P(RigidBodyKeyRanges, ValuesOutsideAreLoggedAndTheDefaultTaken) {
    const RangeCase& c = GetParam();
    const std::string flt = "340282346638528859811704183484516925440";
    const struct {
        std::string text;
        double read;
        bool kept;
    } values[] = {{"nan", 0, c.zeroKept},
                  {"inf", 0, c.zeroKept},
                  {"-inf", 0, c.zeroKept},
                  {flt, 3.4028234663852886e38, false},
                  {"-" + flt, -3.4028234663852886e38, false},
                  {"-1", -1, c.minusOneKept},
                  {"0", 0, c.zeroKept}};
    for (const auto& v : values) {
        SCOPED_TRACE(v.text);
        Recreate();
        char line[256];
        std::snprintf(line, sizeof line, c.line, v.text.c_str());
        MarkConsole();
        g_WorldMgr.ParseRigidBodyKeys(line, m_Mesh);
        const double expected = v.kept ? v.read : c.fallback;
        CheckImage(RigidImage(m_Mesh),
                   {c.isInt ? I32At(c.offset, int32_t(expected)) : F32At(c.offset, expected)}, line);
        const std::string printed = TextSinceMark();
        EXPECT_EQ(printed.find("out of range") != std::string::npos, !v.kept) << printed;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Keys, RigidBodyKeyRanges,
    ::testing::Values(RangeCase{"rigid_body_physics_general %s 8 1", 0, true, true, false, 0},
                      RangeCase{"rigid_body_physics_general 1 %s 1", 4, false, true, false, 8},
                      RangeCase{"rigid_body_physics_friction_coef %s", 16, false, true, false, 1},
                      RangeCase{"rigid_body_physics_joint_general 1 %s", 120, false, true, false, 1},
                      RangeCase{"rigid_body_physics_sound_params 1 %s", 416, false, true, false, 0},
                      RangeCase{"rigid_body_physics_silence_between_sounds %s", 420, false, true, false, 0},
                      RangeCase{"rigid_body_physics_collision_sound %s s.wav", 1448, false, true, true, 0}));

// A refused value read from a world file names the file, the key and the
// value.
TEST_F(ObjectKeys, RefusedValueOfAWorldFileNamesTheFileTheKeyAndTheValue) {
    m_Dir.Write("worlds/hostile.w", "mesh models\\box.x\r\n\tname lamp\r\n"
                                    "\trigid_body_physics_joint_general 1 -5\r\n");
    ClearObjects();
    MarkConsole();
    ASSERT_TRUE(g_WorldMgr.LoadWorld("worlds\\hostile.w"));
    const std::string printed = TextSinceMark();
    EXPECT_NE(printed.find("worlds\\hostile.w: rigid_body_physics_joint_general value 2 = -5 out of range"),
              std::string::npos)
        << printed;
    RigidBodyPhysicsParams p;
    p.Reset();
    GetObjectRigidBodyPhysicsParams(g_Engine.FindObjectByName("lamp"), &p);
    EXPECT_EQ(p.fJointDamping, 1.0f);
    EXPECT_EQ(p.bJointOn, 1);
}

// The checks leave a valid world as it was: no rigid-body line of the demo
// world is refused.
TEST_F(ObjectKeys, NoRigidBodyLineOfTheDemoWorldIsRefused) {
    std::ifstream in(std::filesystem::path(ZT_SOURCE_DIR) / "data" / "worlds" / "test.w");
    ASSERT_TRUE(in);
    int lines = 0;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const size_t start = line.find_first_not_of(" \t");
        if (start == std::string::npos || line.compare(start, 19, "rigid_body_physics_") != 0) continue;
        ++lines;
        MarkConsole();
        g_WorldMgr.ParseRigidBodyKeys(line.c_str() + start, m_Mesh);
        EXPECT_EQ(TextSinceMark().find("out of range"), std::string::npos) << line;
    }
    EXPECT_GT(lines, 0);
}

TEST_F(ObjectKeys, DisableListEntryOutsideTheListIsRefusedWithAMessage) {
    std::vector<uint8_t> before = RigidImage(m_Mesh);
    MarkConsole();
    g_WorldMgr.ParseRigidBodyKeys("rigid_body_physics_disable_collision_with_list 25 roof", m_Mesh);
    EXPECT_TRUE(PrintedSinceMark("ERROR: blad w pliku *.w, zly numer obiektu na liscie kolizji..."));
    EXPECT_EQ(RigidImage(m_Mesh), before);
}

TEST_F(ObjectKeys, RigidBodyKeysOnAnObjectWithoutAMeshDoNothing) {
    g_WorldMgr.ParseRigidBodyKeys("rigid_body_physics_general 1 2 1", m_Light);
    g_WorldMgr.ParseRigidBodyKeys("rigid_body_physics_general 1 2 1", nullptr);
    RigidBodyPhysicsParams p;
    p.Reset();
    GetObjectRigidBodyPhysicsParams(m_Light, &p);
    EXPECT_EQ(p.iShape, 0);
}

TEST_F(ObjectKeys, BlinkingReplacesTheWholeBlock) {
    g_WorldMgr.ParseBlinkingKey("blinking1 1 0.5 1.5 2.5 3.5 4.5 5.5", m_Light);
    ASSERT_TRUE(m_Light->pBlinking);
    EXPECT_EQ(m_Light->pBlinking->bOn, 1);
    for (int i = 0; i < 6; ++i)
        EXPECT_FLOAT_EQ(m_Light->pBlinking->fValues[i], 0.5f + i);
    // Missing values write 0, the block's own defaults are all overwritten.
    g_WorldMgr.ParseBlinkingKey("blinking1 1", m_Light);
    EXPECT_FLOAT_EQ(m_Light->pBlinking->fValues[2], 0.0f);
    EXPECT_FLOAT_EQ(m_Light->pBlinking->fValues[4], 0.0f);
}

TEST_F(ObjectKeys, SetFxNamesTheObjectsFx) {
    struct Case {
        std::string line;
        const char* expected; // null: no FX name
    };
    const std::string fx100(100, 'f');
    const std::string fx63(63, 'f');
    const std::string fx300(300, 'f');
    const std::vector<Case> cases = {
        {"set_fx smoke_column", "smoke_column"},
        {"set_fx " + fx100, fx63.c_str()}, // cut to the object's 63 characters
        {"set_fx " + fx300, nullptr},      // longer than the line's bound: emptied, so none
        {"set_fx", nullptr},               // an empty rest clears it
        {"Set_fx smoke", nullptr},         // keywords are case-sensitive
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        SetObjectFxName(m_Mesh, "old_fx");
        g_WorldMgr.ParseSetFxKey(c.line.c_str(), m_Mesh);
        if (c.line.rfind("Set_fx", 0) == 0) {
            ASSERT_TRUE(m_Mesh->pFxName);
            EXPECT_STREQ(m_Mesh->pFxName, "old_fx");
        } else if (c.expected) {
            ASSERT_TRUE(m_Mesh->pFxName);
            EXPECT_STREQ(m_Mesh->pFxName, c.expected);
        } else {
            EXPECT_EQ(m_Mesh->pFxName, nullptr);
        }
    }
}

TEST_F(ObjectKeys, BezierMovingKeysChangeOnlyTheirFields) {
    BezierMovingParams p;
    GetObjectBezierMovingParams(m_Mesh, &p);
    ASSERT_EQ(p.bStartWhenLoaded, 1); // the creation defaults
    ASSERT_EQ(p.bLoops, 1);

    g_WorldMgr.ParseBezierMovingKeys("bezier_moving_____params0 0 1 0 0 2 1 1", m_Mesh);
    GetObjectBezierMovingParams(m_Mesh, &p);
    EXPECT_EQ(p.bActive, 1);
    EXPECT_EQ(p.bStartWhenLoaded, 0); // 2 is not 1
    EXPECT_EQ(p.bFlag2, 1);
    EXPECT_EQ(p.bLoops, 1);

    g_WorldMgr.ParseBezierMovingKeys("bezier_moving_____params0 3 1 1.5 2.25 1 0 5", m_Mesh);
    g_WorldMgr.ParseBezierMovingKeys("bezier_moving_____start_node_name lift bottom", m_Mesh);
    g_WorldMgr.ParseBezierMovingKeys("bezier_moving_____params1 1 7", m_Mesh);
    GetObjectBezierMovingParams(m_Mesh, &p);
    EXPECT_EQ(p.dwLapLimit, 3u);
    EXPECT_DOUBLE_EQ(p.dFirstLapPause, 1.5);
    EXPECT_DOUBLE_EQ(p.dLaterLapPause, 2.25);
    EXPECT_EQ(p.bStartWhenLoaded, 1);
    EXPECT_EQ(p.bFlag2, 0);
    EXPECT_EQ(p.bLoops, 0);
    EXPECT_STREQ(p.szStartNode, "lift bottom");
    EXPECT_EQ(p.bFlag140, 1);
    EXPECT_EQ(p.bPlaceAtStart, 1);

    // The start-node name holds 129 characters.
    const std::string n129(129, 'n');
    const std::string n130(130, 'n');
    g_WorldMgr.ParseBezierMovingKeys(("bezier_moving_____start_node_name " + n129).c_str(), m_Mesh);
    GetObjectBezierMovingParams(m_Mesh, &p);
    EXPECT_EQ(std::string(p.szStartNode), n129);
    g_WorldMgr.ParseBezierMovingKeys(("bezier_moving_____start_node_name " + n130).c_str(), m_Mesh);
    GetObjectBezierMovingParams(m_Mesh, &p);
    EXPECT_STREQ(p.szStartNode, "");
}

TEST_F(ObjectKeys, ObjectLightControlNeedsItsParamsFirst) {
    g_WorldMgr.ParseObjectLightControlKeys("object_light_control2_light 3 lamp_a", m_Mesh);
    EXPECT_EQ(m_Mesh->pLightControl, nullptr); // lost: the list is off

    g_WorldMgr.ParseObjectLightControlKeys("object_light_control_params 1 1", m_Mesh);
    g_WorldMgr.ParseObjectLightControlKeys("object_light_control2_light 3 lamp_a", m_Mesh);
    g_WorldMgr.ParseObjectLightControlKeys("object_light_control2_light 31 lamp_b", m_Mesh);
    LightControlList list = NameList(m_Mesh);
    EXPECT_EQ(list.bOn, 1);
    EXPECT_EQ(list.bFlag2, 1);
    EXPECT_STREQ(list.szNames[3], "lamp_a");
    EXPECT_STREQ(list.szNames[31], "lamp_b");

    // A name fills at most 32 characters, without a terminator when it does.
    const std::string longName = std::string(32, 'L') + "tail";
    g_WorldMgr.ParseObjectLightControlKeys(("object_light_control2_light 4 " + longName).c_str(), m_Mesh);
    list = NameList(m_Mesh);
    EXPECT_EQ(std::string(list.szNames[4], 32), std::string(32, 'L'));
    EXPECT_STREQ(list.szNames[5], "");

    g_WorldMgr.ParseObjectLightControlKeys("object_light_control_params 0 0", m_Mesh);
    EXPECT_EQ(m_Mesh->pLightControl, nullptr);
}

TEST_F(ObjectKeys, LightControlSlotsOutsideTheListAreRefused) {
    struct Case {
        bool mesh;
        const char* line;
        const char* message;
    };
    const std::vector<Case> cases = {
        {false, "object_light_control2_light 32 lamp",
         "ERROR: blad w pliku *.w, zly numer swiatla na obiekt..."},
        {false, "object_light_control2_light -1 lamp",
         "ERROR: blad w pliku *.w, zly numer swiatla na obiekt..."},
        {true, "mesh_light_control2_light 32 lamp", "ERROR: blad w pliku *.w, zly numer swiatla na mesha..."},
        {true, "mesh_light_control2_light -5 lamp", "ERROR: blad w pliku *.w, zly numer swiatla na mesha..."},
    };
    g_WorldMgr.ParseObjectLightControlKeys("object_light_control_params 1 0", m_Mesh);
    g_WorldMgr.ParseObjectLightControlKeys("object_light_control2_light 0 lamp0", m_Mesh);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        LightControlList before = NameList(m_Mesh);
        MarkConsole();
        if (c.mesh)
            g_WorldMgr.ParseMeshLightControlKeys(c.line, m_Mesh);
        else
            g_WorldMgr.ParseObjectLightControlKeys(c.line, m_Mesh);
        EXPECT_TRUE(PrintedSinceMark(c.message));
        LightControlList after = NameList(m_Mesh);
        EXPECT_EQ(std::memcmp(&before, &after, sizeof before), 0);
    }
}

TEST_F(ObjectKeys, MeshLightControlFixedSlots) {
    g_WorldMgr.ParseMeshLightControlKeys("mesh_light_control_light3 lamp_lost", m_Mesh);
    EXPECT_EQ(m_Mesh->pLightControl, nullptr);
    g_WorldMgr.ParseMeshLightControlKeys("mesh_light_control_params 1 0", m_Mesh);
    g_WorldMgr.ParseMeshLightControlKeys("mesh_light_control_light3 lamp three", m_Mesh);
    g_WorldMgr.ParseMeshLightControlKeys("mesh_light_control_light6 lamp_6", m_Mesh);
    g_WorldMgr.ParseMeshLightControlKeys("mesh_light_control_light7 lamp_7", m_Mesh); // no such key
    g_WorldMgr.ParseMeshLightControlKeys("mesh_light_control2_light 20 lamp_20", m_Mesh);
    LightControlList list = NameList(m_Mesh);
    EXPECT_STREQ(list.szNames[3], "lamp three");
    EXPECT_STREQ(list.szNames[6], "lamp_6");
    EXPECT_STREQ(list.szNames[7], "");
    EXPECT_STREQ(list.szNames[20], "lamp_20");
}

TEST_F(ObjectKeys, ALightKeepsNoLightControlList) {
    for (const char* line : {"object_light_control_params 1 1", "object_light_control2_light 1 lamp"})
        g_WorldMgr.ParseObjectLightControlKeys(line, m_Light);
    for (const char* line : {"mesh_light_control_params 1 1", "mesh_light_control_light1 lamp"})
        g_WorldMgr.ParseMeshLightControlKeys(line, m_Light);
    EXPECT_EQ(m_Light->pLightControl, nullptr);
}

} // namespace
