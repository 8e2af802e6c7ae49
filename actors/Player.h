// The first-person hero, `CPlayer` (global g_Player), and the status
// globals beside it. Its update, movement and body come with the player's
// subsystem; this holds what the console reaches: the weapons switch, the
// health and the teleport.
#pragma once

#include <cstdint>

#include "platform/math/Types.h"

extern uint8_t WeaponsEnabled;
extern uint8_t PlayerDead;
extern uint8_t MissionFailed;
extern float PlayerHealth;
extern float PlayerMaxHealth;

struct ObjectRecord;

class CPlayer {
public:
    virtual ~CPlayer() = default;

    // Off puts the weapon in hand away; WeaponsEnabled = on.
    void EnableWeapons(bool on);
    // PlayerHealth = value, clamped to PlayerMaxHealth unless forced.
    void SetHealth(float value, bool force = false);
    // Moves the player to a position and resets its motion.
    void TeleportTo(const float* position);
    // Places the view for the frame (the player's body comes with the
    // player's subsystem; until then the view is not moved).
    void UpdateView() {}

    // What the world's actions ask of the player. Until the player's body
    // and view exist these keep the request for them.
    // PlayerHealth += delta (at most the maximum); at 0 or below the player
    // dies. The other two values come with the player's damage rules.
    void ChangeHealth(float delta, int32_t = 0, uint32_t = 0);
    // The player's death state.
    void HandleDeath() { PlayerDead = 1; }
    // The countdown toward the object's action_countdown_action_on_finish.
    void StartCountdown(ObjectRecord* h) { m_hCountdownObject = h; }
    void StopCountdown() { m_hCountdownObject = nullptr; }
    void SetViewSmoothing(float factor) { m_fViewSmoothing = factor; }
    // Keeps the player within the radius around where he stands.
    void RestrictToRadius(float radius);
    void EndRestriction() { m_bRestricted = false; }
    // Walks the Bezier path from the named node (running or walking).
    void StartBezier(const char* startNode, bool running);
    void StopBezier() { m_szBezierNode[0] = 0; }
    void SetCrouch(bool on) { m_bCrouch = on; }
    void AttachToLadder(ObjectRecord* ladder) { m_hLadder = ladder; }

    // The player's current engine object (may be null); queries leave it out.
    ObjectRecord* m_hObject = nullptr;
    // The standing ("prefabs\special\hero.x") and crouching
    // ("prefabs\special\hero_kuca.x") body objects; null until the player's
    // subsystem makes them.
    ObjectRecord* m_hObjectStand = nullptr;
    ObjectRecord* m_hObjectCrouch = nullptr;
    float m_vPosition[3] = {};
    float m_vVelocity[3] = {};
    bool m_bEarlyFrames = false;
    float m_fHighestPoint = 0;

    // Seconds since the last explosion near the player and since the last
    // bullet hit it (the post-processing blurs while they are short); the
    // player's damage rules restart them, its update advances them.
    float m_fTimeSinceExplosion = 5.0f;
    float m_fTimeSinceHit = 1.0f;

    float m_vPositionCopy[3] = {};   // the position as the view last took it
    bool m_bMovedByWorld = false;    // moved by a lift, a teleport or a blast this frame
    math::Vec3 m_vPush;              // pushes of the world, taken by the movement
    int32_t m_iMode = 0;             // 3: crouched by a teleport
    bool m_bSprintAllowed = true;
    bool m_bJumpAllowed = true;
    bool m_bHighJump = false;
    bool m_bCrouch = false;
    ObjectRecord* m_hCountdownObject = nullptr;
    ObjectRecord* m_hLadder = nullptr;
    float m_fViewSmoothing = 0;
    bool m_bRestricted = false;
    float m_fRestrictRadius = 0;
    math::Vec3 m_vRestrictCentre;
    char m_szBezierNode[64] = {};
    bool m_bBezierRunning = false;
};

extern CPlayer g_Player;
