#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <memory>
#include <vector>

#include "platform/os/Os.h"
#include "platform/window/Window.h"
#include "platform/window/sdl/SdlWindow.h"

namespace {

struct KeyCase {
    SDL_Keycode key;
    uint32_t vkey;
};

class VirtualKeyTable : public ::testing::TestWithParam<KeyCase> {};

TEST_P(VirtualKeyTable, MapsSdlKeycodeToVirtualKey) {
    EXPECT_EQ(window::sdl::VirtualKeyFromKeycode(GetParam().key), GetParam().vkey)
        << SDL_GetKeyName(GetParam().key);
}

INSTANTIATE_TEST_SUITE_P(
    Keys, VirtualKeyTable,
    ::testing::Values(KeyCase{SDLK_a, 'A'}, KeyCase{SDLK_z, 'Z'}, KeyCase{SDLK_0, '0'}, KeyCase{SDLK_9, '9'},
                      KeyCase{SDLK_F1, 0x70}, KeyCase{SDLK_F12, 0x7B}, KeyCase{SDLK_BACKQUOTE, 0xC0},
                      KeyCase{SDLK_RETURN, 0x0D}, KeyCase{SDLK_KP_ENTER, 0x0D}, KeyCase{SDLK_LSHIFT, 0x10},
                      KeyCase{SDLK_RSHIFT, 0x10}, KeyCase{SDLK_RCTRL, 0x11}, KeyCase{SDLK_LALT, 0x12},
                      KeyCase{SDLK_ESCAPE, 0x1B}, KeyCase{SDLK_KP_0, 0x60}, KeyCase{SDLK_KP_9, 0x69},
                      KeyCase{SDLK_KP_MINUS, 0x6D}, KeyCase{SDLK_UP, 0x26}, KeyCase{SDLK_DELETE, 0x2E},
                      KeyCase{SDLK_INSERT, 0x2D}, KeyCase{SDLK_LEFTBRACKET, 0xDB}, KeyCase{SDLK_QUOTE, 0xDE},
                      KeyCase{SDLK_MINUS, 0xBD}, KeyCase{SDLK_SLASH, 0xBF}, KeyCase{SDLK_BACKSPACE, 0x08},
                      KeyCase{SDLK_UNKNOWN, 0}, KeyCase{SDLK_F13, 0}));

// Records what reaches the window procedure.
std::vector<window::Message> g_seen;
intptr_t RecordingProc(window::Window* w, uint32_t m, uintptr_t wp, intptr_t lp) {
    g_seen.push_back({w, m, wp, lp});
    return window::DefWindowProc(w, m, wp, lp);
}

class MessageQueueTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { setenv("SDL_VIDEODRIVER", "offscreen", 0); }
    void SetUp() override {
        window::CreateParams p;
        p.title = "queue test";
        p.proc = &RecordingProc;
        win_ = window::CreateWindow(p);
        ASSERT_NE(win_, nullptr) << window::LastError();
        Drain();
        g_seen.clear();
    }
    void TearDown() override {
        win_.reset();
        window::ClearMessageQueue();
    }
    void Drain() {
        window::Message m;
        while (window::PeekMessage(m)) {
        }
        window::ClearMessageQueue();
    }
    void PushKey(Uint32 type, SDL_Keycode key, bool repeat = false) {
        SDL_Event e{};
        e.type = type;
        e.key.windowID = SDL_GetWindowID(window::sdl::NativeWindow(win_.get()));
        e.key.state = type == SDL_KEYDOWN ? SDL_PRESSED : SDL_RELEASED;
        e.key.repeat = repeat;
        e.key.keysym.sym = key;
        SDL_PushEvent(&e);
    }
    std::unique_ptr<window::Window> win_;
};

TEST_F(MessageQueueTest, KeyEventsBecomeKeyMessagesWithVirtualKeysAndTransitionBits) {
    struct Case {
        Uint32 type;
        SDL_Keycode key;
        bool repeat;
        uint32_t message;
        uint32_t vkey;
        uint32_t highBits; // bits 30 and 31 of lParam
    } cases[] = {
        {SDL_KEYDOWN, SDLK_BACKQUOTE, false, window::msg::KeyDown, 0xC0, 0},
        {SDL_KEYDOWN, SDLK_w, true, window::msg::KeyDown, 'W', 1u << 30},
        {SDL_KEYUP, SDLK_w, false, window::msg::KeyUp, 'W', 3u << 30},
        {SDL_KEYDOWN, SDLK_LALT, false, window::msg::SysKeyDown, 0x12, 0},
        {SDL_KEYUP, SDLK_F10, false, window::msg::SysKeyUp, 0x79, 3u << 30},
    };
    for (const Case& c : cases) {
        PushKey(c.type, c.key, c.repeat);
        window::Message m;
        ASSERT_TRUE(window::PeekMessage(m)) << SDL_GetKeyName(c.key);
        EXPECT_EQ(m.message, c.message) << SDL_GetKeyName(c.key);
        EXPECT_EQ(m.wParam, c.vkey);
        EXPECT_EQ(uint32_t(m.lParam) & 0xC0000000u, c.highBits);
        EXPECT_EQ(uint32_t(m.lParam) & 0xFFFF, 1u);
        EXPECT_EQ(m.window, win_.get());
    }
}

