// One frame of the demo world drawn by the fastest pipeline (SimpleRender)
// from above the south-west corner at 640 x 480, on the program's own device
// headless (llvmpipe): the engine update, the work before the scene with the
// occlusion test, the scene and the present. In one run it reports
// - "vs_empty": the world frame's time over an empty frame's (clear, begin,
//   end, present on the same device); good at most 10;
// - "occluder_share": what the occlusion test adds, (frame with
//   RecalculateOccluders on - frame with it off) / frame with it on; good at
//   most 0.2;
// - "allocations": heap allocations per world frame; good 0.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "actors/Player.h"
#include "app/Console.h"
#include "app/D3DMain.h"
#include "app/FocusMgr.h"
#include "app/Options.h"
#include "app/VideoConfig.h"
#include "bench/Allocations.h"
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

namespace {

namespace fs = std::filesystem;

// The demo world loaded on the program's device in a copy of the data.
class DemoWorld {
  public:
    DemoWorld() {
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        setenv("ZT_UNATTENDED", "1", 1);
        m_saved = os::StartDirectory();
        m_dir = fs::temp_directory_path() / ("zt_first_visible_bench_" + std::to_string(::getpid()));
        fs::remove_all(m_dir);
        fs::copy(fs::path(ZT_SOURCE_DIR) / "data", m_dir, fs::copy_options::recursive);
        os::SetStartDirectory(m_dir.string());
        screenwidth = 640;
        screenheight = 480;
        window::CreateParams p;
        p.title = "first visible bench";
        m_win = window::CreateWindow(p);
        g_pD3D = m_win ? gfx::CreateInterface() : nullptr;
        if (!g_pD3D || !g_D3DMain.Create(m_win.get())) return;
        g_FocusMgr.Start();
        g_Console.SetNumConsoleLines(0);
        g_Engine.m_bInitialized = 1;
        g_Renderer.Init();
        g_EffectMgr.Init();
        g_MeshSocketsMgr.LoadAll();
        SimpleRender = true;
        UpdateObjects = false;
        UpdateBezier = false;
        m_ready = g_Engine.StartWorld("worlds\\test.w");
    }
    ~DemoWorld() {
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

    // One pass of the main loop from the overview pose.
    static void Frame() {
        orientation o;
        const math::Vec3 eye{-450, 300, -450};
        o.SetDirection(math::Vec3Normalize(math::Vec3{0, 60, 0} - eye));
        g_Camera.SetPosition(eye);
        g_Camera.SetOrientation(o);
        g_Engine.EngineFrameTiming();
        g_Engine.EngineFrame();
        g_MainGame.Update();
        g_D3DMain.RenderFrame();
    }
    static void EmptyFrame() {
        gfx::Device* d = g_pD3DInterface;
        d->Clear(0, nullptr, gfx::clear::Target | gfx::clear::ZBuffer | gfx::clear::Stencil, 0, 1.0f, 0);
        d->BeginScene();
        d->EndScene();
        d->Present();
    }

  private:
    std::unique_ptr<window::Window> m_win;
    fs::path m_dir;
    std::string m_saved;
    bool m_ready = false;
};

template <class Step> double SecondsPerFrame(int frames, Step step) {
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < frames; ++i)
        step();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() / frames;
}

void BM_FirstVisibleWorldFrame(benchmark::State& state) {
    DemoWorld world;
    if (!world.Ready()) {
        state.SkipWithError("no device or no demo world");
        return;
    }
    // Past the level start's one-time steps (the path graph, the respawner
    // data, the self-deleting objects, the weather, the subtitle): what
    // follows is the steady frame.
    RecalculateOccluders = true;
    for (int i = 0; i < 260; ++i)
        DemoWorld::Frame();
    constexpr int kFrames = 100;
    const double empty = SecondsPerFrame(kFrames, DemoWorld::EmptyFrame);
    RecalculateOccluders = false;
    const double withoutOccluder = SecondsPerFrame(kFrames, DemoWorld::Frame);
    RecalculateOccluders = true;
    DemoWorld::Frame();
    uint64_t allocations = 0;
    double seconds = 0;
    for (auto _ : state) {
        const uint64_t before = g_Allocations.load(std::memory_order_relaxed);
        const auto start = std::chrono::steady_clock::now();
        DemoWorld::Frame();
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        allocations += g_Allocations.load(std::memory_order_relaxed) - before;
    }
    const double withOccluder = seconds / double(state.iterations());
    state.counters["vs_empty"] = withOccluder / empty;
    state.counters["occluder_share"] = (withOccluder - withoutOccluder) / withOccluder;
    state.counters["allocations"] =
        benchmark::Counter(double(allocations), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_FirstVisibleWorldFrame)->UseRealTime()->Unit(benchmark::kMillisecond);

} // namespace
