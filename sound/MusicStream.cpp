#include "sound/MusicStream.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>

#include "platform/os/Os.h"
#include "sound/MusicLog.h"

namespace {

// Decoded PCM on its way into the stream; only the refill uses it, under the lock.
uint8_t g_MusicScratch[MusicStream::HALF_BYTES];

const ov_callbacks kMemoryCallbacks = {rMusicMemoryRead, rMusicMemorySeek, rMusicMemoryClose,
                                       rMusicMemoryTell};

void LogFileError(const char* what, const char* fileName) {
    MusicLog(" ");
    MusicLog(what);
    MusicLog(fileName);
    MusicLog(" ");
}

// Silence over the whole stream.
bool ClearMusicBuffer(MusicStream* s) {
    void* data = nullptr;
    if (s->pBuffer->Lock(0, MusicStream::BUFFER_BYTES, &data) != audio::Result::Ok) return false;
    std::memset(data, 0, MusicStream::BUFFER_BYTES);
    return s->pBuffer->Unlock() == audio::Result::Ok;
}

} // namespace

// ---- Files in memory ------------------------------------------------------------

size_t rMusicMemoryRead(void* destination, size_t size, size_t count, void* datasource) {
    auto* m = static_cast<MusicMemorySource*>(datasource);
    if (!m || !m->pData) return 0;
    size_t n = (size != 0 && count > SIZE_MAX / size) ? SIZE_MAX : size * count;
    n = std::min<size_t>(n, m->dwSize - m->dwPosition);
    if (n > 0) {
        std::memcpy(destination, m->pData + m->dwPosition, n);
        m->dwPosition += uint32_t(n);
    }
    return size ? n / size : n;
}

int rMusicMemorySeek(void* datasource, ogg_int64_t offset, int whence) {
    auto* m = static_cast<MusicMemorySource*>(datasource);
    if (!m) return -1;
    ogg_int64_t base;
    switch (whence) {
    case SEEK_SET:
        base = 0;
        break;
    case SEEK_CUR:
        base = m->dwPosition;
        break;
    case SEEK_END:
        base = m->dwSize;
        break;
    default:
        return 0;
    }
    // A position outside the file is refused and the read position stays.
    if (offset < -base || offset > ogg_int64_t(m->dwSize) - base) return -1;
    m->dwPosition = uint32_t(base + offset);
    return 0;
}

int rMusicMemoryClose(void* datasource) {
    auto* m = static_cast<MusicMemorySource*>(datasource);
    if (!m) return 0;
    delete[] m->pData;
    m->pData = nullptr;
    return 0;
}

long rMusicMemoryTell(void* datasource) {
    auto* m = static_cast<MusicMemorySource*>(datasource);
    return m ? long(m->dwPosition) : -1;
}

int32_t rMusicFileSize(const char* fileName) {
    if (!fileName) return 0;
    std::FILE* f = os::OpenFile(fileName, "rb");
    if (!f) return 0;
    long size = -1;
    if (std::fseek(f, 0, SEEK_END) == 0) size = std::ftell(f);
    std::fclose(f);
    if (size < 0 || size > INT32_MAX) return 0;
    return int32_t(size);
}

bool rMusicReadFile(const char* fileName, void* buffer, int32_t size) {
    if (!fileName || !buffer || size <= 0) return false;
    std::FILE* f = os::OpenFile(fileName, "rb");
    if (!f) return false;
    const size_t got = std::fread(buffer, 1, size_t(size), f);
    std::fclose(f);
    return got == size_t(size);
}

// ---- Creation and deletion ------------------------------------------------------

bool rAddOggStreamToMusicStream(MusicStream* s, const char* fileName) {
    if (!s || !fileName) return false;
    if (s->dwNumFiles >= MusicStream::MAX_FILES) return false;

    const int32_t size = rMusicFileSize(fileName);
    if (size < 1) {
        LogFileError("ERROR in rAddOggStreamToMusicStream(): Could not open Ogg file!", fileName);
        return false;
    }
    if (size > MusicStream::MAX_FILE_BYTES) {
        LogFileError("ERROR in rAddOggStreamToMusicStream(): Ogg file larger than 64 MB!", fileName);
        return false;
    }
    MusicFileSlot& slot = s->Files[s->dwNumFiles];
    slot = MusicFileSlot{};
    slot.Source.pData = new (std::nothrow) uint8_t[size_t(size)];
    slot.Source.dwSize = uint32_t(size);
    slot.Source.dwPosition = 0;
    // A file that cannot be read whole is not decoded from a partly filled copy.
    if (!slot.Source.pData || !rMusicReadFile(fileName, slot.Source.pData, size)) {
        LogFileError("ERROR in rAddOggStreamToMusicStream(): Could not open Ogg file!", fileName);
        rMusicMemoryClose(&slot.Source);
        return false;
    }
    if (ov_open_callbacks(&slot.Source, &slot.File, nullptr, 0, kMemoryCallbacks) < 0) {
        // A failed open does not call close: the data is still ours.
        LogFileError("ERROR in rAddOggStreamToMusicStream(): Problems with Ogg file!", fileName);
        rMusicMemoryClose(&slot.Source);
        return false;
    }
    slot.pInfo = ov_info(&slot.File, -1);
    slot.pComment = ov_comment(&slot.File, -1);
    if (!slot.pInfo) {
        LogFileError("ERROR in rAddOggStreamToMusicStream(): Problems with Ogg file!", fileName);
        ov_clear(&slot.File); // closes, and so frees the data
        rMusicMemoryClose(&slot.Source);
        return false;
    }
    ++s->dwNumFiles;
    return true;
}

