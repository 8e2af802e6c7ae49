// The Bezier camera (markers riding paths, ended by a key) and the OBE
// camera's start.
#include <gtest/gtest.h>

#include <filesystem>

#include "WorldFixture.h"
#include "actors/PostacMgr.h"
#include "app/CommandMgr.h"
#include "app/Mouse.h"
#include "platform/math/Math.h"
#include "world/BezierCamera.h"
#include "world/BezierMgr.h"
#include "world/Camera.h"
#include "world/ObeCamera.h"

class BezierCameraTest : public WorldTest {
  protected:
    void SetUp() override {
        WorldTest::SetUp();
        namespace fs = std::filesystem;
        fs::create_directories(dir_ / "prefabs" / "special");
        for (const char* f : {"marker.x", "kamera.x"})
            fs::copy_file(fs::path(ZT_SOURCE_DIR) / "data" / "prefabs" / "special" / f,
                          dir_ / "prefabs" / "special" / f);
        g_BezierMgr.FreeAll();
        // Two straight paths: the camera along +z, the target along +x.
        Path("cam", 1, {0, 100, 0}, {0, 100, 300});
        Path("tgt", 3, {500, 0, 0}, {800, 0, 0});
        g_BezierMgr.LinkAndSample();
        g_CommandMgr.m_Bindings[8][0] = 57;
        g_CommandMgr.m_Bindings[19][0] = 28;
    }
    void TearDown() override {
        g_BezierCamera.Destroy();
        g_CommandMgr.m_KeyStates[57] = g_CommandMgr.m_KeyStates[28] = 0;
        g_CommandMgr.m_Bindings[8][0] = g_CommandMgr.m_Bindings[19][0] = 0;
        g_BezierMgr.FreeAll();
        WorldTest::TearDown();
    }
    static void Path(const char* name, uint32_t nr, const math::Vec3& from, const math::Vec3& to) {
        BezierNode* a = g_BezierMgr.AllocNode();
        std::snprintf(a->szName, sizeof a->szName, "%s", name);
        a->nr = nr;
        a->dwNextNr = nr + 1;
        a->vPosition = from;
        a->vControl1 = from + (to - from) * (1.0f / 3.0f);
        a->vControl2 = from + (to - from) * (2.0f / 3.0f);
        a->fValues[0] = 100;
        BezierNode* b = g_BezierMgr.AllocNode();
        std::snprintf(b->szName, sizeof b->szName, "%s_end", name);
        b->nr = nr + 1;
        b->vPosition = to;
        b->fValues[0] = 100;
    }
};

TEST_F(BezierCameraTest, TheCommandSplitsItsArgumentIntoCameraAndTarget) {
    struct Case {
        const char* argument;
        const char* camera;
        const char* target;
        bool targetMarker;
    } cases[] = {{"cam tgt", "cam", "tgt", true}, {"cam", "cam", "", false}};
    for (const Case& c : cases) {
        g_BezierCamera.ExecCommand(c.argument);
        EXPECT_TRUE(g_BezierCamera.m_bActive);
        EXPECT_FALSE(g_BezierCamera.m_bStarted);
        EXPECT_STREQ(g_BezierCamera.m_szCameraNode, c.camera);
        EXPECT_STREQ(g_BezierCamera.m_szTargetNode, c.target);
        ObjectRecord* marker = g_Engine.FindObjectByName("Bezier camera");
        ASSERT_TRUE(marker);
        EXPECT_EQ(marker->dwFlags, 128u); // not visible
        EXPECT_EQ(g_Engine.FindObjectByName("Bezier target") != nullptr, c.targetMarker);
    }
    g_BezierCamera.Destroy();
    EXPECT_FALSE(g_Engine.FindObjectByName("Bezier camera"));
    EXPECT_FALSE(g_Engine.FindObjectByName("Bezier target"));
}

