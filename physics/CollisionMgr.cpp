#include "physics/CollisionMgr.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "app/Console.h"
#include "app/Debug.h"
#include "app/Geometry.h"
#include "platform/math/Math.h"
#include "render/Mesh.h"
#include "render/MeshMgr.h"
#include "skinmesh/SkinMesh.h"
#include "world/Engine.h"
#include "world/ObjectRecord.h"
#include "world/VisBlockers.h"

ECollisionMgr g_CollisionMgr;

namespace {

using math::Vec3;

static_assert(Finder::TOUCH_WORDS * 64 >= EEngine::MAX_OBJECTS, "a touch bit for every object slot");

// 16-bit face indices address at most this many vertices.
constexpr size_t kMaxVertices = 65535;

// The slope triangles that close a box triangle set for climbing bodies.
constexpr uint8_t kSlopeTriangles[4][3] = {{3, 5, 7}, {3, 1, 5}, {0, 2, 6}, {0, 6, 4}};

// Touching counts.
bool Overlap(const Vec3& amin, const Vec3& amax, const Vec3& bmin, const Vec3& bmax) {
    return amin.x <= bmax.x && amax.x >= bmin.x && amin.y <= bmax.y && amax.y >= bmin.y && amin.z <= bmax.z &&
           amax.z >= bmin.z;
}

bool Inside(const Vec3& min, const Vec3& max, const Vec3& outerMin, const Vec3& outerMax) {
    return min.x >= outerMin.x && min.y >= outerMin.y && min.z >= outerMin.z && max.x <= outerMax.x &&
           max.y <= outerMax.y && max.z <= outerMax.z;
}

bool PointInBox(const Vec3& p, const Vec3& min, const Vec3& max) {
    return p.x >= min.x && p.x <= max.x && p.y >= min.y && p.y <= max.y && p.z >= min.z && p.z <= max.z;
}

// Divides by the length, or by 1.0 when it is zero.
Vec3 UnitOrZero(const Vec3& v) {
    const float length = math::Vec3Length(v);
    return v / (length == 0.0f ? 1.0f : length);
}

// (B - A) x (C - A), unit.
Vec3 FaceNormal(const Vec3& a, const Vec3& b, const Vec3& c) {
    return UnitOrZero(math::Vec3Cross(b - a, c - a));
}

void TriangleBox(const Vec3& a, const Vec3& b, const Vec3& c, Vec3* min, Vec3* max) {
    *min = math::Vec3Minimize(math::Vec3Minimize(a, b), c);
    *max = math::Vec3Maximize(math::Vec3Maximize(a, b), c);
}

// The eight corners of a box through a matrix, and their axis-aligned box.
void TransformBox(const Vec3& min, const Vec3& max, const math::Matrix& m, Vec3 corners[8], Vec3* outMin,
                  Vec3* outMax) {
    BoxCorners(min, max, corners);
    for (int i = 0; i < 8; ++i) {
        corners[i] = math::Vec3TransformCoord(corners[i], m);
        *outMin = i ? math::Vec3Minimize(*outMin, corners[i]) : corners[i];
        *outMax = i ? math::Vec3Maximize(*outMax, corners[i]) : corners[i];
    }
}

// The box the finders see of an object: a mesh's world box, a skinned mesh's
// world box; false for every other object.
bool ObjectBox(const ObjectRecord* h, Vec3* min, Vec3* max) {
    if (const EMesh* mesh = h->Mesh()) {
        *min = mesh->m_vWorldMin;
        *max = mesh->m_vWorldMax;
        return true;
    }
    if (const ESkinMesh* skin = h->SkinMesh()) {
        skin->GetWorldBox(min, max);
        return true;
    }
    return false;
}

// Where an object's triangles come from in one gathering mode.
enum class Source { Skip, Faces, Box };

Source MeshSource(const ObjectRecord* h, const CollisionMeshEntry& e, int mode) {
    switch (mode) {
    case 0:
        return (h->dwFlags & ECollisionMgr::FLAG_FACES_IN_MODE0) ? Source::Faces : Source::Box;
    case 1: {
        // A small detailed object is cheaper and steadier as its box.
        const Vec3 size = e.vWorldMax - e.vWorldMin;
        const bool smallDetailed = e.dwNumFaces > 15 && size.x < 30.0f && size.y < 30.0f && size.z < 30.0f;
        return (h->dwFlags & ECollisionMgr::FLAG_BOX_IN_MODE1) || smallDetailed ? Source::Box : Source::Faces;
    }
    case 2:
        if (h->dwFlags2 & ECollisionMgr::FLAG2_SKIP_IN_MODE2) return Source::Skip;
        return (h->dwFlags & ECollisionMgr::FLAG_BOX_IN_MODE2) ? Source::Box : Source::Faces;
    default:
        return Source::Box;
    }
}

void Append(CollisionTriangle* buffer, uint32_t* count, const Vec3& a, const Vec3& b, const Vec3& c,
            const Vec3& normal, const Vec3& min, const Vec3& max, ObjectRecord* h) {
    CollisionTriangle& t = buffer[(*count)++];
    t.vVertices[0] = a;
    t.vVertices[1] = b;
    t.vVertices[2] = c;
    t.vNormal = normal;
    t.vMin = min;
    t.vMax = max;
    t.hObject = h;
}

// The faces of an entry inside the box, group boxes first.
bool AppendFaces(const CollisionMeshEntry& e, const Vec3& min, const Vec3& max, CollisionTriangle* buffer,
                 uint32_t* count, uint32_t maxCount) {
    bool added = false;
    for (uint32_t g = 0; g < e.dwNumBoxes; ++g) {
        const CollisionBox& group = e.pBoxes[g];
        if (!Overlap(group.vWorldMin, group.vWorldMax, min, max)) continue;
        for (uint32_t f = group.dwFirstFace; f < group.dwFirstFace + group.dwNumFaces; ++f) {
            if (!Overlap(e.CM_vFacesAABB_Min[f], e.CM_vFacesAABB_Max[f], min, max)) continue;
            if (*count >= maxCount) return added;
            const uint16_t* face = &e.CM_dwFaces[3 * f];
            Append(buffer, count, e.CM_vVerticesWorld[face[0]], e.CM_vVerticesWorld[face[1]],
                   e.CM_vVerticesWorld[face[2]], e.CM_vFaceNormal[f], e.CM_vFacesAABB_Min[f],
                   e.CM_vFacesAABB_Max[f], e.hObject);
            added = true;
        }
    }
    return added;
}

// The twelve triangles of a box (corners in BoxCorners order) and its four
// slopes turned to face up, those whose own box meets the query box; nothing
// when fewer than 17 places remain.
bool AppendBoxTriangles(const Vec3 corners[8], ObjectRecord* h, const Vec3& min, const Vec3& max,
                        CollisionTriangle* buffer, uint32_t* count, uint32_t maxCount) {
    if (*count + 16 >= maxCount) return false;
    bool added = false;
    auto add = [&](const Vec3& a, const Vec3& b, const Vec3& c, bool faceUp) {
        Vec3 tmin, tmax;
        TriangleBox(a, b, c, &tmin, &tmax);
        if (!Overlap(tmin, tmax, min, max)) return;
        Vec3 normal = UnitOrZero(math::Vec3Cross(b - c, a - c));
        if (faceUp && normal.y < 0.0f) {
            Append(buffer, count, a, c, b, UnitOrZero(math::Vec3Cross(c - b, a - b)), tmin, tmax, h);
        } else {
            Append(buffer, count, a, b, c, normal, tmin, tmax, h);
        }
        added = true;
    };
    for (int i = 0; i < 36; i += 3)
        add(corners[BoxTriangleIndices[i]], corners[BoxTriangleIndices[i + 1]],
            corners[BoxTriangleIndices[i + 2]], false);
    for (const auto& s : kSlopeTriangles)
        add(corners[s[0]], corners[s[1]], corners[s[2]], true);
    return added;
}

} // namespace

