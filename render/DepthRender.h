// Cube shadow maps and the water reflection target, `EDepthRender` (global
// g_DepthRender). Only the entry points of the engine frame and the world
// start are here until the targets are built: the slot ageing step, the cube
// depth effect lookup and the per-world destroy.
#pragma once

struct ObjectRecord;

class EDepthRender {
  public:
    static constexpr int MAX_CUBE_SLOTS = 6;
    // A light record takes the first free cube slot (a record of another
    // type is only marked as holding one); every slot is taken: nothing.
    void AssignCubeSlot(ObjectRecord* h);
    // Every slot that holds the record becomes free; it holds none then.
    void ReleaseCubeSlot(ObjectRecord* h);
    ObjectRecord* CubeSlotLight(int slot) const {
        return slot >= 0 && slot < MAX_CUBE_SLOTS ? m_pSlotLights[slot] : nullptr;
    }

    virtual ~EDepthRender() = default;
    // Per engine frame: ages the cube-map slots (none are handed out yet).
    void Update() {}
    // Before the scene: the point lights' cube shadow maps (with "Draw
    // shadows") and the water reflection; after it, the lights in view keep
    // their maps. Each is recorded only until the targets are built.
    void RenderCubeShadows();
    void RenderWaterReflection();
    void MarkVisibleLights();
    // Finds the cube depth effect for the new world.
    void CreateCubeEffect() { m_bEffectReady = true; }
    // Drops the targets and empties every slot (world close): the records
    // the slots held belong to the world that closes.
    void Destroy();
    bool EffectReady() const { return m_bEffectReady; }

  private:
    bool m_bEffectReady = false;
    ObjectRecord* m_pSlotLights[MAX_CUBE_SLOTS] = {};
};

extern EDepthRender g_DepthRender;
