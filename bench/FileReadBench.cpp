// Reading files: a large text .x file loaded from disk against parsing the
// same bytes already in memory (the difference is the read) and against
// Assimp's X importer loading the same file, a small demo model loaded whole,
// and the path lookup of a data name written with its files' own letter case
// and with another case.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/mesh/XFile.h"
#include "platform/os/Os.h"

#ifdef ZT_HAVE_ASSIMP
#include <assimp/Importer.hpp>
#include <assimp/scene.h>
#endif

namespace {

namespace fs = std::filesystem;

long MinorFaults() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_minflt;
}

// A temporary data directory with a copy of the demo models and one text .x
// file of about 26 MB (a grid mesh of 504,100 vertices), kept for the run
// and removed at its end.
const std::string& DataDir() {
    struct Removed {
        std::string dir;
        ~Removed() { fs::remove_all(dir); }
    };
    static const Removed dir{[] {
        const fs::path d = fs::temp_directory_path() / ("zt_file_bench_" + std::to_string(::getpid()));
        fs::create_directories(d / "Models" / "Large");
        fs::copy(fs::path(ZT_SOURCE_DIR) / "data" / "models", d / "Models",
                 fs::copy_options::recursive | fs::copy_options::overwrite_existing);
        constexpr int side = 710; // side * side vertices
        std::ostringstream x;
        x << "xof 0303txt 0032\nFrame large {\n Mesh large_mesh {\n  " << side * side << ";\n";
        for (int i = 0; i < side * side; ++i)
            x << "  " << float(i % side) * 1.25f << ";" << float(i / side) * 0.75f << ";"
              << float(i % 97) * 0.5f << (i + 1 < side * side ? ";,\n" : ";;\n");
        const int quads = (side - 1) * (side - 1);
        x << "  " << quads << ";\n";
        for (int i = 0; i < quads; ++i) {
            const int v = i / (side - 1) * side + i % (side - 1);
            x << "  4;" << v << "," << v + 1 << "," << v + side + 1 << "," << v + side
              << (i + 1 < quads ? ";,\n" : ";;\n");
        }
        x << " }\n}\n";
        std::ofstream(d / "Models" / "Large" / "Grid.x", std::ios::binary) << x.str();
        return d.string();
    }()};
    return dir.dir;
}

struct InDataDir {
    std::string saved = os::StartDirectory();
    InDataDir() { os::SetStartDirectory(DataDir()); }
    ~InDataDir() { os::SetStartDirectory(saved); }
};

