#include "platform/gfx/gl/GlGammaPass.h"

namespace gfx::gl {

namespace {

// One triangle that covers the whole viewport, from gl_VertexID alone.
const char* const kVertexShader = R"(#version 330 core
const vec2 kCorner[3] = vec2[3](vec2(-1.0, -1.0), vec2(3.0, -1.0), vec2(-1.0, 3.0));
void main() { gl_Position = vec4(kCorner[gl_VertexID], 0.0, 1.0); }
)";

const char* const kFragmentShader = R"(#version 330 core
uniform sampler2D uScene; // the back buffer, row 0 the top of the screen
uniform sampler2D uRamp;  // 256 x 1: entry i of each channel in r, g, b
uniform vec4 uInvSize;    // 1 / window width, 1 / window height
out vec4 oColor;
void main() {
    // Window rows count from the bottom, the back buffer's from the top.
    vec2 uv = vec2(gl_FragCoord.x * uInvSize.x, 1.0 - gl_FragCoord.y * uInvSize.y);
    ivec3 i = clamp(ivec3(texture(uScene, uv).rgb * 255.0 + 0.5), ivec3(0), ivec3(255));
    oColor = vec4(texelFetch(uRamp, ivec2(i.r, 0), 0).r, texelFetch(uRamp, ivec2(i.g, 0), 0).g,
                  texelFetch(uRamp, ivec2(i.b, 0), 0).b, 1.0);
}
)";

void SetEnabled(const Functions& gl, GLenum cap, bool on) {
    if (on) {
        gl.Enable(cap);
    } else {
        gl.Disable(cap);
    }
}

// The GL state the pass changes, taken before and put back after it.
struct SavedState {
    static constexpr GLenum kCaps[] = {GL_BLEND, GL_DEPTH_TEST, GL_STENCIL_TEST, GL_CULL_FACE,
                                       GL_SCISSOR_TEST};
    GLint program = 0, vao = 0, activeTexture = GL_TEXTURE0;
    GLint texture[2] = {}, sampler[2] = {};
    GLint viewport[4] = {};
    GLint colorMask[4] = {};
    GLint polygonMode[2] = {GL_FILL, GL_FILL};
    bool caps[sizeof kCaps / sizeof kCaps[0]] = {};

    void Take(const Functions& gl, const Functions& dgl) {
        gl.GetIntegerv(GL_CURRENT_PROGRAM, &program);
        gl.GetIntegerv(GL_VERTEX_ARRAY_BINDING, &vao);
        gl.GetIntegerv(GL_ACTIVE_TEXTURE, &activeTexture);
        for (GLenum unit = 0; unit < 2; ++unit) {
            dgl.ActiveTexture(GL_TEXTURE0 + unit);
            gl.GetIntegerv(GL_TEXTURE_BINDING_2D, &texture[unit]);
            gl.GetIntegerv(GL_SAMPLER_BINDING, &sampler[unit]);
        }
        gl.GetIntegerv(GL_VIEWPORT, viewport);
        gl.GetIntegerv(GL_COLOR_WRITEMASK, colorMask);
        gl.GetIntegerv(GL_POLYGON_MODE, polygonMode);
        for (size_t i = 0; i < sizeof kCaps / sizeof kCaps[0]; ++i)
            caps[i] = gl.IsEnabled(kCaps[i]) == GL_TRUE;
    }

    void Put(const Functions& gl, const Functions& dgl) const {
        for (GLenum unit = 0; unit < 2; ++unit) {
            dgl.ActiveTexture(GL_TEXTURE0 + unit);
            dgl.BindTexture(GL_TEXTURE_2D, GLuint(texture[unit]));
            dgl.BindSampler(unit, GLuint(sampler[unit]));
        }
        dgl.ActiveTexture(GLenum(activeTexture));
        dgl.UseProgram(GLuint(program));
        gl.BindVertexArray(GLuint(vao));
        gl.Viewport(viewport[0], viewport[1], viewport[2], viewport[3]);
        gl.ColorMask(GLboolean(colorMask[0]), GLboolean(colorMask[1]), GLboolean(colorMask[2]),
                     GLboolean(colorMask[3]));
        gl.PolygonMode(GL_FRONT_AND_BACK, GLenum(polygonMode[0]));
        for (size_t i = 0; i < sizeof kCaps / sizeof kCaps[0]; ++i)
            SetEnabled(gl, kCaps[i], caps[i]);
    }
};

} // namespace

bool GlGammaPass::Ensure(const Functions& dgl) {
    if (m_program) return true;
    if (m_failed) return false;
    m_program = BuildProgram(dgl, kVertexShader, kFragmentShader, "gamma ramp");
    if (!m_program) {
        m_failed = true;
        return false;
    }
    dgl.UseProgram(m_program);
    dgl.Uniform1i(dgl.GetUniformLocation(m_program, "uScene"), 0);
    dgl.Uniform1i(dgl.GetUniformLocation(m_program, "uRamp"), 1);
    m_uInvSize = dgl.GetUniformLocation(m_program, "uInvSize");
    dgl.GenVertexArrays(1, &m_vao);
    dgl.GenFramebuffers(1, &m_fbo);
    GLuint textures[2] = {};
    dgl.GenTextures(2, textures);
    m_copy = textures[0];
    m_rampTex = textures[1];
    // texelFetch reads the ramp; without mip levels the texture must not ask for them.
    dgl.BindTexture(GL_TEXTURE_2D, m_rampTex);
    dgl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    dgl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    dgl.TexImage2D(GL_TEXTURE_2D, 0, GL_RGBA16, 256, 1, 0, GL_RGBA, GL_UNSIGNED_SHORT, nullptr);
    dgl.BindTexture(GL_TEXTURE_2D, m_copy);
    dgl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    dgl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    m_copyW = m_copyH = 0;
    m_rampValid = false;
    return true;
}

