// The render lists of one frame over a full registry: 1023 textures whose
// users fill the 3400 static-mesh slots (three subsets each) and the 400
// skinned-mesh slots (two each), half of the objects in view, every one seen.
// The build walks the records into the grouped lists and joins them, the
// culling keeps what was seen and joins again, the join alone copies the two
// lists. The "allocations" counter gives the heap allocations per frame.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>

#include "bench/Allocations.h"
#include "render/Renderer.h"
#include "world/Engine.h"
#include "world/EngineObjectFlags.h"
#include "world/ObjectRecord.h"

namespace {

class FullFrame {
  public:
    FullFrame() {
        g_Renderer.ReleaseTextures();
        for (uint32_t i = 0; i < ERenderer::MAX_LISTED; ++i) {
            strtexture* t = g_Renderer.AddTextureRecord(("t" + std::to_string(i)).c_str());
            // A spread of description keys and classes.
            t->desc.bSpecular = i % 3 == 0;
            t->desc.bWater = i % 97 == 0;
            t->desc.b2Sided = i % 5 == 0;
            t->desc.bTransparent = i % 11 == 0;
            t->desc.bTranslucent = i % 13 == 0;
            t->desc.bAdditive = i % 17 == 0;
            t->desc.bStain = i % 19 == 0;
            t->bAnimated = i % 23 == 0;
            textures_[i] = t;
        }
        for (int slot = EEngine::FIRST_MESH; slot < EEngine::FIRST_SKINMESH; ++slot)
            for (int k = 0; k < 3; ++k)
                Use(Place(slot), textures_[(slot * 3 + k) % ERenderer::MAX_LISTED], false);
        for (int slot = EEngine::FIRST_SKINMESH; slot < EEngine::FIRST_SKINMESH + 400; ++slot)
            for (int k = 0; k < 2; ++k)
                Use(Place(slot), textures_[(slot * 2 + k) % ERenderer::MAX_LISTED], true);
    }
    ~FullFrame() {
        g_Renderer.ReleaseTextures();
        for (int slot = EEngine::FIRST_MESH; slot < EEngine::FIRST_SKINMESH + 400; ++slot)
            g_Engine.Object(slot)->Clear();
    }

  private:
    static ObjectRecord* Place(int slot) {
        ObjectRecord* h = g_Engine.Object(slot);
        h->bUsed = 1;
        h->bVisibleNow = slot % 2;
        h->bSeen = 1;
        h->dwFlags = objflags::kFlagVisible;
        return h;
    }
    static void Use(ObjectRecord* h, strtexture* t, bool skinned) {
        if (skinned) {
            auto* n = new strlistaskinmeshy();
            n->m_hObject = h;
            n->next = t->pSkinMeshes;
            t->pSkinMeshes = n;
        } else {
            auto* n = new strlistameshy();
            n->m_hObject = h;
            n->next = t->pMeshes;
            t->pMeshes = n;
        }
    }
    strtexture* textures_[ERenderer::MAX_LISTED] = {};
};

// Runs the step once per iteration and reports its allocations.
template <class Step> void PerFrame(benchmark::State& state, Step step) {
    uint64_t allocations = 0;
    for (auto _ : state) {
        const uint64_t before = g_Allocations.load(std::memory_order_relaxed);
        step();
        allocations += g_Allocations.load(std::memory_order_relaxed) - before;
        benchmark::DoNotOptimize(g_Renderer.m_pAllTextures[0]);
    }
    state.counters["allocations"] =
        benchmark::Counter(double(allocations), benchmark::Counter::kAvgIterations);
}

void BM_BuildRenderLists(benchmark::State& state) {
    FullFrame frame;
    PerFrame(state, [] { g_Renderer.BuildRenderLists(); });
}
BENCHMARK(BM_BuildRenderLists);

// The culling changes the lists: each frame starts from the built ones,
// copied back outside the timing.
void BM_CullRenderLists(benchmark::State& state) {
    FullFrame frame;
    g_Renderer.BuildRenderLists();
    static strtexture* meshes[ERenderer::MAX_LISTED + 1];
    static strtexture* skinned[ERenderer::MAX_LISTED + 1];
    std::memcpy(meshes, g_Renderer.m_pMeshTextures, sizeof meshes);
    std::memcpy(skinned, g_Renderer.m_pSkinMeshTextures, sizeof skinned);
    uint64_t allocations = 0;
    for (auto _ : state) {
        state.PauseTiming();
        std::memcpy(g_Renderer.m_pMeshTextures, meshes, sizeof meshes);
        std::memcpy(g_Renderer.m_pSkinMeshTextures, skinned, sizeof skinned);
        state.ResumeTiming();
        const uint64_t before = g_Allocations.load(std::memory_order_relaxed);
        g_Renderer.CullRenderLists();
        allocations += g_Allocations.load(std::memory_order_relaxed) - before;
        benchmark::DoNotOptimize(g_Renderer.m_pAllTextures[0]);
    }
    state.counters["allocations"] =
        benchmark::Counter(double(allocations), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_CullRenderLists);

void BM_MergeRenderLists(benchmark::State& state) {
    FullFrame frame;
    g_Renderer.BuildRenderLists();
    PerFrame(state, [] { g_Renderer.MergeRenderLists(); });
}
BENCHMARK(BM_MergeRenderLists);

} // namespace
