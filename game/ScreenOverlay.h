// The screen overlay, `ScreenOverlay` (global g_ScreenOverlay): a per-frame
// value that the game update leaves and the main loop clears.
#pragma once

class ScreenOverlay {
  public:
    virtual ~ScreenOverlay() = default;

    void ResetFrame() { m_fFrameValue = 0.0f; }
    // Per world: nothing is shown over the screen after a world change.
    void Clear() { m_fFrameValue = 0.0f; }
    void Init() { m_fFrameValue = 0.0f; }

    float m_fFrameValue = 0.0f;
};

extern ScreenOverlay g_ScreenOverlay;
