#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "app/FileHelpers.h"
#include "app/Records.h"
#include "tests/world/WorldFileFixture.h"
#include "world/DeathParams.h"
#include "world/ObjectApi.h"
#include "world/WorldMgr.h"

using namespace wftest;

namespace {

// Every default of the record that is not zero, at its offset.
const std::vector<Expect> kNonZeroDefaults = {
    U8At(40, 1),       U8At(41, 1),       U8At(42, 1),      F32At(44, 1.0),    U8At(176, 1),
    F32At(604, 1.0),   F32At(1128, 64.0), F32At(2556, 0.3), F32At(2560, 0.1),  F32At(2564, 0.1),
    F32At(2568, 0.2),  F32At(2572, 0.3),  F32At(2576, 1.0), F32At(2588, 20.0), F32At(2592, 1.0),
    F32At(2596, 12.0), F32At(2600, 1.4),  F32At(2604, 8.0), F32At(2608, 1.4),  F32At(2612, 640.0),
    F32At(2616, 4.0),  U8At(2632, 1),     F32At(2636, 1.8), F32At(2640, 1.0),  I32At(2644, 8),
    I32At(2648, 24),   U8At(2652, 1),     F32At(2656, 1.0), F32At(2660, 0.2),  F32At(2664, 1.2),
};

const std::vector<std::pair<int, int>> kPadding = {
    {33, 3},   {43, 1},   {602, 2},  {1121, 3}, {1137, 3}, {1178, 2}, {1193, 3}, {1908, 1},
    {2553, 3}, {2585, 3}, {2621, 3}, {2625, 3}, {2633, 3}, {2653, 3}, {2701, 3}, {2785, 3},
};

bool IsPadding(int offset) {
    for (auto [start, count] : kPadding)
        if (offset >= start && offset < start + count) return true;
    return false;
}

TEST(DeathParamsRecord, DefaultImageHoldsTheDefaultsAndZeroElsewhere) {
    DeathParams params;
    std::vector<uint8_t> image = ImageOf(params);
    ASSERT_EQ(image.size(), 2788u);
    CheckImage(image, kNonZeroDefaults, "default");
    std::vector<bool> covered(image.size());
    for (const Expect& e : kNonZeroDefaults)
        for (int i = 0; i < (e.type == Expect::U8 ? 1 : 4); ++i)
            covered[e.offset + i] = true;
    // The move-to speed at 2780 starts at 0 too.
    for (size_t i = 0; i < image.size(); ++i)
        if (!covered[i]) {
            ASSERT_EQ(image[i], 0) << "byte " << i;
        }
}

TEST(DeathParamsRecord, ResetRestoresDefaultsButKeepsTheMoveToSpeed) {
    DeathParams params;
    params.bOn = 1;
    params.fHealth = 0;
    std::strcpy(params.szTeleportObjectsHere[9], "crate");
    params.fMoveToObjectBeforeDeathSpeed = 3.5f;
    params.Reset();
    std::vector<uint8_t> image = ImageOf(params);
    CheckImage(image, kNonZeroDefaults, "after reset");
    CheckImage(image, {U8At(0, 0), TextAt(1910 + 9 * 64, ""), F32At(2780, 3.5)}, "after reset");
}

TEST(DeathParamsRecord, ImageRoundTripKeepsEveryFieldAndZeroesPadding) {
    std::vector<uint8_t> noise(DeathParams::IMAGE_SIZE);
    for (size_t i = 0; i < noise.size(); ++i)
        noise[i] = static_cast<uint8_t>(i * 37 + 11);
    DeathParams params;
    params.ReadImage(noise.data());
    std::vector<uint8_t> image = ImageOf(params);
    for (size_t i = 0; i < image.size(); ++i) {
        if (IsPadding(static_cast<int>(i)))
            ASSERT_EQ(image[i], 0) << "padding byte " << i;
        else
            ASSERT_EQ(image[i], noise[i]) << "field byte " << i;
    }

    TempDataDir dir;
    std::FILE* f = std::tmpfile();
    ASSERT_TRUE(f);
    g_BytesWritten = 0;
    FileWriteDeathParams(f, params);
    EXPECT_EQ(g_BytesWritten, DeathParams::IMAGE_SIZE);
    std::rewind(f);
    DeathParams read;
    FileReadDeathParams(f, read);
    std::fclose(f);
    EXPECT_EQ(ImageOf(read), image);
}

// ---- Death-parameter keys ------------------------------------------------------

class DeathKeys : public ::testing::Test {
  protected:
    void SetUp() override { Recreate(); }
    void TearDown() override { ClearObjects(); }
    void Recreate() {
        ClearObjects();
        AddObjectParams p;
        p.dwType = OT_LIGHT;
        m_h = g_Engine.AddObject(p);
        ASSERT_TRUE(m_h);
    }
    void Apply(const std::vector<std::string>& lines) {
        for (const std::string& line : lines)
            g_WorldMgr.ParseDeathParamsKeys(line.c_str(), m_h);
    }
    std::vector<uint8_t> Image() {
        DeathParams d;
        GetObjectDeathParams(m_h, &d);
        return ImageOf(d);
    }

