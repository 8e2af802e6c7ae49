// The off-screen depth targets, `EDepthRender` (global g_DepthRender): up to
// six cube shadow maps for the point lights that cast shadows, and the water
// reflection target.
//
// Slots: at world start `Init` counts the world's shadow-casting lights (at
// most six) and that count of slots exists for the whole world. The
// behaviour layer's slot pass hands slots to the nearest such lights
// (`AssignCubeSlot`) and takes them back (`ReleaseCubeSlot`), as do object
// deletion and hidden sectors. A slot ages every engine frame; the scene
// render's end-of-frame step (`MarkVisibleLights`) renews the slots whose
// lights were drawn, and one left unrenewed for more than a second is given
// back. Before the scene (`RenderCubeShadows`) a slot whose light is near,
// visible and not yet rendered gets its six faces rendered with the
// "CubeDepth" effect: each face is cleared and set up with the light's view
// of that face; no geometry is drawn, and no pass samples the cube maps
// (the light passes read only their size, `ShadowResolution`).
//
// Lifetimes: the cube targets (R32F render-target cubes with their full mip
// chain, each with a D24X8 depth surface) exist while the video option
// "Draw point lights shadows" (OptionMV01) is on; they and the water target
// (one level of the back buffer's format, with its own depth surface) are
// made by `Init` and after a device reset, and released at world end and
// before a reset (the "DepthTargets" device hook). Slots, rendered marks and
// sizes survive a reset. Creations and releases are measured as video-memory
// section 2.
//
// Failure policy: without the "CubeDepth" effect the world runs without cube
// maps and without a water target ("No CubeDepth effect") until a device
// reset makes them; a target that cannot be made prints its line and its
// slot is never rendered ("SetShadowPass failed: 0"). Main thread only.
#pragma once

#include <cstdint>

#include "platform/gfx/Types.h"
#include "platform/math/Types.h"

namespace gfx {
class CubeTexture;
class Texture;
class Surface;
} // namespace gfx
namespace effect {
class Effect;
}
struct EffectRecord;
struct ObjectRecord;

class EDepthRender {
  public:
    static constexpr int MAX_CUBE_SLOTS = 6;
    static constexpr float NEAR_PLANE = 0.1f;
    static constexpr float Z_BIAS = 4.5f;
    // A slot is given back when its light was not drawn for longer than this.
    static constexpr float SLOT_TIMEOUT = 1.0f;
    // A light is rendered while its distance term is below the larger of
    // three times its range and this.
    static constexpr int MIN_RENDER_DISTANCE = 2048;
    // The face views' mip level; always 0.
    static constexpr uint32_t RENDER_LEVEL = 0;
    static constexpr uint32_t VIDEO_MEMORY_SECTION = 2;
    // Levels of the viewport table: one per mip level of the largest cube.
    static constexpr uint32_t MAX_LEVELS = 10;

    virtual ~EDepthRender() = default;

    // ---- World and device lifecycle ----------------------------------------
    // World start: the slot count, the cube size by ShadowMapLevel, the
    // effect's epsilons, the targets; every slot empty.
    void Init();
    // World end: the water target, then the cube targets.
    void Destroy();
    void OnLostDevice();
    void OnResetDevice();

    // ---- Slots -----------------------------------------------------------------
    // A light record takes the first free slot below the count (a lit record
    // of another type is only marked as holding one); every slot taken:
    // nothing.
    void AssignCubeSlot(ObjectRecord* h);
    // Every slot that holds the record becomes free; it holds none then.
    void ReleaseCubeSlot(ObjectRecord* h);
    ObjectRecord* CubeSlotLight(int slot) const {
        return slot >= 0 && slot < MAX_CUBE_SLOTS ? m_pSlotLights[slot] : nullptr;
    }
    float CubeSlotTimer(int slot) const {
        return slot >= 0 && slot < MAX_CUBE_SLOTS ? m_fSlotTimers[slot] : 0.0f;
    }
    uint32_t SlotCount() const { return m_dwSlotCount; }

