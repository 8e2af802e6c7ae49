#include "render/DepthRender.h"

EDepthRender g_DepthRender;
