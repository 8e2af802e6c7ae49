// An effect in front of a real one that records every value set on it (by
// parameter name, in order) and forwards every call, so that a pass test
// sees which uploads a pass made.
#pragma once

#include <string>
#include <vector>

#include "platform/effect/Effect.h"

class CountingEffect final : public effect::Effect {
  public:
    // Takes over the caller's reference to the real effect.
    explicit CountingEffect(effect::Effect* real) : m_real(real) {}

    struct Upload {
        std::string name;
        std::vector<float> values; // bools as 0 and 1
    };
    std::vector<Upload> uploads;
    std::vector<std::string> techniques; // every technique set, by name

    // The uploads of one parameter, in order.
    std::vector<std::vector<float>> Of(const std::string& name) const {
        std::vector<std::vector<float>> out;
        for (const Upload& u : uploads)
            if (u.name == name) out.push_back(u.values);
        return out;
    }

    using Handle = effect::Handle;
    using Result = gfx::Result;
    Result GetDesc(effect::EffectDesc* d) override { return m_real->GetDesc(d); }
    Handle GetTechnique(uint32_t i) override { return m_real->GetTechnique(i); }
    Handle GetTechniqueByName(const char* n) override { return m_real->GetTechniqueByName(n); }
    Result GetTechniqueDesc(Handle t, effect::TechniqueDesc* d) override {
        return m_real->GetTechniqueDesc(t, d);
    }
    Result FindNextValidTechnique(Handle f, Handle* n) override {
        return m_real->FindNextValidTechnique(f, n);
    }
    Result ValidateTechnique(Handle t) override { return m_real->ValidateTechnique(t); }
    Result SetTechnique(Handle t) override {
        effect::TechniqueDesc d;
        techniques.push_back(m_real->GetTechniqueDesc(t, &d) == gfx::Result::Ok && d.Name ? d.Name : "?");
        return m_real->SetTechnique(t);
    }
    Handle GetCurrentTechnique() override { return m_real->GetCurrentTechnique(); }
    Handle GetParameter(Handle p, uint32_t i) override { return m_real->GetParameter(p, i); }
    Handle GetParameterByName(Handle p, const char* n) override { return m_real->GetParameterByName(p, n); }
    Handle GetParameterElement(Handle p, uint32_t i) override { return m_real->GetParameterElement(p, i); }
    Result GetParameterDesc(Handle p, effect::ParameterDesc* d) override {
        return m_real->GetParameterDesc(p, d);
    }
    Handle GetAnnotation(Handle p, uint32_t i) override { return m_real->GetAnnotation(p, i); }
    Handle GetAnnotationByName(Handle p, const char* n) override { return m_real->GetAnnotationByName(p, n); }
    Result SetValue(Handle h, const void* d, uint32_t b) override { return m_real->SetValue(h, d, b); }
    Result GetValue(Handle h, void* d, uint32_t b) override { return m_real->GetValue(h, d, b); }
    Result SetBool(Handle h, bool v) override {
        Record(h, {v ? 1.0f : 0.0f});
        return m_real->SetBool(h, v);
    }
    Result GetBool(Handle h, bool* v) override { return m_real->GetBool(h, v); }
    Result SetBoolArray(Handle h, const bool* v, uint32_t n) override {
        std::vector<float> values;
        for (uint32_t i = 0; i < n; ++i)
            values.push_back(v[i] ? 1.0f : 0.0f);
        Record(h, values);
        return m_real->SetBoolArray(h, v, n);
    }
    Result GetBoolArray(Handle h, bool* v, uint32_t n) override { return m_real->GetBoolArray(h, v, n); }
    Result SetInt(Handle h, int32_t v) override { return m_real->SetInt(h, v); }
    Result GetInt(Handle h, int32_t* v) override { return m_real->GetInt(h, v); }
    Result SetIntArray(Handle h, const int32_t* v, uint32_t n) override {
        return m_real->SetIntArray(h, v, n);
    }
    Result GetIntArray(Handle h, int32_t* v, uint32_t n) override { return m_real->GetIntArray(h, v, n); }
    Result SetFloat(Handle h, float v) override {
        Record(h, {v});
        return m_real->SetFloat(h, v);
    }
    Result GetFloat(Handle h, float* v) override { return m_real->GetFloat(h, v); }
    Result SetFloatArray(Handle h, const float* v, uint32_t n) override {
        return m_real->SetFloatArray(h, v, n);
    }
    Result GetFloatArray(Handle h, float* v, uint32_t n) override { return m_real->GetFloatArray(h, v, n); }
    Result SetVector(Handle h, const math::Vec4& v) override {
        Record(h, {v.x, v.y, v.z, v.w});
        return m_real->SetVector(h, v);
    }
    Result GetVector(Handle h, math::Vec4* v) override { return m_real->GetVector(h, v); }
    Result SetVectorArray(Handle h, const math::Vec4* v, uint32_t n) override {
        std::vector<float> values;
        for (uint32_t i = 0; i < n; ++i)
            values.insert(values.end(), {v[i].x, v[i].y, v[i].z, v[i].w});
        Record(h, values);
        return m_real->SetVectorArray(h, v, n);
    }
    Result GetVectorArray(Handle h, math::Vec4* v, uint32_t n) override {
        return m_real->GetVectorArray(h, v, n);
    }
    Result SetMatrix(Handle h, const math::Matrix& m) override { return m_real->SetMatrix(h, m); }
    Result GetMatrix(Handle h, math::Matrix* m) override { return m_real->GetMatrix(h, m); }
    Result SetMatrixArray(Handle h, const math::Matrix* m, uint32_t n) override {
        return m_real->SetMatrixArray(h, m, n);
    }
    Result GetMatrixArray(Handle h, math::Matrix* m, uint32_t n) override {
        return m_real->GetMatrixArray(h, m, n);
    }
    Result GetString(Handle h, const char** t) override { return m_real->GetString(h, t); }
    Result SetTexture(Handle h, gfx::BaseTexture* t) override { return m_real->SetTexture(h, t); }
    Result GetTexture(Handle h, gfx::BaseTexture** t) override { return m_real->GetTexture(h, t); }
    Result Begin(uint32_t* p, uint32_t f) override { return m_real->Begin(p, f); }
    Result BeginPass(uint32_t p) override { return m_real->BeginPass(p); }
    Result CommitChanges() override { return m_real->CommitChanges(); }
    Result EndPass() override { return m_real->EndPass(); }
    Result End() override { return m_real->End(); }
    Result OnLostDevice() override { return m_real->OnLostDevice(); }
    Result OnResetDevice() override { return m_real->OnResetDevice(); }
    gfx::Device* GetDevice() override { return m_real->GetDevice(); }

  protected:
    ~CountingEffect() override { m_real->Release(); }

  private:
    void Record(Handle h, std::vector<float> values) {
        effect::ParameterDesc d;
        const bool named = m_real->GetParameterDesc(h, &d) == gfx::Result::Ok && d.Name;
        uploads.push_back({named ? d.Name : "?", std::move(values)});
    }

    effect::Effect* m_real;
};
