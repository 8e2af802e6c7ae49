// The segment test beside Bullet's btCollisionWorld::rayTest (closest hit):
// shot-like segments from eye points around the demo world's room, and
// segments slanting down onto the generated 100,352-triangle grid. Bullet's
// world holds one btBvhTriangleMeshShape per object of the intersect table,
// built from the object's local faces (those of the groups the segment test
// does not skip) and placed with the same world matrix (rotation and
// translation as the transform, scale as the shape's local scaling).
//
// Before timing, every segment's answer is checked against Bullet's: the same
// object hit (or none) at the same distance within 1e-3 of the segment's
// length. Hits that graze a triangle's edge may go either way and are only
// counted. The counters give both rates in CPU time and their ratio (above 1:
// ours is faster).
#include <benchmark/benchmark.h>
#include <btBulletCollisionCommon.h>

#include <cmath>
#include <ctime>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "CollisionScene.h"
#include "app/Geometry.h"
#include "app/Records.h"
#include "physics/CollisionMgr.h"
#include "physics/IntersectSegment.h"
#include "platform/math/Math.h"
#include "render/Mesh.h"
#include "world/ObjectRecord.h"

namespace {

using math::Vec3;

constexpr int kSegments = 512;

struct Segment {
    Vec3 start, end;
};

btVector3 Bt(const Vec3& v) {
    return {v.x, v.y, v.z};
}

// Every object of the intersect table as a Bullet collision object.
struct BulletWorld {
    BulletWorld() {
        const auto& table = g_IntersectSegment.IntersectTable();
        for (int i = 0; i < table.iCount; ++i)
            if (table.slots[i].bUsed) Add(table.slots[i].hObject);
    }
    ~BulletWorld() {
        for (auto& o : objects)
            world.removeCollisionObject(o.get());
    }
    void Add(ObjectRecord* h) {
        const CollisionMeshEntry* e = g_CollisionMgr.GetEntry(h);
        const EMesh* mesh = h->Mesh();
        if (!e || !mesh) return;
        auto m = std::make_unique<btTriangleMesh>(true, false);
        for (uint32_t g = 0; g < e->dwNumBoxes; ++g) {
            const CollisionBox& group = e->pBoxes[g];
            if (group.bSkip) continue;
            for (uint32_t f = group.dwFirstFace; f < group.dwFirstFace + group.dwNumFaces; ++f) {
                const uint16_t* face = &e->CM_dwFaces[3 * f];
                m->addTriangle(Bt(e->CM_vVerticesLocal[face[0]]), Bt(e->CM_vVerticesLocal[face[1]]),
                               Bt(e->CM_vVerticesLocal[face[2]]), false);
            }
        }
        if (m->getNumTriangles() == 0) return;
        auto shape = std::make_unique<btBvhTriangleMeshShape>(m.get(), true);
        shape->setLocalScaling(Bt(mesh->m_vScale));
        // Row vectors times the world matrix: row j of its rotation part is
        // scale j times the j-th turned axis, Bullet's column j.
        const math::Matrix& w = mesh->m_mWorld;
        const Vec3& s = mesh->m_vScale;
        btMatrix3x3 basis(w(0, 0) / s.x, w(1, 0) / s.y, w(2, 0) / s.z, w(0, 1) / s.x, w(1, 1) / s.y,
                          w(2, 1) / s.z, w(0, 2) / s.x, w(1, 2) / s.y, w(2, 2) / s.z);
        auto object = std::make_unique<btCollisionObject>();
        object->setCollisionShape(shape.get());
        object->setWorldTransform(btTransform(basis, btVector3(w(3, 0), w(3, 1), w(3, 2))));
        object->setUserPointer(h);
        world.addCollisionObject(object.get());
        meshes.push_back(std::move(m));
        shapes.push_back(std::move(shape));
        objects.push_back(std::move(object));
    }

