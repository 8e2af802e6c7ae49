// SDL side of the input service: the one table from SDL scancodes (physical
// key positions, like DirectInput codes) to DirectInput key codes, and the
// mouse button numbering.
#pragma once

#include <SDL2/SDL.h>

#include <cstdint>

namespace input::sdl {

// The DirectInput code of a scancode, 0 for keys without one.
uint8_t DikFromScancode(SDL_Scancode scancode);
// The scancode of a DirectInput code, SDL_SCANCODE_UNKNOWN for codes without one.
SDL_Scancode ScancodeFromDik(uint8_t code);
// DirectInput's button number of an SDL button (left 0, right 1, middle 2,
// side buttons 3 and 4); -1 for others.
int ButtonFromSdl(uint8_t button);
// The SDL button of a DirectInput button number (0..4); 0 for others.
uint8_t SdlButton(int button);

} // namespace input::sdl
