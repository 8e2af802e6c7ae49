// The drawing services of the OpenGL device: textures, vertex buffers and
// system-memory surfaces, and the fixed-function emulation (one built-in
// GLSL program whose uniforms carry the texture stage operations, the alpha
// test and the vertex format).
//
// Lifetimes: GlDraw lives inside its GlDevice and creates its GL objects on
// first use. Resources link themselves into the GlDraw that made them; when
// the device goes first, they are cut loose and later releases only free
// memory. Vertex buffers of a size seen before reuse a freed GL buffer and
// its memory copy, so code that makes and frees a buffer every frame (text)
// allocates nothing in the steady state.
#pragma once

#include <GL/glcorearb.h>

#include <cstdint>
#include <vector>

#include "platform/gfx/Draw.h"
#include "platform/gfx/gl/GlFunctions.h"

namespace gfx::gl {

class GlDevice;
class GlDraw;

// Compiles and links one of the layer's own GLSL programs; 0 when a stage
// or the link fails (the log goes to standard error, named by `what`).
GLuint BuildProgram(const Functions& gl, const char* vertexSource, const char* fragmentSource,
                    const char* what);

// GL's primitive mode of a Direct3D primitive type.
GLenum PrimitiveGl(PrimitiveType t);

// Base of the resources GlDraw tracks, so that they outlive it safely.
class GlTracked {
  public:
    explicit GlTracked(GlDraw* owner);
    virtual ~GlTracked();
    GlTracked(const GlTracked&) = delete;
    GlTracked& operator=(const GlTracked&) = delete;
    // The device went away: forget it and its GL objects.
    virtual void Orphan() { m_owner = nullptr; }

  protected:
    GlDraw* m_owner;

  private:
    friend class GlDraw;
    GlTracked* m_prev = nullptr;
    GlTracked* m_next = nullptr;
};

// The storage shared by 2D and cube textures: each face's levels in the
// format's own bytes (the CPU copy that Lock hands out) and the GL object.
// Compressed levels go to GL as they are when the driver takes S3TC, else
// decoded to RGBA8 on the way. A render target keeps no CPU copy: it is
// drawn into on the GPU and cannot be locked.
class GlTextureStore : public GlTracked {
  public:
    GlTextureStore(GlDraw* owner, GLenum target, uint32_t faces, uint32_t w, uint32_t h, uint32_t levels,
                   Format f, gfx::Pool pool, bool renderTarget = false);
    ~GlTextureStore() override;
    void Orphan() override;

    GLuint Name() const { return m_name; }
    GLenum Target() const { return m_target; }
    uint32_t Levels() const { return m_levelCount; }
    uint32_t LevelWidth(uint32_t level) const { return level < m_levelCount ? m_levels[level].w : 0; }
    uint32_t LevelHeight(uint32_t level) const { return level < m_levelCount ? m_levels[level].h : 0; }
    Format StoreFormat() const { return m_format; }
    gfx::Pool StorePool() const { return m_pool; }
    bool IsRenderTarget() const { return m_renderTarget; }
    Result Lock(uint32_t face, uint32_t level, LockedRect* out, const Rect* rect, uint32_t flags);
    Result Unlock(uint32_t face, uint32_t level);
    Result Read(uint32_t face, uint32_t level, uint32_t* pixels);

  private:
    struct Level {
        uint32_t w, h;
        std::vector<uint8_t> bytes;
        bool locked = false;
        bool readOnly = false;
    };
    Level& At(uint32_t face, uint32_t level) { return m_levels[size_t(face) * m_levelCount + level]; }
    GLenum FaceTarget(uint32_t face) const;
    void Upload(uint32_t face, uint32_t level);

