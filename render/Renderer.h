// The scene renderer, `ERenderer` (global g_Renderer). Only the per-frame
// preparation that the frame driver calls is here until the renderer is built.
#pragma once

class ERenderer {
public:
    virtual ~ERenderer() = default;

    // Work before the scene (shadow maps, water reflection, occluder).
    void PreRender() {}
    // The engine frame's step and the scene render (no passes exist yet).
    void Update() {}
    void Render() {}
    // The texture registry is made at engine start.
    void Init() {}
    // Per world: the render lists are made and dropped.
    void InitWorld() { m_bWorldReady = true; }
    void EndWorld() { m_bWorldReady = false; }
    bool m_bWorldReady = false;
};

extern ERenderer g_Renderer;
