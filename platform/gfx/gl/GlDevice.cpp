#include "platform/gfx/gl/GlDevice.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "platform/gfx/Bmp.h"
#include "platform/gfx/gl/GlVideoMemory.h"
#include "platform/os/Os.h"
#include "platform/window/Window.h"
#include "platform/window/sdl/SdlWindow.h"

namespace gfx::gl {
namespace {

class GlVertexDeclaration final : public VertexDeclaration {
  public:
    explicit GlVertexDeclaration(std::vector<VertexElement> e) : m_elements(std::move(e)) {}
    const std::vector<VertexElement>& Elements() const override { return m_elements; }
    uint32_t Stride(uint16_t stream) const override {
        uint32_t end = 0;
        for (const VertexElement& e : m_elements) {
            if (e.Stream == stream) end = std::max(end, uint32_t(e.Offset) + elemtype::Size(e.Type));
        }
        return end;
    }

  private:
    std::vector<VertexElement> m_elements;
};

GLenum CmpGl(uint32_t v) {
    switch (static_cast<Cmp>(v)) {
    case Cmp::Never:
        return GL_NEVER;
    case Cmp::Less:
        return GL_LESS;
    case Cmp::Equal:
        return GL_EQUAL;
    case Cmp::LessEqual:
        return GL_LEQUAL;
    case Cmp::Greater:
        return GL_GREATER;
    case Cmp::NotEqual:
        return GL_NOTEQUAL;
    case Cmp::GreaterEqual:
        return GL_GEQUAL;
    default:
        return GL_ALWAYS;
    }
}

GLenum BlendGl(uint32_t v) {
    switch (static_cast<Blend>(v)) {
    case Blend::Zero:
        return GL_ZERO;
    case Blend::SrcColor:
        return GL_SRC_COLOR;
    case Blend::InvSrcColor:
        return GL_ONE_MINUS_SRC_COLOR;
    case Blend::SrcAlpha:
        return GL_SRC_ALPHA;
    case Blend::InvSrcAlpha:
        return GL_ONE_MINUS_SRC_ALPHA;
    case Blend::DestAlpha:
        return GL_DST_ALPHA;
    case Blend::InvDestAlpha:
        return GL_ONE_MINUS_DST_ALPHA;
    case Blend::DestColor:
        return GL_DST_COLOR;
    case Blend::InvDestColor:
        return GL_ONE_MINUS_DST_COLOR;
    case Blend::SrcAlphaSat:
        return GL_SRC_ALPHA_SATURATE;
    case Blend::BlendFactor:
        return GL_CONSTANT_COLOR;
    case Blend::InvBlendFactor:
        return GL_ONE_MINUS_CONSTANT_COLOR;
    default:
        return GL_ONE;
    }
}

GLenum BlendOpGl(uint32_t v) {
    switch (static_cast<BlendOp>(v)) {
    case BlendOp::Subtract:
        return GL_FUNC_SUBTRACT;
    case BlendOp::RevSubtract:
        return GL_FUNC_REVERSE_SUBTRACT;
    case BlendOp::Min:
        return GL_MIN;
    case BlendOp::Max:
        return GL_MAX;
    default:
        return GL_FUNC_ADD;
    }
}

GLenum StencilOpGl(uint32_t v) {
    switch (static_cast<StencilOp>(v)) {
    case StencilOp::Zero:
        return GL_ZERO;
    case StencilOp::Replace:
        return GL_REPLACE;
    case StencilOp::IncrSat:
        return GL_INCR;
    case StencilOp::DecrSat:
        return GL_DECR;
    case StencilOp::Invert:
        return GL_INVERT;
    case StencilOp::Incr:
        return GL_INCR_WRAP;
    case StencilOp::Decr:
        return GL_DECR_WRAP;
    default:
        return GL_KEEP;
    }
}

void SetEnabled(const Functions& gl, GLenum cap, bool on) {
    if (on) {
        gl.Enable(cap);
    } else {
        gl.Disable(cap);
    }
}

uint32_t Samples(const PresentParameters& pp) {
    return pp.MultiSampleType >= 2 ? pp.MultiSampleType : 0;
}

} // namespace

GLenum DepthStorage(Format f) {
    switch (f) {
    case Format::D16:
        return GL_DEPTH_COMPONENT16;
    case Format::D24X8:
        return GL_DEPTH_COMPONENT24;
    case Format::D24S8:
        return GL_DEPTH24_STENCIL8;
    case Format::D32:
        return GL_DEPTH_COMPONENT32F;
    default:
        return 0; // D15S1 and D24X4S4 have no GL storage
    }
}

GLenum DepthAttachment(Format f) {
    return HasStencil(f) ? GL_DEPTH_STENCIL_ATTACHMENT : GL_DEPTH_ATTACHMENT;
}

bool WindowedOverride() {
    const char* v = std::getenv("ZT_WINDOWED");
    return v && *v && std::strcmp(v, "0") != 0;
}

Result GlDevice::Create(window::Window* w, uint32_t behaviorFlags, PresentParameters* pp, Device** out) {
    if (!w || !pp || !out) return Result::InvalidCall;
    *out = nullptr;
    SDL_Window* sdl = window::sdl::NativeWindow(w);
    if (!sdl) return Result::InvalidCall;
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 0);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 0);
    SDL_GLContext ctx = window::sdl::CreateGlContext(sdl);
    if (!ctx) return Result::NotAvailable;

    GlDevice* d = new GlDevice;
    d->m_window = w;
    d->m_sdl = sdl;
    d->m_ctx = ctx;
    d->m_behavior = behaviorFlags;
    GLint major = 0, minor = 0;
    if (!d->m_gl.Load(nullptr) || !d->m_gl.ClipControl) {
        d->Release();
        return Result::NotAvailable;
    }
    d->m_loaded = true;
    d->m_gl.GetIntegerv(GL_MAJOR_VERSION, &major);
    d->m_gl.GetIntegerv(GL_MINOR_VERSION, &minor);
    if (major * 10 + minor < 33) {
        d->Release();
        return Result::NotAvailable;
    }
    PresentParameters p = *pp;
    if (!p.DeviceWindow) p.DeviceWindow = w;
    Result r = d->ValidateParameters(p);
    if (r == Result::Ok) r = d->BuildBackBuffer(p);
    if (r != Result::Ok) {
        d->Release();
        return r;
    }
    const Functions& gl = d->m_gl;
    gl.ClipControl(GL_UPPER_LEFT, GL_ZERO_TO_ONE);
    gl.FrontFace(GL_CW);
    gl.GenVertexArrays(1, &d->m_vao);
    gl.BindVertexArray(d->m_vao);
    gl.PixelStorei(GL_PACK_ALIGNMENT, 4);
    gl.PixelStorei(GL_UNPACK_ALIGNMENT, 1);
    d->m_pp = p;
    d->m_states.ResetToDefaults(p.EnableAutoDepthStencil);
    d->ApplyRenderStates();
    d->m_viewport = {0, 0, p.BackBufferWidth, p.BackBufferHeight, 0.0f, 1.0f};
    d->ApplyViewport();
    *pp = p;
    *out = d;
    return Result::Ok;
}

