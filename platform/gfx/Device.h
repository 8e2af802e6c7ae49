// The graphics service: the adapter interface (what Direct3DCreate9 gives)
// and the device, backed by OpenGL 3.3 core or newer (gfx/gl/).
//
// Conventions kept for the engine: packed ARGB colours, clip depth 0..1,
// Direct3D's render states with their defaults, the viewport measured from
// the top-left corner, and top-down rows in every read-back and saved
// picture. The back buffer is the layer's own framebuffer of the chosen
// colour and depth-stencil formats; Present copies it to the window.
//
// Lifetimes: the interface, the device and every resource are reference
// counted; Release at zero frees them. Resources of the default pool (the
// back buffer surface handed out by GetRenderTarget, render targets, dynamic
// buffers) must all be released before Reset, which fails with InvalidCall
// otherwise, as on Direct3D; resources of the managed pool survive a reset.
//
// Lost device: a full-screen device whose window loses focus reports
// DeviceLost from TestCooperativeLevel; once the window has focus again it
// reports DeviceNotReset until Reset succeeds. SimulateDeviceLoss raises the
// same sequence on any device (tests, and the focus manager's checks).
//
// Extending: later services (buffers, textures, render targets, effects,
// fixed-function programs) add virtual members here and implement them in
// gl/GlDevice; draws call ApplyRenderStates first.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/gfx/Types.h"
#include "platform/math/Types.h"

namespace gfx {

// The drawing services' types (platform/gfx/Draw.h).
class BaseTexture;
class Texture;
class CubeTexture;
class VertexBuffer;
class IndexBuffer;
struct LockedRect;
struct Point;
enum class Pool : uint32_t;
enum class PrimitiveType : uint32_t;
enum class TextureStageState : uint32_t;
enum class SamplerState : uint32_t;
enum class TextureFilter : uint32_t;

class Resource {
  public:
    Resource() = default;
    Resource(const Resource&) = delete;
    Resource& operator=(const Resource&) = delete;

    uint32_t AddRef() { return ++m_refs; }
    uint32_t Release() {
        uint32_t left = --m_refs;
        if (left == 0) delete this;
        return left;
    }
    uint32_t RefCount() const { return m_refs; }

  protected:
    virtual ~Resource() = default;

  private:
    uint32_t m_refs = 1;
};

class Surface : public Resource {
  public:
    virtual uint32_t Width() const = 0;
    virtual uint32_t Height() const = 0;
    virtual Format GetFormat() const = 0;
    // Memory of a lockable surface (system memory, texture levels); the back
    // buffer and depth surfaces cannot be locked.
    virtual Result LockRect(LockedRect* out, const Rect* rect, uint32_t flags) { return Result::InvalidCall; }
    virtual Result UnlockRect() { return Result::InvalidCall; }
};

// Vertex declaration elements, with Direct3D's type and usage numbers (the
// engine's static element tables are written with them).
struct VertexElement {
    uint16_t Stream;
    uint16_t Offset;
    uint8_t Type;
    uint8_t Method;
    uint8_t Usage;
    uint8_t UsageIndex;
};
namespace elemtype {
constexpr uint8_t Float1 = 0, Float2 = 1, Float3 = 2, Float4 = 3, Color = 4, UByte4 = 5, Short2 = 6,
                  Short4 = 7, UByte4N = 8, Short2N = 9, Short4N = 10, Float16x2 = 15, Float16x4 = 16,
                  Unused = 17;
// Size in bytes of an element type (0 for Unused).
uint32_t Size(uint8_t type);
} // namespace elemtype
namespace elemusage {
constexpr uint8_t Position = 0, BlendWeight = 1, BlendIndices = 2, Normal = 3, PSize = 4, TexCoord = 5,
                  Tangent = 6, Binormal = 7, PositionT = 9, Color = 10, Fog = 11, Depth = 12;
} // namespace elemusage
constexpr VertexElement DeclEnd = {0xFF, 0, elemtype::Unused, 0, 0, 0};

// A linked shader program of an effect pass (platform/effect). While one is
// set, draws run it instead of the fixed-function program, with vertices
// found by their declaration usage (or the FVF when one is set).
class Program : public Resource {};

class VertexDeclaration : public Resource {
  public:
    // The elements without the end marker.
    virtual const std::vector<VertexElement>& Elements() const = 0;
    // Bytes per vertex of a stream (the end of its last element).
    virtual uint32_t Stride(uint16_t stream) const = 0;
};

class Device : public Resource {
  public:
    // Ok, DeviceLost or DeviceNotReset.
    virtual Result TestCooperativeLevel() = 0;
    // New back buffer (size, formats, multisampling, window mode) and every
    // render state back to its default. Fails with InvalidCall while
    // default-pool resources are held, DeviceLost while the device is lost.
    virtual Result Reset(PresentParameters* pp) = 0;
    virtual Result Present() = 0;
    virtual Result BeginScene() = 0;
    virtual Result EndScene() = 0;
    // Clears the viewport (or the given rectangles inside it). Asking for the
    // stencil on a depth buffer without one fails with InvalidCall and clears
    // nothing.
    virtual Result Clear(uint32_t count, const Rect* rects, uint32_t flags, uint32_t color, float z,
                         uint32_t stencil) = 0;