// The whole load of the large file: path lookup, read, parse.
void BM_LoadLargeXFile(benchmark::State& state) {
    InDataDir in;
    state.counters["megabytes"] = double(os::FileSize("Models\\Large\\Grid.x")) / 1e6;
    const long f0 = MinorFaults();
    for (auto _ : state) {
        mesh::XFile file;
        std::string error;
        if (!mesh::ReadXFile("Models\\Large\\Grid.x", &file, &error)) state.SkipWithError(error.c_str());
        benchmark::DoNotOptimize(file);
    }
    state.counters["page_faults"] =
        benchmark::Counter(double(MinorFaults() - f0), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_LoadLargeXFile)->Unit(benchmark::kMillisecond)->UseRealTime();

// The parse alone of the same bytes: the load's time over this one is the
// share of the read.
void BM_ParseLargeXFile(benchmark::State& state) {
    InDataDir in;
    std::ifstream f(os::ResolvePath("Models\\Large\\Grid.x"), std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    const long f0 = MinorFaults();
    for (auto _ : state) {
        mesh::XFile file;
        std::string error;
        if (!mesh::ParseXFile(bytes, "Grid.x", &file, &error)) state.SkipWithError(error.c_str());
        benchmark::DoNotOptimize(file);
    }
    state.counters["page_faults"] =
        benchmark::Counter(double(MinorFaults() - f0), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_ParseLargeXFile)->Unit(benchmark::kMillisecond)->UseRealTime();

#ifdef ZT_HAVE_ASSIMP
// The whole load of the large file, ours against Assimp's X importer without
// post-processing, as a ratio in one run: the two take turns, five loads
// each, and each counts its fastest, so that the machine's load weighs on
// both alike (ours_over_assimp below 1 is faster than Assimp). The page
// faults of that fastest load are reported beside its time: on a machine
// where the system backs fresh memory slowly they are most of a load.
struct FastestLoad {
    double seconds = 1e30;
    long faults = 0;
    template <class Load> void Time(Load&& load) {
        const long f0 = MinorFaults();
        const auto t0 = std::chrono::steady_clock::now();
        load();
        const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        if (s < seconds) seconds = s, faults = MinorFaults() - f0;
    }
};

void BM_LoadLargeXFileAgainstAssimp(benchmark::State& state) {
    InDataDir in;
    const std::string path = os::ResolvePath("Models\\Large\\Grid.x");
    for (auto _ : state) {
        FastestLoad ours, theirs;
        bool assimpRead = true;
        for (int i = 0; i < 5; ++i) {
            ours.Time([] {
                mesh::XFile file;
                std::string error;
                mesh::ReadXFile("Models\\Large\\Grid.x", &file, &error);
                benchmark::DoNotOptimize(file);
            });
            Assimp::Importer importer; // its importers made before the clock starts
            theirs.Time([&] {
                assimpRead = assimpRead && importer.ReadFile(path, 0) != nullptr;
                benchmark::DoNotOptimize(importer.GetScene());
                importer.FreeScene();
            });
        }
        if (!assimpRead) state.SkipWithError("Assimp cannot read the file");
        state.counters["ours_ms"] = ours.seconds * 1e3;
        state.counters["assimp_ms"] = theirs.seconds * 1e3;
        state.counters["ours_over_assimp"] = ours.seconds / theirs.seconds;
        state.counters["ours_page_faults"] = double(ours.faults);
        state.counters["assimp_page_faults"] = double(theirs.faults);
    }
}
BENCHMARK(BM_LoadLargeXFileAgainstAssimp)->Iterations(1)->Unit(benchmark::kMillisecond);
#endif

// The read alone of the large file: 0 with the OS layer's whole-file read,
// 1 in 64 KiB pieces appended to a growing string, as the .x reader read
// before.
void BM_ReadLargeFile(benchmark::State& state) {
    InDataDir in;
    for (auto _ : state) {
        std::string bytes;
        if (state.range(0) == 0) {
            os::ReadWholeFile("Models\\Large\\Grid.x", &bytes);
        } else {
            std::FILE* f = os::OpenFile("Models\\Large\\Grid.x", "rb");
            char buf[65536];
            size_t n;
            while (f && (n = std::fread(buf, 1, sizeof buf, f)) > 0)
                bytes.append(buf, n);
            if (f) std::fclose(f);
        }
        benchmark::DoNotOptimize(bytes.data());
    }
}
BENCHMARK(BM_ReadLargeFile)
    ->Arg(0)
    ->Arg(1)
    ->ArgName("in_pieces")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// A small model of the demo (46 KB) loaded whole, as the game loads most files.
void BM_LoadSmallXFile(benchmark::State& state) {
    InDataDir in;
    for (auto _ : state) {
        mesh::XFile file;
        std::string error;
        if (!mesh::ReadXFile("models\\pillar.x", &file, &error)) state.SkipWithError(error.c_str());
        benchmark::DoNotOptimize(file);
    }
}
BENCHMARK(BM_LoadSmallXFile)->Unit(benchmark::kMicrosecond);

// The path lookup of a three-component name: 0 written with the files' own
// case (as the game's names nearly always are), 1 in another case.
void BM_ResolvePath(benchmark::State& state) {
    InDataDir in;
    const char* name = state.range(0) ? "MODELS\\LARGE\\GRID.X" : "Models\\Large\\Grid.x";
    for (auto _ : state)
        benchmark::DoNotOptimize(os::ResolvePath(name));
}
BENCHMARK(BM_ResolvePath)->Arg(0)->Arg(1)->ArgName("other_case");

} // namespace
