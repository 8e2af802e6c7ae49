#include "app/FileHelpers.h"

#include <bit>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "app/Console.h"
#include "app/TextMgr.h"
#include "platform/os/Number.h"
#include "platform/os/Os.h"

// The binary primitives move values as they lie in memory; the file format is
// little-endian, and so must the host be.
static_assert(std::endian::native == std::endian::little, "binary files are little-endian");
static_assert(sizeof(float) == 4);

uint32_t g_BytesWritten = 0;
uint32_t g_BytesRead = 0;

namespace {

constexpr size_t LINE_BUFFER = 512;
constexpr const char* TOO_LONG = "_string too long!";

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

void Write(std::FILE* f, const void* p, uint32_t n) {
    std::fwrite(p, 1, n, f);
    g_BytesWritten += n;
}

void Read(std::FILE* f, void* p, uint32_t n) {
    // A short read leaves the rest of the target as it was.
    (void)!std::fread(p, 1, n, f);
    g_BytesRead += n;
}

// Reads one line of at most n characters. A line ends at LF, CR LF, CR or the
// end of the file; the end mark is consumed. A character that does not fit is
// put back, so the rest of an over-long line is the next call's line.
void ReadLineInto(std::FILE* f, char* buffer, int n, bool tabsToBlanks) {
    int stored = 0;
    while (true) {
        int c = std::fgetc(f);
        if (c == EOF || c == '\n') break;
        if (c == '\r') {
            int next = std::fgetc(f);
            if (next == EOF) {
                // Like a final LF: the end of the file is met by the next call.
                std::clearerr(f);
            } else if (next != '\n') {
                std::ungetc(next, f);
            }
            break;
        }
        if (stored >= n) {
            std::ungetc(c, f);
            break;
        }
        if (tabsToBlanks && c == '\t') c = ' ';
        buffer[stored++] = char(c);
    }
    buffer[stored] = 0;
}

// Copies line into buffer without its leading and trailing blanks and tabs;
// false when the line is too long for the shared buffers.
bool CopyTrimmed(const char* line, char* buffer) {
    size_t len = strnlen(line, LINE_BUFFER);
    if (len >= LINE_BUFFER) return false;
    const char* begin = line;
    while (IsBlank(*begin))
        ++begin;
    const char* end = line + len;
    while (end > begin && IsBlank(end[-1]))
        --end;
    // The source may lie inside the buffer itself (an argument of an argument).
    std::memmove(buffer, begin, size_t(end - begin));
    buffer[end - begin] = 0;
    return true;
}

char* SkipWord(char* p) {
    while (*p && !IsBlank(*p))
        ++p;
    while (IsBlank(*p))
        ++p;
    return p;
}

char LowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

// Capitals and their lower forms: ASCII, then the Polish letters of code page 1250.
constexpr unsigned char UPPER[35] = {'A', 'B', 'C',  'D',  'E',  'F',  'G',  'H',  'I',  'J',  'K', 'L',
                                     'M', 'N', 'O',  'P',  'Q',  'R',  'S',  'T',  'U',  'V',  'W', 'X',
                                     'Y', 'Z', 0xA5, 0xC6, 0xCA, 0xA3, 0xD1, 0xD3, 0x8C, 0x8F, 0xAF};
constexpr unsigned char LOWER[35] = {'a', 'b', 'c',  'd',  'e',  'f',  'g',  'h',  'i',  'j',  'k', 'l',
                                     'm', 'n', 'o',  'p',  'q',  'r',  's',  't',  'u',  'v',  'w', 'x',
                                     'y', 'z', 0xB9, 0xE6, 0xEA, 0xB3, 0xF1, 0xF3, 0x9C, 0x9F, 0xBF};

// Truncation toward zero that stays defined for values outside the int range.
int32_t TruncateToInt(float v) {
    if (!(v > -2147483648.0f && v < 2147483648.0f)) return 0;
    return int32_t(v);
}

} // namespace

// ---------------------------------------------------------------------------
// Binary primitives

void FileWriteBytes(std::FILE* f, const void* p, uint32_t n) {
    if (n == 0 || !f || !p) return;
    Write(f, p, n);
}

