// A body's step against the demo floor and the simulation's frame: the frame
// time and the two rounds, rest by motion, energy, age and joints, the
// countdown of a body at rest, the time of impact, a start inside the floor
// pushed out or shifted, a stuck item, a grenade's bounce and the separation
// push.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "physics/RigidBodyJointsMgr.h"
#include "platform/os/Os.h"
#include "tests/physics/RigidBodyFixture.h"

namespace {

constexpr double kG = 9.81 * 64.0;

class RigidBodyStepTest : public RigidBodyWorldTest {
  protected:
    void SetUp() override {
        RigidBodyWorldTest::SetUp();
        AddObjectParams p;
        p.dwType = OT_MESH;
        std::snprintf(p.szFileName, sizeof p.szFileName, "models\\plane.x");
        p.dwFlags = 13;
        floor_ = g_Engine.AddObject(p);
        ASSERT_NE(floor_, nullptr);
        SetObjectName(floor_, "floor");
        os::Srand(1);
    }
    void TearDown() override {
        g_Engine.m_fFrameTime = 0.0f;
        RigidBodyWorldTest::TearDown();
    }
    // A 16-unit box of mass 10 whose bottom is `bottom` above the floor,
    // awake, moving down at `fall`.
    ERigidBodyPhysics* Box(double bottom, double fall = 0.0, float size = 16.0f) {
        ObjectRecord* h = Prop(1, 10.0f, {size, size, size});
        SetObjectPosition(h, {0, float(bottom) + size / 2, 0});
        ERigidBodyPhysics* b = Add(h);
        if (!b) return nullptr;
        b->Activate();
        b->m_State.P[1] = -fall * b->m_State.mass;
        ERigidBodyPhysics::SetNewState(&b->m_State);
        return b;
    }
    static uint32_t SlotOf(const ERigidBodyPhysics* b) { return b->m_dwSlot - 1; }
    static RigidBodySlot& SlotRef(const ERigidBodyPhysics* b) {
        return g_RigidBodySimulation.Slot(SlotOf(b));
    }
    static double Bottom(const ERigidBodyPhysics* b) {
        double lowest = 1e30;
        for (uint32_t i = 0; i < b->m_iNumParticles; ++i) {
            const double* p = b->m_pParticles[i].vBody;
            double y = b->m_State.x[1];
            for (int k = 0; k < 3; ++k)
                y += b->m_State.R[3 + k] * p[k];
            lowest = std::min(lowest, y);
        }
        return lowest;
    }
    static double Energy(const ERigidBodyPhysics* b) {
        const RigidBodyState& s = b->m_State;
        return 0.5 * s.mass * (s.v[0] * s.v[0] + s.v[1] * s.v[1] + s.v[2] * s.v[2]) +
               RotationalKineticEnergy(&s);
    }
    static void Frame(float seconds) {
        g_Engine.m_fFrameTime = seconds;
        g_RigidBodySimulation.Simulate();
    }

