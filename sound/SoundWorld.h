// What the sound subsystem reads of the engine world, the characters and the
// game layer, gathered in one place so that those reads stay few and
// visible. Sound sits below the world: the game fills these hooks at start-up
// (InstallSoundWorld). Until then each read answers as if no world were
// loaded: sounds allowed as the `sound` option says, no cinematic, frame and
// time 0, no script variable, no character, objects at the origin.
#pragma once

#include <cstdint>

#include "platform/math/Types.h"

struct ObjectRecord;

namespace soundworld {

// One character as the music director weighs it.
struct Character {
    bool bActive = false; // used, alive, not removed, suspended or about to be deleted
    float fDistanceToPlayer = 0;
    bool bAlerted = false;  // noticed the player
    bool bAlarm = false;    // raised the alarm
    bool bOnMarker = false; // linked to a marker object (a stand-in, not an enemy)
    const char* szName = "";
};
using CharacterVisitor = void (*)(const Character& character, void* context);

struct Hooks {
    // No cut-scene is being skipped (sounds made while fast-forwarding are
    // dropped); the `sound` option is checked besides.
    bool (*NotFastForwarding)() = [] { return true; };
    // Either wide-screen (cinematic) flag is set.
    bool (*Cinematic)() = [] { return false; };
    // The intro world is running (no action music there).
    bool (*IntroRunning)() = [] { return false; };
    // Frames since the level started (0 before).
    uint32_t (*LevelFrame)() = [] { return uint32_t(0); };
    // Seconds since the world started, and this frame's seconds.
    double (*WorldTime)() = [] { return 0.0; };
    float (*FrameTime)() = [] { return 0.0f; };
    // The running world's file name ("" without one).
    const char* (*CurrentWorld)() = [] { return ""; };
    // Script variables the music obeys and clears.
    bool (*ScriptVariable)(const char* name) = [](const char*) { return false; };
    void (*UnsetScriptVariable)(const char* name) = [](const char*) {};
    // Every character slot, in the table's order.
    void (*VisitCharacters)(CharacterVisitor visit, void* context) = [](CharacterVisitor, void*) {};
    // What a radio reads of the object that plays it: where it is, its
    // name, and the radio its action names ("" without an action).
    void (*ObjectPosition)(ObjectRecord* object, math::Vec3* out) = [](ObjectRecord*, math::Vec3* out) {
        *out = math::Vec3();
    };
    const char* (*ObjectName)(ObjectRecord* object) = [](ObjectRecord*) { return ""; };
    const char* (*ObjectRadio)(ObjectRecord* object) = [](ObjectRecord*) -> const char* { return nullptr; };
};

const Hooks& World();
void InstallSoundWorld(const Hooks& hooks);

// The `sound` option is on and no cut-scene is being skipped: sounds may be
// made and played.
bool SoundAllowed();
bool Cinematic();
uint32_t LevelFrame();
double WorldTime();

// The allocation tracker.
void Track(const char* tag);
void Untrack(const char* tag);

} // namespace soundworld
