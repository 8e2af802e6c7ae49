// The bits of an object's two flag words that the behaviour layer reads. A
// bit given by index N in the layer's rules is the value 1 << N; the one
// exception is the "not important" bit, which is the value 64; masks are given
// as they are.
#pragma once

#include <cstdint>

namespace objflags {

// First flag word.
constexpr uint32_t kFlagVisible = 1u << 0;
constexpr uint32_t kFlagCubeShadow = 16;       // a light that casts cube shadows
constexpr uint32_t kFlagUnimportant = 64;      // value 64: left out unless DrawNotImportant
constexpr uint32_t kFlagNearCameraMesh = 0x80; // a large mesh tested against the camera's height
constexpr uint32_t kFlagDead = 128;            // set on a killed object and on a forced-look source
constexpr uint32_t kFlagFrozen = 0x400;        // no update, visibility kept as it is
constexpr uint32_t kFlagNoRelight = 0x800;     // keeps its lighting position when it moves
constexpr uint32_t kFlagUsable = 0x1000;       // the HUD shows the use hint near it
constexpr uint32_t kFlagStickMarker = 0x2000;  // the hero's stick marker; never killed
constexpr uint32_t kFlagNoFresnel = 0x80000;     // the lit skinned passes draw no rim on it
constexpr uint32_t kFlagNoNearCamera = 1u << 20;

// Second flag word.
constexpr uint32_t kFlag2NoSkyLight = 1u << 3;
constexpr uint32_t kFlag2VeryFar = 1u << 5; // counts 20000 as its far distance
constexpr uint32_t kFlag2NoNodeRefresh = 1u << 15;
constexpr uint32_t kFlag2NoFog = 1u << 18; // the passes push its fog out of sight
constexpr uint32_t kFlag2NoReflection = 1u << 28;
// The same bit keeps the object out of the sky shadow maps.
constexpr uint32_t kFlag2NoSkyShadow = 1u << 28;
// Bit 29 (0x20000000): ambient colour 0 is its fixed colour, and its
// lighting is sampled from the ground under it.
constexpr uint32_t kFlag2FixedColour = 1u << 29;
constexpr uint32_t kFlag2ShadowLight = 1u << 30; // a light shown only with DrawShadows
constexpr uint32_t kFlag2KeptOnReplacement = ~0x400000u;

// Kind word (the third), compared whole.
constexpr uint32_t kKindNoFresnel = 256; // no rim in the full sky-light pass of skinned meshes

} // namespace objflags
