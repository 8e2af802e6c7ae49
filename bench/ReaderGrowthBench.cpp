// How the readers' cost grows with their input: each is run at sizes a
// factor of four apart, so a time that grows sixteenfold from one size to the
// next shows work that grows with the square of the input.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <string>

#include <unistd.h>

#include "app/Console.h"
#include "app/TextMgr.h"
#include "platform/image/Image.h"
#include "platform/os/Os.h"
#include "world/BezierMgr.h"

namespace {

// A data directory of the benchmark's own holding one file.
class ScratchFile {
  public:
    ScratchFile(const std::string& name, const std::string& contents) {
        saved_ = os::StartDirectory();
        dir_ = std::filesystem::temp_directory_path() / ("zt_bench_reader_" + std::to_string(::getpid()));
        std::filesystem::create_directories((dir_ / name).parent_path());
        std::ofstream(dir_ / name, std::ios::binary) << contents;
        os::SetStartDirectory(dir_.string());
    }
    ~ScratchFile() {
        os::SetStartDirectory(saved_);
        std::filesystem::remove_all(dir_);
    }

  private:
    std::string saved_;
    std::filesystem::path dir_;
};

} // namespace

// A text table of n copies of one label (each copy after the first reported
// once, into the held reports).
static void BM_TextTableCopiesOfOneLabel(benchmark::State& state) {
    std::string file;
    for (int64_t i = 0; i < state.range(0); ++i)
        file += ">Same text " + std::to_string(i) + "\n";
    ScratchFile scratch("scripts/text_keys.txt", file);
    for (auto _ : state) {
        ETextMgr table;
        benchmark::DoNotOptimize(table.GetText(">same"));
    }
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_TextTableCopiesOfOneLabel)->RangeMultiplier(4)->Range(256, 16384)->Complexity();

// A console script of n different names.
static void BM_ConsoleScriptOfManyNames(benchmark::State& state) {
    std::string file;
    for (int64_t i = 0; i < state.range(0); ++i)
        file += "BenchName" + std::to_string(i) + " 1\n";
    ScratchFile scratch("bench.cfg", file);
    for (auto _ : state) {
        g_Console.ExecFile("bench.cfg");
        state.PauseTiming();
        g_Console.FreeVariables();
        state.ResumeTiming();
    }
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_ConsoleScriptOfManyNames)->RangeMultiplier(4)->Range(256, 16384)->Complexity();

// A Bezier path file of n nodes, each linked to the next by number.
static void BM_BezierFileOfManyNodes(benchmark::State& state) {
    std::string file;
    for (int64_t i = 0; i < state.range(0); ++i)
        file += "bezier_node n" + std::to_string(i) + "\nnr " + std::to_string(i) + "\nnext_in_path_nr " +
                std::to_string(i + 1) + "\npos " + std::to_string(i) + " 0 0\n";
    ScratchFile scratch("path.bzr", file);
    for (auto _ : state) {
        g_BezierMgr.LoadFile("path.bzr");
        state.PauseTiming();
        g_BezierMgr.FreeAll();
        state.ResumeTiming();
    }
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_BezierFileOfManyNodes)->RangeMultiplier(4)->Range(256, 16384)->Complexity();

// A TGA of its 18-byte header alone declaring 17566 x 21316 pixels: refused
// from the header.
static void BM_HugeDeclaredTga(benchmark::State& state) {
    const uint8_t tga[18] = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x9E, 0x44, 0x44, 0x53, 32, 8};
    for (auto _ : state) {
        image::Picture p;
        std::string error;
        benchmark::DoNotOptimize(image::Decode(tga, sizeof tga, &p, &error));
    }
}
BENCHMARK(BM_HugeDeclaredTga);
