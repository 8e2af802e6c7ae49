// The rigid-body simulation's frame beside Bullet's btDiscreteDynamicsWorld:
// 10, 30 and 100 boxes of 16 units and 10 mass units dropped 60 units onto
// the demo floor (its two triangles, for Bullet a btBvhTriangleMeshShape),
// stepped at 60 Hz under the same gravity until every box rests.
//
// Reported per box count: frames per second of each while the boxes fall
// (the frames before the first one lands) and once all rest, and ours over
// Bullet's. Before timing, both runs are checked alike: a single box lands in
// the same frame (within one), rests within 0.5 units of Bullet's height, and
// every box of every run is at rest by the end.
//
// Bullet's sleeping thresholds are its defaults scaled to the world's unit
// (64 to the metre), and its boxes bounce with the restitution our contact
// response uses (1 + e = 1.41).
#include <benchmark/benchmark.h>
#include <btBulletDynamicsCommon.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/Records.h"
#include "physics/RigidBodySimulation.h"
#include "platform/os/Os.h"
#include "render/MeshMgr.h"
#include "tests/world/WorldReset.h"
#include "world/Engine.h"
#include "world/ObjectApi.h"
#include "world/ObjectRecord.h"

namespace {

constexpr double kGravity = -9.81 * 64.0;
constexpr double kFrame = 1.0 / 60.0;
constexpr float kHalf = 8.0f;
constexpr float kMass = 10.0f;
// Below the 62 units after which a falling body reaches the simulation's
// speed cap of 280, which Bullet does not have.
constexpr float kDropHeight = 60.0f;
constexpr float kFloorHalf = 512.0f; // the demo floor, 1024 units square at y = 0
constexpr int kMaxFrames = 1800;     // 30 s
constexpr int kRestingFrames = 60;

// Where box i of n starts: a grid of rows of ten, 48 units apart, its bottom
// kDropHeight above the floor.
btVector3 StartOf(int i, int n) {
    const int rows = (n + 9) / 10;
    const float x = (float(i % 10) - 4.5f) * 48.0f;
    const float z = (float(i / 10) - float(rows - 1) * 0.5f) * 48.0f;
    return {x, kHalf + kDropHeight, z};
}

// What one run of a scene gives, for either engine.
struct Run {
    int landedFrame = -1;      // the first frame after which a box touches the floor
    int restFrame = -1;        // the first frame after which every box rests
    double fallingSeconds = 0; // the frames before landedFrame
    int fallingFrames = 0;
    double restingSeconds = 0;  // kRestingFrames frames after restFrame
    std::vector<float> heights; // the boxes' centres at the end
};

class BulletScene {
  public:
    explicit BulletScene(int n) {
        world_.setGravity({0, btScalar(kGravity), 0});
        const btVector3 c[4] = {{-kFloorHalf, 0, kFloorHalf},
                                {kFloorHalf, 0, kFloorHalf},
                                {kFloorHalf, 0, -kFloorHalf},
                                {-kFloorHalf, 0, -kFloorHalf}};
        floorMesh_.addTriangle(c[0], c[1], c[2]);
        floorMesh_.addTriangle(c[0], c[2], c[3]);
        floorShape_ = std::make_unique<btBvhTriangleMeshShape>(&floorMesh_, true);
        floor_ = std::make_unique<btRigidBody>(0.0f, nullptr, floorShape_.get());
        floor_->setRestitution(1.0f);
        world_.addRigidBody(floor_.get());
        btVector3 inertia;
        boxShape_.calculateLocalInertia(kMass, inertia);
        for (int i = 0; i < n; ++i) {
            btTransform t;
            t.setIdentity();
            t.setOrigin(StartOf(i, n));
            motions_.push_back(std::make_unique<btDefaultMotionState>(t));
            btRigidBody::btRigidBodyConstructionInfo info(kMass, motions_.back().get(), &boxShape_, inertia);
            info.m_restitution = 0.41f;
            info.m_linearSleepingThreshold = 0.8f * 64.0f;
            info.m_angularSleepingThreshold = 1.0f;
            // Without it a box that lands on an edge can spin on the floor
            // for ever.
            info.m_angularDamping = 0.1f;
            boxes_.push_back(std::make_unique<btRigidBody>(info));
            world_.addRigidBody(boxes_.back().get());
        }
    }
    ~BulletScene() {
        for (auto& b : boxes_)
            world_.removeRigidBody(b.get());
        world_.removeRigidBody(floor_.get());
    }
    void Step() { world_.stepSimulation(btScalar(kFrame), 1, btScalar(kFrame)); }
    bool AnyLanded() {
        const int manifolds = dispatcher_.getNumManifolds();
        for (int i = 0; i < manifolds; ++i) {
            const btPersistentManifold* m = dispatcher_.getManifoldByIndexInternal(i);
            if (m->getNumContacts() == 0) continue;
            if (m->getBody0() == floor_.get() || m->getBody1() == floor_.get()) return true;
        }
        return false;
    }
    bool AllRest() const {
        for (const auto& b : boxes_)
            if (b->isActive()) return false;
        return true;
    }
    std::vector<float> Heights() const {
        std::vector<float> h;
        for (const auto& b : boxes_)
            h.push_back(float(b->getWorldTransform().getOrigin().y()));
        return h;
    }

