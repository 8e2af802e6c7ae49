// The render occluder, `ERenderOccluder` (global g_RenderOccluder): the GPU
// occlusion test that tells, each frame before the scene, which objects and
// which of their subsets can be seen. It draws every solid subset of the
// static meshes in view, and the skinned meshes in view, into a 256 x 256
// one-channel float target, each pixel receiving the occlusion index of what
// covers it (object table index x 256 + subset; skinned meshes subset 0),
// reads the target back and marks each index found: the object's seen byte
// and its subset-seen byte (`bSeen`, `bSubsetDraw`). The passes draw only
// what is marked.
//
// The target is cleared to -1.0, which no index has, and negative values are
// passed over silently: background pixels mark nothing. Subsets of
// see-through textures (transparent, translucent, additive, stain,
// do_not_render, ray_of_light) are marked without drawing, so they never
// hide anything; objects with flags bit 0x200000 are always fully seen, and
// so is the held weapon model. With RecalculateOccluders off everything
// below the skinned-mesh high-water mark counts as fully seen.
//
// Lifetimes: the target, its depth surface and the system-memory read-back
// surface exist from world open (Init) to world close (Destroy) and are
// dropped and made again around a device reset. The seen table lives with
// the object; it is cleared at each read-back.
//
// Failure policy: a resource that cannot be made is logged and the later
// ones are not made; Render then does nothing and the marks keep their last
// values. A failed read-back or lock is logged and leaves the marks as the
// drawing steps left them (drawn static subsets unseen, see-through subsets
// and always-seen objects seen). A value beyond the table logs
// "Za duzy idx: " with its object number and marks nothing. Main thread only.
#pragma once

#include <cstdint>

namespace gfx {
class Texture;
class Surface;
} // namespace gfx
struct EffectRecord;
struct ObjectRecord;

class ERenderOccluder {
  public:
    static constexpr uint32_t TARGET_SIZE = 256;
    static constexpr uint32_t OBJECT_SLOTS = 3800; // the mesh and skinned-mesh slots
    static constexpr uint32_t SUBSETS = 256;
    static constexpr uint32_t SEEN_TABLE_SIZE = OBJECT_SLOTS * SUBSETS; // 972,800
    // Flags word bit 21: always counted as seen.
    static constexpr uint32_t FLAG_ALWAYS_SEEN = 0x200000;
    // What the target is cleared to: below every index.
    static constexpr float CLEAR_VALUE = -1.0f;

    virtual ~ERenderOccluder() = default;

    // World open and after a device reset / world close and before a reset.
    void Init() { Create(); }
    void Destroy() { Release(); }
    void Create();
    void Release();
    bool IsCreated() const { return m_pTarget && m_pDepthSurface && m_pCalculateSurface; }

    // Once a frame from the renderer's PreRender.
    void Render();
    void RenderMeshes();
    void RenderSkinmeshes();
    void ReadBack();

    // Marks every index found in a read-back image of `width` x `height`
    // floats whose rows lie `pitch` bytes apart, once each (the seen table
    // is cleared first).
    void MarkImage(const void* bits, int32_t pitch, uint32_t width, uint32_t height);
    bool IsIndexMarked(uint32_t index) const { return index < SEEN_TABLE_SIZE && m_bSeenTable[index] != 0; }

    gfx::Texture* m_pTarget = nullptr;
    gfx::Surface* m_pTargetSurface = nullptr;
    gfx::Surface* m_pDepthSurface = nullptr;
    gfx::Surface* m_pCalculateSurface = nullptr;

  private:
    // Sets the seen byte and every subset-seen byte.
    static void MarkFullySeen(ObjectRecord* h);
    void MarkIndex(uint32_t index);

    uint8_t m_bSeenTable[SEEN_TABLE_SIZE] = {};
};

extern ERenderOccluder g_RenderOccluder;
