// The ambient-lit pass in the demo world, in this process on the program's
// own device with the full pipeline, read back after real frames:
// - seen from above, the inside alcove floor is brighter under the hall lamp
//   than at its far edge, by the lamp's light baked into its vertex colours
//   and shaped by the world's inside vertex-ambient terms; without its
//   vertex colours the two pixels match within a few levels;
// - the light effect receives the cube shadow maps' size (512 with shadow
//   quality 0);
// - without the sky light the whole world is drawn by this pass: the floor's
//   texture shows, and the sky light's direction and colour change nothing.
// With ZT_AMBIENT_PICTURE=<file.bmp> the view from above is saved for a
// person to look at.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "app/VideoConfig.h"
#include "platform/effect/Effect.h"
#include "render/EffectMgr.h"
#include "render/EnvironmentSettings.h"
#include "tests/integration/DeviceWorldRun.h"

namespace {

struct Rgb {
    int r, g, b;
    int Sum() const { return r + g + b; }
};
Rgb Channels(uint32_t c) {
    return {int((c >> 16) & 0xFF), int((c >> 8) & 0xFF), int(c & 0xFF)};
}

// Straight down onto the alcove, a little from the south: every point of it
// reflects the view into the cube's top face.
const math::Vec3 kAbove{0, 600, -150}, kAlcoveCentre{0, 1, 0};
// Under the lamp, and near the alcove's north edge (the lamp hangs over the
// alcove's centre, 220 above it).
const math::Vec3 kUnderLamp{0, 1, 0}, kFarEdge{0, 1, 120};

class AmbientLitRun : public DeviceWorldRun {
  protected:
    void SetUp() override {
        DeviceWorldRun::SetUp();
        saved_ = {DrawShadows, OptionMV01, ShadowMapLevel, UsePS20, UseSkyLight};
        DrawShadows = OptionMV01 = UseSkyLight = true;
        ShadowMapLevel = 0;
        UsePS20 = false;
        SimpleRender = false;
        UpdateObjects = false;
        UpdateBezier = false;
        ASSERT_TRUE(g_Engine.StartWorld("worlds\\test.w"));
        g_Engine.m_bWorldShown = 1;
        alcove_ = Find("alcove_floor");
        ASSERT_TRUE(alcove_);
        for (int i = 0; i < 5; ++i)
            Frame();
    }
    void TearDown() override {
        std::tie(DrawShadows, OptionMV01, ShadowMapLevel, UsePS20, UseSkyLight) = saved_;
        DeviceWorldRun::TearDown();
    }

    static Rgb PixelOf(const std::vector<uint32_t>& px, const math::Vec3& p) {
        uint32_t x = 0, y = 0;
        EXPECT_TRUE(Project(p, &x, &y));
        return Channels(px[y * kW + x]);
    }
    static bool Recorded(const char* name) {
        for (uint32_t k = 0; k < g_Renderer.PassRecordCount(); ++k)
            if (std::strcmp(g_Renderer.GetPassRecord(k).szName, name) == 0) return true;
        return false;
    }

    ObjectRecord* alcove_ = nullptr;
    std::tuple<bool, bool, uint32_t, bool, bool> saved_;
};

TEST_F(AmbientLitRun, TheAlcoveFloorIsBrighterUnderTheLampByItsVertexColours) {
    g_Renderer.StartPassRecording();
    RunAt(kAbove, kAlcoveCentre);
    g_Renderer.StopPassRecording();
    EXPECT_TRUE(Recorded("ERenderer::RenderLightMeshes")) << "the inside alcove is ambient-lit";
    EXPECT_TRUE(Recorded("ERenderer::RenderSkyLightMeshes")) << "the rest of the room is sky-lit";
    const std::vector<uint32_t> lit = ReadBack();
    if (const char* file = std::getenv("ZT_AMBIENT_PICTURE"))
        g_pD3DInterface->SaveSurfaceToFile(file, g_pBackBufferSurface);
    const Rgb under = PixelOf(lit, kUnderLamp), edge = PixelOf(lit, kFarEdge);
    EXPECT_GT(under.Sum(), edge.Sum() + 30) << "under " << under.Sum() << ", edge " << edge.Sum();
    EXPECT_GT(under.r, edge.r);

    // Without its vertex colours the alcove has the ambient colour alone.
    alcove_->bVertexColor = 0;
    RunAt(kAbove, kAlcoveCentre);
    const std::vector<uint32_t> flat = ReadBack();
    const Rgb a = PixelOf(flat, kUnderLamp), b = PixelOf(flat, kFarEdge);
    EXPECT_NEAR(a.r, b.r, 4);
    EXPECT_NEAR(a.g, b.g, 4);
    EXPECT_NEAR(a.b, b.b, 4);
}

TEST_F(AmbientLitRun, TheLightEffectGetsTheCubeShadowSize) {
    RunAt(kAbove, kAlcoveCentre, 1);
    const EffectRecord* fx = g_EffectMgr.FindEffect("light");
    ASSERT_TRUE(fx && fx->pEffect);
    math::Vec4 r;
    ASSERT_EQ(
        fx->pEffect->GetVector(fx->pEffect->GetParameterByName(effect::Handle(), "cShadowResolution"), &r),
        gfx::Result::Ok);
    EXPECT_EQ(r.x, 512.0f);
    EXPECT_EQ(r.y, 1.0f / 512.0f);
    EXPECT_EQ(r.z, 0.0f);
    EXPECT_EQ(r.w, 0.0f);
}

TEST_F(AmbientLitRun, WithoutTheSkyLightThisPassDrawsTheWholeWorldWithItsTextures) {
    UseSkyLight = false;
    // The dropped items' glint turns with the clock: without it the picture
    // stands still.
    for (int slot = 0; slot < g_Engine.m_iMeshHighWater; ++slot)
        g_Engine.Object(slot)->bItemDropped = 0;
    const math::Vec3 eye{-450, 300, -450}, at{0, 60, 0};
    RunAt(eye, at);
    g_Renderer.StartPassRecording();
    RunAt(eye, at, 1);
    g_Renderer.StopPassRecording();
    EXPECT_TRUE(Recorded("ERenderer::RenderLightMeshes"));
    EXPECT_FALSE(Recorded("ERenderer::RenderSkyLightMeshes"));
    const std::vector<uint32_t> before = ReadBack();
    // The floor's texture quarters: grey toward -x +z, olive toward +x +z.
    const Rgb grey = PixelOf(before, {-200, 0, 60}), olive = PixelOf(before, {200, 0, 60});
    EXPECT_NE(grey.b, olive.b) << "the texture shows";
    EXPECT_GT(grey.Sum(), 0);

    // The sky light turned and darkened: nothing in the room changes.
    EnvironmentSettings& env = g_EnvironmentSettings;
    const float* d = env.SkyLightDirection();
    const float kept[3] = {d[0], d[1], d[2]};
    uint32_t colour = 0;
    env.GetSkyLightColor(&colour);
    const float turned[3] = {-kept[0], kept[1], -kept[2]};
    env.SetSkyLightDirection(turned);
    env.SetSkyLightColor(0xFF202020);
    RunAt(eye, at);
    const std::vector<uint32_t> after = ReadBack();
    env.SetSkyLightDirection(kept);
    env.SetSkyLightColor(colour);
    size_t changed = 0;
    for (size_t i = 0; i < before.size(); ++i)
        changed += before[i] != after[i];
    EXPECT_EQ(changed, 0u) << "no sky light and no sky shadow";
}

} // namespace
