// The object table of the engine: creation and deletion by type in fixed slot
// ranges, the searches over the table and the groups of deletions.
#include <cmath>
#include <cstring>

#include "app/Console.h"
#include "app/Debug.h"
#include "app/FileHelpers.h"
#include "app/Records.h"
#include "physics/CollisionMgr.h"
#include "physics/IntersectSegment.h"
#include "physics/RigidBodySimulation.h"
#include "platform/os/Number.h"
#include "platform/os/Os.h"
#include "render/DepthRender.h"
#include "render/FxMgr.h"
#include "render/Mesh.h"
#include "render/Renderer.h"
#include "render/SpriteMgr.h"
#include "skinmesh/SkinMesh.h"
#include "sound/RadioMgr.h"
#include "sound/SoundMgr.h"
#include "world/Camera.h"
#include "world/DeathParams.h"
#include "world/Engine.h"
#include "world/ObjectAction.h"
#include "world/ObjectApi.h"
#include "world/ObjectRecord.h"
#include "world/WorldHooks.h"

namespace {

// File names of the creation record longer than this are refused.
constexpr size_t kMaxFileName = 126;

int32_t Round(float v) {
    return os::ClampToInt(std::round(v));
}

} // namespace

ObjectRecord* EEngine::Object(int slot) {
    return slot >= 0 && slot < MAX_OBJECTS ? &m_Objects[slot] : nullptr;
}

bool EEngine::SlotRange(uint32_t type, int* first, int* end, int** highWater) {
    switch (type) {
    case OT_MESH:
        *first = FIRST_MESH, *end = FIRST_SKINMESH, *highWater = &m_iMeshHighWater;
        return true;
    case OT_SKINMESH:
        *first = FIRST_SKINMESH, *end = FIRST_LIGHT, *highWater = &m_iSkinMeshHighWater;
        return true;
    case OT_LIGHT:
        *first = FIRST_LIGHT, *end = FIRST_SPRITE, *highWater = &m_iLightHighWater;
        return true;
    case OT_SPRITE:
        *first = FIRST_SPRITE, *end = MAX_OBJECTS, *highWater = &m_iSpriteHighWater;
        return true;
    default:
        return false;
    }
}

