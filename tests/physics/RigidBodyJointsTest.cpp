// Joints of rigid bodies: targets and directions by level and distance,
// projection, the joint impulse, damping with the spin limit, joint lists and
// the table's limit, moving a body without collisions, a body hanging from a
// moving object, and the joints a body's settings ask for.
#include <gtest/gtest.h>

#include <glm/glm.hpp>
#include <glm/gtc/quaternion.hpp>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>

#include "physics/RigidBodyJointsMgr.h"
#include "physics/RigidBodySimulation.h"
#include "render/MeshSocketsMgr.h"
#include "tests/physics/CollisionFixture.h"
#include "tests/physics/RigidBodyFixture.h"

namespace {

using math::Vec3;

class RigidJointTest : public RigidBodyWorldTest {
  protected:
    void SetUp() override {
        RigidBodyWorldTest::SetUp();
        const std::filesystem::path sockets = dir_ / "scripts" / "mesh_sockets";
        std::filesystem::create_directories(sockets);
        // The unit box: z is up in socket files.
        std::ofstream(sockets / "unit_box.txt") << "mesh_filename prefabs\\special\\rigidbody_box.x\n"
                                                   "socket top 0 0 0.5\nsocket bottom 0 0 -0.5\n"
                                                   "socket side 0.5 0 0\nsocket front 0 0.5 0\n"
                                                   "socket centre 0 0 0.01\n";
        // The 64-unit box stands on its origin.
        std::ofstream(sockets / "box.txt") << "mesh_filename models\\box.x\n"
                                              "socket hook 0 0 0\nsocket corner 32 32 64\n";
        g_MeshSocketsMgr.LoadAll();
        g_RigidBodyJointsMgr.m_bProjectionOn = 0;
    }
    void TearDown() override {
        std::filesystem::remove_all(dir_ / "scripts");
        g_MeshSocketsMgr.LoadAll();
        g_RigidBodyJointsMgr.m_bProjectionOn = 0;
        RigidBodyWorldTest::TearDown();
    }

    // An awake 2-unit box body that gathers no world.
    ERigidBodyPhysics* Body(const char* name, const Vec3& at, uint32_t level = 0) {
        ObjectRecord* h = Prop(1, 4.0f, {2, 2, 2});
        SetObjectName(h, name);
        SetObjectPosition(h, at);
        RigidBodyPhysicsParams p;
        GetObjectRigidBodyPhysicsParams(h, &p);
        p.bJointOn = 1;
        SetObjectRigidBodyPhysicsParams(h, p);
        ERigidBodyPhysics* b = Add(h);
        if (!b) return nullptr;
        b->m_dwLevel = level;
        b->Activate();
        return b;
    }
    static ObjectRecord* Fixed(const char* name, const Vec3& at) { return Make(OT_MESH, at, name); }

