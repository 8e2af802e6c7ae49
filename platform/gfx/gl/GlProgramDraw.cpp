// The vertex inputs of every draw, and draws with an effect's program: the
// vertex data comes by usage (the shared attribute table) from the FVF when
// one is set, else from the vertex declaration; an effect draw binds every
// sampler stage and its fragment wrapper applies the alpha test from the
// render states.
#include <cstring>

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
    // Each input is sent only where it differs from what the vertex array
    // object holds from the previous draw.
    auto attrib = [&](int location, int32_t at, AttribFormat f) {
        if (location < 0 || at < 0) return;
        used[location] = true;
        Attrib& a = m_bound.attribs[location];
        if (!a.known || !a.enabled) gl.EnableVertexAttribArray(GLuint(location));
        const uintptr_t pointer = uintptr_t(offset + uint32_t(at));
        if (!a.known || a.size != f.size || a.type != f.type || a.normalized != f.normalized ||
            a.stride != GLsizei(stride) || a.pointer != pointer || a.buffer != buffer) {
            BindArrayBuffer(buffer);
            gl.VertexAttribPointer(GLuint(location), f.size, f.type, f.normalized, GLsizei(stride),
                                   reinterpret_cast<const void*>(pointer));
        }
        a = {true,         true,
             f.size,       f.type,
             f.normalized, GLsizei(stride),
             pointer,      buffer,
             a.valueKnown, {a.value[0], a.value[1], a.value[2], a.value[3]}};
    };
    *preTransformed = false;
    if (m_bound.vao != m_vao) {
        gl.BindVertexArray(m_vao);
        m_bound.vao = m_vao;
    }
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
        Attrib& a = m_bound.attribs[i];
        if (!a.known || a.enabled) gl.DisableVertexAttribArray(i);
        a.known = true;
        a.enabled = false;
        float value[4] = {0, 0, 0, 1};
        if (i == kAttribColor0 && whiteDiffuse) value[0] = value[1] = value[2] = 1;
        if (i == kAttribColor1 && whiteDiffuse) value[3] = 0;
        if (!a.valueKnown || std::memcmp(a.value, value, sizeof value) != 0) {
            gl.VertexAttrib4f(i, value[0], value[1], value[2], value[3]);
            std::memcpy(a.value, value, sizeof value);
            a.valueKnown = true;
        }
    }
    return true;
}

Result GlDraw::DrawProgram(const GlProgram& program, PrimitiveType type, uint32_t primitiveCount,
                           GLuint buffer, uint32_t offset, uint32_t stride, const Indexed* indexed) {
    const Functions& gl = m_gl;
    bool preTransformed = false;
    if (!BindVertexInputs(buffer, offset, stride, false, &preTransformed)) return Result::InvalidCall;
    m_device.ApplyRenderStates();
    UseProgram(program.Name());
    // The alpha test's uniforms, where they differ from the program's last.
    GlProgram::AlphaUniforms& sent = program.SentAlphaTest();
    uint32_t v = 0;
    m_device.GetRenderState(RenderState::AlphaTestEnable, &v);
    const GLint test = v ? 1 : 0;
    m_device.GetRenderState(RenderState::AlphaFunc, &v);
    const GLint func = GLint(v);
    m_device.GetRenderState(RenderState::AlphaRef, &v);
    const float ref = float(v & 0xFF);
    if (program.AlphaTest() >= 0 && sent.test != test) gl.Uniform1i(program.AlphaTest(), test);
    if (program.AlphaFunc() >= 0 && sent.func != func) gl.Uniform1i(program.AlphaFunc(), func);
    if (program.AlphaRef() >= 0 && sent.ref != ref) gl.Uniform1f(program.AlphaRef(), ref);
    sent = {test, func, ref};
    BindTextureUnits(SamplerCount);
    Submit(type, primitiveCount, indexed);
    return Result::Ok;
}

} // namespace gfx::gl
