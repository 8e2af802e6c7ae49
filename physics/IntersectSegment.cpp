#include "physics/IntersectSegment.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <strings.h>

#include "app/Console.h"
#include "app/Geometry.h"
#include "app/Records.h"
#include "physics/CollisionMgr.h"
#include "platform/math/Math.h"
#include "render/Mesh.h"
#include "render/MeshMgr.h"
#include "skinmesh/SkinMesh.h"
#include "skinmesh/SkinMeshCollisions.h"
#include "world/Engine.h"
#include "world/ObjectRecord.h"

EIntersectSegment g_IntersectSegment;

namespace {

using math::Vec3;

// The object's three slot numbers.
constexpr int kMainSlot = 0; // intersect or skinned-mesh table
constexpr int kSeeThruSlot = 1;
constexpr int kStickSlot = 2;

// Kept inline: the culls run it for every table entry of every test.
inline float Dot(const Vec3& a, const Vec3& b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

// Touching counts.
bool Overlap(const Vec3& amin, const Vec3& amax, const Vec3& bmin, const Vec3& bmax) {
    return amin.x <= bmax.x && amax.x >= bmin.x && amin.y <= bmax.y && amax.y >= bmin.y && amin.z <= bmax.z &&
           amax.z >= bmin.z;
}

// Squared distance from the centre to the segment; a segment of zero length
// measures from its start.
float SqDistanceToSegment(const Vec3& centre, const Vec3& start, const Vec3& direction) {
    const float dd = Dot(direction, direction);
    float t = 0.0f;
    if (dd > 0.0f) t = std::clamp(Dot(centre - start, direction) / dd, 0.0f, 1.0f);
    const Vec3 v = centre - (start + direction * t);
    return Dot(v, v);
}

// Narrows first..last to the part of the segment a + t ab inside the box;
// left as they are on an axis the segment runs along, and when the box is
// missed (the face test then finds nothing either way).
void ClipToBox(const Vec3& a, const Vec3& ab, const Vec3& min, const Vec3& max, float* first, float* last) {
    const float *pa = a.data(), *pd = ab.data(), *lo3 = min.data(), *hi3 = max.data();
    float lo = *first, hi = *last;
    for (int axis = 0; axis < 3; ++axis) {
        const float d = pd[axis];
        if (d == 0.0f) continue;
        float t0 = (lo3[axis] - pa[axis]) / d, t1 = (hi3[axis] - pa[axis]) / d;
        if (t0 > t1) std::swap(t0, t1);
        lo = std::max(lo, t0);
        hi = std::min(hi, t1);
    }
    if (lo <= hi) {
        *first = lo;
        *last = hi;
    }
}

bool InMeshTables(uint32_t flags, uint32_t flags2) {
    if (flags2 & EIntersectSegment::FLAG2_NO_COLLISION) return false;
    return !((flags & EIntersectSegment::FLAG_PASS_SHOTS) && (flags2 & EIntersectSegment::FLAG2_SEE_THROUGH));
}

// The triangles of the oriented box in the order they are tried: two per
// face, minimum z, maximum z, minimum x, maximum x, minimum y, maximum y
// (the faces in the order of the planes below).
constexpr uint8_t kBoxTriangles[12][3] = {{0, 1, 2}, {0, 2, 3}, {4, 5, 6}, {4, 6, 7}, {0, 7, 4}, {0, 3, 7},
                                          {1, 5, 6}, {1, 2, 6}, {0, 1, 5}, {0, 5, 4}, {3, 2, 6}, {3, 6, 7}};

} // namespace

bool IsStickMarker(const ObjectRecord* h) {
    const EMesh* mesh = h ? h->Mesh() : nullptr;
    return mesh && strcasecmp(mesh->m_szFileName, EIntersectSegment::STICK_MARKER_FILE) == 0;
}

uint32_t HitZoneCode(const char* name) {
    if (!name) return 0;
    const size_t n = std::strlen(name);
    if (name[0] == 'g') return 1;
    if (name[0] == 'l' && n > 5) return name[5] == 'r' ? 2 : name[5] == 'n' ? 4 : 0;
    if (name[0] == 'p' && n > 6) return name[6] == 'r' ? 3 : name[6] == 'n' ? 5 : 0;
    return 0;
}

bool TestOrientedBox(const Vec3& start, const Vec3& end, const Vec3 c[8], float* fraction) {
    // Outward normals and a point of the six faces.
    const Vec3 nz = c[0] - c[4], nx = c[0] - c[1], ny = c[0] - c[3];
    const Vec3 normals[6] = {nz, -nz, nx, -nx, ny, -ny};
    const Vec3* points[6] = {&c[0], &c[4], &c[0], &c[1], &c[0], &c[3]};
    bool startOutside = false, endOutside = false;
    bool crosses[6]; // the ends are not both strictly inside the face's plane
    for (int i = 0; i < 6; ++i) {
        const float ds = Dot(start - *points[i], normals[i]);
        const float de = Dot(end - *points[i], normals[i]);
        if (ds > 0.0f && de > 0.0f) return false;
        startOutside = startOutside || ds > 0.0f;
        endOutside = endOutside || de > 0.0f;
        crosses[i] = !(ds < 0.0f && de < 0.0f);
    }
    // Starting inside, the segment enters at 0. (A flat box has no inside
    // across its thin axis, so this also takes a segment that starts in its
    // plane's extent and never crosses it; the face test then finds nothing.)
    if (!startOutside) {
        *fraction = 0.0f;
        return true;
    }
    float found[12];
    int numFound = 0;
    for (int k = 0; k < 12; ++k) {
        // A face whose plane both ends lie strictly inside cannot be crossed.
        if (!crosses[k / 2]) continue;
        const uint8_t* tri = kBoxTriangles[k];
        Vec3 point;
        float t = 0.0f;
        if (!SegmentTriangleIntersectPoint(start, end, c[tri[0]], c[tri[1]], c[tri[2]], &point, &t)) continue;
        found[numFound++] = t;
        // Two crossings apart: in and out. Two at one place: an edge, go on.
        if (numFound == 2 && std::fabs(found[0] - found[1]) > 0.001f) {
            *fraction = std::min(found[0], found[1]);
            return true;
        }
    }
    if (numFound == 0) return false;
    if (endOutside && numFound < 3) {
        *fraction = 0.0f;
    } else {
        *fraction = *std::min_element(found, found + numFound);
    }
    return true;
}

// ---- Tables ------------------------------------------------------------------------------

EIntersectSegment::EIntersectSegment() = default;

template <int N> int EIntersectSegment::FindSlot(const Table<N>& table, const ObjectRecord* h, int slot) {
    if (slot < 0 || slot >= table.iCount) return -1;
    const SegmentTestEntry& e = table.slots[slot];
    return e.bUsed && e.hObject == h ? slot : -1;
}

template <int N> int EIntersectSegment::FreeSlot(const Table<N>& table) {
    int slot = 0;
    while (slot < table.iCount && table.slots[slot].bUsed)
        ++slot;
    return slot < N ? slot : -1;
}

template <int N> int EIntersectSegment::AddEntry(Table<N>& table) {
    const int slot = FreeSlot(table);
    if (slot < 0) return -1;
    table.slots[slot] = SegmentTestEntry{};
    table.slots[slot].bUsed = 1;
    table.iCount = std::max(table.iCount, slot + 1);
    return slot;
}

template <int N> void EIntersectSegment::RemoveSlot(Table<N>& table, int slot) {
    table.slots[slot].bUsed = 0;
    table.slots[slot].hObject = nullptr;
    while (table.iCount > 0 && !table.slots[table.iCount - 1].bUsed)
        --table.iCount;
}

template <int N> void EIntersectSegment::RemoveEverywhere(Table<N>& table, const ObjectRecord* h) {
    for (int i = 0; i < table.iCount; ++i)
        if (table.slots[i].bUsed && table.slots[i].hObject == h) RemoveSlot(table, i);
}

void EIntersectSegment::FillMeshEntry(SegmentTestEntry& e, ObjectRecord* h) {
    const EMesh* mesh = h->Mesh();
    e.hObject = h;
    e.vCenter = mesh->m_vPosition;
    e.fRadiusSq = mesh->m_fScaledRadiusSq;
    e.vMin = mesh->m_vWorldMin;
    e.vMax = mesh->m_vWorldMax;
    e.dwFlags = h->dwFlags;
    e.dwFlags2 = h->dwFlags2;
}

void EIntersectSegment::FillSkinEntry(SegmentTestEntry& e, ObjectRecord* h) {
    const ESkinMesh* skin = h->SkinMesh();
    e.hObject = h;
    skin->GetSegmentSphere(&e.vCenter, &e.fRadius);
    skin->GetWorldBox(&e.vMin, &e.vMax);
    e.dwFlags = h->dwFlags;
    e.dwFlags2 = h->dwFlags2;
}

void EIntersectSegment::RegisterObject(ObjectRecord* h) {
    if (!h) return;
    if (h->Mesh()) {
        AddObject(h);
    } else if (h->SkinMesh()) {
        AddSkinMesh(h);
    }
}

void EIntersectSegment::AddObject(ObjectRecord* h) {
    if (!h) return;
    if (IsStickMarker(h)) {
        RemoveEverywhere(m_StickMarkers, h);
        const int slot = AddEntry(m_StickMarkers);
        if (slot < 0) {
            g_Console.Print("ERROR: EIntersectSegment::AddObject() ---> "
                            "m_Max_StickMarkers>=MAX_INTERSECT_SEGMENT_OBJECTS");
            return;
        }
        FillMeshEntry(m_StickMarkers.slots[slot], h);
        h->iSegmentSlot[kStickSlot] = slot;
        return;
    }
    RemoveEverywhere(m_Intersect, h);
    RemoveEverywhere(m_CanSeeThru, h);
    if (!h->Mesh() || (h->dwFlags2 & FLAG2_NO_COLLISION)) return;
    // Both tables are checked first, so that the object goes into both or neither.
    if (FreeSlot(m_Intersect) < 0) {
        g_Console.Print(
            "ERROR: EIntersectSegment::AddObject() ---> m_Max_Intersect>=MAX_INTERSECT_SEGMENT_OBJECTS");
        return;
    }
    if (FreeSlot(m_CanSeeThru) < 0) {
        g_Console.Print(
            "ERROR: EIntersectSegment::AddObject() ---> m_Max_CanSeeThru>=MAX_INTERSECT_SEGMENT_OBJECTS");
        return;
    }
    if (!(h->dwFlags & FLAG_PASS_SHOTS)) {
        const int slot = AddEntry(m_Intersect);
        FillMeshEntry(m_Intersect.slots[slot], h);
        h->iSegmentSlot[kMainSlot] = slot;
    }
    if (!(h->dwFlags2 & FLAG2_SEE_THROUGH)) {
        const int slot = AddEntry(m_CanSeeThru);
        FillMeshEntry(m_CanSeeThru.slots[slot], h);
        h->iSegmentSlot[kSeeThruSlot] = slot;
    }
}

void EIntersectSegment::AddSkinMesh(ObjectRecord* h) {
    if (!h || !h->SkinMesh() || (h->dwFlags2 & FLAG2_NO_COLLISION)) return;
    const int slot = AddEntry(m_SkinMeshes);
    if (slot < 0) {
        g_Console.Print("ERROR: EIntersectSegment::AddSkinMesh() ---> "
                        "m_Max_SkinMeshes>=MAX_INTERSECT_SEGMENT_SKIN_MESHES");
        return;
    }
    FillSkinEntry(m_SkinMeshes.slots[slot], h);
    h->iSegmentSlot[kMainSlot] = slot;
}

void EIntersectSegment::RefreshObject(ObjectRecord* h) {
    if (!h) return;
    ++m_dwRefreshCount;
    if (IsStickMarker(h)) {
        UpdateStickMarker(h);
    } else if (h->Mesh()) {
        UpdateObject(h);
    } else if (h->SkinMesh()) {
        UpdateSkinMesh(h);
    }
}

template <int N> bool EIntersectSegment::RefreshMeshEntry(Table<N>& table, ObjectRecord* h, int which) {
    int slot = FindSlot(table, h, h->iSegmentSlot[which]);
    if (slot < 0) {
        AddObject(h);
        slot = FindSlot(table, h, h->iSegmentSlot[which]);
        if (slot < 0) return false;
    }
    FillMeshEntry(table.slots[slot], h);
    return true;
}

void EIntersectSegment::RemoveFromIntersect(ObjectRecord* h) {
    const int slot = FindSlot(m_Intersect, h, h->iSegmentSlot[kMainSlot]);
    if (slot >= 0) RemoveSlot(m_Intersect, slot);
}

void EIntersectSegment::RemoveFromCanSeeThru(ObjectRecord* h) {
    const int slot = FindSlot(m_CanSeeThru, h, h->iSegmentSlot[kSeeThruSlot]);
    if (slot >= 0) RemoveSlot(m_CanSeeThru, slot);
}

void EIntersectSegment::RemoveStickMarker(ObjectRecord* h) {
    const int slot = FindSlot(m_StickMarkers, h, h->iSegmentSlot[kStickSlot]);
    if (slot >= 0) RemoveSlot(m_StickMarkers, slot);
}

void EIntersectSegment::UpdateObject(ObjectRecord* h) {
    if (!h || !h->Mesh()) return;
    if (!InMeshTables(h->dwFlags, h->dwFlags2)) {
        RemoveFromIntersect(h);
        RemoveFromCanSeeThru(h);
        return;
    }
    const char* lost = "ERROR: EIntersectSegment::UpdateObject() BLAD W TABLICY OBIEKTOW!";
    if (h->dwFlags & FLAG_PASS_SHOTS) {
        RemoveFromIntersect(h);
    } else if (!RefreshMeshEntry(m_Intersect, h, kMainSlot)) {
        g_Console.Print(lost);
    }
    if (h->dwFlags2 & FLAG2_SEE_THROUGH) {
        RemoveFromCanSeeThru(h);
    } else if (!RefreshMeshEntry(m_CanSeeThru, h, kSeeThruSlot)) {
        g_Console.Print(lost);
    }
}

void EIntersectSegment::UpdateStickMarker(ObjectRecord* h) {
    if (!h) return;
    int slot = FindSlot(m_StickMarkers, h, h->iSegmentSlot[kStickSlot]);
    if (slot < 0) {
        AddObject(h);
        slot = FindSlot(m_StickMarkers, h, h->iSegmentSlot[kStickSlot]);
    }
    if (slot < 0) {
        g_Console.Print("ERROR: EIntersectSegment::UpdateStickMarker() BLAD W TABLICY OBIEKTOW!");
        return;
    }
    FillMeshEntry(m_StickMarkers.slots[slot], h);
}

void EIntersectSegment::UpdateSkinMesh(ObjectRecord* h) {
    if (!h || !h->SkinMesh()) return;
    const int slot = FindSlot(m_SkinMeshes, h, h->iSegmentSlot[kMainSlot]);
    if (slot >= 0) FillSkinEntry(m_SkinMeshes.slots[slot], h);
}

void EIntersectSegment::RemoveObject(ObjectRecord* h) {
    if (!h) return;
    RemoveFromIntersect(h);
    RemoveFromCanSeeThru(h);
    if (IsStickMarker(h)) RemoveStickMarker(h);
    const int slot = FindSlot(m_SkinMeshes, h, h->iSegmentSlot[kMainSlot]);
    if (slot >= 0) {
        RemoveSlot(m_SkinMeshes, slot);
        h->iSegmentSlot[kMainSlot] = h->iSegmentSlot[kSeeThruSlot] = 0;
    }
}

void EIntersectSegment::RegisterAllObjects() {
    auto clear = [](auto& table) {
        for (int i = 0; i < table.iCount; ++i)
            table.slots[i] = SegmentTestEntry{};
        table.iCount = 0;
    };
    clear(m_Intersect);
    clear(m_CanSeeThru);
    clear(m_StickMarkers);
    clear(m_SkinMeshes);
    for (int slot = 0; slot < EEngine::MAX_OBJECTS; ++slot) {
        ObjectRecord* h = g_Engine.Object(slot);
        if (h->bUsed) RegisterObject(h);
    }
}

// ---- The test -----------------------------------------------------------------------------

bool EIntersectSegment::Test(const SegmentQuery& query, SegmentHit* hit) {
    if (!hit) return false;
    hit->Reset();
    if (!query.pStart || !query.pEnd) return false;
    SegmentTestSegment& s = m_Segment;
    s.vStart = *query.pStart;
    s.vEnd = *query.pEnd;
    s.vDirection = s.vEnd - s.vStart;
    s.fLength = math::Vec3Length(s.vDirection);
    s.vMin = math::Vec3Minimize(s.vStart, s.vEnd);
    s.vMax = math::Vec3Maximize(s.vStart, s.vEnd);
    hit->vSegmentStart = s.vStart;
    hit->vSegmentEnd = s.vEnd;

    if (query.bStickMarkers) {
        CollectCandidates(m_StickMarkers.slots, m_StickMarkers.iCount, query);
    } else if (query.bSeeThrough) {
        CollectCandidates(m_CanSeeThru.slots, m_CanSeeThru.iCount, query);
    } else {
        CollectCandidates(m_Intersect.slots, m_Intersect.iCount, query);
    }

    // Nearest entry first; on equal fractions the earlier candidate.
    float hitFraction = 0.0f;
    for (int n = 0; n < m_iNumCandidates; ++n) {
        SegmentCandidate* pick = nullptr;
        for (int i = 0; i < m_iNumCandidates; ++i) {
            SegmentCandidate& c = m_Candidates[i];
            if (!c.bTested && (!pick || c.fFraction < pick->fFraction)) pick = &c;
        }
        if (hit->bHit && pick->fFraction > hitFraction) break;
        pick->bTested = 1;
        if (TestMeshObject(pick->hObject, hit))
            hitFraction = s.fLength > 0.0f ? hit->fDistance / s.fLength : 0.0f;
    }

    if (hit->bHit) hit->bSkinned = 0;
    hit->Skinned = SegmentSkinnedResult{};
    if (!query.bStickMarkers) {
        TestSkinMeshes(query, hit);
        const SegmentSkinnedResult& r = hit->Skinned;
        if (r.bHit && !(hit->bHit && hit->fDistance <= r.fDistance)) {
            hit->fDistance = r.fDistance;
            hit->vPoint = r.vPoint;
            hit->hObject = r.hObject;
            hit->vNormal = r.vNormal;
            hit->bHit = 1;
            hit->bSkinned = 1;
            std::memcpy(hit->szNodeName, r.szNodeName, sizeof hit->szNodeName);
            hit->dwTextureId = 0;
            hit->dwHitZone = HitZoneCode(r.szHitZoneName);
            return true;
        }
    }
    if (!hit->bHit) return false;
    return FinishMeshHit(hit);
}

void EIntersectSegment::CollectCandidates(const SegmentTestEntry* entries, int count,
                                          const SegmentQuery& query) {
    const SegmentTestSegment& s = m_Segment;
    const bool filtered = query.pFilter && query.pFilter != NoObjectFilter;
    m_iNumCandidates = 0;
    for (int i = 0; i < count && m_iNumCandidates < MAX_CANDIDATES; ++i) {
        const SegmentTestEntry& e = entries[i];
        // Box overlap before the sphere: the cheaper of the two culls first.
        if (!e.bUsed || !Overlap(e.vMin, e.vMax, s.vMin, s.vMax)) continue;
        if (SqDistanceToSegment(e.vCenter, s.vStart, s.vDirection) > e.fRadiusSq) continue;
        if (!SegmentAABBIntersect(s.vStart, s.vEnd, e.vMin, e.vMax)) continue;
        ObjectRecord* h = e.hObject;
        if (h->bNoSegmentTest && !query.bIncludeExcluded) continue;
        if (filtered && !query.pFilter(h, query.pFilterArgument)) continue;
        const EMesh* mesh = h->Mesh();
        float fraction = 0.0f;
        if (!mesh || !TestOrientedBox(s.vStart, s.vEnd, mesh->m_vWorldCorners, &fraction)) continue;
        m_Candidates[m_iNumCandidates++] = SegmentCandidate{fraction, h, 0};
    }
}

bool EIntersectSegment::TestMeshObject(ObjectRecord* h, SegmentHit* hit) {
    const EMesh* mesh = h->Mesh();
    const CollisionMeshEntry* e = g_CollisionMgr.GetEntry(h);
    if (!mesh || !e) return false;
    Vec3 a, b;
    TransformCoord(&a, m_Segment.vStart, mesh->m_mInvWorld);
    TransformCoord(&b, m_Segment.vEnd, mesh->m_mInvWorld);

    // Only the part of the segment inside the mesh's box and before the
    // nearest hit so far can hold a face that wins: groups and faces are
    // culled by that part's box, grown so that rounding never culls a face
    // at either end of it.
    const Vec3 ab = b - a;
    const float grow = 1e-3f * (std::fabs(ab.x) + std::fabs(ab.y) + std::fabs(ab.z) + 1.0f);
    float first = 0.0f, last = 1.0f;
    ClipToBox(a, ab, e->vLocalMin, e->vLocalMax, &first, &last);
    Vec3 min, max;
    auto reach = [&](float limit) {
        const Vec3 p = a + ab * first, q = a + ab * std::max(first, std::min(last, limit));
        min = math::Vec3Minimize(p, q) - Vec3(grow, grow, grow);
        max = math::Vec3Maximize(p, q) + Vec3(grow, grow, grow);
    };
    const float length = m_Segment.fLength;
    reach(hit->bHit && length > 0.0f ? std::min(1.0f, hit->fDistance / length) : 1.0f);

    // The faces in the mesh's own space, groups first; on equal fractions the earlier face.
    bool found = false;
    uint32_t bestFace = 0;
    float bestT = 0.0f;
    Vec3 bestPoint;
    for (uint32_t g = 0; g < e->dwNumBoxes; ++g) {
        const CollisionBox& group = e->pBoxes[g];
        if (group.bSkip || !Overlap(group.vLocalMin, group.vLocalMax, min, max)) continue;
        if (!SegmentAABBIntersect(a, b, group.vLocalMin, group.vLocalMax)) continue;
        for (uint32_t f = group.dwFirstFace; f < group.dwFirstFace + group.dwNumFaces; ++f) {
            if (!Overlap(e->CM_vFacesDimMin[f], e->CM_vFacesDimMax[f], min, max)) continue;
            const uint16_t* face = &e->CM_dwFaces[3 * f];
            const Vec3* v = e->CM_vVerticesLocal;
            Vec3 point;
            float t = 0.0f;
            if (!SegmentTriangleIntersectPoint(a, b, v[face[0]], v[face[1]], v[face[2]], &point, &t))
                continue;
            if (!found || t < bestT) {
                found = true;
                bestFace = f;
                bestT = t;
                bestPoint = point;
                reach(t);
            }
        }
    }
    if (!found) return false;

    const float distance = length * bestT;
    if (hit->bHit && hit->fDistance < distance) return false;
    hit->bHit = 1;
    TransformCoord(&hit->vPoint, bestPoint, mesh->m_mWorld);
    Vec3 tip;
    TransformCoord(&tip, bestPoint + e->CM_vFaceLocalNormal[bestFace], mesh->m_mWorld);
    hit->vNormal = tip - hit->vPoint;
    hit->fDistance = distance;
    hit->hObject = h;
    hit->dwFace = bestFace;
    return true;
}

void EIntersectSegment::TestSkinMeshes(const SegmentQuery& query, SegmentHit* hit) {
    const SegmentTestSegment& s = m_Segment;
    const bool filtered = query.pFilter && query.pFilter != NoObjectFilter;
    for (int i = 0; i < m_SkinMeshes.iCount; ++i) {
        const SegmentTestEntry& e = m_SkinMeshes.slots[i];
        if (!e.bUsed || !Overlap(e.vMin, e.vMax, s.vMin, s.vMax)) continue;
        if (query.bSeeThrough ? (e.dwFlags2 & FLAG2_SEE_THROUGH) : (e.dwFlags & FLAG_PASS_SHOTS)) continue;
        if (e.dwFlags2 & FLAG2_NO_COLLISION) continue;
        if (!SegmentSphereOverlap(s.vStart, s.vEnd, e.vCenter, e.fRadius)) continue;
        if (!SegmentAABBIntersect(s.vStart, s.vEnd, e.vMin, e.vMax)) continue;
        if (filtered && !query.pFilter(e.hObject, query.pFilterArgument)) continue;

        const float distance = math::Vec3Length(e.vCenter - s.vStart);
        if (query.bCoarse && distance > query.fCoarseDistance) {
            // Far away: hit at the centre, without the hit zones.
            SegmentSkinnedResult& r = hit->Skinned;
            if (r.bHit && !(r.fDistance > distance)) continue;
            r.bHit = 1;
            r.hObject = e.hObject;
            r.vPoint = e.vCenter;
            r.vNormal = -s.vDirection / (s.fLength == 0.0f ? 1.0f : s.fLength);
            std::snprintf(r.szNodeName, sizeof r.szNodeName, "%s", "Bip01");
            r.fDistance = distance;
            std::snprintf(r.szHitZoneName, sizeof r.szHitZoneName, "%s", "tulow");
        } else if (ESkinMesh* skin = e.hObject->SkinMesh()) {
            g_SkinMeshCollision.TestSegment(&skin->m_CollisionState, hit);
        }
    }
}

bool EIntersectSegment::FinishMeshHit(SegmentHit* hit) {
    const float length = math::Vec3Length(hit->vNormal);
    hit->vNormal = length > 0.0f ? hit->vNormal / length : Vec3(0, 1, 0);

    ObjectRecord* h = hit->hObject;
    if (!h || h->dwType != OT_MESH) {
        g_Console.Print(
            "ERROR in EIntersectSegment: bylo trafienie i trafiony HOBJECT nie jest meshem a powinien!");
        return false;
    }
    const EMesh* mesh = h->Mesh();
    if (!mesh) {
        g_Console.Print("ERROR: EIntersectSegment, bylo trafienie i trafiony EMesh to NULL");
        return false;
    }
    // Without an attribute table the hit stands, with texture id 0.
    const EMeshMgr::strmesh* loaded = g_MeshMgr.GetEntry(mesh->m_iMeshId);
    if (!loaded || !loaded->pMesh || loaded->pMesh->AttributeTable().empty()) {
        g_Console.Print(" *** Fizyka *** EMeshMgr::strmesh nie posiada tablicy subsetow!");
        return true;
    }
    for (const mesh::AttributeRange& r : loaded->pMesh->AttributeTable())
        if (hit->dwFace >= r.faceStart && hit->dwFace < r.faceStart + r.faceCount)
            hit->dwTextureId =
                r.attribId < uint32_t(EMesh::MAX_SUBSETS) ? mesh->m_dwTextureId[r.attribId] : 0;
    return true;
}
