// The action interpreter: an object's ObjectAction runs through a fixed set
// of gates, then every filled effect applies in one fixed order, and the
// object is latched in motion until the motion update releases it.
//
// A run works on a copy of the action block: an effect may delete or replace
// the object's own block (a save loaded, a sector deleted), and the run goes
// on with what it started with. An object whose own run is in progress cannot
// be run again from inside it, so two actions that pass to each other at once
// end their cycle instead of recursing without bound.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "actors/ItemMgr.h"
#include "actors/player/Player.h"
#include "actors/PostacMgr.h"
#include "actors/WeaponMgr.h"
#include "app/Console.h"
#include "app/FileHelpers.h"
#include "app/Mouse.h"
#include "app/Options.h"
#include "game/DialogueMgr.h"
#include "game/GameAI.h"
#include "game/MainGame.h"
#include "game/Objective.h"
#include "game/Panel.h"
#include "game/SaveMgr.h"
#include "physics/RigidBodySimulation.h"
#include "platform/math/Math.h"
#include "platform/os/Os.h"
#include "render/DeeDee.h"
#include "render/FxMgr.h"
#include "render/PostProcess.h"
#include "sound/MusicDirector.h"
#include "sound/RadioMgr.h"
#include "sound/SoundMgr.h"
#include "world/BezierMgr.h"
#include "world/Camera.h"
#include "world/Engine.h"
#include "world/EngineObject.h"
#include "world/EngineObjectLog.h"
#include "world/ObjectApi.h"
#include "world/ObjectRecord.h"

using objlog::Logged;
using objlog::Reported;

namespace {

constexpr float kHeroKillHealth = -1000.0f;
constexpr float kBezierSpeedChange = 2.0f;

bool Named(const char* text) {
    return text && text[0];
}

const char* OnOff(uint8_t on) {
    return on ? "ON." : "OFF.";
}

// The unit first axis of an orientation (length 0 counts as 1).
math::Vec3 UnitForward(const orientation& o) {
    const math::Vec3 f = o.forward;
    float length = math::Vec3Length(f);
    if (length == 0.0f) length = 1.0f;
    return f / length;
}

} // namespace

void EEngineObject::RunActionByName(const char* name) {
    if (ObjectRecord* h = g_Engine.FindObjectByName(name)) RunAction(h, false);
}

void EEngineObject::RunActionIfObject(ObjectRecord* h, bool automatic) {
    if (h) RunAction(h, automatic);
}

int CanRunObjectAction(ObjectRecord* h) {
    if (!h || !h->pAction) return 0;
    const ObjectAction& a = *h->pAction;
    if (!a.dwGeneralOpt1 || !a.dwGeneralOpt2) return 0;
    if (a.dwGeneral22 && h->bHasRun) return 0;
    if (a.fNextRunAfter > 0.0f && h->fTimeSinceRun <= a.fNextRunAfter) return 2;
    const int waiting = a.bHideIconIfActionInvalid ? 0 : 2;
    if (h->bInMotion) return waiting;
    if (Named(a.szIfset) && !g_GameAI.TestVariable(a.szIfset)) return waiting;
    if (Named(a.szActionIfNotSet) && g_GameAI.TestVariable(a.szActionIfNotSet)) return waiting;
    return 1;
}

bool EEngineObject::PassesGates(ObjectRecord* h, const ObjectAction& a, bool automatic) {
    if (h->bInMotion || h->bActionRunning || !a.dwGeneralOpt1) return false;
    if (automatic && (!a.dwGeneralOpt2 || PlayerDead)) return false;
    if (a.dwGeneral22 && h->bHasRun) return false;
    if (Named(a.szIfset) && !g_GameAI.TestVariable(a.szIfset)) {
        Logged("Jest ActionIf %s a zmienna nie ustawiona, wychodze!", a.szIfset);
        return false;
    }
    if (Named(a.szActionIfNotSet) && g_GameAI.TestVariable(a.szActionIfNotSet)) {
        Logged("Jest ActionIfNot %s a zmienna ustawiona, wychodze!", a.szActionIfNotSet);
        return false;
    }
    if (a.fNextRunAfter > 0.0f && h->fTimeSinceRun < a.fNextRunAfter) {
        Logged("Czas od ost. uruchomienia: %f; wymagany: %f", double(h->fTimeSinceRun),
               double(a.fNextRunAfter));
        return false;
    }
    return true;
}

