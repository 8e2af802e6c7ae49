// The OpenGL effect: each vertex and fragment stage of the file is compiled
// once when the effect is made, each pass links its two into a program when
// its technique is first needed; parameter values live in
// one byte array with HLSL's sizes, and each pass program keeps a dirty bit
// per parameter, so BeginPass and CommitChanges upload only what changed
// since that program last received it.

#include <algorithm>
#include <bit>
#include <cstring>
#include <string>
#include <type_traits>
#include <vector>

#include "platform/effect/Effect.h"
#include "platform/effect/EffectFile.h"
#include "platform/gfx/Draw.h"
#include "platform/gfx/gl/GlAttributes.h"
#include "platform/gfx/gl/GlDevice.h"
#include "platform/gfx/gl/GlProgram.h"

namespace effect {
namespace {

using gfx::Result;
using gfx::gl::Functions;
using gfx::gl::GlProgram;

// Handles: the kind in the top 4 bits; a parameter's index in the low 16 and
// an element (plus one) or annotation index in bits 16-27.
enum Kind : uint32_t { kParameter = 1, kTechnique = 2, kAnnotation = 3 };
constexpr Handle MakeHandle(Kind k, uint32_t index, uint32_t sub = 0) {
    return Handle((uint32_t(k) << 28) | (sub << 16) | (index + 1));
}
constexpr Kind KindOf(Handle h) {
    return Kind(h.Value() >> 28);
}
constexpr uint32_t IndexOf(Handle h) {
    return (h.Value() & 0xFFFF) - 1;
}
constexpr uint32_t SubOf(Handle h) {
    return (h.Value() >> 16) & 0xFFF;
}

struct Param {
    ParameterDecl decl;
    uint32_t offset = 0; // into the value bytes
    uint32_t bytes = 0;  // all elements
    gfx::BaseTexture* texture = nullptr;
};

struct Pass {
    std::string name;
    size_t vertex = 0, fragment = 0; // the compiled stages it links
    GlProgram* program = nullptr;    // null until linked, or when the link failed
    std::vector<RenderStateDecl> states;
    std::vector<GLint> locations; // per parameter, -1 when the program lacks it
    std::vector<uint64_t> dirty;  // per parameter
};

struct Technique {
    std::string name;
    std::vector<Pass> passes;
    bool linked = false; // its passes' programs are made when first needed
    bool valid = true;
    std::vector<gfx::RenderState> touched; // every state a pass sets, once
    std::vector<uint32_t> saved;           // their values at Begin
};

// Where a handle's values are: the parameter and a run of its elements.
struct Span {
    Param* param = nullptr;
    uint32_t first = 0, count = 0; // elements (1 for a parameter that is no array)
};

GLuint CompileStage(const Functions& gl, GLenum type, const std::string& source, std::string* log) {
    const GLuint s = gl.CreateShader(type);
    const char* text = source.c_str();
    gl.ShaderSource(s, 1, &text, nullptr);
    gl.CompileShader(s);
    GLint ok = 0;
    gl.GetShaderiv(s, GL_COMPILE_STATUS, &ok);
    if (ok) return s;
    GLint length = 0;
    gl.GetShaderiv(s, GL_INFO_LOG_LENGTH, &length);
    std::string text2(size_t(std::max(length, 1)), '\0');
    gl.GetShaderInfoLog(s, GLsizei(text2.size()), nullptr, text2.data());
    *log = text2.c_str();
    gl.DeleteShader(s);
    return 0;
}

class GlEffect final : public Effect {
  public:
    GlEffect(gfx::gl::GlDevice* device, const Functions& gl) : m_device(device), m_gl(gl) {
        m_device->AddRef();
    }

    // Builds everything from the declarations; false with the message.
    bool Build(EffectDecl&& decl, std::string_view fileName, std::string* error);

    gfx::Result GetDesc(EffectDesc* desc) override {
        if (!desc) return Result::InvalidCall;
        desc->Parameters = uint32_t(m_params.size());
        desc->Techniques = uint32_t(m_techniques.size());
        return Result::Ok;
    }

