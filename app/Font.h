// `EFont` (global g_Font): the bitmap fonts of the user interface (HUD,
// menus, subtitles, console lines, profiler). Each of up to 8 slots is made
// once from a TrueType font: its 255 characters are drawn in 16 rows of 16
// into a picture (on the CPU), brightness becomes alpha with a soft glow
// around each glyph, and the result is kept as a managed texture with a
// table of glyph rectangles. A text is an `EText`: a vertex buffer of two
// triangles per character, sized by the vertical 2D scale factor.
//
// Failure policy: console messages name the failing step; a slot that failed
// is not counted and texts asked for in it are not drawn. Slots of 8 or more
// are ignored without a message.
#pragma once

#include <cstdint>

#include "app/ERect.h"

namespace gfx {
class Texture;
class VertexBuffer;
} // namespace gfx
namespace image {
struct Image;
}

struct EText {
    gfx::VertexBuffer* pVB = nullptr;
    uint32_t dwCount = 0;
    uint32_t dwSlot = 0;
};

class EFont {
  public:
    static constexpr uint32_t MAX_SLOTS = 8;
    static constexpr uint32_t TEXTURE_HEIGHT = 640;
    static constexpr float NO_GLYPH = 2.0f;

    struct Slot {
        uint8_t bRendered = 0;
        gfx::Texture* pTexture = nullptr;
        uint32_t dwWidth = 0, dwHeight = 0;
        float u0[256], u1[256], v0[256], v1[256];
        uint32_t x0[256], x1[256], top[256], bottom[256];
        uint32_t dwTTFont = 0;
        void Reset();
        bool HasGlyph(uint8_t c) const { return u0[c] <= 1.0f; }
    };

    EFont();
    virtual ~EFont();
    EFont(const EFont&) = delete;
    EFont& operator=(const EFont&) = delete;

    void CreateVertexBuffer();
    void EnsureFonts();
    void CreateFont(uint32_t ttIndex);
    void RenderGlyphs(uint32_t slot);
    int GetTextWidth(const char* text, float size, uint32_t slot) const;
    EText* CreateText(const char* text, float x, float y, uint32_t color, float size, uint32_t slot,
                      bool centre, bool right);
    void DrawText(const EText* text);
    void DeleteText(EText* text);
    void Print(const char* text, float x, float y, uint32_t color, float size, uint32_t slot, bool centre,
               bool right);
    void BeginText();
    void EndText();
    void SetBlendMode(bool additive);
    void ReleaseTextures();
    void Release();

    uint32_t NumSlots() const { return m_dwNumSlots; }
    const Slot& GetSlot(uint32_t i) const { return m_Slots[i]; }
    bool FontsBuilt() const { return m_bFontsBuilt; }

    // The brightness-to-alpha step with glow, on a picture of opaque glyphs
    // drawn over black (exposed for tests).
    static void GlowToAlpha(const image::Image& source, image::Image& out);

  private:
    // Fills a text object's buffer (already created); false when its lock fails.
    bool FillText(EText& t, const char* text, float x, float y, uint32_t color, float size, uint32_t slot,
                  bool centre, bool right);

    bool m_bFontsBuilt;
    uint32_t m_dwFVF;
    uint32_t m_dwMaxChars;
    gfx::VertexBuffer* m_pFontVB;
    Slot m_Slots[MAX_SLOTS];
    uint32_t m_dwNumSlots;
    Saved2DStates m_SavedStates;
    bool m_bStatesSaved;
};

extern EFont g_Font;
