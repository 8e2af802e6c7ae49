// Pictures from files onto the device: textures with their full mip chain,
// and system-memory surfaces filled with a picture scaled to their size.
// File names go through the path resolver; failures return a result and an
// error "file: what is wrong" for the caller to log.
#pragma once

#include <string>

#include "platform/gfx/Draw.h"
#include "platform/image/Image.h"

namespace gfx {

// What a loaded file held.
struct ImageInfo {
    uint32_t Width = 0;
    uint32_t Height = 0;
    uint32_t MipLevels = 0;
    image::FileFormat FileFormat = image::FileFormat::Unknown;
    bool HasAlpha = false;
};

// A managed A8R8G8B8 texture of the file's size (a DDS file's own mip
// levels, else a full chain made by halving). Texels equal to a non-zero
// colour key become transparent black.
Result CreateTextureFromFile(Device* device, const char* fileName, uint32_t colorKey, Texture** out,
                             ImageInfo* info = nullptr, std::string* error = nullptr);

// Fills a lockable surface with the file's picture, resampled to the
// surface's size; texels equal to a non-zero colour key become transparent
// black.
Result LoadSurfaceFromFile(Surface* surface, const char* fileName, uint32_t colorKey,
                           ImageInfo* info = nullptr, std::string* error = nullptr);

// Writes a lockable surface to a 24-bit BMP file.
Result SaveSurfaceToBmp(Surface* surface, const char* fileName);

} // namespace gfx
