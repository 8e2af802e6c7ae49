#include "sound/SoundLock.h"

bool CSoundLock::Take() {
    if (!m_bActive) return false;
    m_Semaphore.Wait(-1);
    return true;
}

void CSoundLock::Give() {
    m_Semaphore.Release();
}
