// The collision manager, `ECollisionMgr` (global g_CollisionMgr): the table of
// objects that take part in collision queries, with their face data.
//
// So far it keeps only the registration: an added mesh or skinned-mesh
// record gets an entry number (its collision number, 0 for none) and loses it
// when removed. Face data, per-subset boxes, finders and queries come with the
// collision subsystem.
#pragma once

#include <cstdint>

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

  private:
    ObjectRecord* m_Entries[MAX_ENTRIES + 1] = {}; // entry 0 means none
    int m_iNumEntries = 0;
};

extern ECollisionMgr g_CollisionMgr;
