// libFuzzer target: any bytes after a "DDS " tag, through the DDS reader alone
// (block-compressed and masked layouts, mip levels, cube faces).
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "platform/image/Image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> file(4 + size);
    std::memcpy(file.data(), "DDS ", 4);
    if (size) std::memcpy(file.data() + 4, data, size);
    image::Picture picture;
    std::string error;
    image::DecodeDds(file.data(), file.size(), &picture, &error);
    return 0;
}