    static Vec3 V(const double* d) { return {float(d[0]), float(d[1]), float(d[2])}; }
    static void ExpectNear(const double* got, const Vec3& want, double tol, const char* what) {
        EXPECT_NEAR(got[0], want.x, tol) << what;
        EXPECT_NEAR(got[1], want.y, tol) << what;
        EXPECT_NEAR(got[2], want.z, tol) << what;
    }
    static Vec3 SocketOf(ObjectRecord* h, const char* socket) {
        Vec3 p;
        EXPECT_TRUE(g_MeshSocketsMgr.GetSocketWorldPosition(h, socket, &p)) << socket;
        return p;
    }
};

// ---- Target, direction and projection ------------------------------------------------------------

struct GeometryCase {
    const char* name;
    uint32_t levelA, levelB;
    Vec3 atB;          // body A stands at (0, 10, 0) with its side anchor at (1, 10, 0)
    Vec3 target;       // expected
    Vec3 direction;    // expected
    Vec3 moveA, moveB; // by the projection
};

class JointGeometryTest : public RigidJointTest, public ::testing::WithParamInterface<GeometryCase> {};

TEST_P(JointGeometryTest, TargetDirectionAndWhoIsProjected) {
    const GeometryCase& c = GetParam();
    ERigidBodyPhysics* A = Body("a", {0, 10, 0}, c.levelA);
    ERigidBodyPhysics* B = Body("b", c.atB, c.levelB);
    ASSERT_TRUE(A && B);
    RigidBodyJoint* j =
        g_RigidBodyJointsMgr.AddJoint(A->m_hObject, "side", B->m_hObject, "bottom", 0, 10.0, "front", "side");
    ASSERT_NE(j, nullptr);
    // The levels of the case, over those the joint gave the pair.
    A->m_dwLevel = c.levelA;
    B->m_dwLevel = c.levelB;
    EXPECT_EQ(g_RigidBodyJointsMgr.UpdateGeometry(), 1u);
    ExpectNear(j->vPointA, {1, 10, 0}, 1e-6, "point A");
    ExpectNear(j->vPointB, c.atB - Vec3(0, 1, 0), 1e-6, "point B");
    ExpectNear(j->vTarget, c.target, 1e-6, "target");
    ExpectNear(j->vDirection, c.direction, 1e-6, "direction");
    ExpectNear(j->vWorldAxisA, {0, 0, 1}, 1e-6, "axis A");
    ExpectNear(j->vWorldAxisB, {1, 0, 0}, 1e-6, "axis B");

    const Vec3 a0 = V(A->m_State.x), b0 = V(B->m_State.x);
    g_RigidBodyJointsMgr.m_bProjectionOn = 1;
    g_RigidBodyJointsMgr.Update();
    ExpectNear(A->m_State.x, a0 + c.moveA, 1e-5, "A moved");
    ExpectNear(B->m_State.x, b0 + c.moveB, 1e-5, "B moved");
}

INSTANTIATE_TEST_SUITE_P(
    Levels, JointGeometryTest,
    ::testing::Values(
        // Anchors (1, 10, 0) and (1, 13, 0).
        GeometryCase{
            "EqualLevelsMeetHalfWayAndNeitherMoves", 0, 0, {1, 14, 0}, {1, 11.5f, 0}, {0, -1, 0}, {}, {}},
        GeometryCase{"LowerAIsTheReference", 0, 1, {1, 14, 0}, {1, 10, 0}, {0, -1, 0}, {}, {0, -3, 0}},
        GeometryCase{"LowerBIsTheReference", 2, 1, {1, 14, 0}, {1, 13, 0}, {0, -1, 0}, {0, 3, 0}, {}},
        // Anchors 0.5 apart: the direction comes from the axes.
        GeometryCase{"CloseTakesAxisB", 0, 0, {1, 11.5f, 0}, {1, 10.25f, 0}, {1, 0, 0}, {}, {}},
        GeometryCase{
            "CloseBelowTakesMinusAxisA", 0, 3, {1, 11.5f, 0}, {1, 10, 0}, {0, 0, -1}, {}, {0, -0.5f, 0}}),
    [](const auto& info) { return std::string(info.param.name); });

// Levels come from the hierarchy: a body held by an object without a body
// is level 0, a body joined to a body one below it; a pair held by nothing
// starts at its first body. Removing a link re-levels what is left.
TEST_F(RigidJointTest, LevelsFollowTheJointHierarchy) {
    ObjectRecord* beam = Fixed("beam", {0, 200, 0});
    ERigidBodyPhysics* a = Body("a", {0, 100, 0}, 7);
    ERigidBodyPhysics* b = Body("b", {0, 90, 0}, 7);
    ERigidBodyPhysics* c = Body("c", {0, 80, 0}, 7);
    ERigidBodyPhysics* d = Body("d", {50, 80, 0}, 7);
    ERigidBodyPhysics* e = Body("e", {50, 70, 0}, 7);
    ASSERT_TRUE(a && b && c && d && e);
    // Added from the bottom up: the levels do not depend on the order.
    ASSERT_NE(
        g_RigidBodyJointsMgr.AddJoint(c->m_hObject, "top", b->m_hObject, "bottom", 0, 10.0, nullptr, nullptr),
        nullptr);
    ASSERT_NE(
        g_RigidBodyJointsMgr.AddJoint(b->m_hObject, "top", a->m_hObject, "bottom", 0, 10.0, nullptr, nullptr),
        nullptr);
    ASSERT_NE(g_RigidBodyJointsMgr.AddJoint(a->m_hObject, "top", beam, "hook", 0, 10.0, nullptr, nullptr),
              nullptr);
    ASSERT_NE(
        g_RigidBodyJointsMgr.AddJoint(e->m_hObject, "top", d->m_hObject, "bottom", 0, 10.0, nullptr, nullptr),
        nullptr);
    EXPECT_EQ(a->m_dwLevel, 0u);
    EXPECT_EQ(b->m_dwLevel, 1u);
    EXPECT_EQ(c->m_dwLevel, 2u);
    EXPECT_EQ(e->m_dwLevel + d->m_dwLevel, 1u); // one of the free pair is the root
    g_RigidBodyJointsMgr.RemoveJoints(a->m_hObject);
    EXPECT_EQ(b->m_dwLevel + c->m_dwLevel, 1u);
}

// The projection moves a body back onto its anchor and takes the speed it
// had along that correction: a body held still carries no falling speed.
TEST_F(RigidJointTest, TheProjectionTakesTheSpeedAlongItsCorrection) {
    ObjectRecord* beam = Fixed("beam", {0, 200, 0});
    ERigidBodyPhysics* b = Body("lamp", {0, 190, 0});
    ASSERT_NE(b, nullptr);
    ASSERT_NE(g_RigidBodyJointsMgr.AddJoint(b->m_hObject, "top", beam, "hook", 0, 10.0, nullptr, nullptr),
              nullptr);
    // Falling 300 units a second, sideways 20.
    b->m_State.P[0] = 20.0 * b->m_State.mass;
    b->m_State.P[1] = -300.0 * b->m_State.mass;
    ERigidBodyPhysics::SetNewState(&b->m_State);
    g_RigidBodyJointsMgr.m_bProjectionOn = 1;
    g_RigidBodyJointsMgr.Update();
    ExpectNear(b->m_State.x, {0, 199, 0}, 1e-6, "held at the hook");
    EXPECT_NEAR(b->m_State.v[1], 0.0, 1e-3); // what the damping leaves
    EXPECT_NEAR(b->m_State.P[1], 0.0, 1e-3);
    EXPECT_GT(b->m_State.v[0], 19.0); // across the correction the speed stays
}

TEST_F(RigidJointTest, AddJointRefusesSameObjectsAndNoBodiesAndFallsBackToUnitAxes) {
    ERigidBodyPhysics* A = Body("a", {0, 10, 0});
    ObjectRecord* f = Fixed("fixed", {0, 0, 0});
    ObjectRecord* g = Fixed("fixed2", {5, 0, 0});
    EXPECT_EQ(
        g_RigidBodyJointsMgr.AddJoint(A->m_hObject, "top", A->m_hObject, "top", 0, 10.0, nullptr, nullptr),
        nullptr);
    EXPECT_EQ(g_RigidBodyJointsMgr.AddJoint(nullptr, nullptr, nullptr, nullptr, 0, 10.0, nullptr, nullptr),
              nullptr);
    EXPECT_EQ(g_RigidBodyJointsMgr.AddJoint(f, "hook", g, "hook", 0, 10.0, nullptr, nullptr), nullptr);
    EXPECT_EQ(g_RigidBodyJointsMgr.NumInUse(), 0u);

    // A short axis socket becomes +z on side A and -z on side B; no name, zero.
    RigidBodyJoint* j =
        g_RigidBodyJointsMgr.AddJoint(A->m_hObject, "top", f, "hook", 0, 10.0, "centre", "hook");
    ASSERT_NE(j, nullptr);
    ExpectNear(j->vAnchorA, {0, 0, 0.5f}, 1e-9, "anchor A as written");
    ExpectNear(j->vOffsetA, {0, 0, 0.5f}, 1e-9, "offset A starts as the anchor");
    ExpectNear(j->vAxisA, {0, 0, 1}, 0, "axis A");
    ExpectNear(j->vAxisB, {0, 0, -1}, 0, "axis B");
    EXPECT_EQ(j->pBodyA, A);
    EXPECT_EQ(j->pBodyB, nullptr);
    EXPECT_EQ(j->bAwake, 1);
    RigidBodyJoint* k =
        g_RigidBodyJointsMgr.AddJoint(A->m_hObject, "top", f, "hook", 0, 10.0, nullptr, nullptr);
    ExpectNear(k->vAxisA, {0, 0, 0}, 0, "no axis A");
    EXPECT_EQ(A->m_pJoints[0], j);
    EXPECT_EQ(A->m_pJoints[1], k);
    // Joints sleep and wake with their bodies.
    A->Deactivate();
    EXPECT_EQ(j->bAwake + k->bAwake, 0);
    EXPECT_EQ(g_RigidBodyJointsMgr.UpdateGeometry(), 0u);
    A->Activate();
    EXPECT_EQ(j->bAwake + k->bAwake, 2);
}

// ---- The joint impulse --------------------------------------------------------------------------

TEST_F(RigidJointTest, ImpulseLeavesNoRelativeSpeedAlongTheDirection) {
    ERigidBodyPhysics* A = Body("a", {0, 10, 0});
    ERigidBodyPhysics* B = Body("b", {2, 13, 1});
    RigidBodyJoint* j =
        g_RigidBodyJointsMgr.AddJoint(A->m_hObject, "side", B->m_hObject, "bottom", 0, 10.0, "front", "side");
    ASSERT_NE(j, nullptr);
    std::mt19937 rng(3);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    for (int i = 0; i < 20; ++i) {
        for (ERigidBodyPhysics* b : {A, B}) {
            RigidBodyState& s = b->m_State;
            for (int k = 0; k < 4; ++k)
                s.q[k] = u(rng);
            for (int k = 0; k < 3; ++k) {
                s.P[k] = 40.0 * u(rng);
                s.L[k] = 30.0 * u(rng);
            }
            ERigidBodyPhysics::SetNewState(&s);
        }
        g_RigidBodyJointsMgr.UpdateGeometry();
        double P0[3];
        for (int k = 0; k < 3; ++k)
            P0[k] = A->m_State.P[k] + B->m_State.P[k];
        ASSERT_TRUE(g_RigidBodyJointsMgr.ApplyJointImpulse(j));
        const double* p = j->vTarget;
        const double* n = j->vDirection;
        double rel = 0.0;
        for (int k = 0; k < 3; ++k) {
            // v + omega x (p - x) on each body, computed here again.
            auto at = [&](const ERigidBodyPhysics* b) {
                const RigidBodyState& s = b->m_State;
                const glm::dvec3 w(s.omega[0], s.omega[1], s.omega[2]);
                const glm::dvec3 r(p[0] - s.x[0], p[1] - s.x[1], p[2] - s.x[2]);
                return glm::dvec3(s.v[0], s.v[1], s.v[2]) + glm::cross(w, r);
            };
            rel += n[k] * (at(A)[k] - at(B)[k]);
        }
        EXPECT_NEAR(rel, 0.0, 1e-9) << i;
        for (int k = 0; k < 3; ++k)
            EXPECT_NEAR(A->m_State.P[k] + B->m_State.P[k], P0[k], 1e-9); // equal and opposite
        EXPECT_NE(j->dImpulse, 0.0);
    }
    // Only kind 0 acts.
    j->dwKind = 1;
    const RigidBodyState before = A->m_State;
    EXPECT_FALSE(g_RigidBodyJointsMgr.ApplyJointImpulse(j));
    EXPECT_EQ(std::memcmp(&before, &A->m_State, sizeof before), 0);
}

TEST_F(RigidJointTest, ThePassLimitsSpinToFiveWithAMatchingMomentum) {
    ERigidBodyPhysics* A = Body("a", {0, 10, 0});
    ObjectRecord* f = Fixed("fixed", {0, 11, 0});
    ASSERT_NE(g_RigidBodyJointsMgr.AddJoint(A->m_hObject, "top", f, "hook", 0, 10.0, "top", "hook"), nullptr);
    RigidBodyState& s = A->m_State;
    const double q[4] = {0.2, -0.4, 0.1, 0.9};
    std::memcpy(s.q, q, sizeof q);
    ERigidBodyPhysics::SetNewState(&s);
    const glm::dquat gq = glm::normalize(glm::dquat(q[3], q[0], q[1], q[2]));
    const glm::dmat3 R = glm::mat3_cast(gq);
    glm::dmat3 Ib(0.0);
    for (int i = 0; i < 3; ++i)
        Ib[i][i] = s.Ibody[i * 4];
    const glm::dmat3 I = R * Ib * glm::transpose(R);
    // A spin of 8 about a tilted axis.
    const glm::dvec3 w0 = glm::normalize(glm::dvec3(1, 2, -0.5)) * 8.0;
    const glm::dvec3 L0 = I * w0;
    for (int k = 0; k < 3; ++k)
        s.L[k] = L0[k];
    ERigidBodyPhysics::SetNewState(&s);
    ASSERT_NEAR(std::sqrt(s.omega[0] * s.omega[0] + s.omega[1] * s.omega[1] + s.omega[2] * s.omega[2]), 8.0,
                1e-9);

    g_RigidBodyJointsMgr.Update();
    const glm::dvec3 w(s.omega[0], s.omega[1], s.omega[2]);
    EXPECT_NEAR(glm::length(w), 5.0, 1e-9);
    const glm::dvec3 L = I * w;
    for (int k = 0; k < 3; ++k)
        EXPECT_NEAR(s.L[k], L[k], 1e-9 * (1.0 + std::fabs(L[k])));
    // The damping and the impulse leave a slower spin alone.
    g_RigidBodyJointsMgr.Update();
    EXPECT_LT(std::sqrt(s.omega[0] * s.omega[0] + s.omega[1] * s.omega[1] + s.omega[2] * s.omega[2]), 5.0);
}

// ---- Lists and the table --------------------------------------------------------------------------

TEST_F(RigidJointTest, RemovingFromAFullListLeavesFortyNineThenANull) {
    ERigidBodyPhysics* hub = Body("hub", {0, 10, 0});
    std::vector<ObjectRecord*> others;
    std::vector<RigidBodyJoint*> joints;
    for (int i = 0; i < 51; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "o%d", i);
        others.push_back(Fixed(name, {float(i), 0, 0}));
        joints.push_back(g_RigidBodyJointsMgr.AddJoint(hub->m_hObject, nullptr, others.back(), nullptr, 0,
                                                       10.0, nullptr, nullptr));
        ASSERT_NE(joints.back(), nullptr);
    }
    // The 51st exists but the full list does not hold it.
    for (int i = 0; i < 50; ++i)
        EXPECT_EQ(hub->m_pJoints[i], joints[size_t(i)]);
    EXPECT_EQ(g_RigidBodyJointsMgr.NumInUse(), 51u);

