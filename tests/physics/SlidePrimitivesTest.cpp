// The slide mover's primitives on triangles placed straight into its buffer
// (the gathered box spans everything, so no query asks the collision
// manager): the sweep's results, the contact-normal probes, the velocity
// clip and the multi-bump slide; and the swept-box test against an oracle
// that samples the box along its motion.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <random>
#include <vector>

#include "app/Geometry.h"
#include "physics/MovePlayerSlide.h"
#include "platform/math/Math.h"
#include "world/ObjectRecord.h"

namespace {

using math::Vec3;

// A mover whose buffer holds only the triangles a test puts there.
class SlideBuffer {
  public:
    SlideBuffer() : mover_(std::make_unique<EMovePlayerSlide>()) {
        mover_->m_vGatherMin = Vec3(-1e6f, -1e6f, -1e6f);
        mover_->m_vGatherMax = Vec3(1e6f, 1e6f, 1e6f);
    }
    EMovePlayerSlide& operator*() { return *mover_; }
    EMovePlayerSlide* operator->() { return mover_.get(); }

    void Triangle(const Vec3& a, const Vec3& b, const Vec3& c, ObjectRecord* object = nullptr) {
        CollisionTriangle& t = mover_->m_pTriangles[mover_->m_dwNumTriangles++];
        t.vVertices[0] = a;
        t.vVertices[1] = b;
        t.vVertices[2] = c;
        t.vNormal = math::Vec3Normalize(math::Vec3Cross(b - a, c - a));
        t.vMin = math::Vec3Minimize(a, math::Vec3Minimize(b, c));
        t.vMax = math::Vec3Maximize(a, math::Vec3Maximize(b, c));
        t.hObject = object;
    }
    // The quad corner, corner + u, corner + u + v, corner + v, facing u x v.
    void Quad(const Vec3& corner, const Vec3& u, const Vec3& v) {
        Triangle(corner, corner + u, corner + u + v);
        Triangle(corner, corner + u + v, corner + v);
    }
    // Big walls: a floor at height y facing up, and walls facing -x at x and
    // facing -z at z.
    void Floor(float y) { Quad({-1000, y, -1000}, {0, 0, 2000}, {2000, 0, 0}); }
    void WallX(float x) { Quad({x, -1000, -1000}, {0, 0, 2000}, {0, 2000, 0}); }
    void WallZ(float z) { Quad({-1000, -1000, z}, {0, 2000, 0}, {2000, 0, 0}); }

