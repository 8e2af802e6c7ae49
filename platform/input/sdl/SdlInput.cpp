// The input devices on SDL. Each device watches the SDL events of the
// window's message pump (window::sdl::AddEventObserver) and keeps what the
// engine reads: the keyboard its 256-byte table, the mouse a bounded buffer of
// events and the motion since the last state read.
#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/input/Input.h"
#include "platform/input/sdl/SdlInput.h"
#include "platform/window/Window.h"
#include "platform/window/sdl/SdlWindow.h"

namespace input {
namespace {

class SdlDevice final : public Device {
  public:
    explicit SdlDevice(DeviceKind kind) : m_kind(kind) {
        window::sdl::AddEventObserver(&SdlDevice::Observe, this);
    }
    ~SdlDevice() override {
        window::sdl::RemoveEventObserver(&SdlDevice::Observe, this);
        Deactivate();
    }

    DeviceKind Kind() const override { return m_kind; }

    Result SetDataFormat(DataFormat format) override {
        const bool fits = (m_kind == DeviceKind::Keyboard) == (format == DataFormat::Keyboard);
        if (!fits) return Result::InvalidParam;
        m_formatSet = true;
        return Result::Ok;
    }

    Result SetCooperativeLevel(window::Window* w, uint32_t flags) override {
        if (!w || !window::sdl::NativeWindow(w)) return Result::NoWindow;
        if (m_acquired) return Result::InvalidParam;
        m_window = w;
        m_windowId = SDL_GetWindowID(window::sdl::NativeWindow(w));
        m_flags = flags;
        return Result::Ok;
    }

    Result SetBufferSize(uint32_t events) override {
        if (m_acquired) return Result::InvalidParam;
        // The ring is made here, once: taking events allocates nothing.
        m_ring.assign(events, MouseEvent{});
        m_first = m_count = 0;
        return Result::Ok;
    }

    Result Acquire() override {
        if (!m_window) return Result::NoWindow;
        if (!m_formatSet) return Result::InvalidParam;
        m_acquired = true;
        // Acquired while another window has the focus: the device starts
        // delivering once this window gets it.
        if (!m_window->HasFocus()) return Result::OtherAppHasPrio;
        Activate();
        return Result::Ok;
    }

    Result Unacquire() override {
        if (!m_acquired) return Result::NotAcquired;
        m_acquired = false;
        m_lost = false;
        Deactivate();
        return Result::Ok;
    }

    Result GetDeviceState(void* data, uint32_t size) override {
        if (!data) return Result::InvalidParam;
        if (Result r = ReadableState(); r != Result::Ok) return r;
        if (m_kind == DeviceKind::Keyboard) {
            if (size != sizeof m_keys) return Result::InvalidParam;
            std::memcpy(data, m_keys, sizeof m_keys);
            return Result::Ok;
        }
        if (size != sizeof(MouseState)) return Result::InvalidParam;
        std::memcpy(data, &m_mouse, sizeof m_mouse);
        m_mouse.x = m_mouse.y = m_mouse.z = 0;
        return Result::Ok;
    }

    Result GetDeviceData(MouseEvent* events, uint32_t* count) override {
        if (!count || (*count > 0 && !events)) return Result::InvalidParam;
        if (m_kind != DeviceKind::Mouse || m_ring.empty()) {
            *count = 0;
            return Result::InvalidParam;
        }
        if (Result r = ReadableState(); r != Result::Ok) {
            *count = 0;
            return r;
        }
        const uint32_t n = std::min(*count, m_count);
        for (uint32_t i = 0; i < n; ++i)
            events[i] = m_ring[(m_first + i) % m_ring.size()];
        m_first = uint32_t((m_first + n) % m_ring.size());
        m_count -= n;
        *count = n;
        const bool overflow = m_overflow;
        m_overflow = false;
        return overflow ? Result::BufferOverflow : Result::Ok;
    }

    void Release() override { delete this; }

  private:
    // Ok when the state may be read; reports the loss of the focus once.
    Result ReadableState() {
        if (m_lost) {
            m_lost = false;
            return Result::InputLost;
        }
        return m_active ? Result::Ok : Result::NotAcquired;
    }

    void Activate() {
        if (m_active) return;
        m_active = true;
        std::memset(m_keys, 0, sizeof m_keys);
        m_mouse = {};
        if (m_kind == DeviceKind::Mouse && (m_flags & coop::Exclusive)) SDL_SetRelativeMouseMode(SDL_TRUE);
    }

    void Deactivate() {
        if (!m_active) return;
        m_active = false;
        std::memset(m_keys, 0, sizeof m_keys);
        m_mouse = {};
        m_first = m_count = 0;
        m_overflow = false;
        if (m_kind == DeviceKind::Mouse && (m_flags & coop::Exclusive)) SDL_SetRelativeMouseMode(SDL_FALSE);
    }

    void Push(uint32_t offset, int32_t data, uint32_t time) {
        if (m_ring.empty()) return;
        if (m_count >= m_ring.size()) {
            m_overflow = true;
            return;
        }
        m_ring[(m_first + m_count) % m_ring.size()] = {offset, data, time, m_sequence++};
        ++m_count;
    }

    static void Observe(const SDL_Event& e, void* context) { static_cast<SdlDevice*>(context)->OnEvent(e); }

    void OnEvent(const SDL_Event& e) {
        if (!m_window) return;
        if (e.type == SDL_WINDOWEVENT && e.window.windowID == m_windowId) {
            if (e.window.event == SDL_WINDOWEVENT_FOCUS_LOST && m_active) {
                Deactivate();
                m_lost = true;
            } else if (e.window.event == SDL_WINDOWEVENT_FOCUS_GAINED && m_acquired) {
                Activate();
            }
            return;
        }
        if (!m_active) return;
        if (m_kind == DeviceKind::Keyboard) {
            OnKeyboardEvent(e);
        } else {
            OnMouseEvent(e);
        }
    }

