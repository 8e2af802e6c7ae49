// The behaviour layer's per-object update: trigger zones and when they may
// fire, two-state movement, rotation, doors, death countdowns, delayed
// pass-ons, unimportant objects and the use hint.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>

#include "BehaviourFixture.h"
#include "platform/math/Math.h"
#include "render/EnvironmentSettings.h"
#include "render/MeshSocketsMgr.h"

namespace {

// ---- Trigger zones ---------------------------------------------------------------------

struct TriggerCase {
    const char* name;
    uint32_t type;
    math::Vec3 previous; // the player's position in the frame before
    math::Vec3 now;      // and in this frame
    int32_t levelFrame;
    uint8_t saving;
    uint32_t saveStep;
    bool loading;
    bool fires;
};

class TriggerZoneTest : public BehaviourTest, public ::testing::WithParamInterface<TriggerCase> {};

TEST_P(TriggerZoneTest, FiresOnlyWhereAndWhenItMay) {
    const TriggerCase& c = GetParam();
    ObjectRecord* h = Make(c.type, {}, "zone");
    ASSERT_TRUE(h);
    if (c.type == OT_LIGHT) h->iRange = 100;
    SetObjectAction(h, *NewAction(true));
    g_MainGame.m_iLevelFrame = c.levelFrame;
    g_SaveMgr.m_bBusy = c.saving;
    g_SaveMgr.m_dwStep = c.saveStep;
    g_LoadScreen.m_bActive = c.loading;
    g_EngineObject.m_vPreviousPlayerPosition = c.previous;
    SetPlayer(c.now);
    Frame(0.02f);
    EXPECT_EQ(h->bHasRun != 0, c.fires);
    EXPECT_EQ(h->bInMotion != 0, c.fires);
}

// The box model spans x and z -32..32 and y 0..64 (its position is the
// bottom's centre); a light's zone is its range (100 here), then up to 320
// units from its position.
INSTANTIATE_TEST_SUITE_P(
    Cases, TriggerZoneTest,
    ::testing::Values(
        TriggerCase{"LightInsideItsRange", OT_LIGHT, {50, 0, 0}, {50, 0, 0}, 203, 0, 0, false, true},
        TriggerCase{"LightAt319", OT_LIGHT, {319, 0, 0}, {319, 0, 0}, 203, 0, 0, false, true},
        TriggerCase{"LightAt320", OT_LIGHT, {320, 0, 0}, {320, 0, 0}, 203, 0, 0, false, false},
        TriggerCase{"MeshCrossedEndingAt319", OT_MESH, {-319, 0, 0}, {319, 0, 0}, 203, 0, 0, false, true},
        TriggerCase{"MeshCrossedEndingAt320", OT_MESH, {-320, 0, 0}, {320, 0, 0}, 203, 0, 0, false, false},
        TriggerCase{"MeshNearButNotCrossed", OT_MESH, {100, 32, 0}, {60, 32, 0}, 203, 0, 0, false, false},
        TriggerCase{"MeshEntered", OT_MESH, {60, 32, 0}, {10, 32, 0}, 203, 0, 0, false, true},
        TriggerCase{"LevelFrame202", OT_LIGHT, {0, 0, 0}, {0, 0, 0}, 202, 0, 0, false, false},
        TriggerCase{"LevelFrame203", OT_LIGHT, {0, 0, 0}, {0, 0, 0}, 203, 0, 0, false, true},
        TriggerCase{"SaveStep4", OT_LIGHT, {0, 0, 0}, {0, 0, 0}, 203, 1, 4, false, false},
        TriggerCase{"SaveStep5", OT_LIGHT, {0, 0, 0}, {0, 0, 0}, 203, 1, 5, false, false},
        TriggerCase{"SaveStep6", OT_LIGHT, {0, 0, 0}, {0, 0, 0}, 203, 1, 6, false, true},
        TriggerCase{"LoadingScreen", OT_LIGHT, {0, 0, 0}, {0, 0, 0}, 203, 0, 0, true, false}),
    [](const ::testing::TestParamInfo<TriggerCase>& info) { return info.param.name; });

TEST_F(BehaviourTest, AZoneNeedsBothGeneralSwitchesAndALivingPlayer) {
    ObjectRecord* h = Make(OT_LIGHT, {}, "zone");
    h->iRange = 100;
    auto a = NewAction(true);
    a->dwGeneral21 = 0;
    SetObjectAction(h, *a);
    Frame(0.02f);
    EXPECT_FALSE(h->bHasRun);

    a->dwGeneral21 = 1;
    SetObjectAction(h, *a);
    PlayerDead = 1;
    Frame(0.02f);
    EXPECT_FALSE(h->bHasRun);

    PlayerDead = 0;
    Frame(0.02f);
    EXPECT_TRUE(h->bHasRun);
}

TEST_F(BehaviourTest, AUsedUpOneShotZoneDoesNotFireAgain) {
    ObjectRecord* h = Make(OT_LIGHT, {}, "zone");
    h->iRange = 100;
    auto a = NewAction(true);
    a->dwGeneral22 = 1;
    SetObjectAction(h, *a);
    g_EngineObject.m_iActionsRun = 0;
    Frame(0.02f);
    ASSERT_TRUE(h->bHasRun);
    EXPECT_EQ(g_EngineObject.m_dwTriggersTested, 1u);
    Frame(0.02f); // no movement: the run ends at once
    ASSERT_FALSE(h->bInMotion);
    Frame(0.02f);
    EXPECT_EQ(g_EngineObject.m_dwTriggersTested, 0u);
    EXPECT_EQ(g_EngineObject.m_iActionsRun, 1u);
}

// ---- Two-state movement ------------------------------------------------------------------------

TEST_F(BehaviourTest, ATwoStateLiftGoesOutOnTheFirstTriggerAndBackOnTheSecond) {
    ObjectRecord* lift = Make(OT_LIGHT, {0, 10, 0}, "lift");
    lift->iRange = 50;
    auto a = NewAction(true);
    a->fMoving1 = 0;
    a->fMoving2 = 2; // any length: only the direction counts
    a->fMoving3 = 0;
    a->fMoving4 = 100; // units per second
    a->fMoving5 = 200; // distance
    SetObjectAction(lift, *a);

    Frame(0.5f); // fires: the run starts, nothing moved yet
    ASSERT_TRUE(lift->bInMotion);
    EXPECT_FALSE(lift->bAtDestination);
    SetPlayer({1000, 0, 0}); // away, so it does not fire again on arrival
    const float expectedY[] = {60, 110, 160, 210, 210};
    for (float y : expectedY) {
        Frame(0.5f);
        EXPECT_FLOAT_EQ(lift->vPosition.y, y);
    }
    EXPECT_FALSE(lift->bInMotion);
    EXPECT_TRUE(lift->bAtDestination);
    EXPECT_FLOAT_EQ(lift->vStartPosition.y, 10.0f); // the start stays where it was

    SetPlayer({0, 0, 0});
    Frame(0.5f); // the second trigger: the destination side runs
    ASSERT_TRUE(lift->bInMotion);
    SetPlayer({1000, 0, 0});
    const float back[] = {160, 110, 60, 10, 10};
    for (float y : back) {
        Frame(0.5f);
        EXPECT_FLOAT_EQ(lift->vPosition.y, y);
    }
    EXPECT_FALSE(lift->bInMotion);
    EXPECT_FALSE(lift->bAtDestination);
}

TEST_F(BehaviourTest, MovingTheLiftMarksThePlayerMovedWhenHeIsNear) {
    ObjectRecord* lift = Make(OT_LIGHT, {}, "lift");
    auto a = NewAction();
    a->fMoving2 = 1;
    a->fMoving4 = 10;
    a->fMoving5 = 100;
    SetObjectAction(lift, *a);
    for (int32_t distance : {511, 512}) {
        lift->iPlayerDistance = distance;
        lift->bInMotion = 0;
        lift->bAtDestination = 0;
        g_EngineObject.RunAction(lift, false);
        g_Player.m_bMovedByWorld = false;
        g_EngineObject.m_fFrameTime = 0.1f;
        g_EngineObject.UpdateActionMotion(lift);
        EXPECT_EQ(g_Player.m_bMovedByWorld, distance < 512) << distance;
    }
}

// ---- Rotation --------------------------------------------------------------------------------------

TEST_F(BehaviourTest, RotationStopsExactlyAtItsTargetsAndTurnsBackToZero) {
    ObjectRecord* h = Make(OT_LIGHT, {}, "gate");
    auto a = NewAction();
    a->fRotation1 = 1.0f; // first angle
    a->fRotation3 = 0.5f; // second angle
    a->fRotation2 = 0.0f; // third angle: left alone
    a->fRotation4 = 0.3f; // per second
    a->fRotationAcceleration = 0.1f;
    SetObjectAction(h, *a);
    g_EngineObject.RunAction(h, false);

    float* first = &h->fRun1264[ObjectRecord::RUN_ROTATION1];
    float* second = &h->fRun1264[ObjectRecord::RUN_ROTATION2];
    // Step k turns by (0.3 + 0.1 x time since fired) x 0.7.
    float expectFirst = 0, expectSecond = 0, fired = 0;
    for (int k = 0; k < 20 && h->bInMotion; ++k) {
        fired += 0.7f;
        const float step = (0.3f + 0.1f * fired) * 0.7f;
        expectFirst = std::min(1.0f, expectFirst + step);
        expectSecond = std::min(0.5f, expectSecond + step);
        Frame(0.7f);
        EXPECT_NEAR(*first, expectFirst, 1e-5f);
        EXPECT_NEAR(*second, expectSecond, 1e-5f);
    }
    EXPECT_EQ(*first, 1.0f);
    EXPECT_EQ(*second, 0.5f);
    EXPECT_EQ(h->fRotationAngle3, 0.0f);
    EXPECT_FALSE(h->bInMotion);
    EXPECT_TRUE(h->bAtDestination);

    g_EngineObject.RunAction(h, false);
    Frames(30, 0.7f);
    EXPECT_EQ(*first, 0.0f);
    EXPECT_EQ(*second, 0.0f);
    EXPECT_FALSE(h->bInMotion);
    EXPECT_FALSE(h->bAtDestination);
}

// ---- Doors ---------------------------------------------------------------------------------------------

struct DoorCase {
    const char* name;
    float playerX; // the door faces +z; the player stands left (-) or right (+)... of its front
    float playerZ;
    float expected; // the angle it opens to
};

class DoorTest : public BehaviourTest, public ::testing::WithParamInterface<DoorCase> {};

TEST_P(DoorTest, OpensAwayFromThePlayerAndStopsExactly) {
    const DoorCase& c = GetParam();
    ObjectRecord* door = Make(OT_LIGHT, {}, "door");
    auto a = NewAction();
    a->dwDoor1 = 1;
    a->dwDoor2 = 1;
    a->fDoor3 = 80.0f;
    a->fDoor4 = 70.0f;
    SetObjectAction(door, *a);
    SetPlayer({c.playerX, 0, c.playerZ});
    g_EngineObject.RunAction(door, false);
    EXPECT_FLOAT_EQ(door->fDoorTarget, c.expected);
    SetPlayer({5000, 0, 0});
    Frames(40, 0.1f);
    EXPECT_EQ(door->fRun1264[ObjectRecord::RUN_DOOR_ANGLE], c.expected);
    EXPECT_FALSE(door->bInMotion);
    EXPECT_TRUE(door->bAtDestination);
    orientation expected;
    expected.Rotate(math::Vec3{0, -1, 0}, c.expected * 0.017453292f);
    EXPECT_NEAR(door->Orientation.quaternion.y, expected.quaternion.y, 1e-5f);
    EXPECT_NEAR(door->Orientation.quaternion.w, expected.quaternion.w, 1e-5f);

    g_EngineObject.RunAction(door, false);
    Frames(40, 0.1f);
    EXPECT_EQ(door->fRun1264[ObjectRecord::RUN_DOOR_ANGLE], 0.0f);
    EXPECT_FALSE(door->bInMotion);
    EXPECT_FALSE(door->bAtDestination);
}

INSTANTIATE_TEST_SUITE_P(Cases, DoorTest,
                         ::testing::Values(DoorCase{"PlayerBehind", 0, -100, -80},
                                           DoorCase{"PlayerInFront", 0, 100, 80}),
                         [](const ::testing::TestParamInfo<DoorCase>& info) { return info.param.name; });

TEST_F(BehaviourTest, ADoorWithAKnobTurnsTheKnobFirstAndLastAndItsSpeedFollowsTheAngle) {
    ObjectRecord* door = Make(OT_LIGHT, {}, "door");
    auto a = NewAction();
    a->dwDoor1 = 1;
    a->dwDoor2 = 0;
    a->fDoor3 = 60.0f;
    a->fDoor4 = 10.0f;
    a->dwKnobGeneral1 = 1;
    a->fKnobGeneral2 = 30.0f;
    a->fKnobGeneral3 = 30.0f;
    SetObjectAction(door, *a);
    g_EngineObject.RunAction(door, false);
    ASSERT_TRUE(door->bKnobPhase);

    float& angle = door->fRun1264[ObjectRecord::RUN_DOOR_ANGLE];
    Frame(0.5f); // the knob turns 15 degrees, the door waits
    EXPECT_FLOAT_EQ(door->fKnobAngle, 15.0f);
    EXPECT_EQ(angle, 0.0f);
    Frame(0.5f); // the knob reaches 30: the door swings next
    EXPECT_FLOAT_EQ(door->fKnobAngle, 30.0f);
    EXPECT_FALSE(door->bKnobPhase);
    Frame(0.5f); // k = 0 / 60 + 0.5: 10 x 0.5 x 0.5
    EXPECT_FLOAT_EQ(angle, 2.5f);
    Frame(0.5f); // k = 2.5 / 60 + 0.5
    EXPECT_FLOAT_EQ(angle, 2.5f + 10.0f * (2.5f / 60.0f + 0.5f) * 0.5f);
}

// ---- Death countdowns and delayed pass-ons ---------------------------------------------------------------

struct TimingCase {
    const char* name;
    float wait; // the countdown or the pass-on delay
    float dt;
    int frame; // the frame in which it happens
};

class CountdownTest : public BehaviourTest, public ::testing::WithParamInterface<TimingCase> {};

TEST_P(CountdownTest, KillsInTheFirstFrameThatReachesIt) {
    const TimingCase& c = GetParam();
    ObjectRecord* h = Make(OT_LIGHT, {5000, 0, 0}, "bomb");
    SetObjectDeathParams(h, *NewDeath());
    h->fDeathCountdown = c.wait;
    for (int frame = 1; frame <= c.frame; ++frame) {
        Frame(c.dt);
        EXPECT_EQ(h->bDying != 0, frame == c.frame) << frame;
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, CountdownTest,
                         ::testing::Values(TimingCase{"OneFrameOfTheWholeTime", 0.1f, 0.1f, 1},
                                           TimingCase{"JustShortOfIt", 0.1f, 0.099f, 2},
                                           TimingCase{"TwoHalves", 0.1f, 0.05f, 2},
                                           TimingCase{"ThreeFrames", 0.1f, 0.04f, 3}),
                         [](const ::testing::TestParamInfo<TimingCase>& info) { return info.param.name; });

class PassOnTest : public BehaviourTest, public ::testing::WithParamInterface<TimingCase> {};

TEST_P(PassOnTest, FiresInTheFirstFrameWhoseTotalReachesTheDelay) {
    const TimingCase& c = GetParam();
    ObjectRecord* from = Make(OT_LIGHT, {5000, 0, 0}, "switch");
    ObjectRecord* to = Make(OT_LIGHT, {5000, 0, 0}, "alarm");
    auto a = NewAction();
    std::strcpy(a->szGiveActionToMesh, "alarm");
    a->fGiveActionToDelay = c.wait;
    SetObjectAction(from, *a);
    SetObjectAction(to, *NewAction());
    g_EngineObject.RunAction(from, false);
    EXPECT_EQ(to->bHasRun != 0, c.frame == 0);
    for (int frame = 1; frame <= c.frame; ++frame) {
        Frame(c.dt);
        EXPECT_EQ(to->bHasRun != 0, frame == c.frame) << frame;
    }
    EXPECT_FALSE(from->bPassOnPending);
}

INSTANTIATE_TEST_SUITE_P(Cases, PassOnTest,
                         ::testing::Values(TimingCase{"QuartersReachOne", 1.0f, 0.25f, 4},
                                           TimingCase{"ThirdsPassOne", 1.0f, 0.4f, 3},
                                           TimingCase{"DelayZeroIsImmediate", 0.0f, 0.1f, 0},
                                           TimingCase{"DelayMinusOneWaitsOneFrame", -1.0f, 0.1f, 1}),
                         [](const ::testing::TestParamInfo<TimingCase>& info) { return info.param.name; });

TEST_F(BehaviourTest, NoMotionOrPassOnRunsWhileASaveOrLoadIsInProgress) {
    ObjectRecord* from = Make(OT_LIGHT, {5000, 0, 0}, "switch");
    ObjectRecord* to = Make(OT_LIGHT, {5000, 0, 0}, "alarm");
    auto a = NewAction();
    std::strcpy(a->szGiveActionToMesh, "alarm");
    a->fGiveActionToDelay = 0.1f;
    SetObjectAction(from, *a);
    SetObjectAction(to, *NewAction());
    g_EngineObject.RunAction(from, false);
    g_SaveMgr.m_bBusy = 1;
    g_SaveMgr.m_dwStep = 20;
    Frames(5, 0.1f);
    EXPECT_FALSE(to->bHasRun);
    EXPECT_FLOAT_EQ(from->fPassOnTimer, 0.0f);
    g_SaveMgr.m_bBusy = 0;
    Frame(0.1f);
    EXPECT_TRUE(to->bHasRun);
}

// ---- Unimportant objects, the use hint -------------------------------------------------------------------

TEST_F(BehaviourTest, UnimportantObjectsParkTheirFlagsWhileHiddenAndGetThemBack) {
    ObjectRecord* h = Make(OT_LIGHT, {5000, 0, 0}, "debris");
    SetObjectDeathParams(h, *NewDeath());
    SetObjectFlags(h, 64 | 5, 0xFFFFFFFF);
    SetObjectFlags2(h, 0x30, 0xFFFFFFFF);
    h->fDeathCountdown = 0.05f;
    DrawNotImportant = false;
    Frame(0.1f);
    EXPECT_EQ(h->dwFlags, 192u);
    EXPECT_EQ(h->dwFlags2, 0x18011000u);
    EXPECT_FALSE(h->bDying); // its update was skipped
    Frame(0.1f);
    EXPECT_EQ(h->dwFlags, 192u); // parked once, not parked over
    DrawNotImportant = true;
    Frame(0.1f);
    EXPECT_TRUE(h->bDying);
    EXPECT_EQ(h->dwFlags, 64u | 5u | 128u); // its own flags, and the death's
    EXPECT_EQ(h->dwFlags2, 0x30u);
}

struct UseHintCase {
    const char* name;
    float countdown;
    int32_t cameraDistance;
    bool shown;
};

class UseHintTest : public BehaviourTest, public ::testing::WithParamInterface<UseHintCase> {};

TEST_P(UseHintTest, ShowsNearAUsableObject) {
    const UseHintCase& c = GetParam();
    ObjectRecord* h = Make(OT_LIGHT, {7, 8, 9}, "lever");
    SetObjectFlags(h, 0x1000, 0x1000);
    h->fDeathCountdown = c.countdown;
    g_Camera.SetPosition({7, 8, 9 + float(c.cameraDistance)});
    g_EngineObject.m_fVisibilityTimer = 0.0f; // distances are taken this frame
    Frame(0.0f);
    // The distance is refreshed by the visibility pass after the object pass:
    // a second frame sees it.
    Frame(0.0f);
    EXPECT_EQ(g_Panel.m_bUsableObject, c.shown);
    if (c.shown) {
        EXPECT_EQ(g_Panel.m_vUsableObjectPosition, math::Vec3(7, 8, 9));
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, UseHintTest,
                         ::testing::Values(UseHintCase{"Near", 0.0f, 639, true},
                                           UseHintCase{"Far", 0.0f, 640, false},
                                           UseHintCase{"CountdownAt2_5", 2.5f, 100, true},
                                           UseHintCase{"CountdownAbove", 2.6f, 100, false}),
                         [](const ::testing::TestParamInfo<UseHintCase>& info) { return info.param.name; });

TEST_F(BehaviourTest, NothingUpdatesWhileUpdateObjectsIsOff) {
    ObjectRecord* h = Make(OT_LIGHT, {}, "zone");
    h->iRange = 100;
    SetObjectAction(h, *NewAction(true));
    SetObjectDeathParams(h, *NewDeath());
    h->fDeathCountdown = 0.01f;
    UpdateObjects = false;
    Frame(0.1f);
    EXPECT_FALSE(h->bHasRun);
    EXPECT_FALSE(h->bDying);
}

// ---- Ties to sockets -----------------------------------------------------------------------------------

class TieTest : public BehaviourTest {
  protected:
    void SetUp() override {
        BehaviourTest::SetUp();
        std::filesystem::create_directories(dir_ / "scripts" / "mesh_sockets");
        // z up in the file: the socket "top" is 64 above the box's base.
        std::ofstream(dir_ / "scripts" / "mesh_sockets" / "box.txt")
            << "mesh_filename MODELS\\BOX.X\nsocket top 0 10 64\nsocket side 32 0 16\n";
        ASSERT_EQ(g_MeshSocketsMgr.LoadAll(), 1u);
        g_Engine.m_bWorldLoaded = 1;
    }
    void TearDown() override {
        std::filesystem::remove_all(dir_ / "scripts");
        g_MeshSocketsMgr.LoadAll();
        BehaviourTest::TearDown();
    }
};

TEST_F(TieTest, ATiedObjectFollowsTheSocketPlusItsOffset) {
    ObjectRecord* base = Make(OT_MESH, {100, 0, 0}, "crane");
    SetObjectFlags(base, 1, 1);
    ObjectRecord* hook = Make(OT_LIGHT, {}, "hook");
    g_Engine.TieObject(hook, true, "crane", "top");
    ASSERT_TRUE(hook->bTied);
    hook->vTieOffset = {0, -5, 0};
    Frame(0.1f);
    EXPECT_EQ(hook->vPosition, math::Vec3(100, 59, 10));

    SetObjectPosition(base, {300, 0, 0});
    Frame(0.1f);
    EXPECT_EQ(hook->vPosition, math::Vec3(300, 59, 10));

    SetObjectFlags(base, 0, 1); // neither end visible: the tie rests
    SetObjectFlags(hook, 0, 1);
    SetObjectPosition(base, {500, 0, 0});
    Frame(0.1f);
    EXPECT_EQ(hook->vPosition, math::Vec3(300, 59, 10));
}

TEST_F(TieTest, TakingTheSocketsRotationTurnsByEachNonZeroSpeed) {
    ObjectRecord* base = Make(OT_MESH, {}, "crane");
    SetObjectFlags(base, 1, 1);
    orientation turned;
    turned.SetYawPitchRoll(0.4f, 0.0f, 0.0f);
    SetObjectOrientation(base, turned);
    ObjectRecord* hook = Make(OT_LIGHT, {}, "hook");
    g_Engine.TieObject(hook, true, "crane", "side");
    hook->bTieTakesSocketRotation = 1;
    hook->fTieRotationSpeed[0] = 0.5f;
    Frame(0.1f);
    orientation expected = turned;
    expected.Rotate(turned.forward, 0.5f);
    EXPECT_NEAR(hook->Orientation.quaternion.x, expected.quaternion.x, 1e-5f);
    EXPECT_NEAR(hook->Orientation.quaternion.y, expected.quaternion.y, 1e-5f);
    EXPECT_NEAR(hook->Orientation.quaternion.z, expected.quaternion.z, 1e-5f);
}

TEST_F(TieTest, AMissingTargetOrSocketIsReported) {
    ObjectRecord* hook = Make(OT_LIGHT, {7, 7, 7}, "hook");
    SetObjectFlags(hook, 1, 1);
    g_Engine.TieObject(hook, true, "nothing", "top");
    ASSERT_TRUE(hook->bTied);
    MarkConsole();
    Frame(0.1f);
    EXPECT_TRUE(Printed("hook - niby przywiazany, ale nie ma obiektu do przywiazania!"));

    Make(OT_MESH, {}, "nothing"); // appears later: looked up again by name
    std::strcpy(hook->szTieSocket, "missing");
    Frame(0.1f);
    EXPECT_TRUE(Printed("No socket to tie object: missing"));
    EXPECT_EQ(hook->vPosition, math::Vec3(7, 7, 7));
    std::strcpy(hook->szTieSocket, "top");
    Frame(0.1f);
    EXPECT_EQ(hook->vPosition, math::Vec3(0, 64, 10));
}

// ---- Visibility ------------------------------------------------------------------------------------------

struct VisibilityCase {
    const char* name;
    uint32_t type;
    math::Vec3 position; // the camera is at the origin looking along +z
    uint32_t flags;
    uint32_t flags2;
    int32_t disappearRange;
    bool drawShadows;
    bool visible;
};

class VisibilityTest : public BehaviourTest, public ::testing::WithParamInterface<VisibilityCase> {};

TEST_P(VisibilityTest, DistancesAndTheVisibleMark) {
    const VisibilityCase& c = GetParam();
    g_Camera.SetPosition({0, 0, 0});
    g_Camera.SetOrientation(orientation{});
    g_Camera.SetFarZ(10000.0f);
    DrawShadows = c.drawShadows;
    ObjectRecord* h = Make(c.type, c.position, "thing");
    if (c.type == OT_LIGHT) h->iRange = 200;
    SetObjectFlags(h, c.flags, 0xFFFFFFFF);
    SetObjectFlags2(h, c.flags2, 0xFFFFFFFF);
    h->iDisappearRange = c.disappearRange;
    SetPlayer({0, 0, -100});
    g_EngineObject.m_fVisibilityTimer = 0.0f;
    Frame(0.01f);
    EXPECT_EQ(h->bVisibleNow != 0, c.visible);
    const float d =
        std::sqrt(c.position.x * c.position.x + c.position.y * c.position.y + c.position.z * c.position.z);
    EXPECT_EQ(h->iCameraDistance, int32_t(d));
    EXPECT_TRUE(h->bPrepared);
    DrawShadows = true;
    g_Camera.SetFarZ(10240.0f);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, VisibilityTest,
    ::testing::Values(
        VisibilityCase{"LightAroundTheCamera", OT_LIGHT, {0, 0, -150}, 1, 0, 0, true, true},
        VisibilityCase{"LightAhead", OT_LIGHT, {0, 0, 900}, 1, 0, 0, true, true},
        VisibilityCase{"LightBehind", OT_LIGHT, {0, 0, -900}, 1, 0, 0, true, false},
        VisibilityCase{"LightPastItsDisappearRange", OT_LIGHT, {0, 0, 900}, 1, 0, 800, true, false},
        VisibilityCase{"ShadowLightWithoutShadows", OT_LIGHT, {0, 0, 900}, 1, 1u << 30, 0, false, false},
        VisibilityCase{"ShadowLightWithShadows", OT_LIGHT, {0, 0, 900}, 1, 1u << 30, 0, true, true},
        VisibilityCase{"MeshAhead", OT_MESH, {0, 0, 900}, 1, 0, 0, true, true},
        VisibilityCase{"MeshBehind", OT_MESH, {0, 0, -900}, 1, 0, 0, true, false},
        VisibilityCase{"MeshWithoutItsVisibleBit", OT_MESH, {0, 0, 900}, 0, 0, 0, true, false},
        VisibilityCase{"MeshBeyondTheFarDistance", OT_MESH, {0, 0, 12000}, 1, 0, 0, true, false},
        VisibilityCase{"VeryFarMeshBeyondIt", OT_MESH, {0, 0, 12000}, 1, 32, 0, true, true}),
    [](const ::testing::TestParamInfo<VisibilityCase>& info) { return info.param.name; });

// ---- Flag bits -------------------------------------------------------------------------------------------

struct NearCameraCase {
    const char* name;
    uint32_t flags;
    float scale;
    float cameraY;
    bool near;
};

class NearCameraTest : public BehaviourTest, public ::testing::WithParamInterface<NearCameraCase> {};

// Bit 0x80 is a mask, "bit 20" the index 20 (value 0x100000).
TEST_P(NearCameraTest, LargeMeshesAtTheCamerasHeight) {
    const NearCameraCase& c = GetParam();
    ObjectRecord* h = Make(OT_MESH, {0, 0, 0}, "hall");
    SetObjectScale(h, {c.scale, c.scale, c.scale});
    SetObjectFlags(h, c.flags, 0xFFFFFFFF);
    g_Camera.SetPosition({0, c.cameraY, -500});
    g_EngineObject.m_fVisibilityTimer = 0.0f;
    Frame(0.01f); // distances
    Frame(0.01f);
    EXPECT_EQ(h->bNearCamera != 0, c.near) << h->iRange;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, NearCameraTest,
    ::testing::Values(NearCameraCase{"Large", 0x81, 4.0f, 0.0f, true},
                      NearCameraCase{"SmallRange", 0x81, 1.0f, 0.0f, false},
                      NearCameraCase{"WithoutMask80", 0x01, 4.0f, 0.0f, false},
                      NearCameraCase{"WithBitIndex20", 0x81 | (1u << 20), 4.0f, 0.0f, false},
                      NearCameraCase{"WithValue20", 0x81 | 20u, 4.0f, 0.0f, true},
                      NearCameraCase{"FarAboveTheCamera", 0x81, 4.0f, -2000.0f, false}),
    [](const ::testing::TestParamInfo<NearCameraCase>& info) { return info.param.name; });

struct FlagCase {
    const char* name;
    uint32_t flags;
    bool updated;
};

class FrozenFlagTest : public BehaviourTest, public ::testing::WithParamInterface<FlagCase> {};

// 0x400 is a mask: such objects are left out of the update.
TEST_P(FrozenFlagTest, FrozenObjectsAreNotUpdated) {
    const FlagCase& c = GetParam();
    ObjectRecord* h = Make(OT_LIGHT, {5000, 0, 0}, "statue");
    SetObjectDeathParams(h, *NewDeath());
    SetObjectFlags(h, c.flags, 0xFFFFFFFF);
    h->fDeathCountdown = 0.05f;
    Frame(0.1f);
    EXPECT_EQ(h->bDying != 0, c.updated);
}

INSTANTIATE_TEST_SUITE_P(Cases, FrozenFlagTest,
                         ::testing::Values(FlagCase{"Plain", 0x1, true}, FlagCase{"Mask400", 0x401, false},
                                           FlagCase{"Decimal400", 0x1 | 400u, true},
                                           FlagCase{"Value10", 0x1 | 10u, true}),
                         [](const ::testing::TestParamInfo<FlagCase>& info) { return info.param.name; });

// ---- Render preparation ----------------------------------------------------------------------------------

TEST_F(BehaviourTest, RenderValuesOfVisibleObjectsComeFromTheCameraAndTheEnvironment) {
    g_Camera.SetPosition({0, 0, 0});
    g_Camera.SetOrientation(orientation{});
    g_Camera.UpdateViewMatrix();
    const uint32_t ambient = g_EnvironmentSettings.GetAmbientColor(2);
    uint32_t fog = 0;
    g_EnvironmentSettings.GetFogColor(&fog, 1);
    float near = 0, far = 0;
    g_EnvironmentSettings.GetFogNear(&near, 1);
    g_EnvironmentSettings.GetFogFar(&far, 1);
    g_EnvironmentSettings.SetAmbientColor(0x336699, 2);
    g_EnvironmentSettings.SetFogColor(0xFF8000, 1);
    g_EnvironmentSettings.SetFogNear(100.0f, 1);
    g_EnvironmentSettings.SetFogFar(900.0f, 1);

    ObjectRecord* h = Make(OT_LIGHT, {100, 0, 0}, "lamp");
    SetObjectScale(h, {2, 2, 2});
    h->vScale = {2, 2, 2};
    h->iAmbientLightIdx = 2;
    h->iFogIdx = 1;
    h->bVisibleNow = 1;
    ObjectRecord* hidden = Make(OT_LIGHT, {5, 0, 0}, "hidden");
    g_EngineObject.UpdateRenderMatrices();

    const ObjectRenderValues& v = g_EngineObject.RenderValues(h->iIndex);
    EXPECT_NEAR(v.vEyeInObject.x, -50.0f, 1e-4f);
    EXPECT_NEAR(v.vEyeInObject.y, 0.0f, 1e-4f);
    EXPECT_FLOAT_EQ(v.vEyeInObject.w, 1.0f);
    EXPECT_FLOAT_EQ(v.vAmbient.x, 0x33 / 255.0f);
    EXPECT_FLOAT_EQ(v.vAmbient.y, 0x66 / 255.0f);
    EXPECT_FLOAT_EQ(v.vAmbient.z, 0x99 / 255.0f);
    EXPECT_FLOAT_EQ(v.vFog.x, 1.0f);
    EXPECT_FLOAT_EQ(v.vFog.y, 0x80 / 255.0f);
    EXPECT_FLOAT_EQ(v.fFogNear, 100.0f);
    EXPECT_FLOAT_EQ(v.fFogFar, 900.0f);
    // The world-view matrix takes the object's origin to its place in view space.
    const math::Vec3 origin = math::Vec3TransformCoord({0, 0, 0}, v.mWorldView);
    const math::Vec3 expected = math::Vec3TransformCoord({100, 0, 0}, g_Camera.View());
    EXPECT_NEAR(origin.x, expected.x, 1e-3f);
    EXPECT_NEAR(origin.z, expected.z, 1e-3f);
    // An object that is not visible keeps what it had.
    EXPECT_EQ(g_EngineObject.RenderValues(hidden->iIndex).fFogFar, 0.0f);

    g_EnvironmentSettings.SetAmbientColor(ambient, 2);
    g_EnvironmentSettings.SetFogColor(fog, 1);
    g_EnvironmentSettings.SetFogNear(near, 1);
    g_EnvironmentSettings.SetFogFar(far, 1);
}

} // namespace
