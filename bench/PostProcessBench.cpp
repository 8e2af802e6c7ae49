// The HDR stages of the post-processing (EPostProcess::RenderHDR: the
// scale-down to 32 x 32, the read-back that waits for the GPU, the tone
// mapping into Main) at 1024 x 768 on the program's own device headless
// (llvmpipe), beside one frame of the demo world drawn by the fastest
// pipeline from above the south-west corner at the same size, in one run:
// - "vs_fastest_frame": RenderHDR's time over the world frame's; one
//   full-screen pass, a 32 x 32 one and an 8 KB read-back, good at most 0.5;
// - "allocations": heap allocations per RenderHDR; good 0.
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
#include "platform/gfx/Draw.h"
#include "platform/math/Math.h"
#include "platform/os/Os.h"
#include "platform/window/Window.h"
#include "render/EffectMgr.h"
#include "render/MeshMgr.h"
#include "render/MeshSocketsMgr.h"
#include "render/PostProcess.h"
#include "render/Renderer.h"
#include "world/Camera.h"
#include "world/Engine.h"

namespace {

namespace fs = std::filesystem;

// The demo world at 1024 x 768 with post-processing and HDR on, in a copy of
// the data.
class HDRWorld {
  public:
    HDRWorld() {
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        setenv("ZT_UNATTENDED", "1", 1);
        m_saved = os::StartDirectory();
        m_dir = fs::temp_directory_path() / ("zt_post_process_bench_" + std::to_string(::getpid()));
        fs::remove_all(m_dir);
        fs::copy(fs::path(ZT_SOURCE_DIR) / "data", m_dir, fs::copy_options::recursive);
        os::SetStartDirectory(m_dir.string());
        screenwidth = 1024;
        screenheight = 768;
        OptionMV16 = OptionMV21 = true;
        window::CreateParams p;
        p.title = "post-process bench";
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
        m_ready = g_Engine.StartWorld("worlds\\test.w") && g_PostProcess.IsActive() &&
                  g_PostProcess.HDRRunsInThisWorld();
    }
    ~HDRWorld() {
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
    // The HDR stages, then the back buffer as render target again (as the
    // chain's to-screen stage leaves it).
    static void HDR() {
        g_PostProcess.RenderHDR();
        g_pD3DInterface->SetRenderTarget(0, g_pBackBufferSurface);
    }

  private:
    std::unique_ptr<window::Window> m_win;
    fs::path m_dir;
    std::string m_saved;
    bool m_ready = false;
};

template <class Step> double SecondsPerCall(int calls, Step step) {
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < calls; ++i)
        step();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() / calls;
}

void BM_RenderHDR(benchmark::State& state) {
    HDRWorld world;
    if (!world.Ready()) {
        state.SkipWithError("no device, no demo world or no HDR chain");
        return;
    }
    // Past the level start's one-time steps.
    for (int i = 0; i < 260; ++i)
        HDRWorld::Frame();
    // A bright, uneven scene in the HDR target: the world's own picture
    // comes with the chain's scene hooks.
    gfx::Device* d = g_pD3DInterface;
    d->SetRenderTarget(0, g_PostProcess.TargetSurface(EPostProcess::HDR));
    d->ClearFloat(0, nullptr, gfx::clear::Target, math::Vec4{1.5f, 0.75f, 0.25f, 1.0f}, 1.0f, 0);
    const gfx::Rect half{0, 0, 512, 768};
    d->ClearFloat(1, &half, gfx::clear::Target, math::Vec4{0.1f, 0.2f, 0.4f, 1.0f}, 1.0f, 0);
    d->SetRenderTarget(0, g_pBackBufferSurface);
    constexpr int kFrames = 100;
    const double frame = SecondsPerCall(kFrames, HDRWorld::Frame);
    HDRWorld::HDR();
    uint64_t allocations = 0;
    double seconds = 0;
    for (auto _ : state) {
        const uint64_t before = g_Allocations.load(std::memory_order_relaxed);
        const auto start = std::chrono::steady_clock::now();
        HDRWorld::HDR();
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        allocations += g_Allocations.load(std::memory_order_relaxed) - before;
    }
    const double hdr = seconds / double(state.iterations());
    state.counters["hdr_ms"] = hdr * 1000.0;
    state.counters["frame_ms"] = frame * 1000.0;
    state.counters["vs_fastest_frame"] = hdr / frame;
    state.counters["allocations"] = double(allocations) / double(state.iterations());
    state.counters["measured_luminance"] = g_PostProcess.m_fMeasuredLuminance;
}
BENCHMARK(BM_RenderHDR)->Unit(benchmark::kMillisecond)->Iterations(200);

} // namespace
