#include "game/MainGame.h"

#include "app/CommandMgr.h"
#include "app/Debug.h"
#include "world/Engine.h"
#include "actors/Player.h"
#include "app/FileHelpers.h"
#include "app/Options.h"
#include "game/GameAI.h"
#include "world/BezierCamera.h"
#include "world/Camera.h"
#include "world/ObeCamera.h"

CMainGame g_MainGame;

void CMainGame::StartUp() {
    g_CommandMgr.SetDefaults();
    g_CommandMgr.LoadKeys();
    m_bStartedUp = true;
    // The first world, unless the start menu opens instead.
    if (!StartMenu && WorldFileName[0]) g_Engine.SetWorldToStart(WorldFileName);
}

void CMainGame::EarlyPlayerUpdate() { g_Player.UpdateView(); }

void CMainGame::Init() {
    g_GameAI.UnsetVariable("sniper_view", nullptr);
    g_GameAI.UnsetVariable("lornetka", nullptr);
    g_GameAI.UnsetVariable("credits", nullptr);
    CurrentFOV = FOV;
    g_Camera.m_fFovFactor = 1.0f;
    DrawWater = true;
    if (StrCmpNoCase(g_Engine.m_szCurrentWorld, "worlds\\intro.w") == 0) g_bLongFrameTimeClamp = true;
    g_ObeCamera.Init();
    m_iLevelFrame = 0;
}

void CMainGame::Destroy() {
    g_bLongFrameTimeClamp = false;
    if (g_BezierCamera.m_bActive) g_BezierCamera.Destroy();
    g_GameAI.ResetVariables();
    g_ObeCamera.Destroy();
    m_iLevelFrame = 0;
    g_GameAI.UnsetVariable("credits", nullptr);
}

void CMainGame::Update() {
    ++m_iFramesSinceCinematic;
    if (g_Engine.m_bWorldLoaded) ++m_iLevelFrame;
}

void CMainGame::Render() {
    if (!m_bStartedUp) return;
    // Debug overlays, each while its console variable is set.
    if (PrintPolygonCount) g_Debug.DrawPolygonStats();
    if (DebugPerformance) g_Debug.DrawPerformance();
    if (DebugLights) g_Debug.DrawRenderCounts();
    if (DebugVM) g_Debug.DrawVideoMemoryReport();
}
