// The window's gamma ramp: a presented 640x480 frame through a non-identity
// ramp (copy, ramp lookup, swap) beside the plain blit of the identity ramp.
// Benchmarks that draw report wall time: llvmpipe rasterises on threads of
// its own, which the CPU time of this thread leaves out.
#include <benchmark/benchmark.h>

#include <cmath>

#include "bench/HeadlessDevice.h"
#include "platform/gfx/Device.h"
#include "platform/window/Window.h"

namespace {

// range(0): 1 presents through a gamma 1.6 ramp, 0 through the identity.
void BM_PresentThroughGammaRamp(benchmark::State& state) {
    bench::HeadlessDevice h("gamma bench", 640, 480, 640, 480);
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
BENCHMARK(BM_PresentThroughGammaRamp)->Arg(0)->Arg(1)->UseRealTime();

} // namespace