    g_RigidBodySimulation.RemoveJointsOfObject(others[10]);
    EXPECT_EQ(joints[10]->bInUse, 0);
    for (int i = 0; i < 49; ++i)
        EXPECT_EQ(hub->m_pJoints[i], joints[size_t(i < 10 ? i : i + 1)]) << i;
    EXPECT_EQ(hub->m_pJoints[49], nullptr);
    g_RigidBodySimulation.RemoveJointsOfObject(nullptr); // nothing
    EXPECT_EQ(g_RigidBodyJointsMgr.NumInUse(), 50u);
}

TEST_F(RigidJointTest, TheThousandAndFirstJointIsRefused) {
    ERigidBodyPhysics* hub = Body("hub", {0, 10, 0});
    ObjectRecord* f = Fixed("fixed", {0, 0, 0});
    for (uint32_t i = 0; i < ERigidBodyJointsMgr::MAX_RIGIDBODY_JOINTS; ++i)
        ASSERT_NE(
            g_RigidBodyJointsMgr.AddJoint(hub->m_hObject, nullptr, f, nullptr, 0, 10.0, nullptr, nullptr),
            nullptr)
            << i;
    MarkConsole();
    EXPECT_EQ(g_RigidBodyJointsMgr.AddJoint(hub->m_hObject, nullptr, f, nullptr, 0, 10.0, nullptr, nullptr),
              nullptr);
    EXPECT_TRUE(PrintedLine("ERROR in ERigidBodyJointsMgr::AddJoint(): MAX_RIGIDBODY_JOINTS exceeded!"));
    // The pass copes with every joint awake: each names the same two objects.
    g_RigidBodyJointsMgr.Update();
    g_RigidBodySimulation.RemoveJointsOfObject(f);
    EXPECT_EQ(g_RigidBodyJointsMgr.NumInUse(), 0u);
    EXPECT_EQ(g_RigidBodyJointsMgr.HighWater(), 0u);
    EXPECT_EQ(hub->m_pJoints[0], nullptr);
}