    GLuint m_name = 0;
    GLenum m_target;
    Format m_format;
    gfx::Pool m_pool;
    uint32_t m_faces, m_levelCount;
    bool m_compressedOnGpu = false;
    bool m_renderTarget = false;
    std::vector<Level> m_levels; // face by face, levels largest first
};

class GlTexture final : public Texture, public GlTextureStore {
  public:
    GlTexture(GlDraw* owner, uint32_t w, uint32_t h, uint32_t levels, Format f, gfx::Pool pool,
              bool renderTarget = false)
        : GlTextureStore(owner, GL_TEXTURE_2D, 1, w, h, levels, f, pool, renderTarget) {}
    uint32_t LevelCount() const override { return Levels(); }
    uint32_t Width(uint32_t level) const override { return LevelWidth(level); }
    uint32_t Height(uint32_t level) const override { return LevelHeight(level); }
    Format GetFormat() const override { return StoreFormat(); }
    gfx::Pool GetPool() const override { return StorePool(); }
    Result LockRect(uint32_t level, LockedRect* out, const Rect* rect, uint32_t flags) override {
        return Lock(0, level, out, rect, flags);
    }
    Result UnlockRect(uint32_t level) override { return Unlock(0, level); }
    Result ReadBack(uint32_t face, uint32_t level, uint32_t* pixels) override {
        return face == 0 ? Read(0, level, pixels) : Result::InvalidCall;
    }
    Result GetSurfaceLevel(uint32_t level, Surface** out) override;
};

// One level of a 2D texture seen as a surface (it holds the texture);
// locking it locks the level. A render target's level is what
// SetRenderTarget draws into.
class GlLevelSurface final : public Surface {
  public:
    GlLevelSurface(GlTexture* t, uint32_t level) : m_texture(t), m_level(level) { m_texture->AddRef(); }
    uint32_t Width() const override { return m_texture->Width(m_level); }
    uint32_t Height() const override { return m_texture->Height(m_level); }
    Format GetFormat() const override { return m_texture->GetFormat(); }
    Result LockRect(LockedRect* out, const Rect* rect, uint32_t flags) override {
        return m_texture->LockRect(m_level, out, rect, flags);
    }
    Result UnlockRect() override { return m_texture->UnlockRect(m_level); }
    const GlTexture& Store() const { return *m_texture; }
    uint32_t Level() const { return m_level; }

  protected:
    ~GlLevelSurface() override { m_texture->Release(); }

  private:
    GlTexture* m_texture;
    uint32_t m_level;
};

class GlCubeTexture final : public CubeTexture, public GlTextureStore {
  public:
    GlCubeTexture(GlDraw* owner, uint32_t edge, uint32_t levels, Format f, gfx::Pool pool,
                  bool renderTarget = false)
        : GlTextureStore(owner, GL_TEXTURE_CUBE_MAP, CubeFaceCount, edge, edge, levels, f, pool,
                         renderTarget) {}
    uint32_t LevelCount() const override { return Levels(); }
    uint32_t Size(uint32_t level) const override { return LevelWidth(level); }
    Format GetFormat() const override { return StoreFormat(); }
    gfx::Pool GetPool() const override { return StorePool(); }
    Result LockRect(CubeFace face, uint32_t level, LockedRect* out, const Rect* rect,
                    uint32_t flags) override {
        return Lock(uint32_t(face), level, out, rect, flags);
    }
    Result UnlockRect(CubeFace face, uint32_t level) override { return Unlock(uint32_t(face), level); }
    Result ReadBack(uint32_t face, uint32_t level, uint32_t* pixels) override {
        return Read(face, level, pixels);
    }
    Result GetCubeMapSurface(CubeFace face, uint32_t level, Surface** out) override;
};

// One level of one face of a cube texture seen as a surface (it holds the
// cube); a render target's face level is what SetRenderTarget draws into,
// attached as GL's cube face of the same number.
class GlCubeFaceSurface final : public Surface {
  public:
    GlCubeFaceSurface(GlCubeTexture* t, uint32_t face, uint32_t level)
        : m_cube(t), m_face(face), m_level(level) {
        m_cube->AddRef();
    }
    uint32_t Width() const override { return m_cube->Size(m_level); }
    uint32_t Height() const override { return m_cube->Size(m_level); }
    Format GetFormat() const override { return m_cube->GetFormat(); }
    Result LockRect(LockedRect* out, const Rect* rect, uint32_t flags) override {
        return m_cube->LockRect(CubeFace(m_face), m_level, out, rect, flags);
    }
    Result UnlockRect() override { return m_cube->UnlockRect(CubeFace(m_face), m_level); }
    const GlCubeTexture& Store() const { return *m_cube; }
    uint32_t Face() const { return m_face; }
    uint32_t Level() const { return m_level; }

  protected:
    ~GlCubeFaceSurface() override { m_cube->Release(); }

