#include "platform/gfx/gl/GlDraw.h"

#include <SDL2/SDL.h>

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>

#include "platform/gfx/gl/GlAttributes.h"
#include "platform/gfx/gl/GlDevice.h"
#include "platform/gfx/gl/GlProgram.h"
#include "platform/image/Image.h"

namespace gfx::gl {
namespace {

// Stages the program evaluates; the engine's fixed-function draws use at
// most two, and a disabled stage ends the chain as on Direct3D.
constexpr uint32_t kProgramStages = 4;

const char* const kVertexShader = R"(#version 330 core
layout(location = 0) in vec4 aPosition;
layout(location = 1) in vec4 aDiffuse;
layout(location = 2) in vec4 aSpecular;
layout(location = 3) in vec2 aTex0;
layout(location = 4) in vec2 aTex1;
layout(location = 5) in vec2 aTex2;
layout(location = 6) in vec2 aTex3;
uniform int uPreTransformed;
uniform vec4 uViewport;      // x, y, width, height in pixels
uniform mat4 uWorldViewProj; // the row-vector matrix as stored (v * M)
out vec4 vDiffuse;
out vec4 vSpecular;
out vec2 vTex[4];
void main() {
    if (uPreTransformed != 0) {
        // Screen pixels with Direct3D 9 centres at whole numbers. The extra
        // 1/128 pixel makes a centre on a left or top edge fall inside, as
        // Direct3D's top-left rule has it, whatever rule GL applies.
        float w = aPosition.w > 0.0 ? 1.0 / aPosition.w : 1.0;
        vec2 p = (aPosition.xy + (0.5 - 1.0 / 128.0) - uViewport.xy) / uViewport.zw;
        gl_Position = vec4((p.x * 2.0 - 1.0) * w, (1.0 - p.y * 2.0) * w, aPosition.z * w, w);
    } else {
        gl_Position = uWorldViewProj * vec4(aPosition.xyz, 1.0);
    }
    vDiffuse = aDiffuse;
    vSpecular = aSpecular;
    vTex[0] = aTex0;
    vTex[1] = aTex1;
    vTex[2] = aTex2;
    vTex[3] = aTex3;
}
)";

const char* const kFragmentHead = R"(#version 330 core
in vec4 vDiffuse;
in vec4 vSpecular;
in vec2 vTex[4];
uniform sampler2D uTex0;
uniform sampler2D uTex1;
uniform sampler2D uTex2;
uniform sampler2D uTex3;
uniform int uColorOp[4];
uniform int uColorArg1[4];
uniform int uColorArg2[4];
uniform int uAlphaOp[4];
uniform int uAlphaArg1[4];
uniform int uAlphaArg2[4];
uniform int uTexIndex[4];
uniform int uHasTexture[4];
uniform vec4 uTFactor;
uniform int uAlphaTest;
uniform int uAlphaFunc;
uniform float uAlphaRef;
out vec4 fragColor;

vec4 sampleStage(int i) {
    if (uHasTexture[i] == 0) return vec4(1.0);
    vec2 uv = vTex[clamp(uTexIndex[i], 0, 3)];
    if (i == 0) return texture(uTex0, uv);
    if (i == 1) return texture(uTex1, uv);
    if (i == 2) return texture(uTex2, uv);
    return texture(uTex3, uv);
}

vec4 argument(int a, vec4 current, vec4 tex) {
    vec4 v;
    int sel = a & 15;
    if (sel == 0) v = vDiffuse;
    else if (sel == 1) v = current;
    else if (sel == 2) v = tex;
    else if (sel == 3) v = uTFactor;
    else if (sel == 4) v = vSpecular;
    else v = current;
    if ((a & 16) != 0) v = vec4(1.0) - v;
    if ((a & 32) != 0) v = vec4(v.a);
    return v;
}

vec4 operation(int op, vec4 a1, vec4 a2, vec4 current, vec4 tex) {
    if (op == 2) return a1;
    if (op == 3) return a2;
    if (op == 4) return a1 * a2;
    if (op == 5) return a1 * a2 * 2.0;
    if (op == 6) return a1 * a2 * 4.0;
    if (op == 7) return a1 + a2;
    if (op == 8) return a1 + a2 - 0.5;
    if (op == 9) return (a1 + a2 - 0.5) * 2.0;
    if (op == 10) return a1 - a2;
    if (op == 11) return a1 + a2 - a1 * a2;
    if (op == 12) return mix(a2, a1, vDiffuse.a);
    if (op == 13) return mix(a2, a1, tex.a);
    if (op == 14) return mix(a2, a1, uTFactor.a);
    if (op == 16) return mix(a2, a1, current.a);
    return a1;
}

)";

const char* const kFragmentMain = R"(
void main() {
    vec4 current = vDiffuse;
    for (int i = 0; i < 4; ++i) {
        if (uColorOp[i] == 1) break;
        vec4 tex = sampleStage(i);
        vec4 c = operation(uColorOp[i], argument(uColorArg1[i], current, tex),
                           argument(uColorArg2[i], current, tex), current, tex);
        float a = current.a;
        if (uAlphaOp[i] != 1) {
            a = operation(uAlphaOp[i], argument(uAlphaArg1[i], current, tex),
                          argument(uAlphaArg2[i], current, tex), current, tex).a;
        }
        current = clamp(vec4(c.rgb, a), 0.0, 1.0);
    }
    if (uAlphaTest != 0 && !ztAlphaPasses(uAlphaFunc, floor(current.a * 255.0 + 0.5), uAlphaRef)) discard;
    fragColor = current;
}
)";

GLint WrapGl(uint32_t v) {
    switch (static_cast<TextureAddress>(v)) {
    case TextureAddress::Mirror:
        return GL_MIRRORED_REPEAT;
    case TextureAddress::Clamp:
        return GL_CLAMP_TO_EDGE;
    case TextureAddress::Border:
        return GL_CLAMP_TO_BORDER;
    default:
        return GL_REPEAT;
    }
}

GLint MinFilterGl(uint32_t min, uint32_t mip) {
    const bool linear = min != StateValue(TextureFilter::Point) && min != StateValue(TextureFilter::None);
    if (mip == StateValue(TextureFilter::None)) return linear ? GL_LINEAR : GL_NEAREST;
    const bool mipLinear = mip != StateValue(TextureFilter::Point);
    if (linear) return mipLinear ? GL_LINEAR_MIPMAP_LINEAR : GL_LINEAR_MIPMAP_NEAREST;
    return mipLinear ? GL_NEAREST_MIPMAP_LINEAR : GL_NEAREST_MIPMAP_NEAREST;
}

// Anisotropic filtering: core in GL 4.6, an extension before it.
constexpr GLenum kGlTextureMaxAnisotropy = 0x84FE;
constexpr GLenum kGlMaxTextureMaxAnisotropy = 0x84FF;

bool HasAnisotropicFiltering(const Functions& gl) {
    GLint n = 0;
    gl.GetIntegerv(GL_NUM_EXTENSIONS, &n);
    for (GLint i = 0; i < n; ++i) {
        const char* e = reinterpret_cast<const char*>(gl.GetStringi(GL_EXTENSIONS, GLuint(i)));
        if (e && (std::strcmp(e, "GL_EXT_texture_filter_anisotropic") == 0 ||
                  std::strcmp(e, "GL_ARB_texture_filter_anisotropic") == 0)) {
            return true;
        }
    }
    return false;
}

