// The music thread: owns one music stream and refills it on a thread of its
// own, taking the sound manager's lock around every stream call.
//
// The music streams are not built yet: no stream can be opened, so Open
// answers false, no thread starts, and every other call does nothing, which
// is what the manager expects of a file that yields no stream.
#pragma once

#include "platform/audio/Audio.h"

class CMusicThread {
  public:
    explicit CMusicThread(audio::Device* device);
    virtual ~CMusicThread();
    CMusicThread(const CMusicThread&) = delete;
    CMusicThread& operator=(const CMusicThread&) = delete;

    bool Open(const char* fileName);
    void Play(float volume, bool loop);
    void StopMusic();
    void PauseMusic();
    void ResumeMusic();
    void SetVolume(float volume);
    bool IsPlaying();

  private:
    bool m_bStreamOpen = false;
    audio::Device* m_pDS;
};
