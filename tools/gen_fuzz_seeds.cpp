// Writes the small picture seeds of the image fuzz targets that data/ has no
// file of: BMP, run-length TGA, PNG and JPG through stb_image_write, and DDS
// files (DXT1, DXT5, 32-bit masks with mip levels, a cube map) by hand.
//
//   g++ -std=c++20 tools/gen_fuzz_seeds.cpp -o /tmp/gen_fuzz_seeds
//   /tmp/gen_fuzz_seeds tests/fuzz/corpus
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image_write.h>

namespace {

std::vector<uint8_t> Pattern(int w, int h, int n) {
    std::vector<uint8_t> p(size_t(w) * h * n);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < n; ++c)
                p[(size_t(y) * w + x) * n + c] = uint8_t((x * 40 + y * 25 + c * 70) & 0xFF);
    return p;
}

void Put32(std::vector<uint8_t>& v, uint32_t x) {
    for (int i = 0; i < 4; ++i)
        v.push_back(uint8_t(x >> (8 * i)));
}

// "DDS " is left out when `tag` is false (the DDS target adds it itself).
std::vector<uint8_t> Dds(bool tag, uint32_t w, uint32_t h, uint32_t levels, const char* fourcc, uint32_t bits,
                         bool cube) {
    std::vector<uint8_t> v;
    if (tag) v.insert(v.end(), {'D', 'D', 'S', ' '});
    Put32(v, 124);
    Put32(v, 0x1007 | (levels > 1 ? 0x20000 : 0));
    Put32(v, h);
    Put32(v, w);
    Put32(v, 0);
    Put32(v, 0);
    Put32(v, levels);
    for (int i = 0; i < 11; ++i)
        Put32(v, 0);
    Put32(v, 32);
    if (fourcc) {
        Put32(v, 0x4);
        v.insert(v.end(), fourcc, fourcc + 4);
        for (int i = 0; i < 5; ++i)
            Put32(v, 0);
    } else {
        Put32(v, 0x41);
        Put32(v, 0);
        Put32(v, bits);
        Put32(v, 0x00FF0000);
        Put32(v, 0x0000FF00);
        Put32(v, 0x000000FF);
        Put32(v, 0xFF000000);
    }
    Put32(v, 0x1000);
    Put32(v, cube ? 0xFE00 : 0);
    Put32(v, 0);
    Put32(v, 0);
    Put32(v, 0);
    const uint32_t faces = cube ? 6 : 1;
    uint32_t seed = 1;
    for (uint32_t f = 0; f < faces; ++f) {
        for (uint32_t l = 0; l < levels; ++l) {
            const uint32_t lw = w >> l ? w >> l : 1, lh = h >> l ? h >> l : 1;
            size_t bytes = fourcc ? size_t((lw + 3) / 4) * ((lh + 3) / 4) * (fourcc[3] == '1' ? 8 : 16)
                                  : size_t(lw) * lh * bits / 8;
            for (size_t i = 0; i < bytes; ++i) {
                seed = seed * 1103515245 + 12345;
                v.push_back(uint8_t(seed >> 16));
            }
        }
    }
    return v;
}

void Write(const std::string& name, const std::vector<uint8_t>& v) {
    std::FILE* f = std::fopen(name.c_str(), "wb");
    if (!f) {
        std::perror(name.c_str());
        return;
    }
    std::fwrite(v.data(), 1, v.size(), f);
    std::fclose(f);
}

} // namespace

int main(int argc, char** argv) {
    const std::string dir = argc > 1 ? argv[1] : "tests/fuzz/corpus";
    const std::string image = dir + "/image/", dds = dir + "/dds/";
    const auto rgb = Pattern(8, 6, 3), rgba = Pattern(8, 6, 4), grey = Pattern(5, 3, 1);
    stbi_write_bmp((image + "small.bmp").c_str(), 8, 6, 3, rgb.data());
    stbi_write_tga((image + "small_rle.tga").c_str(), 8, 6, 4, rgba.data());
    stbi_write_png((image + "small.png").c_str(), 8, 6, 4, rgba.data(), 8 * 4);
    stbi_write_png((image + "grey.png").c_str(), 5, 3, 1, grey.data(), 5);
    stbi_write_jpg((image + "small.jpg").c_str(), 8, 6, 3, rgb.data(), 80);
    stbi_write_jpg((image + "grey.jpg").c_str(), 5, 3, 1, grey.data(), 80);
    Write(image + "small_dxt1.dds", Dds(true, 8, 8, 1, "DXT1", 0, false));
    Write(dds + "dxt1.dds", Dds(false, 8, 8, 4, "DXT1", 0, false));
    Write(dds + "dxt3.dds", Dds(false, 4, 4, 1, "DXT3", 0, false));
    Write(dds + "dxt5.dds", Dds(false, 8, 4, 1, "DXT5", 0, false));
    Write(dds + "argb_mips.dds", Dds(false, 4, 4, 3, nullptr, 32, false));
    Write(dds + "cube.dds", Dds(false, 4, 4, 1, "DXT1", 0, true));
    return 0;
}
