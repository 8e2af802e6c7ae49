// One input of the inertia-tensor file reader: the bytes as a file of the
// parameters folder, loaded by a manager and dropped again. Shared by the
// libFuzzer target and the seeded-mutation test.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "physics/RigidBodyParametersMgr.h"
#include "platform/os/Os.h"

namespace paramsfuzz {

constexpr const char* kPath = "!opt\\rigid_body_physics_parameters\\fuzz.txt";

// Whether a loaded record keeps its bounds: a terminated name and counts
// within the largest mesh, each with its map.
inline bool IsSound(const RigidBodyParameters& r) {
    return std::memchr(r.szMeshFilename, 0, sizeof r.szMeshFilename) != nullptr &&
           r.num_old_vertices <= ERigidBodyParametersMgr::MAX_VERTICES &&
           r.num_new_vertices <= ERigidBodyParametersMgr::MAX_VERTICES &&
           (r.num_old_vertices == 0 || r.map_old_to_new) && (r.num_new_vertices == 0 || r.map_new_to_old);
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
