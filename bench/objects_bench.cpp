// The object table across its full size: filling and emptying the slot
// ranges, and the searches by name and PESEL that walk slots 0-3899.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "app/Records.h"
#include "platform/os/Os.h"
#include "world/Engine.h"
#include "world/ObjectApi.h"
#include "world/ObjectRecord.h"

namespace {

// The demo data holds the box mesh the meshes are made of.
void UseDemoData() {
    os::SetStartDirectory(std::string(ZT_SOURCE_DIR) + "/data");
}

ObjectRecord* Make(uint32_t type, const char* file) {
    AddObjectParams p;
    p.dwType = type;
    std::snprintf(p.szFileName, sizeof p.szFileName, "%s", file);
    return g_Engine.AddObject(p);
}

void BM_CreateAndDeleteFullMeshRange(benchmark::State& state) {
    UseDemoData();
    for (auto _ : state) {
        for (int i = EEngine::FIRST_MESH; i < EEngine::FIRST_SKINMESH; ++i)
            benchmark::DoNotOptimize(Make(OT_MESH, "models\\box.x"));
        for (int i = EEngine::FIRST_SKINMESH - 1; i >= EEngine::FIRST_MESH; --i)
            g_Engine.DeleteObject(g_Engine.Object(i));
    }
    state.SetItemsProcessed(state.iterations() * (EEngine::FIRST_SKINMESH - EEngine::FIRST_MESH));
}
BENCHMARK(BM_CreateAndDeleteFullMeshRange)->Unit(benchmark::kMillisecond);

void BM_CreateAndDeleteLights(benchmark::State& state) {
    for (auto _ : state) {
        for (int i = EEngine::FIRST_LIGHT; i < EEngine::FIRST_SPRITE; ++i)
            benchmark::DoNotOptimize(Make(OT_LIGHT, ""));
        for (int i = EEngine::FIRST_LIGHT; i < EEngine::FIRST_SPRITE; ++i)
            g_Engine.DeleteObject(g_Engine.Object(i));
    }
    state.SetItemsProcessed(state.iterations() * (EEngine::FIRST_SPRITE - EEngine::FIRST_LIGHT));
}
BENCHMARK(BM_CreateAndDeleteLights);

// A full table of named objects; the searches look for the last one.
class FullTable : public benchmark::Fixture {
  public:
    void SetUp(const benchmark::State&) override {
        UseDemoData();
        char name[32];
        for (int i = 0; i < EEngine::FIRST_SKINMESH; ++i) {
            std::snprintf(name, sizeof name, "object_%d", i);
            SetObjectName(Make(OT_MESH, "models\\box.x"), name);
        }
        for (int i = EEngine::FIRST_LIGHT; i < EEngine::FIRST_SPRITE; ++i) {
            std::snprintf(name, sizeof name, "light_%d", i);
            SetObjectName(Make(OT_LIGHT, ""), name);
        }
        last_ = g_Engine.Object(EEngine::FIRST_SPRITE - 1);
    }
    void TearDown(const benchmark::State&) override { g_Engine.DeleteWorldObjects(true); }

  protected:
    ObjectRecord* last_ = nullptr;
};

BENCHMARK_F(FullTable, FindObjectByNameLast)(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(g_Engine.FindObjectByName("light_3899"));
}

BENCHMARK_F(FullTable, FindObjectByNameMissing)(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(g_Engine.FindObjectByName("nobody"));
}

BENCHMARK_F(FullTable, FindObjectByPeselLast)(benchmark::State& state) {
    const PESEL pesel = last_->Pesel;
    for (auto _ : state)
        benchmark::DoNotOptimize(g_Engine.FindObjectByPesel(pesel));
}

} // namespace
