// The collision manager, `ECollisionMgr` (global g_CollisionMgr): the
// collision copy of every static-mesh object and the finders that answer
// "which triangles lie in this box?" and "is this object in view?".
//
// Collision copies. A mesh object gets an entry (its collision number, 0 for
// none) holding its vertices and faces in mesh space and in world space, a box
// and a normal per face in both spaces, and face groups of at most 100 faces
// with their own boxes, so that queries reject whole groups first. The engine
// world adds the entry when it creates the object, refreshes it whenever the
// object's world matrix changes (EMesh::UpdateWorldMatrix) and deletes it with
// the object. World faces follow the object only while its flags have
// FLAG_GATHERING and its flag2 lacks FLAG2_NO_COLLISION; otherwise they keep
// their last refresh (the world box, corners and group boxes always follow).
// Skinned meshes have no entry; the finders use their world boxes.
//
// Finders. A finder is a box or a projector pyramid kept between frames with a
// touch list: the objects whose boxes meet the volume's box grown by
// TOUCH_MARGIN when the list was last rebuilt. The list is rebuilt only when
// the volume leaves that grown box; moving objects keep their own membership
// current (UpdateObject). Owners keep the Finder pointer and remove it at
// their end.
//
// Failure policy: a full entry table prints its message and the object gets
// no collision faces; a full finder or touch table prints its message and
// refuses (null finder, node not added). Queries never allocate: callers pass
// their own triangle buffers with a maximum count, and a full buffer simply
// stops receiving triangles. Main thread only.
#pragma once

#include <cstdint>

#include "app/Orientation.h"
#include "platform/math/Types.h"

struct ObjectRecord;

// One world-space triangle handed out by gathering.
struct CollisionTriangle {
    math::Vec3 vVertices[3];
    math::Vec3 vNormal; // unit, or zero for a degenerate triangle
    math::Vec3 vMin, vMax;
    uint32_t dwSpare = 0; // never written by gathering; callers mark triangles with it
    ObjectRecord* hObject = nullptr;
};

// A group of consecutive faces of one mesh subset.
struct CollisionBox {
    math::Vec3 vLocalMin, vLocalMax;
    math::Vec3 vWorldMin, vWorldMax;
    uint32_t dwFirstFace = 0;
    uint32_t dwNumFaces = 0;
    uint8_t bSkip = 0; // the segment test leaves the group out
    uint32_t dwAttribId = 0;
};

// The collision copy of one mesh object. The arrays are owned by the entry.
struct CollisionMeshEntry {
    uint8_t bUsed = 0;
    ObjectRecord* hObject = nullptr;
    math::Vec3 vLocalMin, vLocalMax;
    math::Vec3 vWorldMin, vWorldMax;
    math::Vec3 vWorldCorners[8]; // the local box through the world matrix, BoxCorners order
    uint32_t dwNumVertices = 0;
    math::Vec3* CM_vVerticesLocal = nullptr;
    math::Vec3* CM_vVerticesWorld = nullptr;
    uint32_t dwNumFaces = 0;
    uint16_t* CM_dwFaces = nullptr; // three vertex indices per face
    math::Vec3* CM_vFacesDimMin = nullptr;
    math::Vec3* CM_vFacesDimMax = nullptr;
    math::Vec3* CM_vFaceLocalNormal = nullptr;
    math::Vec3* CM_vFacesAABB_Min = nullptr;
    math::Vec3* CM_vFacesAABB_Max = nullptr;
    math::Vec3* CM_vFaceNormal = nullptr;
    uint32_t dwNumBoxes = 0;
    CollisionBox* pBoxes = nullptr;
};

struct TouchNode {
    uint8_t bUsed = 0;
    ObjectRecord* hObject = nullptr;
    TouchNode* pNext = nullptr;
};

struct Finder {
    static constexpr uint32_t KIND_PROJECTOR = 1;
    static constexpr uint32_t KIND_BOX = 2;
    static constexpr int TOUCH_WORDS = (4000 + 63) / 64; // one bit per object slot

    uint8_t bUsed = 0;
    uint32_t dwKind = 0;
    math::Vec3 vPosition; // box: centre; projector: apex
    float fRange = 0;
    orientation Frame;
    float fAngle = 0;
    math::Vec3 vLocalTriangles[8][3]; // projector volume relative to the position: 4 sides, 4 caps
    math::Vec3 vWorldTriangles[8][3];
    math::Vec3 vPlaneNormals[8]; // outward
    math::Vec3 vRelativeMin, vRelativeMax;
    math::Vec3 vMin, vMax;
    math::Vec3 vTouchMin, vTouchMax; // all zero until the first rebuild
    TouchNode* pTouchList = nullptr;
    Finder* pNext = nullptr;
    // The touch list's objects by slot, so that membership is one lookup.
    uint64_t qwTouched[TOUCH_WORDS] = {};
};

