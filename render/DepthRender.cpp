#include "render/DepthRender.h"

#include <algorithm>
#include <numbers>

#include "app/Console.h"
#include "app/D3DMain.h"
#include "app/Debug.h"
#include "app/FocusMgr.h"
#include "app/Options.h"
#include "app/VideoConfig.h"
#include "platform/effect/Effect.h"
#include "platform/gfx/Device.h"
#include "platform/gfx/Draw.h"
#include "platform/math/Math.h"
#include "render/EffectMgr.h"
#include "render/RenderStateCache.h"
#include "render/Renderer.h"
#include "world/Camera.h"
#include "world/Engine.h"
#include "world/EngineObjectFlags.h"
#include "world/ObjectRecord.h"

EDepthRender g_DepthRender;

namespace {

const bool g_Registered = (RegisterDeviceHook(
                               DeviceHook::DepthTargets, [] { g_DepthRender.OnLostDevice(); },
                               [] { g_DepthRender.OnResetDevice(); }),
                           true);

template <typename T> void ReleaseRef(T*& r) {
    if (r) r->Release();
    r = nullptr;
}

// Brackets a creation or release as the depth targets' share of video memory.
struct VideoMemoryMeasure {
    VideoMemoryMeasure() { g_Debug.BeginVideoMemoryMeasure(EDepthRender::VIDEO_MEMORY_SECTION); }
    ~VideoMemoryMeasure() { g_Debug.EndVideoMemoryMeasure(); }
};

// The size exponent of the cube maps by the shadow quality.
uint32_t SizeExponentOf(uint32_t shadowMapLevel) {
    switch (shadowMapLevel) {
    case 0:
        return 9;
    case 1:
        return 7;
    default:
        return 5;
    }
}

uint32_t WaterSizeOf(uint32_t waterTextureLevel) {
    switch (waterTextureLevel) {
    case 0:
        return 512;
    case 1:
        return 256;
    default:
        return 128;
    }
}

// The static and the moving epsilons of the depth comparison by the shadow
// quality: coarser maps need more.
struct Epsilons {
    float fixed, moving;
};
Epsilons EpsilonsOf(uint32_t shadowMapLevel) {
    switch (shadowMapLevel) {
    case 0:
        return {4.2f, 26.0f};
    case 1:
        return {6.0f, 32.0f};
    default:
        return {32.0f, 40.0f};
    }
}

void SetByName(effect::Effect* e, const char* name, float v) {
    e->SetFloat(e->GetParameterByName(effect::Handle(), name), v);
}
void SetByName(effect::Effect* e, const char* name, const math::Vec4& v) {
    e->SetVector(e->GetParameterByName(effect::Handle(), name), v);
}
void SetByName(effect::Effect* e, const char* name, const math::Matrix& m) {
    e->SetMatrix(e->GetParameterByName(effect::Handle(), name), m);
}

// Begins and ends one technique of the cube depth effect: the face is set
// up for it, and it draws nothing.
void BeginEndTechnique(EffectRecord* fx, const char* name) {
    if (g_RenderStateCache.BeginTechniqueByName(fx, name, false)) g_RenderStateCache.EndTechnique(fx);
}

} // namespace

// ---- World and device lifecycle ---------------------------------------------------------

void EDepthRender::Init() {
    uint32_t count = 0;
    for (int slot = EEngine::FIRST_LIGHT; slot < g_Engine.m_iLightHighWater; ++slot) {
        const ObjectRecord* h = g_Engine.Object(slot);
        if (h->bUsed && h->dwType == OT_LIGHT && (h->dwFlags & objflags::kFlagCubeShadow)) ++count;
    }
    m_dwSlotCount = std::min<uint32_t>(count, MAX_CUBE_SLOTS);
    m_dwSizeExponent = SizeExponentOf(ShadowMapLevel);
    m_dwCubeSize = 1u << m_dwSizeExponent;

    m_pCubeDepth = g_EffectMgr.FindEffect("CubeDepth");
    if (!m_pCubeDepth || !m_pCubeDepth->pEffect) {
        g_Console.Print("No CubeDepth effect");
        // The slots may still name lights of the world that closed.
        EmptySlots();
        return;
    }
    const Epsilons eps = EpsilonsOf(ShadowMapLevel);
    SetByName(m_pCubeDepth->pEffect, "g_fEpsilonStaly", eps.fixed);
    SetByName(m_pCubeDepth->pEffect, "g_fEpsilonZmienny", eps.moving);
    CreateCubeTargets();
    CreateWaterTarget();
    EmptySlots();
}