// ---- Slot tables ------------------------------------------------------------------------

template <class T, int N> T* ECollisionMgr::SlotTable<T, N>::Take() {
    int i = iFirstFree;
    while (i < iCount && slots[i].bUsed)
        ++i;
    if (i >= N) return nullptr;
    slots[i] = T{};
    slots[i].bUsed = 1;
    if (i >= iCount) iCount = i + 1;
    iFirstFree = i + 1;
    ++iInUse;
    return &slots[i];
}

template <class T, int N> void ECollisionMgr::SlotTable<T, N>::Free(T* record) {
    const int i = int(record - slots);
    record->bUsed = 0;
    --iInUse;
    iFirstFree = std::min(iFirstFree, i);
    if (i + 1 == iCount)
        while (iCount > 0 && !slots[iCount - 1].bUsed)
            --iCount;
}

// ---- Collision copies -------------------------------------------------------------------

ECollisionMgr::ECollisionMgr() = default;

ECollisionMgr::~ECollisionMgr() {
    for (CollisionMeshEntry& e : m_Entries)
        if (e.bUsed) FreeEntry(e);
}

namespace {

template <class T> T* Allocate(size_t n, const char* tag) {
    g_Debug.AddAllocation(tag);
    return new T[n];
}

template <class T> void Release(T*& p, const char* tag) {
    if (!p) return;
    delete[] p;
    p = nullptr;
    g_Debug.RemoveAllocation(tag);
}

} // namespace

