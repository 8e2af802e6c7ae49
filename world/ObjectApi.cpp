#include "world/ObjectApi.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "app/Console.h"
#include "app/FileHelpers.h"
#include "app/GameFrame.h"
#include "app/Options.h"
#include "physics/IntersectSegment.h"
#include "physics/RigidBodySimulation.h"
#include "platform/math/Math.h"
#include "platform/os/Number.h"
#include "render/FxMgr.h"
#include "render/Mesh.h"
#include "render/MeshSocketsMgr.h"
#include "render/RayTest.h"
#include "render/SpriteMgr.h"
#include "skinmesh/SkinMesh.h"
#include "sound/SoundMgr.h"
#include "world/Camera.h"
#include "world/DeathParams.h"
#include "world/Engine.h"
#include "world/EngineObject.h"
#include "world/ObjectAction.h"
#include "world/ObjectKeys.h"
#include "world/ObjectRecord.h"
#include "world/WorldHooks.h"

namespace {

// Copies text into a fixed field, cut at the field.
template <size_t N> void CopyField(char (&field)[N], const char* text) {
    std::snprintf(field, N, "%s", text ? text : "");
}

bool IsEmpty(const char* s) {
    return !s || !*s;
}

// The FX of an object may only start once the level runs.
constexpr int32_t kFirstFxFrame = 150;

// Makes the object's own resources follow a new position, orientation or
// both (null for what did not change). A mesh rebuilds its world matrix from
// the new position unless a new orientation does it.
void FollowPlacement(ObjectRecord* h, const math::Vec3* position, const orientation* o) {
    switch (h->dwType) {
    case OT_MESH:
        g_EngineObject.OnObjectMoved(h);
        if (EMesh* mesh = h->Mesh()) {
            if (o)
                mesh->SetOrientation(o->quaternion);
            else
                mesh->UpdateWorldMatrix();
        }
        break;
    case OT_LIGHT:
        h->bCubeMapRendered = 0;
        break;
    case OT_SKINMESH:
        g_EngineObject.OnObjectMoved(h);
        if (ESkinMesh* skin = h->SkinMesh()) {
            if (position) skin->SetPosition(*position);
            if (o) skin->SetOrientation(*o);
        }
        break;
    case OT_SPRITE:
        if (position) g_SpriteMgr.SetSpritePosition(h, *position);
        if (o) g_SpriteMgr.SetSpriteOrientation(h, *o);
        break;
    }
}

// An optional block of the object: given, it is copied in (allocated on first
// use); null, the object's block is dropped.
template <class Block> void StoreBlock(Block*& slot, const Block* value) {
    if (!value) {
        delete slot;
        slot = nullptr;
        return;
    }
    if (!slot) slot = new Block;
    *slot = *value;
}

// A copy of the object's block, or a default one where it has none.
template <class Block> void LoadBlock(const Block* slot, Block* out) {
    *out = slot ? *slot : Block{};
}

} // namespace

// ---- Names -----------------------------------------------------------------------

void SetObjectName(ObjectRecord* h, const char* name) {
    if (h) CopyField(h->szName, name);
}

// ---- Position, orientation, scale ------------------------------------------------

void SetObjectPosition(ObjectRecord* h, const math::Vec3& position, bool keepStart) {
    if (!h) return;
    h->vPosition = position;
    if (!keepStart) h->vStartPosition = position;
    if (h->pFx) h->pFx->vPosition = h->pFx->vRenderPosition = position;
    FollowPlacement(h, &position, nullptr);
}

void SetObjectPositionAndOrientation(ObjectRecord* h, const math::Vec3& position, const orientation& o,
                                     bool keepStart) {
    if (!h) return;
    h->vPosition = position;
    if (!keepStart) h->vStartPosition = position;
    h->Orientation = o;
    if (h->pFx) {
        h->pFx->vPosition = h->pFx->vRenderPosition = position;
        h->pFx->Orientation = o;
    }
    FollowPlacement(h, &position, &o);
}

