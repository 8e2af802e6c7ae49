#include "app/WinMain.h"

#include <cstdio>
#include <cstring>
#include <memory>

#include "app/Console.h"
#include "app/D3DMain.h"
#include "app/Debug.h"
#include "app/FileHelpers.h"
#include "app/FocusMgr.h"
#include "app/GameFrame.h"
#include "app/Mouse.h"
#include "app/Options.h"
#include "app/Profiler.h"
#include "app/ScriptedPlay.h"
#include "app/StartTimes.h"
#include "app/StartupDialogs.h"
#include "app/TextMgr.h"
#include "app/VideoConfig.h"
#include "platform/gfx/Device.h"
#include "platform/os/Os.h"
#include "platform/os/Thread.h"
#include "platform/window/Window.h"
#include "world/Engine.h"

bool StartupCancelled = false;
bool ShowLauncherNext = false;
bool ShowVideoOptionsNext = false;
window::Window* g_hWnd = nullptr;

namespace {

bool g_bQuitOnce = false;
std::unique_ptr<window::Window> g_Window;
window::Rect g_WindowRect;
os::CalendarTime g_StartTime;

os::InstanceLock& InstanceLock() {
    static os::InstanceLock lock;
    return lock;
}

void IdlePass() {
    if (!g_FocusMgr.CheckFocus()) return;
    scriptedplay::BeginFrame();
    if (!g_Engine.EngineFrameTiming()) return;
    ProfilerFrameReset();
    // The performance display's figures: debug timer 407 times the engine's
    // update, 401 the game's and then the render. The update is the two
    // together.
    const bool timed = DebugPerformance;
    if (timed) g_Debug.StartTimer(407);
    ProfilerStart(prof::EngineUpdate);
    g_Engine.EngineFrame();
    ProfilerStop(prof::EngineUpdate);
    if (timed) {
        g_Debug.m_fEngineUpdate = g_Debug.GetTimerElapsed(407);
        g_Debug.StartTimer(401);
    }
    ProfilerStart(prof::MainGameUpdate);
    const GameFrame& game = TheGameFrame();
    game.Update();
    ProfilerStop(prof::MainGameUpdate);
    if (timed) {
        g_Debug.m_fGameUpdate = g_Debug.GetTimerElapsed(401);
        g_Debug.m_fUpdateTotal = g_Debug.m_fEngineUpdate + g_Debug.m_fGameUpdate;
        g_Debug.StartTimer(401);
    }
    if (g_Engine.m_bWorldRunning || game.MenuOpen()) g_D3DMain.RenderFrame();
    if (timed) g_Debug.m_fRenderTotal = g_Debug.GetTimerElapsed(401);
    if (game.LoadingActive()) game.RenderLoading();
    // A world asked for during the frame starts after it was drawn.
    if (g_Engine.m_WorldToStart[0]) {
        char name[sizeof g_Engine.m_WorldToStart];
        std::memcpy(name, g_Engine.m_WorldToStart, sizeof name);
        name[sizeof name - 1] = 0;
        if (Debug != 0) g_Console.Print2("Starting world ", name);
        g_Engine.StartWorld(name);
    }
    scriptedplay::EndFrame(g_hWnd, g_Engine.m_bWorldLoaded ? g_Engine.m_szCurrentWorld : nullptr,
                           game.LevelFrame());
}

// Every settings file, save and log would be lost without a word: said once,
// on standard error and in the log (which may still be writable).
void ReportUnwritableDataDirectory() {
    std::string reason;
    if (os::CanWriteDirectory(os::StartDirectory(), &reason)) return;
    char line[1024];
    std::snprintf(line, sizeof line,
                  "The data directory %s cannot be written (%s): settings, saves and logs are lost",
                  os::StartDirectory().c_str(), reason.c_str());
    std::fprintf(stderr, "%s\n", line);
    g_Console.Print(line);
}

} // namespace

bool AcquireInstanceLock(const std::string& name) {
    return InstanceLock().Acquire(name) != os::InstanceLock::Result::Held;
}

const std::string& InstanceLockError() {
    return InstanceLock().Error();
}

bool QuitOnceDone() {
    return g_bQuitOnce;
}

void QuitOnce() {
    if (g_bQuitOnce) return;
    g_bQuitOnce = true;
    g_D3DMain.Release();
    window::PostQuitMessage(0);
}

intptr_t WndProc(window::Window* w, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    if (!g_FocusMgr.m_bStarted) return window::DefWindowProc(w, message, wParam, lParam);
    g_D3DMain.MessageHook(w, message, wParam, lParam);
    switch (message) {
    case window::msg::Destroy:
        QuitOnce();
        return 0;
    case window::msg::Paint:
    case window::msg::Command:
    case 0x8001:
        return 0;
    default:
        return window::DefWindowProc(w, message, wParam, lParam);
    }
}

