// The console calls that run every frame: the engine stores "TotalObjects"
// each frame, and passes read variables by name; prints reach the buffer and
// the log file.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "app/Console.h"
#include "app/FileHelpers.h"
#include "platform/os/Os.h"

namespace {

// A console holding as many variables as a full zt.cfg and a session leave.
void Fill(EConsole& console, int n) {
    for (int i = 0; i < n; ++i)
        console.StoreVariable(("Variable" + std::to_string(i)).c_str(), float(i), 1);
}

// Storing into an existing variable among 32 and 160 others: the name is
// looked up through the console's index, so the two should cost the same.
// The variable is the one stored first, which a walk of the list (newest
// first) would reach last.
void BM_StoreVariableExisting(benchmark::State& state) {
    EConsole console;
    console.StoreVariable("TotalObjects", 0.0f, 0);
    Fill(console, int(state.range(0)));
    float count = 0;
    for (auto _ : state) {
        console.StoreVariable("totalobjects", count, 0);
        count += 1.0f;
    }
}
BENCHMARK(BM_StoreVariableExisting)->Arg(32)->Arg(160);

void BM_FindVariableMissing(benchmark::State& state) {
    EConsole console;
    Fill(console, int(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(console.FindVariable("BackupConsole"));
}
BENCHMARK(BM_FindVariableMissing)->Arg(32)->Arg(160);

// One printed line: the buffer's scroll and the line appended and flushed to
// the open "!console.txt".
void BM_Print(benchmark::State& state) {
    const std::string saved = os::StartDirectory();
    const auto dir = std::filesystem::temp_directory_path() / "zt_bench_console";
    std::filesystem::create_directories(dir);
    os::SetStartDirectory(dir.string());
    EConsole console;
    const std::string text(state.range(0), 'x');
    for (auto _ : state)
        console.Print(text.c_str());
    os::SetStartDirectory(saved);
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_Print)->Arg(40)->Arg(200);

// The same line appended the way ErrorLog does it, opening and closing the
// file each time: what a printed line cost before the console kept its log open.
void BM_AppendLineOpeningTheFile(benchmark::State& state) {
    const std::string saved = os::StartDirectory();
    const auto dir = std::filesystem::temp_directory_path() / "zt_bench_errorlog";
    std::filesystem::create_directories(dir);
    os::SetStartDirectory(dir.string());
    const std::string text(state.range(0), 'x');
    for (auto _ : state)
        ErrorLog(text.c_str(), "!console.txt");
    os::SetStartDirectory(saved);
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_AppendLineOpeningTheFile)->Arg(40)->Arg(200);

} // namespace
