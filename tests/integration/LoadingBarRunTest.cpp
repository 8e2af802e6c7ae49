// The demo world started in this process on the program's own headless
// device, with the frames of the engine, the game and the frame driver on a
// stepped clock: the loading bar of each loading frame shown, read from the
// presented picture, grows with the world's meshes and with the level's
// first frames, nine steps at once at its frame 151; the screen's resources
// go at frame 201.
#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "app/Console.h"
#include "app/D3DMain.h"
#include "app/Options.h"
#include "game/MainGame.h"
#include "platform/gfx/Device.h"
#include "render/MeshMgr.h"
#include "tests/app/D3DMainFixture.h"
#include "tests/integration/StepClock.h"
#include "world/Engine.h"

namespace {

// A 512 x 384 screen: the bar runs from x 40 for 150 pixels, rows 364..367,
// inside an outline in its colour (columns 39 and 191, rows 363 and 370).
constexpr uint32_t kWidth = 512, kHeight = 384;
constexpr int kBarLeft = 40, kBarWidth = 150, kBarRow = 366;
constexpr uint32_t kBarColour = 0xFFA6A392;

class LoadingBarRun : public D3DMainFixture {
  protected:
    void SetUp() override {
        D3DMainFixture::SetUp();
        std::filesystem::copy(std::filesystem::path(ZT_SOURCE_DIR) / "data", root_,
                              std::filesystem::copy_options::recursive |
                                  std::filesystem::copy_options::overwrite_existing);
        screenwidth = kWidth;
        screenheight = kHeight;
        savedScale_[0] = g_f2DScaleX;
        savedScale_[1] = g_f2DScaleY;
        g_f2DScaleX = float(kWidth) / 1024.0f;
        g_f2DScaleY = float(kHeight) / 768.0f;
        CreateAndStart();
        stepclock::Install();
        g_Engine.m_fLastTime = DXUtilTimer(TIMER_GETABSOLUTETIME);
        g_MainGame.m_bStartedUp = true;
    }
    void TearDown() override {
        g_MainGame.m_bStartedUp = false;
        g_Engine.StartWorld("*");
        DXUtilTimerSetClock(nullptr);
        g_MeshMgr.ReleaseAll();
        g_f2DScaleX = savedScale_[0];
        g_f2DScaleY = savedScale_[1];
        D3DMainFixture::TearDown();
    }

    // The bar's filled share in the picture last drawn (the back buffer
    // keeps it after it was presented); -1 when it is no loading frame (no
    // outline around the bar).
    static double ShownBar() {
        static std::vector<uint32_t> px(size_t(kWidth) * kHeight);
        if (g_pD3DInterface->ReadPixels(g_pBackBufferSurface, px.data(), kWidth) != gfx::Result::Ok)
            return -1;
        const uint32_t w = kWidth;
        auto at = [&](int x, int y) { return px[size_t(y) * w + size_t(x)]; };
        if (at(kBarLeft - 1, kBarRow) != kBarColour || at(kBarLeft + kBarWidth + 1, kBarRow) != kBarColour ||
            at(100, kBarRow - 3) != kBarColour)
            return -1;
        int filled = 0;
        for (int x = kBarLeft; x < kBarLeft + kBarWidth; ++x) {
            const uint32_t p = at(x, kBarRow);
            if (((p >> 16) & 0xFF) > 110 && ((p >> 16) & 0xFF) >= (p & 0xFF) + 10) ++filled;
        }
        return double(filled) / kBarWidth;
    }

    float savedScale_[2] = {};
};

TEST_F(LoadingBarRun, TheBarGrowsWithTheWorldsMeshesAndTheLevelsFirstFrames) {
    ASSERT_TRUE(g_Engine.StartWorld("worlds\\test.w"));
    // The world start drew the first loading frame, before any mesh.
    EXPECT_NEAR(ShownBar(), 0.0, 1.0 / kBarWidth);
    const uint32_t meshes = g_Console.NumMeshes();
    ASSERT_GT(meshes, 20u);
    // Every mesh of the world file was a step.
    EXPECT_GE(g_Console.MeshesLoaded(), meshes);
    const double total = g_Console.TotalSteps();

    struct Shown {
        int levelFrame;
        double bar;
    };
    std::vector<Shown> shown;
    for (int i = 0; i < 240; ++i) {
        stepclock::StepFrame();
        ASSERT_TRUE(g_Engine.EngineFrameTiming());
        ASSERT_TRUE(g_Engine.EngineFrame());
        g_MainGame.Update();
        g_D3DMain.RenderFrame();
        const double bar = ShownBar();
        if (bar >= 0) shown.push_back({g_MainGame.m_iLevelFrame, bar});
        EXPECT_EQ(g_Console.LoadingShown(), g_MainGame.m_iLevelFrame < 201) << g_MainGame.m_iLevelFrame;
    }
    // At most twice a second (every 16 frames of 1/30 s) up to level frame
    // 199: at level frames 16, 32 .. 192.
    ASSERT_EQ(shown.size(), 12u);
    const double loaded = g_Console.MeshesLoaded() + 7 + 8; // the meshes and the game's world open
    for (size_t i = 0; i < shown.size(); ++i) {
        const Shown& s = shown[i];
        EXPECT_EQ(s.levelFrame, 16 * int(i + 1));
        // Each of the level's frames so far is one step more, and frame 151
        // nine more.
        const double level = s.levelFrame + (s.levelFrame >= 151 ? 9 : 0);
        EXPECT_NEAR(s.bar, (loaded + level) / total, 1.5 / kBarWidth) << "level frame " << s.levelFrame;
        if (i > 0) {
            EXPECT_GT(s.bar, shown[i - 1].bar) << "level frame " << s.levelFrame;
        }
    }
}

} // namespace
