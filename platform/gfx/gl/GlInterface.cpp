// The adapter interface on OpenGL. Questions about the adapter (formats,
// multisampling, capabilities, video memory) are answered from a small hidden
// probe window with its own context, made once; the probe's answers about
// formats are cached.
#include <SDL2/SDL.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>

#include "platform/gfx/Device.h"
#include "platform/gfx/gl/GlDevice.h"
#include "platform/gfx/gl/GlFunctions.h"
#include "platform/gfx/gl/GlVideoMemory.h"
#include "platform/window/sdl/SdlWindow.h"

namespace gfx::gl {
namespace {

class GlInterface final : public Interface {
  public:
    bool Init() {
        if (!window::sdl::InitVideo()) return false;
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
        m_probeWindow = SDL_CreateWindow("probe", 0, 0, 1, 1, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
        if (!m_probeWindow) return false;
        ProbeScope scope(*this);
        m_probe = window::sdl::CreateGlContext(m_probeWindow);
        if (!m_probe) return false;
        if (!m_gl.Load(nullptr)) return false;
        GLint major = 0, minor = 0;
        m_gl.GetIntegerv(GL_MAJOR_VERSION, &major);
        m_gl.GetIntegerv(GL_MINOR_VERSION, &minor);
        if (major * 10 + minor < 33) return false;
        auto str = [this](GLenum e) {
            const char* s = reinterpret_cast<const char*>(m_gl.GetString(e));
            return std::string(s ? s : "");
        };
        m_driver = "OpenGL " + str(GL_VERSION);
        m_description = str(GL_RENDERER) + " (" + str(GL_VENDOR) + ")";
        m_gl.GetIntegerv(GL_MAX_SAMPLES, &m_maxSamples);
        m_gl.GetIntegerv(GL_MAX_TEXTURE_SIZE, &m_maxTexture);
        m_gl.GetIntegerv(GL_MAX_DRAW_BUFFERS, &m_maxDrawBuffers);
        return true;
    }

    uint32_t GetAdapterCount() override { return 1; }

    Result GetAdapterDisplayMode(uint32_t adapter, DisplayMode* mode) override {
        if (adapter != 0 || !mode) return Result::InvalidCall;
        SDL_DisplayMode m{};
        if (SDL_GetDesktopDisplayMode(0, &m) != 0) return Result::NotAvailable;
        *mode = {uint32_t(m.w), uint32_t(m.h), uint32_t(m.refresh_rate), Format::X8R8G8B8};
        return Result::Ok;
    }

    Result GetAdapterIdentifier(uint32_t adapter, uint32_t, AdapterIdentifier* id) override {
        if (adapter != 0 || !id) return Result::InvalidCall;
        *id = {};
        std::snprintf(id->Driver, sizeof id->Driver, "%s", m_driver.c_str());
        std::snprintf(id->Description, sizeof id->Description, "%s", m_description.c_str());
        return Result::Ok;
    }

    uint32_t GetAdapterModeCount(uint32_t adapter, Format format) override {
        if (adapter != 0 || format != Format::X8R8G8B8) return 0;
        int n = SDL_GetNumDisplayModes(0);
        return n > 0 ? uint32_t(n) : 0;
    }

    Result EnumAdapterModes(uint32_t adapter, Format format, uint32_t index, DisplayMode* mode) override {
        if (!mode || index >= GetAdapterModeCount(adapter, format)) return Result::InvalidCall;
        SDL_DisplayMode m{};
        if (SDL_GetDisplayMode(0, int(index), &m) != 0) return Result::InvalidCall;
        *mode = {uint32_t(m.w), uint32_t(m.h), uint32_t(m.refresh_rate), Format::X8R8G8B8};
        return Result::Ok;
    }

    Result CheckDeviceMultiSampleType(uint32_t adapter, DeviceType, Format surfaceFormat, bool,
                                      uint32_t samples, uint32_t* qualityLevels) override {
        if (adapter != 0) return Result::InvalidCall;
        if (qualityLevels) *qualityLevels = 0;
        if (!IsColorFormat(surfaceFormat) && DepthStorage(surfaceFormat) == 0) return Result::NotAvailable;
        if (samples >= 2 && samples > uint32_t(m_maxSamples)) return Result::NotAvailable;
        if (qualityLevels) *qualityLevels = 1;
        return Result::Ok;
    }

    Result CheckDeviceFormat(uint32_t adapter, DeviceType, Format adapterFormat, uint32_t usageFlags,
                             ResourceType, Format checkFormat) override {
        if (adapter != 0 || adapterFormat != Format::X8R8G8B8) return Result::InvalidCall;
        if (usageFlags & usage::DepthStencil) {
            return DepthFormatWorks(checkFormat) ? Result::Ok : Result::NotAvailable;
        }
        return IsColorFormat(checkFormat) ? Result::Ok : Result::NotAvailable;
    }

    Result CheckDepthStencilMatch(uint32_t adapter, DeviceType, Format adapterFormat,
                                  Format renderTargetFormat, Format depthStencilFormat) override {
        if (adapter != 0 || adapterFormat != Format::X8R8G8B8) return Result::InvalidCall;
        // GL attaches any depth storage to any colour storage of the same size.
        if (!IsColorFormat(renderTargetFormat)) return Result::NotAvailable;
        return DepthFormatWorks(depthStencilFormat) ? Result::Ok : Result::NotAvailable;
    }

    Result GetDeviceCaps(uint32_t adapter, DeviceType, Caps* caps) override {
        if (adapter != 0 || !caps) return Result::InvalidCall;
        *caps = {};
        caps->PixelShaderVersion = PixelShaderVersion(3, 0);
        caps->VertexShaderVersion = VertexShaderVersion(3, 0);
        caps->MaxTextureWidth = caps->MaxTextureHeight = uint32_t(m_maxTexture);
        caps->MaxSimultaneousTextures = 8;
        caps->NumSimultaneousRTs = uint32_t(m_maxDrawBuffers < 4 ? m_maxDrawBuffers : 4);
        caps->MaxMultiSamples = uint32_t(m_maxSamples);
        return Result::Ok;
    }

    Result CreateDevice(uint32_t adapter, DeviceType, window::Window* focusWindow, uint32_t behaviorFlags,
                        PresentParameters* pp, Device** device) override {
        if (adapter != 0 || !device) return Result::InvalidCall;
        if (m_failCreates > 0) {
            --m_failCreates;
            *device = nullptr;
            return Result::NotAvailable;
        }
        return GlDevice::Create(pp && pp->DeviceWindow ? pp->DeviceWindow : focusWindow, behaviorFlags, pp,
                                device);
    }

    bool QueryVideoMemory(uint64_t* totalBytes, uint64_t* freeBytes) override {
        ProbeScope scope(*this);
        SDL_GL_MakeCurrent(m_probeWindow, m_probe);
        if (gl::QueryVideoMemory(m_gl, totalBytes, freeBytes)) return true;
        if (totalBytes) *totalBytes = DefaultVideoMemoryBytes;
        if (freeBytes) *freeBytes = DefaultVideoMemoryBytes;
        return false;
    }

    void FailNextCreateDevice(uint32_t count) override { m_failCreates = count; }

  protected:
    ~GlInterface() override {
        if (m_probe) SDL_GL_DeleteContext(m_probe);
        if (m_probeWindow) SDL_DestroyWindow(m_probeWindow);
    }

  private:
    // Makes nothing current by itself; puts back whatever context was
    // current (the device's) when it ends.
    class ProbeScope {
      public:
        explicit ProbeScope(GlInterface&)
            : m_window(SDL_GL_GetCurrentWindow()), m_ctx(SDL_GL_GetCurrentContext()) {}
        ~ProbeScope() {
            if (m_ctx) SDL_GL_MakeCurrent(m_window, m_ctx);
        }

      private:
        SDL_Window* m_window;
        SDL_GLContext m_ctx;
    };

    static bool IsColorFormat(Format f) { return f == Format::X8R8G8B8 || f == Format::A8R8G8B8; }

    // Whether a framebuffer with this depth storage is complete on the driver.
    bool DepthFormatWorks(Format f) {
        const GLenum storage = DepthStorage(f);
        if (storage == 0) return false;
        auto found = m_formatCache.find(f);
        if (found != m_formatCache.end()) return found->second;
        ProbeScope scope(*this);
        SDL_GL_MakeCurrent(m_probeWindow, m_probe);
        GLuint fbo = 0, rb[2] = {0, 0};
        m_gl.GenFramebuffers(1, &fbo);
        m_gl.BindFramebuffer(GL_FRAMEBUFFER, fbo);
        m_gl.GenRenderbuffers(2, rb);
        m_gl.BindRenderbuffer(GL_RENDERBUFFER, rb[0]);
        m_gl.RenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, 16, 16);
        m_gl.FramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, rb[0]);
        m_gl.BindRenderbuffer(GL_RENDERBUFFER, rb[1]);
        m_gl.RenderbufferStorage(GL_RENDERBUFFER, storage, 16, 16);
        m_gl.FramebufferRenderbuffer(GL_FRAMEBUFFER, DepthAttachment(f), GL_RENDERBUFFER, rb[1]);
        const bool ok = m_gl.CheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE &&
                        m_gl.GetError() == GL_NO_ERROR;
        m_gl.BindFramebuffer(GL_FRAMEBUFFER, 0);
        m_gl.DeleteFramebuffers(1, &fbo);
        m_gl.DeleteRenderbuffers(2, rb);
        m_formatCache[f] = ok;
        return ok;
    }

    SDL_Window* m_probeWindow = nullptr;
    SDL_GLContext m_probe = nullptr;
    Functions m_gl;
    std::string m_driver, m_description;
    GLint m_maxSamples = 0, m_maxTexture = 0, m_maxDrawBuffers = 0;
    std::map<Format, bool> m_formatCache;
    uint32_t m_failCreates = 0;
};

} // namespace
} // namespace gfx::gl

namespace gfx {

Interface* CreateInterface() {
    auto* i = new gl::GlInterface;
    if (!i->Init()) {
        i->Release();
        return nullptr;
    }
    return i;
}

} // namespace gfx
