// Death of a world object by its DeathParams: the object is marked dying and
// stops what it was doing, its death effects play, it may be replaced by a
// destroyed mesh, pass actions on, teleport objects to its place and kill a
// further object at once or after a pause. A dying object is never killed
// twice, so chains that lead back to one end there.
#include <cmath>
#include <cstring>

#include "app/Console.h"
#include "app/Options.h"
#include "app/Records.h"
#include "physics/RigidBodySimulation.h"
#include "platform/math/Math.h"
#include "render/FxMgr.h"
#include "render/Mesh.h"
#include "render/PaneCrashMgr.h"
#include "sound/RadioMgr.h"
#include "sound/SoundMgr.h"
#include "world/BezierMgr.h"
#include "world/Camera.h"
#include "world/DeathParams.h"
#include "world/Engine.h"
#include "world/EngineObject.h"
#include "world/EngineObjectFlags.h"
#include "world/EngineObjectLog.h"
#include "world/ObjectApi.h"
#include "world/ObjectRecord.h"
#include "world/WorldHooks.h"

using namespace objflags;
using objlog::Logged;
using objlog::Reported;

namespace {

constexpr float kDeathSoundRange = 2000.0f;
// The creation record holds the file name in 128 bytes.
constexpr size_t kCreationNameBound = sizeof(AddObjectParams::szFileName);
// Longest replacement name the record's name field is said to take.
constexpr size_t kReplacementNameBound = 31;

} // namespace

void EEngineObject::HandleDeath(ObjectRecord* h, const math::Vec3* a, const math::Vec3* b) {
    if (!h || h->bDying || !h->pDeathParams) return;
    Logged("EEngineObject::HandleDeath %s", h->szName);
    // The run works on a copy: the object's own block may be replaced while
    // the chained steps run.
    const DeathParams dp = *h->pDeathParams;
    if (dp.szHandleDeathIf[0] && !TheWorldHooks().IsVariableSet(dp.szHandleDeathIf)) {
        Logged("Wymagana zmienna %s ale nie ustawiona!", dp.szHandleDeathIf);
        return;
    }
    if (h->dwFlags & kFlagStickMarker) {
        Reported("FATAL! Cannot kill HeroStick! Operation aborted for %s", h->szName);
        return;
    }

    if (dp.szConsolePrint[0]) Reported("%s", dp.szConsolePrint);
    h->bDying = 1;
    if (h->pSound) SetObjectSound(h, nullptr, 0.0f, nullptr);
    SetObjectFlags(h, kFlagDead, kFlagDead);
    // The beam goes; the object's laser switch stays, so the death FX below
    // still starts at the laser's socket.
    if (h->bLaserOn) TheWorldHooks().RemoveLaserBeam(h->dwLaserBeam);
    if (h->pFx) SetObjectFxName(h, nullptr);
    if (h->pAction && h->pAction->szRadioRadio[0]) {
        Logged("Radio %s", h->pAction->szRadioRadio);
        g_RadioMgr.StopObjectRadios(h);
    }
    if (dp.szFXOnDeath[0]) {
        math::Vec3 at = h->vPosition;
        orientation socket;
        if (h->bLaserOn) ReadObjectSocket(h, "laser", &at, &socket);
        g_FxMgr.SpawnFxByName(dp.szFXOnDeath, &at, &h->Orientation);
    }
    if (dp.bPaneCrashOn) g_PaneCrashMgr.Start(h);
    if (dp.bDeadAnim) {
        Logged("Wlaczam anim %s", dp.szDeadAnimName);
        SetObjectAnimation(h, dp.szDeadAnimName, false, 0.0f, 1.0f);
    }
    if (dp.bDeathSound && dp.szSoundName[0])
        g_SoundMgr.PlaySound3DOnce(dp.szSoundName, h->vPosition.data(), kDeathSoundRange);
    if (dp.bRemoveJointsWhenDead) g_RigidBodySimulation.RemoveJointsOfObject(h);
    if (dp.bShakeScreen) {
        if (dp.bConstantShakeOn) g_Camera.SetConstantShakeScreen(ConstantShakeOf(dp), h);
        if (dp.ShortShake.bOn) g_Camera.ShakeScreen(dp.ShortShake, h->vPosition);
    }
    if (dp.bThrownOff) {
        h->bFlying = 1;
        math::Vec3 launch = h->Orientation.forward;
        float length = math::Vec3Length(launch);
        if (length == 0.0f) length = 1.0f;
        launch = launch / length;
        if (h->BezierState.bMoving) launch = launch * float(h->BezierState.dSpeed);
        launch += math::Vec3{dp.fAddSpeed1, dp.fAddSpeed2, dp.fAddSpeed3};
        h->fLaunchX = launch.x;
        h->fLaunchY = launch.y;
        h->fLaunchZ = launch.z;
        h->fFlightTimer1 = 0.0f;
        h->fFlightTimer2 = 0.0f;
    }
    StopObjectBezierMoving(h);
    h->Bezier.bActive = 0;

    ObjectRecord* other = dp.bDestroyObject ? g_Engine.FindObjectByName(dp.szDestroyObjectName) : nullptr;
    if (dp.bActivateObject) {
        Logged("Przekazuje akcje na %s", dp.szActivateObjectName);
        g_Engine.FireAction(dp.szActivateObjectName, 0);
    }
    if (dp.szSetWhenDead[0]) TheWorldHooks().SetVariable(dp.szSetWhenDead, nullptr);
    if (dp.szCreateMeshOnDeath[0]) ReplaceByDestroyedMesh(h, dp);
    if (dp.bTeleportObjectsHereUse) TeleportObjectHereOnDeath(h);
    if (dp.bHideAfterDeath) h->bHideAfterDeath = 1;
    if (other) {
        if (dp.fDestroyOtherPause > 0.0f) {
            Logged("Wlaczam oczekiwanie na smierc dla %s", other->szName);
            other->fDeathCountdown = dp.fDestroyOtherPause;
        } else {
            Logged("Zabijam obiekt %s", other->szName);
            HandleDeath(other, a, b);
        }
    }
}