TEST_F(RigidJointTest, ThePassReachesEveryBodyWhenTheJointsNameMoreThanAThousandObjects) {
    // 500 spinning bodies, each held to two objects of its own: a full table
    // naming 1500 distinct objects, the last bodies listed far beyond the
    // thousandth place.
    std::vector<ERigidBodyPhysics*> bodies;
    for (int i = 0; i < 500; ++i) {
        ERigidBodyPhysics* b = Body("spinner", {float(i % 25) * 8.0f, 500, float(i / 25) * 8.0f});
        ASSERT_NE(b, nullptr) << i;
        b->m_State.L[1] = 1000.0;
        ERigidBodyPhysics::SetNewState(&b->m_State);
        ASSERT_GT(std::fabs(b->m_State.omega[1]), 6.0);
        for (int k = 0; k < 2; ++k)
            ASSERT_NE(g_RigidBodyJointsMgr.AddJoint(b->m_hObject, nullptr, Fixed("holder", {0, 0, 0}),
                                                    nullptr, 0, 10.0, nullptr, nullptr),
                      nullptr);
        bodies.push_back(b);
    }
    ASSERT_EQ(g_RigidBodyJointsMgr.NumInUse(), ERigidBodyJointsMgr::MAX_RIGIDBODY_JOINTS);
    g_RigidBodyJointsMgr.Update();
    for (size_t i = 0; i < bodies.size(); ++i) {
        const double* w = bodies[i]->m_State.omega;
        EXPECT_LE(std::sqrt(w[0] * w[0] + w[1] * w[1] + w[2] * w[2]), 5.0 + 1e-9) << i;
    }
}

