#include "app/TTFont.h"

#include "app/FocusMgr.h"

TTFont g_TTFont;

namespace {
const bool g_Registered = (RegisterDeviceHook(
                               DeviceHook::TTFonts, [] { g_TTFont.OnLostDevice(); },
                               [] { g_TTFont.OnResetDevice(); }),
                           true);
}

void TTFont::Create() { m_bCreated = true; }
void TTFont::Release() { m_bCreated = false; }
void TTFont::OnLostDevice() {}
void TTFont::OnResetDevice() {}
