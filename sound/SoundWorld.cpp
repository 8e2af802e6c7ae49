#include "sound/SoundWorld.h"

#include "app/Debug.h"
#include "app/Options.h"

namespace soundworld {

namespace {
Hooks g_Hooks;
} // namespace

const Hooks& World() {
    return g_Hooks;
}

void InstallSoundWorld(const Hooks& hooks) {
    g_Hooks = hooks;
}

bool SoundAllowed() {
    return sound && g_Hooks.NotFastForwarding();
}

bool Cinematic() {
    return g_Hooks.Cinematic();
}

uint32_t LevelFrame() {
    return g_Hooks.LevelFrame();
}

double WorldTime() {
    return g_Hooks.WorldTime();
}

void Track(const char* tag) {
    g_Debug.AddAllocation(tag);
}

void Untrack(const char* tag) {
    g_Debug.RemoveAllocation(tag);
}

} // namespace soundworld