MusicStream* rCreateMusicStream(const char* fileName, audio::Device* device) {
    if (!fileName || !device) return nullptr;
    auto* s = new (std::nothrow) MusicStream;
    if (!s) {
        MusicLog("ERROR in rCreateMusicStream(): Not enough RAM?");
        return nullptr;
    }
    *s = MusicStream{};
    // Without a first file there is no format to build the stream from.
    if (!rAddOggStreamToMusicStream(s, fileName)) {
        delete s;
        return nullptr;
    }
    s->dwCurrentFile = 0;
    s->dwNextFile = 0;

    const vorbis_info* info = s->Files[0].pInfo;
    audio::WaveFormat& f = s->wfx;
    f.formatTag = audio::kFormatPcm;
    f.channels = uint16_t(std::clamp(info->channels, 0, 0xFFFF));
    f.samplesPerSec = uint32_t(std::clamp<long>(info->rate, 0, INT32_MAX));
    f.bitsPerSample = 16;
    f.blockAlign = uint16_t(f.channels * 2);
    f.avgBytesPerSec = f.blockAlign * f.samplesPerSec;
    audio::StreamDesc desc;
    desc.flags = audio::kFlagControlVolume;
    desc.bytes = MusicStream::BUFFER_BYTES;
    desc.parts = 2;
    desc.format = f;
    std::unique_ptr<audio::Stream> buffer;
    if (device->CreateStream(desc, &buffer) != audio::Result::Ok) {
        MusicLog(" ");
        MusicLog("ERROR in rCreateMusicStream(): CreateSoundBuffer() failed...");
        MusicLog(" ");
        return s;
    }
    s->pBuffer = buffer.release();
    bool restored = false;
    if (rRestoreMusicBuffer(s->pBuffer, &restored) == audio::Result::Ok) ClearMusicBuffer(s);
    return s;
}

void rDeleteMusicStream(MusicStream** stream) {
    if (!stream || !*stream) return;
    MusicStream* s = *stream;
    if (s->pBuffer) {
        s->pBuffer->Stop();
        s->bFinished = 1;
        delete s->pBuffer;
        s->pBuffer = nullptr;
    }
    for (uint32_t i = 0; i < s->dwNumFiles; ++i) {
        ov_clear(&s->Files[i].File);
        rMusicMemoryClose(&s->Files[i].Source);
    }
    s->dwNumFiles = 0;
    delete s;
    *stream = nullptr;
}

// ---- Playing ----------------------------------------------------------------------

audio::Result rRestoreMusicBuffer(audio::Stream* buffer, bool* restored) {
    *restored = false;
    if (!buffer) return audio::Result::NoObject;
    uint32_t status = 0;
    if (audio::Result r = buffer->GetStatus(&status); r != audio::Result::Ok) return r;
    if (!(status & audio::kStatusBufferLost)) return audio::Result::Ok;
    int rounds = 0;
    audio::Result r;
    do {
        if (buffer->Restore() == audio::Result::BufferLost) os::SleepMs(10);
        if (++rounds >= 3) return audio::Result::BufferLost;
        r = buffer->Restore();
    } while (r == audio::Result::BufferLost);
    *restored = true;
    return audio::Result::Ok;
}

void rRefillMusicStream(MusicStream* s) {
    if (!s || !s->pBuffer) return;
    if (s->dwPreviousHalf == s->dwCurrentHalf || s->dwPreviousHalf > 1 || s->dwCurrentHalf > 1) return;

    uint32_t filled = 0;
    bool restarted = false; // a file that ends again right after a restart holds no sound at all
    while (filled < MusicStream::HALF_BYTES) {
        int bitstream = 0;
        const long n =
            ov_read(&s->Files[s->dwCurrentFile].File, reinterpret_cast<char*>(g_MusicScratch) + filled,
                    int(MusicStream::HALF_BYTES - filled), 0, 2, 1, &bitstream);
        if (n > 0) {
            filled += uint32_t(n);
            restarted = false;
        } else if (n == 0) {
            if (!s->bLoop) {
                s->bFinished = 1;
                break;
            }
            if (restarted) break;
            ov_pcm_seek(&s->Files[s->dwCurrentFile].File, 0);
            s->dwCurrentFile = s->dwNextFile;
            ov_pcm_seek(&s->Files[s->dwCurrentFile].File, 0);
            restarted = true;
        } else {
            return; // a decoding error: the half keeps what it had
        }
    }

    // A piece that ended leaves silence after its last sample.
    std::memset(g_MusicScratch + filled, 0, MusicStream::HALF_BYTES - filled);
    bool restored = false;
    if (rRestoreMusicBuffer(s->pBuffer, &restored) != audio::Result::Ok) return;
    void* data = nullptr;
    if (s->pBuffer->Lock(s->dwPreviousHalf * MusicStream::HALF_BYTES, MusicStream::HALF_BYTES, &data) !=
        audio::Result::Ok)
        return;
    std::memcpy(data, g_MusicScratch, MusicStream::HALF_BYTES);
    s->pBuffer->Unlock();
}

