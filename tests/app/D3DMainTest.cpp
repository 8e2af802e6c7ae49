#include <gtest/gtest.h>

#include <string>

#include "app/D3DMain.h"
#include "app/Options.h"
#include "app/VideoConfig.h"
#include "game/Menu.h"
#include "tests/app/D3DMainFixture.h"

namespace {

using gfx::Format;
using gfx::RenderState;

class D3DMainTest : public D3DMainFixture {};

TEST_F(D3DMainTest, StencilSearchTakesTheFirstFormatAllowedAndSupported) {
    struct Case {
        uint32_t depth, stencil;
        bool found;
        Format format;
    } cases[] = {
        {15, 4, true, Format::D24S8}, // D24S8 before D24X4S4
        {15, 1, true, Format::D24S8}, // D15S1 has no GL storage
        {16, 0, true, Format::D16},      {17, 0, true, Format::D24X8}, {24, 8, true, Format::D24S8},
        {25, 0, true, Format::D32},      {32, 0, true, Format::D32},   {15, 9, false, Format::Unknown},
        {33, 0, false, Format::Unknown},
    };
    g_D3DMain.m_pD3D = g_pD3D;
    for (const Case& c : cases) {
        g_D3DMain.m_dwMinDepthBits = c.depth;
        g_D3DMain.m_dwMinStencilBits = c.stencil;
        Format f = Format::Unknown;
        EXPECT_EQ(g_D3DMain.FindStencilFormat(Format::X8R8G8B8, &f), c.found) << c.depth << "/" << c.stencil;
        if (c.found) {
            EXPECT_EQ(f, c.format) << c.depth << "/" << c.stencil;
        }
    }
    g_D3DMain.m_pD3D = nullptr;
}

TEST_F(D3DMainTest, CreationFallsBackThreeTimesThenGivesUp) {
    struct Case {
        uint32_t failures;
        bool created;
        bool noLight;
        std::vector<std::string> lines;
    } cases[] = {
        {0, true, false, {}},
        {1, true, false, {"First Create failed, checking for different format"}},
        {2,
         true,
         false,
         {"First Create failed, checking for different format",
          "Second Create failed, checking for last different format"}},
        {3,
         true,
         true,
         {"Second Create failed, checking for last different format", "Switching to no light mode",
          "Your video hardware seems to be not compatible with hardware TnL",
          "You will not have light in the game, sorry."}},
        {4, false, true, {"You will not have light in the game, sorry."}},
    };
    for (const Case& c : cases) {
        NoLightMode = false;
        std::filesystem::remove(root_ / "!console.txt");
        std::filesystem::remove(root_ / "!error.txt");
        g_pD3D->FailNextCreateDevice(c.failures);
        ::testing::internal::CaptureStderr();
        const bool created = g_D3DMain.Create(win_.get());
        const std::string err = ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(created, c.created) << c.failures;
        EXPECT_EQ(g_D3DMain.m_bCreated, c.created) << c.failures;
        EXPECT_EQ(NoLightMode, c.noLight) << c.failures;
        for (const std::string& line : c.lines)
            EXPECT_TRUE(Logged(line)) << c.failures << ": " << line;
        if (c.created) {
            EXPECT_FALSE(Exists("!error.txt")) << c.failures;
            EXPECT_NE(g_pD3DInterface, nullptr);
            EXPECT_TRUE(Logged("PixelShader model 3.0 detected."));
        } else {
            EXPECT_EQ(ReadFile("!error.txt"), "First CreateDevice failed\n");
            EXPECT_EQ(err.rfind("Tovan: ", 0), 0u) << err; // the >NoMode box, on stderr when unattended
            EXPECT_EQ(g_pD3DInterface, nullptr);
        }
        gfx::Interface* keep = g_pD3D;
        keep->AddRef(); // Release takes the interface with it
        g_D3DMain.Release();
        g_pD3D = keep;
    }
    NoLightMode = false;
}

TEST_F(D3DMainTest, CreatedDeviceHasTheFoundFormatAndTheInitialStates) {
    WireFrame = true;
    CreateAndStart();
    WireFrame = false;
    EXPECT_EQ(g_d3dpp.AutoDepthStencilFormat, Format::D24S8);
    EXPECT_EQ(g_DepthStencilFormat, Format::D24S8);
    EXPECT_EQ(g_d3dpp.BackBufferWidth, kW);
    EXPECT_EQ(g_d3dpp.BackBufferHeight, kH);
    EXPECT_FALSE(g_d3dpp.Windowed);
    EXPECT_TRUE(PixelShader30);
    EXPECT_TRUE(PixelShader20);
    EXPECT_TRUE(DepthFormatFound);
    EXPECT_NE(g_pBackBufferSurface, nullptr);
    ASSERT_NE(g_pVertexDeclarations[0], nullptr);
    ASSERT_NE(g_pVertexDeclarations[1], nullptr);
    // The static-mesh and skinned-mesh vertices.
    EXPECT_EQ(g_pVertexDeclarations[0]->Stride(0), 60u);
    EXPECT_EQ(g_pVertexDeclarations[0]->Elements()[5].Offset, 52u);
    EXPECT_EQ(g_pVertexDeclarations[1]->Stride(0), 76u);
    EXPECT_EQ(g_pVertexDeclarations[1]->Elements()[2].Usage, gfx::elemusage::BlendIndices);
    EXPECT_EQ(g_pVertexDeclarations[1]->Elements()[6].Offset, 68u);
    struct Case {
        RenderState state;
        uint32_t value;
    } cases[] = {
        {RenderState::ZEnable, 1},
        {RenderState::CullMode, gfx::StateValue(gfx::Cull::Ccw)},
        {RenderState::FillMode, gfx::StateValue(gfx::FillMode::Wireframe)},
        {RenderState::Lighting, 0},
        {RenderState::ShadeMode, gfx::StateValue(gfx::ShadeMode::Gouraud)},
        {RenderState::FogEnable, 0},
        {RenderState::DitherEnable, 0},
        {RenderState::Clipping, 1},
        {RenderState::NormalizeNormals, 0},
        {RenderState::SpecularEnable, 0},
        {RenderState::FogTableMode, gfx::StateValue(gfx::FogMode::None)},
        {RenderState::FogVertexMode, gfx::StateValue(gfx::FogMode::Linear)},
        {RenderState::RangeFogEnable, 0},
    };
    for (const Case& c : cases) {
        uint32_t v = 0xABCD;
        g_pD3DInterface->GetRenderState(c.state, &v);
        EXPECT_EQ(v, c.value) << int(c.state);
    }
}

TEST_F(D3DMainTest, FrameClearsOnDepthBuffersWithAndWithoutStencil) {
    CreateAndStart();
    struct Case {
        Format depth;
    } cases[] = {{Format::D24S8}, {Format::D16}, {Format::D24X8}};
    for (const Case& c : cases) {
        ReleaseBackBuffer();
        g_d3dpp.AutoDepthStencilFormat = c.depth;
        ASSERT_EQ(g_pD3DInterface->Reset(&g_d3dpp), gfx::Result::Ok) << int(c.depth);
        KeepBackBuffer();
        g_pD3DInterface->Clear(0, nullptr, gfx::clear::Target, 0xFF00FF00, 1.0f, 0);
        g_D3DMain.RenderFrame(); // no world: cleared to black
        EXPECT_EQ(ReadBack()[kW * kH - 1], 0xFF000000u) << int(c.depth);
    }
}

TEST_F(D3DMainTest, FrameIsSkippedUntilTheFocusManagerStarts) {
    ASSERT_TRUE(g_D3DMain.Create(win_.get()));
    g_pD3DInterface->Clear(0, nullptr, gfx::clear::Target, 0xFF00FF00, 1.0f, 0);
    g_D3DMain.RenderFrame();
    EXPECT_EQ(ReadBack()[0], 0xFF00FF00u);
    g_FocusMgr.Start();
    g_Menu.m_bOpen = true; // the menu's frame skips the pre-render but clears and draws
    g_D3DMain.RenderFrame();
    g_Menu.m_bOpen = false;
    EXPECT_EQ(ReadBack()[0], 0xFF000000u);
}

// Release drops the program's interface whether or not Create took it over;
// the extra reference shows what is left.
TEST_F(D3DMainTest, ReleaseDropsTheInterfaceWithOrWithoutTheDevice) {
    for (const bool create : {false, true}) {
        if (!g_pD3D) g_pD3D = gfx::CreateInterface();
        ASSERT_NE(g_pD3D, nullptr);
        gfx::Interface* d3d = g_pD3D;
        d3d->AddRef();
        if (create) {
            ASSERT_TRUE(g_D3DMain.Create(win_.get()));
        }
        g_D3DMain.Release();
        EXPECT_EQ(g_pD3D, nullptr);
        EXPECT_EQ(d3d->Release(), 0u) << (create ? "after Create" : "without Create");
    }
}

TEST_F(D3DMainTest, WithoutAnInterfaceAMessageBoxSaysSo) {
    g_pD3D->Release();
    g_pD3D = nullptr;
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(g_D3DMain.Create(win_.get()));
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "Zt message: DX9.0c or newer could not have been found!\n");
}

} // namespace
