#include "physics/CollisionMgr.h"

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
