// libFuzzer target: any bytes as the rigid-body block of a saved object, read
// into a crate's body. The reader must finish every input without a crash or
// a read outside its data, and leave a body that is still in use with a state
// of finite numbers and a mass above 0, whether it took the block or not.
//
// The seeds (corpus/rigid_body_block/) are blocks the game wrote: a crate in
// flight, the same crate at rest, and a mesh without a body.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "app/Records.h"
#include "game/GameStart.h"
#include "physics/RigidBodySimulation.h"
#include "tests/fuzz/FuzzSupport.h"
#include "tests/world/WorldReset.h"
#include "world/Engine.h"
#include "world/ObjectApi.h"
#include "world/ObjectRecord.h"

namespace {

ObjectRecord* g_Crate = nullptr;

void AtExit() {
    g_RigidBodySimulation.Destroy();
    wftest::ClearWorld();
}

ObjectRecord* MakeCrate() {
    g_RigidBodySimulation.Reset();
    AddObjectParams p;
    p.dwType = OT_MESH;
    std::snprintf(p.szFileName, sizeof p.szFileName, "models\\box.x");
    ObjectRecord* h = g_Engine.AddObject(p);
    if (!h) std::abort();
    SetObjectName(h, "crate");
    RigidBodyPhysicsParams params;
    params.Reset();
    params.iShape = 1;
    params.fMass = 12.0f;
    SetObjectRigidBodyPhysicsParams(h, params);
    h->dwRigidBody = g_RigidBodySimulation.RefOf(g_RigidBodySimulation.AddBody(h));
    if (!h->dwRigidBody) std::abort();
    return h;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool prepared = (fuzz::PrepareDataDirectory({}, {"models", "prefabs"}), StartGameLayers(),
                            g_Crate = MakeCrate(), std::atexit(AtExit), true);
    (void)prepared;
    g_RigidBodySimulation.ReadSaveBlock(g_Crate, data, size);
    ERigidBodyPhysics* body = nullptr;
    if (!g_RigidBodySimulation.FindBody(g_Crate, &body) || !body->m_bInUse) std::abort();
    if (!body->m_State.AllFinite() || !(body->m_State.mass > 0.0)) std::abort();
    return 0;
}
