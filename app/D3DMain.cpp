#include "app/D3DMain.h"

#include "app/CommandMgr.h"
#include "app/Console.h"
#include "app/Debug.h"
#include "app/FileHelpers.h"
#include "app/FocusMgr.h"
#include "app/Font.h"
#include "app/GameFrame.h"
#include "app/ImageSurface.h"
#include "app/Mouse.h"
#include "app/Options.h"
#include "app/Profiler.h"
#include "app/StartTimes.h"
#include "app/TTFont.h"
#include "app/TextMgr.h"
#include "app/VideoConfig.h"
#include "platform/mesh/Mesh.h"
#include "platform/os/Os.h"
#include "platform/window/Window.h"
#include "render/EnvironmentSettings.h"
#include "render/FxMgr.h"
#include "render/RenderStateCache.h"
#include "render/Renderer.h"
#include "render/SpriteMgr.h"
#include "world/Camera.h"
#include "world/Engine.h"

D3DMain g_D3DMain;
gfx::Device* g_pD3DInterface = nullptr;
gfx::Surface* g_pBackBufferSurface = nullptr;
gfx::PresentParameters g_d3dpp;
gfx::Format g_DepthStencilFormat = gfx::Format::D16;
gfx::VertexDeclaration* g_pVertexDeclarations[2] = {nullptr, nullptr};
float g_fDeviceScaleX = 1.0f;
float g_fDeviceScaleY = 1.0f;

namespace {

using gfx::Format;
using gfx::RenderState;

gfx::PresentParameters MakePresentParameters(gfx::Interface* d3d, window::Window* w, Format depth) {
    gfx::PresentParameters pp;
    pp.BackBufferWidth = screenwidth;
    pp.BackBufferHeight = screenheight;
    pp.BackBufferFormat = Format::X8R8G8B8;
    pp.BackBufferCount = 1;
    AntialiasingSupported = d3d->CheckDeviceMultiSampleType(0, gfx::DeviceType::Hal, Format::X8R8G8B8, false,
                                                            4, nullptr) == gfx::Result::Ok;
    pp.MultiSampleType = (AntialiasingSupported && EnableAntialiasing) ? 4 : 0;
    pp.SwapEffect = gfx::SwapEffect::Discard;
    pp.DeviceWindow = w;
    pp.Windowed = false;
    pp.EnableAutoDepthStencil = true;
    pp.AutoDepthStencilFormat = depth;
    pp.PresentationInterval = gfx::PresentIntervalImmediate;
    return pp;
}

} // namespace

void KeepBackBuffer() {
    ReleaseBackBuffer();
    if (g_pD3DInterface) g_pD3DInterface->GetRenderTarget(0, &g_pBackBufferSurface);
}

void ReleaseBackBuffer() {
    if (g_pBackBufferSurface) g_pBackBufferSurface->Release();
    g_pBackBufferSurface = nullptr;
}

bool D3DMain::FindStencilFormat(Format adapterFormat, Format* found) const {
    const uint32_t d = m_dwMinDepthBits, s = m_dwMinStencilBits;
    struct Candidate {
        Format format;
        bool allowed;
    } candidates[] = {
        {Format::D16, d < 17 && s == 0},    {Format::D15S1, d < 16 && s < 2},
        {Format::D24X8, d < 25 && s == 0},  {Format::D24S8, d < 25 && s < 9},
        {Format::D24X4S4, d < 25 && s < 5}, {Format::D32, d <= 32 && s == 0},
    };
    if (!m_pD3D) return false;
    for (const Candidate& c : candidates) {
        if (!c.allowed) continue;
        if (m_pD3D->CheckDeviceFormat(0, gfx::DeviceType::Hal, adapterFormat, gfx::usage::DepthStencil,
                                      gfx::ResourceType::Surface, c.format) != gfx::Result::Ok) {
            continue;
        }
        if (m_pD3D->CheckDepthStencilMatch(0, gfx::DeviceType::Hal, adapterFormat, adapterFormat, c.format) !=
            gfx::Result::Ok) {
            continue;
        }
        *found = c.format;
        return true;
    }
    return false;
}