ObjectRecord* EEngine::AddObject(const AddObjectParams& params) {
    int first = 0, end = 0, *highWater = nullptr;
    int slot = -1;
    if (SlotRange(params.dwType, &first, &end, &highWater)) {
        for (int i = first; i < end && slot < 0; ++i)
            if (!m_Objects[i].bUsed) slot = i;
    }
    if (slot < 0) {
        g_Console.Print("*** Over Objects Limit!");
        return nullptr;
    }

    const size_t nameLength = strnlen(params.szFileName, sizeof params.szFileName);
    if (nameLength > kMaxFileName) {
        g_Console.Print("AddObject FileName>126");
        return nullptr;
    }

    ObjectRecord* h = &m_Objects[slot];
    h->Clear();
    h->iIndex = slot;
    std::memcpy(h->szFileName, params.szFileName, nameLength);
    h->szFileName[nameLength] = 0;
    h->Pesel = PESEL{os::TimeGetTimeMs(), uint32_t(os::Rand()), uint32_t(slot)};
    h->dwType = params.dwType;
    h->bUsed = 1;
    h->bWorldObject = 0;
    h->fLightPower = h->fLightBasePower = 2.0f;
    h->fLightR = h->fLightG = h->fLightB = 1.0f;
    h->iRange = 320;
    h->iIndex2 = slot;
    h->Bezier = BezierMovingParams{};
    h->BezierState.Reset();
    h->iState64 = -1;

    switch (params.dwType) {
    case OT_MESH: {
        auto* mesh = new EMesh;
        mesh->m_hObject = h;
        mesh->Create(h->szFileName);
        if (!mesh->IsCreated()) {
            delete mesh;
            g_Console.Print2(h->szFileName, " Mesh Nie Created!");
            h->Clear();
            return nullptr;
        }
        h->pObject = mesh;
        h->iRange = Round(mesh->Radius());
        h->dwFlags = params.dwFlags;
        h->dwFlags2 = params.dwFlags2;
        SetObjectPositionAndOrientation(h, params.vPosition, params.Orientation, false);
        SetObjectScale(h, params.vScale);
        break;
    }
    case OT_SKINMESH: {
        auto* skin = new ESkinMesh;
        skin->m_hObject = h;
        if (!skin->Create(h->szFileName)) {
            skin->Release();
            delete skin;
            g_Console.Print2(h->szFileName, " SkinMesh Nie Created!");
            h->Clear();
            return nullptr;
        }
        h->pObject = skin;
        h->iRange = Round(skin->GetRadius());
        h->dwFlags = params.dwFlags;
        h->dwFlags2 = params.dwFlags2;
        SetObjectPositionAndOrientation(h, params.vPosition, params.Orientation, false);
        break;
    }
    case OT_SPRITE:
        g_SpriteMgr.AddSprite(h, params);
        if (!h->pSprite || !h->pObject) {
            h->Clear();
            return nullptr;
        }
        SetObjectPositionAndOrientation(h, params.vPosition, params.Orientation, false);
        break;
    case OT_LIGHT:
        h->bIsLight = 1;
        h->bIsType2 = 1;
        h->fLightPower = h->fLightBasePower = params.fLightSize;
        h->iRange = Round(params.fRadius);
        SetObjectPositionAndOrientation(h, params.vPosition, params.Orientation, false);
        break;
    }

    h->dwFlags = params.dwFlags;
    h->dwFlags2 = params.dwFlags2;
    h->dwKindFlags = params.dwFlags3;
    h->iDisappearRange = Round(params.fExtraValue);
    ++m_iNumObjects;
    if (*highWater < slot + 1) *highWater = slot + 1;

    if (h->dwType == OT_MESH) g_CollisionMgr.ComputeSubsetBoundingBoxes(h);
    if (h->dwType == OT_MESH || h->dwType == OT_SKINMESH) {
        g_CollisionMgr.AddObject(h);
        g_IntersectSegment.RegisterObject(h);
    }
    return h;
}

ObjectRecord* EEngine::CreateObject(uint32_t type, const char* fileName, uint32_t flags, uint32_t flags2,
                                    const float* position, const float* angles) {
    static AddObjectParams* params = new AddObjectParams;
    params->Reset();
    params->dwType = type;
    std::snprintf(params->szFileName, sizeof params->szFileName, "%s", fileName ? fileName : "");
    if (fileName && std::strlen(fileName) >= sizeof params->szFileName) {
        g_Console.Print("AddObject FileName>126");
        return nullptr;
    }
    params->dwFlags = flags;
    params->dwFlags2 = flags2;
    if (position) params->vPosition = {position[0], position[1], position[2]};
    if (angles) params->Orientation.SetYawPitchRoll(angles[0], angles[1], angles[2]);
    return AddObject(*params);
}

