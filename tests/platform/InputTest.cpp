// The input service on SDL: the scancode table, and keyboard and mouse
// devices fed through the window's message pump (offscreen video driver,
// events pushed into SDL's queue).
#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <vector>

#include "platform/input/Input.h"
#include "platform/input/sdl/SdlInput.h"
#include "platform/window/Window.h"
#include "platform/window/sdl/SdlWindow.h"

namespace {

namespace dik = input::dik;

struct ScanCase {
    SDL_Scancode scancode;
    uint8_t dik;
};

class ScancodeTable : public ::testing::TestWithParam<ScanCase> {};

TEST_P(ScancodeTable, GivesTheDirectInputCode) {
    EXPECT_EQ(input::sdl::DikFromScancode(GetParam().scancode), GetParam().dik)
        << SDL_GetScancodeName(GetParam().scancode);
}

INSTANTIATE_TEST_SUITE_P(
    Keys, ScancodeTable,
    ::testing::Values(
        ScanCase{SDL_SCANCODE_ESCAPE, 1}, ScanCase{SDL_SCANCODE_1, 2}, ScanCase{SDL_SCANCODE_0, 11},
        ScanCase{SDL_SCANCODE_MINUS, 12}, ScanCase{SDL_SCANCODE_EQUALS, 13}, ScanCase{SDL_SCANCODE_TAB, 15},
        ScanCase{SDL_SCANCODE_Q, 16}, ScanCase{SDL_SCANCODE_P, 25}, ScanCase{SDL_SCANCODE_LEFTBRACKET, 26},
        ScanCase{SDL_SCANCODE_RIGHTBRACKET, 27}, ScanCase{SDL_SCANCODE_RETURN, 28},
        ScanCase{SDL_SCANCODE_LCTRL, 29}, ScanCase{SDL_SCANCODE_A, 30}, ScanCase{SDL_SCANCODE_L, 38},
        ScanCase{SDL_SCANCODE_SEMICOLON, 39}, ScanCase{SDL_SCANCODE_APOSTROPHE, 40},
        ScanCase{SDL_SCANCODE_GRAVE, 41}, ScanCase{SDL_SCANCODE_LSHIFT, 42},
        ScanCase{SDL_SCANCODE_BACKSLASH, 43}, ScanCase{SDL_SCANCODE_Z, 44}, ScanCase{SDL_SCANCODE_M, 50},
        ScanCase{SDL_SCANCODE_SLASH, 53}, ScanCase{SDL_SCANCODE_RSHIFT, 54}, ScanCase{SDL_SCANCODE_LALT, 56},
        ScanCase{SDL_SCANCODE_SPACE, 57}, ScanCase{SDL_SCANCODE_F1, 59}, ScanCase{SDL_SCANCODE_F5, 63},
        ScanCase{SDL_SCANCODE_F8, 66}, ScanCase{SDL_SCANCODE_F9, 67}, ScanCase{SDL_SCANCODE_F10, 68},
        ScanCase{SDL_SCANCODE_KP_7, 71}, ScanCase{SDL_SCANCODE_KP_MINUS, 74},
        ScanCase{SDL_SCANCODE_KP_PLUS, 78}, ScanCase{SDL_SCANCODE_KP_0, 82},
        ScanCase{SDL_SCANCODE_KP_PERIOD, 83}, ScanCase{SDL_SCANCODE_F11, 87},
        ScanCase{SDL_SCANCODE_KP_ENTER, 156}, ScanCase{SDL_SCANCODE_RCTRL, 157},
        ScanCase{SDL_SCANCODE_KP_DIVIDE, 181}, ScanCase{SDL_SCANCODE_RALT, 184},
        ScanCase{SDL_SCANCODE_HOME, 199}, ScanCase{SDL_SCANCODE_UP, 200}, ScanCase{SDL_SCANCODE_LEFT, 203},
        ScanCase{SDL_SCANCODE_RIGHT, 205}, ScanCase{SDL_SCANCODE_END, 207}, ScanCase{SDL_SCANCODE_DOWN, 208},
        ScanCase{SDL_SCANCODE_INSERT, 210}, ScanCase{SDL_SCANCODE_DELETE, 211},
        ScanCase{SDL_SCANCODE_UNKNOWN, 0}, ScanCase{SDL_SCANCODE_F24, 0}, ScanCase{SDL_NUM_SCANCODES, 0}));

TEST(ScancodeTableWhole, NoTwoKeysShareACodeExceptTheIsoHashKey) {
    std::set<uint8_t> seen;
    int mapped = 0;
    for (int s = 0; s < SDL_NUM_SCANCODES; ++s) {
        const uint8_t code = input::sdl::DikFromScancode(SDL_Scancode(s));
        if (code == 0 || s == SDL_SCANCODE_NONUSHASH) continue;
        ++mapped;
        EXPECT_TRUE(seen.insert(code).second)
            << SDL_GetScancodeName(SDL_Scancode(s)) << " repeats " << int(code);
    }
    EXPECT_EQ(input::sdl::DikFromScancode(SDL_SCANCODE_NONUSHASH), dik::Backslash);
    EXPECT_GT(mapped, 100);
}

// Scripted input goes the other way: every code of the table back to its key
// (the ISO hash key shares the backslash's code and yields to it).
TEST(ScancodeTableWhole, EveryCodeLeadsBackToItsKey) {
    for (int s = 0; s < SDL_NUM_SCANCODES; ++s) {
        const uint8_t code = input::sdl::DikFromScancode(SDL_Scancode(s));
        if (code == 0 || s == SDL_SCANCODE_NONUSHASH) continue;
        EXPECT_EQ(input::sdl::ScancodeFromDik(code), SDL_Scancode(s)) << SDL_GetScancodeName(SDL_Scancode(s));
    }
    EXPECT_EQ(input::sdl::ScancodeFromDik(dik::Backslash), SDL_SCANCODE_BACKSLASH);
    EXPECT_EQ(input::sdl::ScancodeFromDik(0), SDL_SCANCODE_UNKNOWN);
    EXPECT_EQ(input::sdl::ScancodeFromDik(0xFF), SDL_SCANCODE_UNKNOWN);
}

TEST(MouseButtons, FollowTheDirectInputOrder) {
    struct Case {
        uint8_t sdl;
        int button;
    } cases[] = {{SDL_BUTTON_LEFT, 0},
                 {SDL_BUTTON_RIGHT, 1},
                 {SDL_BUTTON_MIDDLE, 2},
                 {SDL_BUTTON_X1, 3},
                 {SDL_BUTTON_X2, 4},
                 {0, -1},
                 {9, -1}};
    for (const Case& c : cases) {
        EXPECT_EQ(input::sdl::ButtonFromSdl(c.sdl), c.button) << int(c.sdl);
        if (c.button >= 0) {
            EXPECT_EQ(input::sdl::SdlButton(c.button), c.sdl) << c.button;
        }
    }
    EXPECT_EQ(input::sdl::SdlButton(5), 0);
    EXPECT_EQ(input::sdl::SdlButton(-1), 0);
}

// ---- Devices ---------------------------------------------------------------

class InputDevices : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { setenv("SDL_VIDEODRIVER", "offscreen", 0); }
    void SetUp() override {
        window::CreateParams p;
        p.title = "input test";
        win_ = window::CreateWindow(p);
        ASSERT_NE(win_, nullptr) << window::LastError();
        id_ = SDL_GetWindowID(window::sdl::NativeWindow(win_.get()));
        di_ = input::Create();
        ASSERT_NE(di_, nullptr);
        Pump();
    }
    void TearDown() override {
        for (input::Device* d : devices_)
            d->Release();
        if (di_) di_->Release();
        Pump();
        win_.reset();
        window::ClearMessageQueue();
    }
    input::Device* Make(input::DeviceKind kind, uint32_t buffer = 0) {
        input::Device* d = nullptr;
        EXPECT_EQ(di_->CreateDevice(kind, &d), input::Result::Ok);
        devices_.push_back(d);
        const input::DataFormat format =
            kind == input::DeviceKind::Keyboard ? input::DataFormat::Keyboard : input::DataFormat::Mouse2;
        EXPECT_EQ(d->SetDataFormat(format), input::Result::Ok);
        EXPECT_EQ(d->SetCooperativeLevel(win_.get(), input::coop::Exclusive | input::coop::Foreground),
                  input::Result::Ok);
        if (buffer) {
            EXPECT_EQ(d->SetBufferSize(buffer), input::Result::Ok);
        }
        return d;
    }
    static void Pump() {
        window::Message m;
        while (window::PeekMessage(m)) {
        }
    }
    void Key(SDL_Scancode s, bool down, uint32_t windowId = 0) {
        SDL_Event e{};
        e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
        e.key.windowID = windowId ? windowId : id_;
        e.key.state = down ? SDL_PRESSED : SDL_RELEASED;
        e.key.keysym.scancode = s;
        e.key.keysym.sym = SDL_GetKeyFromScancode(s);
        SDL_PushEvent(&e);
    }
    void Motion(int dx, int dy) {
        SDL_Event e{};
        e.type = SDL_MOUSEMOTION;
        e.motion.windowID = id_;
        e.motion.xrel = dx;
        e.motion.yrel = dy;
        SDL_PushEvent(&e);
    }
    void Wheel(int y, bool flipped = false) {
        SDL_Event e{};
        e.type = SDL_MOUSEWHEEL;
        e.wheel.windowID = id_;
        e.wheel.y = y;
        e.wheel.direction = flipped ? SDL_MOUSEWHEEL_FLIPPED : SDL_MOUSEWHEEL_NORMAL;
        SDL_PushEvent(&e);
    }
    void Button(uint8_t b, bool down) {
        SDL_Event e{};
        e.type = down ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
        e.button.windowID = id_;
        e.button.button = b;
        e.button.state = down ? SDL_PRESSED : SDL_RELEASED;
        SDL_PushEvent(&e);
    }
    void Focus(bool gained) {
        SDL_Event e{};
        e.type = SDL_WINDOWEVENT;
        e.window.windowID = id_;
        e.window.event = gained ? SDL_WINDOWEVENT_FOCUS_GAINED : SDL_WINDOWEVENT_FOCUS_LOST;
        SDL_PushEvent(&e);
    }
    static std::vector<input::MouseEvent> Read(input::Device* d, input::Result expected, uint32_t max = 64) {
        std::vector<input::MouseEvent> events(max);
        uint32_t n = max;
        EXPECT_EQ(d->GetDeviceData(events.data(), &n), expected);
        events.resize(n);
        return events;
    }