void FileReadBytes(std::FILE* f, void* p, uint32_t n) {
    if (n == 0 || !f || !p) return;
    Read(f, p, n);
}

void FileWriteBool(std::FILE* f, bool b) {
    if (!f) return;
    uint8_t byte = b ? 1 : 0;
    Write(f, &byte, 1);
}

void FileReadBool(std::FILE* f, bool* b) {
    if (!f || !b) return;
    uint8_t byte = *b ? 1 : 0;
    Read(f, &byte, 1);
    *b = byte != 0;
}

void FileWrite32(std::FILE* f, uint32_t v) {
    if (f) Write(f, &v, 4);
}
void FileWrite32(std::FILE* f, int32_t v) {
    if (f) Write(f, &v, 4);
}
void FileWrite32(std::FILE* f, float v) {
    if (f) Write(f, &v, 4);
}

void FileRead32(std::FILE* f, void* p) {
    if (f && p) Read(f, p, 4);
}

void FileWriteVector(std::FILE* f, const float* v) {
    if (!f || !v) return;
    for (int i = 0; i < 3; ++i)
        FileWrite32(f, v[i]);
}

void FileReadVector(std::FILE* f, float* v) {
    if (!f || !v) return;
    for (int i = 0; i < 3; ++i)
        FileRead32(f, &v[i]);
}

void FileWriteString(std::FILE* f, const char* s) {
    if (!f || !s) return;
    uint32_t len = uint32_t(std::strlen(s));
    FileWrite32(f, len);
    if (len) Write(f, s, len);
}

bool FileReadString(std::FILE* f, char* buffer, uint32_t capacity) {
    if (!f || !buffer || capacity == 0) return false;
    uint32_t len = 0;
    if (std::fread(&len, 1, 4, f) != 4) {
        g_BytesRead += 4;
        buffer[0] = 0;
        return false;
    }
    g_BytesRead += 4;
    // What does not fit is read past and dropped, so the stream stays in step.
    uint32_t keep = len < capacity ? len : capacity - 1;
    size_t got = keep ? std::fread(buffer, 1, keep, f) : 0;
    buffer[got] = 0;
    bool whole = got == keep;
    for (uint32_t rest = len - keep; whole && rest > 0;) {
        char skip[256];
        uint32_t step = rest < sizeof skip ? rest : uint32_t(sizeof skip);
        if (std::fread(skip, 1, step, f) != step) whole = false;
        rest -= step;
    }
    g_BytesRead += len;
    return whole;
}

// ---------------------------------------------------------------------------
// Text files

void ReadLine(std::FILE* f, char* buffer, int n) {
    if (!f || !buffer || n < 0) return;
    ReadLineInto(f, buffer, n, true);
    g_TextMgr.ReplaceKeys(buffer, size_t(n) + 1);
}

void ReadLineRaw(std::FILE* f, char* buffer, int n) {
    if (!f || !buffer || n < 0) return;
    ReadLineInto(f, buffer, n, false);
}

bool MoreLines(std::FILE* f, const char* fileName) {
    if (!f || std::feof(f)) return false;
    if (!std::ferror(f)) return true;
    if (!fileName) return false;
    // On the error log as well: zt.cfg is read before the console's log begins.
    char line[512];
    std::snprintf(line, sizeof line, "%s: cannot be read (%s)", fileName ? fileName : "",
                  std::strerror(errno));
    ErrorLog(line, nullptr);
    g_Console.Print(line);
    return false;
}

void WriteLine(std::FILE* f, const char* text, int n) {
    if (!f) return;
    if (text && n > 0) std::fwrite(text, 1, strnlen(text, size_t(n)), f);
    std::fputc('\n', f);
}

bool IsKeyword(const char* line, const char* keyword) {
    if (!line || !keyword) return false;
    char word[128];
    size_t i = 0;
    while (i < sizeof word - 1 && line[i] && !IsBlank(line[i])) {
        word[i] = line[i];
        ++i;
    }
    word[i] = 0;
    return StrCmpNoCase(word, keyword) == 0;
}

