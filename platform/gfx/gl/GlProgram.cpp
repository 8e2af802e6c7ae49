#include "platform/gfx/gl/GlProgram.h"

namespace gfx::gl {

const char* const AlphaTestGlsl = R"(
bool ztAlphaPasses(int func, float a, float ref) {
    if (func == 1) return false;
    if (func == 2) return a < ref;
    if (func == 3) return a == ref;
    if (func == 4) return a <= ref;
    if (func == 5) return a > ref;
    if (func == 6) return a != ref;
    if (func == 7) return a >= ref;
    return true;
}
)";

GlProgram::GlProgram(GlDraw* owner, GLuint name) : GlTracked(owner), m_name(name) {
    if (const Functions* gl = m_owner ? m_owner->Gl() : nullptr) {
        m_alphaTest = gl->GetUniformLocation(name, kAlphaTestUniform);
        m_alphaFunc = gl->GetUniformLocation(name, kAlphaFuncUniform);
        m_alphaRef = gl->GetUniformLocation(name, kAlphaRefUniform);
    }
}

GlProgram::~GlProgram() {
    if (!m_owner || !m_name) return;
    if (const Functions* gl = m_owner->Gl()) {
        m_owner->ForgetProgram(m_name);
        gl->DeleteProgram(m_name);
    }
}

void GlProgram::Orphan() {
    GlTracked::Orphan();
    m_name = 0;
}

} // namespace gfx::gl
