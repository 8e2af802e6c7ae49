// The texture registry's lookup by name over a full registry (1023 records:
// a hit on the newest, a hit on the oldest and a miss that finds the table
// full), and a 1024 x 1024 DXT5 file loaded compressed against decoded on
// the CPU (the "ratio" counter: decoded time over compressed time).
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/D3DMain.h"
#include "bench/HeadlessDevice.h"
#include "platform/gfx/TextureFiles.h"
#include "platform/os/Os.h"
#include "render/Renderer.h"

namespace {

namespace fs = std::filesystem;

// A scratch data directory of 1023 texture files, all loaded (no device: the
// records without device textures).
struct FullRegistry {
    fs::path dir = fs::temp_directory_path() / ("zt_texture_bench_" + std::to_string(::getpid()));
    FullRegistry() {
        fs::create_directories(dir / "t");
        for (int i = 0; i < 1023; ++i)
            std::ofstream(dir / "t" / ("tex_" + std::to_string(i) + ".tga")) << "x";
        os::SetStartDirectory(dir.string());
        g_Renderer.ReleaseTexturePaths();
        g_Renderer.Init();
        for (int i = 0; i < 1023; ++i)
            g_Renderer.GetTextureIdByName(("tex_" + std::to_string(i) + ".tga").c_str());
    }
    ~FullRegistry() {
        g_Renderer.ReleaseTextures();
        g_Renderer.ReleaseTexturePaths();
        fs::remove_all(dir);
    }
};

void BM_TextureIdByName(benchmark::State& state) {
    FullRegistry r;
    const char* names[] = {"TEX_1022.tga", "tex_0.tga", "not_there.tga"};
    const char* name = names[state.range(0)];
    for (auto _ : state)
        benchmark::DoNotOptimize(g_Renderer.GetTextureIdByName(name));
}
BENCHMARK(BM_TextureIdByName)->Arg(0)->Arg(1)->Arg(2)->ArgNames({"newest hit / oldest hit / miss"});

// A 1024 x 1024 DXT5 file with its full mip chain.
std::string WriteDxt5(const fs::path& path) {
    std::vector<uint8_t> b = {'D', 'D', 'S', ' '};
    auto put = [&](uint32_t v) {
        for (int k = 0; k < 4; ++k)
            b.push_back(uint8_t(v >> (8 * k)));
    };
    put(124), put(0x21007), put(1024), put(1024), put(0), put(0), put(11);
    for (int i = 0; i < 11; ++i)
        put(0);
    put(32), put(0x4), b.insert(b.end(), {'D', 'X', 'T', '5'});
    for (int i = 0; i < 5; ++i)
        put(0);
    put(0x401008), put(0), put(0), put(0), put(0);
    uint32_t seed = 1;
    for (uint32_t s = 1024; s; s >>= 1) {
        const uint32_t blocks = std::max(1u, s / 4) * std::max(1u, s / 4) * 16;
        for (uint32_t i = 0; i < blocks; ++i) {
            seed = seed * 1103515245u + 12345u;
            b.push_back(uint8_t(seed >> 16));
        }
    }
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
    return path.string();
}

void BM_Dxt5LoadCompressedAgainstDecoded(benchmark::State& state) {
    bench::HeadlessDevice d("texture bench", 64, 64);
    if (!d.dev) return state.SkipWithError("no device");
    const fs::path file = fs::temp_directory_path() / ("zt_dxt5_" + std::to_string(::getpid()) + ".dds");
    const std::string path = WriteDxt5(file);
    double compressed = 0, decoded = 0;
    for (auto _ : state) {
        for (bool decode : {false, true}) {
            gfx::TextureLoad load;
            load.decodeCompressed = decode;
            const auto start = std::chrono::steady_clock::now();
            gfx::Texture* t = nullptr;
            gfx::CreateTextureFromFile(d.dev, path.c_str(), load, &t);
            if (t) t->Release();
            const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            (decode ? decoded : compressed) += s;
        }
    }
    state.counters["compressed_ms"] = 1000.0 * compressed / double(state.iterations());
    state.counters["decoded_ms"] = 1000.0 * decoded / double(state.iterations());
    state.counters["ratio"] = compressed > 0 ? decoded / compressed : 0;
    state.counters["compressed_upload"] = d.dev->UploadsCompressedTextures() ? 1 : 0;
    fs::remove(file);
}
BENCHMARK(BM_Dxt5LoadCompressedAgainstDecoded)->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace
