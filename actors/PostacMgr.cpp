#include "actors/PostacMgr.h"

#include "app/FileHelpers.h"

PostacMgr g_PostacMgr;

void PostacMgr::DeleteDeadCharacters() {
    for (strpostac& p : m_Postacie) {
        if (p.bUsed && p.bDead) p = strpostac();
    }
}

strpostac* PostacMgr::FindByName(const char* name, bool liveOnly) {
    if (!name || !*name) return nullptr;
    for (strpostac& p : m_Postacie)
        if (p.bUsed && !(liveOnly && p.bDead) && StrCmpNoCase(p.szName, name) == 0) return &p;
    return nullptr;
}

void PostacMgr::FacePoint(strpostac* p, const math::Vec3& point) {
    if (!p) return;
    p->bFacePoint = 1;
    p->vFacePoint = point;
}
