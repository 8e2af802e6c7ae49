// The object block of a saved game: every world object's record image and its
// optional sub-blocks, matched back by PESEL on load.
//
// Entry layout: 1; the 6784-byte record image; the current Bezier node number
// (i32, -1 for none); orientation and scale as the owned object reports them;
// then, each behind a presence byte, the blinking block, the sound record,
// the FX name, the action block and the death parameters; for a mesh the
// rigid-body settings (when it owns its mesh) and the rigid-body simulation's
// block; the light-control list behind a presence byte; for a skinned mesh
// that owns its skin mesh, the skin mesh's block. The block ends with a 0 byte
// and an empty string.
//
// The two blocks that other subsystems write (rigid-body simulation, skin
// mesh) have no fixed size, so each is framed by a 32-bit length: a reader
// that cannot apply an entry (its object cannot be created again) skips the
// entry's blocks by the presence bytes, the image's type and the image's
// owned-object word, which is written as 1 when the object owned a mesh,
// skin mesh or sprite (the record's other pointer words are written as 0).
#include <cstring>
#include <memory>
#include <type_traits>
#include <vector>

#include "app/Console.h"
#include "app/FileHelpers.h"
#include "app/Records.h"
#include "physics/IntersectSegment.h"
#include "physics/RigidBodySimulation.h"
#include "render/Mesh.h"
#include "render/SpriteMgr.h"
#include "skinmesh/SkinMesh.h"
#include "world/BezierMgr.h"
#include "world/DeathParams.h"
#include "world/Engine.h"
#include "world/ImageIo.h"
#include "world/ObjectAction.h"
#include "world/ObjectApi.h"
#include "world/ObjectKeys.h"
#include "world/ObjectRecord.h"

