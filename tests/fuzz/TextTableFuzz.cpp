// libFuzzer target: any bytes as the text label table
// "scripts\text_keys.txt", then every line of the input has its labels
// replaced through the table as a script line would.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "app/TextMgr.h"
#include "tests/fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::PrepareDataDirectory({"scripts"});
    fuzz::WriteInput("scripts/text_keys.txt", data, size);
    ETextMgr table; // loads the file; its duplicate reports stay held
    char line[1024];
    size_t pos = 0;
    while (pos < size) {
        size_t n = 0;
        while (pos < size && data[pos] != '\n' && n + 1 < 512)
            line[n++] = char(data[pos++]);
        if (pos < size && data[pos] == '\n') ++pos;
        line[n] = 0;
        table.ReplaceKeys(line, sizeof line);
        table.GetText(line);
    }
    return 0;
}
