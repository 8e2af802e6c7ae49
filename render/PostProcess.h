// Post-processing of the rendered frame, `EPostProcess` (global
// g_PostProcess). The chain of passes comes with the renderer; this holds the
// values that the console, the world keys and the environment settings write
// into it.
#pragma once

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
};

extern EPostProcess g_PostProcess;
