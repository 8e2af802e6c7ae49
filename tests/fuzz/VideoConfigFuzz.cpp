// libFuzzer target: any bytes as "save\video.cfg", read by the video settings.
#include <cstddef>
#include <cstdint>

#include "app/VideoConfig.h"
#include "tests/fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::PrepareDataDirectory({"save"});
    fuzz::WriteInput("save/video.cfg", data, size);
    ReadVideoConfig();
    return 0;
}
