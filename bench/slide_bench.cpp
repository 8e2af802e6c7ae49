// The player's slide mover: moves per second along a scripted walk over the
// demo world's course (with the unstick searches and glides it took), and
// the swept-box primitive beside Bullet's btCollisionWorld::convexSweepTest
// of the same box over the same triangles.
//
// Before the sweeps are timed each one is checked against Bullet: both must
// agree on hit or miss, and our bisected fraction must lie within 1/16 below
// Bullet's first-hit fraction. Sweeps that only graze a triangle (the answer
// changes when the box grows or shrinks by 0.05) are left out of the set,
// since the two tests draw the contact boundary differently. The counters
// give both rates and their ratio (above 1: ours is faster).
#include <benchmark/benchmark.h>
#include <btBulletCollisionCommon.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "actors/player/Player.h"
#include "app/CommandMgr.h"
#include "app/Mouse.h"
#include "app/Options.h"
#include "app/Records.h"
#include "bench/Allocations.h"
#include "game/MainGame.h"
#include "physics/MovePlayerSlide.h"
#include "platform/math/Math.h"
#include "platform/os/Os.h"
#include "render/Mesh.h"
#include "tests/world/WorldReset.h"
#include "world/Engine.h"
#include "world/ObjectApi.h"
#include "world/ObjectRecord.h"
#include "world/WorldMgr.h"

