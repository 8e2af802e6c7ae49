// libFuzzer target: any bytes as a world file. The loader must finish every
// input without a crash, a read outside its data or a write outside a field.
//
// The meshes the inputs name are read from a copy of data/models.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "game/GameStart.h"
#include "tests/fuzz/FuzzSupport.h"
#include "tests/world/WorldReset.h"
#include "world/WorldMgr.h"

namespace {

// Runs before the data directory is removed and before the engine's own
// destructor, so the last input's objects are deleted through the engine
// (the leak check at exit sees none).
void AtExit() {
    wftest::ClearWorld();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool prepared =
        (fuzz::PrepareDataDirectory({"worlds"}, {"models"}), StartGameLayers(), std::atexit(AtExit), true);
    (void)prepared;
    wftest::ClearWorld();
    g_WorldMgr.ProcessWorldData(reinterpret_cast<const char*>(data), size, "worlds\\fuzz.w");
    return 0;
}
