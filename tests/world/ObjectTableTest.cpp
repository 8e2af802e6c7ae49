#include <algorithm>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "physics/CollisionMgr.h"
#include "physics/IntersectSegment.h"
#include "render/Mesh.h"
#include "render/SpriteMgr.h"
#include "skinmesh/SkinMesh.h"
#include "tests/LeakCheck.h"
#include "tests/world/WorldFixture.h"
#include "world/DeathParams.h"
#include "world/ObjectAction.h"

namespace {

struct TypeRange {
    uint32_t type;
    int first;
    int end; // one past the last slot
    int EEngine::*highWater;
};

const TypeRange kRanges[] = {
    {OT_MESH, 0, 3400, &EEngine::m_iMeshHighWater},
    {OT_SKINMESH, 3400, 3800, &EEngine::m_iSkinMeshHighWater},
    {OT_LIGHT, 3800, 3900, &EEngine::m_iLightHighWater},
    {OT_SPRITE, 3900, 4000, &EEngine::m_iSpriteHighWater},
};

class ObjectTableTest : public WorldTest {};

TEST_F(ObjectTableTest, EachTypeFillsExactlyItsSlotRangeAndIsRefusedBeyondIt) {
    for (const TypeRange& r : kRanges) {
        SCOPED_TRACE(r.type);
        for (int slot = r.first; slot < r.end; ++slot) {
            ObjectRecord* h = Make(r.type);
            ASSERT_NE(h, nullptr) << slot;
            ASSERT_EQ(h, g_Engine.Object(slot));
            ASSERT_EQ(h->iIndex, slot);
            ASSERT_EQ(h->iIndex2, slot);
            ASSERT_EQ(h->dwType, r.type);
        }
        EXPECT_EQ(g_Engine.*r.highWater, r.end);
        MarkConsole();
        EXPECT_EQ(Make(r.type), nullptr);
        EXPECT_TRUE(Printed("*** Over Objects Limit!"));
    }
    EXPECT_EQ(g_Engine.NumObjects(), 4000);
}

TEST_F(ObjectTableTest, FullMeshRangeStillAcceptsSkinnedMeshes) {
    for (int i = 0; i < 3400; ++i)
        ASSERT_NE(Make(OT_MESH), nullptr);
    MarkConsole();
    EXPECT_EQ(Make(OT_MESH), nullptr); // the 3401st
    EXPECT_TRUE(Printed("*** Over Objects Limit!"));
    ObjectRecord* skin = Make(OT_SKINMESH);
    ASSERT_NE(skin, nullptr);
    EXPECT_EQ(skin->iIndex, 3400);
    EXPECT_EQ(g_MeshMgr.NumMeshes(), 1); // one shared load for all 3400
}

TEST_F(ObjectTableTest, TypesWithoutARangeAreRefused) {
    for (uint32_t type : {1u, 3u, 4u, 7u, 100u}) {
        MarkConsole();
        AddObjectParams p;
        p.dwType = type;
        std::snprintf(p.szFileName, sizeof p.szFileName, "models\\box.x");
        EXPECT_EQ(g_Engine.AddObject(p), nullptr) << type;
        EXPECT_TRUE(Printed("*** Over Objects Limit!")) << type;
    }
    EXPECT_EQ(g_Engine.NumObjects(), 0);
}

TEST_F(ObjectTableTest, CreationSetsTheDefaultsOfEveryType) {
    ObjectRecord* mesh = Make(OT_MESH, {1, 2, 3});
    ObjectRecord* skin = Make(OT_SKINMESH, {4, 5, 6});
    ObjectRecord* light = Make(OT_LIGHT, {7, 8, 9});
    ObjectRecord* sprite = Make(OT_SPRITE, {10, 11, 12});
    for (ObjectRecord* h : {mesh, skin, light, sprite}) {
        ASSERT_NE(h, nullptr);
        EXPECT_EQ(h->bUsed, 1);
        EXPECT_EQ(h->bWorldObject, 0);
        EXPECT_FLOAT_EQ(h->fState24, 6.2831855f);
        EXPECT_EQ(h->dw6740, 256u);
        EXPECT_EQ(h->iState64, -1);
        EXPECT_FLOAT_EQ(h->fLightR, 1.0f);
        EXPECT_FLOAT_EQ(h->fLightB, 1.0f);
        EXPECT_EQ(h->Bezier.bStartWhenLoaded, 1);
        EXPECT_EQ(h->Bezier.bLoops, 1);
        EXPECT_EQ(h->dwFlags, 13u); // the creation record's default
    }
    // Box: 64 wide, 64 high, standing on the origin: radius to a top corner.
    EXPECT_EQ(mesh->iRange, 78); // sqrt(32^2 + 64^2 + 32^2) = 78.38
    EXPECT_NE(mesh->Mesh(), nullptr);
    EXPECT_FLOAT_EQ(mesh->vStartPosition.y, 2);
    EXPECT_FLOAT_EQ(mesh->Mesh()->m_vPosition.z, 3);
    EXPECT_NE(skin->SkinMesh(), nullptr);
    EXPECT_EQ(skin->iRange, 78);
    EXPECT_FLOAT_EQ(skin->SkinMesh()->GetPosition().x, 4);
    EXPECT_EQ(light->bIsLight, 1);
    EXPECT_EQ(light->bIsType2, 1);
    EXPECT_EQ(light->iRange, 320);
    EXPECT_FLOAT_EQ(light->fLightPower, 2.0f);
    EXPECT_FLOAT_EQ(light->fLightBasePower, 2.0f);
    EXPECT_FLOAT_EQ(light->vPosition.z, 9);
    EXPECT_NE(sprite->pSprite, nullptr);
    EXPECT_EQ(sprite->pObject, sprite->pSprite);
    EXPECT_FLOAT_EQ(sprite->pSprite->vPosition.y, 11);
    EXPECT_EQ(sprite->iRange, 320);
    // Meshes and skinned meshes are registered with the segment tables; only
    // a mesh gets collision faces.
    EXPECT_EQ(g_IntersectSegment.IntersectTable().slots[mesh->iSegmentSlot[0]].hObject, mesh);
    EXPECT_EQ(g_IntersectSegment.SkinMeshTable().slots[skin->iSegmentSlot[0]].hObject, skin);
    EXPECT_GT(mesh->iCollisionNumber, 0);
    for (ObjectRecord* h : {skin, light, sprite})
        EXPECT_EQ(h->iCollisionNumber, 0);
}

TEST_F(ObjectTableTest, LightTakesItsRangeAndSizeFromTheCreationRecord) {
    AddObjectParams p;
    p.dwType = OT_LIGHT;
    p.fRadius = 511.6f;
    p.fLightSize = 3.5f;
    p.fExtraValue = 99.6f;
    p.dwFlags3 = 0x2000;
    ObjectRecord* h = g_Engine.AddObject(p);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(h->iRange, 512);
    EXPECT_FLOAT_EQ(h->fLightPower, 3.5f);
    EXPECT_FLOAT_EQ(h->fLightBasePower, 3.5f);
    EXPECT_EQ(h->iDisappearRange, 100);
    EXPECT_EQ(h->dwKindFlags, 0x2000u);
}

TEST_F(ObjectTableTest, FailedCreationsPrintTheFileAndLeaveTheSlotFree) {
    struct Case {
        uint32_t type;
        const char* file;
        const char* message;
    } cases[] = {
        {OT_MESH, "models\\missing.x", "models\\missing.x Mesh Nie Created!"},
        {OT_SKINMESH, "chars\\missing.x", "chars\\missing.x SkinMesh Nie Created!"},
    };
    for (const Case& c : cases) {
        MarkConsole();
        AddObjectParams p;
        p.dwType = c.type;
        std::snprintf(p.szFileName, sizeof p.szFileName, "%s", c.file);
        EXPECT_EQ(g_Engine.AddObject(p), nullptr);
        EXPECT_TRUE(Printed(c.message)) << c.message;
    }
    // A sprite the sprite manager does not make fails silently.
    AddObjectParams p;
    p.dwType = OT_SPRITE;
    EXPECT_EQ(g_Engine.AddObject(p), nullptr);
    EXPECT_EQ(g_Engine.NumObjects(), 0);
    EXPECT_EQ(g_Engine.Object(0)->bUsed, 0);
    EXPECT_EQ(g_Engine.Object(3400)->bUsed, 0);
    EXPECT_EQ(g_Engine.m_iMeshHighWater, 0);
    EXPECT_EQ(g_Engine.m_iSkinMeshHighWater, 3400);
}

TEST_F(ObjectTableTest, FileNamesOver126CharactersAreRefused) {
    struct Case {
        size_t length;
        bool byCreateObject; // the short form that fills the record itself
        bool accepted;
    } cases[] = {
        {126, false, true}, {127, false, false}, {126, true, true}, {127, true, false}, {300, true, false},
    };
    int made = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.length << (c.byCreateObject ? " CreateObject" : " AddObject"));
        MarkConsole();
        std::string name(c.length, 'a');
        ObjectRecord* h = nullptr;
        if (c.byCreateObject) {
            h = g_Engine.CreateObject(OT_LIGHT, name.c_str(), 0, 0, nullptr, nullptr);
        } else {
            AddObjectParams p;
            p.dwType = OT_LIGHT;
            std::memcpy(p.szFileName, name.c_str(), c.length + 1);
            h = g_Engine.AddObject(p);
        }
        if (c.accepted) {
            ASSERT_NE(h, nullptr);
            EXPECT_EQ(std::strlen(h->szFileName), c.length);
            ++made;
        } else {
            EXPECT_EQ(h, nullptr);
        }
        // The refusal is reported by the one line of its own.
        EXPECT_EQ(PrintedLine("AddObject FileName>126"), !c.accepted);
        EXPECT_FALSE(Printed("aaaaaaaaaaaaaaaa"));
    }
    EXPECT_EQ(g_Engine.NumObjects(), made);
}

