// The input script: its lines read into events, bad lines refused by number,
// the events handed out on their frames and worlds, and, through a real
// window, each kind reaching the key table, the commands and the mouse on
// its frame.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/CommandMgr.h"
#include "app/FocusMgr.h"
#include "app/GameFrame.h"
#include "app/Input.h"
#include "app/InputScript.h"
#include "app/Mouse.h"
#include "app/Options.h"
#include "app/ScriptedPlay.h"
#include "app/TextMgr.h"
#include "app/Timer.h"
#include "platform/input/Input.h"
#include "platform/window/Window.h"
#include "tests/app/ScratchDir.h"

namespace {

namespace dik = input::dik;
using Kind = CInputScript::Kind;

// The names the demo data gives these keys.
void NameKeys() {
    std::memset(g_CommandMgr.m_KeyNames, 0, sizeof g_CommandMgr.m_KeyNames);
    const struct {
        uint32_t code;
        const char* name;
    } names[] = {{dik::W, "W"},
                 {dik::Space, "Space"},
                 {dik::LShift, "Left Shift"},
                 {dik::LControl, "Left Ctrl"},
                 {KEY_MOUSE_BUTTON0, "Left Mouse Button"},
                 {KEY_MOUSE_BUTTON0 + 1, "Right Mouse Button"}};
    for (const auto& n : names)
        std::snprintf(g_CommandMgr.m_KeyNames[n.code], KEY_NAME_LEN, "%s", n.name);
}

class InputScriptTest : public ::testing::Test {
  protected:
    void SetUp() override { NameKeys(); }
    void TearDown() override { g_CommandMgr.SetDefaults(); }
};

// ---- Reading ----------------------------------------------------------------

struct GoodLine {
    const char* text;
    Kind kind;
    int32_t frame, a, b;
    bool down;
    const char* words; // console and world text
};

class InputScriptLine : public InputScriptTest, public ::testing::WithParamInterface<GoodLine> {};

TEST_P(InputScriptLine, BecomesItsEvent) {
    const GoodLine& c = GetParam();
    CInputScript s;
    std::string error;
    ASSERT_TRUE(s.Parse(c.text, &error)) << error;
    ASSERT_EQ(s.Events().size(), 1u);
    const CInputScript::Event& e = s.Events()[0];
    EXPECT_EQ(e.kind, c.kind);
    EXPECT_EQ(e.frame, c.frame);
    EXPECT_EQ(e.a, c.a);
    EXPECT_EQ(e.b, c.b);
    EXPECT_EQ(e.down, c.down);
    EXPECT_EQ(e.text, c.words);
    EXPECT_EQ(e.line, 1);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, InputScriptLine,
    ::testing::Values(GoodLine{"220 key W down", Kind::Key, 220, dik::W, 0, true, ""},
                      GoodLine{"0 key w up", Kind::Key, 0, dik::W, 0, false, ""},
                      GoodLine{"  7\tkey   Left Shift   down  ", Kind::Key, 7, dik::LShift, 0, true, ""},
                      GoodLine{"8 key 66 down", Kind::Key, 8, dik::F8, 0, true, ""},
                      GoodLine{"9 key Right Mouse Button down", Kind::Button, 9, 1, 0, true, ""},
                      GoodLine{"9 key 256 up", Kind::Button, 9, 0, 0, false, ""},
                      GoodLine{"10 button 4 up", Kind::Button, 10, 4, 0, false, ""},
                      GoodLine{"11 mouse -523 17", Kind::Mouse, 11, -523, 17, false, ""},
                      GoodLine{"12 mouse 100000 -100000", Kind::Mouse, 12, 100000, -100000, false, ""},
                      GoodLine{"13 wheel -3", Kind::Wheel, 13, -3, 0, false, ""},
                      GoodLine{"14 console mucha 1", Kind::Console, 14, 0, 0, false, "mucha 1"},
                      GoodLine{"0 world worlds\\arena.w", Kind::World, 0, 0, 0, false, "worlds\\arena.w"},
                      GoodLine{"100000000 key Space up", Kind::Key, 100000000, dik::Space, 0, false, ""}));

TEST_F(InputScriptTest, CommentsBlankLinesAndEveryLineEndCount) {
    CInputScript s;
    std::string error;
    ASSERT_TRUE(s.Parse("// walk\r\n\r\n1 key W down\r2 key W up\n\n  // turn\n3 mouse 5 0", &error))
        << error;
    ASSERT_EQ(s.Events().size(), 3u);
    EXPECT_EQ(s.Events()[0].line, 3);
    EXPECT_EQ(s.Events()[1].line, 4);
    EXPECT_EQ(s.Events()[2].line, 7);
}

TEST_F(InputScriptTest, AWorldLineStartsItsFramesAgain) {
    CInputScript s;
    std::string error;
    EXPECT_TRUE(s.Parse("500 key W down\n0 world worlds\\a.w\n3 key W up\n", &error)) << error;
    EXPECT_FALSE(s.Parse("500 key W down\n3 key W up\n", &error));
    EXPECT_EQ(error, "line 2: frame 3 comes after frame 500");
    EXPECT_TRUE(s.Empty()) << "nothing is kept of a refused script";
}

struct BadLine {
    const char* text;
    const char* error; // the start of the message
};

class InputScriptBadLine : public InputScriptTest, public ::testing::WithParamInterface<BadLine> {};

TEST_P(InputScriptBadLine, IsRefusedByNumber) {
    CInputScript s;
    ASSERT_TRUE(s.Parse("1 key W down", nullptr));
    std::string error;
    EXPECT_FALSE(s.Parse(GetParam().text, &error));
    EXPECT_EQ(error.substr(0, std::strlen(GetParam().error)), GetParam().error) << error;
    EXPECT_TRUE(s.Empty());
}

INSTANTIATE_TEST_SUITE_P(
    Lines, InputScriptBadLine,
    ::testing::Values(BadLine{"key W down", "line 1: no level frame"},
                      BadLine{"1 key W down\n-1 key W up", "line 2: no level frame"},
                      BadLine{"1x key W down", "line 1: no level frame"},
                      BadLine{"100000001 key W down", "line 1: no level frame"},
                      BadLine{"99999999999999999999 key W down", "line 1: no level frame"},
                      BadLine{"// a\n\n3 jump", "line 3: unknown event \"jump\""},
                      BadLine{"1 key W", "line 1: a key needs \"down\" or \"up\""},
                      BadLine{"1 key down", "line 1: no key is named \"\""},
                      BadLine{"1 key Nope down", "line 1: no key is named \"Nope\""},
                      BadLine{"1 key 259 down", "line 1: no key is named \"259\""},
                      BadLine{"1 key 0 down", "line 1: no key is named \"0\""},
                      BadLine{"1 button 5 down", "line 1: a button is its number 0..4"},
                      BadLine{"1 button -1 down", "line 1: a button is its number 0..4"},
                      BadLine{"1 button 1", "line 1: a button is its number 0..4"},
                      BadLine{"1 mouse 5", "line 1: mouse motion is two whole numbers"},
                      BadLine{"1 mouse 5 6 7", "line 1: mouse motion is two whole numbers"},
                      BadLine{"1 mouse 100001 0", "line 1: mouse motion is two whole numbers"},
                      BadLine{"1 mouse 1.5 0", "line 1: mouse motion is two whole numbers"},
                      BadLine{"1 wheel 1001", "line 1: wheel steps are a whole number"},
                      BadLine{"1 wheel", "line 1: wheel steps are a whole number"},
                      BadLine{"1 console   ", "line 1: console needs its text"},
                      BadLine{"1 world", "line 1: world needs its text"}));

TEST_F(InputScriptTest, ALongLineAndALongWorldNameAreRefused) {
    CInputScript s;
    std::string error;
    EXPECT_FALSE(s.Parse("1 console " + std::string(CInputScript::MAX_LINE, 'x'), &error));
    EXPECT_EQ(error, "line 1: longer than 1023 characters");
    EXPECT_FALSE(s.Parse("1 world " + std::string(CInputScript::MAX_WORLD_NAME + 1, 'w'), &error));
    EXPECT_EQ(error.substr(0, 40), "line 1: a world's file name is at most 1");
}

TEST_F(InputScriptTest, ZeroBytesInsideALineAreRefused) {
    CInputScript s;
    std::string error;
    EXPECT_FALSE(s.Parse(std::string("1 key W down\n2 console a\0b\n", 26), &error));
    EXPECT_EQ(error, "line 2: holds a zero byte");
}

class InputScriptFile : public ScratchDirTest {
  protected:
    void SetUp() override {
        ScratchDirTest::SetUp();
        NameKeys();
    }
    void TearDown() override {
        g_CommandMgr.SetDefaults();
        ScratchDirTest::TearDown();
    }
};

TEST_F(InputScriptFile, AMissingFileOrADirectoryCannotBeRead) {
    CInputScript s;
    std::string error;
    EXPECT_FALSE(s.Load((root_ / "none.txt").c_str(), &error));
    EXPECT_EQ(error.substr(0, 16), "cannot be read (");
    std::filesystem::create_directories(root_ / "dir");
    EXPECT_FALSE(s.Load((root_ / "dir").c_str(), &error));
    EXPECT_EQ(error.substr(0, 16), "cannot be read (");
    WriteFile("walk.txt", "1 key W down\n");
    EXPECT_TRUE(s.Load((root_ / "walk.txt").c_str(), &error)) << error;
    EXPECT_EQ(s.Events().size(), 1u);
}

// ---- Playing ------------------------------------------------------------------

class Recorder final : public InputScriptSink {
  public:
    void Key(uint32_t code, bool down) override { log += "key " + std::to_string(code) + Ud(down); }
    void Mouse(int32_t dx, int32_t dy) override {
        log += "mouse " + std::to_string(dx) + " " + std::to_string(dy) + ";";
    }
    void Button(int32_t b, bool down) override { log += "button " + std::to_string(b) + Ud(down); }
    void Wheel(int32_t steps) override { log += "wheel " + std::to_string(steps) + ";"; }
    void Console(const char* line) override { log += std::string("console ") + line + ";"; }
    static std::string Ud(bool down) { return down ? " down;" : " up;"; }
    std::string log;
};

TEST_F(InputScriptTest, EventsComeOnTheirFramesInTheOrderOfTheFile) {
    CInputScript s;
    ASSERT_TRUE(s.Parse("2 key W down\n2 mouse 3 4\n5 wheel 1\n5 console Health 50\n9 button 0 up", nullptr));
    struct Step {
        int32_t frame;
        const char* played;
    } steps[] = {{0, ""},
                 {1, ""},
                 {2, "key 17 down;mouse 3 4;"},
                 {2, ""},
                 {4, ""},
                 {7, "wheel 1;console Health 50;"},
                 {9, "button 0 up;"},
                 {20, ""}};
    for (const Step& step : steps) {
        Recorder r;
        s.Play(nullptr, step.frame, r);
        EXPECT_EQ(r.log, step.played) << "frame " << step.frame;
    }
    EXPECT_TRUE(s.Finished());
}

TEST_F(InputScriptTest, LinesAfterAWorldWaitForThatWorld) {
    CInputScript s;
    ASSERT_TRUE(s.Parse("1 key W down\n0 world worlds\\arena.w\n0 key W up\n3 wheel 2", nullptr));
    Recorder r;
    s.Play("worlds\\test.w", 1, r);
    s.Play("worlds\\test.w", 400, r);
    s.Play(nullptr, 400, r);
    EXPECT_EQ(r.log, "key 17 down;");
    s.Play("WORLDS/Arena.W", 1, r);
    EXPECT_EQ(r.log, "key 17 down;key 17 up;") << "letter case and slashes aside";
    s.Play("worlds\\arena.w", 3, r);
    EXPECT_EQ(r.log, "key 17 down;key 17 up;wheel 2;");
}

// ---- Through the window --------------------------------------------------------

// A real window (offscreen) with the program's keyboard and mouse on it, and
// the demo data's key names; each frame the script's events go out as the
// main loop sends them, the pump takes them, and the 2 ms poll reads the
// devices.
class ScriptedPlayWindow : public ScratchDirTest {
  protected:
    void SetUp() override {
        ScratchDirTest::SetUp();
        std::filesystem::create_directories(root_ / "scripts");
        std::filesystem::copy_file(std::filesystem::path(ZT_SOURCE_DIR) / "data/scripts/text_keys.txt",
                                   root_ / "scripts/text_keys.txt");
        g_TextMgr.Load();
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        window::CreateParams p;
        p.title = "scripted play";
        win_ = window::CreateWindow(p);
        ASSERT_NE(win_, nullptr) << window::LastError();
        CreateDirectInput();
        ASSERT_NE(g_pDirectInput, nullptr);
        g_CommandMgr.SetDefaults();
        std::memset(g_CommandMgr.m_KeyStates, 0, sizeof g_CommandMgr.m_KeyStates);
        g_CommandMgr.CreateKeyboard(win_.get());
        g_Mouse.Init(win_.get());
        g_FocusMgr.m_bStarted = true;
        sensitivity_ = MouseSensitivity;
        MouseSensitivity = 0.5f;
        // In play: past the level start's gates of the mouse.
        GameFrame frame;
        frame.FillMouseFrame = [](MouseFrame& f) {
            f.iLevelFrame = 500;
            f.iFramesSinceCinematic = 100;
            f.iDifficulty = 1;
            f.fSensitivity = MouseSensitivity;
        };
        InstallGameFrame(frame);
        Pump();
    }
    void TearDown() override {
        scriptedplay::Stop();
        unsetenv("ZT_INPUT_SCRIPT");
        InstallGameFrame(GameFrame());
        MouseSensitivity = sensitivity_;
        g_FocusMgr.m_bStarted = false;
        g_Mouse.Release();
        g_CommandMgr.ReleaseKeyboard();
        ReleaseDirectInput();
        Pump();
        win_.reset();
        window::ClearMessageQueue();
        ScratchDirTest::TearDown();
        g_TextMgr.Load();
        g_CommandMgr.SetDefaults();
    }
    static void Pump() {
        window::Message m;
        while (window::PeekMessage(m))
            window::DispatchMessage(m);
    }
    // The main loop's turn from the end of frame `frame` to the game update
    // of the next: the script's events, the pump, the poll.
    void NextFrame(int32_t frame, const char* world = nullptr) {
        scriptedplay::EndFrame(win_.get(), world, frame);
        Pump();
        g_Mouse.Update();
        g_CommandMgr.PollKeyboard();
    }

