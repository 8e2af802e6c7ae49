// Empties what loading a world file fills, between the runs of tests,
// benchmarks and fuzz targets that load worlds in one process.
#pragma once

#include "render/EnvironmentSettings.h"
#include "world/BezierMgr.h"
#include "world/Engine.h"
#include "world/ObjectRecord.h"
#include "world/VisBlockers.h"

namespace wftest {

// Deletes every object of the table (the sky object first, which the
// environment holds by handle).
inline void ClearObjects() {
    g_EnvironmentSettings.DeleteSkyObject();
    for (int slot = 0; slot < EEngine::MAX_OBJECTS; ++slot) {
        ObjectRecord* h = g_Engine.Object(slot);
        if (h && h->bUsed) g_Engine.DeleteObject(h);
    }
}

// Every object, the vis blockers and the Bezier paths.
inline void ClearWorld() {
    ClearObjects();
    g_VisBlockers.Clear();
    g_BezierMgr.FreeAll();
}

} // namespace wftest
