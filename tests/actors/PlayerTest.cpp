// The player on the demo world's movement course: his two bodies as the
// player makes them, the keys held through the command manager's key states,
// and his update run frame by frame at a fixed frame time from level frame
// 400 (movement input counts from 220).
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "actors/ActorHooks.h"
#include "actors/PostacMgr.h"
#include "actors/WeaponMgr.h"
#include "actors/player/Player.h"
#include "app/CommandMgr.h"
#include "app/Console.h"
#include "app/Mouse.h"
#include "app/Options.h"
#include "game/MainGame.h"
#include "game/SaveMgr.h"
#include "render/PostProcess.h"
#include "tests/physics/SlideCourse.h"
#include "world/BezierMgr.h"
#include "world/Camera.h"
#include "world/ObjectAction.h"

namespace {

constexpr int32_t CMD_RUN = 1, CMD_FORWARD = 3, CMD_BACK = 4, CMD_JUMP = 8, CMD_FIRE = 19, CMD_CROUCH = 34,
                  CMD_LOAD = 67;

class PlayerCourse : public SlideCourseTest {
  protected:
    void SetUp() override {
        SlideCourseTest::SetUp();
        saved_ = {g_MainGame.m_iLevelFrame, g_Engine.m_bWorldRunning, mucha, PlayerHealth};
        g_CommandMgr.SetDefaults();
        g_MainGame.m_iLevelFrame = 400;
        g_Engine.m_bWorldRunning = 1;
        mucha = false;
        PlayerDead = MissionFailed = 0;
        PlayerHealth = PlayerMaxHealth = 100.0f;
        g_Player.m_hObject = stand_;
        g_Player.m_bCrouched = false;
        g_Player.m_fStamina = 1.0f;
        g_Player.m_bExhausted = false;
        g_Player.m_fStandingTimer = g_Player.m_fCrouchToggleTimer = g_Player.m_fJumpTimer = 10.0f;
        g_Player.m_fHighestPoint = CPlayer::NO_FALL;
        g_Player.m_bRestricted = g_Player.m_bBezier = g_Player.m_bCountdown = false;
        g_Player.m_bJumpHeld = g_Player.m_bCrouchHeld = g_Player.m_bLoadHeld = false;
        g_Player.m_fMoveSpeed = CPlayer::WALK_SPEED;
        ReleaseKeys();
        Look(0.0f);
    }
    void TearDown() override {
        ReleaseKeys();
        std::tie(g_MainGame.m_iLevelFrame, g_Engine.m_bWorldRunning, mucha, PlayerHealth) = saved_;
        PlayerDead = 0;
        g_Player.m_hObject = nullptr;
        g_Player.m_bCrouched = false;
        SlideCourseTest::TearDown();
    }

    static void Press(int32_t command, bool down = true) {
        g_CommandMgr.m_KeyStates[g_CommandMgr.GetBinding(uint32_t(command), 0)] = down ? 1 : 0;
    }
    static void ReleaseKeys() {
        std::fill(std::begin(g_CommandMgr.m_KeyStates), std::end(g_CommandMgr.m_KeyStates), 0);
    }
    // The mouse yaw (radians; 0 looks along +z) and the camera turned so.
    static void Look(float yaw) {
        g_Mouse.m_State.yaw = yaw;
        g_Mouse.m_State.pitch = 0;
        g_Player.m_fViewSmoothing = 0;
        g_Player.PlaceView();
    }
    // The player standing with his body's feet on `feet`, at rest, the last
    // three slides on ground.
    void Put(float x, float feet, float z) {
        g_Player.TeleportTo(math::Vec3(x, feet + kFeet + 0.5f, z));
        g_Player.m_vVelocity = {};
        g_Player.m_bJustPlaced = false;
        g_Player.m_bOnGround = g_Player.m_bOnGroundLastFrame = true;
        std::fill(std::begin(g_Player.m_bGroundRing), std::end(g_Player.m_bGroundRing), 1);
        g_Player.m_hGroundObject = nullptr;
        for (int i = 0; i < 5; ++i)
            Step();
    }
    static void Step(float dt = kFrame) {
        g_Engine.m_fFrameTime = dt;
        g_Player.PlaceView();
        g_Player.Update();
    }
    static void Run(float seconds) {
        for (int i = 0; i < int(seconds / kFrame + 0.5f); ++i)
            Step();
    }
    static float HorizontalDistance(const math::Vec3& a, const math::Vec3& b) {
        return std::hypot(a.x - b.x, a.z - b.z);
    }
    float PlayerFeet() const { return g_Player.m_vPosition.y - kFeet; }
    static std::string LastLine() {
        char line[EConsole::LINE_LEN];
        g_Console.CopyLine(EConsole::NUM_LINES - 1, line);
        return line;
    }