void ECollisionMgr::AddObject(ObjectRecord* h) {
    EMesh* mesh = h ? h->Mesh() : nullptr;
    if (!mesh || !mesh->IsCreated()) return;
    const EMeshMgr::strmesh* loaded = g_MeshMgr.GetEntry(mesh->m_iMeshId);
    if (!loaded || !loaded->pMesh) return;
    const mesh::Mesh& data = *loaded->pMesh;
    const size_t numFaces = data.Indices().size() / 3;
    const size_t numVertices = data.Vertices().size();
    if (numFaces == 0 || numVertices == 0 || numVertices > kMaxVertices) return;
    if (GetEntry(h)) {
        UpdateObject(h);
        return;
    }

    int number = 1;
    while (number < MAX_OBJECTS_IN_COLLISION_MGR && m_Entries[number].bUsed)
        ++number;
    if (number == MAX_OBJECTS_IN_COLLISION_MGR) {
        g_Console.Print(" ");
        g_Console.Print("ERROR in CollisionMgr: MAX_OBJECTS_IN_COLLISION_MGR exceeded!");
        g_Console.Print(" ");
        return;
    }
    CollisionMeshEntry& e = m_Entries[number];
    e.bUsed = 1;
    e.hObject = h;
    e.dwNumFaces = uint32_t(numFaces);
    e.dwNumVertices = uint32_t(numVertices);
    h->iCollisionNumber = number;
    ++m_iNumEntries;

    e.CM_dwFaces = Allocate<uint16_t>(3 * numFaces, "CM_dwFaces");
    e.CM_vFacesDimMax = Allocate<Vec3>(numFaces, "CM_vFacesDimMax");
    e.CM_vFacesDimMin = Allocate<Vec3>(numFaces, "CM_vFacesDimMin");
    e.CM_vFaceLocalNormal = Allocate<Vec3>(numFaces, "CM_vFaceLocalNormal");
    e.CM_vFacesAABB_Max = Allocate<Vec3>(numFaces, "CM_vFacesAABB_Max");
    e.CM_vFacesAABB_Min = Allocate<Vec3>(numFaces, "CM_vFacesAABB_Min");
    e.CM_vFaceNormal = Allocate<Vec3>(numFaces, "CM_vFaceNormal");
    e.CM_vVerticesLocal = Allocate<Vec3>(numVertices, "CM_vVerticesLocal");
    e.CM_vVerticesWorld = Allocate<Vec3>(numVertices, "CM_vVerticesWorld");

    for (size_t i = 0; i < 3 * numFaces; ++i)
        e.CM_dwFaces[i] = uint16_t(data.Indices()[i]);
    for (size_t v = 0; v < numVertices; ++v)
        e.CM_vVerticesLocal[v] = e.CM_vVerticesWorld[v] = data.Vertices()[v].position;
    e.vLocalMin = mesh->m_vBoxMin;
    e.vLocalMax = mesh->m_vBoxMax;

    const Vec3* local = e.CM_vVerticesLocal;
    for (size_t f = 0; f < numFaces; ++f) {
        const uint16_t* face = &e.CM_dwFaces[3 * f];
        TriangleBox(local[face[0]], local[face[1]], local[face[2]], &e.CM_vFacesDimMin[f],
                    &e.CM_vFacesDimMax[f]);
        e.CM_vFaceLocalNormal[f] = FaceNormal(local[face[0]], local[face[1]], local[face[2]]);
        // Until the first refresh with gathering on, the world faces are the local ones.
        e.CM_vFacesAABB_Min[f] = e.CM_vFacesDimMin[f];
        e.CM_vFacesAABB_Max[f] = e.CM_vFacesDimMax[f];
        e.CM_vFaceNormal[f] = e.CM_vFaceLocalNormal[f];
    }

    // Face groups: each attribute range cut into runs of at most 100 faces.
    uint32_t numBoxes = 0;
    for (const mesh::AttributeRange& r : data.AttributeTable())
        numBoxes += (r.faceCount + MAX_FACES_IN_GROUP - 1) / MAX_FACES_IN_GROUP;
    if (data.AttributeTable().empty()) numBoxes = 1;
    e.pBoxes = Allocate<CollisionBox>(numBoxes, "pBoxes");
    e.dwNumBoxes = numBoxes;
    if (data.AttributeTable().empty()) {
        e.pBoxes[0] = CollisionBox{e.vLocalMin, e.vLocalMax, {}, {}, 0, e.dwNumFaces, 0, 0};
    } else {
        uint32_t b = 0;
        for (const mesh::AttributeRange& r : data.AttributeTable()) {
            const uint32_t end = std::min<uint32_t>(r.faceStart + r.faceCount, e.dwNumFaces);
            for (uint32_t first = r.faceStart; first < end; first += MAX_FACES_IN_GROUP) {
                CollisionBox& group = e.pBoxes[b++];
                group.dwFirstFace = first;
                group.dwNumFaces = std::min(MAX_FACES_IN_GROUP, end - first);
                group.dwAttribId = r.attribId;
                group.bSkip =
                    r.attribId < uint32_t(EMesh::MAX_SUBSETS) ? mesh->m_bNoIntersect[r.attribId] : 0;
                group.vLocalMin = e.CM_vFacesDimMin[first];
                group.vLocalMax = e.CM_vFacesDimMax[first];
                for (uint32_t f = first + 1; f < first + group.dwNumFaces; ++f) {
                    group.vLocalMin = math::Vec3Minimize(group.vLocalMin, e.CM_vFacesDimMin[f]);
                    group.vLocalMax = math::Vec3Maximize(group.vLocalMax, e.CM_vFacesDimMax[f]);
                }
            }
        }
        e.dwNumBoxes = b;
    }
    UpdateObject(h);
}