namespace {

using math::Vec3;

// The demo world with the player's two bodies, loaded once.
struct SlideScene {
    SlideScene() {
        namespace fs = std::filesystem;
        dir = fs::temp_directory_path() / ("zt_bench_slide_" + std::to_string(::getpid()));
        fs::remove_all(dir);
        fs::copy(fs::path(ZT_SOURCE_DIR) / "data", dir, fs::copy_options::recursive);
        previous = os::StartDirectory();
        os::SetStartDirectory(dir.string());
        wftest::ClearWorld();
        g_WorldMgr.LoadWorld("worlds\\test.w");
        stand = Body("prefabs\\special\\hero.x", 2048 | 4);
        crouch = Body("prefabs\\special\\hero_kuca.x", 2048);
        g_Player.m_hObjectStand = stand;
        g_Player.m_hObjectCrouch = crouch;
        min = stand->Mesh()->m_vBoxMin;
        max = stand->Mesh()->m_vBoxMax;
    }
    ~SlideScene() {
        g_MovePlayerSlide.ReleaseFinder(true);
        g_Player.m_hObjectStand = g_Player.m_hObjectCrouch = nullptr;
        wftest::ClearWorld();
        os::SetStartDirectory(previous);
        std::filesystem::remove_all(dir);
    }
    static ObjectRecord* Body(const char* file, uint32_t flags) {
        AddObjectParams p;
        p.dwType = OT_MESH;
        std::snprintf(p.szFileName, sizeof p.szFileName, "%s", file);
        p.vPosition = Vec3(-9999, -9999, -9999);
        p.dwFlags = flags;
        return g_Engine.AddObject(p);
    }
    std::filesystem::path dir;
    std::string previous;
    ObjectRecord* stand = nullptr;
    ObjectRecord* crouch = nullptr;
    Vec3 min, max;
};

SlideScene& TheScene() {
    static SlideScene scene;
    return scene;
}

// The walk: from the foot of the 16-unit stairs up and off their top, along
// to the 40-degree ramp and up it, into the foot of the 50-degree ramp, then
// across to the corner's gap and through it, and off the ledge.
struct Leg {
    Vec3 velocity; // units per second
    int frames;
};
constexpr float kFrame = 0.02f;
const Vec3 kStart{700, 36.5f, -270};
const Leg kWalk[] = {
    {{0, 0, 180}, 70},   // up the 16-unit steps, off their back
    {{180, 0, 0}, 40},   // east along the course
    {{0, 0, -180}, 30},  // back south
    {{180, 0, 0}, 30},   // to the 40-degree ramp's lane
    {{0, 0, 180}, 60},   // up the ramp and off it
    {{180, 0, 0}, 40},   // east
    {{0, 0, -180}, 40},  // south
    {{0, 0, 180}, 30},   // against the 50-degree ramp
    {{180, 0, 180}, 60}, // towards the corner
    {{0, 0, 180}, 40},   // into its front wall
};

void BM_PlayerMovesAlongTheCourse(benchmark::State& state) {
    SlideScene& scene = TheScene();
    EMovePlayerSlide& m = g_MovePlayerSlide;
    g_Engine.m_fFrameTime = kFrame;
    const uint32_t searches = m.m_dwUnstickSearches, glides = m.m_dwGlides;
    int64_t moves = 0;
    for (auto _ : state) {
        SetObjectPosition(scene.stand, kStart);
        m.m_bPushActive = 0;
        for (const Leg& leg : kWalk)
            for (int i = 0; i < leg.frames; ++i) {
                Vec3 p;
                GetObjectPosition(scene.stand, &p);
                Vec3 wanted = p + leg.velocity * kFrame - Vec3(0, m.IsOnGround() ? 0.0f : 4.0f, 0);
                uint8_t contact = 0;
                m.MovePlayerSlide(scene.stand, &wanted, &contact, true);
                SetObjectPosition(scene.stand, wanted);
                ++moves;
            }
    }
    state.SetItemsProcessed(moves);
    const double walks = double(state.iterations());
    state.counters["unstick_per_walk"] = double(m.m_dwUnstickSearches - searches) / walks;
    state.counters["glides_per_walk"] = double(m.m_dwGlides - glides) / walks;
}
BENCHMARK(BM_PlayerMovesAlongTheCourse)->Unit(benchmark::kMillisecond);

// ---- The player's update on the same walk ------------------------------------------------

// The walk of the slide benchmark played by the player's own update: each
// leg turns him to face its direction (the mouse yaw) and holds forward.
// Every frame's slide move (the body's place before and after it) is kept,
// and the same moves are replayed through the slide mover alone, so that the
// update's cost stands beside its own slides: "update_per_slide" is the time
// of one update over the time of its slide move.
void BM_PlayerUpdateAlongTheCourse(benchmark::State& state) {
    SlideScene& scene = TheScene();
    EMovePlayerSlide& m = g_MovePlayerSlide;
    constexpr int32_t kForward = 3;
    g_CommandMgr.SetDefaults();
    const uint32_t forwardKey = g_CommandMgr.GetBinding(kForward, 0);
    const int32_t savedFrame = g_MainGame.m_iLevelFrame;
    const uint8_t savedRunning = g_Engine.m_bWorldRunning;
    const bool savedMucha = mucha;
    g_MainGame.m_iLevelFrame = 400;
    g_Engine.m_bWorldRunning = 1;
    mucha = false;
    g_Player.m_hObject = scene.stand;
    g_Engine.m_fFrameTime = kFrame;
    struct Move {
        Vec3 from, to;
    };
    int frames = 0;
    for (const Leg& leg : kWalk)
        frames += leg.frames;
    std::vector<Move> moves(static_cast<size_t>(frames));
    double updateSeconds = 0, slideSeconds = 0;
    uint64_t allocations = 0;
    int64_t updates = 0;
    using Clock = std::chrono::steady_clock;
    for (auto _ : state) {
        g_Player.TeleportTo(kStart);
        g_Player.m_bJustPlaced = false;
        SetObjectPosition(scene.stand, kStart);
        m.m_bPushActive = 0;
        size_t k = 0;
        const uint64_t allocationsBefore = g_Allocations.load();
        const auto start = Clock::now();
        for (const Leg& leg : kWalk) {
            g_Mouse.m_State.yaw = std::atan2(leg.velocity.x, leg.velocity.z);
            g_CommandMgr.m_KeyStates[forwardKey] = 1;
            for (int i = 0; i < leg.frames; ++i) {
                moves[k].from = g_Player.m_vPosition;
                g_Player.UpdateView();
                g_Player.Update();
                moves[k++].to = g_Player.m_vPosition;
            }
        }
        updateSeconds += std::chrono::duration<double>(Clock::now() - start).count();
        allocations += g_Allocations.load() - allocationsBefore;
        g_CommandMgr.m_KeyStates[forwardKey] = 0;
        updates += frames;
        state.PauseTiming();
        SetObjectPosition(scene.stand, kStart);
        m.m_bPushActive = 0;
        const auto slideStart = Clock::now();
        for (const Move& move : moves) {
            SetObjectPosition(scene.stand, move.from);
            Vec3 wanted = move.to;
            uint8_t contact = 0;
            m.MovePlayerSlide(scene.stand, &wanted, &contact, true);
        }
        slideSeconds += std::chrono::duration<double>(Clock::now() - slideStart).count();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(updates);
    state.counters["update_per_slide"] = slideSeconds > 0 ? updateSeconds / slideSeconds : 0.0;
    state.counters["allocations_per_frame"] = updates ? double(allocations) / double(updates) : 0.0;
    g_Player.m_hObject = nullptr;
    g_MainGame.m_iLevelFrame = savedFrame;
    g_Engine.m_bWorldRunning = savedRunning;
    mucha = savedMucha;
}
BENCHMARK(BM_PlayerUpdateAlongTheCourse)->Unit(benchmark::kMillisecond);

// ---- The swept box beside Bullet -----------------------------------------------------------

btVector3 Bt(const Vec3& v) {
    return {v.x, v.y, v.z};
}

struct BulletWorld {
    explicit BulletWorld(const EMovePlayerSlide& m) {
        for (uint32_t i = 0; i < m.m_dwNumTriangles; ++i) {
            const Vec3* v = m.m_pTriangles[i].vVertices;
            mesh.addTriangle(Bt(v[0]), Bt(v[1]), Bt(v[2]), false);
        }
        shape = std::make_unique<btBvhTriangleMeshShape>(&mesh, true);
        object.setCollisionShape(shape.get());
        world.addCollisionObject(&object);
        world.updateAabbs();
    }
    ~BulletWorld() { world.removeCollisionObject(&object); }
    // The first-hit fraction of the box [min, max] moved from one point to
    // another, or a negative value for a miss.
    float Sweep(const btBoxShape& box, const Vec3& centre, const Vec3& from, const Vec3& to) {
        btTransform a, b;
        a.setIdentity();
        b.setIdentity();
        a.setOrigin(Bt(from + centre));
        b.setOrigin(Bt(to + centre));
        btCollisionWorld::ClosestConvexResultCallback result(a.getOrigin(), b.getOrigin());
        world.convexSweepTest(&box, a, b, result, 0.0f);
        return result.hasHit() ? float(result.m_closestHitFraction) : -1.0f;
    }
    btTriangleMesh mesh{true, false};
    std::unique_ptr<btBvhTriangleMeshShape> shape;
    btCollisionObject object;
    btDefaultCollisionConfiguration configuration;
    btCollisionDispatcher dispatcher{&configuration};
    btDbvtBroadphase broadphase;
    btCollisionWorld world{&dispatcher, &broadphase, &configuration};
};

struct Sweep {
    Vec3 from, to;
};

// Sweeps of the standing body through the stairs and ramps of the course,
// all inside one gathered box, each starting free.
std::vector<Sweep> Sweeps(EMovePlayerSlide& m, const Vec3& min, const Vec3& max) {
    const Vec3 lo{640, 0, -300}, hi{1160, 120, -60};
    m.ReleaseFinder(true);
    m.GatherAround(lo - Vec3(150, 0, 150), hi + Vec3(150, 150, 150));
    std::mt19937 rng(1234);
    std::uniform_real_distribution<float> x(lo.x, hi.x), y(1 + 36, hi.y), z(lo.z, hi.z), d(-90, 90);
    const Vec3 grow{0.05f, 0.05f, 0.05f};
    std::vector<Sweep> out;
    while (out.size() < 256) {
        Sweep s{{x(rng), y(rng), z(rng)}, {}};
        s.to = s.from + Vec3(d(rng), d(rng) * 0.5f, d(rng));
        if (m.TestBox(s.from, min - grow, max + grow)) continue;
        if (m.SweptBoxHits(s.from, s.to, min - grow, max + grow) !=
            m.SweptBoxHits(s.from, s.to, min + grow, max - grow))
            continue; // grazing
        out.push_back(s);
    }
    return out;
}

void BM_SweptBoxVsBullet(benchmark::State& state) {
    SlideScene& scene = TheScene();
    EMovePlayerSlide& m = g_MovePlayerSlide;
    SetObjectPosition(scene.stand, {-9999, -9999, -9999});
    const std::vector<Sweep> sweeps = Sweeps(m, scene.min, scene.max);
    BulletWorld bullet(m);
    const Vec3 half = (scene.max - scene.min) * 0.5f, centre = (scene.max + scene.min) * 0.5f;
    btBoxShape box(Bt(half));
    box.setMargin(0.0f);

    int hits = 0;
    for (const Sweep& s : sweeps) {
        const float theirs = bullet.Sweep(box, centre, s.from, s.to);
        SlideSweepResult r;
        m.SweepBox(s.from, s.to, scene.min, scene.max, false, &r);
        if (bool(r.bHit) != (theirs >= 0.0f)) {
            state.SkipWithError("a sweep's hit or miss differs from Bullet's");
            return;
        }
        if (r.bHit && (r.fFraction > theirs + 0.002f || r.fFraction < theirs - 0.0625f - 0.002f)) {
            state.SkipWithError("a bisected fraction lies outside 1/16 below Bullet's");
            return;
        }
        hits += r.bHit;
    }

    size_t reported = 0;
    for (auto _ : state)
        for (const Sweep& s : sweeps)
            reported += m.SweptBoxHits(s.from, s.to, scene.min, scene.max);
    benchmark::DoNotOptimize(reported);

    constexpr int kRounds = 20;
    int theirHits = 0;
    const auto start = std::chrono::steady_clock::now();
    for (int r = 0; r < kRounds; ++r)
        for (const Sweep& s : sweeps)
            theirHits += bullet.Sweep(box, centre, s.from, s.to) >= 0.0f;
    benchmark::DoNotOptimize(theirHits);
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    const double bulletPerSecond = double(kRounds * sweeps.size()) / elapsed.count();

    state.counters["sweeps"] =
        benchmark::Counter(double(state.iterations() * sweeps.size()), benchmark::Counter::kIsRate);
    state.counters["bullet_sweeps"] = bulletPerSecond;
    state.counters["ratio"] = benchmark::Counter(double(state.iterations() * sweeps.size()) / bulletPerSecond,
                                                 benchmark::Counter::kIsRate);
    state.counters["triangles"] = double(m.m_dwNumTriangles);
    state.counters["hit_share"] = double(hits) / double(sweeps.size());
}
BENCHMARK(BM_SweptBoxVsBullet)->Unit(benchmark::kMicrosecond);

} // namespace