    std::tuple<int32_t, uint8_t, bool, float> saved_;
};

// ---- Walking, running, crouching and friction ------------------------------------------

struct SpeedCase {
    const char* name;
    int32_t extraKey; // held with forward (0: none)
    float speed;
    bool dazed = false; // the view smoothed and both daze switches of the picture on
};

class PlayerSpeed : public PlayerCourse, public ::testing::WithParamInterface<SpeedCase> {};

TEST_P(PlayerSpeed, OneSecondForwardCoversTheSpeedAndFrictionStopsHim) {
    const SpeedCase& c = GetParam();
    Put(800, 0, 0);
    g_PostProcess.m_bDaze1 = g_PostProcess.m_bDaze2 = c.dazed;
    g_Player.m_fViewSmoothing = c.dazed ? 0.5f : 0.0f;
    if (c.extraKey) {
        Press(c.extraKey);
        Step();
        if (c.extraKey == CMD_CROUCH) Press(c.extraKey, false);
    }
    const math::Vec3 start = g_Player.m_vPosition;
    Press(CMD_FORWARD);
    Run(1.0f);
    const float covered = HorizontalDistance(g_Player.m_vPosition, start);
    EXPECT_NEAR(covered, c.speed, c.speed * 0.05f);
    EXPECT_NEAR(g_Player.m_vPosition.x, start.x, 0.5f) << "straight ahead along +z";
    ReleaseKeys();
    const math::Vec3 released = g_Player.m_vPosition;
    Run(0.5f);
    // Each frame on ground without input keeps (0.95 - dt) x 0.45 of the speed.
    EXPECT_LT(HorizontalDistance(g_Player.m_vPosition, released), c.speed * kFrame * 1.0f);
    EXPECT_FLOAT_EQ(std::hypot(g_Player.m_vVelocity.x, g_Player.m_vVelocity.z), 0.0f);
    EXPECT_EQ(g_Player.m_bDazed, c.dazed);
    g_PostProcess.m_bDaze1 = g_PostProcess.m_bDaze2 = 0;
    g_Player.m_fViewSmoothing = 0;
}

INSTANTIATE_TEST_SUITE_P(Player, PlayerSpeed,
                         ::testing::Values(SpeedCase{"Walk", 0, 180.0f}, SpeedCase{"Run", CMD_RUN, 420.0f},
                                           SpeedCase{"Crouched", CMD_CROUCH, 80.0f},
                                           SpeedCase{"Dazed", 0, 180.0f * 0.67f, true}),
                         [](const auto& info) { return std::string(info.param.name); });

struct StairsCase {
    const char* name;
    float x;
    bool climbed;
};

class PlayerStairs : public PlayerCourse, public ::testing::WithParamInterface<StairsCase> {};

TEST_P(PlayerStairs, SixteenUnitStepsAreClimbedTwentyAreNot) {
    const StairsCase& c = GetParam();
    Put(c.x, 0, -280);
    Press(CMD_FORWARD);
    // Five steps of 32 from z = -200: on the top step after 1.4 s.
    Run(1.4f);
    if (c.climbed) {
        EXPECT_NEAR(PlayerFeet(), 80.0f, 3.0f) << "on the top step";
        EXPECT_GT(g_Player.m_vPosition.z, -120.0f);
    } else {
        EXPECT_LT(PlayerFeet(), 4.0f) << "still on the floor";
        EXPECT_LT(g_Player.m_vPosition.z, -200.0f);
    }
}

INSTANTIATE_TEST_SUITE_P(Player, PlayerStairs,
                         ::testing::Values(StairsCase{"Sixteen", 700, true},
                                           StairsCase{"Twenty", 830, false}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- Crouching ---------------------------------------------------------------------------

TEST_F(PlayerCourse, APressTogglesTheCrouchAndAHoldStandsUpOnRelease) {
    Put(800, 0, 0);
    Press(CMD_CROUCH);
    Step();
    Press(CMD_CROUCH, false);
    Step();
    EXPECT_TRUE(g_Player.m_bCrouched);
    EXPECT_EQ(g_Player.m_hObject, crouch_);
    EXPECT_STREQ(crouch_->szName, "hero");
    EXPECT_STREQ(stand_->szName, "___zz");
    Run(0.5f); // the toggle interval
    Press(CMD_CROUCH);
    Step();
    Press(CMD_CROUCH, false);
    Step();
    EXPECT_FALSE(g_Player.m_bCrouched) << "a second press stands up";
    EXPECT_EQ(g_Player.m_hObject, stand_);
    Run(0.5f);
    // Hold to crouch: down while held, up on release after more than 0.4 s.
    Press(CMD_CROUCH);
    Run(0.6f);
    EXPECT_TRUE(g_Player.m_bCrouched);
    Press(CMD_CROUCH, false);
    Step();
    EXPECT_FALSE(g_Player.m_bCrouched);
    Run(0.5f);
    EXPECT_NEAR(PlayerFeet(), 0.0f, 3.0f) << "standing on the floor again";
}

TEST_F(PlayerCourse, NoRoomAboveKeepsHimCrouched) {
    Put(800, 0, 0);
    Press(CMD_CROUCH);
    Step();
    Press(CMD_CROUCH, false);
    ASSERT_TRUE(g_Player.m_bCrouched);
    EXPECT_TRUE(g_Player.CanStandUp());
    // A low beam over his head.
    const math::Vec3 p = g_Player.m_vPosition;
    ObjectRecord* beam = MakeMesh("models\\course_ledge.x", {p.x, p.y + 30.0f, p.z}, 13);
    ASSERT_TRUE(beam);
    EXPECT_FALSE(g_Player.CanStandUp());
    Run(0.5f);
    Press(CMD_CROUCH);
    Step();
    EXPECT_TRUE(g_Player.m_bCrouched);
    g_Engine.DeleteObject(beam);
}

// ---- Jumping and falling -----------------------------------------------------------------

struct JumpCase {
    const char* name;
    void (*prepare)();
    bool jumps;
};

class PlayerJump : public PlayerCourse, public ::testing::WithParamInterface<JumpCase> {};

TEST_P(PlayerJump, TheGatesDecideAndAJumpCostsStamina) {
    const JumpCase& c = GetParam();
    Put(800, 0, 0);
    c.prepare();
    const float stamina = g_Player.m_fStamina;
    Press(CMD_JUMP);
    Step();
    EXPECT_EQ(g_Player.m_bJumping, c.jumps);
    if (c.jumps) {
        EXPECT_NEAR(g_Player.m_fStamina, stamina - 0.2f, 0.01f);
        EXPECT_GT(PlayerFeet(), 4.0f) << "lifted by at least 5 on the first frame";
        EXPECT_EQ(g_Player.m_fHighestPoint, CPlayer::NO_FALL);
    } else {
        EXPECT_LT(PlayerFeet(), 1.0f);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Player, PlayerJump,
    ::testing::Values(JumpCase{"Allowed", [] {}, true},
                      JumpCase{"Forbidden", [] { g_Player.m_bJumpAllowed = false; }, false},
                      JumpCase{"Tired", [] { g_Player.m_fStamina = 0.1f; }, false},
                      JumpCase{"JustStoodUp", [] { g_Player.m_fStandingTimer = 0.3f; }, false},
                      JumpCase{"KeyNotReleased", [] { g_Player.m_bJumpHeld = true; }, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(PlayerCourse, AJumpRisesToTheJumpSpeedsApexAndLandsAgain) {
    Put(800, 0, 0);
    Press(CMD_JUMP);
    float highest = PlayerFeet();
    for (int i = 0; i < 100; ++i) {
        Step();
        highest = std::max(highest, PlayerFeet());
    }
    // v^2 / 2g = 42.25 units, the lift of 5 besides.
    EXPECT_NEAR(highest, 260.0f * 260.0f / (2 * 800.0f), 8.0f);
    EXPECT_NEAR(PlayerFeet(), 0.0f, 3.0f);
    EXPECT_FALSE(g_Player.m_bJumping);
    Step();
    EXPECT_FALSE(g_Player.m_bJumping) << "the key held on does not jump again";
    g_Player.m_bJumpAllowed = true;
}

struct FallCase {
    float height;
    float damage;
};

class PlayerFall : public PlayerCourse, public ::testing::WithParamInterface<FallCase> {};

TEST_P(PlayerFall, ALandingBelowTheFallStartHurtsBeyond256) {
    const FallCase& c = GetParam();
    Put(800, 0, 0);
    const float h = g_Player.m_vPosition.y;
    g_Player.m_fHighestPoint = h + c.height;
    g_Player.m_bOnGroundLastFrame = false;
    g_Player.m_bOnGround = true;
    g_Player.m_fDt = kFrame;
    g_Player.FallDamage();
    EXPECT_NEAR(PlayerHealth, 100.0f - c.damage, 1e-3f);
}

INSTANTIATE_TEST_SUITE_P(Player, PlayerFall,
                         ::testing::Values(FallCase{200.0f, 0.0f}, FallCase{256.0f, 0.0f},
                                           FallCase{356.0f, 65.0f}));

// ---- The slide step's limits ------------------------------------------------------------

struct StepCapCase {
    const char* name;
    math::Vec3 velocity;
    bool flying;
    math::Vec3 expected; // the move of one step of 0.02 s in the open air
};

class PlayerStepCap : public PlayerCourse, public ::testing::WithParamInterface<StepCapCase> {};

TEST_P(PlayerStepCap, OneStepMovesAtMost18UpOrDownAnd22Across) {
    const StepCapCase& c = GetParam();
    Put(800, 200, 0);
    mucha = c.flying;
    g_Player.m_vVelocity = c.velocity;
    const math::Vec3 before = g_Player.m_vPosition;
    g_Player.m_fDt = kFrame;
    g_Player.SlideStep();
    const math::Vec3 moved = g_Player.m_vPosition - before;
    EXPECT_NEAR(moved.x, c.expected.x, 0.05f);
    EXPECT_NEAR(moved.y, c.expected.y, 0.05f);
    EXPECT_NEAR(moved.z, c.expected.z, 0.05f);
}

INSTANTIATE_TEST_SUITE_P(Player, PlayerStepCap,
                         ::testing::Values(StepCapCase{"Down", {0, -5000, 0}, false, {0, -18, 0}},
                                           StepCapCase{"Up", {0, 2000, 0}, false, {0, 18, 0}},
                                           StepCapCase{"Across", {3000, 0, 4000}, false, {13.2f, 0, 17.6f}},
                                           StepCapCase{"Small", {100, -50, 0}, false, {2, -1, 0}},
                                           StepCapCase{"FlyingDown", {0, -2000, 0}, true, {0, -40, 0}}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(PlayerCourse, AFrameOverHalfASecondOnlyPlacesTheBody) {
    Put(800, 0, 0);
    const math::Vec3 before = g_Player.m_vPosition;
    g_Player.m_vVelocity = {100, 0, 0};
    g_Player.m_fDt = 0.6f;
    g_Player.SlideStep();
    EXPECT_EQ(g_Player.m_vPosition, before);
    EXPECT_TRUE(g_Player.m_bJustPlaced);
    g_Player.m_fDt = kFrame;
    g_Player.SlideStep();
    EXPECT_EQ(g_Player.m_vPosition, before) << "the next step only places the body";
    EXPECT_FALSE(g_Player.m_bJustPlaced);
}

TEST_F(PlayerCourse, APushOfTheWorldJoinsTheVelocityOnce) {
    Put(800, 200, 0);
    g_Player.m_vPush = {500, 0, 0};
    g_Player.m_fDt = kFrame;
    g_Player.SlideStep();
    EXPECT_FLOAT_EQ(g_Player.m_vVelocity.x, 500.0f);
    EXPECT_EQ(g_Player.m_vPush, math::Vec3());
}

// ---- Restriction ---------------------------------------------------------------------------

TEST_F(PlayerCourse, ARadiusOf200SlowsFrom100StopsAt200AndLetsHimBackFreely) {
    Put(800, 0, -20);
    const math::Vec3 centre = g_Player.m_vPosition;
    g_Player.RestrictToRadius(200.0f);
    Press(CMD_FORWARD);
    float at100 = 0, farthest = 0;
    for (int i = 0; i < 200; ++i) {
        const math::Vec3 before = g_Player.m_vPosition;
        Step();
        const float d = HorizontalDistance(g_Player.m_vPosition, centre);
        const float step = HorizontalDistance(g_Player.m_vPosition, before);
        if (d < 90.0f) {
            EXPECT_NEAR(step, 180.0f * kFrame, 0.2f) << "full speed inside half the radius, at " << d;
        }
        if (at100 == 0 && d > 150.0f) at100 = step;
        farthest = std::max(farthest, d);
    }
    EXPECT_LT(at100, 180.0f * kFrame * 0.8f) << "slower beyond half the radius";
    EXPECT_LE(farthest, 200.0f);
    EXPECT_GT(farthest, 190.0f);
    ReleaseKeys();
    Press(CMD_BACK);
    const math::Vec3 before = g_Player.m_vPosition;
    Run(0.2f);
    EXPECT_NEAR(HorizontalDistance(g_Player.m_vPosition, before), 180.0f * 0.2f, 180.0f * 0.2f * 0.1f)
        << "walking back at full speed";
}

TEST_F(PlayerCourse, ARadiusBelowOnePinsHim) {
    Put(800, 0, 0);
    const math::Vec3 centre = g_Player.m_vPosition;
    g_Player.RestrictToRadius(0.5f);
    Press(CMD_FORWARD);
    Run(0.5f);
    EXPECT_LT(HorizontalDistance(g_Player.m_vPosition, centre), 0.01f);
}

// ---- Stamina -------------------------------------------------------------------------------

TEST_F(PlayerCourse, RunningExhaustsAt01AndRunningWaitsUntilAbove02) {
    Put(800, 0, -500);
    g_Player.m_fBreathTimer = 10.0f;
    g_Player.m_dwBreathVoices[0] = g_Player.m_dwBreathVoices[1] = 0;
    g_Player.m_fStamina = 0.15f;
    Press(CMD_FORWARD);
    Press(CMD_RUN);
    Run(0.6f); // drains 0.1 a second
    EXPECT_TRUE(g_Player.m_bExhausted);
    EXPECT_EQ(g_Player.m_dwBreathVoices[1], 1u);
    EXPECT_FALSE(g_Player.m_bRunning) << "running refused while exhausted";
    // Walking regains 1/15 a second: above 0.2 after three seconds.
    Run(2.9f);
    EXPECT_TRUE(g_Player.m_bExhausted);
    Run(0.3f);
    EXPECT_FALSE(g_Player.m_bExhausted);
}

struct StaminaCase {
    const char* name;
    bool run, move;
    float perSecond;
};

class PlayerStamina : public PlayerCourse, public ::testing::WithParamInterface<StaminaCase> {};

TEST_P(PlayerStamina, TheRates) {
    const StaminaCase& c = GetParam();
    g_Player.m_fStamina = 0.6f;
    g_Player.m_bRunning = c.run;
    g_Player.m_bMoving = c.move;
    g_Player.m_bOnGround = true;
    g_Player.m_fDt = 0.5f;
    g_Player.UpdateStamina();
    EXPECT_NEAR(g_Player.m_fStamina, 0.6f + c.perSecond * 0.5f, 1e-5f);
}

INSTANTIATE_TEST_SUITE_P(Player, PlayerStamina,
                         ::testing::Values(StaminaCase{"Running", true, true, -0.1f},
                                           StaminaCase{"Still", false, false, 0.125f},
                                           StaminaCase{"Walking", false, true, 1.0f / 15.0f}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- Countdown, Bezier drive, death --------------------------------------------------------

TEST_F(PlayerCourse, ACountdownWithoutItsTargetIsNamedAndStaysOff) {
    ObjectRecord* caller = MakeMesh("models\\course_slab.x", {0, -500, 0}, 0);
    ObjectAction a;
    a.dwGeneralOpt1 = 1;
    std::snprintf(a.szCountdownActionOnFinish, sizeof a.szCountdownActionOnFinish, "%s", "no_such_object");
    a.fCountdownTimeInSeconds = 3.0f;
    SetObjectAction(caller, a);
    const std::string line = "Can't find Countdown target action object \"no_such_object\"";
    g_Player.StartCountdown(caller);
    EXPECT_FALSE(g_Player.m_bCountdown);
    EXPECT_NE(LastLine().find(line), std::string::npos) << LastLine();
    // With its target: the action runs once 1.0 s is left, then the countdown ends.
    SetObjectName(caller, "countdown_target");
    std::snprintf(a.szCountdownActionOnFinish, sizeof a.szCountdownActionOnFinish, "%s", "countdown_target");
    SetObjectAction(caller, a);
    g_Player.StartCountdown(caller);
    ASSERT_TRUE(g_Player.m_bCountdown);
    EXPECT_FLOAT_EQ(g_Player.m_fCountdownTime, 3.0f);
    g_Player.m_fDt = 1.9f;
    g_Player.UpdateCountdown();
    EXPECT_TRUE(g_Player.m_bCountdown);
    g_Player.m_fDt = 0.2f;
    g_Player.UpdateCountdown();
    EXPECT_FALSE(g_Player.m_bCountdown);
    g_Engine.DeleteObject(caller);
}

TEST_F(PlayerCourse, ABezierPathThatDoesNotExistIsNamedAndChangesNothing) {
    g_Player.StartBezier("no_such_path", true);
    EXPECT_FALSE(g_Player.m_bBezier);
    EXPECT_NE(LastLine().find("Player Bezier no_such_path too short or not existing!"), std::string::npos)
        << LastLine();
}

TEST_F(PlayerCourse, DeadFireAfterTwoSecondsAndTheLoadKeyLoadTheCheckpoint) {
    Put(800, 0, 0);
    const uint32_t loads = g_SaveMgr.m_dwCheckpointLoads;
    PlayerDead = 1;
    g_Player.m_fDeathTime = 0;
    Press(CMD_FIRE);
    Run(1.5f);
    EXPECT_EQ(g_SaveMgr.m_dwCheckpointLoads, loads) << "not before two seconds";
    Run(0.6f);
    EXPECT_GT(g_SaveMgr.m_dwCheckpointLoads, loads);
    ReleaseKeys();
    const uint32_t afterFire = g_SaveMgr.m_dwCheckpointLoads;
    Press(CMD_LOAD);
    Run(0.2f);
    EXPECT_EQ(g_SaveMgr.m_dwCheckpointLoads, afterFire + 1) << "once per press";
}

TEST_F(PlayerCourse, FlyModeMovesAtMuchaSpeedWithoutCollision) {
    Put(800, 0, 0);
    mucha = true;
    const float savedSpeed = MuchaSpeed;
    MuchaSpeed = 500.0f;
    Look(float(M_PI) / 2); // along +x
    const math::Vec3 start = g_Player.m_vPosition;
    Press(CMD_FORWARD);
    Run(1.0f);
    EXPECT_NEAR(g_Player.m_vPosition.x - start.x, 500.0f, 1.0f);
    EXPECT_NEAR(g_Camera.GetPosition().x, g_Player.m_vPosition.x, 1e-3f) << "the camera flies with him";
    MuchaSpeed = savedSpeed;
}

// ---- The look-at mode ------------------------------------------------------------------------

TEST_F(PlayerCourse, TheLookAtModeDrawsTheViewToItsObjectAndHoldsItWithinItsAngle) {
    Put(800, 0, 0);
    const math::Vec3 eye = g_Camera.GetPosition();
    // A mark 200 to his right (+x) at eye height; he looks along +z.
    ObjectRecord* mark = MakeMesh("models\\course_slab.x", {eye.x + 200, eye.y, eye.z}, 0);
    ASSERT_TRUE(mark);
    g_Camera.SetLookAt(mark, 30.0f);
    Step();
    EXPECT_NEAR(g_Mouse.m_State.yaw, M_PI / 2 - M_PI / 6, 1e-3) << "at once within 30 degrees of it";
    Run(3.0f);
    EXPECT_NEAR(g_Mouse.m_State.yaw, M_PI / 2, 0.01) << "drawn to it by 2 x dt a frame";
    EXPECT_NEAR(g_Mouse.m_State.pitch, 0.0, 0.01);
    EXPECT_GT(g_Camera.Orientation().forward.x, 0.99f);
    g_Mouse.m_State.yaw += 1.0; // the mouse turns him away
    Step();
    EXPECT_NEAR(g_Mouse.m_State.yaw, M_PI / 2 + M_PI / 6, 1e-3) << "held within the angle";
    g_Engine.DeleteObject(mark);
    EXPECT_EQ(g_Camera.LookAtTarget(), nullptr) << "the mode ends with its object";
    const double yaw = g_Mouse.m_State.yaw + 1.0;
    g_Mouse.m_State.yaw = yaw;
    Step();
    EXPECT_EQ(g_Mouse.m_State.yaw, yaw) << "the mouse free again";
}

// ---- Speed caps, dropped slides, feet, carrying ---------------------------------------------

struct CapCase {
    const char* name;
    bool onGround;
    float moveSpeed, speed, expected;
};

class PlayerSpeedCap : public PlayerCourse, public ::testing::WithParamInterface<CapCase> {};

TEST_P(PlayerSpeedCap, TheMoveSpeedOnGroundAnd418InTheAirRescaleToTheMoveSpeed) {
    const CapCase& c = GetParam();
    Put(800, 200, 0);
    g_Player.m_bOnGround = g_Player.m_bOnGroundLastFrame = c.onGround;
    g_Player.m_fMoveSpeed = c.moveSpeed;
    g_Player.m_vVelocity = {c.speed * 0.6f, 0, c.speed * 0.8f};
    g_Player.m_bInputVelocity = true; // no friction this frame
    g_Player.m_fDt = kFrame;
    g_Player.FallDamage();
    const math::Vec3 v = g_Player.m_vVelocity;
    EXPECT_NEAR(std::hypot(v.x, v.z), c.expected, 0.01f);
    EXPECT_NEAR(v.x / v.z, 0.75f, 1e-4f) << "the direction is kept";
}

INSTANTIATE_TEST_SUITE_P(Player, PlayerSpeedCap,
                         ::testing::Values(CapCase{"GroundBelow", true, 180, 170, 170},
                                           CapCase{"GroundAbove", true, 180, 250, 180},
                                           CapCase{"RunningGround", true, 420, 500, 420},
                                           CapCase{"AirBelow418", false, 180, 418, 418},
                                           CapCase{"AirAbove418", false, 180, 419, 180},
                                           CapCase{"AirRunning", false, 420, 600, 420}),
                         [](const auto& info) { return std::string(info.param.name); });

struct DroppedSlideCase {
    const char* name;
    float step;    // wanted along +z in one frame, no caps (flying)
    float expectZ; // where he ends, from z = 0 (a wall's face at 102, his body 16 wide)
};

class PlayerDroppedSlide : public PlayerCourse, public ::testing::WithParamInterface<DroppedSlideCase> {};

TEST_P(PlayerDroppedSlide, ASlideEndingMoreThan64FromItsTargetIsDropped) {
    const DroppedSlideCase& c = GetParam();
    Put(800, 0, 0);
    ObjectRecord* wall = MakeMesh("models\\course_ledge.x", {800, 0, 150}, 13);
    ASSERT_TRUE(wall);
    mucha = true;
    g_Player.m_vVelocity = {0, 0, c.step / kFrame};
    g_Player.m_fDt = kFrame;
    g_Player.SlideStep();
    EXPECT_NEAR(g_Player.m_vPosition.z, c.expectZ, 3.0f);
    g_Engine.DeleteObject(wall);
}

INSTANTIATE_TEST_SUITE_P(Player, PlayerDroppedSlide,
                         ::testing::Values(DroppedSlideCase{"Free", 60, 60},
                                           DroppedSlideCase{"StoppedWithin64", 140, 84},
                                           DroppedSlideCase{"StoppedBeyond64", 160, 0}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(PlayerCourse, FeetAreOverTheGroundHitElseBelowThePositionByTheBodysHeight) {
    Put(800, 0, 0);
    g_Player.ProbeGround();
    EXPECT_NEAR(g_Player.m_fFeetHeight, 4.0f, 0.01f) << "the floor's hit at 0, plus 4";
    EXPECT_NEAR(g_Player.m_vGroundHit.y, 0.0f, 0.01f);
    struct Case {
        bool crouched;
        float below;
    } cases[] = {{false, 46.0f}, {true, 20.0f}};
    for (const Case& c : cases) {
        g_Player.m_vPosition = {800, 500, 0};
        g_Player.m_bCrouched = c.crouched;
        g_Player.ProbeGround();
        EXPECT_NEAR(g_Player.m_fFeetHeight, 500.0f - c.below, 0.01f) << "nothing within 72 below";
        EXPECT_EQ(g_Player.m_hGroundObject, nullptr);
    }
    g_Player.m_bCrouched = false;
}

struct CarryCase {
    const char* name;
    float move; // of the ground object in one frame
    bool loading;
    bool carried;
};

class PlayerCarry : public PlayerCourse, public ::testing::WithParamInterface<CarryCase> {};

TEST_P(PlayerCarry, MovesOf0001To48CarryHimButNotEarlyInALoad) {
    const CarryCase& c = GetParam();
    ObjectRecord* ground = MakeMesh("models\\course_slab.x", {4, -800, 4}, 13);
    ASSERT_TRUE(ground);
    const actorhooks::Hooks saved = actorhooks::Game();
    actorhooks::Hooks hooks = saved;
    if (c.loading) hooks.LoadingBeforeStep = [](uint32_t step) { return step <= 3; };
    actorhooks::InstallActorHooks(hooks);
    g_Player.m_hGroundObject = ground;
    g_Player.m_vGroundObjectPosition = {4, -800, 4};
    SetObjectPosition(ground, {4 + c.move, -800, 4});
    EXPECT_EQ(g_Player.FollowGroundObject(), c.carried);
    EXPECT_NEAR(g_Player.m_vCarry.x, c.carried ? c.move : 0.0f, 1e-5f);
    EXPECT_NEAR(g_Player.m_vGroundObjectPosition.x, c.carried ? 4 + c.move : 4.0f, 1e-5f)
        << "the remembered place follows only a carry";
    actorhooks::InstallActorHooks(saved);
    g_Player.m_hGroundObject = nullptr;
    g_Engine.DeleteObject(ground);
}

INSTANTIATE_TEST_SUITE_P(Player, PlayerCarry,
                         ::testing::Values(CarryCase{"Still", 0.0f, false, false},
                                           CarryCase{"BelowTheLeast", 0.0009f, false, false},
                                           CarryCase{"TheLeast", 0.0011f, false, true},
                                           CarryCase{"Lift", 6.0f, false, true},
                                           CarryCase{"TheMost", 47.99f, false, true},
                                           CarryCase{"ATeleport", 48.5f, false, false},
                                           CarryCase{"EarlyInALoad", 6.0f, true, false}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- The use target -------------------------------------------------------------------------

struct UseCase {
    const char* name;
    float faceDistance; // of a usable block straight ahead
    bool target;
};

class PlayerUseTarget : public PlayerCourse, public ::testing::WithParamInterface<UseCase> {};

TEST_P(PlayerUseTarget, ALookedAtObjectWhoseActionCanRunIsTheTargetWithin128) {
    const UseCase& c = GetParam();
    Put(800, 0, 0);
    const math::Vec3 eye = g_Camera.GetPosition();
    // The block is 96 deep: its near face 48 before its centre, at eye height.
    ObjectRecord* block =
        MakeMesh("models\\course_ledge.x", {800, eye.y - 32, eye.z + c.faceDistance + 48}, 13);
    ASSERT_TRUE(block);
    ObjectAction a;
    a.dwGeneralOpt1 = a.dwGeneralOpt2 = 1;
    SetObjectAction(block, a);
    g_Player.FindUseTarget();
    EXPECT_NEAR(g_Player.m_fLookDistance, c.faceDistance, 1.0f);
    EXPECT_EQ(g_Player.m_hUseTarget, c.target ? block : nullptr);
    g_Engine.DeleteObject(block);
}

INSTANTIATE_TEST_SUITE_P(Player, PlayerUseTarget,
                         ::testing::Values(UseCase{"Near", 100, true}, UseCase{"Far", 160, false}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- The Bezier drive -----------------------------------------------------------------------

TEST_F(PlayerCourse, TheBezierDriveWalksToThePathArrivesWithin8AndEndsWhereItStops) {
    ASSERT_GE(g_BezierMgr.GetPathLength("patrol_0"), 1.0);
    math::Vec3 start, direction;
    g_BezierMgr.GetPointOnPath("patrol_0", 0.0, &start, &direction);
    g_Player.m_vPosition = {start.x + 100.0f, 50.0f, start.z};
    g_Player.StartBezier("patrol_0", false);
    ASSERT_TRUE(g_Player.m_bBezier);
    g_Player.m_fDt = kFrame;
    g_Player.UpdateBezier();
    EXPECT_EQ(g_Player.m_iBezierArrived, 0);
    EXPECT_NEAR(g_Player.m_vBezierTarget.x, start.x + 100.0f - 110.0f * kFrame, 1e-3f)
        << "walking to the start";
    EXPECT_NEAR(g_Player.m_vBezierTarget.y, 50.0f - 140.0f * kFrame, 1e-3f) << "pressed to the ground";
    EXPECT_TRUE(g_Player.m_bMoving);
    EXPECT_FALSE(g_Player.m_bRunning);

    g_Player.m_vPosition = {start.x + 7.5f, 50.0f, start.z};
    g_Player.UpdateBezier();
    EXPECT_EQ(g_Player.m_iBezierArrived, 1) << "within 8 of the start";

    // The end of the path: the drive stops and the restriction's centre moves
    // to where he stands.
    g_Player.RestrictToRadius(300.0f);
    g_Player.m_vRestrictCentre = {0, 0, 0};
    g_Player.m_vPosition = {start.x, 50.0f, start.z};
    g_Player.m_dBezierDistance = g_Player.m_dBezierLength - 1.5;
    g_Player.UpdateBezier();
    EXPECT_FALSE(g_Player.m_bBezier);
    EXPECT_EQ(g_Player.m_vRestrictCentre, g_Player.m_vPosition);
    g_Player.m_bRestricted = false;
}

} // namespace