bool ColourFormat(Format f) {
    return f == Format::A8R8G8B8 || f == Format::X8R8G8B8;
}
bool TextureFormat(Format f) {
    return ColourFormat(f) || IsCompressed(f);
}
bool FloatFormat(Format f) {
    return f == Format::R32F || f == Format::A16B16G16R16F || f == Format::G16R16F;
}

// GL's storage, pixel format and type of a render-target format.
struct TargetStorage {
    GLint internal;
    GLenum format, type;
};
TargetStorage TargetStorageOf(Format f) {
    switch (f) {
    case Format::R32F:
        return {GL_R32F, GL_RED, GL_FLOAT};
    case Format::A16B16G16R16F:
        return {GL_RGBA16F, GL_RGBA, GL_HALF_FLOAT};
    case Format::G16R16F:
        return {GL_RG16F, GL_RG, GL_HALF_FLOAT};
    default:
        return {GL_RGBA8, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV};
    }
}

GLuint Compile(const Functions& gl, GLenum type, const char* source, const char* what) {
    GLuint s = gl.CreateShader(type);
    gl.ShaderSource(s, 1, &source, nullptr);
    gl.CompileShader(s);
    GLint ok = 0;
    gl.GetShaderiv(s, GL_COMPILE_STATUS, &ok);
    if (!ok) {
        char log[1024] = {};
        gl.GetShaderInfoLog(s, sizeof log, nullptr, log);
        std::fprintf(stderr, "gfx: %s shader: %s\n", what, log);
        gl.DeleteShader(s);
        return 0;
    }
    return s;
}

// Rectangle of a lock, clipped to the level; false when empty or outside.
bool LockArea(const Rect* rect, uint32_t w, uint32_t h, Rect* out) {
    Rect r = rect ? *rect : Rect{0, 0, int32_t(w), int32_t(h)};
    if (r.left < 0 || r.top < 0 || r.right > int32_t(w) || r.bottom > int32_t(h) || r.left >= r.right ||
        r.top >= r.bottom) {
        return false;
    }
    *out = r;
    return true;
}

} // namespace

GLenum PrimitiveGl(PrimitiveType t) {
    switch (t) {
    case PrimitiveType::PointList:
        return GL_POINTS;
    case PrimitiveType::LineList:
        return GL_LINES;
    case PrimitiveType::LineStrip:
        return GL_LINE_STRIP;
    case PrimitiveType::TriangleStrip:
        return GL_TRIANGLE_STRIP;
    case PrimitiveType::TriangleFan:
        return GL_TRIANGLE_FAN;
    default:
        return GL_TRIANGLES;
    }
}

GLuint BuildProgram(const Functions& gl, const char* vertexSource, const char* fragmentSource,
                    const char* what) {
    GLuint vs = Compile(gl, GL_VERTEX_SHADER, vertexSource, what);
    GLuint fs = vs ? Compile(gl, GL_FRAGMENT_SHADER, fragmentSource, what) : 0;
    if (!vs || !fs) {
        if (vs) gl.DeleteShader(vs);
        return 0;
    }
    GLuint p = gl.CreateProgram();
    gl.AttachShader(p, vs);
    gl.AttachShader(p, fs);
    gl.LinkProgram(p);
    gl.DeleteShader(vs);
    gl.DeleteShader(fs);
    GLint ok = 0;
    gl.GetProgramiv(p, GL_LINK_STATUS, &ok);
    if (!ok) {
        char log[1024] = {};
        gl.GetProgramInfoLog(p, sizeof log, nullptr, log);
        std::fprintf(stderr, "gfx: %s program: %s\n", what, log);
        return 0;
    }
    return p;
}

// ---- Tracked resources --------------------------------------------------------------

GlTracked::GlTracked(GlDraw* owner) : m_owner(owner) {
    if (m_owner) m_owner->Track(this);
}

GlTracked::~GlTracked() {
    if (m_owner) m_owner->Untrack(this);
}

void GlDraw::Track(GlTracked* r) {
    r->m_prev = nullptr;
    r->m_next = m_tracked;
    if (m_tracked) m_tracked->m_prev = r;
    m_tracked = r;
}

void GlDraw::Untrack(GlTracked* r) {
    if (r->m_prev) r->m_prev->m_next = r->m_next;
    if (r->m_next) r->m_next->m_prev = r->m_prev;
    if (m_tracked == r) m_tracked = r->m_next;
    r->m_prev = r->m_next = nullptr;
}

GlDraw::~GlDraw() {
    // The context is gone by now: cut every resource loose first, so that the
    // references dropped below make no GL calls.
    while (m_tracked) {
        GlTracked* r = m_tracked;
        Untrack(r);
        r->Orphan();
    }
    for (Unit& u : m_units) {
        if (u.texture) u.texture->Release();
        u = Unit();
    }
    if (m_stream) m_stream->Release();
    m_stream = nullptr;
    if (m_indices) m_indices->Release();
    m_indices = nullptr;
}

const Functions* GlDraw::Gl() {
    if (!m_loaded && !m_failed) {
        m_device.MakeCurrent();
        m_loaded = m_gl.Load(nullptr);
        m_failed = !m_loaded;
    }
    if (!m_loaded) return nullptr;
    m_device.MakeCurrent();
    return &m_gl;
}

void GlDraw::AddDefaultPool() {
    m_device.AddDefaultPoolResource();
}
void GlDraw::RemoveDefaultPool() {
    m_device.RemoveDefaultPoolResource();
}

void GlDraw::TakeBuffer(uint32_t length, GLuint* name, std::vector<uint8_t>* data) {
    for (size_t i = m_freeBuffers.size(); i-- > 0;) {
        if (m_freeBuffers[i].length != length) continue;
        *name = m_freeBuffers[i].name;
        *data = std::move(m_freeBuffers[i].data);
        m_freeBuffers[i] = std::move(m_freeBuffers.back());
        m_freeBuffers.pop_back();
        return;
    }
    data->assign(length, 0);
    *name = 0;
    if (const Functions* gl = Gl()) {
        gl->GenBuffers(1, name);
        BindArrayBuffer(*name);
        gl->BufferData(GL_ARRAY_BUFFER, GLsizeiptr(length), nullptr, GL_DYNAMIC_DRAW);
    }
}

void GlDraw::RecycleBuffer(uint32_t length, GLuint name, std::vector<uint8_t>&& data) {
    // A few hundred kilobytes of spare buffers at most.
    if (m_freeBuffers.size() >= 64) {
        ForgetBuffer(name);
        if (const Functions* gl = Gl()) gl->DeleteBuffers(1, &name);
        return;
    }
    m_freeBuffers.push_back({length, name, std::move(data)});
}

// ---- Textures -------------------------------------------------------------------------

namespace {
GLenum CompressedGl(Format f) {
    switch (f) {
    case Format::Dxt1:
        return 0x83F1; // GL_COMPRESSED_RGBA_S3TC_DXT1_EXT
    case Format::Dxt3:
        return 0x83F2; // GL_COMPRESSED_RGBA_S3TC_DXT3_EXT
    default:
        return 0x83F3; // GL_COMPRESSED_RGBA_S3TC_DXT5_EXT
    }
}

image::Compression CompressionOf(Format f) {
    return f == Format::Dxt1   ? image::Compression::Dxt1
           : f == Format::Dxt3 ? image::Compression::Dxt3
                               : image::Compression::Dxt5;
}
} // namespace