    std::unique_ptr<window::Window> win_;
    uint32_t id_ = 0;
    input::Interface* di_ = nullptr;
    std::vector<input::Device*> devices_;
};

TEST_F(InputDevices, TheKeyboardStateFollowsTheKeysOfItsWindowWhileAcquired) {
    input::Device* kb = Make(input::DeviceKind::Keyboard);
    uint8_t state[256];
    EXPECT_EQ(kb->GetDeviceState(state, sizeof state), input::Result::NotAcquired);
    Key(SDL_SCANCODE_W, true);
    Pump();
    ASSERT_EQ(kb->Acquire(), input::Result::Ok);
    EXPECT_EQ(kb->GetDeviceState(state, sizeof state), input::Result::Ok);
    EXPECT_EQ(state[dik::W], 0) << "pressed before the keyboard was acquired";

    Key(SDL_SCANCODE_A, true);
    Key(SDL_SCANCODE_UP, true);
    Key(SDL_SCANCODE_KP_ENTER, true);
    Key(SDL_SCANCODE_D, true, id_ + 1000); // another window's key
    Pump();
    ASSERT_EQ(kb->GetDeviceState(state, sizeof state), input::Result::Ok);
    for (int code = 0; code < 256; ++code) {
        const bool down = code == dik::A || code == dik::Up || code == dik::NumpadEnter;
        EXPECT_EQ(state[code], down ? 0x80 : 0) << "code " << code;
    }
    Key(SDL_SCANCODE_A, false);
    Pump();
    kb->GetDeviceState(state, sizeof state);
    EXPECT_EQ(state[dik::A], 0);
    EXPECT_EQ(state[dik::Up], 0x80);

    EXPECT_EQ(kb->GetDeviceState(state, 100), input::Result::InvalidParam);
    EXPECT_EQ(kb->Unacquire(), input::Result::Ok);
    EXPECT_EQ(kb->GetDeviceState(state, sizeof state), input::Result::NotAcquired);
}

