#include "platform/window/sdl/SdlWindow.h"

#include <dlfcn.h>
#include <link.h>
#include <signal.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <vector>

#include "platform/os/Os.h"
#include "platform/window/Window.h"

namespace window {
namespace {

class SdlWindow;

// The one queue of the main thread.
struct Queue {
    std::deque<Message> posted;
    bool quitPending = false;
    int quitCode = 0;
    bool closePending = false; // a termination signal came before any window
    std::vector<SdlWindow*> windows;
};

// Set by the signal handler, taken on the main thread by PeekMessage.
std::atomic<bool> g_terminationSignal{false};
// Stays set: the close a signal becomes goes to one window, while modal
// loops over other windows (the start-up dialogs) must end too.
std::atomic<bool> g_terminationRequested{false};

extern "C" void OnTerminationSignal(int) {
    g_terminationRequested.store(true);
    g_terminationSignal.store(true);
}
// Never destroyed: a window held by a static of its own (the game's) is
// destroyed at exit after any static made later, and an exit from inside a
// library (Xlib's, when the X server goes away) takes that path.
Queue& TheQueue() {
    static Queue* q = new Queue;
    return *q;
}

std::string g_LastError;

class SdlWindow final : public Window {
  public:
    SdlWindow(SDL_Window* w, WindowProc proc, bool visible) : m_window(w), m_proc(proc), m_focus(visible) {
        TheQueue().windows.push_back(this);
    }
    ~SdlWindow() override {
        auto& ws = TheQueue().windows;
        std::erase(ws, this);
        std::erase_if(TheQueue().posted, [this](const Message& m) { return m.window == this; });
        if (m_window) SDL_DestroyWindow(m_window);
    }

    void Show(bool visible) override {
        if (visible) {
            SDL_ShowWindow(m_window);
        } else {
            SDL_HideWindow(m_window);
        }
    }
    void BringToTop() override { SDL_RaiseWindow(m_window); }
    void SetFocus() override { SDL_SetWindowInputFocus(m_window); }
    Rect GetRect() const override {
        Rect r;
        int w = 0, h = 0;
        SDL_GetWindowPosition(m_window, &r.left, &r.top);
        SDL_GetWindowSize(m_window, &w, &h);
        r.right = r.left + w;
        r.bottom = r.top + h;
        return r;
    }
    void SetTitle(const std::string& title) override { SDL_SetWindowTitle(m_window, title.c_str()); }
    void SetMode(int width, int height, bool fullScreen) override {
        if (!fullScreen && m_fullScreen) SDL_SetWindowFullscreen(m_window, 0);
        SDL_SetWindowBordered(m_window, fullScreen ? SDL_FALSE : SDL_TRUE);
        SDL_SetWindowSize(m_window, width, height);
        if (fullScreen) {
            SDL_DisplayMode mode{};
            const int display = std::max(SDL_GetWindowDisplayIndex(m_window), 0);
            SDL_DisplayMode want{};
            want.w = width;
            want.h = height;
            if (SDL_GetClosestDisplayMode(display, &want, &mode)) {
                SDL_SetWindowDisplayMode(m_window, &mode);
            }
            // Without a window manager nobody moves the window when it goes
            // full screen: it would cover the screen from where it stood.
            SDL_Rect bounds{};
            if (SDL_GetDisplayBounds(display, &bounds) == 0) SDL_SetWindowPosition(m_window, bounds.x, bounds.y);
            SDL_SetWindowFullscreen(m_window, SDL_WINDOW_FULLSCREEN);
        } else {
            SDL_SetWindowPosition(m_window, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED);
        }
        m_fullScreen = fullScreen;
    }
    bool IsFullScreen() const override { return m_fullScreen; }
    bool HasFocus() const override { return m_focus; }
    bool IsDestroyed() const override { return m_destroyed; }

    void SetTimer(uint32_t id, uint32_t intervalMs) override {
        uint32_t now = os::TimeGetTimeMs();
        for (Timer& t : m_timers) {
            if (t.id == id) {
                t.interval = intervalMs;
                t.due = now + intervalMs;
                return;
            }
        }
        m_timers.push_back({id, intervalMs, now + intervalMs});
    }
    void KillTimer(uint32_t id) override {
        std::erase_if(m_timers, [id](const Timer& t) { return t.id == id; });
    }

    void Destroy() override {
        if (m_destroyed) return;
        m_destroyed = true;
        m_timers.clear();
        SendMessage(this, msg::Destroy, 0, 0);
        SDL_HideWindow(m_window);
    }

    WindowProc Proc() const override { return m_proc; }

    SDL_Window* Native() const { return m_window; }
    uint32_t Id() const { return SDL_GetWindowID(m_window); }
    void SetFocusState(bool focus) { m_focus = focus; }

    // A timer message when one is due; the timer's next time is one interval
    // from now, so a slow frame never builds a backlog.
    bool TakeDueTimer(Message& out) {
        uint32_t now = os::TimeGetTimeMs();
        for (Timer& t : m_timers) {
            if (static_cast<int32_t>(now - t.due) >= 0) {
                t.due = now + t.interval;
                out = {this, msg::Timer, t.id, 0};
                return true;
            }
        }
        return false;
    }

