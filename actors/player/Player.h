// The first-person hero, `CPlayer` (global g_Player), and the status globals
// beside it.
//
// What it owns: the hero's two engine objects, the standing body
// ("prefabs\special\hero.x", named "hero" while active) and the crouching one
// ("prefabs\special\hero_kuca.x", "___zz" while not), made at each world open
// and deleted at its close; the look and movement state, stamina, the
// countdown, the drive along a Bezier path, the movement restriction and the
// use target under the crosshair.
//
// Each frame the game frame runs UpdateView early in the engine update (the
// look orientation from the mouse) and Update after it (from level frame
// 151): the commands are read through IsCommandActive, turned into a
// velocity, integrated with gravity, friction and the speed caps, and moved
// through the slide mover; the eye follows at the head height, and the camera
// is placed there. In fly mode ("mucha") the body stays and the camera flies
// without collision. The position is authoritative: the active body is placed
// from it after each accepted slide.
//
// Failure policy: missing bodies make every movement step do nothing; a slide
// result far from its target and a frame longer than half a second move
// nothing; a missing countdown target or Bezier path prints its console line
// and changes nothing else. Main thread only; nothing is allocated per frame.
#pragma once

#include <cstdint>

#include "app/Orientation.h"
#include "platform/math/Types.h"

extern uint8_t WeaponsEnabled;
extern uint8_t PlayerDead;
extern uint8_t MissionFailed;
extern float PlayerHealth;
extern float PlayerMaxHealth;

struct ObjectRecord;
struct strSound;

class CPlayer {
  public:
    // Movement constants of the hero, units and seconds.
    static constexpr float WALK_SPEED = 180.0f;
    static constexpr float RUN_SPEED = 420.0f;
    static constexpr float CROUCH_SPEED = 80.0f;
    static constexpr float AIR_SPEED_CAP = 418.0f;
    static constexpr float JUMP_SPEED = 260.0f;
    static constexpr float HIGH_JUMP_SPEED = 460.0f;
    static constexpr float GRAVITY = 800.0f;
    static constexpr float NO_FALL = -100000000.0f; // highest point: no fall started
    static constexpr float USE_REACH = 128.0f;
    static constexpr float STAND_HEAD = 46.0f; // head height over the position
    static constexpr float CROUCH_HEAD = 20.0f;

    CPlayer();
    virtual ~CPlayer() = default;

    // ---- World open and close, the frame ----------------------------------------
    void Init();
    void Destroy();
    void Update();
    // The look orientation before the objects update (from level frame 150,
    // while the player acts).
    void UpdateView();
    void LoadMeshes();

    // ---- What the world's actions, the console and the game ask ----------------
    // PlayerHealth = value, clamped to PlayerMaxHealth unless forced.
    void SetHealth(float value, bool force = false);
    // PlayerHealth += delta (at most the maximum); at 0 or below the player
    // dies. The other two values come with the player's damage rules.
    void ChangeHealth(float delta, int32_t = 0, uint32_t = 0);
    void HandleDeath() { PlayerDead = 1; }
    void SetViewSmoothing(float factor) { m_fViewSmoothing = factor; }
    // The countdown toward the object's action_countdown_action_on_finish,
    // over its action_countdown_time_in_seconds.
    void StartCountdown(ObjectRecord* caller);
    void StopCountdown();
    // Walks (or, fast, runs) the Bezier path from the named node; a null or
    // empty name stops the drive.
    void StartBezier(const char* startNode, bool fast);
    void StopBezier();
    // Keeps the player within the radius around where he stands.
    void RestrictToRadius(float radius);
    void EndRestriction() { m_bRestricted = false; }
    // Off puts the weapon in hand away; WeaponsEnabled = on.
    void EnableWeapons(bool on);
    bool IsPlayerObject(const ObjectRecord* h) const;
    // The ladder the player takes hold of (the ladder movement keeps it).
    void AttachToLadder(ObjectRecord* ladder) { m_hLadder = ladder; }

    // ---- Body movement --------------------------------------------------------------
    void TeleportTo(const float* position);
    void TeleportTo(const math::Vec3& position) { TeleportTo(position.data()); }
    // At "game_start_point" (nothing without one).
    void Spawn();
    void SetCrouch(bool on);
    bool CanStandUp();
    void HandleInput();
    void Move();
    void UpdateStamina();
    void FallDamage();
    void SlideStep();
    bool FollowGroundObject();
    void ProbeGround();
    void ApplyRestriction(math::Vec3* target);
    void UpdateFlyMode();
    void UpdateCountdown();
    void UpdateBezier();
    void FindUseTarget();

    // ---- View -------------------------------------------------------------------------
    void PlaceView();
    void FollowLookAt();
    // Head height and the eye; the camera is placed there.
    void UpdateHeadBob();
    void PlaceCameraAtPlayer();

    // ---- State ------------------------------------------------------------------------
    // Frame.
    float m_fDt = 0, m_fDt2 = 0;
    double m_fTotalTime = 0;
    // Timers, seconds.
    float m_fOuchTimer = 0;
    float m_fBreathTimer = 0;
    float m_fJumpTimer = 0;
    float m_fCrouchToggleTimer = 0;
    float m_fStandingTimer = 0;
    float m_fTimeSinceWorldStart = 0;
    float m_fTimeSinceDamage = 0;
    float m_fTimeSinceHit = 1.0f;       // since the last bullet hit (the post-processing blurs)
    float m_fTimeSinceExplosion = 5.0f; // since the last blast near the player
    float m_fDeathTime = 0;
    float m_fFootstepCountdown = 0;
    float m_fCrouchHoldTime = 0; // how long the crouch key is held