namespace {

constexpr size_t kOwnedObjectOffset = 6224;
constexpr uint32_t kBlinkingSize = 28;
constexpr uint32_t kFxNameSize = 64;
constexpr uint32_t kLightControlSize = sizeof(LightControlList);
constexpr float kDegree = 0.0174532924f;

// Presence bytes, the end byte and the node number are not counted.
void PutByte(std::FILE* f, int b) {
    std::fputc(b, f);
}

bool Present(std::FILE* f) {
    return std::fgetc(f) > 0;
}

void WriteBlinking(std::FILE* f, const BlinkingBlock& b) {
    uint8_t image[kBlinkingSize] = {};
    imageio::Put(image, b.bOn);
    imageio::Put(image + 4, b.fValues);
    FileWriteBytes(f, image, kBlinkingSize);
}

BlinkingBlock ReadBlinking(std::FILE* f) {
    uint8_t image[kBlinkingSize] = {};
    FileReadBytes(f, image, kBlinkingSize);
    BlinkingBlock b;
    imageio::Get(image, b.bOn);
    imageio::Get(image + 4, b.fValues);
    return b;
}

// A block of another subsystem behind its 32-bit length. The length is
// patched in once the block is written.
template <class WriteBlock> void WriteSized(std::FILE* f, WriteBlock write) {
    const long lengthAt = std::ftell(f);
    FileWrite32(f, uint32_t(0));
    write();
    const long end = std::ftell(f);
    const uint32_t length = uint32_t(end - lengthAt - 4);
    std::fseek(f, lengthAt, SEEK_SET);
    std::fwrite(&length, 4, 1, f);
    std::fseek(f, end, SEEK_SET);
}

// Reads a sized block with read (given the block's length when it takes
// one), then stands after it whatever the reader took.
template <class ReadBlock> void ReadSized(std::FILE* f, ReadBlock read) {
    uint32_t length = 0;
    FileRead32(f, &length);
    const long start = std::ftell(f);
    if constexpr (std::is_invocable_v<ReadBlock, uint32_t>)
        read(length);
    else
        read();
    std::fseek(f, start + long(length), SEEK_SET);
}

void SkipSized(std::FILE* f) {
    ReadSized(f, [] {});
}

void Skip(std::FILE* f, long n) {
    std::fseek(f, n, SEEK_CUR);
}

orientation ReportedOrientation(ObjectRecord* h) {
    orientation o;
    if (EMesh* mesh = h->Mesh())
        mesh->GetOrientation(&o);
    else if (ESkinMesh* skin = h->SkinMesh())
        o = skin->GetOrientation();
    else if (h->dwType == OT_SPRITE)
        g_SpriteMgr.GetSpriteOrientation(h, &o);
    return o;
}

math::Vec3 ReportedScale(ObjectRecord* h) {
    math::Vec3 scale = h->vScale;
    GetObjectScale(h, &scale);
    return scale;
}

// Steps over sub-blocks 6-14 of an entry that is not applied.
void SkipEntryBlocks(std::FILE* f, uint32_t type, bool ownsObject) {
    if (Present(f)) Skip(f, kBlinkingSize);
    if (Present(f)) Skip(f, long(ObjectSound::IMAGE_SIZE));
    if (Present(f)) Skip(f, kFxNameSize);
    if (Present(f)) Skip(f, long(ObjectAction::IMAGE_SIZE));
    if (Present(f)) Skip(f, long(DeathParams::IMAGE_SIZE));
    if (type == OT_MESH) {
        if (ownsObject) Skip(f, long(RigidBodyPhysicsParams::IMAGE_SIZE));
        SkipSized(f);
    }
    if (Present(f)) Skip(f, kLightControlSize);
    if (type == OT_SKINMESH && ownsObject) SkipSized(f);
}

// The fields a load brings back from the saved image.
void RestoreFromImage(ObjectRecord* h, const ObjectRecord& s, const math::Vec3& scale) {
    h->bState49 = 0;
    SetObjectFlags(h, s.dwFlags, 0xFFFFFFFF);
    SetObjectFlags2(h, s.dwFlags2, 0xFFFFFFFF);
    g_IntersectSegment.RefreshObject(h);
    SetObjectScale(h, scale);

    h->bVertexColor = s.bVertexColor;
    h->bIsItTree = s.bIsItTree;
    h->bIsItWire = s.bIsItWire;
    h->bState40 = s.bState40;
    h->bState43 = s.bState43;
    h->bState60 = s.bState60;
    h->bState69 = s.bState69;
    h->bIsType2 = s.bIsType2;
    h->bRedPoint = s.bRedPoint;
    h->bGreenPoint = s.bGreenPoint;
    h->bState1108 = s.bState1108;
    h->bPassOnPending = s.bPassOnPending;
    h->bCameraPositioning = s.bCameraPositioning;
    h->bInMotion = s.bInMotion;
    h->bAtDestination = s.bAtDestination;
    h->bHasRun = s.bHasRun;
    h->bRun1292 = s.bRun1292;
    h->bRun1308 = s.bRun1308;
    h->bBaseOrientationGiven = s.bBaseOrientationGiven;
    h->bDeath6228 = s.bDeath6228;
    h->bDeath6252 = s.bDeath6252;
    h->bDeath6253 = s.bDeath6253;
    h->bDeath6254 = s.bDeath6254;
    h->bExplosionKilled = s.bExplosionKilled;
    h->bIgnoresHits = s.bIgnoresHits;
    h->bDeath6280 = s.bDeath6280;
    h->bLandMine = s.bLandMine;

    h->dwState = s.dwState;
    h->iSector = s.iSector;
    h->iAmbientLightIdx = s.iAmbientLightIdx;
    h->iFogIdx = s.iFogIdx;
    h->dwState1112 = s.dwState1112;
    h->dwState1116 = s.dwState1116;
    h->dwState1120 = s.dwState1120;
    h->dwRun1252 = s.dwRun1252;
    h->dwRun1256 = s.dwRun1256;
    h->dwRun1260 = s.dwRun1260;
    h->dwRun1300 = s.dwRun1300;
    h->dwRun1316 = s.dwRun1316;
    h->dwRun1320 = s.dwRun1320;
    h->iRange = s.iRange;
    h->dwDeath6232 = s.dwDeath6232;
    h->dwDeath6236 = s.dwDeath6236;
    h->dwDeath6240 = s.dwDeath6240;
    h->iDisappearRange = s.iDisappearRange;
    h->dwDeath6284 = s.dwDeath6284;
    h->dwDeath6288 = s.dwDeath6288;
    h->dwDeath6292 = s.dwDeath6292;
    h->dwFlags = s.dwFlags;
    h->dwFlags2 = s.dwFlags2;
    h->dwKindFlags = s.dwKindFlags;

    h->fState16 = s.fState16;
    h->fState20 = s.fState20;
    h->fState24 = s.fState24;
    h->fTimeSinceFired = s.fTimeSinceFired;
    h->fPassOnTimer = s.fPassOnTimer;
    std::memcpy(h->fRun1264, s.fRun1264, sizeof h->fRun1264);
    h->fRun1296 = s.fRun1296;
    h->fRun1304 = s.fRun1304;
    h->fRun1312 = s.fRun1312;
    h->fLight1364 = s.fLight1364;
    h->fLightR = s.fLightR;
    h->fLightG = s.fLightG;
    h->fLightB = s.fLightB;
    h->vStartPosition = s.vStartPosition;
    h->vPosition = s.vPosition;
    h->vScale = s.vScale;
    h->vState5832 = s.vState5832;
    h->vState5844 = s.vState5844;
    h->fDeath6244 = s.fDeath6244;
    h->fDeath6248 = s.fDeath6248;
    h->fHealth = s.fHealth;
    h->fDeathCountdown = s.fDeathCountdown;
    h->fDeath6272 = s.fDeath6272;
    h->fDeath6276 = s.fDeath6276;
    std::memcpy(h->fState6744, s.fState6744, sizeof h->fState6744);

    std::memcpy(h->bSubsetDraw, s.bSubsetDraw, sizeof h->bSubsetDraw);
    std::memcpy(h->szName, s.szName, sizeof h->szName);
    h->szName[sizeof h->szName - 1] = 0;
    std::memcpy(h->szFileName, s.szFileName, sizeof h->szFileName);
    h->szFileName[sizeof h->szFileName - 1] = 0;
    h->Orientation = s.Orientation;
    h->BaseOrientation = s.BaseOrientation;
    h->Bezier = s.Bezier;
    // The run state without its node pointers; the nodes are relinked below.
    BezierNode* start = h->BezierState.pStartNode;
    BezierNode* current = h->BezierState.pCurrentNode;
    h->BezierState = s.BezierState;
    h->BezierState.pStartNode = start;
    h->BezierState.pCurrentNode = current;

    h->fLightPower = h->fLightBasePower = s.fLightPower;
    h->fState32 = 0;
    h->bLightSetValid = 0;
    h->bCubeMapRendered = 0;
    h->dw6740 = 256;
}

} // namespace

