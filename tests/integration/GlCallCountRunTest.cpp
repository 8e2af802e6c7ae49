// The GL calls of one frame of the demo world, counted by the layer's call
// counter: few of them may set state GL already holds. Each pipeline is
// counted over the overview from the south-west corner, after frames that
// have drawn the same view (the steady state of a running game).
#include <gtest/gtest.h>

#include <tuple>

#include "app/VideoConfig.h"
#include "platform/gfx/gl/GlCallCounter.h"
#include "tests/integration/DeviceWorldRun.h"

namespace {

struct Pipeline {
    const char* name;
    bool simpleRender;
};

class GlCallCountRun : public DeviceWorldRun, public ::testing::WithParamInterface<Pipeline> {
  protected:
    void SetUp() override {
        // Counting wraps the entry points the device loads.
        gfx::gl::CountGlCalls(true);
        DeviceWorldRun::SetUp();
        saved_ = {DrawShadows, DrawAnimatedShadows, UsePS20};
        DrawShadows = DrawAnimatedShadows = true;
        UsePS20 = false;
        SimpleRender = GetParam().simpleRender;
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
        gfx::gl::CountGlCalls(false);
        gfx::gl::TakeGlCallCounts();
    }

    std::tuple<bool, bool, bool> saved_;
};

TEST_P(GlCallCountRun, UnderFivePercentOfAFramesCallsAreRedundant) {
    const math::Vec3 eye{-450, 300, -450}, at{0, 60, 0};
    RunAt(eye, at);
    gfx::gl::TakeGlCallCounts();
    Place(eye, at);
    Frame();
    const gfx::gl::GlCallCounts counts = gfx::gl::TakeGlCallCounts();
    // A frame that drew the world at all.
    ASSERT_GT(counts.calls, 300u) << counts.Describe();
    EXPECT_LT(double(counts.redundant), 0.05 * double(counts.calls))
        << counts.redundant << " of " << counts.calls << " calls redundant:\n"
        << counts.Describe();
}

INSTANTIATE_TEST_SUITE_P(Pipelines, GlCallCountRun,
                         ::testing::Values(Pipeline{"full", false}, Pipeline{"fastest", true}),
                         [](const ::testing::TestParamInfo<Pipeline>& info) { return info.param.name; });

} // namespace
