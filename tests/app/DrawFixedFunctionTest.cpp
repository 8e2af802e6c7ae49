// The graphics layer's fixed-function drawing, on the real device headless:
// where pre-transformed quads land, what the texture stages compute, alpha
// test, blending, lines, textures, vertex buffers and UpdateSurface.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/gfx/Draw.h"
#include "platform/window/Window.h"
#include "tests/HeadlessGfx.h"

namespace {

using gfx::RenderState;
using gfx::Result;
using gfx::TextureOp;
using gfx::TextureStageState;

constexpr uint32_t kW = 64, kH = 48;
constexpr uint32_t kScreenFvf = gfx::fvf::XyzRhw | gfx::fvf::Diffuse | gfx::fvf::Tex1;

struct Vertex {
    float x, y, z, rhw;
    uint32_t color;
    float u, v;
};
static_assert(sizeof(Vertex) == 28);

class FixedFunction : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { setenv("SDL_VIDEODRIVER", "offscreen", 0); }

    void SetUp() override {
        window::CreateParams p;
        p.title = "fixed-function test";
        win_ = window::CreateWindow(p);
        ASSERT_NE(win_, nullptr) << window::LastError();
        d3d_ = gfx::CreateInterface();
        ASSERT_NE(d3d_, nullptr);
        pp_ = HeadlessPresentParams(kW, kH);
        ASSERT_EQ(d3d_->CreateDevice(0, gfx::DeviceType::Hal, win_.get(),
                                     gfx::create::HardwareVertexProcessing, &pp_, &dev_),
                  Result::Ok);
        dev_->Clear(0, nullptr, gfx::clear::Target | gfx::clear::ZBuffer, 0xFF000000, 1.0f, 0);
        // The 2D state: no depth, no culling.
        dev_->SetRenderState(RenderState::ZEnable, 0);
        dev_->SetRenderState(RenderState::CullMode, gfx::StateValue(gfx::Cull::None));
        dev_->SetRenderState(RenderState::Lighting, 0);
        dev_->SetFVF(kScreenFvf);
    }
    void TearDown() override {
        if (dev_) dev_->Release();
        if (d3d_) d3d_->Release();
        win_.reset();
    }

    std::vector<uint32_t> Read() {
        std::vector<uint32_t> px(kW * kH, 0);
        gfx::Surface* bb = nullptr;
        EXPECT_EQ(dev_->GetRenderTarget(0, &bb), Result::Ok);
        EXPECT_EQ(dev_->ReadPixels(bb, px.data(), kW), Result::Ok);
        bb->Release();
        return px;
    }
    uint32_t Pixel(int x, int y) { return Read()[size_t(y) * kW + x]; }

    // Two triangles covering left..right, top..bottom, texture 0..1.
    void Quad(float l, float t, float r, float b, uint32_t color) {
        const Vertex v[6] = {{l, t, 1, 1, color, 0, 0}, {l, b, 1, 1, color, 0, 1}, {r, b, 1, 1, color, 1, 1},
                             {r, b, 1, 1, color, 1, 1}, {r, t, 1, 1, color, 1, 0}, {l, t, 1, 1, color, 0, 0}};
        ASSERT_EQ(dev_->DrawPrimitiveUP(gfx::PrimitiveType::TriangleList, 2, v, sizeof(Vertex)), Result::Ok);
    }

    // A texture of w x h texels, rows top-down.
    gfx::Texture* MakeTexture(uint32_t w, uint32_t h, const std::vector<uint32_t>& texels) {
        gfx::Texture* t = nullptr;
        EXPECT_EQ(dev_->CreateTexture(w, h, 1, 0, gfx::Format::A8R8G8B8, gfx::Pool::Managed, &t), Result::Ok);
        gfx::LockedRect lr;
        EXPECT_EQ(t->LockRect(0, &lr, nullptr, 0), Result::Ok);
        for (uint32_t y = 0; y < h; ++y) {
            std::memcpy(static_cast<uint8_t*>(lr.pBits) + y * lr.Pitch, texels.data() + y * w, w * 4);
        }
        EXPECT_EQ(t->UnlockRect(0), Result::Ok);
        return t;
    }

    std::unique_ptr<window::Window> win_;
    gfx::Interface* d3d_ = nullptr;
    gfx::Device* dev_ = nullptr;
    gfx::PresentParameters pp_;
};

