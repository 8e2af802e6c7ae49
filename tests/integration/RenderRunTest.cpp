// The demo world run in this process on the program's device, frame by
// frame on a steady clock, as the main loop and the frame driver run it: the
// renderer's update builds the lists of the world's textures every frame,
// and from the fifth game frame on the work before the scene and the
// scene's passes follow, in the pass record.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "game/MainGame.h"
#include "render/Renderer.h"
#include "tests/integration/DeviceWorldRun.h"
#include "world/Engine.h"

namespace {

class RenderRun : public DeviceWorldRun {
  protected:
    void TearDown() override {
        g_Renderer.StopPassRecording();
        DeviceWorldRun::TearDown();
    }

    // One pass of the main loop: the engine frame, the game's update, the
    // frame driver's work before the scene and the engine's render.
    static std::vector<std::string> Frame() {
        g_Renderer.StartPassRecording();
        stepclock::StepFrame();
        EXPECT_TRUE(g_Engine.EngineFrameTiming());
        EXPECT_TRUE(g_Engine.EngineFrame());
        g_MainGame.Update();
        g_Renderer.PreRender();
        g_Engine.Render();
        g_Renderer.StopPassRecording();
        std::vector<std::string> out;
        for (uint32_t i = 0; i < g_Renderer.PassRecordCount(); ++i)
            out.push_back(g_Renderer.GetPassRecord(i).szName);
        return out;
    }
    static bool Has(const std::vector<std::string>& trace, const char* name) {
        return std::find(trace.begin(), trace.end(), name) != trace.end();
    }
};

TEST_F(RenderRun, TheDemoWorldIsListedEveryFrameAndDrawnFromTheFifthGameFrame) {
    ASSERT_TRUE(g_Engine.StartWorld("worlds\\test.w"));
    for (uint32_t frame = 1; frame <= 8; ++frame) {
        const std::vector<std::string> trace = Frame();
        ASSERT_EQ(g_MainGame.m_dwGameFrames, frame);
        EXPECT_TRUE(Has(trace, "ERenderer::BuildRenderLists")) << frame;
        // The update comes before the drawing of the same frame.
        const bool drawn = frame >= 5;
        EXPECT_EQ(Has(trace, "ERenderOccluder::Render"), drawn) << frame;
        EXPECT_EQ(Has(trace, "ERenderer::CullRenderLists"), drawn) << frame;
        EXPECT_EQ(Has(trace, "ERenderer::RenderScene"), drawn) << frame;
        EXPECT_EQ(Has(trace, "EDepthRender::MarkVisibleLights"), drawn) << frame;
        if (drawn) {
            // The world has a sky light and shadows are on: both maps.
            EXPECT_TRUE(Has(trace, "ERenderer::RenderSkyDepth")) << frame;
            EXPECT_TRUE(Has(trace, "ERenderer::RenderBaseFull")) << frame;
        }
    }
    // The crates in view are listed, seen and kept by the culling.
    bool crate = false;
    for (strtexture* const* t = g_Renderer.m_pMeshTextures; *t; ++t)
        crate = crate || std::string((*t)->szName) == "crate.tga";
    EXPECT_TRUE(crate);
    EXPECT_TRUE(g_Renderer.m_bSkyLitMeshes);
    const std::vector<std::string> trace = Frame();
    EXPECT_TRUE(Has(trace, "ERenderer::RenderSkyLightMeshes"));
}

} // namespace
