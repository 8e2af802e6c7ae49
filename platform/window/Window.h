// The window service of the platform layer: one top-level window, a message
// queue in the shape of the Windows one, timers and message boxes.
//
// Messages carry the numbers of the Windows messages the engine handles (key
// down/up with virtual-key codes, timer, paint, close, destroy, quit), so the
// engine's window procedure switches on them directly. Everything runs on the
// main thread: PeekMessage pumps the SDL events, converts them, and hands out
// timer messages when their interval has passed and nothing else is queued
// (timers are polled, never run on another thread).
//
// Close (the window's close button, or SIGINT/SIGTERM, caught from the start
// of the process and held until the window exists) arrives as msg::Close; DefWindowProc answers it by destroying
// the window, which sends msg::Destroy to the window procedure. The engine's
// procedure answers that with its one shutdown path and PostQuitMessage.
//
// Failure policy: creation failures return null and leave SDL's error text in
// LastError(); message boxes fall back to standard error when there is no
// display or when running unattended.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace window {

// Message numbers (the values of the Windows messages they stand for).
namespace msg {
constexpr uint32_t Destroy = 0x0002;
constexpr uint32_t Paint = 0x000F;
constexpr uint32_t Close = 0x0010;
constexpr uint32_t Quit = 0x0012;
constexpr uint32_t ActivateApp = 0x001C; // wParam 1: the application gained focus, 0: lost it
constexpr uint32_t KeyDown = 0x0100;
constexpr uint32_t KeyUp = 0x0101;
constexpr uint32_t SysKeyDown = 0x0104; // Alt and F10, as Windows sends them
constexpr uint32_t SysKeyUp = 0x0105;
constexpr uint32_t Command = 0x0111;
constexpr uint32_t Timer = 0x0113;
constexpr uint32_t App = 0x8000;
} // namespace msg

class Window;

struct Message {
    Window* window = nullptr; // null for thread messages (quit)
    uint32_t message = 0;
    uintptr_t wParam = 0;
    intptr_t lParam = 0;
};

using WindowProc = intptr_t (*)(Window* window, uint32_t message, uintptr_t wParam, intptr_t lParam);

struct Rect {
    int left = 0, top = 0, right = 0, bottom = 0;
};

constexpr int DefaultPosition = -0x7fffffff; // let the window system place the window

struct CreateParams {
    std::string title;
    int x = DefaultPosition, y = DefaultPosition;
    int width = 1, height = 1;
    bool popup = true; // no border or caption
    bool visible = true;
    WindowProc proc = nullptr; // null: DefWindowProc
};

class Window {
  public:
    virtual ~Window() = default;

    virtual void Show(bool visible) = 0;
    virtual void BringToTop() = 0;
    virtual void SetFocus() = 0;
    virtual Rect GetRect() const = 0;
    virtual void SetTitle(const std::string& title) = 0;
    // Client size and full-screen mode (the graphics device sets them).
    virtual void SetMode(int width, int height, bool fullScreen) = 0;
    virtual bool IsFullScreen() const = 0;
    // Whether the window has the input focus: set by focus events, true when
    // created shown (a window system without focus events never takes it away).
    virtual bool HasFocus() const = 0;
    virtual bool IsDestroyed() const = 0;

    // Timer messages (msg::Timer with wParam = id) every intervalMs or more;
    // setting an existing id restarts it with the new interval.
    virtual void SetTimer(uint32_t id, uint32_t intervalMs) = 0;
    virtual void KillTimer(uint32_t id) = 0;

    // Sends msg::Destroy to the window procedure (once) and hides the window.
    virtual void Destroy() = 0;

    virtual WindowProc Proc() const = 0;
};

// Creates the window (null on failure; see LastError).
std::unique_ptr<Window> CreateWindow(const CreateParams& params);
const char* LastError();

// SIGINT and SIGTERM from now on arrive as msg::Close (the process's start
// calls it, so a signal during start-up is not lost).
void CatchTerminationSignals();
// True from a caught SIGINT or SIGTERM on: a modal loop ends itself.
bool TerminationRequested();

// Takes the next message into out and removes it; false when nothing waits.
// Order: posted messages, then window-system events, then the quit message,
// then due timers.
bool PeekMessage(Message& out);
// Characters are not generated from key messages (the console types from key
// codes); kept so that the pump reads as the engine's code expects.
void TranslateMessage(const Message& m);
intptr_t DispatchMessage(const Message& m);
intptr_t SendMessage(Window* window, uint32_t message, uintptr_t wParam, intptr_t lParam);
void PostMessage(Window* window, uint32_t message, uintptr_t wParam, intptr_t lParam);
// Queues msg::Quit with wParam = exitCode after the messages already queued.
void PostQuitMessage(int exitCode);
// Close destroys the window; everything else is ignored with result 0.
intptr_t DefWindowProc(Window* window, uint32_t message, uintptr_t wParam, intptr_t lParam);
// Drops every queued message, posted or pending quit, and a termination
// request (tests, and a new start).
void ClearMessageQueue();

// An OK message box; on standard error (as "caption: text") without a display
// or when running unattended.
void MessageBox(const char* text, const char* caption);

// ZT_UNATTENDED=1: nothing may wait for a person (dialogs take their default
// button, pauses are skipped, message boxes go to standard error).
bool Unattended();

// Windows virtual-key codes that the engine names.
namespace vk {
constexpr uint32_t Back = 0x08, Tab = 0x09, Return = 0x0D, Shift = 0x10, Control = 0x11, Menu = 0x12;
constexpr uint32_t Pause = 0x13, Capital = 0x14, Escape = 0x1B, Space = 0x20, Prior = 0x21, Next = 0x22;
constexpr uint32_t End = 0x23, Home = 0x24, Left = 0x25, Up = 0x26, Right = 0x27, Down = 0x28;
constexpr uint32_t Snapshot = 0x2C, Insert = 0x2D, Delete = 0x2E, LWin = 0x5B, RWin = 0x5C, Apps = 0x5D;
constexpr uint32_t Numpad0 = 0x60, Multiply = 0x6A, Add = 0x6B, Subtract = 0x6D, Decimal = 0x6E;
constexpr uint32_t Divide = 0x6F, F1 = 0x70, F8 = 0x77, NumLock = 0x90, Scroll = 0x91;
constexpr uint32_t Oem1 = 0xBA, OemPlus = 0xBB, OemComma = 0xBC, OemMinus = 0xBD, OemPeriod = 0xBE;
constexpr uint32_t Oem2 = 0xBF, Oem3 = 0xC0, Oem4 = 0xDB, Oem5 = 0xDC, Oem6 = 0xDD, Oem7 = 0xDE;
} // namespace vk

} // namespace window
