#include "sound/SoundWave.h"


#include <cstring>

#include "app/Console.h"
#include "app/FileHelpers.h"
#include "platform/os/Os.h"
#include "sound/SoundWorld.h"

CSoundCache g_SoundCache;

namespace {

constexpr uint32_t kFmtFixedBytes = 16;

uint32_t Le32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
uint16_t Le16(const uint8_t* p) {
    return uint16_t(p[0] | p[1] << 8);
}

void CopyName(char* to, size_t capacity, const char* from) {
    std::strncpy(to, from, capacity - 1);
    to[capacity - 1] = 0;
}

} // namespace

// ---- CSoundWave ------------------------------------------------------------------

CSoundWave::CSoundWave() : m_szName{}, m_Format{}, m_dwSize(0), m_pReadedWaveData(nullptr) {}

CSoundWave::~CSoundWave() {
    Free();
}

void CSoundWave::Free() {
    if (m_pReadedWaveData) {
        delete[] m_pReadedWaveData;
        soundworld::Untrack("m_pReadedWaveData");
    }
    m_pReadedWaveData = nullptr;
    m_Format = audio::WaveFormat{};
    m_dwSize = 0;
}

bool CSoundWave::ReadFormatChunk(std::FILE* f, uint32_t size, const char* fileName) {
    if (size < kFmtFixedBytes) {
        g_Console.Printf("%s: \"fmt \" chunk of %u bytes, 16 needed", fileName, size);
        return false;
    }
    uint8_t b[kFmtFixedBytes];
    if (std::fread(b, 1, sizeof b, f) != sizeof b) {
        g_Console.Printf("%s: \"fmt \" chunk cut short by the end of the file", fileName);
        return false;
    }
    m_Format.formatTag = Le16(b);
    m_Format.channels = Le16(b + 2);
    m_Format.samplesPerSec = Le32(b + 4);
    m_Format.avgBytesPerSec = Le32(b + 8);
    m_Format.blockAlign = Le16(b + 12);
    m_Format.bitsPerSample = Le16(b + 14);
    m_Format.extraSize = 0;
    return true;
}

bool CSoundWave::ReadDataChunk(std::FILE* f, uint32_t size, uint64_t bytesLeft, const char* fileName) {
    if (m_pReadedWaveData) {
        delete[] m_pReadedWaveData;
        soundworld::Untrack("m_pReadedWaveData");
        m_pReadedWaveData = nullptr;
        m_dwSize = 0;
    }
    if (size > bytesLeft) {
        g_Console.Printf("%s: \"data\" chunk of %u bytes cut to the %llu the file holds", fileName, size,
                         static_cast<unsigned long long>(bytesLeft));
        size = uint32_t(bytesLeft);
    }
    if (size > MAX_DATA_BYTES) {
        g_Console.Printf("%s: \"data\" chunk of %u bytes, more than the %u a sound can hold", fileName, size,
                         MAX_DATA_BYTES);
        return false;
    }
    m_pReadedWaveData = new uint8_t[size ? size : 1];
    soundworld::Track("m_pReadedWaveData");
    m_dwSize = uint32_t(std::fread(m_pReadedWaveData, 1, size, f));
    return true;
}

bool CSoundWave::LoadWaveFromFile(const char* fileName) {
    std::FILE* f = fileName ? os::OpenFile(fileName, "rb") : nullptr;
    if (!f) {
        g_Console.Print("ERR #1: There's no disk file!");
        return false;
    }
    std::fseek(f, 0, SEEK_END);
    const long endPos = std::ftell(f);
    const uint64_t length = endPos > 0 ? uint64_t(endPos) : 0;
    std::fseek(f, 0, SEEK_SET);

    Free();
    CopyName(m_szName, sizeof m_szName, fileName);

    uint8_t riff[12];
    size_t got = std::fread(riff, 1, sizeof riff, f); // RIFF id, size, WAVE id: not checked
    uint64_t pos = got;
    bool bFormat = false;
    bool bData = false;
    while (pos < length) {
        uint8_t header[8];
        if (std::fread(header, 1, sizeof header, f) != sizeof header) break;
        const uint32_t size = Le32(header + 4);
        const uint64_t body = pos + sizeof header;
        if (std::memcmp(header, "fmt ", 4) == 0) {
            if (ReadFormatChunk(f, size, fileName)) bFormat = true;
        } else if (std::memcmp(header, "data", 4) == 0) {
            bData = ReadDataChunk(f, size, length - body, fileName);
        }
        pos = body + size + (size & 1);
        if (pos >= length || std::fseek(f, long(pos), SEEK_SET) != 0) break;
    }
    std::fclose(f);

    if (bFormat && bData) return true;
    if (!bFormat) {
        g_Console.Print("ERR #2: format chunk wrong");
        if (!bData) g_Console.Print("ERR #3: data chunk wrong");
    } else {
        g_Console.Print("ERR #3: data chunk wrong");
    }
    Free();
    return false;
}

// ---- CSoundCache -----------------------------------------------------------------

CSoundCache::CSoundCache() = default;

CSoundCache::~CSoundCache() {
    Clear();
}

void CSoundCache::FreeSlot(int index) {
    if (index < 0 || index >= MAX_SOUNDCACHE || !m_Slots[index].bUsed) return;
    if (m_Slots[index].pWave) {
        delete m_Slots[index].pWave;
        soundworld::Untrack("CSoundWave");
    }
    m_Slots[index] = SoundCacheSlot{};
}

void CSoundCache::Clear() {
    for (int i = 0; i < MAX_SOUNDCACHE; ++i)
        FreeSlot(i);
}

bool CSoundCache::IsCached(const char* name) const {
    if (!name) return false;
    for (const SoundCacheSlot& s : m_Slots)
        if (s.bUsed && StrCmpNoCase(s.szName, name) == 0) return true;
    return false;
}

bool CSoundCache::FindSlot(const char* name, SoundCacheSlot** slot) {
    if (!name) return false;
    for (SoundCacheSlot& s : m_Slots) {
        if (s.bUsed && StrCmpNoCase(s.szName, name) == 0) {
            if (slot) *slot = &s;
            return true;
        }
    }
    return false;
}

int CSoundCache::ChooseSlot() {
    for (int i = 0; i < MAX_SOUNDCACHE; ++i)
        if (!m_Slots[i].bUsed) return i;
    // Full: the slot loaded longest ago; ties keep the lower index.
    int best = 0;
    for (int i = 1; i < MAX_SOUNDCACHE; ++i)
        if (m_Slots[i].fLastUseTime < m_Slots[best].fLastUseTime) best = i;
    FreeSlot(best);
    return best;
}

bool CSoundCache::LoadToCache(const char* name) {
    if (!name) return false;
    if (IsCached(name)) return true;
    const int index = ChooseSlot();

    CSoundWave* wave = new CSoundWave;
    soundworld::Track("CSoundWave");
    if (!wave->LoadWaveFromFile(name)) {
        g_Console.Print("ERROR in CSoundCache::LoadToCache(): LoadWaveFromFile() failed...");
        g_Console.Print(name);
        delete wave;
        soundworld::Untrack("CSoundWave");
        return false;
    }
    SoundCacheSlot& s = m_Slots[index];
    s.bUsed = 1;
    CopyName(s.szName, sizeof s.szName, name);
    s.pWave = wave;
    s.fLastUseTime = soundworld::WorldTime();
    return true;
}
