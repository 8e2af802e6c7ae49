// The two sky shadow maps, `SkyShadowMap` (global g_SkyShadowMap): the sky
// light's orthographic depth maps that follow the camera. Map 0, the far
// map, holds the static world over a wide square and is drawn again only
// when its centre must move (the camera left a 1024-unit sphere around it)
// or when it went stale; map 1, the near map, holds the skinned meshes and
// the dynamic meshes near the camera over 4400 units and is drawn every
// frame. Each map is a one-channel float render texture with a depth
// surface of its own size; the light-space depth (0 at the near plane, 1 at
// the map's depth) is what the renderer's RenderSkyDepth draws into it
// (SkyDepthPass.cpp) and what the sky-light passes compare against.
//
// Lifetimes: constructed inactive; Reset (world open) makes it active with
// stale centres, EndWorld (world close) releases the targets and makes it
// inactive. The targets are made on first use (BeginRender), after a device
// reset and by SetProjector while active; they are released on a lost
// device, by SetProjector and at world close. Creation and release are
// measured as video-memory section 2.
//
// Failure policy: a target that cannot be made prints its line
// ("CreateRenderTextures 1 failed", "Shadow texture not created", "Sky
// CreateRenderTextures 2 failed", "Sky Shadow depth not created") and leaves
// the map without targets, so nothing is drawn into it and the next frame
// tries again. Without a device nothing is made and nothing is printed.
//
// Settled here: a vertical sky light takes (0, 0, 1) as the light view's up
// direction, since (0, 1, 0) would be parallel to it; a zero direction leaves
// the matrices as they were and the map is drawn empty (its clear value, far
// everywhere); the shadow-quality factor of map 1's bias is applied by every
// Update (and by the creation, to the same value), not once at creation.
// Main thread only.
#pragma once

#include <cstdint>

#include "platform/gfx/Types.h"
#include "platform/math/Types.h"

namespace gfx {
class Texture;
class Surface;
} // namespace gfx

class SkyShadowMap {
  public:
    static constexpr int NUM_MAPS = 2;
    // The centres after a reset: far from any camera, so the first update
    // always builds the matrices.
    static constexpr float STALE_CENTRE = -1e8f;
    // Map 0 moves only when the eye left a sphere of this radius around its
    // centre.
    static constexpr float FAR_MAP_STEP = 1024.0f;
    // Map 1 over the near square, every frame.
    static constexpr uint32_t NEAR_WIDTH = 4400;
    static constexpr uint32_t NEAR_DEPTH = 9200;
    // Map 1's bias with at least, and below, this much free local video
    // memory at device creation.
    static constexpr uint32_t LOW_VIDEO_MEMORY = 280000000;
    static constexpr float NEAR_BIAS = 0.6f;
    static constexpr float NEAR_BIAS_LOW_MEMORY = 0.8f;
    // SHADOW_EPSILON of a map: its bias times this.
    static constexpr float EPSILON_PER_BIAS = 0.0037f;
    // The video-memory section that the targets are measured in.
    static constexpr uint32_t VIDEO_MEMORY_SECTION = 2;
    // What BeginRender clears the texture to: 1.0, the far plane.
    static constexpr uint32_t CLEAR_COLOUR = 0xFFFFFFFF;

    struct Map {
        gfx::Texture* pTexture = nullptr; // R32F, one level, render target
        gfx::Surface* pSurface = nullptr; // its level 0, what BeginRender draws into
        gfx::Surface* pDepth = nullptr;   // the device's depth format
        uint32_t dwSize = 2048;           // texels per side
        uint32_t dwWidth = 12000;         // world units per side
        uint32_t dwDepth = 9000;          // world units from the near plane (1.0) to the far one
        float fBias = 0.76f;
        math::Vec3 vCentre{STALE_CENTRE, STALE_CENTRE, STALE_CENTRE}; // the light's eye of the last build
        math::Vec3 vDirection; // the unit sky-light direction of the last build
        math::Matrix mProjection;
        math::Matrix mView;
        uint8_t bUpToDate = 0;    // the texture holds the scene for the current matrices
        uint8_t bNoDirection = 0; // the sky light has no direction: drawn empty
    };

    virtual ~SkyShadowMap() = default;

    // World open (the renderer's InitWorld): stale centres, both maps stale,
    // active.
    void Reset();
    // World close (the renderer's EndWorld): Release, then inactive.
    void EndWorld();
    // Both maps' depth surfaces and textures.
    void Release();
    // Device hooks: Release before a reset; after it, map 0 again when
    // "Draw shadows" and the sky light are on (and a world is open), map 1
    // as well with "Animated models cast shadows".
    void OnLostDevice() { Release(); }
    void OnResetDevice();

    // A non-zero index means map 1. Stores size, width, depth and bias; while
    // active both maps are made again as after a reset.
    void SetProjector(int map, int size, int width, int depth, float bias);
    // An index outside 0..1 is taken as 1; null outputs are skipped.
    void GetProjector(int map, int* size, int* width, int* depth, float* bias) const;

    // Per engine update, from the renderer's update: while "Draw shadows" is
    // on and a world is open, map 1's width, depth and bias, then (with the
    // sky light on) both maps' light matrices.
    void Update();
    // The light's eye, projection and view of a map; map 0 keeps them while
    // the eye stays within FAR_MAP_STEP of its centre, unless
    // RecalculateSkyLightEveryFrame is on or a cut-scene runs.
    void UpdateLightMatrices(int map);
    void RefreshMatrices();
    void CreateRenderTextures(int map);
    // Makes the targets when missing, keeps the current render target, depth
    // surface and viewport and draws into the map's texture, cleared to 1.0.
    // False when nothing was set (inactive, map 0 without sky light, no
    // targets): nothing must be drawn then.
    bool BeginRender(int map);
    void EndRender();

    // Code that changes what casts sky shadows marks the maps stale.
    void MarkStale() { m_Maps[0].bUpToDate = m_Maps[1].bUpToDate = 0; }
    void MarkFarMapStale() { m_Maps[0].bUpToDate = 0; }

    // Map 1's bias: by the free video memory at device creation, times the
    // shadow quality's factor (0.5, 1, 1.4).
    static float NearMapBias();
    // Map 1's size by the shadow quality (2048, 1024, 512).
    static uint32_t NearMapSize();
    float ShadowEpsilon(int map) const { return m_Maps[Index(map)].fBias * EPSILON_PER_BIAS; }
    bool HasTargets(int map) const {
        const Map& m = m_Maps[Index(map)];
        return m.pTexture && m.pSurface && m.pDepth;
    }

    Map m_Maps[NUM_MAPS];
    bool m_bActive = false;

  private:
    static int Index(int map) { return map == 0 ? 0 : 1; }
    void ReleaseMap(Map& m);
    void CreateTargets(int map);

    gfx::Surface* m_pKeptTarget = nullptr;
    gfx::Surface* m_pKeptDepth = nullptr;
    gfx::Viewport m_KeptViewport;
};

extern SkyShadowMap g_SkyShadowMap;
