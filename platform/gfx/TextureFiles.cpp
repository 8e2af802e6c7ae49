#include "platform/gfx/TextureFiles.h"

#include <cstring>

namespace gfx {
namespace {

ImageInfo InfoOf(const image::Picture& p) {
    ImageInfo i;
    i.Width = p.width;
    i.Height = p.height;
    i.MipLevels = p.levels;
    i.FileFormat = p.format;
    i.HasAlpha = p.hasAlpha;
    return i;
}

void CopyInto(const image::Image& img, const LockedRect& lr) {
    for (uint32_t y = 0; y < img.height; ++y) {
        std::memcpy(static_cast<uint8_t*>(lr.pBits) + size_t(y) * size_t(lr.Pitch),
                    img.pixels.data() + size_t(y) * img.width, size_t(img.width) * 4);
    }
}

} // namespace

Result CreateTextureFromFile(Device* device, const char* fileName, uint32_t colorKey, Texture** out,
                             ImageInfo* info, std::string* error) {
    if (!device || !fileName || !out) return Result::InvalidCall;
    *out = nullptr;
    image::Picture p;
    if (!image::LoadFile(fileName, &p, error)) return Result::InvalidCall;
    if (p.IsCube()) {
        if (error) *error = std::string(fileName) + ": a cube map is not a 2D texture";
        return Result::InvalidCall;
    }
    if (info) *info = InfoOf(p);
    const bool ownLevels = p.levels > 1;
    Texture* t = nullptr;
    Result r = device->CreateTexture(p.width, p.height, ownLevels ? p.levels : 0, 0, Format::A8R8G8B8,
                                     Pool::Managed, &t);
    if (r != Result::Ok) {
        if (error) *error = std::string(fileName) + ": cannot create the texture (" + ResultName(r) + ")";
        return r;
    }
    image::Image level = p.surfaces[0];
    for (uint32_t l = 0; l < t->LevelCount(); ++l) {
        if (l > 0) level = ownLevels ? p.surfaces[l] : image::Resample(level, t->Width(l), t->Height(l));
        image::Image keyed = level;
        image::ApplyColorKey(keyed, colorKey);
        LockedRect lr;
        if (t->LockRect(l, &lr, nullptr, 0) != Result::Ok) continue;
        CopyInto(keyed, lr);
        t->UnlockRect(l);
    }
    *out = t;
    return Result::Ok;
}

Result LoadSurfaceFromFile(Surface* surface, const char* fileName, uint32_t colorKey, ImageInfo* info,
                           std::string* error) {
    if (!surface || !fileName) return Result::InvalidCall;
    image::Picture p;
    if (!image::LoadFile(fileName, &p, error)) return Result::InvalidCall;
    if (info) *info = InfoOf(p);
    image::Image img = image::Resample(p.surfaces[0], surface->Width(), surface->Height());
    image::ApplyColorKey(img, colorKey);
    LockedRect lr;
    Result r = surface->LockRect(&lr, nullptr, 0);
    if (r != Result::Ok) return r;
    CopyInto(img, lr);
    surface->UnlockRect();
    return Result::Ok;
}

Result SaveSurfaceToBmp(Surface* surface, const char* fileName) {
    if (!surface || !fileName) return Result::InvalidCall;
    LockedRect lr;
    Result r = surface->LockRect(&lr, nullptr, lock::ReadOnly);
    if (r != Result::Ok) return r;
    image::Image img;
    img.width = surface->Width();
    img.height = surface->Height();
    img.pixels.resize(size_t(img.width) * img.height);
    for (uint32_t y = 0; y < img.height; ++y) {
        std::memcpy(img.pixels.data() + size_t(y) * img.width,
                    static_cast<uint8_t*>(lr.pBits) + size_t(y) * size_t(lr.Pitch), size_t(img.width) * 4);
    }
    surface->UnlockRect();
    return image::SaveBmp(fileName, img) ? Result::Ok : Result::InvalidCall;
}

} // namespace gfx
