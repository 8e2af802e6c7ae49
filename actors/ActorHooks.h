// What the player, characters and weapons read of the game layer and ask of
// it, gathered in one place so that those calls stay few and visible: the
// level frame, the menu, cut-scenes and the intro, the HUD's fade, letterbox
// and hints, the save manager's load steps and checkpoints, the objectives'
// keys. The actors sit below the game: the game fills these hooks at
// start-up (InstallActorHooks). Until then each read answers as if no level
// ran (frame 0, nothing open, nothing shown) and each request does nothing.
#pragma once

#include <cstdint>

namespace actorhooks {

struct Hooks {
    // Frames since the current world was opened.
    int32_t (*LevelFrame)() = [] { return int32_t(0); };
    bool (*MenuOpen)() = [] { return false; };
    void (*OpenMenu)() = [] {};
    bool (*CutSceneRunning)() = [] { return false; };
    bool (*IntroRunning)() = [] { return false; };
    // The HUD's fade to black (0 none .. 1 black) and its letterbox.
    float (*HudFade)() = [] { return 0.0f; };
    bool (*Letterbox)() = [] { return false; };
    // The HUD's hints under the crosshair: all cleared, then the use hint
    // with the object's can-run state (1 ready, 2 waiting).
    void (*ClearHints)() = [] {};
    void (*ShowUseHint)(int32_t canRun) = [](int32_t) {};
    // A save game is being loaded and its step counter is below `step`.
    bool (*LoadingBeforeStep)(uint32_t step) = [](uint32_t) { return false; };
    void (*LoadLastCheckpoint)() = [] {};
    // The objective list and current task keys.
    void (*ShowObjectiveList)() = [] {};
    void (*ShowTask)() = [] {};
};

const Hooks& Game();
void InstallActorHooks(const Hooks& hooks);

} // namespace actorhooks
