#include "platform/font/Font.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_SIZES_H

#include <algorithm>
#include <cstring>

namespace font {
namespace {

// Code page 1250 from 0x80 up; 0 marks the bytes it leaves undefined.
constexpr char16_t kCp1250High[128] = {
    0x20AC, 0,      0x201A, 0,      0x201E, 0x2026, 0x2020, 0x2021, 0,      0x2030, 0x0160, 0x2039, 0x015A,
    0x0164, 0x017D, 0x0179, 0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0,      0x2122,
    0x0161, 0x203A, 0x015B, 0x0165, 0x017E, 0x017A, 0x00A0, 0x02C7, 0x02D8, 0x0141, 0x00A4, 0x0104, 0x00A6,
    0x00A7, 0x00A8, 0x00A9, 0x015E, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x017B, 0x00B0, 0x00B1, 0x02DB, 0x0142,
    0x00B4, 0x00B5, 0x00B6, 0x00B7, 0x00B8, 0x0105, 0x015F, 0x00BB, 0x013D, 0x02DD, 0x013E, 0x017C, 0x0154,
    0x00C1, 0x00C2, 0x0102, 0x00C4, 0x0139, 0x0106, 0x00C7, 0x010C, 0x00C9, 0x0118, 0x00CB, 0x011A, 0x00CD,
    0x00CE, 0x010E, 0x0110, 0x0143, 0x0147, 0x00D3, 0x00D4, 0x0150, 0x00D6, 0x00D7, 0x0158, 0x016E, 0x00DA,
    0x0170, 0x00DC, 0x00DD, 0x0162, 0x00DF, 0x0155, 0x00E1, 0x00E2, 0x0103, 0x00E4, 0x013A, 0x0107, 0x00E7,
    0x010D, 0x00E9, 0x0119, 0x00EB, 0x011B, 0x00ED, 0x00EE, 0x010F, 0x0111, 0x0144, 0x0148, 0x00F3, 0x00F4,
    0x0151, 0x00F6, 0x00F7, 0x0159, 0x016F, 0x00FA, 0x0171, 0x00FC, 0x00FD, 0x0163, 0x02D9,
};

FT_Library Library() {
    static FT_Library lib = [] {
        FT_Library l = nullptr;
        if (FT_Init_FreeType(&l) != 0) l = nullptr;
        return l;
    }();
    return lib;
}

constexpr int kAtlasWidth = 512;
constexpr int kPad = 1;

} // namespace

char32_t Cp1250ToUnicode(uint8_t c) {
    if (c < 0x80) return c;
    const char16_t u = kCp1250High[c - 0x80];
    return u ? char32_t(u) : char32_t(c);
}

std::string FindFaceFile(const char* family, int weight) {
    if (!FcInit()) return {};
    FcPattern* pattern = FcPatternCreate();
    if (!pattern) return {};
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family ? family : ""));
    FcPatternAddInteger(pattern, FC_WEIGHT, FcWeightFromOpenType(weight));
    FcPatternAddInteger(pattern, FC_SLANT, FC_SLANT_ROMAN);
    FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(nullptr, pattern, &result);
    std::string file;
    FcChar8* path = nullptr;
    if (match && FcPatternGetString(match, FC_FILE, 0, &path) == FcResultMatch && path) {
        file = reinterpret_cast<const char*>(path);
    }
    if (match) FcPatternDestroy(match);
    FcPatternDestroy(pattern);
    return file;
}

std::unique_ptr<Face> Face::Create(const char* family, int pixelHeight, int weight) {
    if (pixelHeight <= 0) return nullptr;
    const std::string file = FindFaceFile(family, weight);
    if (file.empty()) return nullptr;
    std::unique_ptr<Face> face(new Face);
    if (!face->Open(file, pixelHeight)) return nullptr;
    return face;
}

Face::~Face() = default;

