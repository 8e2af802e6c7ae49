// The behaviour layer, `EEngineObject` (global g_EngineObject): each world
// object's update and the action interpreter, and the per-object services
// such as hiding sectors. The interpreter and the update come with the
// behaviour layer; this holds the entry points that the console and the
// object API call, which so far only record what they were asked.
#pragma once

#include <cstdint>

struct ObjectRecord;

class EEngineObject {
public:
    virtual ~EEngineObject() = default;

    // Runs the object's action (automatic: fired by its trigger zone). Does
    // nothing for a null object.
    void RunAction(ObjectRecord* object, bool automatic);

    ObjectRecord* m_pLastActionObject = nullptr;
    uint32_t m_iActionsRun = 0;
};

extern EEngineObject g_EngineObject;

// Hides (true) or shows (false) every object of a sector; sector 0 does
// nothing.
void SetSectorHidden(uint32_t sector, bool hidden);
bool IsSectorHidden(uint32_t sector);
