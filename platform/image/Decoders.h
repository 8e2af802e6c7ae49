// The library decoders behind one small interface that always returns RGBA
// bytes (rows top-down): stb_image for BMP, TGA and PNG, libjpeg-turbo for
// JPEG (stb_image's JPEG decoder reads outside its tables on corrupt Huffman
// data; libjpeg-turbo checks every code it decodes).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace image {

struct RgbaPicture {
    uint32_t width = 0;
    uint32_t height = 0;
    int channels = 0; // what the file held (1..4)
    std::vector<uint8_t> rgba;
    std::string failure;
};

bool StbDecode(const uint8_t* data, size_t size, RgbaPicture* out);
// The size and channels the file declares, from its header alone (rgba
// stays empty).
bool StbInfo(const uint8_t* data, size_t size, RgbaPicture* out);

bool JpegDecode(const uint8_t* data, size_t size, RgbaPicture* out);
bool JpegInfo(const uint8_t* data, size_t size, RgbaPicture* out);

} // namespace image
