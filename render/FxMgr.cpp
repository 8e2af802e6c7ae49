#include "render/FxMgr.h"

#include "world/Engine.h"

FxMgr g_FxMgr;

FxInstance* FxMgr::SpawnFxByName(const char*, const math::Vec3*, const orientation*) {
    return nullptr;
}

void FxMgr::KillFx(uint32_t index) {
    if (index >= MAX_INSTANCES || !m_Instances[index].bInUse) return;
    if (m_Instances[index].hObject) g_Engine.DeleteObject(m_Instances[index].hObject);
    m_Instances[index] = FxInstance{};
}
