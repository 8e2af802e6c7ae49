// Per-frame work of the engine world: objects advanced along Bezier paths,
// the camera's frame step with both shakes, the visibility-blocker test of a
// skinned mesh against all 50 blockers, and an object filter over the table
// holding a world.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "app/Records.h"
#include "platform/os/Os.h"
#include "world/BezierMgr.h"
#include "world/Camera.h"
#include "world/Engine.h"
#include "world/Filters.h"
#include "world/ObjectApi.h"
#include "world/ObjectRecord.h"
#include "world/VisBlockers.h"

namespace {

void UseDemoData() {
    os::SetStartDirectory(std::string(ZT_SOURCE_DIR) + "/data");
}

ObjectRecord* Make(uint32_t type, const char* file, const math::Vec3& position = {}) {
    AddObjectParams p;
    p.dwType = type;
    p.vPosition = position;
    std::snprintf(p.szFileName, sizeof p.szFileName, "%s", file);
    return g_Engine.AddObject(p);
}

// A square loop of four curved segments, 600 units a side.
void MakeLoop() {
    g_BezierMgr.FreeAll();
    const math::Vec3 corners[4] = {{-300, 0, -300}, {300, 0, -300}, {300, 0, 300}, {-300, 0, 300}};
    for (uint32_t i = 0; i < 4; ++i) {
        BezierNode* n = g_BezierMgr.AllocNode();
        std::snprintf(n->szName, sizeof n->szName, "loop_%u", i);
        n->nr = i;
        n->dwNextNr = (i + 1) % 4;
        n->vPosition = corners[i];
        const math::Vec3 to = corners[(i + 1) % 4];
        n->vControl1 = corners[i] + (to - corners[i]) * 0.33f + math::Vec3(0, 50, 0);
        n->vControl2 = corners[i] + (to - corners[i]) * 0.66f - math::Vec3(0, 50, 0);
        n->fValues[0] = 150.0f + 20.0f * float(i);
    }
    g_BezierMgr.LinkAndSample();
}

void BM_BezierSampleNode(benchmark::State& state) {
    MakeLoop();
    BezierNode* node = g_BezierMgr.FindNode("loop_0");
    for (auto _ : state) {
        BezierMgr::SampleNode(node);
        benchmark::DoNotOptimize(node->dLength);
    }
    g_BezierMgr.FreeAll();
}
BENCHMARK(BM_BezierSampleNode);

// Movers are type-2 objects (no mesh), so the cost is the path step itself.
void BM_BezierUpdateObjects(benchmark::State& state) {
    MakeLoop();
    const int movers = int(state.range(0));
    for (int i = 0; i < movers; ++i) {
        ObjectRecord* h = Make(OT_LIGHT, "");
        BezierMovingParams p;
        p.bActive = 1;
        std::snprintf(p.szStartNode, sizeof p.szStartNode, "loop_%d", i % 4);
        SetObjectBezierMovingParams(h, p);
        StartObjectBezierMoving(h);
    }
    for (auto _ : state)
        g_BezierMgr.UpdateObjects(1.0f / 60.0f);
    state.SetItemsProcessed(state.iterations() * movers);
    g_Engine.DeleteWorldObjects(true);
    g_BezierMgr.FreeAll();
}
BENCHMARK(BM_BezierUpdateObjects)->Arg(1)->Arg(100);

void BM_CameraUpdateWithShakes(benchmark::State& state) {
    ECamera camera;
    ShakeScreenParams p;
    p.fDuration = 1e9f;
    camera.ShakeScreen(p, {10, 0, 0});
    camera.SetConstantShakeScreen(p, nullptr);
    for (auto _ : state) {
        camera.Update(1.0f / 60.0f);
        benchmark::DoNotOptimize(camera.View());
    }
}
BENCHMARK(BM_CameraUpdateWithShakes);

// A character wholly behind the last of 50 blockers: every sample point is
// tested against every triangle before it counts as blocked.
void BM_VisBlockersIsObjectHidden(benchmark::State& state) {
    UseDemoData();
    g_VisBlockers.Clear();
    // 49 blockers far to the side, then the one in the way.
    for (int i = 0; i < VisBlockers::MAX_VISIBILITY_BLOCKERS - 1; ++i) {
        ObjectRecord* h =
            Make(OT_MESH, "models\\blockers\\visibility_blocker.x", {float(i) * 1000.0f + 5000.0f, 0, 0});
        g_VisBlockers.AddBlocker(h);
        g_Engine.DeleteObject(h);
    }
    ObjectRecord* last = Make(OT_MESH, "models\\blockers\\visibility_blocker.x", {0, 0, 0});
    g_VisBlockers.AddBlocker(last);
    ObjectRecord* character = Make(OT_SKINMESH, "models\\box.x", {0, 0, 100});
    const math::Vec3 eye(0, 32, -300);
    for (auto _ : state)
        benchmark::DoNotOptimize(g_VisBlockers.IsObjectHidden(eye, character));
    g_VisBlockers.Clear();
    g_Engine.DeleteWorldObjects(true);
}
BENCHMARK(BM_VisBlockersIsObjectHidden);

// One filter pass over every slot of the object table holding a world of
// the given number of mesh objects (the demo's 19, a crowded 3,000), every
// third one hidden, so that the filter reads each record in use.
void BM_ObjectFilterOverTable(benchmark::State& state) {
    UseDemoData();
    for (int i = 0; i < state.range(0); ++i) {
        ObjectRecord* o = Make(OT_MESH, "models\\box.x", {float(i % 60) * 100.0f, 0, float(i / 60) * 100.0f});
        if (o && i % 3 == 0) o->dwFlags |= 0x2000; // dead or hidden
    }
    for (auto _ : state) {
        int accepted = 0;
        for (int slot = 0; slot < EEngine::MAX_OBJECTS; ++slot)
            accepted += ObjectFilter11(g_Engine.Object(slot), nullptr);
        benchmark::DoNotOptimize(accepted);
    }
    state.SetItemsProcessed(state.iterations() * EEngine::MAX_OBJECTS);
    g_Engine.DeleteWorldObjects(true);
}
BENCHMARK(BM_ObjectFilterOverTable)->Arg(19)->Arg(3000)->ArgName("objects");

} // namespace
