#include "actors/LaserMgr.h"

LaserMgr g_LaserMgr;
