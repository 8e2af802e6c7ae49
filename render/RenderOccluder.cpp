#include "render/RenderOccluder.h"

ERenderOccluder g_RenderOccluder;