GlTextureStore::GlTextureStore(GlDraw* owner, GLenum target, uint32_t faces, uint32_t w, uint32_t h,
                               uint32_t levels, Format f, gfx::Pool pool, bool renderTarget)
    : GlTracked(owner), m_target(target), m_format(f), m_pool(pool), m_faces(faces),
      m_renderTarget(renderTarget) {
    const uint32_t full = uint32_t(std::bit_width(std::max(w, h)));
    if (levels == 0 || levels > full) levels = full;
    m_levelCount = levels;
    for (uint32_t face = 0; face < faces; ++face) {
        for (uint32_t l = 0; l < levels; ++l) {
            Level lv;
            lv.w = std::max(1u, w >> l);
            lv.h = std::max(1u, h >> l);
            if (!m_renderTarget) lv.bytes.assign(size_t(LevelBytes(f, lv.w, lv.h)), 0);
            m_levels.push_back(std::move(lv));
        }
    }
    if (m_pool == gfx::Pool::Default) m_owner->AddDefaultPool();
    m_compressedOnGpu = IsCompressed(f) && m_owner->CompressedUpload();
    const Functions* gl = m_owner->Gl();
    if (!gl) return;
    gl->GenTextures(1, &m_name);
    m_owner->BindForUpdate(m_target, m_name);
    gl->TexParameteri(m_target, GL_TEXTURE_BASE_LEVEL, 0);
    gl->TexParameteri(m_target, GL_TEXTURE_MAX_LEVEL, GLint(levels - 1));
    if (f == Format::X8R8G8B8) gl->TexParameteri(m_target, GL_TEXTURE_SWIZZLE_A, GL_ONE);
    if (f == Format::G16R16F) {
        // Direct3D reads the missing channels of a two-channel float as 1.
        gl->TexParameteri(m_target, GL_TEXTURE_SWIZZLE_B, GL_ONE);
        gl->TexParameteri(m_target, GL_TEXTURE_SWIZZLE_A, GL_ONE);
    }
    for (uint32_t face = 0; face < faces; ++face) {
        for (uint32_t l = 0; l < levels; ++l)
            Upload(face, l);
    }
}

GlTextureStore::~GlTextureStore() {
    if (!m_owner) return;
    if (m_pool == gfx::Pool::Default) m_owner->RemoveDefaultPool();
    if (const Functions* gl = m_owner->Gl(); gl && m_name) {
        m_owner->ForgetTexture(m_name);
        gl->DeleteTextures(1, &m_name);
    }
}

void GlTextureStore::Orphan() {
    GlTracked::Orphan();
    m_name = 0;
}

GLenum GlTextureStore::FaceTarget(uint32_t face) const {
    return m_target == GL_TEXTURE_CUBE_MAP ? GL_TEXTURE_CUBE_MAP_POSITIVE_X + face : m_target;
}

Result GlTextureStore::Lock(uint32_t face, uint32_t level, LockedRect* out, const Rect* rect,
                            uint32_t flags) {
    if (!out || face >= m_faces || level >= m_levelCount || m_renderTarget) return Result::InvalidCall;
    Level& lv = At(face, level);
    if (lv.locked) return Result::InvalidCall;
    Rect r;
    if (!LockArea(rect, lv.w, lv.h, &r)) return Result::InvalidCall;
    if (IsCompressed(m_format) && rect) return Result::InvalidCall;
    lv.locked = true;
    lv.readOnly = (flags & lock::ReadOnly) != 0;
    out->Pitch = int32_t(LevelPitch(m_format, lv.w));
    out->pBits = lv.bytes.data() + size_t(r.top) * size_t(out->Pitch) + size_t(r.left) * 4;
    return Result::Ok;
}

Result GlTextureStore::Unlock(uint32_t face, uint32_t level) {
    if (face >= m_faces || level >= m_levelCount || !At(face, level).locked) return Result::InvalidCall;
    Level& lv = At(face, level);
    lv.locked = false;
    if (!lv.readOnly) {
        if (m_owner && m_owner->Gl() && m_name) {
            m_owner->BindForUpdate(m_target, m_name);
            Upload(face, level);
        }
    }
    return Result::Ok;
}

// Sends one level to the texture bound on unit 0.
void GlTextureStore::Upload(uint32_t face, uint32_t level) {
    if (!m_owner || !m_name) return;
    const Functions* gl = m_owner->Gl();
    if (!gl) return;
    const Level& lv = At(face, level);
    const GLenum target = FaceTarget(face);
    if (m_renderTarget) {
        // Storage only: the level is drawn into.
        const TargetStorage st = TargetStorageOf(m_format);
        gl->TexImage2D(target, GLint(level), st.internal, GLsizei(lv.w), GLsizei(lv.h), 0, st.format, st.type,
                       nullptr);
        return;
    }
    if (m_compressedOnGpu) {
        gl->CompressedTexImage2D(target, GLint(level), CompressedGl(m_format), GLsizei(lv.w), GLsizei(lv.h),
                                 0, GLsizei(lv.bytes.size()), lv.bytes.data());
        return;
    }
    const void* texels = lv.bytes.data();
    image::Image decoded;
    if (IsCompressed(m_format)) {
        decoded.width = lv.w;
        decoded.height = lv.h;
        image::DecodeCompressed(CompressionOf(m_format), lv.bytes.data(), lv.bytes.size(), &decoded);
        texels = decoded.pixels.data();
    }
    gl->PixelStorei(GL_UNPACK_ALIGNMENT, 4);
    gl->TexImage2D(target, GLint(level), GL_RGBA8, GLsizei(lv.w), GLsizei(lv.h), 0, GL_BGRA,
                   GL_UNSIGNED_INT_8_8_8_8_REV, texels);
    gl->PixelStorei(GL_UNPACK_ALIGNMENT, 1);
}

Result GlTextureStore::Read(uint32_t face, uint32_t level, uint32_t* pixels) {
    if (!pixels || face >= m_faces || level >= m_levelCount || FloatFormat(m_format))
        return Result::InvalidCall;
    const Functions* gl = m_owner ? m_owner->Gl() : nullptr;
    if (!gl || !m_name) return Result::NotAvailable;
    m_owner->BindForUpdate(m_target, m_name);
    gl->PixelStorei(GL_PACK_ALIGNMENT, 4);
    gl->GetTexImage(FaceTarget(face), GLint(level), GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, pixels);
    if (m_format == Format::X8R8G8B8) {
        const Level& lv = At(face, level);
        for (size_t i = 0; i < size_t(lv.w) * lv.h; ++i)
            pixels[i] |= 0xFF000000u;
    }
    return Result::Ok;
}

bool GlDraw::CompressedUpload() {
    if (m_s3tc < 0) {
        m_s3tc = 0;
        if (const Functions* gl = Gl()) {
            GLint n = 0;
            gl->GetIntegerv(GL_NUM_EXTENSIONS, &n);
            for (GLint i = 0; i < n && !m_s3tc; ++i) {
                const char* e = reinterpret_cast<const char*>(gl->GetStringi(GL_EXTENSIONS, GLuint(i)));
                m_s3tc = e && std::strcmp(e, "GL_EXT_texture_compression_s3tc") == 0;
            }
        }
    }
    return m_s3tc == 1 && !m_forceCpuDecode;
}