GlDevice::~GlDevice() {
    // A program still set goes while its GL objects can still be deleted.
    SetProgram(nullptr);
    if (m_ctx) {
        MakeCurrent();
        RestoreDefaultTargets();
        if (m_targetFbo && m_loaded) m_gl.DeleteFramebuffers(1, &m_targetFbo);
        if (m_loaded) m_gl.DeleteFramebuffers(2, m_stretchFbo);
        FreeBackBuffer();
        if (const Functions* dgl = m_loaded ? m_draw.Gl() : nullptr) m_gamma.Release(m_gl, *dgl);
        if (m_vao) m_gl.DeleteVertexArrays(1, &m_vao);
        if (m_decl) m_decl->Release();
        SDL_GL_MakeCurrent(m_sdl, nullptr);
        SDL_GL_DeleteContext(m_ctx);
    }
}

void GlDevice::MakeCurrent() {
    if (SDL_GL_GetCurrentContext() != m_ctx) SDL_GL_MakeCurrent(m_sdl, m_ctx);
}

bool GlDevice::RealFullScreen() const {
    return !m_pp.Windowed && !WindowedOverride();
}

Result GlDevice::ValidateParameters(PresentParameters& p) const {
    if (p.BackBufferWidth == 0 || p.BackBufferHeight == 0) {
        if (!p.Windowed) return Result::InvalidCall;
        window::Rect r = m_window->GetRect();
        p.BackBufferWidth = uint32_t(std::max(1, r.right - r.left));
        p.BackBufferHeight = uint32_t(std::max(1, r.bottom - r.top));
    }
    if (p.BackBufferFormat == Format::Unknown && p.Windowed) p.BackBufferFormat = Format::X8R8G8B8;
    if (p.BackBufferFormat != Format::X8R8G8B8 && p.BackBufferFormat != Format::A8R8G8B8) {
        return Result::InvalidCall;
    }
    if (p.BackBufferCount == 0) p.BackBufferCount = 1;
    if (p.BackBufferCount > 3) return Result::InvalidCall;
    GLint maxSamples = 0;
    m_gl.GetIntegerv(GL_MAX_SAMPLES, &maxSamples);
    if (Samples(p) > uint32_t(maxSamples)) return Result::InvalidCall;
    if (p.EnableAutoDepthStencil && DepthStorage(p.AutoDepthStencilFormat) == 0) return Result::InvalidCall;
    GLint maxSize = 0;
    m_gl.GetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &maxSize);
    if (p.BackBufferWidth > uint32_t(maxSize) || p.BackBufferHeight > uint32_t(maxSize)) {
        return Result::InvalidCall;
    }
    return Result::Ok;
}