// ---- Moving a body -----------------------------------------------------------------------------

struct MoveCase {
    const char* name;
    float from, to, expect; // x of the body; a wall stands in the plane x = 30
};

class MoveBodyToTest : public RigidJointTest, public ::testing::WithParamInterface<MoveCase> {};

TEST_P(MoveBodyToTest, FullHalfOrNoneAsCollisionsAllow) {
    const MoveCase& c = GetParam();
    coltest::Subset wall;
    const Vec3 a{30, -8, -64}, b{30, 64, -64}, d{30, 64, 64}, e{30, -8, 64};
    wall.push_back({a, d, b});
    wall.push_back({a, e, d});
    coltest::WriteMesh(dir_ / "models" / "wall.x", {wall});
    AddObjectParams p;
    p.dwType = OT_MESH;
    std::snprintf(p.szFileName, sizeof p.szFileName, "%s", "models\\wall.x");
    p.dwFlags = 13;
    ASSERT_NE(g_Engine.AddObject(p), nullptr);

    ObjectRecord* h = Prop(1, 4.0f, {2, 2, 2});
    SetObjectPosition(h, {c.from, 20, 0});
    ERigidBodyPhysics* body = Add(h);
    ASSERT_NE(body, nullptr);
    body->m_State.P[0] = 3.0;
    const RigidBodyState before = body->m_State;
    const double to[3] = {c.to, 20, 0};
    g_RigidBodyJointsMgr.MoveBodyTo(body, to);
    EXPECT_NEAR(body->m_State.x[0], c.expect, 1e-6);
    RigidBodyState rest = body->m_State;
    std::memcpy(rest.x, before.x, sizeof rest.x);
    EXPECT_EQ(std::memcmp(&rest, &before, sizeof rest), 0); // nothing else changes
}

