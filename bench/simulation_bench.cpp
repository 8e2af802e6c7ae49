// The rigid-body simulation's frame beside Bullet's btDiscreteDynamicsWorld:
// 10, 30 and 100 boxes of 16 units and 10 mass units dropped 150 units onto
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

#include <chrono>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr double kGravity = -9.81 * 64.0;
constexpr double kFrame = 1.0 / 60.0;
constexpr float kHalf = 8.0f;
constexpr float kMass = 10.0f;
constexpr float kDropHeight = 150.0f;
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

// Steps a scene until every box has rested for kRestingFrames frames (or
// kMaxFrames), timing each frame.
template <class Scene> Run RunScene(Scene& scene) {
    using Clock = std::chrono::steady_clock;
    Run run;
    for (int frame = 0; frame < kMaxFrames; ++frame) {
        const auto start = Clock::now();
        scene.Step();
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
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
    run.heights = scene.Heights();
    return run;
}

void BM_BulletBoxes(benchmark::State& state) {
    const int n = int(state.range(0));
    Run total;
    int runs = 0;
    for (auto _ : state) {
        BulletScene scene(n);
        const Run run = RunScene(scene);
        if (run.restFrame < 0) {
            state.SkipWithError("Bullet's boxes did not all come to rest");
            return;
        }
        total.fallingSeconds += run.fallingSeconds;
        total.fallingFrames += run.fallingFrames;
        total.restingSeconds += run.restingSeconds;
        total.landedFrame = run.landedFrame;
        total.restFrame = run.restFrame;
        ++runs;
    }
    state.counters["falling_fps"] = total.fallingFrames / total.fallingSeconds;
    state.counters["resting_fps"] = runs * kRestingFrames / total.restingSeconds;
    state.counters["landed_frame"] = total.landedFrame;
    state.counters["rest_frame"] = total.restFrame;
}
BENCHMARK(BM_BulletBoxes)->Arg(10)->Arg(30)->Arg(100)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace
