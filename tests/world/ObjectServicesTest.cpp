// The behaviour layer's services: copies, teleports on death, shooting, the
// ambient sound, camera positioning, the direction pointer, sectors and
// action voices.
#include <gtest/gtest.h>

#include <filesystem>

#include "BehaviourFixture.h"
#include "app/Options.h"
#include "render/DepthRender.h"
#include "render/Mesh.h"
#include "world/EngineObjectFlags.h"
#include "world/ObjectKeys.h"

namespace {

class ObjectServicesTest : public BehaviourTest {};

// ---- Copies ------------------------------------------------------------------------------------

TEST_F(ObjectServicesTest, OnlyMeshesAndSkinnedMeshesAreCopied) {
    for (uint32_t type : {OT_LIGHT, OT_SPRITE}) {
        ObjectRecord* h = Make(type, {}, "thing");
        ASSERT_TRUE(h) << type;
        const int before = g_Engine.NumObjects();
        EXPECT_EQ(g_EngineObject.CopyObject(h), nullptr) << type;
        EXPECT_EQ(g_Engine.NumObjects(), before) << type;
    }
    EXPECT_EQ(g_EngineObject.CopyObject(nullptr), nullptr);
}

TEST_F(ObjectServicesTest, ACopyHasItsOwnBlocksAndTheOriginalsStateButNotItsName) {
    ObjectRecord* h = Make(OT_MESH, {10, 20, 30}, "barrel");
    SetObjectFlags(h, 0x105, 0xFFFFFFFF);
    SetObjectFlags2(h, 0x44, 0xFFFFFFFF);
    SetObjectScale(h, {2, 2, 2});
    orientation o;
    o.SetYawPitchRoll(0.3f, 0.2f, 0.1f);
    SetObjectOrientation(h, o);
    h->BaseOrientation = o;
    auto a = NewAction();
    std::strcpy(a->szDefaultSet, "rolled");
    SetObjectAction(h, *a);
    auto d = NewDeath();
    d->fHealth = 40.0f;
    SetObjectDeathParams(h, *d);
    h->fHealth = 12.0f;
    RigidBodyPhysicsParams physics;
    physics.Reset();
    physics.iShape = 1;
    SetObjectRigidBodyPhysicsParams(h, physics);
    BlinkingBlock blink;
    blink.bOn = 1;
    SetObjectExtraBlock(h, &blink);
    SetObjectSound(h, "sounds\\machine_hum.wav", 300.0f, "power");
    h->bInMotion = 1;
    h->bAtDestination = 1;
    h->fRun1264[ObjectRecord::RUN_PROGRESS] = 7.0f;
    h->iRespawnCount = 2;
    h->fDeathCountdown = 3.0f;
    h->bShooting = 1;
    h->dwShotsToFire = 9;

    ObjectRecord* c = g_EngineObject.CopyObject(h);
    ASSERT_TRUE(c);
    EXPECT_NE(c, h);
    EXPECT_STREQ(c->szName, "");
    EXPECT_STREQ(c->szFileName, h->szFileName);
    EXPECT_EQ(c->dwFlags, 0x105u);
    EXPECT_EQ(c->dwFlags2, 0x44u);
    EXPECT_EQ(c->vPosition, h->vPosition);
    EXPECT_EQ(c->vScale, math::Vec3(2, 2, 2));
    EXPECT_FLOAT_EQ(c->Orientation.quaternion.x, o.quaternion.x);
    EXPECT_FLOAT_EQ(c->BaseOrientation.quaternion.z, o.quaternion.z);
    ASSERT_TRUE(c->pAction);
    EXPECT_NE(c->pAction, h->pAction);
    EXPECT_STREQ(c->pAction->szDefaultSet, "rolled");
    ASSERT_TRUE(c->pDeathParams);
    EXPECT_NE(c->pDeathParams, h->pDeathParams);
    EXPECT_FLOAT_EQ(c->fHealth, 12.0f);
    RigidBodyPhysicsParams copied;
    GetObjectRigidBodyPhysicsParams(c, &copied);
    EXPECT_EQ(copied.iShape, 0); // physics off on the copy
    ASSERT_TRUE(c->pBlinking);
    EXPECT_NE(c->pBlinking, h->pBlinking);
    ASSERT_TRUE(c->pSound);
    EXPECT_STREQ(c->pSound->szCondition, "power");
    EXPECT_TRUE(c->bInMotion);
    EXPECT_TRUE(c->bAtDestination);
    EXPECT_EQ(c->fRun1264[ObjectRecord::RUN_PROGRESS], 7.0f);
    EXPECT_EQ(c->iRespawnCount, 2);
    EXPECT_EQ(c->fDeathCountdown, 3.0f);
    EXPECT_TRUE(c->bShooting);
    EXPECT_EQ(c->dwShotsToFire, 9u);

    // Changing the copy's block leaves the original's alone.
    c->pAction->szDefaultSet[0] = 0;
    EXPECT_STREQ(h->pAction->szDefaultSet, "rolled");
}

TEST_F(ObjectServicesTest, ASkinnedMeshIsCopiedToo) {
    ObjectRecord* h = Make(OT_SKINMESH, {1, 2, 3}, "soldier");
    ObjectRecord* c = g_EngineObject.CopyObject(h);
    ASSERT_TRUE(c);
    EXPECT_EQ(c->dwType, uint32_t(OT_SKINMESH));
    EXPECT_EQ(c->vPosition, math::Vec3(1, 2, 3));
}

TEST_F(ObjectServicesTest, AFailedCopyIsReported) {
    ObjectRecord* h = Make(OT_MESH, {}, "barrel");
    std::filesystem::remove(dir_ / "models" / "box.x");
    g_MeshMgr.ReleaseAll();
    MarkConsole();
    EXPECT_EQ(g_EngineObject.CopyObject(h), nullptr);
    EXPECT_TRUE(Printed("Copy creation of barrel FAILED"));
}

// ---- Teleports on death --------------------------------------------------------------------------

struct TeleportCase {
    const char* name;
    bool copy;
};

class TeleportOnDeathTest : public ObjectServicesTest, public ::testing::WithParamInterface<TeleportCase> {};

TEST_P(TeleportOnDeathTest, EveryNamedObjectComesHereAndAMissingOneIsReported) {
    const TeleportCase& c = GetParam();
    Debug = 1;
    ObjectRecord* dying = Make(OT_MESH, {300, 0, 0}, "pinata");
    orientation turned;
    turned.SetYawPitchRoll(1.2f, 0.0f, 0.0f);
    SetObjectOrientation(dying, turned);
    auto dp = NewDeath();
    dp->bTeleportObjectsHereUse = 1;
    dp->bTeleportObjectsHereCopy = c.copy ? 1 : 0;
    std::strcpy(dp->szTeleportObjectsHere[0], "sweet_a");
    std::strcpy(dp->szTeleportObjectsHere[1], "sweet_b");
    std::strcpy(dp->szTeleportObjectsHere[2], "sweet_missing");
    std::strcpy(dp->szTeleportObjectsHere[4], "sweet_c"); // after a gap
    SetObjectDeathParams(dying, *dp);
    ObjectRecord* sweets[3] = {Make(OT_MESH, {-100, 0, 0}, "sweet_a"), Make(OT_MESH, {-200, 0, 0}, "sweet_b"),
                               Make(OT_MESH, {-300, 0, 0}, "sweet_c")};
    for (ObjectRecord* s : sweets)
        s->fState32 = 4.0f;
    const int before = g_Engine.NumObjects();
    MarkConsole();
    g_EngineObject.HandleDeath(dying, nullptr, nullptr);
    EXPECT_TRUE(Printed("TeleportObjectHereOnDeath from pinata can't find sweet_missing"));
    if (c.copy) {
        EXPECT_EQ(g_Engine.NumObjects(), before + 3);
        for (ObjectRecord* s : sweets)
            EXPECT_NE(s->vPosition, dying->vPosition); // the originals stay
        int here = 0;
        for (int slot = 0; slot < EEngine::SEARCH_END; ++slot) {
            ObjectRecord* o = g_Engine.Object(slot);
            if (!o->bUsed || o == dying || o->vPosition != dying->vPosition) continue;
            ++here;
            EXPECT_FLOAT_EQ(o->Orientation.quaternion.y, turned.quaternion.y);
            EXPECT_EQ(o->fState32, 0.0f);
            EXPECT_FALSE(o->bLightingSampled);
        }
        EXPECT_EQ(here, 3);
    } else {
        EXPECT_EQ(g_Engine.NumObjects(), before);
        for (ObjectRecord* s : sweets) {
            EXPECT_EQ(s->vPosition, dying->vPosition);
            EXPECT_EQ(s->fState32, 0.0f);
            EXPECT_NE(s->Orientation.quaternion.y, turned.quaternion.y); // its own orientation kept
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, TeleportOnDeathTest,
                         ::testing::Values(TeleportCase{"Moved", false}, TeleportCase{"Copied", true}),
                         [](const ::testing::TestParamInfo<TeleportCase>& info) { return info.param.name; });

// ---- Shooting ------------------------------------------------------------------------------------------

TEST_F(ObjectServicesTest, AShootingObjectFiresItsShotsOnePerIntervalThenStops) {
    ItemDescription rifle;
    std::strcpy(rifle.szName, "ColtM4");
    rifle.fFireInterval = 0.5f;
    g_ItemMgr.m_Descriptions.push_back(rifle);
    ObjectRecord* turret = Make(OT_LIGHT, {5000, 0, 0}, "turret");
    Make(OT_LIGHT, {5000, 0, 500}, "target");
    auto a = NewAction();
    a->dwShootGeneral1 = 1;
    std::strcpy(a->szShootTarget, "target");
    a->iShootGeneral2 = 3;
    a->iShootGeneral3 = 0;
    SetObjectAction(turret, *a);
    g_WeaponMgr.m_dwBulletsFired = 0;
    g_EngineObject.RunAction(turret, false);
    ASSERT_TRUE(turret->bShooting);
    EXPECT_EQ(turret->dwShotsToFire, 3u);

    const uint32_t expected[] = {1, 1, 2, 2, 3, 3, 3, 3};
    for (uint32_t shots : expected) {
        Frame(0.25f);
        EXPECT_EQ(g_WeaponMgr.m_dwBulletsFired, shots);
    }
    EXPECT_FALSE(turret->bShooting);
    EXPECT_EQ(g_WeaponMgr.m_hLastShooter, turret);
}

TEST_F(ObjectServicesTest, ShootingWithoutAWeaponOrATargetIsReported) {
    ObjectRecord* turret = Make(OT_LIGHT, {}, "turret");
    auto a = NewAction();
    a->dwShootGeneral1 = 1;
    std::strcpy(a->szShootTarget, "nobody");
    SetObjectAction(turret, *a);
    MarkConsole();
    g_EngineObject.RunAction(turret, false);
    EXPECT_FALSE(turret->bShooting);
    EXPECT_TRUE(Printed("turret nie moze znalezc broni ColtM4"));
    EXPECT_TRUE(Printed("turret nie moze znalezc targetu nobody"));
}

// ---- Ambient sound
// -----------------------------------------------------------------------------------------

TEST_F(ObjectServicesTest, TheAmbientVolumeIsCappedAndTheSameNameOnlyChangesIt) {
    g_EngineObject.SetAmbientSound("sounds\\ambient_wind.wav", 1.0f);
    EXPECT_FLOAT_EQ(g_EngineObject.m_fAmbientTargetVolume, 0.7f);
    EXPECT_STREQ(g_EngineObject.m_szNextAmbientSound, "sounds\\ambient_wind.wav");
    std::strcpy(g_EngineObject.m_szAmbientSound, "SOUNDS\\AMBIENT_WIND.WAV");
    g_EngineObject.m_szNextAmbientSound[0] = 0;
    g_EngineObject.SetAmbientSound("sounds\\ambient_wind.wav", 0.3f);
    EXPECT_FLOAT_EQ(g_EngineObject.m_fAmbientTargetVolume, 0.3f);
    EXPECT_STREQ(g_EngineObject.m_szNextAmbientSound, "");
    g_EngineObject.SetAmbientSound(nullptr, 0.1f); // nothing
    EXPECT_FLOAT_EQ(g_EngineObject.m_fAmbientTargetVolume, 0.3f);
}

TEST_F(ObjectServicesTest, ANextAmbientSoundBecomesCurrentOnlyWhenItsFileExists) {
    g_EngineObject.SetAmbientSound("sounds\\missing.wav", 0.5f);
    Frame(0.1f);
    EXPECT_STREQ(g_EngineObject.m_szNextAmbientSound, "");
    EXPECT_STREQ(g_EngineObject.m_szAmbientSound, "");

    std::filesystem::create_directories(dir_ / "sounds");
    std::filesystem::copy_file(std::filesystem::path(ZT_SOURCE_DIR) / "data" / "sounds" / "ambient_wind.wav",
                               dir_ / "sounds" / "ambient_wind.wav");
    g_EngineObject.SetAmbientSound("sounds\\ambient_wind.wav", 0.5f);
    Frame(0.1f);
    EXPECT_STREQ(g_EngineObject.m_szAmbientSound, "sounds\\ambient_wind.wav");
    EXPECT_FLOAT_EQ(g_EngineObject.m_fAmbientVolume, 0.0f);
}

// ---- Camera positioning --------------------------------------------------------------------------------

TEST_F(ObjectServicesTest, CameraPositioningMovesFieldOfViewAndBlendToTheirTargets) {
    const float fov = FOV;
    ObjectRecord* h = Make(OT_LIGHT, {}, "lookout");
    auto a = NewAction();
    a->CameraPositioning.bOn = 1;
    a->CameraPositioning.fFovTarget = 0.5f;
    a->CameraPositioning.fFovSpeed = 0.2f;
    a->CameraPositioning.fBlendTarget = 1.0f;
    a->CameraPositioning.fBlendSpeed = 0.0f; // jumps
    a->CameraPositioning.bBlur = 1;
    SetObjectAction(h, *a);
    g_Panel.m_fBlur = 0.0f;
    CurrentFOV = 0.9f;
    g_EngineObject.RunAction(h, false);
    EXPECT_TRUE(g_EngineObject.m_bCameraPositioning);
    EXPECT_FLOAT_EQ(CurrentFOV, FOV); // starts from the base
    EXPECT_FLOAT_EQ(g_Panel.m_fBlur, 1.0f);
    Frame(1.0f);
    EXPECT_FLOAT_EQ(g_EngineObject.m_fCameraBlend, 1.0f);
    EXPECT_FLOAT_EQ(CurrentFOV, fov - 0.2f);
    Frames(20, 1.0f);
    EXPECT_EQ(CurrentFOV, 0.5f);
    CurrentFOV = FOV;
}

// ---- Direction pointer ---------------------------------------------------------------------------------

TEST_F(ObjectServicesTest, TheDirectionPointerTargetsAnExistingObjectOnly) {
    ObjectRecord* exit = Make(OT_LIGHT, {}, "exit");
    const uint32_t highlights = g_Panel.m_dwWaypointHighlights;
    g_EngineObject.SetDirectionPointer("exit");
    EXPECT_EQ(g_EngineObject.m_hDirectionPointer, exit);
    EXPECT_STREQ(g_EngineObject.m_szDirectionPointer, "exit");
    EXPECT_EQ(g_Panel.m_dwWaypointHighlights, highlights + 1);
    g_EngineObject.SetDirectionPointer("nowhere");
    EXPECT_EQ(g_EngineObject.m_hDirectionPointer, nullptr);
    EXPECT_STREQ(g_EngineObject.m_szDirectionPointer, "");
}

// ---- Sectors
// -----------------------------------------------------------------------------------------------

TEST_F(ObjectServicesTest, SectorsHideShowAndDeleteTheirObjects) {
    ObjectRecord* a = Make(OT_MESH, {}, "a");
    ObjectRecord* b = Make(OT_MESH, {}, "b");
    ObjectRecord* lamp = Make(OT_LIGHT, {}, "lamp");
    a->iSector = 3;
    b->iSector = 4;
    lamp->iSector = 3;
    lamp->dwFlags |= objflags::kFlagCubeShadow;
    g_DepthRender.Init(); // the world's slot count
    g_DepthRender.AssignCubeSlot(lamp);
    ASSERT_TRUE(lamp->bHasCubeShadow);

    int32_t hide[ObjectAction::NUM_SECTORS] = {};
    hide[7] = 3;
    g_EngineObject.HideSectors(hide);
    EXPECT_TRUE(a->bHiddenBySector);
    EXPECT_FALSE(b->bHiddenBySector);
    EXPECT_FALSE(lamp->bHasCubeShadow); // a hidden light gives its slot back
    g_EngineObject.m_bSectorVisibilityChanged = false;
    g_EngineObject.ShowSectors(hide);
    EXPECT_FALSE(a->bHiddenBySector);
    EXPECT_TRUE(g_EngineObject.m_bSectorVisibilityChanged);

    SetSectorHidden(0, true); // sector 0 is no sector
    g_EngineObject.DeleteSector(0);
    EXPECT_TRUE(a->bUsed);
    g_EngineObject.DeleteSector(3);
    EXPECT_FALSE(a->bUsed);
    EXPECT_FALSE(lamp->bUsed);
    EXPECT_TRUE(b->bUsed);
}

TEST_F(ObjectServicesTest, HiddenObjectsAreLeftOutOfThePasses) {
    ObjectRecord* h = Make(OT_LIGHT, {}, "bomb");
    SetObjectDeathParams(h, *NewDeath());
    h->fDeathCountdown = 0.01f;
    h->iSector = 5;
    SetSectorHidden(5, true);
    Frame(0.1f);
    EXPECT_FALSE(h->bDying);
    SetSectorHidden(5, false);
    Frame(0.1f);
    EXPECT_TRUE(h->bDying);
}

// ---- Voices
// ---------------------------------------------------------------------------------------------------

struct VoiceCase {
    const char* name;
    int field; // 0 hero0, 1 hero1, 2 other, 3 enemy
    bool heroVoice;
};

class ActionVoiceTest : public ObjectServicesTest, public ::testing::WithParamInterface<VoiceCase> {};

TEST_P(ActionVoiceTest, TheFirstFilledFieldSpeaks) {
    const VoiceCase& c = GetParam();
    std::filesystem::create_directories(dir_ / "voices" / "Dialogues");
    std::filesystem::copy_file(std::filesystem::path(ZT_SOURCE_DIR) / "data" / "sounds" / "menu_click.wav",
                               dir_ / "voices" / "Dialogues" / "line_7.wav");
    ObjectRecord* h = Make(OT_LIGHT, {}, "speaker");
    auto a = NewAction();
    char* fields[4] = {a->szVoiceHawke, a->szVoiceFletch, a->szVoiceOther, a->szVoiceEnemy};
    std::strcpy(fields[c.field], "line_7");
    for (int i = c.field + 1; i < 4; ++i)
        std::strcpy(fields[i], "never_said");
    SetObjectAction(h, *a);
    g_PostacMgr.m_szLastVoice[0] = 0;
    g_Panel.m_Messages.clear();
    MarkConsole();
    g_EngineObject.RunAction(h, false);
    EXPECT_FALSE(Printed("nie istnieje!"));
    EXPECT_EQ(g_Panel.m_Messages.size(), 1u);
    EXPECT_STREQ(g_PostacMgr.m_szLastVoice, c.heroVoice ? "voices\\Dialogues\\line_7.wav" : "");
}

INSTANTIATE_TEST_SUITE_P(Cases, ActionVoiceTest,
                         ::testing::Values(VoiceCase{"Hero0", 0, true}, VoiceCase{"Hero1", 1, true},
                                           VoiceCase{"Other", 2, false}, VoiceCase{"Enemy", 3, false}),
                         [](const ::testing::TestParamInfo<VoiceCase>& info) { return info.param.name; });

TEST_F(ObjectServicesTest, AVoiceWithoutAFileOrAFieldIsReported) {
    ObjectRecord* h = Make(OT_LIGHT, {}, "speaker");
    auto a = NewAction();
    std::strcpy(a->szVoiceOther, "unrecorded");
    SetObjectAction(h, *a);
    MarkConsole();
    g_EngineObject.RunAction(h, false);
    EXPECT_TRUE(Printed("voices\\Dialogues\\unrecorded.wav nie istnieje!"));

    ObjectRecord* mute = Make(OT_LIGHT, {}, "mute");
    SetObjectAction(mute, *NewAction());
    g_EngineObject.PlayActionVoice(mute);
    EXPECT_TRUE(Printed("Nie ma klucza"));
    EXPECT_TRUE(Printed("Nie ma path"));
}

} // namespace
