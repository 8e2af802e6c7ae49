// The world loader's per-line and per-object work: splitting lines, the key
// parsers' get-change-set of an action block, and a whole demo world.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "app/Records.h"
#include "platform/os/Os.h"
#include "render/EnvironmentSettings.h"
#include "render/MeshMgr.h"
#include "tests/world/WorldReset.h"
#include "world/BezierMgr.h"
#include "world/Engine.h"
#include "world/ObjectRecord.h"
#include "world/VisBlockers.h"
#include "world/WorldMgr.h"

namespace {

using wftest::ClearWorld;

std::string DemoWorld() {
    std::ifstream in(std::filesystem::path(ZT_SOURCE_DIR) / "data" / "worlds" / "test.w", std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void BM_SplitLines(benchmark::State& state) {
    const std::string text = DemoWorld();
    std::string line(EWorldMgr::LINE_BUFFER, '\0');
    for (auto _ : state) {
        size_t lines = 0;
        for (size_t pos = 0; pos < text.size(); ++lines)
            pos = EWorldMgr::NextLine(text.data(), text.size(), pos, line.data());
        benchmark::DoNotOptimize(lines);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
}
BENCHMARK(BM_SplitLines);

// One action line on an object that already has its block: the lookup among
// all action keys, the copy out, the change and the copy back.
void BM_ActionKeyLine(benchmark::State& state) {
    ClearWorld();
    AddObjectParams p;
    p.dwType = OT_LIGHT;
    ObjectRecord* h = g_Engine.AddObject(p);
    g_WorldMgr.ParseActionKeys("action_general_opt 1 1", h);
    for (auto _ : state)
        g_WorldMgr.ParseActionKeys("action_door 1 1 80 80 0", h);
    ClearWorld();
}
BENCHMARK(BM_ActionKeyLine);

// The demo world from memory: with 0, its meshes already loaded by the first
// run (the world's own parsing and object set-up); with 1, every mesh read
// and built again from its .x file each time, as at the first load.
void BM_LoadDemoWorld(benchmark::State& state) {
    std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("zt_bench_world_" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir);
    std::filesystem::copy(std::filesystem::path(ZT_SOURCE_DIR) / "data", dir,
                          std::filesystem::copy_options::recursive);
    std::string previous = os::StartDirectory();
    os::SetStartDirectory(dir.string());
    const std::string text = DemoWorld();
    for (auto _ : state) {
        ClearWorld();
        if (state.range(0)) g_MeshMgr.ReleaseAll();
        g_WorldMgr.ProcessWorldData(text.data(), text.size(), "worlds\\test.w");
    }
    ClearWorld();
    os::SetStartDirectory(previous);
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_LoadDemoWorld)->Arg(0)->Arg(1)->ArgName("meshes_from_files")->Unit(benchmark::kMicrosecond);

} // namespace
