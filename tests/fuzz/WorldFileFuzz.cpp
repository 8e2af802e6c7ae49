// libFuzzer target: any bytes as a world file. The loader must finish every
// input without a crash, a read outside its data or a write outside a field.
//
// Build (clang only, its own build directory):
//   cmake -S . -B build-fuzz -G Ninja -DZT_FUZZ=ON -DZT_BENCH=OFF \
//         -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++
//   ninja -C build-fuzz fuzz_world_file
//   build-fuzz/tests/fuzz/fuzz_world_file -max_total_time=60 data/worlds
// The meshes the inputs name are read from a copy of data/models.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <unistd.h>

#include "platform/os/Os.h"
#include "render/EnvironmentSettings.h"
#include "tests/world/WorldReset.h"
#include "world/BezierMgr.h"
#include "world/Engine.h"
#include "world/ObjectRecord.h"
#include "world/VisBlockers.h"
#include "world/WorldMgr.h"

namespace {

using wftest::ClearWorld;

std::filesystem::path g_DataDir;

// Runs before the engine's own destructor, so the last input's objects are
// deleted through the engine (the leak check at exit sees none).
void AtExit() {
    ClearWorld();
    std::error_code ec;
    std::filesystem::remove_all(g_DataDir, ec);
}

void PrepareDataDirectory() {
    std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("zt_fuzz_world_" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir / "worlds");
    std::filesystem::copy(std::filesystem::path(ZT_SOURCE_DIR) / "data" / "models", dir / "models",
                          std::filesystem::copy_options::recursive);
    os::SetStartDirectory(dir.string());
    g_DataDir = dir;
    std::atexit(AtExit);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool prepared = (PrepareDataDirectory(), true);
    (void)prepared;
    ClearWorld();
    g_WorldMgr.ProcessWorldData(reinterpret_cast<const char*>(data), size, "worlds\\fuzz.w");
    return 0;
}
