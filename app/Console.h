// The developer console: the system's one log (a 128-line scroll-back buffer
// mirrored into "!console.txt"), its input line, and the console variables
// that zt.cfg and the command line set.
//
// Print may be called from the music thread as well as the main thread: the
// buffer and the log file are guarded by one mutex. Everything else is main
// thread only.
#pragma once

#include <cstdint>
#include <mutex>

class EConsole {
public:
    static constexpr int NUM_LINES = 128;
    static constexpr int LINE_LEN = 80;

    EConsole();
    virtual ~EConsole();

    void Print(const char* text);
    void PrintVector(const char* text, float x, float y, float z);
    void Print2(const char* a, const char* b);
    void Print3(const char* a, const char* b, const char* c);
    void Print4(const char* a, const char* b, const char* c, const char* d);
    void Print5(const char* a, const char* b, const char* c, const char* d, const char* e);
    void PrintFloat(const char* text, float v);
    void PrintFloat(const char* text, double v);
    void PrintInt(const char* text, int v);
    void PrintInteger(const char* text, int v);
    void Print2Float(const char* a, const char* b, float v);
    void Print2Int(const char* a, const char* b, int v);
    // printf-style convenience for the engine's own formatted log lines.
    void Printf(const char* format, ...) __attribute__((format(printf, 2, 3)));

    // Line i of the scroll-back buffer (0 oldest, 127 newest).
    const char* Line(int i) const { return m_Lines[i]; }

private:
    void PrintLocked(const char* text);

    char m_Lines[NUM_LINES][LINE_LEN] = {};
    mutable std::recursive_mutex m_PrintMutex;
};

extern EConsole g_Console;
