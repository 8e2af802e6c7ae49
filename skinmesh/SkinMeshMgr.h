// The shared skinned-mesh models, `ESkinMeshMgr` (global g_SkinMeshMgr): the
// loaded bases that skinned-mesh instances share by reference count. Only the
// engine's start and release entry points are here until the bases are
// built; until then every instance reads its own model, and only the count
// of instances per model is kept.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class ESkinMeshMgr {
  public:
    virtual ~ESkinMeshMgr() = default;
    void Init() { m_bReady = true; }
    // Frees every shared base (engine release).
    void Release() {
        m_bReady = false;
        m_Instances.clear();
    }
    bool IsReady() const { return m_bReady; }
    // Counts the instances made of one model (the per-base counter that
    // hands out texture substitutes): 0 for the first.
    uint32_t NextInstance(const char* modelFile);

    // Statistics kept by the animation reader: bytes of tracks, times and
    // keys of every loaded animation, and their number.
    uint32_t m_dwAnimationBytes = 0;
    uint32_t m_dwNumAnimations = 0;

  private:
    bool m_bReady = false;
    struct Base {
        std::string file;
        uint32_t instances = 0;
    };
    std::vector<Base> m_Instances;
};

extern ESkinMeshMgr g_SkinMeshMgr;
