#include "render/PostProcess.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>
#include <new>

#include "app/CommandMgr.h"
#include "app/Console.h"
#include "app/D3DMain.h"
#include "app/FileHelpers.h"
#include "app/FocusMgr.h"
#include "app/GameFrame.h"
#include "app/Options.h"
#include "app/Records.h"
#include "app/VideoConfig.h"
#include "physics/IntersectSegment.h"
#include "platform/gfx/Draw.h"
#include "platform/math/Math.h"
#include "render/EffectMgr.h"
#include "render/EnvironmentSettings.h"
#include "render/Renderer.h"
#include "world/Camera.h"
#include "world/Engine.h"
#include "world/EngineObject.h"
#include "world/Filters.h"
#include "world/ObeCamera.h"
#include "world/ObjectApi.h"
#include "world/ObjectRecord.h"
#include "world/WorldHooks.h"

EPostProcess g_PostProcess;

namespace {

// The targets go before a device reset and come back after it.
const bool g_Registered = (RegisterDeviceHook(
                               DeviceHook::PostProcessTargets, [] { g_PostProcess.OnLostDevice(); },
                               [] { g_PostProcess.OnResetDevice(); }),
                           true);

template <typename T> void ReleaseRef(T*& r) {
    if (r) r->Release();
    r = nullptr;
}

// How each target is made: its size (the screen divided by `divisor`, or
// 32 x 32 for 0), its format and the lines a failure prints; `index` follows
// the texture line when it is not negative.
struct TargetDesc {
    uint32_t divisor;
    gfx::Format format;
    const char* textureFailure;
    const char* surfaceFailure;
    int index;
};
constexpr gfx::Format kHalf4 = gfx::Format::A16B16G16R16F;
constexpr gfx::Format kArgb = gfx::Format::A8R8G8B8;
const TargetDesc kTargets[EPostProcess::TARGET_COUNT] = {
    {1, kHalf4, "PostProcess: Failed creating HDRTex", "PostProcess: Failed creating HDRSurf", -1},
    {0, kHalf4, "PostProcess: Failed creating HDRScaledTex", "PostProcess: Failed creating HDRScaledSurf",
     -1},
    {1, kArgb, "PostProcess: Failed creating MainTex", "PostProcess: Failed creating MainSurf", -1},
    {1, kArgb, "PostProcess: Failed creating DistortionTex", "PostProcess: Failed creating DistortionSurf",
     -1},
    {2, kArgb, "PostProcess: Failed creating BWTex", "PostProcess: Failed creating BWSurf", -1},
    {1, gfx::Format::G16R16F, "PostProcess: Failed creating DepthTex",
     "PostProcess: Failed creating DepthSurf", -1},
    {1, kArgb, "PostProcess: Failed creating TargetTex", "PostProcess: Failed creating TargetSurf", -1},
    {8, kArgb, "PostProcess: Failed creating BloomTex", "PostProcess: Failed creating BloomSurf", 0},
    {8, kArgb, "PostProcess: Failed creating BloomTex", "PostProcess: Failed creating BloomSurf", 1},
    {1, kArgb, "PostProcess: Failed creating BloomTex2", "PostProcess: Failed creating BloomSurf2", -1},
    {2, kArgb, "PostProcess: Failed creating MotionBlurTex", "PostProcess: Failed creating MotionBlurSurf",
     -1},
};

// The full-screen quad: a float4 pixel position and a texture coordinate.
const gfx::VertexElement kQuadElements[] = {
    {0, 0, gfx::elemtype::Float4, 0, gfx::elemusage::Position, 0},
    {0, 16, gfx::elemtype::Float2, 0, gfx::elemusage::TexCoord, 0},
    gfx::DeclEnd,
};

// The depth of field's Poisson disc.
constexpr float kFilterTaps[12][2] = {
    {-0.326212f, -0.405805f}, {-0.840144f, -0.073580f}, {-0.695914f, 0.457137f},  {-0.203345f, 0.620716f},
    {0.962340f, -0.194983f},  {0.473434f, -0.480026f},  {0.519456f, 0.767022f},   {0.185461f, -0.893124f},
    {0.507431f, 0.064425f},   {0.896420f, 0.412458f},   {-0.321940f, -0.932615f}, {-0.791559f, -0.597705f},
};

// Worlds whose lighting is made for the plain picture: HDR stays off there.
constexpr const char* kWorldsWithoutHDR[] = {"worlds\\level_02.w", "worlds\\level_03.w"};

constexpr float kMeasureScale = 0.015625f; // 1/64
constexpr float kSkyMix = 0.6f;

} // namespace

EPostProcess::EPostProcess() = default;

// ---- Targets and lifecycle ----------------------------------------------------------------