    std::unique_ptr<window::Window> win_;
    float sensitivity_ = 0.3f;
};

TEST_F(ScriptedPlayWindow, EachKindReachesTheCommandsOrTheMouseOnItsFrame) {
    WriteFile("play.txt", "2 key W down\n"
                          "3 mouse 100 -40\n"
                          "4 key W up\n"
                          "4 key Left Shift down\n"
                          "5 button 1 down\n"
                          "6 wheel 2\n"
                          "7 key Right Mouse Button up\n"
                          "8 console MuchaSpeed 333\n"
                          "0 world worlds\\arena.w\n"
                          "1 key Space down\n");
    setenv("ZT_INPUT_SCRIPT", (root_ / "play.txt").c_str(), 1);
    ASSERT_TRUE(scriptedplay::Start());
    ASSERT_TRUE(scriptedplay::ScriptActive());
    const float muchaSpeed = MuchaSpeed;

    NextFrame(0);
    EXPECT_FALSE(IsCommandActive(3)) << "frame 1";
    NextFrame(1);
    EXPECT_TRUE(IsCommandActive(3)) << "frame 2: forward";
    EXPECT_EQ(g_Mouse.m_State.yaw, 0.0);
    NextFrame(2);
    EXPECT_TRUE(IsCommandActive(3));
    EXPECT_DOUBLE_EQ(g_Mouse.m_State.yaw, 100 * 0.01 * 0.5) << "frame 3: the turn";
    EXPECT_DOUBLE_EQ(g_Mouse.m_State.pitch, -2 * 40 * 0.01 * 0.5);
    NextFrame(3);
    EXPECT_FALSE(IsCommandActive(3)) << "frame 4";
    EXPECT_TRUE(IsCommandActive(1)) << "run";
    NextFrame(4);
    EXPECT_TRUE(IsCommandActive(14)) << "frame 5: aim, on the right button";
    EXPECT_EQ(g_Mouse.m_State.buttons[1], 1);
    NextFrame(5);
    EXPECT_DOUBLE_EQ(g_Mouse.m_State.wheel, 2 * 120 * 0.01 * 0.5) << "frame 6";
    NextFrame(6);
    EXPECT_FALSE(IsCommandActive(14)) << "frame 7";
    NextFrame(7);
    EXPECT_FLOAT_EQ(MuchaSpeed, 333.0f) << "frame 8: the console line ran";
    MuchaSpeed = muchaSpeed;

    NextFrame(600, "worlds\\test.w");
    EXPECT_FALSE(IsCommandActive(8)) << "the jump waits for its world";
    NextFrame(0, "worlds\\arena.w");
    EXPECT_TRUE(IsCommandActive(8)) << "its world's frame 1";
}

TEST_F(ScriptedPlayWindow, ABadScriptStopsTheStartNamingItsLine) {
    WriteFile("bad.txt", "1 key W down\n2 key Q sideways\n");
    setenv("ZT_INPUT_SCRIPT", (root_ / "bad.txt").c_str(), 1);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(scriptedplay::Start());
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("bad.txt: line 2: a key needs \"down\" or \"up\""), std::string::npos) << said;
    EXPECT_FALSE(scriptedplay::ScriptActive());
}

// ---- The fixed frame time ---------------------------------------------------------

TEST(FixedFrameTime, TheClockStepsExactlyAFrameAndAFrameLastsThatInWallTime) {
    unsetenv("ZT_INPUT_SCRIPT");
    setenv("ZT_FRAME_TIME", "0.05", 1);
    ASSERT_TRUE(scriptedplay::Start());
    unsetenv("ZT_FRAME_TIME");
    ASSERT_TRUE(scriptedplay::FixedFrameTime());
    const double start = DXUtilTimer(TIMER_GETABSOLUTETIME);
    const auto wallStart = std::chrono::steady_clock::now();
    for (int frame = 1; frame <= 3; ++frame) {
        scriptedplay::BeginFrame();
        EXPECT_NEAR(DXUtilTimer(TIMER_GETABSOLUTETIME) - start, 0.05 * frame, 1e-9);
        scriptedplay::EndFrame(nullptr, nullptr, frame);
    }
    const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - wallStart;
    EXPECT_GE(wall.count(), 0.149);
    scriptedplay::Stop();
    EXPECT_FALSE(scriptedplay::FixedFrameTime());
}

} // namespace