    virtual Result SetRenderState(RenderState state, uint32_t value) = 0;
    virtual Result GetRenderState(RenderState state, uint32_t* value) = 0;
    // Sends the render states that changed since the last call to the API.
    virtual void ApplyRenderStates() = 0;

    virtual Result SetViewport(const Viewport& vp) = 0;
    virtual Result GetViewport(Viewport* vp) = 0;
    virtual Result GetDeviceCaps(Caps* caps) = 0;
    virtual const PresentParameters& GetPresentParameters() const = 0;

    // Render target 0 as set (the back buffer unless SetRenderTarget chose
    // another), with a reference for the caller.
    virtual Result GetRenderTarget(uint32_t index, Surface** surface) = 0;
    // The depth-stencil surface as set (NotAvailable when there is none).
    virtual Result GetDepthStencilSurface(Surface** surface) = 0;

    // ---- Render targets ---------------------------------------------------
    // A render-target texture is made by CreateTexture with usage
    // RenderTarget in the default pool (A8R8G8B8, X8R8G8B8, R32F,
    // A16B16G16R16F or G16R16F); its levels cannot be locked. Its level
    // surfaces (GetSurfaceLevel) are what SetRenderTarget takes. Drawn rows
    // are top-down as on the back buffer: row 0 of the texture is the top of
    // the picture.
    //
    // A depth-stencil surface of its own size in the default pool (released
    // before a reset). Multisampled ones are refused; `discard` is accepted
    // and changes nothing.
    virtual Result CreateDepthStencilSurface(uint32_t width, uint32_t height, Format format, uint32_t samples,
                                             uint32_t quality, bool discard, Surface** out) = 0;
    // Render target 0: the back buffer, a level of a render-target texture or
    // a face level of a render-target cube (index 0 only). The viewport
    // becomes the whole target. The device holds a reference while it is
    // set; a reset sets the back buffer again.
    virtual Result SetRenderTarget(uint32_t index, Surface* surface) = 0;
    // The depth-stencil surface of later draws and clears: the automatic
    // one, one of CreateDepthStencilSurface, or none (null). Held like the
    // render target; a reset sets the automatic one again.
    virtual Result SetDepthStencilSurface(Surface* surface) = 0;
    // Copies a render target (a render-target texture level, a face level of
    // a render-target cube, or the back buffer) into a system-memory surface
    // of the same size and format (R32F and A16B16G16R16F keep their floats;
    // G16R16F gives two halves a texel, red then green), rows top-down; the
    // caller reads it with LockRect and its pitch. Waits for the drawing
    // before it.
    virtual Result GetRenderTargetData(Surface* target, Surface* dest) = 0;
    // Copies a rectangle of one render target (a render-target texture level
    // or the back buffer) onto a rectangle of another, scaled to fit, with
    // the filter Point (nearest texel) or Linear (bilinear, what a smaller
    // or larger copy needs to stay smooth); null rectangles mean the whole
    // surface. Rows are top-down on both sides, so the picture keeps its
    // orientation. Rectangles outside their surface, an empty one, a surface
    // that is no render target, the same surface on both sides and other
    // filters are refused with InvalidCall. Render target 0, the depth
    // surface and the viewport stay as they were.
    virtual Result StretchRect(Surface* source, const Rect* sourceRect, Surface* dest, const Rect* destRect,
                               TextureFilter filter) = 0;
    // Clear with a colour of floats (red, green, blue, alpha in x, y, z, w),
    // taken as they are by float targets (clamped to 0..1 by the others):
    // what a float target cleared to a value outside 0..1 needs. Otherwise
    // as Clear.
    virtual Result ClearFloat(uint32_t count, const Rect* rects, uint32_t flags, const math::Vec4& color,
                              float z, uint32_t stencil) = 0;

