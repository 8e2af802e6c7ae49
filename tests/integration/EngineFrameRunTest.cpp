// Worlds run in this process, frame by frame through the engine's and the
// game's frames: shadow-casting lights keep the cube-shadow slots only while
// they exist, the demo world's visibility blocker hides what stands wholly
// behind it, and a path mover switched by its action stops and starts again,
// time after time.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/math/Math.h"
#include "render/DepthRender.h"
#include "tests/integration/GameProcess.h"
#include "tests/integration/InProcessWorld.h"
#include "world/Camera.h"
#include "world/Engine.h"
#include "world/ObjectRecord.h"

namespace {

class EngineFrameRun : public InProcessWorld {
  protected:
    // `count` shadow-casting lights 100 apart along x.
    void WriteLightsWorld(const char* name, int count) const {
        std::string world;
        for (int i = 0; i < count; ++i) {
            char light[160];
            std::snprintf(light, sizeof light,
                          "light\n\tname shadow_%d\n\txpos %d\n\typos 64\n\tzpos 0\n"
                          "\trange 300\n\tflags 16\n\n",
                          i, i * 100);
            world += light;
        }
        WriteData(name, world);
    }

    // Lights holding a slot, with every slot checked against its light.
    static int SlotsHeld() {
        int held = 0;
        for (int slot = 0; slot < EDepthRender::MAX_CUBE_SLOTS; ++slot) {
            const ObjectRecord* light = g_DepthRender.CubeSlotLight(slot);
            if (!light) continue;
            EXPECT_TRUE(light->bUsed) << "slot " << slot << " holds a free record";
            EXPECT_TRUE(light->bHasCubeShadow) << "slot " << slot;
            ++held;
        }
        return held;
    }
    static std::vector<ObjectRecord*> Lights(bool withSlot) {
        std::vector<ObjectRecord*> lights;
        for (int slot = EEngine::FIRST_LIGHT; slot < g_Engine.m_iLightHighWater; ++slot) {
            ObjectRecord* h = g_Engine.Object(slot);
            if (h->bUsed && (h->bHasCubeShadow != 0) == withSlot) lights.push_back(h);
        }
        return lights;
    }
};

TEST_F(EngineFrameRun, LightsGiveTheirCubeShadowSlotsBackWhenTheyGoAndWhenTheWorldEnds) {
    WriteLightsWorld("worlds/eight_lights.w", 8);
    WriteLightsWorld("worlds/three_lights.w", 3);
    ASSERT_TRUE(g_Engine.StartWorld("worlds\\eight_lights.w"));
    RunFrames(2);
    EXPECT_EQ(SlotsHeld(), EDepthRender::MAX_CUBE_SLOTS);
    ASSERT_EQ(Lights(false).size(), 2u);

    // Two lights with slots go: the two without one take the slots.
    const std::vector<ObjectRecord*> holding = Lights(true);
    g_Engine.DeleteObject(holding[0]);
    g_Engine.DeleteObject(holding[1]);
    RunFrames(1);
    EXPECT_EQ(SlotsHeld(), EDepthRender::MAX_CUBE_SLOTS);
    EXPECT_TRUE(Lights(false).empty());

    // The world ends: a smaller one gets a slot for each of its lights and
    // leaves the rest free.
    ASSERT_TRUE(g_Engine.StartWorld("worlds\\three_lights.w"));
    EXPECT_EQ(SlotsHeld(), 0);
    RunFrames(1);
    EXPECT_EQ(SlotsHeld(), 3);
    EXPECT_TRUE(Lights(false).empty());
    // And the same world again.
    ASSERT_TRUE(g_Engine.StartWorld("worlds\\three_lights.w"));
    RunFrames(1);
    EXPECT_EQ(SlotsHeld(), 3);
    EXPECT_TRUE(Lights(false).empty());
}

// ---- Visibility blockers ---------------------------------------------------------------------

// The demo world's hall blocker (a 256 x 256 quad standing at z = 100) hides
// a skinned mesh wholly behind it from the camera in the running frame; one
// beside it, or the same one seen past the blocker's edge, stays visible.
TEST_F(EngineFrameRun, TheHallBlockerHidesASkinnedMeshWhollyBehindIt) {
    ASSERT_TRUE(g_Engine.StartWorld("worlds\\test.w"));
    ASSERT_FALSE(g_Engine.FindObjectByName("blocker_hall")) << "the marker becomes a blocker and goes";
    const float behind[3] = {0, 32, 300}, beside[3] = {220, 32, 300};
    ObjectRecord* hidden = g_Engine.CreateObject(OT_SKINMESH, "models\\box.x", 1, 0, behind);
    ObjectRecord* seen = g_Engine.CreateObject(OT_SKINMESH, "models\\box.x", 1, 0, beside);
    ASSERT_TRUE(hidden && seen && hidden->SkinMesh());
    const auto Look = [](const math::Vec3& eye) {
        orientation o;
        o.SetDirection(math::Vec3Normalize(math::Vec3{0, 32, 300} - eye));
        g_Camera.SetPosition(eye);
        g_Camera.SetOrientation(o);
    };
    Look({0, 64, -200});
    RunFrames(15); // the visibility pass decides at least every 0.3 s
    EXPECT_EQ(hidden->bVisibleNow, 0);
    EXPECT_EQ(seen->bVisibleNow, 1);
    // From the side the blocker no longer covers it.
    Look({-600, 64, -200});
    RunFrames(15);
    EXPECT_EQ(hidden->bVisibleNow, 1);
}

// ---- Switching a path mover ------------------------------------------------------------------

struct SwitchCase {
    const char* name;
    bool startsMoving; // starts along its path when the world loads
    bool moving[4];    // after each of four switches
};

class MoverSwitchRun : public EngineFrameRun, public ::testing::WithParamInterface<SwitchCase> {
  protected:
    // A box on a loop of two nodes 400 apart at 100 a second, switched by
    // its own action.
    void WriteSwitchWorld(bool startsMoving) const {
        WriteData("worlds/switch.bzr", "bezier_node sw_a\nnr 0\npos -200 32 600\nksztalt1 -100 32 600\n"
                                       "ksztalt2 0 32 600\nvalues 100 0 0 0 0\nnext_in_path_nr 1\n"
                                       "bezier_node sw_b\nnr 1\npos 200 32 600\nksztalt1 100 32 600\n"
                                       "ksztalt2 0 32 600\nvalues 100 0 0 0 0\nnext_in_path_nr 0\n");
        WriteData("worlds/switch.w", std::string("mesh models\\box.x\n\tname mover\n\txpos -200\n\typos 32\n"
                                                 "\tzpos 600\n\tflags 13\n"
                                                 "\tbezier_moving_____start_node_name sw_a\n"
                                                 "\tbezier_moving_____params0 0 1 0 0 ") +
                                         (startsMoving ? "1" : "0") +
                                         " 0 1\n\taction_general_opt 1 0\n"
                                         "\taction_switch_moving_on_action 1\n\n");
    }
    // How far the mover goes in one second.
    static float DistanceInASecond(const ObjectRecord* mover) {
        const math::Vec3 before = mover->vPosition;
        RunFrames(30);
        return math::Vec3Length(mover->vPosition - before);
    }
};

TEST_P(MoverSwitchRun, EachSwitchTurnsTheMoverTheOtherWay) {
    const SwitchCase& c = GetParam();
    WriteSwitchWorld(c.startsMoving);
    ASSERT_TRUE(g_Engine.StartWorld("worlds\\switch.w"));
    ObjectRecord* mover = g_Engine.FindObjectByName("mover");
    ASSERT_TRUE(mover);
    RunFrames(210); // past the level's start, when actions may run
    if (c.startsMoving) {
        EXPECT_GT(DistanceInASecond(mover), 90.0f);
    } else {
        EXPECT_EQ(DistanceInASecond(mover), 0.0f);
    }
    for (int i = 0; i < 4; ++i) {
        g_Engine.FireAction("mover", 0);
        RunFrames(75); // the change takes 2 s
        const float distance = DistanceInASecond(mover);
        if (c.moving[i]) {
            EXPECT_GT(distance, 90.0f) << "switch " << i + 1;
        } else {
            EXPECT_EQ(distance, 0.0f) << "switch " << i + 1;
        }
    }
    EXPECT_EQ(gamerun::Count(Log(), "mover w srodku, uruchamiam akcje"), 4u);
}

INSTANTIATE_TEST_SUITE_P(Switches, MoverSwitchRun,
                         ::testing::Values(SwitchCase{"Running", true, {false, true, false, true}},
                                           SwitchCase{"Still", false, {true, false, true, false}}),
                         [](const ::testing::TestParamInfo<SwitchCase>& info) { return info.param.name; });

} // namespace
