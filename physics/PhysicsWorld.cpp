#include "physics/PhysicsWorld.h"

namespace physicsworld {

namespace {
Hooks g_Hooks;
} // namespace

const Hooks& World() {
    return g_Hooks;
}

void InstallPhysicsWorld(const Hooks& hooks) {
    g_Hooks = hooks;
}

} // namespace physicsworld
