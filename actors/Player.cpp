#include "actors/Player.h"

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
