#include "actors/player/Player.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "actors/ActorHooks.h"
#include "actors/PostacMgr.h"
#include "actors/WeaponMgr.h"
#include "app/CommandMgr.h"
#include "app/Console.h"
#include "app/Mouse.h"
#include "app/Options.h"
#include "app/Records.h"
#include "physics/IntersectSegment.h"
#include "physics/MovePlayerSlide.h"
#include "platform/math/Math.h"
#include "render/PostProcess.h"
#include "render/Renderer.h"
#include "sound/SoundMgr.h"
#include "world/BezierMgr.h"
#include "world/Camera.h"
#include "world/Engine.h"
#include "world/EngineObject.h"
#include "world/Filters.h"
#include "world/ObeCamera.h"
#include "world/ObjectAction.h"
#include "world/ObjectApi.h"
#include "world/ObjectRecord.h"

uint8_t WeaponsEnabled = 1;
uint8_t PlayerDead = 0;
uint8_t MissionFailed = 0;
float PlayerHealth = 100.0f;
float PlayerMaxHealth = 100.0f;

CPlayer g_Player;

namespace {

// Commands of the key bindings the hero reads.
enum Command : int32_t {
    CMD_RUN = 1,
    CMD_FORWARD = 3,
    CMD_BACK = 4,
    CMD_LEFT = 5,
    CMD_RIGHT = 6,
    CMD_JUMP = 8,
    CMD_LASER = 9,
    CMD_MENU = 11,
    CMD_AIM = 14,
    CMD_SLOT = 15, // and the nine keys after it
    CMD_GRENADE = 16,
    CMD_KNIFE = 17,
    CMD_USE = 18,
    CMD_FIRE = 19,
    CMD_NEXT_WEAPON = 23,
    CMD_PREVIOUS_WEAPON = 24,
    CMD_RELOAD = 25,
    CMD_CROUCH = 34,
    CMD_DEBUG_CHARACTERS = 37,
    CMD_LOAD_CHECKPOINT = 67,
    CMD_DEBUG_MODELS = 68,
    CMD_DEBUG_PATHS = 69,
    CMD_OBJECTIVE_LIST = 70,
    CMD_TASK = 71,
};

// Level frames that gate the hero's work.
constexpr int32_t kPlayerFromFrame = 150;
constexpr int32_t kMoveInputFromFrame = 220;
constexpr int32_t kEarlyFramesUntil = 302;
constexpr int32_t kGravityFromFrame = 100;
constexpr int32_t kFallDamageFromFrame = 200;

constexpr float kMaxPitch = 1.5358899f; // 88 degrees
constexpr float kToggleInterval = 0.4f; // crouch toggles, hold-to-crouch, aim release, standing before a jump
constexpr float kCrouchAfterJump = 0.8f;
constexpr float kJumpSoundInterval = 0.2f;
constexpr float kJumpStaminaCost = 0.2f;
constexpr float kJumpNeedsStamina = 0.1f;
constexpr float kGroundAcceleration = 9000.0f;
constexpr float kAirAcceleration = 36.0f;
constexpr float kDazedSpeed = 0.67f;
constexpr float kSafeFall = 256.0f;
constexpr float kFallDamagePerUnit = 0.65f;
constexpr float kMaxFallSpeed = -6400.0f;
constexpr float kOffGroundFall = -64.0f;
constexpr float kLongFrame = 0.5f;
constexpr float kMaxStepUp = 18.0f;
constexpr float kMaxStepAcross = 22.0f;
constexpr float kJumpLift = 5.0f;
constexpr float kMaxSlideMiss = 64.0f;
constexpr float kMinCarry = 0.001f;
constexpr float kMaxCarry = 48.0f;
constexpr float kProbeDepth = 72.0f;
constexpr float kFeetOverHit = 4.0f;
constexpr float kStandUpRoom = 38.0f;
constexpr float kStandUpLift = 4.0f;
constexpr float kHeadSpeed = 250.0f;
constexpr float kSmallRestriction = 10.0f;
constexpr float kBezierWalk = 110.0f, kBezierRun = 240.0f;
constexpr float kBezierArrival = 8.0f;
constexpr float kBezierSink = 140.0f;

constexpr uint32_t kActiveBodyFlag = 4;
constexpr uint32_t kInertFlags = 0x80;
constexpr uint32_t kParkedFlags2 = 0x38001040;
constexpr uint32_t kPlayerKind = 128;
constexpr uint32_t kAllBits = 0xFFFFFFFFu;

const actorhooks::Hooks& Game() {
    return actorhooks::Game();
}

int32_t LevelFrame() {
    return Game().LevelFrame();
}

math::Vec3 Horizontal(const math::Vec3& v) {
    return {v.x, 0.0f, v.z};
}

float Length(const math::Vec3& v) {
    return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
}

// An action that its object's touch fires: enabled, with both trigger words.
bool FiresOnContact(const ObjectRecord* h) {
    const ObjectAction* a = h ? h->pAction : nullptr;
    return a && a->dwGeneralOpt1 && a->dwGeneralOpt2 && a->dwGeneral21;
}

bool IsMeshOrSkin(const ObjectRecord* h) {
    return h->dwType == OT_MESH || h->dwType == OT_SKINMESH;
}

// Whether the command is held now and was not the frame before; `held`
// keeps the state for the next frame.
bool FirstHeld(int32_t command, bool* held, int32_t offset = 0) {
    const bool now = IsCommandActive(command, offset);
    const bool first = now && !*held;
    *held = now;
    return first;
}

} // namespace

