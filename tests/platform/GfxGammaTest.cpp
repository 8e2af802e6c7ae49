// The gamma ramp on screen: what Present leaves in the window's framebuffer
// goes through the device's ramp, read-backs of the back buffer do not.
#include <gtest/gtest.h>

#include <GL/glcorearb.h>
#include <SDL2/SDL.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "platform/gfx/Device.h"
#include "platform/gfx/gl/GlDevice.h"
#include "platform/window/Window.h"
#include "tests/HeadlessGfx.h"

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
        gfx::PresentParameters pp = Params(kW, kH, 0);
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

    static gfx::PresentParameters Params(uint32_t w, uint32_t h, uint32_t samples) {
        return HeadlessPresentParams(w, h, gfx::Format::D24S8, samples);
    }

    // The back buffer: `top` over the first quarter of the rows, `rest` below.
    void Fill(uint32_t top, uint32_t rest) {
        ASSERT_EQ(dev_->SetViewport({0, 0, w_, h_, 0.0f, 1.0f}), Result::Ok);
        ASSERT_EQ(dev_->Clear(0, nullptr, gfx::clear::Target, rest, 1.0f, 0), Result::Ok);
        ASSERT_EQ(dev_->SetViewport({0, 0, w_, h_ / 4, 0.0f, 1.0f}), Result::Ok);
        ASSERT_EQ(dev_->Clear(0, nullptr, gfx::clear::Target, top, 1.0f, 0), Result::Ok);
        ASSERT_EQ(dev_->SetViewport({0, 0, w_, h_, 0.0f, 1.0f}), Result::Ok);
    }

    std::vector<uint32_t> Presented() {
        EXPECT_EQ(dev_->Present(), Result::Ok);
        uint32_t w = 0, h = 0;
        std::vector<uint32_t> px = dev_->PresentedPicture(&w, &h);
        EXPECT_EQ(w, w_);
        EXPECT_EQ(h, h_);
        return px;
    }

    std::vector<uint32_t> BackBuffer() {
        std::vector<uint32_t> px(w_ * h_, 0);
        gfx::Surface* bb = nullptr;
        EXPECT_EQ(dev_->GetRenderTarget(0, &bb), Result::Ok);
        EXPECT_EQ(dev_->ReadPixels(bb, px.data(), w_), Result::Ok);
        bb->Release();
        return px;
    }

    // Each channel of `shown` is `colour` through the ramp (one step of rounding).
    static void ExpectMapped(uint32_t shown, uint32_t colour, const gfx::GammaRamp& ramp, const char* where) {
        const uint16_t* tables[3] = {ramp.red, ramp.green, ramp.blue};
        const int shifts[3] = {16, 8, 0};
        for (int k = 0; k < 3; ++k) {
            EXPECT_NEAR(double(Channel(shown, shifts[k])),
                        double(Mapped(tables[k], Channel(colour, shifts[k]))), 1.0)
                << where << " channel " << k;
        }
    }

    uint32_t w_ = kW, h_ = kH;

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
        for (const auto& p : probes)
            ExpectMapped(shown[p.index], p.colour, c.ramp, ("pixel " + std::to_string(p.index)).c_str());
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

TEST_F(GammaPresentTest, RampedPictureFollowsTheBackBufferThroughResets) {
    uint32_t quality = 0;
    const bool multisample = d3d_->CheckDeviceMultiSampleType(0, gfx::DeviceType::Hal, gfx::Format::X8R8G8B8,
                                                              false, 4, &quality) == Result::Ok;
    struct Case {
        const char* name;
        uint32_t w, h, samples;
    } cases[] = {
        {"first size", kW, kH, 0},
        {"smaller", kW / 2, kH / 2, 0},
        {"multisampled, resolved first", kW, kH, 4},
        {"first size again", kW, kH, 0},
    };
    const gfx::GammaRamp ramp = PerChannel();
    dev_->SetGammaRamp(0, 0, &ramp);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.samples && !multisample) continue;
        gfx::PresentParameters pp = Params(c.w, c.h, c.samples);
        ASSERT_EQ(dev_->Reset(&pp), Result::Ok);
        w_ = c.w;
        h_ = c.h;
        const uint32_t top = 0xFF20A0E0 + c.w, rest = 0xFFE0A020 + c.h;
        Fill(top, rest);
        const std::vector<uint32_t> shown = Presented();
        ASSERT_EQ(shown.size(), size_t(w_) * h_);
        ExpectMapped(shown[0], top, ramp, "top-left");
        ExpectMapped(shown[w_ - 1], top, ramp, "top-right");
        ExpectMapped(shown[size_t(w_) * (h_ - 1)], rest, ramp, "bottom-left");
        ExpectMapped(shown.back(), rest, ramp, "bottom-right");
    }
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
