// The behaviour layer's services: object copies and teleports on death, the
// helicopter downwash, object shooting, the ambient sound, camera
// positioning, doors, action voices, the HUD's direction pointer and sector
// visibility.
#include <cmath>
#include <cstring>

#include "actors/ItemMgr.h"
#include "actors/player/Player.h"
#include "actors/PostacMgr.h"
#include "actors/WeaponMgr.h"
#include "app/Console.h"
#include "app/FileHelpers.h"
#include "app/Options.h"
#include "app/TextMgr.h"
#include "game/Panel.h"
#include "platform/math/Math.h"
#include "platform/os/Os.h"
#include "render/DepthRender.h"
#include "render/FxMgr.h"
#include "render/Mesh.h"
#include "render/PostProcess.h"
#include "render/RayTest.h"
#include "sound/SoundMgr.h"
#include "world/Camera.h"
#include "world/DeathParams.h"
#include "world/Engine.h"
#include "world/EngineObject.h"
#include "world/EngineObjectLog.h"
#include "world/ObjectApi.h"
#include "world/ObjectKeys.h"
#include "world/ObjectRecord.h"

using objlog::Logged;
using objlog::Reported;

namespace {

constexpr float kDegree = 0.017453292f;
constexpr float kVoiceRange = 40960.0f;
constexpr float kShotSoundRange = 16384.0f;
constexpr float kDownwashInterval = 0.2f;
constexpr float kAmbientFade = 0.5f;  // fading sound, per second
constexpr float kAmbientSpeed = 0.7f; // current toward target, per second
constexpr uint32_t kSectorTableSize = 256;

bool g_bSectorHidden[kSectorTableSize];

// After a teleport: the state value at 32, the lit mark and a fresh sample.
void ResetTeleported(ObjectRecord* h) {
    h->fState32 = 0.0f;
    h->bLitByProbe = 1;
    h->bLightingSampled = 0;
}

} // namespace

// ---- Copies and teleports ---------------------------------------------------------------

