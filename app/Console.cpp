#include "app/Console.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "app/FileHelpers.h"

EConsole g_Console;

EConsole::EConsole() = default;
EConsole::~EConsole() = default;

void EConsole::Print(const char* text) {
    std::lock_guard lock(m_PrintMutex);
    PrintLocked(text);
}

void EConsole::PrintLocked(const char* text) {
    std::memmove(m_Lines[0], m_Lines[1], sizeof(m_Lines[0]) * (NUM_LINES - 1));
    std::memset(m_Lines[NUM_LINES - 1], 0, LINE_LEN);
    if (!text || !*text) return;
    ErrorLog(text, "!console.txt");
    char copy[1024];
    std::strncpy(copy, text, sizeof copy - 1);
    copy[sizeof copy - 1] = 0;
    size_t len = std::strlen(copy);
    if (len < LINE_LEN) {
        std::memcpy(m_Lines[NUM_LINES - 1], copy, len + 1);
        return;
    }
    std::memcpy(m_Lines[NUM_LINES - 1], copy, LINE_LEN - 1);
    m_Lines[NUM_LINES - 1][LINE_LEN - 1] = 0;
    PrintLocked(copy + LINE_LEN - 1);
}

namespace {
template <typename... A>
void Fmt(EConsole& c, const char* format, A... args) {
    char buf[2048];
    std::snprintf(buf, sizeof buf, format, args...);
    c.Print(buf);
}
const char* S(const char* s) { return s ? s : ""; }
}  // namespace

void EConsole::PrintVector(const char* t, float x, float y, float z) { Fmt(*this, "%s(%f, %f, %f)", S(t), x, y, z); }
void EConsole::Print2(const char* a, const char* b) { Fmt(*this, "%s%s", S(a), S(b)); }
void EConsole::Print3(const char* a, const char* b, const char* c) { Fmt(*this, "%s%s%s", S(a), S(b), S(c)); }
void EConsole::Print4(const char* a, const char* b, const char* c, const char* d) {
    Fmt(*this, "%s%s%s%s", S(a), S(b), S(c), S(d));
}
void EConsole::Print5(const char* a, const char* b, const char* c, const char* d, const char* e) {
    Fmt(*this, "%s%s%s%s%s", S(a), S(b), S(c), S(d), S(e));
}
void EConsole::PrintFloat(const char* t, float v) { Fmt(*this, "%s%f", S(t), double(v)); }
void EConsole::PrintFloat(const char* t, double v) { Fmt(*this, "%s%f", S(t), v); }
void EConsole::PrintInt(const char* t, int v) { Fmt(*this, "%s%d", S(t), v); }
void EConsole::PrintInteger(const char* t, int v) { Fmt(*this, "%s%i", S(t), v); }
void EConsole::Print2Float(const char* a, const char* b, float v) { Fmt(*this, "%s%s%f", S(a), S(b), double(v)); }
void EConsole::Print2Int(const char* a, const char* b, int v) { Fmt(*this, "%s%s%i", S(a), S(b), v); }

void EConsole::Printf(const char* format, ...) {
    char buf[2048];
    va_list ap;
    va_start(ap, format);
    std::vsnprintf(buf, sizeof buf, format, ap);
    va_end(ap);
    Print(buf);
}