const char* GetArgument(const char* line) {
    static char buffer[LINE_BUFFER];
    if (!line) {
        buffer[0] = 0;
        return buffer;
    }
    if (!CopyTrimmed(line, buffer)) return TOO_LONG;
    return SkipWord(buffer);
}

const char* GetWord(const char* line, int n) {
    static char buffer[LINE_BUFFER];
    if (!line) {
        buffer[0] = 0;
        return buffer;
    }
    if (!CopyTrimmed(line, buffer)) return TOO_LONG;
    char* p = buffer;
    for (int i = 0; i < n && *p; ++i)
        p = SkipWord(p);
    char* end = p;
    while (*end && !IsBlank(*end))
        ++end;
    *end = 0;
    return p;
}

void ParseVector3(const char* text, float* vector) {
    if (!text || !*text || !vector) return;
    // Each piece is copied before the next argument is taken, because the
    // arguments share one buffer; the copy is bounded.
    char piece[256];
    std::strncpy(piece, text, sizeof piece - 1);
    piece[sizeof piece - 1] = 0;
    vector[0] = os::ReadFloat(piece);
    std::strncpy(piece, GetArgument(piece), sizeof piece - 1);
    vector[1] = os::ReadFloat(piece);
    std::strncpy(piece, GetArgument(piece), sizeof piece - 1);
    vector[2] = os::ReadFloat(piece);
}

bool FileExists(const char* name) {
    return name && os::FileExists(name);
}

void ErrorLog(const char* text, const char* fileName) {
    if (!text) return;
    // Resolved against the start directory, so no directory switch is needed.
    std::FILE* f = os::OpenFile(fileName ? fileName : "!error.txt", "a");
    if (!f) return;
    std::fwrite(text, 1, strnlen(text, 256), f);
    std::fputc('\n', f);
    std::fclose(f);
}

// ---------------------------------------------------------------------------
// Strings

int StrCmpNoCase(const char* a, const char* b) {
    if (!a) a = "";
    if (!b) b = "";
    for (;; ++a, ++b) {
        if (*a == *b) {
            if (!*a) return 0;
            continue;
        }
        if (!*a) return -1;
        if (!*b) return 1;
        signed char x = static_cast<signed char>(LowerAscii(*a));
        signed char y = static_cast<signed char>(LowerAscii(*b));
        if (x != y) return x < y ? -1 : 1;
    }
}

std::string NoCaseKey(const char* text) {
    std::string key = text ? text : "";
    for (char& c : key)
        c = LowerAscii(c);
    return key;
}

bool CharEqualNoCase(char a, char b) {
    return LowerAscii(a) == LowerAscii(b);
}

bool StartsWithNoCase(const char* text, const char* prefix) {
    if (!text || !prefix) return false;
    for (; *prefix; ++text, ++prefix)
        if (!*text || !CharEqualNoCase(*text, *prefix)) return false;
    return true;
}

void StrToLower(char* text) {
    if (!text) return;
    for (; *text; ++text) {
        unsigned char c = static_cast<unsigned char>(*text);
        for (int i = 0; i < 35; ++i) {
            if (UPPER[i] == c) {
                *text = char(LOWER[i]);
                break;
            }
        }
    }
}

int StrStrNoCase(const char* text, const char* part) {
    if (!text || !*text || !part) return 0;
    char t[1024], p[1024];
    std::strncpy(t, text, sizeof t - 1);
    t[sizeof t - 1] = 0;
    std::strncpy(p, part, sizeof p - 1);
    p[sizeof p - 1] = 0;
    StrToLower(t);
    StrToLower(p);
    return std::strstr(t, p) ? 1 : 0;
}

void CutAtSpace(char* text) {
    if (!text) return;
    if (char* p = std::strchr(text, ' ')) *p = 0;
}

void CutAtBlank(char* text) {
    if (!text) return;
    text[std::strcspn(text, " \t")] = 0;
}

void TrimRight(char* text) {
    if (!text) return;
    size_t len = std::strlen(text);
    while (len > 1 && IsBlank(text[len - 1]))
        text[--len] = 0;
}

