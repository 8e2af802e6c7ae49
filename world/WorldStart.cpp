// Starting and closing worlds, and the engine's device-lifetime hooks.
//
// A world change runs every manager's close hooks (EndWorld), reads the
// world file and runs every manager's open hooks (OpenWorld), each list in a
// fixed order kept as a table of named steps, so the order is visible in one
// place and a test can watch it through the hook trace.
#include <cstdio>
#include <cstring>

#include "app/Console.h"
#include "app/D3DMain.h"
#include "app/Font.h"
#include "app/Mouse.h"
#include "app/Options.h"
#include "app/Profiler.h"
#include "app/TTFont.h"
#include "app/Timer.h"
#include "physics/RigidBodySimulation.h"
#include "platform/os/Os.h"
#include "render/AmbientProbe.h"
#include "render/AutoMap.h"
#include "render/DepthRender.h"
#include "render/EffectMgr.h"
#include "render/EnvironmentSettings.h"
#include "render/MeshMgr.h"
#include "render/MeshSocketsMgr.h"
#include "render/PaneCrashMgr.h"
#include "render/PlantMgr.h"
#include "render/PostProcess.h"
#include "render/RenderOccluder.h"
#include "render/Renderer.h"
#include "render/SpriteMgr.h"
#include "render/ViewLines.h"
#include "skinmesh/SkinMeshMgr.h"
#include "sound/RadioMgr.h"
#include "sound/SoundMgr.h"
#include "world/BezierMgr.h"
#include "world/Camera.h"
#include "world/Engine.h"
#include "world/EngineObject.h"
#include "world/ObjectApi.h"
#include "world/ObjectRecord.h"
#include "world/VisBlockers.h"
#include "world/WorldHooks.h"
#include "world/WorldMgr.h"

namespace {

constexpr float kFarZ = 10240.0f;
constexpr int kScreenshots = 1000;

struct WorldStep {
    const char* name;
    void (*run)(EEngine& e);
};

void RunSteps(EEngine& e, const WorldStep* steps, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        if (e.m_pfnHookTrace) e.m_pfnHookTrace(steps[i].name);
        steps[i].run(e);
    }
}

void Trace(EEngine& e, const char* name) {
    if (e.m_pfnHookTrace) e.m_pfnHookTrace(name);
}

void EndForcedLook(EEngine& e) {
    if (Debug > 2) g_Console.Print("EEngine::ForceCameraToLook");
    if (e.m_hLookFrom) SetObjectFlags(e.m_hLookFrom, e.m_dwLookFromFlags, 0xFFFFFFFF);
    e.m_hLookFrom = nullptr;
    e.m_hLookAt = nullptr;
}

// Every manager's world-close hook, in order.
const WorldStep kEndWorldSteps[] = {
    {"PostProcess.Release",
     [](EEngine&) {
         g_PostProcess.ReleaseTargets();
         g_PostProcess.Destroy();
     }},
    {"RadioMgr.Clear", [](EEngine&) { g_RadioMgr.Clear(); }},
    {"PaneCrashMgr.Release", [](EEngine&) { g_PaneCrashMgr.Release(); }},
    {"PlantMgr.Release", [](EEngine&) { g_PlantMgr.Release(); }},
    {"ViewLines.Release", [](EEngine&) { g_ViewLines.Release(); }},
    {"AmbientProbe.Destroy", [](EEngine&) { g_AmbientProbe.Destroy(); }},
    {"RenderOccluder.Destroy", [](EEngine&) { g_RenderOccluder.Destroy(); }},
    {"ScreenOverlay.Clear", [](EEngine&) { TheWorldHooks().ScreenOverlayClear(); }},
    {"Keyboard.Release",
     [](EEngine& e) {
         if (e.m_bKeyboardCreated) e.ReleaseKeyboard();
     }},
    {"SkyObject.Delete", [](EEngine&) { g_EnvironmentSettings.DeleteSkyObject(); }},
    {"ForcedLook.End", EndForcedLook},
    {"Panel.StartCutFade", [](EEngine&) { TheWorldHooks().StartCutFade(); }},
    {"CameraPlaced.Clear", [](EEngine& e) { e.m_bCameraPlaced = e.m_bScriptedCamera = 0; }},
    {"MainGame.Destroy", [](EEngine&) { TheWorldHooks().GameWorldClosed(); }},
    {"Light0.Disable",
     [](EEngine&) {
         if (g_pD3DInterface) g_pD3DInterface->LightEnable(0, false);
     }},
    {"DeleteWorldObjects", [](EEngine& e) { e.DeleteWorldObjects(true); }},
    {"SpriteMgr.ReleaseAll", [](EEngine&) { g_SpriteMgr.ReleaseAll(); }},
    {"Console.ReleaseBar", [](EEngine&) { g_Console.ReleaseConsoleBar(); }},
    {"BezierMgr.FreeAll", [](EEngine&) { g_BezierMgr.FreeAll(); }},
    {"VisBlockers.Clear", [](EEngine&) { g_VisBlockers.Clear(); }},
    {"EngineObject.OnWorldClose", [](EEngine&) { g_EngineObject.OnWorldClose(); }},
    {"LaserMgr.Release", [](EEngine&) { TheWorldHooks().LasersRelease(); }},
    {"Console.Close",
     [](EEngine&) {
         if (g_Console.IsOpen()) g_Console.Close();
     }},
    {"Renderer.EndWorld", [](EEngine&) { g_Renderer.EndWorld(); }},
    {"SoundMgr.DeleteAllSounds", [](EEngine&) { g_SoundMgr.DeleteAllSounds(); }},
    {"SoundMgr.ClearSoundCache", [](EEngine&) { g_SoundMgr.ClearSoundCache(); }},
    {"AutoMap.Release", [](EEngine&) { g_AutoMap.Release(); }},
    {"DepthRender.Destroy", [](EEngine&) { g_DepthRender.Destroy(); }},
    {"RigidBodySimulation.Destroy", [](EEngine&) { g_RigidBodySimulation.Destroy(); }},
    {"Camera.StopShakes", [](EEngine&) { g_Camera.StopShakes(); }},
};

