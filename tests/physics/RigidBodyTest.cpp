// The rigid body and the simulation's slots: the integrator's worked cases and
// impulses on bare bodies, the save block at its offsets, then bodies created
// from world objects (inertia, presets, construction objects, hull records),
// activation, slots and references, box gaps and NO COLLISION markers.
#include <gtest/gtest.h>

#include <string>

#include <iterator>

#include <glm/glm.hpp>
#include <glm/gtc/quaternion.hpp>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <utility>
#include <vector>

#include "physics/CollisionMgr.h"
#include "physics/RigidBodyParametersMgr.h"
#include "physics/RigidBodySimulation.h"
#include "render/Mesh.h"
#include "skinmesh/SkinMesh.h"
#include "sound/SoundMgr.h"
#include "tests/physics/RigidBodyFixture.h"

namespace {

namespace fs = std::filesystem;

constexpr double kG = 9.81 * 64.0;

// A body at rest at the origin, in use and awake, mass 2, identity tensors.
void MakeBareBody(ERigidBodyPhysics& b) {
    b.m_bInUse = 1;
    b.m_bActive = 1;
    RigidBodyState& s = b.m_State;
    s = RigidBodyState{};
    s.mass = 2.0;
    s.q[3] = 1.0;
    for (int i = 0; i < 9; i += 4)
        s.Ibody[i] = s.Ibodyinv[i] = 1.0;
    ERigidBodyPhysics::SetNewState(&s);
}

// ---- Integration -------------------------------------------------------------------

struct StepCase {
    double h;
    bool adaptive;
    double err;
    double reached; // out's t
    double y;       // out's x.y
    double Py;      // out's P.y
};

class IntegrateTest : public ::testing::TestWithParam<StepCase> {
  protected:
    void TearDown() override { b.m_bInUse = 0; }
    ERigidBodyPhysics b;
};

TEST_P(IntegrateTest, BodyAtRestUnderGravity) {
    const StepCase& c = GetParam();
    MakeBareBody(b);
    const RigidBodyState before = b.m_State;
    RigidBodyState out{};
    b.Integrate(1.0, 1.0 + c.h, &out, c.adaptive);
    EXPECT_NEAR(b.LastIntegrationError(), c.err, 1e-9);
    EXPECT_NEAR(out.t, c.reached, 1e-6);
    EXPECT_NEAR(out.x[1], c.y, 1e-9);
    EXPECT_NEAR(out.P[1], c.Py, 1e-9);
    EXPECT_DOUBLE_EQ(out.force[1], 2.0 * -kG);
    // The body's own state is restored whatever the outcome.
    EXPECT_EQ(std::memcmp(&b.m_State, &before, sizeof before), 0);
}

const double kShort = 0.1 * std::sqrt(0.08 / 1.5696);
INSTANTIATE_TEST_SUITE_P(WorkedCases, IntegrateTest,
                         ::testing::Values(
                             // Two half steps: x falls by g h^2 / 4 while the full step leaves it.
                             StepCase{0.1, false, kG * 0.01 / 4, 1.1, -kG * 0.01 / 4, 2.0 * -kG * 0.1},
                             // Too large an error: one shorter step ending at t0 + 0.022576.
                             StepCase{0.1, true, 1.5696, 1.0 + kShort, 0.0, 2.0 * -kG* kShort},
                             StepCase{0.01, true, 0.015696, 1.01, -kG * 0.0001 / 4, 2.0 * -kG * 0.01},
                             // No time: the current state re-derived, carrying the gravity force.
                             StepCase{0.0, true, 0.0, 1.0, 0.0, 0.0}));

TEST(RigidBodyIntegrate, BackwardsLeavesOutUntouched) {
    ERigidBodyPhysics b;
    MakeBareBody(b);
    RigidBodyState out;
    std::memset(&out, 0x5A, sizeof out);
    RigidBodyState copy = out;
    b.Integrate(1.0, 0.5, &out, true);
    EXPECT_EQ(std::memcmp(&out, &copy, sizeof out), 0);
    b.Integrate(0.0, 0.1, nullptr, true); // nothing happens
    b.m_bInUse = 0;
    b.Integrate(0.0, 0.1, &out, true); // not in use: nothing happens
    EXPECT_EQ(std::memcmp(&out, &copy, sizeof out), 0);
}

TEST(RigidBodyIntegrate, ErrorIsOneSignedSumSoOppositeDifferencesCancel) {
    RigidBodyState a{}, b{};
    b.x[0] = 0.05;
    b.L[2] = -0.05;
    EXPECT_DOUBLE_EQ(ERigidBodyPhysics::IntegrationError(a, b), 0.0);
    b.L[2] = 0.05;
    EXPECT_DOUBLE_EQ(ERigidBodyPhysics::IntegrationError(a, b), 0.1);
    b.q[3] = -0.3; // every primary value counts, the quaternion too
    EXPECT_NEAR(ERigidBodyPhysics::IntegrationError(a, b), 0.2, 1e-12);
    b.R[0] = 7.0; // derived values do not
    EXPECT_NEAR(ERigidBodyPhysics::IntegrationError(a, b), 0.2, 1e-12);
}

// ---- Derived state and impulses ------------------------------------------------------

TEST(RigidBodyState, RotationAndWorldInertiaAgreeWithGlm) {
    RigidBodyState s{};
    s.mass = 4.0;
    const double q[4] = {0.3, -0.5, 0.2, 0.7}; // not unit: SetNewState normalises
    std::memcpy(s.q, q, sizeof q);
    const double Ibodyinv[9] = {0.5, 0.0, 0.0, 0.0, 0.25, 0.0, 0.0, 0.0, 0.125};
    std::memcpy(s.Ibodyinv, Ibodyinv, sizeof Ibodyinv);
    s.P[0] = 8.0;
    s.L[0] = 1.0;
    s.L[1] = 2.0;
    s.L[2] = 3.0;
    ERigidBodyPhysics::SetNewState(&s);

    const glm::dquat gq = glm::normalize(glm::dquat(q[3], q[0], q[1], q[2]));
    const glm::dmat3 R = glm::mat3_cast(gq); // column-major: R[col][row]
    glm::dmat3 Ib(0.0);
    Ib[0][0] = 0.5;
    Ib[1][1] = 0.25;
    Ib[2][2] = 0.125;
    const glm::dmat3 Iinv = R * Ib * glm::transpose(R);
    const glm::dvec3 omega = Iinv * glm::dvec3(1, 2, 3);
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) {
            EXPECT_NEAR(s.R[r * 3 + c], R[c][r], 1e-12) << r << c;
            EXPECT_NEAR(s.Iinv[r * 3 + c], Iinv[c][r], 1e-12) << r << c;
        }
        EXPECT_NEAR(s.omega[r], omega[r], 1e-12);
    }
    EXPECT_DOUBLE_EQ(s.v[0], 2.0);
    EXPECT_NEAR(s.q[0] * s.q[0] + s.q[1] * s.q[1] + s.q[2] * s.q[2] + s.q[3] * s.q[3], 1.0, 1e-15);
}