void GetObjectPosition(ObjectRecord* h, math::Vec3* out) {
    if (!h || !out) return;
    switch (h->dwType) {
    case OT_MESH:
        if (h->Mesh()) *out = h->vPosition;
        break;
    case OT_LIGHT:
        *out = h->vPosition;
        break;
    case OT_SKINMESH:
        if (ESkinMesh* skin = h->SkinMesh()) *out = h->vPosition = skin->GetPosition();
        break;
    case OT_SPRITE:
        if (h->pSprite) {
            g_SpriteMgr.GetSpritePosition(h, &h->vPosition);
            *out = h->vPosition;
        }
        break;
    }
}

void SetObjectOrientation(ObjectRecord* h, const orientation& o) {
    if (!h) return;
    h->Orientation = o;
    FollowPlacement(h, nullptr, &o);
}

void GetObjectOrientation(ObjectRecord* h, orientation* out) {
    if (!h || !out) return;
    if (EMesh* mesh = h->Mesh())
        mesh->GetOrientation(out);
    else if (ESkinMesh* skin = h->SkinMesh())
        *out = skin->GetOrientation();
    else if (h->dwType == OT_SPRITE)
        g_SpriteMgr.GetSpriteOrientation(h, out);
}

void SetObjectScale(ObjectRecord* h, const math::Vec3& scale) {
    if (!h) return;
    h->vScale = scale;
    if (EMesh* mesh = h->Mesh())
        mesh->SetScale(scale);
    else if (ESkinMesh* skin = h->SkinMesh())
        skin->SetScale(scale);
    else if (h->dwType == OT_SPRITE)
        g_SpriteMgr.SetSpriteScale(h, scale);
}

void GetObjectScale(ObjectRecord* h, math::Vec3* out) {
    if (!h || !out) return;
    if (EMesh* mesh = h->Mesh())
        mesh->GetScale(out);
    else if (ESkinMesh* skin = h->SkinMesh())
        *out = skin->GetScale();
    else if (h->dwType == OT_SPRITE)
        g_SpriteMgr.GetSpriteScale(h, out);
}

// ---- Flags ----------------------------------------------------------------------------

namespace {
uint32_t Masked(uint32_t old, uint32_t value, uint32_t mask) {
    return (old & ~mask) | (value & mask);
}
} // namespace

void SetObjectFlags(ObjectRecord* h, uint32_t value, uint32_t mask) {
    if (!h) return;
    const uint32_t old = h->dwFlags;
    h->dwFlags = Masked(old, value, mask);
    h->bVisible = (h->dwFlags & 1) ? 1 : 0;
    if (EMesh* mesh = h->Mesh(); mesh && !(old & 4) && (h->dwFlags & 4)) mesh->UpdateWorldMatrix();
    if (h->dwType == OT_SPRITE) g_SpriteMgr.SetSpriteFlags(h, h->dwFlags);
    g_IntersectSegment.RefreshObject(h);
}

void SetObjectFlags2(ObjectRecord* h, uint32_t value, uint32_t mask) {
    if (!h) return;
    h->dwFlags2 = Masked(h->dwFlags2, value, mask);
    if (h->dwType == OT_SPRITE) g_SpriteMgr.SetSpriteFlags2(h, h->dwFlags2);
    g_IntersectSegment.RefreshObject(h);
}

void SetObjectKindFlags(ObjectRecord* h, uint32_t value, uint32_t mask) {
    if (h) h->dwKindFlags = Masked(h->dwKindFlags, value, mask);
}

void GetObjectFlags(ObjectRecord* h, uint32_t* out) {
    if (h && out) *out = h->dwFlags;
}

void GetObjectFlags2(ObjectRecord* h, uint32_t* out) {
    if (h && out) *out = h->dwFlags2;
}

void GetObjectKindFlags(ObjectRecord* h, uint32_t* out) {
    if (h && out) *out = h->dwKindFlags;
}

void SetObjectDisappearRange(ObjectRecord* h, float range) {
    if (h) h->iDisappearRange = int32_t(std::lround(range));
}

void GetObjectDisappearRange(ObjectRecord* h, float* out) {
    if (h && out) *out = float(h->iDisappearRange);
}

void SetObjectRange(ObjectRecord* h, float range) {
    if (!h || h->dwType != OT_LIGHT) return;
    h->iRange = os::ClampToInt(std::round(range));
    h->bCubeMapRendered = 0;
}

// ---- Animation --------------------------------------------------------------------------