void ECollisionMgr::FreeEntry(CollisionMeshEntry& e) {
    Release(e.CM_dwFaces, "CM_dwFaces");
    Release(e.CM_vFacesDimMax, "CM_vFacesDimMax");
    Release(e.CM_vFacesDimMin, "CM_vFacesDimMin");
    Release(e.CM_vFaceLocalNormal, "CM_vFaceLocalNormal");
    Release(e.CM_vFacesAABB_Max, "CM_vFacesAABB_Max");
    Release(e.CM_vFacesAABB_Min, "CM_vFacesAABB_Min");
    Release(e.CM_vFaceNormal, "CM_vFaceNormal");
    Release(e.CM_vVerticesLocal, "CM_vVerticesLocal");
    Release(e.CM_vVerticesWorld, "CM_vVerticesWorld");
    Release(e.pBoxes, "pBoxes");
    e = CollisionMeshEntry{};
}

void ECollisionMgr::DeleteObject(ObjectRecord* h) {
    if (!h) return;
    for (Finder* f = m_pFirstFinder; f; f = f->pNext)
        RemoveTouch(f, h);
    if (h->iCollisionNumber > 0 && h->iCollisionNumber < MAX_OBJECTS_IN_COLLISION_MGR) {
        CollisionMeshEntry& e = m_Entries[h->iCollisionNumber];
        if (e.bUsed && e.hObject == h) {
            FreeEntry(e);
            --m_iNumEntries;
        }
    }
    h->iCollisionNumber = 0;
}

const CollisionMeshEntry* ECollisionMgr::GetEntry(const ObjectRecord* h) const {
    if (!h || h->iCollisionNumber <= 0 || h->iCollisionNumber >= MAX_OBJECTS_IN_COLLISION_MGR) return nullptr;
    const CollisionMeshEntry& e = m_Entries[h->iCollisionNumber];
    return e.bUsed && e.hObject == h ? &e : nullptr;
}