TEST_F(InputDevices, LosingTheFocusDropsTheKeysReportsOnceAndComesBack) {
    input::Device* kb = Make(input::DeviceKind::Keyboard);
    ASSERT_EQ(kb->Acquire(), input::Result::Ok);
    Key(SDL_SCANCODE_SPACE, true);
    Pump();
    uint8_t state[256];
    kb->GetDeviceState(state, sizeof state);
    EXPECT_EQ(state[dik::Space], 0x80);

    Focus(false);
    Pump();
    EXPECT_FALSE(win_->HasFocus());
    EXPECT_EQ(kb->GetDeviceState(state, sizeof state), input::Result::InputLost);
    EXPECT_EQ(kb->GetDeviceState(state, sizeof state), input::Result::NotAcquired);
    Key(SDL_SCANCODE_E, true);
    Pump();
    EXPECT_EQ(kb->Acquire(), input::Result::OtherAppHasPrio) << "another window has the focus";

    Focus(true);
    Pump();
    ASSERT_EQ(kb->GetDeviceState(state, sizeof state), input::Result::Ok);
    EXPECT_EQ(state[dik::Space], 0) << "held through the switch: up until pressed again";
    EXPECT_EQ(state[dik::E], 0);
}

TEST_F(InputDevices, TheMouseBuffersMotionWheelAndButtonsInOrder) {
    input::Device* mouse = Make(input::DeviceKind::Mouse, 64);
    ASSERT_EQ(mouse->Acquire(), input::Result::Ok);
    Motion(5, -3);
    Wheel(1);
    Wheel(-2);
    Wheel(1, true); // flipped: turned back
    Button(SDL_BUTTON_LEFT, true);
    Button(SDL_BUTTON_RIGHT, true);
    Button(SDL_BUTTON_MIDDLE, true);
    Button(SDL_BUTTON_X1, true);
    Button(SDL_BUTTON_RIGHT, false);
    Motion(0, 7);
    Pump();

    namespace ofs = input::mouseofs;
    struct Expected {
        uint32_t offset;
        int32_t data;
    } expected[] = {{ofs::X, 5},          {ofs::Y, -3},         {ofs::Z, 120},        {ofs::Z, -240},
                    {ofs::Z, -120},       {ofs::Button0, 0x80}, {ofs::Button1, 0x80}, {ofs::Button2, 0x80},
                    {ofs::Button3, 0x80}, {ofs::Button1, 0},    {ofs::Y, 7}};
    const std::vector<input::MouseEvent> events = Read(mouse, input::Result::Ok);
    ASSERT_EQ(events.size(), std::size(expected));
    for (size_t i = 0; i < events.size(); ++i) {
        EXPECT_EQ(events[i].offset, expected[i].offset) << i;
        EXPECT_EQ(events[i].data, expected[i].data) << i;
        if (i > 0) {
            EXPECT_GT(events[i].sequence, events[i - 1].sequence);
        }
    }
    EXPECT_TRUE(Read(mouse, input::Result::Ok).empty());

    input::MouseState s;
    ASSERT_EQ(mouse->GetDeviceState(&s, sizeof s), input::Result::Ok);
    EXPECT_EQ(s.x, 5);
    EXPECT_EQ(s.y, 4);
    EXPECT_EQ(s.z, -240);
    EXPECT_EQ(s.buttons[0], 0x80);
    EXPECT_EQ(s.buttons[1], 0);
    EXPECT_EQ(s.buttons[2], 0x80);
    ASSERT_EQ(mouse->GetDeviceState(&s, sizeof s), input::Result::Ok);
    EXPECT_EQ(s.x, 0) << "motion since the last read";
}

