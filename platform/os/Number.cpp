#include "platform/os/Number.h"

#include <cctype>
#include <cfloat>
#include <charconv>

namespace os {

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Skips white space and the sign; returns whether the number is negative.
const char* SkipToDigits(const char* p, bool* negative) {
    while (std::isspace(static_cast<unsigned char>(*p)))
        ++p;
    *negative = *p == '-';
    if (*p == '-' || *p == '+') ++p;
    return p;
}

} // namespace

int64_t ReadInt64(const char* text) {
    if (!text) return 0;
    bool negative = false;
    const char* p = SkipToDigits(text, &negative);
    // Accumulated as a negative number, whose range holds INT64_MIN.
    int64_t value = 0;
    bool clamped = false;
    for (; IsDigit(*p); ++p) {
        const int digit = *p - '0';
        if (clamped || value < (INT64_MIN + digit) / 10) {
            clamped = true;
            continue;
        }
        value = value * 10 - digit;
    }
    if (clamped) return negative ? INT64_MIN : INT64_MAX;
    if (negative) return value;
    return value == INT64_MIN ? INT64_MAX : -value;
}

int32_t ReadInt(const char* text) {
    const int64_t v = ReadInt64(text);
    return v > INT32_MAX ? INT32_MAX : v < INT32_MIN ? INT32_MIN : static_cast<int32_t>(v);
}

double ReadDouble(const char* text) {
    if (!text) return 0;
    bool negative = false;
    const char* first = SkipToDigits(text, &negative);
    const char* last = first;
    bool digits = false, nonZeroBeforePoint = false;
    for (; IsDigit(*last); ++last) {
        digits = true;
        nonZeroBeforePoint |= *last != '0';
    }
    if (*last == '.') {
        for (++last; IsDigit(*last); ++last)
            digits = true;
    }
    if (!digits) return 0;
    double value = 0;
    // Only digits and a point are passed on: no exponent, "inf" or "nan".
    const auto r = std::from_chars(first, last, value, std::chars_format::fixed);
    if (r.ec == std::errc::result_out_of_range) {
        // Too many digits before the point overflow; a long run of zeros
        // after it underflows.
        value = nonZeroBeforePoint ? DBL_MAX : 0.0;
    } else if (r.ec != std::errc()) {
        value = 0;
    }
    return negative ? -value : value;
}

float ReadFloat(const char* text) {
    const double v = ReadDouble(text);
    if (v > FLT_MAX) return FLT_MAX;
    if (v < -FLT_MAX) return -FLT_MAX;
    return static_cast<float>(v);
}

int32_t ClampToInt(double value, int32_t lo, int32_t hi) {
    if (value != value) return lo < 0 && hi > 0 ? 0 : lo;
    if (value <= double(lo)) return lo;
    if (value >= double(hi)) return hi;
    return static_cast<int32_t>(value);
}

float ClampFloat(float value, float lo, float hi) {
    if (!(value >= lo)) return lo;
    return value > hi ? hi : value;
}

} // namespace os
