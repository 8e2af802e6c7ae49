#include "sound/SoundMgr.h"


#include <algorithm>
#include <cmath>
#include <cstring>

#include "app/Console.h"
#include "app/FileHelpers.h"
#include "platform/math/Math.h"
#include "platform/os/Os.h"
#include "sound/MusicThread.h"
#include "sound/SoundWave.h"
#include "sound/SoundWorld.h"

CSoundMgr g_SoundMgr;

namespace {

constexpr audio::Apply kDeferred = audio::Apply::Deferred;
constexpr float kListenerRolloff = 0.4f;

// The names the log gives the refusals of a voice.
const char* RefusalName(audio::Result r) {
    switch (r) {
    case audio::Result::Allocated:
        return "DSERR_ALLOCATED";
    case audio::Result::BadFormat:
        return "DSERR_BADFORMAT";
    case audio::Result::BufferTooSmall:
        return "DSERR_BUFFERTOOSMALL";
    case audio::Result::ControlUnavailable:
        return "DSERR_CONTROLUNAVAIL";
    case audio::Result::InvalidCall:
        return "DSERR_INVALIDCALL";
    case audio::Result::InvalidParam:
        return "DSERR_INVALIDPARAM";
    case audio::Result::OutOfMemory:
        return "DSERR_OUTOFMEMORY";
    case audio::Result::Uninitialized:
        return "DSERR_UNINITIALIZED";
    case audio::Result::Unsupported:
        return "DSERR_UNSUPPORTED";
    default:
        return nullptr;
    }
}

math::Vec3 ToVec3(const float* p) {
    return {p[0], p[1], p[2]};
}

} // namespace

CSoundMgr::CSoundMgr()
    : m_pDSListener(nullptr), m_pSounds(nullptr), m_fMasterVolume(1.0f), m_pMusicThread(nullptr),
      m_fMusicVolume(1.0f) {}

CSoundMgr::~CSoundMgr() {
    Release();
    m_pDS.reset();
}

// ---- Start and end ---------------------------------------------------------------

bool CSoundMgr::Init(void* /*window*/) {
    // Sounds and music of an earlier device go with it.
    DeleteAllSounds();
    Music_Release();
    if (m_pDSListener) soundworld::Untrack("m_pDSListener");
    m_pSounds = nullptr;
    m_pDSListener = nullptr;
    m_pDS.reset();

    if (audio::OpenDevice(m_Backend, &m_pDS) != audio::Result::Ok) {
        g_Console.Print("Sound Initialize Failed... (DirectSoundCreate8)");
        Release();
        m_pDS.reset();
        return false;
    }
    if (m_pDS->IsSilent()) g_Console.Print("No audio output device: sounds play silently");

    audio::WaveFormat primary;
    primary.formatTag = audio::kFormatPcm;
    primary.channels = 2;
    primary.samplesPerSec = 44100;
    primary.avgBytesPerSec = 176400;
    primary.blockAlign = 4;
    primary.bitsPerSample = 16;
    if (m_pDS->SetPrimaryFormat(primary) != audio::Result::Ok) {
        g_Console.Print("Sound Initialize Failed (SetPrimaryBufferFormat)...");
        Release();
        m_pDS.reset();
        return false;
    }

    m_pDSListener = m_pDS->GetListener();
    if (m_pDSListener) {
        soundworld::Track("m_pDSListener");
        m_pDSListener->SetVelocity(math::Vec3(0, 0, 0), kDeferred);
        m_pDSListener->SetDistanceFactor(1.0f, kDeferred);
        m_pDSListener->SetRolloffFactor(kListenerRolloff, kDeferred);
        m_pDSListener->CommitDeferredSettings();
    }
    m_fMasterVolume = 1.0f;
    m_fMusicVolume = 1.0f;
    m_pMusicThread = nullptr;
    return true;
}

