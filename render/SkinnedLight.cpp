#include "render/SkinnedLight.h"

#include "app/Orientation.h"
#include "platform/math/Math.h"
#include "world/EngineObjectFlags.h"

namespace litpass {

namespace {
constexpr float kPi = 3.14159265358979f;
constexpr math::Vec3 kWorldUp{0.0f, 1.0f, 0.0f};
} // namespace

math::Vec4 BackLightDirection(const math::Vec3& forward, const math::Vec3& right) {
    orientation o;
    o.InitDirection(forward);
    o.Rotate(right, 1.15f * kPi);
    o.Rotate(kWorldUp, 1.25f * kPi);
    return math::Vec4{-o.forward.x, -o.forward.y, -o.forward.z, 0.0f};
}

void AmbientDirections(const math::Vec3& forward, math::Vec4 out[3]) {
    float length = math::Vec3Length(forward);
    if (length == 0.0f) length = 1.0f;
    orientation o;
    o.InitDirection(math::Vec3{forward.x / length, forward.y / length, forward.z / length});
    o.Rotate(o.right, 0.2f * kPi);
    orientation a = o, b = o;
    a.Rotate(kWorldUp, 0.55f * kPi);
    b.Rotate(kWorldUp, -0.55f * kPi);
    const orientation* turned[3] = {&o, &a, &b};
    for (int i = 0; i < 3; ++i)
        out[i] = math::Vec4{turned[i]->forward.x, turned[i]->forward.y, turned[i]->forward.z, 0.0f};
}

float FresnelCoef(Rim variant, uint32_t flags, uint32_t kindFlags) {
    if (flags & objflags::kFlagNoFresnel) return 0.0f;
    if (variant == Rim::SkyLight) return kindFlags == objflags::kKindNoFresnel ? 0.0f : 0.8f;
    return 1.0f;
}

} // namespace litpass
