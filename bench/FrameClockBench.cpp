// The per-frame clocks and counters: profiler stage brackets, the frame
// timer and the allocation tracker.
#include <benchmark/benchmark.h>

#include <cstdio>

#include "app/Debug.h"
#include "app/Profiler.h"
#include "app/Timer.h"

static void BM_ProfilerStartStop(benchmark::State& state) {
    ProfilerInitLabels();
    for (auto _ : state) {
        ProfilerStart(210);
        benchmark::DoNotOptimize(ProfilerStop(210));
    }
}
BENCHMARK(BM_ProfilerStartStop);

static void BM_ProfilerFrameReset(benchmark::State& state) {
    for (auto _ : state)
        ProfilerFrameReset();
}
BENCHMARK(BM_ProfilerFrameReset);

static void BM_TimerElapsed(benchmark::State& state) {
    DXUtilTimer(TIMER_RESET);
    for (auto _ : state)
        benchmark::DoNotOptimize(DXUtilTimer(TIMER_GETELAPSEDTIME));
}
BENCHMARK(BM_TimerElapsed);

// Add and remove under one tag, with the given number of other tags in use
// before it.
static void BM_TrackAllocation(benchmark::State& state) {
    bool saved = g_bTrackAllocations;
    g_bTrackAllocations = true;
    g_Debug.ClearAllocations();
    char tag[32];
    for (int i = 0; i < state.range(0); ++i) {
        std::snprintf(tag, sizeof tag, "tag %d", i);
        g_Debug.AddAllocation(tag);
    }
    for (auto _ : state) {
        g_Debug.AddAllocation("strpostac");
        g_Debug.RemoveAllocation("strpostac");
    }
    g_Debug.ClearAllocations();
    g_bTrackAllocations = saved;
}
BENCHMARK(BM_TrackAllocation)->Arg(0)->Arg(100)->Arg(1000);