void EEngineObject::RunAction(ObjectRecord* h, bool automatic) {
    if (!h) return;
    m_pLastActionObject = h;
    ++m_iActionsRun;
    if (!h->pAction) return;
    const ObjectAction a = *h->pAction;
    if (!PassesGates(h, a, automatic)) return;

    Logged("%s w srodku, uruchamiam akcje", h->szName);
    const bool destination = h->bAtDestination != 0;
    h->fTimeSinceFired = 0.0f;
    h->bHasRun = 1;
    h->fTimeSinceRun = 0.0f;
    if (!destination) {
        if (Named(a.szDefaultSet)) g_GameAI.SetVariable(a.szDefaultSet, h);
        if (Named(a.szDefaultUnset)) g_GameAI.UnsetVariable(a.szDefaultUnset, h);
    } else {
        if (Named(a.szDestSet)) g_GameAI.SetVariable(a.szDestSet, h);
        if (Named(a.szDestUnset)) g_GameAI.UnsetVariable(a.szDestUnset, h);
    }

    h->bActionRunning = 1;
    ApplyEffects(h, a, automatic, destination);
    h->bActionRunning = 0;

    if (!h->bUsed) return;
    h->bInMotion = 1;
    Logged("%s - wychodze z uruchomienia akcji OK.", h->szName);
}

// The countdown, the end of the game, ammunition, cockroaches, the radio.
void EEngineObject::CountdownAmmoAndRadioEffects(const EffectContext& c) {
    ObjectRecord* h = c.h;
    const ObjectAction& a = c.a;
    if (a.bCountdownTurnOn) {
        Logged("Starting countdown with target %s", a.szCountdownActionOnFinish);
        g_Player.StartCountdown(h);
    }
    if (a.bCountdownTurnOff) {
        Logged("Stopping countdown");
        g_Player.StopCountdown();
    }
    if (a.bEndGame) Logged("End game");
    if (a.bFullAmmo) {
        Logged("Full ammo");
        g_WeaponMgr.FullAmmo();
    }
    if (a.bAddCockroaches) g_DeeDee.SpawnGroup(h->vPosition, a.iNumCockroaches);
    if (Named(a.szRadioRadio)) {
        Logged("Radio %s", a.szRadioRadio);
        g_RadioMgr.SwitchRadio(h);
    }
}

