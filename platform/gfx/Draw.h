// Drawing services of the graphics device: textures, vertex buffers,
// system-memory surfaces, and the fixed-function pipeline that the engine
// uses outside effects (pre-transformed screen quads and lines, texture
// stage colour and alpha operations, alpha test, blending).
//
// Conventions kept from Direct3D 9, with its numeric values so that code and
// data written against them read the same:
// - Flexible vertex formats (Fvf): position (XYZ, or XYZRHW in screen
//   pixels), optional normal, diffuse and specular colours (packed ARGB) and
//   up to four 2D texture coordinates, in that order in memory.
// - Pre-transformed vertices address pixel centres at whole numbers (a quad
//   from 10.0 to 20.0 covers pixels 10..19 when shifted by -0.5, as on
//   Direct3D 9); the layer adds the half pixel that OpenGL's centres need.
// - A stage without a texture reads as opaque white, so "texture x diffuse"
//   draws the diffuse colour.
// - Texture rows are top-down; texels are packed ARGB in locked memory.
//
// Pools: Managed and Default resources live on the GPU with a CPU copy that
// Lock reads and writes; Default ones must be released before a reset.
// SystemMem surfaces live in memory only (Lock, UpdateSurface to the back
// buffer).
#pragma once

#include <cstdint>

#include "platform/gfx/Device.h"
#include "platform/gfx/Types.h"

