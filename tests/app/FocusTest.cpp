#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/Console.h"
#include "app/D3DMain.h"
#include "app/FocusMgr.h"
#include "app/WinMain.h"
#include "render/EnvironmentSettings.h"
#include "tests/app/D3DMainFixture.h"
#include "world/Engine.h"

namespace {

std::vector<std::string> g_calls;

// One recorder per slot and half, so the record names the hook that ran.
template <DeviceHook H> void Released() {
    g_calls.push_back(std::to_string(int(H)) + "-");
}
template <DeviceHook H> void Recreated() {
    g_calls.push_back(std::to_string(int(H)) + "+");
}
template <DeviceHook H> void Register() {
    RegisterDeviceHook(H, &Released<H>, &Recreated<H>);
}

std::string Name(DeviceHook h, char half) {
    return std::to_string(int(h)) + half;
}

class FocusTest : public D3DMainFixture {
  protected:
    void SetUp() override {
        D3DMainFixture::SetUp();
        CreateAndStart();
        Register<DeviceHook::MeshMgr>();
        Register<DeviceHook::DepthTargets>();
        Register<DeviceHook::SkyShadowMaps>();
        Register<DeviceHook::PostProcessTargets>();
        Register<DeviceHook::OccluderTargets>();
        Register<DeviceHook::AutomapTarget>();
        Register<DeviceHook::AmbientProbeTargets>();
        Register<DeviceHook::TTFonts>();
        Register<DeviceHook::Effects>();
        g_calls.clear();
    }
};

TEST_F(FocusTest, ForcedLossRunsEveryHookOnceInOrderAndTheNextFrameRenders) {
    ASSERT_TRUE(g_FocusMgr.CheckFocus());
    const uint32_t resets = g_pD3DInterface->ResetCount();
    g_pD3DInterface->SimulateDeviceLoss(1);

    EXPECT_FALSE(g_FocusMgr.CheckFocus()); // lost: LoseFocus
    EXPECT_FALSE(g_FocusMgr.m_bOnFocus);
    EXPECT_EQ(g_calls, std::vector<std::string>{Name(DeviceHook::Effects, '-')});
    EXPECT_EQ(g_pBackBufferSurface != nullptr, true); // kept until the reset

    EXPECT_FALSE(g_FocusMgr.CheckFocus()); // not reset: GainFocus
    EXPECT_TRUE(g_FocusMgr.m_bOnFocus);
    const std::vector<std::string> expected = {
        Name(DeviceHook::Effects, '-'),
        Name(DeviceHook::MeshMgr, '-'),
        Name(DeviceHook::DepthTargets, '-'),
        Name(DeviceHook::SkyShadowMaps, '-'),
        Name(DeviceHook::PostProcessTargets, '-'),
        Name(DeviceHook::OccluderTargets, '-'),
        Name(DeviceHook::AutomapTarget, '-'),
        Name(DeviceHook::AmbientProbeTargets, '-'),
        Name(DeviceHook::TTFonts, '-'),
        Name(DeviceHook::Effects, '+'),
        Name(DeviceHook::MeshMgr, '+'),
        Name(DeviceHook::AutomapTarget, '+'),
        Name(DeviceHook::DepthTargets, '+'),
        Name(DeviceHook::SkyShadowMaps, '+'),
        Name(DeviceHook::PostProcessTargets, '+'),
        Name(DeviceHook::OccluderTargets, '+'),
        Name(DeviceHook::AmbientProbeTargets, '+'),
        Name(DeviceHook::TTFonts, '+'),
    };
    EXPECT_EQ(g_calls, expected);
    EXPECT_EQ(g_pD3DInterface->ResetCount(), resets + 1);
    EXPECT_TRUE(Logged("hr==D3DERR_DEVICENOTRESET, trying to gain focus"));
    EXPECT_TRUE(Logged("Probuje FocusMgr::GainFocus"));
    EXPECT_TRUE(Logged("g_pD3DInterface->Reset(&g_d3dpp) succeeded!"));
    EXPECT_TRUE(Logged("Focus gained"));

    // The frame after the recovery renders: it clears to black.
    ASSERT_TRUE(g_FocusMgr.CheckFocus());
    ASSERT_NE(g_pBackBufferSurface, nullptr);
    g_pD3DInterface->Clear(0, nullptr, gfx::clear::Target, 0xFFFF0000, 1.0f, 0);
    g_D3DMain.RenderFrame();
    EXPECT_EQ(ReadBack()[0], 0xFF000000u);
}

TEST_F(FocusTest, AResetThatFailsPrintsItsLineKeepsEverythingReleasedAndIsRetried) {
    struct Case {
        gfx::Result result;
        const char* line;
    } cases[] = {
        {gfx::Result::InvalidCall, "Invalid call!"},
        {gfx::Result::OutOfVideoMemory, "Out of video memory!"},
        {gfx::Result::OutOfMemory, "Out of memory!"},
        {gfx::Result::DeviceRemoved, "Device removed"},
        {gfx::Result::DeviceLost, "Device lost"},
        {gfx::Result::DriverInternalError, "Driver internal error"},
        {gfx::Result::NotAvailable, nullptr}, // no line of its own
    };
    for (const Case& c : cases) {
        const std::string what = c.line ? c.line : "unlisted result";
        g_pD3DInterface->SimulateDeviceLoss(1);
        EXPECT_FALSE(g_FocusMgr.CheckFocus()) << what;
        g_pD3DInterface->FailNextReset(c.result);
        g_calls.clear();
        EXPECT_FALSE(g_FocusMgr.CheckFocus()) << what;
        EXPECT_FALSE(g_FocusMgr.m_bOnFocus) << what;
        EXPECT_EQ(g_pBackBufferSurface, nullptr) << what;
        EXPECT_EQ(g_calls.size(), 8u) << what; // the releases only
        std::vector<std::string> log = Log();
        ASSERT_GE(log.size(), 2u);
        char newest[EConsole::LINE_LEN];
        g_Console.CopyLine(EConsole::NUM_LINES - 1, newest);
        if (c.line) {
            EXPECT_EQ(log[log.size() - 2], "Reset failed!") << what;
            EXPECT_EQ(log.back(), c.line);
            EXPECT_STREQ(newest, c.line);
        } else {
            EXPECT_EQ(log.back(), "Reset failed!") << what;
            EXPECT_STREQ(newest, "Reset failed!") << what;
        }

        g_calls.clear();
        EXPECT_FALSE(g_FocusMgr.CheckFocus()) << what; // the next pass tries again
        EXPECT_TRUE(g_FocusMgr.m_bOnFocus) << what;
        EXPECT_EQ(g_calls.size(), 17u) << what; // releases again, then every re-create
        EXPECT_NE(g_pBackBufferSurface, nullptr) << what;
        EXPECT_TRUE(g_FocusMgr.CheckFocus()) << what;
    }
}

TEST_F(FocusTest, AHookThatKeepsDeviceMemoryMakesTheResetFail) {
    // An owner that forgets to release: the back buffer stays referenced.
    static gfx::Surface* held = nullptr;
    g_pD3DInterface->GetRenderTarget(0, &held);
    RegisterDeviceHook(
        DeviceHook::DepthTargets, [] {}, [] {});
    g_pD3DInterface->SimulateDeviceLoss(1);
    g_FocusMgr.CheckFocus();
    g_FocusMgr.CheckFocus();
    EXPECT_FALSE(g_FocusMgr.m_bOnFocus);
    EXPECT_EQ(Log().back(), "Invalid call!");
    RegisterDeviceHook(
        DeviceHook::DepthTargets,
        [] {
            held->Release();
            held = nullptr;
        },
        [] {});
    g_FocusMgr.CheckFocus();
    EXPECT_TRUE(g_FocusMgr.m_bOnFocus);
}

TEST_F(FocusTest, DeviceOkWithoutFocusIsResetOnceMore) {
    g_FocusMgr.m_bOnFocus = false;
    const uint32_t resets = g_pD3DInterface->ResetCount();
    EXPECT_FALSE(g_FocusMgr.CheckFocus());
    EXPECT_TRUE(Logged("*** TestCooperativeLevel()==D3D_OK, but m_bOnFocus==false!"));
    EXPECT_EQ(g_pD3DInterface->ResetCount(), resets + 1);
    EXPECT_TRUE(g_FocusMgr.CheckFocus());
}

TEST_F(FocusTest, KeyboardFollowsTheConsoleAcrossALoss) {
    struct Case {
        bool consoleOpen;
        uint8_t keptAtLoss;
        uint8_t afterReset;
    } cases[] = {{false, 0, 1}, {true, 1, 0}};
    for (const Case& c : cases) {
        if (c.consoleOpen) g_Console.Open();
        g_Engine.CreateKeyboard();
        g_pD3DInterface->SimulateDeviceLoss(1);
        g_FocusMgr.CheckFocus();
        EXPECT_EQ(g_Engine.m_bKeyboardCreated, c.keptAtLoss) << c.consoleOpen;
        g_FocusMgr.CheckFocus();
        EXPECT_EQ(g_Engine.m_bKeyboardCreated, c.afterReset) << c.consoleOpen;
        if (c.consoleOpen) g_Console.Close();
    }
}

TEST_F(FocusTest, FogColourZeroIsKeptAcrossTheReset) {
    g_EnvironmentSettings.SetFogColor(0x00336699, 0);
    RegisterDeviceHook(
        DeviceHook::PostProcessTargets, [] { g_EnvironmentSettings.SetFogColor(0, 0); }, nullptr);
    g_pD3DInterface->SimulateDeviceLoss(1);
    g_FocusMgr.CheckFocus();
    g_FocusMgr.CheckFocus();
    uint32_t fog = 0;
    g_EnvironmentSettings.GetFogColor(&fog, 0);
    EXPECT_EQ(fog, 0x00336699u);
}

// Runs last: the first destroy after the start shuts the program down.
TEST_F(FocusTest, DestroyShutsDownOnceAndOnlyAfterTheStart) {
    g_FocusMgr.m_bStarted = false;
    WndProc(win_.get(), window::msg::Destroy, 0, 0);
    EXPECT_FALSE(QuitOnceDone());
    EXPECT_NE(g_pD3DInterface, nullptr);

    g_FocusMgr.m_bStarted = true;
    WndProc(win_.get(), window::msg::Destroy, 0, 0);
    EXPECT_TRUE(QuitOnceDone());
    EXPECT_EQ(g_pD3DInterface, nullptr); // the device went with the shutdown
    window::Message m;
    ASSERT_TRUE(window::PeekMessage(m));
    EXPECT_EQ(m.message, window::msg::Quit);
    WndProc(win_.get(), window::msg::Destroy, 0, 0);
    EXPECT_FALSE(window::PeekMessage(m)); // no second quit
}

} // namespace