TEST_F(ObjectTableTest, HighWaterMarkFallsPastFreeSlotsOnlyWhenTheTopSlotGoes) {
    for (const TypeRange& r : kRanges) {
        SCOPED_TRACE(r.type);
        ObjectRecord* h[5];
        for (auto& p : h)
            p = Make(r.type);
        EXPECT_EQ(g_Engine.*r.highWater, r.first + 5);
        g_Engine.DeleteObject(h[1]);
        g_Engine.DeleteObject(h[2]);
        g_Engine.DeleteObject(h[3]);
        EXPECT_EQ(g_Engine.*r.highWater, r.first + 5); // the top slot is still taken
        g_Engine.DeleteObject(h[4]);
        EXPECT_EQ(g_Engine.*r.highWater, r.first + 1); // down past the three free slots
        g_Engine.DeleteObject(h[0]);
        EXPECT_EQ(g_Engine.*r.highWater, r.first); // never below the range's first slot
        // A new object takes the lowest free slot again.
        EXPECT_EQ(Make(r.type)->iIndex, r.first);
        g_Engine.DeleteObject(g_Engine.Object(r.first));
    }
    EXPECT_EQ(g_Engine.NumObjects(), 0);
}

TEST_F(ObjectTableTest, DeletionFreesTheSlotAndItsRegistrations) {
    ObjectRecord* mesh = Make(OT_MESH, {}, "crate");
    ObjectRecord* sprite = Make(OT_SPRITE);
    const int collisions = g_CollisionMgr.NumEntries();
    auto registered = [](const ObjectRecord* h) {
        const auto& table = g_IntersectSegment.IntersectTable();
        for (int i = 0; i < table.iCount; ++i)
            if (table.slots[i].bUsed && table.slots[i].hObject == h) return true;
        return false;
    };
    EXPECT_TRUE(registered(mesh));
    const int sprites = g_SpriteMgr.NumSprites();
    g_Engine.DeleteObject(mesh);
    g_Engine.DeleteObject(sprite);
    EXPECT_EQ(mesh->bUsed, 0);
    EXPECT_EQ(mesh->iRange, 0);
    EXPECT_EQ(mesh->pObject, nullptr);
    EXPECT_EQ(mesh->szName[0], 0);
    EXPECT_EQ(g_CollisionMgr.NumEntries(), collisions - 1);
    EXPECT_FALSE(registered(mesh));
    EXPECT_EQ(g_SpriteMgr.NumSprites(), sprites - 1);
    EXPECT_EQ(g_Engine.NumObjects(), 0);
    EXPECT_EQ(g_Engine.FindObjectByName("crate"), nullptr);
    // Null and free records are ignored.
    g_Engine.DeleteObject(nullptr);
    g_Engine.DeleteObject(mesh);
    EXPECT_EQ(g_Engine.NumObjects(), 0);
}