void CSoundMgr::Release() {
    DeleteAllSounds();
    g_SoundCache.Clear();
    if (m_pDSListener) {
        m_pDSListener = nullptr;
        soundworld::Untrack("m_pDSListener");
    }
    Music_Release();
}

// ---- Creation ----------------------------------------------------------------------

void CSoundMgr::LogCreateFailure(const char* fileName, uint32_t flags, const audio::WaveFormat& format,
                                 audio::Result result) {
    g_Console.Print(" ");
    g_Console.Print("ERROR in SoundMgr.cpp:");
    g_Console.Printf("WaveFileName: %s", fileName);
    g_Console.Print("CreateSoundBuffer() failed...");
    if (const char* name = RefusalName(result)) g_Console.Print(name);
    if ((flags & audio::kFlagControl3D) && format.channels != 1)
        g_Console.Print("---> 3D Sound has to be mono!");
    g_Console.Print(" ");
}

audio::Result CSoundMgr::RestoreBuffer(audio::Voice* buffer, bool* pbRestored) {
    *pbRestored = false;
    if (!buffer) return audio::Result::NoObject;
    uint32_t status = 0;
    if (audio::Result r = buffer->GetStatus(&status); r != audio::Result::Ok) return r;
    if (!(status & audio::kStatusBufferLost)) return audio::Result::Ok;
    audio::Result r;
    do {
        if (buffer->Restore() == audio::Result::BufferLost) os::SleepMs(10);
        r = buffer->Restore();
    } while (r == audio::Result::BufferLost);
    *pbRestored = true;
    return audio::Result::Ok;
}

bool CSoundMgr::FillBuffer(audio::Voice* buffer, const CSoundWave& wave) {
    bool restored = false;
    if (RestoreBuffer(buffer, &restored) != audio::Result::Ok) return false;
    void* data = nullptr;
    uint32_t bytes = 0;
    if (buffer->Lock(&data, &bytes) != audio::Result::Ok) return false;
    std::memset(data, wave.m_Format.bitsPerSample == 8 ? 128 : 0, bytes);
    if (wave.m_pReadedWaveData) std::memcpy(data, wave.m_pReadedWaveData, std::min(bytes, wave.m_dwSize));
    buffer->Unlock();
    return true;
}

strSound* CSoundMgr::LoadSound(const char* fileName, uint32_t flags) {
    if (!soundworld::SoundAllowed()) return nullptr;
    DeleteFinishedSounds();
    if (!m_pDS || !fileName || !*fileName) return nullptr;

    CSoundLock::Scoped lock(m_Lock);
    strSound* sound = new strSound{};
    soundworld::Track("strSound");
    sound->fVolume = 1.0f;
    sound->fVolumeFactor = 1.0f;
    std::strncpy(sound->szName, fileName, sizeof sound->szName - 1);

    const CSoundWave* wave = nullptr;
    CSoundWave* loaded = nullptr;
    SoundCacheSlot* slot = nullptr;
    if (g_SoundCache.FindSlot(fileName, &slot)) {
        wave = slot->pWave;
    } else {
        loaded = new CSoundWave;
        soundworld::Track("CSoundWave");
        if (!loaded->LoadWaveFromFile(fileName)) {
            g_Console.Print("ERROR: SoundMgr.cpp  *** Sound loading problem!");
            g_Console.Printf("WaveFileName: %s", fileName);
            delete sound;
            soundworld::Untrack("strSound");
            delete loaded;
            soundworld::Untrack("CSoundWave");
            return nullptr;
        }
        wave = loaded;
    }

    audio::VoiceDesc desc;
    desc.flags = flags;
    desc.bytes = wave->m_dwSize;
    desc.format = wave->m_Format;
    sound->wfx = wave->m_Format;
    std::unique_ptr<audio::Voice> buffer;
    if (audio::Result r = m_pDS->CreateVoice(desc, &buffer); r != audio::Result::Ok)
        LogCreateFailure(fileName, flags, wave->m_Format, r);
    else
        FillBuffer(buffer.get(), *wave);

    if (loaded) {
        delete loaded; // sounds never keep their wave
        soundworld::Untrack("CSoundWave");
    }
    if (!buffer) {
        delete sound;
        soundworld::Untrack("strSound");
        return nullptr;
    }
    sound->pBuffer = buffer.release();
    sound->pNext = m_pSounds;
    m_pSounds = sound;
    return sound;
}

