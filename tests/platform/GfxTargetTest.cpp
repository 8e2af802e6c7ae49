// Render targets on the real device headless: a float render-target texture
// with a depth surface of its own size is drawn into with an effect, cleared
// to float values and read back through a system-memory surface, top row
// first; the viewport follows the target; the back buffer comes back; wrong
// uses are refused; a reset drops the device's hold on a target.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <vector>

#include "platform/effect/Effect.h"
#include "platform/gfx/Draw.h"
#include "tests/EffectDevice.h"

namespace {

using gfx::Result;

constexpr uint32_t kTW = 16, kTH = 8; // the target, smaller than the back buffer

// Writes g_fValue at the depth of the vertices.
const char* const kValueEffect = R"(
parameter float g_fValue = 0.0;
input float3 aPos : POSITION;
glsl vertex vs { void main() { gl_Position = vec4(aPos, 1.0); } }
glsl fragment fs { void main() { FragColor = vec4(g_fValue, 0.0, 0.0, 1.0); } }
technique T { pass { vertex vs; fragment fs; CullMode = None; } }
)";

struct XyzVertex {
    float x, y, z;
};

class GfxTargetTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NE(d_.dev, nullptr);
        dev_ = d_.dev;
        ASSERT_EQ(dev_->CreateTexture(kTW, kTH, 1, gfx::usage::RenderTarget, gfx::Format::R32F,
                                      gfx::Pool::Default, &target_),
                  Result::Ok);
        ASSERT_EQ(target_->GetSurfaceLevel(0, &surface_), Result::Ok);
        ASSERT_EQ(dev_->CreateDepthStencilSurface(kTW, kTH, gfx::Format::D24S8, 0, 0, true, &depth_),
                  Result::Ok);
        ASSERT_EQ(
            dev_->CreateOffscreenPlainSurface(kTW, kTH, gfx::Format::R32F, gfx::Pool::SystemMem, &memory_),
            Result::Ok);
        effect_ = d_.Make(kValueEffect);
        ASSERT_NE(effect_, nullptr);
        dev_->GetRenderTarget(0, &backBuffer_);
        dev_->GetDepthStencilSurface(&backDepth_);
    }
    void TearDown() override {
        if (dev_) {
            if (backBuffer_) dev_->SetRenderTarget(0, backBuffer_);
            dev_->SetDepthStencilSurface(backDepth_);
        }
        for (gfx::Resource* r : std::initializer_list<gfx::Resource*>{effect_, memory_, depth_, surface_,
                                                                      target_, backBuffer_, backDepth_}) {
            if (r) r->Release();
        }
    }

    void UseTarget() {
        ASSERT_EQ(dev_->SetRenderTarget(0, surface_), Result::Ok);
        ASSERT_EQ(dev_->SetDepthStencilSurface(depth_), Result::Ok);
    }

    // A rectangle of clip space at depth z, drawn with g_fValue = value.
    void DrawRect(float x0, float y0, float x1, float y1, float z, float value) {
        const XyzVertex v[4] = {{x0, y1, z}, {x1, y1, z}, {x0, y0, z}, {x1, y0, z}};
        effect_->SetFloat(effect_->GetParameterByName(effect::Handle(), "g_fValue"), value);
        uint32_t passes = 0;
        ASSERT_EQ(effect_->Begin(&passes, 0), Result::Ok);
        ASSERT_EQ(effect_->BeginPass(0), Result::Ok);
        dev_->SetFVF(gfx::fvf::Xyz);
        ASSERT_EQ(dev_->DrawPrimitiveUP(gfx::PrimitiveType::TriangleStrip, 2, v, sizeof(XyzVertex)),
                  Result::Ok);
        effect_->EndPass();
        effect_->End();
    }

    // The target's values, row after row, read through the lock's pitch.
    std::vector<float> ReadTarget() {
        std::vector<float> out(kTW * kTH, 12345.0f);
        EXPECT_EQ(dev_->GetRenderTargetData(surface_, memory_), Result::Ok);
        gfx::LockedRect r;
        EXPECT_EQ(memory_->LockRect(&r, nullptr, gfx::lock::ReadOnly), Result::Ok);
        EXPECT_GE(r.Pitch, int32_t(kTW * 4));
        for (uint32_t y = 0; y < kTH; ++y)
            std::memcpy(&out[y * kTW], static_cast<const uint8_t*>(r.pBits) + size_t(y) * r.Pitch, kTW * 4);
        memory_->UnlockRect();
        return out;
    }

    EffectDevice d_;
    gfx::Device* dev_ = nullptr;
    gfx::Texture* target_ = nullptr;
    gfx::Surface* surface_ = nullptr;
    gfx::Surface* depth_ = nullptr;
    gfx::Surface* memory_ = nullptr;
    gfx::Surface* backBuffer_ = nullptr;
    gfx::Surface* backDepth_ = nullptr;
    effect::Effect* effect_ = nullptr;
};

