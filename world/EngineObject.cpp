// The behaviour layer's frame: UpdateBehaviour and its passes over the object
// table, the first-update preparation, the moved-object hook and the motion
// of an action's run (movement, rotation, pass-on wait).
#include "world/EngineObject.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "app/Console.h"
#include "app/Debug.h"
#include "app/FileHelpers.h"
#include "app/GameFrame.h"
#include "app/Options.h"
#include "app/Profiler.h"
#include "app/Records.h"
#include "physics/CollisionMgr.h"
#include "physics/IntersectSegment.h"
#include "physics/RigidBodySimulation.h"
#include "platform/math/Math.h"
#include "platform/os/Number.h"
#include "platform/os/Os.h"
#include "render/AmbientProbe.h"
#include "render/DepthRender.h"
#include "render/EffectMgr.h"
#include "render/EnvironmentSettings.h"
#include "render/FxMgr.h"
#include "render/Mesh.h"
#include "render/PostProcess.h"
#include "render/Renderer.h"
#include "render/SkyShadowMap.h"
#include "skinmesh/SkinMesh.h"
#include "sound/SoundMgr.h"
#include "world/BezierMgr.h"
#include "world/Camera.h"
#include "world/DeathParams.h"
#include "world/Engine.h"
#include "world/EngineObjectFlags.h"
#include "world/Filters.h"
#include "world/ObeCamera.h"
#include "world/ObjectApi.h"
#include "world/ObjectRecord.h"
#include "world/VisBlockers.h"
#include "world/WorldHooks.h"

EEngineObject g_EngineObject;

using namespace objflags;

