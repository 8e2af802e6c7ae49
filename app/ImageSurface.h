// A picture drawn straight into the back buffer (the start-up logo, screens
// of the loading and save code). Until pictures are decoded, loading finds
// nothing and drawing only stores the point.
#pragma once

#include <cstdint>

class ImageSurface {
public:
    virtual ~ImageSurface() = default;

    // 0 when loaded, -1 when the picture cannot be read.
    int LoadFromFile(const char* name, bool backBufferSize, uint32_t width, uint32_t height);
    void Draw(float x, float y) {
        m_fX = x;
        m_fY = y;
    }
    void Release() { m_bLoaded = false; }

    uint32_t m_dwWidth = 0, m_dwHeight = 0;
    float m_fX = 0, m_fY = 0;
    bool m_bLoaded = false;
};
