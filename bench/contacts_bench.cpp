// A rigid body's collision tests beside Bullet: a 24-unit box body walks a
// path of placements (short steps, turning as it goes) over the demo world's
// floor and along its walls. Each placement is one body step: the world
// triangles are gathered around it (as every step begins), then the move
// test (IsCollision) runs, or the contacts are generated (the new generator,
// then the fallback when it finds none, as the step does). Bullet answers
// btCollisionWorld::contactPairTest for a btBoxShape of the same size and pose
// against a btBvhTriangleMeshShape of the same floor and wall triangles. The
// counters give both rates per placement and their ratio (above 1: ours is
// faster).
//
// Before timing, contact or no contact must agree at every placement whose
// Bullet distance is not within a grazing band around touching; the walk
// keeps to placements where the body gathers nothing but floor and walls.
//
// The joint pass, run every round of a frame, is measured on its own with
// awake joints holding boxes to a fixed object.
#include <benchmark/benchmark.h>
#include <btBulletCollisionCommon.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "CollisionScene.h"
#include "physics/CollisionMgr.h"
#include "physics/RigidBodyJointsMgr.h"
#include "physics/RigidBodySimulation.h"
#include "world/Engine.h"
#include "world/ObjectApi.h"
#include "world/ObjectRecord.h"

namespace {

using benchscene::TheScene;

constexpr float kSize = 24.0f;
constexpr double kGraze = 0.1;
const char* const kWorldNames[] = {"floor", "wall_north", "wall_south", "wall_east", "wall_west"};

bool IsFloorOrWall(const ObjectRecord* h) {
    for (const char* name : kWorldNames)
        if (h && std::strcmp(h->szName, name) == 0) return true;
    return false;
}

// The box body, made once for every benchmark.
ERigidBodyPhysics* TheBody() {
    static ERigidBodyPhysics* body = [] {
        TheScene();
        g_RigidBodySimulation.Reset();
        AddObjectParams p;
        p.dwType = OT_MESH;
        std::snprintf(p.szFileName, sizeof p.szFileName, "%s", "prefabs\\special\\rigidbody_box.x");
        ObjectRecord* h = g_Engine.AddObject(p);
        SetObjectName(h, "bench_body");
        SetObjectScale(h, math::Vec3(kSize, kSize, kSize));
        SetObjectPosition(h, math::Vec3(0, 200, 0));
        RigidBodyPhysicsParams params;
        params.Reset();
        params.iShape = 1;
        SetObjectRigidBodyPhysicsParams(h, params);
        RigidBodySlot* s = g_RigidBodySimulation.AddBody(h);
        return s ? s->pBody : nullptr;
    }();
    return body;
}

// A walk of short turning steps: along the floor, then along each wall.
std::vector<RigidBodyState> Walk(ERigidBodyPhysics* b) {
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    std::vector<RigidBodyState> out;
    struct Leg {
        double x0, z0, x1, z1, y;
    } legs[] = {{-250, -250, 250, 250, 18}, {482, -300, 482, 300, 60}, {-482, 300, -482, -300, 60},
                {-300, 482, 300, 482, 60},  {300, -482, -300, -482, 60}};
    for (const Leg& leg : legs)
        for (int i = 0; i < 400; ++i) {
            RigidBodyState s = b->m_State;
            const double t = i / 399.0;
            s.x[0] = leg.x0 + (leg.x1 - leg.x0) * t + 8.0 * u(rng);
            s.x[1] = leg.y + 8.0 * u(rng);
            s.x[2] = leg.z0 + (leg.z1 - leg.z0) * t + 8.0 * u(rng);
            const double a = 0.02 * i, c = 0.013 * i;
            const double q[4] = {std::sin(a) * std::cos(c), std::sin(c), std::cos(a) * 0.3, 1.0};
            std::memcpy(s.q, q, sizeof q);
            ERigidBodyPhysics::SetNewState(&s);
            out.push_back(s);
        }
    return out;
}

btVector3 Bt(const math::Vec3& v) {
    return {v.x, v.y, v.z};
}

struct Bullet {
    Bullet() : dispatcher(&config), world(&dispatcher, &broadphase, &config) {
        for (int slot = 0; slot < EEngine::FIRST_SKINMESH; ++slot) {
            ObjectRecord* h = g_Engine.Object(slot);
            const CollisionMeshEntry* e = h->bUsed && IsFloorOrWall(h) ? g_CollisionMgr.GetEntry(h) : nullptr;
            for (uint32_t f = 0; e && f < e->dwNumFaces; ++f)
                mesh.addTriangle(Bt(e->CM_vVerticesWorld[e->CM_dwFaces[3 * f]]),
                                 Bt(e->CM_vVerticesWorld[e->CM_dwFaces[3 * f + 1]]),
                                 Bt(e->CM_vVerticesWorld[e->CM_dwFaces[3 * f + 2]]), false);
        }
        meshShape = std::make_unique<btBvhTriangleMeshShape>(&mesh, true);
        meshObject.setCollisionShape(meshShape.get());
        world.addCollisionObject(&meshObject);
        boxObject.setCollisionShape(&box);
        world.addCollisionObject(&boxObject);
    }
    ~Bullet() {
        world.removeCollisionObject(&boxObject);
        world.removeCollisionObject(&meshObject);
    }

