// The render-state cache of the renderer, `ERenderStateCache` (global
// g_RenderStateCache): remembers the culling it set so the device is called
// only on a change.
#pragma once

class ERenderStateCache {
  public:
    virtual ~ERenderStateCache() = default;

    // Counter-clockwise culling, set unconditionally; culling marked on.
    void ResetCullMode();
    // On: counter-clockwise back-face culling; off: none. Calls the device
    // only when the cached state differs.
    void SetCullMode(bool on);

    bool m_bCullOn = false;
};

extern ERenderStateCache g_RenderStateCache;