int ECollisionMgr::NumEntries() const {
    return m_iNumEntries;
}

void ECollisionMgr::UpdateObject(ObjectRecord* h) {
    if (!h || !h->pObject || (h->dwType != OT_MESH && h->dwType != OT_SKINMESH)) return;
    UpdateObjectInFinders(h);
    if (GetEntry(h)) ComputeWorldFaces(m_Entries[h->iCollisionNumber]);
}

void ECollisionMgr::ComputeWorldFaces(CollisionMeshEntry& e) {
    const ObjectRecord* h = e.hObject;
    const EMesh* mesh = h->Mesh();
    if (!mesh) return;
    const math::Matrix& world = mesh->m_mWorld;
    TransformBox(e.vLocalMin, e.vLocalMax, world, e.vWorldCorners, &e.vWorldMin, &e.vWorldMax);
    for (uint32_t b = 0; b < e.dwNumBoxes; ++b) {
        Vec3 corners[8];
        CollisionBox& group = e.pBoxes[b];
        TransformBox(group.vLocalMin, group.vLocalMax, world, corners, &group.vWorldMin, &group.vWorldMax);
    }
    if (!(h->dwFlags & FLAG_GATHERING) || (h->dwFlags2 & FLAG2_NO_COLLISION)) return;

    math::Vec3TransformCoordArray(e.CM_vVerticesWorld, sizeof(Vec3), e.CM_vVerticesLocal, sizeof(Vec3), world,
                                  e.dwNumVertices);
    const Vec3* v = e.CM_vVerticesWorld;
    for (uint32_t f = 0; f < e.dwNumFaces; ++f) {
        const uint16_t* face = &e.CM_dwFaces[3 * f];
        TriangleBox(v[face[0]], v[face[1]], v[face[2]], &e.CM_vFacesAABB_Min[f], &e.CM_vFacesAABB_Max[f]);
        e.CM_vFaceNormal[f] = FaceNormal(v[face[0]], v[face[1]], v[face[2]]);
    }
}

void ECollisionMgr::ComputeSubsetBoundingBoxes(ObjectRecord* h) {
    EMesh* mesh = h ? h->Mesh() : nullptr;
    if (!mesh) return;
    EMeshMgr::strmesh* loaded = g_MeshMgr.GetEntry(mesh->m_iMeshId);
    if (!loaded || !loaded->pMesh) return;
    const mesh::Mesh& data = *loaded->pMesh;
    const size_t numFaces = data.Indices().size() / 3;
    const size_t ranges = std::min<size_t>(data.AttributeTable().size(), EMeshMgr::MAX_MATERIALS);
    for (size_t i = 0; i < ranges; ++i) {
        const mesh::AttributeRange& r = data.AttributeTable()[i];
        Vec3 min, max;
        bool first = true;
        for (size_t f = r.faceStart; f < size_t(r.faceStart) + r.faceCount && f < numFaces; ++f)
            for (int k = 0; k < 3; ++k) {
                const uint32_t index = data.Indices()[3 * f + k];
                if (index >= data.Vertices().size()) continue;
                const Vec3& p = data.Vertices()[index].position;
                min = first ? p : math::Vec3Minimize(min, p);
                max = first ? p : math::Vec3Maximize(max, p);
                first = false;
            }
        loaded->vSubsetMin[i] = min;
        loaded->vSubsetMax[i] = max;
    }
}

// ---- Finders ----------------------------------------------------------------------------

bool ECollisionMgr::IsTouched(const Finder* finder, const ObjectRecord* h) {
    const int slot = h->iIndex;
    if (slot < 0 || slot >= EEngine::MAX_OBJECTS) return false;
    return (finder->qwTouched[slot >> 6] >> (slot & 63)) & 1;
}

bool ECollisionMgr::AddTouch(Finder* finder, ObjectRecord* h) {
    const int slot = h->iIndex;
    if (slot < 0 || slot >= EEngine::MAX_OBJECTS) return false;
    if (IsTouched(finder, h)) return true;
    TouchNode* node = m_Touches.Take();
    if (!node) {
        g_Console.Print("CRITICAL ERROR in ECollisionMgr:: Touch Table Size Exceeded!");
        return false;
    }
    node->hObject = h;
    node->pNext = finder->pTouchList;
    finder->pTouchList = node;
    finder->qwTouched[slot >> 6] |= uint64_t(1) << (slot & 63);
    return true;
}

