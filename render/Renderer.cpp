#include "render/Renderer.h"

ERenderer g_Renderer;
