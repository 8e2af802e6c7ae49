#include "game/LoadScreen.h"

LoadScreen g_LoadScreen;