void EPostProcess::Create() {
    // A new world has new texture records.
    m_bHudLooked = 0;
    if (!OptionMV16) return;
    bool hdr = OptionMV21;
    for (const char* world : kWorldsWithoutHDR)
        if (StrCmpNoCase(g_Engine.m_szCurrentWorld, world) == 0) hdr = false;
    m_bHDRThisWorld = hdr ? 1 : 0;
    m_bEyeSet = 0;
    m_bForcedMotionBlur = 0;
    m_bMonochromatic = 0;
    gfx::Device* d = g_pD3DInterface;
    if (!d) return;
    gfx::Caps caps;
    if (gfx::Failed(d->GetDeviceCaps(&caps)) || gfx::ShaderMajor(caps.PixelShaderVersion) < 2) {
        g_Console.Print("EPostProcess::Create error - PS 2.0 not supported!");
        return;
    }
    ReleaseRef(m_pVertexDeclaration);
    if (gfx::Failed(d->CreateVertexDeclaration(kQuadElements, &m_pVertexDeclaration))) return;
    CreatePostProcessTargets();
    if (m_pTex[TargetTex] && m_pSurf[TargetTex] && m_pTex[MotionBlur]) {
        ConvertPixelsToTexels("ConvertPixelsToTexelsH", 4);
        ConvertPixelsToTexels("ConvertPixelsToTexelsV", 4);
        ConvertPixelsToTexels("ConvertPixelsToTexels", 2);
        m_bDepthClearedOnce = 0;
        m_bActive = 1;
    }
}

void EPostProcess::Destroy() {
    ReleaseRef(m_pVertexDeclaration);
    m_bActive = 0;
}

void EPostProcess::CreatePostProcessTargets() {
    if (!OptionMV16) return;
    m_fEK = 0;
    m_dwWidth = screenwidth;
    m_dwHeight = screenheight;
    m_dwNoiseTexture = g_Renderer.GetTextureIdByName("tarvok_noise.tga");
    const EffectRecord* fx = g_EffectMgr.FindEffect("dof");
    if (!fx || !fx->pEffect) {
        m_pEffect = nullptr;
        return;
    }
    m_pEffect = fx->pEffect;
    FetchHandles();
    SetFilterTaps();
    SetViewportParams();
    const float w = float(m_dwWidth), h = float(m_dwHeight);
    m_FullScreenQuad[0] = {-0.5f, h - 0.5f, 0.0f, 1.0f, 0.0f, 1.0f};
    m_FullScreenQuad[1] = {w - 0.5f, h - 0.5f, 0.0f, 1.0f, 1.0f, 1.0f};
    m_FullScreenQuad[2] = {-0.5f, -0.5f, 0.0f, 1.0f, 0.0f, 0.0f};
    m_FullScreenQuad[3] = {w - 0.5f, -0.5f, 0.0f, 1.0f, 1.0f, 0.0f};

    gfx::Device* d = g_pD3DInterface;
    if (!d) return;
    if (OptionMV21) MakeHDRTargets();
    for (Target t : {Main, Distortion, BW}) {
        if (!MakeTarget(t)) return;
    }
    ReleaseRef(m_pBWDepthStencil);
    if (gfx::Failed(d->CreateDepthStencilSurface(m_dwWidth / 2, m_dwHeight / 2, g_DepthStencilFormat, 0, 0,
                                                 true, &m_pBWDepthStencil))) {
        g_Console.Print("Failed to create BW Depth Stencil");
        return;
    }
    for (Target t : {Depth, TargetTex, Bloom0, Bloom1, Bloom2, MotionBlur}) {
        if (!MakeTarget(t)) return;
    }
}

bool EPostProcess::MakeTarget(Target t) {
    ReleaseTarget(t);
    const TargetDesc& target = kTargets[t];
    const uint32_t w = target.divisor ? m_dwWidth / target.divisor : HDR_SCALED_SIZE;
    const uint32_t h = target.divisor ? m_dwHeight / target.divisor : HDR_SCALED_SIZE;
    gfx::Device* d = g_pD3DInterface;
    if (gfx::Failed(d->CreateTexture(w, h, 1, gfx::usage::RenderTarget, target.format, gfx::Pool::Default,
                                     &m_pTex[t]))) {
        m_pTex[t] = nullptr;
        if (target.index >= 0)
            g_Console.PrintInt(target.textureFailure, target.index);
        else
            g_Console.Print(target.textureFailure);
        return false;
    }
    if (gfx::Failed(m_pTex[t]->GetSurfaceLevel(0, &m_pSurf[t]))) {
        m_pSurf[t] = nullptr;
        g_Console.Print(target.surfaceFailure);
        return false;
    }
    return true;
}

bool EPostProcess::MakeHDRTargets() {
    bool made = MakeTarget(HDR) && MakeTarget(HDRScaled);
    if (made) {
        ReleaseRef(m_pReadBack);
        made = !gfx::Failed(g_pD3DInterface->CreateOffscreenPlainSurface(
            HDR_SCALED_SIZE, HDR_SCALED_SIZE, kHalf4, gfx::Pool::SystemMem, &m_pReadBack));
        if (!made) {
            m_pReadBack = nullptr;
            g_Console.Print("PostProcess: Failed creating HDRScaledSurf");
        }
    }
    if (made) return true;
    ReleaseTarget(HDR);
    ReleaseTarget(HDRScaled);
    ReleaseRef(m_pReadBack);
    // For the rest of the run, and in the video settings written later.
    OptionMV21 = false;
    return false;
}

void EPostProcess::ReleaseTarget(Target t) {
    ReleaseRef(m_pSurf[t]);
    ReleaseRef(m_pTex[t]);
}