CPlayer::CPlayer() = default;

// ---- World open and close ---------------------------------------------------------------

void CPlayer::Init() {
    m_fDeathTime = 0;
    m_bBezier = m_bBezierFast = false;
    m_vVelocity = m_vPush = m_vCarry = {};
    m_bJumping = m_bJumpStarted = false;
    m_bCrouched = false;
    m_fJumpTimer = 0;
    m_iMode = 0;
    m_fHeadHeight = 0;
    m_fBreathTimer = m_fOuchTimer = 0;
    m_fTimeSinceWorldStart = 0;
    m_fCrouchToggleTimer = m_fStandingTimer = 0;
    m_fCrouchHoldTime = m_fAimHeldTime = 0;
    m_fStamina = 1.0f;
    m_bExhausted = false;
    m_fTimeSinceHit = 1.0f;
    m_fTimeSinceExplosion = 5.0f;
    m_fFootstepCountdown = 0;
    m_bMovedByWorld = false;
    m_hGroundObject = m_hUseTarget = nullptr;
    m_fHighestPoint = NO_FALL;
    LoadMeshes();
    Spawn();
    m_bOnLadder = false;
    m_hLadder = nullptr;
    m_bFirstUpdate = false;
    m_bRestricted = false;
    m_hLaserDust = g_Engine.CreateObject(OT_SPRITE, "spr_pylek_lasera.tga", 0, 0);
    if (!Game().LoadingBeforeStep(~0u)) {
        WeaponsEnabled = 1;
        // The weapon in hand: slot 1 (asked twice), else slot 0.
        for (int32_t slot : {1, 1, 0}) {
            if (g_WeaponMgr.m_pCurrentWeapon) break;
            g_WeaponMgr.SelectWeaponAnimated(slot);
        }
    }
    StopCountdown();
    m_fViewSmoothing = 0;
}

void CPlayer::Destroy() {
    if (m_pLadderSlide) {
        g_SoundMgr.StopSound(m_pLadderSlide);
        g_SoundMgr.DeleteSound(m_pLadderSlide);
        m_pLadderSlide = nullptr;
    }
    StopHeroSounds();
    g_Camera.m_fFovFactor = 1.0f;
    g_Engine.DeleteObject(m_hObjectStand);
    g_Engine.DeleteObject(m_hObjectCrouch);
    g_Engine.DeleteObject(m_hLaserDust);
    m_hObjectStand = m_hObjectCrouch = m_hLaserDust = nullptr;
    m_hObject = m_hGroundObject = m_hUseTarget = nullptr;
    m_hCountdownObject = m_hLadder = nullptr;
}

void CPlayer::LoadMeshes() {
    const math::Vec3 parked{-9999.0f, -9999.0f, -9999.0f};
    m_hObjectStand =
        g_Engine.CreateObject(OT_MESH, "prefabs\\special\\hero.x", 2048, 0x18000040, parked.data());
    m_hObjectCrouch =
        g_Engine.CreateObject(OT_MESH, "prefabs\\special\\hero_kuca.x", 2048, 0x18000040, parked.data());
    m_hObject = m_hObjectStand;
    SetObjectName(m_hObjectStand, "hero");
    SetObjectName(m_hObjectCrouch, "___zz");
    SetObjectFlags(m_hObject, kActiveBodyFlag, kActiveBodyFlag);
    SetObjectKindFlags(m_hObjectStand, kPlayerKind, kAllBits);
    SetObjectKindFlags(m_hObjectCrouch, kPlayerKind, kAllBits);
}

void CPlayer::StopHeroSounds() {
    for (strSound** s : {&m_pHeartbeat, &m_pBreath}) {
        if (!*s) continue;
        g_SoundMgr.StopSound(*s);
        g_SoundMgr.DeleteSound(*s);
        *s = nullptr;
    }
}

// ---- Requests of the world, the console and the game -----------------------------------

void CPlayer::SetHealth(float value, bool force) {
    PlayerHealth = (!force && value > PlayerMaxHealth) ? PlayerMaxHealth : value;
}

void CPlayer::ChangeHealth(float delta, int32_t, uint32_t) {
    PlayerHealth += delta;
    if (PlayerHealth > PlayerMaxHealth) PlayerHealth = PlayerMaxHealth;
    if (PlayerHealth <= 0.0f) HandleDeath();
}

void CPlayer::StartCountdown(ObjectRecord* caller) {
    ObjectAction action;
    GetObjectAction(caller, &action);
    ObjectRecord* target = g_Engine.FindObjectByName(action.szCountdownActionOnFinish);
    if (!target) {
        g_Console.Print3("Can't find Countdown target action object \"", action.szCountdownActionOnFinish,
                         "\"");
        StopCountdown();
        return;
    }
    m_hCountdownObject = target;
    m_fCountdownTime = action.fCountdownTimeInSeconds;
    m_bCountdown = true;
}

void CPlayer::StopCountdown() {
    m_bCountdown = false;
    m_fCountdownTime = 0;
    m_hCountdownObject = nullptr;
}

