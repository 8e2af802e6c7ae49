#include "game/Objective.h"

Objective g_Objective;
