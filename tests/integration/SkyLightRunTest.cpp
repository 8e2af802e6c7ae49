// The demo world drawn by the full pipeline in this process and read back:
// - a floor pixel inside a crate's sky-light shadow (found from the light
//   direction with GLM) is darker than a lit floor pixel beside it, and the
//   two match with "Draw shadows" off and with the shader-model-2 variant;
// - a pixel of the translucent glass pane lies between the pane drawn
//   opaque and what is behind it;
// - the tree's leaves move between two frames 1 s apart while the floor
//   stays.
// With ZT_SKY_LIGHT_PICTURE=<prefix> each view is also saved as
// <prefix>-<view>.bmp for a person to look at.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <glm/glm.hpp>
#include <string>
#include <tuple>
#include <vector>

#include "app/VideoConfig.h"
#include "platform/gfx/Bmp.h"
#include "render/EnvironmentSettings.h"
#include "tests/integration/DeviceWorldRun.h"
#include "world/EngineObjectFlags.h"

namespace {

struct Rgb {
    int r, g, b;
    int Sum() const { return r + g + b; }
};
Rgb Channels(uint32_t c) {
    return {int((c >> 16) & 0xFF), int((c >> 8) & 0xFF), int(c & 0xFF)};
}

class SkyLightRun : public DeviceWorldRun {
  protected:
    void SetUp() override {
        DeviceWorldRun::SetUp();
        saved_ = {DrawShadows, DrawAnimatedShadows, UsePS20};
        DrawShadows = DrawAnimatedShadows = true;
        UsePS20 = false;
        SimpleRender = false;
        UpdateObjects = false;
        UpdateBezier = false;
        ASSERT_TRUE(g_Engine.StartWorld("worlds\\test.w"));
        g_Engine.m_bWorldShown = 1;
        for (int i = 0; i < 5; ++i)
            Frame();
    }
    void TearDown() override {
        std::tie(DrawShadows, DrawAnimatedShadows, UsePS20) = saved_;
        DeviceWorldRun::TearDown();
    }

    // The pixels of world points in the picture drawn from the pose.
    std::vector<Rgb> PixelsAt(const char* view, const math::Vec3& eye, const math::Vec3& at,
                              const std::vector<math::Vec3>& points) {
        RunAt(eye, at);
        const std::vector<uint32_t> px = ReadBack();
        if (const char* prefix = std::getenv("ZT_SKY_LIGHT_PICTURE")) {
            const std::string file = std::string(prefix) + "-" + view + ".bmp";
            if (std::FILE* f = std::fopen(file.c_str(), "wb")) {
                gfx::WriteBmp(f, kW, kH, px.data(), kW);
                std::fclose(f);
            }
        }
        std::vector<Rgb> out;
        for (const math::Vec3& p : points) {
            uint32_t x = 0, y = 0;
            EXPECT_TRUE(Project(p, &x, &y)) << p.x << " " << p.y << " " << p.z;
            out.push_back(Channels(px[y * kW + x]));
        }
        return out;
    }