TEST_F(FixedFunction, PreTransformedQuadsCoverPixelsAsOnDirect3D9) {
    struct Case {
        const char* name;
        float l, t, r, b;
        int inX0, inY0, inX1, inY1; // first and last covered pixel
    } cases[] = {
        {"shifted by half a pixel", 9.5f, 4.5f, 19.5f, 14.5f, 10, 5, 19, 14},
        {"whole numbers", 10.0f, 5.0f, 20.0f, 15.0f, 10, 5, 19, 14},
        {"full screen", -0.5f, -0.5f, kW - 0.5f, kH - 0.5f, 0, 0, int(kW) - 1, int(kH) - 1},
    };
    for (const Case& c : cases) {
        dev_->Clear(0, nullptr, gfx::clear::Target, 0xFF000000, 1.0f, 0);
        Quad(c.l, c.t, c.r, c.b, 0xFFFF0000);
        const std::vector<uint32_t> px = Read();
        auto at = [&](int x, int y) { return px[size_t(y) * kW + x]; };
        for (int y = 0; y < int(kH); ++y) {
            for (int x = 0; x < int(kW); ++x) {
                const bool inside = x >= c.inX0 && x <= c.inX1 && y >= c.inY0 && y <= c.inY1;
                ASSERT_EQ(at(x, y), inside ? 0xFFFF0000u : 0xFF000000u) << c.name << " at " << x << "," << y;
            }
        }
    }
}

TEST_F(FixedFunction, ViewportDoesNotMoveScreenPixels) {
    gfx::Viewport vp = {32, 8, 32, 40, 0.0f, 1.0f};
    ASSERT_EQ(dev_->SetViewport(vp), Result::Ok);
    Quad(-0.5f, -0.5f, kW - 0.5f, kH - 0.5f, 0xFF00FF00);
    EXPECT_EQ(Pixel(31, 20), 0xFF000000u); // outside the viewport
    EXPECT_EQ(Pixel(32, 8), 0xFF00FF00u);
    EXPECT_EQ(Pixel(63, 47), 0xFF00FF00u);
    EXPECT_EQ(Pixel(40, 7), 0xFF000000u);
}

TEST_F(FixedFunction, TextureStagesComputeColourAndAlpha) {
    gfx::Texture* tex = MakeTexture(1, 1, {0xFF808040});
    struct Case {
        const char* name;
        bool bind;
        TextureOp colorOp;
        uint32_t arg1, arg2;
        uint32_t diffuse;
        uint32_t expect;
    } cases[] = {
        {"modulate", true, TextureOp::Modulate, gfx::texarg::Texture, gfx::texarg::Diffuse, 0xFFFF8000,
         0xFF804000},
        {"select texture", true, TextureOp::SelectArg1, gfx::texarg::Texture, gfx::texarg::Diffuse,
         0xFF00FF00, 0xFF808040},
        {"select diffuse", true, TextureOp::SelectArg2, gfx::texarg::Texture, gfx::texarg::Diffuse,
         0xFF00FF00, 0xFF00FF00},
        {"add", true, TextureOp::Add, gfx::texarg::Texture, gfx::texarg::Diffuse, 0xFF102030, 0xFF90A070},
        {"complement", true, TextureOp::SelectArg1, gfx::texarg::Texture | gfx::texarg::Complement,
         gfx::texarg::Diffuse, 0xFF000000, 0xFF7F7FBF},
        {"no texture reads white", false, TextureOp::Modulate, gfx::texarg::Texture, gfx::texarg::Diffuse,
         0xFF336699, 0xFF336699},
    };
    for (const Case& c : cases) {
        dev_->Clear(0, nullptr, gfx::clear::Target, 0xFF000000, 1.0f, 0);
        dev_->SetTexture(0, c.bind ? tex : nullptr);
        dev_->SetTextureStageState(0, TextureStageState::ColorOp, gfx::StateValue(c.colorOp));
        dev_->SetTextureStageState(0, TextureStageState::ColorArg1, c.arg1);
        dev_->SetTextureStageState(0, TextureStageState::ColorArg2, c.arg2);
        Quad(-0.5f, -0.5f, 15.5f, 15.5f, c.diffuse);
        const uint32_t got = Pixel(8, 8);
        for (int shift = 0; shift <= 16; shift += 8) {
            EXPECT_NEAR(double((got >> shift) & 0xFF), double((c.expect >> shift) & 0xFF), 1.0)
                << c.name << " channel " << shift;
        }
    }
    dev_->SetTexture(0, nullptr);
    tex->Release();
}