void CPlayer::StartBezier(const char* startNode, bool fast) {
    if (!startNode || !*startNode) {
        StopBezier();
        return;
    }
    const double length = g_BezierMgr.GetPathLength(startNode);
    if (!(length >= 1.0)) {
        g_Console.Print3("Player Bezier ", startNode, " too short or not existing!");
        return;
    }
    m_dBezierLength = length;
    m_dBezierDistance = 0;
    m_iBezierArrived = 0;
    m_bBezierFast = fast;
    m_bBezier = true;
    std::snprintf(m_szBezierNode, sizeof m_szBezierNode, "%s", startNode);
}

void CPlayer::StopBezier() {
    m_bBezier = m_bBezierFast = m_bRunning = false;
}

void CPlayer::RestrictToRadius(float radius) {
    m_vRestrictCentre = m_vPosition;
    m_fRestrictRadius = radius;
    m_bRestricted = true;
}

void CPlayer::EnableWeapons(bool on) {
    if (!on && g_WeaponMgr.m_pCurrentWeapon) g_WeaponMgr.PutAwayWeapon();
    WeaponsEnabled = on ? 1 : 0;
}

bool CPlayer::IsPlayerObject(const ObjectRecord* h) const {
    return h && h->bUsed && (h == m_hObject || h == m_hObjectStand || h == m_hObjectCrouch);
}

// ---- The frame -------------------------------------------------------------------------------

void CPlayer::Update() {
    const float dt = g_Engine.m_fFrameTime;
    m_fDt = m_fDt2 = dt;
    m_fTotalTime += dt;
    for (float* timer : {&m_fOuchTimer, &m_fBreathTimer, &m_fJumpTimer, &m_fCrouchToggleTimer,
                         &m_fStandingTimer, &m_fTimeSinceWorldStart, &m_fTimeSinceDamage, &m_fTimeSinceHit,
                         &m_fTimeSinceExplosion, &m_fDeathTime})
        *timer += dt;

    if (g_Engine.m_bWorldPaused) {
        StopHeroSounds();
        return;
    }
    if (IsCommandActive(CMD_MENU) && !Game().MenuOpen() && !g_Engine.m_bQuit && !Game().CutSceneRunning() &&
        !g_Engine.m_bWorldPaused2) {
        Game().OpenMenu();
        return;
    }
    if (LevelFrame() < kPlayerFromFrame) return;
    if (Game().CutSceneRunning()) {
        StopHeroSounds();
        return;
    }
    m_vPrevPosition = m_vPosition;
    m_bFirstUpdate = true;
    // Dazed while the view is smoothed and the picture swims: he walks slower.
    m_bDazed = m_fViewSmoothing > 0.001f && g_PostProcess.m_bDaze1 && g_PostProcess.m_bDaze2;

    // A breath that ended goes; the letterbox cuts one short and rests the hero.
    if (m_pBreath && (!g_SoundMgr.IsSoundPlaying(m_pBreath) || Game().Letterbox())) {
        if (g_SoundMgr.IsSoundPlaying(m_pBreath)) m_fStamina = 1.0f;
        g_SoundMgr.DeleteSound(m_pBreath);
        m_pBreath = nullptr;
    }

    if (!PlayerDead && !MissionFailed && !Game().IntroRunning()) {
        UpdateStamina();
        if (mucha) {
            UpdateFlyMode();
            PlaceCameraAtPlayer();
        } else if (g_ObeCamera.IsRunning()) {
            g_ObeCamera.Update(dt);
        } else {
            FindUseTarget();
            if (m_bBezier) {
                UpdateBezier();
            } else {
                if (!Game().MenuOpen()) HandleInput();
                FallDamage();
            }
            SlideStep();
            if (m_bCountdown) UpdateCountdown();
            if (m_bRestricted && m_fRestrictRadius < kSmallRestriction) {
                m_bRunning = m_bMoving = false;
                m_bOnGround = true;
            }
            if (!Game().MenuOpen()) UpdateHeadBob();
        }
        ChangeHealth(0.0f);
        m_vHalfExtents = {16.0f, m_bCrouched ? 24.0f : 59.0f, 16.0f};
        if (m_bCrouched) m_fStandingTimer = 0;
        return;
    }
    // Dead, failed or in the intro: fire after two seconds of death, or the
    // load key, brings the last checkpoint back.
    if (PlayerDead && m_fDeathTime > 2.0f && IsCommandActive(CMD_FIRE) && !Game().IntroRunning())
        Game().LoadLastCheckpoint();
    if (FirstHeld(CMD_LOAD_CHECKPOINT, &m_bLoadHeld)) Game().LoadLastCheckpoint();
}

void CPlayer::UpdateStamina() {
    const float before = std::clamp(m_fStamina, 0.0f, 1.0f);
    m_fStamina = before;
    if (m_bRunning && m_bMoving && m_bOnGround)
        m_fStamina -= m_fDt / 10.0f;
    else if (!m_bMoving)
        m_fStamina += m_fDt * 0.125f;
    else
        m_fStamina += m_fDt / 15.0f;
    if (before > 0.1f && m_fStamina <= 0.1f) {
        m_fStamina = 0;
        m_bExhausted = true;
        if (m_fBreathTimer > 3.0f) {
            PlayBreathVoice(1);
            m_fBreathTimer = 0;
        }
    }
    if (m_fStamina > 0.2f) m_bExhausted = false;
    if (before > 0.5f && m_fStamina < 0.5f && m_fBreathTimer > 4.0f) {
        PlayBreathVoice(0);
        m_fBreathTimer = 0;
    }
    m_fStamina = std::min(m_fStamina, 1.0f);
}

