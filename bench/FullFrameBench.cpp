// One frame of the demo world drawn by the full pipeline (the base pass's
// lit passes with both sky maps) against one frame of the fastest pipeline
// (SimpleRender) from the same place, on the program's own device headless
// (llvmpipe), in one run:
// - "full_vs_fastest": the full frame's time over the fastest frame's;
// - "allocations": heap allocations per full frame past the level start;
//   good 0.
// The passes of the full pipeline land here as they come.
#include <benchmark/benchmark.h>

#include <chrono>

#include "bench/Allocations.h"
#include "bench/DemoWorldOnDevice.h"

namespace {

class FullWorld : public bench::DemoWorldOnDevice {
  public:
    FullWorld() : DemoWorldOnDevice("full frame bench", 640, 480) {
        UpdateObjects = false;
        UpdateBezier = false;
        DrawShadows = DrawAnimatedShadows = true;
        UsePS20 = false;
        Start();
    }
};

using bench::SecondsPerCall;

void BM_FullFrame(benchmark::State& state) {
    FullWorld world;
    if (!world.Ready()) {
        state.SkipWithError("no device or no demo world");
        return;
    }
    // Past the level start's one-time steps.
    SimpleRender = true;
    for (int i = 0; i < 260; ++i)
        FullWorld::OverviewFrame();
    constexpr int kCalls = 30;
    const double fastest = SecondsPerCall(kCalls, FullWorld::OverviewFrame);
    SimpleRender = false;
    for (int i = 0; i < 10; ++i)
        FullWorld::OverviewFrame();
    double seconds = 0;
    uint64_t allocations = 0;
    for (auto _ : state) {
        const uint64_t before = g_Allocations.load(std::memory_order_relaxed);
        const auto start = std::chrono::steady_clock::now();
        FullWorld::OverviewFrame();
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        allocations += g_Allocations.load(std::memory_order_relaxed) - before;
    }
    const double n = double(state.iterations());
    state.counters["full_vs_fastest"] = seconds / n / fastest;
    state.counters["fastest_ms"] = fastest * 1000.0;
    state.counters["allocations"] = benchmark::Counter(double(allocations), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_FullFrame)->UseRealTime()->Unit(benchmark::kMillisecond);

} // namespace
