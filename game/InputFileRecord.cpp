#include "game/InputFileRecord.h"

#include <cstring>

#include "sound/SoundMgr.h"

InputFileRecord g_InputFileRecord;

void InputFileRecord::Reset() {
    std::memset(m_Entries, 0, sizeof m_Entries);
    m_dwCount = 0;
    m_fValues[0] = m_fValues[1] = 0.0f;
    m_dwHits = 0;
    m_pSound = nullptr;
    m_dwIndex = INDEX_AFTER_RESET;
}

void InputFileRecord::Release() {
    if (m_pSound) {
        g_SoundMgr.StopSound(m_pSound);
        g_SoundMgr.DeleteSound(m_pSound);
    }
    m_pSound = nullptr;
}