void CPlayer::PlayBreathVoice(int kind) {
    ++m_dwBreathVoices[kind != 0];
}

void CPlayer::HandleInput() {
    if (g_Engine.m_bWorldPaused || !g_Engine.m_bWorldRunning || LevelFrame() < kPlayerFromFrame ||
        Game().CutSceneRunning())
        return;
    if (FirstHeld(CMD_LOAD_CHECKPOINT, &m_bLoadHeld)) {
        Game().LoadLastCheckpoint();
        return;
    }
    Move();
}

void CPlayer::Move() {
    if (Game().HudFade() > 0.5f || LevelFrame() < kMoveInputFromFrame) return;
    const float dt = m_fDt;
    const float jumpSpeed = m_bHighJump ? HIGH_JUMP_SPEED : JUMP_SPEED;
    float speed = WALK_SPEED;

    const orientation& look = g_Camera.Orientation();
    math::Vec3 forward = Horizontal(look.forward);
    const float forwardLength = Length(forward);
    forward = forward / (forwardLength > 0.0f ? forwardLength : 1.0f);
    const math::Vec3 right = look.right;

    m_bRunning = m_bMoving = m_bMovingBack = m_bStrafeLeft = m_bStrafeRight = false;

    if (developer) {
        if (FirstHeld(CMD_DEBUG_MODELS, &m_bDevHeld[0])) UpdateModels = !UpdateModels;
        if (FirstHeld(CMD_DEBUG_PATHS, &m_bDevHeld[1])) DrawCharacterPaths = !DrawCharacterPaths;
        if (FirstHeld(CMD_DEBUG_CHARACTERS, &m_bDevHeld[2])) DebugCharacters = !DebugCharacters;
    }
    if (IsCommandActive(CMD_OBJECTIVE_LIST)) Game().ShowObjectiveList();
    if (IsCommandActive(CMD_TASK)) Game().ShowTask();

    const bool movementKey = IsCommandActive(CMD_FORWARD) || IsCommandActive(CMD_BACK) ||
                             IsCommandActive(CMD_LEFT) || IsCommandActive(CMD_RIGHT);
    if (IsCommandActive(CMD_RUN) && m_bSprintAllowed && !m_bExhausted) {
        speed = RUN_SPEED;
        m_bRunning = true;
    }

    // Aiming: a press toggles, releasing a long hold toggles back, and
    // running with a movement key ends it.
    if (g_WeaponMgr.CanAim()) {
        const bool held = IsCommandActive(CMD_AIM);
        if (held && !m_bAimHeld && (!m_bRunning || g_WeaponMgr.m_bAiming)) {
            g_WeaponMgr.ToggleAim();
            m_fAimHeldTime = 0;
        }
        if (held) m_fAimHeldTime += dt;
        if (!held && m_bAimHeld && m_fAimHeldTime > kToggleInterval && g_WeaponMgr.m_bAiming)
            g_WeaponMgr.ToggleAim();
        m_bAimHeld = held;
        if (m_bRunning && movementKey && g_WeaponMgr.m_bAiming) g_WeaponMgr.ToggleAim();
        if (g_WeaponMgr.m_bAiming) {
            speed = WALK_SPEED;
            m_bRunning = false;
        }
    }

    bool anySlot = false;
    for (int32_t slot = 0; slot < 10; ++slot) {
        if (!IsCommandActive(CMD_SLOT, slot)) continue;
        if (!m_bSlotHeld) g_WeaponMgr.SelectWeaponAnimated(slot);
        anySlot = true;
        break;
    }
    m_bSlotHeld = anySlot;
    if (IsCommandActive(CMD_NEXT_WEAPON)) g_WeaponMgr.SelectNextWeapon();
    if (IsCommandActive(CMD_PREVIOUS_WEAPON)) g_WeaponMgr.SelectPreviousWeapon();
    if (IsCommandActive(CMD_KNIFE)) g_WeaponMgr.KnifeRequest();
    if (IsCommandActive(CMD_GRENADE)) g_WeaponMgr.ThrowGrenadeRequest();
    if (IsCommandActive(CMD_RELOAD)) g_WeaponMgr.Reload();

    // Crouching: a press toggles; releasing a hold of more than 0.4 s stands
    // up again; the restriction keeps the hero on his feet.
    const bool jumpHeld = IsCommandActive(CMD_JUMP);
    bool standRequest = jumpHeld || (m_bRunning && movementKey);
    bool crouchRequest = false;
    const bool crouchHeld = IsCommandActive(CMD_CROUCH);
    if (crouchHeld) {
        if (!m_bCrouchHeld) {
            if (m_bCrouched)
                standRequest = true;
            else
                crouchRequest = true;
            m_fCrouchHoldTime = 0;
        }
        m_fCrouchHoldTime += dt;
    } else {
        if (m_bCrouchHeld && m_fCrouchHoldTime > kToggleInterval) standRequest = true;
        m_fCrouchHoldTime = 0;
    }
    m_bCrouchHeld = crouchHeld;
    if (m_bRestricted) {
        crouchRequest = false;
        standRequest = true;
    }
    if (m_bOnGround) {
        const bool forced = m_iMode > 0;
        if (!m_bCrouched && (crouchRequest || forced) &&
            (forced || (m_fCrouchToggleTimer >= kToggleInterval && m_fJumpTimer >= kCrouchAfterJump))) {
            SetCrouch(true);
            m_fCrouchToggleTimer = 0;
        } else if (m_bCrouched && standRequest && !forced && CanStandUp()) {
            SetCrouch(false);
            m_fCrouchToggleTimer = 0;
        }
    }
    if (m_bCrouched) {
        speed = CROUCH_SPEED;
        m_bRunning = false;
    }
    m_fMoveSpeed = speed * (m_bDazed ? kDazedSpeed : 1.0f);

    if (jumpHeld && m_bJumpAllowed && m_fStamina > kJumpNeedsStamina && m_bOnGround && !m_bJumping &&
        g_MovePlayerSlide.IsOnGround() && !m_bJumpHeld && m_fStandingTimer > kToggleInterval) {
        m_vVelocity.y = jumpSpeed;
        m_bJumpStarted = true;
        m_fStamina -= kJumpStaminaCost;
        std::fill(std::begin(m_bGroundRing), std::end(m_bGroundRing), 0);
        m_bInputVelocity = true;
        m_bJumping = true;
        m_bJumpHeld = true;
        m_fHighestPoint = NO_FALL;
        if (m_fJumpTimer > kJumpSoundInterval) {
            g_SoundMgr.PlaySoundOnce("sounds\\hero\\skok.wav", 1.0f, 0.0f);
            ++m_dwJumpVoices;
            m_fJumpTimer = 0;
        }
    }
    if (!jumpHeld) m_bJumpHeld = false;

    const float a = (m_bOnGround ? kGroundAcceleration : kAirAcceleration) * dt;
    struct Key {
        int32_t command;
        math::Vec3 direction;
        bool* flag;
    };
    const Key keys[] = {{CMD_FORWARD, forward, nullptr},
                        {CMD_BACK, -forward, &m_bMovingBack},
                        {CMD_LEFT, -right, &m_bStrafeLeft},
                        {CMD_RIGHT, right, &m_bStrafeRight}};
    for (const Key& k : keys) {
        if (!IsCommandActive(k.command)) continue;
        m_vVelocity += k.direction * a;
        m_bInputVelocity = true;
        if (!m_bOnGround) continue;
        m_bMoving = true;
        if (k.flag) *k.flag = true;
    }

    if (IsCommandActive(CMD_FIRE))
        g_WeaponMgr.Fire();
    else
        g_WeaponMgr.m_bTriggerReleased = true;
    if (FirstHeld(CMD_USE, &m_bUseHeld)) RunUseTarget();
    if (FirstHeld(CMD_LASER, &m_bLaserHeld)) g_WeaponMgr.ToggleLaser();
    if (m_iMode > 0) --m_iMode;
    if (m_bRestricted && m_fRestrictRadius < kSmallRestriction) m_bRunning = m_bMoving = false;
}

