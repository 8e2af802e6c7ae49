// Render targets of the OpenGL device: what draws and clears go to (the back
// buffer, a level of a render-target texture or of one face of a
// render-target cube, with the automatic depth surface, one of its own or
// none), float clears and the read-back of a target into system memory.
#include "platform/gfx/gl/GlDevice.h"

namespace gfx::gl {

void GlDevice::RestoreDefaultTargets() {
    if (m_currentTarget && m_currentTarget != m_backBuffer) m_currentTarget->Release();
    if (m_currentDepth && m_currentDepth != m_depthSurface) m_currentDepth->Release();
    m_currentTarget = m_backBuffer;
    m_currentDepth = m_depthSurface;
    if (m_loaded && m_fbo) m_gl.BindFramebuffer(GL_FRAMEBUFFER, m_fbo);
}

void GlDevice::BindCurrentTarget() {
    if (!m_loaded) return;
    const Functions& gl = m_gl;
    if (m_currentTarget == m_backBuffer && m_currentDepth == m_depthSurface) {
        gl.BindFramebuffer(GL_FRAMEBUFFER, m_fbo);
        return;
    }
    if (!m_targetFbo) gl.GenFramebuffers(1, &m_targetFbo);
    gl.BindFramebuffer(GL_FRAMEBUFFER, m_targetFbo);
    if (const auto* level = dynamic_cast<const GlLevelSurface*>(m_currentTarget)) {
        gl.FramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, level->Store().Name(),
                                GLint(level->Level()));
    } else if (const auto* face = dynamic_cast<const GlCubeFaceSurface*>(m_currentTarget)) {
        gl.FramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0,
                                GL_TEXTURE_CUBE_MAP_POSITIVE_X + face->Face(), face->Store().Name(),
                                GLint(face->Level()));
    } else {
        gl.FramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, m_colorRb);
    }
    // One depth attachment at most: the other point is emptied.
    gl.FramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, 0);
    gl.FramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, 0);
    GLuint depth = 0;
    if (m_currentDepth == m_depthSurface) {
        depth = m_depthRb;
    } else if (const auto* own = dynamic_cast<const GlDepthSurface*>(m_currentDepth)) {
        depth = own->Renderbuffer();
    }
    if (depth)
        gl.FramebufferRenderbuffer(GL_FRAMEBUFFER, DepthAttachment(m_currentDepth->GetFormat()),
                                   GL_RENDERBUFFER, depth);
}

Result GlDevice::CreateDepthStencilSurface(uint32_t width, uint32_t height, Format format, uint32_t samples,
                                           uint32_t, bool, Surface** out) {
    return m_draw.CreateDepthStencilSurface(width, height, format, samples, out);
}

Result GlDevice::SetRenderTarget(uint32_t index, Surface* surface) {
    if (index != 0 || !surface || !m_backBuffer) return Result::InvalidCall;
    const auto* level = dynamic_cast<const GlLevelSurface*>(surface);
    const auto* face = dynamic_cast<const GlCubeFaceSurface*>(surface);
    if (surface != m_backBuffer && !(level && level->Store().IsRenderTarget()) &&
        !(face && face->Store().IsRenderTarget()))
        return Result::InvalidCall;
    MakeCurrent();
    if (surface != m_backBuffer) surface->AddRef();
    if (m_currentTarget != m_backBuffer) m_currentTarget->Release();
    m_currentTarget = surface;
    BindCurrentTarget();
    m_viewport = {0, 0, surface->Width(), surface->Height(), 0.0f, 1.0f};
    ApplyViewport();
    return Result::Ok;
}

Result GlDevice::SetDepthStencilSurface(Surface* surface) {
    if (surface && surface != m_depthSurface && !dynamic_cast<GlDepthSurface*>(surface))
        return Result::InvalidCall;
    MakeCurrent();
    if (surface && surface != m_depthSurface) surface->AddRef();
    if (m_currentDepth && m_currentDepth != m_depthSurface) m_currentDepth->Release();
    m_currentDepth = surface;
    BindCurrentTarget();
    return Result::Ok;
}

Result GlDevice::ClearFloat(uint32_t count, const Rect* rects, uint32_t flags, const math::Vec4& color,
                            float z, uint32_t stencil) {
    const float rgba[4] = {color.x, color.y, color.z, color.w};
    return ClearRgba(count, rects, flags, rgba, z, stencil);
}

bool GlDevice::BindStretchSide(Surface* s, GLenum binding, int side) {
    const Functions& gl = m_gl;
    if (s == m_backBuffer) {
        if (binding == GL_READ_FRAMEBUFFER) {
            BindReadable(); // a multisampled back buffer is resolved first
        } else {
            gl.BindFramebuffer(GL_DRAW_FRAMEBUFFER, m_fbo);
        }
        return true;
    }
    const auto* level = dynamic_cast<const GlLevelSurface*>(s);
    if (!level || !level->Store().IsRenderTarget()) return false;
    if (!m_stretchFbo[side]) gl.GenFramebuffers(1, &m_stretchFbo[side]);
    gl.BindFramebuffer(binding, m_stretchFbo[side]);
    gl.FramebufferTexture2D(binding, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, level->Store().Name(),
                            GLint(level->Level()));
    return true;
}

