#include "actors/ActorHooks.h"

namespace actorhooks {

namespace {
Hooks g_Hooks;
} // namespace

const Hooks& Game() {
    return g_Hooks;
}

void InstallActorHooks(const Hooks& hooks) {
    g_Hooks = hooks;
}

} // namespace actorhooks
