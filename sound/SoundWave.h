// Wave files and the sound cache.
//
// CSoundWave holds one RIFF/WAVE file read whole from disk: its name, its PCM
// format and its sample bytes. CSoundCache keeps up to MAX_SOUNDCACHE waves by
// file name (compared without regard to case) so that sounds made often need
// no disk access; it is filled only by explicit preloading, and when full it
// drops the wave loaded longest ago (using a cached wave does not refresh it).
//
// Failure policy: a missing file, a missing or malformed chunk and a failed
// cache load are logged and answered with false; a failed load leaves its
// slot empty. The reader never reads past the file: a "data" chunk is cut to
// the bytes the file holds, and a "fmt " chunk shorter than its 16 fixed bytes
// is refused, as is a "data" chunk larger than a sound buffer takes.
#pragma once

#include <cstdint>
#include <cstdio>

#include "platform/audio/Audio.h"

class CSoundWave {
  public:
    static constexpr int NAME_LEN = 260;
    // The most sample bytes a wave may hold: what one sound buffer takes.
    static constexpr uint32_t MAX_DATA_BYTES = 0x0FFFFFFF;

    CSoundWave();
    ~CSoundWave();
    CSoundWave(const CSoundWave&) = delete;
    CSoundWave& operator=(const CSoundWave&) = delete;

    bool LoadWaveFromFile(const char* fileName);
    void Free();

    char m_szName[NAME_LEN];
    audio::WaveFormat m_Format;
    uint32_t m_dwSize;
    uint8_t* m_pReadedWaveData;

  private:
    bool ReadFormatChunk(std::FILE* f, uint32_t size, const char* fileName);
    bool ReadDataChunk(std::FILE* f, uint32_t size, uint64_t bytesLeft, const char* fileName);
};

struct SoundCacheSlot {
    uint8_t bUsed = 0;
    char szName[256] = {};
    double fLastUseTime = 0.0; // engine world time when the wave was loaded
    CSoundWave* pWave = nullptr;
};

class CSoundCache {
  public:
    static constexpr int MAX_SOUNDCACHE = 550;

    CSoundCache();
    ~CSoundCache();
    CSoundCache(const CSoundCache&) = delete;
    CSoundCache& operator=(const CSoundCache&) = delete;

    void FreeSlot(int index);
    void Clear();
    bool IsCached(const char* name) const;
    bool FindSlot(const char* name, SoundCacheSlot** slot);
    bool LoadToCache(const char* name);

    SoundCacheSlot m_Slots[MAX_SOUNDCACHE];

  private:
    int ChooseSlot();
};

extern CSoundCache g_SoundCache;
