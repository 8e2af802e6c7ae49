// Triangle gathering of the collision manager beside Bullet's BVH triangle
// mesh: a player-sized box finder walks a path through the demo world and
// over a generated 100,352-triangle grid, gathering in mode 0, with the
// finder kept in place (its touch list stays) or moved far enough at every
// step that the list is rebuilt. Bullet's btBvhTriangleMeshShape holds the
// same world triangles (each object's faces, or its box triangles where mode
// 0 takes them) and answers processAllTriangles for the same boxes; the
// counters give both rates per box and their ratio (above 1: ours is faster).
//
// Before timing, every box's triangles are checked against Bullet's: ours
// must be contained in Bullet's set, and every extra one of Bullet's must
// have a box that misses the query box.
//
// The per-object routines sit beside them: the refresh of a moved object
// (its finder membership and world faces) and the in-view test of the
// camera volume.
#include <benchmark/benchmark.h>
#include <btBulletCollisionCommon.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "CollisionScene.h"
#include "app/Geometry.h"
#include "app/Records.h"
#include "physics/CollisionMgr.h"
#include "platform/math/Math.h"
#include "render/Mesh.h"
#include "world/Engine.h"
#include "world/ObjectApi.h"
#include "world/ObjectRecord.h"

namespace {

using benchscene::kGridCell;
using benchscene::kGridOrigin;
using benchscene::kGridQuads;
using benchscene::TheScene;
using math::Vec3;

constexpr uint32_t kBufferSize = 8192;
constexpr int kPathPoints = 64;

struct Box {
    Vec3 min, max;
};

// A player-sized box at the points of a closed path. In the demo world the
// path visits every visible mesh object in turn, a little beside its
// position; over the grid it draws a figure across the whole grid.
// Consecutive boxes lie more than the touch margin apart, so a finder moved
// along them rebuilds its list at every step.
std::vector<Box> Path(bool grid) {
    std::vector<Box> boxes;
    const Vec3 half{24, 64, 24};
    std::vector<Vec3> stops;
    for (int slot = 0; slot < EEngine::FIRST_SKINMESH && !grid; ++slot) {
        const ObjectRecord* h = g_Engine.Object(slot);
        if (h->bUsed && h->dwType == OT_MESH && (h->dwFlags & 1)) stops.push_back(h->vPosition);
    }
    for (int i = 0; i < kPathPoints; ++i) {
        const float t = float(i) / kPathPoints * 6.2831853f;
        Vec3 c;
        if (grid) {
            const float span = kGridQuads * kGridCell;
            c = kGridOrigin + Vec3(0.5f * span + 0.45f * span * std::sin(3 * t), 0,
                                   0.5f * span + 0.45f * span * std::cos(t));
        } else {
            c = stops[size_t(i) % stops.size()] + Vec3(40 * std::cos(3 * t), 32, 40 * std::sin(3 * t));
        }
        boxes.push_back({c - half, c + half});
    }
    return boxes;
}

// The world triangles mode 0 gathers: the faces of objects with flag 8,
// else the twelve box triangles and four slopes of their turned box.
std::vector<std::array<Vec3, 3>> Mode0Triangles() {
    std::vector<std::array<Vec3, 3>> out;
    for (int slot = 0; slot < EEngine::FIRST_SKINMESH; ++slot) {
        ObjectRecord* h = g_Engine.Object(slot);
        const CollisionMeshEntry* e = h->bUsed ? g_CollisionMgr.GetEntry(h) : nullptr;
        if (!e || !(h->dwFlags & ECollisionMgr::FLAG_GATHERING)) continue;
        if (h->dwFlags & ECollisionMgr::FLAG_FACES_IN_MODE0) {
            for (uint32_t f = 0; f < e->dwNumFaces; ++f)
                out.push_back({e->CM_vVerticesWorld[e->CM_dwFaces[3 * f]],
                               e->CM_vVerticesWorld[e->CM_dwFaces[3 * f + 1]],
                               e->CM_vVerticesWorld[e->CM_dwFaces[3 * f + 2]]});
        } else {
            const Vec3* c = e->vWorldCorners;
            for (int i = 0; i < 36; i += 3)
                out.push_back(
                    {c[BoxTriangleIndices[i]], c[BoxTriangleIndices[i + 1]], c[BoxTriangleIndices[i + 2]]});
            const int slopes[4][3] = {{3, 5, 7}, {3, 1, 5}, {0, 2, 6}, {0, 6, 4}};
            for (const auto& s : slopes)
                out.push_back({c[s[0]], c[s[1]], c[s[2]]});
        }
    }
    return out;
}

btVector3 Bt(const Vec3& v) {
    return {v.x, v.y, v.z};
}

struct BulletWorld {
    explicit BulletWorld(const std::vector<std::array<Vec3, 3>>& triangles) {
        for (const auto& t : triangles)
            mesh.addTriangle(Bt(t[0]), Bt(t[1]), Bt(t[2]), false);
        shape = std::make_unique<btBvhTriangleMeshShape>(&mesh, true);
    }
    btTriangleMesh mesh{true, false};
    std::unique_ptr<btBvhTriangleMeshShape> shape;
};

// A triangle as the set of its corners, whatever their order.
using Key = std::array<std::array<float, 3>, 3>;
Key KeyOf(const Vec3& a, const Vec3& b, const Vec3& c) {
    Key k = {{{a.x, a.y, a.z}, {b.x, b.y, b.z}, {c.x, c.y, c.z}}};
    std::sort(k.begin(), k.end());
    return k;
}

struct Collect : btTriangleCallback {
    void processTriangle(btVector3* t, int, int) override {
        keys.insert(KeyOf({float(t[0].x()), float(t[0].y()), float(t[0].z())},
                          {float(t[1].x()), float(t[1].y()), float(t[1].z())},
                          {float(t[2].x()), float(t[2].y()), float(t[2].z())}));
    }
    std::set<Key> keys;
};

struct Count : btTriangleCallback {
    void processTriangle(btVector3*, int, int) override { ++n; }
    size_t n = 0;
};

bool BoxesMeet(const Key& k, const Box& b) {
    for (int axis = 0; axis < 3; ++axis) {
        const float lo = std::min({k[0][axis], k[1][axis], k[2][axis]});
        const float hi = std::max({k[0][axis], k[1][axis], k[2][axis]});
        if (hi < (&b.min.x)[axis] || lo > (&b.max.x)[axis]) return false;
    }
    return true;
}

// Ours within Bullet's, Bullet's extras outside the box; an error text otherwise.
std::string Check(const std::vector<Box>& path, const BulletWorld& bullet,
                  std::vector<CollisionTriangle>& buffer, size_t* ours, size_t* theirs) {
    *ours = *theirs = 0;
    for (const Box& b : path) {
        uint32_t count = 0;
        g_CollisionMgr.GetTrianglesInBox(&b.min, &b.max, buffer.data(), &count, kBufferSize, 0);
        Collect collect;
        bullet.shape->processAllTriangles(&collect, Bt(b.min), Bt(b.max));
        std::set<Key> mine;
        for (uint32_t i = 0; i < count; ++i) {
            const Vec3* v = buffer[i].vVertices;
            const Key k = KeyOf(v[0], v[1], v[2]);
            if (!collect.keys.count(k)) return "a gathered triangle is missing from Bullet's set";
            mine.insert(k);
        }
        for (const Key& k : collect.keys)
            if (!mine.count(k) && BoxesMeet(k, b))
                return "Bullet found a triangle inside the box that ours missed";
        *ours += count;
        *theirs += collect.keys.size();
    }
    return {};
}

double BulletNanosPerBox(const std::vector<Box>& path, const BulletWorld& bullet) {
    constexpr int kRounds = 20;
    size_t total = 0;
    const auto start = std::chrono::steady_clock::now();
    for (int r = 0; r < kRounds; ++r)
        for (const Box& b : path) {
            Count count;
            bullet.shape->processAllTriangles(&count, Bt(b.min), Bt(b.max));
            total += count.n;
        }
    benchmark::DoNotOptimize(total);
    const std::chrono::duration<double, std::nano> elapsed = std::chrono::steady_clock::now() - start;
    return elapsed.count() / double(kRounds * path.size());
}

// state.range(0): 0 the demo world, 1 the grid; range(1): 1 rebuild the
// touch list at every box, 0 keep one finder per box in place.
void BM_GatherMode0VsBullet(benchmark::State& state) {
    TheScene();
    const bool grid = state.range(0) != 0;
    const bool rebuild = state.range(1) != 0;
    const std::vector<Box> path = Path(grid);
    BulletWorld bullet(Mode0Triangles());
    std::vector<CollisionTriangle> buffer(kBufferSize);
    size_t ours = 0, theirs = 0;
    if (const std::string error = Check(path, bullet, buffer, &ours, &theirs); !error.empty()) {
        state.SkipWithError(error.c_str());
        return;
    }

    std::vector<Finder*> fixed;
    Finder* moving = nullptr;
    if (rebuild)
        moving = g_CollisionMgr.AddBoxFinder(&path[0].min, &path[0].max);
    else
        for (const Box& b : path)
            fixed.push_back(g_CollisionMgr.AddBoxFinder(&b.min, &b.max));

    size_t gathered = 0;
    for (auto _ : state) {
        for (size_t i = 0; i < path.size(); ++i) {
            Finder* f = moving ? moving : fixed[i];
            if (moving) g_CollisionMgr.MoveBoxFinder(f, &path[i].min, &path[i].max);
            uint32_t count = 0;
            g_CollisionMgr.GetTrianglesInBoxFinder(f, buffer.data(), &count, kBufferSize, 0);
            gathered += count;
        }
    }
    benchmark::DoNotOptimize(gathered);
    const double bulletNs = BulletNanosPerBox(path, bullet);
    state.counters["boxes"] =
        benchmark::Counter(double(state.iterations() * path.size()), benchmark::Counter::kIsRate);
    state.counters["bullet_boxes"] = 1e9 / bulletNs;
    state.counters["tris_per_box"] = double(ours) / double(path.size());
    state.counters["bullet_tris_per_box"] = double(theirs) / double(path.size());
    // The ratio is finished after the run: boxes per second of ours over Bullet's.
    state.counters["ratio"] = benchmark::Counter(double(state.iterations() * path.size()) * bulletNs * 1e-9,
                                                 benchmark::Counter::kIsRate);

    g_CollisionMgr.RemoveFinder(moving);
    for (Finder* f : fixed)
        g_CollisionMgr.RemoveFinder(f);
}
BENCHMARK(BM_GatherMode0VsBullet)
    ->ArgNames({"grid", "rebuild"})
    ->Args({0, 0})
    ->Args({0, 1})
    ->Args({1, 0})
    ->Args({1, 1})
    ->Unit(benchmark::kMicrosecond);

// One moved object: its world faces and its membership in the finders.
void BM_UpdateMovedObject(benchmark::State& state) {
    TheScene();
    ObjectRecord* h = g_Engine.FindObjectByName(state.range(0) ? "pillar" : "lamp_base");
    const Vec3 start = h->vPosition;
    const Box b{{-600, -100, -600}, {600, 400, 600}};
    Finder* f = g_CollisionMgr.AddBoxFinder(&b.min, &b.max);
    float t = 0;
    for (auto _ : state) {
        t += 0.01f;
        SetObjectPosition(h, start + Vec3(std::sin(t) * 100, 0, 0), false);
    }
    SetObjectPosition(h, start, false);
    g_CollisionMgr.RemoveFinder(f);
}
BENCHMARK(BM_UpdateMovedObject)->ArgNames({"pillar"})->Arg(0)->Arg(1);

// The visibility pass's question for every mesh object of the demo world.
void BM_ObjectsInCameraVolume(benchmark::State& state) {
    TheScene();
    const Vec3 eye{0, 100, -400};
    orientation look;
    look.SetDirection(Vec3(0.2f, -0.1f, 1));
    Finder* f = g_CollisionMgr.AddProjectorFinder(&eye, &look, 12000.0f, 1.15f);
    std::vector<ObjectRecord*> objects;
    for (int slot = 0; slot < EEngine::FIRST_SKINMESH; ++slot)
        if (g_Engine.Object(slot)->bUsed) objects.push_back(g_Engine.Object(slot));
    int seen = 0;
    for (auto _ : state)
        for (ObjectRecord* h : objects)
            seen += g_CollisionMgr.IsObjectInLightFinder(f, h, 0);
    benchmark::DoNotOptimize(seen);
    state.SetItemsProcessed(int64_t(state.iterations() * objects.size()));
    g_CollisionMgr.RemoveFinder(f);
}
BENCHMARK(BM_ObjectsInCameraVolume);

} // namespace
