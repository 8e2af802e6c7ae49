// The animation sampler: "idzie" of the test character (every track) at
// scattered times, and one generated track of 2,000 unevenly spaced keys,
// each beside a plain reference that finds every key pair with a binary
// search (std::upper_bound) and blends the same way. The counters give the
// sampler's rate, the reference's, and their ratio (above 1: the sampler is
// faster), with the heap allocations per sampling (none). The loading of
// every test-character animation is timed per file.
#include <benchmark/benchmark.h>

#include <time.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "bench/Allocations.h"
#include "platform/math/Math.h"
#include "skinmesh/SkinMeshAnimation.h"

namespace {

const std::string kDir = std::string(ZT_SOURCE_DIR) + "/data/models/manekin/animations/";

double ThreadCpuNanos() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e9 + double(t.tv_nsec);
}

// The reference: the pair around T by binary search, the same blends.
template <class T, class Blend>
T Reference(const float* k, const T* keys, uint32_t n, float time, Blend blend) {
    const float* up = std::upper_bound(k, k + n, time);
    if (up == k) return keys[0];
    if (up == k + n) return keys[n - 1];
    const uint32_t g1 = uint32_t(up - k), g = g1 - 1;
    const float dt = k[g1] - k[g];
    return blend(keys[g], keys[g1], dt == 0.0f ? 0.0f : (time - k[g]) / dt);
}

math::Vec3 Lerp(const math::Vec3& a, const math::Vec3& b, float s) {
    return {a.x + (b.x - a.x) * s, a.y + (b.y - a.y) * s, a.z + (b.z - a.z) * s};
}

void ReferenceSample(const strSkinMeshAnimation& anim, double time) {
    const float T = float(std::fmod(time, anim.dDuration) * anim.dKeyTimeScale);
    for (uint32_t i = 0; i < anim.dwNumTracks; ++i) {
        const tNodeAnim& t = anim.pTracks[i];
        strLinkField* f = t.pLinkField;
        f->vTranslation =
            t.nT ? Reference(t.fTimeTranslation, t.vTranslation, t.nT, T, Lerp) : math::Vec3{0, 0, 0};
        f->qRotation =
            t.nR ? Reference(t.fTimeRotation, t.qRotation, t.nR, T, math::QuatSlerp) : math::Quat{};
        f->vScale = t.nS ? Reference(t.fTimeScale, t.vScale, t.nS, T, Lerp) : math::Vec3{1, 1, 1};
        f->mLocal = math::MatrixTransformation(f->vScale, f->qRotation, f->vTranslation);
    }
}

// Scattered channel times over four loops of the animation.
std::vector<double> Times(double duration, size_t count) {
    std::vector<double> times(count);
    uint32_t state = 12345;
    for (double& t : times) {
        state = state * 1103515245u + 12345u;
        t = double(state >> 8) / double(1u << 24) * 4.0 * duration;
    }
    return times;
}

void RunPair(benchmark::State& state, strSkinMeshAnimation& anim) {
    const std::vector<double> times = Times(anim.dDuration, 1024);
    AnimationChannel channel;
    channel.bLoop = true;
    const uint64_t allocationsBefore = g_Allocations.load();
    for (auto _ : state)
        for (double t : times) {
            channel.dTime = t;
            ESkinMeshAnimation::Sample(&anim, &channel);
        }
    const double samples = double(state.iterations()) * double(times.size());
    state.counters["allocations_per_sample"] = double(g_Allocations.load() - allocationsBefore) / samples;

    constexpr int kRounds = 20;
    const double start = ThreadCpuNanos();
    for (int r = 0; r < kRounds; ++r)
        for (double t : times)
            ReferenceSample(anim, t);
    const double referenceNs = (ThreadCpuNanos() - start) / double(kRounds * times.size());
    state.counters["samples"] = benchmark::Counter(samples, benchmark::Counter::kIsRate);
    state.counters["reference_samples"] = 1e9 / referenceNs;
    // Finished after the run: samples per second of ours over the reference's.
    state.counters["ratio"] = benchmark::Counter(samples * referenceNs * 1e-9, benchmark::Counter::kIsRate);
}

void BM_SampleWalk(benchmark::State& state) {
    strSkinMeshAnimation anim;
    if (!ESkinMeshAnimation::Load_Animation_From_Bin_File((kDir + "idzie.bin").c_str(), &anim)) {
        state.SkipWithError("idzie.bin does not load");
        return;
    }
    RunPair(state, anim);
    ESkinMeshAnimation::FreeTracks(&anim);
}
BENCHMARK(BM_SampleWalk)->Unit(benchmark::kMicrosecond);

// One track of 2,000 keys with uneven gaps (0.5 to 1.5 key units).
void BM_SampleLongTrack(benchmark::State& state) {
    constexpr uint32_t n = 2000;
    static float times[n];
    static math::Vec3 translations[n];
    static math::Quat rotations[n];
    float t = 0;
    uint32_t seed = 777;
    for (uint32_t i = 0; i < n; ++i) {
        times[i] = t;
        seed = seed * 1103515245u + 12345u;
        t += 0.5f + float(seed >> 8) / float(1u << 24);
        translations[i] = {float(i), float(i % 7), 0};
        rotations[i] = math::QuatRotationAxis({0, 1, 0}, float(i) * 0.01f);
    }
    tNodeAnim track;
    track.pLinkField = g_LinkFieldList.FindOrAdd("bench_long_track");
    track.nT = track.nR = n;
    track.fTimeTranslation = times;
    track.fTimeRotation = times;
    track.vTranslation = translations;
    track.qRotation = rotations;
    strSkinMeshAnimation anim;
    anim.dwNumTracks = 1;
    anim.pTracks = &track;
    anim.dKeyTimeScale = 1.0;
    anim.dDuration = double(times[n - 1]);
    RunPair(state, anim);
    anim.dwNumTracks = 0; // the arrays are this function's
    anim.pTracks = nullptr;
}
BENCHMARK(BM_SampleLongTrack)->Unit(benchmark::kMicrosecond);

const char* const kFiles[] = {"stoi_DEFAULT.bin", "idzie.bin",  "biegnie_2.bin",
                              "umiera.bin",       "celuje.bin", "glowa_gada.bin"};

void BM_LoadAnimation(benchmark::State& state) {
    const std::string path = kDir + kFiles[state.range(0)];
    state.SetLabel(kFiles[state.range(0)]);
    for (auto _ : state) {
        strSkinMeshAnimation anim;
        if (!ESkinMeshAnimation::Load_Animation_From_Bin_File(path.c_str(), &anim)) {
            state.SkipWithError("does not load");
            return;
        }
        ESkinMeshAnimation::FreeTracks(&anim);
    }
}
BENCHMARK(BM_LoadAnimation)->DenseRange(0, 5)->Unit(benchmark::kMicrosecond);

} // namespace
