#include "physics/MovePlayerSlide.h"

#include <algorithm>
#include <cmath>

#include "app/Console.h"
#include "app/Geometry.h"
#include "physics/PhysicsWorld.h"
#include "physics/RigidBodySimulation.h"
#include "platform/math/Math.h"
#include "render/Mesh.h"
#include "world/Engine.h"
#include "world/ObjectApi.h"
#include "world/ObjectRecord.h"

EMovePlayerSlide g_MovePlayerSlide;
uint32_t g_dwMaxSlideBumps = 3;

namespace {

using math::Vec3;

constexpr float kWalkable = 0.7f;     // the least normal y of walkable ground
constexpr float kStepHeight = 18.0f;  // the highest step climbed
constexpr float kSideStep = 8.0f;     // corner trials, and their lift on ground
constexpr float kGlideSpeed = 145.0f; // the least glide speed, units per second
constexpr float kGlideReach = 42.0f;  // the least forward reach of a step-over
constexpr float kPushImpulse = 170.0f;
constexpr float kHurtPerSecond = 50.0f;
constexpr float kKillDamage = 150.0f;
constexpr uint32_t kFlag2Hurt = 0x4000000;
constexpr uint32_t kFlag2Kill = 0x400000;
constexpr uint32_t kOverflowRoom = 50;

// The ring offsets (x, z) of the unstick searches, in trial order.
constexpr float kRing[8][2] = {{-1, 1}, {0, 1}, {1, 1}, {-1, 0}, {1, 0}, {-1, -1}, {0, -1}, {1, -1}};

// A gathered box that holds nothing, so that the first query gathers.
const Vec3 kEmptyMin{1e30f, 1e30f, 1e30f};
const Vec3 kEmptyMax{-1e30f, -1e30f, -1e30f};

bool Inside(const Vec3& min, const Vec3& max, const Vec3& outerMin, const Vec3& outerMax) {
    return min.x >= outerMin.x && min.y >= outerMin.y && min.z >= outerMin.z && max.x <= outerMax.x &&
           max.y <= outerMax.y && max.z <= outerMax.z;
}

bool BoxesMeet(const Vec3& aMin, const Vec3& aMax, const Vec3& bMin, const Vec3& bMax) {
    return aMax.x >= bMin.x && aMin.x <= bMax.x && aMax.y >= bMin.y && aMin.y <= bMax.y && aMax.z >= bMin.z &&
           aMin.z <= bMax.z;
}

float Component(const Vec3& v, int axis) {
    return v.data()[axis];
}

// The local box of the object's mesh; false without one.
bool BodyBox(ObjectRecord* h, Vec3* min, Vec3* max) {
    const EMesh* mesh = h ? h->Mesh() : nullptr;
    if (!mesh) return false;
    *min = mesh->m_vBoxMin;
    *max = mesh->m_vBoxMax;
    return true;
}

// The player's two bodies lose their gathering flag for the time of a query
// and get their whole flags words back at its end, whatever the path.
class BodiesLeftOut {
  public:
    BodiesLeftOut() {
        for (int i = 0; i < 2; ++i) {
            m_hBodies[i] = physicsworld::World().PlayerBody(i);
            GetObjectFlags(m_hBodies[i], &m_dwFlags[i]);
        }
        for (ObjectRecord* b : m_hBodies)
            SetObjectFlags(b, 0, ECollisionMgr::FLAG_GATHERING);
    }
    ~BodiesLeftOut() {
        for (int i = 0; i < 2; ++i)
            SetObjectFlags(m_hBodies[i], m_dwFlags[i], 0xFFFFFFFF);
    }
    BodiesLeftOut(const BodiesLeftOut&) = delete;
    BodiesLeftOut& operator=(const BodiesLeftOut&) = delete;

