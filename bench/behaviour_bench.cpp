// The behaviour layer's frame (the engine's update of the objects) over a
// world of 19 meshes (the demo world's count), 3,000 meshes, and a full
// object table: 3400 meshes and 100 lights with trigger zones; a third of the
// meshes with an action in motion, a third with death parameters; run
// through UpdateBehaviour with the level past its start, once with the camera
// still and once strafing across the meshes in steps the camera volume does
// not follow at once (each frame deciding every object's visibility; "drawn"
// is the mean number of objects marked visible). And the action interpreter
// on its own.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>

#include "app/Records.h"
#include "game/MainGame.h"
#include "platform/os/Os.h"
#include "world/Camera.h"
#include "world/DeathParams.h"
#include "world/Engine.h"
#include "world/EngineObject.h"
#include "world/ObjectAction.h"
#include "world/ObjectApi.h"
#include "world/ObjectRecord.h"

namespace {

ObjectRecord* Make(uint32_t type, const char* file, const math::Vec3& at) {
    AddObjectParams p;
    p.dwType = type;
    p.vPosition = at;
    std::snprintf(p.szFileName, sizeof p.szFileName, "%s", file);
    return g_Engine.AddObject(p);
}

class FullWorld : public benchmark::Fixture {
  public:
    void SetUp(const benchmark::State& state) override {
        const int meshes = std::min<int>(int(state.range(0)), EEngine::FIRST_SKINMESH);
        const int lights =
            state.range(0) > EEngine::FIRST_SKINMESH ? EEngine::FIRST_SPRITE - EEngine::FIRST_LIGHT : 0;
        os::SetStartDirectory(std::string(ZT_SOURCE_DIR) + "/data");
        auto lift = std::make_unique<ObjectAction>();
        lift->dwGeneralOpt1 = 1;
        lift->fMoving2 = 1;
        lift->fMoving4 = 10;
        lift->fMoving5 = 1e9f; // keeps moving for the whole run
        lift->fRotation1 = 1e9f;
        lift->fRotation4 = 0.1f;
        auto zone = std::make_unique<ObjectAction>();
        zone->dwGeneralOpt1 = zone->dwGeneralOpt2 = zone->dwGeneral21 = 1;
        auto death = std::make_unique<DeathParams>();
        death->bOn = 1;
        for (int i = EEngine::FIRST_MESH; i < meshes; ++i) {
            const math::Vec3 at{float(i % 60) * 100.0f, 0.0f, float(i / 60) * 100.0f};
            ObjectRecord* h = Make(OT_MESH, "models\\box.x", at);
            if (i % 3 == 0) {
                SetObjectAction(h, *lift);
                g_EngineObject.RunAction(h, false);
            } else if (i % 3 == 1) {
                SetObjectDeathParams(h, *death);
            }
        }
        for (int i = EEngine::FIRST_LIGHT; i < EEngine::FIRST_LIGHT + lights; ++i) {
            ObjectRecord* h = Make(OT_LIGHT, "", {float(i) * 10.0f, 0.0f, 7000.0f});
            SetObjectAction(h, *zone);
        }
        g_Engine.m_bWorldRunning = 1;
        g_MainGame.m_iLevelFrame = 300;
        g_Engine.m_fFrameTime = 1.0f / 60.0f;
    }
    void TearDown(const benchmark::State&) override {
        g_Engine.DeleteWorldObjects(true);
        g_MainGame.m_iLevelFrame = 0;
    }
};

BENCHMARK_DEFINE_F(FullWorld, UpdateBehaviour)(benchmark::State& state) {
    for (auto _ : state)
        g_EngineObject.UpdateBehaviour();
    state.SetItemsProcessed(state.iterations() * g_Engine.NumObjects());
}
BENCHMARK_REGISTER_F(FullWorld, UpdateBehaviour)
    ->Arg(19)
    ->Arg(3000)
    ->Arg(3500)
    ->ArgName("objects")
    ->Unit(benchmark::kMicrosecond);

BENCHMARK_DEFINE_F(FullWorld, UpdateBehaviourStrafing)(benchmark::State& state) {
    orientation look;
    look.SetDirection(math::Vec3{0, 0, 1});
    g_Camera.SetOrientation(look);
    float x = 0, step = 40;
    double drawn = 0;
    for (auto _ : state) {
        x += step;
        if (x < 0 || x > 5900) step = -step;
        g_Camera.SetPosition({x, 150, -300});
        g_Engine.m_bCameraPlaced = 1;
        g_EngineObject.UpdateBehaviour();
        state.PauseTiming();
        int visible = 0;
        g_Engine.ForEachSlotBelowHighWater([&](int slot) { visible += g_Engine.Object(slot)->bVisibleNow; });
        drawn += visible;
        state.ResumeTiming();
    }
    g_Engine.m_bCameraPlaced = 0;
    state.SetItemsProcessed(state.iterations() * g_Engine.NumObjects());
    state.counters["drawn"] = drawn / double(state.iterations());
}
BENCHMARK_REGISTER_F(FullWorld, UpdateBehaviourStrafing)
    ->Arg(3000)
    ->ArgName("objects")
    ->Unit(benchmark::kMicrosecond);

// One run of an action with a handful of effects, from the gates to the end.
void BM_RunAction(benchmark::State& state) {
    ObjectRecord* h = Make(OT_LIGHT, "", {});
    auto a = std::make_unique<ObjectAction>();
    a->dwGeneralOpt1 = 1;
    a->fMoving2 = 1;
    a->fMoving4 = 10;
    a->fMoving5 = 100;
    a->bPlayerMoveAndViewTurnOnPanoramicScreen = 1;
    a->bCharacterAllowSprint = 1;
    SetObjectAction(h, *a);
    for (auto _ : state) {
        h->bInMotion = 0;
        g_EngineObject.RunAction(h, false);
    }
    g_Engine.DeleteObject(h);
}
BENCHMARK(BM_RunAction);

} // namespace
