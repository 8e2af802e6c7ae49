// Pictures from files onto the device: textures with their full mip chain,
// and system-memory surfaces filled with a picture scaled to their size.
// File names go through the path resolver; failures return a result and an
// error "file: what is wrong" for the caller to log.
#pragma once

#include <string>

#include "platform/gfx/Draw.h"
#include "platform/image/Image.h"

namespace gfx {

// What a file held (or, from GetImageInfoFromFile, what its header tells).
struct ImageInfo {
    uint32_t Width = 0;
    uint32_t Height = 0;
    uint32_t MipLevels = 0;
    image::FileFormat FileFormat = image::FileFormat::Unknown;
    bool HasAlpha = false;
    // The texture format the file loads into: Dxt1, Dxt3 or Dxt5 for a
    // block-compressed DDS file, else A8R8G8B8 (X8R8G8B8 without alpha).
    gfx::Format Format = gfx::Format::Unknown;
    ResourceType Type = ResourceType::Texture; // CubeTexture for a cube map
};

// Reads only the file's header.
Result GetImageInfoFromFile(const char* fileName, ImageInfo* info, std::string* error = nullptr);

struct TextureLoad {
    // Texels equal to a non-zero colour key become transparent black (the
    // texture is then decoded, never compressed).
    uint32_t colorKey = 0;
    // Reduced quality: DDS mip levels dropped from the top (see
    // image::DecodeOptions::skipTopLevels).
    uint32_t skipTopLevels = 0;
    // Compressed files are decoded on the CPU into A8R8G8B8 textures.
    bool decodeCompressed = false;
};

// A managed texture of the file's size in the file's format (a DDS file's
// own mip levels, else a full chain made by halving; a compressed file
// without levels keeps its one level).
Result CreateTextureFromFile(Device* device, const char* fileName, const TextureLoad& load, Texture** out,
                             ImageInfo* info = nullptr, std::string* error = nullptr);
// A managed cube texture from a DDS cube map (other files are refused).
Result CreateCubeTextureFromFile(Device* device, const char* fileName, const TextureLoad& load,
                                 CubeTexture** out, ImageInfo* info = nullptr, std::string* error = nullptr);

// Fills a lockable surface with the file's picture, resampled to the
// surface's size; texels equal to a non-zero colour key become transparent
// black.
Result LoadSurfaceFromFile(Surface* surface, const char* fileName, uint32_t colorKey,
                           ImageInfo* info = nullptr, std::string* error = nullptr);

// Writes a lockable surface to a 24-bit BMP file.
Result SaveSurfaceToBmp(Surface* surface, const char* fileName);

} // namespace gfx
