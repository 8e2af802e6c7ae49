// The segment test in the demo world worlds\test.w, loaded from a copy of
// data/: the curtain lets shots through, the glass pane sight, the cloth
// nothing stops at, the stick markers answer only their own queries, and an
// explosion at the explosive crate stops at the hall wall.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/Records.h"
#include "physics/IntersectSegment.h"
#include "tests/world/WorldFileFixture.h"
#include "world/DeathParams.h"
#include "world/ObjectAction.h"
#include "world/ObjectApi.h"
#include "world/VisBlockers.h"
#include "world/WorldMgr.h"

using math::Vec3;
using namespace wftest;

namespace {

class SegmentDemoWorld : public ::testing::Test {
  protected:
    void SetUp() override {
        ClearWorld();
        const std::filesystem::path data = std::filesystem::path(ZT_SOURCE_DIR) / "data";
        for (const char* folder : {"models", "prefabs", "worlds"})
            std::filesystem::copy(data / folder, m_Dir.Path() / folder,
                                  std::filesystem::copy_options::recursive);
        ASSERT_TRUE(g_WorldMgr.LoadWorld("worlds\\test.w"));
    }
    void TearDown() override { ClearWorld(); }

    static ObjectRecord* Find(const char* name) { return g_Engine.FindObjectByName(name); }
    static ObjectRecord* Hit(const Vec3& start, const Vec3& end, bool sight = false, bool markers = false) {
        SegmentQuery q;
        q.pStart = &start;
        q.pEnd = &end;
        q.bSeeThrough = sight ? 1 : 0;
        q.bStickMarkers = markers ? 1 : 0;
        SegmentHit hit;
        return g_IntersectSegment.Test(q, &hit) ? hit.hObject : nullptr;
    }
    static bool In(const auto& table, const ObjectRecord* h) {
        for (int i = 0; i < table.iCount; ++i)
            if (table.slots[i].bUsed && table.slots[i].hObject == h) return true;
        return false;
    }

    TempDataDir m_Dir;
};

TEST_F(SegmentDemoWorld, ThePiecesSitInTheTablesTheirFlagsChooseAndStopWhatTheyShould) {
    ObjectRecord* curtain = Find("curtain");
    ObjectRecord* glass = Find("glass_pane");
    ObjectRecord* cloth = Find("cloth");
    ObjectRecord* stick = Find("stick_marker_1");
    ASSERT_TRUE(curtain && glass && cloth && stick && Find("stick_marker_2"));
    const auto& shots = g_IntersectSegment.IntersectTable();
    const auto& sight = g_IntersectSegment.CanSeeThruTable();
    EXPECT_FALSE(In(shots, curtain));
    EXPECT_TRUE(In(sight, curtain));
    EXPECT_TRUE(In(shots, glass));
    EXPECT_FALSE(In(sight, glass));
    EXPECT_FALSE(In(shots, cloth));
    EXPECT_FALSE(In(sight, cloth));
    EXPECT_EQ(g_IntersectSegment.StickMarkerTable().iCount, 2);
    EXPECT_FALSE(In(shots, stick));
    EXPECT_TRUE(In(g_IntersectSegment.StickMarkerTable(), stick));

    // Westwards through the curtain (x = -420) to the west wall.
    const Vec3 west[2] = {{-300, 80, 10}, {-600, 80, 10}};
    EXPECT_EQ(Hit(west[0], west[1]), Find("wall_west"));
    EXPECT_EQ(Hit(west[0], west[1], true), curtain);
    // Eastwards through the glass (x = 420) to the east wall.
    const Vec3 east[2] = {{300, 80, -150}, {600, 80, -150}};
    EXPECT_EQ(Hit(east[0], east[1]), glass);
    EXPECT_EQ(Hit(east[0], east[1], true), Find("wall_east"));
    // Northwards through the cloth (z = 420) to the north wall.
    const Vec3 north[2] = {{-200, 80, 300}, {-200, 80, 600}};
    EXPECT_EQ(Hit(north[0], north[1]), Find("wall_north"));
    EXPECT_EQ(Hit(north[0], north[1], true), Find("wall_north"));
    // Across the stick marker.
    const Vec3 across[2] = {{-420, 32, -300}, {-420, 32, -600}};
    EXPECT_EQ(Hit(across[0], across[1], false, true), stick);
    EXPECT_EQ(Hit(across[0], across[1]), Find("wall_south"));
}

TEST_F(SegmentDemoWorld, AnExplosionAtTheExplosiveCrateStopsAtTheHallWall) {
    ObjectRecord* crate = Find("crate_explosive");
    ObjectRecord* behind = Find("crate_behind_wall");
    ASSERT_TRUE(crate && behind && Find("wall_hall"));
    ASSERT_TRUE(behind->pDeathParams && behind->pDeathParams->bExplosionHits);
    EXPECT_FLOAT_EQ(behind->fHealth, 20.0f);
    // The crate explodes as it dies: it is dead by then, and the blast starts at its middle.
    SetObjectFlags(crate, 0x2000, 0x2000);
    const Vec3 blast = crate->vPosition + Vec3(0, 32, 0);

    g_Engine.ApplyExplosion(blast, 1.0f);
    EXPECT_LT(crate->fHealth, 20.0f);
    EXPECT_EQ(crate->bExplosionKilled, 1);
    EXPECT_FLOAT_EQ(behind->fHealth, 20.0f);
    EXPECT_EQ(behind->bExplosionKilled, 0);

    // Without the wall the same blast reaches it.
    g_Engine.DeleteObject(Find("wall_hall"));
    g_Engine.ApplyExplosion(blast, 1.0f);
    EXPECT_LT(behind->fHealth, 20.0f);
}

// The wall between the blast and the crate behind it shields the crate only
// while the world ray test's filter lets it take part.
struct ShieldCase {
    const char* name;
    void (*change)(ObjectRecord* wall);
    bool shields;
};

class ExplosionShield : public SegmentDemoWorld, public ::testing::WithParamInterface<ShieldCase> {};

TEST_P(ExplosionShield, TheHallWallShieldsTheCrateOnlyWhenTheRayTestSeesIt) {
    ObjectRecord* wall = Find("wall_hall");
    ObjectRecord* behind = Find("crate_behind_wall");
    ObjectRecord* crate = Find("crate_explosive");
    ASSERT_TRUE(wall && behind && crate);
    SetObjectFlags(crate, 0x2000, 0x2000); // it explodes as it dies
    GetParam().change(wall);
    g_Engine.ApplyExplosion(crate->vPosition + Vec3(0, 32, 0), 1.0f);
    if (GetParam().shields) {
        EXPECT_FLOAT_EQ(behind->fHealth, 20.0f);
    } else {
        EXPECT_LT(behind->fHealth, 20.0f);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Walls, ExplosionShield,
    ::testing::Values(ShieldCase{"AsLoaded", [](ObjectRecord*) {}, true},
                      ShieldCase{"DeadOrHidden", [](ObjectRecord* w) { SetObjectFlags(w, 0x2000, 0x2000); }, false},
                      ShieldCase{"Ladder",
                                 [](ObjectRecord* w) {
                                     ObjectAction a;
                                     a.dwGeneralOpt1 = 1; // an action block is kept only when it runs
                                     a.dwLadder = 1;
                                     SetObjectAction(w, a);
                                 },
                                 false},
                      ShieldCase{"IgnoresHits", [](ObjectRecord* w) { w->bIgnoresHits = 1; }, false}),
    [](const ::testing::TestParamInfo<ShieldCase>& info) { return info.param.name; });

} // namespace
