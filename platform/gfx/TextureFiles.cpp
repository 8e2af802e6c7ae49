#include "platform/gfx/TextureFiles.h"

#include <cstring>

namespace gfx {
namespace {

Format TextureFormatOf(image::Compression c, bool alpha) {
    switch (c) {
    case image::Compression::Dxt1:
        return Format::Dxt1;
    case image::Compression::Dxt3:
        return Format::Dxt3;
    case image::Compression::Dxt5:
        return Format::Dxt5;
    case image::Compression::None:
        break;
    }
    return alpha ? Format::A8R8G8B8 : Format::X8R8G8B8;
}

ImageInfo InfoOf(const image::Picture& p) {
    ImageInfo i;
    i.Width = p.width;
    i.Height = p.height;
    i.MipLevels = p.levels;
    i.FileFormat = p.format;
    i.HasAlpha = p.hasAlpha;
    i.Format = TextureFormatOf(p.compression, p.hasAlpha);
    i.Type = p.IsCube() ? ResourceType::CubeTexture : ResourceType::Texture;
    return i;
}

void CopyInto(const image::Image& img, const LockedRect& lr) {
    for (uint32_t y = 0; y < img.height; ++y) {
        std::memcpy(static_cast<uint8_t*>(lr.pBits) + size_t(y) * size_t(lr.Pitch),
                    img.pixels.data() + size_t(y) * img.width, size_t(img.width) * 4);
    }
}

bool Decode(const char* fileName, const TextureLoad& load, image::Picture* p, std::string* error) {
    image::DecodeOptions o;
    o.skipTopLevels = load.skipTopLevels;
    o.keepBlocks = !load.decodeCompressed && load.colorKey == 0;
    o.decodeBlocks = false;
    return image::LoadFile(fileName, p, error, o);
}

// Fills the levels of one face: the file's blocks or texels, or a chain made
// by halving the top level when the file has fewer levels than the texture.
template <typename Lock, typename Unlock>
void FillFace(const image::Picture& p, uint32_t face, uint32_t levels, uint32_t colorKey, Lock lock, Unlock unlock) {
    const bool ownLevels = p.levels > 1 || p.compression != image::Compression::None;
    image::Image level;
    for (uint32_t l = 0; l < levels; ++l) {
        LockedRect lr;
        if (!lock(l, &lr)) continue;
        if (p.compression != image::Compression::None) {
            const std::vector<uint8_t>& b = p.blocks[size_t(face) * p.levels + l];
            std::memcpy(lr.pBits, b.data(), b.size());
        } else {
            if (l == 0 || ownLevels) {
                level = p.Surface(face, l);
            } else {
                level = image::Resample(level, image::LevelSize(p.width, l), image::LevelSize(p.height, l));
            }
            image::Image keyed = level;
            image::ApplyColorKey(keyed, colorKey);
            CopyInto(keyed, lr);
        }
        unlock(l);
    }
}

} // namespace

Result GetImageInfoFromFile(const char* fileName, ImageInfo* info, std::string* error) {
    if (!fileName || !info) return Result::InvalidCall;
    image::Info i;
    if (!image::LoadFileInfo(fileName, &i, error)) return Result::InvalidCall;
    *info = ImageInfo();
    info->Width = i.width;
    info->Height = i.height;
    info->MipLevels = i.levels;
    info->FileFormat = i.format;
    info->HasAlpha = i.hasAlpha;
    info->Format = TextureFormatOf(i.compression, i.hasAlpha);
    info->Type = i.faces == 6 ? ResourceType::CubeTexture : ResourceType::Texture;
    return Result::Ok;
}

Result CreateTextureFromFile(Device* device, const char* fileName, const TextureLoad& load, Texture** out,
                             ImageInfo* info, std::string* error) {
    if (!device || !fileName || !out) return Result::InvalidCall;
    *out = nullptr;
    image::Picture p;
    if (!Decode(fileName, load, &p, error)) return Result::InvalidCall;
    if (p.IsCube()) {
        if (error) *error = std::string(fileName) + ": a cube map is not a 2D texture";
        return Result::InvalidCall;
    }
    if (info) *info = InfoOf(p);
    const bool ownLevels = p.levels > 1 || p.compression != image::Compression::None;
    Texture* t = nullptr;
    Result r = device->CreateTexture(p.width, p.height, ownLevels ? p.levels : 0, 0,
                                     TextureFormatOf(p.compression, true), Pool::Managed, &t);
    if (r != Result::Ok) {
        if (error) *error = std::string(fileName) + ": cannot create the texture (" + ResultName(r) + ")";
        return r;
    }
    FillFace(
        p, 0, t->LevelCount(), load.colorKey,
        [&](uint32_t l, LockedRect* lr) { return t->LockRect(l, lr, nullptr, 0) == Result::Ok; },
        [&](uint32_t l) { t->UnlockRect(l); });
    *out = t;
    return Result::Ok;
}

Result CreateCubeTextureFromFile(Device* device, const char* fileName, const TextureLoad& load,
                                 CubeTexture** out, ImageInfo* info, std::string* error) {
    if (!device || !fileName || !out) return Result::InvalidCall;
    *out = nullptr;
    image::Picture p;
    if (!Decode(fileName, load, &p, error)) return Result::InvalidCall;
    if (!p.IsCube()) {
        if (error) *error = std::string(fileName) + ": not a cube map";
        return Result::InvalidCall;
    }
    if (info) *info = InfoOf(p);
    const bool ownLevels = p.levels > 1 || p.compression != image::Compression::None;
    CubeTexture* t = nullptr;
    Result r = device->CreateCubeTexture(p.width, ownLevels ? p.levels : 0, 0, TextureFormatOf(p.compression, true),
                                         Pool::Managed, &t);
    if (r != Result::Ok) {
        if (error) *error = std::string(fileName) + ": cannot create the cube texture (" + ResultName(r) + ")";
        return r;
    }
    for (uint32_t face = 0; face < CubeFaceCount; ++face) {
        const CubeFace f = static_cast<CubeFace>(face);
        FillFace(
            p, face, t->LevelCount(), load.colorKey,
            [&](uint32_t l, LockedRect* lr) { return t->LockRect(f, l, lr, nullptr, 0) == Result::Ok; },
            [&](uint32_t l) { t->UnlockRect(f, l); });
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
