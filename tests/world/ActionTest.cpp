// The action interpreter: its gates, the order of its effects, the two sides
// of a two-state action, passing actions on (and the cycle that ends), and
// the effects on the player, the camera and other objects.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "BehaviourFixture.h"
#include "app/Mouse.h"
#include "game/DialogueMgr.h"
#include "game/Objective.h"
#include "sound/MusicDirector.h"
#include "world/BezierMgr.h"

namespace {

// ---- Gates ---------------------------------------------------------------------------------

struct GateCase {
    const char* name;
    std::function<void(ObjectAction&, ObjectRecord*)> setup;
    bool automatic;
    bool runs;
};

class ActionGateTest : public BehaviourTest, public ::testing::WithParamInterface<GateCase> {};

TEST_P(ActionGateTest, RunsOnlyThroughItsGates) {
    const GateCase& c = GetParam();
    ObjectRecord* h = Make(OT_LIGHT, {}, "switch");
    auto a = NewAction(true);
    std::strcpy(a->szDefaultSet, "switched");
    c.setup(*a, h);
    SetObjectAction(h, *a);
    g_EngineObject.RunAction(h, c.automatic);
    EXPECT_EQ(g_GameAI.IsSet("switched"), c.runs);
    if (c.runs) {
        EXPECT_TRUE(h->bInMotion);
        EXPECT_TRUE(h->bHasRun);
        EXPECT_EQ(h->fTimeSinceRun, 0.0f);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ActionGateTest,
    ::testing::Values(
        GateCase{"Plain", [](ObjectAction&, ObjectRecord*) {}, false, true},
        GateCase{"Automatic", [](ObjectAction&, ObjectRecord*) {}, true, true},
        GateCase{"AutomaticNeedsOpt2", [](ObjectAction& a, ObjectRecord*) { a.dwGeneralOpt2 = 0; }, true,
                 false},
        GateCase{"Opt2NotNeededByHand", [](ObjectAction& a, ObjectRecord*) { a.dwGeneralOpt2 = 0; }, false,
                 true},
        GateCase{"AutomaticNotForADeadPlayer", [](ObjectAction&, ObjectRecord*) { PlayerDead = 1; }, true,
                 false},
        GateCase{"ByHandForADeadPlayer", [](ObjectAction&, ObjectRecord*) { PlayerDead = 1; }, false, true},
        GateCase{"InMotion", [](ObjectAction&, ObjectRecord* h) { h->bInMotion = 1; }, false, false},
        GateCase{"OneShotNotRunYet", [](ObjectAction& a, ObjectRecord*) { a.dwGeneral22 = 1; }, false, true},
        GateCase{"OneShotRunBefore",
                 [](ObjectAction& a, ObjectRecord* h) {
                     a.dwGeneral22 = 1;
                     h->bHasRun = 1;
                 },
                 false, false},
        GateCase{"ActionIfUnset", [](ObjectAction& a, ObjectRecord*) { std::strcpy(a.szIfset, "power"); },
                 false, false},
        GateCase{"ActionIfSet",
                 [](ObjectAction& a, ObjectRecord*) {
                     std::strcpy(a.szIfset, "power");
                     g_GameAI.SetVariable("power", nullptr);
                 },
                 false, true},
        GateCase{"ActionIfNotSet",
                 [](ObjectAction& a, ObjectRecord*) {
                     std::strcpy(a.szActionIfNotSet, "jammed");
                     g_GameAI.SetVariable("jammed", nullptr);
                 },
                 false, false},
        GateCase{"ActionIfNotUnset",
                 [](ObjectAction& a, ObjectRecord*) { std::strcpy(a.szActionIfNotSet, "jammed"); }, false,
                 true},
        GateCase{"NextRunAfter2With2Elapsed",
                 [](ObjectAction& a, ObjectRecord* h) {
                     a.fNextRunAfter = 2.0f;
                     h->fTimeSinceRun = 2.0f;
                 },
                 false, true},
        GateCase{"NextRunAfter2With1_9Elapsed",
                 [](ObjectAction& a, ObjectRecord* h) {
                     a.fNextRunAfter = 2.0f;
                     h->fTimeSinceRun = 1.9f;
                 },
                 false, false}),
    [](const ::testing::TestParamInfo<GateCase>& info) { return info.param.name; });

TEST_F(BehaviourTest, AnActionWithoutItsFirstGeneralValueNeverRunsFromAnyCaller) {
    ObjectRecord* h = Make(OT_LIGHT, {}, "dead_switch");
    auto a = NewAction(true);
    std::strcpy(a->szDefaultSet, "switched");
    SetObjectAction(h, *a);
    h->pAction->dwGeneralOpt1 = 0; // a block kept with its first value cleared
    g_EngineObject.RunAction(h, false);
    g_EngineObject.RunAction(h, true);
    g_EngineObject.RunActionByName("dead_switch");
    g_EngineObject.RunActionIfObject(h, false);
    g_Engine.FireAction("dead_switch", 0);
    RunObjectAction(h, false);
    EXPECT_FALSE(h->bHasRun);
    EXPECT_FALSE(g_GameAI.IsSet("switched"));
}

TEST_F(BehaviourTest, RefusedGatesAreLoggedWithTheirReasons) {
    Debug = 1;
    ObjectRecord* h = Make(OT_LIGHT, {}, "switch");
    auto a = NewAction();
    std::strcpy(a->szIfset, "power");
    SetObjectAction(h, *a);
    MarkConsole();
    g_EngineObject.RunAction(h, false);
    EXPECT_TRUE(Printed("Jest ActionIf power a zmienna nie ustawiona, wychodze!"));

    a->szIfset[0] = 0;
    std::strcpy(a->szActionIfNotSet, "jammed");
    g_GameAI.SetVariable("jammed", nullptr);
    SetObjectAction(h, *a);
    g_EngineObject.RunAction(h, false);
    EXPECT_TRUE(Printed("Jest ActionIfNot jammed a zmienna ustawiona, wychodze!"));

    a->szActionIfNotSet[0] = 0;
    a->fNextRunAfter = 2.0f;
    SetObjectAction(h, *a);
    h->fTimeSinceRun = 0.5f;
    g_EngineObject.RunAction(h, false);
    EXPECT_TRUE(Printed("Czas od ost. uruchomienia: 0.500000; wymagany: 2.000000"));
}

struct ReadinessCase {
    const char* name;
    std::function<void(ObjectAction&, ObjectRecord*)> setup;
    int expected;
};

class ReadinessTest : public BehaviourTest, public ::testing::WithParamInterface<ReadinessCase> {};

TEST_P(ReadinessTest, CanRunObjectActionAnswers) {
    const ReadinessCase& c = GetParam();
    ObjectRecord* h = Make(OT_LIGHT, {}, "lever");
    auto a = NewAction(true);
    c.setup(*a, h);
    SetObjectAction(h, *a);
    EXPECT_EQ(CanRunObjectAction(h), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReadinessTest,
    ::testing::Values(
        ReadinessCase{"Ready", [](ObjectAction&, ObjectRecord*) {}, 1},
        ReadinessCase{"NoSecondValue", [](ObjectAction& a, ObjectRecord*) { a.dwGeneralOpt2 = 0; }, 0},
        ReadinessCase{"UsedOneShot",
                      [](ObjectAction& a, ObjectRecord* h) {
                          a.dwGeneral22 = 1;
                          h->bHasRun = 1;
                      },
                      0},
        ReadinessCase{"TooSoon",
                      [](ObjectAction& a, ObjectRecord* h) {
                          a.fNextRunAfter = 2.0f;
                          h->fTimeSinceRun = 2.0f;
                      },
                      2},
        ReadinessCase{"InMotionShowsIcon", [](ObjectAction&, ObjectRecord* h) { h->bInMotion = 1; }, 2},
        ReadinessCase{"InMotionHidesIcon",
                      [](ObjectAction& a, ObjectRecord* h) {
                          a.bHideIconIfActionInvalid = 1;
                          h->bInMotion = 1;
                      },
                      0},
        ReadinessCase{"VariableMissing",
                      [](ObjectAction& a, ObjectRecord*) { std::strcpy(a.szIfset, "power"); }, 2}),
    [](const ::testing::TestParamInfo<ReadinessCase>& info) { return info.param.name; });

TEST_F(BehaviourTest, CanRunObjectActionIsZeroWithoutAnObjectOrABlock) {
    EXPECT_EQ(CanRunObjectAction(nullptr), 0);
    EXPECT_EQ(CanRunObjectAction(Make(OT_LIGHT, {}, "plain")), 0);
}

// ---- The two sides ------------------------------------------------------------------------------

TEST_F(BehaviourTest, TheDefaultAndTheDestinationSidesAlternate) {
    ObjectRecord* h = Make(OT_LIGHT, {}, "switch");
    auto a = NewAction();
    std::strcpy(a->szDefaultSet, "on");
    std::strcpy(a->szDefaultUnset, "off");
    std::strcpy(a->szDestSet, "off");
    std::strcpy(a->szDestUnset, "on");
    SetObjectAction(h, *a);
    g_EngineObject.RunAction(h, false);
    EXPECT_TRUE(g_GameAI.IsSet("on"));
    EXPECT_FALSE(g_GameAI.IsSet("off"));
    ObjectRecord* setter = nullptr;
    g_GameAI.IsSet("on", &setter);
    EXPECT_EQ(setter, h);

    Frame(0.1f); // nothing moves: the run ends and the side flips
    ASSERT_TRUE(h->bAtDestination);
    g_EngineObject.RunAction(h, false);
    EXPECT_TRUE(g_GameAI.IsSet("off"));
    EXPECT_FALSE(g_GameAI.IsSet("on"));
}

TEST_F(BehaviourTest, TheDefaultSideClearsTheMotionStateTheDestinationSideKeepsIt) {
    ObjectRecord* h = Make(OT_LIGHT, {}, "crane");
    SetObjectAction(h, *NewAction());
    for (float& v : h->fRun1264)
        v = 3.0f;
    h->fRotationAngle3 = 3.0f;
    h->bAtDestination = 1;
    g_EngineObject.RunAction(h, false);
    EXPECT_EQ(h->fRun1264[ObjectRecord::RUN_PROGRESS], 3.0f);
    h->bInMotion = 0;
    h->bAtDestination = 0;
    g_EngineObject.RunAction(h, false);
    for (float v : h->fRun1264)
        EXPECT_EQ(v, 0.0f);
    EXPECT_EQ(h->fRotationAngle3, 0.0f);
}

// ---- Switch pairs: the second of a pair wins -------------------------------------------------------

struct PairCase {
    const char* name;
    std::function<void(ObjectAction&)> both; // sets both halves of the pair
    std::function<bool()> secondWon;
};

class SwitchPairTest : public BehaviourTest, public ::testing::WithParamInterface<PairCase> {};

TEST_P(SwitchPairTest, TheSecondOfThePairWins) {
    const PairCase& c = GetParam();
    ObjectRecord* h = Make(OT_LIGHT, {}, "switch");
    auto a = NewAction();
    c.both(*a);
    SetObjectAction(h, *a);
    g_EngineObject.RunAction(h, false);
    EXPECT_TRUE(c.secondWon());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SwitchPairTest,
    ::testing::Values(
        PairCase{
            "MotionBlur",
            [](ObjectAction& a) { a.bPlayerMoveAndViewMotionBlur1 = a.bPlayerMoveAndViewMotionBlur2 = 1; },
            [] { return g_PostProcess.m_bForcedMotionBlur == 0; }},
        PairCase{"Monochrome",
                 [](ObjectAction& a) {
                     a.bPlayerMoveAndViewTurnOnMonochromatic = a.bPlayerMoveAndViewTurnOffMonochromatic = 1;
                 },
                 [] { return g_PostProcess.m_bMonochromatic == 0; }},
        PairCase{"Panoramic",
                 [](ObjectAction& a) {
                     a.bPlayerMoveAndViewTurnOnPanoramicScreen = a.bPlayerMoveAndViewTurnOffPanoramicScreen =
                         1;
                 },
                 [] { return !g_Panel.m_bPanoramic; }},
        PairCase{"Sprint", [](ObjectAction& a) { a.bCharacterAllowSprint = a.bCharacterForbidSprint = 1; },
                 [] { return !g_Player.m_bSprintAllowed; }},
        PairCase{"Jumping", [](ObjectAction& a) { a.bCharacterAllowJumping = a.bCharacterForbidJumping = 1; },
                 [] { return !g_Player.m_bJumpAllowed; }},
        PairCase{"HighJump", [](ObjectAction& a) { a.bCharacterHighJumpOn = a.bCharacterHighJumpOff = 1; },
                 [] { return !g_Player.m_bHighJump; }},
        PairCase{"CombatThenPeace",
                 [](ObjectAction& a) { a.bSwitchToCombatMode = a.bSwitchToPeacefulMode = 1; },
                 [] { return WeaponsEnabled == 0; }},
        PairCase{"Countdown", [](ObjectAction& a) { a.bCountdownTurnOn = a.bCountdownTurnOff = 1; },
                 [] { return g_Player.m_hCountdownObject == nullptr; }},
        PairCase{"MovementRadius",
                 [](ObjectAction& a) {
                     a.bPlayerMoveAndViewTurnOnMovementRadius = a.bPlayerMoveAndViewTurnOffMovementRadius = 1;
                 },
                 [] { return !g_Player.m_bRestricted; }},
        PairCase{"BezierWalk",
                 [](ObjectAction& a) {
                     a.bPlayerMoveAndViewTurnOnBezierWalk = a.bPlayerMoveAndViewTurnOffBezierWalk = 1;
                     std::strcpy(a.szPlayerMoveAndViewBezierToWalkOn, "walk_0");
                 },
                 [] { return !g_Player.m_bBezier; }},
        PairCase{"BlackAndWhite",
                 [](ObjectAction& a) {
                     a.bPlayerMoveAndViewTurnOnBwPostprocess = a.bPlayerMoveAndViewTurnOffBwPostprocess = 1;
                 },
                 [] { return g_PostProcess.m_bBWOn == 0; }},
        PairCase{"WaterOffThenOn",
                 [](ObjectAction& a) {
                     a.bRenderParamsUseRenderParams = 1;
                     a.bRenderParamsStates6 = a.bRenderParamsStates5 = 1;
                     DrawWater = true;
                 },
                 [] { return DrawWater; }},
        PairCase{"AmbientLitOffThenOn",
                 [](ObjectAction& a) {
                     a.bRenderParamsUseRenderParams = 1;
                     a.bRenderParamsStates4 = a.bRenderParamsStates3 = 1;
                 },
                 [] { return DrawAmbientLitObjects; }},
        PairCase{"SkyLitOffThenOn",
                 [](ObjectAction& a) {
                     a.bRenderParamsUseRenderParams = 1;
                     a.bRenderParamsStates2 = a.bRenderParamsStates1 = 1;
                 },
                 [] { return DrawSkylightLitObjects; }}),
    [](const ::testing::TestParamInfo<PairCase>& info) { return info.param.name; });

TEST_F(BehaviourTest, RenderStatesWithoutUseRenderParamsAreLeftAlone) {
    ObjectRecord* h = Make(OT_LIGHT, {}, "switch");
    auto a = NewAction();
    a->bRenderParamsStates6 = 1;
    SetObjectAction(h, *a);
    DrawWater = true;
    g_EngineObject.RunAction(h, false);
    EXPECT_TRUE(DrawWater);
}

// ---- Order of effects ---------------------------------------------------------------------------------

TEST_F(BehaviourTest, EffectsApplyInTheirFixedOrderBetweenTheStartAndEndLines) {
    Debug = 1;
    ObjectRecord* h = Make(OT_LIGHT, {}, "panel");
    Make(OT_MESH, {100, 0, 0}, "crate");
    ObjectRecord* target = Make(OT_LIGHT, {}, "target");
    SetObjectDeathParams(target, *NewDeath());
    Make(OT_LIGHT, {}, "next");
    SetObjectAction(g_Engine.FindObjectByName("next"), *NewAction());
    auto a = NewAction();
    a->bCheckpointCheckpoint = 1;                    // 18
    std::strcpy(a->szSoundAmbientSound, "wind.wav"); // 22
    std::strcpy(a->szTeleportObjectHere, "crate");   // 34
    std::strcpy(a->szConsolePrint, "hello world");   // 49
    std::strcpy(a->szPushObject, "crate");           // 51
    std::strcpy(a->szKillObject, "target");          // 52
    std::strcpy(a->szStartWorld, "worlds\\next.w");  // 56
    std::strcpy(a->szActivateAiAction, "alarm_on");  // 57
    std::strcpy(a->szKillCharacter, "guard");        // 59
    std::strcpy(a->szGiveActionToMesh, "next");      // 65
    SetObjectAction(h, *a);
    MarkConsole();
    g_EngineObject.RunAction(h, false);

    const char* order[] = {"panel w srodku, uruchamiam akcje",
                           "Checkpoint",
                           "panel ustawia AmbientSound wind.wav",
                           "Chce teleportowac tu obiekt crate",
                           "Obiekt znaleziony",
                           "hello world",
                           "Kopie obiekt crate",
                           "Zabijam obiekt target",
                           "Dodaje Engine.m_WorldToStart worlds\\next.w",
                           "ActivateAIAction alarm_on",
                           "Zabijam postac guard",
                           "NIE znaleziona",
                           "Mesh wola przekazanie akcji na next",
                           "panel - wychodze z uruchomienia akcji OK."};
    int last = -1;
    for (const char* line : order) {
        const int at = LineOf(line);
        EXPECT_GT(at, last) << line;
        last = at;
    }
    EXPECT_TRUE(target->bDying);
    EXPECT_TRUE(g_Engine.FindObjectByName("next")->bHasRun);
    EXPECT_EQ(g_SaveMgr.m_bCheckpointRequest, 1);
    EXPECT_TRUE(g_MainGame.m_bEndSequence);
    EXPECT_STREQ(g_MainGame.m_szEndWorld, "worlds\\next.w");
    ASSERT_FALSE(g_GameAI.ActionsRun().empty());
    EXPECT_EQ(g_GameAI.ActionsRun().back(), "alarm_on");
}

TEST_F(BehaviourTest, NothingIsLoggedWithDebugOffButReportsStillPrint) {
    Debug = 0;
    ObjectRecord* h = Make(OT_LIGHT, {}, "panel");
    auto a = NewAction();
    std::strcpy(a->szConsolePrint, "always shown");
    std::strcpy(a->szPushObject, "nothing_here");
    SetObjectAction(h, *a);
    MarkConsole();
    g_EngineObject.RunAction(h, false);
    EXPECT_EQ(LineOf("uruchamiam akcje"), -1);
    EXPECT_NE(LineOf("always shown"), -1);
    EXPECT_NE(LineOf("panel nie znalazl obiektu do kopniecia nothing_here"), -1);
}

// ---- Passing on, and the cycle that ends -------------------------------------------------------------

TEST_F(BehaviourTest, TwoActionsPassingToEachOtherAtOnceEndTheirCycle) {
    ObjectRecord* a = Make(OT_LIGHT, {}, "ping");
    ObjectRecord* b = Make(OT_LIGHT, {}, "pong");
    auto pa = NewAction();
    std::strcpy(pa->szGiveActionToMesh, "pong");
    std::strcpy(pa->szDefaultSet, "ping_ran");
    auto pb = NewAction();
    std::strcpy(pb->szGiveActionToMesh, "ping");
    std::strcpy(pb->szDefaultSet, "pong_ran");
    SetObjectAction(a, *pa);
    SetObjectAction(b, *pb);
    g_EngineObject.m_iActionsRun = 0;
    g_EngineObject.RunAction(a, false);
    EXPECT_TRUE(g_GameAI.IsSet("ping_ran"));
    EXPECT_TRUE(g_GameAI.IsSet("pong_ran"));
    EXPECT_TRUE(a->bInMotion);
    EXPECT_TRUE(b->bInMotion);
    EXPECT_FALSE(a->bActionRunning);
    EXPECT_FALSE(b->bActionRunning);
    // ping, pong, and ping asked again from inside its own run.
    EXPECT_EQ(g_EngineObject.m_iActionsRun, 3u);
}

TEST_F(BehaviourTest, AnActionPassedToItselfAtOnceRunsOnce) {
    ObjectRecord* h = Make(OT_LIGHT, {}, "echo");
    auto a = NewAction();
    std::strcpy(a->szGiveActionToMesh, "echo");
    SetObjectAction(h, *a);
    g_EngineObject.m_iActionsRun = 0;
    g_EngineObject.RunAction(h, false);
    EXPECT_TRUE(h->bInMotion);
    EXPECT_EQ(g_EngineObject.m_iActionsRun, 2u);
}

TEST_F(BehaviourTest, AOneShotChainRunsEveryLinkAtOnce) {
    const char* names[] = {"first", "second", "third", "fourth"};
    for (int i = 0; i < 4; ++i) {
        ObjectRecord* h = Make(OT_LIGHT, {}, names[i]);
        auto a = NewAction();
        a->dwGeneral22 = 1;
        std::snprintf(a->szDefaultSet, sizeof a->szDefaultSet, "%s_ran", names[i]);
        if (i < 3) std::strcpy(a->szGiveActionToMesh, names[i + 1]);
        SetObjectAction(h, *a);
    }
    g_EngineObject.RunActionByName("first");
    for (const char* n : {"first_ran", "second_ran", "third_ran", "fourth_ran"})
        EXPECT_TRUE(g_GameAI.IsSet(n)) << n;
    g_GameAI.ResetVariables();
    Frame(0.1f);
    g_EngineObject.RunActionByName("first"); // used up
    EXPECT_FALSE(g_GameAI.IsSet("first_ran"));
}

// ---- Effects on others ----------------------------------------------------------------------------------

TEST_F(BehaviourTest, ASecondShakeFromTheLastShakerDoesNothing) {
    Debug = 1;
    ObjectRecord* h = Make(OT_LIGHT, {10, 20, 30}, "quake");
    auto a = NewAction();
    a->bShakeScreen = 1;
    a->ShortShake.bOn = 1;
    SetObjectAction(h, *a);
    MarkConsole();
    g_EngineObject.RunAction(h, false);
    EXPECT_TRUE(g_Camera.TimedShake().bOn);
    EXPECT_EQ(g_EngineObject.m_pLastShaker, h);
    g_Camera.StopShakes();
    h->bInMotion = 0;
    g_EngineObject.RunAction(h, false);
    EXPECT_FALSE(g_Camera.TimedShake().bOn);
    EXPECT_EQ(CountLines("quake ustawia shake screen."), 1);
}

TEST_F(BehaviourTest, KillingTheHeroAlsoLooksForACharacterNamedHero) {
    Debug = 1;
    ObjectRecord* h = Make(OT_LIGHT, {}, "trap");
    auto a = NewAction();
    std::strcpy(a->szKillCharacter, "HERO");
    SetObjectAction(h, *a);
    MarkConsole();
    g_EngineObject.RunAction(h, false);
    EXPECT_TRUE(PlayerDead);
    EXPECT_FLOAT_EQ(PlayerHealth, -1.0f);
    EXPECT_LT(LineOf("Zabijam gracza!"), LineOf("Zabijam postac HERO"));
    EXPECT_LT(LineOf("Zabijam postac HERO"), LineOf("NIE znaleziona"));
}

TEST_F(BehaviourTest, KillingACharacterHitsTheLiveOneOfThatName) {
    ObjectRecord* h = Make(OT_LIGHT, {}, "trap");
    strpostac& guard = g_PostacMgr.m_Postacie[5];
    guard.bUsed = true;
    std::strcpy(guard.szName, "guard");
    auto a = NewAction();
    std::strcpy(a->szKillCharacter, "guard");
    SetObjectAction(h, *a);
    g_EngineObject.RunAction(h, false);
    EXPECT_TRUE(guard.bDead);
    EXPECT_FALSE(PlayerDead);
}

struct KillCase {
    const char* name;
    float delay;
    bool deadNow;
    float countdown;
};

class KillObjectTest : public BehaviourTest, public ::testing::WithParamInterface<KillCase> {};

TEST_P(KillObjectTest, KillsAtOnceOrAfterTheDelay) {
    const KillCase& c = GetParam();
    ObjectRecord* h = Make(OT_LIGHT, {}, "detonator");
    ObjectRecord* barrel = Make(OT_LIGHT, {}, "barrel");
    SetObjectDeathParams(barrel, *NewDeath());
    auto a = NewAction();
    std::strcpy(a->szKillObject, "barrel");
    a->fKillDelay = c.delay;
    SetObjectAction(h, *a);
    g_EngineObject.RunAction(h, false);
    EXPECT_EQ(barrel->bDying != 0, c.deadNow);
    EXPECT_FLOAT_EQ(barrel->fDeathCountdown, c.countdown);
}

INSTANTIATE_TEST_SUITE_P(Cases, KillObjectTest,
                         ::testing::Values(KillCase{"AtOnce", 0.0f, true, 0.0f},
                                           KillCase{"AfterADelay", 1.5f, false, 1.5f}),
                         [](const ::testing::TestParamInfo<KillCase>& info) { return info.param.name; });

TEST_F(BehaviourTest, TeleportingAnObjectHereMovesItsStartAndStopsItsPath) {
    orientation turned;
    turned.SetYawPitchRoll(1.0f, 0.0f, 0.0f);
    ObjectRecord* h = Make(OT_LIGHT, {100, 5, 7}, "pad");
    SetObjectOrientation(h, turned);
    ObjectRecord* crate = Make(OT_LIGHT, {-50, 0, 0}, "crate");
    crate->BezierState.bMoving = 1;
    crate->fState32 = 3.0f;
    auto a = NewAction();
    std::strcpy(a->szTeleportObjectHere, "crate");
    a->dwTeleportWithMyRotation = 1;
    SetObjectAction(h, *a);
    g_EngineObject.RunAction(h, false);
    EXPECT_EQ(crate->vPosition, math::Vec3(100, 5, 7));
    EXPECT_EQ(crate->vStartPosition, math::Vec3(100, 5, 7));
    EXPECT_FLOAT_EQ(crate->Orientation.quaternion.y, turned.quaternion.y);
    EXPECT_FALSE(crate->BezierState.bMoving);
    EXPECT_EQ(crate->fState32, 0.0f);
}

struct YawCase {
    const char* name;
    math::Vec3 forward;
    double yaw;
};

class TeleportPlayerTest : public BehaviourTest, public ::testing::WithParamInterface<YawCase> {};

TEST_P(TeleportPlayerTest, ThePlayerStandsHereAndLooksAlongTheHeading) {
    const YawCase& c = GetParam();
    ObjectRecord* h = Make(OT_LIGHT, {40, 50, 60}, "spawn_point");
    orientation o;
    o.SetDirection(c.forward);
    SetObjectOrientation(h, o);
    auto a = NewAction();
    a->dwTeleportPlayerHere = 1;
    a->bCrouchingTeleportPlayerHere = 1;
    SetObjectAction(h, *a);
    g_EngineObject.m_dwFrameCounter = 77;
    g_EngineObject.RunAction(h, false);
    EXPECT_EQ(g_EngineObject.m_dwFrameCounter, 0u);
    EXPECT_FLOAT_EQ(g_Player.m_vPosition.x, 40.0f);
    EXPECT_FLOAT_EQ(g_Player.m_vPositionCopy.z, 60.0f);
    EXPECT_TRUE(g_Player.m_bMovedByWorld);
    EXPECT_EQ(g_Player.m_iMode, 3);
    EXPECT_FLOAT_EQ(g_Player.m_fHighestPoint, -100000000.0f);
    EXPECT_NEAR(g_Mouse.m_State.yaw, c.yaw, 1e-5);
    EXPECT_NEAR(g_Mouse.m_Saved.yaw, c.yaw, 1e-5);
}

INSTANTIATE_TEST_SUITE_P(Cases, TeleportPlayerTest,
                         ::testing::Values(YawCase{"AlongZ", {0, 0, 1}, 0.0},
                                           YawCase{"AlongX", {1, 0, 0}, M_PI / 2},
                                           YawCase{"AgainstX", {-1, 0, 0}, -M_PI / 2},
                                           YawCase{"AgainstZ", {0, 0, -1}, M_PI},
                                           YawCase{"Tilted", {1, 1, 1}, M_PI / 4}),
                         [](const ::testing::TestParamInfo<YawCase>& info) { return info.param.name; });

TEST_F(BehaviourTest, GreenAndRedPointsToggleOnTheirObjects) {
    Debug = 1;
    ObjectRecord* h = Make(OT_LIGHT, {}, "marker_switch");
    ObjectRecord* post = Make(OT_LIGHT, {}, "post");
    auto a = NewAction();
    std::strcpy(a->szSwitchGreenPointFor, "post");
    std::strcpy(a->szSwitchRedPointFor, "post");
    SetObjectAction(h, *a);
    MarkConsole();
    g_EngineObject.RunAction(h, false);
    EXPECT_TRUE(post->bGreenPoint);
    EXPECT_TRUE(post->bRedPoint);
    EXPECT_TRUE(Printed("Przelaczam green point dla post w pozycje ON."));
    h->bInMotion = 0;
    g_EngineObject.RunAction(h, false);
    EXPECT_FALSE(post->bGreenPoint);
    EXPECT_TRUE(Printed("Przelaczam red point dla post w pozycje OFF."));

    std::strcpy(a->szSwitchGreenPointFor, "nobody");
    SetObjectAction(h, *a);
    h->bInMotion = 0;
    g_EngineObject.RunAction(h, false);
    EXPECT_TRUE(Printed("Przelaczanie green point dla nobody FAILED - nie ma obiektu!"));
}

TEST_F(BehaviourTest, LightsAndBlinkingSwitchTheirAttachedState) {
    ObjectRecord* lamp = Make(OT_LIGHT, {}, "lamp");
    lamp->fLightBasePower = 2.0f;
    lamp->fLightPower = 0.3f;
    BlinkingBlock blink;
    blink.bOn = 1;
    SetObjectExtraBlock(lamp, &blink);
    auto a = NewAction();
    a->dwSwitchLight = 1;
    a->dwSwitchBlinking = 1;
    SetObjectAction(lamp, *a);
    g_EngineObject.RunAction(lamp, false);
    EXPECT_TRUE(lamp->bLightOn);
    EXPECT_FALSE(lamp->pBlinking->bOn);
    EXPECT_FLOAT_EQ(lamp->fLightPower, 2.0f);
}

TEST_F(BehaviourTest, CameraPositioningForcesTheLookUntilTheMotionEnds) {
    ObjectRecord* h = Make(OT_LIGHT, {}, "balcony");
    ObjectRecord* view = Make(OT_LIGHT, {0, 0, 300}, "view");
    auto a = NewAction();
    a->dwCameraPositionMesh1 = 1;
    std::strcpy(a->szCameraPositionMesh2, "view");
    SetObjectAction(h, *a);
    g_EngineObject.RunAction(h, false);
    EXPECT_TRUE(h->bCameraPositioning);
    EXPECT_EQ(g_Engine.m_hLookFrom, h);
    EXPECT_EQ(g_Engine.m_hLookAt, view);
    Frame(0.1f); // nothing moves: the run ends and so does the look
    EXPECT_EQ(g_Engine.m_hLookFrom, nullptr);

    MarkConsole();
    std::strcpy(a->szCameraPositionMesh2, "nowhere");
    SetObjectAction(h, *a);
    g_EngineObject.RunAction(h, false);
    EXPECT_FALSE(h->bCameraPositioning);
    EXPECT_TRUE(Printed("No object for camera positioning: nowhere"));
}

TEST_F(BehaviourTest, BlackAndWhiteKeepsItsColourObjects) {
    ObjectRecord* h = Make(OT_LIGHT, {}, "flashback");
    ObjectRecord* rose = Make(OT_LIGHT, {}, "rose");
    strpostac& girl = g_PostacMgr.m_Postacie[0];
    girl.bUsed = true;
    std::strcpy(girl.szName, "girl");
    girl.hObjects[0] = Make(OT_LIGHT, {}, "girl_body");
    girl.hWeapon = Make(OT_LIGHT, {}, "girl_gun");
    auto a = NewAction();
    a->bPlayerMoveAndViewTurnOnBwPostprocess = 1;
    std::strcpy(a->szPlayerMoveAndViewAddObjectToBwPostprocess, "rose");
    std::strcpy(a->szPlayerMoveAndViewAddCharacterToBwPostprocess, "girl");
    SetObjectAction(h, *a);
    g_PostProcess.ClearBWObjects();
    g_PostProcess.AddObjectToBW(h); // emptied first: black and white was off
    g_EngineObject.RunAction(h, false);
    EXPECT_TRUE(g_PostProcess.m_bBWOn);
    EXPECT_TRUE(g_PostProcess.m_bBWHold);
    EXPECT_FALSE(g_PostProcess.IsObjectInBW(h));
    EXPECT_TRUE(g_PostProcess.IsObjectInBW(rose));
    EXPECT_TRUE(g_PostProcess.IsObjectInBW(girl.hObjects[0]));
    EXPECT_TRUE(g_PostProcess.IsObjectInBW(girl.hWeapon));
    EXPECT_EQ(g_PostProcess.m_dwNumBWObjects, 3u);

    h->bInMotion = 0;
    g_EngineObject.RunAction(h, false); // on and held: the list stays
    EXPECT_EQ(g_PostProcess.m_dwNumBWObjects, 6u);
    g_PostProcess.TurnOffBW(true);
    g_PostProcess.ClearBWObjects();
}

TEST_F(BehaviourTest, DialoguesGoToCharactersOrToASpeakingObject) {
    ObjectRecord* h = Make(OT_LIGHT, {}, "intercom");
    ObjectRecord* radio = Make(OT_LIGHT, {}, "radio");
    auto a = NewAction();
    std::strcpy(a->szStartDialogue0, "briefing");
    std::strcpy(a->szStartDialogueActor0, "radio");
    SetObjectAction(h, *a);
    g_EngineObject.RunAction(h, false);
    EXPECT_STREQ(g_DialogueMgr.m_szLastDialogue, "briefing");
    EXPECT_EQ(g_DialogueMgr.m_hLastSpeaker, radio);

    strpostac& boss = g_PostacMgr.m_Postacie[1];
    boss.bUsed = true;
    std::strcpy(boss.szName, "radio");
    h->bInMotion = 0;
    g_EngineObject.RunAction(h, false);
    EXPECT_EQ(g_DialogueMgr.m_hLastSpeaker, nullptr);
    EXPECT_EQ(g_DialogueMgr.m_pLastActors[0], &boss);

    MarkConsole();
    std::strcpy(a->szStartDialogueActor0, "ghost");
    SetObjectAction(h, *a);
    h->bInMotion = 0;
    g_EngineObject.RunAction(h, false);
    EXPECT_TRUE(Printed("MeshDialogue failed to find ghost"));
}

TEST_F(BehaviourTest, ObjectivesTimeSpeedAndFieldOfView) {
    ObjectRecord* h = Make(OT_LIGHT, {}, "briefing");
    auto a = NewAction();
    std::strcpy(a->szAddNewHint, ">hint_1");
    std::strcpy(a->szAddNewObjective, ">task_2");
    a->fGlobalTimeSpeed = 0.25f;
    a->fFovMultiplier = 1.5f;
    SetObjectAction(h, *a);
    const float factor = g_Camera.m_fFovFactor;
    g_EngineObject.RunAction(h, false);
    ASSERT_FALSE(g_Objective.m_Texts.empty());
    EXPECT_EQ(g_Objective.m_Texts.back(), ">hint_1");
    EXPECT_EQ(g_Objective.m_Task, ">task_2");
    EXPECT_FLOAT_EQ(GlobalTimeSpeed, 0.25f);
    ConsoleVariable* v = g_Console.FindVariable("GlobalTimeSpeed");
    ASSERT_TRUE(v);
    EXPECT_FLOAT_EQ(v->fValue, 0.25f);
    EXPECT_FLOAT_EQ(g_Camera.m_fFovFactor, 1.5f);
    g_Camera.m_fFovFactor = factor;
    g_Console.StoreVariable("GlobalTimeSpeed", 1.0f, 0);
}

// An object's looping music becomes the director's action music: of its two
// bytes, in their order, the loop flag is cleared and the action flag set.
TEST_F(BehaviourTest, LoopingObjectMusicIsTakenAsTheDirectorsActionMusic) {
    struct Case {
        const char* what;
        uint8_t loop;
        uint8_t loopByte, actionByte;
    } cases[] = {
        {"looping", 1, 0, 1}, {"once", 0, 1, 0}, // the bytes are left as the director's request left them
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ObjectRecord* h = Make(OT_LIGHT, {}, "gramophone");
        auto a = NewAction();
        std::strcpy(a->szPlayMusic, "music\\no_such_theme.ogg");
        a->bLoopMusic = c.loop;
        SetObjectAction(h, *a);
        g_MusicDirector.m_bPlaying = 0;
        g_MusicDirector.m_bLoop = 1;
        g_MusicDirector.m_bActionLoop = 0;
        g_EngineObject.RunAction(h, false);
        EXPECT_EQ(g_MusicDirector.m_bLoop, c.loopByte);
        EXPECT_EQ(g_MusicDirector.m_bActionLoop, c.actionByte);
        g_Engine.DeleteObject(h);
    }
    g_MusicDirector.m_bLoop = 0;
    g_MusicDirector.m_bActionLoop = 0;
}

TEST_F(BehaviourTest, TheSwitchOfPathMovementOnlyWorksByHand) {
    ObjectRecord* h = Make(OT_LIGHT, {}, "tram");
    auto a = NewAction(true);
    a->dwSwitchMovingOnAction = 1;
    SetObjectAction(h, *a);
    h->BezierState.bMoving = 1;
    g_EngineObject.RunAction(h, true);
    EXPECT_EQ(h->BezierState.dwSpeedMode, 0u);
    h->bInMotion = 0;
    g_EngineObject.RunAction(h, false);
    EXPECT_EQ(h->BezierState.dwSpeedMode, 1u); // moving: slows to a stop
    EXPECT_FLOAT_EQ(h->BezierState.fSpeedModeValue, 2.0f);
}

} // namespace