// The player's view: fades, blur, inertia, monochrome, panorama, movement radius, look-at, Bezier walks,
// black-and-white, field of view.
void EEngineObject::ViewEffects(const EffectContext& c) {
    const ObjectAction& a = c.a;
    if (a.bPlayerMoveAndViewFades1) g_Panel.FadeIn(a.fPlayerMoveAndViewFades2);
    if (a.bPlayerMoveAndViewFades3) g_Panel.FadeOut(a.fPlayerMoveAndViewFades4);
    if (a.bPlayerMoveAndViewMotionBlur1) g_PostProcess.m_bForcedMotionBlur = 1;
    if (a.bPlayerMoveAndViewMotionBlur2) g_PostProcess.m_bForcedMotionBlur = 0;
    if (a.bPlayerMoveAndViewMouseInertia1) g_Player.SetViewSmoothing(a.fPlayerMoveAndViewMouseInertia2);
    if (a.bPlayerMoveAndViewMouseInertia3) g_Player.SetViewSmoothing(0.0f);
    if (a.bPlayerMoveAndViewTurnOnMonochromatic) g_PostProcess.m_bMonochromatic = 1;
    if (a.bPlayerMoveAndViewTurnOffMonochromatic) g_PostProcess.m_bMonochromatic = 0;
    if (a.iRenderParamsDeleteSector != 0) DeleteSector(a.iRenderParamsDeleteSector);
    if (a.bPlayerMoveAndViewTurnOnPanoramicScreen) g_Panel.m_bPanoramic = true;
    if (a.bPlayerMoveAndViewTurnOffPanoramicScreen) g_Panel.m_bPanoramic = false;
    if (a.bPlayerMoveAndViewTurnOnMovementRadius)
        g_Player.RestrictToRadius(a.fPlayerMoveAndViewMovementRadius);
    if (a.bPlayerMoveAndViewTurnOffMovementRadius) g_Player.EndRestriction();
    if (a.bPlayerMoveAndViewTurnOnLookAt)
        g_Camera.SetLookAt(g_Engine.FindObjectByName(a.szPlayerMoveAndViewObjectToLookAt),
                           a.fPlayerMoveAndViewLookAtAngleDegrees);
    if (a.bPlayerMoveAndViewTurnOffLookAt) g_Camera.SetLookAt(nullptr, 0.0f);
    if (a.bPlayerMoveAndViewTurnOnBezierWalk)
        g_Player.StartBezier(a.szPlayerMoveAndViewBezierToWalkOn,
                             a.bPlayerMoveAndViewTurnOnBezier2WalkUseRunningMode != 0);
    if (a.bPlayerMoveAndViewTurnOffBezierWalk) g_Player.StopBezier();
    if (a.bPlayerMoveAndViewTurnOnBwPostprocess) {
        if (!(g_PostProcess.m_bBWOn && g_PostProcess.m_bBWHold)) g_PostProcess.ClearBWObjects();
        g_PostProcess.TurnOnBW(true);
    }
    if (a.bPlayerMoveAndViewTurnOffBwPostprocess) g_PostProcess.TurnOffBW(true);
    if (Named(a.szPlayerMoveAndViewAddObjectToBwPostprocess))
        g_PostProcess.AddObjectToBW(g_Engine.FindObjectByName(a.szPlayerMoveAndViewAddObjectToBwPostprocess));
    if (Named(a.szPlayerMoveAndViewAddCharacterToBwPostprocess)) {
        if (strpostac* c = g_PostacMgr.FindByName(a.szPlayerMoveAndViewAddCharacterToBwPostprocess, false)) {
            for (ObjectRecord* body : c->hObjects)
                g_PostProcess.AddObjectToBW(body);
            if (c->hWeapon) g_PostProcess.AddObjectToBW(c->hWeapon);
        }
    }
    if (a.fFovMultiplier > 0.0f) g_Camera.m_fFovFactor = a.fFovMultiplier;
}

// The checkpoint, hints and objectives, dialogues, the player's moves, the ambient sound.
void EEngineObject::ProgressAndDialogueEffects(const EffectContext& c) {
    ObjectRecord* h = c.h;
    const ObjectAction& a = c.a;
    if (a.bCheckpointCheckpoint) {
        Logged("Checkpoint");
        g_SaveMgr.m_bCheckpointRequest = 1;
    }
    if (Named(a.szAddNewHint)) g_Objective.AddText(a.szAddNewHint);
    if (Named(a.szAddNewObjective)) g_Objective.SetNewTask(a.szAddNewObjective);
    if (Named(a.szStartDialogue0) && Named(a.szStartDialogueActor0)) {
        Logged("Start dialogue %s", a.szStartDialogue0);
        if (strpostac* actor0 = g_PostacMgr.FindByName(a.szStartDialogueActor0, true)) {
            StartDialogue(a.szStartDialogue0, actor0, g_PostacMgr.FindByName(a.szStartDialogueActor1, true),
                          g_PostacMgr.FindByName(a.szStartDialogueActor2, true));
        } else if (ObjectRecord* speaker = g_Engine.FindObjectByName(a.szStartDialogueActor0)) {
            g_DialogueMgr.StartObjectDialogue(a.szStartDialogue0, speaker);
        } else {
            Reported("MeshDialogue failed to find %s", a.szStartDialogueActor0);
        }
    }
    if (a.bCharacterAllowSprint) g_Player.m_bSprintAllowed = true;
    if (a.bCharacterForbidSprint) g_Player.m_bSprintAllowed = false;
    if (a.bCharacterAllowJumping) g_Player.m_bJumpAllowed = true;
    if (a.bCharacterForbidJumping) g_Player.m_bJumpAllowed = false;
    if (a.bCharacterHighJumpOn) g_Player.m_bHighJump = true;
    if (a.bCharacterHighJumpOff) g_Player.m_bHighJump = false;
    if (Named(a.szSoundAmbientSound)) {
        Logged("%s ustawia AmbientSound %s", h->szName, a.szSoundAmbientSound);
        SetAmbientSound(a.szSoundAmbientSound, a.fSoundVolumeAmbientSound);
    }
    if (Named(a.szStartHeroDialogue)) {
        StartHeroDialogue(a.szStartHeroDialogue);
        Logged("Starting hero dialogue: %s", a.szStartHeroDialogue);
    }
}