void GlGammaPass::UploadRamp(const Functions& dgl, const GammaRamp& ramp) {
    if (m_rampValid && m_ramp == ramp) return;
    for (int i = 0; i < 256; ++i) {
        m_texels[i * 4 + 0] = ramp.red[i];
        m_texels[i * 4 + 1] = ramp.green[i];
        m_texels[i * 4 + 2] = ramp.blue[i];
        m_texels[i * 4 + 3] = 0xFFFF;
    }
    GLint alignment = 1;
    dgl.GetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
    dgl.PixelStorei(GL_UNPACK_ALIGNMENT, 2);
    dgl.BindTexture(GL_TEXTURE_2D, m_rampTex);
    dgl.TexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 256, 1, GL_RGBA, GL_UNSIGNED_SHORT, m_texels);
    dgl.PixelStorei(GL_UNPACK_ALIGNMENT, alignment);
    m_ramp = ramp;
    m_rampValid = true;
    ++m_rampUploads;
}

void GlGammaPass::SizeCopy(const Functions& gl, const Functions& dgl, int w, int h, bool scaled) {
    dgl.BindTexture(GL_TEXTURE_2D, m_copy);
    if (w != m_copyW || h != m_copyH) {
        dgl.TexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, w, h, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
        gl.BindFramebuffer(GL_DRAW_FRAMEBUFFER, m_fbo);
        dgl.FramebufferTexture2D(GL_DRAW_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, m_copy, 0);
        m_copyW = w;
        m_copyH = h;
        m_copyScaled = !scaled; // the filter below is set anew
    }
    if (scaled != m_copyScaled) {
        // Same size: one texel per pixel, as the plain blit; else filtered, as its scaled form.
        const GLint filter = scaled ? GL_LINEAR : GL_NEAREST;
        dgl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, filter);
        dgl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, filter);
        m_copyScaled = scaled;
    }
}

bool GlGammaPass::Draw(const Functions& gl, const Functions& dgl, GLuint source, int w, int h, int dw,
                       int dh, const GammaRamp& ramp) {
    if (w <= 0 || h <= 0 || dw <= 0 || dh <= 0) return false;
    SavedState saved;
    saved.Take(gl, dgl);
    dgl.ActiveTexture(GL_TEXTURE0);
    const bool ready = Ensure(dgl);
    if (ready) {
        UploadRamp(dgl, ramp);
        SizeCopy(gl, dgl, w, h, dw != w || dh != h);

        gl.Disable(GL_SCISSOR_TEST);
        gl.BindFramebuffer(GL_READ_FRAMEBUFFER, source);
        gl.BindFramebuffer(GL_DRAW_FRAMEBUFFER, m_fbo);
        gl.BlitFramebuffer(0, 0, w, h, 0, 0, w, h, GL_COLOR_BUFFER_BIT, GL_NEAREST);

        gl.BindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
        gl.Viewport(0, 0, dw, dh);
        gl.Disable(GL_BLEND);
        gl.Disable(GL_DEPTH_TEST);
        gl.Disable(GL_STENCIL_TEST);
        gl.Disable(GL_CULL_FACE);
        gl.ColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
        gl.PolygonMode(GL_FRONT_AND_BACK, GL_FILL);
        dgl.UseProgram(m_program);
        gl.BindVertexArray(m_vao);
        dgl.ActiveTexture(GL_TEXTURE0);
        dgl.BindTexture(GL_TEXTURE_2D, m_copy);
        dgl.BindSampler(0, 0);
        dgl.ActiveTexture(GL_TEXTURE1);
        dgl.BindTexture(GL_TEXTURE_2D, m_rampTex);
        dgl.BindSampler(1, 0);
        dgl.Uniform4f(m_uInvSize, 1.0f / float(dw), 1.0f / float(dh), 0.0f, 0.0f);
        dgl.DrawArrays(GL_TRIANGLES, 0, 3);
    }
    saved.Put(gl, dgl);
    return ready;
}

void GlGammaPass::Release(const Functions& gl, const Functions& dgl) {
    if (m_vao) gl.DeleteVertexArrays(1, &m_vao);
    if (m_fbo) gl.DeleteFramebuffers(1, &m_fbo);
    GLuint textures[2] = {m_copy, m_rampTex};
    if (m_copy || m_rampTex) dgl.DeleteTextures(2, textures);
    // The program goes with the context, as the fixed-function one does.
    m_vao = m_fbo = m_copy = m_rampTex = 0;
    m_program = 0;
    m_copyW = m_copyH = 0;
    m_rampValid = false;
}

} // namespace gfx::gl
