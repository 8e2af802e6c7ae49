// The vertex inputs of every draw, and draws with an effect's program: the
// vertex data comes by usage (the shared attribute table) from the FVF when
// one is set, else from the vertex declaration; an effect draw binds every
// sampler stage and its fragment wrapper applies the alpha test from the
// render states.
#include "platform/gfx/gl/GlAttributes.h"
#include "platform/gfx/gl/GlDevice.h"
#include "platform/gfx/gl/GlDraw.h"
#include "platform/gfx/gl/GlProgram.h"

namespace gfx::gl {
namespace {

struct AttribFormat {
    GLint size;
    GLenum type;
    GLboolean normalized;
};

// GL's reading of a declaration element type. D3DCOLOR arrives as rgba
// 0..1, UBYTE4 as 0..255.
bool ElementFormat(uint8_t type, AttribFormat* out) {
    switch (type) {
    case elemtype::Float1:
    case elemtype::Float2:
    case elemtype::Float3:
    case elemtype::Float4:
        *out = {GLint(type - elemtype::Float1 + 1), GL_FLOAT, GL_FALSE};
        return true;
    case elemtype::Color:
        *out = {GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE};
        return true;
    case elemtype::UByte4:
        *out = {4, GL_UNSIGNED_BYTE, GL_FALSE};
        return true;
    case elemtype::UByte4N:
        *out = {4, GL_UNSIGNED_BYTE, GL_TRUE};
        return true;
    case elemtype::Short2:
    case elemtype::Short4:
        *out = {type == elemtype::Short2 ? 2 : 4, GL_SHORT, GL_FALSE};
        return true;
    case elemtype::Short2N:
    case elemtype::Short4N:
        *out = {type == elemtype::Short2N ? 2 : 4, GL_SHORT, GL_TRUE};
        return true;
    case elemtype::Float16x2:
    case elemtype::Float16x4:
        *out = {type == elemtype::Float16x2 ? 2 : 4, GL_HALF_FLOAT, GL_FALSE};
        return true;
    default:
        return false;
    }
}

} // namespace

bool GlDraw::BindVertexInputs(GLuint buffer, uint32_t offset, uint32_t stride, bool whiteDiffuse,
                              bool* preTransformed) {
    const Functions& gl = m_gl;
    bool used[kAttribCount] = {};
    auto attrib = [&](int location, int32_t at, AttribFormat f) {
        if (location < 0 || at < 0) return;
        gl.EnableVertexAttribArray(GLuint(location));
        gl.VertexAttribPointer(GLuint(location), f.size, f.type, f.normalized, GLsizei(stride),
                               reinterpret_cast<const void*>(uintptr_t(offset + uint32_t(at))));
        used[location] = true;
    };
    *preTransformed = false;
    gl.BindVertexArray(m_vao);
    gl.BindBuffer(GL_ARRAY_BUFFER, buffer);
    if (m_fvf != 0) {
        const fvf::Layout layout = fvf::LayoutOf(m_fvf);
        if (!layout.valid || stride < layout.stride) return false;
        *preTransformed = layout.preTransformed;
        attrib(kAttribPosition, layout.position, {layout.preTransformed ? 4 : 3, GL_FLOAT, GL_FALSE});
        attrib(kAttribNormal, layout.normal, {3, GL_FLOAT, GL_FALSE});
        attrib(kAttribColor0, layout.diffuse, {GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE});
        attrib(kAttribColor1, layout.specular, {GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE});
        for (uint32_t t = 0; t < fvf::MaxTexCoords; ++t)
            attrib(int(kAttribTexCoord0 + t), layout.texCoord[t], {2, GL_FLOAT, GL_FALSE});
    } else {
        const VertexDeclaration* decl = m_device.CurrentDeclaration();
        if (!decl || stride == 0) return false;
        for (const VertexElement& e : decl->Elements()) {
            AttribFormat f;
            if (e.Stream != 0 || !ElementFormat(e.Type, &f)) continue;
            if (e.Usage == elemusage::PositionT && e.UsageIndex == 0) *preTransformed = true;
            attrib(AttributeLocation(e.Usage, e.UsageIndex), e.Offset, f);
        }
        if (!used[kAttribPosition]) return false;
    }
    for (GLuint i = 0; i < kAttribCount; ++i) {
        if (used[i]) continue;
        gl.DisableVertexAttribArray(i);
        if (i == kAttribColor0 && whiteDiffuse)
            gl.VertexAttrib4f(i, 1, 1, 1, 1);
        else if (i == kAttribColor1 && whiteDiffuse)
            gl.VertexAttrib4f(i, 0, 0, 0, 0);
        else
            gl.VertexAttrib4f(i, 0, 0, 0, 1);
    }
    return true;
}

Result GlDraw::DrawProgram(const GlProgram& program, PrimitiveType type, uint32_t primitiveCount,
                           GLuint buffer, uint32_t offset, uint32_t stride, const Indexed* indexed) {
    const Functions& gl = m_gl;
    bool preTransformed = false;
    if (!BindVertexInputs(buffer, offset, stride, false, &preTransformed)) return Result::InvalidCall;
    m_device.ApplyRenderStates();
    gl.UseProgram(program.Name());
    uint32_t v = 0;
    m_device.GetRenderState(RenderState::AlphaTestEnable, &v);
    gl.Uniform1i(program.AlphaTest(), v ? 1 : 0);
    m_device.GetRenderState(RenderState::AlphaFunc, &v);
    gl.Uniform1i(program.AlphaFunc(), GLint(v));
    m_device.GetRenderState(RenderState::AlphaRef, &v);
    gl.Uniform1f(program.AlphaRef(), float(v & 0xFF));
    BindTextureUnits(SamplerCount);
    Submit(type, primitiveCount, indexed);
    UnbindSamplers(SamplerCount);
    return Result::Ok;
}

} // namespace gfx::gl
