// The process entry: refuses a second instance, runs zt.cfg, opens the
// one-pixel pop-up window that becomes the device window, creates the
// graphics interface, runs the start-up dialogs, creates the device, starts
// the game layer and then runs the message pump whose idle pass is the whole
// frame. Everything runs on the main thread.
//
// The program ends through the engine's quit flag, the quit message (posted
// by QuitOnce, which closing the window or SIGINT/SIGTERM reach through
// msg::Destroy), the dialogs' cancel, or a failure in start-up. QuitOnce is
// the one shutdown path: the first call releases the device and everything
// on it and posts the quit message; later calls do nothing.
#pragma once

#include <cstdint>
#include <string>

namespace window {
class Window;
}

// Set by the start-up dialogs.
extern bool StartupCancelled;
extern bool ShowLauncherNext;
extern bool ShowVideoOptionsNext;

// The game window (null before it exists).
extern window::Window* g_hWnd;

int WinMain();
void QuitOnce();
bool QuitOnceDone();
intptr_t WndProc(window::Window* w, uint32_t message, uintptr_t wParam, intptr_t lParam);

// Takes the single-instance lock named after the game name; false only when
// another instance holds it. Nothing before it writes a file, so a second
// instance ends having touched nothing. A lock that cannot be taken for any
// other reason leaves the game running without it; the reason is then in
// InstanceLockError and goes to the log once the log is open.
bool AcquireInstanceLock(const std::string& name);
const std::string& InstanceLockError();
