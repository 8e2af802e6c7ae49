// Scancodes name physical key positions, as DirectInput codes do, so the
// table holds whatever the keyboard layout.
#include "platform/input/Input.h"
#include "platform/input/sdl/SdlInput.h"

namespace input::sdl {
namespace {

struct KeyPair {
    SDL_Scancode scancode;
    uint8_t dik;
};

constexpr KeyPair kKeys[] = {
    {SDL_SCANCODE_ESCAPE, dik::Escape},
    {SDL_SCANCODE_1, dik::Key1},
    {SDL_SCANCODE_2, dik::Key2},
    {SDL_SCANCODE_3, dik::Key3},
    {SDL_SCANCODE_4, dik::Key4},
    {SDL_SCANCODE_5, dik::Key5},
    {SDL_SCANCODE_6, dik::Key6},
    {SDL_SCANCODE_7, dik::Key7},
    {SDL_SCANCODE_8, dik::Key8},
    {SDL_SCANCODE_9, dik::Key9},
    {SDL_SCANCODE_0, dik::Key0},
    {SDL_SCANCODE_MINUS, dik::Minus},
    {SDL_SCANCODE_EQUALS, dik::Equals},
    {SDL_SCANCODE_BACKSPACE, dik::Back},
    {SDL_SCANCODE_TAB, dik::Tab},
    {SDL_SCANCODE_Q, dik::Q},
    {SDL_SCANCODE_W, dik::W},
    {SDL_SCANCODE_E, dik::E},
    {SDL_SCANCODE_R, dik::R},
    {SDL_SCANCODE_T, dik::T},
    {SDL_SCANCODE_Y, dik::Y},
    {SDL_SCANCODE_U, dik::U},
    {SDL_SCANCODE_I, dik::I},
    {SDL_SCANCODE_O, dik::O},
    {SDL_SCANCODE_P, dik::P},
    {SDL_SCANCODE_LEFTBRACKET, dik::LBracket},
    {SDL_SCANCODE_RIGHTBRACKET, dik::RBracket},
    {SDL_SCANCODE_RETURN, dik::Return},
    {SDL_SCANCODE_LCTRL, dik::LControl},
    {SDL_SCANCODE_A, dik::A},
    {SDL_SCANCODE_S, dik::S},
    {SDL_SCANCODE_D, dik::D},
    {SDL_SCANCODE_F, dik::F},
    {SDL_SCANCODE_G, dik::G},
    {SDL_SCANCODE_H, dik::H},
    {SDL_SCANCODE_J, dik::J},
    {SDL_SCANCODE_K, dik::K},
    {SDL_SCANCODE_L, dik::L},
    {SDL_SCANCODE_SEMICOLON, dik::Semicolon},
    {SDL_SCANCODE_APOSTROPHE, dik::Apostrophe},
    {SDL_SCANCODE_GRAVE, dik::Grave},
    {SDL_SCANCODE_LSHIFT, dik::LShift},
    {SDL_SCANCODE_BACKSLASH, dik::Backslash},
    {SDL_SCANCODE_NONUSHASH, dik::Backslash},
    {SDL_SCANCODE_Z, dik::Z},
    {SDL_SCANCODE_X, dik::X},
    {SDL_SCANCODE_C, dik::C},
    {SDL_SCANCODE_V, dik::V},
    {SDL_SCANCODE_B, dik::B},
    {SDL_SCANCODE_N, dik::N},
    {SDL_SCANCODE_M, dik::M},
    {SDL_SCANCODE_COMMA, dik::Comma},
    {SDL_SCANCODE_PERIOD, dik::Period},
    {SDL_SCANCODE_SLASH, dik::Slash},
    {SDL_SCANCODE_RSHIFT, dik::RShift},
    {SDL_SCANCODE_KP_MULTIPLY, dik::Multiply},
    {SDL_SCANCODE_LALT, dik::LMenu},
    {SDL_SCANCODE_SPACE, dik::Space},
    {SDL_SCANCODE_CAPSLOCK, dik::Capital},
    {SDL_SCANCODE_F1, dik::F1},
    {SDL_SCANCODE_F2, dik::F2},
    {SDL_SCANCODE_F3, dik::F3},
    {SDL_SCANCODE_F4, dik::F4},
    {SDL_SCANCODE_F5, dik::F5},
    {SDL_SCANCODE_F6, dik::F6},
    {SDL_SCANCODE_F7, dik::F7},
    {SDL_SCANCODE_F8, dik::F8},
    {SDL_SCANCODE_F9, dik::F9},
    {SDL_SCANCODE_F10, dik::F10},
    {SDL_SCANCODE_NUMLOCKCLEAR, dik::NumLock},
    {SDL_SCANCODE_SCROLLLOCK, dik::Scroll},
    {SDL_SCANCODE_KP_7, dik::Numpad7},
    {SDL_SCANCODE_KP_8, dik::Numpad8},
    {SDL_SCANCODE_KP_9, dik::Numpad9},
    {SDL_SCANCODE_KP_MINUS, dik::Subtract},
    {SDL_SCANCODE_KP_4, dik::Numpad4},
    {SDL_SCANCODE_KP_5, dik::Numpad5},
    {SDL_SCANCODE_KP_6, dik::Numpad6},
    {SDL_SCANCODE_KP_PLUS, dik::Add},
    {SDL_SCANCODE_KP_1, dik::Numpad1},
    {SDL_SCANCODE_KP_2, dik::Numpad2},
    {SDL_SCANCODE_KP_3, dik::Numpad3},
    {SDL_SCANCODE_KP_0, dik::Numpad0},
    {SDL_SCANCODE_KP_PERIOD, dik::Decimal},
    {SDL_SCANCODE_NONUSBACKSLASH, dik::Oem102},
    {SDL_SCANCODE_F11, dik::F11},
    {SDL_SCANCODE_F12, dik::F12},
    {SDL_SCANCODE_F13, dik::F13},
    {SDL_SCANCODE_F14, dik::F14},
    {SDL_SCANCODE_F15, dik::F15},
    {SDL_SCANCODE_INTERNATIONAL2, dik::Kana},
    {SDL_SCANCODE_INTERNATIONAL1, dik::AbntC1},
    {SDL_SCANCODE_INTERNATIONAL4, dik::Convert},
    {SDL_SCANCODE_INTERNATIONAL5, dik::NoConvert},
    {SDL_SCANCODE_INTERNATIONAL3, dik::Yen},
    {SDL_SCANCODE_KP_EQUALS, dik::NumpadEquals},
    {SDL_SCANCODE_AUDIOPREV, dik::PrevTrack},
    {SDL_SCANCODE_AUDIONEXT, dik::NextTrack},
    {SDL_SCANCODE_KP_ENTER, dik::NumpadEnter},
    {SDL_SCANCODE_RCTRL, dik::RControl},
    {SDL_SCANCODE_AUDIOMUTE, dik::Mute},
    {SDL_SCANCODE_CALCULATOR, dik::Calculator},
    {SDL_SCANCODE_AUDIOPLAY, dik::PlayPause},
    {SDL_SCANCODE_AUDIOSTOP, dik::MediaStop},
    {SDL_SCANCODE_VOLUMEDOWN, dik::VolumeDown},
    {SDL_SCANCODE_VOLUMEUP, dik::VolumeUp},
    {SDL_SCANCODE_AC_HOME, dik::WebHome},
    {SDL_SCANCODE_KP_COMMA, dik::NumpadComma},
    {SDL_SCANCODE_KP_DIVIDE, dik::Divide},
    {SDL_SCANCODE_PRINTSCREEN, dik::SysRq},
    {SDL_SCANCODE_RALT, dik::RMenu},
    {SDL_SCANCODE_PAUSE, dik::Pause},
    {SDL_SCANCODE_HOME, dik::Home},
    {SDL_SCANCODE_UP, dik::Up},
    {SDL_SCANCODE_PAGEUP, dik::Prior},
    {SDL_SCANCODE_LEFT, dik::Left},
    {SDL_SCANCODE_RIGHT, dik::Right},
    {SDL_SCANCODE_END, dik::End},
    {SDL_SCANCODE_DOWN, dik::Down},
    {SDL_SCANCODE_PAGEDOWN, dik::Next},
    {SDL_SCANCODE_INSERT, dik::Insert},
    {SDL_SCANCODE_DELETE, dik::Delete},
    {SDL_SCANCODE_LGUI, dik::LWin},
    {SDL_SCANCODE_RGUI, dik::RWin},
    {SDL_SCANCODE_APPLICATION, dik::Apps},
    {SDL_SCANCODE_POWER, dik::Power},
    {SDL_SCANCODE_SLEEP, dik::Sleep},
    {SDL_SCANCODE_AC_SEARCH, dik::WebSearch},
    {SDL_SCANCODE_AC_BOOKMARKS, dik::WebFavorites},
    {SDL_SCANCODE_AC_REFRESH, dik::WebRefresh},
    {SDL_SCANCODE_AC_STOP, dik::WebStop},
    {SDL_SCANCODE_AC_FORWARD, dik::WebForward},
    {SDL_SCANCODE_AC_BACK, dik::WebBack},
    {SDL_SCANCODE_COMPUTER, dik::MyComputer},
    {SDL_SCANCODE_MAIL, dik::Mail},
    {SDL_SCANCODE_MEDIASELECT, dik::MediaSelect},
};

// Indexed by scancode, and back by DirectInput code (the first scancode of
// the pairs above where two share a code), built once.
struct Table {
    uint8_t dik[SDL_NUM_SCANCODES] = {};
    SDL_Scancode scancode[256] = {};
    constexpr Table() {
        for (const KeyPair& k : kKeys) {
            dik[k.scancode] = k.dik;
            if (scancode[k.dik] == SDL_SCANCODE_UNKNOWN) scancode[k.dik] = k.scancode;
        }
    }
};
constexpr Table kTable;

} // namespace

uint8_t DikFromScancode(SDL_Scancode scancode) {
    if (scancode < 0 || scancode >= SDL_NUM_SCANCODES) return 0;
    return kTable.dik[scancode];
}

SDL_Scancode ScancodeFromDik(uint8_t code) {
    return kTable.scancode[code];
}

int ButtonFromSdl(uint8_t button) {
    switch (button) {
    case SDL_BUTTON_LEFT:
        return 0;
    case SDL_BUTTON_RIGHT:
        return 1;
    case SDL_BUTTON_MIDDLE:
        return 2;
    case SDL_BUTTON_X1:
        return 3;
    case SDL_BUTTON_X2:
        return 4;
    default:
        return -1;
    }
}

uint8_t SdlButton(int button) {
    constexpr uint8_t kButtons[] = {SDL_BUTTON_LEFT, SDL_BUTTON_RIGHT, SDL_BUTTON_MIDDLE, SDL_BUTTON_X1,
                                    SDL_BUTTON_X2};
    return button >= 0 && button < 5 ? kButtons[button] : 0;
}

} // namespace input::sdl
