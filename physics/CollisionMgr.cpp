#include "physics/CollisionMgr.h"

#include <cmath>

#include "world/ObjectRecord.h"

ECollisionMgr g_CollisionMgr;

void ECollisionMgr::AddObject(ObjectRecord* h) {
    if (!h || h->iCollisionNumber > 0) return;
    for (int i = 1; i <= MAX_ENTRIES; ++i) {
        if (!m_Entries[i]) {
            m_Entries[i] = h;
            h->iCollisionNumber = i;
            ++m_iNumEntries;
            return;
        }
    }
}

void ECollisionMgr::DeleteObject(ObjectRecord* h) {
    if (!h || h->iCollisionNumber <= 0 || h->iCollisionNumber > MAX_ENTRIES) return;
    if (m_Entries[h->iCollisionNumber] == h) {
        m_Entries[h->iCollisionNumber] = nullptr;
        --m_iNumEntries;
    }
    h->iCollisionNumber = 0;
}

void ECollisionMgr::ComputeSubsetBoundingBoxes(ObjectRecord*) {}

void ECollisionMgr::UpdateObject(ObjectRecord*) {}

uint32_t ECollisionMgr::AddProjectorFinder(const math::Vec3& position, const orientation& o, float range,
                                           float angle) {
    for (uint32_t i = 1; i <= MAX_FINDERS; ++i) {
        if (m_Finders[i].bUsed) continue;
        m_Finders[i].bUsed = true;
        MoveProjectorFinder(i, position, o, range, angle);
        return i;
    }
    return 0;
}

void ECollisionMgr::MoveProjectorFinder(uint32_t finder, const math::Vec3& position, const orientation& o,
                                        float range, float angle) {
    if (finder == 0 || finder > MAX_FINDERS || !m_Finders[finder].bUsed) return;
    Finder& f = m_Finders[finder];
    f.vPosition = position;
    f.vDirection = o.forward;
    f.fRange = range;
    f.fAngle = angle;
}

void ECollisionMgr::RemoveFinder(uint32_t finder) {
    if (finder >= 1 && finder <= MAX_FINDERS) m_Finders[finder] = Finder{};
}

bool ECollisionMgr::IsObjectInLightFinder(uint32_t finder, const ObjectRecord* h, bool) const {
    if (!h || finder == 0 || finder > MAX_FINDERS || !m_Finders[finder].bUsed) return false;
    const Finder& f = m_Finders[finder];
    const math::Vec3 d = h->vPosition - f.vPosition;
    const float radius = float(h->iRange);
    const float along = d.x * f.vDirection.x + d.y * f.vDirection.y + d.z * f.vDirection.z;
    if (along < -radius || along > f.fRange + radius) return false;
    const math::Vec3 side = d - f.vDirection * along;
    const float across = std::sqrt(side.x * side.x + side.y * side.y + side.z * side.z);
    return across <= (along > 0.0f ? along : 0.0f) * std::tan(0.5f * f.fAngle) + radius;
}
