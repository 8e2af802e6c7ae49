// A scratch data directory, a hidden window and the graphics interface, with
// the program's device made through D3DMain::Create at a small size.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "app/D3DMain.h"
#include "app/FocusMgr.h"
#include "app/Options.h"
#include "app/VideoConfig.h"
#include "platform/window/Window.h"
#include "tests/app/ScratchDir.h"

class D3DMainFixture : public ScratchDirTest {
  protected:
    static constexpr uint32_t kW = 64, kH = 48;

    static void SetUpTestSuite() {
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        setenv("ZT_UNATTENDED", "1", 1); // no logo pause, message boxes to stderr
    }

    void SetUp() override {
        ScratchDirTest::SetUp();
        std::filesystem::create_directories(root_ / "save");
        savedW_ = screenwidth;
        savedH_ = screenheight;
        screenwidth = kW;
        screenheight = kH;
        for (uint32_t i = 0; i < uint32_t(DeviceHook::Count); ++i) {
            GetDeviceHook(DeviceHook(i), &savedHooks_[i].first, &savedHooks_[i].second);
        }
        window::CreateParams p;
        p.title = "d3dmain test";
        win_ = window::CreateWindow(p);
        ASSERT_NE(win_, nullptr) << window::LastError();
        g_pD3D = gfx::CreateInterface();
        ASSERT_NE(g_pD3D, nullptr);
    }

    void TearDown() override {
        g_D3DMain.Release();
        if (g_pD3D) g_pD3D->Release();
        g_pD3D = nullptr;
        g_FocusMgr.m_bOnFocus = false;
        g_FocusMgr.m_bStarted = false;
        for (uint32_t i = 0; i < uint32_t(DeviceHook::Count); ++i) {
            RegisterDeviceHook(DeviceHook(i), savedHooks_[i].first, savedHooks_[i].second);
        }
        win_.reset();
        screenwidth = savedW_;
        screenheight = savedH_;
        window::ClearMessageQueue();
        ScratchDirTest::TearDown();
    }

    // Creates the device and opens the focus, as start-up does.
    void CreateAndStart() {
        ASSERT_TRUE(g_D3DMain.Create(win_.get()));
        g_FocusMgr.Start();
    }

    std::vector<uint32_t> ReadBack() {
        std::vector<uint32_t> px(kW * kH, 0xDEADBEEF);
        EXPECT_EQ(g_pD3DInterface->ReadPixels(g_pBackBufferSurface, px.data(), kW), gfx::Result::Ok);
        return px;
    }

    // The console log of this test, one entry per line.
    std::vector<std::string> Log() const {
        std::vector<std::string> lines;
        std::string all = ReadFile("!console.txt"), cur;
        for (char c : all) {
            if (c == '\n') {
                if (!cur.empty() && cur.back() == '\r') cur.pop_back();
                lines.push_back(cur);
                cur.clear();
            } else {
                cur += c;
            }
        }
        return lines;
    }
    bool Logged(const std::string& line) const {
        for (const std::string& l : Log()) {
            if (l == line) return true;
        }
        return false;
    }

    std::unique_ptr<window::Window> win_;
    uint32_t savedW_ = 0, savedH_ = 0;
    std::pair<DeviceHookFn, DeviceHookFn> savedHooks_[uint32_t(DeviceHook::Count)];
};
