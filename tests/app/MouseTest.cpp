// The mouse: weighting of the view, the gates of the level start, the menu
// and the cinematic view, buttons mirrored into the key states, and the
// re-acquisition after a failed read.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "app/CommandMgr.h"
#include "app/FocusMgr.h"
#include "app/Mouse.h"
#include "app/Options.h"
#include "tests/app/MouseFakeDevice.h"

namespace {

using input::MouseEvent;
namespace ofs = input::mouseofs;

MouseEvent Ev(uint32_t offset, int32_t data) {
    MouseEvent e;
    e.offset = offset;
    e.data = data;
    return e;
}

// In play, past every gate of the level start.
MouseFrame Play() {
    MouseFrame f;
    f.iLevelFrame = 500;
    f.iFramesSinceCinematic = 100;
    f.iDifficulty = 1;
    f.fSensitivity = 0.5f;
    return f;
}

class MouseTest : public ::testing::Test {
  protected:
    void SetUp() override { Reset(); }
    void TearDown() override {
        Reset();
        g_Mouse.m_pDevice = nullptr;
        g_Mouse.m_bReady = false;
    }
    static void Reset() {
        g_Mouse.m_State = {};
        g_Mouse.m_Saved = {};
        std::memset(g_CommandMgr.m_KeyStates, 0, sizeof g_CommandMgr.m_KeyStates);
        g_CommandMgr.SetDefaults();
        g_CommandMgr.m_bCommand19Latch = false;
    }
    static void Apply(const std::vector<MouseEvent>& events, const MouseFrame& f) {
        g_Mouse.m_State.weightedX = g_Mouse.m_State.weightedY = g_Mouse.m_State.weightedWheel = 0;
        g_Mouse.ApplyEvents(events.data(), uint32_t(events.size()), f);
    }
    static const EMouse::State& S() { return g_Mouse.m_State; }
};

TEST_F(MouseTest, MotionIsWeightedAndScaledByTheSensitivity) {
    struct Case {
        const char* what;
        MouseFrame frame;
        double yaw, pitch, wheel;
    } cases[] = {
        // s = 0.01 x 0.5; x 10, y 4 (factor 2), wheel 120.
        {"plain", Play(), 10 * 0.005, 2 * 4 * 0.005, 120 * 0.005},
        {"easy difficulty: y factor 1",
         [] {
             auto f = Play();
             f.iDifficulty = 0;
             return f;
         }(),
         10 * 0.005, 4 * 0.005, 120 * 0.005},
        {"inverted",
         [] {
             auto f = Play();
             f.bInvert = true;
             return f;
         }(),
         10 * 0.005, -2 * 4 * 0.005, 120 * 0.005},
        {"zoom 0.5: divisor 2",
         [] {
             auto f = Play();
             f.fZoom = 0.5f;
             return f;
         }(),
         5 * 0.005, 4 * 0.005, 120 * 0.005},
        {"zoom doubled: divisor 3",
         [] {
             auto f = Play();
             f.fZoom = 0.5f;
             f.bZoomDoubled = true;
             return f;
         }(),
         10.0 / 3 * 0.005, 8.0 / 3 * 0.005, 120 * 0.005},
        {"weapon view: divisor 3",
         [] {
             auto f = Play();
             f.bWeaponView = true;
             return f;
         }(),
         10.0 / 3 * 0.005, 8.0 / 3 * 0.005, 120 * 0.005},
        // In the menu the zoom does not count, difficulty 0 and inverting
        // do not apply and the view is not held back.
        {"menu",
         [] {
             auto f = Play();
             f.bMenuOpen = true;
             f.fZoom = 1;
             f.bInvert = true;
             f.iDifficulty = 0;
             f.iLevelFrame = 0;
             return f;
         }(),
         10 * 0.005, 2 * 4 * 0.005, 120 * 0.005},
    };
    for (const auto& c : cases) {
        Reset();
        Apply({Ev(ofs::X, 10), Ev(ofs::Y, 4), Ev(ofs::Z, 120)}, c.frame);
        EXPECT_NEAR(S().yaw, c.yaw, 1e-12) << c.what;
        EXPECT_NEAR(S().pitch, c.pitch, 1e-12) << c.what;
        EXPECT_NEAR(S().wheel, c.wheel, 1e-12) << c.what;
        EXPECT_NEAR(S().rawX, 10 * 0.5 * 0.01, 1e-12) << c.what;
        EXPECT_NEAR(S().rawY, 4 * 0.5 * 0.01, 1e-12) << c.what;
        EXPECT_NEAR(S().rawWheel, 120 * 0.5 * 0.01, 1e-12) << c.what;
    }
}

TEST_F(MouseTest, TheLevelStartHoldsButtonsThenTheView) {
    struct Case {
        int32_t levelFrame;
        bool buttons, view;
    } cases[] = {{0, false, false},  {149, false, false}, {150, true, false},
                 {199, true, false}, {200, true, true},   {5000, true, true}};
    for (const Case& c : cases) {
        Reset();
        g_Mouse.m_State.buttons[3] = 1; // left over from before: cleared while held back
        g_CommandMgr.m_KeyStates[KEY_MOUSE_BUTTON0 + 2] = 1;
        MouseFrame f = Play();
        f.iLevelFrame = c.levelFrame;
        Apply({Ev(ofs::Button0, 0x80), Ev(ofs::X, 20)}, f);
        EXPECT_EQ(S().buttons[0] == 1, c.buttons) << "frame " << c.levelFrame;
        EXPECT_EQ(IsCommandActive(19), c.buttons) << "frame " << c.levelFrame;
        EXPECT_EQ(S().yaw != 0, c.view) << "frame " << c.levelFrame;
        if (!c.buttons) {
            EXPECT_EQ(S().buttons[3], 0);
            EXPECT_EQ(g_CommandMgr.m_KeyStates[KEY_MOUSE_BUTTON0 + 2], 0);
            EXPECT_EQ(S().rawX, 0) << "events dropped";
        }
    }
}

TEST_F(MouseTest, TheCinematicViewHoldsTheViewUnlessTheCameraIsHeld) {
    struct Case {
        const char* what;
        MouseFrame frame;
        bool turns;
    } cases[] = {
        {"wide screen",
         [] {
             auto f = Play();
             f.bWideScreen = true;
             return f;
         }(),
         false},
        {"fade above 0.3",
         [] {
             auto f = Play();
             f.fWideScreenFade = 0.31f;
             return f;
         }(),
         false},
        {"fade at 0.3",
         [] {
             auto f = Play();
             f.fWideScreenFade = 0.3f;
             return f;
         }(),
         true},
        {"camera held",
         [] {
             auto f = Play();
             f.bWideScreen = true;
             f.bCameraHold = true;
             return f;
         }(),
         true},
        {"loading screen",
         [] {
             auto f = Play();
             f.bWideScreen = true;
             f.bLoadingActive = true;
             return f;
         }(),
         true},
        {"menu",
         [] {
             auto f = Play();
             f.bWideScreen = true;
             f.bMenuOpen = true;
             return f;
         }(),
         true},
    };
    for (const auto& c : cases) {
        Reset();
        Apply({Ev(ofs::X, 10), Ev(ofs::Z, -120)}, c.frame);
        EXPECT_EQ(S().yaw != 0, c.turns) << c.what;
        EXPECT_EQ(S().wheel != 0, c.turns) << c.what;
        EXPECT_NE(S().rawX, 0) << c.what << ": raw sums always count";
    }
}

TEST_F(MouseTest, PitchStopsAt88DegreesInPlayButNotInTheMenu) {
    MouseFrame play = Play();
    for (int i = 0; i < 20; ++i)
        Apply({Ev(ofs::Y, 100)}, play);
    EXPECT_DOUBLE_EQ(S().pitch, EMouse::MAX_PITCH);
    for (int i = 0; i < 40; ++i)
        Apply({Ev(ofs::Y, -100)}, play);
    EXPECT_DOUBLE_EQ(S().pitch, -EMouse::MAX_PITCH);
    EXPECT_NEAR(EMouse::MAX_PITCH, 88.0 * M_PI / 180.0, 1e-6) << "88 degrees";

    MouseFrame menu = Play();
    menu.bMenuOpen = true;
    for (int i = 0; i < 40; ++i)
        Apply({Ev(ofs::Y, -100)}, menu);
    EXPECT_LT(S().pitch, -EMouse::MAX_PITCH - 1.0);
}

TEST_F(MouseTest, TheFirstFramesAfterACinematicKeepThePitchLevel) {
    for (int32_t frames : {0, 4, 5}) {
        Reset();
        g_Mouse.m_State.pitch = 0.3;
        MouseFrame f = Play();
        f.iFramesSinceCinematic = frames;
        Apply({Ev(ofs::Y, 10), Ev(ofs::X, 10)}, f);
        if (frames < 5) {
            EXPECT_EQ(S().pitch, 0) << frames;
            EXPECT_EQ(S().rawY, 0) << frames;
            EXPECT_EQ(S().weightedY, 0) << frames;
        } else {
            EXPECT_GT(S().pitch, 0.3) << frames;
        }
        EXPECT_GT(S().yaw, 0) << frames << ": the yaw turns";
    }
}

TEST_F(MouseTest, ButtonsFollowTheirBytesAndMirrorIntoTheKeyStates) {
    const MouseFrame f = Play();
    struct Step {
        uint32_t offset;
        int32_t data;
        uint8_t buttons[4];
        uint8_t keys[3]; // key states 256..258
    } steps[] = {
        {ofs::Button0, 0x80, {1, 0, 0, 0}, {1, 0, 0}},
        {ofs::Button1, 0xFF, {1, 1, 0, 0}, {1, 1, 0}},
        {ofs::Button2, 0x80, {1, 1, 1, 0}, {1, 1, 1}},
        {ofs::Button3, 0x80, {1, 1, 1, 1}, {1, 1, 1}}, // button 3: its byte only
        {ofs::Button0, 0x7F, {0, 1, 1, 1}, {0, 1, 1}},
        {ofs::Button1, 0, {0, 0, 1, 1}, {0, 0, 1}},
        {ofs::Button4, 0x80, {0, 0, 1, 1}, {0, 0, 1}}, // not kept
    };
    for (const Step& s : steps) {
        Apply({Ev(s.offset, s.data)}, f);
        for (int b = 0; b < 4; ++b) {
            EXPECT_EQ(S().buttons[b], s.buttons[b]) << "offset " << s.offset << " button " << b;
            EXPECT_EQ(g_CommandMgr.IsMouseButtonDown(b), s.buttons[b]);
        }
        for (int k = 0; k < 3; ++k)
            EXPECT_EQ(g_CommandMgr.m_KeyStates[256 + k], s.keys[k]);
    }
    EXPECT_EQ(g_CommandMgr.IsMouseButtonDown(-1), 0);
    EXPECT_EQ(g_CommandMgr.IsMouseButtonDown(4), 0);
}

TEST_F(MouseTest, ABoundMouseButtonWorksLikeAKey) {
    // Command 14 is bound to mouse button 1 by default; bind command 8 to
    // the middle button as a second key.
    g_CommandMgr.SetBinding(8, 1, KEY_MOUSE_BUTTON0 + 2);
    const MouseFrame f = Play();
    Apply({Ev(ofs::Button1, 0x80), Ev(ofs::Button2, 0x80)}, f);
    EXPECT_TRUE(IsCommandActive(14));
    EXPECT_TRUE(IsCommandActive(8));
    Apply({Ev(ofs::Button1, 0), Ev(ofs::Button2, 0)}, f);
    EXPECT_FALSE(IsCommandActive(14));
    EXPECT_FALSE(IsCommandActive(8));
}

TEST_F(MouseTest, StoredStateComesBackWhole) {
    Apply({Ev(ofs::X, 30), Ev(ofs::Y, 7), Ev(ofs::Button0, 0x80)}, Play());
    const EMouse::State before = S();
    g_Mouse.StoreState();
    Apply({Ev(ofs::X, -300), Ev(ofs::Button0, 0)}, Play());
    g_Mouse.RestoreState();
    const EMouse::State& now = S();
    EXPECT_EQ(std::vector<uint8_t>(now.buttons, now.buttons + 4),
              std::vector<uint8_t>(before.buttons, before.buttons + 4));
    const double a[] = {now.yaw,      now.pitch,     now.wheel,     now.rawX,          now.rawY,
                        now.rawWheel, now.weightedX, now.weightedY, now.weightedWheel, now.constant};
    const double b[] = {before.yaw,           before.pitch,    before.wheel,     before.rawX,
                        before.rawY,          before.rawWheel, before.weightedX, before.weightedY,
                        before.weightedWheel, before.constant};
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(a[i], b[i]) << "value " << i;
}

// ---- Update and the device -------------------------------------------------

class MouseDeviceTest : public MouseTest {
  protected:
    void SetUp() override {
        MouseTest::SetUp();
        g_Mouse.m_pDevice = &device_;
        g_Mouse.m_bReady = true;
        wasStarted_ = g_FocusMgr.m_bStarted;
        g_FocusMgr.m_bStarted = true;
        savedSensitivity_ = MouseSensitivity;
    }
    void TearDown() override {
        g_FocusMgr.m_bStarted = wasStarted_;
        MouseSensitivity = savedSensitivity_;
        MouseTest::TearDown();
    }
    FakeInputDevice device_{input::DeviceKind::Mouse};
    bool wasStarted_ = false;
    float savedSensitivity_ = 0.3f;
};

TEST_F(MouseDeviceTest, ReacquiringStopsAfterABoundedNumberOfTries) {
    using R = input::Result;
    struct Case {
        std::vector<R> answers;
        uint32_t calls;
    } cases[] = {
        {{R::Ok}, 1},
        {{R::NotAcquired}, 1},
        {{R::InputLost, R::InputLost, R::Ok}, 3},
        {{R::InputLost, R::OtherAppHasPrio}, 2},
        {{R::InputLost}, EMouse::MAX_ACQUIRE_TRIES}, // lost for good
    };
    for (const Case& c : cases) {
        device_.acquireAnswers.assign(c.answers.begin(), c.answers.end());
        device_.acquireCalls = 0;
        EXPECT_EQ(g_Mouse.Reacquire(), c.calls);
        EXPECT_EQ(device_.acquireCalls, int(c.calls));
    }
}

TEST_F(MouseDeviceTest, AFailedReadDropsTheEventsAndAcquiresAgain) {
    for (input::Result r :
         {input::Result::BufferOverflow, input::Result::InputLost, input::Result::NotAcquired}) {
        Reset();
        g_Mouse.m_State.weightedX = 5;
        device_.acquireAnswers = {input::Result::InputLost};
        device_.acquireCalls = 0;
        device_.readAnswer = r;
        device_.events = {Ev(ofs::X, 10)};
        g_Mouse.Update();
        EXPECT_EQ(S().yaw, 0);
        EXPECT_EQ(S().weightedX, 0) << "this update's values are cleared first";
        EXPECT_EQ(device_.acquireCalls, int(EMouse::MAX_ACQUIRE_TRIES));
    }
}

TEST_F(MouseDeviceTest, UpdateRaisesALowSensitivityAndWaitsForTheFocusManager) {
    MouseSensitivity = 0.001f;
    g_FocusMgr.m_bStarted = false;
    device_.events = {Ev(ofs::X, 10)};
    g_Mouse.Update();
    EXPECT_FLOAT_EQ(MouseSensitivity, 0.001f) << "nothing before the focus manager starts";
    EXPECT_EQ(device_.events.size(), 1u);

    g_FocusMgr.m_bStarted = true;
    g_Mouse.Update();
    EXPECT_FLOAT_EQ(MouseSensitivity, 0.01f);
    EXPECT_TRUE(device_.events.empty());
}

} // namespace