Result GlTexture::GetSurfaceLevel(uint32_t level, Surface** out) {
    if (!out || level >= LevelCount()) return Result::InvalidCall;
    *out = new GlLevelSurface(this, level);
    return Result::Ok;
}

Result GlCubeTexture::GetCubeMapSurface(CubeFace face, uint32_t level, Surface** out) {
    if (!out) return Result::InvalidCall;
    *out = nullptr;
    if (uint32_t(face) >= CubeFaceCount || level >= LevelCount()) return Result::InvalidCall;
    *out = new GlCubeFaceSurface(this, uint32_t(face), level);
    return Result::Ok;
}

// ---- Vertex buffers -------------------------------------------------------------------

namespace {
// Never destroyed: buffers may still be freed by other objects' destructors
// at exit.
std::vector<void*>& FreeVertexBufferObjects() {
    static std::vector<void*>* free = new std::vector<void*>;
    return *free;
}
} // namespace

void* GlVertexBuffer::operator new(size_t size) {
    std::vector<void*>& free = FreeVertexBufferObjects();
    if (size == sizeof(GlVertexBuffer) && !free.empty()) {
        // The slot is cleared: a copy left behind the list's end would keep
        // a buffer that is lost later looking reachable to the leak check.
        void* p = std::exchange(free.back(), nullptr);
        free.pop_back();
        return p;
    }
    return ::operator new(size);
}

void GlVertexBuffer::operator delete(void* p) {
    std::vector<void*>& free = FreeVertexBufferObjects();
    if (free.size() < 256) {
        free.push_back(p);
    } else {
        ::operator delete(p);
    }
}

GlBufferStore::GlBufferStore(GlDraw* owner, uint32_t length, gfx::Pool pool)
    : GlTracked(owner), m_length(length), m_pool(pool) {
    if (m_pool == gfx::Pool::Default) m_owner->AddDefaultPool();
    m_owner->TakeBuffer(length, &m_name, &m_data);
}

GlBufferStore::~GlBufferStore() {
    if (!m_owner) return;
    if (m_pool == gfx::Pool::Default) m_owner->RemoveDefaultPool();
    m_owner->RecycleBuffer(m_length, m_name, std::move(m_data));
}

void GlBufferStore::Orphan() {
    GlTracked::Orphan();
    m_name = 0;
}

Result GlBufferStore::LockBytes(uint32_t offset, uint32_t size, void** data, uint32_t flags) {
    if (!data || m_locked || offset > m_length) return Result::InvalidCall;
    if (size == 0) size = m_length - offset;
    if (size > m_length - offset) return Result::InvalidCall;
    m_locked = true;
    m_lockReadOnly = (flags & lock::ReadOnly) != 0;
    m_lockOffset = offset;
    m_lockSize = size;
    *data = m_data.data() + offset;
    return Result::Ok;
}

Result GlBufferStore::UnlockBytes() {
    if (!m_locked) return Result::InvalidCall;
    m_locked = false;
    if (m_lockReadOnly || !m_owner || !m_name || m_lockSize == 0) return Result::Ok;
    if (const Functions* gl = m_owner->Gl()) {
        m_owner->BindArrayBuffer(m_name);
        gl->BufferSubData(GL_ARRAY_BUFFER, GLintptr(m_lockOffset), GLsizeiptr(m_lockSize),
                          m_data.data() + m_lockOffset);
    }
    return Result::Ok;
}

// ---- System-memory surfaces ---------------------------------------------------------------

Result GlMemorySurface::LockRect(LockedRect* out, const Rect* rect, uint32_t) {
    Rect r;
    if (!out || m_locked || !LockArea(rect, m_w, m_h, &r)) return Result::InvalidCall;
    m_locked = true;
    const uint32_t texel = TexelBytes(m_format);
    out->Pitch = int32_t(m_w * texel);
    out->pBits = reinterpret_cast<uint8_t*>(m_texels.data()) + size_t(r.top) * size_t(out->Pitch) +
                 size_t(r.left) * texel;
    return Result::Ok;
}

Result GlMemorySurface::UnlockRect() {
    if (!m_locked) return Result::InvalidCall;
    m_locked = false;
    return Result::Ok;
}

// ---- States -----------------------------------------------------------------------------------

void GlDraw::ResetStates() {
    for (uint32_t s = 0; s < TextureStageCount; ++s) {
        for (uint32_t k = 0; k < TextureStageStateCount; ++k) {
            m_stage[s][k] = DefaultStageState(s, static_cast<TextureStageState>(k));
        }
    }
    for (Unit& u : m_units) {
        if (u.texture) u.texture->Release();
        u = Unit();
    }
    for (uint32_t s = 0; s < SamplerCount; ++s) {
        for (uint32_t k = 0; k < SamplerStateCount; ++k)
            m_sampler[s][k] = DefaultSamplerState(static_cast<SamplerState>(k));
        m_samplerDirty[s] = true;
    }
    if (m_stream) m_stream->Release();
    m_stream = nullptr;
    if (m_indices) m_indices->Release();
    m_indices = nullptr;
    m_fvf = 0;
}

Result GlDraw::SetTexture(uint32_t stage, BaseTexture* texture) {
    if (stage >= SamplerCount) return Result::InvalidCall;
    GlTextureStore* store = dynamic_cast<GlTextureStore*>(texture);
    if (texture && !store) return Result::InvalidCall;
    if (texture) texture->AddRef();
    if (m_units[stage].texture) m_units[stage].texture->Release();
    m_units[stage] = {texture, store};
    return Result::Ok;
}

Result GlDraw::SetTextureStageState(uint32_t stage, TextureStageState state, uint32_t value) {
    const uint32_t k = static_cast<uint32_t>(state);
    if (stage >= TextureStageCount || k >= TextureStageStateCount) return Result::InvalidCall;
    m_stage[stage][k] = value;
    return Result::Ok;
}

Result GlDraw::GetTextureStageState(uint32_t stage, TextureStageState state, uint32_t* value) const {
    const uint32_t k = static_cast<uint32_t>(state);
    if (!value || stage >= TextureStageCount || k >= TextureStageStateCount) return Result::InvalidCall;
    *value = m_stage[stage][k];
    return Result::Ok;
}

Result GlDraw::SetSamplerState(uint32_t sampler, SamplerState state, uint32_t value) {
    const uint32_t k = static_cast<uint32_t>(state);
    if (sampler >= SamplerCount || k >= SamplerStateCount) return Result::InvalidCall;
    if (m_sampler[sampler][k] != value) m_samplerDirty[sampler] = true;
    m_sampler[sampler][k] = value;
    return Result::Ok;
}

Result GlDraw::GetSamplerState(uint32_t sampler, SamplerState state, uint32_t* value) const {
    const uint32_t k = static_cast<uint32_t>(state);
    if (!value || sampler >= SamplerCount || k >= SamplerStateCount) return Result::InvalidCall;
    *value = m_sampler[sampler][k];
    return Result::Ok;
}

Result GlDraw::SetFVF(uint32_t fvf) {
    m_fvf = fvf;
    return Result::Ok;
}

