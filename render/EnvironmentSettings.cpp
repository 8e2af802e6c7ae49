#include "render/EnvironmentSettings.h"

#include "app/Console.h"
#include "app/D3DMain.h"
#include "app/FileHelpers.h"
#include "app/Options.h"
#include "app/Orientation.h"
#include "platform/gfx/Draw.h"
#include "platform/math/Math.h"
#include "platform/os/Number.h"
#include "render/Mesh.h"
#include "render/MeshMgr.h"
#include "render/PostProcess.h"
#include "render/RenderStateCache.h"
#include "render/Renderer.h"
#include "render/SkyShadowMap.h"
#include "world/Camera.h"
#include "world/Engine.h"
#include "world/ObjectRecord.h"

EnvironmentSettings g_EnvironmentSettings;

namespace {

// Replaces the channel at `shift` of a packed colour (channel rule above).
uint32_t WithChannel(uint32_t color, float value, int shift) {
    // A value from data may be beyond any integer: cut to the int range first.
    uint32_t channel = uint32_t(os::ClampToInt(value)) & 0xFFu;
    uint32_t rgb = color & 0x00FFFFFFu;
    return (rgb & ~(0xFFu << shift)) | (channel << shift);
}

// The samplers and texture stages the sky resets (the fixed-function ones).
constexpr uint32_t SKY_STAGES = 8;

} // namespace

void EnvironmentSettings::SetAmbientColor(uint32_t color, int index) {
    m_dwAmbient[Index(index)] = color;
}
void EnvironmentSettings::SetAmbientR(float v, int i) {
    m_dwAmbient[Index(i)] = WithChannel(m_dwAmbient[Index(i)], v, 16);
}
void EnvironmentSettings::SetAmbientG(float v, int i) {
    m_dwAmbient[Index(i)] = WithChannel(m_dwAmbient[Index(i)], v, 8);
}
void EnvironmentSettings::SetAmbientB(float v, int i) {
    m_dwAmbient[Index(i)] = WithChannel(m_dwAmbient[Index(i)], v, 0);
}

void EnvironmentSettings::SetFogColor(uint32_t color, int index) {
    index = Index(index);
    m_dwFogColor[index] = color;
    g_Camera.SetBackgroundColor(color);
    if (index == 0) {
        g_Console.StoreVariable("FogR", float((color >> 16) & 0xFF), 0);
        g_Console.StoreVariable("FogG", float((color >> 8) & 0xFF), 0);
        g_Console.StoreVariable("FogB", float(color & 0xFF), 0);
    }
}

void EnvironmentSettings::GetFogColor(uint32_t* color, int index) const {
    if (color) *color = m_dwFogColor[Index(index)];
}
void EnvironmentSettings::SetFogR(float v, int i) {
    SetFogColor(WithChannel(m_dwFogColor[Index(i)], v, 16), i);
}
void EnvironmentSettings::SetFogG(float v, int i) {
    SetFogColor(WithChannel(m_dwFogColor[Index(i)], v, 8), i);
}
void EnvironmentSettings::SetFogB(float v, int i) {
    SetFogColor(WithChannel(m_dwFogColor[Index(i)], v, 0), i);
}
void EnvironmentSettings::GetFogFar(float* value, int index) const {
    if (value) *value = m_fFogFar[Index(index)];
}
void EnvironmentSettings::GetFogNear(float* value, int index) const {
    if (value) *value = m_fFogNear[Index(index)];
}

void EnvironmentSettings::GetSkyLightColor(uint32_t* color) const {
    if (color) *color = m_dwSkyLightColor;
}
void EnvironmentSettings::SetSkyLightR(float v) {
    m_dwSkyLightColor = WithChannel(m_dwSkyLightColor, v, 16);
}
void EnvironmentSettings::SetSkyLightG(float v) {
    m_dwSkyLightColor = WithChannel(m_dwSkyLightColor, v, 8);
}
void EnvironmentSettings::SetSkyLightB(float v) {
    m_dwSkyLightColor = WithChannel(m_dwSkyLightColor, v, 0);
}

void EnvironmentSettings::SetSkyLightDirection(const float* d) {
    if (!d) return;
    for (int i = 0; i < 3; ++i)
        m_vSkyLightDirection[i] = d[i];
}

void EnvironmentSettings::SetLensFlareDirection(const float* d) {
    if (!d) return;
    for (int i = 0; i < 3; ++i)
        m_vLensFlareDirection[i] = d[i];
}

void EnvironmentSettings::SetBloom(float cone, float power) {
    g_PostProcess.m_fBloomCone = cone;
    g_PostProcess.m_fBloomPower = power;
}

