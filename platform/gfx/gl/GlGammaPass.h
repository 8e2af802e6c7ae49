// The gamma ramp on screen. The window system here has no hardware ramp, so
// while the device's ramp is not the identity, Present draws the back buffer
// into the window through this pass instead of a plain blit: the picture is
// copied into a texture and a full-screen triangle looks each colour channel
// up in a 256x1 ramp texture. Only the window sees the ramp; read-backs and
// screenshots of the back buffer stay unramped, as with a hardware ramp.
//
// Lifetimes: the GL objects are made on first use and freed by Release
// (device destruction, context current). The copy texture is allocated again
// only when the back buffer's size changes, the ramp texture only when the
// ramp changes, so a steady frame allocates nothing.
//
// Failure policy: a program that does not build is reported once on standard
// error and the pass stays off; the caller then blits as without a ramp.
#pragma once

#include <GL/glcorearb.h>

#include <cstdint>

#include "platform/gfx/Types.h"
#include "platform/gfx/gl/GlDraw.h"
#include "platform/gfx/gl/GlFunctions.h"

namespace gfx::gl {

class GlGammaPass {
  public:
    // Draws the colour of `source` (w x h, row 0 the top of the screen) into
    // the window's framebuffer (dw x dh) through the ramp, leaving the GL
    // state as it found it except for the framebuffer bindings. False when
    // the pass cannot run; nothing is drawn then.
    bool Draw(const Functions& gl, const Functions& dgl, GLuint source, int w, int h, int dw, int dh,
              const GammaRamp& ramp);
    void Release(const Functions& gl, const Functions& dgl);

    // Times the ramp texture was filled (test and benchmark seam).
    uint32_t RampUploads() const { return m_rampUploads; }

  private:
    bool Ensure(const Functions& dgl);
    void UploadRamp(const Functions& dgl, const GammaRamp& ramp);
    void SizeCopy(const Functions& gl, const Functions& dgl, int w, int h, bool scaled);

    bool m_failed = false;
    GLuint m_program = 0, m_vao = 0, m_fbo = 0, m_copy = 0, m_rampTex = 0;
    GLint m_uInvSize = -1;
    int m_copyW = 0, m_copyH = 0;
    bool m_copyScaled = false;
    GammaRamp m_ramp{}; // what the ramp texture holds
    bool m_rampValid = false;
    uint16_t m_texels[256 * 4] = {}; // RGBA16 staging of one upload
    uint32_t m_rampUploads = 0;
};

} // namespace gfx::gl
