// Cut-scenes: the scenes of "scripts\cutscenes\" played by `CCutScene`
// (global g_CutScene). The scene loader and player are not built yet; this
// holds what the console and the loading screen ask of it: whether a scene
// runs, and the request to start one by name.
#pragma once

#include <cstdint>

class CCutScene {
  public:
    virtual ~CCutScene() = default;

    // A scene runs while there is both a current scene and a current phase.
    bool IsRunning() const { return m_pCurrentScene && m_pCurrentPhase; }

    // Starts the named scene. No scenes are loaded yet, so the look-up finds
    // none and nothing more happens; the name asked for is kept.
    void StartScene(const char* name);

    char m_szRequestedScene[64] = {};
    void* m_pCurrentScene = nullptr;
    void* m_pCurrentPhase = nullptr;
    // The current phase carries the keyword `black_white` (the picture goes
    // grey while it runs).
    uint8_t m_bPhaseBlackWhite = 0;
    float m_fSceneTime = 0;
};

extern CCutScene g_CutScene;