Result GlDraw::SetStreamSource(uint32_t stream, VertexBuffer* buffer, uint32_t offset, uint32_t stride) {
    if (stream != 0) return Result::InvalidCall;
    GlVertexBuffer* b = static_cast<GlVertexBuffer*>(buffer);
    if (b) b->AddRef();
    if (m_stream) m_stream->Release();
    m_stream = b;
    m_streamOffset = offset;
    m_streamStride = stride;
    return Result::Ok;
}

Result GlDraw::SetIndices(IndexBuffer* buffer) {
    GlIndexBuffer* b = static_cast<GlIndexBuffer*>(buffer);
    if (b) b->AddRef();
    if (m_indices) m_indices->Release();
    m_indices = b;
    return Result::Ok;
}

// ---- Resource creation ----------------------------------------------------------------------------

Result GlDraw::CreateTexture(uint32_t width, uint32_t height, uint32_t levels, uint32_t usage, Format format,
                             gfx::Pool pool, Texture** out) {
    if (!out) return Result::InvalidCall;
    *out = nullptr;
    const bool renderTarget = (usage & usage::RenderTarget) != 0;
    const bool formatOk =
        renderTarget ? (ColourFormat(format) || FloatFormat(format)) : TextureFormat(format);
    if (width == 0 || height == 0 || width > 16384 || height > 16384 || !formatOk ||
        pool == gfx::Pool::SystemMem || pool == gfx::Pool::Scratch ||
        (renderTarget && pool != gfx::Pool::Default)) {
        return Result::InvalidCall;
    }
    if (!Gl()) return Result::NotAvailable;
    *out = new GlTexture(this, width, height, levels, format, pool, renderTarget);
    return Result::Ok;
}

Result GlDraw::CreateCubeTexture(uint32_t edge, uint32_t levels, uint32_t usage, Format format,
                                 gfx::Pool pool, CubeTexture** out) {
    if (!out) return Result::InvalidCall;
    *out = nullptr;
    const bool renderTarget = (usage & usage::RenderTarget) != 0;
    const bool formatOk =
        renderTarget ? (ColourFormat(format) || FloatFormat(format)) : TextureFormat(format);
    if (edge == 0 || edge > 16384 || !formatOk || pool == gfx::Pool::SystemMem ||
        pool == gfx::Pool::Scratch || (renderTarget && pool != gfx::Pool::Default)) {
        return Result::InvalidCall;
    }
    if (!Gl()) return Result::NotAvailable;
    *out = new GlCubeTexture(this, edge, levels, format, pool, renderTarget);
    return Result::Ok;
}

Result GlDraw::CreateVertexBuffer(uint32_t length, uint32_t, uint32_t fvf, gfx::Pool pool,
                                  VertexBuffer** out) {
    if (!out) return Result::InvalidCall;
    *out = nullptr;
    if (length == 0 || pool == gfx::Pool::SystemMem || pool == gfx::Pool::Scratch) return Result::InvalidCall;
    if (!Gl()) return Result::NotAvailable;
    *out = new GlVertexBuffer(this, length, fvf, pool);
    return Result::Ok;
}

Result GlDraw::CreateIndexBuffer(uint32_t length, uint32_t, Format format, gfx::Pool pool,
                                 IndexBuffer** out) {
    if (!out) return Result::InvalidCall;
    *out = nullptr;
    if (length == 0 || (format != Format::Index16 && format != Format::Index32) ||
        pool == gfx::Pool::SystemMem || pool == gfx::Pool::Scratch) {
        return Result::InvalidCall;
    }
    if (!Gl()) return Result::NotAvailable;
    *out = new GlIndexBuffer(this, length, format, pool);
    return Result::Ok;
}

Result GlDraw::CreateOffscreenPlainSurface(uint32_t width, uint32_t height, Format format, gfx::Pool pool,
                                           Surface** out) {
    if (!out) return Result::InvalidCall;
    *out = nullptr;
    if (width == 0 || height == 0 || width > 16384 || height > 16384 ||
        !(ColourFormat(format) || format == Format::R32F || format == Format::A16B16G16R16F ||
          format == Format::G16R16F) ||
        pool == gfx::Pool::Managed) {
        return Result::InvalidCall;
    }
    *out = new GlMemorySurface(width, height, format);
    return Result::Ok;
}

Result GlDraw::CreateDepthStencilSurface(uint32_t width, uint32_t height, Format format, uint32_t samples,
                                         Surface** out) {
    if (!out) return Result::InvalidCall;
    *out = nullptr;
    if (width == 0 || height == 0 || width > 16384 || height > 16384 || DepthStorage(format) == 0 ||
        samples >= 2) {
        return Result::InvalidCall;
    }
    if (!Gl()) return Result::NotAvailable;
    *out = new GlDepthSurface(this, width, height, format);
    return Result::Ok;
}

GlDepthSurface::GlDepthSurface(GlDraw* owner, uint32_t w, uint32_t h, Format f)
    : GlTracked(owner), m_w(w), m_h(h), m_format(f) {
    m_owner->AddDefaultPool();
    const Functions* gl = m_owner->Gl();
    if (!gl) return;
    gl->GenRenderbuffers(1, &m_renderbuffer);
    gl->BindRenderbuffer(GL_RENDERBUFFER, m_renderbuffer);
    gl->RenderbufferStorage(GL_RENDERBUFFER, DepthStorage(f), GLsizei(w), GLsizei(h));
    gl->BindRenderbuffer(GL_RENDERBUFFER, 0);
}

GlDepthSurface::~GlDepthSurface() {
    if (!m_owner) return;
    m_owner->RemoveDefaultPool();
    if (const Functions* gl = m_owner->Gl(); gl && m_renderbuffer)
        gl->DeleteRenderbuffers(1, &m_renderbuffer);
}

void GlDepthSurface::Orphan() {
    GlTracked::Orphan();
    m_renderbuffer = 0;
}

Result GlDraw::UpdateSurface(Surface* source, const Rect* sourceRect, Surface* dest, const Point* destPoint) {
    GlMemorySurface* src = dynamic_cast<GlMemorySurface*>(source);
    GlSurface* dst = dynamic_cast<GlSurface*>(dest);
    if (!src || !ColourFormat(src->GetFormat()) || !dst || dst->GetKind() != GlSurface::Kind::BackBuffer)
        return Result::InvalidCall;
    Rect r;
    if (!LockArea(sourceRect, src->Width(), src->Height(), &r)) return Result::InvalidCall;
    const Point p = destPoint ? *destPoint : Point{};
    const int32_t w = r.right - r.left, h = r.bottom - r.top;
    if (p.x < 0 || p.y < 0 || p.x + w > int32_t(dst->Width()) || p.y + h > int32_t(dst->Height())) {
        return Result::InvalidCall;
    }
    const Functions* gl = Gl();
    if (!gl) return Result::NotAvailable;
    if (m_device.TestCooperativeLevel() != Result::Ok) return Result::Ok;
    // The rectangle goes through a scratch texture and a framebuffer blit;
    // row 0 of both is the top of the picture.
    if (!m_blitTexture) {
        gl->GenTextures(1, &m_blitTexture);
        gl->GenFramebuffers(1, &m_blitFbo);
    }
    BindForUpdate(GL_TEXTURE_2D, m_blitTexture);
    gl->PixelStorei(GL_UNPACK_ROW_LENGTH, GLint(src->Width()));
    gl->PixelStorei(GL_UNPACK_ALIGNMENT, 4);
    gl->TexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, w, h, 0, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV,
                   src->Texels() + size_t(r.top) * src->Width() + r.left);
    gl->PixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    gl->PixelStorei(GL_UNPACK_ALIGNMENT, 1);
    GLint target = 0;
    gl->GetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &target);
    gl->BindFramebuffer(GL_READ_FRAMEBUFFER, m_blitFbo);
    gl->FramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, m_blitTexture, 0);
    const GLboolean scissor = gl->IsEnabled(GL_SCISSOR_TEST);
    gl->Disable(GL_SCISSOR_TEST);
    gl->BlitFramebuffer(0, 0, w, h, p.x, p.y, p.x + w, p.y + h, GL_COLOR_BUFFER_BIT, GL_NEAREST);
    if (scissor) gl->Enable(GL_SCISSOR_TEST);
    gl->BindFramebuffer(GL_READ_FRAMEBUFFER, GLuint(target));
    return Result::Ok;
}

