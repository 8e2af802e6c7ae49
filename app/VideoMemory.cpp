// The video-memory measures of the debug manager and their report.
#include <cstdio>

#include "app/Debug.h"
#include "app/Options.h"
#include "app/TTFont.h"
#include "app/VideoConfig.h"

namespace {

// Sections of the report.
constexpr uint32_t kPostProcessSection = 1;
constexpr uint32_t kRenderTargetSection = 2;

constexpr float kReportX = 504.0f;
constexpr float kReportY = 260.0f;
constexpr float kReportLineStep = 20.0f;
constexpr uint32_t kReportColor = 0xFFD0D0FF;
constexpr uint32_t kShadowColor = 0xFF000000;

} // namespace

void EDebug::BeginVideoMemoryMeasure(uint32_t section) {
    m_dwVideoMemorySection = section;
    m_dwVideoMemoryAtMeasureStart = QueryLocalVideoMemory();
}

void EDebug::EndVideoMemoryMeasure() {
    if (m_dwVideoMemorySection >= NUM_VIDEO_MEMORY_SECTIONS) return;
    m_dwVideoMemorySections[m_dwVideoMemorySection] +=
        m_dwVideoMemoryAtMeasureStart - QueryLocalVideoMemory();
}

void EDebug::FormatVideoMemoryReport(uint32_t freeNow, char (&lines)[4][96]) const {
    const uint32_t taken = m_dwVideoMemoryAtCreation - freeNow;
    const uint32_t targets = m_dwVideoMemorySections[kRenderTargetSection];
    const uint32_t post = m_dwVideoMemorySections[kPostProcessSection];
    std::snprintf(lines[0], sizeof lines[0], "Render targets (sky+projectors): %i", int(targets));
    std::snprintf(lines[1], sizeof lines[1], "Post processing surfaces: %i", int(post));
    std::snprintf(lines[2], sizeof lines[2], "Other resources (screen+meshes+textures): %i",
                  int(taken - targets - post));
    std::snprintf(lines[3], sizeof lines[3], "Total video memory taken: %i", int(taken));
}

void EDebug::DrawVideoMemoryReport() const {
    if (SimpleRender) return;
    char lines[4][96];
    FormatVideoMemoryReport(QueryLocalVideoMemory(), lines);
    for (int i = 0; i < 4; ++i) {
        const float y = kReportY + kReportLineStep * float(i);
        g_TTFont.DrawTextScaled(lines[i], kReportX + 1.0f, y + 1.0f, kShadowColor, false, false);
        g_TTFont.DrawTextScaled(lines[i], kReportX, y, kReportColor, false, false);
    }
}