    ObjectRecord* floor_ = nullptr;
};

// ---- The frame ----------------------------------------------------------------------------

TEST_F(RigidBodyStepTest, AQuarterSecondFrameAdvancesATenthInOneFreeStep) {
    ERigidBodyPhysics* b = Box(400.0);
    ASSERT_NE(b, nullptr);
    const double y0 = b->m_State.x[1];
    Frame(0.25f);
    EXPECT_NEAR(b->m_State.t, 0.1, 1e-12);
    EXPECT_EQ(SlotRef(b).dwLastResult, 1u);
    EXPECT_TRUE(SlotRef(b).bDone);
    EXPECT_EQ(b->m_dwSteps, 1u); // not stepped again in the second round
    // Two half steps of 0.05 s from rest.
    EXPECT_NEAR(b->m_State.x[1], y0 - kG * 0.01 / 4, 1e-9);
    EXPECT_NEAR(b->m_State.v[1], -kG * 0.1, 1e-9);
    EXPECT_NEAR(b->m_dAge, 0.1, 1e-7);
    // The visible object follows the body.
    EXPECT_NEAR(b->m_hObject->vPosition.y, b->m_State.x[1], 1e-3);
}

TEST_F(RigidBodyStepTest, AFrameTimeThatIsNoPositiveNumberMovesNothing) {
    ERigidBodyPhysics* b = Box(400.0, 50.0);
    ASSERT_NE(b, nullptr);
    const double y = b->m_State.x[1];
    for (float frame : {0.0f, -0.05f, NAN}) {
        Frame(frame);
        EXPECT_EQ(b->m_State.x[1], y) << frame;
        EXPECT_EQ(b->m_State.t, 0.0) << frame;
        EXPECT_EQ(b->m_bActive, 1) << frame;
    }
}

// A state that turns non-finite in a step (here a spin of NaN, as a mass or
// tensor beyond any sensible value would give) is not written to the
// objects: the body goes back to where it last was finite and rests there.
class NonFiniteTest : public RigidBodyStepTest, public ::testing::WithParamInterface<double> {};

TEST_P(NonFiniteTest, ABodyGoingNonFiniteRestsWhereItLastWasFinite) {
    ERigidBodyPhysics* b = Box(400.0, 50.0);
    ASSERT_NE(b, nullptr);
    Frame(0.02f);
    const double y = b->m_State.x[1];
    ASSERT_TRUE(std::isfinite(y));
    b->m_State.L[2] = GetParam();
    b->m_State.Ibodyinv[8] = 1e300;
    ERigidBodyPhysics::SetNewState(&b->m_State);
    MarkConsole();
    Frame(0.02f);
    EXPECT_TRUE(Printed("body prop not finite"));
    EXPECT_EQ(b->m_bActive, 0);
    for (int k = 0; k < 3; ++k) {
        EXPECT_TRUE(std::isfinite(b->m_State.x[k]));
        EXPECT_TRUE(std::isfinite(b->m_State.v[k]));
    }
    EXPECT_NEAR(b->m_State.x[1], y, 1e-9);
    EXPECT_NEAR(b->m_hObject->vPosition.y, y, 1e-3);
    EXPECT_TRUE(std::isfinite(b->m_hObject->vPosition.x));
}
INSTANTIATE_TEST_SUITE_P(Spins, NonFiniteTest, ::testing::Values(NAN, INFINITY, 1e300));

TEST_F(RigidBodyStepTest, AStepCutShortByTheFloorTakesTheRestInTheSecondRound) {
    ERigidBodyPhysics* b = Box(3.0, 200.0);
    ASSERT_NE(b, nullptr);
    Frame(0.1f);
    EXPECT_EQ(b->m_dwSteps, 2u);
    EXPECT_GE(Bottom(b), -0.01);
    EXPECT_GT(b->m_State.v[1], 0.0); // it bounced
}

struct RestCase {
    const char* name;
    bool second;    // the second test (energy) rather than the first
    double age;     // seconds awake
    double spacing; // distance between consecutive snapshots
    double speed;   // |v|, with |omega| 0
    bool staysAwake;
};

class RestTest : public RigidBodyStepTest, public ::testing::WithParamInterface<RestCase> {};

TEST_P(RestTest, ByAgeMotionAndEnergy) {
    const RestCase& c = GetParam();
    ERigidBodyPhysics* b = Box(300.0);
    ASSERT_NE(b, nullptr);
    RigidBodySlot& slot = SlotRef(b);
    for (int k = 0; k < 4; ++k) {
        slot.Snapshots[k] = b->m_State;
        slot.Snapshots[k].x[0] += k * c.spacing;
    }
    b->m_State.P[0] = c.speed * b->m_State.mass;
    b->m_State.P[1] = 0.0;
    ERigidBodyPhysics::SetNewState(&b->m_State);
    b->m_dAge = c.age;
    EXPECT_EQ(g_RigidBodySimulation.StaysAwake(SlotOf(b), c.second), c.staysAwake);
    EXPECT_EQ(b->m_bActive, c.staysAwake ? 1 : 0);
    if (!c.staysAwake) {
        EXPECT_EQ(b->m_dSleepCountdown, 2.0);
        EXPECT_EQ(b->m_State.v[0], 0.0);
    }
}

INSTANTIATE_TEST_SUITE_P(Bodies, RestTest,
                         ::testing::Values(RestCase{"Young", false, 0.5, 0.0, 0.0, true},
                                           RestCase{"StillAfterHalfASecond", false, 0.51, 0.019, 0.0, false},
                                           RestCase{"MovingAfterHalfASecond", false, 0.51, 0.021, 0.0, true},
                                           RestCase{"TooYoungForTheSecond", true, 0.8, 0.05, 0.0, true},
                                           RestCase{"SlowAfterPointEight", true, 0.81, 5.0, 9.9, false},
                                           RestCase{"FastButStill", true, 0.81, 0.099, 50.0, false},
                                           RestCase{"FastAndMoving", true, 0.81, 0.11, 50.0, true},
                                           RestCase{"OldFirst", false, 10.01, 5.0, 50.0, false},
                                           RestCase{"OldSecond", true, 10.01, 5.0, 50.0, false},
                                           RestCase{"TenIsNotOld", false, 10.0, 5.0, 50.0, true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(RigidBodyStepTest, ABodyInFlightIsNotPutToRestAtTheTopOfItsArc) {
    ERigidBodyPhysics* b = Box(300.0);
    ASSERT_NE(b, nullptr);
    RigidBodySlot& slot = SlotRef(b);
    for (RigidBodyState& s : slot.Snapshots)
        s = b->m_State; // still
    b->m_dAge = 2.0;
    slot.dwLastResult = ERigidBodySimulation::RESULT_FREE;
    EXPECT_TRUE(g_RigidBodySimulation.StaysAwake(SlotOf(b), false));
    EXPECT_TRUE(g_RigidBodySimulation.StaysAwake(SlotOf(b), true));
    b->m_dAge = 10.5; // age still ends it
    EXPECT_FALSE(g_RigidBodySimulation.StaysAwake(SlotOf(b), false));
    b->Activate();
    b->m_dAge = 2.0;
    slot.dwLastResult = ERigidBodySimulation::RESULT_CONTACTS;
    EXPECT_FALSE(g_RigidBodySimulation.StaysAwake(SlotOf(b), false));
}

TEST_F(RigidBodyStepTest, AJointedBodyRestsAt25UnlessAJoinedObjectRidesAPath) {
    ERigidBodyPhysics* b = Box(300.0);
    ASSERT_NE(b, nullptr);
    ObjectRecord* rider = Make(OT_MESH, {0, 400, 0}, "rider");
    ASSERT_NE(g_RigidBodyJointsMgr.AddJoint(b->m_hObject, nullptr, rider, nullptr, 0, 10.0, nullptr, nullptr),
              nullptr);
    b->m_Params.bJointOn = 1;
    const uint32_t slot = SlotOf(b);
    b->m_dAge = 25.0;
    EXPECT_TRUE(g_RigidBodySimulation.StaysAwake(slot, false)); // no motion test
    b->m_dAge = 30.0;
    rider->BezierState.bMoving = 1;
    EXPECT_TRUE(g_RigidBodySimulation.StaysAwake(slot, true));
    rider->BezierState.bMoving = 0;
    EXPECT_FALSE(g_RigidBodySimulation.StaysAwake(slot, false));
    EXPECT_EQ(b->m_bActive, 0);
}

TEST_F(RigidBodyStepTest, ABodyKeptAwakeAtRestWaitsOutItsCountdown) {
    ERigidBodyPhysics* b = Box(300.0);
    ASSERT_NE(b, nullptr);
    g_RigidBodySimulation.PutBodyToRest(SlotOf(b));
    b->KeepAwake();
    ASSERT_EQ(b->m_bActive, 1);
    ASSERT_EQ(b->m_dSleepCountdown, 2.0);
    // Ten frames of 0.1 s: the countdown falls by 0.2 a frame, nothing moves.
    for (int frame = 0; frame < 10; ++frame) {
        Frame(0.1f);
        EXPECT_EQ(b->m_dwSteps, 0u) << frame;
        EXPECT_EQ(b->m_bActive, 1) << frame;
    }
    EXPECT_LT(b->m_dSleepCountdown, 0.0);
    // Now visited: a second awake and unmoved, it is put to rest again in
    // the first round and counts down in the second.
    Frame(0.1f);
    EXPECT_EQ(b->m_bActive, 0);
    EXPECT_NEAR(b->m_dSleepCountdown, 1.9, 1e-6);
}

TEST_F(RigidBodyStepTest, ABoxDroppedOnTheFloorComesToRestOnIt) {
    ERigidBodyPhysics* b = Box(100.0);
    ASSERT_NE(b, nullptr);
    int frames = 0;
    double highestAfterBounce = 0.0;
    bool bounced = false;
    for (; frames < 600 && b->m_bActive; ++frames) {
        Frame(1.0f / 60.0f);
        bounced |= b->m_State.v[1] > 0.0;
        if (bounced) highestAfterBounce = std::max(highestAfterBounce, Bottom(b));
    }
    EXPECT_TRUE(bounced);
    EXPECT_GT(highestAfterBounce, 5.0); // it flew, and came down again
    EXPECT_EQ(b->m_bActive, 0) << frames;
    EXPECT_NEAR(Bottom(b), 0.0, 1.0);
    EXPECT_LT(frames, 600);
}

// ---- One body's step ----------------------------------------------------------------------

TEST_F(RigidBodyStepTest, AStepEndingInTheFloorStopsJustShortOfItAndAnswers) {
    ERigidBodyPhysics* b = Box(5.0, 300.0);
    ASSERT_NE(b, nullptr);
    double advanced = -1.0;
    EXPECT_EQ(g_RigidBodySimulation.AdvanceBody(SlotOf(b), 0.0, 0.1, &advanced), 2u);
    EXPECT_GT(advanced, 0.0);
    EXPECT_LT(advanced, 0.1);
    // Stopped within 0.1 of the first colliding state, then pushed off the
    // floor by 1.1 (it leaves at more than 60 units a second).
    EXPECT_GT(b->m_State.v[1], 60.0);
    EXPECT_GE(Bottom(b), 1.1);
    EXPECT_LE(Bottom(b), 1.1 + 0.1 + 1e-6);
    EXPECT_GT(b->m_State.v[1], 0.0);
    EXPECT_LE(Energy(b), b->m_State.kept[0] + b->m_State.kept[1] + 1e-6);
}

TEST_F(RigidBodyStepTest, ABodyRestingOnTheFloorStaysWhereItIs) {
    ERigidBodyPhysics* b = Box(0.05);
    ASSERT_NE(b, nullptr);
    const double x[3] = {b->m_State.x[0], b->m_State.x[1], b->m_State.x[2]};
    double advanced = -1.0;
    EXPECT_EQ(g_RigidBodySimulation.AdvanceBody(SlotOf(b), 0.0, 0.1, &advanced), 2u);
    EXPECT_EQ(advanced, 0.0);
    for (int k = 0; k < 3; ++k)
        EXPECT_EQ(b->m_State.x[k], x[k]);
    EXPECT_GT(g_RigidBodySimulation.m_Contacts.dwNumContacts, 0u);
}

TEST_F(RigidBodyStepTest, AGrenadeKeepsItsFrictionShareOfSpeedAndSpin) {
    // Two grenades, one with a friction coefficient of 1: the same bounce
    // otherwise.
    auto grenade = [&](float x) {
        ObjectRecord* h = Prop(0, 2.0f, {8, 8, 8});
        RigidBodyPhysicsParams p;
        GetObjectRigidBodyPhysicsParams(h, &p);
        p.bSpherePreset = 1;
        SetObjectRigidBodyPhysicsParams(h, p);
        SetObjectPosition(h, {x, 6.0f, 0});
        ERigidBodyPhysics* b = Add(h);
        b->Activate();
        b->m_State.P[0] = 2.0 * 40.0;
        b->m_State.P[1] = -2.0 * 200.0;
        ERigidBodyPhysics::SetNewState(&b->m_State);
        return b;
    };
    ERigidBodyPhysics* a = grenade(-100.0f);
    ERigidBodyPhysics* b = grenade(100.0f);
    ASSERT_EQ(a->m_Params.fFrictionCoef, 0.62f);
    b->m_Params.fFrictionCoef = 1.0f;
    double advanced;
    os::Srand(5);
    ASSERT_EQ(g_RigidBodySimulation.AdvanceBody(SlotOf(a), 0.0, 0.1, &advanced), 2u);
    os::Srand(5);
    ASSERT_EQ(g_RigidBodySimulation.AdvanceBody(SlotOf(b), 0.0, 0.1, &advanced), 2u);
    for (int k = 0; k < 3; ++k) {
        EXPECT_NEAR(a->m_State.v[k], 0.62 * b->m_State.v[k], 1e-6) << k;
        EXPECT_NEAR(a->m_State.P[k], a->m_State.mass * a->m_State.v[k], 1e-6) << k;
        EXPECT_NEAR(a->m_State.omega[k], 0.62 * b->m_State.omega[k], 1e-6) << k;
    }
    EXPECT_GT(b->m_State.v[1], 0.0);
}

TEST_F(RigidBodyStepTest, AStartInTheFloorIsPushedOutHalfAUnitAtATime) {
    ERigidBodyPhysics* b = Box(-1.2);
    ASSERT_NE(b, nullptr);
    const double y = b->m_State.x[1];
    double advanced;
    EXPECT_EQ(g_RigidBodySimulation.AdvanceBody(SlotOf(b), 0.0, 0.1, &advanced), 2u);
    EXPECT_NEAR(b->m_State.x[1], y + 1.5, 1e-9); // three pushes free it
}

TEST_F(RigidBodyStepTest, APushMovesOnlyTheTestsStartAndAFreeStepIsTheBodysOwn) {
    // Sunk 0.3 and rising: one push frees the start, and the step from the
    // body's own start leaves the floor.
    ERigidBodyPhysics* b = Box(-0.3, -50.0);
    ASSERT_NE(b, nullptr);
    RigidBodyState own;
    b->Integrate(0.0, 0.1, &own, false);
    double advanced = -1.0;
    EXPECT_EQ(g_RigidBodySimulation.AdvanceBody(SlotOf(b), 0.0, 0.1, &advanced), 1u);
    EXPECT_EQ(advanced, own.t);
    for (int k = 0; k < 3; ++k)
        EXPECT_EQ(b->m_State.x[k], own.x[k]) << k; // not half a unit higher
    EXPECT_GT(Bottom(b), 1.0);
}

struct EscapeCase {
    const char* name;
    bool boxPreset;
    double sunk;     // how deep the box starts in the floor
    float size;      // the box's edge
    double distance; // the shift that frees it
};

class EscapeTest : public RigidBodyStepTest, public ::testing::WithParamInterface<EscapeCase> {};

TEST_P(EscapeTest, ShiftsDoubleFromTheirStartUntilOneIsFree) {
    const EscapeCase& c = GetParam();
    ERigidBodyPhysics* b = Box(-c.sunk, 0.0, c.size);
    ASSERT_NE(b, nullptr);
    b->m_Params.bBoxPreset = c.boxPreset;
    RigidBodyState s = b->m_State;
    b->GatherWorldTriangles(&s, &s, true);
    const double x[3] = {s.x[0], s.x[1], s.x[2]};
    ASSERT_TRUE(g_RigidBodySimulation.EscapeByRandomShift(SlotOf(b)));
    const double d[3] = {b->m_State.x[0] - x[0], b->m_State.x[1] - x[1], b->m_State.x[2] - x[2]};
    // Straight up or up and to one side, by the freeing distance.
    EXPECT_NEAR(d[1], c.distance, 1e-9);
    const double side = std::fabs(d[0]) + std::fabs(d[2]);
    EXPECT_TRUE(side < 1e-9 || std::fabs(side - c.distance) < 1e-9) << side;
}

INSTANTIATE_TEST_SUITE_P(Depths, EscapeTest,
                         ::testing::Values(EscapeCase{"Shallow", false, 0.5, 16.0f, 0.7},
                                           EscapeCase{"Deeper", false, 1.0, 16.0f, 1.4},
                                           EscapeCase{"Deep", false, 20.0, 48.0f, 22.4},
                                           EscapeCase{"Item", true, 1.0, 16.0f, 2.0},
                                           EscapeCase{"ItemDeeper", true, 3.0, 16.0f, 4.0}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(RigidBodyStepTest, AStuckDroppedItemIsDeletedAndDoesNotMove) {
    // Taller than any shift: it crosses the floor wherever it goes.
    ERigidBodyPhysics* b = Box(-100.0, 0.0, 200.0f);
    ASSERT_NE(b, nullptr);
    b->m_Params.bBoxPreset = 1;
    const RigidBodyState before = b->m_State;
    double advanced = -1.0;
    EXPECT_EQ(g_RigidBodySimulation.AdvanceBody(SlotOf(b), 0.0, 0.1, &advanced), 4u);
    EXPECT_EQ(advanced, 0.0);
    EXPECT_EQ(std::memcmp(b->m_State.x, before.x, sizeof before.x), 0);
    EXPECT_EQ(b->m_hObject->bToDelete, 1);
    // Without the box preset it stays, and a frame adds no time to it.
    b->m_hObject->bToDelete = 0;
    b->m_Params.bBoxPreset = 0;
    Frame(0.1f);
    EXPECT_EQ(b->m_hObject->bToDelete, 0);
    EXPECT_EQ(b->m_State.t, 0.0);
    EXPECT_EQ(SlotRef(b).dwLastResult, 4u);
}

struct SeparationCase {
    double speed;
    double push; // as a share of 1.1 times the mean normal
};

class SeparationTest : public RigidBodyStepTest, public ::testing::WithParamInterface<SeparationCase> {};

TEST_P(SeparationTest, AFastBodyIsPushedAlongItsMeanContactNormal) {
    ERigidBodyPhysics* b = Box(200.0);
    ASSERT_NE(b, nullptr);
    b->m_State.P[1] = 0.0;
    b->m_State.P[0] = GetParam().speed * b->m_State.mass;
    ERigidBodyPhysics::SetNewState(&b->m_State);
    RigidBodyContactList& raw = g_RigidBodySimulation.m_Contacts;
    raw.dwNumContacts = 2;
    raw.Contacts[0] = RigidBodyContact{};
    raw.Contacts[0].hObjectA = b->m_hConstructionObj;
    raw.Contacts[0].n[1] = 2.0;
    raw.Contacts[1] = raw.Contacts[0];
    raw.Contacts[1].n[0] = 1.0; // (1, 2, 0) before normalising
    const double x[3] = {b->m_State.x[0], b->m_State.x[1], b->m_State.x[2]};
    g_RigidBodySimulation.SeparateAlongContactNormals(SlotOf(b), true, 1.1, 60.0, 40.0);
    const double mean[3] = {(0.0 + 1.0 / std::sqrt(5.0)) / 2, (1.0 + 2.0 / std::sqrt(5.0)) / 2, 0.0};
    for (int k = 0; k < 3; ++k)
        EXPECT_NEAR(b->m_State.x[k] - x[k], 1.1 * GetParam().push * mean[k], 1e-12) << k;
}

INSTANTIATE_TEST_SUITE_P(Speeds, SeparationTest,
                         ::testing::Values(SeparationCase{30.0, 0.0}, SeparationCase{39.9, 0.0},
                                           SeparationCase{40.0, 40.0 / 60.0},
                                           SeparationCase{50.0, 50.0 / 60.0}, SeparationCase{60.0, 1.0},
                                           SeparationCase{90.0, 1.0}));

TEST_F(RigidBodyStepTest, ASeparationPushIntoTheFloorIsUndone) {
    ERigidBodyPhysics* b = Box(0.5);
    ASSERT_NE(b, nullptr);
    b->m_State.P[1] = -80.0 * b->m_State.mass;
    ERigidBodyPhysics::SetNewState(&b->m_State);
    RigidBodyState s = b->m_State;
    b->GatherWorldTriangles(&s, &s, true);
    RigidBodyContactList& raw = g_RigidBodySimulation.m_Contacts;
    raw.dwNumContacts = 1;
    raw.Contacts[0] = RigidBodyContact{};
    raw.Contacts[0].hObjectA = b->m_hConstructionObj;
    raw.Contacts[0].n[1] = -1.0; // pushes down, into the floor
    const double y = b->m_State.x[1];
    g_RigidBodySimulation.SeparateAlongContactNormals(SlotOf(b), true, 1.1, 60.0, 40.0);
    EXPECT_EQ(b->m_State.x[1], y);
}

} // namespace