void EEngine::DeleteObject(ObjectRecord* h) {
    if (!h || !h->bUsed || h < m_Objects || h >= m_Objects + MAX_OBJECTS) return;
    const int slot = int(h - m_Objects);
    const uint32_t type = h->dwType;

    TheWorldHooks().StopObjectDialogue(h);
    g_Camera.ForgetObject(h);
    if (h->pAction && h->pAction->szRadioRadio[0]) g_RadioMgr.StopObjectRadios(h);
    if (h == m_hLookFrom) m_hLookFrom = nullptr;
    if (h == m_hLookAt) m_hLookAt = nullptr;

    SetObjectSound(h, nullptr, 0.0f, nullptr);
    delete h->pBlinking;
    h->pBlinking = nullptr;
    if (h->pFx) {
        g_FxMgr.KillFx(h->pFx->dwIndex);
        h->pFx = nullptr;
    }
    if (type == OT_MESH) RemoveObjectRigidBody(h);
    // Joints hold objects without bodies too; none may follow a freed slot.
    g_RigidBodySimulation.RemoveJointsOfObject(h);

    delete[] h->pPendingTieObject;
    delete[] h->pPendingTieSocket;
    delete[] h->pFxName;
    delete h->pLightControl;
    delete h->pAction;
    delete h->pDeathParams;
    h->pPendingTieObject = h->pPendingTieSocket = h->pFxName = nullptr;
    h->pLightControl = nullptr;
    h->pAction = nullptr;
    h->pDeathParams = nullptr;

    if (type == OT_MESH || type == OT_SKINMESH) {
        // Below the high-water marks only, as the frame's walks: the empty
        // rest of the table stays untouched.
        ForEachSlotBelowHighWater([&](int i) {
            ObjectRecord& o = m_Objects[i];
            if (!o.bUsed || o.pTiedTo != h) return;
            o.bTied = 0;
            o.pTiedTo = nullptr;
            if (o.dwType == OT_MESH) PutForceToObject(&o, math::Vec3{}, false);
        });
    }

    if (type != OT_SPRITE) {
        g_CollisionMgr.DeleteObject(h);
        g_IntersectSegment.RemoveObject(h);
    }

    if (EMesh* mesh = h->Mesh()) {
        mesh->ReleaseMaterials();
        delete mesh;
    } else if (ESkinMesh* skin = h->SkinMesh()) {
        skin->Release();
        delete skin;
    } else if (type == OT_SPRITE) {
        g_SpriteMgr.RemoveSprite(h);
    }
    // A light's cube-shadow slot would otherwise stay taken by a free record.
    if (h->bHasCubeShadow) g_DepthRender.ReleaseCubeSlot(h);
    h->pObject = nullptr;
    h->pD3DXMesh = nullptr;

    h->bUsed = 0;
    h->iRange = 0;

    if (type == OT_LIGHT) {
        for (int i = 0; i < m_iSkinMeshHighWater; ++i) {
            ObjectRecord& o = m_Objects[i];
            if (!o.bUsed) continue;
            for (int s = 0; s < ObjectRecord::NUM_SUBSETS; ++s) {
                const uint32_t count = std::min<uint32_t>(o.dwLightCount[s], ObjectRecord::LIGHTS_PER_SUBSET);
                for (uint32_t k = 0; k < count; ++k) {
                    if (o.pLights[s][k] == h) {
                        o.pLights[s][k] = nullptr;
                        o.bLightSetValid = 0;
                    }
                }
            }
        }
    }

    int first = 0, end = 0, *highWater = nullptr;
    if (SlotRange(type, &first, &end, &highWater) && slot + 1 == *highWater) {
        int mark = slot;
        while (mark > first && !m_Objects[mark - 1].bUsed)
            --mark;
        *highWater = mark;
    }

    h->Clear();
    --m_iNumObjects;
}

void EEngine::DeleteWorldObjects(bool all) {
    for (int i = FIRST_MESH; i < FIRST_SKINMESH; ++i)
        if (m_Objects[i].bUsed && m_Objects[i].dwType == OT_MESH && (all || m_Objects[i].bWorldObject))
            DeleteObject(&m_Objects[i]);
    for (int i = FIRST_LIGHT; i < FIRST_SPRITE; ++i)
        if (m_Objects[i].bUsed) DeleteObject(&m_Objects[i]);
    for (int i = 0; i < MAX_OBJECTS; ++i)
        if (m_Objects[i].bUsed && (all || m_Objects[i].bWorldObject)) DeleteObject(&m_Objects[i]);
}

void EEngine::DeleteNotImportant() {
    for (int i = 0; i < MAX_OBJECTS; ++i)
        if (m_Objects[i].bUsed && (m_Objects[i].dwFlags & 64)) DeleteObject(&m_Objects[i]);
}