Result GlDevice::BuildBackBuffer(const PresentParameters& p) {
    FreeBackBuffer();
    const Functions& gl = m_gl;
    const GLsizei w = GLsizei(p.BackBufferWidth), h = GLsizei(p.BackBufferHeight);
    const GLsizei samples = GLsizei(Samples(p));
    auto storage = [&](GLuint rb, GLenum format) {
        gl.BindRenderbuffer(GL_RENDERBUFFER, rb);
        if (samples) {
            gl.RenderbufferStorageMultisample(GL_RENDERBUFFER, samples, format, w, h);
        } else {
            gl.RenderbufferStorage(GL_RENDERBUFFER, format, w, h);
        }
    };
    gl.GenFramebuffers(1, &m_fbo);
    gl.BindFramebuffer(GL_FRAMEBUFFER, m_fbo);
    gl.GenRenderbuffers(1, &m_colorRb);
    storage(m_colorRb, GL_RGBA8);
    gl.FramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, m_colorRb);
    if (p.EnableAutoDepthStencil) {
        gl.GenRenderbuffers(1, &m_depthRb);
        storage(m_depthRb, DepthStorage(p.AutoDepthStencilFormat));
        gl.FramebufferRenderbuffer(GL_FRAMEBUFFER, DepthAttachment(p.AutoDepthStencilFormat), GL_RENDERBUFFER,
                                   m_depthRb);
    }
    bool complete = gl.CheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
    if (complete && samples) {
        gl.GenFramebuffers(1, &m_resolveFbo);
        gl.BindFramebuffer(GL_FRAMEBUFFER, m_resolveFbo);
        gl.GenRenderbuffers(1, &m_resolveRb);
        gl.BindRenderbuffer(GL_RENDERBUFFER, m_resolveRb);
        gl.RenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, w, h);
        gl.FramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, m_resolveRb);
        complete = gl.CheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
        gl.BindFramebuffer(GL_FRAMEBUFFER, m_fbo);
    }
    GLenum err = gl.GetError();
    while (gl.GetError() != GL_NO_ERROR) {
    }
    if (!complete || err == GL_OUT_OF_MEMORY) {
        FreeBackBuffer();
        return err == GL_OUT_OF_MEMORY ? Result::OutOfVideoMemory : Result::NotAvailable;
    }
    m_backBuffer =
        new GlSurface(GlSurface::Kind::BackBuffer, p.BackBufferWidth, p.BackBufferHeight, p.BackBufferFormat);
    if (p.EnableAutoDepthStencil) {
        m_depthSurface = new GlSurface(GlSurface::Kind::DepthStencil, p.BackBufferWidth, p.BackBufferHeight,
                                       p.AutoDepthStencilFormat);
    }
    RestoreDefaultTargets();
    m_window->SetMode(int(p.BackBufferWidth), int(p.BackBufferHeight), !p.Windowed && !WindowedOverride());
    SDL_GL_SetSwapInterval(p.PresentationInterval == PresentIntervalImmediate ? 0 : 1);
    return Result::Ok;
}

void GlDevice::FreeBackBuffer() {
    const Functions& gl = m_gl;
    if (m_currentTarget == m_backBuffer) m_currentTarget = nullptr;
    if (m_currentDepth == m_depthSurface) m_currentDepth = nullptr;
    if (m_backBuffer) m_backBuffer->Release();
    if (m_depthSurface) m_depthSurface->Release();
    m_backBuffer = m_depthSurface = nullptr;
    if (!m_loaded) return;
    gl.BindFramebuffer(GL_FRAMEBUFFER, 0);
    GLuint fbos[2] = {m_fbo, m_resolveFbo};
    GLuint rbs[3] = {m_colorRb, m_depthRb, m_resolveRb};
    gl.DeleteFramebuffers(2, fbos);
    gl.DeleteRenderbuffers(3, rbs);
    m_fbo = m_resolveFbo = m_colorRb = m_depthRb = m_resolveRb = 0;
}

void GlDevice::UpdateLoss() {
    if (m_coop == Coop::Ok && RealFullScreen() && !m_window->HasFocus()) m_coop = Coop::Lost;
}

Result GlDevice::TestCooperativeLevel() {
    UpdateLoss();
    if (m_coop == Coop::Lost) {
        if (m_simLostPolls > 0) {
            --m_simLostPolls;
            return Result::DeviceLost;
        }
        if (RealFullScreen() && !m_window->HasFocus()) return Result::DeviceLost;
        m_coop = Coop::NotReset;
    }
    return m_coop == Coop::NotReset ? Result::DeviceNotReset : Result::Ok;
}