TEST(RigidBodyImpulse, ActsAtThePointOnAnAwakeBodyOnly) {
    ERigidBodyPhysics b;
    MakeBareBody(b);
    b.m_State.x[0] = 10.0;
    const double p[3] = {10.0, 2.0, 0.0}, J[3] = {4.0, 0.0, 0.0};
    b.ApplyImpulse(p, J);
    EXPECT_DOUBLE_EQ(b.m_State.P[0], 4.0);
    EXPECT_DOUBLE_EQ(b.m_State.L[2], -8.0); // r = (0, 2, 0), r x J = (0, 0, -8)
    EXPECT_DOUBLE_EQ(b.m_State.v[0], 2.0);
    EXPECT_DOUBLE_EQ(b.m_State.omega[2], -8.0);

    b.m_bActive = 0;
    const RigidBodyState before = b.m_State;
    b.ApplyImpulse(p, J);
    EXPECT_EQ(std::memcmp(&b.m_State, &before, sizeof before), 0);
    b.m_bInUse = 0;
}

// ---- The save block -------------------------------------------------------------------

TEST(RigidBodyBlock, FieldsAtTheirOffsetsAndBack) {
    ERigidBodyPhysics b;
    MakeBareBody(b);
    b.m_State.t = 0.25;
    b.m_State.x[1] = -7.5;
    b.m_dAge = 1.5;
    b.m_dwSteps = 77;
    b.m_Params.iShape = 3;
    b.m_Params.fMass = 12.0f;
    b.m_bSoundWaiting = 1;
    b.m_dSilenceTimer = 0.75;
    for (int i = 0; i < 4; ++i)
        b.m_dTimers[i] = 10.0 + i;
    for (int k = 0; k < 3; ++k) {
        b.m_vLocalMin[k] = -5.0 - k;
        b.m_vLocalMax[k] = 5.0 + k;
        b.m_vGatheredMin[k] = -1.0f - float(k);
        b.m_vGatheredMax[k] = 1.0f + float(k);
        b.m_fScale[k] = 2.0f + float(k);
    }
    uint8_t block[ERigidBodyPhysics::SAVE_BLOCK_SIZE];
    b.WriteBlock(block);
    auto d = [&](size_t off) {
        double v;
        std::memcpy(&v, block + off, 8);
        return v;
    };
    auto f = [&](size_t off) {
        float v;
        std::memcpy(&v, block + off, 4);
        return v;
    };
    uint32_t u;
    int32_t shape;
    EXPECT_EQ(block[0], 1);
    EXPECT_EQ(d(1), 0.25);
    EXPECT_EQ(d(1 + offsetof(RigidBodyState, x) + 8), -7.5);
    EXPECT_EQ(d(1 + 8), 2.0); // mass
    EXPECT_EQ(block[521], 1);
    EXPECT_EQ(d(522), 1.5);
    std::memcpy(&u, block + 530, 4);
    EXPECT_EQ(u, 77u);
    std::memcpy(&shape, block + 534, 4);
    EXPECT_EQ(shape, 3);
    EXPECT_EQ(f(534 + 4), 12.0f);
    EXPECT_EQ(block[2918], 1);
    EXPECT_EQ(d(2919), 0.75);
    EXPECT_EQ(d(2927), 10.0);
    EXPECT_EQ(d(2927 + 24), 13.0);
    EXPECT_EQ(block[2959], 0);
    EXPECT_EQ(d(2960), -5.0);
    EXPECT_EQ(d(2984 + 16), 7.0);
    EXPECT_EQ(f(3008 + 8), -3.0f);
    EXPECT_EQ(f(3020), 1.0f);
    EXPECT_EQ(f(3032 + 8), 4.0f);

    ERigidBodyPhysics c;
    c.m_bExclusionPending = 0;
    c.m_dwNumExcluded = 3;
    c.ReadBlock(block);
    uint8_t again[ERigidBodyPhysics::SAVE_BLOCK_SIZE];
    c.WriteBlock(again);
    EXPECT_EQ(std::memcmp(block, again, sizeof block), 0);
    EXPECT_EQ(c.m_dwNumExcluded, 0u);
    EXPECT_EQ(c.m_bExclusionPending, 1);
    b.m_bInUse = c.m_bInUse = 0;
}

