// The input service: a keyboard read as a 256-byte state table indexed by
// DirectInput key codes, and a mouse read as a buffer of relative events
// (x, y, wheel, buttons), both created from one input interface the way the
// engine expects of DirectInput 8.
//
// Devices follow the foreground-exclusive model: a device is acquired on a
// window and delivers input only while that window has the focus. When the
// window loses the focus the device drops what it held and reports
// InputLost once; it comes back on its own when the window gets the focus
// again, so the engine's timer keeps polling without a re-acquire dance. An
// acquired mouse is in relative mode (the cursor hidden and held); unacquired
// it is released. Wheel steps are 120 units each, as on Windows; buttons are
// numbered left 0, right 1, middle 2, then the side buttons 3 and 4.
//
// Events reach the devices through the window layer's message pump (sdl/),
// so a device sees input only while the program pumps messages. Main thread
// only.
//
// Lifetimes: Release frees a device or the interface; a device may outlive
// the interface. Failure policy: Create returns null when there is no video
// or event system; every call answers with a Result the caller may log.
#pragma once

#include <cstdint>

namespace window {
class Window;
}

namespace input {

enum class Result : uint32_t {
    Ok,
    BufferOverflow,  // the data came, but newer events were lost
    InputLost,       // the window lost the focus since the last read
    NotAcquired,     // the device is not acquired
    OtherAppHasPrio, // Acquire while another window has the focus
    InvalidParam,
    NoWindow, // no cooperative window set
};

enum class DeviceKind : uint32_t { Keyboard, Mouse };

// The state layouts SetDataFormat accepts: the keyboard's 256 bytes, and the
// mouse's x, y, wheel (i32 each) and eight button bytes.
enum class DataFormat : uint32_t { Keyboard, Mouse2 };

namespace coop {
constexpr uint32_t Exclusive = 0x1;
constexpr uint32_t NonExclusive = 0x2;
constexpr uint32_t Foreground = 0x4;
constexpr uint32_t Background = 0x8;
} // namespace coop

// One buffered mouse event: which element changed (the DirectInput offsets
// of the Mouse2 layout) and its data: relative motion for the axes, 0x80
// (down) or 0 (up) for a button.
namespace mouseofs {
constexpr uint32_t X = 0;
constexpr uint32_t Y = 4;
constexpr uint32_t Z = 8; // the wheel, in steps of WheelDelta
constexpr uint32_t Button0 = 12;
constexpr uint32_t Button1 = 13;
constexpr uint32_t Button2 = 14;
constexpr uint32_t Button3 = 15;
constexpr uint32_t Button4 = 16;
} // namespace mouseofs
constexpr int32_t WheelDelta = 120;

struct MouseEvent {
    uint32_t offset = 0;
    int32_t data = 0;
    uint32_t timeMs = 0;
    uint32_t sequence = 0;
};

// The Mouse2 state layout (GetDeviceState of a mouse).
struct MouseState {
    int32_t x = 0, y = 0, z = 0;
    uint8_t buttons[8] = {};
};

class Device {
  public:
    virtual ~Device() = default;

