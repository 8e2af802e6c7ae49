#include "physics/IntersectSegment.h"

#include "app/Records.h"
#include "world/ObjectRecord.h"

EIntersectSegment g_IntersectSegment;

void EIntersectSegment::RegisterObject(ObjectRecord* h) {
    if (!h || h->iSegmentSlot[0] > 0) return;
    for (int i = 1; i <= MAX_SLOTS; ++i) {
        if (!m_Slots[i]) {
            m_Slots[i] = h;
            h->iSegmentSlot[0] = i;
            ++m_iNumRegistered;
            return;
        }
    }
}

void EIntersectSegment::RemoveObject(ObjectRecord* h) {
    if (!h) return;
    const int slot = h->iSegmentSlot[0];
    if (slot > 0 && slot <= MAX_SLOTS && m_Slots[slot] == h) {
        m_Slots[slot] = nullptr;
        --m_iNumRegistered;
    }
    h->iSegmentSlot[0] = 0;
}

void EIntersectSegment::RefreshObject(ObjectRecord* h) {
    if (h) ++m_dwRefreshCount;
}

void EIntersectSegment::RegisterAllObjects() {
    for (int i = 1; i <= MAX_SLOTS; ++i) {
        if (m_Slots[i]) m_Slots[i]->iSegmentSlot[0] = 0;
        m_Slots[i] = nullptr;
    }
    m_iNumRegistered = 0;
    for (int slot = 0; slot < EEngine::MAX_OBJECTS; ++slot) {
        ObjectRecord* h = g_Engine.Object(slot);
        if (h->bUsed && (h->dwType == OT_MESH || h->dwType == OT_SKINMESH)) RegisterObject(h);
    }
}

bool EIntersectSegment::Test(const SegmentQuery&, SegmentHit* hit) {
    if (hit) hit->Reset();
    return false;
}
