// The segment test, `EIntersectSegment` (global g_IntersectSegment): what does
// a straight segment from a start point to an end point meet first? Shots,
// lines of sight, impact effects, cameras and path generation ask it.
//
// Tables. Four registration tables follow the world's objects: the intersect
// table (mesh objects a shot can hit: flags lack FLAG_PASS_SHOTS), the
// see-through table (mesh objects that block sight: flag2 lacks
// FLAG2_SEE_THROUGH), the stick-marker table (meshes of STICK_MARKER_FILE,
// in no other table) and the skinned-mesh table. An object with
// FLAG2_NO_COLLISION is in none of them. Each entry holds the object's
// bounding sphere, world box and flag words as they were at the last refresh;
// the object keeps its slot numbers in iSegmentSlot. A table's count covers
// the slots up to the last used one; freed slots inside are taken first.
// The engine world keeps the tables in step: RegisterObject when it creates an
// object, RefreshObject whenever its world matrix or flags change,
// RemoveObject when it deletes it, RegisterAllObjects after a load.
//
// The test. Cheap culls first (box overlap, sphere, segment against the box,
// the exclusion byte, the query's filter, the oriented box), then the faces of
// the candidates nearest entry first, in the mesh's own space through its
// inverse world matrix, stopping at the first candidate whose box starts
// beyond the hit found; inside a mesh, face groups and faces are culled by
// the part of the segment that lies in the mesh's box before the nearest hit.
// Then the skinned meshes (coarse centre hits far away, otherwise their hit
// zones). Ties: the lower face inside one object, the object tested later
// between objects, the mesh over a skinned mesh.
//
// Failure policy: a table with no free slot left prints its message and the
// object is left out of it (of both mesh tables when either is full); a
// refresh that finds no entry after registering again, and a hit on something
// that is not a mesh, print their messages. Nothing is allocated. Main thread only: the working
// state of a test lives here, so a filter must not start another test.
#pragma once

#include <cstdint>

#include "platform/math/Types.h"

struct ObjectRecord;
struct SegmentQuery;
struct SegmentHit;

// One registered object.
struct SegmentTestEntry {
    uint8_t bUsed = 0;
    ObjectRecord* hObject = nullptr;
    math::Vec3 vCenter;    // bounding sphere, world space
    float fRadiusSq = 0;   // mesh tables
    float fRadius = 0;     // skinned-mesh table
    math::Vec3 vMin, vMax; // world box
    uint32_t dwFlags = 0;  // copies of the object's flag words
    uint32_t dwFlags2 = 0;
};

// A mesh object whose culls it passed, with the fraction of the segment at
// which the segment enters its oriented box.
struct SegmentCandidate {
    float fFraction = 0;
    ObjectRecord* hObject = nullptr;
    uint8_t bTested = 0;
};

// The segment of the test running now, as the skinned-mesh hit zones read it.
struct SegmentTestSegment {
    math::Vec3 vStart, vEnd;
    math::Vec3 vDirection; // end - start
    float fLength = 0;
    math::Vec3 vMin, vMax; // the segment's box
};

class EIntersectSegment {
  public:
    static constexpr int MAX_INTERSECT_SEGMENT_OBJECTS = 4096;
    static constexpr int MAX_INTERSECT_SEGMENT_SKIN_MESHES = 1024;
    static constexpr int MAX_STICK_MARKERS = 4096;
    static constexpr int MAX_CANDIDATES = 4096;
    // Flag bits the tables follow.
    static constexpr uint32_t FLAG_PASS_SHOTS = 0x80;       // flags: shots pass through
    static constexpr uint32_t FLAG2_SEE_THROUGH = 0x1000;   // flag2: sight passes through
    static constexpr uint32_t FLAG2_NO_COLLISION = 0x10000; // flag2: nothing hits it
    static constexpr const char* STICK_MARKER_FILE = "prefabs\\special\\hero_stick.x";

    template <int N> struct Table {
        SegmentTestEntry slots[N];
        int iCount = 0; // one past the last used slot
    };

    EIntersectSegment();
    virtual ~EIntersectSegment() = default;
    EIntersectSegment(const EIntersectSegment&) = delete;
    EIntersectSegment& operator=(const EIntersectSegment&) = delete;

    // True when something was hit; the hit is reset first and filled then.
    // False for a missing query, points or hit record.
    bool Test(const SegmentQuery& query, SegmentHit* hit);

