#include "app/ImageSurface.h"

int ImageSurface::LoadFromFile(const char*, bool, uint32_t width, uint32_t height) {
    m_dwWidth = width;
    m_dwHeight = height;
    m_bLoaded = false;
    return -1;
}