ObjectRecord* EEngineObject::CopyObject(ObjectRecord* h) {
    if (!h || !h->bUsed || (h->dwType != OT_MESH && h->dwType != OT_SKINMESH)) return nullptr;
    ObjectRecord* c =
        g_Engine.CreateObject(h->dwType, h->szFileName, h->dwFlags, h->dwFlags2, h->vPosition.data());
    if (!c) {
        Reported("Copy creation of %s FAILED", h->szName);
        return nullptr;
    }
    SetObjectScale(c, h->vScale);

    // Run state, shooting, respawn and motion (1232..1323).
    c->fTimeSinceRun = h->fTimeSinceRun;
    c->bPassOnPending = h->bPassOnPending;
    c->bCameraPositioning = h->bCameraPositioning;
    c->fTimeSinceFired = h->fTimeSinceFired;
    c->fPassOnTimer = h->fPassOnTimer;
    c->bInMotion = h->bInMotion;
    c->bAtDestination = h->bAtDestination;
    c->bHasRun = h->bHasRun;
    c->dwRun1252 = h->dwRun1252;
    c->dwRun1256 = h->dwRun1256;
    c->dwRun1260 = h->dwRun1260;
    std::memcpy(c->fRun1264, h->fRun1264, sizeof c->fRun1264);
    c->bRun1292 = h->bRun1292;
    c->fRun1296 = h->fRun1296;
    c->dwRun1300 = h->dwRun1300;
    c->fRun1304 = h->fRun1304;
    c->bRun1308 = h->bRun1308;
    c->fRun1312 = h->fRun1312;
    c->dwRun1316 = h->dwRun1316;
    c->dwRun1320 = h->dwRun1320;
    c->pRespawnPath = h->pRespawnPath;
    c->pRespawnPlace = h->pRespawnPlace;
    // Death state.
    c->bDeath6228 = h->bDeath6228;
    c->dwDeath6232 = h->dwDeath6232;
    c->dwDeath6236 = h->dwDeath6236;
    c->dwDeath6240 = h->dwDeath6240;
    c->fDeath6244 = h->fDeath6244;
    c->fDeath6248 = h->fDeath6248;
    c->bDeath6252 = h->bDeath6252;
    c->bDeath6253 = h->bDeath6253;
    c->bDeath6254 = h->bDeath6254;
    c->iDisappearRange = h->iDisappearRange;
    c->fDeathCountdown = h->fDeathCountdown;
    c->bExplosionKilled = h->bExplosionKilled;
    c->bIgnoresHits = h->bIgnoresHits;
    c->fDeath6272 = h->fDeath6272;
    c->fDeath6276 = h->fDeath6276;
    c->bDeath6280 = h->bDeath6280;
    c->dwDeath6284 = h->dwDeath6284;
    c->dwDeath6288 = h->dwDeath6288;
    c->dwDeath6292 = h->dwDeath6292;
    // Light and lighting.
    c->fLightPower = h->fLightPower;
    c->fLightBasePower = h->fLightBasePower;
    c->fLightR = h->fLightR;
    c->fLightG = h->fLightG;
    c->fLightB = h->fLightB;
    c->bLightOn = h->bLightOn;
    c->vAmbient = h->vAmbient;
    c->iAmbientLightIdx = h->iAmbientLightIdx;
    c->iFogIdx = h->iFogIdx;
    c->bLitByProbe = h->bLitByProbe;
    c->vLightingPosition = h->vLightingPosition;
    c->fLightingTimer = h->fLightingTimer;
    // Ties and Bezier movement.
    c->bTied = h->bTied;
    c->pTiedTo = h->pTiedTo;
    std::memcpy(c->szTieSocket, h->szTieSocket, sizeof c->szTieSocket);
    std::memcpy(c->szTieObject, h->szTieObject, sizeof c->szTieObject);
    c->vTieOffset = h->vTieOffset;
    std::memcpy(c->fTieRotationSpeed, h->fTieRotationSpeed, sizeof c->fTieRotationSpeed);
    c->bTieTakesSocketRotation = h->bTieTakesSocketRotation;
    c->Bezier = h->Bezier;
    c->BezierState = h->BezierState;
    if (h->pFxName) {
        c->pFxName = new char[64];
        std::memcpy(c->pFxName, h->pFxName, 64);
    }

    // Blocks of its own.
    if (h->pAction) SetObjectAction(c, *h->pAction);
    if (h->pDeathParams) {
        SetObjectDeathParams(c, *h->pDeathParams);
        c->fHealth = h->fHealth;
    }
    if (h->dwType == OT_MESH && h->Mesh() && c->Mesh()) {
        RigidBodyPhysicsParams physics;
        physics.Reset();
        GetObjectRigidBodyPhysicsParams(h, &physics);
        physics.iShape = 0;
        SetObjectRigidBodyPhysicsParams(c, physics);
    }
    if (h->pBlinking) SetObjectExtraBlock(c, h->pBlinking);
    if (h->pSound) SetObjectSound(c, h->pSound->szFileName, h->pSound->fRange, h->pSound->szCondition);
    c->BaseOrientation = h->BaseOrientation;
    c->bBaseOrientationGiven = h->bBaseOrientationGiven;
    SetObjectPosition(c, h->vPosition);
    SetObjectOrientation(c, h->Orientation);
    return c;
}

void EEngineObject::TeleportObjectHereOnDeath(ObjectRecord* h) {
    if (!h || !h->bUsed || !h->pDeathParams || !h->pDeathParams->bTeleportObjectsHereUse) return;
    const DeathParams& dp = *h->pDeathParams;
    const math::Vec3 force{dp.fPhysicsHitTeleportedObjectsHitForce1, dp.fPhysicsHitTeleportedObjectsHitForce2,
                           dp.fPhysicsHitTeleportedObjectsHitForce3};
    for (const char* name : dp.szTeleportObjectsHere) {
        if (!name[0]) continue;
        ObjectRecord* o = g_Engine.FindObjectByName(name);
        if (!o) {
            Reported("TeleportObjectHereOnDeath from %s can't find %s", h->szName, name);
            continue;
        }
        if (dp.bTeleportObjectsHereCopy) {
            ObjectRecord* c = CopyObject(o);
            if (!c) {
                Reported("Copy object failed!");
                continue;
            }
            SetObjectOrientation(c, h->Orientation);
            SetObjectPosition(c, h->vPosition);
            ResetTeleported(c);
            if (dp.bPhysicsHitTeleportedObjectsOn) {
                Logged("Applying physics to object teleported (copied) here");
                PutForceToObject(c, force);
            }
        } else {
            SetObjectPosition(o, h->vPosition);
            ResetTeleported(o);
            if (dp.bPhysicsHitTeleportedObjectsOn) {
                Logged("Applying physics to object teleported (moved) here");
                PutForceToObject(o, force);
            }
        }
    }
}

