// Saved games, `CSaveMgr` (global g_SaveMgr). The save and load of the game
// come with the game layer; this holds what the world reads and writes now:
// the checkpoint request an action sets, and whether a save or a load is in
// progress with its step counter (the behaviour layer holds trigger zones and
// action motion back during the first steps).
#pragma once

#include <cstdint>

class CSaveMgr {
  public:
    virtual ~CSaveMgr() = default;

    uint8_t m_bCheckpointRequest = 0; // an action asked for a checkpoint save
    uint8_t m_bBusy = 0;              // a save or a load is in progress
    uint32_t m_dwStep = 0;            // its step counter
};

extern CSaveMgr g_SaveMgr;
