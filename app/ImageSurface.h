// `ImageSurface`: a picture loaded from a file into a system-memory surface
// in the back buffer's format and copied unscaled onto the back buffer (the
// start-up logo, the loading picture, menu backgrounds, save-list pictures).
// It can also write its picture to a BMP file.
//
// Failure policy: every failed load returns -1 and leaves no surface (a
// picture loaded before is gone once the load has started); Draw then only
// stores the point. A name that is no valid path goes to "!error.txt".
#pragma once

#include <cstdint>

#include "platform/gfx/TextureFiles.h"

class ImageSurface {
  public:
    ImageSurface();
    virtual ~ImageSurface();
    ImageSurface(const ImageSurface&) = delete;
    ImageSurface& operator=(const ImageSurface&) = delete;

    // 0 when loaded, -1 on any failure. With backBufferSize the surface takes
    // the back buffer's size, else width x height; the file is scaled into it.
    int LoadFromFile(const char* name, bool backBufferSize, uint32_t width, uint32_t height);
    int Load(const char* name, uint32_t width, uint32_t height) {
        return LoadFromFile(name, false, width, height);
    }
    void SetRect(int32_t left, int32_t top, int32_t right, int32_t bottom);
    void Draw(int32_t x, int32_t y);
    void SaveToFile(const char* name);
    void Release();

    bool IsLoaded() const { return m_pSurface != nullptr; }
    // Size of the surface (0 without one).
    uint32_t GetWidth() const;
    uint32_t GetHeight() const;
    const gfx::Rect& SourceRect() const { return m_SourceRect; }
    int32_t DestX() const { return m_iDestX; }
    int32_t DestY() const { return m_iDestY; }
    const gfx::ImageInfo& ImageInfo() const { return m_ImageInfo; }

  private:
    gfx::Surface* m_pSurface;
    gfx::ImageInfo m_ImageInfo;
    gfx::Rect m_SourceRect;
    int32_t m_iDestX, m_iDestY;
};
