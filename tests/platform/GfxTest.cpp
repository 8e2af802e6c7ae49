#include <gtest/gtest.h>

#include <GL/glcorearb.h>
#include <SDL2/SDL.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <vector>

#include "platform/gfx/Device.h"
#include "platform/gfx/RenderStateCache.h"
#include "platform/os/Os.h"
#include "platform/window/Window.h"
#include "tests/HeadlessGfx.h"

namespace {

using gfx::RenderState;
using gfx::Result;

// ---- The shadow state, without a device -------------------------------------

std::vector<RenderState> ApplyAll(gfx::RenderStateCache& c) {
    std::vector<RenderState> sent;
    c.Apply([&](RenderState s, uint32_t) { sent.push_back(s); });
    return sent;
}

TEST(RenderStateCache, FirstApplySendsEveryStateThenNothing) {
    gfx::RenderStateCache c;
    EXPECT_EQ(ApplyAll(c).size(), gfx::RenderStateCount);
    EXPECT_TRUE(ApplyAll(c).empty());
    c.ResetToDefaults();
    EXPECT_EQ(ApplyAll(c).size(), gfx::RenderStateCount);
}

TEST(RenderStateCache, SendsOnlyDifferencesInFirstSetOrder) {
    struct Set {
        RenderState state;
        uint32_t value;
    };
    struct Case {
        const char* name;
        std::vector<Set> sets;
        std::vector<RenderState> sent;
    } cases[] = {
        {"one change", {{RenderState::ZFunc, 2}}, {RenderState::ZFunc}},
        {"set to the value held", {{RenderState::ZEnable, 1}}, {}},
        {"changed and changed back", {{RenderState::ZFunc, 2}, {RenderState::ZFunc, 4}}, {}},
        {"order of first set",
         {{RenderState::Lighting, 0}, {RenderState::CullMode, 1}, {RenderState::Lighting, 0}},
         {RenderState::Lighting, RenderState::CullMode}},
        {"last value wins",
         {{RenderState::AlphaRef, 5}, {RenderState::AlphaRef, 128}},
         {RenderState::AlphaRef}},
    };
    for (const Case& c : cases) {
        gfx::RenderStateCache cache;
        ApplyAll(cache);
        for (const Set& s : c.sets)
            cache.Set(s.state, s.value);
        EXPECT_EQ(ApplyAll(cache), c.sent) << c.name;
        for (const Set& s : c.sets)
            EXPECT_EQ(cache.Applied(s.state), cache.Get(s.state)) << c.name;
    }
}

TEST(RenderStateCache, DefaultsAreDirect3DDefaults) {
    struct Case {
        RenderState state;
        uint32_t value;
    } cases[] = {
        {RenderState::ZEnable, 1},
        {RenderState::ZWriteEnable, 1},
        {RenderState::ZFunc, gfx::StateValue(gfx::Cmp::LessEqual)},
        {RenderState::FillMode, gfx::StateValue(gfx::FillMode::Solid)},
        {RenderState::ShadeMode, gfx::StateValue(gfx::ShadeMode::Gouraud)},
        {RenderState::CullMode, gfx::StateValue(gfx::Cull::Ccw)},
        {RenderState::Lighting, 1},
        {RenderState::Clipping, 1},
        {RenderState::DitherEnable, 0},
        {RenderState::AlphaFunc, gfx::StateValue(gfx::Cmp::Always)},
        {RenderState::SrcBlend, gfx::StateValue(gfx::Blend::One)},
        {RenderState::DestBlend, gfx::StateValue(gfx::Blend::Zero)},
        {RenderState::FogEnd, gfx::FloatState(1.0f)},
        {RenderState::FogVertexMode, gfx::StateValue(gfx::FogMode::None)},
        {RenderState::StencilWriteMask, 0xFFFFFFFFu},
        {RenderState::ColorWriteEnable, 0xFu},
    };
    gfx::RenderStateCache c;
    for (const Case& k : cases)
        EXPECT_EQ(c.Get(k.state), k.value) << int(k.state);
    c.ResetToDefaults(false);
    EXPECT_EQ(c.Get(RenderState::ZEnable), 0u);
}

// ---- The real device, headless ----------------------------------------------

constexpr uint32_t kW = 64, kH = 48;
constexpr uint32_t kRed = 0xFFFF0000, kBlue = 0xFF0000FF, kGreen = 0xFF00FF00;

class DeviceTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { setenv("SDL_VIDEODRIVER", "offscreen", 0); }