namespace {
// Every animation call keeps the name and loop flag in the record first.
ESkinMesh* KeepAnimation(ObjectRecord* h, const char* name, bool loop) {
    if (!h || h->dwType != OT_SKINMESH) return nullptr;
    CopyField(h->szAnimation, name);
    h->bAnimationLoop = loop ? 1 : 0;
    return h->SkinMesh();
}
} // namespace

void SetObjectAnimation(ObjectRecord* h, const char* name, bool loop, float blendTime, float speed) {
    if (ESkinMesh* skin = KeepAnimation(h, name, loop)) skin->SetAnimation(name, loop, blendTime, speed);
}

void SetObjectUpperAnimation(ObjectRecord* h, const char* name, bool loop, float value) {
    if (ESkinMesh* skin = KeepAnimation(h, name, loop)) skin->SetUpperAnimation(name, loop, value);
}

void SetObjectLowerAnimation(ObjectRecord* h, const char* name, bool loop, float value) {
    if (ESkinMesh* skin = KeepAnimation(h, name, loop)) skin->SetLowerAnimation(name, loop, value);
}

void SetObjectFaceAnimation(ObjectRecord* h, const char* name, bool loop, float value) {
    if (!h || !h->bUsed) return;
    if (ESkinMesh* skin = KeepAnimation(h, name, loop)) skin->SetFaceAnimation(name, loop, value);
}

bool IsObjectAnimationFinished(ObjectRecord* h) {
    if (h && h->dwType == OT_SKINMESH && h->SkinMesh()) return h->SkinMesh()->IsAnimationFinished();
    return true;
}

bool ObjectHasAnimation(ObjectRecord* h, const char* name) {
    if (!h) return false;
    if (h->dwType != OT_SKINMESH) return true;
    return h->SkinMesh() && h->SkinMesh()->HasAnimation(name);
}

bool GetObjectNodePosition(ObjectRecord* h, const char* node, math::Vec3* out) {
    ESkinMesh* skin = h ? h->SkinMesh() : nullptr;
    return skin && skin->GetNodePosition(node, out);
}

void UpdateObjectNodeMatrices(ObjectRecord* h) {
    if (ESkinMesh* skin = h ? h->SkinMesh() : nullptr) skin->UpdateNodeMatrices();
}

// ---- Blocks --------------------------------------------------------------------------------

void SetObjectSound(ObjectRecord* h, const char* fileName, float range, const char* condition) {
    if (!h) return;
    if (h->pSound) {
        if (h->pSound->pSound) {
            g_SoundMgr.StopSound(h->pSound->pSound);
            g_SoundMgr.DeleteSound(h->pSound->pSound);
        }
        delete h->pSound;
        h->pSound = nullptr;
    }
    if (IsEmpty(fileName)) return;
    h->pSound = new ObjectSound;
    CopyField(h->pSound->szFileName, fileName);
    h->pSound->fRange = range;
    CopyField(h->pSound->szCondition, condition);
}

void GetObjectSound(ObjectRecord* h, char* fileName, float* range, char* condition) {
    if (!h) return;
    const ObjectSound none;
    const ObjectSound& s = h->pSound ? *h->pSound : none;
    if (fileName) std::memcpy(fileName, s.szFileName, sizeof s.szFileName);
    if (range) *range = s.fRange;
    if (condition) std::memcpy(condition, s.szCondition, sizeof s.szCondition);
}

void SetObjectLoopSound(ObjectRecord* h, const char* name, float interval) {
    if (!h) return;
    if (IsEmpty(name)) {
        h->szRepeatSound[0] = 0;
        return;
    }
    if (h->dwType != OT_MESH) return;
    CopyField(h->szRepeatSound, name);
    h->fRepeatSoundInterval = std::max(interval, 6.0f);
}

void SetObjectDeathParams(ObjectRecord* h, const DeathParams& params) {
    if (!h) return;
    StoreBlock(h->pDeathParams, params.bOn ? &params : nullptr);
    if (params.bOn) h->fHealth = params.fHealth;
}

void GetObjectDeathParams(ObjectRecord* h, DeathParams* out) {
    if (h && out) LoadBlock(h->pDeathParams, out);
}

void SetObjectAction(ObjectRecord* h, const ObjectAction& action) {
    if (h) StoreBlock(h->pAction, action.dwGeneralOpt1 ? &action : nullptr);
}

