// Writes binary animation files for tests: the header, then one node record
// per track with its times and keys.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "platform/math/Types.h"

namespace animfiles {

struct Track {
    std::string name;
    std::vector<float> tTimes;
    std::vector<math::Vec3> translations;
    std::vector<float> rTimes;
    std::vector<math::Quat> rotations;
    std::vector<float> sTimes;
    std::vector<math::Vec3> scales;
};

inline void PutU32(std::string* out, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out->push_back(static_cast<char>(v >> (8 * i)));
}

inline void PutF32(std::string* out, float f) {
    uint32_t u;
    std::memcpy(&u, &f, 4);
    PutU32(out, u);
}

inline void PutF64(std::string* out, double d) {
    uint64_t u;
    std::memcpy(&u, &d, 8);
    PutU32(out, static_cast<uint32_t>(u));
    PutU32(out, static_cast<uint32_t>(u >> 32));
}

inline std::string Bin(double keyTimeScale, double duration, const std::vector<Track>& tracks,
                       const char* magic = "BINA", uint32_t version = 2) {
    std::string out(magic, 4);
    PutU32(&out, version);
    PutU32(&out, static_cast<uint32_t>(tracks.size()));
    if (tracks.empty()) return out;
    PutF64(&out, keyTimeScale);
    PutF64(&out, duration);
    for (const Track& t : tracks) {
        std::string name = t.name;
        name.resize(128, '\0');
        out += name;
        for (int i = 0; i < 10; ++i)
            PutF32(&out, i == 6 ? 1.0f : 0.0f); // reserved pose values
        PutU32(&out, static_cast<uint32_t>(t.tTimes.size()));
        PutU32(&out, static_cast<uint32_t>(t.rTimes.size()));
        PutU32(&out, static_cast<uint32_t>(t.sTimes.size()));
        for (const std::vector<float>* times : {&t.tTimes, &t.rTimes, &t.sTimes})
            for (float f : *times)
                PutF32(&out, f);
        for (const math::Vec3& v : t.translations)
            for (float f : {v.x, v.y, v.z})
                PutF32(&out, f);
        for (const math::Quat& q : t.rotations)
            for (float f : {q.x, q.y, q.z, q.w})
                PutF32(&out, f);
        for (const math::Vec3& v : t.scales)
            for (float f : {v.x, v.y, v.z})
                PutF32(&out, f);
    }
    return out;
}

} // namespace animfiles