void CPlayer::RunUseTarget() {
    if (m_hUseTarget) g_EngineObject.RunActionIfObject(m_hUseTarget, true);
}

// ---- Body movement ---------------------------------------------------------------------------

void CPlayer::FallDamage() {
    if (!m_hObject) return;
    const float dt = m_fDt;
    const int32_t frame = LevelFrame();
    math::Vec3 body;
    GetObjectPosition(m_hObject, &body);
    const float h = body.y;

    const float fall = m_fHighestPoint - h - kSafeFall;
    if (!m_bOnGroundLastFrame && m_bOnGround && frame > kFallDamageFromFrame && fall > 0.0f) {
        ChangeHealth(-fall * kFallDamagePerUnit);
        g_SoundMgr.PlaySoundOnce("sounds\\hero\\spad.wav", 1.0f, 0.0f);
        ++m_dwFallVoices;
        g_PostacMgr.AddEvent(m_vPosition, 140.0f, 640.0f, 0, 640.0f, 1, 1, 0);
    }
    if (m_bOnGround && m_bMoving && m_bRunning)
        g_PostacMgr.AddEvent(m_vPosition, 128.0f, 240.0f, 0, 240.0f, 1, 1, 0);
    if (m_bOnGroundLastFrame && !m_bOnGround) m_fHighestPoint = h;
    m_bOnGroundLastFrame = m_bOnGround;

    if (frame > kGravityFromFrame) m_vVelocity.y -= GRAVITY * dt;
    if (m_bOnGround) {
        m_vVelocity.y = std::max(m_vVelocity.y, 0.0f);
        if (!g_MovePlayerSlide.IsOnGround()) m_vVelocity.y = kOffGroundFall;
    }
    m_vVelocity.y = std::max(m_vVelocity.y, kMaxFallSpeed);
    if (m_bJumping && m_vVelocity.y <= 0.0f) {
        m_bJumping = false;
        m_fHighestPoint = h;
    }

    math::Vec3 horizontal = Horizontal(m_vVelocity);
    if (m_bOnGround && !m_bInputVelocity) horizontal *= (0.95f - dt) * 0.45f;
    float speed = Length(horizontal);
    if (speed < 1.0f) {
        horizontal = {};
        speed = 0;
    }
    const float cap = m_bOnGround ? m_fMoveSpeed : AIR_SPEED_CAP;
    if (speed > cap) horizontal *= m_fMoveSpeed / speed;
    m_vVelocity = {horizontal.x, m_vVelocity.y, horizontal.z};
    m_bInputVelocity = false;

    m_fFootstepCountdown -= dt;
    if (m_bMoving && m_fFootstepCountdown < 0.0f) {
        m_fFootstepCountdown = m_bRunning ? 0.35f : 0.6f;
        ++m_dwFootsteps;
    }
}