// ---- Bodies of world objects ------------------------------------------------------------

TEST_F(RigidBodyWorldTest, ZeroQuaternionIsReportedAndGivesTheIdentity) {
    MarkConsole();
    RigidBodyState s{};
    s.mass = 1.0;
    ERigidBodyPhysics::SetNewState(&s);
    EXPECT_TRUE(PrintedLine("ERROR in ERigidBodyPhysics::SetNewState(): dQLen==0 !!!"));
    const double identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    for (int i = 0; i < 9; ++i)
        EXPECT_DOUBLE_EQ(s.R[i], identity[i]);
    for (double c : s.q)
        EXPECT_DOUBLE_EQ(c, 0.0);
    ERigidBodyPhysics::SetNewState(nullptr); // nothing
}

struct InertiaCase {
    int shape;
    double diag[3]; // for mass 3 and size (2, 4, 6)
};

class InertiaTest : public RigidBodyWorldTest, public ::testing::WithParamInterface<InertiaCase> {};

TEST_P(InertiaTest, AnalyticTensorOfTheScaledBox) {
    const InertiaCase& c = GetParam();
    ERigidBodyPhysics* b = Add(Prop(c.shape, 3.0f));
    ASSERT_NE(b, nullptr);
    for (int i = 0; i < 3; ++i) {
        EXPECT_NEAR(b->m_State.Ibody[i * 4], c.diag[i], 1e-5) << i;
        EXPECT_NEAR(b->m_State.Ibodyinv[i * 4], 1.0 / c.diag[i], 1e-5) << i;
    }
    for (int i : {1, 2, 3, 5, 6, 7})
        EXPECT_EQ(b->m_State.Ibody[i], 0.0);
}

INSTANTIATE_TEST_SUITE_P(Shapes, InertiaTest,
                         ::testing::Values(
                             // Box: m/12 (H^2 + D^2, W^2 + D^2, W^2 + H^2).
                             InertiaCase{1, {3.0 / 12 * 52, 3.0 / 12 * 40, 3.0 / 12 * 20}},
                             // Cylinder about y, r = W/2 = 1, H = 4; D = 6 is not used.
                             InertiaCase{2, {3.0 * (0.25 + 16.0 / 12), 3.0 * 0.5, 3.0 * (0.25 + 16.0 / 12)}},
                             // Ellipsoid with semi-axes 1, 2, 3.
                             InertiaCase{3, {3.0 / 5 * 13, 3.0 / 5 * 10, 3.0 / 5 * 5}}));

TEST_F(RigidBodyWorldTest, MeshTensorsScaledByMass) {
    double unit[9], unitInv[9];
    ASSERT_TRUE(g_RigidBodyParametersMgr.GetInertiaTensor("models\\l_prop.x", unit, unitInv));
    ObjectRecord* h = Prop(4, 5.0f, {1, 1, 1}, "models\\l_prop.x");
    RigidBodyPhysicsParams p;
    GetObjectRigidBodyPhysicsParams(h, &p);
    std::snprintf(p.szConstructionPrefabFileName, sizeof p.szConstructionPrefabFileName, "models\\l_prop.x");
    SetObjectRigidBodyPhysicsParams(h, p);
    ERigidBodyPhysics* b = Add(h);
    ASSERT_NE(b, nullptr);
    for (int i = 0; i < 9; ++i) {
        EXPECT_NEAR(b->m_State.Ibody[i], unit[i] * 5.0, 1e-9 + std::fabs(unit[i]) * 1e-12);
        EXPECT_NEAR(b->m_State.Ibodyinv[i], unitInv[i] / 5.0, 1e-9 + std::fabs(unitInv[i]) * 1e-12);
    }
    // The hull is the welded vertex set of the record.
    RigidBodyParameters* r = nullptr;
    ASSERT_TRUE(g_RigidBodyParametersMgr.FindParameters("models\\l_prop.x", &r));
    EXPECT_EQ(b->m_iNumParticles, r->num_new_vertices);
    EXPECT_LT(b->m_iNumParticles, r->num_old_vertices);
}

TEST_F(RigidBodyWorldTest, ConstructionObjectNameFlagsAndPose) {
    ObjectRecord* h = Prop(1, 3.0f);
    SetObjectPosition(h, {10, 20, 30});
    ERigidBodyPhysics* b = Add(h);
    ASSERT_NE(b, nullptr);
    ObjectRecord* co = b->m_hConstructionObj;
    ASSERT_NE(co, nullptr);
    EXPECT_STREQ(co->szName, "physics_for_prop");
    EXPECT_EQ(co->dwFlags, 140u);
    EXPECT_EQ(co->dwFlags2, 0x18001040u);
    EXPECT_EQ(h->dwFlags & 4u, 0u); // the visible object's faces are no longer gathered
    EXPECT_FLOAT_EQ(co->vPosition.x, 10);
    EXPECT_FLOAT_EQ(co->vScale.z, 6);
    EXPECT_DOUBLE_EQ(b->m_State.x[1], 20);
    EXPECT_STREQ(b->m_Params.szConstructionPrefabFileName, "prefabs\\special\\rigidbody_box.x");
    // Every particle lies on the scaled box, and the hull faces outwards.
    ASSERT_GT(b->m_iNumParticles, 0u);
    for (uint32_t i = 0; i < b->m_iNumParticles; ++i) {
        EXPECT_DOUBLE_EQ(std::fabs(b->m_pParticles[i].vBody[0]), 1.0);
        EXPECT_DOUBLE_EQ(std::fabs(b->m_pParticles[i].vBody[2]), 3.0);
    }
    EXPECT_EQ(b->m_vLocalMax[0], std::sqrt(1.0 + 4.0 + 9.0) + 1.0);
    EXPECT_NE(b->m_pFinder, nullptr);
    // Slot references: the construction object's second, the object's first.
    EXPECT_EQ(co->dwRigidBody, 0u);
    EXPECT_EQ(co->dwRigidBody2, h->dwRigidBody);
    EXPECT_EQ(h->dwRigidBody2, 0u);
}

