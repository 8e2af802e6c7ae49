// The engine's device hooks on a real headless device: screenshots of the
// back buffer, and the camera's projection, view and gamma ramp reaching
// the device.
#include <gtest/gtest.h>

#include <fstream>

#include "app/D3DMain.h"
#include "platform/math/Math.h"
#include "tests/app/D3DMainFixture.h"
#include "world/Camera.h"
#include "world/Engine.h"

class EngineDeviceTest : public D3DMainFixture {};

TEST_F(EngineDeviceTest, ScreenshotsAreNumberedBitmapsOfTheBackBuffer) {
    // Without a device nothing is written.
    g_Engine.m_bScreenshotRequest = 1;
    g_Engine.SaveScreenshot();
    EXPECT_EQ(g_Engine.m_bScreenshotRequest, 0);
    EXPECT_FALSE(Exists("zt_screen0000.bmp"));

    CreateAndStart();
    g_pD3DInterface->Clear(0, nullptr, gfx::clear::Target, 0xFF2040A0, 1.0f, 0);
    g_Engine.SaveScreenshot();
    g_Engine.SaveScreenshot();
    ASSERT_TRUE(Exists("zt_screen0000.bmp"));
    ASSERT_TRUE(Exists("zt_screen0001.bmp"));
    const std::string bmp = ReadFile("zt_screen0000.bmp");
    ASSERT_GT(bmp.size(), 54u);
    EXPECT_EQ(bmp.substr(0, 2), "BM");
    auto u32 = [&](size_t at) {
        return uint32_t(uint8_t(bmp[at])) | uint32_t(uint8_t(bmp[at + 1])) << 8 |
               uint32_t(uint8_t(bmp[at + 2])) << 16 | uint32_t(uint8_t(bmp[at + 3])) << 24;
    };
    EXPECT_EQ(u32(18), kW);
    EXPECT_EQ(u32(22), kH);
    // The first pixel (blue, green, red) is the clear colour.
    const size_t pixels = u32(10);
    EXPECT_EQ(uint8_t(bmp[pixels]), 0xA0);
    EXPECT_EQ(uint8_t(bmp[pixels + 1]), 0x40);
    EXPECT_EQ(uint8_t(bmp[pixels + 2]), 0x20);

    // With every name taken, the last one is written again.
    for (int n = 2; n < 1000; ++n) {
        char name[32];
        std::snprintf(name, sizeof name, "zt_screen%04d.bmp", n);
        std::ofstream(root_ / name) << "x";
    }
    g_Engine.SaveScreenshot();
    EXPECT_EQ(ReadFile("zt_screen0999.bmp").substr(0, 2), "BM");
    EXPECT_FALSE(Exists("zt_screen1000.bmp"));
}

TEST_F(EngineDeviceTest, TheCameraSetsItsTransformsAndGammaRampOnTheDevice) {
    CreateAndStart();
    ECamera camera;
    camera.SetFarZ(2000.0f);
    math::Matrix m;
    ASSERT_EQ(g_pD3DInterface->GetTransform(gfx::TransformState::Projection, &m), gfx::Result::Ok);
    EXPECT_EQ(m, camera.Projection());
    camera.SetPosition({1, 2, 3});
    ASSERT_EQ(g_pD3DInterface->GetTransform(gfx::TransformState::View, &m), gfx::Result::Ok);
    EXPECT_EQ(m, camera.View());

    camera.SetGamma(2.0f);
    camera.SetGammaR(0.7f);
    gfx::GammaRamp expected, onDevice;
    camera.BuildGammaRamp(&expected);
    g_pD3DInterface->GetGammaRamp(0, &onDevice);
    EXPECT_TRUE(onDevice == expected);
    EXPECT_FALSE(g_pD3DInterface->GammaRampIsIdentity());
    camera.SetGamma(1.0f);
    EXPECT_TRUE(g_pD3DInterface->GammaRampIsIdentity());
}

// The scene's effects leave their shader program on the device; the draws
// after the renderer's (plants, effects, sprites, lasers) are fixed-function.
TEST_F(EngineDeviceTest, TheWorldRenderLeavesNoShaderProgramAfterTheScene) {
    CreateAndStart();
    gfx::Program* program = new gfx::Program;
    g_pD3DInterface->SetProgram(program);
    program->Release(); // the device holds the last reference
    g_Engine.Render();
    EXPECT_EQ(g_pD3DInterface->GetProgram(), nullptr);
}