// Render parameters, combat mode, time speed, map markers, lights, the direction pointer, voices, blackout.
void EEngineObject::RenderAndMarkerEffects(const EffectContext& c) {
    ObjectRecord* h = c.h;
    const ObjectAction& a = c.a;
    if (a.bRenderParamsUseRenderParams) ApplyRenderParams(h, a);
    if (a.bSwitchToCombatMode) g_Player.EnableWeapons(true);
    if (a.bSwitchToPeacefulMode) g_Player.EnableWeapons(false);
    if (a.fGlobalTimeSpeed > 0.01f) {
        Logged("Setting GlobalTimeSpeed to %f", double(a.fGlobalTimeSpeed));
        GlobalTimeSpeed = a.fGlobalTimeSpeed;
        g_Console.StoreVariable("GlobalTimeSpeed", a.fGlobalTimeSpeed, 0);
    }
    if (Named(a.szSwitchGreenPointFor)) {
        if (ObjectRecord* o = g_Engine.FindObjectByName(a.szSwitchGreenPointFor)) {
            o->bGreenPoint = o->bGreenPoint ? 0 : 1;
            Logged("Przelaczam green point dla %s w pozycje %s", a.szSwitchGreenPointFor,
                   OnOff(o->bGreenPoint));
        } else {
            Logged("Przelaczanie green point dla %s FAILED - nie ma obiektu!", a.szSwitchGreenPointFor);
        }
    }
    if (Named(a.szSwitchRedPointFor)) {
        if (ObjectRecord* o = g_Engine.FindObjectByName(a.szSwitchRedPointFor)) {
            o->bRedPoint = o->bRedPoint ? 0 : 1;
            Logged("Przelaczam red point dla %s w pozycje %s", a.szSwitchRedPointFor, OnOff(o->bRedPoint));
        }
    }
    if (a.dwSwitchLight && h->bIsLight) {
        h->bLightOn = h->bLightOn ? 0 : 1;
        if (h->pFx) h->pFx->bLightOn = h->bLightOn;
    }
    if (a.dwSwitchBlinking && h->pBlinking) {
        h->pBlinking->bOn = h->pBlinking->bOn ? 0 : 1;
        if (!h->pBlinking->bOn) {
            h->fLightPower = h->fLightBasePower;
            if (h->pFx) h->pFx->iBlinkStep = -1;
        }
    }
    if (Named(a.szDirectionPointerTo)) SetDirectionPointer(a.szDirectionPointerTo);
    if (Named(a.szVoiceHawke) || Named(a.szVoiceFletch) || Named(a.szVoiceOther) || Named(a.szVoiceEnemy))
        PlayActionVoice(h);
    if (a.dwControlBlackout) g_Panel.m_bBlackout = a.dwBlackout != 0;
}