  private:
    ObjectRecord* m_hBodies[2] = {};
    uint32_t m_dwFlags[2] = {};
};

// One swept face: the solid between a face of the start box and the same
// face of the end box, with its box and its four side planes facing out.
struct SweptFace {
    Vec3 points[8];
    Vec3 min, max;
    Vec3 sideNormal[4];
    Vec3 sidePoint[4];
    // A side plane through three points on one line (a face swept exactly
    // along its own plane) has no direction and bounds nothing: a vertex
    // then lies in the solid only as the exact crossing tests find it.
    bool bDegenerateSide;
};

// The corners of the side planes, and the solid's edges and surface
// triangles, over the points P0..P7.
constexpr int kSidePlanes[4][3] = {{0, 3, 7}, {1, 2, 6}, {3, 2, 7}, {0, 4, 1}};
constexpr int kEdges[12][2] = {{0, 1}, {1, 2}, {2, 3}, {3, 0}, {4, 5}, {5, 6},
                               {6, 7}, {7, 4}, {0, 4}, {1, 5}, {2, 6}, {3, 7}};
constexpr int kSurface[12][3] = {{0, 1, 2}, {0, 2, 3}, {4, 5, 6}, {4, 6, 7}, {0, 7, 4}, {0, 3, 7},
                                 {1, 5, 6}, {1, 2, 6}, {0, 1, 5}, {0, 5, 4}, {3, 2, 6}, {3, 6, 7}};

// The face of box [lo, hi] at the given side of the axis as four corners in
// cyclic order around it.
void FaceQuad(const Vec3& lo, const Vec3& hi, int axis, bool maxSide, Vec3 out[4]) {
    const int b = (axis + 1) % 3;
    const int c = (axis + 2) % 3;
    const float bs[4] = {Component(lo, b), Component(hi, b), Component(hi, b), Component(lo, b)};
    const float cs[4] = {Component(lo, c), Component(lo, c), Component(hi, c), Component(hi, c)};
    for (int i = 0; i < 4; ++i) {
        float* p = out[i].data();
        p[axis] = Component(maxSide ? hi : lo, axis);
        p[b] = bs[i];
        p[c] = cs[i];
    }
}

void BuildSweptFace(const Vec3& sMin, const Vec3& sMax, const Vec3& eMin, const Vec3& eMax, int axis,
                    bool maxSide, SweptFace* f) {
    Vec3 start[4], end[4];
    FaceQuad(sMin, sMax, axis, maxSide, start);
    FaceQuad(eMin, eMax, axis, maxSide, end);
    const bool endFirst = Component(end[0], axis) < Component(start[0], axis);
    for (int i = 0; i < 4; ++i) {
        f->points[i] = endFirst ? end[i] : start[i];
        f->points[4 + i] = endFirst ? start[i] : end[i];
    }
    f->min = f->max = f->points[0];
    Vec3 centre;
    for (const Vec3& p : f->points) {
        f->min = math::Vec3Minimize(f->min, p);
        f->max = math::Vec3Maximize(f->max, p);
        centre += p;
    }
    centre = centre * 0.125f;
    f->bDegenerateSide = false;
    for (int s = 0; s < 4; ++s) {
        const Vec3& a = f->points[kSidePlanes[s][0]];
        Vec3 n = math::Vec3Cross(f->points[kSidePlanes[s][1]] - a, f->points[kSidePlanes[s][2]] - a);
        if (math::Vec3Dot(n, centre - a) > 0.0f) n = -n;
        f->bDegenerateSide |= n == Vec3(0, 0, 0);
        f->sideNormal[s] = n;
        f->sidePoint[s] = a;
    }
}

// Bits of the six faces of the solid that the point lies strictly outside:
// the two quads, then the four sides.
uint32_t Outside(const SweptFace& f, const Vec3& v, int axis) {
    uint32_t bits = 0;
    if (Component(v, axis) < Component(f.points[0], axis)) bits |= 1;
    if (Component(v, axis) > Component(f.points[4], axis)) bits |= 2;
    for (int s = 0; s < 4; ++s)
        if (math::Vec3Dot(f.sideNormal[s], v - f.sidePoint[s]) > 0.0f) bits |= 4u << s;
    return bits;
}

// The swept-face test against a triangle; the axis bounds the solid.
bool SweptFaceTriangleTest(const SweptFace& f, const Vec3 (&t)[3], int axis) {
    uint32_t common = ~0u;
    for (const Vec3& v : t) {
        const uint32_t out = Outside(f, v, axis);
        if (!out && !f.bDegenerateSide) return true;
        common &= out;
    }
    if (common) return false;
    const Vec3* p = f.points;
    for (const auto& e : kEdges)
        if (SegmentTriangleIntersect(p[e[0]], p[e[1]], t[0], t[1], t[2])) return true;
    for (int i = 0; i < 3; ++i) {
        const Vec3& a = t[i];
        const Vec3& b = t[(i + 1) % 3];
        for (const auto& s : kSurface)
            if (SegmentTriangleIntersect(a, b, p[s[0]], p[s[1]], p[s[2]])) return true;
    }
    return false;
}

bool SweptFaceTriangleTestX(const SweptFace& f, const Vec3 (&t)[3]) {
    return SweptFaceTriangleTest(f, t, 0);
}
bool SweptFaceTriangleTestY(const SweptFace& f, const Vec3 (&t)[3]) {
    return SweptFaceTriangleTest(f, t, 1);
}
bool SweptFaceTriangleTestZ(const SweptFace& f, const Vec3 (&t)[3]) {
    return SweptFaceTriangleTest(f, t, 2);
}
bool (*const kSweptFaceTests[3])(const SweptFace&, const Vec3 (&)[3]) = {
    SweptFaceTriangleTestX, SweptFaceTriangleTestY, SweptFaceTriangleTestZ};

} // namespace

