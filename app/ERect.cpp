#include "app/ERect.h"

#include <algorithm>
#include <cstring>

#include "app/Console.h"
#include "app/D3DMain.h"
#include "app/Debug.h"
#include "platform/gfx/Draw.h"
#include "render/Renderer.h"

using gfx::RenderState;
using gfx::SamplerState;
using gfx::TextureStageState;

namespace {

constexpr uint32_t kVertexBytes = 6 * sizeof(ScreenVertex);

void Stage0(TextureStageState s, uint32_t* v, bool save) {
    if (save) {
        g_pD3DInterface->GetTextureStageState(0, s, v);
    } else {
        g_pD3DInterface->SetTextureStageState(0, s, *v);
    }
}
void State(RenderState s, uint32_t* v, bool save) {
    if (save) {
        g_pD3DInterface->GetRenderState(s, v);
    } else {
        g_pD3DInterface->SetRenderState(s, *v);
    }
}

// The 16 states in their order; `save` reads them, else writes them back.
void Transfer(uint32_t* v, bool save) {
    State(RenderState::AlphaBlendEnable, &v[0], save);
    Stage0(TextureStageState::AlphaArg1, &v[1], save);
    Stage0(TextureStageState::AlphaArg2, &v[2], save);
    Stage0(TextureStageState::AlphaOp, &v[3], save);
    Stage0(TextureStageState::ColorArg1, &v[4], save);
    Stage0(TextureStageState::ColorArg2, &v[5], save);
    Stage0(TextureStageState::ColorOp, &v[6], save);
    State(RenderState::SrcBlend, &v[7], save);
    State(RenderState::DestBlend, &v[8], save);
    State(RenderState::BlendOp, &v[9], save);
    State(RenderState::AlphaRef, &v[10], save);
    State(RenderState::AlphaTestEnable, &v[11], save);
    State(RenderState::AlphaFunc, &v[12], save);
    State(RenderState::CullMode, &v[13], save);
    State(RenderState::ZWriteEnable, &v[14], save);
    State(RenderState::ZEnable, &v[15], save);
}

uint32_t Op(gfx::TextureOp op) {
    return gfx::StateValue(op);
}

} // namespace

void Saved2DStates::Save() {
    if (g_pD3DInterface) Transfer(values, true);
}

void Saved2DStates::Restore() const {
    if (!g_pD3DInterface) return;
    uint32_t copy[16];
    std::memcpy(copy, values, sizeof copy);
    Transfer(copy, false);
}

ERect::ERect()
    : m_dwFVF(SCREEN_FVF), m_bCreated(0), m_dwTextureId(0), m_pVB(nullptr), m_fLeft(0), m_fTop(0),
      m_fRight(0), m_fBottom(0), m_dwColor(0) {
    g_Debug.AddAllocation("::ERect");
}

ERect::~ERect() {
    Release();
    g_Debug.RemoveAllocation("::ERect");
}

void ERect::Release() {
    if (m_pVB) {
        m_pVB->Release();
        g_Debug.RemoveAllocation("ERectVB");
    }
    m_pVB = nullptr;
    m_bCreated = 0;
}

void ERect::Create(const char* textureName, float left, float top, float right, float bottom,
                   uint32_t color) {
    Release();
    m_dwTextureId = g_Renderer.GetTextureIdByName(textureName, 0, 0, 0);
    if (m_dwTextureId == 0) return;
    m_fLeft = left;
    m_fTop = top;
    m_fRight = right;
    m_fBottom = bottom;
    m_dwColor = color;
    if (!g_pD3DInterface ||
        g_pD3DInterface->CreateVertexBuffer(kVertexBytes, gfx::usage::WriteOnly, m_dwFVF, gfx::Pool::Managed,
                                            &m_pVB) != gfx::Result::Ok) {
        m_pVB = nullptr;
        return;
    }
    g_Debug.AddAllocation("ERectVB");
    m_bCreated = 1;
    UpdateVertices();
}

