#include "app/FileHelpers.h"

#include <cstring>

#include "platform/os/Os.h"

uint32_t g_BytesWritten = 0;
uint32_t g_BytesRead = 0;

void ErrorLog(const char* text, const char* fileName) {
    if (!text) return;
    // Resolved against the start directory, so no directory switch is needed.
    std::FILE* f = os::OpenFile(fileName ? fileName : "!error.txt", "a");
    if (!f) return;
    std::fwrite(text, 1, strnlen(text, 256), f);
    std::fputc('\n', f);
    std::fclose(f);
}