TEST_F(MessageQueueTest, KeysWithoutVirtualKeyAreDropped) {
    PushKey(SDL_KEYDOWN, SDLK_F13);
    window::Message m;
    EXPECT_FALSE(window::PeekMessage(m));
}

TEST_F(MessageQueueTest, QuitRequestClosesTheWindowWhichSendsDestroyOnce) {
    SDL_Event e{};
    e.type = SDL_QUIT;
    SDL_PushEvent(&e);
    window::Message m;
    ASSERT_TRUE(window::PeekMessage(m));
    EXPECT_EQ(m.message, window::msg::Close);
    window::DispatchMessage(m);
    ASSERT_EQ(g_seen.size(), 2u);
    EXPECT_EQ(g_seen[0].message, window::msg::Close);
    EXPECT_EQ(g_seen[1].message, window::msg::Destroy);
    EXPECT_TRUE(win_->IsDestroyed());
    window::SendMessage(win_.get(), window::msg::Close, 0, 0);
    EXPECT_EQ(g_seen.size(), 3u); // the second close reaches the procedure, but no second destroy
}

TEST_F(MessageQueueTest, TerminationSignalArrivesAsClose) {
    struct sigaction current {};
    sigaction(SIGTERM, nullptr, &current);
    ASSERT_NE(current.sa_handler, SIG_DFL) << "SDL did not install its quit handler";
    std::raise(SIGTERM);
    window::Message m;
    ASSERT_TRUE(window::PeekMessage(m));
    EXPECT_EQ(m.message, window::msg::Close);
    EXPECT_EQ(m.window, win_.get());
}

TEST_F(MessageQueueTest, PostedMessagesComeBeforeQuitAndQuitCarriesTheCode) {
    window::PostQuitMessage(7);
    window::PostMessage(win_.get(), 0x8001, 1, 2);
    window::Message m;
    ASSERT_TRUE(window::PeekMessage(m));
    EXPECT_EQ(m.message, 0x8001u);
    ASSERT_TRUE(window::PeekMessage(m));
    EXPECT_EQ(m.message, window::msg::Quit);
    EXPECT_EQ(m.wParam, 7u);
    EXPECT_EQ(m.window, nullptr);
    EXPECT_FALSE(window::PeekMessage(m));
}

TEST_F(MessageQueueTest, TimerMessagesWaitForTheQueueAndStopWhenKilled) {
    win_->SetTimer(0, 2);
    os::SleepMs(5);
    window::PostMessage(win_.get(), 0x8001, 0, 0);
    window::Message m;
    ASSERT_TRUE(window::PeekMessage(m));
    EXPECT_EQ(m.message, 0x8001u);
    ASSERT_TRUE(window::PeekMessage(m));
    EXPECT_EQ(m.message, window::msg::Timer);
    EXPECT_EQ(m.wParam, 0u);

    win_->KillTimer(0);
    os::SleepMs(5);
    EXPECT_FALSE(window::PeekMessage(m));
}

TEST(Unattended, ReadsTheEnvironmentSwitch) {
    struct Case {
        const char* value; // null: unset
        bool expected;
    } cases[] = {{nullptr, false}, {"", false}, {"0", false}, {"1", true}, {"yes", true}};
    const char* saved = std::getenv("ZT_UNATTENDED");
    std::string keep = saved ? saved : "";
    for (const Case& c : cases) {
        if (c.value) {
            setenv("ZT_UNATTENDED", c.value, 1);
        } else {
            unsetenv("ZT_UNATTENDED");
        }
        EXPECT_EQ(window::Unattended(), c.expected) << (c.value ? c.value : "(unset)");
    }
    if (saved) {
        setenv("ZT_UNATTENDED", keep.c_str(), 1);
    } else {
        unsetenv("ZT_UNATTENDED");
    }
}

TEST(MessageBox, GoesToStandardErrorWhenUnattended) {
    const char* saved = std::getenv("ZT_UNATTENDED");
    std::string keep = saved ? saved : "";
    setenv("ZT_UNATTENDED", "1", 1);
    ::testing::internal::CaptureStderr();
    window::MessageBox("DX9.0c or newer could not have been found!", "Zt message");
    std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(err, "Zt message: DX9.0c or newer could not have been found!\n");
    if (saved) {
        setenv("ZT_UNATTENDED", keep.c_str(), 1);
    } else {
        unsetenv("ZT_UNATTENDED");
    }
}

} // namespace

// Held by a static made before the message queue, so destroyed after it at exit.
static std::unique_ptr<window::Window> g_windowHeldAtExit;

TEST(WindowAtExit, AWindowHeldByAStaticIsDestroyedCleanlyByExit) {
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            window::CreateParams p;
            p.title = "held at exit";
            g_windowHeldAtExit = window::CreateWindow(p);
            std::exit(g_windowHeldAtExit ? 0 : 3);
        },
        ::testing::ExitedWithCode(0), "");
}
