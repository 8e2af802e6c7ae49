// The segment test over the real object table: which table an object is in
// under its flags, the order candidates are tested in and its ties, the
// skinned-mesh stage (coarse centre hits, handed-in hit zones), stick-marker
// queries, the hit record's normal and texture id, slot reuse and trimming,
// the rebuild after a load, full tables, and a differential test against a
// brute-force test of every face.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "CollisionFixture.h"
#include "app/Records.h"
#include "physics/IntersectSegment.h"
#include "render/Mesh.h"
#include "render/MeshMgr.h"
#include "skinmesh/SkinMesh.h"
#include "skinmesh/SkinMeshCollisions.h"
#include "world/ObjectApi.h"

using coltest::Subset;
using coltest::Triangle;
using math::Vec3;

namespace {

// An upright quad in the plane z = z0, x from x0 to x1, y from y0 to y1.
Subset QuadZ(float z0, float x0, float x1, float y0, float y1) {
    return {{{x0, y0, z0}, {x1, y0, z0}, {x1, y1, z0}}, {{x0, y0, z0}, {x1, y1, z0}, {x0, y1, z0}}};
}

// A closed box from min to max.
Subset BoxFaces(const Vec3& min, const Vec3& max) {
    Vec3 c[8];
    BoxCorners(min, max, c);
    Subset s;
    for (int i = 0; i < 36; i += 3)
        s.push_back({c[BoxTriangleIndices[i]], c[BoxTriangleIndices[i + 1]], c[BoxTriangleIndices[i + 2]]});
    return s;
}

bool InTable(const auto& table, const ObjectRecord* h) {
    for (int i = 0; i < table.iCount; ++i)
        if (table.slots[i].bUsed && table.slots[i].hObject == h) return true;
    return false;
}

class SegmentTest : public CollisionTest {
  protected:
    void TearDown() override {
        g_SkinMeshCollision.SetZoneTest(nullptr);
        CollisionTest::TearDown();
    }

