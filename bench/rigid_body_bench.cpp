// The inertia-tensor computation of each construction prefab (and the
// L-shaped prop): one sampling of the solid, 41 or 42 points per axis, each
// tested against every face. It runs once per mesh, when the mesh has no
// file yet; there is no peer to compare with.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "app/Records.h"
#include "physics/RigidBodyParametersMgr.h"
#include "physics/RigidBodyPhysics.h"
#include "platform/os/Os.h"
#include "render/MeshMgr.h"
#include "tests/world/WorldReset.h"
#include "world/Engine.h"
#include "world/ObjectRecord.h"

namespace {

const char* const kMeshes[] = {"prefabs\\special\\rigidbody_box.x", "prefabs\\special\\rigidbody_cylinder.x",
                               "prefabs\\special\\rigidbody_sphere.x", "models\\l_prop.x"};

// A copy of the demo data, the start directory while the benchmarks run.
struct DataCopy {
    DataCopy() {
        namespace fs = std::filesystem;
        dir = fs::temp_directory_path() / ("zt_bench_rigid_" + std::to_string(::getpid()));
        fs::remove_all(dir);
        fs::copy(fs::path(ZT_SOURCE_DIR) / "data", dir, fs::copy_options::recursive);
        previous = os::StartDirectory();
        os::SetStartDirectory(dir.string());
    }
    ~DataCopy() {
        wftest::ClearWorld();
        g_MeshMgr.ReleaseAll();
        os::SetStartDirectory(previous);
        std::filesystem::remove_all(dir);
    }
    std::filesystem::path dir;
    std::string previous;
};

void BM_ComputeInertiaTensor(benchmark::State& state) {
    static DataCopy data;
    const char* mesh = kMeshes[state.range(0)];
    state.SetLabel(mesh);
    AddObjectParams p;
    p.dwType = OT_MESH;
    std::snprintf(p.szFileName, sizeof p.szFileName, "%s", mesh);
    p.dwFlags = 12;
    ObjectRecord* h = g_Engine.AddObject(p);
    if (!h) {
        state.SkipWithError("the mesh could not be created");
        return;
    }
    double I[9];
    for (auto _ : state) {
        ERigidBodyParametersMgr::ComputeInertiaTensor(h, I);
        benchmark::DoNotOptimize(I);
    }
    g_Engine.DeleteObject(h);
}
BENCHMARK(BM_ComputeInertiaTensor)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);

// One body's step with its error estimate (two half steps and a full one),
// run for every awake body up to twice a frame; and the re-derivation of a
// state alone.
void BM_IntegrateBody(benchmark::State& state) {
    ERigidBodyPhysics b;
    b.m_bInUse = 1;
    b.m_bActive = 1;
    RigidBodyState& s = b.m_State;
    s.mass = 8.0;
    s.q[0] = 0.2;
    s.q[3] = 1.0;
    for (int i = 0; i < 9; i += 4)
        s.Ibody[i] = s.Ibodyinv[i] = 1.0 + i;
    s.P[0] = 40.0;
    s.L[1] = 3.0;
    ERigidBodyPhysics::SetNewState(&s);
    RigidBodyState out;
    for (auto _ : state) {
        b.Integrate(0.0, 1.0 / 60.0, &out, true);
        benchmark::DoNotOptimize(out);
    }
    b.m_bInUse = 0;
}
BENCHMARK(BM_IntegrateBody);

void BM_SetNewState(benchmark::State& state) {
    RigidBodyState s{};
    s.mass = 8.0;
    s.q[1] = 0.4;
    s.q[3] = 0.9;
    for (int i = 0; i < 9; i += 4)
        s.Ibodyinv[i] = 0.5;
    s.L[2] = 1.0;
    for (auto _ : state) {
        ERigidBodyPhysics::SetNewState(&s);
        benchmark::DoNotOptimize(s);
    }
}
BENCHMARK(BM_SetNewState);

} // namespace
