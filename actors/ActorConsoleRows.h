// The actors' console rows: the player's weapons, health and teleport, items
// given, dead characters removed and the current weapon's view-model
// placement. Registered from the game's start-up, before zt.cfg is read.
#pragma once

void RegisterActorConsoleRows();