void GlDevice::SimulateDeviceLoss(uint32_t lostPolls) {
    m_coop = Coop::Lost;
    m_simLostPolls = lostPolls;
}

void GlDevice::FailNextReset(Result result) {
    m_failNextReset = result;
}

Result GlDevice::Reset(PresentParameters* pp) {
    if (!pp) return Result::InvalidCall;
    MakeCurrent();
    if (TestCooperativeLevel() == Result::DeviceLost) return Result::DeviceLost;
    if (m_failNextReset != Result::Ok) {
        Result r = m_failNextReset;
        m_failNextReset = Result::Ok;
        m_coop = Coop::NotReset;
        return r;
    }
    // As on Direct3D, a reset sets the back buffer and its depth surface
    // again: the device's own references to other targets go first.
    RestoreDefaultTargets();
    bool held = (m_backBuffer && m_backBuffer->RefCount() > 1) ||
                (m_depthSurface && m_depthSurface->RefCount() > 1) || m_defaultPoolLive > 0;
    PresentParameters p = *pp;
    if (!p.DeviceWindow) p.DeviceWindow = m_window;
    Result r = held ? Result::InvalidCall : ValidateParameters(p);
    // The back buffer stays when nothing that shapes it changed, as at the
    // first reset after the device was made.
    const bool sameBackBuffer =
        m_fbo && p.BackBufferWidth == m_pp.BackBufferWidth && p.BackBufferHeight == m_pp.BackBufferHeight &&
        Samples(p) == Samples(m_pp) && p.EnableAutoDepthStencil == m_pp.EnableAutoDepthStencil &&
        (!p.EnableAutoDepthStencil || p.AutoDepthStencilFormat == m_pp.AutoDepthStencilFormat);
    if (r == Result::Ok && !sameBackBuffer) r = BuildBackBuffer(p);
    if (r != Result::Ok) {
        m_coop = Coop::NotReset;
        return r;
    }
    m_pp = p;
    *pp = p;
    m_inScene = false;
    m_states.ResetToDefaults(p.EnableAutoDepthStencil);
    m_draw.ResetStates();
    ApplyRenderStates();
    m_viewport = {0, 0, p.BackBufferWidth, p.BackBufferHeight, 0.0f, 1.0f};
    ApplyViewport();
    BindCurrentTarget();
    m_coop = Coop::Ok;
    ++m_resetCount;
    return Result::Ok;
}

Result GlDevice::BeginScene() {
    if (m_inScene) return Result::InvalidCall;
    m_inScene = true;
    return Result::Ok;
}

Result GlDevice::EndScene() {
    if (!m_inScene) return Result::InvalidCall;
    m_inScene = false;
    return Result::Ok;
}

Result GlDevice::Clear(uint32_t count, const Rect* rects, uint32_t flags, uint32_t color, float z,
                       uint32_t stencil) {
    const float rgba[4] = {float((color >> 16) & 0xFF) / 255.0f, float((color >> 8) & 0xFF) / 255.0f,
                           float(color & 0xFF) / 255.0f, float(color >> 24) / 255.0f};
    return ClearRgba(count, rects, flags, rgba, z, stencil);
}

