// Music streams: up to 10 Ogg Vorbis files, each read whole into memory and
// decoded from there by libvorbisfile, played through one audio stream of
// 88200 bytes (two halves of 44100) that is refilled half by half while it
// plays. The record is plain data driven by the free functions below (prefix
// r); the music thread owns one stream and makes every call on it under the
// sound lock, calling rUpdateMusicStream each time the play position may
// have entered the other half (rMusicStreamSleepMs).
//
// The stream always plays looping. A stream without the loop flag ends by its
// finished flag (rIsMusicStreamPlaying turns false) when the file runs out,
// while the audio stream goes on playing the silence written after the end
// until the music is stopped. With the loop flag the end of the current file
// continues with the next file index (always the first file) from sample 0
// inside the same refill.
//
// Failure policy: a file that cannot be read or decoded is logged and not
// added; a stream whose first file fails is not created (null). When the
// audio stream cannot be made, the record lives on without it and every
// later call does nothing. Refills allocate nothing: decoding goes into one
// static 44100-byte buffer shared by all streams, used only under the lock.
#pragma once

#include <vorbis/vorbisfile.h>

#include <cstddef>
#include <cstdint>

#include "platform/audio/Audio.h"

// One Ogg file held in memory: the datasource of the memory callbacks.
struct MusicMemorySource {
    uint8_t* pData; // owned; freed by the close callback
    uint32_t dwSize;
    uint32_t dwPosition; // read position, 0..dwSize
};

struct MusicFileSlot {
    MusicMemorySource Source;
    OggVorbis_File File;
    vorbis_info* pInfo;
    vorbis_comment* pComment;
};

struct MusicStream {
    static constexpr uint32_t MAX_FILES = 10;
    // The largest file read into memory: over an hour of music.
    static constexpr int32_t MAX_FILE_BYTES = 64 << 20;
    static constexpr uint32_t BUFFER_BYTES = 88200;
    static constexpr uint32_t HALF_BYTES = BUFFER_BYTES / 2;

    uint32_t dwNumFiles;
    MusicFileSlot Files[MAX_FILES];
    uint32_t dwCurrentFile;
    uint32_t dwNextFile;    // the file that follows when the current one ends
    audio::Stream* pBuffer; // owned; null when it could not be made
    audio::WaveFormat wfx;
    uint8_t bLoop;
    uint8_t bFinished;       // a non-looping stream reached its end, or it was stopped
    uint32_t dwPreviousHalf; // the half the play position was in at the last update
    uint32_t dwCurrentHalf;  // ... and is in now
    uint8_t bPaused;
};

MusicStream* rCreateMusicStream(const char* fileName, audio::Device* device);
bool rAddOggStreamToMusicStream(MusicStream* stream, const char* fileName);
void rPlayMusicStream(MusicStream* stream, bool loop);
void rStopMusicStream(MusicStream* stream);
void rPauseMusicStream(MusicStream* stream);
void rResumeMusicStream(MusicStream* stream);
void rSetMusicStreamVolume(MusicStream* stream, float volume);
bool rIsMusicStreamPlaying(MusicStream* stream);
// The tick: refills the half the play position has just left.
void rUpdateMusicStream(MusicStream* stream);
// Writes the next 44100 decoded bytes into the previous half when the halves differ.
void rRefillMusicStream(MusicStream* stream);

// The music thread's sleep after an update: until the play position enters
// the other half, rounded up so that the next update sees it there, at least
// 1 ms and at most MUSIC_MAX_SLEEP_MS, half a half at 44.1 kHz stereo: two
// wake-ups a half. The calls that move the position other than at the byte
// rate (play, resume, stop) cut the sleep short; the bound keeps an output
// that runs fast or jumps from going unseen for a whole half.
constexpr uint32_t MUSIC_MAX_SLEEP_MS = 125;
// From a play position in bytes at the format's byte rate.
uint32_t rMusicMsToNextHalf(uint32_t cursor, uint32_t bytesPerSecond);
// From the stream's play position; the longest sleep when it has no audio stream.
uint32_t rMusicStreamSleepMs(MusicStream* stream);
void rDeleteMusicStream(MusicStream** stream);

// The stream volume of a 0..1 volume: 10000 x volume - 10000 hundredths of a
// decibel, truncated, within -10000..0.
int32_t rMusicVolumeToHundredthsDb(float volume);
// The lost-stream check: Ok with *restored telling whether the stream had
// been lost and was brought back (silent), or the error; gives up with
// BufferLost after three rounds of refused restores.
audio::Result rRestoreMusicBuffer(audio::Stream* buffer, bool* restored);

// The callbacks handed to ov_open_callbacks; datasource is a MusicMemorySource.
size_t rMusicMemoryRead(void* destination, size_t size, size_t count, void* datasource);
int rMusicMemorySeek(void* datasource, ogg_int64_t offset, int whence);
int rMusicMemoryClose(void* datasource);
long rMusicMemoryTell(void* datasource);

// The size of a file in bytes; 0 for a null name, a file that does not open
// or a size that is negative or does not fit.
int32_t rMusicFileSize(const char* fileName);
// Reads exactly size bytes of the file into buffer; false on a null name or
// buffer, a size of 0 or less, a file that does not open, or a short read.
bool rMusicReadFile(const char* fileName, void* buffer, int32_t size);
