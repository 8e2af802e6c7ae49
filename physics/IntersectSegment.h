// The segment test, `EIntersectSegment` (global g_IntersectSegment): the
// tables of objects that shots and lines of sight are tested against.
//
// So far it keeps the registration only: a registered mesh or skinned mesh
// holds a slot number in the intersect table (the record's first segment-test
// slot, 0 for none), and every refresh is counted. The tests themselves come
// with the collision subsystem; until then Test hits nothing.
#pragma once

#include <cstdint>

struct ObjectRecord;
struct SegmentQuery;
struct SegmentHit;

class EIntersectSegment {
  public:
    static constexpr int MAX_SLOTS = 4000;

    virtual ~EIntersectSegment() = default;

    void RegisterObject(ObjectRecord* h);
    void RemoveObject(ObjectRecord* h);
    // The record's flags or place changed: its entries are brought in step.
    void RefreshObject(ObjectRecord* h);
    // Rebuilds the tables from every taken mesh and skinned-mesh record.
    void RegisterAllObjects();
    // Resets the hit and reports whether the segment hit something.
    bool Test(const SegmentQuery& query, SegmentHit* hit);

    int NumRegistered() const { return m_iNumRegistered; }
    uint32_t RefreshCount() const { return m_dwRefreshCount; }

  private:
    ObjectRecord* m_Slots[MAX_SLOTS + 1] = {}; // slot 0 means none
    int m_iNumRegistered = 0;
    uint32_t m_dwRefreshCount = 0;
};

extern EIntersectSegment g_IntersectSegment;
