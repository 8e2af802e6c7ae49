#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "app/FileHelpers.h"
#include "app/Records.h"
#include "tests/world/WorldFileFixture.h"
#include "world/ObjectAction.h"
#include "world/ObjectApi.h"
#include "world/WorldMgr.h"

using namespace wftest;

namespace {

// Every default of the block that is not zero, at its offset.
const std::vector<Expect> kNonZeroDefaults = {
    I32At(940, 1),          TextAt(948, "estimate"), TextAt(980, "estimate"), U32At(2144, 1),
    F32At(2148, 80.0),      F32At(2152, 80.0),       F32At(2228, 45.0),       F32At(2232, 45.0),
    TextAt(2340, "ColtM4"), I32At(2372, 10),         I32At(2376, 5),          F32At(3104, 1.1),
    F32At(3112, 1.0),       F32At(3124, 6.0),        F32At(3484, 0.3),        F32At(3488, 0.1),
    F32At(3492, 0.1),       F32At(3496, 0.2),        F32At(3500, 0.3),        F32At(3504, 1.0),
    F32At(3516, 20.0),      F32At(3520, 1.0),        F32At(3524, 12.0),       F32At(3528, 1.4),
    F32At(3532, 8.0),       F32At(3536, 1.4),        F32At(3540, 640.0),      F32At(3544, 4.0),
    F32At(3632, 1.0),       TextAt(3892, "idzie"),   F32At(4688, 1.0),        F32At(5712, 1.0),
    F32At(5720, 1.0),       F32At(5728, 0.3),        F32At(5872, 60.0),       I32At(6200, 25),
};

// The unused bytes of the image: (offset, count).
const std::vector<std::pair<int, int>> kPadding = {
    {3101, 3}, {3130, 2}, {3481, 3}, {3513, 3}, {3549, 3}, {3630, 2}, {4285, 3},
    {4421, 3}, {4684, 4}, {4826, 2}, {5351, 1}, {5358, 2}, {5498, 2}, {5634, 2},
    {5711, 1}, {5717, 3}, {5727, 1}, {5869, 3}, {6198, 2}, {6205, 3},
};

bool IsPadding(int offset) {
    for (auto [start, count] : kPadding)
        if (offset >= start && offset < start + count) return true;
    return false;
}

TEST(ObjectActionRecord, DefaultImageHoldsTheDefaultsAndZeroElsewhere) {
    ObjectAction action;
    std::vector<uint8_t> image = ImageOf(action);
    ASSERT_EQ(image.size(), 6208u);
    CheckImage(image, kNonZeroDefaults, "default");

    // Every byte not covered by a non-zero default (text terminators and
    // the rest of the text fields included) is zero.
    std::vector<bool> covered(image.size());
    for (const Expect& e : kNonZeroDefaults) {
        int width = e.type == Expect::Text ? static_cast<int>(std::strlen(e.text))
                    : e.type == Expect::U8 ? 1
                                           : 4;
        for (int i = 0; i < width; ++i)
            covered[e.offset + i] = true;
    }
    for (size_t i = 0; i < image.size(); ++i)
        if (!covered[i]) {
            ASSERT_EQ(image[i], 0) << "byte " << i;
        }
}

TEST(ObjectActionRecord, ImageRoundTripKeepsEveryFieldAndZeroesPadding) {
    std::vector<uint8_t> noise(ObjectAction::IMAGE_SIZE);
    for (size_t i = 0; i < noise.size(); ++i)
        noise[i] = static_cast<uint8_t>(i * 131 + 7);
    ObjectAction action;
    action.ReadImage(noise.data());
    std::vector<uint8_t> image = ImageOf(action);
    for (size_t i = 0; i < image.size(); ++i) {
        if (IsPadding(static_cast<int>(i)))
            ASSERT_EQ(image[i], 0) << "padding byte " << i;
        else
            ASSERT_EQ(image[i], noise[i]) << "field byte " << i;
    }
}

TEST(ObjectActionRecord, FileImageIsCountedAndReadsBack) {
    TempDataDir dir;
    ObjectAction written;
    written.dwGeneralOpt1 = 1;
    std::strcpy(written.szIfset, "door_open");
    written.iRenderParamsHideSectors[31] = -7;
    written.ShortShake.fDuration = 2.5f;

    std::FILE* f = std::tmpfile();
    ASSERT_TRUE(f);
    g_BytesWritten = 0;
    FileWriteObjectAction(f, written);
    EXPECT_EQ(g_BytesWritten, ObjectAction::IMAGE_SIZE);
    std::rewind(f);
    g_BytesRead = 0;
    ObjectAction read;
    FileReadObjectAction(f, read);
    EXPECT_EQ(g_BytesRead, ObjectAction::IMAGE_SIZE);
    std::fclose(f);
    EXPECT_EQ(ImageOf(read), ImageOf(written));
}

// ---- Action keys -------------------------------------------------------------

class ActionKeys : public ::testing::Test {
  protected:
    void SetUp() override {
        ClearObjects();
        AddObjectParams p;
        p.dwType = OT_LIGHT;
        m_h = g_Engine.AddObject(p);
        ASSERT_TRUE(m_h);
    }
    void TearDown() override { ClearObjects(); }

