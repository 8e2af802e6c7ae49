// The engine half of every frame: the frame timer with its clamps, the
// engine update in its profiler stages, the key and device hooks, the
// camera preparation and the world render that the frame driver calls.
#include <algorithm>
#include <cstring>

#include "app/CommandMgr.h"
#include "app/Console.h"
#include "app/D3DMain.h"
#include "app/Debug.h"
#include "app/FocusMgr.h"
#include "app/GameFrame.h"
#include "app/Mouse.h"
#include "app/Options.h"
#include "app/Profiler.h"
#include "app/Timer.h"
#include "platform/math/Math.h"
#include "platform/os/Number.h"
#include "render/AmbientProbe.h"
#include "render/DepthRender.h"
#include "render/EnvironmentSettings.h"
#include "render/FxMgr.h"
#include "render/PaneCrashMgr.h"
#include "render/PlantMgr.h"
#include "render/PostProcess.h"
#include "render/RenderStateCache.h"
#include "render/Renderer.h"
#include "render/SpriteMgr.h"
#include "sound/SoundMgr.h"
#include "world/Camera.h"
#include "world/Engine.h"
#include "world/EngineObject.h"
#include "world/ObjectApi.h"
#include "world/ObjectRecord.h"
#include "world/WorldHooks.h"

bool g_bLongFrameTimeClamp = false;
EngineSharedFlags g_EngineSharedFlags;

namespace {

constexpr double kMinFrame = 0.001;
constexpr double kMaxFrame = 0.5;
constexpr double kMaxFrameLong = 2.0;
constexpr float kFastForward = 100.0f;
// The time scale comes from the console, scripts and actions: any value is
// used within 0..kMaxTimeSpeed.
constexpr float kMaxTimeSpeed = 100.0f;
constexpr float kFpsWindow = 0.05f;
constexpr float kCutsceneSkipAfter = 5.0f;

constexpr int kCommandScreenshot = 13;
constexpr int kCommand10 = 10;
constexpr int kCommandSkip = 11;

} // namespace

// ---- Timing ---------------------------------------------------------------------

bool EEngine::EngineFrameTiming() {
    const double now = DXUtilTimer(TIMER_GETABSOLUTETIME);
    const double dt = now - m_fLastTime;
    // Too soon: the last reading stays, so the time adds up to the next call.
    if (dt < kMinFrame) return false;
    float frame = float(std::min(dt, g_bLongFrameTimeClamp ? kMaxFrameLong : kMaxFrame));
    if (m_bFastForward) frame *= kFastForward;
    m_fLastTime = now;
    m_fFpsAccumulator += frame;
    frame *= os::ClampFloat(GlobalTimeSpeed, 0.0f, kMaxTimeSpeed);
    ++m_dwFpsFrames;
    if (m_fFpsAccumulator > kFpsWindow) {
        m_fFps = float(m_dwFpsFrames) / m_fFpsAccumulator;
        m_dwFpsFrames = 0;
        m_fFpsAccumulator = 0.0f;
    }
    m_fFrameTime = frame;
    if (m_bWorldTimeRunning) m_fWorldTime += frame;
    return true;
}

// ---- The engine update -------------------------------------------------------------

bool EEngine::EngineFrame() {
    if (!g_FocusMgr.m_bOnFocus || !m_bInitialized) return false;
    ++m_dwFrameNumber;
    if (Debug > 3) g_Console.PrintInt("*** Klatka: ", int(m_dwFrameNumber));
    if (!g_Console.IsOpen() && !TheGameFrame().MenuOpen() && !g_CommandMgr.m_bKeyboardReady &&
        !m_bKeyboardCreated)
        CreateKeyboard();
    std::memset(&g_EngineSharedFlags, 0, sizeof g_EngineSharedFlags);
    if (!TheGameFrame().CutSceneRunning() && m_bFastForward) {
        g_SoundMgr.StopAllSounds();
        m_bFastForward = 0;
    }
    if (!m_bWorldTimeRunning) {
        m_bWorldTimeRunning = 1;
        m_fWorldTime = 0.0f;
    }

    ProfilerStart(prof::MainGamePre);
    TheWorldHooks().EarlyPlayerUpdate();
    ProfilerStop(prof::MainGamePre);

    ProfilerStart(prof::EnvUpdate);
    ProfilerStop(prof::EnvUpdate);

    if (DebugPerformance) g_Debug.StartTimer(416);
    HandleKeys();

    // The performance display's engine figures: the objects (less the
    // movers on their paths, timed within them) and the renderer.
    const bool timed = DebugPerformance;
    ProfilerStart(prof::EngineObjectsUpdate);
    if (timed) {
        g_Debug.m_fMovableUpdate = 0.0;
        g_Debug.StartTimer(408);
    }
    g_EngineObject.UpdateBehaviour();
    if (timed) g_Debug.m_fObjectUpdate = g_Debug.GetTimerElapsed(408) - g_Debug.m_fMovableUpdate;
    ProfilerStop(prof::EngineObjectsUpdate);

    ProfilerStart(prof::RendererUpdate);
    if (timed) g_Debug.StartTimer(409);
    g_Renderer.Update();
    if (timed) g_Debug.m_fRendererUpdate = g_Debug.GetTimerElapsed(409);
    ProfilerStop(prof::RendererUpdate);

    PreparePostProcess();
    g_PaneCrashMgr.Update();
    g_PlantMgr.Update();

    // Objects marked during the frame go now.
    ForEachSlotBelowHighWater([this](int slot) {
        ObjectRecord* h = Object(slot);
        if (h->bUsed && h->bToDelete) {
            h->bToDelete = 0;
            DeleteObject(h);
        }
    });

    TheWorldHooks().LasersUpdate();
    g_DepthRender.Update();
    g_Console.StoreVariable("TotalObjects", float(NumObjects()), 0);
    return true;
}

