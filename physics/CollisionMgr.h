// The collision manager, `ECollisionMgr` (global g_CollisionMgr): the table of
// objects that take part in collision queries, with their face data.
//
// So far it keeps only the registration: an added mesh or skinned-mesh
// record gets an entry number (its collision number, 0 for none) and loses it
// when removed. Face data, per-subset boxes, finders and queries come with the
// collision subsystem.
#pragma once

#include <cstdint>

#include "app/Orientation.h"
#include "platform/math/Types.h"

struct ObjectRecord;

class ECollisionMgr {
  public:
    static constexpr int MAX_ENTRIES = 4000;

    virtual ~ECollisionMgr() = default;

    // Registers a mesh or skinned-mesh record; a record already registered
    // keeps its entry.
    void AddObject(ObjectRecord* h);
    void DeleteObject(ObjectRecord* h);
    // The per-subset bounding boxes of a mesh record (face data not built yet).
    void ComputeSubsetBoundingBoxes(ObjectRecord* h);
    // The object moved: its world faces follow (face data not built yet).
    void UpdateObject(ObjectRecord* h);

    int NumEntries() const { return m_iNumEntries; }

    // Projector finders: a cone from a position along an orientation's
    // forward axis, reaching range, opening by angle (radians). Handles
    // start at 1; 0 means none (every finder taken). Until the face data
    // exist an object counts as touched when its sphere (position, range)
    // meets the cone.
    static constexpr int MAX_FINDERS = 16;
    uint32_t AddProjectorFinder(const math::Vec3& position, const orientation& o, float range, float angle);
    void MoveProjectorFinder(uint32_t finder, const math::Vec3& position, const orientation& o, float range,
                             float angle);
    void RemoveFinder(uint32_t finder);
    bool IsObjectInLightFinder(uint32_t finder, const ObjectRecord* h, bool flag) const;

  private:
    struct Finder {
        bool bUsed = false;
        math::Vec3 vPosition;
        math::Vec3 vDirection;
        float fRange = 0;
        float fAngle = 0;
    };
    Finder m_Finders[MAX_FINDERS + 1]; // finder 0 means none
    ObjectRecord* m_Entries[MAX_ENTRIES + 1] = {}; // entry 0 means none
    int m_iNumEntries = 0;
};

extern ECollisionMgr g_CollisionMgr;
