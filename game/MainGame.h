// The game layer's frame: `CMainGame` (global g_MainGame) runs the game
// modules each frame and keeps the level frame counter that most of them read
// to hold their work back at the start of a level. Of the game frame, the
// modules that exist run, with the end sequence of a world change; the rest
// comes with the game layer.
#pragma once

#include <cstdint>

#include "app/ERect.h"
#include "platform/math/Types.h"

class CMainGame {
  public:
    virtual ~CMainGame() = default;

    int32_t m_iLevelFrame = 0; // frames since the current world was opened
    // Game updates since the world opened, counted whether or not the world
    // runs (the renderer draws from the fifth on), and the hold byte: while
    // it is set, skinned meshes stay out of the base pass until more than
    // five have passed. The world open clears both; nothing sets the byte yet.
    uint32_t m_dwGameFrames = 0;
    uint8_t m_bHoldSkinMeshes = 0;
    // The current level's title and loading picture (null: none; the level
    // descriptions are not built yet).
    const char* GetLevelTitle() const { return nullptr; }
    const char* GetLevelLoadingPicture() const { return nullptr; }
    // Frames since the camera was last held by a cinematic (the mouse keeps
    // the pitch level for the first five).
    int32_t m_iFramesSinceCinematic = 0;

    // The frame hooks the main loop and the frame driver call: the one-time
    // start after the first frame, the per-frame update (counts the level's
    // frames while a world is loaded), the work before the scene and inside
    // it, and the release of the game's records at device release. Of the
    // level start only the loading screen's steps are here (nine steps of the
    // bar at level frame 151, its resources released at 201) and its last
    // one: at level frame 205 of a loaded world the engine starts showing the
    // world (the sky is drawn from then).
    static constexpr int32_t WORLD_SHOWN_FRAME = 205;
    void StartUp();
    void Update();
    // The camera stages of the update: the Bezier camera while it is active,
    // else the camera's own step and the follow (OBE) camera in the player's
    // stage. False when the rest of the frame's update must not run.
    bool UpdateCameras();
    double m_fFrameTime = 0; // this frame's time, seconds
    void PreRender() {}
    // The game's drawing inside the scene: the end sequence's fade, the
    // loading bar's steps of the level's first frames and the debug overlays.
    void Render();
    void Shutdown() { m_EndFade.Release(); }
    bool m_bStartedUp = false;
    ERect m_EndFade; // the end sequence's black quad, made when first drawn
    // Engine update, stage "EU: MainGame Pre": the player's view placement.
    void EarlyPlayerUpdate();
    // Key routing from the engine: no effect.
    void OnKey(uint32_t) {}
    // The world-open and world-close hooks of the engine's world start, and
    // the script world chosen at world start.
    void Init();
    void Destroy();
    void SelectScriptWorld() {}
    // The end sequence of an action's or a script's world change: the screen
    // fades to black for a second, then the named world is asked for (again
    // each frame until it starts). An empty name changes nothing; the world
    // open and close end it.
    void SetEndSequence(const char* name);
    void EndSequenceOff();
    void RenderEndFade();
    bool m_bEndSequence = false;
    float m_fEndSequenceTime = 0; // seconds since it began
    char m_szEndWorld[256] = {};
    // Music for cut-scenes, world start and scripts: the director plays the
    // file (null stops the music). The remembered name is never filled.
    void PlayMusic(const char* name, bool loop);
    char m_szMusic[256] = {};

    // An explosion in the world: the player and the characters take it (the
    // game layer's part of an explosion; nothing reaches them until the
    // player and characters exist). The last one is kept.
    void OnExplosion(const math::Vec3& position, float power) {
        m_vLastExplosion = position;
        m_fLastExplosionPower = power;
    }
    math::Vec3 m_vLastExplosion;
    float m_fLastExplosionPower = 0;
};

extern CMainGame g_MainGame;

// Set by CMainGame::Init while the intro world ("worlds\intro.w") is open,
// cleared at world end.
extern bool IntroWorldRunning;
