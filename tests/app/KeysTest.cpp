// Key bindings, the keyboard poll and "save\keys.cfg".
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "app/CommandMgr.h"
#include "app/Options.h"
#include "app/TextMgr.h"
#include "platform/input/Input.h"
#include "sound/SoundMgr.h"
#include "tests/app/MouseFakeDevice.h"
#include "tests/app/ScratchDir.h"
#include "world/Camera.h"

namespace {

namespace dik = input::dik;

void ResetCommandMgr() {
    g_CommandMgr.ReleaseKeyboard();
    g_CommandMgr.SetDefaults();
    std::memset(g_CommandMgr.m_KeyStates, 0, sizeof g_CommandMgr.m_KeyStates);
    g_CommandMgr.m_bCommand19Latch = false;
}

class CommandMgrTest : public ::testing::Test {
  protected:
    void SetUp() override { ResetCommandMgr(); }
    void TearDown() override { ResetCommandMgr(); }
    static void Press(uint32_t code, bool down = true) { g_CommandMgr.m_KeyStates[code] = down ? 1 : 0; }
};

// ---- Default bindings ------------------------------------------------------

struct Binding {
    uint32_t command, first, second;
};

class DefaultBindings : public ::testing::TestWithParam<Binding> {};

TEST_P(DefaultBindings, HoldTheKeysOfTheTable) {
    ResetCommandMgr();
    const Binding& b = GetParam();
    EXPECT_EQ(g_CommandMgr.GetBinding(b.command, 0), b.first) << "command " << b.command;
    EXPECT_EQ(g_CommandMgr.GetBinding(b.command, 1), b.second) << "command " << b.command;
}

INSTANTIATE_TEST_SUITE_P(Commands, DefaultBindings,
                         ::testing::Values(Binding{0, 0, 0}, Binding{1, 42, 0}, Binding{2, 0, 0},
                                           Binding{3, 17, 200}, Binding{4, 31, 208}, Binding{5, 30, 0},
                                           Binding{6, 32, 0}, Binding{7, 0, 0}, Binding{8, 57, 0},
                                           Binding{9, 38, 0}, Binding{10, 41, 0}, Binding{11, 1, 0},
                                           Binding{12, 68, 0}, Binding{13, 66, 0}, Binding{14, 257, 0},
                                           Binding{15, 2, 0}, Binding{16, 34, 0}, Binding{17, 16, 0},
                                           Binding{18, 18, 0}, Binding{19, 256, 0}, Binding{20, 0, 0},
                                           Binding{23, 27, 0}, Binding{24, 26, 0}, Binding{25, 19, 0},
                                           Binding{34, 29, 46}, Binding{64, 199, 0}, Binding{65, 207, 0},
                                           Binding{66, 63, 0}, Binding{67, 67, 0}, Binding{70, 35, 0},
                                           Binding{71, 15, 24}, Binding{72, 0, 0}, Binding{259, 0, 0}));

TEST(DefaultBindingsCount, EveryOtherCommandIsUnbound) {
    ResetCommandMgr();
    int bound = 0;
    for (uint32_t c = 0; c < NUM_COMMANDS; ++c)
        bound += g_CommandMgr.GetBinding(c, 0) != 0;
    EXPECT_EQ(bound, 27);
}

// ---- Command queries -------------------------------------------------------

TEST_F(CommandMgrTest, ACommandIsActiveWhileEitherOfItsKeysIsDown) {
    struct Case {
        uint32_t pressed;
        int command;
        bool active;
    } cases[] = {
        {dik::W, 3, true},       {dik::Up, 3, true},
        {dik::S, 3, false},      {dik::LControl, 34, true},
        {dik::C, 34, true},      {KEY_MOUSE_BUTTON0 + 1, 14, true},
        {dik::W, -1, false},     {dik::W, 260, false},
        {dik::W, 100000, false}, {0, 0, false}, // an unbound command never reads key 0
    };
    for (const Case& c : cases) {
        ResetCommandMgr();
        Press(c.pressed);
        EXPECT_EQ(IsCommandActive(c.command, 0), c.active)
            << "key " << c.pressed << ", command " << c.command;
    }
}

TEST_F(CommandMgrTest, TheOffsetWalksTheKeysAfterTheBoundOne) {
    // Command 15 is bound to key 1; offsets 0..9 reach the keys 1..0.
    for (int offset = 0; offset < 10; ++offset) {
        ResetCommandMgr();
        Press(dik::Key1 + uint32_t(offset));
        for (int other = 0; other < 10; ++other) {
            EXPECT_EQ(IsCommandActive(15, other), other == offset)
                << "key offset " << offset << " asked " << other;
        }
    }
}

TEST_F(CommandMgrTest, AnOffsetPastTheLastKeyStateIsNeverDown) {
    g_CommandMgr.SetBinding(40, 0, 258);
    std::memset(g_CommandMgr.m_KeyStates, 1, sizeof g_CommandMgr.m_KeyStates);
    EXPECT_TRUE(IsCommandActive(40, 0));
    EXPECT_FALSE(IsCommandActive(40, 1));
    EXPECT_FALSE(IsCommandActive(40, 100));
}

TEST_F(CommandMgrTest, TheFireLatchHoldsCommand19UntilBothKeysAreUp) {
    g_CommandMgr.SetBinding(COMMAND_FIRE, 1, dik::RControl);
    Press(KEY_MOUSE_BUTTON0);
    EXPECT_TRUE(IsCommandActive(19));
    g_CommandMgr.m_bCommand19Latch = true;
    EXPECT_FALSE(IsCommandActive(19));
    EXPECT_TRUE(IsCommandActive(3, 0) == false); // other commands do not care

    g_CommandMgr.PollKeyboard();
    EXPECT_TRUE(g_CommandMgr.m_bCommand19Latch) << "button still down";
    Press(KEY_MOUSE_BUTTON0, false);
    Press(dik::RControl);
    g_CommandMgr.PollKeyboard();
    EXPECT_TRUE(g_CommandMgr.m_bCommand19Latch) << "the second key still down";
    Press(dik::RControl, false);
    g_CommandMgr.PollKeyboard();
    EXPECT_FALSE(g_CommandMgr.m_bCommand19Latch);
    Press(KEY_MOUSE_BUTTON0);
    EXPECT_TRUE(IsCommandActive(19));
}

TEST_F(CommandMgrTest, PollingReadsTheKeyboardAndKeepsTheOldStatesOnAFailedRead) {
    FakeInputDevice keyboard(input::DeviceKind::Keyboard);
    g_CommandMgr.m_pKeyboard = &keyboard;
    g_CommandMgr.m_bKeyboardReady = true;
    keyboard.keys[dik::W] = 0x80;
    keyboard.keys[dik::A] = 0x7F; // below 128: up
    keyboard.keys[dik::D] = 0xFF;
    g_CommandMgr.PollKeyboard();
    EXPECT_EQ(g_CommandMgr.m_KeyStates[dik::W], 1);
    EXPECT_EQ(g_CommandMgr.m_KeyStates[dik::A], 0);
    EXPECT_EQ(g_CommandMgr.m_KeyStates[dik::D], 1);
    EXPECT_TRUE(IsCommandActive(3));
    EXPECT_FALSE(IsCommandActive(5));

    keyboard.keys[dik::W] = 0;
    keyboard.readAnswer = input::Result::InputLost;
    g_CommandMgr.PollKeyboard();
    EXPECT_TRUE(IsCommandActive(3)) << "a failed read keeps the old states";

    keyboard.readAnswer = input::Result::Ok;
    g_CommandMgr.PollKeyboard();
    EXPECT_FALSE(IsCommandActive(3));

    // The mouse buttons' states are not the keyboard's to clear.
    Press(KEY_MOUSE_BUTTON0);
    g_CommandMgr.PollKeyboard();
    EXPECT_TRUE(IsCommandActive(19));

    g_CommandMgr.ReleaseKeyboard();
    EXPECT_EQ(keyboard.released, 1);
    EXPECT_EQ(g_CommandMgr.m_pKeyboard, nullptr);
    EXPECT_FALSE(g_CommandMgr.m_bKeyboardReady);
}

// ---- Key names -------------------------------------------------------------

// The game's own text table, loaded in a scratch directory.
class KeyNames : public ScratchDirTest {
  protected:
    void SetUp() override {
        ScratchDirTest::SetUp();
        std::filesystem::create_directories(root_ / "scripts");
        std::filesystem::copy_file(std::filesystem::path(ZT_SOURCE_DIR) / "data/scripts/text_keys.txt",
                                   root_ / "scripts/text_keys.txt");
        g_TextMgr.Load();
        ResetCommandMgr();
    }
    void TearDown() override {
        ScratchDirTest::TearDown();
        g_TextMgr.Load();
        ResetCommandMgr();
    }
};

TEST_F(KeyNames, EveryBindableKeyIsNamedByItsLabel) {
    struct Case {
        uint32_t code;
        const char* name;
    } cases[] = {
        {12, "-"},
        {13, "="},
        {15, "Tab"},
        {16, "Q"},
        {25, "P"},
        {26, "["},
        {28, "Enter"},
        {29, "Left Ctrl"},
        {30, "A"},
        {38, "L"},
        {42, "Left Shift"},
        {43, "\\"},
        {44, "Z"},
        {50, "M"},
        {53, "/"},
        {56, "Alt"},
        {57, "Space"},
        {71, "Num 7"},
        {74, "Num -"},
        {78, "Num +"},
        {82, "Num 0"},
        {83, "Num Del"},
        {156, "Num Enter"},
        {157, "Right Ctrl"},
        {200, "Up Arrow"},
        {203, "Left Arrow"},
        {205, "Right Arrow"},
        {208, "Down Arrow"},
        {210, "Insert"},
        {211, "Delete"},
        {256, "Left Mouse Button"},
        {258, "Middle Mouse Button"},
        // Codes without a label.
        {0, ""},
        {1, ""},
        {14, ""},
        {41, ""},
        {55, ""},
        {199, ""},
        {259, ""},
        {260, ""},
        {100000, ""},
    };
    for (const Case& c : cases)
        EXPECT_STREQ(g_CommandMgr.GetKeyName(c.code), c.name) << "code " << c.code;

    int named = 0;
    for (uint32_t code = 0; code < NUM_KEY_NAMES; ++code)
        named += g_CommandMgr.GetKeyName(code)[0] != 0;
    EXPECT_EQ(named, 67);
}

// ---- save\keys.cfg ---------------------------------------------------------

uint32_t U32At(const std::string& b, size_t offset) {
    uint32_t v = 0;
    std::memcpy(&v, b.data() + offset, 4);
    return v;
}
float F32At(const std::string& b, size_t offset) {
    float v = 0;
    std::memcpy(&v, b.data() + offset, 4);
    return v;
}
void PutU32(std::string& b, size_t offset, uint32_t v) {
    std::memcpy(b.data() + offset, &v, 4);
}

class KeysFile : public ScratchDirTest {
  protected:
    void SetUp() override {
        ScratchDirTest::SetUp();
        std::filesystem::create_directories(root_ / "save");
        ResetCommandMgr();
        SetControlOptionDefaults();
        g_Camera.SetGamma(1.0f);
        g_SoundMgr.m_fMusicVolume = -1.0f; // marks "not pushed"
    }
    void TearDown() override {
        ResetCommandMgr();
        SetControlOptionDefaults();
        g_Camera.SetGamma(1.0f);
        ScratchDirTest::TearDown();
    }
    std::string File() const { return ReadFile("save/keys.cfg"); }

