#include "game/Menu.h"

CMenu g_Menu;