Result GlDevice::ClearRgba(uint32_t count, const Rect* rects, uint32_t flags, const float rgba[4], float z,
                           uint32_t stencil) {
    if ((flags & (clear::ZBuffer | clear::Stencil)) && !m_currentDepth) return Result::InvalidCall;
    if ((flags & clear::Stencil) && !HasStencil(m_currentDepth->GetFormat())) return Result::InvalidCall;
    if (count > 0 && !rects) return Result::InvalidCall;
    if (m_coop != Coop::Ok) return Result::Ok;
    MakeCurrent();
    ApplyRenderStates();
    const Functions& gl = m_gl;
    GLbitfield bits = 0;
    if (flags & clear::Target) {
        bits |= GL_COLOR_BUFFER_BIT;
        gl.ColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
        gl.ClearColor(rgba[0], rgba[1], rgba[2], rgba[3]);
    }
    if (flags & clear::ZBuffer) {
        bits |= GL_DEPTH_BUFFER_BIT;
        gl.DepthMask(GL_TRUE);
        gl.ClearDepth(std::clamp(z, 0.0f, 1.0f));
    }
    if (flags & clear::Stencil) {
        bits |= GL_STENCIL_BUFFER_BIT;
        gl.StencilMaskSeparate(GL_FRONT_AND_BACK, 0xFF);
        gl.ClearStencil(GLint(stencil & 0xFF));
    }
    // Only the viewport (or the given rectangles inside it) is cleared.
    gl.Enable(GL_SCISSOR_TEST);
    const int vx0 = int(m_viewport.X), vy0 = int(m_viewport.Y);
    const int vx1 = vx0 + int(m_viewport.Width), vy1 = vy0 + int(m_viewport.Height);
    const uint32_t n = count ? count : 1;
    for (uint32_t i = 0; i < n; ++i) {
        int x0 = vx0, y0 = vy0, x1 = vx1, y1 = vy1;
        if (count) {
            x0 = std::max(x0, int(rects[i].left));
            y0 = std::max(y0, int(rects[i].top));
            x1 = std::min(x1, int(rects[i].right));
            y1 = std::min(y1, int(rects[i].bottom));
        }
        if (x1 <= x0 || y1 <= y0) continue;
        gl.Scissor(x0, y0, x1 - x0, y1 - y0);
        gl.Clear(bits);
    }
    // Put back what the render states say.
    const uint32_t cw = m_states.Applied(RenderState::ColorWriteEnable);
    gl.ColorMask(cw & 1, (cw >> 1) & 1, (cw >> 2) & 1, (cw >> 3) & 1);
    gl.DepthMask(m_states.Applied(RenderState::ZWriteEnable) ? GL_TRUE : GL_FALSE);
    gl.StencilMaskSeparate(GL_FRONT_AND_BACK, m_states.Applied(RenderState::StencilWriteMask));
    SetEnabled(gl, GL_SCISSOR_TEST, m_states.Applied(RenderState::ScissorTestEnable) != 0);
    return Result::Ok;
}

Result GlDevice::Present() {
    UpdateLoss();
    if (m_coop != Coop::Ok) return Result::DeviceLost;
    MakeCurrent();
    const Functions& gl = m_gl;
    const GLint w = GLint(m_pp.BackBufferWidth), h = GLint(m_pp.BackBufferHeight);
    GLuint source = m_fbo;
    gl.Disable(GL_SCISSOR_TEST);
    if (m_resolveFbo) {
        gl.BindFramebuffer(GL_READ_FRAMEBUFFER, m_fbo);
        gl.BindFramebuffer(GL_DRAW_FRAMEBUFFER, m_resolveFbo);
        gl.BlitFramebuffer(0, 0, w, h, 0, 0, w, h, GL_COLOR_BUFFER_BIT, GL_NEAREST);
        source = m_resolveFbo;
    }
    int dw = 0, dh = 0;
    SDL_GL_GetDrawableSize(m_sdl, &dw, &dh);
    // The window system has no ramp of its own: a non-identity ramp is drawn
    // into the window here, and only there (read-backs stay unramped).
    bool drawn = false;
    if (!GammaRampIsIdentity()) {
        if (const Functions* dgl = m_draw.Gl())
            drawn = m_gamma.Draw(gl, *dgl, source, w, h, dw, dh, m_gammaRamp);
    }
    if (!drawn) {
        gl.BindFramebuffer(GL_READ_FRAMEBUFFER, source);
        gl.BindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
        // Row 0 of the back buffer is the top of the screen; the window's is the bottom.
        gl.BlitFramebuffer(0, 0, w, h, 0, dh, dw, 0, GL_COLOR_BUFFER_BIT,
                           (dw == w && dh == h) ? GL_NEAREST : GL_LINEAR);
    }
    if (m_capturePresented) CapturePresentedPicture(dw, dh);
    SDL_GL_SwapWindow(m_sdl);
    BindCurrentTarget();
    SetEnabled(gl, GL_SCISSOR_TEST, m_states.Applied(RenderState::ScissorTestEnable) != 0);
    return Result::Ok;
}

Result GlDevice::SetRenderState(RenderState state, uint32_t value) {
    if (static_cast<uint32_t>(state) >= RenderStateCount) return Result::InvalidCall;
    m_states.Set(state, value);
    return Result::Ok;
}

Result GlDevice::GetRenderState(RenderState state, uint32_t* value) {
    if (static_cast<uint32_t>(state) >= RenderStateCount || !value) return Result::InvalidCall;
    *value = m_states.Get(state);
    return Result::Ok;
}

void GlDevice::ApplyRenderStates() {
    MakeCurrent();
    m_states.Apply([this](RenderState s, uint32_t v) { ApplyState(s, v); });
}

