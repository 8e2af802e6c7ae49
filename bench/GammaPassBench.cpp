// The window's gamma ramp: a presented 640x480 frame through a non-identity
// ramp (copy, ramp lookup, swap) beside the plain blit of the identity ramp.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <memory>

#include "platform/gfx/Device.h"
#include "platform/window/Window.h"

namespace {

struct GammaHeadless {
    GammaHeadless() {
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        window::CreateParams p;
        p.title = "gamma bench";
        p.width = 640;
        p.height = 480;
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
    ~GammaHeadless() {
        if (dev) dev->Release();
        if (d3d) d3d->Release();
    }
    std::unique_ptr<window::Window> win;
    gfx::Interface* d3d = nullptr;
    gfx::Device* dev = nullptr;
};

// range(0): 1 presents through a gamma 1.6 ramp, 0 through the identity.
void BM_PresentThroughGammaRamp(benchmark::State& state) {
    GammaHeadless h;
    if (!h.dev) {
        state.SkipWithError("no device");
        return;
    }
    gfx::GammaRamp ramp = gfx::GammaRamp::Identity();
    if (state.range(0)) {
        for (int i = 0; i < 256; ++i)
            ramp.red[i] = ramp.green[i] = ramp.blue[i] =
                uint16_t(65535.0 * std::pow(double(i) / 255.0, 1.0 / 1.6));
    }
    h.dev->SetGammaRamp(0, gfx::gamma::Calibrate, &ramp);
    for (auto _ : state) {
        h.dev->Clear(0, nullptr, gfx::clear::Target, 0xFF406080, 1.0f, 0);
        benchmark::DoNotOptimize(h.dev->Present());
    }
}
BENCHMARK(BM_PresentThroughGammaRamp)->Arg(0)->Arg(1);

} // namespace
