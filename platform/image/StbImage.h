// The one translation unit that compiles stb_image, behind a small call that
// always returns RGBA bytes (rows top-down).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace image {

struct StbPicture {
    uint32_t width = 0;
    uint32_t height = 0;
    int channels = 0; // what the file held (1..4)
    std::vector<uint8_t> rgba;
    const char* failure = "";
};

bool StbDecode(const uint8_t* data, size_t size, StbPicture* out);
// The size and channels the file declares, from its header alone (rgba
// stays empty).
bool StbInfo(const uint8_t* data, size_t size, StbPicture* out);

} // namespace image
