// A device in front of the real headless one that counts the calls a
// render-state cache test cares about and forwards every call.
#pragma once

#include <functional>
#include <vector>

#include "platform/gfx/Device.h"
#include "platform/gfx/Draw.h"

class CountingDevice final : public gfx::Device {
  public:
    explicit CountingDevice(gfx::Device* real) : m_real(real) {}

    struct StateCall {
        gfx::RenderState state;
        uint32_t value;
    };
    std::vector<StateCall> states; // every SetRenderState, in order
    uint32_t samplerCalls = 0;     // SetSamplerState
    uint32_t textureCalls = 0;     // SetTexture
    uint32_t programCalls = 0, fvfCalls = 0;
    std::vector<uint32_t> drawCulls;            // the cull mode at each indexed draw
    std::vector<uint32_t> drawBlends;           // AlphaBlendEnable at each indexed draw
    std::vector<uint32_t> drawAlphaTests;       // AlphaTestEnable at each indexed draw
    gfx::BaseTexture* stageTextures[16] = {};   // the last texture set on each stage
    std::vector<gfx::BaseTexture*> drawMaps[2]; // stages 3 and 4 at each indexed draw
    bool failCubeTextures = false;              // every cube texture creation fails (out of video memory)
    gfx::VertexDeclaration* lastDeclaration = nullptr; // the last one set
    std::function<void()> onDraw;                      // called at each indexed draw, before it
    struct Binding {
        uint32_t stage;
        gfx::BaseTexture* texture;
    };
    std::vector<Binding> bindings; // every SetTexture, in order

    void Forget() {
        states.clear();
        samplerCalls = textureCalls = programCalls = fvfCalls = 0;
        bindings.clear();
        drawCulls.clear();
        drawBlends.clear();
        drawMaps[0].clear();
        drawMaps[1].clear();
        drawAlphaTests.clear();
    }

    using Result = gfx::Result;
    Result SetRenderState(gfx::RenderState s, uint32_t v) override {
        states.push_back({s, v});
        return m_real->SetRenderState(s, v);
    }
    Result SetSamplerState(uint32_t i, gfx::SamplerState s, uint32_t v) override {
        ++samplerCalls;
        return m_real->SetSamplerState(i, s, v);
    }
    Result SetTexture(uint32_t stage, gfx::BaseTexture* t) override {
        ++textureCalls;
        if (stage < 16) stageTextures[stage] = t;
        bindings.push_back({stage, t});
        return m_real->SetTexture(stage, t);
    }
    Result SetProgram(gfx::Program* p) override {
        ++programCalls;
        return m_real->SetProgram(p);
    }
    Result SetFVF(uint32_t fvf) override {
        ++fvfCalls;
        return m_real->SetFVF(fvf);
    }