void EPostProcess::ReleaseTargets() {
    m_fEK = 0;
    ReleaseTarget(Distortion);
    ReleaseTarget(HDR);
    ReleaseTarget(HDRScaled);
    ReleaseRef(m_pReadBack);
    ReleaseTarget(BW);
    ReleaseRef(m_pBWDepthStencil);
    for (Target t : {Main, TargetTex, Depth, Bloom0, Bloom1, Bloom2, MotionBlur})
        ReleaseTarget(t);
    ReleaseRef(m_pKeptBackBuffer);
    ReleaseRef(m_pKeptDepthTarget);
    ReleaseRef(m_pKeptBWTarget);
    if (m_pKeptDepthStencil) {
        if (g_pD3DInterface) g_pD3DInterface->SetDepthStencilSurface(m_pKeptDepthStencil);
        ReleaseRef(m_pKeptDepthStencil);
    }
}

void EPostProcess::FetchHandles() {
    effect::Effect* e = m_pEffect;
    auto param = [e](const char* name) { return e->GetParameterByName(effect::Handle(), name); };
    m_h.g_fBloomCone = param("g_fBloomCone");
    m_h.g_fBloomPower = param("g_fBloomPower");
    m_h.tSceneColor = param("tSceneColor");
    m_h.tBW = param("tBW");
    m_h.tBloomBlur = param("tBloomBlur");
    m_h.fMotionBlurCoef = param("fMotionBlurCoef");
    m_h.tBlurDepth = param("tBlurDepth");
    m_h.maxCoC = param("maxCoC");
    m_h.g_FocalRange = param("g_FocalRange");
    m_h.g_FocalDist = param("g_FocalDist");
    m_h.viewportScale = param("viewportScale");
    m_h.viewportBias = param("viewportBias");
    m_h.filterTaps = param("filterTaps");
    m_h.tDistortionNormal = param("tDistortionNormal");
    m_h.DownFilter = e->GetTechniqueByName("DownFilter");
    m_h.BrightPass = e->GetTechniqueByName("BrightPass");
    m_h.BloomHorizontal = e->GetTechniqueByName("BloomHorizontal");
    m_h.BloomVertical = e->GetTechniqueByName("BloomVertical");
    m_h.Combine = e->GetTechniqueByName("Combine");
    m_h.MotionBlur = e->GetTechniqueByName("MotionBlur");
    m_h.ToScreen = e->GetTechniqueByName("ToScreen");
    m_h.FilterDoF = e->GetTechniqueByName("FilterDoF");
}

void EPostProcess::SetViewportParams() {
    if (!m_pEffect) return;
    const float w = float(m_dwWidth), h = float(m_dwHeight);
    m_pEffect->SetVector(m_h.viewportScale, math::Vec4{2.0f / w, -2.0f / h, 1.0f, 1.0f});
    m_pEffect->SetVector(m_h.viewportBias, math::Vec4{-1.0f, 1.0f, 0.0f, 0.0f});
}

void EPostProcess::SetFilterTaps() {
    if (!m_pEffect) return;
    math::Vec4 taps[std::size(kFilterTaps)];
    for (size_t i = 0; i < std::size(kFilterTaps); ++i)
        taps[i] = {kFilterTaps[i][0] / float(m_dwWidth), kFilterTaps[i][1] / float(m_dwHeight), 0.0f, 0.0f};
    m_pEffect->SetVectorArray(m_h.filterTaps, taps, uint32_t(std::size(taps)));
}

void EPostProcess::ConvertPixelsToTexels(const char* annotation, uint32_t divisor) {
    effect::Effect* e = m_pEffect;
    if (!e || divisor == 0) return;
    const float texelsX = float(m_dwWidth / divisor), texelsY = float(m_dwHeight / divisor);
    for (uint32_t i = 0;; ++i) {
        const effect::Handle p = e->GetParameter(effect::Handle(), i);
        if (!p) break;
        const effect::Handle a = e->GetAnnotationByName(p, annotation);
        const char* sourceName = nullptr;
        if (!a || gfx::Failed(e->GetString(a, &sourceName)) || !sourceName) continue;
        const effect::Handle s = e->GetParameterByName(effect::Handle(), sourceName);
        effect::ParameterDesc desc;
        if (!s || gfx::Failed(e->GetParameterDesc(s, &desc))) continue;
        const uint32_t n = desc.Bytes / 8;
        math::Vec4* v = new (std::nothrow) math::Vec4[n]();
        if (!v) break;
        e->GetVectorArray(s, v, n);
        for (uint32_t k = 0; k < n; ++k) {
            v[k].x /= texelsX;
            v[k].y /= texelsY;
        }
        e->SetVectorArray(p, v, n);
        delete[] v;
    }
}

// ---- The save block -------------------------------------------------------------------------

void EPostProcess::Save(std::FILE* f) const {
    if (!f) return;
    FileWriteBool(f, m_bForcedMotionBlur);
    FileWriteBool(f, m_bBWHold);
    FileWriteBool(f, m_bBWOn);
    FileWriteBool(f, m_bMonochromatic);
    FileWriteBool(f, m_bMotionBlurThisFrame);
    FileWrite32(f, m_dwNumBWObjects);
    FileWrite32(f, m_fRedTintTime);
    FileWrite32(f, m_fMotionBlurTime);
    FileWrite32(f, m_fAODepth);
    FileWrite32(f, m_fAOIntensity);
    for (uint32_t i = 0; i < m_dwNumBWObjects && i < MAX_BW_OBJECTS; ++i)
        FileWritePesel(f, m_hBWObjects[i]);
}

