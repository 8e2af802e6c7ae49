#include "app/FocusMgr.h"

#include "app/Console.h"
#include "app/D3DMain.h"
#include "app/GameFrame.h"
#include "app/Mouse.h"
#include "platform/gfx/Device.h"
#include "render/EnvironmentSettings.h"
#include "world/Camera.h"
#include "world/Engine.h"

EFocusMgr g_FocusMgr;

namespace {

struct HookSlot {
    DeviceHookFn release = nullptr;
    DeviceHookFn recreate = nullptr;
};
HookSlot g_Hooks[static_cast<uint32_t>(DeviceHook::Count)];

void Release(DeviceHook h) {
    if (DeviceHookFn f = g_Hooks[static_cast<uint32_t>(h)].release) f();
}
void Recreate(DeviceHook h) {
    if (DeviceHookFn f = g_Hooks[static_cast<uint32_t>(h)].recreate) f();
}

constexpr DeviceHook kReleaseOrder[] = {
    DeviceHook::MeshMgr,
    DeviceHook::DepthTargets,
    DeviceHook::SkyShadowMaps,
    DeviceHook::PostProcessTargets,
    DeviceHook::OccluderTargets,
    DeviceHook::AutomapTarget,
    DeviceHook::AmbientProbeTargets,
    DeviceHook::TTFonts,
};
constexpr DeviceHook kRecreateOrder[] = {
    DeviceHook::Effects,         DeviceHook::MeshMgr,
    DeviceHook::AutomapTarget,   DeviceHook::DepthTargets,
    DeviceHook::SkyShadowMaps,   DeviceHook::PostProcessTargets,
    DeviceHook::OccluderTargets, DeviceHook::AmbientProbeTargets,
    DeviceHook::TTFonts,
};

} // namespace

void RegisterDeviceHook(DeviceHook slot, DeviceHookFn release, DeviceHookFn recreate) {
    if (slot >= DeviceHook::Count) return;
    g_Hooks[static_cast<uint32_t>(slot)] = {release, recreate};
}

void GetDeviceHook(DeviceHook slot, DeviceHookFn* release, DeviceHookFn* recreate) {
    const HookSlot h = slot < DeviceHook::Count ? g_Hooks[static_cast<uint32_t>(slot)] : HookSlot{};
    if (release) *release = h.release;
    if (recreate) *recreate = h.recreate;
}

void ClearDeviceHooks() {
    for (HookSlot& h : g_Hooks)
        h = {};
}

const char* ResetFailureText(int result) {
    switch (static_cast<gfx::Result>(result)) {
    case gfx::Result::InvalidCall:
        return "Invalid call!";
    case gfx::Result::OutOfVideoMemory:
        return "Out of video memory!";
    case gfx::Result::OutOfMemory:
        return "Out of memory!";
    case gfx::Result::DeviceRemoved:
        return "Device removed";
    case gfx::Result::DeviceLost:
        return "Device lost";
    case gfx::Result::DriverInternalError:
        return "Driver internal error";
    default:
        return "";
    }
}

bool EFocusMgr::CheckFocus() {
    if (!g_pD3DInterface) return false;
    switch (g_pD3DInterface->TestCooperativeLevel()) {
    case gfx::Result::Ok:
        if (m_bOnFocus) return true;
        g_Console.Print("*** TestCooperativeLevel()==D3D_OK, but m_bOnFocus==false!");
        GainFocus();
        return false;
    case gfx::Result::DeviceLost:
        if (m_bOnFocus) LoseFocus();
        return false;
    case gfx::Result::DeviceNotReset:
        g_Console.Print("hr==D3DERR_DEVICENOTRESET, trying to gain focus");
        GainFocus();
        return false;
    default:
        return true;
    }
}

void EFocusMgr::LoseFocus() {
    g_Mouse.StoreState();
    g_EnvironmentSettings.GetFogColor(&m_dwFogColor0, 0);
    g_Engine.ReleaseMouse();
    if (!g_Console.IsOpen()) g_Engine.ReleaseKeyboard();
    Release(DeviceHook::Effects);
    m_bOnFocus = false;
}

void EFocusMgr::GainFocus() {
    g_Console.Print("Probuje FocusMgr::GainFocus");
    for (DeviceHook h : kReleaseOrder)
        Release(h);
    ReleaseBackBuffer();

    gfx::Result r = g_pD3DInterface->Reset(&g_d3dpp);
    if (r != gfx::Result::Ok) {
        g_Console.Print("Reset failed!");
        // Results without a line of their own add no blank line.
        if (const char* text = ResetFailureText(static_cast<int>(r)); *text) g_Console.Print(text);
        return;
    }
    g_Console.Print("g_pD3DInterface->Reset(&g_d3dpp) succeeded!");

    g_Engine.RestoreMouse();
    g_Mouse.RestoreState();
    // The console and the menu read window key messages: the keyboard ends
    // released while either is open, acquired otherwise.
    if (g_Console.IsOpen() || TheGameFrame().MenuOpen()) {
        g_Engine.CreateKeyboard();
        g_Engine.ReleaseKeyboard();
    } else {
        g_Engine.CreateKeyboard();
        g_Engine.ReleaseKeyboard();
        g_Engine.CreateKeyboard();
    }
    if (TheGameFrame().MenuOpen()) TheGameFrame().MenuDeviceReset();
    g_D3DMain.SetInitialRenderStates();
    KeepBackBuffer();
    g_Camera.SetGamma(g_Camera.GetGamma());
    g_Camera.SetProjection();
    for (DeviceHook h : kRecreateOrder)
        Recreate(h);
    g_Console.ReapplyVariables();
    g_EnvironmentSettings.SetFogColor(m_dwFogColor0, 0);
    m_bOnFocus = true;
    g_Console.Print("Focus gained");
}