// An engine that ends with objects still in its table (no shutdown ran)
// frees every block they own.
TEST_F(ObjectTableTest, AnEngineEndingWithObjectsFreesTheirBlocks) {
    if (!leakcheck::kAvailable) GTEST_SKIP() << "needs the sanitizer build";
    ASSERT_FALSE(leakcheck::Leaked()) << "leaks before the test";
    auto engine = std::make_unique<EEngine>();
    auto fill = [](ObjectRecord& h, uint32_t type, void* object) {
        h.bUsed = 1;
        h.dwType = type;
        h.pObject = object;
        h.pBlinking = new BlinkingBlock;
        h.pSound = new ObjectSound;
        h.pAction = new ObjectAction;
        h.pDeathParams = new DeathParams;
        h.pLightControl = new LightControlList;
        h.pFxName = new char[64]();
        h.pPendingTieObject = new char[64]();
        h.pPendingTieSocket = new char[64]();
    };
    fill(*engine->Object(0), OT_MESH, new EMesh);
    fill(*engine->Object(3400), OT_SKINMESH, new ESkinMesh);
    fill(*engine->Object(3800), OT_LIGHT, nullptr);
    engine.reset();
    EXPECT_FALSE(leakcheck::Leaked());
}

TEST_F(ObjectTableTest, DeletingALightClearsItFromTheLightSlotsOfOtherObjects) {
    ObjectRecord* light = Make(OT_LIGHT);
    ObjectRecord* other = Make(OT_LIGHT);
    ObjectRecord* mesh = Make(OT_MESH);
    ObjectRecord* skin = Make(OT_SKINMESH);
    for (ObjectRecord* h : {mesh, skin}) {
        h->pLights[7][0] = other;
        h->pLights[7][1] = light;
        h->pLights[9][2] = light; // beyond the count word: not searched
        h->dwLightCount[7] = 2;
        h->dwLightCount[9] = 2;
        h->bLightSetValid = 1;
    }
    g_Engine.DeleteObject(light);
    for (ObjectRecord* h : {mesh, skin}) {
        EXPECT_EQ(h->pLights[7][0], other);
        EXPECT_EQ(h->pLights[7][1], nullptr);
        EXPECT_EQ(h->pLights[9][2], light);
        EXPECT_EQ(h->bLightSetValid, 0);
    }
}