void EPostProcess::Load(std::FILE* f) {
    if (!f) return;
    auto readByte = [f](uint8_t* b) {
        bool v = *b != 0;
        FileReadBool(f, &v);
        *b = v ? 1 : 0;
    };
    readByte(&m_bForcedMotionBlur);
    readByte(&m_bBWHold);
    readByte(&m_bBWOn);
    readByte(&m_bMonochromatic);
    readByte(&m_bMotionBlurThisFrame);
    uint32_t count = 0;
    FileRead32(f, &count);
    FileRead32(f, &m_fRedTintTime);
    FileRead32(f, &m_fMotionBlurTime);
    FileRead32(f, &m_fAODepth);
    FileRead32(f, &m_fAOIntensity);
    ClearBWObjects();
    m_dwNumBWObjects = std::min(count, MAX_BW_OBJECTS);
    for (uint32_t i = 0; i < m_dwNumBWObjects; ++i)
        FileReadPesel(f, &m_hBWObjects[i]);
    // References beyond the list are read past, so the next block starts
    // where it was written.
    uint8_t skipped[12];
    for (uint32_t i = MAX_BW_OBJECTS; i < count && !std::feof(f); ++i)
        FileReadBytes(f, skipped, sizeof skipped);
}

// ---- Screen effects -----------------------------------------------------------------------------

void EPostProcess::AddObjectToBW(ObjectRecord* h) {
    if (!h || !h->bUsed || m_dwNumBWObjects >= MAX_BW_OBJECTS) return;
    m_hBWObjects[m_dwNumBWObjects++] = h;
}

bool EPostProcess::IsObjectInBW(const ObjectRecord* h) const {
    if (!h || !h->bUsed) return false;
    for (uint32_t i = 0; i < m_dwNumBWObjects && i < MAX_BW_OBJECTS; ++i)
        if (m_hBWObjects[i] == h) return true;
    return false;
}

// ---- Per-frame decisions ----------------------------------------------------------------------

void PreparePostProcess() {
    EPostProcess& pp = g_PostProcess;
    if (!pp.IsActive()) return;
    if (OptionMV21 && pp.HDRRunsInThisWorld()) pp.UpdateTargetLuminance();
    pp.m_bMotionBlurThisFrame = pp.m_fMotionBlurTime > 0.0f ? 1 : 0;
    if (MotionBlurOption < 0.15f) return;
    const PostProcessGameState game = TheWorldHooks().PostProcessGame();
    const EEngineObject& layer = g_EngineObject;
    const bool blur = game.fSecondsSinceExplosion < 4.0f || game.fSecondsSinceBulletHit < 0.15f ||
                      pp.m_bForcedMotionBlur || game.bPlayerDead || game.bMissionFailed ||
                      (layer.m_bCameraPositioning && layer.m_CameraPositioning.bMotionBlur) ||
                      g_ObeCamera.IsRunning();
    if (blur) pp.m_bMotionBlurThisFrame = 1;
}

void EPostProcess::UpdateTargetLuminance() {
    const PostProcessGameState game = TheWorldHooks().PostProcessGame();
    m_fTargetLuminance = game.bIntroRunning && game.iIntroScene == 1 ? 0.16f : 0.2f;
}

void EPostProcess::UpdateFocus() {
    g_Renderer.RecordPass("EPostProcess::UpdateFocus");
    if (!m_bActive) return;
    const WorldHooks& hooks = TheWorldHooks();
    const PostProcessGameState game = hooks.PostProcessGame();
    if (game.bReloading) {
        m_fTargetFocus = m_fFocus = 16.0f;
        m_fFocusRange = 4000.0f;
        return;
    }
    const float farZ = g_Camera.GetFarZ();
    const math::Vec3 eye = g_Camera.GetPosition();
    const math::Vec3 end = eye + g_Camera.Orientation().forward * farZ;
    SegmentQuery query;
    query.pStart = &eye;
    query.pEnd = &end;
    query.pFilter = ObjectFilter11;
    query.pFilterArgument = hooks.PlayerObject();
    SegmentHit hit;
    const bool found = g_IntersectSegment.Test(query, &hit);

    m_fFocusRange = game.bIntroRunning ? 18000.0f : (game.fAimProgress > 0.1f ? 2000.0f : 8000.0f);
    m_fTargetFocus = found ? math::Vec3Distance(eye, hit.vPoint) : 200.0f;
    const float step = std::max(farZ, 10000.0f) * g_Engine.m_fFrameTime;
    if (m_fTargetFocus > m_fFocus)
        m_fFocus = std::min(m_fFocus + step, m_fTargetFocus);
    else if (m_fTargetFocus < m_fFocus)
        m_fFocus = std::max(m_fFocus - step, m_fTargetFocus);
}