namespace {

// Profiler ids of the passes.
constexpr int kProfileFinder = 32;
constexpr int kProfileAmbient = 34;
constexpr int kProfileObjects = 36;
constexpr int kProfileCubeSlots = 146;
constexpr int kProfileCameraPositioning = 147;
constexpr int kProfileVisibility = 148;
constexpr int kProfileMinigun = 149;
// The debug timer of the movers' step, a figure of the performance display.
constexpr int kTimerMovers = 410;

constexpr float kFinderMoveDistance = 256.0f;
constexpr float kFinderTurn = 0.1f;
constexpr float kFinderFarChange = 64.0f;
// The most the view direction turns before the camera volume follows: the
// angle whose chord is kFinderTurn.
constexpr float kFinderLagTurn = 0.10004f;
// What the volume's opening adds to the view's and to that turn: the larger,
// the nearer to its lagging apex the volume can be trusted.
constexpr float kFinderMargin = 0.2f;
// The widest half-opening the volume is given (80 degrees).
constexpr float kFinderMaxHalfAngle = 1.3962634f;
constexpr float kCubeMoveDistance = 64.0f;
constexpr float kVisibilityInterval = 0.3f;
constexpr float kNearReach = 800.0f;
constexpr float kNearReachScope = 1800.0f;
constexpr float kTriggerReach = 320.0f;
constexpr int32_t kFirstTriggerFrame = 202; // triggers work above it
constexpr int32_t kRespawnerDataFrame = 100;
constexpr int32_t kFirstSoundFrame = 200;
constexpr int32_t kFirstLightingFrame = 220;
constexpr uint32_t kFirstSafeSaveStep = 5;
constexpr float kUsableCountdown = 2.5f;
constexpr int32_t kUsableDistance = 640;
constexpr float kPlayerMovedDistance = 512.0f;
constexpr float kLightingMove = 128.0f;
// An object lit by a probe samples its ground again once it moved this far.
constexpr float kLightingResample = 32.0f;

constexpr uint32_t kParkedFlags = 192;
constexpr uint32_t kParkedFlags2 = 0x18011000;

// An object whose camera distance less its radius is below this casts into
// the near sky shadow map when it moves.
constexpr int32_t kNearShadowReach = 1536;

// A static mesh that moves casts into the near sky shadow map instead of the
// far one, which is drawn only now and then: one with a rigid body, one on a
// Bezier path, one whose action moves, turns or swings it as a door.
bool MovesItself(const ObjectRecord* h) {
    if (h->dwRigidBody || h->Bezier.bActive) return true;
    const ObjectAction* a = h->pAction;
    if (!a) return false;
    const bool moves = std::fabs(a->fMoving1) + std::fabs(a->fMoving2) + std::fabs(a->fMoving3) > 0.0f;
    const bool turns = a->fRotation1 != 0.0f || a->fRotation2 != 0.0f || a->fRotation3 != 0.0f;
    return moves || turns || a->dwDoor1;
}

// The dynamic-shadow and near-dynamic bytes of a mesh or skinned mesh, and
// the renderer's near-meshes bytes for the near map's casters; recomputed
// every frame, so that a caster that leaves takes its marks with it.
void MarkShadowCaster(ObjectRecord* h) {
    const bool skinned = h->dwType == OT_SKINMESH;
    if (!skinned && h->dwType != OT_MESH) return;
    h->bDynamicShadow = (skinned || MovesItself(h)) ? 1 : 0;
    h->bNearDynamic = g_EnvironmentSettings.m_bSkyLightInUse && h->bDynamicShadow &&
                              !(h->dwFlags2 & kFlag2NoSkyShadow) &&
                              std::abs(h->iCameraDistance - h->iRange) < kNearShadowReach
                          ? 1
                          : 0;
    if (!h->bNearDynamic) return;
    if (skinned) {
        g_Renderer.m_bNearSkinMeshes = 1;
    } else {
        g_Renderer.m_bNearMeshes = 1;
    }
}

float Dot(const math::Vec3& a, const math::Vec3& b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

bool SaveOrLoadBefore(uint32_t step) {
    return TheWorldHooks().SaveBusy() && TheWorldHooks().SaveStep() < step;
}

// The camera's far distance for one object (second-flag bit 5 counts as very far).
float FarDistance(const ObjectRecord* h) {
    return (h->dwFlags2 & kFlag2VeryFar) ? 20000.0f : g_Camera.GetFarZ();
}

// The sphere (position, range) in front of the camera plane and not beyond
// the far distance.
bool InView(const ObjectRecord* h, const math::Vec3& eye, const math::Vec3& forward) {
    const float ahead = Dot(h->vPosition - eye, forward);
    if (ahead < -(float(h->iRange) + 0.5f)) return false;
    return float(h->iCameraDistance - h->iRange) <= FarDistance(h);
}

// A light's visibility once its distances are known.
bool LightVisible(const ObjectRecord* h, const math::Vec3& eye, const math::Vec3& forward) {
    if ((h->dwFlags2 & kFlag2ShadowLight) && !DrawShadows) return false;
    if (!RecalculateCamera) return false;
    if (h->iDisappearRange > 1 && h->iDisappearRange < h->iCameraDistance) return false;
    if (h->iDisappearRange <= 0 && h->iCameraDistance < h->iRange) return true;
    return InView(h, eye, forward);
}

// The half-opening of the cone about the view direction that holds the whole
// view: the angle of its corners, from the projection the device draws with.
// An orthographic view has no such cone.
float ViewHalfAngle() {
    const math::Matrix& p = g_Camera.Projection();
    if (g_Camera.IsOrthographic() || p.m[0][0] <= 0.0f || p.m[1][1] <= 0.0f) return 0.5f * math::kPi;
    const float side = 1.0f / p.m[0][0], up = 1.0f / p.m[1][1];
    return std::atan(std::sqrt(side * side + up * up));
}

// Which objects the camera volume may decide this frame. It lags the camera:
// its apex may stand up to 256 units from the eye and its axis be turned
// from the view direction. Seen from a point D from the apex, the eye's
// offset L turns the point's direction by at most asin(L / D); so every
// point of the view at least L / sin(spare) from the apex is inside the
// volume, spare being the volume's half-opening less the view's and less the
// turn, as long as it is no farther than the reach of the volume's sides.
// The volume's test is of the object's box, and a mesh lies within its
// range of its position. Other objects are decided by the view test alone.
struct CameraVolumeTrust {
    const Finder* finder = nullptr; // the camera volume, when there is one
    bool holdsView = false;         // false: it decides for no object
    math::Vec3 apex;
    float nearest = 0; // from the apex on, the volume holds the view
    float reach = 0;   // up to here from the apex, its sides do

    CameraVolumeTrust(const Finder* volume, const math::Vec3& eye, const math::Vec3& forward)
        : finder(volume) {
        if (!finder || !finder->bUsed) return;
        const float half = 0.5f * finder->fAngle;
        const float along = std::clamp(Dot(forward, finder->Frame.forward), -1.0f, 1.0f);
        const float spare = half - ViewHalfAngle() - std::acos(along);
        if (spare <= 0.0f) return;
        holdsView = true;
        apex = finder->vPosition;
        nearest = math::Vec3Distance(eye, apex) / std::sin(spare);
        reach = finder->fRange * std::cos(half);
    }

    bool Decides(const ObjectRecord* h) const {
        if (!holdsView) return false;
        const float r = float(h->iRange) + 1.0f; // the range is rounded
        const float inner = nearest + r, outer = reach - r;
        const float d2 = math::Vec3LengthSq(h->vPosition - apex);
        return outer > 0.0f && d2 >= inner * inner && d2 <= outer * outer;
    }
};

// Another object's: the same test, and inside the camera's collision finder
// where that can be trusted; elsewhere a character hidden from the eye by
// the blockers is left out as the finder would.
bool ObjectVisible(ObjectRecord* h, const math::Vec3& eye, const math::Vec3& forward,
                   const CameraVolumeTrust& volume) {
    if (!RecalculateCamera) return false;
    if (h->iDisappearRange > 1 && h->iDisappearRange < h->iCameraDistance) return false;
    if (h->iDisappearRange <= 0 && h->iCameraDistance < h->iRange) return true;
    if (!InView(h, eye, forward)) return false;
    if (volume.Decides(h)) return g_CollisionMgr.IsObjectInLightFinder(volume.finder, h, 0);
    return !(volume.finder && h->SkinMesh() && g_VisBlockers.IsObjectHidden(eye, h));
}

} // namespace

// ---- The frame ----------------------------------------------------------------------------

void EEngineObject::UpdateBehaviour() {
    std::memset(m_fStatistics, 0, sizeof m_fStatistics);
    ++m_dwFrameCounter;
    if (g_Engine.m_bCameraPlaced) m_bSectorVisibilityChanged = true;
    m_dwObjectsTested = 0;
    m_dwTriggersTested = 0;
    TheWorldHooks().ClearUsableObject();
    m_fFrameTime = g_Engine.m_fFrameTime;

    ProfilerStart(kProfileFinder);
    UpdateCameraFinder();
    ProfilerStop(kProfileFinder);

    ProfilerStart(kProfileAmbient);
    UpdateAmbientSound();
    ProfilerStop(kProfileAmbient);

    if (TheGameFrame().LevelFrame() == kRespawnerDataFrame) {
        char file[160];
        RespawnerFileName(file, sizeof file);
        if (RespawnerDataExists(file)) {
            LoadRespawnerData(file);
        } else {
            ComputeRespawnerData();
            SaveRespawnerData(file);
        }
    }

    ProfilerStart(kProfileObjects);
    UpdateObjects();
    ProfilerStop(kProfileObjects);

    ProfilerStart(kProfileCubeSlots);
    UpdateCubeShadowSlots();
    ProfilerStop(kProfileCubeSlots);

    ProfilerStart(kProfileCameraPositioning);
    UpdateCameraPositioning();
    ProfilerStop(kProfileCameraPositioning);

    ProfilerStart(kProfileVisibility);
    UpdateVisibility();
    ProfilerStop(kProfileVisibility);

    ProfilerStart(kProfileMinigun);
    UpdateMiniguns();
    ProfilerStop(kProfileMinigun);
}

void EEngineObject::InvalidateCameraPosition() {
    for (float* c : {&m_vFinderPosition.x, &m_vFinderPosition.y, &m_vFinderPosition.z}) {
        const float sign = (os::Rand() & 1) ? 1.0f : -1.0f;
        *c = RandomFloat(1.0f) * 50000.0f * 64.0f * sign;
    }
}

void EEngineObject::UpdateCameraFinder() {
    const math::Vec3& eye = g_Camera.GetPosition();
    const math::Vec3& forward = g_Camera.Orientation().forward;
    const float farZ = g_Camera.GetFarZ();
    if (math::Vec3Distance(eye, m_vFinderPosition) <= kFinderMoveDistance &&
        math::Vec3Distance(forward, m_vFinderDirection) <= kFinderTurn &&
        std::fabs(farZ - m_fFinderFarZ) <= kFinderFarChange)
        return;
    m_vFinderPosition = eye;
    m_vFinderDirection = forward;
    m_fFinderFarZ = farZ;
    // The volume opens wider than the view by the turn it may lag and a
    // margin, and its sides reach the far distance even from an apex left
    // behind and for a far distance grown, both within what keeps it still.
    const float half = std::min(ViewHalfAngle() + kFinderLagTurn + kFinderMargin, kFinderMaxHalfAngle);
    m_fFinderAngle = 2.0f * half;
    m_fFinderRange = (farZ + kFinderMoveDistance + kFinderFarChange) / std::cos(half);
    g_CollisionMgr.MoveProjectorFinder(m_pCameraFinder, &eye, &g_Camera.Orientation(), m_fFinderRange,
                                       m_fFinderAngle);
}

// ---- The per-object pass -------------------------------------------------------------------

void EEngineObject::UpdateObjects() {
    if (!::UpdateObjects) return;
    if (!TheGameFrame().MenuOpen() && UpdateBezier) {
        if (DebugPerformance) g_Debug.StartTimer(kTimerMovers);
        g_BezierMgr.UpdateObjects(m_fFrameTime);
        if (DebugPerformance) g_Debug.m_fMovableUpdate = g_Debug.GetTimerElapsed(kTimerMovers);
    }

    m_bActionsAllowed = g_Engine.m_bWorldRunning && TheGameFrame().LevelFrame() > kFirstTriggerFrame &&
                        !SaveOrLoadBefore(kFirstSafeSaveStep) && !TheGameFrame().LoadingActive();
    m_vPlayerPosition = TheWorldHooks().PlayerPosition();
    if (!m_bActionsAllowed) m_vPreviousPlayerPosition = m_vPlayerPosition;
    const float nearReach = g_Camera.SniperZoom() > 0.0f ? kNearReachScope : kNearReach;

    g_Engine.ForEachSlotBelowHighWater([&](int slot) {
        ObjectRecord* h = g_Engine.Object(slot);
        if (!h->bUsed || h->bHiddenBySector) return;
        UpdateObject(h, nearReach);
    });
    m_vPreviousPlayerPosition = m_vPlayerPosition;

    UpdateTies();

    for (int slot = EEngine::FIRST_SKINMESH; slot < g_Engine.m_iSkinMeshHighWater; ++slot) {
        ObjectRecord* h = g_Engine.Object(slot);
        if (h->bUsed && !(h->dwFlags2 & kFlag2NoNodeRefresh)) UpdateObjectNodeMatrices(h);
    }
}

void EEngineObject::UpdateObject(ObjectRecord* h, float nearReach) {
    const float dt = m_fFrameTime;
    h->bHitThisFrame = 0;
    h->fTimeSinceRun += dt;
    ++h->dwFrameCounter;

    h->bNearCamera = 0;
    const float eyeY = g_Camera.GetPosition().y;
    if (h->iRange > 128 && h->iCameraDistance - h->iRange < 3000 && h->dwType == OT_MESH &&
        (h->dwFlags & kFlagNearCameraMesh) && !(h->dwFlags & kFlagNoNearCamera) &&
        h->vPosition.y - float(h->iRange) <= eyeY + nearReach &&
        h->vPosition.y + float(h->iRange) >= eyeY - nearReach)
        h->bNearCamera = 1;

    if (h->dwFlags & kFlagFrozen) return;
    if (!h->bNeedsUpdateFixed) RefreshNeedsUpdate(h);
    if (h->dwType == OT_MESH || h->dwType == OT_SKINMESH)
        h->bLitByProbe = (h->dwType == OT_SKINMESH || !(h->dwFlags2 & kFlag2FixedColour)) ? 1 : 0;
    h->vLightingPosition = h->vPosition;
    if (!h->bNeedsUpdate) return;

    if (h->dwFlags & kFlagUnimportant) {
        if (!DrawNotImportant) {
            if (!h->bUnimportantParked) {
                h->dwParkedFlags = h->dwFlags;
                h->dwParkedFlags2 = h->dwFlags2;
                h->bUnimportantParked = 1;
                h->dwFlags = kParkedFlags;
                h->dwFlags2 = kParkedFlags2;
                g_SkyShadowMap.MarkStale();
            }
            return;
        }
        if (h->bUnimportantParked) {
            h->dwFlags = h->dwParkedFlags;
            h->dwFlags2 = h->dwParkedFlags2;
            h->bUnimportantParked = 0;
            g_SkyShadowMap.MarkStale();
        }
    }

    ++m_dwObjectsTested;
    if (h->bDownwash) UpdateDownwash(h);
    if (h->bIsItWire) UpdateSway(h);
    if (h->pFxName && !h->pFx && g_Engine.m_bWorldRunning) {
        char fx[64];
        std::memcpy(fx, h->pFxName, sizeof fx);
        SetObjectFxName(h, fx);
    }
    UpdateSounds(h);
    if (h->bShooting) UpdateShooting(h);
    if (h->dwFlags2 & kFlag2FixedColour) UpdateLightingSample(h);

    if (ESkinMesh* skin = h->SkinMesh()) {
        skin->SetLowPoly(h->iCameraDistance > int32_t(nearReach));
        skin->Update();
    }

    if (h->pAction && m_bActionsAllowed) {
        if (h->bPassOnPending || h->bInMotion) UpdateActionMotion(h);
        UpdateTriggerZone(h);
    }

    if (h->pAction && h->pAction->szRespawnCharacterName[0] && h->bHasRun) {
        UpdateRespawn(h);
        ++m_dwRespawnUpdates;
    }

    if ((h->dwFlags & kFlagUsable) && h->fDeathCountdown <= kUsableCountdown &&
        h->iCameraDistance < kUsableDistance) {
        TheWorldHooks().ShowUsableObject(h->vPosition);
    }

    if (h->fDeathCountdown > 0.0f) {
        h->fDeathCountdown -= dt;
        if (h->fDeathCountdown <= 0.0f) HandleDeath(h, nullptr, nullptr);
    }
}

void EEngineObject::RefreshNeedsUpdate(ObjectRecord* h) {
    h->bNeedsUpdate =
        (h->pSound || h->bIsLight || h->dwType == OT_SKINMESH || h->pAction || h->pDeathParams ||
         h->pBlinking || h->dwType == 8 || h->bShooting || (h->dwFlags & kFlagUsable))
            ? 1
            : 0;
}

void EEngineObject::UpdateTriggerZone(ObjectRecord* h) {
    const ObjectAction& a = *h->pAction;
    if (!a.dwGeneral21 || !a.dwGeneralOpt1 || !a.dwGeneralOpt2) return;
    if (a.dwGeneral22 && h->bHasRun) return;
    if (g_ObeCamera.IsRunning()) return;
    const float distance = math::Vec3Distance(h->vPosition, m_vPlayerPosition);
    if (distance >= float(h->iRange) && distance >= kTriggerReach) return;
    ++m_dwTriggersTested;
    bool fires = true;
    if (h->dwType == OT_MESH) {
        const EMesh* mesh = h->Mesh();
        fires = mesh && mesh->IntersectSegmentBox(&m_vPreviousPlayerPosition, &m_vPlayerPosition);
    }
    if (TheWorldHooks().SaveBusy() && TheWorldHooks().SaveStep() <= kFirstSafeSaveStep) fires = false;
    if (fires) RunAction(h, true);
}

void EEngineObject::UpdateSway(ObjectRecord* h) {
    h->fSwayPhase += m_fFrameTime * h->fSwaySpeed;
    if (h->fSwayPhase > math::kTwoPi) {
        h->fSwayPhase -= math::kTwoPi;
        h->fSwayFactor = 0.1f + RandomFloat(0.3f);
        h->fSwaySpeed = 0.6f + RandomFloat(0.7f);
    }
}

void EEngineObject::UpdateSounds(ObjectRecord* h) {
    if (ObjectSound* s = h->pSound; s && TheGameFrame().LevelFrame() >= kFirstSoundFrame) {
        const bool wanted = math::Vec3Distance(g_Camera.GetPosition(), h->vPosition) < s->fRange &&
                            (!s->szCondition[0] || TheWorldHooks().IsVariableSet(s->szCondition));
        if (wanted && !s->pSound) {
            s->pSound = g_SoundMgr.StartSound3D(s->szFileName, h->vPosition.data(), s->fRange, true, true);
        } else if (!wanted && s->pSound) {
            g_SoundMgr.StopSound(s->pSound);
            g_SoundMgr.DeleteSound(s->pSound);
            s->pSound = nullptr;
        }
    }
    if (h->szRepeatSound[0]) {
        h->fRepeatSoundTimer += m_fFrameTime;
        if (h->fRepeatSoundTimer > h->fRepeatSoundInterval &&
            float(h->iRange) >= 1.2f * float(h->iPlayerDistance)) {
            g_SoundMgr.PlaySound3DOnce(h->szRepeatSound, h->vPosition.data(), 4.0f * float(h->iRange));
            h->fRepeatSoundTimer = 0.0f;
        }
    }
}

void EEngineObject::UpdateLightingSample(ObjectRecord* h) {
    h->fLightingTimer += m_fFrameTime;
    if (h->bIsLight || !g_Engine.m_bWorldRunning || TheGameFrame().LevelFrame() < kFirstLightingFrame) return;
    const bool moved =
        math::Vec3Distance(h->vPosition, h->vLightingSample) > kLightingResample && h->fLightingTimer > 0.2f;
    if (!moved && !h->bAmbientReprobe && h->bLightingSampled) return;
    h->fLightingTimer = 0.0f;
    GroundSample ground;
    if (!SampleGround(h, &ground)) {
        // Asked again at the next refresh.
        h->bLightingSampled = 0;
        return;
    }
    h->vLightingSample = h->vPosition;
    h->bLightingSampled = 1;
    // The request answers a re-probe; a full queue asks for one again.
    h->bAmbientReprobe = 0;
    g_AmbientProbe.QueueProbe(h, ground.vPoint, ground.hGround, ground.dwTextureId);
}

bool EEngineObject::SampleGround(ObjectRecord* h, GroundSample* out) {
    if (!h || !out) return false;
    const float d = LIGHTING_SAMPLE_SPREAD;
    const math::Vec3 offsets[5] = {{0, 0, 0}, {d, 0, 0}, {-d, 0, 0}, {0, 0, d}, {0, 0, -d}};
    SegmentHit hits[5];
    bool hit[5] = {};
    for (int i = 0; i < 5; ++i) {
        const math::Vec3 start = h->vPosition + offsets[i] + math::Vec3{0, LIGHTING_SAMPLE_RISE, 0};
        const math::Vec3 end = start - math::Vec3{0, LIGHTING_SAMPLE_LENGTH, 0};
        SegmentQuery q;
        q.pStart = &start;
        q.pEnd = &end;
        q.pFilter = ObjectFilter6;
        q.pFilterArgument = h;
        hit[i] = g_IntersectSegment.Test(q, &hits[i]) && hits[i].hObject;
        // Without the centre hit there is nothing to probe.
        if (i == 0 && !hit[0]) return false;
    }
    int votes = 0;
    for (int i = 0; i < 5; ++i)
        if (hit[i] && std::fabs(hits[i].vPoint.y - hits[0].vPoint.y) <= LIGHTING_SAMPLE_AGREE) ++votes;
    if (votes < LIGHTING_SAMPLE_VOTES) return false;
    out->hGround = hits[0].hObject;
    out->vPoint = hits[0].vPoint;
    out->dwTextureId = hits[0].dwTextureId;
    return true;
}

// ---- Ties to sockets --------------------------------------------------------------------------

void EEngineObject::UpdateTies() {
    g_Engine.ForEachSlotBelowHighWater([&](int slot) {
        ObjectRecord* h = g_Engine.Object(slot);
        if (!h->bUsed || !h->bTied) return;
        if (!h->pTiedTo) {
            h->pTiedTo = g_Engine.FindObjectByName(h->szTieObject);
            if (!h->pTiedTo) {
                g_Console.Print2(h->szName, " - niby przywiazany, ale nie ma obiektu do przywiazania!");
                return;
            }
        }
        ObjectRecord* target = h->pTiedTo;
        if (!(h->dwFlags & kFlagVisible) && !(target->dwFlags & kFlagVisible)) return;
        if (target->dwType == OT_SKINMESH) UpdateObjectNodeMatrices(target);
        math::Vec3 position;
        orientation socket;
        if (!ReadObjectSocket(target, h->szTieSocket, &position, &socket)) {
            g_Console.Print2("No socket to tie object: ", h->szTieSocket);
            return;
        }
        position += h->vTieOffset;
        if (h->bTieTakesSocketRotation) {
            orientation o = socket;
            const math::Vec3 axes[3] = {socket.forward, socket.right, socket.up};
            for (int i = 0; i < 3; ++i)
                if (h->fTieRotationSpeed[i] != 0.0f) o.Rotate(axes[i], h->fTieRotationSpeed[i]);
            SetObjectPositionAndOrientation(h, position, o);
        } else {
            SetObjectPosition(h, position);
        }
    });
}

// ---- Cube-shadow slots ---------------------------------------------------------------------

void EEngineObject::UpdateCubeShadowSlots() {
    const math::Vec3& eye = g_Camera.GetPosition();
    const math::Vec3& forward = g_Camera.Orientation().forward;
    const bool due = math::Vec3Distance(eye, m_vCubeCameraPosition) > kCubeMoveDistance ||
                     math::Vec3Distance(forward, m_vCubeCameraDirection) > kFinderTurn ||
                     TheGameFrame().LevelFrame() < 250 || SaveOrLoadBefore(10) || m_dwFrameCounter < 5;
    if (!due) return;
    m_vCubeCameraPosition = eye;
    m_vCubeCameraDirection = forward;

    const int wanted = (NumApprovedLights >= 1 && NumApprovedLights <= 31) ? NumApprovedLights : 32;
    // The nearest shadow-casting lights keep or take a slot; a fixed array
    // of the nearest ones, kept sorted by insertion, avoids any allocation.
    ObjectRecord* nearest[32] = {};
    float distance[32] = {};
    int count = 0;
    for (int slot = EEngine::FIRST_LIGHT; slot < g_Engine.m_iLightHighWater; ++slot) {
        ObjectRecord* h = g_Engine.Object(slot);
        if (!h->bUsed || !(h->dwFlags & kFlagCubeShadow) || h->bHiddenBySector) continue;
        const float d = math::Vec3Distance(h->vPosition, eye);
        int at = count < wanted ? count : wanted;
        while (at > 0 && distance[at - 1] > d)
            --at;
        if (at >= wanted) continue;
        const int last = count < wanted ? count : wanted - 1;
        for (int i = last; i > at; --i) {
            nearest[i] = nearest[i - 1];
            distance[i] = distance[i - 1];
        }
        nearest[at] = h;
        distance[at] = d;
        if (count < wanted) ++count;
    }
    auto isNearest = [&](const ObjectRecord* h) {
        for (int i = 0; i < count; ++i)
            if (nearest[i] == h) return true;
        return false;
    };
    for (int slot = EEngine::FIRST_LIGHT; slot < g_Engine.m_iLightHighWater; ++slot) {
        ObjectRecord* h = g_Engine.Object(slot);
        if (h->bUsed && h->bHasCubeShadow && !isNearest(h)) g_DepthRender.ReleaseCubeSlot(h);
    }
    for (int i = 0; i < count; ++i)
        if (!nearest[i]->bHasCubeShadow) g_DepthRender.AssignCubeSlot(nearest[i]);
}

// ---- Visibility ------------------------------------------------------------------------------------

void EEngineObject::UpdateVisibility() {
    const bool forcedLook = g_Engine.m_hLookFrom && g_Engine.m_hLookAt;
    if (g_Engine.m_bCameraPlaced || forcedLook || g_ObeCamera.IsRunning()) m_bSectorVisibilityChanged = true;
    m_fVisibilityTimer -= m_fFrameTime;
    if (m_fVisibilityTimer <= 0.0f) {
        m_bSectorVisibilityChanged = true;
        m_fVisibilityTimer = kVisibilityInterval;
    }

    auto classify = [](ObjectRecord* h) {
        const bool isMesh = h->dwType == OT_MESH;
        h->bSkyLit = (UseSkyLight && !(h->dwFlags2 & kFlag2NoSkyLight)) ? 1 : 0;
        // The second byte of each pair runs the skinned-mesh passes: only a
        // skinned mesh sets it (lights, triggers and sprites draw nothing in
        // them).
        if (isMesh || h->dwType == OT_SKINMESH)
            g_EngineSharedFlags.bBytes[(h->bSkyLit ? 0 : 2) + (isMesh ? 0 : 1)] = 1;
        return isMesh;
    };

    g_Renderer.m_bNearMeshes = g_Renderer.m_bNearSkinMeshes = 0;
    if (DrawPhysics) {
        g_Engine.ForEachSlotBelowHighWater([&](int slot) {
            ObjectRecord* h = g_Engine.Object(slot);
            if (!h->bUsed) return;
            classify(h);
            MarkShadowCaster(h);
        });
        m_bSectorVisibilityChanged = false;
        return;
    }

    const math::Vec3& eye = g_Camera.GetPosition();
    const math::Vec3& forward = g_Camera.Orientation().forward;
    const bool recompute = m_bSectorVisibilityChanged;
    const CameraVolumeTrust volume(m_pCameraFinder, eye, forward);
    g_Engine.ForEachSlotBelowHighWater([&](int slot) {
        ObjectRecord* h = g_Engine.Object(slot);
        if (!h->bUsed) return;
        if (h->bHiddenBySector) {
            h->bNearDynamic = 0;
            return;
        }
        // An invisible object is not drawn; a frozen one keeps its mark.
        // Both still have their distances kept.
        if (!(h->dwFlags & kFlagVisible)) h->bVisibleNow = 0;
        const bool decide = (h->dwFlags & kFlagVisible) && !(h->dwFlags & kFlagFrozen);
        h->fVisibilityTimer -= m_fFrameTime;

        if (h->bIsLight) {
            if ((h->dwFlags & kFlagUnimportant) && !DrawNotImportant) {
                h->bVisibleNow = 0;
            } else if (recompute) {
                h->iCameraDistance = os::ClampToInt(math::Vec3Distance(h->vPosition, eye));
                h->iPlayerDistance = os::ClampToInt(math::Vec3Distance(h->vPosition, m_vPlayerPosition));
                if (decide) h->bVisibleNow = LightVisible(h, eye, forward) ? 1 : 0;
            }
        } else if (h->dwType != OT_SPRITE) {
            if ((h->dwFlags & kFlagUnimportant) && !DrawNotImportant) {
                h->bVisibleNow = 0;
            } else if (h->dwFlags & kFlagStickMarker) {
                h->bVisibleNow = DrawStickMarkers ? 1 : 0;
            } else if (recompute) {
                h->iCameraDistance = os::ClampToInt(math::Vec3Distance(h->vPosition, eye));
                h->iPlayerDistance = os::ClampToInt(math::Vec3Distance(h->vPosition, m_vPlayerPosition));
                if (decide) h->bVisibleNow = ObjectVisible(h, eye, forward, volume) ? 1 : 0;
            } else {
                h->iCameraDistance = os::ClampToInt(math::Vec3Distance(h->vPosition, eye));
            }
        }

        if (h->bVisibleNow) {
            const bool isMesh = classify(h);
            h->bInReflection = 0;
            if (g_EffectMgr.m_bReflection && (isMesh || h->dwType == OT_SKINMESH) &&
                !(h->dwFlags2 & kFlag2NoReflection) && h->bLitByProbe &&
                std::abs(h->iCameraDistance - h->iRange) < 1536) {
                h->bInReflection = 1;
                g_EngineSharedFlags.bBytes[4] = 1;
            }
        }
        if (!h->bPrepared) PrepareObject(h);
        MarkShadowCaster(h);
        if (h->fVisibilityTimer < 0.0f) h->fVisibilityTimer = 1.0f;
    });
    m_bSectorVisibilityChanged = false;
}

// ---- First update -----------------------------------------------------------------------------

void EEngineObject::PrepareObject(ObjectRecord* h) {
    h->bPrepared = 1;
    if (h->dwType != OT_SPRITE) {
        h->bAmbientReprobe = 0;
        h->bAmbientProbed = 0;
    }
    if (h->dwFlags2 & kFlag2FixedColour) {
        const uint32_t c = g_EnvironmentSettings.GetAmbientColor(0);
        h->vAmbient = math::Vec3{float((c >> 16) & 0xFF) / 255.0f, float((c >> 8) & 0xFF) / 255.0f,
                                 float(c & 0xFF) / 255.0f};
        // The lit passes draw such an object with its probed colour: until
        // its first probe that is this colour, not black.
        h->fProbedAmbient[0] = h->vAmbient.x;
        h->fProbedAmbient[1] = h->vAmbient.y;
        h->fProbedAmbient[2] = h->vAmbient.z;
        h->fProbedAmbient[3] = 1.0f;
    }
    if (h->pAction) {
        if (!h->pAction->dwGeneralOpt1) {
            delete h->pAction;
            h->pAction = nullptr;
        } else {
            h->iSector = 0;
        }
    }
    if (StartsWithNoCase(h->szName, "heli")) {
        h->bDownwash = 1;
        h->bNeedsUpdate = 1;
        h->bNeedsUpdateFixed = 1;
    }
    if (h->bIsItWire) {
        // A wire sways from its first update on.
        h->fSwayFactor = 0.1f + RandomFloat(0.3f);
        h->fSwaySpeed = 0.6f + RandomFloat(0.7f);
        h->bNeedsUpdate = 1;
        h->bNeedsUpdateFixed = 1;
    }
    if (const ObjectAction* a = h->pAction) {
        if (a->dwDoor1 && a->dwKnobGeneral1 && a->szKnobObject[0]) {
            math::Vec3 position;
            orientation socket;
            if (ObjectRecord* knob = g_Engine.FindObjectByName(a->szKnobObject);
                knob && ReadObjectSocket(h, a->szKnobSocket, &position, &socket))
                SetObjectPositionAndOrientation(knob, position, socket);
        }
        if (a->szSoundsActivate[0]) g_Engine.PrecacheResource(a->szSoundsActivate, 8);
        if (a->szSoundsDeactivate[0]) g_Engine.PrecacheResource(a->szSoundsDeactivate, 8);
        if (a->szStartDialogue0[0]) TheWorldHooks().PreloadDialogueSounds(a->szStartDialogue0);
        if (a->szStartHeroDialogue[0]) TheWorldHooks().PreloadHeroDialogueSounds(a->szStartHeroDialogue);
        for (const char* voice : {a->szVoiceHawke, a->szVoiceFletch, a->szVoiceOther, a->szVoiceEnemy}) {
            if (!voice[0]) continue;
            char file[160];
            std::snprintf(file, sizeof file, "voices\\Dialogues\\%s.wav", voice);
            g_Engine.PrecacheResource(file, 8);
        }
    }
    if (h->dwType == OT_MESH && !h->dwRigidBody)
        h->dwRigidBody = g_RigidBodySimulation.RefOf(g_RigidBodySimulation.AddBody(h));
}

// ---- Moved objects -------------------------------------------------------------------------------

void EEngineObject::OnObjectMoved(ObjectRecord* h) {
    if (!h) return;
    h->bAmbientProbed = 0;
    h->bLightSetValid = 0;
    if (h == TheWorldHooks().PlayerObject()) TheWorldHooks().PlayerMovedByWorld();
    if (h->pSound && h->pSound->pSound) g_SoundMgr.SetSoundPosition(h->pSound->pSound, h->vPosition.data());
    if ((h->dwFlags & kFlagVisible) && !(h->dwFlags & kFlagNoRelight) && !(h->dwFlags2 & kFlag2FixedColour) &&
        math::Vec3Distance(h->vPosition, h->vLightingPosition) >= kLightingMove)
        h->vLightingPosition = h->vPosition;
}

// ---- Motion of a run ---------------------------------------------------------------------------------

bool EEngineObject::UpdateMovement(ObjectRecord* h, bool back) {
    const ObjectAction& a = *h->pAction;
    const math::Vec3 direction{a.fMoving1, a.fMoving2, a.fMoving3};
    const float length = math::Vec3Length(direction);
    if (length < 0.001f) return false;
    float& progress = h->fRun1264[ObjectRecord::RUN_PROGRESS];
    const float distance = a.fMoving5;
    if (!back && progress > distance) return false;
    if (back && progress == 0.0f) return false;
    progress += a.fMoving4 * m_fFrameTime * (back ? -1.0f : 1.0f);
    bool moving = true;
    if (!back && progress >= distance) {
        progress = distance;
        moving = false;
    } else if (back && progress <= 0.0f) {
        progress = 0.0f;
        moving = false;
    }
    const math::Vec3 offset = direction / length * progress;
    h->fRun1264[ObjectRecord::RUN_OFFSET] = offset.x;
    h->fRun1264[ObjectRecord::RUN_OFFSET + 1] = offset.y;
    h->fRun1264[ObjectRecord::RUN_OFFSET + 2] = offset.z;
    return moving;
}

bool EEngineObject::UpdateRotation(ObjectRecord* h, bool back) {
    const ObjectAction& a = *h->pAction;
    const float targets[3] = {a.fRotation1, a.fRotation3, a.fRotation2};
    float* angles[3] = {&h->fRun1264[ObjectRecord::RUN_ROTATION1], &h->fRun1264[ObjectRecord::RUN_ROTATION2],
                        &h->fRotationAngle3};
    const float step = (a.fRotation4 + a.fRotationAcceleration * h->fTimeSinceFired) * m_fFrameTime;
    bool turning = false;
    for (int i = 0; i < 3; ++i) {
        if (targets[i] == 0.0f) continue;
        const float target = back ? 0.0f : targets[i];
        if (*angles[i] == target) continue;
        StepTowards(angles[i], target, step);
        if (*angles[i] != target) turning = true;
    }
    if (targets[0] != 0.0f || targets[1] != 0.0f || targets[2] != 0.0f) {
        // The object turns from its base orientation by the three angles.
        orientation o = h->BaseOrientation;
        o.Multiply([&] {
            orientation turn;
            turn.SetYawPitchRoll(*angles[0], *angles[1], *angles[2]);
            return turn.quaternion;
        }());
        SetObjectOrientation(h, o);
    }
    return turning;
}

void EEngineObject::UpdateActionMotion(ObjectRecord* h) {
    if (!h || !h->pAction || h->bDying || TheWorldHooks().SaveBusy()) return;
    const ObjectAction& a = *h->pAction;
    const float dt = m_fFrameTime;

    if (h->bPassOnPending) {
        h->fPassOnTimer += dt;
        if (h->fPassOnTimer >= a.fGiveActionToDelay) {
            h->bPassOnPending = 0;
            g_Engine.FireAction(a.szGiveActionToMesh, 0);
        }
    }
    if (!h->bInMotion) return;

    h->fTimeSinceFired += dt;
    if (a.fTakeHealthAway != 0.0f) {
        TheWorldHooks().ChangePlayerHealth(-dt * a.fTakeHealthAway);
        if (Debug) g_Console.Printf("%s wola Player.HandleHealth %f", h->szName, double(a.fTakeHealthAway));
    }
    const bool back = h->bAtDestination != 0;
    bool moving = UpdateMovement(h, back);
    if (UpdateRotation(h, back)) moving = true;
    if (a.dwDoor1 && UpdateDoor(h)) moving = true;

    if (!moving) {
        h->bInMotion = 0;
        h->bAtDestination = back ? 0 : 1;
        if (h->bCameraPositioning && g_Engine.m_hLookFrom == h) ForceCameraToLook(nullptr, nullptr);
    }
    if (moving && h->iPlayerDistance < kPlayerMovedDistance) TheWorldHooks().PlayerMovedByWorld();
    const math::Vec3 offset{h->fRun1264[ObjectRecord::RUN_OFFSET], h->fRun1264[ObjectRecord::RUN_OFFSET + 1],
                            h->fRun1264[ObjectRecord::RUN_OFFSET + 2]};
    SetObjectPosition(h, h->vStartPosition + offset, true);
}

// ---- Render preparation ----------------------------------------------------------------------------

void EEngineObject::UpdateRenderMatrices() {
    m_mView = g_Camera.View();
    m_mProjection = g_Camera.Projection();
    math::MatrixInverse(m_mView, &m_mInverseView);
    m_vEye = g_Camera.GetPosition();
    const math::Matrix viewProjection = m_mView * m_mProjection;
    g_Engine.ForEachSlotBelowHighWater(
        [&](int slot) {
            ObjectRecord* h = g_Engine.Object(slot);
            if (!h->bUsed || !h->bVisibleNow) return;
            ObjectRenderValues& v = m_RenderValues[slot];
            if (const EMesh* mesh = h->Mesh())
                mesh->GetWorldMatrix(&v.mWorld);
            else
                v.mWorld = math::MatrixTransformation(h->vScale, h->Orientation.quaternion, h->vPosition);
            v.mWorldView = v.mWorld * m_mView;
            v.mWorldViewProjection = v.mWorld * viewProjection;
            math::Matrix inverseWorld;
            math::MatrixInverse(v.mWorld, &inverseWorld);
            const math::Vec3 eye = math::Vec3TransformCoord(m_vEye, inverseWorld);
            v.vEyeInObject = math::Vec4{eye.x, eye.y, eye.z, 1.0f};
            const uint32_t ambient = g_EnvironmentSettings.GetAmbientColor(h->iAmbientLightIdx);
            v.vAmbient =
                math::Vec4{float((ambient >> 16) & 0xFF) / 255.0f, float((ambient >> 8) & 0xFF) / 255.0f,
                           float(ambient & 0xFF) / 255.0f, 1.0f};
            uint32_t fog = 0;
            g_EnvironmentSettings.GetFogColor(&fog, h->iFogIdx);
            v.vFog = math::Vec4{float((fog >> 16) & 0xFF) / 255.0f, float((fog >> 8) & 0xFF) / 255.0f,
                                float(fog & 0xFF) / 255.0f, 1.0f};
            g_EnvironmentSettings.GetFogNear(&v.fFogNear, h->iFogIdx);
            g_EnvironmentSettings.GetFogFar(&v.fFogFar, h->iFogIdx);
        },
        true);
}

// ---- Miniguns -----------------------------------------------------------------------------------------

void EEngineObject::UpdateMiniguns() {
    const math::Vec3& eye = g_Camera.GetPosition();
    g_Engine.ForEachSlotBelowHighWater([&](int slot) {
        ObjectRecord* h = g_Engine.Object(slot);
        if (!h->bUsed || float(h->iCameraDistance) >= g_Camera.GetFarZ()) return;
        if (StrCmpNoCase(h->szName, "minigun") != 0 && StrCmpNoCase(h->szName, "minigun_l") != 0) return;
        const math::Vec3 toEye = eye - h->vPosition;
        const float length = math::Vec3Length(toEye);
        if (length > 0.0f) {
            orientation o;
            o.SetDirection(toEye / length);
            SetObjectOrientation(h, o);
        }
        if (h->dwType == OT_SKINMESH) UpdateObjectNodeMatrices(h);
    });
}
