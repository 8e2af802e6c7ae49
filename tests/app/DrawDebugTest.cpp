// The debug manager's displays: the performance report on the console, the
// polygon statistics and the render counts on screen.
#include <string>
#include <tuple>
#include <vector>

#include "app/Console.h"
#include "app/Debug.h"
#include "app/TTFont.h"
#include "game/MainGame.h"
#include "tests/app/DrawFixture.h"

namespace {

class DebugDisplays : public DrawFixture {
  protected:
    void SetUp() override {
        DrawFixture::SetUp();
        g_TTFont.Create();
        saved_ = {DebugPerformance, PrintPolygonCount, DebugLights};
    }
    void TearDown() override {
        DebugPerformance = std::get<0>(saved_);
        PrintPolygonCount = std::get<1>(saved_);
        DebugLights = std::get<2>(saved_);
        g_TTFont.Release();
        DrawFixture::TearDown();
    }
    // The newest n lines of the console, oldest first.
    std::vector<std::string> LastLines(int n) {
        std::vector<std::string> out;
        char line[EConsole::LINE_LEN + 1] = {};
        for (int i = EConsole::NUM_LINES - n; i < EConsole::NUM_LINES; ++i) {
            g_Console.CopyLine(i, line);
            out.push_back(line);
        }
        return out;
    }
    std::tuple<bool, bool, int32_t> saved_;
};

TEST_F(DebugDisplays, PerformanceReportOnTheConsole) {
    struct Case {
        const char* name;
        double update, game, engine, object, renderer, movable, render;
        std::vector<std::string> lines; // the newest lines printed
    } cases[] = {
        {"nothing measured", 0, 0, 0, 0, 0, 0, 0, {"fTotal==0"}},
        {"no render time", 0.01, 0.004, 0.006, 0.001, 0.001, 0.001, 0, {"Szczatkowe == 0"}},
        {"no engine time", 0.01, 0.01, 0, 0, 0, 0, 0.01, {"Szczatkowe == 0"}},
        {"shares",
         0.03,
         0.012,
         0.018,
         0.009,
         0.0045,
         0.0018,
         0.01,
         {"Debug performance", "Update: 75.000000", "  MainGame: 40.000000", "  Engine: 60.000000",
          "    EngineObject: 50.000000", "    Renderer: 25.000000", "    Movable: 10.000000",
          "    ----: 15.000000", "Render: 25.000000"}},
    };
    DebugPerformance = true;
    for (const Case& c : cases) {
        EDebug d;
        d.m_fUpdateTotal = c.update;
        d.m_fGameUpdate = c.game;
        d.m_fEngineUpdate = c.engine;
        d.m_fObjectUpdate = c.object;
        d.m_fRendererUpdate = c.renderer;
        d.m_fMovableUpdate = c.movable;
        d.m_fRenderTotal = c.render;
        g_Console.Print("marker");
        d.DrawPerformance();
        const bool full = c.lines.size() > 1;
        std::vector<std::string> got = LastLines(int(c.lines.size()) + (full ? 2 : 1));
        EXPECT_EQ(got.front(), "marker") << c.name;
        got.erase(got.begin());
        if (full) {
            EXPECT_EQ(got.back().rfind("Using QPF with timer ", 0), 0u) << c.name;
            got.pop_back();
        }
        for (size_t i = 0; i < c.lines.size(); ++i) {
            if (c.lines[i].find(':') == std::string::npos) {
                EXPECT_EQ(got[i], c.lines[i]) << c.name;
            } else {
                const size_t k = c.lines[i].find(':') + 2;
                EXPECT_EQ(got[i].substr(0, k), c.lines[i].substr(0, k)) << c.name;
                EXPECT_NEAR(std::stod(got[i].substr(k)), std::stod(c.lines[i].substr(k)), 1e-3) << c.name;
            }
        }
    }
    DebugPerformance = false;
    g_Console.Print("marker");
    EDebug().DrawPerformance();
    EXPECT_EQ(LastLines(1).front(), "marker");
}

TEST_F(DebugDisplays, PolygonStatisticsLines) {
    struct Case {
        EDebug::PolygonStats stats;
        std::vector<std::string> lines;
    } cases[] = {
        {{},
         {"Visible mesh polygons: 0", "Rendered mesh polygons: 0", "Visible mesh shadow polygons: 0",
          "Switched subsets: 0", "Average faces per subset: 0", "Subsets with less than 100 faces: 0 (0%)",
          "Subsets 100-499 faces: 0 (0%)", "Subsets 500-999 faces: 0 (0%)",
          "Subsets 1000 faces and above: 0 (0%)", "Technique switches: 0"}},
        {{12000, 9000, 3000, 40, 10, 20, 6, 7},
         {"Visible mesh polygons: 12000", "Rendered mesh polygons: 9000",
          "Visible mesh shadow polygons: 3000", "Switched subsets: 40", "Average faces per subset: 300",
          "Subsets with less than 100 faces: 10 (25%)", "Subsets 100-499 faces: 20 (50%)",
          "Subsets 500-999 faces: 6 (15%)", "Subsets 1000 faces and above: 4 (10%)",
          "Technique switches: 7"}},
    };
    for (const Case& c : cases) {
        EDebug d;
        d.m_PolygonStats = c.stats;
        char lines[10][96];
        d.FormatPolygonStats(lines);
        for (int i = 0; i < 10; ++i)
            EXPECT_EQ(std::string(lines[i]), c.lines[size_t(i)]);
    }
}

TEST_F(DebugDisplays, OnScreenOnlyWhileSwitchedOn) {
    auto ink = [](uint32_t p) { return Blue(p) > 150; };
    EDebug d;
    d.m_PolygonStats.visiblePolygons = 1234;
    d.m_dwFxRendered = 5;
    PrintPolygonCount = false;
    DebugLights = 0;
    Clear(0xFF000000);
    d.DrawPolygonStats();
    d.DrawRenderCounts();
    EXPECT_EQ(CountPixels(Screenshot("debug_off"), width_, 0, 0, int(width_), int(height_), ink), 0);
    PrintPolygonCount = true;
    DebugLights = 1;
    Clear(0xFF000000);
    d.DrawPolygonStats();
    d.DrawRenderCounts();
    const std::vector<uint32_t> px = Screenshot("debug_on");
    // Ten statistics lines from y 120, then the two counts from y 340.
    for (int i = 0; i < 10; ++i)
        EXPECT_GT(CountPixels(px, width_, 20, 120 + 20 * i, 400, 138 + 20 * i, ink), 40) << i;
    for (int y : {340, 360})
        EXPECT_GT(CountPixels(px, width_, 20, y, 300, y + 18, ink), 40) << y;
    EXPECT_EQ(CountPixels(px, width_, 0, 385, int(width_), int(height_), ink), 0);
}

TEST_F(DebugDisplays, GameRenderShowsTheOverlaysThatAreSwitchedOn) {
    auto ink = [](uint32_t p) { return Blue(p) > 150; };
    const bool savedStarted = g_MainGame.m_bStartedUp;
    const double savedUpdate = g_Debug.m_fUpdateTotal, savedRender = g_Debug.m_fRenderTotal;
    g_Debug.m_fUpdateTotal = 0;
    g_Debug.m_fRenderTotal = 0;
    struct Case {
        const char* name;
        bool started, polygons, performance;
        int32_t lights;
        bool statsShown, countsShown;
        const char* lastLine; // the console's newest line after the frame
    } cases[] = {
        {"game not started", false, true, true, 1, false, false, "marker"},
        {"all off", true, false, false, 0, false, false, "marker"},
        {"polygon statistics", true, true, false, 0, true, false, "marker"},
        {"render counts", true, false, false, 1, false, true, "marker"},
        {"performance report", true, false, true, 0, false, false, "fTotal==0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        g_MainGame.m_bStartedUp = c.started;
        PrintPolygonCount = c.polygons;
        DebugPerformance = c.performance;
        DebugLights = c.lights;
        g_Console.Print("marker");
        Clear(0xFF000000);
        g_MainGame.Render();
        const std::vector<uint32_t> px = Screenshot("game_overlays");
        EXPECT_EQ(CountPixels(px, width_, 20, 120, 400, 138, ink) > 40, c.statsShown);
        EXPECT_EQ(CountPixels(px, width_, 20, 340, 300, 358, ink) > 40, c.countsShown);
        EXPECT_EQ(LastLines(1)[0], c.lastLine);
    }
    g_MainGame.m_bStartedUp = savedStarted;
    g_Debug.m_fUpdateTotal = savedUpdate;
    g_Debug.m_fRenderTotal = savedRender;
}

} // namespace