    // Everything different from the start values.
    static void SetOddValues() {
        g_CommandMgr.SetBinding(3, 0, dik::Up);
        g_CommandMgr.SetBinding(3, 1, 0);
        g_CommandMgr.SetBinding(100, 0, dik::F12);
        g_CommandMgr.SetBinding(259, 1, 258);
        InvertMouse = true;
        MouseSensitivity = 0.75f;
        OptionMCO2 = 0.45f;
        MusicEnabled = false;
        sound = false;
        OptionMCO1 = false;
        MusicVolume = 0.25f;
        SoundVolume = 0.5f;
        g_Camera.SetGamma(2.0f);
        OptionMenuByte = false;
        MotionBlurOption = 0.15f;
    }
};

TEST_F(KeysFile, IsWrittenFieldByFieldAtItsOffsets) {
    SetOddValues();
    g_CommandMgr.SaveKeys();
    const std::string b = File();
    ASSERT_EQ(b.size(), KEYS_CFG_SIZE);
    EXPECT_EQ(U32At(b, 0), 5u);
    EXPECT_EQ(U32At(b, 4 + 3 * 8), uint32_t(dik::Up));
    EXPECT_EQ(U32At(b, 4 + 3 * 8 + 4), 0u);
    EXPECT_EQ(U32At(b, 4 + 4 * 8), uint32_t(dik::S));
    EXPECT_EQ(U32At(b, 4 + 4 * 8 + 4), uint32_t(dik::Down));
    EXPECT_EQ(U32At(b, 4 + 100 * 8), uint32_t(dik::F12));
    EXPECT_EQ(U32At(b, 4 + 259 * 8 + 4), 258u);
    EXPECT_EQ(uint8_t(b[2084]), 1);
    EXPECT_FLOAT_EQ(F32At(b, 2085), 0.75f);
    EXPECT_FLOAT_EQ(F32At(b, 2089), 0.45f);
    EXPECT_EQ(uint8_t(b[2093]), 0);
    EXPECT_EQ(uint8_t(b[2094]), 0);
    EXPECT_EQ(uint8_t(b[2095]), 0);
    EXPECT_FLOAT_EQ(F32At(b, 2096), 0.25f);
    EXPECT_FLOAT_EQ(F32At(b, 2100), 0.5f);
    EXPECT_FLOAT_EQ(F32At(b, 2104), 2.0f);
    EXPECT_EQ(uint8_t(b[2108]), 0);
    EXPECT_FLOAT_EQ(F32At(b, 2109), 0.15f);
}

TEST_F(KeysFile, RoundTripsBindingsOptionsAndGamma) {
    SetOddValues();
    g_CommandMgr.SaveKeys();
    const std::string saved = File();
    ResetCommandMgr();
    SetControlOptionDefaults();
    g_Camera.SetGamma(1.0f);

    g_CommandMgr.LoadKeys();
    EXPECT_EQ(g_CommandMgr.GetBinding(3, 0), uint32_t(dik::Up));
    EXPECT_EQ(g_CommandMgr.GetBinding(3, 1), 0u);
    EXPECT_EQ(g_CommandMgr.GetBinding(100, 0), uint32_t(dik::F12));
    EXPECT_EQ(g_CommandMgr.GetBinding(259, 1), 258u);
    EXPECT_TRUE(InvertMouse);
    EXPECT_FLOAT_EQ(MouseSensitivity, 0.75f);
    EXPECT_FLOAT_EQ(OptionMCO2, 0.45f);
    EXPECT_FALSE(MusicEnabled);
    EXPECT_FALSE(sound);
    EXPECT_FALSE(OptionMCO1);
    EXPECT_FLOAT_EQ(MusicVolume, 0.25f);
    EXPECT_FLOAT_EQ(SoundVolume, 0.5f);
    EXPECT_FLOAT_EQ(g_Camera.GetGamma(), 2.0f);
    EXPECT_FALSE(OptionMenuByte);
    EXPECT_FLOAT_EQ(MotionBlurOption, 0.15f);
    // The volumes go to the sound module.
    EXPECT_FLOAT_EQ(g_SoundMgr.m_fMusicVolume, 0.25f);

    g_CommandMgr.SaveKeys();
    EXPECT_EQ(File(), saved);
}

TEST_F(KeysFile, AMissingFileOrAnotherVersionIsReplacedByTheDefaults) {
    for (uint32_t version : {0u, 4u, 6u, 0xFFFFFFFFu}) {
        SetOddValues(); // bindings changed in memory
        std::string b(KEYS_CFG_SIZE, '\0');
        PutU32(b, 0, version);
        PutU32(b, 4 + 3 * 8, dik::F1);
        WriteFile("save/keys.cfg", b);
        g_SoundMgr.m_fMusicVolume = -1.0f;

        g_CommandMgr.LoadKeys();
        EXPECT_EQ(g_CommandMgr.GetBinding(3, 0), uint32_t(dik::W)) << "version " << version;
        EXPECT_EQ(g_CommandMgr.GetBinding(100, 0), 0u);
        EXPECT_FLOAT_EQ(g_SoundMgr.m_fMusicVolume, -1.0f) << "volumes are not pushed at that load";
        const std::string written = File();
        ASSERT_EQ(written.size(), KEYS_CFG_SIZE);
        EXPECT_EQ(U32At(written, 0), 5u);
        EXPECT_EQ(U32At(written, 4 + 3 * 8), uint32_t(dik::W));
    }

    std::filesystem::remove(root_ / "save/keys.cfg");
    g_CommandMgr.SetBinding(3, 0, dik::F1);
    g_CommandMgr.LoadKeys();
    EXPECT_EQ(g_CommandMgr.GetBinding(3, 0), uint32_t(dik::W));
    EXPECT_EQ(File().size(), KEYS_CFG_SIZE);
}

// A torn file (shorter than its layout) is not half read: it is reported and
// replaced by the defaults, written whole.
TEST_F(KeysFile, ATornFileIsReportedAndReplacedByTheDefaultsWrittenWhole) {
    SetOddValues();
    g_CommandMgr.SaveKeys();
    const std::string full = File();
    for (size_t length : {size_t(0), size_t(3), size_t(4), size_t(808), size_t(2104), size_t(2112)}) {
        WriteFile("save/keys.cfg", full.substr(0, length));
        std::filesystem::remove(root_ / "!console.txt");
        ResetCommandMgr();
        SetControlOptionDefaults();
        g_Camera.SetGamma(1.0f);

        g_CommandMgr.LoadKeys();
        const std::string at = "length " + std::to_string(length);
        EXPECT_EQ(g_CommandMgr.GetBinding(100, 0), 0u) << at;
        EXPECT_EQ(g_CommandMgr.GetBinding(3, 0), uint32_t(dik::W)) << at;
        EXPECT_FALSE(InvertMouse) << at;
        EXPECT_FLOAT_EQ(MouseSensitivity, 0.3f) << at;
        const std::string written = File();
        ASSERT_EQ(written.size(), KEYS_CFG_SIZE) << at;
        EXPECT_EQ(U32At(written, 0), 5u) << at;
        EXPECT_EQ(U32At(written, 4 + 100 * 8), 0u) << at;
        EXPECT_NE(ReadFile("!console.txt")
                      .find("save\\keys.cfg: " + std::to_string(length) +
                            " bytes, shorter than its layout of 2113: the defaults are written"),
                  std::string::npos)
            << at << ": " << ReadFile("!console.txt");
    }
}

// A keys file that cannot be written whole stays as it was.
TEST_F(KeysFile, AFileThatCannotBeWrittenStaysAsItWas) {
    g_CommandMgr.SaveKeys();
    const std::string before = File();
    SetOddValues();
    std::filesystem::create_directories(root_ / "save" / "keys.cfg.new"); // no temporary file can be made
    g_CommandMgr.SaveKeys();
    EXPECT_EQ(File(), before);
    EXPECT_NE(ReadFile("!console.txt").find("save\\keys.cfg could not be written and stays as it was: "),
              std::string::npos);
}

TEST_F(KeysFile, KeyCodesAboveTheLastKeyStateLoadUnbound) {
    std::string b(KEYS_CFG_SIZE, '\0');
    PutU32(b, 0, 5);
    struct Case {
        uint32_t command, slot, stored, loaded;
    } cases[] = {
        {3, 0, 258, 258},       {3, 1, 259, 0},    {4, 0, 300, 0},
        {4, 1, 0xFFFFFFFFu, 0}, {19, 0, 256, 256}, {5, 0, 0, 0},
    };
    for (const Case& c : cases)
        PutU32(b, 4 + c.command * 8 + c.slot * 4, c.stored);
    PutU32(b, 2104, 0x3F800000u); // gamma 1.0
    WriteFile("save/keys.cfg", b);

    g_CommandMgr.LoadKeys();
    for (const Case& c : cases) {
        EXPECT_EQ(g_CommandMgr.GetBinding(c.command, c.slot), c.loaded) << "stored " << c.stored;
    }
    // Every key state set: the unbound keys still read up.
    std::memset(g_CommandMgr.m_KeyStates, 0, sizeof g_CommandMgr.m_KeyStates);
    EXPECT_FALSE(IsCommandActive(4));
    std::memset(g_CommandMgr.m_KeyStates, 1, sizeof g_CommandMgr.m_KeyStates);
    EXPECT_FALSE(IsCommandActive(4));
    EXPECT_TRUE(IsCommandActive(3));
}

TEST_F(KeysFile, GammaIsClampedByTheCamera) {
    struct Case {
        float stored, applied;
    } cases[] = {{0.1f, 0.5f}, {0.5f, 0.5f}, {1.7f, 1.7f}, {3.0f, 3.0f}, {9.0f, 3.0f}};
    for (const Case& c : cases) {
        SetControlOptionDefaults();
        g_CommandMgr.SaveKeys();
        std::string b = File();
        float v = c.stored;
        std::memcpy(b.data() + 2104, &v, 4);
        WriteFile("save/keys.cfg", b);
        g_CommandMgr.LoadKeys();
        EXPECT_FLOAT_EQ(g_Camera.GetGamma(), c.applied) << c.stored;
    }
}

} // namespace