  private:
    struct Timer {
        uint32_t id;
        uint32_t interval;
        uint32_t due;
    };
    SDL_Window* m_window;
    WindowProc m_proc;
    bool m_focus;
    bool m_fullScreen = false;
    bool m_destroyed = false;
    std::vector<Timer> m_timers;
};

SdlWindow* FindWindow(uint32_t sdlId) {
    for (SdlWindow* w : TheQueue().windows) {
        if (w->Id() == sdlId) return w;
    }
    return nullptr;
}

SdlWindow* MainWindow() {
    auto& ws = TheQueue().windows;
    for (SdlWindow* w : ws) {
        if (!w->IsDestroyed()) return w;
    }
    return nullptr;
}

// lParam of a key message: repeat count 1, bit 30 the previous state, bit 31
// the transition (set for key up).
intptr_t KeyLParam(const SDL_KeyboardEvent& k) {
    uint32_t l = 1;
    if (k.repeat || k.state == SDL_RELEASED) l |= 1u << 30;
    if (k.state == SDL_RELEASED) l |= 1u << 31;
    return static_cast<intptr_t>(static_cast<int32_t>(l));
}

bool Convert(const SDL_Event& e, Message& out) {
    switch (e.type) {
    case SDL_QUIT: {
        // SIGINT, SIGTERM or the last window closed: the same as closing the
        // window; one that comes before the window waits for it.
        SdlWindow* w = MainWindow();
        if (!w) {
            TheQueue().closePending = true;
            return false;
        }
        out = {w, msg::Close, 0, 0};
        return true;
    }
    case SDL_KEYDOWN:
    case SDL_KEYUP: {
        SdlWindow* w = FindWindow(e.key.windowID);
        if (!w) w = MainWindow();
        if (!w) return false;
        uint32_t vkey = sdl::VirtualKeyFromKeycode(e.key.keysym.sym);
        if (vkey == 0) return false;
        bool down = e.type == SDL_KEYDOWN;
        bool sys = vkey == vk::Menu || vkey == vk::F1 + 9;
        uint32_t id = down ? (sys ? msg::SysKeyDown : msg::KeyDown) : (sys ? msg::SysKeyUp : msg::KeyUp);
        out = {w, id, vkey, KeyLParam(e.key)};
        return true;
    }
    case SDL_WINDOWEVENT: {
        SdlWindow* w = FindWindow(e.window.windowID);
        if (!w) return false;
        switch (e.window.event) {
        case SDL_WINDOWEVENT_CLOSE:
            out = {w, msg::Close, 0, 0};
            return true;
        case SDL_WINDOWEVENT_FOCUS_GAINED:
            w->SetFocusState(true);
            out = {w, msg::ActivateApp, 1, 0};
            return true;
        case SDL_WINDOWEVENT_FOCUS_LOST:
            w->SetFocusState(false);
            out = {w, msg::ActivateApp, 0, 0};
            return true;
        case SDL_WINDOWEVENT_EXPOSED:
            out = {w, msg::Paint, 0, 0};
            return true;
        default:
            return false;
        }
    }
    default:
        return false;
    }
}

} // namespace

namespace sdl {

bool InitVideo() {
    static int state = 0; // 0 not tried, 1 ok, -1 failed
    if (state == 0) {
        state = SDL_InitSubSystem(SDL_INIT_VIDEO | SDL_INIT_EVENTS) == 0 ? 1 : -1;
        if (state < 0) g_LastError = SDL_GetError();
        CatchTerminationSignals(); // in place of SDL's own, which drops a quit before the window
    }
    return state > 0;
}

// Mesa's driver frees some of what it keeps only at process exit; once it is
// unloaded the leak checker can no longer name it for its suppression list.
// The driver is loaded by the first GL window (EGL starts with it), so this
// runs after every window and context made until the driver is found.
void KeepGlDriverLoaded() {
    static bool kept = false;
    if (kept) return;
    // Mesa's drivers: <name>_dri.so, or libgallium in newer releases.
    auto keep = [](dl_phdr_info* info, size_t, void* found) {
        const char* name = info->dlpi_name;
        if (name && (std::strstr(name, "_dri.so") || std::strstr(name, "libgallium"))) {
            if (dlopen(name, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE)) *static_cast<bool*>(found) = true;
        }
        return 0;
    };
    dl_iterate_phdr(keep, &kept);
}

SDL_GLContext CreateGlContext(SDL_Window* w) {
    SDL_GLContext context = SDL_GL_CreateContext(w);
    if (context) KeepGlDriverLoaded();
    return context;
}

SDL_Window* NativeWindow(Window* w) {
    return w ? static_cast<SdlWindow*>(w)->Native() : nullptr;
}

namespace {
struct Observer {
    EventObserver fn;
    void* context;
};
std::vector<Observer>& Observers() {
    static std::vector<Observer> observers;
    return observers;
}
} // namespace

void AddEventObserver(EventObserver observer, void* context) {
    if (observer) Observers().push_back({observer, context});
}

void RemoveEventObserver(EventObserver observer, void* context) {
    std::erase_if(Observers(), [&](const Observer& o) { return o.fn == observer && o.context == context; });
}

// By index, with the entry copied before the call, so that an observer may
// add or remove observers (one removed meanwhile may miss this event); the
// pump allocates nothing.
void NotifyEventObservers(const SDL_Event& e) {
    std::vector<Observer>& observers = Observers();
    for (size_t i = 0; i < observers.size(); ++i) {
        const Observer o = observers[i];
        o.fn(e, o.context);
    }
}

} // namespace sdl

std::unique_ptr<Window> CreateWindow(const CreateParams& p) {
    if (!sdl::InitVideo()) return nullptr;
    uint32_t flags = SDL_WINDOW_OPENGL | (p.visible ? SDL_WINDOW_SHOWN : SDL_WINDOW_HIDDEN);
    if (p.popup) flags |= SDL_WINDOW_BORDERLESS;
    int x = p.x == DefaultPosition ? int(SDL_WINDOWPOS_UNDEFINED) : p.x;
    int y = p.y == DefaultPosition ? int(SDL_WINDOWPOS_UNDEFINED) : p.y;
    SDL_Window* w = SDL_CreateWindow(p.title.c_str(), x, y, p.width, p.height, flags);
    if (!w) {
        g_LastError = SDL_GetError();
        return nullptr;
    }
    sdl::KeepGlDriverLoaded();
    return std::make_unique<SdlWindow>(w, p.proc ? p.proc : &DefWindowProc, p.visible);
}

void CatchTerminationSignals() {
    struct sigaction action {};
    action.sa_handler = OnTerminationSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

const char* LastError() {
    return g_LastError.c_str();
}

bool PeekMessage(Message& out) {
    Queue& q = TheQueue();
    if (!q.posted.empty()) {
        out = q.posted.front();
        q.posted.pop_front();
        return true;
    }
    if (g_terminationSignal.exchange(false)) {
        // As an SDL quit event, so that the start-up dialogs see it too.
        SDL_Event quit{};
        quit.type = SDL_QUIT;
        if (!SDL_WasInit(SDL_INIT_EVENTS) || SDL_PushEvent(&quit) != 1) q.closePending = true;
    }
    if (q.closePending && MainWindow()) {
        q.closePending = false;
        out = {MainWindow(), msg::Close, 0, 0};
        return true;
    }
    if (SDL_WasInit(SDL_INIT_EVENTS)) {
        // Pump and take events directly: SDL_PollEvent stops at the marker it
        // leaves after each pump, which would report an empty queue while
        // events wait behind it.
        SDL_PumpEvents();
        SDL_Event e;
        while (SDL_PeepEvents(&e, 1, SDL_GETEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT) == 1) {
            sdl::NotifyEventObservers(e);
            if (Convert(e, out)) return true;
        }
    }
    if (q.quitPending) {
        q.quitPending = false;
        out = {nullptr, msg::Quit, static_cast<uintptr_t>(q.quitCode), 0};
        return true;
    }
    for (SdlWindow* w : q.windows) {
        if (!w->IsDestroyed() && w->TakeDueTimer(out)) return true;
    }
    return false;
}

void TranslateMessage(const Message&) {}

intptr_t DispatchMessage(const Message& m) {
    if (!m.window) return 0;
    return m.window->Proc()(m.window, m.message, m.wParam, m.lParam);
}

intptr_t SendMessage(Window* window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    if (!window) return 0;
    return window->Proc()(window, message, wParam, lParam);
}

void PostMessage(Window* window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    TheQueue().posted.push_back({window, message, wParam, lParam});
}

void PostQuitMessage(int exitCode) {
    TheQueue().quitPending = true;
    TheQueue().quitCode = exitCode;
}

intptr_t DefWindowProc(Window* window, uint32_t message, uintptr_t, intptr_t) {
    if (message == msg::Close && window) window->Destroy();
    return 0;
}

bool TerminationRequested() {
    return g_terminationRequested.load();
}

void ClearMessageQueue() {
    g_terminationRequested.store(false);
    Queue& q = TheQueue();
    q.posted.clear();
    q.quitPending = false;
    q.quitCode = 0;
}

bool Unattended() {
    const char* v = std::getenv("ZT_UNATTENDED");
    return v && *v && std::strcmp(v, "0") != 0;
}

void MessageBox(const char* text, const char* caption) {
    text = text ? text : "";
    caption = caption ? caption : "";
    if (!Unattended() && sdl::InitVideo() &&
        std::strcmp(SDL_GetCurrentVideoDriver() ? SDL_GetCurrentVideoDriver() : "", "offscreen") != 0 &&
        SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_INFORMATION, caption, text, nullptr) == 0) {
        return;
    }
    std::fprintf(stderr, "%s: %s\n", caption, text);
    std::fflush(stderr);
}

} // namespace window