    TempDataDir m_Dir;
    ObjectRecord* m_h = nullptr;
};

struct DeathCase {
    const char* what;
    std::vector<std::string> lines;
    std::vector<Expect> expects;
};

const std::string kName127 = "models\\" + std::string(118, 'm') + ".x"; // 127 characters
const std::string kName128 = "models\\" + std::string(119, 'm') + ".x"; // 128 characters
const std::string kFx30(30, 'f');
const std::string kFx31(31, 'f');

const std::vector<DeathCase> kDeathCases = {
    {"a line before death_params_1 is lost",
     {"death_params_SoundName sounds\\boom.wav", "death_params_1 1 0 0 0 0 1 1 1 1 0 5"},
     {TextAt(179, ""), F32At(44, 5)}},
    {"after it, it is kept",
     {"death_params_1 1 0 0 0 0 1 1 1 1 0 5", "death_params_SoundName sounds\\boom.wav"},
     {TextAt(179, "sounds\\boom.wav")}},
    {"death_params_1 with only value 1 zeroes the other ten",
     {"death_params_1 1"},
     {U8At(0, 1), U8At(501, 0), U8At(468, 0), U8At(435, 0), U8At(534, 0), U8At(176, 0), U8At(41, 0),
      U8At(42, 0), U8At(40, 0), U8At(178, 0), F32At(44, 0)}},
    {"death_params_1 values go to their scattered bytes",
     {"death_params_1 1 2 3 4 5 6 7 8 9 10 42.5"},
     {U8At(0, 1), U8At(501, 1), U8At(468, 1), U8At(435, 1), U8At(534, 1), U8At(176, 1), U8At(41, 1),
      U8At(42, 1), U8At(40, 1), U8At(178, 1), F32At(44, 42.5)}},
    {"death_params_2 reads values 2, 4 and 5 only",
     {"death_params_1 1", "death_params_2 1 1 1 1 1"},
     {U8At(599, 1), U8At(600, 1), U8At(601, 1), U8At(598, 0), U8At(602, 0)}},
    {"death_params_2 ignores values 1 and 3",
     {"death_params_1 1", "death_params_2 1 0 1 0 0"},
     {U8At(599, 0), U8At(600, 0), U8At(601, 0)}},
    {"teleport list takes entries 0 to 9",
     {"death_params_1 1", "death_params_teleport_objects_here_list 0 crate_a",
      "death_params_teleport_objects_here_list 9 crate_b",
      "death_params_teleport_objects_here_list 10 crate_c",
      "death_params_teleport_objects_here_list -1 crate_d"},
     {TextAt(1910, "crate_a"), TextAt(1910 + 9 * 64, "crate_b"), U8At(2550, 0)}},
    {"remove joints stores the value of its line",
     {"death_params_1 1", "death_params_remove_joints_when_dead 1"},
     {U8At(177, 1)}},
    {"remove joints with 0 clears it",
     {"death_params_1 1", "death_params_remove_joints_when_dead 1", "death_params_remove_joints_when_dead 0"},
     {U8At(177, 0)}},
    {"AddSpeed with one value zeroes the other two",
     {"death_params_1 1", "death_params_AddSpeed 7"},
     {F32At(1124, 7), F32At(1128, 0), F32At(1132, 0)}},
    {"pane crash params go to their scattered fields in order",
     {"death_params_1 1", "death_params_pane_crash_params 3 0 0 4.5 5.5 6.5 7.5 8.5",
      "death_params_pane_crash_parameters2 11 12"},
     {I32At(2628, 3), U8At(2652, 0), U8At(2632, 0), F32At(2664, 4.5), F32At(2656, 5.5), F32At(2636, 6.5),
      F32At(2640, 7.5), F32At(2660, 8.5), I32At(2644, 11), I32At(2648, 12)}},
    {"a replacement mesh of 127 characters fits the creation record",
     {"death_params_1 1", "death_params_CreateMeshOnDeath " + kName127},
     {TextAt(608, kName127.c_str())}},
    {"a replacement mesh of 128 characters is refused",
     {"death_params_1 1", "death_params_CreateMeshOnDeath " + kName128},
     {TextAt(608, "")}},
    {"the ground-hit mesh keeps its 256-byte field",
     {"death_params_1 1", "death_params_CreateMeshOnGroundHit " + kName128},
     {TextAt(864, kName128.c_str())}},
    {"FX names hold 30 characters",
     {"death_params_1 1", "death_params_FX_On_Death " + kFx30, "death_params_FX_On_Hit " + kFx31},
     {TextAt(1488, kFx30.c_str()), TextAt(1456, "")}},
    {"the last keyed fields",
     {"death_params_1 1", "death_params_move_to_object_before_death_object lift",
      "death_params_move_to_object_before_death_speed 12.5",
      "death_params_physics_hit_teleported_objects_hit_force 1 2 3"},
     {TextAt(2716, "lift"), F32At(2780, 12.5), F32At(2704, 1), F32At(2708, 2), F32At(2712, 3),
      U8At(2784, 0)}},
};

TEST_F(DeathKeys, EachKeyWritesItsFields) {
    for (const DeathCase& c : kDeathCases) {
        SCOPED_TRACE(c.what);
        Recreate();
        Apply(c.lines);
        CheckImage(Image(), c.expects, c.what);
    }
}

TEST_F(DeathKeys, EveryStoredLineResetsTheHealth) {
    Apply({"death_params_1 1 0 0 0 0 1 1 1 1 0 25"});
    EXPECT_FLOAT_EQ(m_h->fHealth, 25.0f);
    m_h->fHealth = 3.0f; // a hit
    Apply({"death_params_SetWhenDead crate_gone"});
    EXPECT_FLOAT_EQ(m_h->fHealth, 25.0f);
}

TEST_F(DeathKeys, DeathParams1WithZeroRemovesTheRecord) {
    Apply({"death_params_1 1", "death_params_SetWhenHit hit"});
    ASSERT_TRUE(m_h->pDeathParams);
    Apply({"death_params_1 0"});
    EXPECT_EQ(m_h->pDeathParams, nullptr);
    Apply({"death_params_SetWhenHit again"});
    EXPECT_EQ(m_h->pDeathParams, nullptr);
}

TEST_F(DeathKeys, RefusedReplacementMeshIsLoggedWithItsLabel) {
    Apply({"death_params_1 1"});
    MarkConsole();
    Apply({"death_params_CreateMeshOnDeath " + kName128});
    EXPECT_EQ(ConsoleLine(1), "ERROR: safe_string_copy() Source String Too Long!");
    EXPECT_EQ(ConsoleLine(0), "Create Mesh On Death");
}

} // namespace
