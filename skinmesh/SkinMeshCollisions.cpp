#include "skinmesh/SkinMeshCollisions.h"

#include <cstdio>

#include "app/Records.h"
#include "physics/IntersectSegment.h"
#include "platform/math/Math.h"

ESkinMeshCollision g_SkinMeshCollision;

void ESkinMeshCollision::TestSegment(SkinMeshCollisionState* state, SegmentHit* hit) {
    if (!state || !hit || !m_pZoneTest) return;
    const SegmentTestSegment& segment = g_IntersectSegment.CurrentSegment();
    SkinMeshZoneHit zone;
    if (m_pZoneTest(*state, segment, &zone)) TakeHit(*state, segment, zone, hit);
}

void ESkinMeshCollision::TakeHit(const SkinMeshCollisionState& state, const SegmentTestSegment& segment,
                                 const SkinMeshZoneHit& zone, SegmentHit* hit) {
    const float distance = zone.t * segment.fLength;
    SegmentSkinnedResult& r = hit->Skinned;
    // On equal distance the zone tested first stays.
    if (r.bHit && !(distance < r.fDistance)) return;
    r.bHit = 1;
    r.hObject = state.hObject;
    r.vPoint = segment.vStart + segment.vDirection * zone.t;
    r.vNormal = -segment.vDirection / (segment.fLength == 0.0f ? 1.0f : segment.fLength);
    r.fDistance = distance;
    std::snprintf(r.szNodeName, sizeof r.szNodeName, "%s", zone.szNodeName ? zone.szNodeName : "");
    std::snprintf(r.szHitZoneName, sizeof r.szHitZoneName, "%s",
                  zone.szHitZoneName ? zone.szHitZoneName : "");
}
