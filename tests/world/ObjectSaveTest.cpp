#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "physics/IntersectSegment.h"
#include "physics/RigidBodySimulation.h"
#include "render/Mesh.h"
#include "render/SpriteMgr.h"
#include "skinmesh/SkinMesh.h"
#include "tests/world/WorldFixture.h"
#include "world/BezierMgr.h"
#include "world/DeathParams.h"
#include "world/ObjectAction.h"
#include "world/ObjectKeys.h"

namespace {

// The objects a world file would make, each with the PESEL the file gives it.
struct Planned {
    uint32_t type;
    const char* file;
    const char* name;
    PESEL pesel;
    math::Vec3 position;
};

const Planned kWorld[] = {
    {OT_MESH, "models\\plane.x", "crate", {11, 1, 0}, {100, 0, 0}},
    {OT_MESH, "models\\box.x", "door", {12, 2, 1}, {200, 0, 0}},
    {OT_SKINMESH, "chars\\hero.x", "guard", {13, 3, 3400}, {300, 0, 0}},
    {OT_LIGHT, "", "lamp", {14, 4, 3800}, {400, 0, 0}},
    {OT_SPRITE, "textures\\flare.tga", "flare", {15, 5, 3900}, {500, 0, 0}},
};

class ObjectSaveTest : public WorldTest {
  protected:
    // Loads the "world file": every planned object, except those left out.
    static void LoadWorld(std::initializer_list<const char*> leaveOut = {}) {
        g_Engine.DeleteWorldObjects(true);
        for (const Planned& p : kWorld) {
            bool skip = false;
            for (const char* name : leaveOut)
                skip |= std::strcmp(name, p.name) == 0;
            if (skip) continue;
            AddObjectParams params;
            params.dwType = p.type;
            std::snprintf(params.szFileName, sizeof params.szFileName, "%s", p.file);
            params.vPosition = p.position;
            ObjectRecord* h = g_Engine.AddObject(params);
            ASSERT_NE(h, nullptr) << p.name;
            SetObjectName(h, p.name);
            h->Pesel = p.pesel;
            h->bWorldObject = 1;
        }
    }

    std::string SavePath() const { return (dir_ / "objects.sav").string(); }

    void SaveWorld() {
        std::FILE* f = std::fopen(SavePath().c_str(), "wb");
        ASSERT_NE(f, nullptr);
        g_Engine.Save(f);
        std::fclose(f);
    }

    void LoadSave() {
        std::FILE* f = std::fopen(SavePath().c_str(), "rb");
        ASSERT_NE(f, nullptr);
        g_Engine.Load(f);
        std::fclose(f);
    }

    std::vector<uint8_t> SaveBytes() const {
        std::vector<uint8_t> bytes(std::filesystem::file_size(SavePath()));
        std::FILE* f = std::fopen(SavePath().c_str(), "rb");
        EXPECT_EQ(std::fread(bytes.data(), 1, bytes.size(), f), bytes.size());
        std::fclose(f);
        return bytes;
    }

    static std::vector<uint8_t> Image(ObjectRecord* h) {
        std::vector<uint8_t> image(ObjectRecord::IMAGE_SIZE);
        WriteObjectImage(*h, image.data());
        return image;
    }