// ---- Drawing ----------------------------------------------------------------------------------------

bool GlDraw::EnsureProgram() {
    if (m_program) return true;
    const Functions* gl = Gl();
    if (!gl || m_failed) return false;
    const std::string fragment = std::string(kFragmentHead) + AlphaTestGlsl + kFragmentMain;
    GLuint p = BuildProgram(*gl, kVertexShader, fragment.c_str(), "fixed-function");
    if (!p) {
        m_failed = true;
        return false;
    }
    m_program = p;
    auto loc = [&](const char* n) { return gl->GetUniformLocation(p, n); };
    m_u = {loc("uPreTransformed"), loc("uViewport"),  loc("uWorldViewProj"), loc("uTex0"),
           loc("uColorOp"),        loc("uColorArg1"), loc("uColorArg2"),     loc("uAlphaOp"),
           loc("uAlphaArg1"),      loc("uAlphaArg2"), loc("uTexIndex"),      loc("uHasTexture"),
           loc("uTFactor"),        loc("uAlphaTest"), loc("uAlphaFunc"),     loc("uAlphaRef")};
    UseProgram(p);
    const char* samplers[kProgramStages] = {"uTex0", "uTex1", "uTex2", "uTex3"};
    for (uint32_t i = 0; i < kProgramStages; ++i)
        gl->Uniform1i(loc(samplers[i]), GLint(i));
    gl->GenVertexArrays(1, &m_vao);
    gl->GenBuffers(1, &m_streamBuffer);
    if (!EnsureSamplers()) return false;
    return true;
}

bool GlDraw::EnsureSamplers() {
    if (m_samplers[0]) return true;
    const Functions* gl = Gl();
    if (!gl) return false;
    gl->GenSamplers(GLsizei(SamplerCount), m_samplers);
    for (bool& d : m_samplerDirty)
        d = true;
    return true;
}

float GlDraw::MaxAnisotropy() {
    if (m_maxAnisotropy == 0) {
        m_maxAnisotropy = 1;
        const Functions* gl = Gl();
        if (gl && HasAnisotropicFiltering(*gl)) {
            GLfloat most = 1;
            gl->GetFloatv(kGlMaxTextureMaxAnisotropy, &most);
            m_maxAnisotropy = std::max(1.0f, most);
        }
    }
    return m_maxAnisotropy;
}

void GlDraw::ApplySampler(uint32_t unit) {
    const Functions& gl = m_gl;
    const uint32_t* s = m_sampler[unit];
    const GLuint sm = m_samplers[unit];
    SamplerParams& sent = m_bound.samplerParams[unit];
    auto set = [&](GLenum name, GLint value, GLint* was) {
        if (*was == value) return;
        gl.SamplerParameteri(sm, name, value);
        *was = value;
    };
    auto setFloat = [&](GLenum name, float value, float* was) {
        if (*was == value) return;
        gl.SamplerParameterf(sm, name, value);
        *was = value;
    };
    set(GL_TEXTURE_WRAP_S, GLint(WrapGl(s[uint32_t(SamplerState::AddressU)])), &sent.wrapS);
    set(GL_TEXTURE_WRAP_T, GLint(WrapGl(s[uint32_t(SamplerState::AddressV)])), &sent.wrapT);
    const uint32_t mag = s[uint32_t(SamplerState::MagFilter)];
    set(GL_TEXTURE_MAG_FILTER, mag == StateValue(TextureFilter::Point) || mag == 0 ? GL_NEAREST : GL_LINEAR,
        &sent.mag);
    const uint32_t min = s[uint32_t(SamplerState::MinFilter)];
    set(GL_TEXTURE_MIN_FILTER, GLint(MinFilterGl(min, s[uint32_t(SamplerState::MipFilter)])), &sent.min);
    setFloat(GL_TEXTURE_LOD_BIAS, StateFloat(s[uint32_t(SamplerState::MipMapLodBias)]), &sent.lodBias);
    const float most = MaxAnisotropy();
    if (most > 1) {
        float a = 1;
        if (min == StateValue(TextureFilter::Anisotropic))
            a = std::clamp(float(s[uint32_t(SamplerState::MaxAnisotropy)]), 1.0f, most);
        setFloat(kGlTextureMaxAnisotropy, a, &sent.anisotropy);
    }
    m_samplerDirty[unit] = false;
}

void GlDraw::ActiveUnit(uint32_t unit) {
    if (m_bound.activeUnit == unit) return;
    m_gl.ActiveTexture(GL_TEXTURE0 + unit);
    m_bound.activeUnit = unit;
}

void GlDraw::BindUnit(uint32_t unit, GLenum target, GLuint name) {
    GLuint& bound = target == GL_TEXTURE_CUBE_MAP ? m_bound.cube[unit] : m_bound.texture2d[unit];
    if (bound == name) return;
    ActiveUnit(unit);
    m_gl.BindTexture(target, name);
    bound = name;
}

void GlDraw::BindTextureUnits(uint32_t count) {
    if (!EnsureSamplers()) return;
    const Functions& gl = m_gl;
    count = std::min(count, SamplerCount);
    for (uint32_t i = 0; i < count; ++i) {
        const GlTextureStore* t = m_units[i].store;
        BindUnit(i, GL_TEXTURE_2D, t && t->Target() == GL_TEXTURE_2D ? t->Name() : 0);
        BindUnit(i, GL_TEXTURE_CUBE_MAP, t && t->Target() == GL_TEXTURE_CUBE_MAP ? t->Name() : 0);
        if (m_samplerDirty[i]) ApplySampler(i);
        if (m_bound.sampler[i] != m_samplers[i]) {
            gl.BindSampler(i, m_samplers[i]);
            m_bound.sampler[i] = m_samplers[i];
        }
    }
}

void GlDraw::UseProgram(GLuint program) {
    if (m_bound.program == program || !Gl()) return;
    m_gl.UseProgram(program);
    m_bound.program = program;
}

void GlDraw::BindArrayBuffer(GLuint buffer) {
    if (m_bound.arrayBuffer == buffer || !Gl()) return;
    m_gl.BindBuffer(GL_ARRAY_BUFFER, buffer);
    m_bound.arrayBuffer = buffer;
}

void GlDraw::BindForUpdate(GLenum target, GLuint name) {
    if (!Gl()) return;
    BindUnit(0, target, name);
    ActiveUnit(0);
}

