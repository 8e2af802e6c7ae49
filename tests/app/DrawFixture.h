// A real device headless at a chosen screen size, published as the
// program's device, with the demo data's pictures and textures in a scratch
// data directory. Screenshots are read back from the back buffer; when
// ZT_DRAW_SHOTS names a directory, each one is also saved there as a BMP.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "app/D3DMain.h"
#include "app/Options.h"
#include "platform/gfx/Draw.h"
#include "platform/os/Os.h"
#include "platform/window/Window.h"
#include "render/Renderer.h"
#include "tests/HeadlessGfx.h"
#include "tests/TestDir.h"

class DrawFixture : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        setenv("ZT_UNATTENDED", "1", 1);
    }

    // Screen size of the device; tests may override before SetUp.
    uint32_t width_ = 1024, height_ = 768;

    void SetUp() override {
        dir_ = FreshTestDir("zt_draw_");
        std::filesystem::copy(std::filesystem::path(ZT_SOURCE_DIR) / "data" / "misc", dir_ / "misc",
                              std::filesystem::copy_options::recursive);
        std::filesystem::copy(std::filesystem::path(ZT_SOURCE_DIR) / "data" / "scripts", dir_ / "scripts",
                              std::filesystem::copy_options::recursive);
        oldDir_ = os::StartDirectory();
        os::SetStartDirectory(dir_.string());
        g_Renderer.ReleaseTexturePaths();
        g_Renderer.Init();

        savedW_ = screenwidth;
        savedH_ = screenheight;
        savedSX_ = g_f2DScaleX;
        savedSY_ = g_f2DScaleY;
        screenwidth = width_;
        screenheight = height_;
        g_f2DScaleX = float(width_) / 1024.0f;
        g_f2DScaleY = float(height_) / 768.0f;

        window::CreateParams p;
        p.title = "draw test";
        win_ = window::CreateWindow(p);
        ASSERT_NE(win_, nullptr) << window::LastError();
        d3d_ = gfx::CreateInterface();
        ASSERT_NE(d3d_, nullptr);
        gfx::PresentParameters pp = HeadlessPresentParams(width_, height_);
        ASSERT_EQ(d3d_->CreateDevice(0, gfx::DeviceType::Hal, win_.get(),
                                     gfx::create::HardwareVertexProcessing, &pp, &dev_),
                  gfx::Result::Ok);
        g_pD3DInterface = dev_;
    }

    void TearDown() override {
        g_Renderer.ReleaseTextures();
        g_pD3DInterface = nullptr;
        if (dev_) dev_->Release();
        if (d3d_) d3d_->Release();
        win_.reset();
        screenwidth = savedW_;
        screenheight = savedH_;
        g_f2DScaleX = savedSX_;
        g_f2DScaleY = savedSY_;
        os::SetStartDirectory(oldDir_);
        std::filesystem::remove_all(dir_);
    }

    void Clear(uint32_t color) {
        dev_->Clear(0, nullptr, gfx::clear::Target | gfx::clear::ZBuffer, color, 1.0f, 0);
    }

    // The back buffer, rows top-down; saved under ZT_DRAW_SHOTS when set.
    std::vector<uint32_t> Screenshot(const char* name) {
        std::vector<uint32_t> px(size_t(width_) * height_, 0);
        gfx::Surface* bb = nullptr;
        EXPECT_EQ(dev_->GetRenderTarget(0, &bb), gfx::Result::Ok);
        EXPECT_EQ(dev_->ReadPixels(bb, px.data(), width_), gfx::Result::Ok);
        if (const char* shots = std::getenv("ZT_DRAW_SHOTS")) {
            const std::string file = std::string(shots) + "/" + name + ".bmp";
            std::filesystem::create_directories(shots);
            EXPECT_EQ(dev_->SaveSurfaceToFile(file.c_str(), bb), gfx::Result::Ok);
        }
        bb->Release();
        return px;
    }

    std::string ReadFile(const char* name) const {
        std::ifstream in(dir_ / name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    std::filesystem::path dir_;
    std::string oldDir_;
    std::unique_ptr<window::Window> win_;
    gfx::Interface* d3d_ = nullptr;
    gfx::Device* dev_ = nullptr;
    uint32_t savedW_ = 0, savedH_ = 0;
    float savedSX_ = 1, savedSY_ = 1;
};

// Channels of packed ARGB.
inline int Red(uint32_t c) {
    return int((c >> 16) & 0xFF);
}
inline int Green(uint32_t c) {
    return int((c >> 8) & 0xFF);
}
inline int Blue(uint32_t c) {
    return int(c & 0xFF);
}

// Counts the pixels of a rectangle for which `test` holds.
template <typename F>
int CountPixels(const std::vector<uint32_t>& px, uint32_t width, int x0, int y0, int x1, int y1, F test) {
    int n = 0;
    for (int y = y0; y < y1; ++y) {
        for (int x = x0; x < x1; ++x) {
            if (test(px[size_t(y) * width + x])) ++n;
        }
    }
    return n;
}