    // Tests start..end with the query as given; the hit record is returned.
    static SegmentHit Shoot(const Vec3& start, const Vec3& end, SegmentQuery query = SegmentQuery()) {
        query.pStart = &start;
        query.pEnd = &end;
        SegmentHit hit;
        hit.bHit = g_IntersectSegment.Test(query, &hit) ? 1 : 0;
        return hit;
    }
};

// ---- Tables under the flags ------------------------------------------------------------

struct FlagCase {
    const char* name;
    uint32_t flags, flags2;
    bool shots, sight; // in the intersect table, in the see-through table
};

class SegmentTables : public SegmentTest, public ::testing::WithParamInterface<FlagCase> {};

TEST_P(SegmentTables, FlagSettersMoveTheObjectBetweenTheTablesAndTheTestsFollow) {
    const FlagCase& c = GetParam();
    Write("models\\wall.x", {QuadZ(0, -50, 50, 0, 100)});
    ObjectRecord* h = MakeMesh("models\\wall.x", {0, 0, 100}, 13);
    ASSERT_TRUE(h);
    const Vec3 start{10, 20, 0}, end{10, 20, 200};
    SegmentQuery sight;
    sight.bSeeThrough = 1;

    SetObjectFlags(h, c.flags, 0xFF);
    SetObjectFlags2(h, c.flags2, 0xFFFFFFFF);
    EXPECT_EQ(InTable(g_IntersectSegment.IntersectTable(), h), c.shots);
    EXPECT_EQ(InTable(g_IntersectSegment.CanSeeThruTable(), h), c.sight);
    EXPECT_EQ(Shoot(start, end).bHit, c.shots);
    EXPECT_EQ(Shoot(start, end, sight).bHit, c.sight);

    // Clearing the flags brings it back into both.
    SetObjectFlags(h, 0, 0x80);
    SetObjectFlags2(h, 0, 0xFFFFFFFF);
    EXPECT_TRUE(InTable(g_IntersectSegment.IntersectTable(), h));
    EXPECT_TRUE(InTable(g_IntersectSegment.CanSeeThruTable(), h));
    EXPECT_EQ(Shoot(start, end).hObject, h);
    EXPECT_FALSE(InTable(g_IntersectSegment.StickMarkerTable(), h));
}

INSTANTIATE_TEST_SUITE_P(Flags, SegmentTables,
                         ::testing::Values(FlagCase{"plain", 13, 0, true, true},
                                           FlagCase{"shotsPass", 13 | 0x80, 0, false, true},
                                           FlagCase{"seenThrough", 13, 0x1000, true, false},
                                           FlagCase{"both", 13 | 0x80, 0x1000, false, false},
                                           FlagCase{"noCollision", 13, 0x10000, false, false},
                                           FlagCase{"noCollisionSeenThrough", 13, 0x11000, false, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(SegmentTest, CreatedWithFlagsTheObjectStartsInTheTablesTheyAllow) {
    Write("models\\wall.x", {QuadZ(0, -50, 50, 0, 100)});
    ObjectRecord* shots = MakeMesh("models\\wall.x", {}, 13 | 0x80);
    ObjectRecord* cloth = MakeMesh("models\\wall.x", {}, 13, 0x10000);
    ObjectRecord* skin = MakeSkin({}, 13);
    AddObjectParams p;
    p.dwType = OT_SKINMESH;
    std::snprintf(p.szFileName, sizeof p.szFileName, "%s", "chars\\hero.x");
    p.dwFlags2 = 0x10000;
    ObjectRecord* ghost = g_Engine.AddObject(p);
    ASSERT_TRUE(shots && cloth && skin && ghost);
    EXPECT_FALSE(InTable(g_IntersectSegment.IntersectTable(), shots));
    EXPECT_TRUE(InTable(g_IntersectSegment.CanSeeThruTable(), shots));
    EXPECT_FALSE(InTable(g_IntersectSegment.IntersectTable(), cloth));
    EXPECT_FALSE(InTable(g_IntersectSegment.CanSeeThruTable(), cloth));
    EXPECT_TRUE(InTable(g_IntersectSegment.SkinMeshTable(), skin));
    EXPECT_FALSE(InTable(g_IntersectSegment.SkinMeshTable(), ghost));
}

// ---- Slots, removal and the rebuild -------------------------------------------------------

TEST_F(SegmentTest, RemovalTrimsTheCountPastFreeSlotsAndAdditionsTakeTheFirstFreeSlot) {
    Write("models\\wall.x", {QuadZ(0, -50, 50, 0, 100)});
    const auto& table = g_IntersectSegment.IntersectTable();
    ObjectRecord* a = MakeMesh("models\\wall.x", {0, 0, 0}, 13);
    ObjectRecord* b = MakeMesh("models\\wall.x", {0, 0, 10}, 13);
    ObjectRecord* c = MakeMesh("models\\wall.x", {0, 0, 20}, 13);
    EXPECT_EQ(table.iCount, 3);
    EXPECT_EQ(b->iSegmentSlot[0], 1);

    g_Engine.DeleteObject(b);
    EXPECT_EQ(table.iCount, 3);
    EXPECT_FALSE(table.slots[1].bUsed);
    g_Engine.DeleteObject(c);
    EXPECT_EQ(table.iCount, 1);
    EXPECT_EQ(g_IntersectSegment.CanSeeThruTable().iCount, 1);

    ObjectRecord* d = MakeMesh("models\\wall.x", {0, 0, 30}, 13);
    EXPECT_EQ(d->iSegmentSlot[0], 1);
    EXPECT_EQ(table.iCount, 2);
    ObjectRecord* e = MakeMesh("models\\wall.x", {0, 0, 40}, 13);
    EXPECT_EQ(e->iSegmentSlot[0], 2);
    g_Engine.DeleteObject(a);
    EXPECT_EQ(table.iCount, 3);
    EXPECT_EQ(Shoot({10, 20, -5}, {10, 20, 100}).hObject, d);

    // A skinned mesh leaves its table with its first two slot numbers cleared.
    ObjectRecord* skin = MakeSkin({}, 13);
    ASSERT_TRUE(InTable(g_IntersectSegment.SkinMeshTable(), skin));
    g_IntersectSegment.RemoveObject(skin);
    EXPECT_FALSE(InTable(g_IntersectSegment.SkinMeshTable(), skin));
    EXPECT_EQ(g_IntersectSegment.SkinMeshTable().iCount, 0);
    EXPECT_EQ(skin->iSegmentSlot[0], 0);
    EXPECT_EQ(skin->iSegmentSlot[1], 0);
}

TEST_F(SegmentTest, RegisterAllObjectsRebuildsTheTablesFromTheObjectTable) {
    Write("models\\wall.x", {QuadZ(0, -50, 50, 0, 100)});
    Write("prefabs\\special\\hero_stick.x", {BoxFaces({-2, -32, -2}, {2, 32, 2})});
    ObjectRecord* wall = MakeMesh("models\\wall.x", {0, 0, 100}, 13);
    ObjectRecord* curtain = MakeMesh("models\\wall.x", {0, 0, 50}, 13 | 0x80);
    ObjectRecord* stick = MakeMesh("prefabs\\special\\hero_stick.x", {0, 32, 300}, 13);
    ObjectRecord* skin = MakeSkin({0, 0, 400}, 13);
    // As a load leaves them: entries gone or stale, the objects still in the table.
    g_IntersectSegment.RemoveObject(wall);
    g_IntersectSegment.RemoveObject(stick);
    g_IntersectSegment.RemoveObject(skin);
    wall->iSegmentSlot[0] = 7;
    EXPECT_FALSE(Shoot({10, 20, 0}, {10, 20, 200}).bHit);

    g_IntersectSegment.RegisterAllObjects();
    EXPECT_EQ(g_IntersectSegment.IntersectTable().iCount, 1);
    EXPECT_EQ(g_IntersectSegment.CanSeeThruTable().iCount, 2);
    EXPECT_EQ(g_IntersectSegment.StickMarkerTable().iCount, 1);
    EXPECT_EQ(g_IntersectSegment.SkinMeshTable().iCount, 1);
    EXPECT_TRUE(InTable(g_IntersectSegment.IntersectTable(), wall));
    EXPECT_TRUE(InTable(g_IntersectSegment.CanSeeThruTable(), curtain));
    EXPECT_TRUE(InTable(g_IntersectSegment.StickMarkerTable(), stick));
    EXPECT_TRUE(InTable(g_IntersectSegment.SkinMeshTable(), skin));
    EXPECT_EQ(Shoot({10, 20, 0}, {10, 20, 200}).hObject, wall);
}

TEST_F(SegmentTest, MovedObjectsAreHitWhereTheyAreNow) {
    Write("models\\wall.x", {QuadZ(0, -50, 50, 0, 100)});
    ObjectRecord* h = MakeMesh("models\\wall.x", {0, 0, 100}, 13);
    EXPECT_NEAR(Shoot({10, 20, 0}, {10, 20, 400}).fDistance, 100, 1e-3);
    SetObjectPosition(h, {0, 0, 250}, false);
    const SegmentHit hit = Shoot({10, 20, 0}, {10, 20, 400});
    EXPECT_NEAR(hit.fDistance, 250, 1e-3);
    EXPECT_NEAR(hit.vPoint.z, 250, 1e-3);
    // Turned a quarter about y, the quad now lies in the plane x = 0.
    orientation turned;
    turned.InitYawPitchRoll(math::kPi / 2, 0, 0);
    SetObjectOrientation(h, turned);
    EXPECT_FALSE(Shoot({10, 20, 0}, {10, 20, 400}).bHit);
    const SegmentHit side = Shoot({-30, 20, 260}, {30, 20, 260});
    ASSERT_TRUE(side.bHit);
    EXPECT_NEAR(side.vPoint.x, 0, 1e-3);
    EXPECT_NEAR(std::fabs(side.vNormal.x), 1, 1e-5);
}

// ---- Order and ties -----------------------------------------------------------------------

TEST_F(SegmentTest, ASegmentStartingInsideABoxTestsThatObjectFirstSoTheLaterTestedOfATieWins) {
    // The room's far wall and the slab's front face lie in one plane, z = 10.
    Write("models\\slab.x", {BoxFaces({-5, 0, 10}, {5, 10, 12})});
    Write("models\\room.x", {coltest::SubdividedBox(20)});
    ObjectRecord* slab = MakeMesh("models\\slab.x", {}, 13);
    ObjectRecord* room = MakeMesh("models\\room.x", {}, 13);
    ASSERT_LT(slab->iSegmentSlot[0], room->iSegmentSlot[0]);
    // The room (entry 0: the start is inside it) is tested before the slab
    // (entry 0.25), so the slab's equal hit replaces the room's.
    const SegmentHit hit = Shoot({2.5f, 3.3f, 0}, {2.5f, 3.3f, 40});
    ASSERT_TRUE(hit.bHit);
    EXPECT_EQ(hit.hObject, slab);
    EXPECT_FLOAT_EQ(hit.fDistance, 10);

    // Both entered from outside at one fraction: the later slot is tested later and wins.
    Write("models\\front.x", {BoxFaces({-5, 0, 10}, {5, 10, 14})});
    Write("models\\back.x", {BoxFaces({-5, 0, 10}, {5, 10, 16})});
    g_Engine.DeleteObject(room);
    ObjectRecord* front = MakeMesh("models\\front.x", {}, 13);
    ObjectRecord* back = MakeMesh("models\\back.x", {}, 13);
    g_Engine.DeleteObject(slab);
    ASSERT_LT(front->iSegmentSlot[0], back->iSegmentSlot[0]);
    EXPECT_EQ(Shoot({2.5f, 3.3f, 0}, {2.5f, 3.3f, 40}).hObject, back);
}

TEST_F(SegmentTest, TheNearerObjectWinsWhateverItsSlot) {
    Write("models\\wall.x", {QuadZ(0, -50, 50, 0, 100)});
    ObjectRecord* far = MakeMesh("models\\wall.x", {0, 0, 150}, 13);
    ObjectRecord* near = MakeMesh("models\\wall.x", {0, 0, 100}, 13);
    EXPECT_EQ(Shoot({10, 20, 0}, {10, 20, 400}).hObject, near);
    EXPECT_EQ(Shoot({10, 20, 400}, {10, 20, 0}).hObject, far);
}

TEST_F(SegmentTest, EqualFractionsInsideOneObjectGiveTheLowerFace) {
    // Faces 1 and 2 are one triangle twice; face 0 lies beyond them.
    const Triangle t{{-50, 0, 40}, {50, 0, 40}, {0, 100, 40}};
    Write("models\\twice.x", {{{{-50, 0, 60}, {50, 0, 60}, {0, 100, 60}}, t, t}});
    MakeMesh("models\\twice.x", {}, 13);
    const SegmentHit hit = Shoot({1, 20, 0}, {1, 20, 100});
    ASSERT_TRUE(hit.bHit);
    EXPECT_EQ(hit.dwFace, 1u);
    EXPECT_FLOAT_EQ(hit.fDistance, 40);
}

// ---- The hit record -----------------------------------------------------------------------

TEST_F(SegmentTest, TheHitCarriesPointNormalDistanceFaceAndTheSegment) {
    Write("models\\wall.x", {QuadZ(0, -50, 50, 0, 100)});
    ObjectRecord* h = MakeMesh("models\\wall.x", {0, 0, 100}, 13);
    const Vec3 start{10, 20, 0}, end{10, 20, 200};
    const SegmentHit hit = Shoot(start, end);
    ASSERT_TRUE(hit.bHit);
    EXPECT_EQ(hit.hObject, h);
    EXPECT_NEAR(hit.vPoint.x, 10, 1e-4);
    EXPECT_NEAR(hit.vPoint.y, 20, 1e-4);
    EXPECT_NEAR(hit.vPoint.z, 100, 1e-4);
    EXPECT_NEAR(hit.fDistance, 100, 1e-4);
    // Both sides count; the normal is the face's own, as a unit vector.
    EXPECT_NEAR(std::fabs(hit.vNormal.z), 1, 1e-6);
    EXPECT_EQ(hit.dwFace, 0u);
    EXPECT_EQ(hit.vSegmentStart, start);
    EXPECT_EQ(hit.vSegmentEnd, end);
    EXPECT_EQ(hit.bSkinned, 0u);
    EXPECT_EQ(hit.dwHitZone, 0u);
    EXPECT_EQ(Shoot(end, start).hObject, h);
    // A segment ending short of the face, or at it, is no hit.
    EXPECT_FALSE(Shoot(start, {10, 20, 99}).bHit);
    EXPECT_FALSE(Shoot(start, {10, 20, 100}).bHit);
    // Missing parts of the request.
    SegmentQuery q;
    SegmentHit out;
    EXPECT_FALSE(g_IntersectSegment.Test(q, &out));
    q.pStart = &start;
    q.pEnd = &end;
    EXPECT_FALSE(g_IntersectSegment.Test(q, nullptr));
}

TEST_F(SegmentTest, ANormalThatVanishesInWorldSpaceBecomesUp) {
    // Far along z a unit step is lost in the float: the face normal,
    // carried out as a point difference, comes back zero.
    Write("models\\wall.x", {QuadZ(0, -50, 50, 0, 100)});
    const float z = 1.0e8f;
    ObjectRecord* h = MakeMesh("models\\wall.x", {0, 0, z}, 13);
    const SegmentHit hit = Shoot({8, 16, z - 64}, {8, 16, z + 64});
    ASSERT_TRUE(hit.bHit);
    EXPECT_EQ(hit.hObject, h);
    EXPECT_EQ(hit.vNormal, Vec3(0, 1, 0));
}

TEST_F(SegmentTest, TheTextureIdIsThatOfTheSubsetHoldingTheFace) {
    Write("models\\three.x",
          {QuadZ(10, -50, 50, 0, 100), QuadZ(20, -50, 50, 0, 100), QuadZ(30, -50, 50, 0, 100)});
    ObjectRecord* h = MakeMesh("models\\three.x", {}, 13);
    EMesh* mesh = h->Mesh();
    for (uint32_t s = 0; s < 3; ++s)
        mesh->m_dwTextureId[s] = 100 + s;
    EXPECT_EQ(Shoot({1, 20, 0}, {1, 20, 100}).dwTextureId, 100u);
    const SegmentHit second = Shoot({1, 20, 15}, {1, 20, 100});
    EXPECT_EQ(second.dwFace / 2, 1u);
    EXPECT_EQ(second.dwTextureId, 101u);
    EXPECT_EQ(Shoot({1, 20, 100}, {1, 20, 25}).dwTextureId, 102u);

    // Without an attribute table the hit stands, with texture id 0.
    g_MeshMgr.GetEntry(mesh->m_iMeshId)->pMesh->SetAttributeTable(nullptr, 0);
    MarkConsole();
    const SegmentHit bare = Shoot({1, 20, 100}, {1, 20, 25});
    EXPECT_TRUE(bare.bHit);
    EXPECT_EQ(bare.hObject, h);
    EXPECT_EQ(bare.dwTextureId, 0u);
    EXPECT_TRUE(PrintedLine(" *** Fizyka *** EMeshMgr::strmesh nie posiada tablicy subsetow!"));
}

TEST_F(SegmentTest, ExcludedObjectsFiltersAndNoIntersectSubsetsAreLeftOut) {
    Write("models\\two.x", {QuadZ(50, -50, 50, 0, 100), QuadZ(100, -50, 50, 0, 100)});
    ObjectRecord* h = MakeMesh("models\\two.x", {}, 13);
    const Vec3 start{10, 20, 0}, end{10, 20, 200};
    EXPECT_NEAR(Shoot(start, end).fDistance, 50, 1e-4);

    h->bNoSegmentTest = 1;
    EXPECT_FALSE(Shoot(start, end).bHit);
    SegmentQuery include;
    include.bIncludeExcluded = 1;
    EXPECT_TRUE(Shoot(start, end, include).bHit);
    h->bNoSegmentTest = 0;

    static ObjectRecord* s_rejected;
    s_rejected = h;
    SegmentQuery filtered;
    filtered.pFilter = [](ObjectRecord* c, ObjectRecord* argument) { return c != s_rejected && argument; };
    filtered.pFilterArgument = h; // any non-null argument
    EXPECT_FALSE(Shoot(start, end, filtered).bHit);
    filtered.pFilter = [](ObjectRecord* c, ObjectRecord* argument) { return c == argument; };
    EXPECT_TRUE(Shoot(start, end, filtered).bHit);

    // The first subset's groups are skipped: the second subset is hit.
    h->Mesh()->m_bNoIntersect[0] = 1;
    g_CollisionMgr.DeleteObject(h);
    g_CollisionMgr.AddObject(h);
    const SegmentHit hit = Shoot(start, end);
    ASSERT_TRUE(hit.bHit);
    EXPECT_NEAR(hit.fDistance, 100, 1e-4);
    EXPECT_EQ(hit.dwFace, 2u);
}

// ---- Stick markers ------------------------------------------------------------------------

TEST_F(SegmentTest, StickMarkerQueriesSeeOnlyStickMarkersAndNoSkinnedMesh) {
    Write("prefabs\\special\\hero_stick.x", {BoxFaces({-2, -32, -2}, {2, 32, 2})});
    Write("models\\wall.x", {QuadZ(0, -50, 50, 0, 100)});
    ObjectRecord* wall = MakeMesh("models\\wall.x", {0, 0, 50}, 13);
    ObjectRecord* stick = MakeMesh("PREFABS\\Special\\Hero_Stick.X", {0, 32, 100}, 13 | 0x80, 0x11000);
    ObjectRecord* skin = MakeSkin({-32, 0, 20}, 13); // its box spans z -12..52 around the segment
    ASSERT_TRUE(wall && stick && skin);
    EXPECT_TRUE(IsStickMarker(stick));
    EXPECT_FALSE(IsStickMarker(wall));
    EXPECT_FALSE(IsStickMarker(skin));
    // Whatever its flags, a stick marker is in its own table only.
    EXPECT_TRUE(InTable(g_IntersectSegment.StickMarkerTable(), stick));
    EXPECT_FALSE(InTable(g_IntersectSegment.IntersectTable(), stick));
    EXPECT_FALSE(InTable(g_IntersectSegment.CanSeeThruTable(), stick));

    SegmentQuery markers;
    markers.bStickMarkers = 1;
    markers.bCoarse = 1;
    markers.fCoarseDistance = 1.0f;
    const SegmentHit hit = Shoot({0, 32, 0}, {0, 32, 200}, markers);
    ASSERT_TRUE(hit.bHit);
    EXPECT_EQ(hit.hObject, stick);
    EXPECT_EQ(hit.bSkinned, 0u);
    EXPECT_NEAR(hit.fDistance, 98, 1e-3);
    // A plain query never sees it; with the coarse rule it meets the character first.
    EXPECT_EQ(Shoot({0, 32, 110}, {0, 32, 90}).bHit, 0);
    markers.bStickMarkers = 0;
    EXPECT_EQ(Shoot({0, 32, 0}, {0, 32, 200}, markers).hObject, skin);

    // It follows its moves and leaves with its deletion.
    SetObjectPosition(stick, {0, 32, 150}, false);
    markers.bStickMarkers = 1;
    EXPECT_NEAR(Shoot({0, 32, 0}, {0, 32, 200}, markers).fDistance, 148, 1e-3);
    g_Engine.DeleteObject(stick);
    EXPECT_EQ(g_IntersectSegment.StickMarkerTable().iCount, 0);
    EXPECT_FALSE(Shoot({0, 32, 0}, {0, 32, 200}, markers).bHit);
}

// ---- Skinned meshes -----------------------------------------------------------------------

// The character chars\hero.x is a 64-unit box standing on its position:
// placed at (0, 0, 100) its centre is (0, 32, 100).
TEST_F(SegmentTest, FarCharactersAreHitAtTheirCentreAndAMeshWinsATie) {
    ObjectRecord* skin = MakeSkin({0, 0, 100}, 13);
    ASSERT_TRUE(skin);
    SegmentQuery coarse;
    coarse.bCoarse = 1;
    coarse.fCoarseDistance = 1.0f;
    const Vec3 start{0, 32, 0}, end{0, 32, 200};

    SegmentHit hit = Shoot(start, end, coarse);
    ASSERT_TRUE(hit.bHit);
    EXPECT_EQ(hit.hObject, skin);
    EXPECT_EQ(hit.bSkinned, 1u);
    EXPECT_EQ(hit.vPoint, Vec3(0, 32, 100));
    EXPECT_FLOAT_EQ(hit.fDistance, 100);
    EXPECT_EQ(hit.vNormal, Vec3(0, 0, -1));
    EXPECT_STREQ(hit.szNodeName, "Bip01");
    EXPECT_STREQ(hit.Skinned.szHitZoneName, "tulow");
    EXPECT_EQ(hit.dwHitZone, 0u);
    EXPECT_EQ(hit.dwTextureId, 0u);

    // Nearer than the coarse distance, the hit zones are asked: none yet.
    coarse.fCoarseDistance = 500.0f;
    EXPECT_FALSE(Shoot(start, end, coarse).bHit);
    EXPECT_FALSE(Shoot(start, end).bHit);
    // The skinned table follows the flags copies: shots pass, sight does not.
    coarse.fCoarseDistance = 1.0f;
    SetObjectFlags(skin, 0x80, 0x80);
    EXPECT_FALSE(Shoot(start, end, coarse).bHit);
    coarse.bSeeThrough = 1;
    EXPECT_TRUE(Shoot(start, end, coarse).bHit);
    SetObjectFlags2(skin, 0x1000, 0x1000);
    EXPECT_FALSE(Shoot(start, end, coarse).bHit);
    SetObjectFlags(skin, 0, 0x80);
    SetObjectFlags2(skin, 0, 0x1000);
    coarse.bSeeThrough = 0;

    // A quad through the centre, at the same distance: the mesh wins.
    Write("models\\wall.x", {QuadZ(100, -40, 60, 0, 64)});
    ObjectRecord* wall = MakeMesh("models\\wall.x", {}, 13);
    hit = Shoot(start, end, coarse);
    EXPECT_EQ(hit.hObject, wall);
    EXPECT_EQ(hit.bSkinned, 0u);
    EXPECT_FLOAT_EQ(hit.fDistance, 100);
    // Moved behind the character, the character wins.
    SetObjectPosition(wall, {0, 0, 50}, false);
    hit = Shoot(start, end, coarse);
    EXPECT_EQ(hit.hObject, skin);
    EXPECT_FLOAT_EQ(hit.fDistance, 100);
}

// Hit zones handed to the stand-in, by the character's x position.
bool ZonesByPosition(const SkinMeshCollisionState& state, const SegmentTestSegment&, SkinMeshZoneHit* out) {
    const float x = state.hObject->vPosition.x;
    if (x == 0) *out = {0.25f, "Bip01_Head", "glowa"};
    if (x == 1) *out = {0.5f, "Bip01_L_Calf", "lewa_noga"};
    return x == 0 || x == 1;
}

TEST_F(SegmentTest, AHitZoneResultIsMergedNearestFirstAndNamesItsZone) {
    g_SkinMeshCollision.SetZoneTest(ZonesByPosition);
    ObjectRecord* legs = MakeSkin({1, 0, 100}, 13);
    ObjectRecord* head = MakeSkin({0, 0, 100}, 13);
    ASSERT_TRUE(legs && head);
    const Vec3 start{0, 32, 0}, end{0, 32, 200};

    // The legs' zone is tested first and farther; the head's nearer hit replaces it.
    SegmentHit hit = Shoot(start, end);
    ASSERT_TRUE(hit.bHit);
    EXPECT_EQ(hit.hObject, head);
    EXPECT_EQ(hit.bSkinned, 1u);
    EXPECT_FLOAT_EQ(hit.fDistance, 50);
    EXPECT_EQ(hit.vPoint, Vec3(0, 32, 50));
    EXPECT_EQ(hit.vNormal, Vec3(0, 0, -1));
    EXPECT_STREQ(hit.szNodeName, "Bip01_Head");
    EXPECT_STREQ(hit.Skinned.szHitZoneName, "glowa");
    EXPECT_EQ(hit.dwHitZone, 1u);

    // A filter leaves the head out: the legs.
    static ObjectRecord* s_head;
    s_head = head;
    SegmentQuery query;
    query.pFilter = [](ObjectRecord* c, ObjectRecord*) { return c != s_head; };
    hit = Shoot(start, end, query);
    EXPECT_EQ(hit.hObject, legs);
    EXPECT_EQ(hit.dwHitZone, 4u);
    EXPECT_FLOAT_EQ(hit.fDistance, 100);

    // A mesh nearer than both zones wins; one at the legs' distance too.
    Write("models\\wall.x", {QuadZ(0, -40, 60, 0, 64)});
    ObjectRecord* wall = MakeMesh("models\\wall.x", {0, 0, 100}, 13);
    EXPECT_EQ(Shoot(start, end, query).hObject, wall);
    SetObjectPosition(wall, {0, 0, 30}, false);
    EXPECT_EQ(Shoot(start, end).hObject, wall);
}

struct ZoneCase {
    const char* name;
    uint32_t code;
};

class HitZones : public ::testing::TestWithParam<ZoneCase> {};

TEST_P(HitZones, CodeFromTheZoneName) {
    EXPECT_EQ(HitZoneCode(GetParam().name), GetParam().code);
}

INSTANTIATE_TEST_SUITE_P(Names, HitZones,
                         ::testing::Values(ZoneCase{"glowa", 1}, ZoneCase{"lewa_reka", 2},
                                           ZoneCase{"prawa_reka", 3}, ZoneCase{"lewa_noga", 4},
                                           ZoneCase{"prawa_noga", 5}, ZoneCase{"tulow", 0}, ZoneCase{"", 0},
                                           ZoneCase{"lewa", 0}, ZoneCase{"prawa", 0}, ZoneCase{"lewa_xxx", 0},
                                           ZoneCase{"g", 1}, ZoneCase{"Glowa", 0}));

TEST(HitZoneCode, NullIsZero) {
    EXPECT_EQ(HitZoneCode(nullptr), 0u);
}

// ---- The oriented box -------------------------------------------------------------------

struct OrientedCase {
    const char* name;
    Vec3 start, end;
    bool hit;
    float fraction;
};

class OrientedBox : public ::testing::TestWithParam<OrientedCase> {};

TEST_P(OrientedBox, EntryFraction) {
    // The box -10..10 on every axis.
    Vec3 corners[8];
    BoxCorners({-10, -10, -10}, {10, 10, 10}, corners);
    const OrientedCase& c = GetParam();
    float fraction = -1;
    ASSERT_EQ(TestOrientedBox(c.start, c.end, corners, &fraction), c.hit);
    if (c.hit) {
        EXPECT_NEAR(fraction, c.fraction, 1e-5);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Segments, OrientedBox,
    ::testing::Values(OrientedCase{"through", {-30, 1, 2}, {30, 1, 2}, true, 20.0f / 60},
                      OrientedCase{"backwards", {30, 1, 2}, {-30, 1, 2}, true, 20.0f / 60},
                      OrientedCase{"startsInside", {0, 1, 2}, {30, 1, 2}, true, 0},
                      OrientedCase{"endsInside", {-30, 1, 2}, {0, 1, 2}, true, 20.0f / 30},
                      OrientedCase{"wholeInside", {-5, 1, 2}, {5, 1, 2}, true, 0},
                      OrientedCase{"bothBeyondOneFace", {-30, 11, 2}, {30, 12, 2}, false, 0},
                      OrientedCase{"passesBeside", {-30, -30, 2}, {30, 30, 40}, false, 0},
                      OrientedCase{"stopsShort", {-30, 1, 2}, {-15, 1, 2}, false, 0},
                      OrientedCase{"inAndOutAtEdges", {-20, -20, 1}, {20, 20, 1}, true, 0.25f},
                      // In and out across the faces' diagonals: each crossing is
                      // found twice, the smallest of the four is taken.
                      OrientedCase{"throughDiagonals", {-30, 2, 2}, {30, 2, 2}, true, 20.0f / 60},
                      // Touching one edge only, both ends outside: entry 0.
                      OrientedCase{"grazingAnEdge", {-20, 0, 1}, {0, -20, 1}, true, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(OrientedBoxTurned, FollowsTheCornersWhereverTheyAre) {
    Vec3 corners[8];
    BoxCorners({-10, -10, -10}, {10, 10, 10}, corners);
    const math::Matrix m =
        math::MatrixMultiply(math::MatrixRotationY(0.7f), math::MatrixTranslation(100, 0, 0));
    for (Vec3& c : corners)
        TransformCoord(&c, c, m);
    float fraction = -1;
    ASSERT_TRUE(TestOrientedBox({100, 0, -50}, {100, 0, 50}, corners, &fraction));
    // The box is entered 10 / cos(0.7) from its centre along z.
    EXPECT_NEAR(fraction, (50 - 10 / std::cos(0.7f)) / 100, 1e-4);
    EXPECT_FALSE(TestOrientedBox({80, 0, -50}, {80, 0, 50}, corners, &fraction));
}

// ---- Full tables ---------------------------------------------------------------------------

// Records outside the object table sharing one mesh: more objects than the
// table's 4000 slots can hold.
class FullTables : public SegmentTest {
  protected:
    void TearDown() override {
        g_IntersectSegment.RegisterAllObjects(); // forget the extra records
        SegmentTest::TearDown();
    }
    // A message longer than a console line is wrapped: its first line is matched.
    static bool PrintedMessage(const std::string& text) {
        return PrintedLine(text.substr(0, EConsole::LINE_LEN - 1).c_str());
    }
    std::vector<ObjectRecord> Records(size_t n, uint32_t type, void* object) {
        std::vector<ObjectRecord> records(n);
        for (ObjectRecord& r : records) {
            r.bUsed = 1;
            r.dwType = type;
            r.pObject = object;
        }
        return records;
    }
};

TEST_F(FullTables, AFullTableRefusesWithItsMessageAndAFreedSlotIsTakenAgain) {
    Write("models\\wall.x", {QuadZ(0, -50, 50, 0, 100)});
    ObjectRecord* owner = MakeMesh("models\\wall.x", {0, 0, 100}, 13);
    g_IntersectSegment.RemoveObject(owner);
    std::vector<ObjectRecord> records =
        Records(EIntersectSegment::MAX_INTERSECT_SEGMENT_OBJECTS + 1, OT_MESH, owner->Mesh());
    for (int i = 0; i < EIntersectSegment::MAX_INTERSECT_SEGMENT_OBJECTS; ++i)
        g_IntersectSegment.RegisterObject(&records[size_t(i)]);
    EXPECT_EQ(g_IntersectSegment.IntersectTable().iCount, EIntersectSegment::MAX_INTERSECT_SEGMENT_OBJECTS);
    ObjectRecord& last = records.back();
    MarkConsole();
    g_IntersectSegment.RegisterObject(&last);
    EXPECT_TRUE(PrintedMessage(
        "ERROR: EIntersectSegment::AddObject() ---> m_Max_Intersect>=MAX_INTERSECT_SEGMENT_OBJECTS"));
    EXPECT_FALSE(InTable(g_IntersectSegment.IntersectTable(), &last));
    EXPECT_FALSE(InTable(g_IntersectSegment.CanSeeThruTable(), &last));

    // One record lets shots through: the intersect table has room, the
    // see-through table has none, and the new record goes into neither.
    records[5].dwFlags = 0x80;
    g_IntersectSegment.RefreshObject(&records[5]);
    EXPECT_FALSE(InTable(g_IntersectSegment.IntersectTable(), &records[5]));
    MarkConsole();
    g_IntersectSegment.RegisterObject(&last);
    EXPECT_TRUE(PrintedMessage(
        "ERROR: EIntersectSegment::AddObject() ---> m_Max_CanSeeThru>=MAX_INTERSECT_SEGMENT_OBJECTS"));
    EXPECT_FALSE(InTable(g_IntersectSegment.IntersectTable(), &last));
    // A refresh that cannot register again says so.
    MarkConsole();
    g_IntersectSegment.RefreshObject(&last);
    EXPECT_TRUE(PrintedLine("ERROR: EIntersectSegment::UpdateObject() BLAD W TABLICY OBIEKTOW!"));

    // Freed from both, slot 5 takes the new record.
    g_IntersectSegment.RemoveObject(&records[5]);
    g_IntersectSegment.RegisterObject(&last);
    EXPECT_EQ(last.iSegmentSlot[0], 5);
    EXPECT_EQ(last.iSegmentSlot[1], 5);
}

TEST_F(FullTables, FullStickMarkerAndSkinnedTablesRefuseWithTheirMessages) {
    Write("prefabs\\special\\hero_stick.x", {BoxFaces({-2, -32, -2}, {2, 32, 2})});
    ObjectRecord* stick = MakeMesh("prefabs\\special\\hero_stick.x", {}, 13);
    ObjectRecord* skin = MakeSkin({}, 13);
    g_IntersectSegment.RemoveObject(stick);
    g_IntersectSegment.RemoveObject(skin);

    std::vector<ObjectRecord> sticks =
        Records(EIntersectSegment::MAX_STICK_MARKERS + 1, OT_MESH, stick->Mesh());
    for (int i = 0; i < EIntersectSegment::MAX_STICK_MARKERS; ++i)
        g_IntersectSegment.RegisterObject(&sticks[size_t(i)]);
    MarkConsole();
    g_IntersectSegment.RegisterObject(&sticks.back());
    EXPECT_TRUE(PrintedMessage(
        "ERROR: EIntersectSegment::AddObject() ---> m_Max_StickMarkers>=MAX_INTERSECT_SEGMENT_OBJECTS"));
    EXPECT_FALSE(InTable(g_IntersectSegment.StickMarkerTable(), &sticks.back()));
    MarkConsole();
    g_IntersectSegment.RefreshObject(&sticks.back());
    EXPECT_TRUE(PrintedLine("ERROR: EIntersectSegment::UpdateStickMarker() BLAD W TABLICY OBIEKTOW!"));

    std::vector<ObjectRecord> skins =
        Records(EIntersectSegment::MAX_INTERSECT_SEGMENT_SKIN_MESHES + 1, OT_SKINMESH, skin->SkinMesh());
    for (int i = 0; i < EIntersectSegment::MAX_INTERSECT_SEGMENT_SKIN_MESHES; ++i)
        g_IntersectSegment.RegisterObject(&skins[size_t(i)]);
    MarkConsole();
    g_IntersectSegment.RegisterObject(&skins.back());
    EXPECT_TRUE(PrintedMessage(
        "ERROR: EIntersectSegment::AddSkinMesh() ---> m_Max_SkinMeshes>=MAX_INTERSECT_SEGMENT_SKIN_MESHES"));
    EXPECT_FALSE(InTable(g_IntersectSegment.SkinMeshTable(), &skins.back()));
}

// ---- Against brute force ------------------------------------------------------------------

struct Brute {
    ObjectRecord* object = nullptr;
    uint32_t face = 0;
    float distance = 0;
    float secondDistance = 1e30f; // the nearest hit on another object
};

// Every face of every object in the intersect table, in the object's own
// space, skipping no-intersect subsets.
Brute BruteForce(const Vec3& start, const Vec3& end) {
    Brute best;
    bool found = false;
    const float length = math::Vec3Length(end - start);
    const auto& table = g_IntersectSegment.IntersectTable();
    for (int i = 0; i < table.iCount; ++i) {
        if (!table.slots[i].bUsed) continue;
        ObjectRecord* h = table.slots[i].hObject;
        const EMesh* mesh = h->Mesh();
        const mesh::Mesh& data = *g_MeshMgr.GetEntry(mesh->m_iMeshId)->pMesh;
        Vec3 a, b;
        TransformCoord(&a, start, mesh->m_mInvWorld);
        TransformCoord(&b, end, mesh->m_mInvWorld);
        for (uint32_t f = 0; f < data.NumFaces(); ++f) {
            if (mesh->m_bNoIntersect[data.Attributes()[f]]) continue;
            Vec3 point;
            float t = 0;
            const auto& v = data.Vertices();
            const uint16_t* face = &data.Indices()[3 * f];
            if (!SegmentTriangleIntersectPoint(a, b, v[face[0]].position, v[face[1]].position,
                                               v[face[2]].position, &point, &t))
                continue;
            const float d = t * length;
            if (!found || d < best.distance) {
                if (found && best.object != h) best.secondDistance = best.distance;
                best.object = h;
                best.face = f;
                best.distance = d;
                found = true;
            } else if (h != best.object) {
                best.secondDistance = std::min(best.secondDistance, d);
            }
        }
    }
    return best;
}

TEST_F(SegmentTest, RandomSegmentsOverGeneratedScenesAgreeWithBruteForce) {
    std::mt19937 rng(7u);
    std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
    auto point = [&](float r) { return Vec3(unit(rng) * r, unit(rng) * r, unit(rng) * r); };
    // Three meshes of three subsets of random triangles; the last subset of
    // the second mesh is left out of segment tests.
    for (int m = 0; m < 3; ++m) {
        std::vector<Subset> subsets(3);
        for (Subset& s : subsets)
            for (int t = 0; t < 70; ++t) {
                const Vec3 c = point(40);
                s.push_back({c + point(12), c + point(12), c + point(12)});
            }
        Write(("models\\random" + std::to_string(m) + ".x").c_str(), subsets);
    }
    int hits = 0, segments = 0;
    for (int scene = 0; scene < 4; ++scene) {
        for (int i = 0; i < 12; ++i) {
            const std::string file = "models\\random" + std::to_string(i % 3) + ".x";
            ObjectRecord* h = MakeMesh(file.c_str(), point(200), 13);
            ASSERT_TRUE(h);
            orientation o;
            o.InitYawPitchRoll(unit(rng) * 3, unit(rng) * 3, unit(rng) * 3);
            SetObjectOrientation(h, o);
            SetObjectScale(h, {1.5f + unit(rng), 1.5f + unit(rng), 1.5f + unit(rng)});
            if (i % 3 == 1) {
                h->Mesh()->m_bNoIntersect[2] = 1;
                g_CollisionMgr.DeleteObject(h);
                g_CollisionMgr.AddObject(h);
            }
        }
        for (int s = 0; s < 400; ++s) {
            const Vec3 start = point(300);
            // Half the segments aim through an object.
            const ObjectRecord* target = g_Engine.Object(int(rng() % 12));
            const Vec3 end = s % 2 ? point(300) : start + (target->vPosition + point(20) - start) * 2.0f;
            const Brute expected = BruteForce(start, end);
            const SegmentHit hit = Shoot(start, end);
            ++segments;
            // Near-ties between objects go either way.
            if (expected.object && expected.secondDistance - expected.distance < 1e-3f) continue;
            ASSERT_EQ(hit.hObject, expected.object) << scene << " " << s;
            if (!expected.object) continue;
            ++hits;
            EXPECT_EQ(hit.dwFace, expected.face) << scene << " " << s;
            EXPECT_NEAR(hit.fDistance, expected.distance, 1e-3f) << scene << " " << s;
        }
        Reset();
    }
    EXPECT_GT(hits, segments / 4);
}

} // namespace