TEST_F(FixedFunction, AlphaTestAndBlendModes) {
    dev_->SetTextureStageState(0, TextureStageState::ColorOp, gfx::StateValue(TextureOp::SelectArg2));
    dev_->SetTextureStageState(0, TextureStageState::AlphaOp, gfx::StateValue(TextureOp::SelectArg2));
    dev_->SetTextureStageState(0, TextureStageState::AlphaArg2, gfx::texarg::Diffuse);
    struct Case {
        const char* name;
        bool blend;
        gfx::Blend src, dst;
        bool alphaTest;
        uint32_t color;
        uint32_t expect; // over blue 0xFF0000FF
    } cases[] = {
        {"alpha 5 fails reference 6", false, gfx::Blend::One, gfx::Blend::Zero, true, 0x05FF0000, 0xFF0000FF},
        {"alpha 6 passes reference 6", false, gfx::Blend::One, gfx::Blend::Zero, true, 0x06FF0000,
         0xFFFF0000},
        {"half alpha over", true, gfx::Blend::SrcAlpha, gfx::Blend::InvSrcAlpha, true, 0x80FF0000,
         0xFF80007F},
        {"additive", true, gfx::Blend::SrcColor, gfx::Blend::One, false, 0x00FF0000, 0xFFFF00FF},
    };
    for (const Case& c : cases) {
        dev_->Clear(0, nullptr, gfx::clear::Target, 0xFF0000FF, 1.0f, 0);
        dev_->SetRenderState(RenderState::AlphaBlendEnable, c.blend);
        dev_->SetRenderState(RenderState::SrcBlend, gfx::StateValue(c.src));
        dev_->SetRenderState(RenderState::DestBlend, gfx::StateValue(c.dst));
        dev_->SetRenderState(RenderState::AlphaTestEnable, c.alphaTest);
        dev_->SetRenderState(RenderState::AlphaRef, 6);
        dev_->SetRenderState(RenderState::AlphaFunc, gfx::StateValue(gfx::Cmp::GreaterEqual));
        Quad(-0.5f, -0.5f, 15.5f, 15.5f, c.color);
        const uint32_t got = Pixel(4, 4);
        for (int shift = 0; shift <= 16; shift += 8) {
            EXPECT_NEAR(double((got >> shift) & 0xFF), double((c.expect >> shift) & 0xFF), 1.0)
                << c.name << " channel " << shift;
        }
    }
}

TEST_F(FixedFunction, TextureRowsAreTopDownAndPointSampled) {
    // 2 x 2: red, green / blue, white, stretched over 16 x 16 pixels.
    gfx::Texture* tex = MakeTexture(2, 2, {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF});
    dev_->SetTexture(0, tex);
    dev_->SetTextureStageState(0, TextureStageState::ColorOp, gfx::StateValue(TextureOp::SelectArg1));
    Quad(-0.5f, -0.5f, 15.5f, 15.5f, 0xFFFFFFFF);
    const std::vector<uint32_t> px = Read();
    EXPECT_EQ(px[2 * kW + 2], 0xFFFF0000u);
    EXPECT_EQ(px[2 * kW + 13], 0xFF00FF00u);
    EXPECT_EQ(px[13 * kW + 2], 0xFF0000FFu);
    EXPECT_EQ(px[13 * kW + 13], 0xFFFFFFFFu);
    // A locked sub-rectangle replaces only its texels.
    gfx::LockedRect lr;
    gfx::Rect r = {1, 1, 2, 2};
    ASSERT_EQ(tex->LockRect(0, &lr, &r, 0), Result::Ok);
    *static_cast<uint32_t*>(lr.pBits) = 0xFF000000;
    ASSERT_EQ(tex->UnlockRect(0), Result::Ok);
    Quad(-0.5f, -0.5f, 15.5f, 15.5f, 0xFFFFFFFF);
    EXPECT_EQ(Pixel(13, 13), 0xFF000000u);
    EXPECT_EQ(Pixel(2, 13), 0xFF0000FFu);
    // Locks outside the level are refused.
    gfx::Rect outside = {1, 1, 3, 2};
    EXPECT_EQ(tex->LockRect(0, &lr, &outside, 0), Result::InvalidCall);
    EXPECT_EQ(tex->LockRect(1, &lr, nullptr, 0), Result::InvalidCall);
    dev_->SetTexture(0, nullptr);
    tex->Release();
}

