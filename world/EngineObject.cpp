#include "world/EngineObject.h"

#include "app/Options.h"
#include "game/Menu.h"
#include "world/BezierMgr.h"
#include "world/Engine.h"
#include "world/ObjectRecord.h"

EEngineObject g_EngineObject;

namespace {
constexpr uint32_t MAX_SECTORS = 256;
bool g_bSectorHidden[MAX_SECTORS];
}  // namespace

void EEngineObject::RunAction(ObjectRecord* object, bool automatic) {
    if (!object) return;
    m_pLastActionObject = object;
    ++m_iActionsRun;
}

void EEngineObject::HandleDeath(ObjectRecord* object, const math::Vec3*, const math::Vec3*) {
    if (!object || object->bDying || !object->pDeathParams) return;
    object->bDying = 1;
}

void SetSectorHidden(uint32_t sector, bool hidden) {
    if (sector == 0 || sector >= MAX_SECTORS) return;
    g_bSectorHidden[sector] = hidden;
}

bool IsSectorHidden(uint32_t sector) { return sector < MAX_SECTORS && g_bSectorHidden[sector]; }

void EEngineObject::UpdateBehaviour() {
    if (!UpdateObjects) return;
    if (!g_Menu.IsOpen() && UpdateBezier) g_BezierMgr.UpdateObjects(g_Engine.m_fFrameTime);
}
