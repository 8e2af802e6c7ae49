#include <cmath>
#include <cstdio>
#include <memory>
#include <vector>

#include "game/Panel.h"
#include "physics/IntersectSegment.h"
#include "physics/RigidBodySimulation.h"
#include "platform/math/Math.h"
#include "render/Mesh.h"
#include "render/SpriteMgr.h"
#include "skinmesh/SkinMesh.h"
#include "tests/world/WorldFixture.h"
#include "world/DeathParams.h"
#include "world/EngineObject.h"
#include "world/ObjectAction.h"

namespace {

class ObjectApiTest : public WorldTest {};

TEST_F(ObjectApiTest, MaskedFlagWritesOnEveryFlagWord) {
    struct Case {
        uint32_t old, value, mask, expected;
    } cases[] = {
        {0x0000, 0xFFFF, 0x0000, 0x0000}, // mask 0 changes nothing
        {0x00F0, 0x000F, 0x00FF, 0x000F}, // bits under the mask are replaced
        {0xF0F0, 0x0F0F, 0xFF00, 0x0FF0}, // bits outside the mask stay
        {0x0001, 0x0000, 0x0001, 0x0000}, {0x1234, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF},
    };
    using Setter = void (*)(ObjectRecord*, uint32_t, uint32_t);
    struct Word {
        Setter set;
        uint32_t ObjectRecord::*field;
    } words[] = {{SetObjectFlags, &ObjectRecord::dwFlags},
                 {SetObjectFlags2, &ObjectRecord::dwFlags2},
                 {SetObjectKindFlags, &ObjectRecord::dwKindFlags}};
    ObjectRecord* h = Make(OT_LIGHT);
    for (const Word& w : words) {
        for (const Case& c : cases) {
            h->*w.field = c.old;
            w.set(h, c.value, c.mask);
            EXPECT_EQ(h->*w.field, c.expected) << std::hex << c.old << " " << c.value << " " << c.mask;
        }
    }
    SetObjectFlags(nullptr, 1, 1); // ignored
}

TEST_F(ObjectApiTest, FlagSettersMirrorVisibilityAndRefreshEvenWithMaskZero) {
    ObjectRecord* sprite = Make(OT_SPRITE);
    sprite->pSprite->dwFlags = 0;
    const uint32_t before = g_IntersectSegment.RefreshCount();
    SetObjectFlags(sprite, 0xFF, 0);
    EXPECT_EQ(g_IntersectSegment.RefreshCount(), before + 1);
    EXPECT_EQ(sprite->pSprite->dwFlags, sprite->dwFlags); // the sprite got the (unchanged) word
    SetObjectFlags(sprite, 1, 1);
    EXPECT_EQ(sprite->bVisible, 1);
    SetObjectFlags(sprite, 0, 1);
    EXPECT_EQ(sprite->bVisible, 0);
    SetObjectFlags2(sprite, 0x40, 0x40);
    EXPECT_EQ(sprite->pSprite->dwFlags2, sprite->dwFlags2);
    EXPECT_EQ(g_IntersectSegment.RefreshCount(), before + 4);

    // A mesh rebuilds its world matrix when bit 4 becomes set, and only then
    // (the rebuild refreshes the segment entry once more).
    ObjectRecord* mesh = Make(OT_MESH);
    SetObjectFlags(mesh, 0, 4);
    struct Step {
        uint32_t value;
        uint32_t refreshes;
    } steps[] = {{4, 2}, {4, 1}, {0, 1}, {4, 2}};
    for (const Step& s : steps) {
        const uint32_t start = g_IntersectSegment.RefreshCount();
        SetObjectFlags(mesh, s.value, 4);
        EXPECT_EQ(g_IntersectSegment.RefreshCount() - start, s.refreshes) << s.value;
    }
}

TEST_F(ObjectApiTest, PlacementReachesTheOwnedObjectOfEachType) {
    ObjectRecord* mesh = Make(OT_MESH);
    ObjectRecord* skin = Make(OT_SKINMESH);
    ObjectRecord* light = Make(OT_LIGHT);
    ObjectRecord* sprite = Make(OT_SPRITE);
    const math::Vec3 p{100, 200, 300};
    for (ObjectRecord* h : {mesh, skin, light, sprite}) {
        h->bCubeMapRendered = 1;
        SetObjectPosition(h, p, true);
        EXPECT_EQ(h->vPosition, p);
        EXPECT_EQ(h->vStartPosition, math::Vec3{}) << h->dwType; // kept
        SetObjectPosition(h, p, false);
        EXPECT_EQ(h->vStartPosition, p);
        math::Vec3 out{-1, -1, -1};
        GetObjectPosition(h, &out);
        EXPECT_EQ(out, p) << h->dwType;
    }
    math::Matrix world;
    mesh->Mesh()->GetWorldMatrix(&world);
    EXPECT_FLOAT_EQ(world.m[3][0], 100);
    EXPECT_FLOAT_EQ(world.m[3][2], 300);
    EXPECT_EQ(skin->SkinMesh()->GetPosition(), p);
    EXPECT_EQ(sprite->pSprite->vPosition, p);
    EXPECT_EQ(light->bCubeMapRendered, 0);

    // The getter of a skinned mesh reads the skin mesh and writes the record.
    skin->SkinMesh()->SetPosition({1, 2, 3});
    math::Vec3 out;
    GetObjectPosition(skin, &out);
    EXPECT_EQ(out, (math::Vec3{1, 2, 3}));
    EXPECT_EQ(skin->vPosition, (math::Vec3{1, 2, 3}));

    orientation turned;
    turned.SetYawPitchRoll(math::kPi / 2, 0, 0);
    for (ObjectRecord* h : {mesh, skin, sprite}) {
        SetObjectOrientation(h, turned);
        orientation got;
        GetObjectOrientation(h, &got);
        EXPECT_NEAR(got.forward.x, 1, 1e-5) << h->dwType;
    }
    orientation untouched;
    untouched.quaternion.x = 7;
    GetObjectOrientation(light, &untouched);
    EXPECT_EQ(untouched.quaternion.x, 7); // type 2 has no owned object to ask
}

TEST_F(ObjectApiTest, ScaleRescalesTheMeshRangeByItsLargestComponent) {
    ObjectRecord* mesh = Make(OT_MESH);
    const int base = mesh->iRange;
    SetObjectScale(mesh, {2, 1, 3});
    EXPECT_EQ(mesh->iRange, int(mesh->Mesh()->m_fBaseRadius * 3));
    EXPECT_GT(mesh->iRange, 3 * base - 3);
    math::Vec3 scale;
    GetObjectScale(mesh, &scale);
    EXPECT_EQ(scale, (math::Vec3{2, 1, 3}));
    ObjectRecord* light = Make(OT_LIGHT);
    math::Vec3 out{5, 5, 5};
    SetObjectScale(light, {2, 2, 2});
    GetObjectScale(light, &out);
    EXPECT_EQ(out, (math::Vec3{5, 5, 5})); // nothing to ask for a type-2 object
}

TEST_F(ObjectApiTest, SegmentsAgainstTheMeshBoxFollowItsPlacement) {
    // The 64-unit box stands on the origin; placed at x = 1000, turned a
    // quarter about y and doubled in height.
    ObjectRecord* h = Make(OT_MESH, {1000, 0, 0});
    orientation turned;
    turned.SetYawPitchRoll(math::kPi / 4, 0, 0);
    SetObjectOrientation(h, turned);
    SetObjectScale(h, {1, 2, 1});
    struct Case {
        math::Vec3 a, b;
        bool hit;
    } cases[] = {
        {{900, 10, 0}, {1100, 10, 0}, true},    // straight through
        {{900, 120, 0}, {1100, 120, 0}, true},  // within the doubled height
        {{900, 140, 0}, {1100, 140, 0}, false}, // above it
        {{1000, 10, 0}, {1000, 20, 0}, true},   // inside
        {{900, 10, 0}, {950, 10, 0}, false},    // stops short
        // Corner of the unturned box (x 1030, z 30) lies outside the turned one.
        {{1030, 10, 30}, {1031, 10, 31}, false},
        {{1044, 10, 0}, {1046, 10, 0}, true}, // the turned box reaches 32 x sqrt 2 = 45.25 along x
    };
    for (const Case& c : cases)
        EXPECT_EQ(h->Mesh()->IntersectSegmentBox(&c.a, &c.b), c.hit) << c.a.x << "," << c.a.y << "," << c.a.z;
    EXPECT_FALSE(h->Mesh()->IntersectSegmentBox(nullptr, &cases[0].b));
}

TEST_F(ObjectApiTest, NamesAreCutAtTheField) {
    ObjectRecord* h = Make(OT_LIGHT);
    const std::string longName(100, 'n');
    SetObjectName(h, longName.c_str());
    EXPECT_EQ(std::string(h->szName), longName.substr(0, 63));
    SetObjectName(h, "Lamp");
    EXPECT_STREQ(h->szName, "Lamp");
}

TEST_F(ObjectApiTest, RangeAndDisappearRange) {
    ObjectRecord* light = Make(OT_LIGHT);
    ObjectRecord* mesh = Make(OT_MESH);
    light->bCubeMapRendered = 1;
    SetObjectRange(light, 99.5f);
    EXPECT_EQ(light->iRange, 100);
    EXPECT_EQ(light->bCubeMapRendered, 0);
    const int meshRange = mesh->iRange;
    SetObjectRange(mesh, 5);
    EXPECT_EQ(mesh->iRange, meshRange); // lights only
    SetObjectDisappearRange(mesh, 1500.4f);
    float range = 0;
    GetObjectDisappearRange(mesh, &range);
    EXPECT_FLOAT_EQ(range, 1500);
}

TEST_F(ObjectApiTest, AnimationsAreKeptForSkinnedMeshesOnly) {
    ObjectRecord* skin = Make(OT_SKINMESH);
    ObjectRecord* mesh = Make(OT_MESH);
    SetObjectAnimation(skin, "walk", true, 0.2f, 1.0f);
    EXPECT_STREQ(skin->szAnimation, "walk");
    EXPECT_EQ(skin->bAnimationLoop, 1);
    EXPECT_STREQ(skin->SkinMesh()->m_szAnimation, "walk");
    SetObjectUpperAnimation(skin, "aim", false, 0.1f);
    EXPECT_STREQ(skin->szAnimation, "aim");
    EXPECT_EQ(skin->bAnimationLoop, 0);
    EXPECT_STREQ(skin->SkinMesh()->m_szUpperAnimation, "aim");
    SetObjectAnimation(mesh, "walk", true, 0, 1);
    EXPECT_STREQ(mesh->szAnimation, "");
    EXPECT_TRUE(ObjectHasAnimation(mesh, "walk"));
    EXPECT_FALSE(ObjectHasAnimation(nullptr, "walk"));
    EXPECT_TRUE(IsObjectAnimationFinished(mesh));
    math::Vec3 node;
    EXPECT_FALSE(GetObjectNodePosition(mesh, "head", &node));
}

TEST_F(ObjectApiTest, BlocksAreStoredWholeAndFreedByAnEmptyFirstField) {
    ObjectRecord* mesh = Make(OT_MESH);
    ObjectRecord* light = Make(OT_LIGHT);

    auto death = std::make_unique<DeathParams>();
    GetObjectDeathParams(mesh, death.get());
    EXPECT_FLOAT_EQ(death->fHealth, 1.0f); // a fresh block when there is none
    death->bOn = 1;
    death->fHealth = 55;
    SetObjectDeathParams(mesh, *death);
    ASSERT_NE(mesh->pDeathParams, nullptr);
    EXPECT_FLOAT_EQ(mesh->fHealth, 55);
    death->bOn = 0;
    SetObjectDeathParams(mesh, *death);
    EXPECT_EQ(mesh->pDeathParams, nullptr);

    auto action = std::make_unique<ObjectAction>();
    action->dwGeneralOpt1 = 1;
    std::strcpy(action->szIfset, "alarm");
    SetObjectAction(mesh, *action);
    auto out = std::make_unique<ObjectAction>();
    GetObjectAction(mesh, out.get());
    EXPECT_STREQ(out->szIfset, "alarm");
    action->dwGeneralOpt1 = 0;
    SetObjectAction(mesh, *action);
    EXPECT_EQ(mesh->pAction, nullptr);

    LightControlList list;
    list.bOn = 1;
    std::strcpy(list.szNames[3], "lamp3");
    SetObjectNameList(mesh, list);
    SetObjectNameList(light, list);
    EXPECT_NE(mesh->pLightControl, nullptr);
    EXPECT_EQ(light->pLightControl, nullptr); // lights keep none
    LightControlList got;
    GetObjectNameList(mesh, &got);
    EXPECT_STREQ(got.szNames[3], "lamp3");

    BlinkingBlock blink;
    blink.bOn = 1;
    blink.fValues[5] = 3;
    SetObjectExtraBlock(light, &blink);
    ASSERT_NE(light->pBlinking, nullptr);
    EXPECT_FLOAT_EQ(light->pBlinking->fValues[5], 3);
    EXPECT_FLOAT_EQ(light->pBlinking->fValues[2], 2.0f);
    SetObjectExtraBlock(light, nullptr);
    EXPECT_EQ(light->pBlinking, nullptr);

    SetObjectSound(mesh, "sounds\\hum.wav", 500, "power_on");
    char file[256], condition[64];
    float range = 0;
    GetObjectSound(mesh, file, &range, condition);
    EXPECT_STREQ(file, "sounds\\hum.wav");
    EXPECT_FLOAT_EQ(range, 500);
    EXPECT_STREQ(condition, "power_on");
    SetObjectSound(mesh, "", 1, "x");
    EXPECT_EQ(mesh->pSound, nullptr);
    GetObjectSound(mesh, file, &range, condition);
    EXPECT_STREQ(file, "");
    EXPECT_FLOAT_EQ(range, 0);

    SetObjectLoopSound(mesh, "bush.wav", 2.0f);
    EXPECT_STREQ(mesh->szRepeatSound, "bush.wav");
    EXPECT_FLOAT_EQ(mesh->fRepeatSoundInterval, 6.0f);
    SetObjectLoopSound(light, "bush.wav", 8.0f);
    EXPECT_STREQ(light->szRepeatSound, ""); // meshes only
    light->szRepeatSound[0] = 'x';
    SetObjectLoopSound(light, "", 0);
    EXPECT_STREQ(light->szRepeatSound, ""); // an empty name clears any type

    RigidBodyPhysicsParams params;
    params.Reset();
    params.fMass = 33;
    SetObjectRigidBodyPhysicsParams(mesh, params);
    RigidBodyPhysicsParams back;
    back.Reset();
    GetObjectRigidBodyPhysicsParams(mesh, &back);
    EXPECT_FLOAT_EQ(back.fMass, 33);
}

TEST_F(ObjectApiTest, FxNameWaitsForTheLevelToRun) {
    ObjectRecord* h = Make(OT_MESH);
    g_MainGame.m_iLevelFrame = 149;
    SetObjectFxName(h, "e_smoke");
    ASSERT_NE(h->pFxName, nullptr);
    EXPECT_STREQ(h->pFxName, "e_smoke");
    EXPECT_EQ(h->pFx, nullptr);
    SetObjectFxName(h, "");
    EXPECT_EQ(h->pFxName, nullptr);
}

TEST_F(ObjectApiTest, PutForceCreatesABodyAndPushesAboveTheCentre) {
    ObjectRecord* h = Make(OT_MESH, {10, 0, 0});
    PutForceToObject(h, {0, 0, 5});
    ASSERT_NE(h->dwRigidBody, 0u);
    ERigidBodyPhysics* body = nullptr;
    ASSERT_TRUE(g_RigidBodySimulation.FindBody(h, &body));
    EXPECT_DOUBLE_EQ(body->m_State.P[2], 5);
    // Pushed 32 above the centre (half the 64-unit box): L = r x J.
    EXPECT_DOUBLE_EQ(body->m_State.L[0], 32 * 5);
    RemoveObjectRigidBody(h);
    EXPECT_EQ(h->dwRigidBody, 0u);

    // A world object keeps the settings the world file gave it: without a
    // shape it gets no body unless the push is forced.
    ObjectRecord* wall = Make(OT_MESH, {}, "wall");
    wall->bWorldObject = 1;
    Debug = 1;
    MarkConsole();
    PutForceToObject(wall, {0, 0, 5});
    EXPECT_EQ(wall->dwRigidBody, 0u);
    EXPECT_TRUE(Printed("PutForceToObject: wall nie ma fizyki!"));
    PutForceToObject(wall, {0, 0, 5}, true);
    EXPECT_NE(wall->dwRigidBody, 0u);
}

TEST_F(ObjectApiTest, ExplosionReachPushLimitAndDamage) {
    const math::Vec3 point{0, 0, 0};
    // Twenty physics meshes within 256, in slot order.
    std::vector<ObjectRecord*> crates;
    for (int i = 0; i < 20; ++i) {
        ObjectRecord* h = Make(OT_MESH, {100, 0, float(i)});
        CreateObjectRigidBody(h, true);
        ASSERT_NE(h->dwRigidBody, 0u);
        crates.push_back(h);
    }
    // Lights with death parameters at the edge of the reach.
    auto withDeath = [](ObjectRecord* h, bool doomedPane) {
        DeathParams dp;
        dp.bOn = 1;
        dp.fHealth = 100;
        dp.bPaneCrashOn = doomedPane ? 1 : 0;
        SetObjectDeathParams(h, dp);
        return h;
    };
    ObjectRecord* inside = withDeath(Make(OT_LIGHT, {0, 319, 0}), false);
    ObjectRecord* edge = withDeath(Make(OT_LIGHT, {0, 320, 0}), false);
    ObjectRecord* half = withDeath(Make(OT_LIGHT, {0, 0, 160}), false);
    ObjectRecord* doomed = withDeath(Make(OT_LIGHT, {0, 0, 300}), true);

    g_Engine.ApplyExplosion(point, 1.0f);

    for (size_t i = 0; i < crates.size(); ++i) {
        ERigidBodyPhysics* body = nullptr;
        ASSERT_TRUE(g_RigidBodySimulation.FindBody(crates[i], &body));
        const double* P = body->m_State.P;
        EXPECT_NEAR(std::sqrt(P[0] * P[0] + P[1] * P[1] + P[2] * P[2]), i < 16 ? 4000 : 0, 1e-2) << i;
    }
    EXPECT_FLOAT_EQ(edge->fHealth, 100); // exactly 320 away: untouched
    EXPECT_NEAR(inside->fHealth, 100 - (1 - 319.f / 320) * 600, 1e-3);
    EXPECT_NEAR(half->fHealth, 100 - 0.5f * 600, 1e-3);
    EXPECT_EQ(half->bExplosionKilled, 1);
    EXPECT_NEAR(half->fDeathCountdown, 0.5f + 0.1f, 1e-6);
    EXPECT_EQ(inside->bExplosionKilled, 0);
    EXPECT_FLOAT_EQ(doomed->fHealth, -1);
    EXPECT_EQ(doomed->bExplosionKilled, 1);
    EXPECT_EQ(g_MainGame.m_fLastExplosionPower, 1.0f);
}

struct HitCase {
    const char* name;
    bool secondary;
    void (*setup)(DeathParams&, ObjectRecord*);
    float damage;
    bool killed;
    float healthAfter; // -1000: untouched
};

class ActivateOnHitTest : public WorldTest, public ::testing::WithParamInterface<HitCase> {};

TEST_P(ActivateOnHitTest, Gates) {
    const HitCase& c = GetParam();
    ObjectRecord* h = Make(OT_MESH, {}, "target");
    Make(OT_LIGHT, {}, "switch");
    auto dp = std::make_unique<DeathParams>();
    dp->bOn = 1;
    dp->fHealth = 10;
    c.setup(*dp, h);
    if (dp->bOn) SetObjectDeathParams(h, *dp);
    g_EngineObject.m_pLastActionObject = nullptr;
    const bool killed = ActivateObjectOnHit(h, {1, 2, 3}, {4, 5, 6}, c.damage, c.secondary);
    EXPECT_EQ(killed, c.killed);
    EXPECT_EQ(h->bDying, c.killed ? 1 : 0);
    if (c.healthAfter != -1000) {
        EXPECT_FLOAT_EQ(h->fHealth, c.healthAfter);
    }
    ASSERT_FALSE(g_GameAI.Hits().empty());
    EXPECT_EQ(g_GameAI.Hits().back(), "target"); // every hit is recorded first
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ActivateOnHitTest,
    ::testing::Values(HitCase{"NoDeathParams", false, [](DeathParams& d, ObjectRecord*) { d.bOn = 0; }, 50,
                              false, 0},
                      HitCase{"PrimaryRefused", false,
                              [](DeathParams& d, ObjectRecord*) { d.bPrimaryHits = 0; }, 50, false, 10},
                      HitCase{"SecondaryRefused", true,
                              [](DeathParams& d, ObjectRecord*) { d.bSecondaryHits = 0; }, 50, false, 10},
                      HitCase{"SecondaryAccepted", true,
                              [](DeathParams& d, ObjectRecord*) { d.bPrimaryHits = 0; }, 4, false, 6},
                      HitCase{"IgnoresHits", false,
                              [](DeathParams&, ObjectRecord* h) { h->bIgnoresHits = 1; }, 50, false, 10},
                      HitCase{"RequiredVariableUnset", false,
                              [](DeathParams& d, ObjectRecord*) { std::strcpy(d.szHandleDeathIf, "armed"); },
                              50, false, 10},
                      HitCase{"RequiredVariableSet", false,
                              [](DeathParams& d, ObjectRecord*) {
                                  std::strcpy(d.szHandleDeathIf, "armed");
                                  g_GameAI.SetVariable("armed", nullptr);
                              },
                              50, true, -40},
                      HitCase{"Wounded", false, [](DeathParams&, ObjectRecord*) {}, 9.5f, false, 0.5f},
                      HitCase{"KilledAtZero", false, [](DeathParams&, ObjectRecord*) {}, 10, true, 0}),
    [](const ::testing::TestParamInfo<HitCase>& info) { return info.param.name; });

TEST_F(ObjectApiTest, HitSetsItsVariableFiresItsTargetAndKillsBelowTheThreshold) {
    ObjectRecord* h = Make(OT_MESH, {}, "window");
    ObjectRecord* alarm = Make(OT_LIGHT, {}, "alarm_light");
    ObjectRecord* victim = Make(OT_MESH, {}, "victim");
    auto dp = std::make_unique<DeathParams>();
    dp->bOn = 1;
    dp->fHealth = 100;
    std::strcpy(dp->szSetWhenHit, "window_hit");
    std::strcpy(dp->szActivateObjectOnHit, "alarm_light");
    std::strcpy(dp->szKillOtherObjectIfHpLessThanObject, "victim");
    dp->fKillOtherObjectIfHpLessThanHp = 50;
    SetObjectDeathParams(h, *dp);
    dp->fHealth = 1;
    SetObjectDeathParams(victim, *dp);

    EXPECT_FALSE(ActivateObjectOnHit(h, {}, {}, 30, false));
    EXPECT_TRUE(g_GameAI.IsSet("window_hit"));
    EXPECT_EQ(g_EngineObject.m_pLastActionObject, alarm);
    EXPECT_EQ(victim->bDying, 0); // 70 is not below 50
    EXPECT_FALSE(ActivateObjectOnHit(h, {}, {}, 30, false));
    EXPECT_EQ(victim->bDying, 1);
}

TEST_F(ObjectApiTest, FireActionFindsNoSprites) {
    Make(OT_SPRITE, {}, "flare");
    ObjectRecord* lamp = Make(OT_LIGHT, {}, "lamp");
    g_EngineObject.m_pLastActionObject = nullptr;
    g_Engine.FireAction("flare", 0);
    EXPECT_EQ(g_EngineObject.m_pLastActionObject, nullptr);
    g_Engine.FireAction("LAMP", 0);
    EXPECT_EQ(g_EngineObject.m_pLastActionObject, lamp);
    RunObjectAction(nullptr, true); // ignored
}

TEST_F(ObjectApiTest, TiesArePendingUntilAWorldIsLoaded) {
    ObjectRecord* gun = Make(OT_MESH, {}, "gun");
    ObjectRecord* crate = Make(OT_MESH, {}, "crate");
    g_Engine.TieObject(gun, true, "guard", "hand");
    EXPECT_EQ(gun->bTied, 0);
    ASSERT_NE(gun->pPendingTieObject, nullptr);
    EXPECT_STREQ(gun->pPendingTieObject, "guard");
    EXPECT_STREQ(gun->pPendingTieSocket, "hand");

    g_Engine.m_bWorldLoaded = 1;
    g_Engine.ApplyPendingTies();
    EXPECT_EQ(gun->pPendingTieObject, nullptr);
    EXPECT_EQ(gun->bTied, 1); // no such object yet: tied to none, names kept
    EXPECT_EQ(gun->pTiedTo, nullptr);
    EXPECT_STREQ(gun->szTieObject, "guard");

    // An object found without the socket is reported and not tied.
    ObjectRecord* lamp = Make(OT_LIGHT);
    MarkConsole();
    g_Engine.TieObject(lamp, true, "crate", "top");
    EXPECT_TRUE(Printed("Tie: crate nie ma socketa top"));
    EXPECT_EQ(lamp->bTied, 0);
    (void)crate;

    g_Engine.TieObject(gun, false, nullptr, nullptr);
    EXPECT_EQ(gun->bTied, 0);
}

TEST_F(ObjectApiTest, TieNamesThatDoNotFitAreRefused) {
    g_Engine.m_bWorldLoaded = 1;
    ObjectRecord* h = Make(OT_LIGHT);
    const std::string fits(60, 'o'), tooLong(61, 'o');
    struct Case {
        const std::string* object;
        const std::string* socket;
        const char* message;
        bool tied;
    } cases[] = {
        {&tooLong, &fits, "!!! 1", false},
        {&fits, &tooLong, "!!! 2", false},
        {&fits, &fits, nullptr, true},
    };
    for (const Case& c : cases) {
        h->bTied = 0;
        MarkConsole();
        g_Engine.TieObject(h, true, c.object->c_str(), c.socket->c_str());
        EXPECT_EQ(h->bTied, c.tied ? 1 : 0);
        if (c.message) {
            EXPECT_TRUE(Printed(c.message));
        }
    }
    EXPECT_EQ(std::string(h->szTieObject), fits);

    // Reading the tie back into 32-byte buffers reports and cuts long names.
    char object[32], socket[32];
    uint8_t tied = 0;
    MarkConsole();
    GetObjectTie(h, &tied, object, socket);
    EXPECT_EQ(tied, 1);
    EXPECT_EQ(std::string(object), fits.substr(0, 31));
    EXPECT_TRUE(Printed("!!! 3"));
    EXPECT_TRUE(Printed("!!! 4"));
}

TEST_F(ObjectApiTest, DeletingATargetUntiesItsObjects) {
    g_Engine.m_bWorldLoaded = 1;
    ObjectRecord* target = Make(OT_SKINMESH, {}, "guard");
    ObjectRecord* gun = Make(OT_MESH);
    gun->bTied = 1;
    gun->pTiedTo = target;
    g_Engine.DeleteObject(target);
    EXPECT_EQ(gun->bTied, 0);
    EXPECT_EQ(gun->pTiedTo, nullptr);
    EXPECT_NE(gun->dwRigidBody, 0u); // woken by a zero push
}

TEST_F(ObjectApiTest, ForcedLookHidesTheFromObjectAndGivesItsFlagsBack) {
    ObjectRecord* from = Make(OT_MESH);
    ObjectRecord* at = Make(OT_MESH);
    from->dwFlags = 0x2005;
    g_Panel.m_dwFadeState = 0;
    ForceCameraToLook(from, at);
    EXPECT_EQ(from->dwFlags, 128u);
    EXPECT_EQ(g_Engine.m_hLookFrom, from);
    EXPECT_EQ(g_Engine.m_hLookAt, at);
    EXPECT_EQ(g_Panel.m_dwFadeState, 3u);
    g_Panel.m_dwFadeState = 0;
    ForceCameraToLook(nullptr, nullptr);
    EXPECT_EQ(from->dwFlags, 0x2005u);
    EXPECT_EQ(g_Engine.m_hLookFrom, nullptr);
    EXPECT_EQ(g_Panel.m_dwFadeState, 3u); // the cut fade
}

TEST_F(ObjectApiTest, PeselReferencesInBinaryFiles) {
    ObjectRecord* h = Make(OT_MESH);
    const std::string path = (dir_ / "refs.bin").string();
    std::FILE* f = std::fopen(path.c_str(), "wb");
    FileWritePesel(f, h);
    FileWritePesel(f, nullptr);
    std::fclose(f);
    f = std::fopen(path.c_str(), "rb");
    uint8_t bytes[24];
    ASSERT_EQ(std::fread(bytes, 1, 24, f), 24u);
    EXPECT_EQ(std::memcmp(bytes, &h->Pesel, 12), 0);
    for (int i = 12; i < 24; ++i)
        EXPECT_EQ(bytes[i], 0);
    std::rewind(f);
    ObjectRecord* a = nullptr;
    ObjectRecord* b = h;
    FileReadPesel(f, &a);
    FileReadPesel(f, &b);
    std::fclose(f);
    EXPECT_EQ(a, h);
    EXPECT_EQ(b, nullptr);
}

} // namespace
