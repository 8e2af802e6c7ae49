// The in-game head-up display: `CPanel` (global g_Panel). Only the soft
// letterbox flag is here until the HUD is built: scripts and the intro set it
// for the cinematic view, and the sound manager keeps voices loud while it is.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/math/Types.h"

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

    // What the world's actions ask of the HUD (its drawing comes with the
    // HUD): fades over seconds (ignored when not above 0), the short cut
    // fade, the letterbox and blackout, a blur, the use hint, messages and
    // the waypoint highlight.
    void FadeIn(float seconds) {
        if (seconds > 0.0f) m_fFadeIn = seconds;
    }
    void FadeOut(float seconds) {
        if (seconds > 0.0f) m_fFadeOut = seconds;
    }
    void StartShortCutFade() { ++m_dwShortCutFades; }
    void AddMessage(const char* text) { m_Messages.emplace_back(text ? text : ""); }
    void HighlightWaypoint() { ++m_dwWaypointHighlights; }
    float m_fFadeIn = 0;
    float m_fFadeOut = 0;
    uint32_t m_dwShortCutFades = 0;
    bool m_bPanoramic = false; // the letterbox of cinematic views
    bool m_bNextFlag = false;  // the flag after the letterbox: no screen shake while set
    bool m_bBlackout = false;
    float m_fBlur = 0;
    bool m_bUsableObject = false; // a usable object is near: the use hint shows at its position
    // The player's hints under the crosshair: the use hint's can-run state
    // of the object looked at (0 none, 1 ready, 2 waiting), cleared each frame.
    int32_t m_iUseHint = 0;
    // The fade to black (0 none .. 1 black); the player takes no movement
    // input above one half.
    float m_fFade = 0;
    math::Vec3 m_vUsableObjectPosition;
    std::vector<std::string> m_Messages;
    uint32_t m_dwWaypointHighlights = 0;
};

extern CPanel g_Panel;
