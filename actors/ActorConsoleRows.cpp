#include "actors/ActorConsoleRows.h"

#include "actors/ItemMgr.h"
#include "actors/player/Player.h"
#include "actors/PostacMgr.h"
#include "actors/WeaponMgr.h"
#include "app/Console.h"
#include "app/ConsoleRows.h"
#include "app/FileHelpers.h"
#include "world/Engine.h"
#include "world/ObjectApi.h"

namespace {

bool CombatMode(EConsole&, const char*, const char* value, bool) {
    g_Player.EnableWeapons(ConsoleInt(value) != 0);
    return false;
}

// The player goes 64 units above the named object (nothing when no object
// has that name).
bool Teleport(EConsole&, const char*, const char* value, bool) {
    if (ObjectRecord* target = g_Engine.FindObjectByName(value)) {
        math::Vec3 p;
        GetObjectPosition(target, &p);
        p.y += 64.0f;
        g_Player.TeleportTo(p.data());
    }
    return false;
}

bool Gimme(EConsole&, const char*, const char* value, bool) {
    g_ItemMgr.GiveItem(value, 1);
    return false;
}

bool Health(EConsole&, const char*, const char* value, bool) {
    g_Player.SetHealth(ConsoleFloat(value));
    return false;
}

bool DeleteDead(EConsole&, const char*, const char*, bool) {
    g_PostacMgr.DeleteDeadCharacters();
    return true;
}

// "Bron..." rows: one float of the current weapon's view-model placement
// (nothing without a current weapon).
float* WeaponPlacementField(ItemSlot* weapon, const char* name) {
    struct Row {
        const char* name;
        float* field;
    } rows[] = {
        {"BronX", &weapon->vCarriedPos[0]},    {"BronY", &weapon->vCarriedPos[1]},
        {"BronZ", &weapon->vCarriedPos[2]},    {"BronAX", &weapon->vAimPos[0]},
        {"BronAY", &weapon->vAimPos[1]},       {"BronAZ", &weapon->vAimPos[2]},
        {"BronRY", &weapon->fHeldRotation[0]}, {"BronRAY", &weapon->fHeldRotation[1]},
        {"BronRX", &weapon->fHeldRotation[2]}, {"BronRAX", &weapon->fHeldRotation[3]},
    };
    for (const Row& r : rows) {
        if (StrCmpNoCase(name, r.name) == 0) return r.field;
    }
    return nullptr;
}

bool WeaponPlacement(EConsole&, const char* name, const char* value, bool) {
    if (ItemSlot* weapon = g_WeaponMgr.m_pCurrentWeapon) {
        if (float* field = WeaponPlacementField(weapon, name)) *field = ConsoleFloat(value);
    }
    return false;
}

} // namespace

void RegisterActorConsoleRows() {
    RegisterConsoleRow("CombatMode", &CombatMode);
    RegisterConsoleRow("Teleport", &Teleport);
    RegisterConsoleRow("Gimme", &Gimme);
    RegisterConsoleRow("Health", &Health);
    RegisterConsoleRow("DeleteDead", &DeleteDead);
    for (const char* name :
         {"BronX", "BronY", "BronZ", "BronAX", "BronAY", "BronAZ", "BronRX", "BronRY", "BronRAX", "BronRAY"})
        RegisterConsoleRow(name, &WeaponPlacement);
}