void EEngine::Save(std::FILE* f) {
    if (!f) return;
    std::vector<uint8_t> image(ObjectRecord::IMAGE_SIZE);
    for (int slot = 0; slot < MAX_OBJECTS; ++slot) {
        ObjectRecord* h = &m_Objects[slot];
        if (!h->bUsed || !h->bWorldObject) continue;
        PutByte(f, 1);
        WriteObjectImage(*h, image.data());
        if (h->pObject) image[kOwnedObjectOffset] = 1;
        FileWriteBytes(f, image.data(), ObjectRecord::IMAGE_SIZE);

        const BezierNode* node = h->BezierState.pCurrentNode;
        const int32_t nr = node ? int32_t(node->nr) : -1;
        std::fwrite(&nr, 4, 1, f);
        const orientation o = ReportedOrientation(h);
        FileWriteOrientation(f, &o);
        const math::Vec3 scale = ReportedScale(h);
        FileWriteVector(f, scale.data());

        PutByte(f, h->pBlinking ? 1 : 0);
        if (h->pBlinking) WriteBlinking(f, *h->pBlinking);
        PutByte(f, h->pSound ? 1 : 0);
        if (h->pSound) {
            uint8_t sound[ObjectSound::IMAGE_SIZE];
            h->pSound->WriteImage(sound);
            FileWriteBytes(f, sound, ObjectSound::IMAGE_SIZE);
        }
        PutByte(f, h->pFxName ? 1 : 0);
        if (h->pFxName) FileWriteBytes(f, h->pFxName, kFxNameSize);
        PutByte(f, h->pAction ? 1 : 0);
        if (h->pAction) FileWriteObjectAction(f, *h->pAction);
        PutByte(f, h->pDeathParams ? 1 : 0);
        if (h->pDeathParams) FileWriteDeathParams(f, *h->pDeathParams);
        if (h->dwType == OT_MESH) {
            if (EMesh* mesh = h->Mesh()) FileWriteRigidBodyPhysicsParams(f, mesh->m_RigidBody);
            WriteSized(f, [&] { g_RigidBodySimulation.SaveGame(h, f); });
        }
        PutByte(f, h->pLightControl ? 1 : 0);
        if (h->pLightControl) FileWriteBytes(f, h->pLightControl, kLightControlSize);
        if (ESkinMesh* skin = h->SkinMesh()) WriteSized(f, [&] { skin->SaveGame(f); });
    }
    PutByte(f, 0);
    FileWriteString(f, "");
}

