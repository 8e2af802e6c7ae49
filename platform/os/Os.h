// Operating-system services of the platform layer: the data-file resolver,
// directory listing, file operations, clocks, the project's 15-bit random
// generator, threads and the single-instance lock.
//
// Every file name from the engine and the data (backslashes, any letter case)
// goes through ResolvePath: '\' becomes '/', and each component is matched
// without regard to case against the directory's entries; components that do
// not exist are kept as given, so a new file is created with the name as
// written. Relative names are taken from the start directory, which is fixed
// once (the current directory at start) and never changed by chdir.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace os {

// The data directory as an absolute path without a trailing '/'.
const std::string& StartDirectory();
// Changes the directory relative names resolve against (tests and tools).
void SetStartDirectory(std::string_view dir);

std::string ResolvePath(std::string_view name);
std::FILE* OpenFile(std::string_view name, const char* mode);
// True when the open file's name is gone (the file or its directory was
// removed), so a writer that keeps it open must open the name anew.
bool FileUnlinked(std::FILE* file);

// An open file that is closed on every way out of its scope. Close says
// whether the close, and so the last write, succeeded.
class File {
  public:
    File() = default;
    explicit File(std::FILE* f) : m_f(f) {}
    ~File() {
        if (m_f) std::fclose(m_f);
    }
    File(File&& o) noexcept : m_f(o.m_f) { o.m_f = nullptr; }
    File& operator=(File&& o) noexcept {
        if (this != &o) {
            if (m_f) std::fclose(m_f);
            m_f = o.m_f;
            o.m_f = nullptr;
        }
        return *this;
    }
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    std::FILE* get() const { return m_f; }
    explicit operator bool() const { return m_f != nullptr; }
    bool Close() {
        if (!m_f) return false;
        const bool ok = std::fclose(m_f) == 0;
        m_f = nullptr;
        return ok;
    }

  private:
    std::FILE* m_f = nullptr;
};
// OpenFile whose result closes itself.
inline File Open(std::string_view name, const char* mode) {
    return File(OpenFile(name, mode));
}

// A regular file that can be read (a directory is not a file).
bool FileExists(std::string_view name);
bool DirectoryExists(std::string_view name);
bool DeleteFile(std::string_view name);
// Fails when the target exists and overwrite is false.
bool CopyFile(std::string_view from, std::string_view to, bool overwrite);
// Creates the directory and any missing parents; true when it exists afterwards.
bool CreateDirectory(std::string_view name);
// True when a file can be made in the directory (one is made and removed
// again); otherwise false with the system's reason.
bool CanWriteDirectory(std::string_view dir, std::string* reason);
// Size of a file in bytes, -1 when it cannot be read.
long long FileSize(std::string_view name);
// Last modification time of a file in nanoseconds since 1970, -1 when it
// cannot be read.
long long FileModifiedTime(std::string_view name);
// Reads a whole regular file into out with one read of its size. False, out
// empty and errno telling why, when the file cannot be opened, is no regular
// file (EISDIR, EINVAL), holds more than maxBytes (EFBIG) or cannot be read
// in full (EIO when it shrank).
bool ReadWholeFile(std::string_view name, std::string* out, size_t maxBytes = SIZE_MAX);
bool ReadWholeFile(std::string_view name, std::vector<uint8_t>* out, size_t maxBytes = SIZE_MAX);

// A file's bytes in memory of their own, for files that may be large. From
// 2 MiB up the memory is asked of the system as whole 2 MiB pages where it
// gives them (transparent huge pages): a read into fresh memory costs one
// page fault per page, and on a file of 26 MB the 6,400 faults of 4 KiB
// pages took longer than parsing it. Smaller files come from the heap.
class FileBytes {
  public:
    FileBytes() = default;
    FileBytes(const FileBytes&) = delete;
    FileBytes& operator=(const FileBytes&) = delete;
    ~FileBytes() { clear(); }

    const char* data() const { return data_; }
    char* data() { return data_; }
    size_t size() const { return size_; }
    std::string_view view() const { return {data_, size_}; }
    // n bytes of unspecified content; throws std::bad_alloc when the memory
    // cannot be had.
    void resize(size_t n);
    void clear();

  private:
    char* data_ = nullptr;
    size_t size_ = 0;
    void* mapping_ = nullptr; // a mapping of its own (large files), else data_ is from the heap
    size_t mappingBytes_ = 0;
};
bool ReadWholeFile(std::string_view name, FileBytes* out, size_t maxBytes = SIZE_MAX);

// Equality without regard to the case of ASCII letters.
bool EqualNoCase(std::string_view a, std::string_view b);

// Case-insensitive match with '*' (any run) and '?' (one character).
bool WildcardMatch(std::string_view pattern, std::string_view name);

struct DirEntry {
    std::string name;  // the entry's own name, without the directory
    bool isDirectory = false;
};
// Lists the entries of a pattern's directory whose names match its last
// component ("scripts\\radio\\*.txt"), sorted by name; "." and ".." left out.
std::vector<DirEntry> ListDirectory(std::string_view pattern);

// Clocks.
uint64_t PerformanceCounter();  // monotonic ticks
uint64_t PerformanceFrequency();  // ticks per second
uint32_t TimeGetTimeMs();  // monotonic milliseconds, wraps at 2^32
void SleepMs(uint32_t ms);

struct CalendarTime {
    int year, month, dayOfWeek, day, hour, minute, second, milliseconds;
};
CalendarTime LocalTime();
CalendarTime SystemTimeUtc();

// The project's rand(): the classic linear congruential generator, 0..32767.
constexpr int RAND_MAX_VALUE = 0x7fff;
int Rand();
void Srand(uint32_t seed);

}  // namespace os