void ECollisionMgr::RemoveTouch(Finder* finder, ObjectRecord* h) {
    if (!IsTouched(finder, h)) return;
    for (TouchNode** link = &finder->pTouchList; *link; link = &(*link)->pNext) {
        if ((*link)->hObject != h) continue;
        TouchNode* node = *link;
        *link = node->pNext;
        m_Touches.Free(node);
        break;
    }
    finder->qwTouched[h->iIndex >> 6] &= ~(uint64_t(1) << (h->iIndex & 63));
}

void ECollisionMgr::ClearTouchList(Finder* finder) {
    for (TouchNode* node = finder->pTouchList; node;) {
        TouchNode* next = node->pNext;
        m_Touches.Free(node);
        node = next;
    }
    finder->pTouchList = nullptr;
    std::memset(finder->qwTouched, 0, sizeof finder->qwTouched);
}

void ECollisionMgr::RefreshTouchList(Finder* finder) {
    if (Inside(finder->vMin, finder->vMax, finder->vTouchMin, finder->vTouchMax)) return;
    ClearTouchList(finder);
    const Vec3 margin{TOUCH_MARGIN, TOUCH_MARGIN, TOUCH_MARGIN};
    finder->vTouchMin = finder->vMin - margin;
    finder->vTouchMax = finder->vMax + margin;
    // Meshes and skinned meshes live in their own slot ranges of the table.
    const int ranges[2][2] = {{EEngine::FIRST_MESH, g_Engine.m_iMeshHighWater},
                              {EEngine::FIRST_SKINMESH, g_Engine.m_iSkinMeshHighWater}};
    for (const auto& range : ranges)
        for (int slot = range[0]; slot < range[1]; ++slot) {
            ObjectRecord* h = g_Engine.Object(slot);
            Vec3 min, max;
            if (!h->bUsed || !ObjectBox(h, &min, &max)) continue;
            if (Overlap(min, max, finder->vTouchMin, finder->vTouchMax) && !AddTouch(finder, h)) return;
        }
}

void ECollisionMgr::UpdateObjectInFinders(ObjectRecord* h) {
    Vec3 min, max;
    if (!ObjectBox(h, &min, &max)) return;
    for (Finder* f = m_pFirstFinder; f; f = f->pNext) {
        if (Overlap(min, max, f->vTouchMin, f->vTouchMax))
            AddTouch(f, h);
        else
            RemoveTouch(f, h);
    }
}

void ECollisionMgr::SetBox(Finder* finder, const Vec3& min, const Vec3& max) {
    finder->vPosition = (min + max) * 0.5f;
    finder->vRelativeMin = min - finder->vPosition;
    finder->vRelativeMax = max - finder->vPosition;
    finder->vMin = finder->vPosition + finder->vRelativeMin;
    finder->vMax = finder->vPosition + finder->vRelativeMax;
}

Finder* ECollisionMgr::AddBoxFinder(const Vec3* min, const Vec3* max) {
    if (!min || !max) return nullptr;
    Finder* finder = m_Finders.Take();
    if (!finder) {
        g_Console.Print("CRITICAL ERROR in ECollisionMgr:: Finder Table Size Exceeded!");
        return nullptr;
    }
    finder->dwKind = Finder::KIND_BOX;
    finder->pNext = m_pFirstFinder;
    m_pFirstFinder = finder;
    SetBox(finder, *min, *max);
    RefreshTouchList(finder);
    return finder;
}

void ECollisionMgr::MoveBoxFinder(Finder* finder, const Vec3* min, const Vec3* max) {
    if (!finder || !finder->bUsed || finder->dwKind != Finder::KIND_BOX || !min || !max) return;
    SetBox(finder, *min, *max);
    RefreshTouchList(finder);
}

