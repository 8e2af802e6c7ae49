// The profiler's on-screen display.
#include <cstdio>

#include "app/Font.h"
#include "app/Options.h"
#include "app/Profiler.h"
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
