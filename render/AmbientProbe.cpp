#include "render/AmbientProbe.h"

EAmbientProbe g_AmbientProbe;