    Handle GetTechnique(uint32_t index) override {
        return index < m_techniques.size() ? MakeHandle(kTechnique, index) : Handle();
    }
    Handle GetTechniqueByName(const char* name) override {
        if (!name) return {};
        for (uint32_t i = 0; i < m_techniques.size(); ++i) {
            if (m_techniques[i].name == name) return MakeHandle(kTechnique, i);
        }
        return {};
    }
    gfx::Result GetTechniqueDesc(Handle h, TechniqueDesc* desc) override {
        const Technique* t = TechniqueOf(h);
        if (!t || !desc) return Result::InvalidCall;
        desc->Name = t->name.c_str();
        desc->Passes = uint32_t(t->passes.size());
        return Result::Ok;
    }
    gfx::Result FindNextValidTechnique(Handle from, Handle* next) override {
        if (!next) return Result::InvalidCall;
        *next = {};
        uint32_t start = 0;
        if (from) {
            if (!TechniqueOf(from)) return Result::InvalidCall;
            start = IndexOf(from) + 1;
        }
        if (m_techniques.empty()) return Result::Ok;
        for (uint32_t i = start; i < m_techniques.size(); ++i) {
            if (Link(m_techniques[i])) {
                *next = MakeHandle(kTechnique, i);
                return Result::Ok;
            }
        }
        return Result::InvalidCall;
    }
    gfx::Result ValidateTechnique(Handle h) override {
        Technique* t = TechniqueOf(h);
        return t && Link(*t) ? Result::Ok : Result::InvalidCall;
    }
    gfx::Result SetTechnique(Handle h) override {
        if (!TechniqueOf(h) || m_begun) return Result::InvalidCall;
        m_current = IndexOf(h);
        return Result::Ok;
    }
    Handle GetCurrentTechnique() override {
        return m_current < m_techniques.size() ? MakeHandle(kTechnique, m_current) : Handle();
    }

    Handle GetParameter(Handle parent, uint32_t index) override {
        if (!parent) return index < m_params.size() ? MakeHandle(kParameter, index) : Handle();
        return GetParameterElement(parent, index);
    }
    Handle GetParameterByName(Handle parent, const char* name) override {
        if (parent || !name) return {};
        for (uint32_t i = 0; i < m_params.size(); ++i) {
            if (m_params[i].decl.name == name) return MakeHandle(kParameter, i);
        }
        return {};
    }
    Handle GetParameterElement(Handle parent, uint32_t index) override {
        const Param* p = ParamOf(parent);
        if (!p || SubOf(parent) != 0 || index >= p->decl.elements) return {};
        return MakeHandle(kParameter, IndexOf(parent), index + 1);
    }
    gfx::Result GetParameterDesc(Handle h, ParameterDesc* desc) override {
        Span s;
        if (!desc || !SpanOf(h, &s)) return Result::InvalidCall;
        const ParameterDecl& d = s.param->decl;
        desc->Name = d.name.c_str();
        desc->Semantic = d.semantic.empty() ? nullptr : d.semantic.c_str();
        desc->Class = ParameterClass(d.type->cls);
        desc->Type = ParameterType(d.type->type);
        desc->Rows = d.type->rows;
        desc->Columns = d.type->columns;
        desc->Elements = SubOf(h) ? 0 : d.elements;
        desc->Annotations = SubOf(h) ? 0 : uint32_t(d.annotations.size());
        desc->Bytes = s.count * d.type->bytes;
        return Result::Ok;
    }
    Handle GetAnnotation(Handle h, uint32_t index) override {
        const Param* p = ParamOf(h);
        if (!p || SubOf(h) || index >= p->decl.annotations.size()) return {};
        return MakeHandle(kAnnotation, IndexOf(h), index);
    }
    Handle GetAnnotationByName(Handle h, const char* name) override {
        const Param* p = ParamOf(h);
        if (!p || SubOf(h) || !name) return {};
        for (uint32_t i = 0; i < p->decl.annotations.size(); ++i) {
            if (p->decl.annotations[i].name == name) return MakeHandle(kAnnotation, IndexOf(h), i);
        }
        return {};
    }

    gfx::Result SetValue(Handle h, const void* data, uint32_t bytes) override {
        Span s;
        if (!data || !SpanOf(h, &s) || s.param->decl.type->type == ParamType::Texture)
            return Result::InvalidCall;
        const uint32_t size = std::min(bytes, s.count * s.param->decl.type->bytes);
        if (std::memcmp(Bytes(s), data, size) == 0) return Result::Ok;
        std::memcpy(Bytes(s), data, size);
        MarkDirty(*s.param);
        return Result::Ok;
    }
    gfx::Result GetValue(Handle h, void* data, uint32_t bytes) override {
        Span s;
        if (!data || !SpanOf(h, &s) || s.param->decl.type->type == ParamType::Texture)
            return Result::InvalidCall;
        std::memcpy(data, Bytes(s), std::min(bytes, s.count * s.param->decl.type->bytes));
        return Result::Ok;
    }