// ---- Helicopter downwash -----------------------------------------------------------------------

void EEngineObject::UpdateDownwash(ObjectRecord* h) {
    h->fDownwashTimer -= m_fFrameTime;
    if (h->fDownwashTimer > 0.0f) return;
    h->fDownwashTimer = kDownwashInterval;
    const math::Vec3& eye = g_Camera.GetPosition();
    if (math::Vec3Length(h->vPosition - eye) >= 5000.0f) return;

    auto offset = [] { return ((os::Rand() & 1) ? 1.0f : -1.0f) * float(os::Rand()) * 256.0f / 65536.0f; };
    math::Vec3 start = h->vPosition + math::Vec3{offset(), 0.0f, offset()};
    math::Vec3 end = start - math::Vec3{0.0f, 2000.0f, 0.0f};
    if (!RayTestWorld(&start, &end, h, 0, nullptr, 0, 0, 0)) return;
    const math::Vec3 ground = start + math::Vec3{0.0f, 64.0f, 0.0f};
    const float d = math::Vec3Length(ground - eye);

    if (d < 4000.0f) g_FxMgr.SpawnFxByName("e_dymek_spod_helikoptera", &ground, nullptr);
    if (!g_Panel.m_bPanoramic && !g_Panel.m_bNextFlag && d < 2200.0f) {
        ShakeScreenParams p;
        p.fAmplitude1 = 0.6f;
        p.fPeriod1 = 0.2f;
        p.fAmplitude2 = 0.4f;
        p.fPeriod2 = 0.2f;
        p.fAmplitude3 = 0.3f;
        p.fPeriod3 = 0.4f;
        p.fDistance = 2200.0f;
        p.fDuration = 0.4f;
        g_Camera.ShakeScreen(p, ground);
    }
    if (d < 600.0f) {
        math::Vec3 away =
            g_Player.m_vPosition - ground;
        away.y = 0.0f;
        const float length = math::Vec3Length(away);
        if (length > 0.0f) {
            g_Player.m_vPush += away / length * ((1000.0f - d) * 0.2f);
            g_Player.m_bMovedByWorld = true;
        }
    }
    if (d < 2800.0f) {
        for (int slot = 0; slot < g_Engine.m_iMeshHighWater; ++slot) {
            ObjectRecord* o = g_Engine.Object(slot);
            if (!o->bUsed || !o->dwRigidBody) continue;
            const math::Vec3 away = o->vPosition - ground;
            const float distance = math::Vec3Length(away);
            if (distance >= 1000.0f || distance <= 0.0f) continue;
            PutForceToObject(o, away / distance * ((1000.0f - distance) * 0.7f));
        }
    }
}

// ---- Shooting -------------------------------------------------------------------------------------

