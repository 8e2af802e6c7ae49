#include "app/TTFont.h"

#include <cmath>
#include <cstring>

#include "app/Console.h"
#include "app/D3DMain.h"
#include "app/ERect.h"
#include "app/FocusMgr.h"
#include "app/Options.h"
#include "platform/gfx/Draw.h"

TTFont g_TTFont;

namespace {

const bool g_Registered =
    (RegisterDeviceHook(
         DeviceHook::TTFonts, [] { g_TTFont.OnLostDevice(); }, [] { g_TTFont.OnResetDevice(); }),
     true);

// Glyph quads of one draw call; longer texts go in several calls.
constexpr uint32_t kBatchGlyphs = 256;
ScreenVertex g_Batch[kBatchGlyphs * 6];

struct FontDesc {
    const char* family;
};
const FontDesc kFaces[3] = {{"Tahoma"}, {"Trebuchet MS"}, {"Palatino linotype"}};
constexpr int kWeight = 500;

} // namespace

TTFont::~TTFont() {
    // At exit the device may be gone already; the atlas textures then only
    // free memory.
    Release();
}

int TTFont::FontHeight(uint32_t index, float scaleY) {
    if (index == 0) return int(std::trunc(18.0f * scaleY));
    return index < 3 ? 32 : 0;
}

bool TTFont::CreateFontSlot(uint32_t index, const char* family, int height) {
    Slot& s = m_Fonts[index];
    s.face = font::Face::Create(family, height, kWeight);
    if (!s.face || !g_pD3DInterface) {
        s.face.reset();
        return false;
    }
    const image::Image atlas = s.face->AtlasImage();
    if (g_pD3DInterface->CreateTexture(atlas.width, atlas.height, 1, 0, gfx::Format::A8R8G8B8,
                                       gfx::Pool::Managed, &s.atlas) != gfx::Result::Ok) {
        s.atlas = nullptr;
        s.face.reset();
        return false;
    }
    gfx::LockedRect lr;
    if (s.atlas->LockRect(0, &lr, nullptr, 0) == gfx::Result::Ok) {
        for (uint32_t y = 0; y < atlas.height; ++y) {
            std::memcpy(static_cast<uint8_t*>(lr.pBits) + size_t(y) * size_t(lr.Pitch),
                        atlas.pixels.data() + size_t(y) * atlas.width, size_t(atlas.width) * 4);
        }
        s.atlas->UnlockRect(0);
    }
    return true;
}

void TTFont::Create() {
    static const char* const kFailed[3] = {"TTFont[0] creation failed!", "TTFont[1] creation failed!",
                                           "TTFont[2] creation failed!"};
    for (uint32_t i = 0; i < 3; ++i) {
        if (m_Fonts[i].face) continue;
        if (!CreateFontSlot(i, kFaces[i].family, FontHeight(i, g_f2DScaleY))) g_Console.Print(kFailed[i]);
    }
    SelectFont(0);
}

void TTFont::Release() {
    for (Slot& s : m_Fonts) {
        if (s.atlas) s.atlas->Release();
        s.atlas = nullptr;
        s.face.reset();
    }
    m_pCurrent = nullptr;
}

void TTFont::SelectFont(uint32_t index) {
    m_dwCurrent = index;
    m_pCurrent = index < MAX_FONTS && m_Fonts[index].face ? &m_Fonts[index] : nullptr;
}

int TTFont::GetTextWidth(const char* text) const {
    if (!text || !m_pCurrent) return 0;
    return m_pCurrent->face->TextWidth(text);
}

