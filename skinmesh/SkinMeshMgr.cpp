#include "skinmesh/SkinMeshMgr.h"

ESkinMeshMgr g_SkinMeshMgr;