EMovePlayerSlide::EMovePlayerSlide() : m_vGatherMin(kEmptyMin), m_vGatherMax(kEmptyMax) {}

// ---- Gathering and the touch test ---------------------------------------------------------

void EMovePlayerSlide::RefillFromFinder() {
    if (!m_pFinder)
        m_pFinder = g_CollisionMgr.AddBoxFinder(&m_vGatherMin, &m_vGatherMax);
    else
        g_CollisionMgr.MoveBoxFinder(m_pFinder, &m_vGatherMin, &m_vGatherMax);
    m_dwNumTriangles = 0;
    g_CollisionMgr.GetTrianglesInBoxFinder(m_pFinder, m_pTriangles, &m_dwNumTriangles, MAX_TRIANGLES, 0);
}

void EMovePlayerSlide::GatherAround(const Vec3& min, const Vec3& max) {
    if (Inside(min, max, m_vGatherMin, m_vGatherMax)) return;
    m_vGatherMin = math::Vec3Minimize(m_vGatherMin, min);
    m_vGatherMax = math::Vec3Maximize(m_vGatherMax, max);
    RefillFromFinder();
}

bool EMovePlayerSlide::Touches(const CollisionTriangle& t, const Vec3& min, const Vec3& max) {
    return BoxesMeet(t.vMin, t.vMax, min, max) &&
           TriBoxOverlap(t.vVertices[0], t.vVertices[1], t.vVertices[2], min, max);
}

bool EMovePlayerSlide::TestBox(const Vec3& p, const Vec3& min, const Vec3& max) {
    const Vec3 lo = p + min, hi = p + max;
    GatherAround(lo, hi);
    for (uint32_t i = 0; i < m_dwNumTriangles; ++i)
        if (Touches(m_pTriangles[i], lo, hi)) return true;
    return false;
}

bool EMovePlayerSlide::FindOpposingNormal(const Vec3& p, const Vec3& min, const Vec3& max,
                                          const Vec3& direction, Vec3* normal) const {
    const Vec3 lo = p + min, hi = p + max;
    const CollisionTriangle* best = nullptr;
    float bestDot = 0;
    for (uint32_t i = 0; i < m_dwNumTriangles; ++i) {
        const CollisionTriangle& t = m_pTriangles[i];
        if (!Touches(t, lo, hi)) continue;
        const float d = math::Vec3Dot(t.vNormal, direction);
        if (!best || d < bestDot) {
            best = &t;
            bestDot = d;
        }
    }
    if (!best) return false;
    *normal = best->vNormal;
    return true;
}

// ---- The swept box ------------------------------------------------------------------------

