// The input interface the keyboard (app/CommandMgr.h) and the mouse (app/Mouse.h)
// are devices of, made once at start-up. Without it keyboard and mouse stay
// off and the game runs on window key messages alone.
#pragma once

namespace input {
class Interface;
}

// Null when creation failed.
extern input::Interface* g_pDirectInput;

// Makes the interface; a failure is appended to "!error.txt".
void CreateDirectInput();
// Frees it (program end, tests).
void ReleaseDirectInput();