    // ---- Frame -------------------------------------------------------------------
    // Per engine frame: ages the slots and gives back those left too long.
    void Update();
    // Before the scene (with "Draw shadows", outside the fastest and the
    // shader-model-2 pipelines): renders the slots whose lights need it.
    void RenderCubeShadows();
    // The world mirrored in the horizontal plane through the object named
    // "water", drawn into the water target ("No water object!" without one,
    // nothing without the target).
    void RenderWaterReflection();
    // The static and the skinned meshes of the reflection with the given
    // matrices (null: the camera's), culling clockwise.
    void RenderReflectionMeshes(const math::Matrix* view, const math::Matrix* projection);
    void RenderReflectionSkinmeshes(const math::Matrix* view, const math::Matrix* projection);
    // The mirrored view: the reflection in the horizontal plane through the
    // water's position, then the camera's view.
    static math::Matrix ReflectionView(const math::Vec3& waterPosition, const math::Matrix& view);
    // After the scene: the slots of the lights drawn this frame are renewed.
    void MarkVisibleLights();
    // The six faces of a slot, cleared, each begun and ended with the
    // shadow techniques.
    void RenderCubeShadowMap(int slot);
    // The menu sets it when a shadow option changes: every slot is rendered
    // again before the next scene.
    void ForceRender() { m_bForceRender = 1; }

    // ---- Steps -------------------------------------------------------------------
    void SaveTargets();
    void RestoreTargets();
    void CreateCubeTarget(int slot);
    void CreateCubeTargets();
    void ReleaseCubeTargets();
    void CreateWaterTarget();
    void ReleaseWaterTarget();
    void ClearCubeFaces(uint32_t flags, uint32_t colour, float depth, int slot);
    gfx::Result BeginCubeFace(uint32_t face, int slot);
    // The view of a cube face from the origin (Direct3D's face order);
    // false for a face above 5.
    static bool GetCubeFaceView(uint32_t face, math::Matrix* out);

    // ---- Sizes -------------------------------------------------------------------
    uint32_t SizeExponent() const { return m_dwSizeExponent; }
    uint32_t CubeSize() const { return m_dwCubeSize; }
    // What the light passes upload as "cShadowResolution": (r, 1 / r, 0, 0)
    // with r = 1 shifted left by (exponent - render level).
    math::Vec4 ShadowResolution() const;
    const gfx::Viewport& LevelViewport(uint32_t level) const {
        return m_Viewports[level < MAX_LEVELS ? level : 0];
    }

    // ---- Targets (read by tests and by the water pass) ----------------------
    gfx::CubeTexture* CubeTexture(int slot) const {
        return slot >= 0 && slot < MAX_CUBE_SLOTS ? m_pCubeTextures[slot] : nullptr;
    }
    gfx::Surface* CubeDepth(int slot) const {
        return slot >= 0 && slot < MAX_CUBE_SLOTS ? m_pCubeDepths[slot] : nullptr;
    }
    gfx::Texture* WaterTexture() const { return m_pWaterTexture; }
    gfx::Surface* WaterDepth() const { return m_pWaterDepth; }
    const gfx::Viewport& WaterViewport() const { return m_WaterViewport; }

  private:
    void EmptySlots();
    effect::Effect* CubeEffect() const;

    EffectRecord* m_pCubeDepth = nullptr;
    float m_fSlotZBias[MAX_CUBE_SLOTS] = {Z_BIAS, Z_BIAS, Z_BIAS, Z_BIAS, Z_BIAS, Z_BIAS};
    uint32_t m_dwSlotCount = 0;
    uint8_t m_bForceRender = 0;
    uint32_t m_dwSizeExponent = 9;
    uint32_t m_dwCubeSize = 512;
    gfx::CubeTexture* m_pCubeTextures[MAX_CUBE_SLOTS] = {};
    gfx::Surface* m_pFaceSurface = nullptr; // the face drawn into, released before the next is taken
    gfx::Surface* m_pCubeDepths[MAX_CUBE_SLOTS] = {};
    float m_fClearDepth = 1.0f;
    gfx::Viewport m_Viewports[MAX_LEVELS] = {};
    ObjectRecord* m_pSlotLights[MAX_CUBE_SLOTS] = {};
    float m_fSlotTimers[MAX_CUBE_SLOTS] = {};
    gfx::Texture* m_pWaterTexture = nullptr;
    gfx::Surface* m_pWaterDepth = nullptr;
    gfx::Surface* m_pWaterSurface = nullptr; // level 0 of the water texture, taken at the first reflection
    gfx::Viewport m_WaterViewport = {};
    gfx::Surface* m_pKeptTarget = nullptr;
    gfx::Surface* m_pKeptDepth = nullptr;
    gfx::Viewport m_KeptViewport = {};
};

extern EDepthRender g_DepthRender;