bool EMovePlayerSlide::SweptBoxHits(const Vec3& from, const Vec3& to, const Vec3& min, const Vec3& max) {
    const Vec3 sMin = from + min, sMax = from + max;
    const Vec3 eMin = to + min, eMax = to + max;
    SweptFace faces[6];
    for (int axis = 0; axis < 3; ++axis)
        for (int side = 0; side < 2; ++side)
            BuildSweptFace(sMin, sMax, eMin, eMax, axis, side != 0, &faces[2 * axis + side]);
    // Everything below lies in the box around both ends.
    const Vec3 allMin = math::Vec3Minimize(sMin, eMin), allMax = math::Vec3Maximize(sMax, eMax);
    for (uint32_t i = 0; i < m_dwNumTriangles; ++i) {
        const CollisionTriangle& t = m_pTriangles[i];
        m_hLastHitObject = t.hObject;
        if (!BoxesMeet(t.vMin, t.vMax, allMin, allMax)) continue;
        if (Touches(t, sMin, sMax) || Touches(t, eMin, eMax)) return true;
        for (int k = 0; k < 6; ++k)
            if (BoxesMeet(t.vMin, t.vMax, faces[k].min, faces[k].max) &&
                kSweptFaceTests[k / 2](faces[k], t.vVertices))
                return true;
    }
    return false;
}

void EMovePlayerSlide::SweepBox(const Vec3& from, const Vec3& to, const Vec3& min, const Vec3& max,
                                bool probe, SlideSweepResult* result) {
    const Vec3 one{1, 1, 1};
    GatherAround(math::Vec3Minimize(from, to) + min - one, math::Vec3Maximize(from, to) + max + one);
    result->bStartedInside = 0;
    if (!SweptBoxHits(from, to, min, max)) {
        result->bHit = 0;
        result->vPos = to;
        result->fFraction = 1.0f;
        result->vNormal = math::Vec3Normalize(from - to);
        return;
    }
    result->bHit = 1;
    const Vec3 d = to - from;
    const Vec3 u = math::Vec3Normalize(d);
    Vec3 base = from, step = d * 0.5f;
    float share = 0.5f, fraction = 0.0f;
    bool moved = false;
    // Every trial sweeps from the start itself, so at most 15/16 of the way.
    for (int i = 0; i < 4; ++i) {
        const Vec3 candidate = base + step;
        if (!SweptBoxHits(from, candidate, min, max)) {
            fraction += share;
            base = candidate;
            moved = true;
        }
        step = step * 0.5f;
        share *= 0.5f;
    }
    result->fFraction = fraction;
    if (!moved && TestBox(from, min, max)) {
        // No normal is computed: the caller's stays.
        result->bStartedInside = 1;
        result->vPos = from;
        result->fFraction = 0.0f;
        return;
    }
    result->vPos = base;
    if (!probe) {
        result->vNormal = Vec3(0, 1, 0);
        return;
    }
    Vec3 forward, sideways;
    bool forwardFound = false, sidewaysFound = false;
    Vec3 p = base + u;
    for (int i = 0; i < 3 && !forwardFound; ++i, p += u)
        forwardFound = FindOpposingNormal(p, min, max, u, &forward);
    if (u.x != 0.0f && u.z != 0.0f) {
        const Vec3 h = math::Vec3Normalize(Vec3(u.x, 0, u.z));
        p = base + h;
        for (int i = 0; i < 3 && !sidewaysFound; ++i, p += h)
            sidewaysFound = FindOpposingNormal(p, min, max, h, &sideways);
    }
    if (sidewaysFound) {
        const Vec3 n = math::Vec3Normalize(sideways);
        result->vNormal = math::Vec3LengthSq(n) == 0.0f ? -u : n;
    } else {
        result->vNormal = forwardFound ? forward : -u;
    }
}

void EMovePlayerSlide::ClipVelocity(const Vec3& v, const Vec3& n, Vec3* out, float factor) {
    *out = v - n * (math::Vec3Dot(v, n) * factor);
    for (float* c = out->data(); c != out->data() + 3; ++c)
        if (*c > -0.1f && *c < 0.1f) *c = 0.0f;
}

