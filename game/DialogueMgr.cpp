#include "game/DialogueMgr.h"

DialogueMgr g_DialogueMgr;
