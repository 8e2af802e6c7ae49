// The focus manager: watches the device once per idle pass and carries it
// through a loss. When the full-screen device is lost it releases the input
// devices and what lives in default-pool video memory; when the device can be
// reset it resets it with the kept present parameters and re-creates all of
// it in a fixed order. Its m_bOnFocus also gates the window procedure's
// forwarding and the frame driver.
//
// Owners of default-pool resources register a release and a re-create hook
// in their slot of the registry; the manager calls the slots in the orders
// below, so a loss needs no knowledge of the owners beyond their slot.
// Release (GainFocus, before the reset): MeshMgr, DepthTargets,
// SkyShadowMaps, PostProcessTargets, OccluderTargets, AutomapTarget,
// AmbientProbeTargets, TTFonts. Re-create (after a successful reset):
// Effects, MeshMgr, AutomapTarget, DepthTargets, SkyShadowMaps,
// PostProcessTargets, OccluderTargets, AmbientProbeTargets, TTFonts. The
// effects release theirs already when the focus is lost.
//
// A failed reset prints its two lines and leaves everything released; the
// next idle pass tries again. Main thread only.
#pragma once

#include <cstdint>

enum class DeviceHook : uint32_t {
    MeshMgr,             // the mesh manager's device hook
    DepthTargets,        // depth and cube-shadow targets
    SkyShadowMaps,       // the sky-shadow maps
    PostProcessTargets,  // the post-process targets
    OccluderTargets,     // the occluder targets
    AutomapTarget,       // the automap target
    AmbientProbeTargets, // the ambient-probe targets
    TTFonts,             // the TrueType fonts' OnLostDevice / OnResetDevice
    Effects,             // the effects' OnLostDevice / OnResetDevice
    Count
};
using DeviceHookFn = void (*)();

// Fills a slot (null functions: nothing to do for that half).
void RegisterDeviceHook(DeviceHook slot, DeviceHookFn release, DeviceHookFn recreate);
void GetDeviceHook(DeviceHook slot, DeviceHookFn* release, DeviceHookFn* recreate);
// Empties every slot (tests).
void ClearDeviceHooks();

class EFocusMgr {
  public:
    virtual ~EFocusMgr() = default;

    // Opens the focus (once, at start-up); from then on the window
    // procedure hands messages to the device's message hook.
    void Start() {
        m_bOnFocus = true;
        m_bStarted = true;
    }
    // True when the frame may run.
    bool CheckFocus();
    void LoseFocus();
    void GainFocus();

    uint32_t m_dwFogColor0 = 0; // kept across the reset
    bool m_bOnFocus = false;
    bool m_bStarted = false;
};

extern EFocusMgr g_FocusMgr;

// The log line of a failed reset's result.
const char* ResetFailureText(int result);