    // Reads a surface as packed ARGB (X8R8G8B8), rows top-down, `pitch`
    // pixels apart.
    virtual Result ReadPixels(Surface* surface, uint32_t* pixels, uint32_t pitch) = 0;
    // Saves a surface as a 24-bit BMP (upright: the top row of the screen is
    // the top row of the picture). The name goes through the path resolver.
    virtual Result SaveSurfaceToFile(const char* fileName, Surface* surface) = 0;

    virtual Result CreateVertexDeclaration(const VertexElement* elements, VertexDeclaration** decl) = 0;
    virtual Result SetVertexDeclaration(VertexDeclaration* decl) = 0;
    // The declaration in force (null while a vertex format set by SetFVF is),
    // with a reference for the caller.
    virtual Result GetVertexDeclaration(VertexDeclaration** decl) = 0;

    // Free video memory in bytes, as the driver tells it (an estimate).
    virtual uint64_t GetAvailableTextureMem() = 0;

    // ---- Resources and fixed-function drawing (Draw.h) ----------------------
    virtual Result CreateTexture(uint32_t width, uint32_t height, uint32_t levels, uint32_t usage,
                                 Format format, Pool pool, Texture** out) = 0;
    // A cube texture of six edge x edge faces (levels 0: the full chain).
    virtual Result CreateCubeTexture(uint32_t edge, uint32_t levels, uint32_t usage, Format format, Pool pool,
                                     CubeTexture** out) = 0;
    virtual Result CreateVertexBuffer(uint32_t length, uint32_t usage, uint32_t fvf, Pool pool,
                                      VertexBuffer** out) = 0;
    // Indices of `format` (Index16 or Index32) in GPU memory with a CPU copy.
    virtual Result CreateIndexBuffer(uint32_t length, uint32_t usage, Format format, Pool pool,
                                     IndexBuffer** out) = 0;
    virtual Result CreateOffscreenPlainSurface(uint32_t width, uint32_t height, Format format, Pool pool,
                                               Surface** out) = 0;
    // Copies a rectangle of a system-memory surface (all of it when null) to a
    // point of the back buffer ((0, 0) when null), unscaled and unblended.
    virtual Result UpdateSurface(Surface* source, const Rect* sourceRect, Surface* dest,
                                 const Point* destPoint) = 0;
    // Stages 0..15 (SamplerCount); a 2D or a cube texture, or none.
    virtual Result SetTexture(uint32_t stage, BaseTexture* texture) = 0;
    virtual Result SetTextureStageState(uint32_t stage, TextureStageState state, uint32_t value) = 0;
    virtual Result GetTextureStageState(uint32_t stage, TextureStageState state, uint32_t* value) = 0;
    virtual Result SetSamplerState(uint32_t sampler, SamplerState state, uint32_t value) = 0;
    virtual Result GetSamplerState(uint32_t sampler, SamplerState state, uint32_t* value) = 0;
    virtual Result SetFVF(uint32_t fvf) = 0;
    virtual Result GetFVF(uint32_t* fvf) = 0;
    virtual Result SetStreamSource(uint32_t stream, VertexBuffer* buffer, uint32_t offset,
                                   uint32_t stride) = 0;
    // Draws with the vertex format of SetFVF (or, with no FVF, the vertex
    // declaration: position, colours, normal and texture coordinates found by
    // usage), the fixed-function stages and the render states (alpha test,
    // blending, depth, culling); with a program set, with that program.
    virtual Result DrawPrimitive(PrimitiveType type, uint32_t startVertex, uint32_t primitiveCount) = 0;
    // The index buffer of later indexed draws (the device holds a reference).
    virtual Result SetIndices(IndexBuffer* buffer) = 0;
    // Draws primitiveCount primitives from the indices at startIndex; every
    // index is offset by baseVertex. The vertices used must lie within
    // minVertex .. minVertex + numVertices - 1 (after the offset) of stream 0.
    virtual Result DrawIndexedPrimitive(PrimitiveType type, int32_t baseVertex, uint32_t minVertex,
                                        uint32_t numVertices, uint32_t startIndex,
                                        uint32_t primitiveCount) = 0;
    virtual Result DrawPrimitiveUP(PrimitiveType type, uint32_t primitiveCount, const void* vertices,
                                   uint32_t stride) = 0;

