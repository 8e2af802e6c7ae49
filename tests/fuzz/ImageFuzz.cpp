// libFuzzer target: any bytes as a picture file (BMP, TGA, PNG, JPG or DDS,
// chosen by content as the texture loader does). The decoder must refuse or
// decode every input without a crash, a read outside its data, or memory
// beyond what the file's data can fill.
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/image/Image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string error;
    // The header alone, as the texture registry reads it when it scans.
    image::Info info;
    image::ReadInfo(data, size, &info, &error);
    image::Picture picture;
    if (!image::Decode(data, size, &picture, &error)) return 0;
    // What the texture loader does next: the first surface at another size.
    image::Image small = image::Resample(picture.surfaces[0], 7, 5);
    image::ApplyColorKey(small, 0xFF000000);
    return 0;
}