// Object teleports, the camera, the hero's damage, screen shakes, joints, character teleports, shooting.
void EEngineObject::TeleportCameraAndDamageEffects(const EffectContext& c) {
    ObjectRecord* h = c.h;
    const ObjectAction& a = c.a;
    if (Named(a.szTeleportObjectHere)) {
        Logged("Chce teleportowac tu obiekt %s", a.szTeleportObjectHere);
        if (ObjectRecord* o = g_Engine.FindObjectByName(a.szTeleportObjectHere)) {
            Logged("Obiekt znaleziony");
            if (o->BezierState.bMoving) StopObjectBezierMoving(o);
            SetObjectPosition(o, h->vPosition);
            if (a.dwTeleportWithMyRotation) SetObjectOrientation(o, h->Orientation);
            o->fState32 = 0.0f;
        } else {
            Logged("Nie ma obiektu do teleportacji!");
        }
    }
    if (Named(a.szMoveCameraToObjectName)) {
        Logged("Camera.MoveToObject %s", a.szMoveCameraToObjectName);
        g_Camera.MoveToObject(a.szMoveCameraToObjectName, a.fMoveCameraToObjectTime);
    }
    if (Named(a.szCameraLookFromObject) && Named(a.szCameraLookFromSocket)) {
        Logged("Camera.LookFromObject %s, socket %s", a.szCameraLookFromObject, a.szCameraLookFromSocket);
        g_Camera.LookFromSocket(a.szCameraLookFromObject, a.szCameraLookFromSocket, a.fCameraLookFromTime,
                                a.bCameraLookFromCharacterNotObject != 0);
    }
    if (a.dwGeneral33) g_Player.ChangeHealth(kHeroKillHealth);
    if (a.dwGeneral32) g_Player.ChangeHealth(kHeroKillHealth);
    if (a.bShakeScreen && m_pLastShaker != h) {
        Logged("%s ustawia shake screen.", h->szName);
        if (a.bConstantShakeScreen) g_Camera.SetConstantShakeScreen(ConstantShakeOf(a), h);
        if (a.ShortShake.bOn) g_Camera.ShakeScreen(a.ShortShake, h->vPosition);
        m_pLastShaker = h;
    }
    if (Named(a.szRemoveJointsFor)) {
        if (ObjectRecord* o = g_Engine.FindObjectByName(a.szRemoveJointsFor))
            g_RigidBodySimulation.RemoveJointsOfObject(o);
    }
    if (Named(a.szTeleportCharacterHere)) {
        Logged("TeleportCharacterHere %s", a.szTeleportCharacterHere);
        g_PostacMgr.TeleportCharacter(a.szTeleportCharacterHere, h->vPosition);
    }
    if (a.dwShootGeneral1) ApplyShooting(h, a);
}