void GlDraw::ForgetTexture(GLuint name) {
    for (uint32_t i = 0; i < SamplerCount; ++i) {
        if (m_bound.texture2d[i] == name) m_bound.texture2d[i] = kUnknown;
        if (m_bound.cube[i] == name) m_bound.cube[i] = kUnknown;
    }
}

void GlDraw::ForgetBuffer(GLuint name) {
    if (m_bound.arrayBuffer == name) m_bound.arrayBuffer = kUnknown;
    if (m_bound.elementBuffer == name) m_bound.elementBuffer = kUnknown;
    for (Attrib& a : m_bound.attribs) {
        if (a.buffer == name) a.known = false;
    }
}

void GlDraw::ForgetProgram(GLuint name) {
    if (m_bound.program == name) m_bound.program = kUnknown;
}

void GlDraw::SetUniforms(bool preTransformed) {
    const Functions& gl = m_gl;
    FixedUniforms now;
    now.preTransformed = preTransformed ? 1 : 0;
    constexpr TextureStageState kStageStates[] = {TextureStageState::ColorOp,   TextureStageState::ColorArg1,
                                                  TextureStageState::ColorArg2, TextureStageState::AlphaOp,
                                                  TextureStageState::AlphaArg1, TextureStageState::AlphaArg2};
    for (uint32_t i = 0; i < kProgramStages; ++i) {
        const uint32_t* s = m_stage[i];
        for (uint32_t k = 0; k < 6; ++k)
            now.stages[k][i] = GLint(s[uint32_t(kStageStates[k])]);
        now.stages[6][i] = GLint(s[uint32_t(TextureStageState::TexCoordIndex)] & 0xFFFF);
        // The built-in program samples 2D textures only.
        now.stages[7][i] = m_units[i].store && m_units[i].store->Target() == GL_TEXTURE_2D ? 1 : 0;
    }
    uint32_t v = 0;
    m_device.GetRenderState(RenderState::TextureFactor, &v);
    now.tfactor[0] = float((v >> 16) & 0xFF) / 255.0f;
    now.tfactor[1] = float((v >> 8) & 0xFF) / 255.0f;
    now.tfactor[2] = float(v & 0xFF) / 255.0f;
    now.tfactor[3] = float(v >> 24) / 255.0f;
    m_device.GetRenderState(RenderState::AlphaTestEnable, &v);
    now.alphaTest = v ? 1 : 0;
    m_device.GetRenderState(RenderState::AlphaFunc, &v);
    now.alphaFunc = GLint(v);
    m_device.GetRenderState(RenderState::AlphaRef, &v);
    now.alphaRef = float(v & 0xFF);
    Viewport vp;
    m_device.GetViewport(&vp);
    now.viewport[0] = float(vp.X);
    now.viewport[1] = float(vp.Y);
    now.viewport[2] = float(vp.Width);
    now.viewport[3] = float(vp.Height);
    math::Matrix world, view, proj;
    m_device.GetTransform(TransformState::World, &world);
    m_device.GetTransform(TransformState::View, &view);
    m_device.GetTransform(TransformState::Projection, &proj);
    // Row vectors: v * World * View * Proj. Uploaded without transposing,
    // GLSL's column-major reading makes M * v the same product.
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) {
            float wv[4];
            for (int k = 0; k < 4; ++k) {
                wv[k] = 0;
                for (int j = 0; j < 4; ++j)
                    wv[k] += world.m[r][j] * view.m[j][k];
            }
            float sum = 0;
            for (int k = 0; k < 4; ++k)
                sum += wv[k] * proj.m[k][c];
            now.worldViewProj[r * 4 + c] = sum;
        }
    }

    // Only what differs from the last upload goes to GL.
    FixedUniforms& sent = m_bound.fixed;
    const bool all = !m_bound.fixedKnown;
    auto differs = [&](const auto& a, const auto& b) { return all || std::memcmp(&a, &b, sizeof a) != 0; };
    if (differs(now.preTransformed, sent.preTransformed))
        gl.Uniform1i(m_u.preTransformed, now.preTransformed);
    const GLint locations[8] = {m_u.colorOp,   m_u.colorArg1, m_u.colorArg2, m_u.alphaOp,
                                m_u.alphaArg1, m_u.alphaArg2, m_u.texIndex,  m_u.hasTexture};
    for (uint32_t k = 0; k < 8; ++k) {
        if (differs(now.stages[k], sent.stages[k]))
            gl.Uniform1iv(locations[k], kProgramStages, now.stages[k]);
    }
    if (differs(now.tfactor, sent.tfactor)) gl.Uniform4fv(m_u.tfactor, 1, now.tfactor);
    if (differs(now.alphaTest, sent.alphaTest)) gl.Uniform1i(m_u.alphaTest, now.alphaTest);
    if (differs(now.alphaFunc, sent.alphaFunc)) gl.Uniform1i(m_u.alphaFunc, now.alphaFunc);
    if (differs(now.alphaRef, sent.alphaRef)) gl.Uniform1f(m_u.alphaRef, now.alphaRef);
    if (differs(now.viewport, sent.viewport)) gl.Uniform4fv(m_u.viewport, 1, now.viewport);
    if (differs(now.worldViewProj, sent.worldViewProj))
        gl.UniformMatrix4fv(m_u.worldViewProj, 1, GL_FALSE, now.worldViewProj);
    sent = now;
    m_bound.fixedKnown = true;
}

Result GlDraw::Draw(PrimitiveType type, uint32_t primitiveCount, GLuint buffer, uint32_t offset,
                    uint32_t stride, const Indexed* indexed) {
    if (const Program* p = m_device.GetProgram())
        return DrawProgram(static_cast<const GlProgram&>(*p), type, primitiveCount, buffer, offset, stride,
                           indexed);
    bool preTransformed = false;
    if (!BindVertexInputs(buffer, offset, stride, true, &preTransformed)) return Result::InvalidCall;
    m_device.ApplyRenderStates();
    UseProgram(m_program);
    SetUniforms(preTransformed);
    BindTextureUnits(kProgramStages);
    Submit(type, primitiveCount, indexed);
    return Result::Ok;
}

void GlDraw::Submit(PrimitiveType type, uint32_t primitiveCount, const Indexed* indexed) {
    const GLsizei count = GLsizei(VertexCount(type, primitiveCount));
    if (!indexed) {
        m_gl.DrawArrays(PrimitiveGl(type), 0, count);
        return;
    }
    // The element buffer binding belongs to the vertex array object bound by
    // BindVertexInputs, the only one draws use.
    if (m_bound.elementBuffer != indexed->buffer) {
        m_gl.BindBuffer(GL_ELEMENT_ARRAY_BUFFER, indexed->buffer);
        m_bound.elementBuffer = indexed->buffer;
    }
    m_gl.DrawElementsBaseVertex(PrimitiveGl(type), count, indexed->type,
                                reinterpret_cast<const void*>(indexed->byteOffset), indexed->baseVertex);
}