    void SetUp() override {
        window::CreateParams p;
        p.title = "gfx test";
        win_ = window::CreateWindow(p);
        ASSERT_NE(win_, nullptr) << window::LastError();
        d3d_ = gfx::CreateInterface();
        ASSERT_NE(d3d_, nullptr);
        pp_ = Params(gfx::Format::D24S8);
        ASSERT_EQ(d3d_->CreateDevice(0, gfx::DeviceType::Hal, win_.get(),
                                     gfx::create::HardwareVertexProcessing, &pp_, &dev_),
                  Result::Ok);
    }
    void TearDown() override {
        if (dev_) dev_->Release();
        if (d3d_) d3d_->Release();
        win_.reset();
    }

    gfx::PresentParameters Params(gfx::Format depth, uint32_t samples = 0) {
        return HeadlessPresentParams(kW, kH, depth, samples);
    }

    std::vector<uint32_t> Read() {
        std::vector<uint32_t> px(kW * kH, 0);
        gfx::Surface* bb = nullptr;
        EXPECT_EQ(dev_->GetRenderTarget(0, &bb), Result::Ok);
        EXPECT_EQ(dev_->ReadPixels(bb, px.data(), kW), Result::Ok);
        bb->Release();
        return px;
    }

    std::unique_ptr<window::Window> win_;
    gfx::Interface* d3d_ = nullptr;
    gfx::Device* dev_ = nullptr;
    gfx::PresentParameters pp_;
};

TEST_F(DeviceTest, ReportsShaderModel3AndAdapterNames) {
    gfx::Caps caps;
    ASSERT_EQ(dev_->GetDeviceCaps(&caps), Result::Ok);
    EXPECT_EQ(caps.PixelShaderVersion, gfx::PixelShaderVersion(3, 0));
    EXPECT_EQ(gfx::ShaderMajor(caps.PixelShaderVersion), 3u);
    gfx::AdapterIdentifier id;
    ASSERT_EQ(d3d_->GetAdapterIdentifier(0, 0, &id), Result::Ok);
    EXPECT_NE(std::string(id.Driver).find("OpenGL"), std::string::npos);
    EXPECT_GT(std::strlen(id.Description), 0u);
    uint64_t total = 0, free = 0;
    d3d_->QueryVideoMemory(&total, &free);
    EXPECT_GT(total, 0u);
}

TEST_F(DeviceTest, DepthFormatsThatGlStoresPassTheFormatChecks) {
    struct Case {
        gfx::Format format;
        bool supported;
    } cases[] = {{gfx::Format::D16, true},      {gfx::Format::D24X8, true},  {gfx::Format::D24S8, true},
                 {gfx::Format::D32, true},      {gfx::Format::D15S1, false}, {gfx::Format::D24X4S4, false},
                 {gfx::Format::X8R8G8B8, false}};
    for (const Case& c : cases) {
        Result fmt = d3d_->CheckDeviceFormat(0, gfx::DeviceType::Hal, gfx::Format::X8R8G8B8,
                                             gfx::usage::DepthStencil, gfx::ResourceType::Surface, c.format);
        Result match = d3d_->CheckDepthStencilMatch(0, gfx::DeviceType::Hal, gfx::Format::X8R8G8B8,
                                                    gfx::Format::X8R8G8B8, c.format);
        EXPECT_EQ(fmt == Result::Ok, c.supported) << int(c.format);
        EXPECT_EQ(match == Result::Ok, c.supported) << int(c.format);
    }
}

TEST_F(DeviceTest, ClearFillsTheViewportAndReadBackIsTopDown) {
    ASSERT_EQ(dev_->Clear(0, nullptr, gfx::clear::Target, kBlue, 1.0f, 0), Result::Ok);
    gfx::Viewport top{0, 0, kW, kH / 4, 0.0f, 1.0f};
    ASSERT_EQ(dev_->SetViewport(top), Result::Ok);
    ASSERT_EQ(dev_->Clear(0, nullptr, gfx::clear::Target, kRed, 1.0f, 0), Result::Ok);
    // A rectangle is cut to the viewport: this one reaches below it.
    gfx::Rect r{0, 0, 8, int32_t(kH)};
    ASSERT_EQ(dev_->Clear(1, &r, gfx::clear::Target, kGreen, 1.0f, 0), Result::Ok);
    auto px = Read();
    EXPECT_EQ(px[0], kGreen);                     // top-left, inside rect and viewport
    EXPECT_EQ(px[20], kRed);                      // top row, outside the rect
    EXPECT_EQ(px[(kH / 4) * kW], kBlue);          // first row below the viewport
    EXPECT_EQ(px[(kH - 1) * kW + kW - 1], kBlue); // bottom-right
}