TEST_F(ObjectTableTest, PeselsAreUniqueAndEndWithTheSlot) {
    std::set<std::tuple<uint32_t, uint32_t, uint32_t>> seen;
    std::vector<ObjectRecord*> made;
    for (const TypeRange& r : kRanges)
        for (int i = 0; i < 40; ++i)
            made.push_back(Make(r.type));
    for (ObjectRecord* h : made) {
        ASSERT_NE(h, nullptr);
        EXPECT_EQ(h->Pesel.dwSlot, uint32_t(h->iIndex));
        EXPECT_LE(h->Pesel.dwRand, 32767u);
        EXPECT_TRUE(seen.insert({h->Pesel.dwTime, h->Pesel.dwRand, h->Pesel.dwSlot}).second);
    }
    // Two objects made in the same millisecond still differ by slot and random word.
    os::Srand(1);
    ObjectRecord* a = Make(OT_LIGHT);
    ObjectRecord* b = Make(OT_LIGHT);
    EXPECT_NE(a->Pesel.dwSlot, b->Pesel.dwSlot);
    EXPECT_NE(a->Pesel.dwRand, b->Pesel.dwRand);
}

TEST_F(ObjectTableTest, LookupsByNameAndPesel) {
    ObjectRecord* mesh = Make(OT_MESH, {}, "Door");
    ObjectRecord* skin = Make(OT_SKINMESH, {}, "Guard");
    ObjectRecord* light = Make(OT_LIGHT, {}, "Lamp");
    ObjectRecord* sprite = Make(OT_SPRITE, {}, "Flare");
    ObjectRecord* twin = Make(OT_MESH, {}, "DOOR");
    ObjectRecord* unnamed = Make(OT_MESH);
    struct Case {
        const char* name;
        bool onlyMain;
        ObjectRecord* expected;
    } cases[] = {
        {"door", false, mesh}, // ignoring case, the first match wins
        {"GUARD", true, skin},      {"lamp", true, light},
        {"Flare", false, nullptr}, // sprites lie past slot 3899
        {"Flare", true, nullptr},   {"", false, nullptr},
        {"nobody", false, nullptr},
    };
    for (const Case& c : cases)
        EXPECT_EQ(g_Engine.FindObjectByName(c.name, c.onlyMain), c.expected) << c.name;
    EXPECT_EQ(g_Engine.FindObjectByName(nullptr), nullptr);
    (void)twin;
    (void)unnamed;

    for (ObjectRecord* h : {mesh, skin, light}) {
        EXPECT_EQ(g_Engine.FindObjectByPesel(h->Pesel), h);
        const uint32_t words[3] = {h->Pesel.dwTime, h->Pesel.dwRand, h->Pesel.dwSlot};
        EXPECT_EQ(g_Engine.FindObjectByPesel(words), h);
    }
    EXPECT_EQ(g_Engine.FindObjectByPesel(sprite->Pesel), nullptr);
    PESEL wrong = mesh->Pesel;
    wrong.dwRand ^= 1;
    EXPECT_EQ(g_Engine.FindObjectByPesel(wrong), nullptr);
}