void GlDevice::ApplyState(RenderState s, uint32_t v) {
    const Functions& gl = m_gl;
    auto get = [this](RenderState k) { return m_states.Get(k); };
    switch (s) {
    case RenderState::ZEnable:
        SetEnabled(gl, GL_DEPTH_TEST, v != 0);
        break;
    case RenderState::ZWriteEnable:
        gl.DepthMask(v ? GL_TRUE : GL_FALSE);
        break;
    case RenderState::ZFunc:
        gl.DepthFunc(CmpGl(v));
        break;
    case RenderState::FillMode:
        gl.PolygonMode(GL_FRONT_AND_BACK, v == StateValue(FillMode::Point)       ? GL_POINT
                                          : v == StateValue(FillMode::Wireframe) ? GL_LINE
                                                                                 : GL_FILL);
        break;
    case RenderState::CullMode:
        // Front faces are clockwise (set once at creation).
        SetEnabled(gl, GL_CULL_FACE, v != StateValue(Cull::None));
        gl.CullFace(v == StateValue(Cull::Cw) ? GL_FRONT : GL_BACK);
        break;
    case RenderState::AlphaBlendEnable:
        SetEnabled(gl, GL_BLEND, v != 0);
        break;
    case RenderState::SrcBlend:
    case RenderState::DestBlend:
    case RenderState::SeparateAlphaBlendEnable:
    case RenderState::SrcBlendAlpha:
    case RenderState::DestBlendAlpha: {
        const bool separate = get(RenderState::SeparateAlphaBlendEnable) != 0;
        const uint32_t src = get(RenderState::SrcBlend), dst = get(RenderState::DestBlend);
        gl.BlendFuncSeparate(BlendGl(src), BlendGl(dst),
                             BlendGl(separate ? get(RenderState::SrcBlendAlpha) : src),
                             BlendGl(separate ? get(RenderState::DestBlendAlpha) : dst));
        break;
    }
    case RenderState::BlendOp:
    case RenderState::BlendOpAlpha: {
        const bool separate = get(RenderState::SeparateAlphaBlendEnable) != 0;
        const uint32_t op = get(RenderState::BlendOp);
        gl.BlendEquationSeparate(BlendOpGl(op), BlendOpGl(separate ? get(RenderState::BlendOpAlpha) : op));
        break;
    }
    case RenderState::DitherEnable:
        SetEnabled(gl, GL_DITHER, v != 0);
        break;
    case RenderState::StencilEnable:
        SetEnabled(gl, GL_STENCIL_TEST, v != 0);
        break;
    case RenderState::StencilFunc:
    case RenderState::StencilRef:
    case RenderState::StencilMask:
    case RenderState::CcwStencilFunc:
    case RenderState::TwoSidedStencilMode: {
        const bool two = get(RenderState::TwoSidedStencilMode) != 0;
        const GLint ref = GLint(get(RenderState::StencilRef));
        const GLuint mask = get(RenderState::StencilMask);
        const uint32_t front = get(RenderState::StencilFunc);
        gl.StencilFuncSeparate(GL_FRONT, CmpGl(front), ref, mask);
        gl.StencilFuncSeparate(GL_BACK, CmpGl(two ? get(RenderState::CcwStencilFunc) : front), ref, mask);
        [[fallthrough]];
    }
    case RenderState::StencilFail:
    case RenderState::StencilZFail:
    case RenderState::StencilPass:
    case RenderState::CcwStencilFail:
    case RenderState::CcwStencilZFail:
    case RenderState::CcwStencilPass: {
        const bool two = get(RenderState::TwoSidedStencilMode) != 0;
        gl.StencilOpSeparate(GL_FRONT, StencilOpGl(get(RenderState::StencilFail)),
                             StencilOpGl(get(RenderState::StencilZFail)),
                             StencilOpGl(get(RenderState::StencilPass)));
        gl.StencilOpSeparate(GL_BACK,
                             StencilOpGl(get(two ? RenderState::CcwStencilFail : RenderState::StencilFail)),
                             StencilOpGl(get(two ? RenderState::CcwStencilZFail : RenderState::StencilZFail)),
                             StencilOpGl(get(two ? RenderState::CcwStencilPass : RenderState::StencilPass)));
        break;
    }
    case RenderState::StencilWriteMask:
        gl.StencilMaskSeparate(GL_FRONT_AND_BACK, v);
        break;
    case RenderState::ColorWriteEnable:
        gl.ColorMask(v & 1, (v >> 1) & 1, (v >> 2) & 1, (v >> 3) & 1);
        break;
    case RenderState::ScissorTestEnable:
        SetEnabled(gl, GL_SCISSOR_TEST, v != 0);
        break;
    case RenderState::MultisampleAntialias:
        SetEnabled(gl, GL_MULTISAMPLE, v != 0);
        break;
    case RenderState::DepthBias:
    case RenderState::SlopeScaleDepthBias: {
        // Direct3D's bias is in depth units; GL's in steps of the depth buffer.
        const float bias = StateFloat(get(RenderState::DepthBias));
        const float slope = StateFloat(get(RenderState::SlopeScaleDepthBias));
        const int bits = m_currentDepth ? DepthBits(m_currentDepth->GetFormat()) : 24;
        const bool on = bias != 0.0f || slope != 0.0f;
        SetEnabled(gl, GL_POLYGON_OFFSET_FILL, on);
        SetEnabled(gl, GL_POLYGON_OFFSET_LINE, on);
        gl.PolygonOffset(slope, bias * float(1u << std::min(bits, 24)));
        break;
    }
    default:
        // Fixed-function states (lighting, fog, alpha test, shading ...) live
        // only in the shadow state; the layer's built-in programs read them.
        break;
    }
}

