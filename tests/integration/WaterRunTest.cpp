// The demo world's pool and lava plane drawn in this process and read back:
// which pass draws the water in each pipeline, the water gone with
// DrawWater off while the lava stays, and the lava flowing from one second
// to the next while the floor beside it keeps its colour.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "app/VideoConfig.h"
#include "tests/integration/DeviceWorldRun.h"
#include "world/EngineObjectFlags.h"
#include "world/ObjectRecord.h"

namespace {

struct Rgb {
    int r, g, b;
    bool operator==(const Rgb&) const = default;
};
Rgb Channels(uint32_t c) {
    return {int((c >> 16) & 0xFF), int((c >> 8) & 0xFF), int(c & 0xFF)};
}
int Distance(const Rgb& a, const Rgb& b) {
    return std::abs(a.r - b.r) + std::abs(a.g - b.g) + std::abs(a.b - b.b);
}

// The pool (water at y = 2 over x 652..908, z -512..-256) seen from its
// south-west, the lava plane (y = 1 over x 1332..1588) from its south.
const math::Vec3 kPoolEye{700, 160, -600}, kPoolAt{800, 0, -360}, kPoolPoint{740, 2, -420};
const math::Vec3 kLavaEye{1460, 200, -640}, kLavaAt{1460, 0, -384}, kLavaPoint{1460, 1, -384};
const math::Vec3 kFloorPoint{1260, 0, -384}; // course floor west of the lava

class WaterRun : public DeviceWorldRun {
  protected:
    void SetUp() override {
        DeviceWorldRun::SetUp();
        saved_ = {UsePS20, DrawWater, OptionMV05};
        UsePS20 = false;
        DrawWater = true;
        SimpleRender = true;
        UpdateObjects = false;
        UpdateBezier = false;
        ASSERT_TRUE(g_Engine.StartWorld("worlds\\test.w"));
        g_Engine.m_bWorldShown = 1;
        for (int i = 0; i < 5; ++i)
            Frame();
    }
    void TearDown() override {
        std::tie(UsePS20, DrawWater, OptionMV05) = saved_;
        DeviceWorldRun::TearDown();
    }

    static Rgb PixelOf(const math::Vec3& point) {
        uint32_t x = 0, y = 0;
        EXPECT_TRUE(Project(point, &x, &y));
        return Channels(ReadBack()[y * kW + x]);
    }
    static Rgb PixelAt(const math::Vec3& eye, const math::Vec3& at, const math::Vec3& point) {
        RunAt(eye, at);
        return PixelOf(point);
    }
    // The same with the named object hidden.
    static Rgb HiddenPixelAt(const char* object, const math::Vec3& eye, const math::Vec3& at,
                             const math::Vec3& point) {
        ObjectRecord* h = Find(object);
        EXPECT_TRUE(h) << object;
        if (!h) return {};
        h->dwFlags &= ~objflags::kFlagVisible;
        const Rgb out = PixelAt(eye, at, point);
        h->dwFlags |= objflags::kFlagVisible;
        return out;
    }
    // ZT_WATER_PICTURE=DIR saves the frame as DIR/NAME.bmp, to be looked at.
    static void SavePicture(const std::string& name) {
        const char* dir = std::getenv("ZT_WATER_PICTURE");
        if (!dir) return;
        std::string file = std::string(dir) + "/" + name + ".bmp";
        for (char& c : file)
            if (c == ' ' || c == ',') c = '_';
        g_pD3DInterface->SaveSurfaceToFile(file.c_str(), g_pBackBufferSurface);
    }
    // The passes of one frame from the pose.
    static std::vector<std::string> PassesAt(const math::Vec3& eye, const math::Vec3& at) {
        RunAt(eye, at, 2);
        g_Renderer.StartPassRecording();
        Place(eye, at);
        Frame();
        g_Renderer.StopPassRecording();
        std::vector<std::string> out;
        for (uint32_t i = 0; i < g_Renderer.PassRecordCount(); ++i) {
            const std::string name = g_Renderer.GetPassRecord(i).szName;
            if (name.find("Water") != std::string::npos || name.find("Lava") != std::string::npos)
                out.push_back(name);
        }
        return out;
    }

    std::tuple<bool, bool, bool> saved_;
};

TEST_F(WaterRun, EachPipelineDrawsThePoolWithItsOwnPassAndDrawWaterOffLeavesOnlyTheLava) {
    struct Case {
        const char* name;
        bool simpleRender, usePS20, reflection;
        std::vector<std::string> passes; // at the pool
    } cases[] = {
        {"fastest", true, false, true, {"ERenderer::RenderWater"}},
        {"full, reflection off", false, false, false, {"ERenderer::RenderWaterReflection"}},
        {"full, shader model 2", false, true, true, {"ERenderer::RenderWater"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SimpleRender = c.simpleRender;
        UsePS20 = c.usePS20;
        OptionMV05 = c.reflection;
        DrawWater = true;
        EXPECT_EQ(PassesAt(kPoolEye, kPoolAt), c.passes);
        SavePicture(c.name);
        const Rgb water = PixelOf(kPoolPoint);
        const Rgb under = HiddenPixelAt("water", kPoolEye, kPoolAt, kPoolPoint);
        EXPECT_GT(Distance(water, under), 24) << "the water covers what lies under it";
        const Rgb lava = PixelAt(kLavaEye, kLavaAt, kLavaPoint);
        const Rgb beneathLava = HiddenPixelAt("lava_pool", kLavaEye, kLavaAt, kLavaPoint);
        EXPECT_GT(Distance(lava, beneathLava), 24);

        DrawWater = false;
        EXPECT_EQ(PixelAt(kPoolEye, kPoolAt, kPoolPoint), under) << "no water in either pipeline";
        EXPECT_GT(Distance(PixelAt(kLavaEye, kLavaAt, kLavaPoint), beneathLava), 24) << "the lava stays";
    }
}

TEST_F(WaterRun, TheLavaFlowsFromOneSecondToTheNextWhileTheFloorStays) {
    for (bool simple : {true, false}) {
        SCOPED_TRACE(simple ? "fastest" : "full");
        SimpleRender = simple;
        RunAt(kLavaEye, kLavaAt);
        const std::vector<uint32_t> before = ReadBack();
        RunAt(kLavaEye, kLavaAt, 30); // one second at 30 frames a second
        const std::vector<uint32_t> after = ReadBack();
        uint32_t x = 0, y = 0;
        ASSERT_TRUE(Project(kFloorPoint, &x, &y));
        EXPECT_EQ(Channels(after[y * kW + x]), Channels(before[y * kW + x])) << "the floor";
        // Across the lava's middle, a row of pixels: most of them change.
        int changed = 0, probes = 0;
        for (float dx = -96; dx <= 96; dx += 8) {
            ASSERT_TRUE(Project({kLavaPoint.x + dx, kLavaPoint.y, kLavaPoint.z}, &x, &y));
            ++probes;
            changed += Distance(Channels(after[y * kW + x]), Channels(before[y * kW + x])) > 12;
        }
        EXPECT_GT(changed, probes / 2);
    }
}

} // namespace
