#include "app/Font.h"

#include <cmath>
#include <cstring>
#include <vector>

#include "app/Console.h"
#include "app/D3DMain.h"
#include "app/Debug.h"
#include "app/Options.h"
#include "app/TTFont.h"
#include "platform/gfx/Draw.h"

EFont g_Font;

namespace {

constexpr uint32_t kRowStep = 40;
constexpr uint32_t kFirstRowTop = 3;
constexpr uint32_t kMaxGlyphs = 255;

uint32_t TextBytes(uint32_t maxChars) {
    return maxChars * 6 * uint32_t(sizeof(ScreenVertex));
}

} // namespace

void EFont::Slot::Reset() {
    bRendered = 0;
    pTexture = nullptr;
    dwWidth = 0;
    dwHeight = TEXTURE_HEIGHT;
    for (int c = 0; c < 256; ++c) {
        u0[c] = u1[c] = v0[c] = v1[c] = NO_GLYPH;
        x0[c] = x1[c] = top[c] = bottom[c] = 0;
    }
    dwTTFont = 0;
}

EFont::EFont()
    : m_bFontsBuilt(false), m_dwFVF(SCREEN_FVF), m_dwMaxChars(256), m_pFontVB(nullptr), m_dwNumSlots(0),
      m_bStatesSaved(false) {
    for (Slot& s : m_Slots)
        s.Reset();
    g_Debug.AddAllocation("::EFont");
}

EFont::~EFont() {
    // At exit only memory is freed; the device may be gone.
    ReleaseTextures();
    if (m_pFontVB) m_pFontVB->Release();
    m_pFontVB = nullptr;
}

void EFont::CreateVertexBuffer() {
    if (m_pFontVB || !g_pD3DInterface) return;
    if (g_pD3DInterface->CreateVertexBuffer(TextBytes(m_dwMaxChars), gfx::usage::WriteOnly, m_dwFVF,
                                            gfx::Pool::Managed, &m_pFontVB) == gfx::Result::Ok) {
        g_Debug.AddAllocation("FontVB");
    } else {
        m_pFontVB = nullptr;
    }
}

void EFont::EnsureFonts() {
    if (m_bFontsBuilt) return;
    m_bFontsBuilt = true;
    CreateFont(1);
    CreateFont(2);
    for (uint32_t i = 0; i < m_dwNumSlots; ++i) {
        if (!m_Slots[i].bRendered) RenderGlyphs(i);
    }
}

void EFont::CreateFont(uint32_t ttIndex) {
    if (ttIndex >= MAX_SLOTS) return;
    if (m_dwNumSlots >= MAX_SLOTS) {
        g_Console.Print("Font not created - overflow!");
        return;
    }
    Slot& s = m_Slots[m_dwNumSlots];
    g_TTFont.SelectFont(ttIndex);
    // The widest of the 16 rows of 16 characters, 8 pixels of room each.
    uint32_t width = 0;
    for (int row = 0; row < 16; ++row) {
        uint32_t sum = 0;
        for (int col = 0; col < 16; ++col) {
            const int c = row * 16 + col;
            if (c == 0) continue;
            const char text[2] = {char(c), 0};
            sum += uint32_t(g_TTFont.GetTextWidth(text)) + 8;
        }
        width = std::max(width, sum);
    }
    gfx::Texture* t = nullptr;
    if (!g_pD3DInterface || g_pD3DInterface->CreateTexture(width, TEXTURE_HEIGHT, 1, 0, gfx::Format::A8R8G8B8,
                                                           gfx::Pool::Managed, &t) != gfx::Result::Ok) {
        g_Console.Print("Unable to create font target texture");
        g_TTFont.SelectFont(0);
        return;
    }
    s.Reset();
    s.pTexture = t;
    s.dwWidth = width;
    s.dwHeight = TEXTURE_HEIGHT;
    s.dwTTFont = ttIndex;
    ++m_dwNumSlots;
    g_TTFont.SelectFont(0);
}