    void OnKeyboardEvent(const SDL_Event& e) {
        if (e.type != SDL_KEYDOWN && e.type != SDL_KEYUP) return;
        if (e.key.windowID != m_windowId) return;
        const uint8_t code = sdl::DikFromScancode(e.key.keysym.scancode);
        if (code != 0) m_keys[code] = e.type == SDL_KEYDOWN ? 0x80 : 0;
    }

    void OnMouseEvent(const SDL_Event& e) {
        switch (e.type) {
        case SDL_MOUSEMOTION:
            if (e.motion.windowID != m_windowId || e.motion.which == SDL_TOUCH_MOUSEID) return;
            if (e.motion.xrel != 0) {
                m_mouse.x += e.motion.xrel;
                Push(mouseofs::X, e.motion.xrel, e.motion.timestamp);
            }
            if (e.motion.yrel != 0) {
                m_mouse.y += e.motion.yrel;
                Push(mouseofs::Y, e.motion.yrel, e.motion.timestamp);
            }
            break;
        case SDL_MOUSEWHEEL: {
            if (e.wheel.windowID != m_windowId || e.wheel.which == SDL_TOUCH_MOUSEID) return;
            int32_t steps = e.wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -e.wheel.y : e.wheel.y;
            if (steps == 0) return;
            m_mouse.z += steps * WheelDelta;
            Push(mouseofs::Z, steps * WheelDelta, e.wheel.timestamp);
            break;
        }
        case SDL_MOUSEBUTTONDOWN:
        case SDL_MOUSEBUTTONUP: {
            if (e.button.windowID != m_windowId || e.button.which == SDL_TOUCH_MOUSEID) return;
            const int b = sdl::ButtonFromSdl(e.button.button);
            if (b < 0) return;
            const uint8_t data = e.type == SDL_MOUSEBUTTONDOWN ? 0x80 : 0;
            m_mouse.buttons[b] = data;
            Push(mouseofs::Button0 + uint32_t(b), data, e.button.timestamp);
            break;
        }
        default:
            break;
        }
    }

    DeviceKind m_kind;
    window::Window* m_window = nullptr;
    uint32_t m_windowId = 0;
    uint32_t m_flags = 0;
    bool m_formatSet = false;
    bool m_acquired = false; // asked for by the program
    bool m_active = false;   // acquired and the window has the focus
    bool m_lost = false;     // the focus went since the last read

    uint8_t m_keys[256] = {};
    MouseState m_mouse;
    std::vector<MouseEvent> m_ring; // the buffered events, m_count of them from m_first
    uint32_t m_first = 0;
    uint32_t m_count = 0;
    uint32_t m_sequence = 0;
    bool m_overflow = false;
};

class SdlInterface final : public Interface {
  public:
    Result CreateDevice(DeviceKind kind, Device** device) override {
        if (!device) return Result::InvalidParam;
        *device = new SdlDevice(kind);
        return Result::Ok;
    }
    void Release() override { delete this; }
};

} // namespace

Interface* Create() {
    if (!window::sdl::InitVideo()) return nullptr;
    return new SdlInterface;
}

namespace {

// The SDL id of the window, 0 without a window or an event system.
uint32_t EventWindowId(window::Window* w) {
    SDL_Window* native = window::sdl::NativeWindow(w);
    return native && SDL_WasInit(SDL_INIT_EVENTS) ? SDL_GetWindowID(native) : 0;
}

bool Push(SDL_Event& e) {
    return SDL_PushEvent(&e) == 1;
}

} // namespace

bool PushKey(window::Window* w, uint8_t code, bool down) {
    const uint32_t id = EventWindowId(w);
    const SDL_Scancode scancode = sdl::ScancodeFromDik(code);
    if (!id || scancode == SDL_SCANCODE_UNKNOWN) return false;
    SDL_Event e{};
    e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
    e.key.timestamp = SDL_GetTicks();
    e.key.windowID = id;
    e.key.state = down ? SDL_PRESSED : SDL_RELEASED;
    e.key.keysym.scancode = scancode;
    e.key.keysym.sym = SDL_GetKeyFromScancode(scancode);
    return Push(e);
}

bool PushMouseMotion(window::Window* w, int32_t dx, int32_t dy) {
    const uint32_t id = EventWindowId(w);
    if (!id) return false;
    SDL_Event e{};
    e.type = SDL_MOUSEMOTION;
    e.motion.timestamp = SDL_GetTicks();
    e.motion.windowID = id;
    e.motion.xrel = dx;
    e.motion.yrel = dy;
    return Push(e);
}

bool PushMouseButton(window::Window* w, int button, bool down) {
    const uint32_t id = EventWindowId(w);
    const uint8_t sdlButton = sdl::SdlButton(button);
    if (!id || !sdlButton) return false;
    SDL_Event e{};
    e.type = down ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
    e.button.timestamp = SDL_GetTicks();
    e.button.windowID = id;
    e.button.button = sdlButton;
    e.button.state = down ? SDL_PRESSED : SDL_RELEASED;
    e.button.clicks = 1;
    return Push(e);
}

bool PushMouseWheel(window::Window* w, int32_t steps) {
    const uint32_t id = EventWindowId(w);
    if (!id) return false;
    SDL_Event e{};
    e.type = SDL_MOUSEWHEEL;
    e.wheel.timestamp = SDL_GetTicks();
    e.wheel.windowID = id;
    e.wheel.y = steps;
    e.wheel.direction = SDL_MOUSEWHEEL_NORMAL;
    return Push(e);
}

} // namespace input