void ECollisionMgr::SetProjector(Finder* finder, const Vec3& position, const orientation& frame, float range,
                                 float angle) {
    finder->vPosition = position;
    finder->Frame = frame;
    finder->fRange = range;
    finder->fAngle = angle;
    BuildProjectorVolume(finder);
    for (int t = 0; t < 8; ++t)
        for (int k = 0; k < 3; ++k)
            finder->vWorldTriangles[t][k] = finder->vLocalTriangles[t][k] + position;
    finder->vMin = position + finder->vRelativeMin;
    finder->vMax = position + finder->vRelativeMax;
}

Finder* ECollisionMgr::AddProjectorFinder(const Vec3* position, const orientation* frame, float range,
                                          float angle) {
    if (!position || !frame) return nullptr;
    Finder* finder = m_Finders.Take();
    if (!finder) {
        g_Console.Print("CRITICAL ERROR in ECollisionMgr:: Finder Table Size Exceeded!");
        return nullptr;
    }
    finder->dwKind = Finder::KIND_PROJECTOR;
    finder->pNext = m_pFirstFinder;
    m_pFirstFinder = finder;
    SetProjector(finder, *position, *frame, range, angle);
    RefreshTouchList(finder);
    return finder;
}

void ECollisionMgr::MoveProjectorFinder(Finder* finder, const Vec3* position, const orientation* frame,
                                        float range, float angle) {
    if (!finder || !finder->bUsed || finder->dwKind != Finder::KIND_PROJECTOR || !position || !frame) return;
    SetProjector(finder, *position, *frame, range, angle);
    RefreshTouchList(finder);
}

void ECollisionMgr::RemoveFinder(Finder* finder) {
    if (!finder || !finder->bUsed || finder < m_Finders.slots || finder >= m_Finders.slots + MAX_FINDERS)
        return;
    ClearTouchList(finder);
    for (Finder** link = &m_pFirstFinder; *link; link = &(*link)->pNext)
        if (*link == finder) {
            *link = finder->pNext;
            break;
        }
    m_Finders.Free(finder);
}

void ECollisionMgr::BuildProjectorVolume(Finder* finder) {
    const orientation& frame = finder->Frame;
    const float range = finder->fRange;
    // The two far edge points: the forward axis turned by half the angle
    // either way about the up axis.
    orientation left = frame, right = frame;
    left.Rotate(frame.up, -0.5f * finder->fAngle);
    right.Rotate(frame.up, 0.5f * finder->fAngle);
    const Vec3 p1 = left.forward * range;
    const Vec3 p2 = right.forward * range;
    const Vec3 m = (p1 + p2) * 0.5f;
    const float h = 0.5f * math::Vec3Length(p2 - p1);
    // Up as the first axis and right as the second keep every plane normal
    // pointing out of the volume.
    const Vec3 u = UnitOrZero(frame.up) * h;
    const Vec3 v = UnitOrZero(frame.right) * h;
    const Vec3 far[4] = {m + u + v, m + u - v, m - u - v, m - u + v};
    const Vec3 apex{};
    const Vec3 tip = UnitOrZero(frame.forward) * (1.15f * range);

    for (int i = 0; i < 4; ++i) {
        const Vec3& a = far[i];
        const Vec3& b = far[(i + 1) & 3];
        auto* side = finder->vLocalTriangles[i];
        side[0] = apex;
        side[1] = a;
        side[2] = b;
        auto* cap = finder->vLocalTriangles[4 + i];
        cap[0] = tip;
        cap[1] = b;
        cap[2] = a;
    }
    const Vec3 forward = frame.forward;
    for (int i = 0; i < 8; ++i) {
        const Vec3* t = finder->vLocalTriangles[i];
        finder->vPlaneNormals[i] = UnitOrZero(math::Vec3Cross(t[2] - t[1], t[1] - t[0]));
        const float along = math::Vec3Dot(finder->vPlaneNormals[i], forward);
        if (i < 4 ? along > 0.0f : along < 0.0f) g_Console.Printf("ERROR: Przeciwny Normal, i=%d", i);
    }
    finder->vRelativeMin = finder->vRelativeMax = apex;
    for (const Vec3& p : far) {
        finder->vRelativeMin = math::Vec3Minimize(finder->vRelativeMin, p);
        finder->vRelativeMax = math::Vec3Maximize(finder->vRelativeMax, p);
    }
    finder->vRelativeMin = math::Vec3Minimize(finder->vRelativeMin, tip);
    finder->vRelativeMax = math::Vec3Maximize(finder->vRelativeMax, tip);
}

