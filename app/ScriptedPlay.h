// The two test switches that let the real program play headless, read from
// the environment at start-up:
//
//   ZT_INPUT_SCRIPT=<file>   keys, mouse, buttons, wheel and console lines
//                            from a script (app/InputScript.h), each given to
//                            the game window as SDL events on its level frame,
//                            so they reach the keyboard table, the mouse
//                            buffer and the key messages as a person's do.
//   ZT_FRAME_TIME=<seconds>  the timer's clock advances exactly that much per
//                            frame (as the in-process tests' stepped clock),
//                            and a frame lasts at least that in wall time, so
//                            that sound and wave captures keep game time and
//                            the 2 ms input poll comes between frames.
//
// Failure policy: a bad switch (a script line, an unreadable file, a frame
// time that is not a number of seconds in 0.001..1) is logged, naming the
// line, and stops the start. Main thread only; a frame allocates nothing.
#pragma once

#include <cstdint>

namespace window {
class Window;
}

namespace scriptedplay {

// Reads both switches (after the log and the text table, before the
// window). False when one is bad: the start ends.
bool Start();
// Whether a script or a fixed frame time is in force.
bool ScriptActive();
bool FixedFrameTime();
// Before a frame's timing: the fixed clock steps one frame.
void BeginFrame();
// After the frame, with the running world's file (null while none runs)
// and its level frame: the script's events of the next frame go to the
// window, and the frame is held to its wall time.
void EndFrame(window::Window* w, const char* world, int32_t levelFrame);
// Both switches off (tests).
void Stop();

} // namespace scriptedplay
