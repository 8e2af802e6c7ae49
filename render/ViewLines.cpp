#include "render/ViewLines.h"

EViewLines g_ViewLines;