void EMovePlayerSlide::SlideMove(Vec3* position, Vec3* velocity, const Vec3& min, const Vec3& max) {
    Vec3 p = *position, v = *velocity;
    const Vec3 given = *velocity;
    float remaining = 1.0f;
    Vec3 planes[3];
    int numPlanes = 0;
    for (uint32_t bump = 0; bump < g_dwMaxSlideBumps; ++bump) {
        SlideSweepResult r;
        SweepBox(p, p + v * remaining, min, max, true, &r);
        if (r.bStartedInside) {
            v = Vec3();
            break;
        }
        if (r.fFraction > 0.0f) {
            p = r.vPos;
            numPlanes = 0;
        }
        if (!r.bHit) break;
        remaining *= 1.0f - r.fFraction;
        Vec3 n = r.vNormal;
        // Steep faces act as vertical walls.
        if (n.y < kWalkable) n.y = 0.0f;
        if (numPlanes < 3) planes[numPlanes++] = n;
        bool accepted = false;
        for (int i = 0; i < numPlanes && !accepted; ++i) {
            ClipVelocity(v, planes[i], &v, 1.01f);
            accepted = true;
            for (int j = 0; j < numPlanes; ++j)
                if (j != i && math::Vec3Dot(v, planes[j]) < 0.0f) accepted = false;
        }
        if (!accepted) {
            if (numPlanes != 2) {
                v = Vec3();
                break;
            }
            const Vec3 crease = math::Vec3Cross(planes[0], planes[1]);
            v = crease * math::Vec3Dot(crease, v);
        }
        if (math::Vec3Dot(v, given) <= 0.0f) {
            v.x = v.z = 0.0f;
            break;
        }
    }
    *position = p;
    *velocity = v;
}

bool EMovePlayerSlide::FindFacingContact(const Vec3& p, const Vec3& min, const Vec3& max, Vec3* normal) {
    const Vec3 lo = p + min, hi = p + max;
    GatherAround(lo, hi);
    for (uint32_t i = 0; i < m_dwNumTriangles; ++i) {
        const CollisionTriangle& t = m_pTriangles[i];
        if (Touches(t, lo, hi) && math::Vec3Dot(t.vNormal, t.vVertices[0] - p) <= 0.0f) {
            *normal = t.vNormal;
            return true;
        }
    }
    return false;
}

ObjectRecord* EMovePlayerSlide::FindMeshOnSegment(const Vec3& a, const Vec3& b) {
    const Vec3 lo = math::Vec3Minimize(a, b), hi = math::Vec3Maximize(a, b);
    GatherAround(lo, hi);
    for (uint32_t i = 0; i < m_dwNumTriangles; ++i) {
        const CollisionTriangle& t = m_pTriangles[i];
        if (BoxesMeet(t.vMin, t.vMax, lo, hi) &&
            SegmentTriangleIntersect(a, b, t.vVertices[0], t.vVertices[1], t.vVertices[2]) && t.hObject &&
            t.hObject->dwType == OT_MESH)
            return t.hObject;
    }
    return nullptr;
}

// ---- Freeing a stuck body -----------------------------------------------------------------

bool EMovePlayerSlide::Acceptable(const Vec3& start, const Vec3& p, const Vec3& min, const Vec3& max) {
    return !TestBox(p, min, max) && !FindMeshOnSegment(start, p);
}

bool EMovePlayerSlide::TryRing(const Vec3& start, float radius, float lift, const Vec3& min, const Vec3& max,
                               Vec3* out) {
    for (const auto& o : kRing) {
        const Vec3 t = start + Vec3(o[0] * radius, lift, o[1] * radius);
        if (Acceptable(start, t, min, max)) {
            *out = t;
            return true;
        }
    }
    return false;
}

void EMovePlayerSlide::UnstickByLifting(Vec3* p, const Vec3& min, const Vec3& max) {
    const Vec3 start = *p;
    for (int i = 0; i < 10; ++i) {
        const Vec3 t = start + Vec3(0, 3.0f + 4.0f * float(i), 0);
        if (Acceptable(start, t, min, max)) {
            *p = t;
            return;
        }
    }
    int lift = 1;
    for (int ring = 1; ring <= 4; ++ring)
        for (int i = 0; i < 3; ++i, ++lift)
            if (TryRing(start, 0.5f * float(ring), float(lift), min, max, p)) return;
}

