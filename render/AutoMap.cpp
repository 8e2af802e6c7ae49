#include "render/AutoMap.h"

PAutoMap g_AutoMap;