// Animations, Bezier moves, characters running, doors, ladders, scripts, pushes and kills.
void EEngineObject::AnimationMoveAndKillEffects(const EffectContext& c) {
    ObjectRecord* h = c.h;
    const ObjectAction& a = c.a;
    if (h->dwType == OT_SKINMESH) {
        if (!c.destination && Named(a.szDefaultSetAnimation))
            SetObjectAnimation(h, a.szDefaultSetAnimation, a.dwSetDefaultAnimationLoop != 0, 0.0f, 1.0f);
        if (c.destination && Named(a.szDestinationSetAnimation))
            SetObjectAnimation(h, a.szDestinationSetAnimation, a.dwSetDestinationAnimationLoop != 0, 0.0f,
                               1.0f);
    }
    if (Named(a.szSetAnimForObjectName)) {
        ObjectRecord* o = g_Engine.FindObjectByName(a.szSetAnimForObjectName);
        if (!o)
            Reported("SetAnimFor %s nie ma obiektu!", a.szSetAnimForObjectName);
        else if (o->dwType != OT_SKINMESH)
            Reported("SetAnimFor %s - obiekt nie jest skinmeshem!", a.szSetAnimForObjectName);
        else
            SetObjectAnimation(o, a.szSetAnimForAnimationName, a.bLoopAnimFor != 0, 0.0f, 1.0f);
    }
    if (Named(a.szStartMovingOnDifferentBezier)) {
        Logged("StartMovingOnDifferentBezier %s", a.szStartMovingOnDifferentBezier);
        BezierMovingParams p;
        GetObjectBezierMovingParams(h, &p);
        std::snprintf(p.szStartNode, sizeof p.szStartNode, "%s", a.szStartMovingOnDifferentBezier);
        p.bActive = 1;
        SetObjectBezierMovingParams(h, p);
        StartObjectBezierMoving(h);
    }
    if (Named(a.szMakeObjectMoveOnBezierObjectName) && Named(a.szMakeObjectMoveOnBezierBezierName)) {
        if (ObjectRecord* o = g_Engine.FindObjectByName(a.szMakeObjectMoveOnBezierObjectName)) {
            BezierMovingParams p;
            GetObjectBezierMovingParams(o, &p);
            std::snprintf(p.szStartNode, sizeof p.szStartNode, "%s", a.szMakeObjectMoveOnBezierBezierName);
            p.bActive = 1;
            SetObjectBezierMovingParams(o, p);
            StartObjectBezierMoving(o);
            SetObjectBezierLoop(o, a.dwMakeObjectMoveOnBezierLoop != 0);
        } else {
            Reported("Zmuszenie obiektu do ruchu na bezierze failed - nie ma obiektu!");
            Reported("%s", a.szMakeObjectMoveOnBezierObjectName);
        }
    }
    if (Named(a.szCharacterNameRunsTo))
        g_PostacMgr.RunToByName(a.szCharacterNameRunsTo, a.szCharacterRunsToTarget, a.szCharacterUsesBezier,
                                a.szCharacterSetPhaseOnTarget, a.szCharacterRunsToAnimationName);
    if (a.dwDoor1) StartDoor(h);
    if (a.dwLadder) g_Player.AttachToLadder(h);
    if (Named(a.szConsolePrint)) Reported("%s", a.szConsolePrint);
    if (Named(a.szRunScript)) {
        Logged("RunScript %s", a.szRunScript);
        g_Console.ExecFile(a.szRunScript);
    }
    if (Named(a.szPushObject)) {
        ObjectRecord* o = g_Engine.FindObjectByName(a.szPushObject);
        if (!o) {
            Reported("%s nie znalazl obiektu do kopniecia %s", h->szName, a.szPushObject);
        } else {
            Logged("Kopie obiekt %s", a.szPushObject);
            if (o->dwType == OT_MESH) {
                math::Vec3 force = UnitForward(h->Orientation);
                force.y += 0.1f;
                PutForceToObject(o, force * a.fPushObjForce);
            }
        }
    }
    if (Named(a.szKillObject)) {
        if (ObjectRecord* o = g_Engine.FindObjectByName(a.szKillObject)) {
            if (a.fKillDelay > 0.0f) {
                Logged("Wlaczam oczekiwanie na smierc dla %s", a.szKillObject);
                o->fDeathCountdown = a.fKillDelay;
            } else {
                Logged("Zabijam obiekt %s", a.szKillObject);
                HandleDeath(o, nullptr, nullptr);
            }
        }
    }
}

// The FX and the sound of the side the action ran (default or destination).
void EEngineObject::SideFxAndSoundEffects(const EffectContext& c) {
    ObjectRecord* h = c.h;
    const ObjectAction& a = c.a;
    if (!c.destination) {
        for (float& v : h->fRun1264)
            v = 0.0f;
        h->fRotationAngle3 = 0.0f;
        if (Named(a.szDefaultSetFx)) SetObjectFxName(h, a.szDefaultSetFx);
        if (Named(a.szSoundsActivate))
            g_SoundMgr.PlaySound3DOnce(a.szSoundsActivate, h->vPosition.data(), a.fSoundsRange);
    } else {
        if (Named(a.szDefaultUnsetFx)) SetObjectFxName(h, a.szDefaultUnsetFx);
        if (Named(a.szSoundsDeactivate))
            g_SoundMgr.PlaySound3DOnce(a.szSoundsDeactivate, h->vPosition.data(), a.fSoundsRange);
    }
}

