#include "app/FileCache.h"

#include <cstdio>
#include <cstring>

#include "app/Console.h"
#include "app/Debug.h"
#include "app/FileHelpers.h"
#include "platform/os/Os.h"

constinit FileCacheManager g_FileCache;

namespace {

constexpr const char* DATA_TAG = "m_Cache[i].pData";

// Reads a whole file; false when it cannot be opened or read in full.
bool ReadWholeFile(const char* name, char*& data, uint32_t& size) {
    if (os::DirectoryExists(name)) return false;
    os::File f = os::Open(name, "rb");
    if (!f) return false;
    bool ok = std::fseek(f.get(), 0, SEEK_END) == 0;
    long length = ok ? std::ftell(f.get()) : -1;
    ok = ok && length >= 0 && length <= long(UINT32_MAX) && std::fseek(f.get(), 0, SEEK_SET) == 0;
    if (!ok) return false;
    size = uint32_t(length);
    data = new char[size ? size : 1];
    ok = std::fread(data, 1, size, f.get()) == size;
    f.Close();
    if (!ok) {
        delete[] data;
        data = nullptr;
    }
    return ok;
}

} // namespace

int FileCacheManager::FindEntry(const char* name) const {
    for (int i = 0; i < MAX_ENTRIES; ++i) {
        if (m_Cache[i].used && StrCmpNoCase(m_Cache[i].name, name) == 0) return i;
    }
    return -1;
}

int FileCacheManager::LoadFile(const char* name) {
    if (!name) return -1;
    int free = -1;
    for (int i = 0; i < MAX_ENTRIES && free < 0; ++i) {
        if (!m_Cache[i].used) free = i;
    }
    if (free < 0) {
        g_Console.Printf("ERROR in FileCacheManager: no more free space in cache! file: %s", name);
        return -1;
    }
    if (std::strlen(name) >= size_t(NAME_LEN)) {
        g_Console.Printf("ERROR in FileCacheManager: file name too long! file: %s", name);
        return -1;
    }
    char* data = nullptr;
    uint32_t size = 0;
    if (!ReadWholeFile(name, data, size)) return -1;
    g_Debug.AddAllocation(DATA_TAG);
    Entry& e = m_Cache[free];
    std::strcpy(e.name, name);
    e.size = size;
    e.pData = data;
    e.used = 1;
    return free;
}

FileCacheManager::Handle* FileCacheManager::Open(const char* name) {
    if (!name) return nullptr;
    int entry = FindEntry(name);
    if (entry < 0) entry = LoadFile(name);
    if (entry < 0) return nullptr;
    for (Handle& h : m_Handles) {
        if (h.used) continue;
        h.used = 1;
        h.entry = &m_Cache[entry];
        h.position = 0;
        return &h;
    }
    g_Console.Printf("ERROR in FileCacheManager: no more free file handles! file: %s", name);
    return nullptr;
}

void FileCacheManager::ReadLine(Handle* handle, char* buffer, uint32_t n) {
    if (!handle || !handle->used || !handle->entry || !buffer || n == 0) return;
    const Entry& e = *handle->entry;
    uint32_t stored = 0;
    while (handle->position < e.size) {
        char c = e.pData[handle->position];
        if (c == '\r') {
            ++handle->position;
            // Only the LF of a CR LF pair belongs to this line end.
            if (handle->position < e.size && e.pData[handle->position] == '\n') ++handle->position;
            break;
        }
        if (c == '\n') {
            ++handle->position;
            break;
        }
        if (stored == n - 1) break; // the rest is the next call's line
        buffer[stored++] = c;
        ++handle->position;
    }
    buffer[stored] = 0;
}

bool FileCacheManager::Eof(Handle* handle) {
    if (!handle || !handle->used || !handle->entry) return false;
    if (handle->position < handle->entry->size) return false;
    handle->position = handle->entry->size;
    return true;
}

void FileCacheManager::Close(Handle* handle) {
    if (!handle) return;
    handle->used = 0;
    handle->entry = nullptr;
    handle->position = 0;
}

void FileCacheManager::FreeFile(const char* name) {
    if (!name) return;
    int i = FindEntry(name);
    if (i < 0) return;
    Entry& e = m_Cache[i];
    for (const Handle& h : m_Handles) {
        if (h.used && h.entry == &e) {
            g_Console.Printf("ERROR in FileCacheManager: file is still open, not freed! file: %s", name);
            return;
        }
    }
    delete[] e.pData;
    g_Debug.RemoveAllocation(DATA_TAG);
    e = Entry();
}