    Result TestCooperativeLevel() override { return m_real->TestCooperativeLevel(); }
    Result Reset(gfx::PresentParameters* pp) override { return m_real->Reset(pp); }
    Result Present() override { return m_real->Present(); }
    Result BeginScene() override { return m_real->BeginScene(); }
    Result EndScene() override { return m_real->EndScene(); }
    Result Clear(uint32_t n, const gfx::Rect* r, uint32_t f, uint32_t c, float z, uint32_t s) override {
        return m_real->Clear(n, r, f, c, z, s);
    }
    Result GetRenderState(gfx::RenderState s, uint32_t* v) override { return m_real->GetRenderState(s, v); }
    void ApplyRenderStates() override { m_real->ApplyRenderStates(); }
    Result SetViewport(const gfx::Viewport& vp) override { return m_real->SetViewport(vp); }
    Result GetViewport(gfx::Viewport* vp) override { return m_real->GetViewport(vp); }
    Result GetDeviceCaps(gfx::Caps* caps) override { return m_real->GetDeviceCaps(caps); }
    const gfx::PresentParameters& GetPresentParameters() const override {
        return m_real->GetPresentParameters();
    }
    Result GetRenderTarget(uint32_t i, gfx::Surface** s) override { return m_real->GetRenderTarget(i, s); }
    Result GetDepthStencilSurface(gfx::Surface** s) override { return m_real->GetDepthStencilSurface(s); }
    Result CreateDepthStencilSurface(uint32_t w, uint32_t h, gfx::Format f, uint32_t samples, uint32_t q,
                                     bool d, gfx::Surface** out) override {
        return m_real->CreateDepthStencilSurface(w, h, f, samples, q, d, out);
    }
    Result SetRenderTarget(uint32_t i, gfx::Surface* s) override { return m_real->SetRenderTarget(i, s); }
    Result SetDepthStencilSurface(gfx::Surface* s) override { return m_real->SetDepthStencilSurface(s); }
    Result GetRenderTargetData(gfx::Surface* t, gfx::Surface* d) override {
        return m_real->GetRenderTargetData(t, d);
    }
    Result StretchRect(gfx::Surface* s, const gfx::Rect* sr, gfx::Surface* d, const gfx::Rect* dr,
                       gfx::TextureFilter f) override {
        return m_real->StretchRect(s, sr, d, dr, f);
    }
    Result ClearFloat(uint32_t n, const gfx::Rect* r, uint32_t f, const math::Vec4& c, float z,
                      uint32_t s) override {
        return m_real->ClearFloat(n, r, f, c, z, s);
    }
    Result ReadPixels(gfx::Surface* s, uint32_t* p, uint32_t pitch) override {
        return m_real->ReadPixels(s, p, pitch);
    }
    Result SaveSurfaceToFile(const char* f, gfx::Surface* s) override {
        return m_real->SaveSurfaceToFile(f, s);
    }
    Result CreateVertexDeclaration(const gfx::VertexElement* e, gfx::VertexDeclaration** d) override {
        return m_real->CreateVertexDeclaration(e, d);
    }
    Result SetVertexDeclaration(gfx::VertexDeclaration* d) override {
        lastDeclaration = d;
        return m_real->SetVertexDeclaration(d);
    }
    Result GetVertexDeclaration(gfx::VertexDeclaration** d) override {
        return m_real->GetVertexDeclaration(d);
    }
    uint64_t GetAvailableTextureMem() override { return m_real->GetAvailableTextureMem(); }
    Result CreateTexture(uint32_t w, uint32_t h, uint32_t l, uint32_t u, gfx::Format f, gfx::Pool p,
                         gfx::Texture** t) override {
        return m_real->CreateTexture(w, h, l, u, f, p, t);
    }
    Result CreateCubeTexture(uint32_t e, uint32_t l, uint32_t u, gfx::Format f, gfx::Pool p,
                             gfx::CubeTexture** t) override {
        if (failCubeTextures) {
            if (t) *t = nullptr;
            return Result::OutOfVideoMemory;
        }
        return m_real->CreateCubeTexture(e, l, u, f, p, t);
    }
    void ForceCpuTextureDecode(bool on) override { m_real->ForceCpuTextureDecode(on); }
    bool UploadsCompressedTextures() override { return m_real->UploadsCompressedTextures(); }
    Result CreateVertexBuffer(uint32_t n, uint32_t u, uint32_t fvf, gfx::Pool p,
                              gfx::VertexBuffer** b) override {
        return m_real->CreateVertexBuffer(n, u, fvf, p, b);
    }
    Result CreateOffscreenPlainSurface(uint32_t w, uint32_t h, gfx::Format f, gfx::Pool p,
                                       gfx::Surface** s) override {
        return m_real->CreateOffscreenPlainSurface(w, h, f, p, s);
    }
    Result UpdateSurface(gfx::Surface* s, const gfx::Rect* r, gfx::Surface* d, const gfx::Point* p) override {
        return m_real->UpdateSurface(s, r, d, p);
    }
    Result SetTextureStageState(uint32_t i, gfx::TextureStageState s, uint32_t v) override {
        return m_real->SetTextureStageState(i, s, v);
    }
    Result GetTextureStageState(uint32_t i, gfx::TextureStageState s, uint32_t* v) override {
        return m_real->GetTextureStageState(i, s, v);
    }
    Result GetSamplerState(uint32_t i, gfx::SamplerState s, uint32_t* v) override {
        return m_real->GetSamplerState(i, s, v);
    }
    Result GetFVF(uint32_t* fvf) override { return m_real->GetFVF(fvf); }
    Result SetStreamSource(uint32_t i, gfx::VertexBuffer* b, uint32_t o, uint32_t s) override {
        return m_real->SetStreamSource(i, b, o, s);
    }
    Result DrawPrimitive(gfx::PrimitiveType t, uint32_t s, uint32_t n) override {
        return m_real->DrawPrimitive(t, s, n);
    }
    Result CreateIndexBuffer(uint32_t l, uint32_t u, gfx::Format f, gfx::Pool p,
                             gfx::IndexBuffer** b) override {
        return m_real->CreateIndexBuffer(l, u, f, p, b);
    }
    Result SetIndices(gfx::IndexBuffer* b) override { return m_real->SetIndices(b); }
    Result DrawIndexedPrimitive(gfx::PrimitiveType t, int32_t base, uint32_t minV, uint32_t numV,
                                uint32_t start, uint32_t n) override {
        uint32_t cull = 0;
        m_real->GetRenderState(gfx::RenderState::CullMode, &cull);
        drawCulls.push_back(cull);
        uint32_t blend = 0;
        m_real->GetRenderState(gfx::RenderState::AlphaBlendEnable, &blend);
        drawBlends.push_back(blend);
        drawMaps[0].push_back(stageTextures[3]);
        drawMaps[1].push_back(stageTextures[4]);
        if (onDraw) onDraw();
        uint32_t alphaTest = 0;
        m_real->GetRenderState(gfx::RenderState::AlphaTestEnable, &alphaTest);
        drawAlphaTests.push_back(alphaTest);
        return m_real->DrawIndexedPrimitive(t, base, minV, numV, start, n);
    }
    Result DrawPrimitiveUP(gfx::PrimitiveType t, uint32_t n, const void* v, uint32_t s) override {
        return m_real->DrawPrimitiveUP(t, n, v, s);
    }
    void SimulateDeviceLoss(uint32_t n) override { m_real->SimulateDeviceLoss(n); }
    void FailNextReset(Result r) override { m_real->FailNextReset(r); }
    void FailTextureCreation(uint32_t n) override { m_real->FailTextureCreation(n); }
    void OverridePixelShaderVersion(uint32_t v) override { m_real->OverridePixelShaderVersion(v); }
    uint32_t ResetCount() const override { return m_real->ResetCount(); }
    void CapturePresented(bool on) override { m_real->CapturePresented(on); }
    const std::vector<uint32_t>& PresentedPicture(uint32_t* w, uint32_t* h) const override {
        return m_real->PresentedPicture(w, h);
    }

  protected:
    ~CountingDevice() override { SetProgram(nullptr); }

  private:
    gfx::Device* m_real;
};