void EnvironmentSettings::DirectionFromAngles(float rotationDegrees, float pitchDegrees, float* direction) {
    orientation o;
    o.InitYawPitchRoll(rotationDegrees * math::kPi / 180.0f, pitchDegrees * math::kPi / 180.0f, 0.0f);
    direction[0] = o.forward.x;
    direction[1] = o.forward.y;
    direction[2] = o.forward.z;
}

void EnvironmentSettings::SetSkyLightProjector(int size, int distance1, int distance2, float bias) {
    g_SkyShadowMap.SetProjector(0, size, distance1, distance2, bias);
}

void EnvironmentSettings::GetSkyLightProjector(int* size, int* distance1, int* distance2, float* bias) {
    g_SkyShadowMap.GetProjector(0, size, distance1, distance2, bias);
}

ObjectRecord* EnvironmentSettings::CreateSkyObject(const char* fileName) {
    DeleteSkyObject();
    // Far away and hidden (no visible bit): only the sky drawer shows it.
    const float position[3] = {1.0e11f, 1.0e11f, 1.0e11f};
    m_hSkyObject = g_Engine.CreateObject(0, fileName, 0x80, 0, position, nullptr);
    return m_hSkyObject;
}

void EnvironmentSettings::DeleteSkyObject() {
    if (m_hSkyObject) g_Engine.DeleteObject(m_hSkyObject);
    m_hSkyObject = nullptr;
}

void EnvironmentSettings::RenderSky(const math::Matrix* seenWith) {
    if (!g_Engine.m_bWorldShown || !DrawSky || !m_hSkyObject) return;
    const EMesh* sky = m_hSkyObject->Mesh();
    if (!sky) return;
    mesh::Mesh* geometry = g_MeshMgr.GetD3DXMesh(sky->m_iMeshId);
    if (!geometry) {
        g_Console.Print("Nie ma mesha nieba");
        return;
    }
    gfx::Device* d = g_pD3DInterface;
    if (!d) return;
    using gfx::RenderState;
    using gfx::SamplerState;
    using gfx::StateValue;
    using gfx::TextureOp;
    using gfx::TextureStageState;
    namespace texarg = gfx::texarg;

    // Sharpest mip level and plain filtering, every stage off.
    d->SetProgram(nullptr);
    for (uint32_t s = 0; s < SKY_STAGES; ++s) {
        d->SetSamplerState(s, SamplerState::MipMapLodBias, gfx::FloatState(-2000.0f));
        d->SetSamplerState(s, SamplerState::MagFilter, StateValue(gfx::TextureFilter::Linear));
        d->SetSamplerState(s, SamplerState::MinFilter, StateValue(gfx::TextureFilter::Linear));
        d->SetSamplerState(s, SamplerState::MipFilter, StateValue(gfx::TextureFilter::Linear));
        d->SetSamplerState(s, SamplerState::MaxAnisotropy, 0);
        d->SetTextureStageState(s, TextureStageState::ColorOp, StateValue(TextureOp::Disable));
        d->SetTextureStageState(s, TextureStageState::AlphaOp, StateValue(TextureOp::Disable));
    }
    g_RenderStateCache.SetCullMode(false);

    // The camera's rotation without its translation: the sky stays centred
    // on the eye however far the eye moves.
    math::Matrix keptView;
    d->GetTransform(gfx::TransformState::View, &keptView);
    math::Matrix view = seenWith ? *seenWith : g_Camera.View();
    view.m[3][0] = view.m[3][1] = view.m[3][2] = 0.0f;
    d->SetTransform(gfx::TransformState::View, view);

    d->SetRenderState(RenderState::ZEnable, 1);
    d->SetRenderState(RenderState::ZWriteEnable, 0);
    d->SetTextureStageState(0, TextureStageState::TexCoordIndex, 0);
    d->SetRenderState(RenderState::AlphaBlendEnable, 0);
    d->SetTextureStageState(0, TextureStageState::ColorOp, StateValue(TextureOp::SelectArg1));
    d->SetTextureStageState(0, TextureStageState::ColorArg1, texarg::Texture);
    d->SetTextureStageState(0, TextureStageState::ColorArg2, texarg::Diffuse);
    d->SetTextureStageState(0, TextureStageState::AlphaOp, StateValue(TextureOp::Disable));
    d->SetTextureStageState(1, TextureStageState::ColorOp, StateValue(TextureOp::Disable));

    d->SetProgram(nullptr);
    d->SetVertexDeclaration(g_pVertexDeclarations[0]);
    d->SetTransform(gfx::TransformState::World, math::Matrix::Identity());

    if (!WireFrame) {
        for (uint32_t s = 0; s < sky->m_dwNumSubsets; ++s) {
            if (!sky->m_bNonEmpty[s]) continue;
            const strtexture* t = g_Renderer.GetTexture(sky->m_dwTextureId[s]);
            if (!t) continue;
            if (t->desc.bTranslucent || t->desc.bTransparent) {
                d->SetRenderState(RenderState::AlphaBlendEnable, 1);
                d->SetRenderState(RenderState::SrcBlend, StateValue(gfx::Blend::SrcAlpha));
                d->SetRenderState(RenderState::DestBlend, StateValue(gfx::Blend::InvSrcAlpha));
                d->SetRenderState(RenderState::BlendOp, StateValue(gfx::BlendOp::Add));
                if (t->desc.bTranslucent) {
                    d->SetRenderState(RenderState::AlphaTestEnable, 0);
                    d->SetRenderState(RenderState::AlphaRef, 0);
                    d->SetRenderState(RenderState::AlphaFunc, StateValue(gfx::Cmp::Always));
                } else {
                    d->SetRenderState(RenderState::AlphaTestEnable, 1);
                    d->SetRenderState(RenderState::AlphaRef, 128);
                    d->SetRenderState(RenderState::AlphaFunc, StateValue(gfx::Cmp::GreaterEqual));
                }
                d->SetTextureStageState(0, TextureStageState::AlphaOp, StateValue(TextureOp::Modulate));
                d->SetTextureStageState(0, TextureStageState::AlphaArg1, texarg::Texture);
                d->SetTextureStageState(0, TextureStageState::AlphaArg2, texarg::Diffuse);
                d->SetTextureStageState(0, TextureStageState::ColorOp, StateValue(TextureOp::Modulate));
                d->SetTextureStageState(0, TextureStageState::ColorArg1, texarg::Texture);
                d->SetTextureStageState(0, TextureStageState::ColorArg2, texarg::Diffuse);
            } else {
                // The stages stay as the previous subset left them.
                d->SetRenderState(RenderState::AlphaBlendEnable, 0);
                d->SetRenderState(RenderState::AlphaTestEnable, 0);
            }
            g_Renderer.SetTexture(0, sky->m_dwTextureId[s]);
            geometry->DrawSubset(s);
        }
    }

    d->SetRenderState(RenderState::AlphaBlendEnable, 0);
    d->SetRenderState(RenderState::AlphaTestEnable, 0);
    d->SetTransform(gfx::TransformState::View, keptView);
    d->SetRenderState(RenderState::ZEnable, 1);
    d->SetRenderState(RenderState::ZWriteEnable, 1);
    for (uint32_t s = 0; s < SKY_STAGES; ++s)
        d->SetSamplerState(s, SamplerState::MipMapLodBias, gfx::FloatState(-1.0f));
}