    gfx::Result SetBool(Handle h, bool v) override { return WriteScalars(h, &v, 1); }
    gfx::Result GetBool(Handle h, bool* v) override { return ReadScalars(h, v, 1); }
    gfx::Result SetBoolArray(Handle h, const bool* v, uint32_t n) override { return WriteScalars(h, v, n); }
    gfx::Result GetBoolArray(Handle h, bool* v, uint32_t n) override { return ReadScalars(h, v, n); }
    gfx::Result SetInt(Handle h, int32_t v) override { return WriteScalars(h, &v, 1); }
    gfx::Result GetInt(Handle h, int32_t* v) override { return ReadScalars(h, v, 1); }
    gfx::Result SetIntArray(Handle h, const int32_t* v, uint32_t n) override { return WriteScalars(h, v, n); }
    gfx::Result GetIntArray(Handle h, int32_t* v, uint32_t n) override { return ReadScalars(h, v, n); }
    gfx::Result SetFloat(Handle h, float v) override { return WriteScalars(h, &v, 1); }
    gfx::Result GetFloat(Handle h, float* v) override { return ReadScalars(h, v, 1); }
    gfx::Result SetFloatArray(Handle h, const float* v, uint32_t n) override { return WriteScalars(h, v, n); }
    gfx::Result GetFloatArray(Handle h, float* v, uint32_t n) override { return ReadScalars(h, v, n); }
    gfx::Result SetVector(Handle h, const math::Vec4& v) override { return SetVectorArray(h, &v, 1); }
    gfx::Result GetVector(Handle h, math::Vec4* v) override { return GetVectorArray(h, v, 1); }
    gfx::Result SetVectorArray(Handle h, const math::Vec4* v, uint32_t n) override {
        return Elements<true>(h, const_cast<math::Vec4*>(v), n);
    }
    gfx::Result GetVectorArray(Handle h, math::Vec4* v, uint32_t n) override {
        return Elements<false>(h, v, n);
    }
    gfx::Result SetMatrix(Handle h, const math::Matrix& m) override { return SetMatrixArray(h, &m, 1); }
    gfx::Result GetMatrix(Handle h, math::Matrix* m) override { return GetMatrixArray(h, m, 1); }
    gfx::Result SetMatrixArray(Handle h, const math::Matrix* m, uint32_t n) override {
        return Elements<true>(h, const_cast<math::Matrix*>(m), n);
    }
    gfx::Result GetMatrixArray(Handle h, math::Matrix* m, uint32_t n) override {
        return Elements<false>(h, m, n);
    }

    gfx::Result GetString(Handle h, const char** text) override {
        if (!text || KindOf(h) != kAnnotation || IndexOf(h) >= m_params.size()) return Result::InvalidCall;
        const Param& p = m_params[IndexOf(h)];
        if (SubOf(h) >= p.decl.annotations.size()) return Result::InvalidCall;
        const AnnotationDecl& a = p.decl.annotations[SubOf(h)];
        if (a.type != ParamType::String) return Result::InvalidCall;
        *text = a.text.c_str();
        return Result::Ok;
    }
    gfx::Result SetTexture(Handle h, gfx::BaseTexture* texture) override {
        Param* p = ParamOf(h);
        if (!p || p->decl.type->type != ParamType::Texture) return Result::InvalidCall;
        if (texture) texture->AddRef();
        if (p->texture) p->texture->Release();
        p->texture = texture;
        return Result::Ok;
    }
    gfx::Result GetTexture(Handle h, gfx::BaseTexture** texture) override {
        Param* p = ParamOf(h);
        if (!p || !texture || p->decl.type->type != ParamType::Texture) return Result::InvalidCall;
        *texture = p->texture;
        if (p->texture) p->texture->AddRef();
        return Result::Ok;
    }

    gfx::Result Begin(uint32_t* passes, uint32_t flags) override {
        if (m_begun || m_current >= m_techniques.size() || !Link(m_techniques[m_current]))
            return Result::InvalidCall;
        Technique& t = m_techniques[m_current];
        for (size_t i = 0; i < t.touched.size(); ++i)
            m_device->GetRenderState(t.touched[i], &t.saved[i]);
        m_savedProgram = m_device->GetProgram();
        if (m_savedProgram) m_savedProgram->AddRef();
        m_begun = true;
        if (passes) *passes = uint32_t(t.passes.size());
        return Result::Ok;
    }

