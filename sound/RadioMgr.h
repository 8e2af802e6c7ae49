// Radio sound sources, `RadioMgr` (global g_RadioMgr): radios placed on
// objects play their track lists. Only the per-world entry points are here
// until the radios are built: the descriptions of "scripts\radio\*.txt" are
// counted at world open and everything is cleared at world close.
#pragma once

struct ObjectRecord;

class RadioMgr {
  public:
    virtual ~RadioMgr() = default;
    // Stops every radio and forgets the descriptions (world close).
    void Clear() { m_iNumDescriptions = 0; }
    void StopObjectRadios(ObjectRecord*) {}
    int m_iNumDescriptions = 0;
};

extern RadioMgr g_RadioMgr;

// Reads the radio descriptions of the new world.
void LoadRadios();