void EFont::GlowToAlpha(const image::Image& src, image::Image& out) {
    const uint32_t w = src.width, h = src.height;
    out.width = w;
    out.height = h;
    out.pixels.assign(size_t(w) * h, 0);
    // Brightness of each pixel, and a summed table for the 5 x 5 sums.
    std::vector<uint32_t> b(size_t(w) * h);
    for (size_t i = 0; i < b.size(); ++i) {
        const uint32_t p = src.pixels[i];
        b[i] = (((p >> 16) & 0xFF) + ((p >> 8) & 0xFF) + (p & 0xFF)) / 3;
    }
    std::vector<uint64_t> sum(size_t(w + 1) * (h + 1), 0);
    for (uint32_t y = 0; y < h; ++y) {
        uint64_t row = 0;
        for (uint32_t x = 0; x < w; ++x) {
            row += b[size_t(y) * w + x];
            sum[size_t(y + 1) * (w + 1) + x + 1] = sum[size_t(y) * (w + 1) + x + 1] + row;
        }
    }
    for (uint32_t y = 0; y < h; ++y) {
        const uint32_t y0 = y >= 2 ? y - 2 : 0, y1 = std::min(h, y + 3);
        for (uint32_t x = 0; x < w; ++x) {
            const uint32_t x0 = x >= 2 ? x - 2 : 0, x1 = std::min(w, x + 3);
            const uint64_t s = sum[size_t(y1) * (w + 1) + x1] - sum[size_t(y0) * (w + 1) + x1] -
                               sum[size_t(y1) * (w + 1) + x0] + sum[size_t(y0) * (w + 1) + x0];
            const uint32_t glow = uint32_t(256.0 * std::sqrt(double(s / 9) / 256.0));
            const uint32_t alpha = std::min<uint32_t>(255, b[size_t(y) * w + x] + glow);
            out.pixels[size_t(y) * w + x] = alpha << 24 | (src.pixels[size_t(y) * w + x] & 0x00FFFFFF);
        }
    }
}

void EFont::RenderGlyphs(uint32_t slotIndex) {
    if (slotIndex >= m_dwNumSlots || m_Slots[slotIndex].bRendered) return;
    Slot& s = m_Slots[slotIndex];
    g_TTFont.SelectFont(s.dwTTFont);
    const font::Face* face = g_TTFont.CurrentFace();
    image::Image picture;
    picture.width = s.dwWidth;
    picture.height = s.dwHeight;
    picture.pixels.assign(size_t(s.dwWidth) * s.dwHeight, 0xFF000000);
    for (uint32_t row = 0; row < 16; ++row) {
        const uint32_t rowTop = kFirstRowTop + row * kRowStep;
        uint32_t pen = 2;
        for (uint32_t col = 0; col < 16; ++col) {
            const uint32_t c = row * 16 + col;
            if (c == 0) continue;
            const char text[2] = {char(c), 0};
            const uint32_t w = c == ' ' ? 10 : uint32_t(g_TTFont.GetTextWidth(text));
            const uint32_t x0 = pen + 2, x1 = x0 + w;
            if (face) face->Draw(picture, int(x0), int(rowTop), text, 0xFFFFFFFF);
            s.x0[c] = x0;
            s.x1[c] = x1;
            s.top[c] = rowTop;
            s.bottom[c] = rowTop + 32;
            s.u0[c] = float(pen) / float(s.dwWidth);
            s.u1[c] = float(x1 + 2) / float(s.dwWidth);
            s.v0[c] = float(rowTop - 2) / float(TEXTURE_HEIGHT);
            s.v1[c] = float(rowTop + 34) / float(TEXTURE_HEIGHT);
            pen = x1 + 4;
        }
    }
    image::Image glyphs;
    GlowToAlpha(picture, glyphs);
    gfx::LockedRect lr;
    if (s.pTexture->LockRect(0, &lr, nullptr, 0) != gfx::Result::Ok) {
        g_Console.Print("LockRect r1 FAILED");
    } else {
        for (uint32_t y = 0; y < glyphs.height; ++y) {
            std::memcpy(static_cast<uint8_t*>(lr.pBits) + size_t(y) * size_t(lr.Pitch),
                        glyphs.pixels.data() + size_t(y) * glyphs.width, size_t(glyphs.width) * 4);
        }
        s.pTexture->UnlockRect(0);
    }
    s.bRendered = 1;
    g_TTFont.SelectFont(0);
}

int EFont::GetTextWidth(const char* text, float size, uint32_t slot) const {
    if (slot >= MAX_SLOTS || slot >= m_dwNumSlots || !text || !*text) return 0;
    const Slot& f = m_Slots[slot];
    const float s = size / 32.0f * g_f2DScaleY;
    const float h = g_f2DScaleX;
    int width = 0;
    uint32_t glyphs = 0;
    for (const char* p = text; *p && glyphs < kMaxGlyphs - 1; ++p) {
        const uint8_t c = uint8_t(*p);
        if (!f.HasGlyph(c)) continue;
        width += int(std::trunc(float(f.x1[c] - f.x0[c] + 4) * s - 4.0f * s + h));
        ++glyphs;
    }
    return width;
}