// Near distances go before far ones in the block, the reverse of memory.
static_assert(EnvironmentSettings::SAVE_BLOCK_SIZE ==
              4 * (4 * EnvironmentSettings::NUM_SETS) + 1 + 4 + 4 + 12 + 12);

void EnvironmentSettings::Save(std::FILE* f) const {
    if (!f) return;
    for (uint32_t color : m_dwAmbient)
        FileWrite32(f, color);
    for (uint32_t color : m_dwFogColor)
        FileWrite32(f, color);
    for (float distance : m_fFogNear)
        FileWrite32(f, distance);
    for (float distance : m_fFogFar)
        FileWrite32(f, distance);
    FileWriteBool(f, m_bFogEnabled);
    FileWrite32(f, SkyLightPower);
    FileWrite32(f, m_dwSkyLightColor);
    FileWriteVector(f, m_vSkyLightDirection);
    FileWriteVector(f, m_vLensFlareDirection);
}

void EnvironmentSettings::Load(std::FILE* f) {
    if (!f) return;
    for (uint32_t& color : m_dwAmbient)
        FileRead32(f, &color);
    for (uint32_t& color : m_dwFogColor)
        FileRead32(f, &color);
    for (float& distance : m_fFogNear)
        FileRead32(f, &distance);
    for (float& distance : m_fFogFar)
        FileRead32(f, &distance);
    FileReadBool(f, &m_bFogEnabled);
    FileRead32(f, &SkyLightPower);
    FileRead32(f, &m_dwSkyLightColor);
    FileReadVector(f, m_vSkyLightDirection);
    FileReadVector(f, m_vLensFlareDirection);
}