// Music, the world change, script actions, respawns, character kills, Bezier speed, blockers, phases.
void EEngineObject::MusicWorldAndCharacterEffects(const EffectContext& c) {
    ObjectRecord* h = c.h;
    const ObjectAction& a = c.a;
    if (Named(a.szPlayMusic)) {
        g_MusicDirector.PlayMusic(a.szPlayMusic, a.bLoopMusic != 0, a.bLoopMusic != 0);
        if (a.bLoopMusic) {
            // The director's first byte (loop) cleared, its second (action) set.
            g_MusicDirector.m_bLoop = 0;
            g_MusicDirector.m_bActionLoop = 1;
        }
    }
    if (Named(a.szStartWorld)) {
        Logged("Dodaje Engine.m_WorldToStart %s", a.szStartWorld);
        g_MainGame.SetEndSequence(a.szStartWorld);
    }
    if (Named(a.szActivateAiAction)) {
        Logged("ActivateAIAction %s", a.szActivateAiAction);
        g_GameAI.RunActionByName(a.szActivateAiAction);
    }
    if (Named(a.szRespawnCharacterName)) {
        Logged("Respawnuje postac z id %s", a.szRespawnCharacterName);
        RespawnCharacter(h);
    }
    if (Named(a.szKillCharacter)) {
        if (StrCmpNoCase(a.szKillCharacter, "hero") == 0) {
            Logged("Zabijam gracza!");
            g_Player.SetHealth(-1.0f, true);
            g_Player.HandleDeath();
        }
        Logged("Zabijam postac %s", a.szKillCharacter);
        if (strpostac* c = g_PostacMgr.FindByName(a.szKillCharacter, true)) {
            Logged("Znaleziona");
            g_PostacMgr.Zabij(c, h->vPosition);
        } else {
            Logged("NIE znaleziona");
        }
    }
    if (!c.automatic && a.dwSwitchMovingOnAction) SwitchObjectBezierMoving(h, kBezierSpeedChange);
    if (Named(a.szAllowPassingBlockers)) {
        if (ObjectRecord* o = g_Engine.FindObjectByName(a.szAllowPassingBlockers)) {
            Logged("Wlaczam PassingThroughBlockers dla %s", a.szAllowPassingBlockers);
            o->bPassesBlockers = 1;
        } else {
            Logged("Chce wlaczyc PassingThroughBlockers dla %s ale nie ma obiektu!",
                   a.szAllowPassingBlockers);
        }
    }
    if (Named(a.szForbidPassingBlockers)) {
        if (ObjectRecord* o = g_Engine.FindObjectByName(a.szForbidPassingBlockers)) {
            Logged("Wylaczam PassingThroughBlockers dla %s", a.szForbidPassingBlockers);
            o->bPassesBlockers = 0;
        } else {
            Logged("Chce wylaczyc PassingThroughBlockers dla %s ale nie ma obiektu!",
                   a.szForbidPassingBlockers);
        }
    }
    if (Named(a.szSetPhaseFor) && Named(a.szPhaseName)) {
        Logged("Wymuszam postaci %s faze o nazwie %s", a.szSetPhaseFor, a.szPhaseName);
        g_PostacMgr.SetFazaByName(a.szSetPhaseFor, a.szPhaseName);
    }
}

// The player's teleport, the action passed on, camera positioning.
void EEngineObject::HandOnAndCameraEffects(const EffectContext& c) {
    ObjectRecord* h = c.h;
    const ObjectAction& a = c.a;
    if (a.dwTeleportPlayerHere) TeleportPlayerHere(h, a);
    if (Named(a.szGiveActionToMesh)) {
        if (a.fGiveActionToDelay == 0.0f) {
            Logged("Mesh wola przekazanie akcji na %s", a.szGiveActionToMesh);
            g_Engine.FireAction(a.szGiveActionToMesh, 0);
        } else {
            Logged("Mesh wola spauzowane przekazanie akcji na %s", a.szGiveActionToMesh);
            Logged("Pauza: %f", double(h->fPassOnTimer));
            h->bPassOnPending = 1;
            h->fPassOnTimer = 0.0f;
        }
    }
    h->bCameraPositioning = 0;
    if (a.dwCameraPositionMesh1) {
        if (Debug > 2) g_Console.Print2("bUseCameraPositioning ", h->szName);
        if (ObjectRecord* at = g_Engine.FindObjectByName(a.szCameraPositionMesh2)) {
            ForceCameraToLook(h, at);
            h->bCameraPositioning = 1;
        } else {
            Reported("No object for camera positioning: %s", a.szCameraPositionMesh2);
        }
    }
    if (a.CameraPositioning.bOn) StartCameraPositioning(h);
}