    virtual DeviceKind Kind() const = 0;
    virtual Result SetDataFormat(DataFormat format) = 0;
    virtual Result SetCooperativeLevel(window::Window* window, uint32_t flags) = 0;
    // Events kept between reads; the default is 0 (no buffering).
    virtual Result SetBufferSize(uint32_t events) = 0;
    virtual Result Acquire() = 0;
    virtual Result Unacquire() = 0;
    // Keyboard: 256 bytes, 0x80 for a key that is down. Mouse: MouseState,
    // the motion since the last call.
    virtual Result GetDeviceState(void* data, uint32_t size) = 0;
    // Takes up to *count buffered events, oldest first; *count becomes the
    // number taken.
    virtual Result GetDeviceData(MouseEvent* events, uint32_t* count) = 0;
    virtual void Release() = 0;
};

class Interface {
  public:
    virtual ~Interface() = default;
    virtual Result CreateDevice(DeviceKind kind, Device** device) = 0;
    virtual void Release() = 0;
};

// The input interface, or null when input cannot be read at all.
Interface* Create();

// Input made by the program itself (scripted play): events of the window put
// into the window system's queue, so that the next message pump hands them
// to the devices and the key messages exactly as a person's input. False
// when there is no event system, no such window, or the key or button has
// no counterpart there. Keys are DirectInput codes, buttons DirectInput's
// numbers (0..4), wheel motion in steps.
bool PushKey(window::Window* w, uint8_t code, bool down);
bool PushMouseMotion(window::Window* w, int32_t dx, int32_t dy);
bool PushMouseButton(window::Window* w, int button, bool down);
bool PushMouseWheel(window::Window* w, int32_t steps);

// DirectInput keyboard codes (the PC's set-1 scan codes, extended keys with
// the high bit set). Key bindings and key names use them.
namespace dik {
constexpr uint8_t Escape = 0x01, Key1 = 0x02, Key2 = 0x03, Key3 = 0x04, Key4 = 0x05, Key5 = 0x06;
constexpr uint8_t Key6 = 0x07, Key7 = 0x08, Key8 = 0x09, Key9 = 0x0A, Key0 = 0x0B, Minus = 0x0C;
constexpr uint8_t Equals = 0x0D, Back = 0x0E, Tab = 0x0F, Q = 0x10, W = 0x11, E = 0x12, R = 0x13, T = 0x14;
constexpr uint8_t Y = 0x15, U = 0x16, I = 0x17, O = 0x18, P = 0x19, LBracket = 0x1A, RBracket = 0x1B;
constexpr uint8_t Return = 0x1C, LControl = 0x1D, A = 0x1E, S = 0x1F, D = 0x20, F = 0x21, G = 0x22, H = 0x23;
constexpr uint8_t J = 0x24, K = 0x25, L = 0x26, Semicolon = 0x27, Apostrophe = 0x28, Grave = 0x29;
constexpr uint8_t LShift = 0x2A, Backslash = 0x2B, Z = 0x2C, X = 0x2D, C = 0x2E, V = 0x2F, B = 0x30, N = 0x31;
constexpr uint8_t M = 0x32, Comma = 0x33, Period = 0x34, Slash = 0x35, RShift = 0x36, Multiply = 0x37;
constexpr uint8_t LMenu = 0x38, Space = 0x39, Capital = 0x3A, F1 = 0x3B, F2 = 0x3C, F3 = 0x3D, F4 = 0x3E;
constexpr uint8_t F5 = 0x3F, F6 = 0x40, F7 = 0x41, F8 = 0x42, F9 = 0x43, F10 = 0x44, NumLock = 0x45;
constexpr uint8_t Scroll = 0x46, Numpad7 = 0x47, Numpad8 = 0x48, Numpad9 = 0x49, Subtract = 0x4A;
constexpr uint8_t Numpad4 = 0x4B, Numpad5 = 0x4C, Numpad6 = 0x4D, Add = 0x4E, Numpad1 = 0x4F, Numpad2 = 0x50;
constexpr uint8_t Numpad3 = 0x51, Numpad0 = 0x52, Decimal = 0x53, Oem102 = 0x56, F11 = 0x57, F12 = 0x58;
constexpr uint8_t F13 = 0x64, F14 = 0x65, F15 = 0x66, Kana = 0x70, AbntC1 = 0x73, Convert = 0x79;
constexpr uint8_t NoConvert = 0x7B, Yen = 0x7D, AbntC2 = 0x7E, NumpadEquals = 0x8D, PrevTrack = 0x90;
constexpr uint8_t NextTrack = 0x99, NumpadEnter = 0x9C, RControl = 0x9D, Mute = 0xA0, Calculator = 0xA1;
constexpr uint8_t PlayPause = 0xA2, MediaStop = 0xA4, VolumeDown = 0xAE, VolumeUp = 0xB0, WebHome = 0xB2;
constexpr uint8_t NumpadComma = 0xB3, Divide = 0xB5, SysRq = 0xB7, RMenu = 0xB8, Pause = 0xC5, Home = 0xC7;
constexpr uint8_t Up = 0xC8, Prior = 0xC9, Left = 0xCB, Right = 0xCD, End = 0xCF, Down = 0xD0, Next = 0xD1;
constexpr uint8_t Insert = 0xD2, Delete = 0xD3, LWin = 0xDB, RWin = 0xDC, Apps = 0xDD, Power = 0xDE;
constexpr uint8_t Sleep = 0xDF, Wake = 0xE3, WebSearch = 0xE5, WebFavorites = 0xE6, WebRefresh = 0xE7;
constexpr uint8_t WebStop = 0xE8, WebForward = 0xE9, WebBack = 0xEA, MyComputer = 0xEB, Mail = 0xEC;
constexpr uint8_t MediaSelect = 0xED;
} // namespace dik

} // namespace input