void EPostProcess::SetFocusParams(effect::Effect* e) {
    if (!e || !m_bActive) return;
    if (m_fFocusRange == 0.0f) m_fFocusRange = 1.0f;
    e->SetFloat(e->GetParameterByName(effect::Handle(), "g_FocalRange"), 1.0f / m_fFocusRange);
    e->SetFloat(e->GetParameterByName(effect::Handle(), "g_FocalDist"), m_fFocus);
}

// ---- HDR ----------------------------------------------------------------------------------------

void EPostProcess::RenderHDR() {
    HDRScaleDown();
    MeasureHDR();
    HDRToMain();
}

void EPostProcess::DrawQuad(effect::Handle technique) {
    gfx::Device* d = g_pD3DInterface;
    if (!technique || gfx::Failed(m_pEffect->SetTechnique(technique))) return;
    d->SetFVF(0);
    d->SetVertexDeclaration(m_pVertexDeclaration);
    uint32_t passes = 0;
    if (gfx::Failed(m_pEffect->Begin(&passes, 0))) return;
    DrawPasses(passes);
    m_pEffect->End();
}

void EPostProcess::DrawPasses(uint32_t passes) {
    gfx::Device* d = g_pD3DInterface;
    for (uint32_t p = 0; p < passes; ++p) {
        m_pEffect->BeginPass(p);
        d->DrawPrimitiveUP(gfx::PrimitiveType::TriangleStrip, 2, m_FullScreenQuad, sizeof(QuadVertex));
        m_pEffect->EndPass();
    }
}

void EPostProcess::DrawInto(Target t, effect::Handle technique) {
    g_pD3DInterface->SetRenderTarget(0, m_pSurf[t]);
    DrawQuad(technique);
}

void EPostProcess::Stretch(Target from, Target to) {
    g_pD3DInterface->StretchRect(m_pSurf[from], nullptr, m_pSurf[to], nullptr, gfx::TextureFilter::Linear);
}

void EPostProcess::HDRScaleDown() {
    gfx::Device* d = g_pD3DInterface;
    if (!d || !m_pEffect || !m_pSurf[HDRScaled]) return;
    d->SetRenderTarget(0, m_pSurf[HDRScaled]);
    m_pEffect->SetFloat(m_h.g_fBloomCone, m_fBloomCone);
    m_pEffect->SetFloat(m_h.g_fBloomPower, m_fBloomPower);
    const effect::Handle technique = m_pEffect->GetTechniqueByName("HDRScaleDown");
    m_pEffect->SetTexture(m_h.tSceneColor, m_pTex[HDR]);
    DrawQuad(technique);
}

void EPostProcess::MeasureHDR() {
    gfx::Device* d = g_pD3DInterface;
    if (!d || !m_pSurf[HDRScaled] || !m_pReadBack) return;
    if (gfx::Failed(d->GetRenderTargetData(m_pSurf[HDRScaled], m_pReadBack))) {
        g_Console.Print("GetRenderTargetData HDR failed!");
        return;
    }
    gfx::LockedRect locked;
    if (gfx::Failed(m_pReadBack->LockRect(&locked, nullptr, gfx::lock::ReadOnly))) return;
    MeasureImage(locked.pBits, locked.Pitch);
    m_pReadBack->UnlockRect();
}

float EPostProcess::PixelLuminance(const uint16_t* texel) {
    return 0.2126f * math::HalfToFloat(texel[0]) + 0.7152f * math::HalfToFloat(texel[1]) +
           0.0722f * math::HalfToFloat(texel[2]);
}

void EPostProcess::MeasureImage(const void* bits, int32_t pitch) {
    if (!bits) return;
    float luminance = 0.0f, r = 0.0f, g = 0.0f, b = 0.0f;
    for (uint32_t y = MEASURE_FIRST; y < MEASURE_FIRST + MEASURE_SIZE; ++y) {
        const uint8_t* row = static_cast<const uint8_t*>(bits) + ptrdiff_t(y) * pitch;
        for (uint32_t x = MEASURE_FIRST; x < MEASURE_FIRST + MEASURE_SIZE; ++x) {
            uint16_t texel[4];
            std::memcpy(texel, row + size_t(x) * sizeof texel, sizeof texel);
            luminance += PixelLuminance(texel);
            r += math::HalfToFloat(texel[0]);
            g += math::HalfToFloat(texel[1]);
            b += math::HalfToFloat(texel[2]);
        }
    }
    m_fMeasuredLuminance = luminance * kMeasureScale;
    math::Vec3 average{r * kMeasureScale, g * kMeasureScale, b * kMeasureScale};
    float length = math::Vec3Length(average);
    if (length == 0.0f) length = 1.0f;
    average = average / length;
    uint32_t sky = 0;
    g_EnvironmentSettings.GetSkyLightColor(&sky);
    const float skyR = float((sky >> 16) & 0xFF), skyG = float((sky >> 8) & 0xFF), skyB = float(sky & 0xFF);
    m_vSceneColor = {average.x + (skyR - average.x) * kSkyMix, average.y + (skyG - average.y) * kSkyMix,
                     average.z + (skyB - average.z) * kSkyMix, 0.0f};
}

