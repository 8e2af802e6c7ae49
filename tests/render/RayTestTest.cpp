// The world ray test over the real segment test: the short-segment rule, the
// results written in place of the two points, the filter's rules and the
// repeated call that callers make with the same two arrays.
#include <gtest/gtest.h>

#include <cmath>

#include "render/RayTest.h"
#include "skinmesh/SkinMeshCollisions.h"
#include "tests/physics/CollisionFixture.h"
#include "world/Filters.h"
#include "world/ObjectAction.h"
#include "world/ObjectApi.h"

using coltest::Subset;
using math::Vec3;

namespace {

// An upright quad in the plane z = 0, x and y from -100 to 100.
Subset Wall() {
    return {{{-100, -100, 0}, {100, -100, 0}, {100, 100, 0}},
            {{-100, -100, 0}, {100, 100, 0}, {-100, 100, 0}}};
}

class RayTest : public CollisionTest {
  protected:
    void SetUp() override {
        CollisionTest::SetUp();
        Write("models\\wall.x", {Wall()});
    }
    void TearDown() override {
        g_SkinMeshCollision.SetZoneTest(nullptr);
        CollisionTest::TearDown();
    }
};

TEST_F(RayTest, SegmentsShorterThanOneUnitSummedOverTheAxesAreNotTested) {
    MakeMesh("models\\wall.x", {0, 0, 100}, 13);
    struct Case {
        Vec3 start, end;
        uint32_t result;
    } cases[] = {
        {{10, 20, 99.85f}, {10.3f, 20.3f, 100.15f}, 0}, // crosses the wall, 0.9 in all
        {{10, 20, 100}, {10, 20, 100}, 0},
        {{10, 20, 99.5f}, {10.25f, 20.25f, 100.5f}, 1}, // 1.5 in all
        {{10, 20, 99.5f}, {10, 20, 100.5f}, 1},         // exactly 1.0
    };
    for (const Case& c : cases) {
        Vec3 start = c.start, end = c.end;
        EXPECT_EQ(RayTestWorld(&start, &end, nullptr, 0, nullptr, 0, 0, 0), c.result) << c.start.z;
        if (!c.result) {
            EXPECT_EQ(start, c.start);
            EXPECT_EQ(end, c.end);
        }
    }
    Vec3 p{0, 0, 0};
    EXPECT_EQ(RayTestWorld(nullptr, &p, nullptr, 0, nullptr, 0, 0, 0), 0u);
    EXPECT_EQ(RayTestWorld(&p, nullptr, nullptr, 0, nullptr, 0, 0, 0), 0u);
}

TEST_F(RayTest, AHitGivesThePointAndTheNormalInPlaceOfTheTwoPoints) {
    MakeMesh("models\\wall.x", {0, 0, 100}, 13);
    Vec3 start{10, 20, 0}, end{10, 20, 300};
    ASSERT_EQ(RayTestWorld(&start, &end, nullptr, 0, nullptr, 0, 0, 0), 1u);
    EXPECT_NEAR(start.x, 10, 1e-4);
    EXPECT_NEAR(start.y, 20, 1e-4);
    EXPECT_NEAR(start.z, 100, 1e-4);
    EXPECT_NEAR(std::fabs(end.z), 1, 1e-6);
    EXPECT_NEAR(end.x, 0, 1e-6);

    // A miss leaves both points as they were.
    Vec3 a{200, 20, 0}, b{200, 20, 300};
    EXPECT_EQ(RayTestWorld(&a, &b, nullptr, 0, nullptr, 0, 0, 0), 0u);
    EXPECT_EQ(a, Vec3(200, 20, 0));
    EXPECT_EQ(b, Vec3(200, 20, 300));
}

bool ZoneAtHalf(const SkinMeshCollisionState&, const SegmentTestSegment&, SkinMeshZoneHit* out) {
    *out = {0.5f, "Bip01_Spine", "tulow"};
    return true;
}

TEST_F(RayTest, AnObjectOtherThanAMeshGivesTwo) {
    g_SkinMeshCollision.SetZoneTest(ZoneAtHalf);
    ObjectRecord* skin = MakeSkin({0, 0, 100}, 13);
    ASSERT_TRUE(skin);
    Vec3 start{0, 32, 0}, end{0, 32, 200};
    EXPECT_EQ(RayTestWorld(&start, &end, nullptr, 0, nullptr, 0, 0, 0), 2u);
    EXPECT_EQ(start, Vec3(0, 32, 100));
    EXPECT_EQ(end, Vec3(0, 0, -1));
    // Excluded, the character lets the ray through.
    start = {0, 32, 0};
    end = {0, 32, 200};
    EXPECT_EQ(RayTestWorld(&start, &end, skin, 0, nullptr, 0, 0, 0), 0u);
}

TEST_F(RayTest, TheFirstSwitchTestsWhatBlocksSight) {
    MakeMesh("models\\wall.x", {0, 0, 100}, 13, 0x1000); // a glass pane
    ObjectRecord* curtain = MakeMesh("models\\wall.x", {0, 0, 150}, 13 | 0x80);
    Vec3 start{10, 20, 0}, end{10, 20, 300};
    ASSERT_EQ(RayTestWorld(&start, &end, nullptr, 0, nullptr, 0, 0, 1), 1u);
    EXPECT_NEAR(start.z, 150, 1e-4);
    start = {10, 20, 0};
    end = {10, 20, 300};
    ASSERT_EQ(RayTestWorld(&start, &end, nullptr, 0, nullptr, 0, 0, 0), 1u);
    EXPECT_NEAR(start.z, 100, 1e-4);
    EXPECT_TRUE(curtain);
}

TEST_F(RayTest, ASecondCallWithTheSameArraysStartsFromTheHitPoint) {
    // The first call stops on the far wall; the second runs from there to
    // the point the normal left in the end array, and meets the near wall
    // on its way back.
    MakeMesh("models\\wall.x", {0, 0, 50}, 13);
    MakeMesh("models\\wall.x", {0, 0, 100}, 13);
    Vec3 start{10, 20, 75}, end{10, 20, 300};
    ASSERT_EQ(RayTestWorld(&start, &end, nullptr, 0, nullptr, 0, 0, 0), 1u);
    EXPECT_NEAR(start.z, 100, 1e-4);
    ASSERT_EQ(RayTestWorld(&start, &end, nullptr, 0, nullptr, 0, 0, 0), 1u);
    EXPECT_NEAR(start.z, 50, 1e-4);
    EXPECT_NEAR(start.x, 10 * 0.5f, 0.1f);
}

struct FilterCase {
    const char* name;
    void (*setup)(ObjectRecord* wall);
    int excluded; // 0 none, 1 the first argument, 2 the second
    int32_t skipKind4;
    uint8_t skipKinds2And32, skipKind16;
    bool hit;
};

void Kind(ObjectRecord* h, uint32_t kind) {
    SetObjectKindFlags(h, kind, 0xFFFFFFFF);
}

class RayFilter : public RayTest, public ::testing::WithParamInterface<FilterCase> {};

TEST_P(RayFilter, TheWallIsHitOnlyWhenTheFilterLetsItThrough) {
    const FilterCase& c = GetParam();
    ObjectRecord* wall = MakeMesh("models\\wall.x", {0, 0, 100}, 13);
    ASSERT_TRUE(wall);
    if (c.setup) c.setup(wall);
    Vec3 start{10, 20, 0}, end{10, 20, 300};
    const uint32_t result =
        RayTestWorld(&start, &end, c.excluded == 1 ? wall : nullptr, c.skipKind4,
                     c.excluded == 2 ? wall : nullptr, c.skipKinds2And32, c.skipKind16, 0);
    EXPECT_EQ(result, c.hit ? 1u : 0u);
    // The switches stay set for the filter until the next call.
    EXPECT_EQ(g_RayTestFilter.bSkipKind4, c.skipKind4 != 0);
    EXPECT_EQ(g_RayTestFilter.bSkipKind16, c.skipKind16 != 0);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, RayFilter,
    ::testing::Values(
        FilterCase{"plain", nullptr, 0, 1, 1, 1, true}, FilterCase{"excluded", nullptr, 1, 0, 0, 0, false},
        FilterCase{"excludedSecond", nullptr, 2, 0, 0, 0, false},
        FilterCase{"deadOrHidden", [](ObjectRecord* h) { SetObjectFlags(h, 0x2000, 0x2000); }, 0, 0, 0, 0,
                   false},
        FilterCase{"kind4", [](ObjectRecord* h) { Kind(h, 4); }, 0, 1, 0, 0, false},
        FilterCase{"kind4AnyNonZeroSwitch", [](ObjectRecord* h) { Kind(h, 4); }, 0, -7, 0, 0, false},
        FilterCase{"kind4SwitchOff", [](ObjectRecord* h) { Kind(h, 4); }, 0, 0, 1, 1, true},
        FilterCase{"kind2", [](ObjectRecord* h) { Kind(h, 2); }, 0, 0, 1, 0, false},
        FilterCase{"kind32", [](ObjectRecord* h) { Kind(h, 32); }, 0, 0, 1, 0, false},
        FilterCase{"kind32SwitchOff", [](ObjectRecord* h) { Kind(h, 32); }, 0, 1, 0, 1, true},
        FilterCase{"kind16", [](ObjectRecord* h) { Kind(h, 16); }, 0, 0, 0, 1, false},
        FilterCase{"kind16SwitchOff", [](ObjectRecord* h) { Kind(h, 16); }, 0, 1, 1, 0, true},
        FilterCase{"kindWordComparedWhole", [](ObjectRecord* h) { Kind(h, 4 | 16); }, 0, 1, 1, 1, true},
        FilterCase{"markedSubRecord",
                   [](ObjectRecord* h) {
                       h->pAction = new ObjectAction;
                       h->pAction->dwLadder = 1;
                   },
                   0, 0, 0, 0, false},
        FilterCase{"unmarkedSubRecord", [](ObjectRecord* h) { h->pAction = new ObjectAction; }, 0, 0, 0, 0,
                   true},
        FilterCase{"finalMarkerByte", [](ObjectRecord* h) { h->bIgnoresHits = 1; }, 0, 0, 0, 0, false}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
