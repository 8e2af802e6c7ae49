// Named effects: techniques of passes with render states and GLSL programs,
// and parameters set by name or handle (what D3DX's effects gave the
// engine). An effect is read from an effect file (EffectFile.h, FORMAT.md);
// the engine names it the Windows way, "fx\NAME.fxc", which resolves to
// fx/NAME.glfx beside it.
//
// Values: every parameter keeps its value on the effect (HLSL's sizes:
// float3 is 12 bytes, float4x3 48) across passes, techniques and frames.
// Values reach the GPU at BeginPass and CommitChanges, which also put the
// texture parameters onto the stages of their samplers.
//
// Handles: a parameter, annotation or technique handle is only meaningful
// for the effect that gave it. A null handle or an unknown name gives
// InvalidCall and changes nothing.
//
// Lifetime: an effect holds a reference to its device, so it is released
// before the device (the effect manager's Destroy at engine release).
//
// Begin and End: the technique is chosen before Begin (SetTechnique refuses
// while begun). Begin records the device's program and the value of every
// render state that the technique's passes set; BeginPass applies the pass
// (program, render states, sampler states, textures, values); End puts the
// program and those states back. States the caller sets between Begin and
// End that no pass names stay as the caller left them.
//
// Failures: a file that cannot be read, parsed or compiled fails the
// creation with InvalidData and a message naming the file and line (the
// compiler's log for GLSL errors). A technique whose program does not link
// is kept but invalid: FindNextValidTechnique passes over it and Begin
// refuses it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/gfx/Device.h"
#include "platform/math/Types.h"

namespace gfx {
class Texture;
}

namespace effect {

// A parameter, annotation, technique or pass of one effect; null is 0.
class Handle {
  public:
    constexpr Handle() = default;
    constexpr explicit Handle(uint32_t v) : m_v(v) {}
    constexpr explicit operator bool() const { return m_v != 0; }
    constexpr bool operator==(const Handle&) const = default;
    constexpr uint32_t Value() const { return m_v; }

  private:
    uint32_t m_v = 0;
};

enum class ParameterClass : uint8_t { Scalar, Vector, MatrixRows, Object };
enum class ParameterType : uint8_t { Bool, Int, Float, Texture, String };

struct ParameterDesc {
    const char* Name = nullptr;
    const char* Semantic = nullptr; // null when none
    ParameterClass Class = ParameterClass::Scalar;
    ParameterType Type = ParameterType::Float;
    uint32_t Rows = 0, Columns = 0;
    uint32_t Elements = 0; // 0 when not an array
    uint32_t Annotations = 0;
    uint32_t Bytes = 0; // of the whole parameter
};

struct TechniqueDesc {
    const char* Name = nullptr;
    uint32_t Passes = 0;
};

struct EffectDesc {
    uint32_t Parameters = 0;
    uint32_t Techniques = 0;
};

// Creation flags of the Windows effect compiler; accepted and kept, they
// change nothing here.
namespace create {
constexpr uint32_t NotCloneable = 0x800;
constexpr uint32_t OptimizationLevel0 = 0x4000;
constexpr uint32_t OptimizationLevel3 = 0x8000;
} // namespace create

class Effect : public gfx::Resource {
  public:
    virtual gfx::Result GetDesc(EffectDesc* desc) = 0;

    // ---- Techniques --------------------------------------------------------
    virtual Handle GetTechnique(uint32_t index) = 0;
    virtual Handle GetTechniqueByName(const char* name) = 0;
    virtual gfx::Result GetTechniqueDesc(Handle technique, TechniqueDesc* desc) = 0;
    // The first valid technique after `from` (from the start when null).
    // Ok with a null result when the effect has no technique at all;
    // InvalidCall when it has some and none after `from` is valid.
    virtual gfx::Result FindNextValidTechnique(Handle from, Handle* next) = 0;
    virtual gfx::Result ValidateTechnique(Handle technique) = 0;
    virtual gfx::Result SetTechnique(Handle technique) = 0;
    virtual Handle GetCurrentTechnique() = 0;