TEST_F(FixedFunction, LinesFromAVertexBuffer) {
    struct LineVertex {
        float x, y, z, rhw;
        uint32_t color;
    };
    gfx::VertexBuffer* vb = nullptr;
    ASSERT_EQ(dev_->CreateVertexBuffer(2 * sizeof(LineVertex), gfx::usage::WriteOnly,
                                       gfx::fvf::XyzRhw | gfx::fvf::Diffuse, gfx::Pool::Managed, &vb),
              Result::Ok);
    void* data = nullptr;
    ASSERT_EQ(vb->Lock(0, 0, &data, 0), Result::Ok);
    const LineVertex line[2] = {{5, 20, 0, 1, 0xFFFFFF00}, {30, 20, 0, 1, 0xFFFFFF00}};
    std::memcpy(data, line, sizeof line);
    ASSERT_EQ(vb->Unlock(), Result::Ok);
    dev_->SetFVF(gfx::fvf::XyzRhw | gfx::fvf::Diffuse);
    dev_->SetStreamSource(0, vb, 0, sizeof(LineVertex));
    ASSERT_EQ(dev_->DrawPrimitive(gfx::PrimitiveType::LineList, 0, 1), Result::Ok);
    // Past the end of the buffer is refused.
    EXPECT_EQ(dev_->DrawPrimitive(gfx::PrimitiveType::LineList, 1, 1), Result::InvalidCall);
    const std::vector<uint32_t> px = Read();
    int lit = 0;
    for (int x = 0; x < int(kW); ++x) {
        if (px[20 * kW + x] == 0xFFFFFF00u) ++lit;
        EXPECT_EQ(px[19 * kW + x], 0xFF000000u) << x;
        EXPECT_EQ(px[21 * kW + x], 0xFF000000u) << x;
    }
    EXPECT_GE(lit, 24);
    EXPECT_LE(lit, 26);
    dev_->SetStreamSource(0, nullptr, 0, 0);
    vb->Release();
}

TEST_F(FixedFunction, DefaultPoolBuffersBlockAResetAndStatesReturnToDefaults) {
    gfx::VertexBuffer* vb = nullptr;
    ASSERT_EQ(dev_->CreateVertexBuffer(168, 0, kScreenFvf, gfx::Pool::Default, &vb), Result::Ok);
    EXPECT_EQ(dev_->Reset(&pp_), Result::InvalidCall);
    vb->Release();
    dev_->SetTextureStageState(2, TextureStageState::ColorOp, gfx::StateValue(TextureOp::Add));
    dev_->SetSamplerState(0, gfx::SamplerState::MinFilter, gfx::StateValue(gfx::TextureFilter::Linear));
    ASSERT_EQ(dev_->Reset(&pp_), Result::Ok);
    uint32_t v = 0;
    dev_->GetTextureStageState(2, TextureStageState::ColorOp, &v);
    EXPECT_EQ(v, gfx::StateValue(TextureOp::Disable));
    dev_->GetTextureStageState(0, TextureStageState::ColorOp, &v);
    EXPECT_EQ(v, gfx::StateValue(TextureOp::Modulate));
    dev_->GetSamplerState(0, gfx::SamplerState::MinFilter, &v);
    EXPECT_EQ(v, gfx::StateValue(gfx::TextureFilter::Point));
    // A managed buffer made and freed many times draws what it was last given.
    for (uint32_t color : {0xFF112233u, 0xFF445566u, 0xFF778899u}) {
        gfx::VertexBuffer* b = nullptr;
        ASSERT_EQ(dev_->CreateVertexBuffer(6 * sizeof(Vertex), 0, kScreenFvf, gfx::Pool::Managed, &b),
                  Result::Ok);
        Vertex* q = nullptr;
        ASSERT_EQ(b->Lock(0, 0, reinterpret_cast<void**>(&q), 0), Result::Ok);
        const float l = -0.5f, t = -0.5f, r = 7.5f, bt = 7.5f;
        const Vertex quad[6] = {{l, t, 1, 1, color, 0, 0},  {l, bt, 1, 1, color, 0, 1},
                                {r, bt, 1, 1, color, 1, 1}, {r, bt, 1, 1, color, 1, 1},
                                {r, t, 1, 1, color, 1, 0},  {l, t, 1, 1, color, 0, 0}};
        std::memcpy(q, quad, sizeof quad);
        b->Unlock();
        dev_->SetRenderState(RenderState::ZEnable, 0);
        dev_->SetRenderState(RenderState::CullMode, gfx::StateValue(gfx::Cull::None));
        dev_->SetFVF(kScreenFvf);
        dev_->SetStreamSource(0, b, 0, sizeof(Vertex));
        ASSERT_EQ(dev_->DrawPrimitive(gfx::PrimitiveType::TriangleList, 0, 2), Result::Ok);
        dev_->SetStreamSource(0, nullptr, 0, 0);
        b->Release();
        EXPECT_EQ(Pixel(3, 3), color);
    }
}

