#include "sound/MusicThread.h"

CMusicThread::CMusicThread(audio::Device* device) : m_pDS(device) {}

CMusicThread::~CMusicThread() = default;

bool CMusicThread::Open(const char* /*fileName*/) {
    m_bStreamOpen = false;
    return m_bStreamOpen;
}

void CMusicThread::Play(float, bool) {}
void CMusicThread::StopMusic() {}
void CMusicThread::PauseMusic() {}
void CMusicThread::ResumeMusic() {}
void CMusicThread::SetVolume(float) {}
bool CMusicThread::IsPlaying() {
    return false;
}