bool EFont::FillText(EText& t, const char* text, float x, float y, uint32_t color, float size, uint32_t slot,
                     bool centre, bool right) {
    if (centre) {
        x -= float(GetTextWidth(text, size, slot) / 2);
    } else if (right) {
        x -= float(GetTextWidth(text, size, slot));
    }
    const Slot& f = m_Slots[slot];
    const float s = size / 32.0f * g_f2DScaleY;
    void* data = nullptr;
    if (t.pVB->Lock(0, 0, &data, 0) != gfx::Result::Ok) {
        g_Console.Print("Failed to lock text");
        return false;
    }
    ScreenVertex* v = static_cast<ScreenVertex*>(data);
    uint32_t count = 0;
    float pen = x;
    for (const char* p = text; *p; ++p) {
        const uint8_t c = uint8_t(*p);
        if (!f.HasGlyph(c)) continue;
        const float l = pen, r = pen + float(f.x1[c] - f.x0[c] + 4) * s, tp = y, b = y + 32.0f * s;
        v[0] = {l, tp, 1, 1, color, f.u0[c], f.v0[c]};
        v[1] = {l, b, 1, 1, color, f.u0[c], f.v1[c]};
        v[2] = {r, b, 1, 1, color, f.u1[c], f.v1[c]};
        v[3] = v[2];
        v[4] = {r, tp, 1, 1, color, f.u1[c], f.v0[c]};
        v[5] = v[0];
        v += 6;
        if (++count == kMaxGlyphs) break;
        pen = std::trunc(r - 2.0f * s);
    }
    t.pVB->Unlock();
    t.dwCount = count;
    t.dwSlot = slot;
    return true;
}

EText* EFont::CreateText(const char* text, float x, float y, uint32_t color, float size, uint32_t slot,
                         bool centre, bool right) {
    if (slot >= MAX_SLOTS || slot >= m_dwNumSlots || !text || !*text || !g_pD3DInterface) return nullptr;
    EText* t = new EText;
    g_Debug.AddAllocation("::EText");
    if (g_pD3DInterface->CreateVertexBuffer(TextBytes(m_dwMaxChars), gfx::usage::WriteOnly, m_dwFVF,
                                            gfx::Pool::Managed, &t->pVB) != gfx::Result::Ok) {
        t->pVB = nullptr;
        DeleteText(t);
        return nullptr;
    }
    g_Debug.AddAllocation("ETextVB");
    if (!FillText(*t, text, x, y, color, size, slot, centre, right)) {
        DeleteText(t);
        return nullptr;
    }
    return t;
}

void EFont::DrawText(const EText* t) {
    if (!t || !t->pVB || !g_pD3DInterface || t->dwSlot >= m_dwNumSlots) return;
    g_pD3DInterface->SetTexture(0, m_Slots[t->dwSlot].pTexture);
    g_pD3DInterface->SetStreamSource(0, t->pVB, 0, sizeof(ScreenVertex));
    g_pD3DInterface->DrawPrimitive(gfx::PrimitiveType::TriangleList, 0, t->dwCount * 2);
}

void EFont::DeleteText(EText* t) {
    if (!t) return;
    if (t->pVB) {
        if (g_pD3DInterface) g_pD3DInterface->SetStreamSource(0, nullptr, 0, 0);
        t->pVB->Release();
        g_Debug.RemoveAllocation("ETextVB");
    }
    delete t;
    g_Debug.RemoveAllocation("::EText");
}

void EFont::Print(const char* text, float x, float y, uint32_t color, float size, uint32_t slot, bool centre,
                  bool right) {
    // A text object on the stack: one buffer made and freed, nothing else.
    if (slot >= MAX_SLOTS || slot >= m_dwNumSlots || !text || !*text || !g_pD3DInterface) return;
    EText t;
    if (g_pD3DInterface->CreateVertexBuffer(TextBytes(m_dwMaxChars), gfx::usage::WriteOnly, m_dwFVF,
                                            gfx::Pool::Managed, &t.pVB) != gfx::Result::Ok) {
        return;
    }
    if (FillText(t, text, x, y, color, size, slot, centre, right)) DrawText(&t);
    g_pD3DInterface->SetStreamSource(0, nullptr, 0, 0);
    t.pVB->Release();
}

void EFont::BeginText() {
    if (m_bStatesSaved || !g_pD3DInterface) return;
    m_SavedStates.Save();
    m_bStatesSaved = true;
    // The rectangles' 2D states, with the alpha test off.
    SetScreenQuadStates(false, false, m_dwFVF);
}

void EFont::EndText() {
    if (!m_bStatesSaved) return;
    m_SavedStates.Restore();
    m_bStatesSaved = false;
}

void EFont::SetBlendMode(bool additive) {
    if (!g_pD3DInterface) return;
    g_pD3DInterface->SetRenderState(gfx::RenderState::SrcBlend, gfx::StateValue(gfx::Blend::SrcAlpha));
    g_pD3DInterface->SetRenderState(gfx::RenderState::DestBlend,
                                    gfx::StateValue(additive ? gfx::Blend::One : gfx::Blend::InvSrcAlpha));
}

void EFont::ReleaseTextures() {
    for (Slot& s : m_Slots) {
        if (s.pTexture) s.pTexture->Release();
        s.Reset();
    }
    m_dwNumSlots = 0;
}

void EFont::Release() {
    ReleaseTextures();
    if (m_pFontVB) {
        m_pFontVB->Release();
        g_Debug.RemoveAllocation("FontVB");
    }
    m_pFontVB = nullptr;
    m_bFontsBuilt = false;
}