    gfx::Result BeginPass(uint32_t index) override {
        if (!m_begun || m_pass >= 0 || index >= m_techniques[m_current].passes.size())
            return Result::InvalidCall;
        Pass& p = m_techniques[m_current].passes[index];
        m_device->SetProgram(p.program);
        for (const RenderStateDecl& s : p.states)
            m_device->SetRenderState(s.state, s.value);
        for (const SamplerDecl& s : m_samplers) {
            for (const SamplerStateDecl& st : s.states)
                m_device->SetSamplerState(s.stage, st.state, st.value);
        }
        m_pass = int(index);
        return Commit(p);
    }

    gfx::Result CommitChanges() override {
        if (m_pass < 0) return Result::InvalidCall;
        return Commit(m_techniques[m_current].passes[size_t(m_pass)]);
    }

    gfx::Result EndPass() override {
        if (m_pass < 0) return Result::InvalidCall;
        m_pass = -1;
        return Result::Ok;
    }

    gfx::Result End() override {
        if (!m_begun) return Result::InvalidCall;
        m_pass = -1;
        const Technique& t = m_techniques[m_current];
        for (size_t i = 0; i < t.touched.size(); ++i)
            m_device->SetRenderState(t.touched[i], t.saved[i]);
        m_device->SetProgram(m_savedProgram);
        if (m_savedProgram) m_savedProgram->Release();
        m_savedProgram = nullptr;
        m_begun = false;
        return Result::Ok;
    }

    gfx::Result OnLostDevice() override { return Result::Ok; }
    gfx::Result OnResetDevice() override { return Result::Ok; }
    gfx::Device* GetDevice() override { return m_device; }

  protected:
    ~GlEffect() override {
        if (m_savedProgram) m_savedProgram->Release();
        for (Param& p : m_params) {
            if (p.texture) p.texture->Release();
        }
        for (Technique& t : m_techniques) {
            for (Pass& p : t.passes) {
                if (p.program) p.program->Release();
            }
        }
        FreeStages();
        m_device->Release();
    }

  private:
    Technique* TechniqueOf(Handle h) {
        return KindOf(h) == kTechnique && IndexOf(h) < m_techniques.size() ? &m_techniques[IndexOf(h)]
                                                                           : nullptr;
    }
    Param* ParamOf(Handle h) {
        return KindOf(h) == kParameter && IndexOf(h) < m_params.size() ? &m_params[IndexOf(h)] : nullptr;
    }
    bool SpanOf(Handle h, Span* s) {
        Param* p = ParamOf(h);
        if (!p) return false;
        const uint32_t sub = SubOf(h);
        if (sub > p->decl.elements) return false;
        s->param = p;
        s->first = sub ? sub - 1 : 0;
        s->count = sub ? 1 : std::max(1u, p->decl.elements);
        return true;
    }
    uint8_t* Bytes(const Span& s) {
        return m_values.data() + s.param->offset + s.first * s.param->decl.type->bytes;
    }

    void MarkDirty(const Param& p) {
        const size_t i = size_t(&p - m_params.data());
        for (Pass* pass : m_passes)
            pass->dirty[i >> 6] |= uint64_t(1) << (i & 63);
    }

    // Scalars of a run, converted between the caller's type and the
    // parameter's; at most what the run holds.
    template <typename T> gfx::Result WriteScalars(Handle h, const T* v, uint32_t n) {
        Span s;
        if (!v || !SpanOf(h, &s) || s.param->decl.type->bytes == 0) return Result::InvalidCall;
        const TypeInfo& type = *s.param->decl.type;
        uint8_t* out = Bytes(s);
        n = std::min(n, s.count * type.rows * type.columns);
        bool changed = false;
        if (std::is_same_v<T, float> && type.type == ParamType::Float) {
            changed = std::memcmp(out, v, 4 * n) != 0;
            std::memcpy(out, v, 4 * n);
        } else {
            for (uint32_t i = 0; i < n; ++i)
                changed |= StoreScalar(type.type, out + 4 * i, float(v[i]), int32_t(v[i]));
        }
        if (changed) MarkDirty(*s.param);
        return Result::Ok;
    }
    template <typename T> gfx::Result ReadScalars(Handle h, T* v, uint32_t n) {
        Span s;
        if (!v || !SpanOf(h, &s) || s.param->decl.type->bytes == 0) return Result::InvalidCall;
        const TypeInfo& type = *s.param->decl.type;
        const uint8_t* in = Bytes(s);
        n = std::min(n, s.count * type.rows * type.columns);
        for (uint32_t i = 0; i < n; ++i)
            v[i] = LoadScalar<T>(type.type, in + 4 * i);
        return Result::Ok;
    }