void EDepthRender::EmptySlots() {
    for (int i = 0; i < MAX_CUBE_SLOTS; ++i) {
        m_pSlotLights[i] = nullptr;
        m_fSlotTimers[i] = 0.0f;
    }
}

void EDepthRender::Destroy() {
    ReleaseWaterTarget();
    ReleaseCubeTargets();
    // The record is the effect manager's, which frees it at engine release;
    // the next world finds it again.
    m_pCubeDepth = nullptr;
}

void EDepthRender::OnLostDevice() {
    ReleaseCubeTargets();
    ReleaseWaterTarget();
}

void EDepthRender::OnResetDevice() {
    CreateCubeTargets();
    CreateWaterTarget();
}

effect::Effect* EDepthRender::CubeEffect() const {
    return m_pCubeDepth ? m_pCubeDepth->pEffect : nullptr;
}

// ---- Targets ----------------------------------------------------------------------------

void EDepthRender::CreateCubeTargets() {
    VideoMemoryMeasure measure;
    if (OptionMV01 && m_dwSlotCount > 0) {
        for (int slot = 0; slot < int(m_dwSlotCount); ++slot) {
            ReleaseRef(m_pCubeTextures[slot]);
            ReleaseRef(m_pCubeDepths[slot]);
            CreateCubeTarget(slot);
        }
    }
    for (uint32_t level = 0; level < MAX_LEVELS; ++level) {
        const uint32_t side = level <= m_dwSizeExponent ? m_dwCubeSize >> level : 0;
        m_Viewports[level] = gfx::Viewport{0, 0, side, side, 0.0f, 1.0f};
    }
}

void EDepthRender::CreateCubeTarget(int slot) {
    if (slot < 0 || slot >= int(m_dwSlotCount)) return;
    ReleaseRef(m_pCubeTextures[slot]);
    gfx::Device* d = g_pD3DInterface;
    if (!d) return;
    if (gfx::Failed(d->CreateCubeTexture(m_dwCubeSize, 0, gfx::usage::RenderTarget, gfx::Format::R32F,
                                         gfx::Pool::Default, &m_pCubeTextures[slot])) ||
        !m_pCubeTextures[slot]) {
        g_Console.Print("Unable to create R32F cubemap");
        return;
    }
    ReleaseRef(m_pCubeDepths[slot]);
    if (gfx::Failed(d->CreateDepthStencilSurface(m_dwCubeSize, m_dwCubeSize, gfx::Format::D24X8, 0, 0, false,
                                                 &m_pCubeDepths[slot])) ||
        !m_pCubeDepths[slot])
        g_Console.Print("Unable to create depth/stencil surface");
}

void EDepthRender::ReleaseCubeTargets() {
    VideoMemoryMeasure measure;
    // Every slot: a slot at or above the count holds nothing anyway.
    for (int slot = 0; slot < MAX_CUBE_SLOTS; ++slot) {
        ReleaseRef(m_pCubeTextures[slot]);
        ReleaseRef(m_pCubeDepths[slot]);
    }
    ReleaseRef(m_pFaceSurface);
}

void EDepthRender::CreateWaterTarget() {
    ReleaseRef(m_pWaterSurface);
    ReleaseRef(m_pWaterTexture);
    const uint32_t size = WaterSizeOf(WaterTextureLevel);
    m_WaterViewport = gfx::Viewport{0, 0, size, size, 0.0f, 1.0f};
    gfx::Device* d = g_pD3DInterface;
    if (!d) return;
    // One level: the reflection is drawn into level 0 only and the water
    // pass reads only that one.
    if (gfx::Failed(d->CreateTexture(size, size, 1, gfx::usage::RenderTarget, g_d3dpp.BackBufferFormat,
                                     gfx::Pool::Default, &m_pWaterTexture)) ||
        !m_pWaterTexture) {
        g_Console.Print("Unable to create water texture");
        return;
    }
    ReleaseRef(m_pWaterDepth);
    if (gfx::Failed(
            d->CreateDepthStencilSurface(size, size, gfx::Format::D24X8, 0, 0, false, &m_pWaterDepth)) ||
        !m_pWaterDepth)
        g_Console.Print("Unable to create depth/stencil watersurface");
}

void EDepthRender::ReleaseWaterTarget() {
    ReleaseRef(m_pWaterSurface);
    ReleaseRef(m_pWaterDepth);
    ReleaseRef(m_pWaterTexture);
}

