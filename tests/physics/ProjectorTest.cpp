// Projector finders: the volume against a separating-axis oracle built from
// position, frame, range and angle alone; the plane check; objects in view,
// out of range and hidden behind a visibility blocker.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <random>

#include "CollisionFixture.h"
#include "world/ObjectApi.h"
#include "world/VisBlockers.h"

using math::Vec3;

namespace {

// The pyramid with the given opening along the frame's forward axis, closed
// by a cap with its tip at 1.15 x range: apex, four far corners, tip.
struct Volume {
    Vec3 points[6];
    int faces[8][3];
};

Volume MakeVolume(const Vec3& apex, const orientation& o, float range, float angle) {
    const float half = std::tan(0.5f * angle) * range * std::cos(0.5f * angle); // range sin(a/2)
    const Vec3 centre = apex + o.forward * (range * std::cos(0.5f * angle));
    Volume v{};
    v.points[0] = apex;
    v.points[1] = centre + o.up * half + o.right * half;
    v.points[2] = centre + o.up * half - o.right * half;
    v.points[3] = centre - o.up * half - o.right * half;
    v.points[4] = centre - o.up * half + o.right * half;
    v.points[5] = apex + o.forward * (1.15f * range);
    const int faces[8][3] = {{0, 1, 2}, {0, 2, 3}, {0, 3, 4}, {0, 4, 1},
                             {5, 2, 1}, {5, 3, 2}, {5, 4, 3}, {5, 1, 4}};
    std::copy(&faces[0][0], &faces[0][0] + 24, &v.faces[0][0]);
    return v;
}

// The smallest overlap of the two shapes' projections over every candidate
// separating axis: negative when some axis separates them.
float SeparatingAxisOverlap(const Volume& v, const Vec3& min, const Vec3& max) {
    Vec3 corners[8];
    BoxCorners(min, max, corners);
    std::vector<Vec3> axes = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    std::vector<Vec3> edges;
    for (const auto& f : v.faces) {
        axes.push_back(math::Vec3Cross(v.points[f[1]] - v.points[f[0]], v.points[f[2]] - v.points[f[0]]));
        for (int k = 0; k < 3; ++k)
            edges.push_back(v.points[f[(k + 1) % 3]] - v.points[f[k]]);
    }
    for (const Vec3& e : edges)
        for (const Vec3& b : {Vec3(1, 0, 0), Vec3(0, 1, 0), Vec3(0, 0, 1)})
            axes.push_back(math::Vec3Cross(e, b));
    float smallest = 1e30f;
    for (Vec3 axis : axes) {
        if (math::Vec3Length(axis) < 1e-6f) continue;
        axis = math::Vec3Normalize(axis);
        float a0 = 1e30f, a1 = -1e30f, b0 = 1e30f, b1 = -1e30f;
        for (const Vec3& p : v.points) {
            a0 = std::min(a0, math::Vec3Dot(p, axis));
            a1 = std::max(a1, math::Vec3Dot(p, axis));
        }
        for (const Vec3& p : corners) {
            b0 = std::min(b0, math::Vec3Dot(p, axis));
            b1 = std::max(b1, math::Vec3Dot(p, axis));
        }
        smallest = std::min(smallest, std::min(a1, b1) - std::max(a0, b0));
    }
    return smallest;
}

TEST_F(CollisionTest, BoxInProjectorAgreesWithTheSeparatingAxisOracle) {
    std::mt19937 rng(1234);
    std::uniform_real_distribution<float> unit(-1.0f, 1.0f), turn(0.0f, 6.2831853f);
    int inside = 0, outside = 0;
    MarkConsole();
    for (int volume = 0; volume < 40; ++volume) {
        const Vec3 apex{500 * unit(rng), 500 * unit(rng), 500 * unit(rng)};
        orientation o;
        o.SetYawPitchRoll(turn(rng), turn(rng), turn(rng));
        const float range = 50.0f + 1000.0f * (unit(rng) + 1.0f);
        const float angle = 0.2f + 1.3f * (unit(rng) + 1.0f); // up to 2.8 radians
        const Finder* f = g_CollisionMgr.AddProjectorFinder(&apex, &o, range, angle);
        ASSERT_TRUE(f);
        finders_.push_back(const_cast<Finder*>(f));
        const Volume v = MakeVolume(apex, o, range, angle);
        for (int box = 0; box < 300; ++box) {
            const Vec3 centre = apex + Vec3(unit(rng), unit(rng), unit(rng)) * (1.3f * range);
            const Vec3 half = Vec3(unit(rng) + 1.0f, unit(rng) + 1.0f, unit(rng) + 1.0f) *
                              (0.02f + 0.2f * (unit(rng) + 1.0f)) * range;
            const Vec3 min = centre - half, max = centre + half;
            const float overlap = SeparatingAxisOverlap(v, min, max);
            if (std::fabs(overlap) < 1e-3f * range) continue; // too close to call in floats
            SCOPED_TRACE(testing::Message()
                         << "volume " << volume << " box " << box << " overlap " << overlap);
            ASSERT_EQ(ECollisionMgr::BoxInProjector(*f, min, max), overlap > 0);
            (overlap > 0 ? inside : outside)++;
        }
    }
    EXPECT_GT(inside, 1000);
    EXPECT_GT(outside, 1000);
    // No volume of these openings has a plane facing the wrong way.
    EXPECT_FALSE(Printed("Przeciwny Normal"));
}

TEST_F(CollisionTest, TheCameraVolumeRaisesNoPlaneErrorAndAMirroredFrameDoes) {
    MarkConsole();
    const Vec3 eye{1, 0, 0};
    for (const Vec3& direction :
         {Vec3(1, 0, 0), Vec3(0, 0, 1), Vec3(0, 1, 0), Vec3(0, -1, 0), Vec3(-0.3f, 0.2f, -1)}) {
        orientation look;
        look.SetDirection(direction);
        for (float angle : {1.5707964f, 0.8f, 1.4f * 1.333f}) {
            Finder* f = g_CollisionMgr.AddProjectorFinder(&eye, &look, 10000.0f, angle);
            ASSERT_TRUE(f);
            finders_.push_back(f);
        }
    }
    EXPECT_FALSE(Printed("Przeciwny Normal"));
    // A mirrored frame turns every plane inside out: each is reported and kept.
    orientation mirrored;
    mirrored.right = -mirrored.right;
    Finder* f = g_CollisionMgr.AddProjectorFinder(&eye, &mirrored, 100.0f, 1.5707964f);
    finders_.push_back(f);
    for (const char* line : {"ERROR: Przeciwny Normal, i=0", "ERROR: Przeciwny Normal, i=3",
                             "ERROR: Przeciwny Normal, i=4", "ERROR: Przeciwny Normal, i=7"})
        EXPECT_TRUE(PrintedLine(line)) << line;
    EXPECT_GT(f->vPlaneNormals[0].z, 0.0f);
}

TEST_F(CollisionTest, ObjectsInViewAreTouchedAndInsideTheVolume) {
    ObjectRecord* ahead = MakeMesh("models\\box.x", {0, 0, 500}, 5);
    ObjectRecord* behind = MakeMesh("models\\box.x", {0, 0, -50}, 5);
    ObjectRecord* beyond = MakeMesh("models\\box.x", {0, 0, 3000}, 5);
    ObjectRecord* aside = MakeMesh("models\\box.x", {700, 0, 500}, 5); // 45 degrees is 500 across
    ObjectRecord* skin = MakeSkin({-300, 0, 500}, 5);
    orientation look; // along +z
    const Vec3 eye{0, 32, 0};
    Finder* f = g_CollisionMgr.AddProjectorFinder(&eye, &look, 1000.0f, 1.5707964f);
    finders_.push_back(f);
    EXPECT_TRUE(g_CollisionMgr.IsObjectInLightFinder(f, ahead, 0));
    EXPECT_TRUE(g_CollisionMgr.IsObjectInLightFinder(f, skin, 0));
    EXPECT_FALSE(g_CollisionMgr.IsObjectInLightFinder(f, behind, 0));
    EXPECT_FALSE(g_CollisionMgr.IsObjectInLightFinder(f, beyond, 0));
    EXPECT_FALSE(g_CollisionMgr.IsObjectInLightFinder(f, aside, 0));
    EXPECT_FALSE(InList(f, beyond)); // out of the grown box altogether
    EXPECT_TRUE(InList(f, behind));  // in the grown box, behind the apex
    // Turned round, the other way is in view; a box finder answers nothing.
    look.SetDirection(Vec3(0, 0, -1));
    g_CollisionMgr.MoveProjectorFinder(f, &eye, &look, 1000.0f, 1.5707964f);
    EXPECT_TRUE(g_CollisionMgr.IsObjectInLightFinder(f, behind, 0));
    EXPECT_FALSE(g_CollisionMgr.IsObjectInLightFinder(f, ahead, 0));
    Finder* box = BoxFinder({-5000, -5000, -5000}, {5000, 5000, 5000});
    EXPECT_FALSE(g_CollisionMgr.IsObjectInLightFinder(box, ahead, 0));
    EXPECT_FALSE(g_CollisionMgr.GetTrianglesInBoxFinder(f, nullptr, nullptr, 0, 0));
}

TEST_F(CollisionTest, ASkinnedMeshHiddenByABlockerIsOutOfTheVolume) {
    namespace fs = std::filesystem;
    fs::create_directories(dir_ / "models" / "blockers");
    fs::copy_file(fs::path(ZT_SOURCE_DIR) / "data" / "models" / "blockers" / "visibility_blocker.x",
                  dir_ / "models" / "blockers" / "visibility_blocker.x");
    ObjectRecord* marker = MakeMesh("models\\blockers\\visibility_blocker.x", {0, 0, 200}, 0);
    ASSERT_TRUE(marker && g_VisBlockers.AddBlocker(marker));
    g_Engine.DeleteObject(marker);
    ObjectRecord* hidden = MakeSkin({0, 0, 400}, 5);
    ObjectRecord* seen = MakeSkin({400, 0, 400}, 5);
    orientation look;
    const Vec3 eye{0, 32, 0};
    Finder* f = g_CollisionMgr.AddProjectorFinder(&eye, &look, 1000.0f, 1.5707964f);
    finders_.push_back(f);
    EXPECT_FALSE(g_CollisionMgr.IsObjectInLightFinder(f, hidden, 0));
    EXPECT_TRUE(g_CollisionMgr.IsObjectInLightFinder(f, seen, 0));
    g_VisBlockers.Clear();
    EXPECT_TRUE(g_CollisionMgr.IsObjectInLightFinder(f, hidden, 0));
}

} // namespace