TEST_F(FixedFunction, UpdateSurfaceCopiesARectangleUnscaled) {
    gfx::Surface* s = nullptr;
    ASSERT_EQ(dev_->CreateOffscreenPlainSurface(8, 6, gfx::Format::X8R8G8B8, gfx::Pool::SystemMem, &s),
              Result::Ok);
    gfx::LockedRect lr;
    ASSERT_EQ(s->LockRect(&lr, nullptr, 0), Result::Ok);
    for (uint32_t y = 0; y < 6; ++y) {
        for (uint32_t x = 0; x < 8; ++x) {
            reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(lr.pBits) + y * lr.Pitch)[x] =
                0xFF000000 | x << 20 | y << 4;
        }
    }
    ASSERT_EQ(s->UnlockRect(), Result::Ok);
    gfx::Surface* bb = nullptr;
    ASSERT_EQ(dev_->GetRenderTarget(0, &bb), Result::Ok);
    const gfx::Rect src = {2, 1, 6, 5};
    const gfx::Point at = {40, 30};
    ASSERT_EQ(dev_->UpdateSurface(s, &src, bb, &at), Result::Ok);
    const std::vector<uint32_t> px = Read();
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 4; ++x) {
            EXPECT_EQ(px[size_t(30 + y) * kW + 40 + x],
                      0xFF000000u | uint32_t(2 + x) << 20 | uint32_t(1 + y) << 4)
                << x << "," << y;
        }
    }
    EXPECT_EQ(px[30 * kW + 39], 0xFF000000u);
    EXPECT_EQ(px[34 * kW + 40], 0xFF000000u);
    // A destination that does not fit is refused.
    const gfx::Point late = {62, 0};
    EXPECT_EQ(dev_->UpdateSurface(s, &src, bb, &late), Result::InvalidCall);
    bb->Release();
    s->Release();
}

} // namespace

TEST_F(FixedFunction, SixteenSamplersKeepTheirStates) {
    using gfx::SamplerState;
    struct Case {
        SamplerState state;
        uint32_t defaultValue, value;
    };
    const Case cases[] = {
        {SamplerState::AddressU, gfx::StateValue(gfx::TextureAddress::Wrap), gfx::StateValue(gfx::TextureAddress::Clamp)},
        {SamplerState::AddressV, gfx::StateValue(gfx::TextureAddress::Wrap), gfx::StateValue(gfx::TextureAddress::Mirror)},
        {SamplerState::MagFilter, gfx::StateValue(gfx::TextureFilter::Point), gfx::StateValue(gfx::TextureFilter::Linear)},
        {SamplerState::MinFilter, gfx::StateValue(gfx::TextureFilter::Point),
         gfx::StateValue(gfx::TextureFilter::Anisotropic)},
        {SamplerState::MipFilter, gfx::StateValue(gfx::TextureFilter::None), gfx::StateValue(gfx::TextureFilter::Linear)},
        {SamplerState::MipMapLodBias, gfx::FloatState(0.0f), gfx::FloatState(-1.0f)},
        {SamplerState::MaxAnisotropy, 1, 4},
    };
    for (const Case& c : cases) {
        uint32_t v = 0;
        ASSERT_EQ(dev_->GetSamplerState(15, c.state, &v), Result::Ok);
        EXPECT_EQ(v, c.defaultValue) << uint32_t(c.state);
        ASSERT_EQ(dev_->SetSamplerState(15, c.state, c.value), Result::Ok);
        ASSERT_EQ(dev_->GetSamplerState(15, c.state, &v), Result::Ok);
        EXPECT_EQ(v, c.value) << uint32_t(c.state);
        EXPECT_EQ(dev_->SetSamplerState(16, c.state, c.value), Result::InvalidCall);
    }
    gfx::Texture* tex = MakeTexture(1, 1, {0xFFFFFFFF});
    EXPECT_EQ(dev_->SetTexture(15, tex), Result::Ok);
    EXPECT_EQ(dev_->SetTexture(16, tex), Result::InvalidCall);
    dev_->SetTexture(15, nullptr);
    tex->Release();
    // The stage states stay those of the eight fixed-function stages.
    EXPECT_EQ(dev_->SetTextureStageState(8, TextureStageState::ColorOp, 1), Result::InvalidCall);
    gfx::Caps caps;
    ASSERT_EQ(dev_->GetDeviceCaps(&caps), Result::Ok);
    EXPECT_GE(caps.MaxAnisotropy, 1u);
}