void EEngineObject::UpdateShooting(ObjectRecord* h) {
    h->fShotTimer -= m_fFrameTime;
    if (h->fShotTimer > 0.0f) return;
    const ObjectAction* a = h->pAction;
    const ItemDescription* weapon = a ? g_ItemMgr.FindDescription(a->szShootWeapon) : nullptr;
    const bool atHero = a && StrCmpNoCase(a->szShootTarget, "hero") == 0;
    ObjectRecord* target = !a       ? nullptr
                           : atHero ? g_Player.m_hObject
                                    : g_Engine.FindObjectByName(a->szShootTarget);
    if (!weapon || !target) {
        h->bShooting = 0;
        return;
    }
    math::Vec3 muzzle = h->vPosition;
    if (h->dwType == OT_SKINMESH) {
        math::Vec3 socket;
        orientation o;
        if (ReadObjectSocket(h, "bron", &socket, &o)) muzzle = socket;
    }
    const math::Vec3 aim = atHero ? g_Camera.GetPosition() : target->vPosition;
    math::Vec3 direction = aim - muzzle;
    float length = math::Vec3Length(direction);
    if (length == 0.0f) length = 1.0f;
    orientation shot;
    shot.SetDirection(direction / length);
    const float spread = StrCmpNoCase(g_Engine.m_szCurrentWorld, "worlds\\level_09.w") == 0 ? 0.04f : 0.02f;
    shot.Rotate(shot.up, RandomFloat(2.0f * spread) - spread);
    shot.Rotate(shot.right, RandomFloat(2.0f * spread) - spread);

    g_WeaponMgr.FireBullet(weapon, muzzle, shot, h, 0, 1.0f);
    if (weapon->iNumFireSounds > 0)
        g_SoundMgr.PlaySound3DOnce(weapon->szFireSounds[os::Rand() % weapon->iNumFireSounds], muzzle.data(),
                                   kShotSoundRange);
    if (weapon->iNumMuzzleFx > 0)
        g_FxMgr.SpawnFxByName(weapon->szMuzzleFx[os::Rand() % weapon->iNumMuzzleFx], &muzzle, &shot);
    h->fShotTimer = weapon->fFireInterval;
    if (++h->dwShotsFired >= h->dwShotsToFire) h->bShooting = 0;
}

// ---- Ambient sound --------------------------------------------------------------------------------

void EEngineObject::SetAmbientSound(const char* name, float volume) {
    if (!name) return;
    m_fAmbientTargetVolume = volume > AMBIENT_MAX_VOLUME ? AMBIENT_MAX_VOLUME : volume;
    if (StrCmpNoCase(name, m_szAmbientSound) != 0)
        std::snprintf(m_szNextAmbientSound, sizeof m_szNextAmbientSound, "%s", name);
}

void EEngineObject::UpdateAmbientSound() {
    const float dt = m_fFrameTime;
    if (m_szNextAmbientSound[0]) {
        if (m_pFadingSound) {
            g_SoundMgr.StopSound(m_pFadingSound);
            g_SoundMgr.DeleteSound(m_pFadingSound);
        }
        m_pFadingSound = m_pAmbientSound;
        m_fFadingVolume = m_fAmbientVolume;
        m_pAmbientSound = nullptr;
        if (os::FileExists(m_szNextAmbientSound)) {
            m_pAmbientSound = g_SoundMgr.CreateSound(m_szNextAmbientSound);
            g_SoundMgr.SetSoundVolume(m_pAmbientSound, 0.0f);
            g_SoundMgr.PlaySound(m_pAmbientSound, true);
            m_fAmbientVolume = 0.0f;
            std::memcpy(m_szAmbientSound, m_szNextAmbientSound, sizeof m_szAmbientSound);
        }
        m_szNextAmbientSound[0] = 0;
        return;
    }
    if (m_pFadingSound) {
        m_fFadingVolume -= kAmbientFade * dt;
        if (m_fFadingVolume <= 0.0f) {
            g_SoundMgr.StopSound(m_pFadingSound);
            g_SoundMgr.DeleteSound(m_pFadingSound);
            m_pFadingSound = nullptr;
        } else {
            g_SoundMgr.SetSoundVolume(m_pFadingSound, m_fFadingVolume);
        }
    }
    if (!m_pAmbientSound) {
        m_fAmbientVolume = 0.0f;
        return;
    }
    StepTowards(&m_fAmbientVolume, m_fAmbientTargetVolume, kAmbientSpeed * dt);
    g_SoundMgr.SetSoundVolume(m_pAmbientSound, m_fAmbientVolume);
}

// ---- Camera positioning ------------------------------------------------------------------------------

