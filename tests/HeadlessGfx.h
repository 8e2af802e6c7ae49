// What the tests of the real device share: its present parameters.
#pragma once

#include <cstdint>

#include "platform/gfx/Types.h"

// A windowed X8R8G8B8 back buffer (one) of the given size with an automatic
// depth buffer, presented without waiting for the display.
inline gfx::PresentParameters HeadlessPresentParams(uint32_t width, uint32_t height,
                                                    gfx::Format depth = gfx::Format::D24S8,
                                                    uint32_t samples = 0) {
    gfx::PresentParameters pp;
    pp.BackBufferWidth = width;
    pp.BackBufferHeight = height;
    pp.BackBufferFormat = gfx::Format::X8R8G8B8;
    pp.BackBufferCount = 1;
    pp.MultiSampleType = samples;
    pp.Windowed = true;
    pp.EnableAutoDepthStencil = true;
    pp.AutoDepthStencilFormat = depth;
    pp.PresentationInterval = gfx::PresentIntervalImmediate;
    return pp;
}
