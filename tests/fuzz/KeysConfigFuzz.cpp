// libFuzzer target: any bytes as "save\keys.cfg", read by the key bindings.
#include <cstddef>
#include <cstdint>

#include "app/CommandMgr.h"
#include "tests/fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::PrepareDataDirectory({"save"});
    fuzz::WriteInput("save/keys.cfg", data, size);
    g_CommandMgr.LoadKeys();
    for (uint32_t c = 0; c < NUM_COMMANDS; ++c)
        g_CommandMgr.IsCommandActive(int32_t(c), 0);
    return 0;
}