TEST_F(DeviceTest, StencilClearNeedsAStencilFormat) {
    struct Case {
        gfx::Format depth;
        Result stencilClear;
    } cases[] = {{gfx::Format::D24S8, Result::Ok},
                 {gfx::Format::D16, Result::InvalidCall},
                 {gfx::Format::D24X8, Result::InvalidCall},
                 {gfx::Format::D32, Result::InvalidCall}};
    for (const Case& c : cases) {
        gfx::PresentParameters p = Params(c.depth);
        ASSERT_EQ(dev_->Reset(&p), Result::Ok) << int(c.depth);
        ASSERT_EQ(dev_->Clear(0, nullptr, gfx::clear::Target, kBlue, 1.0f, 0), Result::Ok);
        EXPECT_EQ(dev_->Clear(0, nullptr, gfx::clear::Target | gfx::clear::ZBuffer | gfx::clear::Stencil,
                              kRed, 1.0f, 0),
                  c.stencilClear)
            << int(c.depth);
        // A refused clear clears nothing.
        EXPECT_EQ(Read()[0], c.stencilClear == Result::Ok ? kRed : kBlue) << int(c.depth);
    }
}

TEST_F(DeviceTest, ResetRefusedWhileTheBackBufferIsHeld) {
    gfx::Surface* bb = nullptr;
    ASSERT_EQ(dev_->GetRenderTarget(0, &bb), Result::Ok);
    gfx::PresentParameters p = Params(gfx::Format::D24S8);
    EXPECT_EQ(dev_->Reset(&p), Result::InvalidCall);
    EXPECT_EQ(dev_->TestCooperativeLevel(), Result::DeviceNotReset);
    bb->Release();
    EXPECT_EQ(dev_->Reset(&p), Result::Ok);
    EXPECT_EQ(dev_->TestCooperativeLevel(), Result::Ok);
}

// A reset asking for the back buffer the device has keeps it (the first
// reset after creation does); one of another shape gets a new one.
TEST_F(DeviceTest, AResetKeepsTheBackBufferWhenItsShapeIsUnchanged) {
    ASSERT_EQ(dev_->Clear(0, nullptr, gfx::clear::Target, kRed, 1.0f, 0), Result::Ok);
    gfx::PresentParameters p = Params(gfx::Format::D24S8);
    ASSERT_EQ(dev_->Reset(&p), Result::Ok);
    EXPECT_EQ(Read()[0], kRed);
    p = Params(gfx::Format::D16);
    ASSERT_EQ(dev_->Reset(&p), Result::Ok);
    EXPECT_EQ(dev_->Clear(0, nullptr, gfx::clear::Target | gfx::clear::Stencil, kBlue, 1.0f, 0),
              Result::InvalidCall); // no stencil in the new depth buffer
    ASSERT_EQ(dev_->Clear(0, nullptr, gfx::clear::Target | gfx::clear::ZBuffer, kGreen, 1.0f, 0), Result::Ok);
    EXPECT_EQ(Read()[kW * kH - 1], kGreen);
}

TEST_F(DeviceTest, SimulatedLossRunsLostThenNotResetUntilReset) {
    dev_->SimulateDeviceLoss(2);
    EXPECT_EQ(dev_->TestCooperativeLevel(), Result::DeviceLost);
    gfx::PresentParameters p = Params(gfx::Format::D24S8);
    EXPECT_EQ(dev_->Reset(&p), Result::DeviceLost);
    EXPECT_EQ(dev_->Present(), Result::DeviceLost);
    EXPECT_EQ(dev_->TestCooperativeLevel(), Result::DeviceNotReset);
    dev_->FailNextReset(Result::OutOfVideoMemory);
    EXPECT_EQ(dev_->Reset(&p), Result::OutOfVideoMemory);
    EXPECT_EQ(dev_->TestCooperativeLevel(), Result::DeviceNotReset);
    uint32_t before = dev_->ResetCount();
    EXPECT_EQ(dev_->Reset(&p), Result::Ok);
    EXPECT_EQ(dev_->ResetCount(), before + 1);
    EXPECT_EQ(dev_->TestCooperativeLevel(), Result::Ok);
    EXPECT_EQ(dev_->Present(), Result::Ok);
}

