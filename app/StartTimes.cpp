#include "app/StartTimes.h"

#include <time.h>

#include <cstdio>
#include <cstdlib>

namespace {

std::FILE* g_TimesFile = nullptr;

long long MonotonicNs() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (long long)t.tv_sec * 1000000000LL + t.tv_nsec;
}

// Runs before the other static constructors of the program, so that their
// time is measured from here.
__attribute__((constructor(101))) void OpenTimesFile() {
    const long long now = MonotonicNs();
    const char* name = std::getenv("ZT_START_TIMES");
    if (!name || !*name) return;
    g_TimesFile = std::fopen(name, "w");
    if (g_TimesFile) std::fprintf(g_TimesFile, "static_init %lld\n", now);
}

} // namespace

void MarkStartStep(const char* step) {
    if (!g_TimesFile) return;
    std::fprintf(g_TimesFile, "%s %lld\n", step, MonotonicNs());
    std::fflush(g_TimesFile);
}