namespace {

// The start-up, step by step (kStartSteps below). A step that ends the start
// returns false, and the run ends with status 0.
char g_szGameName[256];

// One string is the window's name and title and the instance lock's name; a
// second instance ends here, silently. A lock that could not be made does not
// stop the game: it is logged. What start-up prints before the log starts
// belongs to this run's log, not the previous one's.
bool TakeInstanceLock() {
    std::snprintf(g_szGameName, sizeof g_szGameName, "%s", g_TextMgr.GetText(">GameName"));
    g_Console.HoldLogFile();
    if (!AcquireInstanceLock(g_szGameName)) return false;
    if (!InstanceLockError().empty())
        g_Console.Print2("Running without the single-instance lock: ", InstanceLockError().c_str());
    ReportUnwritableDataDirectory();
    return true;
}

// The text table held its own report lines back, so this run's
// "!labels.txt" survives the deletion of the previous run's reports.
bool StartReportsAndLog() {
    g_pD3D = nullptr;
    g_pD3DInterface = nullptr;
    DeletePreviousReports();
    g_TextMgr.FlushReports();
    g_bQuitOnce = false;
    g_Console.ExecFile("zt.cfg");
    g_Console.BeginLogFile();
    g_Console.Print("Welcome to Brakmoor.");
    g_Console.Print("Tovan engine 1.0 for Linux (SDL2, OpenGL 3.3)");
    return true;
}

// A 1 x 1 pop-up window, shown and brought to the top; the device gives it
// its size later.
bool CreateGameWindow() {
    window::CreateParams params;
    params.title = g_szGameName;
    params.width = 1;
    params.height = 1;
    params.popup = true;
    params.visible = true;
    params.proc = &WndProc;
    g_Window = window::CreateWindow(params);
    if (!g_Window) {
        g_bQuitOnce = true;
        window::PostQuitMessage(0);
        return false;
    }
    g_WindowRect = g_Window->GetRect();
    g_Window->Show(true);
    g_Window->BringToTop();
    g_StartTime = os::SystemTimeUtc();
    g_hWnd = g_Window.get();
    return true;
}

bool CreateGraphicsAndInput() {
    g_pD3D = gfx::CreateInterface();
    if (!g_pD3D) {
        window::MessageBox("DX9.0c or newer could not have been found!", "Zt message");
        return false;
    }
    CreateDirectInput();
    return true;
}

// The launcher when the video configuration was read, else the video
// options first; either may lead to the other until one closes the way.
bool RunStartupDialogs() {
    StartupCancelled = false;
    if (ReadVideoConfig()) {
        ShowLauncherNext = true;
    } else {
        ShowVideoOptionsNext = true;
    }
    while (ShowLauncherNext || ShowVideoOptionsNext) {
        if (ShowLauncherNext) {
            ShowLauncherNext = false;
            LauncherDialog(g_hWnd);
        } else {
            ShowVideoOptionsNext = false;
            VideoOptionsDialog(g_hWnd);
        }
    }
    if (!StartupCancelled) return true;
    g_bQuitOnce = true;
    if (g_pD3D) g_pD3D->Release();
    g_pD3D = nullptr;
    window::PostQuitMessage(0);
    return false;
}

bool CreateDevice() {
    for (int i = 0; i < 2; ++i) {
        g_hWnd->BringToTop();
        g_hWnd->SetFocus();
    }
    if (!g_D3DMain.Create(g_hWnd) || !g_D3DMain.m_bCreated) {
        window::PostQuitMessage(0);
        return false;
    }
    return true;
}

// The focus opens, the first frame is drawn and the game starts.
bool StartGame() {
    g_hWnd->BringToTop();
    g_FocusMgr.Start();
    g_hWnd->BringToTop();
    g_D3DMain.RenderFrame();
    MarkStartStep("first_game_frame");
    TheGameFrame().StartUp();
    g_hWnd->BringToTop();
    return true;
}

// Messages first; an idle pass whenever the queue is empty. The first
// message is handled like every other, so a close that came during start-up
// is not lost.
int RunMessageLoop() {
    window::Message msg;
    if (window::PeekMessage(msg) && msg.message != window::msg::Quit) {
        window::TranslateMessage(msg);
        window::DispatchMessage(msg);
    }
    while (!g_Engine.m_bQuit && msg.message != window::msg::Quit) {
        if (window::PeekMessage(msg)) {
            window::TranslateMessage(msg);
            window::DispatchMessage(msg);
            continue;
        }
        IdlePass();
    }
    return int(msg.wParam);
}

void ShutDown() {
    QuitOnce();
    g_Console.Print("Tovan engine out, good bye!");
    g_Console.EndLogFile();
    g_Console.FreeVariables();
}

struct StartStep {
    const char* name;
    bool (*run)();
};
const StartStep kStartSteps[] = {
    {"instance_lock", &TakeInstanceLock},
    {"reports_and_log", &StartReportsAndLog},
    {"scripted_play", &scriptedplay::Start},
    {"game_window", &CreateGameWindow},
    {"graphics_and_input", &CreateGraphicsAndInput},
    {"startup_dialogs", &RunStartupDialogs},
    {"device", &CreateDevice},
    {"start_game", &StartGame},
};

int RunWinMain() {
    for (const StartStep& step : kStartSteps) {
        if (!step.run()) return 0;
        MarkStartStep(step.name);
    }
    const int result = RunMessageLoop();
    ShutDown();
    return result;
}

} // namespace

// The window goes on every way out of start-up, while the window system it
// belongs to still exists (not at static destruction).
int WinMain() {
    int result = RunWinMain();
    g_hWnd = nullptr;
    g_Window.reset();
    return result;
}