TEST_F(BezierCameraTest, TheEyeRidesTheCameraMarkerAndLooksAtTheTarget) {
    g_Mouse.m_State.yaw = 0.7;
    g_BezierCamera.ExecCommand("cam tgt");
    g_BezierCamera.Update(0.0f);
    EXPECT_TRUE(g_BezierCamera.m_bStarted);
    EXPECT_EQ(g_Mouse.m_State.yaw, 0.0);
    g_BezierMgr.UpdateObjects(1.0f);
    g_BezierCamera.Update(0.02f);
    const math::Vec3 eye = g_Camera.GetPosition();
    EXPECT_NEAR(math::Vec3Length(eye - math::Vec3(0, 100, 100)), 0, 0.05);
    const math::Vec3 expected = math::Vec3Normalize(math::Vec3(600, 0, 0) - eye);
    EXPECT_NEAR(math::Vec3Length(g_Camera.Orientation().forward - expected), 0, 1e-3);
    g_BezierCamera.Destroy();
    EXPECT_EQ(g_Mouse.m_State.yaw, 0.7); // the mouse gets its state back
}

TEST_F(BezierCameraTest, WithoutATargetTheMouseSteersTheView) {
    g_BezierCamera.ExecCommand("cam");
    g_BezierCamera.Update(0.0f);
    g_Mouse.m_State.yaw = 1.5707964;
    g_BezierMgr.UpdateObjects(0.5f);
    g_BezierCamera.Update(0.02f);
    // The marker faces +z along its path; a quarter turn about the vertical faces +x.
    EXPECT_NEAR(math::Vec3Length(g_Camera.Orientation().forward - math::Vec3(1, 0, 0)), 0, 1e-3);
}

TEST_F(BezierCameraTest, AnEndKeyOnTheFirstFrameDeletesTheMarkers) {
    for (int key : {57, 28}) {
        g_Mouse.m_State.pitch = 0.25;
        g_BezierCamera.ExecCommand("cam tgt");
        g_CommandMgr.m_KeyStates[key] = 1;
        g_BezierCamera.Update(0.02f);
        g_CommandMgr.m_KeyStates[key] = 0;
        EXPECT_FALSE(g_BezierCamera.m_bActive) << key;
        EXPECT_FALSE(g_Engine.FindObjectByName("Bezier camera"));
        EXPECT_FALSE(g_Engine.FindObjectByName("Bezier target"));
        EXPECT_EQ(g_Mouse.m_State.pitch, 0.25);
    }
}

TEST_F(BezierCameraTest, TheObeCameraStartsAtMost1600UnitsCloser) {
    ObjectRecord* body = Make(OT_SKINMESH, {0, 0, 0}, "enemy");
    strpostac& p = g_PostacMgr.m_Postacie[0];
    p.bUsed = true;
    p.dwId = 5;
    p.hObjects[0] = body;
    ObeCamera obe;
    obe.Init();
    ASSERT_TRUE(obe.m_hCameraBoundingBox);
    struct Case {
        float eyeDistance; // along +x from the character's middle (raised by 64)
        float startDistance, cappedDistance, startX;
    } cases[] = {{5000, 5000, 1600, 3400}, {1000, 1000, 1000, 1000}};
    for (const Case& c : cases) {
        obe.m_bRunning = 0;
        g_Camera.SetPosition({c.eyeDistance, 64, 0});
        MarkConsole();
        obe.Start(&p);
        EXPECT_TRUE(Printed("Start OBE za skryptu"));
        EXPECT_TRUE(obe.IsRunning());
        EXPECT_NEAR(obe.m_fStartDistance, c.startDistance, 1e-2);
        EXPECT_NEAR(obe.m_fCappedDistance, c.cappedDistance, 1e-2);
        EXPECT_NEAR(obe.m_vStartEye.x, c.startX, 1e-2);
    }
    // A second start while running is ignored.
    const math::Vec3 before = obe.m_vStartEye;
    g_Camera.SetPosition({0, 64, 9000});
    obe.Start(&p);
    EXPECT_EQ(obe.m_vStartEye, before);
    EXPECT_EQ(ObeCamera::FindPostacById(5), &p);
    EXPECT_EQ(ObeCamera::FindPostacById(0), nullptr);
    // It runs 2.5 s in slowed time, then gives time and view back.
    for (int i = 0; i < 30 && obe.IsRunning(); ++i) {
        obe.Update(0.1f);
        if (obe.IsRunning()) {
            EXPECT_EQ(GlobalTimeSpeed, 0.6f);
        }
    }
    EXPECT_FALSE(obe.IsRunning());
    EXPECT_EQ(GlobalTimeSpeed, 1.0f);
    obe.Destroy();
    p = strpostac();
}