void EEngineObject::StartCameraPositioning(ObjectRecord* h) {
    if (!h || !h->pAction || (g_Engine.m_hLookFrom && g_Engine.m_hLookAt)) return;
    m_CameraPositioning = h->pAction->CameraPositioning;
    m_bCameraMotionBlur = m_CameraPositioning.bMotionBlur;
    if (m_CameraPositioning.bBlur) g_Panel.m_fBlur = 1.0f;
    CurrentFOV = FOV;
    g_Camera.SetProjection();
    m_bCameraPositioning = true;
}

void EEngineObject::UpdateCameraPositioning() {
    if (!m_bCameraPositioning || (g_Engine.m_hLookFrom && g_Engine.m_hLookAt)) return;
    const float dt = m_fFrameTime;
    const CameraPositioningParams& p = m_CameraPositioning;
    if (p.bOn) {
        auto approach = [dt](float* value, float target, float speed) {
            if (speed == 0.0f)
                *value = target;
            else
                StepTowards(value, target, speed * dt);
        };
        approach(&m_fCameraBlend, p.fBlendTarget, p.fBlendSpeed);
        const float fov = CurrentFOV;
        approach(&CurrentFOV, p.fFovTarget, p.fFovSpeed);
        if (CurrentFOV != fov) g_Camera.SetProjection();
        return;
    }
    CurrentFOV = FOV;
    m_fCameraBlend = 0.0f;
    g_PostProcess.SetMaxCoC(2.0f);
    g_Panel.StartShortCutFade();
    m_bCameraPositioning = false;
    m_bCameraMotionBlur = 0;
}

// ---- Doors ----------------------------------------------------------------------------------------------

void EEngineObject::StartDoor(ObjectRecord* h) {
    if (!h || !h->pAction || h->bAtDestination) return;
    const ObjectAction& a = *h->pAction;
    float target = a.fDoor3;
    if (a.dwDoor2) {
        const math::Vec3 player = g_Player.m_vPosition;
        const math::Vec3 ahead = h->vPosition + h->Orientation.forward;
        if (math::Vec3Length(player - h->vPosition) < math::Vec3Length(player - ahead)) target = -target;
    }
    h->fDoorTarget = target;
    if (a.dwKnobGeneral1) h->bKnobPhase = 1;
    h->fDoorTimer = 0.0f;
}

bool EEngineObject::UpdateDoor(ObjectRecord* h) {
    if (!h || !h->pAction) return false;
    const ObjectAction& a = *h->pAction;
    const float dt = m_fFrameTime;
    const bool back = h->bAtDestination != 0;
    float& angle = h->fRun1264[ObjectRecord::RUN_DOOR_ANGLE];
    const float target = h->fDoorTarget;
    bool moving = true;
    if (!h->bKnobPhase) {
        if (!back) {
            const float k = target == 0.0f ? 1.0f : angle / target + 0.5f;
            StepTowards(&angle, target, a.fDoor4 * k * dt);
            moving = angle != target;
        } else {
            const float k = target == 0.0f ? 1.0f : 1.0f - angle / target + 0.5f;
            StepTowards(&angle, 0.0f, a.fDoor4 * k * dt);
            if (angle == 0.0f) h->bKnobPhase = 1; // the knob turns back next
        }
    } else if (!back) {
        StepTowards(&h->fKnobAngle, a.fKnobGeneral2, a.fKnobGeneral3 * dt);
        if (h->fKnobAngle == a.fKnobGeneral2) h->bKnobPhase = 0; // the door swings next
    } else {
        StepTowards(&h->fKnobAngle, 0.0f, a.fKnobGeneral3 * dt);
        if (h->fKnobAngle == 0.0f) {
            h->bKnobPhase = 0;
            moving = false;
        }
    }

    orientation o = h->BaseOrientation;
    o.Rotate(math::Vec3{0.0f, -1.0f, 0.0f}, angle * kDegree);
    SetObjectOrientation(h, o);

    if (a.dwKnobGeneral1 && a.szKnobObject[0]) {
        math::Vec3 position;
        orientation socket;
        ObjectRecord* knob = g_Engine.FindObjectByName(a.szKnobObject);
        if (knob && ReadObjectSocket(h, a.szKnobSocket, &position, &socket)) {
            socket.Rotate(socket.forward, h->fKnobAngle * kDegree);
            SetObjectPositionAndOrientation(knob, position, socket);
        }
    }
    return moving;
}