namespace gfx {

enum class Pool : uint32_t { Default = 0, Managed = 1, SystemMem = 2, Scratch = 3 };

namespace usage {
constexpr uint32_t WriteOnly = 0x8;
constexpr uint32_t Dynamic = 0x200;
} // namespace usage

namespace lock {
constexpr uint32_t ReadOnly = 0x10;
constexpr uint32_t NoOverwrite = 0x1000;
constexpr uint32_t Discard = 0x2000;
} // namespace lock

namespace fvf {
constexpr uint32_t Xyz = 0x002;
constexpr uint32_t XyzRhw = 0x004;
constexpr uint32_t PositionMask = 0x00E;
constexpr uint32_t Normal = 0x010;
constexpr uint32_t Diffuse = 0x040;
constexpr uint32_t Specular = 0x080;
constexpr uint32_t TexCountMask = 0xF00;
constexpr uint32_t TexCountShift = 8;
constexpr uint32_t Tex1 = 0x100;
constexpr uint32_t Tex2 = 0x200;
constexpr uint32_t MaxTexCoords = 4;

// Byte layout of a vertex format; offsets are -1 for absent parts. Valid is
// false for formats the layer does not draw (no position, or more than four
// texture coordinates).
struct Layout {
    bool valid = false;
    bool preTransformed = false;
    int32_t position = -1, normal = -1, diffuse = -1, specular = -1;
    int32_t texCoord[MaxTexCoords] = {-1, -1, -1, -1};
    uint32_t texCount = 0;
    uint32_t stride = 0;
};
Layout LayoutOf(uint32_t format);
} // namespace fvf

enum class PrimitiveType : uint32_t {
    PointList = 1,
    LineList = 2,
    LineStrip = 3,
    TriangleList = 4,
    TriangleStrip = 5,
    TriangleFan = 6
};
// Vertices used by `count` primitives of a type.
uint32_t VertexCount(PrimitiveType type, uint32_t count);

// Texture stage states (per stage; 8 stages: the fixed-function programs
// evaluate at most these, while textures may be set on all SamplerCount).
enum class TextureStageState : uint32_t {
    ColorOp,
    ColorArg1,
    ColorArg2,
    AlphaOp,
    AlphaArg1,
    AlphaArg2,
    TexCoordIndex,
    Count
};
constexpr uint32_t TextureStageCount = 8;
constexpr uint32_t TextureStageStateCount = static_cast<uint32_t>(TextureStageState::Count);

enum class TextureOp : uint32_t {
    Disable = 1,
    SelectArg1 = 2,
    SelectArg2 = 3,
    Modulate = 4,
    Modulate2x = 5,
    Modulate4x = 6,
    Add = 7,
    AddSigned = 8,
    AddSigned2x = 9,
    Subtract = 10,
    AddSmooth = 11,
    BlendDiffuseAlpha = 12,
    BlendTextureAlpha = 13,
    BlendFactorAlpha = 14,
    BlendCurrentAlpha = 16,
};

namespace texarg {
constexpr uint32_t Diffuse = 0;
constexpr uint32_t Current = 1;
constexpr uint32_t Texture = 2;
constexpr uint32_t TFactor = 3;
constexpr uint32_t Specular = 4;
constexpr uint32_t SelectMask = 0xF;
constexpr uint32_t Complement = 0x10;
constexpr uint32_t AlphaReplicate = 0x20;
} // namespace texarg

// Sampler states (per sampler; 16 samplers, sampler n reads the texture set
// on stage n). The fixed-function stages above use the first of them; the
// effects read all 16. MipMapLodBias holds a float by its bits (FloatState);
// MaxAnisotropy counts while MinFilter is Anisotropic and the driver filters
// anisotropically (Caps::MaxAnisotropy above 1), else linear filtering stands in.
enum class SamplerState : uint32_t {
    AddressU,
    AddressV,
    MagFilter,
    MinFilter,
    MipFilter,
    MipMapLodBias,
    MaxAnisotropy,
    Count
};
constexpr uint32_t SamplerCount = 16;
constexpr uint32_t SamplerStateCount = static_cast<uint32_t>(SamplerState::Count);

enum class TextureFilter : uint32_t { None = 0, Point = 1, Linear = 2, Anisotropic = 3 };
enum class TextureAddress : uint32_t { Wrap = 1, Mirror = 2, Clamp = 3, Border = 4 };

// Direct3D's default of each stage and sampler state.
uint32_t DefaultStageState(uint32_t stage, TextureStageState s);
uint32_t DefaultSamplerState(SamplerState s);

struct LockedRect {
    int32_t Pitch = 0; // bytes from one row to the next
    void* pBits = nullptr;
};

struct Point {
    int32_t x = 0, y = 0;
};

// What SetTexture takes: a 2D texture or a cube texture, each with its mip
// levels (level 0 largest) in one format. Locked memory holds the format's
// own bytes: packed ARGB texels, or for a compressed format rows of 4 x 4
// blocks (a compressed level is locked whole, never a sub-rectangle).
class BaseTexture : public Resource {
  public:
    virtual ResourceType GetType() const = 0;
    virtual uint32_t LevelCount() const = 0;
    virtual Format GetFormat() const = 0;
    virtual gfx::Pool GetPool() const = 0;
    // Reads one level of one face (0 for a 2D texture) back from the GPU as
    // packed ARGB, rows top-down, tightly packed: compressed levels arrive
    // decoded by the driver.
    virtual Result ReadBack(uint32_t face, uint32_t level, uint32_t* pixels) = 0;
};

// A 2D texture.
class Texture : public BaseTexture {
  public:
    ResourceType GetType() const override { return ResourceType::Texture; }
    virtual uint32_t Width(uint32_t level = 0) const = 0;
    virtual uint32_t Height(uint32_t level = 0) const = 0;
    // The level's texels (a sub-rectangle when given); the GPU copy is
    // updated at UnlockRect unless the lock was read-only.
    virtual Result LockRect(uint32_t level, LockedRect* out, const Rect* rect, uint32_t flags) = 0;
    virtual Result UnlockRect(uint32_t level) = 0;
    // A surface of one level (with a reference for the caller); locking it
    // locks the level.
    virtual Result GetSurfaceLevel(uint32_t level, Surface** out) = 0;
};

// The faces of a cube texture, in the order of a DDS file and of Direct3D
// (GL numbers its faces the same way).
enum class CubeFace : uint32_t { PositiveX = 0, NegativeX, PositiveY, NegativeY, PositiveZ, NegativeZ };
constexpr uint32_t CubeFaceCount = 6;

// A cube texture: six square faces with their levels. A render-target cube
// (CreateCubeTexture with usage RenderTarget in the default pool: R32F or a
// colour format) is drawn into face by face through GetCubeMapSurface and
// read back with GetRenderTargetData; its levels cannot be locked.
class CubeTexture : public BaseTexture {
  public:
    ResourceType GetType() const override { return ResourceType::CubeTexture; }
    virtual uint32_t Size(uint32_t level = 0) const = 0;
    virtual Result LockRect(CubeFace face, uint32_t level, LockedRect* out, const Rect* rect, uint32_t flags) = 0;
    virtual Result UnlockRect(CubeFace face, uint32_t level) = 0;
    // A surface of one level of one face (with a reference for the caller):
    // what SetRenderTarget takes for a render-target cube.
    virtual Result GetCubeMapSurface(CubeFace face, uint32_t level, Surface** out) = 0;
};

// Bytes of one texel of an uncompressed format (8 for A16B16G16R16F, else 4).
uint32_t TexelBytes(Format f);
// Bytes from one row of a level to the next (a row of blocks when compressed)
// and the bytes of the whole level.
uint32_t LevelPitch(Format f, uint32_t width);
uint64_t LevelBytes(Format f, uint32_t width, uint32_t height);

// Vertices in GPU memory, with the format given at creation (0 when the
// buffer is used with a vertex declaration).
class VertexBuffer : public Resource {
  public:
    virtual uint32_t Length() const = 0;
    virtual uint32_t Fvf() const = 0;
    // size 0 locks from offset to the end.
    virtual Result Lock(uint32_t offset, uint32_t size, void** data, uint32_t flags) = 0;
    virtual Result Unlock() = 0;
};

// Vertex indices in GPU memory (Index16 or Index32), with a CPU copy that
// Lock reads and writes.
class IndexBuffer : public Resource {
  public:
    virtual uint32_t Length() const = 0;
    virtual Format GetFormat() const = 0;
    // size 0 locks from offset to the end.
    virtual Result Lock(uint32_t offset, uint32_t size, void** data, uint32_t flags) = 0;
    virtual Result Unlock() = 0;
};

} // namespace gfx
