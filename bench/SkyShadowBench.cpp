// The sky shadow maps of the demo world on the program's own device headless
// (llvmpipe), from the room's south side: map 0 drawn in full (the whole
// static world) and map 1 drawn once (the moving meshes near the camera), at
// texture sizes 2048, 1024 and 512, each reported as a ratio to one frame of
// the fastest pipeline (SimpleRender) from the same place:
// - "map0_vs_fastest", "map1_vs_fastest": a map's draw over that frame;
// - "allocations": heap allocations per draw of both maps; good 0.
// A draw is timed until its texels can be read: the map is read back into
// system memory after it, and a read-back alone is subtracted.
#include <benchmark/benchmark.h>

#include "bench/Allocations.h"
#include "bench/DemoWorldOnDevice.h"
#include "render/SkyShadowMap.h"

namespace {

const math::Vec3 kEye{0, 180, -450}, kAt{0, 0, -100};

// The demo world with the sky maps drawn.
class ShadowWorld : public bench::DemoWorldOnDevice {
  public:
    ShadowWorld() : DemoWorldOnDevice("sky shadow bench", 640, 480) {
        SimpleRender = true;
        UpdateObjects = false;
        UpdateBezier = false;
        DrawShadows = DrawAnimatedShadows = RecalculateSkyShadow = true;
        Start();
    }
    ~ShadowWorld() override {
        for (gfx::Surface*& s : m_memory)
            if (s) s->Release();
    }

    // One pass of the main loop from the south of the room.
    static void Frame() { FrameAt(kEye, kAt); }

    // Both maps made at `size` (map 0 by its projector, map 1 by the shadow
    // quality) and built where the camera stands, with a system-memory
    // surface of each map's size for the read-backs.
    bool Resize(uint32_t size) {
        ShadowMapLevel = size >= 2048 ? 0 : size >= 1024 ? 1 : 2;
        int width = 0, depth = 0;
        float bias = 0;
        g_SkyShadowMap.GetProjector(0, nullptr, &width, &depth, &bias);
        g_SkyShadowMap.SetProjector(0, int(size), width, depth, bias);
        g_SkyShadowMap.Reset();
        g_SkyShadowMap.Update();
        for (int i = 0; i < 2; ++i) {
            if (m_memory[i]) m_memory[i]->Release();
            m_memory[i] = nullptr;
            if (!g_SkyShadowMap.HasTargets(i) || g_SkyShadowMap.m_Maps[i].dwSize != size) return false;
            g_pD3DInterface->CreateOffscreenPlainSurface(size, size, gfx::Format::R32F, gfx::Pool::SystemMem,
                                                         &m_memory[i]);
        }
        return m_memory[0] && m_memory[1];
    }
    // Waits for the map's drawing by reading it back.
    void ReadBack(int map) {
        g_pD3DInterface->GetRenderTargetData(g_SkyShadowMap.m_Maps[map].pSurface, m_memory[map]);
    }
    void Draw(int map) {
        g_SkyShadowMap.m_Maps[map].bUpToDate = 0;
        g_Renderer.RenderSkyDepth(map);
        ReadBack(map);
    }

  private:
    gfx::Surface* m_memory[2] = {};
};

using bench::SecondsPerCall;

void BM_SkyShadowMaps(benchmark::State& state) {
    const uint32_t size = uint32_t(state.range(0));
    ShadowWorld world;
    if (!world.Ready()) {
        state.SkipWithError("no device or no demo world");
        return;
    }
    // Past the level start's one-time steps: the steady fastest frame.
    for (int i = 0; i < 260; ++i)
        ShadowWorld::Frame();
    constexpr int kCalls = 30;
    const double fastest = SecondsPerCall(kCalls, ShadowWorld::Frame);
    if (!world.Resize(size)) {
        state.SkipWithError("the maps were not made at the size asked");
        return;
    }
    world.Draw(0);
    world.Draw(1);
    const double readBack[2] = {SecondsPerCall(kCalls, [&] { world.ReadBack(0); }),
                                SecondsPerCall(kCalls, [&] { world.ReadBack(1); })};
    double seconds[2] = {};
    uint64_t allocations = 0;
    for (auto _ : state) {
        const uint64_t before = g_Allocations.load(std::memory_order_relaxed);
        for (int map = 0; map < 2; ++map) {
            const auto start = std::chrono::steady_clock::now();
            world.Draw(map);
            seconds[map] += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        }
        allocations += g_Allocations.load(std::memory_order_relaxed) - before;
    }
    const double n = double(state.iterations());
    state.counters["map0_vs_fastest"] = (seconds[0] / n - readBack[0]) / fastest;
    state.counters["map1_vs_fastest"] = (seconds[1] / n - readBack[1]) / fastest;
    state.counters["fastest_ms"] = fastest * 1000.0;
    state.counters["allocations"] =
        benchmark::Counter(double(allocations), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_SkyShadowMaps)->Arg(2048)->Arg(1024)->Arg(512)->UseRealTime()->Unit(benchmark::kMillisecond);

} // namespace
