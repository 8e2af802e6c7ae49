// A linked GL program of an effect pass, as the device draws with it. The
// effect layer compiles and links; the program belongs to the device's
// context and is cut loose (no GL calls) when the device goes first.
//
// Every effect fragment stage ends in the device's alpha test, which reads
// the three uniforms below; AlphaTestGlsl holds the comparison, the same one
// the fixed-function program applies.
#pragma once

#include <GL/glcorearb.h>

#include "platform/gfx/Device.h"
#include "platform/gfx/gl/GlDraw.h"

namespace gfx::gl {

// GLSL: bool ztAlphaPasses(int func, float alpha255, float ref), Direct3D's
// comparison functions over alpha in 0..255.
extern const char* const AlphaTestGlsl;
// Names of the alpha-test uniforms of an effect program.
constexpr const char* kAlphaTestUniform = "ztAlphaTest";
constexpr const char* kAlphaFuncUniform = "ztAlphaFunc";
constexpr const char* kAlphaRefUniform = "ztAlphaRef";

class GlProgram final : public Program, public GlTracked {
  public:
    // Adopts a linked program (made current on the device's context).
    GlProgram(GlDraw* owner, GLuint name);
    ~GlProgram() override;
    void Orphan() override;

    GLuint Name() const { return m_name; }
    GLint AlphaTest() const { return m_alphaTest; }
    GLint AlphaFunc() const { return m_alphaFunc; }
    GLint AlphaRef() const { return m_alphaRef; }
    // The alpha-test values the program last received (-1: none yet), so a
    // draw sends only a change.
    struct AlphaUniforms {
        GLint test = -1, func = -1;
        float ref = -1;
    };
    AlphaUniforms& SentAlphaTest() const { return m_sentAlpha; }

  private:
    GLuint m_name;
    mutable AlphaUniforms m_sentAlpha;
    GLint m_alphaTest = -1, m_alphaFunc = -1, m_alphaRef = -1;
};

} // namespace gfx::gl