void ERect::SetRect(float left, float top, float right, float bottom) {
    if (!m_bCreated) return;
    m_fLeft = left;
    m_fTop = top;
    m_fRight = right;
    m_fBottom = bottom;
    UpdateVertices();
}

void ERect::SetColor(uint32_t color) {
    m_dwColor = color;
    UpdateVertices();
}

void ERect::SetAlpha(float alpha) {
    alpha = std::clamp(alpha, 0.0f, 1.0f);
    m_dwColor = (m_dwColor & 0x00FFFFFF) | uint32_t(alpha * 255.0f) << 24;
    UpdateVertices();
}

void ERect::UpdateVertices() {
    if (!m_bCreated) return;
    void* data = nullptr;
    if (m_pVB->Lock(0, 0, &data, 0) != gfx::Result::Ok) {
        g_Console.Print("Failed to lock ERect VB!");
        return;
    }
    const uint32_t c = m_dwColor;
    const ScreenVertex v[6] = {
        {m_fLeft, m_fTop, 1.0f, 1.0f, c, 0, 0},     {m_fLeft, m_fBottom, 1.0f, 1.0f, c, 0, 1},
        {m_fRight, m_fBottom, 1.0f, 1.0f, c, 1, 1}, {m_fRight, m_fBottom, 1.0f, 1.0f, c, 1, 1},
        {m_fRight, m_fTop, 1.0f, 1.0f, c, 1, 0},    {m_fLeft, m_fTop, 1.0f, 1.0f, c, 0, 0},
    };
    std::memcpy(data, v, sizeof v);
    m_pVB->Unlock();
}

void ERect::SetQuad(float x0, float y0, float x1, float y1, float x2, float y2, float x3, float y3, float u0,
                    float u1, float v0, float v1, float z) {
    if (!m_bCreated) return;
    void* data = nullptr;
    if (m_pVB->Lock(0, 0, &data, 0) != gfx::Result::Ok) return;
    const uint32_t c = m_dwColor;
    const ScreenVertex tl = {x0, y0, z, z, c, u0, v0}, tr = {x1, y1, z, z, c, u1, v0},
                       br = {x2, y2, z, z, c, u1, v1}, bl = {x3, y3, z, z, c, u0, v1};
    const ScreenVertex v[6] = {tl, br, bl, tl, tr, br};
    std::memcpy(data, v, sizeof v);
    m_pVB->Unlock();
}

bool ERect::ReadVertices(ScreenVertex out[6]) const {
    if (!m_bCreated) return false;
    void* data = nullptr;
    if (m_pVB->Lock(0, 0, &data, gfx::lock::ReadOnly) != gfx::Result::Ok) return false;
    std::memcpy(out, data, kVertexBytes);
    m_pVB->Unlock();
    return true;
}

void ERect::Render(bool bindTexture) {
    if (!m_bCreated || !g_pD3DInterface) return;
    if (bindTexture) g_Renderer.SetTexture(0, m_dwTextureId);
    g_pD3DInterface->SetStreamSource(0, m_pVB, 0, sizeof(ScreenVertex));
    g_pD3DInterface->DrawPrimitive(gfx::PrimitiveType::TriangleList, 0, 2);
}

void SetStage0Modulate(bool additive) {
    gfx::Device* d = g_pD3DInterface;
    if (!d) return;
    d->SetTextureStageState(0, TextureStageState::ColorOp, Op(gfx::TextureOp::Modulate));
    d->SetTextureStageState(0, TextureStageState::ColorArg1, gfx::texarg::Texture);
    d->SetTextureStageState(0, TextureStageState::ColorArg2,
                            additive ? gfx::texarg::Current : gfx::texarg::Diffuse);
    d->SetTextureStageState(0, TextureStageState::AlphaOp, Op(gfx::TextureOp::Modulate));
    d->SetTextureStageState(0, TextureStageState::AlphaArg1, gfx::texarg::Texture);
    d->SetTextureStageState(0, TextureStageState::AlphaArg2, gfx::texarg::Diffuse);
}

