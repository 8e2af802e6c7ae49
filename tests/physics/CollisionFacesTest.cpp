// Collision copies of mesh objects: face groups per subset, normals, world
// faces following moves under the gathering and no-collision flags, subset
// boxes, deletion and the oriented box of the trigger test.
#include <gtest/gtest.h>

#include "CollisionFixture.h"
#include "render/Mesh.h"
#include "render/MeshMgr.h"
#include "world/ObjectApi.h"

using coltest::Strip;
using coltest::Subset;
using coltest::Triangle;
using math::Vec3;

namespace {

struct GroupCase {
    const char* name;
    int faces; // of the first subset; a second subset of 3 faces follows
    std::vector<uint32_t> groups;
};

class FaceGroups : public CollisionTest, public ::testing::WithParamInterface<GroupCase> {};

TEST_P(FaceGroups, EachSubsetIsCutIntoRunsOfAtMostHundredFacesWithItsSkipByte) {
    const GroupCase& c = GetParam();
    Write("models\\groups.x", {Strip(c.faces), Strip(3, 5.0f)});
    ObjectRecord* h = MakeMesh("models\\groups.x", {}, 5);
    ASSERT_TRUE(h);
    // The segment test leaves out the first subset: rebuild the entry with its
    // no-intersect byte set.
    h->Mesh()->m_bNoIntersect[0] = 1;
    g_CollisionMgr.DeleteObject(h);
    g_CollisionMgr.AddObject(h);
    const CollisionMeshEntry* e = g_CollisionMgr.GetEntry(h);
    ASSERT_TRUE(e);
    ASSERT_EQ(e->dwNumFaces, uint32_t(c.faces + 3));
    ASSERT_EQ(e->dwNumBoxes, c.groups.size() + 1);
    uint32_t first = 0;
    for (size_t g = 0; g < c.groups.size(); ++g) {
        SCOPED_TRACE(g);
        EXPECT_EQ(e->pBoxes[g].dwFirstFace, first);
        EXPECT_EQ(e->pBoxes[g].dwNumFaces, c.groups[g]);
        EXPECT_EQ(e->pBoxes[g].dwAttribId, 0u);
        EXPECT_EQ(e->pBoxes[g].bSkip, 1);
        // The group's box holds exactly its faces: x from its first to its last strip triangle.
        EXPECT_FLOAT_EQ(e->pBoxes[g].vLocalMin.x, float(first));
        EXPECT_FLOAT_EQ(e->pBoxes[g].vLocalMax.x, float(first + c.groups[g]));
        first += c.groups[g];
    }
    const CollisionBox& last = e->pBoxes[c.groups.size()];
    EXPECT_EQ(last.dwFirstFace, uint32_t(c.faces));
    EXPECT_EQ(last.dwNumFaces, 3u);
    EXPECT_EQ(last.dwAttribId, 1u);
    EXPECT_EQ(last.bSkip, 0);
    EXPECT_EQ(last.vLocalMin, Vec3(0, 0, 5));
    EXPECT_EQ(last.vLocalMax, Vec3(3, 0, 6));
}

INSTANTIATE_TEST_SUITE_P(Ranges, FaceGroups,
                         ::testing::Values(GroupCase{"one", 1, {1}}, GroupCase{"hundred", 100, {100}},
                                           GroupCase{"hundredAndOne", 101, {100, 1}},
                                           GroupCase{"twoHundredFifty", 250, {100, 100, 50}}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(CollisionTest, TheEntryCopiesTheMeshAndADegenerateFaceGetsAZeroNormal) {
    Write("models\\faces.x", {{{{0, 0, 0}, {0, 0, 2}, {2, 0, 0}},    // up: (B - A) x (C - A) = (0, 4, 0)
                               {{1, 1, 1}, {2, 2, 2}, {3, 3, 3}}}}); // on a line
    ObjectRecord* h = MakeMesh("models\\faces.x", {10, 20, 30}, 5);
    const CollisionMeshEntry* e = g_CollisionMgr.GetEntry(h);
    ASSERT_TRUE(e);
    EXPECT_EQ(e->hObject, h);
    EXPECT_EQ(e->dwNumVertices, 6u);
    EXPECT_EQ(e->vLocalMin, Vec3(0, 0, 0));
    EXPECT_EQ(e->vLocalMax, Vec3(3, 3, 3));
    const uint16_t* f = &e->CM_dwFaces[3];
    EXPECT_EQ(e->CM_vVerticesLocal[f[2]], Vec3(3, 3, 3));
    EXPECT_EQ(e->CM_vFaceLocalNormal[0], Vec3(0, 1, 0));
    EXPECT_EQ(e->CM_vFaceNormal[0], Vec3(0, 1, 0));
    EXPECT_EQ(e->CM_vFaceLocalNormal[1], Vec3(0, 0, 0));
    EXPECT_EQ(e->CM_vFaceNormal[1], Vec3(0, 0, 0));
    EXPECT_EQ(e->CM_vFacesDimMin[1], Vec3(1, 1, 1));
    EXPECT_EQ(e->CM_vFacesDimMax[1], Vec3(3, 3, 3));
    // World data moved by the position.
    EXPECT_EQ(e->CM_vVerticesWorld[f[2]], Vec3(13, 23, 33));
    EXPECT_EQ(e->CM_vFacesAABB_Min[1], Vec3(11, 21, 31));
    EXPECT_EQ(e->vWorldMin, Vec3(10, 20, 30));
    EXPECT_EQ(e->vWorldMax, Vec3(13, 23, 33));
}

TEST_F(CollisionTest, SubsetBoxesAreStoredPerAttributeRange) {
    Write("models\\subsets.x", {Strip(4), Strip(2, 7.0f), {{{-1, -2, -3}, {0, 5, 0}, {1, 0, 0}}}});
    ObjectRecord* h = MakeMesh("models\\subsets.x", {100, 0, 0}, 5);
    const EMeshMgr::strmesh* m = g_MeshMgr.GetEntry(h->Mesh()->m_iMeshId);
    ASSERT_TRUE(m);
    ASSERT_EQ(m->pMesh->AttributeTable().size(), 3u);
    EXPECT_EQ(m->vSubsetMin[0], Vec3(0, 0, 0));
    EXPECT_EQ(m->vSubsetMax[0], Vec3(4, 0, 1));
    EXPECT_EQ(m->vSubsetMin[1], Vec3(0, 0, 7));
    EXPECT_EQ(m->vSubsetMax[1], Vec3(2, 0, 8));
    EXPECT_EQ(m->vSubsetMin[2], Vec3(-1, -2, -3));
    EXPECT_EQ(m->vSubsetMax[2], Vec3(1, 5, 0));
}

struct FollowCase {
    const char* name;
    uint32_t flags, flags2;
    bool follows;
};

class WorldFaces : public CollisionTest, public ::testing::WithParamInterface<FollowCase> {};

TEST_P(WorldFaces, FollowAMoveOnlyWhileGatheringAndNotExcluded) {
    const FollowCase& c = GetParam();
    Write("models\\tri.x", {{{{0, 0, 0}, {0, 0, 2}, {2, 0, 0}}}});
    ObjectRecord* h = MakeMesh("models\\tri.x", {}, 5);
    const CollisionMeshEntry* e = g_CollisionMgr.GetEntry(h);
    ASSERT_TRUE(e);
    // The last refresh with the faces following: lying on y = 0.
    SetObjectPosition(h, {0, 0, 0}, false);
    h->dwFlags = c.flags;
    h->dwFlags2 = c.flags2;
    // Moved and turned upside down.
    orientation turned;
    turned.SetYawPitchRoll(0, 0, math::kPi);
    SetObjectPositionAndOrientation(h, {50, 60, 70}, turned, false);
    // Box, corners and group boxes always follow.
    EXPECT_NEAR(e->vWorldMin.y, 60, 1e-3);
    EXPECT_NEAR(e->pBoxes[0].vWorldMin.x, 48, 1e-3);
    EXPECT_NEAR(e->vWorldCorners[6].z, 72, 1e-3);
    if (c.follows) {
        EXPECT_NEAR(e->CM_vFacesAABB_Min[0].x, 48, 1e-3);
        EXPECT_NEAR(e->CM_vFacesAABB_Min[0].y, 60, 1e-3);
        EXPECT_NEAR(e->CM_vFaceNormal[0].y, -1, 1e-5);
    } else {
        EXPECT_EQ(e->CM_vFacesAABB_Min[0], Vec3(0, 0, 0));
        EXPECT_EQ(e->CM_vFacesAABB_Max[0], Vec3(2, 0, 2));
        EXPECT_EQ(e->CM_vFaceNormal[0], Vec3(0, 1, 0));
        EXPECT_EQ(e->CM_vVerticesWorld[e->CM_dwFaces[1]], Vec3(0, 0, 2));
    }
}

INSTANTIATE_TEST_SUITE_P(Flags, WorldFaces,
                         ::testing::Values(FollowCase{"gathering", 4, 0, true},
                                           FollowCase{"gatheringWithOtherBits", 0xFFFF, 0xFFFEFFFF, true},
                                           FollowCase{"noGathering", 1 | 8, 0, false},
                                           FollowCase{"noCollision", 4, 0x10000, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(CollisionTest, MeshesWithoutFacesOrTooManyVerticesGetNoEntry) {
    ObjectRecord* skin = MakeSkin({}, 5);
    ObjectRecord* light = Make(OT_LIGHT);
    ASSERT_TRUE(skin && light);
    EXPECT_EQ(skin->iCollisionNumber, 0);
    EXPECT_EQ(light->iCollisionNumber, 0);
    // 22,000 triangles sharing no corner: 66,000 vertices do not fit 16-bit
    // indices, so the mesh does not load and the engine refuses the object.
    coltest::Subset apart;
    for (int i = 0; i < 22000; ++i)
        apart.push_back({{float(i), 0, 0}, {float(i), 0, 1}, {float(i) + 0.5f, 0, 0}});
    Write("models\\huge.x", {apart});
    EXPECT_EQ(MakeMesh("models\\huge.x", {}, 5), nullptr);
    EXPECT_EQ(g_MeshMgr.GetMesh("models\\huge.x"), -1);
}

TEST_F(CollisionTest, DeletingAnObjectWithoutAnEntryOnlyClearsTheTouchLists) {
    ObjectRecord* skin = MakeSkin({0, 0, 0}, 5);
    ObjectRecord* mesh = MakeMesh("models\\box.x", {100, 0, 0}, 5);
    Finder* f = BoxFinder({-10, 0, -10}, {110, 10, 10});
    ASSERT_TRUE(f);
    ASSERT_TRUE(InList(f, skin) && InList(f, mesh));
    const int entries = g_CollisionMgr.NumEntries();
    const int nodes = g_CollisionMgr.NumTouchNodes();
    g_Engine.DeleteObject(skin);
    EXPECT_FALSE(InList(f, skin));
    EXPECT_TRUE(InList(f, mesh));
    EXPECT_EQ(g_CollisionMgr.NumEntries(), entries);
    EXPECT_EQ(g_CollisionMgr.NumTouchNodes(), nodes - 1);
    g_Engine.DeleteObject(mesh);
    EXPECT_EQ(g_CollisionMgr.GetTouchCount(f), 0u);
    EXPECT_EQ(g_CollisionMgr.NumEntries(), entries - 1);
}

TEST_F(CollisionTest, TheTriggerTestCrossesTheTurnedBoxTheManagerKeeps) {
    // The 64-unit crate turned 45 degrees about y: its corner reaches 45.25 along x.
    ObjectRecord* h = MakeMesh("models\\box.x", {}, 5);
    orientation turned;
    turned.SetYawPitchRoll(math::kPi / 4, 0, 0);
    SetObjectOrientation(h, turned);
    const Vec3 inside[2] = {{44, 32, -1}, {44, 32, 1}};
    const Vec3 outside[2] = {{30, 32, 30}, {31, 32, 29}}; // within the unturned box, outside the turned one
    EXPECT_TRUE(h->Mesh()->IntersectSegmentBox(&inside[0], &inside[1]));
    EXPECT_FALSE(h->Mesh()->IntersectSegmentBox(&outside[0], &outside[1]));
    EXPECT_FALSE(h->Mesh()->IntersectSegmentBox(nullptr, &inside[1]));
}

} // namespace