void EPostProcess::AdaptLuminance(float frameTime, bool intro) {
    if (!m_bEyeSet) {
        m_fAdaptedLuminance = m_fMeasuredLuminance;
        m_bEyeSet = 1;
        return;
    }
    const float step = (intro ? 0.02f : 0.04f) * frameTime;
    if (m_fMeasuredLuminance > m_fAdaptedLuminance)
        m_fAdaptedLuminance = std::min(m_fAdaptedLuminance + step, m_fMeasuredLuminance);
    else if (m_fMeasuredLuminance < m_fAdaptedLuminance)
        m_fAdaptedLuminance = std::max(m_fAdaptedLuminance - step, m_fMeasuredLuminance);
}

float EPostProcess::Iloraz() const {
    // Until the eye has adapted to anything the picture is left as it is.
    if (m_fTargetLuminance > 0.0f && m_fAdaptedLuminance > 0.0f)
        return m_fTargetLuminance / m_fAdaptedLuminance;
    return 1.0f;
}

void EPostProcess::HDRToMain() {
    gfx::Device* d = g_pD3DInterface;
    if (!d || !m_pEffect || !m_pSurf[Main]) return;
    d->SetRenderTarget(0, m_pSurf[Main]);
    effect::Effect* e = m_pEffect;
    const effect::Handle technique = e->GetTechniqueByName("HDRToMain");
    e->SetTexture(m_h.tSceneColor, m_pTex[HDR]);
    AdaptLuminance(g_Engine.m_fFrameTime, TheWorldHooks().PostProcessGame().bIntroRunning);
    e->SetFloat(e->GetParameterByName(effect::Handle(), "g_fLuminance"), m_fAdaptedLuminance);
    e->SetFloat(e->GetParameterByName(effect::Handle(), "g_fTargetLuminance"), m_fTargetLuminance);
    e->SetVector(e->GetParameterByName(effect::Handle(), "g_vKolorSceny"), m_vSceneColor);
    e->SetFloat(e->GetParameterByName(effect::Handle(), "g_fIloraz"), Iloraz());
    DrawQuad(technique);
}

// ---- The chain and the hooks around the world's passes ------------------------------------------

namespace {

constexpr int32_t kFirstChainFrame = 151;
constexpr uint32_t kSceneClearColor = 0xFFFFFFFF;
constexpr uint32_t kFlatNormal = 0xFF8080FF; // the distortion target's "no offset"
constexpr float kMotionBlurScale = 0.6f;
constexpr float kMotionBlurFall = 0.3f;
constexpr float kRedTintScale = 0.5f;
constexpr float kHealthSaturation = 1.2f;
constexpr float kMonochromeSaturation = 0.1f;

// Target, depth and stencil, the stencil only when the current depth
// surface has one (asking for it otherwise would clear nothing at all).
void ClearTargetAndDepth(uint32_t color) {
    gfx::Device* d = g_pD3DInterface;
    uint32_t flags = gfx::clear::Target | gfx::clear::ZBuffer;
    gfx::Surface* depth = nullptr;
    if (!gfx::Failed(d->GetDepthStencilSurface(&depth)) && depth) {
        if (gfx::HasStencil(depth->GetFormat())) flags |= gfx::clear::Stencil;
        depth->Release();
    } else {
        flags = gfx::clear::Target;
    }
    d->Clear(0, nullptr, flags, color, 1.0f, 0);
}

uint32_t PackColor(const math::Vec4& c) {
    auto channel = [](float v) { return uint32_t(std::clamp(v, 0.0f, 1.0f) * 255.0f + 0.5f); };
    return channel(c.w) << 24 | channel(c.x) << 16 | channel(c.y) << 8 | channel(c.z);
}

// A texture of the registry by name, loaded on first use (a missing file
// ends the game through the registry); null when it gives no record.
const strtexture* HudTexture(const char* name) {
    return g_Renderer.LoadTexture(name, 0, 0, 0);
}

} // namespace

bool EPostProcess::ShortGate() const {
    return m_bActive && TheGameFrame().LevelFrame() >= kFirstChainFrame;
}

bool EPostProcess::FrameGate() const {
    return ShortGate() && !WireFrame && DrawPostprocess;
}

void EPostProcess::BeginScene() {
    gfx::Device* d = g_pD3DInterface;
    if (!FrameGate() || !d) return;
    const Target scene = OptionMV21 && m_bHDRThisWorld && m_pSurf[HDR] ? HDR : Main;
    if (!m_pSurf[scene]) return;
    g_Renderer.RecordPass("EPostProcess::BeginScene", scene);
    ReleaseRef(m_pKeptBackBuffer);
    d->GetRenderTarget(0, &m_pKeptBackBuffer);
    d->SetRenderTarget(0, m_pSurf[scene]);
    // Every frame, to the colour the frame driver clears the back buffer
    // with: what no geometry covers shows the background, never the last
    // frame's picture (a white clear kept only until the first composed
    // frame left stale colour wherever nothing was drawn).
    ClearTargetAndDepth(g_Camera.GetBackgroundColor());
}

void EPostProcess::RestoreBackBuffer() {
    if (!m_pKeptBackBuffer) return;
    if (g_pD3DInterface) g_pD3DInterface->SetRenderTarget(0, m_pKeptBackBuffer);
    ReleaseRef(m_pKeptBackBuffer);
}