void TTFont::DrawText(const char* text, float x, float y, uint32_t color, bool centre, bool right) {
    if (!text || !m_pCurrent || !g_pD3DInterface) return;
    const font::Face& face = *m_pCurrent->face;
    int left = int(std::trunc(x)), top = int(std::trunc(y));
    if (centre) {
        left -= face.TextWidth(text) / 2;
    } else if (right) {
        left -= face.TextWidth(text);
    }
    gfx::Device* d = g_pD3DInterface;
    // The states a text draw needs, put back afterwards.
    Saved2DStates saved;
    saved.Save();
    uint32_t fvf = 0, samplers[3] = {};
    d->GetFVF(&fvf);
    const gfx::SamplerState filters[3] = {gfx::SamplerState::MagFilter, gfx::SamplerState::MinFilter,
                                          gfx::SamplerState::MipFilter};
    for (int i = 0; i < 3; ++i)
        d->GetSamplerState(0, filters[i], &samplers[i]);
    uint32_t stage1 = 0;
    d->GetTextureStageState(1, gfx::TextureStageState::ColorOp, &stage1);

    const uint32_t point = gfx::StateValue(gfx::TextureFilter::Point);
    d->SetSamplerState(0, gfx::SamplerState::MagFilter, point);
    d->SetSamplerState(0, gfx::SamplerState::MinFilter, point);
    d->SetSamplerState(0, gfx::SamplerState::MipFilter, gfx::StateValue(gfx::TextureFilter::None));
    d->SetRenderState(gfx::RenderState::AlphaBlendEnable, 1);
    d->SetRenderState(gfx::RenderState::SrcBlend, gfx::StateValue(gfx::Blend::SrcAlpha));
    d->SetRenderState(gfx::RenderState::DestBlend, gfx::StateValue(gfx::Blend::InvSrcAlpha));
    d->SetRenderState(gfx::RenderState::BlendOp, gfx::StateValue(gfx::BlendOp::Add));
    d->SetRenderState(gfx::RenderState::AlphaTestEnable, 0);
    d->SetRenderState(gfx::RenderState::CullMode, gfx::StateValue(gfx::Cull::None));
    d->SetRenderState(gfx::RenderState::ZEnable, 0);
    d->SetRenderState(gfx::RenderState::ZWriteEnable, 0);
    SetStage0Modulate(false);
    d->SetTextureStageState(1, gfx::TextureStageState::ColorOp, gfx::StateValue(gfx::TextureOp::Disable));
    d->SetFVF(SCREEN_FVF);
    d->SetTexture(0, m_pCurrent->atlas);

    const float aw = float(face.AtlasWidth()), ah = float(face.AtlasHeight());
    uint32_t n = 0;
    int penX = left, lineY = top;
    auto flush = [&] {
        if (n) d->DrawPrimitiveUP(gfx::PrimitiveType::TriangleList, n * 2, g_Batch, sizeof(ScreenVertex));
        n = 0;
    };
    for (const char* p = text; *p; ++p) {
        if (*p == '\n') {
            penX = left;
            lineY += face.LineHeight();
            continue;
        }
        const font::Glyph& g = face.GlyphOf(uint8_t(*p));
        if (g.w > 0) {
            // Texels land on pixels one to one.
            const float l = float(penX + g.left) - 0.5f, t = float(lineY + g.top) - 0.5f;
            const float r = l + float(g.w), b = t + float(g.h);
            const float u0 = float(g.x) / aw, v0 = float(g.y) / ah, u1 = float(g.x + g.w) / aw,
                        v1 = float(g.y + g.h) / ah;
            ScreenVertex* v = g_Batch + n * 6;
            v[0] = {l, t, 1, 1, color, u0, v0};
            v[1] = {l, b, 1, 1, color, u0, v1};
            v[2] = {r, b, 1, 1, color, u1, v1};
            v[3] = v[2];
            v[4] = {r, t, 1, 1, color, u1, v0};
            v[5] = v[0];
            if (++n == kBatchGlyphs) flush();
        }
        penX += g.advance;
    }
    flush();

    d->SetTexture(0, nullptr);
    d->SetFVF(fvf);
    for (int i = 0; i < 3; ++i)
        d->SetSamplerState(0, filters[i], samplers[i]);
    d->SetTextureStageState(1, gfx::TextureStageState::ColorOp, stage1);
    saved.Restore();
}

void TTFont::DrawTextScaled(const char* text, float x, float y, uint32_t color, bool centre, bool right) {
    DrawText(text, std::trunc(x * g_f2DScaleX), std::trunc(y * g_f2DScaleY), color, centre, right);
}