TEST_F(GfxTargetTest, TheViewportBecomesTheWholeTargetAndComesBackWithTheBackBuffer) {
    UseTarget();
    gfx::Viewport vp;
    dev_->GetViewport(&vp);
    EXPECT_EQ(vp.X, 0u);
    EXPECT_EQ(vp.Width, kTW);
    EXPECT_EQ(vp.Height, kTH);
    gfx::Surface* current = nullptr;
    ASSERT_EQ(dev_->GetRenderTarget(0, &current), Result::Ok);
    EXPECT_EQ(current, surface_);
    current->Release();
    gfx::Viewport inside{0, 0, kTW, kTH, 0, 1}, outside{0, 0, kTW + 1, kTH, 0, 1};
    EXPECT_EQ(dev_->SetViewport(inside), Result::Ok);
    EXPECT_EQ(dev_->SetViewport(outside), Result::InvalidCall) << "the viewport lies inside the target";

    ASSERT_EQ(dev_->SetRenderTarget(0, backBuffer_), Result::Ok);
    ASSERT_EQ(dev_->SetDepthStencilSurface(backDepth_), Result::Ok);
    dev_->GetViewport(&vp);
    EXPECT_EQ(vp.Width, EffectDevice::kW);
    EXPECT_EQ(vp.Height, EffectDevice::kH);
    dev_->Clear(0, nullptr, gfx::clear::Target | gfx::clear::ZBuffer, 0xFF102030, 1.0f, 0);
    EXPECT_EQ(d_.Pixel(31, 31), 0x102030u) << "draws reach the back buffer again";
}

TEST_F(GfxTargetTest, ClearsGiveTheTargetTheirFloatValues) {
    struct Case {
        const char* name;
        bool asFloat;
        float value;
        uint32_t argb;
        float want;
    } cases[] = {
        {"float -1", true, -1.0f, 0, -1.0f},
        {"float beyond 1", true, 972799.0f, 0, 972799.0f},
        {"colour white is 1.0", false, 0, 0xFFFFFFFFu, 1.0f},
        {"colour's red channel", false, 0, 0x00800000u, 128.0f / 255.0f},
    };
    UseTarget();
    for (const Case& c : cases) {
        const uint32_t flags = gfx::clear::Target | gfx::clear::ZBuffer | gfx::clear::Stencil;
        if (c.asFloat) {
            ASSERT_EQ(dev_->ClearFloat(0, nullptr, flags, math::Vec4{c.value, 0, 0, 0}, 1.0f, 0), Result::Ok);
        } else {
            ASSERT_EQ(dev_->Clear(0, nullptr, flags, c.argb, 1.0f, 0), Result::Ok);
        }
        const std::vector<float> v = ReadTarget();
        EXPECT_FLOAT_EQ(v[0], c.want) << c.name;
        EXPECT_FLOAT_EQ(v[kTW * kTH - 1], c.want) << c.name;
    }
    // The back buffer is untouched by clears of the target.
    ASSERT_EQ(dev_->SetRenderTarget(0, backBuffer_), Result::Ok);
    dev_->Clear(0, nullptr, gfx::clear::Target, 0xFF000000, 1.0f, 0);
    UseTarget();
    dev_->ClearFloat(0, nullptr, gfx::clear::Target, math::Vec4{5.0f, 0, 0, 0}, 1.0f, 0);
    ASSERT_EQ(dev_->SetRenderTarget(0, backBuffer_), Result::Ok);
    EXPECT_EQ(d_.Pixel(2, 2), 0u);
}

