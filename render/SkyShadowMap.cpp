#include "render/SkyShadowMap.h"

#include <cmath>

#include "app/Console.h"
#include "app/D3DMain.h"
#include "app/Debug.h"
#include "app/FocusMgr.h"
#include "app/GameFrame.h"
#include "app/Options.h"
#include "app/VideoConfig.h"
#include "platform/gfx/Device.h"
#include "platform/gfx/Draw.h"
#include "platform/math/Math.h"
#include "render/EnvironmentSettings.h"
#include "render/Renderer.h"
#include "world/Camera.h"

SkyShadowMap g_SkyShadowMap;

namespace {

const bool g_Registered = (RegisterDeviceHook(
                               DeviceHook::SkyShadowMaps, [] { g_SkyShadowMap.OnLostDevice(); },
                               [] { g_SkyShadowMap.OnResetDevice(); }),
                           true);

// A unit direction whose horizontal part is shorter than this counts as
// vertical: its cross product with (0, 1, 0) gives no steady x axis.
constexpr float kVerticalHorizontal = 0.01f;

template <typename T> void ReleaseRef(T*& r) {
    if (r) r->Release();
    r = nullptr;
}

// Brackets a creation or release as the sky targets' share of video memory.
struct VideoMemoryMeasure {
    VideoMemoryMeasure() { g_Debug.BeginVideoMemoryMeasure(SkyShadowMap::VIDEO_MEMORY_SECTION); }
    ~VideoMemoryMeasure() { g_Debug.EndVideoMemoryMeasure(); }
};

} // namespace

float SkyShadowMap::NearMapBias() {
    const float bias =
        g_Debug.m_dwVideoMemoryAtCreation < LOW_VIDEO_MEMORY ? NEAR_BIAS_LOW_MEMORY : NEAR_BIAS;
    switch (ShadowMapLevel) {
    case 0:
        return bias * 0.5f;
    case 1:
        return bias;
    default:
        return bias * 1.4f;
    }
}

uint32_t SkyShadowMap::NearMapSize() {
    switch (ShadowMapLevel) {
    case 0:
        return 2048;
    case 1:
        return 1024;
    default:
        return 512;
    }
}

void SkyShadowMap::Reset() {
    for (Map& m : m_Maps) {
        m.vCentre = {STALE_CENTRE, STALE_CENTRE, STALE_CENTRE};
        m.bUpToDate = 0;
        m.bNoDirection = 0;
    }
    m_bActive = true;
}

void SkyShadowMap::EndWorld() {
    Release();
    m_bActive = false;
}

void SkyShadowMap::ReleaseMap(Map& m) {
    ReleaseRef(m.pDepth);
    ReleaseRef(m.pSurface);
    ReleaseRef(m.pTexture);
}

void SkyShadowMap::Release() {
    VideoMemoryMeasure measure;
    for (Map& m : m_Maps)
        ReleaseMap(m);
}

void SkyShadowMap::OnResetDevice() {
    if (!m_bActive || !DrawShadows || !g_EnvironmentSettings.m_bSkyLightInUse) return;
    CreateRenderTextures(0);
    if (DrawAnimatedShadows) CreateRenderTextures(1);
}

void SkyShadowMap::SetProjector(int map, int size, int width, int depth, float bias) {
    Map& m = m_Maps[Index(map)];
    m.dwSize = uint32_t(size);
    m.dwWidth = uint32_t(width);
    m.dwDepth = uint32_t(depth);
    m.fBias = bias;
    if (!m_bActive) return;
    Release();
    OnResetDevice();
}

void SkyShadowMap::GetProjector(int map, int* size, int* width, int* depth, float* bias) const {
    const Map& m = m_Maps[Index(map)];
    if (size) *size = int(m.dwSize);
    if (width) *width = int(m.dwWidth);
    if (depth) *depth = int(m.dwDepth);
    if (bias) *bias = m.fBias;
}

void SkyShadowMap::Update() {
    g_Renderer.RecordPass("SkyShadowMap::Update");
    if (!DrawShadows || !m_bActive) return;
    Map& nearMap = m_Maps[1];
    nearMap.dwWidth = NEAR_WIDTH;
    nearMap.dwDepth = NEAR_DEPTH;
    nearMap.fBias = NearMapBias();
    if (g_EnvironmentSettings.m_bSkyLightInUse) {
        UpdateLightMatrices(0);
        UpdateLightMatrices(1);
    }
}

void SkyShadowMap::RefreshMatrices() {
    if (!g_EnvironmentSettings.m_bSkyLightInUse) return;
    UpdateLightMatrices(0);
    UpdateLightMatrices(1);
}

