// The DDS reader: "DDS " and a 124-byte header, then every surface in file
// order (face by face, each face's mip levels largest first). Block-
// compressed layouts (DXT1, DXT2/3, DXT4/5) are decoded 4 x 4 texels at a
// time; uncompressed layouts of 8 to 32 bits are read through their channel
// masks. Volume textures and the DX10 header extension are refused.
#include <algorithm>
#include <bit>
#include <cstring>

#include "platform/image/Image.h"

namespace image {
namespace {

constexpr uint32_t kHeaderSize = 124;
constexpr uint32_t kPixelFormatSize = 32;

// Header flags, pixel-format flags and caps the reader looks at.
constexpr uint32_t kFlagMipMapCount = 0x20000;
constexpr uint32_t kPfAlphaPixels = 0x1;
constexpr uint32_t kPfAlpha = 0x2;
constexpr uint32_t kPfFourCC = 0x4;
constexpr uint32_t kPfRgb = 0x40;
constexpr uint32_t kPfLuminance = 0x20000;
constexpr uint32_t kCaps2Cube = 0x200;
constexpr uint32_t kCaps2AllFaces = 0xFC00;
constexpr uint32_t kCaps2Volume = 0x200000;

constexpr uint32_t FourCC(const char (&s)[5]) {
    return uint32_t(uint8_t(s[0])) | uint32_t(uint8_t(s[1])) << 8 | uint32_t(uint8_t(s[2])) << 16 |
           uint32_t(uint8_t(s[3])) << 24;
}

uint32_t Read32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
uint16_t Read16(const uint8_t* p) {
    return uint16_t(p[0] | p[1] << 8);
}

bool Fail(std::string* error, const std::string& what) {
    if (error) *error = what;
    return false;
}

enum class Layout { Dxt1, Dxt3, Dxt5, Masks };

struct PixelFormat {
    Layout layout = Layout::Masks;
    uint32_t bits = 0;
    uint32_t mask[4] = {}; // R, G, B, A
    bool luminance = false;
    bool alpha = false;
};

uint64_t SurfaceBytes(const PixelFormat& pf, uint32_t w, uint32_t h) {
    if (pf.layout == Layout::Masks) return uint64_t(w) * h * (pf.bits / 8);
    const uint64_t blocks = uint64_t((w + 3) / 4) * ((h + 3) / 4);
    return blocks * (pf.layout == Layout::Dxt1 ? 8 : 16);
}

// ---- Block decoding ------------------------------------------------------------

uint32_t Expand565(uint16_t c) {
    const uint32_t r5 = c >> 11, g6 = (c >> 5) & 0x3F, b5 = c & 0x1F;
    const uint32_t r = r5 << 3 | r5 >> 2, g = g6 << 2 | g6 >> 4, b = b5 << 3 | b5 >> 2;
    return r << 16 | g << 8 | b;
}

uint32_t Mix(uint32_t a, uint32_t b, uint32_t wa, uint32_t wb, uint32_t div) {
    uint32_t out = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        const uint32_t ca = (a >> shift) & 0xFF, cb = (b >> shift) & 0xFF;
        out |= ((ca * wa + cb * wb) / div) << shift;
    }
    return out;
}

// The 16 colours of a colour block, alpha 255 (or 0 for DXT1's transparent
// entry). `fourColour` forces the four-colour mode (DXT3 and DXT5).
void ColourBlock(const uint8_t* b, bool fourColour, uint32_t* out) {
    const uint16_t c0 = Read16(b), c1 = Read16(b + 2);
    uint32_t palette[4];
    palette[0] = 0xFF000000 | Expand565(c0);
    palette[1] = 0xFF000000 | Expand565(c1);
    if (fourColour || c0 > c1) {
        palette[2] = 0xFF000000 | Mix(palette[0], palette[1], 2, 1, 3);
        palette[3] = 0xFF000000 | Mix(palette[0], palette[1], 1, 2, 3);
    } else {
        palette[2] = 0xFF000000 | Mix(palette[0], palette[1], 1, 1, 2);
        palette[3] = 0;
    }
    const uint32_t bits = Read32(b + 4);
    for (int i = 0; i < 16; ++i)
        out[i] = palette[(bits >> (2 * i)) & 3];
}

void ExplicitAlpha(const uint8_t* b, uint32_t* px) {
    for (int i = 0; i < 16; ++i) {
        const uint32_t a4 = (b[i / 2] >> ((i & 1) * 4)) & 0xF;
        px[i] = (px[i] & 0x00FFFFFF) | (a4 * 17) << 24;
    }
}

void InterpolatedAlpha(const uint8_t* b, uint32_t* px) {
    const uint32_t a0 = b[0], a1 = b[1];
    uint32_t a[8] = {a0, a1};
    if (a0 > a1) {
        for (uint32_t i = 1; i <= 6; ++i)
            a[i + 1] = ((7 - i) * a0 + i * a1) / 7;
    } else {
        for (uint32_t i = 1; i <= 4; ++i)
            a[i + 1] = ((5 - i) * a0 + i * a1) / 5;
        a[6] = 0;
        a[7] = 255;
    }
    uint64_t bits = 0;
    for (int i = 0; i < 6; ++i)
        bits |= uint64_t(b[2 + i]) << (8 * i);
    for (int i = 0; i < 16; ++i)
        px[i] = (px[i] & 0x00FFFFFF) | a[(bits >> (3 * i)) & 7] << 24;
}

void DecodeBlocks(const PixelFormat& pf, const uint8_t* src, Image& img) {
    const uint32_t blockBytes = pf.layout == Layout::Dxt1 ? 8 : 16;
    for (uint32_t by = 0; by < img.height; by += 4) {
        for (uint32_t bx = 0; bx < img.width; bx += 4, src += blockBytes) {
            uint32_t px[16];
            if (pf.layout == Layout::Dxt1) {
                ColourBlock(src, false, px);
            } else {
                ColourBlock(src + 8, true, px);
                if (pf.layout == Layout::Dxt3) {
                    ExplicitAlpha(src, px);
                } else {
                    InterpolatedAlpha(src, px);
                }
            }
            for (uint32_t y = 0; y < 4 && by + y < img.height; ++y) {
                for (uint32_t x = 0; x < 4 && bx + x < img.width; ++x)
                    img.At(bx + x, by + y) = px[y * 4 + x];
            }
        }
    }
}

// A channel of a masked pixel scaled to 0..255.
uint32_t Channel(uint32_t v, uint32_t mask) {
    if (!mask) return 0;
    const int shift = std::countr_zero(mask);
    const uint32_t max = mask >> shift;
    return ((v & mask) >> shift) * 255 / max;
}

void DecodeMasks(const PixelFormat& pf, const uint8_t* src, Image& img) {
    const uint32_t bytes = pf.bits / 8;
    for (uint32_t& p : img.pixels) {
        uint32_t v = 0;
        for (uint32_t k = 0; k < bytes; ++k)
            v |= uint32_t(src[k]) << (8 * k);
        src += bytes;
        uint32_t r = Channel(v, pf.mask[0]), g = Channel(v, pf.mask[1]), b = Channel(v, pf.mask[2]);
        if (pf.luminance) g = b = r;
        const uint32_t a = pf.mask[3] ? Channel(v, pf.mask[3]) : 255;
        p = a << 24 | r << 16 | g << 8 | b;
    }
}

bool ReadPixelFormat(const uint8_t* p, PixelFormat* pf, std::string* error) {
    if (Read32(p) != kPixelFormatSize) return Fail(error, "bad pixel format size");
    const uint32_t flags = Read32(p + 4);
    if (flags & kPfFourCC) {
        const uint32_t cc = Read32(p + 8);
        if (cc == FourCC("DXT1")) {
            pf->layout = Layout::Dxt1;
            pf->alpha = true;
        } else if (cc == FourCC("DXT2") || cc == FourCC("DXT3")) {
            pf->layout = Layout::Dxt3;
            pf->alpha = true;
        } else if (cc == FourCC("DXT4") || cc == FourCC("DXT5")) {
            pf->layout = Layout::Dxt5;
            pf->alpha = true;
        } else {
            char name[5] = {char(cc), char(cc >> 8), char(cc >> 16), char(cc >> 24), 0};
            return Fail(error, std::string("unsupported compression \"") + name + "\"");
        }
        return true;
    }
    if (!(flags & (kPfRgb | kPfLuminance | kPfAlpha))) return Fail(error, "unsupported pixel format");
    pf->layout = Layout::Masks;
    pf->bits = Read32(p + 12);
    if (pf->bits != 8 && pf->bits != 16 && pf->bits != 24 && pf->bits != 32) {
        return Fail(error, "unsupported bit count " + std::to_string(pf->bits));
    }
    for (int k = 0; k < 4; ++k)
        pf->mask[k] = Read32(p + 16 + 4 * k);
    if (!(flags & (kPfAlphaPixels | kPfAlpha))) pf->mask[3] = 0;
    pf->luminance = (flags & kPfLuminance) != 0;
    pf->alpha = pf->mask[3] != 0;
    return true;
}

struct Header {
    uint32_t width = 0, height = 0, levels = 1, faces = 1;
    PixelFormat pf;
};

bool ReadHeader(const uint8_t* data, size_t size, Header* out, std::string* error) {
    if (!data || size < 4 + kHeaderSize || std::memcmp(data, "DDS ", 4) != 0) return Fail(error, "not a DDS file");
    const uint8_t* h = data + 4;
    if (Read32(h) != kHeaderSize) return Fail(error, "bad header size");
    const uint32_t flags = Read32(h + 4);
    const uint32_t height = Read32(h + 8), width = Read32(h + 12);
    uint32_t levels = (flags & kFlagMipMapCount) ? Read32(h + 24) : 1;
    if (!ReadPixelFormat(h + 72, &out->pf, error)) return false;
    const uint32_t caps2 = Read32(h + 108);
    if (caps2 & kCaps2Volume) return Fail(error, "volume textures are not supported");
    if (width == 0 || height == 0 || width > kMaxSide || height > kMaxSide) {
        return Fail(error, "bad size " + std::to_string(width) + " x " + std::to_string(height));
    }
    const uint32_t maxLevels = uint32_t(std::bit_width(std::max(width, height)));
    if (levels == 0) levels = 1;
    if (levels > maxLevels) return Fail(error, "bad mip level count " + std::to_string(levels));
    uint32_t faces = 1;
    if (caps2 & kCaps2Cube) {
        if ((caps2 & kCaps2AllFaces) != kCaps2AllFaces) return Fail(error, "cube map without all six faces");
        if (width != height) return Fail(error, "cube map faces are not square");
        faces = 6;
    }

    // The surfaces together stay within the limit; each one's data is
    // checked against the file before it is allocated, below.
    uint64_t pixels = 0;
    for (uint32_t level = 0; level < levels; ++level)
        pixels += uint64_t(LevelSize(width, level)) * LevelSize(height, level) * faces;
    if (pixels > kMaxPixels) {
        return Fail(error, "picture of " + std::to_string(width) + " x " + std::to_string(height) +
                               " pixels in " + std::to_string(faces * levels) +
                               " surfaces is larger than the limit");
    }
    out->width = width;
    out->height = height;
    out->levels = levels;
    out->faces = faces;
    return true;
}

Compression CompressionOf(const PixelFormat& pf) {
    switch (pf.layout) {
    case Layout::Dxt1:
        return Compression::Dxt1;
    case Layout::Dxt3:
        return Compression::Dxt3;
    case Layout::Dxt5:
        return Compression::Dxt5;
    case Layout::Masks:
        break;
    }
    return Compression::None;
}

} // namespace