  private:
    std::unique_ptr<EMovePlayerSlide> mover_;
};

const Vec3 kMin{-16, -16, -16}, kMax{16, 16, 16};

void ExpectNear(const Vec3& a, const Vec3& b, float eps = 1e-4f) {
    EXPECT_NEAR(a.x, b.x, eps);
    EXPECT_NEAR(a.y, b.y, eps);
    EXPECT_NEAR(a.z, b.z, eps);
}

// ---- SweepBox -----------------------------------------------------------------------------

TEST(SweepBoxTest, WithoutAHitReachesTheEndWithTheNormalBackAlongTheMotion) {
    SlideBuffer m;
    m.WallX(100);
    SlideSweepResult r;
    r.vNormal = {7, 7, 7};
    m->SweepBox({0, 0, 0}, {30, 40, 0}, kMin, kMax, true, &r);
    EXPECT_FALSE(r.bHit);
    EXPECT_FALSE(r.bStartedInside);
    EXPECT_EQ(r.fFraction, 1.0f);
    EXPECT_EQ(r.vPos, Vec3(30, 40, 0));
    ExpectNear(r.vNormal, {-0.6f, -0.8f, 0});
}

struct HitCase {
    const char* name;
    float wallX;    // the wall's plane, facing the box
    float expected; // the bisected fraction of a move of 64 along +x from 0
};

class SweepBoxHitTest : public ::testing::TestWithParam<HitCase> {};

TEST_P(SweepBoxHitTest, BisectsToAFreeShareOfAtMostFifteenSixteenths) {
    const HitCase& c = GetParam();
    SlideBuffer m;
    m.WallX(c.wallX);
    SlideSweepResult r;
    m->SweepBox({0, 0, 0}, {64, 0, 0}, kMin, kMax, false, &r);
    EXPECT_TRUE(r.bHit);
    EXPECT_FALSE(r.bStartedInside);
    EXPECT_EQ(r.fFraction, c.expected);
    EXPECT_LE(r.fFraction, 0.9375f);
    EXPECT_EQ(r.vPos, Vec3(64 * c.expected, 0, 0));
    EXPECT_EQ(r.vNormal, Vec3(0, 1, 0)); // no probe asked
}

INSTANTIATE_TEST_SUITE_P(Cases, SweepBoxHitTest,
                         ::testing::Values(
                             // The box reaches x = 80 at the end: a wall just short of it.
                             HitCase{"WallAtTheVeryEnd", 79.99f, 0.9375f},
                             HitCase{"WallHalfWay", 16 + 40, 0.5f + 0.0625f},
                             // Free at the start, blocked within the first sixteenth.
                             HitCase{"WallJustAhead", 16.5f, 0.0f}),
                         [](const auto& info) { return info.param.name; });

TEST(SweepBoxTest, AStartInsideReportsFractionZeroAndLeavesTheNormal) {
    SlideBuffer m;
    m.WallX(10); // cuts the box at the start
    SlideSweepResult r;
    r.vNormal = {0.25f, 0.5f, 0.75f};
    m->SweepBox({0, 0, 0}, {64, 0, 0}, kMin, kMax, true, &r);
    EXPECT_TRUE(r.bHit);
    EXPECT_TRUE(r.bStartedInside);
    EXPECT_EQ(r.fFraction, 0.0f);
    EXPECT_EQ(r.vPos, Vec3(0, 0, 0));
    EXPECT_EQ(r.vNormal, Vec3(0.25f, 0.5f, 0.75f));

    // The slide then stops whole.
    Vec3 p{0, 0, 0}, v{64, 5, 3};
    m->SlideMove(&p, &v, kMin, kMax);
    EXPECT_EQ(p, Vec3(0, 0, 0));
    EXPECT_EQ(v, Vec3(0, 0, 0));
}

TEST(SweepBoxTest, MotionAlongAnAxisSkipsTheHorizontalProbe) {
    // A floor far below and a wall 2 units beyond the box's right side. The
    // motion goes down and right: the forward probe (three unit steps along
    // the motion, 0.6 in x each) never reaches the wall, the horizontal
    // probe (unit steps in x) does.
    SlideBuffer m;
    m.Floor(-1000);
    m.WallX(100);
    const Vec3 from{82, 40, 0};
    struct Case {
        float z;
        Vec3 normal;
    };
    for (const Case& c : {Case{0.0f, {-0.6f, 0.8f, 0}}, Case{0.001f, {-1, 0, 0}}}) {
        SCOPED_TRACE(c.z);
        SlideSweepResult r;
        m->SweepBox(from, from + Vec3(60, -80, c.z), kMin, kMax, true, &r);
        EXPECT_TRUE(r.bHit);
        EXPECT_EQ(r.fFraction, 0.0f);
        EXPECT_EQ(r.vPos, from);
        // Along x only no probe finds the wall, so the normal is the motion
        // reversed; with any z the horizontal probe's wall wins.
        ExpectNear(r.vNormal, c.normal, 1e-3f);
    }
}

TEST(SweepBoxTest, TheForwardProbeFindsTheMostOpposedFace) {
    SlideBuffer m;
    m.Floor(0);
    m.Quad({-1000, 0, 40}, {0, 1000, 1000}, {2000, 0, 0}); // a 45-degree slope rising along +z from z = 40
    SlideSweepResult r;
    const Vec3 from{0, 17, 0};
    m->SweepBox(from, from + Vec3(0, 0, 64), kMin, kMax, true, &r);
    EXPECT_TRUE(r.bHit);
    EXPECT_GT(r.fFraction, 0.0f);
    ExpectNear(r.vNormal, {0, 0.70710677f, -0.70710677f});
}

// ---- ClipVelocity -------------------------------------------------------------------------

struct ClipCase {
    const char* name;
    Vec3 v, n;
    Vec3 expected;
};

class ClipVelocityTest : public ::testing::TestWithParam<ClipCase> {};

TEST_P(ClipVelocityTest, RemovesTheNormalPartAndSnapsSmallComponents) {
    const ClipCase& c = GetParam();
    Vec3 out;
    EMovePlayerSlide::ClipVelocity(c.v, c.n, &out, 1.01f);
    ExpectNear(out, c.expected, 1e-5f);
    for (int i = 0; i < 3; ++i) {
        if (c.expected.data()[i] == 0.0f) {
            EXPECT_EQ(out.data()[i], 0.0f) << i; // exactly zero
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ClipVelocityTest,
    ::testing::Values(
        ClipCase{"ZeroNormalSnapsOnly", {1, 0.05f, -0.09f}, {0, 0, 0}, {1, 0, 0}},
        ClipCase{"TenthIsKept", {0.1f, -0.1f, 0.2f}, {0, 0, 0}, {0.1f, -0.1f, 0.2f}},
        // 1 - 1.01 overshoots by 0.01, which snaps to 0.
        ClipCase{"HeadOnWallOvershootSnaps", {1, -1, 0}, {1, 0, 0}, {0, -1, 0}},
        ClipCase{"LargeOvershootKept", {20, 3, 0}, {-1, 0, 0}, {-0.2f, 3, 0}},
        ClipCase{"Slope", {0, -10, 5}, {0, 0.8f, -0.6f}, {-0, -10 + 0.8f * 11.11f, 5 - 0.6f * 11.11f}}),
    [](const auto& info) { return info.param.name; });

// ---- SlideMove ----------------------------------------------------------------------------

TEST(SlideMoveTest, AnOpenMoveGoesAllTheWay) {
    SlideBuffer m;
    m.Floor(-100);
    Vec3 p{0, 0, 0}, v{10, -5, 3};
    m->SlideMove(&p, &v, kMin, kMax);
    EXPECT_EQ(p, Vec3(10, -5, 3));
    EXPECT_EQ(v, Vec3(10, -5, 3));
}

TEST(SlideMoveTest, AWallTurnsTheVelocityAlongIt) {
    SlideBuffer m;
    m.WallX(100);
    Vec3 p{80, 0, 0}, v{20, 0, 20};
    m->SlideMove(&p, &v, kMin, kMax);
    // The clip's factor 1.01 leaves the velocity leaning a little off the wall.
    EXPECT_LE(v.x, 0.0f);
    EXPECT_GE(v.x, -0.21f);
    EXPECT_GT(v.z, 19.0f);
    EXPECT_LE(p.x + kMax.x, 100.0f);
    EXPECT_GT(p.z, 10.0f); // slid on along the wall
}

TEST(SlideMoveTest, TwoWallsMakeTheVelocityFollowTheirCrease) {
    // An inner corner of two upright walls, the box touching neither yet:
    // the velocity ends along their crease, the vertical.
    SlideBuffer m;
    m.WallX(100);
    m.WallZ(100);
    Vec3 p{83.99f, 0, 83.99f}, v{10, -5, 10};
    m->SlideMove(&p, &v, kMin, kMax);
    EXPECT_LE(std::fabs(v.x), 0.11f);
    EXPECT_LE(std::fabs(v.z), 0.11f);
    EXPECT_NEAR(v.y, -5.0f, 1e-4f);
    EXPECT_LE(p.x + kMax.x, 100.0f);
    EXPECT_LE(p.z + kMax.z, 100.0f);
    EXPECT_LT(p.y, 0.0f); // went on down the crease
}

TEST(SlideMoveTest, ThreePlanesStopTheBody) {
    SlideBuffer m;
    m.WallX(100);
    m.WallZ(100);
    m.Floor(0);
    const Vec3 start{83.99f, 16.01f, 83.99f};
    Vec3 p = start, v{10, -5, 10};
    m->SlideMove(&p, &v, kMin, kMax);
    EXPECT_EQ(v, Vec3(0, 0, 0));
    ExpectNear(p, start, 0.02f);
}

TEST(SlideMoveTest, AVelocityTurnedAgainstTheCallersKeepsOnlyItsVerticalPart) {
    // Almost straight down onto a floor: the clip overshoots upwards and
    // turns the velocity against the one given.
    SlideBuffer m;
    m.Floor(0);
    Vec3 p{0, 16.5f, 0}, v{0.3f, -20, 0.2f};
    m->SlideMove(&p, &v, kMin, kMax);
    EXPECT_EQ(v.x, 0.0f);
    EXPECT_EQ(v.z, 0.0f);
    EXPECT_NEAR(v.y, 0.2f, 1e-4f);
    EXPECT_EQ(p, Vec3(0, 16.5f, 0));
}

TEST(SlideMoveTest, SteepFacesActAsUprightWalls) {
    // A 60-degree slope: sliding into it never climbs it.
    SlideBuffer m;
    const float c = 0.5f, s = 0.8660254f; // the slope rises along +x
    m.Quad({40, 0, -1000}, {0, 0, 2000}, {1000 * c, 1000 * s, 0});
    Vec3 p{0, 16.5f, 0}, v{60, 0, 0};
    m->SlideMove(&p, &v, kMin, kMax);
    EXPECT_NEAR(p.y, 16.5f, 1e-3f);
    EXPECT_EQ(v.y, 0.0f);
}

// ---- Queries --------------------------------------------------------------------------------

TEST(SlideQueryTest, TestBoxAndTheOpposingNormal) {
    // A box resting flat on a face does not touch it (the triangle-box test
    // wants the face to cut into the box); one cutting in does.
    SlideBuffer m;
    m.Floor(0);
    m.WallX(100);
    EXPECT_FALSE(m->TestBox({0, 16.5f, 0}, kMin, kMax));
    EXPECT_TRUE(m->TestBox({0, 15.9f, 0}, kMin, kMax));
    EXPECT_TRUE(m->TestBox({84.1f, 50, 0}, kMin, kMax));
    Vec3 n;
    EXPECT_FALSE(m->FindOpposingNormal({0, 50, 0}, kMin, kMax, {0, -1, 0}, &n));
    ASSERT_TRUE(m->FindOpposingNormal({84.1f, 15.9f, 0}, kMin, kMax, {0, -1, 0}, &n));
    EXPECT_EQ(n, Vec3(0, 1, 0)); // the floor is the more floor-like
    ASSERT_TRUE(m->FindOpposingNormal({84.1f, 15.9f, 0}, kMin, kMax, {1, 0, 0}, &n));
    EXPECT_EQ(n, Vec3(-1, 0, 0));
    // The facing contact: the box's centre must lie on the front of the plane.
    ASSERT_TRUE(m->FindFacingContact({84.1f, 50, 0}, kMin, kMax, &n));
    EXPECT_EQ(n, Vec3(-1, 0, 0));
    EXPECT_FALSE(m->FindFacingContact({110, 50, 0}, kMin, kMax, &n));
}

// ---- SweptBoxHits against sampling --------------------------------------------------------

TEST(SweptBoxOracleTest, EverySampledOverlapIsReportedAsAHit) {
    std::mt19937 rng(20240611);
    std::uniform_real_distribution<float> pos(-60, 60), size(2, 40), move(-80, 80), unit(0, 1);
    int hits = 0, sampledHits = 0, misses = 0;
    constexpr int kSamples = 256;
    for (int trial = 0; trial < 4000; ++trial) {
        SlideBuffer m;
        const Vec3 a{pos(rng), pos(rng), pos(rng)};
        m.Triangle(a, a + Vec3(move(rng), move(rng), move(rng)) * 0.5f,
                   a + Vec3(move(rng), move(rng), move(rng)) * 0.5f);
        const Vec3 half{size(rng), size(rng), size(rng)};
        const Vec3 min = -half, max = half * (0.5f + unit(rng));
        const Vec3 from{pos(rng), pos(rng), pos(rng)};
        // Some motions lie along an axis or a plane, as walking does.
        Vec3 d{move(rng), move(rng), move(rng)};
        if (trial % 4 == 1) d.y = 0;
        if (trial % 4 == 2) d.x = d.z = 0;
        const Vec3 to = from + d;
        const CollisionTriangle& t = m->m_pTriangles[0];
        bool overlap = false;
        for (int i = 0; i <= kSamples && !overlap; ++i) {
            const Vec3 p = math::Vec3Lerp(from, to, float(i) / kSamples);
            overlap = TriBoxOverlap(t.vVertices[0], t.vVertices[1], t.vVertices[2], p + min, p + max);
        }
        const bool hit = m->SweptBoxHits(from, to, min, max);
        if (overlap) {
            ++sampledHits;
            EXPECT_TRUE(hit) << "trial " << trial;
        }
        hits += hit;
        misses += !hit;
    }
    // The cases cover both outcomes well.
    EXPECT_GT(sampledHits, 400);
    EXPECT_GT(misses, 400);
    // A hit the sampling missed lies within a sampling step of the path.
    EXPECT_LT(hits - sampledHits, 40);
}

// Motion exactly along an axis makes the swept solid of a face parallel to it
// flat, with side planes of no direction. A triangle with a vertex exactly
// in that face's plane but far to the side of the path is no hit; the same
// triangle moved into the path is.
struct FlatSweepCase {
    const char* name;
    int move, face, side; // axes: of the motion, of the face's normal, the third
    float distance;       // of the motion along its axis
};

class FlatSweepTest : public ::testing::TestWithParam<FlatSweepCase> {};

TEST_P(FlatSweepTest, AVertexInTheFacePlaneOffThePathIsNoHit) {
    const FlatSweepCase& c = GetParam();
    auto point = [&](float along, float up, float aside) {
        Vec3 p;
        p.data()[c.move] = along;
        p.data()[c.face] = up;
        p.data()[c.side] = aside;
        return p;
    };
    const Vec3 min(-16, -16, -16), max(16, 16, 16);
    const Vec3 to = point(c.distance, 0, 0);
    const float mid = c.distance / 2;
    for (float shift : {0.0f, -20.0f}) {
        // From the plane of the face at 16, far aside, rising over the path.
        SlideBuffer m;
        m.Triangle(point(mid, 16 + shift, 100), point(mid, 40 + shift, -100),
                   point(mid + 10, 40 + shift, -100));
        EXPECT_EQ(m->SweptBoxHits({0, 0, 0}, to, min, max), shift != 0.0f) << shift;
    }
}

INSTANTIATE_TEST_SUITE_P(Axes, FlatSweepTest,
                         ::testing::Values(FlatSweepCase{"AlongXTopFace", 0, 1, 2, 100},
                                           FlatSweepCase{"AlongZTopFace", 2, 1, 0, 100},
                                           FlatSweepCase{"DownYSideFace", 1, 0, 2, -100},
                                           FlatSweepCase{"BackXFrontFace", 0, 2, 1, -100}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SweptBoxOracleTest, TheLastHitObjectIsTheTriangleHit) {
    SlideBuffer m;
    static ObjectRecord nearObject, farObject;
    ObjectRecord* const near = &nearObject;
    ObjectRecord* const far = &farObject;
    m.Triangle({50, -10, -10}, {50, 10, -10}, {50, 0, 10}, near);
    m.Triangle({500, -10, -10}, {500, 10, -10}, {500, 0, 10}, far);
    EXPECT_TRUE(m->SweptBoxHits({0, 0, 0}, {100, 0, 0}, kMin, kMax));
    EXPECT_EQ(m->m_hLastHitObject, near);
    EXPECT_FALSE(m->SweptBoxHits({0, 0, 0}, {10, 0, 0}, kMin, kMax));
    EXPECT_EQ(m->m_hLastHitObject, far); // the last one examined
}

} // namespace
