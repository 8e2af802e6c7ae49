#include "actors/WeaponMgr.h"

CWeaponMgr g_WeaponMgr;
