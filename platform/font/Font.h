// TrueType text on the CPU: a face found by family name through fontconfig
// (the nearest free face stands in for a family that is not installed),
// opened with FreeType at a pixel height, text measured, glyphs rasterised
// into an 8-bit coverage atlas, and text drawn into ARGB pictures.
//
// Text is 8-bit, code page 1250 (the game's text files and labels); each
// byte is mapped to Unicode before its glyph is looked up. A '\n' starts a
// new line; other control codes draw nothing and take no room.
//
// Height: the requested pixel height is the cell height (ascender plus
// descender), the way a positive height asks for a font on Windows.
//
// Lifetimes: one FreeType library for the process, created on first use;
// a Face owns its FreeType face and its atlas. Main thread only.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/image/Image.h"

namespace font {

// Unicode of a code page 1250 byte. Bytes the code page leaves undefined map
// to the code point of the same number (C1 controls), as Windows does.
char32_t Cp1250ToUnicode(uint8_t c);

// The file of the installed face that fontconfig matches best for a family
// name at a weight (400 regular, 700 bold); empty when fontconfig finds none.
std::string FindFaceFile(const char* family, int weight);

// A glyph of the atlas: its rectangle in the atlas, where that rectangle
// sits against the pen (left of the pen, down from the line's top), and how
// far it moves the pen. A glyph without ink has w = h = 0.
struct Glyph {
    int x = 0, y = 0, w = 0, h = 0;
    int left = 0, top = 0;
    int advance = 0;
};

class Face {
  public:
    // Opens the face fontconfig gives for the family at the pixel height and
    // rasterises its 256 code-page glyphs. Null when no face can be opened.
    static std::unique_ptr<Face> Create(const char* family, int pixelHeight, int weight = 400);
    ~Face();
    Face(const Face&) = delete;
    Face& operator=(const Face&) = delete;

    // The file that was opened and the height asked for.
    const std::string& File() const { return m_file; }
    int PixelHeight() const { return m_pixelHeight; }
    // Distance between lines, and from a line's top to its baseline.
    int LineHeight() const { return m_lineHeight; }
    int Ascent() const { return m_ascent; }

    const Glyph& GlyphOf(uint8_t c) const { return m_glyphs[c]; }
    // Coverage atlas (0..255, one byte per texel), AtlasWidth() bytes a row.
    const uint8_t* Atlas() const { return m_atlas.data(); }
    int AtlasWidth() const { return m_atlasW; }
    int AtlasHeight() const { return m_atlasH; }
    // The atlas as a picture: white, with the coverage as alpha.
    image::Image AtlasImage() const;

    // Width (the widest line) and height (lines x line height) of a text;
    // 0, 0 for a null or empty text.
    void Measure(const char* text, int* width, int* height) const;
    int TextWidth(const char* text) const {
        int w = 0, h = 0;
        Measure(text, &w, &h);
        return w;
    }

    // Draws a text into a picture with its top-left corner at (x, y), blending
    // the colour (ARGB) over the pixels by its alpha times the coverage.
    // Pixels outside the picture are skipped.
    void Draw(image::Image& target, int x, int y, const char* text, uint32_t color) const;

  private:
    Face() = default;
    bool Open(const std::string& file, int pixelHeight);

    std::string m_file;
    int m_pixelHeight = 0;
    int m_lineHeight = 0;
    int m_ascent = 0;
    Glyph m_glyphs[256];
    std::vector<uint8_t> m_atlas;
    int m_atlasW = 0, m_atlasH = 0;
};

} // namespace font