void EPostProcess::BeginDepthScene() {
    g_Renderer.RecordPass("EPostProcess::BeginDepthScene");
    gfx::Device* d = g_pD3DInterface;
    if (!FrameGate() || !d || !m_pSurf[Depth]) return;
    ReleaseRef(m_pKeptDepthTarget);
    d->GetRenderTarget(0, &m_pKeptDepthTarget);
    d->SetRenderTarget(0, m_pSurf[Depth]);
    if (!m_bDepthClearedOnce) {
        ClearTargetAndDepth(kSceneClearColor);
        m_bDepthClearedOnce = 1;
    }
}

void EPostProcess::EndDepthScene() {
    g_Renderer.RecordPass("EPostProcess::EndDepthScene");
    if (!FrameGate() || !m_pKeptDepthTarget) return;
    if (g_pD3DInterface) g_pD3DInterface->SetRenderTarget(0, m_pKeptDepthTarget);
    ReleaseRef(m_pKeptDepthTarget);
}

void EPostProcess::BeginBWScene() {
    g_Renderer.RecordPass("EPostProcess::BeginBWScene");
    gfx::Device* d = g_pD3DInterface;
    if (!ShortGate() || !d || !m_pSurf[BW]) return;
    ReleaseRef(m_pKeptBWTarget);
    ReleaseRef(m_pKeptDepthStencil);
    d->GetRenderTarget(0, &m_pKeptBWTarget);
    if (gfx::Failed(d->GetDepthStencilSurface(&m_pKeptDepthStencil))) m_pKeptDepthStencil = nullptr;
    d->SetRenderTarget(0, m_pSurf[BW]);
    d->SetDepthStencilSurface(m_pBWDepthStencil);
    ClearTargetAndDepth(PackColor(m_BWBackgroundColor));
}

void EPostProcess::EndBWScene() {
    g_Renderer.RecordPass("EPostProcess::EndBWScene");
    gfx::Device* d = g_pD3DInterface;
    if (!ShortGate() || !d) return;
    if (m_pKeptBWTarget) {
        d->SetRenderTarget(0, m_pKeptBWTarget);
        ReleaseRef(m_pKeptBWTarget);
    }
    if (m_pKeptDepthStencil) {
        d->SetDepthStencilSurface(m_pKeptDepthStencil);
        ReleaseRef(m_pKeptDepthStencil);
    }
}

void EPostProcess::RenderPostProcess() {
    if (!ShortGate()) return;
    if (!m_pTex[Main]) {
        g_Renderer.RecordPass("EPostProcess::CreatePostProcessTargets");
        CreatePostProcessTargets();
    }
    gfx::Device* d = g_pD3DInterface;
    if (!m_pTex[MotionBlur] || WireFrame || !DrawPostprocess || !d || !m_pEffect) return;
    d->SetVertexDeclaration(m_pVertexDeclaration);
    d->SetProgram(nullptr);
    d->SetFVF(0);
    ReleaseRef(m_pKeptBackBuffer);
    d->GetRenderTarget(0, &m_pKeptBackBuffer);

    RenderDistortion();
    if (OptionMV21 && m_bHDRThisWorld) {
        g_Renderer.RecordPass("EPostProcess::RenderHDR");
        RenderHDR();
    }
    RenderBloom();
    if (!OptionMV08) {
        if (!m_bMotionBlurThisFrame) {
            m_bMotionBlurHistory = 0;
            RenderToScreen();
            return;
        }
        g_Renderer.RecordPass("EPostProcess::CopyTargetToBloom2");
        Stretch(TargetTex, Bloom2);
    } else {
        RenderDoF();
    }
    if (!m_bMotionBlurThisFrame) {
        g_Renderer.RecordPass("EPostProcess::CopyBloom2ToTarget");
        Stretch(Bloom2, TargetTex);
        m_bMotionBlurHistory = 0;
    } else {
        RenderMotionBlur();
    }
    RenderToScreen();
}

void EPostProcess::RenderDistortion() {
    gfx::Device* d = g_pD3DInterface;
    if (!ShortGate() || !d || !m_pSurf[Distortion]) return;
    g_Renderer.RecordPass("EPostProcess::RenderDistortion");
    gfx::Surface* kept = nullptr;
    d->GetRenderTarget(0, &kept);
    d->SetRenderTarget(0, m_pSurf[Distortion]);
    d->Clear(0, nullptr, gfx::clear::Target, kFlatNormal, 1.0f, 0);
    // The particle effects draw their distortion normals here once they
    // exist; until then the target stays flat.
    if (kept) {
        d->SetRenderTarget(0, kept);
        kept->Release();
    }
}

void EPostProcess::RenderBloom() {
    g_Renderer.RecordPass("EPostProcess::RenderBloom");
    effect::Effect* e = m_pEffect;
    e->SetFloat(m_h.g_fBloomCone, m_fBloomCone);
    e->SetFloat(m_h.g_fBloomPower, m_fBloomPower);
    e->SetTexture(m_h.tSceneColor, m_pTex[Main]);
    DrawInto(Bloom1, m_h.DownFilter);
    e->SetTexture(m_h.tSceneColor, m_pTex[Bloom1]);
    DrawInto(Bloom0, m_h.BrightPass);
    e->SetTexture(m_h.tSceneColor, m_pTex[Bloom0]);
    DrawInto(Bloom1, m_h.BloomHorizontal);
    e->SetTexture(m_h.tSceneColor, m_pTex[Bloom1]);
    DrawInto(Bloom0, m_h.BloomVertical);
    e->SetTexture(m_h.tSceneColor, m_pTex[Main]);
    e->SetTexture(m_h.tBloomBlur, m_pTex[Bloom0]);
    DrawInto(TargetTex, m_h.Combine);
}

