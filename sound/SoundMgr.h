// The sound manager: subsystem 4's one global object `g_SoundMgr`.
//
// It owns the audio device and its listener and keeps every live sound in one
// list of `strSound` records. A sound plays either flat (volume and pan) or as
// a 3D voice placed in the world, whose loudness the manager computes itself
// from the distance to the listener (full within 1/11 of the sound's range,
// silent beyond 10/11, raised for voices in cinematic view, silent during the
// first 210 frames of a level). Callers hold the record a creating call
// returned until they delete it; a one-shot sound belongs to the manager and
// is deleted by the first update after it stops playing.
//
// Waves come from the sound cache (filled by preloading) or straight from disk
// for the moment a sound's data is copied in; no sound keeps its wave.
//
// Every device call is made while holding the lock shared with the music
// thread (a no-op while no music thread runs), and every path that takes it
// gives it back.
//
// Failure policy: nothing throws. Failed loads and refused voices are logged
// and the creating call returns null; with the `sound` option off or while a
// cut-scene is skipped, creating and playing calls do nothing. Per-sound calls
// ignore a null record or a missing voice. Without an output device the
// manager runs on the silent back-end, so sounds keep their timing.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/audio/Audio.h"
#include "platform/math/Types.h"
#include "sound/SoundLock.h"

class CMusicThread;
struct SoundCacheSlot;
class CSoundWave;

// One live sound.
struct strSound {
    char szName[256];          // the wave file it was made from
    audio::Voice* pBuffer;     // owned
    audio::WaveFormat wfx;     // copy of the wave's format
    uint8_t bOneShot;          // deleted by the update once it no longer plays
    uint8_t bLoop;             // as last given to PlaySound
    float fVolume;             // as last given to SetSoundVolume (before the factor)
    float fVolumeFactor;       // the sound's own factor, 0..1
    uint8_t b3D;               // volume follows the distance to the listener
    uint8_t bVoice;            // a dialogue voice: kept loud in cinematic view
    math::Vec3 vPosition;      // 3D sounds
    float fRange;              // 3D sounds: distance at which it fades out
    audio::Voice3D* p3DBuffer; // the 3D side of pBuffer, or null
    strSound* pNext;
};

class CSoundMgr {
  public:
    // Voice flags of the two kinds of sound.
    static constexpr uint32_t FLAGS_2D = audio::kFlagControlPan | audio::kFlagControlVolume;
    static constexpr uint32_t FLAGS_3D =
        audio::kFlagControl3D | audio::kFlagControlVolume | audio::kFlagMute3DAtMaxDistance;
    static constexpr float DEFAULT_RANGE = 640.0f;
    // 3D sounds stay silent until this level frame.
    static constexpr uint32_t SILENT_FRAMES = 210;

    CSoundMgr();
    virtual ~CSoundMgr();
    CSoundMgr(const CSoundMgr&) = delete;
    CSoundMgr& operator=(const CSoundMgr&) = delete;

    // The game window; OpenAL needs none, so it is not used.
    bool Init(void* window = nullptr);
    void Release();

    // Creation and playing.
    strSound* LoadSound(const char* fileName, uint32_t flags);
    strSound* CreateSound(const char* fileName);
    strSound* CreateSound3D(const char* fileName);
    strSound* StartSound3D(const char* fileName, const float* position, float range, bool play, bool loop);
    void PlaySound3DOnce(const char* fileName, const float* position, float range);
    void PlaySoundOnce(const char* fileName, float volume, float pan);
    void PlaySound(strSound* sound, bool loop);
    bool PreloadSound(const char* fileName);
    void ClearSoundCache();

    // Control of one sound.
    void StopSound(strSound* sound);
    void DeleteSound(strSound* sound);
    bool IsSoundPlaying(strSound* sound);
    void SetSoundVolume(strSound* sound, float volume);
    void SetSoundVolumeFactor(strSound* sound, float factor);
    void SetSoundPan(strSound* sound, float pan);
    void SetSoundPosition(strSound* sound, const float* position);
    void SetSoundRange(strSound* sound, float range);
    void SetSoundMinDistance(strSound* sound, float distance);

    // The whole manager.
    void SetListenerPosition(const float* position);
    void SetListenerOrientation(const float* front, const float* top);
    void CommitListener();
    void SetVolume(float setting);
    void StopAllSounds();
    void DeleteAllSounds();
    void Update();
    void DeleteFinishedSounds();

    // Music, through the music thread.
    void Music_Play(const char* fileName, bool loop);
    void Music_SetVolume(float setting);
    void Music_Pause();
    void Music_Resume();
    void Music_Stop();
    bool Music_IsPlaying();
    void Music_Release();

    // The volume in hundredths of a decibel that SetSoundVolume gives a
    // loudness x (volume x factor x master, 0..1).
    static int32_t LoudnessToHundredthsDb(float x);
    // The distance loudness of a 3D sound before the gates.
    static float DistanceLoudness(float distance, float range);
    // The stream volume Music_SetVolume passes for a setting.
    static float MusicStreamVolume(float setting);

    // The lock shared with the music thread.
    CSoundLock& Lock() { return m_Lock; }
    // Which audio back-end Init opens (tests choose the silent one or none).
    void SetBackend(audio::Backend backend) { m_Backend = backend; }
    audio::Device* Device() const { return m_pDS.get(); }
    strSound* FirstSound() const { return m_pSounds; }

    std::unique_ptr<audio::Device> m_pDS;
    audio::Listener* m_pDSListener;
    strSound* m_pSounds;
    float m_fMasterVolume;
    CMusicThread* m_pMusicThread;
    float m_fMusicVolume;
    math::Vec3 m_vListenerPosition;

  private:
    void ApplyDistanceVolume(strSound* sound);
    bool FillBuffer(audio::Voice* buffer, const CSoundWave& wave);
    // The lost-voice check: an error, or Ok with *pbRestored telling whether
    // the voice had been lost and was restored (its data must be written again).
    audio::Result RestoreBuffer(audio::Voice* buffer, bool* pbRestored);
    void LogCreateFailure(const char* fileName, uint32_t flags, const audio::WaveFormat& format,
                          audio::Result result);
    void Unlink(strSound* sound);

    CSoundLock m_Lock;
    audio::Backend m_Backend = audio::Backend::Auto;
};

extern CSoundMgr g_SoundMgr;
