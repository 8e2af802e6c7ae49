// Screenshots of the console (open and closed), the loading screen, the
// start-up logo and the profiler display, checked at the pixels where each
// element belongs.
#include <cstring>
#include <fstream>
#include <memory>

#include "app/Console.h"
#include "app/D3DMain.h"
#include "app/Font.h"
#include "app/Profiler.h"
#include "app/TTFont.h"
#include "app/TextMgr.h"
#include "game/MainGame.h"
#include "tests/LeakCheck.h"
#include "tests/app/DrawFixture.h"

namespace {

bool IsConsoleGreen(uint32_t p) {
    return Green(p) > 150 && Red(p) < Green(p) - 40 && Blue(p) < Green(p) - 40;
}

class ScreenFixture : public DrawFixture {
  protected:
    void SetUp() override {
        DrawFixture::SetUp();
        g_TTFont.Create();
        g_Font.EnsureFonts();
        savedFrame_ = g_MainGame.m_iLevelFrame;
        console_ = std::make_unique<EConsole>();
    }
    void TearDown() override {
        console_.reset();
        g_MainGame.m_iLevelFrame = savedFrame_;
        g_Font.Release();
        g_TTFont.Release();
        DrawFixture::TearDown();
    }
    void Type(const char* keys) {
        for (const char* k = keys; *k; ++k)
            console_->OnKey(uint32_t(*k));
    }
    std::unique_ptr<EConsole> console_;
    int32_t savedFrame_ = 0;
};

// ---- The console ---------------------------------------------------------------------

class ConsoleScreen : public ScreenFixture {};

TEST_F(ConsoleScreen, OpenConsoleFillsTheUpperHalf) {
    for (int i = 0; i < 20; ++i)
        console_->Printf("log line %d", i);
    console_->Print("Za\xBF\xF3\xB3\xE6 g\xEA\x9Cl\xB9 ja\x9F\xF1");
    console_->Open();
    Type("HELLO WORLD");
    console_->OnKey(37); // cursor one to the left
    console_->CreateConsoleBar();
    g_MainGame.m_iLevelFrame = 10;
    Clear(0xFFFFFFFF);
    console_->Render();
    const std::vector<uint32_t> px = Screenshot("console_open");
    auto at = [&](int x, int y) { return px[size_t(y) * width_ + x]; };
    // The bar: black at half alpha over white, down to the middle.
    EXPECT_NEAR(Red(at(900, 200)), 127, 2);
    EXPECT_NEAR(Red(at(900, 382)), 127, 2);
    EXPECT_EQ(at(900, 384), 0xFFFFFFFFu);
    EXPECT_EQ(at(600, 600), 0xFFFFFFFFu);
    // The frame lines at the edges of (0, 0)-(1023, 383).
    for (auto [x, y] : {std::pair{0, 200}, {1023, 200}, {600, 0}, {600, 383}}) {
        EXPECT_EQ(at(x, y), 0xFF80FF80u) << x << "," << y;
    }
    // The newest line (buffer line 127) is the 16th, at y = 8 + 15 * 21.
    EXPECT_GT(CountPixels(px, width_, 14, 323, 300, 344, IsConsoleGreen), 60);
    EXPECT_GT(CountPixels(px, width_, 14, 302, 300, 322, IsConsoleGreen), 30); // "log line 19"
    // The input line at y = 8 + 16 * 21 + 8: ">" from x 14, the text from x 26.
    EXPECT_GT(CountPixels(px, width_, 14, 352, 25, 372, IsConsoleGreen), 5);
    const int typed = g_TTFont.GetTextWidth("hello worl|d");
    EXPECT_GT(CountPixels(px, width_, 26, 352, 26 + typed, 372, IsConsoleGreen), 80);
    EXPECT_EQ(CountPixels(px, width_, 26 + typed + 2, 352, 700, 372, IsConsoleGreen), 0);
    // The version text, faint, right of 780 just above the bar's bottom.
    EXPECT_GT(CountPixels(px, width_, 780, 348, 1000, 368, [](uint32_t p) { return Red(p) < 120; }), 20);
    console_->ReleaseConsoleBar();
}

TEST_F(ConsoleScreen, F8SavesAScreenshotAtOnceAndTypesNothing) {
    console_->Open();
    Type("AB");
    KeepBackBuffer();
    console_->OnKey(119);
    ReleaseBackBuffer();
    EXPECT_TRUE(std::filesystem::exists(dir_ / "zt_screen0000.bmp"));
    EXPECT_STREQ(console_->CommandLine(), "ab");
    EXPECT_EQ(console_->Cursor(), 2u);
    EXPECT_TRUE(console_->IsOpen());
}

TEST_F(ConsoleScreen, ClosedConsoleShowsTheNewestLinesTopLeft) {
    for (int i = 0; i < 8; ++i)
        console_->Printf("message number %d", i);
    g_MainGame.m_iLevelFrame = 10;
    Clear(0xFFFFFFFF);
    console_->Render();
    const std::vector<uint32_t> px = Screenshot("console_closed");
    // Five lines, 21 pixels apart, each with its black shadow.
    for (int k = 0; k < 5; ++k) {
        EXPECT_GT(CountPixels(px, width_, 2, 21 * k, 200, 21 * k + 21, IsConsoleGreen), 30) << k;
        EXPECT_GT(
            CountPixels(px, width_, 2, 21 * k, 200, 21 * k + 22, [](uint32_t p) { return Red(p) < 60; }), 30)
            << k;
    }
    EXPECT_EQ(CountPixels(px, width_, 0, 110, int(width_), int(height_),
                          [](uint32_t p) { return p != 0xFFFFFFFF; }),
              0);
    // No lines asked for: nothing drawn.
    console_->SetVariable("numconsolelines", "0", false);
    Clear(0xFFFFFFFF);
    console_->Render();
    const std::vector<uint32_t> none = Screenshot("console_none");
    EXPECT_EQ(CountPixels(none, width_, 0, 0, int(width_), 200, [](uint32_t p) { return p != 0xFFFFFFFF; }),
              0);
    // Before the level's first frame only the loading caption may show.
    console_->SetVariable("numconsolelines", "5", false);
    g_MainGame.m_iLevelFrame = 0;
    Clear(0xFFFFFFFF);
    console_->Render();
    EXPECT_EQ(CountPixels(Screenshot("console_frame0"), width_, 0, 0, int(width_), int(height_),
                          [](uint32_t p) { return p != 0xFFFFFFFF; }),
              0);
}

// ---- The loading screen --------------------------------------------------------------------

class LoadingScreen : public ScreenFixture {
  protected:
    void TearDown() override {
        g_TextMgr.Clear();
        ScreenFixture::TearDown();
    }
    void Begin() {
        g_TextMgr.Load(); // the caption's labels from the scratch data
        std::filesystem::create_directories(dir_ / "worlds");
        std::ofstream(dir_ / "worlds" / "test.w") << "mesh a.x\nlight\nmesh b.x\nmesh c.x\n";
        console_->BeginLoadingScreen("worlds\\test.w");
        ASSERT_TRUE(console_->LoadingShown());
        ASSERT_EQ(console_->TotalSteps(), 324u);
    }
    // The loading frame's drawing, as the loading code shows it.
    std::vector<uint32_t> Frame(const char* name) {
        Clear(0xFF000000);
        console_->DrawLoadingImage();
        console_->DrawProgressBar();
        console_->Render(); // level frame 0: the caption
        return Screenshot(name);
    }
};

TEST_F(LoadingScreen, PictureBarAndCaptionOnAFourByThreeScreen) {
    Begin();
    console_->AddLoadingProgress(162); // half of 324
    const std::vector<uint32_t> px = Frame("loading_4x3");
    auto at = [&](int x, int y) { return px[size_t(y) * width_ + x]; };
    // The 1200-pixel picture is cropped by 88 on each side: the tower in its
    // middle stands at the screen's middle, the sun beside it, and neither
    // side band shows.
    EXPECT_LT(Red(at(512, 450)), 40);
    EXPECT_GT(Red(at(470, 450)), 200);
    for (int y : {50, 300, 700}) {
        EXPECT_FALSE(Red(at(0, y)) > 100 && Green(at(0, y)) < 40) << y;
        EXPECT_FALSE(Blue(at(1023, y)) > 100 && Red(at(1023, y)) < 40) << y;
        EXPECT_NE(at(0, y), 0xFF000000u) << y;
        EXPECT_NE(at(1023, y), 0xFF000000u) << y;
    }
    // The bar: half of 80..380, 8 pixels high from 728, light in its colour;
    // the outline one pixel around it.
    auto light = [](uint32_t p) { return Red(p) > 110 && Red(p) >= Blue(p) + 10; };
    EXPECT_EQ(CountPixels(px, width_, 80, 728, 230, 736, light), 150 * 8);
    EXPECT_EQ(CountPixels(px, width_, 231, 728, 380, 736, light), 0);
    EXPECT_EQ(at(300, 727), 0xFFA6A392u);
    EXPECT_EQ(at(79, 732), 0xFFA6A392u);
    EXPECT_EQ(at(381, 732), 0xFFA6A392u);
    // The caption ("Loading, please wait...") at (80, 698).
    EXPECT_GT(
        CountPixels(px, width_, 80, 698, 300, 718, [](uint32_t p) { return Red(p) > 180 && Blue(p) > 140; }),
        40);
}

TEST_F(LoadingScreen, WideScreenShowsTheWholePictureCentred) {
    width_ = 1280;
    height_ = 720;
    DrawFixture::TearDown();
    ScreenFixture::SetUp();
    Begin();
    EXPECT_FLOAT_EQ(console_->LoadingPictureX(), 77.5f);
    const std::vector<uint32_t> px = Frame("loading_16x9");
    auto at = [&](int x, int y) { return px[size_t(y) * width_ + x]; };
    // Black beside the picture, the side bands at its edges.
    EXPECT_EQ(at(40, 300), 0xFF000000u);
    EXPECT_GT(Red(at(100, 300)), 100);
    EXPECT_LT(Green(at(100, 300)), 40);
    EXPECT_GT(Blue(at(1170, 300)), 100);
    EXPECT_EQ(at(1250, 300), 0xFF000000u);
    // Nothing done yet: an empty bar inside its outline.
    EXPECT_EQ(CountPixels(px, width_, 140, 684, 470, 690, [](uint32_t p) { return Red(p) > 110; }), 0);
}

// A console that ends before the shutdown released its outlines (a test's,
// or the program's at exit) releases them itself.
TEST_F(LoadingScreen, AConsoleEndingWithItsOutlinesReleasesThem) {
    if (!leakcheck::kAvailable) GTEST_SKIP() << "needs the sanitizer build";
    ASSERT_FALSE(leakcheck::Leaked()) << "leaks before the test";
    Begin();
    console_->CreateConsoleBar();
    console_.reset();
    EXPECT_FALSE(leakcheck::Leaked());
}

TEST_F(LoadingScreen, LoadingFramesTurnMultisamplingOffUntilFrame199) {
    // The state goes off before the twice-a-second gate, so every request
    // made while loading is shown turns it off, drawn or not.
    const struct {
        int32_t levelFrame;
        uint32_t expected;
    } cases[] = {{0, 0}, {198, 0}, {199, 1}, {400, 1}};
    Begin();
    for (const auto& c : cases) {
        g_MainGame.m_iLevelFrame = c.levelFrame;
        dev_->SetRenderState(gfx::RenderState::MultisampleAntialias, 1);
        console_->AddLoadingProgress(1);
        uint32_t value = 99;
        dev_->GetRenderState(gfx::RenderState::MultisampleAntialias, &value);
        EXPECT_EQ(value, c.expected) << "level frame " << c.levelFrame;
    }
    // Not while no loading is shown.
    g_MainGame.m_iLevelFrame = 0;
    console_->ReleaseProgressBar();
    dev_->SetRenderState(gfx::RenderState::MultisampleAntialias, 1);
    console_->DrawLoadingScreen();
    uint32_t value = 99;
    dev_->GetRenderState(gfx::RenderState::MultisampleAntialias, &value);
    EXPECT_EQ(value, 1u);
}

// ---- The start-up logo ------------------------------------------------------------------------

class LogoScreen : public ScreenFixture {};

TEST_F(LogoScreen, LogoIsCentred) {
    g_D3DMain.m_pDevice = dev_;
    g_D3DMain.ShowLogo();
    g_D3DMain.m_pDevice = nullptr;
    const std::vector<uint32_t> px = Screenshot("logo");
    auto gold = [](uint32_t p) { return Red(p) > 180 && Green(p) > 130 && Blue(p) < 110; };
    // 512 x 512 around (512, 384): the ring's top at the middle column, the
    // name below the ring, black outside.
    EXPECT_TRUE(gold(px[size_t(128 + 51) * width_ + 512]));
    EXPECT_GT(CountPixels(px, width_, 300, 128 + 420, 724, 128 + 470, gold), 2000);
    EXPECT_EQ(CountPixels(px, width_, 0, 0, 256, int(height_), [](uint32_t p) { return p != 0xFF000000; }),
              0);
    EXPECT_EQ(CountPixels(px, width_, 768, 0, int(width_), int(height_),
                          [](uint32_t p) { return p != 0xFF000000; }),
              0);
    EXPECT_TRUE(g_Font.FontsBuilt());
}

// ---- The profiler display ---------------------------------------------------------------------

class ProfilerScreen : public ScreenFixture {
  protected:
    void TearDown() override {
        g_iProfiler = savedMode_;
        ScreenFixture::TearDown();
    }
    int32_t savedMode_ = g_iProfiler;
};

TEST_F(ProfilerScreen, LabelsEndAtTheMiddleAndValuesFollowIndented) {
    ProfilerInitLabels();
    g_Profiler.m_fFrameTime = 0.02;
    for (Profiler::Entry& e : g_Profiler.m_Entries)
        e.seconds = 0.001;
    g_iProfiler = 0;
    Clear(0xFF000000);
    ProfilerReport();
    EXPECT_EQ(CountPixels(Screenshot("profiler_off"), width_, 0, 0, int(width_), int(height_),
                          [](uint32_t p) { return p != 0xFF000000; }),
              0);
    g_iProfiler = 1;
    Clear(0xFF000000);
    ProfilerReport();
    const std::vector<uint32_t> px = Screenshot("profiler");
    auto white = [](uint32_t p) { return Red(p) > 120 && Green(p) > 120 && Blue(p) > 120; };
    int used = 0;
    for (const Profiler::Entry& e : g_Profiler.m_Entries)
        used += e.used;
    ASSERT_EQ(used, 41);
    // Row 0 "Engine Update" (level 0), row 1 "EU: MainGame Pre" (level 1).
    for (int row = 0; row < 2; ++row) {
        const int y = 32 + 14 * row;
        EXPECT_GT(CountPixels(px, width_, 380, y, 512, y + 14, white), 40) << row;
        EXPECT_GT(CountPixels(px, width_, 512 + 12 * row, y, 700, y + 14, white), 40) << row;
        EXPECT_EQ(CountPixels(px, width_, 0, y, 300, y + 14, white), 0) << row;
    }
    // The value of a level-5 row starts 60 pixels right of the middle.
    const int row45 = 9; // ids 0, 10, 20, 30, 32, 34, 36, 37, 38, then 45
    EXPECT_EQ(CountPixels(px, width_, 512, 32 + 14 * row45 + 3, 570, 32 + 14 * row45 + 11, white), 0);
    // The objects line below the last label, centred on the middle.
    const int last = 32 + 14 * used;
    EXPECT_GT(CountPixels(px, width_, 400, last, 512, last + 14, white), 30);
    EXPECT_GT(CountPixels(px, width_, 512, last, 620, last + 14, white), 30);
    EXPECT_EQ(CountPixels(px, width_, 0, last + 16, int(width_), int(height_), white), 0);
}

} // namespace
