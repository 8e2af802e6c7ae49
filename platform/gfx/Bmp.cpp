#include "platform/gfx/Bmp.h"

#include <vector>

namespace gfx {
namespace {

void Put16(std::vector<uint8_t>& b, uint32_t v) {
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
}
void Put32(std::vector<uint8_t>& b, uint32_t v) {
    Put16(b, v & 0xFFFF);
    Put16(b, v >> 16);
}

} // namespace

bool WriteBmp(std::FILE* f, uint32_t width, uint32_t height, const uint32_t* pixels, uint32_t pitch) {
    if (!f || !pixels || width == 0 || height == 0) return false;
    const uint32_t rowBytes = (width * 3 + 3) & ~3u;
    const uint32_t imageBytes = rowBytes * height;
    std::vector<uint8_t> b;
    b.reserve(54 + imageBytes);
    // File header.
    b.push_back('B');
    b.push_back('M');
    Put32(b, 54 + imageBytes);
    Put32(b, 0);
    Put32(b, 54);
    // Info header (BITMAPINFOHEADER): positive height, rows bottom-up.
    Put32(b, 40);
    Put32(b, width);
    Put32(b, height);
    Put16(b, 1);
    Put16(b, 24);
    Put32(b, 0);
    Put32(b, imageBytes);
    Put32(b, 2835);
    Put32(b, 2835);
    Put32(b, 0);
    Put32(b, 0);
    for (uint32_t row = 0; row < height; ++row) {
        const uint32_t* src = pixels + size_t(height - 1 - row) * pitch;
        for (uint32_t x = 0; x < width; ++x) {
            b.push_back(uint8_t(src[x]));
            b.push_back(uint8_t(src[x] >> 8));
            b.push_back(uint8_t(src[x] >> 16));
        }
        for (uint32_t pad = width * 3; pad < rowBytes; ++pad)
            b.push_back(0);
    }
    return std::fwrite(b.data(), 1, b.size(), f) == b.size();
}

} // namespace gfx