TEST_F(DeviceTest, ResetPutsRenderStatesBackToDefaults) {
    dev_->SetRenderState(RenderState::Lighting, 0);
    dev_->SetRenderState(RenderState::ZFunc, gfx::StateValue(gfx::Cmp::Greater));
    gfx::PresentParameters p = Params(gfx::Format::D16);
    ASSERT_EQ(dev_->Reset(&p), Result::Ok);
    uint32_t v = 0;
    dev_->GetRenderState(RenderState::Lighting, &v);
    EXPECT_EQ(v, 1u);
    dev_->GetRenderState(RenderState::ZFunc, &v);
    EXPECT_EQ(v, gfx::StateValue(gfx::Cmp::LessEqual));
}

TEST_F(DeviceTest, StatesReachGlAndClearPutsMasksBack) {
    auto getInt = reinterpret_cast<PFNGLGETINTEGERVPROC>(SDL_GL_GetProcAddress("glGetIntegerv"));
    auto isOn = reinterpret_cast<PFNGLISENABLEDPROC>(SDL_GL_GetProcAddress("glIsEnabled"));
    ASSERT_TRUE(getInt && isOn);
    dev_->SetRenderState(RenderState::ZFunc, gfx::StateValue(gfx::Cmp::Greater));
    dev_->SetRenderState(RenderState::CullMode, gfx::StateValue(gfx::Cull::Cw));
    dev_->SetRenderState(RenderState::AlphaBlendEnable, 1);
    dev_->SetRenderState(RenderState::SrcBlend, gfx::StateValue(gfx::Blend::SrcAlpha));
    dev_->SetRenderState(RenderState::DestBlend, gfx::StateValue(gfx::Blend::InvSrcAlpha));
    dev_->SetRenderState(RenderState::ColorWriteEnable, 0x1); // red only
    dev_->SetRenderState(RenderState::ZWriteEnable, 0);
    // Clear writes every channel whatever the masks say, then restores them.
    ASSERT_EQ(dev_->Clear(0, nullptr, gfx::clear::Target | gfx::clear::ZBuffer, kBlue, 1.0f, 0), Result::Ok);
    EXPECT_EQ(Read()[0], kBlue);
    GLint v = 0;
    getInt(GL_DEPTH_FUNC, &v);
    EXPECT_EQ(v, GL_GREATER);
    EXPECT_TRUE(isOn(GL_CULL_FACE));
    getInt(GL_CULL_FACE_MODE, &v);
    EXPECT_EQ(v, GL_FRONT);
    EXPECT_TRUE(isOn(GL_BLEND));
    getInt(GL_BLEND_SRC_RGB, &v);
    EXPECT_EQ(v, GL_SRC_ALPHA);
    getInt(GL_BLEND_DST_ALPHA, &v);
    EXPECT_EQ(v, GL_ONE_MINUS_SRC_ALPHA);
    GLint mask[4] = {};
    getInt(GL_COLOR_WRITEMASK, mask);
    EXPECT_EQ(mask[0], 1);
    EXPECT_EQ(mask[1], 0);
    GLint depthMask = 1;
    getInt(GL_DEPTH_WRITEMASK, &depthMask);
    EXPECT_EQ(depthMask, 0);
    EXPECT_FALSE(isOn(GL_SCISSOR_TEST));
}

