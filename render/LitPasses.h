// The pieces the lit passes share: the sky-light parameter block (static
// and skinned sky-light passes, each with its own light factor), the
// per-texture material state of a lit pass's first drawn user (sky-light,
// ambient-lit and skinned lit passes), the sky-light technique names and
// the sway of trees and wires. Each is computed as plain values first, so
// that the values can be checked without a device, then uploaded.
#pragma once

#include <cstdint>

#include "platform/math/Types.h"

struct EffectRecord;
struct strtexture;
class SkyShadowMap;
class EnvironmentSettings;

namespace litpass {

// ---- Sky-light parameter block -----------------------------------------------------

struct SkyLightBlock {
    float fMapSize[2] = {};
    float fMapTexel[2] = {};      // 1 / size, 1 for a size of 0
    float fShadowEpsilon[2] = {}; // bias x 0.0037
    math::Matrix mViewToLightProj[2];
    math::Vec4 vDirection[2];
    math::Vec4 vDiffuse[2];
    bool bUse[2] = {};
};

// The block for the camera view `view` and light factor `k`. With
// `bothMaps` false (shader model 2) only the first entries of the matrices,
// direction, colour and switches carry meaning, the second switch is off
// and the map sizes and epsilons are left zero.
SkyLightBlock ComputeSkyLightBlock(const SkyShadowMap& maps, const EnvironmentSettings& environment,
                                   const math::Matrix& view, float k, bool drawAnimatedShadows,
                                   bool bothMaps);

// Sets the block on the record's effect: with `bothMaps` SMAP_SIZE,
// SMAP_SIZE1 and SHADOW_EPSILON too. A refused "g_bUseSkyLightX" prints
// "Set failed".
void UploadSkyLightBlock(const EffectRecord* fx, const SkyLightBlock& block, bool bothMaps);

// Stage 3 takes sky map 0, and stage 4 map 1 with DrawAnimatedShadows; with
// `point` both stages filter by the nearest texel.
void BindSkyMaps(bool point);

// ---- Per-texture material state ------------------------------------------------------

// Where a lit pass's texture state differs from the sky-light pass's full
// variant.
struct MaterialVariant {
    bool bDetail = true;       // the detail texture and its switches are set
    bool bCommitAfter = false; // one commit at the end
    // With bDetail: false sets the detail texture and its density only.
    bool bDetailSwitches = true;
    // Skinned meshes: stage 0 takes the image itself (the default white
    // texture without DrawCharacterTextures; no animation step), stage 1 the
    // normal map only when there is one; transparent mode is chosen before
    // translucent mode, so a texture that is both ends translucent; the
    // detail texture and the cube keep their images whatever DrawTextures
    // says.
    bool bSkinned = false;
    // Skinned: a missing normal map is named (" - brak normala!") and the
    // image stands in for it on stage 1.
    bool bStandInNormal = false;
};

// The texture state of a lit pass at a texture's first drawn user: stages
// 0 and 1, g_fNormalDensity, culling, translucent then transparent mode
// (skinned: transparent then translucent), specular, texture density,
// detail (stage 2), environment cube (stage 6) and g_bFullyBrightINM.
void SetTextureMaterial(EffectRecord* fx, strtexture* t, const MaterialVariant& variant);

// The menu's specular option: highlights are drawn only while it is on
// (on at start).
extern bool g_bSpecularOption;

// ---- Techniques -----------------------------------------------------------------------

// "RenderScene%i%i": shadows sampled, environment cube added.
const char* SkyLightTechnique(bool shadows, bool cube);
// "RenderScene20_%i": environment cube added.
const char* SkyLightTechnique20(bool cube);

// ---- Sway -----------------------------------------------------------------------------

struct Sway {
    float fPrzesX = 0, fPrzesY = 0, fWysY = 0, fWysY5 = 0;
};
// A wire of sway amplitude A and height H at phase p (radians).
Sway WireSway(float amplitude, float height, float phase);
// A tree of height H at the engine clock (seconds).
Sway TreeSway(float height, float clock);
// The leaves' wobble of a tree at the engine clock.
float LeafWobble(float clock);

} // namespace litpass
