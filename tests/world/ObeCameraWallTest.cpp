// The OBE fly-by in the demo world: its eye is carried by the camera's box,
// which asks the slide mover whether each step is free, so an orbit point
// beyond the room's north wall draws the eye to the wall and no further.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "WorldFixture.h"
#include "actors/player/Player.h"
#include "actors/PostacMgr.h"
#include "app/Options.h"
#include "physics/CollisionMgr.h"
#include "physics/MovePlayerSlide.h"
#include "world/BezierMgr.h"
#include "world/Camera.h"
#include "world/ObeCamera.h"
#include "world/VisBlockers.h"
#include "world/WorldMgr.h"

namespace {

class ObeCameraWallTest : public WorldTest {
  protected:
    void SetUp() override {
        WorldTest::SetUp();
        namespace fs = std::filesystem;
        const fs::path data = fs::path(ZT_SOURCE_DIR) / "data";
        for (const char* folder : {"models", "worlds", "prefabs"})
            fs::copy(data / folder, dir_ / folder,
                     fs::copy_options::recursive | fs::copy_options::overwrite_existing);
        ASSERT_TRUE(g_WorldMgr.LoadWorld("worlds\\test.w"));
        g_ObeCamera.Init();
        ASSERT_TRUE(g_ObeCamera.m_hCameraBoundingBox);
        savedPlayer_ = g_Player.m_vPosition;
    }
    void TearDown() override {
        g_ObeCamera.Destroy();
        g_MovePlayerSlide.ReleaseFinder(true);
        g_Player.m_vPosition = savedPlayer_;
        GlobalTimeSpeed = 1.0f;
        g_VisBlockers.Clear();
        g_BezierMgr.FreeAll();
        WorldTest::TearDown();
    }
    math::Vec3 savedPlayer_;
};

TEST_F(ObeCameraWallTest, TheEyeStopsAtTheRoomsWall) {
    const CollisionMeshEntry* wall = g_CollisionMgr.GetEntry(g_Engine.FindObjectByName("wall_north"));
    ASSERT_TRUE(wall);
    const float wallFace = wall->vWorldMin.z; // 504

    // A character near the north wall, seen from the player in the middle
    // of the room: the orbit starts 256 beyond the character, outside.
    strpostac character;
    character.bUsed = true;
    character.hObjects[0] = Make(OT_MESH, {0, 0, 440}, "character");
    g_Player.m_vPosition.x = 0;
    g_Player.m_vPosition.y = 100;
    g_Player.m_vPosition.z = 0;
    g_Camera.SetPosition({0, 160, 300});
    g_ObeCamera.Start(&character);
    ASSERT_TRUE(g_ObeCamera.IsRunning());

    float farthest = g_ObeCamera.m_vEye.z;
    for (int frame = 0; frame < 60 && g_ObeCamera.IsRunning(); ++frame) {
        g_ObeCamera.Update(0.05f);
        farthest = std::max(farthest, g_ObeCamera.m_vEye.z);
    }
    // The camera box reaches 8 beyond the eye; the eye came up to the wall.
    EXPECT_LE(farthest + 8, wallFace);
    EXPECT_GT(farthest + 8, wallFace - 20);
    EXPECT_FALSE(g_ObeCamera.IsRunning());
}

} // namespace
