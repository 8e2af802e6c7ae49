#include "render/PaneCrashMgr.h"

CPaneCrashMgr g_PaneCrashMgr;