  private:
    GlCubeTexture* m_cube;
    uint32_t m_face, m_level;
};

// The CPU copy and the GL buffer behind vertex and index buffers (GL
// buffers are untyped: the draw binds them where it needs them).
class GlBufferStore : public GlTracked {
  public:
    GlBufferStore(GlDraw* owner, uint32_t length, gfx::Pool pool);
    ~GlBufferStore() override;
    void Orphan() override;
    Result LockBytes(uint32_t offset, uint32_t size, void** data, uint32_t flags);
    Result UnlockBytes();

    GLuint Name() const { return m_name; }
    uint32_t Bytes() const { return m_length; }
    const uint8_t* Data() const { return m_data.data(); }

  private:
    uint32_t m_length;
    gfx::Pool m_pool;
    GLuint m_name = 0;
    std::vector<uint8_t> m_data;
    uint32_t m_lockOffset = 0, m_lockSize = 0;
    bool m_locked = false, m_lockReadOnly = false;
};

class GlVertexBuffer final : public VertexBuffer, public GlBufferStore {
  public:
    GlVertexBuffer(GlDraw* owner, uint32_t length, uint32_t fvf, gfx::Pool pool)
        : GlBufferStore(owner, length, pool), m_fvf(fvf) {}
    uint32_t Length() const override { return Bytes(); }
    uint32_t Fvf() const override { return m_fvf; }
    Result Lock(uint32_t offset, uint32_t size, void** data, uint32_t flags) override {
        return LockBytes(offset, size, data, flags);
    }
    Result Unlock() override { return UnlockBytes(); }

    // Objects come from a free list: text makes and frees buffers per frame.
    static void* operator new(size_t size);
    static void operator delete(void* p);

  private:
    uint32_t m_fvf;
};

class GlIndexBuffer final : public IndexBuffer, public GlBufferStore {
  public:
    GlIndexBuffer(GlDraw* owner, uint32_t length, Format format, gfx::Pool pool)
        : GlBufferStore(owner, length, pool), m_format(format) {}
    uint32_t Length() const override { return Bytes(); }
    Format GetFormat() const override { return m_format; }
    Result Lock(uint32_t offset, uint32_t size, void** data, uint32_t flags) override {
        return LockBytes(offset, size, data, flags);
    }
    Result Unlock() override { return UnlockBytes(); }
    uint32_t IndexBytes() const { return m_format == Format::Index32 ? 4 : 2; }

  private:
    Format m_format;
};

// A surface in system memory: packed ARGB texels, one float each (R32F) or
// four half floats each (A16B16G16R16F), rows TexelBytes x width apart.
class GlMemorySurface final : public Surface {
  public:
    GlMemorySurface(uint32_t w, uint32_t h, Format f)
        : m_w(w), m_h(h), m_format(f), m_texels(size_t(w) * h * (TexelBytes(f) / 4), 0) {}
    uint32_t Width() const override { return m_w; }
    uint32_t Height() const override { return m_h; }
    Format GetFormat() const override { return m_format; }
    Result LockRect(LockedRect* out, const Rect* rect, uint32_t flags) override;
    Result UnlockRect() override;
    const uint32_t* Texels() const { return m_texels.data(); }
    uint32_t* Texels() { return m_texels.data(); }

  private:
    uint32_t m_w, m_h;
    Format m_format;
    std::vector<uint32_t> m_texels;
    bool m_locked = false;
};

// A depth-stencil surface of its own (CreateDepthStencilSurface): a GL
// renderbuffer in the default pool.
class GlDepthSurface final : public Surface, public GlTracked {
  public:
    GlDepthSurface(GlDraw* owner, uint32_t w, uint32_t h, Format f);
    ~GlDepthSurface() override;
    void Orphan() override;
    uint32_t Width() const override { return m_w; }
    uint32_t Height() const override { return m_h; }
    Format GetFormat() const override { return m_format; }
    GLuint Renderbuffer() const { return m_renderbuffer; }

  private:
    uint32_t m_w, m_h;
    Format m_format;
    GLuint m_renderbuffer = 0;
};

class GlDraw {
  public:
    explicit GlDraw(GlDevice& device) : m_device(device) { ResetStates(); }
    ~GlDraw();
    GlDraw(const GlDraw&) = delete;
    GlDraw& operator=(const GlDraw&) = delete;

    // Stage and sampler states back to Direct3D's defaults, no texture and no
    // stream bound (device creation and reset).
    void ResetStates();

