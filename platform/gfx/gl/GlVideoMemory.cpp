#include "platform/gfx/gl/GlVideoMemory.h"

#include <SDL2/SDL.h>

#include <cstring>

namespace gfx::gl {
namespace {

constexpr GLenum kNvxTotalKb = 0x9048;     // GL_GPU_MEMORY_INFO_TOTAL_AVAILABLE_MEMORY_NVX
constexpr GLenum kNvxCurrentKb = 0x9049;   // GL_GPU_MEMORY_INFO_CURRENT_AVAILABLE_VIDMEM_NVX
constexpr GLenum kAtiTextureFree = 0x87FC; // GL_TEXTURE_FREE_MEMORY_ATI: 4 values, [0] free KB
constexpr int kMesaVideoMemoryMb = 0x8187; // GLX_RENDERER_VIDEO_MEMORY_MESA

using QueryRendererFn = int (*)(int attribute, unsigned int* value);

bool QueryMesaGlx(uint64_t* total) {
    // Only meaningful with a GLX context (SDL's X11 driver); other drivers
    // have no current GLX context and the query answers false.
    const char* driver = SDL_GetCurrentVideoDriver();
    if (!driver || std::strcmp(driver, "x11") != 0) return false;
    auto fn = reinterpret_cast<QueryRendererFn>(SDL_GL_GetProcAddress("glXQueryCurrentRendererIntegerMESA"));
    if (!fn) return false;
    unsigned int mb[3] = {0, 0, 0};
    if (!fn(kMesaVideoMemoryMb, mb) || mb[0] == 0) return false;
    *total = uint64_t(mb[0]) << 20;
    return true;
}

} // namespace

bool QueryVideoMemory(const Functions& gl, uint64_t* totalBytes, uint64_t* freeBytes) {
    uint64_t total = 0, free = 0;
    bool told = false;
    if (gl.HasExtension("GL_NVX_gpu_memory_info")) {
        GLint t = 0, c = 0;
        gl.GetIntegerv(kNvxTotalKb, &t);
        gl.GetIntegerv(kNvxCurrentKb, &c);
        total = uint64_t(t) << 10;
        free = uint64_t(c) << 10;
        told = t > 0;
    } else if (gl.HasExtension("GL_ATI_meminfo")) {
        GLint v[4] = {0, 0, 0, 0};
        gl.GetIntegerv(kAtiTextureFree, v);
        total = free = uint64_t(v[0]) << 10; // the pool's size is not told: free is the best figure
        told = v[0] > 0;
    } else if (QueryMesaGlx(&total)) {
        free = total; // Mesa tells the size only
        told = true;
    }
    while (gl.GetError() != GL_NO_ERROR) {
    }
    if (!told) return false;
    if (totalBytes) *totalBytes = total;
    if (freeBytes) *freeBytes = free;
    return true;
}

} // namespace gfx::gl
