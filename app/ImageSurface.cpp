#include "app/ImageSurface.h"

#include <string>

#include "app/Console.h"
#include "app/D3DMain.h"
#include "app/FileHelpers.h"

ImageSurface::ImageSurface() : m_pSurface(nullptr), m_SourceRect{0, 0, 256, 256}, m_iDestX(0), m_iDestY(0) {}

ImageSurface::~ImageSurface() {
    Release();
}

void ImageSurface::Release() {
    if (m_pSurface) m_pSurface->Release();
    m_pSurface = nullptr;
}

uint32_t ImageSurface::GetWidth() const {
    return m_pSurface ? m_pSurface->Width() : 0;
}
uint32_t ImageSurface::GetHeight() const {
    return m_pSurface ? m_pSurface->Height() : 0;
}

int ImageSurface::LoadFromFile(const char* name, bool backBufferSize, uint32_t width, uint32_t height) {
    if (!name || !IsValidPath(name)) {
        ErrorLog(name ? name : "", nullptr);
        return -1;
    }
    gfx::Device* d = g_pD3DInterface;
    if (!d) return -1;
    gfx::Surface* back = nullptr;
    if (d->GetRenderTarget(0, &back) != gfx::Result::Ok || !back) return -1;
    const uint32_t backW = back->Width(), backH = back->Height();
    const gfx::Format format = back->GetFormat();
    back->Release();
    Release();
    if (backBufferSize) {
        width = backW;
        height = backH;
    }
    if (d->CreateOffscreenPlainSurface(width, height, format, gfx::Pool::SystemMem, &m_pSurface) !=
        gfx::Result::Ok) {
        m_pSurface = nullptr;
        return -1;
    }
    // Opaque black in the file becomes transparent black.
    std::string error;
    if (gfx::LoadSurfaceFromFile(m_pSurface, name, 0xFF000000, &m_ImageInfo, &error) != gfx::Result::Ok) {
        g_Console.Print(error.empty() ? name : error.c_str());
        Release();
        return -1;
    }
    m_SourceRect = {0, 0, int32_t(width), int32_t(height)};
    return 0;
}

void ImageSurface::SetRect(int32_t left, int32_t top, int32_t right, int32_t bottom) {
    m_SourceRect = {left, top, right, bottom};
}

void ImageSurface::Draw(int32_t x, int32_t y) {
    m_iDestX = x;
    m_iDestY = y;
    if (!m_pSurface || !g_pD3DInterface) return;
    gfx::Surface* back = nullptr;
    if (g_pD3DInterface->GetRenderTarget(0, &back) != gfx::Result::Ok || !back) return;
    const gfx::Point at = {x, y};
    g_pD3DInterface->UpdateSurface(m_pSurface, &m_SourceRect, back, &at);
    back->Release();
}

void ImageSurface::SaveToFile(const char* name) {
    if (!m_pSurface) return;
    g_Console.Print(gfx::SaveSurfaceToBmp(m_pSurface, name) == gfx::Result::Ok ? "Save OK" : "Save failed");
}
