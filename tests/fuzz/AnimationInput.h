// What the animation fuzzing feeds one input through: the .bin reader, and
// for what loads, the sampler at times across and beyond the animation,
// looping and not, on every channel; then the tracks and the pose records
// are freed again.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "skinmesh/SkinMeshAnimation.h"

namespace animfuzz {

inline void Feed(const uint8_t* data, size_t size) {
    const std::vector<uint8_t> bytes(data, data + size);
    strSkinMeshAnimation anim;
    if (ESkinMeshAnimation::LoadFromBytes(bytes, "fuzz.bin", &anim)) {
        AnimationChannel channel;
        const double d = anim.dDuration;
        for (double t : {0.0, 0.25 * d, d, 2.5 * d, -d, 1e30, -1e30, 1e-300}) {
            for (uint32_t c = 0; c < 4; ++c) {
                channel.dwChannel = c;
                channel.dTime = t;
                channel.bLoop = (c & 1) != 0;
                ESkinMeshAnimation::Sample(&anim, &channel);
            }
        }
        ESkinMeshAnimation::FreeTracks(&anim);
    }
    g_LinkFieldList.Clear();
}

} // namespace animfuzz
