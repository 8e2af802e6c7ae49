// The slide mover on the demo world's course: steps and ramps, the glide
// over a step, corners, hurting and killing floors, ground contact, stuck
// bodies, pushed crates, and the mover's finder.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "SlideCourse.h"
#include "physics/RigidBodySimulation.h"
#include "render/Mesh.h"

namespace {

using math::Vec3;

// ---- Steps and ramps --------------------------------------------------------------------

struct ClimbCase {
    const char* name;
    const char* piece; // a course piece climbing along +z from its position
    bool climbs;
};

class SlideClimbTest : public SlideCourseTest, public ::testing::WithParamInterface<ClimbCase> {};

TEST_P(SlideClimbTest, WalksUpOrIsHeldAtTheFoot) {
    const ClimbCase& c = GetParam();
    ObjectRecord* piece = Find(c.piece);
    ASSERT_TRUE(piece);
    const Vec3 at = piece->vPosition;
    Stand(at.x, 0, at.z - 60);
    const float highest = Walk({0, 0, kWalk}, 1.0f);
    if (c.climbs) {
        EXPECT_GT(highest, 50.0f);
    } else {
        EXPECT_LT(highest, 12.0f);
        EXPECT_LT(Position().z, at.z); // held before the piece
    }
}

INSTANTIATE_TEST_SUITE_P(Course, SlideClimbTest,
                         ::testing::Values(ClimbCase{"Steps16", "course_stairs16", true},
                                           ClimbCase{"Steps20", "course_stairs20", false},
                                           ClimbCase{"Ramp40", "course_ramp40", true},
                                           ClimbCase{"Ramp50", "course_ramp50", false}),
                         [](const auto& info) { return info.param.name; });

TEST_F(SlideCourseTest, AStepIsTakenAsAGlideAtLeastAtGlideSpeedEndingAtItsEnd) {
    const Vec3 at = Find("course_stairs16")->vPosition;
    Stand(at.x, 0, at.z - 40);
    EMovePlayerSlide& m = g_MovePlayerSlide;
    const uint32_t glides = m.m_dwGlides;
    // Walk to the first step until a glide starts.
    Vec3 before, wanted;
    int frames = 0;
    for (; frames < 100 && !m.m_bPushActive; ++frames) {
        before = Position();
        wanted = before + Vec3(0, 0, kWalk * kFrame) - Vec3(0, kFall, 0);
        uint8_t contact = 0;
        ASSERT_TRUE(m.MovePlayerSlide(stand_, &wanted, &contact, true));
        SetObjectPosition(stand_, wanted);
    }
    ASSERT_TRUE(m.m_bPushActive);
    EXPECT_EQ(m.m_dwGlides, glides + 1);
    const float wantedMove = math::Vec3Length(Vec3(0, -kFall, kWalk * kFrame));
    // The step's result lies more than 2 units beyond the wanted move; the
    // body takes the wanted length of it along the glide line.
    EXPECT_NEAR(math::Vec3Length(wanted - before), wantedMove, 1e-3f);
    const Vec3 end = before + m.m_vPushDir * (wantedMove + m.m_fPushRemaining);
    EXPECT_GT(wantedMove + m.m_fPushRemaining, wantedMove + 2.0f);
    EXPECT_GT(end.y - kFeet, 15.0f); // the glide ends on the step

    // Slow frames: the glide runs at 145 units a second however little the
    // player asks, with the contact flag set and no collision test.
    g_Engine.m_fFrameTime = 0.01f;
    int glideFrames = 0;
    while (m.m_bPushActive && glideFrames < 100) {
        const Vec3 p = Position();
        Vec3 w = p; // nothing asked for
        uint8_t contact = 0;
        ASSERT_TRUE(m.MovePlayerSlide(stand_, &w, &contact, true));
        if (!m.m_bPushActive) {
            // The last glide frame placed the body at the glide's end.
            EXPECT_NEAR(Position().x, end.x, 1e-3f);
            EXPECT_NEAR(Position().y, end.y, 1e-3f);
            EXPECT_NEAR(Position().z, end.z, 1e-3f);
        } else {
            EXPECT_EQ(contact, 1);
            EXPECT_GE(math::Vec3Length(w - p), 145.0f * 0.01f - 1e-4f);
        }
        SetObjectPosition(stand_, w);
        ++glideFrames;
    }
    EXPECT_FALSE(m.m_bPushActive);
    EXPECT_GT(glideFrames, 2);
    EXPECT_GT(Feet(), 15.0f);
}

// ---- Corners ----------------------------------------------------------------------------

TEST_F(SlideCourseTest, AnInnerCornerHoldsTheBodyWhenNoSideStepGetsCloser) {
    // The corner's inner edge: side wall face at x = 1186, front wall face at
    // z = 100 (the piece stands at (1250, 0, 100)).
    Stand(1230, 0, 60);
    Walk({-kWalk, 0, kWalk}, 1.0f);
    const Vec3 held = Position();
    EXPECT_NEAR(held.x, 1186 + 16, 1.0f);
    EXPECT_NEAR(held.z, 100 - 16, 1.0f);
    for (int i = 0; i < 10; ++i) {
        Frame({-kWalk, 0, kWalk});
        EXPECT_NEAR(Position().x, held.x, 0.5f);
        EXPECT_NEAR(Position().z, held.z, 0.5f);
        EXPECT_NEAR(Position().y, held.y, 0.5f);
    }
}

TEST_F(SlideCourseTest, ASideStepLeadsThroughTheGapBesideTheBody) {
    // The gap runs from x = 1250 to 1286; the body at x = 1260 overlaps the
    // wall beside it by 6 units. Full-length player steps (22 units): the
    // plain slide stops at the wall, the step of 8 to the right fits the gap
    // and gets closer to the goal.
    Stand(1260, 0, 60);
    g_Engine.m_fFrameTime = 0.1f;
    for (int i = 0; i < 6; ++i)
        Frame({0, 0, 220});
    EXPECT_GT(Position().z, 124.0f); // through the 8-unit wall
    EXPECT_GT(Position().x, 1266.0f);
    EXPECT_LT(Position().x, 1270.0f);
}

// ---- Surfaces and contact ---------------------------------------------------------------

struct HurtCase {
    const char* name;
    const char* floor;
    uint32_t flags2;    // 0: as the world file gives them
    float expectedLoss; // at frame time kFrame
    bool hurt, kill;
};

class SlideHurtTest : public SlideCourseTest, public ::testing::WithParamInterface<HurtCase> {};

TEST_P(SlideHurtTest, EachObjectHurtsOncePerMove) {
    const HurtCase& c = GetParam();
    ObjectRecord* floor = Find(c.floor);
    ASSERT_TRUE(floor);
    if (c.flags2) SetObjectFlags2(floor, c.flags2, 0xFFFFFFFF);
    // The slab's top is 4 high and cut into 32 triangles; several touch.
    Stand(floor->vPosition.x + 5, 4, floor->vPosition.z + 5);
    Walk({0, 0, 0}, 0.2f); // settle
    const float savedHealth = PlayerHealth, savedMax = PlayerMaxHealth;
    const uint8_t savedDead = PlayerDead;
    PlayerMaxHealth = 1000;
    PlayerHealth = 500;
    MarkConsole();
    Frame({10, 0, 10}, nullptr, kFall); // pressed onto the slab
    EXPECT_NEAR(PlayerHealth, 500 - c.expectedLoss, 1e-3f);
    EXPECT_EQ(Printed("HURT Player... "), c.hurt);
    EXPECT_EQ(Printed("KILL Player... "), c.kill);
    if (c.hurt) {
        EXPECT_TRUE(PrintedLine((std::string("HURT Player... ") + c.floor).c_str()));
    }
    PlayerHealth = savedHealth;
    PlayerMaxHealth = savedMax;
    PlayerDead = savedDead;
}

INSTANTIATE_TEST_SUITE_P(Course, SlideHurtTest,
                         ::testing::Values(HurtCase{"Hurts", "course_hurt", 0, 50 * 0.02f, true, false},
                                           HurtCase{"Kills", "course_kill", 0, 150, false, true},
                                           HurtCase{"Both", "course_kill", 0x4000000 | 0x400000,
                                                    50 * 0.02f + 150, true, true},
                                           HurtCase{"Neither", "course_hurt", 0x40, 0, false, false}),
                         [](const auto& info) { return info.param.name; });

TEST_F(SlideCourseTest, TheContactFlagFollowsTheGroundOffALedge) {
    // The ledge: 64 high, z from -248 to -152 around x = 1420.
    Stand(1420, 64, -200);
    uint8_t contact = 0;
    Frame({0, 0, 0}, &contact);
    EXPECT_EQ(contact, 1);
    EXPECT_TRUE(g_MovePlayerSlide.IsOnGround());
    bool fell = false, landed = false;
    for (int i = 0; i < 80 && !landed; ++i) {
        Frame({0, 0, kWalk}, &contact);
        if (!contact) {
            fell = true;
            EXPECT_FALSE(g_MovePlayerSlide.IsOnGround());
            EXPECT_GT(Feet(), 0.5f);
        } else if (fell) {
            landed = true;
            EXPECT_LT(Feet(), 2.0f);
            EXPECT_TRUE(g_MovePlayerSlide.IsOnGround());
        }
    }
    EXPECT_TRUE(fell);
    EXPECT_TRUE(landed);
}

TEST_F(SlideCourseTest, ShortUnforcedMovesAreRefusedAndForcedOnesRun) {
    Stand(1100, 0, 300);
    const Vec3 at = Position();
    Vec3 wanted = at + Vec3(0.0005f, 0, 0);
    uint8_t contact = 7;
    EXPECT_FALSE(g_MovePlayerSlide.MovePlayerSlide(stand_, &wanted, &contact, false));
    EXPECT_EQ(wanted, at);
    EXPECT_EQ(contact, 7); // untouched
    wanted = at + Vec3(0.0005f, 0, 0);
    EXPECT_TRUE(g_MovePlayerSlide.MovePlayerSlide(stand_, &wanted, &contact, true));
    EXPECT_EQ(contact, 1); // the floor half a unit below is ground
    EXPECT_TRUE(g_MovePlayerSlide.IsOnGround());
    // Null arguments.
    EXPECT_FALSE(g_MovePlayerSlide.MovePlayerSlide(nullptr, &wanted, &contact, true));
    EXPECT_FALSE(g_MovePlayerSlide.MovePlayerSlide(stand_, nullptr, &contact, true));
    EXPECT_FALSE(g_MovePlayerSlide.MovePlayerSlide(stand_, &wanted, nullptr, true));
}

// ---- Stuck bodies ---------------------------------------------------------------------------

// A shaft of four walls 200 high and 8 thick round an inside of the given
// half-widths (faces wound outwards), written into the test's data and
// placed on the course floor.
class SlideStuckTest : public SlideCourseTest {
  protected:
    ObjectRecord* Shaft(const Vec3& at, float hx, float hz) {
        const float t = 8, h = 200;
        std::vector<coltest::Triangle> tris;
        auto box = [&](const Vec3& lo, const Vec3& hi) {
            math::Vec3 c[8];
            BoxCorners(lo, hi, c);
            const Vec3 centre = (lo + hi) * 0.5f;
            for (int i = 0; i < 36; i += 3) {
                coltest::Triangle tri{c[BoxTriangleIndices[i]], c[BoxTriangleIndices[i + 1]],
                                      c[BoxTriangleIndices[i + 2]]};
                const Vec3 n = math::Vec3Cross(tri.b - tri.a, tri.c - tri.a);
                if (math::Vec3Dot(n, tri.a - centre) < 0) std::swap(tri.b, tri.c);
                tris.push_back(tri);
            }
        };
        box({hx, 0, -hz - t}, {hx + t, h, hz + t});
        box({-hx - t, 0, -hz - t}, {-hx, h, hz + t});
        box({-hx, 0, hz}, {hx, h, hz + t});
        box({-hx, 0, -hz - t}, {hx, h, -hz});
        Write("models\\shaft.x", {tris});
        return MakeMesh("models\\shaft.x", at, 13);
    }

