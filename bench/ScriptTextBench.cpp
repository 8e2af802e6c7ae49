// The text helpers that every script parser runs per line and every name
// lookup runs per object.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>

#include "app/FileHelpers.h"
#include "app/TextMgr.h"

static void BM_StrCmpNoCase(benchmark::State& state) {
    const char* a = "models\\characters\\Soldier_01.x";
    const char* b = "MODELS\\CHARACTERS\\soldier_01.X";
    for (auto _ : state)
        benchmark::DoNotOptimize(StrCmpNoCase(a, b));
}
BENCHMARK(BM_StrCmpNoCase);

static void BM_IsKeyword(benchmark::State& state) {
    const char* line = "fog_color 120 130 140";
    for (auto _ : state)
        benchmark::DoNotOptimize(IsKeyword(line, "FOG_COLOR"));
}
BENCHMARK(BM_IsKeyword);

static void BM_GetArgument(benchmark::State& state) {
    const char* line = "  position   1024.5 -32.25 77.0  ";
    for (auto _ : state)
        benchmark::DoNotOptimize(GetArgument(line));
}
BENCHMARK(BM_GetArgument);

static void BM_ParseVector3(benchmark::State& state) {
    float v[3];
    for (auto _ : state) {
        ParseVector3("1024.5 -32.25 77.0", v);
        benchmark::DoNotOptimize(v);
    }
}
BENCHMARK(BM_ParseVector3);

// A script line without labels and one with a label, against the process's
// own text table.
static void BM_ReplaceKeys(benchmark::State& state) {
    const std::string source = state.range(0) ? "say >GameName now" : "say the name now";
    char line[512];
    for (auto _ : state) {
        std::memcpy(line, source.c_str(), source.size() + 1);
        g_TextMgr.ReplaceKeys(line, sizeof line);
        benchmark::DoNotOptimize(line);
    }
}
BENCHMARK(BM_ReplaceKeys)->Arg(0)->Arg(1);

static void BM_FormatFloat(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(FormatFloat(1234.5678f, 2));
}
BENCHMARK(BM_FormatFloat);