class ECollisionMgr {
  public:
    static constexpr int MAX_OBJECTS_IN_COLLISION_MGR = 6144; // entry 0 is never given out
    static constexpr int MAX_FINDERS = 1000;
    static constexpr int MAX_TOUCH_NODES = 15000;
    static constexpr uint32_t MAX_FACES_IN_GROUP = 100;
    static constexpr float TOUCH_MARGIN = 65.0f;
    // Object flag bits that collision reads.
    static constexpr uint32_t FLAG_GATHERING = 0x4;
    static constexpr uint32_t FLAG_FACES_IN_MODE0 = 0x8;
    static constexpr uint32_t FLAG_BOX_IN_MODE1 = 0x200;
    static constexpr uint32_t FLAG_BOX_IN_MODE2 = 0x1000;
    static constexpr uint32_t FLAG2_NO_COLLISION = 0x10000;
    static constexpr uint32_t FLAG2_SKIP_IN_MODE2 = 0x100000;

    ECollisionMgr();
    virtual ~ECollisionMgr();
    ECollisionMgr(const ECollisionMgr&) = delete;
    ECollisionMgr& operator=(const ECollisionMgr&) = delete;

    // ---- Collision copies -------------------------------------------------------------
    // Builds the entry of a mesh object with a loaded mesh of at least one face
    // and one vertex (and at most 65535 vertices), then refreshes it.
    void AddObject(ObjectRecord* h);
    // Takes the object out of every touch list, then frees its entry.
    void DeleteObject(ObjectRecord* h);
    // The object's world matrix changed: its finder membership and, for a mesh
    // object, its world data follow.
    void UpdateObject(ObjectRecord* h);
    // Stores the box of every attribute range in the loaded mesh.
    void ComputeSubsetBoundingBoxes(ObjectRecord* h);
    // The object's entry, or null.
    const CollisionMeshEntry* GetEntry(const ObjectRecord* h) const;
    int NumEntries() const;

    // ---- Finders ---------------------------------------------------------------------
    // A box finder from its minimum and maximum corner; null when a corner is
    // missing or the table is full.
    Finder* AddBoxFinder(const math::Vec3* min, const math::Vec3* max);
    void MoveBoxFinder(Finder* finder, const math::Vec3* min, const math::Vec3* max);
    // A projector pyramid from the apex along the frame's forward axis, range
    // deep and angle (radians) wide; null when position or frame is missing
    // or the table is full.
    Finder* AddProjectorFinder(const math::Vec3* position, const orientation* frame, float range,
                               float angle);
    void MoveProjectorFinder(Finder* finder, const math::Vec3* position, const orientation* frame,
                             float range, float angle);
    void RemoveFinder(Finder* finder);

    // Appends the world triangles inside a box finder's box after the count
    // triangles already in the buffer, never past maxCount; mode picks faces
    // or box triangles per object (0, 1, 2 or any other value). True when at
    // least one triangle was added; false for a finder of another kind.
    bool GetTrianglesInBoxFinder(Finder* finder, CollisionTriangle* buffer, uint32_t* count,
                                 uint32_t maxCount, int mode);
    // The same through a box finder made and removed for this one query.
    bool GetTrianglesInBox(const math::Vec3* min, const math::Vec3* max, CollisionTriangle* buffer,
                           uint32_t* count, uint32_t maxCount, int mode);
    // Whether the object lies in a projector finder's volume. The box tests
    // are the whole answer at every exactness.
    bool IsObjectInLightFinder(const Finder* finder, ObjectRecord* h, int exactness) const;
    // True when the box meets the projector volume.
    static bool BoxInProjector(const Finder& finder, const math::Vec3& min, const math::Vec3& max);

    uint32_t GetTouchCount(const Finder* finder) const;
    // The object of the node at index from the front, or null.
    ObjectRecord* GetTouchObject(const Finder* finder, uint32_t index) const;
    int NumFinders() const { return m_Finders.iInUse; }
    int NumTouchNodes() const { return m_Touches.iInUse; }

  private:
    // A fixed table of records with a used byte: a new record takes the first
    // free slot below the count, else the next one at the end.
    template <class T, int N> struct SlotTable {
        T slots[N];
        int iCount = 0; // one past the last slot in use
        int iFirstFree = 0;
        int iInUse = 0;
        T* Take();
        void Free(T* record);
    };

    void FreeEntry(CollisionMeshEntry& e);
    void ComputeWorldFaces(CollisionMeshEntry& e);
    void UpdateObjectInFinders(ObjectRecord* h);
    void RefreshTouchList(Finder* finder);
    void ClearTouchList(Finder* finder);
    bool AddTouch(Finder* finder, ObjectRecord* h);
    void RemoveTouch(Finder* finder, ObjectRecord* h);
    void SetBox(Finder* finder, const math::Vec3& min, const math::Vec3& max);
    void SetProjector(Finder* finder, const math::Vec3& position, const orientation& frame, float range,
                      float angle);
    static void BuildProjectorVolume(Finder* finder);
    static bool IsTouched(const Finder* finder, const ObjectRecord* h);

    CollisionMeshEntry m_Entries[MAX_OBJECTS_IN_COLLISION_MGR];
    int m_iNumEntries = 0;
    SlotTable<Finder, MAX_FINDERS> m_Finders;
    SlotTable<TouchNode, MAX_TOUCH_NODES> m_Touches;
    Finder* m_pFirstFinder = nullptr; // the most recently added
};

extern ECollisionMgr g_CollisionMgr;
