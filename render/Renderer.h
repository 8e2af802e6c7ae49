// The scene renderer, `ERenderer` (global g_Renderer). Only the per-frame
// preparation that the frame driver calls is here until the renderer is built.
#pragma once

class ERenderer {
public:
    virtual ~ERenderer() = default;

    // Work before the scene (shadow maps, water reflection, occluder).
    void PreRender() {}
};

extern ERenderer g_Renderer;
