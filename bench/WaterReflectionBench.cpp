// The water reflection of the demo world on the program's own device
// headless (llvmpipe), looking over the pool at its crate: one
// EDepthRender::RenderWaterReflection (the sky, the mirrored static and
// skinned meshes into the 512-texel water target) reported as a ratio to one
// frame of the fastest pipeline (SimpleRender) from the same place:
// - "reflection_vs_fastest": the reflection over that frame;
// - "allocations": heap allocations per reflection; good 0.
// A reflection is timed until its texels can be read: the target is read
// back into system memory after it, and a read-back alone is subtracted.
// BM_PoolFrame: one whole frame of the full pipeline from the same place
// (the reflection, the water pass with it and the lava), as a ratio to the
// fastest frame, with its allocations (good 0).
#include <benchmark/benchmark.h>

#include "app/VideoConfig.h"
#include "bench/Allocations.h"
#include "bench/DemoWorldOnDevice.h"
#include "platform/gfx/Draw.h"
#include "render/DepthRender.h"

namespace {

const math::Vec3 kEye{760, 90, -620}, kAt{860, -30, -330};

class PoolWorld : public bench::DemoWorldOnDevice {
  public:
    PoolWorld() : DemoWorldOnDevice("water reflection bench", 640, 480) {
        SimpleRender = true;
        UpdateObjects = false;
        UpdateBezier = false;
        WaterTextureLevel = 0;
        Start();
    }
    ~PoolWorld() override {
        if (m_memory) m_memory->Release();
        if (m_level) m_level->Release();
    }

    static void Frame() { FrameAt(kEye, kAt); }

    bool MakeReadBack() {
        gfx::Texture* target = g_DepthRender.WaterTexture();
        if (!target || target->GetSurfaceLevel(0, &m_level) != gfx::Result::Ok || !m_level) return false;
        g_pD3DInterface->CreateOffscreenPlainSurface(m_level->Width(), m_level->Height(),
                                                     m_level->GetFormat(), gfx::Pool::SystemMem, &m_memory);
        return m_memory != nullptr;
    }
    void ReadBack() { g_pD3DInterface->GetRenderTargetData(m_level, m_memory); }
    void Draw() {
        g_DepthRender.RenderWaterReflection();
        ReadBack();
    }

  private:
    gfx::Surface* m_level = nullptr;
    gfx::Surface* m_memory = nullptr;
};

using bench::SecondsPerCall;

void BM_WaterReflection(benchmark::State& state) {
    PoolWorld world;
    if (!world.Ready()) {
        state.SkipWithError("no device or no demo world");
        return;
    }
    // Past the level start's one-time steps: the steady fastest frame.
    for (int i = 0; i < 260; ++i)
        PoolWorld::Frame();
    constexpr int kCalls = 30;
    const double fastest = SecondsPerCall(kCalls, PoolWorld::Frame);
    if (!world.MakeReadBack()) {
        state.SkipWithError("no water target");
        return;
    }
    // Two warm-up reflections: the GL driver builds its programs for the
    // reflection's draws (a few hundred allocations inside llvmpipe, once),
    // which are not the reflection's own.
    world.Draw();
    world.Draw();
    const double readBack = SecondsPerCall(kCalls, [&] { world.ReadBack(); });
    double seconds = 0;
    uint64_t allocations = 0;
    for (auto _ : state) {
        const uint64_t before = g_Allocations.load(std::memory_order_relaxed);
        const auto start = std::chrono::steady_clock::now();
        world.Draw();
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        allocations += g_Allocations.load(std::memory_order_relaxed) - before;
    }
    const double n = double(state.iterations());
    state.counters["reflection_vs_fastest"] = (seconds / n - readBack) / fastest;
    state.counters["fastest_ms"] = fastest * 1000.0;
    state.counters["allocations"] =
        benchmark::Counter(double(allocations), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_WaterReflection)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_PoolFrame(benchmark::State& state) {
    PoolWorld world;
    if (!world.Ready()) {
        state.SkipWithError("no device or no demo world");
        return;
    }
    for (int i = 0; i < 260; ++i)
        PoolWorld::Frame();
    constexpr int kCalls = 30;
    const double fastest = SecondsPerCall(kCalls, PoolWorld::Frame);
    SimpleRender = false;
    OptionMV05 = true;
    // Warm-up frames: the GL driver builds the full pipeline's programs.
    for (int i = 0; i < 10; ++i)
        PoolWorld::Frame();
    double seconds = 0;
    uint64_t allocations = 0;
    for (auto _ : state) {
        const uint64_t before = g_Allocations.load(std::memory_order_relaxed);
        const auto start = std::chrono::steady_clock::now();
        PoolWorld::Frame();
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        allocations += g_Allocations.load(std::memory_order_relaxed) - before;
    }
    state.counters["frame_vs_fastest"] = seconds / double(state.iterations()) / fastest;
    state.counters["allocations"] =
        benchmark::Counter(double(allocations), benchmark::Counter::kAvgIterations);
    SimpleRender = true;
}
BENCHMARK(BM_PoolFrame)->UseRealTime()->Unit(benchmark::kMillisecond);

} // namespace
