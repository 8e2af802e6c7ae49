#include "render/RenderStateCache.h"

#include <algorithm>

#include "app/D3DMain.h"
#include "app/VideoConfig.h"
#include "platform/gfx/Draw.h"
#include "render/EffectMgr.h"

ERenderStateCache g_RenderStateCache;

namespace {

using gfx::RenderState;
using gfx::StateValue;

constexpr uint32_t kMaxStages = 16;

const bool* g_pBestFiltering = nullptr;
float g_fSamplerBias = 0.0f;

void SetState(RenderState s, uint32_t v) {
    if (g_pD3DInterface) g_pD3DInterface->SetRenderState(s, v);
}

void SetEffectBool(EffectRecord* effect, effect::Handle EffectRecord::*handle, bool value) {
    if (effect && effect->pEffect) effect->pEffect->SetBool(effect->*handle, value);
}

// Blending of both alpha modes: source alpha over inverse source alpha.
void BlendOn() {
    SetState(RenderState::AlphaBlendEnable, 1);
    SetState(RenderState::SrcBlend, StateValue(gfx::Blend::SrcAlpha));
    SetState(RenderState::DestBlend, StateValue(gfx::Blend::InvSrcAlpha));
    SetState(RenderState::BlendOp, StateValue(gfx::BlendOp::Add));
}

} // namespace

bool ERenderStateCache::BeginTechnique(EffectRecord* effect, effect::Handle technique, bool reset) {
    if (!effect || !effect->pEffect) return false;
    if (m_bTechniqueBegun) EndTechnique(effect);
    if (g_pD3DInterface) {
        g_pD3DInterface->SetProgram(nullptr);
        g_pD3DInterface->SetFVF(0);
    }
    effect::Effect* e = effect->pEffect;
    if (e->SetTechnique(technique) != gfx::Result::Ok) return false;
    m_hCurrentTechnique = technique;
    uint32_t passes = 0;
    if (e->Begin(&passes, 0) != gfx::Result::Ok) return false;
    if (e->BeginPass(0) != gfx::Result::Ok) {
        // Begun without a pass: ended here, so no technique stays open.
        e->End();
        return false;
    }
    m_bTechniqueBegun = true;
    if (reset) m_bTransparentOn = false;
    return true;
}

bool ERenderStateCache::BeginTechniqueByName(EffectRecord* effect, const char* name, bool reset) {
    if (!effect || !effect->pEffect) return false;
    return BeginTechnique(effect, effect->pEffect->GetTechniqueByName(name), reset);
}

void ERenderStateCache::EndTechnique(EffectRecord* effect) {
    if (!effect || !effect->pEffect || !m_bTechniqueBegun) return;
    effect->pEffect->EndPass();
    effect->pEffect->End();
    m_bTechniqueBegun = false;
    m_hCurrentTechnique = effect::Handle();
}

void ERenderStateCache::ResetCullMode() {
    SetState(RenderState::CullMode, StateValue(gfx::Cull::Ccw));
    m_bCullOn = true;
}

void ERenderStateCache::SetCullMode(bool on) {
    if (on == m_bCullOn) return;
    m_bCullOn = on;
    SetState(RenderState::CullMode, StateValue(on ? gfx::Cull::Ccw : gfx::Cull::None));
}

void ERenderStateCache::BeginTransparent(EffectRecord* effect) {
    if (m_bTranslucentOn) EndTranslucent(effect);
    BlendOn();
    SetState(RenderState::AlphaRef, 128);
    SetState(RenderState::AlphaTestEnable, 1);
    SetState(RenderState::AlphaFunc, StateValue(gfx::Cmp::GreaterEqual));
    SetEffectBool(effect, &EffectRecord::g_bDrawTransparent, true);
    m_bTransparentOn = true;
}

void ERenderStateCache::EndTransparent(EffectRecord* effect) {
    SetState(RenderState::AlphaBlendEnable, 0);
    SetState(RenderState::AlphaTestEnable, 0);
    SetEffectBool(effect, &EffectRecord::g_bDrawTransparent, false);
    SetState(RenderState::AlphaFunc, StateValue(gfx::Cmp::Always));
    m_bTransparentOn = false;
}

void ERenderStateCache::BeginTranslucent(EffectRecord* effect) {
    if (m_bTransparentOn) EndTransparent(effect);
    BlendOn();
    SetState(RenderState::AlphaRef, 0);
    SetState(RenderState::AlphaTestEnable, 0);
    SetState(RenderState::AlphaFunc, StateValue(gfx::Cmp::Always));
    SetEffectBool(effect, &EffectRecord::g_bDrawTranslucent, true);
    if (g_pD3DInterface) g_pD3DInterface->GetRenderState(RenderState::ZWriteEnable, &m_dwSavedZWrite);
    SetState(RenderState::ZWriteEnable, 0);
    m_bTranslucentOn = true;
}

void ERenderStateCache::EndTranslucent(EffectRecord* effect) {
    SetState(RenderState::AlphaBlendEnable, 0);
    SetState(RenderState::AlphaTestEnable, 0);
    SetEffectBool(effect, &EffectRecord::g_bDrawTranslucent, false);
    if (m_bTranslucentOn) SetState(RenderState::ZWriteEnable, m_dwSavedZWrite);
    m_bTranslucentOn = false;
}

void ERenderStateCache::SetTexture(uint32_t stage, gfx::Texture* texture) {
    if (stage >= kMaxStages || !g_pD3DInterface) return;
    g_pD3DInterface->SetTexture(stage, texture);
}

void ERenderStateCache::SetCubeTexture(uint32_t stage, gfx::CubeTexture* texture) {
    if (stage >= kMaxStages || !g_pD3DInterface) return;
    g_pD3DInterface->SetTexture(stage, texture);
}

float CurrentSamplerBias() {
    return g_fSamplerBias;
}

void SetBestFilteringOption(const bool* option) {
    g_pBestFiltering = option;
}

void SetSamplerFilters(uint32_t count, bool strong) {
    count = std::min(count, kMaxStages);
    if (!g_pD3DInterface) return;
    const bool best = g_pBestFiltering && *g_pBestFiltering;
    const gfx::TextureFilter filter =
        best || FilterLevel == 0 ? gfx::TextureFilter::Anisotropic : gfx::TextureFilter::Linear;
    float bias = best || FilterLevel < 2 ? (strong ? -1.0f : -0.1f) : 0.0f;
    if (UsePS20) bias = 0.0f;
    g_fSamplerBias = bias;
    for (uint32_t i = 0; i < count; ++i) {
        gfx::Device* d = g_pD3DInterface;
        d->SetSamplerState(i, gfx::SamplerState::MipMapLodBias, gfx::FloatState(bias));
        d->SetSamplerState(i, gfx::SamplerState::MinFilter, StateValue(filter));
        d->SetSamplerState(i, gfx::SamplerState::MagFilter, StateValue(filter));
        d->SetSamplerState(i, gfx::SamplerState::MipFilter, StateValue(filter));
        d->SetSamplerState(i, gfx::SamplerState::MaxAnisotropy, 4);
        d->SetSamplerState(i, gfx::SamplerState::AddressU, StateValue(gfx::TextureAddress::Wrap));
        d->SetSamplerState(i, gfx::SamplerState::AddressV, StateValue(gfx::TextureAddress::Wrap));
    }
}