strSound* CSoundMgr::CreateSound(const char* fileName) {
    strSound* sound = LoadSound(fileName, FLAGS_2D);
    if (sound) SetSoundVolume(sound, 1.0f);
    return sound;
}

strSound* CSoundMgr::CreateSound3D(const char* fileName) {
    strSound* sound = LoadSound(fileName, FLAGS_3D);
    if (!sound) return nullptr;
    sound->fRange = DEFAULT_RANGE;
    sound->b3D = 1;
    sound->bVoice = (fileName && StrStrNoCase(fileName, "voices")) ? 1 : 0;
    sound->fVolume = 1.0f;
    sound->p3DBuffer = sound->pBuffer->Get3D();
    if (!sound->p3DBuffer) {
        g_Console.Print("ERROR in CSoundMgr::CreateSound3D() problems with 3D buffer...");
        return sound;
    }
    {
        CSoundLock::Scoped lock(m_Lock);
        sound->p3DBuffer->SetMode(audio::Mode3D::Normal, kDeferred);
        sound->p3DBuffer->SetVelocity(math::Vec3(0, 0, 0), kDeferred);
    }
    CommitListener();
    return sound;
}

strSound* CSoundMgr::StartSound3D(const char* fileName, const float* position, float range, bool play,
                                  bool loop) {
    if (!fileName || !position || !FileExists(fileName)) return nullptr;
    strSound* sound = CreateSound3D(fileName);
    if (!sound) return nullptr;
    if (fileName && StrStrNoCase(fileName, "voices")) sound->bVoice = 1;
    SetSoundPosition(sound, position);
    SetSoundRange(sound, range);
    if (play) {
        PlaySound(sound, loop);
        CommitListener();
    }
    return sound;
}

void CSoundMgr::PlaySound3DOnce(const char* fileName, const float* position, float range) {
    if (!soundworld::SoundAllowed()) return;
    strSound* sound = CreateSound3D(fileName);
    if (!sound) return;
    sound->bOneShot = 1;
    if (position) SetSoundPosition(sound, position);
    SetSoundRange(sound, range);
    SetSoundVolume(sound, 1.0f);
    PlaySound(sound, false);
    CommitListener();
}

void CSoundMgr::PlaySoundOnce(const char* fileName, float volume, float pan) {
    if (!soundworld::SoundAllowed()) return;
    strSound* sound = LoadSound(fileName, FLAGS_2D);
    if (!sound) return;
    sound->bOneShot = 1;
    SetSoundVolume(sound, volume);
    SetSoundPan(sound, pan);
    PlaySound(sound, false);
}

void CSoundMgr::PlaySound(strSound* sound, bool loop) {
    if (!soundworld::SoundAllowed() || !sound || !sound->pBuffer) return;
    {
        CSoundLock::Scoped lock(m_Lock);
        sound->bLoop = loop ? 1 : 0;
        bool restored = false;
        const audio::Result check = RestoreBuffer(sound->pBuffer, &restored);
        if (check == audio::Result::Ok && restored) {
            // The data went with the loss: write it again from the cache or the file.
            SoundCacheSlot* slot = nullptr;
            if (g_SoundCache.FindSlot(sound->szName, &slot)) {
                FillBuffer(sound->pBuffer, *slot->pWave);
            } else {
                CSoundWave wave;
                if (wave.LoadWaveFromFile(sound->szName)) {
                    FillBuffer(sound->pBuffer, wave);
                } else {
                    g_Console.Print("ERROR in CSoundMgr::PlaySound(): Sound loading problem!");
                    g_Console.Printf("WaveFileName: %s", sound->szName);
                }
            }
        }
        if (check == audio::Result::Ok) sound->pBuffer->Play(loop);
    }
    if (sound->b3D) {
        ApplyDistanceVolume(sound);
        CommitListener();
    }
}

