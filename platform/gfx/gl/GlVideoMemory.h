// Video memory as the GL driver tells it: NVIDIA's GL_NVX_gpu_memory_info,
// AMD's GL_ATI_meminfo, or Mesa's GLX_MESA_query_renderer on X11.
#pragma once

#include <cstdint>

#include "platform/gfx/gl/GlFunctions.h"

namespace gfx::gl {

// Needs a current context. False when the driver tells nothing; the caller
// then uses DefaultVideoMemoryBytes.
bool QueryVideoMemory(const Functions& gl, uint64_t* totalBytes, uint64_t* freeBytes);

} // namespace gfx::gl
