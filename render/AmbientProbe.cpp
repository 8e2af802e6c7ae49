#include "render/AmbientProbe.h"

#include "world/ObjectRecord.h"

EAmbientProbe g_AmbientProbe;

math::Vec3 EAmbientProbe::SamplePoint(const ObjectRecord* h) const {
    if (!h) return {};
    if (h->iIndex < 0 || h->iIndex >= NUM_SLOTS || !m_bSampled[h->iIndex]) return h->vPosition;
    return m_vSamplePoints[h->iIndex];
}

void EAmbientProbe::SampleObjectLighting(const ObjectRecord* h) {
    if (!h || h->iIndex < 0 || h->iIndex >= NUM_SLOTS) return;
    m_vSamplePoints[h->iIndex] = h->vPosition;
    m_bSampled[h->iIndex] = true;
}
