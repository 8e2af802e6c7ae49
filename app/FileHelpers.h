// Text and binary file helpers shared by every module: the binary primitives of
// every save block and settings file, the line readers and word splitters of
// every script parser, case-insensitive matching, small numeric and colour
// helpers and the append-only error log.
//
// Failure policy: nothing here reports an error; readers leave their targets
// as they were on a short read. Buffers are always terminated. Functions with
// a static result buffer return a pointer valid until their next call (main
// thread only). Object references (PESEL) are written by the engine world.
#pragma once

#include <cstdint>
#include <cstdio>

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

// Line readers: buffer holds n + 1 bytes.
void ReadLine(std::FILE* f, char* buffer, int n);
void ReadLineRaw(std::FILE* f, char* buffer, int n);
void WriteLine(std::FILE* f, const char* text, int n);

bool IsKeyword(const char* line, const char* keyword);
const char* GetArgument(const char* line);
const char* GetWord(const char* line, int n);
void ParseVector3(const char* text, float* vector);
bool FileExists(const char* name);

int StrCmpNoCase(const char* a, const char* b);
bool CharEqualNoCase(char a, char b);
void StrToLower(char* text);
int StrStrNoCase(const char* text, const char* part);
void CutAtSpace(char* text);
void CutAtBlank(char* text);
void TrimRight(char* text);
bool IsValidPath(const char* name);

// Appends text and a LF to the log file (null: "!error.txt") in the start directory.
void ErrorLog(const char* text, const char* fileName);

float RandomFloat(float x);
bool IsNearlyEqual(float a, float b, float epsilon);
void StepTowards(float* value, float target, float step);
float LerpClamped(float a, float b, float t);
uint32_t LerpColor(uint32_t c1, uint32_t c2, float t);
uint32_t VecToRGB(const float* v, bool scale);
const char* FormatTwoDigits(uint32_t n);
const char* FormatFloat(float value, int decimals);