void EEngineObject::ApplyEffects(ObjectRecord* h, const ObjectAction& a, bool automatic, bool destination) {
    // The groups in the order the effects apply, this one place: the side's
    // FX and sound follow the animations and moves, and the action is passed
    // on and the camera positioned last.
    using EffectGroup = void (EEngineObject::*)(const EffectContext&);
    static constexpr EffectGroup kEffectGroups[] = {
        &EEngineObject::CountdownAmmoAndRadioEffects,   &EEngineObject::ViewEffects,
        &EEngineObject::ProgressAndDialogueEffects,     &EEngineObject::RenderAndMarkerEffects,
        &EEngineObject::TeleportCameraAndDamageEffects, &EEngineObject::AnimationMoveAndKillEffects,
        &EEngineObject::SideFxAndSoundEffects,          &EEngineObject::MusicWorldAndCharacterEffects,
        &EEngineObject::HandOnAndCameraEffects,
    };
    const EffectContext context{h, a, automatic, destination};
    for (EffectGroup group : kEffectGroups)
        (this->*group)(context);
}

void EEngineObject::ApplyRenderParams(ObjectRecord* h, const ObjectAction& a) {
    if (a.fRenderParamsFarz != 0.0f) g_Camera.SetFarZ(a.fRenderParamsFarz);
    if (a.bRenderParamsStates6) DrawWater = false;
    if (a.bRenderParamsStates5) DrawWater = true;
    if (a.bRenderParamsStates4) {
        DrawAmbientLitObjects = false;
        Logged("%s wylacza render obiektow Shadowcasted", h->szName);
    }
    if (a.bRenderParamsStates3) {
        DrawAmbientLitObjects = true;
        Logged("%s wlacza render obiektow Shadowcasted", h->szName);
    }
    if (a.bRenderParamsStates2) {
        DrawSkylightLitObjects = false;
        Logged("%s wylacza render obiektow SkyLight", h->szName);
    }
    if (a.bRenderParamsStates1) {
        DrawSkylightLitObjects = true;
        Logged("%s wlacza render obiektow Skylight", h->szName);
    }
    ShowSectors(a.iRenderParamsShowSectors);
    HideSectors(a.iRenderParamsHideSectors);
}

void EEngineObject::ApplyShooting(ObjectRecord* h, const ObjectAction& a) {
    const ItemDescription* weapon = g_ItemMgr.FindDescription(a.szShootWeapon);
    ObjectRecord* target = StrCmpNoCase(a.szShootTarget, "hero") == 0
                               ? g_Player.m_hObject
                               : g_Engine.FindObjectByName(a.szShootTarget);
    if (weapon && target) {
        h->bShooting = 1;
        h->fShotTimer = 0.0f;
        h->dwShotsFired = 0;
        h->dwShotsToFire =
            uint32_t(a.iShootGeneral2 + (a.iShootGeneral3 != 0 ? os::Rand() % a.iShootGeneral3 : 0));
        return;
    }
    h->bShooting = 0;
    if (!weapon) Reported("%s nie moze znalezc broni %s", h->szName, a.szShootWeapon);
    if (!target) Reported("%s nie moze znalezc targetu %s", h->szName, a.szShootTarget);
}

void EEngineObject::TeleportPlayerHere(ObjectRecord* h, const ObjectAction& a) {
    if (Debug) g_Console.PrintVector("TeleportPlayerHere ", h->vPosition.data());
    m_dwFrameCounter = 0;
    g_Player.m_vPosition = h->vPosition;
    g_Player.m_vPositionCopy = h->vPosition;
    SetObjectPosition(g_Player.m_hObject, h->vPosition);
    g_Player.m_bMovedByWorld = true;
    if (a.bCrouchingTeleportPlayerHere) {
        g_Player.SetCrouch(true);
        g_Player.m_iMode = 3;
    }
    g_Player.m_fHighestPoint = -100000000.0f;

    math::Vec3 heading = h->Orientation.forward;
    heading.y = 0.0f;
    float length = std::sqrt(heading.x * heading.x + heading.z * heading.z);
    if (length == 0.0f) length = 1.0f;
    float yaw = std::acos(std::clamp(heading.z / length, -1.0f, 1.0f));
    if (heading.x / length < 0.0f) yaw = -yaw;
    g_Mouse.m_State.yaw = yaw;
    g_Mouse.m_Saved.yaw = yaw;
    g_Camera.SetOrientation(h->Orientation);
}