// ---- Voices and the direction pointer -------------------------------------------------------------

void EEngineObject::PlayActionVoice(ObjectRecord* h) {
    if (!h || !h->pAction) return;
    const ObjectAction& a = *h->pAction;
    const char* fields[4] = {a.szVoiceHawke, a.szVoiceFletch, a.szVoiceOther, a.szVoiceEnemy};
    int kind = 0;
    while (kind < 4 && !fields[kind][0])
        ++kind;
    if (kind == 4) {
        Reported("Nie ma klucza");
        Reported("Nie ma path");
        return;
    }
    char file[160];
    std::snprintf(file, sizeof file, "%s%s.wav", "voices\\Dialogues\\", fields[kind]);
    char label[80];
    std::snprintf(label, sizeof label, ">%s", fields[kind]);
    g_Panel.AddMessage(g_TextMgr.GetText(label));
    if (!os::FileExists(file)) {
        Reported("%s nie istnieje!", file);
        return;
    }
    if (kind < 2) {
        g_PostacMgr.PlayVoiceWithSubtitle(kind, file, label);
        return;
    }
    if (strSound* s = g_SoundMgr.CreateSound3D(file)) {
        s->bOneShot = 1;
        g_SoundMgr.SetSoundPosition(s, h->vPosition.data());
        g_SoundMgr.SetSoundRange(s, kVoiceRange);
        g_SoundMgr.PlaySound(s, false);
    }
}

void EEngineObject::SetDirectionPointer(const char* name) {
    m_szDirectionPointer[0] = 0;
    m_hDirectionPointer = nullptr;
    if (!name || !name[0]) return;
    Logged("Setting direction pointer to %s", name);
    if (ObjectRecord* o = g_Engine.FindObjectByName(name)) {
        m_hDirectionPointer = o;
        Logged("Object found and set as target.");
        std::snprintf(m_szDirectionPointer, sizeof m_szDirectionPointer, "%s", name);
        g_Panel.HighlightWaypoint();
    } else {
        Logged("Object not found, resetting direction pointer.");
    }
}

// ---- Sectors -------------------------------------------------------------------------------------------

void SetSectorHidden(uint32_t sector, bool hidden) {
    if (sector == 0) return;
    if (sector < kSectorTableSize) g_bSectorHidden[sector] = hidden;
    for (int slot = 0; slot < EEngine::MAX_OBJECTS; ++slot) {
        ObjectRecord* h = g_Engine.Object(slot);
        if (!h->bUsed || uint32_t(h->iSector) != sector) continue;
        h->bHiddenBySector = hidden ? 1 : 0;
        if (hidden && h->bIsLight && h->bHasCubeShadow) g_DepthRender.ReleaseCubeSlot(h);
    }
}

bool IsSectorHidden(uint32_t sector) {
    return sector < kSectorTableSize && g_bSectorHidden[sector];
}

void EEngineObject::ShowSectors(const int32_t* sectors) {
    for (int i = 0; i < ObjectAction::NUM_SECTORS; ++i)
        if (sectors[i] != 0) SetSectorHidden(uint32_t(sectors[i]), false);
    m_bSectorVisibilityChanged = true;
}

void EEngineObject::HideSectors(const int32_t* sectors) {
    for (int i = 0; i < ObjectAction::NUM_SECTORS; ++i)
        if (sectors[i] != 0) SetSectorHidden(uint32_t(sectors[i]), true);
}

void EEngineObject::DeleteSector(int32_t sector) {
    if (sector == 0) return;
    for (int slot = 0; slot < EEngine::MAX_OBJECTS; ++slot) {
        ObjectRecord* h = g_Engine.Object(slot);
        if (h->bUsed && h->iSector == sector) g_Engine.DeleteObject(h);
    }
}