    // The program of later draws (null: the fixed-function pipeline); the
    // device holds a reference while it is set.
    virtual Result SetProgram(Program* program) {
        if (program) program->AddRef();
        if (m_program) m_program->Release();
        m_program = program;
        return Result::Ok;
    }
    Program* GetProgram() const { return m_program; }

    // Fixed-function transforms (row vectors, Direct3D layout), kept on the
    // device for the built-in programs and for the engine to read back.
    virtual Result SetTransform(TransformState state, const math::Matrix& m) {
        const uint32_t i = static_cast<uint32_t>(state);
        if (i >= TransformStateCount) return Result::InvalidCall;
        m_transforms[i] = m;
        return Result::Ok;
    }
    virtual Result GetTransform(TransformState state, math::Matrix* m) {
        const uint32_t i = static_cast<uint32_t>(state);
        if (i >= TransformStateCount || !m) return Result::InvalidCall;
        *m = m_transforms[i];
        return Result::Ok;
    }

    // The gamma ramp of a swap chain (only 0 exists). The window system gives
    // no ramp here, so the device keeps it and the final pass of Present maps
    // every colour channel through it; GammaRampIsIdentity lets that pass skip
    // the lookup. The flags (gamma::Calibrate) are kept as given.
    virtual void SetGammaRamp(uint32_t swapChain, uint32_t flags, const GammaRamp* ramp) {
        if (swapChain != 0 || !ramp) return;
        m_gammaRamp = *ramp;
        m_gammaFlags = flags;
    }
    virtual void GetGammaRamp(uint32_t swapChain, GammaRamp* ramp) {
        if (swapChain == 0 && ramp) *ramp = m_gammaRamp;
    }
    const GammaRamp& CurrentGammaRamp() const { return m_gammaRamp; }

    // Switches a fixed-function light on or off (kept for the built-in
    // programs; index below 8).
    virtual Result LightEnable(uint32_t index, bool on) {
        if (index >= 8) return Result::InvalidCall;
        m_lightsOn = on ? (m_lightsOn | (1u << index)) : (m_lightsOn & ~(1u << index));
        return Result::Ok;
    }
    bool LightEnabled(uint32_t index) const { return index < 8 && (m_lightsOn >> index) & 1u; }
    bool GammaRampIsIdentity() const { return m_gammaRamp == GammaRamp::Identity(); }

