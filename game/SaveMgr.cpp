#include "game/SaveMgr.h"

CSaveMgr g_SaveMgr;
