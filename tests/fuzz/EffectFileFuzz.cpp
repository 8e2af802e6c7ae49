// libFuzzer target: any bytes as an effect file. The reader must finish
// every input with a declaration set or a message, without a crash or a
// read outside its text. An include gives a fixed piece of GLSL.
//
// Build (clang only, its own build directory):
//   cmake -S . -B build-fuzz -G Ninja -DZT_FUZZ=ON -DZT_BENCH=OFF
//         -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++
//   ninja -C build-fuzz fuzz_effect_file
//   build-fuzz/tests/fuzz/fuzz_effect_file -max_total_time=60 tests/render/fx
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/effect/EffectFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const effect::IncludeReader include = [](std::string_view, std::string* text) {
        *text = "vec4 lib() { return vec4(1.0); }\n";
        return true;
    };
    effect::EffectDecl decl;
    std::string error;
    effect::ReadEffect(std::string_view(reinterpret_cast<const char*>(data), size), "fx\\fuzz.glfx", include,
                       &decl, &error);
    return 0;
}