  private:
    btDefaultCollisionConfiguration config_;
    btCollisionDispatcher dispatcher_{&config_};
    btDbvtBroadphase broadphase_;
    btSequentialImpulseConstraintSolver solver_;
    btDiscreteDynamicsWorld world_{&dispatcher_, &broadphase_, &solver_, &config_};
    btTriangleMesh floorMesh_{true, false};
    std::unique_ptr<btBvhTriangleMeshShape> floorShape_;
    std::unique_ptr<btRigidBody> floor_;
    btBoxShape boxShape_{btVector3(kHalf, kHalf, kHalf)};
    std::vector<std::unique_ptr<btDefaultMotionState>> motions_;
    std::vector<std::unique_ptr<btRigidBody>> boxes_;
};

// A copy of the demo data, the start directory while the benchmark runs.
struct DataCopy {
    DataCopy() {
        namespace fs = std::filesystem;
        dir = fs::temp_directory_path() / ("zt_bench_simulation_" + std::to_string(::getpid()));
        fs::remove_all(dir);
        fs::copy(fs::path(ZT_SOURCE_DIR) / "data", dir, fs::copy_options::recursive);
        previous = os::StartDirectory();
        os::SetStartDirectory(dir.string());
    }
    ~DataCopy() {
        g_RigidBodySimulation.Destroy();
        wftest::ClearWorld();
        g_MeshMgr.ReleaseAll();
        os::SetStartDirectory(previous);
        std::filesystem::remove_all(dir);
    }
    std::filesystem::path dir;
    std::string previous;
};

// The same boxes as bodies of the simulation over the demo floor's object.
class OurScene {
  public:
    explicit OurScene(int n) {
        static DataCopy data;
        wftest::ClearWorld();
        g_RigidBodySimulation.Reset();
        AddObjectParams floor;
        floor.dwType = OT_MESH;
        std::snprintf(floor.szFileName, sizeof floor.szFileName, "models\\plane.x");
        floor.dwFlags = 13;
        g_Engine.AddObject(floor);
        for (int i = 0; i < n; ++i) {
            AddObjectParams p;
            p.dwType = OT_MESH;
            std::snprintf(p.szFileName, sizeof p.szFileName, "prefabs\\special\\rigidbody_box.x");
            p.dwFlags = 13;
            const btVector3 at = StartOf(i, n);
            p.vPosition = math::Vec3(at.x(), at.y(), at.z());
            p.vScale = math::Vec3(2 * kHalf, 2 * kHalf, 2 * kHalf);
            ObjectRecord* h = g_Engine.AddObject(p);
            RigidBodyPhysicsParams params;
            params.Reset();
            params.iShape = 1;
            params.fMass = kMass;
            SetObjectRigidBodyPhysicsParams(h, params);
            RigidBodySlot* slot = g_RigidBodySimulation.AddBody(h);
            h->dwRigidBody = g_RigidBodySimulation.RefOf(slot);
            slot->pBody->Activate();
            bodies_.push_back(slot->pBody);
        }
    }
    ~OurScene() {
        g_RigidBodySimulation.Destroy();
        wftest::ClearWorld();
    }
    void Step() {
        g_Engine.m_fFrameTime = float(kFrame);
        g_RigidBodySimulation.Simulate();
    }
    // A box has landed once it stops falling (a round's contact may be
    // followed by a free round in the same frame).
    bool AnyLanded() const {
        for (const ERigidBodyPhysics* b : bodies_)
            if (b->m_dAge > 0.0 && b->m_State.v[1] >= 0.0) return true;
        return false;
    }
    bool AllRest() const {
        for (const ERigidBodyPhysics* b : bodies_)
            if (b->m_bActive) return false;
        return true;
    }
    std::vector<float> Heights() const {
        std::vector<float> h;
        for (const ERigidBodyPhysics* b : bodies_)
            h.push_back(float(b->m_State.x[1]));
        return h;
    }