TEST_F(ObjectTableTest, GroupDeletions) {
    // World objects and run-time objects of every type, plus unimportant ones.
    auto make = [](uint32_t type, bool world, uint32_t flags) {
        ObjectRecord* h = Make(type);
        h->bWorldObject = world ? 1 : 0;
        h->dwFlags = flags;
        return h;
    };
    ObjectRecord* worldMesh = make(OT_MESH, true, 1);
    ObjectRecord* runMesh = make(OT_MESH, false, 1);
    ObjectRecord* runLight = make(OT_LIGHT, false, 1);
    ObjectRecord* worldSkin = make(OT_SKINMESH, true, 1);
    ObjectRecord* runSkin = make(OT_SKINMESH, false, 64 | 1);
    ObjectRecord* runSprite = make(OT_SPRITE, false, 1);

    g_Engine.DeleteNotImportant();
    EXPECT_EQ(runSkin->bUsed, 0);
    EXPECT_EQ(g_Engine.NumObjects(), 5);

    g_Engine.DeleteWorldObjects(false);
    EXPECT_EQ(worldMesh->bUsed, 0);
    EXPECT_EQ(worldSkin->bUsed, 0);
    EXPECT_EQ(runLight->bUsed, 0); // every type-2 object goes
    EXPECT_EQ(runMesh->bUsed, 1);
    EXPECT_EQ(runSprite->bUsed, 1);

    g_Engine.DeleteWorldObjects(true);
    EXPECT_EQ(g_Engine.NumObjects(), 0);
}