// The engine reports every move of the player's body as the world's; his own
// placements are not.
void CPlayer::PlaceBody() {
    SetObjectPosition(m_hObject, m_vPosition);
    m_bMovedByWorld = false;
}

bool CPlayer::RingOnGround() const {
    return m_bGroundRing[0] || m_bGroundRing[1] || m_bGroundRing[2];
}

void CPlayer::SlideStep() {
    const float dt = m_fDt;
    if (dt > kLongFrame) {
        m_bJustPlaced = true;
        return;
    }
    if (LevelFrame() < kPlayerFromFrame) {
        std::fill(std::begin(g_Mouse.m_State.buttons), std::end(g_Mouse.m_State.buttons), 0);
        m_vVelocity = {};
        m_bJustPlaced = true;
        return;
    }
    if (!g_Engine.m_bWorldRunning) {
        m_bJustPlaced = true;
        return;
    }
    if (!m_hObject) return;
    // A move by the world (a teleport, a lift) is taken as it stands.
    if (m_bMovedByWorld) {
        m_bMovedByWorld = false;
        m_bJustPlaced = true;
    }
    if (m_bJustPlaced) {
        m_bJustPlaced = false;
        PlaceBody();
        return;
    }
    FollowGroundObject();
    m_vVelocity += m_vPush;
    m_vPush = {};

    math::Vec3 step = m_vCarry + m_vVelocity * dt;
    if (m_bJumpStarted) {
        step.y = std::max(step.y, 0.0f) + kJumpLift;
        m_bJumpStarted = false;
    }
    if (!mucha) {
        step.y = std::clamp(step.y, -kMaxStepUp, kMaxStepUp);
        const float across = Length(Horizontal(step));
        if (across > kMaxStepAcross) {
            step.x *= kMaxStepAcross / across;
            step.z *= kMaxStepAcross / across;
        }
    }
    math::Vec3 target = m_vPosition + step;
    if (m_bRestricted) {
        ApplyRestriction(&target);
        m_vRestrictCentre.y = target.y;
    }
    if (m_bBezier) target = m_vBezierTarget;

    math::Vec3 slid = target;
    g_MovePlayerSlide.MovePlayerSlide(m_hObject, &slid, &m_bGroundRing[m_iGroundRing], true);
    m_iGroundRing = (m_iGroundRing + 1) % 3;
    m_bOnGround = RingOnGround();
    m_bEarlyFrames = LevelFrame() < kEarlyFramesUntil;
    if (Length(slid - target) <= kMaxSlideMiss) {
        m_vPosition = slid;
        PlaceBody();
    }
    ProbeGround();
}

bool CPlayer::FollowGroundObject() {
    m_vCarry = {};
    ObjectRecord* ground = m_hGroundObject;
    if (!ground) return false;
    if (IsMeshOrSkin(ground) && FiresOnContact(ground)) g_EngineObject.RunActionIfObject(ground, true);
    math::Vec3 now;
    GetObjectPosition(ground, &now);
    const math::Vec3 moved = now - m_vGroundObjectPosition;
    const float length = Length(moved);
    if (length < kMinCarry || length > kMaxCarry || Game().LoadingBeforeStep(3)) return false;
    m_vGroundObjectPosition = now;
    m_vCarry = moved;
    return true;
}

void CPlayer::ProbeGround() {
    if (LevelFrame() < kPlayerFromFrame) {
        m_hGroundObject = nullptr;
        return;
    }
    m_fFeetHeight = m_vPosition.y - (m_bCrouched ? CROUCH_HEAD : STAND_HEAD);
    const math::Vec3 below = m_vPosition - math::Vec3(0.0f, kProbeDepth, 0.0f);
    SegmentQuery query;
    query.pStart = &m_vPosition;
    query.pEnd = &below;
    query.pFilter = ObjectFilter2;
    SegmentHit hit;
    if (!g_IntersectSegment.Test(query, &hit) || !hit.hObject || !IsMeshOrSkin(hit.hObject)) {
        if (hit.bHit) {
            m_vGroundHit = hit.vPoint;
            m_fFeetHeight = hit.vPoint.y + kFeetOverHit;
        }
        m_hGroundObject = nullptr;
        return;
    }
    m_vGroundHit = hit.vPoint;
    m_fFeetHeight = hit.vPoint.y + kFeetOverHit;
    if (const strtexture* t = g_Renderer.GetTexture(hit.dwTextureId))
        m_iMaterial = int32_t(t->desc.dwMaterial);
    if (hit.hObject != m_hGroundObject) {
        m_hGroundObject = hit.hObject;
        GetObjectPosition(hit.hObject, &m_vGroundObjectPosition);
    }
}