void GetObjectAction(ObjectRecord* h, ObjectAction* out) {
    if (h && out) LoadBlock(h->pAction, out);
}

void SetObjectExtraBlock(ObjectRecord* h, const BlinkingBlock* block) {
    if (h) StoreBlock(h->pBlinking, block);
}

void SetObjectFxName(ObjectRecord* h, const char* name) {
    if (!h) return;
    if (h->pFx) {
        g_FxMgr.KillFx(h->pFx->dwIndex);
        h->pFx = nullptr;
    }
    if (IsEmpty(name)) {
        delete[] h->pFxName;
        h->pFxName = nullptr;
        return;
    }
    if (!h->pFxName) h->pFxName = new char[64]();
    std::snprintf(h->pFxName, 64, "%s", name);
    if (TheGameFrame().LevelFrame() < kFirstFxFrame) return;
    h->pFx = g_FxMgr.SpawnFxByName(h->pFxName, &h->vPosition, &h->Orientation);
}

void SetObjectNameList(ObjectRecord* h, const LightControlList& list) {
    if (h) StoreBlock(h->pLightControl, list.bOn && !h->bIsLight ? &list : nullptr);
}

void GetObjectNameList(ObjectRecord* h, LightControlList* out) {
    if (h && out) LoadBlock(h->pLightControl, out);
}

void SetObjectRigidBodyPhysicsParams(ObjectRecord* h, const RigidBodyPhysicsParams& params) {
    if (EMesh* mesh = h ? h->Mesh() : nullptr) mesh->SetRigidBodyPhysicsParams(&params);
}

void GetObjectRigidBodyPhysicsParams(ObjectRecord* h, RigidBodyPhysicsParams* out) {
    if (EMesh* mesh = h ? h->Mesh() : nullptr) mesh->GetRigidBodyPhysicsParams(out);
}

void SetObjectPathGenerationParams(ObjectRecord* h, const PathGenerationParams& params) {
    if (EMesh* mesh = h ? h->Mesh() : nullptr) mesh->SetPathGenerationParams(&params);
}

void GetObjectPathGenerationParams(ObjectRecord* h, PathGenerationParams* out) {
    if (EMesh* mesh = h ? h->Mesh() : nullptr) mesh->GetPathGenerationParams(out);
}

void SetObjectBezierMovingParams(ObjectRecord* h, const BezierMovingParams& params) {
    if (h) h->Bezier = params;
}

void GetObjectBezierMovingParams(ObjectRecord* h, BezierMovingParams* out) {
    if (h && out) *out = h->Bezier;
}

// ---- Physics -----------------------------------------------------------------------------

void RemoveObjectRigidBody(ObjectRecord* h) {
    if (!h || h->dwType != OT_MESH) return;
    // A construction object going away leaves its body without one.
    RigidBodySlot* own = g_RigidBodySimulation.SlotOf(h->dwRigidBody2);
    if (own && own->pBody && own->pBody->m_hConstructionObj == h) own->pBody->m_hConstructionObj = nullptr;
    g_RigidBodySimulation.RemoveBody(g_RigidBodySimulation.SlotOf(h->dwRigidBody));
    h->dwRigidBody = 0;
    h->dwRigidBody2 = 0;
}

void CreateObjectRigidBody(ObjectRecord* h, bool forced) {
    if (!h || h->dwType != OT_MESH) return;
    RemoveObjectRigidBody(h);
    EMesh* mesh = h->Mesh();
    if (!mesh) return;
    if (forced || !h->bWorldObject) {
        // Fresh settings, switched on: a box of the defaults.
        RigidBodyPhysicsParams params;
        params.Reset();
        params.iShape = 1;
        mesh->SetRigidBodyPhysicsParams(&params);
    }
    h->dwRigidBody = g_RigidBodySimulation.RefOf(g_RigidBodySimulation.AddBody(h));
}

void PutForceToObject(ObjectRecord* h, const math::Vec3& force, bool forced) {
    if (!h || !h->bUsed || h->dwType != OT_MESH) return;
    if (!h->dwRigidBody) CreateObjectRigidBody(h, forced);
    if (!h->dwRigidBody) {
        if (Debug > 0) g_Console.Print3("PutForceToObject: ", h->szName, " nie ma fizyki!");
        return;
    }
    if (Debug > 0) g_Console.Print2("PutForceToObject ", h->szName);
    const float raise = h->Mesh() ? h->Mesh()->Height() * 0.5f : 16.0f;
    const math::Vec3 point = h->vPosition + math::Vec3{0, raise, 0};
    g_RigidBodySimulation.ApplyImpulse(h, point, force);
}