    struct Deepest : btCollisionWorld::ContactResultCallback {
        btScalar addSingleResult(btManifoldPoint& cp, const btCollisionObjectWrapper*, int, int,
                                 const btCollisionObjectWrapper*, int, int) override {
            if (cp.getDistance() < deepest) deepest = cp.getDistance();
            ++points;
            return 0;
        }
        btScalar deepest = BT_LARGE_FLOAT;
        int points = 0;
    };

    // The deepest distance of the box at the state (large when apart).
    Deepest Test(const RigidBodyState& s) {
        btTransform t;
        t.setOrigin(btVector3(btScalar(s.x[0]), btScalar(s.x[1]), btScalar(s.x[2])));
        t.setRotation(btQuaternion(btScalar(s.q[0]), btScalar(s.q[1]), btScalar(s.q[2]), btScalar(s.q[3])));
        boxObject.setWorldTransform(t);
        Deepest d;
        world.contactPairTest(&boxObject, &meshObject, d);
        return d;
    }

    btDefaultCollisionConfiguration config;
    btCollisionDispatcher dispatcher;
    btDbvtBroadphase broadphase;
    btCollisionWorld world;
    btTriangleMesh mesh{true, false};
    std::unique_ptr<btBvhTriangleMeshShape> meshShape;
    btCollisionObject meshObject;
    btBoxShape box{btVector3(kSize / 2, kSize / 2, kSize / 2)};
    btCollisionObject boxObject;
};

// The placements of the walk where the body meets nothing but floor and
// walls, and whether ours and Bullet's answers agree away from grazing.
std::string Prepare(ERigidBodyPhysics* b, Bullet& bullet, std::vector<RigidBodyState>* kept, int* hits) {
    *hits = 0;
    for (const RigidBodyState& s : Walk(b)) {
        b->GatherWorldTriangles(&s, &s, true);
        bool clean = true;
        for (uint32_t i = 0; i < b->m_dwNumTriangles; ++i)
            clean &= IsFloorOrWall(b->m_pTrojkaty[i].hOwner);
        if (!clean) continue;
        kept->push_back(s);
        const bool ours = b->IsCollision(&s, &s, false);
        const Bullet::Deepest d = bullet.Test(s);
        const bool theirs = d.points > 0 && d.deepest < 0;
        if (d.points > 0 && std::fabs(d.deepest) < kGraze) continue;
        if (ours != theirs) return "contact or no contact differs from Bullet's at a placement";
        *hits += ours;
    }
    if (kept->size() < 1000) return "too few placements against floor and walls alone";
    return {};
}

double BulletNanosPerPlacement(Bullet& bullet, const std::vector<RigidBodyState>& placements) {
    constexpr int kRounds = 5;
    int points = 0;
    const auto start = std::chrono::steady_clock::now();
    for (int r = 0; r < kRounds; ++r)
        for (const RigidBodyState& s : placements)
            points += bullet.Test(s).points;
    benchmark::DoNotOptimize(points);
    const std::chrono::duration<double, std::nano> elapsed = std::chrono::steady_clock::now() - start;
    return elapsed.count() / double(kRounds * placements.size());
}

// state.range(0): 0 the move test, 1 contact generation.
void BM_BodyAgainstWorldVsBullet(benchmark::State& state) {
    ERigidBodyPhysics* b = TheBody();
    if (!b) {
        state.SkipWithError("no body");
        return;
    }
    Bullet bullet;
    std::vector<RigidBodyState> placements;
    int hits = 0;
    if (const std::string error = Prepare(b, bullet, &placements, &hits); !error.empty()) {
        state.SkipWithError(error.c_str());
        return;
    }
    const bool contacts = state.range(0) != 0;
    RigidBodyContactList& list = g_RigidBodySimulation.m_Contacts;
    size_t answers = 0;
    for (auto _ : state)
        for (const RigidBodyState& s : placements) {
            b->GatherWorldTriangles(&s, &s, true);
            if (contacts) {
                bool found = false;
                b->TestCollisions_NOWA_KONCEPCJA(&s, &s, &found, &list, false);
                if (!found) b->TestCollisions(&s, &s, &found, &list, false);
                answers += found ? list.dwNumContacts : 0;
            } else {
                answers += b->IsCollision(&s, &s, false);
            }
        }
    benchmark::DoNotOptimize(answers);
    const double bulletNs = BulletNanosPerPlacement(bullet, placements);
    const double n = double(state.iterations() * placements.size());
    state.counters["placements"] = benchmark::Counter(n, benchmark::Counter::kIsRate);
    state.counters["bullet_placements"] = 1e9 / bulletNs;
    state.counters["ratio"] = benchmark::Counter(n * bulletNs * 1e-9, benchmark::Counter::kIsRate);
    state.counters["colliding"] = double(hits) / double(placements.size());
    // The gathering alone, which both rates above include.
    const auto start = std::chrono::steady_clock::now();
    for (const RigidBodyState& s : placements)
        b->GatherWorldTriangles(&s, &s, true);
    const std::chrono::duration<double> gather = std::chrono::steady_clock::now() - start;
    state.counters["gathers"] = double(placements.size()) / gather.count();
}
BENCHMARK(BM_BodyAgainstWorldVsBullet)->ArgNames({"contacts"})->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// The joint pass over awake joints, each holding a box body to one fixed
// object, with the position projection on.
void BM_JointPass(benchmark::State& state) {
    TheBody();
    const int n = int(state.range(0));
    ObjectRecord* holder = g_Engine.FindObjectByName("floor");
    std::vector<ObjectRecord*> made;
    for (int i = 0; i < n; ++i) {
        AddObjectParams p;
        p.dwType = OT_MESH;
        std::snprintf(p.szFileName, sizeof p.szFileName, "%s", "prefabs\\special\\rigidbody_box.x");
        ObjectRecord* h = g_Engine.AddObject(p);
        SetObjectScale(h, math::Vec3(8, 8, 8));
        SetObjectPosition(h, math::Vec3(float(i % 20) * 20.0f - 200.0f, 150, float(i / 20) * 20.0f - 200.0f));
        RigidBodyPhysicsParams params;
        params.Reset();
        params.iShape = 1;
        params.bJointOn = 1;
        SetObjectRigidBodyPhysicsParams(h, params);
        RigidBodySlot* s = g_RigidBodySimulation.AddBody(h);
        if (!s) break;
        h->dwRigidBody = g_RigidBodySimulation.RefOf(s);
        s->pBody->Activate();
        s->pBody->m_State.L[1] = 20.0;
        ERigidBodyPhysics::SetNewState(&s->pBody->m_State);
        g_RigidBodyJointsMgr.AddJoint(h, nullptr, holder, nullptr, 0, 10.0, nullptr, nullptr);
        made.push_back(h);
    }
    g_RigidBodyJointsMgr.m_bProjectionOn = 1;
    for (auto _ : state)
        g_RigidBodyJointsMgr.Update();
    g_RigidBodyJointsMgr.m_bProjectionOn = 0;
    state.SetItemsProcessed(int64_t(state.iterations()) * n);
    for (ObjectRecord* h : made)
        g_Engine.DeleteObject(h);
}
BENCHMARK(BM_JointPass)->Arg(10)->Arg(100)->Arg(400);

} // namespace
