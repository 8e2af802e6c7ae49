// The opening of the game in "worlds\intro.w": three hard-coded scenes
// played by `Intro` (global g_Intro). Here only its scene selection, which
// the console's "Intro" starts; the scene steps come with the game layer.
#pragma once

#include <cstdint>

class Intro {
  public:
    virtual ~Intro() = default;

    // Scenes 1..3: clocks and flags cleared, active, scene n, stage 0.
    // Other numbers do nothing.
    void StartScene(int n);

    bool m_bActive = false;
    int32_t m_iScene = 0;
    int32_t m_iStage = 0;
    float m_fSceneTime = 0;
    float m_fStageTime = 0;
};

extern Intro g_Intro;