void EEngine::HandleKeys() {
    if (!g_CommandMgr.m_bKeyboardReady) return;
    const uint8_t screenshot = IsCommandActive(kCommandScreenshot, 0);
    if (screenshot && !m_bScreenshotKeyLatch) SaveScreenshot();
    m_bScreenshotKeyLatch = screenshot;
    m_bCommand10Latch = IsCommandActive(kCommand10, 0);
    if (TheGameFrame().CutSceneRunning() && TheWorldHooks().CutSceneTime() > kCutsceneSkipAfter &&
        IsCommandActive(kCommandSkip, 0))
        StopCutscene();
}

void EEngine::StopCutscene() {
    g_Console.Print("*** Stop cutscene!");
    m_bFastForward = 1;
}

// ---- Rendering -------------------------------------------------------------------------

void EEngine::PrepareCamera() {
    m_bCameraPlaced = 0;
    m_bScriptedCamera = 0;
    if (m_hLookFrom && m_hLookAt) {
        m_bScriptedCamera = 1;
        math::Vec3 from, at;
        GetObjectPosition(m_hLookFrom, &from);
        GetObjectPosition(m_hLookAt, &at);
        const math::Vec3 dir = at - from;
        const float distance = math::Vec3Length(dir);
        if (Debug >= 3) g_Console.Printf("%s->%s: %f", m_hLookFrom->szName, m_hLookAt->szName, distance);
        orientation o;
        if (distance > 0.0f) o.SetDirection(dir / distance);
        g_Camera.SetPosition(from);
        g_Camera.SetOrientation(o);
    }
    g_Camera.ApplyLookModes();
    g_Camera.UpdateViewMatrix();
    TheWorldHooks().UpdateDialogueSounds();
}

void EEngine::Render() {
    if (!m_bInitialized || TheGameFrame().LoadingActive()) return;
    using gfx::RenderState;
    if (gfx::Device* d = g_pD3DInterface) {
        d->SetRenderState(RenderState::ZEnable, 1);
        g_RenderStateCache.SetCullMode(true);
        d->SetRenderState(RenderState::FillMode,
                          gfx::StateValue(WireFrame ? gfx::FillMode::Wireframe : gfx::FillMode::Solid));
        d->SetRenderState(RenderState::DitherEnable, 0);
        d->SetRenderState(RenderState::Clipping, 1);
        d->SetRenderState(RenderState::NormalizeNormals, 1);
        d->SetRenderState(RenderState::SpecularEnable, 0);
        d->SetRenderState(RenderState::DepthBias, 0);
        d->SetRenderState(RenderState::DitherEnable, 1);
    }
    const bool postProcess = DrawPostprocess && !SimpleRender;
    if (postProcess) g_PostProcess.BeginScene();
    g_EnvironmentSettings.RenderSky();
    g_Renderer.Render();
    // What follows draws with the fixed-function pipeline: no shader program
    // of the scene's effects stays set.
    if (gfx::Device* d = g_pD3DInterface) {
        d->SetRenderState(RenderState::DepthBias, 0);
        d->SetProgram(nullptr);
        d->SetVertexDeclaration(nullptr);
    }
    g_PlantMgr.Render();
    g_FxMgr.Render();
    g_SpriteMgr.Render();
    TheWorldHooks().LasersRender();
    if (postProcess) {
        g_PostProcess.RestoreBackBuffer();
        g_PostProcess.RenderPostProcess();
    }
    g_AmbientProbe.ProcessQueue();
}

// ---- Input hooks -----------------------------------------------------------------------

void EEngine::OnKeyDown(uint32_t key) {
    if (g_Console.IsOpen())
        g_Console.OnKey(key);
    else
        TheGameFrame().KeyDown(key);
}

void EEngine::OnKeyUp(uint32_t key) {
    if (g_Console.IsOpen()) return;
    TheGameFrame().KeyUp(key);
}

void EEngine::ReleaseMouse() {
    g_Mouse.Release();
}

void EEngine::RestoreMouse() {
    g_Mouse.Init(m_hWnd);
}