TEST_F(RigidBodyWorldTest, NoPhysicsCollisionsGiveFlags128) {
    ObjectRecord* h = Prop(1, 3.0f);
    RigidBodyPhysicsParams p;
    GetObjectRigidBodyPhysicsParams(h, &p);
    p.bDisableCollisionsWithOtherPhysics = 1;
    SetObjectRigidBodyPhysicsParams(h, p);
    ERigidBodyPhysics* b = Add(h);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->m_hConstructionObj->dwFlags, 128u);
}

TEST_F(RigidBodyWorldTest, PresetsAreWrittenBackToTheObject) {
    ObjectRecord* box = Prop(4, 3.0f);
    RigidBodyPhysicsParams p;
    GetObjectRigidBodyPhysicsParams(box, &p);
    p.bBoxPreset = 1;
    p.fFrictionCoef = 0.3f;
    SetObjectRigidBodyPhysicsParams(box, p);
    ERigidBodyPhysics* b = Add(box);
    ASSERT_NE(b, nullptr);
    RigidBodyPhysicsParams back;
    GetObjectRigidBodyPhysicsParams(box, &back);
    EXPECT_EQ(back.iShape, 1);
    EXPECT_FLOAT_EQ(back.fFrictionCoef, 1.0f);
    EXPECT_EQ(back.bCollideWithPlayer, 0);
    EXPECT_EQ(back.bReactAfterBulletHit, 0);
    EXPECT_EQ(back.bReactAfterExplosion, 0);
    EXPECT_EQ(b->m_hConstructionObj->dwFlags & 4u, 0u);

    ObjectRecord* ball = Prop(0, 3.0f);
    GetObjectRigidBodyPhysicsParams(ball, &p);
    p.bSpherePreset = 1;
    SetObjectRigidBodyPhysicsParams(ball, p);
    ASSERT_NE(Add(ball), nullptr);
    GetObjectRigidBodyPhysicsParams(ball, &back);
    EXPECT_EQ(back.iShape, 3);
    EXPECT_FLOAT_EQ(back.fFrictionCoef, 0.62f);
    EXPECT_EQ(back.bCollideWithPlayer, 0);
}

TEST_F(RigidBodyWorldTest, JointOnDisablesAllCollisions) {
    ObjectRecord* h = Prop(1, 3.0f);
    RigidBodyPhysicsParams p;
    GetObjectRigidBodyPhysicsParams(h, &p);
    p.bJointOn = 1;
    SetObjectRigidBodyPhysicsParams(h, p);
    ERigidBodyPhysics* b = Add(h);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->m_Params.bDisableAllCollisions, 1);
    EXPECT_EQ(b->m_hConstructionObj->dwFlags & 4u, 0u);
}

TEST_F(RigidBodyWorldTest, RefusedCreations) {
    ERigidBodyPhysics b;
    EXPECT_FALSE(b.Create(nullptr));
    EXPECT_FALSE(b.Create(Make(OT_LIGHT)));
    EXPECT_FALSE(b.Create(Prop(0, 3.0f)));
    ObjectRecord* h = Prop(1, 3.0f);
    g_Engine.m_bReducedRenderMode = 1;
    EXPECT_FALSE(b.Create(h));
    EXPECT_EQ(g_RigidBodySimulation.AddBody(h), nullptr);
    g_Engine.m_bReducedRenderMode = 0;
    EXPECT_TRUE(b.Create(h));
    b.Release();
}

class BadMassTest : public RigidBodyWorldTest, public ::testing::WithParamInterface<float> {};

TEST_P(BadMassTest, GivesTheDefaultMassAndKeepsTheSettings) {
    ObjectRecord* h = Prop(1, GetParam());
    MarkConsole();
    ERigidBodyPhysics* b = Add(h);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->m_State.mass, 8.0);
    EXPECT_TRUE(Printed("replaced by 8"));
    RigidBodyPhysicsParams p;
    GetObjectRigidBodyPhysicsParams(h, &p);
    EXPECT_TRUE(!(p.fMass > 0.0f));
    // An impulse gives finite motion.
    b->Activate();
    const double point[3] = {0, 0, 0}, J[3] = {8, 0, 0};
    b->ApplyImpulse(point, J);
    EXPECT_DOUBLE_EQ(b->m_State.v[0], 1.0);
}
INSTANTIATE_TEST_SUITE_P(Masses, BadMassTest, ::testing::Values(0.0f, -2.0f, NAN));