TEST_F(DeviceTest, ScreenshotIsAnUprightBmp) {
    ASSERT_EQ(dev_->Clear(0, nullptr, gfx::clear::Target, kBlue, 1.0f, 0), Result::Ok);
    gfx::Viewport top{0, 0, kW, kH / 2, 0.0f, 1.0f};
    dev_->SetViewport(top);
    ASSERT_EQ(dev_->Clear(0, nullptr, gfx::clear::Target, kRed, 1.0f, 0), Result::Ok);

    namespace fs = std::filesystem;
    fs::path dir = fs::temp_directory_path() / ("zt_gfx_shot_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    std::string saved = os::StartDirectory();
    os::SetStartDirectory(dir.string());
    gfx::Surface* bb = nullptr;
    ASSERT_EQ(dev_->GetRenderTarget(0, &bb), Result::Ok);
    EXPECT_EQ(dev_->SaveSurfaceToFile("zt_screen0000.bmp", bb), Result::Ok);
    bb->Release();
    os::SetStartDirectory(saved);

    std::ifstream in(dir / "zt_screen0000.bmp", std::ios::binary);
    std::vector<uint8_t> b((std::istreambuf_iterator<char>(in)), {});
    fs::remove_all(dir);
    const uint32_t rowBytes = (kW * 3 + 3) & ~3u;
    ASSERT_EQ(b.size(), 54 + rowBytes * kH);
    auto u32 = [&](size_t o) {
        return uint32_t(b[o] | b[o + 1] << 8 | b[o + 2] << 16 | uint32_t(b[o + 3]) << 24);
    };
    EXPECT_EQ(b[0], 'B');
    EXPECT_EQ(b[1], 'M');
    EXPECT_EQ(u32(18), kW);
    EXPECT_EQ(u32(22), kH); // positive height: rows stored bottom-up
    EXPECT_EQ(b[28], 24);
    // The first stored row is the bottom of the screen (blue), the last the top (red).
    EXPECT_EQ(b[54 + 0], 0xFF);
    EXPECT_EQ(b[54 + 2], 0x00);
    size_t last = 54 + rowBytes * (kH - 1);
    EXPECT_EQ(b[last + 0], 0x00);
    EXPECT_EQ(b[last + 2], 0xFF);
}

TEST_F(DeviceTest, MultisampledBackBufferReadsBackResolved) {
    uint32_t quality = 0;
    if (d3d_->CheckDeviceMultiSampleType(0, gfx::DeviceType::Hal, gfx::Format::X8R8G8B8, false, 4,
                                         &quality) != Result::Ok) {
        GTEST_SKIP() << "no 4-sample support";
    }
    gfx::PresentParameters p = Params(gfx::Format::D24S8, 4);
    ASSERT_EQ(dev_->Reset(&p), Result::Ok);
    ASSERT_EQ(dev_->Clear(0, nullptr, gfx::clear::Target | gfx::clear::ZBuffer | gfx::clear::Stencil, kGreen,
                          1.0f, 0),
              Result::Ok);
    EXPECT_EQ(Read()[kW * kH / 2], kGreen);
    EXPECT_EQ(dev_->Present(), Result::Ok);
}

TEST_F(DeviceTest, VertexDeclarationsKeepElementsAndStride) {
    const gfx::VertexElement elems[] = {
        {0, 0, gfx::elemtype::Float3, 0, gfx::elemusage::Position, 0},
        {0, 12, gfx::elemtype::Float3, 0, gfx::elemusage::Normal, 0},
        {0, 24, gfx::elemtype::Float2, 0, gfx::elemusage::TexCoord, 0},
        {1, 0, gfx::elemtype::Color, 0, gfx::elemusage::Color, 0},
        gfx::DeclEnd,
    };
    gfx::VertexDeclaration* decl = nullptr;
    ASSERT_EQ(dev_->CreateVertexDeclaration(elems, &decl), Result::Ok);
    EXPECT_EQ(decl->Elements().size(), 4u);
    EXPECT_EQ(decl->Stride(0), 32u);
    EXPECT_EQ(decl->Stride(1), 4u);
    decl->Release();
    const gfx::VertexElement bad[] = {{0, 0, 99, 0, 0, 0}, gfx::DeclEnd};
    EXPECT_EQ(dev_->CreateVertexDeclaration(bad, &decl), Result::InvalidCall);
}

TEST_F(DeviceTest, BeginAndEndScenePair) {
    EXPECT_EQ(dev_->EndScene(), Result::InvalidCall);
    EXPECT_EQ(dev_->BeginScene(), Result::Ok);
    EXPECT_EQ(dev_->BeginScene(), Result::InvalidCall);
    EXPECT_EQ(dev_->EndScene(), Result::Ok);
}

TEST_F(DeviceTest, InjectedCreateFailuresAreCountedDown) {
    d3d_->FailNextCreateDevice(2);
    gfx::Device* other = nullptr;
    gfx::PresentParameters p = Params(gfx::Format::D16);
    EXPECT_EQ(d3d_->CreateDevice(0, gfx::DeviceType::Hal, win_.get(), 0, &p, &other), Result::NotAvailable);
    EXPECT_EQ(d3d_->CreateDevice(0, gfx::DeviceType::Hal, win_.get(), 0, &p, &other), Result::NotAvailable);
    EXPECT_EQ(other, nullptr);
}

} // namespace
