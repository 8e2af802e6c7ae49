// Visibility blockers: the records built from marker meshes, the limit of
// 50, and a skinned mesh hidden only when every sample point is blocked.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "WorldFixture.h"
#include "world/VisBlockers.h"

namespace {

// A mesh of a single triangle.
const char* kSingleFace = "xof 0303txt 0032\n"
                          "Frame single {\n FrameTransformMatrix {\n"
                          "  1.0,0.0,0.0,0.0,0.0,1.0,0.0,0.0,0.0,0.0,1.0,0.0,0.0,0.0,0.0,1.0;;\n }\n"
                          " Mesh single_mesh {\n  3;\n  0.0;0.0;0.0;,\n  10.0;0.0;0.0;,\n  0.0;10.0;0.0;;\n"
                          "  1;\n  3;0,1,2;;\n }\n}\n";

} // namespace

class VisBlockerTest : public WorldTest {
  protected:
    void SetUp() override {
        WorldTest::SetUp();
        namespace fs = std::filesystem;
        fs::create_directories(dir_ / "models" / "blockers");
        fs::copy_file(fs::path(ZT_SOURCE_DIR) / "data" / "models" / "blockers" / "visibility_blocker.x",
                      dir_ / "models" / "blockers" / "visibility_blocker.x");
        std::ofstream(dir_ / "models" / "single.x") << kSingleFace;
        g_VisBlockers.Clear();
    }
    void TearDown() override {
        g_VisBlockers.Clear();
        WorldTest::TearDown();
    }

    // A 256 x 256 quad in the plane z = position.z, x from -128 to 128 and y
    // from 0 to 256 around the position.
    static ObjectRecord* Blocker(const math::Vec3& position) {
        ObjectRecord* h =
            g_Engine.CreateObject(OT_MESH, "models\\blockers\\visibility_blocker.x", 0, 0, &position.x);
        EXPECT_TRUE(h);
        EXPECT_TRUE(g_VisBlockers.AddBlocker(h));
        return h;
    }

    // The skinned mesh is the 64-unit box: x and z -32..32, y 0..64.
    static ObjectRecord* Character(const math::Vec3& position) { return Make(OT_SKINMESH, position, "hero"); }
};

TEST_F(VisBlockerTest, TheFirstTwoFacesBecomeWorldTriangles) {
    Blocker({10, 20, 30});
    const VisBlockers::Blocker& b = g_VisBlockers.Get(0);
    EXPECT_EQ(g_VisBlockers.Count(), 1);
    ASSERT_TRUE(b.bUsed);
    for (const auto& t : b.vTriangles)
        for (const math::Vec3& v : t) {
            EXPECT_EQ(v.z, 30.0f);
            EXPECT_TRUE(v.x == 10 - 128 || v.x == 10 + 128) << v.x;
            EXPECT_TRUE(v.y == 20 || v.y == 20 + 256) << v.y;
        }
}

TEST_F(VisBlockerTest, ASingleFaceLeavesTheSecondTriangleZero) {
    const math::Vec3 at(1, 2, 3);
    ObjectRecord* h = g_Engine.CreateObject(OT_MESH, "models\\single.x", 0, 0, &at.x);
    ASSERT_TRUE(h);
    ASSERT_TRUE(g_VisBlockers.AddBlocker(h));
    const VisBlockers::Blocker& b = g_VisBlockers.Get(0);
    EXPECT_EQ(b.vTriangles[0][1], math::Vec3(11, 2, 3));
    for (const math::Vec3& v : b.vTriangles[1])
        EXPECT_EQ(v, math::Vec3());
}

TEST_F(VisBlockerTest, The51stBlockerIsRefused) {
    ObjectRecord* h = Blocker({});
    for (int i = 1; i < VisBlockers::MAX_VISIBILITY_BLOCKERS; ++i)
        ASSERT_TRUE(g_VisBlockers.AddBlocker(h)) << i;
    EXPECT_EQ(g_VisBlockers.Count(), 50);
    MarkConsole();
    EXPECT_FALSE(g_VisBlockers.AddBlocker(h));
    EXPECT_TRUE(Printed("* VisBlockers.cpp * AddBlocker() * MAX_VISIBILITY_BLOCKERS exceeded!"));
    EXPECT_EQ(g_VisBlockers.Count(), 50);
    // Cleared: all 50 are free again.
    g_VisBlockers.Clear();
    EXPECT_EQ(g_VisBlockers.Count(), 0);
    EXPECT_TRUE(g_VisBlockers.AddBlocker(h));
}

TEST_F(VisBlockerTest, HiddenOnlyWhenAllNinePointsAreBlocked) {
    const math::Vec3 eye(0, 32, -300);
    struct Case {
        const char* what;
        std::vector<math::Vec3> blockers;
        math::Vec3 character;
        bool hidden;
    } cases[] = {
        {"no blockers", {}, {0, 0, 100}, false},
        {"wholly behind one blocker", {{0, 0, 0}}, {0, 0, 100}, true},
        {"half behind it (some corners seen)", {{0, 0, 0}}, {150, 0, 100}, false},
        {"beside it", {{0, 0, 0}}, {400, 0, 100}, false},
        {"in front of it", {{0, 0, 200}}, {0, 0, 100}, false},
        {"split over two blockers", {{-120, 0, 0}, {136, 0, 0}}, {10, 0, 100}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        g_VisBlockers.Clear();
        for (const math::Vec3& b : c.blockers)
            Blocker(b);
        ObjectRecord* h = Character(c.character);
        EXPECT_EQ(g_VisBlockers.IsObjectHidden(eye, h), c.hidden);
        g_Engine.DeleteObject(h);
    }
    // Only skinned meshes are ever hidden.
    g_VisBlockers.Clear();
    Blocker({0, 0, 0});
    EXPECT_FALSE(g_VisBlockers.IsObjectHidden(eye, Make(OT_MESH, {0, 0, 100}, "crate")));
    EXPECT_FALSE(g_VisBlockers.IsObjectHidden(eye, nullptr));
}