TEST_F(RigidBodyWorldTest, StaleInertiaRecordIsComputedAgain) {
    ObjectRecord* probe = Prop(1, 3.0f);
    ERigidBodyPhysics* first = Add(probe);
    ASSERT_NE(first, nullptr);
    const uint32_t vertices = g_CollisionMgr.GetEntry(first->m_hConstructionObj)->dwNumVertices;
    RigidBodyParameters* rec = nullptr;
    ASSERT_TRUE(g_RigidBodyParametersMgr.FindParameters("prefabs\\special\\rigidbody_box.x", &rec));
    // A record whose maps belong to a mesh of 5 vertices, as a stale file says.
    rec->num_old_vertices = 5;
    MarkConsole();
    ERigidBodyPhysics* b = Add(Prop(1, 3.0f));
    ASSERT_NE(b, nullptr);
    EXPECT_FALSE(Printed("do not match"));
    EXPECT_EQ(rec->num_old_vertices, vertices);
    EXPECT_EQ(b->m_iNumParticles, first->m_iNumParticles);
}

// Every map entry of the box's record made to name a vertex beyond the other
// map, one at a time: the next body computes the record again and gets the
// welded hull.
TEST_F(RigidBodyWorldTest, EveryMapEntryOutOfRangeIsComputedAgain) {
    ERigidBodyPhysics* first = Add(Prop(1, 3.0f));
    ASSERT_NE(first, nullptr);
    RigidBodyParameters* rec = nullptr;
    ASSERT_TRUE(g_RigidBodyParametersMgr.FindParameters("prefabs\\special\\rigidbody_box.x", &rec));
    const uint32_t numOld = rec->num_old_vertices, numNew = rec->num_new_vertices;
    for (uint32_t e = 0; e < numOld + numNew; ++e) {
        if (e < numOld)
            rec->map_old_to_new[e] = numNew;
        else
            rec->map_new_to_old[e - numOld] = numOld;
        ERigidBodyPhysics* b = Add(Prop(1, 3.0f));
        ASSERT_NE(b, nullptr) << e;
        EXPECT_EQ(b->m_iNumParticles, numNew) << e;
        ASSERT_TRUE(g_RigidBodyParametersMgr.FindParameters("prefabs\\special\\rigidbody_box.x", &rec));
        EXPECT_LT(e < numOld ? rec->map_old_to_new[e] : rec->map_new_to_old[e - numOld],
                  e < numOld ? numNew : numOld)
            << e;
        g_RigidBodySimulation.RemoveBody(g_RigidBodySimulation.SlotOf(b->m_dwSlot));
    }
}

