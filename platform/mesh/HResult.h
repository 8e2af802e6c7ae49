// Results of the mesh hierarchy services and of the allocators they call,
// with the codes the logs print.
#pragma once

#include <cstdint>

namespace mesh {

enum class HResult : int32_t {
    Ok = 0,
    Refused = -1, // an allocator that will not build now
    Fail = int32_t(0x80004005),
    OutOfMemory = int32_t(0x8007000E),
};

inline bool Failed(HResult r) {
    return int32_t(r) < 0;
}

} // namespace mesh
