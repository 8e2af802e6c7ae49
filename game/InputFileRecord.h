// The game layer's per-world input record. Only its reset (world start), its
// release (world end: its sound goes back to the sound module) and the count
// of characters the player's shots hit do anything; the game's per-frame
// update and render hooks of the record are empty.
#pragma once

#include <cstdint>

struct strSound;

class InputFileRecord {
  public:
    static constexpr uint32_t ENTRY_BYTES = 1200;
    static constexpr uint32_t INDEX_AFTER_RESET = 99;

    // World start: entries, count, floats and hit counter cleared, no
    // sound, index 99.
    void Reset();
    // World end: the sound is stopped and deleted and the handle cleared.
    void Release();
    // One character hit by the player's shot.
    void AddHit() { ++m_dwHits; }

    uint8_t m_Entries[ENTRY_BYTES] = {};
    uint32_t m_dwCount = 0;
    float m_fValues[2] = {};
    strSound* m_pSound = nullptr;
    uint32_t m_dwIndex = 0;
    uint32_t m_dwHits = 0;
};

extern InputFileRecord g_InputFileRecord;