Result GlDevice::SetViewport(const Viewport& vp) {
    // The viewport lies inside the render target as set.
    const Surface* t = m_currentTarget;
    if (!t || vp.Width == 0 || vp.Height == 0 || vp.X + vp.Width > t->Width() ||
        vp.Y + vp.Height > t->Height() || vp.MinZ < 0.0f || vp.MaxZ > 1.0f || vp.MinZ > vp.MaxZ) {
        return Result::InvalidCall;
    }
    m_viewport = vp;
    ApplyViewport();
    return Result::Ok;
}

Result GlDevice::GetViewport(Viewport* vp) {
    if (!vp) return Result::InvalidCall;
    *vp = m_viewport;
    return Result::Ok;
}

void GlDevice::ApplyViewport() {
    MakeCurrent();
    // Window row 0 is the top of the screen, so the viewport's top is its y.
    m_gl.Viewport(GLint(m_viewport.X), GLint(m_viewport.Y), GLsizei(m_viewport.Width),
                  GLsizei(m_viewport.Height));
    m_gl.DepthRange(m_viewport.MinZ, m_viewport.MaxZ);
}

Result GlDevice::GetDeviceCaps(Caps* caps) {
    if (!caps) return Result::InvalidCall;
    MakeCurrent();
    GLint maxTex = 0, maxSamples = 0, maxDraw = 0;
    m_gl.GetIntegerv(GL_MAX_TEXTURE_SIZE, &maxTex);
    m_gl.GetIntegerv(GL_MAX_SAMPLES, &maxSamples);
    m_gl.GetIntegerv(GL_MAX_DRAW_BUFFERS, &maxDraw);
    *caps = {};
    caps->PixelShaderVersion = m_pixelShaderVersion ? m_pixelShaderVersion : PixelShaderVersion(3, 0);
    caps->VertexShaderVersion = VertexShaderVersion(3, 0);
    caps->MaxTextureWidth = caps->MaxTextureHeight = uint32_t(maxTex);
    caps->MaxSimultaneousTextures = 8;
    caps->NumSimultaneousRTs = uint32_t(std::min(maxDraw, 4));
    caps->MaxMultiSamples = uint32_t(maxSamples);
    caps->MaxAnisotropy = uint32_t(m_draw.MaxAnisotropy());
    return Result::Ok;
}

Result GlDevice::GetRenderTarget(uint32_t index, Surface** surface) {
    if (!surface || index != 0 || !m_currentTarget) return Result::InvalidCall;
    m_currentTarget->AddRef();
    *surface = m_currentTarget;
    return Result::Ok;
}

Result GlDevice::GetDepthStencilSurface(Surface** surface) {
    if (!surface) return Result::InvalidCall;
    *surface = nullptr;
    if (!m_currentDepth) return Result::NotAvailable;
    m_currentDepth->AddRef();
    *surface = m_currentDepth;
    return Result::Ok;
}

void GlDevice::BindReadable() {
    const Functions& gl = m_gl;
    if (m_resolveFbo) {
        const GLint w = GLint(m_pp.BackBufferWidth), h = GLint(m_pp.BackBufferHeight);
        gl.Disable(GL_SCISSOR_TEST);
        gl.BindFramebuffer(GL_READ_FRAMEBUFFER, m_fbo);
        gl.BindFramebuffer(GL_DRAW_FRAMEBUFFER, m_resolveFbo);
        gl.BlitFramebuffer(0, 0, w, h, 0, 0, w, h, GL_COLOR_BUFFER_BIT, GL_NEAREST);
        gl.BindFramebuffer(GL_DRAW_FRAMEBUFFER, m_fbo);
        gl.BindFramebuffer(GL_READ_FRAMEBUFFER, m_resolveFbo);
        SetEnabled(gl, GL_SCISSOR_TEST, m_states.Applied(RenderState::ScissorTestEnable) != 0);
    } else {
        gl.BindFramebuffer(GL_READ_FRAMEBUFFER, m_fbo);
    }
}

