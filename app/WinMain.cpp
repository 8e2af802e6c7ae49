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
    if (!g_Engine.EngineFrameTiming()) return;
    ProfilerFrameReset();
    ProfilerStart(0);
    g_Engine.EngineFrame();
    ProfilerStop(0);
    if (DebugPerformance) {
        g_Debug.m_fUpdateTotal = g_Debug.GetTimerElapsed(407);
        g_Debug.StartTimer(401);
    }
    ProfilerStart(200);
    const GameFrame& game = TheGameFrame();
    game.Update();
    ProfilerStop(200);
    if (g_Engine.m_bWorldRunning || game.MenuOpen()) g_D3DMain.RenderFrame();
    if (game.LoadingActive()) game.RenderLoading();
    // A world asked for during the frame starts after it was drawn.
    if (g_Engine.m_WorldToStart[0]) {
        char name[sizeof g_Engine.m_WorldToStart];
        std::memcpy(name, g_Engine.m_WorldToStart, sizeof name);
        name[sizeof name - 1] = 0;
        if (Debug != 0) g_Console.Print2("Starting world ", name);
        g_Engine.StartWorld(name);
    }
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
int RunWinMain() {
    // 1-3. One string is the window's name and title and the instance lock's
    // name; a second instance ends here, silently. A lock that could not be
    // made does not stop the game: it is logged below.
    char name[256];
    std::snprintf(name, sizeof name, "%s", g_TextMgr.GetText(">GameName"));
    // What start-up prints before the log step below belongs to this run's
    // log, not the previous one's.
    g_Console.HoldLogFile();
    if (!AcquireInstanceLock(name)) return 0;
    if (!InstanceLockError().empty())
        g_Console.Print2("Running without the single-instance lock: ", InstanceLockError().c_str());
    ReportUnwritableDataDirectory();
    // 4.
    g_pD3D = nullptr;
    g_pD3DInterface = nullptr;
    // 5. The text table held its own report lines back, so this run's
    // "!labels.txt" survives the deletion.
    DeletePreviousReports();
    g_TextMgr.FlushReports();
    // 6.
    g_bQuitOnce = false;
    // 7.
    g_Console.ExecFile("zt.cfg");
    g_Console.BeginLogFile();
    g_Console.Print("Welcome to Brakmoor.");
    g_Console.Print("Tovan engine 1.0 for Linux (SDL2, OpenGL 3.3)");
    // 8-9.
    window::CreateParams params;
    params.title = name;
    params.width = 1;
    params.height = 1;
    params.popup = true;
    params.visible = true;
    params.proc = &WndProc;
    g_Window = window::CreateWindow(params);
    if (g_Window) {
        g_WindowRect = g_Window->GetRect();
        g_Window->Show(true);
        g_Window->BringToTop();
        g_StartTime = os::SystemTimeUtc();
    }
    // 10.
    if (!g_Window) {
        g_bQuitOnce = true;
        window::PostQuitMessage(0);
        return 0;
    }
    g_hWnd = g_Window.get();
    // 11.
    g_pD3D = gfx::CreateInterface();
    if (!g_pD3D) {
        window::MessageBox("DX9.0c or newer could not have been found!", "Zt message");
        return 0;
    }
    // 12.
    CreateDirectInput();
    // 13.
    StartupCancelled = false;
    if (ReadVideoConfig()) {
        ShowLauncherNext = true;
    } else {
        ShowVideoOptionsNext = true;
    }
    // 14.
    while (ShowLauncherNext || ShowVideoOptionsNext) {
        if (ShowLauncherNext) {
            ShowLauncherNext = false;
            LauncherDialog(g_hWnd);
        } else {
            ShowVideoOptionsNext = false;
            VideoOptionsDialog(g_hWnd);
        }
    }
    // 15.
    if (StartupCancelled) {
        g_bQuitOnce = true;
        if (g_pD3D) g_pD3D->Release();
        g_pD3D = nullptr;
        window::PostQuitMessage(0);
        return 0;
    }
    // 16.
    for (int i = 0; i < 2; ++i) {
        g_hWnd->BringToTop();
        g_hWnd->SetFocus();
    }
    if (!g_D3DMain.Create(g_hWnd) || !g_D3DMain.m_bCreated) {
        window::PostQuitMessage(0);
        return 0;
    }
    // 17.
    g_hWnd->BringToTop();
    g_FocusMgr.Start();
    g_hWnd->BringToTop();
    g_D3DMain.RenderFrame();
    TheGameFrame().StartUp();
    g_hWnd->BringToTop();
    // 18. The first message is handled like every other, so a close that
    // came during start-up is not lost.
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

    QuitOnce();
    g_Console.Print("Tovan engine out, good bye!");
    g_Console.EndLogFile();
    g_Console.FreeVariables();
    return int(msg.wParam);
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
