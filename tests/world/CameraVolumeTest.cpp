// The demo world seen through the camera's collision volume: after loading
// worlds\test.w and opening the world, the behaviour layer's frames move the
// volume with the camera and set each object's in-view flag as it says.
#include <gtest/gtest.h>

#include <filesystem>

#include "BehaviourFixture.h"
#include "physics/CollisionMgr.h"
#include "platform/math/Math.h"
#include "world/BezierMgr.h"
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

    float m_fFarZ = 0;

    // Every mesh object in view is inside the volume, and every one inside
    // the volume and in front of the camera is in view; an object whose
    // range holds the camera is in view whatever the volume says.
    static void ExpectFlagsFollowTheVolume(const math::Vec3& eye, const math::Vec3& forward) {
        for (int slot = 0; slot < EEngine::FIRST_SKINMESH; ++slot) {
            ObjectRecord* h = g_Engine.Object(slot);
            if (!h->bUsed || !(h->dwFlags & 1) || h->iCameraDistance < h->iRange) continue;
            SCOPED_TRACE(h->szName);
            const bool inVolume = g_CollisionMgr.IsObjectInLightFinder(g_EngineObject.m_pCameraFinder, h, 0);
            const bool ahead = math::Vec3Dot(h->vPosition - eye, forward) > -float(h->iRange);
            if (h->bVisibleNow) {
                EXPECT_TRUE(inVolume) << h->szName;
            }
            if (inVolume && ahead) {
                EXPECT_TRUE(h->bVisibleNow) << h->szName;
            }
        }
    }
};

TEST_F(CameraVolumeTest, InViewFlagsFollowTheCameraVolumeAsTheCameraMovesAndTurns) {
    // The volume's opening follows the field of view: about 33 degrees to
    // either side of the view direction here.
    const math::Vec3 west{-350, 100, -400};
    Look(west, {0, 0, 1});
    EXPECT_TRUE(Visible("pillar"));           // straight ahead
    EXPECT_TRUE(Visible("barrel"));           // 20 degrees aside
    EXPECT_FALSE(Visible("crate_explosive")); // 45 degrees aside
    EXPECT_FALSE(Visible("lamp_base"));       // 78 degrees aside
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
// volume where it stood: a near object at the edge of the new view can lie
// outside it. A camera that jumps tells the layer so, and the volume follows
// at once.
TEST_F(CameraVolumeTest, ASmallStepKeepsTheVolumeWhereItStoodUntilTheCameraPositionIsInvalidated) {
    const math::Vec3 start{0, 0, 0}, step{-50, 100, -100}; // 150 units apart
    struct Case {
        const char* name;
        bool invalidate;
        math::Vec3 volumeAt;
        bool barrelInView;
    } cases[] = {
        {"stepped", false, start, false},
        {"jumped", true, step, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        g_EngineObject.InvalidateCameraPosition();
        Look(start, {0, 0, 1});
        EXPECT_FALSE(Visible("barrel")) << "39 degrees aside of the first place";
        if (c.invalidate) g_EngineObject.InvalidateCameraPosition();
        Look(step, {0, 0, 1});
        EXPECT_EQ(g_EngineObject.m_pCameraFinder->vPosition, c.volumeAt);
        EXPECT_EQ(Visible("barrel"), c.barrelInView) << "22 degrees aside of the second";
        ExpectFlagsFollowTheVolume(step, {0, 0, 1});
    }
}

} // namespace
