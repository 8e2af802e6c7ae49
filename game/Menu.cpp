#include "game/Menu.h"

#include "render/RenderStateCache.h"

CMenu g_Menu;

namespace {
const bool g_Registered = (SetBestFilteringOption(&g_Menu.m_bBestFiltering), true);
} // namespace
