// Rigid-body parameter files and their word picker.
//
// `SplitLine` is the one word reader of the parameter text files: the
// inertia-tensor files, the skinned meshes' collision files and the mesh
// socket files match a line's keyword first and then fetch its arguments by
// index. Only the blank (0x20) separates words; the line readers have turned
// tabs into blanks before. Nothing is allocated.
#pragma once

#include <cstddef>
#include <cstdint>

// The working copy of a line, terminator included.
constexpr size_t SPLIT_LINE_CAPACITY = 5000;

// Word `index` of the line (0, or any index below 0, is the first word) into
// out, cut to capacity - 1 characters and always terminated; the empty text
// when the line has no such word. A line is read up to its first
// SPLIT_LINE_CAPACITY - 1 characters.
void SplitLine(const char* line, int32_t index, char* out, size_t capacity);
