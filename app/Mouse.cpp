#include "app/Mouse.h"

#include "platform/window/Window.h"

EMouse g_Mouse;

void EMouse::Init(window::Window* w) {
    m_State = {};
    m_pWindow = w;
    if (w) w->SetTimer(0, 2);
}

void EMouse::Release() {
    if (m_pWindow) m_pWindow->KillTimer(0);
    m_pWindow = nullptr;
    m_bReady = false;
    m_State.yaw = m_State.pitch = m_State.wheel = 0;
    for (uint8_t& b : m_State.buttons) b = 0;
    m_State.weightedX = m_State.weightedY = m_State.weightedWheel = 0;
}

void EMouse::Update() {
    if (!m_bReady) return;
}

void CreateDirectInput() {}
