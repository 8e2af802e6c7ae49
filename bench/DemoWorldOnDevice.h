// The demo world on the program's own device headless (llvmpipe), in a copy
// of the data directory, for the benchmarks that time whole frames or the
// renderer's passes: the engine's textures, effects and sockets loaded as at
// engine start, each frame one pass of the main loop. Where no window or
// device can be made, or the world does not start, Ready() is false and the
// benchmark skips.
#pragma once

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "app/Console.h"
#include "app/D3DMain.h"
#include "app/FocusMgr.h"
#include "app/Options.h"
#include "app/VideoConfig.h"
#include "game/MainGame.h"
#include "platform/math/Math.h"
#include "platform/os/Os.h"
#include "platform/window/Window.h"
#include "render/EffectMgr.h"
#include "render/MeshMgr.h"
#include "render/MeshSocketsMgr.h"
#include "render/Renderer.h"
#include "world/Camera.h"
#include "world/Engine.h"

namespace bench {

class DemoWorldOnDevice {
  public:
    // Over the room from its south-west corner: most of the world in view.
    static constexpr math::Vec3 kOverviewEye{-450, 300, -450}, kOverviewAt{0, 60, 0};

    // `name` names the window and the data copy. Set the options that the
    // device reads before constructing, those that the world start reads
    // before Start().
    DemoWorldOnDevice(const std::string& name, unsigned width, unsigned height) {
        namespace fs = std::filesystem;
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        setenv("ZT_UNATTENDED", "1", 1);
        m_saved = os::StartDirectory();
        std::string tag = name;
        for (char& c : tag)
            if (c == ' ' || c == '-') c = '_';
        m_dir = fs::temp_directory_path() / ("zt_" + tag + "_" + std::to_string(::getpid()));
        fs::remove_all(m_dir);
        fs::copy(fs::path(ZT_SOURCE_DIR) / "data", m_dir, fs::copy_options::recursive);
        os::SetStartDirectory(m_dir.string());
        screenwidth = width;
        screenheight = height;
        window::CreateParams p;
        p.title = name;
        m_win = window::CreateWindow(p);
        g_pD3D = m_win ? gfx::CreateInterface() : nullptr;
        if (!g_pD3D || !g_D3DMain.Create(m_win.get())) return;
        g_FocusMgr.Start();
        g_Console.SetNumConsoleLines(0);
        g_Engine.m_bInitialized = 1;
        g_Renderer.Init();
        g_EffectMgr.Init();
        g_MeshSocketsMgr.LoadAll();
        m_device = true;
    }
    virtual ~DemoWorldOnDevice() {
        g_Engine.StartWorld("*");
        g_Engine.m_bInitialized = 0;
        g_EffectMgr.Destroy();
        g_MeshMgr.ReleaseAll();
        g_Renderer.ReleaseTextures();
        g_D3DMain.Release();
        if (g_pD3D) g_pD3D->Release();
        g_pD3D = nullptr;
        g_FocusMgr.m_bOnFocus = false;
        m_win.reset();
        os::SetStartDirectory(m_saved);
        std::filesystem::remove_all(m_dir);
    }
    DemoWorldOnDevice(const DemoWorldOnDevice&) = delete;
    DemoWorldOnDevice& operator=(const DemoWorldOnDevice&) = delete;

    // Starts the demo world; false without a device.
    bool Start() {
        m_ready = m_device && g_Engine.StartWorld("worlds\\test.w");
        return m_ready;
    }
    bool Ready() const { return m_ready; }

    // The camera at `eye` looking at `at`.
    static void Place(const math::Vec3& eye, const math::Vec3& at) {
        orientation o;
        o.SetDirection(math::Vec3Normalize(at - eye));
        g_Camera.SetPosition(eye);
        g_Camera.SetOrientation(o);
    }
    // One pass of the main loop: the engine frame, the game's update and the
    // frame driver.
    static void Frame() {
        g_Engine.EngineFrameTiming();
        g_Engine.EngineFrame();
        g_MainGame.Update();
        g_D3DMain.RenderFrame();
    }
    static void FrameAt(const math::Vec3& eye, const math::Vec3& at) {
        Place(eye, at);
        Frame();
    }
    static void OverviewFrame() { FrameAt(kOverviewEye, kOverviewAt); }

  private:
    std::unique_ptr<window::Window> m_win;
    std::filesystem::path m_dir;
    std::string m_saved;
    bool m_device = false;
    bool m_ready = false;
};

// Seconds per call of `step`, over `calls` calls.
template <class Step> double SecondsPerCall(int calls, Step step) {
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < calls; ++i)
        step();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() / calls;
}

} // namespace bench