    void Apply(const std::vector<std::string>& lines) {
        for (const std::string& line : lines) {
            g_WorldMgr.ParseActionKeys(line.c_str(), m_h);
            g_WorldMgr.ParseLoopMusicKey(line.c_str(), m_h);
        }
    }
    std::vector<uint8_t> Image() {
        ObjectAction a;
        GetObjectAction(m_h, &a);
        return ImageOf(a);
    }

    TempDataDir m_Dir;
    ObjectRecord* m_h = nullptr;
};

struct ActionCase {
    const char* what;
    std::vector<std::string> lines;
    std::vector<Expect> expects;
};

const std::string k31(31, 'v');
const std::string k32(32, 'v');

const std::vector<ActionCase> kActionCases = {
    {"general_opt keeps value 2 off", {"action_general_opt 1 0"}, {U32At(0, 1), U32At(4, 0)}},
    {"rest texts keep inner blanks and lose trailing ones",
     {"action_general_opt 1 1", "action_ifset   door_open  ",
      "action_sounds_activate sounds\\a.wav sounds\\b.wav  "},
     {TextAt(12, "door_open"), TextAt(172, "sounds\\a.wav sounds\\b.wav")}},
    {"a line before general_opt is dropped",
     {"action_ifset early", "action_general_opt 1 1"},
     {TextAt(12, ""), U32At(0, 1), U32At(4, 1)}},
    {"the later of two keys sharing a field wins",
     {"action_general_opt 1 1", "action_voice_hawke first", "action_voice_hero0 second",
      "action_voice_hero1 third", "action_voice_fletch fourth"},
     {TextAt(2896, "second"), TextAt(2960, "fourth")}},
    {"respawn params keep the integer part toward zero",
     {"action_general_opt 1 1", "action_respawn_params 5 2.9"},
     {F32At(944, 5.0), I32At(940, 2)}},
    {"negative respawn count truncates toward zero",
     {"action_general_opt 1 1", "action_respawn_params 1 -2.9"},
     {I32At(940, -2)}},
    {"missing values write 0, not the defaults",
     {"action_general_opt 1 1", "action_shoot_general 1", "action_door 1"},
     {U32At(2304, 1), I32At(2372, 0), I32At(2376, 0), U32At(2140, 1), U32At(2144, 0), F32At(2148, 0),
      F32At(2152, 0)}},
    {"untouched fields keep their defaults",
     {"action_general_opt 1 1", "action_door 1 1 10 20 30"},
     {U32At(2144, 1), F32At(2148, 10), F32At(2152, 20), F32At(2156, 30), TextAt(2340, "ColtM4"),
      I32At(6200, 25)}},
    {"a 31-character variable fits, a 32-character one empties the field",
     {"action_general_opt 1 1", "action_ifset " + k31, "action_dest_set x", "action_dest_set " + k32},
     {TextAt(12, k31.c_str()), TextAt(108, "")}},
    {"a flag read from the rest is 1 for any non-zero number",
     {"action_general_opt 1 1", "action_switch_light 5", "action_hide_icon_if_action_invalid -3"},
     {U32At(1160, 1), U8At(3476, 1)}},
    {"a non-number reads as 0",
     {"action_general_opt 1 1", "action_take_health_away lots", "action_num_cockroaches x"},
     {F32At(1088, 0), I32At(6200, 0)}},
    {"camera positioning replaces the embedded record; motion blur must come after it",
     {"action_general_opt 1 1", "action_camera1_positioning_motion_blur 1",
      "action_camera_positioning 1 2 3 4 5 6 7 1"},
     {U8At(3100, 1), F32At(3104, 2), F32At(3108, 3), F32At(3112, 4), F32At(3116, 5), F32At(3120, 6),
      F32At(3124, 7), U8At(3128, 1), U8At(3129, 0)}},
    {"motion blur after camera positioning stays",
     {"action_general_opt 1 1", "action_camera_positioning 1", "action_camera1_positioning_motion_blur 1"},
     {U8At(3100, 1), F32At(3104, 0), U8At(3129, 1)}},
    {"render states fill eight bytes in order",
     {"action_general_opt 1 1", "action_render_params_states 1 0 1 0 0 1 1 0"},
     {U8At(3556, 1), U8At(3557, 0), U8At(3558, 1), U8At(3559, 0), U8At(3560, 0), U8At(3561, 1), U8At(3562, 1),
      U8At(3563, 0)}},
    {"sector lists take entries 0 to 31 and keep the others",
     {"action_general_opt 1 1", "action_render_params_show_sectors 0 5",
      "action_render_params_show_sectors 31 9", "action_render_params_show_sectors 32 7",
      "action_render_params_show_sectors -1 7", "action_render_params_hide_sectors 3 -4"},
     {I32At(4024, 5), I32At(4024 + 31 * 4, 9), I32At(4152, 0), I32At(4152 + 3 * 4, -4),
      I32At(4152 + 31 * 4, 0)}},
    {"short shake fills the embedded shake record",
     {"action_general_opt 1 1", "action_short_shake_screen 1", "action_short_shake_params 1 2 3 4 5 6 7 8"},
     {U8At(3512, 1), F32At(3516, 1), F32At(3544, 8), U8At(3548, 0)}},
    {"loop music has its own key", {"action_general_opt 1 1", "action_loop_music 1"}, {U8At(6204, 1)}},
    {"keywords match case-sensitively",
     {"action_general_opt 1 1", "Action_door 1 0 5 5 5", "ACTION_IFSET x"},
     {U32At(2140, 0), U32At(2144, 1), TextAt(12, "")}},
    {"texts from value 1 stop at the first blank",
     {"action_general_opt 1 1", "action_kill_character bob and more",
      "action_camera_position_mesh 1 cam_target x"},
     {TextAt(3132, "bob"), U32At(688, 1), TextAt(692, "cam_target")}},
    {"the last fields of the block",
     {"action_general_opt 1 1", "action_respawn_force_skinmesh models\\guy 2.x", "action_add_cockroaches 1",
      "action_num_cockroaches 12"},
     {TextAt(5941, "models\\guy 2.x"), U8At(6197, 1), I32At(6200, 12)}},
};

TEST_F(ActionKeys, EachKeyWritesItsFields) {
    for (const ActionCase& c : kActionCases) {
        SCOPED_TRACE(c.what);
        ClearObjects();
        SetUp();
        Apply(c.lines);
        CheckImage(Image(), c.expects, c.what);
    }
}

TEST_F(ActionKeys, GeneralOptZeroRemovesTheWholeAction) {
    Apply({"action_general_opt 1 1", "action_ifset x"});
    ASSERT_TRUE(m_h->pAction);
    Apply({"action_general_opt 0 1"});
    EXPECT_EQ(m_h->pAction, nullptr);
    // A line while the object has no action and value 1 is 0 is not kept.
    Apply({"action_ifset y"});
    EXPECT_EQ(m_h->pAction, nullptr);
}

TEST_F(ActionKeys, NonActionLinesAndNullsChangeNothing) {
    Apply({"action_general_opt 1 1"});
    std::vector<uint8_t> before = Image();
    Apply({"action_loop_musicx 1", "action_unknown 1", "", "   ", "name action_door 1"});
    g_WorldMgr.ParseActionKeys("action_door 1 0 1 1 1", nullptr);
    g_WorldMgr.ParseActionKeys(nullptr, m_h);
    // ParseActionKeys itself does not know action_loop_music.
    g_WorldMgr.ParseActionKeys("action_loop_music 1", m_h);
    EXPECT_EQ(Image(), before);
}

struct LabelCase {
    const char* line;
    const char* label;
};

// A text too long for its field logs the message and the field's label.
TEST_F(ActionKeys, TooLongTextsLogTheirLabel) {
    const std::string long300(300, 'x');
    const std::vector<LabelCase> cases = {
        {"action_ifset", ""},
        {"action_sounds_activate", "sound activate"},
        {"action_sounds_deactivate", "deactivate sound"},
        {"action_play_music", "play music"},
        {"action_start_world", "start_world"},
        {"action_run_script", "run_script"},
        {"action_console_print", "console_print"},
        {"action_respawn_force_weapon", "action_respawn_force_weapon"},
        {"action_knob_object", "action_knob_prefab"},
        {"action_set_anim_for_object_name", "set_anim_for_object_name"},
        {"action_voice_hawke", "action_voice_hero0"},
        {"action_voice_fletch", "action_voice_hero1"},
        {"action_radio_radio", "action_radio_radio"},
    };
    Apply({"action_general_opt 1 1"});
    for (const LabelCase& c : cases) {
        SCOPED_TRACE(c.line);
        MarkConsole();
        Apply({std::string(c.line) + " " + long300});
        EXPECT_EQ(ConsoleLine(1), "ERROR: safe_string_copy() Source String Too Long!");
        EXPECT_EQ(ConsoleLine(0), c.label);
    }
}

TEST_F(ActionKeys, OtherValuesOfALineWithATooLongTextAreStillStored) {
    Apply({"action_general_opt 1 1", "action_camera_position_mesh 1 " + std::string(40, 'n')});
    CheckImage(Image(), {U32At(688, 1), TextAt(692, "")}, "camera position mesh");
}

} // namespace