TEST_F(InputDevices, AFullBufferKeepsTheOldestEventsAndReportsTheOverflowOnce) {
    input::Device* mouse = Make(input::DeviceKind::Mouse, 4);
    ASSERT_EQ(mouse->Acquire(), input::Result::Ok);
    for (int i = 1; i <= 6; ++i)
        Motion(i, 0);
    Pump();
    std::vector<input::MouseEvent> events = Read(mouse, input::Result::BufferOverflow, 2);
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].data, 1);
    EXPECT_EQ(events[1].data, 2);
    events = Read(mouse, input::Result::Ok);
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[1].data, 4);
}

TEST_F(InputDevices, TheMouseTakesNothingWhileUnacquiredOrOutOfFocus) {
    input::Device* mouse = Make(input::DeviceKind::Mouse, 16);
    Motion(1, 1);
    Pump();
    EXPECT_TRUE(Read(mouse, input::Result::NotAcquired).empty());
    ASSERT_EQ(mouse->Acquire(), input::Result::Ok);
    EXPECT_TRUE(Read(mouse, input::Result::Ok).empty());

    Motion(2, 0);
    Focus(false);
    Motion(3, 0);
    Pump();
    EXPECT_TRUE(Read(mouse, input::Result::InputLost).empty()) << "what came before the loss is dropped";
    Focus(true);
    Motion(4, 0);
    Pump();
    const std::vector<input::MouseEvent> events = Read(mouse, input::Result::Ok);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].data, 4);
}

TEST_F(InputDevices, FormatsAndCallsOutOfOrderAreRefused) {
    input::Device* kb = nullptr;
    ASSERT_EQ(di_->CreateDevice(input::DeviceKind::Keyboard, &kb), input::Result::Ok);
    devices_.push_back(kb);
    EXPECT_EQ(kb->Acquire(), input::Result::NoWindow);
    EXPECT_EQ(kb->SetDataFormat(input::DataFormat::Mouse2), input::Result::InvalidParam);
    EXPECT_EQ(kb->SetCooperativeLevel(nullptr, input::coop::Exclusive), input::Result::NoWindow);
    EXPECT_EQ(kb->SetCooperativeLevel(win_.get(), input::coop::Exclusive), input::Result::Ok);
    EXPECT_EQ(kb->Acquire(), input::Result::InvalidParam) << "no data format yet";
    EXPECT_EQ(kb->SetDataFormat(input::DataFormat::Keyboard), input::Result::Ok);
    EXPECT_EQ(kb->Acquire(), input::Result::Ok);
    uint32_t n = 1;
    input::MouseEvent e;
    EXPECT_EQ(kb->GetDeviceData(&e, &n), input::Result::InvalidParam) << "a keyboard buffers nothing";
    EXPECT_EQ(n, 0u);
}

} // namespace
