#include "game/MainGame.h"

#include <cstdio>

#include "actors/Player.h"
#include "app/CommandMgr.h"
#include "app/Debug.h"
#include "app/FileHelpers.h"
#include "app/Options.h"
#include "app/Profiler.h"
#include "game/CutScene.h"
#include "game/GameAI.h"
#include "game/InputFileRecord.h"
#include "game/Intro.h"
#include "game/LoadScreen.h"
#include "game/Menu.h"
#include "render/ObjectSlots22.h"
#include "sound/MusicDirector.h"
#include "sound/SoundMgr.h"
#include "world/BezierCamera.h"
#include "world/Camera.h"
#include "world/Engine.h"
#include "world/ObeCamera.h"

CMainGame g_MainGame;
bool IntroWorldRunning = false;

void CMainGame::StartUp() {
    g_CommandMgr.SetDefaults();
    g_CommandMgr.LoadKeys();
    m_bStartedUp = true;
    // Far below any world: nothing is heard before a world runs.
    const float farBelow[3] = {0.0f, -1e8f, 0.0f};
    g_SoundMgr.SetListenerPosition(farBelow);
    // The first world, unless the start menu opens instead.
    if (!StartMenu && WorldFileName[0]) g_Engine.SetWorldToStart(WorldFileName);
}

void CMainGame::EarlyPlayerUpdate() {
    g_Player.UpdateView();
}

// The per-world hooks run the modules that exist, in the game frame's order.
void CMainGame::Init() {
    m_szEndSequence[0] = 0;
    g_GameAI.UnsetVariable("sniper_view", nullptr);
    g_GameAI.UnsetVariable("lornetka", nullptr);
    g_GameAI.UnsetVariable("credits", nullptr);
    CurrentFOV = FOV;
    g_Camera.m_fFovFactor = 1.0f;
    DrawWater = true;
    IntroWorldRunning = StrCmpNoCase(g_Engine.m_szCurrentWorld, "worlds\\intro.w") == 0;
    if (IntroWorldRunning) g_bLongFrameTimeClamp = true;
    g_MusicDirector.Init();
    g_ObjectSlots22.Init();
    g_ObeCamera.Init();
    m_iLevelFrame = 0;
    m_dwGameFrames = 0;
    m_bHoldSkinMeshes = 0;
    g_InputFileRecord.Reset();
}

void CMainGame::Destroy() {
    g_bLongFrameTimeClamp = false;
    m_szEndSequence[0] = 0;
    g_MusicDirector.Destroy();
    g_ObjectSlots22.Clear();
    g_ObjectSlots22.Destroy();
    if (g_BezierCamera.m_bActive) g_BezierCamera.Destroy();
    g_InputFileRecord.Release();
    g_GameAI.ResetVariables();
    PlayMusic(nullptr, false);
    g_ObeCamera.Destroy();
    m_iLevelFrame = 0;
    IntroWorldRunning = false;
    g_GameAI.UnsetVariable("credits", nullptr);
}

void CMainGame::PlayMusic(const char* name, bool loop) {
    m_szMusic[0] = 0;
    g_MusicDirector.PlayMusic(name, loop, loop);
}

void CMainGame::Update() {
    m_fFrameTime = g_Engine.m_fFrameTime;
    ++m_iFramesSinceCinematic;
    ++m_dwGameFrames;
    if (g_Engine.m_bWorldLoaded) ++m_iLevelFrame;
    if (g_Engine.m_bWorldLoaded) g_MusicDirector.Update();
    g_ObjectSlots22.Update();
    if (!UpdateCameras()) return;
    // Last in the frame: 3D volumes follow this frame's listener, finished
    // one-shots go.
    ProfilerStart(prof::SoundMgrUpdate);
    g_SoundMgr.Update();
    ProfilerStop(prof::SoundMgrUpdate);
}

void CMainGame::SetEndSequence(const char* name) {
    std::snprintf(m_szEndSequence, sizeof m_szEndSequence, "%s", name ? name : "");
}

void CMainGame::Render() {
    if (!m_bStartedUp) return;
    // Debug overlays, each while its console variable is set.
    if (PrintPolygonCount) g_Debug.DrawPolygonStats();
    if (DebugPerformance) g_Debug.DrawPerformance();
    if (DebugLights) g_Debug.DrawRenderCounts();
    if (DebugVM) g_Debug.DrawVideoMemoryReport();
}

bool CMainGame::UpdateCameras() {
    // The menu and the loading screen hold the game: its cameras stand still.
    if (g_Menu.IsOpen() || g_LoadScreen.IsActive()) return false;
    const float dt = float(m_fFrameTime);
    // The Bezier camera holds the frame: only it (with the characters and
    // effects of its frame) runs, and the rest of the update waits.
    if (g_BezierCamera.m_bActive) {
        g_BezierCamera.Update(dt);
        return false;
    }
    if (!g_Engine.m_bWorldRunning) return true;
    // Shakes, sniper zoom, projection and the sound listener.
    ProfilerStart(prof::CameraUpdate);
    g_Camera.Update(dt);
    ProfilerStop(prof::CameraUpdate);
    // The player's stage: while the follow (OBE) camera runs it takes the
    // player's turn, as long as the player may act at all.
    if (m_iLevelFrame > 150) {
        ProfilerStart(prof::PlayerUpdate);
        const bool playerActs =
            !g_CutScene.IsRunning() && !PlayerDead && !MissionFailed && !g_Intro.m_bActive;
        if (playerActs && g_ObeCamera.IsRunning()) g_ObeCamera.Update(dt);
        ProfilerStop(prof::PlayerUpdate);
    }
    return true;
}
