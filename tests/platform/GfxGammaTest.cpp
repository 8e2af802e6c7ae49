// The gamma ramp on screen: what Present leaves in the window's framebuffer
// goes through the device's ramp, read-backs of the back buffer do not.
#include <gtest/gtest.h>

#include <GL/glcorearb.h>
#include <SDL2/SDL.h>

#include <cstdlib>
#include <memory>
#include <vector>

#include "platform/gfx/Device.h"
#include "platform/gfx/gl/GlDevice.h"
#include "platform/window/Window.h"

namespace {

using gfx::Result;

constexpr uint32_t kW = 64, kH = 48;

gfx::GammaRamp Inverted() {
    gfx::GammaRamp r;
    for (uint32_t i = 0; i < 256; ++i)
        r.red[i] = r.green[i] = r.blue[i] = uint16_t((255 - i) * 257);
    return r;
}

// Each channel its own curve: red squared, green a constant, blue straight.
gfx::GammaRamp PerChannel() {
    gfx::GammaRamp r = gfx::GammaRamp::Identity();
    for (uint32_t i = 0; i < 256; ++i) {
        r.red[i] = uint16_t(i * i);
        r.green[i] = 0x4000;
    }
    return r;
}

uint32_t Channel(uint32_t argb, int shift) {
    return (argb >> shift) & 0xFF;
}

// What a ramp makes of one channel value on an 8-bit window.
uint32_t Mapped(const uint16_t* table, uint32_t v) {
    return (uint32_t(table[v]) * 255 + 32767) / 65535;
}

class GammaPresentTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { setenv("SDL_VIDEODRIVER", "offscreen", 0); }

    void SetUp() override {
        window::CreateParams p;
        p.title = "gamma test";
        // The headless window's surface keeps the size it was made with.
        p.width = int(kW);
        p.height = int(kH);
        win_ = window::CreateWindow(p);
        ASSERT_NE(win_, nullptr) << window::LastError();
        d3d_ = gfx::CreateInterface();
        ASSERT_NE(d3d_, nullptr);
        gfx::PresentParameters pp;
        pp.BackBufferWidth = kW;
        pp.BackBufferHeight = kH;
        pp.BackBufferFormat = gfx::Format::X8R8G8B8;
        pp.BackBufferCount = 1;
        pp.Windowed = true;
        pp.EnableAutoDepthStencil = true;
        pp.AutoDepthStencilFormat = gfx::Format::D24S8;
        pp.PresentationInterval = gfx::PresentIntervalImmediate;
        ASSERT_EQ(d3d_->CreateDevice(0, gfx::DeviceType::Hal, win_.get(),
                                     gfx::create::HardwareVertexProcessing, &pp, &dev_),
                  Result::Ok);
        dev_->CapturePresented(true);
    }
    void TearDown() override {
        if (dev_) dev_->Release();
        if (d3d_) d3d_->Release();
        win_.reset();
    }

    // The back buffer: `top` over the first quarter of the rows, `rest` below.
    void Fill(uint32_t top, uint32_t rest) {
        ASSERT_EQ(dev_->SetViewport({0, 0, kW, kH, 0.0f, 1.0f}), Result::Ok);
        ASSERT_EQ(dev_->Clear(0, nullptr, gfx::clear::Target, rest, 1.0f, 0), Result::Ok);
        ASSERT_EQ(dev_->SetViewport({0, 0, kW, kH / 4, 0.0f, 1.0f}), Result::Ok);
        ASSERT_EQ(dev_->Clear(0, nullptr, gfx::clear::Target, top, 1.0f, 0), Result::Ok);
        ASSERT_EQ(dev_->SetViewport({0, 0, kW, kH, 0.0f, 1.0f}), Result::Ok);
    }

    std::vector<uint32_t> Presented() {
        EXPECT_EQ(dev_->Present(), Result::Ok);
        uint32_t w = 0, h = 0;
        std::vector<uint32_t> px = dev_->PresentedPicture(&w, &h);
        EXPECT_EQ(w, kW);
        EXPECT_EQ(h, kH);
        return px;
    }

