// The demo world seen through the camera's collision volume: after loading
// worlds\test.w and opening the world, the behaviour layer's frames move the
// volume with the camera and set each object's in-view flag as it says.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>

#include "BehaviourFixture.h"
#include "physics/CollisionMgr.h"
#include "platform/math/Math.h"
#include "render/Mesh.h"
#include "skinmesh/SkinMesh.h"
#include "world/BezierMgr.h"
#include "world/EngineObjectFlags.h"
#include "world/VisBlockers.h"
#include "world/WorldMgr.h"

namespace {

class CameraVolumeTest : public BehaviourTest {
  protected:
    void SetUp() override {
        BehaviourTest::SetUp();
        namespace fs = std::filesystem;
        const fs::path data = fs::path(ZT_SOURCE_DIR) / "data";
        for (const char* folder : {"models", "worlds"})
            fs::copy(data / folder, dir_ / folder,
                     fs::copy_options::recursive | fs::copy_options::overwrite_existing);
        ASSERT_TRUE(g_WorldMgr.LoadWorld("worlds\\test.w"));
        g_EngineObject.OnWorldOpen();
        ASSERT_TRUE(g_EngineObject.m_pCameraFinder);
        m_fFarZ = g_Camera.GetFarZ();
        g_Camera.SetFarZ(12000.0f);
    }
    void TearDown() override {
        g_Camera.SetFarZ(m_fFarZ);
        g_Engine.m_bCameraPlaced = 0;
        g_EngineObject.OnWorldClose();
        g_VisBlockers.Clear();
        g_BezierMgr.FreeAll();
        BehaviourTest::TearDown();
    }

    static void Look(const math::Vec3& eye, const math::Vec3& direction) {
        g_Camera.SetPosition(eye);
        orientation o;
        o.SetDirection(direction);
        g_Camera.SetOrientation(o);
        g_Engine.m_bCameraPlaced = 1;
        Frame(0.02f);
    }

    static bool Visible(const char* name) {
        ObjectRecord* h = g_Engine.FindObjectByName(name);
        EXPECT_TRUE(h) << name;
        return h && h->bVisibleNow;
    }

    // The camera's view: the pyramid through the eye whose side slopes are
    // the projection's, from the near plane at 1 to the far distance; as
    // planes with outward normals, and as its eight corners.
    struct View {
        math::Vec3 normal[6];
        float offset[6]; // a point p is outside plane i when normal . p > offset
        math::Vec3 corner[8];
    };
    static View CameraView() {
        const math::Matrix& projection = g_Camera.Projection();
        const float sx = 1.0f / projection.m[0][0], sy = 1.0f / projection.m[1][1];
        const orientation& o = g_Camera.Orientation();
        const math::Vec3 eye = g_Camera.GetPosition();
        View v;
        const math::Vec3 sides[4] = {o.right - o.forward * sx, o.forward * -sx - o.right,
                                     o.up - o.forward * sy, o.forward * -sy - o.up};
        for (int i = 0; i < 4; ++i) {
            v.normal[i] = math::Vec3Normalize(sides[i]);
            v.offset[i] = math::Vec3Dot(v.normal[i], eye);
        }
        v.normal[4] = o.forward * -1.0f;
        v.offset[4] = math::Vec3Dot(v.normal[4], eye + o.forward);
        v.normal[5] = o.forward;
        v.offset[5] = math::Vec3Dot(o.forward, eye + o.forward * g_Camera.GetFarZ());
        int c = 0;
        for (float z : {1.0f, g_Camera.GetFarZ()})
            for (float x : {-sx, sx})
                for (float y : {-sy, sy})
                    v.corner[c++] = eye + (o.forward + o.right * x + o.up * y) * z;
        return v;
    }