TEST_F(GfxTargetTest, DrawnValuesReadBackTopRowFirstWithTheTargetsOwnDepth) {
    UseTarget();
    ASSERT_EQ(dev_->ClearFloat(0, nullptr, gfx::clear::Target | gfx::clear::ZBuffer | gfx::clear::Stencil,
                               math::Vec4{-1.0f, 0, 0, 0}, 1.0f, 0),
              Result::Ok);
    dev_->SetRenderState(gfx::RenderState::ZEnable, 1);
    dev_->SetRenderState(gfx::RenderState::ZWriteEnable, 1);
    // The top-left quarter of clip space (x < 0, y > 0) is the top-left of
    // the target; a large index keeps its exact value.
    DrawRect(-1, 0, 0, 1, 0.5f, 972799.0f);
    // A farther rectangle over the whole target loses where the first one
    // stands: the depth surface is the one in use.
    DrawRect(-1, -1, 1, 1, 0.8f, 3.0f);
    const std::vector<float> v = ReadTarget();
    struct Probe {
        uint32_t x, y;
        float want;
    } probes[] = {
        {0, 0, 972799.0f},        {kTW / 2 - 1, kTH / 2 - 1, 972799.0f},
        {kTW / 2, 0, 3.0f},       {0, kTH / 2, 3.0f},
        {kTW - 1, kTH - 1, 3.0f},
    };
    for (const Probe& p : probes)
        EXPECT_EQ(v[p.y * kTW + p.x], p.want) << "at " << p.x << ", " << p.y;
}

