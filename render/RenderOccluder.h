// The render occluder, `ERenderOccluder` (global g_RenderOccluder): the GPU
// occlusion test that marks objects seen. Until the test is built, the
// per-world create and release are here, and the frame's test counts every
// mesh and skinned mesh as seen, whole, as the test does while it is not
// recalculated.
#pragma once

class ERenderOccluder {
  public:
    virtual ~ERenderOccluder() = default;
    void Create() { m_bCreated = true; }
    void Release() { m_bCreated = false; }
    bool IsCreated() const { return m_bCreated; }
    // Once a frame before the scene: the seen byte and the 256 subset-seen
    // bytes of every mesh and skinned-mesh slot in use.
    void Render();

  private:
    bool m_bCreated = false;
};

extern ERenderOccluder g_RenderOccluder;
