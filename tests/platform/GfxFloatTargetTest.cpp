// Half-float and colour render targets on the real device headless: an
// A16B16G16R16F target keeps values beyond 0..1 and reads back into a
// system-memory surface as half floats in the order red, green, blue, alpha,
// rows top-down and a pitch of 8 bytes a texel; a G16R16F target samples its
// two channels with blue and alpha 1 and reads back as two halves a texel; an A8R8G8B8 target reads back as
// packed ARGB. The test hooks: the nth texture creation fails and makes nothing, and the caps report a chosen
// pixel shader version.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <vector>

#include "platform/effect/Effect.h"
#include "platform/gfx/Draw.h"
#include "platform/math/Math.h"
#include "tests/EffectDevice.h"

namespace {

using gfx::Format;
using gfx::Result;

constexpr uint32_t kSide = 32; // the read-back size the HDR measurement uses

class GfxFloatTargetTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NE(d_.dev, nullptr);
        dev_ = d_.dev;
        dev_->GetRenderTarget(0, &backBuffer_);
    }
    void TearDown() override {
        if (!dev_) return;
        dev_->FailTextureCreation(0);
        dev_->OverridePixelShaderVersion(0);
        if (backBuffer_) {
            dev_->SetRenderTarget(0, backBuffer_);
            backBuffer_->Release();
        }
    }

    // A render-target texture and its level 0.
    void MakeTarget(uint32_t w, uint32_t h, Format f, gfx::Texture** t, gfx::Surface** s) {
        ASSERT_EQ(dev_->CreateTexture(w, h, 1, gfx::usage::RenderTarget, f, gfx::Pool::Default, t),
                  Result::Ok);
        ASSERT_EQ((*t)->GetSurfaceLevel(0, s), Result::Ok);
    }

    EffectDevice d_;
    gfx::Device* dev_ = nullptr;
    gfx::Surface* backBuffer_ = nullptr;
};

// Four halves of a read-back texel.
struct Half4 {
    float r, g, b, a;
};
Half4 TexelAt(const gfx::LockedRect& lr, uint32_t x, uint32_t y) {
    uint16_t h[4];
    std::memcpy(h, static_cast<const uint8_t*>(lr.pBits) + size_t(y) * lr.Pitch + size_t(x) * 8, sizeof h);
    return {math::HalfToFloat(h[0]), math::HalfToFloat(h[1]), math::HalfToFloat(h[2]),
            math::HalfToFloat(h[3])};
}