void EMovePlayerSlide::UnstickBySearching(Vec3* p, const Vec3& min, const Vec3& max) {
    const Vec3 start = *p;
    for (int ring = 0; ring < 16; ++ring)
        if (TryRing(start, 12.0f * float(ring + 1), 1.0f + 1.5f * float(ring / 4), min, max, p)) return;
}

void EMovePlayerSlide::UnstickByPushing(Vec3* p, const Vec3& min, const Vec3& max) {
    const Vec3 start = *p;
    Vec3 n;
    for (int pass = 0; pass < 60; ++pass) {
        const bool found = FindFacingContact(*p, min, max, &n);
        const bool crossed = FindMeshOnSegment(start, *p) != nullptr;
        if (!found && !crossed) return;
        // Never pushed down; when only the crossing remains the last normal
        // goes on pushing.
        if (n.y < 0.0f) n.y = 0.0f;
        *p += n;
    }
}

bool EMovePlayerSlide::PushRigidBodies(const Vec3& q, const Vec3& min, const Vec3& max, const Vec3& u) {
    const Vec3 lo = q + min, hi = q + max;
    GatherAround(lo, hi);
    for (uint32_t i = 0; i < m_dwNumTriangles; ++i)
        m_pTriangles[i].dwSpare = 0;
    bool pushed = false;
    for (uint32_t i = 0; i < m_dwNumTriangles; ++i) {
        CollisionTriangle& t = m_pTriangles[i];
        if (t.dwSpare || !Touches(t, lo, hi)) continue;
        t.dwSpare = 1;
        ERigidBodyPhysics* body = nullptr;
        if (!g_RigidBodySimulation.FindBody(t.hObject, &body) || !body->m_Params.bCollideWithPlayer) continue;
        const Vec3 centroid = (t.vVertices[0] + t.vVertices[1] + t.vVertices[2]) * 0.33333f;
        const Vec3 impulse = u * kPushImpulse;
        g_RigidBodySimulation.AddImpulse(t.hObject, centroid.data(), impulse.data());
        pushed = true;
    }
    return pushed;
}

// ---- The move -----------------------------------------------------------------------------

void EMovePlayerSlide::HurtBySurfaces(const Vec3& min, const Vec3& max, float frameTime) {
    for (uint32_t i = 0; i < m_dwNumTriangles; ++i)
        m_pTriangles[i].dwSpare = 0;
    for (uint32_t i = 0; i < m_dwNumTriangles; ++i) {
        CollisionTriangle& t = m_pTriangles[i];
        if (!Touches(t, min, max)) continue;
        t.dwSpare = 1;
        // Each object counts once per move.
        bool counted = false;
        for (uint32_t j = 0; j < i && !counted; ++j)
            counted = m_pTriangles[j].dwSpare && m_pTriangles[j].hObject == t.hObject;
        if (counted || !t.hObject) continue;
        uint32_t flags2 = 0;
        GetObjectFlags2(t.hObject, &flags2);
        if (flags2 & kFlag2Hurt) {
            g_Console.Print2("HURT Player... ", t.hObject->szName);
            physicsworld::World().ChangePlayerHealth(-kHurtPerSecond * frameTime, 0, 0);
        }
        if (flags2 & kFlag2Kill) {
            g_Console.Print2("KILL Player... ", t.hObject->szName);
            physicsworld::World().ChangePlayerHealth(-kKillDamage, 0, 0);
        }
    }
}

