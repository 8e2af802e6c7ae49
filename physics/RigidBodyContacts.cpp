// A body against the world's triangles: gathering them around the body, the
// yes/no test of a move, the two contact generators and the normal query.
// Every crossing is one segment-triangle test in double precision, each
// preceded by a test of the two boxes.
#include <cmath>
#include <cstring>

#include "app/Console.h"
#include "app/Geometry.h"
#include "physics/CollisionMgr.h"
#include "physics/PhysicsWorld.h"
#include "physics/RigidBodyPhysics.h"
#include "physics/RigidBodySimulation.h"
#include "render/Mesh.h"
#include "world/Engine.h"
#include "world/ObjectRecord.h"

namespace {

constexpr uint32_t FLAG_GATHERED = 4;
// A probe reaches this far beyond the point it starts from.
constexpr double PROBE_BOX = 3.0;
// A world vertex this close to where it crosses a body face touches it.
constexpr double VERTEX_ON_FACE = 0.1;
constexpr double NEAR_CONTACT = 1.5;

struct V3 {
    double x, y, z;
};

inline V3 At(const double* p) {
    return {p[0], p[1], p[2]};
}
inline void Store(const V3& v, double* out) {
    out[0] = v.x;
    out[1] = v.y;
    out[2] = v.z;
}
inline V3 operator-(const V3& a, const V3& b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
inline V3 operator+(const V3& a, const V3& b) {
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}
inline V3 operator*(const V3& a, double s) {
    return {a.x * s, a.y * s, a.z * s};
}
inline double Dot(const V3& a, const V3& b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
inline V3 Cross(const V3& a, const V3& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline double Length(const V3& a) {
    return std::sqrt(Dot(a, a));
}
// A zero vector is divided by 1.
inline V3 Normalised(const V3& a) {
    const double len = Length(a);
    return a * (1.0 / (len == 0.0 ? 1.0 : len));
}

struct Box {
    V3 min, max;
};

// The outward probes of the world vertices in one call of the contact
// generator (main thread only, like every rigid-body test).
V3 s_Probes[ERigidBodyPhysics::MAX_TRIANGLES * 3];
inline double Min(double a, double b) {
    return a < b ? a : b;
}
inline double Max(double a, double b) {
    return a > b ? a : b;
}
inline Box BoxOf(const V3& a, const V3& b) {
    return {{Min(a.x, b.x), Min(a.y, b.y), Min(a.z, b.z)}, {Max(a.x, b.x), Max(a.y, b.y), Max(a.z, b.z)}};
}
inline Box BoxOf(const V3& a, const V3& b, const V3& c) {
    const Box ab = BoxOf(a, b);
    return {{Min(ab.min.x, c.x), Min(ab.min.y, c.y), Min(ab.min.z, c.z)},
            {Max(ab.max.x, c.x), Max(ab.max.y, c.y), Max(ab.max.z, c.z)}};
}
inline Box Around(const V3& p, double r) {
    return {{p.x - r, p.y - r, p.z - r}, {p.x + r, p.y + r, p.z + r}};
}
// Touching counts.
inline bool Overlap(const Box& a, const double* min, const double* max) {
    return a.min.x <= max[0] && min[0] <= a.max.x && a.min.y <= max[1] && min[1] <= a.max.y &&
           a.min.z <= max[2] && min[2] <= a.max.z;
}
inline bool Overlap(const Box& a, const Box& b) {
    return a.min.x <= b.max.x && b.min.x <= a.max.x && a.min.y <= b.max.y && b.min.y <= a.max.y &&
           a.min.z <= b.max.z && b.min.z <= a.max.z;
}

inline math::Vec3d D(const V3& v) {
    return {v.x, v.y, v.z};
}
inline math::Vec3d D(const double* p) {
    return {p[0], p[1], p[2]};
}

// The crossing of segment a-b with triangle t0 t1 t2: the point and its
// fraction along the segment.
inline bool Cross(const V3& a, const V3& b, const math::Vec3d& t0, const math::Vec3d& t1,
                  const math::Vec3d& t2, V3* q, double* r) {
    math::Vec3d point;
    double t = 0;
    if (!SegmentTriangleIntersectDouble(D(a), D(b), t0, t1, t2, &point, &t)) return false;
    if (q) *q = {point.x, point.y, point.z};
    if (r) *r = t;
    return true;
}
inline bool CrossWorld(const V3& a, const V3& b, const RigidBodyTriangle& t, V3* q, double* r) {
    return Cross(a, b, D(t.v0), D(t.v1), D(t.v2), q, r);
}

// The three edges of a world triangle.
inline void WorldEdges(const RigidBodyTriangle& t, V3 from[3], V3 to[3]) {
    from[0] = At(t.v0);
    to[0] = At(t.v1);
    from[1] = At(t.v1);
    to[1] = At(t.v2);
    from[2] = At(t.v2);
    to[2] = At(t.v0);
}

// Adds a contact; the first one of a call empties the list first. False,
// with one console line per call, once the list is full.
class ContactWriter {
  public:
    ContactWriter(RigidBodyContactList* list, bool clearAtFirst)
        : m_pList(list), m_bClearAtFirst(clearAtFirst) {}
    bool Added() const { return m_bAdded; }
    bool Full() const { return m_bFull; }
    bool Near(const V3& p) const {
        const double q[3] = {p.x, p.y, p.z};
        return IsNearContact(m_bAdded, m_pList, q);
    }
    RigidBodyContact* Add() {
        if (m_bFull) return nullptr;
        if (!m_bAdded && m_bClearAtFirst) m_pList->dwNumContacts = 0;
        if (m_pList->dwNumContacts >= RigidBodyContactList::MAX_CONTACTS) {
            g_Console.Print("ERROR in ERigidBodyPhysics: MAX_RIGIDBODY_CONTACTS exceeded!");
            m_bFull = true;
            return nullptr;
        }
        m_bAdded = true;
        RigidBodyContact* c = &m_pList->Contacts[m_pList->dwNumContacts++];
        std::memset(c, 0, sizeof *c);
        return c;
    }

  private:
    RigidBodyContactList* m_pList;
    bool m_bClearAtFirst;
    bool m_bAdded = false;
    bool m_bFull = false;
};

} // namespace

bool IsNearContact(bool enabled, const RigidBodyContactList* list, const double point[3]) {
    if (!enabled || !list) return false;
    const V3 p = At(point);
    for (uint32_t i = 0; i < list->dwNumContacts && i < RigidBodyContactList::MAX_CONTACTS; ++i)
        if (Length(At(list->Contacts[i].p) - p) < NEAR_CONTACT) return true;
    return false;
}

// ---- Gathering ------------------------------------------------------------------------------------

bool ERigidBodyPhysics::IsExcludedFromGathering(ObjectRecord* h, ObjectRecord* const player3[3]) const {
    if (!h) return false;
    for (uint32_t i = 0; i < m_dwNumExcluded; ++i)
        if (m_hExcluded[i] == h) return true;
    const bool player = h == player3[0] || h == player3[1] || h == player3[2];
    if (player && !m_Params.bCollideWithPlayer) return true;
    if (player && (m_Params.bSpherePreset || m_Params.bBoxPreset)) return true;
    const bool bodied = h->dwRigidBody || h->dwRigidBody2;
    if (bodied && (m_Params.bBoxPreset || m_Params.bDisableCollisionsWithOtherPhysics)) return true;
    return h->bNoGathering != 0;
}

void ERigidBodyPhysics::GatherWorldTriangles(const RigidBodyState* a, const RigidBodyState* b, bool first) {
    if (m_Params.bDisableAllCollisions) {
        m_dwNumTriangles = 0;
        return;
    }
    if (!a || !b || !m_pTrojkaty) return;
    // The body's own construction object stands in the world; its faces are
    // not the world's. Its flag is cleared for the gathering alone: nothing
    // else runs meanwhile, so the refreshes of the object API (its faces, the
    // segment test) would only redo what is already current.
    ObjectRecord* co = m_hConstructionObj;
    const uint32_t savedFlags = co ? co->dwFlags : 0;
    if (co) co->dwFlags &= ~FLAG_GATHERED;

    for (int k = 0; k < 3; ++k) {
        const float lo = float(std::fmin(a->x[k], b->x[k]) + m_vLocalMin[k]);
        const float hi = float(std::fmax(a->x[k], b->x[k]) + m_vLocalMax[k]);
        if (first) {
            m_vGatheredMin[k] = lo - GATHER_MARGIN;
            m_vGatheredMax[k] = hi + GATHER_MARGIN;
        } else {
            m_vGatheredMin[k] = std::fmin(m_vGatheredMin[k], lo);
            m_vGatheredMax[k] = std::fmax(m_vGatheredMax[k], hi);
        }
    }
    const math::Vec3 gmin(m_vGatheredMin[0], m_vGatheredMin[1], m_vGatheredMin[2]);
    const math::Vec3 gmax(m_vGatheredMax[0], m_vGatheredMax[1], m_vGatheredMax[2]);
    if (m_pFinder)
        g_CollisionMgr.MoveBoxFinder(m_pFinder, &gmin, &gmax);
    else
        m_pFinder = g_CollisionMgr.AddBoxFinder(&gmin, &gmax);
    ERigidBodySimulation& sim = g_RigidBodySimulation;
    sim.m_dwNumWorldTriangles = 0;
    g_CollisionMgr.GetTrianglesInBoxFinder(m_pFinder, sim.m_WorldTriangles, &sim.m_dwNumWorldTriangles,
                                           ERigidBodySimulation::MAX_TRIANGLES, 2);

    if (m_bExclusionPending) {
        for (const auto& entry : m_Params.szDisableCollisionWith) {
            char name[sizeof entry + 1] = {};
            std::memcpy(name, entry, sizeof entry);
            if (!name[0] || m_dwNumExcluded >= MAX_EXCLUDED) continue;
            if (ObjectRecord* h = g_Engine.FindObjectByName(name)) m_hExcluded[m_dwNumExcluded++] = h;
        }
        m_bExclusionPending = 0;
    }

    const double box[2][3] = {{m_vGatheredMin[0], m_vGatheredMin[1], m_vGatheredMin[2]},
                              {m_vGatheredMax[0], m_vGatheredMax[1], m_vGatheredMax[2]}};
    ObjectRecord* player[3];
    for (int i = 0; i < 3; ++i)
        player[i] = physicsworld::World().PlayerExcludedObject(i);
    m_dwNumTriangles = 0;
    for (uint32_t i = 0; i < sim.m_dwNumWorldTriangles && m_dwNumTriangles < MAX_TRIANGLES; ++i) {
        const CollisionTriangle& src = sim.m_WorldTriangles[i];
        const Box tb{{src.vMin.x, src.vMin.y, src.vMin.z}, {src.vMax.x, src.vMax.y, src.vMax.z}};
        if (!Overlap(tb, box[0], box[1]) || IsExcludedFromGathering(src.hObject, player)) continue;
        RigidBodyTriangle& t = m_pTrojkaty[m_dwNumTriangles++];
        double* dst[3] = {t.v0, t.v1, t.v2};
        for (int v = 0; v < 3; ++v)
            Store({src.vVertices[v].x, src.vVertices[v].y, src.vVertices[v].z}, dst[v]);
        Store({src.vNormal.x, src.vNormal.y, src.vNormal.z}, t.n);
        Store(tb.min, t.vMin);
        Store(tb.max, t.vMax);
        t.hOwner = src.hObject;
        t.dwMark = 0;
        t.dwUnused = 0;
    }

    if (co) co->dwFlags = savedFlags;
}

void ERigidBodyPhysics::RefreshWorldTriangles(const RigidBodyState* previous, const RigidBodyState* next) {
    if (!previous || !next) return;
    bool inside = true;
    for (int k = 0; k < 3; ++k) {
        const float lo = float(std::fmin(previous->x[k], next->x[k]) + m_vLocalMin[k]) - REFRESH_MARGIN;
        const float hi = float(std::fmax(previous->x[k], next->x[k]) + m_vLocalMax[k]) + REFRESH_MARGIN;
        inside &= m_vGatheredMin[k] < lo && m_vGatheredMax[k] > hi;
    }
    if (!inside) GatherWorldTriangles(previous, next, false);
}

// ---- The body's hull at a state ---------------------------------------------------------------------

void ERigidBodyPhysics::PlaceParticles(const RigidBodyState& s) {
    const double* R = s.R;
    for (uint32_t i = 0; i < m_iNumParticles; ++i) {
        const double* p = m_pParticles[i].vBody;
        double* w = m_pParticles[i].vWorld;
        w[0] = R[0] * p[0] + R[1] * p[1] + R[2] * p[2] + s.x[0];
        w[1] = R[3] * p[0] + R[4] * p[1] + R[5] * p[2] + s.x[1];
        w[2] = R[6] * p[0] + R[7] * p[1] + R[8] * p[2] + s.x[2];
    }
}

namespace {

// The hull's edges, triangle by triangle in index order (a-b, b-c, c-a).
template <class F> void ForEachHullEdge(const ERigidBodyPhysics& b, const char* where, F&& f) {
    for (uint32_t e = 0; e < b.m_dwNumIndices * 3; ++e) {
        const uint32_t i = b.m_pIndices[e];
        const uint32_t j = b.m_pIndices[e - e % 3 + (e % 3 + 1) % 3];
        // Each end out of range is reported; the edge is skipped.
        if (i >= b.m_iNumParticles)
            g_Console.Printf("ERROR in ERigidBodyPhysics::%s(): iP>=m_iNumParticles", where);
        if (j >= b.m_iNumParticles)
            g_Console.Printf("ERROR in ERigidBodyPhysics::%s(): jP>=m_iNumParticles", where);
        if (i >= b.m_iNumParticles || j >= b.m_iNumParticles) continue;
        if (!f(e, At(b.m_pParticles[i].vWorld), At(b.m_pParticles[j].vWorld))) return;
    }
}

struct HullTriangle {
    V3 p[3];
    Box box;
    // The unit normal (P0 - P2) x (P1 - P2), outwards on a sound hull.
    V3 N() const { return Normalised(Cross(p[0] - p[2], p[1] - p[2])); }
};

// The hull's triangles whose three particles exist.
template <class F> void ForEachHullTriangle(const ERigidBodyPhysics& b, F&& f) {
    for (uint32_t t = 0; t < b.m_dwNumIndices; ++t) {
        const uint32_t* idx = b.m_pIndices + t * 3;
        if (idx[0] >= b.m_iNumParticles || idx[1] >= b.m_iNumParticles || idx[2] >= b.m_iNumParticles)
            continue;
        HullTriangle h;
        for (int k = 0; k < 3; ++k)
            h.p[k] = At(b.m_pParticles[idx[k]].vWorld);
        h.box = BoxOf(h.p[0], h.p[1], h.p[2]);
        if (!f(t, h)) return;
    }
}

inline Box BoxOf(const RigidBodyTriangle& t) {
    return {At(t.vMin), At(t.vMax)};
}

// Every hull edge that crosses a gathered world triangle, with the crossing
// point; `f` returns false to stop.
template <class F> void ForEachHullEdgeCrossing(const ERigidBodyPhysics& b, const char* where, F&& f) {
    ForEachHullEdge(b, where, [&](uint32_t, const V3& from, const V3& to) {
        const Box eb = BoxOf(from, to);
        for (uint32_t i = 0; i < b.m_dwNumTriangles; ++i) {
            const RigidBodyTriangle& w = b.m_pTrojkaty[i];
            V3 q;
            if (Overlap(eb, BoxOf(w)) && CrossWorld(from, to, w, &q, nullptr) && !f(w, q)) return false;
        }
        return true;
    });
}

// Every world-triangle edge that crosses a hull triangle, with the crossing
// point; `f` returns false to stop.
template <class F> void ForEachWorldEdgeCrossing(const ERigidBodyPhysics& b, F&& f) {
    ForEachHullTriangle(b, [&](uint32_t, const HullTriangle& h) {
        const math::Vec3d t0 = D(h.p[0]), t1 = D(h.p[1]), t2 = D(h.p[2]);
        for (uint32_t i = 0; i < b.m_dwNumTriangles; ++i) {
            const RigidBodyTriangle& w = b.m_pTrojkaty[i];
            if (!Overlap(h.box, BoxOf(w))) continue;
            V3 ef[3], et[3];
            WorldEdges(w, ef, et);
            for (int k = 0; k < 3; ++k) {
                V3 q;
                if (Overlap(h.box, BoxOf(ef[k], et[k])) && Cross(ef[k], et[k], t0, t1, t2, &q, nullptr) &&
                    !f(h, w, q))
                    return false;
            }
        }
        return true;
    });
}

} // namespace

// ---- The yes/no test -------------------------------------------------------------------------------

bool ERigidBodyPhysics::IsCollision(const RigidBodyState* previous, const RigidBodyState* next,
                                    bool verbose) {
    if (!previous || !next) return false;
    RefreshWorldTriangles(previous, next);
    PlaceParticles(*next);

    const RigidBodyTriangle* hit = nullptr;
    int step = 0;
    // 1. The centre's path.
    const V3 from = At(previous->x), to = At(next->x);
    const Box path = BoxOf(from, to);
    for (uint32_t i = 0; i < m_dwNumTriangles && !hit; ++i)
        if (Overlap(path, BoxOf(m_pTrojkaty[i])) && CrossWorld(from, to, m_pTrojkaty[i], nullptr, nullptr))
            hit = &m_pTrojkaty[i], step = 1;
    // 2. The hull's edges against the world's triangles.
    if (!hit)
        ForEachHullEdgeCrossing(*this, "TestCollisions", [&](const RigidBodyTriangle& w, const V3&) {
            hit = &w, step = 2;
            return false;
        });
    // 3. The world's edges against the hull's triangles.
    if (!hit)
        ForEachWorldEdgeCrossing(*this, [&](const HullTriangle&, const RigidBodyTriangle& w, const V3&) {
            hit = &w, step = 3;
            return false;
        });
    if (!hit) return false;
    if (!verbose) return true;

    ObjectRecord* o = hit->hOwner;
    ERigidBodyPhysics* body = nullptr;
    if (o && g_RigidBodySimulation.FindBody(o, &body)) {
        for (uint32_t s = 0; s < g_RigidBodySimulation.NumSlots(); ++s)
            if (g_RigidBodySimulation.Slot(s).bUsed && g_RigidBodySimulation.Slot(s).pBody == body)
                g_Console.Printf(step == 3 ? "IsCollision(): KOLIZJA z fizyka body: %d"
                                           : "IsCollision(): kolizja z fizyka body: %d",
                                 int(s));
    } else {
        g_Console.Printf("%f, IsCollision(): kolizja z obiektem BEZ fizyki", double(g_Engine.m_fWorldTime));
        if (o && o->Mesh()) g_Console.Printf("   obiekt: %s", o->Mesh()->m_szFileName);
    }
    return true;
}

// ---- The contact generators ------------------------------------------------------------------------

void ERigidBodyPhysics::TestCollisions_NOWA_KONCEPCJA(const RigidBodyState* previous,
                                                      const RigidBodyState* next, bool* found,
                                                      RigidBodyContactList* list, bool verbose) {
    if (verbose) {
        g_Console.Print("");
        g_Console.Print("TestCollisions_NOWA_KONCEPJA() ENTER...");
    }
    if (!previous || !next) {
        if (found) *found = false;
        return;
    }
    RefreshWorldTriangles(previous, next);
    if (found) *found = false;
    if (!list) return;
    PlaceParticles(*next);
    for (uint32_t i = 0; i < m_iNumParticles; ++i)
        m_pParticles[i].bContact = 0;
    for (uint32_t i = 0; i < m_dwNumTriangles; ++i)
        m_pTrojkaty[i].dwMark = 0;

    ContactWriter out(list, true);
    const V3 x = At(next->x);

    // 1. A body point beyond a world face: the probe from the centre to one
    // unit past the particle crosses the face.
    for (uint32_t p = 0; p < m_iNumParticles && !out.Full(); ++p) {
        const V3 P = At(m_pParticles[p].vWorld);
        // The probe lies within one unit of the particle: triangles beyond
        // that box grown by one cannot meet the probe's box.
        const Box reach = Around(P, PROBE_BOX + 1.0);
        uint32_t first = 0;
        while (first < m_dwNumTriangles && !Overlap(reach, BoxOf(m_pTrojkaty[first])))
            ++first;
        if (first == m_dwNumTriangles) continue;
        const V3 probe = P + Normalised(P - x);
        const Box near = Around(probe, PROBE_BOX);
        V3 sum{0, 0, 0};
        double best = 10.0, r = 0.0;
        ObjectRecord* hB = nullptr;
        bool any = false;
        for (uint32_t i = first; i < m_dwNumTriangles; ++i) {
            const RigidBodyTriangle& t = m_pTrojkaty[i];
            double ri = 0;
            if (!Overlap(near, BoxOf(t)) || !CrossWorld(x, probe, t, nullptr, &ri)) continue;
            r = ri;
            any = true;
            sum = sum + At(t.n);
            if (ri < best) {
                best = ri;
                hB = t.hOwner;
            }
        }
        if (!any) continue;
        RigidBodyContact* c = out.Add();
        if (!c) break;
        c->dwType = RigidBodyContact::VERTEX_FACE;
        Store(P, c->p);
        Store(Normalised(sum), c->n);
        c->hObjectA = m_hConstructionObj;
        c->hObjectB = hB;
        m_pParticles[p].bContact = 1;
        if (verbose) g_Console.Printf("NK VF1-[%d], r=%lf, p=(%lf,%lf,%lf)", int(p), r, P.x, P.y, P.z);
    }

    // 2. A world vertex inside a body face: the probe from one unit outside
    // the vertex to the centre crosses the face right at the vertex. The
    // probes depend on the world vertex alone and are worked out once.
    for (uint32_t i = 0; i < m_dwNumTriangles; ++i) {
        const RigidBodyTriangle& w = m_pTrojkaty[i];
        const double* wv[3] = {w.v0, w.v1, w.v2};
        for (int k = 0; k < 3; ++k) {
            const V3 W = At(wv[k]);
            s_Probes[i * 3 + k] = W + Normalised(W - x);
        }
    }
    if (!out.Full())
        ForEachHullTriangle(*this, [&](uint32_t ti, const HullTriangle& h) {
            const math::Vec3d t0 = D(h.p[0]), t1 = D(h.p[1]), t2 = D(h.p[2]);
            for (uint32_t i = 0; i < m_dwNumTriangles; ++i) {
                const RigidBodyTriangle& w = m_pTrojkaty[i];
                const double* wv[3] = {w.v0, w.v1, w.v2};
                for (int k = 0; k < 3; ++k) {
                    const V3 W = At(wv[k]);
                    const V3& probe = s_Probes[i * 3 + k];
                    if (!Overlap(Around(probe, PROBE_BOX), h.box)) continue;
                    V3 q;
                    double r = 0;
                    if (!Cross(probe, x, t0, t1, t2, &q, &r)) continue;
                    const double toVertex = Length(q - W);
                    if (verbose) {
                        g_Console.Print("VF2 ---1");
                        g_Console.Printf("dDistToVertex=%lf", toVertex);
                        const double dw = Length(W - x), dq = Length(q - x);
                        g_Console.Printf("dist from x do punktu geometrii swiata=%lf", dw);
                        g_Console.Printf("dist from x do punktu przeciecia=%lf", dq);
                        if (dq > dw)
                            g_Console.Print(
                                "---------------> ERROR: ALARM!!!! przeciecie I jest juz wewnatrz "
                                "obiektu! ALARM");
                    }
                    if (toVertex > VERTEX_ON_FACE) continue;
                    if (verbose) g_Console.Print("VF2 ---2");
                    if (out.Near(q)) continue;
                    if (verbose) g_Console.Print("VF2 ---3");
                    RigidBodyContact* c = out.Add();
                    if (!c) return false;
                    c->dwType = RigidBodyContact::VERTEX_FACE;
                    Store(q, c->p);
                    Store(h.N() * -1.0, c->n);
                    c->hObjectA = m_hConstructionObj;
                    c->hObjectB = w.hOwner;
                    if (verbose)
                        g_Console.Printf("NK VF2-[%d], r=%lf, p=(%lf,%lf,%lf)", int(ti), r, q.x, q.y, q.z);
                }
            }
            return true;
        });

    // 3. Edge against edge: a world edge crosses the triangle swept by the
    // hull edge pushed one unit outwards and the centre.
    if (!out.Full())
        ForEachHullEdge(*this, "TestCollisions", [&](uint32_t e, const V3& A, const V3& B) {
            // The pushed ends lie within one unit of the edge's: triangles
            // beyond that box grown by one cannot meet the fan's box.
            Box reach = BoxOf(A, B, x);
            reach.min = reach.min - V3{1, 1, 1};
            reach.max = reach.max + V3{1, 1, 1};
            uint32_t first = 0;
            while (first < m_dwNumTriangles && !Overlap(reach, BoxOf(m_pTrojkaty[first])))
                ++first;
            if (first == m_dwNumTriangles) return true;
            const V3 A1 = A + Normalised(A - x), B1 = B + Normalised(B - x);
            const Box fan = BoxOf(A1, B1, x);
            const math::Vec3d t0 = D(A1), t1 = D(B1), t2 = D(x);
            for (uint32_t i = first; i < m_dwNumTriangles; ++i) {
                const RigidBodyTriangle& w = m_pTrojkaty[i];
                if (!Overlap(fan, BoxOf(w))) continue;
                V3 ef[3], et[3];
                WorldEdges(w, ef, et);
                for (int k = 0; k < 3; ++k) {
                    V3 q;
                    double r = 0;
                    if (!Cross(ef[k], et[k], t0, t1, t2, &q, &r)) continue;
                    if (verbose) g_Console.Print("EE ---1");
                    if (out.Near(q)) continue;
                    if (verbose) g_Console.Print("EE ---2");
                    RigidBodyContact* c = out.Add();
                    if (!c) return false;
                    const V3 eb = Normalised(B - A);
                    V3 ea = Normalised(et[k] - ef[k]), ebs = eb;
                    V3 n = Normalised(Cross(ea, eb));
                    // The normal points to the body's side of the contact.
                    if (Dot(n, q - x) > 0.0) {
                        n = Normalised(Cross(eb, ea));
                        ebs = ea;
                        ea = eb;
                    }
                    c->dwType = RigidBodyContact::EDGE_EDGE;
                    Store(q, c->p);
                    Store(n, c->n);
                    Store(ea, c->ea);
                    Store(ebs, c->eb);
                    c->hObjectA = m_hConstructionObj;
                    c->hObjectB = w.hOwner;
                    if (verbose)
                        g_Console.Printf("NK EE-[%d], r=%lf, p=(%lf,%lf,%lf)", int(e), r, q.x, q.y, q.z);
                }
            }
            return true;
        });

    if (found) *found = out.Added();
    if (verbose) {
        g_Console.Print("TestCollisions_NOWA_KONCEPCJA() left....");
        g_Console.Print("");
    }
}

void ERigidBodyPhysics::TestCollisions(const RigidBodyState* previous, const RigidBodyState* next,
                                       bool* found, RigidBodyContactList* list, bool) {
    if (found) *found = false;
    if (list) list->dwNumContacts = 0;
    if (!previous || !next) return;
    RefreshWorldTriangles(previous, next);
    if (!list) return;
    PlaceParticles(*next);
    ContactWriter out(list, false);

    // A vertex/face contact at q, unless one is near; false once the list is full.
    auto add = [&](const RigidBodyTriangle& w, const V3& q, const V3& n) {
        if (out.Near(q)) return true;
        RigidBodyContact* c = out.Add();
        if (!c) return false;
        c->dwType = RigidBodyContact::VERTEX_FACE;
        Store(q, c->p);
        Store(n, c->n);
        c->hObjectA = m_hConstructionObj;
        c->hObjectB = w.hOwner;
        return true;
    };
    // 1. Hull edges through world faces.
    ForEachHullEdgeCrossing(*this, "TestCollisions", [&](const RigidBodyTriangle& w, const V3& q) {
        return add(w, q, Normalised(At(w.n)));
    });
    // 2. World edges through hull faces.
    if (!out.Full())
        ForEachWorldEdgeCrossing(*this, [&](const HullTriangle& h, const RigidBodyTriangle& w, const V3& q) {
            return add(w, q, h.N() * -1.0);
        });
    if (found) *found = out.Added();
}

bool ERigidBodyPhysics::Get_First_Collision_Normal(const RigidBodyState* state, double normal[3],
                                                   bool verbose) {
    if (verbose) g_Console.Print("Get_First_Collision_Normal START");
    if (!state) return false;
    RefreshWorldTriangles(state, state);
    PlaceParticles(*state);
    bool hit = false;
    V3 n{0, 0, 0};
    ForEachHullEdgeCrossing(*this, "Get_First_Collision_Normal", [&](const RigidBodyTriangle& w, const V3&) {
        n = At(w.n);
        hit = true;
        return false;
    });
    if (!hit)
        ForEachWorldEdgeCrossing(*this, [&](const HullTriangle& h, const RigidBodyTriangle&, const V3&) {
            n = h.N() * -1.0;
            hit = true;
            return false;
        });
    if (hit) {
        if (normal) Store(n, normal);
        return true;
    }
    if (verbose) {
        g_Console.Print("Get_First_Collision_Normal left.....");
        g_Console.Print("");
    }
    return false;
}