TEST_F(GfxFloatTargetTest, AHalfFloatTargetReadsBackItsValuesAsHalvesInRgbaOrderTopRowFirst) {
    gfx::Texture* t = nullptr;
    gfx::Surface* s = nullptr;
    MakeTarget(kSide, kSide, Format::A16B16G16R16F, &t, &s);
    gfx::Surface* memory = nullptr;
    ASSERT_EQ(
        dev_->CreateOffscreenPlainSurface(kSide, kSide, Format::A16B16G16R16F, gfx::Pool::SystemMem, &memory),
        Result::Ok);
    EXPECT_EQ(memory->GetFormat(), Format::A16B16G16R16F);
    ASSERT_EQ(dev_->SetRenderTarget(0, s), Result::Ok);
    // The whole target, then its top-left quarter by a rectangle: values
    // beyond 0..1 and negative ones are kept.
    ASSERT_EQ(dev_->ClearFloat(0, nullptr, gfx::clear::Target, math::Vec4{0.5f, 1.5f, 0.25f, 1.0f}, 1.0f, 0),
              Result::Ok);
    const gfx::Rect quarter{0, 0, int32_t(kSide / 2), int32_t(kSide / 2)};
    ASSERT_EQ(
        dev_->ClearFloat(1, &quarter, gfx::clear::Target, math::Vec4{-2.0f, 300.0f, 0.0f, 0.5f}, 1.0f, 0),
        Result::Ok);
    ASSERT_EQ(dev_->GetRenderTargetData(s, memory), Result::Ok);
    gfx::LockedRect lr;
    ASSERT_EQ(memory->LockRect(&lr, nullptr, gfx::lock::ReadOnly), Result::Ok);
    EXPECT_EQ(lr.Pitch, int32_t(kSide * 8)) << "32 texels of 8 bytes a row";
    struct Probe {
        uint32_t x, y;
        Half4 want;
    } probes[] = {
        {0, 0, {-2.0f, 300.0f, 0.0f, 0.5f}},
        {kSide / 2 - 1, kSide / 2 - 1, {-2.0f, 300.0f, 0.0f, 0.5f}},
        {kSide / 2, 0, {0.5f, 1.5f, 0.25f, 1.0f}},
        {0, kSide / 2, {0.5f, 1.5f, 0.25f, 1.0f}},
        {kSide - 1, kSide - 1, {0.5f, 1.5f, 0.25f, 1.0f}},
    };
    for (const Probe& p : probes) {
        const Half4 got = TexelAt(lr, p.x, p.y);
        EXPECT_EQ(got.r, p.want.r) << p.x << ", " << p.y;
        EXPECT_EQ(got.g, p.want.g) << p.x << ", " << p.y;
        EXPECT_EQ(got.b, p.want.b) << p.x << ", " << p.y;
        EXPECT_EQ(got.a, p.want.a) << p.x << ", " << p.y;
    }
    memory->UnlockRect();
    // A locked rectangle starts at its own texel.
    const gfx::Rect one{3, 2, 4, 3};
    ASSERT_EQ(memory->LockRect(&lr, &one, gfx::lock::ReadOnly), Result::Ok);
    EXPECT_EQ(TexelAt(lr, 0, 0).g, 300.0f);
    memory->UnlockRect();
    dev_->SetRenderTarget(0, backBuffer_);
    for (gfx::Resource* r : std::initializer_list<gfx::Resource*>{memory, s, t})
        r->Release();
}

// Draws a texture's texel over the whole back buffer.
const char* const kCopyEffect = R"(
parameter texture g_Texture;
sampler2D sTex : stage 0 = g_Texture { MinFilter = Point; MagFilter = Point; }
input float3 aPos : POSITION;
glsl vertex vs { void main() { gl_Position = vec4(aPos, 1.0); } }
glsl fragment fs { void main() { FragColor = texture(sTex, vec2(0.5, 0.5)); } }
technique T { pass { vertex vs; fragment fs; CullMode = None; ZEnable = false; } }
)";

TEST_F(GfxFloatTargetTest, ATwoChannelFloatTargetSamplesItsChannelsWithBlueAndAlphaOne) {
    gfx::Texture* t = nullptr;
    gfx::Surface* s = nullptr;
    MakeTarget(8, 8, Format::G16R16F, &t, &s);
    ASSERT_EQ(dev_->SetRenderTarget(0, s), Result::Ok);
    ASSERT_EQ(dev_->ClearFloat(0, nullptr, gfx::clear::Target, math::Vec4{0.25f, 0.75f, 0.0f, 0.0f}, 1.0f, 0),
              Result::Ok);
    ASSERT_EQ(dev_->SetRenderTarget(0, backBuffer_), Result::Ok);
    effect::Effect* e = d_.Make(kCopyEffect);
    ASSERT_NE(e, nullptr);
    e->SetTexture(e->GetParameterByName(effect::Handle(), "g_Texture"), t);
    dev_->SetRenderState(gfx::RenderState::AlphaBlendEnable, 0);
    uint32_t passes = 0;
    e->Begin(&passes, 0);
    e->BeginPass(0);
    const float quad[4][3] = {{-1, 1, 0}, {1, 1, 0}, {-1, -1, 0}, {1, -1, 0}};
    dev_->SetFVF(gfx::fvf::Xyz);
    dev_->DrawPrimitiveUP(gfx::PrimitiveType::TriangleStrip, 2, quad, 12);
    e->EndPass();
    e->End();
    std::vector<uint32_t> px(EffectDevice::kW * EffectDevice::kH);
    dev_->ReadPixels(backBuffer_, px.data(), EffectDevice::kW);
    const uint32_t c = px[5 * EffectDevice::kW + 5];
    EXPECT_NEAR(int((c >> 16) & 0xFF), 64, 1) << "red 0.25";
    EXPECT_NEAR(int((c >> 8) & 0xFF), 191, 1) << "green 0.75";
    EXPECT_EQ(c & 0xFF, 0xFFu) << "blue reads 1";
    e->Release();
    s->Release();
    t->Release();
}

