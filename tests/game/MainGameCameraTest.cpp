// The camera stages of the game frame: which cameras a frame of the game's
// update runs, and that a running one moves on (shake, listener, OBE fly-by,
// Bezier camera).
#include <gtest/gtest.h>

#include "actors/player/Player.h"
#include "app/CommandMgr.h"
#include "app/Options.h"
#include "game/Intro.h"
#include "game/MainGame.h"
#include "game/Menu.h"
#include "sound/SoundMgr.h"
#include "world/BezierCamera.h"
#include "world/Camera.h"
#include "world/Engine.h"
#include "world/ObeCamera.h"

namespace {

constexpr float kFrame = 0.1f;

class MainGameCameraTest : public ::testing::Test {
  protected:
    void SetUp() override {
        savedCamera_ = new ECamera(g_Camera);
        savedTimeSpeed_ = GlobalTimeSpeed;
        Arm();
    }
    // A loaded, active world at level frame 0 whose camera at (10, 20, 30)
    // shakes for 4 s; the listener far away.
    void Arm() {
        g_Engine.m_bWorldLoaded = 1;
        g_Engine.m_bWorldRunning = 1;
        g_Engine.m_fFrameTime = kFrame;
        g_Camera.StopShakes();
        g_Camera.SetPosition(math::Vec3(10, 20, 30));
        g_SoundMgr.m_vListenerPosition = math::Vec3(0, -1e8f, 0);
        ShakeScreenParams shake; // 4 s of the default swing
        g_Camera.ShakeScreen(shake, math::Vec3(10, 20, 30));
    }
    void TearDown() override {
        Disarm();
        g_Camera = *savedCamera_;
        delete savedCamera_;
        GlobalTimeSpeed = savedTimeSpeed_;
    }
    void Disarm() {
        g_Engine.m_bWorldLoaded = 0;
        g_Engine.m_bWorldRunning = 0;
        g_Engine.m_fFrameTime = 0;
        g_MainGame.m_iLevelFrame = 0;
        g_Menu.m_bOpen = false;
        g_Intro.m_bActive = false;
        PlayerDead = MissionFailed = 0;
        g_ObeCamera.m_bRunning = 0;
        g_ObeCamera.m_fElapsed = 0;
        g_BezierCamera.m_bActive = g_BezierCamera.m_bStarted = 0;
        g_CommandMgr.m_KeyStates[28] = 0;
        g_CommandMgr.m_Bindings[19][0] = 0;
    }

    ECamera* savedCamera_ = nullptr;
    float savedTimeSpeed_ = 1.0f;
};

TEST_F(MainGameCameraTest, FrameRunsTheCameraStagesItReaches) {
    struct Case {
        const char* name;
        bool worldActive, menuOpen, obeRunning, playerDead, intro;
        int32_t levelFrameBefore; // the frame counts itself before its camera stages
        bool cameraRuns, obeRuns;
    } cases[] = {
        {"world active", true, false, false, false, false, 10, true, false},
        {"no world active", false, false, false, false, false, 10, false, false},
        {"menu open", true, true, true, false, false, 300, false, false},
        {"OBE before the player's frames", true, false, true, false, false, 149, true, false},
        {"OBE from the player's first frame", true, false, true, false, false, 150, true, true},
        {"OBE while the player is dead", true, false, true, true, false, 300, true, false},
        {"OBE while the intro runs", true, false, true, false, true, 300, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Disarm();
        Arm();
        g_Engine.m_bWorldRunning = c.worldActive;
        g_Menu.m_bOpen = c.menuOpen;
        PlayerDead = c.playerDead;
        g_Intro.m_bActive = c.intro;
        g_MainGame.m_iLevelFrame = c.levelFrameBefore;
        g_ObeCamera.m_bRunning = c.obeRunning;
        g_ObeCamera.m_fElapsed = 0;
        const float remaining = g_Camera.TimedShake().fRemaining;

        g_MainGame.Update();

        EXPECT_FLOAT_EQ(g_MainGame.m_fFrameTime, kFrame);
        // The shake counts its time down once per frame that runs the camera.
        EXPECT_FLOAT_EQ(g_Camera.TimedShake().fRemaining, c.cameraRuns ? remaining - kFrame : remaining);
        const math::Vec3& heard = g_SoundMgr.m_vListenerPosition;
        if (c.cameraRuns) {
            EXPECT_FLOAT_EQ(heard.x, 10.0f);
            EXPECT_FLOAT_EQ(heard.z, 30.0f);
        } else {
            EXPECT_FLOAT_EQ(heard.y, -1e8f);
        }
        EXPECT_FLOAT_EQ(g_ObeCamera.m_fElapsed, c.obeRuns ? kFrame : 0.0f);
    }
}

TEST_F(MainGameCameraTest, ShakeFadesOutOverFramesAndEnds) {
    // 4 s at 0.1 s a frame: on through frame 40, off after it.
    int frames = 0;
    while (g_Camera.TimedShake().bOn && frames < 100) {
        g_MainGame.Update();
        ++frames;
    }
    EXPECT_GE(frames, 40);
    EXPECT_LE(frames, 41);
    EXPECT_FLOAT_EQ(g_Camera.TimedShake().fRemaining, 0.0f);
}

TEST_F(MainGameCameraTest, BezierCameraHoldsTheFrame) {
    g_BezierCamera.m_bActive = 1;
    g_BezierCamera.m_bStarted = 1; // riding, without markers
    const float remaining = g_Camera.TimedShake().fRemaining;
    g_MainGame.Update();
    // The camera's own stage waits while the Bezier camera holds the view.
    EXPECT_FLOAT_EQ(g_Camera.TimedShake().fRemaining, remaining);
    EXPECT_EQ(g_BezierCamera.m_bActive, 1);

    // Its end key is read by its own update, run from the game frame.
    g_CommandMgr.m_Bindings[19][0] = 28;
    g_CommandMgr.m_KeyStates[28] = 1;
    g_MainGame.Update();
    EXPECT_EQ(g_BezierCamera.m_bActive, 0);
    // With the Bezier camera gone the camera runs again.
    g_CommandMgr.m_KeyStates[28] = 0;
    g_MainGame.Update();
    EXPECT_FLOAT_EQ(g_Camera.TimedShake().fRemaining, remaining - kFrame);
}

} // namespace
