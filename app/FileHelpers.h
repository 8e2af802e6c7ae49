// Text and binary file helpers shared by every module: the binary primitives of
// every save block and settings file, the line readers and word splitters of
// every script parser, case-insensitive matching, small numeric and colour
// helpers and the append-only error log.
//
// Binary files are little-endian without padding; every primitive adds the
// bytes it moved to g_BytesWritten or g_BytesRead. Text files may end their
// lines with LF, CR LF or CR; text is 8-bit (code page 1250) and kept as bytes.
//
// Failure policy: nothing here reports an error; readers leave their targets
// as they were on a short read. Buffers are always terminated and never
// written past their stated size. Functions with
// a static result buffer return a pointer valid until their next call (main
// thread only). Object references (PESEL) are written by the engine world.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

struct orientation;
struct D3DXVECTOR3;

// Bytes moved by the binary primitives; the save manager zeroes them per block.
extern uint32_t g_BytesWritten;
extern uint32_t g_BytesRead;

void FileWriteBytes(std::FILE* f, const void* p, uint32_t n);
void FileReadBytes(std::FILE* f, void* p, uint32_t n);
void FileWriteBool(std::FILE* f, bool b);
void FileReadBool(std::FILE* f, bool* b);
void FileWrite32(std::FILE* f, uint32_t v);
void FileWrite32(std::FILE* f, int32_t v);
void FileWrite32(std::FILE* f, float v);
void FileRead32(std::FILE* f, void* p);
void FileWriteVector(std::FILE* f, const float* v);
void FileReadVector(std::FILE* f, float* v);
void FileWriteString(std::FILE* f, const char* s);
// Reads a length-prefixed string into a buffer of capacity bytes; a stored
// length that does not fit is read past and the excess dropped. The result is
// always terminated. Returns false when the block was short.
bool FileReadString(std::FILE* f, char* buffer, uint32_t capacity);
void FileWriteOrientation(std::FILE* f, const orientation* o);
void FileReadOrientation(std::FILE* f, orientation* o);

// Line readers: buffer holds n + 1 bytes. A line ends at LF, CR LF, CR or the
// end of the file; the end mark is consumed, not stored. Of a line longer than
// n characters the rest is returned by the next call. ReadLine also turns
// tabs into blanks and replaces text labels (ETextMgr::ReplaceKeys) within the
// buffer; ReadLineRaw does neither.
void ReadLine(std::FILE* f, char* buffer, int n);
void ReadLineRaw(std::FILE* f, char* buffer, int n);
// The condition of every line-reading loop: true while the file has more to
// read. A read error (a directory opened as a file, a failing disk) ends the
// loop as the end of the file does and is logged as "<file>: cannot be read
// (<reason>)" on the console and the error log; the caller then goes on as
// for a missing file (std::ferror). Without a name the caller reports it.
bool MoreLines(std::FILE* f, const char* fileName);
// Writes at most n characters of the text, then LF.
void WriteLine(std::FILE* f, const char* text, int n);

// The line's first word (from its very first character, at most 127) equals
// the keyword without regard to case.
bool IsKeyword(const char* line, const char* keyword);
// The rest of the line after its first word, trimmed of blanks and tabs; word
// n (0-based). Both use a static 512-byte buffer and give "_string too long!"
// for lines of 512 characters or more.
const char* GetArgument(const char* line);
const char* GetWord(const char* line, int n);
// Three blank-separated numbers; only the first 255 characters are read.
void ParseVector3(const char* text, float* vector);
// The platform's FileExists for a C string: a readable regular file (a
// directory does not count); false for a null or empty name.
bool FileExists(const char* name);

int StrCmpNoCase(const char* a, const char* b);
// The text with its ASCII capitals lowered: two texts are equal by
// StrCmpNoCase exactly when their keys are equal (for hashed look-ups).
std::string NoCaseKey(const char* text);
bool CharEqualNoCase(char a, char b);
// The text begins with the prefix, case ignored.
bool StartsWithNoCase(const char* text, const char* prefix);
void StrToLower(char* text);
int StrStrNoCase(const char* text, const char* part);
void CutAtSpace(char* text);
void CutAtBlank(char* text);
void TrimRight(char* text);
bool IsValidPath(const char* name);

// Appends text and a LF to the log file (null: "!error.txt") in the start directory.
void ErrorLog(const char* text, const char* fileName);

// A random float in [0, x) (in (x, 0] for a negative x) from the project's
// generator. A range of 0 gives 0 without drawing, so it leaves the random
// sequence where it was; every other range draws one number.
float RandomFloat(float x);
bool IsNearlyEqual(float a, float b, float epsilon);
void StepTowards(float* value, float target, float step);
float LerpClamped(float a, float b, float t);
uint32_t LerpColor(uint32_t c1, uint32_t c2, float t);
uint32_t VecToRGB(const float* v, bool scale);
const char* FormatTwoDigits(uint32_t n);
const char* FormatFloat(float value, int decimals);