    // The body stays at -9999 while the searches run straight from a point.
    static Vec3 Search(void (EMovePlayerSlide::*search)(Vec3*, const Vec3&, const Vec3&), const Vec3& start) {
        const EMesh* mesh = g_Player.m_hObjectStand->Mesh();
        Vec3 p = start;
        (g_MovePlayerSlide.*search)(&p, mesh->m_vBoxMin, mesh->m_vBoxMax);
        return p;
    }
    static constexpr auto kLifting = &EMovePlayerSlide::UnstickByLifting;
    static constexpr auto kSearching = &EMovePlayerSlide::UnstickBySearching;
    static constexpr auto kPushing = &EMovePlayerSlide::UnstickByPushing;

    // One forced move of the body, placed at start, asked to stay there.
    bool MoveFrom(const Vec3& start, Vec3* result) {
        SetObjectPosition(stand_, start);
        *result = start;
        uint8_t contact = 0;
        return g_MovePlayerSlide.MovePlayerSlide(stand_, result, &contact, true);
    }
    // Where a freed body ended: it fits there.
    void ExpectFreed(const Vec3& start) {
        const uint32_t searches = g_MovePlayerSlide.m_dwUnstickSearches;
        Vec3 result;
        ASSERT_TRUE(MoveFrom(start, &result));
        EXPECT_EQ(g_MovePlayerSlide.m_dwUnstickSearches, searches + 1);
        SetObjectPosition(stand_, {-9999, -9999, -9999});
        EXPECT_TRUE(g_MovePlayerSlide.IsPositionFree(stand_, result));
    }
};

TEST_F(SlideStuckTest, ABodySunkIntoTheFloorIsLifted) {
    const Vec3 start{1100, -5 + kFeet, 300}; // feet 5 under the course floor
    // Straight up by 7: the first lift of 3 still cuts the floor.
    EXPECT_EQ(Search(kLifting, start), start + Vec3(0, 7, 0));
    ExpectFreed(start);
}

TEST_F(SlideStuckTest, ABodyInATallWallIsFoundARingAway) {
    // The room's east wall (256 high) cut 10 deep: lifting cannot clear it,
    // the search's first ring can, in its first direction (-1, +1), lifted
    // by 1.
    const CollisionMeshEntry* e = g_CollisionMgr.GetEntry(Find("wall_east"));
    ASSERT_TRUE(e);
    const Vec3 start{e->vWorldMin.x - 6, 1 + kFeet, 0};
    EXPECT_EQ(Search(kLifting, start), start);
    EXPECT_EQ(Search(kSearching, start), start + Vec3(-12, 1, 12));
    ExpectFreed(start);
}

TEST_F(SlideStuckTest, ABodyInANarrowShaftIsPushedOffTheWall) {
    // Inside 36 x 36: the body (32) cuts the +x wall by 3; every lift, ring
    // and search position either cuts a wall or lies beyond one.
    const Vec3 at{1100, 0, 400};
    ASSERT_TRUE(Shaft(at, 18, 18));
    const Vec3 start = at + Vec3(5, 1 + kFeet, 0);
    EXPECT_EQ(Search(kLifting, start), start);
    EXPECT_EQ(Search(kSearching, start), start);
    // Along the wall's normal a unit at a time until it no longer cuts in.
    EXPECT_EQ(Search(kPushing, start), start - Vec3(4, 0, 0));
    ExpectFreed(start);
}

TEST_F(SlideStuckTest, AHopelessBodyStaysAndBothBodiesGetTheirFlagsBack) {
    const Vec3 at{1100, 0, 400};
    ASSERT_TRUE(Shaft(at, 15, 18)); // narrower than the body
    const Vec3 start = at + Vec3(0, 1 + kFeet, 0);
    Vec3 result;
    EXPECT_FALSE(MoveFrom(start, &result));
    EXPECT_EQ(result, start);
    EXPECT_EQ(Position(), start);
    EXPECT_EQ(stand_->dwFlags, 2048u | 4u);
    EXPECT_EQ(crouch_->dwFlags, 2048u);
}

// ---- Loose bodies -------------------------------------------------------------------------

TEST_F(SlideCourseTest, WalkingIntoACratePushesItOncePerTouchingTriangle) {
    ObjectRecord* crate = Find("course_crate");
    ASSERT_TRUE(crate);
    if (!crate->dwRigidBody)
        crate->dwRigidBody = g_RigidBodySimulation.RefOf(g_RigidBodySimulation.AddBody(crate));
    ERigidBodyPhysics* body = nullptr;
    ASSERT_TRUE(g_RigidBodySimulation.FindBody(crate, &body));
    ASSERT_TRUE(body->m_Params.bCollideWithPlayer);
    auto momentum = [&] {
        const double* P = body->m_State.P;
        return std::sqrt(P[0] * P[0] + P[1] * P[1] + P[2] * P[2]);
    };
    // The crate: a 32-unit cube from x 1524 to 1556.
    Stand(1500, 0, 0);
    Walk({kWalk, 0, 0}, 0.2f);
    EXPECT_GT(body->m_State.P[0], 0.0);
    // Each impulse is 170 along the move's direction.
    const double pushes = std::round(momentum() / 170.0);
    EXPECT_GE(pushes, 1.0);
    EXPECT_NEAR(momentum() / pushes, 170.0, 20.0);

    // A crate the player does not push.
    body->m_Params.bCollideWithPlayer = 0;
    const double before = momentum();
    Walk({kWalk, 0, 0}, 0.2f);
    EXPECT_EQ(momentum(), before);
    g_RigidBodySimulation.RemoveBody(g_RigidBodySimulation.SlotOf(crate->dwRigidBody));
    crate->dwRigidBody = 0;
}

// ---- The finder --------------------------------------------------------------------------

TEST_F(SlideCourseTest, ReleasingTheFinderMakesTheNextMoveCreateANewOne) {
    Stand(1100, 0, 300);
    const int finders = g_CollisionMgr.NumFinders();
    Frame({0, 0, 0});
    ASSERT_TRUE(g_MovePlayerSlide.m_pFinder);
    EXPECT_EQ(g_CollisionMgr.NumFinders(), finders + 1);
    Frame({10, 0, 0});
    EXPECT_EQ(g_CollisionMgr.NumFinders(), finders + 1); // moved, not made again
    g_MovePlayerSlide.ReleaseFinder(false);
    EXPECT_TRUE(g_MovePlayerSlide.m_pFinder);
    g_MovePlayerSlide.ReleaseFinder(true);
    EXPECT_FALSE(g_MovePlayerSlide.m_pFinder);
    EXPECT_EQ(g_CollisionMgr.NumFinders(), finders);
    uint8_t contact = 0;
    Frame({10, 0, 0}, &contact);
    EXPECT_TRUE(g_MovePlayerSlide.m_pFinder);
    EXPECT_EQ(g_CollisionMgr.NumFinders(), finders + 1);
    EXPECT_EQ(contact, 1); // the new finder gathered the floor
}

// ---- Fitting and moving boxes --------------------------------------------------------------

struct FreeCase {
    const char* name;
    float z; // the standing body's position at x 0, y 100, by the north wall
    bool free;
};

class SlideFreeTest : public SlideCourseTest, public ::testing::WithParamInterface<FreeCase> {};

TEST_P(SlideFreeTest, TheBoxAtThePositionFitsOrNot) {
    const FreeCase& c = GetParam();
    // wall_north's face at z = 504; the body reaches 16 either side.
    SetObjectPosition(crouch_, {0, 100, 200}); // a body in the way is left out
    EXPECT_EQ(g_MovePlayerSlide.IsPositionFree(stand_, {0, 100, c.z}), c.free);
    EXPECT_EQ(stand_->dwFlags, 2048u | 4u);
    EXPECT_EQ(crouch_->dwFlags, 2048u);
}

INSTANTIATE_TEST_SUITE_P(Room, SlideFreeTest,
                         ::testing::Values(FreeCase{"Free", 200, true},
                                           // Within 10 of the wall: only the gathering grows.
                                           FreeCase{"NearTheWall", 504 - 16 - 5, true},
                                           FreeCase{"CuttingIn", 504 - 16 + 0.5f, false},
                                           FreeCase{"InTheWall", 512, false},
                                           FreeCase{"BeyondTheWall", 600, true}),
                         [](const auto& info) { return info.param.name; });

TEST_F(SlideCourseTest, AFreePositionNeedsAnObjectWithAMesh) {
    EXPECT_FALSE(g_MovePlayerSlide.IsPositionFree(nullptr, {0, 100, 0}));
    ObjectRecord* light = Make(OT_LIGHT, {0, 100, 0});
    EXPECT_FALSE(g_MovePlayerSlide.IsPositionFree(light, {0, 100, 0}));
}

struct MoveCase {
    const char* name;
    Vec3 from, to;
    const char* hit; // the object named after a hit, or null for none
};

class SlideObjectMoveTest : public SlideCourseTest, public ::testing::WithParamInterface<MoveCase> {};

TEST_P(SlideObjectMoveTest, TellsWhetherTheBoxMeetsAnything) {
    const MoveCase& c = GetParam();
    ObjectRecord* box = MakeMesh("prefabs\\special\\hero_kuca.x", c.from, 13); // gathers with the world
    ASSERT_TRUE(box);
    EXPECT_EQ(g_MovePlayerSlide.TestObjectMove(box, &c.from, &c.to), c.hit != nullptr);
    EXPECT_EQ(g_MovePlayerSlide.m_hLastHitObject, c.hit ? Find(c.hit) : nullptr);
    EXPECT_EQ(box->dwFlags, 13u); // its own flag is back
}

INSTANTIATE_TEST_SUITE_P(
    Room, SlideObjectMoveTest,
    ::testing::Values(
        MoveCase{"Free", {0, 100, 0}, {100, 120, 100}, nullptr},
        MoveCase{"ThroughTheNorthWall", {0, 100, 400}, {0, 100, 700}, "wall_north"},
        MoveCase{"IntoTheFloor", {0, 100, 0}, {0, 10, 0}, "alcove_floor"}, // the floor panel at the centre
        MoveCase{"StandingInTheWall", {0, 100, 512}, {0, 100, 512}, "wall_north"},
        MoveCase{"StandingFree", {0, 100, 0}, {0, 100, 0}, nullptr},
        MoveCase{"ThroughThePillar", {-450, 60, 250}, {-250, 60, 250}, "pillar"}),
    [](const auto& info) { return info.param.name; });

TEST_F(SlideCourseTest, AnObjectMoveNeedsTheObjectAndBothPoints) {
    const Vec3 a{0, 100, 0}, b{0, 100, 700};
    EXPECT_FALSE(g_MovePlayerSlide.TestObjectMove(nullptr, &a, &b));
    EXPECT_FALSE(g_MovePlayerSlide.TestObjectMove(stand_, nullptr, &b));
    EXPECT_FALSE(g_MovePlayerSlide.TestObjectMove(stand_, &a, nullptr));
}

} // namespace