void SetScreenQuadRaster() {
    gfx::Device* d = g_pD3DInterface;
    if (!d) return;
    d->SetRenderState(RenderState::BlendOp, gfx::StateValue(gfx::BlendOp::Add));
    d->SetRenderState(RenderState::AlphaRef, 6);
    d->SetRenderState(RenderState::AlphaTestEnable, 1);
    d->SetRenderState(RenderState::AlphaFunc, gfx::StateValue(gfx::Cmp::GreaterEqual));
    d->SetRenderState(RenderState::CullMode, gfx::StateValue(gfx::Cull::None));
    d->SetRenderState(RenderState::ZWriteEnable, 0);
    d->SetRenderState(RenderState::ZEnable, 0);
}

void SetScreenQuadStates(bool additive, bool alphaTest, uint32_t fvf) {
    gfx::Device* d = g_pD3DInterface;
    if (!d) return;
    const uint32_t linear = gfx::StateValue(gfx::TextureFilter::Linear);
    for (uint32_t s = 0; s < 2; ++s) {
        d->SetSamplerState(s, SamplerState::MagFilter, linear);
        d->SetSamplerState(s, SamplerState::MinFilter, linear);
        d->SetSamplerState(s, SamplerState::MipFilter, linear);
    }
    d->SetRenderState(RenderState::AlphaBlendEnable, 1);
    SetStage0Modulate(additive);
    d->SetRenderState(RenderState::SrcBlend,
                      gfx::StateValue(additive ? gfx::Blend::SrcColor : gfx::Blend::SrcAlpha));
    d->SetRenderState(RenderState::DestBlend,
                      gfx::StateValue(additive ? gfx::Blend::One : gfx::Blend::InvSrcAlpha));
    SetScreenQuadRaster();
    if (!alphaTest) d->SetRenderState(RenderState::AlphaTestEnable, 0);
    for (uint32_t s = 1; s < gfx::TextureStageCount; ++s) {
        d->SetTextureStageState(s, TextureStageState::ColorOp, Op(gfx::TextureOp::Disable));
        d->SetTextureStageState(s, TextureStageState::AlphaOp, Op(gfx::TextureOp::Disable));
    }
    // The layer draws pre-transformed vertices with its fixed-function
    // program: choosing the vertex format is all that selects it.
    d->SetFVF(fvf);
}

void ERect::BeginRender2D(bool additive) {
    if (!g_pD3DInterface) return;
    m_SavedStates.Save();
    SetScreenQuadStates(additive, true, m_dwFVF);
}

void ERect::EndRender2D() {
    m_SavedStates.Restore();
}

void ERect::RenderStandalone(bool bindTexture, bool blend) {
    gfx::Device* d = g_pD3DInterface;
    if (!m_bCreated || !d) return;
    Saved2DStates saved;
    saved.Save();
    d->SetRenderState(RenderState::AlphaBlendEnable, blend ? 1 : 0);
    if (blend) {
        d->SetTextureStageState(0, TextureStageState::AlphaOp, Op(gfx::TextureOp::SelectArg1));
        d->SetTextureStageState(0, TextureStageState::AlphaArg1, gfx::texarg::Texture);
    } else {
        d->SetTextureStageState(0, TextureStageState::AlphaOp, Op(gfx::TextureOp::Disable));
    }
    d->SetTextureStageState(0, TextureStageState::ColorOp, Op(gfx::TextureOp::SelectArg1));
    d->SetTextureStageState(0, TextureStageState::ColorArg1, gfx::texarg::Texture);
    d->SetRenderState(RenderState::SrcBlend, gfx::StateValue(gfx::Blend::SrcAlpha));
    d->SetRenderState(RenderState::DestBlend, gfx::StateValue(gfx::Blend::InvSrcAlpha));
    SetScreenQuadRaster();
    d->SetFVF(m_dwFVF);
    Render(bindTexture);
    saved.Restore();
}