    // A mesh object through AddObject, a skinned mesh through AddSkinMesh;
    // objects without a mesh are ignored.
    void RegisterObject(ObjectRecord* h);
    // A stick marker joins its own table only; any other mesh object leaves
    // both mesh tables and joins those its flags allow.
    void AddObject(ObjectRecord* h);
    void AddSkinMesh(ObjectRecord* h);
    // The object moved or changed its flags.
    void RefreshObject(ObjectRecord* h);
    void UpdateObject(ObjectRecord* h);
    void UpdateStickMarker(ObjectRecord* h);
    void UpdateSkinMesh(ObjectRecord* h);
    void RemoveObject(ObjectRecord* h);
    // Empties the tables and registers every used object that has a mesh.
    void RegisterAllObjects();

    const Table<MAX_INTERSECT_SEGMENT_OBJECTS>& IntersectTable() const { return m_Intersect; }
    const Table<MAX_INTERSECT_SEGMENT_OBJECTS>& CanSeeThruTable() const { return m_CanSeeThru; }
    const Table<MAX_STICK_MARKERS>& StickMarkerTable() const { return m_StickMarkers; }
    const Table<MAX_INTERSECT_SEGMENT_SKIN_MESHES>& SkinMeshTable() const { return m_SkinMeshes; }
    const SegmentTestSegment& CurrentSegment() const { return m_Segment; }
    // Calls of RefreshObject so far (a test seam).
    uint32_t RefreshCount() const { return m_dwRefreshCount; }

  private:
    template <int N> static int FindSlot(const Table<N>& table, const ObjectRecord* h, int slot);
    // The first free slot, else the next at the end; -1 when the table is full.
    template <int N> static int FreeSlot(const Table<N>& table);
    template <int N> static int AddEntry(Table<N>& table);
    template <int N> static void RemoveSlot(Table<N>& table, int slot);
    template <int N> static void RemoveEverywhere(Table<N>& table, const ObjectRecord* h);
    static void FillMeshEntry(SegmentTestEntry& e, ObjectRecord* h);
    static void FillSkinEntry(SegmentTestEntry& e, ObjectRecord* h);
    void RemoveFromIntersect(ObjectRecord* h);
    void RemoveFromCanSeeThru(ObjectRecord* h);
    void RemoveStickMarker(ObjectRecord* h);
    // Refreshes the entry of one mesh table, registering the object again
    // when its slot does not name it; false when it is still not found.
    template <int N> bool RefreshMeshEntry(Table<N>& table, ObjectRecord* h, int which);

    void CollectCandidates(const SegmentTestEntry* entries, int count, const SegmentQuery& query);
    bool TestMeshObject(ObjectRecord* h, SegmentHit* hit);
    void TestSkinMeshes(const SegmentQuery& query, SegmentHit* hit);
    bool FinishMeshHit(SegmentHit* hit);

    Table<MAX_INTERSECT_SEGMENT_OBJECTS> m_Intersect;      // the count is m_Max_Intersect
    Table<MAX_INTERSECT_SEGMENT_OBJECTS> m_CanSeeThru;     // m_Max_CanSeeThru
    Table<MAX_STICK_MARKERS> m_StickMarkers;               // m_Max_StickMarkers
    Table<MAX_INTERSECT_SEGMENT_SKIN_MESHES> m_SkinMeshes; // m_Max_SkinMeshes

    // Working state of one test.
    SegmentTestSegment m_Segment;
    SegmentCandidate m_Candidates[MAX_CANDIDATES];
    int m_iNumCandidates = 0;
    uint32_t m_dwRefreshCount = 0;
};

extern EIntersectSegment g_IntersectSegment;

// True for a mesh object whose mesh file is the stick marker's (any case).
bool IsStickMarker(const ObjectRecord* h);
// 0..5 from a hit zone's name: "glowa" 1, "lewa_reka" 2, "prawa_reka" 3,
// "lewa_noga" 4, "prawa_noga" 5, anything else 0.
uint32_t HitZoneCode(const char* zoneName);
// Whether the segment meets the box of eight world corners (BoxCorners
// order), with the fraction at which it enters: 0 when it starts inside.
bool TestOrientedBox(const math::Vec3& start, const math::Vec3& end, const math::Vec3 corners[8],
                     float* fraction);
