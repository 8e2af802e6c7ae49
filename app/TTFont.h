// `TTFont`: the TrueType fonts the console and the debug displays write
// with, and from which the bitmap fonts are made. Each font is a face found
// through fontconfig for the family asked for, rasterised once into a glyph
// atlas texture (managed pool, so it survives a device reset).
//
//   0  "Tahoma"             trunc(18 x screen height / 768) pixels
//   1  "Trebuchet MS"       32 pixels
//   2  "Palatino linotype"  32 pixels
//   3..7 empty
//
// Callers select a font, draw, and select font 0 again. Text is 8-bit, code
// page 1250. A font that could not be made is skipped by every operation.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/font/Font.h"

namespace gfx {
class Texture;
}

class TTFont {
  public:
    static constexpr uint32_t MAX_FONTS = 8;

    TTFont() = default;
    virtual ~TTFont();
    TTFont(const TTFont&) = delete;
    TTFont& operator=(const TTFont&) = delete;

    void Create();
    void Release();
    // The fonts live in the managed pool: nothing of theirs is lost or
    // re-created around a reset.
    void OnLostDevice() {}
    void OnResetDevice() {}

    // Sets the current index and font together (an empty slot leaves no
    // current font).
    void SelectFont(uint32_t index);
    uint32_t CurrentIndex() const { return m_dwCurrent; }
    bool IsCreated(uint32_t index) const { return index < MAX_FONTS && m_Fonts[index].face != nullptr; }

    // Width in pixels of the whole text in the current font (0 for a null
    // text or no current font).
    int GetTextWidth(const char* text) const;
    void DrawText(const char* text, float x, float y, uint32_t color, bool centre, bool right);
    // Positions on the virtual 1024 x 768 screen.
    void DrawTextScaled(const char* text, float x, float y, uint32_t color, bool centre, bool right);

    // The face of the current font (the bitmap fonts draw from it), or null.
    const font::Face* CurrentFace() const { return m_pCurrent ? m_pCurrent->face.get() : nullptr; }
    // Pixel height that font `index` is created with at a vertical 2D scale.
    static int FontHeight(uint32_t index, float scaleY);

  private:
    struct Slot {
        std::unique_ptr<font::Face> face;
        gfx::Texture* atlas = nullptr;
    };
    bool CreateFontSlot(uint32_t index, const char* family, int height);

    uint32_t m_dwCurrent = 0;
    Slot m_Fonts[MAX_FONTS];
    Slot* m_pCurrent = nullptr;
};

extern TTFont g_TTFont;
