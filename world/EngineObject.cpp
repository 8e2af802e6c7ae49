#include "world/EngineObject.h"

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

void SetSectorHidden(uint32_t sector, bool hidden) {
    if (sector == 0 || sector >= MAX_SECTORS) return;
    g_bSectorHidden[sector] = hidden;
}

bool IsSectorHidden(uint32_t sector) { return sector < MAX_SECTORS && g_bSectorHidden[sector]; }
