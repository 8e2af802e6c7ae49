// SDL side of the window service, for the other SDL/GL back-ends of the
// platform layer (the GL device needs the SDL window to put its context on).
#pragma once

#include <SDL2/SDL.h>

#include <cstdint>

namespace window {
class Window;
}

namespace window::sdl {

// Initialises SDL's video and event subsystems once; false when there is no
// usable video driver.
bool InitVideo();
SDL_Window* NativeWindow(Window* w);

// SDL_GL_CreateContext, keeping the GL driver loaded from then on: every
// window's end would otherwise unload it and the next window load it and its
// shader compiler again, and what the driver keeps at exit could not be
// told apart by the leak check.
SDL_GLContext CreateGlContext(SDL_Window* w);

// The virtual-key code of an SDL key code, 0 for keys without one.
uint32_t VirtualKeyFromKeycode(SDL_Keycode key);

// Observers see every SDL event the message pump takes, before it becomes a
// message (the input devices and the dialogs read raw events this way).
using EventObserver = void (*)(const SDL_Event& event, void* context);
void AddEventObserver(EventObserver observer, void* context);
void RemoveEventObserver(EventObserver observer, void* context);
} // namespace window::sdl
