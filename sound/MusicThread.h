// The music thread: `CMusicThread` owns one music stream and refills it on a
// thread of its own, the only thread of the program besides the main one.
//
// The lock is the sound manager's count-1 lock, which also guards every
// device call of the manager. Start switches it on before the thread runs and
// Stop switches it off once the thread has been joined, so while no music
// thread runs, taking it costs nothing. The thread holds it for one stream
// update at a time and, between updates, sleeps without it until the play
// position can next have entered the other half (rMusicStreamSleepMs), so it
// refills as soon as it did when it looked every millisecond, and wakes once
// a half (four times a second) instead of a thousand times. Play and
// ResumeMusic, which set the position moving, and Stop cut the sleep short.
// Every wait on the lock has no time-out.
//
// Lifetime: the sound manager makes one object per piece of music and deletes
// it when the music changes. Open creates the stream and starts the thread;
// the destructor joins the thread before the stream is freed. Only one music
// thread runs at a time (the lock is shared).
//
// Failure policy: a file that yields no stream makes Open answer false with
// no thread running; every other call then does nothing.
#pragma once

#include "platform/audio/Audio.h"
#include "platform/os/Thread.h"
#include "sound/SoundLock.h"

struct MusicStream;

class CMusicThread : public os::Thread {
  public:
    CMusicThread(audio::Device* device, CSoundLock& lock);
    ~CMusicThread() override;
    CMusicThread(const CMusicThread&) = delete;
    CMusicThread& operator=(const CMusicThread&) = delete;

    // Stops a running thread first; switches the lock on and starts the
    // thread. False (lock off, not running) when the thread cannot start.
    bool Start();
    // Clears the running flag under the lock, joins the thread and switches
    // the lock off. Nothing when no thread runs.
    void Stop();

    bool Open(const char* fileName);
    void Play(float volume, bool loop);
    void StopMusic();
    void PauseMusic();
    void ResumeMusic();
    void SetVolume(float volume);
    bool IsPlaying();

    bool IsStreamOpen() const { return m_bStreamOpen; }
    bool IsThreadRunning() const { return m_bThreadStarted; }
    MusicStream* Stream() const { return m_pStream; }

  protected:
    void Run() override;

  private:
    bool m_bRunning = false;       // the loop goes on; written and read under the lock
    os::Semaphore m_Wake{0, 1};    // released by Stop, Play and ResumeMusic to end the thread's sleep
    bool m_bThreadStarted = false; // main thread only
    bool m_bStreamOpen = false;
    MusicStream* m_pStream = nullptr;
    audio::Device* m_pDS;
    CSoundLock& m_Lock;
};
