// The mouse, `EMouse` (global g_Mouse): read in buffered mode on the
// window's 2 ms timer, turned into accumulated yaw and pitch angles and a
// wheel value that the player's view uses, with the four button states;
// buttons 0-2 are mirrored into the command manager's key states (256-258)
// so that they can be bound to commands.
//
// The state block is one piece (88 bytes: four button bytes, then doubles)
// that focus changes, the menu and save games store and restore whole.
//
// Failure policy: a mouse that cannot be made stays off silently; a failed
// read drops that update's events and re-acquires the device a bounded
// number of times. Main thread only.
#pragma once

#include <cstdint>

#include "app/Input.h"
#include "platform/input/Input.h"

namespace window {
class Window;
}

// What the game tells the mouse in one update: the gates and the weights of
// the view.
struct MouseFrame {
    bool bMenuOpen = false;
    bool bLoadingActive = false;
    int32_t iLevelFrame = 0;
    int32_t iFramesSinceCinematic = 0; // frames since the wide-screen view last ended
    float fZoom = 0;                   // the weapon's zoom value
    bool bZoomDoubled = false;         // the held model's state that doubles the zoom's weight
    bool bWeaponView = false;          // the weapon layer's view flag
    bool bCameraHold = false;          // the player or weapon code holds the camera
    bool bWideScreen = false;
    float fWideScreenFade = 0;
    int32_t iDifficulty = 1;
    bool bInvert = false;
    float fSensitivity = 0.3f;
};

class EMouse {
  public:
    static constexpr uint32_t BUFFER_SIZE = 1024;
    // Acquire calls after a failed read while the device answers InputLost.
    static constexpr uint32_t MAX_ACQUIRE_TRIES = 8;
    static constexpr double MAX_PITCH = 1.5358898639678955; // 88 degrees

    EMouse() = default;
    virtual ~EMouse();
    EMouse(const EMouse&) = delete;
    EMouse& operator=(const EMouse&) = delete;

    // Clears the state and releases an old device; with the input interface,
    // makes the mouse on the window and starts the 2 ms timer.
    void Init(window::Window* w);
    // Stops the timer and frees the device; clears yaw, pitch, wheel, the
    // buttons and the weighted values.
    void Release();
    // One timer tick (nothing unless the device is ready and the focus
    // manager has started).
    void Update();
    void StoreState() { m_Saved = m_State; }
    void RestoreState() { m_State = m_Saved; }

    // Steps 4-10 of an update over events already read.
    void ApplyEvents(const input::MouseEvent* events, uint32_t count, const MouseFrame& frame);
    // Acquires the device again after a failed read; the number of calls made.
    uint32_t Reacquire();

    struct State {
        uint8_t buttons[4] = {};
        double yaw = 0, pitch = 0, wheel = 0; // radians, accumulated
        double rawX = 0, rawY = 0, rawWheel = 0;
        double weightedX = 0, weightedY = 0, weightedWheel = 0; // this update's
        double constant = 0.005;
    };
    static_assert(sizeof(State) == 88, "the state block is saved whole");

    input::Device* m_pDevice = nullptr;
    bool m_bReady = false;
    window::Window* m_pWindow = nullptr;
    State m_State;
    State m_Saved;

  private:
    input::MouseEvent m_Events[BUFFER_SIZE];
};

extern EMouse g_Mouse;

// The game's gates and weights for this update, read from their owners.
MouseFrame GatherMouseFrame();