// A shader samples a render target as it samples a loaded texture: v = 0 is
// the top row drawn, the row that read-backs give first. Front faces are the
// clockwise ones on the screen in a texture as in the back buffer, so culling
// keeps the same faces.
TEST_F(GfxTargetTest, ASampledTargetShowsTheTopRowDrawnAtVZeroAndCullsAsTheBackBuffer) {
    UseTarget();
    ASSERT_EQ(dev_->ClearFloat(0, nullptr, gfx::clear::Target | gfx::clear::ZBuffer | gfx::clear::Stencil,
                               math::Vec4{0.0f, 0, 0, 0}, 1.0f, 0),
              Result::Ok);
    // The upper half of clip space (y > 0) holds 0.75, the lower half 0.25.
    DrawRect(-1, 0, 1, 1, 0.5f, 0.75f);
    DrawRect(-1, -1, 1, 0, 0.5f, 0.25f);
    // With counter-clockwise culling, a quad wound counter-clockwise on the
    // screen over the left half is a back face and culled; one wound
    // clockwise over the right half is drawn.
    {
        const XyzVertex back[4] = {{-1, 1, 0.1f}, {-1, -1, 0.1f}, {0, 1, 0.1f}, {0, -1, 0.1f}};
        const XyzVertex front[4] = {{0, 1, 0.1f}, {1, 1, 0.1f}, {0, -1, 0.1f}, {1, -1, 0.1f}};
        effect_->SetFloat(effect_->GetParameterByName(effect::Handle(), "g_fValue"), 9.0f);
        uint32_t passes = 0;
        ASSERT_EQ(effect_->Begin(&passes, 0), Result::Ok);
        ASSERT_EQ(effect_->BeginPass(0), Result::Ok);
        dev_->SetRenderState(gfx::RenderState::CullMode, gfx::StateValue(gfx::Cull::Ccw));
        dev_->SetFVF(gfx::fvf::Xyz);
        dev_->DrawPrimitiveUP(gfx::PrimitiveType::TriangleStrip, 2, back, sizeof(XyzVertex));
        dev_->DrawPrimitiveUP(gfx::PrimitiveType::TriangleStrip, 2, front, sizeof(XyzVertex));
        effect_->EndPass();
        effect_->End();
    }
    const std::vector<float> read = ReadTarget();
    EXPECT_EQ(read[0], 0.75f) << "row 0 of the read-back is the top";
    EXPECT_EQ(read[(kTH - 1) * kTW], 0.25f) << "a back face is culled in a texture too";
    EXPECT_EQ(read[kTW - 1], 9.0f) << "a front face is drawn";
    // The right half is the front face's now: the sampling below reads the
    // left column (u = 0.25).
    // The back buffer shows the target sampled at v = 0.1 (left half) and at
    // v = 0.9 (right half), the red channel scaled to a byte.
    effect::Effect* sampler = d_.Make(R"(
input float3 aPos : POSITION;
sampler2D sTarget : stage 0 { MinFilter = Point; MagFilter = Point; }
glsl vertex vs { void main() { gl_Position = vec4(aPos, 1.0); } }
glsl fragment fs {
    void main() {
        float v = gl_FragCoord.x < 16.0 ? 0.1 : 0.9;
        FragColor = vec4(texture(sTarget, vec2(0.25, v)).r, 0.0, 0.0, 1.0);
    }
}
technique T { pass { vertex vs; fragment fs; CullMode = None; ZEnable = false; } }
)");
    ASSERT_NE(sampler, nullptr);
    ASSERT_EQ(dev_->SetRenderTarget(0, backBuffer_), Result::Ok);
    ASSERT_EQ(dev_->SetDepthStencilSurface(backDepth_), Result::Ok);
    dev_->SetTexture(0, target_);
    uint32_t passes = 0;
    ASSERT_EQ(sampler->Begin(&passes, 0), Result::Ok);
    ASSERT_EQ(sampler->BeginPass(0), Result::Ok);
    const XyzVertex quad[4] = {{-1, 1, 0.5f}, {1, 1, 0.5f}, {-1, -1, 0.5f}, {1, -1, 0.5f}};
    dev_->SetFVF(gfx::fvf::Xyz);
    ASSERT_EQ(dev_->DrawPrimitiveUP(gfx::PrimitiveType::TriangleStrip, 2, quad, sizeof(XyzVertex)),
              Result::Ok);
    sampler->EndPass();
    sampler->End();
    dev_->SetTexture(0, nullptr);
    sampler->Release();
    EXPECT_NEAR(int(d_.Pixel(4, 16) >> 16), 191, 1) << "v = 0.1 reads the upper half (0.75)";
    EXPECT_NEAR(int(d_.Pixel(28, 16) >> 16), 64, 1) << "v = 0.9 reads the lower half (0.25)";
}

