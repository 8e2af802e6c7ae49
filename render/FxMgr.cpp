#include "render/FxMgr.h"

#include <cstdio>

#include "world/Engine.h"

FxMgr g_FxMgr;

FxInstance* FxMgr::SpawnFxByName(const char* name, const math::Vec3* position, const orientation*) {
    if (!name || !name[0]) return nullptr;
    std::snprintf(m_szLastSpawnName, sizeof m_szLastSpawnName, "%s", name);
    m_vLastSpawnPosition = position ? *position : math::Vec3{};
    ++m_dwSpawnRequests;
    return nullptr;
}

void FxMgr::KillFx(uint32_t index) {
    if (index >= MAX_INSTANCES || !m_Instances[index].bInUse) return;
    if (m_Instances[index].hObject) g_Engine.DeleteObject(m_Instances[index].hObject);
    m_Instances[index] = FxInstance{};
}
