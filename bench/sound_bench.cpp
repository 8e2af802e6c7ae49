// The sound manager's per-frame work: the update that gives every 3D sound its
// distance loudness and commits the listener, and the loudness curve itself.
// Run on the silent back-end (the manager's own cost) and on OpenAL.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/Options.h"
#include "game/MainGame.h"
#include "platform/os/Os.h"
#include "sound/SoundMgr.h"

namespace {

namespace fs = std::filesystem;

// A data directory with one short mono wave, kept for the whole run.
const std::string& DataDir() {
    static const std::string dir = [] {
        fs::path d = fs::temp_directory_path() / ("zt_sound_bench_" + std::to_string(::getpid()));
        fs::create_directories(d / "sounds");
        std::vector<uint8_t> b = {'R', 'I', 'F', 'F', 0,  0, 0,   0,   'W', 'A',  'V',  'E',  'f', 'm',  't',
                                  ' ', 16,  0,   0,   0,  1, 0,   1,   0,   0x44, 0xAC, 0,    0,   0x88, 0x58,
                                  1,   0,   2,   0,   16, 0, 'd', 'a', 't', 'a',  0x10, 0x27, 0,   0};
        b.resize(b.size() + 10000, 0);
        std::ofstream(d / "sounds" / "loop.wav", std::ios::binary)
            .write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
        return d.string();
    }();
    return dir;
}

void RunUpdate(benchmark::State& state, audio::Backend backend) {
    setenv("ALSOFT_DRIVERS", "null", 0);
    const std::string saved = os::StartDirectory();
    os::SetStartDirectory(DataDir());
    sound = true;
    g_MainGame.m_iLevelFrame = 1000;
    g_SoundMgr.SetBackend(backend);
    if (!g_SoundMgr.Init()) {
        state.SkipWithError("no audio device");
        return;
    }
    const int n = int(state.range(0));
    for (int i = 0; i < n; ++i) {
        const float pos[3] = {float(i * 7 % 900), 0, float(i * 13 % 900)};
        g_SoundMgr.StartSound3D("sounds\\loop.wav", pos, 640.0f, true, true);
    }
    float t = 0;
    for (auto _ : state) {
        const float listener[3] = {t, 0, 0};
        g_SoundMgr.SetListenerPosition(listener);
        g_SoundMgr.Update();
        t = t > 500 ? 0 : t + 1;
    }
    state.SetItemsProcessed(state.iterations() * n);
    g_SoundMgr.Release();
    g_SoundMgr.m_pDS.reset();
    g_SoundMgr.SetBackend(audio::Backend::Auto);
    os::SetStartDirectory(saved);
}

void BM_SoundUpdateSilent(benchmark::State& state) {
    RunUpdate(state, audio::Backend::Silent);
}
BENCHMARK(BM_SoundUpdateSilent)->Arg(16)->Arg(128)->Arg(512);

void BM_SoundUpdateOpenAl(benchmark::State& state) {
    RunUpdate(state, audio::Backend::OpenAl);
}
BENCHMARK(BM_SoundUpdateOpenAl)->Arg(16)->Arg(128)->Arg(512);

void BM_LoudnessCurve(benchmark::State& state) {
    float x = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(CSoundMgr::LoudnessToHundredthsDb(x));
        x = x >= 1.0f ? 0.0f : x + 0.0007f;
    }
}
BENCHMARK(BM_LoudnessCurve);

} // namespace