// Every manager's world-open hook, in order.
const WorldStep kOpenWorldSteps[] = {
    {"WorldTime.Stop", [](EEngine& e) { e.m_bWorldTimeRunning = 0; }},
    {"Camera.StopShakes", [](EEngine&) { g_Camera.StopShakes(); }},
    {"RigidBodySimulation.Reset", [](EEngine&) { g_RigidBodySimulation.Reset(); }},
    {"ApplyPendingTies", [](EEngine& e) { e.ApplyPendingTies(); }},
    {"ViewLines.Create", [](EEngine&) { g_ViewLines.Create(); }},
    {"DepthRender.Init", [](EEngine&) { g_DepthRender.Init(); }},
    {"AutoMap.Create", [](EEngine&) { g_AutoMap.Create(); }},
    {"RenderOccluder.Init", [](EEngine&) { g_RenderOccluder.Init(); }},
    {"AmbientProbe.Init", [](EEngine&) { g_AmbientProbe.Init(); }},
    {"Renderer.InitWorld", [](EEngine&) { g_Renderer.InitWorld(); }},
    {"EngineObject.OnWorldOpen", [](EEngine&) { g_EngineObject.OnWorldOpen(); }},
    {"SpriteMgr.Init", [](EEngine&) { g_SpriteMgr.Init(); }},
    {"PlantMgr.Reset", [](EEngine&) { g_PlantMgr.Reset(); }},
    {"Console.CreateBar", [](EEngine&) { g_Console.CreateConsoleBar(); }},
    {"LoadRadios", [](EEngine&) { LoadRadios(); }},
    {"WorldTime.Reset", [](EEngine& e) { e.m_fWorldTime = 0.0f; }},
    {"FrameNumber.Reset", [](EEngine& e) { e.m_dwFrameNumber = 0; }},
    {"LaserMgr.Init", [](EEngine&) { TheWorldHooks().LasersInit(); }},
    {"MainGame.Init", [](EEngine&) { TheWorldHooks().GameWorldOpened(); }},
    {"Keyboard.Create",
     [](EEngine& e) {
         if (!e.m_bKeyboardCreated) e.CreateKeyboard();
     }},
    {"VideoMemory.Query",
     [](EEngine& e) {
         if (g_pD3DInterface) e.m_qwFreeVideoMemory = g_pD3DInterface->GetAvailableTextureMem();
     }},
    {"ScreenOverlay.Init", [](EEngine&) { TheWorldHooks().ScreenOverlayInit(); }},
    {"PaneCrashMgr.Release", [](EEngine&) { g_PaneCrashMgr.Release(); }},
    {"PostProcess.Create", [](EEngine&) { g_PostProcess.Create(); }},
    {"DeleteNotImportant",
     [](EEngine& e) {
         if (!DrawNotImportant) e.DeleteNotImportant();
     }},
};

} // namespace

// ---- World start ----------------------------------------------------------------------

