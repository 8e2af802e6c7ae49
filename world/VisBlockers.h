// Visibility blockers, `VisBlockers` (global g_VisBlockers): invisible quads
// placed in the world file as marker meshes ("visibility_blocker.x"). The
// world loader hands each marker to AddBlocker, which keeps the first two
// faces of its mesh as two world-space triangles; the marker object itself is
// then deleted. A skinned mesh counts as hidden when the sight lines from the
// eye to all nine of its sample points (the corners of its bounding box and
// its position) cut some blocker triangle.
//
// Failure policy: more than MAX_VISIBILITY_BLOCKERS markers print the limit
// message and are refused.
#pragma once

#include <cstdint>

#include "platform/math/Types.h"

struct ObjectRecord;

class VisBlockers {
  public:
    static constexpr int MAX_VISIBILITY_BLOCKERS = 50;

    struct Blocker {
        uint8_t bUsed = 0;
        ObjectRecord* hObject = nullptr;
        math::Vec3 vTriangles[2][3];
    };

    virtual ~VisBlockers() = default;

    // Takes the first free record and builds it from the object's mesh; false
    // when all records are in use.
    bool AddBlocker(ObjectRecord* h);
    // Every record freed, count 0 (world close).
    void Clear();
    // True only for a skinned mesh whose nine sample points are all blocked
    // from the eye.
    bool IsObjectHidden(const math::Vec3& eye, ObjectRecord* h) const;
    // The points tested for a skinned mesh: the eight corners of its
    // bounding box in the world, then its position; false for other objects.
    static bool SamplePoints(ObjectRecord* h, math::Vec3 points[9]);
    // True when some triangle of a record in use cuts the segment.
    bool IsSegmentBlocked(const math::Vec3& from, const math::Vec3& to) const;

    const Blocker& Get(int i) const { return m_Blockers[i]; }
    int Count() const { return m_iCount; }

  private:
    bool Build(ObjectRecord* h, int index);

    Blocker m_Blockers[MAX_VISIBILITY_BLOCKERS];
    int m_iCount = 0; // one past the highest record ever used
};

extern VisBlockers g_VisBlockers;
