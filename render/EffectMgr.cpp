#include "render/EffectMgr.h"

EEffectMgr g_EffectMgr;