    // True when the stored value changed.
    static bool StoreScalar(ParamType type, uint8_t* out, float f, int32_t i) {
        const int32_t v = type == ParamType::Bool ? int32_t(f != 0.0f) : i;
        const void* in = type == ParamType::Float ? static_cast<const void*>(&f) : &v;
        if (std::memcmp(out, in, 4) == 0) return false;
        std::memcpy(out, in, 4);
        return true;
    }
    template <typename T> static T LoadScalar(ParamType type, const uint8_t* in) {
        if (type == ParamType::Float) {
            float f;
            std::memcpy(&f, in, 4);
            return T(f);
        }
        int32_t v;
        std::memcpy(&v, in, 4);
        return T(v);
    }

    // Vectors (Vec4) or matrices (Matrix) element by element: each fills the
    // first rows and columns that the parameter's element holds.
    template <bool Write, typename V> gfx::Result Elements(Handle h, V* v, uint32_t n) {
        Span s;
        if (!v || !SpanOf(h, &s) || s.param->decl.type->bytes == 0) return Result::InvalidCall;
        const TypeInfo& type = *s.param->decl.type;
        constexpr bool isMatrix = std::is_same_v<V, math::Matrix>;
        if (isMatrix != (type.cls == ParamClass::MatrixRows)) return Result::InvalidCall;
        n = std::min(n, s.count);
        uint8_t* base = Bytes(s);
        if (type.type == ParamType::Float && type.columns == 4) {
            // float4 and float4x4: the caller's elements are the stored bytes.
            static_assert(sizeof(math::Vec4) == 16 && sizeof(math::Matrix) == 64);
            if constexpr (Write) {
                if (std::memcmp(base, v, n * type.bytes) == 0) return Result::Ok;
                std::memcpy(base, v, n * type.bytes);
                MarkDirty(*s.param);
            } else {
                std::memcpy(v, base, n * type.bytes);
            }
            return Result::Ok;
        }
        bool changed = false;
        for (uint32_t e = 0; e < n; ++e) {
            float* f = reinterpret_cast<float*>(&v[e]);
            uint8_t* out = base + e * type.bytes;
            const uint32_t rows = type.rows, cols = isMatrix ? type.columns : std::min(4u, type.columns);
            if constexpr (!Write && isMatrix) v[e] = math::Matrix{{{0}}};
            if (type.type == ParamType::Float) {
                // Rows are whole runs of floats on both sides.
                for (uint32_t r = 0; r < rows; ++r) {
                    if constexpr (Write) {
                        uint8_t* row = out + 4 * r * type.columns;
                        changed |= std::memcmp(row, f + 4 * r, 4 * cols) != 0;
                        std::memcpy(row, f + 4 * r, 4 * cols);
                    } else {
                        std::memcpy(f + 4 * r, out + 4 * r * type.columns, 4 * cols);
                    }
                }
                continue;
            }
            for (uint32_t r = 0; r < rows; ++r) {
                for (uint32_t c = 0; c < cols; ++c) {
                    uint8_t* at = out + 4 * (r * type.columns + c);
                    float& value = f[r * 4 + c];
                    if constexpr (Write) {
                        changed |= StoreScalar(type.type, at, value, int32_t(value));
                    } else {
                        value = LoadScalar<float>(type.type, at);
                    }
                }
            }
        }
        if (changed) MarkDirty(*s.param);
        return Result::Ok;
    }

    gfx::Result Commit(Pass& p) {
        if (p.program) m_device->DrawServices().UseProgram(p.program->Name());
        for (size_t w = 0; w < p.dirty.size(); ++w) {
            while (p.dirty[w]) {
                const size_t i = w * 64 + size_t(std::countr_zero(p.dirty[w]));
                p.dirty[w] &= p.dirty[w] - 1;
                if (p.locations[i] >= 0) Upload(m_params[i], p.locations[i]);
            }
        }
        for (const SamplerDecl& s : m_samplers) {
            if (s.texture.empty()) continue;
            m_device->SetTexture(s.stage, m_params[m_samplerParams[size_t(&s - m_samplers.data())]].texture);
        }
        return Result::Ok;
    }