bool ReadDdsInfo(const uint8_t* data, size_t size, Info* out, std::string* error) {
    *out = Info();
    Header h;
    if (!ReadHeader(data, size, &h, error)) return false;
    out->format = FileFormat::Dds;
    out->width = h.width;
    out->height = h.height;
    out->levels = h.levels;
    out->faces = h.faces;
    out->hasAlpha = h.pf.alpha;
    out->compression = CompressionOf(h.pf);
    return true;
}

uint64_t CompressedBytes(Compression c, uint32_t width, uint32_t height) {
    const uint64_t blocks = uint64_t((width + 3) / 4) * ((height + 3) / 4);
    return blocks * (c == Compression::Dxt1 ? 8 : 16);
}

bool DecodeCompressed(Compression c, const uint8_t* blocks, size_t size, Image* img) {
    if (c == Compression::None || img->Empty() || CompressedBytes(c, img->width, img->height) > size) return false;
    PixelFormat pf;
    pf.layout = c == Compression::Dxt1 ? Layout::Dxt1 : c == Compression::Dxt3 ? Layout::Dxt3 : Layout::Dxt5;
    img->pixels.resize(size_t(img->width) * img->height);
    DecodeBlocks(pf, blocks, *img);
    return true;
}

bool DecodeDds(const uint8_t* data, size_t size, Picture* out, std::string* error, const DecodeOptions& options) {
    *out = Picture();
    Header h;
    if (!ReadHeader(data, size, &h, error)) return false;
    const PixelFormat& pf = h.pf;
    // Reducing drops top levels; a file with fewer keeps its smallest, and a
    // file without levels is filtered down by the same factor below.
    const uint32_t skip = std::min(options.skipTopLevels, h.levels - 1);
    const uint32_t shrink = h.levels == 1 ? std::min(options.skipTopLevels, 31u) : 0;
    const bool keepBlocks = options.keepBlocks && pf.layout != Layout::Masks && shrink == 0;

    out->format = FileFormat::Dds;
    out->width = LevelSize(h.width, skip + shrink);
    out->height = LevelSize(h.height, skip + shrink);
    out->levels = h.levels - skip;
    out->faces = h.faces;
    out->hasAlpha = pf.alpha;
    out->compression = keepBlocks ? CompressionOf(pf) : Compression::None;
    size_t offset = 4 + kHeaderSize;
    for (uint32_t face = 0; face < h.faces; ++face) {
        for (uint32_t level = 0; level < h.levels; ++level) {
            Image img;
            img.width = LevelSize(h.width, level);
            img.height = LevelSize(h.height, level);
            const uint64_t bytes = SurfaceBytes(pf, img.width, img.height);
            if (bytes > size - offset) {
                *out = Picture();
                return Fail(error, "data ends inside face " + std::to_string(face) + " level " +
                                       std::to_string(level));
            }
            const uint8_t* src = data + offset;
            offset += size_t(bytes);
            if (level < skip) continue;
            if (keepBlocks) out->blocks.emplace_back(src, src + bytes);
            if (keepBlocks && !options.decodeBlocks) {
                out->surfaces.push_back(std::move(img));
                continue;
            }
            img.pixels.resize(size_t(img.width) * img.height);
            if (pf.layout == Layout::Masks) {
                DecodeMasks(pf, src, img);
            } else {
                DecodeBlocks(pf, src, img);
            }
            if (shrink) img = Resample(img, out->width, out->height);
            out->surfaces.push_back(std::move(img));
        }
    }
    return true;
}

} // namespace image