bool CSoundMgr::PreloadSound(const char* fileName) {
    if (!fileName) return false;
    return g_SoundCache.LoadToCache(fileName);
}

void CSoundMgr::ClearSoundCache() {
    g_SoundCache.Clear();
}

// ---- One sound ---------------------------------------------------------------------

void CSoundMgr::StopSound(strSound* sound) {
    if (!sound || !sound->pBuffer) return;
    CSoundLock::Scoped lock(m_Lock);
    sound->pBuffer->Stop();
}

void CSoundMgr::Unlink(strSound* sound) {
    for (strSound** p = &m_pSounds; *p; p = &(*p)->pNext) {
        if (*p == sound) {
            *p = sound->pNext;
            return;
        }
    }
}

void CSoundMgr::DeleteSound(strSound* sound) {
    if (!sound) return;
    {
        CSoundLock::Scoped lock(m_Lock);
        if (sound->pBuffer) {
            sound->pBuffer->Stop();
            delete sound->pBuffer; // the 3D side goes with it
        }
    }
    sound->pBuffer = nullptr;
    sound->p3DBuffer = nullptr;
    Unlink(sound);
    delete sound;
    soundworld::Untrack("strSound");
}

bool CSoundMgr::IsSoundPlaying(strSound* sound) {
    if (!sound || !sound->pBuffer) return false;
    uint32_t status = 0;
    CSoundLock::Scoped lock(m_Lock);
    if (sound->pBuffer->GetStatus(&status) != audio::Result::Ok) return false;
    return (status & audio::kStatusPlaying) != 0;
}

int32_t CSoundMgr::LoudnessToHundredthsDb(float x) {
    if (std::isnan(x)) x = 0.0f;
    // Attenuation in decibels, linear between (1, 0), (0.5, 20), (0.25, 45),
    // (0.125, 70) and (0, 100).
    float a;
    if (x > 0.5f)
        a = std::clamp(20.0f * (1.0f - 2.0f * (x - 0.5f)), 0.0f, 20.0f);
    else if (x > 0.25f)
        a = std::clamp(20.0f + 25.0f * (1.0f - 4.0f * (x - 0.25f)), 20.0f, 45.0f);
    else if (x > 0.125f)
        a = std::clamp(45.0f + 25.0f * (1.0f - 8.0f * (x - 0.125f)), 45.0f, 70.0f);
    else
        a = std::clamp(70.0f + 30.0f * (1.0f - 8.0f * x), 70.0f, 100.0f);
    const int32_t value = static_cast<int32_t>(-10000.0f * a / 100.0f);
    return std::clamp(value, audio::kVolumeMin, audio::kVolumeMax);
}

void CSoundMgr::SetSoundVolume(strSound* sound, float volume) {
    if (!sound) return;
    sound->fVolume = volume;
    float x = volume * sound->fVolumeFactor;
    x = std::isnan(x) ? 0.0f : std::clamp(x, 0.0f, 1.0f);
    x = m_fMasterVolume * x;
    const int32_t value = LoudnessToHundredthsDb(x);
    if (!sound->pBuffer) return;
    CSoundLock::Scoped lock(m_Lock);
    sound->pBuffer->SetVolume(value);
}

void CSoundMgr::SetSoundVolumeFactor(strSound* sound, float factor) {
    if (!sound) return;
    sound->fVolumeFactor = std::isnan(factor) ? 0.0f : std::clamp(factor, 0.0f, 1.0f);
}

