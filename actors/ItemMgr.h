// Items and weapons: descriptions read from "scripts\items.txt" and the 512
// item slots placed in the world or carried, owned by `ItemMgr` (global
// g_ItemMgr). The description reader and the slots' life cycle are not built
// yet; this holds what the console reaches: giving the player an item by
// name, and the view-model placement of a carried weapon.
#pragma once

#include <cstdint>
#include <vector>

// An item or weapon description (the fields read so far: the name, the fire
// sounds, the muzzle FX and the fire interval).
struct ItemDescription {
    static constexpr int MAX_FIRE_SOUNDS = 4;
    static constexpr int MAX_MUZZLE_FX = 4;
    char szName[64] = {};
    int32_t iNumFireSounds = 0;
    char szFireSounds[MAX_FIRE_SOUNDS][256] = {};
    int32_t iNumMuzzleFx = 0;
    char szMuzzleFx[MAX_MUZZLE_FX][64] = {};
    float fFireInterval = 0; // seconds between shots
    uint8_t bCanAim = 0;     // set by "Aim_Pos", cleared by "no_aim"
};

// An item in the world or carried by the player (the fields used so far).
struct ItemSlot {
    bool bUsed = false;
    uint32_t dwState = 0; // 0 in the world, 1 carried by the player
    const ItemDescription* pDescription = nullptr;
    float vCarriedPos[3] = {}; // copy of "Carried_Pos": the hip placement
    float vAimPos[3] = {};     // copy of "Aim_Pos": the aimed placement
    // The held model's Y rotation, aimed Y rotation, X rotation and aimed X
    // rotation, in that order.
    float fHeldRotation[4] = {};
};

class ItemMgr {
  public:
    virtual ~ItemMgr() = default;

    // The description of that name (case-insensitive), or null.
    const ItemDescription* FindDescription(const char* name) const;

    // Gives the player the named item with an amount of ammunition. Empty
    // names do nothing; a name without a description prints
    // "No dsc found for " and the name.
    void GiveItem(const char* name, int count);

    // The descriptions (read from "scripts\items.txt" once that reader exists).
    std::vector<ItemDescription> m_Descriptions;
};

extern ItemMgr g_ItemMgr;
