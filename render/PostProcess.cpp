#include "render/PostProcess.h"

EPostProcess g_PostProcess;
