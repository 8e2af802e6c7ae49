// The game as the application core sees it: the hooks through which the main
// loop, the frame driver, the focus manager, the mouse step and the console
// reach the game layer. app/ declares them and knows no game code; the game
// installs them once at start-up (InstallGameFrame), before the configuration
// is read. Until then every hook is a harmless default: no update, nothing
// drawn, no menu, no loading screen, level frame 0.
//
// Main thread only.
#pragma once

#include <cstdint>

struct MouseFrame;

struct GameFrame {
    // The one-time start after the first frame was drawn.
    void (*StartUp)() = [] {};
    // Once per idle pass, after the engine's frame.
    void (*Update)() = [] {};
    // Before the engine prepares the camera, while the menu is closed.
    void (*PreRender)() = [] {};
    // The game's part of the frame's scene, after the engine's: the open
    // menu, else the game's own drawing.
    void (*Render)() = [] {};
    // Key messages of the window (virtual-key codes) while the game has focus.
    void (*KeyDown)(uint32_t code) = [](uint32_t) {};
    void (*KeyUp)(uint32_t code) = [](uint32_t) {};
    // The release of the game's records when the device goes.
    void (*Shutdown)() = [] {};

    // Menu state: open (the frame draws and the console keeps the keyboard
    // released while it is) and its device-reset step.
    bool (*MenuOpen)() = [] { return false; };
    void (*MenuDeviceReset)() = [] {};

    // The game's loading screen (briefing) after a world start.
    bool (*LoadingActive)() = [] { return false; };
    void (*RenderLoading)() = [] {};
    // The console's loading picture: frames since the world was opened, a
    // running cut-scene (no loading picture then), the level's title and
    // picture (null: none) and the briefing drawn over it.
    int32_t (*LevelFrame)() = [] { return int32_t(0); };
    bool (*CutSceneRunning)() = [] { return false; };
    const char* (*LevelTitle)() = []() -> const char* { return nullptr; };
    const char* (*LevelLoadingPicture)() = []() -> const char* { return nullptr; };
    void (*DrawBriefing)() = [] {};

    // The game's part of one mouse update: the gates and the weights of the
    // view (menu, loading, level frame, zoom, wide screen, a held camera).
    void (*FillMouseFrame)(MouseFrame& frame) = [](MouseFrame&) {};
};

// The installed hooks (defaults until the game installs its own).
const GameFrame& TheGameFrame();
void InstallGameFrame(const GameFrame& frame);