    Result CreateTexture(uint32_t width, uint32_t height, uint32_t levels, uint32_t usage, Format format,
                         gfx::Pool pool, Texture** out);
    Result CreateCubeTexture(uint32_t edge, uint32_t levels, uint32_t usage, Format format, gfx::Pool pool,
                             CubeTexture** out);
    Result CreateVertexBuffer(uint32_t length, uint32_t usage, uint32_t fvf, gfx::Pool pool,
                              VertexBuffer** out);
    Result CreateIndexBuffer(uint32_t length, uint32_t usage, Format format, gfx::Pool pool,
                             IndexBuffer** out);
    Result CreateOffscreenPlainSurface(uint32_t width, uint32_t height, Format format, gfx::Pool pool,
                                       Surface** out);
    Result CreateDepthStencilSurface(uint32_t width, uint32_t height, Format format, uint32_t samples,
                                     Surface** out);
    Result UpdateSurface(Surface* source, const Rect* sourceRect, Surface* dest, const Point* destPoint);
    Result SetTexture(uint32_t stage, BaseTexture* texture);
    Result SetTextureStageState(uint32_t stage, TextureStageState state, uint32_t value);
    Result GetTextureStageState(uint32_t stage, TextureStageState state, uint32_t* value) const;
    Result SetSamplerState(uint32_t sampler, SamplerState state, uint32_t value);
    Result GetSamplerState(uint32_t sampler, SamplerState state, uint32_t* value) const;
    Result SetFVF(uint32_t fvf);
    uint32_t GetFVF() const { return m_fvf; }
    Result SetStreamSource(uint32_t stream, VertexBuffer* buffer, uint32_t offset, uint32_t stride);
    Result DrawPrimitive(PrimitiveType type, uint32_t startVertex, uint32_t primitiveCount);
    Result SetIndices(IndexBuffer* buffer);
    Result DrawIndexedPrimitive(PrimitiveType type, int32_t baseVertex, uint32_t minVertex,
                                uint32_t numVertices, uint32_t startIndex, uint32_t primitiveCount);
    Result DrawPrimitiveUP(PrimitiveType type, uint32_t primitiveCount, const void* vertices,
                           uint32_t stride);

    // Binds the textures set on units 0..count-1 (at most SamplerCount) with
    // their sampler states, for the program about to draw: the built-in one
    // or an effect's. Each unit keeps its own sampler object bound.
    void BindTextureUnits(uint32_t count);

    // The bindings the layer last sent to GL, so that draws send only what
    // differs. Nothing is assumed of GL's state until first sent, and a
    // deleted name is forgotten, as GL may hand it out again for another
    // object. Every binding of programs, textures, array buffers and the
    // draws' vertex array goes through these (the gamma pass alone puts
    // back what it changed itself).
    void UseProgram(GLuint program);
    void BindArrayBuffer(GLuint buffer);
    // Binds a texture on unit 0 for an upload or a read-back.
    void BindForUpdate(GLenum target, GLuint name);
    void ForgetTexture(GLuint name);
    void ForgetBuffer(GLuint name);
    void ForgetProgram(GLuint name);
    // The largest anisotropy the driver filters with (1: none).
    float MaxAnisotropy();
    // Compressed textures go to GL as they are (S3TC offered and not
    // switched off by ForceCpuDecode).
    bool CompressedUpload();
    void ForceCpuDecode(bool on) { m_forceCpuDecode = on; }

    // Used by the resources.
    const Functions* Gl();
    void Track(GlTracked* r);
    void Untrack(GlTracked* r);
    void AddDefaultPool();
    void RemoveDefaultPool();
    // A GL buffer and memory copy of exactly `length` bytes, reused when one
    // was freed before; Recycle gives them back.
    void TakeBuffer(uint32_t length, GLuint* name, std::vector<uint8_t>* data);
    void RecycleBuffer(uint32_t length, GLuint name, std::vector<uint8_t>&& data);

