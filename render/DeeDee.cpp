#include "render/DeeDee.h"

DeeDee g_DeeDee;