void EEngine::Load(std::FILE* f) {
    if (!f) return;
    // A slot taken below gets its creation state, so only the slots in use
    // need their mark cleared.
    ForEachSlotBelowHighWater([&](int slot) { m_Objects[slot].bMatched = 0; }, true);

    std::vector<uint8_t> image(ObjectRecord::IMAGE_SIZE);
    auto saved = std::make_unique<ObjectRecord>();
    bool complete = false;
    while (true) {
        const int mark = std::fgetc(f);
        if (mark == 0) {
            complete = true;
            break;
        }
        if (mark == EOF) break;
        FileReadBytes(f, image.data(), ObjectRecord::IMAGE_SIZE);
        int32_t nodeNr = -1;
        if (std::fread(&nodeNr, 4, 1, f) != 1) break;
        orientation readOrientation;
        FileReadOrientation(f, &readOrientation);
        math::Vec3 readScale;
        FileReadVector(f, readScale.data());
        if (std::feof(f)) break;
        ReadObjectImage(image.data(), saved.get());
        const bool ownsObject = image[kOwnedObjectOffset] != 0;

        ObjectRecord* h = FindObjectByPesel(saved->Pesel);
        if (!h) {
            AddObjectParams params;
            if (std::strlen(saved->szFileName) > 255) g_Console.Print("!!! 1");
            std::snprintf(params.szFileName, sizeof params.szFileName, "%s", saved->szFileName);
            params.fRadius = float(saved->iRange);
            params.dwType = saved->dwType;
            params.dwFlags = saved->dwFlags;
            params.dwFlags2 = saved->dwFlags2;
            params.dwFlags3 = saved->dwKindFlags;
            params.Orientation = readOrientation;
            params.vPosition = saved->vPosition;
            params.vScale = readScale;
            params.fExtraValue = float(saved->iDisappearRange);
            h = AddObject(params);
            if (!h) {
                g_Console.Print2("Load: Nie powiodlo sie dodanie obiektu ", saved->szFileName);
                SkipEntryBlocks(f, saved->dwType, ownsObject);
                continue;
            }
            h->bWorldObject = 1;
            h->Pesel = saved->Pesel;
            h->bMatched = 1;
        } else {
            if (h->bMatched) g_Console.Printf("Juz jest obiekt PESEL! \"%s\"", h->szName);
            h->bMatched = 1;
        }

        RestoreFromImage(h, *saved, readScale);
        // Skin meshes and sprites keep their own copy of the placement.
        if (h->dwType == OT_SKINMESH || h->dwType == OT_SPRITE)
            SetObjectPositionAndOrientation(h, h->vPosition, h->Orientation, true);
        h->BezierState.pStartNode = h->Bezier.bActive ? g_BezierMgr.FindNode(h->Bezier.szStartNode) : nullptr;
        h->BezierState.pCurrentNode = nodeNr >= 0 ? g_BezierMgr.FindNodeByNr(uint32_t(nodeNr)) : nullptr;

        if (Present(f)) {
            const BlinkingBlock blinking = ReadBlinking(f);
            SetObjectExtraBlock(h, &blinking);
        } else {
            SetObjectExtraBlock(h, nullptr);
        }
        h->dwState1072 = saved->dwState1072;
        h->fState1076 = saved->fState1076;

        if (Present(f)) {
            uint8_t soundImage[ObjectSound::IMAGE_SIZE];
            FileReadBytes(f, soundImage, ObjectSound::IMAGE_SIZE);
            ObjectSound sound;
            sound.ReadImage(soundImage);
            SetObjectSound(h, sound.szFileName, sound.fRange, sound.szCondition);
        } else {
            SetObjectSound(h, nullptr, 0, nullptr);
        }

        if (Present(f)) {
            char fx[kFxNameSize] = {};
            FileReadBytes(f, fx, kFxNameSize);
            fx[kFxNameSize - 1] = 0;
            SetObjectFxName(h, fx);
        } else {
            SetObjectFxName(h, nullptr);
        }

        if (Present(f)) {
            auto action = std::make_unique<ObjectAction>();
            FileReadObjectAction(f, *action);
            SetObjectAction(h, *action);
        }
        if (Present(f)) {
            auto death = std::make_unique<DeathParams>();
            FileReadDeathParams(f, *death);
            SetObjectDeathParams(h, *death);
        }

        if (saved->dwType == OT_MESH) {
            EMesh* mesh = h->dwType == OT_MESH ? h->Mesh() : nullptr;
            RemoveObjectRigidBody(h);
            if (mesh) {
                if (ownsObject) FileReadRigidBodyPhysicsParams(f, mesh->m_RigidBody);
                h->dwRigidBody = g_RigidBodySimulation.RefOf(g_RigidBodySimulation.AddBody(h));
            } else {
                g_Console.Print("Engine.Load: OT_MESH nie ma h->Object");
                if (ownsObject) Skip(f, long(RigidBodyPhysicsParams::IMAGE_SIZE));
            }
            ReadSized(f, [&](uint32_t length) {
                if (!g_RigidBodySimulation.LoadGame(h, f, length))
                    g_Console.Printf("Engine.Load: %s keeps its body as created", h->szName);
            });
            if (h->pAction && h->pAction->dwDoor1) {
                orientation door = h->BaseOrientation;
                door.Rotate(math::Vec3{0, -1, 0}, h->fRun1264[5] * kDegree);
                h->Orientation = door;
            }
            if (mesh) mesh->SetOrientation(h->Orientation.quaternion);
        }

        if (Present(f)) {
            LightControlList list;
            FileReadBytes(f, &list, kLightControlSize);
            SetObjectNameList(h, list);
            h->bLightSetValid = 0;
        }

        TieObject(h, saved->bTied != 0, saved->szTieObject, saved->szTieSocket);

        if (saved->dwType == OT_SKINMESH) {
            ESkinMesh* skin = h->dwType == OT_SKINMESH ? h->SkinMesh() : nullptr;
            std::memcpy(h->szAnimation, saved->szAnimation, sizeof h->szAnimation);
            h->szAnimation[sizeof h->szAnimation - 1] = 0;
            h->bAnimationLoop = saved->bAnimationLoop;
            if (skin) skin->SetAnimation(h->szAnimation, h->bAnimationLoop != 0, 0.0f, 1.0f);
            if (ownsObject)
                ReadSized(f, [&] {
                    if (skin) skin->LoadGame(f);
                });
        }
        h->bAmbientProbed = 0;
    }

    if (!complete) {
        g_Console.Print("Engine.Load: the object block ends early");
        return;
    }
    ForEachSlotBelowHighWater(
        [&](int slot) {
            ObjectRecord* h = &m_Objects[slot];
            if (h->bUsed && h->bWorldObject && !h->bMatched) DeleteObject(h);
        },
        true);
    char trailing[256];
    FileReadString(f, trailing, sizeof trailing);
    g_IntersectSegment.RegisterAllObjects();
}
