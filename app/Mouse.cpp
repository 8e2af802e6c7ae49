#include "app/Mouse.h"

#include <algorithm>

#include "app/CommandMgr.h"
#include "app/FocusMgr.h"
#include "app/GameFrame.h"
#include "app/Options.h"
#include "platform/os/Number.h"
#include "platform/window/Window.h"

EMouse g_Mouse;

namespace {

// The level frames at which the mouse starts to count: buttons from 150,
// turning the view from 200.
constexpr int32_t kButtonsFromFrame = 150;
constexpr int32_t kViewFromFrame = 200;
constexpr int32_t kFramesAfterCinematic = 5;
// A greater sensitivity turns the view by more than a radian per count.
constexpr float kMaxSensitivity = 100.0f;

} // namespace

MouseFrame GatherMouseFrame() {
    MouseFrame f;
    TheGameFrame().FillMouseFrame(f);
    f.bWideScreen = WideScreen;
    f.iDifficulty = Difficulty;
    f.bInvert = InvertMouse;
    f.fSensitivity = MouseSensitivity;
    return f;
}

EMouse::~EMouse() {
    if (m_pDevice) m_pDevice->Release();
    m_pDevice = nullptr;
}

void EMouse::Init(window::Window* w) {
    m_State = {};
    if (m_pDevice) {
        m_pDevice->Unacquire();
        m_pDevice->Release();
        m_pDevice = nullptr;
    }
    m_bReady = false;
    if (!g_pDirectInput || !w) return;
    m_pWindow = w;
    input::Device* d = nullptr;
    if (g_pDirectInput->CreateDevice(input::DeviceKind::Mouse, &d) != input::Result::Ok || !d) return;
    m_pDevice = d;
    if (d->SetDataFormat(input::DataFormat::Mouse2) != input::Result::Ok) return;
    if (d->SetCooperativeLevel(w, input::coop::Exclusive | input::coop::Foreground) != input::Result::Ok)
        return;
    if (d->SetBufferSize(BUFFER_SIZE) != input::Result::Ok) return;
    // A window without the focus is fine: the device starts delivering when
    // it gets the focus.
    const input::Result r = d->Acquire();
    if (r != input::Result::Ok && r != input::Result::OtherAppHasPrio) return;
    w->SetTimer(0, 2);
    m_bReady = true;
}

void EMouse::Release() {
    if (m_pWindow) m_pWindow->KillTimer(0);
    if (m_pDevice) {
        m_pDevice->Unacquire();
        m_pDevice->Release();
        m_pDevice = nullptr;
    }
    m_bReady = false;
    m_State.yaw = m_State.pitch = m_State.wheel = 0;
    std::fill(std::begin(m_State.buttons), std::end(m_State.buttons), 0);
    m_State.weightedX = m_State.weightedY = m_State.weightedWheel = 0;
}

uint32_t EMouse::Reacquire() {
    if (!m_pDevice) return 0;
    uint32_t calls = 1;
    input::Result r = m_pDevice->Acquire();
    while (r == input::Result::InputLost && calls < MAX_ACQUIRE_TRIES) {
        r = m_pDevice->Acquire();
        ++calls;
    }
    return calls;
}

void EMouse::Update() {
    if (!m_bReady || !m_pDevice || !g_FocusMgr.m_bStarted) return;
    // The options file may hold any value: not a number counts as the least.
    MouseSensitivity = os::ClampFloat(MouseSensitivity, 0.01f, kMaxSensitivity);
    m_State.weightedX = m_State.weightedY = m_State.weightedWheel = 0;
    uint32_t count = BUFFER_SIZE;
    if (m_pDevice->GetDeviceData(m_Events, &count) != input::Result::Ok) {
        Reacquire();
        return;
    }
    ApplyEvents(m_Events, count, GatherMouseFrame());
}

void EMouse::ApplyEvents(const input::MouseEvent* events, uint32_t count, const MouseFrame& f) {
    State& s = m_State;
    const bool inPlay = !f.bMenuOpen && !f.bLoadingActive;
    if (inPlay && f.iLevelFrame < kButtonsFromFrame) {
        std::fill(std::begin(s.buttons), std::end(s.buttons), 0);
        for (uint32_t b = 0; b < 3; ++b)
            g_CommandMgr.SetMouseButtonState(b, false);
        return;
    }

    const double sensitivity = f.fSensitivity;
    double zoom = f.bMenuOpen ? 0.0 : 2.0 * f.fZoom;
    if (f.bZoomDoubled) zoom *= 2.0;
    const double divisor = 1.0 + zoom + (f.bWeaponView ? 2.0 : 0.0);
    const bool afterCinematic = !f.bMenuOpen && f.iFramesSinceCinematic < kFramesAfterCinematic;

    for (uint32_t i = 0; i < count; ++i) {
        const input::MouseEvent& e = events[i];
        const double d = e.data;
        switch (e.offset) {
        case input::mouseofs::X:
            s.weightedX += d / divisor;
            s.rawX += d * sensitivity * 0.01;
            break;
        case input::mouseofs::Y: {
            const double factor = (!f.bMenuOpen && f.iDifficulty == 0) ? 1.0 : 2.0;
            if (f.bInvert && !f.bMenuOpen) {
                s.weightedY -= factor * d / divisor;
            } else {
                s.weightedY += factor * d / divisor;
            }
            s.rawY += d * sensitivity * 0.01;
            if (afterCinematic) s.weightedY = s.pitch = s.rawY = 0;
            break;
        }
        case input::mouseofs::Z:
            s.weightedWheel += d;
            s.rawWheel += d * sensitivity * 0.01;
            break;
        case input::mouseofs::Button0:
        case input::mouseofs::Button1:
        case input::mouseofs::Button2: {
            const uint32_t b = e.offset - input::mouseofs::Button0;
            const bool down = (e.data & 0xFF) >= 128;
            s.buttons[b] = down ? 1 : 0;
            g_CommandMgr.SetMouseButtonState(b, down);
            break;
        }
        case input::mouseofs::Button3:
            s.buttons[3] = (e.data & 0xFF) >= 128 ? 1 : 0;
            break;
        default:
            break;
        }
    }

    if (inPlay && !f.bCameraHold &&
        (f.iLevelFrame < kViewFromFrame || f.bWideScreen || f.fWideScreenFade > 0.3f)) {
        s.weightedX = s.weightedY = s.weightedWheel = 0;
    }
    const double scale = 0.01 * sensitivity;
    s.yaw += s.weightedX * scale;
    s.pitch += s.weightedY * scale;
    s.wheel += s.weightedWheel * scale;
    if (inPlay) s.pitch = std::clamp(s.pitch, -MAX_PITCH, MAX_PITCH);
    if (inPlay && f.iFramesSinceCinematic < kFramesAfterCinematic) s.weightedY = s.pitch = s.rawY = 0;
}
