// The first-person hero, `CPlayer` (global g_Player), and the status
// globals beside it. Its update, movement and body come with the player's
// subsystem; this holds what the console reaches: the weapons switch, the
// health and the teleport.
#pragma once

#include <cstdint>

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

    // The player's current engine object (may be null); queries leave it out.
    ObjectRecord* m_hObject = nullptr;
    float m_vPosition[3] = {};
    float m_vVelocity[3] = {};
    bool m_bEarlyFrames = false;
    float m_fHighestPoint = 0;
};

extern CPlayer g_Player;
