// The engine's frame timing, its frame and world-start hooks and its device
// and input hooks, as far as the main loop and the frame driver call them.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "app/Console.h"
#include "app/FocusMgr.h"
#include "app/Mouse.h"
#include "app/Options.h"
#include "app/Profiler.h"
#include "app/Timer.h"
#include "game/Menu.h"
#include "world/Engine.h"
#include "world/WorldMgr.h"

bool EEngine::EngineFrameTiming() {
    const double now = DXUtilTimer(TIMER_GETABSOLUTETIME);
    const double dt = now - m_fLastTime;
    if (dt < 0.001) return false;
    float frame = float(std::min(dt, 0.5));
    if (m_bFastForward) frame *= 100.0f;
    m_fLastTime = now;
    m_fFpsAccumulator += frame;
    frame *= GlobalTimeSpeed;
    ++m_dwFpsFrames;
    if (m_fFpsAccumulator > 0.05f) {
        m_fFps = float(m_dwFpsFrames) / m_fFpsAccumulator;
        m_dwFpsFrames = 0;
        m_fFpsAccumulator = 0.0f;
    }
    m_fFrameTime = frame;
    if (m_bWorldTimeRunning) m_fWorldTime += frame;
    return true;
}

bool EEngine::EngineFrame() {
    if (!g_FocusMgr.m_bOnFocus || !m_bInitialized) return false;
    ++m_dwFrameNumber;
    if (Debug > 3) g_Console.PrintInt("*** Klatka: ", int(m_dwFrameNumber));
    if (!g_Console.IsOpen() && !g_Menu.IsOpen() && !m_bKeyboardCreated) CreateKeyboard();
    if (!m_bWorldTimeRunning) {
        m_bWorldTimeRunning = 1;
        m_fWorldTime = 0.0f;
    }
    ProfilerStart(10);
    ProfilerStop(10);
    ProfilerStart(20);
    ProfilerStop(20);
    ProfilerStart(30);
    ProfilerStop(30);
    ProfilerStart(50);
    ProfilerStop(50);
    g_Console.StoreVariable("TotalObjects", float(NumObjects()), 0);
    return true;
}

bool EEngine::StartWorld(const char* name) {
    name = name ? name : "";
    if (Debug > 0) g_Console.Print2("StartWorld ", name);
    m_bWorldShown = 0;
    m_bStartingWorld = 1;
    g_Console.ExecLine("EnableAntialiasing 0");
    char world[sizeof m_szCurrentWorld] = {};
    if (name[0] != '*') std::snprintf(world, sizeof world, "%s", name);
    m_WorldToStart[0] = 0;
    if (m_bWorldLoaded) EndWorld();
    m_bWorldLoaded = 0;
    std::memcpy(m_szCurrentWorld, world, sizeof world);
    m_bWorldTimeRunning = 0;
    if (world[0] && !g_WorldMgr.LoadWorld(world)) {
        m_bStartingWorld = 0;
        return false;
    }
    m_bWorldLoaded = 1;
    m_bWorldRunning = 1;
    m_bWorldShown = 0;
    m_fWorldTime = 0.0f;
    m_dwFrameNumber = 0;
    g_Console.ReapplyVariables();
    if (!m_szCurrentWorld[0]) m_bWorldLoaded = 0;
    m_bStartingWorld = 0;
    return true;
}

void EEngine::EndWorld() {
    if (m_bKeyboardCreated) ReleaseKeyboard();
    DeleteWorldObjects(true);
    m_bWorldLoaded = 0;
}

void EEngine::Init(window::Window* w) {
    m_bInitialized = 1;
    m_hWnd = w;
    DXUtilTimer(TIMER_RESET);
    DXUtilTimer(TIMER_START);
    m_fLastTime = 0.0;
    EngineFrameTiming();
    m_fFrameTime = 0.0f;
    g_Mouse.Init(w);
}

void EEngine::Release() {
    g_Mouse.Release();
    m_bInitialized = 0;
}

void EEngine::PrepareCamera() {}

void EEngine::Render() {}

void EEngine::OnKeyDown(uint32_t key) {
    if (g_Console.IsOpen()) {
        g_Console.OnKey(key);
    } else if (g_Menu.IsOpen()) {
        g_Menu.OnKeyDown(key);
    }
}

void EEngine::OnKeyUp(uint32_t key) {
    if (!g_Console.IsOpen() && g_Menu.IsOpen()) g_Menu.OnKeyUp(key);
}

void EEngine::ReleaseMouse() { g_Mouse.Release(); }

void EEngine::RestoreMouse() { g_Mouse.Init(m_hWnd); }
