// The one line through which the music stream and thread write to the log
// (the console). Kept apart so that the music code can be built and checked
// on its own, as the thread-sanitizer test does.
#pragma once

void MusicLog(const char* text);
