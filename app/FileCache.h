// The file cache: whole text files held in memory so that files read many
// times (the skinned-mesh and ragdoll descriptions) come from disk once. A
// caller opens a file by name, gets a handle with its own read position, reads
// lines until the end and closes the handle; the data stays cached until the
// file is freed by name.
//
// Failure policy: a full cache or no free handle is printed on the console and
// the caller gets -1 or null; an unreadable file gives -1 or null silently; a
// name too long for an entry and freeing a file that still has an open handle
// are refused with a console line. Main thread only. Nothing is freed at exit.
#pragma once

#include <cstdint>

class FileCacheManager {
  public:
    static constexpr int MAX_ENTRIES = 500;
    static constexpr int MAX_HANDLES = 500;
    static constexpr int NAME_LEN = 263;

    struct Entry {
        uint8_t used = 0;
        char name[NAME_LEN] = {};
        uint32_t size = 0;
        char* pData = nullptr; // exactly size bytes, not terminated
    };

    struct Handle {
        uint8_t used = 0;
        Entry* entry = nullptr;
        uint32_t position = 0;
    };

    // Zero-initialised at start; nothing is freed at exit.
    constexpr FileCacheManager() = default;

    // Reads the whole file into a free entry; the entry index or -1. Does not
    // look among the cached files.
    int LoadFile(const char* name);
    // A handle at position 0 on the cached file, loading it on a miss; null
    // when it cannot be read or no handle is free.
    Handle* Open(const char* name);
    // The next line, at most n - 1 characters, always terminated. A line ends
    // at LF, CR LF or CR; the end mark is not stored.
    void ReadLine(Handle* handle, char* buffer, uint32_t n);
    bool Eof(Handle* handle);
    void Close(Handle* handle);
    // Frees the cached data of a file that no open handle reads.
    void FreeFile(const char* name);

    Entry m_Cache[MAX_ENTRIES] = {};
    Handle m_Handles[MAX_HANDLES] = {};

  private:
    int FindEntry(const char* name) const;
};

extern FileCacheManager g_FileCache;
