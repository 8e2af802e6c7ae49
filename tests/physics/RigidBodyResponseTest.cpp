// The pieces of a body's step that need no contacts: the rotational energy
// and spin scaling against GLM, the energy limit after a response, the speed
// caps, putting a body to rest, the random shift's order from the 15-bit
// generator and its seed from the timer.
#include <gtest/gtest.h>

#include <glm/glm.hpp>
#include <glm/gtc/quaternion.hpp>
#include <glm/gtc/type_ptr.hpp>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <set>
#include <tuple>

#include "app/Timer.h"
#include "platform/os/Os.h"
#include "tests/physics/RigidBodyFixture.h"

namespace {

// A turned state with a full inertia tensor, spinning.
RigidBodyState SpinningState() {
    RigidBodyState s{};
    s.mass = 3.0;
    const double q[4] = {0.2, -0.4, 0.1, 0.85};
    std::memcpy(s.q, q, sizeof q);
    const double I[9] = {5.0, 0.5, 0.0, 0.5, 3.0, 0.25, 0.0, 0.25, 2.0};
    std::memcpy(s.Ibody, I, sizeof I);
    const glm::dmat3 inv = glm::inverse(glm::transpose(glm::make_mat3(I)));
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            s.Ibodyinv[r * 3 + c] = inv[c][r];
    s.L[0] = 1.0;
    s.L[1] = -2.0;
    s.L[2] = 0.5;
    ERigidBodyPhysics::SetNewState(&s);
    return s;
}

glm::dmat3 WorldInertia(const RigidBodyState& s) {
    const glm::dquat q = glm::normalize(glm::dquat(s.q[3], s.q[0], s.q[1], s.q[2]));
    const glm::dmat3 R = glm::mat3_cast(q);
    return R * glm::transpose(glm::make_mat3(s.Ibody)) * glm::transpose(R);
}

TEST(RigidBodySpin, RotationalEnergyAndScaledSpinAgreeWithGlm) {
    RigidBodyState s = SpinningState();
    const glm::dvec3 w(s.omega[0], s.omega[1], s.omega[2]);
    const glm::dmat3 I = WorldInertia(s);
    EXPECT_NEAR(RotationalKineticEnergy(&s), 0.5 * glm::dot(w, I * w), 1e-12);
    EXPECT_EQ(RotationalKineticEnergy(nullptr), 0.0);

    ScaleSpin(&s, 0.5);
    const glm::dvec3 L = I * (w * 0.5);
    for (int k = 0; k < 3; ++k) {
        EXPECT_NEAR(s.omega[k], w[k] * 0.5, 1e-12);
        EXPECT_NEAR(s.L[k], L[k], 1e-12);
    }
    // L agrees with the new omega: deriving again gives it back.
    RigidBodyState again = s;
    ERigidBodyPhysics::SetNewState(&again);
    for (int k = 0; k < 3; ++k)
        EXPECT_NEAR(again.omega[k], s.omega[k], 1e-12);
    ScaleSpin(nullptr, 2.0); // nothing
}

class RigidBodyResponseTest : public RigidBodyWorldTest {
  protected:
    void SetUp() override {
        RigidBodyWorldTest::SetUp();
        h_ = Prop(1, 3.0f);
        body_ = Add(h_);
        ASSERT_NE(body_, nullptr);
        RigidBodySlot* s = nullptr;
        ASSERT_TRUE(g_RigidBodySimulation.FindSlot(h_, &s));
        slot_ = g_RigidBodySimulation.RefOf(s) - 1;
        body_->Activate();
    }
    // Sets v and omega (with P and L to match) from a turned state.
    void Move(const double v[3], const double w[3]) {
        RigidBodyState& s = body_->m_State;
        const double q[4] = {0.2, -0.4, 0.1, 0.85};
        std::memcpy(s.q, q, sizeof q);
        ERigidBodyPhysics::SetNewState(&s);
        for (int k = 0; k < 3; ++k) {
            s.v[k] = v[k];
            s.P[k] = s.mass * v[k];
            s.omega[k] = w[k];
        }
        ScaleSpin(&s, 1.0);
    }
    double Linear() const {
        const double* v = body_->m_State.v;
        return 0.5 * body_->m_State.mass * (v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    }
    double Rotational() const { return RotationalKineticEnergy(&body_->m_State); }

    ObjectRecord* h_ = nullptr;
    ERigidBodyPhysics* body_ = nullptr;
    uint32_t slot_ = 0;
};

// What one energy is once limited: as the response left it, as stored before
// it, or the stored total less the other energy as the response left it (the
// part that grew gives back the whole excess).
enum class Energy { AsAfter, AsStored, Balance };

struct EnergyCase {
    const char* name;
    double v0[3], w0[3]; // before the response: stored
    double v1[3], w1[3]; // as the response left them
    Energy lin, rot;
};

class EnergyLimitTest : public RigidBodyResponseTest, public ::testing::WithParamInterface<EnergyCase> {};

TEST_P(EnergyLimitTest, TheTotalDoesNotGrowAndOnlyVAndOmegaChange) {
    const EnergyCase& c = GetParam();
    Move(c.v0, c.w0);
    g_RigidBodySimulation.StoreKineticEnergy(slot_);
    const double lin0 = body_->m_State.kept[0], rot0 = body_->m_State.kept[1];
    EXPECT_NEAR(lin0, Linear(), 1e-9);
    EXPECT_NEAR(rot0, Rotational(), 1e-9);
    Move(c.v1, c.w1);
    const double lin1 = Linear(), rot1 = Rotational();
    double P[3], L[3], v1[3], w1[3];
    std::memcpy(P, body_->m_State.P, sizeof P);
    std::memcpy(L, body_->m_State.L, sizeof L);
    std::memcpy(v1, body_->m_State.v, sizeof v1);
    std::memcpy(w1, body_->m_State.omega, sizeof w1);

    g_RigidBodySimulation.LimitKineticEnergy(slot_);
    auto expected = [&](Energy e, double after, double stored, double otherAfter) {
        switch (e) {
        case Energy::AsAfter:
            return after;
        case Energy::AsStored:
            return stored;
        default:
            return lin0 + rot0 - otherAfter;
        }
    };
    const double tolerance = 1e-9 * (lin0 + rot0 + lin1 + rot1);
    EXPECT_NEAR(Linear(), expected(c.lin, lin1, lin0, rot1), tolerance);
    EXPECT_NEAR(Rotational(), expected(c.rot, rot1, rot0, lin1), tolerance);
    EXPECT_LE(Linear() + Rotational(), lin0 + rot0 + tolerance);
    EXPECT_EQ(std::memcmp(P, body_->m_State.P, sizeof P), 0);
    EXPECT_EQ(std::memcmp(L, body_->m_State.L, sizeof L), 0);
    // Directions are kept: v and omega only change length.
    const glm::dvec3 v(body_->m_State.v[0], body_->m_State.v[1], body_->m_State.v[2]);
    const glm::dvec3 w(body_->m_State.omega[0], body_->m_State.omega[1], body_->m_State.omega[2]);
    EXPECT_NEAR(glm::length(glm::cross(v, glm::dvec3(v1[0], v1[1], v1[2]))), 0.0, 1e-9);
    EXPECT_NEAR(glm::length(glm::cross(w, glm::dvec3(w1[0], w1[1], w1[2]))), 0.0, 1e-9);
}

INSTANTIATE_TEST_SUITE_P(
    Responses, EnergyLimitTest,
    ::testing::Values(
        // Lost energy is not given back.
        EnergyCase{"Lost", {0, -50, 0}, {1, 0, 0}, {0, 20, 0}, {0.5, 0, 0}, Energy::AsAfter, Energy::AsAfter},
        // Speed turned into more spin than it held: the spin gives back.
        EnergyCase{
            "OnlySpinGrew", {0, -50, 0}, {1, 0, 0}, {0, 45, 0}, {20, 0, 0}, Energy::AsAfter, Energy::Balance},
        // Spin turned into more speed than it held: the speed gives back.
        EnergyCase{
            "OnlySpeedGrew", {10, 0, 0}, {3, 0, 0}, {30, 0, 0}, {1, 0, 0}, Energy::Balance, Energy::AsAfter},
        // Both grew: both back to what they were.
        EnergyCase{
            "BothGrew", {10, 0, 0}, {1, 1, 0}, {0, 20, 0}, {2, 2, 0}, Energy::AsStored, Energy::AsStored},
        // From spin alone to speed alone: the speed keeps what the spin held.
        EnergyCase{
            "SpinIntoSpeed", {0, 0, 0}, {3, 0, 0}, {0, 0, 60}, {0, 0, 0}, Energy::Balance, Energy::AsAfter}),
    [](const auto& info) { return std::string(info.param.name); });

struct CapCase {
    const char* name;
    bool sphere, box;
    double speed, spin;         // before
    double cappedSpeed, capped; // after
};

class SpeedCapTest : public RigidBodyResponseTest, public ::testing::WithParamInterface<CapCase> {};

TEST_P(SpeedCapTest, StepStartsAtTheCap) {
    const CapCase& c = GetParam();
    body_->m_Params.bSpherePreset = c.sphere;
    body_->m_Params.bBoxPreset = c.box;
    const double v[3] = {c.speed * 0.6, 0, -c.speed * 0.8};
    const double w[3] = {0, c.spin, 0};
    Move(v, w);
    ERigidBodySimulation::LimitSpeeds(body_);
    const RigidBodyState& s = body_->m_State;
    EXPECT_NEAR(std::sqrt(s.v[0] * s.v[0] + s.v[1] * s.v[1] + s.v[2] * s.v[2]), c.cappedSpeed, 1e-9);
    EXPECT_NEAR(s.v[0] / s.v[2], -0.75, 1e-12);
    for (int k = 0; k < 3; ++k)
        EXPECT_NEAR(s.P[k], s.mass * s.v[k], 1e-9);
    EXPECT_NEAR(std::fabs(s.omega[1]), c.capped, 1e-9);
    RigidBodyState again = s;
    ERigidBodyPhysics::SetNewState(&again);
    EXPECT_NEAR(again.omega[1], s.omega[1], 1e-9); // L follows the capped spin
}

INSTANTIATE_TEST_SUITE_P(Caps, SpeedCapTest,
                         ::testing::Values(CapCase{"Body", false, false, 300, 10, 280, 9},
                                           CapCase{"DroppedItem", false, true, 300, 10, 200, 8},
                                           CapCase{"Grenade", true, false, 300, 10, 300, 10},
                                           CapCase{"BelowTheCaps", false, false, 279, 8.5, 279, 8.5},
                                           CapCase{"ItemBelowItsCaps", false, true, 199, 7.5, 199, 7.5}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(RigidBodyResponseTest, ABodyPutToRestStopsWithFourEqualSnapshots) {
    const double v[3] = {5, -30, 0}, w[3] = {1, 2, 3};
    Move(v, w);
    body_->m_State.x[1] = 77.0;
    const uint32_t active = g_RigidBodySimulation.m_dwNumActive;
    g_RigidBodySimulation.PutBodyToRest(slot_);
    const RigidBodyState& s = body_->m_State;
    EXPECT_EQ(body_->m_bActive, 0);
    EXPECT_EQ(g_RigidBodySimulation.m_dwNumActive, active - 1);
    EXPECT_EQ(body_->m_dSleepCountdown, 2.0);
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(s.P[k], 0.0);
        EXPECT_EQ(s.L[k], 0.0);
        EXPECT_EQ(s.v[k], 0.0);
        EXPECT_EQ(s.omega[k], 0.0);
    }
    for (const RigidBodyState& snap : g_RigidBodySimulation.Slot(slot_).Snapshots)
        EXPECT_EQ(std::memcmp(&snap, &s, sizeof s), 0);
    EXPECT_EQ(s.x[1], 77.0);
}

// The classic generator, written out here as the oracle.
struct Lcg {
    uint32_t state;
    int Next() {
        state = state * 214013u + 2531011u;
        return int((state >> 16) & 0x7fff);
    }
};

TEST(RigidBodyEscape, OffsetsComeInOneFisherYatesDrawOfTheGenerator) {
    const double unit[12][3] = {{0, 1, 0}, {0, -1, 0}, {1, 0, 0}, {-1, 0, 0},  {0, 0, 1},   {0, 0, -1},
                                {0, 1, 1}, {1, 0, 1},  {1, 1, 0}, {0, -1, -1}, {-1, 0, -1}, {-1, -1, 0}};
    for (uint32_t seed : {1u, 4242u, 123456789u}) {
        os::Srand(seed);
        double out[12][3];
        ERigidBodySimulation::EscapeOffsets(1.4, false, out);
        // The oracle: each draw picks among the directions not yet picked.
        Lcg lcg{seed};
        int order[12] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
        int picked[12];
        for (int k = 11; k >= 0; --k) {
            const int j = lcg.Next() % (k + 1);
            picked[11 - k] = order[j];
            std::swap(order[j], order[k]);
        }
        std::set<int> seen;
        for (int i = 0; i < 12; ++i) {
            seen.insert(picked[i]);
            for (int c = 0; c < 3; ++c)
                EXPECT_EQ(out[i][c], unit[picked[i]][c] * 1.4) << seed << " " << i;
        }
        EXPECT_EQ(seen.size(), 12u);
        EXPECT_EQ(os::Rand(), lcg.Next()); // twelve values drawn, no more
    }
}

TEST(RigidBodyEscape, ADroppedItemIsNeverShiftedDown) {
    os::Srand(99);
    double out[12][3];
    ERigidBodySimulation::EscapeOffsets(2.0, true, out);
    int up = 0;
    for (const auto& o : out) {
        EXPECT_GE(o[1], 0.0);
        up += o[1] > 0.0;
    }
    EXPECT_EQ(up, 6); // (0, -d, 0), (0, -d, -d) and (-d, -d, 0) turned up as well
}

TEST_F(RigidBodyWorldTest, ResetSeedsTheGeneratorFromTheTimerAndEmptiesTheClassifiedList) {
    static uint64_t micros = 0;
    const TimerClock clock = {[] { return micros; }, [] { return uint64_t(1000000); },
                              [] { return uint32_t(micros / 1000); }};
    DXUtilTimerSetClock(&clock);
    for (uint64_t at : {uint64_t(2500000), uint64_t(7777777)}) {
        micros = at;
        // The last world's classified contacts do not outlive it.
        g_RigidBodySimulation.m_ClassifiedContacts.dwNumContacts = 3;
        g_RigidBodySimulation.Reset();
        EXPECT_EQ(g_RigidBodySimulation.m_ClassifiedContacts.dwNumContacts, 0u);
        // The absolute time in seconds times 100: 250, then 777.
        Lcg lcg{uint32_t(at / 10000)};
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(os::Rand(), lcg.Next()) << at;
    }
    DXUtilTimerSetClock(nullptr);
}

} // namespace

// ---- Contacts and their impulses ------------------------------------------------------------

class ContactResponseTest : public RigidBodyResponseTest {
  protected:
    // A contact of the body with the static world at p, normal n (as given,
    // not yet normalised).
    RigidBodyContact Floor(const double p[3], const double n[3]) const {
        RigidBodyContact c{};
        c.dwType = RigidBodyContact::VERTEX_FACE;
        c.hObjectA = body_->m_hConstructionObj;
        std::memcpy(c.p, p, sizeof c.p);
        std::memcpy(c.n, n, sizeof c.n);
        return c;
    }
    void SetVelocity(double vx, double vy, double vz) {
        const double v[3] = {vx, vy, vz}, w[3] = {0, 0, 0};
        Move(v, w);
        // Upright again: the contacts below are placed on an unturned box.
        RigidBodyState& s = body_->m_State;
        s.q[0] = s.q[1] = s.q[2] = 0.0;
        s.q[3] = 1.0;
        ERigidBodyPhysics::SetNewState(&s);
    }
    // The raw list holds the given contacts; they are classified.
    void Classify(std::initializer_list<RigidBodyContact> contacts) {
        RigidBodyContactList& raw = g_RigidBodySimulation.m_Contacts;
        raw.dwNumContacts = 0;
        for (const RigidBodyContact& c : contacts)
            raw.Contacts[raw.dwNumContacts++] = c;
        g_RigidBodySimulation.ClassifyContacts(&raw);
    }
    const double* Below() const {
        static double p[3];
        p[0] = body_->m_State.x[0];
        p[1] = body_->m_State.x[1] - 2.0;
        p[2] = body_->m_State.x[2];
        return p;
    }
};

struct ClassifyCase {
    const char* name;
    bool sphere;
    double vy;     // the body's vertical speed at a floor contact below it
    bool kept;     // in the classified list
    double normal; // the kept normal's y
};

class ClassifyTest : public ContactResponseTest, public ::testing::WithParamInterface<ClassifyCase> {};

TEST_P(ClassifyTest, ApproachingKeptSlowlySeparatingReversed) {
    const ClassifyCase& c = GetParam();
    body_->m_Params.bSpherePreset = c.sphere;
    SetVelocity(3.0, c.vy, 0.0);
    const double n[3] = {0, 2, 0}; // not unit: normalised on the way
    Classify({Floor(Below(), n)});
    const RigidBodyContact& raw = g_RigidBodySimulation.m_Contacts.Contacts[0];
    EXPECT_DOUBLE_EQ(raw.dRelativeSpeed, c.vy);
    EXPECT_DOUBLE_EQ(raw.n[1], 1.0);
    // The sliding direction in the contact plane.
    EXPECT_DOUBLE_EQ(raw.vTangent[0], 1.0);
    EXPECT_DOUBLE_EQ(raw.vTangent[1], 0.0);
    const RigidBodyContactList& kept = g_RigidBodySimulation.m_ClassifiedContacts;
    ASSERT_EQ(kept.dwNumContacts, c.kept ? 1u : 0u);
    if (c.kept) {
        EXPECT_DOUBLE_EQ(kept.Contacts[0].n[1], c.normal);
    }
}

INSTANTIATE_TEST_SUITE_P(Speeds, ClassifyTest,
                         ::testing::Values(ClassifyCase{"Approaching", false, -20.0, true, 1.0},
                                           ClassifyCase{"SeparatingAt5", false, 5.0, true, -1.0},
                                           ClassifyCase{"SeparatingJustBelow10", false, 9.99, true, -1.0},
                                           ClassifyCase{"SeparatingAt10", false, 10.0, false, 0},
                                           ClassifyCase{"Resting", false, 0.0, true, -1.0},
                                           ClassifyCase{"GrenadeApproaching", true, -20.0, true, 1.0},
                                           ClassifyCase{"GrenadeSeparatingAt5", true, 5.0, false, 0}),
                         [](const auto& info) { return std::string(info.param.name); });

struct BounceCase {
    const char* name;
    bool sphere;
    double vx, vy;   // before, at a floor contact right below the centre
    double vx1, vy1; // after
};

class BounceTest : public ContactResponseTest, public ::testing::WithParamInterface<BounceCase> {};

TEST_P(BounceTest, OneImpulseAlongTheNormalWithFrictionAboveThirty) {
    const BounceCase& c = GetParam();
    body_->m_Params.bSpherePreset = c.sphere;
    SetVelocity(c.vx, c.vy, 0.0);
    body_->m_dAge = 5.0;
    const double n[3] = {0, 1, 0};
    Classify({Floor(Below(), n)});
    g_RigidBodySimulation.ApplyCollisionImpulses();
    const RigidBodyState& s = body_->m_State;
    EXPECT_NEAR(s.v[0], c.vx1, 1e-9);
    EXPECT_NEAR(s.v[1], c.vy1, 1e-9);
    for (int k = 0; k < 3; ++k)
        EXPECT_NEAR(s.P[k], s.mass * s.v[k], 1e-9);
    RigidBodyState again = s;
    ERigidBodyPhysics::SetNewState(&again);
    for (int k = 0; k < 3; ++k)
        EXPECT_NEAR(again.omega[k], s.omega[k], 1e-12); // omega = Iinv L
    EXPECT_EQ(body_->m_dAge, 0.0);                      // kept awake
}

INSTANTIATE_TEST_SUITE_P(Contacts, BounceTest,
                         ::testing::Values(
                             // j = 1.41 m 100: straight up at 41.
                             BounceCase{"Body", false, 0.0, -100.0, 0.0, 41.0},
                             BounceCase{"Grenade", true, 0.0, -100.0, 0.0, 56.0},
                             // Point speed 20.6: no friction.
                             BounceCase{"SlowSlide", false, 5.0, -20.0, 5.0, 8.2},
                             // Point speed 107: friction 0.14 j against the slide, j = 141 m.
                             BounceCase{"FastSlide", false, 40.0, -100.0, 40.0 - 0.14 * 141.0, 41.0}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ContactResponseTest, TwoBodiesShareTheImpulseAndKeepTheirMomentum) {
    ObjectRecord* other = Prop(1, 6.0f);
    SetObjectPosition(other, {0, -10, 0});
    ERigidBodyPhysics* below = Add(other);
    ASSERT_NE(below, nullptr);
    below->Activate();
    SetVelocity(0.0, -30.0, 0.0);
    below->m_State.P[1] = 6.0 * 10.0;
    ERigidBodyPhysics::SetNewState(&below->m_State);
    const double before = body_->m_State.P[1] + below->m_State.P[1];
    const double p[3] = {0, -5, 0}, n[3] = {0, 1, 0};
    RigidBodyContact c = Floor(p, n);
    c.hObjectB = below->m_hConstructionObj;
    Classify({c});
    ASSERT_EQ(g_RigidBodySimulation.m_ClassifiedContacts.dwNumContacts, 1u);
    EXPECT_DOUBLE_EQ(g_RigidBodySimulation.m_Contacts.Contacts[0].dRelativeSpeed, -40.0);
    g_RigidBodySimulation.ApplyCollisionImpulses();
    EXPECT_NEAR(body_->m_State.P[1] + below->m_State.P[1], before, 1e-9);
    // Along the line of centres: the relative speed turns to 0.41 of itself.
    EXPECT_NEAR(body_->m_State.v[1] - below->m_State.v[1], 0.41 * 40.0, 1e-9);
}

TEST_F(ContactResponseTest, TheSolverAnswersFourCornersAtOnce) {
    SetVelocity(0.0, -50.0, 0.0);
    const double* x = body_->m_State.x;
    const double n[3] = {0, 1, 0};
    std::vector<RigidBodyContact> corners;
    for (double dx : {-1.0, 1.0})
        for (double dz : {-3.0, 3.0}) {
            const double p[3] = {x[0] + dx, x[1] - 2.0, x[2] + dz};
            corners.push_back(Floor(p, n));
        }
    Classify({corners[0], corners[1], corners[2], corners[3]});
    ASSERT_EQ(g_RigidBodySimulation.m_ClassifiedContacts.dwNumContacts, 4u);
    ASSERT_TRUE(g_RigidBodySimulation.ComputeContactImpulses());
    // Every corner leaves at no less than 0.41 of its approach, the box does
    // not turn, and nothing moves sideways.
    const RigidBodyState& s = body_->m_State;
    EXPECT_NEAR(s.v[1], 0.41 * 50.0, 1e-6);
    EXPECT_NEAR(s.v[0], 0.0, 1e-9);
    for (int k = 0; k < 3; ++k)
        EXPECT_NEAR(s.omega[k], 0.0, 1e-9);
}

TEST_F(ContactResponseTest, MoreThanFortyEightContactsAreLeftToOneByOne) {
    SetVelocity(0.0, -50.0, 0.0);
    const double n[3] = {0, 1, 0};
    RigidBodyContactList& raw = g_RigidBodySimulation.m_Contacts;
    raw.dwNumContacts = 49;
    for (uint32_t i = 0; i < raw.dwNumContacts; ++i)
        raw.Contacts[i] = Floor(Below(), n);
    g_RigidBodySimulation.ClassifyContacts(&raw);
    ASSERT_EQ(g_RigidBodySimulation.m_ClassifiedContacts.dwNumContacts, 49u);
    const RigidBodyState before = body_->m_State;
    EXPECT_FALSE(g_RigidBodySimulation.ComputeContactImpulses());
    EXPECT_EQ(std::memcmp(&body_->m_State, &before, sizeof before), 0);
    // One by one, the first contact turns the fall and the others find the
    // body leaving.
    g_RigidBodySimulation.ApplyCollisionImpulses();
    EXPECT_NEAR(body_->m_State.v[1], 0.41 * 50.0, 1e-9);
}

TEST_F(ContactResponseTest, DeflectionTurnsVAlongTheWeightedNormals) {
    SetVelocity(30.0, -40.0, 0.0);
    const double P[3] = {body_->m_State.P[0], body_->m_State.P[1], body_->m_State.P[2]};
    const double up[3] = {0, 1, 0}, side[3] = {3, 0, 0};
    RigidBodyContact wall = Floor(Below(), side);
    RigidBodyContact floor = Floor(Below(), up);
    RigidBodyContact elsewhere = Floor(Below(), up);
    elsewhere.hObjectA = Make(OT_MESH); // not this body's
    RigidBodyContactList& raw = g_RigidBodySimulation.m_Contacts;
    raw.dwNumContacts = 0;
    EXPECT_FALSE(g_RigidBodySimulation.DeflectFromContacts(slot_));
    raw.Contacts[raw.dwNumContacts++] = elsewhere;
    EXPECT_FALSE(g_RigidBodySimulation.DeflectFromContacts(slot_));
    raw.Contacts[raw.dwNumContacts++] = wall;
    raw.Contacts[raw.dwNumContacts++] = floor;
    os::Srand(7);
    Lcg lcg{7};
    const double r1 = lcg.Next() / 32767.0, r2 = lcg.Next() / 32767.0;
    ASSERT_TRUE(g_RigidBodySimulation.DeflectFromContacts(slot_));
    const double len = std::sqrt(r1 * r1 + r2 * r2);
    EXPECT_NEAR(body_->m_State.v[0], 50.0 * r1 / len, 1e-9);
    EXPECT_NEAR(body_->m_State.v[1], 50.0 * r2 / len, 1e-9);
    EXPECT_EQ(std::memcmp(P, body_->m_State.P, sizeof P), 0); // P is left for the next derivation
}
