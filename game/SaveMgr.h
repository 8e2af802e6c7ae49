// Saved games, `CSaveMgr` (global g_SaveMgr). The save and load of the game
// come with the game layer; this holds what the world reads and writes now:
// the checkpoint request an action sets, whether a save or a load is in
// progress with its step counter (the behaviour layer holds trigger zones and
// action motion back during the first steps), and the order of the save
// file's blocks that exist so far.
#pragma once

#include <cstdint>
#include <cstdio>

class CSaveMgr {
  public:
    virtual ~CSaveMgr() = default;

    // The blocks of a save file in the file's order, as far as their owners
    // exist: the engine's object table, the engine-object layer, the camera,
    // the post-processing, the environment settings. The byte counters restart before each block.
    // A null stream does nothing.
    void WriteBlocks(std::FILE* f);
    void ReadBlocks(std::FILE* f);

    // The player's load key, or fire after his death, asks for the last
    // checkpoint (the loading comes with the save games; the requests are
    // counted).
    void LoadLastCheckpoint() { ++m_dwCheckpointLoads; }
    uint32_t m_dwCheckpointLoads = 0;

    uint8_t m_bCheckpointRequest = 0; // an action asked for a checkpoint save
    uint8_t m_bBusy = 0;              // a save or a load is in progress
    uint32_t m_dwStep = 0;            // its step counter
};

extern CSaveMgr g_SaveMgr;