    void Upload(const Param& p, GLint location) {
        const GLsizei count = GLsizei(std::max(1u, p.decl.elements));
        const uint8_t* data = m_values.data() + p.offset;
        const auto* f = reinterpret_cast<const GLfloat*>(data);
        const TypeInfo& type = *p.decl.type;
        if (type.type != ParamType::Float) {
            m_gl.Uniform1iv(location, count, reinterpret_cast<const GLint*>(data));
        } else if (type.cls == ParamClass::MatrixRows) {
            if (type.columns == 4) {
                m_gl.UniformMatrix4fv(location, count, GL_FALSE, f);
            } else {
                // Rows of three read row by row: v * m is Direct3D's product.
                m_gl.UniformMatrix3x4fv(location, count, GL_TRUE, f);
            }
        } else if (type.columns == 1) {
            m_gl.Uniform1fv(location, count, f);
        } else if (type.columns == 2) {
            m_gl.Uniform2fv(location, count, f);
        } else if (type.columns == 3) {
            m_gl.Uniform3fv(location, count, f);
        } else {
            m_gl.Uniform4fv(location, count, f);
        }
    }

    // Links the technique's passes once; whether it is valid.
    bool Link(Technique& t);
    void FreeStages();

    std::string Declarations(const EffectDecl& d, bool vertexStage) const;
    std::string Source(const EffectDecl& d, const CodeDecl& stage, bool vertexStage) const;

