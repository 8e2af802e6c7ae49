// The engine's update of one frame (EEngine::EngineFrame: the objects'
// behaviour with the movers on their paths, the renderer's and the effects'
// updates, the frame's deletions) on the demo world as the game loads it,
// on the program's own device headless (llvmpipe), past the level start's
// one-time steps. Each frame runs whole, the game's update and the drawing
// included, and only the engine's update is timed; "objects" is the number
// of objects in the world. The behaviour layer alone over 19 and 3,000
// objects is FullWorld/UpdateBehaviour.
#include <benchmark/benchmark.h>

#include "bench/DemoWorldOnDevice.h"

namespace {

using bench::DemoWorldOnDevice;

// One pass of the main loop; the seconds the engine's update took.
double TimedFrame() {
    g_Engine.EngineFrameTiming();
    const auto start = std::chrono::steady_clock::now();
    g_Engine.EngineFrame();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    g_MainGame.Update();
    g_D3DMain.RenderFrame();
    return seconds;
}

void BM_DemoWorldEngineUpdate(benchmark::State& state) {
    DemoWorldOnDevice world("engine update bench", 640, 480);
    UpdateObjects = true;
    UpdateBezier = true;
    if (!world.Start()) {
        state.SkipWithError("no device or no demo world");
        return;
    }
    for (int i = 0; i < 260; ++i)
        TimedFrame();
    double seconds = 0;
    for (auto _ : state)
        seconds += TimedFrame();
    state.counters["engine_update_us"] =
        benchmark::Counter(seconds * 1e6, benchmark::Counter::kAvgIterations);
    state.counters["objects"] = double(g_Engine.NumObjects());
}
BENCHMARK(BM_DemoWorldEngineUpdate)->Iterations(600)->UseRealTime()->Unit(benchmark::kMillisecond);

} // namespace
