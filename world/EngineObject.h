// The behaviour layer, `EEngineObject` (global g_EngineObject): each world
// object's update and the action interpreter, and the per-object services
// such as hiding sectors. The interpreter and the update come with the
// behaviour layer; this holds the entry points that the console and the
// object API call, which so far only record what they were asked.
#pragma once

#include <cstdint>

#include "platform/math/Types.h"

struct ObjectRecord;

class EEngineObject {
public:
    virtual ~EEngineObject() = default;

    // Runs the object's action (automatic: fired by its trigger zone). Does
    // nothing for a null object.
    void RunAction(ObjectRecord* object, bool automatic);
    // Kills the object by its death parameters: nothing for a null object, one
    // already dying or one without death parameters. So far it only marks the
    // object dying; the death effects come with the behaviour layer.
    void HandleDeath(ObjectRecord* object, const math::Vec3* hit, const math::Vec3* attacker);

    // Once per engine frame: the passes over the object table. So far the
    // one pass built is the first step of the per-object pass: the objects
    // on Bezier paths are advanced (while UpdateObjects and UpdateBezier are
    // on and the menu is closed).
    void UpdateBehaviour();
    // The world hooks of the engine's world start.
    void OnWorldOpen() { m_pLastActionObject = nullptr; }
    void OnWorldClose() { m_pLastActionObject = nullptr; }

    ObjectRecord* m_pLastActionObject = nullptr;
    uint32_t m_iActionsRun = 0;
    // Objects tested by the per-object pass this frame (the profiler display
    // shows it).
    uint32_t m_dwObjectsTested = 0;
};

extern EEngineObject g_EngineObject;

// Hides (true) or shows (false) every object of a sector; sector 0 does
// nothing.
void SetSectorHidden(uint32_t sector, bool hidden);
bool IsSectorHidden(uint32_t sector);
