// Cube shadow maps and the water reflection target, `EDepthRender` (global
// g_DepthRender). Only the entry points of the engine frame and the world
// start are here until the targets are built: the slot ageing step, the cube
// depth effect lookup and the per-world destroy.
#pragma once

class EDepthRender {
  public:
    virtual ~EDepthRender() = default;
    // Per engine frame: ages the cube-map slots (none are handed out yet).
    void Update() {}
    // Finds the cube depth effect for the new world.
    void CreateCubeEffect() { m_bEffectReady = true; }
    // Drops the targets and the slots (world close).
    void Destroy() { m_bEffectReady = false; }
    bool EffectReady() const { return m_bEffectReady; }

  private:
    bool m_bEffectReady = false;
};

extern EDepthRender g_DepthRender;
