// The loading and briefing screen, `LoadScreen` (global g_LoadScreen). Only
// its active flag and render, read by the main loop, and the music stop of
// its start are here until it is built.
#pragma once

class LoadScreen {
  public:
    virtual ~LoadScreen() = default;

    bool IsActive() const { return m_bActive; }
    void Render() {}
    // The world start shows the screen for the named world: whatever music
    // plays stops, the director's action music too. LoadTextures loads its
    // pictures once the world is in.
    void Begin(const char* worldName);
    void LoadTextures() {}
    // Its step and its briefing lines, from the console's loading frame.
    void Update() {}
    void DrawBriefing() {}
    bool m_bBegun = false;

    bool m_bActive = false;
};

extern LoadScreen g_LoadScreen;
