// The screenshots the game saves (24-bit .bmp, rows bottom-up) read into
// top-down rows of 0x00RRGGBB.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

struct Bmp {
    int width = 0, height = 0;
    std::vector<uint32_t> px; // rows top-down, 0x00RRGGBB
    uint32_t At(int x, int y) const { return px[size_t(y) * width + x]; }
};

// False when the file is missing, not yet whole, or no 24-bit picture.
inline bool ReadBmp(const std::filesystem::path& file, Bmp* out) {
    std::ifstream in(file, std::ios::binary);
    std::string b((std::istreambuf_iterator<char>(in)), {});
    if (b.size() < 54 || b[0] != 'B' || b[1] != 'M') return false;
    auto u32 = [&](size_t at) {
        return uint32_t(uint8_t(b[at])) | uint32_t(uint8_t(b[at + 1])) << 8 |
               uint32_t(uint8_t(b[at + 2])) << 16 | uint32_t(uint8_t(b[at + 3])) << 24;
    };
    const uint32_t offset = u32(10);
    out->width = int(u32(18));
    out->height = int(u32(22));
    const size_t row = (size_t(out->width) * 3 + 3) & ~size_t(3);
    if (out->width <= 0 || out->height <= 0 || b.size() < offset + row * out->height) return false;
    out->px.resize(size_t(out->width) * out->height);
    for (int y = 0; y < out->height; ++y) {
        const char* r = b.data() + offset + row * size_t(out->height - 1 - y);
        for (int x = 0; x < out->width; ++x) {
            out->px[size_t(y) * out->width + x] = uint32_t(uint8_t(r[3 * x + 2])) << 16 |
                                                  uint32_t(uint8_t(r[3 * x + 1])) << 8 | uint8_t(r[3 * x]);
        }
    }
    return true;
}