    static int CountUsed() {
        int n = 0;
        for (int i = 0; i < EEngine::MAX_OBJECTS; ++i)
            n += g_Engine.Object(i)->bUsed;
        return n;
    }
};

// Every field that the load brings back, as offset and width.
struct Span {
    size_t offset, width;
};
const Span kRestored[] = {
    // bytes
    {8, 1},
    {9, 1},
    {10, 1},
    {40, 1},
    {43, 1},
    {60, 1},
    {69, 1},
    {327, 1},
    {329, 1},
    {330, 1},
    {1108, 1},
    {1236, 1},
    {1237, 1},
    {1248, 1},
    {1249, 1},
    {1250, 1},
    {1292, 1},
    {1308, 1},
    {6088, 1},
    {6228, 1},
    {6252, 1},
    {6253, 1},
    {6254, 1},
    {6268, 1},
    {6269, 1},
    {6280, 1},
    {6736, 1},
    // words
    {44, 4},
    {56, 4},
    {1084, 4},
    {1088, 4},
    {1112, 4},
    {1116, 4},
    {1120, 4},
    {1252, 4},
    {1256, 4},
    {1260, 4},
    {1300, 4},
    {1316, 4},
    {1320, 4},
    {1348, 4},
    {6232, 4},
    {6236, 4},
    {6240, 4},
    {6256, 4},
    {6284, 4},
    {6288, 4},
    {6292, 4},
    {5760, 4},
    {5764, 4},
    {5768, 4},
    // floats
    {16, 4},
    {20, 4},
    {24, 4},
    {1240, 4},
    {1244, 4},
    {1264, 28},
    {1296, 4},
    {1304, 4},
    {1312, 4},
    {1364, 4},
    {1376, 4},
    {1380, 4},
    {1384, 4},
    {5796, 60},
    {6244, 4},
    {6248, 4},
    {6260, 4},
    {6264, 4},
    {6272, 4},
    {6276, 4},
    {6744, 24},
    // the subset bytes, name, file name, both orientations, the Bezier records
    {70, 256},
    {1144, 64},
    {5622, 128},
    {5972, 116},
    {6296, 160},
};

// Distinct values in every restored field (and in a few that are not).
void Scramble(ObjectRecord* h, int seed) {
    const uint8_t b = uint8_t(seed * 16 + 1);
    for (uint8_t* p : {&h->bVertexColor, &h->bIsItTree,        &h->bIsItWire,
                       &h->bState40,     &h->bState43,         &h->bState60,
                       &h->bState69,     &h->bRedPoint,        &h->bGreenPoint,
                       &h->bState1108,   &h->bPassOnPending,   &h->bCameraPositioning,
                       &h->bInMotion,    &h->bAtDestination,   &h->bHasRun,
                       &h->bRun1292,     &h->bRun1308,         &h->bBaseOrientationGiven,
                       &h->bDeath6228,   &h->bDeath6252,       &h->bDeath6253,
                       &h->bDeath6254,   &h->bExplosionKilled, &h->bIgnoresHits,
                       &h->bDeath6280,   &h->bLandMine})
        *p = b;
    h->bIsType2 = b;
    uint32_t w = uint32_t(seed) * 1000 + 7;
    for (uint32_t* p :
         {&h->dwState, &h->dwState1112, &h->dwState1116, &h->dwState1120, &h->dwRun1252, &h->dwRun1256,
          &h->dwRun1260, &h->dwRun1300, &h->dwRun1316, &h->dwRun1320, &h->dwDeath6232, &h->dwDeath6236,
          &h->dwDeath6240, &h->dwDeath6284, &h->dwDeath6288, &h->dwDeath6292})
        *p = w++;
    h->iSector = seed + 2;
    h->iAmbientLightIdx = 1;
    h->iFogIdx = 2;
    h->iRange = 300 + seed;
    h->iDisappearRange = 5000 + seed;
    SetObjectFlags(h, 0x00A1u + uint32_t(seed), 0xFFFFFFFF);
    SetObjectFlags2(h, 0x1000u + uint32_t(seed), 0xFFFFFFFF);
    h->dwKindFlags = 0x20u + uint32_t(seed);
    float f = float(seed) + 0.5f;
    for (float* p :
         {&h->fState16, &h->fState20, &h->fState24, &h->fTimeSinceFired, &h->fPassOnTimer, &h->fRun1296,
          &h->fRun1304, &h->fRun1312, &h->fLight1364, &h->fLightR, &h->fLightG, &h->fLightB, &h->fDeath6244,
          &h->fDeath6248, &h->fHealth, &h->fDeathCountdown, &h->fDeath6272, &h->fDeath6276})
        *p = f += 1.25f;
    for (float& r : h->fRun1264)
        r = f += 1.5f;
    for (float& s : h->fState6744)
        s = f += 2.0f;
    h->vStartPosition = {f, f + 1, f + 2};
    h->vPosition = {f + 3, f + 4, f + 5};
    h->vState5832 = {f + 6, 0, 0};
    h->vState5844 = {0, 0, f + 7};
    for (int i = 0; i < 256; ++i)
        h->bSubsetDraw[i] = uint8_t(i ^ seed);
    h->BaseOrientation.SetYawPitchRoll(0.1f * float(seed + 1), 0.2f, 0.3f);
    h->Bezier.bActive = 1;
    std::snprintf(h->Bezier.szStartNode, sizeof h->Bezier.szStartNode, "path_%d", seed);
    h->Bezier.dwLapLimit = uint32_t(seed + 1);
    h->Bezier.dFirstLapPause = 1.5 * seed;
    h->fLightPower = 7.0f + float(seed);
    h->fLightBasePower = 1.0f;
    // Not restored: these keep what the fresh world gave.
    h->fTimeSinceRun = 99;
    h->iCameraDistance = 4321;
    // Set to fixed values by the load.
    h->fState32 = 5;
    h->bLightSetValid = 1;
    h->bCubeMapRendered = 1;
    h->bAmbientProbed = 1;
    h->bState49 = 1;
}

TEST_F(ObjectSaveTest, SaveThenLoadIntoAFreshWorldRestoresEveryListedField) {
    LoadWorld();
    std::vector<std::vector<uint8_t>> before;
    int seed = 0;
    for (const Planned& p : kWorld) {
        ObjectRecord* h = g_Engine.FindObjectByPesel(p.pesel);
        if (p.type == OT_SPRITE) h = g_Engine.Object(3900);
        Scramble(h, ++seed);
        before.push_back(Image(h));
    }
    SaveWorld();
    LoadWorld();
    LoadSave();

    EXPECT_EQ(CountUsed(), 5);
    for (size_t i = 0; i < std::size(kWorld); ++i) {
        const Planned& p = kWorld[i];
        SCOPED_TRACE(p.name);
        ObjectRecord* h = p.type == OT_SPRITE ? g_Engine.Object(3901) : g_Engine.FindObjectByPesel(p.pesel);
        ASSERT_NE(h, nullptr);
        ASSERT_EQ(h->bUsed, 1);
        EXPECT_EQ(h->bMatched, 1);
        const std::vector<uint8_t> after = Image(h);
        for (const Span& s : kRestored) {
            if (p.type != OT_LIGHT && s.offset == 1348) continue; // a mesh's range follows its mesh's scale
            EXPECT_TRUE(std::equal(before[i].begin() + long(s.offset),
                                   before[i].begin() + long(s.offset + s.width),
                                   after.begin() + long(s.offset)))
                << "offset " << s.offset;
        }
        EXPECT_FLOAT_EQ(h->fLightPower, 7.0f + float(i + 1));
        EXPECT_FLOAT_EQ(h->fLightBasePower, h->fLightPower); // both take the first
        EXPECT_FLOAT_EQ(h->fState32, 0);
        EXPECT_EQ(h->bLightSetValid, 0);
        EXPECT_EQ(h->bCubeMapRendered, 0);
        EXPECT_EQ(h->bAmbientProbed, 0);
        EXPECT_EQ(h->bState49, 0);
        EXPECT_EQ(h->dw6740, 256u);
        EXPECT_NE(h->fTimeSinceRun, 99);
        EXPECT_NE(h->iCameraDistance, 4321);
        EXPECT_EQ(h->bVisible, (h->dwFlags & 1) ? 1 : 0);
        if (p.type == OT_SPRITE) {
            EXPECT_EQ(h->pSprite->dwFlags2, h->dwFlags2);
            EXPECT_EQ(h->pSprite->vPosition, h->vPosition);
        }
    }
    ObjectRecord* crate = g_Engine.FindObjectByName("crate");
    math::Matrix world;
    crate->Mesh()->GetWorldMatrix(&world);
    EXPECT_FLOAT_EQ(world.m[3][0], crate->vPosition.x); // the mesh follows the restored position
    EXPECT_EQ(g_Engine.FindObjectByName("guard")->SkinMesh()->GetPosition(),
              g_Engine.FindObjectByName("guard")->vPosition);
}

TEST_F(ObjectSaveTest, OptionalBlocksComeBackWithTheirObjects) {
    LoadWorld();
    ObjectRecord* crate = g_Engine.FindObjectByName("crate");
    ObjectRecord* lamp = g_Engine.FindObjectByName("lamp");
    ObjectRecord* guard = g_Engine.FindObjectByName("guard");
    auto action = std::make_unique<ObjectAction>();
    action->dwGeneralOpt1 = 1;
    std::strcpy(action->szDestSet, "crate_opened");
    SetObjectAction(crate, *action);
    auto death = std::make_unique<DeathParams>();
    death->bOn = 1;
    death->fHealth = 25;
    std::strcpy(death->szFXOnDeath, "e_boom");
    SetObjectDeathParams(crate, *death);
    SetObjectSound(crate, "sounds\\hum.wav", 640, "power");
    SetObjectFxName(crate, "e_smoke");
    LightControlList list;
    list.bOn = 1;
    std::strcpy(list.szNames[0], "lamp");
    SetObjectNameList(crate, list);
    RigidBodyPhysicsParams params;
    params.Reset();
    params.fMass = 77;
    SetObjectRigidBodyPhysicsParams(crate, params);
    BlinkingBlock blink;
    blink.bOn = 1;
    blink.fValues[0] = 0.75f;
    SetObjectExtraBlock(lamp, &blink);
    SetObjectAnimation(guard, "patrol", true, 0, 1);
    SaveWorld();

    LoadWorld();
    LoadSave();
    crate = g_Engine.FindObjectByName("crate");
    lamp = g_Engine.FindObjectByName("lamp");
    guard = g_Engine.FindObjectByName("guard");
    ASSERT_NE(crate->pAction, nullptr);
    EXPECT_STREQ(crate->pAction->szDestSet, "crate_opened");
    ASSERT_NE(crate->pDeathParams, nullptr);
    EXPECT_STREQ(crate->pDeathParams->szFXOnDeath, "e_boom");
    EXPECT_FLOAT_EQ(crate->fHealth, 25);
    ASSERT_NE(crate->pSound, nullptr);
    EXPECT_STREQ(crate->pSound->szCondition, "power");
    EXPECT_FLOAT_EQ(crate->pSound->fRange, 640);
    ASSERT_NE(crate->pFxName, nullptr);
    EXPECT_STREQ(crate->pFxName, "e_smoke");
    ASSERT_NE(crate->pLightControl, nullptr);
    EXPECT_STREQ(crate->pLightControl->szNames[0], "lamp");
    RigidBodyPhysicsParams back;
    back.Reset();
    GetObjectRigidBodyPhysicsParams(crate, &back);
    EXPECT_FLOAT_EQ(back.fMass, 77);
    ASSERT_NE(lamp->pBlinking, nullptr);
    EXPECT_EQ(lamp->pBlinking->bOn, 1);
    EXPECT_FLOAT_EQ(lamp->pBlinking->fValues[0], 0.75f);
    EXPECT_STREQ(guard->szAnimation, "patrol");
    EXPECT_STREQ(guard->SkinMesh()->m_szAnimation, "patrol");

    // Blocks the save does not hold are dropped (blinking, sound, FX), while a
    // missing action or death block leaves the world file's one in place.
    LoadWorld();
    SaveWorld();
    LoadWorld();
    crate = g_Engine.FindObjectByName("crate");
    lamp = g_Engine.FindObjectByName("lamp");
    SetObjectAction(crate, *action);
    SetObjectSound(crate, "sounds\\hum.wav", 640, "");
    SetObjectExtraBlock(lamp, &blink);
    LoadSave();
    EXPECT_NE(crate->pAction, nullptr);
    EXPECT_EQ(crate->pSound, nullptr);
    EXPECT_EQ(lamp->pBlinking, nullptr);
}

TEST_F(ObjectSaveTest, TheBlockHasTheEntryLayoutAndEndMark) {
    g_Engine.DeleteWorldObjects(true);
    ObjectRecord* lamp = Make(OT_LIGHT, {1, 2, 3}, "lamp");
    lamp->bWorldObject = 1;
    ObjectRecord* crate = Make(OT_MESH, {}, "crate");
    crate->bWorldObject = 1;
    Make(OT_MESH, {}, "runtime"); // not a world object: not saved
    SaveWorld();
    const std::vector<uint8_t> bytes = SaveBytes();
    const size_t entryHead = 1 + 6784 + 4 + 116 + 12;
    const size_t mesh = entryHead + 5 + 2384 + 4 + 1 + 1;
    const size_t light = entryHead + 5 + 1;
    ASSERT_EQ(bytes.size(), mesh + light + 1 + 4);
    EXPECT_EQ(bytes[0], 1);
    // The mesh (slot 0) comes first; its image, then node -1.
    const std::vector<uint8_t> image = Image(crate);
    for (size_t i = 0; i < 6784; ++i) {
        if (i == 6224) continue;
        ASSERT_EQ(bytes[1 + i], image[i]) << i;
    }
    EXPECT_EQ(bytes[1 + 6224], 1); // the owned-object word marks the mesh
    const uint8_t minusOne[4] = {0xFF, 0xFF, 0xFF, 0xFF};
    EXPECT_EQ(std::memcmp(&bytes[1 + 6784], minusOne, 4), 0);
    // Five absent blocks, the 2384 settings, a rigid-body block of the one
    // byte 0 (no body), no light control.
    for (size_t i = entryHead; i < entryHead + 5; ++i)
        EXPECT_EQ(bytes[i], 0);
    const uint8_t noBody[5] = {1, 0, 0, 0, 0};
    EXPECT_EQ(std::memcmp(&bytes[entryHead + 5 + 2384], noBody, 5), 0);
    EXPECT_EQ(bytes[entryHead + 5 + 2384 + 5], 0);
    EXPECT_EQ(bytes[mesh], 1); // the lamp's entry
    EXPECT_EQ(bytes[mesh + 1 + 6224], 0);
    const uint8_t end[5] = {0, 0, 0, 0, 0};
    EXPECT_EQ(std::memcmp(&bytes[bytes.size() - 5], end, 5), 0);
}

TEST_F(ObjectSaveTest, MissingObjectsAreMadeAgainWithTheirPeselAndExtraOnesDeleted) {
    LoadWorld();
    ObjectRecord* runtime = Make(OT_MESH, {}, "runtime"); // no world object
    SaveWorld();

    LoadWorld({"door"});
    runtime = Make(OT_MESH, {}, "runtime");
    ObjectRecord* extra = Make(OT_LIGHT, {}, "extra");
    extra->bWorldObject = 1;
    const int spriteSlotBefore = 3900;
    MarkConsole();
    LoadSave();
    ObjectRecord* door = g_Engine.FindObjectByName("door");
    ASSERT_NE(door, nullptr);
    EXPECT_EQ(door->Pesel, (PESEL{12, 2, 1}));
    EXPECT_EQ(door->bWorldObject, 1);
    EXPECT_NE(door->Mesh(), nullptr);
    EXPECT_EQ(extra->bUsed, 0);   // absent from the save
    EXPECT_EQ(runtime->bUsed, 1); // not a world object: untouched
    // Sprites are never found by PESEL: the saved one is made again and the
    // world's own is deleted.
    EXPECT_EQ(g_Engine.Object(spriteSlotBefore)->bUsed, 0);
    EXPECT_EQ(g_Engine.Object(3901)->bUsed, 1);
    EXPECT_STREQ(g_Engine.Object(3901)->szName, "flare");
    EXPECT_FALSE(Printed("Juz jest obiekt PESEL!"));

    // A second load of the same save finds the made-again door by its PESEL.
    const int used = CountUsed();
    LoadSave();
    EXPECT_EQ(CountUsed(), used);
    EXPECT_EQ(g_Engine.FindObjectByName("door"), door);
    EXPECT_EQ(door->bUsed, 1);

    // The load ends by rebuilding the segment tables from the object table:
    // every mesh in use is in the intersect table once, the guard in the
    // skinned-mesh table, and a shot meets the made-again door.
    int meshes = 0, registered = 0;
    for (int slot = 0; slot < EEngine::MAX_OBJECTS; ++slot)
        meshes += g_Engine.Object(slot)->bUsed && g_Engine.Object(slot)->dwType == OT_MESH;
    const auto& table = g_IntersectSegment.IntersectTable();
    for (int i = 0; i < table.iCount; ++i)
        registered += table.slots[i].bUsed && table.slots[i].hObject->bUsed;
    EXPECT_EQ(registered, meshes);
    EXPECT_EQ(table.iCount, meshes);
    ObjectRecord* guard = g_Engine.FindObjectByName("guard");
    EXPECT_EQ(g_IntersectSegment.SkinMeshTable().slots[guard->iSegmentSlot[0]].hObject, guard);
    const math::Vec3 from{200, 32, -100}, to{200, 32, 100};
    SegmentQuery shot;
    shot.pStart = &from;
    shot.pEnd = &to;
    SegmentHit hit;
    ASSERT_TRUE(g_IntersectSegment.Test(shot, &hit));
    EXPECT_EQ(hit.hObject, door);
}

TEST_F(ObjectSaveTest, AnEntryThatCannotBeMadeIsSkippedAndTheRestStillLoads) {
    LoadWorld();
    // Every optional block on the objects that will not come back.
    ObjectRecord* lost[] = {g_Engine.FindObjectByName("crate"), g_Engine.FindObjectByName("guard")};
    for (ObjectRecord* h : lost) {
        auto action = std::make_unique<ObjectAction>();
        action->dwGeneralOpt1 = 1;
        SetObjectAction(h, *action);
        auto death = std::make_unique<DeathParams>();
        death->bOn = 1;
        SetObjectDeathParams(h, *death);
        SetObjectSound(h, "a.wav", 1, "");
        SetObjectFxName(h, "fx");
        BlinkingBlock blink;
        SetObjectExtraBlock(h, &blink);
        LightControlList list;
        list.bOn = 1;
        SetObjectNameList(h, list);
    }
    ObjectRecord* door = g_Engine.FindObjectByName("door");
    auto action = std::make_unique<ObjectAction>();
    action->dwGeneralOpt1 = 1;
    std::strcpy(action->szDefaultSet, "door_used");
    SetObjectAction(door, *action);
    door->fHealth = 12.5f;
    SaveWorld();

    // The crate's and the guard's models are gone when the save is loaded.
    g_Engine.DeleteWorldObjects(true);
    g_MeshMgr.ReleaseAll();
    std::filesystem::remove(dir_ / "models" / "plane.x");
    std::filesystem::remove(dir_ / "chars" / "hero.x");
    LoadWorld({"crate", "guard"});
    ObjectRecord* freshDoor = g_Engine.FindObjectByName("door");
    MarkConsole();
    LoadSave();
    EXPECT_TRUE(Printed("Load: Nie powiodlo sie dodanie obiektu models\\plane.x"));
    EXPECT_TRUE(Printed("Load: Nie powiodlo sie dodanie obiektu chars\\hero.x"));
    EXPECT_EQ(g_Engine.FindObjectByName("crate"), nullptr);
    EXPECT_EQ(g_Engine.FindObjectByName("guard"), nullptr);
    // The entries after them are read in step.
    ASSERT_EQ(g_Engine.FindObjectByName("door"), freshDoor);
    ASSERT_NE(freshDoor->pAction, nullptr);
    EXPECT_STREQ(freshDoor->pAction->szDefaultSet, "door_used");
    EXPECT_FLOAT_EQ(freshDoor->fHealth, 12.5f);
    EXPECT_NE(g_Engine.FindObjectByName("lamp"), nullptr);
    EXPECT_STREQ(g_Engine.Object(3901)->szName, "flare");
}

TEST_F(ObjectSaveTest, BezierMovementIsRelinkedToTheNodesByNameAndNumber) {
    BezierNode* start = g_BezierMgr.AllocNode();
    std::strcpy(start->szName, "lift_bottom");
    start->nr = 4;
    BezierNode* top = g_BezierMgr.AllocNode();
    std::strcpy(top->szName, "lift_top");
    top->nr = 9;
    LoadWorld();
    ObjectRecord* crate = g_Engine.FindObjectByName("crate");
    ObjectRecord* door = g_Engine.FindObjectByName("door");
    crate->Bezier.bActive = 1;
    std::strcpy(crate->Bezier.szStartNode, "LIFT_BOTTOM");
    crate->BezierState.bMoving = 1;
    crate->BezierState.pStartNode = start;
    crate->BezierState.pCurrentNode = top;
    crate->BezierState.dDistanceInNode = 12.5;
    std::strcpy(door->Bezier.szStartNode, "lift_bottom"); // not active: no start node
    door->BezierState.pCurrentNode = nullptr;
    SaveWorld();
    const std::vector<uint8_t> bytes = SaveBytes();
    const uint8_t nine[4] = {9, 0, 0, 0};
    EXPECT_EQ(std::memcmp(&bytes[1 + 6784], nine, 4), 0); // the crate's current node number

    LoadWorld();
    LoadSave();
    crate = g_Engine.FindObjectByName("crate");
    door = g_Engine.FindObjectByName("door");
    EXPECT_EQ(crate->BezierState.pStartNode, start);
    EXPECT_EQ(crate->BezierState.pCurrentNode, top);
    EXPECT_EQ(crate->BezierState.bMoving, 1);
    EXPECT_DOUBLE_EQ(crate->BezierState.dDistanceInNode, 12.5);
    EXPECT_EQ(door->BezierState.pStartNode, nullptr);
    EXPECT_EQ(door->BezierState.pCurrentNode, nullptr);
    g_Engine.DeleteWorldObjects(true);
    g_BezierMgr.FreeAll();
}

TEST_F(ObjectSaveTest, DuplicatePeselsAreReportedAndTheLaterEntryWins) {
    LoadWorld();
    ObjectRecord* crate = g_Engine.FindObjectByName("crate");
    ObjectRecord* door = g_Engine.FindObjectByName("door");
    door->Pesel = crate->Pesel;
    door->iSector = 9;
    SaveWorld();
    LoadWorld();
    crate = g_Engine.FindObjectByName("crate");
    MarkConsole();
    LoadSave();
    EXPECT_TRUE(Printed("Juz jest obiekt PESEL! \"crate\"")); // the live object, before the second entry
    EXPECT_EQ(crate->iSector, 9);
    EXPECT_STREQ(crate->szName, "door");
}

TEST_F(ObjectSaveTest, ATruncatedBlockStopsTheLoadWithoutDeleting) {
    LoadWorld();
    SaveWorld();
    std::vector<uint8_t> bytes = SaveBytes();
    bytes.resize(bytes.size() / 2);
    std::FILE* f = std::fopen(SavePath().c_str(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
    LoadWorld();
    ObjectRecord* extra = Make(OT_LIGHT, {}, "extra");
    extra->bWorldObject = 1;
    MarkConsole();
    LoadSave();
    EXPECT_TRUE(Printed("Engine.Load: the object block ends early"));
    EXPECT_EQ(extra->bUsed, 1);
}

} // namespace
