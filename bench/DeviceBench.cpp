// Per-frame paths of the window and graphics layers: the message pump's
// empty poll, the shadow render state, and a cleared and presented frame on
// the headless device.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>

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

struct Headless {
    Headless() {
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        window::CreateParams p;
        p.title = "bench";
        win = window::CreateWindow(p);
        d3d = win ? gfx::CreateInterface() : nullptr;
        if (!d3d) return;
        gfx::PresentParameters pp;
        pp.BackBufferWidth = 640;
        pp.BackBufferHeight = 480;
        pp.BackBufferFormat = gfx::Format::X8R8G8B8;
        pp.Windowed = true;
        pp.EnableAutoDepthStencil = true;
        pp.AutoDepthStencilFormat = gfx::Format::D24S8;
        pp.PresentationInterval = gfx::PresentIntervalImmediate;
        d3d->CreateDevice(0, gfx::DeviceType::Hal, win.get(), gfx::create::HardwareVertexProcessing, &pp,
                          &dev);
    }
    ~Headless() {
        if (dev) dev->Release();
        if (d3d) d3d->Release();
    }
    std::unique_ptr<window::Window> win;
    gfx::Interface* d3d = nullptr;
    gfx::Device* dev = nullptr;
};

void BM_PeekMessageEmptyQueue(benchmark::State& state) {
    Headless h;
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
    Headless h;
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
BENCHMARK(BM_ClearBeginEndPresent);

} // namespace
