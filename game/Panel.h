// The in-game head-up display: `CPanel` (global g_Panel). Only the soft
// letterbox flag is here until the HUD is built: scripts and the intro set it
// for the cinematic view, and the sound manager keeps voices loud while it is.
#pragma once

class CPanel {
public:
    virtual ~CPanel() = default;

    bool m_bSoftLetterbox = false;
};

extern CPanel g_Panel;
