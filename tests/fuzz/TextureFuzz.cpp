// libFuzzer target: any bytes as a texture file and as texture scripts. The
// readers must finish every input without a crash, a read outside their data
// or a write outside a field.
//
// Build as tests/fuzz/CMakeLists.txt shows, then:
//   build-fuzz/tests/fuzz/fuzz_textures -max_total_time=60 data/textures data/scripts
#include <unistd.h>

#include <filesystem>

#include "tests/fuzz/TextureInput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool ready = [] {
        const auto dir = std::filesystem::temp_directory_path() / ("zt_texture_fuzz_" + std::to_string(getpid()));
        std::filesystem::create_directories(dir / "scripts");
        os::SetStartDirectory(dir.string());
        return true;
    }();
    (void)ready;
    texfuzz::Feed(data, size);
    return 0;
}
