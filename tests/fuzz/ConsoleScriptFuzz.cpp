// libFuzzer target: any bytes as a console script, run line by line as
// "exec" and the start-up configuration run it. The variables each input
// stores are freed before the next one.
#include <cstddef>
#include <cstdint>

#include "app/Console.h"
#include "tests/fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::PrepareDataDirectory({"scripts"});
    fuzz::WriteInput("scripts/fuzz.txt", data, size);
    g_Console.ExecFile("scripts\\fuzz.txt");
    g_Console.FreeVariables();
    return 0;
}