// The box's file cut at the end of each line and within it, found at the
// next world start: a mesh-shaped body built on it gets the whole file's
// hull and tensor, computed again where the cut file could not give them.
TEST_F(RigidBodyWorldTest, CutInertiaFileAtWorldStartIsComputedAgain) {
    namespace fs = std::filesystem;
    auto meshProp = [] {
        ObjectRecord* h = Prop(4, 2.0f);
        RigidBodyPhysicsParams p;
        GetObjectRigidBodyPhysicsParams(h, &p);
        std::snprintf(p.szConstructionPrefabFileName, sizeof p.szConstructionPrefabFileName, "%s",
                      "prefabs\\special\\rigidbody_box.x");
        SetObjectRigidBodyPhysicsParams(h, p);
        return Add(h);
    };
    ERigidBodyPhysics* whole = meshProp();
    ASSERT_NE(whole, nullptr);
    const uint32_t particles = whole->m_iNumParticles;
    const double Ixx = whole->m_State.Ibody[0];
    const fs::path file =
        dir_ / "!opt" / "rigid_body_physics_parameters" / "prefabs_special_rigidbody_box.txt";
    std::string text;
    {
        std::ifstream in(file, std::ios::binary);
        text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    ASSERT_FALSE(text.empty());
    std::vector<size_t> cuts = {0}; // the empty file too
    for (size_t end = text.find('\n'); end != std::string::npos; end = text.find('\n', end + 1)) {
        cuts.push_back(end + 1);
        if (end > 3) cuts.push_back(end - 3);
    }
    for (size_t cut : cuts) {
        std::ofstream(file, std::ios::binary | std::ios::trunc) << text.substr(0, cut);
        g_RigidBodySimulation.Destroy();
        g_RigidBodySimulation.Reset();
        ERigidBodyPhysics* b = meshProp();
        ASSERT_NE(b, nullptr) << cut;
        EXPECT_EQ(b->m_iNumParticles, particles) << cut;
        EXPECT_DOUBLE_EQ(b->m_State.Ibody[0], Ixx) << cut;
    }
}

TEST_F(RigidBodyWorldTest, HullCheckSpeaksOnlyForAHullTurnedInsideOut) {
    ERigidBodyPhysics* b = Add(Prop(1, 3.0f));
    ASSERT_NE(b, nullptr);
    ASSERT_EQ(b->m_dwNumIndices, 12u);
    auto turn = [&](uint32_t f) { std::swap(b->m_pIndices[f * 3 + 1], b->m_pIndices[f * 3 + 2]); };
    auto blocks = [&] {
        int n = 0;
        PrintedAfterMark([&](const char* line) {
            n += std::strstr(line, "DZIWNA SPRAWA") != nullptr;
            return false;
        });
        return n;
    };
    MarkConsole();
    b->Init();
    EXPECT_EQ(blocks(), 0);
    // Five of twelve faces turned inwards: fewer than half, nothing said.
    for (uint32_t f = 0; f < 5; ++f)
        turn(f);
    MarkConsole();
    b->Init();
    EXPECT_EQ(blocks(), 0);
    // Six: each inward face is logged in its block.
    turn(11);
    MarkConsole();
    b->Init();
    EXPECT_EQ(blocks(), 6);
    EXPECT_TRUE(PrintedLine("   BOX physics"));
    EXPECT_TRUE(PrintedLine("object_name: physics_for_prop"));
    EXPECT_TRUE(PrintedLine("nr_face: 11"));
    EXPECT_FALSE(PrintedLine("nr_face: 5"));
}

// ---- Activation -------------------------------------------------------------------------

TEST_F(RigidBodyWorldTest, NotImportantBodyWaitsForFewerThanSixActive) {
    ObjectRecord* h = Prop(1, 3.0f);
    RigidBodyPhysicsParams p;
    GetObjectRigidBodyPhysicsParams(h, &p);
    p.bNotImportant = 1;
    SetObjectRigidBodyPhysicsParams(h, p);
    ERigidBodyPhysics* b = Add(h);
    ASSERT_NE(b, nullptr);
    ASSERT_EQ(b->m_bActive, 0); // a new slot's body sleeps
    g_RigidBodySimulation.m_dwNumActive = 6;
    b->Activate();
    b->KeepAwake();
    EXPECT_EQ(b->m_bActive, 0);
    g_RigidBodySimulation.m_dwNumActive = 5;
    b->Activate();
    EXPECT_EQ(b->m_bActive, 1);
    EXPECT_EQ(g_RigidBodySimulation.m_dwNumActive, 6u);
    EXPECT_EQ(b->m_dSleepCountdown, -1.0);
    b->Deactivate();
    EXPECT_EQ(g_RigidBodySimulation.m_dwNumActive, 5u);
    EXPECT_EQ(b->m_bActive, 0);
}

// The body's sound starts when it wakes, not again while it stays awake.
TEST_F(RigidBodyWorldTest, WakingPlaysTheSoundOnce) {
    fs::create_directories(dir_ / "sounds");
    fs::copy_file(fs::path(ZT_SOURCE_DIR) / "data" / "sounds" / "crate_hit.wav",
                  dir_ / "sounds" / "crate_hit.wav");
    g_SoundMgr.SetBackend(audio::Backend::Silent);
    ASSERT_TRUE(g_SoundMgr.Init());
    ObjectRecord* h = Prop(1, 3.0f);
    RigidBodyPhysicsParams p;
    GetObjectRigidBodyPhysicsParams(h, &p);
    std::snprintf(p.szSoundFileName, sizeof p.szSoundFileName, "sounds\\crate_hit.wav");
    p.fSoundRange = 100;
    SetObjectRigidBodyPhysicsParams(h, p);
    ERigidBodyPhysics* b = Add(h);
    ASSERT_NE(b, nullptr);
    ASSERT_NE(b->m_pSound, nullptr);
    EXPECT_FALSE(g_SoundMgr.IsSoundPlaying(b->m_pSound));
    b->Activate();
    EXPECT_TRUE(g_SoundMgr.IsSoundPlaying(b->m_pSound));
    g_SoundMgr.StopSound(b->m_pSound);
    b->Activate(); // awake already
    EXPECT_FALSE(g_SoundMgr.IsSoundPlaying(b->m_pSound));
    b->Deactivate();
    b->Activate(); // woken again
    EXPECT_TRUE(g_SoundMgr.IsSoundPlaying(b->m_pSound));
    g_RigidBodySimulation.Destroy(); // the bodies' sounds go before the manager
    g_SoundMgr.Release();
    g_SoundMgr.SetBackend(audio::Backend::Auto);
}

TEST_F(RigidBodyWorldTest, KeepAwakeRestartsOnlyAnOldBody) {
    ERigidBodyPhysics* b = Add(Prop(1, 3.0f));
    ASSERT_NE(b, nullptr);
    b->Activate();
    b->m_dSleepCountdown = 0.5;
    b->m_dAge = 2.9;
    b->m_dwSteps = 9;
    b->KeepAwake();
    EXPECT_EQ(b->m_dAge, 2.9);
    b->m_dAge = 3.0;
    b->KeepAwake();
    EXPECT_EQ(b->m_dAge, 0.0);
    EXPECT_EQ(b->m_dwSteps, 9u); // an awake body keeps its count
    EXPECT_EQ(b->m_dSleepCountdown, 0.5);
}

TEST_F(RigidBodyWorldTest, WakingRunsTheActionOnce) {
    ObjectRecord* target = Make(OT_MESH, {}, "lever");
    ASSERT_NE(target, nullptr);
    ObjectRecord* h = Prop(1, 3.0f);
    RigidBodyPhysicsParams p;
    GetObjectRigidBodyPhysicsParams(h, &p);
    std::snprintf(p.szGiveActionTo, sizeof p.szGiveActionTo, "lever");
    SetObjectRigidBodyPhysicsParams(h, p);
    ERigidBodyPhysics* b = Add(h);
    ASSERT_NE(b, nullptr);
    Debug = 1;
    MarkConsole();
    b->Activate();
    b->Activate(); // awake already: no action
    b->KeepAwake();
    int fired = 0;
    PrintedAfterMark([&](const char* line) {
        fired += std::strcmp(line, "EEngine: Odpalam akcje na lever") == 0;
        return false;
    });
    EXPECT_EQ(fired, 1);
    b->Deactivate();
    b->KeepAwake(); // wakes without the action
    EXPECT_EQ(b->m_bActive, 1);
    fired = 0;
    PrintedAfterMark([&](const char* line) {
        fired += std::strcmp(line, "EEngine: Odpalam akcje na lever") == 0;
        return false;
    });
    EXPECT_EQ(fired, 1);
}

TEST_F(RigidBodyWorldTest, SaveAndLoadThroughAFileDropTheFinder) {
    ObjectRecord* h = Prop(1, 3.0f);
    ERigidBodyPhysics* b = Add(h);
    ASSERT_NE(b, nullptr);
    ASSERT_NE(b->m_pFinder, nullptr);
    b->m_State.x[2] = 123.0;
    const fs::path file = dir_ / "body.bin";
    std::FILE* f = std::fopen(file.string().c_str(), "wb");
    g_RigidBodySimulation.SaveGame(h, f);
    std::fclose(f);
    EXPECT_EQ(fs::file_size(file), ERigidBodySimulation::SAVE_BLOCK_SIZE);
    b->m_State.x[2] = 0.0;
    f = std::fopen(file.string().c_str(), "rb");
    g_RigidBodySimulation.LoadGame(h, f);
    std::fclose(f);
    EXPECT_EQ(b->m_State.x[2], 123.0);
    EXPECT_EQ(b->m_pFinder, nullptr);
    EXPECT_EQ(b->m_bInUse, 1);

    // A block cut short is reported and leaves the body as it is.
    std::FILE* cut = std::fopen(file.string().c_str(), "wb");
    std::fwrite("\x01", 1, 1, cut);
    std::fclose(cut);
    MarkConsole();
    cut = std::fopen(file.string().c_str(), "rb");
    g_RigidBodySimulation.LoadGame(h, cut);
    std::fclose(cut);
    EXPECT_TRUE(Printed("cut at 1 of 5129 bytes"));
    EXPECT_EQ(b->m_State.x[2], 123.0);
    EXPECT_EQ(b->m_State.mass, 3.0);
}

// ---- Slots ----------------------------------------------------------------------------

TEST_F(RigidBodyWorldTest, AThousandSlotsThenNone) {
    ERigidBodyPhysics bodies[3];
    for (uint32_t i = 0; i < ERigidBodySimulation::MAX_SLOTS; ++i)
        ASSERT_NE(g_RigidBodySimulation.AllocateSlot(&bodies[i % 3]), nullptr) << i;
    EXPECT_EQ(g_RigidBodySimulation.AllocateSlot(&bodies[0]), nullptr);
    EXPECT_EQ(g_RigidBodySimulation.NumSlots(), 1000u);
    // Freeing the top slots lowers the count past every freed one.
    RigidBodySlot& middle = g_RigidBodySimulation.Slot(500);
    middle.pBody = nullptr;
    g_RigidBodySimulation.RemoveBody(&middle);
    EXPECT_EQ(g_RigidBodySimulation.NumSlots(), 1000u);
    for (uint32_t i = 999; i >= 501; --i) {
        g_RigidBodySimulation.Slot(i).pBody = nullptr;
        g_RigidBodySimulation.RemoveBody(&g_RigidBodySimulation.Slot(i));
    }
    EXPECT_EQ(g_RigidBodySimulation.NumSlots(), 500u);
    // The first free slot below the count is taken again.
    EXPECT_EQ(g_RigidBodySimulation.RefOf(g_RigidBodySimulation.AllocateSlot(&bodies[0])), 501u);
    EXPECT_EQ(g_RigidBodySimulation.NumSlots(), 501u);
    for (uint32_t i = 0; i < g_RigidBodySimulation.NumSlots(); ++i)
        g_RigidBodySimulation.Slot(i).pBody = nullptr;
    for (uint32_t i = g_RigidBodySimulation.NumSlots(); i-- > 0;)
        g_RigidBodySimulation.RemoveBody(&g_RigidBodySimulation.Slot(i));
    EXPECT_EQ(g_RigidBodySimulation.NumSlots(), 0u);
}

TEST_F(RigidBodyWorldTest, FindBodyThroughEitherReferenceAndObject) {
    ObjectRecord* h = Prop(1, 3.0f);
    ERigidBodyPhysics* b = Add(h);
    ASSERT_NE(b, nullptr);
    ObjectRecord* co = b->m_hConstructionObj;
    EXPECT_EQ(BodyOf(h), b);  // first reference
    EXPECT_EQ(BodyOf(co), b); // second reference
    const uint32_t ref = h->dwRigidBody;
    h->dwRigidBody = 0;
    EXPECT_EQ(BodyOf(h), b); // the scan: visible object
    co->dwRigidBody2 = 0;
    EXPECT_EQ(BodyOf(co), b); // the scan: construction object
    h->dwRigidBody = ref;
    ERigidBodyPhysics* out = b;
    EXPECT_FALSE(g_RigidBodySimulation.FindBody(nullptr, &out));
    EXPECT_EQ(out, nullptr);
    EXPECT_FALSE(g_RigidBodySimulation.FindBody(h, nullptr));
    EXPECT_FALSE(g_RigidBodySimulation.FindBody(Make(OT_MESH), &out));

    RemoveObjectRigidBody(h);
    EXPECT_EQ(h->dwRigidBody, 0u);
    EXPECT_EQ(BodyOf(h), nullptr);
    EXPECT_EQ(g_RigidBodySimulation.NumSlots(), 0u);
}

TEST_F(RigidBodyWorldTest, BoxGap) {
    ObjectRecord* a = Prop(0, 1.0f, {2, 2, 2});
    ObjectRecord* b = Prop(0, 1.0f, {2, 2, 2});
    SetObjectPosition(a, {0, 0, 0});
    SetObjectPosition(b, {5, 0, 0});
    EXPECT_NEAR(ERigidBodySimulation::BoxGap(a, b), 3.0f, 1e-4);
    EXPECT_NEAR(ERigidBodySimulation::BoxGap(b, a), 3.0f, 1e-4);
    SetObjectPosition(b, {5, 0, 10});
    EXPECT_NEAR(ERigidBodySimulation::BoxGap(a, b), 3.0f, 1e-4); // the smaller of two gaps
    SetObjectPosition(b, {1, 1, 0});
    EXPECT_EQ(ERigidBodySimulation::BoxGap(a, b), 0.0f); // overlapping
    EXPECT_EQ(ERigidBodySimulation::BoxGap(a, nullptr), 0.0f);
}

TEST_F(RigidBodyWorldTest, ImpulseWakesAtMostFourNeighboursNeverAPreset) {
    std::vector<ERigidBodyPhysics*> stack;
    std::vector<ObjectRecord*> objects;
    for (int i = 0; i < 7; ++i) {
        ObjectRecord* h = Prop(1, 3.0f, {2, 2, 2});
        SetObjectPosition(h, {0, float(i) * 2.5f, 0});
        if (i == 1) {
            RigidBodyPhysicsParams p;
            GetObjectRigidBodyPhysicsParams(h, &p);
            p.bBoxPreset = 1;
            SetObjectRigidBodyPhysicsParams(h, p);
        }
        ERigidBodyPhysics* b = Add(h);
        ASSERT_NE(b, nullptr);
        stack.push_back(b);
        objects.push_back(h);
    }
    ObjectRecord* character = Make(OT_SKINMESH, {3, 0, 0}); // beside the struck body
    ASSERT_NE(character, nullptr);
    for (ERigidBodyPhysics* b : stack)
        b->Init(); // finders over the whole stack
    for (ERigidBodyPhysics* b : stack)
        b->m_bActive = 0;
    g_RigidBodySimulation.m_dwNumActive = 0;
    const float point[3] = {0, 0, 0}, J[3] = {0, 10, 0};
    g_RigidBodySimulation.AddImpulse(objects[0], point, J);
    int woken = 0;
    for (size_t i = 1; i < stack.size(); ++i)
        woken += stack[i]->m_bActive;
    EXPECT_EQ(stack[0]->m_bActive, 1);
    EXPECT_EQ(stack[1]->m_bActive, 0); // the dropped item sleeps on
    EXPECT_EQ(woken, 4);
    EXPECT_GE(character->SkinMesh()->m_dwRagDollWakeRequests, 1u); // its ragdoll is woken, it gets no body
    EXPECT_DOUBLE_EQ(stack[0]->m_State.P[1], 10.0);
    for (size_t i = 1; i < stack.size(); ++i)
        EXPECT_EQ(stack[i]->m_State.P[1], 0.0);
    g_RigidBodySimulation.AddImpulse(objects[0], nullptr, J); // nothing
    EXPECT_DOUBLE_EQ(stack[0]->m_State.P[1], 10.0);
}

// ---- Markers ----------------------------------------------------------------------------

class MarkerTest : public RigidBodyWorldTest {
  protected:
    static ObjectRecord* Marker(const math::Vec3& at) {
        AddObjectParams p;
        p.dwType = OT_MESH;
        std::snprintf(p.szFileName, sizeof p.szFileName, "PREFABS\\special\\Hurt.x");
        p.vPosition = at;
        return g_Engine.AddObject(p);
    }
    void SetUp() override {
        RigidBodyWorldTest::SetUp();
        fs::copy_file(dir_ / "prefabs" / "special" / "rigidbody_box.x",
                      dir_ / "prefabs" / "special" / "hurt.x");
    }
};

TEST_F(MarkerTest, MarkersAreTakenOutOfTheWorld) {
    ObjectRecord* m = Marker({100, 0, 0});
    ASSERT_NE(m, nullptr);
    g_RigidBodySimulation.Reset();
    ASSERT_EQ(g_RigidBodySimulation.NumMarkers(), 1u);
    EXPECT_EQ(m->bUsed, 0);
    // The unit box around (100, 0, 0).
    EXPECT_TRUE(g_RigidBodySimulation.IsInNoCollisionMarker(100, 0, 0));
    EXPECT_TRUE(g_RigidBodySimulation.IsInNoCollisionMarker(100.4, -0.4, 0.2));
    EXPECT_FALSE(g_RigidBodySimulation.IsInNoCollisionMarker(101, 0, 0));
    EXPECT_FALSE(g_RigidBodySimulation.IsInNoCollisionMarker(0, 0, 0));
    // The far corner: the segment towards +(1, 1, 1) leaves the box at once.
    const NoCollisionMarker& mk = g_RigidBodySimulation.Marker(0);
    const bool atCorner = g_RigidBodySimulation.IsInNoCollisionMarker(mk.vMin.x, mk.vMin.y, mk.vMin.z);
    EXPECT_TRUE(atCorner);
}

TEST_F(MarkerTest, TheHundredthIsRefused) {
    for (int i = 0; i < 100; ++i)
        ASSERT_NE(Marker({float(i) * 10, 0, 0}), nullptr);
    MarkConsole();
    g_RigidBodySimulation.Reset();
    EXPECT_EQ(g_RigidBodySimulation.NumMarkers(), 99u);
    EXPECT_TRUE(Printed("FATAL ERROR in ERigidBodySimulation: Too Many NO COLLISION Markers!!!"));
}

} // namespace