void EPostProcess::RenderDoF() {
    g_Renderer.RecordPass("EPostProcess::RenderDoF");
    effect::Effect* e = m_pEffect;
    e->SetTexture(m_h.tSceneColor, m_pTex[TargetTex]);
    e->SetTexture(m_h.tBlurDepth, m_pTex[Depth]);
    e->SetFloat(m_h.maxCoC, m_fMaxCoC * 0.5f);
    DrawInto(Bloom2, m_h.FilterDoF);
}

void EPostProcess::RenderMotionBlur() {
    if (m_bMotionBlurHistory) {
        g_Renderer.RecordPass("EPostProcess::RenderMotionBlur");
        effect::Effect* e = m_pEffect;
        e->SetTexture(m_h.tSceneColor, m_pTex[Bloom2]);
        e->SetTexture(m_h.tBloomBlur, m_pTex[MotionBlur]);
        const float strength = m_fMotionBlurTime > 0.0f ? m_fMotionBlurTime : MotionBlurOption;
        e->SetFloat(m_h.fMotionBlurCoef, kMotionBlurScale * strength);
        DrawInto(TargetTex, m_h.MotionBlur);
        m_fMotionBlurTime = std::max(0.0f, m_fMotionBlurTime - kMotionBlurFall * g_Engine.m_fFrameTime);
    } else {
        g_Renderer.RecordPass("EPostProcess::CopyBloom2ToTarget");
        Stretch(Bloom2, TargetTex);
    }
    g_Renderer.RecordPass("EPostProcess::CopyTargetToMotionBlur");
    Stretch(TargetTex, MotionBlur);
    m_bMotionBlurHistory = 1;
}

float EPostProcess::Saturation() const {
    const PostProcessGameState game = TheWorldHooks().PostProcessGame();
    float saturation = 1.0f;
    if (!WideScreen && !g_Engine.m_bScriptedCamera && !TheGameFrame().MenuOpen() &&
        game.fPlayerMaxHealth > 0.0f) {
        // Health below 0 (a dead player) is as grey as 0.
        saturation = std::clamp(kHealthSaturation * game.fPlayerHealth / game.fPlayerMaxHealth, 0.0f, 1.0f);
    }
    if (m_bMonochromatic) saturation = kMonochromeSaturation;
    if (game.bCutSceneBlackWhite) saturation = kMonochromeSaturation;
    return saturation;
}

void EPostProcess::RenderToScreen() {
    g_Renderer.RecordPass("EPostProcess::RenderToScreen");
    gfx::Device* d = g_pD3DInterface;
    effect::Effect* e = m_pEffect;
    if (m_pKeptBackBuffer) d->SetRenderTarget(0, m_pKeptBackBuffer);
    ReleaseRef(m_pKeptBackBuffer);
    if (!m_h.ToScreen || gfx::Failed(e->SetTechnique(m_h.ToScreen))) return;
    d->SetFVF(0);
    d->SetVertexDeclaration(m_pVertexDeclaration);
    uint32_t passes = 0;
    if (gfx::Failed(e->Begin(&passes, 0))) return;
    e->SetTexture(m_h.tSceneColor, m_pTex[TargetTex]);
    e->SetTexture(m_h.tDistortionNormal, m_pTex[Distortion]);
    auto byName = [e](const char* name) { return e->GetParameterByName(effect::Handle(), name); };
    if (m_bBWOn) {
        e->SetTexture(m_h.tBW, m_pTex[BW]);
        e->SetBool(byName("g_bBW"), true);
    } else {
        e->SetBool(byName("g_bBW"), false);
    }
    e->SetFloat(byName("g_fBW"), Saturation());
    e->SetFloat(byName("g_fRed"), kRedTintScale * m_fRedTintTime);
    m_fRedTintTime = std::max(0.0f, m_fRedTintTime - g_Engine.m_fFrameTime);
    if (!m_bHudLooked) {
        m_pHud[0] = HudTexture("hud_vignetting.tga");
        m_pHud[1] = HudTexture("hud_vignetting_light.tga");
        m_pHud[2] = HudTexture("hud_ekran_krwi_16.tga");
        m_bHudLooked = 1;
    }
    if (m_pHud[0]) e->SetTexture(byName("tW"), m_pHud[0]->pTexture);
    if (m_pHud[1]) e->SetTexture(byName("tWL"), m_pHud[1]->pTexture);
    const strtexture* blood = m_pHud[2];
    if (m_fEK > 0.0f && blood) {
        e->SetFloat(byName("fEK"), m_fEK);
        e->SetTexture(byName("tEK"), blood->pTexture);
    } else {
        e->SetFloat(byName("fEK"), 0.0f);
    }
    e->CommitChanges();
    DrawPasses(passes);
    e->End();
}
