// The light of the skinned lit passes that follows the camera: the back
// light of the ambient-lit pass (LightSkinmesh) and the three ambient
// directions of the sky-light pass (SkyLightSkinmesh), and the strength of
// the rim both add. Plain values, so that they can be checked without a
// device; the passes are members of ERenderer (SkinnedLitPasses.cpp).
#pragma once

#include <cstdint>

#include "platform/math/Types.h"

namespace litpass {

// The back light's direction for a camera looking along `forward` with
// right axis `right`: the look turned about the right axis by 1.15 pi, then
// about world up by 1.25 pi, and reversed (fourth component 0).
math::Vec4 BackLightDirection(const math::Vec3& forward, const math::Vec3& right);

// The three directions the ambient colour arrives from: the camera's
// forward axis (a zero axis taken as it is) tilted about its own right axis
// by 0.2 pi, and that one turned about world up by +0.55 pi and -0.55 pi
// (fourth components 0).
void AmbientDirections(const math::Vec3& forward, math::Vec4 out[3]);

// The rim strength g_fFresnelCoef of an object by its flags word and kind
// bits: none with flags bit 0x80000, in the full sky-light variant also
// none for kind bits 256; else 0.8 (full sky-light variant) or 1.0.
enum class Rim { SkyLight, SkyLight20, Ambient };
float FresnelCoef(Rim variant, uint32_t flags, uint32_t kindFlags);

} // namespace litpass
