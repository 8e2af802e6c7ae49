#include "actors/PostacMgr.h"

#include <cstdio>

#include "app/FileHelpers.h"
#include "render/Renderer.h"
#include "world/ObjectRecord.h"

PostacMgr g_PostacMgr;

void PostacMgr::DeleteDeadCharacters() {
    for (strpostac& p : m_Postacie) {
        if (p.bUsed && p.bDead) p = strpostac();
    }
}

void PostacMgr::Destroy() {
    for (strpostac& p : m_Postacie)
        p = strpostac();
    for (strEvent& e : m_Events)
        e = strEvent();
}

void PostacMgr::AddEvent(const math::Vec3& position, float radiusWalls, float radiusOpen, int32_t flag,
                         float radiusSeen, int32_t frames, int32_t flag2, int32_t flag3) {
    for (strEvent& e : m_Events) {
        if (e.bUsed) continue;
        e = {1, position, radiusWalls, radiusOpen, flag, radiusSeen, frames, flag2, flag3};
        return;
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

void PostacMgr::SetFazaByName(const char* name, const char* phase) {
    for (strpostac& p : m_Postacie)
        if (p.bUsed && !p.bDead && name && StrCmpNoCase(p.szName, name) == 0) {
            std::snprintf(p.szPhase, sizeof p.szPhase, "%s", phase ? phase : "");
            return;
        }
}

void PostacMgr::RunToByName(const char* name, const char* target, const char*, const char* phaseOnTarget,
                            const char*) {
    if (strpostac* p = FindByName(name, true)) {
        std::snprintf(p->szRunTarget, sizeof p->szRunTarget, "%s", target ? target : "");
        if (phaseOnTarget && *phaseOnTarget)
            std::snprintf(p->szPhase, sizeof p->szPhase, "%s", phaseOnTarget);
    }
}

strpostac* PostacMgr::RespawnCharacter(const char* description, const math::Vec3& position,
                                       const orientation&, const char* phase, ObjectRecord* respawner) {
    for (strpostac& p : m_Postacie) {
        if (p.bUsed) continue;
        p = strpostac();
        p.bUsed = true;
        std::snprintf(p.szName, sizeof p.szName, "%s", respawner ? respawner->szName : "");
        std::snprintf(p.szDescription, sizeof p.szDescription, "%s", description ? description : "");
        std::snprintf(p.szPhase, sizeof p.szPhase, "%s", phase ? phase : "");
        p.vPosition = position;
        p.hRespawner = respawner;
        return &p;
    }
    return nullptr;
}

void PostacMgr::PlayVoiceWithSubtitle(int, const char* file, const char*) {
    std::snprintf(m_szLastVoice, sizeof m_szLastVoice, "%s", file ? file : "");
}

void PostacMgr::TeleportCharacter(const char* name, const math::Vec3& position) {
    if (strpostac* p = FindByName(name, true)) p->vPosition = position;
}

void PostacMgr::Zabij(strpostac* p, const math::Vec3&) {
    if (p) p->bDead = true;
}

void PostacMgr::DrawDebug() {
    g_Renderer.RecordPass("PostacMgr::DrawDebug");
}
