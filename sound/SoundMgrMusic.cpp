// The sound manager's front to the music thread.
#include <cmath>

#include "app/Console.h"
#include "platform/os/Os.h"
#include "sound/MusicThread.h"
#include "sound/SoundMgr.h"
#include "sound/SoundWorld.h"

namespace {

void LogMusicError(const char* what, const char* fileName) {
    g_Console.Print(" ");
    g_Console.Print(what);
    g_Console.Printf("Music File: %s", fileName);
    g_Console.Print(" ");
}

} // namespace

float CSoundMgr::MusicStreamVolume(float setting) {
    if (!(setting >= 0.05f)) return 0.0f;
    return std::sqrt(std::sqrt(setting));
}

void CSoundMgr::Music_Play(const char* fileName, bool loop) {
    if (!fileName) return;
    Music_Stop();
    Music_Release();
    std::FILE* f = os::OpenFile(fileName, "rb");
    if (!f) {
        LogMusicError("ERROR in CSoundMgr::Music_Play(): Music file doesn't exist!", fileName);
        return;
    }
    std::fclose(f);
    if (!m_pDS) return;
    m_pMusicThread = new CMusicThread(m_pDS.get(), m_Lock);
    soundworld::Track("CMusicThread");
    if (m_pMusicThread->Open(fileName)) {
        m_pMusicThread->Play(MusicStreamVolume(m_fMusicVolume), loop);
    } else {
        LogMusicError("ERROR in CSoundMgr::Music_Play(): loading failed...", fileName);
        Music_Release();
    }
}

void CSoundMgr::Music_SetVolume(float setting) {
    m_fMusicVolume = setting;
    if (m_pMusicThread) m_pMusicThread->SetVolume(MusicStreamVolume(setting));
}

void CSoundMgr::Music_Pause() {
    if (m_pMusicThread) m_pMusicThread->PauseMusic();
}

void CSoundMgr::Music_Resume() {
    if (m_pMusicThread) m_pMusicThread->ResumeMusic();
}

void CSoundMgr::Music_Stop() {
    if (m_pMusicThread) m_pMusicThread->StopMusic();
}

bool CSoundMgr::Music_IsPlaying() {
    return m_pMusicThread && m_pMusicThread->IsPlaying();
}

void CSoundMgr::Music_Release() {
    if (!m_pMusicThread) return;
    delete m_pMusicThread;
    m_pMusicThread = nullptr;
    soundworld::Untrack("CMusicThread");
}
