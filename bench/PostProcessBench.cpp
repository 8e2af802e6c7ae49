// The HDR stages of the post-processing (EPostProcess::RenderHDR: the
// scale-down to 32 x 32, the read-back that waits for the GPU, the tone
// mapping into Main) at 1024 x 768 on the program's own device headless
// (llvmpipe), beside one frame of the demo world drawn by the fastest
// pipeline from above the south-west corner at the same size, in one run:
// - "vs_fastest_frame": RenderHDR's time over the world frame's; one
//   full-screen pass, a 32 x 32 one and an 8 KB read-back, good at most 0.5;
// - "allocations": heap allocations per RenderHDR; good 0.
// And the whole chain (below).
#include <benchmark/benchmark.h>

#include "bench/Allocations.h"
#include "bench/DemoWorldOnDevice.h"
#include "platform/gfx/Draw.h"
#include "render/PostProcess.h"

namespace {

// The demo world at 1024 x 768 with post-processing and HDR on, in a copy of
// the data.
class HDRWorld : public bench::DemoWorldOnDevice {
  public:
    HDRWorld() : DemoWorldOnDevice(PostProcessingOn(), 1024, 768) {
        SimpleRender = true;
        UpdateObjects = false;
        UpdateBezier = false;
        m_hdr = Start() && g_PostProcess.IsActive() && g_PostProcess.HDRRunsInThisWorld();
    }
    bool HDRReady() const { return m_hdr; }

    // The HDR stages, then the back buffer as render target again (as the
    // chain's to-screen stage leaves it).
    static void HDR() {
        g_PostProcess.RenderHDR();
        g_pD3DInterface->SetRenderTarget(0, g_pBackBufferSurface);
    }

  private:
    // On before the device is made, which makes the chain's targets with it.
    static const char* PostProcessingOn() {
        OptionMV16 = OptionMV21 = true;
        return "post-process bench";
    }
    bool m_hdr = false;
};

using bench::SecondsPerCall;

void BM_RenderHDR(benchmark::State& state) {
    HDRWorld world;
    if (!world.HDRReady()) {
        state.SkipWithError("no device, no demo world or no HDR chain");
        return;
    }
    // Past the level start's one-time steps.
    for (int i = 0; i < 260; ++i)
        HDRWorld::OverviewFrame();
    // A bright, uneven scene in the HDR target: the world's own picture
    // comes with the chain's scene hooks.
    gfx::Device* d = g_pD3DInterface;
    d->SetRenderTarget(0, g_PostProcess.TargetSurface(EPostProcess::HDR));
    d->ClearFloat(0, nullptr, gfx::clear::Target, math::Vec4{1.5f, 0.75f, 0.25f, 1.0f}, 1.0f, 0);
    const gfx::Rect half{0, 0, 512, 768};
    d->ClearFloat(1, &half, gfx::clear::Target, math::Vec4{0.1f, 0.2f, 0.4f, 1.0f}, 1.0f, 0);
    d->SetRenderTarget(0, g_pBackBufferSurface);
    constexpr int kFrames = 100;
    const double frame = SecondsPerCall(kFrames, HDRWorld::OverviewFrame);
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

// ---- The chain ----------------------------------------------------------------------------------------
//
// The chain alone (RenderPostProcess) at 1024 x 768 over the demo world's
// scene, without and with HDR, depth of field and motion blur, and the full
// frame of the demo world with post-processing on (the full pipeline, the
// depth pass and the chain), each as a ratio to one fastest-pipeline frame
// of the same view, in one run. The last is the cost of the whole renderer
// against its cheapest picture. Allocations per chain and per full frame
// with post-processing on: good 0.

// The demo world at 1024 x 768 with post-processing on and the options of
// one case.
class ChainWorld : public bench::DemoWorldOnDevice {
  public:
    explicit ChainWorld(bool hdr) : DemoWorldOnDevice(Options(hdr), 1024, 768) {
        SimpleRender = true;
        UpdateObjects = false;
        UpdateBezier = false;
        m_ready = Start() && g_PostProcess.IsActive();
    }
    bool ChainReady() const { return m_ready; }

  private:
    static const char* Options(bool hdr) {
        OptionMV16 = true;
        OptionMV21 = hdr;
        return "post-process chain bench";
    }
    bool m_ready = false;
};

void BM_Chain(benchmark::State& state) {
    const bool full = state.range(0) != 0;
    ChainWorld world(full);
    if (!world.ChainReady()) {
        state.SkipWithError("no device, no demo world or no chain");
        return;
    }
    for (int i = 0; i < 260; ++i)
        ChainWorld::OverviewFrame();
    constexpr int kFrames = 60;
    const double fastest = SecondsPerCall(kFrames, ChainWorld::OverviewFrame);
    OptionMV08 = full;
    g_PostProcess.m_bMotionBlurThisFrame = full ? 1 : 0;
    g_PostProcess.m_fMotionBlurTime = 0.0f;
    // Two chains before measuring: the first fills the motion-blur history
    // with a copy, the second draws MotionBlur for the first time. The GL
    // driver builds its program for a draw's state at its first use (about
    // 200 allocations inside llvmpipe); that is start-up, not the chain's
    // per-frame cost.
    for (int i = 0; i < 2; ++i) {
        g_PostProcess.m_bMotionBlurThisFrame = full ? 1 : 0;
        g_PostProcess.RenderPostProcess();
    }
    uint64_t allocations = 0;
    double seconds = 0;
    for (auto _ : state) {
        g_PostProcess.m_bMotionBlurThisFrame = full ? 1 : 0;
        const uint64_t before = g_Allocations.load(std::memory_order_relaxed);
        const auto start = std::chrono::steady_clock::now();
        g_PostProcess.RenderPostProcess();
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        allocations += g_Allocations.load(std::memory_order_relaxed) - before;
    }
    const double chain = seconds / double(state.iterations());
    state.counters["chain_ms"] = chain * 1000.0;
    state.counters["fastest_frame_ms"] = fastest * 1000.0;
    state.counters["vs_fastest_frame"] = chain / fastest;
    state.counters["allocations"] = double(allocations) / double(state.iterations());

    // The whole frame with post-processing on: the full pipeline with the
    // depth pass and the chain, the options of the case.
    SimpleRender = false;
    for (int i = 0; i < 3; ++i) // the driver's programs for the full pipeline
        ChainWorld::OverviewFrame();
    const uint64_t before = g_Allocations.load(std::memory_order_relaxed);
    const double composed = SecondsPerCall(kFrames, ChainWorld::OverviewFrame);
    const uint64_t frameAllocations = g_Allocations.load(std::memory_order_relaxed) - before;
    SimpleRender = true;
    OptionMV08 = false;
    state.counters["full_frame_ms"] = composed * 1000.0;
    state.counters["full_frame_allocations"] = double(frameAllocations) / kFrames;
    state.counters["full_frame_vs_fastest_frame"] = composed / fastest;
}
BENCHMARK(BM_Chain)->Arg(0)->Arg(1)->ArgName("hdr_dof_blur")->Unit(benchmark::kMillisecond)->Iterations(60);

} // namespace
