// Death by death parameters: who cannot be killed, what a death does, the
// objects killed after it, and the destroyed mesh that replaces the dead one.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "BehaviourFixture.h"
#include "actors/LaserMgr.h"
#include "physics/RigidBodySimulation.h"
#include "render/FxMgr.h"
#include "render/Mesh.h"
#include "render/MeshSocketsMgr.h"
#include "render/PaneCrashMgr.h"

namespace {

class DeathTest : public BehaviourTest {
  protected:
    ObjectRecord* Victim(const DeathParams& dp, const char* name = "victim") {
        ObjectRecord* h = Make(OT_MESH, {10, 0, 20}, name);
        SetObjectDeathParams(h, dp);
        return h;
    }
};

TEST_F(DeathTest, AnObjectWithoutDeathParametersCannotBeKilled) {
    ObjectRecord* h = Make(OT_MESH, {}, "rock");
    g_EngineObject.HandleDeath(h, nullptr, nullptr);
    EXPECT_FALSE(h->bDying);
    EXPECT_EQ(h->dwFlags & 128u, 0u);
    g_EngineObject.HandleDeath(nullptr, nullptr, nullptr); // ignored
}

TEST_F(DeathTest, ARequiredVariableThatIsNotSetLeavesTheObjectFullyAlive) {
    Debug = 1;
    auto dp = NewDeath();
    std::strcpy(dp->szHandleDeathIf, "fuse_lit");
    std::strcpy(dp->szSetWhenDead, "boom");
    ObjectRecord* h = Victim(*dp);
    MarkConsole();
    g_EngineObject.HandleDeath(h, nullptr, nullptr);
    EXPECT_TRUE(Printed("Wymagana zmienna fuse_lit ale nie ustawiona!"));
    EXPECT_FALSE(h->bDying);
    EXPECT_EQ(h->dwFlags & 128u, 0u);
    EXPECT_FALSE(g_GameAI.IsSet("boom"));

    g_GameAI.SetVariable("fuse_lit", nullptr);
    g_EngineObject.HandleDeath(h, nullptr, nullptr);
    EXPECT_TRUE(h->bDying);
    EXPECT_TRUE(g_GameAI.IsSet("boom"));
}

TEST_F(DeathTest, TheHerosStickMarkerIsNeverKilled) {
    ObjectRecord* h = Victim(*NewDeath(), "hero_stick");
    SetObjectFlags(h, 0x2000, 0x2000);
    MarkConsole();
    g_EngineObject.HandleDeath(h, nullptr, nullptr); // reported with Debug off too
    EXPECT_TRUE(Printed("FATAL! Cannot kill HeroStick! Operation aborted for hero_stick"));
    EXPECT_FALSE(h->bDying);
}

TEST_F(DeathTest, ADeathMarksTheObjectAndStopsWhatItWasDoing) {
    auto dp = NewDeath();
    std::strcpy(dp->szSetWhenDead, "crate_gone");
    std::strcpy(dp->szConsolePrint, "the crate breaks");
    dp->bPaneCrashOn = 1;
    dp->bHideAfterDeath = 1;
    ObjectRecord* h = Victim(*dp);
    SetObjectSound(h, "sounds\\machine_hum.wav", 500.0f, nullptr);
    SetObjectFxName(h, "sparks");
    FxInstance sparks; // an FX running on the object
    sparks.dwIndex = FxMgr::MAX_INSTANCES - 1;
    h->pFx = &sparks;
    h->BezierState.bMoving = 1;
    h->Bezier.bActive = 1;
    const int panes = g_PaneCrashMgr.ActivePanes();
    MarkConsole();
    g_EngineObject.HandleDeath(h, nullptr, nullptr);
    EXPECT_TRUE(h->bDying);
    EXPECT_EQ(h->dwFlags & 128u, 128u);
    EXPECT_EQ(h->pSound, nullptr);
    EXPECT_EQ(h->pFx, nullptr);
    EXPECT_EQ(h->pFxName, nullptr);
    EXPECT_FALSE(h->BezierState.bMoving);
    EXPECT_FALSE(h->Bezier.bActive);
    EXPECT_TRUE(h->bHideAfterDeath);
    EXPECT_TRUE(g_GameAI.IsSet("crate_gone"));
    EXPECT_EQ(g_PaneCrashMgr.ActivePanes(), panes + 1);
    EXPECT_TRUE(Printed("the crate breaks"));

    // Dying is for good: a second death does nothing.
    g_GameAI.UnsetVariable("crate_gone", nullptr);
    g_EngineObject.HandleDeath(h, nullptr, nullptr);
    EXPECT_FALSE(g_GameAI.IsSet("crate_gone"));
}

TEST_F(DeathTest, AThrownOffObjectFliesAlongItsHeadingPlusItsAddedSpeed) {
    auto dp = NewDeath();
    dp->bThrownOff = 1;
    dp->fAddSpeed1 = 1.0f;
    dp->fAddSpeed2 = 64.0f;
    dp->fAddSpeed3 = 0.0f;
    ObjectRecord* h = Victim(*dp);
    orientation o;
    o.SetDirection(math::Vec3{1, 0, 0});
    SetObjectOrientation(h, o);
    h->fFlightTimer1 = h->fFlightTimer2 = 5.0f;
    g_EngineObject.HandleDeath(h, nullptr, nullptr);
    EXPECT_TRUE(h->bFlying);
    EXPECT_NEAR(h->fLaunchX, 2.0f, 1e-5f);
    EXPECT_NEAR(h->fLaunchY, 64.0f, 1e-5f);
    EXPECT_NEAR(h->fLaunchZ, 0.0f, 1e-5f);
    EXPECT_EQ(h->fFlightTimer1, 0.0f);
    EXPECT_EQ(h->fFlightTimer2, 0.0f);
}

TEST_F(DeathTest, ItPassesAnActionOnAtItsDeath) {
    auto dp = NewDeath();
    dp->bActivateObject = 1;
    std::strcpy(dp->szActivateObjectName, "alarm");
    ObjectRecord* h = Victim(*dp);
    ObjectRecord* alarm = Make(OT_LIGHT, {}, "alarm");
    SetObjectAction(alarm, *NewAction());
    g_EngineObject.HandleDeath(h, nullptr, nullptr);
    EXPECT_TRUE(alarm->bHasRun);
}

// The death FX starts at the object, or at its "laser" socket while its laser
// is on; the beam itself is switched off only for an index below 256.
struct LaserCase {
    const char* name;
    uint8_t laserOn;
    uint32_t beam;
    math::Vec3 fxAt;
    int beamsLeft;
};

class DeathFxTest : public DeathTest, public ::testing::WithParamInterface<LaserCase> {
  protected:
    void SetUp() override {
        DeathTest::SetUp();
        std::filesystem::create_directories(dir_ / "scripts" / "mesh_sockets");
        // z up in the file: the socket lies 32 above the box's base.
        std::ofstream(dir_ / "scripts" / "mesh_sockets" / "box.txt")
            << "mesh_filename MODELS\\BOX.X\nsocket laser 4 6 32\n";
        ASSERT_EQ(g_MeshSocketsMgr.LoadAll(), 1u);
        std::filesystem::create_directories(dir_ / "afx");
        std::ofstream(dir_ / "afx" / "e_wybuch.afx") << "Type Spark\nLife_Time 1\n";
        g_FxMgr.LoadAll();
        g_Engine.m_bWorldLoaded = 1;
    }
    void TearDown() override {
        g_FxMgr.KillAll();
        std::filesystem::remove_all(dir_ / "afx");
        g_FxMgr.LoadAll();
        std::filesystem::remove_all(dir_ / "scripts");
        g_MeshSocketsMgr.LoadAll();
        g_LaserMgr.m_iNumBeams = 0;
        DeathTest::TearDown();
    }
};

TEST_P(DeathFxTest, StartsAtTheLaserSocketWhileTheLaserIsOn) {
    const LaserCase& c = GetParam();
    auto dp = NewDeath();
    std::strcpy(dp->szFXOnDeath, "e_wybuch");
    ObjectRecord* h = Victim(*dp); // at (10, 0, 20)
    h->bLaserOn = c.laserOn;
    h->dwLaserBeam = c.beam;
    g_LaserMgr.m_iNumBeams = 1;
    g_FxMgr.KillAll();
    g_EngineObject.HandleDeath(h, nullptr, nullptr);
    const FxInstance* fx = nullptr;
    for (int i = 1; i < FxMgr::MAX_INSTANCES; ++i) {
        if (!g_FxMgr.Instance(i)->bInUse) continue;
        ASSERT_EQ(fx, nullptr) << "one death, one effect";
        fx = g_FxMgr.Instance(i);
    }
    ASSERT_NE(fx, nullptr);
    EXPECT_STREQ(fx->szName, "e_wybuch");
    EXPECT_NEAR(fx->vPosition.x, c.fxAt.x, 1e-3f);
    EXPECT_NEAR(fx->vPosition.y, c.fxAt.y, 1e-3f);
    EXPECT_NEAR(fx->vPosition.z, c.fxAt.z, 1e-3f);
    EXPECT_EQ(g_LaserMgr.m_iNumBeams, c.beamsLeft);
}

INSTANTIATE_TEST_SUITE_P(Cases, DeathFxTest,
                         ::testing::Values(LaserCase{"LaserOff", 0, 3, {10, 0, 20}, 1},
                                           LaserCase{"LaserOn", 1, 3, {14, 32, 26}, 0},
                                           LaserCase{
                                               "LaserOnWithABeamPastTheTable", 1, 256, {14, 32, 26}, 1}),
                         [](const ::testing::TestParamInfo<LaserCase>& info) { return info.param.name; });

struct DestroyCase {
    const char* name;
    float pause;
    bool deadNow;
};

class DestroyOtherTest : public DeathTest, public ::testing::WithParamInterface<DestroyCase> {};

TEST_P(DestroyOtherTest, KillsTheOtherNowOrSetsItsCountdown) {
    const DestroyCase& c = GetParam();
    auto dp = NewDeath();
    dp->bDestroyObject = 1;
    std::strcpy(dp->szDestroyObjectName, "neighbour");
    dp->fDestroyOtherPause = c.pause;
    ObjectRecord* h = Victim(*dp);
    ObjectRecord* other = Victim(*NewDeath(), "neighbour");
    g_EngineObject.HandleDeath(h, nullptr, nullptr);
    EXPECT_EQ(other->bDying != 0, c.deadNow);
    EXPECT_FLOAT_EQ(other->fDeathCountdown, c.deadNow ? 0.0f : c.pause);
    if (!c.deadNow) {
        Frame(c.pause);
        EXPECT_TRUE(other->bDying);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, DestroyOtherTest,
                         ::testing::Values(DestroyCase{"NoPause", 0.0f, true},
                                           DestroyCase{"HalfASecond", 0.5f, false}),
                         [](const ::testing::TestParamInfo<DestroyCase>& info) { return info.param.name; });

TEST_F(DeathTest, AChainLeadingBackToADyingObjectEndsThere) {
    auto first = NewDeath();
    first->bDestroyObject = 1;
    std::strcpy(first->szDestroyObjectName, "b");
    auto second = NewDeath();
    second->bDestroyObject = 1;
    std::strcpy(second->szDestroyObjectName, "a");
    ObjectRecord* a = Victim(*first, "a");
    ObjectRecord* b = Victim(*second, "b");
    g_EngineObject.HandleDeath(a, nullptr, nullptr);
    EXPECT_TRUE(a->bDying);
    EXPECT_TRUE(b->bDying);
}

// ---- The destroyed mesh ------------------------------------------------------------------------------

TEST_F(DeathTest, TheReplacementKeepsPlaceFlagsAndTieButNotTheDeadMarks) {
    auto dp = NewDeath();
    std::strcpy(dp->szCreateMeshOnDeath, "models\\plane.x");
    std::strcpy(dp->szCreatedMeshName, "wreck");
    dp->bCreatedMeshDisappears = 1;
    dp->fTimeToDisappearCreatedMesh = 12.5f;
    ObjectRecord* h = Victim(*dp);
    SetObjectFlags(h, 0x1005, 0xFFFFFFFF);
    SetObjectFlags2(h, 0x400000 | 0x30, 0xFFFFFFFF);
    SetObjectScale(h, {2, 3, 4});
    orientation o;
    o.SetYawPitchRoll(0.5f, 0.0f, 0.0f);
    SetObjectOrientation(h, o);
    SetObjectDisappearRange(h, 900.0f);
    h->iAmbientLightIdx = 2;
    h->iFogIdx = 3;
    h->bTied = 1;
    std::strcpy(h->szTieObject, "holder");
    std::strcpy(h->szTieSocket, "hook");
    g_Engine.m_bWorldLoaded = 0; // the tie is kept as pending names then

    g_EngineObject.HandleDeath(h, nullptr, nullptr);
    ObjectRecord* wreck = g_Engine.FindObjectByName("wreck");
    ASSERT_TRUE(wreck);
    EXPECT_NE(wreck, h);
    EXPECT_STREQ(wreck->szFileName, "models\\plane.x");
    EXPECT_EQ(wreck->vPosition, h->vPosition);
    EXPECT_EQ(wreck->dwFlags, 0x1005u);    // 128 cleared again
    EXPECT_EQ(wreck->dwFlags2, 0x30u);     // 0x400000 cleared
    EXPECT_EQ(h->dwFlags, 0x1005u | 128u); // the dead one keeps its mark
    EXPECT_EQ(wreck->vScale, math::Vec3(2, 3, 4));
    EXPECT_NEAR(wreck->Orientation.quaternion.y, o.quaternion.y, 1e-6f);
    EXPECT_EQ(wreck->iDisappearRange, 900);
    EXPECT_EQ(wreck->iAmbientLightIdx, 2);
    EXPECT_EQ(wreck->iFogIdx, 3);
    EXPECT_TRUE(wreck->bRunTimeCreated);
    EXPECT_FALSE(wreck->bWorldObject);
    ASSERT_TRUE(wreck->pPendingTieObject);
    EXPECT_STREQ(wreck->pPendingTieObject, "holder");
    EXPECT_STREQ(wreck->pPendingTieSocket, "hook");
    ASSERT_TRUE(wreck->Mesh());
    EXPECT_TRUE(wreck->Mesh()->m_bDisappear);
    EXPECT_FLOAT_EQ(wreck->Mesh()->m_fDisappearTime, 12.5f);
}

struct ReplacementNameCase {
    const char* name;
    size_t length; // of a file name that does not exist
    const char* message;
};

class ReplacementNameTest : public DeathTest, public ::testing::WithParamInterface<ReplacementNameCase> {};

// The creation record holds the file name in 128 bytes: a name that does
// not fit is refused, never copied past the field.
TEST_P(ReplacementNameTest, ANameTooLongForTheCreationFieldIsRefused) {
    const ReplacementNameCase& c = GetParam();
    auto dp = NewDeath();
    const std::string file = "models\\" + std::string(c.length - 9, 'x') + ".x";
    ASSERT_EQ(file.size(), c.length);
    std::strcpy(dp->szCreateMeshOnDeath, file.c_str());
    std::strcpy(dp->szSetWhenDead, "went_on");
    ObjectRecord* h = Victim(*dp);
    const int before = g_Engine.NumObjects();
    MarkConsole();
    g_EngineObject.HandleDeath(h, nullptr, nullptr);
    EXPECT_EQ(g_Engine.NumObjects(), before);
    EXPECT_TRUE(Printed(c.message));
    EXPECT_TRUE(Printed("Failed to create mesh"));
    EXPECT_TRUE(h->bDying);
    EXPECT_TRUE(g_GameAI.IsSet("went_on"));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReplacementNameTest,
    ::testing::Values(ReplacementNameCase{"OneTooLongForTheTable", 127, "AddObject FileName>126"},
                      ReplacementNameCase{"FillsTheField", 128, "!!! 6"},
                      ReplacementNameCase{"FarTooLong", 255, "!!! 6"}),
    [](const ::testing::TestParamInfo<ReplacementNameCase>& info) { return info.param.name; });

TEST_F(DeathTest, AMissingReplacementMeshIsReportedAndTheDeathGoesOn) {
    auto dp = NewDeath();
    std::strcpy(dp->szCreateMeshOnDeath, "models\\missing.x");
    dp->bTeleportObjectsHereUse = 1;
    std::strcpy(dp->szTeleportObjectsHere[0], "loot");
    ObjectRecord* h = Victim(*dp);
    ObjectRecord* loot = Make(OT_LIGHT, {500, 0, 0}, "loot");
    MarkConsole();
    g_EngineObject.HandleDeath(h, nullptr, nullptr);
    EXPECT_TRUE(Printed("Failed to create mesh"));
    EXPECT_EQ(loot->vPosition, h->vPosition);
}

TEST_F(DeathTest, ALongReplacementObjectNameIsReported) {
    auto dp = NewDeath();
    std::strcpy(dp->szCreateMeshOnDeath, "models\\plane.x");
    std::strcpy(dp->szCreatedMeshName, "a_wreck_with_a_name_of_31_chars"); // 31: fits
    ObjectRecord* h = Victim(*dp);
    MarkConsole();
    g_EngineObject.HandleDeath(h, nullptr, nullptr);
    EXPECT_FALSE(Printed("!!! 6"));
    EXPECT_TRUE(g_Engine.FindObjectByName("a_wreck_with_a_name_of_31_chars"));
}

} // namespace
