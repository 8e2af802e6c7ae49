// One input of the inertia-tensor file reader: the bytes as a file of the
// parameters folder, loaded by a manager and dropped again. Shared by the
// libFuzzer target and the seeded-mutation test.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "physics/RigidBodyParametersMgr.h"
#include "platform/os/Os.h"

namespace paramsfuzz {

constexpr const char* kPath = "!opt\\rigid_body_physics_parameters\\fuzz.txt";

// Whether every entry of the map names a vertex below the other count.
inline bool MapWithin(const uint32_t* map, uint32_t count, uint32_t other) {
    for (uint32_t i = 0; map && i < count; ++i)
        if (map[i] >= other) return false;
    return true;
}

// Whether a loaded record keeps its bounds: a terminated name, counts within
// the largest mesh, each with its map, and map entries within the counts (a
// hull built from the record indexes inside its mesh); finite tensors.
inline bool IsSound(const RigidBodyParameters& r) {
    for (int i = 0; i < 9; ++i)
        if (!std::isfinite(r.Ibody[i]) || !std::isfinite(r.Ibodyinv[i])) return false;
    return std::memchr(r.szMeshFilename, 0, sizeof r.szMeshFilename) != nullptr &&
           r.num_old_vertices <= ERigidBodyParametersMgr::MAX_VERTICES &&
           r.num_new_vertices <= ERigidBodyParametersMgr::MAX_VERTICES &&
           (r.num_old_vertices == 0 || r.map_old_to_new) && (r.num_new_vertices == 0 || r.map_new_to_old) &&
           MapWithin(r.map_old_to_new.get(), r.num_old_vertices, r.num_new_vertices) &&
           MapWithin(r.map_new_to_old.get(), r.num_new_vertices, r.num_old_vertices);
}

// Loads the bytes as a parameter file; false when the record breaks its bounds.
inline bool Feed(ERigidBodyParametersMgr& mgr, const uint8_t* data, size_t size) {
    os::CreateDirectory(ERigidBodyParametersMgr::FOLDER);
    if (std::FILE* f = os::OpenFile(kPath, "wb")) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
    bool sound = true;
    if (mgr.LoadFile(kPath)) sound = IsSound(mgr.Record(mgr.NumRecords() - 1));
    mgr.Destroy();
    return sound;
}

} // namespace paramsfuzz
