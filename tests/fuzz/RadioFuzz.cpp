// libFuzzer target: any bytes as a radio definition file.
#include <cstddef>
#include <cstdint>

#include "sound/RadioMgr.h"
#include "tests/fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::PrepareDataDirectory({"scripts/radio"});
    fuzz::WriteInput("scripts/radio/fuzz.txt", data, size);
    g_RadioMgr.LoadRadios();
    if (RadioDefinition* r = g_RadioMgr.FirstRadio()) g_RadioMgr.FindRadio(r->szName);
    g_RadioMgr.Clear();
    return 0;
}