TEST_F(GfxTargetTest, WrongUsesAreRefused) {
    gfx::Texture* plain = nullptr;
    ASSERT_EQ(dev_->CreateTexture(kTW, kTH, 1, 0, gfx::Format::A8R8G8B8, gfx::Pool::Managed, &plain),
              Result::Ok);
    gfx::Surface* plainLevel = nullptr;
    plain->GetSurfaceLevel(0, &plainLevel);
    gfx::Surface* wrongSize = nullptr;
    dev_->CreateOffscreenPlainSurface(kTW, kTH + 1, gfx::Format::R32F, gfx::Pool::SystemMem, &wrongSize);
    gfx::Surface* wrongFormat = nullptr;
    dev_->CreateOffscreenPlainSurface(kTW, kTH, gfx::Format::A8R8G8B8, gfx::Pool::SystemMem, &wrongFormat);
    gfx::Surface* noStencil = nullptr;
    ASSERT_EQ(dev_->CreateDepthStencilSurface(kTW, kTH, gfx::Format::D24X8, 0, 0, true, &noStencil),
              Result::Ok);

    gfx::Texture* t = nullptr;
    gfx::Surface* s = nullptr;
    gfx::LockedRect lr;
    struct Case {
        const char* name;
        std::function<Result()> call;
    } cases[] = {
        {"a texture that is no render target", [&] { return dev_->SetRenderTarget(0, plainLevel); }},
        {"render target 1", [&] { return dev_->SetRenderTarget(1, surface_); }},
        {"no render target", [&] { return dev_->SetRenderTarget(0, nullptr); }},
        {"a colour surface as depth", [&] { return dev_->SetDepthStencilSurface(surface_); }},
        {"read-back of another size", [&] { return dev_->GetRenderTargetData(surface_, wrongSize); }},
        {"read-back into another format", [&] { return dev_->GetRenderTargetData(surface_, wrongFormat); }},
        {"read-back of a plain texture", [&] { return dev_->GetRenderTargetData(plainLevel, wrongFormat); }},
        {"locking a render target", [&] { return target_->LockRect(0, &lr, nullptr, 0); }},
        {"R32F without render-target use",
         [&] { return dev_->CreateTexture(4, 4, 1, 0, gfx::Format::R32F, gfx::Pool::Managed, &t); }},
        {"a render target in the managed pool",
         [&] {
             return dev_->CreateTexture(4, 4, 1, gfx::usage::RenderTarget, gfx::Format::R32F,
                                        gfx::Pool::Managed, &t);
         }},
        {"a multisampled depth surface",
         [&] { return dev_->CreateDepthStencilSurface(4, 4, gfx::Format::D24S8, 4, 0, true, &s); }},
        {"a colour format as depth",
         [&] { return dev_->CreateDepthStencilSurface(4, 4, gfx::Format::R32F, 0, 0, true, &s); }},
        {"clearing z without a depth surface",
         [&] {
             dev_->SetDepthStencilSurface(nullptr);
             return dev_->Clear(0, nullptr, gfx::clear::ZBuffer, 0, 1.0f, 0);
         }},
        {"clearing the stencil of a depth surface without one",
         [&] {
             dev_->SetDepthStencilSurface(noStencil);
             return dev_->ClearFloat(0, nullptr, gfx::clear::Target | gfx::clear::Stencil, math::Vec4{}, 1.0f,
                                     0);
         }},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.call(), Result::InvalidCall) << c.name;
    EXPECT_EQ(t, nullptr);
    EXPECT_EQ(s, nullptr);
    dev_->SetDepthStencilSurface(backDepth_);
    for (gfx::Resource* r :
         std::initializer_list<gfx::Resource*>{noStencil, wrongFormat, wrongSize, plainLevel, plain})
        r->Release();
}

TEST_F(GfxTargetTest, AResetSetsTheBackBufferAgainAndRefusesWhileTheCallerHoldsATarget) {
    UseTarget();
    gfx::PresentParameters pp = HeadlessPresentParams(EffectDevice::kW, EffectDevice::kH);
    EXPECT_EQ(dev_->Reset(&pp), Result::InvalidCall) << "the caller still holds default-pool resources";
    // Everything of the caller's goes; the device's own hold on the target
    // does not keep the reset from working.
    effect_->Release();
    effect_ = nullptr;
    depth_->Release();
    depth_ = nullptr;
    surface_->Release();
    surface_ = nullptr;
    target_->Release();
    target_ = nullptr;
    backBuffer_->Release();
    backBuffer_ = nullptr;
    backDepth_->Release();
    backDepth_ = nullptr;
    ASSERT_EQ(dev_->Reset(&pp), Result::Ok);
    gfx::Surface* current = nullptr;
    ASSERT_EQ(dev_->GetRenderTarget(0, &current), Result::Ok);
    EXPECT_EQ(current->Width(), EffectDevice::kW);
    current->Release();
    gfx::Surface* depth = nullptr;
    ASSERT_EQ(dev_->GetDepthStencilSurface(&depth), Result::Ok);
    EXPECT_EQ(depth->Width(), EffectDevice::kW);
    depth->Release();
    dev_->Clear(0, nullptr, gfx::clear::Target, 0xFF00FF00, 1.0f, 0);
    EXPECT_EQ(d_.Pixel(1, 1), 0x00FF00u);
}

} // namespace
