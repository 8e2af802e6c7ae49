// The one table from SDL key codes (layout-dependent, like virtual keys) to
// Windows virtual-key codes.
#include <array>

#include "platform/window/Window.h"
#include "platform/window/sdl/SdlWindow.h"

namespace window::sdl {
namespace {

struct KeyPair {
    SDL_Keycode sdl;
    uint32_t vkey;
};

constexpr KeyPair kKeys[] = {
    {SDLK_BACKSPACE, vk::Back},
    {SDLK_TAB, vk::Tab},
    {SDLK_RETURN, vk::Return},
    {SDLK_KP_ENTER, vk::Return},
    {SDLK_LSHIFT, vk::Shift},
    {SDLK_RSHIFT, vk::Shift},
    {SDLK_LCTRL, vk::Control},
    {SDLK_RCTRL, vk::Control},
    {SDLK_LALT, vk::Menu},
    {SDLK_RALT, vk::Menu},
    {SDLK_PAUSE, vk::Pause},
    {SDLK_CAPSLOCK, vk::Capital},
    {SDLK_ESCAPE, vk::Escape},
    {SDLK_SPACE, vk::Space},
    {SDLK_PAGEUP, vk::Prior},
    {SDLK_PAGEDOWN, vk::Next},
    {SDLK_END, vk::End},
    {SDLK_HOME, vk::Home},
    {SDLK_LEFT, vk::Left},
    {SDLK_UP, vk::Up},
    {SDLK_RIGHT, vk::Right},
    {SDLK_DOWN, vk::Down},
    {SDLK_PRINTSCREEN, vk::Snapshot},
    {SDLK_INSERT, vk::Insert},
    {SDLK_DELETE, vk::Delete},
    {SDLK_LGUI, vk::LWin},
    {SDLK_RGUI, vk::RWin},
    {SDLK_APPLICATION, vk::Apps},
    {SDLK_KP_0, vk::Numpad0 + 0},
    {SDLK_KP_1, vk::Numpad0 + 1},
    {SDLK_KP_2, vk::Numpad0 + 2},
    {SDLK_KP_3, vk::Numpad0 + 3},
    {SDLK_KP_4, vk::Numpad0 + 4},
    {SDLK_KP_5, vk::Numpad0 + 5},
    {SDLK_KP_6, vk::Numpad0 + 6},
    {SDLK_KP_7, vk::Numpad0 + 7},
    {SDLK_KP_8, vk::Numpad0 + 8},
    {SDLK_KP_9, vk::Numpad0 + 9},
    {SDLK_KP_MULTIPLY, vk::Multiply},
    {SDLK_KP_PLUS, vk::Add},
    {SDLK_KP_MINUS, vk::Subtract},
    {SDLK_KP_PERIOD, vk::Decimal},
    {SDLK_KP_DIVIDE, vk::Divide},
    {SDLK_NUMLOCKCLEAR, vk::NumLock},
    {SDLK_SCROLLLOCK, vk::Scroll},
    {SDLK_SEMICOLON, vk::Oem1},
    {SDLK_EQUALS, vk::OemPlus},
    {SDLK_PLUS, vk::OemPlus},
    {SDLK_COMMA, vk::OemComma},
    {SDLK_MINUS, vk::OemMinus},
    {SDLK_PERIOD, vk::OemPeriod},
    {SDLK_SLASH, vk::Oem2},
    {SDLK_BACKQUOTE, vk::Oem3},
    {SDLK_LEFTBRACKET, vk::Oem4},
    {SDLK_BACKSLASH, vk::Oem5},
    {SDLK_RIGHTBRACKET, vk::Oem6},
    {SDLK_QUOTE, vk::Oem7},
};

} // namespace

uint32_t VirtualKeyFromKeycode(SDL_Keycode key) {
    if (key >= SDLK_a && key <= SDLK_z) return 'A' + uint32_t(key - SDLK_a);
    if (key >= SDLK_0 && key <= SDLK_9) return '0' + uint32_t(key - SDLK_0);
    if (key >= SDLK_F1 && key <= SDLK_F12) return vk::F1 + uint32_t(key - SDLK_F1);
    for (const KeyPair& k : kKeys) {
        if (k.sdl == key) return k.vkey;
    }
    return 0;
}

} // namespace window::sdl