TEST_F(GfxFloatTargetTest, ATwoChannelFloatTargetReadsBackAsTwoHalvesRedFirst) {
    gfx::Texture* t = nullptr;
    gfx::Surface* s = nullptr;
    MakeTarget(8, 4, Format::G16R16F, &t, &s);
    gfx::Surface* memory = nullptr;
    ASSERT_EQ(dev_->CreateOffscreenPlainSurface(8, 4, Format::G16R16F, gfx::Pool::SystemMem, &memory),
              Result::Ok);
    ASSERT_EQ(dev_->SetRenderTarget(0, s), Result::Ok);
    dev_->ClearFloat(0, nullptr, gfx::clear::Target, math::Vec4{1200.0f, 0.25f, 0, 1}, 1.0f, 0);
    const gfx::Rect corner{7, 3, 8, 4};
    dev_->ClearFloat(1, &corner, gfx::clear::Target, math::Vec4{-3.0f, 1.0f, 0, 1}, 1.0f, 0);
    ASSERT_EQ(dev_->GetRenderTargetData(s, memory), Result::Ok);
    gfx::LockedRect lr;
    ASSERT_EQ(memory->LockRect(&lr, nullptr, gfx::lock::ReadOnly), Result::Ok);
    EXPECT_EQ(lr.Pitch, 8 * 4);
    auto at = [&](uint32_t x, uint32_t y, uint32_t channel) {
        uint16_t h[2];
        std::memcpy(h, static_cast<const uint8_t*>(lr.pBits) + size_t(y) * lr.Pitch + size_t(x) * 4,
                    sizeof h);
        return math::HalfToFloat(h[channel]);
    };
    EXPECT_EQ(at(0, 0, 0), 1200.0f);
    EXPECT_EQ(at(0, 0, 1), 0.25f);
    EXPECT_EQ(at(6, 3, 0), 1200.0f);
    EXPECT_EQ(at(7, 3, 0), -3.0f) << "the bottom row is the last";
    EXPECT_EQ(at(7, 3, 1), 1.0f);
    memory->UnlockRect();
    for (gfx::Resource* r : std::initializer_list<gfx::Resource*>{memory, s, t})
        r->Release();
}

TEST_F(GfxFloatTargetTest, AColourTargetReadsBackAsPackedArgb) {
    gfx::Texture* t = nullptr;
    gfx::Surface* s = nullptr;
    MakeTarget(16, 8, Format::A8R8G8B8, &t, &s);
    gfx::Surface* memory = nullptr;
    ASSERT_EQ(dev_->CreateOffscreenPlainSurface(16, 8, Format::A8R8G8B8, gfx::Pool::SystemMem, &memory),
              Result::Ok);
    ASSERT_EQ(dev_->SetRenderTarget(0, s), Result::Ok);
    dev_->Clear(0, nullptr, gfx::clear::Target, 0x80204060, 1.0f, 0);
    ASSERT_EQ(dev_->GetRenderTargetData(s, memory), Result::Ok);
    gfx::LockedRect lr;
    ASSERT_EQ(memory->LockRect(&lr, nullptr, gfx::lock::ReadOnly), Result::Ok);
    EXPECT_EQ(lr.Pitch, 64);
    uint32_t last = 0;
    std::memcpy(&last, static_cast<const uint8_t*>(lr.pBits) + 7 * lr.Pitch + 15 * 4, 4);
    EXPECT_EQ(last, 0x80204060u);
    memory->UnlockRect();
    dev_->SetRenderTarget(0, backBuffer_);
    for (gfx::Resource* r : std::initializer_list<gfx::Resource*>{memory, s, t})
        r->Release();
}

