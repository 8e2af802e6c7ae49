// Hit zones of skinned meshes, `ESkinMeshCollision` (global
// g_SkinMeshCollision): the shapes fixed to a character's bones that shots
// hit, each naming a hit zone, and the nearest-hit test that the segment
// test's skinned-mesh stage runs on them.
//
// So far no model has collision elements (their files and shapes come with
// the skinned-mesh subsystem), so TestSegment finds nothing of its own and a
// skinned mesh is hit only through the segment test's coarse path. A hit that
// a zone test reports is merged into the skinned result as the finished test
// will do: taken when the result holds no hit yet or this one is nearer.
// Main thread only, no state of its own beyond the zone-test seam.
#pragma once

#include <cstdint>

#include "platform/math/Types.h"

struct ObjectRecord;
struct SegmentHit;
struct SegmentTestSegment;

// The per-object binding of the hit zones (inside each skinned mesh).
struct SkinMeshCollisionState {
    ObjectRecord* hObject = nullptr;
};

// One zone met by a segment: the fraction along it, the node and zone names.
struct SkinMeshZoneHit {
    float t = 0;
    const char* szNodeName = "";
    const char* szHitZoneName = "";
};

class ESkinMeshCollision {
  public:
    // A zone test standing in for the bound shapes (tests hand hits in
    // through it); true with the zone met.
    using ZoneTestFn = bool (*)(const SkinMeshCollisionState& state, const SegmentTestSegment& segment,
                                SkinMeshZoneHit* out);

    virtual ~ESkinMeshCollision() = default;

    // Tests the current segment of the segment test against the object's
    // hit zones and keeps the nearer hit in hit->Skinned.
    void TestSegment(SkinMeshCollisionState* state, SegmentHit* hit);
    void SetZoneTest(ZoneTestFn test) { m_pZoneTest = test; }

  private:
    static void TakeHit(const SkinMeshCollisionState& state, const SegmentTestSegment& segment,
                        const SkinMeshZoneHit& zone, SegmentHit* hit);

    ZoneTestFn m_pZoneTest = nullptr;
};

extern ESkinMeshCollision g_SkinMeshCollision;
