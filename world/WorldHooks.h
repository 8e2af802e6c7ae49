// What the engine world calls of the actors and the game, outside the
// effects of an object's action: the game's part of a world's start, frame
// and end, the script variables that objects, paths and deaths set and test,
// the HUD's fades, the lasers, explosions and object dialogues. The world
// sits below the actors and the game: the game fills these hooks at start-up
// (InstallWorldHooks), so every such call is named here. Until then each hook
// does nothing and each read answers "none" (no variable set, no character,
// no player object).
//
// An action's effects (ActionInterpreter.cpp, ObjectServices.cpp) reach the
// player, the characters, the HUD, dialogues, objectives and saves directly:
// that is the object API's own dispatch.
#pragma once

#include <cstdint>

#include "platform/math/Types.h"

struct ObjectRecord;

// What the post-processing's per-frame decisions read of the player, the
// weapons and the game (the defaults: nothing recent, nothing aimed).
struct PostProcessGameState {
    float fSecondsSinceExplosion = 5.0f; // since the last explosion near the player
    float fSecondsSinceBulletHit = 1.0f; // since the last bullet hit the player
    bool bPlayerDead = false;
    bool bMissionFailed = false;
    bool bReloading = false;   // the weapon in the hands is reloading
    float fAimProgress = 0.0f; // 0..1
    bool bIntroRunning = false;
    int32_t iIntroScene = 0; // 1..3 while the intro runs
    float fPlayerHealth = 1.0f;
    float fPlayerMaxHealth = 1.0f;
    // A cut-scene runs and its current phase carries `black_white`.
    bool bCutSceneBlackWhite = false;
};

struct WorldHooks {
    // ---- A world's start and end, in the order the world's steps call them.
    void (*PlayMusic)(const char* name, bool loop) = [](const char*, bool) {};
    void (*SelectScriptWorld)() = [] {};
    void (*LoadScreenBegin)(const char* world) = [](const char*) {};
    void (*LoadScreenTextures)() = [] {};
    void (*GameWorldOpened)() = [] {};
    void (*GameWorldClosed)() = [] {};
    void (*ScreenOverlayInit)() = [] {};
    void (*ScreenOverlayClear)() = [] {};
    void (*LasersInit)() = [] {};
    void (*LasersRelease)() = [] {};
    // The menu's overlay, made with the engine and freed with it.
    void (*MenuOverlayInit)() = [] {};
    void (*MenuOverlayRelease)() = [] {};

    // ---- The engine frame.
    // Stage "EU: MainGame Pre": the player's view placement.
    void (*EarlyPlayerUpdate)() = [] {};
    void (*LasersUpdate)() = [] {};
    void (*LasersRender)() = [] {};
    void (*RemoveLaserBeam)(uint32_t beam) = [](uint32_t) {};
    void (*UpdateDialogueSounds)() = [] {};
    // Seconds the running cut-scene has played (0 without one).
    float (*CutSceneTime)() = [] { return 0.0f; };

    // ---- The renderer's frame.
    // Game frames since the world opened (the renderer draws from the fifth
    // on) and the hold byte that keeps skinned meshes out of the base pass
    // of a world's first frames.
    uint32_t (*GameFramesSinceWorldOpen)() = [] { return uint32_t(0); };
    bool (*SkinMeshesHeld)() = [] { return false; };
    // The running level script's "no_water_specular" flag: the lava and
    // water passes send a black sky-light colour while it is set.
    bool (*NoWaterSpecular)() = [] { return false; };
    // The intro world runs (the water reflection reaches farther then).
    bool (*IntroRunning)() = [] { return false; };
    // The game menu's specular option.
    bool (*SpecularOption)() = [] { return false; };
    // Debug drawing at the end of the scene: the path graph, the characters,
    // and the weapon's laser sight.
    void (*DrawPathsDebug)() = [] {};
    void (*DrawCharactersDebug)() = [] {};
    void (*RenderLaserSight)() = [] {};
    // The post-processing's motion blur, focus and target luminance.
    PostProcessGameState (*PostProcessGame)() = [] { return PostProcessGameState(); };

    // ---- Script variables.
    bool (*IsVariableSet)(const char* name) = [](const char*) { return false; };
    void (*SetVariable)(const char* name, ObjectRecord* setter) = [](const char*, ObjectRecord*) {};
    void (*UnsetVariable)(const char* name, ObjectRecord* setter) = [](const char*, ObjectRecord*) {};
    void (*RegisterHit)(const char* objectName) = [](const char*) {};

    // ---- Saves: a save or load in progress and its step.
    bool (*SaveBusy)() = [] { return false; };
    uint32_t (*SaveStep)() = [] { return uint32_t(0); };

    // ---- The HUD, explosions, dialogues, the player and the characters.
    // The use hint: cleared at the start of each object update, shown at a
    // usable object near the camera.
    void (*ClearUsableObject)() = [] {};
    void (*ShowUsableObject)(const math::Vec3& position) = [](const math::Vec3&) {};
    void (*PreloadDialogueSounds)(const char* dialogue) = [](const char*) {};
    void (*PreloadHeroDialogueSounds)(const char* dialogue) = [](const char*) {};
    math::Vec3 (*PlayerPosition)() = [] { return math::Vec3(); };
    // The world moved the player this frame (a lift, a teleport, a blast).
    void (*PlayerMovedByWorld)() = [] {};
    void (*ChangePlayerHealth)(float delta) = [](float) {};
    // The player crouches (effects that hurt reach less far then).
    bool (*PlayerCrouching)() = [] { return false; };
    void (*StartCutFade)() = [] {};
    void (*SetFadeState)(uint32_t state) = [](uint32_t) {};
    void (*OnExplosion)(const math::Vec3& position, float power) = [](const math::Vec3&, float) {};
    void (*StopObjectDialogue)(ObjectRecord* object) = [](ObjectRecord*) {};
    ObjectRecord* (*PlayerObject)() = []() -> ObjectRecord* { return nullptr; };
    // The object of the weapon model the player holds (the render occluder
    // counts it fully seen), or null.
    ObjectRecord* (*HeldWeaponModel)() = []() -> ObjectRecord* { return nullptr; };
    // The first body of the named character; false when no character has
    // that name.
    bool (*CharacterBody)(const char* name, ObjectRecord** body) = [](const char*, ObjectRecord**) {
        return false;
    };
};

const WorldHooks& TheWorldHooks();
void InstallWorldHooks(const WorldHooks& hooks);