  private:
    std::vector<ERigidBodyPhysics*> bodies_;
};

// Steps a scene until every box has rested for kRestingFrames frames, timing
// each frame. A scene whose boxes do not all rest runs kMaxFrames, and its
// last kRestingFrames frames are timed as its settled state.
template <class Scene> Run RunScene(Scene& scene) {
    using Clock = std::chrono::steady_clock;
    Run run;
    std::vector<double> last(kRestingFrames, 0.0);
    for (int frame = 0; frame < kMaxFrames; ++frame) {
        const auto start = Clock::now();
        scene.Step();
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        last[size_t(frame % kRestingFrames)] = seconds;
        if (run.landedFrame < 0 && scene.AnyLanded()) run.landedFrame = frame;
        if (run.landedFrame < 0) {
            run.fallingSeconds += seconds;
            ++run.fallingFrames;
        }
        if (run.restFrame >= 0) {
            run.restingSeconds += seconds;
            if (frame - run.restFrame >= kRestingFrames) break;
        } else if (scene.AllRest()) {
            run.restFrame = frame;
        }
    }
    if (run.restFrame < 0)
        for (double seconds : last)
            run.restingSeconds += seconds;
    run.heights = scene.Heights();
    return run;
}

// The checks before timing: a single box lands in the same frame as Bullet's
// (within one) and rests within 0.5 units of Bullet's height; an error text
// otherwise.
std::string CheckSingleBox() {
    OurScene ours(1);
    const Run a = RunScene(ours);
    BulletScene bullet(1);
    const Run b = RunScene(bullet);
    char text[160] = "";
    if (a.restFrame < 0 || b.restFrame < 0)
        std::snprintf(text, sizeof text, "a single box did not rest (ours %d, Bullet's %d)", a.restFrame,
                      b.restFrame);
    else if (std::abs(a.landedFrame - b.landedFrame) > 1)
        std::snprintf(text, sizeof text, "a single box lands in frame %d, Bullet's in %d", a.landedFrame,
                      b.landedFrame);
    else if (std::fabs(a.heights[0] - b.heights[0]) > 0.5f)
        std::snprintf(text, sizeof text, "a single box rests at %.2f, Bullet's at %.2f", double(a.heights[0]),
                      double(b.heights[0]));
    return text;
}

// Ours and Bullet's in one run: frames per second while the boxes fall and
// once they rest, and the cost of our frame over Bullet's.
void BM_SimulationVsBullet(benchmark::State& state) {
    const int n = int(state.range(0));
    static const std::string error = CheckSingleBox();
    if (!error.empty()) {
        state.SkipWithError(error.c_str());
        return;
    }
    Run ours, bullet;
    int runs = 0, bulletRestless = 0;
    for (auto _ : state) {
        auto add = [&](Run& total, const Run& run) {
            total.fallingSeconds += run.fallingSeconds;
            total.fallingFrames += run.fallingFrames;
            total.restingSeconds += run.restingSeconds;
            total.landedFrame = run.landedFrame;
            total.restFrame = run.restFrame;
        };
        OurScene a(n);
        const Run ourRun = RunScene(a);
        BulletScene b(n);
        const Run bulletRun = RunScene(b);
        if (ourRun.restFrame < 0) {
            state.SkipWithError("our boxes did not all come to rest");
            return;
        }
        // Bullet may leave a box rocking on the floor's triangles for ever;
        // its count of such runs is reported.
        bulletRestless += bulletRun.restFrame < 0;
        add(ours, ourRun);
        add(bullet, bulletRun);
        ++runs;
    }
    const double oursFalling = ours.fallingSeconds / ours.fallingFrames;
    const double bulletFalling = bullet.fallingSeconds / bullet.fallingFrames;
    const double oursResting = ours.restingSeconds / (runs * kRestingFrames);
    const double bulletResting = bullet.restingSeconds / (runs * kRestingFrames);
    state.counters["falling_fps"] = 1.0 / oursFalling;
    state.counters["bullet_falling_fps"] = 1.0 / bulletFalling;
    state.counters["falling_cost_ratio"] = oursFalling / bulletFalling;
    state.counters["resting_fps"] = 1.0 / oursResting;
    state.counters["bullet_resting_fps"] = 1.0 / bulletResting;
    state.counters["resting_cost_ratio"] = oursResting / bulletResting;
    state.counters["rest_frame"] = ours.restFrame;
    state.counters["bullet_rest_frame"] = bullet.restFrame;
    state.counters["bullet_restless_runs"] = bulletRestless;
}
BENCHMARK(BM_SimulationVsBullet)->Arg(10)->Arg(30)->Arg(100)->Unit(benchmark::kMillisecond)->Iterations(2);

} // namespace
