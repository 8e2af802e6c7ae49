#include "game/MainGame.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "actors/player/Player.h"
#include "actors/PostacMgr.h"
#include "app/CommandMgr.h"
#include "app/Console.h"
#include "app/Debug.h"
#include "app/FileHelpers.h"
#include "app/Options.h"
#include "app/Profiler.h"
#include "app/StartTimes.h"
#include "game/GameAI.h"
#include "game/InputFileRecord.h"
#include "game/LoadScreen.h"
#include "game/Menu.h"
#include "physics/RigidBodySimulation.h"
#include "render/FxMgr.h"
#include "render/ObjectSlots22.h"
#include "sound/MusicDirector.h"
#include "sound/SoundMgr.h"
#include "world/BezierCamera.h"
#include "world/Camera.h"
#include "world/Engine.h"
#include "world/ObeCamera.h"

CMainGame g_MainGame;
bool IntroWorldRunning = false;

namespace {
constexpr float kEndSequenceSeconds = 1.0f;
// The console's loading screen is drawn until this level frame; the bar
// takes nine steps more at the first, and the screen's resources go at the
// second.
constexpr int32_t kLoadingFrames = 199;
constexpr int32_t kLoadingStepFrame = 151;
constexpr int32_t kLoadingReleaseFrame = 201;
} // namespace

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
    if (!m_bEndSequence) g_Player.UpdateView();
}

// The per-world hooks run the modules that exist, in the game frame's order.
void CMainGame::Init() {
    EndSequenceOff();
    g_GameAI.UnsetVariable("sniper_view", nullptr);
    g_GameAI.UnsetVariable("lornetka", nullptr);
    g_GameAI.UnsetVariable("credits", nullptr);
    CurrentFOV = FOV;
    g_Camera.m_fFovFactor = 1.0f;
    DrawWater = true;
    IntroWorldRunning = StrCmpNoCase(g_Engine.m_szCurrentWorld, "worlds\\intro.w") == 0;
    if (IntroWorldRunning) g_bLongFrameTimeClamp = true;
    g_MusicDirector.Init();
    g_ObeCamera.Init();
    g_FxMgr.Init();
    g_Player.Init();
    m_iLevelFrame = 0;
    m_dwGameFrames = 0;
    m_bHoldSkinMeshes = 0;
    g_Console.AddLoadingProgress(7);
    g_Console.AddLoadingProgress(8);
    g_InputFileRecord.Reset();
    g_ObjectSlots22.Init();
}

void CMainGame::Destroy() {
    g_bLongFrameTimeClamp = false;
    EndSequenceOff();
    g_MusicDirector.Destroy();
    g_ObjectSlots22.Clear();
    g_ObjectSlots22.Destroy();
    if (g_BezierCamera.m_bActive) g_BezierCamera.Destroy();
    g_InputFileRecord.Release();
    g_GameAI.ResetVariables();
    PlayMusic(nullptr, false);
    g_PostacMgr.Destroy();
    g_Player.Destroy();
    g_FxMgr.Destroy();
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
    // The end sequence holds the game: after its second of fading the world
    // is asked for on every frame until the main loop starts it.
    if (m_bEndSequence) {
        m_fEndSequenceTime += g_Engine.m_fFrameTime;
        if (m_fEndSequenceTime > kEndSequenceSeconds) g_Engine.SetWorldToStart(m_szEndWorld);
        return;
    }
    m_fFrameTime = g_Engine.m_fFrameTime;
    ++m_iFramesSinceCinematic;
    ++m_dwGameFrames;
    if (g_Engine.m_bWorldLoaded) {
        ++m_iLevelFrame;
        if (m_iLevelFrame == kLoadingStepFrame) g_Console.AddLoadingProgress(9);
        if (m_iLevelFrame == kLoadingReleaseFrame) g_Console.ReleaseLoadingScreen();
        if (m_iLevelFrame == WORLD_SHOWN_FRAME) {
            g_Engine.m_bWorldShown = 1;
            MarkStartStep("world_shown");
        }
    }
    if (g_Engine.m_bWorldLoaded) g_MusicDirector.Update();
    g_ObjectSlots22.Update();
    if (!UpdateCameras()) return;
    if (g_Engine.m_bWorldRunning) {
        ProfilerStart(prof::FxUpdate);
        g_FxMgr.Update();
        ProfilerStop(prof::FxUpdate);
    }
    // The end of every frame that got this far: loose objects move.
    ProfilerStart(prof::RigidBodySimulationUpdate);
    g_RigidBodySimulation.Update();
    ProfilerStop(prof::RigidBodySimulationUpdate);
    // Last in the frame: 3D volumes follow this frame's listener, finished
    // one-shots go.
    ProfilerStart(prof::SoundMgrUpdate);
    g_SoundMgr.Update();
    ProfilerStop(prof::SoundMgrUpdate);
}

void CMainGame::SetEndSequence(const char* name) {
    if (!name || !*name) return;
    // A name that no world start takes would hold the game in the fade for good.
    if (std::strlen(name) >= sizeof g_Engine.m_WorldToStart) {
        g_Console.Print("!!! 1");
        return;
    }
    m_fEndSequenceTime = 0.0f;
    m_bEndSequence = true;
    std::snprintf(m_szEndWorld, sizeof m_szEndWorld, "%s", name);
}

void CMainGame::EndSequenceOff() {
    m_bEndSequence = false;
    m_fEndSequenceTime = 0.0f;
    m_EndFade.Release();
}

// A full-screen black quad whose alpha grows from 0 to 255 over the second.
void CMainGame::RenderEndFade() {
    if (!m_EndFade.IsCreated())
        m_EndFade.Create("czarne.tga", 0.0f, 0.0f, float(screenwidth), float(screenheight), 0);
    const float alpha = std::clamp(m_fEndSequenceTime / kEndSequenceSeconds, 0.0f, 1.0f);
    m_EndFade.SetColor(uint32_t(alpha * 255.0f) << 24);
    m_EndFade.RenderStandalone(true, true);
}

void CMainGame::Render() {
    if (!m_bStartedUp) return;
    if (m_bEndSequence) {
        RenderEndFade();
        return;
    }
    // The level's first frames are steps of the loading bar.
    if (m_iLevelFrame < kLoadingFrames) g_Console.AddLoadingProgress(1);
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
        g_FxMgr.Update();
        g_BezierCamera.Update(dt);
        return false;
    }
    if (!g_Engine.m_bWorldRunning) return true;
    // Shakes, sniper zoom, projection and the sound listener.
    ProfilerStart(prof::CameraUpdate);
    g_Camera.Update(dt);
    ProfilerStop(prof::CameraUpdate);
    // The player's stage (the follow camera, while it runs, takes his turn).
    if (m_iLevelFrame > 150) {
        ProfilerStart(prof::PlayerUpdate);
        g_Player.Update();
        ProfilerStop(prof::PlayerUpdate);
    }
    return true;
}