bool Face::Open(const std::string& file, int pixelHeight) {
    FT_Library lib = Library();
    if (!lib) return false;
    FT_Face ft = nullptr;
    if (FT_New_Face(lib, file.c_str(), 0, &ft) != 0) return false;
    FT_Size_RequestRec req = {};
    req.type = FT_SIZE_REQUEST_TYPE_CELL;
    req.height = FT_Long(pixelHeight) << 6;
    if (FT_Request_Size(ft, &req) != 0) {
        FT_Done_Face(ft);
        return false;
    }
    m_file = file;
    m_pixelHeight = pixelHeight;
    m_ascent = int((ft->size->metrics.ascender + 63) >> 6);
    m_lineHeight = std::max(pixelHeight, int((ft->size->metrics.height + 63) >> 6));

    // Rasterise every code-page glyph and pack them on shelves of the atlas.
    struct Raster {
        std::vector<uint8_t> bits;
    } rasters[256];
    int penX = kPad, penY = kPad, shelf = 0;
    for (int c = 1; c < 256; ++c) {
        Glyph& g = m_glyphs[c];
        const char32_t u = Cp1250ToUnicode(uint8_t(c));
        if (u < 0x20 || (u >= 0x7F && u < 0xA0)) continue; // controls take no room
        const FT_UInt index = FT_Get_Char_Index(ft, u);
        if (index == 0 && u != 0x20 && u != 0xA0) continue;
        if (FT_Load_Glyph(ft, index, FT_LOAD_RENDER | FT_LOAD_TARGET_NORMAL) != 0) continue;
        const FT_GlyphSlot slot = ft->glyph;
        g.advance = int((slot->advance.x + 32) >> 6);
        g.left = slot->bitmap_left;
        g.top = m_ascent - slot->bitmap_top;
        g.w = int(slot->bitmap.width);
        g.h = int(slot->bitmap.rows);
        if (slot->bitmap.pixel_mode != FT_PIXEL_MODE_GRAY || g.w == 0 || g.h == 0 ||
            g.w > kAtlasWidth - 2 * kPad) {
            g.w = g.h = 0;
            continue;
        }
        if (penX + g.w + kPad > kAtlasWidth) {
            penX = kPad;
            penY += shelf + kPad;
            shelf = 0;
        }
        g.x = penX;
        g.y = penY;
        penX += g.w + kPad;
        shelf = std::max(shelf, g.h);
        rasters[c].bits.resize(size_t(g.w) * g.h);
        for (int row = 0; row < g.h; ++row) {
            std::memcpy(rasters[c].bits.data() + size_t(row) * g.w,
                        slot->bitmap.buffer + ptrdiff_t(row) * slot->bitmap.pitch, size_t(g.w));
        }
    }
    FT_Done_Face(ft);
    m_atlasW = kAtlasWidth;
    m_atlasH = penY + shelf + kPad;
    m_atlas.assign(size_t(m_atlasW) * m_atlasH, 0);
    for (int c = 1; c < 256; ++c) {
        const Glyph& g = m_glyphs[c];
        for (int row = 0; row < g.h; ++row) {
            std::memcpy(m_atlas.data() + size_t(g.y + row) * m_atlasW + g.x,
                        rasters[c].bits.data() + size_t(row) * g.w, size_t(g.w));
        }
    }
    return true;
}

image::Image Face::AtlasImage() const {
    image::Image img;
    img.width = uint32_t(m_atlasW);
    img.height = uint32_t(m_atlasH);
    img.pixels.resize(m_atlas.size());
    for (size_t i = 0; i < m_atlas.size(); ++i)
        img.pixels[i] = uint32_t(m_atlas[i]) << 24 | 0x00FFFFFF;
    return img;
}

void Face::Measure(const char* text, int* width, int* height) const {
    *width = *height = 0;
    if (!text || !*text) return;
    int line = 0, lines = 1;
    for (const char* p = text; *p; ++p) {
        if (*p == '\n') {
            *width = std::max(*width, line);
            line = 0;
            ++lines;
            continue;
        }
        line += m_glyphs[uint8_t(*p)].advance;
    }
    *width = std::max(*width, line);
    *height = lines * m_lineHeight;
}

void Face::Draw(image::Image& target, int x, int y, const char* text, uint32_t color) const {
    if (!text) return;
    const uint32_t ca = color >> 24;
    int penX = x, lineY = y;
    for (const char* p = text; *p; ++p) {
        if (*p == '\n') {
            penX = x;
            lineY += m_lineHeight;
            continue;
        }
        const Glyph& g = m_glyphs[uint8_t(*p)];
        for (int row = 0; row < g.h; ++row) {
            const int ty = lineY + g.top + row;
            if (ty < 0 || ty >= int(target.height)) continue;
            for (int col = 0; col < g.w; ++col) {
                const int tx = penX + g.left + col;
                if (tx < 0 || tx >= int(target.width)) continue;
                const uint32_t cover = m_atlas[size_t(g.y + row) * m_atlasW + g.x + col];
                const uint32_t a = cover * ca / 255;
                if (a == 0) continue;
                uint32_t& d = target.At(uint32_t(tx), uint32_t(ty));
                uint32_t out = 0;
                for (int shift = 0; shift <= 16; shift += 8) {
                    const uint32_t s = (color >> shift) & 0xFF, dc = (d >> shift) & 0xFF;
                    out |= ((s * a + dc * (255 - a) + 127) / 255) << shift;
                }
                const uint32_t da = d >> 24;
                out |= (a + da * (255 - a) / 255) << 24;
                d = out;
            }
        }
        penX += g.advance;
    }
}

} // namespace font
