// The effects' per-frame step: FxMgr::Update over 2000 live sprites that
// fall, grow, spin and carry colour keys, spawned by 25 emitters of 8 Every
// entries each, 200 a frame, each living 10 frames (0.19 s: the table
// holds 2047, so 0.2 s would recycle on every spawn), beside
// Irrlicht's particle system (null driver) animating 2000 particles with a
// gravity and a fade-out affector and an emitter of 200 a frame. Reported:
// our frame against theirs (good: not above 1) and our allocations per frame
// (none).
#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>

#include <unistd.h>

#include "app/Options.h"
#include "bench/Allocations.h"
#include "bench/IrrlichtParticles.h"
#include "platform/os/Os.h"
#include "render/FxMgr.h"
#include "world/Camera.h"
#include "world/Engine.h"

namespace {

constexpr int kEmitters = 25; // x 8 Every entries = 200 spawns a frame
constexpr float kFrame = 0.02f;

// The effects of the scene, read as the game reads them.
void WriteEffects(const std::filesystem::path& dir) {
    std::filesystem::create_directories(dir / "afx");
    std::ofstream(dir / "afx" / "falling.afx") << "Type Sprite\nFilename textures\\fx\\bench.tga\n"
                                                  "Scale 8 8 1\nMove true\nVel 0 10 0\nVel_Rand 40 10 40\n"
                                                  "Pos_Rand 800 200 800\nGravity 0.5\nGrow 0.01\n"
                                                  "Spinning_Sprite true\nSpinning_Speed 45\nLife_Time 0.19\n"
                                                  "dwColor 2\nColor 0 255 200 100\nColor 1 60 60 60\n"
                                                  "Color_Time 1 1\ndwAlpha 2\nAlpha 0 255\nAlpha_Time 1 1\n";
    std::string every;
    for (int i = 0; i < 8; ++i)
        every += "Every 0.02 falling 0\n";
    std::ofstream(dir / "afx" / "emitter.afx") << "Type Spark\nLife_Time -1\n" << every;
}


void BM_FxUpdate(benchmark::State& state) {
    const std::string saved = os::StartDirectory();
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("zt_fx_bench_" + std::to_string(::getpid()));
    WriteEffects(dir);
    os::SetStartDirectory(dir.string());
    g_FxMgr.LoadAll();
    g_FxMgr.KillAll();
    g_Camera.SetPosition({0, 0, -900});
    g_Engine.m_fFrameTime = kFrame;
    AddFX = DrawFX = UpdateModels = true;
    for (int i = 0; i < kEmitters; ++i)
        g_FxMgr.SpawnFxByName("emitter", nullptr, nullptr);
    for (int i = 0; i < 20; ++i) // the sprites' life filled
        g_FxMgr.Update();

    double seconds = 0;
    uint64_t allocations = 0;
    for (auto _ : state) {
        const uint64_t before = g_Allocations.load(std::memory_order_relaxed);
        const auto start = std::chrono::steady_clock::now();
        g_FxMgr.Update();
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        allocations += g_Allocations.load(std::memory_order_relaxed) - before;
    }
    const double n = double(state.iterations());
    int sprites = 0;
    for (int i = 1; i < FxMgr::MAX_INSTANCES; ++i)
        sprites += g_FxMgr.Instance(i)->bInUse && g_FxMgr.Instance(i)->dwType == FX_SPRITE;
    state.counters["live_sprites"] = double(sprites);
    state.counters["ours_ms"] = seconds / n * 1000.0;
    state.counters["allocations"] = benchmark::Counter(double(allocations), benchmark::Counter::kAvgIterations);
#ifdef ZT_HAVE_IRRLICHT
    const double theirs = IrrlichtParticleFrame(200, kFrame, 200, 200);
    state.counters["irrlicht_ms"] = theirs * 1000.0;
    if (theirs > 0.0) state.counters["ours_vs_irrlicht"] = seconds / n / theirs;
#endif
    g_FxMgr.KillAll();
    g_FxMgr.LoadAll(); // nothing left of the bench's effects
    os::SetStartDirectory(saved);
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_FxUpdate)->UseRealTime()->Unit(benchmark::kMillisecond);

} // namespace
