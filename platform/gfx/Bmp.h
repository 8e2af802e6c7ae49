// Writing pictures as BMP files: 24 bits per pixel, rows stored bottom-up as
// the format expects, so the picture shows upright in every viewer.
#pragma once

#include <cstdint>
#include <cstdio>

namespace gfx {

// pixels: packed ARGB (alpha ignored), rows top-down, `pitch` pixels apart.
bool WriteBmp(std::FILE* f, uint32_t width, uint32_t height, const uint32_t* pixels, uint32_t pitch);

} // namespace gfx