TEST_F(FixedFunction, SamplerFiltersAndLodBiasReachTheDraw) {
    using gfx::SamplerState;
    using gfx::TextureFilter;
    // Level 0 red, level 1 green: the bias picks the level a 1:1 draw reads.
    gfx::Texture* levels = nullptr;
    ASSERT_EQ(dev_->CreateTexture(4, 4, 2, 0, gfx::Format::A8R8G8B8, gfx::Pool::Managed, &levels), Result::Ok);
    for (uint32_t l = 0; l < 2; ++l) {
        gfx::LockedRect lr;
        ASSERT_EQ(levels->LockRect(l, &lr, nullptr, 0), Result::Ok);
        for (uint32_t i = 0; i < levels->Width(l) * levels->Height(l); ++i)
            static_cast<uint32_t*>(lr.pBits)[i] = l == 0 ? 0xFFFF0000 : 0xFF00FF00;
        ASSERT_EQ(levels->UnlockRect(l), Result::Ok);
    }
    // Black and white side by side, stretched over 32 pixels.
    gfx::Texture* pair = MakeTexture(2, 1, {0xFF000000, 0xFFFFFFFF});
    struct Case {
        const char* name;
        gfx::Texture* texture;
        uint32_t filter, mip;
        float bias;
        float right;
        int x;
        uint32_t expected; // 0: a blend strictly between black and white
    };
    const Case cases[] = {
        {"point, no bias", levels, gfx::StateValue(TextureFilter::Point), gfx::StateValue(TextureFilter::Point), 0.0f,
         3.5f, 1, 0xFFFF0000},
        {"point, bias one level", levels, gfx::StateValue(TextureFilter::Point), gfx::StateValue(TextureFilter::Point),
         1.0f, 3.5f, 1, 0xFF00FF00},
        {"point magnification keeps the edge", pair, gfx::StateValue(TextureFilter::Point),
         gfx::StateValue(TextureFilter::None), 0.0f, 31.5f, 15, 0xFF000000},
        {"linear magnification blends", pair, gfx::StateValue(TextureFilter::Linear),
         gfx::StateValue(TextureFilter::None), 0.0f, 31.5f, 15, 0},
        {"anisotropic filters at least linearly", pair, gfx::StateValue(TextureFilter::Anisotropic),
         gfx::StateValue(TextureFilter::None), 0.0f, 31.5f, 15, 0},
    };
    dev_->SetTextureStageState(0, TextureStageState::ColorOp, gfx::StateValue(TextureOp::SelectArg1));
    for (const Case& c : cases) {
        dev_->SetTexture(0, c.texture);
        dev_->SetSamplerState(0, SamplerState::MinFilter, c.filter);
        dev_->SetSamplerState(0, SamplerState::MagFilter, c.filter);
        dev_->SetSamplerState(0, SamplerState::MipFilter, c.mip);
        dev_->SetSamplerState(0, SamplerState::MaxAnisotropy, 4);
        dev_->SetSamplerState(0, SamplerState::MipMapLodBias, gfx::FloatState(c.bias));
        Quad(-0.5f, -0.5f, c.right, 3.5f, 0xFFFFFFFF);
        const uint32_t got = Pixel(c.x, 1);
        if (c.expected) {
            EXPECT_EQ(got, c.expected) << c.name;
        } else {
            EXPECT_GT(got & 0xFF, 0x20u) << c.name;
            EXPECT_LT(got & 0xFF, 0xE0u) << c.name;
        }
    }
    dev_->SetTexture(0, nullptr);
    levels->Release();
    pair->Release();
}
