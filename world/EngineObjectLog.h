// The behaviour layer's two kinds of console line: a logged line is printed
// only while the console variable Debug is not 0, a reported line always.
#pragma once

namespace objlog {

void Logged(const char* format, ...) __attribute__((format(printf, 1, 2)));
void Reported(const char* format, ...) __attribute__((format(printf, 1, 2)));

} // namespace objlog
