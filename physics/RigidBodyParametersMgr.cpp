#include "physics/RigidBodyParametersMgr.h"

#include <cstring>

void SplitLine(const char* line, int32_t index, char* out, size_t capacity) {
    if (!out || capacity == 0) return;
    out[0] = 0;
    if (!line) return;
    while (*line == ' ')
        ++line;
    // The working copy: the line without its leading and trailing blanks.
    char copy[SPLIT_LINE_CAPACITY] = {};
    size_t length = strnlen(line, sizeof copy - 1);
    std::memcpy(copy, line, length);
    while (length > 0 && copy[length - 1] == ' ')
        copy[--length] = 0;
    if (length == 0) return;

    const char* p = copy;
    for (int32_t i = 0; i < index && *p; ++i) {
        while (*p && *p != ' ')
            ++p;
        while (*p == ' ')
            ++p;
    }
    size_t word = 0;
    while (p[word] && p[word] != ' ')
        ++word;
    if (word > capacity - 1) word = capacity - 1;
    std::memcpy(out, p, word);
    out[word] = 0;
}