INSTANTIATE_TEST_SUITE_P(Moves, MoveBodyToTest,
                         ::testing::Values(MoveCase{"Free", 20, 25, 25}, MoveCase{"HalfWay", 20, 30, 25},
                                           MoveCase{"NotAtAll", 28.5f, 30.2f, 28.5f}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- Hanging ---------------------------------------------------------------------------------------

TEST_F(RigidJointTest, ABodyHangsAtTheSocketOfAMovingObject) {
    ObjectRecord* anchor = Fixed("anchor", {0, 100, 0});
    SetObjectScale(anchor, {0.5f, 0.5f, 0.5f});
    ObjectRecord* h = Prop(1, 4.0f, {2, 2, 2});
    SetObjectName(h, "lamp");
    SetObjectPosition(h, {16, 100, 16}); // the corner socket of the scaled anchor is at (16, 132, 16)
    RigidBodyPhysicsParams p;
    GetObjectRigidBodyPhysicsParams(h, &p);
    p.bJointOn = 1;
    std::snprintf(p.szJointToObject, sizeof p.szJointToObject, "%s", "anchor");
    std::snprintf(p.szJointMySocket, sizeof p.szJointMySocket, "%s", "top");
    std::snprintf(p.szJointObjectSocket, sizeof p.szJointObjectSocket, "%s", "corner");
    SetObjectRigidBodyPhysicsParams(h, p);
    ERigidBodyPhysics* b = Add(h);
    ASSERT_NE(b, nullptr);
    ASSERT_NE(b->m_pJoints[0], nullptr);
    b->Activate();

    g_RigidBodyJointsMgr.m_bProjectionOn = 1;
    const double dt = 1.0 / 60.0;
    for (int i = 0; i < 240; ++i) {
        // The anchor circles and turns.
        const float t = float(i) * float(dt);
        SetObjectPosition(anchor, {40.0f * std::sin(t), 100.0f + 10.0f * t, 40.0f * std::cos(t)});
        orientation o;
        o.InitYawPitchRoll(t, 0.3f * t, 0.0f);
        SetObjectOrientation(anchor, o);

        RigidBodyState next;
        b->Integrate(b->m_State.t, b->m_State.t + dt, &next, false);
        b->SetState(&next, true);
        g_RigidBodyJointsMgr.Update();
        b->UpdateObject();
        // The body's top socket and the anchor's corner socket coincide.
        const Vec3 mine = SocketOf(h, "top"), theirs = SocketOf(anchor, "corner");
        ASSERT_LT(math::Vec3Length(mine - theirs), 1e-3f) << i;
    }
    // Gravity was pulling all along: only the joint held it.
    EXPECT_GT(b->m_State.x[1], 100.0);
}

TEST_F(RigidJointTest, TheSimulationsFramesKeepAJointedBodyAtItsHoldersSocket) {
    // A jointed body gathers no world: only the projection of the
    // simulation's joint passes keeps it from falling.
    ObjectRecord* anchor = Fixed("anchor", {0, 100, 0});
    SetObjectScale(anchor, {0.5f, 0.5f, 0.5f});
    ObjectRecord* h = Prop(1, 4.0f, {2, 2, 2});
    SetObjectName(h, "lamp");
    SetObjectPosition(h, {16, 131, 16}); // its top half a unit below the corner socket
    RigidBodyPhysicsParams p;
    GetObjectRigidBodyPhysicsParams(h, &p);
    p.bJointOn = 1;
    std::snprintf(p.szJointToObject, sizeof p.szJointToObject, "%s", "anchor");
    std::snprintf(p.szJointMySocket, sizeof p.szJointMySocket, "%s", "top");
    std::snprintf(p.szJointObjectSocket, sizeof p.szJointObjectSocket, "%s", "corner");
    SetObjectRigidBodyPhysicsParams(h, p);
    ERigidBodyPhysics* b = Add(h);
    ASSERT_NE(b, nullptr);
    ASSERT_EQ(b->m_Params.bDisableAllCollisions, 1);
    b->Activate();
    g_Engine.m_fFrameTime = 1.0f / 60.0f;
    for (int frame = 0; frame < 120; ++frame) {
        g_RigidBodySimulation.Simulate();
        ASSERT_EQ(g_RigidBodyJointsMgr.m_bProjectionOn, 0) << frame; // on for the passes alone
        ASSERT_LT(math::Vec3Length(SocketOf(h, "top") - SocketOf(anchor, "corner")), 1e-3f) << frame;
    }
    g_Engine.m_fFrameTime = 0.0f;
    EXPECT_EQ(b->m_bActive, 1);
}

// A link held at its top and let go tilted swings down through the
// hanging pose and back, as a pendulum, instead of keeping its tilt.
TEST_F(RigidJointTest, ALinkLetGoTiltedSwingsThroughTheHangingPose) {
    ASSERT_TRUE(Fixed("anchor", {0, 100, 0}));
    ObjectRecord* h = Prop(1, 6.0f, {16, 16, 16});
    SetObjectName(h, "link");
    // Turned 60 degrees about z around its top socket at the hook (0, 100, 0).
    const float tilt = 60.0f * 3.14159265f / 180.0f;
    orientation o;
    o.InitYawPitchRoll(0.0f, 0.0f, tilt);
    SetObjectOrientation(h, o);
    SetObjectPosition(h, {0, 100, 0});
    const Vec3 off = SocketOf(h, "top") - Vec3{0, 100, 0};
    SetObjectPosition(h, Vec3{0, 100, 0} - off);
    RigidBodyPhysicsParams p;
    GetObjectRigidBodyPhysicsParams(h, &p);
    p.bJointOn = 1;
    std::snprintf(p.szJointToObject, sizeof p.szJointToObject, "%s", "anchor");
    std::snprintf(p.szJointMySocket, sizeof p.szJointMySocket, "%s", "top");
    std::snprintf(p.szJointObjectSocket, sizeof p.szJointObjectSocket, "%s", "hook");
    SetObjectRigidBodyPhysicsParams(h, p);
    ERigidBodyPhysics* b = Add(h);
    ASSERT_NE(b, nullptr);
    b->Activate();
    g_Engine.m_fFrameTime = 1.0f / 60.0f;
    const double startX = b->m_State.x[0];
    double lowest = b->m_State.x[1], farSide = startX;
    for (int frame = 0; frame < 120; ++frame) {
        g_RigidBodySimulation.Simulate();
        const RigidBodyState& s = b->m_State;
        ASSERT_LT(math::Vec3Length(SocketOf(h, "top") - Vec3{0, 100, 0}), 0.5f) << frame;
        lowest = std::min(lowest, s.x[1]);
        farSide = startX > 0 ? std::min(farSide, s.x[0]) : std::max(farSide, s.x[0]);
    }
    g_Engine.m_fFrameTime = 0.0f;
    EXPECT_LT(lowest, 100.0 - 7.5) << "down through the hanging pose";
    EXPECT_LT(farSide * startX, 0.0) << "over to the other side";
}

// ---- Joints asked for by the settings ------------------------------------------------------------

TEST_F(RigidJointTest, SettingsJoinOnAddAndRemovingEitherSideUnjoins) {
    ObjectRecord* beam = Fixed("beam", {0, 200, 0});
    ERigidBodyPhysics* first = Body("first", {0, 190, 0});
    ASSERT_NE(first, nullptr);
    // The second link joins the first at creation.
    ObjectRecord* h = Prop(1, 2.0f, {2, 2, 2});
    SetObjectName(h, "second");
    SetObjectPosition(h, {0, 186, 0});
    RigidBodyPhysicsParams p;
    GetObjectRigidBodyPhysicsParams(h, &p);
    p.bJointOn = 1;
    std::memcpy(p.szJointToObject, "first\0", 6);
    std::snprintf(p.szJointMySocket, sizeof p.szJointMySocket, "%s", "top");
    std::snprintf(p.szJointObjectSocket, sizeof p.szJointObjectSocket, "%s", "bottom");
    SetObjectRigidBodyPhysicsParams(h, p);
    ERigidBodyPhysics* second = Add(h);
    ASSERT_NE(second, nullptr);
    RigidBodyJoint* j = second->m_pJoints[0];
    ASSERT_NE(j, nullptr);
    EXPECT_EQ(first->m_pJoints[0], j);
    EXPECT_EQ(j->hObjectA, h);
    EXPECT_EQ(j->hObjectB, first->m_hObject);
    EXPECT_EQ(j->pBodyA, second);
    EXPECT_EQ(j->pBodyB, first);
    EXPECT_EQ(j->dwKind, 0u);
    EXPECT_EQ(j->dKept, 10.0);
    ExpectNear(j->vAnchorA, {0, 0, 0.5f}, 1e-9, "my socket");
    ExpectNear(j->vAnchorB, {0, 0, -0.5f}, 1e-9, "the other's socket");
    ExpectNear(j->vAxisA, {0, 0, 0.5f}, 1e-9, "the sockets name the axes too");
    ExpectNear(j->vAxisB, {0, 0, -0.5f}, 1e-9, "the sockets name the axes too");

    // A name that finds no object makes no joint.
    ObjectRecord* lone = Prop(1, 2.0f, {2, 2, 2});
    SetObjectName(lone, "lone");
    GetObjectRigidBodyPhysicsParams(lone, &p);
    p.bJointOn = 1;
    std::snprintf(p.szJointToObject, sizeof p.szJointToObject, "%s", "nobody");
    SetObjectRigidBodyPhysicsParams(lone, p);
    ERigidBodyPhysics* l = Add(lone);
    ASSERT_NE(l, nullptr);
    EXPECT_EQ(l->m_pJoints[0], nullptr);

    // Removing the first body removes the joint from the second's list.
    g_RigidBodySimulation.RemoveBody(g_RigidBodySimulation.SlotOf(first->m_hObject->dwRigidBody));
    EXPECT_EQ(j->bInUse, 0);
    EXPECT_EQ(second->m_pJoints[0], nullptr);

    // An object without a body takes its joints with it when it is deleted.
    RigidBodyJoint* k = g_RigidBodyJointsMgr.AddJoint(h, "top", beam, "hook", 0, 10.0, nullptr, nullptr);
    ASSERT_NE(k, nullptr);
    EXPECT_EQ(second->m_pJoints[0], k);
    g_Engine.DeleteObject(beam);
    EXPECT_EQ(k->bInUse, 0);
    EXPECT_EQ(second->m_pJoints[0], nullptr);
    EXPECT_EQ(g_RigidBodyJointsMgr.NumInUse(), 0u);
}

} // namespace
