#include "platform/image/Image.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "platform/gfx/Bmp.h"
#include "platform/image/Decoders.h"
#include "platform/os/Os.h"

namespace image {
namespace {

bool Fail(std::string* error, const char* what) {
    if (error) *error = what;
    return false;
}

bool StartsWith(const uint8_t* data, size_t size, const char* magic) {
    const size_t n = std::strlen(magic);
    return size >= n && std::memcmp(data, magic, n) == 0;
}

// stb_image's own checks decide whether a TGA is valid (the format has no
// magic); the other formats are recognised by their first bytes.
FileFormat Sniff(const uint8_t* data, size_t size) {
    if (StartsWith(data, size, "DDS ")) return FileFormat::Dds;
    if (StartsWith(data, size, "BM")) return FileFormat::Bmp;
    if (StartsWith(data, size, "\x89PNG")) return FileFormat::Png;
    // A JPEG's first marker may follow fill bytes 0xFF, as in any marker.
    size_t fill = 0;
    while (fill < size && data[fill] == 0xFF)
        ++fill;
    if (fill > 0 && fill < size && data[fill] == 0xD8) return FileFormat::Jpg;
    return FileFormat::Tga;
}

uint32_t Le16(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8;
}
uint32_t Le32(const uint8_t* p) {
    return Le16(p) | Le16(p + 2) << 16;
}

// The least number of bytes a file of the format needs to hold a picture of
// w x h pixels. The decoders fill what a short file lacks with zeros, so the
// size is checked here, from the header alone, whose missing bytes read 0
// as the decoder reads them.
uint64_t LeastFileBytes(FileFormat format, const uint8_t* data, size_t size, uint64_t w, uint64_t h) {
    uint8_t d[32] = {};
    std::memcpy(d, data, std::min(size, sizeof d));
    const uint64_t pixels = w * h;
    switch (format) {
    case FileFormat::Bmp: {
        // The rows of an uncompressed bitmap, the last one maybe without its padding.
        const uint32_t header = Le32(d + 14);
        const uint64_t bits = header == 12 ? Le16(d + 24) : Le16(d + 28);
        const uint64_t row = (w * bits + 31) / 32 * 4;
        return 14 + header + row * (h - 1) + (w * bits + 7) / 8;
    }
    case FileFormat::Tga: {
        // Raw pixels, or run-length packets of at most 128 pixels, each a
        // count byte and at least one pixel value.
        const uint64_t map = d[1] ? Le16(d + 5) * uint64_t((d[7] + 7) / 8) : 0;
        const uint64_t header = 18 + d[0] + map;
        const uint64_t bytes = (d[16] + 7) / 8;
        if (d[2] & 8) return header + (pixels + 127) / 128 * (1 + bytes);
        return header + pixels * bytes;
    }
    case FileFormat::Png: {
        // The filtered rows, deflated at best 1032 to 1.
        static constexpr uint64_t kChannels[7] = {1, 0, 3, 1, 2, 0, 4};
        const uint64_t depth = d[24], channels = d[25] < 7 ? kChannels[d[25]] : 1;
        const uint64_t raw = h * (1 + (w * channels * depth + 7) / 8);
        return raw / 1032;
    }
    case FileFormat::Jpg:
        // At least one bit for each 8 x 8 block.
        return pixels / 512;
    default:
        return 0;
    }
}

uint32_t Be32(const uint8_t* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

// stb_image takes the memory a PNG chunk declares before it reads the chunk:
// every chunk's length (with its type and checksum) must fit in what is left
// of the file. The declared length, 0 when all fit.
uint64_t PngChunkBeyondTheFile(const uint8_t* d, size_t size) {
    for (size_t p = 8; p + 8 <= size;) {
        const uint64_t length = Be32(d + p);
        if (length + 12 > size - p) return length;
        if (std::memcmp(d + p + 4, "IEND", 4) == 0) break;
        p += size_t(length) + 12;
    }
    return 0;
}

bool CheckDeclaredSize(FileFormat format, const uint8_t* data, size_t size, uint32_t w, uint32_t h,
                       std::string* error) {
    const std::string dims = std::to_string(w) + " x " + std::to_string(h);
    if (w > kMaxSide || h > kMaxSide || uint64_t(w) * h > kMaxPixels) {
        if (error) *error = "picture of " + dims + " pixels is larger than the limit";
        return false;
    }
    if (format == FileFormat::Png) {
        if (const uint64_t chunk = PngChunkBeyondTheFile(data, size)) {
            if (error)
                *error = "PNG chunk of " + std::to_string(chunk) + " bytes, the file holds " +
                         std::to_string(size);
            return false;
        }
    }
    const uint64_t least = LeastFileBytes(format, data, size, w, h);
    if (least > size) {
        if (error)
            *error = "picture of " + dims + " pixels needs at least " + std::to_string(least) +
                     " bytes, the file holds " + std::to_string(size);
        return false;
    }
    return true;
}

// The header of a file from the decoder of its format.
bool ReadHeader(const uint8_t* data, size_t size, FileFormat format, RgbaPicture* info,
                std::string* error) {
    const bool ok = format == FileFormat::Jpg ? JpegInfo(data, size, info) : StbInfo(data, size, info);
    if (!ok && error) *error = "cannot decode picture (" + info->failure + ")";
    return ok;
}

bool DecodeRgba(const uint8_t* data, size_t size, FileFormat format, Picture* out, std::string* error) {
    RgbaPicture info;
    if (!ReadHeader(data, size, format, &info, error)) return false;
    if (!CheckDeclaredSize(format, data, size, info.width, info.height, error)) return false;
    RgbaPicture p;
    const bool ok = format == FileFormat::Jpg ? JpegDecode(data, size, &p) : StbDecode(data, size, &p);
    if (!ok) {
        if (error) *error = "cannot decode picture (" + p.failure + ")";
        return false;
    }
    out->format = format;
    out->width = p.width;
    out->height = p.height;
    out->levels = 1;
    out->faces = 1;
    out->hasAlpha = p.channels == 2 || p.channels == 4;
    Image img;
    img.width = p.width;
    img.height = p.height;
    img.pixels.resize(size_t(p.width) * p.height);
    for (size_t i = 0; i < img.pixels.size(); ++i) {
        const uint8_t* s = p.rgba.data() + i * 4;
        img.pixels[i] = uint32_t(s[3]) << 24 | uint32_t(s[0]) << 16 | uint32_t(s[1]) << 8 | s[2];
    }
    out->surfaces.clear();
    out->surfaces.push_back(std::move(img));
    return true;
}

// ---- Resampling ----------------------------------------------------------------

// One axis of the separable filter: for each output position, the source
// indexes and weights that make it.
struct Tap {
    uint32_t index;
    float weight;
};
struct AxisFilter {
    std::vector<uint32_t> start; // first tap of each output position
    std::vector<Tap> taps;
};

AxisFilter MakeAxis(uint32_t src, uint32_t dst) {
    AxisFilter f;
    f.start.reserve(dst + 1);
    const double scale = double(src) / double(dst);
    for (uint32_t o = 0; o < dst; ++o) {
        f.start.push_back(uint32_t(f.taps.size()));
        if (dst <= src) {
            // Box: the source interval [o * scale, (o + 1) * scale).
            const double a = o * scale, b = (o + 1) * scale;
            for (uint32_t i = uint32_t(a); i < src && double(i) < b; ++i) {
                const double cover = std::min(b, double(i + 1)) - std::max(a, double(i));
                if (cover > 0) f.taps.push_back({i, float(cover / scale)});
            }
        } else {
            // Bilinear between the two source centres around this one.
            const double c = (o + 0.5) * scale - 0.5;
            const double lo = std::floor(c);
            const double t = c - lo;
            const int64_t i0 = std::clamp<int64_t>(int64_t(lo), 0, src - 1);
            const int64_t i1 = std::clamp<int64_t>(int64_t(lo) + 1, 0, src - 1);
            f.taps.push_back({uint32_t(i0), float(1.0 - t)});
            f.taps.push_back({uint32_t(i1), float(t)});
        }
    }
    f.start.push_back(uint32_t(f.taps.size()));
    return f;
}

uint32_t Pack(const float* c) {
    uint32_t v = 0;
    for (int k = 0; k < 4; ++k) {
        const long q = std::lround(std::clamp(c[k], 0.0f, 255.0f));
        v |= uint32_t(q) << (24 - 8 * k);
    }
    return v;
}

} // namespace

bool Decode(const uint8_t* data, size_t size, Picture* out, std::string* error,
            const DecodeOptions& options) {
    *out = Picture();
    if (!data || size == 0) return Fail(error, "empty file");
    const FileFormat format = Sniff(data, size);
    if (format == FileFormat::Dds) return DecodeDds(data, size, out, error, options);
    return DecodeRgba(data, size, format, out, error);
}

bool ReadInfo(const uint8_t* data, size_t size, Info* out, std::string* error) {
    *out = Info();
    if (!data || size == 0) return Fail(error, "empty file");
    const FileFormat format = Sniff(data, size);
    if (format == FileFormat::Dds) return ReadDdsInfo(data, size, out, error);
    RgbaPicture p;
    if (!ReadHeader(data, size, format, &p, error)) return false;
    out->format = format;
    out->width = p.width;
    out->height = p.height;
    out->levels = 1;
    out->faces = 1;
    out->hasAlpha = p.channels == 2 || p.channels == 4;
    return true;
}

namespace {
// At most the first `limit` bytes of a file; false (error set) when it cannot be opened.
bool ReadBytes(std::string_view name, size_t limit, std::vector<uint8_t>* data, std::string* error) {
    std::FILE* f = os::OpenFile(name, "rb");
    if (!f) {
        if (error) *error = std::string(name) + ": cannot open the file";
        return false;
    }
    uint8_t buffer[65536];
    size_t n;
    while (data->size() < limit &&
           (n = std::fread(buffer, 1, std::min(sizeof buffer, limit - data->size()), f)) > 0)
        data->insert(data->end(), buffer, buffer + n);
    std::fclose(f);
    return true;
}
} // namespace

bool LoadFile(std::string_view name, Picture* out, std::string* error, const DecodeOptions& options) {
    *out = Picture();
    // Even a picture at the size limit compresses to less.
    constexpr long long kMaxFileBytes = 512LL << 20;
    std::vector<uint8_t> data;
    if (!os::ReadWholeFile(name, &data, size_t(kMaxFileBytes))) {
        if (!error) return false;
        if (errno == EFBIG)
            *error = std::string(name) + ": " + std::to_string(os::FileSize(name)) +
                     " bytes, more than the " + std::to_string(kMaxFileBytes) + " a picture file may have";
        else
            *error = std::string(name) + ": cannot open the file";
        return false;
    }
    std::string what;
    if (!Decode(data.data(), data.size(), out, &what, options)) {
        if (error) *error = std::string(name) + ": " + what;
        return false;
    }
    return true;
}

bool LoadFileInfo(std::string_view name, Info* out, std::string* error) {
    *out = Info();
    // Enough for every header this layer reads (stb_image's TGA check reads
    // a little past the 18-byte header).
    std::vector<uint8_t> data;
    if (!ReadBytes(name, 4096, &data, error)) return false;
    std::string what;
    if (!ReadInfo(data.data(), data.size(), out, &what)) {
        if (error) *error = std::string(name) + ": " + what;
        return false;
    }
    return true;
}

Image Resample(const Image& src, uint32_t width, uint32_t height) {
    Image out;
    if (src.Empty() || width == 0 || height == 0) return out;
    if (width == src.width && height == src.height) return src;
    const AxisFilter fx = MakeAxis(src.width, width);
    const AxisFilter fy = MakeAxis(src.height, height);
    // Horizontal pass into floats (A, R, G, B), then the vertical pass.
    std::vector<float> mid(size_t(width) * src.height * 4, 0.0f);
    for (uint32_t y = 0; y < src.height; ++y) {
        const uint32_t* row = src.pixels.data() + size_t(y) * src.width;
        float* m = mid.data() + size_t(y) * width * 4;
        for (uint32_t x = 0; x < width; ++x) {
            float acc[4] = {0, 0, 0, 0};
            for (uint32_t t = fx.start[x]; t < fx.start[x + 1]; ++t) {
                const uint32_t p = row[fx.taps[t].index];
                const float w = fx.taps[t].weight;
                for (int k = 0; k < 4; ++k)
                    acc[k] += w * float((p >> (24 - 8 * k)) & 0xFF);
            }
            std::copy(acc, acc + 4, m + size_t(x) * 4);
        }
    }
    out.width = width;
    out.height = height;
    out.pixels.resize(size_t(width) * height);
    for (uint32_t y = 0; y < height; ++y) {
        for (uint32_t x = 0; x < width; ++x) {
            float acc[4] = {0, 0, 0, 0};
            for (uint32_t t = fy.start[y]; t < fy.start[y + 1]; ++t) {
                const float* m = mid.data() + (size_t(fy.taps[t].index) * width + x) * 4;
                for (int k = 0; k < 4; ++k)
                    acc[k] += fy.taps[t].weight * m[k];
            }
            out.pixels[size_t(y) * width + x] = Pack(acc);
        }
    }
    return out;
}

void ApplyColorKey(Image& img, uint32_t key) {
    if (key == 0) return;
    for (uint32_t& p : img.pixels) {
        if (p == key) p = 0;
    }
}

bool SaveBmp(std::string_view name, const Image& img) {
    if (img.Empty()) return false;
    std::FILE* f = os::OpenFile(name, "wb");
    if (!f) return false;
    bool ok = gfx::WriteBmp(f, img.width, img.height, img.pixels.data(), img.width);
    ok = std::fclose(f) == 0 && ok;
    return ok;
}

} // namespace image