    std::vector<uint32_t> BackBuffer() {
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
};

TEST_F(GammaPresentTest, WindowShowsTheRampAndReadBacksStayUnramped) {
    struct Case {
        const char* name;
        gfx::GammaRamp ramp;
        uint32_t top, rest;
    } cases[] = {
        {"identity", gfx::GammaRamp::Identity(), 0xFF102030, 0xFFC08040},
        {"inverted", Inverted(), 0xFFFF0000, 0xFF00FF80},
        {"per channel", PerChannel(), 0xFF40C0FF, 0xFF806010},
        {"back to identity", gfx::GammaRamp::Identity(), 0xFF0000FF, 0xFF7F7F7F},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        dev_->SetGammaRamp(0, gfx::gamma::Calibrate, &c.ramp);
        Fill(c.top, c.rest);
        const std::vector<uint32_t> shown = Presented();
        ASSERT_EQ(shown.size(), size_t(kW * kH));
        // Top-left lies in the top band, bottom-right below it: the picture keeps its way up.
        const struct {
            size_t index;
            uint32_t colour;
        } probes[] = {
            {0, c.top}, {kW * (kH / 4 - 1) + kW / 2, c.top}, {kW * (kH / 4), c.rest}, {kW * kH - 1, c.rest}};
        for (const auto& p : probes) {
            const uint32_t want[3] = {Mapped(c.ramp.red, Channel(p.colour, 16)),
                                      Mapped(c.ramp.green, Channel(p.colour, 8)),
                                      Mapped(c.ramp.blue, Channel(p.colour, 0))};
            const int shifts[3] = {16, 8, 0};
            for (int k = 0; k < 3; ++k)
                EXPECT_NEAR(double(Channel(shown[p.index], shifts[k])), double(want[k]), 1.0)
                    << "pixel " << p.index << " channel " << k;
        }
        // What the game reads back (screenshots) is the picture it drew.
        const std::vector<uint32_t> back = BackBuffer();
        EXPECT_EQ(back[0], c.top);
        EXPECT_EQ(back[kW * kH - 1], c.rest);
    }
}

TEST_F(GammaPresentTest, IdentityRampPresentsTheBackBufferUnchanged) {
    Fill(0xFF123456, 0xFFFEDCBA);
    EXPECT_EQ(Presented(), BackBuffer());
}

TEST_F(GammaPresentTest, RampTextureIsFilledOnlyWhenTheRampChanges) {
    auto* gl = dynamic_cast<gfx::gl::GlDevice*>(dev_);
    ASSERT_NE(gl, nullptr);
    const gfx::GammaRamp inverted = Inverted(), perChannel = PerChannel();
    struct Step {
        const gfx::GammaRamp* ramp;
        uint32_t uploads; // after the Present
    } steps[] = {{&inverted, 1},   {&inverted, 1}, {&inverted, 1},   {&perChannel, 2},
                 {&perChannel, 2}, {nullptr, 2},   {&perChannel, 2}, {&inverted, 3}};
    const gfx::GammaRamp identity = gfx::GammaRamp::Identity();
    for (size_t i = 0; i < sizeof steps / sizeof steps[0]; ++i) {
        dev_->SetGammaRamp(0, 0, steps[i].ramp ? steps[i].ramp : &identity);
        Fill(0xFF000000, 0xFFFFFFFF);
        ASSERT_EQ(dev_->Present(), Result::Ok);
        EXPECT_EQ(gl->GammaPass().RampUploads(), steps[i].uploads) << "step " << i;
    }
}

TEST_F(GammaPresentTest, RampedPresentLeavesTheRenderStatesInForce) {
    auto getInt = reinterpret_cast<PFNGLGETINTEGERVPROC>(SDL_GL_GetProcAddress("glGetIntegerv"));
    auto isOn = reinterpret_cast<PFNGLISENABLEDPROC>(SDL_GL_GetProcAddress("glIsEnabled"));
    ASSERT_TRUE(getInt && isOn);
    using gfx::RenderState;
    dev_->SetRenderState(RenderState::AlphaBlendEnable, 1);
    dev_->SetRenderState(RenderState::CullMode, gfx::StateValue(gfx::Cull::Cw));
    dev_->SetRenderState(RenderState::ColorWriteEnable, 0x1);
    dev_->SetRenderState(RenderState::FillMode, gfx::StateValue(gfx::FillMode::Wireframe));
    dev_->SetRenderState(RenderState::StencilEnable, 1);
    dev_->SetRenderState(RenderState::ScissorTestEnable, 1);
    dev_->ApplyRenderStates();
    ASSERT_EQ(dev_->SetViewport({4, 8, 16, 12, 0.0f, 1.0f}), Result::Ok);
    const gfx::GammaRamp ramp = Inverted();
    dev_->SetGammaRamp(0, 0, &ramp);
    ASSERT_EQ(dev_->Present(), Result::Ok);

    EXPECT_TRUE(isOn(GL_BLEND));
    EXPECT_TRUE(isOn(GL_CULL_FACE));
    EXPECT_TRUE(isOn(GL_STENCIL_TEST));
    EXPECT_TRUE(isOn(GL_SCISSOR_TEST));
    EXPECT_TRUE(isOn(GL_DEPTH_TEST));
    GLint mask[4] = {};
    getInt(GL_COLOR_WRITEMASK, mask);
    EXPECT_EQ(mask[0], 1);
    EXPECT_EQ(mask[1], 0);
    GLint mode[2] = {};
    getInt(GL_POLYGON_MODE, mode);
    EXPECT_EQ(mode[0], GL_LINE);
    GLint vp[4] = {};
    getInt(GL_VIEWPORT, vp);
    EXPECT_EQ(vp[0], 4);
    EXPECT_EQ(vp[2], 16);
    EXPECT_EQ(vp[3], 12);
    // Drawing goes on into the back buffer, not the window.
    GLint draw = -1;
    getInt(GL_DRAW_FRAMEBUFFER_BINDING, &draw);
    EXPECT_NE(draw, 0);
}

} // namespace
