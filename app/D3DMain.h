// The graphics device of the program: `D3DMain` (global g_D3DMain) creates
// the device with its fall-backs, finds a depth-stencil format, detects the
// shader model, shows the start-up logo, sets the initial render states,
// keeps the present parameters for later resets and drives one rendered
// frame. It also carries the window procedure's message hook.
//
// Lifetimes: the device lives from Create to Release (program end, or
// QuitOnce). The kept back-buffer surface is released before every reset and
// taken again after it (focus manager).
//
// Failure policy: every device-creation failure is printed or shown as a
// message box with the words below and Create returns false; a failed stencil
// search leaves the game running on D16 without stencil shadows.
#pragma once

#include <cstdint>

#include "platform/gfx/Device.h"

namespace window {
class Window;
}

class D3DMain {
  public:
    virtual ~D3DMain() = default;

    // Creates everything; true (and the created flag set) on success.
    bool Create(window::Window* w);
    // World end, game shutdown, engine device release, then the back buffer,
    // the device and the interface.
    void Release();
    // One frame (nothing while the device is unusable or the focus manager
    // has not started).
    void RenderFrame();
    intptr_t MessageHook(window::Window* w, uint32_t message, uintptr_t wParam, intptr_t lParam);

    // The first acceptable depth-stencil format for the minimum depth and
    // stencil bits, in the order D16, D15S1, D24X8, D24S8, D24X4S4, D32 (each
    // under its condition); false when none passes both device checks.
    bool FindStencilFormat(gfx::Format adapterFormat, gfx::Format* found) const;
    // Shader model flags and DepthFormatFound from the device.
    void CapabilityStep();
    void SetInitialRenderStates();
    void ShowLogo();

    uint32_t m_dwVideoCfgVersion = 5;
    uint32_t m_dwMinDepthBits = 15;
    uint32_t m_dwMinStencilBits = 4;
    bool m_bCreated = false;
    gfx::Interface* m_pD3D = nullptr;
    gfx::Device* m_pDevice = nullptr;
};

extern D3DMain g_D3DMain;

// The device (null while there is none).
extern gfx::Device* g_pD3DInterface;
// The back buffer kept from GetRenderTarget(0).
extern gfx::Surface* g_pBackBufferSurface;
// The present parameters every reset uses.
extern gfx::PresentParameters g_d3dpp;
extern gfx::Format g_DepthStencilFormat;
// The static-mesh (0, 60-byte vertices) and skinned-mesh (1, 76-byte
// vertices) declarations, made with the device for the whole run.
extern gfx::VertexDeclaration* g_pVertexDeclarations[2];
// The 2D scale factors at device creation (screen width / 1024, height / 768).
extern float g_fDeviceScaleX;
extern float g_fDeviceScaleY;

void KeepBackBuffer();
void ReleaseBackBuffer();