bool D3DMain::Create(window::Window* w) {
    m_pD3D = g_pD3D;
    if (!m_pD3D) {
        window::MessageBox("DX9.0c or newer could not have been found!", "Zt message");
        return false;
    }
    gfx::DisplayMode mode;
    if (m_pD3D->GetAdapterDisplayMode(0, &mode) != gfx::Result::Ok) return false;
    gfx::AdapterIdentifier id;
    m_pD3D->GetAdapterIdentifier(0, 0, &id);
    g_Console.Printf("> Driver: %s", id.Driver);
    g_Console.Printf("> Description: %s", id.Description);

    // Depth-stencil format: 4 stencil bits, else 1, else none. It is chosen
    // before the device is made, so that the back buffer is built once.
    Format depth = Format::D16;
    m_dwMinDepthBits = 15;
    m_dwMinStencilBits = 4;
    bool found = FindStencilFormat(mode.Format, &depth);
    if (!found) {
        ErrorLog("4-bit stencil failed", nullptr);
        m_dwMinStencilBits = 1;
        found = FindStencilFormat(mode.Format, &depth);
        if (!found) {
            ErrorLog("Second FindStencilFormat failed", nullptr);
            g_Console.Print("Running game WITHOUT stencil shadows!");
        }
    }
    const Format wanted = found ? depth : Format::D16;

    // Three tries with hardware vertex processing, then software without
    // lights; the tries after the first ask for D16.
    gfx::PresentParameters pp = MakePresentParameters(m_pD3D, w, wanted);
    gfx::Device* device = nullptr;
    const char* retryLines[] = {"First Create failed, checking for different format",
                                "Second Create failed, checking for last different format"};
    gfx::Result r =
        m_pD3D->CreateDevice(0, gfx::DeviceType::Hal, w, gfx::create::HardwareVertexProcessing, &pp, &device);
    for (const char* line : retryLines) {
        if (r == gfx::Result::Ok) break;
        g_Console.Print(line);
        pp = MakePresentParameters(m_pD3D, w, Format::D16);
        r = m_pD3D->CreateDevice(0, gfx::DeviceType::Hal, w, gfx::create::HardwareVertexProcessing, &pp,
                                 &device);
    }
    if (r != gfx::Result::Ok) {
        g_Console.Print("Switching to no light mode");
        g_Console.Print("Your video hardware seems to be not compatible with hardware TnL");
        g_Console.Print("You will not have light in the game, sorry.");
        NoLightMode = true;
        pp = MakePresentParameters(m_pD3D, w, Format::D16);
        r = m_pD3D->CreateDevice(0, gfx::DeviceType::Hal, w, gfx::create::SoftwareVertexProcessing, &pp,
                                 &device);
    }
    if (r != gfx::Result::Ok) {
        ErrorLog("First CreateDevice failed", nullptr);
        window::MessageBox(g_TextMgr.GetText(">NoMode"), "Tovan");
        return false;
    }
    m_pDevice = device;
    g_pD3DInterface = device;
    g_Debug.OnDeviceCreated();
    MarkStartStep("device_created");

    // A device made on a later try gets the stencil format now.
    if (pp.AutoDepthStencilFormat != wanted) {
        pp = MakePresentParameters(m_pD3D, w, wanted);
        r = device->Reset(&pp);
        if (r != gfx::Result::Ok) {
            pp = MakePresentParameters(m_pD3D, w, Format::D16);
            r = device->Reset(&pp);
            if (r != gfx::Result::Ok) return false;
        }
    }
    g_DepthStencilFormat = pp.AutoDepthStencilFormat;
    MarkStartStep("device_reset");

    device->CreateVertexDeclaration(mesh::kStaticMeshElements, &g_pVertexDeclarations[0]);
    device->CreateVertexDeclaration(mesh::kSkinnedMeshElements, &g_pVertexDeclarations[1]);
    m_bCreated = true;
    KeepBackBuffer();
    g_fDeviceScaleX = g_f2DScaleX;
    g_fDeviceScaleY = g_f2DScaleY;
    g_d3dpp = pp;

    g_TTFont.Create();
    MarkStartStep("fonts");
    ShowLogo();
    CapabilityStep();
    g_Engine.Init(w);
    SetInitialRenderStates();
    g_EnvironmentSettings.SetFogColor(0, 0);
    g_EnvironmentSettings.SetFogFar(10000.0f, 0);
    g_EnvironmentSettings.SetFogNear(0.0f, 0);
    return true;
}

void D3DMain::CapabilityStep() {
    gfx::Caps caps;
    m_pDevice->GetDeviceCaps(&caps);
    const uint32_t major = gfx::ShaderMajor(caps.PixelShaderVersion);
    if (major < 2) {
        g_Console.Print("PixelShader model 2.0 not supported!");
        PixelShader20 = PixelShader30 = false;
    } else if (major >= 3) {
        PixelShader20 = PixelShader30 = true;
        g_Console.Print("PixelShader model 3.0 detected.");
    } else {
        PixelShader20 = true;
        PixelShader30 = false;
        g_Console.Print("PixelShader model 3.0 not supported!");
        g_Console.Print("PixelShader model 2.0 detected.");
    }
    DepthFormatFound = false;
    for (Format f :
         {Format::D32, Format::D15S1, Format::D24S8, Format::D16, Format::D24X8, Format::D24X4S4}) {
        if (m_pD3D->CheckDeviceFormat(0, gfx::DeviceType::Hal, Format::X8R8G8B8, gfx::usage::DepthStencil,
                                      gfx::ResourceType::Surface, f) == gfx::Result::Ok) {
            DepthFormatFound = true;
            break;
        }
    }
    if (!PixelShader30) {
        UsePS20 = true;
        WriteVideoConfig();
    }
}

