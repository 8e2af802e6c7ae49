// The mouse, `EMouse` (global g_Mouse): read on the window's 2 ms timer,
// turned into view angles, wheel and button states. Only the members that the
// window procedure and the focus manager call are here until the input
// devices are built: the timer, the state block and its saved copy.
#pragma once

#include <cstdint>

namespace window {
class Window;
}

class EMouse {
public:
    virtual ~EMouse() = default;

    // Clears the state and starts the 2 ms timer on the window.
    void Init(window::Window* w);
    // Stops the timer and clears the state.
    void Release();
    // One timer tick: nothing while no mouse device is ready.
    void Update();
    void StoreState() { m_Saved = m_State; }
    void RestoreState() { m_State = m_Saved; }

    struct State {
        uint8_t buttons[4] = {};
        double yaw = 0, pitch = 0, wheel = 0;
        double rawX = 0, rawY = 0, rawWheel = 0;
        double weightedX = 0, weightedY = 0, weightedWheel = 0;
        double constant = 0.005;
    };
    State m_State;
    State m_Saved;
    bool m_bReady = false;
    window::Window* m_pWindow = nullptr;
};

extern EMouse g_Mouse;

// The input interface the keyboard and the mouse come from, made once at
// start-up. Until the input devices are built there is none, and keyboard
// and mouse stay off.
void CreateDirectInput();