// ---- Actions, sockets, ties ----------------------------------------------------------------

void RunObjectAction(ObjectRecord* h, bool flag) {
    if (h) g_EngineObject.RunAction(h, flag);
}

bool ReadObjectSocket(ObjectRecord* h, const char* socket, math::Vec3* position, orientation* o) {
    if (!h) return false;
    if (h->dwType == OT_MESH) {
        if (!g_MeshSocketsMgr.GetSocketWorldPosition(h, socket, position)) return false;
        if (o) GetObjectOrientation(h, o);
        return true;
    }
    if (ESkinMesh* skin = h->SkinMesh()) return skin->ReadSocket(socket, position, o);
    return false;
}

void SetObjectPendingTie(ObjectRecord* h, const char* objectName, const char* socketName) {
    if (!h) return;
    if (!h->pPendingTieObject) h->pPendingTieObject = new char[64]();
    if (!h->pPendingTieSocket) h->pPendingTieSocket = new char[64]();
    std::snprintf(h->pPendingTieObject, 64, "%s", objectName ? objectName : "");
    std::snprintf(h->pPendingTieSocket, 64, "%s", socketName ? socketName : "");
}

void GetObjectTie(ObjectRecord* h, uint8_t* tied, char* objectName, char* socketName) {
    if (!h) return;
    constexpr size_t kOut = 32;
    if (tied) *tied = h->bTied;
    if (std::strlen(h->szTieObject) > 30) g_Console.Print("!!! 3");
    if (std::strlen(h->szTieSocket) > 30) g_Console.Print("!!! 4");
    auto copy = [](char* out, const char* name) {
        const size_t n = strnlen(name, kOut - 1);
        std::memcpy(out, name, n);
        out[n] = 0;
    };
    if (objectName) copy(objectName, h->szTieObject);
    if (socketName) copy(socketName, h->szTieSocket);
}

// ---- Camera and hits ----------------------------------------------------------------------

void ForceCameraToLook(ObjectRecord* from, ObjectRecord* at) {
    if (Debug > 2) {
        g_Console.Print("EEngine::ForceCameraToLook");
        if (from) g_Console.Print("Jest from");
        if (at) g_Console.Print("Jest at");
    }
    if (g_Engine.m_hLookFrom) g_Engine.m_hLookFrom->dwFlags = g_Engine.m_dwLookFromFlags;
    g_Engine.m_hLookFrom = from;
    g_Engine.m_hLookAt = at;
    if (!from) {
        TheWorldHooks().StartCutFade();
        return;
    }
    g_Engine.m_dwLookFromFlags = from->dwFlags;
    from->dwFlags = 128;
    CurrentFOV = FOV;
    g_Camera.SetProjection();
    g_Camera.SetPosition(from->vPosition);
    TheWorldHooks().SetFadeState(3);
}

