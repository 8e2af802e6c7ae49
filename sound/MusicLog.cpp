#include "sound/MusicLog.h"

#include "app/Console.h"

void MusicLog(const char* text) {
    g_Console.Print(text);
}