void EEngine::WipeOut(float radius) {
    const int32_t r = os::ClampToInt(radius);
    for (int i = 0; i < MAX_OBJECTS; ++i) {
        ObjectRecord& o = m_Objects[i];
        if (o.bUsed && (o.iCameraDistance - o.iRange >= r || o.bAlwaysWipe)) DeleteObject(&o);
    }
    g_Console.PrintInt("WipeOut complete for ", r);
}

ObjectRecord* EEngine::FindObjectByName(const char* name, bool onlyMain) {
    if (!name) return nullptr;
    for (int i = 0; i < SEARCH_END; ++i) {
        ObjectRecord& o = m_Objects[i];
        if (!o.bUsed || !o.szName[0]) continue;
        if (onlyMain && o.dwType != OT_MESH && o.dwType != OT_LIGHT && o.dwType != OT_SKINMESH) continue;
        if (StrCmpNoCase(o.szName, name) == 0) return &o;
    }
    return nullptr;
}

ObjectRecord* EEngine::FindObjectByPesel(const PESEL& pesel) {
    for (int i = 0; i < SEARCH_END; ++i)
        if (m_Objects[i].bUsed && m_Objects[i].Pesel == pesel) return &m_Objects[i];
    return nullptr;
}

ObjectRecord* EEngine::FindObjectByPesel(const uint32_t pesel[3]) {
    if (!pesel) return nullptr;
    return FindObjectByPesel(PESEL{pesel[0], pesel[1], pesel[2]});
}

void EEngine::PrecacheResource(const char* name, int kind) {
    if (!name || !*name) return;
    uint32_t type;
    switch (kind) {
    case 2:
        type = OT_SPRITE;
        break;
    case 4:
        type = OT_MESH;
        break;
    case 16:
        type = OT_SKINMESH;
        break;
    case 1: // the renderer's registry keeps it until the next world start
        g_Renderer.GetTextureIdByName(name);
        return;
    case 8:
        if (os::FileExists(name)) g_SoundMgr.PreloadSound(name);
        return;
    default:
        return;
    }
    if (ObjectRecord* h = CreateObject(type, name, 0, 0)) DeleteObject(h);
}

void EEngine::ApplyPendingTies() {
    for (int i = 0; i < SEARCH_END; ++i) {
        ObjectRecord& o = m_Objects[i];
        if (!o.bUsed || !o.pPendingTieObject || !o.pPendingTieSocket) continue;
        char object[64], socket[64];
        std::memcpy(object, o.pPendingTieObject, sizeof object);
        std::memcpy(socket, o.pPendingTieSocket, sizeof socket);
        delete[] o.pPendingTieObject;
        delete[] o.pPendingTieSocket;
        o.pPendingTieObject = o.pPendingTieSocket = nullptr;
        TieObject(&o, true, object, socket);
    }
}

void EEngine::TieObject(ObjectRecord* h, bool tie, const char* objectName, const char* socketName) {
    if (!h) return;
    if (!tie) {
        h->bTied = 0;
        h->pTiedTo = nullptr;
        return;
    }
    const char* object = objectName ? objectName : "";
    const char* socket = socketName ? socketName : "";
    // The tie fields hold 60 characters; a longer name is refused, never cut
    // into a name that may belong to another object.
    if (std::strlen(object) > 60) {
        g_Console.Print("!!! 1");
        return;
    }
    if (std::strlen(socket) > 60) {
        g_Console.Print("!!! 2");
        return;
    }
    if (!m_bWorldLoaded) {
        SetObjectPendingTie(h, object, socket);
        return;
    }
    ObjectRecord* target = FindObjectByName(object, false);
    if (target) {
        math::Vec3 position;
        orientation o;
        if (!ReadObjectSocket(target, socket, &position, &o)) {
            g_Console.Print4("Tie: ", object, " nie ma socketa ", socket);
            return;
        }
    }
    h->bTied = 1;
    std::snprintf(h->szTieObject, sizeof h->szTieObject, "%s", object);
    std::snprintf(h->szTieSocket, sizeof h->szTieSocket, "%s", socket);
    h->pTiedTo = target;
}
