// The ambient probes of the demo world on the program's own device headless
// (llvmpipe): EAmbientProbe::ProcessQueue with 1, 64 and 511 requests, each
// the lit box's probe of the floor under it (a render of the floor into the
// 16 x 16 target and a synchronous read-back of its centre), reported as a
// ratio to one frame of the fastest pipeline (SimpleRender) from the same
// place:
// - "queue_vs_fastest": one ProcessQueue over that frame;
// - "per_request_ms": milliseconds per request;
// - "allocations": heap allocations per ProcessQueue; good 0.
#include <benchmark/benchmark.h>

#include <string>

#include "bench/Allocations.h"
#include "bench/DemoWorldOnDevice.h"
#include "render/AmbientProbe.h"
#include "world/EngineObject.h"
#include "world/ObjectRecord.h"

namespace {

const math::Vec3 kEye{260, 160, -120}, kAt{250, 0, -360};

class ProbeWorld : public bench::DemoWorldOnDevice {
  public:
    ProbeWorld() : DemoWorldOnDevice("ambient probe bench", 640, 480) {
        SimpleRender = true;
        UpdateBezier = false;
        Start();
    }
    static void Frame() { FrameAt(kEye, kAt); }

    static ObjectRecord* Find(const char* name) {
        for (int slot = 0; slot < EEngine::MAX_OBJECTS; ++slot) {
            ObjectRecord* h = g_Engine.Object(slot);
            if (h->bUsed && std::string(h->szName) == name) return h;
        }
        return nullptr;
    }
};

using bench::SecondsPerCall;

void BM_AmbientProbeQueue(benchmark::State& state) {
    const int requests = int(state.range(0));
    ProbeWorld world;
    if (!world.Ready()) {
        state.SkipWithError("no device or no demo world");
        return;
    }
    // Past the level start's one-time steps and the boxes' first probes.
    for (int i = 0; i < 260; ++i)
        ProbeWorld::Frame();
    constexpr int kCalls = 30;
    const double fastest = SecondsPerCall(kCalls, ProbeWorld::Frame);
    ObjectRecord* box = ProbeWorld::Find("probe_box_lit");
    EEngineObject::GroundSample ground;
    if (!box || !EEngineObject::SampleGround(box, &ground)) {
        state.SkipWithError("the lit box or its ground is missing");
        return;
    }
    double seconds = 0;
    uint64_t allocations = 0;
    for (auto _ : state) {
        for (int i = 0; i < requests; ++i)
            g_AmbientProbe.QueueProbe(box, ground.vPoint, ground.hGround, ground.dwTextureId);
        const uint64_t before = g_Allocations.load(std::memory_order_relaxed);
        const auto start = std::chrono::steady_clock::now();
        g_AmbientProbe.ProcessQueue();
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        allocations += g_Allocations.load(std::memory_order_relaxed) - before;
    }
    const double n = double(state.iterations());
    state.counters["queue_vs_fastest"] = seconds / n / fastest;
    state.counters["per_request_ms"] = seconds / n / requests * 1000.0;
    state.counters["fastest_ms"] = fastest * 1000.0;
    state.counters["allocations"] =
        benchmark::Counter(double(allocations), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_AmbientProbeQueue)->Arg(1)->Arg(64)->Arg(511)->UseRealTime()->Unit(benchmark::kMillisecond);

} // namespace