bool EMovePlayerSlide::MovePlayerSlide(ObjectRecord* h, Vec3* wanted, uint8_t* contact, bool force) {
    Vec3 min, max;
    if (!h || !wanted || !BodyBox(h, &min, &max)) return false;
    const float frameTime = g_Engine.m_fFrameTime;

    if (m_bPushActive) {
        Vec3 pos;
        GetObjectPosition(h, &pos);
        const float step = std::max(math::Vec3Length(*wanted - pos), kGlideSpeed * frameTime);
        if (m_fPushRemaining > step) {
            // No collision test while gliding.
            *wanted = pos + m_vPushDir * step;
            m_fPushRemaining -= step;
            if (contact) *contact = 1;
            return true;
        }
        SetObjectPosition(h, pos + m_vPushDir * m_fPushRemaining, false);
        m_bPushActive = 0;
        m_vPushDir = Vec3();
        m_fPushRemaining = 0.0f;
    }

    Vec3 pos;
    GetObjectPosition(h, &pos);
    if (math::Vec3Length(*wanted - pos) < 0.001f && !force) {
        *wanted = pos;
        return false;
    }
    if (!contact) return false;

    m_bOnGround = 0;
    BodiesLeftOut leftOut;
    *contact = 0;
    const Vec3 asked = *wanted;

    m_vGatherMin = math::Vec3Minimize(pos, asked) + min - Vec3(38, 8, 38);
    m_vGatherMax = math::Vec3Maximize(pos, asked) + max + Vec3(38, 38, 38);
    RefillFromFinder();
    if (m_dwNumTriangles + kOverflowRoom >= MAX_TRIANGLES)
        g_Console.Print("*** EMovePlayerSlide::MovePlayerSlide() ---> Collision Triangles Buffer OVERFLOW!");

    if (TestBox(pos, min, max)) {
        ++m_dwUnstickSearches;
        void (EMovePlayerSlide::*const searches[3])(Vec3*, const Vec3&, const Vec3&) = {
            &EMovePlayerSlide::UnstickByLifting, &EMovePlayerSlide::UnstickBySearching,
            &EMovePlayerSlide::UnstickByPushing};
        bool freed = false;
        for (auto search : searches) {
            Vec3 p = pos;
            (this->*search)(&p, min, max);
            if (Acceptable(pos, p, min, max)) {
                pos = p;
                freed = true;
                break;
            }
        }
        if (!freed) {
            GetObjectPosition(h, wanted);
            return false;
        }
    }

    {
        const Vec3 d = asked - pos;
        float length = math::Vec3Length(d);
        if (length == 0.0f) length = 1.0f;
        const Vec3 u = d / length;
        PushRigidBodies(pos + u, min, max, u);
    }

    // The plain slide, and the slide one step up put back down.
    const Vec3 cur = pos;
    const Vec3 v = asked - cur;
    Vec3 plain = cur, plainVelocity = v;
    SlideMove(&plain, &plainVelocity, min, max);

    const Vec3 up(0, kStepHeight, 0);
    Vec3 stepped = TestBox(cur + up, min, max) ? cur : cur + up;
    Vec3 steppedVelocity = v;
    SlideMove(&stepped, &steppedVelocity, min, max);
    SlideSweepResult down;
    down.vNormal = m_vContactNormal;
    SweepBox(stepped, stepped - up, min, max, true, &down);
    m_vContactNormal = down.vNormal;

    if (down.vNormal.y >= kWalkable && math::Vec3Length(down.vPos - cur) >= math::Vec3Length(plain - cur)) {
        *wanted = down.vPos;
    } else {
        *wanted = plain;
        if (!FindOpposingNormal(plain - Vec3(0, 2, 0), min, max, Vec3(0, -1, 0), &m_vContactNormal))
            m_vContactNormal = Vec3(0, 1, 0);
    }

    // Side-steps out of corners, each kept only when strictly closer.
    {
        const uint32_t savedBumps = g_dwMaxSlideBumps;
        g_dwMaxSlideBumps = 2;
        float remaining = math::Vec3Length(asked - *wanted);
        if (remaining > 1.0f) {
            const float lift = m_vContactNormal.y >= kWalkable ? kSideStep : 0.0f;
            const Vec3 base = *wanted;
            const Vec3 offsets[4] = {
                {kSideStep, lift, 0}, {-kSideStep, lift, 0}, {0, lift, kSideStep}, {0, lift, -kSideStep}};
            for (const Vec3& o : offsets) {
                const Vec3 c = base + o;
                if (TestBox(c, min, max)) continue;
                Vec3 p = c, toGoal = asked - c;
                SlideMove(&p, &toGoal, min, max);
                const float left = math::Vec3Length(asked - p);
                if (left < remaining) {
                    remaining = left;
                    *wanted = p;
                }
            }
        }
        g_dwMaxSlideBumps = savedBumps;
    }

    // A result well beyond the wanted move (a step-up or a side-step) is
    // taken as a glide over the step rather than a jump.
    const float wantedLength = math::Vec3Length(v);
    const float movedLength = math::Vec3Length(*wanted - cur);
    if (wantedLength > 0.0f && movedLength > 0.0f && movedLength > wantedLength + 2.0f) {
        SlideSweepResult rise;
        SweepBox(cur, cur + up, min, max, false, &rise);
        if (!rise.bStartedInside) {
            Vec3 over = rise.vPos;
            Vec3 reach = v * (std::max(wantedLength, kGlideReach) / wantedLength);
            SlideMove(&over, &reach, min, max);
            SlideSweepResult land;
            SweepBox(over, over - up, min, max, false, &land);
            const Vec3 d = land.vPos - cur;
            const float length = math::Vec3Length(d);
            if (!land.bStartedInside && length >= 0.01f) {
                if (wantedLength > length) {
                    *wanted = land.vPos;
                } else {
                    m_bPushActive = 1;
                    m_vPushDir = d / length;
                    m_fPushRemaining = length - wantedLength;
                    *wanted = cur + m_vPushDir * wantedLength;
                    ++m_dwGlides;
                }
            }
        }
    }

    const Vec3 below = *wanted - Vec3(0, 1, 0);
    if (TestBox(below, min, max)) {
        *contact = 1;
        if (!FindOpposingNormal(below, min, max, Vec3(0, -1, 0), &m_vContactNormal))
            m_vContactNormal = Vec3(0, 1, 0);
        m_bOnGround = m_vContactNormal.y >= kWalkable;
    } else {
        m_bOnGround = 0;
    }

    if (wantedLength > 0.0f) {
        const Vec3 u = wantedLength > 1.0f ? v / wantedLength : v;
        HurtBySurfaces(*wanted + u + min, *wanted + u + max, frameTime);
    }
    return true;
}

