// The engine's update of one frame (EEngine::EngineFrame: the objects'
// behaviour with the movers on their paths, the renderer's and the effects'
// updates, the frame's deletions) on the demo world as the game loads it,
// on the program's own device headless (llvmpipe), past the level start's
// one-time steps. Each frame runs whole, the game's update and the drawing
// included, and only the engine's update is timed; "objects" is the number
// of objects in the world. The behaviour layer alone over 19 and 3,000
// objects is FullWorld/UpdateBehaviour.
#include <benchmark/benchmark.h>
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
#include "platform/os/Os.h"
#include "platform/window/Window.h"
#include "render/EffectMgr.h"
#include "render/MeshMgr.h"
#include "render/MeshSocketsMgr.h"
#include "render/Renderer.h"
#include "world/Engine.h"

namespace {

namespace fs = std::filesystem;

// The demo world started in a copy of the data on the program's device.
class DemoWorldRunning {
  public:
    DemoWorldRunning() {
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        setenv("ZT_UNATTENDED", "1", 1);
        m_saved = os::StartDirectory();
        m_dir = fs::temp_directory_path() / ("zt_engine_update_bench_" + std::to_string(::getpid()));
        fs::remove_all(m_dir);
        fs::copy(fs::path(ZT_SOURCE_DIR) / "data", m_dir, fs::copy_options::recursive);
        os::SetStartDirectory(m_dir.string());
        screenwidth = 640;
        screenheight = 480;
        window::CreateParams p;
        p.title = "engine update bench";
        m_win = window::CreateWindow(p);
        g_pD3D = m_win ? gfx::CreateInterface() : nullptr;
        if (!g_pD3D || !g_D3DMain.Create(m_win.get())) return;
        g_FocusMgr.Start();
        g_Console.SetNumConsoleLines(0);
        g_Engine.m_bInitialized = 1;
        g_Renderer.Init();
        g_EffectMgr.Init();
        g_MeshSocketsMgr.LoadAll();
        UpdateObjects = true;
        UpdateBezier = true;
        m_ready = g_Engine.StartWorld("worlds\\test.w");
    }
    ~DemoWorldRunning() {
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
        fs::remove_all(m_dir);
    }
    bool Ready() const { return m_ready; }

    // One pass of the main loop; the seconds the engine's update took.
    static double Frame() {
        g_Engine.EngineFrameTiming();
        const auto start = std::chrono::steady_clock::now();
        g_Engine.EngineFrame();
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        g_MainGame.Update();
        g_D3DMain.RenderFrame();
        return seconds;
    }

  private:
    std::unique_ptr<window::Window> m_win;
    fs::path m_dir;
    std::string m_saved;
    bool m_ready = false;
};

void BM_DemoWorldEngineUpdate(benchmark::State& state) {
    DemoWorldRunning world;
    if (!world.Ready()) {
        state.SkipWithError("no device or no demo world");
        return;
    }
    for (int i = 0; i < 260; ++i)
        DemoWorldRunning::Frame();
    double seconds = 0;
    for (auto _ : state)
        seconds += DemoWorldRunning::Frame();
    state.counters["engine_update_us"] =
        benchmark::Counter(seconds * 1e6, benchmark::Counter::kAvgIterations);
    state.counters["objects"] = double(g_Engine.NumObjects());
}
BENCHMARK(BM_DemoWorldEngineUpdate)->Iterations(600)->UseRealTime()->Unit(benchmark::kMillisecond);

} // namespace
