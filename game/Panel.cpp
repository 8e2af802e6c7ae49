#include "game/Panel.h"

CPanel g_Panel;
