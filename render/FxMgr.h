// The particle-effect manager, `FxMgr` (global g_FxMgr): live effect
// instances started by name, at a position or on objects.
//
// So far no effect descriptions are loaded (the .afx reader comes with the
// effects), so every spawn by name finds no description and gives null; the
// instance table and KillFx are in place for the callers.
#pragma once

#include <cstdint>

#include "app/Orientation.h"
#include "platform/math/Types.h"

struct ObjectRecord;

struct FxInstance {
    char szName[256] = {};
    uint8_t bInUse = 0;
    ObjectRecord* hObject = nullptr; // world object owned by the instance
    uint32_t dwIndex = 0;
    math::Vec3 vPosition;
    orientation Orientation;
    uint8_t bLightOn = 1;    // the light of an FX attached to a light object
    int32_t iBlinkStep = 0;  // -1: not blinking
};

class FxMgr {
  public:
    static constexpr int MAX_INSTANCES = 2048;

    virtual ~FxMgr() = default;

    // Null for a null, empty or unknown name.
    FxInstance* SpawnFxByName(const char* name, const math::Vec3* position, const orientation* o);
    // Ends a live instance (index below MAX_INSTANCES), deleting its world object.
    void KillFx(uint32_t index);

    // Gathers the live sprite instances into their batches before the scene
    // (frame driver); nothing is batched until the FX are drawn.
    void BuildSpriteBuffers() {}
    // Draws the batches, sparks and distortion inside the scene (nothing is
    // batched yet).
    void Render() {}

    // The last spawn asked for by name (empty names are not counted): what
    // the callers placed where, while no description loads.
    char m_szLastSpawnName[256] = {};
    math::Vec3 m_vLastSpawnPosition;
    uint32_t m_dwSpawnRequests = 0;

  private:
    FxInstance m_Instances[MAX_INSTANCES];
};

extern FxMgr g_FxMgr;
