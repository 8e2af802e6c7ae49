// The OpenGL device. The back buffer is a framebuffer object of the present
// parameters' size and formats (multisampled when asked, with a resolve
// target); Present copies it to the window's own framebuffer, flipped, as
// rendering keeps the top row of the screen in row 0 (upper-left clip
// origin, depth 0..1, clockwise front faces).
#pragma once

#include <SDL2/SDL.h>

#include <vector>

#include "platform/gfx/Device.h"
#include "platform/gfx/RenderStateCache.h"
#include "platform/gfx/gl/GlDraw.h"
#include "platform/gfx/gl/GlFunctions.h"
#include "platform/gfx/gl/GlGammaPass.h"

namespace gfx::gl {

// GL storage of a depth-stencil format (0 when GL has none) and the
// attachment point it needs.
GLenum DepthStorage(Format f);
GLenum DepthAttachment(Format f);

// ZT_WINDOWED=1: a full-screen request opens a window of the same size
// instead (development); such a device is never lost through focus.
bool WindowedOverride();

class GlDevice;

class GlSurface final : public Surface {
  public:
    enum class Kind { BackBuffer, DepthStencil };
    GlSurface(Kind kind, uint32_t w, uint32_t h, Format f) : m_kind(kind), m_w(w), m_h(h), m_format(f) {}
    uint32_t Width() const override { return m_w; }
    uint32_t Height() const override { return m_h; }
    Format GetFormat() const override { return m_format; }
    Kind GetKind() const { return m_kind; }

  private:
    Kind m_kind;
    uint32_t m_w, m_h;
    Format m_format;
};

class GlDevice final : public Device {
  public:
    // Creates the context on the window and the back buffer; NotAvailable
    // when GL cannot give what is asked.
    static Result Create(window::Window* w, uint32_t behaviorFlags, PresentParameters* pp, Device** out);

    Result TestCooperativeLevel() override;
    Result Reset(PresentParameters* pp) override;
    Result Present() override;
    Result BeginScene() override;
    Result EndScene() override;
    Result Clear(uint32_t count, const Rect* rects, uint32_t flags, uint32_t color, float z,
                 uint32_t stencil) override;
    Result SetRenderState(RenderState state, uint32_t value) override;
    Result GetRenderState(RenderState state, uint32_t* value) override;
    void ApplyRenderStates() override;
    Result SetViewport(const Viewport& vp) override;
    Result GetViewport(Viewport* vp) override;
    Result GetDeviceCaps(Caps* caps) override;
    const PresentParameters& GetPresentParameters() const override { return m_pp; }
    Result GetRenderTarget(uint32_t index, Surface** surface) override;
    Result GetDepthStencilSurface(Surface** surface) override;
    Result CreateDepthStencilSurface(uint32_t width, uint32_t height, Format format, uint32_t samples,
                                     uint32_t quality, bool discard, Surface** out) override;
    Result SetRenderTarget(uint32_t index, Surface* surface) override;
    Result SetDepthStencilSurface(Surface* surface) override;
    Result GetRenderTargetData(Surface* target, Surface* dest) override;
    Result StretchRect(Surface* source, const Rect* sourceRect, Surface* dest, const Rect* destRect,
                       TextureFilter filter) override;
    Result ClearFloat(uint32_t count, const Rect* rects, uint32_t flags, const math::Vec4& color, float z,
                      uint32_t stencil) override;
    Result ReadPixels(Surface* surface, uint32_t* pixels, uint32_t pitch) override;
    Result SaveSurfaceToFile(const char* fileName, Surface* surface) override;
    Result CreateVertexDeclaration(const VertexElement* elements, VertexDeclaration** decl) override;
    Result SetVertexDeclaration(VertexDeclaration* decl) override;
    Result GetVertexDeclaration(VertexDeclaration** decl) override;
    uint64_t GetAvailableTextureMem() override;
    void SimulateDeviceLoss(uint32_t lostPolls) override;
    void FailNextReset(Result result) override;
    void FailTextureCreation(uint32_t nth) override { m_failTextureIn = nth; }
    void OverridePixelShaderVersion(uint32_t version) override { m_pixelShaderVersion = version; }
    uint32_t ResetCount() const override { return m_resetCount; }
    void CapturePresented(bool on) override { m_capturePresented = on; }
    const std::vector<uint32_t>& PresentedPicture(uint32_t* width, uint32_t* height) const override;
    const GlGammaPass& GammaPass() const { return m_gamma; }