    // ---- Parameters --------------------------------------------------------
    // Parameters of the effect (parent null) or elements of an array.
    virtual Handle GetParameter(Handle parent, uint32_t index) = 0;
    virtual Handle GetParameterByName(Handle parent, const char* name) = 0;
    virtual Handle GetParameterElement(Handle parent, uint32_t index) = 0;
    virtual gfx::Result GetParameterDesc(Handle parameter, ParameterDesc* desc) = 0;
    virtual Handle GetAnnotation(Handle parameter, uint32_t index) = 0;
    virtual Handle GetAnnotationByName(Handle parameter, const char* name) = 0;

    // Raw bytes: at most the parameter's size is copied.
    virtual gfx::Result SetValue(Handle h, const void* data, uint32_t bytes) = 0;
    virtual gfx::Result GetValue(Handle h, void* data, uint32_t bytes) = 0;
    virtual gfx::Result SetBool(Handle h, bool v) = 0;
    virtual gfx::Result GetBool(Handle h, bool* v) = 0;
    virtual gfx::Result SetBoolArray(Handle h, const bool* v, uint32_t count) = 0;
    virtual gfx::Result GetBoolArray(Handle h, bool* v, uint32_t count) = 0;
    virtual gfx::Result SetInt(Handle h, int32_t v) = 0;
    virtual gfx::Result GetInt(Handle h, int32_t* v) = 0;
    virtual gfx::Result SetIntArray(Handle h, const int32_t* v, uint32_t count) = 0;
    virtual gfx::Result GetIntArray(Handle h, int32_t* v, uint32_t count) = 0;
    virtual gfx::Result SetFloat(Handle h, float v) = 0;
    virtual gfx::Result GetFloat(Handle h, float* v) = 0;
    virtual gfx::Result SetFloatArray(Handle h, const float* v, uint32_t count) = 0;
    virtual gfx::Result GetFloatArray(Handle h, float* v, uint32_t count) = 0;
    virtual gfx::Result SetVector(Handle h, const math::Vec4& v) = 0;
    virtual gfx::Result GetVector(Handle h, math::Vec4* v) = 0;
    virtual gfx::Result SetVectorArray(Handle h, const math::Vec4* v, uint32_t count) = 0;
    virtual gfx::Result GetVectorArray(Handle h, math::Vec4* v, uint32_t count) = 0;
    virtual gfx::Result SetMatrix(Handle h, const math::Matrix& m) = 0;
    virtual gfx::Result GetMatrix(Handle h, math::Matrix* m) = 0;
    virtual gfx::Result SetMatrixArray(Handle h, const math::Matrix* m, uint32_t count) = 0;
    virtual gfx::Result GetMatrixArray(Handle h, math::Matrix* m, uint32_t count) = 0;
    // String annotations.
    virtual gfx::Result GetString(Handle h, const char** text) = 0;
    // The texture is referenced while set.
    virtual gfx::Result SetTexture(Handle h, gfx::BaseTexture* texture) = 0;
    virtual gfx::Result GetTexture(Handle h, gfx::BaseTexture** texture) = 0;

    // ---- Drawing -----------------------------------------------------------
    virtual gfx::Result Begin(uint32_t* passes, uint32_t flags) = 0;
    virtual gfx::Result BeginPass(uint32_t pass) = 0;
    virtual gfx::Result CommitChanges() = 0;
    virtual gfx::Result EndPass() = 0;
    virtual gfx::Result End() = 0;

    // Device loss and reset: nothing here depends on the default pool.
    virtual gfx::Result OnLostDevice() = 0;
    virtual gfx::Result OnResetDevice() = 0;

    // The device the effect draws with.
    virtual gfx::Device* GetDevice() = 0;
};

// Creates an effect from "fx\NAME.fxc" (read as fx/NAME.glfx) or a .glfx
// path. InvalidData with the message in `errors` when the file cannot be
// read, parsed or compiled; InvalidCall for a null argument or a device that
// cannot run effects.
gfx::Result CreateEffectFromFile(gfx::Device* device, const char* path, uint32_t flags, Effect** effect,
                                 std::string* errors);
// The same from text in memory; `fileName` names it in messages and
// includes are read beside it.
gfx::Result CreateEffect(gfx::Device* device, std::string_view text, std::string_view fileName, uint32_t flags,
                         Effect** effect, std::string* errors);

// The file an effect name resolves to: "fx\a.fxc" gives "fx\a.glfx".
std::string EffectFilePath(std::string_view path);

} // namespace effect
