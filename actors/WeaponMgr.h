// The weapon in the player's hands and the weapons carried, driven by
// `CWeaponMgr` (global g_WeaponMgr). Its state machine is not built yet; this
// holds what the console and the player reach: the current weapon and
// putting it away.
#pragma once

struct ItemSlot;

class CWeaponMgr {
public:
    virtual ~CWeaponMgr() = default;

    // Empties the hands at once.
    void PutAwayWeapon() { m_pCurrentWeapon = nullptr; }

    ItemSlot* m_pCurrentWeapon = nullptr;  // the item in the hands, or null

    // What slows the mouse view while aiming: the zoom value, the state of
    // the held model that doubles its weight, and the weapon view flag.
    float m_fZoom = 0;
    bool m_bZoomDoubled = false;
    bool m_bViewFlag = false;
};

extern CWeaponMgr g_WeaponMgr;