    // Bodies.
    ObjectRecord* m_hObjectStand = nullptr;
    ObjectRecord* m_hObjectCrouch = nullptr;
    ObjectRecord* m_hObject = nullptr; // the active one (may be null)
    bool m_bCrouched = false;
    math::Vec3 m_vPosition;
    math::Vec3 m_vPositionCopy; // the camera's copy of the position
    math::Vec3 m_vEye;
    math::Vec3 m_vPrevPosition;
    math::Vec3 m_vVelocity;
    math::Vec3 m_vCarry; // what the ground object moved the player this frame
    ObjectRecord* m_hGroundObject = nullptr;
    math::Vec3 m_vGroundObjectPosition;
    int32_t m_iMaterial = 0; // surface material underfoot
    math::Vec3 m_vHalfExtents{16, 59, 16};
    // Pushes of the world (blasts), taken into the velocity at the next slide
    // step; a move by the world (a lift, a teleport) makes that step a pure
    // placement.
    math::Vec3 m_vPush;
    bool m_bMovedByWorld = false;
    // Frames left of a forced crouch (a crouching teleport sets 3).
    int32_t m_iMode = 0;

    // Movement flags.
    bool m_bOnGround = true;
    bool m_bOnGroundLastFrame = true;
    bool m_bRunning = false;
    bool m_bMoving = false;
    bool m_bMovingBack = false;
    bool m_bStrafeLeft = false;
    bool m_bStrafeRight = false;
    bool m_bJumping = false;
    bool m_bJumpStarted = false;
    bool m_bInputVelocity = false;
    bool m_bJustPlaced = false;
    bool m_bEarlyFrames = false;
    bool m_bExhausted = false;
    uint8_t m_bGroundRing[3] = {1, 1, 1};
    int32_t m_iGroundRing = 0;
    // Key-held edges: the previous frame's state of each command.
    bool m_bCrouchHeld = false;
    bool m_bJumpHeld = false; // cleared by a release: re-arms the jump
    bool m_bUseHeld = false;
    bool m_bAimHeld = false;
    bool m_bSlotHeld = false;
    bool m_bLoadHeld = false;
    bool m_bLaserHeld = false;
    bool m_bDevHeld[3] = {};
    float m_fAimHeldTime = 0;

    // Switches the world's actions set.
    bool m_bSprintAllowed = true;
    bool m_bJumpAllowed = true;
    bool m_bHighJump = false;

    float m_fStamina = 1.0f;
    float m_fMoveSpeed = WALK_SPEED;
    float m_fHighestPoint = NO_FALL;
    float m_fFeetHeight = 0;
    math::Vec3 m_vGroundHit;

    // Use target and the look ray.
    ObjectRecord* m_hUseTarget = nullptr;
    float m_fLookDistance = 0;
    math::Vec3 m_vLookPoint;

    // Countdown.
    bool m_bCountdown = false;
    float m_fCountdownTime = 0;
    ObjectRecord* m_hCountdownObject = nullptr;

    // Bezier drive.
    bool m_bBezier = false;
    bool m_bBezierFast = false;
    char m_szBezierNode[64] = {};
    double m_dBezierLength = 0;
    double m_dBezierDistance = 0;
    int32_t m_iBezierArrived = 0;
    math::Vec3 m_vBezierTarget;

    // Restriction.
    bool m_bRestricted = false;
    float m_fRestrictRadius = 0;
    math::Vec3 m_vRestrictCentre;

    // View.
    float m_fViewSmoothing = 0;
    bool m_bDazed = false;
    orientation m_ViewOrientation;
    math::Vec3 m_vViewForward{0, 0, 1};
    math::Vec3 m_vViewUp{0, 1, 0};
    float m_fHeadHeight = STAND_HEAD;
    float m_fViewMultiplier = 1.0f;
    bool m_bFirstUpdate = true;

    // Ladder (the ladder movement comes with its own step).
    ObjectRecord* m_hLadder = nullptr;
    bool m_bOnLadder = false;

    // Sounds and the laser's dust sprite.
    strSound* m_pHeartbeat = nullptr;
    strSound* m_pBreath = nullptr;
    strSound* m_pLadderSlide = nullptr;
    ObjectRecord* m_hLaserDust = nullptr;

    // Voices and footsteps asked for (the hero's voices and steps come with
    // his sounds): jump, fall, the two breaths, steps.
    uint32_t m_dwJumpVoices = 0;
    uint32_t m_dwFallVoices = 0;
    uint32_t m_dwBreathVoices[2] = {};
    uint32_t m_dwFootsteps = 0;

  private:
    void StopHeroSounds();
    void RunUseTarget();
    void PlaceBody();
    void PlayBreathVoice(int kind);
    // Whether the walking frame's ground ring holds a contact.
    bool RingOnGround() const;
};

extern CPlayer g_Player;
