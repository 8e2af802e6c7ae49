#include "render/PlantMgr.h"

EPlantMgr g_PlantMgr;