TEST_F(ObjectTableTest, WipeOutByCameraDistanceLessRange) {
    ObjectRecord* near = Make(OT_LIGHT);
    ObjectRecord* edge = Make(OT_LIGHT);
    ObjectRecord* far = Make(OT_LIGHT);
    ObjectRecord* always = Make(OT_LIGHT);
    near->iCameraDistance = 1000 + 320 - 1;
    edge->iCameraDistance = 1000 + 320;
    far->iCameraDistance = 5000;
    always->bAlwaysWipe = 1;
    MarkConsole();
    g_Engine.WipeOut(1000.9f);
    EXPECT_EQ(near->bUsed, 1);
    EXPECT_EQ(edge->bUsed, 0);
    EXPECT_EQ(far->bUsed, 0);
    EXPECT_EQ(always->bUsed, 0);
    EXPECT_TRUE(Printed("WipeOut complete for 1000"));
}

TEST_F(ObjectTableTest, PrecacheLeavesTheMeshLoadedAndNoObject) {
    g_Engine.PrecacheResource("models\\plane.x", 4);
    g_Engine.PrecacheResource("chars\\hero.x", 16);
    g_Engine.PrecacheResource("models\\box.x", 3); // an unknown kind does nothing
    EXPECT_EQ(g_Engine.NumObjects(), 0);
    EXPECT_EQ(g_MeshMgr.NumMeshes(), 1);
    EXPECT_GE(g_MeshMgr.GetMesh("MODELS\\PLANE.X"), 0);
    EXPECT_EQ(g_MeshMgr.NumMeshes(), 1);
}

// The table starts as zeroed memory: a slot taken for the first time gets
// the creation state (the non-zero defaults above all), as does a slot taken
// again after a deletion or one whose memory holds anything at all, and the
// slots never taken read as free.
TEST_F(ObjectTableTest, ASlotTakenHoldsTheCreationStateWhateverItsMemoryHeld) {
    // The saved image without the PESEL, which holds the time and a random number.
    auto image = [](const ObjectRecord* h) {
        std::vector<uint8_t> bytes(ObjectRecord::IMAGE_SIZE);
        WriteObjectImage(*h, bytes.data());
        std::fill(bytes.begin() + 1132, bytes.begin() + 1144, 0);
        return bytes;
    };
    auto scribble = [](ObjectRecord* h) {
        std::memset(static_cast<void*>(h), 0xA5, sizeof *h);
        h->bUsed = 0;
    };
    auto engine = std::make_unique<EEngine>();
    for (int slot = 0; slot < EEngine::MAX_OBJECTS; slot += 97)
        ASSERT_EQ(engine->Object(slot)->bUsed, 0) << slot;
    AddObjectParams params;
    params.dwType = OT_LIGHT;
    const ObjectRecord created{};
    std::vector<uint8_t> first;
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        ObjectRecord* h = engine->AddObject(params);
        ASSERT_EQ(h, engine->Object(EEngine::FIRST_LIGHT));
        EXPECT_FLOAT_EQ(h->fState24, 6.2831855f);
        EXPECT_EQ(h->iState64, -1);
        EXPECT_EQ(h->dw6740, 256u);
        EXPECT_EQ(h->bSubsetDraw[0], 0);
        EXPECT_EQ(h->BaseOrientation.matrix, created.BaseOrientation.matrix);
        EXPECT_EQ(h->BaseOrientation.quaternion, created.BaseOrientation.quaternion);
        EXPECT_EQ(h->BaseOrientation.up, created.BaseOrientation.up);
        EXPECT_EQ(h->vScale, created.vScale);
        EXPECT_EQ(h->Bezier.bStartWhenLoaded, 1);
        EXPECT_EQ(h->Bezier.bLoops, 1);
        EXPECT_FLOAT_EQ(h->BezierState.fSpeedFactor, 1.0f);
        EXPECT_EQ(h->BezierState.Orientation.quaternion, created.BezierState.Orientation.quaternion);
        EXPECT_EQ(h->BezierState.Orientation.forward, created.BezierState.Orientation.forward);
        // Fields of the frame's walks that the image does not hold.
        EXPECT_EQ(h->bVisibleNow, 0);
        EXPECT_EQ(h->bHiddenBySector, 0);
        EXPECT_EQ(h->dwFrameCounter, 0u);
        EXPECT_EQ(h->fVisibilityTimer, 0.0f);
        EXPECT_EQ(h->vLightingPosition, math::Vec3());
        if (round == 0)
            first = image(h);
        else
            EXPECT_EQ(image(h), first);
        engine->DeleteObject(h);
        if (round == 1) scribble(h);
    }
    EXPECT_EQ(engine->Object(EEngine::FIRST_LIGHT + 1)->bUsed, 0);

    // A mesh in the game's table, its slot scribbled over after a deletion.
    ObjectRecord* mesh = Make(OT_MESH);
    ASSERT_NE(mesh, nullptr);
    const std::vector<uint8_t> fresh = image(mesh);
    g_Engine.DeleteObject(mesh);
    scribble(mesh);
    ASSERT_EQ(Make(OT_MESH), mesh);
    EXPECT_EQ(image(mesh), fresh);
}