    std::tuple<bool, bool, bool> saved_;
};

// Where the sky light through a point meets the floor.
glm::vec3 OnTheFloor(const glm::vec3& p) {
    const float* d = g_EnvironmentSettings.SkyLightDirection();
    const glm::vec3 dir = glm::normalize(glm::vec3(d[0], d[1], d[2]));
    EXPECT_LT(dir.y, 0.0f) << "the sky light falls";
    return p + dir * (p.y / -dir.y);
}

TEST_F(SkyLightRun, ACratesShadowDarkensTheFloorOnlyWithShadowsAndTheFullVariant) {
    // The shadow of the explosive crate's axis at 56 of its 64 units lies
    // beyond its foot. The floor is a checker of texture and detail, so the
    // lit pixel beside it is the nearest of a few points whole detail
    // periods (128 units) away that shows the same texel unshadowed.
    const ObjectRecord* crate = Find("crate_explosive");
    ASSERT_TRUE(crate);
    const glm::vec3 base(crate->vPosition.x, 0.0f, crate->vPosition.z);
    const glm::vec3 shade = OnTheFloor(base + glm::vec3(0, 56, 0));
    std::vector<math::Vec3> points{{shade.x, 0.0f, shade.z}};
    for (const glm::vec2 step : {glm::vec2(-1, 0), glm::vec2(0, -1), glm::vec2(1, 0), glm::vec2(0, 1),
                                 glm::vec2(-1, -1), glm::vec2(1, -1)})
        points.push_back({shade.x + 128.0f * step.x, 0.0f, shade.z + 128.0f * step.y});
    const math::Vec3 eye{base.x, 420.0f, base.z - 380.0f}, at{base.x, 0.0f, base.z};

    DrawShadows = true;
    const std::vector<Rgb> shadowed = PixelsAt("shadows", eye, at, points);
    DrawShadows = false;
    const std::vector<Rgb> plain = PixelsAt("no shadows", eye, at, points);
    DrawShadows = true;
    UsePS20 = true;
    const std::vector<Rgb> ps20 = PixelsAt("shader model 2", eye, at, points);
    UsePS20 = false;

    // Not on the inside alcove's floor (256 units square), which another
    // pass lights.
    const ObjectRecord* alcove = Find("alcove_floor");
    auto onAlcove = [alcove](const math::Vec3& p) {
        return alcove && std::fabs(p.x - alcove->vPosition.x) < 140.0f &&
               std::fabs(p.z - alcove->vPosition.z) < 140.0f;
    };
    size_t lit = 0;
    for (size_t i = 1; i < points.size() && !lit; ++i)
        if (!onAlcove(points[i]) && std::abs(plain[i].Sum() - plain[0].Sum()) <= 6 &&
            std::abs(shadowed[i].Sum() - plain[i].Sum()) <= 6)
            lit = i;
    ASSERT_NE(lit, 0u) << "no lit floor point of the same texel beside the shadow";
    SCOPED_TRACE(lit);
    EXPECT_LT(shadowed[0].Sum() + 60, shadowed[lit].Sum()) << "in the shadow, against lit beside it";
    EXPECT_LT(shadowed[0].Sum() + 60, plain[0].Sum()) << "the shadow goes with Draw shadows";
    EXPECT_NEAR(plain[0].Sum(), plain[lit].Sum(), 6) << "without shadows the two match";
    EXPECT_NEAR(ps20[0].Sum(), ps20[lit].Sum(), 6) << "the shader-model-2 variant draws no shadow";
}

TEST_F(SkyLightRun, TheGlassPaneLiesBetweenItsOwnColourAndWhatIsBehindIt) {
    ObjectRecord* pane = Find("glass_pane");
    ASSERT_TRUE(pane);
    const math::Vec3 point{pane->vPosition.x, 48.0f, pane->vPosition.z};
    const math::Vec3 eye{pane->vPosition.x - 250.0f, 120.0f, pane->vPosition.z - 200.0f};
    const Rgb blended = PixelsAt("glass", eye, point, {point})[0];
    pane->dwFlags &= ~objflags::kFlagVisible;
    const Rgb behind = PixelsAt("behind the glass", eye, point, {point})[0];
    pane->dwFlags |= objflags::kFlagVisible;
    strtexture* glass = g_Renderer.FindTexture("glass.tga");
    ASSERT_TRUE(glass);
    glass->desc.bTranslucent = 0;
    const Rgb opaque = PixelsAt("opaque glass", eye, point, {point})[0];
    glass->desc.bTranslucent = 1;
    EXPECT_NE(blended.Sum(), behind.Sum());
    EXPECT_NE(blended.Sum(), opaque.Sum());
    const int a[3] = {blended.r, blended.g, blended.b}, b[3] = {behind.r, behind.g, behind.b},
              o[3] = {opaque.r, opaque.g, opaque.b};
    for (int ch = 0; ch < 3; ++ch) {
        EXPECT_GE(a[ch], std::min(b[ch], o[ch]) - 2) << ch;
        EXPECT_LE(a[ch], std::max(b[ch], o[ch]) + 2) << ch;
    }
}

TEST_F(SkyLightRun, TheTreesLeavesMoveWithTheClockWhileTheFloorStays) {
    const ObjectRecord* tree = Find("tree");
    ASSERT_TRUE(tree);
    const math::Vec3 base = tree->vPosition;
    const math::Vec3 eye{base.x - 60.0f, 170.0f, base.z - 330.0f}, at{base.x, 150.0f, base.z};
    // A band of pixels across the leaves, and the floor before the tree.
    std::vector<math::Vec3> leaves;
    for (int i = -6; i <= 6; ++i)
        leaves.push_back({base.x + 10.0f * float(i), 200.0f, base.z});
    const math::Vec3 floor{base.x + 100.0f, 0.0f, base.z + 100.0f};
    std::vector<math::Vec3> points = leaves;
    points.push_back(floor);
    const std::vector<Rgb> before = PixelsAt("tree", eye, at, points);
    // One second later (the frames step the clock by their own time).
    const float start = g_Engine.m_fWorldTime;
    while (g_Engine.m_fWorldTime < start + 1.0f) {
        Place(eye, at);
        Frame();
    }
    const std::vector<Rgb> after = PixelsAt("tree a second later", eye, at, points);
    int changed = 0;
    for (size_t i = 0; i < leaves.size(); ++i)
        changed += before[i].Sum() != after[i].Sum();
    EXPECT_GT(changed, 0) << "no leaf pixel moved";
    EXPECT_EQ(before.back().Sum(), after.back().Sum()) << "the floor stays";
}

} // namespace