    btDefaultCollisionConfiguration configuration;
    btCollisionDispatcher dispatcher{&configuration};
    btDbvtBroadphase broadphase;
    btCollisionWorld world{&dispatcher, &broadphase, &configuration};
    std::vector<std::unique_ptr<btTriangleMesh>> meshes;
    std::vector<std::unique_ptr<btBvhTriangleMeshShape>> shapes;
    std::vector<std::unique_ptr<btCollisionObject>> objects;
};

// The closest hit with the triangle it lies on.
struct Closest : btCollisionWorld::ClosestRayResultCallback {
    using ClosestRayResultCallback::ClosestRayResultCallback;
    btScalar addSingleResult(btCollisionWorld::LocalRayResult& r, bool normalInWorldSpace) override {
        triangle = r.m_localShapeInfo ? r.m_localShapeInfo->m_triangleIndex : -1;
        return ClosestRayResultCallback::addSingleResult(r, normalInWorldSpace);
    }
    int triangle = -1;
};

struct Answer {
    ObjectRecord* object = nullptr;
    float distance = 0;
    Vec3 point;
};

Answer Ours(const Segment& s) {
    SegmentQuery q;
    q.pStart = &s.start;
    q.pEnd = &s.end;
    SegmentHit hit;
    if (!g_IntersectSegment.Test(q, &hit)) return {};
    return {hit.hObject, hit.fDistance, hit.vPoint};
}

Answer Bullets(BulletWorld& bullet, const Segment& s) {
    Closest cb(Bt(s.start), Bt(s.end));
    bullet.world.rayTest(Bt(s.start), Bt(s.end), cb);
    if (!cb.hasHit()) return {};
    const btVector3& p = cb.m_hitPointWorld;
    return {static_cast<ObjectRecord*>(cb.m_collisionObject->getUserPointer()),
            float(cb.m_closestHitFraction) * math::Vec3Length(s.end - s.start),
            {float(p.x()), float(p.y()), float(p.z())}};
}

// Whether the world point lies within tolerance of an edge of a face of the
// object (searched over every face: the check runs once, before timing).
bool NearAnEdge(const ObjectRecord* h, const Vec3& p, float tolerance) {
    const CollisionMeshEntry* e = h ? g_CollisionMgr.GetEntry(h) : nullptr;
    if (!e) return false;
    for (uint32_t f = 0; f < e->dwNumFaces; ++f) {
        const uint16_t* face = &e->CM_dwFaces[3 * f];
        const Vec3* v = e->CM_vVerticesWorld;
        for (int k = 0; k < 3; ++k)
            if (DistancePointSegment(p, v[face[k]], v[face[(k + 1) % 3]]) < tolerance) return true;
    }
    return false;
}

// An error text, or empty; the grazing hits that went either way are counted.
std::string Check(BulletWorld& bullet, const std::vector<Segment>& segments, int* hits, int* grazing) {
    *hits = *grazing = 0;
    for (const Segment& s : segments) {
        const Answer a = Ours(s), b = Bullets(bullet, s);
        const float tolerance = 1e-3f * math::Vec3Length(s.end - s.start);
        if (a.object) ++*hits;
        if (a.object == b.object && (!a.object || std::fabs(a.distance - b.distance) <= tolerance)) continue;
        // Coincident surfaces of two objects: either is right.
        if (a.object && b.object && std::fabs(a.distance - b.distance) <= tolerance) continue;
        const bool grazed = (a.object && NearAnEdge(a.object, a.point, tolerance)) ||
                            (b.object && NearAnEdge(b.object, b.point, tolerance));
        if (grazed) {
            ++*grazing;
            continue;
        }
        char text[512];
        std::snprintf(text, sizeof text, "segment (%g %g %g)-(%g %g %g): ours %s at %g, Bullet's %s at %g",
                      double(s.start.x), double(s.start.y), double(s.start.z), double(s.end.x),
                      double(s.end.y), double(s.end.z), a.object ? a.object->szName : "nothing",
                      double(a.distance), b.object ? b.object->szName : "nothing", double(b.distance));
        return text;
    }
    return {};
}

// Demo world: eyes around the room at head heights, shots 2000 long in any
// direction from level to 40 degrees down. Grid: from 200 above it, slanting
// 600 down and across.
std::vector<Segment> Segments(bool grid) {
    std::mt19937 rng(1234u);
    std::uniform_real_distribution<float> u(0.0f, 1.0f);
    std::vector<Segment> out;
    for (int i = 0; i < kSegments; ++i) {
        const float yaw = 6.2831853f * u(rng);
        if (grid) {
            const float span = benchscene::kGridQuads * benchscene::kGridCell;
            const Vec3 start = benchscene::kGridOrigin + Vec3(span * u(rng), 200.0f, span * u(rng));
            out.push_back({start, start + Vec3(400.0f * std::cos(yaw), -600.0f, 400.0f * std::sin(yaw))});
        } else {
            const float ring = 150.0f + 300.0f * u(rng), around = 6.2831853f * u(rng);
            const Vec3 eye{ring * std::cos(around), 48.0f + 112.0f * u(rng), ring * std::sin(around)};
            const float pitch = -0.7f * u(rng);
            const Vec3 dir{std::cos(pitch) * std::cos(yaw), std::sin(pitch), std::cos(pitch) * std::sin(yaw)};
            out.push_back({eye, eye + dir * 2000.0f});
        }
    }
    return out;
}

// This thread's CPU time, as the benchmark library measures ours, so that a
// busy machine weighs on both sides alike.
double ThreadCpuNanos() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e9 + double(t.tv_nsec);
}

double BulletNanosPerSegment(BulletWorld& bullet, const std::vector<Segment>& segments) {
    constexpr int kRounds = 50;
    int found = 0;
    const double start = ThreadCpuNanos();
    for (int r = 0; r < kRounds; ++r)
        for (const Segment& s : segments) {
            btCollisionWorld::ClosestRayResultCallback cb(Bt(s.start), Bt(s.end));
            bullet.world.rayTest(Bt(s.start), Bt(s.end), cb);
            found += cb.hasHit();
        }
    benchmark::DoNotOptimize(found);
    return (ThreadCpuNanos() - start) / double(kRounds * segments.size());
}

// state.range(0): 0 the demo world, 1 the grid.
void BM_SegmentTestVsBullet(benchmark::State& state) {
    benchscene::TheScene();
    const std::vector<Segment> segments = Segments(state.range(0) != 0);
    BulletWorld bullet;
    int hits = 0, grazing = 0;
    if (const std::string error = Check(bullet, segments, &hits, &grazing); !error.empty()) {
        state.SkipWithError(error.c_str());
        return;
    }
    int found = 0;
    SegmentQuery q;
    SegmentHit hit;
    for (auto _ : state)
        for (const Segment& s : segments) {
            q.pStart = &s.start;
            q.pEnd = &s.end;
            found += g_IntersectSegment.Test(q, &hit);
        }
    benchmark::DoNotOptimize(found);
    const double bulletNs = BulletNanosPerSegment(bullet, segments);
    const double tested = double(state.iterations() * segments.size());
    state.counters["segments"] = benchmark::Counter(tested, benchmark::Counter::kIsRate);
    state.counters["bullet_segments"] = 1e9 / bulletNs;
    state.counters["hits"] = hits;
    state.counters["grazing"] = grazing;
    // Finished after the run: segments per second of ours over Bullet's.
    state.counters["ratio"] = benchmark::Counter(tested * bulletNs * 1e-9, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_SegmentTestVsBullet)->ArgNames({"grid"})->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

} // namespace