    // Default-pool resources of later services count themselves here, so a
    // reset refuses while any is alive.
    void AddDefaultPoolResource() { ++m_defaultPoolLive; }
    void RemoveDefaultPoolResource() { --m_defaultPoolLive; }

    const Functions& Gl() const { return m_gl; }
    void MakeCurrent();

  protected:
    ~GlDevice() override;

  private:
    GlDevice() = default;
    enum class Coop { Ok, Lost, NotReset };

    bool RealFullScreen() const;
    void UpdateLoss();
    Result ValidateParameters(PresentParameters& pp) const;
    Result BuildBackBuffer(const PresentParameters& pp);
    void FreeBackBuffer();
    void ApplyState(RenderState s, uint32_t v);
    void ApplyViewport();
    // Binds the single-sampled copy of the back buffer for reading.
    void BindReadable();
    // Render target and depth surface (GlTargets.cpp). The framebuffer of
    // the current pair becomes the one drawn into: the back buffer's own
    // when both are the back buffer's, else m_targetFbo with them attached.
    void BindCurrentTarget();
    // The back buffer and its automatic depth surface again (creation,
    // reset), dropping the references held on others.
    void RestoreDefaultTargets();
    // Binds what StretchRect reads or writes (`side` 0 or 1) to `binding`;
    // false for a surface that is no render target.
    bool BindStretchSide(Surface* s, GLenum binding, int side);
    Result ClearRgba(uint32_t count, const Rect* rects, uint32_t flags, const float rgba[4], float z,
                     uint32_t stencil);
    // The window's framebuffer (dw x dh) into m_presented, top row first.
    void CapturePresentedPicture(int dw, int dh);

    window::Window* m_window = nullptr;
    SDL_Window* m_sdl = nullptr;
    SDL_GLContext m_ctx = nullptr;
    Functions m_gl;
    bool m_loaded = false;
    PresentParameters m_pp;
    uint32_t m_behavior = 0;

    GLuint m_fbo = 0, m_colorRb = 0, m_depthRb = 0;
    GLuint m_resolveFbo = 0, m_resolveRb = 0;
    GLuint m_vao = 0;
    GlSurface* m_backBuffer = nullptr;
    GlSurface* m_depthSurface = nullptr;
    // What draws and clears go to. Each holds a reference unless it is the
    // back buffer or the automatic depth surface; m_currentDepth may be null.
    Surface* m_currentTarget = nullptr;
    Surface* m_currentDepth = nullptr;
    GLuint m_targetFbo = 0;
    // The two sides of StretchRect between texture levels.
    GLuint m_stretchFbo[2] = {0, 0};

    RenderStateCache m_states;
    Viewport m_viewport;
    VertexDeclaration* m_decl = nullptr;

    Coop m_coop = Coop::Ok;
    uint32_t m_simLostPolls = 0;
    Result m_failNextReset = Result::Ok;
    uint32_t m_failTextureIn = 0;      // CreateTexture calls until the injected failure
    uint32_t m_pixelShaderVersion = 0; // reported by GetDeviceCaps when not 0
    uint32_t m_resetCount = 0;
    uint32_t m_defaultPoolLive = 0;
    bool m_inScene = false;
    std::vector<uint32_t> m_readBuffer;
    GlGammaPass m_gamma;
    bool m_capturePresented = false;
    std::vector<uint32_t> m_presented;
    uint32_t m_presentedW = 0, m_presentedH = 0;

#include "platform/gfx/gl/GlDrawMembers.inc"
};

} // namespace gfx::gl