TEST_F(GfxFloatTargetTest, FloatFormatsAreRefusedWhereTheyDoNotBelong) {
    gfx::Texture* target = nullptr;
    gfx::Surface* level = nullptr;
    MakeTarget(4, 4, Format::A16B16G16R16F, &target, &level);
    gfx::Surface* r32 = nullptr;
    ASSERT_EQ(dev_->CreateOffscreenPlainSurface(4, 4, Format::R32F, gfx::Pool::SystemMem, &r32), Result::Ok);
    gfx::Surface* halves = nullptr;
    ASSERT_EQ(dev_->CreateOffscreenPlainSurface(4, 4, Format::A16B16G16R16F, gfx::Pool::SystemMem, &halves),
              Result::Ok);
    gfx::Surface* twoHalves = nullptr;
    ASSERT_EQ(dev_->CreateOffscreenPlainSurface(4, 4, Format::G16R16F, gfx::Pool::SystemMem, &twoHalves),
              Result::Ok);
    gfx::Texture* t = nullptr;
    gfx::Surface* s = nullptr;
    std::vector<uint32_t> px(16);
    struct Case {
        const char* name;
        std::function<Result()> call;
    } cases[] = {
        {"a half-float read-back into an R32F surface",
         [&] { return dev_->GetRenderTargetData(level, r32); }},
        {"a half-float texture without render-target use",
         [&] { return dev_->CreateTexture(4, 4, 1, 0, Format::A16B16G16R16F, gfx::Pool::Managed, &t); }},
        {"a half-float read-back into a two-channel surface",
         [&] { return dev_->GetRenderTargetData(level, twoHalves); }},
        {"half floats copied to the back buffer",
         [&] { return dev_->UpdateSurface(halves, nullptr, backBuffer_, nullptr); }},
        {"a half-float level read as ARGB", [&] { return target->ReadBack(0, 0, px.data()); }},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.call(), Result::InvalidCall) << c.name;
    EXPECT_EQ(t, nullptr);
    EXPECT_EQ(s, nullptr);
    for (gfx::Resource* r : std::initializer_list<gfx::Resource*>{twoHalves, halves, r32, level, target})
        r->Release();
}

TEST_F(GfxFloatTargetTest, TheNthTextureCreationFailsAndMakesNothing) {
    dev_->FailTextureCreation(3);
    std::vector<Result> results;
    std::vector<gfx::Texture*> made;
    for (int i = 0; i < 5; ++i) {
        gfx::Texture* t = reinterpret_cast<gfx::Texture*>(&results); // not null before the call
        results.push_back(
            dev_->CreateTexture(8, 8, 1, gfx::usage::RenderTarget, Format::A8R8G8B8, gfx::Pool::Default, &t));
        made.push_back(t);
    }
    const std::vector<Result> want = {Result::Ok, Result::Ok, Result::OutOfVideoMemory, Result::Ok,
                                      Result::Ok};
    EXPECT_EQ(results, want) << "only the third call fails, once";
    EXPECT_EQ(made[2], nullptr);
    for (gfx::Texture* t : made)
        if (t) t->Release();
    // 0 cancels a failure still to come.
    dev_->FailTextureCreation(1);
    dev_->FailTextureCreation(0);
    gfx::Texture* t = nullptr;
    EXPECT_EQ(dev_->CreateTexture(8, 8, 1, 0, Format::A8R8G8B8, gfx::Pool::Managed, &t), Result::Ok);
    t->Release();
}

TEST_F(GfxFloatTargetTest, TheCapsReportTheChosenPixelShaderVersionUntilRestored) {
    gfx::Caps caps;
    dev_->OverridePixelShaderVersion(gfx::PixelShaderVersion(1, 4));
    ASSERT_EQ(dev_->GetDeviceCaps(&caps), Result::Ok);
    EXPECT_EQ(caps.PixelShaderVersion, gfx::PixelShaderVersion(1, 4));
    EXPECT_EQ(gfx::ShaderMajor(caps.PixelShaderVersion), 1u);
    EXPECT_EQ(caps.VertexShaderVersion, gfx::VertexShaderVersion(3, 0)) << "the vertex shader version stays";
    dev_->OverridePixelShaderVersion(0);
    ASSERT_EQ(dev_->GetDeviceCaps(&caps), Result::Ok);
    EXPECT_EQ(caps.PixelShaderVersion, gfx::PixelShaderVersion(3, 0));
}

} // namespace