math::Vec4 EDepthRender::ShadowResolution() const {
    const float r = float(1u << (m_dwSizeExponent - RENDER_LEVEL));
    return math::Vec4{r, 1.0f / r, 0.0f, 0.0f};
}

// ---- Slots ------------------------------------------------------------------------------

void EDepthRender::AssignCubeSlot(ObjectRecord* h) {
    if (!h || !h->bUsed || !h->bIsLight) return;
    if (h->dwType != OT_LIGHT) {
        h->bHasCubeShadow = 1;
        h->bCubeMapRendered = 0;
        return;
    }
    for (int slot = 0; slot < int(m_dwSlotCount); ++slot) {
        if (m_pSlotLights[slot]) continue;
        m_pSlotLights[slot] = h;
        m_fSlotTimers[slot] = 0.0f;
        h->bHasCubeShadow = 1;
        h->bCubeMapRendered = 0;
        return;
    }
}

void EDepthRender::ReleaseCubeSlot(ObjectRecord* h) {
    if (!h) return;
    for (int slot = 0; slot < int(m_dwSlotCount); ++slot)
        if (m_pSlotLights[slot] == h) m_pSlotLights[slot] = nullptr;
    h->bHasCubeShadow = 0;
}

// ---- Frame ------------------------------------------------------------------------------

void EDepthRender::Update() {
    for (int slot = 0; slot < int(m_dwSlotCount); ++slot) {
        ObjectRecord* light = m_pSlotLights[slot];
        if (!light) continue;
        m_fSlotTimers[slot] += g_Engine.m_fFrameTime;
        if (m_fSlotTimers[slot] > SLOT_TIMEOUT) ReleaseCubeSlot(light);
    }
}

void EDepthRender::MarkVisibleLights() {
    g_Renderer.RecordPass("EDepthRender::MarkVisibleLights");
    if (!OptionMV01 || m_dwSlotCount == 0) return;
    for (int slot = 0; slot < int(m_dwSlotCount); ++slot) {
        const ObjectRecord* light = m_pSlotLights[slot];
        if (light && light->bVisibleNow) m_fSlotTimers[slot] = 0.0f;
    }
}

void EDepthRender::RenderCubeShadows() {
    g_Renderer.RecordPass("EDepthRender::RenderCubeShadows");
    if (OptionMV01 && m_dwSlotCount > 0) {
        for (int slot = 0; slot < int(m_dwSlotCount); ++slot) {
            ObjectRecord* light = m_pSlotLights[slot];
            if (!light) continue;
            if (!light->bUsed || !light->bIsLight) {
                m_pSlotLights[slot] = nullptr;
                continue;
            }
            if (!light->bVisible) {
                light->bCubeMapRendered = 0;
                continue;
            }
            if (m_bForceRender) light->bCubeMapRendered = 0;
            const int64_t limit = std::max<int64_t>(3 * int64_t(light->iRange), MIN_RENDER_DISTANCE);
            if (!light->bCubeMapRendered && light->iCameraDistance < limit) RenderCubeShadowMap(slot);
        }
    }
    ReleaseRef(m_pFaceSurface);
    m_bForceRender = 0;
}

void EDepthRender::RenderCubeShadowMap(int slot) {
    if (slot < 0 || slot >= int(m_dwSlotCount) || !m_pSlotLights[slot]) return;
    effect::Effect* e = CubeEffect();
    gfx::Device* d = g_pD3DInterface;
    if (!e || !d) return;
    g_Renderer.RecordPass("EDepthRender::RenderCubeShadowMap", uint32_t(slot));
    SetByName(e, "cScreenViewProjection", g_Camera.View() * g_Camera.Projection());
    e->CommitChanges();
    SaveTargets();
    for (uint32_t stage = 0; stage < 4; ++stage)
        d->SetTexture(stage, nullptr);
    ClearCubeFaces(gfx::clear::Target | gfx::clear::ZBuffer, 0, 1.0f, slot);
    for (uint32_t face = 0; face < gfx::CubeFaceCount; ++face) {
        if (gfx::Failed(BeginCubeFace(face, slot))) {
            g_Console.PrintInteger("SetShadowPass failed: ", int(face));
            RestoreTargets();
            return;
        }
        BeginEndTechnique(m_pCubeDepth, "GenShadowMap");
        if (DrawAnimatedShadows) BeginEndTechnique(m_pCubeDepth, "GenShadowMapSkinmesh");
    }
    m_pSlotLights[slot]->bCubeMapRendered = 1;
    RestoreTargets();
}

// ---- Steps ------------------------------------------------------------------------------

