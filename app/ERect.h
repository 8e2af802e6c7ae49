// `ERect`: the screen rectangle every user-interface element is drawn with,
// a textured, coloured, axis-aligned quad in screen pixels (pre-transformed
// vertices) with its own six-vertex buffer, plus the save-set-restore of the
// device states that 2D drawing needs (BeginRender2D / EndRender2D around a
// batch, or RenderStandalone for a single rectangle).
//
// Lifetimes: created by Create (texture by name from the renderer), back to
// not created by Release or a failed Create; the buffer is in the managed
// pool and survives a device reset. Failure policy: an unknown texture or a
// failed buffer leaves the rectangle not created and every drawing call does
// nothing; a failed lock prints "Failed to lock ERect VB!".
#pragma once

#include <cstdint>

namespace gfx {
class VertexBuffer;
}

// One vertex of a screen quad (XYZRHW, DIFFUSE, TEX1).
struct ScreenVertex {
    float x, y, z, rhw;
    uint32_t color;
    float u, v;
};
static_assert(sizeof(ScreenVertex) == 28, "screen vertices are 28 bytes");

// XYZRHW | DIFFUSE | TEX1
constexpr uint32_t SCREEN_FVF = 324;

// Stage 0 colour and alpha = texture x diffuse (with additive, colour
// argument 2 is the current colour, on stage 0 the diffuse colour).
void SetStage0Modulate(bool additive);
// The states of 2D drawing of textured, coloured screen quads: linear
// filtering on samplers 0 and 1, blending on, stage 0 modulating and stages
// 1-7 off, source alpha over (source colour plus destination when additive),
// alpha reference 6 with greater-or-equal (the test on or off), no culling,
// no depth, and the vertex format.
void SetScreenQuadStates(bool additive, bool alphaTest, uint32_t fvf);
// Blend operation add, alpha reference 6 with alpha test on and
// greater-or-equal, no culling, no depth test or write.
void SetScreenQuadRaster();

// The 16 device states saved around 2D drawing, in their saving order.
struct Saved2DStates {
    uint32_t values[16] = {};
    void Save();
    void Restore() const;
};

class ERect {
  public:
    ERect();
    virtual ~ERect();
    ERect(const ERect&) = delete;
    ERect& operator=(const ERect&) = delete;

    void Create(const char* textureName, float left, float top, float right, float bottom, uint32_t color);
    void SetRect(float left, float top, float right, float bottom);
    void SetColor(uint32_t color);
    void SetAlpha(float alpha);
    void SetQuad(float x0, float y0, float x1, float y1, float x2, float y2, float x3, float y3, float u0,
                 float u1, float v0, float v1, float z);
    void UpdateVertices();
    void Render(bool bindTexture);
    void BeginRender2D(bool additive);
    void EndRender2D();
    void RenderStandalone(bool bindTexture, bool blend);
    void Release();

    bool IsCreated() const { return m_bCreated != 0; }
    uint32_t GetTextureId() const { return m_dwTextureId; }
    uint32_t GetColor() const { return m_dwColor; }
    float Left() const { return m_fLeft; }
    float Top() const { return m_fTop; }
    float Right() const { return m_fRight; }
    float Bottom() const { return m_fBottom; }
    // The six vertices as last written (tests and tools).
    bool ReadVertices(ScreenVertex out[6]) const;

    uint32_t m_dwFVF;
    Saved2DStates m_SavedStates;
    uint8_t m_bCreated;
    uint32_t m_dwTextureId;
    gfx::VertexBuffer* m_pVB;
    float m_fLeft, m_fTop, m_fRight, m_fBottom;
    uint32_t m_dwColor;
};
