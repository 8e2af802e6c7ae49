// The point-light cube shadow maps of the demo world in this process, on the
// program's own device, with "Draw point lights shadows" on: the hall lamp
// (a shown light casting cube shadows) holds slot 0; the frame before the
// scene renders its six faces, each read back as the clear value 0.0 over
// whatever it held; a device loss and reset releases and makes again the
// cube and the water target while the slot and the rendered byte stay.
#include <gtest/gtest.h>

#include <cstring>
#include <tuple>
#include <vector>

#include "app/FocusMgr.h"
#include "app/VideoConfig.h"
#include "platform/gfx/Draw.h"
#include "render/DepthRender.h"
#include "tests/integration/DeviceWorldRun.h"

namespace {

class CubeShadowRun : public DeviceWorldRun {
  protected:
    void SetUp() override {
        DeviceWorldRun::SetUp();
        saved_ = {DrawShadows, OptionMV01, ShadowMapLevel, UsePS20};
        DrawShadows = OptionMV01 = true;
        ShadowMapLevel = 0;
        UsePS20 = false;
        SimpleRender = false;
        UpdateObjects = false;
        UpdateBezier = false;
        ASSERT_TRUE(g_Engine.StartWorld("worlds\\test.w"));
        g_Engine.m_bWorldShown = 1;
        lamp_ = Find("lamp_hall");
        ASSERT_TRUE(lamp_);
        RunAt({0, 180, -450}, {0, 100, 0}, 6);
    }
    void TearDown() override {
        std::tie(DrawShadows, OptionMV01, ShadowMapLevel, UsePS20) = saved_;
        DeviceWorldRun::TearDown();
    }

    // One face of slot 0's cube, level 0.
    static std::vector<float> ReadFace(uint32_t face) {
        gfx::CubeTexture* cube = g_DepthRender.CubeTexture(0);
        std::vector<float> out;
        if (!cube) return out;
        const uint32_t side = cube->Size(0);
        gfx::Surface* s = nullptr;
        gfx::Surface* memory = nullptr;
        cube->GetCubeMapSurface(gfx::CubeFace(face), 0, &s);
        g_pD3DInterface->CreateOffscreenPlainSurface(side, side, gfx::Format::R32F, gfx::Pool::SystemMem,
                                                     &memory);
        EXPECT_EQ(g_pD3DInterface->GetRenderTargetData(s, memory), gfx::Result::Ok);
        gfx::LockedRect r;
        if (memory->LockRect(&r, nullptr, gfx::lock::ReadOnly) == gfx::Result::Ok) {
            out.resize(size_t(side) * side);
            for (uint32_t y = 0; y < side; ++y)
                std::memcpy(&out[size_t(y) * side],
                            static_cast<const uint8_t*>(r.pBits) + size_t(y) * r.Pitch, side * sizeof(float));
            memory->UnlockRect();
        }
        memory->Release();
        s->Release();
        return out;
    }
    // Every face of slot 0's cube set to a value the render must replace.
    static void FillFaces(float value) {
        gfx::Device* d = g_pD3DInterface;
        gfx::Surface* back = nullptr;
        gfx::Surface* backDepth = nullptr;
        d->GetRenderTarget(0, &back);
        d->GetDepthStencilSurface(&backDepth);
        // The cube's own depth surface: GL draws and clears only where
        // every attachment reaches.
        d->SetDepthStencilSurface(g_DepthRender.CubeDepth(0));
        for (uint32_t face = 0; face < gfx::CubeFaceCount; ++face) {
            gfx::Surface* s = nullptr;
            g_DepthRender.CubeTexture(0)->GetCubeMapSurface(gfx::CubeFace(face), 0, &s);
            d->SetRenderTarget(0, s);
            d->ClearFloat(0, nullptr, gfx::clear::Target, math::Vec4{value, 0, 0, 0}, 1.0f, 0);
            s->Release();
        }
        d->SetRenderTarget(0, back);
        d->SetDepthStencilSurface(backDepth);
        back->Release();
        backDepth->Release();
    }

    ObjectRecord* lamp_ = nullptr;
    std::tuple<bool, bool, uint32_t, bool> saved_;
};

TEST_F(CubeShadowRun, TheHallLampHoldsSlotZeroAndItsFacesReadBackTheClearValue) {
    EXPECT_EQ(g_DepthRender.SlotCount(), 1u) << "the demo world's one shadow-casting light";
    ASSERT_EQ(g_DepthRender.CubeSlotLight(0), lamp_);
    EXPECT_EQ(lamp_->bHasCubeShadow, 1);
    EXPECT_EQ(lamp_->bCubeMapRendered, 1) << "rendered in the frames so far";
    ASSERT_NE(g_DepthRender.CubeTexture(0), nullptr);
    EXPECT_EQ(g_DepthRender.CubeTexture(0)->Size(0), 512u);

    // Rendered again over faces that held something else.
    FillFaces(7.0f);
    ASSERT_EQ(ReadFace(3), std::vector<float>(512u * 512u, 7.0f));
    lamp_->bCubeMapRendered = 0;
    RunAt({0, 180, -450}, {0, 100, 0}, 1);
    EXPECT_EQ(lamp_->bCubeMapRendered, 1);
    for (uint32_t face = 0; face < gfx::CubeFaceCount; ++face) {
        SCOPED_TRACE(face);
        const std::vector<float> values = ReadFace(face);
        EXPECT_EQ(values, std::vector<float>(512u * 512u, 0.0f));
    }
}

TEST_F(CubeShadowRun, ADeviceLossAndResetRemakesTheCubeAndTheWaterTargetAndKeepsTheSlot) {
    ASSERT_EQ(g_DepthRender.CubeSlotLight(0), lamp_);
    ASSERT_EQ(lamp_->bCubeMapRendered, 1);
    ASSERT_NE(g_DepthRender.WaterTexture(), nullptr);
    const uint32_t resets = g_pD3DInterface->ResetCount();
    g_pD3DInterface->SimulateDeviceLoss(1);
    EXPECT_FALSE(g_FocusMgr.CheckFocus()); // lost
    EXPECT_FALSE(g_FocusMgr.CheckFocus()); // released, reset, made again
    ASSERT_EQ(g_pD3DInterface->ResetCount(), resets + 1)
        << "nothing of the depth targets held the reset back";
    EXPECT_NE(g_DepthRender.CubeTexture(0), nullptr);
    EXPECT_NE(g_DepthRender.CubeDepth(0), nullptr);
    EXPECT_NE(g_DepthRender.WaterTexture(), nullptr);
    EXPECT_NE(g_DepthRender.WaterDepth(), nullptr);
    EXPECT_EQ(g_DepthRender.CubeSlotLight(0), lamp_);
    EXPECT_EQ(lamp_->bHasCubeShadow, 1);
    EXPECT_EQ(lamp_->bCubeMapRendered, 1);
    ASSERT_TRUE(g_FocusMgr.CheckFocus());
    RunAt({0, 180, -450}, {0, 100, 0}, 2);
    EXPECT_EQ(g_DepthRender.CubeSlotLight(0), lamp_) << "the frames go on with the slot";
}

} // namespace
