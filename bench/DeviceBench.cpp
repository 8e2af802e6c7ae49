// Per-frame paths of the window and graphics layers: the message pump's
// empty poll, the shadow render state, and a cleared and presented frame on
// the headless device.
// Benchmarks that draw report wall time: llvmpipe rasterises on threads of
// its own, which the CPU time of this thread leaves out.
#include <benchmark/benchmark.h>

#include "bench/HeadlessDevice.h"
#include "platform/gfx/Device.h"
#include "platform/gfx/RenderStateCache.h"
#include "platform/window/Window.h"

namespace {

void BM_RenderStateSetAndApply(benchmark::State& state) {
    gfx::RenderStateCache cache;
    cache.Apply([](gfx::RenderState, uint32_t) {});
    uint32_t flip = 0;
    for (auto _ : state) {
        flip ^= 1;
        // A pass's typical states: half change, half are set to what they hold.
        for (uint32_t i = 0; i < 20; ++i)
            cache.Set(gfx::RenderState(i), (i & 1) ? flip : cache.Get(gfx::RenderState(i)));
        uint32_t sent = 0;
        cache.Apply([&](gfx::RenderState, uint32_t) { ++sent; });
        benchmark::DoNotOptimize(sent);
    }
}
BENCHMARK(BM_RenderStateSetAndApply);

void BM_PeekMessageEmptyQueue(benchmark::State& state) {
    bench::HeadlessDevice h("bench", 640, 480);
    if (!h.win) {
        state.SkipWithError("no window");
        return;
    }
    window::Message m;
    for (auto _ : state)
        benchmark::DoNotOptimize(window::PeekMessage(m));
}
BENCHMARK(BM_PeekMessageEmptyQueue);

void BM_ClearBeginEndPresent(benchmark::State& state) {
    bench::HeadlessDevice h("bench", 640, 480);
    if (!h.dev) {
        state.SkipWithError("no device");
        return;
    }
    for (auto _ : state) {
        h.dev->Clear(0, nullptr, gfx::clear::Target | gfx::clear::ZBuffer | gfx::clear::Stencil, 0, 1.0f, 0);
        h.dev->BeginScene();
        h.dev->EndScene();
        h.dev->Present();
    }
}
BENCHMARK(BM_ClearBeginEndPresent)->UseRealTime();

// A reset asking for the back buffer the device already has, 1280x1024 with
// depth and stencil, and a present: what the game's first reset after making
// the device costs at start-up.
void BM_ResetWithUnchangedBackBuffer(benchmark::State& state) {
    bench::HeadlessDevice h("bench", 1280, 1024);
    if (!h.dev) {
        state.SkipWithError("no device");
        return;
    }
    gfx::PresentParameters pp = h.dev->GetPresentParameters();
    for (auto _ : state) {
        if (h.dev->Reset(&pp) != gfx::Result::Ok) state.SkipWithError("reset failed");
        h.dev->Present();
    }
}
BENCHMARK(BM_ResetWithUnchangedBackBuffer)->UseRealTime()->Unit(benchmark::kMicrosecond);

} // namespace