void CPlayer::ApplyRestriction(math::Vec3* target) {
    const float r = m_fRestrictRadius;
    if (r < 1.0f) {
        // Pinned: the hero keeps his height (he may still fall or land).
        target->x = m_vRestrictCentre.x;
        target->z = m_vRestrictCentre.z;
        return;
    }
    const math::Vec3 toCentre = Horizontal(m_vRestrictCentre - *target);
    const float d = Length(toCentre);
    const float half = r * 0.5f;
    const math::Vec3 step = Horizontal(*target - m_vPosition);
    const float length = Length(step);
    if (d < half || length < 0.00001f) return;
    const float c = d > 0.0f ? math::Vec3Dot(step, toCentre) / (length * d) : 1.0f;
    if (c > 0.0f) return;
    const float scale = ((1.0f + c) * 0.4f + 0.6f) * (1.0f - (d - half) / half);
    target->x = m_vPosition.x + step.x * scale;
    target->z = m_vPosition.z + step.z * scale;
}

void CPlayer::SetCrouch(bool on) {
    if (!m_hObjectStand || !m_hObjectCrouch) return;
    ObjectRecord* const from = on ? m_hObjectStand : m_hObjectCrouch;
    ObjectRecord* const to = on ? m_hObjectCrouch : m_hObjectStand;
    SetObjectFlags(from, kInertFlags, kAllBits);
    SetObjectFlags2(m_hObject ? m_hObject : from, kParkedFlags2, kAllBits);
    SetObjectFlags(to, kActiveBodyFlag, kAllBits);
    SetObjectName(to, "hero");
    SetObjectName(from, "___zz");
    if (!on) m_vPosition.y += kStandUpLift;
    m_hObject = to;
    PlaceBody();
    m_bCrouched = on;
    m_bEarlyFrames = true;
    m_bMoving = true;
}

bool CPlayer::CanStandUp() {
    if (!m_bCrouched) return true;
    return g_MovePlayerSlide.IsPositionFree(m_hObjectStand,
                                            m_vPosition + math::Vec3(0.0f, kStandUpRoom, 0.0f));
}

void CPlayer::TeleportTo(const float* position) {
    if (!position) return;
    if (Debug > 0) g_Console.PrintVector("CPlayer::TeleportTo ", position);
    m_vPosition = {position[0], position[1], position[2]};
    PlaceBody();
    m_vVelocity = {};
    m_bEarlyFrames = true;
    m_fHighestPoint = NO_FALL;
}

void CPlayer::Spawn() {
    ObjectRecord* start = g_Engine.FindObjectByName("game_start_point");
    if (!start) return;
    GetObjectPosition(start, &m_vPosition);
    m_fTimeSinceDamage = 10.0f;
    PlaceBody();
    m_vVelocity = {};
    m_vPositionCopy = m_vPosition;
    m_fHighestPoint = NO_FALL;
    m_hGroundObject = nullptr;
    SlideStep();
    orientation o;
    GetObjectOrientation(start, &o);
    const math::Vec3 facing = Horizontal(o.forward);
    const float across = Length(facing);
    double yaw = across > 0.0f ? std::acos(std::clamp(facing.z / across, -1.0f, 1.0f)) : 0.0;
    if (facing.x < 0.0f) yaw = -yaw;
    g_Mouse.m_State.yaw = yaw;
    g_Mouse.m_State.pitch = 0;
    PlayerHealth = PlayerMaxHealth;
    m_bOnLadder = false;
    UpdateHeadBob();
}

void CPlayer::UpdateFlyMode() {
    if (!g_Engine.m_bWorldRunning || LevelFrame() <= kPlayerFromFrame - 1) return;
    m_ViewOrientation.InitYawPitchRoll(float(g_Mouse.m_State.yaw), float(g_Mouse.m_State.pitch), 0.0f);
    const float s = MuchaSpeed * m_fDt;
    if (IsCommandActive(CMD_FORWARD)) m_vPosition += m_ViewOrientation.forward * s;
    if (IsCommandActive(CMD_BACK)) m_vPosition -= m_ViewOrientation.forward * s;
    if (IsCommandActive(CMD_RIGHT)) m_vPosition += m_ViewOrientation.right * s;
    if (IsCommandActive(CMD_LEFT)) m_vPosition -= m_ViewOrientation.right * s;
    if (FirstHeld(CMD_USE, &m_bUseHeld)) RunUseTarget();
    m_vPositionCopy = m_vPosition;
}

void CPlayer::UpdateCountdown() {
    ObjectRecord* target = m_hCountdownObject;
    if (target && target->bUsed && target->szName[0]) {
        m_fCountdownTime -= m_fDt;
        if (m_fCountdownTime > 1.0f) return;
        g_EngineObject.RunActionIfObject(target, false);
    }
    StopCountdown();
}

void CPlayer::UpdateBezier() {
    const float speed = m_bBezierFast ? kBezierRun : kBezierWalk;
    const float dt = m_fDt;
    math::Vec3 point, direction;
    bool ended = false;
    if (!m_iBezierArrived) {
        g_BezierMgr.GetPointOnPath(m_szBezierNode, 0.0, &point, &direction);
        const math::Vec3 toStart = Horizontal(point - m_vPosition);
        const float d = Length(toStart);
        if (d <= kBezierArrival) {
            m_iBezierArrived = 1;
            point = m_vPosition;
        } else {
            point = m_vPosition + toStart * (std::min(speed * dt, d) / d);
        }
    } else {
        m_dBezierDistance = std::min(m_dBezierDistance + double(speed * dt), m_dBezierLength - 1.0);
        g_BezierMgr.GetPointOnPath(m_szBezierNode, m_dBezierDistance, &point, &direction);
        ended = m_dBezierDistance >= m_dBezierLength - 1.0;
    }
    m_vBezierTarget = {point.x, m_vPosition.y - kBezierSink * dt, point.z};
    if (ended) {
        StopBezier();
        if (m_bRestricted) m_vRestrictCentre = m_vPosition;
    }
    m_bMoving = true;
    m_bRunning = m_bBezierFast;
    m_bMovingBack = m_bStrafeLeft = m_bStrafeRight = false;
    if (m_bCrouched) SetCrouch(false);
    m_bOnLadder = false;
}

