// The engine's object frame as it chooses the sky shadow maps' casters: the
// dynamic-shadow byte of skinned meshes and of static meshes that move (a
// rigid body, a Bezier path, an action that moves, turns or swings them as a
// door), the near-dynamic byte of those near the camera while the sky light
// is on, and the renderer's near-meshes bytes, all recomputed every frame;
// and the maps marked stale when not-important debris is hidden or shown.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "BehaviourFixture.h"
#include "render/EnvironmentSettings.h"
#include "render/Renderer.h"
#include "render/SkyShadowMap.h"
#include "world/EngineObjectFlags.h"
#include "world/ObjectKeys.h"

namespace {

class ShadowCasterTest : public BehaviourTest {
  protected:
    void SetUp() override {
        BehaviourTest::SetUp();
        skyLight_ = g_EnvironmentSettings.m_bSkyLightInUse;
        g_EnvironmentSettings.m_bSkyLightInUse = true;
        g_Renderer.m_bNearMeshes = g_Renderer.m_bNearSkinMeshes = 0;
    }
    void TearDown() override {
        g_EnvironmentSettings.m_bSkyLightInUse = skyLight_;
        g_Renderer.m_bNearMeshes = g_Renderer.m_bNearSkinMeshes = 0;
        BehaviourTest::TearDown();
    }

    // A shown object at the origin (its camera distance is measured by the
    // frame from the camera's place).
    static ObjectRecord* Shown(uint32_t type) {
        ObjectRecord* h = Make(type, {0, 0, 0});
        EXPECT_TRUE(h);
        h->dwFlags |= objflags::kFlagVisible;
        return h;
    }

