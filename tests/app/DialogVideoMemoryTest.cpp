// The video-memory figures the dialogs and the debug report show.
#include <gtest/gtest.h>

#include <string>

#include "app/Debug.h"
#include "app/Options.h"
#include "app/VideoConfig.h"

namespace {

TEST(VideoMemoryReport, SplitsWhatWasTakenSinceTheDeviceWasMade) {
    EDebug debug;
    debug.m_dwVideoMemoryAtCreation = 500000;
    debug.m_dwVideoMemorySections[1] = 30000; // post-processing surfaces
    debug.m_dwVideoMemorySections[2] = 20000; // sky shadows and projectors
    debug.m_dwVideoMemorySections[3] = 999;   // counted nowhere in the report
    char lines[4][96];
    debug.FormatVideoMemoryReport(400000, lines);
    EXPECT_STREQ(lines[0], "Render targets (sky+projectors): 20000");
    EXPECT_STREQ(lines[1], "Post processing surfaces: 30000");
    EXPECT_STREQ(lines[2], "Other resources (screen+meshes+textures): 50000");
    EXPECT_STREQ(lines[3], "Total video memory taken: 100000");
}

TEST(VideoMemoryMeasure, WithoutAnAdapterOrInReducedRenderModeEveryFigureIsZero) {
    gfx::Interface* savedD3D = g_pD3D;
    const bool savedSimple = SimpleRender;
    for (bool simple : {false, true}) {
        g_pD3D = nullptr;
        SimpleRender = simple;
        EXPECT_EQ(QueryLocalVideoMemory(), 0u);
        EXPECT_EQ(QueryTotalVideoMemory(), 0u);
        EDebug debug;
        debug.BeginVideoMemoryMeasure(1);
        debug.EndVideoMemoryMeasure();
        EXPECT_EQ(debug.m_dwVideoMemorySections[1], 0u);
        // A section past the counters is not counted anywhere.
        debug.BeginVideoMemoryMeasure(EDebug::NUM_VIDEO_MEMORY_SECTIONS);
        debug.EndVideoMemoryMeasure();
        for (uint32_t s = 0; s < EDebug::NUM_VIDEO_MEMORY_SECTIONS; ++s)
            EXPECT_EQ(debug.m_dwVideoMemorySections[s], 0u);
    }
    g_pD3D = savedD3D;
    SimpleRender = savedSimple;
}

} // namespace
