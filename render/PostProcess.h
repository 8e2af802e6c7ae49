// Post-processing of the rendered frame, `EPostProcess` (global
// g_PostProcess). The chain of passes comes with the renderer; this holds the
// values that the console, the world keys and the environment settings write
// into it.
#pragma once

#include <cstdint>

struct ObjectRecord;

class EPostProcess {
public:
    virtual ~EPostProcess() = default;

    // The chain's lifecycle: created at world open, its targets released
    // and the chain destroyed at world close.
    void Create() { m_bCreated = true; }
    void Destroy() { m_bCreated = false; }
    void ReleaseTargets() {}
    // Per engine frame: which effects the chain runs (motion blur, black and
    // white, depth of field); nothing to decide until the chain is built.
    void Update() {}
    // Around the world's passes: the scene goes to the chain's target, then
    // the back buffer is put back and the chain draws into it.
    void BeginScene() {}
    void RestoreBackBuffer() {}
    void RenderPostProcess() {}
    // From the renderer: the focus of the depth of field (per update), and
    // the depth and black-and-white targets around their passes. Recorded
    // only until the chain's targets exist.
    void UpdateFocus();
    void BeginDepthScene();
    void EndDepthScene();
    void BeginBWScene();
    void EndBWScene();
    bool m_bCreated = false;

    // Stores the ambient-occlusion depth as given.
    void SetAODepth(float depth) { m_fAODepth = depth; }
    // Stores the ambient-occlusion intensity times 1000.
    void SetAOIntensity(float intensity) { m_fAOIntensity = intensity * 1000.0f; }

    float m_fBloomCone = 0;
    float m_fBloomPower = 0;
    float m_fAODepth = 0;
    float m_fAOIntensity = 0;
    float m_fTargetLuminance = 0.2f;  // the console's "HDRTargetLuminance"

    // The screen-effect switches the world's actions set: forced motion
    // blur, the monochromatic flag, and black-and-white mode with its list of
    // up to 8 objects kept in colour.
    static constexpr uint32_t MAX_BW_OBJECTS = 8;
    // On = 1, hold = the argument.
    void TurnOnBW(bool hold) {
        m_bBWOn = 1;
        m_bBWHold = hold ? 1 : 0;
    }
    // Nothing when on, held and not forced; else on = hold = 0.
    void TurnOffBW(bool force) {
        if (m_bBWOn && m_bBWHold && !force) return;
        m_bBWOn = m_bBWHold = 0;
    }
    // Appends a live object while the list holds fewer than 8.
    void AddObjectToBW(ObjectRecord* h);
    void ClearBWObjects() {
        for (ObjectRecord*& h : m_hBWObjects) h = nullptr;
        m_dwNumBWObjects = 0;
    }
    bool IsObjectInBW(const ObjectRecord* h) const;
    // The depth-of-field strength.
    void SetMaxCoC(float strength) { m_fMaxCoC = strength; }

    uint8_t m_bForcedMotionBlur = 0;
    uint8_t m_bMonochromatic = 0;
    uint8_t m_bBWOn = 0;
    uint8_t m_bBWHold = 0;
    ObjectRecord* m_hBWObjects[MAX_BW_OBJECTS] = {};
    uint32_t m_dwNumBWObjects = 0;
    float m_fMaxCoC = 2.0f;
};

extern EPostProcess g_PostProcess;
