// The weapon in the player's hands and the weapons carried, driven by
// `CWeaponMgr` (global g_WeaponMgr). Its state machine is not built yet; this
// holds what the console and the player reach: the current weapon and
// putting it away, and the player's weapon commands, which are counted (no
// weapon is carried until the weapons exist, so none of them changes the
// hands).
#pragma once

#include <cstdint>

#include "platform/math/Types.h"

struct ItemSlot;
struct ItemDescription;
struct ObjectRecord;
struct orientation;

class CWeaponMgr {
  public:
    virtual ~CWeaponMgr() = default;

    // Empties the hands at once.
    void PutAwayWeapon() { m_pCurrentWeapon = nullptr; }

    ItemSlot* m_pCurrentWeapon = nullptr; // the item in the hands, or null
    // The state of the weapon in the hands (1: reloading) and how far it is
    // raised to aim (0..1); the weapons' state machine sets them.
    uint32_t m_dwWeaponState = 0;
    float m_fAimProgress = 0;
    // The object of the weapon model in the hands (none until the weapons
    // exist); the renderer always counts it seen.
    ObjectRecord* m_hWeaponModel = nullptr;

    // What slows the mouse view while aiming: the zoom value, the state of
    // the held model that doubles its weight, and the weapon view flag.
    float m_fZoom = 0;
    bool m_bZoomDoubled = false;
    bool m_bViewFlag = false;

    // Fills every carried weapon (none are carried until the weapons exist;
    // the requests are counted).
    void FullAmmo() { ++m_dwFullAmmoRequests; }
    // Fires one bullet of the weapon from the muzzle along the orientation's
    // forward axis. The bullet's flight comes with the weapons; the shots are
    // counted with the last shooter.
    void FireBullet(const ItemDescription* weapon, const math::Vec3& muzzle, const orientation& direction,
                    ObjectRecord* shooter, int unused, float factor);
    // The held weapon plays its idle animation.
    void PlayIdleAnim() {}
    // The laser sight at the end of the scene (recorded by the renderer
    // until the weapons draw it).
    void RenderLaserSight();

    // The player's commands: fire, reload, aim, the laser sight, the knife,
    // a grenade and the weapon choice (index 8 and above holsters).
    enum Request {
        FIRE,
        RELOAD,
        TOGGLE_AIM,
        TOGGLE_LASER,
        KNIFE,
        GRENADE,
        NEXT,
        PREVIOUS,
        SELECT,
        NUM_REQUESTS
    };
    void Fire() { ++m_dwRequests[FIRE]; }
    void Reload() { ++m_dwRequests[RELOAD]; }
    void ToggleAim() {
        ++m_dwRequests[TOGGLE_AIM];
        if (m_pCurrentWeapon) m_bAiming = !m_bAiming;
    }
    void ToggleLaser() {
        ++m_dwRequests[TOGGLE_LASER];
        m_bLaserOn = !m_bLaserOn;
    }
    void KnifeRequest() { ++m_dwRequests[KNIFE]; }
    void ThrowGrenadeRequest() { ++m_dwRequests[GRENADE]; }
    void SelectNextWeapon() { ++m_dwRequests[NEXT]; }
    void SelectPreviousWeapon() { ++m_dwRequests[PREVIOUS]; }
    void SelectWeaponAnimated(int32_t index) {
        ++m_dwRequests[SELECT];
        m_iLastSelected = index;
    }
    // A weapon is in hand whose description lets it aim.
    bool CanAim() const;
    uint32_t m_dwRequests[NUM_REQUESTS] = {};
    int32_t m_iLastSelected = -1;
    bool m_bAiming = false;
    bool m_bLaserOn = false;
    bool m_bTriggerReleased = true; // a single-shot weapon may fire again

    uint32_t m_dwFullAmmoRequests = 0;
    uint32_t m_dwBulletsFired = 0;
    ObjectRecord* m_hLastShooter = nullptr;
    math::Vec3 m_vLastMuzzle;
};

extern CWeaponMgr g_WeaponMgr;
