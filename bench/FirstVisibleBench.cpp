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
// The three kinds of frame take turns in every iteration, so that a change
// of the machine's load meets them alike; the time reported is the world
// frame's with the occlusion test.
#include <benchmark/benchmark.h>

#include "bench/Allocations.h"
#include "bench/DemoWorldOnDevice.h"

namespace {

using bench::DemoWorldOnDevice;
using bench::SecondsPerCall;

void EmptyFrame() {
    gfx::Device* d = g_pD3DInterface;
    d->Clear(0, nullptr, gfx::clear::Target | gfx::clear::ZBuffer | gfx::clear::Stencil, 0, 1.0f, 0);
    d->BeginScene();
    d->EndScene();
    d->Present();
}

void BM_FirstVisibleWorldFrame(benchmark::State& state) {
    DemoWorldOnDevice world("first visible bench", 640, 480);
    SimpleRender = true;
    UpdateObjects = false;
    UpdateBezier = false;
    if (!world.Start()) {
        state.SkipWithError("no device or no demo world");
        return;
    }
    // Past the level start's one-time steps (the path graph, the respawner
    // data, the self-deleting objects, the weather, the subtitle): what
    // follows is the steady frame.
    RecalculateOccluders = true;
    for (int i = 0; i < 260; ++i)
        DemoWorldOnDevice::OverviewFrame();
    uint64_t allocations = 0;
    double seconds = 0, emptySeconds = 0, withoutSeconds = 0;
    for (auto _ : state) {
        emptySeconds += SecondsPerCall(1, EmptyFrame);
        RecalculateOccluders = false;
        withoutSeconds += SecondsPerCall(1, DemoWorldOnDevice::OverviewFrame);
        RecalculateOccluders = true;
        const uint64_t before = g_Allocations.load(std::memory_order_relaxed);
        const double frame = SecondsPerCall(1, DemoWorldOnDevice::OverviewFrame);
        allocations += g_Allocations.load(std::memory_order_relaxed) - before;
        seconds += frame;
        state.SetIterationTime(frame);
    }
    const double n = double(state.iterations());
    const double withOccluder = seconds / n, withoutOccluder = withoutSeconds / n, empty = emptySeconds / n;
    state.counters["vs_empty"] = withOccluder / empty;
    state.counters["occluder_share"] = (withOccluder - withoutOccluder) / withOccluder;
    state.counters["allocations"] =
        benchmark::Counter(double(allocations), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_FirstVisibleWorldFrame)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace
