// The on-screen displays of the profiler and the debug manager, and the
// performance report the debug manager prints. Each runs only while its
// console variable is set; per frame they format into stack buffers only.
#include <cstdio>

#include "app/Console.h"
#include "app/Debug.h"
#include "app/Font.h"
#include "app/Options.h"
#include "app/Profiler.h"
#include "app/TTFont.h"
#include "platform/os/Os.h"
#include "world/EngineObject.h"

void ProfilerReport() {
    if (g_iProfiler == 0) return;
    const float xs = g_f2DScaleX, ys = g_f2DScaleY;
    const float x = 512.0f * xs;
    const float step = 14.0f * ys;
    const double frame = g_Profiler.m_fFrameTime;
    float y = 32.0f * ys;
    char text[Profiler::LABEL_LEN + 32];
    g_Font.BeginText();
    for (const Profiler::Entry& e : g_Profiler.m_Entries) {
        if (!e.used) continue;
        std::snprintf(text, sizeof text, "%s:  ", e.label);
        g_Font.Print(text, x, y, 0xFFFFFFFF, 14.0f, 0, false, true);
        const double percent = frame > 0.0 ? e.seconds / frame * 100.0 : 0.0;
        std::snprintf(text, sizeof text, "  %f - %.2f%%", e.seconds, percent);
        g_Font.Print(text, x + float(e.level) * 12.0f * xs, y, 0xFFFFFFFF, 14.0f, 0, false, false);
        y += step;
    }
    std::snprintf(text, sizeof text, "Objects updated: %i:  ", int(g_EngineObject.m_dwObjectsTested));
    g_Font.Print(text, x, y, 0xFFFFFFFF, 14.0f, 0, true, false);
    g_Font.EndText();
}

// ---- Debug displays -----------------------------------------------------------------------

namespace {

constexpr uint32_t kDebugTextColor = 0xFFD0D0FF;
constexpr uint32_t kShadowColor = 0xFF000000;

// One line of a debug display on the virtual 1024 x 768 screen: black
// shadow first, then the colour.
void DebugLine(const char* text, float x, float y) {
    g_TTFont.DrawTextScaled(text, x + 1.0f, y + 1.0f, kShadowColor, false, false);
    g_TTFont.DrawTextScaled(text, x, y, kDebugTextColor, false, false);
}

int Percent(uint32_t part, uint32_t whole) {
    return whole ? int(uint64_t(part) * 100 / whole) : 0;
}

} // namespace

void EDebug::FormatPolygonStats(char (&lines)[10][96]) const {
    const PolygonStats& s = m_PolygonStats;
    const uint32_t n = s.switchedSubsets;
    const uint32_t classed = s.subsetsUnder100 + s.subsetsUnder500 + s.subsetsUnder1000;
    const uint32_t large = n > classed ? n - classed : 0;
    std::snprintf(lines[0], sizeof lines[0], "Visible mesh polygons: %i", int(s.visiblePolygons));
    std::snprintf(lines[1], sizeof lines[1], "Rendered mesh polygons: %i", int(s.renderedPolygons));
    std::snprintf(lines[2], sizeof lines[2], "Visible mesh shadow polygons: %i",
                  int(s.visibleShadowPolygons));
    std::snprintf(lines[3], sizeof lines[3], "Switched subsets: %i", int(n));
    std::snprintf(lines[4], sizeof lines[4], "Average faces per subset: %i",
                  n ? int(s.visiblePolygons / n) : 0);
    std::snprintf(lines[5], sizeof lines[5], "Subsets with less than 100 faces: %i (%i%%)",
                  int(s.subsetsUnder100), Percent(s.subsetsUnder100, n));
    std::snprintf(lines[6], sizeof lines[6], "Subsets 100-499 faces: %i (%i%%)", int(s.subsetsUnder500),
                  Percent(s.subsetsUnder500, n));
    std::snprintf(lines[7], sizeof lines[7], "Subsets 500-999 faces: %i (%i%%)", int(s.subsetsUnder1000),
                  Percent(s.subsetsUnder1000, n));
    std::snprintf(lines[8], sizeof lines[8], "Subsets 1000 faces and above: %i (%i%%)", int(large),
                  Percent(large, n));
    std::snprintf(lines[9], sizeof lines[9], "Technique switches: %i", int(s.techniqueSwitches));
}

void EDebug::DrawPolygonStats() const {
    if (!PrintPolygonCount) return;
    char lines[10][96];
    FormatPolygonStats(lines);
    for (int i = 0; i < 10; ++i)
        DebugLine(lines[i], 20.0f, 120.0f + 20.0f * float(i));
}

void EDebug::DrawRenderCounts() const {
    if (DebugLights == 0) return;
    char line[96];
    std::snprintf(line, sizeof line, "Total FX rendered: %i", int(m_dwFxRendered));
    DebugLine(line, 20.0f, 340.0f);
    std::snprintf(line, sizeof line, "Total lights rendered: %i", int(m_dwLightsRendered));
    DebugLine(line, 20.0f, 360.0f);
}

void EDebug::DrawPerformance() const {
    if (!DebugPerformance) return;
    const double update = m_fUpdateTotal, render = m_fRenderTotal, engine = m_fEngineUpdate;
    const double total = update + render;
    if (total == 0.0) {
        g_Console.Print("fTotal==0");
        return;
    }
    if (update <= 0.0 || render <= 0.0 || engine <= 0.0) {
        g_Console.Print("Szczatkowe == 0");
        return;
    }
    const double rest = engine - m_fObjectUpdate - m_fRendererUpdate - m_fMovableUpdate;
    g_Console.Print("Debug performance");
    g_Console.PrintFloat("Update: ", update / total * 100.0);
    g_Console.PrintFloat("  MainGame: ", m_fGameUpdate / update * 100.0);
    g_Console.PrintFloat("  Engine: ", engine / update * 100.0);
    g_Console.PrintFloat("    EngineObject: ", m_fObjectUpdate / engine * 100.0);
    g_Console.PrintFloat("    Renderer: ", m_fRendererUpdate / engine * 100.0);
    g_Console.PrintFloat("    Movable: ", m_fMovableUpdate / engine * 100.0);
    g_Console.PrintFloat("    ----: ", rest / engine * 100.0);
    g_Console.PrintFloat("Render: ", render / total * 100.0);
    // The performance counter is always there on this platform.
    g_Console.PrintFloat("Using QPF with timer ", double(os::PerformanceFrequency()));
}
