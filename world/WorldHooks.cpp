#include "world/WorldHooks.h"

namespace {
WorldHooks g_WorldHooks;
} // namespace

const WorldHooks& TheWorldHooks() {
    return g_WorldHooks;
}

void InstallWorldHooks(const WorldHooks& hooks) {
    g_WorldHooks = hooks;
}