void CPlayer::FindUseTarget() {
    Game().ClearHints();
    if (Game().LoadingBeforeStep(5)) return;
    m_hUseTarget = nullptr;
    if (m_bOnLadder) return;
    const math::Vec3 start = g_Camera.GetPosition();
    const math::Vec3 end = start + g_Camera.Orientation().forward * g_Camera.GetFarZ();
    SegmentQuery query;
    query.pStart = &start;
    query.pEnd = &end;
    query.pFilter = ObjectFilter2;
    SegmentHit hit;
    if (!g_IntersectSegment.Test(query, &hit)) {
        m_vLookPoint = end;
        return;
    }
    m_vLookPoint = hit.vPoint;
    m_fLookDistance = hit.fDistance;
    if (g_WeaponMgr.m_pCurrentWeapon && g_WeaponMgr.m_bLaserOn)
        g_PostacMgr.AddEvent(hit.vPoint, 0.0f, 120.0f, 0, 240.0f, 1, 0, 0);
    ObjectRecord* h = hit.hObject;
    if (!h || !h->pAction || !h->pAction->dwGeneralOpt1 || FiresOnContact(h)) return;
    const int canRun = CanRunObjectAction(h);
    if (h->pAction->bActionOnLook && canRun == 1) {
        g_EngineObject.RunActionIfObject(h, true);
        return;
    }
    Game().ShowUseHint(canRun);
    if (canRun == 1 && hit.fDistance <= USE_REACH) m_hUseTarget = h;
}

// ---- View ------------------------------------------------------------------------------------

void CPlayer::UpdateView() {
    if (!g_Engine.m_bWorldRunning || LevelFrame() < kPlayerFromFrame || Game().CutSceneRunning() ||
        PlayerDead || MissionFailed || Game().IntroRunning())
        return;
    PlaceView();
}

// The look-at mode an action switched on: the mouse's angles are drawn
// toward the object by 2 x dt a frame and held within the mode's angle of
// it, the yaw about the up axis. An object that is gone ends the mode.
void CPlayer::FollowLookAt() {
    ObjectRecord* target = g_Camera.LookAtTarget();
    if (!target) return;
    if (!target->bUsed) {
        g_Camera.SetLookAt(nullptr, 0.0f);
        return;
    }
    math::Vec3 at;
    GetObjectPosition(target, &at);
    const math::Vec3 to = at - g_Camera.GetPosition();
    const double across = std::hypot(double(to.x), double(to.z));
    if (across <= 0.0 && to.y == 0.0f) return;
    const double yaw = std::atan2(double(to.x), double(to.z));
    const double pitch = -std::atan2(double(to.y), across);
    const double pull = std::min(1.0, 2.0 * double(m_fDt));
    const double limit = double(g_Camera.LookAtAngle()) * M_PI / 180.0;
    // The yaw's difference the short way round.
    double dYaw = std::remainder(g_Mouse.m_State.yaw - yaw, 2.0 * M_PI);
    double dPitch = g_Mouse.m_State.pitch - pitch;
    dYaw = std::clamp(dYaw * (1.0 - pull), -limit, limit);
    dPitch = std::clamp(dPitch * (1.0 - pull), -limit, limit);
    g_Mouse.m_State.yaw = yaw + dYaw;
    g_Mouse.m_State.pitch = pitch + dPitch;
}

void CPlayer::PlaceView() {
    if (m_bOnLadder || Game().MenuOpen()) return;
    FollowLookAt();
    g_Mouse.m_State.pitch = std::clamp(g_Mouse.m_State.pitch, -double(kMaxPitch), double(kMaxPitch));
    orientation target;
    target.InitYawPitchRoll(float(g_Mouse.m_State.yaw), float(g_Mouse.m_State.pitch), 0.0f);
    if (m_fViewSmoothing > 0.001f) {
        const float factor = std::min(m_fViewSmoothing, 0.99f);
        m_ViewOrientation.Slerp(target, std::clamp((1.0f - factor) * m_fDt, 0.024f, 0.4f));
    } else {
        m_ViewOrientation = target;
    }
    g_Camera.SetOrientation(m_ViewOrientation);
    m_vViewForward = m_ViewOrientation.forward;
    m_vViewUp = m_ViewOrientation.up;
}

void CPlayer::UpdateHeadBob() {
    const float dt = m_fDt;
    if (m_bCrouched)
        m_fHeadHeight = std::max(m_fHeadHeight - kHeadSpeed * dt, CROUCH_HEAD);
    else
        m_fHeadHeight = std::min(m_fHeadHeight + kHeadSpeed * dt, STAND_HEAD);
    m_vEye = m_vPosition + math::Vec3(0.0f, m_fHeadHeight, 0.0f);
    g_Camera.SetPosition(m_vEye);
}

void CPlayer::PlaceCameraAtPlayer() {
    g_Camera.SetPosition(m_vPosition);
    g_Camera.SetOrientation(m_ViewOrientation);
}
