#include "platform/gfx/gl/GlFunctions.h"

#include "platform/gfx/gl/GlCallCounter.h"

#include <SDL2/SDL.h>

#include <cstring>

namespace gfx::gl {

bool Functions::Load(const char** missing) {
#define ZT_GL_LOAD(type, name)                                                                               \
    name = reinterpret_cast<type>(SDL_GL_GetProcAddress("gl" #name));                                        \
    if (!name) {                                                                                             \
        if (missing) *missing = "gl" #name;                                                                  \
        return false;                                                                                        \
    }
    ZT_GL_FUNCTIONS(ZT_GL_LOAD)
#undef ZT_GL_LOAD
#define ZT_GL_LOAD_OPTIONAL(type, name) name = reinterpret_cast<type>(SDL_GL_GetProcAddress("gl" #name));
    ZT_GL_OPTIONAL_FUNCTIONS(ZT_GL_LOAD_OPTIONAL)
#undef ZT_GL_LOAD_OPTIONAL
    if (CountingGlCalls()) WrapForCounting(this);
    return true;
}

bool Functions::HasExtension(const char* ext) const {
    GLint n = 0;
    GetIntegerv(GL_NUM_EXTENSIONS, &n);
    for (GLint i = 0; i < n; ++i) {
        const char* e = reinterpret_cast<const char*>(GetStringi(GL_EXTENSIONS, GLuint(i)));
        if (e && std::strcmp(e, ext) == 0) return true;
    }
    return false;
}

} // namespace gfx::gl
