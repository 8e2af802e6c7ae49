// The render-state cache of the renderer, `ERenderStateCache` (global
// g_RenderStateCache): every pass that draws with an effect begins and ends
// its technique here, switches back-face culling here, and switches between
// opaque, alpha-tested (`transparent` textures) and alpha-blended
// (`translucent` textures) drawing here. It remembers just enough to skip
// repeated device calls: whether culling is on, whether a technique is
// begun, which alpha mode is on, and the depth-write state that translucent
// mode turned off.
//
// Lifetime: the whole process; nothing is released on a device loss (the
// scene render re-establishes culling with ResetCullMode every frame).
//
// Failure policy: only BeginTechnique reports failure (false), and then no
// technique is left begun; the callers skip their drawing. Results of
// device calls are ignored. Main thread only.
#pragma once

#include <cstdint>

#include "platform/effect/Effect.h"

namespace gfx {
class Texture;
class CubeTexture;
} // namespace gfx
struct EffectRecord;

class ERenderStateCache {
  public:
    virtual ~ERenderStateCache() = default;

    // Ends a begun technique, clears the device's program and FVF, sets the
    // technique, begins the effect and its pass 0. With reset, the
    // transparent mark is cleared (the device is not touched). False for a
    // null record or effect, or when the effect refuses.
    bool BeginTechnique(EffectRecord* effect, effect::Handle technique, bool reset);
    bool BeginTechniqueByName(EffectRecord* effect, const char* name, bool reset);
    void EndTechnique(EffectRecord* effect);

    // Counter-clockwise culling, set unconditionally; culling marked on.
    void ResetCullMode();
    // On: counter-clockwise back-face culling; off: none. Calls the device
    // only when the cached state differs.
    void SetCullMode(bool on);

    // Alpha test at 128 with blending (ends translucent mode first).
    void BeginTransparent(EffectRecord* effect);
    // Blending and alpha test off, whatever the mark says.
    void EndTransparent(EffectRecord* effect);
    // Blending without depth writes (ends transparent mode first).
    void BeginTranslucent(EffectRecord* effect);
    // Blending off; depth writes back to what they were, when it was on.
    void EndTranslucent(EffectRecord* effect);

    // Binds a texture to a stage below 16; a larger stage does nothing.
    void SetTexture(uint32_t stage, gfx::Texture* texture);
    // The same for a cube texture (the environment cube of stage 6).
    void SetCubeTexture(uint32_t stage, gfx::CubeTexture* texture);

    effect::Handle m_hCurrentTechnique;
    bool m_bTechniqueBegun = false;
    bool m_bCullOn = false;
    bool m_bTransparentOn = false;
    bool m_bTranslucentOn = false;
    uint32_t m_dwSavedZWrite = 0;
};

// Filtering of sampler stages 0..count-1 (at most 16) from the video
// options: the menu's best-filtering option or animated-models texture
// quality 0 filter anisotropically, quality 1 linearly with a sharpening
// LOD bias, quality 2 linearly without; the shader-model-2 option takes the
// bias away. Each stage also gets anisotropy 4 and wrap addressing.
void SetSamplerFilters(uint32_t count, bool strong);
// The LOD bias the last SetSamplerFilters gave its stages (0 before any):
// passes that force a bias on a stage put this one back.
float CurrentSamplerBias();

// The menu's best-filtering option: the menu installs where it keeps it
// (null: off).
void SetBestFilteringOption(const bool* option);

extern ERenderStateCache g_RenderStateCache;
