// The automap, `PAutoMap` (global g_AutoMap): the map target drawn from
// above. Only the per-world create and release are here until it is built.
#pragma once

class PAutoMap {
  public:
    virtual ~PAutoMap() = default;
    void Create() { m_bCreated = true; }
    void Release() { m_bCreated = false; }
    bool IsCreated() const { return m_bCreated; }
    // The map's drawing before the scene, from the renderer's pre-render
    // (recorded only until the map is drawn).
    void PreRender();

  private:
    bool m_bCreated = false;
};

extern PAutoMap g_AutoMap;