Result GlDevice::ReadPixels(Surface* surface, uint32_t* pixels, uint32_t pitch) {
    if (!surface || !pixels || surface != m_backBuffer || pitch < surface->Width())
        return Result::InvalidCall;
    if (m_coop != Coop::Ok) return Result::DeviceLost;
    MakeCurrent();
    const Functions& gl = m_gl;
    BindReadable();
    gl.PixelStorei(GL_PACK_ROW_LENGTH, GLint(pitch));
    // Row 0 in memory is the top of the screen: the rows come out top-down.
    gl.ReadPixels(0, 0, GLsizei(surface->Width()), GLsizei(surface->Height()), GL_BGRA,
                  GL_UNSIGNED_INT_8_8_8_8_REV, pixels);
    gl.PixelStorei(GL_PACK_ROW_LENGTH, 0);
    BindCurrentTarget();
    if (surface->GetFormat() == Format::X8R8G8B8) {
        for (uint32_t y = 0; y < surface->Height(); ++y) {
            uint32_t* row = pixels + size_t(y) * pitch;
            for (uint32_t x = 0; x < surface->Width(); ++x)
                row[x] |= 0xFF000000u;
        }
    }
    return Result::Ok;
}

void GlDevice::CapturePresentedPicture(int dw, int dh) {
    const Functions& gl = m_gl;
    m_presentedW = uint32_t(std::max(dw, 0));
    m_presentedH = uint32_t(std::max(dh, 0));
    m_presented.assign(size_t(m_presentedW) * m_presentedH, 0);
    if (m_presented.empty()) return;
    // Read the buffer Present drew into, whichever the window reads by default.
    gl.BindFramebuffer(GL_READ_FRAMEBUFFER, 0);
    gl.BindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
    GLint drawn = GL_BACK, readBefore = GL_BACK;
    gl.GetIntegerv(GL_DRAW_BUFFER, &drawn);
    gl.GetIntegerv(GL_READ_BUFFER, &readBefore);
    gl.ReadBuffer(GLenum(drawn));
    gl.ReadPixels(0, 0, dw, dh, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, m_presented.data());
    gl.ReadBuffer(GLenum(readBefore));
    // The window's rows come bottom-up; the window keeps no alpha.
    for (uint32_t y = 0; y < m_presentedH / 2; ++y) {
        std::swap_ranges(m_presented.begin() + ptrdiff_t(y) * dw, m_presented.begin() + ptrdiff_t(y + 1) * dw,
                         m_presented.begin() + ptrdiff_t(m_presentedH - 1 - y) * dw);
    }
    for (uint32_t& p : m_presented)
        p |= 0xFF000000u;
}

const std::vector<uint32_t>& GlDevice::PresentedPicture(uint32_t* width, uint32_t* height) const {
    if (width) *width = m_presentedW;
    if (height) *height = m_presentedH;
    return m_presented;
}

Result GlDevice::SaveSurfaceToFile(const char* fileName, Surface* surface) {
    if (!fileName || !surface) return Result::InvalidCall;
    const uint32_t w = surface->Width(), h = surface->Height();
    m_readBuffer.resize(size_t(w) * h);
    Result r = ReadPixels(surface, m_readBuffer.data(), w);
    if (r != Result::Ok) return r;
    std::FILE* f = os::OpenFile(fileName, "wb");
    if (!f) return Result::InvalidCall;
    bool ok = WriteBmp(f, w, h, m_readBuffer.data(), w);
    ok = std::fclose(f) == 0 && ok;
    return ok ? Result::Ok : Result::InvalidCall;
}

Result GlDevice::CreateVertexDeclaration(const VertexElement* elements, VertexDeclaration** decl) {
    if (!elements || !decl) return Result::InvalidCall;
    std::vector<VertexElement> list;
    for (const VertexElement* e = elements; e->Stream != 0xFF; ++e) {
        if (elemtype::Size(e->Type) == 0 || list.size() >= 64) return Result::InvalidCall;
        list.push_back(*e);
    }
    *decl = new GlVertexDeclaration(std::move(list));
    return Result::Ok;
}

Result GlDevice::SetVertexDeclaration(VertexDeclaration* decl) {
    if (decl) decl->AddRef();
    if (m_decl) m_decl->Release();
    m_decl = decl;
    // A declaration replaces the vertex format, as SetFVF replaces it.
    if (decl) m_draw.SetFVF(0);
    return Result::Ok;
}

Result GlDevice::GetVertexDeclaration(VertexDeclaration** decl) {
    if (!decl) return Result::InvalidCall;
    // A vertex format set after the declaration replaces it.
    *decl = m_draw.GetFVF() ? nullptr : m_decl;
    if (*decl) (*decl)->AddRef();
    return Result::Ok;
}

uint64_t GlDevice::GetAvailableTextureMem() {
    MakeCurrent();
    uint64_t total = 0, free = 0;
    if (!QueryVideoMemory(m_gl, &total, &free)) return DefaultVideoMemoryBytes;
    return free;
}

} // namespace gfx::gl