Result GlDevice::StretchRect(Surface* source, const Rect* sourceRect, Surface* dest, const Rect* destRect,
                             TextureFilter filter) {
    if (!source || !dest || source == dest || !m_backBuffer) return Result::InvalidCall;
    if (filter != TextureFilter::Point && filter != TextureFilter::Linear) return Result::InvalidCall;
    auto area = [](const Rect* r, const Surface* s, Rect* out) {
        *out = r ? *r : Rect{0, 0, int32_t(s->Width()), int32_t(s->Height())};
        return out->left >= 0 && out->top >= 0 && out->left < out->right && out->top < out->bottom &&
               out->right <= int32_t(s->Width()) && out->bottom <= int32_t(s->Height());
    };
    Rect from, to;
    if (!area(sourceRect, source, &from) || !area(destRect, dest, &to)) return Result::InvalidCall;
    auto isTarget = [this](const Surface* s) {
        const auto* level = dynamic_cast<const GlLevelSurface*>(s);
        return s == m_backBuffer || (level && level->Store().IsRenderTarget());
    };
    // A multisampled back buffer cannot be drawn into by a copy.
    if (!isTarget(source) || !isTarget(dest) || (dest == m_backBuffer && m_resolveFbo))
        return Result::InvalidCall;
    if (m_coop != Coop::Ok) return Result::Ok;
    MakeCurrent();
    const Functions& gl = m_gl;
    gl.Disable(GL_SCISSOR_TEST);
    BindStretchSide(source, GL_READ_FRAMEBUFFER, 0);
    BindStretchSide(dest, GL_DRAW_FRAMEBUFFER, 1);
    // Row 0 is the top on both sides, so the rectangles go over as they are.
    gl.BlitFramebuffer(from.left, from.top, from.right, from.bottom, to.left, to.top, to.right, to.bottom,
                       GL_COLOR_BUFFER_BIT, filter == TextureFilter::Linear ? GL_LINEAR : GL_NEAREST);
    BindCurrentTarget();
    if (m_states.Applied(RenderState::ScissorTestEnable)) gl.Enable(GL_SCISSOR_TEST);
    return Result::Ok;
}

Result GlDevice::GetRenderTargetData(Surface* target, Surface* dest) {
    auto* memory = dynamic_cast<GlMemorySurface*>(dest);
    if (!target || !memory || target->Width() != memory->Width() || target->Height() != memory->Height())
        return Result::InvalidCall;
    if (target == m_backBuffer) {
        if (memory->GetFormat() != Format::X8R8G8B8 && memory->GetFormat() != Format::A8R8G8B8)
            return Result::InvalidCall;
        return ReadPixels(target, memory->Texels(), memory->Width());
    }
    // A level of a 2D render target or of one face of a render-target cube.
    const auto* level = dynamic_cast<const GlLevelSurface*>(target);
    const auto* face = dynamic_cast<const GlCubeFaceSurface*>(target);
    const GlTextureStore* store = level  ? static_cast<const GlTextureStore*>(&level->Store())
                                  : face ? static_cast<const GlTextureStore*>(&face->Store())
                                         : nullptr;
    if (!store || !store->IsRenderTarget() || target->GetFormat() != memory->GetFormat())
        return Result::InvalidCall;
    if (m_coop != Coop::Ok) return Result::DeviceLost;
    MakeCurrent();
    const Functions& gl = m_gl;
    const GLenum image = face ? GL_TEXTURE_CUBE_MAP_POSITIVE_X + face->Face() : GL_TEXTURE_2D;
    const GLint mip = GLint(level ? level->Level() : face->Level());
    // The texture's row 0 is the top of the picture, as in memory; GL waits
    // for the drawing into it before it hands the texels out.
    m_draw.BindForUpdate(store->Target(), store->Name());
    gl.PixelStorei(GL_PACK_ALIGNMENT, 4);
    if (memory->GetFormat() == Format::R32F) {
        gl.GetTexImage(image, mip, GL_RED, GL_FLOAT, memory->Texels());
    } else if (memory->GetFormat() == Format::G16R16F) {
        // Two half floats a texel, red then green.
        gl.GetTexImage(image, mip, GL_RG, GL_HALF_FLOAT, memory->Texels());
    } else if (memory->GetFormat() == Format::A16B16G16R16F) {
        // Half floats in the memory order red, green, blue, alpha.
        gl.GetTexImage(image, mip, GL_RGBA, GL_HALF_FLOAT, memory->Texels());
    } else {
        gl.GetTexImage(image, mip, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, memory->Texels());
    }
    return Result::Ok;
}

} // namespace gfx::gl