    bool skyLight_ = true;
};

struct CasterCase {
    const char* name;
    uint32_t type;
    std::function<void(ObjectRecord*)> prepare;
    int beyondRadius; // the camera's distance from the object less its radius
    bool skyLight;
    bool dynamic, nearDynamic;
};

class CasterTable : public ShadowCasterTest, public ::testing::WithParamInterface<CasterCase> {};

TEST_P(CasterTable, TheObjectFrameSetsTheCasterBytesAndTheRenderersNearBytes) {
    const CasterCase& c = GetParam();
    g_EnvironmentSettings.m_bSkyLightInUse = c.skyLight;
    ObjectRecord* h = Shown(c.type);
    ASSERT_TRUE(h);
    if (c.prepare) c.prepare(h);
    g_Camera.SetPosition({float(h->iRange + c.beyondRadius), 0, 0});
    Frames(2, 0.02f);
    EXPECT_EQ(h->bDynamicShadow, c.dynamic ? 1 : 0);
    EXPECT_EQ(h->bNearDynamic, c.nearDynamic ? 1 : 0);
    const bool skinned = c.type == OT_SKINMESH;
    EXPECT_EQ(g_Renderer.m_bNearMeshes, (c.nearDynamic && !skinned) ? 1 : 0);
    EXPECT_EQ(g_Renderer.m_bNearSkinMeshes, (c.nearDynamic && skinned) ? 1 : 0);
}

void RigidBody(ObjectRecord* h) {
    RigidBodyPhysicsParams p;
    p.Reset();
    p.iShape = 1;
    SetObjectRigidBodyPhysicsParams(h, p);
}

std::shared_ptr<ObjectAction> Action(std::function<void(ObjectAction&)> set) {
    auto a = std::make_shared<ObjectAction>();
    a->dwGeneralOpt1 = 1;
    set(*a);
    return a;
}

void GiveAction(ObjectRecord* h, std::function<void(ObjectAction&)> set) {
    SetObjectAction(h, *Action(set));
}

// Near: the camera's distance less the object's radius below 1536.
INSTANTIATE_TEST_SUITE_P(
    Casters, CasterTable,
    ::testing::Values(
        CasterCase{"PlainMesh", OT_MESH, nullptr, 100, true, false, false},
        CasterCase{"RigidBody", OT_MESH, RigidBody, 100, true, true, true},
        CasterCase{"BezierPath", OT_MESH, [](ObjectRecord* h) { h->Bezier.bActive = 1; }, 100, true, true,
                   true},
        CasterCase{"MovingAction", OT_MESH,
                   [](ObjectRecord* h) {
                       GiveAction(h, [](ObjectAction& a) {
                           a.fMoving2 = -1.0f;
                           a.fMoving4 = 64.0f;
                           a.fMoving5 = 128.0f;
                       });
                   },
                   100, true, true, true},
        CasterCase{"TurningAction", OT_MESH,
                   [](ObjectRecord* h) { GiveAction(h, [](ObjectAction& a) { a.fRotation3 = 90.0f; }); }, 100,
                   true, true, true},
        CasterCase{"Door", OT_MESH,
                   [](ObjectRecord* h) { GiveAction(h, [](ObjectAction& a) { a.dwDoor1 = 1; }); }, 100, true,
                   true, true},
        CasterCase{"AnActionThatNeitherMovesNorTurns", OT_MESH,
                   [](ObjectRecord* h) { GiveAction(h, [](ObjectAction& a) { a.fMoving4 = 64.0f; }); }, 100,
                   true, false, false},
        CasterCase{"SkinnedMesh", OT_SKINMESH, nullptr, 100, true, true, true},
        CasterCase{"SkinnedMeshJustNear", OT_SKINMESH, nullptr, 1535, true, true, true},
        CasterCase{"SkinnedMeshJustFar", OT_SKINMESH, nullptr, 1536, true, true, false},
        CasterCase{"RigidBodyFar", OT_MESH, RigidBody, 3000, true, true, false},
        CasterCase{"WithoutSkyLight", OT_MESH, RigidBody, 100, false, true, false},
        CasterCase{"CastsNoSkyShadow", OT_SKINMESH,
                   [](ObjectRecord* h) { h->dwFlags2 |= objflags::kFlag2NoSkyShadow; }, 100, true, true,
                   false}),
    [](const auto& info) { return std::string(info.param.name); });

// A moving crate that once came near must not keep skinned meshes out of the
// near map: the renderer's near bytes and the object's near byte are the
// current frame's.
TEST_F(ShadowCasterTest, TheNearBytesAreThisFramesAndGoWithACasterThatLeaves) {
    ObjectRecord* crate = Shown(OT_MESH);
    RigidBody(crate);
    ObjectRecord* skinned = Shown(OT_SKINMESH);
    SetObjectPosition(skinned, {5000, 0, 0});
    g_Camera.SetPosition({100, 0, 0});
    Frames(2, 0.02f);
    ASSERT_TRUE(crate->bNearDynamic);
    EXPECT_TRUE(g_Renderer.m_bNearMeshes);
    EXPECT_FALSE(g_Renderer.m_bNearSkinMeshes) << "the skinned mesh is far";

    g_Camera.SetPosition({4900, 0, 0});
    Frame(0.02f);
    EXPECT_FALSE(crate->bNearDynamic) << "recomputed";
    EXPECT_FALSE(g_Renderer.m_bNearMeshes) << "cleared at the start of the frame";
    EXPECT_TRUE(skinned->bNearDynamic);
    EXPECT_TRUE(g_Renderer.m_bNearSkinMeshes);

    g_Camera.SetPosition({20000, 0, 0});
    Frame(0.02f);
    EXPECT_FALSE(g_Renderer.m_bNearMeshes || g_Renderer.m_bNearSkinMeshes) << "nothing near";
}

// Hiding the not-important debris (parking its flags) and showing it again
// change what casts: both maps go stale each time, and only then.
TEST_F(ShadowCasterTest, HidingOrShowingNotImportantDebrisMarksBothMapsStale) {
    ObjectRecord* debris = Shown(OT_MESH);
    debris->dwFlags |= objflags::kFlagUnimportant;
    GiveAction(debris, [](ObjectAction&) {}); // updated every frame
    auto upToDate = [](bool both) {
        g_SkyShadowMap.m_Maps[0].bUpToDate = g_SkyShadowMap.m_Maps[1].bUpToDate = both ? 1 : 0;
    };
    struct Step {
        const char* name;
        bool drawNotImportant;
        bool stale;
    } steps[] = {
        {"shown as it was", true, false},
        {"hidden", false, true},
        {"kept hidden", false, false},
        {"shown again", true, true},
    };
    for (const Step& s : steps) {
        DrawNotImportant = s.drawNotImportant;
        upToDate(true);
        Frame(0.02f);
        EXPECT_EQ(g_SkyShadowMap.m_Maps[0].bUpToDate, s.stale ? 0 : 1) << s.name;
        EXPECT_EQ(g_SkyShadowMap.m_Maps[1].bUpToDate, s.stale ? 0 : 1) << s.name;
    }
    EXPECT_EQ(debris->dwFlags2 & objflags::kFlag2NoSkyShadow, 0u) << "its own flags are back";
    upToDate(false);
}

} // namespace
