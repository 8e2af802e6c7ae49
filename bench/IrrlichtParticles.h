// Irrlicht's particle system as the peer of the effects' step, in a
// translation unit of its own: its headers are not C++20 (built as C++17).
#pragma once

// Seconds per frame of a particle system on Irrlicht's null driver: an
// emitter of perFrame particles a frame living lifeMs, with a gravity and a
// fade-out affector, advanced frames times by frameSeconds after a warm-up
// that fills it. 0 when no device can be made.
double IrrlichtParticleFrame(int frames, float frameSeconds, int perFrame, int lifeMs);
