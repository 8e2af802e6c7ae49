// Pictures in memory: decoding of the image files the game reads (BMP, TGA
// and PNG through stb_image, JPG through libjpeg-turbo; DDS by the project's
// own reader with DXT1, DXT3, DXT5 and uncompressed layouts, mip levels and
// cube faces), resampling to a requested size, colour keys, and BMP writing.
//
// Every picture is packed ARGB (blue in the low byte), rows top-down: row 0
// is the top of the picture, whatever order the file stores its rows in.
//
// Failure policy: a decoder checks every size and offset against the data it
// was given and fails with a message "what is wrong" (the caller prefixes the
// file name when it logs); nothing reads past its input. The size a file
// declares is checked before anything is decoded or allocated: against the
// limits below and against the least data a picture of that size needs in
// its format, so a short file cannot make a decoder build a large picture.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace image {

// The largest picture a file may declare: each side at most kMaxSide pixels
// and all its surfaces (mip levels and cube faces included) at most
// kMaxPixels pixels, 256 MB decoded. Far beyond any texture or screen
// picture of the game.
constexpr uint32_t kMaxSide = 16384;
constexpr uint64_t kMaxPixels = uint64_t(8192) * 8192;

// One picture: width x height ARGB pixels, rows top-down and tightly packed.
struct Image {
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<uint32_t> pixels;

    bool Empty() const { return width == 0 || height == 0; }
    uint32_t At(uint32_t x, uint32_t y) const { return pixels[size_t(y) * width + x]; }
    uint32_t& At(uint32_t x, uint32_t y) { return pixels[size_t(y) * width + x]; }
};

// What a file held, before any resampling.
enum class FileFormat { Unknown, Bmp, Tga, Png, Jpg, Dds };
// Block compression of a DDS file's surfaces.
enum class Compression { None, Dxt1, Dxt3, Dxt5 };

// What a file's header tells, without decoding its pixels.
struct Info {
    FileFormat format = FileFormat::Unknown;
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t levels = 0;
    uint32_t faces = 0; // 1, or 6 for a cube map
    bool hasAlpha = false;
    Compression compression = Compression::None;
};

// A decoded file. Plain pictures have one face and one level; DDS files may
// have mip levels (each half the size of the one before, at least 1) and six
// cube faces (+X, -X, +Y, -Y, +Z, -Z). Surfaces are stored face by face,
// each face's levels largest first.
struct Picture {
    FileFormat format = FileFormat::Unknown;
    uint32_t width = 0;  // level 0
    uint32_t height = 0; // level 0
    uint32_t levels = 0;
    uint32_t faces = 0; // 1, or 6 for a cube map
    bool hasAlpha = false;
    std::vector<Image> surfaces;
    // The file's own blocks of each surface (same order as `surfaces`),
    // kept when asked (DecodeOptions::keepBlocks); compression is None
    // otherwise.
    Compression compression = Compression::None;
    std::vector<std::vector<uint8_t>> blocks;

    const Image& Surface(uint32_t face, uint32_t level) const {
        return surfaces[size_t(face) * levels + level];
    }
    bool IsCube() const { return faces == 6; }
};

struct DecodeOptions {
    // DDS files: mip levels dropped from the top (reduced quality). A file
    // with fewer levels keeps its smallest one; a file without mip levels is
    // box-filtered by the same factor (2 gives a quarter of each side), so
    // reducing always reduces. Other files are taken as they are.
    uint32_t skipTopLevels = 0;
    // Block-compressed DDS files: keep each surface's blocks in `blocks`;
    // with decodeBlocks off the surfaces then carry their sizes only. A file
    // that is filtered down keeps no blocks.
    bool keepBlocks = false;
    bool decodeBlocks = true;
};

// Decodes a whole file held in memory, choosing the decoder by its content.
// False with `error` set when the data is not a picture this layer reads.
bool Decode(const uint8_t* data, size_t size, Picture* out, std::string* error, const DecodeOptions& options = {});
// The DDS reader alone (also used by Decode).
bool DecodeDds(const uint8_t* data, size_t size, Picture* out, std::string* error,
               const DecodeOptions& options = {});
// The header of a file held in memory (the first bytes are enough): size,
// levels, faces and compression, without decoding.
bool ReadInfo(const uint8_t* data, size_t size, Info* out, std::string* error);
bool ReadDdsInfo(const uint8_t* data, size_t size, Info* out, std::string* error);

// Bytes of one surface of a block-compressed layout.
uint64_t CompressedBytes(Compression c, uint32_t width, uint32_t height);
// Decodes one surface of blocks into `img` (whose width and height are set);
// false when the data is too short or the layout is not compressed.
bool DecodeCompressed(Compression c, const uint8_t* blocks, size_t size, Image* img);

// Reads and decodes a file through the path resolver. The error names the
// file: "name: what is wrong".
bool LoadFile(std::string_view name, Picture* out, std::string* error, const DecodeOptions& options = {});
// Reads only as much of a file as its header needs.
bool LoadFileInfo(std::string_view name, Info* out, std::string* error);

// Size of a mip level: max(1, size >> level).
inline uint32_t LevelSize(uint32_t size, uint32_t level) {
    uint32_t s = level < 32 ? size >> level : 0;
    return s ? s : 1;
}

// The picture at another size. Each output pixel is the average of the
// source area it covers (box filter) when shrinking, and a bilinear blend of
// the four nearest source pixels when enlarging; a same-size request copies.
// An empty source or a zero size gives an empty picture.
Image Resample(const Image& src, uint32_t width, uint32_t height);

// Every pixel equal to `key` (all four channels) becomes 0 (transparent
// black). A key of 0 means no colour key.
void ApplyColorKey(Image& img, uint32_t key);

// Writes the picture as a 24-bit BMP (alpha dropped) through the path
// resolver; the file keeps the picture upright (rows stored bottom-up as the
// format expects).
bool SaveBmp(std::string_view name, const Image& img);

} // namespace image
