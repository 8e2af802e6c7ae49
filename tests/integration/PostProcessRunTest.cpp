// The post-processing in the demo world on the program's own device, with
// "Enable postprocessing" and "High Dynamic Range" on: the world open makes
// every target at the screen's size and sets the chain active, the frames
// run its decisions and focus without a line of complaint, and the world
// is still drawn straight to the back buffer (the same picture as without
// post-processing); a device loss and reset, and then a world change, make
// the targets again and keep the adapted luminance, black-and-white mode
// with its list and the daze switches.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <tuple>
#include <vector>

#include "app/VideoConfig.h"
#include "render/PostProcess.h"
#include "tests/integration/DeviceWorldRun.h"

namespace {

using Target = EPostProcess::Target;

const math::Vec3 kEye{-450, 300, -450}, kAt{0, 60, 0};

class PostProcessRun : public DeviceWorldRun {
  protected:
    void SetUp() override {
        saved_ = {OptionMV16, OptionMV21, OptionMV08};
        OptionMV16 = OptionMV21 = true;
        OptionMV08 = false;
        DeviceWorldRun::SetUp();
        SimpleRender = true;
        UpdateObjects = false;
        UpdateBezier = false;
        logStart_ = Log().size(); // the copied data may hold an old log
    }
    void TearDown() override {
        DeviceWorldRun::TearDown();
        std::tie(OptionMV16, OptionMV21, OptionMV08) = saved_;
    }

    // Starts the demo world, shown at once, past the renderer's first frames.
    static void Start() {
        ASSERT_TRUE(g_Engine.StartWorld("worlds\\test.w"));
        g_Engine.m_bWorldShown = 1;
        for (int i = 0; i < 5; ++i)
            Frame();
    }
    static bool AllTargets() {
        for (uint32_t t = 0; t < EPostProcess::TARGET_COUNT; ++t)
            if (!g_PostProcess.TargetTexture(Target(t)) || !g_PostProcess.TargetSurface(Target(t)))
                return false;
        return g_PostProcess.ReadBackSurface() && g_PostProcess.BWDepthStencil();
    }
    // Console lines that report a failure.
    std::vector<std::string> Complaints() const {
        std::vector<std::string> out;
        std::string line;
        for (char c : Log().substr(logStart_)) {
            if (c != '\n') {
                if (c != '\r') line += c;
                continue;
            }
            for (const char* word : {"Failed", "failed", "not supported", "does not exist", "error"})
                if (line.find(word) != std::string::npos) {
                    out.push_back(line);
                    break;
                }
            line.clear();
        }
        return out;
    }
    std::string Log() const {
        std::ifstream in(dir_ / "!console.txt", std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    std::tuple<bool, bool, bool> saved_;
    size_t logStart_ = 0;
};

TEST_F(PostProcessRun, TheWorldOpensWithTheChainActiveAndStillDrawsToTheBackBuffer) {
    Start();
    ASSERT_TRUE(g_PostProcess.IsActive());
    EXPECT_TRUE(g_PostProcess.HDRRunsInThisWorld());
    EXPECT_TRUE(AllTargets());
    EXPECT_EQ(g_PostProcess.TargetSurface(EPostProcess::Main)->Width(), kW);
    EXPECT_EQ(g_PostProcess.TargetSurface(EPostProcess::Bloom0)->Height(), kH / 8);
    RunAt(kEye, kAt, 12);
    // The frames decide: nothing blurs in the calm demo world, the focus
    // has found the floor or a wall along the view.
    EXPECT_EQ(g_PostProcess.m_bMotionBlurThisFrame, 0);
    EXPECT_FLOAT_EQ(g_PostProcess.m_fTargetLuminance, 0.2f);
    EXPECT_GT(g_PostProcess.m_fTargetFocus, 200.0f);
    EXPECT_LT(g_PostProcess.m_fTargetFocus, 2000.0f);
    EXPECT_EQ(g_PostProcess.m_fFocus, g_PostProcess.m_fTargetFocus);
    const std::vector<uint32_t> with = ReadBack();

    // The same pose without post-processing gives the same picture.
    OptionMV16 = false;
    Start();
    EXPECT_FALSE(g_PostProcess.IsActive());
    EXPECT_EQ(g_PostProcess.TargetTexture(EPostProcess::Main), nullptr);
    RunAt(kEye, kAt, 12);
    EXPECT_TRUE(ReadBack() == with) << "the world stays on the back buffer";
    EXPECT_EQ(Complaints(), std::vector<std::string>{});
}

TEST_F(PostProcessRun, ALossResetAndAWorldChangeMakeTheTargetsAgainAndKeepTheAdaptedLuminance) {
    Start();
    ASSERT_TRUE(g_PostProcess.IsActive());
    g_PostProcess.m_fAdaptedLuminance = 0.3f;
    const uint32_t resets = g_pD3DInterface->ResetCount();
    g_pD3DInterface->SimulateDeviceLoss(1);
    EXPECT_FALSE(g_FocusMgr.CheckFocus()); // lost
    EXPECT_FALSE(g_FocusMgr.CheckFocus()); // reset
    ASSERT_EQ(g_pD3DInterface->ResetCount(), resets + 1) << "every default-pool resource was released";
    EXPECT_TRUE(AllTargets());
    EXPECT_TRUE(g_PostProcess.IsActive());
    RunAt(kEye, kAt);
    EXPECT_EQ(g_PostProcess.m_fAdaptedLuminance, 0.3f);

    // Black and white with its list, and the two daze switches, are the
    // game's to change: a world change keeps them as they are.
    g_PostProcess.ClearBWObjects();
    g_PostProcess.TurnOnBW(true);
    ObjectRecord* barrel = Find("barrel");
    ASSERT_NE(barrel, nullptr);
    g_PostProcess.AddObjectToBW(barrel);
    g_PostProcess.m_bDaze1 = g_PostProcess.m_bDaze2 = 1;
    g_PostProcess.m_bForcedMotionBlur = g_PostProcess.m_bMonochromatic = 1;

    ASSERT_TRUE(g_Engine.StartWorld("worlds\\test.w"));
    EXPECT_TRUE(AllTargets());
    EXPECT_TRUE(g_PostProcess.IsActive());
    EXPECT_EQ(g_PostProcess.m_fAdaptedLuminance, 0.3f);
    EXPECT_EQ(g_PostProcess.m_bBWOn, 1);
    EXPECT_EQ(g_PostProcess.m_bBWHold, 1);
    EXPECT_EQ(g_PostProcess.m_dwNumBWObjects, 1u);
    EXPECT_EQ(g_PostProcess.m_hBWObjects[0], barrel) << "the old world's handle, as kept";
    EXPECT_EQ(g_PostProcess.m_bForcedMotionBlur, 0) << "cleared by the world open";
    EXPECT_EQ(g_PostProcess.m_bMonochromatic, 0);
    RunAt(kEye, kAt);
    EXPECT_EQ(g_PostProcess.m_bDaze1, 1);
    EXPECT_EQ(g_PostProcess.m_bDaze2, 1);
    EXPECT_EQ(g_PostProcess.m_bMotionBlurThisFrame, 0) << "the daze switches blur nothing";
    g_PostProcess.TurnOffBW(true);
    g_PostProcess.ClearBWObjects();
    g_PostProcess.m_bDaze1 = g_PostProcess.m_bDaze2 = 0;
    EXPECT_EQ(Complaints(), std::vector<std::string>{});
}

} // namespace
