// The OpenGL entry points the device and its drawing services use: the one
// table of them, loaded through SDL from the current context. Add a line to
// ZT_GL_FUNCTIONS to use another one.
#pragma once

#include <GL/glcorearb.h>

namespace gfx::gl {

#define ZT_GL_FUNCTIONS(X)                                                                                   \
    X(PFNGLGETSTRINGPROC, GetString)                                                                         \
    X(PFNGLGETSTRINGIPROC, GetStringi)                                                                       \
    X(PFNGLGETINTEGERVPROC, GetIntegerv)                                                                     \
    X(PFNGLGETFLOATVPROC, GetFloatv)                                                                         \
    X(PFNGLGETERRORPROC, GetError)                                                                           \
    X(PFNGLISENABLEDPROC, IsEnabled)                                                                         \
    X(PFNGLENABLEPROC, Enable)                                                                               \
    X(PFNGLDISABLEPROC, Disable)                                                                             \
    X(PFNGLCLEARPROC, Clear)                                                                                 \
    X(PFNGLCLEARCOLORPROC, ClearColor)                                                                       \
    X(PFNGLCLEARDEPTHPROC, ClearDepth)                                                                       \
    X(PFNGLCLEARSTENCILPROC, ClearStencil)                                                                   \
    X(PFNGLVIEWPORTPROC, Viewport)                                                                           \
    X(PFNGLDEPTHRANGEPROC, DepthRange)                                                                       \
    X(PFNGLSCISSORPROC, Scissor)                                                                             \
    X(PFNGLCOLORMASKPROC, ColorMask)                                                                         \
    X(PFNGLDEPTHMASKPROC, DepthMask)                                                                         \
    X(PFNGLDEPTHFUNCPROC, DepthFunc)                                                                         \
    X(PFNGLCULLFACEPROC, CullFace)                                                                           \
    X(PFNGLFRONTFACEPROC, FrontFace)                                                                         \
    X(PFNGLPOLYGONMODEPROC, PolygonMode)                                                                     \
    X(PFNGLPOLYGONOFFSETPROC, PolygonOffset)                                                                 \
    X(PFNGLBLENDFUNCSEPARATEPROC, BlendFuncSeparate)                                                         \
    X(PFNGLBLENDEQUATIONSEPARATEPROC, BlendEquationSeparate)                                                 \
    X(PFNGLSTENCILFUNCSEPARATEPROC, StencilFuncSeparate)                                                     \
    X(PFNGLSTENCILOPSEPARATEPROC, StencilOpSeparate)                                                         \
    X(PFNGLSTENCILMASKSEPARATEPROC, StencilMaskSeparate)                                                     \
    X(PFNGLREADPIXELSPROC, ReadPixels)                                                                       \
    X(PFNGLPIXELSTOREIPROC, PixelStorei)                                                                     \
    X(PFNGLREADBUFFERPROC, ReadBuffer)                                                                       \
    X(PFNGLDRAWBUFFERPROC, DrawBuffer)                                                                       \
    X(PFNGLFINISHPROC, Finish)                                                                               \
    X(PFNGLGENFRAMEBUFFERSPROC, GenFramebuffers)                                                             \
    X(PFNGLDELETEFRAMEBUFFERSPROC, DeleteFramebuffers)                                                       \
    X(PFNGLBINDFRAMEBUFFERPROC, BindFramebuffer)                                                             \
    X(PFNGLFRAMEBUFFERRENDERBUFFERPROC, FramebufferRenderbuffer)                                             \
    X(PFNGLCHECKFRAMEBUFFERSTATUSPROC, CheckFramebufferStatus)                                               \
    X(PFNGLGENRENDERBUFFERSPROC, GenRenderbuffers)                                                           \
    X(PFNGLDELETERENDERBUFFERSPROC, DeleteRenderbuffers)                                                     \
    X(PFNGLBINDRENDERBUFFERPROC, BindRenderbuffer)                                                           \
    X(PFNGLRENDERBUFFERSTORAGEPROC, RenderbufferStorage)                                                     \
    X(PFNGLRENDERBUFFERSTORAGEMULTISAMPLEPROC, RenderbufferStorageMultisample)                               \
    X(PFNGLBLITFRAMEBUFFERPROC, BlitFramebuffer)                                                             \
    X(PFNGLGENVERTEXARRAYSPROC, GenVertexArrays)                                                             \
    X(PFNGLDELETEVERTEXARRAYSPROC, DeleteVertexArrays)                                                       \
    X(PFNGLBINDVERTEXARRAYPROC, BindVertexArray)                                                             \
    X(PFNGLGENTEXTURESPROC, GenTextures)                                                                     \
    X(PFNGLDELETETEXTURESPROC, DeleteTextures)                                                               \
    X(PFNGLBINDTEXTUREPROC, BindTexture)                                                                     \
    X(PFNGLACTIVETEXTUREPROC, ActiveTexture)                                                                 \
    X(PFNGLTEXIMAGE2DPROC, TexImage2D)                                                                       \
    X(PFNGLTEXSUBIMAGE2DPROC, TexSubImage2D)                                                                 \
    X(PFNGLTEXPARAMETERIPROC, TexParameteri)                                                                 \
    X(PFNGLGENSAMPLERSPROC, GenSamplers)                                                                     \
    X(PFNGLBINDSAMPLERPROC, BindSampler)                                                                     \
    X(PFNGLSAMPLERPARAMETERIPROC, SamplerParameteri)                                                         \
    X(PFNGLSAMPLERPARAMETERFPROC, SamplerParameterf)                                                         \
    X(PFNGLGENBUFFERSPROC, GenBuffers)                                                                       \
    X(PFNGLDELETEBUFFERSPROC, DeleteBuffers)                                                                 \
    X(PFNGLBINDBUFFERPROC, BindBuffer)                                                                       \
    X(PFNGLBUFFERDATAPROC, BufferData)                                                                       \
    X(PFNGLBUFFERSUBDATAPROC, BufferSubData)                                                                 \
    X(PFNGLCREATESHADERPROC, CreateShader)                                                                   \
    X(PFNGLSHADERSOURCEPROC, ShaderSource)                                                                   \
    X(PFNGLCOMPILESHADERPROC, CompileShader)                                                                 \
    X(PFNGLGETSHADERIVPROC, GetShaderiv)                                                                     \
    X(PFNGLGETSHADERINFOLOGPROC, GetShaderInfoLog)                                                           \
    X(PFNGLDELETESHADERPROC, DeleteShader)                                                                   \
    X(PFNGLCREATEPROGRAMPROC, CreateProgram)                                                                 \
    X(PFNGLATTACHSHADERPROC, AttachShader)                                                                   \
    X(PFNGLBINDATTRIBLOCATIONPROC, BindAttribLocation)                                                       \
    X(PFNGLLINKPROGRAMPROC, LinkProgram)                                                                     \
    X(PFNGLGETPROGRAMIVPROC, GetProgramiv)                                                                   \
    X(PFNGLGETPROGRAMINFOLOGPROC, GetProgramInfoLog)                                                         \
    X(PFNGLUSEPROGRAMPROC, UseProgram)                                                                       \
    X(PFNGLGETUNIFORMLOCATIONPROC, GetUniformLocation)                                                       \
    X(PFNGLUNIFORM1IPROC, Uniform1i)                                                                         \
    X(PFNGLUNIFORM1IVPROC, Uniform1iv)                                                                       \
    X(PFNGLUNIFORM1FPROC, Uniform1f)                                                                         \
    X(PFNGLUNIFORM4FPROC, Uniform4f)                                                                         \
    X(PFNGLUNIFORM1FVPROC, Uniform1fv)                                                                       \
    X(PFNGLUNIFORM2FVPROC, Uniform2fv)                                                                       \
    X(PFNGLUNIFORM3FVPROC, Uniform3fv)                                                                       \
    X(PFNGLUNIFORM4FVPROC, Uniform4fv)                                                                       \
    X(PFNGLUNIFORMMATRIX4FVPROC, UniformMatrix4fv)                                                           \
    X(PFNGLUNIFORMMATRIX3X4FVPROC, UniformMatrix3x4fv)                                                       \
    X(PFNGLVERTEXATTRIBPOINTERPROC, VertexAttribPointer)                                                     \
    X(PFNGLENABLEVERTEXATTRIBARRAYPROC, EnableVertexAttribArray)                                             \
    X(PFNGLDISABLEVERTEXATTRIBARRAYPROC, DisableVertexAttribArray)                                           \
    X(PFNGLVERTEXATTRIB4FPROC, VertexAttrib4f)                                                               \
    X(PFNGLDRAWARRAYSPROC, DrawArrays)                                                                       \
    X(PFNGLDRAWELEMENTSBASEVERTEXPROC, DrawElementsBaseVertex)                                               \
    X(PFNGLFRAMEBUFFERTEXTURE2DPROC, FramebufferTexture2D)                                                   \
    X(PFNGLCOMPRESSEDTEXIMAGE2DPROC, CompressedTexImage2D)                                                   \
    X(PFNGLGETTEXIMAGEPROC, GetTexImage)                                                                     \
    X(PFNGLDELETEPROGRAMPROC, DeleteProgram)

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

} // namespace gfx::gl
