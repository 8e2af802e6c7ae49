// Grass and flies, `EPlantMgr` (global g_PlantMgr). Only the entry points of
// the engine frame and the world start are here until the grass grid is
// built; with no grid loaded there is nothing to step, draw or free.
#pragma once

class EPlantMgr {
  public:
    virtual ~EPlantMgr() = default;

    void Update() {}
    void Render() {}
    // The world's grass grid is dropped (world close).
    void Release() { m_bLoaded = false; }
    // The grid is read again for the new world (world open).
    void Reset() { m_bLoaded = false; }
    bool IsLoaded() const { return m_bLoaded; }

  private:
    bool m_bLoaded = false;
};

extern EPlantMgr g_PlantMgr;