void EEngineObject::ReplaceByDestroyedMesh(ObjectRecord* h, const DeathParams& dp) {
    const char* fileName = dp.szCreateMeshOnDeath;
    Logged("Podmieniam na mesha %s", fileName);
    AddObjectParams p;
    p.dwType = OT_MESH;
    p.vPosition = h->vPosition;
    p.Orientation = h->Orientation;
    p.vScale = h->vScale;
    p.dwFlags = h->dwFlags;
    p.dwFlags2 = h->dwFlags2;
    p.dwFlags3 = h->dwKindFlags;
    // The creation field takes 127 characters; a longer name is refused, not
    // copied past the field.
    ObjectRecord* created = nullptr;
    if (std::strlen(fileName) >= kCreationNameBound) {
        Reported("!!! 6");
    } else {
        std::memcpy(p.szFileName, fileName, std::strlen(fileName) + 1);
        created = g_Engine.AddObject(p);
    }
    if (!created) {
        Reported("Failed to create mesh");
        return;
    }
    created->bRunTimeCreated = 1;
    created->iDisappearRange = h->iDisappearRange;
    SetObjectFlags(created, h->dwFlags, 0xFFFFFFFF);
    SetObjectFlags(created, 0, kFlagDead);
    SetObjectFlags2(created, h->dwFlags2 & kFlag2KeptOnReplacement, 0xFFFFFFFF);
    created->iAmbientLightIdx = h->iAmbientLightIdx;
    created->iFogIdx = h->iFogIdx;
    Logged("Flagi ustawione");
    if (dp.szCreatedMeshName[0]) {
        Logged("Podmieniony mesh ma name %s", dp.szCreatedMeshName);
        if (std::strlen(dp.szCreatedMeshName) > kReplacementNameBound) Reported("!!! 6");
        SetObjectName(created, dp.szCreatedMeshName);
    }
    if (h->bTied) {
        Logged("Ustawiono tie socket params");
        g_Engine.TieObject(created, true, h->szTieObject, h->szTieSocket);
    }
    SetObjectScale(created, h->vScale);
    if (dp.bCreatedMeshDisappears) {
        if (EMesh* mesh = created->Mesh()) {
            Logged("Ustawiam czas znikniecia na %f", double(dp.fTimeToDisappearCreatedMesh));
            mesh->SetDisappearTime(true, dp.fTimeToDisappearCreatedMesh);
        }
    }
}