    // Test hooks. The device reports DeviceLost to the next lostPolls calls of
    // TestCooperativeLevel, then DeviceNotReset until a reset succeeds.
    virtual void SimulateDeviceLoss(uint32_t lostPolls = 1) = 0;
    // The next Reset fails with this result (Ok: no injected failure).
    virtual void FailNextReset(Result result) = 0;
    // The nth CreateTexture call from now (1: the next) fails with
    // OutOfVideoMemory and makes nothing; 0 cancels.
    virtual void FailTextureCreation(uint32_t nth) = 0;
    // GetDeviceCaps reports this pixel shader version (PixelShaderVersion's
    // encoding) in place of the layer's 3.0; 0 restores it.
    virtual void OverridePixelShaderVersion(uint32_t version) = 0;
    // While on, compressed textures are decoded on the CPU and kept as
    // A8R8G8B8 on the GPU, as when the driver offers no S3TC (textures made
    // before keep their storage).
    virtual void ForceCpuTextureDecode(bool on) = 0;
    // The driver stores block-compressed textures as they are.
    virtual bool UploadsCompressedTextures() = 0;
    // Number of successful resets so far.
    virtual uint32_t ResetCount() const = 0;
    // While on, Present keeps a copy of the picture it leaves in the window
    // (ramp included; top-down rows, ARGB), read just before the swap.
    virtual void CapturePresented(bool on) = 0;
    // That copy and its size (empty before the first captured Present).
    virtual const std::vector<uint32_t>& PresentedPicture(uint32_t* width, uint32_t* height) const = 0;

  protected:
    Program* m_program = nullptr;
    math::Matrix m_transforms[TransformStateCount];
    GammaRamp m_gammaRamp = GammaRamp::Identity();
    uint32_t m_gammaFlags = 0;
    uint32_t m_lightsOn = 0;
};

// Video memory assumed when the driver tells nothing (for example Mesa's
// software rasteriser): enough for the highest video settings.
constexpr uint64_t DefaultVideoMemoryBytes = 512ull << 20;

class Interface : public Resource {
  public:
    virtual uint32_t GetAdapterCount() = 0;
    virtual Result GetAdapterDisplayMode(uint32_t adapter, DisplayMode* mode) = 0;
    virtual Result GetAdapterIdentifier(uint32_t adapter, uint32_t flags, AdapterIdentifier* id) = 0;
    virtual uint32_t GetAdapterModeCount(uint32_t adapter, Format format) = 0;
    virtual Result EnumAdapterModes(uint32_t adapter, Format format, uint32_t index, DisplayMode* mode) = 0;
    virtual Result CheckDeviceMultiSampleType(uint32_t adapter, DeviceType type, Format surfaceFormat,
                                              bool windowed, uint32_t samples, uint32_t* qualityLevels) = 0;
    virtual Result CheckDeviceFormat(uint32_t adapter, DeviceType type, Format adapterFormat, uint32_t usage,
                                     ResourceType rtype, Format checkFormat) = 0;
    virtual Result CheckDepthStencilMatch(uint32_t adapter, DeviceType type, Format adapterFormat,
                                          Format renderTargetFormat, Format depthStencilFormat) = 0;
    virtual Result GetDeviceCaps(uint32_t adapter, DeviceType type, Caps* caps) = 0;
    // Creates the device on the window. Fails with NotAvailable when the
    // window has no GL context to give or the parameters cannot be met.
    virtual Result CreateDevice(uint32_t adapter, DeviceType type, window::Window* focusWindow,
                                uint32_t behaviorFlags, PresentParameters* pp, Device** device) = 0;

    // Total and free local video memory in bytes. False when the driver tells
    // nothing; both are then DefaultVideoMemoryBytes.
    virtual bool QueryVideoMemory(uint64_t* totalBytes, uint64_t* freeBytes) = 0;

    // Test hook: the next `count` CreateDevice calls fail with NotAvailable.
    virtual void FailNextCreateDevice(uint32_t count) = 0;
};

// The adapter interface, or null when no graphics is available.
Interface* CreateInterface();

} // namespace gfx