    // Whether an object can show in the view: its geometry lies within its
    // range of its position and within its box, and both reach into the
    // view (no plane of the view has the sphere or the whole box outside,
    // nor a face plane of the box the whole view).
    static bool ReachesIntoView(const View& v, const ObjectRecord* h) {
        math::Vec3 lo, hi;
        if (const EMesh* mesh = h->Mesh()) {
            lo = mesh->m_vWorldMin;
            hi = mesh->m_vWorldMax;
        } else if (const ESkinMesh* skin = h->SkinMesh()) {
            skin->GetWorldBox(&lo, &hi);
        } else {
            return false;
        }
        for (int i = 0; i < 6; ++i) {
            if (math::Vec3Dot(v.normal[i], h->vPosition) - v.offset[i] > float(h->iRange)) return false;
            bool allOut = true;
            for (int k = 0; k < 8 && allOut; ++k) {
                const math::Vec3 p{k & 1 ? hi.x : lo.x, k & 2 ? hi.y : lo.y, k & 4 ? hi.z : lo.z};
                allOut = math::Vec3Dot(v.normal[i], p) > v.offset[i];
            }
            if (allOut) return false;
        }
        auto viewBeyond = [&](auto side) {
            for (const math::Vec3& p : v.corner)
                if (!side(p)) return false;
            return true;
        };
        return !viewBeyond([&](const math::Vec3& p) { return p.x < lo.x; }) &&
               !viewBeyond([&](const math::Vec3& p) { return p.x > hi.x; }) &&
               !viewBeyond([&](const math::Vec3& p) { return p.y < lo.y; }) &&
               !viewBeyond([&](const math::Vec3& p) { return p.y > hi.y; }) &&
               !viewBeyond([&](const math::Vec3& p) { return p.z < lo.z; }) &&
               !viewBeyond([&](const math::Vec3& p) { return p.z > hi.z; });
    }

    // The meshes and skinned meshes the visibility pass decides with the
    // camera volume: shown, awake, neither left out nor out of their
    // disappear range.
    static bool DecidedByTheVolume(const ObjectRecord* h) {
        using namespace objflags;
        if (!h->bUsed || h->bHiddenBySector || (h->dwType != OT_MESH && h->dwType != OT_SKINMESH))
            return false;
        if (!(h->dwFlags & kFlagVisible) ||
            (h->dwFlags & (kFlagFrozen | kFlagStickMarker | kFlagUnimportant)))
            return false;
        return !(h->iDisappearRange > 1 && h->iDisappearRange < h->iCameraDistance);
    }

    float m_fFarZ = 0;