    gfx::gl::GlDevice* m_device;
    const Functions& m_gl; // the device's, which the effect keeps alive
    std::vector<Param> m_params;
    std::vector<SamplerDecl> m_samplers;
    std::vector<uint32_t> m_samplerParams; // the texture parameter of each sampler
    std::vector<Technique> m_techniques;
    std::vector<Pass*> m_passes;
    std::vector<GLuint> m_vertexStages, m_fragmentStages; // compiled, until every technique is linked
    size_t m_unlinked = 0;
    std::vector<uint8_t> m_values;
    uint32_t m_current = 0;
    bool m_begun = false;
    int m_pass = -1;
    gfx::Program* m_savedProgram = nullptr;
};

// Uniforms and samplers of every stage; inputs of the vertex stage.
std::string GlEffect::Declarations(const EffectDecl& d, bool vertexStage) const {
    std::string s = "#version 330 core\n";
    if (vertexStage) {
        for (const InputDecl& in : d.inputs) {
            const int location = gfx::gl::AttributeLocation(in.usage, in.usageIndex);
            s += "layout(location = " + std::to_string(location) + ") in " + in.type->glsl + " " + in.name +
                 ";\n";
        }
    } else {
        s += "out vec4 ztFragOut;\nvec4 FragColor = vec4(0.0, 0.0, 0.0, 1.0);\n";
        s += std::string("uniform int ") + gfx::gl::kAlphaTestUniform + ";\nuniform int " +
             gfx::gl::kAlphaFuncUniform + ";\nuniform float " + gfx::gl::kAlphaRefUniform + ";\n";
    }
    for (const ParameterDecl& p : d.parameters) {
        if (!p.type->glsl) continue;
        s += std::string("uniform ") + p.type->glsl + " " + p.name;
        if (p.elements) s += "[" + std::to_string(p.elements) + "]";
        s += ";\n";
    }
    for (const SamplerDecl& sm : d.samplers)
        s += std::string(sm.cube ? "uniform samplerCube " : "uniform sampler2D ") + sm.name + ";\n";
    return s;
}

// The files of an effect's code as the compiler numbers them: 0 is the
// effect file, 1.. its included files in the order they first come.
std::vector<std::string> SourceNames(const EffectDecl& d, const std::string& file) {
    std::vector<std::string> names{file};
    for (const CodeDecl& c : d.common) {
        if (c.source != file && std::find(names.begin(), names.end(), c.source) == names.end())
            names.push_back(c.source);
    }
    return names;
}

// The compiler's log with each "N:LINE" at the start of a line naming its
// file instead ("fx\\lighting.glsl:LINE").
std::string NameSources(const std::string& log, const std::vector<std::string>& names) {
    std::string out;
    size_t pos = 0;
    while (pos < log.size()) {
        size_t end = log.find('\n', pos);
        end = end == std::string::npos ? log.size() : end + 1;
        const std::string_view row(log.data() + pos, end - pos);
        size_t digits = 0;
        while (digits < row.size() && row[digits] >= '0' && row[digits] <= '9')
            ++digits;
        size_t index = names.size();
        if (digits > 0 && digits < 6 && digits < row.size() && row[digits] == ':')
            index = size_t(std::stoul(std::string(row.substr(0, digits))));
        if (index < names.size()) {
            out += names[index];
            out.append(row.substr(digits));
        } else {
            out.append(row);
        }
        pos = end;
    }
    return out;
}

// The stage's whole source. #line keeps the files' line numbers in the
// compiler's log, numbered as SourceNames gives them.
std::string GlEffect::Source(const EffectDecl& d, const CodeDecl& stage, bool vertexStage) const {
    std::string s = Declarations(d, vertexStage);
    const std::vector<std::string> names = SourceNames(d, stage.source);
    for (const CodeDecl& c : d.common) {
        const size_t number = size_t(std::find(names.begin(), names.end(), c.source) - names.begin());
        s += "#line " + std::to_string(c.line) + " " + std::to_string(number) + "\n";
        s += c.code + "\n";
    }
    s += "#line " + std::to_string(stage.line) + " 0\n";
    if (vertexStage) return s + stage.code + "\n";
    s += "#define main ztEffectMain\n" + stage.code + "\n#undef main\n";
    s += gfx::gl::AlphaTestGlsl;
    s += std::string("void main() {\n    ztEffectMain();\n    if (") + gfx::gl::kAlphaTestUniform +
         " != 0 && !ztAlphaPasses(" + gfx::gl::kAlphaFuncUniform + ", floor(FragColor.a * 255.0 + 0.5), " +
         gfx::gl::kAlphaRefUniform + ")) discard;\n    ztFragOut = FragColor;\n}\n";
    return s;
}

bool GlEffect::Build(EffectDecl&& decl, std::string_view fileName, std::string* error) {
    const std::string file(fileName);
    // Values with their initial contents.
    uint32_t size = 0;
    for (const ParameterDecl& d : decl.parameters) {
        Param p;
        p.decl = d;
        p.offset = size;
        p.bytes = std::max(1u, d.elements) * d.type->bytes;
        size += p.bytes;
        m_params.push_back(std::move(p));
    }
    m_values.assign(size, 0);
    for (const Param& p : m_params) {
        for (size_t i = 0; i < p.decl.initial.size(); ++i) {
            const float f = p.decl.initial[i];
            StoreScalar(p.decl.type->type, m_values.data() + p.offset + 4 * i, f, int32_t(f));
        }
    }
    m_samplers = decl.samplers;
    for (const SamplerDecl& s : m_samplers) {
        uint32_t index = 0;
        for (uint32_t i = 0; i < m_params.size(); ++i) {
            if (m_params[i].decl.name == s.texture) index = i;
        }
        m_samplerParams.push_back(index);
    }

    // Stages: each compiled once.
    std::vector<GLuint> vertex(decl.vertex.size()), fragment(decl.fragment.size());
    auto freeStages = [&] {
        for (GLuint s : vertex)
            if (s) m_gl.DeleteShader(s);
        for (GLuint s : fragment)
            if (s) m_gl.DeleteShader(s);
    };
    for (int kind = 0; kind < 2; ++kind) {
        const bool isVertex = kind == 0;
        const std::vector<CodeDecl>& stages = isVertex ? decl.vertex : decl.fragment;
        std::vector<GLuint>& out = isVertex ? vertex : fragment;
        for (size_t i = 0; i < stages.size(); ++i) {
            std::string log;
            out[i] = CompileStage(m_gl, isVertex ? GL_VERTEX_SHADER : GL_FRAGMENT_SHADER,
                                  Source(decl, stages[i], isVertex), &log);
            if (!out[i]) {
                *error = file + ":" + std::to_string(stages[i].line) + ": " +
                         (isVertex ? "vertex" : "fragment") + " stage '" + stages[i].name +
                         "' does not compile:\n" + NameSources(log, SourceNames(decl, file));
                freeStages();
                return false;
            }
        }
    }
    auto find = [](const std::vector<CodeDecl>& list, const std::string& name) {
        size_t i = 0;
        while (list[i].name != name)
            ++i;
        return i;
    };

    // Passes: one program each, linked when the technique is first begun,
    // validated or looked for (most techniques of an effect serve options a
    // frame may never ask for); a link failure makes the technique invalid.
    const size_t words = (m_params.size() + 63) / 64;
    for (const TechniqueDecl& td : decl.techniques) {
        Technique t;
        t.name = td.name;
        for (const PassDecl& pd : td.passes) {
            Pass p;
            p.name = pd.name;
            p.states = pd.states;
            p.vertex = find(decl.vertex, pd.vertex);
            p.fragment = find(decl.fragment, pd.fragment);
            p.locations.assign(m_params.size(), -1);
            p.dirty.assign(words, ~uint64_t(0));
            if (m_params.size() % 64) p.dirty.back() = (uint64_t(1) << (m_params.size() % 64)) - 1;
            for (const RenderStateDecl& s : pd.states) {
                if (std::find(t.touched.begin(), t.touched.end(), s.state) == t.touched.end())
                    t.touched.push_back(s.state);
            }
            t.passes.push_back(std::move(p));
        }
        t.saved.resize(t.touched.size());
        m_techniques.push_back(std::move(t));
    }
    // The stages wait for the techniques' links.
    m_vertexStages = std::move(vertex);
    m_fragmentStages = std::move(fragment);
    m_unlinked = m_techniques.size();
    for (Technique& t : m_techniques) {
        for (Pass& p : t.passes)
            m_passes.push_back(&p);
    }
    return true;
}

bool GlEffect::Link(Technique& t) {
    if (t.linked) return t.valid;
    m_device->MakeCurrent();
    for (Pass& p : t.passes) {
        const GLuint program = m_gl.CreateProgram();
        m_gl.AttachShader(program, m_vertexStages[p.vertex]);
        m_gl.AttachShader(program, m_fragmentStages[p.fragment]);
        m_gl.LinkProgram(program);
        GLint ok = 0;
        m_gl.GetProgramiv(program, GL_LINK_STATUS, &ok);
        if (!ok) {
            m_gl.DeleteProgram(program);
            t.valid = false;
            continue;
        }
        p.program = new GlProgram(&m_device->DrawServices(), program);
        m_device->DrawServices().UseProgram(program);
        for (const SamplerDecl& s : m_samplers)
            m_gl.Uniform1i(m_gl.GetUniformLocation(program, s.name.c_str()), GLint(s.stage));
        for (size_t i = 0; i < m_params.size(); ++i) {
            const Param& prm = m_params[i];
            p.locations[i] =
                prm.decl.type->glsl ? m_gl.GetUniformLocation(program, prm.decl.name.c_str()) : -1;
        }
    }
    t.linked = true;
    if (--m_unlinked == 0) FreeStages();
    return t.valid;
}

void GlEffect::FreeStages() {
    if (m_vertexStages.empty() && m_fragmentStages.empty()) return;
    m_device->MakeCurrent();
    for (GLuint s : m_vertexStages)
        if (s) m_gl.DeleteShader(s);
    for (GLuint s : m_fragmentStages)
        if (s) m_gl.DeleteShader(s);
    m_vertexStages.clear();
    m_fragmentStages.clear();
}

} // namespace

gfx::Result CreateEffect(gfx::Device* device, std::string_view text, std::string_view fileName,
                         uint32_t flags, Effect** effect, std::string* errors) {
    if (!effect) return Result::InvalidCall;
    *effect = nullptr;
    auto* gl = dynamic_cast<gfx::gl::GlDevice*>(device);
    if (!gl) return Result::InvalidCall;
    EffectDecl decl;
    std::string error;
    const std::string fileText(fileName);
    // Includes are read from the effect's own folder.
    const size_t slash = fileText.find_last_of("\\/");
    const std::string folder = slash == std::string::npos ? std::string() : fileText.substr(0, slash + 1);
    const IncludeReader include = [&](std::string_view name, std::string* out) {
        return ReadEffectText(folder + std::string(name), out);
    };
    if (!ReadEffect(text, fileName, include, &decl, &error)) {
        if (errors) *errors = error;
        return Result::InvalidData;
    }
    gl->MakeCurrent();
    auto* e = new GlEffect(gl, gl->Gl());
    if (!e->Build(std::move(decl), fileName, &error)) {
        e->Release();
        if (errors) *errors = error;
        return Result::InvalidData;
    }
    *effect = e;
    return Result::Ok;
}

} // namespace effect