void EDepthRender::SaveTargets() {
    gfx::Device* d = g_pD3DInterface;
    if (!d) return;
    ReleaseRef(m_pKeptTarget);
    ReleaseRef(m_pKeptDepth);
    d->GetRenderTarget(0, &m_pKeptTarget);
    d->GetDepthStencilSurface(&m_pKeptDepth);
    d->GetViewport(&m_KeptViewport);
}

void EDepthRender::RestoreTargets() {
    gfx::Device* d = g_pD3DInterface;
    if (!d) return;
    d->SetDepthStencilSurface(m_pKeptDepth);
    if (m_pKeptTarget) d->SetRenderTarget(0, m_pKeptTarget);
    ReleaseRef(m_pKeptDepth);
    ReleaseRef(m_pKeptTarget);
    d->SetViewport(m_KeptViewport);
}

void EDepthRender::ClearCubeFaces(uint32_t flags, uint32_t colour, float depth, int slot) {
    m_fClearDepth = depth;
    ReleaseRef(m_pFaceSurface);
    gfx::CubeTexture* cube = CubeTexture(slot);
    gfx::Device* d = g_pD3DInterface;
    if (!cube || !d) return;
    d->SetViewport(m_Viewports[0]);
    d->SetDepthStencilSurface(m_pCubeDepths[slot]);
    for (uint32_t face = 0; face < gfx::CubeFaceCount && flags != 0; ++face) {
        gfx::Surface* s = nullptr;
        if (gfx::Failed(cube->GetCubeMapSurface(gfx::CubeFace(face), 0, &s))) continue;
        d->SetRenderTarget(0, s);
        d->Clear(0, nullptr, flags, colour, depth, 0);
        // The faces share one depth surface: it is cleared once.
        flags &= ~(gfx::clear::ZBuffer | gfx::clear::Stencil);
        s->Release();
    }
}

gfx::Result EDepthRender::BeginCubeFace(uint32_t face, int slot) {
    if (face > 5) return gfx::Result::InvalidCall;
    ReleaseRef(m_pFaceSurface);
    gfx::CubeTexture* cube = CubeTexture(slot);
    gfx::Surface* depth = CubeDepth(slot);
    gfx::Device* d = g_pD3DInterface;
    if (!cube || !depth || !d) return gfx::Result::InvalidCall;
    gfx::Result r = cube->GetCubeMapSurface(gfx::CubeFace(face), RENDER_LEVEL, &m_pFaceSurface);
    if (!gfx::Failed(r)) r = d->SetRenderTarget(0, m_pFaceSurface);
    if (!gfx::Failed(r)) r = d->SetDepthStencilSurface(depth);
    if (gfx::Failed(r)) {
        g_Console.Print("Unable to set render target to cubemap");
        return r;
    }
    d->SetViewport(m_Viewports[RENDER_LEVEL]);
    d->Clear(0, nullptr, gfx::clear::ZBuffer, 0, m_fClearDepth, 0);

    const ObjectRecord* light = m_pSlotLights[slot];
    math::Matrix view;
    GetCubeFaceView(face, &view);
    const float range = light ? float(light->iRange) : 0.0f;
    const math::Matrix projection =
        math::MatrixPerspectiveFovLH(std::numbers::pi_v<float> / 2.0f, 1.0f, NEAR_PLANE, range);
    effect::Effect* e = CubeEffect();
    if (e) {
        SetByName(e, "cCubemapViewProjection", view * projection);
        const math::Vec3 p = light ? light->vPosition : math::Vec3{};
        SetByName(e, "cLightPositionWorld", math::Vec4{p.x, p.y, p.z, 0.0f});
        SetByName(e, "cZBias", m_fSlotZBias[slot]);
    }
    return gfx::Result::Ok;
}

bool EDepthRender::GetCubeFaceView(uint32_t face, math::Matrix* out) {
    struct FaceAxes {
        math::Vec3 look, up;
    };
    static const FaceAxes kFaces[gfx::CubeFaceCount] = {
        {{1, 0, 0}, {0, 1, 0}},  {{-1, 0, 0}, {0, 1, 0}}, {{0, 1, 0}, {0, 0, -1}},
        {{0, -1, 0}, {0, 0, 1}}, {{0, 0, 1}, {0, 1, 0}},  {{0, 0, -1}, {0, 1, 0}},
    };
    if (face >= gfx::CubeFaceCount || !out) return false;
    *out = math::MatrixLookAtLH(math::Vec3{0, 0, 0}, kFaces[face].look, kFaces[face].up);
    return true;
}