void D3DMain::SetInitialRenderStates() {
    gfx::Device* d = m_pDevice;
    if (!d) return;
    d->SetRenderState(RenderState::ZEnable, 1);
    g_RenderStateCache.ResetCullMode();
    d->SetRenderState(RenderState::FillMode,
                      gfx::StateValue(WireFrame ? gfx::FillMode::Wireframe : gfx::FillMode::Solid));
    d->SetRenderState(RenderState::Lighting, 0);
    d->SetRenderState(RenderState::ShadeMode, gfx::StateValue(gfx::ShadeMode::Gouraud));
    d->SetRenderState(RenderState::FogEnable, 0);
    d->SetRenderState(RenderState::DitherEnable, 0);
    d->SetRenderState(RenderState::Clipping, 1);
    d->SetRenderState(RenderState::NormalizeNormals, 0);
    d->SetRenderState(RenderState::SpecularEnable, 0);
    d->SetRenderState(RenderState::FogTableMode, gfx::StateValue(gfx::FogMode::None));
    d->SetRenderState(RenderState::FogVertexMode, gfx::StateValue(gfx::FogMode::Linear));
    d->SetRenderState(RenderState::RangeFogEnable, 0);
}

void D3DMain::ShowLogo() {
    gfx::Device* d = m_pDevice;
    ImageSurface logo;
    logo.LoadFromFile("misc\\HUD\\hud_logo_harn.bmp", false, uint32_t(512.0f * g_f2DScaleX),
                      uint32_t(512.0f * g_f2DScaleY));
    d->Clear(0, nullptr, gfx::clear::Target | gfx::clear::ZBuffer, g_Camera.GetBackgroundColor(), 1.0f, 0);
    d->BeginScene();
    logo.Draw(int32_t(512.0f * g_f2DScaleX - float(logo.GetWidth() / 2)),
              int32_t(384.0f * g_f2DScaleY - float(logo.GetHeight() / 2)));
    logo.Release();
    g_Font.EnsureFonts();
    g_Console.DrawLoadingCaption();
    d->EndScene();
    d->Present();
    MarkStartStep("logo_frame");
    // Unattended runs skip the pause that lets a person see the logo.
    if (!window::Unattended()) os::SleepMs(2000);
}

void D3DMain::RenderFrame() {
    gfx::Device* d = m_pDevice;
    if (!d || d->TestCooperativeLevel() != gfx::Result::Ok || !g_FocusMgr.m_bOnFocus) return;
    const GameFrame& game = TheGameFrame();
    if (!game.MenuOpen()) {
        ProfilerStart(prof::Prerender);
        game.PreRender();
        g_Engine.PrepareCamera();
        g_Renderer.PreRender();
        g_SpriteMgr.Update();
        g_FxMgr.BuildSpriteBuffers();
        ProfilerStop(prof::Prerender);
    }
    const uint32_t color = g_Engine.m_bWorldLoaded ? g_Camera.GetBackgroundColor() : 0;
    ProfilerStart(prof::Render);
    // The stencil is cleared only when the depth buffer has one (a clear that
    // asks for a missing stencil clears nothing at all).
    uint32_t flags = gfx::clear::Target | gfx::clear::ZBuffer;
    if (gfx::HasStencil(g_d3dpp.AutoDepthStencilFormat)) flags |= gfx::clear::Stencil;
    d->Clear(0, nullptr, flags, color, 1.0f, 0);
    d->BeginScene();
    if (game.MenuOpen() || g_Engine.m_bWorldLoaded) {
        ProfilerStart(prof::EngineRender);
        g_Engine.Render();
        ProfilerStop(prof::EngineRender);
        ProfilerStart(prof::MainGameRender);
        game.Render();
        ProfilerStop(prof::MainGameRender);
    }
    g_Console.Render();
    ProfilerStop(prof::Render);
    ProfilerFrameTime();
    ProfilerReport();
    d->EndScene();
    d->Present();
    if (g_Engine.m_bScreenshotRequest) g_Engine.SaveScreenshot();
}

void D3DMain::Release() {
    g_Engine.EndWorld();
    TheGameFrame().Shutdown();
    g_Engine.Release();
    ReleaseBackBuffer();
    for (gfx::VertexDeclaration*& decl : g_pVertexDeclarations) {
        if (decl) decl->Release();
        decl = nullptr;
    }
    if (m_pDevice) m_pDevice->Release();
    m_pDevice = nullptr;
    g_pD3DInterface = nullptr;
    // The program's interface goes too when Create never took it over
    // (start-up ended before the device).
    gfx::Interface* d3d = m_pD3D ? m_pD3D : g_pD3D;
    if (d3d) d3d->Release();
    m_pD3D = nullptr;
    g_pD3D = nullptr;
    m_bCreated = false;
}

intptr_t D3DMain::MessageHook(window::Window*, uint32_t message, uintptr_t wParam, intptr_t) {
    switch (message) {
    case window::msg::KeyDown:
        if (g_FocusMgr.m_bOnFocus) g_Engine.OnKeyDown(uint32_t(wParam));
        break;
    case window::msg::KeyUp:
        if (g_FocusMgr.m_bOnFocus) g_Engine.OnKeyUp(uint32_t(wParam));
        break;
    case window::msg::Timer:
        g_Mouse.Update();
        g_CommandMgr.PollKeyboard();
        break;
    default:
        break;
    }
    return 0;
}
