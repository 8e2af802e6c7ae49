// The shared skinned-mesh models, `ESkinMeshMgr` (global g_SkinMeshMgr): the
// loaded bases that skinned-mesh instances share by reference count. Only the
// engine's start and release entry points are here until the bases are
// built; until then every instance reads its own model.
#pragma once

class ESkinMeshMgr {
  public:
    virtual ~ESkinMeshMgr() = default;
    void Init() { m_bReady = true; }
    // Frees every shared base (engine release).
    void Release() { m_bReady = false; }
    bool IsReady() const { return m_bReady; }

  private:
    bool m_bReady = false;
};

extern ESkinMeshMgr g_SkinMeshMgr;