Result GlDraw::DrawPrimitive(PrimitiveType type, uint32_t startVertex, uint32_t primitiveCount) {
    if (!m_stream || m_streamStride == 0) return Result::InvalidCall;
    const uint64_t end =
        uint64_t(m_streamOffset) + uint64_t(startVertex + VertexCount(type, primitiveCount)) * m_streamStride;
    if (end > m_stream->Length()) return Result::InvalidCall;
    if (primitiveCount == 0) return Result::Ok;
    if (!EnsureProgram()) return Result::NotAvailable;
    if (m_device.TestCooperativeLevel() != Result::Ok) return Result::Ok;
    return Draw(type, primitiveCount, m_stream->Name(), m_streamOffset + startVertex * m_streamStride,
                m_streamStride, nullptr);
}

Result GlDraw::DrawIndexedPrimitive(PrimitiveType type, int32_t baseVertex, uint32_t minVertex,
                                    uint32_t numVertices, uint32_t startIndex, uint32_t primitiveCount) {
    if (!m_stream || m_streamStride == 0 || !m_indices) return Result::InvalidCall;
    // The indices and the vertex range the caller names must lie in the
    // buffers; the indices themselves are the caller's promise, as on
    // Direct3D (checking each would cost a pass over them every draw).
    const uint64_t indexEnd =
        (uint64_t(startIndex) + VertexCount(type, primitiveCount)) * m_indices->IndexBytes();
    if (indexEnd > m_indices->Length()) return Result::InvalidCall;
    const int64_t first = int64_t(baseVertex) + minVertex;
    const int64_t vertexEnd = int64_t(m_streamOffset) + (first + int64_t(numVertices)) * m_streamStride;
    if (first < 0 || vertexEnd > int64_t(m_stream->Length())) return Result::InvalidCall;
    if (primitiveCount == 0) return Result::Ok;
    if (!EnsureProgram()) return Result::NotAvailable;
    if (m_device.TestCooperativeLevel() != Result::Ok) return Result::Ok;
    const Indexed indexed{m_indices->Name(),
                          m_indices->GetFormat() == Format::Index32 ? GLenum(GL_UNSIGNED_INT)
                                                                    : GLenum(GL_UNSIGNED_SHORT),
                          uintptr_t(startIndex) * m_indices->IndexBytes(), GLint(baseVertex)};
    return Draw(type, primitiveCount, m_stream->Name(), m_streamOffset, m_streamStride, &indexed);
}

Result GlDraw::DrawPrimitiveUP(PrimitiveType type, uint32_t primitiveCount, const void* vertices,
                               uint32_t stride) {
    if (!vertices || stride == 0) return Result::InvalidCall;
    if (primitiveCount == 0) return Result::Ok;
    if (!EnsureProgram()) return Result::NotAvailable;
    if (m_device.TestCooperativeLevel() != Result::Ok) return Result::Ok;
    const uint32_t bytes = VertexCount(type, primitiveCount) * stride;
    const Functions& gl = m_gl;
    BindArrayBuffer(m_streamBuffer);
    if (bytes > m_streamBufferSize) {
        m_streamBufferSize = std::max(bytes, 64u * 1024u);
        gl.BufferData(GL_ARRAY_BUFFER, GLsizeiptr(m_streamBufferSize), nullptr, GL_STREAM_DRAW);
    }
    gl.BufferSubData(GL_ARRAY_BUFFER, 0, GLsizeiptr(bytes), vertices);
    // Direct3D unbinds stream 0 after a draw from user memory.
    if (m_stream) m_stream->Release();
    m_stream = nullptr;
    return Draw(type, primitiveCount, m_streamBuffer, 0, stride, nullptr);
}

// ---- GlDevice forwarding ---------------------------------------------------------------------------

Result GlDevice::CreateTexture(uint32_t width, uint32_t height, uint32_t levels, uint32_t usage,
                               Format format, Pool pool, Texture** out) {
    if (m_failTextureIn > 0 && --m_failTextureIn == 0) {
        if (out) *out = nullptr;
        return Result::OutOfVideoMemory;
    }
    return m_draw.CreateTexture(width, height, levels, usage, format, pool, out);
}
Result GlDevice::CreateVertexBuffer(uint32_t length, uint32_t usage, uint32_t fvf, Pool pool,
                                    VertexBuffer** out) {
    return m_draw.CreateVertexBuffer(length, usage, fvf, pool, out);
}
Result GlDevice::CreateIndexBuffer(uint32_t length, uint32_t usage, Format format, Pool pool,
                                   IndexBuffer** out) {
    return m_draw.CreateIndexBuffer(length, usage, format, pool, out);
}
Result GlDevice::SetIndices(IndexBuffer* buffer) {
    return m_draw.SetIndices(buffer);
}
Result GlDevice::DrawIndexedPrimitive(PrimitiveType type, int32_t baseVertex, uint32_t minVertex,
                                      uint32_t numVertices, uint32_t startIndex, uint32_t primitiveCount) {
    return m_draw.DrawIndexedPrimitive(type, baseVertex, minVertex, numVertices, startIndex, primitiveCount);
}
Result GlDevice::CreateOffscreenPlainSurface(uint32_t width, uint32_t height, Format format, Pool pool,
                                             Surface** out) {
    return m_draw.CreateOffscreenPlainSurface(width, height, format, pool, out);
}
Result GlDevice::UpdateSurface(Surface* source, const Rect* sourceRect, Surface* dest,
                               const Point* destPoint) {
    return m_draw.UpdateSurface(source, sourceRect, dest, destPoint);
}
Result GlDevice::CreateCubeTexture(uint32_t edge, uint32_t levels, uint32_t usage, Format format, Pool pool,
                                   CubeTexture** out) {
    return m_draw.CreateCubeTexture(edge, levels, usage, format, pool, out);
}
Result GlDevice::SetTexture(uint32_t stage, BaseTexture* texture) {
    return m_draw.SetTexture(stage, texture);
}
Result GlDevice::SetTextureStageState(uint32_t stage, TextureStageState state, uint32_t value) {
    return m_draw.SetTextureStageState(stage, state, value);
}
Result GlDevice::GetTextureStageState(uint32_t stage, TextureStageState state, uint32_t* value) {
    return m_draw.GetTextureStageState(stage, state, value);
}
Result GlDevice::SetSamplerState(uint32_t sampler, SamplerState state, uint32_t value) {
    return m_draw.SetSamplerState(sampler, state, value);
}
Result GlDevice::GetSamplerState(uint32_t sampler, SamplerState state, uint32_t* value) {
    return m_draw.GetSamplerState(sampler, state, value);
}
Result GlDevice::SetFVF(uint32_t fvf) {
    return m_draw.SetFVF(fvf);
}
Result GlDevice::GetFVF(uint32_t* fvf) {
    if (!fvf) return Result::InvalidCall;
    *fvf = m_draw.GetFVF();
    return Result::Ok;
}
Result GlDevice::SetStreamSource(uint32_t stream, VertexBuffer* buffer, uint32_t offset, uint32_t stride) {
    return m_draw.SetStreamSource(stream, buffer, offset, stride);
}
Result GlDevice::DrawPrimitive(PrimitiveType type, uint32_t startVertex, uint32_t primitiveCount) {
    return m_draw.DrawPrimitive(type, startVertex, primitiveCount);
}
Result GlDevice::DrawPrimitiveUP(PrimitiveType type, uint32_t primitiveCount, const void* vertices,
                                 uint32_t stride) {
    return m_draw.DrawPrimitiveUP(type, primitiveCount, vertices, stride);
}

} // namespace gfx::gl
