// libFuzzer target: any bytes as an inertia-tensor file. The reader must
// finish every input without a crash, a read outside its data, a write
// outside a field or a count beyond the largest mesh.
//
// Build as fuzz_world_file (see WorldFileFuzz.cpp), then, with a few computed
// files as the corpus (the game writes them into !opt):
//   build-fuzz/tests/fuzz/fuzz_params_file -max_total_time=60 <folder of .txt files>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "tests/fuzz/ParamsFileInput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool ready = [] {
        const auto dir =
            std::filesystem::temp_directory_path() / ("zt_params_fuzz_" + std::to_string(getpid()));
        std::filesystem::create_directories(dir);
        os::SetStartDirectory(dir.string());
        return true;
    }();
    (void)ready;
    static ERigidBodyParametersMgr mgr;
    if (!paramsfuzz::Feed(mgr, data, size)) std::abort();
    return 0;
}
