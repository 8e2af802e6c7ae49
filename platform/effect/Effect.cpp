#include "platform/effect/Effect.h"

#include <cstdio>

#include "platform/effect/EffectFile.h"
#include "platform/os/Os.h"

namespace effect {

std::string EffectFilePath(std::string_view path) {
    std::string out(path);
    const size_t dot = out.find_last_of('.');
    const size_t slash = out.find_last_of("\\/");
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash) &&
        os::EqualNoCase(std::string_view(out).substr(dot), ".fxc")) {
        out.replace(dot, std::string::npos, ".glfx");
    }
    return out;
}

bool ReadEffectText(std::string_view path, std::string* out) {
    return os::ReadWholeFile(path, out, MaxFileBytes);
}

gfx::Result CreateEffectFromFile(gfx::Device* device, const char* path, uint32_t flags, Effect** effect,
                                 std::string* errors) {
    if (!device || !path || !effect) return gfx::Result::InvalidCall;
    *effect = nullptr;
    const std::string file = EffectFilePath(path);
    std::string text;
    if (!ReadEffectText(file, &text)) {
        if (errors) *errors = file + ": cannot be read";
        return gfx::Result::InvalidData;
    }
    return CreateEffect(device, text, file, flags, effect, errors);
}

} // namespace effect
