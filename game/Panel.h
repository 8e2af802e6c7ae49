// The in-game head-up display: `CPanel` (global g_Panel). Only the soft
// letterbox flag is here until the HUD is built: scripts and the intro set it
// for the cinematic view, and the sound manager keeps voices loud while it is.
#pragma once

#include <cstdint>

class CPanel {
public:
    virtual ~CPanel() = default;

    bool m_bSoftLetterbox = false;
    // The wide-screen view's fade (0 none .. 1 full); the mouse holds the
    // view still above 0.3.
    float m_fWideScreenFade = 0;

    // A camera cut: the screen fades through black (fade state 3).
    void StartCutFade() { m_dwFadeState = 3; }
    uint32_t m_dwFadeState = 0;
};

extern CPanel g_Panel;