void rUpdateMusicStream(MusicStream* s) {
    if (!s || !s->pBuffer) return;
    uint32_t cursor = 0;
    s->pBuffer->GetCurrentPosition(&cursor);
    s->dwCurrentHalf = cursor >= MusicStream::HALF_BYTES ? 1 : 0;
    rRefillMusicStream(s);
    s->dwPreviousHalf = s->dwCurrentHalf;
}

uint32_t rMusicMsToNextHalf(uint32_t cursor, uint32_t bytesPerSecond) {
    if (bytesPerSecond == 0) return MUSIC_MAX_SLEEP_MS;
    cursor %= MusicStream::BUFFER_BYTES;
    const uint64_t bytes =
        (cursor < MusicStream::HALF_BYTES ? MusicStream::HALF_BYTES : MusicStream::BUFFER_BYTES) - cursor;
    const uint64_t ms = (bytes * 1000 + bytesPerSecond - 1) / bytesPerSecond;
    return uint32_t(std::clamp<uint64_t>(ms, 1, MUSIC_MAX_SLEEP_MS));
}

uint32_t rMusicStreamSleepMs(MusicStream* s) {
    if (!s || !s->pBuffer) return MUSIC_MAX_SLEEP_MS;
    uint32_t cursor = 0;
    s->pBuffer->GetCurrentPosition(&cursor);
    return rMusicMsToNextHalf(cursor, s->wfx.avgBytesPerSec);
}

void rPlayMusicStream(MusicStream* s, bool loop) {
    if (!s || !s->pBuffer) return;
    bool restored = false;
    if (rRestoreMusicBuffer(s->pBuffer, &restored) != audio::Result::Ok) return;
    if (restored && !ClearMusicBuffer(s)) return;
    for (uint32_t i = 0; i < s->dwNumFiles; ++i)
        ov_pcm_seek(&s->Files[i].File, 0);

    // Prime both halves, with the loop flag the stream had until now.
    s->dwPreviousHalf = 0;
    s->dwCurrentHalf = 1;
    rRefillMusicStream(s);
    s->dwPreviousHalf = 1;
    s->dwCurrentHalf = 0;
    rRefillMusicStream(s);

    s->dwPreviousHalf = s->dwCurrentHalf = 0;
    s->bLoop = loop ? 1 : 0;
    s->bFinished = 0;
    if (s->pBuffer->SetCurrentPosition(0) != audio::Result::Ok)
        MusicLog("ERROR in rPlayMusicStream(): SetCurrentPosition() failed...");
    if (s->pBuffer->Play() != audio::Result::Ok) MusicLog("ERROR in rPlayMusicStream(): Play() failed...");
}

void rStopMusicStream(MusicStream* s) {
    if (!s || !s->pBuffer) return;
    s->pBuffer->Stop();
    s->bFinished = 1;
}

void rPauseMusicStream(MusicStream* s) {
    if (!s || !s->pBuffer || s->bPaused) return;
    s->pBuffer->Stop();
    s->bPaused = 1;
}

void rResumeMusicStream(MusicStream* s) {
    if (!s || !s->pBuffer || !s->bPaused) return;
    s->pBuffer->Play();
    s->bPaused = 0;
}

int32_t rMusicVolumeToHundredthsDb(float volume) {
    volume = std::isnan(volume) ? 0.0f : std::clamp(volume, 0.0f, 1.0f);
    const int32_t value = -10000 - int32_t(std::trunc(-10000.0f * volume));
    return std::clamp(value, audio::kVolumeMin, audio::kVolumeMax);
}

void rSetMusicStreamVolume(MusicStream* s, float volume) {
    if (!s || !s->pBuffer) return;
    s->pBuffer->SetVolume(rMusicVolumeToHundredthsDb(volume));
}

bool rIsMusicStreamPlaying(MusicStream* s) {
    if (!s || !s->pBuffer) return false;
    if (!s->bLoop) return !s->bFinished;
    uint32_t status = 0;
    if (s->pBuffer->GetStatus(&status) != audio::Result::Ok) return false;
    return (status & audio::kStatusPlaying) != 0;
}
