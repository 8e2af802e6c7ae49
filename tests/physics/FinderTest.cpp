// Finders: touch lists kept and rebuilt, membership of moving objects,
// triangle gathering by mode, buffer limits, full tables.
#include <gtest/gtest.h>

#include <cmath>

#include "CollisionFixture.h"
#include "render/Mesh.h"
#include "world/ObjectApi.h"

using coltest::SubdividedBox;
using math::Vec3;

namespace {

TEST_F(CollisionTest, AFinderQueriedInTheFrameItIsMadeHasItsList) {
    Write("models\\big.x", {SubdividedBox(100)});
    ObjectRecord* h = MakeMesh("models\\big.x", {0, 0, 0}, 4 | 8);
    MakeMesh("models\\big.x", {1000, 0, 0}, 4 | 8); // far away
    Finder* f = BoxFinder({-200, -10, -200}, {200, 200, 200});
    ASSERT_TRUE(f);
    EXPECT_EQ(g_CollisionMgr.GetTouchCount(f), 1u);
    EXPECT_EQ(g_CollisionMgr.GetTouchObject(f, 0), h);
    EXPECT_EQ(g_CollisionMgr.GetTouchObject(f, 1), nullptr);
    CollisionTriangle buffer[64];
    uint32_t count = 0;
    EXPECT_TRUE(g_CollisionMgr.GetTrianglesInBoxFinder(f, buffer, &count, 64, 0));
    EXPECT_EQ(count, 48u);
    // The one-shot query leaves no finder behind.
    const int finders = g_CollisionMgr.NumFinders();
    count = 0;
    const Vec3 min{-200, -10, -200}, max{200, 200, 200};
    EXPECT_TRUE(g_CollisionMgr.GetTrianglesInBox(&min, &max, buffer, &count, 64, 0));
    EXPECT_EQ(count, 48u);
    EXPECT_EQ(g_CollisionMgr.NumFinders(), finders);
    EXPECT_FALSE(g_CollisionMgr.AddBoxFinder(nullptr, &max));
}

struct MoveCase {
    const char* name;
    Vec3 offset;
    bool rebuilt;
};

class FinderMoves : public CollisionTest, public ::testing::WithParamInterface<MoveCase> {};

TEST_P(FinderMoves, SmallMovesKeepTheTouchBoxAndLargerOnesRebuildIt) {
    const MoveCase& c = GetParam();
    ObjectRecord* h = MakeMesh("models\\box.x", {0, 0, 0}, 5);
    Finder* f = BoxFinder({-10, 0, -10}, {10, 20, 10});
    ASSERT_TRUE(f);
    EXPECT_EQ(f->vTouchMin, Vec3(-75, -65, -75));
    EXPECT_EQ(f->vTouchMax, Vec3(75, 85, 75));
    const Vec3 min = Vec3(-10, 0, -10) + c.offset, max = Vec3(10, 20, 10) + c.offset;
    g_CollisionMgr.MoveBoxFinder(f, &min, &max);
    EXPECT_EQ(f->vMin, min);
    EXPECT_EQ(f->vPosition, (min + max) * 0.5f);
    if (c.rebuilt) {
        EXPECT_EQ(f->vTouchMin, min - Vec3(65, 65, 65));
        EXPECT_EQ(f->vTouchMax, max + Vec3(65, 65, 65));
    } else {
        EXPECT_EQ(f->vTouchMin, Vec3(-75, -65, -75));
    }
    EXPECT_TRUE(InList(f, h));
}

INSTANTIATE_TEST_SUITE_P(Offsets, FinderMoves,
                         ::testing::Values(MoveCase{"none", {0, 0, 0}, false},
                                           MoveCase{"small", {30, 0, -30}, false},
                                           MoveCase{"exactlyTheMargin", {65, -65, 0}, false},
                                           MoveCase{"pastTheMarginX", {65.5f, 0, 0}, true},
                                           MoveCase{"pastTheMarginY", {0, -66, 0}, true},
                                           MoveCase{"pastTheMarginZ", {0, 0, 100}, true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(CollisionTest, MovingObjectsJoinAndLeaveTheTouchList) {
    ObjectRecord* mesh = MakeMesh("models\\box.x", {500, 0, 0}, 5);
    ObjectRecord* skin = MakeSkin({-500, 0, 0}, 5);
    Finder* f = BoxFinder({-10, 0, -10}, {10, 20, 10});
    EXPECT_EQ(g_CollisionMgr.GetTouchCount(f), 0u);
    SetObjectPosition(mesh, {100, 0, 0}, false); // its box reaches 68, the touch box 75
    EXPECT_TRUE(InList(f, mesh));
    SetObjectPosition(skin, {-107, 0, 0}, false); // touching counts: its box reaches -75
    EXPECT_TRUE(InList(f, skin));
    EXPECT_EQ(g_CollisionMgr.GetTouchObject(f, 0), skin); // new nodes go to the front
    SetObjectPosition(mesh, {0, 200, 0}, false);
    EXPECT_FALSE(InList(f, mesh));
    SetObjectScale(skin, {0.5f, 0.5f, 0.5f}); // its box shrinks away to -91
    EXPECT_FALSE(InList(f, skin));
    EXPECT_EQ(g_CollisionMgr.GetTouchCount(f), 0u);
}

// ---- Gathering modes --------------------------------------------------------------------------

enum Kind { Big, Small, Skin };

struct ModeCase {
    const char* name;
    Kind kind;
    uint32_t flags, flags2;
    int mode;
    uint32_t expected; // 48 faces, 16 box triangles, or none
};

class GatheringModes : public CollisionTest, public ::testing::WithParamInterface<ModeCase> {};

TEST_P(GatheringModes, TakeFacesOrBoxTrianglesOrNothing) {
    const ModeCase& c = GetParam();
    Write("models\\big.x", {SubdividedBox(100)});
    Write("models\\small.x", {SubdividedBox(20)});
    ObjectRecord* h = c.kind == Skin  ? MakeSkin({0, 0, 0}, c.flags)
                      : c.kind == Big ? MakeMesh("models\\big.x", {0, 0, 0}, c.flags, c.flags2)
                                      : MakeMesh("models\\small.x", {0, 0, 0}, c.flags, c.flags2);
    ASSERT_TRUE(h);
    Finder* f = BoxFinder({-200, -10, -200}, {200, 200, 200});
    CollisionTriangle buffer[100];
    uint32_t count = 2; // appended after what is there
    EXPECT_EQ(g_CollisionMgr.GetTrianglesInBoxFinder(f, buffer, &count, 100, c.mode), c.expected > 0);
    ASSERT_EQ(count, 2 + c.expected);
    for (uint32_t i = 2; i < count; ++i) {
        const CollisionTriangle& t = buffer[i];
        EXPECT_EQ(t.hObject, h);
        EXPECT_NEAR(math::Vec3Length(t.vNormal), 1.0f, 1e-5f);
        EXPECT_EQ(t.vMin,
                  math::Vec3Minimize(math::Vec3Minimize(t.vVertices[0], t.vVertices[1]), t.vVertices[2]));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, GatheringModes,
    ::testing::Values(ModeCase{"mode0Faces", Big, 4 | 8, 0, 0, 48}, ModeCase{"mode0Box", Big, 4, 0, 0, 16},
                      ModeCase{"mode0NoGathering", Big, 8, 0, 0, 0}, ModeCase{"mode1Faces", Big, 4, 0, 1, 48},
                      ModeCase{"mode1BoxByFlag", Big, 4 | 0x200, 0, 1, 16},
                      ModeCase{"mode1SmallDetailed", Small, 4 | 8, 0, 1, 16},
                      ModeCase{"mode0SmallDetailedFaces", Small, 4 | 8, 0, 0, 48},
                      ModeCase{"mode2Faces", Big, 4, 0, 2, 48},
                      ModeCase{"mode2BoxByFlag", Big, 4 | 0x1000, 0, 2, 16},
                      ModeCase{"mode2Skipped", Big, 4 | 8, 0x100000, 2, 0},
                      ModeCase{"mode1NotSkipped", Big, 4, 0x100000, 1, 48},
                      ModeCase{"mode3Box", Big, 4 | 8, 0, 3, 16},
                      ModeCase{"modeNegativeBox", Big, 4 | 8, 0, -1, 16},
                      ModeCase{"skinMode0", Skin, 4, 0, 0, 16}, ModeCase{"skinMode1", Skin, 4, 0, 1, 0},
                      ModeCase{"skinMode2", Skin, 4, 0, 2, 0}, ModeCase{"skinNoGathering", Skin, 1, 0, 0, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(CollisionTest, OnlyFacesAndBoxTrianglesInsideTheFinderBoxAreTaken) {
    Write("models\\big.x", {SubdividedBox(100)});
    ObjectRecord* h = MakeMesh("models\\big.x", {0, 0, 0}, 4 | 8);
    // A thin slab across the top: the top's 8 faces and the sides' upper 16.
    Finder* f = BoxFinder({-200, 90, -200}, {200, 95, 200});
    CollisionTriangle buffer[100];
    uint32_t count = 0;
    EXPECT_TRUE(g_CollisionMgr.GetTrianglesInBoxFinder(f, buffer, &count, 100, 0));
    EXPECT_EQ(count, 16u);
    for (uint32_t i = 0; i < count; ++i)
        EXPECT_GE(buffer[i].vMax.y, 90.0f);
    // The same slab below the object meets nothing although the object is touched.
    const Vec3 min{-200, -40, -200}, max{200, -30, 200};
    g_CollisionMgr.MoveBoxFinder(f, &min, &max);
    ASSERT_TRUE(InList(f, h));
    count = 0;
    EXPECT_FALSE(g_CollisionMgr.GetTrianglesInBoxFinder(f, buffer, &count, 100, 0));
    EXPECT_EQ(count, 0u);
}

TEST_F(CollisionTest, BoxTrianglesFollowTheTurnedBoxAndTheSlopesFaceUp) {
    // Upside down and turned: the slopes are rebuilt to face up all the same.
    ObjectRecord* h = MakeMesh("models\\box.x", {0, 100, 0}, 4);
    orientation o;
    o.SetYawPitchRoll(0.3f, 0.2f, math::kPi);
    SetObjectOrientation(h, o);
    const CollisionMeshEntry* e = g_CollisionMgr.GetEntry(h);
    Finder* f = BoxFinder({-500, -500, -500}, {500, 500, 500});
    CollisionTriangle buffer[32];
    uint32_t count = 0;
    ASSERT_TRUE(g_CollisionMgr.GetTrianglesInBoxFinder(f, buffer, &count, 32, 0));
    ASSERT_EQ(count, 16u);
    for (int t = 0; t < 12; ++t) {
        SCOPED_TRACE(t);
        for (int k = 0; k < 3; ++k)
            EXPECT_EQ(buffer[t].vVertices[k], e->vWorldCorners[BoxTriangleIndices[3 * t + k]]);
        const Vec3* v = buffer[t].vVertices;
        const Vec3 n = math::Vec3Normalize(math::Vec3Cross(v[1] - v[2], v[0] - v[2]));
        EXPECT_NEAR(math::Vec3Dot(n, buffer[t].vNormal), 1.0f, 1e-5f);
    }
    for (int t = 12; t < 16; ++t) {
        SCOPED_TRACE(t);
        EXPECT_GE(buffer[t].vNormal.y, 0.0f);
        const Vec3* v = buffer[t].vVertices;
        const Vec3 n = math::Vec3Normalize(math::Vec3Cross(v[1] - v[2], v[0] - v[2]));
        EXPECT_NEAR(math::Vec3Dot(n, buffer[t].vNormal), 1.0f, 1e-5f);
    }
}

struct RoomCase {
    const char* name;
    int mode;
    uint32_t room;  // free places in the buffer
    uint32_t added; // triangles appended
};

class BufferRoom : public CollisionTest, public ::testing::WithParamInterface<RoomCase> {};

TEST_P(BufferRoom, FacesFillWhatIsLeftAndBoxTrianglesNeedSeventeenPlaces) {
    const RoomCase& c = GetParam();
    Write("models\\big.x", {SubdividedBox(100)});
    MakeMesh("models\\big.x", {0, 0, 0}, 4 | 8);
    Finder* f = BoxFinder({-200, -10, -200}, {200, 200, 200});
    CollisionTriangle buffer[100];
    uint32_t count = 40;
    EXPECT_EQ(g_CollisionMgr.GetTrianglesInBoxFinder(f, buffer, &count, 40 + c.room, c.mode), c.added > 0);
    EXPECT_EQ(count, 40 + c.added);
}

INSTANTIATE_TEST_SUITE_P(
    Rooms, BufferRoom,
    ::testing::Values(RoomCase{"facesIntoSixteen", 0, 16, 16}, RoomCase{"facesFullInTheMiddle", 0, 10, 10},
                      RoomCase{"facesAllFit", 0, 48, 48}, RoomCase{"facesNoRoom", 0, 0, 0},
                      RoomCase{"boxIntoSixteen", 3, 16, 0}, RoomCase{"boxIntoSeventeen", 3, 17, 16}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- Full tables ------------------------------------------------------------------------------

TEST_F(CollisionTest, TheThousandAndFirstFinderIsRefused) {
    const Vec3 min{5000, 5000, 5000}, max{5010, 5010, 5010};
    const int before = g_CollisionMgr.NumFinders();
    for (int i = before; i < ECollisionMgr::MAX_FINDERS; ++i)
        ASSERT_TRUE(BoxFinder(min, max));
    MarkConsole();
    EXPECT_EQ(g_CollisionMgr.AddBoxFinder(&min, &max), nullptr);
    const orientation o;
    EXPECT_EQ(g_CollisionMgr.AddProjectorFinder(&min, &o, 100, 1), nullptr);
    EXPECT_TRUE(PrintedLine("CRITICAL ERROR in ECollisionMgr:: Finder Table Size Exceeded!"));
    // Every finder handed out is distinct and still works; a freed slot is taken again.
    Finder* last = finders_.back();
    Remove(finders_[10]);
    Finder* again = BoxFinder(min, max);
    ASSERT_TRUE(again);
    EXPECT_NE(again, last);
    EXPECT_EQ(g_CollisionMgr.NumFinders(), ECollisionMgr::MAX_FINDERS);
}

TEST_F(CollisionTest, TheFifteenThousandAndFirstTouchNodeIsRefused) {
    std::vector<ObjectRecord*> objects;
    for (int i = 0; i < 16; ++i)
        objects.push_back(MakeMesh("models\\box.x", {float(i), 0, 0}, 5));
    const Vec3 min{0, 0, 0}, max{10, 10, 10};
    const int free = ECollisionMgr::MAX_TOUCH_NODES - g_CollisionMgr.NumTouchNodes();
    for (int i = 0; i < free / 16; ++i)
        ASSERT_EQ(g_CollisionMgr.GetTouchCount(BoxFinder(min, max)), 16u);
    MarkConsole();
    Finder* f = BoxFinder(min, max);
    ASSERT_TRUE(f);
    EXPECT_EQ(g_CollisionMgr.GetTouchCount(f), uint32_t(free % 16));
    EXPECT_EQ(g_CollisionMgr.NumTouchNodes(), ECollisionMgr::MAX_TOUCH_NODES);
    EXPECT_TRUE(PrintedLine("CRITICAL ERROR in ECollisionMgr:: Touch Table Size Exceeded!"));
    // An object moving into a finder is refused too, and no node is shared.
    const Vec3 far{3000, 0, 0}, farMax{3010, 10, 10};
    Finder* other = BoxFinder(far, farMax);
    SetObjectPosition(objects[0], {3000, 0, 0}, false);
    EXPECT_FALSE(InList(other, objects[0]));
    // Freeing a finder gives its nodes back.
    Remove(f);
    SetObjectPosition(objects[0], {3001, 0, 0}, false);
    EXPECT_TRUE(InList(other, objects[0]));
}

} // namespace