bool ECollisionMgr::BoxInProjector(const Finder& finder, const Vec3& min, const Vec3& max) {
    Vec3 corners[8];
    BoxCorners(min, max, corners);
    auto outside = [&](int plane, const Vec3& p) {
        return math::Vec3Dot(p - finder.vWorldTriangles[plane][0], finder.vPlaneNormals[plane]) > 0.0f;
    };
    for (const Vec3& c : corners) {
        int plane = 0;
        while (plane < 8 && !outside(plane, c))
            ++plane;
        if (plane == 8) return true;
    }
    for (int plane = 0; plane < 8; ++plane) {
        int out = 0;
        while (out < 8 && outside(plane, corners[out]))
            ++out;
        if (out == 8) return false;
    }
    for (const auto& t : finder.vWorldTriangles)
        for (const Vec3& p : t)
            if (PointInBox(p, min, max)) return true;
    for (const auto& t : finder.vWorldTriangles)
        if (TriBoxOverlap(t[0], t[1], t[2], min, max)) return true;
    return false;
}

bool ECollisionMgr::IsObjectInLightFinder(const Finder* finder, ObjectRecord* h, int) const {
    if (!finder || !finder->bUsed || finder->dwKind != Finder::KIND_PROJECTOR || !h) return false;
    if (!IsTouched(finder, h)) return false;
    if (h->SkinMesh() && g_VisBlockers.IsObjectHidden(finder->vPosition, h)) return false;
    Vec3 min, max;
    if (!ObjectBox(h, &min, &max) || !Overlap(min, max, finder->vMin, finder->vMax)) return false;
    return BoxInProjector(*finder, min, max);
}

// ---- Gathering --------------------------------------------------------------------------

bool ECollisionMgr::GetTrianglesInBoxFinder(Finder* finder, CollisionTriangle* buffer, uint32_t* count,
                                            uint32_t maxCount, int mode) {
    if (!finder || !finder->bUsed || finder->dwKind != Finder::KIND_BOX || !buffer || !count) return false;
    const Vec3& min = finder->vMin;
    const Vec3& max = finder->vMax;
    bool added = false;
    for (const TouchNode* node = finder->pTouchList; node && *count < maxCount; node = node->pNext) {
        ObjectRecord* h = node->hObject;
        if (!(h->dwFlags & FLAG_GATHERING)) continue;
        if (h->dwType == OT_SKINMESH) {
            const ESkinMesh* skin = h->SkinMesh();
            if (mode != 0 || !skin) continue;
            Vec3 boxMin, boxMax, corners[8];
            skin->GetWorldBox(&boxMin, &boxMax);
            BoxCorners(boxMin, boxMax, corners);
            added |= AppendBoxTriangles(corners, h, min, max, buffer, count, maxCount);
            continue;
        }
        const CollisionMeshEntry* e = GetEntry(h);
        if (!e || !Overlap(e->vWorldMin, e->vWorldMax, min, max)) continue;
        switch (MeshSource(h, *e, mode)) {
        case Source::Faces:
            added |= AppendFaces(*e, min, max, buffer, count, maxCount);
            break;
        case Source::Box:
            added |= AppendBoxTriangles(e->vWorldCorners, h, min, max, buffer, count, maxCount);
            break;
        case Source::Skip:
            break;
        }
    }
    return added;
}

bool ECollisionMgr::GetTrianglesInBox(const Vec3* min, const Vec3* max, CollisionTriangle* buffer,
                                      uint32_t* count, uint32_t maxCount, int mode) {
    Finder* finder = AddBoxFinder(min, max);
    if (!finder) return false;
    const bool added = GetTrianglesInBoxFinder(finder, buffer, count, maxCount, mode);
    RemoveFinder(finder);
    return added;
}

uint32_t ECollisionMgr::GetTouchCount(const Finder* finder) const {
    uint32_t n = 0;
    for (const TouchNode* node = finder ? finder->pTouchList : nullptr; node; node = node->pNext)
        ++n;
    return n;
}

ObjectRecord* ECollisionMgr::GetTouchObject(const Finder* finder, uint32_t index) const {
    for (const TouchNode* node = finder ? finder->pTouchList : nullptr; node; node = node->pNext)
        if (index-- == 0) return node->hObject;
    return nullptr;
}