  private:
    bool EnsureProgram();
    bool EnsureSamplers();
    void ApplySampler(uint32_t unit);
    // Where an indexed draw takes its indices (null for DrawArrays).
    struct Indexed {
        GLuint buffer;
        GLenum type;
        uintptr_t byteOffset;
        GLint baseVertex;
    };
    Result Draw(PrimitiveType type, uint32_t primitiveCount, GLuint buffer, uint32_t offset, uint32_t stride,
                const Indexed* indexed);
    // A draw with the device's effect program (GlProgramDraw.cpp): every
    // stage bound, the alpha test passed as uniforms.
    Result DrawProgram(const class GlProgram& program, PrimitiveType type, uint32_t primitiveCount,
                       GLuint buffer, uint32_t offset, uint32_t stride, const Indexed* indexed);
    // Points the vertex inputs at the buffer by the usage table, from the FVF
    // when one is set, else from the vertex declaration (GlProgramDraw.cpp).
    // Inputs without data read (0, 0, 0, 1), the diffuse colour white when
    // whiteDiffuse. False when neither describes the vertices.
    bool BindVertexInputs(GLuint buffer, uint32_t offset, uint32_t stride, bool whiteDiffuse,
                          bool* preTransformed);
    // The GL draw call itself, arrays or elements.
    void Submit(PrimitiveType type, uint32_t primitiveCount, const Indexed* indexed);
    void SetUniforms(bool preTransformed);
    void ActiveUnit(uint32_t unit);
    void BindUnit(uint32_t unit, GLenum target, GLuint name);

    GlDevice& m_device;
    Functions m_gl;
    bool m_loaded = false;
    bool m_failed = false;
    GLuint m_program = 0, m_vao = 0, m_streamBuffer = 0, m_blitFbo = 0, m_blitTexture = 0;
    GLuint m_samplers[SamplerCount] = {};
    float m_maxAnisotropy = 0; // 0 until asked
    uint32_t m_streamBufferSize = 0;
    struct Uniforms {
        GLint preTransformed, viewport, worldViewProj, stageTex, colorOp, colorArg1, colorArg2, alphaOp,
            alphaArg1, alphaArg2, texIndex, hasTexture, tfactor, alphaTest, alphaFunc, alphaRef;
    } m_u = {};

    uint32_t m_stage[TextureStageCount][TextureStageStateCount] = {};
    uint32_t m_sampler[SamplerCount][SamplerStateCount] = {};
    bool m_samplerDirty[SamplerCount] = {};
    struct Unit {
        BaseTexture* texture = nullptr; // holds a reference
        GlTextureStore* store = nullptr;
    };
    Unit m_units[SamplerCount];

    // What GL holds, as last sent (kUnknown: not sent yet).
    static constexpr GLuint kUnknown = ~GLuint(0);
    struct Attrib {
        bool known = false, enabled = false;
        GLint size = 0;
        GLenum type = 0;
        GLboolean normalized = GL_FALSE;
        GLsizei stride = 0;
        uintptr_t pointer = 0;
        GLuint buffer = 0;
        bool valueKnown = false;
        float value[4] = {};
    };
    struct SamplerParams {
        GLint wrapS = -1, wrapT = -1, mag = -1, min = -1;
        float lodBias = -1e30f, anisotropy = -1;
    };
    // The fixed-function program's uniforms, as last uploaded.
    struct FixedUniforms {
        GLint preTransformed;
        GLint stages[8][4]; // colour op and args, alpha op and args, index, texture: per stage
        float tfactor[4];
        GLint alphaTest, alphaFunc;
        float alphaRef;
        float viewport[4];
        float worldViewProj[16];
    };
    struct Bound {
        GLuint program = kUnknown, vao = kUnknown, arrayBuffer = kUnknown, elementBuffer = kUnknown;
        uint32_t activeUnit = kUnknown;
        GLuint texture2d[SamplerCount], cube[SamplerCount], sampler[SamplerCount];
        Attrib attribs[16]; // kAttribCount
        SamplerParams samplerParams[SamplerCount];
        bool fixedKnown = false;
        FixedUniforms fixed;
        Bound() {
            for (uint32_t i = 0; i < SamplerCount; ++i)
                texture2d[i] = cube[i] = sampler[i] = kUnknown;
        }
    } m_bound;
    int m_s3tc = -1; // -1 until asked
    bool m_forceCpuDecode = false;
    uint32_t m_fvf = 0;
    GlVertexBuffer* m_stream = nullptr;
    GlIndexBuffer* m_indices = nullptr;
    uint32_t m_streamOffset = 0, m_streamStride = 0;

    GlTracked* m_tracked = nullptr;
    struct FreeBuffer {
        uint32_t length;
        GLuint name;
        std::vector<uint8_t> data;
    };
    std::vector<FreeBuffer> m_freeBuffers;
};

} // namespace gfx::gl
