// libFuzzer target: any bytes as a console script, run line by line as
// "exec" and the start-up configuration run it. The variables each input
// stores are freed before the next one. The game's layers are started as the
// game starts them, so every console row reaches its handler.
#include <cstddef>
#include <cstdint>

#include "app/Console.h"
#include "game/GameStart.h"
#include "tests/fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool started = (fuzz::PrepareDataDirectory({"scripts"}), StartGameLayers(), true);
    (void)started;
    fuzz::WriteInput("scripts/fuzz.txt", data, size);
    g_Console.ExecFile("scripts\\fuzz.txt");
    g_Console.FreeVariables();
    return 0;
}
