#include "platform/image/Decoders.h"

#include <climits>

#include "platform/image/Image.h"

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wall"
#pragma GCC diagnostic ignored "-Wextra"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#define STB_IMAGE_IMPLEMENTATION
#define STB_IMAGE_STATIC
#define STBI_NO_STDIO
#define STBI_ONLY_BMP
#define STBI_ONLY_TGA
#define STBI_ONLY_PNG
#define STBI_MAX_DIMENSIONS 16384
#include <stb_image.h>
#pragma GCC diagnostic pop

namespace image {

static_assert(STBI_MAX_DIMENSIONS == kMaxSide);

static const char* Reason() {
    const char* r = stbi_failure_reason();
    return r ? r : "unknown format";
}

bool StbDecode(const uint8_t* data, size_t size, RgbaPicture* out) {
    *out = RgbaPicture();
    if (!data || size == 0 || size > size_t(INT_MAX)) {
        out->failure = "no data";
        return false;
    }
    int w = 0, h = 0, n = 0;
    stbi_uc* p = stbi_load_from_memory(data, int(size), &w, &h, &n, 4);
    if (!p) {
        out->failure = Reason();
        return false;
    }
    out->width = uint32_t(w);
    out->height = uint32_t(h);
    out->channels = n;
    out->rgba.assign(p, p + size_t(w) * size_t(h) * 4);
    stbi_image_free(p);
    return true;
}

bool StbInfo(const uint8_t* data, size_t size, RgbaPicture* out) {
    *out = RgbaPicture();
    if (!data || size == 0 || size > size_t(INT_MAX)) {
        out->failure = "no data";
        return false;
    }
    int w = 0, h = 0, n = 0;
    // A top-down BMP declares a negative height.
    const bool known = stbi_info_from_memory(data, int(size), &w, &h, &n) != 0;
    if (known && h < 0 && h != INT_MIN) h = -h;
    if (!known || w <= 0 || h <= 0) {
        out->failure = known ? "bad size" : Reason();
        return false;
    }
    out->width = uint32_t(w);
    out->height = uint32_t(h);
    out->channels = n;
    return true;
}

} // namespace image
