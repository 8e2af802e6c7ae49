// The demo world run in this process on the program's own device (made by
// D3DMain at a small size, headless), in a copy of the data directory: the
// engine's textures, effects and sockets are loaded as at engine start, and
// each frame is one pass of the main loop on a hand-stepped clock, drawn by
// the real frame driver.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "actors/player/Player.h"
#include "app/Console.h"
#include "app/D3DMain.h"
#include "app/FocusMgr.h"
#include "app/Mouse.h"
#include "app/Options.h"
#include "app/Timer.h"
#include "app/VideoConfig.h"
#include "game/MainGame.h"
#include "platform/math/Math.h"
#include "platform/os/Os.h"
#include "platform/window/Window.h"
#include "render/EffectMgr.h"
#include "render/MeshMgr.h"
#include "render/MeshSocketsMgr.h"
#include "render/Renderer.h"
#include "tests/integration/StepClock.h"
#include "world/Camera.h"
#include "world/Engine.h"
#include "world/EngineObject.h"
#include "world/ObjectRecord.h"

class DeviceWorldRun : public ::testing::Test {
  protected:
    static constexpr uint32_t kW = 320, kH = 240;

    void SetUp() override {
        namespace fs = std::filesystem;
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        setenv("ZT_UNATTENDED", "1", 1);
        saved_ = os::StartDirectory();
        dir_ = fs::temp_directory_path() / ("zt_device_run_" + std::to_string(::getpid()));
        fs::remove_all(dir_);
        fs::copy(fs::path(ZT_SOURCE_DIR) / "data", dir_, fs::copy_options::recursive);
        os::SetStartDirectory(dir_.string());
        options_ = {screenwidth,  screenheight,         SimpleRender,      UpdateObjects,
                    UpdateBezier, RecalculateOccluders, PrintPolygonCount, mucha};
        // The demo world has no start point: the player flies where the
        // tests put him.
        mucha = true;
        screenwidth = kW;
        screenheight = kH;
        window::CreateParams p;
        p.title = "device world run";
        win_ = window::CreateWindow(p);
        ASSERT_NE(win_, nullptr) << window::LastError();
        g_pD3D = gfx::CreateInterface();
        ASSERT_NE(g_pD3D, nullptr);
        ASSERT_TRUE(g_D3DMain.Create(win_.get()));
        g_FocusMgr.Start();
        stepclock::Install();
        g_Engine.m_fLastTime = DXUtilTimer(TIMER_GETABSOLUTETIME);
        g_Engine.m_bInitialized = 1;
        g_Player.m_vPosition = {};
        // The console's lines stay off the pictures.
        consoleLines_ = g_Console.NumConsoleLines();
        g_Console.SetNumConsoleLines(0);
        g_Renderer.Init();
        g_EffectMgr.Init();
        ASSERT_GT(g_MeshSocketsMgr.LoadAll(), 0u) << "the demo data's socket files";
    }

    void TearDown() override {
        g_Renderer.StopPassRecording();
        g_Engine.StartWorld("*");
        g_Engine.m_bInitialized = 0;
        g_EffectMgr.Destroy();
        g_MeshMgr.ReleaseAll();
        g_Renderer.ReleaseTextures();
        g_D3DMain.Release();
        if (g_pD3D) g_pD3D->Release();
        g_pD3D = nullptr;
        g_FocusMgr.m_bOnFocus = false;
        g_FocusMgr.m_bStarted = false;
        DXUtilTimerSetClock(nullptr);
        win_.reset();
        window::ClearMessageQueue();
        std::tie(screenwidth, screenheight, SimpleRender, UpdateObjects, UpdateBezier, RecalculateOccluders,
                 PrintPolygonCount, mucha) = options_;
        g_Console.SetNumConsoleLines(int32_t(consoleLines_));
        os::SetStartDirectory(saved_);
        std::filesystem::remove_all(dir_);
    }

    // The player, flying, at `eye` looking at `at`: his position and the
    // mouse's yaw and pitch; he places the camera there (at once, and each
    // frame from level frame 151). The objects' visibility is decided again
    // in the next frame.
    static void Place(const math::Vec3& eye, const math::Vec3& at) {
        const math::Vec3 d = math::Vec3Normalize(at - eye);
        g_Player.m_vPosition = eye;
        g_Mouse.m_State.yaw = std::atan2(d.x, d.z);
        g_Mouse.m_State.pitch = -std::asin(std::clamp(d.y, -1.0f, 1.0f));
        g_Player.PlaceView();
        g_Player.PlaceCameraAtPlayer();
        g_Camera.UpdateViewMatrix();
        g_Engine.m_bCameraPlaced = 1;
    }

    // One pass of the main loop: the engine frame, the game's update and
    // the frame driver (work before the scene, clear, scene, present).
    static void Frame() {
        stepclock::StepFrame();
        EXPECT_TRUE(g_Engine.EngineFrameTiming());
        EXPECT_TRUE(g_Engine.EngineFrame());
        g_MainGame.Update();
        g_D3DMain.RenderFrame();
    }

    // Frames from the pose until the world has been drawn there twice.
    static void RunAt(const math::Vec3& eye, const math::Vec3& at, int frames = 3) {
        for (int i = 0; i < frames; ++i) {
            Place(eye, at);
            Frame();
        }
    }

    static std::vector<uint32_t> ReadBack() {
        std::vector<uint32_t> px(size_t(kW) * kH, 0xDEADBEEF);
        EXPECT_EQ(g_pD3DInterface->ReadPixels(g_pBackBufferSurface, px.data(), kW), gfx::Result::Ok);
        return px;
    }

    // The pixel a world point projects to (false when behind the eye or off
    // the screen).
    static bool Project(const math::Vec3& p, uint32_t* x, uint32_t* y) {
        const math::Matrix vp = g_Camera.View() * g_Camera.Projection();
        const float cx = p.x * vp.m[0][0] + p.y * vp.m[1][0] + p.z * vp.m[2][0] + vp.m[3][0];
        const float cy = p.x * vp.m[0][1] + p.y * vp.m[1][1] + p.z * vp.m[2][1] + vp.m[3][1];
        const float cw = p.x * vp.m[0][3] + p.y * vp.m[1][3] + p.z * vp.m[2][3] + vp.m[3][3];
        if (cw <= 0.0f) return false;
        const float sx = (cx / cw + 1.0f) * 0.5f * kW, sy = (1.0f - cy / cw) * 0.5f * kH;
        if (sx < 0 || sy < 0 || sx >= kW || sy >= kH) return false;
        *x = uint32_t(sx);
        *y = uint32_t(sy);
        return true;
    }

    static ObjectRecord* Find(const char* name) {
        for (int slot = 0; slot < EEngine::MAX_OBJECTS; ++slot) {
            ObjectRecord* h = g_Engine.Object(slot);
            if (h->bUsed && std::string(h->szName) == name) return h;
        }
        return nullptr;
    }

    std::unique_ptr<window::Window> win_;
    std::filesystem::path dir_;
    std::string saved_;
    std::tuple<uint32_t, uint32_t, bool, bool, bool, bool, bool, bool> options_;
    uint32_t consoleLines_ = 0;
};