    // Every mesh object inside the volume and in front of the camera is in
    // view; while the camera stands at the volume's apex, every one in view
    // is inside the volume too. An object whose range holds the camera is in
    // view whatever the volume says.
    static void ExpectFlagsFollowTheVolume(const math::Vec3& eye, const math::Vec3& forward) {
        const bool atApex = g_EngineObject.m_pCameraFinder->vPosition == eye;
        for (int slot = 0; slot < EEngine::FIRST_SKINMESH; ++slot) {
            ObjectRecord* h = g_Engine.Object(slot);
            if (!h->bUsed || !(h->dwFlags & 1) || h->iCameraDistance < h->iRange) continue;
            SCOPED_TRACE(h->szName);
            const bool inVolume = g_CollisionMgr.IsObjectInLightFinder(g_EngineObject.m_pCameraFinder, h, 0);
            const bool ahead = math::Vec3Dot(h->vPosition - eye, forward) > -float(h->iRange);
            if (h->bVisibleNow && atApex) {
                EXPECT_TRUE(inVolume) << h->szName;
            }
            if (inVolume && ahead) {
                EXPECT_TRUE(h->bVisibleNow) << h->szName;
            }
        }
    }
};

TEST_F(CameraVolumeTest, InViewFlagsFollowTheCameraVolumeAsTheCameraMovesAndTurns) {
    // The volume's opening follows the field of view: the view reaches about
    // 33 degrees to either side of its direction here and 39 to its corners;
    // the volume about 56, for the turn it may lag behind and a margin.
    const math::Vec3 west{-350, 100, -400};
    Look(west, {0, 0, 1});
    EXPECT_TRUE(Visible("pillar"));          // straight ahead
    EXPECT_TRUE(Visible("barrel"));          // 20 degrees aside
    EXPECT_TRUE(Visible("crate_explosive")); // 45 degrees aside
    EXPECT_FALSE(Visible("lamp_base"));      // 78 degrees aside
    ExpectFlagsFollowTheVolume(west, {0, 0, 1});

    const math::Vec3 east{150, 100, 0};
    Look(east, {0, 0, -1});
    EXPECT_EQ(g_EngineObject.m_pCameraFinder->vPosition, east);
    EXPECT_TRUE(Visible("lamp_base"));
    EXPECT_FALSE(Visible("pillar"));          // behind
    EXPECT_FALSE(Visible("crate_explosive")); // behind
    EXPECT_FALSE(Visible("crate_physics"));   // 74 degrees aside
    ExpectFlagsFollowTheVolume(east, {0, 0, -1});

    // Turned round on the spot.
    Look(east, {0, 0, 1});
    EXPECT_FALSE(Visible("lamp_base"));
    EXPECT_TRUE(Visible("cage"));
    EXPECT_TRUE(Visible("crate_explosive"));
    ExpectFlagsFollowTheVolume(east, {0, 0, 1});
}

// The volume follows a camera only once it has moved more than 256 units
// (or turned, or changed its far distance), so a smaller step leaves the
// volume where it stood; a near object at the edge of the new view is drawn
// all the same. A camera that jumps tells the layer so, and the volume
// follows at once.
TEST_F(CameraVolumeTest, ASmallStepKeepsTheVolumeWhereItStoodUntilTheCameraPositionIsInvalidated) {
    const math::Vec3 start{0, 0, 0}, step{-50, 100, -100}; // 150 units apart
    struct Case {
        const char* name;
        bool invalidate;
        math::Vec3 volumeAt;
    } cases[] = {
        {"stepped", false, start},
        {"jumped", true, step},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        g_EngineObject.InvalidateCameraPosition();
        Look(start, {0, 0, 1});
        EXPECT_FALSE(Visible("crate_grated")) << "90 degrees aside of the first place";
        if (c.invalidate) g_EngineObject.InvalidateCameraPosition();
        Look(step, {0, 0, 1});
        EXPECT_EQ(g_EngineObject.m_pCameraFinder->vPosition, c.volumeAt);
        EXPECT_TRUE(Visible("barrel")) << "22 degrees aside of the second";
        ExpectFlagsFollowTheVolume(step, {0, 0, 1});
    }
}

// A player who strafes or walks less than 256 units a step and turns a
// little keeps the volume where it was placed; every object reaching into
// the view must still be drawn, at the edges of the view as in its middle.
struct Walk {
    const char* name;
    math::Vec3 start;
    float heading;  // radians about the vertical, 0 looking along +z
    float sideways; // each step along the camera's right axis
    float ahead;    // and along its view direction
    float turn;     // radians each step
    int steps;
};

void PrintTo(const Walk& w, std::ostream* os) {
    *os << w.name;
}

class CameraVolumeWalkTest : public CameraVolumeTest, public ::testing::WithParamInterface<Walk> {};

TEST_P(CameraVolumeWalkTest, EveryObjectReachingIntoTheViewIsDrawn) {
    const Walk& w = GetParam();
    g_EngineObject.InvalidateCameraPosition();
    math::Vec3 eye = w.start;
    float heading = w.heading;
    std::string undrawn;
    int seen = 0;
    for (int step = 0; step <= w.steps; ++step) {
        const math::Vec3 forward{std::sin(heading), 0, std::cos(heading)};
        Look(eye, forward);
        const View view = CameraView();
        for (int slot = 0; slot < EEngine::FIRST_LIGHT; ++slot) {
            const ObjectRecord* h = g_Engine.Object(slot);
            if (!DecidedByTheVolume(h) || !ReachesIntoView(view, h)) continue;
            ++seen;
            if (!h->bVisibleNow) undrawn += " " + std::to_string(step) + ":" + h->szName;
        }
        const math::Vec3 right = g_Camera.Orientation().right;
        eye = eye + right * w.sideways + forward * w.ahead;
        heading += w.turn;
    }
    EXPECT_GT(seen, w.steps) << "the walk passes the demo world's objects";
    EXPECT_EQ(undrawn, "") << "step:object in view but not drawn";
}

INSTANTIATE_TEST_SUITE_P(
    SmallSteps, CameraVolumeWalkTest,
    ::testing::Values(Walk{"StrafeRight", {-700, 100, -500}, 0.0f, 200, 0, 0, 12},
                      Walk{"StrafeLeftTurningRight", {1600, 100, -450}, 0.0f, -180, 0, 0.04f, 12},
                      Walk{"StrafeBackLookingAcross", {-600, 120, 900}, 3.1416f, 220, 0, 0, 12},
                      Walk{"WalkForwardsTurningLeft", {-300, 100, -900}, 0.5f, 0, 200, -0.045f, 12},
                      Walk{"WalkDiagonallyLookingAside", {-800, 100, -700}, 0.9f, -120, 150, 0.03f, 12}),
    [](const ::testing::TestParamInfo<Walk>& info) { return std::string(info.param.name); });

} // namespace