// ---- Fitting and moving boxes -------------------------------------------------------------

bool EMovePlayerSlide::IsPositionFree(ObjectRecord* h, const Vec3& position) {
    Vec3 min, max;
    if (!BodyBox(h, &min, &max)) return false;
    {
        BodiesLeftOut leftOut;
        const Vec3 margin{10, 10, 10};
        m_vGatherMin = position + min - margin;
        m_vGatherMax = position + max + margin;
        m_dwNumTriangles = 0;
        g_CollisionMgr.GetTrianglesInBox(&m_vGatherMin, &m_vGatherMax, m_pTriangles, &m_dwNumTriangles,
                                         MAX_TRIANGLES, 0);
    }
    return !TestBox(position, min, max);
}

bool EMovePlayerSlide::TestObjectMove(ObjectRecord* h, const Vec3* from, const Vec3* to) {
    Vec3 min, max;
    if (!from || !to || !BodyBox(h, &min, &max)) return false;
    uint32_t flags = 0;
    GetObjectFlags(h, &flags);
    SetObjectFlags(h, 0, ECollisionMgr::FLAG_GATHERING);
    const Vec3 one{1, 1, 1};
    m_vGatherMin = math::Vec3Minimize(*from, *to) + min - one;
    m_vGatherMax = math::Vec3Maximize(*from, *to) + max + one;
    m_dwNumTriangles = 0;
    g_CollisionMgr.GetTrianglesInBox(&m_vGatherMin, &m_vGatherMax, m_pTriangles, &m_dwNumTriangles,
                                     MAX_TRIANGLES, 0);
    SetObjectFlags(h, flags, 0xFFFFFFFF);
    m_hLastHitObject = nullptr;
    const bool hit = SweptBoxHits(*from, *to, min, max);
    if (!hit) m_hLastHitObject = nullptr;
    return hit;
}

void EMovePlayerSlide::ReleaseFinder(bool release) {
    if (!release || !m_pFinder) return;
    g_CollisionMgr.RemoveFinder(m_pFinder);
    m_pFinder = nullptr;
    // The buffer's triangles belong to the world that was; the next query
    // gathers afresh.
    m_dwNumTriangles = 0;
    m_vGatherMin = kEmptyMin;
    m_vGatherMax = kEmptyMax;
}