void SkyShadowMap::UpdateLightMatrices(int map) {
    const int i = Index(map);
    Map& m = m_Maps[i];
    const float* sky = g_EnvironmentSettings.SkyLightDirection();
    const math::Vec3 d{sky[0], sky[1], sky[2]};
    const float length = math::Vec3Length(d);
    if (length == 0.0f) {
        // The eye would stand on the look-at point: nothing casts a shadow.
        // The map is drawn empty once and built anew when a direction comes.
        if (!m.bNoDirection) {
            m.bNoDirection = 1;
            m.bUpToDate = 0;
            m.vCentre = {STALE_CENTRE, STALE_CENTRE, STALE_CENTRE};
        }
        return;
    }
    m.bNoDirection = 0;
    const math::Vec3 direction = d / length;
    const math::Vec3& camera = g_Camera.GetPosition();
    math::Vec3 eye = camera - direction * (float(m.dwDepth) / 2.0f);
    if (i == 0 && math::Vec3Distance(m.vCentre, eye) < FAR_MAP_STEP && !RecalculateSkyLightEveryFrame &&
        !TheGameFrame().CutSceneRunning())
        return;
    eye = math::Vec3{std::trunc(eye.x), std::trunc(eye.y), std::trunc(eye.z)};
    m.vDirection = direction;
    m.vCentre = eye;
    m.bUpToDate = 0;
    m.mProjection = math::MatrixOrthoLH(float(m.dwWidth), float(m.dwWidth), 1.0f, float(m.dwDepth));
    const bool vertical = std::hypot(direction.x, direction.z) < kVerticalHorizontal;
    const math::Vec3 up = vertical ? math::Vec3{0.0f, 0.0f, 1.0f} : math::Vec3{0.0f, 1.0f, 0.0f};
    m.mView = math::MatrixLookAtLH(eye, camera, up);
}

void SkyShadowMap::CreateRenderTextures(int map) {
    VideoMemoryMeasure measure;
    CreateTargets(Index(map));
}

void SkyShadowMap::CreateTargets(int i) {
    Map& m = m_Maps[i];
    ReleaseRef(m.pSurface);
    ReleaseRef(m.pTexture);
    if (i == 1) {
        m.dwSize = NearMapSize();
        m.fBias = NearMapBias();
    }
    gfx::Device* d = g_pD3DInterface;
    if (!d) return;
    if (gfx::Failed(d->CreateTexture(m.dwSize, m.dwSize, 1, gfx::usage::RenderTarget, gfx::Format::R32F,
                                     gfx::Pool::Default, &m.pTexture)))
        g_Console.Print("CreateRenderTextures 1 failed");
    if (!m.pTexture) {
        g_Console.Print("Shadow texture not created");
        return;
    }
    ReleaseRef(m.pDepth);
    if (gfx::Failed(
            d->CreateDepthStencilSurface(m.dwSize, m.dwSize, g_DepthStencilFormat, 0, 0, true, &m.pDepth)))
        g_Console.Print("Sky CreateRenderTextures 2 failed");
    if (!m.pDepth) {
        g_Console.Print("Sky Shadow depth not created");
        ReleaseRef(m.pTexture);
        return;
    }
    m.pTexture->GetSurfaceLevel(0, &m.pSurface);
    UpdateLightMatrices(i);
    m.bUpToDate = 0;
}

bool SkyShadowMap::BeginRender(int map) {
    const int i = Index(map);
    if (!m_bActive || (i == 0 && !g_EnvironmentSettings.m_bSkyLightInUse)) return false;
    if (!HasTargets(i)) CreateRenderTextures(i);
    gfx::Device* d = g_pD3DInterface;
    if (!d || !HasTargets(i)) return false;
    Map& m = m_Maps[i];
    d->GetViewport(&m_KeptViewport);
    d->GetRenderTarget(0, &m_pKeptTarget);
    d->GetDepthStencilSurface(&m_pKeptDepth);
    d->SetRenderTarget(0, m.pSurface);
    d->SetViewport(gfx::Viewport{0, 0, m.dwSize, m.dwSize, 0.0f, 1.0f});
    d->SetDepthStencilSurface(m.pDepth);
    // The stencil is cleared only where the depth surface has one (a clear
    // that asks for a missing stencil clears nothing).
    uint32_t flags = gfx::clear::Target | gfx::clear::ZBuffer;
    if (gfx::HasStencil(m.pDepth->GetFormat())) flags |= gfx::clear::Stencil;
    d->Clear(0, nullptr, flags, CLEAR_COLOUR, 1.0f, 0);
    return true;
}

void SkyShadowMap::EndRender() {
    gfx::Device* d = g_pD3DInterface;
    if (!d) return;
    d->SetDepthStencilSurface(m_pKeptDepth);
    if (m_pKeptTarget) d->SetRenderTarget(0, m_pKeptTarget);
    ReleaseRef(m_pKeptDepth);
    ReleaseRef(m_pKeptTarget);
    d->SetViewport(m_KeptViewport);
}