bool IsValidPath(const char* name) {
    if (!name) return false;
    for (; *name; ++name) {
        char c = *name;
        bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '!' ||
                  c == '_' || c == '\\' || c == '.' || c == '-';
        if (!ok) return false;
    }
    return true;
}

// ---------------------------------------------------------------------------
// Numbers and colours

float RandomFloat(float x) {
    if (x == 0.0f) return 0.0f;
    return float(os::Rand() & 0x7fff) / 32768.0f * x;
}

bool IsNearlyEqual(float a, float b, float epsilon) {
    return std::fabs(a - b) <= epsilon;
}

void StepTowards(float* value, float target, float step) {
    if (!value) return;
    if (*value < target) {
        *value += step;
        if (*value > target) *value = target;
    } else if (*value > target) {
        *value -= step;
        if (*value < target) *value = target;
    }
}

float LerpClamped(float a, float b, float t) {
    if (t < 0.0f) t = 0.0f;
    if (t > 1.0f) t = 1.0f;
    return a + (b - a) * t;
}

uint32_t LerpColor(uint32_t c1, uint32_t c2, float t) {
    if (t < 0.0f) t = 0.0f;
    if (t > 1.0f) t = 1.0f;
    uint32_t out = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        float a = float((c1 >> shift) & 0xff);
        float b = float((c2 >> shift) & 0xff);
        out |= (uint32_t(TruncateToInt(a + (b - a) * t)) & 0xff) << shift;
    }
    return out;
}

uint32_t VecToRGB(const float* v, bool scale) {
    if (!v) return 0;
    float k = scale ? 255.0f : 1.0f;
    uint32_t r = uint32_t(TruncateToInt(v[0] * k));
    uint32_t g = uint32_t(TruncateToInt(v[1] * k));
    uint32_t b = uint32_t(TruncateToInt(v[2] * k));
    return (r << 16) | (g << 8) | b;
}

const char* FormatTwoDigits(uint32_t n) {
    static char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%02u", n);
    return buffer;
}

const char* FormatFloat(float value, int decimals) {
    static char buffer[96];
    if (decimals < 0) decimals = 0;
    if (decimals > 20) decimals = 20;
    if (!std::isfinite(value)) {
        std::snprintf(buffer, sizeof buffer, "%f", double(value));
        return buffer;
    }
    bool negative = !(value >= 0.0f);
    // The digits rounded to 11 decimals, cut one digit past the wanted ones.
    char digits[80];
    std::snprintf(digits, sizeof digits, "%.11f", std::fabs(double(value)));
    char* point = std::strchr(digits, '.');
    int have = int(std::strlen(point + 1));
    int keep = decimals + 1 < have ? decimals + 1 : have;
    point[1 + keep] = 0;

    // Drop the extra digit and round the text up when it was 5 or more.
    char* last = point + keep;
    bool roundUp = keep > decimals && *last >= '5';
    if (keep > decimals) *last-- = 0;
    bool carryToInteger = false;
    if (roundUp) {
        carryToInteger = true;
        for (char* d = last; d > point; --d) {
            if (*d != '9') {
                ++*d;
                carryToInteger = false;
                break;
            }
            *d = 0; // an overflowing 9 is dropped
        }
    }
    if (carryToInteger) {
        // Integer part + 1, as text so that no width limits it, and ".00"
        // after it whatever the number of decimals asked for.
        int i = int(point - digits) - 1;
        while (i >= 0 && digits[i] == '9')
            digits[i--] = '0';
        if (i >= 0) {
            ++digits[i];
        } else {
            std::memmove(digits + 1, digits, size_t(point - digits) + 1);
            digits[0] = '1';
            ++point;
        }
        std::strcpy(point + 1, "00");
    }
    // Missing decimals are filled with zeros.
    size_t len = std::strlen(digits);
    while (int(len - size_t(point + 1 - digits)) < decimals)
        digits[len++] = '0';
    digits[len] = 0;
    std::snprintf(buffer, sizeof buffer, "%s%s", negative ? "-" : "", digits);
    return buffer;
}
