#include "sound/MusicThread.h"

#include "sound/MusicStream.h"

CMusicThread::CMusicThread(audio::Device* device, CSoundLock& lock) : m_pDS(device), m_Lock(lock) {}

CMusicThread::~CMusicThread() {
    Stop();
    rDeleteMusicStream(&m_pStream);
    m_bStreamOpen = false;
}

bool CMusicThread::Start() {
    if (m_bThreadStarted) Stop();
    while (m_Wake.Wait(0)) {
    }
    m_bRunning = true;
    m_Lock.SetActive(true);
    if (!os::Thread::Start()) {
        m_bRunning = false;
        m_Lock.SetActive(false);
        return false;
    }
    m_bThreadStarted = true;
    return true;
}

void CMusicThread::Stop() {
    if (!m_bThreadStarted) return;
    {
        CSoundLock::Scoped lock(m_Lock);
        m_bRunning = false;
    }
    m_Wake.Release();
    Join();
    m_bThreadStarted = false;
    m_Lock.SetActive(false);
}

void CMusicThread::Run() {
    os::Semaphore& semaphore = m_Lock.Semaphore();
    semaphore.Wait(-1);
    while (m_bRunning) {
        rUpdateMusicStream(m_pStream);
        const uint32_t sleepMs = rMusicStreamSleepMs(m_pStream);
        semaphore.Release();
        m_Wake.Wait(int(sleepMs));
        semaphore.Wait(-1);
    }
    semaphore.Release();
}

bool CMusicThread::Open(const char* fileName) {
    if (m_pStream) {
        Stop();
        rDeleteMusicStream(&m_pStream);
        m_bStreamOpen = false;
    }
    m_bStreamOpen = false;
    m_pStream = rCreateMusicStream(fileName, m_pDS);
    if (m_pStream) {
        m_bStreamOpen = true;
        Start();
    }
    return m_bStreamOpen;
}

void CMusicThread::Play(float volume, bool loop) {
    if (!m_bStreamOpen) return;
    {
        CSoundLock::Scoped lock(m_Lock);
        rSetMusicStreamVolume(m_pStream, volume);
    }
    {
        CSoundLock::Scoped lock(m_Lock);
        rPlayMusicStream(m_pStream, loop);
    }
    m_Wake.Release(); // the position starts again: the thread's sleep is measured anew
}

void CMusicThread::StopMusic() {
    if (!m_bStreamOpen) return;
    CSoundLock::Scoped lock(m_Lock);
    rStopMusicStream(m_pStream);
}

void CMusicThread::PauseMusic() {
    if (!m_bStreamOpen) return;
    CSoundLock::Scoped lock(m_Lock);
    rPauseMusicStream(m_pStream);
}

void CMusicThread::ResumeMusic() {
    if (!m_bStreamOpen) return;
    {
        CSoundLock::Scoped lock(m_Lock);
        rResumeMusicStream(m_pStream);
    }
    m_Wake.Release(); // the position moves again: the thread's sleep is measured anew
}

void CMusicThread::SetVolume(float volume) {
    if (!m_bStreamOpen) return;
    CSoundLock::Scoped lock(m_Lock);
    rSetMusicStreamVolume(m_pStream, volume);
}

bool CMusicThread::IsPlaying() {
    if (!m_bStreamOpen) return false;
    CSoundLock::Scoped lock(m_Lock);
    return rIsMusicStreamPlaying(m_pStream);
}
