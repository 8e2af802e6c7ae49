// One draw's parameter work on an effect: three matrices, two vectors and a
// float set and committed, beside the same uploads made with glUniform*
// directly on the same program. The ratio of the two is the effect layer's
// cost (good: 1.5 or less). The "allocs" counter counts heap allocations
// per iteration of the effect path (expected 0).
// Benchmarks that draw report wall time: llvmpipe rasterises on threads of
// its own, which the CPU time of this thread leaves out.
#include <benchmark/benchmark.h>

#include <GL/glcorearb.h>
#include <SDL2/SDL.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>

#include "bench/Allocations.h"
#include "bench/HeadlessDevice.h"
#include "platform/effect/Effect.h"
#include "platform/gfx/gl/GlProgram.h"
#include "platform/math/Math.h"

std::atomic<uint64_t> g_Allocations{0};

namespace {

const char* const kEffect = R"(
parameter float4x4 g_mWorld;
parameter float4x4 g_mView;
parameter float4x4 g_mWorldViewProjection;
parameter float4 g_AmbientLightDiffuse;
parameter float4 g_CameraPosition;
parameter float g_fFarClip;
input float3 aPos : POSITION;
glsl vertex vs { out vec4 vColor; void main() {
    vec4 p = g_mWorldViewProjection * g_mView * g_mWorld * vec4(aPos, 1.0);
    vColor = g_AmbientLightDiffuse + g_CameraPosition * g_fFarClip; gl_Position = p; } }
glsl fragment fs { in vec4 vColor; void main() { FragColor = vColor; } }
technique T { pass { vertex vs; fragment fs; } }
)";

struct Bench : bench::HeadlessDevice {
    Bench() : HeadlessDevice("effect bench", 64, 64) {
        if (!dev) return;
        std::string errors;
        if (effect::CreateEffect(dev, kEffect, "fx\\bench.glfx", 0, &e, &errors) != gfx::Result::Ok) return;
        world = e->GetParameterByName({}, "g_mWorld");
        view = e->GetParameterByName({}, "g_mView");
        wvp = e->GetParameterByName({}, "g_mWorldViewProjection");
        ambient = e->GetParameterByName({}, "g_AmbientLightDiffuse");
        camera = e->GetParameterByName({}, "g_CameraPosition");
        farClip = e->GetParameterByName({}, "g_fFarClip");
        e->SetTechnique(e->GetTechnique(0));
        e->Begin(nullptr, 0);
        e->BeginPass(0);
    }
    ~Bench() {
        if (!e) return;
        e->EndPass();
        e->End();
        e->Release();
    }
    effect::Effect* e = nullptr;
    effect::Handle world, view, wvp, ambient, camera, farClip;
};

math::Matrix Matrix(int i) {
    return math::MatrixTranslation(float(i), 2.0f, 3.0f);
}

void BM_EffectParametersPerDraw(benchmark::State& state) {
    Bench b;
    if (!b.e) return state.SkipWithError("no device");
    const math::Matrix m[3] = {Matrix(1), Matrix(2), Matrix(3)};
    int i = 0;
    uint64_t allocations = 0;
    for (auto _ : state) {
        const float f = float(++i & 15);
        const uint64_t before = g_Allocations.load(std::memory_order_relaxed);
        b.e->SetMatrix(b.world, m[0]);
        b.e->SetMatrix(b.view, m[1]);
        b.e->SetMatrix(b.wvp, m[2]);
        b.e->SetVector(b.ambient, {f, 0.5f, 0.5f, 1});
        b.e->SetVector(b.camera, {1, 2, f, 1});
        b.e->SetFloat(b.farClip, f);
        b.e->CommitChanges();
        allocations += g_Allocations.load(std::memory_order_relaxed) - before;
    }
    state.counters["allocs"] = benchmark::Counter(double(allocations), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_EffectParametersPerDraw);

void BM_GlUniformsPerDraw(benchmark::State& state) {
    Bench b;
    if (!b.e) return state.SkipWithError("no device");
    const auto* program = static_cast<const gfx::gl::GlProgram*>(b.dev->GetProgram());
    const GLuint name = program->Name();
    auto useProgram = reinterpret_cast<PFNGLUSEPROGRAMPROC>(SDL_GL_GetProcAddress("glUseProgram"));
    auto location = reinterpret_cast<PFNGLGETUNIFORMLOCATIONPROC>(SDL_GL_GetProcAddress("glGetUniformLocation"));
    auto matrix4 = reinterpret_cast<PFNGLUNIFORMMATRIX4FVPROC>(SDL_GL_GetProcAddress("glUniformMatrix4fv"));
    auto vector4 = reinterpret_cast<PFNGLUNIFORM4FVPROC>(SDL_GL_GetProcAddress("glUniform4fv"));
    auto float1 = reinterpret_cast<PFNGLUNIFORM1FPROC>(SDL_GL_GetProcAddress("glUniform1f"));
    const GLint world = location(name, "g_mWorld"), view = location(name, "g_mView"),
                wvp = location(name, "g_mWorldViewProjection"), ambient = location(name, "g_AmbientLightDiffuse"),
                camera = location(name, "g_CameraPosition"), farClip = location(name, "g_fFarClip");
    const math::Matrix m[3] = {Matrix(1), Matrix(2), Matrix(3)};
    int i = 0;
    for (auto _ : state) {
        const float f = float(++i & 15);
        useProgram(name);
        matrix4(world, 1, GL_FALSE, &m[0].m[0][0]);
        matrix4(view, 1, GL_FALSE, &m[1].m[0][0]);
        matrix4(wvp, 1, GL_FALSE, &m[2].m[0][0]);
        const float a[4] = {f, 0.5f, 0.5f, 1}, c[4] = {1, 2, f, 1};
        vector4(ambient, 1, a);
        vector4(camera, 1, c);
        float1(farClip, f);
    }
}
BENCHMARK(BM_GlUniformsPerDraw)->UseRealTime();

} // namespace

// Counts every heap allocation of the benchmark process.
void* operator new(size_t size) {
    g_Allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
// The non-throwing form too: otherwise its memory would come from the
// sanitizer's own allocator and be freed by the delete below.
void* operator new(size_t size, const std::nothrow_t&) noexcept {
    g_Allocations.fetch_add(1, std::memory_order_relaxed);
    return std::malloc(size ? size : 1);
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, size_t) noexcept {
    std::free(p);
}