TEST_F(ObjectTableTest, CreateObjectUsesAFreshCreationRecordEachCall) {
    const float position[3] = {5, 6, 7};
    ObjectRecord* a = g_Engine.CreateObject(OT_LIGHT, "", 1, 2, position);
    ObjectRecord* b = g_Engine.CreateObject(OT_MESH, "models\\box.x", 4, 8);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_FLOAT_EQ(a->vPosition.y, 6);
    EXPECT_EQ(a->dwFlags, 1u);
    EXPECT_EQ(a->dwFlags2, 2u);
    EXPECT_FLOAT_EQ(b->vPosition.y, 0); // not the previous call's position
    EXPECT_EQ(b->dwFlags, 4u);
    EXPECT_EQ(b->dwFlags2, 8u);
}

} // namespace

// The per-frame walks visit every slot in use, in slot order, and nothing
// past a range's high-water mark; an object a visit adds above the mark is
// still reached, as in a walk of the whole table.
TEST_F(ObjectTableTest, WalksBelowTheHighWaterMarksReachEverySlotInUse) {
    std::vector<ObjectRecord*> made;
    for (const TypeRange& r : kRanges)
        for (int i = 0; i < 5; ++i)
            made.push_back(Make(r.type));
    g_Engine.DeleteObject(made[1]); // a hole below the mesh mark
    g_Engine.DeleteObject(made[9]); // the top skinned mesh: its mark comes down
    for (bool withSprites : {false, true}) {
        std::vector<int> inUse, visited;
        for (int slot = 0; slot < EEngine::MAX_OBJECTS; ++slot)
            if (g_Engine.Object(slot)->bUsed && (withSprites || slot < EEngine::FIRST_SPRITE))
                inUse.push_back(slot);
        size_t walked = 0;
        g_Engine.ForEachSlotBelowHighWater(
            [&](int slot) {
                ++walked;
                if (g_Engine.Object(slot)->bUsed) visited.push_back(slot);
            },
            withSprites);
        EXPECT_EQ(visited, inUse) << withSprites;
        EXPECT_EQ(walked, withSprites ? 5u + 4 + 5 + 5 : 5u + 4 + 5) << withSprites;
    }

    std::vector<int> visited;
    g_Engine.ForEachSlotBelowHighWater([&](int slot) {
        visited.push_back(slot);
        if (slot == 4) Make(OT_MESH);        // takes the hole at 1, below the walk
        if (slot == 3400) Make(OT_SKINMESH); // takes 3404, above the mark
    });
    EXPECT_EQ(visited.back(), 3804);
    EXPECT_NE(std::find(visited.begin(), visited.end(), 3404), visited.end());
    EXPECT_EQ(std::count(visited.begin(), visited.end(), 1), 1);
}
