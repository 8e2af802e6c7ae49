#include <climits>
#include <csetjmp>
#include <cstdio>

// jpeglib.h needs the size types declared before it.
#include <jpeglib.h>

#include "platform/image/Decoders.h"
#include "platform/image/Image.h"

namespace image {
namespace {

// A progressive file may hold any number of scans, each a pass over the
// whole picture, so a few kilobytes could keep the decoder busy for minutes.
constexpr int kMaxScans = 500;

struct ErrorTrap {
    jpeg_error_mgr manager; // first: the library hands back this pointer
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

[[noreturn]] void Escape(j_common_ptr cinfo) {
    auto* trap = reinterpret_cast<ErrorTrap*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, trap->message);
    std::longjmp(trap->jump, 1);
}

// Corrupt data the decoder can read past is only warned about: a damaged
// picture still shows, as other decoders show it, and nothing goes to stderr.
void Quiet(j_common_ptr, int) {}

void LimitScans(j_common_ptr cinfo) {
    auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
    if (d->input_scan_number <= kMaxScans) return;
    auto* trap = reinterpret_cast<ErrorTrap*>(cinfo->err);
    std::snprintf(trap->message, sizeof trap->message, "more than %d scans", kMaxScans);
    std::longjmp(trap->jump, 1);
}

// Adobe's CMYK files store each ink inverted: the ink times black gives the channel.
void CmykToRgba(std::vector<uint8_t>& pixels) {
    for (size_t i = 0; i + 3 < pixels.size(); i += 4) {
        const unsigned k = pixels[i + 3];
        for (size_t c = 0; c < 3; ++c)
            pixels[i + c] = uint8_t((pixels[i + c] * k + 127) / 255);
        pixels[i + 3] = 255;
    }
}

// Nothing with a destructor lives in this frame: the library's errors leave
// it through longjmp.
bool Read(const uint8_t* data, size_t size, RgbaPicture* out, bool pixels) {
    *out = RgbaPicture();
    if (!data || size == 0 || size > ULONG_MAX) {
        out->failure = "no data";
        return false;
    }
    jpeg_decompress_struct cinfo;
    ErrorTrap trap;
    jpeg_progress_mgr progress{};
    cinfo.err = jpeg_std_error(&trap.manager);
    trap.manager.error_exit = Escape;
    trap.manager.emit_message = Quiet;
    if (setjmp(trap.jump)) {
        jpeg_destroy_decompress(&cinfo);
        out->rgba.clear();
        out->width = out->height = 0;
        out->failure = trap.message;
        return false;
    }
    jpeg_create_decompress(&cinfo);
    progress.progress_monitor = LimitScans;
    cinfo.progress = &progress;
    jpeg_mem_src(&cinfo, data, static_cast<unsigned long>(size));
    jpeg_read_header(&cinfo, TRUE);
    const uint32_t w = cinfo.image_width, h = cinfo.image_height;
    if (w == 0 || h == 0 || w > kMaxSide || h > kMaxSide || uint64_t(w) * h > kMaxPixels) {
        jpeg_destroy_decompress(&cinfo);
        out->failure = "bad size";
        return false;
    }
    out->width = w;
    out->height = h;
    out->channels = cinfo.num_components == 1 ? 1 : 3;
    if (!pixels) {
        jpeg_destroy_decompress(&cinfo);
        return true;
    }
    const bool cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
    cinfo.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_RGBA;
    jpeg_start_decompress(&cinfo);
    out->rgba.resize(size_t(w) * h * 4);
    while (cinfo.output_scanline < h) {
        JSAMPROW row = out->rgba.data() + size_t(cinfo.output_scanline) * w * 4;
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    if (cmyk) CmykToRgba(out->rgba);
    return true;
}

} // namespace

bool JpegDecode(const uint8_t* data, size_t size, RgbaPicture* out) {
    return Read(data, size, out, true);
}

bool JpegInfo(const uint8_t* data, size_t size, RgbaPicture* out) {
    return Read(data, size, out, false);
}

} // namespace image
