#include "game/ScreenOverlay.h"

ScreenOverlay g_ScreenOverlay;