void CSoundMgr::SetSoundPan(strSound* sound, float pan) {
    if (!sound || !sound->pBuffer) return;
    pan = std::isnan(pan) ? 0.0f : std::clamp(pan, -1.0f, 1.0f);
    CSoundLock::Scoped lock(m_Lock);
    sound->pBuffer->SetPan(static_cast<int32_t>(pan * 10000.0f));
}

void CSoundMgr::SetSoundPosition(strSound* sound, const float* position) {
    if (!sound || !position || !sound->b3D) return;
    if (sound->p3DBuffer) {
        CSoundLock::Scoped lock(m_Lock);
        sound->p3DBuffer->SetPosition(ToVec3(position), kDeferred);
    }
    sound->vPosition = ToVec3(position);
    ApplyDistanceVolume(sound);
}

void CSoundMgr::SetSoundRange(strSound* sound, float range) {
    if (!sound || !sound->b3D) return;
    range = std::max(range, 1.0f);
    if (sound->p3DBuffer) {
        CSoundLock::Scoped lock(m_Lock);
        sound->p3DBuffer->SetMaxDistance(range, kDeferred);
        sound->p3DBuffer->SetMinDistance(range, kDeferred);
    }
    sound->fRange = range;
}

void CSoundMgr::SetSoundMinDistance(strSound*, float) {}

float CSoundMgr::DistanceLoudness(float distance, float range) {
    float v = 1.1f * (1.0f - distance / range);
    if (v < 0.1f) v = 0.0f;
    if (v > 1.0f) v = 1.0f;
    return v;
}

void CSoundMgr::ApplyDistanceVolume(strSound* sound) {
    const math::Vec3 d = m_vListenerPosition - sound->vPosition;
    const float distance = math::Vec3Length(d);
    float v = DistanceLoudness(distance, sound->fRange);
    if (sound->bVoice && soundworld::Cinematic()) v = std::max(v, 0.95f);
    if (soundworld::LevelFrame() < SILENT_FRAMES) v = 0.0f;
    SetSoundVolume(sound, v);
}

// ---- The whole manager -------------------------------------------------------------

void CSoundMgr::SetListenerPosition(const float* position) {
    if (!position) return;
    m_vListenerPosition = ToVec3(position);
    if (!m_pDSListener) return;
    CSoundLock::Scoped lock(m_Lock);
    m_pDSListener->SetPosition(m_vListenerPosition, kDeferred);
}

void CSoundMgr::SetListenerOrientation(const float* front, const float* top) {
    if (!m_pDSListener || !front || !top) return;
    CSoundLock::Scoped lock(m_Lock);
    m_pDSListener->SetOrientation(ToVec3(front), ToVec3(top), kDeferred);
}

void CSoundMgr::CommitListener() {
    if (!m_pDSListener) return;
    CSoundLock::Scoped lock(m_Lock);
    m_pDSListener->CommitDeferredSettings();
}

void CSoundMgr::SetVolume(float setting) {
    m_fMasterVolume = std::sqrt(std::max(setting, 0.0f));
    for (strSound* s = m_pSounds; s; s = s->pNext)
        SetSoundVolume(s, s->fVolume);
}

void CSoundMgr::StopAllSounds() {
    for (strSound* s = m_pSounds; s; s = s->pNext)
        if (!s->bLoop) StopSound(s);
}

void CSoundMgr::DeleteAllSounds() {
    while (m_pSounds)
        DeleteSound(m_pSounds);
}

void CSoundMgr::Update() {
    for (strSound* s = m_pSounds; s; s = s->pNext)
        if (s->b3D) ApplyDistanceVolume(s);
    CommitListener();
    DeleteFinishedSounds();
}

void CSoundMgr::DeleteFinishedSounds() {
    strSound* s = m_pSounds;
    while (s) {
        strSound* next = s->pNext;
        if (s->bOneShot && !IsSoundPlaying(s)) DeleteSound(s);
        s = next;
    }
}