bool ActivateObjectOnHit(ObjectRecord* h, const math::Vec3& hit, const math::Vec3& attacker, float damage,
                         bool secondary) {
    if (!h) return false;
    TheWorldHooks().RegisterHit(h->szName);
    const DeathParams* dp = h->pDeathParams;
    if (!dp || !dp->bOn) return false;
    if (secondary ? !dp->bSecondaryHits : !dp->bPrimaryHits) return false;
    if (h->bIgnoresHits) return false;
    if (dp->szHandleDeathIf[0] && !TheWorldHooks().IsVariableSet(dp->szHandleDeathIf)) return false;
    if (dp->szSetWhenHit[0]) TheWorldHooks().SetVariable(dp->szSetWhenHit, h);
    if (dp->bHitAnim) SetObjectAnimation(h, dp->szHitAnimName, false, 0.0f, 1.0f);
    if (dp->bSoundWhenHit && dp->szSoundNameWhenHit[0] && h->iCameraDistance < 2000)
        g_SoundMgr.PlaySound3DOnce(dp->szSoundNameWhenHit, h->vPosition.data(), 3000.0f);
    if (dp->szActivateObjectOnHit[0]) {
        if (Debug > 1) g_Console.Print3(h->szName, " ActivateObjectOnHit ", dp->szActivateObjectOnHit);
        g_Engine.FireAction(dp->szActivateObjectOnHit, 0);
    }
    h->fHealth -= damage;
    if (dp->szKillOtherObjectIfHpLessThanObject[0] && h->fHealth < dp->fKillOtherObjectIfHpLessThanHp) {
        if (Debug > 0)
            g_Console.Printf("%s zabija %s bo HP ponizej progu %f", h->szName,
                             dp->szKillOtherObjectIfHpLessThanObject,
                             double(dp->fKillOtherObjectIfHpLessThanHp));
        g_EngineObject.HandleDeath(g_Engine.FindObjectByName(dp->szKillOtherObjectIfHpLessThanObject),
                                   nullptr, nullptr);
    }
    if (dp->szFXOnHit[0]) {
        if (Debug > 0) g_Console.Printf("%s wlacza FX %s", h->szName, dp->szFXOnHit);
        SetObjectFxName(h, dp->szFXOnHit);
    }
    if (h->fHealth <= 0.0f) {
        g_EngineObject.HandleDeath(h, &hit, &attacker);
        return true;
    }
    return false;
}

void EEngine::ApplyExplosion(const math::Vec3& point, float power) {
    constexpr float kReach = 320.0f;
    constexpr float kPushReach = 256.0f;
    constexpr int kMaxPushes = 16;
    int pushes = 0;
    for (int i = 0; i < m_iLightHighWater; ++i) {
        ObjectRecord* h = Object(i);
        if (!h->bUsed) continue;
        const math::Vec3 toObject = h->vPosition - point;
        const float d = math::Vec3Length(toObject);
        if (d >= kReach) continue;
        const DeathParams* dp = h->pDeathParams && h->pDeathParams->bOn ? h->pDeathParams : nullptr;
        const bool doomed = dp && dp->bExplosionHits && dp->bPaneCrashOn;

        if (pushes < kMaxPushes && d < kPushReach && !doomed && h->dwRigidBody && h->dwType == OT_MESH &&
            h->Mesh()) {
            ++pushes;
            const math::Vec3 impulse = math::Vec3Normalize(toObject) * (power * 4000.0f);
            g_RigidBodySimulation.ApplyImpulse(h, h->vPosition, impulse);
        }

        if (!dp || !dp->bExplosionHits) continue;
        if (doomed) {
            h->fHealth = -1.0f;
        } else {
            math::Vec3 start = point, end = h->vPosition;
            if (RayTestWorld(&start, &end, h, 0, nullptr, 0, 0, 0)) continue;
            h->fHealth -= (1.0f - d / kReach) * power * 600.0f;
        }
        if (dp->szKillOtherObjectIfHpLessThanObject[0] && h->fHealth < dp->fKillOtherObjectIfHpLessThanHp) {
            if (Debug > 0)
                g_Console.Printf("%s zabija %s bo HP ponizej progu %f", h->szName,
                                 dp->szKillOtherObjectIfHpLessThanObject,
                                 double(dp->fKillOtherObjectIfHpLessThanHp));
            g_EngineObject.HandleDeath(FindObjectByName(dp->szKillOtherObjectIfHpLessThanObject), nullptr,
                                       nullptr);
        }
        if (h->fHealth <= 0.0f) {
            h->bExplosionKilled = 1;
            h->fDeathCountdown = d / kReach + 0.1f;
        }
    }
    TheWorldHooks().OnExplosion(point, power);
}

// ---- Object references in binary files --------------------------------------------------

void FileWritePesel(std::FILE* f, const ObjectRecord* h) {
    if (!f) return;
    const PESEL pesel = h ? h->Pesel : PESEL{};
    FileWrite32(f, pesel.dwTime);
    FileWrite32(f, pesel.dwRand);
    FileWrite32(f, pesel.dwSlot);
}

void FileReadPesel(std::FILE* f, ObjectRecord** h) {
    if (!f || !h) return;
    uint32_t words[3] = {};
    for (uint32_t& w : words)
        FileRead32(f, &w);
    *h = g_Engine.FindObjectByPesel(words);
}