bool EEngine::StartWorld(const char* name) {
    name = name ? name : "";
    // A name that does not fit the name fields is refused before anything
    // of the running world is touched.
    if (std::strlen(name) >= sizeof m_szCurrentWorld) {
        g_Console.Print("!!! 1");
        m_WorldToStart[0] = 0;
        m_bStartingWorld = 0;
        return false;
    }
    if (Debug > 0) g_Console.Print2("StartWorld ", name);
    m_bWorldShown = 0;
    m_bStartingWorld = 1;
    g_Console.ExecLine("EnableAntialiasing 0");

    char world[sizeof m_szCurrentWorld] = {};
    if (name[0] != '*') std::memcpy(world, name, std::strlen(name));
    m_WorldToStart[0] = 0;

    if (m_bWorldLoaded || m_bEmptyWorldOpen) {
        Trace(*this, "EndWorld");
        EndWorld();
    }
    m_bWorldLoaded = 0;
    m_bEmptyWorldOpen = 0;

    Trace(*this, "ReleaseResources");
    g_MeshMgr.ReleaseAll();
    g_Renderer.ReleaseTextures();
    TheWorldHooks().PlayMusic(nullptr, false);
    g_SoundMgr.ClearSoundCache();

    std::memcpy(m_szCurrentWorld, world, sizeof world);
    m_bWorldTimeRunning = 0;

    Trace(*this, "BeginLoading");
    TheWorldHooks().SelectScriptWorld();
    g_Console.BeginLoadingScreen(world);
    TheWorldHooks().LoadScreenBegin(world);

    if (world[0]) {
        Trace(*this, "LoadWorld");
        if (!g_WorldMgr.LoadWorld(world)) {
            m_bStartingWorld = 0;
            return false;
        }
    }
    m_bWorldLoaded = 1;
    m_bWorldRunning = 1;
    m_bWorldShown = 0;

    Trace(*this, "OpenWorld");
    OpenWorld();
    // The console's fog rows set fog set 0 again, which hands its colour to
    // the camera; the clear colour stays what the world file left, so a
    // "background_color" after the fog lines wins as it did in the load.
    const uint32_t background = g_Camera.GetBackgroundColor();
    g_Console.ReapplyVariables();
    g_Camera.SetBackgroundColor(background);
    if (!m_szCurrentWorld[0]) {
        m_bWorldLoaded = 0;
        m_bEmptyWorldOpen = 1;
    }

    m_bStartingWorld = 0;
    TheWorldHooks().LoadScreenTextures();
    return true;
}

void EEngine::EndWorld() {
    RunSteps(*this, kEndWorldSteps, std::size(kEndWorldSteps));
}

void EEngine::OpenWorld() {
    RunSteps(*this, kOpenWorldSteps, std::size(kOpenWorldSteps));
}

// ---- Device lifetime ----------------------------------------------------------------------

void EEngine::Init(window::Window* w) {
    m_bInitialized = 1;
    ProfilerInitLabels();
    g_Font.CreateVertexBuffer();
    g_Camera.SetFarZ(kFarZ);
    m_hWnd = w;
    DXUtilTimer(TIMER_RESET);
    DXUtilTimer(TIMER_START);
    m_fLastTime = 0.0;
    EngineFrameTiming();
    m_fFrameTime = 0.0f;
    g_Renderer.Init();
    g_SkinMeshMgr.Init();
    g_MeshSocketsMgr.LoadAll();
    g_Console.ResetState();
    g_EffectMgr.Init();
    g_SoundMgr.Init(w);
    g_Mouse.Init(w);
    TheWorldHooks().MenuOverlayInit();
}

void EEngine::Release() {
    TheWorldHooks().MenuOverlayRelease();
    g_Mouse.Release();
    if (g_pD3DInterface) g_pD3DInterface->LightEnable(0, false);
    for (int slot = 0; slot < MAX_OBJECTS; ++slot)
        DeleteObject(Object(slot));
    m_bInitialized = 0;
    g_EffectMgr.Destroy();
    g_SkinMeshMgr.Release();
    g_MeshMgr.ReleaseAll();
    g_Renderer.ReleaseTextures();
    g_SoundMgr.Release();
    g_Font.Release();
    g_TTFont.Release();
}

// ---- Screenshots ---------------------------------------------------------------------------

void EEngine::ScreenshotFileName(char* out, size_t size) {
    for (int n = 0; n < kScreenshots; ++n) {
        std::snprintf(out, size, "zt_screen%04d.bmp", n);
        std::FILE* f = os::OpenFile(out, "rb");
        if (!f) return;
        std::fclose(f);
    }
    // All taken: the last name is used again.
}

void EEngine::SaveScreenshot() {
    m_bScreenshotRequest = 0;
    gfx::Device* d = g_pD3DInterface;
    if (!d || !g_pBackBufferSurface) return;
    char name[32];
    ScreenshotFileName(name, sizeof name);
    gfx::Surface* back = nullptr;
    if (d->GetRenderTarget(0, &back) != gfx::Result::Ok || !back) return;
    d->SaveSurfaceToFile(name, back);
    back->Release();
}
