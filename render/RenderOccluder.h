// The render occluder, `ERenderOccluder` (global g_RenderOccluder): the GPU
// occlusion test that marks objects seen. Only the per-world create and
// release are here until the occlusion test is built.
#pragma once

class ERenderOccluder {
  public:
    virtual ~ERenderOccluder() = default;
    void Create() { m_bCreated = true; }
    void Release() { m_bCreated = false; }
    bool IsCreated() const { return m_bCreated; }

  private:
    bool m_bCreated = false;
};

extern ERenderOccluder g_RenderOccluder;
