// The time-driven values of the lava and water passes (ERenderer's
// RenderLava, RenderWater and RenderWaterReflection, WaterPasses.cpp), kept
// apart so that their tables can be checked on their own.
#pragma once

#include "platform/math/Math.h"

namespace water {

// The moving surface at world time T: the sine and the two wave phases.
enum class Surface {
    Lava,
    Water,          // the plain water pass, and the reflective one without reflection
    ReflectedWater, // the reflective pass with "Realtime water reflection"
};
struct Wave {
    float sinF = 0.0f;
    float falaX = 0.0f;
    float falaZ = 0.0f;
};
Wave WaveAt(Surface surface, float T);

// The reflective pass's wave amplitude: high on "worlds\level_10.w" (any
// letter case), low elsewhere.
float WaveAmplitude(const char* world);

// The sky-light direction made a unit vector (a zero one is sent as it is),
// w = 1.
math::Vec4 SkyLightDirection(const float* direction);

} // namespace water
