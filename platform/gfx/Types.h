// Value types of the graphics service: results, formats, present parameters,
// render states and their values, viewports, capabilities.
//
// The engine above this layer keeps Direct3D conventions: packed ARGB colours
// (blue in the low byte), depth 0..1, top-down rows in every read-back, the
// render states and their default values as Direct3D 9 defines them. Numeric
// values of the enums are the layer's own unless a file format pins them.
#pragma once

#include <cstdint>
#include <cstring>

namespace window {
class Window;
}

namespace gfx {

// Results of device calls. The engine logs some of them by name.
enum class Result : int32_t {
    Ok = 0,
    DeviceLost,
    DeviceNotReset,
    InvalidCall,
    NotAvailable,
    OutOfVideoMemory,
    OutOfMemory,
    DeviceRemoved,
    DriverInternalError,
    InvalidData, // a file the effect reader or compiler refused
};
inline bool Failed(Result r) {
    return r != Result::Ok;
}
const char* ResultName(Result r);
// The low 16 bits of Direct3D's code for a result, which logs print as a
// number (InvalidCall 2156, InvalidData 2905).
uint32_t ResultLowWord(Result r);

enum class Format : uint32_t {
    Unknown = 0,
    X8R8G8B8,
    A8R8G8B8,
    D16,
    D15S1,
    D24X8,
    D24S8,
    D24X4S4,
    D32,
    // Block-compressed texture formats (4 x 4 texels a block): 8 bytes a
    // block for Dxt1, 16 for Dxt3 and Dxt5.
    Dxt1,
    Dxt3,
    Dxt5,
    // Index buffer formats: 16- and 32-bit vertex indices.
    Index16,
    Index32,
    // One 32-bit float channel (red), for render-target textures and the
    // system-memory surfaces their read-backs go to.
    R32F,
    // Four 16-bit half floats, red, green, blue and alpha in memory order (8
    // bytes a texel): render-target textures and the system-memory surfaces
    // their read-backs go to.
    A16B16G16R16F,
    // Two 16-bit half floats, red and green: render-target textures only
    // (sampled, blue and alpha read 1).
    G16R16F,
};
inline bool IsCompressed(Format f) {
    return f == Format::Dxt1 || f == Format::Dxt3 || f == Format::Dxt5;
}
// Depth and stencil bits of a depth-stencil format (0 for colour formats).
int DepthBits(Format f);
int StencilBits(Format f);
inline bool HasStencil(Format f) {
    return StencilBits(f) > 0;
}

enum class DeviceType : uint32_t { Hal = 1, Ref = 2 };
enum class ResourceType : uint32_t { Surface = 1, Texture = 3, CubeTexture = 5 };

namespace usage {
constexpr uint32_t RenderTarget = 0x1;
constexpr uint32_t DepthStencil = 0x2;
} // namespace usage

namespace create {
constexpr uint32_t SoftwareVertexProcessing = 0x20;
constexpr uint32_t HardwareVertexProcessing = 0x40;
} // namespace create

enum class SwapEffect : uint32_t { Discard = 1, Flip = 2, Copy = 3 };
enum class MultiSample : uint32_t { None = 0 }; // other values are the sample count
constexpr uint32_t PresentIntervalDefault = 0;
constexpr uint32_t PresentIntervalOne = 1;
constexpr uint32_t PresentIntervalImmediate = 0x80000000u;

struct PresentParameters {
    uint32_t BackBufferWidth = 0;
    uint32_t BackBufferHeight = 0;
    Format BackBufferFormat = Format::Unknown;
    uint32_t BackBufferCount = 0;
    uint32_t MultiSampleType = 0; // 0 none, else the sample count
    uint32_t MultiSampleQuality = 0;
    gfx::SwapEffect SwapEffect = gfx::SwapEffect::Discard;
    window::Window* DeviceWindow = nullptr;
    bool Windowed = false;
    bool EnableAutoDepthStencil = false;
    Format AutoDepthStencilFormat = Format::Unknown;
    uint32_t Flags = 0;
    uint32_t FullScreenRefreshRate = 0;
    uint32_t PresentationInterval = PresentIntervalDefault;
};

struct DisplayMode {
    uint32_t Width = 0;
    uint32_t Height = 0;
    uint32_t RefreshRate = 0;
    gfx::Format Format = gfx::Format::Unknown;
};

struct AdapterIdentifier {
    char Driver[512] = {};
    char Description[512] = {};
    uint32_t VendorId = 0;
    uint32_t DeviceId = 0;
};

// Shader versions are encoded as Direct3D does: 0xFFFF0000 | major << 8 | minor
// for pixel shaders, 0xFFFE0000 | major << 8 | minor for vertex shaders.
constexpr uint32_t PixelShaderVersion(uint32_t major, uint32_t minor) {
    return 0xFFFF0000u | (major << 8) | minor;
}
constexpr uint32_t VertexShaderVersion(uint32_t major, uint32_t minor) {
    return 0xFFFE0000u | (major << 8) | minor;
}
inline uint32_t ShaderMajor(uint32_t version) {
    return (version >> 8) & 0xFF;
}

struct Caps {
    uint32_t PixelShaderVersion = 0;
    uint32_t VertexShaderVersion = 0;
    uint32_t MaxTextureWidth = 0;
    uint32_t MaxTextureHeight = 0;
    uint32_t MaxSimultaneousTextures = 0;
    uint32_t NumSimultaneousRTs = 0;
    uint32_t MaxMultiSamples = 0;
    uint32_t MaxAnisotropy = 1; // 1 when the driver has no anisotropic filtering
};

struct Viewport {
    uint32_t X = 0, Y = 0; // from the top-left corner
    uint32_t Width = 0, Height = 0;
    float MinZ = 0.0f, MaxZ = 1.0f;
};

struct Rect {
    int32_t left = 0, top = 0, right = 0, bottom = 0;
};

namespace clear {
constexpr uint32_t Target = 0x1;
constexpr uint32_t ZBuffer = 0x2;
constexpr uint32_t Stencil = 0x4;
} // namespace clear

// Render states of the shadow state. Each holds a 32-bit value; floats are
// stored by their bits (FloatState / StateFloat).
enum class RenderState : uint32_t {
    ZEnable,
    ZWriteEnable,
    ZFunc,
    FillMode,
    ShadeMode,
    CullMode,
    AlphaTestEnable,
    AlphaRef,
    AlphaFunc,
    AlphaBlendEnable,
    SrcBlend,
    DestBlend,
    BlendOp,
    SeparateAlphaBlendEnable,
    SrcBlendAlpha,
    DestBlendAlpha,
    BlendOpAlpha,
    DitherEnable,
    FogEnable,
    FogColor,
    FogTableMode,
    FogVertexMode,
    FogStart,
    FogEnd,
    FogDensity,
    RangeFogEnable,
    Lighting,
    Ambient,
    SpecularEnable,
    NormalizeNormals,
    Clipping,
    StencilEnable,
    StencilFunc,
    StencilRef,
    StencilMask,
    StencilWriteMask,
    StencilFail,
    StencilZFail,
    StencilPass,
    TwoSidedStencilMode,
    CcwStencilFail,
    CcwStencilZFail,
    CcwStencilPass,
    CcwStencilFunc,
    ColorWriteEnable,
    ScissorTestEnable,
    DepthBias,
    SlopeScaleDepthBias,
    TextureFactor,
    MultisampleAntialias, // on: a multisampled target is drawn with all its samples
    Count
};
constexpr uint32_t RenderStateCount = static_cast<uint32_t>(RenderState::Count);

enum class FillMode : uint32_t { Point = 1, Wireframe = 2, Solid = 3 };
enum class ShadeMode : uint32_t { Flat = 1, Gouraud = 2 };
// Which winding is culled: Ccw culls counter-clockwise faces (the back faces
// with clockwise front faces).
enum class Cull : uint32_t { None = 1, Cw = 2, Ccw = 3 };
enum class Cmp : uint32_t { Never = 1, Less, Equal, LessEqual, Greater, NotEqual, GreaterEqual, Always };
enum class Blend : uint32_t {
    Zero = 1,
    One,
    SrcColor,
    InvSrcColor,
    SrcAlpha,
    InvSrcAlpha,
    DestAlpha,
    InvDestAlpha,
    DestColor,
    InvDestColor,
    SrcAlphaSat,
    BlendFactor = 14,
    InvBlendFactor = 15,
};
enum class BlendOp : uint32_t { Add = 1, Subtract, RevSubtract, Min, Max };
enum class FogMode : uint32_t { None = 0, Exp, Exp2, Linear };
enum class StencilOp : uint32_t { Keep = 1, Zero, Replace, IncrSat, DecrSat, Invert, Incr, Decr };

inline uint32_t FloatState(float f) {
    uint32_t u;
    std::memcpy(&u, &f, 4);
    return u;
}
inline float StateFloat(uint32_t u) {
    float f;
    std::memcpy(&f, &u, 4);
    return f;
}
template <typename E> constexpr uint32_t StateValue(E e) {
    return static_cast<uint32_t>(e);
}

// Transforms kept by the device (SetTransform).
enum class TransformState : uint32_t { World = 0, View, Projection };
constexpr uint32_t TransformStateCount = 3;

// A gamma ramp: 256 entries per channel, 0..65535 (SetGammaRamp).
struct GammaRamp {
    uint16_t red[256];
    uint16_t green[256];
    uint16_t blue[256];

    // The straight ramp, entry i = i * 257.
    static GammaRamp Identity() {
        GammaRamp r{};
        for (uint32_t i = 0; i < 256; ++i)
            r.red[i] = r.green[i] = r.blue[i] = uint16_t(i * 257);
        return r;
    }
    bool operator==(const GammaRamp& o) const { return std::memcmp(this, &o, sizeof *this) == 0; }
};
namespace gamma {
constexpr uint32_t Calibrate = 1; // the ramp is calibrated for the display
} // namespace gamma

} // namespace gfx
