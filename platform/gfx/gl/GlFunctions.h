// The OpenGL entry points the device uses, loaded through SDL from the
// current context. Add a line to ZT_GL_FUNCTIONS to use another one.
#pragma once

#include <GL/glcorearb.h>

namespace gfx::gl {

#define ZT_GL_FUNCTIONS(X)                                                    \
    X(PFNGLGETSTRINGPROC, GetString)                                          \
    X(PFNGLGETSTRINGIPROC, GetStringi)                                        \
    X(PFNGLGETINTEGERVPROC, GetIntegerv)                                      \
    X(PFNGLGETFLOATVPROC, GetFloatv)                                          \
    X(PFNGLGETERRORPROC, GetError)                                            \
    X(PFNGLISENABLEDPROC, IsEnabled)                                          \
    X(PFNGLENABLEPROC, Enable)                                                \
    X(PFNGLDISABLEPROC, Disable)                                              \
    X(PFNGLCLEARPROC, Clear)                                                  \
    X(PFNGLCLEARCOLORPROC, ClearColor)                                        \
    X(PFNGLCLEARDEPTHPROC, ClearDepth)                                        \
    X(PFNGLCLEARSTENCILPROC, ClearStencil)                                    \
    X(PFNGLVIEWPORTPROC, Viewport)                                            \
    X(PFNGLDEPTHRANGEPROC, DepthRange)                                        \
    X(PFNGLSCISSORPROC, Scissor)                                              \
    X(PFNGLCOLORMASKPROC, ColorMask)                                          \
    X(PFNGLDEPTHMASKPROC, DepthMask)                                          \
    X(PFNGLDEPTHFUNCPROC, DepthFunc)                                          \
    X(PFNGLCULLFACEPROC, CullFace)                                            \
    X(PFNGLFRONTFACEPROC, FrontFace)                                          \
    X(PFNGLPOLYGONMODEPROC, PolygonMode)                                      \
    X(PFNGLPOLYGONOFFSETPROC, PolygonOffset)                                  \
    X(PFNGLBLENDFUNCSEPARATEPROC, BlendFuncSeparate)                          \
    X(PFNGLBLENDEQUATIONSEPARATEPROC, BlendEquationSeparate)                  \
    X(PFNGLSTENCILFUNCSEPARATEPROC, StencilFuncSeparate)                      \
    X(PFNGLSTENCILOPSEPARATEPROC, StencilOpSeparate)                          \
    X(PFNGLSTENCILMASKSEPARATEPROC, StencilMaskSeparate)                      \
    X(PFNGLREADPIXELSPROC, ReadPixels)                                        \
    X(PFNGLPIXELSTOREIPROC, PixelStorei)                                      \
    X(PFNGLREADBUFFERPROC, ReadBuffer)                                        \
    X(PFNGLDRAWBUFFERPROC, DrawBuffer)                                        \
    X(PFNGLFINISHPROC, Finish)                                                \
    X(PFNGLGENFRAMEBUFFERSPROC, GenFramebuffers)                              \
    X(PFNGLDELETEFRAMEBUFFERSPROC, DeleteFramebuffers)                        \
    X(PFNGLBINDFRAMEBUFFERPROC, BindFramebuffer)                              \
    X(PFNGLFRAMEBUFFERRENDERBUFFERPROC, FramebufferRenderbuffer)              \
    X(PFNGLCHECKFRAMEBUFFERSTATUSPROC, CheckFramebufferStatus)                \
    X(PFNGLGENRENDERBUFFERSPROC, GenRenderbuffers)                            \
    X(PFNGLDELETERENDERBUFFERSPROC, DeleteRenderbuffers)                      \
    X(PFNGLBINDRENDERBUFFERPROC, BindRenderbuffer)                            \
    X(PFNGLRENDERBUFFERSTORAGEPROC, RenderbufferStorage)                      \
    X(PFNGLRENDERBUFFERSTORAGEMULTISAMPLEPROC, RenderbufferStorageMultisample) \
    X(PFNGLBLITFRAMEBUFFERPROC, BlitFramebuffer)                              \
    X(PFNGLGENVERTEXARRAYSPROC, GenVertexArrays)                              \
    X(PFNGLDELETEVERTEXARRAYSPROC, DeleteVertexArrays)                        \
    X(PFNGLBINDVERTEXARRAYPROC, BindVertexArray)

// Optional entry points (null when the driver lacks them).
#define ZT_GL_OPTIONAL_FUNCTIONS(X) X(PFNGLCLIPCONTROLPROC, ClipControl)

struct Functions {
#define ZT_GL_DECLARE(type, name) type name = nullptr;
    ZT_GL_FUNCTIONS(ZT_GL_DECLARE)
    ZT_GL_OPTIONAL_FUNCTIONS(ZT_GL_DECLARE)
#undef ZT_GL_DECLARE

    // Loads every entry point from the current context; false (naming the
    // first missing one in `missing`) when a required one is absent.
    bool Load(const char** missing);
    bool HasExtension(const char* name) const;
};

}  // namespace gfx::gl
