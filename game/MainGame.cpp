#include "game/MainGame.h"

CMainGame g_MainGame;
