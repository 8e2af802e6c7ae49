#include "actors/Player.h"

#include <cstdio>

#include "actors/WeaponMgr.h"
#include "app/Console.h"
#include "app/Options.h"

uint8_t WeaponsEnabled = 1;
uint8_t PlayerDead = 0;
uint8_t MissionFailed = 0;
float PlayerHealth = 100.0f;
float PlayerMaxHealth = 100.0f;

CPlayer g_Player;

void CPlayer::EnableWeapons(bool on) {
    if (!on) g_WeaponMgr.PutAwayWeapon();
    WeaponsEnabled = on ? 1 : 0;
}

void CPlayer::SetHealth(float value, bool force) {
    PlayerHealth = (!force && value > PlayerMaxHealth) ? PlayerMaxHealth : value;
}

void CPlayer::ChangeHealth(float delta, int32_t, uint32_t) {
    PlayerHealth += delta;
    if (PlayerHealth > PlayerMaxHealth) PlayerHealth = PlayerMaxHealth;
    if (PlayerHealth <= 0.0f) HandleDeath();
}

void CPlayer::RestrictToRadius(float radius) {
    m_bRestricted = true;
    m_fRestrictRadius = radius;
    m_vRestrictCentre = math::Vec3{m_vPosition[0], m_vPosition[1], m_vPosition[2]};
}

void CPlayer::StartBezier(const char* startNode, bool running) {
    std::snprintf(m_szBezierNode, sizeof m_szBezierNode, "%s", startNode ? startNode : "");
    m_bBezierRunning = running;
}

void CPlayer::TeleportTo(const float* position) {
    if (!position) return;
    if (Debug > 0) g_Console.PrintVector("CPlayer::TeleportTo ", position);
    for (int i = 0; i < 3; ++i) {
        m_vPosition[i] = position[i];
        m_vVelocity[i] = 0;
    }
    m_bEarlyFrames = true;
    m_fHighestPoint = -100000000.0f;
}
