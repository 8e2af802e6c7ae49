// The one reader of numbers written as text: configuration files, world and
// path files, radio and table files and console rows all read their numbers
// here, in the C locale.
//
// Blanks (any white space) are skipped, then an optional sign and decimal
// digits, for a real number with an optional point and fraction. Reading
// stops at the first other character: "1e30" reads 1, and "nan", "inf" or a
// text without digits read 0. A value beyond the range of the result is
// clamped to its ends, so every result is a finite number.
#pragma once

#include <cstdint>

namespace os {

int64_t ReadInt64(const char* text);
int32_t ReadInt(const char* text);
double ReadDouble(const char* text);
float ReadFloat(const char* text);

// A value turned into an integer of the range lo..hi: the fraction is cut
// (toward zero), values outside the range and NaN are clamped (NaN to lo or,
// when lo is below 0 and hi above it, to 0). For numbers from data that feed
// a cast, whose value may be anything.
int32_t ClampToInt(double value, int32_t lo = INT32_MIN, int32_t hi = INT32_MAX);
// A value kept within lo..hi; NaN gives lo.
float ClampFloat(float value, float lo, float hi);

} // namespace os
